// Full Unicode case folding with a map back to the original (see textfold.h).
#include "office/textfold.h"

#include <unicode/uchar.h>
#include <unicode/ustring.h>
#include <unicode/utf16.h>

#include <limits>
#include <stdexcept>

namespace office {

namespace {

constexpr std::uint32_t kStartBit = 0x80000000u;

// Appends the full case folding of the code point at `text[i]` and returns
// how many original units it covered.
std::size_t FoldOne(std::u16string_view text, std::size_t i, std::u16string& out)
{
    const char16_t c = text[i];
    if (c < 0x80) {
        out.push_back(c >= u'A' && c <= u'Z' ? static_cast<char16_t>(c + 0x20) : c);
        return 1;
    }
    std::size_t len = 1;
    if (U16_IS_LEAD(c) && i + 1 < text.size() && U16_IS_TRAIL(text[i + 1])) len = 2;
    UChar folded[8];
    UErrorCode status = U_ZERO_ERROR;
    const int32_t n = u_strFoldCase(folded, 8, text.data() + i, static_cast<int32_t>(len),
                                    U_FOLD_CASE_DEFAULT, &status);
    if (U_FAILURE(status) || n <= 0 || n > 8) {
        out.append(text.substr(i, len));  // unpaired surrogates and the like stay as they are
    } else {
        out.append(folded, static_cast<std::size_t>(n));
    }
    return len;
}

}  // namespace

FoldedText::FoldedText(std::u16string_view original) : m_originalLength(original.size())
{
    // Offsets are kept in 31 bits; documents are capped far below that.
    if (original.size() >= kStartBit) throw std::length_error("text too long to fold");
    m_folded.reserve(original.size());
    m_origin.reserve(original.size());
    std::size_t i = 0;
    while (i < original.size()) {
        const char16_t c = original[i];
        if (c < 0x80) {
            // Most text is ASCII: one unit in, one unit out.
            m_folded.push_back(c >= u'A' && c <= u'Z' ? static_cast<char16_t>(c + 0x20) : c);
            m_origin.push_back(static_cast<std::uint32_t>(i) | kStartBit);
            ++i;
            continue;
        }
        const std::size_t before = m_folded.size();
        const std::size_t used = FoldOne(original, i, m_folded);
        for (std::size_t k = before; k < m_folded.size(); ++k) {
            m_origin.push_back(static_cast<std::uint32_t>(i) | (k == before ? kStartBit : 0u));
        }
        i += used;
    }
}

std::size_t FoldedText::OriginalStart(std::size_t i) const
{
    if (i >= m_origin.size()) return m_originalLength;
    return m_origin[i] & ~kStartBit;
}

std::size_t FoldedText::OriginalEnd(std::size_t i) const
{
    // The end of a range is where the next character starts.
    std::size_t k = i;
    while (k < m_origin.size() && (m_origin[k] & kStartBit) == 0) ++k;
    return OriginalStart(k);
}

bool FoldedText::IsCharacterEdge(std::size_t i) const
{
    if (i >= m_origin.size()) return true;
    return (m_origin[i] & kStartBit) != 0;
}

std::u16string FullCaseFold(std::u16string_view text)
{
    std::u16string out;
    out.reserve(text.size());
    std::size_t i = 0;
    while (i < text.size()) i += FoldOne(text, i, out);
    return out;
}

}  // namespace office
