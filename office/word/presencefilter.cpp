// The unit and pair sets of a story's compared text (see presencefilter.h).
#include "office/word/presencefilter.h"

#include "platform/cancellation.h"

#include <algorithm>

namespace office {

PresenceFilter::PresenceFilter(std::u16string_view text)
{
    constexpr std::size_t kChunk = std::size_t{1} << 20;
    // Most units of most texts are ASCII, which falls in the sets' first
    // two words: setting their bits in memory unit after unit made each
    // update wait for the one before it, so they are gathered in registers
    // and stored once.
    std::uint64_t low = 0;   // units 0 to 63
    std::uint64_t high = 0;  // units 64 to 127
    for (std::size_t at = 0; at < text.size(); at += kChunk) {
        if (at != 0) platform::ThrowIfStopRequested();
        const std::size_t end = std::min(text.size(), at + kChunk);
        for (std::size_t i = at; i < end; ++i) {
            const char16_t c = text[i];
            const std::uint64_t unit = std::uint64_t{1} << (c & 63);
            low |= c < 64 ? unit : 0;
            high |= c >= 64 && c < 128 ? unit : 0;
            if (c >= 128) m_units[c >> 6] |= unit;
            if (i > 0) {
                const std::uint32_t bit = PairBit(text[i - 1], c);
                m_pairs[bit >> 6] |= std::uint64_t{1} << (bit & 63);
            }
        }
    }
    m_units[0] |= low;
    m_units[1] |= high;
}

bool PresenceFilter::MayContain(std::u16string_view piece) const
{
    for (std::size_t i = 0; i < piece.size(); ++i) {
        if (!Test(m_units, piece[i])) return false;
        if (i > 0 && !Test(m_pairs, PairBit(piece[i - 1], piece[i]))) return false;
    }
    return true;
}

}  // namespace office
