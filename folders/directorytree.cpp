// The folder tree's items, check states and folder collection (see
// directorytree.h).
#include "folders/directorytree.h"

#include "folders/folderitemdelegate.h"
#include "folders/foldertreeaccessible.h"
#include "platform/filefind.h"
#include "platform/stringtable.h"
#include "search/searchcontext.h"

#include <QAccessible>
#include <QHeaderView>
#include <QKeyEvent>
#include <QMouseEvent>

#include <cstring>

namespace {

std::string JoinPath(const std::string& dir, const std::string& name)
{
    if (!dir.empty() && dir.back() == '/') return dir + name;
    return dir + "/" + name;
}

std::string RawName(const QTreeWidgetItem* item)
{
    const QByteArray raw = item->data(0, CDirectoryTree::kNameRole).toByteArray();
    return std::string(raw.constData(), static_cast<std::size_t>(raw.size()));
}

}  // namespace

CDirectoryTree::CDirectoryTree(QWidget* parent)
    : QTreeWidget(parent),
      m_target(this, [this](UINT message, WPARAM wParam, LPARAM lParam) { return OnMessage(message, wParam, lParam); })
{
    static const bool accessibleFactory = [] {
        QAccessible::installFactory(&CFolderTreeAccessible::Factory);
        return true;
    }();
    (void)accessibleFactory;
    setAccessibleName(QString::fromLocal8Bit(LoadString(IDS_NAME_FOLDER_TREE)));

    setColumnCount(1);
    header()->hide();
    // The one column takes the width of its widest row, so a long name
    // makes the tree scroll sideways and the label (and its highlight) is
    // never cut.
    header()->setStretchLastSection(false);
    header()->setSectionResizeMode(0, QHeaderView::ResizeToContents);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
    setRootIsDecorated(true);
    setItemDelegate(new CFolderItemDelegate(this));
    setSelectionMode(QAbstractItemView::SingleSelection);
    setUniformRowHeights(true);
    connect(this, &QTreeWidget::itemExpanded, this, &CDirectoryTree::OnItemExpanded);
    connect(this, &QTreeWidget::itemCollapsed, this, &CDirectoryTree::OnItemExpanded);
}

CDirectoryTree::~CDirectoryTree()
{
    // No one may send to a tree that is gone.
    HWND self = &m_target;
    g_hWndFolderTree.compare_exchange_strong(self, nullptr);
}

QTreeWidgetItem* CDirectoryTree::NewItem(QTreeWidgetItem* parent, const std::string& name, const QString& text,
                                         int image)
{
    auto* item = parent != nullptr ? new QTreeWidgetItem(parent) : new QTreeWidgetItem(this);
    item->setText(0, text);
    item->setData(0, kNameRole, QByteArray(name.data(), static_cast<qsizetype>(name.size())));
    item->setData(0, kImageRole, image);
    item->setData(0, kCheckStateRole, parent != nullptr ? STATE_UNCHECKED : STATE_NONE);
    return item;
}

int CDirectoryTree::FillDrives()
{
    return FillDrives(CDriveList::Read());
}

int CDirectoryTree::FillDrives(const std::vector<CDriveEntry>& drives)
{
    clear();
    m_hRootItem = NewItem(nullptr, std::string(), QString::fromLocal8Bit(LoadString(IDS_MY_COMPUTER)), IMAGE_COMPUTER);
    for (const CDriveEntry& drive : drives) {
        int image = IMAGE_FIXED;
        if (drive.kind == DriveKind::Optical) image = IMAGE_OPTICAL;
        else if (drive.kind == DriveKind::Removable) image = IMAGE_REMOVABLE;
        QTreeWidgetItem* item =
            NewItem(m_hRootItem, drive.mountPoint, QString::fromLocal8Bit(CDriveList::DriveText(drive)), image);
        SetCheckState(item, STATE_UNCHECKED);
        AddSubFolders(item, drive.mountPoint);
    }
    m_hRootItem->setExpanded(true);
    g_hWndFolderTree = &m_target;
    return 1;
}

int CDirectoryTree::AddSubFolders(QTreeWidgetItem* parent, std::string path)
{
    if (parent == nullptr) return 0;
    const std::string mask = (!path.empty() && path.back() == '/') ? path + "*.*" : path + "/*.*";
    CFileFind finder;
    int added = 0;
    BOOL more = finder.FindFile(mask.c_str());
    while (more) {
        more = finder.FindNextFile();
        if (!finder.IsDirectory() || finder.IsDots()) continue;
        const std::string name = finder.GetFileName();
        NewItem(parent, name, QString::fromLocal8Bit(name.data(), static_cast<qsizetype>(name.size())), IMAGE_FOLDER);
        added = 1;
    }
    finder.Close();
    return added;
}

void CDirectoryTree::GetItemPath(QTreeWidgetItem* item, std::string& path) const
{
    path.clear();
    if (item == nullptr || item == m_hRootItem) return;
    std::vector<std::string> names;
    QTreeWidgetItem* drive = item;
    // Bounded by the depth of the tree, which only grows by user expansion.
    while (drive->parent() != nullptr && drive->parent() != m_hRootItem) {
        names.push_back(RawName(drive));
        drive = drive->parent();
    }
    path = RawName(drive);
    for (auto it = names.rbegin(); it != names.rend(); ++it) path = JoinPath(path, *it);
}

int CDirectoryTree::GetCheckState(const QTreeWidgetItem* item) const
{
    return item != nullptr ? item->data(0, kCheckStateRole).toInt() : STATE_NONE;
}

void CDirectoryTree::SetCheckState(QTreeWidgetItem* item, int state)
{
    if (item != nullptr) item->setData(0, kCheckStateRole, state);
}

void CDirectoryTree::ToggleCheck(QTreeWidgetItem* item)
{
    if (item == nullptr || item == m_hRootItem) return;
    const int s = GetCheckState(item);
    int next = STATE_UNCHECKED;
    if (item->childCount() == 0) {
        next = s <= STATE_UNCHECKED ? STATE_CHECKED : STATE_UNCHECKED;
    } else if (s == STATE_UNCHECKED) {
        if (AllChildrenFull(item)) {
            SetSubtreeCheck(item, STATE_CHECKED_ALL);
            next = STATE_CHECKED_ALL;
        } else {
            next = STATE_CHECKED;
        }
    } else if (s == STATE_CHECKED) {
        SetSubtreeCheck(item, STATE_CHECKED_ALL);
        next = STATE_CHECKED_ALL;
    } else {
        SetSubtreeCheck(item, STATE_UNCHECKED);
        next = STATE_UNCHECKED;
    }
    SetCheckState(item, next);
    UpdateParents(item);
}

void CDirectoryTree::UserToggleCheck(QTreeWidgetItem* item)
{
    if (item == nullptr || item == m_hRootItem) return;
    ToggleCheck(item);
    viewport()->update();
    if (!QAccessible::isActive()) return;
    const int row = CFolderTreeAccessible::ChildIndex(this, item);
    if (row < 0) return;
    // "checked" flips between states 1 and 2; the description changes
    // between 2 and 3 while "checked" stays.
    QAccessible::State changed;
    changed.checked = true;
    QAccessibleStateChangeEvent stateEvent(this, changed);
    stateEvent.setChild(row);
    QAccessible::updateAccessibility(&stateEvent);
    QAccessibleEvent descriptionEvent(this, QAccessible::DescriptionChanged);
    descriptionEvent.setChild(row);
    QAccessible::updateAccessibility(&descriptionEvent);
}

int CDirectoryTree::AllChildrenFull(QTreeWidgetItem* item) const
{
    if (item == nullptr) return 1;
    for (int i = 0; i < item->childCount(); ++i) {
        const QTreeWidgetItem* child = item->child(i);
        const int full = child->childCount() > 0 ? STATE_CHECKED_ALL : STATE_CHECKED;
        if (GetCheckState(child) < full) return 0;
    }
    return 1;
}

void CDirectoryTree::UpdateParents(QTreeWidgetItem* item)
{
    while (item != nullptr) {
        QTreeWidgetItem* parent = item->parent();
        if (parent == nullptr || parent == m_hRootItem) return;
        int full = 0;
        for (int i = 0; i < parent->childCount(); ++i) {
            const QTreeWidgetItem* child = parent->child(i);
            const int s = GetCheckState(child);
            const bool hasChildren = child->childCount() > 0;
            if (s == STATE_UNCHECKED) {
                full = 0;
                break;
            }
            if (hasChildren && s == STATE_CHECKED) {
                full = 0;
                break;
            }
            if (hasChildren && s == STATE_CHECKED_ALL) full = 1;
            else if (!hasChildren && s == STATE_CHECKED) full = 1;
        }
        if (GetCheckState(parent) != STATE_UNCHECKED) SetCheckState(parent, full ? STATE_CHECKED_ALL : STATE_CHECKED);
        item = parent;
    }
}

void CDirectoryTree::SetSubtreeCheck(QTreeWidgetItem* item, int state)
{
    if (item == nullptr) return;
    // Depth-first with an explicit stack: a deep tree cannot exhaust the
    // call stack.
    std::vector<QTreeWidgetItem*> pending{item};
    while (!pending.empty()) {
        QTreeWidgetItem* current = pending.back();
        pending.pop_back();
        for (int i = 0; i < current->childCount(); ++i) {
            QTreeWidgetItem* child = current->child(i);
            if (child->childCount() > 0) {
                SetCheckState(child, state > STATE_UNCHECKED ? STATE_CHECKED_ALL : STATE_UNCHECKED);
                pending.push_back(child);
            } else {
                SetCheckState(child, state > STATE_UNCHECKED ? STATE_CHECKED : STATE_UNCHECKED);
            }
        }
    }
}

void CDirectoryTree::CollectFolders(QTreeWidgetItem* start)
{
    if (start == nullptr) {
        start = m_hRootItem;
        LogString(IDS_SEARCH_SELECTED_DIRS);
        g_listSelectedFolders.clear();
    }
    if (start == nullptr) return;
    for (int i = 0; i < start->childCount() && g_bRunning != 0; ++i) {
        QTreeWidgetItem* child = start->child(i);
        const int s = GetCheckState(child);
        if (s == STATE_CHECKED || s == STATE_CHECKED_ALL) {
            std::string path;
            GetItemPath(child, path);
            if (path.size() >= sizeof(_SelectedFolder{}.szPath)) {
                // Never truncated: a shortened path would name another folder.
                LogFileLine(path, IDS_PATH_TOO_LONG);
            } else {
                _SelectedFolder record{};
                std::memcpy(record.szPath, path.c_str(), path.size() + 1);
                record.bSubfolders = s == STATE_CHECKED_ALL ? 1 : 0;
                g_listSelectedFolders.push_back(record);
            }
            if (s == STATE_CHECKED) CollectFolders(child);
        } else if (s == STATE_UNCHECKED) {
            CollectFolders(child);
        }
    }
}

void CDirectoryTree::OnItemExpanded(QTreeWidgetItem* item)
{
    if (item == nullptr || item == m_hRootItem) return;
    const int s = GetCheckState(item);
    std::string path;
    GetItemPath(item, path);
    for (int i = 0; i < item->childCount(); ++i) {
        QTreeWidgetItem* child = item->child(i);
        if (child->childCount() > 0) continue;
        const int added = AddSubFolders(child, JoinPath(path, RawName(child)));
        if (s == STATE_CHECKED_ALL) SetCheckState(child, added ? STATE_CHECKED_ALL : STATE_CHECKED);
        else SetCheckState(child, STATE_UNCHECKED);
    }
}

QRect CDirectoryTree::LabelRect(QTreeWidgetItem* item) const
{
    QRect rect = visualItemRect(item);
    rect.setLeft(rect.left() + CFolderItemDelegate::kImagesWidth);
    return rect;
}

bool CDirectoryTree::InCheckStrip(const QRect& label, const QPoint& pos)
{
    return pos.x() >= label.left() - 32 && pos.x() < label.left() - 16 && pos.y() >= label.top() &&
           pos.y() <= label.bottom();
}

bool CDirectoryTree::OnClick(const QPoint& viewportPos)
{
    QTreeWidgetItem* item = itemAt(viewportPos);
    if (item == nullptr) return false;
    if (!InCheckStrip(LabelRect(item), viewportPos)) return false;
    if (item == m_hRootItem) return false;
    UserToggleCheck(item);
    return true;
}

void CDirectoryTree::mousePressEvent(QMouseEvent* event)
{
    // A click on the check box toggles it and does not select the item.
    if (event->button() == Qt::LeftButton && OnClick(event->position().toPoint())) {
        event->accept();
        return;
    }
    QTreeWidget::mousePressEvent(event);
}

void CDirectoryTree::mouseDoubleClickEvent(QMouseEvent* event)
{
    // Each click on a check box counts, however quickly it follows the last;
    // it must not expand or collapse the item as a double-click would.
    if (event->button() == Qt::LeftButton && OnClick(event->position().toPoint())) {
        event->accept();
        return;
    }
    QTreeWidget::mouseDoubleClickEvent(event);
}

void CDirectoryTree::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_Space && event->modifiers() == Qt::NoModifier && currentItem() != nullptr) {
        UserToggleCheck(currentItem());
        event->accept();
        return;
    }
    QTreeWidget::keyPressEvent(event);
}

LRESULT CDirectoryTree::OnMessage(UINT message, WPARAM, LPARAM)
{
    if (message == WM_COLLECT_FOLDERS) CollectFolders(nullptr);
    return 0;
}
