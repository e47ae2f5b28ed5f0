// The process-wide stop request (see cancellation.h).
#include "platform/cancellation.h"

namespace platform {

namespace {

// (A line of its own: it is read all the time by every thread.)
alignas(64) std::atomic<bool> g_stopRequested{false};
static_assert(std::atomic<bool>::is_always_lock_free, "a signal handler sets the stop request");
// Looks are counted per thread and added to the total a batch at a time:
// a counter all threads wrote on every look would move its cache line from
// core to core all the time, and with it the flags beside it.
constexpr std::uint32_t kLookBatch = 64;
alignas(64) std::atomic<std::uint64_t> g_looks{0};
// (Initial-exec: a plain thread-pointer access, where the default model of
// a shared library would call into the dynamic loader on every look. The
// library is loaded with the program, never opened later.)
__attribute__((tls_model("initial-exec"))) thread_local std::uint32_t t_looks = 0;
__attribute__((tls_model("initial-exec"))) thread_local ThreadStopScope::Request t_threadStop;

}  // namespace

void RequestSearchStop() noexcept
{
    g_stopRequested.store(true, std::memory_order_relaxed);
}

void ClearSearchStop() noexcept
{
    g_stopRequested.store(false, std::memory_order_relaxed);
}

bool IsSearchStopRequested() noexcept
{
    // Looked at in every long loop; the count only tells a test that a loop
    // looks often.
    if (++t_looks == kLookBatch) {
        t_looks = 0;
        g_looks.fetch_add(kLookBatch, std::memory_order_relaxed);
    }
    // Only this thread's own state and the request itself are read: a
    // count of scopes shared by all threads, changed with every file a
    // read-ahead thread reads, took its cache line away from the search
    // thread's looks all the time.
    const ThreadStopScope::Request own = t_threadStop;
    if (own.flag == nullptr) return g_stopRequested.load(std::memory_order_relaxed);
    if (own.mode == ThreadStopScope::Mode::Instead) return own.flag->load(std::memory_order_relaxed);
    return g_stopRequested.load(std::memory_order_relaxed) || own.flag->load(std::memory_order_relaxed);
}

ThreadStopScope::ThreadStopScope(const std::atomic<bool>& flag, Mode mode) noexcept : m_previous(t_threadStop)
{
    t_threadStop = {&flag, mode};
}

ThreadStopScope::ThreadStopScope(Request request) noexcept : m_previous(t_threadStop)
{
    t_threadStop = request;
}

ThreadStopScope::~ThreadStopScope()
{
    t_threadStop = m_previous;
}

ThreadStopScope::Request ThreadStopScope::Current() noexcept
{
    return t_threadStop;
}

std::uint64_t StopRequestLooks() noexcept
{
    return g_looks.load(std::memory_order_relaxed) + t_looks;
}

void ThrowIfStopRequested()
{
    if (IsSearchStopRequested()) throw OperationCancelled();
}

}  // namespace platform
