// The stop request of the running search, for the code that works inside one
// file. Stop in the window, closing it, Ctrl+C and SIGTERM in the terminal
// set it; the format readers and the find engines of the built-in Office
// check it in their long loops, so that a search stops within a fraction of
// a second even in the middle of a huge or hostile file. A reader or Find
// that sees it gives up with OperationCancelled; the automation server turns
// that into a failed call, and the driver, seeing the request, logs nothing
// for the abandoned file.
//
// One flag per process, like the running flag it accompanies: there is one
// search at a time. Setting it is async-signal-safe (a lock-free atomic
// store), so a signal handler may call RequestSearchStop.
#pragma once

#include <atomic>
#include <cstdint>
#include <stdexcept>

namespace platform {

// Thrown by ThrowIfStopRequested; caught where a call into the built-in
// Office ends.
class OperationCancelled : public std::runtime_error {
public:
    OperationCancelled() : std::runtime_error("the search was stopped") {}
};

void RequestSearchStop() noexcept;
// Called when a search starts.
void ClearSearchStop() noexcept;
bool IsSearchStopRequested() noexcept;
void ThrowIfStopRequested();

// A stop request of the calling thread's own while the scope lives; the
// flag must outlive it. Readers and Find give up on it as on the search's.
// With Mode::Also the thread gives up on its own request or the search's (a
// helper reading ahead for the search); with Mode::Instead on its own only
// (the preview of one result: a newer selection makes it useless, a Stop of
// the search must not break it).
class ThreadStopScope {
public:
    enum class Mode { Also, Instead };
    // The calling thread's request, for a reader that hands part of its
    // work to threads of its own; a scope made from it gives them the same.
    struct Request {
        const std::atomic<bool>* flag = nullptr;
        Mode mode = Mode::Also;
    };
    ThreadStopScope(const std::atomic<bool>& flag, Mode mode) noexcept;
    explicit ThreadStopScope(Request request) noexcept;
    ~ThreadStopScope();
    ThreadStopScope(const ThreadStopScope&) = delete;
    ThreadStopScope& operator=(const ThreadStopScope&) = delete;
    static Request Current() noexcept;

private:
    Request m_previous;
};

// How many times the request has been looked at in this process, so that a
// test can tell that a long loop looks often enough: exact for the calling
// thread's own looks, up to 63 behind for each other thread's.
std::uint64_t StopRequestLooks() noexcept;

// For a loop whose steps are cheap: looks at the flag only every
// `interval` calls, so the check costs next to nothing per step.
class StopCheck {
public:
    explicit StopCheck(std::uint32_t interval = 4096) : m_interval(interval == 0 ? 1 : interval) {}
    void operator()()
    {
        if (++m_count >= m_interval) {
            m_count = 0;
            ThrowIfStopRequested();
        }
    }

private:
    std::uint32_t m_interval;
    std::uint32_t m_count = 0;
};

}  // namespace platform
