// What assistive technology (a screen reader over AT-SPI) sees of the
// folder tree. The check boxes are the tree's own drawing, not Qt's item
// check boxes, so Qt's generic tree description would show no check state
// and offer only a "toggle" that changes the selection. This description
// shows every row as a tree item that is checkable: checked when the folder
// is searched (state 2 or 3), with the description "with all sub-folders"
// for state 3 and "without sub-folders" for state 2 on a folder that has
// sub-folders. A screen reader thus announces "checked" for every ticked
// folder and adds the sub-folder part, which "partially checked" would
// garble (a folder ticked by itself is searched, not half searched). An
// unticked folder is described "not ticked": Qt 6.4's AT-SPI bridge does
// not pass the "checkable" state on, so without it a screen reader would
// not say that the row has a box at all. The
// toggle action ticks the box exactly as a click on it does; the set-focus
// action makes the row the current one.
//
// The children are numbered as the tree itself numbers them in its focus
// and selection events, so those events name the right row: child 0 is the
// (hidden) column header, then the visible rows from top to bottom.
//
// Use: CDirectoryTree installs the factory; nothing else is needed.
#pragma once

#include <QAccessibleWidget>
#include <QPersistentModelIndex>
#include <QPointer>

#include <unordered_map>
#include <vector>

class CDirectoryTree;
class QTreeWidgetItem;

class CFolderTreeAccessible : public QAccessibleWidget {
public:
    explicit CFolderTreeAccessible(CDirectoryTree* tree);
    ~CFolderTreeAccessible() override;

    // The factory for QAccessible::installFactory.
    static QAccessibleInterface* Factory(const QString& className, QObject* object);
    // The child index of an item's row, or -1 when one of its parents is
    // collapsed.
    static int ChildIndex(const CDirectoryTree* tree, const QTreeWidgetItem* item);

    int childCount() const override;
    QAccessibleInterface* child(int index) const override;
    int indexOfChild(const QAccessibleInterface* child) const override;
    QAccessibleInterface* childAt(int x, int y) const override;
    QAccessibleInterface* focusChild() const override;

private:
    CDirectoryTree* Tree() const;
    const std::vector<QTreeWidgetItem*>& Rows() const;
    QAccessibleInterface* ItemInterface(QTreeWidgetItem* item) const;
    void ForgetItems();

    // Filled when asked for, emptied whenever the visible rows change.
    mutable std::vector<QTreeWidgetItem*> m_rows;
    mutable bool m_rowsValid = false;
    // One registered interface per item, so a row keeps its identity.
    mutable std::unordered_map<const QTreeWidgetItem*, QAccessible::Id> m_items;
    mutable QAccessible::Id m_header = 0;
    std::vector<QMetaObject::Connection> m_connections;
};

class CFolderItemAccessible : public QAccessibleInterface, public QAccessibleActionInterface {
public:
    CFolderItemAccessible(CDirectoryTree* tree, const QModelIndex& index);

    // The item, or null once it is gone.
    QTreeWidgetItem* Item() const;

    bool isValid() const override;
    QObject* object() const override { return nullptr; }
    QWindow* window() const override;
    QAccessibleInterface* parent() const override;
    QAccessibleInterface* child(int) const override { return nullptr; }
    int childCount() const override { return 0; }
    int indexOfChild(const QAccessibleInterface*) const override { return -1; }
    QAccessibleInterface* childAt(int, int) const override { return nullptr; }
    QString text(QAccessible::Text t) const override;
    void setText(QAccessible::Text, const QString&) override {}
    QRect rect() const override;
    QAccessible::Role role() const override { return QAccessible::TreeItem; }
    QAccessible::State state() const override;
    void* interface_cast(QAccessible::InterfaceType type) override;

    QStringList actionNames() const override;
    void doAction(const QString& actionName) override;
    QStringList keyBindingsForAction(const QString& actionName) const override;

private:
    QPointer<CDirectoryTree> m_tree;
    QPersistentModelIndex m_index;
};
