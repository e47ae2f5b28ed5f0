// Folder tree: the drive list from the mount table, check-state cycles and
// parent updates, lazy loading on expansion, folder collection, and the
// mouse and keyboard ways of toggling, on a temporary folder tree.
#include "folders/directorytree.h"
#include "folders/directoryview.h"
#include "folders/drivelist.h"
#include "search/searchcontext.h"

#include <QDir>
#include <QTemporaryDir>
#include <QtTest>

#include <string>
#include <vector>

namespace {

class RecordingPanel : public CMessageTarget {
public:
    LRESULT OnMessage(UINT message, WPARAM, LPARAM lParam) override
    {
        if (message == WM_APPEND_MESSAGE) lines.push_back(MessageLineOf(lParam));
        return 0;
    }
    std::vector<std::string> lines;
};

QTreeWidgetItem* ChildNamed(QTreeWidgetItem* parent, const QString& name)
{
    for (int i = 0; i < parent->childCount(); ++i)
        if (parent->child(i)->text(0) == name) return parent->child(i);
    return nullptr;
}

QStringList ChildNames(QTreeWidgetItem* parent)
{
    QStringList names;
    for (int i = 0; i < parent->childCount(); ++i) names << parent->child(i)->text(0);
    return names;
}

struct Folder {
    std::string path;
    int subfolders;
    bool operator==(const Folder& o) const { return path == o.path && subfolders == o.subfolders; }
};

std::vector<Folder> CollectedFolders()
{
    std::vector<Folder> out;
    for (const _SelectedFolder& f : g_listSelectedFolders) out.push_back({f.szPath, f.bSubfolders});
    return out;
}

}  // namespace

class FoldersTest : public QObject {
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    std::string m_root;
    RecordingPanel m_panel;

    // A fresh tree over the temporary folder as its only drive, with the
    // drive expanded so its folders have their first level loaded.
    std::unique_ptr<CDirectoryTree> NewTree()
    {
        auto tree = std::make_unique<CDirectoryTree>();
        tree->FillDrives({CDriveEntry{m_root, "Test", DriveKind::Fixed}});
        Drive(*tree)->setExpanded(true);
        return tree;
    }
    static QTreeWidgetItem* Drive(CDirectoryTree& tree) { return tree.RootItem()->child(0); }

private slots:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        m_root = QDir(m_dir.path()).canonicalPath().toStdString();
        // Test/ a/{B/{B1}, C}, d (no sub-folders), E/{F}, and a file.
        QDir d(QString::fromStdString(m_root));
        QVERIFY(d.mkpath("a/B/B1"));
        QVERIFY(d.mkpath("a/C"));
        QVERIFY(d.mkpath("d"));
        QVERIFY(d.mkpath("E/F"));
        QFile file(d.filePath("notes.txt"));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("x");
    }

    void init()
    {
        ResetSearchContext();
        m_panel.lines.clear();
        g_hWndMessagePanel = &m_panel;
        g_bRunning = 1;
    }

    void cleanup()
    {
        g_hWndMessagePanel = nullptr;
        ResetSearchContext();
    }

    // ---- The drive list -------------------------------------------------
    void driveListTakesOnlyWhatAPersonWouldPick()
    {
        const char* mounts =
            "/dev/sda2 / ext4 rw,relatime 0 0\n"
            "proc /proc proc rw 0 0\n"
            "sysfs /sys sysfs rw 0 0\n"
            "tmpfs /run tmpfs rw 0 0\n"
            "/dev/sda3 /home ext4 rw 0 0\n"
            "/dev/sdb1 /media/me/USB\\040STICK vfat rw 0 0\n"
            "/dev/sr0 /media/me/CDROM iso9660 ro 0 0\n"
            "server:/export /mnt/nfs nfs4 rw 0 0\n"
            "//srv/share /mnt/smb cifs rw 0 0\n"
            "overlay /var/lib/docker/overlay2/x/merged overlay rw 0 0\n"
            "/dev/sdc1 /run/media/me/Disk ext4 rw 0 0\n"
            "/dev/sdd1 /srv/data ext4 rw 0 0\n"
            "tmpfs /media/me/ram tmpfs rw 0 0\n"
            "garbage\n"
            "\n"
            "/dev/sde1 /mediax/usb vfat rw 0 0\n";
        const auto labels = [](const std::string& device) -> std::string {
            if (device == "/dev/sda2") return "System";
            if (device == "/dev/sdb1") return "USB STICK";
            return {};
        };
        const std::vector<CDriveEntry> drives = CDriveList::Parse(mounts, "/home/me", labels);
        QCOMPARE(drives.size(), std::size_t(5));
        QCOMPARE(drives[0].mountPoint, std::string("/"));
        QCOMPARE(drives[0].label, std::string("System"));
        QVERIFY(drives[0].kind == DriveKind::Fixed);
        QCOMPARE(drives[1].mountPoint, std::string("/home"));
        QVERIFY(drives[1].kind == DriveKind::Fixed);
        QCOMPARE(drives[2].mountPoint, std::string("/media/me/USB STICK"));
        QVERIFY(drives[2].kind == DriveKind::Removable);
        QCOMPARE(drives[3].mountPoint, std::string("/media/me/CDROM"));
        QVERIFY(drives[3].kind == DriveKind::Optical);
        QCOMPARE(drives[4].mountPoint, std::string("/run/media/me/Disk"));
        QVERIFY(drives[4].kind == DriveKind::Removable);
        QCOMPARE(CDriveList::DriveText(drives[0]), std::string("System(/)"));
        QCOMPARE(CDriveList::DriveText(drives[1]), std::string("(/home)"));
    }

    void driveListHomeOnlyWhenSeparateAndLocal()
    {
        // Home on the root file system: only "/".
        auto drives = CDriveList::Parse("/dev/sda1 / ext4 rw 0 0\n", "/home/me", {});
        QCOMPARE(drives.size(), std::size_t(1));
        // Home on a network file system is not listed.
        drives = CDriveList::Parse("/dev/sda1 / ext4 rw 0 0\nsrv:/h /home nfs rw 0 0\n", "/home/me", {});
        QCOMPARE(drives.size(), std::size_t(1));
        // The deepest mount holding the home folder counts; a later mount on
        // the same point hides the earlier one.
        drives = CDriveList::Parse("/dev/sda1 / ext4 rw 0 0\n/dev/sda2 /home ext4 rw 0 0\n"
                                   "/dev/sda3 /home/me xfs rw 0 0\ntmpfs /home/me tmpfs rw 0 0\n",
                                   "/home/me/", {});
        QCOMPARE(drives.size(), std::size_t(1));
        drives = CDriveList::Parse("/dev/sda1 / ext4 rw 0 0\n/dev/sda3 /home/me xfs rw 0 0\n", "/home/me", {});
        QCOMPARE(drives.size(), std::size_t(2));
        QCOMPARE(drives[1].mountPoint, std::string("/home/me"));
        // "/homework" does not hold "/home/me".
        drives = CDriveList::Parse("/dev/sda1 / ext4 rw 0 0\n/dev/sda3 /home/mex xfs rw 0 0\n", "/home/me", {});
        QCOMPARE(drives.size(), std::size_t(1));
    }

    void driveListAlwaysHasTheRoot()
    {
        // In a container the root is an overlay; it is still the place to search.
        auto drives = CDriveList::Parse("overlay / overlay rw 0 0\n", "", {});
        QCOMPARE(drives.size(), std::size_t(1));
        QCOMPARE(drives[0].mountPoint, std::string("/"));
        drives = CDriveList::Parse("", "/home/me", {});
        QCOMPARE(drives.size(), std::size_t(1));
        // This machine's own table parses and starts with the root.
        drives = CDriveList::Read();
        QVERIFY(!drives.empty());
        QCOMPARE(drives[0].mountPoint, std::string("/"));
    }

    void mountAndLabelEscapes()
    {
        QCOMPARE(CDriveList::UnescapeMountField("/a\\040b\\011c\\134d"), std::string("/a b\tc\\d"));
        QCOMPARE(CDriveList::UnescapeMountField("/a\\04"), std::string("/a\\04"));
        QCOMPARE(CDriveList::UnescapeMountField("\\"), std::string("\\"));
        QCOMPARE(CDriveList::UnescapeLabel("My\\x20Disk"), std::string("My Disk"));
        QCOMPARE(CDriveList::UnescapeLabel("bad\\x2"), std::string("bad\\x2"));
    }

    // ---- Items, images and paths ----------------------------------------
    void fillDrivesListsRootDrivesAndFirstLevel()
    {
        CDirectoryTree tree;
        g_hWndFolderTree = nullptr;
        QCOMPARE(tree.FillDrives({CDriveEntry{m_root, "Test", DriveKind::Fixed},
                                  CDriveEntry{m_root, "", DriveKind::Removable},
                                  CDriveEntry{m_root, "Disc", DriveKind::Optical}}),
                 1);
        QCOMPARE(g_hWndFolderTree.load(), tree.Handle());
        QTreeWidgetItem* root = tree.RootItem();
        QCOMPARE(root->text(0), QStringLiteral("My Computer"));
        QCOMPARE(tree.GetCheckState(root), int(CDirectoryTree::STATE_NONE));
        QCOMPARE(root->data(0, CDirectoryTree::kImageRole).toInt(), int(CDirectoryTree::IMAGE_COMPUTER));
        QVERIFY(root->isExpanded());
        QCOMPARE(root->childCount(), 3);
        QTreeWidgetItem* drive = root->child(0);
        QCOMPARE(drive->text(0), QString::fromStdString("Test(" + m_root + ")"));
        QCOMPARE(root->child(1)->text(0), QString::fromStdString("(" + m_root + ")"));
        QCOMPARE(drive->data(0, CDirectoryTree::kImageRole).toInt(), int(CDirectoryTree::IMAGE_FIXED));
        QCOMPARE(root->child(1)->data(0, CDirectoryTree::kImageRole).toInt(), int(CDirectoryTree::IMAGE_REMOVABLE));
        QCOMPARE(root->child(2)->data(0, CDirectoryTree::kImageRole).toInt(), int(CDirectoryTree::IMAGE_OPTICAL));
        QCOMPARE(tree.GetCheckState(drive), int(CDirectoryTree::STATE_UNCHECKED));
        // Folders only, in the file finder's order (case-insensitive), and
        // nothing below them until the drive is expanded.
        QCOMPARE(ChildNames(drive), (QStringList{"a", "d", "E"}));
        for (int i = 0; i < drive->childCount(); ++i) {
            QCOMPARE(drive->child(i)->childCount(), 0);
            QCOMPARE(tree.GetCheckState(drive->child(i)), int(CDirectoryTree::STATE_UNCHECKED));
            QCOMPARE(drive->child(i)->data(0, CDirectoryTree::kImageRole).toInt(), int(CDirectoryTree::IMAGE_FOLDER));
        }
        std::string path;
        tree.GetItemPath(drive, path);
        QCOMPARE(path, m_root);
        tree.GetItemPath(ChildNamed(drive, "a"), path);
        QCOMPARE(path, m_root + "/a");
        tree.GetItemPath(root, path);
        QCOMPARE(path, std::string());
    }

    void hiddenFoldersListedUnreadableDriveEmpty()
    {
        QTemporaryDir other;
        QVERIFY(other.isValid());
        QDir dir(other.path());
        QVERIFY(dir.mkpath(".hidden"));
        QVERIFY(dir.mkpath("X"));
        CDirectoryTree tree;
        tree.FillDrives({CDriveEntry{other.path().toStdString(), "", DriveKind::Removable},
                         CDriveEntry{other.path().toStdString() + "/gone", "", DriveKind::Optical}});
        QCOMPARE(ChildNames(Drive(tree)), (QStringList{".hidden", "X"}));
        // A drive without a medium is still listed, with nothing below it.
        QTreeWidgetItem* gone = tree.RootItem()->child(1);
        QCOMPARE(gone->childCount(), 0);
        QCOMPARE(tree.AddSubFolders(gone, other.path().toStdString() + "/gone"), 0);
        gone->setExpanded(true);
        QCOMPARE(gone->childCount(), 0);
    }

    void expandingLoadsOneLevelAhead()
    {
        auto tree = NewTree();
        QTreeWidgetItem* a = ChildNamed(Drive(*tree), "a");
        QCOMPARE(ChildNames(a), (QStringList{"B", "C"}));
        QTreeWidgetItem* b = ChildNamed(a, "B");
        QCOMPARE(b->childCount(), 0);  // not read before "a" is expanded
        QCOMPARE(ChildNamed(Drive(*tree), "d")->childCount(), 0);
        a->setExpanded(true);
        QCOMPARE(ChildNames(b), (QStringList{"B1"}));
        std::string path;
        tree->GetItemPath(ChildNamed(b, "B1"), path);
        QCOMPARE(path, m_root + "/a/B/B1");
    }

    void rootDriveJoinsWithoutDoubleSlash()
    {
        CDirectoryTree tree;
        tree.FillDrives({CDriveEntry{"/", "", DriveKind::Fixed}});
        QTreeWidgetItem* drive = Drive(tree);
        std::string path;
        tree.GetItemPath(drive, path);
        QCOMPARE(path, std::string("/"));
        QVERIFY(drive->childCount() > 0);
        tree.GetItemPath(drive->child(0), path);
        QCOMPARE(path, "/" + drive->child(0)->text(0).toStdString());
    }

    // ---- Check states -----------------------------------------------------
    void checkStateCycles()
    {
        auto tree = NewTree();
        QTreeWidgetItem* a = ChildNamed(Drive(*tree), "a");  // has sub-folders
        QTreeWidgetItem* d = ChildNamed(Drive(*tree), "d");  // has none
        const int expectedWithChildren[] = {2, 3, 1, 2};
        for (int expected : expectedWithChildren) {
            tree->ToggleCheck(a);
            QCOMPARE(tree->GetCheckState(a), expected);
        }
        tree->ToggleCheck(a);
        tree->ToggleCheck(a);
        QCOMPARE(tree->GetCheckState(a), 1);
        const int expectedLeaf[] = {2, 1, 2, 1};
        for (int expected : expectedLeaf) {
            tree->ToggleCheck(d);
            QCOMPARE(tree->GetCheckState(d), expected);
        }
        // The root has no check box and stays so.
        tree->ToggleCheck(tree->RootItem());
        QCOMPARE(tree->GetCheckState(tree->RootItem()), 0);
    }

    void uncheckedFolderWithFullChildrenGoesStraightToAll()
    {
        auto tree = NewTree();
        QTreeWidgetItem* a = ChildNamed(Drive(*tree), "a");
        a->setExpanded(true);  // B now has B1
        QTreeWidgetItem* b = ChildNamed(a, "B");
        QTreeWidgetItem* c = ChildNamed(a, "C");
        tree->SetCheckState(b, CDirectoryTree::STATE_CHECKED_ALL);
        tree->SetCheckState(c, CDirectoryTree::STATE_CHECKED);
        QCOMPARE(tree->AllChildrenFull(a), 1);
        tree->ToggleCheck(a);
        QCOMPARE(tree->GetCheckState(a), int(CDirectoryTree::STATE_CHECKED_ALL));
        // B with children in state 2 is not full.
        tree->SetCheckState(a, CDirectoryTree::STATE_UNCHECKED);
        tree->SetCheckState(b, CDirectoryTree::STATE_CHECKED);
        QCOMPARE(tree->AllChildrenFull(a), 0);
        tree->ToggleCheck(a);
        QCOMPARE(tree->GetCheckState(a), int(CDirectoryTree::STATE_CHECKED));
        QCOMPARE(tree->GetCheckState(b), int(CDirectoryTree::STATE_CHECKED));  // untouched
        // A folder without children counts as all full.
        QCOMPARE(tree->AllChildrenFull(ChildNamed(Drive(*tree), "d")), 1);
    }

    void checkAllAndClearReachEveryLoadedDescendant()
    {
        auto tree = NewTree();
        QTreeWidgetItem* a = ChildNamed(Drive(*tree), "a");
        a->setExpanded(true);
        QTreeWidgetItem* b = ChildNamed(a, "B");
        QTreeWidgetItem* b1 = ChildNamed(b, "B1");
        QTreeWidgetItem* c = ChildNamed(a, "C");
        tree->ToggleCheck(a);  // 2
        tree->ToggleCheck(a);  // 3: whole subtree
        QCOMPARE(tree->GetCheckState(b), 3);
        QCOMPARE(tree->GetCheckState(b1), 2);
        QCOMPARE(tree->GetCheckState(c), 2);
        tree->ToggleCheck(a);  // 1: all cleared
        QCOMPARE(tree->GetCheckState(a), 1);
        QCOMPARE(tree->GetCheckState(b), 1);
        QCOMPARE(tree->GetCheckState(b1), 1);
        QCOMPARE(tree->GetCheckState(c), 1);
    }

    void parentsFollowTheirChildren()
    {
        auto tree = NewTree();
        QTreeWidgetItem* a = ChildNamed(Drive(*tree), "a");
        a->setExpanded(true);
        QTreeWidgetItem* b = ChildNamed(a, "B");
        QTreeWidgetItem* c = ChildNamed(a, "C");
        tree->ToggleCheck(a);  // checked, children untouched
        QCOMPARE(tree->GetCheckState(a), 2);
        tree->ToggleCheck(b);  // B: 2
        tree->ToggleCheck(b);  // B: 3
        QCOMPARE(tree->GetCheckState(a), 2);  // C still unchecked
        tree->ToggleCheck(c);  // the last unchecked child: C 2 (no children)
        QCOMPARE(tree->GetCheckState(a), 3);
        tree->ToggleCheck(c);  // unchecking one child turns it back
        QCOMPARE(tree->GetCheckState(a), 2);
        // A child with sub-folders that is checked only for itself is not
        // full, even when the other children are.
        tree->ToggleCheck(c);
        QCOMPARE(tree->GetCheckState(a), 3);
        tree->ToggleCheck(b);  // 3 -> 1
        tree->ToggleCheck(b);  // 1 -> 2 (B1 is not full)
        QCOMPARE(tree->GetCheckState(b), 2);
        QCOMPARE(tree->GetCheckState(a), 2);
        tree->ToggleCheck(c);
        // An unchecked parent stays unchecked whatever its children do.
        tree->ToggleCheck(a);  // 3
        tree->ToggleCheck(a);  // 1, all cleared
        tree->ToggleCheck(c);
        tree->ToggleCheck(b);
        tree->ToggleCheck(b);
        QCOMPARE(tree->GetCheckState(c), 2);
        QCOMPARE(tree->GetCheckState(b), 3);
        QCOMPARE(tree->GetCheckState(a), 1);
        // The update climbs further than one level, up to the drive.
        tree->SetCheckState(Drive(*tree), CDirectoryTree::STATE_CHECKED);
        tree->ToggleCheck(a);  // a: all children full: 3
        QCOMPARE(tree->GetCheckState(a), 3);
        QCOMPARE(tree->GetCheckState(Drive(*tree)), 2);  // d and E unchecked
        tree->ToggleCheck(ChildNamed(Drive(*tree), "d"));
        QTreeWidgetItem* e = ChildNamed(Drive(*tree), "E");
        tree->ToggleCheck(e);
        tree->ToggleCheck(e);
        QCOMPARE(tree->GetCheckState(e), 3);
        QCOMPARE(tree->GetCheckState(Drive(*tree)), 3);
    }

    void expandingSetsNewChildrenFromTheParent()
    {
        auto tree = NewTree();
        QTreeWidgetItem* a = ChildNamed(Drive(*tree), "a");
        QTreeWidgetItem* drive = Drive(*tree);
        // Put the drive in state 3 and expand "a" (via the drive's items):
        // a's children without child items get 3 when sub-folders are found
        // (B has B1) and 2 when none are (C).
        tree->SetCheckState(a, CDirectoryTree::STATE_CHECKED_ALL);
        a->setExpanded(true);
        QCOMPARE(tree->GetCheckState(ChildNamed(a, "B")), 3);
        QCOMPARE(tree->GetCheckState(ChildNamed(a, "C")), 2);
        // Collapsing does the same for children still without child items;
        // B already has B1 and keeps whatever it has.
        tree->SetCheckState(ChildNamed(a, "B"), CDirectoryTree::STATE_CHECKED);
        tree->SetCheckState(a, CDirectoryTree::STATE_CHECKED);
        a->setExpanded(false);
        QCOMPARE(tree->GetCheckState(ChildNamed(a, "B")), 2);
        QCOMPARE(tree->GetCheckState(ChildNamed(a, "C")), 1);
        // Expanding the root does nothing to the drives.
        tree->SetCheckState(drive, CDirectoryTree::STATE_CHECKED);
        tree->RootItem()->setExpanded(false);
        tree->RootItem()->setExpanded(true);
        QCOMPARE(tree->GetCheckState(drive), 2);
    }

    void newFolderAppearsWhenAChildlessParentIsRescanned()
    {
        auto tree = NewTree();
        QTreeWidgetItem* d = ChildNamed(Drive(*tree), "d");
        QCOMPARE(d->childCount(), 0);
        QDir dir(QString::fromStdString(m_root));
        QVERIFY(dir.mkpath("d/new"));
        Drive(*tree)->setExpanded(false);  // the drive's childless children are read again
        QCOMPARE(ChildNames(d), QStringList{"new"});
        QVERIFY(QDir(dir.filePath("d")).rmdir("new"));
    }

    // ---- Collecting the folders -------------------------------------------
    void collectCheckedThenCheckedAll()
    {
        auto tree = NewTree();
        QTreeWidgetItem* a = ChildNamed(Drive(*tree), "a");
        a->setExpanded(true);
        tree->SetCheckState(a, CDirectoryTree::STATE_CHECKED);
        tree->SetCheckState(ChildNamed(a, "B"), CDirectoryTree::STATE_CHECKED_ALL);
        g_listSelectedFolders.push_back(_SelectedFolder{"/stale", 0});  // a previous search
        QCOMPARE(SendMessage(g_hWndFolderTree, WM_COLLECT_FOLDERS, 0, 0), LRESULT(0));
        const std::vector<Folder> expected = {{m_root + "/a", 0}, {m_root + "/a/B", 1}};
        QVERIFY(CollectedFolders() == expected);
        QCOMPARE(m_panel.lines, std::vector<std::string>{"search all the selected directory"});
    }

    void collectUncheckedParentCheckedChild()
    {
        auto tree = NewTree();
        QTreeWidgetItem* a = ChildNamed(Drive(*tree), "a");
        a->setExpanded(true);
        tree->SetCheckState(ChildNamed(a, "B"), CDirectoryTree::STATE_CHECKED);
        tree->CollectFolders();
        const std::vector<Folder> expected = {{m_root + "/a/B", 0}};
        QVERIFY(CollectedFolders() == expected);
    }

    void collectCheckedAllOnceAndDriveOrder()
    {
        auto tree = NewTree();
        QTreeWidgetItem* a = ChildNamed(Drive(*tree), "a");
        a->setExpanded(true);
        tree->ToggleCheck(a);
        tree->ToggleCheck(a);  // 3, with B and C set too
        tree->ToggleCheck(ChildNamed(Drive(*tree), "d"));
        tree->CollectFolders();
        const std::vector<Folder> expected = {{m_root + "/a", 1}, {m_root + "/d", 0}};
        QVERIFY(CollectedFolders() == expected);
        // The drive itself, checked, is listed by its mount point.
        tree->SetCheckState(Drive(*tree), CDirectoryTree::STATE_CHECKED_ALL);
        tree->CollectFolders();
        QVERIFY(CollectedFolders() == (std::vector<Folder>{{m_root, 1}}));
    }

    void collectNothingTickedAndStop()
    {
        auto tree = NewTree();
        g_listSelectedFolders.push_back(_SelectedFolder{"/stale", 0});
        tree->CollectFolders();
        QVERIFY(g_listSelectedFolders.empty());
        QCOMPARE(m_panel.lines.size(), std::size_t(1));
        // A stopped search ends the walk at once.
        tree->ToggleCheck(ChildNamed(Drive(*tree), "d"));
        g_bRunning = 0;
        tree->CollectFolders();
        QVERIFY(g_listSelectedFolders.empty());
    }

    void collectSkipsPathsTooLongForTheRecord()
    {
        QTemporaryDir deep;
        QVERIFY(deep.isValid());
        const std::string base = QDir(deep.path()).canonicalPath().toStdString();
        const QString longName(200, QLatin1Char('x'));
        QDir dir(deep.path());
        QVERIFY(dir.mkpath(longName + "/" + QString(100, QLatin1Char('y'))));
        CDirectoryTree tree;
        tree.FillDrives({CDriveEntry{base, "", DriveKind::Fixed}});
        QTreeWidgetItem* drive = Drive(tree);
        drive->setExpanded(true);
        QTreeWidgetItem* x = drive->child(0);
        tree.SetCheckState(x, CDirectoryTree::STATE_CHECKED);
        tree.SetCheckState(x->child(0), CDirectoryTree::STATE_CHECKED);
        tree.CollectFolders();
        // The short one is kept, the long one skipped with a line, never cut.
        QCOMPARE(g_listSelectedFolders.size(), std::size_t(1));
        QCOMPARE(std::string(g_listSelectedFolders.front().szPath), base + "/" + longName.toStdString());
        QCOMPARE(m_panel.lines.size(), std::size_t(2));
        QVERIFY(m_panel.lines[1].find(std::string(100, 'y') + ":Path is too long") != std::string::npos);
    }

    // ---- Mouse and keyboard -----------------------------------------------
    void clickStripTogglesLabelOnlySelects()
    {
        auto tree = NewTree();
        tree->resize(400, 300);
        tree->show();
        QVERIFY(QTest::qWaitForWindowExposed(tree.get()));
        QTreeWidgetItem* d = ChildNamed(Drive(*tree), "d");
        const QRect label = tree->LabelRect(d);
        QVERIFY(label.isValid());
        QVERIFY(CDirectoryTree::InCheckStrip(label, QPoint(label.left() - 32, label.center().y())));
        QVERIFY(CDirectoryTree::InCheckStrip(label, QPoint(label.left() - 17, label.top())));
        QVERIFY(!CDirectoryTree::InCheckStrip(label, QPoint(label.left() - 16, label.center().y())));
        QVERIFY(!CDirectoryTree::InCheckStrip(label, QPoint(label.left() - 33, label.center().y())));
        QVERIFY(!CDirectoryTree::InCheckStrip(label, QPoint(label.left() - 20, label.bottom() + 1)));

        // A click on the label selects the item only.
        QTest::mouseClick(tree->viewport(), Qt::LeftButton, {}, QPoint(label.left() + 4, label.center().y()));
        QCOMPARE(tree->GetCheckState(d), 1);
        QCOMPARE(tree->currentItem(), d);
        // A click on the strip toggles, twice toggles back.
        const QPoint box(label.left() - 24, label.center().y());
        QTest::mouseClick(tree->viewport(), Qt::LeftButton, {}, box);
        QCOMPARE(tree->GetCheckState(d), 2);
        QTest::mouseClick(tree->viewport(), Qt::LeftButton, {}, box);
        QCOMPARE(tree->GetCheckState(d), 1);
        // Left of the strip (the icon is right of it, the branch left of it)
        // nothing changes.
        QTest::mouseClick(tree->viewport(), Qt::LeftButton, {}, QPoint(label.left() - 8, label.center().y()));
        QCOMPARE(tree->GetCheckState(d), 1);
        // The root has no check box: its strip does nothing.
        const QRect rootLabel = tree->LabelRect(tree->RootItem());
        QTest::mouseClick(tree->viewport(), Qt::LeftButton, {}, QPoint(rootLabel.left() - 24, rootLabel.center().y()));
        QCOMPARE(tree->GetCheckState(tree->RootItem()), 0);
    }

    void spaceTogglesTheCurrentItem()
    {
        auto tree = NewTree();
        tree->show();
        QVERIFY(QTest::qWaitForWindowExposed(tree.get()));
        QTreeWidgetItem* a = ChildNamed(Drive(*tree), "a");
        tree->setCurrentItem(a);
        QTest::keyClick(tree.get(), Qt::Key_Space);
        QCOMPARE(tree->GetCheckState(a), 2);
        QTest::keyClick(tree.get(), Qt::Key_Space);
        QCOMPARE(tree->GetCheckState(a), 3);
        QTest::keyClick(tree.get(), Qt::Key_Space);
        QCOMPARE(tree->GetCheckState(a), 1);
    }

    void viewFillsOnFirstShowAndUnpublishesOnDestruction()
    {
        g_hWndFolderTree = nullptr;
        {
            CDirectoryView view;
            int calls = 0;
            view.SetDriveSource([&] {
                ++calls;
                return std::vector<CDriveEntry>{CDriveEntry{m_root, "Test", DriveKind::Fixed}};
            });
            QCOMPARE(view.Tree().topLevelItemCount(), 0);
            view.show();
            QVERIFY(QTest::qWaitForWindowExposed(&view));
            view.hide();
            view.show();
            QCOMPARE(calls, 1);
            QCOMPARE(view.Tree().RootItem()->childCount(), 1);
            QCOMPARE(g_hWndFolderTree.load(), view.Tree().Handle());
        }
        QVERIFY(g_hWndFolderTree.load() == nullptr);
    }
};

QTEST_MAIN(FoldersTest)
#include "folders_qtest.moc"
