// The main window: menus, toolbar, status bar and the four panes in three
// splitters; the place where a search is started, stopped and watched.
//
// Find and Stop are mutually exclusive. A 100 ms timer shows the elapsed
// time and refreshes the status line and the result count while a search
// runs. The frame keeps the search worker: a Find while a stopped worker is
// still busy waits for it first, and closing the window stops the worker
// and waits for it, serving its messages meanwhile, before the settings are
// written and the window goes away.
#pragma once

#include "app/searchworker.h"
#include "gui/qtmessagetarget.h"

#include <QMainWindow>
#include <QTimer>

#include <map>
#include <string>

class QAction;
class QLabel;
class QMenu;
class QSplitter;
class QStatusBar;
class QToolBar;
class CDirectoryView;
class CInfoSetupView;
class CKeywordPanel;
class CMessagePanel;
class CMessageView;
class CVarnelView;

class CMainFrame : public QMainWindow {
    Q_OBJECT
public:
    // Ticks of the elapsed-time timer, in milliseconds.
    static constexpr int kTimerPeriodMs = 100;

    // `worker` is the search run's procedure; tests may pass their own.
    explicit CMainFrame(CSearchWorker::Procedure worker = nullptr, QWidget* parent = nullptr);
    ~CMainFrame() override;

    HWND Handle() { return &m_target; }

    // ---- Commands and messages ----------------------------------------
    void OnFind();
    void OnStop();
    void OnTimer();
    void OnOption();
    void OnSetup();
    void OnHelpManual();
    void OnAppAbout();
    LRESULT OnSearchFinished();
    LRESULT OnResultSelection(WPARAM wParam, LPARAM lParam);
    // Writes the status line (pane 0) and "Files:<count>" (pane 1).
    void SetStatus(std::string text, int count);

    // ---- State, for the panes and the tests ---------------------------
    // The action of a menu, toolbar or popup command (ID_FIND, ...), or null.
    QAction* Command(UINT id) const;
    QMenu* ResultPopupMenu() const { return m_menuResultPopup; }
    QToolBar* ToolBar() const { return m_wndToolBar; }
    QSplitter* Splitter() const { return m_wndSplitter; }
    QSplitter* SplitterTop() const { return m_wndSplitterTop; }
    QSplitter* SplitterBottom() const { return m_wndSplitterBottom; }
    CDirectoryView* FolderPane() const { return m_wndFolderPane; }
    CVarnelView* ResultView() const { return m_wndResultView; }
    CKeywordPanel* KeywordPanel() const;
    CMessagePanel* MessagePanel() const;
    bool IsIdle() const { return m_bIdle; }
    bool IsTimerActive() const { return m_timer.isActive(); }
    unsigned int Ticks() const { return m_nTicks; }
    bool IsWorkerAlive() const { return m_worker.IsAlive(); }
    QString StatusLineText() const;
    QString FilesPaneText() const;
    QString TimePaneText() const;

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    LRESULT OnMessage(UINT message, WPARAM wParam, LPARAM lParam);
    void CreateCommands();
    void CreateMenus();
    void CreateToolBar();
    void CreateStatusBar();
    void CreateClient();
    QAction* AddCommand(UINT id, const QString& text);
    void UpdateCommandStates();
    void SendResultAction(WPARAM action);
    // Stops a running search and waits for its worker, serving its sends.
    void StopAndWaitForWorker();

    QStatusBar* m_wndStatusBar = nullptr;
    QToolBar* m_wndToolBar = nullptr;
    bool m_bCanOpenFile = false;
    bool m_bCanOpenDir = false;
    bool m_bCanCopy = false;
    QSplitter* m_wndSplitter = nullptr;
    QSplitter* m_wndSplitterTop = nullptr;
    QSplitter* m_wndSplitterBottom = nullptr;
    unsigned int m_nTicks = 0;
    bool m_bIdle = true;

    // Set while Find or the close waits for an earlier worker; user input
    // is held back then, but a close request can still arrive.
    bool m_bWaitingForWorker = false;
    bool m_bCloseRequested = false;

    CDirectoryView* m_wndFolderPane = nullptr;
    CVarnelView* m_wndResultView = nullptr;
    CInfoSetupView* m_wndKeywordView = nullptr;
    CMessageView* m_wndMessageView = nullptr;
    QLabel* m_paneStatus = nullptr;
    QLabel* m_paneFiles = nullptr;
    QLabel* m_paneTime = nullptr;
    QMenu* m_menuResultPopup = nullptr;
    QAction* m_actPreview = nullptr;
    std::map<UINT, QAction*> m_commands;
    QTimer m_timer;
    CSearchWorker m_worker;
    CQtMessageTarget m_target;
};
