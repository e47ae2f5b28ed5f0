// Bounds-checked little-endian reads for the Word binary reader. Every
// offset taken from a file goes through these: a read past the end returns
// false instead of touching memory that is not there.
#pragma once

#include "office/word/wordcontent.h"

#include <cstddef>
#include <cstdint>

namespace office::docbytes {

inline bool Fits(ByteView b, std::uint64_t offset, std::uint64_t length)
{
    return offset <= b.size() && length <= b.size() - offset;
}

inline bool U8(ByteView b, std::uint64_t at, std::uint8_t& v)
{
    if (!Fits(b, at, 1)) return false;
    v = b[static_cast<std::size_t>(at)];
    return true;
}

inline bool U16(ByteView b, std::uint64_t at, std::uint16_t& v)
{
    if (!Fits(b, at, 2)) return false;
    const auto i = static_cast<std::size_t>(at);
    v = static_cast<std::uint16_t>(b[i] | (b[i + 1] << 8));
    return true;
}

inline bool U32(ByteView b, std::uint64_t at, std::uint32_t& v)
{
    if (!Fits(b, at, 4)) return false;
    const auto i = static_cast<std::size_t>(at);
    v = static_cast<std::uint32_t>(b[i]) | (static_cast<std::uint32_t>(b[i + 1]) << 8) |
        (static_cast<std::uint32_t>(b[i + 2]) << 16) | (static_cast<std::uint32_t>(b[i + 3]) << 24);
    return true;
}

}  // namespace office::docbytes
