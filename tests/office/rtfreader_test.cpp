// RTF reader: the LibreOffice-made fixture, and small documents written in
// the test for code pages, Unicode escapes, destinations, fields, stories
// and the nesting limit.
#include "office/word/rtfreader.h"

#include "office/containers/filebytes.h"

#include <gtest/gtest.h>

using office::StoryKind;
using office::WordContent;

namespace {

bool Read(const std::string& rtf, WordContent& c, std::string& error)
{
    return office::ReadRtf({reinterpret_cast<const std::uint8_t*>(rtf.data()), rtf.size()}, c, error);
}

std::u16string MainOf(const std::string& rtf)
{
    WordContent c;
    std::string error;
    EXPECT_TRUE(Read(rtf, c, error)) << error;
    return c.stories.empty() ? u"<none>" : c.stories[0].text;
}

const std::u16string* Find(const WordContent& c, StoryKind kind)
{
    for (const auto& s : c.stories) {
        if (s.kind == kind) return &s.text;
    }
    return nullptr;
}

bool Has(const std::u16string* text, std::u16string_view what)
{
    return text != nullptr && text->find(what) != std::u16string::npos;
}

class RtfFixture : public ::testing::TestWithParam<const char*> {};

TEST_P(RtfFixture, EveryStoryAndSpecialCharacter)
{
    std::vector<std::uint8_t> bytes;
    std::string error;
    ASSERT_TRUE(office::ReadFileBytes(std::string(VARNEL_TEST_DATA) + "/word/" + GetParam(), bytes, error));
    WordContent c;
    ASSERT_TRUE(office::ReadRtf({bytes.data(), bytes.size()}, c, error)) << error;
    const auto* main = Find(c, StoryKind::Main);
    EXPECT_TRUE(Has(main, u"Mainalpha first paragraph.\r"));
    EXPECT_TRUE(Has(main, u"Tabbed\tcolumn and Spaced   four spaces."));
    EXPECT_TRUE(Has(main, u"Line\vbroken and non\u00A0breaking and soft\x1Fhyphen and hard\x1Ehyphen."));
    EXPECT_TRUE(Has(main, u"Noteholder and Endholder."));
    EXPECT_TRUE(Has(main, u"Fieldday 2021-03-04 and page 1 end."));
    EXPECT_TRUE(Has(main, u"Cellone\aCelltwo\a\aCellthree\aCellfour\a\a"));
    EXPECT_TRUE(Has(Find(c, StoryKind::Footnotes), u"Footnoteword text."));
    EXPECT_TRUE(Has(Find(c, StoryKind::Endnotes), u"Endnoteword text."));
    EXPECT_TRUE(Has(Find(c, StoryKind::Comments), u"Commentword remark."));
    EXPECT_TRUE(Has(Find(c, StoryKind::HeadersFooters), u"Headerword alpha"));
    EXPECT_TRUE(Has(Find(c, StoryKind::HeadersFooters), u"Footerword page 1"));
    EXPECT_TRUE(Has(Find(c, StoryKind::TextBoxes), u"Textboxword inside."));
    for (const auto& s : c.stories) {
        EXPECT_FALSE(Has(&s.text, u"PAGE"));
        EXPECT_FALSE(Has(&s.text, u"Times New Roman"));  // font table
        EXPECT_FALSE(Has(&s.text, u"Tester"));           // comment author
    }
}

// The same RTF under a .doc name: the reader goes by content, not by name.
INSTANTIATE_TEST_SUITE_P(Files, RtfFixture, ::testing::Values("fmt-stories.rtf", "fmt-rtfinside.doc"));

TEST(RtfText, ParagraphsTabsBreaksAndTables)
{
    EXPECT_EQ(MainOf("{\\rtf1 a\\tab b\\line c\\par d\\page e\\sect f\\column g\\par}"), u"a\tb\vc\rd\fe\ff\fg\r");
    EXPECT_EQ(MainOf("{\\rtf1\\trowd\\cellx100\\cellx200 x\\cell y\\cell\\row z\\par}"), u"x\ay\a\az\r");
    // Source line ends are not text; a backslash before one is a paragraph.
    EXPECT_EQ(MainOf("{\\rtf1 one\r\ntwo\\\nthree}"), u"onetwo\rthree");
    EXPECT_EQ(MainOf("{\\rtf1 \\{braces\\} and \\\\ back\\~nb\\-soft\\_hard}"),
              u"{braces} and \\ back\u00A0nb\x1Fsoft\x1Ehard");
    EXPECT_EQ(MainOf("{\\rtf1 \\lquote q\\rquote  \\ldblquote d\\rdblquote  \\emdash\\endash\\bullet}"),
              u"\u2018q\u2019 \u201Cd\u201D \u2014\u2013\u2022");
}

TEST(RtfText, CodePagesFromTheDocumentAndFromFonts)
{
    EXPECT_EQ(MainOf("{\\rtf1\\ansi caf\\'e9 \\'80}"), u"caf\u00E9 \u20AC");
    EXPECT_EQ(MainOf("{\\rtf1\\ansi\\ansicpg1251 \\'cf\\'f0\\'e8}"), u"\u041F\u0440\u0438");
    // An unknown code page keeps the default.
    EXPECT_EQ(MainOf("{\\rtf1\\ansi\\ansicpg99999 \\'e9}"), u"\u00E9");
    // A font with a Greek character set decodes its bytes as Greek; the
    // symbol font's bytes become its private-use characters.
    const std::string fonts = "{\\rtf1\\ansi{\\fonttbl{\\f0\\fswiss Arial;}{\\f1\\fcharset161 Greek;}"
                              "{\\f2\\fcharset2 Symbol;}}\\f0 a\\'e9{\\f1 \\'e1\\'e2}{\\f2 a}\\'e9}";
    EXPECT_EQ(MainOf(fonts), u"a\u00E9\u03B1\u03B2\uF061\u00E9");
    // Text before any font change is in the default font (\deff).
    EXPECT_EQ(MainOf("{\\rtf1\\ansi\\deff1{\\fonttbl{\\f0 Arial;}{\\f1\\fcharset204 Cyr;}}\\'c4\\'e0 {\\f0 \\'e9}}"),
              u"\u0414\u0430 \u00E9");
    // Double-byte code pages decode byte pairs.
    EXPECT_EQ(MainOf("{\\rtf1\\ansi\\ansicpg936 \\'d6\\'d0\\'ce\\'c4}"), u"\u4E2D\u6587");
}

TEST(RtfText, UnicodeEscapesSkipTheirFallback)
{
    EXPECT_EQ(MainOf("{\\rtf1 \\u1071?x}"), u"\u042Fx");
    EXPECT_EQ(MainOf("{\\rtf1\\uc2 \\u1071\\'3f\\'3fx}"), u"\u042Fx");
    EXPECT_EQ(MainOf("{\\rtf1\\uc0 \\u1071 x}"), u"\u042Fx");
    EXPECT_EQ(MainOf("{\\rtf1 \\u-3913?}"), u"\uF0B7");
    // A surrogate pair written as two escapes.
    EXPECT_EQ(MainOf("{\\rtf1 \\u-10179?\\u-8694?}"), u"\U0001F60A");
    // The skip count does not leak out of its group.
    EXPECT_EQ(MainOf("{\\rtf1 {\\uc3 \\u1071}abc}"), u"\u042Fabc");
}

TEST(RtfText, DestinationsThatAreNotTextAreSkipped)
{
    const std::string rtf =
        "{\\rtf1{\\fonttbl{\\f0 Arial;}}{\\colortbl;\\red1\\green2\\blue3;}{\\stylesheet{\\s0 Normal;}}"
        "{\\info{\\title Secret title}{\\author Someone}}{\\*\\generator Writer;}{\\*\\unknownthing hidden}"
        "visible{\\pict\\pngblip 89504e47} text{\\*\\bkmkstart mark}{\\*\\bkmkend mark}"
        "{\\listtext 1.\\tab}item\\bin4 {}{} end}";
    EXPECT_EQ(MainOf(rtf), u"visible textitem end");
}

// Only a group that opens with \* is an ignorable destination; a \* anywhere
// else in a group marks nothing and must not hide the text after it.
TEST(RtfText, StarMarksOnlyADestinationThatOpensItsGroup)
{
    struct Case {
        const char* rtf;
        const char16_t* main;
    };
    const Case cases[] = {
        // A character style written after other formatting.
        {"{\\rtf1 {\\f1\\*\\cs7 The quick brown fox} jumps}", u"The quick brown fox jumps"},
        {"{\\rtf1 {\\b\\*\\par x}y}", u"\rxy"},
        {"{\\rtf1 a\\*\\unknownword b}", u"ab"},
        // Unknown destinations stay hidden, also after a source line end,
        // nested, or with the mark repeated.
        {"{\\rtf1 a{\\*\\unknown hidden}b}", u"ab"},
        {"{\\rtf1 a{\r\n\\*\\unknown hidden}b}", u"ab"},
        {"{\\rtf1 a{\\*\\*\\unknown hidden}b}", u"ab"},
        {"{\\rtf1 a{\\*\\unknown {\\*\\fldrslt inner}{\\b more} \\*\\result x}b}", u"ab"},
        // Destinations we read stay read, with or without the mark.
        {"{\\rtf1 a{\\*\\fldrslt shown}b}", u"ashownb"},
        {"{\\rtf1 {\\field{\\*\\fldinst PAGE}{\\fldrslt{\\b\\*\\cs9 7}}}}", u"7"},
        // Skipped destinations are skipped whether or not a mark stands before them.
        {"{\\rtf1 a{\\b\\*\\fldinst PAGE}b}", u"ab"},
        // A \* eaten as the fallback of a \uN marks nothing either.
        {"{\\rtf1 {\\u1071\\*\\cs7 x}y}", u"\u042Fxy"},
        {"{\\rtf1\\uc2 {\\u1071\\'3f\\*\\unknown x}y}", u"\u042Fxy"},
        // A fallback count does not reach into a following group.
        {"{\\rtf1 \\u1071{\\*\\unknown hidden}x}", u"\u042Fx"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(MainOf(c.rtf), std::u16string(c.main)) << c.rtf;
    }
}

TEST(RtfText, FieldsKeepResultsAndObjectsKeepTheirResult)
{
    EXPECT_EQ(MainOf("{\\rtf1 a {\\field{\\*\\fldinst{ PAGE }}{\\fldrslt{7}}} b}"), u"a 7 b");
    EXPECT_EQ(MainOf("{\\rtf1 {\\field{\\fldinst HYPERLINK \"http://x\"}{\\fldrslt link}}}"), u"link");
    EXPECT_EQ(MainOf("{\\rtf1 x{\\object\\objemb{\\*\\objclass Excel}{\\*\\objdata 0105}"
                     "{\\result shown}}y}"),
              u"xshowny");
}

TEST(RtfText, StoriesGoToTheirOwnStory)
{
    const std::string rtf = "{\\rtf1{\\header head\\par}{\\footerf foot}body{\\*\\footnote\\chftn note}"
                            "{\\footnote\\ftnalt endn}{\\*\\atnid A}{\\*\\annotation remark}"
                            "{\\shp{\\*\\shpinst{\\sp{\\sn x}{\\sv y}}{\\shptxt boxed\\par}}}\\par}";
    WordContent c;
    std::string error;
    ASSERT_TRUE(Read(rtf, c, error)) << error;
    EXPECT_EQ(*Find(c, StoryKind::Main), u"body\r");
    EXPECT_EQ(*Find(c, StoryKind::HeadersFooters), u"head\rfoot\r");
    EXPECT_EQ(*Find(c, StoryKind::Footnotes), u"note\r");
    EXPECT_EQ(*Find(c, StoryKind::Endnotes), u"endn\r");
    EXPECT_EQ(*Find(c, StoryKind::Comments), u"remark\r");
    EXPECT_EQ(*Find(c, StoryKind::TextBoxes), u"boxed\r");
}

TEST(RtfLimits, DeepNestingKeepsItsTextAndBadInputFails)
{
    std::string ok = "{\\rtf1 ";
    for (int i = 0; i < 998; ++i) ok += "{";
    ok += "deep";
    for (int i = 0; i < 998; ++i) ok += "}";
    ok += "}";
    EXPECT_EQ(MainOf(ok), u"deep");

    // Past the nesting cap groups keep their text, their characters and
    // their paragraph marks; the file used to be refused whole.
    std::string tooDeep = "{\\rtf1 before ";
    for (int i = 0; i < 5000; ++i) tooDeep += "{\\b ";
    tooDeep += "deep\\par word{\\*\\bkmkstart x}\\u1071?";
    for (int i = 0; i < 5000; ++i) tooDeep += "}";
    tooDeep += " after}";
    EXPECT_EQ(MainOf(tooDeep), u"before deep\rwordx\u042F after");
    // Never closed: read to the end all the same.
    std::string unclosed = "{\\rtf1 ";
    for (int i = 0; i < 5000; ++i) unclosed += "{\\i ";
    unclosed += "bottom";
    EXPECT_EQ(MainOf(unclosed), u"bottom");

    WordContent c;
    std::string error;
    EXPECT_FALSE(Read("plain text", c, error));
    EXPECT_FALSE(Read("{\\pard not rtf}", c, error));
    EXPECT_FALSE(Read("", c, error));
    // Cut short or with stray closers: what was there is read.
    EXPECT_EQ(MainOf("{\\rtf1 cut {\\b short"), u"cut short");
    EXPECT_EQ(MainOf("{\\rtf1 a}}} b"), u"a");
    // Absurd parameters and overlong control words are harmless: the skip
    // count is capped at 16, an out-of-range \u is dropped with its fallback.
    EXPECT_EQ(MainOf("{\\rtf1\\uc99999999999 \\u65?abcdefghijklmnopqrstu}"), u"Apqrstu");
    EXPECT_EQ(MainOf("{\\rtf1 \\u99999999999?x\\bin-5 y\\" + std::string(200, 'a') + " z}"), u"xyz");
    EXPECT_EQ(MainOf("{\\rtf1 a\\bin99999999 data}"), u"a");
}

}  // namespace
