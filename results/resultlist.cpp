// The result list's messages, mouse handling and file actions (see
// resultlist.h).
#include "results/resultlist.h"

#include "kestrel/searchcommon.h"
#include "platform/stringtable.h"
#include "results/clipboardfiles.h"
#include "results/desktopopener.h"
#include "search/searchcontext.h"
#include "search/settingsstore.h"

#include <sys/stat.h>

#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QHeaderView>
#include <QMimeData>
#include <QMouseEvent>
#include <QSortFilterProxyModel>

#include <algorithm>
#include <cstring>

namespace {

QByteArray BoundedBytes(const char* text, std::size_t capacity)
{
    // The record comes from the worker: never read past its field.
    const void* end = std::memchr(text, '\0', capacity);
    const std::size_t length = end != nullptr ? static_cast<std::size_t>(static_cast<const char*>(end) - text)
                                              : capacity;
    return QByteArray(text, static_cast<qsizetype>(length));
}

std::string ToStd(const QByteArray& bytes)
{
    return std::string(bytes.constData(), static_cast<std::size_t>(bytes.size()));
}

}  // namespace

CResultList::CResultList(QWidget* parent)
    : QTreeView(parent), m_model(new CResultModel(this)), m_proxy(new QSortFilterProxyModel(this)),
      m_target(this, [this](UINT message, WPARAM wParam, LPARAM lParam) { return OnMessage(message, wParam, lParam); })
{
    setObjectName(QStringLiteral("IDC_RESULT_LIST"));
    setAccessibleName(QString::fromLocal8Bit(LoadString(IDS_NAME_RESULT_LIST)));
    m_proxy->setSourceModel(m_model);
    m_proxy->setSortRole(CResultModel::kSortRole);
    m_proxy->setSortCaseSensitivity(Qt::CaseInsensitive);
    setModel(m_proxy);
    setRootIsDecorated(false);
    setItemsExpandable(false);
    setUniformRowHeights(true);
    setAllColumnsShowFocus(true);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setExpandsOnDoubleClick(false);
    setContextMenuPolicy(Qt::DefaultContextMenu);
    setIconSize(QSize(16, 16));
    header()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    // The path column takes whatever width the pane has left.
    header()->setStretchLastSection(true);
    // No sort column: rows show in the order they were added until a header
    // is clicked.
    header()->setSortIndicator(-1, Qt::AscendingOrder);
    setSortingEnabled(true);
    SetDefaultColumnWidths();
}

void CResultList::SetDefaultColumnWidths()
{
    // 120, 80 and 340 pixels, but never so narrow that a header's text (and
    // the room for its sort arrow) is cut in the font this desktop uses.
    static constexpr int kWidths[CResultModel::COLUMN_COUNT] = {120, 80, 340};
    for (int column = 0; column < CResultModel::COLUMN_COUNT; ++column)
        setColumnWidth(column, std::max(kWidths[column], header()->sectionSizeHint(column)));
}

CResultList::~CResultList()
{
    HWND self = &m_target;
    g_hWndResultList.compare_exchange_strong(self, nullptr);
}

void CResultList::InitColumns()
{
    SetDefaultColumnWidths();
    g_hWndResultList = &m_target;
}

LRESULT CResultList::OnMessage(UINT message, WPARAM wParam, LPARAM)
{
    switch (message) {
    case WM_ADD_RESULT: OnAddResult(); break;
    case WM_CLEAR_RESULTS: OnClearResults(); break;
    case WM_RESULT_ACTION: OnResultAction(wParam); break;
    case WM_ENABLE_RESULT_ACTIONS: m_bActionsEnabled = wParam != 0 ? 1 : 0; break;
    default: break;
    }
    return 0;
}

void CResultList::OnAddResult()
{
    CResultRow row;
    row.fileName = BoundedBytes(g_resultFileInfo.szFileName, sizeof g_resultFileInfo.szFileName);
    row.filePath = BoundedBytes(g_resultFileInfo.szFilePath, sizeof g_resultFileInfo.szFilePath);
    row.fileNameText = QString::fromLocal8Bit(row.fileName);
    row.filePathText = QString::fromLocal8Bit(row.filePath);
    row.matchDegree = g_resultFileInfo.nMatchDegree;
    row.fileKind = g_resultFileInfo.nFileKind;
    // The keyword array stays as it is while the search runs; the first row
    // takes its copy for the tooltip and the preview.
    const long keywords =
        std::min<long>(g_arrKeywords.GetSize(), static_cast<long>(std::size(g_resultFileInfo.nKeywordFound)));
    if (m_model->TotalRows() == 0) {
        std::vector<std::string> texts;
        for (long i = 0; i < keywords; ++i) texts.push_back(kestrel::KeywordText(g_arrKeywords[i]));
        m_model->SetSearch(std::move(texts), g_conditions.Snapshot());
    }
    for (long i = 0; i < keywords; ++i) row.keywordFound.append(g_resultFileInfo.nKeywordFound[i] != 0 ? 1 : 0);
    struct stat st {};
    if (::stat(row.filePath.constData(), &st) == 0) {
        row.fileSize = static_cast<qint64>(st.st_size);
        row.fileMtimeNs = static_cast<qint64>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
    }
    m_model->Append(std::move(row));
    ++g_nResultCount;
}

void CResultList::OnClearResults()
{
    g_nResultCount = 0;
    m_model->Clear();
    // A new search shows its rows in the order they are found.
    sortByColumn(-1, Qt::AscendingOrder);
}

void CResultList::OnResultAction(WPARAM action)
{
    if (!m_bActionsEnabled || m_nHitItem < 0) return;
    m_model->Flush();
    switch (action) {
    case ACTION_OPEN_FILES: OpenSelectedFiles(); break;
    case ACTION_OPEN_FOLDERS: OpenSelectedFolders(); break;
    case ACTION_COPY_FILES: CopyFilesToClipboard(); break;
    default: break;
    }
}

std::vector<int> CResultList::SelectedSourceRows() const
{
    std::vector<int> proxyRows;
    if (selectionModel() == nullptr) return proxyRows;
    const QModelIndexList selected = selectionModel()->selectedRows(CResultModel::COLUMN_NAME);
    proxyRows.reserve(static_cast<std::size_t>(selected.size()));
    for (const QModelIndex& index : selected) proxyRows.push_back(index.row());
    std::sort(proxyRows.begin(), proxyRows.end());
    std::vector<int> sourceRows;
    sourceRows.reserve(proxyRows.size());
    for (int row : proxyRows) {
        const QModelIndex source = m_proxy->mapToSource(m_proxy->index(row, 0));
        if (source.isValid()) sourceRows.push_back(source.row());
    }
    return sourceRows;
}

std::vector<std::string> CResultList::SelectedPaths() const
{
    std::vector<std::string> paths;
    for (int row : SelectedSourceRows()) paths.push_back(ToStd(m_model->Row(row).filePath));
    return paths;
}

void CResultList::OpenSelectedFiles()
{
    for (int row : SelectedSourceRows()) CDesktopOpener::Open(QUrl::fromLocalFile(m_model->Row(row).filePathText));
}

void CResultList::OpenSelectedFolders()
{
    for (int row : SelectedSourceRows()) {
        const CResultRow& r = m_model->Row(row);
        // The folder is the path without the separator and the name.
        const qsizetype cut = r.fileName.size() + 1;
        if (r.filePath.size() < cut) continue;
        QByteArray folder = r.filePath.left(r.filePath.size() - cut);
        if (folder.isEmpty()) folder = "/";  // a file directly in the root
        CDesktopOpener::Open(QUrl::fromLocalFile(QString::fromLocal8Bit(folder)));
    }
}

void CResultList::CopyFilesToClipboard()
{
    if (m_model->TotalRows() == 0) return;
    const std::vector<std::string> paths = SelectedPaths();
    if (paths.empty()) return;
    QMimeData* mime = CClipboardFiles::Build(paths);
    if (mime != nullptr && QApplication::clipboard() != nullptr) QApplication::clipboard()->setMimeData(mime);
    else delete mime;
}

void CResultList::OnRButtonDown(const QPoint& pos)
{
    if (!m_bActionsEnabled) return;
    m_model->Flush();
    const QModelIndex hit = indexAt(pos);
    m_nHitItem = hit.isValid() ? hit.row() : -1;
    // As in a file manager, a right-click on a row that is not selected
    // selects just that row first, so the menu acts on the row under the
    // pointer; on a selected row the selection stays.
    if (hit.isValid() && selectionModel() != nullptr && !selectionModel()->isRowSelected(hit.row(), hit.parent())) {
        selectionModel()->setCurrentIndex(hit, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    }
    const qsizetype selected = selectionModel() != nullptr ? selectionModel()->selectedRows().size() : 0;
    SendMessage(g_hWndMainFrame, WM_RESULT_SELECTION, hit.isValid() ? 1 : 0, static_cast<LPARAM>(selected));
}

void CResultList::OnDblClk(const QPoint& pos)
{
    if (g_bDCOpenFile == 0 || !m_bActionsEnabled) return;
    const QModelIndex hit = indexAt(pos);
    if (!hit.isValid()) return;
    m_nHitItem = hit.row();
    OnResultAction(ACTION_OPEN_FILES);
}

void CResultList::mousePressEvent(QMouseEvent* event)
{
    // The report goes out before the click changes the selection.
    if (event->button() == Qt::RightButton) OnRButtonDown(event->position().toPoint());
    QTreeView::mousePressEvent(event);
}

void CResultList::mouseDoubleClickEvent(QMouseEvent* event)
{
    QTreeView::mouseDoubleClickEvent(event);
    if (event->button() == Qt::LeftButton) OnDblClk(event->position().toPoint());
}

void CResultList::contextMenuEvent(QContextMenuEvent* event)
{
    QPoint global = event->globalPos();
    if (event->reason() == QContextMenuEvent::Keyboard) {
        global = mapToGlobal(QPoint(5, 5));
        // The menu key acts on the current row as a right-click on it would,
        // so the menu's entries are offered without a mouse.
        const QModelIndex current = currentIndex();
        if (current.isValid() && m_bActionsEnabled) OnRButtonDown(visualRect(current).center());
    }
    emit contextMenuRequested(global);
    event->accept();
}

bool CResultList::ReportSelectionForKey()
{
    if (!m_bActionsEnabled || selectionModel() == nullptr) return false;
    m_model->Flush();
    const QModelIndexList selected = selectionModel()->selectedRows();
    if (selected.isEmpty()) return false;
    // The row the key acts "on": the current one when it is selected.
    const QModelIndex current = currentIndex();
    const bool onCurrent = current.isValid() && selectionModel()->isRowSelected(current.row(), current.parent());
    m_nHitItem = onCurrent ? current.row() : selected.front().row();
    SendMessage(g_hWndMainFrame, WM_RESULT_SELECTION, 1, static_cast<LPARAM>(selected.size()));
    return true;
}
