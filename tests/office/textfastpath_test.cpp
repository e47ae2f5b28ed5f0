// The quick routes for plain text, each held to the slow route it stands
// for on random input: the one-pass UTF-8 reading of a text file against
// the charset decoder; the table of format characters against ICU (the
// compared text's shortcuts are held to preparing it in matchtext_test); the
// quick reading of plain web pages against libxml2's, through the page
// reader; a text file decoded piece by piece as it is read against its
// whole bytes (the loader's own piece size is met by readbudget_test's
// long text file).
#include "office/containers/filebytes.h"
#include "office/containers/htmlstrictscanner.h"
#include "office/containers/readbudget.h"
#include "office/text/matchtext.h"
#include "office/word/htmlreader.h"
#include "office/word/htmltextbuilder.h"
#include "office/word/textreader.h"
#include "platform/utf8.h"

#include <gtest/gtest.h>

#include <unicode/uchar.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

namespace office {
namespace {

// Pieces of text files: ASCII words and line ends, letters whose folding
// changes length (ß, İ, the ﬁ ligature), other scripts, marks, format
// characters, controls, and bytes that are no UTF-8 (a lone continuation,
// an overlong form, a surrogate, F5, a sequence cut short) or zero.
const std::vector<std::string> kPieces = {
    "word ", "Straße ", "\xC4\xB0stanbul ", "\xEF\xAC\x81le ", "\xCE\x95\xCE\xBB\xCE\xBB\xCE\xAC\xCE\xB4\xCE\xB1 ",
    "\xE6\x97\xA5\xE6\x9C\xAC ", "e\xCC\x81", "\xF0\x9F\x98\x80", "\xC2\xAD", "\xE2\x80\x8B", "\xEF\xBB\xBF", "\r\n",
    "\n", "\r", "\t", "\x1B[0m", "\x7F", "\xEF\xBF\xBD", "\x80", "\xC0\x80", "\xED\xA0\x80", "\xF5", "\xE6\x97",
    std::string(1, '\0'), "The quick brown fox jumps over the lazy dog. ",
};

// No mark, or one of UTF-8 and UTF-16 either way round.
const std::string kBoms[] = {"", "", "\xEF\xBB\xBF", "\xFF\xFE", "\xFE\xFF"};

std::string RandomText(std::mt19937& rng, std::size_t pieces, unsigned badOneIn)
{
    std::string out;
    const std::size_t clean = kPieces.size() - 7;  // the pieces before "\x80" are well-formed
    for (std::size_t i = 0; i < pieces; ++i) {
        const bool bad = badOneIn != 0 && rng() % badOneIn == 0;
        out += kPieces[bad ? clean + rng() % 6 : rng() % clean];
        if (rng() % 3 == 0) out += kPieces.back();
    }
    return out;
}

TEST(TextFastPath, ReadsEveryTextAsTheCharsetDecoderDoes)
{
    std::mt19937 rng(1717);
    for (int round = 0; round < 600; ++round) {
        // Some texts span several of the reader's pieces; some are refused
        // by a small budget part of the way.
        const std::size_t pieces = round % 50 == 0 ? 9000 : rng() % 40;
        const auto badOneIn = static_cast<unsigned>(round % 3 == 0 ? 0 : 1 + rng() % 400);
        const std::string text = kBoms[rng() % std::size(kBoms)] + RandomText(rng, pieces, badOneIn);
        const ByteView bytes(reinterpret_cast<const std::uint8_t*>(text.data()), text.size());
        const std::uint64_t limit = round % 7 == 0 ? (std::uint64_t{1} << 20) + rng() % 200000 : ReadBudget::kDefaultBytes;
        ReadBudget quickBudget(limit), slowBudget(limit);
        WordContent quick, slow;
        ReadError quickError, slowError;
        const bool quickOk = ReadText(bytes, quick, quickError, &quickBudget);
        const bool slowOk = ReadTextGeneral(bytes, slow, slowError, &slowBudget);
        ASSERT_EQ(quickOk, slowOk) << round;
        ASSERT_EQ(quickError.kind, slowError.kind) << round;
        ASSERT_EQ(quickError.detail, slowError.detail) << round;
        ASSERT_EQ(quick.stories.size(), slow.stories.size()) << round;
        for (std::size_t s = 0; s < quick.stories.size(); ++s)
            ASSERT_TRUE(quick.stories[s].text == slow.stories[s].text) << round;
    }
}

// Random texts cut into random pieces (characters and CR LF split at piece
// edges), with byte-order marks, bytes that are no UTF-8, runs of controls
// that make a text binary, and files that change size while read.
TEST(TextFastPath, FileReadInPiecesGivesWhatTheWholeBytesGive)
{
    std::mt19937 rng(1717);
    const std::string path = ::testing::TempDir() + "varnel-textstream.txt";
    for (int round = 0; round < 400; ++round) {
        const std::size_t bom = rng() % std::size(kBoms);
        std::string bytes = RandomText(rng, 1 + rng() % 100, 0);
        if (rng() % 4 == 0) {
            std::size_t at = rng() % (bytes.size() + 1);
            while (at < bytes.size() && (bytes[at] & 0xC0) == 0x80) ++at;  // not inside a character
            bytes.insert(at, std::string(1 + rng() % 200, '\x1B'));
        }
        // Whether it is UTF-8 the quick pass must take.
        bool utf8 = bom < 3 && rng() % 3 != 0;
        if (!utf8) bytes.insert(rng() % (bytes.size() + 1), kPieces[kPieces.size() - 7 + rng() % 6]);
        bytes.insert(0, kBoms[bom]);
        SCOPED_TRACE(::testing::Message() << "round " << round << ", " << bytes.size() << " bytes");
        std::remove(path.c_str());  // a file truncated in place is flushed to disk on close
        std::ofstream(path, std::ios::binary) << bytes;
        FileBytesReader file;
        ReadError error;
        ASSERT_TRUE(file.Open(path, error)) << error;
        std::vector<std::uint8_t> head;
        ASSERT_TRUE(file.Append(head, 3 + rng() % 40, error));
        // A file that shrinks ends early; one that grows is read to the size it had.
        if (const auto change = rng() % 4; change == 0) {
            bytes.resize(head.size() + rng() % (bytes.size() - head.size() + 1));
            std::filesystem::resize_file(path, bytes.size());
            utf8 = utf8 && static_cast<unsigned char>(bytes.back()) < 0x80;  // no character cut
        } else if (change == 1) {
            std::ofstream(path, std::ios::binary | std::ios::app) << "grown";
        }
        ReadBudget budget;
        WordContent got;
        const TextFileRead read = ReadTextFile(file, head, got, error, &budget, 1 + rng() % 50);
        EXPECT_EQ(budget.Used(), 0u);
        if (read == TextFileRead::ReadWhole) {
            EXPECT_FALSE(utf8);
            continue;
        }
        WordContent whole;
        ReadError wholeError;
        const bool ok = ReadText(ByteView(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()), whole,
                                 wholeError, nullptr);
        ASSERT_EQ(read == TextFileRead::Read, ok) << error << " / " << wholeError;
        EXPECT_EQ(error.kind, wholeError.kind);
        EXPECT_EQ(error.detail, wholeError.detail);
        if (ok) {
            EXPECT_TRUE(got.stories.at(0).text == whole.stories.at(0).text);
        }
    }
}

TEST(TextFastPath, FormatCharactersAreIcus)
{
    // Word's optional hyphen, and ICU's format characters.
    const auto format = [](UChar32 c) { return c == 0x1F || u_charType(c) == U_FORMAT_CHAR; };
    for (UChar32 c = 0; c < 0x110000; c += c < 0x10000 ? 1 : 97)
        ASSERT_EQ(IsIgnorableFormat(static_cast<char32_t>(c)), format(c)) << c;
}

// Pages of the plain kind, each perhaps spoiled in a few places by a piece
// libxml2 reads its own way: a tag it closes or implies itself, a stray or
// unknown reference, controls, a carriage return, a broken UTF-8 sequence
// (also in an attribute value), a "hidden" attribute, nesting past the
// parser's depth.
class PageMaker {
public:
    explicit PageMaker(std::mt19937& rng) : m_rng(rng) {}

    std::string Page()
    {
        std::string page = Pick({"", "<!DOCTYPE html>\n", "<!doctype HTML >", " \n<!DOCTYPE html>"});
        page += "<html" + Attrs() + ">" + Blank();
        if (Chance(4)) {
            page += "<head>" + Blank();
            for (int k = Below(4); k > 0; --k) {
                page += Pick({"<meta charset=\"utf-8\">", "<link rel=stylesheet href=a.css>", "<!-- note -->",
                              "<style>p { margin: 0 } /* < > & */</style>", "<script>if (a < b) x();</script>"});
                page += Blank();
            }
            if (Chance(2)) page += "<title>" + Text(3) + "</title>";
            page += "</head>" + Blank();
        }
        m_budget = 60;
        page += "<body" + Attrs() + ">" + Content(0, false) + "</body>" + Blank() + "</html>" + Blank();
        for (int k = Chance(3) ? Below(3) : 0; k > 0; --k) {
            page.insert(m_rng() % (page.size() + 1),
                        Pick({"<p>", "</p>", "<div>", "</span>", "<table><tr><td>x</td></tr></table>", "<li>y",
                              "<pre>\nz</pre>", "<img src=x>", "&foo;", "&amp", "&#0;", "&#x110000;", "\r\n", "\x01",
                              "< p>", "</ >", "<!-- a -- b -->", "<!-->", "<?pi x?>", "<b hidden>", "<title>t</title>",
                              "<html>", "<body>", "</body>", "\xC3", "\xEF\xBF\xBE", "<span/>", "<p class=a/b>",
                              "<a>k<a>", "<script></p></script>", "<style></ x></style>", "</br>", "\f", "x",
                              "<br/>", "&nbsp;", "<h1>h</h1>", "<b><p>q</p></b>", "<meta>", "<!DOCTYPE html>"}));
        }
        // Characters past ASCII in attributes and comments, and bytes that
        // are no UTF-8 in an attribute value (which would cost libxml2 the
        // text after them, were the page not decoded first).
        if (Chance(40))
            page.insert(m_rng() % (page.size() + 1),
                        Pick({"<i class=\"\xC3\xA9\" id=\xC3\xA9><!-- \xC3\xA9 -->\xC3\xA9</i>", "<i class=a\xC3>q</i>",
                              "<i><!-- \xE9 -->\xC3\xA9</i>"}));
        return page;
    }

private:
    bool Chance(unsigned oneIn) { return m_rng() % oneIn == 0; }
    int Below(int n) { return static_cast<int>(m_rng() % static_cast<unsigned>(n)); }
    std::string Pick(std::initializer_list<const char*> options)
    {
        return *(options.begin() + m_rng() % options.size());
    }
    std::string Blank() { return Pick({"", "", "\n", " \n\t", "  "}); }
    std::string Attrs()
    {
        return Chance(2) ? "" : Pick({" class=\"c0\"", " id='x' lang=en", " data-x", " style=\"a: b\" title=\"t\""});
    }
    std::string Text(int words)
    {
        std::string out;
        for (int k = 0; k < words; ++k)
            out += Pick({"word", " ", "\n", "\t", "Stra\xC3\x9F\x65", "\xE6\x97\xA5", "&amp;", "&lt;b&gt;", "&#233;",
                         "&#x1F600;", "&quot;", "&nbsp;", "\xC2\xA0", ">", "\xC2\xAD", "\xF0\x9F\x98\x80", "  x  ",
                         "\xEF\xBC\xA1", "\xEF\xBF\xBD"});
        return out;
    }
    // Mostly nested as the plain kind allows: blocks in blocks, inline
    // elements in anything.
    std::string Content(int depth, bool inlineOnly)
    {
        std::string out;
        for (int k = Below(4); k >= 0 && m_budget > 0; --k, --m_budget) {
            const int what = Below(depth > 10 ? 3 : 8);
            if (what <= 1) {
                out += Text(1 + Below(6));
            } else if (what == 2) {
                out += inlineOnly && !Chance(20) ? Pick({"<br>", "<br/>", "<!-- c -->", "<span></span>"})
                                                 : Pick({"<br/>", "<hr>", "<!-- c -->", "<p/>"});
            } else {
                const bool anyName = Chance(20);
                const std::string name = !anyName && inlineOnly ? Pick({"span", "b", "em", "strong", "code"})
                                                                : Pick({"div", "p", "h2", "span", "b", "a", "div"});
                const bool inner = inlineOnly || name == "p" || name == "h2" || name == "a" || name.size() > 3 ||
                                   name == "b";
                out += "<" + name + Attrs() + ">" + Content(depth + 1, inner && name != "div") + "</" + name + ">" +
                       Blank();
            }
        }
        return out;
    }

    std::mt19937& m_rng;
    int m_budget = 0;
};

// A character said to keep a text normal does, next to any other such
// character, for the whole Basic Multilingual Plane; and the text and web
// page readers, which mark a story normal when they saw only such
// characters, mark exactly those stories.
TEST(TextFastPath, StoriesMarkedNormalAreNormal)
{
    std::vector<char16_t> plain;
    for (std::uint32_t c = 0; c < 0x10000; ++c) {
        if (!IsPlainNormalCharacter(c)) continue;
        plain.push_back(static_cast<char16_t>(c));
        const std::u16string text{u'x', static_cast<char16_t>(c), u'y'};
        ASSERT_FALSE(NeedsNormalizing(text, false)) << std::hex << c;
    }
    std::mt19937 rng(3003);
    for (int round = 0; round < 2000; ++round) {
        std::u16string text;
        for (int k = 0; k < 8; ++k) text += plain[rng() % plain.size()];
        ASSERT_FALSE(NeedsNormalizing(text, false)) << round;
    }
    // Two characters that NFC would reorder must not both pass: every pair,
    // both ways, of those with a combining class of their own.
    std::vector<char16_t> marks;
    for (const char16_t c : plain)
        if (u_getCombiningClass(c) != 0) marks.push_back(c);
    for (const char16_t a : marks)
        for (const char16_t b : marks) ASSERT_FALSE(NeedsNormalizing(std::u16string{u'x', a, b}, false));
    for (const char16_t c : {u'a', u'\u00E9', u'\u0391', u'\u0436', u'\u65E5', u'\u00A0', u'\r'})
        EXPECT_TRUE(IsPlainNormalCharacter(c)) << std::hex << unsigned{c};
    for (const char32_t c : {U'\u0301', U'\u00AD', U'\x1F', U'\u200B', U'\uFEFF', U'\u11A8', U'\U0001F600'})
        EXPECT_FALSE(IsPlainNormalCharacter(c)) << std::hex << unsigned{c};

    // The readers, on texts of such characters with now and then one that
    // is not: a combining accent, a soft hyphen, a zero-width space, a
    // character past the Basic Multilingual Plane.
    const char* const pieces[] = {"word ",     "caf\xC3\xA9 ", "\xCE\x95\xCE\xBB ", "\xE6\x97\xA5 ",    "a\nb ",
                                  "e\xCC\x81", "\xC2\xAD",     "\xE2\x80\x8B",      "\xF0\x9F\x98\x80", "&amp; "};
    int marked = 0;
    for (int round = 0; round < 400; ++round) {
        std::string text;
        for (int k = 0; k < 12; ++k) text += pieces[rng() % (round % 2 == 0 ? 5 : std::size(pieces))];
        for (const bool page : {false, true}) {
            const std::string bytes = page ? "<html><body><p>" + text + "</p></body></html>" : text;
            WordContent content;
            ReadError error;
            const ByteView view(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
            ASSERT_TRUE(page ? ReadHtml(view, content, error) : ReadText(view, content, error)) << bytes;
            for (const Story& story : content.stories) {
                const bool normal = !NeedsNormalizing(story.text, false) &&
                                    std::all_of(story.text.begin(), story.text.end(), [](char16_t c) {
                                        return c < 0x80 ? c != 0x1F : IsPlainNormalCharacter(c);
                                    });
                ASSERT_EQ(story.knownNormal, normal) << bytes;
                marked += story.knownNormal ? 1 : 0;
            }
        }
    }
    EXPECT_GT(marked, 200);
    EXPECT_LT(marked, 700);
}

TEST(TextFastPath, WebTextFoldsSpacesAsTheRuleSays)
{
    // The rule, a unit at a time: a run of spaces, tabs, line feeds, form
    // feeds and carriage returns is one space before the next character,
    // unless that starts a line; a soft hyphen is Word's optional hyphen.
    const auto rule = [](std::u16string_view text) {
        std::u16string out;
        bool pending = false;
        for (const char16_t c : text) {
            if (c == u' ' || c == u'\t' || c == u'\n' || c == u'\f' || c == u'\r') {
                pending = true;
                continue;
            }
            if (pending && !out.empty() && out.back() != u'\r' && out.back() != 0x0B && out.back() != 0x07) out += u' ';
            pending = false;
            out += c == 0x00AD ? char16_t{0x1F} : c;
        }
        return out;
    };
    const std::u16string alphabet[] = {u"a",
                                       u"word",
                                       u" ",
                                       u"  ",
                                       u"\n",
                                       u"\t",
                                       u"\u00AD",
                                       u"\u000B",
                                       u"\u00E9",
                                       u"\r",
                                       u"\u0007",
                                       u"\u0021",
                                       u"\u00A0",
                                       u"\U0001F600",
                                       u"\u0020x\u0020",
                                       u"visible words and single spaces"};
    std::mt19937 rng(19);
    for (int round = 0; round < 3000; ++round) {
        std::u16string text;
        for (auto k = rng() % 60; k > 0; --k) text += alphabet[rng() % std::size(alphabet)];
        // Handed over in pieces, as a parser does.
        std::u16string out;
        HtmlTextBuilder builder(out);
        for (std::size_t at = 0; at < text.size();) {
            const std::size_t piece = 1 + rng() % 40;
            builder.Text(std::u16string_view(text).substr(at, piece), false);
            at += piece;
        }
        ASSERT_TRUE(out == rule(text)) << round;
        // The same from UTF-8, in pieces of whole characters.
        std::u16string fromUtf8;
        HtmlTextBuilder utf8Builder(fromUtf8);
        for (std::size_t at = 0; at < text.size();) {
            std::size_t piece = std::min(text.size() - at, std::size_t{1} + rng() % 40);
            if (at + piece < text.size() && text[at + piece] >= 0xDC00 && text[at + piece] <= 0xDFFF) ++piece;
            utf8Builder.TextUtf8(Utf16ToUtf8(std::u16string_view(text).substr(at, piece)), false);
            at += piece;
        }
        ASSERT_TRUE(fromUtf8 == out) << round;
    }
    // Two spaces (or one, first or last) at every place of runs around the
    // sixteen-byte steps, after a visible character and at a line start.
    for (std::size_t length = 8; length <= 40; ++length) {
        for (std::size_t at = 0; at < length; ++at) {
            for (const std::size_t spaces : {std::size_t{1}, std::size_t{2}}) {
                std::u16string text;
                for (std::size_t k = 0; k < length; ++k) text += static_cast<char16_t>(u'a' + k % 26);
                for (std::size_t k = at; k < std::min(length, at + spaces); ++k) text[k] = u' ';
                for (const std::u16string before : {u"w", u"w\r"}) {
                    std::u16string out = before;
                    HtmlTextBuilder builder(out);
                    builder.TextUtf8(Utf16ToUtf8(text), false);
                    builder.TextUtf8("z", false);
                    // (The rule reads a CR as white space; in the story it ends a line.)
                    const std::u16string expected = before.back() == u'\r' ? before + rule(text + u"z")
                                                                           : rule(before + text + u"z");
                    ASSERT_TRUE(out == expected) << length << " " << at << " " << spaces << " " << before.size();
                }
            }
        }
    }
    // Bytes that are no UTF-8 read as the converter reads them.
    for (const std::string bytes : {"a\xC3 b", "\xE6\x97 x", "\xFF\xFE", "word \xF0\x9F\x98"}) {
        std::u16string wide;
        AppendUtf8AsUtf16(wide, bytes);
        std::u16string viaWide, direct;
        HtmlTextBuilder(viaWide).Text(wide, false);
        HtmlTextBuilder(direct).TextUtf8(bytes, false);
        EXPECT_TRUE(direct == viaWide) << bytes;
    }
}

class NoEvents : public HtmlEventSink {
public:
    void StartElement(std::string_view, const HtmlAttributes&) override {}
    void EndElement() override {}
    void Characters(std::string_view) override {}
    void UnmatchedEndTag(std::string_view) override {}
    void DetachOpenElements() override {}
    bool ReadsText() const override { return true; }
};

TEST(TextFastPath, PlainCharactersAreTheSameWhetherThePageIsKnownWellFormed)
{
    // The characters libxml2 rewrites or refuses are not plain; they stand
    // in the text, where a long run of ASCII around them is scanned in bulk.
    const std::string pad(40, 'a');
    const struct {
        const char* character;
        bool plain;
    } cases[] = {{"\xC2\xA0", true},         {"\xC2\x85", false},     {"\xC2\x9F", false},    {"\xEF\xBF\xBD", true},
                 {"\xEF\xBF\xBE", false},    {"\xEF\xBF\xBF", false}, {"\xEF\xBC\xA1", true}, {"\xE6\x97\xA5", true},
                 {"\xF0\x9F\x98\x80", true}, {"\x7F", false},         {"\x01", false},        {"\t", true}};
    for (const auto& c : cases) {
        for (const std::string& text : {pad + c.character + pad, std::string(c.character), pad + c.character}) {
            const std::string page = "<html><body><p>" + text + "</p></body></html>";
            NoEvents none;
            EXPECT_EQ(HtmlStrictScanner::Scan(page, none, 256), c.plain) << text;
            EXPECT_EQ(HtmlStrictScanner::Scan(page, none, 256, true), c.plain) << text;
        }
    }
}

// The page read with the quick scanner allowed and without it (libxml2):
// the same outcome and the same stories.
bool ReadAlikeBothWays(const std::string& page, HtmlReadLimits limits)
{
    const ByteView bytes(reinterpret_cast<const std::uint8_t*>(page.data()), page.size());
    WordContent fast, slow;
    ReadError fastError, slowError;
    const bool fastOk = ReadHtml(bytes, fast, fastError, limits);
    limits.quickPlainPages = false;
    const bool slowOk = ReadHtml(bytes, slow, slowError, limits);
    if (fastOk != slowOk || fast.stories.size() != slow.stories.size()) return false;
    for (std::size_t s = 0; s < fast.stories.size(); ++s) {
        if (fast.stories[s].kind != slow.stories[s].kind || fast.stories[s].text != slow.stories[s].text) return false;
    }
    return true;
}

TEST(TextFastPath, PlainPagesAreDecodedAsEveryOtherPage)
{
    // Pages the quick scanner takes as they stand, but whose bytes decide
    // how they are read: each is read as libxml2 reads it after decoding.
    const std::string body = "<body><p>caf\xC3\xA9</p></body></html>";
    const std::string pages[] = {
        "<html>" + body,                                              // UTF-8 by its bytes
        "<html><head><meta charset=\"windows-1252\"></head>" + body,  // declared otherwise
        "<html><head><meta charset=\"utf-8\"></head>" + body,
        "<html><!-- \xE9 -->" + body,  // a byte that is no UTF-8
        "<html><head><title>\xE9</title></head>" + body,
        "<html><!-- " + std::string(1, '\0') + " -->" + body,  // a zero byte
        "\xEF\xBB\xBF<html>" + body,                           // a UTF-8 mark
        "\xEF\xBB\xBF<html><head><meta charset=\"windows-1252\"></head>" + body,
    };
    for (const std::string& page : pages) EXPECT_TRUE(ReadAlikeBothWays(page, HtmlReadLimits{})) << page;
}

TEST(TextFastPath, PlainPagesReadAsLibxml2ReadsThem)
{
    std::mt19937 rng(1718);
    PageMaker maker(rng);
    int quick = 0;
    const int rounds = 3000;
    for (int round = 0; round < rounds; ++round) {
        const std::string page = maker.Page();
        HtmlReadLimits limits;
        if (round % 5 == 0) limits.parserDepth = 8;
        NoEvents none;
        const bool plain = HtmlStrictScanner::Scan(page, none, limits.parserDepth);
        quick += plain ? 1 : 0;
        // Told that the page is well-formed, the scanner takes the same pages.
        if (IsValidUtf8(page)) {
            ASSERT_EQ(HtmlStrictScanner::Scan(page, none, limits.parserDepth, true), plain) << page;
        }
        ASSERT_TRUE(ReadAlikeBothWays(page, limits)) << page;
    }
    // Both routes were taken often.
    EXPECT_GT(quick, rounds / 4);
    EXPECT_LT(quick, rounds * 3 / 4);
}

}  // namespace
}  // namespace office
