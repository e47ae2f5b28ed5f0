// CResultList: the list of files found, one row per file with its name and
// kind icon, its match degree and its full path, in the order the search
// found them. The search worker adds rows with WM_ADD_RESULT; the frame
// clears the list and forbids file actions during a search
// (WM_CLEAR_RESULTS, WM_ENABLE_RESULT_ACTIONS) and forwards the popup
// menu's commands as WM_RESULT_ACTION 1 (open files), 2 (open their
// folders), 3 (copy the files to the clipboard).
//
// Use: create it as a plain child widget and call InitColumns() once; that
// publishes it as g_hWndResultList. A right-click sends WM_RESULT_SELECTION
// to g_hWndMainFrame (wParam 1 when a row was hit, lParam the number of rows
// selected; a right-click on an unselected row selects only that row
// first), then contextMenuRequested(globalPos) asks the
// owner of the popup menu (the frame) to show it; connect that signal. The
// menu key reports the current row the same way before it asks.
//
// Clicking a column header sorts the view by that column; clearing the list
// (a new Find) restores the order in which rows were added.
#pragma once

#include "gui/qtmessagetarget.h"
#include "results/resultmodel.h"

#include <QTreeView>

#include <string>
#include <vector>

class QSortFilterProxyModel;

class CResultList : public QTreeView {
    Q_OBJECT
public:
    enum Action { ACTION_OPEN_FILES = 1, ACTION_OPEN_FOLDERS = 2, ACTION_COPY_FILES = 3 };

    explicit CResultList(QWidget* parent = nullptr);
    ~CResultList() override;

    // Sets the column widths and publishes the list as g_hWndResultList.
    void InitColumns();

    // The message handler (what g_hWndResultList reaches).
    LRESULT OnMessage(UINT message, WPARAM wParam, LPARAM lParam);
    HWND Handle() { return &m_target; }

    int ActionsEnabled() const { return m_bActionsEnabled; }
    int HitItem() const { return m_nHitItem; }
    CResultModel& Model() { return *m_model; }
    // Rows shown or queued.
    int RowCount() const { return m_model->TotalRows(); }
    // Full paths of the selected rows, in the order the view shows them.
    std::vector<std::string> SelectedPaths() const;
    // For a key that acts on the selection (Enter, Ctrl+C): reports the
    // selection to the frame as a right-click on the current row does, so
    // the popup's enabling rules decide what the key may do. False, with
    // nothing sent, while file actions are forbidden or nothing is selected.
    bool ReportSelectionForKey();
    // Source rows of the selection, in view order.
    std::vector<int> SelectedSourceRows() const;

signals:
    // The popup menu should be shown at this point (screen coordinates).
    void contextMenuRequested(const QPoint& globalPos);

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;

private:
    void SetDefaultColumnWidths();
    void OnAddResult();
    void OnClearResults();
    void OnResultAction(WPARAM action);
    void OnRButtonDown(const QPoint& pos);
    void OnDblClk(const QPoint& pos);
    void OpenSelectedFiles();
    void OpenSelectedFolders();
    void CopyFilesToClipboard();

    int m_bActionsEnabled = 1;
    int m_nHitItem = -1;
    CResultModel* m_model = nullptr;
    QSortFilterProxyModel* m_proxy = nullptr;
    CQtMessageTarget m_target;
};
