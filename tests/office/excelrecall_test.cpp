// Words a reader of a workbook sees and the built-in Excel must find, each
// on a workbook the test makes: the cells of Excel 4 macro sheets (.xls
// and .xlsm, in workbook order, while chart and dialog sheets stay out),
// FORMULA records that carry Excel 4's record number in a BIFF8 stream,
// numbers formatted as percentages as the formula bar writes them (.xls,
// .xlsx and Excel 2 to 4), and the other sheets of a package one of whose
// parts fails its checksum.
#include "office/excel/workbookloader.h"
#include "support/excelfixtures.h"
#include "support/oldbifffixture.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <functional>
#include <iterator>
#include <tuple>

using namespace office;
using namespace excelfixtures;

namespace {

const std::string kMain = "http://schemas.openxmlformats.org/spreadsheetml/2006/main";
const std::string kRel = "http://schemas.openxmlformats.org/officeDocument/2006/relationships";
const std::string kMsRel = "http://schemas.microsoft.com/office/2006/relationships";

std::u16string Shown(const Workbook& book, std::size_t sheet, std::uint32_t row, std::uint32_t col)
{
    for (const auto& c : book.sheets.at(sheet).cells)
        if (c.row == row && c.column == col) return book.Text(c.shown);
    return u"<none>";
}

std::u16string FormulaOf(const Workbook& book, std::size_t sheet, std::uint32_t row, std::uint32_t col)
{
    for (const auto& c : book.sheets.at(sheet).cells)
        if (c.row == row && c.column == col) return c.formula == kNoText ? u"<none>" : book.Text(c.formula);
    return u"<none>";
}

Workbook LoadOk(const Bytes& file)
{
    Workbook book;
    std::string error;
    EXPECT_TRUE(LoadWorkbookBytes(ByteView(file.data(), file.size()), u"Sheet1", book, error)) << error;
    return book;
}

std::vector<std::u16string> Names(const Workbook& book)
{
    std::vector<std::u16string> names;
    for (const auto& s : book.sheets) names.push_back(s.name);
    return names;
}

void Label(Stream& s, unsigned row, unsigned col, const std::u16string& text, bool biff8)
{
    Bytes b;
    Put16(b, row);
    Put16(b, col);
    Put16(b, 0);
    if (biff8) {
        PutString8(b, text, 2);
    } else {
        Put16(b, static_cast<unsigned>(text.size()));
        for (char16_t c : text) b.push_back(static_cast<std::uint8_t>(c));
    }
    s.Record(0x0204, b);
}

struct XlsSheet {
    std::u16string name;
    unsigned type;     // BOUNDSHEET: 0 worksheet, 1 macro sheet, 2 chart, 6 module
    unsigned bofKind;  // the substream's BOF: 0x10, 0x40, 0x20, 0x06
    unsigned state;
    std::function<void(Stream&)> cells;
};

// A compound file whose workbook stream holds `sheets` in that order.
Bytes Xls(const std::vector<XlsSheet>& sheets, unsigned version = 0x0600,
          const std::function<void(Stream&)>& globals = {})
{
    const bool biff8 = version == 0x0600;
    Stream s;
    s.Bof(version, 0x0005);
    if (globals) globals(s);
    std::vector<std::size_t> patches;
    for (const auto& sheet : sheets) {
        const std::size_t at = s.BoundSheet(sheet.name, sheet.state, biff8);
        s.Data()[at + 5] = static_cast<std::uint8_t>(sheet.type);
        patches.push_back(at);
    }
    s.Eof();
    for (std::size_t i = 0; i < sheets.size(); ++i) {
        s.PatchOffset(patches[i], s.Size());
        s.Bof(version, sheets[i].bofKind);
        if (sheets[i].cells) sheets[i].cells(s);
        s.Eof();
    }
    return CompoundFileOf({{biff8 ? "Workbook" : "Book", s.Data()}});
}

}  // namespace

TEST(ExcelMacroSheets, XlsMacroSheetsAreWorksheetsInWorkbookOrder)
{
    for (const unsigned version : {0x0600u, 0x0500u}) {
        SCOPED_TRACE(version);
        const bool biff8 = version == 0x0600;
        const Bytes file = Xls(
            {{u"Data", 0, 0x10, 0, [&](Stream& s) { Label(s, 0, 0, u"ledger", biff8); }},
             {u"Chart1", 2, 0x20, 0, [&](Stream& s) { Label(s, 0, 0, u"chart text", biff8); }},
             {u"Macro1", 1, 0x40, 1,
              [&](Stream& s) {
                  Label(s, 0, 0, u"Auto_Open", biff8);
                  s.Number(1, 0, 42);
              }},
             {u"Module1", 6, 0x06, 0, {}},
             {u"Last", 0, 0x10, 0, [&](Stream& s) { Label(s, 2, 1, u"closing", biff8); }}},
            version);
        const Workbook book = LoadOk(file);
        EXPECT_EQ(Names(book), (std::vector<std::u16string>{u"Data", u"Macro1", u"Last"}));
        ASSERT_EQ(book.sheets.size(), 3u);
        EXPECT_EQ(book.sheets[1].visibility, SheetVisibility::Hidden);
        EXPECT_EQ(Shown(book, 1, 0, 0), u"Auto_Open");
        EXPECT_EQ(Shown(book, 1, 1, 0), u"42");
        EXPECT_EQ(Shown(book, 2, 2, 1), u"closing");
    }
}

namespace {

std::vector<std::pair<std::string, std::string>> XlsxWithSheets(
    const std::vector<std::tuple<std::string, std::string, std::string, std::string>>& sheets,
    const std::string& styles = "")
{
    // (name, relationship type, part, root element with its namespaces)
    std::string workbook = "<workbook xmlns=\"" + kMain + "\" xmlns:r=\"" + kRel + "\"><sheets>";
    std::string rels = "<Relationships xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\">";
    std::vector<std::pair<std::string, std::string>> parts = {
        {"_rels/.rels", "<Relationships xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\">"
                        "<Relationship Id=\"r\" Type=\"" + kRel + "/officeDocument\" Target=\"xl/workbook.xml\"/>"
                        "</Relationships>"}};
    int n = 0;
    for (const auto& [name, type, part, content] : sheets) {
        const std::string id = "s" + std::to_string(++n);
        workbook += "<sheet name=\"" + name + "\" sheetId=\"" + std::to_string(n) + "\" r:id=\"" + id + "\"/>";
        rels += "<Relationship Id=\"" + id + "\" Type=\"" + type + "\" Target=\"" + part + "\"/>";
        parts.push_back({"xl/" + part, content});
    }
    if (!styles.empty()) {
        rels += "<Relationship Id=\"st\" Type=\"" + kRel + "/styles\" Target=\"styles.xml\"/>";
        parts.push_back({"xl/styles.xml", styles});
    }
    parts.push_back({"xl/workbook.xml", workbook + "</sheets></workbook>"});
    parts.push_back({"xl/_rels/workbook.xml.rels", rels + "</Relationships>"});
    return parts;
}

std::string InlineCell(const std::string& ref, const std::string& text)
{
    return "<c r=\"" + ref + "\" t=\"inlineStr\"><is><t>" + text + "</t></is></c>";
}

std::string Worksheet(const std::string& cells)
{
    return "<worksheet xmlns=\"" + kMain + "\"><sheetData><row r=\"1\">" + cells + "</row></sheetData></worksheet>";
}

std::string MacroSheet(const std::string& cells)
{
    return "<xm:macrosheet xmlns=\"" + kMain + "\" xmlns:xm=\"http://schemas.microsoft.com/office/excel/2006/main\">"
           "<sheetData><row r=\"1\">" + cells + "</row></sheetData></xm:macrosheet>";
}

}  // namespace

TEST(ExcelMacroSheets, XlsxMacroSheetsAreWorksheetsInWorkbookOrder)
{
    const Bytes zip = ZipOf(XlsxWithSheets({
        {"Sheet A", kRel + "/worksheet", "worksheets/sheet1.xml", Worksheet(InlineCell("A1", "first"))},
        {"Macro Sheet", kMsRel + "/xlMacrosheet", "macrosheets/sheet1.xml", MacroSheet(InlineCell("A1", "Auto_Open"))},
        {"Dialog1", kRel + "/dialogsheet", "dialogsheets/sheet1.xml", Worksheet(InlineCell("A1", "dialog"))},
        {"Chart1", kRel + "/chartsheet", "chartsheets/sheet1.xml", "<chartsheet/>"},
        {"Intl", kMsRel + "/xlIntlMacrosheet", "macrosheets/intl1.xml", MacroSheet(InlineCell("B1", "international"))},
        {"Sheet B", kRel + "/worksheet", "worksheets/sheet2.xml", Worksheet(InlineCell("C1", "last"))},
    }));
    const Workbook book = LoadOk(zip);
    EXPECT_EQ(Names(book), (std::vector<std::u16string>{u"Sheet A", u"Macro Sheet", u"Intl", u"Sheet B"}));
    ASSERT_EQ(book.sheets.size(), 4u);
    EXPECT_EQ(Shown(book, 1, 0, 0), u"Auto_Open");
    EXPECT_EQ(Shown(book, 2, 0, 1), u"international");
    EXPECT_EQ(Shown(book, 3, 0, 2), u"last");
}

// Some writers give the FORMULA records of a BIFF8 sheet Excel 4's record
// number; the layout is BIFF8's all the same.
TEST(ExcelFormulaRecords, Biff4RecordNumberInABiff8Sheet)
{
    const auto formula = [](Stream& s, unsigned type, unsigned row, double value, const Bytes& tokens) {
        Bytes b;
        Put16(b, row);
        Put16(b, 0);
        Put16(b, 0);
        PutF64(b, value);
        Put16(b, 0);
        Put32(b, 0);
        Put16(b, static_cast<unsigned>(tokens.size()));
        b.insert(b.end(), tokens.begin(), tokens.end());
        s.Record(type, b);
    };
    const Bytes onePlusTwo = {0x1E, 1, 0, 0x1E, 2, 0, 0x03};  // =1+2
    const Bytes file = Xls({{u"Sums", 0, 0x10, 0, [&](Stream& s) {
                                 formula(s, 0x0406, 0, 3, onePlusTwo);
                                 formula(s, 0x0006, 1, 3, onePlusTwo);
                                 formula(s, 0x0406, 2, 2009.5, {0x1E, 5, 0});
                                 // Too short to hold a formula: passed over.
                                 s.Record(0x0406, {2, 0, 0, 0, 0, 0, 1, 2});
                             }}});
    const Workbook book = LoadOk(file);
    ASSERT_EQ(book.sheets.size(), 1u);
    EXPECT_EQ(Shown(book, 0, 0, 0), u"3");
    EXPECT_EQ(FormulaOf(book, 0, 0, 0), u"=1+2");
    EXPECT_EQ(Shown(book, 0, 1, 0), u"3");
    EXPECT_EQ(Shown(book, 0, 2, 0), u"2009.5");
    EXPECT_EQ(FormulaOf(book, 0, 2, 0), u"=5");
    EXPECT_EQ(book.sheets[0].cells.size(), 3u);
}

namespace {

// Each reader, given one number per format code, shows these.
struct PercentCase {
    const char* code;  // nullptr: built-in format 9 or 10, by `builtin`
    unsigned builtin;
    double value;
    const char16_t* shown;
};

const PercentCase kPercentCases[] = {
    {nullptr, 9, 0.5, u"50%"},
    {nullptr, 10, 0.0897, u"8.97%"},
    {"0.0%", 0, 0.123456, u"12.3456%"},
    {"0%;[Red]-0%", 0, -0.25, u"-25%"},
    {"#,##0.00 %", 0, 1, u"100%"},
    {"[Blue]0.000%", 0, 1.0 / 3.0, u"33.3333333333333%"},
    // Not percentages: a quoted or escaped sign, a date, General.
    {"0\"%\"", 0, 0.5, u"0.5"},
    {"0\\%", 0, 0.5, u"0.5"},
    {"0_%", 0, 0.5, u"0.5"},
    {"d/m/yyyy", 0, 45352, u"3/1/2024"},
    {"General", 0, 0.0897, u"0.0897"},
};

}  // namespace

TEST(ExcelPercent, XlsShowsPercentagesAsTheFormulaBar)
{
    const auto globals = [](Stream& s) {
        for (std::size_t i = 0; i < std::size(kPercentCases); ++i) {
            if (kPercentCases[i].code == nullptr) continue;
            Bytes fmt;
            Put16(fmt, static_cast<unsigned>(164 + i));
            const std::string code = kPercentCases[i].code;
            PutString8(fmt, std::u16string(code.begin(), code.end()), 2);
            s.Record(0x041E, fmt);
        }
        for (std::size_t i = 0; i < std::size(kPercentCases); ++i) {
            Bytes x;
            Put16(x, 0);
            Put16(x, kPercentCases[i].code == nullptr ? kPercentCases[i].builtin : static_cast<unsigned>(164 + i));
            x.resize(20, 0);
            s.Record(0x00E0, x);
        }
    };
    const Bytes file = Xls({{u"P", 0, 0x10, 0, [](Stream& s) {
                                 for (std::size_t i = 0; i < std::size(kPercentCases); ++i)
                                     s.Number(static_cast<unsigned>(i), 0, kPercentCases[i].value, static_cast<unsigned>(i));
                             }}},
                           0x0600, globals);
    const Workbook book = LoadOk(file);
    for (std::size_t i = 0; i < std::size(kPercentCases); ++i)
        EXPECT_EQ(Shown(book, 0, static_cast<std::uint32_t>(i), 0), kPercentCases[i].shown) << i;
}

TEST(ExcelPercent, XlsxShowsPercentagesAsTheFormulaBar)
{
    std::string numFmts = "<numFmts>";
    std::string xfs = "<cellXfs>";
    std::string cells;
    for (std::size_t i = 0; i < std::size(kPercentCases); ++i) {
        const PercentCase& c = kPercentCases[i];
        const std::string id = c.code == nullptr ? std::to_string(c.builtin) : std::to_string(164 + i);
        if (c.code != nullptr) {
            std::string code;
            for (const char* p = c.code; *p != 0; ++p) code += *p == '"' ? std::string("&quot;") : std::string(1, *p);
            numFmts += "<numFmt numFmtId=\"" + id + "\" formatCode=\"" + code + "\"/>";
        }
        xfs += "<xf numFmtId=\"" + id + "\"/>";
        char value[64];
        std::snprintf(value, sizeof value, "%.17g", c.value);
        cells += "<row r=\"" + std::to_string(i + 1) + "\"><c r=\"A" + std::to_string(i + 1) + "\" s=\"" +
                 std::to_string(i) + "\"><v>" + value + "</v></c></row>";
    }
    const std::string styles = "<styleSheet xmlns=\"" + kMain + "\">" + numFmts + "</numFmts>" + xfs +
                               "</cellXfs></styleSheet>";
    const Bytes zip = ZipOf(XlsxWithSheets(
        {{"P", kRel + "/worksheet", "worksheets/sheet1.xml",
          "<worksheet xmlns=\"" + kMain + "\"><sheetData>" + cells + "</sheetData></worksheet>"}},
        styles));
    const Workbook book = LoadOk(zip);
    for (std::size_t i = 0; i < std::size(kPercentCases); ++i)
        EXPECT_EQ(Shown(book, 0, static_cast<std::uint32_t>(i), 0), kPercentCases[i].shown) << i;
}

TEST(ExcelPercent, Excel2To4ShowPercentagesAsTheFormulaBar)
{
    for (const int version : {2, 3, 4}) {
        SCOPED_TRACE(version);
        OldBiffWriter w(version);
        w.Bof(0x0010);
        // Excel 2 to 4 write every format they use, built-in ones too.
        for (const char* code : {"General", "0%", "0.00%", "0\"%\""}) w.Format(code);
        for (unsigned format : {0u, 1u, 2u, 3u}) w.Xf(format);
        w.Number(0, 0, 0.0897, 0, 0);
        w.Number(1, 0, 0.0897, 1, 1);
        w.Number(2, 0, -1.5, 2, 2);
        w.Number(3, 0, 0.5, 3, 3);
        w.Formula(4, 0, OldBiffWriter::NumberResult(0.75), 1, 1);
        w.Eof();
        const Workbook book = LoadOk(w.Data());
        EXPECT_EQ(Shown(book, 0, 0, 0), u"0.0897");
        EXPECT_EQ(Shown(book, 0, 1, 0), u"8.97%");
        EXPECT_EQ(Shown(book, 0, 2, 0), u"-150%");
        EXPECT_EQ(Shown(book, 0, 3, 0), u"0.5");
        EXPECT_EQ(Shown(book, 0, 4, 0), u"75%");
    }
}

namespace {

std::uint32_t Get32(const Bytes& b, std::size_t at)
{
    return static_cast<std::uint32_t>(b[at] | (b[at + 1] << 8) | (b[at + 2] << 16)) |
           (static_cast<std::uint32_t>(b[at + 3]) << 24);
}

// The offset of the local header of entry `name`.
std::size_t LocalHeaderOf(const Bytes& zip, const std::string& name)
{
    for (std::size_t i = 0; i + 30 <= zip.size(); ++i) {
        if (Get32(zip, i) != 0x04034b50u) continue;
        const std::size_t nameLen = zip[i + 26] | (zip[i + 27] << 8);
        if (i + 30 + nameLen <= zip.size() && std::string(zip.begin() + static_cast<long>(i + 30),
                                                          zip.begin() + static_cast<long>(i + 30 + nameLen)) == name)
            return i;
    }
    return zip.size();
}

// Flips a bit of the checksum an entry's headers record, in the local
// header and in the central directory.
void BreakChecksum(Bytes& zip, const std::string& name)
{
    for (std::size_t i = 0; i + 46 <= zip.size(); ++i) {
        const std::uint32_t sig = Get32(zip, i);
        std::size_t nameAt = 0, nameLen = 0, crcAt = 0;
        if (sig == 0x04034b50u) {
            nameAt = i + 30;
            nameLen = zip[i + 26] | (zip[i + 27] << 8);
            crcAt = i + 14;
        } else if (sig == 0x02014b50u) {
            nameAt = i + 46;
            nameLen = zip[i + 28] | (zip[i + 29] << 8);
            crcAt = i + 16;
        } else {
            continue;
        }
        if (nameAt + nameLen <= zip.size() &&
            std::string(zip.begin() + static_cast<long>(nameAt), zip.begin() + static_cast<long>(nameAt + nameLen)) == name)
            zip[crcAt] ^= 0x01;
    }
}

Bytes TwoSheets()
{
    return ZipOf(XlsxWithSheets({
        {"One", kRel + "/worksheet", "worksheets/sheet1.xml", Worksheet(InlineCell("A1", "first sheet text"))},
        {"Two", kRel + "/worksheet", "worksheets/sheet2.xml", Worksheet(InlineCell("B1", "second sheet text"))},
    }));
}

}  // namespace

// A part whose data inflates whole to the size its headers give but fails
// its checksum holds what the file holds: the workbook is read, that part
// too. A part whose data does not inflate still refuses the workbook.
TEST(ExcelDamagedParts, ChecksumMismatchIsReadAndBrokenDataIsRefused)
{
    Bytes zip = TwoSheets();
    BreakChecksum(zip, "xl/worksheets/sheet2.xml");
    Workbook book = LoadOk(zip);
    ASSERT_EQ(book.sheets.size(), 2u);
    EXPECT_EQ(Shown(book, 0, 0, 0), u"first sheet text");
    EXPECT_EQ(Shown(book, 1, 0, 1), u"second sheet text");

    // The same for the workbook part itself.
    Bytes wb = TwoSheets();
    BreakChecksum(wb, "xl/workbook.xml");
    EXPECT_EQ(LoadOk(wb).sheets.size(), 2u);

    // Deflated data made invalid: a block type that does not exist.
    Bytes broken = TwoSheets();
    const std::size_t local = LocalHeaderOf(broken, "xl/worksheets/sheet2.xml");
    ASSERT_LT(local, broken.size());
    ASSERT_EQ(broken[local + 8], 8);  // deflated
    const std::size_t data = local + 30 + (broken[local + 26] | (broken[local + 27] << 8)) +
                             (broken[local + 28] | (broken[local + 29] << 8));
    broken[data] = 0x07;  // final block, reserved type 3
    std::string error;
    EXPECT_FALSE(LoadWorkbookBytes(ByteView(broken.data(), broken.size()), u"x", book, error));
    EXPECT_NE(error.find("sheet2.xml"), std::string::npos) << error;
}
