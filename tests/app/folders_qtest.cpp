// Folder tree: the drive list from the mount table, check-state cycles and
// parent updates, lazy loading on expansion, folder collection, and the
// mouse and keyboard ways of toggling, on a temporary folder tree. The
// tick cases are scripts of toggles, expansions and expected states. The
// check boxes as assistive technology reads and ticks them through
// QAccessible; wide folder names scroll instead of being cut.
#include "apptestenv.h"

#include "folders/drivelist.h"

namespace {

// Below the drive, E/<kFits> fits a record's 260 bytes, E/<kTooLong> does not.
const QString kFits(200, QLatin1Char('x'));
const QString kTooLong = kFits + '/' + QString(100, QLatin1Char('y'));

QStringList ChildNames(QTreeWidgetItem* parent)
{
    QStringList names;
    for (int i = 0; i < parent->childCount(); ++i) names << parent->child(i)->text(0);
    return names;
}

// Runs space-separated steps: "a/B" toggles the item, "a/B=3" sets its
// state, "+a" and "-a" expand and collapse it, "a/B?3" checks its state,
// "!" stops the search.
void Run(CDirectoryTree& tree, const QString& script)
{
    for (const QString& step : script.split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
        if (step == QLatin1String("!")) {
            g_bRunning = 0;
            continue;
        }
        const QChar first = step.front();
        const qsizetype at = step.indexOf(QRegularExpression(QStringLiteral("[=?]")));
        const QChar op = (first == '+' || first == '-') ? first : at > 0 ? step[at] : QLatin1Char('t');
        QTreeWidgetItem* item = TreeItem(tree, op == '+' || op == '-' ? step.mid(1) : step.left(at));
        QVERIFY2(item != nullptr, qPrintable(step));
        const int value = at > 0 ? step.mid(at + 1).toInt() : 0;
        if (op == '+' || op == '-') item->setExpanded(op == '+');
        else if (op == '=') tree.SetCheckState(item, value);
        else if (op == 't') tree.ToggleCheck(item);
        else
            QVERIFY2(tree.GetCheckState(item) == value,
                     qPrintable(step + " is " + QString::number(tree.GetCheckState(item))));
    }
}

// The tree's accessible row named `name`, or null.
QAccessibleInterface* TreeRow(QAccessibleInterface* tree, const QString& name)
{
    for (int i = 0; i < tree->childCount(); ++i)
        if (QAccessibleInterface* row = tree->child(i); row != nullptr && row->text(QAccessible::Name) == name)
            return row;
    return nullptr;
}

std::string Path(const CDirectoryTree& tree, QTreeWidgetItem* item)
{
    std::string path;
    tree.GetItemPath(item, path);
    return path;
}

}  // namespace

class FoldersTest : public QObject {
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    std::string m_root;
    std::unique_ptr<CMessagePanel> m_log;

    // A fresh tree over the temporary folder as its only drive, with the
    // drive expanded so its folders have their first level loaded.
    std::unique_ptr<CDirectoryTree> NewTree()
    {
        auto tree = std::make_unique<CDirectoryTree>();
        tree->FillDrives({CDriveEntry{m_root, "Test", DriveKind::Fixed}});
        tree->RootItem()->child(0)->setExpanded(true);
        return tree;
    }

    // The collected folders as "path:subfolders", paths below the drive.
    QString Collected() const
    {
        QStringList out;
        for (const _SelectedFolder& f : g_listSelectedFolders) {
            const std::string path = f.szPath;
            const std::string below = path == m_root ? "." : path.substr(std::min(path.size(), m_root.size() + 1));
            out << QString::fromStdString(below) + ':' + QString::number(f.bSubfolders);
        }
        return out.join(' ');
    }

private slots:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        m_root = QDir(m_dir.path()).canonicalPath().toStdString();
        // Test/ a/{B/{B1}, C}, d (no sub-folders), E/{.hidden, F, x..x/y..y},
        // and a file.
        QDir d(QString::fromStdString(m_root));
        for (const QString& path : QStringList{"a/B/B1", "a/C", "d", "E/.hidden", "E/F", "E/" + kTooLong})
            QVERIFY(d.mkpath(path));
        QFile file(d.filePath("notes.txt"));
        QVERIFY(file.open(QIODevice::WriteOnly));
    }

    void init()
    {
        ResetSearchContext();
        m_log = std::make_unique<CMessagePanel>();
        g_bRunning = 1;
    }

    void cleanup()
    {
        m_log.reset();
        QVERIFY(g_hWndFolderTree.load() == nullptr);  // unpublished with the tree
        ResetSearchContext();
    }

    // ---- The drive list -------------------------------------------------
    void driveList()
    {
        const auto labels = [](const std::string& device) -> std::string {
            return device == "/dev/sda2" ? "System" : device == "/dev/sdb1" ? "USB STICK" : "";
        };
        const struct {
            const char* mounts;
            const char* home;
            const char* drives;  // text and kind (Fixed, Removable, Optical)
        } cases[] = {
            // What a person would pick.
            {"/dev/sda2 / ext4 rw,relatime 0 0\nproc /proc proc rw 0 0\nsysfs /sys sysfs rw 0 0\n"
             "tmpfs /run tmpfs rw 0 0\n/dev/sda3 /home ext4 rw 0 0\n/dev/sdb1 /media/me/USB\\040STICK vfat rw 0 0\n"
             "/dev/sr0 /media/me/CDROM iso9660 ro 0 0\nserver:/export /mnt/nfs nfs4 rw 0 0\n"
             "//srv/share /mnt/smb cifs rw 0 0\noverlay /var/lib/docker/overlay2/x/merged overlay rw 0 0\n"
             "/dev/sdc1 /run/media/me/Disk ext4 rw 0 0\n/dev/sdd1 /srv/data ext4 rw 0 0\n"
             "tmpfs /media/me/ram tmpfs rw 0 0\ngarbage\n\n/dev/sde1 /mediax/usb vfat rw 0 0\n",
             "/home/me",
             "System(/) F|(/home) F|USB STICK(/media/me/USB STICK) R|(/media/me/CDROM) O|(/run/media/me/Disk) R"},
            // Home only where it is a separate, local mount; the deepest
            // mount holding it counts, a later mount hides an earlier one on
            // the same point, and paths compare by whole components.
            {"/dev/sda1 / ext4 rw 0 0\n", "/home/me", "(/) F"},
            {"/dev/sda1 / ext4 rw 0 0\nsrv:/h /home nfs rw 0 0\n", "/home/me", "(/) F"},
            {"/dev/sda1 / ext4 rw 0 0\n/dev/sda3 /home/me xfs rw 0 0\n", "/home/me", "(/) F|(/home/me) F"},
            {"/dev/sda1 / ext4 rw 0 0\n/dev/sda2 /home ext4 rw 0 0\n/dev/sda3 /home/me xfs rw 0 0\n"
             "tmpfs /home/me tmpfs rw 0 0\n",
             "/home/me/", "(/) F"},
            {"/dev/sda1 / ext4 rw 0 0\n/dev/sda3 /home/mex xfs rw 0 0\n", "/home/me", "(/) F"},
            // The root is always there, also as a container's overlay.
            {"overlay / overlay rw 0 0\n", "", "(/) F"},
            {"", "/home/me", "(/) F"},
        };
        for (const auto& c : cases) {
            QStringList got;
            for (const CDriveEntry& drive : CDriveList::Parse(c.mounts, c.home, labels))
                got << QString::fromStdString(CDriveList::DriveText(drive)) + ' ' + "FRO"[int(drive.kind)];
            QCOMPARE(got.join('|'), QString(c.drives));
        }
        // This machine's list and the escapes of the mount table and labels.
        const std::vector<CDriveEntry> drives = CDriveList::Read();
        QVERIFY(!drives.empty());
        QCOMPARE(drives[0].mountPoint, std::string("/"));
        QCOMPARE(CDriveList::UnescapeMountField("/a\\040b\\011c\\134d"), std::string("/a b\tc\\d"));
        QCOMPARE(CDriveList::UnescapeMountField("/a\\04"), std::string("/a\\04"));
        QCOMPARE(CDriveList::UnescapeLabel("My\\x20Disk"), std::string("My Disk"));
        QCOMPARE(CDriveList::UnescapeLabel("bad\\x2"), std::string("bad\\x2"));
    }

    // ---- Items, images and paths ----------------------------------------
    void fillDrivesListsDrivesAndLoadsOneLevelAhead()
    {
        CDirectoryTree tree;
        QCOMPARE(tree.FillDrives({CDriveEntry{m_root, "Test", DriveKind::Fixed},
                                  CDriveEntry{m_root + "/E", "", DriveKind::Removable},
                                  CDriveEntry{m_root + "/gone", "Disc", DriveKind::Optical}}),
                 1);
        QTreeWidgetItem* root = tree.RootItem();
        QVERIFY(root->isExpanded());
        const QString r = QString::fromStdString(m_root);
        QCOMPARE(ChildNames(root), (QStringList{"Test(" + r + ")", "(" + r + "/E)", "Disc(" + r + "/gone)"}));
        QList<int> images{root->data(0, CDirectoryTree::kImageRole).toInt()};
        for (int i = 0; i < 3; ++i) images << root->child(i)->data(0, CDirectoryTree::kImageRole).toInt();
        images << TreeItem(tree, "a")->data(0, CDirectoryTree::kImageRole).toInt();
        QCOMPARE(images, (QList<int>{CDirectoryTree::IMAGE_COMPUTER, CDirectoryTree::IMAGE_FIXED,
                                     CDirectoryTree::IMAGE_REMOVABLE, CDirectoryTree::IMAGE_OPTICAL,
                                     CDirectoryTree::IMAGE_FOLDER}));
        // Folders only (hidden ones too), in the file finder's order (case-
        // insensitive), each unticked, nothing below them until the drive is
        // expanded; a drive without a medium is listed with nothing below it.
        QCOMPARE(ChildNames(root->child(0)), (QStringList{"a", "d", "E"}));
        QCOMPARE(ChildNames(root->child(1)), (QStringList{".hidden", "F", kFits}));
        QCOMPARE(TreeItem(tree, "a")->childCount() + root->child(2)->childCount(), 0);
        Run(tree, "~?0 .?1 a?1 d?1 E?1 +. +a");
        QCOMPARE(ChildNames(TreeItem(tree, "a/B")), QStringList{"B1"});
        QCOMPARE(Path(tree, root), std::string());
        // A folder made meanwhile shows when its childless parent is read
        // again, as collapsing the drive does.
        QDir dir(QString::fromStdString(m_root));
        QVERIFY(dir.mkpath("d/new"));
        Run(tree, "-.");
        QCOMPARE(ChildNames(TreeItem(tree, "d")), QStringList{"new"});
        QVERIFY(QDir(dir.filePath("d")).rmdir("new"));
        // The root drive joins its folders without a double slash.
        tree.FillDrives({CDriveEntry{"/", "", DriveKind::Fixed}});
        QTreeWidgetItem* drive = tree.RootItem()->child(0);
        QVERIFY(drive->childCount() > 0);
        QCOMPARE(Path(tree, drive->child(0)), "/" + drive->child(0)->text(0).toStdString());
    }

    // ---- Check states -----------------------------------------------------
    void checkStates_data()
    {
        QTest::addColumn<QString>("script");
        QTest::newRow("cycles: 1 2 3 with sub-folders, 1 2 without, none on the root")
            << "a a?2 a a?3 a a?1 a a?2 a a a?1 d d?2 d d?1 ~ ~?0";
        QTest::newRow("unticked with all children full goes straight to all")
            << "+a a/B=3 a/C=2 a a?3 a=1 a/B=2 a a?2 a/B?2";
        QTest::newRow("all and clear reach every loaded descendant")
            << "+a a a a/B?3 a/B/B1?2 a/C?2 a a?1 a/B?1 a/B/B1?1 a/C?1";
        QTest::newRow("parents follow their children up to the drive")
            << "+a a a?2 a/B a/B a?2 a/C a?3 a/C a?2 a/C a?3 a/B a/B a/B?2 a?2 a/C "
               "a a a/C a/B a/B a/C?2 a/B?3 a?1 .=2 a a?3 .?2 d E E E?3 .?3";
        QTest::newRow("expanding and collapsing set new children from the parent")
            << "a=3 +a a/B?3 a/C?2 a/B=2 a=2 -a a/B?2 a/C?1 .=2 -~ +~ .?2";
    }
    void checkStates()
    {
        QFETCH(QString, script);
        Run(*NewTree(), script);
    }

    // ---- Collecting the folders -------------------------------------------
    void collect_data()
    {
        QTest::addColumn<QString>("script");
        QTest::addColumn<QString>("folders");
        QTest::newRow("nothing ticked") << "" << "";
        QTest::newRow("ticked, then ticked with sub-folders below it") << "+a a=2 a/B=3" << "a:0 a/B:1";
        QTest::newRow("unticked parent, ticked child") << "+a a/B=2" << "a/B:0";
        QTest::newRow("all once, in drive order") << "+a a a d" << "a:1 d:0";
        QTest::newRow("the drive by its mount point") << ".=3" << ".:1";
        QTest::newRow("a stopped search ends the walk") << "d !" << "";
        // The short one is kept, the long one skipped with a line, never cut.
        QTest::newRow("a path too long for the record") << "+E E/" + kFits + "=2 E/" + kTooLong + "=2"
                                                        << "E/" + kFits + ":0";
    }
    void collect()
    {
        QFETCH(QString, script);
        QFETCH(QString, folders);
        auto tree = NewTree();
        Run(*tree, script);
        g_listSelectedFolders.push_back(_SelectedFolder{"/stale", 0});  // a previous search
        QCOMPARE(SendMessage(g_hWndFolderTree, WM_COLLECT_FOLDERS, 0, 0), LRESULT(0));
        QCOMPARE(Collected(), folders);
        QStringList log{"search all the selected directory"};
        if (script.contains(kTooLong))
            log << QString::fromStdString(m_root) + "/E/" + kTooLong + Str(IDS_PATH_TOO_LONG);
        QCOMPARE(LogLines(m_log->Edit()), log);
    }

    // ---- Mouse and keyboard -----------------------------------------------
    void clickStripTogglesLabelOnlySelectsSpaceToggles()
    {
        auto tree = NewTree();
        tree->resize(400, 300);
        tree->show();
        QVERIFY(QTest::qWaitForWindowExposed(tree.get()));
        const QRect label = tree->LabelRect(TreeItem(*tree, "d"));
        const int y = label.center().y();
        for (const auto& [dx, in] : {std::pair{-32, true}, {-17, true}, {-16, false}, {-33, false}})
            QVERIFY2(CDirectoryTree::InCheckStrip(label, QPoint(label.left() + dx, y)) == in,
                     qPrintable(QString::number(dx)));
        QVERIFY(!CDirectoryTree::InCheckStrip(label, QPoint(label.left() - 20, label.bottom() + 1)));
        // A click on the label selects the item only; one on the strip
        // toggles, a second toggles back; left of the strip (where the
        // branch is) nothing changes; the root's strip does nothing.
        const auto click = [&tree](int x, int atY) {
            QTest::mouseClick(tree->viewport(), Qt::LeftButton, {}, QPoint(x, atY));
        };
        click(label.left() + 4, y);
        QCOMPARE(tree->currentItem(), TreeItem(*tree, "d"));
        Run(*tree, "d?1");
        click(label.left() - 24, y);
        Run(*tree, "d?2");
        click(label.left() - 24, y);
        click(label.left() - 8, y);
        const QRect rootLabel = tree->LabelRect(tree->RootItem());
        click(rootLabel.left() - 24, rootLabel.center().y());
        Run(*tree, "d?1 ~?0");
        // Space toggles the current item; each state shows its own box.
        tree->setCurrentItem(TreeItem(*tree, "a"));
        const QRect a = tree->LabelRect(TreeItem(*tree, "a"));
        QList<QImage> boxes{tree->viewport()->grab(QRect(a.left() - 32, a.top(), 16, a.height())).toImage()};
        for (int i = 0; i < 2; ++i) {
            QTest::keyClick(tree.get(), Qt::Key_Space);
            boxes << tree->viewport()->grab(QRect(a.left() - 32, a.top(), 16, a.height())).toImage();
        }
        QTest::keyClick(tree.get(), Qt::Key_Space, Qt::ControlModifier);  // selects, never ticks
        Run(*tree, "a?3");
        QVERIFY(boxes[0] != boxes[1] && boxes[1] != boxes[2] && boxes[0] != boxes[2]);
    }

    // ---- Assistive technology -------------------------------------------
    void treeCheckBoxesAreReadAndTickedThroughAccessibility()
    {
        CDirectoryView view;
        int fills = 0;
        view.SetDriveSource([this, &fills] {
            ++fills;
            return std::vector<CDriveEntry>{CDriveEntry{m_root, "Test", DriveKind::Fixed}};
        });
        view.resize(150, 200);
        view.show();
        QVERIFY(QTest::qWaitForWindowExposed(&view));
        CDirectoryTree& tree = view.Tree();
        Run(tree, "+. +E");
        // A wide name scrolls: the label's cell holds the whole name.
        QTRY_VERIFY(tree.horizontalScrollBar()->maximum() > 0);
        QVERIFY(tree.LabelRect(TreeItem(tree, "E/" + kFits)).width() >= tree.fontMetrics().horizontalAdvance(kFits));

        QAccessibleInterface* iface = QAccessible::queryAccessibleInterface(&tree);
        QVERIFY(iface != nullptr);
        QCOMPARE(iface->role(), QAccessible::Tree);
        // Numbered as the tree's own focus events number them: the hidden
        // header, then the rows top to bottom.
        QCOMPARE(iface->childCount(), 9);
        QCOMPARE(iface->child(0)->role(), QAccessible::ColumnHeader);
        const QStringList rows = {
            Str(IDS_MY_COMPUTER), "Test(" + QString::fromStdString(m_root) + ")", "a", "d", "E", ".hidden", "F", kFits};
        for (int i = 0; i < rows.size(); ++i) QCOMPARE(iface->child(i + 1)->text(QAccessible::Name), rows[i]);
        for (int i = 0; i < iface->childCount(); ++i) QCOMPARE(iface->indexOfChild(iface->child(i)), i);

        QAccessibleInterface* root = iface->child(1);
        QVERIFY(!root->state().checkable);
        QVERIFY(!root->actionInterface()->actionNames().contains(QAccessibleActionInterface::toggleAction()));
        // A folder without sub-folders is never read as collapsed; the
        // toggle's key is read with the action.
        QAccessibleInterface* leaf = TreeRow(iface, QStringLiteral("d"));
        QVERIFY(!leaf->state().collapsed && TreeRow(iface, QStringLiteral("a"))->state().collapsed);
        QCOMPARE(leaf->actionInterface()->keyBindingsForAction(QAccessibleActionInterface::toggleAction()),
                 QStringList{QStringLiteral("Space")});

        // Each toggle through the accessibility action; then what a screen
        // reader reads (checked, the description) and the tree's own state.
        // "a" ends ticked with its whole sub-tree.
        using Step = std::tuple<const char*, int, UINT>;  // row, state, description
        const Step kSteps[] = {{"d", CDirectoryTree::STATE_CHECKED, 0},
                               {"d", CDirectoryTree::STATE_UNCHECKED, IDS_NOT_TICKED},
                               {"a", CDirectoryTree::STATE_CHECKED, IDS_TICKED_WITHOUT_SUBFOLDERS},
                               {"a", CDirectoryTree::STATE_CHECKED_ALL, IDS_TICKED_WITH_SUBFOLDERS}};
        for (const auto& [name, state, description] : kSteps) {
            QAccessibleInterface* row = TreeRow(iface, QString::fromUtf8(name));
            QVERIFY2(row != nullptr && row->role() == QAccessible::TreeItem && row->state().checkable, name);
            row->actionInterface()->doAction(QAccessibleActionInterface::toggleAction());
            QCOMPARE(bool(row->state().checked), state != CDirectoryTree::STATE_UNCHECKED);
            QCOMPARE(row->text(QAccessible::Description), description != 0 ? Str(description) : QString());
            QCOMPARE(tree.GetCheckState(TreeItem(tree, name)), state);
        }
        // Ticking the whole sub-tree reaches the rows below, which show when
        // the folder is expanded.
        TreeRow(iface, QStringLiteral("a"))->actionInterface()->doAction(QAccessibleActionInterface::setFocusAction());
        QCOMPARE(tree.currentItem(), TreeItem(tree, "a"));
        Run(tree, "+a");
        QCOMPARE(iface->childCount(), 11);
        QVERIFY(TreeRow(iface, QStringLiteral("C"))->state().checked);
        // The pane reads the drives when it first shows, not each time.
        view.hide();
        view.show();
        QCOMPARE(fills, 1);
        Run(tree, "a/C?2");
    }
};

QTEST_MAIN(FoldersTest)
#include "folders_qtest.moc"
