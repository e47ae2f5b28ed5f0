// The built-in Office's read-ahead service: while the worker searches one
// file, helper threads read and parse the next ones the driver named, into
// the same document or workbook model Documents.Open and Workbooks.Open
// build. Open takes that model only when the file's path, size and
// modification time are still those it was read with; otherwise (or when
// nothing was read ahead) it reads the file itself, as without the service.
//
// Bounded: at most kMaxFiles files and kMaxBytes of file bytes are held or
// in progress ahead of the worker.
// A helper checks, as the search's sharing pre-check does, that no other
// program holds the file before reading it (and reads it through that same
// open), and reads nothing the driver did not name. Each read in progress
// has its own stop flag (see platform::ThreadStopScope): a hint that no
// longer names the file, Stop and the search's stop request all end it
// within the readers' usual stop latency.
//
// A worker that finds its file still being read does not wait idle: it
// reads a later file of the list meanwhile, so that with one helper both
// cores parse when parsing is what the search spends its time on.
//
// Nothing here is shared between threads but the job list under m_lock and
// the jobs' atomic flags; a job's result is written by the one thread that
// reads it and read by the worker only after that thread marked it done
// under the lock.
#pragma once

#include "office/containers/readerror.h"
#include "office/excel/workbook.h"
#include "office/word/worddocument.h"
#include "platform/readahead.h"

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace office {

class FileBytesReader;

struct FileStamp {
    std::uint64_t size = 0;
    std::int64_t modifiedNs = 0;
    bool operator==(const FileStamp&) const = default;
};

// The stamp of a regular file (following no link); false otherwise.
bool StampOf(const std::string& path, FileStamp& out);

// What reading one file gave: the model, or the reader's error.
struct ReadAheadResult {
    bool ok = false;
    ReadError error;
    std::shared_ptr<WordDocument> document;
    std::shared_ptr<Workbook> workbook;
};

class CReadAhead : public platform::IReadAhead {
public:
    // Sixty-four files rather than a few: the cost of a file varies tenfold
    // and more from one to the next, and a helper that may keep only a few
    // ahead soon runs out of work behind a large one (on the .doc corpus of
    // bench/threads_compare.sh, one file took a third of the search), while
    // the worker takes over the reading the helper has not begun. With two
    // files ahead the worker read a third to a half of the files itself;
    // with eight, 1.4 to 1.5 cores were busy, with sixty-four about 1.6.
    // The bytes held stay bounded by kMaxBytes whatever the count.
    static constexpr std::size_t kMaxFiles = 64;
    static constexpr std::uint64_t kMaxBytes = std::uint64_t{64} << 20;
    // Files read ahead before the search has closed its first document (see
    // NoteViews).
    static constexpr std::size_t kFilesBeforeNoted = 2;
    // Small files are read ahead too. Handing a 10 KB text file or web page
    // to another thread costs the two threads together more processor time
    // than the worker would spend reading it, but the worker is left only
    // the search itself: on two cores ten thousand such files take about
    // three quarters of the time (bench/textweb_compare.sh). A search that must not
    // take the second core is run with one thread (-j 1, VARNEL_THREADS).

    CReadAhead() = default;
    ~CReadAhead() override;
    CReadAhead(const CReadAhead&) = delete;
    CReadAhead& operator=(const CReadAhead&) = delete;

    // The process's service, the one RegisterBuiltinOffice installs.
    static CReadAhead& Instance();

    void Start(unsigned helpers) override;
    void Hint(const std::vector<platform::ReadAheadItem>& coming) override;
    void Stop() override;

    // What was read of `path` for Word (or for Excel) when the file still
    // has the size and modification time it was read with, else null. A
    // read of it in progress is waited for; one not begun is dropped. Files
    // named before it are dropped too: the driver has passed them. The file
    // is looked at (stat) only when something was read of it.
    std::unique_ptr<ReadAheadResult> Take(const std::string& path, bool workbook);

    // Which compared texts (WordDocument::View) Find built on `document`,
    // noted as it closes: a helper builds the same ones on the documents it
    // reads next (for stories without tabs or double spaces), so that this
    // part of a search is done on its core too.
    // They depend on the text alone, so building them early changes no
    // result; stories longer than kMaxPreparedUnits are left alone (a
    // case-blind search of one may go without the folded copy).
    // It notes too which presence filters Find built, and the replacements
    // the document was asked first (WordDocument::CallLog): a helper works
    // those out ahead on a copy of the next documents (replacementsahead.h)
    // and builds the views and filters on the text after them. Last, it
    // notes the keywords searched for after the replacements
    // (WordDocument::FindLog), whose answers a helper works out too.
    void NoteViews(const WordDocument& document);
    static constexpr std::size_t kMaxPreparedUnits = std::size_t{1} << 20;
    // The most units a document's copies for replacements worked out
    // ahead may hold (the copy and the stories each step changes).
    static constexpr std::size_t kMaxReplacedUnits = std::size_t{4} << 20;
    // The most units a document may hold for the keywords' answers to be
    // worked out ahead: on a longer one the search would soon wait for the
    // helper, which answers keyword after keyword.
    static constexpr std::size_t kMaxAnsweredUnits = std::size_t{1} << 20;

    struct Counts {
        std::uint64_t read = 0;     // files read and parsed ahead (or found unreadable)
        std::uint64_t taken = 0;    // of those, taken by Open
        std::uint64_t stale = 0;    // asked for, but the file had changed since
        std::uint64_t inUse = 0;    // not read: another program held the file
        std::uint64_t stopped = 0;  // reads ended by a stop
        // Replacements and answers worked out ahead that searches took
        // (counted as documents close).
        std::uint64_t stepsTaken = 0;
        std::uint64_t answersTaken = 0;
    };
    Counts Statistics() const;
    // No read queued or in progress.
    bool Idle() const;
    // Helper threads alive now.
    unsigned LiveHelpers() const;

private:
    enum class State { Queued, Reading, Done };
    struct Job {
        platform::ReadAheadItem item;
        State state = State::Queued;
        std::atomic<bool> cancel{false};
        // The worker waits for it: what is left to build after the parse
        // (PrepareViews) is left to the worker, which would otherwise wait.
        std::atomic<bool> wanted{false};
        bool kept = false;                        // by the hint being taken in (under m_lock)
        std::uint64_t bytes = 0;                  // counted against kMaxBytes
        FileStamp stamp;                          // of the bytes read
        std::unique_ptr<ReadAheadResult> result;  // null: nothing usable
    };

    // Models read ahead go back to the helpers to be freed. Freed on the
    // search thread, memory the helper allocated returns to the helper's
    // allocator arena under its lock, which the helper then waits for: on
    // 5,000 small text files freeing them here took a tenth off the search.
    // A model released once no helper runs is freed where it is released.
    struct Disposals {
        std::mutex lock;
        bool open = false;                         // helpers run and will free what is put here
        std::vector<std::shared_ptr<void>> items;  // released, not yet freed
        std::atomic<bool> any{false};              // items is not empty (set and cleared under lock)
    };
    template <class Model>
    std::shared_ptr<Model> FreedByHelpers(std::shared_ptr<Model> model) const;
    void FreeDisposals();

    enum class Outcome { Read, NotRead, InUse, Stopped };
    void HelperLoop();
    std::shared_ptr<Job> NextQueuedLocked() const;
    // Reads `job` with the lock let go meanwhile.
    void RunLocked(std::unique_lock<std::mutex>& lock, const std::shared_ptr<Job>& job);
    // Reads the file through `file`, opened just now.
    bool Read(Job& job, FileBytesReader& file);
    static void DropLocked(const std::shared_ptr<Job>& job);
    void PrepareViews(WordDocument& document, const std::atomic<bool>& wanted) const;

    mutable std::mutex m_lock;
    std::condition_variable m_work;           // a job queued, or stop
    std::condition_variable m_done;           // a job done
    std::deque<std::shared_ptr<Job>> m_jobs;  // in walk order
    std::vector<std::thread> m_helpers;
    unsigned m_sleeping = 0;           // helpers waiting on m_work
    std::atomic<bool> m_noted{false};  // NoteViews was called in this search (set under m_lock)
    bool m_stopping = false;
    std::atomic<unsigned> m_live{0};
    // Four bits per story kind (fold * 2 + keepFormat), as NoteViews saw.
    std::atomic<std::uint32_t> m_views{0};
    std::atomic<std::uint32_t> m_filters{0};                      // the same, for presence filters
    std::shared_ptr<const std::vector<ReplacementCall>> m_calls;  // under m_lock
    std::shared_ptr<const WordDocument::FindList> m_finds;        // under m_lock
    std::atomic<std::uint64_t> m_logsVersion{0};                  // changed with m_calls or m_finds
    struct Logs {
        const CReadAhead* service = nullptr;
        std::uint64_t version = 0;
        std::shared_ptr<const std::vector<ReplacementCall>> calls;
        std::shared_ptr<const WordDocument::FindList> finds;
    };
    // m_calls and m_finds as they are now, kept by the calling thread.
    const Logs& CurrentLogs() const;
    Counts m_counts;  // under m_lock, but for the two below
    std::atomic<std::uint64_t> m_stepsTaken{0};
    std::atomic<std::uint64_t> m_answersTaken{0};
    std::shared_ptr<Disposals> m_disposals = std::make_shared<Disposals>();
};

}  // namespace office
