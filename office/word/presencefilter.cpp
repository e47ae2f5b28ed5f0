// The unit and pair sets of a story's compared text (see presencefilter.h).
#include "office/word/presencefilter.h"

#include "platform/cancellation.h"

#include <algorithm>

namespace office {

PresenceFilter::PresenceFilter(std::u16string_view text)
{
    constexpr std::size_t kChunk = std::size_t{1} << 20;
    for (std::size_t at = 0; at < text.size(); at += kChunk) {
        if (at != 0) platform::ThrowIfStopRequested();
        const std::size_t end = std::min(text.size(), at + kChunk);
        for (std::size_t i = at; i < end; ++i) {
            const char16_t c = text[i];
            m_units[c >> 6] |= std::uint64_t{1} << (c & 63);
            if (i > 0) {
                const std::uint32_t bit = PairBit(text[i - 1], c);
                m_pairs[bit >> 6] |= std::uint64_t{1} << (bit & 63);
            }
        }
    }
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
