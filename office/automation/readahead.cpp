// The read-ahead service of the built-in Office (see readahead.h).
#include "office/automation/readahead.h"

#include "office/containers/filebytes.h"
#include "office/excel/workbookloader.h"
#include "office/word/replacementsahead.h"
#include "office/word/wordloader.h"
#include "platform/cancellation.h"
#include "platform/fileapi.h"
#include "platform/shortlock.h"

#include <sys/stat.h>

#include <algorithm>

namespace office {

bool StampOf(const std::string& path, FileStamp& out)
{
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode) || st.st_size < 0) return false;
    out.size = static_cast<std::uint64_t>(st.st_size);
    out.modifiedNs = static_cast<std::int64_t>(st.st_mtim.tv_sec) * 1'000'000'000 + st.st_mtim.tv_nsec;
    return true;
}

namespace {

bool SameFile(const platform::ReadAheadItem& a, const platform::ReadAheadItem& b)
{
    return a.workbook == b.workbook && a.path == b.path;
}

}  // namespace

CReadAhead::~CReadAhead()
{
    Stop();
}

CReadAhead& CReadAhead::Instance()
{
    // Never destroyed: a service torn down at exit could meet a late call.
    static CReadAhead* service = new CReadAhead;
    return *service;
}

void CReadAhead::Start(unsigned helpers)
{
    Stop();
    m_views = 0;
    m_filters = 0;
    const std::lock_guard lock(m_lock);
    m_noted = false;
    m_calls.reset();
    m_finds.reset();
    m_logsVersion.fetch_add(1, std::memory_order_release);
    if (helpers > 0) {
        const std::lock_guard disposals(m_disposals->lock);
        m_disposals->open = true;
    }
    for (unsigned i = 0; i < helpers; ++i) {
        ++m_live;  // counted from here, so that a caller sees it at once
        m_helpers.emplace_back([this] { HelperLoop(); });
    }
}

void CReadAhead::Stop()
{
    std::vector<std::thread> helpers;
    {
        const std::lock_guard lock(m_lock);
        m_stopping = true;
        for (const auto& job : m_jobs) job->cancel = true;
        helpers.swap(m_helpers);
    }
    m_work.notify_all();
    for (std::thread& t : helpers) t.join();
    {
        const std::lock_guard disposals(m_disposals->lock);
        m_disposals->open = false;
    }
    FreeDisposals();
    const std::lock_guard lock(m_lock);
    m_jobs.clear();
    m_stopping = false;
}

namespace {

// Set on the helper threads: a model the search thread read itself (while
// it waited for a helper) is freed where it is released, as without them.
thread_local bool t_helper = false;

}  // namespace

template <class Model>
std::shared_ptr<Model> CReadAhead::FreedByHelpers(std::shared_ptr<Model> model) const
{
    if (!model || !t_helper) return model;
    Model* const raw = model.get();
    // The new owner's last release hands the model itself to the queue.
    return std::shared_ptr<Model>(raw, [queue = m_disposals, held = std::shared_ptr<void>(std::move(model))](Model*) {
        std::shared_ptr<void> last = held;
        std::unique_lock lock(queue->lock);
        if (queue->open) {
            queue->items.push_back(std::move(last));
            queue->any.store(true, std::memory_order_relaxed);
        }
        // (Otherwise `last` and `held` free it here, after the lock.)
    });
}

void CReadAhead::FreeDisposals()
{
    // The list handed back keeps its room, so that queueing a model does
    // not allocate.
    thread_local std::vector<std::shared_ptr<void>> items;
    {
        const std::lock_guard lock(m_disposals->lock);
        items.swap(m_disposals->items);
        m_disposals->any.store(false, std::memory_order_relaxed);
    }
    // Freed here, outside the lock.
    items.clear();
}

void CReadAhead::DropLocked(const std::shared_ptr<Job>& job)
{
    // A helper still reading it sees the flag and gives up; its result
    // goes nowhere.
    job->cancel = true;
}

void CReadAhead::Hint(const std::vector<platform::ReadAheadItem>& coming)
{
    std::unique_lock lock(m_lock, std::defer_lock);
    platform::LockSoon(lock);
    if (m_helpers.empty() || m_stopping) return;
    std::deque<std::shared_ptr<Job>> next;
    bool queued = false;
    // Both lists are in walk order, and from one hint to the next the list
    // moves on by a file: each file is looked for from the job after the
    // last one found, and the search wraps only when it is not there.
    std::size_t from = 0;
    for (std::size_t i = 0; i < coming.size() && i <= kMaxFiles; ++i) {
        const platform::ReadAheadItem& item = coming[i];
        const auto same = [&](const auto& job) { return SameFile(job->item, item); };
        auto known = std::find_if(m_jobs.begin() + static_cast<std::ptrdiff_t>(from), m_jobs.end(), same);
        if (known == m_jobs.end()) known = std::find_if(m_jobs.begin(), m_jobs.end(), same);
        if (known != m_jobs.end()) {
            next.push_back(*known);
            from = static_cast<std::size_t>(known - m_jobs.begin()) + 1;
        } else if (i > 0) {
            // (The file about to be opened is not begun now: Open reads it
            // at once itself.)
            auto job = std::make_shared<Job>();
            job->item = item;
            next.push_back(std::move(job));
            queued = true;
        }
    }
    for (const auto& job : next) job->kept = true;
    for (const auto& job : m_jobs)
        if (!job->kept) DropLocked(job);
    for (const auto& job : next) job->kept = false;
    m_jobs = std::move(next);
    // A helper that is awake finds the new job when it asks for the next
    // one: only a sleeping one costs the worker a wake-up call.
    const bool wake = queued && m_sleeping > 0;
    lock.unlock();
    if (wake) m_work.notify_all();
}

std::unique_ptr<ReadAheadResult> CReadAhead::Take(const std::string& path, bool workbook)
{
    std::unique_lock lock(m_lock, std::defer_lock);
    platform::LockSoon(lock);
    const auto at = std::find_if(m_jobs.begin(), m_jobs.end(), [&](const auto& job) {
        return job->item.workbook == workbook && job->item.path == path;
    });
    if (at == m_jobs.end()) return nullptr;
    const std::shared_ptr<Job> job = *at;
    for (auto it = m_jobs.begin(); it != at; ++it) DropLocked(*it);
    m_jobs.erase(m_jobs.begin(), at + 1);
    if (job->state == State::Queued) {
        // Not begun: reading it here is as quick as waiting for a helper.
        job->cancel = true;
        return nullptr;
    }
    // Rather than wait for a helper, read a later file meanwhile.
    while (job->state != State::Done) {
        if (const auto later = NextQueuedLocked()) {
            RunLocked(lock, later);
        } else {
            job->wanted = true;
            m_done.wait(lock);
        }
    }
    if (!job->result) return nullptr;
    lock.unlock();
    // The file as it is now must be the file that was read.
    FileStamp now;
    const bool same = StampOf(path, now) && now == job->stamp;
    platform::LockSoon(lock);
    if (!same) {
        ++m_counts.stale;
        return nullptr;
    }
    ++m_counts.taken;
    return std::move(job->result);
}

CReadAhead::Counts CReadAhead::Statistics() const
{
    const std::lock_guard lock(m_lock);
    Counts counts = m_counts;
    counts.stepsTaken = m_stepsTaken.load(std::memory_order_relaxed);
    counts.answersTaken = m_answersTaken.load(std::memory_order_relaxed);
    return counts;
}

bool CReadAhead::Idle() const
{
    const std::lock_guard lock(m_lock);
    return std::all_of(m_jobs.begin(), m_jobs.end(), [](const auto& job) { return job->state == State::Done; });
}

unsigned CReadAhead::LiveHelpers() const
{
    return m_live.load();
}

std::shared_ptr<CReadAhead::Job> CReadAhead::NextQueuedLocked() const
{
    // Until the search has closed its first document, what it asks of each
    // one is not known, and a document read now would be searched without
    // anything worked out ahead: only the next few are read meanwhile.
    const bool noted = m_noted.load(std::memory_order_relaxed);
    for (std::size_t k = 0; k < m_jobs.size() && (noted || k < kFilesBeforeNoted); ++k) {
        const auto& job = m_jobs[k];
        if (job->state == State::Queued && !job->cancel) return job;
    }
    return nullptr;
}

void CReadAhead::RunLocked(std::unique_lock<std::mutex>& lock, const std::shared_ptr<Job>& job)
{
    job->state = State::Reading;
    lock.unlock();
    Outcome outcome = Outcome::NotRead;
    // The same pre-check the search makes before it opens a file: a file
    // another program holds is not read. The file is read through that same
    // open, whose size and time are the stamp: on small files the calls to
    // the system are a good part of the cost.
    HANDLE probe =
        CreateFileA(job->item.path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (probe == INVALID_HANDLE_VALUE && GetLastError() == ERROR_SHARING_VIOLATION) outcome = Outcome::InUse;
    FileBytesReader file;
    ReadError unread;
    struct stat opened {};
    bool wanted = false;
    if (probe != INVALID_HANDLE_VALUE) {
        const int fd = DescriptorOf(probe, &opened);
        wanted = file.Borrow(fd, opened, unread);
    }
    if (wanted) {
        // The bytes of the files ahead, this one included, stay within the
        // bound; one that does not fit is left to Open.
        platform::LockSoon(lock);
        std::uint64_t held = 0;
        for (const auto& other : m_jobs)
            if (other != job) held += other->bytes;
        wanted = file.Size() <= kMaxBytes - std::min(held, kMaxBytes);
        if (wanted) job->bytes = file.Size();
        lock.unlock();
    }
    if (wanted) {
        const platform::ThreadStopScope stop(job->cancel, platform::ThreadStopScope::Mode::Also);
        try {
            outcome = Read(*job, file) ? Outcome::Read : Outcome::NotRead;
        } catch (const platform::OperationCancelled&) {
            outcome = Outcome::Stopped;
        } catch (...) {
            // Open will meet the same trouble and report it its own way.
            outcome = Outcome::NotRead;
        }
        if (outcome != Outcome::Read && platform::IsSearchStopRequested()) outcome = Outcome::Stopped;
    }
    if (probe != INVALID_HANDLE_VALUE) CloseHandle(probe);
    if (outcome != Outcome::Read) job->result.reset();
    platform::LockSoon(lock);
    if (outcome != Outcome::Read) job->bytes = 0;
    if (outcome == Outcome::Read) ++m_counts.read;
    if (outcome == Outcome::InUse) ++m_counts.inUse;
    if (outcome == Outcome::Stopped) ++m_counts.stopped;
    job->state = State::Done;
    m_done.notify_all();
}

void CReadAhead::HelperLoop()
{
    t_helper = true;
    std::unique_lock lock(m_lock);
    for (;;) {
        // (A look without the lock may miss a model just queued: the next
        // round frees it.)
        if (m_disposals->any.load(std::memory_order_relaxed)) {
            lock.unlock();
            FreeDisposals();
            platform::LockSoon(lock);
        }
        std::shared_ptr<Job> job;
        while (!m_stopping && (job = NextQueuedLocked()) == nullptr) {
            ++m_sleeping;
            m_work.wait(lock);
            --m_sleeping;
        }
        if (m_stopping) break;
        RunLocked(lock, job);
    }
    lock.unlock();
    --m_live;
}

void CReadAhead::NoteViews(const WordDocument& document)
{
    std::uint32_t seen = 0;
    std::uint32_t filters = 0;
    for (std::size_t s = 0; s < document.StoryCount(); ++s) {
        const auto kind = static_cast<unsigned>(document.Kind(s));
        if (kind >= 8) continue;
        for (unsigned v = 0; v < 4; ++v) {
            if (document.HasView(s, v >= 2, (v & 1) != 0)) seen |= std::uint32_t{1} << (kind * 4 + v);
            if (document.HasFilter(s, v >= 2, (v & 1) != 0)) filters |= std::uint32_t{1} << (kind * 4 + v);
        }
    }
    if (!m_noted.load(std::memory_order_relaxed)) {
        std::unique_lock lock(m_lock);
        m_noted = true;
        const bool wake = m_sleeping > 0;
        lock.unlock();
        if (wake) m_work.notify_all();
    }
    // (Written only when something is new: the helpers read them for every
    // file.)
    if ((seen & ~m_views.load(std::memory_order_relaxed)) != 0) m_views.fetch_or(seen, std::memory_order_relaxed);
    if ((filters & ~m_filters.load(std::memory_order_relaxed)) != 0)
        m_filters.fetch_or(filters, std::memory_order_relaxed);
    if (document.StepsTaken() != 0) m_stepsTaken.fetch_add(document.StepsTaken(), std::memory_order_relaxed);
    if (document.AnswersTaken() != 0) m_answersTaken.fetch_add(document.AnswersTaken(), std::memory_order_relaxed);
    // The replacements a search asks first are the same on every document:
    // the last complete log stands for the next documents. So are the
    // keywords searched for after them. Most documents follow the lists
    // they were prepared for, which the comparisons tell at once.
    const Logs& logs = CurrentLogs();
    std::shared_ptr<const std::vector<ReplacementCall>> calls;
    if (document.CallLogComplete() && (!logs.calls || !document.CallLogIs(*logs.calls)))
        calls = std::make_shared<const std::vector<ReplacementCall>>(document.CallLog());
    std::shared_ptr<const WordDocument::FindList> finds;
    if (!logs.finds || !document.FindLogIs(*logs.finds)) {
        WordDocument::FindList log = document.FindLog();
        if (!log.empty()) finds = std::make_shared<const WordDocument::FindList>(std::move(log));
    }
    if (!calls && !finds) return;
    const std::lock_guard lock(m_lock);
    if (calls) m_calls = std::move(calls);
    if (finds) m_finds = std::move(finds);
    m_logsVersion.fetch_add(1, std::memory_order_release);
}

const CReadAhead::Logs& CReadAhead::CurrentLogs() const
{
    // Each thread keeps the lists it saw last, and takes the lock only when
    // they changed since: the lock is otherwise taken for every file.
    thread_local Logs seen;
    if (seen.service != this || seen.version != m_logsVersion.load(std::memory_order_acquire)) {
        const std::lock_guard lock(m_lock);
        seen = {this, m_logsVersion.load(std::memory_order_relaxed), m_calls, m_finds};
    }
    return seen;
}

void CReadAhead::PrepareViews(WordDocument& document, const std::atomic<bool>& wanted) const
{
    if (wanted) return;
    const Logs& logs = CurrentLogs();
    const std::shared_ptr<const std::vector<ReplacementCall>>& calls = logs.calls;
    const std::shared_ptr<const WordDocument::FindList>& finds = logs.finds;
    // With the replacements worked out, what the search compares is the
    // text after them.
    WordDocument* after = calls && !wanted ? PrepareReplacements(document, calls, kMaxReplacedUnits) : nullptr;
    WordDocument& target = after != nullptr ? *after : document;
    const std::uint32_t views = m_views.load(std::memory_order_relaxed);
    const std::uint32_t filters = m_filters.load(std::memory_order_relaxed);
    for (std::size_t s = 0; s < target.StoryCount() && (views != 0 || filters != 0); ++s) {
        const auto kind = static_cast<unsigned>(target.Kind(s));
        const std::u16string_view text = target.Text(s);
        if (kind >= 8 || text.size() > kMaxPreparedUnits) continue;
        // A search that clears spacing replaces tabs and double spaces
        // first, and the views of the text before are dropped unused (on
        // .doc files, most of which have some, building them ahead cost 8%
        // more processor time than without).
        if (after == nullptr &&
            (text.find(u'\t') != std::u16string_view::npos || text.find(u"  ") != std::u16string_view::npos))
            continue;
        // Views and filters left unbuilt are built by the search as it needs
        // them, as without reading ahead.
        if (wanted) return;
        for (unsigned v = 0; v < 4; ++v) {
            const unsigned bit = kind * 4 + v;
            if (((views >> bit) & 1u) != 0) {
                platform::ThrowIfStopRequested();
                target.View(s, v >= 2, (v & 1) != 0);
            }
            if (((filters >> bit) & 1u) != 0) {
                platform::ThrowIfStopRequested();
                target.PrepareFilter(s, v >= 2, (v & 1) != 0);
            }
        }
    }
    // The keywords themselves, on the text they will be searched in: then
    // the search thread mostly looks the answers up. Without the
    // replacements worked out (none asked, or too large), that is the text
    // as read, and the answers hold only if the replacements change nothing.
    if (finds && (calls == nullptr || after != nullptr) && target.Units() <= kMaxAnsweredUnits)
        PrepareAnswers(document, target, finds, wanted);
}

bool CReadAhead::Read(Job& job, FileBytesReader& file)
{
    auto result = std::make_unique<ReadAheadResult>();
    // Read as Open reads it.
    if (job.item.workbook) {
        result->workbook = FreedByHelpers(ReadWorkbookModel(file, job.item.path, result->error));
        result->ok = result->workbook != nullptr;
    } else {
        result->document = FreedByHelpers(ReadWordDocument(file, job.item.path, result->error));
        result->ok = result->document != nullptr;
        if (result->ok) PrepareViews(*result->document, job.wanted);
    }
    // A reader that gave up because of a stop found nothing about the file.
    if (!result->ok && (result->error.kind == ReadErrorKind::Cancelled || platform::IsSearchStopRequested()))
        throw platform::OperationCancelled();
    // The stamp is the file's as it was opened. Bytes that changed while
    // they were read changed its time or size, and Take, which compares it
    // with the file as it is then, sends Open to read the file itself.
    job.stamp = {file.Size(), file.ModifiedNs()};
    job.result = std::move(result);
    return true;
}

}  // namespace office
