// CDirectoryTree: the folder tree with three-state check boxes. The root
// item "My Computer" holds the drives (see drivelist.h); below them the
// folders are read lazily, always one level ahead of what is expanded, so a
// folder shows an expand button exactly when it has sub-folders. When a
// search starts, WM_COLLECT_FOLDERS turns the ticked items into
// g_listSelectedFolders.
//
// Check states: 0 no check box (root only), 1 unchecked, 2 the folder
// itself, 3 the folder with all its sub-folders. A click on the 16-pixel
// strip from 32 to 16 pixels left of an item's label (where the check box
// is drawn), the space bar on the current item or the toggle action of
// assistive technology (see foldertreeaccessible.h) toggles it.
//
// The column is as wide as its widest visible row, so long names scroll
// sideways instead of being cut.
//
// Use: normally hosted by CDirectoryView. FillDrives() lists the machine's
// drives and publishes the tree as g_hWndFolderTree; FillDrives(list) does
// the same for a given list of roots (tests use temporary folders).
#pragma once

#include "folders/drivelist.h"
#include "gui/qtmessagetarget.h"

#include <QTreeWidget>

#include <string>
#include <vector>

class CDirectoryTree : public QTreeWidget {
    Q_OBJECT
public:
    enum : int {
        STATE_NONE = 0,
        STATE_UNCHECKED = 1,
        STATE_CHECKED = 2,
        STATE_CHECKED_ALL = 3,
    };
    enum : int {
        IMAGE_COMPUTER = 0,
        IMAGE_FIXED = 1,
        IMAGE_OPTICAL = 2,
        IMAGE_FOLDER = 3,
        IMAGE_FOLDER_OPEN = 4,
        IMAGE_FLOPPY = 5,
        IMAGE_REMOVABLE = 6,
    };
    // Item data: the check state, the icon, and the item's own name as raw
    // file-system bytes (a drive's mount point), so paths that are not valid
    // text still name the right folder.
    static constexpr int kCheckStateRole = Qt::UserRole + 1;
    static constexpr int kImageRole = Qt::UserRole + 2;
    static constexpr int kNameRole = Qt::UserRole + 3;

    explicit CDirectoryTree(QWidget* parent = nullptr);
    ~CDirectoryTree() override;

    // Fills the tree with this machine's drives; returns 1.
    int FillDrives();
    // Fills the tree with the given drives instead.
    int FillDrives(const std::vector<CDriveEntry>& drives);

    // Adds the sub-folders of `path` under `parent`, in the file finder's
    // order; 1 if at least one was added.
    int AddSubFolders(QTreeWidgetItem* parent, std::string path);
    // Full path of an item: a drive's mount point, a folder's path below it
    // joined with '/'. Empty for the root.
    void GetItemPath(QTreeWidgetItem* item, std::string& path) const;

    void ToggleCheck(QTreeWidgetItem* item);
    // A toggle the user asked for (click, key, assistive technology):
    // toggles, repaints and tells assistive technology of the change.
    void UserToggleCheck(QTreeWidgetItem* item);
    // 1 if every child is fully selected (also when there are none).
    int AllChildrenFull(QTreeWidgetItem* item) const;
    void UpdateParents(QTreeWidgetItem* item);
    void SetSubtreeCheck(QTreeWidgetItem* item, int state);
    // Appends the ticked folders below `start` (the whole tree when null,
    // which also empties the list first and logs the start).
    void CollectFolders(QTreeWidgetItem* start = nullptr);
    // Reads one more level below the children of an expanded or collapsed
    // item and sets their states from the item's.
    void OnItemExpanded(QTreeWidgetItem* item);

    int GetCheckState(const QTreeWidgetItem* item) const;
    void SetCheckState(QTreeWidgetItem* item, int state);
    QTreeWidgetItem* RootItem() const { return m_hRootItem; }

    // The item's label rectangle in viewport coordinates.
    QRect LabelRect(QTreeWidgetItem* item) const;
    // Whether a point lies in the check-box strip of a label rectangle.
    static bool InCheckStrip(const QRect& label, const QPoint& pos);
    // A left click at a viewport position: toggles the check box when the
    // click is on it. Returns whether it toggled.
    bool OnClick(const QPoint& viewportPos);

    // The tree's message target (what g_hWndFolderTree points at).
    HWND Handle() { return &m_target; }

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    LRESULT OnMessage(UINT message, WPARAM wParam, LPARAM lParam);
    QTreeWidgetItem* NewItem(QTreeWidgetItem* parent, const std::string& name, const QString& text, int image);

    QTreeWidgetItem* m_hRootItem = nullptr;
    CQtMessageTarget m_target;
};
