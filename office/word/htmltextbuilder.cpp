// Browser white-space rules over Word's story characters (see htmltextbuilder.h).
#include "office/word/htmltextbuilder.h"

#include <cstdint>

namespace office {

namespace {

// A soft hyphen (&shy;) is Word's optional hyphen, in preformatted text too.
char16_t WordCharacter(char16_t c)
{
    return c == 0x00AD ? char16_t{0x001F} : c;
}

// Space, tab, line feed, form feed and carriage return, one bit each: every
// character of a page's text is asked about.
constexpr std::uint64_t kFoldedSpaces = std::uint64_t{1} << 0x20 | std::uint64_t{1} << 0x09 | std::uint64_t{1} << 0x0A |
                                        std::uint64_t{1} << 0x0C | std::uint64_t{1} << 0x0D;

bool IsFoldedSpace(char16_t c)
{
    return c <= 0x20 && ((kFoldedSpaces >> c) & 1u) != 0;
}

}  // namespace

void HtmlTextBuilder::Text(std::u16string_view text, bool preformatted)
{
    if (preformatted) {
        for (const char16_t c : text) {
            const bool lf = c == u'\n';
            if (!(lf && m_afterCr)) m_out.push_back(lf || c == u'\r' ? u'\r' : WordCharacter(c));
            m_afterCr = c == u'\r';
            m_pendingSpace = false;
        }
        return;
    }
    if (!text.empty()) m_afterCr = false;
    // A word at a time: the characters between two runs of white space go
    // in one append.
    std::size_t i = 0;
    while (i < text.size()) {
        if (IsFoldedSpace(text[i])) {
            m_pendingSpace = true;
            ++i;
            continue;
        }
        std::size_t end = i + 1;
        while (end < text.size() && !IsFoldedSpace(text[end])) ++end;
        if (m_pendingSpace && !AtLineStart()) m_out.push_back(u' ');
        m_pendingSpace = false;
        const std::size_t before = m_out.size();
        m_out.append(text.substr(i, end - i));
        for (std::size_t k = before; k < m_out.size(); ++k) m_out[k] = WordCharacter(m_out[k]);
        i = end;
    }
}

void HtmlTextBuilder::Mark(char16_t mark)
{
    m_pendingSpace = false;
    m_afterCr = false;
    // A cell ends its last paragraph itself, as in Word.
    if (mark == 0x0007 && !m_out.empty() && m_out.back() == u'\r') m_out.pop_back();
    m_out.push_back(mark);
}

void HtmlTextBuilder::EndParagraph()
{
    m_pendingSpace = false;
    m_afterCr = false;
    if (AtLineStart()) return;
    m_out.push_back(u'\r');
}

bool HtmlTextBuilder::AtLineStart() const
{
    if (m_out.empty()) return true;
    const char16_t last = m_out.back();
    return last == u'\r' || last == 0x000B || last == 0x0007;
}

}  // namespace office
