// Which units and pairs of neighbouring units a text holds, as two bit
// sets, so that a search for a fixed piece of text can be answered "not
// there" without reading the text: a piece whose some unit or some pair of
// neighbours is missing from the sets cannot occur. Units are kept exactly;
// pairs share bits through a hash, so a set bit only says "perhaps".
//
// The filter knows nothing of case or normalisation: it answers for the very
// text it was built from, so it is built from the text a matcher compares.
#pragma once

#include <array>
#include <cstdint>
#include <string_view>

namespace office {

class PresenceFilter {
public:
    // Reads `text` once, with a look at the stop request now and then.
    explicit PresenceFilter(std::u16string_view text);

    // False when `piece` cannot occur in the text; true when it may.
    bool MayContain(std::u16string_view piece) const;

private:
    static constexpr std::size_t kWords = 65536 / 64;
    static std::uint32_t PairBit(char16_t a, char16_t b)
    {
        // The top bits of a multiplicative hash spread both units over
        // the whole set.
        const std::uint32_t key = (std::uint32_t{a} << 16) | b;
        return (key * 0x9E3779B1u) >> 16;
    }
    static bool Test(const std::array<std::uint64_t, kWords>& set, std::uint32_t bit)
    {
        return ((set[bit >> 6] >> (bit & 63)) & 1u) != 0;
    }

    std::array<std::uint64_t, kWords> m_units{};
    std::array<std::uint64_t, kWords> m_pairs{};
};

}  // namespace office
