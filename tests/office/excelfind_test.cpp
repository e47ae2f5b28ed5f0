// Range.Find's matching: part and whole cells, wildcards and their escapes,
// case folding, what a formula cell matches by, and the search order.
#include "office/rangefind.h"

#include <gtest/gtest.h>

#include <random>

using namespace office;

namespace {

bool Match(std::u16string_view what, std::u16string_view text, bool matchCase = false,
           FindLookAt lookAt = FindLookAt::Part)
{
    const FindPattern pattern(what, matchCase, lookAt);
    return pattern.Matches(matchCase ? std::u16string(text) : FoldCase(text));
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

std::optional<CellPos> Find(RangeFinder& finder, const std::u16string& what, FindOptions options = {},
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
    FindOptions values;
    values.lookIn = FindLookIn::Values;
    EXPECT_FALSE(Find(finder, u"SUM(", values));
    // The shown value of a formula is found whatever LookIn says.
    FindOptions whole;
    whole.lookAt = FindLookAt::Whole;
    auto found = Find(finder, u"4711", whole, 0, CellPos{0, 1});
    EXPECT_EQ(found, (CellPos{1, 0}));
    FindOptions comments;
    comments.lookIn = FindLookIn::Comments;
    EXPECT_FALSE(Find(finder, u"apple", comments));
}

TEST(ExcelRangeFind, MatchCaseAndHiddenSheets)
{
    RangeFinder finder(Book());
    FindOptions exact;
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
    FindOptions back;
    back.direction = FindDirection::Previous;
    EXPECT_EQ(Find(finder, u"apple", back, 0, CellPos{2, 0}), (CellPos{0, 0}));
    EXPECT_EQ(Find(finder, u"apple", back, 0, CellPos{0, 0}), (CellPos{2, 0}));
    // By columns, B1 (4711) comes after A3; by rows, before.
    FindOptions byColumns;
    byColumns.order = FindOrder::ByColumns;
    EXPECT_EQ(Find(finder, u"4711", byColumns, 0, CellPos{0, 0}), (CellPos{1, 0}));
    EXPECT_EQ(Find(finder, u"4711", {}, 0, CellPos{0, 0}), (CellPos{0, 1}));
}

TEST(ExcelRangeFind, AreaLimitsTheSearch)
{
    RangeFinder finder(Book());
    FindOptions options;
    options.what = u"apple";
    EXPECT_FALSE(finder.Find(0, CellArea{1, 0, 1, 5}, options));
    EXPECT_EQ(finder.Find(0, CellArea{2, 0, 2, 0}, options), (CellPos{2, 0}));
}

TEST(ExcelRangeFind, SheetWideSearchAgreesWithCellByCellSearch)
{
    // The whole-sheet search runs over one joined text; an area one column
    // short of the sheet is searched cell by cell. Both must agree.
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
        FindOptions options;
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
    FindOptions options;
    options.what = u"NEEDLE";
    EXPECT_EQ(finder.Find(0, CellArea{}, options), (CellPos{1, 0}));
    options.what = u"other";
    EXPECT_EQ(finder.Find(0, CellArea{}, options), (CellPos{3000, 1}));
    options.what = u"absent";
    EXPECT_FALSE(finder.Find(0, CellArea{}, options));
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
    FindOptions options;
    options.what = u"MARK";
    for (std::size_t s = 0; s < 40; ++s) EXPECT_EQ(finder.Find(s, CellArea{}, options), (CellPos{1, 0})) << s;
}
