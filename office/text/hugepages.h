// Large buffers asked to be backed by huge pages. A buffer of many
// megabytes is written once from start to end into memory the system hands
// out a page at a time on first touch; where page faults are dear (in a
// virtual machine each can cost several microseconds), touching 200 MB of
// text a 4 KB page at a time took more time than decoding it. Asking for
// 2 MB pages makes one fault of five hundred. Only advice: a kernel that
// will not (or a system with huge pages off) changes nothing but the speed.
//
// For the same reason the allocator is asked to keep the memory one
// document freed for the next (KeepFreedMemory).
#pragma once

#include <cstddef>

namespace office {

// Buffers smaller than this are left alone: they are mostly reused
// memory of the allocator, and the whole pages inside them are few.
constexpr std::size_t kHugePageWorthy = std::size_t{4} << 20;

// Advises the whole 2 MB pages inside [data, data + bytes), which must be
// memory this process allocated and has not yet written; nothing for a
// smaller buffer.
void PreferHugePages(const void* data, std::size_t bytes);

// Asks the C library's allocator to keep freed memory of up to
// kKeptFreeBytes for reuse, and to map separately (and give back at once)
// only blocks of kOwnMappingBytes and more. Its default adapts both to the
// largest block freed so far, and after each document of a few hundred
// kilobytes it gave the memory back to the system, only to fault it in
// again, page by page, for the next: on .doc files with many keywords a
// fifth to a third of the processor time. Once per process, before the
// first search.
constexpr std::size_t kKeptFreeBytes = std::size_t{64} << 20;
constexpr std::size_t kOwnMappingBytes = std::size_t{32} << 20;
void KeepFreedMemory();

// Gives the calling thread's part of the allocator huge-page advice for
// its first kWarmHeapBytes, once per thread. A thread that reads documents
// allocates and frees their buffers there over and over; kept by
// KeepFreedMemory, each 4 KB page of it still costs one fault on first
// touch, which on .doc files came to a tenth of the processor time of a
// search with two threads (each has its own part). Advice only: nothing
// is used until touched.
constexpr std::size_t kWarmHeapBytes = std::size_t{8} << 20;
void WarmThreadHeap();

// buffer.reserve(units), with huge pages asked for when that allocated.
template <class Buffer>
void ReserveLarge(Buffer& buffer, std::size_t units)
{
    const auto* before = buffer.data();
    buffer.reserve(units);
    if (buffer.data() != before) PreferHugePages(buffer.data(), buffer.capacity() * sizeof(*buffer.data()));
}

}  // namespace office
