// Snippets and places of a match report (see snippet.h).
#include "report/snippet.h"

#include "platform/utf8.h"

#include <algorithm>

namespace report {

namespace {

bool IsLowSurrogate(char16_t c)
{
    return c >= 0xDC00 && c <= 0xDFFF;
}

// What a unit of the text becomes on the snippet's one line. Spacing and
// breaks of every kind are one space; Word's optional hyphen shows nothing
// and its non-breaking hyphen is a hyphen; other control characters (C0,
// DEL, C1) would disturb a terminal or a list row and become spaces too.
char32_t Shown(char32_t c, bool& drop)
{
    drop = false;
    if (c == 0x1F) {
        drop = true;
        return 0;
    }
    if (c == 0x1E) return U'-';
    if (c < 0x20 || (c >= 0x7F && c <= 0x9F) || c == 0x2028 || c == 0x2029) return U' ';
    // A lone surrogate cannot be written as UTF-8.
    if (c >= 0xD800 && c <= 0xDFFF) return 0xFFFD;
    return c;
}

}  // namespace

Snippet MakeSnippet(std::u16string_view text, std::size_t start, std::size_t end, std::size_t width)
{
    start = std::min(start, text.size());
    end = std::clamp(end, start, text.size());
    width = std::max<std::size_t>(width, 8);
    // The window: the hit (cut to the width when longer) with as much
    // context on either side as the width leaves, shared evenly.
    std::size_t from = start;
    std::size_t to = std::min(end, start + width);
    std::size_t room = width - (to - from);
    const std::size_t left = std::min(start, room / 2);
    const std::size_t right = std::min(text.size() - to, room - left);
    from -= std::min(start, left + (room - left - right));
    to += right;
    // Never split a surrogate pair at an edge.
    if (from > 0 && IsLowSurrogate(text[from])) --from;
    if (to < text.size() && IsLowSurrogate(text[to])) ++to;

    Snippet out;
    if (from > 0) out.text = "\u2026";
    std::size_t i = from;
    bool lastSpace = false;
    while (i < to) {
        if (i == start) out.hitStart = out.text.size();
        if (i == end) out.hitEnd = out.text.size();
        std::size_t len = 1;
        const char32_t c = CodePointAt(text, i, len);
        bool drop = false;
        const char32_t shown = Shown(c, drop);
        // Runs of spacing inside the hit stay as they are, so the range
        // still covers what was found; elsewhere they fold into one.
        const bool inHit = i >= start && i < end;
        if (!drop && !(shown == U' ' && lastSpace && !inHit)) {
            AppendUtf8(out.text, static_cast<std::uint32_t>(shown));
            lastSpace = shown == U' ';
        }
        i += len;
    }
    if (end >= to) out.hitEnd = out.text.size();
    if (start >= to) out.hitStart = out.text.size();
    if (to < text.size()) out.text += "\u2026";
    return out;
}

TextSpan16 ParagraphAround(std::u16string_view story, std::size_t start, std::size_t end, std::size_t reach)
{
    start = std::min(start, story.size());
    end = std::clamp(end, start, story.size());
    TextSpan16 span{start, end};
    const std::size_t lowest = start > reach ? start - reach : 0;
    while (span.begin > lowest && !IsParagraphEnd(story[span.begin - 1])) --span.begin;
    const std::size_t highest = std::min(story.size(), end + reach);
    // A hit that ends with a paragraph mark keeps it as its last unit.
    while (span.end < highest && !IsParagraphEnd(story[span.end])) ++span.end;
    return span;
}

std::string CellAddress(std::u16string_view sheet, std::uint32_t row, std::uint32_t column)
{
    // Excel quotes a name that is not one plain word, doubling its quotes.
    bool plain = !sheet.empty();
    for (char16_t c : sheet) {
        const bool word = (c >= u'A' && c <= u'Z') || (c >= u'a' && c <= u'z') || (c >= u'0' && c <= u'9') ||
                          c == u'_' || c == u'.' || c > 0x7F;
        if (!word) plain = false;
    }
    if (!sheet.empty() && sheet[0] >= u'0' && sheet[0] <= u'9') plain = false;
    std::u16string name;
    if (!plain) name += u'\'';
    for (char16_t c : sheet) {
        if (c == u'\'') name += u'\'';
        name += c;
    }
    if (!plain) name += u'\'';
    std::string letters;
    std::uint64_t n = std::uint64_t{column} + 1;
    while (n > 0) {
        const std::uint64_t d = (n - 1) % 26;
        letters.insert(letters.begin(), static_cast<char>('A' + d));
        n = (n - 1) / 26;
    }
    return Utf16ToUtf8(name) + "!" + letters + std::to_string(std::uint64_t{row} + 1);
}

}  // namespace report
