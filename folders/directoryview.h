// CDirectoryView: the pane that hosts the folder tree (the upper-left pane
// of the main window). It fills itself with the tree and, the first time it
// is shown, lists the drives, which publishes the tree as g_hWndFolderTree.
//
// Use: `auto* view = new CDirectoryView(splitter);` — nothing else is
// needed. SetDriveSource() replaces the machine's drive list (tests), and
// must be called before the view is first shown.
#pragma once

#include "folders/directorytree.h"

#include <QWidget>

#include <functional>
#include <vector>

class CDirectoryView : public QWidget {
    Q_OBJECT
public:
    explicit CDirectoryView(QWidget* parent = nullptr);

    CDirectoryTree& Tree() { return *m_wndTree; }
    void SetDriveSource(std::function<std::vector<CDriveEntry>()> source);
    // Lists the drives and loaded folders anew, keeping the ticks, open
    // branches and current item of the folders that still exist (F5).
    void Reload();

protected:
    void showEvent(QShowEvent* event) override;

private:
    int m_bFirstPaint = 1;
    CDirectoryTree* m_wndTree = nullptr;
    std::function<std::vector<CDriveEntry>()> m_driveSource;
};
