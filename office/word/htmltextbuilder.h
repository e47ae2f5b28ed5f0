// The visible text of a web page as Word holds it: runs of white space fold
// to one space as a browser shows them (kept as they are in preformatted
// text), paragraphs end with U+000D, line breaks are U+000B, table cells and
// rows end with U+0007, and a soft hyphen becomes Word's optional hyphen.
#pragma once

#include <string>
#include <string_view>

namespace office {

class HtmlTextBuilder {
public:
    explicit HtmlTextBuilder(std::u16string& out) : m_out(out) {}

    void Text(std::u16string_view text, bool preformatted);
    // The same for text in UTF-8, read as AppendUtf8AsUtf16 reads it.
    void TextUtf8(std::string_view utf8, bool preformatted);
    // U+000B (line break) or U+0007 (cell or row end).
    void Mark(char16_t mark);
    void EndParagraph();
    // An element starts or ends: a CR LF pair of preformatted text is one
    // line end only within one run of text.
    void EndRun() { m_afterCr = false; }
    // Every character written so far keeps the text NFC without characters
    // the compared texts leave out (IsPlainNormalCharacter).
    bool Normal() const { return m_normal; }

private:
    bool AtLineStart() const;

    std::u16string& m_out;
    std::u16string m_wide;  // preformatted UTF-8 text, converted (only grows)
    bool m_pendingSpace = false;
    // The last character was a preformatted CR (its LF may come in the
    // parser's next piece of the same text).
    bool m_afterCr = false;
    bool m_normal = true;
};

}  // namespace office
