// Huge-page advice for large buffers (see hugepages.h).
#include "office/text/hugepages.h"

#include <sys/mman.h>
#if defined(__GLIBC__)
#include <malloc.h>
#endif

#include <cstdint>
#include <cstdlib>

namespace office {

namespace {

// The advice for the whole 2 MB pages inside [begin, begin + bytes).
void AdviseHuge(std::uintptr_t begin, std::size_t bytes)
{
#ifdef MADV_HUGEPAGE
    if (begin == 0 || bytes < kHugePageWorthy) return;
    constexpr std::uintptr_t kHuge = std::uintptr_t{2} << 20;
    // Only pages wholly inside the buffer: its neighbours are not ours to
    // advise.
    const std::uintptr_t from = (begin + kHuge - 1) & ~(kHuge - 1);
    const std::uintptr_t to = (begin + bytes) & ~(kHuge - 1);
    if (to > from) ::madvise(reinterpret_cast<void*>(from), to - from, MADV_HUGEPAGE);
#else
    (void)begin;
    (void)bytes;
#endif
}

}  // namespace

void PreferHugePages(const void* data, std::size_t bytes)
{
    AdviseHuge(reinterpret_cast<std::uintptr_t>(data), bytes);
}

void WarmThreadHeap()
{
    thread_local bool warm = false;
    if (warm) return;
    warm = true;
    // Freed at once, the block goes back to the thread's free memory,
    // which KeepFreedMemory keeps: the advice stays with it.
    void* block = std::malloc(kWarmHeapBytes);
    AdviseHuge(reinterpret_cast<std::uintptr_t>(block), kWarmHeapBytes);
    std::free(block);
}

void KeepFreedMemory()
{
#if defined(__GLIBC__)
    ::mallopt(M_TRIM_THRESHOLD, static_cast<int>(kKeptFreeBytes));
    ::mallopt(M_MMAP_THRESHOLD, static_cast<int>(kOwnMappingBytes));
#endif
}

}  // namespace office
