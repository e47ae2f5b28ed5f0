// Stop inside the built-in Word's Find and Excel's Range.Find: a request
// made while a search works through a large text ends it with
// OperationCancelled soon after; the long loops look at the request often;
// and the searches that go a chunk at a time find exactly what one pass
// over the whole text finds.
#include "office/text/matchtext.h"
#include "office/excel/rangefind.h"
#include "office/word/worddocument.h"
#include "office/word/wordfind.h"
#include "platform/cancellation.h"

#include <gtest/gtest.h>

#include <unicode/unorm2.h>

#include <chrono>
#include <functional>
#include <iostream>
#include <memory>
#include <string>
#include <thread>

using namespace office;

namespace {

using Clock = std::chrono::steady_clock;

// The searches' chunk: a megabyte of units.
constexpr std::size_t kChunk = std::size_t{1} << 20;

// Words a person might write, some with accents, in paragraphs; `units`
// long. The searches below look for words that are not in it.
std::u16string Prose(std::size_t units)
{
    static const char16_t* const kWords[] = {u"the",    u"report", u"caf\u00E9", u"numbers", u"of",
                                             u"March",  u"and",    u"r\u00E9sum\u00E9", u"budget", u"plans",
                                             u"office", u"tr\u00E8s", u"Stra\u00DFe", u"sales", u"team"};
    std::u16string block;
    std::size_t k = 0;
    while (block.size() < 65536) {
        block += kWords[(k * 7 + k / 13) % std::size(kWords)];
        block += (++k % 17 == 0) ? u"\r" : u" ";
    }
    std::u16string text;
    text.reserve(units + block.size());
    while (text.size() < units) text += block;
    text.resize(units);
    return text;
}

// `text` repeated to `units` units.
std::u16string Repeat(std::u16string_view text, std::size_t units)
{
    std::u16string out;
    out.reserve(units + text.size());
    while (out.size() < units) out += text;
    out.resize(units);
    return out;
}

std::unique_ptr<WordDocument> Document(std::u16string text)
{
    WordContent content;
    content.stories.push_back({StoryKind::Main, std::move(text)});
    return std::make_unique<WordDocument>(std::move(content));
}

struct Outcome {
    bool cancelled = false;
    double latencyMs = 0;
};

// Runs `work`, requests a stop `delay` after it began, and says whether it
// ended in OperationCancelled and how long after the request.
Outcome StopDuring(const std::function<void()>& work, std::chrono::milliseconds delay)
{
    platform::ClearSearchStop();
    std::atomic<bool> requested{false};
    Clock::time_point requestedAt;
    std::thread stopper([&] {
        std::this_thread::sleep_for(delay);
        requestedAt = Clock::now();
        requested = true;
        platform::RequestSearchStop();
    });
    Outcome outcome;
    try {
        work();
    } catch (const platform::OperationCancelled&) {
        outcome.cancelled = true;
    }
    const Clock::time_point end = Clock::now();
    stopper.join();
    platform::ClearSearchStop();
    if (outcome.cancelled) outcome.latencyMs = std::chrono::duration<double, std::milli>(end - requestedAt).count();
    return outcome;
}

FindRequest Request(std::u16string text, FindOptions options = {})
{
    FindRequest r;
    r.findText = std::move(text);
    r.options = options;
    return r;
}

// Looks at the stop request made while `work` runs.
std::uint64_t LooksDuring(const std::function<void()>& work)
{
    platform::ClearSearchStop();
    const std::uint64_t before = platform::StopRequestLooks();
    work();
    return platform::StopRequestLooks() - before;
}

}  // namespace

TEST(StopInFind, ARequestDuringFindOnALargeDocumentEndsItSoon)
{
    // Each case works for well over the delay on its text (a quarter of a
    // second and up in an optimised build), so the request comes in the
    // middle of it; the bound is generous for slow and instrumented builds.
    constexpr std::size_t kUnits = 24 * kChunk;
    FindOptions noCase;
    FindOptions wholeWords;
    wholeWords.matchCase = true;
    wholeWords.matchWholeWord = true;
    FindOptions wildcards;
    wildcards.matchWildcards = true;
    FindOptions soundsLike;
    soundsLike.matchSoundsLike = true;
    FindOptions wordForms;
    wordForms.matchAllWordForms = true;
    FindRequest clearing = Request(u"  ", FindOptions{true});
    clearing.replaceWith = u" ";
    clearing.replace = ReplaceMode::All;
    const struct {
        const char* name;
        std::function<std::u16string()> text;
        FindRequest request;
    } cases[] = {
        {"text compared without case", [] { return Prose(kUnits); }, Request(u"zebra crossing", noCase)},
        {"whole words among many near misses", [] { return Repeat(u"needles ", kUnits); },
         Request(u"needle", wholeWords)},
        {"wildcards", [] { return Prose(kUnits); }, Request(u"zeb*ra", wildcards)},
        {"wildcards with word anchors", [] { return Prose(kUnits); }, Request(u"<zeb*ra>", wildcards)},
        {"sounds like", [] { return Prose(kUnits); }, Request(u"zebra", soundsLike)},
        {"all word forms", [] { return Prose(kUnits); }, Request(u"zebra", wordForms)},
        {"replacing every double space", [] { return Repeat(u"a  b  ", kUnits); }, clearing},
    };
    for (const auto& c : cases) {
        auto doc = Document(c.text());
        const Outcome outcome = StopDuring([&] { ExecuteFind(*doc, c.request); }, std::chrono::milliseconds(50));
        EXPECT_TRUE(outcome.cancelled) << c.name << ": the search ended before the request";
        EXPECT_LT(outcome.latencyMs, 1000.0) << c.name;
        std::cout << "  stop latency, " << c.name << ": " << outcome.latencyMs << " ms\n";
        // A replacement that was stopped changed nothing.
        if (c.request.replace != ReplaceMode::None) {
            EXPECT_EQ(doc->Text(0).substr(0, 6), u"a  b  ");
        }
    }
}

TEST(StopInFind, ARequestMadeBeforeFindEndsItAtOnce)
{
    auto doc = Document(u"a few words");
    platform::RequestSearchStop();
    EXPECT_THROW(ExecuteFind(*doc, Request(u"few")), platform::OperationCancelled);
    platform::ClearSearchStop();
    EXPECT_TRUE(ExecuteFind(*doc, Request(u"few")));
}

TEST(StopInFind, LongLoopsLookAtTheRequestAtLeastEveryTwoMegaUnits)
{
    // A loop over a text of n units that never looked would show one or
    // two looks (at the start, per story).
    constexpr std::size_t kUnits = 16 * kChunk;
    const std::uint64_t least = kUnits / (2 * kChunk);
    const std::u16string prose = Prose(kUnits);
    FindOptions withCase;
    withCase.matchCase = true;
    FindOptions wildcards;
    wildcards.matchWildcards = true;
    const struct {
        const char* name;
        FindRequest request;
    } searches[] = {
        {"a long literal with case", Request(u"zebra crossing", withCase)},
        {"a two-unit literal", Request(u"zq", withCase)},
        {"a code after a literal", Request(u"z^#", withCase)},
        {"the word copy for wildcards", Request(u"zeb?a", wildcards)},
    };
    for (const auto& s : searches) {
        auto doc = Document(prose);
        // The compared view is built first: what is counted is the search.
        doc->View(0, false, false);
        EXPECT_GE(LooksDuring([&] { EXPECT_FALSE(ExecuteFind(*doc, s.request)); }), least) << s.name;
    }
    EXPECT_GE(LooksDuring([&] { MatchText(prose, true, false); }), least) << "folding";
    EXPECT_GE(LooksDuring([&] { MatchText(prose, false, false); }), least) << "the NFC check";
    auto doc = Document(prose);
    EXPECT_GE(LooksDuring([&] { doc->Breaks(0).Words(); }), least) << "words";
    EXPECT_GE(LooksDuring([&] { doc->Breaks(0).AllBoundaries(); }), least) << "boundaries";
}

TEST(StopInFind, ChunkedSearchesFindWhatOnePassFinds)
{
    // One needle across each chunk edge, straddling it by one unit more at
    // each edge, and some between.
    const std::u16string needle = u"needle";
    std::u16string text(6 * kChunk, u'.');
    for (std::size_t k = 1; k < 6; ++k) {
        text.replace(k * kChunk - k, needle.size(), needle);
        text.replace(k * kChunk + 1000 * k, needle.size(), needle);
    }
    auto expectAll = [&](const std::u16string& find, const std::u16string& found, FindOptions options) {
        // Every occurrence replaced, as one pass over the text sees them.
        std::u16string expected;
        std::size_t from = 0;
        for (std::size_t at = text.find(found); at != std::u16string::npos; at = text.find(found, at + found.size())) {
            expected.append(text, from, at - from);
            expected += u"#";
            from = at + found.size();
        }
        expected.append(text, from);
        auto doc = Document(text);
        FindRequest r = Request(find, options);
        r.replaceWith = u"#";
        r.replace = ReplaceMode::All;
        EXPECT_TRUE(ExecuteFind(*doc, r)) << std::string(find.begin(), find.end());
        EXPECT_TRUE(doc->Text(0) == expected) << std::string(find.begin(), find.end());
    };
    FindOptions withCase;
    withCase.matchCase = true;
    expectAll(u"needle", u"needle", withCase);
    expectAll(u"NEEDLE", u"needle", FindOptions{});
    expectAll(u"ed", u"ed", withCase);
    expectAll(u"n^$edle", u"needle", withCase);  // a code after a literal: no literal search
}

TEST(StopInFind, NormalisationCheckedInChunksAgreesWithOnePass)
{
    // A letter and the accent that composes with it across the checker's
    // first chunk edge; marks to be reordered near the next; and a run of
    // marks that never compose, longer than a chunk, so that one chunk
    // has no place to be cut at.
    std::u16string text = Prose(4 * kChunk);
    auto put = [&](std::size_t at, std::u16string_view piece) { text.replace(at, piece.size(), piece); };
    put(kChunk - 1, u"e\u0301");
    put(2 * kChunk - 3, u"a\u0307\u0323\u0307");
    put(2 * kChunk + 100, std::u16string(kChunk + kChunk / 8, u'\u0334'));
    UErrorCode status = U_ZERO_ERROR;
    const UNormalizer2* nfc = unorm2_getNFCInstance(&status);
    ASSERT_TRUE(U_SUCCESS(status));
    std::u16string expected(text.size() * 2, u'\0');
    const int32_t n = unorm2_normalize(nfc, reinterpret_cast<const UChar*>(text.data()), static_cast<int32_t>(text.size()),
                                       reinterpret_cast<UChar*>(expected.data()), static_cast<int32_t>(expected.size()),
                                       &status);
    ASSERT_TRUE(U_SUCCESS(status));
    expected.resize(static_cast<std::size_t>(n));
    const MatchText view(text, false, false);
    EXPECT_TRUE(view.Text() == expected);
}

TEST(StopInFind, RangeFindStopsAndJoinsASheetAnewAfterwards)
{
    WorkbookBuilder b;
    // Many short cells, the last with the needle.
    b.AddSheet(u"Data", SheetVisibility::Visible);
    for (std::uint32_t row = 0; row < 200000; ++row)
        b.AddText(row, 0, u"item " + std::u16string(1, static_cast<char16_t>(u'a' + row % 26)));
    b.AddText(200000, 1, u"a needle");
    // One long text alone, so that its needle lies across the second chunk
    // edge of the joined text, which starts with it.
    b.AddSheet(u"Long", SheetVisibility::Visible);
    std::u16string longText(3 * kChunk, u'x');
    longText.replace(2 * kChunk - 3, 6, u"needle");
    b.AddText(0, 0, longText);
    RangeFinder finder(std::make_shared<Workbook>(b.Finish()));
    RangeFindOptions options;
    options.what = u"needle";

    platform::RequestSearchStop();
    EXPECT_THROW(finder.Find(0, CellArea{}, options), platform::OperationCancelled);
    platform::ClearSearchStop();
    // The sheet whose joining was stopped is joined whole the next time.
    const auto found = finder.Find(0, CellArea{}, options);
    ASSERT_TRUE(found.has_value());
    EXPECT_EQ(found->row, 200000u);
    EXPECT_EQ(found->column, 1u);
    options.what = u"item z";
    EXPECT_TRUE(finder.Find(0, CellArea{}, options).has_value());
    options.what = u"needle";
    EXPECT_TRUE(finder.Find(1, CellArea{}, options).has_value());
    // The search over the joined text looks at the request as it goes.
    options.what = u"absent";
    EXPECT_GE(LooksDuring([&] { EXPECT_FALSE(finder.Find(1, CellArea{}, options).has_value()); }), 2u);
    // Cell by cell (a pattern of wildcards alone) looks too.
    options.what = u"?????????";
    options.lookAt = FindLookAt::Whole;
    EXPECT_GE(LooksDuring([&] { finder.Find(0, CellArea{}, options); }), 100u);
}
