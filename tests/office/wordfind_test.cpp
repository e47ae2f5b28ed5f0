// The built-in Word's Find engine on in-memory documents: one table of
// matching decisions over every mode, one of replacements, the clearing
// passes Kestrel runs, and the block-wise literal search held to a plain
// one on random input. What the document remembers between searches is
// held to a search without shortcuts in findshortcuts_test.
#include "office/word/soundslike.h"
#include "office/word/wildcardpattern.h"
#include "tests/office/wordfixture.h"

#include <gtest/gtest.h>

#include <random>
#include <tuple>

namespace {

using namespace wordfix;

TEST(WordFind, MatchingDecisions)
{
    const std::u16string surrogates = u"ab" + std::u16string(1, 0xD800) + u"cd " + std::u16string(1, 0xDC00) + u" \U0001F600 ef\r";
    struct Probe {
        std::u16string find;
        const char* switches;
        bool found;
    };
    const std::tuple<std::u16string, std::vector<Probe>> cases[] = {
        // Case folding, not accent stripping; sharp s folds to ss, whose
        // half is no match; match case is exact.
        {u"Caf\u00C9 au LAIT\r", {{u"caf\u00E9", "", true}, {u"lait", "", true}, {u"cafe", "", false}}},
        {u"Stra\u00DFe\r", {{u"STRASSE", "", true}, {u"strasse", "", true}, {u"stras", "", false}}},
        {u"STRASSE\r", {{u"stra\u00DFe", "", true}}},
        {u"Caf\u00C9 Stra\u00DFe\r", {{u"Caf\u00C9", "c", true}, {u"caf\u00E9", "c", false}, {u"STRASSE", "c", false}}},
        // Caret codes for characters (tab, paragraph, line, page break,
        // nonbreaking space and hyphen, optional hyphen, caret, decimal
        // ANSI and Unicode codes) and for classes; unknown codes are literal.
        {u"a\tb\rc\vd\fe\u00A0f\x1Eg\x1Fh^i\u20AC\r",
         {{u"a^tb^pc^ld^me^sf^~g^-h^^i", "", true}, {u"a^9b", "", true}, {u"^128", "", true}, {u"i^u8364", "", true},
          {u"a^pb", "", false}}},
        {u"Room 42 is \t  free\r",
         {{u"Room ^#^#", "", true}, {u"Room ^#^#^#", "", false}, {u"^$oom", "", true}, {u"^$42", "", false},
          {u"R^?om", "", true}, {u"is^wfree", "", true}, {u"Room^w42^wis^wfree^w^w", "", false}}},
        {u"cost ^x and ^\r", {{u"^x", "", true}, {u"and ^", "", true}}},
        // Whole words: also over several words, digits and other scripts.
        {u"The concatenated cat, a CATalog.\r", {{u"cat", "w", true}}},
        {u"concatenate catalog\r", {{u"cat", "w", false}, {u"cat", "", true}}},
        // An underscore is a word character: also for the wildcard word edges.
        {u"snake_case name _init\r",
         {{u"snake", "w", false}, {u"snake_case", "w", true}, {u"<case>", "*", false}, {u"<_init>", "*", true}}},
        {u"big catalog here\r", {{u"big cat", "w", false}, {u"big catalog", "w", true}, {u"ig catalog", "w", false}}},
        {u"Zahl 12345 und \u0436\u0443\u0440\u043D\u0430\u043B\r",
         {{u"234", "w", false}, {u"12345", "w", true}, {u"\u0436\u0443\u0440", "w", false},
          {u"\u0416\u0423\u0420\u041D\u0410\u041B", "w", true}}},
        // Wildcards in Word's syntax, always matching case, whole word ignored.
        {u"The loot was lot. Colour and color, 2024-12-06, [note].\r",
         {{u"lo@t", "*", true}, {u"Col*r", "*", true}, {u"[0-9]{4}-[0-9]{2}-[0-9]{2}", "*", true},
          {u"[0-9]{5}", "*", false}, {u"col[!u]r", "*", true}, {u"\\[note\\]", "*", true}, {u"(Col)(our)", "*", true}}},
        {u"\u00E9t\u00E9 pr\u00E9t\u00E9 leather the\r", {{u"<\u00E9t\u00E9>", "*", true}, {u"<t\u00E9>", "*", false}}},
        {u"leather other\r", {{u"<the>", "*", false}, {u"<oth", "*", true}}},
        {u"Report concatenate\r", {{u"report", "*", false}, {u"cat", "*w", true}}},
        {u"a(b[c{d}e\r", {{u"a\\(b", "*", true}}},
        // Sounds like, several words in order; all word forms; precedence:
        // wildcards, then word forms, then sounds like.
        {u"Mr Smyth had funny ideas.\r",
         {{u"Smith", "s", true}, {u"fun", "s", true}, {u"table", "s", false}, {u"Smith", "", false}}},
        {u"Dear Jon Smyth, hello\r", {{u"John Smith", "s", true}, {u"Smith John", "s", false}}},
        {u"The cat sat there.\r", {{u"sit", "f", true}, {u"sit", "", false}}},
        {u"She is sitting.\r", {{u"sit", "f", true}}},
        {u"He ran home.\r", {{u"run", "f", true}}},
        {u"They went home.\r", {{u"go", "f", true}, {u"gone", "f", true}}},
        {u"Three blind mice.\r", {{u"Mouse", "f", true}}},
        {u"They walked.\r", {{u"walking", "f", true}, {u"run", "f", false}}},
        {u"He sat by Smyth.\r",
         {{u"s?t", "*fs", true}, {u"sit", "*fs", false}, {u"sit", "fs", true}, {u"Smith", "fs", false}}},
        // Units sharing a low byte (U+0161, U+0061) do not fool the skip table.
        {u"xx\u0161aba abab\u0161ab abcabcabd\r",
         {{u"abab\u0161ab", "c", true}, {u"abab\u0161aa", "c", false}, {u"ABCABD", "", true}}},
        // Empty texts, lone surrogates.
        {u"", {{u"", "", false}, {u"a", "", false}, {u"a", "s", false}, {u"?", "*", false}}},
        {surrogates,
         {{u"cd", "", true}, {u"c?", "*", true}, {u"\U0001F600 ef", "*", true}, {u"ef", "s", true}, {u"EF", "w", true}}},
    };
    for (const auto& [text, probes] : cases) {
        auto doc = Document({text});
        for (const Probe& p : probes) {
            EXPECT_EQ(Find(doc, p.find, p.switches), p.found) << Show(p.find) << " [" << p.switches << "] in " << Show(text);
        }
    }
    auto odd = Document({surrogates});
    EXPECT_TRUE(Find(odd, u" ^? ef"));  // "^?" takes a whole character
    EXPECT_TRUE(ReplaceAll(odd, u"?", u"x", "*"));
    // A column break, both dashes, a five-digit Unicode code.
    auto codes = Document({u"x\x0Ey\u2014z\u2013\u3042\r"});
    EXPECT_TRUE(Find(codes, u"x^ny^+z^=^u12354"));
    // A match never spans two stories; every story is searched.
    auto doc = Document({u"Main text\r", u"In a footnote\r"});
    EXPECT_TRUE(Find(doc, u"footnote"));
    EXPECT_FALSE(Find(doc, u"text\rIn"));
}

TEST(WordFind, Replacements)
{
    const std::tuple<std::u16string, std::u16string, std::u16string, const char*, bool, std::u16string> cases[] = {
        {u"x Stra\u00DFe y\r", u"STRASSE", u"road", "", true, u"x road y\r"},
        {u"one two\r", u"two", u"^&^t[^&]^p", "", true, u"one two\t[two]\r\r"},
        {u"Smith John; Doe Jane\r", u"(<[A-Z][a-z]@>) (<[A-Z][a-z]@>)", u"\\2 \\1", "*", true,
         u"John Smith; Jane Doe\r"},
        {u"aaa\r", u"b", u"c", "", false, u"aaa\r"},
        {u"aaa\r", u"aa", u"a", "", true, u"aa\r"},
        // The invisible characters beside a match are not part of it.
        {u"a\u00AD\t\u00ADb\r", u"^t", u" ", "c", true, u"a\u00AD \u00ADb\r"},
        // The characters left out of a match, and the pieces of a composed
        // one, go with it.
        {u"a Hyphen\u00ADation cafe\u0301 b\r", u"hyphenation caf\u00E9", u"X", "", true, u"a X b\r"},
    };
    for (const auto& [text, find, with, switches, replaced, after] : cases) {
        auto doc = Document({text});
        EXPECT_EQ(ReplaceAll(doc, find, with, switches), replaced) << Show(find);
        EXPECT_EQ(doc.Text(0), after) << Show(find);
    }
    auto doc = Document({u"Main text\r", u"In a footnote\r"});
    EXPECT_TRUE(ReplaceAll(doc, u"a", u"4"));
    EXPECT_EQ(doc.Text(0), u"M4in text\r");
    EXPECT_EQ(doc.Text(1), u"In 4 footnote\r");
    FindRequest one = Request(u"4");
    one.replaceWith = u"b";
    one.replace = ReplaceMode::One;
    EXPECT_TRUE(ExecuteFind(doc, one));
    EXPECT_EQ(doc.Text(0), u"Mbin text\r");
    EXPECT_EQ(doc.Text(1), u"In 4 footnote\r");
}

TEST(WordFind, InvalidAndPathologicalWildcardPatterns)
{
    auto doc = Document({u"a(b[c{d}e\r"});
    for (const std::u16string p : {u"(ab", u"ab)", u"[abc", u"[]", u"a{", u"a{x}", u"a{3,1}", u"@a", u"{2}", u"[z-a]",
                                   u"a\\", u""}) {
        EXPECT_FALSE(IsValidWordWildcardPattern(p)) << Show(p);
        EXPECT_FALSE(Find(doc, p, "*"));
    }
    // A backtracking engine would need ages for these.
    auto as = Document({std::u16string(20000, u'a') + u"\r"});
    EXPECT_FALSE(Find(as, u"(a@)@b", "*"));
    EXPECT_FALSE(Find(as, u"*a*a*a*a*a*a*a*b", "*"));
}

TEST(WordFind, SoundexCodes)
{
    const std::pair<const char16_t*, const char*> codes[] = {{u"Robert", "R163"},  {u"Rupert", "R163"},  {u"Ashcraft", "A261"}, {u"Tymczak", "T522"},
                                                             {u"Pfister", "P236"}, {u"M\u00FCller", "M460"}, {u"1234", ""}};
    for (const auto& [word, code] : codes) EXPECT_EQ(SoundexCode(word), code) << Show(word);
}

// Kestrel's clearing: one tab pass, then eleven passes of two spaces to one,
// which end runs of up to 2,048 spaces as one.
TEST(WordFindClearing, RunsOfUpTo2048SpacesEndAsOne)
{
    std::u16string text = u"x\ty";
    for (std::size_t n : {2u, 3u, 7u, 100u, 1000u, 2048u}) text += u"w" + std::u16string(n, u' ') + u"z";
    auto doc = Document({text + u"\r"});
    ReplaceAll(doc, u"^t", u" ", "c");
    for (int i = 0; i < 11; ++i) ReplaceAll(doc, u"  ", u" ", "c");
    EXPECT_EQ(doc.Text(0), u"x yw zw zw zw zw zw z\r");
    auto longer = Document({u"a" + std::u16string(2049, u' ') + u"b"});
    for (int i = 0; i < 11; ++i) ReplaceAll(longer, u"  ", u" ", "c");
    EXPECT_EQ(longer.Text(0), u"a  b");
    // The passes after the text is clear cost nothing: the document
    // remembers what is absent until a replacement can bring it back.
    EXPECT_TRUE(ReplaceAll(longer, u"  ", u" ", "c"));
    const auto version = longer.Version();
    EXPECT_FALSE(ReplaceAll(longer, u"  ", u" ", "c"));
    EXPECT_TRUE(longer.IsKnownAbsent(u"  "));
    EXPECT_EQ(longer.Version(), version);
}

// Literal searches compare blocks of units at a time (the one- and two-unit
// ones of the clearing passes too); every offset and every tail must still
// be seen.
TEST(WordFindEdge, LiteralSearchFindsTheFirstOccurrenceLikeAPlainFind)
{
    std::mt19937 rng(17);
    auto randomAb = [&rng](std::size_t n) {
        std::u16string s(n, u'a');
        for (char16_t& c : s) c = rng() % 3 == 0 ? u'b' : u'a';
        return s;
    };
    for (int round = 0; round < 4000; ++round) {
        const std::u16string text = randomAb(rng() % 90);
        FindRequest r = Request(randomAb(1 + rng() % 11), "c");
        r.replaceWith = u"#";
        r.replace = ReplaceMode::One;
        const std::size_t expected = text.find(r.findText);
        auto doc = Document({text});
        ASSERT_EQ(ExecuteFind(doc, r), expected != std::u16string::npos) << round;
        ASSERT_EQ(doc.Text(0).find(u'#'), expected) << round;
    }
}

}  // namespace
