// The main window driven as a user drives it: its layout, menus, bars and
// keys, Find and Stop with a stand-in run (the real search's list and log
// are the preview test's), the timer's text, the result commands and the
// list's Enter and Ctrl+C, F5 on the folder tree, Help (where the manual is
// found, and that it covers the commands, the log lines and the wildcards),
// About and the sheets, the settings on the way out, Stop or closing
// while a search runs, and the names assistive technology reads for the
// panes and for every control of the window and the sheets. The lower panes
// on their own: the keyword panel's layout at every size and its lines
// handed to the analysis as typed; the message panel's appending and
// clearing, a read-only log that can be copied and shows its end, every line
// of a very long log kept, and a worker's lines taken in while it waits and
// laid out together on a short timer (whole, in order, in far fewer layouts
// than lines).
#include "apptestenv.h"

#include "app/elapsedtime.h"
#include "app/helpmanual.h"
#include "panels/infosetupview.h"
#include "platform/cancellation.h"
#include "settings/optionsheet.h"
#include "settings/setupsheet.h"

#include <QDesktopServices>
#include <QMenuBar>
#include <QMessageBox>
#include <QSplitter>
#include <QStatusBar>
#include <QTextDocument>
#include <QToolBar>
#include <QUrl>
#include <QUrlQuery>

#include <chrono>

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
    std::atomic<int> runs{0};
    std::atomic<bool> overlapped{false};
    std::chrono::milliseconds tail{0};

    CSearchWorker::Procedure Procedure()
    {
        return [this] {
            if (++running > 1) overlapped = true;
            const std::string run = "run " + std::to_string(++runs);
            for (int step = 0; g_bRunning != 0; ++step) {
                g_strStatusText.Set("/data/folder" + std::to_string(step));
                LogLine(run + " step " + std::to_string(step));
                std::this_thread::sleep_for(std::chrono::milliseconds(10));
            }
            std::this_thread::sleep_for(tail);
            LogLine(run + " left its document");
            --running;
        };
    }
};

// Status line, files pane and time pane.
QStringList Panes(const CMainFrame& frame)
{
    return {frame.StatusLineText(), frame.FilesPaneText(), frame.TimePaneText()};
}

// Find, Stop, Open File, Open Directory and Copy as 1 (enabled) or 0.
QString Enabled(const CMainFrame& frame)
{
    QString out;
    for (UINT id : {ID_FIND, ID_STOP, ID_OPEN_FILE, ID_OPEN_DIR, ID_COPY_FILES})
        out += frame.Command(id)->isEnabled() ? QLatin1Char('1') : QLatin1Char('0');
    return out;
}

QString AccessibleName(QObject* object)
{
    QAccessibleInterface* iface = QAccessible::queryAccessibleInterface(object);
    return iface != nullptr ? iface->text(QAccessible::Name) : QString();
}

// Every control below `root` that has no name, as "role objectName" lines.
void CollectUnnamed(QAccessibleInterface* root, QStringList& out, int depth = 0)
{
    static const QList<QAccessible::Role> kControls = {
        QAccessible::PushButton, QAccessible::CheckBox, QAccessible::EditableText, QAccessible::Tree,
        QAccessible::Table,      QAccessible::List,     QAccessible::ComboBox,     QAccessible::PageTab,
        QAccessible::MenuItem,   QAccessible::ToolBar,  QAccessible::ButtonMenu,   QAccessible::SpinBox,
    };
    if (root == nullptr || depth > 30) return;
    if (kControls.contains(root->role()) && root->text(QAccessible::Name).trimmed().isEmpty())
        out << QStringLiteral("role %1 %2").arg(root->role()).arg(root->object() ? root->object()->objectName() : "");
    // Rows of the item views are their data, not controls.
    if (root->role() == QAccessible::Tree || root->role() == QAccessible::Table) return;
    for (int i = 0; i < root->childCount(); ++i) CollectUnnamed(root->child(i), out, depth + 1);
}

// The analysed keywords, after the panel's text was sent for analysis.
QStringList Keywords()
{
    SendMessage(g_hWndKeywordPanel.load(), WM_ANALYZE_KEYWORDS, 0, 0);
    QStringList out;
    for (long i = 0; i < g_arrKeywords.GetSize(); ++i) out << QString::fromUtf8(g_arrKeywords[i].szKeyword);
    return out;
}

// The log's editor, without the lay-out that Edit() does first.
QPlainTextEdit* RawEdit(CMessagePanel& panel)
{
    return panel.findChild<QPlainTextEdit*>(QStringLiteral("messageEdit"));
}

// Runs `steps` on the modal window that the next call opens.
void OnNextModal(const std::function<void(QWidget*)>& steps)
{
    QTimer::singleShot(0, [steps] {
        if (QWidget* modal = QApplication::activeModalWidget()) steps(modal);
    });
}

}  // namespace

class MainFrameTest : public QObject {
    Q_OBJECT

    std::unique_ptr<CFrameFixture> m_fx;

private slots:
    void init() { m_fx = std::make_unique<CFrameFixture>(); }
    // The next fixture clears the stop request a test leaves.
    void cleanup() { m_fx.reset(); }

    void startsIdleLaidOutAndShowsEachTick()
    {
        for (const auto& [ticks, text] : {std::pair{0u, "0:0:0.0"}, {599u, "0:0:59.9"}, {653u, "0:1:5.3"},
                                          {36000u * 30u + 601u, "30:1:0.1"}, {4294967295u, "119304:38:49.5"}})
            QCOMPARE(QString::fromStdString(FormatElapsedTime(ticks)), QString(text));
        auto frame = m_fx->MakeFrame();
        QCOMPARE(frame->windowTitle(), QStringLiteral("Varnel"));
        QCOMPARE(Panes(*frame), (QStringList{"", "Files:0", "0:0:0.0"}));
        QCOMPARE(Enabled(*frame), QStringLiteral("10000"));
        // Upper band 300 high, left column 200 wide; they keep their size
        // when the window grows, the other panes take the rest.
        for (const QSize size : {QSize(900, 640), QSize(1000, 740)}) {
            frame->resize(size);
            QApplication::processEvents();
            const QList<QSplitter*> splitters = {frame->Splitter(), frame->SplitterTop(), frame->SplitterBottom()};
            for (int i = 0; i < 3; ++i)
                QCOMPARE(splitters[i]->sizes(), (QList<int>{i == 0 ? 300 : 200, splitters[i]->sizes()[1]}));
            QVERIFY(frame->Splitter()->sizes().at(1) > 0 && frame->SplitterTop()->sizes().at(1) > 0);
        }
        QCOMPARE(frame->SplitterTop()->widget(0), static_cast<QWidget*>(frame->FolderPane()));
        QCOMPARE(frame->ResultView()->List()->geometry(), frame->ResultView()->rect());

        for (int i = 0; i < 600; ++i) frame->OnTimer();
        g_strStatusText.Set("/data/reports");
        g_nResultCount = 7;
        frame->OnTimer();
        QCOMPARE(Panes(*frame), (QStringList{"/data/reports", "Files:7", "0:1:0.1"}));

        // Find with no keyword ends at once.
        LogLine("line of an earlier search");
        frame->Command(ID_FIND)->trigger();
        QTRY_VERIFY_WITH_TIMEOUT(frame->IsIdle() && !frame->IsWorkerAlive(), 5000);
        QCOMPARE(Log(*frame), (QStringList{Str(IDS_INITIALIZATION), Str(IDS_ANALYZE_KEYWORDS),
                                           Str(IDS_SEARCH_SELECTED_DIRS), Str(IDS_NO_KEYWORD)}));
        QCOMPARE(Panes(*frame).mid(0, 2), (QStringList{"Complete...", "Files:0"}));
        QVERIFY(!frame->IsTimerActive());
        QCOMPARE(Enabled(*frame), QStringLiteral("10000"));
        QCOMPARE(frame->ResultView()->List()->ActionsEnabled(), 1);
        // The run ended by itself: the flag stays set until the next Stop.
        QCOMPARE(g_bRunning.load(), 1);
        // The end may be reported twice; every report ends in the same state.
        g_nResultCount = 3;
        QCOMPARE(SendMessage(g_hWndMainFrame.load(), WM_SEARCH_FINISHED, 0, 0), 0);
        QVERIFY(frame->IsIdle());
        QCOMPARE(Panes(*frame).mid(0, 2), (QStringList{"Complete...", "Files:3"}));
    }

    // Each menu entry and tool button is the command itself, so choosing it
    // runs that command; no menu has two entries on one underlined letter;
    // the manual covers every menu and popup command, every log line of the
    // string table and every wildcard element. The View entries show and
    // hide their bars.
    void menusCarryTheCommandsAndAreInTheManual()
    {
        QFile manual(CHelpManual::Locate());
        QVERIFY(manual.open(QIODevice::ReadOnly));
        const QString html = QString::fromUtf8(manual.readAll());
        auto frame = m_fx->MakeFrame();
        QList<QWidget*> menus;
        for (QAction* top : frame->menuBar()->actions()) menus << top->menu();
        menus << frame->ResultPopupMenu() << frame->ToolBar() << frame->menuBar();
        QList<QList<UINT>> ids;
        QStringList missing;
        for (QWidget* menu : menus) {
            QList<UINT> commands;
            QList<QKeySequence> seen;
            for (QAction* action : menu->actions()) {
                if (action->isSeparator()) continue;
                commands << (action == frame->Command(action->data().toUInt()) ? action->data().toUInt() : 0);
                if (menu == frame->ToolBar()) continue;
                const QKeySequence mnemonic = QKeySequence::mnemonic(action->text());
                QVERIFY2(!mnemonic.isEmpty() && !seen.contains(mnemonic), qPrintable(action->text()));
                seen << mnemonic;
                // "About Varnel(&A)..." is written "About Varnel".
                QString text = action->text();
                text.remove(QRegularExpression(QStringLiteral("\\(&.\\)|&|\\.\\.\\.$")));
                if (menu != frame->menuBar() && !html.contains(QStringLiteral("<td>%1</td>").arg(text))) missing << text;
            }
            if (menu != frame->menuBar()) ids << commands;
        }
        QCOMPARE(ids, (QList<QList<UINT>>{{ID_FIND, ID_STOP, ID_APP_EXIT},
                                          {ID_VIEW_TOOLBAR, ID_VIEW_STATUS_BAR, ID_VIEW_PREVIEW},
                                          {ID_OPTION, ID_SETUP},
                                          {ID_HELP_MANUAL, ID_APP_ABOUT},
                                          {ID_OPEN_FILE, ID_OPEN_DIR, ID_COPY_FILES},
                                          {ID_FIND, ID_STOP}}));
        for (UINT id : {IDS_INITIALIZATION, IDS_ANALYZE_KEYWORDS, IDS_SEARCH_SELECTED_DIRS, IDS_OFFICE_2003,
                        IDS_SEARCH_FINISHED, IDS_USER_STOPPED, IDS_NO_KEYWORD, IDS_NO_FOLDER, IDS_NO_FILE_TYPE,
                        IDS_TOO_MANY_KEYWORDS, IDS_KEYWORD_TOO_LONG, IDS_FILE_RUINED, IDS_FILE_IN_USE,
                        IDS_PATH_TOO_LONG, IDS_FOLDER_UNREADABLE, IDS_BAD_WILDCARD_KEYWORD, IDS_WORD_START_FAILED,
                        IDS_EXCEL_START_FAILED, IDS_HELP_NOT_FOUND})
            if (!html.contains(Str(id).trimmed().toHtmlEscaped())) missing << Str(id).trimmed();
        for (const char* element : {"?", "*", "@", "{n}", "{n,}", "{n,m}", "[abc]", "[a-z]", "[!x]", "&lt;", "&gt;",
                                    "( )", "\\"})
            if (!html.contains(QStringLiteral("<td><code>%1</code></td>").arg(QLatin1String(element))))
                missing << QLatin1String(element);
        QVERIFY2(missing.isEmpty(), qPrintable(missing.join(QStringLiteral(" | "))));
        // When a command's prompt leaves the status line, the idle prompt shows.
        frame->statusBar()->showMessage(frame->Command(ID_FIND)->statusTip());
        frame->statusBar()->clearMessage();
        QCOMPARE(frame->StatusLineText(), QStringLiteral("Ready"));

        frame->Command(ID_VIEW_STATUS_BAR)->trigger();
        QVERIFY(!frame->statusBar()->isVisible());
        frame->Command(ID_VIEW_STATUS_BAR)->trigger();
        frame->Command(ID_VIEW_TOOLBAR)->trigger();
        QVERIFY(frame->statusBar()->isVisible() && !frame->ToolBar()->isVisible());
        QVERIFY(!frame->Command(ID_VIEW_TOOLBAR)->isChecked());
    }

    // With a stand-in run: Ctrl+F starts it (the time from 0, the list's
    // actions off, Find disabled); Esc (Stop) logs the end
    // and enables Find again; a Find right after waits for the worker still
    // inside its document and starts with a clean log; closing stops the run
    // and serves its sends until it has ended.
    void findStopAndCloseWithAStandInRun()
    {
        CFakeRun run;
        run.tail = std::chrono::milliseconds(600);
        auto frame = m_fx->MakeFrame(run.Procedure());
        QPlainTextEdit* editor = frame->KeywordPanel()->Edit();
        editor->setFocus();
        for (int i = 0; i < 3; ++i) frame->OnTimer();
        QTest::keyClick(editor, Qt::Key_F, Qt::ControlModifier);
        QCOMPARE(Enabled(*frame), QStringLiteral("01000"));
        QCOMPARE(frame->TimePaneText(), QStringLiteral("0:0:0.0"));
        QVERIFY(frame->IsWorkerAlive() && frame->IsTimerActive());
        QCOMPARE(frame->ResultView()->List()->ActionsEnabled(), 0);
        QTRY_VERIFY(frame->StatusLineText().startsWith(QStringLiteral("/data/folder")));
        QTRY_VERIFY(frame->Ticks() >= 3);

        g_nResultCount = 5;
        QTest::keyClick(editor, Qt::Key_Escape);
        // Both flags: the running one ends the walk, the request a file in
        // the middle (varnel-find's signal test holds that it does).
        QCOMPARE(g_bRunning.load(), 0);
        QVERIFY(platform::IsSearchStopRequested());
        QVERIFY(frame->IsIdle() && !frame->IsTimerActive());
        QCOMPARE(Enabled(*frame), QStringLiteral("10000"));
        QCOMPARE(frame->ResultView()->List()->ActionsEnabled(), 1);
        QCOMPARE(Log(*frame).back(), Str(IDS_USER_STOPPED));
        QCOMPARE(Panes(*frame).mid(0, 2), (QStringList{"Complete...", "Files:5"}));
        QVERIFY(frame->IsWorkerAlive());  // still inside its document

        QTest::keyClick(editor, Qt::Key_F, Qt::ControlModifier);
        QTRY_COMPARE(run.runs.load(), 2);
        QVERIFY(!frame->IsIdle());
        const QStringList log = Log(*frame);
        QVERIFY(!log.isEmpty() && log.front() == Str(IDS_INITIALIZATION));
        for (const QString& line : log) QVERIFY2(!line.startsWith(QStringLiteral("run 1")), qPrintable(line));
        run.tail = std::chrono::milliseconds(300);
        QVERIFY(frame->close());
        QVERIFY(!frame->IsWorkerAlive() && !run.overlapped);
        QVERIFY(g_bRunning.load() == 0 && platform::IsSearchStopRequested());
        QCOMPARE(Log(*frame).back(), QStringLiteral("run 2 left its document"));
    }

    // Exit closes the window and writes the switches, which the next
    // window starts with; a failed write is reported and the window closes.
    void exitSavesTheSettingsForTheNextStart()
    {
        auto frame = m_fx->MakeFrame();
        g_conditions.MatchCase = 1;
        frame->Command(ID_APP_EXIT)->trigger();
        frame.reset();
        g_conditions.MatchCase = 0;
        frame = m_fx->MakeFrame();
        QCOMPARE(g_conditions.MatchCase.load(), 1);

        RegDenyUserKeyForTesting("SOFTWARE\\Varnel\\Setup");
        QStringList seen;
        OnNextModal([&seen](QWidget* modal) {
            auto* box = qobject_cast<QMessageBox*>(modal);
            seen << box->windowTitle() << box->text() << QString::number(box->icon());
            box->button(QMessageBox::Ok)->click();
        });
        QVERIFY(frame->close());
        QCOMPARE(seen, (QStringList{"Varnel", "Information is not saved successfully!",
                                    QString::number(QMessageBox::NoIcon)}));
    }

    // The manual is found where an installed program keeps it (a folder of
    // that name is not a manual); F1 (Help > Manual) opens it, or logs that
    // there is none. About shows the version and its Update button opens
    // the page; the Option button and the Advanced menu open their sheets;
    // Esc (Stop) does nothing while idle; Ctrl+Q is Exit and closes the window.
    void helpAboutSheetsAndKeys()
    {
        QTemporaryDir prefix;
        const QStringList candidates = CHelpManual::Candidates(prefix.filePath(QStringLiteral("bin")));
        const QString installed = prefix.filePath(QStringLiteral("share/doc/varnel/manual.html"));
        QVERIFY(QDir(prefix.path()).mkpath(installed));
        QVERIFY(CHelpManual::Find({candidates.front()}).isEmpty());
        QVERIFY(QDir(prefix.path()).rmdir(installed));
        QVERIFY(WriteFile(installed, "<html></html>"));
        QCOMPARE(CHelpManual::Find(candidates), installed);

        auto frame = m_fx->MakeFrame();
        QWidget* editor = frame->KeywordPanel()->Edit();
        editor->setFocus();
        QTest::keyClick(editor, Qt::Key_Escape);
        QVERIFY(!Log(*frame).contains(Str(IDS_USER_STOPPED)));

        CUrlCatcher catcher;
        for (const char* scheme : {"file", "https"}) QDesktopServices::setUrlHandler(scheme, &catcher, "Open");
        CHelpManual::SetCandidatesForTesting(candidates);
        QTest::keyClick(editor, Qt::Key_F1);
        CHelpManual::SetCandidatesForTesting({prefix.filePath(QStringLiteral("none.html"))});
        frame->Command(ID_HELP_MANUAL)->trigger();
        CHelpManual::SetCandidatesForTesting({});
        QCOMPARE(Log(*frame).back(), Str(IDS_HELP_NOT_FOUND));

        QStringList seen;
        OnNextModal([&seen](QWidget* about) {
            seen << about->windowTitle();
            if (auto* label = about->findChild<QLabel*>(QStringLiteral("versionLabel"))) seen << label->text();
            for (const QString text : {"Update", "OK"})
                for (QPushButton* button : about->findChildren<QPushButton*>())
                    if (button->text() == text) button->click();
        });
        frame->Command(ID_APP_ABOUT)->trigger();
        for (const char* scheme : {"file", "https"}) QDesktopServices::unsetUrlHandler(scheme);
        QCOMPARE(catcher.urls, (QList<QUrl>{QUrl::fromLocalFile(installed), QUrl(Str(IDS_UPDATE_URL))}));
        QCOMPARE(QUrlQuery(catcher.urls.back()).queryItemValue(QStringLiteral("ver")), QStringLiteral("1.0"));
        for (const std::function<void()>& open : std::initializer_list<std::function<void()>>{
                 [&] { QTest::mouseClick(frame->KeywordPanel()->OptionButton(), Qt::LeftButton); },
                 [&] { frame->Command(ID_OPTION)->trigger(); }, [&] { frame->Command(ID_SETUP)->trigger(); }}) {
            OnNextModal([&seen](QWidget* sheet) {
                seen << sheet->windowTitle();
                sheet->close();
            });
            open();
        }
        QCOMPARE(seen, (QStringList{"About Varnel 1.0", "Varnel 1.0", "Option", "Option", "Setup"}));

        frame->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(frame.get()));
        QTest::keyClick(editor, Qt::Key_Q, Qt::ControlModifier);
        QTRY_VERIFY(!frame->isVisible());
    }

    // A right click on the list reports (on a row?, rows selected before);
    // the popup offers what that selection and the Setup switches allow.
    // Enter and Ctrl+C act as its Open File and Copy on the list's
    // selection, as Open Directory does from the menu; not during a search.
    // F5 on the folder tree reads it again, keeping ticks.
    void f5AndResultPopupKeysAndCommands()
    {
        QDir docs(m_fx->docs.path());
        for (const char* dir : {"Keep/Inner", "Gone", "Wide/Old", "Bare/Sub"})
            QVERIFY(docs.mkpath(QString::fromLatin1(dir)));
        auto frame = m_fx->MakeFrame();
        CDirectoryTree& tree = frame->FolderPane()->Tree();
        TreeItem(tree, ".")->setExpanded(true);
        // Keep itself, Gone, and Wide and Bare with all their sub-folders.
        for (const char* path : {"Keep", "Gone", "Wide", "Wide", "Bare", "Bare"})
            tree.ToggleCheck(TreeItem(tree, path));

        QVERIFY(QDir(docs.filePath("Gone")).removeRecursively() && docs.rmdir("Bare/Sub"));
        tree.setCurrentItem(TreeItem(tree, "Wide"));
        for (const char* dir : {"New", "Wide/Fresh"}) QVERIFY(docs.mkpath(QString::fromLatin1(dir)));
        QTest::keyClick(&tree, Qt::Key_F5);

        QVERIFY(TreeItem(tree, "Gone") == nullptr);
        QVERIFY(TreeItem(tree, ".")->isExpanded() && tree.currentItem() == TreeItem(tree, "Wide"));
        QStringList states;
        for (const char* path : {"Keep", "Keep/Inner", "New", "Wide", "Wide/Old", "Wide/Fresh", "Bare"})
            states << QString::number(tree.GetCheckState(TreeItem(tree, path)));
        // 1 unticked, 2 ticked, 3 with sub-folders (Bare has none left)
        QCOMPARE(states.join(' '), QStringLiteral("2 1 1 3 2 2 2"));

        // On a row?, rows selected, the two Setup switches, and then Open
        // File, Open Directory and Copy enabled.
        using Step = std::tuple<WPARAM, LPARAM, int, int, const char*>;
        const Step steps[] = {{0, 3, 0, 0, "000"}, {1, 2, 0, 0, "001"}, {1, 1, 0, 0, "111"},
                              {0, 5, 0, 0, "111"}, {1, 4, 1, 0, "101"}, {1, 4, 0, 1, "011"}};
        for (const auto& [onRow, selected, multiFiles, multiDirs, enabled] : steps) {
            g_bOpenMultiFiles = multiFiles;
            g_bOpenMultiDirs = multiDirs;
            SendMessage(g_hWndMainFrame.load(), WM_RESULT_SELECTION, onRow, selected);
            QCOMPARE(Enabled(*frame).mid(2), QString::fromLatin1(enabled));
        }
        CResultList* list = frame->ResultView()->List();
        AddResult("a.txt", "/w/a.txt");
        AddResult("b.txt", "/w/b.txt");
        list->Model().Flush();
        QList<QUrl> opened;
        CDesktopOpener::SetHandler([&opened](const QUrl& url) { opened << url; });
        list->setFocus();
        const auto a = QUrl::fromLocalFile(QStringLiteral("/w/a.txt"));
        const auto b = QUrl::fromLocalFile(QStringLiteral("/w/b.txt"));
        const struct {
            std::initializer_list<int> rows;
            int multiFiles;
            bool searching;
            QList<QUrl> opens;
        } cases[] = {
            {{1}, 0, false, {b}},
            {{0, 1}, 0, false, {}},
            {{0, 1}, 1, false, {a, b}},
            {{0}, 1, true, {}},
        };
        for (const auto& c : cases) {
            opened.clear();
            g_bOpenMultiFiles = c.multiFiles;
            SendMessage(g_hWndResultList, WM_ENABLE_RESULT_ACTIONS, c.searching ? 0 : 1, 0);
            SelectRows(list, c.rows);
            QApplication::clipboard()->clear();
            QTest::keyClick(list, Qt::Key_Return);
            QCOMPARE(opened, c.opens);  // before Ctrl+C: each key does its own command
            QTest::keyClick(list, Qt::Key_C, Qt::ControlModifier);
            const QMimeData* copied = QApplication::clipboard()->mimeData();
            const QList<QUrl> urls = copied != nullptr ? copied->urls() : QList<QUrl>();
            // Copy needs no Setup switch, only a selection and no search.
            QCOMPARE(urls.size(), c.searching ? 0 : qsizetype(c.rows.size()));
        }
        opened.clear();
        SendMessage(g_hWndResultList, WM_ENABLE_RESULT_ACTIONS, 1, 0);
        SelectRows(list, {1});
        QVERIFY(list->ReportSelectionForKey());
        frame->Command(ID_OPEN_DIR)->trigger();
        CDesktopOpener::SetHandler({});
        QCOMPARE(opened, QList<QUrl>{QUrl::fromLocalFile("/w")});
        // The list's right click shows the frame's popup where it was asked.
        const QPoint at = list->mapToGlobal(QPoint(20, 30));
        emit list->contextMenuRequested(at);
        QTRY_VERIFY(frame->ResultPopupMenu()->isVisible());
        QCOMPARE(frame->ResultPopupMenu()->pos(), at);
    }

    void panesAndEveryControlHaveNames()
    {
        auto frame = m_fx->MakeFrame();
        QCOMPARE(AccessibleName(&frame->FolderPane()->Tree()), Str(IDS_NAME_FOLDER_TREE));
        QCOMPARE(AccessibleName(frame->findChild<CResultList*>()), Str(IDS_NAME_RESULT_LIST));
        QCOMPARE(AccessibleName(frame->KeywordPanel()->Edit()), Str(IDS_NAME_KEYWORDS));
        QCOMPARE(AccessibleName(frame->MessagePanel()->Edit()), Str(IDS_NAME_MESSAGES));
        QCOMPARE(frame->KeywordPanel()->Edit()->placeholderText(), Str(IDS_KEYWORD_HINT));

        QStringList unnamed;
        CollectUnnamed(QAccessible::queryAccessibleInterface(frame.get()), unnamed);

        // The sheets, shown without running them modally.
        COptionSheet options(IDS_OPTION_CAPTION, frame.get(), 0);
        CSetupSheet setup(IDS_SETUP_CAPTION, frame.get(), 0);
        for (QDialog* sheet : {static_cast<QDialog*>(&options), static_cast<QDialog*>(&setup)}) {
            sheet->show();
            QVERIFY(QTest::qWaitForWindowExposed(sheet));
            CollectUnnamed(QAccessible::queryAccessibleInterface(sheet), unnamed);
            sheet->hide();
        }
        QVERIFY2(unnamed.isEmpty(), qPrintable(unnamed.join(QLatin1Char('\n'))));
    }

    // ---- Keywords -----------------------------------------------------------
    // How lines become keywords (blank lines, the limit of 256) is the
    // analysis's own test; here: the panel hands over its lines as typed,
    // and its layout follows every size.
    void keywordPaneHandsOverItsLinesAndFollowsEveryResize()
    {
        {
            CInfoSetupView view;
            view.show();
            QVERIFY(QTest::qWaitForWindowExposed(&view));
            CKeywordPanel* panel = view.Panel();
            panel->Edit()->setPlainText(QStringLiteral("alpha\n\n  \nBeta\nalpha\n10\u00a0kg"));
            QCOMPARE(Keywords(), (QStringList{"alpha", "  ", "Beta", "alpha", "10\u00a0kg"}));
            // Typed: Enter and Shift+Enter (a break inside the editor's
            // paragraph, still a new line on screen) both start a keyword.
            panel->Edit()->clear();
            QTest::keyClicks(panel->Edit(), QStringLiteral("invoice"));
            QTest::keyClick(panel->Edit(), Qt::Key_Return);
            QTest::keyClicks(panel->Edit(), QStringLiteral("Rechnung"));
            QTest::keyClick(panel->Edit(), Qt::Key_Return, Qt::ShiftModifier);
            panel->Edit()->insertPlainText(QStringLiteral("m\u00fcller"));
            QCOMPARE(Keywords(), (QStringList{"invoice", "Rechnung", "m\u00fcller"}));

            QCOMPARE(panel->Edit()->lineWrapMode(), QPlainTextEdit::NoWrap);
            // The button is a full-width strip 20 pixels high along the bottom,
            // the editor fills the rest; a lower pane shows only the button.
            for (const QSize size : {QSize(200, 420), QSize(640, 90), QSize(100, 12)}) {
                view.resize(size);
                QApplication::processEvents();
                QCOMPARE(panel->geometry(), QRect(QPoint(0, 0), size));
                QCOMPARE(panel->OptionButton()->geometry(), QRect(0, size.height() - 20, size.width(), 20));
                QCOMPARE(panel->Edit()->geometry(), QRect(0, 0, size.width(), std::max(0, size.height() - 20)));
            }
        }
        QCOMPARE(g_hWndKeywordPanel.load(), static_cast<HWND>(nullptr));
    }

    // ---- The log --------------------------------------------------------------
    // One panel through its life: appending and clearing, a read-only log
    // that can be copied and shows its end, and a worker's lines.
    void logAppendsClearsKeepsEveryLineAndTakesAWorkersLines()
    {
        g_strMessageText.Set("left over from before");
        {
            CMessagePanel panel;
            panel.resize(400, 200);
            panel.show();
            QVERIFY(QTest::qWaitForWindowExposed(&panel));
            QCOMPARE(g_strMessageText.Get(), std::string());
            LogLine("old");
            QCOMPARE(LogLines(RawEdit(panel)), QStringList());  // waits for the timer
            SendMessage(panel.Handle(), WM_CLEAR_MESSAGES, 0, 0);
            LogLine("first");
            QTRY_COMPARE(LogLines(RawEdit(panel)), QStringList{"first"});
            LogLine("");  // an empty line is still a line
            LogLine("/home/m\xc3\xbcller/Bericht.doc");
            // Reading the log through the panel lays out what it has taken in.
            QCOMPARE(panel.Edit()->toPlainText(), QStringLiteral("first\n\n/home/m\u00fcller/Bericht.doc\n"));
            // Without a line of its own the message carries the shared text.
            g_strMessageText.Set("shared");
            SendMessage(panel.Handle(), WM_APPEND_MESSAGE, 0, 0);
            QCOMPARE(LogLines(panel.Edit()).back(), QStringLiteral("shared"));
            SendMessage(panel.Handle(), WM_CLEAR_MESSAGES, 0, 0);
            // A steady stream of lines shows while it lasts, not only at its end.
            for (int i = 0; i < 30 && LogLines(RawEdit(panel)).size() < 2; ++i) {
                LogLine("stream");
                QTest::qWait(10);
            }
            QVERIFY(LogLines(RawEdit(panel)).size() >= 2);

            SendMessage(panel.Handle(), WM_CLEAR_MESSAGES, 0, 0);
            LogLine("copy me");
            QTest::keyClicks(panel.Edit(), QStringLiteral("typed"));
            QCOMPARE(panel.Edit()->toPlainText(), QStringLiteral("copy me\n"));
            QVERIFY(panel.Edit()->textInteractionFlags() & Qt::TextSelectableByMouse);
            QVERIFY(panel.Edit()->textInteractionFlags() & Qt::TextSelectableByKeyboard);
            // Every line is kept, and each new one scrolls to the end, also
            // when the user had scrolled up.
            QScrollBar* bar = panel.Edit()->verticalScrollBar();
            constexpr int kLongLog = 100000;
            for (int i = 1; i < kLongLog; ++i) LogLine("C:/docs/file" + std::to_string(i) + ".doc:Files is in use");
            QTRY_VERIFY(bar->maximum() > 0 && bar->value() == bar->maximum());
            bar->setValue(0);
            LogLine("newest");
            QTRY_COMPARE(bar->value(), bar->maximum());
            const QStringList log = LogLines(panel.Edit());
            QCOMPARE(log.size(), kLongLog + 1);
            QCOMPARE(log.at(54321), QStringLiteral("C:/docs/file54321.doc:Files is in use"));

            // A worker's lines are taken in while it waits and laid out
            // together: whole, in order, in far fewer layouts than lines.
            SendMessage(panel.Handle(), WM_CLEAR_MESSAGES, 0, 0);
            int layouts = 0;
            connect(RawEdit(panel)->document(), &QTextDocument::contentsChange, this,
                    [&layouts](int, int, int added) { layouts += added > 0 ? 1 : 0; });
            constexpr int kLines = 3000;
            const auto line = [](int i) { return QStringLiteral("/data/file%1.txt:cannot be searched").arg(i); };
            std::atomic<bool> done{false};
            std::thread worker([&done, &line] {
                for (int i = 0; i < kLines; ++i) LogLine(line(i).toStdString());
                done = true;
            });
            // The GUI thread keeps replacing the shared text meanwhile; whatever
            // is laid out at any moment is the worker's own lines so far, in order.
            while (!done) {
                g_strMessageText.Set("ui thread text");
                QApplication::processEvents(QEventLoop::AllEvents, 5);
                const QStringList seen = LogLines(RawEdit(panel));
                for (int i = 0; i < seen.size(); i += 97) QCOMPARE(seen.at(i), line(i));
            }
            worker.join();
            QTRY_COMPARE(LogLines(RawEdit(panel)).size(), kLines);
            const QStringList lines = LogLines(RawEdit(panel));
            for (int i = 0; i < kLines; ++i) QCOMPARE(lines.at(i), line(i));
            QCOMPARE(bar->value(), bar->maximum());
            QVERIFY2(layouts <= kLines / 4, qPrintable(QStringLiteral("%1 layouts").arg(layouts)));
        }
        QCOMPARE(g_hWndMessagePanel.load(), static_cast<HWND>(nullptr));
    }
};

QTEST_MAIN(MainFrameTest)
#include "mainframe_qtest.moc"
