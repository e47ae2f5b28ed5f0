// Range.Find's matching: part and whole cells, wildcards and their escapes,
// case folding, what a formula cell matches by, and the search order; and
// that searches led by a sheet's joined text find the cell a test of every
// cell in turn finds.
#include "office/excel/rangefind.h"
#include "office/text/casefold.h"

#include <gtest/gtest.h>
#include <unicode/uchar.h>
#include <unicode/ustring.h>

#include <algorithm>
#include <random>

using namespace office;

namespace {

bool Match(std::u16string_view what, std::u16string_view text, bool matchCase = false,
           FindLookAt lookAt = FindLookAt::Part)
{
    const FindPattern pattern(what, matchCase, lookAt);
    return pattern.Matches(matchCase ? std::u16string(text) : FullCaseFold(text));
}

// Sheet 0 "Data":  A1 "Apple pie"  B1 4711  A2 =SUM(B1) showing 4711
//                  B2 date 3/1/2024  A3 "APPLE"   C3 TRUE
// Sheet 1 "Other": A1 "pear"
std::shared_ptr<const Workbook> Book()
{
    WorkbookBuilder b;
    b.AddSheet(u"Data", SheetVisibility::Visible);
    b.AddText(0, 0, u"Apple pie");
    b.AddNumber(0, 1, 4711);
    Cell f;
    f.row = 1;
    f.column = 0;
    f.kind = CellKind::Number;
    f.number = 4711;
    f.isFormula = true;
    f.formula = b.AddText(u"=SUM(B1)");
    b.AddCell(f);
    b.AddNumber(1, 1, 45352, NumberStyle::Date);
    b.AddText(2, 0, u"APPLE");
    b.AddBoolean(2, 2, true);
    b.AddSheet(u"Other", SheetVisibility::VeryHidden);
    b.AddText(0, 0, u"pear");
    return std::make_shared<Workbook>(b.Finish());
}

std::optional<CellPos> Find(RangeFinder& finder, const std::u16string& what, RangeFindOptions options = {},
                            std::size_t sheet = 0, std::optional<CellPos> after = std::nullopt)
{
    options.what = what;
    return finder.Find(sheet, CellArea{}, options, after);
}

}  // namespace

TEST(ExcelFindPattern, PartAndWholeMatches)
{
    EXPECT_TRUE(Match(u"pie", u"Apple pie"));
    EXPECT_FALSE(Match(u"pie", u"Apple pie", false, FindLookAt::Whole));
    EXPECT_TRUE(Match(u"apple pie", u"Apple pie", false, FindLookAt::Whole));
    EXPECT_FALSE(Match(u"cake", u"Apple pie"));
}

TEST(ExcelFindPattern, WildcardsAndEscapes)
{
    EXPECT_TRUE(Match(u"a*e", u"xx apple yy"));
    EXPECT_TRUE(Match(u"a?ple", u"apple"));
    EXPECT_FALSE(Match(u"a?ple", u"aple"));
    EXPECT_TRUE(Match(u"ap*ie", u"Apple pie", false, FindLookAt::Whole));
    EXPECT_FALSE(Match(u"ap*i", u"Apple pie", false, FindLookAt::Whole));
    EXPECT_TRUE(Match(u"*", u"anything", false, FindLookAt::Whole));
    // ~* ~? ~~ are the characters themselves.
    EXPECT_TRUE(Match(u"5~*3", u"5*3"));
    EXPECT_FALSE(Match(u"5~*3", u"5x3"));
    EXPECT_TRUE(Match(u"why~?", u"why?"));
    EXPECT_FALSE(Match(u"why~?", u"whyx"));
    EXPECT_TRUE(Match(u"a~~b", u"a~b"));
    // A tilde before another character is just a tilde.
    EXPECT_TRUE(Match(u"a~b", u"a~b"));
    // ? takes a whole character outside the basic plane.
    EXPECT_TRUE(Match(u"x?y", u"x\U0001F600y", false, FindLookAt::Whole));
}

TEST(ExcelFindPattern, PathologicalPatternsStayFast)
{
    const std::u16string text(20000, u'a');
    EXPECT_FALSE(Match(u"*a*a*a*a*a*a*a*a*b", text));
}

TEST(ExcelFindPattern, CaseFolding)
{
    EXPECT_TRUE(Match(u"apple", u"APPLE"));
    EXPECT_FALSE(Match(u"apple", u"APPLE", true));
    EXPECT_TRUE(Match(u"APPLE", u"APPLE", true));
    // Unicode folding: ß matches SS, Greek final sigma, Cyrillic.
    EXPECT_TRUE(Match(u"strasse", u"STRAßE"));
    EXPECT_TRUE(Match(u"ΣΟΦΟΣ", u"σοφος"));
    EXPECT_TRUE(Match(u"москва", u"МОСКВА"));
    EXPECT_FALSE(Match(u"москва", u"МОСКВА", true));
}

TEST(ExcelFindPattern, EmptyTextFindsNothing)
{
    EXPECT_FALSE(Match(u"", u"anything"));
    RangeFinder finder(Book());
    EXPECT_FALSE(Find(finder, u""));
}

TEST(ExcelRangeFind, ConstantsMatchByTheirShownText)
{
    RangeFinder finder(Book());
    EXPECT_EQ(Find(finder, u"4711"), (CellPos{0, 1}));
    EXPECT_EQ(Find(finder, u"3/1/2024"), (CellPos{1, 1}));
    EXPECT_FALSE(Find(finder, u"45352"));  // the serial is not what a person sees
    EXPECT_EQ(Find(finder, u"true"), (CellPos{2, 2}));
}

TEST(ExcelRangeFind, FormulasMatchByTextOrShownValue)
{
    RangeFinder finder(Book());
    EXPECT_EQ(Find(finder, u"SUM("), (CellPos{1, 0}));
    RangeFindOptions values;
    values.lookIn = FindLookIn::Values;
    EXPECT_FALSE(Find(finder, u"SUM(", values));
    // The shown value of a formula is found whatever LookIn says.
    RangeFindOptions whole;
    whole.lookAt = FindLookAt::Whole;
    auto found = Find(finder, u"4711", whole, 0, CellPos{0, 1});
    EXPECT_EQ(found, (CellPos{1, 0}));
    RangeFindOptions comments;
    comments.lookIn = FindLookIn::Comments;
    EXPECT_FALSE(Find(finder, u"apple", comments));
}

TEST(ExcelRangeFind, MatchCaseAndHiddenSheets)
{
    RangeFinder finder(Book());
    RangeFindOptions exact;
    exact.matchCase = true;
    EXPECT_EQ(Find(finder, u"APPLE", exact), (CellPos{2, 0}));
    EXPECT_FALSE(Find(finder, u"apple", exact));
    EXPECT_EQ(Find(finder, u"apple"), (CellPos{2, 0}));  // A1 is searched last
    EXPECT_EQ(Find(finder, u"PEAR", {}, 1), (CellPos{0, 0}));
    EXPECT_FALSE(Find(finder, u"pear", {}, 0));
    EXPECT_FALSE(Find(finder, u"pear", {}, 7));
}

TEST(ExcelRangeFind, OrderDirectionAndWrapAround)
{
    RangeFinder finder(Book());
    // By rows after A1: A3 "APPLE" comes before wrapping to A1.
    EXPECT_EQ(Find(finder, u"apple", {}, 0, CellPos{0, 0}), (CellPos{2, 0}));
    EXPECT_EQ(Find(finder, u"apple", {}, 0, CellPos{2, 0}), (CellPos{0, 0}));
    RangeFindOptions back;
    back.direction = FindDirection::Previous;
    EXPECT_EQ(Find(finder, u"apple", back, 0, CellPos{2, 0}), (CellPos{0, 0}));
    EXPECT_EQ(Find(finder, u"apple", back, 0, CellPos{0, 0}), (CellPos{2, 0}));
    // By columns, B1 (4711) comes after A3; by rows, before.
    RangeFindOptions byColumns;
    byColumns.order = FindOrder::ByColumns;
    EXPECT_EQ(Find(finder, u"4711", byColumns, 0, CellPos{0, 0}), (CellPos{1, 0}));
    EXPECT_EQ(Find(finder, u"4711", {}, 0, CellPos{0, 0}), (CellPos{0, 1}));
}

TEST(ExcelRangeFind, AreaLimitsTheSearch)
{
    RangeFinder finder(Book());
    RangeFindOptions options;
    options.what = u"apple";
    EXPECT_FALSE(finder.Find(0, CellArea{1, 0, 1, 5}, options));
    EXPECT_EQ(finder.Find(0, CellArea{2, 0, 2, 0}, options), (CellPos{2, 0}));
}

TEST(ExcelRangeFind, SheetWideSearchAgreesWithCellByCellSearch)
{
    // The whole-sheet search takes the joined text's first hit as its
    // answer; in an area one column short of the sheet each cell the hits
    // lead to is tested in full. Both must agree.
    std::mt19937 rng(5);
    const std::u16string words[] = {u"Alpha", u"beta", u"GAMMA", u"delta epsilon", u"ß", u"12.5", u"x"};
    WorkbookBuilder b;
    b.AddSheet(u"S", SheetVisibility::Visible);
    for (int i = 0; i < 400; ++i) {
        const auto row = static_cast<std::uint32_t>(rng() % 60);
        const auto col = static_cast<std::uint32_t>(rng() % 8);
        if (rng() % 3 == 0) {
            b.AddNumber(row, col, static_cast<double>(rng() % 50) / 4.0);
        } else {
            Cell c;
            c.row = row;
            c.column = col;
            c.kind = CellKind::Text;
            c.text = b.AddText(words[rng() % 7] + u" " + words[rng() % 7]);
            if (rng() % 4 == 0) {
                c.isFormula = true;
                c.formula = b.AddText(u"=LOWER(\"" + words[rng() % 7] + u"\")");
            }
            b.AddCell(c);
        }
    }
    RangeFinder finder(std::make_shared<Workbook>(b.Finish()));
    const CellArea narrower{0, 0, kMaxRows - 1, kMaxColumns - 2};
    for (int round = 0; round < 300; ++round) {
        RangeFindOptions options;
        options.what = words[rng() % 7].substr(0, 1 + rng() % 3);
        options.matchCase = rng() % 2 == 0;
        const std::optional<CellPos> after =
            rng() % 2 == 0 ? std::nullopt
                           : std::optional<CellPos>(CellPos{static_cast<std::uint32_t>(rng() % 60),
                                                            static_cast<std::uint32_t>(rng() % 8)});
        EXPECT_EQ(finder.Find(0, CellArea{}, options, after), finder.Find(0, narrower, options, after))
            << round;
    }
}

TEST(ExcelRangeFind, OneLongTextInManyCellsIsSearchedWithoutCopies)
{
    // 3000 cells show one 30,000-character shared text: joined they would
    // be 90 million characters, so the sheet is searched cell by cell.
    WorkbookBuilder b;
    b.AddSheet(u"S", SheetVisibility::Visible);
    const std::uint32_t text = b.AddText(std::u16string(30000, u'a') + u"needle");
    for (std::uint32_t r = 0; r < 3000; ++r) b.AddTextIndex(r, 0, text);
    b.AddText(3000, 1, u"other");
    RangeFinder finder(std::make_shared<Workbook>(b.Finish()));
    RangeFindOptions options;
    options.what = u"NEEDLE";
    EXPECT_EQ(finder.Find(0, CellArea{}, options), (CellPos{1, 0}));
    options.what = u"other";
    EXPECT_EQ(finder.Find(0, CellArea{}, options), (CellPos{3000, 1}));
    options.what = u"absent";
    EXPECT_FALSE(finder.Find(0, CellArea{}, options));
    // Wildcard searches of such a sheet go cell by cell too.
    options.what = u"n?edle";
    EXPECT_EQ(finder.Find(0, CellArea{}, options), (CellPos{1, 0}));
    options.what = u"*th?r";
    EXPECT_EQ(finder.Find(0, CellArea{}, options), (CellPos{3000, 1}));
}

TEST(ExcelRangeFind, JoinedTextsStayWithinOneCapForAllSheets)
{
    // 40 sheets of 2 million characters each: each sheet alone could be
    // joined, all of them together may not; every sheet is still searched.
    WorkbookBuilder b;
    const std::uint32_t text = b.AddText(std::u16string(20000, u'b') + u"mark");
    for (int s = 0; s < 40; ++s) {
        b.AddSheet(u"S" + std::u16string(1, static_cast<char16_t>(u'A' + s)), SheetVisibility::Visible);
        for (std::uint32_t r = 0; r < 100; ++r) b.AddTextIndex(r, 0, text);
    }
    RangeFinder finder(std::make_shared<Workbook>(b.Finish()));
    RangeFindOptions options;
    options.what = u"MARK";
    for (std::size_t s = 0; s < 40; ++s) EXPECT_EQ(finder.Find(s, CellArea{}, options), (CellPos{1, 0})) << s;
}

namespace {

// Full case folding of a whole text in one ICU call: the plain definition
// that the piecewise folding must reproduce.
std::u16string IcuFold(std::u16string_view text)
{
    std::u16string out(text.size() * 3 + 8, u'\0');
    UErrorCode status = U_ZERO_ERROR;
    const int32_t len = u_strFoldCase(reinterpret_cast<UChar*>(out.data()), static_cast<int32_t>(out.size()),
                                      reinterpret_cast<const UChar*>(text.data()), static_cast<int32_t>(text.size()),
                                      U_FOLD_CASE_DEFAULT, &status);
    EXPECT_TRUE(U_SUCCESS(status));
    out.resize(U_SUCCESS(status) && len > 0 ? static_cast<std::size_t>(len) : 0);
    return out;
}

// A reference wildcard matcher, written for clarity: a memoised recursion
// over pattern and text positions. `?` and each step of `*` take one
// character, a surrogate pair being one character.
class ReferenceMatcher {
public:
    ReferenceMatcher(std::u16string_view what, bool matchCase, bool whole)
    {
        std::u16string literal;
        auto flush = [&] {
            for (char16_t c : matchCase ? literal : IcuFold(literal)) m_elems.push_back({'c', c});
            literal.clear();
        };
        if (!whole) m_elems.push_back({'*', 0});
        for (std::size_t i = 0; i < what.size(); ++i) {
            const char16_t c = what[i];
            const bool escapes = c == u'~' && i + 1 < what.size() &&
                                 (what[i + 1] == u'*' || what[i + 1] == u'?' || what[i + 1] == u'~');
            if (escapes) {
                literal.push_back(what[++i]);
            } else if (c == u'*' || c == u'?') {
                flush();
                m_elems.push_back({static_cast<char>(c), 0});
            } else {
                literal.push_back(c);
            }
        }
        flush();
        if (!whole) m_elems.push_back({'*', 0});
    }

    bool Matches(std::u16string_view text)
    {
        m_text = text;
        m_memo.assign((m_elems.size() + 1) * (text.size() + 1), -1);
        return At(0, 0);
    }

private:
    struct Elem {
        char kind;
        char16_t ch;
    };
    std::size_t Step(std::size_t t) const
    {
        const bool pair = t + 1 < m_text.size() && m_text[t] >= 0xD800 && m_text[t] <= 0xDBFF &&
                          m_text[t + 1] >= 0xDC00 && m_text[t + 1] <= 0xDFFF;
        return pair ? 2 : 1;
    }
    bool At(std::size_t p, std::size_t t)
    {
        signed char& memo = m_memo[p * (m_text.size() + 1) + t];
        if (memo >= 0) return memo == 1;
        bool result = false;
        if (p == m_elems.size()) {
            result = t == m_text.size();
        } else if (m_elems[p].kind == '*') {
            result = At(p + 1, t) || (t < m_text.size() && At(p, t + Step(t)));
        } else if (m_elems[p].kind == '?') {
            result = t < m_text.size() && At(p + 1, t + Step(t));
        } else {
            result = t < m_text.size() && m_text[t] == m_elems[p].ch && At(p + 1, t + 1);
        }
        memo = result ? 1 : 0;
        return result;
    }

    std::vector<Elem> m_elems;
    std::u16string_view m_text;
    std::vector<signed char> m_memo;
};

std::u16string Pick(std::mt19937& rng, const std::vector<std::u16string>& pieces, std::size_t count)
{
    std::u16string out;
    for (std::size_t i = 0; i < count; ++i) out += pieces[rng() % pieces.size()];
    return out;
}

// The texts a cell is found by, as the brute-force search below reads them.
bool CellMatchesPlainly(const Workbook& book, const Cell& cell, const RangeFindOptions& options)
{
    const FindPattern pattern(options.what, options.matchCase, options.lookAt);
    auto test = [&](std::uint32_t text) {
        if (text == kNoText) return false;
        const std::u16string& original = book.Text(text);
        return pattern.Matches(options.matchCase ? original : FullCaseFold(original));
    };
    if (options.lookIn == FindLookIn::Comments) return false;
    return (options.lookIn == FindLookIn::Formulas && cell.isFormula && test(cell.formula)) || test(cell.shown);
}

// Range.Find by brute force: every cell of the area in the search order,
// starting after `start` and wrapping around to it.
std::optional<CellPos> FindPlainly(const Workbook& book, std::size_t sheet, const CellArea& area,
                                   const RangeFindOptions& options, CellPos start)
{
    const bool byColumns = options.order == FindOrder::ByColumns;
    auto key = [&](std::uint32_t row, std::uint32_t column) {
        return byColumns ? std::pair(column, row) : std::pair(row, column);
    };
    std::vector<const Cell*> inOrder;
    for (const Cell& cell : book.sheets[sheet].cells)
        if (area.Contains(cell.row, cell.column)) inOrder.push_back(&cell);
    std::sort(inOrder.begin(), inOrder.end(),
              [&](const Cell* a, const Cell* b) { return key(a->row, a->column) < key(b->row, b->column); });
    if (options.direction == FindDirection::Previous) std::reverse(inOrder.begin(), inOrder.end());
    auto beyond = [&](const Cell* c) {
        return options.direction == FindDirection::Next ? key(c->row, c->column) > key(start.row, start.column)
                                                        : key(c->row, c->column) < key(start.row, start.column);
    };
    for (int pass = 0; pass < 2; ++pass)
        for (const Cell* cell : inOrder)
            if (beyond(cell) == (pass == 0) && CellMatchesPlainly(book, *cell, options))
                return CellPos{cell->row, cell->column};
    return std::nullopt;
}

}  // namespace

TEST(ExcelFindPattern, WildcardsAgreeWithReferenceMatcher)
{
    std::mt19937 rng(23);
    const std::vector<std::u16string> textPieces = {u"a", u"b", u"A", u"ß", u"S", u"s", u"\U0001F600",
                                                    u"Σ", u"ς", u"*", u"?", u"~"};
    const std::vector<std::u16string> patternPieces = {u"a", u"b", u"S", u"ß", u"\U0001F600", u"σ", u"*",
                                                       u"?", u"~*", u"~?", u"~~", u"ss"};
    for (int round = 0; round < 3000; ++round) {
        const std::u16string what = Pick(rng, patternPieces, 1 + rng() % 5);
        const std::u16string text = Pick(rng, textPieces, rng() % 9);
        const bool matchCase = rng() % 3 == 0;
        const bool whole = rng() % 2 == 0;
        const FindPattern pattern(what, matchCase, whole ? FindLookAt::Whole : FindLookAt::Part);
        ReferenceMatcher reference(what, matchCase, whole);
        const std::u16string subject = matchCase ? text : IcuFold(text);
        ASSERT_EQ(pattern.Matches(subject), reference.Matches(subject)) << round;
    }
}

TEST(ExcelRangeFind, WildcardSearchAgreesWithBruteForce)
{
    // Wildcard patterns jump through the joined sheet text to the cells
    // that hold their longest plain run; whatever the order, direction,
    // area, start cell, case and LookIn, the answer must be the cell a
    // test of every cell in turn gives.
    std::mt19937 rng(31);
    const std::vector<std::u16string> words = {u"Straße", u"STRASSE", u"x\U0001F600y", u"alpha", u"ALPHA beta",
                                               u"5*3", u"why?", u"a~b", u"ΣΟΦΟΣ", u"sep\xFFFFrate", u"ǅ",
                                               u"ﬃ", u"12.5", u"\xD800lone"};
    WorkbookBuilder b;
    b.AddSheet(u"S", SheetVisibility::Visible);
    for (int i = 0; i < 500; ++i) {
        const auto row = static_cast<std::uint32_t>(rng() % 40);
        const auto col = static_cast<std::uint32_t>(rng() % 7);
        if (rng() % 4 == 0) {
            b.AddNumber(row, col, static_cast<double>(rng() % 80) / 4.0);
            continue;
        }
        Cell c;
        c.row = row;
        c.column = col;
        c.kind = CellKind::Text;
        c.text = b.AddText(Pick(rng, words, 1 + rng() % 2));
        if (rng() % 3 == 0) {
            c.isFormula = true;
            c.formula = b.AddText(u"=UPPER(\"" + Pick(rng, words, 1) + u"\")");
        }
        b.AddCell(c);
    }
    const auto book = std::make_shared<Workbook>(b.Finish());
    RangeFinder finder(book);
    const std::vector<std::u16string> pieces = {u"a",  u"ss", u"ß", u"x",  u"\U0001F600", u"y", u"*", u"*",
                                                u"?",  u"~*", u"~?", u"~~", u"σ", u"\xFFFF", u"upper", u"5",
                                                u"lph", u"ǆ", u"FFI", u"\xD800", u"="};
    int found = 0;
    for (int round = 0; round < 3000; ++round) {
        RangeFindOptions options;
        options.what = Pick(rng, pieces, 1 + rng() % 4);
        options.matchCase = rng() % 3 == 0;
        options.lookAt = rng() % 3 == 0 ? FindLookAt::Whole : FindLookAt::Part;
        options.lookIn = rng() % 3 == 0 ? FindLookIn::Values : FindLookIn::Formulas;
        options.order = rng() % 2 == 0 ? FindOrder::ByColumns : FindOrder::ByRows;
        options.direction = rng() % 2 == 0 ? FindDirection::Previous : FindDirection::Next;
        CellArea area;
        if (rng() % 2 == 0) {
            area.firstRow = static_cast<std::uint32_t>(rng() % 40);
            area.lastRow = area.firstRow + static_cast<std::uint32_t>(rng() % 20);
            area.firstColumn = static_cast<std::uint32_t>(rng() % 7);
            area.lastColumn = area.firstColumn + static_cast<std::uint32_t>(rng() % 4);
        }
        std::optional<CellPos> after;
        if (rng() % 3 != 0)
            after = CellPos{static_cast<std::uint32_t>(rng() % 45), static_cast<std::uint32_t>(rng() % 9)};
        const CellPos start = after.value_or(CellPos{area.firstRow, area.firstColumn});
        const auto expected = FindPlainly(*book, 0, area, options, start);
        ASSERT_EQ(finder.Find(0, area, options, after), expected) << round;
        found += expected ? 1 : 0;
    }
    // The comparison means something only if many searches find a cell and
    // many do not.
    EXPECT_GT(found, 600);
    EXPECT_LT(found, 2400);
}

TEST(ExcelRangeFind, WildcardsAcrossFoldingAndPairs)
{
    WorkbookBuilder b;
    b.AddSheet(u"S", SheetVisibility::Visible);
    b.AddText(0, 0, u"plain");
    b.AddText(1, 0, u"STRAßE");
    b.AddText(2, 0, u"x\U0001F600y");
    b.AddText(3, 0, u"Strasse");
    b.AddText(4, 2, u"ΣΟΦΟΣ");
    RangeFinder finder(std::make_shared<Workbook>(b.Finish()));
    // ß folds to "ss": the run "ss" leads to the cell, and a wildcard
    // stands for the lengthened text's characters.
    EXPECT_EQ(Find(finder, u"stra*e"), (CellPos{1, 0}));
    EXPECT_EQ(Find(finder, u"st?asse"), (CellPos{1, 0}));
    EXPECT_EQ(Find(finder, u"*ß*"), (CellPos{1, 0}));
    RangeFindOptions exact;
    exact.matchCase = true;
    EXPECT_EQ(Find(finder, u"*ß*", exact), (CellPos{1, 0}));
    EXPECT_EQ(Find(finder, u"S*sse", exact), (CellPos{3, 0}));
    // Wildcards count the characters of the folded text, where ß is two.
    EXPECT_FALSE(Find(finder, u"stra?e"));
    EXPECT_EQ(Find(finder, u"stra??e"), (CellPos{1, 0}));
    // ? takes the whole pair; two of them are one too many.
    RangeFindOptions whole;
    whole.lookAt = FindLookAt::Whole;
    EXPECT_EQ(Find(finder, u"x?y", whole), (CellPos{2, 0}));
    EXPECT_FALSE(Find(finder, u"x??y", whole));
    EXPECT_EQ(Find(finder, u"?\U0001F600?", whole), (CellPos{2, 0}));
    // Final and capital sigma fold alike.
    EXPECT_EQ(Find(finder, u"σοφ?ς", whole), (CellPos{4, 2}));
}

TEST(ExcelRangeFind, WildcardStartAfterAndWrapAround)
{
    WorkbookBuilder b;
    b.AddSheet(u"S", SheetVisibility::Visible);
    b.AddText(0, 1, u"key-1");
    b.AddText(2, 0, u"key-2");
    b.AddText(5, 3, u"no");
    b.AddText(7, 0, u"KEY-3");
    RangeFinder finder(std::make_shared<Workbook>(b.Finish()));
    // By rows: B1, A3, A8.
    EXPECT_EQ(Find(finder, u"key-?", {}, 0, CellPos{0, 1}), (CellPos{2, 0}));
    EXPECT_EQ(Find(finder, u"key-?", {}, 0, CellPos{7, 0}), (CellPos{0, 1}));
    EXPECT_EQ(Find(finder, u"k*3", {}, 0, CellPos{7, 0}), (CellPos{7, 0}));  // itself, after a full round
    RangeFindOptions back;
    back.direction = FindDirection::Previous;
    EXPECT_EQ(Find(finder, u"key-?", back, 0, CellPos{0, 1}), (CellPos{7, 0}));
    EXPECT_EQ(Find(finder, u"key-?", back, 0, CellPos{2, 0}), (CellPos{0, 1}));
    // By columns: A3, A8, B1.
    RangeFindOptions byColumns;
    byColumns.order = FindOrder::ByColumns;
    EXPECT_EQ(Find(finder, u"key-?", byColumns, 0, CellPos{7, 0}), (CellPos{0, 1}));
    EXPECT_EQ(Find(finder, u"key-?", byColumns, 0, CellPos{0, 1}), (CellPos{2, 0}));
    byColumns.direction = FindDirection::Previous;
    EXPECT_EQ(Find(finder, u"key-?", byColumns, 0, CellPos{2, 0}), (CellPos{0, 1}));
    EXPECT_EQ(Find(finder, u"key-?", byColumns, 0, CellPos{0, 1}), (CellPos{7, 0}));
    // An area leaves the others out, wrap-around included.
    RangeFindOptions options;
    options.what = u"key*";
    EXPECT_EQ(finder.Find(0, CellArea{1, 0, 9, 0}, options, CellPos{7, 0}), (CellPos{2, 0}));
    EXPECT_FALSE(finder.Find(0, CellArea{3, 0, 6, 5}, options));
}

TEST(ExcelRangeFind, JoinedTextTurnsWideWhereLatin1EndsOrHoldsNul)
{
    // Sheets of Latin-1 texts are joined one byte a unit, with U+0000 as
    // the separator; the first other unit turns the whole sheet to UTF-16.
    WorkbookBuilder b;
    b.AddSheet(u"Before", SheetVisibility::Visible);
    b.AddText(0, 0, u"café");
    b.AddText(1, 0, u"Ωmega");
    b.AddText(2, 0, u"after");
    b.AddSheet(u"Nul", SheetVisibility::Visible);
    b.AddText(0, 0, u"x");
    b.AddText(1, 0, std::u16string(u"0123456789\0abcdefgh", 20));
    b.AddText(2, 0, std::u16string(u"a\0b", 3));
    b.AddText(3, 0, u"c");
    b.AddSheet(u"Micro", SheetVisibility::Visible);
    b.AddText(0, 0, u"size 5µm");  // µ folds to Greek mu, beyond Latin-1
    b.AddText(1, 0, u"ÿ");
    RangeFinder finder(std::make_shared<Workbook>(b.Finish()));
    RangeFindOptions exact;
    exact.matchCase = true;
    for (const RangeFindOptions& options : {RangeFindOptions{}, exact}) {
        EXPECT_EQ(Find(finder, u"caf", options), (CellPos{0, 0}));
        EXPECT_EQ(Find(finder, u"é", options), (CellPos{0, 0}));
        EXPECT_EQ(Find(finder, u"Ωm", options), (CellPos{1, 0}));
        EXPECT_EQ(Find(finder, u"fte", options), (CellPos{2, 0}));
        EXPECT_EQ(Find(finder, u"a*r", options), (CellPos{2, 0}));
        // A NUL is a character like others, and no separator. Searches
        // after the last cell read the whole joined text in one go.
        const CellPos last{3, 0};
        EXPECT_EQ(Find(finder, std::u16string(u"a\0b", 3), options, 1, last), (CellPos{2, 0}));
        EXPECT_EQ(Find(finder, std::u16string(u"\0b", 2), options, 1, last), (CellPos{2, 0}));
        EXPECT_EQ(Find(finder, std::u16string(u"9\0a", 3), options, 1, last), (CellPos{1, 0}));
        EXPECT_FALSE(Find(finder, std::u16string(u"x\0", 2), options, 1, last));
        EXPECT_FALSE(Find(finder, std::u16string(u"b\0c", 3), options, 1, last));
        EXPECT_FALSE(Find(finder, u"b*x", options, 1, last));
        EXPECT_EQ(Find(finder, u"ÿ", options, 2), (CellPos{1, 0}));
        EXPECT_EQ(Find(finder, u"5µ", options, 2), (CellPos{0, 0}));
        EXPECT_FALSE(Find(finder, u"Ā", options, 2));
    }
    // Without regard to case µ, μ and Μ are one character.
    EXPECT_EQ(Find(finder, u"5Μm", {}, 2), (CellPos{0, 0}));
    EXPECT_EQ(Find(finder, u"?μ*", {}, 2), (CellPos{0, 0}));
    EXPECT_FALSE(Find(finder, u"5Μm", exact, 2));
    EXPECT_EQ(Find(finder, u"Ÿ", {}, 2), (CellPos{1, 0}));
}

TEST(ExcelRangeFind, FoldingThatOutgrowsTheCapFallsBackToCells)
{
    // 22 million units fit the cap as they are, but folded (ﬃ -> ffi)
    // they are three times as many: the folded joined text is given up
    // while it is built, and the sheet searched cell by cell.
    WorkbookBuilder b;
    b.AddSheet(u"S", SheetVisibility::Visible);
    const std::uint32_t text = b.AddText(std::u16string(22000, u'ﬃ'));
    for (std::uint32_t r = 0; r < 1000; ++r) b.AddTextIndex(r, 0, text);
    b.AddText(1000, 1, u"the ﬃ NEEDLE");
    RangeFinder finder(std::make_shared<Workbook>(b.Finish()));
    EXPECT_EQ(Find(finder, u"ffi needle"), (CellPos{1000, 1}));
    EXPECT_EQ(Find(finder, u"F?I N*"), (CellPos{1000, 1}));
    EXPECT_EQ(Find(finder, u"ffiffi"), (CellPos{1, 0}));
    RangeFindOptions exact;
    exact.matchCase = true;
    EXPECT_EQ(Find(finder, u"ﬃ NEEDLE", exact), (CellPos{1000, 1}));
    EXPECT_FALSE(Find(finder, u"ffi", exact));
}

TEST(ExcelSheetText, FindsTheFirstCellHoldingANeedle)
{
    // Texts over two letters give the search many near misses, in the
    // narrow form and (with an occasional Ω or NUL) the UTF-16 form; the
    // answer must be the first cell of the range that holds the needle.
    std::mt19937 rng(41);
    for (int round = 0; round < 300; ++round) {
        const bool wide = round % 3 == 1;
        const bool nul = round % 3 == 2;
        std::vector<std::vector<std::u16string>> cells(1 + rng() % 120);
        SheetText joined;
        joined.Start(cells.size(), 0, std::size_t{1} << 20);
        for (auto& texts : cells) {
            joined.NextCell();
            texts.resize(rng() % 3);
            for (auto& text : texts) {
                const std::size_t length = rng() % 40;
                for (std::size_t k = 0; k < length; ++k) text.push_back(rng() % 2 == 0 ? u'a' : u'B');
                if (wide && rng() % 8 == 0) text.push_back(u'Ω');
                if (nul && rng() % 8 == 0) text.insert(rng() % (length + 1), 1, u'\0');
                // Asked for ASCII, the joined text takes an ASCII text
                // itself (lowered if asked) and leaves any other to the
                // caller.
                const int how = static_cast<int>(rng() % 3);
                const auto as = how == 0 ? SheetText::As::Prepared
                                         : how == 1 ? SheetText::As::Ascii : SheetText::As::AsciiLowered;
                const bool fold = as == SheetText::As::AsciiLowered;
                SheetText::Added added = joined.Add(text, as);
                if (added == SheetText::Added::NeedsPreparing) {
                    ASSERT_NE(as, SheetText::As::Prepared);
                    ASSERT_NE(text.find(u'Ω'), std::u16string::npos);
                    if (fold) {
                        for (char16_t& c : text) c = c == u'B' ? u'b' : c;
                    }
                    added = joined.Add(text, SheetText::As::Prepared);
                } else if (fold) {
                    for (char16_t& c : text) c = c == u'B' ? u'b' : c;
                }
                ASSERT_EQ(added, SheetText::Added::Yes);
            }
        }
        joined.Finish();
        ASSERT_TRUE(joined.Ready());
        for (int query = 0; query < 20; ++query) {
            std::u16string needle;
            const std::size_t length = 1 + rng() % 6;
            for (std::size_t k = 0; k < length; ++k) needle.push_back(u"aBb"[rng() % 3]);
            if (nul && rng() % 4 == 0) needle.insert(rng() % length, 1, u'\0');
            const std::size_t first = rng() % cells.size();
            const std::size_t end = first + rng() % (cells.size() - first + 1);
            std::optional<std::size_t> expected;
            for (std::size_t i = first; i < end && !expected; ++i)
                for (const auto& text : cells[i])
                    if (text.find(needle) != std::u16string::npos) expected = i;
            ASSERT_EQ(joined.FindCell(SheetText::Needle(needle), first, end), expected) << round << " " << query;
        }
    }
}

TEST(ExcelSheetText, PassingTheLimitDropsTheText)
{
    SheetText joined;
    joined.Start(3, 10, 12);
    joined.NextCell();
    EXPECT_EQ(joined.Add(u"abcde", SheetText::As::Prepared), SheetText::Added::Yes);
    joined.NextCell();
    EXPECT_EQ(joined.Add(u"FGHIJ", SheetText::As::AsciiLowered), SheetText::Added::Yes);  // 12 units with the separators
    joined.NextCell();
    EXPECT_EQ(joined.Add(u"k", SheetText::As::Ascii), SheetText::Added::OverLimit);
    EXPECT_FALSE(joined.Ready());
    EXPECT_EQ(joined.Units(), 0u);
    EXPECT_FALSE(joined.FindCell(SheetText::Needle(u"abc"), 0, 1));
}
