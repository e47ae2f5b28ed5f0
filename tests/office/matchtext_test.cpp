// What Find compares: text in NFC, without the format characters a reader
// never sees (optional and soft hyphens, zero-width spaces and joiners), and
// case-folded unless case matters. One table of texts and keywords goes
// through every mode of the built-in Word's Find and through the built-in
// Excel's Range.Find; the map from the compared text back to the story is
// held to the plain preparing of a short text on random input.
#include "office/text/matchtext.h"
#include "office/excel/rangefind.h"
#include "platform/utf8.h"
#include "support/sameview.h"
#include "tests/office/wordfixture.h"

#include <gtest/gtest.h>
#include <unicode/uchar.h>
#include <unicode/unorm2.h>
#include <unicode/ustring.h>
#include <unicode/utf16.h>

#include <random>
#include <string>

namespace office {
namespace {

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

// Each mode's switches as wordfixture.h writes them; the last two are Excel's.
const char* const kSwitches[] = {"", "c", "w", "*", "s", "f", "Excel", "Excel c"};

struct Case {
    std::u16string text;
    std::u16string keyword;
    unsigned found;     // the modes that find it
    unsigned notFound;  // the modes that must not
};

// U+00AD is the soft hyphen, 0x1F Word's own optional hyphen (from .doc and
// .rtf), U+200B and U+200D the zero-width space and joiner.
const std::vector<Case> kCases = {
    // NFC both ways: precomposed in the keyword, decomposed in the text,
    // and the reverse.
    {u"Le cafe\u0301 est ouvert.", u"caf\u00E9", kAll, 0},
    {u"Le caf\u00E9 est ouvert.", u"cafe\u0301", kAll & ~kSounds & ~kForms, 0},
    {u"CAFE\u0301 NOIR", u"caf\u00E9", kPlain | kWhole | kExcel, kCase | kExcelCase},
    // A letter with its accent is not the bare letter.
    {u"Le cafe\u0301 est ouvert.", u"cafe", 0, kPlain | kCase | kWhole | kExcel | kExcelCase},
    {u"Le cafe\u0301 est ouvert.", u"cafe ", 0, kPlain | kCase | kExcel | kExcelCase},
    // Optional and soft hyphens, zero-width characters: invisible.
    {u"Automatic Hyphen\u00ADation here", u"Hyphenation", kAll, 0},
    // Word's own optional hyphen comes only from Word's readers.
    {u"Automatic Hyphen\u001Fation here", u"Hyphenation", kAll & ~kExcel & ~kExcelCase, 0},
    {u"Automatic hyphen\u001Fation here", u"HYPHENATION", kPlain | kWhole | kSounds | kForms, kCase},
    {u"Automatic hyphen\u001Fation here", u"<hyphen>", 0, kWild},
    {u"a zero\u200Bwidth b", u"zerowidth", kPlain | kCase | kWild | kExcel | kExcelCase, 0},
    {u"x Join\u200Ded y", u"Joined", kAll, 0},
    {u"Hyphen\u00ADation", u"hyphenations", kSounds | kForms, kAll & ~kSounds & ~kForms},
    {u"Hyphen\u00ADation", u"hyphen", kPlain | kExcel, kWhole | kSounds},
    // A word that ends in a soft hyphen still ends there.
    {u"pre\u00AD fix", u"pre", kAll, 0},
    {u"over\u00ADload", u"over", kPlain | kCase | kWild | kExcel | kExcelCase, kWhole},
    // "^-" is Word's code for the optional hyphen: the keyword wants to see it.
    {u"Hyphen\u001Fation", u"n^-a", kPlain | kCase | kWild, 0},
    {u"Hyphenation", u"n^-a", 0, kPlain | kWild},
    // Wildcard anchors see through the characters left out.
    {u"an inter\u00ADnational day", u"<inter*>", kWild, 0},
    {u"an inter\u00ADnational day", u"<international>", kWild, 0},
    {u"an inter\u00ADnational day", u"<inter>", 0, kWild},
    {u"say pre\u00AD now", u"<pre>", kWild, 0},
};

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

bool Finds(const Case& c, int mode)
{
    if (mode >= 6) return ExcelFinds(c.text, c.keyword, mode == 7);
    WordDocument doc = wordfix::Document({c.text + u"\r"});
    return wordfix::Find(doc, c.keyword, kSwitches[mode]);
}

TEST(MatchText, EveryModeSeesWhatAReaderSees)
{
    for (std::size_t i = 0; i < kCases.size(); ++i) {
        const Case& c = kCases[i];
        for (int mode = 0; mode < 8; ++mode) {
            SCOPED_TRACE(::testing::Message() << "case " << i << " [" << kSwitches[mode] << "]");
            if ((c.found >> mode & 1u) != 0) {
                EXPECT_TRUE(Finds(c, mode));
            } else if ((c.notFound >> mode & 1u) != 0) {
                EXPECT_FALSE(Finds(c, mode));
            }
        }
    }
}

// ---- The map back to the story --------------------------------------------------

// A random text of one of three shapes, with what its compared text must
// be made of: short texts of every kind of unit (checked against preparing
// them whole); long texts of ASCII runs (of up to 17,000 units, for the
// vector steps and the map's runs) between rarer units, cut before ASCII
// characters, where every step of preparing has a boundary (checked
// against the short pieces prepared and joined); and NFC texts of
// one-unit letters, ignorable and surrogate characters (checked as a text
// known to be NFC).
struct MapCase {
    std::u16string original;
    std::vector<std::size_t> cuts;  // long texts
    bool nfc = false;
};

MapCase RandomMapCase(std::mt19937& rng, int round)
{
    static const std::u16string shortUnits[] = {u"a", u"B", u"e", u"\u0301", u"\u0323", u"\u00E9", u"\u00DF", u"\u00AD",
                                                u"\x1F", u"\u200D", u" ", u"\U0001D400", u"\u212B", u"\u0130"};
    static const std::u16string rare[] = {u"\u0301", u"\u00E9", u"\u00DF", u"\u00AD", u"\x1F", u"\u200D", u"\u0130",
                                          u"\U0001D400", u"\x7F", u"\x80", u"\u00FF", u"\u212A", u"\u00C0", u"\uFFFF",
                                          u"@", u"[", u"`", u"{", u"\uFB01", u"e\u0301", u"\u200B", u"\u03A3",
                                          u"\u1E9E", std::u16string(1, char16_t{0xD800})};
    static const std::u16string nfcUnits = u"aZ \t\u00E9\u00C9\u00DF\u0130\u03A3\u4E2D\u00AD\x1F\u200B\U0001D400\U00010400";
    static const char16_t ascii[] = u"aZqA@[`{ M\r\t~.z";
    MapCase c;
    switch (round % 3) {
    case 0:
        for (std::size_t k = rng() % 12; k > 0; --k) c.original += shortUnits[rng() % std::size(shortUnits)];
        break;
    case 1: {
        c.cuts.push_back(0);
        const bool huge = round % 60 == 1;
        for (std::size_t p = 0, pieces = 1 + rng() % 40; p < pieces || (huge && c.original.size() < 40000); ++p) {
            if (rng() % 3 == 0) c.original += rare[rng() % std::size(rare)];
            const std::size_t n = huge && rng() % 8 == 0 ? 17000 : rng() % 70;
            for (std::size_t k = 0; k < n; ++k) {
                if (k % 5 == 0 && c.original.size() > c.cuts.back()) c.cuts.push_back(c.original.size());
                c.original += ascii[rng() % (std::size(ascii) - 1)];
            }
        }
        c.cuts.push_back(c.original.size());
        break;
    }
    default:
        c.nfc = true;
        for (std::size_t length = rng() % 60; c.original.size() < length;) {
            const std::size_t at = rng() % nfcUnits.size();
            // A pair goes whole.
            if (at + 1 < nfcUnits.size() && nfcUnits[at] >= 0xD800 && nfcUnits[at] < 0xDC00) c.original += nfcUnits.substr(at, 2);
            else if (nfcUnits[at] < 0xDC00 || nfcUnits[at] > 0xDFFF) c.original.push_back(nfcUnits[at]);
        }
        break;
    }
    return c;
}

// In every view: the compared text is what preparing gives; between two
// edges it is the prepared form of the story's range the map gives for
// them; the map runs forward; a text known to be NFC gets the view of one
// that is checked.
TEST(MatchText, MapAgreesWithPreparingTheMappedRange)
{
    std::mt19937 rng(7);
    for (int round = 0; round < 3000; ++round) {
        const MapCase c = RandomMapCase(rng, round);
        const std::u16string_view original = c.original;
        std::u16string joined;
        bool format = false;
        for (std::size_t k = 0; k + 1 < c.cuts.size(); ++k)
            format = format || HasIgnorableFormat(original.substr(c.cuts[k], c.cuts[k + 1] - c.cuts[k]));
        if (!c.cuts.empty()) {
            EXPECT_EQ(HasIgnorableFormat(original), format) << round;
        }
        for (int view = 0; view < 4; ++view) {
            SCOPED_TRACE(::testing::Message() << "round " << round << " view " << view);
            const bool fold = view >= 2;
            const bool keep = view % 2 == 1;
            const MatchText m(c.original, fold, keep);
            const std::u16string_view text = m.Text();
            if (c.cuts.empty()) {
                ASSERT_EQ(text, PrepareForMatch(original, fold, keep));
            } else {
                joined.clear();
                for (std::size_t k = 0; k + 1 < c.cuts.size(); ++k)
                    joined += PrepareForMatch(original.substr(c.cuts[k], c.cuts[k + 1] - c.cuts[k]), fold, keep);
                ASSERT_TRUE(text == joined);
            }
            ASSERT_EQ(m.OriginalStart(text.size()), original.size());
            std::size_t lastStart = 0;
            for (std::size_t a = 0; a < text.size(); ++a) {
                if (!m.IsCharacterEdge(a)) continue;
                ASSERT_GE(m.OriginalStart(a), lastStart) << a;
                ASSERT_LE(m.OriginalEnd(a), m.OriginalStart(a)) << a;
                lastStart = m.OriginalStart(a);
                if (original.size() > 200 && rng() % 16 != 0) continue;
                for (std::size_t b = a + 1; b <= text.size() && b <= a + 24; ++b) {
                    if (!m.IsCharacterEdge(b)) continue;
                    const std::size_t from = m.OriginalStart(a);
                    const std::size_t to = m.OriginalEnd(b);
                    ASSERT_LE(from, to);
                    ASSERT_TRUE(PrepareForMatch(original.substr(from, to - from), fold, keep) == text.substr(a, b - a))
                        << "[" << a << ", " << b << ")";
                }
            }
            if (c.nfc) {
                ASSERT_FALSE(NeedsNormalizing(original, true));
                const MatchText known(c.original, fold, keep, KnownForm::Nfc);
                ASSERT_TRUE(known.OriginalIsNfc() && m.OriginalIsNfc());
                ASSERT_TRUE(SameView(known, m));
            }
        }
    }
}

// ---- Other scripts, held to ICU applied to the whole text -------------------

// The compared text worked out the plain way: ignorable format characters
// taken out, NFC and case folding by ICU over the whole text.
std::u16string Reference(std::u16string_view text, bool fold, bool keep)
{
    std::u16string kept;
    const auto* units = reinterpret_cast<const UChar*>(text.data());
    const auto length = static_cast<int32_t>(text.size());
    for (int32_t at = 0; at < length;) {
        const int32_t from = at;
        UChar32 c = 0;
        U16_NEXT(units, at, length, c);
        // Format characters by ICU's own category, and Word's optional hyphen.
        if (keep || (c != 0x1F && u_charType(c) != U_FORMAT_CHAR))
            kept.append(text.substr(static_cast<std::size_t>(from), static_cast<std::size_t>(at - from)));
    }
    UErrorCode status = U_ZERO_ERROR;
    const UNormalizer2* nfc = unorm2_getNFCInstance(&status);
    std::u16string out(kept.size() * 3 + 8, u'\0');
    auto n = unorm2_normalize(nfc, reinterpret_cast<const UChar*>(kept.data()), static_cast<int32_t>(kept.size()),
                              reinterpret_cast<UChar*>(out.data()), static_cast<int32_t>(out.size()), &status);
    EXPECT_TRUE(U_SUCCESS(status));
    out.resize(static_cast<std::size_t>(n));
    if (!fold) return out;
    std::u16string folded(out.size() * 3 + 8, u'\0');
    n = u_strFoldCase(reinterpret_cast<UChar*>(folded.data()), static_cast<int32_t>(folded.size()),
                      reinterpret_cast<const UChar*>(out.data()), static_cast<int32_t>(out.size()), U_FOLD_CASE_DEFAULT,
                      &status);
    EXPECT_TRUE(U_SUCCESS(status));
    folded.resize(static_cast<std::size_t>(n));
    return folded;
}

// Words of Cyrillic, Greek, CJK and Hangul between short and long runs of
// ASCII, with the pieces that leave the quick paths: combining marks on a
// letter (never after a character left out, where taking it out first
// would let them compose), letters that fold longer, characters left out,
// surrogate pairs, Hangul syllables written as jamo.
std::u16string RandomScriptText(std::mt19937& rng)
{
    static const std::u16string letters[] = {u"\u0430", u"\u0416", u"\u0451",     u"\u0419",    u"\u03A3", u"\u03C2",
                                             u"\u4E2D", u"\uAC00", u"\u0149",     u"\u00DF",    u"\uFB01", u"\u0130",
                                             u"\u00C9", u"\u2019", u"\U0001D400", u"\U00010400"};
    static const std::u16string marks[] = {u"\u0301", u"\u0306", u"\u0308", u"\u0323", u"\u1161", u"\u11A8"};
    static const std::u16string gaps[] = {u" ", u", ", u" - ", u".\r", u"\t", u"  "};
    static const std::u16string left[] = {u"\u00AD", u"\x1F", u"\u200B", u"\u200D"};
    std::u16string text;
    // A third of the texts hold none of the pieces that are not plain.
    const bool plain = rng() % 3 == 0;
    const std::size_t letterCount = std::size(letters) - (plain ? 2 : 0);
    for (std::size_t words = rng() % 40; words > 0; --words) {
        if (rng() % 9 == 0) text += std::u16string(16 + rng() % 40, u'a' + static_cast<char16_t>(rng() % 26));
        for (std::size_t k = 1 + rng() % 8; k > 0; --k) {
            text += letters[rng() % (rng() % 4 == 0 ? letterCount : 4)];
            if (!plain && rng() % 12 == 0) text += marks[rng() % std::size(marks)];
            if (!plain && rng() % 20 == 0) text += left[rng() % std::size(left)];
        }
        text += gaps[rng() % std::size(gaps)];
        if (!plain && rng() % 20 == 0) text += left[rng() % std::size(left)] + u"o";
    }
    return text;
}

// The first unit of a character that is not plain normal, found a code
// point at a time.
std::size_t ReferencePlainPrefix(std::u16string_view text)
{
    for (std::size_t i = 0; i < text.size();) {
        std::size_t len = 1;
        if (!IsPlainNormalCharacter(CodePointAt(text, i, len))) return i;
        i += len;
    }
    return text.size();
}

TEST(MatchText, OtherScriptsAgreeWithTheWholeTextNormalised)
{
    std::mt19937 rng(11);
    int plain = 0;
    for (int round = 0; round < 1500; ++round) {
        const std::u16string original = RandomScriptText(rng);
        SCOPED_TRACE(::testing::Message() << "round " << round);
        const std::size_t prefix = PlainNormalPrefix(original);
        ASSERT_EQ(prefix, ReferencePlainPrefix(original));
        if (prefix == original.size()) ++plain;
        // (A mark after a letter it does not compose with may be answered
        // true: ICU's quick check says "maybe" there.)
        for (const bool keep : {false, true}) {
            if (!NeedsNormalizing(original, keep)) {
                ASSERT_TRUE(Reference(original, false, keep) == original);
            }
        }
        for (int view = 0; view < 4; ++view) {
            const bool fold = view >= 2;
            const bool keep = view % 2 == 1;
            const MatchText m(original, fold, keep);
            const std::u16string_view text = m.Text();
            ASSERT_TRUE(text == Reference(original, fold, keep)) << "view " << view;
            ASSERT_EQ(m.OriginalStart(text.size()), original.size());
            // Between two edges, the mapped range of the story.
            for (std::size_t a = 0; a < text.size(); a += 1 + rng() % 7) {
                if (!m.IsCharacterEdge(a)) continue;
                for (std::size_t b = a + 1; b <= text.size() && b <= a + 12; ++b) {
                    if (!m.IsCharacterEdge(b)) continue;
                    const std::size_t from = m.OriginalStart(a);
                    const std::size_t to = m.OriginalEnd(b);
                    ASSERT_LE(from, to);
                    ASSERT_TRUE(Reference(std::u16string_view(original).substr(from, to - from), fold, keep) ==
                                text.substr(a, b - a))
                        << "view " << view << " [" << a << ", " << b << ")";
                }
            }
        }
    }
    // Both answers of the quick look occur.
    EXPECT_GT(plain, 100);
    EXPECT_LT(plain, 1400);
}

// The scans go through a long text in steps of a million units; a mark
// just after a step still composes with the letter before it.
TEST(MatchText, MarksComposeAcrossTheStepsOfALongScan)
{
    for (const std::size_t at : {std::size_t{1} << 20, (std::size_t{1} << 20) + 1, (std::size_t{1} << 20) - 1}) {
        std::u16string original(at, u'\u0430');
        original += u'\u0308';
        for (int view = 0; view < 4; ++view) {
            const MatchText m(original, view >= 2, view % 2 == 1);
            ASSERT_EQ(m.Text().size(), at) << at << " view " << view;
            EXPECT_EQ(m.Text().back(), u'\u04D3') << at << " view " << view;
            // The composed letter stands for the letter and its mark.
            EXPECT_EQ(m.OriginalStart(at - 1), at - 1);
            EXPECT_EQ(m.OriginalStart(at), at + 1);
        }
        EXPECT_EQ(PlainNormalPrefix(original), at);
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
