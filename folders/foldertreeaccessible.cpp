// The folder tree as assistive technology sees it (see
// foldertreeaccessible.h).
#include "folders/foldertreeaccessible.h"

#include "folders/directorytree.h"
#include "platform/stringtable.h"

#include <QAbstractItemModel>
#include <QWindow>

#include <algorithm>

namespace {

QString Text(UINT id)
{
    return QString::fromLocal8Bit(LoadString(id));
}

// Appends `item` and every row below it that an expanded parent shows,
// top to bottom, with an explicit stack so a deep tree cannot exhaust the
// call stack.
void AppendVisible(QTreeWidgetItem* item, std::vector<QTreeWidgetItem*>& rows)
{
    std::vector<QTreeWidgetItem*> pending{item};
    while (!pending.empty()) {
        QTreeWidgetItem* current = pending.back();
        pending.pop_back();
        if (current->isHidden()) continue;
        rows.push_back(current);
        if (!current->isExpanded()) continue;
        for (int i = current->childCount() - 1; i >= 0; --i) pending.push_back(current->child(i));
    }
}

// The tree's column header: hidden, but counted first in the tree's own
// numbering of its children.
class CHiddenHeaderAccessible : public QAccessibleInterface {
public:
    explicit CHiddenHeaderAccessible(CDirectoryTree* tree) : m_tree(tree) {}
    bool isValid() const override { return m_tree != nullptr; }
    QObject* object() const override { return nullptr; }
    QAccessibleInterface* parent() const override
    {
        return m_tree != nullptr ? QAccessible::queryAccessibleInterface(m_tree.data()) : nullptr;
    }
    QAccessibleInterface* child(int) const override { return nullptr; }
    int childCount() const override { return 0; }
    int indexOfChild(const QAccessibleInterface*) const override { return -1; }
    QAccessibleInterface* childAt(int, int) const override { return nullptr; }
    QString text(QAccessible::Text) const override { return {}; }
    void setText(QAccessible::Text, const QString&) override {}
    QRect rect() const override { return {}; }
    QAccessible::Role role() const override { return QAccessible::ColumnHeader; }
    QAccessible::State state() const override
    {
        QAccessible::State st;
        st.invisible = true;
        return st;
    }

private:
    QPointer<CDirectoryTree> m_tree;
};

// Children before the first row.
constexpr int kHeaderChildren = 1;

}  // namespace

// ---- The tree ----------------------------------------------------------------

CFolderTreeAccessible::CFolderTreeAccessible(CDirectoryTree* tree) : QAccessibleWidget(tree, QAccessible::Tree)
{
    auto rowsChanged = [this] { m_rowsValid = false; };
    auto itemsGone = [this] { ForgetItems(); };
    QAbstractItemModel* model = tree->model();
    m_connections = {
        QObject::connect(tree, &QTreeWidget::itemExpanded, tree, rowsChanged),
        QObject::connect(tree, &QTreeWidget::itemCollapsed, tree, rowsChanged),
        QObject::connect(model, &QAbstractItemModel::rowsInserted, tree, rowsChanged),
        QObject::connect(model, &QAbstractItemModel::layoutChanged, tree, rowsChanged),
        QObject::connect(model, &QAbstractItemModel::rowsAboutToBeRemoved, tree, itemsGone),
        QObject::connect(model, &QAbstractItemModel::rowsRemoved, tree, itemsGone),
        QObject::connect(model, &QAbstractItemModel::modelAboutToBeReset, tree, itemsGone),
    };
}

CFolderTreeAccessible::~CFolderTreeAccessible()
{
    for (const QMetaObject::Connection& connection : m_connections) QObject::disconnect(connection);
    ForgetItems();
}

QAccessibleInterface* CFolderTreeAccessible::Factory(const QString& className, QObject* object)
{
    if (className != QLatin1String("CDirectoryTree")) return nullptr;
    auto* tree = qobject_cast<CDirectoryTree*>(object);
    return tree != nullptr ? new CFolderTreeAccessible(tree) : nullptr;
}

int CFolderTreeAccessible::ChildIndex(const CDirectoryTree* tree, const QTreeWidgetItem* item)
{
    if (tree == nullptr || item == nullptr) return -1;
    std::vector<QTreeWidgetItem*> rows;
    for (int i = 0; i < tree->topLevelItemCount(); ++i) AppendVisible(tree->topLevelItem(i), rows);
    const auto found = std::find(rows.begin(), rows.end(), item);
    return found == rows.end() ? -1 : kHeaderChildren + static_cast<int>(found - rows.begin());
}

CDirectoryTree* CFolderTreeAccessible::Tree() const
{
    return static_cast<CDirectoryTree*>(widget());
}

const std::vector<QTreeWidgetItem*>& CFolderTreeAccessible::Rows() const
{
    if (!m_rowsValid) {
        m_rows.clear();
        const CDirectoryTree* tree = Tree();
        for (int i = 0; i < tree->topLevelItemCount(); ++i) AppendVisible(tree->topLevelItem(i), m_rows);
        m_rowsValid = true;
    }
    return m_rows;
}

void CFolderTreeAccessible::ForgetItems()
{
    // The items are about to go: their interfaces go with them, and the
    // row list is read again.
    for (const auto& [item, id] : m_items) QAccessible::deleteAccessibleInterface(id);
    m_items.clear();
    if (m_header != 0) QAccessible::deleteAccessibleInterface(m_header);
    m_header = 0;
    m_rows.clear();
    m_rowsValid = false;
}

QAccessibleInterface* CFolderTreeAccessible::ItemInterface(QTreeWidgetItem* item) const
{
    if (item == nullptr) return nullptr;
    const auto found = m_items.find(item);
    if (found != m_items.end()) {
        // A new item may have taken the address of one that is gone.
        QAccessibleInterface* known = QAccessible::accessibleInterface(found->second);
        const auto* row = dynamic_cast<const CFolderItemAccessible*>(known);
        if (row != nullptr && row->Item() == item) return known;
        QAccessible::deleteAccessibleInterface(found->second);
        m_items.erase(found);
    }
    auto* iface = new CFolderItemAccessible(Tree(), Tree()->indexFromItem(item));
    m_items.emplace(item, QAccessible::registerAccessibleInterface(iface));
    return iface;
}

int CFolderTreeAccessible::childCount() const
{
    return kHeaderChildren + static_cast<int>(Rows().size());
}

QAccessibleInterface* CFolderTreeAccessible::child(int index) const
{
    if (index == 0) {
        if (m_header == 0) m_header = QAccessible::registerAccessibleInterface(new CHiddenHeaderAccessible(Tree()));
        return QAccessible::accessibleInterface(m_header);
    }
    const std::vector<QTreeWidgetItem*>& rows = Rows();
    const int row = index - kHeaderChildren;
    if (row < 0 || row >= static_cast<int>(rows.size())) return nullptr;
    return ItemInterface(rows[static_cast<std::size_t>(row)]);
}

int CFolderTreeAccessible::indexOfChild(const QAccessibleInterface* child) const
{
    if (child != nullptr && m_header != 0 && child == QAccessible::accessibleInterface(m_header)) return 0;
    const auto* item = dynamic_cast<const CFolderItemAccessible*>(child);
    if (item == nullptr || item->Item() == nullptr) return -1;
    const std::vector<QTreeWidgetItem*>& rows = Rows();
    const auto found = std::find(rows.begin(), rows.end(), item->Item());
    return found == rows.end() ? -1 : kHeaderChildren + static_cast<int>(found - rows.begin());
}

QAccessibleInterface* CFolderTreeAccessible::childAt(int x, int y) const
{
    const CDirectoryTree* tree = Tree();
    const QPoint local = tree->viewport()->mapFromGlobal(QPoint(x, y));
    return ItemInterface(tree->itemAt(local));
}

QAccessibleInterface* CFolderTreeAccessible::focusChild() const
{
    const CDirectoryTree* tree = Tree();
    if (!tree->hasFocus()) return nullptr;
    return ItemInterface(tree->currentItem());
}

// ---- One row -----------------------------------------------------------------

CFolderItemAccessible::CFolderItemAccessible(CDirectoryTree* tree, const QModelIndex& index)
    : m_tree(tree), m_index(index)
{
}

QTreeWidgetItem* CFolderItemAccessible::Item() const
{
    if (m_tree == nullptr || !m_index.isValid()) return nullptr;
    return m_tree->itemFromIndex(m_index);
}

bool CFolderItemAccessible::isValid() const
{
    return Item() != nullptr;
}

QWindow* CFolderItemAccessible::window() const
{
    QAccessibleInterface* tree = parent();
    return tree != nullptr ? tree->window() : nullptr;
}

QAccessibleInterface* CFolderItemAccessible::parent() const
{
    return m_tree != nullptr ? QAccessible::queryAccessibleInterface(m_tree.data()) : nullptr;
}

QString CFolderItemAccessible::text(QAccessible::Text t) const
{
    const QTreeWidgetItem* item = Item();
    if (item == nullptr) return {};
    if (t == QAccessible::Name) return item->text(0);
    if (t != QAccessible::Description) return {};
    const int state = m_tree->GetCheckState(item);
    if (state == CDirectoryTree::STATE_UNCHECKED) return Text(IDS_NOT_TICKED);
    if (state == CDirectoryTree::STATE_CHECKED_ALL) return Text(IDS_TICKED_WITH_SUBFOLDERS);
    // For a folder without sub-folders a tick is the whole selection.
    if (state == CDirectoryTree::STATE_CHECKED && item->childCount() > 0) return Text(IDS_TICKED_WITHOUT_SUBFOLDERS);
    return {};
}

QRect CFolderItemAccessible::rect() const
{
    QTreeWidgetItem* item = Item();
    if (item == nullptr) return {};
    const QRect local = m_tree->visualItemRect(item);
    if (local.isEmpty()) return {};
    return QRect(m_tree->viewport()->mapToGlobal(local.topLeft()), local.size());
}

QAccessible::State CFolderItemAccessible::state() const
{
    QAccessible::State st;
    QTreeWidgetItem* item = Item();
    if (item == nullptr) {
        st.invalid = true;
        return st;
    }
    const int check = m_tree->GetCheckState(item);
    st.checkable = check != CDirectoryTree::STATE_NONE;
    st.checked = check == CDirectoryTree::STATE_CHECKED || check == CDirectoryTree::STATE_CHECKED_ALL;
    st.selectable = true;
    st.focusable = true;
    st.selected = item->isSelected();
    st.focused = m_tree->hasFocus() && m_tree->currentItem() == item;
    st.expandable = item->childCount() > 0;
    st.expanded = item->isExpanded();
    st.collapsed = st.expandable && !st.expanded;
    const QRect shown = m_tree->visualItemRect(item);
    st.invisible = shown.isEmpty() || !m_tree->viewport()->rect().intersects(shown);
    return st;
}

void* CFolderItemAccessible::interface_cast(QAccessible::InterfaceType type)
{
    if (type == QAccessible::ActionInterface) return static_cast<QAccessibleActionInterface*>(this);
    return nullptr;
}

QStringList CFolderItemAccessible::actionNames() const
{
    const QTreeWidgetItem* item = Item();
    if (item == nullptr) return {};
    if (m_tree->GetCheckState(item) == CDirectoryTree::STATE_NONE) return {setFocusAction()};
    return {toggleAction(), setFocusAction()};
}

void CFolderItemAccessible::doAction(const QString& actionName)
{
    QTreeWidgetItem* item = Item();
    if (item == nullptr || !m_tree->isEnabled()) return;
    if (actionName == toggleAction()) {
        m_tree->UserToggleCheck(item);
    } else if (actionName == setFocusAction()) {
        m_tree->setCurrentItem(item);
        m_tree->scrollToItem(item);
    }
}

QStringList CFolderItemAccessible::keyBindingsForAction(const QString& actionName) const
{
    if (actionName == toggleAction()) return {QStringLiteral("Space")};
    return {};
}
