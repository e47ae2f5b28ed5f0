// The shortcuts of the built-in Word's Find (arguments remembered by the
// Find object and the application, find texts compiled once per application,
// results and absent texts remembered per document and plan, the presence
// filter, what a story's compared text knows of its form across replacements)
// held to the plain path
// that scans for every call: random texts full of folding, accents, optional
// hyphens and spacing, random keywords under every switch combination,
// interleaved with the clearing passes and with replacements that change the
// text under the caches; the clearing passes worked out ahead on a copy
// (as the read-ahead does) held to the same passes done in place, exactly
// as asked or with other calls among them; and the search that folds as it compares, without a
// folded copy, held to the one over the folded copy.
#include "office/automation/wordfindobject.h"
#include "office/text/matchtext.h"
#include "office/word/replacementsahead.h"
#include "office/word/wordfind.h"
#include "support/sameview.h"
#include "wordautomation.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <memory>
#include <random>
#include <string>
#include <vector>

namespace office {
namespace {

// Units that fold, compose, vanish from the compared text or form words.
const std::u16string kAlphabet = u"abcABCss\u00DF\u017Fe\u00E9\u0301\u00AD\x1F\u200B\u212Ak\u0130i  \t-1.";
// Codes and wildcard pieces mixed into keywords.
const std::vector<std::u16string> kCodes = {u"^?", u"^#", u"^$", u"^w", u"^t", u"^-", u"*", u"?", u"[ab]", u"<", u">"};

// What a text leaves out: `marks` drops the combining accent (the text is
// then NFC), `format` the characters the compared text leaves out; such a
// text folds unit by unit, and a long one is searched without a folded copy.
std::u16string RandomText(std::mt19937& rng, std::size_t length, bool marks, bool format)
{
    const auto left = [marks, format](char16_t c) {
        return (marks && c == 0x0301) || (format && (c == 0x00AD || c == 0x1F || c == 0x200B));
    };
    std::u16string s;
    while (s.size() < length) {
        // Mostly a few words so that keywords made of the same pieces occur.
        static const std::u16string words[] = {u"abc", u"Stra\u00DFe", u"caf\u00E9", u"cafe\u0301", u"ab\u00ADc"};
        if (rng() % 3 == 0) {
            const std::u16string& w = words[rng() % 5];
            if (std::none_of(w.begin(), w.end(), left)) s += w;
        } else if (marks && rng() % 3 != 0) {
            // Mostly ASCII, as a text must be to be searched so.
            s += u"zzzzzzzzzzz";
        } else {
            const char16_t c = kAlphabet[rng() % kAlphabet.size()];
            if (!left(c)) s.push_back(c);
        }
    }
    return s;
}

std::u16string RandomKeyword(std::mt19937& rng, bool codes)
{
    // Often a word of the texts in another case, which only some switches find.
    static const std::u16string variants[] = {u"ABC", u"Abc", u"STRASSE", u"stra\u00DFe", u"CAF\u00C9", u"Cafe"};
    if (rng() % 3 == 0) return variants[rng() % 6];
    std::u16string k;
    const std::size_t n = 1 + rng() % 4;
    for (std::size_t i = 0; i < n; ++i) {
        if (codes && rng() % 5 == 0) k += kCodes[rng() % kCodes.size()];
        else k.push_back(kAlphabet[rng() % kAlphabet.size()]);
    }
    return k;
}

WordContent RandomContent(std::mt19937& rng, bool marks = false, bool format = false)
{
    WordContent content;
    // Long enough stories get a presence filter; the short one never does.
    content.stories.push_back({StoryKind::Main, RandomText(rng, 600 + rng() % 900, marks, format)});
    content.stories.push_back({StoryKind::Footnotes, RandomText(rng, 520 + rng() % 200, marks, format)});
    content.stories.push_back({StoryKind::Main, RandomText(rng, 30, marks, format)});
    return content;
}

TEST(FindShortcuts, SameAnswersAndTextsAsThePlainPath)
{
    std::mt19937 rng(20261207);
    // One plan cache and one memory of argument lists across documents, as
    // one Word application has.
    auto plans = std::make_shared<FindPlanCache>();
    auto memo = std::make_shared<FindCallMemo>();
    int found = 0;
    int calls = 0;
    // Keywords recur within and across documents, like a searcher's; the
    // first few often. Two of the frequent ones alike but for their last
    // unit: remembered lists must be told apart by their whole text.
    std::vector<std::u16string> keywords;
    for (int i = 0; i < 40; ++i) keywords.push_back(RandomKeyword(rng, i % 2 == 0));
    keywords[1] = u"abc";
    keywords[3] = u"abd";
    const auto randomRequest = [&](int step) {
        FindRequest r;
        const unsigned what = static_cast<unsigned>(rng() % (step < 160 ? 9 : 10));
        if (what < 2) {
            // A clearing pass, exactly as Kestrel makes it.
            r.findText = what == 0 ? u"^t" : u"  ";
            r.replaceWith = u" ";
            r.replace = ReplaceMode::All;
            r.options.matchCase = true;
        } else {
            r.findText = keywords[rng() % (rng() % 2 == 0 ? 4 : keywords.size())];
            const unsigned bits = static_cast<unsigned>(rng() % 32);
            r.options = {(bits & 1) != 0, (bits & 2) != 0, (bits & 4) != 0, (bits & 8) != 0, (bits & 16) != 0};
            if (what == 9) {
                r.replaceWith = RandomKeyword(rng, false);
                // A combining accent, which may compose with what stands
                // before it and make an NFC text NFC no more.
                if (rng() % 2 == 0) r.replaceWith += u"\u0301";
                r.replace = rng() % 2 == 0 ? ReplaceMode::All : ReplaceMode::One;
            }
        }
        return r;
    };
    // A search asks every document the same calls in the same order, and
    // the Find object expects the list that came at the same place last
    // time: most documents follow one sequence, some stray from it at
    // random places, and replacements that change the text come last.
    std::vector<FindRequest> sequence;
    for (int step = 0; step < 160; ++step) sequence.push_back(randomRequest(step));
    for (int docIndex = 0; docIndex < 40; ++docIndex) {
        // Texts that fold unit by unit (with or without the characters a
        // keyword with "^-" keeps), searched without a folded copy by the
        // fast document however short; others, where that must not happen.
        const int kind = docIndex % 4;
        WordContent content = RandomContent(rng, kind == 1 || kind == 2, kind == 2);
        auto fast = std::make_shared<WordDocument>(content);
        WordDocument plain(std::move(content));
        plain.SetShortcuts(false);
        plain.SetUnfoldedSearch(SIZE_MAX);
        // The first eight searches of each story, then over the folded copy.
        if (kind != 3) fast->SetUnfoldedSearch(0, 8);
        // A filter from the first scan on, after a few, or as by default.
        fast->SetScansBeforeFilter(static_cast<std::uint8_t>(docIndex % 3 == 0 ? 0 : docIndex % 3 == 1 ? 2 : 16));
        IDispatch* find = new CWordFindObject(fast, plans, memo);
        const unsigned strays = docIndex % 5 == 4 ? 2u : docIndex % 5 == 3 ? 40u : 0u;
        std::uint64_t checked = 0;
        for (int step = 0; step < 240; ++step) {
            const bool follows = step < 160 && (strays == 0 || rng() % strays != 0);
            const FindRequest r = follows ? sequence[static_cast<std::size_t>(step)] : randomRequest(step);
            const unsigned what = r.replace == ReplaceMode::None ? 2u : r.replaceWith == u" " ? 0u : 9u;
            const wordtest::Switches sw{r.options.matchCase, r.options.matchWholeWord, r.options.matchWildcards,
                                        r.options.matchSoundsLike, r.options.matchAllWordForms};
            const auto result = wordtest::Execute(find, r.findText, sw, r.replaceWith, static_cast<short>(r.replace));
            ASSERT_EQ(result.hr, S_OK);
            const bool expected = ExecuteFind(plain, r);
            ASSERT_EQ(wordtest::Found(result), expected) << "document " << docIndex << " step " << step;
            found += expected ? 1 : 0;
            ++calls;
            for (std::size_t s = 0; s < plain.StoryCount(); ++s) {
                ASSERT_EQ(fast->Text(s), plain.Text(s)) << step;
                // What the document kept of a story's form across a
                // replacement must give the compared text made afresh: all
                // four after a replacement of a keyword, one of them after
                // a clearing pass.
                for (int view = 0; view < 4 && fast->Version() != checked; ++view) {
                    if (what != 9 && view != step % 4) continue;
                    const bool fold = view >= 2;
                    const bool keep = view % 2 == 1;
                    ASSERT_TRUE(SameView(fast->View(s, fold, keep), MatchText(plain.Text(s), fold, keep)))
                        << "document " << docIndex << " step " << step << " view " << view;
                }
            }
            checked = fast->Version();
        }
        find->Release();
    }
    // Both answers must have been given often, or the comparison says little.
    EXPECT_GT(found, calls / 10);
    EXPECT_LT(found, calls * 9 / 10);
}

TEST(FindShortcuts, ReplacementsWorkedOutAheadGiveThePlainPath)
{
    std::mt19937 rng(4242);
    auto plans = std::make_shared<FindPlanCache>();
    const wordtest::Switches exact{true, false, false, false, false};
    // Kestrel's clearing passes, then a keyword.
    auto clear = [&](IDispatch* find) {
        wordtest::Execute(find, u"^t", exact, u" ", 2);
        for (int pass = 0; pass < 11; ++pass) wordtest::Execute(find, u"  ", exact, u" ", 2);
    };
    // The same keywords for every document, as in a search.
    const std::vector<std::u16string> keywords = {u"ab", RandomKeyword(rng, false), RandomKeyword(rng, false)};
    // The logs a search leaves on a document are what the next ones get.
    auto first = std::make_shared<WordDocument>(RandomContent(rng));
    first->SetLogsCalls(true);
    first->SetLogsFinds(true);
    IDispatch* firstFind = new CWordFindObject(first, plans);
    clear(firstFind);
    wordtest::Execute(firstFind, u"  ", exact, u"", 0);
    for (const auto& keyword : keywords) wordtest::Execute(firstFind, keyword, {}, u"", 0);
    firstFind->Release();
    ASSERT_TRUE(first->CallLogComplete());
    const auto log = std::make_shared<const std::vector<ReplacementCall>>(first->CallLog());
    ASSERT_EQ(log->size(), 12u);
    EXPECT_TRUE(first->CallLogIs(*log));
    const auto finds = std::make_shared<const WordDocument::FindList>(first->FindLog());
    ASSERT_EQ(finds->size(), 4u);
    const std::atomic<bool> notWanted{false};
    int taken = 0;
    int answered = 0;
    for (int docIndex = 0; docIndex < 60; ++docIndex) {
        WordContent content = RandomContent(rng);
        // Runs of spaces long enough for many halvings to change the text;
        // every fifth document has no tab and no two spaces side by side,
        // so that no pass replaces anything.
        const bool plainSpacing = docIndex % 5 == 4;
        for (auto& story : content.stories) {
            if (!plainSpacing) break;
            std::replace(story.text.begin(), story.text.end(), u'\t', u'x');
            for (std::size_t at; (at = story.text.find(u"  ")) != std::u16string::npos;) story.text[at] = u'y';
        }
        if (!plainSpacing) content.stories[docIndex % 3].text.insert(rng() % 30, std::u16string(rng() % 300, u' '));
        auto ahead = std::make_shared<WordDocument>(content);
        WordDocument plain(std::move(content));
        plain.SetShortcuts(false);
        WordDocument* after = PrepareReplacements(*ahead, log, SIZE_MAX);
        ASSERT_NE(after, nullptr);
        for (std::size_t s = 0; s < after->StoryCount(); ++s) after->PrepareFilter(s, true, false);
        // The keywords answered ahead on the text the passes leave; until
        // then (and once a call departs from the passes) they must not be
        // taken.
        PrepareAnswers(*ahead, *after, finds, notWanted);
        bool early = false;
        EXPECT_FALSE(ahead->AnswerAhead(keywords[0], 0, early));
        // From which call on the search departs from the log, if it does:
        // an extra search (which changes nothing) or another replacement.
        const int departs = docIndex % 3 == 0 ? 99 : static_cast<int>(rng() % 13);
        const bool extraReplaces = rng() % 2 == 0;
        ahead->SetLogsCalls(true);
        IDispatch* find = new CWordFindObject(ahead, plans);
        WordDocument::FindList asked;         // the searches that replace nothing
        std::vector<ReplacementCall> called;  // the replacements before the first of them
        for (int call = 0; call < 16; ++call) {
            FindRequest r;
            r.options.matchCase = true;
            // A search for spacing is answered from memory while the text
            // stays as it was, and must not be after a pass.
            if (call == departs) {
                r.findText = extraReplaces ? u"e" : u"  ";
                r.replaceWith = extraReplaces ? u" ́" : u"";
                r.replace = extraReplaces ? ReplaceMode::All : ReplaceMode::None;
            } else if (call < 12) {
                r.findText = call == 0 ? u"^t" : u"  ";
                r.replaceWith = u" ";
                r.replace = ReplaceMode::All;
            } else if (call == 14 && docIndex % 2 == 1) {
                // A replacement of the search's own after the passes: what
                // was worked out ahead no longer holds.
                r.findText = keywords[0];
                r.replace = ReplaceMode::All;
            } else {
                // The keywords, and one no document was asked before.
                r.findText = call == 12   ? u"  "
                             : call == 14 ? RandomKeyword(rng, false)
                                          : keywords[static_cast<std::size_t>(call == 15 ? 0 : docIndex) % 3];
                r.options.matchCase = call == 12;
            }
            const wordtest::Switches sw{r.options.matchCase, false, false, false, false};
            if (r.replace == ReplaceMode::None) asked.push_back({r.findText, std::uint8_t{r.options.matchCase}});
            if (asked.empty())
                called.push_back({r.findText, std::uint8_t{r.options.matchCase}, r.replaceWith,
                                  static_cast<std::uint8_t>(r.replace)});
            const auto result = wordtest::Execute(find, r.findText, sw, r.replaceWith, static_cast<short>(r.replace));
            ASSERT_EQ(result.hr, S_OK);
            ASSERT_EQ(wordtest::Found(result), ExecuteFind(plain, r)) << docIndex << " call " << call;
            for (std::size_t s = 0; s < plain.StoryCount(); ++s) ASSERT_EQ(ahead->Text(s), plain.Text(s)) << call;
        }
        // Followed as worked out, the passes leave the stories the copy had,
        // with the filters built on them ahead.
        if (departs == 99) {
            // Each pass was answered by the step worked out for it.
            EXPECT_EQ(ahead->StepsTaken(), 12u) << docIndex;
            if (docIndex % 2 == 0) {
                EXPECT_TRUE(ahead->HasFilter(0, true, false)) << docIndex;
            }
            ++taken;
        }
        // The log of its searches is theirs, whether it followed the list
        // it was answered for or departed from it.
        EXPECT_EQ(ahead->FindLog(), asked) << docIndex;
        EXPECT_TRUE(ahead->FindLogIs(asked)) << docIndex;
        EXPECT_EQ(ahead->FindLogIs(*finds), asked == *finds) << docIndex;
        // The same for its replacements.
        EXPECT_EQ(ahead->CallLogComplete(), !called.empty()) << docIndex;
        EXPECT_EQ(ahead->CallLog(), called) << docIndex;
        EXPECT_TRUE(ahead->CallLogIs(called)) << docIndex;
        EXPECT_EQ(ahead->CallLogIs(*log), called == *log) << docIndex;
        // So are the keywords' answers, the same as the plain path's, unless
        // a replacement of its own changed the text.
        bool found = false;
        if (ahead->AnswerAhead(keywords[0], 0, found)) {
            ++answered;
            FindRequest r;
            r.findText = keywords[0];
            EXPECT_EQ(found, ExecuteFind(plain, r)) << docIndex;
        }
        for (std::size_t s = 0; s < plain.StoryCount(); ++s) {
            for (int view = 0; view < 4; ++view) {
                ASSERT_TRUE(SameView(ahead->View(s, view >= 2, view % 2 == 1),
                                     MatchText(plain.Text(s), view >= 2, view % 2 == 1)))
                    << docIndex << " view " << view;
            }
        }
        find->Release();
    }
    EXPECT_EQ(taken, 20);
    EXPECT_GE(answered, 10);
    EXPECT_LT(answered, 60);
}

// Every occurrence of a case-blind keyword, searched folding as it compares
// and over the folded copy: texts of the units whose foldings differ from
// them (to one unit or to more), keywords made of the same units.
TEST(FindShortcuts, FoldingAsItComparesFindsWhatTheFoldedCopyFinds)
{
    const std::u16string units = u"asSk\u00DF\u017FKe\u00E9\u00C9i\u0130\u03A3\u03C3\u03C2 ";
    std::mt19937 rng(2026);
    int occurrences = 0;
    for (int round = 0; round < 3000; ++round) {
        std::u16string text;
        const std::size_t length = rng() % 40;
        for (std::size_t k = 0; k < length; ++k) text.push_back(units[rng() % units.size()]);
        // Mostly ASCII, as a text must be to be searched so.
        text.append(8 * length, rng() % 2 == 0 ? u'x' : u's');
        FindRequest r;
        const std::size_t keyLength = 1 + rng() % 4;
        for (std::size_t k = 0; k < keyLength; ++k) r.findText.push_back(units[rng() % units.size()]);
        r.options.matchWholeWord = rng() % 3 == 0;
        // Where the occurrences start and end, searched unfolded from the
        // given length of story on.
        const auto find = [&](std::size_t unfoldedFrom) {
            WordDocument doc(WordContent{{{StoryKind::Main, text}}});
            doc.SetShortcuts(false);
            doc.SetUnfoldedSearch(unfoldedFrom);
            std::vector<std::pair<std::size_t, std::size_t>> out;
            for (const FoundRange& f : FindOccurrences(doc, r, 100)) out.emplace_back(f.start, f.end);
            return out;
        };
        ASSERT_TRUE(FoldsUnitByUnit(text, false, text.size() / 8)) << round;
        const auto unfolded = find(0);
        ASSERT_EQ(unfolded, find(SIZE_MAX)) << round;
        occurrences += static_cast<int>(unfolded.size());
    }
    EXPECT_GT(occurrences, 1000);
}

// A remembered argument list matches the list it was made of and no list
// that differs in one unit of a text (anywhere in it, whatever its length)
// or in one scalar; a by-reference scalar is followed.
TEST(FindShortcuts, RememberedListsMatchOnlyTheirOwn)
{
    const std::vector<std::u16string> bases = {u"a",           u"abc",       u"abcd",
                                               u"Stra\u00DFe", u"abcdefghi", std::u16string(70, u'q')};
    for (const std::u16string& base : bases) {
        BSTR kept[2] = {SysAllocStringFrom(base), SysAllocStringFrom(u"x")};
        short mode = 2;
        VARIANT args[3];
        args[2].vt = VT_BSTR, args[2].bstrVal = kept[0];
        args[1].vt = VT_BSTR, args[1].bstrVal = kept[1];
        args[0].vt = VT_I2 | VT_BYREF, args[0].piVal = &mode;
        DISPPARAMS params{args, nullptr, 3, 0};
        FindCallMemo memo;
        const auto entry = memo.Remember(&params, std::make_shared<PreparedFind>());
        ASSERT_TRUE(entry && FindCallMemo::Matches(&params, *entry) && memo.Find(&params) == entry);
        mode = 1;
        EXPECT_FALSE(FindCallMemo::Matches(&params, *entry));
        mode = 2;
        for (std::size_t at = 0; at < base.size(); ++at) {
            kept[0][at] = static_cast<char16_t>(kept[0][at] + 1);
            EXPECT_FALSE(FindCallMemo::Matches(&params, *entry)) << at;
            kept[0][at] = base[at];
        }
        EXPECT_TRUE(FindCallMemo::Matches(&params, *entry));
        SysFreeString(kept[0]);
        SysFreeString(kept[1]);
    }
}

}  // namespace
}  // namespace office
