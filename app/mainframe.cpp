// The main window (see mainframe.h).
#include "app/mainframe.h"

#include "app/aboutdialog.h"
#include "app/appicons.h"
#include "app/elapsedtime.h"
#include "app/framekeys.h"
#include "app/helpmanual.h"
#include "app/varnelview.h"
#include "folders/directoryview.h"
#include "panels/infosetupview.h"
#include "panels/keywordpanel.h"
#include "panels/messagepanel.h"
#include "panels/messageview.h"
#include "platform/stringtable.h"
#include "results/previewpane.h"
#include "results/resultlist.h"
#include "search/searchcontext.h"
#include "search/searchrun.h"
#include "search/settingsstore.h"
#include "settings/optionsheet.h"
#include "settings/setupsheet.h"

#include <QAction>
#include <QCloseEvent>
#include <QDesktopServices>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QSplitter>
#include <QStatusBar>
#include <QToolBar>
#include <QUrl>

namespace {

QString FromLocal(const std::string& text)
{
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

// Width of the "Files:" and time panes of the status bar.
constexpr int kIndicatorWidth = 100;
// Initial sizes of the panes: the upper band's height and the left column's width.
constexpr int kTopBandHeight = 300;
constexpr int kLeftColumnWidth = 200;

}  // namespace

CMainFrame::CMainFrame(CSearchWorker::Procedure worker, QWidget* parent)
    : QMainWindow(parent), m_worker(worker ? std::move(worker) : CSearchWorker::Procedure(&SearchThreadProc)),
      m_target(this, [this](UINT message, WPARAM wParam, LPARAM lParam) { return OnMessage(message, wParam, lParam); })
{
    // The switches are read before any pane exists, so everything built
    // below sees the stored settings.
    LoadSettings();

    setObjectName(QStringLiteral("mainFrame"));
    setWindowTitle(FromLocal(LoadString(IDS_APP_NAME)));
    setWindowIcon(ProgramIcon());

    CreateCommands();
    CreateMenus();
    CreateToolBar();
    CreateStatusBar();
    CreateClient();
    new CFrameKeys(this);

    m_timer.setInterval(kTimerPeriodMs);
    connect(&m_timer, &QTimer::timeout, this, [this] { OnTimer(); });

    UpdateCommandStates();
    resize(900, 640);
}

CMainFrame::~CMainFrame()
{
    // No worker may outlive the panes it sends to.
    StopAndWaitForWorker();
    HWND self = Handle();
    g_hWndMainFrame.compare_exchange_strong(self, nullptr);
}

// ---- Construction ---------------------------------------------------------

QAction* CMainFrame::AddCommand(UINT id, const QString& text)
{
    auto* action = new QAction(text, this);
    // The command's string holds the status-line prompt, then after a line
    // feed the tooltip.
    const std::string prompt = LoadString(id);
    const std::size_t split = prompt.find('\n');
    action->setStatusTip(FromLocal(prompt.substr(0, split)));
    if (split != std::string::npos) action->setToolTip(FromLocal(prompt.substr(split + 1)));
    action->setData(id);
    m_commands[id] = action;
    return action;
}

void CMainFrame::CreateCommands()
{
    QAction* find = AddCommand(ID_FIND, QStringLiteral("Find(&F)"));
    find->setIcon(FindIcon());
    find->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_F));
    find->setShortcutContext(Qt::WindowShortcut);
    connect(find, &QAction::triggered, this, [this] { OnFind(); });

    QAction* stop = AddCommand(ID_STOP, QStringLiteral("Stop(&S)"));
    stop->setIcon(StopIcon());
    connect(stop, &QAction::triggered, this, [this] { OnStop(); });

    QAction* exit = AddCommand(ID_APP_EXIT, QStringLiteral("Exit(&X)"));
    connect(exit, &QAction::triggered, this, &QWidget::close);

    QAction* option = AddCommand(ID_OPTION, QStringLiteral("Option(&O)"));
    connect(option, &QAction::triggered, this, [this] { OnOption(); });
    QAction* setup = AddCommand(ID_SETUP, QStringLiteral("Setup(&S)"));
    connect(setup, &QAction::triggered, this, [this] { OnSetup(); });
    QAction* manual = AddCommand(ID_HELP_MANUAL, QStringLiteral("Help Manual(&M)"));
    connect(manual, &QAction::triggered, this, [this] { OnHelpManual(); });
    QAction* about = AddCommand(ID_APP_ABOUT, QStringLiteral("About Varnel(&A)..."));
    connect(about, &QAction::triggered, this, [this] { OnAppAbout(); });

    // The result list's popup: the frame enables the entries and forwards
    // the choice to the list. Its entries get mnemonics like the menus'.
    QAction* openFile = AddCommand(ID_OPEN_FILE, QStringLiteral("&Open File"));
    connect(openFile, &QAction::triggered, this, [this] { SendResultAction(1); });
    QAction* openDir = AddCommand(ID_OPEN_DIR, QStringLiteral("Open &Directory"));
    connect(openDir, &QAction::triggered, this, [this] { SendResultAction(2); });
    QAction* copy = AddCommand(ID_COPY_FILES, QStringLiteral("&Copy"));
    connect(copy, &QAction::triggered, this, [this] { SendResultAction(3); });
}

void CMainFrame::CreateMenus()
{
    QMenu* file = menuBar()->addMenu(QStringLiteral("File(&F)"));
    file->addAction(m_commands[ID_FIND]);
    file->addAction(m_commands[ID_STOP]);
    file->addSeparator();
    file->addAction(m_commands[ID_APP_EXIT]);

    // The View entries are filled in once the bars exist.
    QMenu* view = menuBar()->addMenu(QStringLiteral("View(&V)"));
    view->setObjectName(QStringLiteral("viewMenu"));

    QMenu* advanced = menuBar()->addMenu(QStringLiteral("Advanced(&A)"));
    advanced->addAction(m_commands[ID_OPTION]);
    advanced->addAction(m_commands[ID_SETUP]);

    QMenu* help = menuBar()->addMenu(QStringLiteral("Help(&H)"));
    help->addAction(m_commands[ID_HELP_MANUAL]);
    help->addAction(m_commands[ID_APP_ABOUT]);

    m_menuResultPopup = new QMenu(this);
    m_menuResultPopup->setObjectName(QStringLiteral("resultPopup"));
    m_menuResultPopup->addAction(m_commands[ID_OPEN_FILE]);
    m_menuResultPopup->addAction(m_commands[ID_OPEN_DIR]);
    m_menuResultPopup->addSeparator();
    m_menuResultPopup->addAction(m_commands[ID_COPY_FILES]);
}

void CMainFrame::CreateToolBar()
{
    m_wndToolBar = new QToolBar(this);
    m_wndToolBar->setObjectName(QStringLiteral("toolBar"));
    m_wndToolBar->setWindowTitle(QStringLiteral("Toolbar"));
    m_wndToolBar->setIconSize(QSize(16, 16));
    m_wndToolBar->setToolButtonStyle(Qt::ToolButtonIconOnly);
    m_wndToolBar->addAction(m_commands[ID_FIND]);
    m_wndToolBar->addAction(m_commands[ID_STOP]);
    addToolBar(Qt::TopToolBarArea, m_wndToolBar);
    // The toolbar's overflow button stays hidden until the bar is too short
    // for its buttons; assistive technology lists it all the same.
    if (auto* more = m_wndToolBar->findChild<QWidget*>(QStringLiteral("qt_toolbar_ext_button")))
        more->setAccessibleName(FromLocal(LoadString(IDS_NAME_TOOLBAR_MORE)));

    QAction* toggle = m_wndToolBar->toggleViewAction();
    toggle->setText(QStringLiteral("Toolbar(&T)"));
    const std::string prompt = LoadString(ID_VIEW_TOOLBAR);
    toggle->setStatusTip(FromLocal(prompt.substr(0, prompt.find('\n'))));
    toggle->setData(ID_VIEW_TOOLBAR);
    m_commands[ID_VIEW_TOOLBAR] = toggle;
}

void CMainFrame::CreateStatusBar()
{
    m_wndStatusBar = statusBar();
    m_wndStatusBar->setObjectName(QStringLiteral("statusBar"));
    m_paneStatus = new QLabel(m_wndStatusBar);
    m_paneStatus->setObjectName(QStringLiteral("statusPane"));
    m_paneFiles = new QLabel(m_wndStatusBar);
    m_paneFiles->setObjectName(QStringLiteral("filesPane"));
    m_paneFiles->setFixedWidth(kIndicatorWidth);
    m_paneTime = new QLabel(m_wndStatusBar);
    m_paneTime->setObjectName(QStringLiteral("timePane"));
    m_paneTime->setFixedWidth(kIndicatorWidth);
    m_wndStatusBar->addWidget(m_paneStatus, 1);
    m_wndStatusBar->addPermanentWidget(m_paneFiles);
    m_wndStatusBar->addPermanentWidget(m_paneTime);
    // When a command's prompt leaves the status line, the idle prompt
    // takes its place until the next refresh.
    connect(m_wndStatusBar, &QStatusBar::messageChanged, this, [this](const QString& message) {
        if (message.isEmpty()) m_paneStatus->setText(FromLocal(LoadString(IDS_IDLE_PROMPT)));
    });

    auto* toggle = new QAction(QStringLiteral("StatusBar(&S)"), this);
    toggle->setCheckable(true);
    toggle->setChecked(true);
    const std::string prompt = LoadString(ID_VIEW_STATUS_BAR);
    toggle->setStatusTip(FromLocal(prompt.substr(0, prompt.find('\n'))));
    toggle->setData(ID_VIEW_STATUS_BAR);
    connect(toggle, &QAction::toggled, m_wndStatusBar, &QWidget::setVisible);
    m_commands[ID_VIEW_STATUS_BAR] = toggle;

    if (auto* view = menuBar()->findChild<QMenu*>(QStringLiteral("viewMenu"))) {
        view->addAction(m_commands[ID_VIEW_TOOLBAR]);
        view->addAction(toggle);
        // The preview of the selected result, off unless switched on before.
        m_actPreview = view->addAction(QStringLiteral("Preview(&P)"));
        m_actPreview->setObjectName(QStringLiteral("previewAction"));
        m_actPreview->setCheckable(true);
        m_actPreview->setData(ID_VIEW_PREVIEW);
        m_commands[ID_VIEW_PREVIEW] = m_actPreview;
        m_actPreview->setStatusTip(QStringLiteral("Show where the keywords are in the selected file"));
    }

    m_paneTime->setText(QStringLiteral("0:0:0.0"));
    SetStatus(std::string(), 0);
}

void CMainFrame::CreateClient()
{
    // Upper band: folder tree | result list; lower band: keywords | log.
    m_wndSplitter = new QSplitter(Qt::Vertical, this);
    m_wndSplitter->setObjectName(QStringLiteral("splitter"));
    m_wndSplitterTop = new QSplitter(Qt::Horizontal, m_wndSplitter);
    m_wndSplitterTop->setObjectName(QStringLiteral("splitterTop"));
    m_wndSplitterBottom = new QSplitter(Qt::Horizontal, m_wndSplitter);
    m_wndSplitterBottom->setObjectName(QStringLiteral("splitterBottom"));

    m_wndFolderPane = new CDirectoryView(m_wndSplitterTop);
    m_wndResultView = new CVarnelView(m_wndSplitterTop);
    // The list asks for the popup; the frame owns it, so the entries
    // follow the frame's enabling and their commands come back here.
    connect(m_wndResultView->List(), &CResultList::contextMenuRequested, this,
            [this](const QPoint& globalPos) { m_menuResultPopup->popup(globalPos); });
    m_wndKeywordView = new CInfoSetupView(m_wndSplitterBottom);
    m_wndMessageView = new CMessageView(m_wndSplitterBottom);
    m_wndSplitterTop->addWidget(m_wndFolderPane);
    m_wndSplitterTop->addWidget(m_wndResultView);
    m_wndSplitterBottom->addWidget(m_wndKeywordView);
    m_wndSplitterBottom->addWidget(m_wndMessageView);

    // The upper band and the left column keep their size when the window
    // is resized; the lower band and the right column take the rest.
    m_wndSplitter->setStretchFactor(0, 0);
    m_wndSplitter->setStretchFactor(1, 1);
    m_wndSplitterTop->setStretchFactor(0, 0);
    m_wndSplitterTop->setStretchFactor(1, 1);
    m_wndSplitterBottom->setStretchFactor(0, 0);
    m_wndSplitterBottom->setStretchFactor(1, 1);
    m_wndSplitter->setSizes({kTopBandHeight, 1});
    m_wndSplitterTop->setSizes({kLeftColumnWidth, 1});
    m_wndSplitterBottom->setSizes({kLeftColumnWidth, 1});
    setCentralWidget(m_wndSplitter);
    if (m_actPreview != nullptr) {
        m_actPreview->setChecked(CPreviewPane::LoadSwitch());
        m_wndResultView->SetPreviewVisible(m_actPreview->isChecked());
        connect(m_actPreview, &QAction::toggled, this, [this](bool on) {
            m_wndResultView->SetPreviewVisible(on);
            CPreviewPane::SaveSwitch(on);
        });
    }

    g_hWndMainFrame = Handle();
}

// ---- Read access ------------------------------------------------------------

QAction* CMainFrame::Command(UINT id) const
{
    const auto found = m_commands.find(id);
    return found == m_commands.end() ? nullptr : found->second;
}

CKeywordPanel* CMainFrame::KeywordPanel() const
{
    return m_wndKeywordView->Panel();
}

CMessagePanel* CMainFrame::MessagePanel() const
{
    return m_wndMessageView->Panel();
}

QString CMainFrame::StatusLineText() const
{
    return m_paneStatus->text();
}

QString CMainFrame::FilesPaneText() const
{
    return m_paneFiles->text();
}

QString CMainFrame::TimePaneText() const
{
    return m_paneTime->text();
}

// ---- Status and enabling --------------------------------------------------

void CMainFrame::SetStatus(std::string text, int count)
{
    m_paneStatus->setText(FromLocal(text));
    m_paneFiles->setText(FromLocal(LoadString(ID_INDICATOR_FILES) + std::to_string(count)));
}

void CMainFrame::UpdateCommandStates()
{
    // While an earlier worker is being waited for, Find is not offered:
    // the wait itself ends in a Find.
    m_commands[ID_FIND]->setEnabled(m_bIdle && !m_bWaitingForWorker);
    m_commands[ID_STOP]->setEnabled(!m_bIdle);
    m_commands[ID_OPEN_FILE]->setEnabled(m_bCanOpenFile);
    m_commands[ID_OPEN_DIR]->setEnabled(m_bCanOpenDir);
    m_commands[ID_COPY_FILES]->setEnabled(m_bCanCopy);
}

// ---- Search control -------------------------------------------------------

void CMainFrame::OnFind()
{
    if (!m_bIdle || m_bWaitingForWorker || m_bCloseRequested) return;

    // A worker stopped by Stop may still be inside a document. It shares
    // the search context, so the new run starts only once it has ended;
    // meanwhile its sends are served and the window keeps painting.
    if (m_worker.IsAlive()) {
        m_bWaitingForWorker = true;
        UpdateCommandStates();
        m_worker.Wait();
        m_bWaitingForWorker = false;
        UpdateCommandStates();
        if (m_bCloseRequested) {
            // The window was closed while we waited: no new search.
            QTimer::singleShot(0, this, &QWidget::close);
            return;
        }
        if (!m_bIdle) return;
    }

    m_bIdle = false;
    UpdateCommandStates();
    BeginSearchRun();
    g_strStatusText.Set(LoadString(IDS_STATUS_INITIALIZING));
    m_timer.start();
    m_nTicks = 0;
    // The previous search's time must not stand until the first tick.
    m_paneTime->setText(FromLocal(FormatElapsedTime(m_nTicks)));
    SendMessage(g_hWndResultList.load(), WM_ENABLE_RESULT_ACTIONS, 0, 0);
    SendMessage(g_hWndMessagePanel.load(), WM_CLEAR_MESSAGES, 0, 0);
    SendMessage(g_hWndResultList.load(), WM_CLEAR_RESULTS, 0, 0);
    SendMessage(g_hWndKeywordPanel.load(), WM_ANALYZE_KEYWORDS, 0, 0);
    if (g_bRunning != 0) SendMessage(g_hWndFolderTree.load(), WM_COLLECT_FOLDERS, 0, 0);
    if (g_bRunning != 0) m_worker.Start();
}

void CMainFrame::OnStop()
{
    if (m_bIdle) return;
    // Also ends a document search in progress, so the worker is gone
    // within a moment instead of after the current file.
    StopSearchRun();
    m_timer.stop();
    m_bIdle = true;
    UpdateCommandStates();
    g_strStatusText.Set(LoadString(IDS_STATUS_COMPLETE));
    SetStatus(g_strStatusText.Get(), g_nResultCount);
    SendMessage(g_hWndResultList.load(), WM_ENABLE_RESULT_ACTIONS, 1, 0);
    LogString(IDS_USER_STOPPED);
}

void CMainFrame::OnTimer()
{
    ++m_nTicks;
    m_paneTime->setText(FromLocal(FormatElapsedTime(m_nTicks)));
    SetStatus(g_strStatusText.Get(), g_nResultCount);
}

LRESULT CMainFrame::OnSearchFinished()
{
    // May arrive twice for one Find (keyword limits, then the worker);
    // every arrival ends in the same idle state.
    m_timer.stop();
    m_bIdle = true;
    UpdateCommandStates();
    g_strStatusText.Set(LoadString(IDS_STATUS_COMPLETE));
    SetStatus(g_strStatusText.Get(), g_nResultCount);
    SendMessage(g_hWndResultList.load(), WM_ENABLE_RESULT_ACTIONS, 1, 0);
    return 0;
}

LRESULT CMainFrame::OnResultSelection(WPARAM wParam, LPARAM lParam)
{
    // Only a press on a row changes what the popup offers.
    if (wParam != 1) return 0;
    m_bCanCopy = true;
    if (lParam == 1) {
        m_bCanOpenFile = true;
        m_bCanOpenDir = true;
    } else {
        m_bCanOpenFile = g_bOpenMultiFiles != 0;
        m_bCanOpenDir = g_bOpenMultiDirs != 0;
    }
    UpdateCommandStates();
    return 0;
}

void CMainFrame::SendResultAction(WPARAM action)
{
    SendMessage(g_hWndResultList.load(), WM_RESULT_ACTION, action, 0);
}

void CMainFrame::StopAndWaitForWorker()
{
    if (!m_worker.IsAlive()) {
        m_worker.Wait();  // joins a worker that has already ended
        return;
    }
    StopSearchRun();
    m_timer.stop();
    m_bWaitingForWorker = true;
    m_worker.Wait();
    m_bWaitingForWorker = false;
}

// ---- Other commands -------------------------------------------------------

void CMainFrame::OnOption()
{
    RunOptionSheet(this);
}

void CMainFrame::OnSetup()
{
    RunSetupSheet(this);
}

void CMainFrame::OnHelpManual()
{
    // The manual is an HTML page installed with the program, shown by the
    // desktop's browser.
    const QString manual = CHelpManual::Locate();
    if (!manual.isEmpty()) QDesktopServices::openUrl(QUrl::fromLocalFile(manual));
    else LogString(IDS_HELP_NOT_FOUND);
}

void CMainFrame::OnAppAbout()
{
    CAboutDlg about(this);
    about.exec();
}

// ---- Messages and closing ---------------------------------------------------

LRESULT CMainFrame::OnMessage(UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_SEARCH_FINISHED: return OnSearchFinished();
    case WM_SHOW_OPTIONS: OnOption(); return 0;
    case WM_RESULT_SELECTION: return OnResultSelection(wParam, lParam);
    default: return 0;
    }
}

void CMainFrame::closeEvent(QCloseEvent* event)
{
    if (m_bWaitingForWorker) {
        // A Find is waiting for an earlier worker: it closes the window as
        // soon as that wait is over.
        m_bCloseRequested = true;
        event->ignore();
        return;
    }
    m_bCloseRequested = true;

    // A running search is stopped and its worker waited for while its
    // messages are still served; none may outlive the window.
    StopAndWaitForWorker();

    if (!SaveSettings()) {
        QMessageBox box(QMessageBox::NoIcon, FromLocal(LoadString(IDS_APP_NAME)),
                        FromLocal(LoadString(IDS_SETTINGS_NOT_SAVED)), QMessageBox::Ok, this);
        box.setObjectName(QStringLiteral("settingsNotSavedBox"));
        box.exec();
    }
    m_bCloseRequested = false;
    event->accept();
}
