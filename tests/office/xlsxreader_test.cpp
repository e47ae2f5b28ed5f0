// The OOXML workbook reader: the LibreOffice-made fixture, and packages
// built in the test for very hidden sheets, inline and rich strings with
// phonetic runs, custom date formats, the 1904 system, chart sheets,
// damage and limits.
#include "office/excel/workbookloader.h"
#include "office/excel/xlsxreader.h"
#include "support/excelfixtures.h"

#include <gtest/gtest.h>

#include <chrono>
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

// Sheets are parsed two at a time into parts of the builder: with more
// sheets than that, every sheet must come back in order, and the texts of
// each (inline strings, formulas, numbers shown as written) must still be
// its own after the parts' texts are renumbered; shared strings keep theirs.
TEST(XlsxReaderSheets, ManySheetsKeepTheirOrderAndTheirTexts)
{
    const int kSheets = 7;
    std::string workbook = "<workbook xmlns=\"" + kMain + "\" xmlns:r=\"" + kRel + "\"><sheets>";
    std::string rels = "<Relationships xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\">"
                       "<Relationship Id=\"s\" Type=\"" + kRel + "/sharedStrings\" Target=\"sharedStrings.xml\"/>";
    std::vector<std::pair<std::string, std::string>> parts = {
        {"_rels/.rels", "<Relationships xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\">"
                        "<Relationship Id=\"r\" Type=\"" + kRel + "/officeDocument\" Target=\"xl/workbook.xml\"/>"
                        "</Relationships>"},
        {"xl/sharedStrings.xml", "<sst xmlns=\"" + kMain + "\"><si><t>shared zero</t></si><si><t>shared one</t></si></sst>"},
    };
    for (int s = 1; s <= kSheets; ++s) {
        const std::string n = std::to_string(s);
        workbook += "<sheet name=\"S" + n + "\" sheetId=\"" + n + "\" r:id=\"w" + n + "\"/>";
        // Sheet 4 has no part: an empty sheet between full ones.
        if (s == 4) {
            rels += "<Relationship Id=\"w4\" Type=\"" + kRel + "/worksheet\" Target=\"worksheets/missing.xml\"/>";
            continue;
        }
        rels += "<Relationship Id=\"w" + n + "\" Type=\"" + kRel + "/worksheet\" Target=\"worksheets/sheet" + n + ".xml\"/>";
        std::string rows;
        for (int r = 1; r <= 50; ++r) {
            const std::string row = std::to_string(r);
            rows += "<row r=\"" + row + "\"><c r=\"A" + row + "\" t=\"inlineStr\"><is><t>sheet " + n + " row " + row +
                    "</t></is></c><c r=\"B" + row + "\"><f>A" + row + "&amp;\"" + n + "\"</f><v>" + n + "." + row +
                    "1</v></c><c r=\"C" + row + "\" t=\"s\"><v>" + std::to_string(r % 2) + "</v></c></row>";
        }
        parts.push_back({"xl/worksheets/sheet" + n + ".xml",
                         "<worksheet xmlns=\"" + kMain + "\"><sheetData>" + rows + "</sheetData></worksheet>"});
    }
    parts.push_back({"xl/workbook.xml", workbook + "</sheets></workbook>"});
    parts.push_back({"xl/_rels/workbook.xml.rels", rels + "</Relationships>"});

    Workbook book;
    std::string error;
    ASSERT_TRUE(Read(ZipOf(parts), book, error)) << error;
    ASSERT_EQ(book.sheets.size(), static_cast<std::size_t>(kSheets));
    for (int s = 1; s <= kSheets; ++s) {
        const auto sheet = static_cast<std::size_t>(s - 1);
        const std::string n = std::to_string(s);
        EXPECT_EQ(book.sheets[sheet].name, u"S" + std::u16string(n.begin(), n.end()));
        if (s == 4) {
            EXPECT_TRUE(book.sheets[sheet].cells.empty());
            continue;
        }
        ASSERT_EQ(book.sheets[sheet].cells.size(), 150u) << s;
        for (std::uint32_t r = 0; r < 50; ++r) {
            const std::string row = std::to_string(r + 1);
            const std::string inl = "sheet " + n + " row " + row;
            const std::string formula = "=A" + row + "&\"" + n + "\"";
            const std::string number = n + "." + row + "1";
            EXPECT_EQ(Shown(book, sheet, r, 0), std::u16string(inl.begin(), inl.end()));
            EXPECT_EQ(FormulaOf(book, sheet, r, 1), std::u16string(formula.begin(), formula.end()));
            EXPECT_EQ(Shown(book, sheet, r, 1), std::u16string(number.begin(), number.end()));
            EXPECT_EQ(Shown(book, sheet, r, 2), r % 2 == 0 ? u"shared one" : u"shared zero");
        }
    }
}

// A workbook part in a folder with a long name and more than a hundred
// thousand relationships: every one is kept (the sheet's comes last), and
// each costs its own length rather than the folder's.
TEST(XlsxReaderSheets, RelationshipsCostTheirOwnLengthAndAllCount)
{
    std::string folder;
    for (int i = 0; i < 10000; ++i) folder += "x/";
    std::string rels = "<Relationships xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\">";
    for (int i = 0; i < 120000; ++i)
        rels += "<Relationship Id=\"m" + std::to_string(i) + "\" Type=\"" + kRel + "/worksheet\" Target=\"m" +
                std::to_string(i) + ".xml\"/>";
    rels += "<Relationship Id=\"real\" Type=\"" + kRel + "/worksheet\" Target=\"../x/sheet.xml\"/></Relationships>";
    const std::vector<std::pair<std::string, std::string>> parts = {
        {"_rels/.rels", "<Relationships xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\">"
                        "<Relationship Id=\"r\" Type=\"" + kRel + "/officeDocument\" Target=\"" + folder +
                            "book.xml\"/></Relationships>"},
        {folder + "book.xml", "<workbook xmlns=\"" + kMain + "\" xmlns:r=\"" + kRel +
                                  "\"><sheets><sheet name=\"Far\" sheetId=\"1\" r:id=\"real\"/></sheets></workbook>"},
        {folder + "_rels/book.xml.rels", rels},
        {folder + "sheet.xml", "<worksheet xmlns=\"" + kMain + "\"><sheetData><row r=\"1\"><c r=\"A1\" t=\"inlineStr\">"
                               "<is><t>far away</t></is></c></row></sheetData></worksheet>"},
    };
    Workbook book;
    std::string error;
    const auto start = std::chrono::steady_clock::now();
    ASSERT_TRUE(Read(ZipOf(parts), book, error)) << error;
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    ASSERT_EQ(book.sheets.size(), 1u);
    EXPECT_EQ(Shown(book, 0, 0, 0), u"far away");
    EXPECT_LT(seconds, 3.0);
}

// Parts made before any is appended all number their texts from the same
// point; appending renumbers each after what is there by then, and the
// limits hold for the whole, not for each part alone.
TEST(WorkbookBuilderParts, AppendRenumbersTextsAndChecksTheWholeAgainstTheLimits)
{
    WorkbookLimits limits;
    limits.maxCells = 5;
    WorkbookBuilder builder(limits);
    const std::uint32_t shared = builder.AddText(u"shared");
    WorkbookBuilder first = builder.Part();
    WorkbookBuilder second = builder.Part();
    ASSERT_TRUE(first.AddSheet(u"A", SheetVisibility::Visible));
    ASSERT_TRUE(first.AddText(0, 0, u"first own"));
    ASSERT_TRUE(first.AddTextIndex(1, 0, shared));
    ASSERT_TRUE(second.AddSheet(u"B", SheetVisibility::Hidden));
    ASSERT_TRUE(second.AddText(0, 0, u"second own"));
    ASSERT_TRUE(second.AddNumber(1, 0, 2.5));
    ASSERT_TRUE(builder.Append(std::move(first)));
    ASSERT_TRUE(builder.Append(std::move(second)));
    const Workbook book = builder.Finish();
    ASSERT_EQ(book.sheets.size(), 2u);
    EXPECT_EQ(book.sheets[1].visibility, SheetVisibility::Hidden);
    EXPECT_EQ(Shown(book, 0, 0, 0), u"first own");
    EXPECT_EQ(Shown(book, 0, 1, 0), u"shared");
    EXPECT_EQ(Shown(book, 1, 0, 0), u"second own");
    EXPECT_EQ(Shown(book, 1, 1, 0), u"2.5");

    // Two parts of three cells each: each fits alone, the whole does not.
    WorkbookBuilder capped(limits);
    WorkbookBuilder a = capped.Part();
    WorkbookBuilder b = capped.Part();
    for (WorkbookBuilder* part : {&a, &b}) {
        ASSERT_TRUE(part->AddSheet(u"S", SheetVisibility::Visible));
        for (std::uint32_t r = 0; r < 3; ++r) ASSERT_TRUE(part->AddNumber(r, 0, 1));
    }
    EXPECT_TRUE(capped.Append(std::move(a)));
    EXPECT_FALSE(capped.Append(std::move(b)));
    EXPECT_TRUE(capped.Failed());
    EXPECT_NE(capped.Error().find("too many cells"), std::string::npos) << capped.Error();
}
