// RTF reader on small documents written in the test: code pages, Unicode
// escapes, destinations, fields, stories and the nesting limit. The
// office-suite-made fixtures go through every reader in wordreaders_test.
#include "office/word/rtfreader.h"

#include "tests/office/docfixture.h"

#include <gtest/gtest.h>

using office::ReadError;
using office::ReadErrorKind;

using office::StoryKind;
using office::WordContent;

namespace {

bool Read(const std::string& rtf, WordContent& c, ReadError& error)
{
    return office::ReadRtf({reinterpret_cast<const std::uint8_t*>(rtf.data()), rtf.size()}, c, error);
}

std::u16string MainOf(const std::string& rtf)
{
    WordContent c;
    ReadError error;
    EXPECT_TRUE(Read(rtf, c, error)) << error;
    return c.stories.empty() ? u"<none>" : c.stories[0].text;
}

std::string Repeat(const std::string& s, int n)
{
    std::string out;
    for (int i = 0; i < n; ++i) out += s;
    return out;
}

TEST(RtfText, MainStoryOfSmallDocuments)
{
    const struct {
        std::string rtf;
        std::u16string main;
    } cases[] = {
        {"{\\rtf1 a\\tab b\\line c\\par d\\page e\\sect f\\column g\\par}", u"a\tb\vc\rd\fe\ff\fg\r"},
        {"{\\rtf1\\trowd\\cellx100\\cellx200 x\\cell y\\cell\\row z\\par}", u"x\ay\a\az\r"},
        // Source line ends are not text; a backslash before one is a paragraph.
        {"{\\rtf1 one\r\ntwo\\\nthree}", u"onetwo\rthree"},
        {"{\\rtf1 \\{braces\\} and \\\\ back\\~nb\\-soft\\_hard}", u"{braces} and \\ back\u00A0nb\x1Fsoft\x1Ehard"},
        {"{\\rtf1 \\lquote q\\rquote  \\ldblquote d\\rdblquote  \\emdash\\endash\\bullet}",
         u"\u2018q\u2019 \u201Cd\u201D \u2014\u2013\u2022"},
        // Code pages from the document, from fonts and from \deff; an
        // unknown one keeps the default; the symbol font's bytes become its
        // private-use characters; double-byte code pages decode pairs.
        {"{\\rtf1\\ansi caf\\'e9 \\'80}", u"caf\u00E9 \u20AC"},
        {"{\\rtf1\\ansi\\ansicpg1251 \\'cf\\'f0\\'e8}", u"\u041F\u0440\u0438"},
        {"{\\rtf1\\ansi\\ansicpg99999 \\'e9}", u"\u00E9"},
        {"{\\rtf1\\ansi{\\fonttbl{\\f0\\fswiss Arial;}{\\f1\\fcharset161 Greek;}{\\f2\\fcharset2 Symbol;}}"
         "\\f0 a\\'e9{\\f1 \\'e1\\'e2}{\\f2 a}\\'e9}",
         u"a\u00E9\u03B1\u03B2\uF061\u00E9"},
        {"{\\rtf1\\ansi\\deff1{\\fonttbl{\\f0 Arial;}{\\f1\\fcharset204 Cyr;}}\\'c4\\'e0 {\\f0 \\'e9}}", u"\u0414\u0430 \u00E9"},
        {"{\\rtf1\\ansi\\ansicpg936 \\'d6\\'d0\\'ce\\'c4}", u"\u4E2D\u6587"},
        // Unicode escapes skip their fallback, as many as \uc says, within
        // their group; surrogate pairs come as two escapes.
        {"{\\rtf1 \\u1071?x}", u"\u042Fx"},
        {"{\\rtf1\\uc2 \\u1071\\'3f\\'3fx}", u"\u042Fx"},
        {"{\\rtf1\\uc0 \\u1071 x}", u"\u042Fx"},
        {"{\\rtf1 \\u-3913?}", u"\uF0B7"},
        {"{\\rtf1 \\u-10179?\\u-8694?}", u"\U0001F60A"},
        {"{\\rtf1 {\\uc3 \\u1071}abc}", u"\u042Fabc"},
        // Destinations that are not text.
        {"{\\rtf1{\\fonttbl{\\f0 Arial;}}{\\colortbl;\\red1\\green2\\blue3;}{\\stylesheet{\\s0 Normal;}}"
         "{\\info{\\title Secret title}{\\author Someone}}{\\*\\generator Writer;}{\\*\\unknownthing hidden}"
         "visible{\\pict\\pngblip 89504e47} text{\\*\\bkmkstart mark}{\\*\\bkmkend mark}"
         "{\\listtext 1.\\tab}item\\bin4 {}{} end}",
         u"visible textitem end"},
        // Only a group that opens with \* is an ignorable destination.
        {"{\\rtf1 {\\f1\\*\\cs7 The quick brown fox} jumps}", u"The quick brown fox jumps"},
        {"{\\rtf1 {\\b\\*\\par x}y}", u"\rxy"},
        {"{\\rtf1 a\\*\\unknownword b}", u"ab"},
        {"{\\rtf1 a{\r\n\\*\\unknown hidden}b}", u"ab"},
        {"{\\rtf1 a{\\*\\*\\unknown hidden}b}", u"ab"},
        {"{\\rtf1 a{\\*\\unknown {\\*\\fldrslt inner}{\\b more} \\*\\result x}b}", u"ab"},
        {"{\\rtf1 a{\\*\\fldrslt shown}b}", u"ashownb"},
        {"{\\rtf1 {\\field{\\*\\fldinst PAGE}{\\fldrslt{\\b\\*\\cs9 7}}}}", u"7"},
        {"{\\rtf1 a{\\b\\*\\fldinst PAGE}b}", u"ab"},
        {"{\\rtf1 {\\u1071\\*\\cs7 x}y}", u"\u042Fxy"},
        {"{\\rtf1\\uc2 {\\u1071\\'3f\\*\\unknown x}y}", u"\u042Fxy"},
        {"{\\rtf1 \\u1071{\\*\\unknown hidden}x}", u"\u042Fx"},
        // Fields and objects keep their results.
        {"{\\rtf1 a {\\field{\\*\\fldinst{ PAGE }}{\\fldrslt{7}}} b}", u"a 7 b"},
        {"{\\rtf1 {\\field{\\fldinst HYPERLINK \"http://x\"}{\\fldrslt link}}}", u"link"},
        {"{\\rtf1 x{\\object\\objemb{\\*\\objclass Excel}{\\*\\objdata 0105}{\\result shown}}y}", u"xshowny"},
        // Nesting: deep groups keep their text; past the cap they keep their
        // characters and paragraph marks too; never closed, cut short or
        // with stray closers, what was there is read.
        {"{\\rtf1 " + Repeat("{", 998) + "deep" + Repeat("}", 998) + "}", u"deep"},
        {"{\\rtf1 before " + Repeat("{\\b ", 5000) + "deep\\par word{\\*\\bkmkstart x}\\u1071?" + Repeat("}", 5000) +
             " after}",
         u"before deep\rwordx\u042F after"},
        {"{\\rtf1 " + Repeat("{\\i ", 5000) + "bottom", u"bottom"},
        {"{\\rtf1 cut {\\b short", u"cut short"},
        {"{\\rtf1 a}}} b", u"a"},
        // Absurd parameters and overlong control words are harmless.
        {"{\\rtf1\\uc99999999999 \\u65?abcdefghijklmnopqrstu}", u"Apqrstu"},
        {"{\\rtf1 \\u99999999999?x\\bin-5 y\\" + std::string(200, 'a') + " z}", u"xyz"},
        {"{\\rtf1 a\\bin99999999 data}", u"a"},
    };
    for (const auto& c : cases) EXPECT_EQ(MainOf(c.rtf), c.main) << c.rtf.substr(0, 120);

    WordContent c;
    ReadError error;
    for (const char* notRtf : {"plain text", "{\\pard not rtf}", ""}) {
        EXPECT_FALSE(Read(notRtf, c, error)) << notRtf;
        EXPECT_EQ(error.kind, ReadErrorKind::NotThisFormat) << notRtf;
    }
}

TEST(RtfText, StoriesGoToTheirOwnStory)
{
    const std::string rtf = "{\\rtf1{\\header head\\par}{\\footerf foot}body{\\*\\footnote\\chftn note}"
                            "{\\footnote\\ftnalt endn}{\\*\\atnid A}{\\*\\annotation remark}"
                            "{\\shp{\\*\\shpinst{\\sp{\\sn x}{\\sv y}}{\\shptxt boxed\\par}}}\\par}";
    WordContent c;
    ReadError error;
    ASSERT_TRUE(Read(rtf, c, error)) << error;
    const std::pair<StoryKind, const char16_t*> expected[] = {
        {StoryKind::Main, u"body\r"},       {StoryKind::HeadersFooters, u"head\rfoot\r"},
        {StoryKind::Footnotes, u"note\r"},  {StoryKind::Endnotes, u"endn\r"},
        {StoryKind::Comments, u"remark\r"}, {StoryKind::TextBoxes, u"boxed\r"}};
    for (const auto& [kind, text] : expected) {
        const auto* story = docbin::StoryText(c, kind);
        ASSERT_NE(story, nullptr) << static_cast<int>(kind);
        EXPECT_EQ(*story, text);
    }
}

}  // namespace
