// The process-wide stop request (see cancellation.h).
#include "platform/cancellation.h"

namespace platform {

namespace {

std::atomic<bool> g_stopRequested{false};
static_assert(std::atomic<bool>::is_always_lock_free, "a signal handler sets the stop request");
std::atomic<std::uint64_t> g_looks{0};
thread_local ThreadStopScope::Request t_threadStop;

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
    g_looks.fetch_add(1, std::memory_order_relaxed);
    if (t_threadStop.flag != nullptr && t_threadStop.mode == ThreadStopScope::Mode::Instead)
        return t_threadStop.flag->load(std::memory_order_relaxed);
    if (g_stopRequested.load(std::memory_order_relaxed)) return true;
    return t_threadStop.flag != nullptr && t_threadStop.flag->load(std::memory_order_relaxed);
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
    return g_looks.load(std::memory_order_relaxed);
}

void ThrowIfStopRequested()
{
    if (IsSearchStopRequested()) throw OperationCancelled();
}

}  // namespace platform
