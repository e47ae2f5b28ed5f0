// Full case folding on ICU (see casefold.h).
#include "office/text/casefold.h"

#include <unicode/uchar.h>
#include <unicode/ustring.h>
#include <unicode/utf16.h>

namespace office {

void AppendFullCaseFold(std::u16string_view text, std::u16string& out)
{
    // ASCII, most of what documents and cells hold, is lowered directly;
    // other stretches go through ICU in pieces on the stack that never
    // split a surrogate pair.
    constexpr std::size_t kPiece = 64;
    // Full folding lengthens a character at most threefold (U+0390 -> 3).
    constexpr std::size_t kPieceOut = kPiece * 3 + 8;
    const std::size_t n = text.size();
    std::size_t i = 0;
    while (i < n) {
        std::size_t j = i;
        while (j < n && text[j] < 0x80) ++j;
        if (j > i) {
            const std::size_t at = out.size();
            out.append(text.substr(i, j - i));
            char16_t* lowered = out.data() + at;
            for (std::size_t k = 0; k < j - i; ++k) {
                const char16_t c = lowered[k];
                lowered[k] = c >= u'A' && c <= u'Z' ? static_cast<char16_t>(c + 0x20) : c;
            }
            i = j;
            continue;
        }
        while (j < n && j - i < kPiece && text[j] >= 0x80) ++j;
        if (j < n && j - i > 1 && U16_IS_LEAD(text[j - 1]) && U16_IS_TRAIL(text[j])) --j;
        UChar folded[kPieceOut];
        UErrorCode status = U_ZERO_ERROR;
        const int32_t len = u_strFoldCase(folded, static_cast<int32_t>(kPieceOut),
                                          reinterpret_cast<const UChar*>(text.data() + i), static_cast<int32_t>(j - i),
                                          U_FOLD_CASE_DEFAULT, &status);
        if (U_FAILURE(status) || len < 0 || static_cast<std::size_t>(len) > kPieceOut) {
            out.append(text.substr(i, j - i));  // left as it is rather than lost
        } else {
            out.append(reinterpret_cast<const char16_t*>(folded), static_cast<std::size_t>(len));
        }
        i = j;
    }
}

std::u16string FullCaseFold(std::u16string_view text)
{
    std::u16string out;
    out.reserve(text.size());
    AppendFullCaseFold(text, out);
    return out;
}

}  // namespace office
