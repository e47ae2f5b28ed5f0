// Code page choice for Word 6.0/95 text (see doc6codepage.h).
#include "office/word/doc6codepage.h"

#include "office/word/docbytes.h"
#include "office/word/doccodepage.h"

#include <map>
#include <vector>

namespace office {

namespace {

// A font table of more entries than this is damaged; it bounds the walk.
constexpr std::size_t kMaxFonts = 4096;

// The character set of every font entry, in font-index order. A font entry
// starts with its length less one; the charset is its fifth byte.
std::vector<std::uint8_t> FontCharsets(const DocFib& fib, ByteView doc)
{
    std::vector<std::uint8_t> charsets;
    if (fib.lcbSttbfFfn < 2 || !docbytes::Fits(doc, fib.fcSttbfFfn, fib.lcbSttbfFfn)) return charsets;
    const ByteView table = doc.subspan(fib.fcSttbfFfn, fib.lcbSttbfFfn);
    std::uint16_t declared = 0;
    docbytes::U16(table, 0, declared);
    const std::size_t end = std::min<std::size_t>(table.size(), declared);
    std::size_t pos = 2;
    while (pos < end && charsets.size() < kMaxFonts) {
        const std::size_t len = std::size_t{table[pos]} + 1;
        if (len < 6 || pos + len > end) break;
        charsets.push_back(table[pos + 4]);
        pos += len;
    }
    return charsets;
}

// Font index of the style sheet's default font, or -1.
int DefaultFont(const DocFib& fib, ByteView doc)
{
    if (!docbytes::Fits(doc, fib.fcStshf, fib.lcbStshf)) return -1;
    const ByteView stsh = doc.subspan(fib.fcStshf, fib.lcbStshf);
    std::uint16_t cbStshi = 0;
    std::uint16_t ftc = 0;
    // The style sheet header is prefixed by its length; the default font
    // index is its seventh 16-bit field.
    if (!docbytes::U16(stsh, 0, cbStshi) || cbStshi < 14 || !docbytes::U16(stsh, 2 + 12, ftc)) return -1;
    return ftc;
}

}  // namespace

int CodePageForCharset(std::uint8_t charset)
{
    switch (charset) {
    case 128: return 932;   // Shift-JIS
    case 129: return 949;   // Hangul
    case 134: return 936;   // GB2312
    case 136: return 950;   // Big5
    case 161: return 1253;  // Greek
    case 162: return 1254;  // Turkish
    case 163: return 1258;  // Vietnamese
    case 177: return 1255;  // Hebrew
    case 178: return 1256;  // Arabic
    case 186: return 1257;  // Baltic
    case 204: return 1251;  // Cyrillic
    case 222: return 874;   // Thai
    case 238: return 1250;  // Central European
    default: return 0;
    }
}

int Word6CodePage(const DocFib& fib, ByteView doc)
{
    const int byLanguage = CodePageForLanguage(fib.lid);
    if (byLanguage != 1252) return byLanguage;
    const std::vector<std::uint8_t> charsets = FontCharsets(fib, doc);
    const int def = DefaultFont(fib, doc);
    if (def >= 0 && static_cast<std::size_t>(def) < charsets.size()) {
        const int cp = CodePageForCharset(charsets[static_cast<std::size_t>(def)]);
        if (cp != 0) return cp;
    }
    // Otherwise the script most of the fonts are for, if any is not Western.
    std::map<int, int> votes;
    for (std::uint8_t cs : charsets) {
        const int cp = CodePageForCharset(cs);
        if (cp != 0) ++votes[cp];
    }
    int best = 1252;
    int bestVotes = 0;
    for (const auto& [cp, n] : votes) {
        if (n > bestVotes) {
            best = cp;
            bestVotes = n;
        }
    }
    return best;
}

}  // namespace office
