// The built-in Word's Find engine on in-memory documents: every matching
// decision, replacements, and the memory of absent spacing that keeps the
// clearing passes cheap.
#include "office/word/caretcodes.h"
#include "office/word/soundslike.h"
#include "office/text/matchtext.h"
#include "office/word/wildcardpattern.h"
#include "office/word/wordfind.h"
#include "office/word/wordforms.h"

#include <gtest/gtest.h>

#include <random>
#include <string>

namespace office {
namespace {

WordDocument MakeDocument(std::u16string main, std::u16string footnotes = {})
{
    WordContent content;
    content.stories.push_back({StoryKind::Main, std::move(main)});
    if (!footnotes.empty()) content.stories.push_back({StoryKind::Footnotes, std::move(footnotes)});
    return WordDocument(std::move(content));
}

bool Find(WordDocument& doc, std::u16string text, FindOptions options = {})
{
    FindRequest r;
    r.findText = std::move(text);
    r.options = options;
    return ExecuteFind(doc, r);
}

bool ReplaceAll(WordDocument& doc, std::u16string text, std::u16string with, FindOptions options = {})
{
    FindRequest r;
    r.findText = std::move(text);
    r.replaceWith = std::move(with);
    r.options = options;
    r.replace = ReplaceMode::All;
    return ExecuteFind(doc, r);
}

FindOptions Case() { FindOptions o; o.matchCase = true; return o; }
FindOptions Whole() { FindOptions o; o.matchWholeWord = true; return o; }
FindOptions Wild() { FindOptions o; o.matchWildcards = true; return o; }
FindOptions Sounds() { FindOptions o; o.matchSoundsLike = true; return o; }
FindOptions Forms() { FindOptions o; o.matchAllWordForms = true; return o; }

// ---- Case folding ----------------------------------------------------------

TEST(WordFindCase, FoldingIgnoresCaseIncludingAccentedLetters)
{
    auto doc = MakeDocument(u"Caf\u00C9 au LAIT\r");
    EXPECT_TRUE(Find(doc, u"caf\u00E9"));
    EXPECT_TRUE(Find(doc, u"lait"));
    // Folding is not accent stripping: e and é stay different letters.
    EXPECT_FALSE(Find(doc, u"cafe"));
}

TEST(WordFindCase, SharpSFoldsToDoubleS)
{
    auto doc = MakeDocument(u"Die Stra\u00DFe und die STRASSE\r");
    EXPECT_TRUE(Find(doc, u"STRASSE"));
    EXPECT_TRUE(Find(doc, u"stra\u00DFe"));
    auto onlySharp = MakeDocument(u"Stra\u00DFe\r");
    EXPECT_TRUE(Find(onlySharp, u"strasse"));
    // Half of the folded "ss" is not a match of its own.
    EXPECT_FALSE(Find(onlySharp, u"stras"));
}

TEST(WordFindCase, MatchCaseIsExact)
{
    auto doc = MakeDocument(u"Caf\u00C9 Stra\u00DFe\r");
    EXPECT_TRUE(Find(doc, u"Caf\u00C9", Case()));
    EXPECT_FALSE(Find(doc, u"caf\u00E9", Case()));
    EXPECT_FALSE(Find(doc, u"STRASSE", Case()));
}

TEST(WordFindCase, FoldedOffsetsMapBackToTheOriginal)
{
    MatchText f(u"A\u00DFB", true, false);
    ASSERT_EQ(f.Text(), u"assb");
    EXPECT_TRUE(f.IsCharacterEdge(1));
    EXPECT_FALSE(f.IsCharacterEdge(2));
    EXPECT_EQ(f.OriginalStart(3), 2u);
    EXPECT_EQ(f.OriginalEnd(3), 2u);
    EXPECT_EQ(f.OriginalEnd(2), 2u);
    EXPECT_EQ(f.OriginalEnd(4), 3u);
}

TEST(WordFindCase, ReplacementUnderFoldingReplacesTheOriginalCharacters)
{
    auto doc = MakeDocument(u"x Stra\u00DFe y\r");
    EXPECT_TRUE(ReplaceAll(doc, u"STRASSE", u"road"));
    EXPECT_EQ(doc.Text(0), u"x road y\r");
}

// ---- Caret codes ----------------------------------------------------------

TEST(WordFindCaret, CharacterCodes)
{
    auto doc = MakeDocument(u"a\tb\rc\u000Bd\u000Ce\u00A0f\u001Eg\u001Fh^i\u20AC\r");
    EXPECT_TRUE(Find(doc, u"a^tb"));
    EXPECT_TRUE(Find(doc, u"b^pc"));
    EXPECT_TRUE(Find(doc, u"c^ld"));
    EXPECT_TRUE(Find(doc, u"d^me"));
    EXPECT_TRUE(Find(doc, u"e^sf"));
    EXPECT_TRUE(Find(doc, u"f^~g"));
    EXPECT_TRUE(Find(doc, u"g^-h"));
    EXPECT_TRUE(Find(doc, u"h^^i"));
    EXPECT_TRUE(Find(doc, u"a^9b"));       // decimal code of the tab
    EXPECT_TRUE(Find(doc, u"^128"));       // ANSI 128 is the euro sign
    EXPECT_TRUE(Find(doc, u"i^u8364"));    // Unicode, decimal
    EXPECT_FALSE(Find(doc, u"a^pb"));
}

TEST(WordFindCaret, ClassCodes)
{
    auto doc = MakeDocument(u"Room 42 is \t  free\r");
    EXPECT_TRUE(Find(doc, u"Room ^#^#"));
    EXPECT_FALSE(Find(doc, u"Room ^#^#^#"));
    EXPECT_TRUE(Find(doc, u"^$oom"));
    EXPECT_FALSE(Find(doc, u"^$42"));
    EXPECT_TRUE(Find(doc, u"R^?om"));
    EXPECT_TRUE(Find(doc, u"is^wfree"));
    EXPECT_FALSE(Find(doc, u"Room^w42^wis^wfree^w^w"));
}

TEST(WordFindCaret, UnknownCodesAreLiteral)
{
    auto doc = MakeDocument(u"cost ^x and ^\r");
    EXPECT_TRUE(Find(doc, u"^x"));
    EXPECT_TRUE(Find(doc, u"and ^"));
    const auto elements = ParseFindCodes(u"^z^");
    ASSERT_EQ(elements.size(), 3u);
    EXPECT_EQ(elements[0].ch, u'^');
    EXPECT_EQ(elements[1].ch, u'z');
}

TEST(WordFindCaret, ReplacementCodes)
{
    auto doc = MakeDocument(u"one two\r");
    EXPECT_TRUE(ReplaceAll(doc, u"two", u"^&^t[^&]^p"));
    EXPECT_EQ(doc.Text(0), u"one two\t[two]\r\r");
}

// ---- Whole words -----------------------------------------------------------

TEST(WordFindWholeWord, MatchesOnlyWholeWords)
{
    auto doc = MakeDocument(u"The concatenated cat, a CATalog.\r");
    EXPECT_TRUE(Find(doc, u"cat", Whole()));
    auto inside = MakeDocument(u"concatenate catalog\r");
    EXPECT_FALSE(Find(inside, u"cat", Whole()));
    EXPECT_TRUE(Find(inside, u"cat"));
}

TEST(WordFindWholeWord, SeveralWordsMustStillEndOnBoundaries)
{
    auto doc = MakeDocument(u"big catalog here\r");
    EXPECT_FALSE(Find(doc, u"big cat", Whole()));
    EXPECT_TRUE(Find(doc, u"big catalog", Whole()));
    EXPECT_FALSE(Find(doc, u"ig catalog", Whole()));
}

TEST(WordFindWholeWord, DigitsAndNonLatinLettersAreWords)
{
    auto doc = MakeDocument(u"Zahl 12345 und \u0436\u0443\u0440\u043D\u0430\u043B\r");
    EXPECT_FALSE(Find(doc, u"234", Whole()));
    EXPECT_TRUE(Find(doc, u"12345", Whole()));
    EXPECT_FALSE(Find(doc, u"\u0436\u0443\u0440", Whole()));
    EXPECT_TRUE(Find(doc, u"\u0416\u0423\u0420\u041D\u0410\u041B", Whole()));
}

// ---- Wildcards -------------------------------------------------------------

TEST(WordFindWildcards, WordSyntax)
{
    auto doc = MakeDocument(u"The loot was lot. Colour and color, 2024-12-06, [note].\r");
    EXPECT_TRUE(Find(doc, u"lo@t", Wild()));
    EXPECT_TRUE(Find(doc, u"l?t", Wild()));
    EXPECT_TRUE(Find(doc, u"Col*r", Wild()));
    EXPECT_TRUE(Find(doc, u"[0-9]{4}-[0-9]{2}-[0-9]{2}", Wild()));
    EXPECT_FALSE(Find(doc, u"[0-9]{5}", Wild()));
    EXPECT_TRUE(Find(doc, u"[0-9]{1,4}-", Wild()));
    EXPECT_TRUE(Find(doc, u"col[!u]r", Wild()));
    EXPECT_TRUE(Find(doc, u"o{2,}", Wild()));
    EXPECT_TRUE(Find(doc, u"\\[note\\]", Wild()));
    EXPECT_TRUE(Find(doc, u"(Col)(our)", Wild()));
}

TEST(WordFindWildcards, WordStartAndEndFollowUnicodeWords)
{
    auto doc = MakeDocument(u"\u00E9t\u00E9 pr\u00E9t\u00E9 leather the\r");
    EXPECT_TRUE(Find(doc, u"<\u00E9t\u00E9>", Wild()));
    EXPECT_FALSE(Find(doc, u"<t\u00E9>", Wild()));
    EXPECT_TRUE(Find(doc, u"<the>", Wild()));
    auto only = MakeDocument(u"leather other\r");
    EXPECT_FALSE(Find(only, u"<the>", Wild()));
    EXPECT_TRUE(Find(only, u"the", Wild()));
    EXPECT_TRUE(Find(only, u"<oth", Wild()));
}

TEST(WordFindWildcards, AlwaysCaseSensitiveAndWholeWordIgnored)
{
    auto doc = MakeDocument(u"Report concatenate\r");
    FindOptions o = Wild();
    EXPECT_FALSE(Find(doc, u"report", o));
    o.matchWholeWord = true;
    EXPECT_TRUE(Find(doc, u"cat", o));
}

TEST(WordFindWildcards, InvalidPatternsFindNothing)
{
    auto doc = MakeDocument(u"a(b[c{d}e\r");
    for (const std::u16string p : {u"(ab", u"ab)", u"[abc", u"[]", u"a{", u"a{x}", u"a{3,1}", u"@a",
                                   u"{2}", u"[z-a]", u"a\\", u""}) {
        EXPECT_FALSE(IsValidWordWildcardPattern(p)) << std::string(p.begin(), p.end());
        EXPECT_FALSE(Find(doc, p, Wild()));
    }
    EXPECT_TRUE(IsValidWordWildcardPattern(u"<[A-Z]@>"));
    EXPECT_TRUE(IsValidWordWildcardPattern(u"\\(b"));
    EXPECT_TRUE(Find(doc, u"a\\(b", Wild()));
}

TEST(WordFindWildcards, PathologicalPatternStaysLinear)
{
    // A backtracking engine would need ages for this; RE2 does not.
    std::u16string text(20000, u'a');
    text += u"\r";
    auto doc = MakeDocument(text);
    EXPECT_FALSE(Find(doc, u"(a@)@b", Wild()));
    EXPECT_FALSE(Find(doc, u"*a*a*a*a*a*a*a*b", Wild()));
}

TEST(WordFindWildcards, RandomPatternsAreSafe)
{
    auto doc = MakeDocument(u"Ab1 (x) [y] {z} a@b c*d \u00E9t\u00E9 end.\r");
    const char16_t alphabet[] = u"ab1?*@{},[]!-()<>\\^t ";
    std::mt19937 rng(99);
    int valid = 0;
    for (int round = 0; round < 3000; ++round) {
        std::u16string pattern;
        const std::size_t len = 1 + rng() % 10;
        for (std::size_t i = 0; i < len; ++i) pattern.push_back(alphabet[rng() % (sizeof alphabet / 2 - 1)]);
        const bool ok = IsValidWordWildcardPattern(pattern);
        valid += ok ? 1 : 0;
        const bool found = Find(doc, pattern, Wild());
        if (!ok) {
            EXPECT_FALSE(found);
        }
    }
    // Both kinds occur, so both branches above were exercised.
    EXPECT_GT(valid, 100);
    EXPECT_LT(valid, 2900);
}

TEST(WordFindWildcards, ReplacementWithGroups)
{
    auto doc = MakeDocument(u"Smith John; Doe Jane\r");
    FindOptions o = Wild();
    EXPECT_TRUE(ReplaceAll(doc, u"(<[A-Z][a-z]@>) (<[A-Z][a-z]@>)", u"\\2 \\1", o));
    EXPECT_EQ(doc.Text(0), u"John Smith; Jane Doe\r");
}

// ---- Sounds like -----------------------------------------------------------

TEST(WordFindSoundsLike, PhoneticMatches)
{
    auto doc = MakeDocument(u"Mr Smyth had funny ideas.\r");
    EXPECT_TRUE(Find(doc, u"Smith", Sounds()));
    EXPECT_TRUE(Find(doc, u"fun", Sounds()));
    EXPECT_FALSE(Find(doc, u"table", Sounds()));
    EXPECT_FALSE(Find(doc, u"Smith"));
}

TEST(WordFindSoundsLike, SoundexCodes)
{
    EXPECT_EQ(SoundexCode(u"Robert"), "R163");
    EXPECT_EQ(SoundexCode(u"Rupert"), "R163");
    EXPECT_EQ(SoundexCode(u"Ashcraft"), "A261");
    EXPECT_EQ(SoundexCode(u"Tymczak"), "T522");
    EXPECT_EQ(SoundexCode(u"Pfister"), "P236");
    EXPECT_EQ(SoundexCode(u"M\u00FCller"), SoundexCode(u"Muller"));
    EXPECT_EQ(SoundexCode(u"1234"), "");
}

TEST(WordFindSoundsLike, SeveralWordsInSequence)
{
    auto doc = MakeDocument(u"Dear Jon Smyth, hello\r");
    EXPECT_TRUE(Find(doc, u"John Smith", Sounds()));
    EXPECT_FALSE(Find(doc, u"Smith John", Sounds()));
}

// ---- All word forms --------------------------------------------------------

TEST(WordFindWordForms, IrregularAndRegularForms)
{
    auto sat = MakeDocument(u"The cat sat there.\r");
    EXPECT_TRUE(Find(sat, u"sit", Forms()));
    auto sitting = MakeDocument(u"She is sitting.\r");
    EXPECT_TRUE(Find(sitting, u"sit", Forms()));
    auto ran = MakeDocument(u"He ran home.\r");
    EXPECT_TRUE(Find(ran, u"run", Forms()));
    auto mice = MakeDocument(u"Three blind mice.\r");
    EXPECT_TRUE(Find(mice, u"mouse", Forms()));
    EXPECT_TRUE(Find(mice, u"Mouse", Forms()));
    auto walked = MakeDocument(u"They walked.\r");
    EXPECT_TRUE(Find(walked, u"walking", Forms()));
    EXPECT_FALSE(Find(walked, u"run", Forms()));
    EXPECT_FALSE(Find(sat, u"sit"));
}

TEST(WordFindWordForms, TableIsSymmetric)
{
    WordForms forms;
    EXPECT_TRUE(forms.SameWord(u"went", u"gone"));
    EXPECT_TRUE(forms.SameWord(u"was", u"be"));
    EXPECT_TRUE(forms.SameWord(u"children", u"child"));
    EXPECT_FALSE(forms.SameWord(u"went", u"want"));
}

// ---- Precedence ------------------------------------------------------------

TEST(WordFindPrecedence, WildcardsThenWordFormsThenSoundsLike)
{
    auto doc = MakeDocument(u"He sat by Smyth.\r");
    FindOptions all;
    all.matchWildcards = all.matchAllWordForms = all.matchSoundsLike = true;
    // Wildcards win: "s?t" matches "sat" literally, "sit" is no pattern for "sat".
    EXPECT_TRUE(Find(doc, u"s?t", all));
    EXPECT_FALSE(Find(doc, u"sit", all));
    FindOptions formsAndSounds;
    formsAndSounds.matchAllWordForms = formsAndSounds.matchSoundsLike = true;
    // Word forms win over sounds like: "Smith" is no form of "Smyth".
    EXPECT_TRUE(Find(doc, u"sit", formsAndSounds));
    EXPECT_FALSE(Find(doc, u"Smith", formsAndSounds));
}

// ---- Stories, replacements, clearing ----------------------------------------

TEST(WordFindStories, EveryStoryIsSearched)
{
    auto doc = MakeDocument(u"Main text\r", u"In a footnote\r");
    EXPECT_TRUE(Find(doc, u"footnote"));
    EXPECT_FALSE(Find(doc, u"text\rIn"));  // a match never spans two stories
    EXPECT_TRUE(ReplaceAll(doc, u"a", u"4"));
    EXPECT_EQ(doc.Text(0), u"M4in text\r");
    EXPECT_EQ(doc.Text(1), u"In 4 footnote\r");
}

TEST(WordFindReplace, ReturnsWhetherAnythingWasReplaced)
{
    auto doc = MakeDocument(u"aaa\r");
    EXPECT_FALSE(ReplaceAll(doc, u"b", u"c"));
    EXPECT_TRUE(ReplaceAll(doc, u"aa", u"a"));
    EXPECT_EQ(doc.Text(0), u"aa\r");
    FindRequest one;
    one.findText = u"a";
    one.replaceWith = u"b";
    one.replace = ReplaceMode::One;
    EXPECT_TRUE(ExecuteFind(doc, one));
    EXPECT_EQ(doc.Text(0), u"ba\r");
}

TEST(WordFindClearing, RunsOfUpTo2048SpacesEndAsOne)
{
    std::u16string text = u"x\ty";
    for (std::size_t n : {2u, 3u, 7u, 100u, 1000u, 2048u}) {
        text += u"w" + std::u16string(n, u' ') + u"z";
    }
    text += u"\r";
    auto doc = MakeDocument(text);
    FindOptions o = Case();
    ReplaceAll(doc, u"^t", u" ", o);
    for (int i = 0; i < 11; ++i) ReplaceAll(doc, u"  ", u" ", o);
    EXPECT_EQ(doc.Text(0), u"x yw zw zw zw zw zw z\r");
    // 2049 spaces need a twelfth pass.
    auto longer = MakeDocument(u"a" + std::u16string(2049, u' ') + u"b");
    for (int i = 0; i < 11; ++i) ReplaceAll(longer, u"  ", u" ", o);
    EXPECT_EQ(longer.Text(0), u"a  b");
}

TEST(WordFindClearing, AbsentSpacingIsRememberedAndForgottenWhenItCanReturn)
{
    auto doc = MakeDocument(u"a\tb  c\r");
    FindOptions o = Case();
    EXPECT_TRUE(ReplaceAll(doc, u"^t", u" ", o));
    EXPECT_TRUE(doc.IsKnownAbsent(u"\t"));
    EXPECT_TRUE(ReplaceAll(doc, u"  ", u" ", o));
    EXPECT_FALSE(ReplaceAll(doc, u"  ", u" ", o));
    EXPECT_TRUE(doc.IsKnownAbsent(u"  "));
    EXPECT_TRUE(doc.IsKnownAbsent(u"\t"));
    const auto version = doc.Version();
    EXPECT_FALSE(ReplaceAll(doc, u"^t", u" ", o));
    EXPECT_FALSE(ReplaceAll(doc, u"  ", u" ", o));
    EXPECT_EQ(doc.Version(), version);
    // A replacement that brings a tab back must not be hidden by the memory.
    EXPECT_TRUE(ReplaceAll(doc, u"c", u"^t^t", o));
    EXPECT_FALSE(doc.IsKnownAbsent(u"\t"));
    EXPECT_TRUE(doc.IsKnownAbsent(u"  "));
    EXPECT_TRUE(Find(doc, u"^t", o));
    EXPECT_TRUE(ReplaceAll(doc, u"^t", u" ", o));
    EXPECT_FALSE(doc.IsKnownAbsent(u"  "));
    EXPECT_TRUE(Find(doc, u"  ", o));
}

TEST(WordFindClearing, FindResultsFollowReplacements)
{
    auto doc = MakeDocument(u"alpha beta\r");
    EXPECT_FALSE(Find(doc, u"gamma"));
    EXPECT_TRUE(ReplaceAll(doc, u"beta", u"gamma"));
    EXPECT_TRUE(Find(doc, u"GAMMA"));
    EXPECT_FALSE(Find(doc, u"beta"));
}

TEST(WordFindEdge, ShortTextsAreFoundAtEveryPosition)
{
    // The one- and two-unit searches of the clearing passes compare blocks
    // of units at a time; every offset and every tail must still be seen.
    for (std::size_t len = 1; len <= 40; ++len) {
        for (std::size_t pos = 0; pos < len; ++pos) {
            std::u16string text(len, u'a');
            text[pos] = u'\t';
            auto tab = MakeDocument(text);
            EXPECT_TRUE(Find(tab, u"^t", Case())) << len << " " << pos;
            EXPECT_FALSE(Find(tab, u"  ", Case()));
            if (pos + 1 < len) {
                std::u16string spaced(len, u'a');
                spaced[pos] = spaced[pos + 1] = u' ';
                auto doc = MakeDocument(spaced);
                EXPECT_TRUE(ReplaceAll(doc, u"  ", u"_", Case())) << len << " " << pos;
                std::u16string expected(len, u'a');
                expected.replace(pos, 2, u"_");
                EXPECT_EQ(doc.Text(0), expected);
            }
        }
    }
}

TEST(WordFindEdge, LiteralSearchFindsTheFirstOccurrenceLikeAPlainFind)
{
    // The block-wise search of longer keywords against the standard one.
    std::mt19937 rng(17);
    for (int round = 0; round < 4000; ++round) {
        std::u16string text(rng() % 90, u'a');
        for (char16_t& c : text) c = rng() % 3 == 0 ? u'b' : u'a';
        std::u16string keyword(3 + rng() % 9, u'a');
        for (char16_t& c : keyword) c = rng() % 3 == 0 ? u'b' : u'a';
        const std::size_t expected = text.find(keyword);
        auto doc = MakeDocument(text);
        FindRequest r;
        r.findText = keyword;
        r.options = Case();
        r.replaceWith = u"#";
        r.replace = ReplaceMode::One;
        ASSERT_EQ(ExecuteFind(doc, r), expected != std::u16string::npos) << round;
        if (expected != std::u16string::npos) {
            ASSERT_EQ(doc.Text(0).find(u'#'), expected) << round;
        }
    }
}

TEST(WordFindEdge, LongKeywordsWithRepeatedUnits)
{
    // Units that share a low byte (U+0161 and U+0061) must not fool the skip table.
    auto doc = MakeDocument(u"xx\u0161aba abab\u0161ab abcabcabd\r");
    EXPECT_TRUE(Find(doc, u"abab\u0161ab", Case()));
    EXPECT_TRUE(Find(doc, u"abcabd", Case()));
    EXPECT_FALSE(Find(doc, u"abab\u0161aa", Case()));
    EXPECT_TRUE(Find(doc, u"ABCABD"));
}

TEST(WordFindEdge, RememberedResultsAgreeWithAFreshSearch)
{
    // Whatever replacements ran before, a search must answer as it would on
    // a document freshly made from the current text: the absent-text memory
    // and the result cache may save work, never change an answer.
    const std::u16string pieces[] = {u"a", u"b", u" ", u"  ", u"\t", u"\u00DF", u"SS", u"\r", u"ab", u"\u00E9"};
    const std::u16string finds[] = {u"^t", u"  ", u" ", u"a", u"ss", u"^w", u"b^?", u"a b", u"\t\t", u"^p"};
    std::mt19937 rng(5);
    for (int round = 0; round < 300; ++round) {
        std::u16string text;
        for (int i = 0; i < 30; ++i) text += pieces[rng() % 10];
        auto doc = MakeDocument(text);
        for (int step = 0; step < 20; ++step) {
            FindOptions o;
            o.matchCase = rng() % 2 == 0;
            o.matchWholeWord = rng() % 4 == 0;
            const std::u16string& f = finds[rng() % 10];
            if (rng() % 2 == 0) {
                ReplaceAll(doc, f, pieces[rng() % 10], o);
            } else {
                auto fresh = MakeDocument(std::u16string(doc.Text(0)));
                EXPECT_EQ(Find(doc, f, o), Find(fresh, f, o)) << round << " " << step;
            }
        }
    }
}

TEST(WordFindEdge, EmptyFindTextAndEmptyDocument)
{
    auto doc = MakeDocument(u"");
    EXPECT_FALSE(Find(doc, u""));
    EXPECT_FALSE(Find(doc, u"a"));
    EXPECT_FALSE(ReplaceAll(doc, u"a", u"b"));
    EXPECT_FALSE(Find(doc, u"a", Sounds()));
    EXPECT_FALSE(Find(doc, u"?", Wild()));
}

TEST(WordFindEdge, LoneSurrogatesDoNotBreakAnyMode)
{
    std::u16string text = u"ab";
    text.push_back(static_cast<char16_t>(0xD800));
    text += u"cd ";
    text.push_back(static_cast<char16_t>(0xDC00));
    text += u" \U0001F600 ef\r";
    auto doc = MakeDocument(text);
    EXPECT_TRUE(Find(doc, u"cd"));
    EXPECT_TRUE(Find(doc, u"c?", Wild()));
    EXPECT_TRUE(Find(doc, u"\U0001F600 ef", Wild()));
    EXPECT_TRUE(Find(doc, u"ef", Sounds()));
    EXPECT_TRUE(Find(doc, u"EF", Whole()));
    EXPECT_TRUE(ReplaceAll(doc, u"?", u"x", Wild()));
}

}  // namespace
}  // namespace office
