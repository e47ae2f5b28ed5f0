// The table of characters that keep a text normal (see plainnormalbits.h).
#include "office/text/plainnormalbits.h"

#include "office/text/matchtext.h"

#include <unicode/uchar.h>
#include <unicode/unorm2.h>
#include <unicode/utf16.h>

namespace office {

void PlainNormalBits::Fill(std::size_t block)
{
    for (std::uint32_t c = static_cast<std::uint32_t>(block << 8); c < ((block + 1) << 8); ++c) {
        const auto unit = static_cast<char16_t>(c);
        // Below U+0300 every character is NFC with a boundary before it
        // (held to ICU's tables by the tests).
        const bool plain = c < 0x0300 ||
                           (!U16_IS_SURROGATE(unit) &&
                            u_getIntPropertyValue(static_cast<UChar32>(c), UCHAR_NFC_QUICK_CHECK) == UNORM_YES &&
                            u_getCombiningClass(static_cast<UChar32>(c)) == 0);
        if (plain && !IsIgnorableFormat(c))
            m_bits[c >> 6].fetch_or(std::uint64_t{1} << (c & 63), std::memory_order_relaxed);
    }
    m_ready[block].store(1, std::memory_order_release);
}

}  // namespace office
