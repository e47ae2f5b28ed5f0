// The BIFF reader beyond the cells every reader shows (excelloader_test):
// formulas that need the globals or a later SHRFMLA, strings split over
// CONTINUE records, RK and MULRK, sheets of every type, refusal of
// passwords other than Excel's default, damage and limits. Then formula
// texts decoded on request: random sheets of formulas, shared formulas
// that come before or after their cells, ones that never come, and cells
// written twice, read once with the texts decoded while reading and once
// deferred. Searches of values and comments must leave the texts
// undecoded; the first search in formulas decodes them, and then every
// cell's formula text and every search's answer must be what the workbook
// read in one go gives.
#include "office/excel/biffreader.h"
#include "office/excel/rangefind.h"
#include "office/excel/xlsdecrypt.h"
#include "support/excelbooks.h"

#include <gtest/gtest.h>

#include <memory>
#include <random>

using namespace office;
using namespace excelfixtures;

namespace {

// What formulas refer to: SUPBOOK of this workbook's 2 sheets,
// EXTERNSHEET entries for sheet 1 and for sheets 0..1, the name Rate.
void LinkGlobals(Stream& s)
{
    s.Record(0x01AE, {2, 0, 0x01, 0x04});
    s.Record(0x0017, {2, 0, 0, 0, 1, 0, 1, 0, 0, 0, 0, 0, 1, 0});
    s.Record(0x0018, {0, 0, 0, 4, 3, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 'R', 'a', 't', 'e', 0x1E, 5, 0});
}

}  // namespace

// A shared formula is read for its first cell once its SHRFMLA follows,
// with a string result still taken from the STRING after the SHRFMLA; a
// formula that cannot be shown keeps its value.
TEST(BiffReaderFormulas, SharedUndecodableAndFromTheGlobals)
{
    auto cells = [](Stream& s) {
        // B2:B3 share =A2&"!" as ptgRefN (row offset 0, column offset -1).
        const Bytes exp = {0x01, 1, 0, 1, 0};
        Bytes f = {1, 0, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xFF, 0xFF, 0, 0, 0, 0, 0, 0, 5, 0};
        f.insert(f.end(), exp.begin(), exp.end());
        s.Record(0x0006, f);
        s.SharedFormula(1, 2, 1, 1, {0x4C, 0, 0, 0xFF, 0xC0, 0x17, 1, 0, '!', 0x08});
        Bytes str;
        PutString8(str, u"x!", 2);
        s.Record(0x0207, str);
        s.Formula(2, 1, 0, exp);
        // A constant array cannot be shown; a ptgExp whose SHRFMLA never
        // comes, and one pointing at a range that does not hold the cell.
        s.Formula(3, 0, 1, {0x60, 0, 0, 0, 0, 0, 0, 0});
        s.Formula(4, 0, 2, {0x01, 9, 0, 9, 0});
        s.Formula(5, 0, 3, exp);
        // A7:B8 share "the cell above", first recorded at B8.
        const Bytes expB8 = {0x01, 7, 0, 1, 0};
        s.Formula(7, 1, 0, expB8);
        s.SharedFormula(6, 7, 0, 1, {0x4C, 0xFF, 0xFF, 0x00, 0xC0});
        s.Formula(6, 0, 0, expB8);
        s.Formula(8, 0, 1, {0x3A, 0, 0, 4, 0, 2, 0xC0});
        s.Formula(9, 0, 1, {0x3B, 1, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0x19, 0x10, 0, 0});
        s.Formula(10, 0, 1, {0x43, 1, 0, 0, 0, 0x1E, 2, 0, 0x05});
    };
    const Workbook book = LoadOk(Xls(BiffStream({{u"S", 0, cells}, {u"Other data", 0, {}}}, LinkGlobals)));
    const std::tuple<std::uint32_t, std::uint32_t, const char16_t*> formulas[] = {
        {1, 1, u"=A2&\"!\""}, {2, 1, u"=A3&\"!\""},        {3, 0, u"<none>"},
        {4, 0, u"<none>"},    {5, 0, u"<none>"},           {6, 0, u"=A6"},
        {7, 1, u"=B7"},       {8, 0, u"='Other data'!C5"}, {9, 0, u"=SUM('S:Other data'!$A$1:$A$2)"},
        {10, 0, u"=Rate*2"}};
    for (const auto& [row, col, text] : formulas) EXPECT_EQ(FormulaOf(book, 0, row, col), text) << row << "," << col;
    EXPECT_EQ(Shown(book, 0, 1, 1), u"x!");
    EXPECT_EQ(Shown(book, 0, 5, 0), u"3");
}

TEST(BiffReaderCells, ContinuedStringsRkMulRkAndTaggedResults)
{
    // String 0 "abcdεf": 3 chars 8-bit in the SST, the rest continued as
    // 16-bit after a fresh option byte. String 1 is rich (runs that cross
    // into the next CONTINUE), string 2 has phonetic data, string 3 is
    // 16-bit throughout, string 4's characters begin in a CONTINUE of their
    // own, which restates their width.
    auto globals = [](Stream& s) {
        s.Record(0x00FC, {5, 0, 0, 0, 5, 0, 0, 0, 6, 0, 0, 'a', 'b', 'c'});
        s.Record(0x003C, {1, 'd', 0, 0xB5, 0x03, 'f', 0, 4, 0, 0x08, 2, 0, 'r', 'i', 'c', 'h', 1, 0, 1, 0});
        s.Record(0x003C, {2, 0, 2, 0, 5, 0, 0x04, 6, 0, 0, 0, 'k', 'a', 'n', 'j', 'i', 9, 9, 9, 9, 9, 9, 2, 0, 1,
                          0x16, 0x04, 0x36, 0x04});
        s.Record(0x003C, {2, 0, 0});
        s.Record(0x003C, {1, 0x12, 0x04, 0x13, 0x04});
    };
    auto cells = [](Stream& s) {
        for (unsigned i = 0; i < 4; ++i) s.LabelSst(i, 0, i);
        s.LabelSst(4, 0, 99);  // an index beyond the table is no cell
        s.LabelSst(5, 0, 4);
        s.Record(0x027E, {0, 0, 1, 0, 0, 0, 0xEF, 0x01, 0, 0});  // RK 123 / 100
        s.Record(0x00BD, {0, 0, 2, 0, 0, 0, 0xE6, 0xFF, 0xFF, 0xFF, 0, 0, 0, 0, 0x04, 0x40, 3, 0});  // -7, 2.5
        // FORMULA with a Boolean result and one with an error.
        s.Record(0x0006, {1, 0, 1, 0, 0, 0, 1, 0, 1, 0, 0, 0, 0xFF, 0xFF, 0, 0, 0, 0, 0, 0, 0, 0});
        s.Record(0x0006, {1, 0, 2, 0, 0, 0, 2, 0, 0x17, 0, 0, 0, 0xFF, 0xFF, 0, 0, 0, 0, 0, 0, 0, 0});
    };
    const Workbook book = LoadOk(Xls(BiffStream({{u"S", 0, cells}}, globals)));
    const std::tuple<std::uint32_t, std::uint32_t, const char16_t*> shown[] = {
        {0, 0, u"abcdεf"}, {1, 0, u"rich"}, {2, 0, u"kanji"}, {3, 0, u"Жж"},     {0, 1, u"1.23"}, {0, 2, u"-7"},
        {0, 3, u"2.5"},    {1, 1, u"TRUE"}, {1, 2, u"#REF!"}, {4, 0, u"<none>"}, {5, 0, u"ВГ"}};
    for (const auto& [row, col, text] : shown) EXPECT_EQ(Shown(book, 0, row, col), text) << row << "," << col;
}

// Worksheets and macro sheets in workbook order; charts, modules and dialog
// sheets stay out. Also the 1904 system, unknown XFs, and FORMULA records
// that carry Excel 4's record number in a BIFF8 sheet.
TEST(BiffReaderSheets, EveryTypeOfSheetDatesAndOddRecords)
{
    for (const unsigned version : {0x0600u, 0x0500u}) {
        const bool biff8 = version == 0x0600;
        auto globals = [biff8](Stream& s) {
            s.Record(0x0022, {1, 0});  // 1904
            for (unsigned xf : {0u, 14u}) {
                Bytes x = {0, 0};
                Put16(x, xf);
                x.resize(biff8 ? 20 : 16, 0);
                s.Record(0x00E0, x);
            }
        };
        auto data = [biff8](Stream& s) {
            s.Number(0, 0, 0, 1);
            s.Number(0, 1, 5, 77);  // an XF beyond the table: General
            if (!biff8) return;
            const Bytes onePlusTwo = {0x1E, 1, 0, 0x1E, 2, 0, 0x03};
            Bytes f = {1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 8, 0x40, 0, 0, 0, 0, 0, 0, 7, 0};
            f.insert(f.end(), onePlusTwo.begin(), onePlusTwo.end());
            s.Record(0x0406, f);
            s.Record(0x0406, {2, 0, 0, 0, 0, 0, 1, 2});  // too short to hold a formula: passed over
        };
        const Workbook book =
            LoadOk(Xls(BiffStream({{u"Data", 0, data},
                                   {u"Chart1", 0, [&](Stream& s) { s.Label(0, 0, u"chart text", biff8); }, 2, 0x20},
                                   {u"Macro1", 1, [&](Stream& s) { s.Label(0, 0, u"Auto_Open", biff8); }, 1, 0x40},
                                   {u"Module1", 0, {}, 6, 0x06},
                                   {u"Deep", 2, [](Stream& s) { s.Number(65535, 255, 1); }}},
                                  globals, version),
                       version));
        ASSERT_EQ(book.sheets.size(), 3u) << version;
        EXPECT_EQ(book.sheets[1].name, u"Macro1");
        EXPECT_EQ(book.sheets[1].visibility, SheetVisibility::Hidden);
        EXPECT_EQ(book.sheets[2].visibility, SheetVisibility::VeryHidden);
        for (const auto& [sheet, row, col, text] : {std::tuple{1u, 0u, 0u, u"Auto_Open"}, {2u, 65535u, 255u, u"1"},
                                                    {0u, 0u, 0u, u"1/1/1904"}, {0u, 0u, 1u, u"5"},
                                                    {0u, 1u, 0u, biff8 ? u"3" : u"<none>"}})
            EXPECT_EQ(Shown(book, sheet, row, col), text) << version << ":" << sheet << "," << row << "," << col;
        EXPECT_EQ(FormulaOf(book, 0, 1, 0), biff8 ? u"=1+2" : u"<none>");
        EXPECT_EQ(book.sheets[0].cells.size(), biff8 ? 3u : 2u);
    }
}

// Any password but Excel's default leaves the workbook protected (its
// decryption under the default password: hostilexls_test; XOR
// obfuscation: ooxmldecrypt_test).
TEST(BiffReaderEncryption, OtherPasswordsAreRefused)
{
    const std::array<std::uint8_t, 16> salt = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16};
    const Bytes rc4 = MakeRc4FilePass(u"secret", salt, salt);
    EXPECT_EQ(Refusal(Xls(BiffStream({{u"S", 0, {}}}, {}, 0x0600, &rc4))), ReadErrorKind::Encrypted);
}

// Streams cut, lying about their records or counts, past the cell cap, or
// whose sheets share one substream are refused or read, never read past
// their end or multiplied.
TEST(BiffReaderDamage, CutLyingAndOversizedStreamsAreRefusedOrRead)
{
    Workbook book;
    ReadError error;
    const Bytes file = FileBytes(ExcelData("book.xls"));
    for (std::size_t cut = 0; cut < file.size(); cut += 997)
        EXPECT_TRUE(LoadWorkbookBytes(ByteView(file.data(), cut), u"x", book, error) || !error.ok());
    // (Random bytes changed are the fuzz target xls_fuzz's, run under the
    // sanitizers.)
    // A record running past the end, no stream, an Excel 4 BOF.
    Stream lying;
    lying.Bof(0x0600, 5);
    lying.Record(0x0085, Bytes(10, 0));
    lying.Data()[lying.Size() - 12] = 0xFF;
    lying.Data()[lying.Size() - 11] = 0x7F;
    const std::pair<Bytes, ReadErrorKind> bad[] = {
        {lying.Data(), ReadErrorKind::Damaged},
        {Bytes{}, ReadErrorKind::Damaged},
        {Bytes{0x09, 0x04, 0x04, 0x00, 0, 0, 0x10, 0}, ReadErrorKind::UnsupportedVersion}};
    for (const auto& [stream, refusal] : bad) {
        EXPECT_FALSE(BiffReader().ReadStream(stream, book, error));
        EXPECT_EQ(error.kind, refusal) << error;
    }

    auto fifty = [](Stream& s) {
        for (unsigned r = 0; r < 50; ++r) s.Number(r, 0, r);
    };
    for (const std::size_t cap : {40u, 50u}) {
        WorkbookLimits limits;
        limits.maxCells = cap;
        const bool read = BiffReader(limits).ReadStream(BiffStream({{u"S", 0, fifty}}), book, error);
        EXPECT_EQ(read, cap == 50) << error;
        EXPECT_TRUE(read || error.kind == ReadErrorKind::TooLarge) << error;
    }

    // An SST that claims 4 billion strings allocates nothing for them.
    book = LoadOk(Xls(BiffStream({{u"S", 0, [](Stream& s) { s.LabelSst(0, 0, 0); }}}, [](Stream& s) {
        Bytes sst = {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};
        PutString8(sst, u"only one", 2);
        s.Record(0x00FC, sst);
    })));
    EXPECT_EQ(Shown(book, 0, 0, 0), u"only one");
    EXPECT_LT(book.TextCount(), 10u);

    // 3000 BOUNDSHEETs all pointing at one sheet of 5000 cells: 15 million
    // cells of work from a 100 KB stream.
    Stream s;
    s.Bof(0x0600, 5);
    std::vector<std::size_t> patches;
    for (int i = 0; i < 3000; ++i) patches.push_back(s.BoundSheet(std::u16string(1, static_cast<char16_t>(u'a' + i % 26)), 0));
    s.Eof();
    const std::size_t sheet = s.Size();
    s.Bof(0x0600, 0x10);
    for (unsigned r = 0; r < 5000; ++r) s.Number(r, 0, r);
    s.Eof();
    for (std::size_t at : patches) s.PatchOffset(at, sheet);
    EXPECT_FALSE(BiffReader().ReadStream(s.Data(), book, error));
    EXPECT_EQ(error.kind, ReadErrorKind::Damaged) << error;
}

namespace {

void RandomSheet(std::mt19937& rng, Stream& s)
{
    // Formulas over a small grid, so that cells repeat and ptgExp finds
    // its master now and then.
    auto pick = [&rng](unsigned n) { return static_cast<unsigned>(rng() % n); };
    const std::vector<Bytes> tokens = {
        {0x1E, 7, 0},                                  // =7
        {0x44, 1, 0, 0, 0xC0},                         // =A2 (relative)
        {0x1E, 2, 0, 0x1E, 3, 0, 0x03},                // =2+3
        {0x17, 2, 0, 'h', 'i'},                        // ="hi"
        {0x60, 0, 0, 0, 0, 0, 0, 0},                   // a constant array: not shown
        {0x3A, 0, 0, 4, 0, 2, 0xC0},                   // ='Other data'!C5
        {0x43, 1, 0, 0, 0, 0x1E, 2, 0, 0x05},          // =Rate*2
        {0x44, 0, 0, 1, 0xC0, 0x17, 1, 0, '!', 0x08},  // =B1&"!"
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
    std::mt19937 first(rng());
    std::mt19937 second(rng());
    return BiffStream({{u"S", 0, [&first](Stream& s) { RandomSheet(first, s); }},
                       {u"Other data", 0, [&second](Stream& s) { RandomSheet(second, s); }}},
                      LinkGlobals);
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
