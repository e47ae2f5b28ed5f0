// The window's keys run their commands with the commands' enabling (Esc,
// Ctrl+Q, F1, F5; Enter and Ctrl+C in the result list), F5 keeps the ticks
// of folders that still exist, no menu has two entries on one underlined
// letter, and the user manual is found (beside an installed program, else
// in the source tree) and covers every menu and popup command, every log
// line of the string table and every wildcard element.
#include "apptestenv.h"

#include "app/helpmanual.h"

#include <QApplication>
#include <QClipboard>
#include <QFileInfo>
#include <QMenuBar>
#include <QMimeData>
#include <QRegularExpression>

#include <chrono>
#include <thread>

class FrameKeysTest : public QObject {
    Q_OBJECT
private slots:
    void windowKeysRunTheirCommands()
    {
        CFrameFixture fx;
        // A run that lasts until Stop.
        auto frame = fx.MakeFrame([] {
            while (g_bRunning != 0) std::this_thread::sleep_for(std::chrono::milliseconds(5));
        });
        frame->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(frame.get()));
        QWidget* editor = frame->KeywordPanel()->Edit();
        editor->setFocus();

        // Esc is Stop, and only while a search runs.
        QTest::keyClick(editor, Qt::Key_Escape);
        QVERIFY(!Log(*frame).contains(Str(IDS_USER_STOPPED)));
        StartFind(*frame, QStringLiteral("x"));
        QVERIFY(!frame->IsIdle());
        QTest::keyClick(editor, Qt::Key_Escape);
        QVERIFY(frame->IsIdle());
        QCOMPARE(Log(*frame).back(), Str(IDS_USER_STOPPED));
        QTRY_VERIFY(!frame->IsWorkerAlive());

        // F1 is Help > Manual (here without a manual to find).
        CHelpManual::SetCandidatesForTesting({fx.docs.filePath(QStringLiteral("none.html"))});
        QTest::keyClick(editor, Qt::Key_F1);
        CHelpManual::SetCandidatesForTesting({});
        QCOMPARE(Log(*frame).back(), Str(IDS_HELP_NOT_FOUND));

        // Ctrl+Q is Exit: the window closes.
        QTest::keyClick(editor, Qt::Key_Q, Qt::ControlModifier);
        QTRY_VERIFY(!frame->isVisible());
    }

    void f5ReadsTheTreeAgainKeepingTicks()
    {
        CFrameFixture fx;
        QDir docs(fx.docs.path());
        for (const char* dir : {"Keep/Inner", "Gone", "Wide/Old"}) QVERIFY(docs.mkpath(QString::fromLatin1(dir)));
        auto frame = fx.MakeFrame();
        CDirectoryTree& tree = frame->FolderPane()->Tree();
        TreeItem(tree, ".")->setExpanded(true);
        // Keep itself, Gone, and Wide with all its sub-folders.
        for (const char* path : {"Keep", "Gone", "Wide", "Wide"}) tree.ToggleCheck(TreeItem(tree, path));
        QCOMPARE(tree.GetCheckState(TreeItem(tree, "Wide")), int(CDirectoryTree::STATE_CHECKED_ALL));

        QVERIFY(QDir(docs.filePath("Gone")).removeRecursively());
        for (const char* dir : {"New", "Wide/Fresh"}) QVERIFY(docs.mkpath(QString::fromLatin1(dir)));
        frame->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(frame.get()));
        QTest::keyClick(&tree, Qt::Key_F5);

        QVERIFY(TreeItem(tree, "Gone") == nullptr);
        QVERIFY(TreeItem(tree, ".")->isExpanded());
        QStringList states;
        for (const char* path : {"Keep", "Keep/Inner", "New", "Wide", "Wide/Old", "Wide/Fresh"})
            states << QString::number(tree.GetCheckState(TreeItem(tree, path)));
        // 1 unticked, 2 ticked, 3 with sub-folders
        QCOMPARE(states.join(' '), QStringLiteral("2 1 1 3 2 2"));
    }

    void enterAndCtrlCInTheListFollowThePopupsRules()
    {
        CFrameFixture fx;
        auto frame = fx.MakeFrame();
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
            QTest::keyClick(list, Qt::Key_C, Qt::ControlModifier);
            QCOMPARE(opened, c.opens);
            const QMimeData* copied = QApplication::clipboard()->mimeData();
            const QList<QUrl> urls = copied != nullptr ? copied->urls() : QList<QUrl>();
            // Copy needs no Setup switch, only a selection and no search.
            QCOMPARE(urls.size(), c.searching ? 0 : qsizetype(c.rows.size()));
        }
        CDesktopOpener::SetHandler({});
    }

    void installedManualIsFoundBesideTheProgram()
    {
        QTemporaryDir prefix;
        QVERIFY(QDir(prefix.path()).mkpath(QStringLiteral("bin")));
        const QString bin = prefix.filePath(QStringLiteral("bin"));
        const QString installed = prefix.filePath(QStringLiteral("share/doc/varnel/manual.html"));
        QVERIFY(CHelpManual::Find({CHelpManual::Candidates(bin).front()}).isEmpty());
        // A folder of that name is not a manual.
        QVERIFY(QDir(prefix.path()).mkpath(installed));
        QVERIFY(CHelpManual::Find({CHelpManual::Candidates(bin).front()}).isEmpty());
        QVERIFY(QDir(prefix.path()).rmdir(installed));
        QVERIFY(WriteFile(installed, "<html></html>"));
        QCOMPARE(CHelpManual::Find(CHelpManual::Candidates(bin)), installed);
        // This test program is not installed: it finds the source tree's.
        QCOMPARE(QFileInfo(CHelpManual::Locate()).canonicalFilePath(),
                 QFileInfo(QStringLiteral(VARNEL_TEST_DATA "/../../docs/manual.html")).canonicalFilePath());
    }

    void menusHaveUniqueMnemonicsAndAreInTheManual()
    {
        QFile file(CHelpManual::Locate());
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QString html = QString::fromUtf8(file.readAll());
        QStringList missing;
        CFrameFixture fx;
        auto frame = fx.MakeFrame();
        QList<QWidget*> menus{frame->menuBar(), frame->ResultPopupMenu()};
        for (QAction* top : frame->menuBar()->actions()) menus << top->menu();
        for (QWidget* menu : menus) {
            QList<QKeySequence> seen;
            for (QAction* action : menu->actions()) {
                if (action->isSeparator()) continue;
                const QKeySequence mnemonic = QKeySequence::mnemonic(action->text());
                QVERIFY2(!mnemonic.isEmpty() && !seen.contains(mnemonic), qPrintable(action->text()));
                seen << mnemonic;
                // "About Varnel(&A)..." is written "About Varnel".
                QString text = action->text();
                text.remove(QRegularExpression(QStringLiteral("\\(&.\\)|&|\\.\\.\\.$")));
                if (menu != frame->menuBar() && !html.contains(QStringLiteral("<td>%1</td>").arg(text)))
                    missing << text;
            }
        }
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
    }
};

QTEST_MAIN(FrameKeysTest)
#include "framekeys_qtest.moc"
