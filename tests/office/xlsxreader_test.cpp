// The OOXML workbook reader: the LibreOffice-made fixture, and packages
// built in the test for very hidden sheets, inline and rich strings with
// phonetic runs, custom date formats, the 1904 system, chart sheets,
// damage and limits.
#include "office/workbookloader.h"
#include "office/xlsxreader.h"
#include "support/excelfixtures.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>

using namespace office;
using namespace excelfixtures;

namespace {

const std::string kMain = "http://schemas.openxmlformats.org/spreadsheetml/2006/main";
const std::string kRel = "http://schemas.openxmlformats.org/officeDocument/2006/relationships";

std::u16string Shown(const Workbook& book, std::size_t sheet, std::uint32_t row, std::uint32_t col)
{
    for (const auto& c : book.sheets.at(sheet).cells)
        if (c.row == row && c.column == col) return book.Text(c.shown);
    return u"<none>";
}

std::u16string FormulaOf(const Workbook& book, std::size_t sheet, std::uint32_t row, std::uint32_t col)
{
    for (const auto& c : book.sheets.at(sheet).cells)
        if (c.row == row && c.column == col) return book.Text(c.formula);
    return u"<none>";
}

std::vector<std::pair<std::string, std::string>> Package(const std::string& sheet1, const std::string& sheet2 = "",
                                                         const std::string& workbookPr = "")
{
    const std::string rels =
        "<?xml version=\"1.0\"?><Relationships xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\">"
        "<Relationship Id=\"rId1\" Type=\"" + kRel + "/officeDocument\" Target=\"xl/workbook.xml\"/></Relationships>";
    const std::string wbRels =
        "<?xml version=\"1.0\"?><Relationships xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\">"
        "<Relationship Id=\"r1\" Type=\"" + kRel + "/worksheet\" Target=\"worksheets/sheet1.xml\"/>"
        "<Relationship Id=\"r2\" Type=\"" + kRel + "/worksheet\" Target=\"/xl/worksheets/sheet2.xml\"/>"
        "<Relationship Id=\"r3\" Type=\"" + kRel + "/chartsheet\" Target=\"chartsheets/sheet1.xml\"/>"
        "<Relationship Id=\"r4\" Type=\"" + kRel + "/sharedStrings\" Target=\"sharedStrings.xml\"/>"
        "<Relationship Id=\"r5\" Type=\"" + kRel + "/styles\" Target=\"styles.xml\"/></Relationships>";
    const std::string workbook = "<?xml version=\"1.0\"?><workbook xmlns=\"" + kMain + "\" xmlns:r=\"" + kRel + "\">" +
                                 workbookPr +
                                 "<sheets><sheet name=\"One\" sheetId=\"1\" r:id=\"r1\"/>"
                                 "<sheet name=\"Chart\" sheetId=\"3\" r:id=\"r3\"/>"
                                 "<sheet name=\"Two\" sheetId=\"2\" state=\"veryHidden\" r:id=\"r2\"/></sheets></workbook>";
    const std::string strings =
        "<?xml version=\"1.0\"?><sst xmlns=\"" + kMain + "\" count=\"3\" uniqueCount=\"3\">"
        "<si><t>plain shared</t></si>"
        "<si><r><rPr><b/></rPr><t>rich </t></r><r><t xml:space=\"preserve\">runs joined</t></r>"
        "<rPh sb=\"0\" eb=\"1\"><t>PHONETIC</t></rPh></si>"
        "<si><t>tab_x0009_escaped</t></si></sst>";
    const std::string styles =
        "<?xml version=\"1.0\"?><styleSheet xmlns=\"" + kMain + "\"><numFmts count=\"1\">"
        "<numFmt numFmtId=\"170\" formatCode=\"dd/mm/yyyy\"/></numFmts>"
        "<cellStyleXfs count=\"1\"><xf numFmtId=\"14\"/></cellStyleXfs>"
        "<cellXfs count=\"3\"><xf numFmtId=\"0\"/><xf numFmtId=\"170\"/><xf numFmtId=\"14\"/></cellXfs></styleSheet>";
    std::vector<std::pair<std::string, std::string>> parts = {
        {"_rels/.rels", rels},
        {"xl/workbook.xml", workbook},
        {"xl/_rels/workbook.xml.rels", wbRels},
        {"xl/sharedStrings.xml", strings},
        {"xl/styles.xml", styles},
        {"xl/worksheets/sheet1.xml", "<worksheet xmlns=\"" + kMain + "\"><sheetData>" + sheet1 + "</sheetData></worksheet>"},
    };
    if (!sheet2.empty())
        parts.push_back({"xl/worksheets/sheet2.xml",
                         "<worksheet xmlns=\"" + kMain + "\"><sheetData>" + sheet2 + "</sheetData></worksheet>"});
    return parts;
}

bool Read(const Bytes& zip, Workbook& book, std::string& error, const WorkbookLimits& limits = {})
{
    return XlsxReader(limits).Read(ByteView(zip.data(), zip.size()), book, error);
}

}  // namespace

TEST(XlsxReaderFixture, LibreOfficeWorkbookReadsCompletely)
{
    std::ifstream in(std::string(VARNEL_TEST_DATA) + "/excel/book.xlsx", std::ios::binary);
    const Bytes file((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    ASSERT_FALSE(file.empty());
    Workbook book;
    std::string error;
    ASSERT_TRUE(Read(file, book, error)) << error;
    ASSERT_EQ(book.sheets.size(), 3u);
    EXPECT_EQ(book.sheets[1].name, u"Beta");
    EXPECT_EQ(book.sheets[1].visibility, SheetVisibility::Hidden);
    EXPECT_EQ(Shown(book, 0, 1, 2), u"1E+20");
    EXPECT_EQ(Shown(book, 0, 2, 0), u"3/1/2024");
    EXPECT_EQ(Shown(book, 0, 2, 1), u"9422");
    EXPECT_EQ(FormulaOf(book, 0, 2, 1), u"=A2*2");
    EXPECT_EQ(Shown(book, 0, 2, 2), u"Hello World");
    EXPECT_EQ(Shown(book, 0, 3, 1), u"#DIV/0!");
    EXPECT_EQ(Shown(book, 2, 401, 0), u"needle after the continue boundary");
}

TEST(XlsxReaderCells, EveryCellKind)
{
    const std::string sheet1 =
        "<row r=\"1\"><c r=\"A1\" t=\"s\"><v>0</v></c><c r=\"B1\" t=\"s\"><v>1</v></c><c r=\"C1\" t=\"s\"><v>2</v></c>"
        "<c r=\"D1\" t=\"s\"><v>99</v></c></row>"
        "<row r=\"2\"><c r=\"A2\" t=\"inlineStr\"><is><t>inline text</t></is></c>"
        "<c r=\"B2\" t=\"b\"><v>1</v></c><c r=\"C2\" t=\"e\"><v>#N/A</v></c>"
        "<c r=\"D2\" t=\"str\"><f>CONCATENATE(\"a\",\"b\")</f><v>ab</v></c></row>"
        "<row r=\"3\"><c r=\"A3\" s=\"1\"><v>45352</v></c><c r=\"B3\" s=\"2\"><v>45352.5</v></c>"
        "<c r=\"C3\"><f>1+1</f><v>2</v></c><c r=\"D3\" s=\"1\"/><c r=\"E3\"><v>1.5E+21</v></c></row>"
        // Cells without references follow their predecessors.
        "<row><c><v>7</v></c><c><v>8</v></c></row>";
    const Bytes zip = ZipOf(Package(sheet1, "<row r=\"5\"><c r=\"XFD5\"><v>42</v></c></row>"));
    Workbook book;
    std::string error;
    ASSERT_TRUE(Read(zip, book, error)) << error;
    ASSERT_EQ(book.sheets.size(), 2u);  // the chart sheet is no worksheet
    EXPECT_EQ(book.sheets[1].name, u"Two");
    EXPECT_EQ(book.sheets[1].visibility, SheetVisibility::VeryHidden);
    EXPECT_EQ(Shown(book, 1, 4, 16383), u"42");
    EXPECT_EQ(Shown(book, 0, 0, 0), u"plain shared");
    EXPECT_EQ(Shown(book, 0, 0, 1), u"rich runs joined");
    EXPECT_EQ(Shown(book, 0, 0, 2), u"tab\tescaped");
    EXPECT_EQ(Shown(book, 0, 0, 3), u"<none>");
    EXPECT_EQ(Shown(book, 0, 1, 0), u"inline text");
    EXPECT_EQ(Shown(book, 0, 1, 1), u"TRUE");
    EXPECT_EQ(Shown(book, 0, 1, 2), u"#N/A");
    EXPECT_EQ(Shown(book, 0, 1, 3), u"ab");
    EXPECT_EQ(FormulaOf(book, 0, 1, 3), u"=CONCATENATE(\"a\",\"b\")");
    // dd/mm/yyyy makes it a date; the formula bar shows dates as m/d/yyyy.
    EXPECT_EQ(Shown(book, 0, 2, 0), u"3/1/2024");
    EXPECT_EQ(Shown(book, 0, 2, 1), u"3/1/2024 12:00:00 PM");
    EXPECT_EQ(Shown(book, 0, 2, 2), u"2");
    EXPECT_EQ(Shown(book, 0, 2, 3), u"<none>");  // styled but empty
    EXPECT_EQ(Shown(book, 0, 2, 4), u"1.5E+21");
    EXPECT_EQ(Shown(book, 0, 3, 0), u"7");
    EXPECT_EQ(Shown(book, 0, 3, 1), u"8");
}

TEST(XlsxReaderCells, Date1904)
{
    const Bytes zip = ZipOf(Package("<row r=\"1\"><c r=\"A1\" s=\"2\"><v>0</v></c></row>", "",
                                    "<workbookPr date1904=\"1\"/>"));
    Workbook book;
    std::string error;
    ASSERT_TRUE(Read(zip, book, error)) << error;
    EXPECT_EQ(Shown(book, 0, 0, 0), u"1/1/1904");
}

TEST(XlsxReaderDamage, BadReferencesAndPartsFailCleanly)
{
    Workbook book;
    std::string error;
    // A cell beyond the grid breaks the sheet.
    EXPECT_FALSE(Read(ZipOf(Package("<row r=\"1\"><c r=\"A1048577\"><v>1</v></c></row>")), book, error) &&
                 book.sheets[0].cells.size() > 0 && book.sheets[0].cells[0].row >= kMaxRows);
    // Malformed XML in a sheet fails the workbook.
    EXPECT_FALSE(Read(ZipOf(Package("<row><c><v>1</v></row>")), book, error));
    EXPECT_FALSE(error.empty());
    // An entity declaration is refused.
    auto parts = Package("");
    parts[1].second = "<?xml version=\"1.0\"?><!DOCTYPE x [<!ENTITY a \"aaaa\">]><workbook/>";
    EXPECT_FALSE(Read(ZipOf(parts), book, error));
    // A zip without a workbook part.
    EXPECT_FALSE(Read(ZipOf({{"hello.txt", "hi"}}), book, error));
    // Not a zip at all.
    const Bytes junk = {'P', 'K', 3, 4, 1, 2, 3};
    EXPECT_FALSE(Read(junk, book, error));
}

TEST(XlsxReaderLimits, CellCapMakesTheWorkbookFail)
{
    std::string rows;
    for (int r = 1; r <= 30; ++r) rows += "<row r=\"" + std::to_string(r) + "\"><c><v>1</v></c></row>";
    WorkbookLimits limits;
    limits.maxCells = 20;
    Workbook book;
    std::string error;
    EXPECT_FALSE(Read(ZipOf(Package(rows)), book, error, limits));
    EXPECT_NE(error.find("too many cells"), std::string::npos) << error;
}
