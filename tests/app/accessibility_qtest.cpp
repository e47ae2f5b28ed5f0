// The window as assistive technology and keyboard users meet it: the folder
// tree's check boxes read and ticked through QAccessible, the names of the
// panes and of every control; wide folder names scroll instead of being cut.
#include "apptestenv.h"

#include "settings/optionsheet.h"
#include "settings/setupsheet.h"

#include <QAccessible>
#include <QContextMenuEvent>
#include <QScrollBar>

namespace {

QString AccessibleName(QObject* object)
{
    QAccessibleInterface* iface = QAccessible::queryAccessibleInterface(object);
    return iface != nullptr ? iface->text(QAccessible::Name) : QString();
}

// The tree's accessible row named `name`, or null.
QAccessibleInterface* TreeRow(QAccessibleInterface* tree, const QString& name)
{
    for (int i = 0; i < tree->childCount(); ++i)
        if (QAccessibleInterface* row = tree->child(i); row != nullptr && row->text(QAccessible::Name) == name)
            return row;
    return nullptr;
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

}  // namespace

class AccessibilityTest : public QObject {
    Q_OBJECT

private slots:
    void init() { ResetSearchContext(); }

    void treeCheckBoxesAreReadAndTickedThroughAccessibility()
    {
        QTemporaryDir drive;
        const QString wide = QString(120, QLatin1Char('w'));
        for (const QString& dir : {QStringLiteral("Sub/Inner"), QStringLiteral("Leaf"), wide})
            QVERIFY(QDir(drive.path()).mkpath(dir));
        CDirectoryView view;
        int fills = 0;
        view.SetDriveSource([&drive, &fills] {
            ++fills;
            return std::vector<CDriveEntry>{CDriveEntry{drive.path().toStdString(), "Docs", DriveKind::Fixed}};
        });
        view.resize(150, 200);
        view.show();
        QVERIFY(QTest::qWaitForWindowExposed(&view));
        CDirectoryTree& tree = view.Tree();
        tree.RootItem()->child(0)->setExpanded(true);
        // A wide name scrolls: the label's cell holds the whole name.
        QTRY_VERIFY(tree.horizontalScrollBar()->maximum() > 0);
        QVERIFY(tree.LabelRect(TreeItem(tree, wide)).width() >= tree.fontMetrics().horizontalAdvance(wide));

        QAccessibleInterface* iface = QAccessible::queryAccessibleInterface(&tree);
        QVERIFY(iface != nullptr);
        QCOMPARE(iface->role(), QAccessible::Tree);
        // Numbered as the tree's own focus events number them: the hidden
        // header, then the rows top to bottom.
        QCOMPARE(iface->childCount(), 6);
        QCOMPARE(iface->child(0)->role(), QAccessible::ColumnHeader);
        const QStringList rows = {Str(IDS_MY_COMPUTER), "Docs(" + drive.path() + ")", "Leaf", "Sub", wide};
        for (int i = 0; i < rows.size(); ++i) QCOMPARE(iface->child(i + 1)->text(QAccessible::Name), rows[i]);
        for (int i = 0; i < iface->childCount(); ++i) QCOMPARE(iface->indexOfChild(iface->child(i)), i);

        QAccessibleInterface* root = TreeRow(iface, Str(IDS_MY_COMPUTER));
        QVERIFY(root != nullptr);
        QVERIFY(!root->state().checkable);
        QVERIFY(!root->actionInterface()->actionNames().contains(QAccessibleActionInterface::toggleAction()));
        // A folder without sub-folders is never read as collapsed; the
        // toggle's key is read with the action.
        QAccessibleInterface* leaf = TreeRow(iface, QStringLiteral("Leaf"));
        QVERIFY(!leaf->state().collapsed && TreeRow(iface, QStringLiteral("Sub"))->state().collapsed);
        QCOMPARE(leaf->actionInterface()->keyBindingsForAction(QAccessibleActionInterface::toggleAction()),
                 QStringList{QStringLiteral("Space")});

        // Each toggle through the accessibility action; then what a screen
        // reader reads (checked, the description) and the tree's own state.
        const struct { const char* row; bool checked; UINT description; int state; } kSteps[] = {
            {"Sub", true, IDS_TICKED_WITHOUT_SUBFOLDERS, CDirectoryTree::STATE_CHECKED},
            {"Sub", true, IDS_TICKED_WITH_SUBFOLDERS, CDirectoryTree::STATE_CHECKED_ALL},
            {"Sub", false, IDS_NOT_TICKED, CDirectoryTree::STATE_UNCHECKED},
            {"Leaf", true, 0, CDirectoryTree::STATE_CHECKED},
            {"Leaf", false, IDS_NOT_TICKED, CDirectoryTree::STATE_UNCHECKED},
        };
        for (const auto& step : kSteps) {
            QAccessibleInterface* row = TreeRow(iface, QString::fromUtf8(step.row));
            QVERIFY2(row != nullptr && row->role() == QAccessible::TreeItem && row->state().checkable, step.row);
            row->actionInterface()->doAction(QAccessibleActionInterface::toggleAction());
            QCOMPARE(bool(row->state().checked), step.checked);
            QCOMPARE(row->text(QAccessible::Description), step.description != 0 ? Str(step.description) : QString());
            QCOMPARE(tree.GetCheckState(TreeItem(tree, step.row)), step.state);
        }
        // Ticking the whole sub-tree reaches the rows below, which show when
        // the folder is expanded.
        QAccessibleInterface* sub = TreeRow(iface, QStringLiteral("Sub"));
        sub->actionInterface()->doAction(QAccessibleActionInterface::toggleAction());
        sub->actionInterface()->doAction(QAccessibleActionInterface::toggleAction());
        QTreeWidgetItem* subItem = TreeItem(tree, "Sub");
        QCOMPARE(tree.GetCheckState(subItem), int(CDirectoryTree::STATE_CHECKED_ALL));
        sub->actionInterface()->doAction(QAccessibleActionInterface::setFocusAction());
        QCOMPARE(tree.currentItem(), subItem);
        subItem->setExpanded(true);
        QCOMPARE(iface->childCount(), 7);
        QVERIFY(TreeRow(iface, QStringLiteral("Inner"))->state().checked);
        // The pane reads the drives when it first shows, not each time.
        view.hide();
        view.show();
        QCOMPARE(fills, 1);
        QCOMPARE(tree.GetCheckState(TreeItem(tree, "Sub/Inner")), int(CDirectoryTree::STATE_CHECKED));
    }

    void panesAndEveryControlHaveNames()
    {
        CFrameFixture fx;
        auto frame = fx.MakeFrame();
        QCOMPARE(AccessibleName(&frame->FolderPane()->Tree()), Str(IDS_NAME_FOLDER_TREE));
        QCOMPARE(AccessibleName(frame->findChild<CResultList*>()), Str(IDS_NAME_RESULT_LIST));
        QCOMPARE(AccessibleName(frame->KeywordPanel()->Edit()), Str(IDS_NAME_KEYWORDS));
        QCOMPARE(AccessibleName(frame->MessagePanel()->Edit()), Str(IDS_NAME_MESSAGES));
        QCOMPARE(frame->KeywordPanel()->Edit()->placeholderText(), Str(IDS_KEYWORD_HINT));

        QStringList unnamed;
        CollectUnnamed(QAccessible::queryAccessibleInterface(frame.get()), unnamed);
        QVERIFY2(unnamed.isEmpty(), qPrintable(unnamed.join(QLatin1Char('\n'))));

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
};

QTEST_MAIN(AccessibilityTest)
#include "accessibility_qtest.moc"
