// Optional and non-breaking hyphens as each Word reader delivers them. The
// Find engine works on Word's own convention: an optional (soft) hyphen is
// the character 0x1F in the story, a non-breaking hyphen 0x1E; a reader may
// also pass a soft hyphen on as U+00AD where the file holds that character.
// One table over every format, each document written by the test, read
// through the loader as a search opens it.
#include "office/word/wordloader.h"
#include "tests/office/docfixture.h"
#include "tests/office/zipfixture.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using office::ByteView;
using office::WordContent;

namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes Ascii(const std::string& s) { return Bytes(s.begin(), s.end()); }

Bytes Docx(const std::string& runs)
{
    const std::string rels =
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?><Relationships "
        "xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\"><Relationship Id=\"rId1\" "
        "Type=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships/officeDocument\" "
        "Target=\"word/document.xml\"/></Relationships>";
    const std::string document =
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?><w:document "
        "xmlns:w=\"http://schemas.openxmlformats.org/wordprocessingml/2006/main\"><w:body><w:p>" +
        runs + "</w:p></w:body></w:document>";
    return ziptest::BuildZip({{"_rels/.rels", rels}, {"word/document.xml", document}});
}

Bytes Word97(const std::u16string& text, bool compressed)
{
    docbin::Word97 d;
    if (compressed) {
        for (char16_t c : text) d.text.push_back(static_cast<std::uint8_t>(c));
    } else {
        d.text = docbin::Utf16(text);
    }
    d.pieces = {{static_cast<std::uint32_t>(text.size()), docbin::Word97::kTextAt, compressed}};
    d.ccp[0] = static_cast<std::uint32_t>(text.size());
    return d.Build();
}

Bytes Word6(const std::string& text)
{
    docbin::Word6 d;
    d.text = docbin::Latin(text);
    d.ccp[0] = static_cast<std::uint32_t>(text.size());
    return d.Build();
}

struct Case {
    const char* format;
    Bytes bytes;
    std::u16string main;  // the main story exactly as the reader delivers it
};

// "Hyphen" + optional hyphen + "ation", and where the format has one,
// "non" + non-breaking hyphen + "breaking".
std::vector<Case> Cases()
{
    return {
        {".doc, Unicode piece", Word97(u"Hyphen\x1F" u"ation non\x1E" u"breaking\r", false),
         u"Hyphen\x1F" u"ation non\x1E" u"breaking\r"},
        {".doc, 8-bit piece", Word97(u"Hyphen\x1F" u"ation non\x1E" u"breaking\r", true),
         u"Hyphen\x1F" u"ation non\x1E" u"breaking\r"},
        {".doc, Word 6", Word6("Hyphen\x1F" "ation non\x1E" "breaking\r"), u"Hyphen\x1F" u"ation non\x1E" u"breaking\r"},
        {".docx, hyphen elements",
         Docx("<w:r><w:t>Hyphen</w:t><w:softHyphen/><w:t xml:space=\"preserve\">ation non</w:t><w:noBreakHyphen/>"
              "<w:t>breaking</w:t></w:r>"),
         u"Hyphen\x1F" u"ation non\x1E" u"breaking\r"},
        {".docx, U+00AD in the text", Docx("<w:r><w:t>Hyphen\xC2\xAD" "ation</w:t></w:r>"), u"Hyphen\u00AD" u"ation\r"},
        {".rtf, control symbols", Ascii("{\\rtf1 Hyphen\\-ation non\\_breaking\\par}"),
         u"Hyphen\x1F" u"ation non\x1E" u"breaking\r"},
        {".rtf, 8-bit byte", Ascii("{\\rtf1\\ansi Hyphen\\'adation\\par}"), u"Hyphen\u00AD" u"ation\r"},
        {".rtf, Unicode escape", Ascii("{\\rtf1 Hyphen\\u173-ation\\par}"), u"Hyphen\u00AD" u"ation\r"},
        {"web page, entity", Ascii("<html><body><p>Hyphen&shy;ation</p></body></html>"), u"Hyphen\x1F" u"ation\r"},
        {"web page, character", Ascii("<html><body><p>Hyphen\xC2\xAD" "ation</p></body></html>"),
         u"Hyphen\x1F" u"ation\r"},
        {"web page, preformatted", Ascii("<html><body><pre>Hyphen&shy;ation</pre></body></html>"),
         u"Hyphen\x1F" u"ation\r"},
        {"text, UTF-8", Ascii("Hyphen\xC2\xAD" "ation\n"), u"Hyphen\u00AD" u"ation\r"},
        {"text, Windows-1252", Ascii("Hyphen\xAD" "ation caf\xE9\n"), u"Hyphen\u00AD" u"ation caf\u00E9\r"},
        {"text, UTF-16", docbin::Utf16(u"\uFEFFHyphen\u00AD" u"ation\n"), u"Hyphen\u00AD" u"ation\r"},
    };
}

TEST(WordHyphens, EachReaderDeliversWordsHyphenCharacters)
{
    for (const Case& c : Cases()) {
        SCOPED_TRACE(c.format);
        WordContent content;
        std::string error;
        ASSERT_TRUE(office::LoadWordContent(ByteView(c.bytes.data(), c.bytes.size()), content, error)) << error;
        ASSERT_FALSE(content.stories.empty());
        const std::u16string& text = content.stories[0].text;
        EXPECT_EQ(text, c.main);
        // Whatever the format, the word is one word with an optional hyphen
        // inside: nothing else stands between its halves.
        const std::size_t at = text.find(u"Hyphen");
        ASSERT_NE(at, std::u16string::npos);
        ASSERT_GT(text.size(), at + 7);
        const char16_t soft = text[at + 6];
        EXPECT_TRUE(soft == 0x1F || soft == 0xAD) << static_cast<int>(soft);
        EXPECT_EQ(text.compare(at + 7, 5, u"ation"), 0);
    }
}

}  // namespace
