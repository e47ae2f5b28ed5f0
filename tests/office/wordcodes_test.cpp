// Sounds like and all word forms answered from per-story word codes, held
// against a reference that codes every document word again for every
// keyword word, the plain way: same matches, same order, same resume
// points, on random texts and keywords (Latin words that share Soundex
// codes, irregular forms, digits, other scripts, case and accent variants),
// including after replacements have changed the text.
#include "office/word/soundslike.h"
#include "office/text/casefold.h"
#include "office/text/matchtext.h"
#include "office/word/wordbreaks.h"
#include "office/word/wordcodes.h"
#include "office/word/wordforms.h"
#include "office/word/wordsequencematcher.h"
#include "tests/office/wordfixture.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <tuple>

namespace {

using namespace wordfix;

using Mode = WordCodeMode;

// The reference: each word of the story coded afresh (in NFC, without
// format characters) and compared with each keyword word; digits and other
// scripts (no Soundex code) compared by case-folded text.
class Reference {
public:
    Reference(std::u16string_view keyword, Mode mode) : m_mode(mode)
    {
        const std::u16string text(keyword);
        WordBreaks breaks(text);
        for (const TextSpan& w : breaks.Words()) {
            m_words.push_back(PrepareForMatch(text.substr(w.start, w.end - w.start), false, false));
            m_codes.push_back(SoundexCode(m_words.back()));
            m_keys.emplace_back();
            m_forms.Keys(m_words.back(), m_keys.back());
        }
    }

    bool HasWords() const { return !m_words.empty(); }

    // `words` are the words of `text`.
    bool Next(std::u16string_view text, const std::vector<TextSpan>& words, std::size_t from, FindMatch& m)
    {
        const std::size_t n = m_words.size();
        for (std::size_t i = from; n > 0 && i + n <= words.size(); ++i) {
            bool all = true;
            for (std::size_t k = 0; all && k < n; ++k) {
                all = WordMatches(k, text.substr(words[i + k].start, words[i + k].end - words[i + k].start));
            }
            if (all) {
                m.start = words[i].start;
                m.end = words[i + n - 1].end;
                m.resume = i + n;
                return true;
            }
        }
        return false;
    }

private:
    bool WordMatches(std::size_t k, std::u16string_view typed)
    {
        const std::u16string word = PrepareForMatch(typed, false, false);
        if (m_mode == Mode::SoundsLike) {
            const std::string code = SoundexCode(word);
            if (!code.empty() || !m_codes[k].empty()) return code == m_codes[k];
            return FullCaseFold(word) == FullCaseFold(m_words[k]);
        }
        std::vector<std::string> keys;
        m_forms.Keys(word, keys);
        for (const std::string& key : keys) {
            if (std::find(m_keys[k].begin(), m_keys[k].end(), key) != m_keys[k].end()) return true;
        }
        return false;
    }

    Mode m_mode;
    std::vector<std::u16string> m_words;
    std::vector<std::string> m_codes;
    std::vector<std::vector<std::string>> m_keys;
    WordForms m_forms;
};

const std::u16string kPieces[] = {
    u"Smith", u"smyth", u"SMITH", u"Schmidt", u"Robert", u"Rupert", u"Ashcraft", u"ashcroft", u"Tymczak",
    u"Pfister", u"sat", u"Sat", u"sit", u"sitting", u"sits", u"lay", u"lie", u"lain", u"lying", u"laid",
    u"more", u"many", u"much", u"most", u"mice", u"Mouse", u"walked", u"walk", u"WALKING", u"went", u"gone",
    u"children", u"child", u"better", u"good", u"the", u"The", u"of", u"a", u"h", u"hw", u"aeiou", u"12",
    u"012", u"\uFF11\uFF12", u"3.5", u"a1b2", u"x_y", u"don't", u"\u043C\u0438\u0440", u"\u041C\u0418\u0420",
    u"\u041C\u0438\u0440", u"\u03BB\u03CC\u03B3\u03BF\u03C2", u"\u039B\u038C\u0393\u039F\u03A3",
    u"\u6771\u4EAC", u"\u3072\u3089\u304C\u306A", u"Stra\u00DFe", u"STRASSE", u"strasse", u"M\u00FCller",
    u"Muller", u"M\u00DCLLER", u"caf\u00E9", u"CAF\u00C9", u"cafe", u"cafe\u0301", u"\uFB01ne", u"fine",
    u"\u0130stanbul", u"istanbul", u"\u01C5emal", u"\u05E9\u05DC\u05D5\u05DD", u"\U0001D400\U0001D401",
};
const std::u16string kSeparators[] = {u" ", u" ", u" ", u"  ", u"\t", u", ", u".\r", u"-", u"\u00A0",
                                      u"\u3000", u"\u2014", u"\r\n", u" (", u") ", u"\u00AD", u"'"};

class Generator {
public:
    explicit Generator(unsigned seed) : m_rng(seed) {}

    std::size_t Below(std::size_t n) { return n == 0 ? 0 : m_rng() % n; }

    // A piece from the table, or an invented word of letters that often
    // share Soundex codes.
    std::u16string Word()
    {
        if (Below(4) != 0) return kPieces[Below(std::size(kPieces))];
        static const std::u16string letters = u"abcdhlmrstwyAEHSZ\u00E9\u00DF";
        std::u16string w;
        const std::size_t n = 1 + Below(6);
        for (std::size_t i = 0; i < n; ++i) w.push_back(letters[Below(letters.size())]);
        if (Below(10) == 0) w.push_back(static_cast<char16_t>(u'0' + Below(10)));
        if (Below(40) == 0) w.push_back(static_cast<char16_t>(0xD800 + Below(0x400)));  // unpaired
        return w;
    }

    // Words and separators; or, `distinct`, invented words of two to eight
    // letters between spaces alone: many distinct texts, to grow the tables.
    std::u16string Text(std::size_t words, bool distinct = false)
    {
        std::u16string t;
        for (std::size_t i = 0; i < words; ++i) {
            if (!distinct) t += Word();
            for (std::size_t k = 0, n = distinct ? 2 + Below(7) : 0; k < n; ++k)
                t.push_back(static_cast<char16_t>(u'a' + Below(26)));
            t += distinct ? u" " : kSeparators[Below(std::size(kSeparators))];
        }
        return t;
    }

    // One to three words: random ones, or a stretch of the story itself.
    std::u16string Keyword(std::u16string_view story)
    {
        if (Below(2) == 0 && !story.empty()) {
            const std::u16string text(story);
            WordBreaks breaks(text);
            const std::vector<TextSpan>& words = breaks.Words();
            if (!words.empty()) {
                const std::size_t i = Below(words.size());
                const std::size_t last = std::min(words.size() - 1, i + Below(3));
                return text.substr(words[i].start, words[last].end - words[i].start);
            }
        }
        std::u16string k = Word();
        const std::size_t more = Below(3);
        for (std::size_t i = 0; i < more; ++i) k += kSeparators[Below(std::size(kSeparators))] + Word();
        return k;
    }

private:
    std::mt19937 m_rng;
};

// Every match of one keyword in one story, from `from` on, both ways.
void ExpectSameMatches(WordDocument& doc, std::size_t story, std::u16string_view keyword, Mode mode,
                       std::size_t from, const std::string& what)
{
    WordSequenceMatcher coded(keyword, mode);
    Reference reference(keyword, mode);
    ASSERT_EQ(coded.HasWords(), reference.HasWords()) << what;
    const std::u16string text(doc.Text(story));
    WordBreaks breaks(text);
    const std::vector<TextSpan>& words = breaks.Words();
    std::size_t at = from;
    // Every match moves on by at least one word.
    for (std::size_t round = 0; round <= text.size() + 1; ++round) {
        FindMatch a;
        FindMatch b;
        const bool gotA = coded.Next(doc, story, at, a);
        const bool gotB = reference.Next(text, words, at, b);
        ASSERT_EQ(gotA, gotB) << what << " from word " << at;
        if (!gotA) return;
        ASSERT_EQ(std::tie(a.start, a.end, a.resume), std::tie(b.start, b.end, b.resume)) << what;
        at = a.resume;
    }
    FAIL() << what << ": matches never ended";
}

std::string Describe(Mode mode, unsigned seed, std::u16string_view keyword)
{
    return (mode == Mode::SoundsLike ? "sounds like, seed " : "word forms, seed ") + std::to_string(seed) + ": " + Show(keyword);
}

class WordCodesDifferential : public ::testing::TestWithParam<Mode> {};

TEST_P(WordCodesDifferential, SameMatchesAsCodingEveryWordPerKeyword)
{
    const Mode mode = GetParam();
    std::size_t keywords = 0;
    std::size_t matched = 0;
    for (unsigned seed = 1; seed <= 1500; ++seed) {
        Generator gen(seed);
        std::vector<std::u16string> stories{gen.Text(5 + gen.Below(60))};
        if (gen.Below(3) == 0) stories.push_back(gen.Text(gen.Below(20)));
        // Now and then a long story of distinct words, searched for many
        // keywords.
        const bool large = seed % 50 == 0;
        if (large) stories.push_back(gen.Text(3000, true) + gen.Text(50));
        WordDocument doc = Document(stories);
        const std::size_t rounds = large ? 40 : 2 + gen.Below(6);
        for (std::size_t r = 0; r < rounds; ++r) {
            const std::size_t story = gen.Below(doc.StoryCount());
            const std::u16string keyword = gen.Keyword(doc.Text(story));
            const std::string what = Describe(mode, seed, keyword);
            // The first search of a story may begin past its start, as the
            // search after a replacement's first match does.
            const std::size_t from = gen.Below(4) == 0 ? gen.Below(8) : 0;
            ExpectSameMatches(doc, story, keyword, mode, from, what);
            if (HasFatalFailure()) return;
            ++keywords;

            // Find.Execute over all stories agrees with the reference too.
            Reference reference(keyword, mode);
            bool expected = false;
            for (std::size_t s = 0; s < doc.StoryCount() && !expected; ++s) {
                const std::u16string text(doc.Text(s));
                FindMatch m;
                expected = reference.Next(text, WordBreaks(text).Words(), 0, m);
            }
            EXPECT_TRUE(!reference.HasWords() || Find(doc, keyword, mode == Mode::SoundsLike ? "s" : "f") == expected) << what;
            matched += expected ? 1 : 0;

            // Now and then the text changes under the codes.
            if (gen.Below(4) == 0) ReplaceAll(doc, gen.Word(), gen.Below(2) == 0 ? gen.Word() : u"");
        }
    }
    // The cases must have been worth running: many keywords, and both found
    // and not found ones.
    EXPECT_GT(keywords, 5000u);
    EXPECT_GT(matched, keywords / 5);
    EXPECT_LT(matched, keywords * 4 / 5);
}

INSTANTIATE_TEST_SUITE_P(BothModes, WordCodesDifferential, ::testing::Values(Mode::SoundsLike, Mode::WordForms));

// Keys decide which words match: pairs the random texts seldom make.
TEST(WordCodesKeys, WordsMatchWhenTheyShareAKey)
{
    const std::tuple<Mode, std::u16string, std::u16string, bool> cases[] = {
        {Mode::SoundsLike, u"M\u00FCller", u"Muller", true},
        {Mode::SoundsLike, u"\u6771\u4EAC", u"\u6771", false},
        // A word with a code never matches one without, whatever the text;
        // two units whose bytes spell "S530" are no Soundex code.
        {Mode::SoundsLike, u"a1", u"1", false},
        {Mode::SoundsLike, u"Smith", u"\u3553\u3033", false},
        {Mode::WordForms, u"lay", u"lain", true},  // "lay" is a form of "lie" too
        {Mode::WordForms, u"lay", u"laid", true},
        {Mode::WordForms, u"went", u"want", false},
    };
    WordForms forms;
    for (const auto& [mode, a, b, same] : cases) {
        std::vector<std::string> ka;
        std::vector<std::string> kb;
        AppendWordKeys(mode, a, &forms, ka);
        AppendWordKeys(mode, b, &forms, kb);
        const bool shared = std::any_of(ka.begin(), ka.end(), [&kb](const std::string& k) {
            return std::find(kb.begin(), kb.end(), k) != kb.end();
        });
        EXPECT_EQ(shared, same) << Describe(mode, 0, a + u" / " + b);
    }
}

}  // namespace
