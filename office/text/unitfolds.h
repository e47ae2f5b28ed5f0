// The full case folding (casefold.h) of each unit of the Basic Multilingual
// Plane that folds to one unit, as a table: the compared texts fold most
// text a look-up per unit instead of a call into ICU. A block of 256 is
// worked out when a unit of it is first asked about: the whole plane took a
// millisecond, which a search of a few small files notices, and a text
// touches few blocks.
#pragma once

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <mutex>

namespace office {

class UnitFolds {
public:
    static UnitFolds& Instance()
    {
        static UnitFolds folds;
        return folds;
    }

    // Whether `c` folds to one unit (false for a surrogate, and for letters
    // such as "ß" that fold to more).
    bool FoldsToOne(char16_t c)
    {
        if (MaybeFoldsToOne(c)) return true;
        if (m_ready[c >> 8].load(std::memory_order_acquire) == 0) Fill(static_cast<std::size_t>(c >> 8));
        return MaybeFoldsToOne(c);
    }
    // True only for a unit that folds to one; false may stand for a block
    // not worked out yet.
    bool MaybeFoldsToOne(char16_t c) const
    {
        return ((m_toOne[c >> 6].load(std::memory_order_acquire) >> (c & 63)) & 1u) != 0;
    }
    // The folding of a unit this thread found to fold to one (by either
    // test above): a block's bits are published, with release, after its
    // foldings are written.
    char16_t FoldOfOne(char16_t c) const { return m_fold[c]; }

private:
    UnitFolds() = default;
    // Under the lock: a block is worked out once.
    void Fill(std::size_t block);

    std::mutex m_filling;
    std::array<std::atomic<std::uint8_t>, 0x10000 / 256> m_ready{};
    std::array<std::atomic<std::uint64_t>, 0x10000 / 64> m_toOne{};
    std::array<char16_t, 0x10000> m_fold{};
};

}  // namespace office
