// Taking a lock that is held for a moment at a time (a system call or two,
// a few hundred nanoseconds of list work) by threads that take it all the
// time: the search worker and the read-ahead helpers, once or more per
// file. A thread that finds such a lock taken tries again for a few
// microseconds before it sleeps on it, since sleeping and being woken
// through the kernel (in a virtual machine dearer still) cost both threads
// more than the wait. std::mutex itself sleeps at once.
#pragma once

#include <mutex>

namespace platform {

// Locks `lock`, which must not own its mutex yet.
inline void LockSoon(std::unique_lock<std::mutex>& lock)
{
    for (int i = 0; i < 200; ++i) {
        if (lock.try_lock()) return;
#if defined(__x86_64__) || defined(__i386__)
        __builtin_ia32_pause();
#endif
    }
    lock.lock();
}

inline std::unique_lock<std::mutex> TakeSoon(std::mutex& m)
{
    std::unique_lock lock(m, std::defer_lock);
    LockSoon(lock);
    return lock;
}

}  // namespace platform
