// What Find compares: text in NFC, without the format characters a reader
// never sees (optional and soft hyphens, zero-width spaces and joiners), and
// case-folded unless case matters. One table of texts and keywords goes
// through every mode of the built-in Word's Find and through the built-in
// Excel's Range.Find; the map from the compared text back to the story is
// held to the plain preparing of a short text on random input.
#include "office/text/matchtext.h"
#include "office/excel/rangefind.h"
#include "office/word/wordfind.h"

#include <gtest/gtest.h>

#include <bit>
#include <random>
#include <string>

namespace office {
namespace {

constexpr char16_t kSoftHyphen = 0x00AD;
constexpr char16_t kOptionalHyphen = 0x001F;  // Word's own, from .doc and .rtf
constexpr char16_t kZeroWidthSpace = 0x200B;
constexpr char16_t kZeroWidthJoiner = 0x200D;

std::u16string With(std::u16string a, char16_t c, std::u16string b) { return a + c + b; }

// ---- One table through every mode ----------------------------------------------

enum Mode : unsigned {
    kPlain = 1,
    kCase = 2,
    kWhole = 4,
    kWild = 8,
    kSounds = 16,
    kForms = 32,
    kExcel = 64,
    kExcelCase = 128,
    kAll = 255,
};

struct Case {
    std::u16string text;
    std::u16string keyword;
    unsigned found;     // the modes that find it
    unsigned notFound;  // the modes that must not
};

const std::vector<Case>& Cases()
{
    static const std::vector<Case> cases = {
        // NFC both ways: precomposed in the keyword, decomposed in the text,
        // and the reverse.
        {u"Le caf" u"e\u0301 est ouvert.", u"caf\u00E9", kAll, 0},
        {u"Le caf\u00E9 est ouvert.", u"cafe\u0301", kAll & ~kSounds & ~kForms, 0},
        {u"CAFE\u0301 NOIR", u"caf\u00E9", kPlain | kWhole | kExcel, kCase | kExcelCase},
        // A letter with its accent is not the bare letter.
        {u"Le caf" u"e\u0301 est ouvert.", u"cafe", 0, kPlain | kCase | kWhole | kExcel | kExcelCase},
        {u"Le caf" u"e\u0301 est ouvert.", u"cafe ", 0, kPlain | kCase | kExcel | kExcelCase},
        // Optional and soft hyphens, zero-width characters: invisible.
        {With(u"Automatic Hyphen", kSoftHyphen, u"ation here"), u"Hyphenation", kAll, 0},
        // Word's own optional hyphen comes only from Word's readers.
        {With(u"Automatic Hyphen", kOptionalHyphen, u"ation here"), u"Hyphenation", kAll & ~kExcel & ~kExcelCase, 0},
        {With(u"Automatic hyphen", kOptionalHyphen, u"ation here"), u"HYPHENATION", kPlain | kWhole | kSounds | kForms,
         kCase},
        {With(u"Automatic hyphen", kOptionalHyphen, u"ation here"), u"<hyphen>", 0, kWild},
        {With(u"a zero", kZeroWidthSpace, u"width b"), u"zerowidth", kPlain | kCase | kWild | kExcel | kExcelCase, 0},
        {With(u"x Join", kZeroWidthJoiner, u"ed y"), u"Joined", kAll, 0},
        {With(u"Hyphen", kSoftHyphen, u"ation"), u"hyphenations", kSounds | kForms, kAll & ~kSounds & ~kForms},
        {With(u"Hyphen", kSoftHyphen, u"ation"), u"hyphen", kPlain | kExcel, kWhole | kSounds},
        // A word that ends in a soft hyphen still ends there.
        {With(u"pre", kSoftHyphen, u" fix"), u"pre", kAll, 0},
        {With(u"over", kSoftHyphen, u"load"), u"over", kPlain | kCase | kWild | kExcel | kExcelCase, kWhole},
        // "^-" is Word's code for the optional hyphen: the keyword wants to see it.
        {With(u"Hyphen", kOptionalHyphen, u"ation"), u"n^-a", kPlain | kCase | kWild, 0},
        {u"Hyphenation", u"n^-a", 0, kPlain | kWild},
        // Wildcard anchors see through the characters left out.
        {With(u"an inter", kSoftHyphen, u"national day"), u"<inter*>", kWild, 0},
        {With(u"an inter", kSoftHyphen, u"national day"), u"<international>", kWild, 0},
        {With(u"an inter", kSoftHyphen, u"national day"), u"<inter>", 0, kWild},
        {With(u"say pre", kSoftHyphen, u" now"), u"<pre>", kWild, 0},
    };
    return cases;
}

bool WordFinds(const std::u16string& text, const std::u16string& keyword, unsigned mode)
{
    WordContent content;
    content.stories.push_back({StoryKind::Main, text + u"\r"});
    WordDocument doc(std::move(content));
    FindRequest r;
    r.findText = keyword;
    r.options.matchCase = mode == kCase;
    r.options.matchWholeWord = mode == kWhole;
    r.options.matchWildcards = mode == kWild;
    r.options.matchSoundsLike = mode == kSounds;
    r.options.matchAllWordForms = mode == kForms;
    return ExecuteFind(doc, r);
}

bool ExcelFinds(const std::u16string& text, const std::u16string& keyword, bool matchCase)
{
    WorkbookBuilder b;
    b.AddSheet(u"S", SheetVisibility::Visible);
    b.AddText(0, 0, u"other");
    b.AddText(3, 2, text);
    RangeFinder finder(std::make_shared<Workbook>(b.Finish()));
    RangeFindOptions options;
    options.what = keyword;
    options.matchCase = matchCase;
    // The whole sheet (one search of its joined texts) and an area (a test
    // of each cell) must agree.
    const bool sheet = finder.Find(0, CellArea{}, options).has_value();
    const bool area = finder.Find(0, CellArea{0, 0, 100, 100}, options).has_value();
    EXPECT_EQ(sheet, area);
    return sheet;
}

bool Finds(const Case& c, unsigned mode)
{
    switch (mode) {
    case kExcel: return ExcelFinds(c.text, c.keyword, false);
    case kExcelCase: return ExcelFinds(c.text, c.keyword, true);
    default: return WordFinds(c.text, c.keyword, mode);
    }
}

const char* ModeName(unsigned mode)
{
    const char* const names[] = {"plain", "match case", "whole word", "wildcards", "sounds like", "all word forms",
                                 "Excel", "Excel match case"};
    return names[std::countr_zero(mode)];
}

TEST(MatchText, EveryModeSeesWhatAReaderSees)
{
    for (std::size_t i = 0; i < Cases().size(); ++i) {
        const Case& c = Cases()[i];
        for (unsigned mode = 1; mode < kAll; mode <<= 1) {
            if ((c.found & mode) != 0) {
                EXPECT_TRUE(Finds(c, mode)) << "case " << i << ", " << ModeName(mode);
            } else if ((c.notFound & mode) != 0) {
                EXPECT_FALSE(Finds(c, mode)) << "case " << i << ", " << ModeName(mode);
            }
        }
    }
}

TEST(MatchText, ReplacementsCoverTheCharactersLeftOut)
{
    WordContent content;
    content.stories.push_back({StoryKind::Main, With(u"a Hyphen", kSoftHyphen, u"ation caf") + u"e\u0301 b\r"});
    WordDocument doc(std::move(content));
    FindRequest r;
    r.findText = u"hyphenation caf\u00E9";
    r.replaceWith = u"X";
    r.replace = ReplaceMode::All;
    ASSERT_TRUE(ExecuteFind(doc, r));
    EXPECT_EQ(doc.Text(0), u"a X b\r");
}

// ---- The map back to the story --------------------------------------------------

TEST(MatchText, MapAgreesWithPreparingTheMappedRange)
{
    // Any range of the compared text between two edges is the prepared form
    // of the story's text the map gives for it.
    const std::u16string alphabet[] = {u"a", u"B", u"e", u"\u0301", u"\u0323", u"\u00E9", u"\u00DF", u"\u00AD",
                                       u"\x1F", u"\u200D", u" ", u"\U0001D400", u"\u212B", u"\u0130"};
    std::mt19937 rng(7);
    for (int round = 0; round < 3000; ++round) {
        std::u16string original;
        const std::size_t len = rng() % 12;
        for (std::size_t k = 0; k < len; ++k) original += alphabet[rng() % std::size(alphabet)];
        const bool fold = rng() % 2 == 0;
        const bool keep = rng() % 4 == 0;
        const MatchText view(original, fold, keep);
        const std::u16string_view text = view.Text();
        ASSERT_EQ(text, PrepareForMatch(original, fold, keep)) << round;
        EXPECT_EQ(view.OriginalStart(text.size()), original.size());
        for (std::size_t a = 0; a <= text.size(); ++a) {
            if (!view.IsCharacterEdge(a)) continue;
            EXPECT_LE(view.OriginalEnd(a), view.OriginalStart(a)) << round;
            for (std::size_t b = a + 1; b <= text.size(); ++b) {
                if (!view.IsCharacterEdge(b)) continue;
                const std::size_t os = view.OriginalStart(a);
                const std::size_t oe = view.OriginalEnd(b);
                ASSERT_LE(os, oe) << round;
                EXPECT_EQ(PrepareForMatch(std::u16string_view(original).substr(os, oe - os), fold, keep),
                          text.substr(a, b - a))
                    << round << " [" << a << ", " << b << ")";
            }
        }
    }
}

TEST(MatchText, LongTextsAgreeWithTheirShortPiecesPrepared)
{
    // Long texts take the vector steps; a cut before an ASCII character is a
    // boundary of every step of preparing, so the long text prepared is its
    // short pieces (shorter than one step) prepared and joined. Specials
    // land on every position of an eight-unit step, and at a run's ends.
    const std::u16string specials[] = {u"\u0301", u"\u00E9", u"\u00DF", u"\u00AD", u"\x1F", u"\u200D",
                                       u"\u0130", u"\U0001D400", u"\x7F", u"\x80", u"\u00FF", u"\u212A",
                                       u"\u00C0", u"\uFFFF", u"@", u"[", u"`", u"{"};
    const char16_t ascii[] = u"aZqA@[`{ M\r\t~.z";
    std::mt19937 rng(11);
    for (int round = 0; round < 400; ++round) {
        std::u16string original;
        std::vector<std::size_t> cuts{0};
        const std::size_t pieces = 1 + rng() % 40;
        for (std::size_t p = 0; p < pieces; ++p) {
            if (rng() % 3 == 0) original += specials[rng() % std::size(specials)];
            const std::size_t n = rng() % 70;
            for (std::size_t k = 0; k < n; ++k) {
                if (k % 5 == 0 && original.size() > cuts.back()) cuts.push_back(original.size());
                original += ascii[rng() % (std::size(ascii) - 1)];
            }
        }
        cuts.push_back(original.size());
        const bool fold = rng() % 2 == 0;
        const bool keep = rng() % 4 == 0;
        std::u16string joined;
        bool format = false;
        for (std::size_t c = 0; c + 1 < cuts.size(); ++c) {
            const std::u16string_view piece = std::u16string_view(original).substr(cuts[c], cuts[c + 1] - cuts[c]);
            joined += PrepareForMatch(piece, fold, keep);
            format = format || HasIgnorableFormat(piece);
        }
        const MatchText view(original, fold, keep);
        ASSERT_EQ(view.Text(), joined) << round;
        EXPECT_EQ(HasIgnorableFormat(original), format) << round;
        EXPECT_EQ(view.OriginalStart(view.Text().size()), original.size()) << round;
    }
}

TEST(MatchText, LongRunsOfMarksStayBoundedAndKeepTheirText)
{
    // Thousands of combining marks on one letter: normalised in pieces, and
    // nothing of them is lost.
    std::u16string original = u"x";
    for (int i = 0; i < 5000; ++i) original += (i % 2 == 0) ? u'\u0323' : u'\u0301';
    const MatchText view(original, true, false);
    EXPECT_EQ(view.Text().size(), original.size());
    EXPECT_EQ(view.OriginalStart(view.Text().size()), original.size());
}

}  // namespace
}  // namespace office
