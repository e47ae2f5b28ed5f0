// Every document in tests/data/word through every reader that can read it,
// from one table of what each story must and must not hold; then the text
// and web page readers on small inputs, and the loader's choice of reader by
// a file's content and by a web page's name.
#include "office/containers/htmlpage.h"
#include "office/word/docstorytext.h"
#include "tests/office/docfixture.h"
#include "tests/office/wordfixture.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <random>
#include <tuple>

namespace office {
namespace {

using namespace wordfix;
using excelfixtures::Utf16;

// ---- The fixtures, through every reader -----------------------------------------

// `count` times in the story of `kind` (0: not in it).
struct Expect {
    StoryKind kind;
    std::u16string text;
    int count = 1;
};

struct FixtureRow {
    const char* file;
    std::vector<Reader> readers;  // besides LoadWordFile, which reads every row
    std::vector<Expect> expect;
    std::vector<std::u16string> nowhere;  // in no story
};

// The stories document, saved by an office suite in each Word format: every
// story kind, special characters, a table, fields, notes, a text box.
std::vector<Expect> Stories()
{
    using K = StoryKind;
    std::vector<Expect> e = {
        {K::Main, u"Mainalpha first paragraph.\r"}, {K::Main, u"Mainomega last paragraph.\r"},
        {K::Main, u"Tabbed\tcolumn and Spaced   four spaces."},
        {K::Main, u"Line\vbroken and non\u00A0breaking and soft\x1Fhyphen and hard\x1Ehyphen."},
        {K::Main, u"Cellone\aCelltwo\a\aCellthree\aCellfour\a\a"},
        // Note references leave no mark; fields keep their results only.
        {K::Main, u"Noteholder and Endholder."}, {K::Main, u"Fieldday 2021-03-04 and page 1 end."},
        {K::Footnotes, u"Footnoteword text."}, {K::Endnotes, u"Endnoteword text."},
        {K::Comments, u"Commentword remark."}, {K::HeadersFooters, u"Headerword alpha"},
        {K::HeadersFooters, u"Footerword page 1"},
        // Once, though a file may hold it twice (a drawing and its fallback).
        {K::TextBoxes, u"Textboxword inside."}};
    for (const char16_t* other : {u"Footnoteword", u"Commentword", u"Textboxword", u"Headerword"})
        e.push_back({K::Main, other, 0});
    return e;
}

// Field instructions, font names, comment authors and the marks around
// fields and objects are not text.
const std::vector<std::u16string> kNotText = {u"PAGE", u"DATE", u"yyyy", u"Times New Roman", u"Tester",
                                              u"\x13", u"\x14", u"\x15", u"\x01", u"\x08", u"\x02"};

std::vector<FixtureRow> FixtureRows()
{
    using K = StoryKind;
    std::vector<Expect> doc = Stories();
    doc.push_back({K::Main, u"Commented word."});
    doc.push_back({K::Main, u"Boxholder  after box."});
    return {
        {"fmt-stories.doc", {kDoc}, doc, kNotText},
        {"fmt-stories.dot", {kDoc}, doc, kNotText},
        {"FMT-UPPER.DOC", {kDoc}, doc, kNotText},
        {"fmt-stories.docx", {kDocx}, Stories(), kNotText},
        {"fmt-stories.dotx", {kDocx}, Stories(), kNotText},
        {"fmt-stories.rtf", {kRtf}, Stories(), kNotText},
        // RTF under a .doc name: the bytes decide, not the name.
        {"fmt-rtfinside.doc", {kRtf}, Stories(), kNotText},
        {"letter-utf16le.txt", {kText}, {{K::Main, u"Dear Ms M\u00FCller,\rthe invoice is attached.\r"}}, {u"\uFEFF"}},
        {"latin1.txt", {kText}, {{K::Main, u"gar\u00E7on a mang\u00E9 une cr\u00EApe"}, {K::Main, u"l\u2019\u00E9glise"}}, {}},
        // The charset from <meta http-equiv>.
        {"legacy.html", {kHtml}, {{K::Main, u"Na\u00EFve \u20ACuro r\u00E9sum\u00E9"}}, {}},
        // The text a browser shows, and the title as a story of its own.
        {"page.htm",
         {kHtml, kLoadPage},
         {{K::Main, u"Sales & Marketing\r"},
          {K::Main, u"Caf\u00E9 prices rose by\u00A05%. Second line of the same paragraph.\r"},
          {K::Main, u"First block\rSecond block\r"}, {K::Main, u"Line one\vLine two\r"},
          {K::Main, u"North\aSouth\a\a"}, {K::Main, u"keep   these\rspaces"},
          {K::Title, u"Quarterly Report"}, {K::Main, u"Quarterly", 0}},
         {u"scriptword", u"commentword", u"color", u"hiddenattr", u"&amp;"}},
    };
}

void Check(bool read, const ReadError& error, const WordContent& c, const FixtureRow& row)
{
    ASSERT_TRUE(read) << error;
    ASSERT_FALSE(c.stories.empty());
    EXPECT_EQ(c.stories[0].kind, StoryKind::Main);
    for (const Expect& e : row.expect) {
        int n = 0;
        for (const Story& s : c.stories) {
            for (auto at = s.text.find(e.text); s.kind == e.kind && at != std::u16string::npos; at = s.text.find(e.text, at + 1)) ++n;
        }
        EXPECT_EQ(n, e.count) << "story " << static_cast<int>(e.kind) << ": " << Show(e.text);
    }
    for (const std::u16string& n : row.nowhere) {
        for (const Story& s : c.stories) EXPECT_EQ(s.text.find(n), std::u16string::npos) << Show(n);
    }
}

class Fixtures : public ::testing::TestWithParam<FixtureRow> {};

TEST_P(Fixtures, EveryReaderFindsEachStorysText)
{
    const FixtureRow& row = GetParam();
    SCOPED_TRACE(row.file);
    const std::string path = std::string(VARNEL_TEST_DATA) + "/word/" + row.file;
    std::ifstream in(path, std::ios::binary);
    const Bytes bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    ASSERT_FALSE(bytes.empty()) << path;
    for (std::size_t i = 0; i <= row.readers.size(); ++i) {
        SCOPED_TRACE(i < row.readers.size() ? "reader " + std::to_string(i) : "LoadWordFile");
        WordContent c;
        ReadError error;
        Check(i < row.readers.size() ? row.readers[i](bytes, c, error) : LoadWordFile(path, c, error), error, c, row);
    }
}

INSTANTIATE_TEST_SUITE_P(Word, Fixtures, ::testing::ValuesIn(FixtureRows()));

// ---- Small inputs ----------------------------------------------------------------

TEST(WordTextAndPages, MainStoryOfSmallInputs)
{
    const std::u16string greeting = u"Gr\u00FC\u00DFe \u20AC \u4E2D\r";
    const std::u16string plain = u"Plain words in UTF-16\n";
    const std::string page = "<html><body><p>Stra\xC3\x9F" "e</p></body></html>";
    const std::u16string fragment = u"<p>Hello <b>bold</b> world &amp; more</p>";
    docbin::Word6 word6;
    word6.text = docbin::Latin("Hyphen\x1F" "ation non\x1E" "breaking\r");
    word6.ccp[0] = static_cast<std::uint32_t>(word6.text.size());
    const std::tuple<const char*, Bytes, Reader, std::u16string> cases[] = {
        {"UTF-8 with a mark", Ascii("\xEF\xBB\xBFGr\xC3\xBC\xC3\x9F" "e \xE2\x82\xAC \xE4\xB8\xAD\n"), kText, greeting},
        {"UTF-8", Ascii("Gr\xC3\xBC\xC3\x9F" "e \xE2\x82\xAC \xE4\xB8\xAD\n"), kText, greeting},
        {"UTF-16LE with a mark", Utf16(u"Gr\u00FC\u00DFe \u20AC \u4E2D\n", false, true), kText, greeting},
        {"UTF-16BE with a mark", Utf16(u"Gr\u00FC\u00DFe \u20AC \u4E2D\n", true, true), kText, greeting},
        // No mark: the zero bytes of Latin text tell the byte order.
        {"UTF-16LE", Utf16(plain, false, false), kText, u"Plain words in UTF-16\r"},
        {"UTF-16BE", Utf16(plain, true, false), kText, u"Plain words in UTF-16\r"},
        {"line ends", Ascii("a\r\nb\nc\rd\n\ne"), kText, u"a\rb\rc\rd\r\re"},
        {"tab and form feed", Ascii("tab\there\fpage"), kText, u"tab\there\fpage"},
        {"cells and rows", Ascii("<html><body><table><tr><td><p>one</p></td><td>two<br>lines</td></tr>"
                                 "<tr><th>three</th><td></td></tr></table><p>after</p></body></html>"),
         kHtml, u"one\atwo\vlines\a\athree\a\a\aafter\r"},
        {"soft hyphen", Ascii("<html><body>infor&shy;mation</body></html>"), kHtml, u"infor\x1Fmation\r"},
        // White space folds to one space between words, across elements and
        // the parser's pieces of text, and to none where a line starts.
        {"white space", Ascii("<html><body>  one \t\n two<b> three </b> four<br>  five <table><tr><td>  six</td>"
                              "<td> seven  </td></tr></table>\n eight \n<p>  nine\r\n</p>" + std::string(3000, ' ') +
                              "ten" + std::string(2000, 'x') + "</body></html>"),
         kHtml, u"one two three four\vfive\rsix\aseven\a\aeight\rnine\rten" + std::u16string(2000, u'x') + u"\r"},
        {"charset from a mark", Ascii("\xEF\xBB\xBF" + page), kHtml, u"Stra\u00DFe\r"},
        {"charset guessed", Ascii(page), kHtml, u"Stra\u00DFe\r"},
        {"page in UTF-16", Utf16(u"<html><body><p>Stra\u00DFe</p></body></html>", false, true), kHtml,
         u"Stra\u00DFe\r"},
        {"unknown charset", Ascii("<html><head><meta charset=\"x-no-such\"></head><body>Stra\xC3\x9F" "e</body></html>"),
         kHtml, u"Stra\u00DFe\r"},
        {"Latin-1 label", Ascii("<html><head><meta charset=iso-8859-1></head><body>\x93q\x94 caf\xE9</body></html>"),
         kHtml, u"\u201Cq\u201D caf\u00E9\r"},
        // The loader: markup with html tags is a web page, other text is text...
        {"page by content", Ascii("<html><body><p>a &lt; b</p></body></html>"), kLoad, u"a < b\r"},
        {"text by content", Ascii("a &lt; b <b>bold</b>"), kLoad, u"a &lt; b <b>bold</b>"},
        {"fragment by content", Ascii("<p>Hello <b>bold</b> world &amp; more</p>"), kLoad, fragment},
        {"UTF-16 fragment by content", Utf16(fragment, false, false), kLoad, fragment},
        // ...unless the name is a web page's; RTF still goes by its bytes.
        {"fragment by name", Ascii("<p>Hello <b>bold</b> world &amp; more</p>"), kLoadPage,
         u"Hello bold world & more\r"},
        {"UTF-16BE fragment by name", Utf16(fragment, true, true), kLoadPage, u"Hello bold world & more\r"},
        {"plain text by name", Ascii("Just words,\nno markup"), kLoadPage, u"Just words, no markup\r"},
        {"rtf by name", Ascii("{\\rtf1 rich {\\b text}}"), kLoadPage, u"rich text"},
        // Optional and non-breaking hyphens as each reader delivers them:
        // Word's own 0x1F and 0x1E, or U+00AD where the file holds that
        // character. Find sees through both.
        {".doc, 8-bit", docbin::Word97Of(u"Hyphen\x1F" u"ation non\x1E" u"breaking\r"), kLoad,
         u"Hyphen\x1F" u"ation non\x1E" u"breaking\r"},
        {".doc, UTF-16", docbin::Word97Of(u"Hyphen\x1F" u"ation\r", false), kLoad, u"Hyphen\x1F" u"ation\r"},
        {".doc, Word 6", word6.Build(), kLoad, u"Hyphen\x1F" u"ation non\x1E" u"breaking\r"},
        {".docx, U+00AD", Package(Body(Para(TextRun("Hyphen\xC2\xAD" "ation")))), kLoad, u"Hyphen\u00AD" u"ation\r"},
        {".rtf, 8-bit", Ascii("{\\rtf1\\ansi Hyphen\\'adation\\par}"), kLoad, u"Hyphen\u00AD" u"ation\r"},
        {".rtf, Unicode", Ascii("{\\rtf1 Hyphen\\u173-ation\\par}"), kLoad, u"Hyphen\u00AD" u"ation\r"},
        {"page, character", Ascii("<html><body><p>Hyphen\xC2\xAD" "ation</p></body></html>"), kLoad,
         u"Hyphen\x1F" u"ation\r"},
        {"page, preformatted", Ascii("<html><body><pre>Hyphen&shy;ation</pre></body></html>"), kLoad,
         u"Hyphen\x1F" u"ation\r"},
        {"text, UTF-8", Ascii("Hyphen\xC2\xAD" "ation\n"), kLoad, u"Hyphen\u00AD" u"ation\r"},
        {"text, Windows-1252", Ascii("Hyphen\xAD" "ation caf\xE9\n"), kLoad, u"Hyphen\u00AD" u"ation caf\u00E9\r"},
        {"text, UTF-16", docbin::Utf16(u"\uFEFFHyphen\u00AD" u"ation\n"), kLoad, u"Hyphen\u00AD" u"ation\r"},
    };
    for (const auto& [what, bytes, reader, main] : cases) EXPECT_EQ(StoryOf(ReadOk(reader, bytes)), main) << what;

    // Nothing at all is an empty text.
    const WordContent empty = ReadOk(kLoad, ByteView());
    ASSERT_EQ(empty.stories.size(), 1u);
    EXPECT_TRUE(empty.stories[0].text.empty());

    // Latin-1 guessed from a text's start reads as Windows-1252 to the end.
    std::string latin1 = "caf\xE9 na\xEFve";
    for (int i = 0; i < 35000; ++i) latin1 += " a";
    EXPECT_TRUE(StoryOf(ReadOk(kLoad, Ascii(latin1 + " \x93q\x94\n"))).ends_with(u"a \u201Cq\u201D\r"));
    // Nothing inside hidden elements is page text.
    const Bytes hidden = Ascii(
        "<html><body>a<noscript>x</noscript><template>x</template><select><option>x</option>"
        "</select><iframe>x</iframe><noembed>x</noembed><noframes>x</noframes>b</body></html>");
    EXPECT_EQ(StoryOf(ReadOk(kHtml, hidden)), u"ab\r");
}

TEST(WordTextAndPages, BinaryAndDamagedContainersAreRefused)
{
    Bytes zeros = Ascii(std::string("text with a\0\0\0", 14)), controls;
    for (int i = 0; i < 40; ++i) zeros.push_back(static_cast<std::uint8_t>(i * 37 + 1));
    for (int i = 0; i < 200; ++i) controls.push_back(static_cast<std::uint8_t>(1 + i % 8));
    std::string mostlyText(2000, 'a'), log;
    mostlyText[100] = '\x01';
    for (int i = 0; i < 50; ++i) log += "\x1b[32mOK\x1b[0m finished step " + std::to_string(i) + "\n";
    Bytes compound = {0xD0, 0xCF, 0x11, 0xE0, 0xA1, 0xB1, 0x1A, 0xE1};
    compound.resize(600, 0xFF);
    const std::pair<Bytes, ReadErrorKind> cases[] = {
        {zeros, ReadErrorKind::NotThisFormat}, {controls, ReadErrorKind::NotThisFormat},
        // A little noise in a long text, or a log with colour escapes, is text.
        {Ascii(mostlyText), ReadErrorKind::None}, {Ascii(log), ReadErrorKind::None},
        // A damaged compound file or zip package is refused as one, whatever the name.
        {compound, ReadErrorKind::Damaged},
        {Ascii(std::string("PK\x03\x04", 4) + "<p>not a zip</p>"), ReadErrorKind::NotThisFormat},
        // Word 2.0 and 1.x for Windows: flat files, said to be an old version, not binary data.
        {Bytes{0xDB, 0xA5, 0x2D, 0x00, 0x31, 0x40, 0x09, 0x04, 0, 0, 0, 0}, ReadErrorKind::UnsupportedVersion},
        {Bytes{0x9B, 0xA5, 0x21, 0x00, 0x12, 0x00, 0x00, 0x00, 0, 0, 0, 0}, ReadErrorKind::UnsupportedVersion}};
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        for (const WordFileName name : {WordFileName::Any, WordFileName::WebPage}) {
            if (i < 4 && name == WordFileName::WebPage) continue;  // the name counts for text
            WordContent content;
            ReadError error;
            const bool read = LoadWordContent(cases[i].first, content, error, name);
            EXPECT_EQ(read, error.ok()) << error;
            EXPECT_EQ(error.kind, cases[i].second) << i;
        }
    }
    WordContent content;
    ReadError error;
    EXPECT_FALSE(LoadWordFile("/nonexistent/dir/file.txt", content, error));
    EXPECT_EQ(error.kind, ReadErrorKind::Unreadable) << error;
}

TEST(WordTextAndPages, RandomBytesNeverCrashAndNeverYieldNuls)
{
    std::mt19937 rng(1234);
    const std::string prefixes[] = {"", "<html><body>", "\xFF\xFE", "\xFE\xFF", "\xEF\xBB\xBF", "<!DOCTYPE html><p>"};
    const char* markup = "<>&;/ \n=\"a";
    for (int round = 0; round < 1500; ++round) {
        std::string data = prefixes[static_cast<std::size_t>(round) % 6];
        for (std::size_t i = 0, len = rng() % 600; i < len; ++i)
            data.push_back(round % 3 == 0 ? static_cast<char>(rng() % 256) : markup[rng() % 8]);
        for (const Reader reader : {kText, kHtml, kLoad, kLoadPage}) {
            WordContent content;
            ReadError error;
            const bool read = reader(View(data), content, error);
            EXPECT_EQ(read, error.ok());
            for (const Story& story : content.stories) EXPECT_EQ(story.text.find(u'\0'), std::u16string::npos);
        }
    }
}

TEST(WordLoader, WebPagesByContentAndByName)
{
    const std::pair<Bytes, bool> looks[] = {
        {Ascii("  <!DOCTYPE HTML><p>x"), true}, {Ascii("<HTML><body>x"), true},
        {Utf16(u"<html><body>x", false, true), true}, {Utf16(u" \r\n\t<Title>x", true, true), true},
        {Utf16(u" x<html><body>", false, true), false}, {Ascii(std::string(5000, ' ') + "<html>"), false},
        {Ascii(std::string("\0<html>", 7)), false}, {Ascii(""), false}, {Ascii("Write <html> in the editor"), false},
        {Ascii("<note>just xml</note>"), false}};
    for (std::size_t i = 0; i < std::size(looks); ++i) EXPECT_EQ(LooksLikeHtml(looks[i].first), looks[i].second) << i;
    EXPECT_EQ(DeclaredHtmlCharset(Ascii("<META CHARSET='Shift_JIS'>")), "shift_jis");
    EXPECT_EQ(DeclaredHtmlCharset(Ascii("<meta http-equiv=x content=\"text/html; charset = koi8-r\">")), "koi8-r");
    EXPECT_EQ(DeclaredHtmlCharset(Ascii("<meta name=author content=me>")), "");
    EXPECT_EQ(DeclaredHtmlCharset(Ascii("<meta name=author content=me><meta charset=koi8-r>")), "koi8-r");
    // The mask *.htm finds longer extensions that begin with it too;
    // LoadWordFile applies the name (wordautomation_test opens such files).
    for (const char* page : {"page.htm", "/a/b/page.html", "PAGE.HTM", "page.HtMl", "page.htmls", "x.txt.htm", ".htm"})
        EXPECT_EQ(WordFileNameOf(page), WordFileName::WebPage) << page;
    for (const char* other : {"page.txt", "page", "page.ht", "page.xhtml", "page.htm.txt", "site.htm/page", "site.htm/.profile", ""})
        EXPECT_EQ(WordFileNameOf(other), WordFileName::Any) << other;
}

// The story cleaner, which copies runs of text whole, held to the rule
// applied a unit at a time: random stories of field marks (nested,
// unbalanced, separators outside fields), control characters and text,
// some longer than the cleaner's step between looks at the stop request.
TEST(WordReaders, StoryCleanerMatchesTheRuleUnitByUnit)
{
    const auto rule = [](std::u16string_view raw) {
        std::u16string out;
        std::vector<bool> inInstruction;
        std::size_t instructions = 0;
        for (const char16_t c : raw) {
            if (c == 0x13) {
                inInstruction.push_back(true);
                ++instructions;
            } else if (c == 0x14) {
                if (!inInstruction.empty() && inInstruction.back()) {
                    inInstruction.back() = false;
                    --instructions;
                }
            } else if (c == 0x15) {
                if (!inInstruction.empty()) {
                    if (inInstruction.back()) --instructions;
                    inInstruction.pop_back();
                }
            } else if (instructions == 0) {
                if (c >= 0x20 || c == 0x07 || c == 0x09 || c == 0x0B || c == 0x0C || c == 0x0D || c == 0x1E ||
                    c == 0x1F) {
                    out.push_back(c);
                } else if (c == 0x0E) {
                    out.push_back(0x0C);
                }
            }
        }
        return out;
    };
    const std::u16string pieces[] = {u"word", u" ",    u"\x13",          u"\x14",
                                     u"\x15", u"\r",   u"\x07",          u"\x01",
                                     u"\x0E", u"\x1F", u"\u00E9t\u00E9", u"\x13 HYPERLINK \x14link\x15",
                                     u"\x08", u"\t",   u"\uFFFF",        u"a longer run of plain words"};
    std::mt19937 rng(20261208);
    for (int round = 0; round < 2000; ++round) {
        std::u16string raw;
        const std::size_t count = round % 50 == 0 ? 40000 : rng() % 80;
        for (std::size_t k = 0; k < count; ++k) raw += pieces[rng() % std::size(pieces)];
        ASSERT_TRUE(CleanDocStoryText(raw) == rule(raw)) << round;
    }
}

}  // namespace
}  // namespace office
