// The result preview (see previewpane.h).
#include "results/previewpane.h"

#include "platform/cancellation.h"
#include "platform/registry.h"
#include "results/desktopopener.h"

#include <QHeaderView>
#include <QLabel>
#include <QTreeWidget>
#include <QUrl>
#include <QVBoxLayout>

#include <sys/stat.h>

namespace {

constexpr const char* kViewKey = "SOFTWARE\\Varnel\\View";
constexpr const char* kPreviewValue = "Preview";
constexpr int kPathRole = Qt::UserRole + 1;

QString Local(const std::string& s)
{
    return QString::fromLocal8Bit(s.data(), static_cast<qsizetype>(s.size()));
}

QString Utf8(const std::string& s)
{
    return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size()));
}

// The snippet as rich text with the hit marked; everything else escaped.
QString Highlighted(const report::MatchHit& hit)
{
    const std::size_t a = std::min(hit.hitStart, hit.snippet.size());
    const std::size_t b = std::clamp(hit.hitEnd, a, hit.snippet.size());
    return Utf8(hit.snippet.substr(0, a)).toHtmlEscaped() +
           QStringLiteral("<span style=\"background-color:#ffe066;font-weight:bold\">") +
           Utf8(hit.snippet.substr(a, b - a)).toHtmlEscaped() + QStringLiteral("</span>") +
           Utf8(hit.snippet.substr(b)).toHtmlEscaped();
}

bool ChangedSince(const CPreviewRequest& r)
{
    struct stat st {};
    if (::stat(r.path.c_str(), &st) != 0) return true;
    const qint64 mtime = static_cast<qint64>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
    return static_cast<qint64>(st.st_size) != r.fileSize || mtime != r.fileMtimeNs;
}

}  // namespace

CPreviewPane::CPreviewPane(QWidget* parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("previewPane"));
    setAccessibleName(QStringLiteral("Preview"));
    setAccessibleDescription(QStringLiteral("Where the keywords are in the selected file"));
    m_status = new QLabel(this);
    m_status->setObjectName(QStringLiteral("previewStatus"));
    m_status->setAccessibleName(QStringLiteral("Preview status"));
    m_status->setTextFormat(Qt::PlainText);
    m_tree = new QTreeWidget(this);
    m_tree->setObjectName(QStringLiteral("previewTree"));
    m_tree->setAccessibleName(QStringLiteral("Keywords and their places"));
    m_tree->setAccessibleDescription(QStringLiteral("Double-click a place to open the file"));
    m_tree->setColumnCount(2);
    m_tree->setHeaderLabels({QStringLiteral("Keyword / place"), QStringLiteral("Snippet")});
    m_tree->header()->setStretchLastSection(true);
    m_tree->setColumnWidth(0, 220);
    m_tree->setUniformRowHeights(true);
    m_tree->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_tree->setExpandsOnDoubleClick(false);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(2, 2, 2, 2);
    layout->setSpacing(2);
    layout->addWidget(m_status);
    layout->addWidget(m_tree, 1);

    m_settle.setSingleShot(true);
    m_settle.setInterval(kSettleMs);
    connect(&m_settle, &QTimer::timeout, this, [this] { Start(); });
    connect(m_tree, &QTreeWidget::itemDoubleClicked, this, [this](QTreeWidgetItem* item, int) { OpenHit(item); });
    Clear();
}

CPreviewPane::~CPreviewPane()
{
    // No report may outlive the pane it would be shown in.
    CancelJobs();
    ReapJobs(true);
}

void CPreviewPane::Request(CPreviewRequest request)
{
    m_pending = std::move(request);
    m_hasPending = true;
    // A report being read is of a row no longer selected.
    CancelJobs();
    ++m_generation;
    m_status->setText(QStringLiteral("Reading %1 ...").arg(Local(m_pending.path)));
    m_settle.start();
}

void CPreviewPane::Clear(const QString& why)
{
    m_settle.stop();
    m_hasPending = false;
    CancelJobs();
    ++m_generation;
    m_tree->clear();
    m_shownPath.clear();
    m_status->setText(why.isEmpty() ? QStringLiteral("Select one result to see where its keywords are.") : why);
}

void CPreviewPane::CancelJobs()
{
    for (auto& job : m_jobs) job->cancel = true;
    ReapJobs(false);
}

void CPreviewPane::ReapJobs(bool all)
{
    for (auto it = m_jobs.begin(); it != m_jobs.end();) {
        if (all || (*it)->done) {
            if ((*it)->thread.joinable()) (*it)->thread.join();
            it = m_jobs.erase(it);
        } else {
            ++it;
        }
    }
}

void CPreviewPane::Start()
{
    if (!m_hasPending) return;
    m_hasPending = false;
    ReapJobs(false);
    m_current = m_pending;
    ++m_started;
    const std::uint64_t generation = m_generation;
    auto job = std::make_unique<Job>();
    Job* raw = job.get();
    CPreviewRequest request = m_current;
    job->thread = std::thread([this, raw, generation, request] {
        report::MatchReport r;
        bool changed = false;
        try {
            // Only this thread sees the request: the search goes on.
            platform::ThreadStopScope scope(raw->cancel, platform::ThreadStopScope::Mode::Instead);
            changed = ChangedSince(request);
            CKeywordArray keys;
            for (const std::string& k : request.keywords) {
                _FindKeyWord w{};
                std::memcpy(w.szKeyword, k.data(), std::min(k.size(), sizeof w.szKeyword - 1));
                keys.Add(w);
            }
            r = report::BuildMatchReport(request.path, request.fileKind, keys, request.conditions);
        } catch (const platform::OperationCancelled&) {
            raw->done = true;
            return;
        } catch (const std::exception& e) {
            r = report::MatchReport();
            r.error = e.what();
        }
        if (!raw->cancel) {
            QMetaObject::invokeMethod(
                this, [this, generation, r, changed] { Show(generation, r, changed); }, Qt::QueuedConnection);
        }
        raw->done = true;
    });
    m_jobs.push_back(std::move(job));
}

void CPreviewPane::Show(std::uint64_t generation, const report::MatchReport& r, bool changed)
{
    ReapJobs(false);
    if (generation != m_generation) return;  // a newer request or a new search
    m_tree->clear();
    m_shownPath = m_current.path;
    const QString path = Local(m_current.path);
    if (!r.opened) {
        m_status->setText(QStringLiteral("%1: cannot be read any more (%2)").arg(path, Utf8(r.error)));
        for (const std::string& k : m_current.keywords) {
            auto* item = new QTreeWidgetItem(
                m_tree, {QStringLiteral("\u2718 ") + Local(k), QStringLiteral("not found in this file any more")});
            item->setData(1, Qt::AccessibleTextRole, item->text(1));
        }
        emit reportShown();
        return;
    }
    m_status->setText(changed ? QStringLiteral("%1 (changed since the search)").arg(path) : path);
    for (std::size_t i = 0; i < r.keywords.size(); ++i) {
        const report::KeywordMatches& k = r.keywords[i];
        const bool searchFound = i < m_current.searchFound.size() && m_current.searchFound[i];
        QString state = k.found ? QStringLiteral("found") : QStringLiteral("missing");
        if (!k.found && searchFound) state = QStringLiteral("not found in this file any more");
        auto* item = new QTreeWidgetItem(
            m_tree, {(k.found ? QStringLiteral("\u2714 ") : QStringLiteral("\u2718 ")) + Local(k.keyword), state});
        item->setData(0, Qt::AccessibleTextRole, Local(k.keyword) + QStringLiteral(", ") + state);
        for (const report::MatchHit& h : k.hits) {
            auto* child = new QTreeWidgetItem(item, {Utf8(h.place), QString()});
            child->setData(0, kPathRole, path);
            child->setData(1, Qt::AccessibleTextRole, Utf8(h.snippet));
            child->setToolTip(1, Utf8(h.snippet));
            // The snippet with its hit marked; the row underneath keeps
            // taking the clicks.
            auto* label = new QLabel(Highlighted(h));
            label->setTextFormat(Qt::RichText);
            label->setAttribute(Qt::WA_TransparentForMouseEvents);
            label->setAccessibleName(Utf8(h.snippet));
            m_tree->setItemWidget(child, 1, label);
        }
        item->setExpanded(true);
    }
    emit reportShown();
}

void CPreviewPane::OpenHit(QTreeWidgetItem* item)
{
    if (item == nullptr || (m_mayOpen && !m_mayOpen())) return;
    const QString path = item->data(0, kPathRole).toString();
    if (!path.isEmpty()) CDesktopOpener::Open(QUrl::fromLocalFile(path));
}

bool CPreviewPane::LoadSwitch()
{
    HKEY key = nullptr;
    if (RegOpenKey(HKEY_CURRENT_USER, kViewKey, &key) != ERROR_SUCCESS) return false;
    BYTE data[4] = {0, 0, 0, 0};
    DWORD size = sizeof data;
    DWORD type = 0;
    const bool on = RegQueryValueEx(key, kPreviewValue, nullptr, &type, data, &size) == ERROR_SUCCESS && size >= 1 &&
                    data[0] != 0;
    RegCloseKey(key);
    return on;
}

void CPreviewPane::SaveSwitch(bool on)
{
    HKEY key = nullptr;
    if (RegCreateKey(HKEY_CURRENT_USER, kViewKey, &key) != ERROR_SUCCESS) return;
    const BYTE data[4] = {static_cast<BYTE>(on ? 1 : 0), 0, 0, 0};
    RegSetValueEx(key, kPreviewValue, 0, REG_DWORD, data, sizeof data);
    RegCloseKey(key);
}
