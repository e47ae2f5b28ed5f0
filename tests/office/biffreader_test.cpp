// The BIFF reader: the LibreOffice-made fixture, and workbook streams built
// record by record to reach what a fixture cannot: strings split over
// CONTINUE records, rich and phonetic strings, every cell record, BIFF5
// code pages, RC4 encryption with Excel's default password, damage and
// limits.
#include "office/excel/biffreader.h"
#include "office/excel/workbookloader.h"
#include "office/excel/xlsdecrypt.h"
#include "office/excel/xlsxreader.h"
#include "platform/codepage.h"
#include "support/excelfixtures.h"

#include <gtest/gtest.h>

#include <functional>
#include <random>

using namespace office;
using namespace excelfixtures;

namespace {

struct SheetSpec {
    std::u16string name;
    unsigned state = 0;
    std::function<void(Stream&)> cells;
    unsigned type = 0;  // 0 worksheet, 2 chart
};

// A BIFF8 (or BIFF5) workbook stream: globals with `globals` written after
// the BOF (and FILEPASS), one BOUNDSHEET per sheet, then the sheets.
Bytes BuildStream(const std::vector<SheetSpec>& sheets, const std::function<void(Stream&)>& globals = {},
                  unsigned version = 0x0600, const Bytes* filePass = nullptr)
{
    Stream s;
    s.Bof(version, 0x0005);
    if (filePass != nullptr) s.Record(0x002F, *filePass);
    if (globals) globals(s);
    std::vector<std::size_t> patches;
    for (const auto& sheet : sheets) {
        const std::size_t at = s.BoundSheet(sheet.name, sheet.state, version == 0x0600);
        s.Data()[at + 5] = static_cast<std::uint8_t>(sheet.type);
        patches.push_back(at);
    }
    s.Eof();
    for (std::size_t i = 0; i < sheets.size(); ++i) {
        s.PatchOffset(patches[i], s.Size());
        s.Bof(version, sheets[i].type == 2 ? 0x0020 : 0x0010);
        if (sheets[i].cells) sheets[i].cells(s);
        s.Eof();
    }
    return s.Data();
}

Workbook ReadOk(Bytes stream)
{
    Workbook book;
    std::string error;
    EXPECT_TRUE(BiffReader().ReadStream(std::move(stream), book, error)) << error;
    return book;
}

std::u16string Shown(const Workbook& book, std::size_t sheet, std::uint32_t row, std::uint32_t col)
{
    for (const auto& c : book.sheets.at(sheet).cells)
        if (c.row == row && c.column == col) return book.Text(c.shown);
    return u"<none>";
}

Bytes ReadFixture(const char* name)
{
    FILE* f = std::fopen((std::string(VARNEL_TEST_DATA) + "/excel/" + name).c_str(), "rb");
    Bytes out;
    if (f == nullptr) return out;
    int c = 0;
    while ((c = std::fgetc(f)) != EOF) out.push_back(static_cast<std::uint8_t>(c));
    std::fclose(f);
    return out;
}

}  // namespace

TEST(BiffReaderFixture, LibreOfficeWorkbookReadsCompletely)
{
    const Bytes file = ReadFixture("book.xls");
    ASSERT_FALSE(file.empty());
    Workbook book;
    std::string error;
    ASSERT_TRUE(BiffReader().Read(ByteView(file.data(), file.size()), book, error)) << error;
    ASSERT_EQ(book.sheets.size(), 3u);
    EXPECT_EQ(book.sheets[0].name, u"Alpha");
    EXPECT_EQ(book.sheets[1].name, u"Beta");
    EXPECT_EQ(book.sheets[1].visibility, SheetVisibility::Hidden);
    EXPECT_EQ(book.sheets[2].visibility, SheetVisibility::Visible);
    EXPECT_EQ(Shown(book, 0, 1, 0), u"4711");
    EXPECT_EQ(Shown(book, 0, 1, 1), u"12.5");
    EXPECT_EQ(Shown(book, 0, 1, 2), u"1E+20");
    EXPECT_EQ(Shown(book, 0, 2, 0), u"3/1/2024");
    EXPECT_EQ(Shown(book, 0, 2, 1), u"9422");         // formula, number result
    EXPECT_EQ(Shown(book, 0, 2, 2), u"Hello World");  // formula, text result
    EXPECT_EQ(Shown(book, 0, 3, 0), u"TRUE");
    EXPECT_EQ(Shown(book, 0, 3, 1), u"#DIV/0!");
    EXPECT_EQ(Shown(book, 0, 7, 0), u"Ünïcödé STRASSE");
    EXPECT_EQ(Shown(book, 1, 0, 0), u"secret hidden value");
    // 400 shared strings: the table runs over several CONTINUE records.
    EXPECT_EQ(Shown(book, 2, 400, 0), u"Shared string number 0399 with some padding text");
    EXPECT_EQ(Shown(book, 2, 401, 0), u"needle after the continue boundary");
    EXPECT_EQ(book.sheets[2].cells.size(), 402u);
}

// The formulas LibreOffice wrote into book.xls read as the same text our
// xlsx reader takes from the XML of its twin book.xlsx.
TEST(BiffReaderFixture, FormulaTextMatchesTheXlsxTwin)
{
    const Bytes xls = ReadFixture("book.xls");
    const Bytes xlsx = ReadFixture("book.xlsx");
    ASSERT_FALSE(xls.empty());
    ASSERT_FALSE(xlsx.empty());
    Workbook fromXls, fromXlsx;
    std::string error;
    ASSERT_TRUE(BiffReader().Read(ByteView(xls.data(), xls.size()), fromXls, error)) << error;
    ASSERT_TRUE(XlsxReader().Read(ByteView(xlsx.data(), xlsx.size()), fromXlsx, error)) << error;
    ASSERT_EQ(fromXls.sheets.size(), fromXlsx.sheets.size());
    std::size_t compared = 0;
    for (std::size_t s = 0; s < fromXlsx.sheets.size(); ++s) {
        for (const Cell& want : fromXlsx.sheets[s].cells) {
            if (want.formula == kNoText) continue;
            const Cell* got = nullptr;
            for (const Cell& c : fromXls.sheets[s].cells)
                if (c.row == want.row && c.column == want.column) got = &c;
            ASSERT_NE(got, nullptr) << want.row << "," << want.column;
            ASSERT_NE(got->formula, kNoText) << want.row << "," << want.column;
            EXPECT_EQ(fromXls.Text(got->formula), fromXlsx.Text(want.formula));
            ++compared;
        }
    }
    EXPECT_EQ(compared, 3u);  // =A2*2, =CONCATENATE("Hello"," World"), =1/0
}

// FORMULA records' tokens become the cell's formula text; a shared formula
// is read for the first cell once its SHRFMLA follows, with a string result
// still taken from the STRING after the SHRFMLA; a formula that cannot be
// shown keeps its value.
TEST(BiffReaderFormulas, OwnSharedAndUndecodableFormulas)
{
    auto cells = [](Stream& s) {
        s.Formula(0, 0, 7, {0x1E, 3, 0, 0x1E, 4, 0, 0x03});  // =3+4
        // B2:B3 share =A2&"!" as ptgRefN (row offset 0, column offset -1).
        const Bytes exp = {0x01, 1, 0, 1, 0};
        Bytes f;
        Put16(f, 1);
        Put16(f, 1);
        Put16(f, 0);
        f.insert(f.end(), {0, 0, 0, 0, 0, 0, 0xFF, 0xFF});  // text result
        Put16(f, 0);
        Put32(f, 0);
        Put16(f, 5);
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
        // A7:B8 share "the cell above", first recorded at B8, not at the
        // range's top-left cell: the cells name it by B8.
        const Bytes expB8 = {0x01, 7, 0, 1, 0};
        s.Formula(7, 1, 0, expB8);
        s.SharedFormula(6, 7, 0, 1, {0x4C, 0xFF, 0xFF, 0x00, 0xC0});
        s.Formula(6, 0, 0, expB8);
    };
    const Workbook book = ReadOk(BuildStream({{u"S", 0, cells}}));
    auto formula = [&](std::uint32_t row, std::uint32_t col) -> std::u16string {
        for (const auto& c : book.sheets.at(0).cells)
            if (c.row == row && c.column == col) return c.formula == kNoText ? u"<none>" : book.Text(c.formula);
        return u"<no cell>";
    };
    EXPECT_EQ(formula(0, 0), u"=3+4");
    EXPECT_EQ(formula(1, 1), u"=A2&\"!\"");
    EXPECT_EQ(Shown(book, 0, 1, 1), u"x!");
    EXPECT_EQ(formula(2, 1), u"=A3&\"!\"");
    EXPECT_EQ(formula(3, 0), u"<none>");
    EXPECT_EQ(Shown(book, 0, 3, 0), u"1");
    EXPECT_EQ(formula(4, 0), u"<none>");
    EXPECT_EQ(formula(5, 0), u"<none>");
    EXPECT_EQ(Shown(book, 0, 5, 0), u"3");
    EXPECT_EQ(formula(7, 1), u"=B7");
    EXPECT_EQ(formula(6, 0), u"=A6");
}

// 3-D references and defined names resolve through the globals' SUPBOOK,
// EXTERNSHEET and NAME records.
TEST(BiffReaderFormulas, OtherSheetsAndNames)
{
    auto globals = [](Stream& s) {
        Bytes sup;  // this workbook, 2 sheets
        Put16(sup, 2);
        Put16(sup, 0x0401);
        s.Record(0x01AE, sup);
        Bytes xti;
        Put16(xti, 2);
        Put16(xti, 0);  // sheet 1 ("Other data")
        Put16(xti, 1);
        Put16(xti, 1);
        Put16(xti, 0);  // sheets 0..1
        Put16(xti, 0);
        Put16(xti, 1);
        s.Record(0x0017, xti);
        Bytes name;  // "Rate", workbook scope
        Put16(name, 0);
        name.push_back(0);
        name.push_back(4);
        Put16(name, 3);
        Put16(name, 0);
        Put16(name, 0);
        name.insert(name.end(), {0, 0, 0, 0, 0});
        name.insert(name.end(), {'R', 'a', 't', 'e'});
        name.insert(name.end(), {0x1E, 5, 0});
        s.Record(0x0018, name);
    };
    auto cells = [](Stream& s) {
        s.Formula(0, 0, 1, {0x3A, 0, 0, 4, 0, 2, 0xC0});                  // ='Other data'!C5
        s.Formula(1, 0, 1, {0x3B, 1, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0x19, 0x10, 0, 0});  // SUM(3-D area)
        s.Formula(2, 0, 1, {0x43, 1, 0, 0, 0, 0x1E, 2, 0, 0x05});         // =Rate*2
    };
    const Workbook book = ReadOk(BuildStream({{u"Main", 0, cells}, {u"Other data", 0, {}}}, globals));
    auto formula = [&](std::uint32_t row) -> std::u16string {
        for (const auto& c : book.sheets.at(0).cells)
            if (c.row == row && c.column == 0) return c.formula == kNoText ? u"<none>" : book.Text(c.formula);
        return u"<no cell>";
    };
    EXPECT_EQ(formula(0), u"='Other data'!C5");
    EXPECT_EQ(formula(1), u"=SUM('Main:Other data'!$A$1:$A$2)");
    EXPECT_EQ(formula(2), u"=Rate*2");
}

TEST(BiffReaderSst, StringsSplitOverContinueSwitchWidth)
{
    // String 0 "abcdef": 3 chars 8-bit in the SST, the rest continued as
    // 16-bit after a fresh option byte. String 1 is rich (2 runs that cross
    // into the next CONTINUE), string 2 has phonetic data, string 3 is
    // 16-bit throughout.
    auto globals = [](Stream& s) {
        Bytes sst;
        Put32(sst, 4);
        Put32(sst, 4);
        Put16(sst, 6);
        sst.push_back(0);
        sst.insert(sst.end(), {'a', 'b', 'c'});
        s.Record(0x00FC, sst);
        Bytes c1;
        c1.push_back(1);  // continued characters are 16-bit
        for (char16_t ch : std::u16string(u"dεf")) Put16(c1, ch);
        Put16(c1, 4);
        c1.push_back(0x08);
        Put16(c1, 2);  // two rich runs
        c1.insert(c1.end(), {'r', 'i', 'c', 'h'});
        c1.insert(c1.end(), {1, 0, 1, 0});  // half the runs
        s.Record(0x003C, c1);
        Bytes c2 = {2, 0, 2, 0};  // the other half: no option byte for runs
        Put16(c2, 5);
        c2.push_back(0x04);
        Put32(c2, 6);
        c2.insert(c2.end(), {'k', 'a', 'n', 'j', 'i'});
        c2.insert(c2.end(), {9, 9, 9, 9, 9, 9});  // phonetic block, skipped
        Put16(c2, 2);
        c2.push_back(1);
        Put16(c2, u'Ж');
        Put16(c2, u'ж');
        s.Record(0x003C, c2);
    };
    auto cells = [](Stream& s) {
        for (unsigned i = 0; i < 4; ++i) s.LabelSst(i, 0, i);
        s.LabelSst(4, 0, 99);  // an index beyond the table is no cell
    };
    const Workbook book = ReadOk(BuildStream({{u"S", 0, cells}}, globals));
    EXPECT_EQ(Shown(book, 0, 0, 0), u"abcdεf");
    EXPECT_EQ(Shown(book, 0, 1, 0), u"rich");
    EXPECT_EQ(Shown(book, 0, 2, 0), u"kanji");
    EXPECT_EQ(Shown(book, 0, 3, 0), u"Жж");
    EXPECT_EQ(book.sheets[0].cells.size(), 4u);
}

TEST(BiffReaderCells, EveryValueRecord)
{
    auto cells = [](Stream& s) {
        Bytes rk;  // RK integer 123 divided by 100
        Put16(rk, 0);
        Put16(rk, 0);
        Put16(rk, 0);
        Put32(rk, (123u << 2) | 0x3);
        s.Record(0x027E, rk);
        Bytes mul;  // MULRK: B1 = -7, C1 = 2.5 (double high bits)
        Put16(mul, 0);
        Put16(mul, 1);
        Put16(mul, 0);
        Put32(mul, static_cast<std::uint32_t>(-7 * 4) | 0x2);
        Put16(mul, 0);
        Put32(mul, 0x40040000u);
        Put16(mul, 2);
        s.Record(0x00BD, mul);
        Bytes be;  // BOOLERR: FALSE and #N/A
        Put16(be, 1);
        Put16(be, 0);
        Put16(be, 0);
        be.insert(be.end(), {0, 0});
        s.Record(0x0205, be);
        be[2] = 1;
        be[6] = 0x2A;
        be[7] = 1;
        s.Record(0x0205, be);
        Bytes label;  // LABEL with a 16-bit string
        Put16(label, 2);
        Put16(label, 0);
        Put16(label, 0);
        PutString8(label, u"Ärger ☃", 2);
        s.Record(0x0204, label);
        // FORMULA with a text result in the following STRING record.
        Bytes f;
        Put16(f, 3);
        Put16(f, 0);
        Put16(f, 0);
        f.insert(f.end(), {0, 0, 0, 0, 0, 0, 0xFF, 0xFF});
        Put16(f, 0);
        Put32(f, 0);
        Put16(f, 0);
        s.Record(0x0006, f);
        Bytes str;
        PutString8(str, u"formula text", 2);
        s.Record(0x0207, str);
        // FORMULA with a Boolean result and one with an error.
        f[2] = 1;
        f[6] = 1;
        f[8] = 1;
        s.Record(0x0006, f);
        f[2] = 2;
        f[6] = 2;
        f[8] = 0x17;
        s.Record(0x0006, f);
        // A number formula.
        Bytes n;
        Put16(n, 4);
        Put16(n, 0);
        Put16(n, 0);
        PutF64(n, 0.5);
        Put16(n, 0);
        Put32(n, 0);
        Put16(n, 0);
        s.Record(0x0006, n);
    };
    const Workbook book = ReadOk(BuildStream({{u"S", 0, cells}}));
    EXPECT_EQ(Shown(book, 0, 0, 0), u"1.23");
    EXPECT_EQ(Shown(book, 0, 0, 1), u"-7");
    EXPECT_EQ(Shown(book, 0, 0, 2), u"2.5");
    EXPECT_EQ(Shown(book, 0, 1, 0), u"FALSE");
    EXPECT_EQ(Shown(book, 0, 1, 1), u"#N/A");
    EXPECT_EQ(Shown(book, 0, 2, 0), u"Ärger ☃");
    EXPECT_EQ(Shown(book, 0, 3, 0), u"formula text");
    EXPECT_EQ(Shown(book, 0, 3, 1), u"TRUE");
    EXPECT_EQ(Shown(book, 0, 3, 2), u"#REF!");
    EXPECT_EQ(Shown(book, 0, 4, 0), u"0.5");
}

TEST(BiffReaderSheets, VisibilityDatesAndChartSheets)
{
    auto globals = [](Stream& s) {
        Bytes dm;
        Put16(dm, 1);  // 1904 date system
        s.Record(0x0022, dm);
        Bytes fmt;
        Put16(fmt, 164);
        PutString8(fmt, u"dd.mm.yyyy", 2);
        s.Record(0x041E, fmt);
        for (unsigned xf : {0u, 164u, 14u}) {
            Bytes x;
            Put16(x, 0);
            Put16(x, xf);
            x.resize(20, 0);
            s.Record(0x00E0, x);
        }
    };
    auto cells = [](Stream& s) {
        s.Number(0, 0, 0, 1);
        s.Number(0, 1, 43890, 2);
        s.Number(0, 2, 43890, 0);
        s.Number(0, 3, 5, 77);  // an XF beyond the table: General
    };
    const Workbook book = ReadOk(BuildStream({{u"Shown", 0, cells},
                                              {u"Chart", 0, {}, 2},
                                              {u"Deep", 2, [](Stream& s) { s.Number(65535, 255, 1); }}},
                                             globals));
    ASSERT_EQ(book.sheets.size(), 2u);  // the chart sheet is no worksheet
    EXPECT_EQ(book.sheets[1].name, u"Deep");
    EXPECT_EQ(book.sheets[1].visibility, SheetVisibility::VeryHidden);
    EXPECT_EQ(book.sheets[1].cells.size(), 1u);
    EXPECT_EQ(Shown(book, 0, 0, 0), u"1/1/1904");
    EXPECT_EQ(Shown(book, 0, 0, 1), u"3/1/2024");
    EXPECT_EQ(Shown(book, 0, 0, 2), u"43890");
    EXPECT_EQ(Shown(book, 0, 0, 3), u"5");
}

TEST(BiffReaderBiff5, BookStreamWithCodePage)
{
    auto globals = [](Stream& s) {
        Bytes cp;
        Put16(cp, 1251);
        s.Record(0x0042, cp);
    };
    auto cells = [](Stream& s) {
        Bytes label;
        Put16(label, 0);
        Put16(label, 0);
        Put16(label, 0);
        Put16(label, 6);
        label.insert(label.end(), {0xCC, 0xEE, 0xF1, 0xEA, 0xE2, 0xE0});  // "Москва" in Windows-1251
        s.Record(0x0204, label);
        s.Number(1, 0, 12.5);
    };
    const Bytes stream = BuildStream({{u"Blatt1", 1, cells}}, globals, 0x0500);
    const Bytes file = CompoundFileOf({{"Book", stream}});
    Workbook book;
    std::string error;
    ASSERT_TRUE(LoadWorkbookBytes(ByteView(file.data(), file.size()), u"x", book, error)) << error;
    ASSERT_EQ(book.sheets.size(), 1u);
    EXPECT_EQ(book.sheets[0].name, u"Blatt1");
    EXPECT_EQ(book.sheets[0].visibility, SheetVisibility::Hidden);
    EXPECT_EQ(Shown(book, 0, 0, 0), u"Москва");
    EXPECT_EQ(Shown(book, 0, 1, 0), u"12.5");
}

namespace {

// A compound file whose workbook stream is RC4-encrypted with `password`.
Bytes EncryptedWorkbook(std::u16string_view password)
{
    const std::array<std::uint8_t, 16> salt = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16};
    const std::array<std::uint8_t, 16> verifier = {9, 8, 7, 6, 5, 4, 3, 2, 1, 0, 1, 2, 3, 4, 5, 6};
    const Bytes filePass = MakeRc4FilePass(password, salt, verifier);
    auto globals = [](Stream& s) {
        Bytes sst;
        Put32(sst, 1);
        Put32(sst, 1);
        PutString8(sst, u"decrypted shared text", 2);
        s.Record(0x00FC, sst);
    };
    // Enough cells that the stream spans several 1024-byte key blocks.
    auto cells = [](Stream& s) {
        s.LabelSst(0, 0, 0);
        for (unsigned r = 1; r < 300; ++r) s.Number(r, 0, r * 1.5);
    };
    Bytes stream = BuildStream({{u"Encrypted", 0, cells}, {u"Second", 0, cells}}, globals, 0x0600, &filePass);
    XlsDecryptor cipher;
    std::string error;
    EXPECT_TRUE(cipher.Init(ByteView(filePass.data(), filePass.size()), password, error)) << error;
    cipher.DecryptStream(stream);  // RC4 is its own inverse
    return CompoundFileOf({{"Workbook", stream}});
}

}  // namespace

TEST(BiffReaderEncryption, DefaultPasswordIsDecrypted)
{
    const Bytes file = EncryptedWorkbook(kDefaultOfficePassword);
    Workbook book;
    std::string error;
    ASSERT_TRUE(LoadWorkbookBytes(ByteView(file.data(), file.size()), u"x", book, error)) << error;
    ASSERT_EQ(book.sheets.size(), 2u);
    EXPECT_EQ(book.sheets[0].name, u"Encrypted");
    EXPECT_EQ(Shown(book, 0, 0, 0), u"decrypted shared text");
    EXPECT_EQ(Shown(book, 1, 299, 0), u"448.5");
}

TEST(BiffReaderEncryption, OtherPasswordsFail)
{
    const Bytes file = EncryptedWorkbook(u"secret");
    Workbook book;
    std::string error;
    EXPECT_FALSE(LoadWorkbookBytes(ByteView(file.data(), file.size()), u"x", book, error));
    EXPECT_NE(error.find("protected"), std::string::npos) << error;

    // XOR obfuscation with another password's key and verifier.
    const Bytes xorPass = {0, 0, 0x34, 0x12, 0x78, 0x56};
    const Bytes stream = BuildStream({{u"S", 0, {}}}, {}, 0x0600, &xorPass);
    EXPECT_FALSE(BiffReader().ReadStream(stream, book, error));
    EXPECT_NE(error.find("protected"), std::string::npos) << error;
}

TEST(BiffReaderDamage, TruncatedAndMutatedStreamsNeverCrash)
{
    const Bytes file = ReadFixture("book.xls");
    ASSERT_FALSE(file.empty());
    // Cut the file at many places.
    for (std::size_t cut = 0; cut < file.size(); cut += 997) {
        Workbook book;
        std::string error;
        const bool ok = LoadWorkbookBytes(ByteView(file.data(), cut), u"x", book, error);
        if (!ok) {
            EXPECT_FALSE(error.empty());
        }
    }
    // Flip bytes of a built stream; every outcome is a result or an error.
    auto cells = [](Stream& s) {
        s.Number(0, 0, 1);
        s.LabelSst(1, 0, 0);
    };
    auto globals = [](Stream& s) {
        Bytes sst;
        Put32(sst, 1);
        Put32(sst, 1);
        PutString8(sst, u"text", 2);
        s.Record(0x00FC, sst);
    };
    const Bytes base = BuildStream({{u"S", 0, cells}}, globals);
    std::mt19937 rng(42);
    for (int round = 0; round < 3000; ++round) {
        Bytes mutated = base;
        for (int k = 0; k < 4; ++k)
            mutated[rng() % mutated.size()] = static_cast<std::uint8_t>(rng());
        Workbook book;
        std::string error;
        BiffReader().ReadStream(mutated, book, error);
    }
}

TEST(BiffReaderDamage, RecordRunningPastTheEndIsReported)
{
    Stream s;
    s.Bof(0x0600, 5);
    Bytes body(10, 0);
    s.Record(0x0085, body);
    s.Data()[s.Size() - 12] = 0xFF;  // the BOUNDSHEET claims 255+ bytes
    s.Data()[s.Size() - 11] = 0x7F;
    Workbook book;
    std::string error;
    EXPECT_FALSE(BiffReader().ReadStream(s.Data(), book, error));
    EXPECT_EQ(error, "damaged workbook stream");
    EXPECT_FALSE(BiffReader().ReadStream({}, book, error));
    EXPECT_FALSE(BiffReader().ReadStream({0x09, 0x04, 0x04, 0x00, 0, 0, 0x10, 0}, book, error));
    EXPECT_NE(error.find("Excel 4"), std::string::npos) << error;
}

TEST(BiffReaderLimits, CellCapMakesTheWorkbookFail)
{
    auto cells = [](Stream& s) {
        for (unsigned r = 0; r < 50; ++r) s.Number(r, 0, r);
    };
    WorkbookLimits limits;
    limits.maxCells = 40;
    Workbook book;
    std::string error;
    EXPECT_FALSE(BiffReader(limits).ReadStream(BuildStream({{u"S", 0, cells}}), book, error));
    EXPECT_EQ(error, "too many cells");
    limits.maxCells = 50;
    EXPECT_TRUE(BiffReader(limits).ReadStream(BuildStream({{u"S", 0, cells}}), book, error)) << error;
}

TEST(BiffReaderLimits, LyingSstCountAllocatesNothingLarge)
{
    auto globals = [](Stream& s) {
        Bytes sst;
        Put32(sst, 0xFFFFFFFFu);
        Put32(sst, 0xFFFFFFFFu);
        PutString8(sst, u"only one", 2);
        s.Record(0x00FC, sst);
    };
    const Workbook book = ReadOk(BuildStream({{u"S", 0, [](Stream& s) { s.LabelSst(0, 0, 0); }}}, globals));
    EXPECT_EQ(Shown(book, 0, 0, 0), u"only one");
    EXPECT_LT(book.TextCount(), 10u);
}

TEST(BiffReaderLimits, ManySheetsSharingOneSubstreamFail)
{
    // 3000 BOUNDSHEETs all pointing at one sheet of 5000 cells: read one by
    // one that would be 15 million cells of work from a 100 KB stream.
    Stream s;
    s.Bof(0x0600, 5);
    std::vector<std::size_t> patches;
    for (int i = 0; i < 3000; ++i) patches.push_back(s.BoundSheet(u"S" + std::u16string(1, static_cast<char16_t>(u'a' + i % 26)), 0));
    s.Eof();
    const std::size_t sheet = s.Size();
    s.Bof(0x0600, 0x10);
    for (unsigned r = 0; r < 5000; ++r) s.Number(r, 0, r);
    s.Eof();
    for (std::size_t at : patches) s.PatchOffset(at, sheet);
    Workbook book;
    std::string error;
    EXPECT_FALSE(BiffReader().ReadStream(s.Data(), book, error));
    EXPECT_NE(error.find("overlap"), std::string::npos) << error;
}
