// Stop inside the engine. The built-in Word's Find and Excel's Range.Find:
// a request made while a search works through a large text ends it with
// OperationCancelled soon after; the long loops look at the request often;
// the searches that go a chunk at a time find exactly what one pass over
// the whole text finds. The Word binary reader, the code page decoder, the
// XML readers and the web page reader look at the request as they go
// through a large file and give up (what they decode a chunk at a time is
// held against one pass in decoding_test). The stop at the automation seam
// is wordautomation_test's, and with Kestrel officefindbuiltin_test's.
#include "docfixture.h"
#include "office/containers/htmlstrictscanner.h"
#include "office/containers/xmlsax.h"
#include "office/excel/rangefind.h"
#include "office/text/charsetdecoder.h"
#include "office/text/matchtext.h"
#include "office/word/htmlreader.h"
#include "office/word/htmlwalker.h"
#include "platform/cancellation.h"
#include "tests/office/wordfixture.h"

#include <gtest/gtest.h>

#include <unicode/unorm2.h>

#include <functional>
#include <tuple>

using namespace office;

namespace {

// The searches' chunk: a megabyte of units.
constexpr std::size_t kChunk = std::size_t{1} << 20;

// `piece` repeated to `units` units.
std::u16string Repeat(std::u16string_view piece, std::size_t units)
{
    std::u16string out;
    out.reserve(units + piece.size());
    while (out.size() < units) out += piece;
    out.resize(units);
    return out;
}

// Words a person might write, some with accents, in paragraphs. The
// searches below look for words that are not in it.
std::u16string Prose(std::size_t units)
{
    static const char16_t* const kWords[] = {u"the",    u"report", u"caf\u00E9", u"numbers", u"of",
                                             u"March",  u"and",    u"r\u00E9sum\u00E9", u"budget", u"plans",
                                             u"office", u"tr\u00E8s", u"Stra\u00DFe", u"sales", u"team"};
    std::u16string block;
    for (std::size_t k = 0; block.size() < 65536; ++k) {
        block += kWords[(k * 7 + k / 13) % std::size(kWords)];
        block += (k % 17 == 16) ? u"\r" : u" ";
    }
    return Repeat(block, units);
}

using wordfix::Document;
using wordfix::Request;

// How often `work` looks at the stop request.
std::uint64_t LooksDuring(const std::function<void()>& work)
{
    platform::ClearSearchStop();
    const std::uint64_t before = platform::StopRequestLooks();
    work();
    return platform::StopRequestLooks() - before;
}

class CountingSax : public XmlSax {
public:
    explicit CountingSax(bool reference)
    {
        if (reference) UseReferenceParser();
    }
    std::size_t elements = 0;

protected:
    void StartElement(const XmlName&, const XmlAttributes&) override { ++elements; }
    void EndElement(const XmlName&) override {}
    void CharacterData(std::string_view) override {}
};

}  // namespace

// Every long loop of a search looks at the request often, so that a request
// made while it works through a large text ends it soon after: a loop over
// n units that never looked would show one or two looks (at the start, per
// story).
TEST(StopInFind, LongLoopsLookAtTheRequestAtLeastEveryTwoMegaUnits)
{
    constexpr std::size_t kUnits = 16 * kChunk;
    const std::uint64_t least = kUnits / (2 * kChunk);
    const std::u16string prose = Prose(kUnits);
    // A long literal with case, a two-unit one, a code after a literal, the
    // word copy for wildcards, whole words refused one after another, word
    // bounds, sounds-like, word forms, a replacement of spacing.
    const std::tuple<std::u16string_view, FindRequest> cases[] = {{u"", Request(u"zebra crossing", "c")},
                                                                  {u"", Request(u"zq", "c")},
                                                                  {u"", Request(u"z^#", "c")},
                                                                  {u"", Request(u"zeb?a", "*")},
                                                                  {u"needles ", Request(u"needle", "cw")},
                                                                  {u"", Request(u"<zeb*ra>", "*")},
                                                                  {u"", Request(u"zebra", "s")},
                                                                  {u"", Request(u"zebra", "f")},
                                                                  {u"a  b  ", Request(u"  ", "cr")}};
    for (const auto& [repeated, r] : cases) {
        auto doc = Document({repeated.empty() ? prose : Repeat(repeated, kUnits)});
        // Case-blind searches go over a folded copy, not folding as they
        // compare; the compared views and the word bounds are made first:
        // what is counted is the search.
        doc.SetUnfoldedSearch(SIZE_MAX);
        doc.View(0, false, false);
        doc.View(0, true, false);
        doc.Breaks(0).AllBoundaries();
        EXPECT_GE(LooksDuring([&] { ExecuteFind(doc, r); }), least)
            << std::string(r.findText.begin(), r.findText.end());
    }
    EXPECT_GE(LooksDuring([&] { MatchText(prose, true, false); }), least) << "folding";
    EXPECT_GE(LooksDuring([&] { MatchText(prose, false, false); }), least) << "the NFC check";
    auto doc = Document({prose});
    EXPECT_GE(LooksDuring([&] { doc.Breaks(0).Words(); }), least) << "words";
    EXPECT_GE(LooksDuring([&] { doc.Breaks(0).AllBoundaries(); }), least) << "boundaries";
    // A wildcard match that holds nothing visible ("<" alone) is retried
    // start after start; counted on a second search, past the UTF-8 copy.
    doc.SetShortcuts(false);
    ExecuteFind(doc, Request(u"<", "*"));
    EXPECT_GE(LooksDuring([&] { ExecuteFind(doc, Request(u"<", "*")); }), least) << "wildcard retries";
}

TEST(StopInFind, ChunkedSearchesFindWhatOnePassFinds)
{
    // One needle across each chunk edge, straddling it by one unit more at
    // each edge, and some between.
    std::u16string text(6 * kChunk, u'.');
    for (std::size_t k = 1; k < 6; ++k) {
        text.replace(k * kChunk - k, 6, u"needle");
        text.replace(k * kChunk + 1000 * k, 6, u"needle");
    }
    // Every occurrence replaced, as one pass over the text sees them; a code
    // after a literal takes no literal search.
    for (const auto& [find, found, switches] : {std::tuple{u"needle", u"needle", "c"}, std::tuple{u"NEEDLE", u"needle", ""},
                                                std::tuple{u"ed", u"ed", "c"}, std::tuple{u"n^$edle", u"needle", "c"}}) {
        const std::u16string what = found;
        std::u16string expected;
        std::size_t from = 0;
        for (std::size_t at = text.find(what); at != std::u16string::npos; at = text.find(what, at + what.size())) {
            expected.append(text, from, at - from).append(u"#");
            from = at + what.size();
        }
        expected.append(text, from);
        auto doc = Document({text});
        EXPECT_TRUE(wordfix::ReplaceAll(doc, find, u"#", switches)) << switches;
        EXPECT_TRUE(doc.Text(0) == expected) << switches;
    }
}

TEST(StopInFind, NormalisationCheckedInChunksAgreesWithOnePass)
{
    // A letter and the accent that composes with it across the checker's
    // first chunk edge; marks to be reordered near the next; and a run of
    // marks that never compose, longer than a chunk, so that one chunk
    // has no place to be cut at.
    std::u16string text = Prose(4 * kChunk);
    text.replace(kChunk - 1, 2, u"e\u0301");
    text.replace(2 * kChunk - 3, 4, u"a\u0307\u0323\u0307");
    text.replace(2 * kChunk + 100, kChunk + kChunk / 8, std::u16string(kChunk + kChunk / 8, u'\u0334'));
    UErrorCode status = U_ZERO_ERROR;
    const UNormalizer2* nfc = unorm2_getNFCInstance(&status);
    std::u16string expected(text.size() * 2, u'\0');
    expected.resize(static_cast<std::size_t>(unorm2_normalize(nfc, reinterpret_cast<const UChar*>(text.data()), static_cast<int32_t>(text.size()),
                                                              reinterpret_cast<UChar*>(expected.data()), static_cast<int32_t>(expected.size()), &status)));
    EXPECT_TRUE(U_SUCCESS(status) && MatchText(text, false, false).Text() == expected);
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
    // The search over the joined text looks at the request as it goes, and
    // so does the search cell by cell (a pattern of wildcards alone).
    options.what = u"absent";
    EXPECT_GE(LooksDuring([&] { EXPECT_FALSE(finder.Find(1, CellArea{}, options).has_value()); }), 2u);
    options.what = u"?????????";
    options.lookAt = FindLookAt::Whole;
    EXPECT_GE(LooksDuring([&] { finder.Find(0, CellArea{}, options); }), 100u);
}

// The readers look at the request as they go through a large file and give
// up when it is made: the Word binary reader (reading the stream,
// assembling the pieces and cleaning the story each look at least once a
// megabyte), the code page decoder, which leaves nothing half decoded
// behind (what it decodes a megabyte at a time is decoding_test's), both
// XML parsers, the check of the characters of one text of eight megabytes,
// the page scanner, which looks at least once every 256 KB, and the web
// page reader (libxml2's reading of a page is stopped in xlsstop_test).
TEST(StopInReaders, ReadersLookAsTheyGoAndGiveUp)
{
    std::string text;
    while (text.size() < 16 * kChunk) text += "quarterly figures for the northern region\r";
    text.resize(16 * kChunk);
    const docbin::Bytes file = docbin::Word97Of(std::u16string(text.begin(), text.end()));
    std::string shiftJis;  // two-byte characters and one-byte ones
    while (shiftJis.size() < 3 * kChunk) shiftJis += "abc\x82\xA0\x82\xA2";
    std::string xml = "<?xml version=\"1.0\" encoding=\"UTF-8\"?><r>";
    for (std::size_t i = 0; i < kChunk / 4; ++i) xml += "<c>cell text</c>";
    xml += "</r>";
    std::string page = "<html><body>";
    while (page.size() < 8 * kChunk) page += "<p>Plain words in a paragraph of an ordinary page.</p>\n";
    page += "</body></html>";
    WordContent content;
    ReadError error;
    std::u16string decoded;
    const auto parse = [&error](const std::string& document, bool reference, std::size_t elements) {
        CountingSax sax(reference);
        EXPECT_TRUE(sax.Parse(document, error)) << error;
        EXPECT_EQ(sax.elements, elements);
    };
    const std::tuple<const char*, std::uint64_t, std::function<void()>> readers[] = {
        {"Word binary reader", 3 * 16u,
         [&] {
             ASSERT_TRUE(LoadWordContent(ByteView(file), content, error)) << error;
             EXPECT_EQ(content.stories.at(0).text.size(), text.size());
         }},
        {"code page decoder", 2, [&] { AppendCodePageText(shiftJis, 932, decoded); }},
        {"XML scanner", 2, [&] { parse(xml, false, kChunk / 4 + 1); }},
        {"expat", 2, [&] { parse(xml, true, kChunk / 4 + 1); }},
        {"XML character check", 7, [&] { parse("<r>" + std::string(8 * kChunk, 'x') + "</r>", false, 1); }},
        {"page scanner", 32,
         [&] {
             HtmlWalker walker;
             EXPECT_TRUE(HtmlStrictScanner::Scan(page, walker, 256));
         }},
        {"web page reader", 1,
         [&] { ReadHtml(ByteView(reinterpret_cast<const std::uint8_t*>(page.data()), page.size()), content, error); }},
    };
    for (const auto& [name, least, read] : readers) {
        SCOPED_TRACE(name);
        EXPECT_GE(LooksDuring(read), least);
        decoded = u"kept";
        platform::RequestSearchStop();
        EXPECT_THROW(read(), platform::OperationCancelled);
        platform::ClearSearchStop();
        EXPECT_EQ(decoded, u"kept");
    }
}
