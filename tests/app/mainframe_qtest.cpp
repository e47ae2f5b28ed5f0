// The main window driven as a user drives it: its layout, menus and bars,
// Find and Stop with the real search run, the timer's text, the accelerator,
// the result commands, Help and About, and closing while a search runs.
#include "apptestenv.h"

#include "app/elapsedtime.h"
#include "app/mainframe.h"
#include "app/varnelview.h"
#include "folders/directoryview.h"
#include "office/automation/builtinoffice.h"
#include "panels/keywordpanel.h"
#include "panels/messagepanel.h"
#include "platform/stringtable.h"
#include "results/resultlist.h"
#include "search/settingsstore.h"

#include <QAction>
#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QMenuBar>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSplitter>
#include <QStatusBar>
#include <QTest>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <QUrl>
#include <QUrlQuery>

#include <atomic>
#include <chrono>
#include <memory>
#include <thread>

namespace {

// Catches what the program hands to the desktop to open.
class CUrlCatcher : public QObject {
    Q_OBJECT
public:
    QList<QUrl> urls;
public slots:
    void Open(const QUrl& url) { urls << url; }
};

// A stand-in for the search run that keeps going until Stop, reporting
// like the real one (status text, log lines through blocking sends) and,
// after Stop, finishing the "document" it is inside for `tail` first.
struct CFakeRun {
    std::atomic<int> running{0};
    std::atomic<int> mostAtOnce{0};
    std::atomic<int> runs{0};
    std::chrono::milliseconds tail{0};

    CSearchWorker::Procedure Procedure()
    {
        return [this] {
            const int now = ++running;
            int seen = mostAtOnce.load();
            while (now > seen && !mostAtOnce.compare_exchange_weak(seen, now)) {
            }
            const int run = ++runs;
            int step = 0;
            while (g_bRunning != 0) {
                g_strStatusText.Set("/data/folder" + std::to_string(step));
                LogLine("run " + std::to_string(run) + " step " + std::to_string(step++));
                std::this_thread::sleep_for(std::chrono::milliseconds(10));
            }
            std::this_thread::sleep_for(tail);
            LogLine("run " + std::to_string(run) + " left its document");
            --running;
        };
    }
};

QMenu* TopMenu(CMainFrame& frame, const QString& title)
{
    for (QAction* action : frame.menuBar()->actions())
        if (action->text() == title) return action->menu();
    return nullptr;
}

void WriteFile(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    QCOMPARE(file.write(bytes), bytes.size());
}

}  // namespace

class MainFrameTest : public QObject {
    Q_OBJECT

    std::unique_ptr<CTestRegistry> m_registry;
    std::unique_ptr<QTemporaryDir> m_docs;

    // A shown frame whose folder tree lists only `folder` as its drive.
    std::unique_ptr<CMainFrame> MakeFrame(CSearchWorker::Procedure worker = nullptr, const QString& folder = {})
    {
        auto frame = std::make_unique<CMainFrame>(std::move(worker));
        const std::string mount = folder.isEmpty() ? m_docs->path().toStdString() : folder.toStdString();
        frame->FolderPane()->SetDriveSource([mount] {
            return std::vector<CDriveEntry>{CDriveEntry{mount, "Docs", DriveKind::Fixed}};
        });
        frame->show();
        if (!QTest::qWaitForWindowExposed(frame.get())) return nullptr;
        return frame;
    }

    static QTreeWidgetItem* DriveItem(CMainFrame& frame)
    {
        CDirectoryTree& tree = frame.FolderPane()->Tree();
        return tree.RootItem() != nullptr ? tree.RootItem()->child(0) : nullptr;
    }

    static void SetKeywords(CMainFrame& frame, const QString& text)
    {
        frame.KeywordPanel()->Edit()->setPlainText(text);
    }

private slots:
    void init()
    {
        m_registry = std::make_unique<CTestRegistry>();
        m_docs = std::make_unique<QTemporaryDir>();
        office::RegisterBuiltinOffice();
    }

    void cleanup()
    {
        m_docs.reset();
        m_registry.reset();
    }

    void elapsedTimeText_data()
    {
        QTest::addColumn<unsigned int>("ticks");
        QTest::addColumn<QString>("text");
        QTest::newRow("start") << 0u << "0:0:0.0";
        QTest::newRow("65.3 seconds") << 653u << "0:1:5.3";
        QTest::newRow("599") << 599u << "0:0:59.9";
        QTest::newRow("600") << 600u << "0:1:0.0";
        QTest::newRow("36000") << 36000u << "1:0:0.0";
        QTest::newRow("hours grow") << 36000u * 30u + 601u << "30:1:0.1";
        QTest::newRow("largest count") << 4294967295u << "119304:38:49.5";
    }

    void elapsedTimeText()
    {
        QFETCH(unsigned int, ticks);
        QFETCH(QString, text);
        QCOMPARE(QString::fromStdString(FormatElapsedTime(ticks)), text);
    }

    void timerTicksShowInTheTimePane()
    {
        auto frame = MakeFrame();
        QVERIFY(frame);
        for (int i = 0; i < 599; ++i) frame->OnTimer();
        QCOMPARE(frame->TimePaneText(), QStringLiteral("0:0:59.9"));
        frame->OnTimer();
        QCOMPARE(frame->TimePaneText(), QStringLiteral("0:1:0.0"));
        g_strStatusText.Set("/data/reports");
        g_nResultCount = 7;
        frame->OnTimer();
        QCOMPARE(frame->StatusLineText(), QStringLiteral("/data/reports"));
        QCOMPARE(frame->FilesPaneText(), QStringLiteral("Files:7"));
    }

    void startsIdleWithTheGivenLayout()
    {
        auto frame = MakeFrame();
        QVERIFY(frame);
        QCOMPARE(frame->windowTitle(), QStringLiteral("Varnel"));
        QCOMPARE(frame->StatusLineText(), QString());
        QCOMPARE(frame->FilesPaneText(), QStringLiteral("Files:0"));
        QCOMPARE(frame->TimePaneText(), QStringLiteral("0:0:0.0"));
        QVERIFY(frame->Command(ID_FIND)->isEnabled());
        QVERIFY(!frame->Command(ID_STOP)->isEnabled());
        QVERIFY(!frame->Command(ID_OPEN_FILE)->isEnabled());
        QVERIFY(!frame->Command(ID_OPEN_DIR)->isEnabled());
        QVERIFY(!frame->Command(ID_COPY_FILES)->isEnabled());

        // Every pane has published its handle.
        QCOMPARE(g_hWndMainFrame.load(), frame->Handle());
        QCOMPARE(g_hWndKeywordPanel.load(), frame->KeywordPanel()->Handle());
        QCOMPARE(g_hWndMessagePanel.load(), frame->MessagePanel()->Handle());
        QCOMPARE(g_hWndResultList.load(), frame->ResultView()->List()->Handle());
        QCOMPARE(g_hWndFolderTree.load(), frame->FolderPane()->Tree().Handle());

        // Upper band 300 high, left column 200 wide; they keep their size
        // when the window grows, the other panes take the rest.
        for (const QSize size : {QSize(900, 640), QSize(1000, 740)}) {
            frame->resize(size);
            QApplication::processEvents();
            QCOMPARE(frame->Splitter()->sizes().at(0), 300);
            QCOMPARE(frame->SplitterTop()->sizes().at(0), 200);
            QCOMPARE(frame->SplitterBottom()->sizes().at(0), 200);
            QVERIFY(frame->Splitter()->sizes().at(1) > 0);
            QVERIFY(frame->SplitterTop()->sizes().at(1) > 0);
        }
        QCOMPARE(frame->SplitterTop()->widget(0), static_cast<QWidget*>(frame->FolderPane()));
        QCOMPARE(frame->SplitterTop()->widget(1), static_cast<QWidget*>(frame->ResultView()));
        QCOMPARE(frame->ResultView()->List()->geometry(), frame->ResultView()->rect());
    }

    void settingsAreReadWhenTheFrameIsBuilt()
    {
        HKEY key = nullptr;
        QCOMPARE(RegCreateKey(HKEY_CURRENT_USER, "SOFTWARE\\Varnel\\Option", &key), 0);
        const DWORD on = 1;
        QCOMPARE(RegSetValueEx(key, "MatchCase", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&on), sizeof on), 0);
        QCOMPARE(RegSetValueEx(key, "ExcelFile", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&on), sizeof on), 0);
        RegCloseKey(key);
        g_conditions.MatchCase = 0;
        g_bExcelFile = 0;
        CMainFrame frame;
        QCOMPARE(g_conditions.MatchCase.load(), 1);
        QCOMPARE(g_bExcelFile.load(), 1);
        QCOMPARE(g_conditions.ClearSeriesSpace.load(), 1);
    }

    // Each menu entry and tool button is the command itself, so choosing it
    // runs that command; the View entries show and hide their bars.
    void menusAndToolbarCarryTheCommands()
    {
        auto frame = MakeFrame();
        QVERIFY(frame);
        const auto commands = [&frame](QMenu* menu) {
            QList<QAction*> out;
            for (QAction* action : menu->actions())
                if (!action->isSeparator()) out << action;
            return out;
        };
        const QList<QMenu*> menus = {TopMenu(*frame, "File(&F)"), TopMenu(*frame, "View(&V)"),
                                     TopMenu(*frame, "Advanced(&A)"), TopMenu(*frame, "Help(&H)")};
        QVERIFY(!menus.contains(nullptr));
        QCOMPARE(commands(menus[0]), (QList<QAction*>{frame->Command(ID_FIND), frame->Command(ID_STOP),
                                                       frame->Command(ID_APP_EXIT)}));
        QCOMPARE(commands(menus[1]), (QList<QAction*>{frame->Command(ID_VIEW_TOOLBAR), frame->Command(ID_VIEW_STATUS_BAR)}));
        QCOMPARE(commands(menus[2]), (QList<QAction*>{frame->Command(ID_OPTION), frame->Command(ID_SETUP)}));
        QCOMPARE(commands(menus[3]), (QList<QAction*>{frame->Command(ID_HELP_MANUAL), frame->Command(ID_APP_ABOUT)}));
        QCOMPARE(commands(frame->ResultPopupMenu()), (QList<QAction*>{frame->Command(ID_OPEN_FILE),
                                                                       frame->Command(ID_OPEN_DIR),
                                                                       frame->Command(ID_COPY_FILES)}));
        QCOMPARE(frame->ToolBar()->actions(), (QList<QAction*>{frame->Command(ID_FIND), frame->Command(ID_STOP)}));
        QCOMPARE(frame->Command(ID_FIND)->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_F));
        // When a command's prompt leaves the status line, the idle prompt shows.
        frame->statusBar()->showMessage(frame->Command(ID_FIND)->statusTip());
        frame->statusBar()->clearMessage();
        QCOMPARE(frame->StatusLineText(), QStringLiteral("Ready"));

        frame->Command(ID_VIEW_STATUS_BAR)->trigger();
        QVERIFY(!frame->statusBar()->isVisible());
        frame->Command(ID_VIEW_STATUS_BAR)->trigger();
        QVERIFY(frame->statusBar()->isVisible());
        frame->Command(ID_VIEW_TOOLBAR)->trigger();
        QVERIFY(!frame->ToolBar()->isVisible());
        QVERIFY(!frame->Command(ID_VIEW_TOOLBAR)->isChecked());
    }

    void findWithNoKeywordEndsAtOnce()
    {
        auto frame = MakeFrame();
        QVERIFY(frame);
        LogLine("line of an earlier search");
        frame->Command(ID_FIND)->trigger();
        QTRY_VERIFY_WITH_TIMEOUT(frame->IsIdle() && !frame->IsWorkerAlive(), 5000);
        QCOMPARE(LogLines(*frame->MessagePanel()),
                 (QStringList{Str(IDS_INITIALIZATION), Str(IDS_ANALYZE_KEYWORDS), Str(IDS_SEARCH_SELECTED_DIRS),
                              Str(IDS_NO_KEYWORD)}));
        QCOMPARE(frame->StatusLineText(), QStringLiteral("Complete..."));
        QCOMPARE(frame->FilesPaneText(), QStringLiteral("Files:0"));
        QVERIFY(!frame->IsTimerActive());
        QVERIFY(frame->Command(ID_FIND)->isEnabled());
        QVERIFY(!frame->Command(ID_STOP)->isEnabled());
        QCOMPARE(frame->ResultView()->List()->ActionsEnabled(), 1);
        // The run ended by itself: the flag stays set until the next Stop.
        QCOMPARE(g_bRunning.load(), 1);
    }

    void findOnAFolderWithDocumentsFillsTheResultCount()
    {
        WriteFile(m_docs->filePath("invoice-a.txt"), "Invoice 2024 for the garden work\r\n");
        WriteFile(m_docs->filePath("letter.txt"), "Dear neighbour, thank you.\r\n");
        WriteFile(m_docs->filePath("invoice-b.txt"), "second INVOICE, paid\r\n");
        QVERIFY(QFile::copy(QStringLiteral(VARNEL_TEST_DATA "/word/fmt-stories.docx"),
                            m_docs->filePath("stories.docx")));
        auto frame = MakeFrame();
        QVERIFY(frame);
        QTreeWidgetItem* drive = DriveItem(*frame);
        QVERIFY(drive != nullptr);
        frame->FolderPane()->Tree().SetCheckState(drive, CDirectoryTree::STATE_CHECKED);
        g_bTextFile = 1;
        SetKeywords(*frame, QStringLiteral("invoice"));

        frame->Command(ID_FIND)->trigger();
        QVERIFY(!frame->Command(ID_FIND)->isEnabled());
        QVERIFY(frame->Command(ID_STOP)->isEnabled());
        QTRY_VERIFY_WITH_TIMEOUT(frame->IsIdle() && !frame->IsWorkerAlive(), 20000);
        const QStringList log = LogLines(*frame->MessagePanel());
        QCOMPARE(log.back(), Str(IDS_SEARCH_FINISHED));
        QVERIFY2(log.contains(Str(IDS_OFFICE_2003)), qPrintable(log.join(" | ")));
        QCOMPARE(g_nResultCount, 2);
        QCOMPARE(frame->ResultView()->List()->RowCount(), 2);
        QCOMPARE(frame->FilesPaneText(), QStringLiteral("Files:2"));
        QCOMPARE(frame->StatusLineText(), QStringLiteral("Complete..."));

        // A second Find starts over: the list and the log are emptied first.
        frame->Command(ID_FIND)->trigger();
        QTRY_VERIFY_WITH_TIMEOUT(frame->IsIdle() && !frame->IsWorkerAlive(), 20000);
        QCOMPARE(g_nResultCount, 2);
        QCOMPARE(LogLines(*frame->MessagePanel()).count(Str(IDS_SEARCH_FINISHED)), 1);
    }

    void stopLogsTheEndAndEnablesFindAgain()
    {
        CFakeRun run;
        auto frame = MakeFrame(run.Procedure());
        QVERIFY(frame);
        SetKeywords(*frame, QStringLiteral("anything"));
        frame->Command(ID_FIND)->trigger();
        QVERIFY(frame->IsWorkerAlive());
        QVERIFY(frame->IsTimerActive());
        QCOMPARE(frame->ResultView()->List()->ActionsEnabled(), 0);
        QTRY_VERIFY(frame->Ticks() >= 3);
        QTRY_VERIFY(frame->StatusLineText().startsWith(QStringLiteral("/data/folder")));

        frame->Command(ID_STOP)->trigger();
        QCOMPARE(g_bRunning.load(), 0);
        QVERIFY(frame->IsIdle());
        QVERIFY(frame->Command(ID_FIND)->isEnabled());
        QVERIFY(!frame->Command(ID_STOP)->isEnabled());
        QVERIFY(!frame->IsTimerActive());
        QCOMPARE(frame->ResultView()->List()->ActionsEnabled(), 1);
        QCOMPARE(LogLines(*frame->MessagePanel()).back(), Str(IDS_USER_STOPPED));
        QCOMPARE(frame->StatusLineText(), QStringLiteral("Complete..."));
        // The elapsed time stays at its last value.
        const QString frozen = frame->TimePaneText();
        QTest::qWait(250);
        QCOMPARE(frame->TimePaneText(), frozen);
        QTRY_VERIFY(!frame->IsWorkerAlive());
    }

    void stopEndsARealSearch()
    {
        // Enough files that the run is still going when Stop is pressed,
        // even on a fast, idle machine (a file takes tens of microseconds),
        // and after them in name order one that matches: it is found only
        // by a search that did not stop.
        for (int i = 0; i < 20000; ++i)
            WriteFile(m_docs->filePath(QStringLiteral("memo%1.txt").arg(i)), "nothing of interest here\r\n");
        WriteFile(m_docs->filePath(QStringLiteral("zz-last.txt")), "the needle is here\r\n");
        auto frame = MakeFrame();
        QVERIFY(frame);
        frame->FolderPane()->Tree().SetCheckState(DriveItem(*frame), CDirectoryTree::STATE_CHECKED);
        g_bTextFile = 1;
        SetKeywords(*frame, QStringLiteral("needle"));
        frame->Command(ID_FIND)->trigger();
        // The run has reached the driver once the generation is logged.
        QTRY_VERIFY_WITH_TIMEOUT(LogLines(*frame->MessagePanel()).contains(Str(IDS_OFFICE_2003)), 20000);
        QVERIFY2(frame->IsWorkerAlive(), qPrintable(LogLines(*frame->MessagePanel()).join(" | ")));
        frame->Command(ID_STOP)->trigger();
        QVERIFY(frame->Command(ID_FIND)->isEnabled());
        QCOMPARE(LogLines(*frame->MessagePanel()).back(), Str(IDS_USER_STOPPED));
        // The worker ends by itself without going on to the last file.
        QTRY_VERIFY_WITH_TIMEOUT(!frame->IsWorkerAlive(), 60000);
        QCOMPARE(g_nResultCount, 0);
    }

    void findWaitsForAStoppedWorkerBeforeStarting()
    {
        CFakeRun run;
        run.tail = std::chrono::milliseconds(600);
        auto frame = MakeFrame(run.Procedure());
        QVERIFY(frame);
        SetKeywords(*frame, QStringLiteral("anything"));
        frame->Command(ID_FIND)->trigger();
        QTRY_VERIFY(LogLines(*frame->MessagePanel()).size() >= 3);
        frame->Command(ID_STOP)->trigger();
        QVERIFY(frame->IsWorkerAlive());  // still inside its document

        // Find waits (serving the old worker's sends) and only then starts.
        frame->Command(ID_FIND)->trigger();
        QTRY_COMPARE(run.runs.load(), 2);
        QCOMPARE(run.mostAtOnce.load(), 1);
        QVERIFY(!frame->IsIdle());
        const QStringList log = LogLines(*frame->MessagePanel());
        // The new run's log starts clean: the old worker's last line came
        // before the Find emptied the log.
        QVERIFY(!log.isEmpty());
        QCOMPARE(log.front(), Str(IDS_INITIALIZATION));
        for (const QString& line : log) QVERIFY2(!line.startsWith(QStringLiteral("run 1")), qPrintable(line));
        run.tail = std::chrono::milliseconds(0);
        frame->Command(ID_STOP)->trigger();
        QTRY_VERIFY(!frame->IsWorkerAlive());
        QCOMPARE(run.mostAtOnce.load(), 1);
    }

    void ctrlFStartsFindOnlyWhileFindIsEnabled()
    {
        CFakeRun run;
        auto frame = MakeFrame(run.Procedure());
        QVERIFY(frame);
        frame->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(frame.get()));
        QWidget* editor = frame->KeywordPanel()->Edit();
        editor->setFocus();
        QTest::keyClick(editor, Qt::Key_F, Qt::ControlModifier);
        QVERIFY(frame->IsWorkerAlive());
        QVERIFY(!frame->Command(ID_FIND)->isEnabled());
        QTRY_COMPARE(run.runs.load(), 1);
        QTRY_VERIFY(frame->Ticks() >= 3);

        // While Find is disabled the accelerator does nothing: no new run,
        // the log is not emptied and the elapsed time is not reset.
        const unsigned int ticks = frame->Ticks();
        const qsizetype lines = LogLines(*frame->MessagePanel()).size();
        QTest::keyClick(editor, Qt::Key_F, Qt::ControlModifier);
        QTest::qWait(100);
        QCOMPARE(run.runs.load(), 1);
        QVERIFY(frame->Ticks() >= ticks);
        QVERIFY(LogLines(*frame->MessagePanel()).size() >= lines);
        QVERIFY(frame->KeywordPanel()->Edit()->toPlainText().isEmpty());

        frame->Command(ID_STOP)->trigger();
        QTRY_VERIFY(!frame->IsWorkerAlive());
        QTest::keyClick(editor, Qt::Key_F, Qt::ControlModifier);
        QTRY_COMPARE(run.runs.load(), 2);
        frame->Command(ID_STOP)->trigger();
    }

    void closingDuringALongSearchStopsItWithNoWorkerLeft()
    {
        // Enough documents that the real search runs for many seconds, and
        // after them in the search's (name) order one that matches: it is
        // found only by a search that went all the way.
        for (int i = 0; i < 20000; ++i)
            WriteFile(m_docs->filePath(QStringLiteral("note%1.txt").arg(i)), "nothing of interest here\r\n");
        WriteFile(m_docs->filePath(QStringLiteral("zz-last.txt")), "the needle is here\r\n");
        auto frame = MakeFrame();
        QVERIFY(frame);
        frame->FolderPane()->Tree().SetCheckState(DriveItem(*frame), CDirectoryTree::STATE_CHECKED);
        g_bTextFile = 1;
        g_conditions.MatchCase = 1;
        SetKeywords(*frame, QStringLiteral("needle"));
        frame->Command(ID_FIND)->trigger();
        // The run has reached the driver once the generation is logged.
        QTRY_VERIFY_WITH_TIMEOUT(LogLines(*frame->MessagePanel()).contains(Str(IDS_OFFICE_2003)), 20000);
        QVERIFY2(frame->IsWorkerAlive(), qPrintable(LogLines(*frame->MessagePanel()).join(" | ")));

        QVERIFY(frame->close());
        QVERIFY(!frame->IsWorkerAlive());
        QCOMPARE(g_bRunning.load(), 0);
        // The close stopped the search rather than waiting for its end: the
        // last file was never reached.
        QCOMPARE(g_nResultCount, 0);
        QCOMPARE(frame->ResultView()->List()->RowCount(), 0);
        // The settings were written on the way out.
        QFile hive(m_registry->HivePath());
        QVERIFY(hive.open(QIODevice::ReadOnly));
        const QByteArray text = hive.readAll();
        QVERIFY(text.contains("\"MatchCase\"=dword:00000001"));
        QVERIFY(text.contains("\"TextFile\"=dword:00000001"));
        frame.reset();
    }

    void closingWhileAFakeRunSendsServesItsMessages()
    {
        CFakeRun run;
        run.tail = std::chrono::milliseconds(300);
        auto frame = MakeFrame(run.Procedure());
        QVERIFY(frame);
        frame->Command(ID_FIND)->trigger();
        QTRY_VERIFY(LogLines(*frame->MessagePanel()).size() >= 2);
        QVERIFY(frame->close());
        QVERIFY(!frame->IsWorkerAlive());
        // Its last line reached the log while the window waited.
        QCOMPARE(LogLines(*frame->MessagePanel()).back(), QStringLiteral("run 1 left its document"));
    }

    void failedSettingsWriteIsReportedAndTheWindowStillCloses()
    {
        auto frame = MakeFrame();
        QVERIFY(frame);
        RegDenyUserKeyForTesting("SOFTWARE\\Varnel\\Setup");
        QString text;
        QString caption;
        bool hasIcon = true;
        QTimer::singleShot(0, [&] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            if (box == nullptr) return;
            text = box->text();
            caption = box->windowTitle();
            hasIcon = box->icon() != QMessageBox::NoIcon;
            box->button(QMessageBox::Ok)->click();
        });
        QVERIFY(frame->close());
        QCOMPARE(text, QStringLiteral("Information is not saved successfully!"));
        QCOMPARE(caption, QStringLiteral("Varnel"));
        QVERIFY(!hasIcon);
        QVERIFY(!frame->isVisible());
    }

    void searchFinishedTwiceEndsInTheSameState()
    {
        auto frame = MakeFrame();
        QVERIFY(frame);
        g_nResultCount = 3;
        for (int i = 0; i < 2; ++i) {
            QCOMPARE(SendMessage(g_hWndMainFrame.load(), WM_SEARCH_FINISHED, 0, 0), 0);
            QVERIFY(frame->IsIdle());
            QCOMPARE(frame->StatusLineText(), QStringLiteral("Complete..."));
            QCOMPARE(frame->FilesPaneText(), QStringLiteral("Files:3"));
        }
    }

    void resultSelectionEnablesThePopupCommands()
    {
        auto frame = MakeFrame();
        QVERIFY(frame);
        auto enabled = [&frame] {
            return std::make_tuple(frame->Command(ID_OPEN_FILE)->isEnabled(), frame->Command(ID_OPEN_DIR)->isEnabled(),
                                   frame->Command(ID_COPY_FILES)->isEnabled());
        };
        HWND self = g_hWndMainFrame.load();
        // A press beside the rows changes nothing.
        SendMessage(self, WM_RESULT_SELECTION, 0, 3);
        QCOMPARE(enabled(), std::make_tuple(false, false, false));
        SendMessage(self, WM_RESULT_SELECTION, 1, 2);
        QCOMPARE(enabled(), std::make_tuple(false, false, true));
        SendMessage(self, WM_RESULT_SELECTION, 1, 1);
        QCOMPARE(enabled(), std::make_tuple(true, true, true));
        SendMessage(self, WM_RESULT_SELECTION, 0, 5);
        QCOMPARE(enabled(), std::make_tuple(true, true, true));
        g_bOpenMultiFiles = 1;
        SendMessage(self, WM_RESULT_SELECTION, 1, 4);
        QCOMPARE(enabled(), std::make_tuple(true, false, true));
        g_bOpenMultiFiles = 0;
        g_bOpenMultiDirs = 1;
        SendMessage(self, WM_RESULT_SELECTION, 1, 4);
        QCOMPARE(enabled(), std::make_tuple(false, true, true));
        g_bOpenMultiDirs = 0;
    }

    void popupCommandsGoToTheResultList()
    {
        auto frame = MakeFrame();
        QVERIFY(frame);
        CRecordingTarget list;
        g_hWndResultList = &list;
        SendMessage(g_hWndMainFrame.load(), WM_RESULT_SELECTION, 1, 1);
        frame->Command(ID_OPEN_FILE)->trigger();
        frame->Command(ID_OPEN_DIR)->trigger();
        frame->Command(ID_COPY_FILES)->trigger();
        g_hWndResultList = frame->ResultView()->List()->Handle();
        QCOMPARE(list.calls.size(), std::size_t{3});
        for (WPARAM action = 1; action <= 3; ++action)
            QCOMPARE(list.calls[action - 1], std::make_tuple(static_cast<UINT>(WM_RESULT_ACTION), action, LPARAM{0}));
    }

    void resultListRightClickShowsTheFramesPopup()
    {
        auto frame = MakeFrame();
        QVERIFY(frame);
        CResultList* list = frame->ResultView()->List();
        const QPoint at = list->mapToGlobal(QPoint(20, 30));
        emit list->contextMenuRequested(at);
        QTRY_VERIFY(frame->ResultPopupMenu()->isVisible());
        QCOMPARE(frame->ResultPopupMenu()->pos(), at);
        frame->ResultPopupMenu()->hide();
    }

    void helpManualOpensTheFileOrSaysItIsMissing()
    {
        auto frame = MakeFrame();
        QVERIFY(frame);
        CUrlCatcher catcher;
        QDesktopServices::setUrlHandler(QStringLiteral("file"), &catcher, "Open");
        const QString previous = QDir::currentPath();
        QTemporaryDir here;
        QVERIFY(QDir::setCurrent(here.path()));

        frame->Command(ID_HELP_MANUAL)->trigger();
        QCOMPARE(LogLines(*frame->MessagePanel()).back(),
                 QStringLiteral("Sorry,  Help file 'HelpDocument.chm' is not found!!!"));
        QVERIFY(catcher.urls.isEmpty());

        // Found whatever the case of its name, as on the original platform.
        WriteFile(here.filePath("help.chm"), "ITSF");
        frame->Command(ID_HELP_MANUAL)->trigger();
        QDir::setCurrent(previous);
        QDesktopServices::unsetUrlHandler(QStringLiteral("file"));
        QCOMPARE(catcher.urls.size(), 1);
        QCOMPARE(catcher.urls.front(), QUrl::fromLocalFile(here.filePath("help.chm")));
    }

    void aboutShowsTheVersionAndUpdateOpensThePage()
    {
        auto frame = MakeFrame();
        QVERIFY(frame);
        CUrlCatcher catcher;
        QDesktopServices::setUrlHandler(QStringLiteral("https"), &catcher, "Open");
        QString title;
        QString version;
        QTimer::singleShot(0, [&] {
            QWidget* about = QApplication::activeModalWidget();
            if (about == nullptr) return;
            title = about->windowTitle();
            if (auto* label = about->findChild<QLabel*>(QStringLiteral("versionLabel"))) version = label->text();
            for (QPushButton* button : about->findChildren<QPushButton*>())
                if (button->text() == QStringLiteral("Update")) button->click();
            for (QPushButton* button : about->findChildren<QPushButton*>())
                if (button->text() == QStringLiteral("OK")) button->click();
        });
        frame->Command(ID_APP_ABOUT)->trigger();
        QDesktopServices::unsetUrlHandler(QStringLiteral("https"));
        QCOMPARE(title, QStringLiteral("About Varnel 1.0"));
        QCOMPARE(version, QStringLiteral("Varnel 1.0"));
        QCOMPARE(catcher.urls, QList<QUrl>{QUrl(Str(IDS_UPDATE_URL))});
        QCOMPARE(QUrlQuery(catcher.urls.front()).queryItemValue(QStringLiteral("ver")), QStringLiteral("1.0"));
    }

    void optionButtonAndMenuOpenTheOptionSheet()
    {
        auto frame = MakeFrame();
        QVERIFY(frame);
        QStringList seen;
        auto closeSheet = [&seen] {
            QWidget* sheet = QApplication::activeModalWidget();
            if (sheet == nullptr) return;
            seen << sheet->windowTitle();
            sheet->close();
        };
        QTimer::singleShot(0, closeSheet);
        QTest::mouseClick(frame->KeywordPanel()->OptionButton(), Qt::LeftButton);
        QTimer::singleShot(0, closeSheet);
        frame->Command(ID_OPTION)->trigger();
        QTimer::singleShot(0, closeSheet);
        frame->Command(ID_SETUP)->trigger();
        QCOMPARE(seen, (QStringList{"Option", "Option", "Setup"}));
    }
};

QTEST_MAIN(MainFrameTest)
#include "mainframe_qtest.moc"
