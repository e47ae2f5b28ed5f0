// The OOXML workbook reader beyond the cells every reader shows
// (excelloader_test): rich and escaped shared strings, cells without
// references, sheets of every type in workbook order, many sheets parsed
// in parts, a huge relationships part, parts failing their checksum,
// damage and limits.
#include "office/excel/xlsxreader.h"
#include "support/costbound.h"
#include "support/excelbooks.h"

#include <gtest/gtest.h>

#include <chrono>

using namespace office;
using namespace excelfixtures;

namespace {

bool Read(const Bytes& zip, Workbook& book, ReadError& error, const WorkbookLimits& limits = {})
{
    return XlsxReader(limits).Read(ByteView(zip.data(), zip.size()), book, error);
}

}  // namespace

TEST(XlsxReaderCells, SharedStringsPositionsAndDates)
{
    const std::string data =
        "<row r=\"1\"><c r=\"A1\" t=\"s\"><v>0</v></c><c r=\"B1\" t=\"s\"><v>1</v></c><c r=\"C1\" t=\"s\"><v>99</v></c>"
        "<c r=\"D1\" s=\"1\"/></row>"
        "<row r=\"2\"><c r=\"A2\" s=\"1\"><v>45352</v></c><c r=\"B2\" s=\"2\"><v>45352.5</v></c><c r=\"C2\" s=\"1\">"
        "<v>0</v></c></row><row><c><v>7</v></c><c><v>8</v></c></row><row r=\"5\"><c r=\"B5\" "
        "t=\"inlineStr\"><is><t>base</t><rPh><t>READING</t></rPh></is></c>"
        "<c r=\"XFD5\"><v>42</v></c></row>";
    const std::string styles = "<numFmts count=\"1\"><numFmt numFmtId=\"170\" formatCode=\"dd/mm/yyyy\"/></numFmts>"
                               "<cellXfs count=\"3\"><xf numFmtId=\"0\"/><xf numFmtId=\"170\"/><xf numFmtId=\"22\"/>"
                               "</cellXfs>";
    const std::vector<std::string> strings = {
        "<r><rPr><b/></rPr><t>rich </t></r><r><t xml:space=\"preserve\">runs joined</t></r><rPh sb=\"0\" eb=\"1\">"
        "<t>PHONETIC</t></rPh>",
        "tab_x0009_escaped_x00e9_"};
    for (const std::string pr : {"", "<workbookPr date1904=\"1\"/>", "<workbookPr date1904=\"true\"/>"}) {
        const bool date1904 = !pr.empty();
        const Workbook book = LoadOk(Xlsx({{"One", data}}, strings, styles, pr));
        const std::tuple<std::uint32_t, std::uint32_t, const char16_t*> shown[] = {
            {0, 0, u"rich runs joined"},
            {0, 1, u"tab\tescaped\u00E9"},
            {0, 2, u"<none>"},                             // beyond the table
            {0, 3, u"<none>"},                             // styled but empty
            {1, 0, date1904 ? u"3/2/2028" : u"3/1/2024"},  // dd/mm/yyyy makes a date
            {1, 1, date1904 ? u"3/2/2028 12:00:00 PM" : u"3/1/2024 12:00:00 PM"},
            {1, 2, date1904 ? u"1/1/1904" : u"1/0/1900"},
            {2, 0, u"7"},
            {2, 1, u"8"},  // cells without references follow their predecessors
            {4, 1, u"base"},
            {4, 16383, u"42"}};
        for (const auto& [row, col, text] : shown) EXPECT_EQ(Shown(book, 0, row, col), text) << row << "," << col;
    }
}

// Macro sheets are worksheets, chart and dialog sheets are not. Sheets are
// parsed two at a time into parts of the builder: each must come back in
// workbook order with its own texts and formulas after the parts' texts are
// renumbered, an empty one too; shared strings keep theirs.
TEST(XlsxReaderSheets, MacroSheetsAreWorksheetsInWorkbookOrder)
{
    const std::string ms = "http://schemas.microsoft.com/office/2006/relationships";
    auto macro = [](const std::string& cell) {
        return "<xm:macrosheet xmlns=\"" + kXlMain + "\" xmlns:xm=\"http://schemas.microsoft.com/office/excel/2006/"
               "main\"><sheetData><row r=\"1\">" + cell + "</row></sheetData></xm:macrosheet>";
    };
    const Workbook book = LoadOk(Xlsx(
        {
            {"Sheet A", "<row r=\"1\">" + InlineCell("A1", "first") + "</row>"},
            {"Macro Sheet", "", "", ms + "/xlMacrosheet", macro(InlineCell("A1", "Auto_Open"))},
            {"Empty", ""},
            {"Dialog1", "<row r=\"1\">" + InlineCell("A1", "dialog") + "</row>", "", kXlRel + "/dialogsheet"},
            {"Chart1", "", "", kXlRel + "/chartsheet", "<chartsheet/>"},
            {"Intl", "", "state=\"veryHidden\"", ms + "/xlIntlMacrosheet", macro(InlineCell("B1", "international"))},
            {"Sheet B", "<row r=\"1\">" + InlineCell("C1", "last") +
                            "<c r=\"D1\" t=\"s\"><v>0</v></c><c r=\"E1\"><f>C1&amp;D1</f><v>0</v></c></row>"},
        },
        {"shared"}));
    ASSERT_EQ(book.sheets.size(), 5u);
    EXPECT_EQ(book.sheets[1].name, u"Macro Sheet");
    EXPECT_EQ(Shown(book, 0, 0, 0), u"first");
    EXPECT_EQ(Shown(book, 1, 0, 0), u"Auto_Open");
    EXPECT_TRUE(book.sheets[2].cells.empty());
    EXPECT_EQ(book.sheets[3].visibility, SheetVisibility::VeryHidden);
    EXPECT_EQ(Shown(book, 3, 0, 1), u"international");
    EXPECT_EQ(Shown(book, 4, 0, 2), u"last");
    EXPECT_EQ(Shown(book, 4, 0, 3), u"shared");
    EXPECT_EQ(FormulaOf(book, 4, 0, 4), u"=C1&D1");
}

// A workbook part in a folder with a long name and more than a hundred
// thousand relationships: every one is kept (the sheet's comes last), and
// each costs its own length rather than the folder's.
TEST(XlsxReaderSheets, RelationshipsCostTheirOwnLengthAndAllCount)
{
    std::string folder;
    for (int i = 0; i < 10000; ++i) folder += "x/";
    std::string rels = "<Relationships xmlns=\"" + kPkgRel + "\">";
    for (int i = 0; i < 120000; ++i)
        rels += "<Relationship Id=\"m" + std::to_string(i) + "\" Type=\"" + kXlRel + "/worksheet\" Target=\"m" +
                std::to_string(i) + ".xml\"/>";
    rels += "<Relationship Id=\"real\" Type=\"" + kXlRel + "/worksheet\" Target=\"../x/sheet.xml\"/></Relationships>";
    const Bytes zip = ZipOf({
        {"_rels/.rels", "<Relationships xmlns=\"" + kPkgRel + "\"><Relationship Id=\"r\" Type=\"" + kXlRel +
                            "/officeDocument\" Target=\"" + folder + "book.xml\"/></Relationships>"},
        {folder + "book.xml", "<workbook xmlns=\"" + kXlMain + "\" xmlns:r=\"" + kXlRel +
                                  "\"><sheets><sheet name=\"Far\" sheetId=\"1\" r:id=\"real\"/></sheets></workbook>"},
        {folder + "_rels/book.xml.rels", rels},
        {folder + "sheet.xml", WorksheetXml("<row r=\"1\">" + InlineCell("A1", "far away") + "</row>")},
    });
    Workbook book;
    ReadError error;
    const auto start = std::chrono::steady_clock::now();
    ASSERT_TRUE(Read(zip, book, error)) << error;
    EXPECT_LT(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count(),
              3.0 * costbound::kSlowBuildScale);
    EXPECT_EQ(Shown(book, 0, 0, 0), u"far away");
}

// A part whose data inflates whole but fails its checksum holds what the
// file holds: it is read. A part whose data does not inflate refuses the
// workbook.
TEST(XlsxReaderDamage, ChecksumMismatchIsReadBrokenDataBadPartsAndLimitsFail)
{
    const Bytes twoSheets = Xlsx({{"One", "<row r=\"1\">" + InlineCell("A1", "first sheet text") + "</row>"},
                                  {"Two", "<row r=\"1\">" + InlineCell("B1", "second sheet text") + "</row>"}});
    for (const char* part : {"xl/parts/sheet2.xml", "xl/workbook.xml"}) {
        Bytes zip = twoSheets;
        ziptest::BreakEntries(zip, [&](const std::string& name) { return name == part; });
        const Workbook book = LoadOk(zip);
        ASSERT_EQ(book.sheets.size(), 2u) << part;
        EXPECT_EQ(Shown(book, 1, 0, 1), u"second sheet text");
    }
    Bytes broken = twoSheets;
    ziptest::BreakEntries(broken, [](const std::string& name) { return name == "xl/parts/sheet2.xml"; }, true);
    EXPECT_EQ(Refusal(broken), ReadErrorKind::Damaged);

    // Bad parts and limits fail cleanly.
    Workbook book;
    ReadError error;
    // A cell beyond the grid is never kept.
    EXPECT_FALSE(Read(Xlsx({{"S", "<row r=\"1\"><c r=\"A1048577\"><v>1</v></c></row>"}}), book, error) &&
                 !book.sheets[0].cells.empty() && book.sheets[0].cells[0].row >= kMaxRows);
    EXPECT_FALSE(Read(Xlsx({{"S", "<row><c><v>1</v></row>"}}), book, error));  // malformed XML
    EXPECT_EQ(error.kind, ReadErrorKind::Damaged) << error;
    auto parts = XlsxParts({{"S", ""}});
    parts[2].second = "<?xml version=\"1.0\"?><!DOCTYPE x [<!ENTITY a \"aaaa\">]><workbook/>";
    ASSERT_EQ(parts[2].first, "xl/workbook.xml");
    EXPECT_FALSE(Read(ZipOf(parts), book, error));  // an entity declaration
    EXPECT_EQ(error.kind, ReadErrorKind::Damaged) << error;
    EXPECT_FALSE(Read(ZipOf({{"hello.txt", "hi"}}), book, error));
    EXPECT_EQ(error.kind, ReadErrorKind::NotThisFormat) << error;
    EXPECT_FALSE(Read({'P', 'K', 3, 4, 1, 2, 3}, book, error));
    EXPECT_EQ(error.kind, ReadErrorKind::NotThisFormat) << error;
    auto rows = [](int n) {
        std::string out;
        for (int r = 1; r <= n; ++r) out += "<row r=\"" + std::to_string(r) + "\"><c><v>1</v></c></row>";
        return out;
    };
    WorkbookLimits limits;
    limits.maxCells = 40;
    // One sheet past the cap, and two parsed side by side that only
    // together pass it.
    for (const Bytes& zip : {Xlsx({{"S", rows(50)}}), Xlsx({{"S", rows(30)}, {"T", rows(30)}})}) {
        EXPECT_FALSE(Read(zip, book, error, limits));
        EXPECT_EQ(error.kind, ReadErrorKind::TooLarge) << error;
    }
}
