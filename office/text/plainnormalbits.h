// Which characters of the Basic Multilingual Plane keep a text normal
// (IsPlainNormalCharacter, matchtext.h), a bit per character. The bits are
// worked out from ICU a block of 256 at a time, when a character of the
// block is first asked about: a reader asks about every character past
// ASCII, and a page of Greek or Chinese touches a few blocks only.
#pragma once

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>

namespace office {

class PlainNormalBits {
public:
    static PlainNormalBits& Instance()
    {
        static PlainNormalBits bits;
        return bits;
    }

    bool Has(char16_t c)
    {
        if (MaybeHas(c)) return true;
        if (m_ready[c >> 8].load(std::memory_order_acquire) == 0) Fill(static_cast<std::size_t>(c >> 8));
        return MaybeHas(c);
    }
    // True only for a plain normal character; false may stand for a block
    // not worked out yet. A set bit is an answer whatever the block's
    // state, so a scan looks at the bit alone, and at the block only for a
    // character whose bit is clear.
    bool MaybeHas(char16_t c) const { return ((m_bits[c >> 6].load(std::memory_order_relaxed) >> (c & 63)) & 1u) != 0; }

private:
    PlainNormalBits() = default;
    // Two threads may work out the same block at once; they set the same
    // bits.
    void Fill(std::size_t block);

    std::array<std::atomic<std::uint64_t>, 0x10000 / 64> m_bits{};
    std::array<std::atomic<std::uint8_t>, 0x10000 / 256> m_ready{};
};

}  // namespace office
