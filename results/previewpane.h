// The preview under the result list: for the selected file, each keyword
// with a mark for found or missing and its first hits (place and snippet,
// the keyword highlighted). Double-clicking a hit opens the file as Open
// File does.
//
// The report is read on a worker thread once the selection has settled
// (a short timer), so moving through the list never waits for a file; a
// newer selection or a new search abandons the report being read (its own
// stop request ends the readers within a fraction of a second) and only
// the last one asked for is ever shown. A file that changed since the
// search (size or modification time) is read again as it is now, and a
// keyword the search found that is gone says so.
#pragma once

#include "kestrel/officerecords.h"
#include "report/matchreport.h"

#include <QTimer>
#include <QWidget>

#include <atomic>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

class QLabel;
class QTreeWidget;
class QTreeWidgetItem;

// What the preview of one result needs, taken from its row.
struct CPreviewRequest {
    std::string path;
    std::int32_t fileKind = 0;
    qint64 fileSize = -1;  // when the search found it
    qint64 fileMtimeNs = 0;
    std::vector<std::string> keywords;
    std::vector<bool> searchFound;  // per keyword
    _FindedConditions conditions{};
};

class CPreviewPane : public QWidget {
    Q_OBJECT
public:
    // How long the selection must stay before the file is read.
    static constexpr int kSettleMs = 150;

    explicit CPreviewPane(QWidget* parent = nullptr);
    ~CPreviewPane() override;

    // Shows the preview of this result once the selection settles.
    void Request(CPreviewRequest request);
    // Nothing to preview (no or several rows selected, a new search).
    void Clear(const QString& why = QString());
    // Whether a double-click on a place may open the file now (the view
    // passes the result list's rule: no file actions while a search runs);
    // unset, it always may.
    void SetMayOpen(std::function<bool()> mayOpen) { m_mayOpen = std::move(mayOpen); }

    QTreeWidget* Tree() const { return m_tree; }
    QLabel* Status() const { return m_status; }
    // The path whose report is shown, empty while none is.
    const std::string& ShownPath() const { return m_shownPath; }
    // Reports started so far, for the tests.
    int Started() const { return m_started; }

    // The View menu's switch, kept under the user's settings.
    static bool LoadSwitch();
    static void SaveSwitch(bool on);

signals:
    // A report was put on show.
    void reportShown();

private:
    struct Job {
        std::atomic<bool> cancel{false};
        std::atomic<bool> done{false};
        std::thread thread;
    };
    void Start();
    void Show(std::uint64_t generation, const report::MatchReport& report, bool changed);
    void CancelJobs();
    std::function<bool()> m_mayOpen;
    void ReapJobs(bool all);
    void OpenHit(QTreeWidgetItem* item);

    QLabel* m_status = nullptr;
    QTreeWidget* m_tree = nullptr;
    QTimer m_settle;
    CPreviewRequest m_pending;
    bool m_hasPending = false;
    CPreviewRequest m_current;
    std::uint64_t m_generation = 0;
    std::vector<std::unique_ptr<Job>> m_jobs;
    std::string m_shownPath;
    int m_started = 0;
};
