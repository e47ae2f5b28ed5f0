// Text files and web pages for the built-in Word, and the choice of reader
// by a file's content (and by a web page's name).
#include "office/word/htmlreader.h"
#include "office/word/textreader.h"
#include "office/word/wordloader.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

namespace office {
namespace {

std::vector<std::uint8_t> Bytes(const std::string& s) { return {s.begin(), s.end()}; }

std::vector<std::uint8_t> Utf16(std::u16string_view text, bool bigEndian, bool bom)
{
    std::vector<std::uint8_t> out;
    auto put = [&](char16_t c) {
        const auto hi = static_cast<std::uint8_t>(c >> 8);
        const auto lo = static_cast<std::uint8_t>(c & 0xFF);
        if (bigEndian) {
            out.push_back(hi);
            out.push_back(lo);
        } else {
            out.push_back(lo);
            out.push_back(hi);
        }
    };
    if (bom) put(0xFEFF);
    for (char16_t c : text) put(c);
    return out;
}

std::vector<std::uint8_t> Fixture(const std::string& name)
{
    std::ifstream in(std::string(VARNEL_TEST_DATA) + "/word/" + name, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::u16string MainText(const std::vector<std::uint8_t>& bytes, bool (*reader)(ByteView, WordContent&, std::string&))
{
    WordContent content;
    std::string error;
    EXPECT_TRUE(reader(ByteView(bytes.data(), bytes.size()), content, error)) << error;
    if (content.stories.empty()) return u"<no story>";
    return content.stories[0].text;
}

bool Refused(const std::vector<std::uint8_t>& bytes)
{
    WordContent content;
    std::string error;
    const bool ok = LoadWordContent(ByteView(bytes.data(), bytes.size()), content, error);
    return !ok && !error.empty();
}

bool Contains(std::u16string_view text, std::u16string_view part) { return text.find(part) != std::u16string_view::npos; }

// ---- Text files ----------------------------------------------------------------

TEST(WordTextReader, UnicodeEncodingsWithAndWithoutMarks)
{
    const std::u16string expected = u"Gr\u00FC\u00DFe \u20AC \u4E2D\r";
    EXPECT_EQ(MainText(Bytes("\xEF\xBB\xBFGr\xC3\xBC\xC3\x9F" "e \xE2\x82\xAC \xE4\xB8\xAD\n"), ReadText), expected);
    EXPECT_EQ(MainText(Bytes("Gr\xC3\xBC\xC3\x9F" "e \xE2\x82\xAC \xE4\xB8\xAD\n"), ReadText), expected);
    EXPECT_EQ(MainText(Utf16(u"Gr\u00FC\u00DFe \u20AC \u4E2D\n", false, true), ReadText), expected);
    EXPECT_EQ(MainText(Utf16(u"Gr\u00FC\u00DFe \u20AC \u4E2D\n", true, true), ReadText), expected);
    // No mark: the zero bytes of Latin text tell the byte order.
    EXPECT_EQ(MainText(Utf16(u"Plain words in UTF-16\n", false, false), ReadText), u"Plain words in UTF-16\r");
    EXPECT_EQ(MainText(Utf16(u"Plain words in UTF-16\n", true, false), ReadText), u"Plain words in UTF-16\r");
}

TEST(WordTextReader, FixturesInUtf16AndLegacyCodePage)
{
    const std::u16string letter = MainText(Fixture("letter-utf16le.txt"), ReadText);
    EXPECT_EQ(letter, u"Dear Ms M\u00FCller,\rthe invoice is attached.\r");
    const std::u16string latin = MainText(Fixture("latin1.txt"), ReadText);
    EXPECT_TRUE(Contains(latin, u"gar\u00E7on a mang\u00E9 une cr\u00EApe")) << Utf16(latin, false, false).size();
    EXPECT_TRUE(Contains(latin, u"l\u2019\u00E9glise"));
}

TEST(WordTextReader, EveryLineEndBecomesAParagraphMark)
{
    EXPECT_EQ(MainText(Bytes("a\r\nb\nc\rd\n\ne"), ReadText), u"a\rb\rc\rd\r\re");
    EXPECT_EQ(MainText(Bytes("tab\there\fpage"), ReadText), u"tab\there\fpage");
}

TEST(WordTextReader, BinaryIsRefused)
{
    std::vector<std::uint8_t> zeros = Bytes("text with a");
    zeros.push_back(0);
    zeros.push_back(0);
    zeros.push_back(0);
    for (int i = 0; i < 40; ++i) zeros.push_back(static_cast<std::uint8_t>(i * 37 + 1));
    EXPECT_TRUE(Refused(zeros));
    std::vector<std::uint8_t> controls;
    for (int i = 0; i < 200; ++i) controls.push_back(static_cast<std::uint8_t>(1 + i % 8));
    EXPECT_TRUE(Refused(controls));
    // A little binary noise in a long text is still text.
    std::string mostlyText(2000, 'a');
    mostlyText[100] = '\x01';
    EXPECT_FALSE(Refused(Bytes(mostlyText)));
    // A log with colour escapes is text too.
    std::string log;
    for (int i = 0; i < 50; ++i) log += "\x1b[32mOK\x1b[0m finished step " + std::to_string(i) + "\n";
    EXPECT_FALSE(Refused(Bytes(log)));
}

TEST(WordTextReader, EmptyFileIsAnEmptyDocument)
{
    WordContent content;
    std::string error;
    ASSERT_TRUE(LoadWordContent(ByteView(), content, error)) << error;
    ASSERT_EQ(content.stories.size(), 1u);
    EXPECT_TRUE(content.stories[0].text.empty());
}

// ---- Web pages -----------------------------------------------------------------

TEST(WordHtmlReader, TheTextABrowserShows)
{
    WordContent content;
    std::string error;
    const auto bytes = Fixture("page.htm");
    ASSERT_TRUE(ReadHtml(ByteView(bytes.data(), bytes.size()), content, error)) << error;
    ASSERT_EQ(content.stories.size(), 2u);
    const std::u16string& text = content.stories[0].text;
    EXPECT_TRUE(Contains(text, u"Sales & Marketing\r"));
    EXPECT_TRUE(Contains(text, u"Caf\u00E9 prices rose by\u00A05%. Second line of the same paragraph.\r"));
    EXPECT_TRUE(Contains(text, u"First block\rSecond block\r"));
    EXPECT_TRUE(Contains(text, u"Line one\u000BLine two\r"));
    EXPECT_TRUE(Contains(text, u"North\u0007South\u0007\u0007"));
    EXPECT_TRUE(Contains(text, u"keep   these\rspaces"));
    for (const char16_t* hidden : {u"scriptword", u"commentword", u"color", u"hiddenattr", u"Quarterly"}) {
        EXPECT_FALSE(Contains(text, hidden)) << std::string(hidden, hidden + 5);
    }
    EXPECT_EQ(content.stories[1].kind, StoryKind::Title);
    EXPECT_EQ(content.stories[1].text, u"Quarterly Report");
}

TEST(WordHtmlReader, TablesEndCellsAndRowsLikeWord)
{
    const std::string page =
        "<html><body><table><tr><td><p>one</p></td><td>two<br>lines</td></tr>"
        "<tr><th>three</th><td></td></tr></table><p>after</p></body></html>";
    const std::vector<std::uint8_t> bytes(page.begin(), page.end());
    EXPECT_EQ(MainText(bytes, ReadHtml), u"one\u0007two\u000Blines\u0007\u0007three\u0007\u0007\u0007after\r");
}

TEST(WordHtmlReader, SoftHyphenBecomesWordsOptionalHyphen)
{
    EXPECT_EQ(MainText(Bytes("<html><body>infor&shy;mation</body></html>"), ReadHtml), u"infor\u001Fmation\r");
}

TEST(WordHtmlReader, CharsetFromMetaHttpEquiv)
{
    const std::u16string text = MainText(Fixture("legacy.html"), ReadHtml);
    EXPECT_TRUE(Contains(text, u"Na\u00EFve \u20ACuro r\u00E9sum\u00E9")) << text.size();
}

TEST(WordHtmlReader, CharsetFromMarkOrGuess)
{
    const std::string page = "<html><body><p>Stra\xC3\x9F" "e</p></body></html>";
    EXPECT_TRUE(Contains(MainText(Bytes("\xEF\xBB\xBF" + page), ReadHtml), u"Stra\u00DFe"));
    // Valid UTF-8 without any declaration.
    EXPECT_TRUE(Contains(MainText(Bytes(page), ReadHtml), u"Stra\u00DFe"));
    std::u16string wide = u"<html><body><p>Stra\u00DFe</p></body></html>";
    EXPECT_TRUE(Contains(MainText(Utf16(wide, false, true), ReadHtml), u"Stra\u00DFe"));
    // A wrong declaration that names no charset ICU knows falls back on the bytes.
    const std::string bogus = "<html><head><meta charset=\"x-no-such\"></head><body>Stra\xC3\x9F" "e</body></html>";
    EXPECT_TRUE(Contains(MainText(Bytes(bogus), ReadHtml), u"Stra\u00DFe"));
}

TEST(WordHtmlReader, Latin1LabelMeansWindows1252)
{
    const std::string page = "<html><head><meta charset=iso-8859-1></head><body>\x93quoted\x94 caf\xE9</body></html>";
    EXPECT_TRUE(Contains(MainText(Bytes(page), ReadHtml), u"\u201Cquoted\u201D caf\u00E9"));
}

TEST(WordHtmlReader, DeepNestingDoesNotExhaustTheStack)
{
    std::string page = "<html><body>";
    for (int i = 0; i < 50000; ++i) page += "<div><span>";
    page += "deepword";
    page += "</body></html>";
    WordContent content;
    std::string error;
    const auto bytes = Bytes(page);
    // The parser may cut the tree at its own depth limit; it must not crash.
    if (ReadHtml(ByteView(bytes.data(), bytes.size()), content, error)) {
        ASSERT_FALSE(content.stories.empty());
    } else {
        EXPECT_FALSE(error.empty());
    }
}

TEST(WordHtmlReader, DeclaredCharset)
{
    EXPECT_EQ(DeclaredHtmlCharset(Bytes("<META CHARSET='Shift_JIS'>")), "shift_jis");
    EXPECT_EQ(DeclaredHtmlCharset(Bytes("<meta http-equiv=x content=\"text/html; charset = koi8-r\">")), "koi8-r");
    EXPECT_EQ(DeclaredHtmlCharset(Bytes("<meta name=author content=me>")), "");
}

// ---- Hostile bytes ------------------------------------------------------------

TEST(WordReadersHostile, RandomBytesNeverCrashAndNeverYieldNuls)
{
    std::mt19937 rng(1234);
    const std::string prefixes[] = {"", "<html><body>", "\xFF\xFE", "\xFE\xFF", "\xEF\xBB\xBF", "<!DOCTYPE html><p>"};
    for (int round = 0; round < 1500; ++round) {
        std::string data = prefixes[static_cast<std::size_t>(round) % 6];
        const std::size_t len = rng() % 600;
        const unsigned alphabet = round % 3 == 0 ? 256u : 8u;
        const char* markup = "<>&;/ \n=\"a";
        for (std::size_t i = 0; i < len; ++i) {
            data.push_back(alphabet == 256u ? static_cast<char>(rng() % 256) : markup[rng() % 8]);
        }
        const auto bytes = Bytes(data);
        using Reader = bool (*)(ByteView, WordContent&, std::string&);
        const Reader loadAsAny = [](ByteView b, WordContent& c, std::string& e) { return LoadWordContent(b, c, e); };
        const Reader loadAsPage = [](ByteView b, WordContent& c, std::string& e) {
            return LoadWordContent(b, c, e, WordFileName::WebPage);
        };
        for (const Reader reader : {ReadText, ReadHtml, loadAsAny, loadAsPage}) {
            WordContent content;
            std::string error;
            if (reader(ByteView(bytes.data(), bytes.size()), content, error)) {
                for (const Story& story : content.stories) {
                    EXPECT_EQ(story.text.find(u'\0'), std::u16string::npos);
                }
            } else {
                EXPECT_FALSE(error.empty());
            }
        }
    }
}

// ---- Reader choice ----------------------------------------------------------------

TEST(WordLoader, ReaderChosenByContent)
{
    EXPECT_TRUE(LooksLikeHtml(Bytes("  <!DOCTYPE HTML><p>x")));
    EXPECT_TRUE(LooksLikeHtml(Bytes("<HTML><body>x")));
    EXPECT_TRUE(LooksLikeHtml(Utf16(u"<html><body>x", false, true)));
    EXPECT_FALSE(LooksLikeHtml(Bytes("Write <html> in the editor")));
    EXPECT_FALSE(LooksLikeHtml(Bytes("<note>just xml</note>")));

    WordContent content;
    std::string error;
    const auto html = Bytes("<html><body><p>a &lt; b</p></body></html>");
    ASSERT_TRUE(LoadWordContent(ByteView(html.data(), html.size()), content, error));
    EXPECT_EQ(content.stories[0].text, u"a < b\r");
    const auto text = Bytes("a &lt; b <b>bold</b>");
    ASSERT_TRUE(LoadWordContent(ByteView(text.data(), text.size()), content, error));
    EXPECT_EQ(content.stories[0].text, u"a &lt; b <b>bold</b>");
}

TEST(WordLoader, WebPageNames)
{
    struct Case {
        const char* path;
        WordFileName expected;
    };
    const Case cases[] = {
        {"page.htm", WordFileName::WebPage},
        {"/a/b/page.html", WordFileName::WebPage},
        {"PAGE.HTM", WordFileName::WebPage},
        {"page.HtMl", WordFileName::WebPage},
        {"page.htmls", WordFileName::WebPage},  // the mask *.htm finds it too
        {"x.txt.htm", WordFileName::WebPage},
        {"page.txt", WordFileName::Any},
        {"page", WordFileName::Any},
        {"page.ht", WordFileName::Any},
        {"page.xhtml", WordFileName::Any},
        {"page.htm.txt", WordFileName::Any},
        {"site.htm/page", WordFileName::Any},
        {"site.htm/.profile", WordFileName::Any},
        {".htm", WordFileName::WebPage},
        {"", WordFileName::Any},
    };
    for (const Case& c : cases) EXPECT_EQ(WordFileNameOf(c.path), c.expected) << c.path;
}

// A web page name makes markup a web page; containers and RTF still go by
// their bytes.
TEST(WordLoader, WebPageNameReadsMarkupWithoutHtmlTags)
{
    struct Case {
        const char* what;
        std::vector<std::uint8_t> bytes;
        std::u16string asWebPage;
        std::u16string byContent;
    };
    const std::u16string fragment = u"<p>Hello <b>bold</b> world &amp; more</p>";
    const Case cases[] = {
        {"fragment", Bytes("<p>Hello <b>bold</b> world &amp; more</p>"), u"Hello bold world & more\r", fragment},
        {"plain text", Bytes("Just words,\nno markup"), u"Just words, no markup\r", u"Just words,\rno markup"},
        {"page with tags", Bytes("<html><body>a &lt; b</body></html>"), u"a < b\r", u"a < b\r"},
        {"rtf", Bytes("{\\rtf1 rich {\\b text}}"), u"rich text", u"rich text"},
        {"UTF-16 without a mark", Utf16(fragment, false, false), u"Hello bold world & more\r", fragment},
        {"UTF-16 big-endian with a mark", Utf16(fragment, true, true), u"Hello bold world & more\r", fragment},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        for (const WordFileName name : {WordFileName::WebPage, WordFileName::Any}) {
            WordContent content;
            std::string error;
            ASSERT_TRUE(LoadWordContent(ByteView(c.bytes.data(), c.bytes.size()), content, error, name)) << error;
            ASSERT_FALSE(content.stories.empty());
            EXPECT_EQ(content.stories[0].text, name == WordFileName::WebPage ? c.asWebPage : c.byContent);
        }
    }
    // A damaged compound file or zip package is still refused as one.
    std::vector<std::uint8_t> compound = {0xD0, 0xCF, 0x11, 0xE0, 0xA1, 0xB1, 0x1A, 0xE1};
    compound.resize(600, 0xFF);
    const std::vector<std::uint8_t> containers[] = {compound, Bytes(std::string("PK\x03\x04", 4) + "<p>not a zip</p>")};
    for (const auto& container : containers) {
        const std::vector<std::uint8_t>* bytes = &container;
        WordContent asPage;
        WordContent asAny;
        std::string pageError;
        std::string anyError;
        EXPECT_FALSE(LoadWordContent(ByteView(bytes->data(), bytes->size()), asPage, pageError, WordFileName::WebPage));
        EXPECT_FALSE(LoadWordContent(ByteView(bytes->data(), bytes->size()), asAny, anyError, WordFileName::Any));
        EXPECT_EQ(pageError, anyError);
    }
}

TEST(WordLoader, FileNameChoosesTheWebPageReader)
{
    const std::string fragment = "<p>Hello <b>bold</b> world &amp; more</p>";
    const std::string dir = ::testing::TempDir();
    for (const char* name : {"varnel_loader_frag.HTML", "varnel_loader_frag.txt"}) {
        const std::string path = dir + name;
        std::ofstream(path, std::ios::binary) << fragment;
        WordContent content;
        std::string error;
        ASSERT_TRUE(LoadWordFile(path, content, error)) << error;
        std::remove(path.c_str());
        ASSERT_FALSE(content.stories.empty());
        const bool webPage = std::string(name).find(".HTML") != std::string::npos;
        EXPECT_EQ(content.stories[0].text,
                  webPage ? u"Hello bold world & more\r" : u"<p>Hello <b>bold</b> world &amp; more</p>");
    }
}

TEST(WordLoader, DamagedContainersFailToOpen)
{
    std::vector<std::uint8_t> compound = {0xD0, 0xCF, 0x11, 0xE0, 0xA1, 0xB1, 0x1A, 0xE1};
    compound.resize(600, 0xFF);
    EXPECT_TRUE(Refused(compound));
    EXPECT_TRUE(Refused(Bytes(std::string("PK\x03\x04", 4) + "not really a zip at all")));
}

TEST(WordLoader, MissingFileFails)
{
    WordContent content;
    std::string error;
    EXPECT_FALSE(LoadWordFile("/nonexistent/dir/file.txt", content, error));
    EXPECT_FALSE(error.empty());
}

}  // namespace
}  // namespace office
