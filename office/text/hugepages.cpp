// Huge-page advice for large buffers (see hugepages.h).
#include "office/text/hugepages.h"

#include <sys/mman.h>
#if defined(__GLIBC__)
#include <malloc.h>
#endif

#include <cstdint>

namespace office {

void PreferHugePages(const void* data, std::size_t bytes)
{
#ifdef MADV_HUGEPAGE
    if (data == nullptr || bytes < kHugePageWorthy) return;
    constexpr std::uintptr_t kHuge = std::uintptr_t{2} << 20;
    const auto begin = reinterpret_cast<std::uintptr_t>(data);
    // Only pages wholly inside the buffer: its neighbours are not ours to
    // advise.
    const std::uintptr_t from = (begin + kHuge - 1) & ~(kHuge - 1);
    const std::uintptr_t to = (begin + bytes) & ~(kHuge - 1);
    if (to > from) ::madvise(reinterpret_cast<void*>(from), to - from, MADV_HUGEPAGE);
#else
    (void)data;
    (void)bytes;
#endif
}

void KeepFreedMemory()
{
#if defined(__GLIBC__)
    ::mallopt(M_TRIM_THRESHOLD, static_cast<int>(kKeptFreeBytes));
    ::mallopt(M_MMAP_THRESHOLD, static_cast<int>(kOwnMappingBytes));
#endif
}

}  // namespace office
