// Range.Find held against a test of every cell in turn, whose matching of
// wildcards, escapes and case is a plain regular-expression definition over
// ICU's folding (the product's folding is held to ICU's in
// decoding_test.cpp), on sheets of Latin-1 and of other texts, numbers,
// dates and Booleans, a visible and a very hidden one; sheets too large to
// join; and the joined text's limit.
#include "office/excel/rangefind.h"
#include "support/icufold.h"

#include <gtest/gtest.h>
#include <unicode/uchar.h>

#include <algorithm>
#include <functional>
#include <random>
#include <regex>

using namespace office;

namespace {

std::optional<CellPos> Find(RangeFinder& finder, const std::u16string& what, RangeFindOptions options,
                            std::size_t sheet)
{
    options.what = what;
    return finder.Find(sheet, {}, options, std::nullopt);
}

RangeFindOptions Opt(bool matchCase)
{
    RangeFindOptions o;
    o.matchCase = matchCase;
    return o;
}

}  // namespace

namespace {

// The plain definition of a wildcard match, through std::wregex over code
// points: `?` and each step of `*` take one character, a surrogate pair
// being one character; `~` escapes the three. Gives the test of a text.
std::function<bool(std::u16string_view)> ReferenceMatcher(std::u16string_view what, bool matchCase, bool whole)
{
    auto points = [](std::u16string_view units) {
        std::wstring out;
        for (std::size_t i = 0; i < units.size(); ++i) {
            const bool pair = i + 1 < units.size() && U16_IS_LEAD(units[i]) && U16_IS_TRAIL(units[i + 1]);
            out.push_back(static_cast<wchar_t>(pair ? U16_GET_SUPPLEMENTARY(units[i], units[i + 1]) : units[i]));
            i += pair ? 1 : 0;
        }
        return out;
    };
    std::wstring re;
    std::u16string literal;
    auto flush = [&] {
        for (wchar_t c : points(matchCase ? literal : IcuFold(literal))) {
            if (std::wstring_view(L"\\^$.|?*+()[]{}").find(c) != std::wstring_view::npos) re += L'\\';
            re += c;
        }
        literal.clear();
    };
    for (std::size_t i = 0; i < what.size(); ++i) {
        if (what[i] == u'~' && i + 1 < what.size() && std::u16string_view(u"*?~").find(what[i + 1]) != std::u16string_view::npos) {
            literal.push_back(what[++i]);
        } else if (what[i] == u'*' || what[i] == u'?') {
            flush();
            re += what[i] == u'*' ? L"[\\s\\S]*" : L"[\\s\\S]";
        } else {
            literal.push_back(what[i]);
        }
    }
    flush();
    return [pattern = std::wregex(re), points, matchCase, whole](std::u16string_view text) {
        const std::wstring subject = points(matchCase ? std::u16string(text) : IcuFold(text));
        return whole ? std::regex_match(subject, pattern) : std::regex_search(subject, pattern);
    };
}

std::u16string Pick(std::mt19937& rng, const std::vector<std::u16string>& pieces, std::size_t count)
{
    std::u16string out;
    for (std::size_t i = 0; i < count; ++i) out += pieces[rng() % pieces.size()];
    return out;
}

// Range.Find by brute force: every cell of the area in the search order,
// starting after `start` and wrapping around to it.
std::optional<CellPos> FindPlainly(const Workbook& book, std::size_t sheet, const CellArea& area,
                                   const RangeFindOptions& options, CellPos start)
{
    if (sheet >= book.sheets.size() || options.what.empty()) return std::nullopt;
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
    // A cell is found by its formula's text (LookIn formulas) or the text
    // it shows, never by a comment.
    const auto matches = ReferenceMatcher(options.what, options.matchCase, options.lookAt == FindLookAt::Whole);
    auto test = [&](std::uint32_t text) { return text != kNoText && matches(book.Text(text)); };
    auto found = [&](const Cell& cell) {
        return options.lookIn != FindLookIn::Comments &&
               ((options.lookIn == FindLookIn::Formulas && cell.isFormula && test(cell.formula)) || test(cell.shown));
    };
    for (int pass = 0; pass < 2; ++pass)
        for (const Cell* cell : inOrder)
            if (beyond(cell) == (pass == 0) && found(*cell)) return CellPos{cell->row, cell->column};
    return std::nullopt;
}

}  // namespace

TEST(ExcelRangeFind, SearchAgreesWithBruteForce)
{
    // Wildcard patterns jump through the joined sheet text to the cells
    // that hold their longest plain run; whatever the order, direction,
    // area, start cell, case and LookIn, the answer must be the cell a
    // test of every cell in turn by the reference matcher gives. Sheet 1 holds only Latin-1 texts
    // (joined one byte a unit, NUL included), sheet 0 all others.
    std::mt19937 rng(31);
    std::mt19937 extra(7);  // the choices added later, leaving rng's as they were
    const std::vector<std::u16string> words[] = {
        {u"Straße", u"STRASSE", u"x\U0001F600y", u"alpha", u"ALPHA beta", u"5*3", u"why?", u"a~b", u"ΣΟΦΟΣ",
         u"sep\xFFFFrate", u"ǅ", u"ﬃ", u"12.5", u"\xD800lone"},
        {u"café", u"after", std::u16string(u"a\0b", 3), u"size 5µm", u"ÿ", u"x", u"ALPHA", u"5*3", u"a~b"}};
    WorkbookBuilder b;
    for (std::size_t sheet = 0; sheet < 2; ++sheet) {
        b.AddSheet(sheet == 0 ? u"Mixed" : u"Latin",
                   sheet == 0 ? SheetVisibility::Visible : SheetVisibility::VeryHidden);
        for (int i = 0; i < 500; ++i) {
            const auto row = static_cast<std::uint32_t>(rng() % 40);
            const auto col = static_cast<std::uint32_t>(rng() % 7);
            // Numbers, dates and Booleans are found by the text they show.
            if (rng() % 4 == 0) {
                const double n = static_cast<double>(rng() % 80) / 4.0;
                const auto kind = extra() % 4;
                if (kind == 0) b.AddNumber(row, col, 45352 + n, NumberStyle::Date);
                else if (kind == 1) b.AddBoolean(row, col, n > 10);
                else b.AddNumber(row, col, n);
                continue;
            }
            Cell c;
            c.row = row;
            c.column = col;
            c.kind = CellKind::Text;
            c.text = b.AddText(Pick(rng, words[sheet], 1 + rng() % 2));
            if (rng() % 3 == 0) {
                c.isFormula = true;
                c.formula = b.AddText(u"=UPPER(\"" + Pick(rng, words[sheet], 1) + u"\")");
            }
            b.AddCell(c);
        }
    }
    const auto book = std::make_shared<Workbook>(b.Finish());
    RangeFinder finder(book);
    const std::vector<std::u16string> pieces = {u"a",  u"ss", u"ß", u"x",  u"\U0001F600", u"y", u"*", u"*",
                                                u"?",  u"~*", u"~?", u"~~", u"σ", u"\xFFFF", u"upper", u"5",
                                                u"lph", u"ǆ", u"FFI", u"\xD800", u"=", u"é", u"µ", u"Μ",
                                                std::u16string(1, u'\0'), u"ÿ", u"Ÿ", u"caf", u"b"};
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
        std::size_t sheet = rng() % 2;
        switch (extra() % 16) {
        case 0: options.what.clear(); break;
        case 1: options.lookIn = FindLookIn::Comments; break;
        case 2: sheet = 7; break;  // no such sheet
        case 3: options.what = Pick(extra, {u"3/", u"/2024", u"4535", u"tru", u"*E"}, 1 + extra() % 2); break;
        default: break;
        }
        const auto expected = FindPlainly(*book, sheet, area, options, start);
        ASSERT_EQ(finder.Find(sheet, area, options, after), expected) << round;
        found += expected ? 1 : 0;
    }
    // The comparison means something only if many searches find a cell and
    // many do not.
    EXPECT_GT(found, 300);
    EXPECT_LT(found, 2400);
}


// Sheets whose joined text would pass its cap are searched cell by cell:
// one long text in many cells, many sheets that fit one by one but not
// together, and folding that lengthens the text past the cap.
TEST(ExcelRangeFind, SheetsTooLargeToJoinAreSearchedCellByCell)
{
    WorkbookBuilder b;
    b.AddSheet(u"Long", SheetVisibility::Visible);
    const std::uint32_t text = b.AddText(std::u16string(30000, u'a') + u"needle");
    for (std::uint32_t r = 0; r < 3000; ++r) b.AddTextIndex(r, 0, text);
    b.AddText(3000, 1, u"other");
    b.AddSheet(u"Folded", SheetVisibility::Visible);
    const std::uint32_t ligatures = b.AddText(std::u16string(22000, u'ﬃ'));
    for (std::uint32_t r = 0; r < 1000; ++r) b.AddTextIndex(r, 0, ligatures);
    b.AddText(1000, 1, u"the ﬃ NEEDLE");
    const std::uint32_t mark = b.AddText(std::u16string(20000, u'b') + u"mark");
    for (int s = 0; s < 40; ++s) {
        b.AddSheet(u"S" + std::u16string(1, static_cast<char16_t>(u'A' + s)), SheetVisibility::Visible);
        for (std::uint32_t r = 0; r < 100; ++r) b.AddTextIndex(r, 0, mark);
    }
    RangeFinder finder(std::make_shared<Workbook>(b.Finish()));
    const std::tuple<const char16_t*, bool, std::size_t, std::optional<CellPos>> cases[] = {
        {u"NEEDLE", false, 0, CellPos{1, 0}}, {u"other", false, 0, CellPos{3000, 1}}, {u"absent", false, 0, std::nullopt},
        {u"n?edle", false, 0, CellPos{1, 0}}, {u"*th?r", false, 0, CellPos{3000, 1}},
        {u"ffi needle", false, 1, CellPos{1000, 1}}, {u"F?I N*", false, 1, CellPos{1000, 1}},
        {u"ffiffi", false, 1, CellPos{1, 0}}, {u"ﬃ NEEDLE", true, 1, CellPos{1000, 1}}, {u"ffi", true, 1, std::nullopt}};
    for (const auto& [what, matchCase, sheet, expected] : cases)
        EXPECT_EQ(Find(finder, what, Opt(matchCase), sheet), expected) << sheet;
    for (std::size_t s = 2; s < 42; ++s) EXPECT_EQ(Find(finder, u"MARK", {}, s), (CellPos{1, 0})) << s;
}

TEST(ExcelFindPattern, PathologicalPatternsStayFast)
{
    const FindPattern pattern(u"*a*a*a*a*a*a*a*a*b", false, FindLookAt::Part);
    EXPECT_FALSE(pattern.Matches(std::u16string(20000, u'a')));
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
    // A text that fills the limit leaves no room for its separator.
    joined.Start(2, 10, 11);
    joined.NextCell();
    EXPECT_EQ(joined.Add(u"abcde", SheetText::As::Prepared), SheetText::Added::Yes);
    joined.NextCell();
    EXPECT_EQ(joined.Add(u"fghij", SheetText::As::Prepared), SheetText::Added::OverLimit);
}
