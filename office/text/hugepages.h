// Large buffers asked to be backed by huge pages. A buffer of many
// megabytes is written once from start to end into memory the system hands
// out a page at a time on first touch; where page faults are dear (in a
// virtual machine each can cost several microseconds), touching 200 MB of
// text a 4 KB page at a time took more time than decoding it. Asking for
// 2 MB pages makes one fault of five hundred. Only advice: a kernel that
// will not (or a system with huge pages off) changes nothing but the speed.
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

// buffer.reserve(units), with huge pages asked for when that allocated.
template <class Buffer>
void ReserveLarge(Buffer& buffer, std::size_t units)
{
    const auto* before = buffer.data();
    buffer.reserve(units);
    if (buffer.data() != before) PreferHugePages(buffer.data(), buffer.capacity() * sizeof(*buffer.data()));
}

}  // namespace office
