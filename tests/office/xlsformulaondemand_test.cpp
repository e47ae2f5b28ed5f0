// Formula texts of binary workbooks decoded on request: random sheets of
// formulas, shared formulas that come before or after their cells, ones
// that never come, and cells written twice, read once with the texts
// decoded while reading and once deferred. Searches of values and comments
// must leave the texts undecoded; the first search in formulas decodes
// them, and then every cell's formula text and every search's answer must
// be what the workbook read in one go gives.
#include "office/excel/biffreader.h"
#include "office/excel/rangefind.h"
#include "support/excelbooks.h"

#include <gtest/gtest.h>

#include <memory>
#include <random>

using namespace office;
using namespace excelfixtures;

namespace {

void RandomSheet(std::mt19937& rng, Stream& s)
{
    // Formulas over a small grid, so that cells repeat and ptgExp finds
    // its master now and then.
    auto pick = [&rng](unsigned n) { return static_cast<unsigned>(rng() % n); };
    const std::vector<Bytes> tokens = {
        {0x1E, 7, 0},                                         // =7
        {0x44, 1, 0, 0, 0xC0},                                // =A2 (relative)
        {0x1E, 2, 0, 0x1E, 3, 0, 0x03},                       // =2+3
        {0x17, 2, 0, 'h', 'i'},                               // ="hi"
        {0x60, 0, 0, 0, 0, 0, 0, 0},                          // a constant array: not shown
        {0x3A, 0, 0, 4, 0, 2, 0xC0},                          // ='Other data'!C5
        {0x43, 1, 0, 0, 0, 0x1E, 2, 0, 0x05},                 // =Rate*2
        {0x44, 0, 0, 1, 0xC0, 0x17, 1, 0, '!', 0x08},         // =B1&"!"
    };
    const unsigned records = 6 + pick(20);
    for (unsigned i = 0; i < records; ++i) {
        const unsigned row = pick(6);
        const unsigned col = pick(3);
        switch (pick(5)) {
        case 0:
        case 1: s.Formula(row, col, pick(100), tokens[pick(static_cast<unsigned>(tokens.size()))]); break;
        case 2:  // ptgExp: the shared formula whose first cell is in row, column
            s.Formula(row, col, 1, {0x01, std::uint8_t(pick(6)), 0, std::uint8_t(pick(3)), 0});
            break;
        case 3:  // the cell above, plus one
            s.SharedFormula(row, row + pick(3), col, col + pick(2), {0x4C, 0xFF, 0xFF, 0, 0xC0, 0x1E, 1, 0, 3});
            break;
        default: s.Number(row, col, pick(50)); break;
        }
    }
}

Bytes RandomWorkbook(std::mt19937& rng)
{
    auto globals = [](Stream& s) {
        s.Record(0x01AE, {2, 0, 0x01, 0x04});                           // SUPBOOK: this workbook, 2 sheets
        s.Record(0x0017, {2, 0, 0, 0, 1, 0, 1, 0, 0, 0, 0, 0, 1, 0});  // EXTERNSHEET
        s.Record(0x0018, {0, 0, 0, 4, 3, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 'R', 'a', 't', 'e', 0x1E, 5, 0});
    };
    std::mt19937 first(rng());
    std::mt19937 second(rng());
    return BiffStream({{u"S", 0, [&first](Stream& s) { RandomSheet(first, s); }},
                       {u"Other data", 0, [&second](Stream& s) { RandomSheet(second, s); }}},
                      globals);
}

std::shared_ptr<Workbook> Read(const Bytes& stream, bool defer)
{
    auto book = std::make_shared<Workbook>();
    ReadError error;
    EXPECT_TRUE(BiffReader({}, defer).ReadStream(stream, *book, error)) << error;
    return book;
}

std::optional<CellPos> FindIn(RangeFinder& finder, std::size_t sheet, const std::u16string& what, FindLookIn lookIn)
{
    RangeFindOptions o;
    o.what = what;
    o.lookIn = lookIn;
    return finder.Find(sheet, CellArea{}, o);
}

TEST(XlsFormulaOnDemand, ValuesLeaveThemUndecodedFormulasGetTheSameTexts)
{
    std::mt19937 rng(4);
    const std::vector<std::u16string> searches = {u"A", u"7", u"=", u"hi", u"Rate", u"C5", u"*!", u"5", u"xyz"};
    int pendingBooks = 0;
    int formulaHits = 0;
    for (int round = 0; round < 60; ++round) {
        const Bytes stream = RandomWorkbook(rng);
        const auto eager = Read(stream, false);
        const auto deferred = Read(stream, true);
        ASSERT_FALSE(eager->FormulaTextsPending());
        RangeFinder eagerFinder(eager);
        RangeFinder deferredFinder(deferred);
        const bool pending = deferred->FormulaTextsPending();
        pendingBooks += pending ? 1 : 0;
        // Values and comments first: answered alike, nothing decoded. Then
        // the first search in formulas decodes them all.
        for (FindLookIn lookIn : {FindLookIn::Values, FindLookIn::Comments, FindLookIn::Formulas}) {
            for (std::size_t sheet = 0; sheet < 2; ++sheet) {
                for (const auto& what : searches) {
                    const auto hit = FindIn(deferredFinder, sheet, what, lookIn);
                    EXPECT_EQ(hit, FindIn(eagerFinder, sheet, what, lookIn)) << round;
                    EXPECT_EQ(deferred->FormulaTextsPending(), pending && lookIn != FindLookIn::Formulas);
                    formulaHits += hit && lookIn == FindLookIn::Formulas ? 1 : 0;
                }
            }
        }
        ASSERT_EQ(deferred->sheets.size(), eager->sheets.size());
        for (std::size_t sheet = 0; sheet < eager->sheets.size(); ++sheet) {
            const auto& a = eager->sheets[sheet].cells;
            const auto& b = deferred->sheets[sheet].cells;
            ASSERT_EQ(a.size(), b.size()) << round;
            for (std::size_t i = 0; i < a.size(); ++i) {
                EXPECT_EQ(FormulaOf(*deferred, sheet, b[i].row, b[i].column),
                          FormulaOf(*eager, sheet, a[i].row, a[i].column))
                    << round << " sheet " << sheet << " cell " << a[i].row << "," << a[i].column;
            }
        }
    }
    // The workbooks must have had formulas to defer and to find.
    EXPECT_GT(pendingBooks, 50);
    EXPECT_GT(formulaHits, 100);
}

}  // namespace
