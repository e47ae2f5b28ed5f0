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
    if (text.empty()) return;
    m_afterCr = false;
    // One pass that writes straight into the story: a page hands over most
    // of its text here, a character at a time. A run of white space becomes
    // one space before the next visible character, unless that starts a line.
    const std::size_t before = m_out.size();
    m_out.resize(before + 2 * text.size());  // at most a space per character
    char16_t* const base = m_out.data();
    char16_t* w = base + before;
    bool pending = m_pendingSpace;
    for (const char16_t c : text) {
        if (IsFoldedSpace(c)) {
            pending = true;
            continue;
        }
        if (pending) {
            pending = false;
            const bool lineStart = w == base || w[-1] == u'\r' || w[-1] == 0x000B || w[-1] == 0x0007;
            if (!lineStart) *w++ = u' ';
        }
        *w++ = WordCharacter(c);
    }
    m_pendingSpace = pending;
    m_out.resize(static_cast<std::size_t>(w - base));
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
