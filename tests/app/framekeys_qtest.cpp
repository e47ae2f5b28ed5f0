// The window's keys run their commands with the commands' enabling (Esc,
// Ctrl+Q, F1, F5; Enter and Ctrl+C in the result list), F5 keeps the ticks
// of folders that still exist, and no menu has two entries on one
// underlined letter.
#include "apptestenv.h"

#include "app/helpmanual.h"
#include "app/varnelview.h"
#include "results/desktopopener.h"
#include "results/resultlist.h"

#include <QApplication>
#include <QClipboard>
#include <QDir>
#include <QMenuBar>
#include <QMimeData>

#include <chrono>
#include <cstring>
#include <thread>

namespace {

void AddRow(const char* name, const char* path)
{
    std::memset(&g_resultFileInfo, 0, sizeof g_resultFileInfo);
    std::strncpy(g_resultFileInfo.szFileName, name, sizeof g_resultFileInfo.szFileName - 1);
    std::strncpy(g_resultFileInfo.szFilePath, path, sizeof g_resultFileInfo.szFilePath - 1);
    g_resultFileInfo.nMatchDegree = 100;
    SendMessage(g_hWndResultList, WM_ADD_RESULT, 0, 0);
}

// The item of `path` below the tree's first drive, or null.
QTreeWidgetItem* ItemAt(CDirectoryTree& tree, const QStringList& path)
{
    QTreeWidgetItem* item = tree.RootItem()->child(0);
    for (const QString& name : path) {
        QTreeWidgetItem* next = nullptr;
        for (int i = 0; item != nullptr && i < item->childCount(); ++i)
            if (item->child(i)->text(0) == name) next = item->child(i);
        item = next;
    }
    return item;
}

}  // namespace

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
        QVERIFY(frame);
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
        QVERIFY(frame);
        CDirectoryTree& tree = frame->FolderPane()->Tree();
        ItemAt(tree, {})->setExpanded(true);
        tree.ToggleCheck(ItemAt(tree, {"Keep"}));  // the folder itself
        tree.ToggleCheck(ItemAt(tree, {"Gone"}));
        QTreeWidgetItem* wide = ItemAt(tree, {"Wide"});
        tree.ToggleCheck(wide);
        tree.ToggleCheck(wide);  // with all its sub-folders
        QCOMPARE(tree.GetCheckState(wide), int(CDirectoryTree::STATE_CHECKED_ALL));

        QVERIFY(QDir(docs.filePath("Gone")).removeRecursively());
        for (const char* dir : {"New", "Wide/Fresh"}) QVERIFY(docs.mkpath(QString::fromLatin1(dir)));
        frame->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(frame.get()));
        QTest::keyClick(&tree, Qt::Key_F5);

        QVERIFY(ItemAt(tree, {"Gone"}) == nullptr);
        QVERIFY(ItemAt(tree, {})->isExpanded());
        const struct {
            QStringList path;
            int state;
        } expected[] = {
            {{"Keep"}, CDirectoryTree::STATE_CHECKED},
            {{"Keep", "Inner"}, CDirectoryTree::STATE_UNCHECKED},
            {{"New"}, CDirectoryTree::STATE_UNCHECKED},
            {{"Wide"}, CDirectoryTree::STATE_CHECKED_ALL},
            {{"Wide", "Old"}, CDirectoryTree::STATE_CHECKED},
            {{"Wide", "Fresh"}, CDirectoryTree::STATE_CHECKED},
        };
        for (const auto& row : expected) {
            QTreeWidgetItem* item = ItemAt(tree, row.path);
            QVERIFY2(item != nullptr, qPrintable(row.path.join('/')));
            QCOMPARE(tree.GetCheckState(item), row.state);
        }
    }

    void enterAndCtrlCInTheListFollowThePopupsRules()
    {
        CFrameFixture fx;
        auto frame = fx.MakeFrame();
        QVERIFY(frame);
        CResultList* list = frame->ResultView()->List();
        AddRow("a.txt", "/w/a.txt");
        AddRow("b.txt", "/w/b.txt");
        list->Model().Flush();
        QList<QUrl> opened;
        CDesktopOpener::SetHandler([&opened](const QUrl& url) { opened << url; });
        list->setFocus();
        const auto select = [list](std::initializer_list<int> rows) {
            list->setCurrentIndex(list->model()->index(*rows.begin(), 0));
            list->clearSelection();
            for (int row : rows)
                list->selectionModel()->select(list->model()->index(row, 0),
                                               QItemSelectionModel::Select | QItemSelectionModel::Rows);
        };
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
            select(c.rows);
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

    void menuMnemonicsAreUniqueWithinEachMenu()
    {
        CFrameFixture fx;
        auto frame = fx.MakeFrame();
        QVERIFY(frame);
        QList<QWidget*> menus{frame->menuBar(), frame->ResultPopupMenu()};
        for (QAction* top : frame->menuBar()->actions()) menus << top->menu();
        for (QWidget* menu : menus) {
            QList<QKeySequence> seen;
            for (QAction* action : menu->actions()) {
                if (action->isSeparator()) continue;
                const QKeySequence mnemonic = QKeySequence::mnemonic(action->text());
                QVERIFY2(!mnemonic.isEmpty() && !seen.contains(mnemonic), qPrintable(action->text()));
                seen << mnemonic;
            }
        }
    }
};

QTEST_MAIN(FrameKeysTest)
#include "framekeys_qtest.moc"
