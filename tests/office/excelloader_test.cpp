// One workbook written in every format the built-in Excel opens (BIFF8,
// BIFF5, Excel 2 to 4, .xlsx, XML Spreadsheet 2003, delimited text) and
// opened by content through the loader: every reader must show each cell
// its format can hold as Excel shows it (web pages have htmlworkbook_test).
// Also what only the text formats have: delimiters, quoting, encodings, and
// refusing junk.
#include "office/excel/xlstextreader.h"
#include "support/excelbooks.h"
#include "support/oldbifffixture.h"

#include <gtest/gtest.h>

using namespace office;
using namespace excelfixtures;

namespace {

enum Format : unsigned { B8 = 1, B5 = 2, B2 = 4, B3 = 8, B4 = 16, Xlsx_ = 32, Xml = 64, Csv = 128 };
constexpr unsigned kBiff = B8 | B5 | B2 | B3 | B4;
constexpr unsigned kTyped = kBiff | Xlsx_ | Xml;  // formats with cell types and formulas
constexpr unsigned kAll = 255;

struct Probe {
    std::uint32_t row, col;
    const char16_t* shown;
    unsigned formats;
};

// The cells of sheet "Data", as each format can hold them.
const Probe kProbes[] = {
    {0, 0, u"Alpha beta", kAll},
    {0, 1, u"4711", kAll},
    {0, 2, u"12.5", kAll},
    {0, 3, u"3/1/2024", kTyped},  // a date format
    {1, 0, u"TRUE", kAll},
    {1, 1, u"#DIV/0!", kTyped},
    {1, 2, u"42", kTyped},  // a formula's number
    {1, 3, u"computed text", kTyped},
    {2, 0, u"8.97%", kBiff | Xlsx_},  // 0.0897 as 0.00%
    {2, 1, u"1E+20", kAll},
    {2, 2, u"Привет", kAll},  // 16-bit, a code page or UTF-8
    {2, 3, u"second shared", B8 | Xlsx_},
};

const std::string kCyrillic1251 = "\xCF\xF0\xE8\xE2\xE5\xF2";
const Bytes kPlusTokens = {0x1E, 40, 0, 0x1E, 2, 0, 0x03};  // =40+2

Bytes WriteBiff(unsigned version)
{
    const bool biff8 = version == 0x0600;
    auto globals = [&](Stream& s) {
        s.Record(0x0042, Words({biff8 ? 1200u : 1251u}));
        Bytes fmt = Words({164});
        if (biff8) PutString8(fmt, u"0.00%", 2);
        else OldBiffWriter::PutBytes(fmt, "0.00%", 1);
        s.Record(0x041E, fmt);
        for (unsigned format : {0u, 14u, 164u}) {
            Bytes xf = Words({0, format});
            xf.resize(biff8 ? 20 : 16, 0);
            s.Record(0x00E0, xf);
        }
        if (!biff8) return;
        Bytes sst = Words({3, 0, 3, 0});
        for (const char16_t* text : {u"Alpha beta", u"Привет", u"second shared"}) PutString8(sst, text, 2);
        s.Record(0x00FC, sst);
    };
    auto cells = [&](Stream& s) {
        if (biff8) s.LabelSst(0, 0, 0);
        else s.Label(0, 0, u"Alpha beta", false);
        s.Number(0, 1, 4711);
        s.Number(0, 2, 12.5);
        s.Number(0, 3, 45352, 1);
        s.Record(0x0205, {1, 0, 0, 0, 0, 0, 1, 0});
        s.Record(0x0205, {1, 0, 1, 0, 0, 0, 7, 1});
        s.Formula(1, 2, 42, kPlusTokens);
        // =40&2 with a text result, which the STRING record after it holds.
        s.Record(0x0006, {1, 0, 3, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xFF, 0xFF, 0, 0, 0, 0, 0, 0, 7, 0, 0x1E, 40, 0, 0x1E, 2, 0,
                          0x08});
        Bytes str;
        if (biff8) PutString8(str, u"computed text", 2);
        else OldBiffWriter::PutBytes(str, "computed text", 2);
        s.Record(0x0207, str);
        s.Number(2, 0, 0.0897, 2);
        s.Number(2, 1, 1e20);
        if (biff8) {
            s.LabelSst(2, 2, 1);
            s.LabelSst(2, 3, 2);
        } else {
            s.Label(2, 2, std::u16string(kCyrillic1251.begin(), kCyrillic1251.end()), false);
        }
    };
    auto hidden = [&](Stream& s) { s.Label(0, 0, u"hidden value", biff8); };
    return Xls(BiffStream({{u"Data", 0, cells}, {u"Hidden", 1, hidden}}, globals, version), version);
}

Bytes WriteXlsx()
{
    const std::string data =
        "<row r=\"1\"><c r=\"A1\" t=\"s\"><v>0</v></c><c r=\"B1\"><v>4711</v></c><c r=\"C1\"><v>12.5</v></c>"
        "<c r=\"D1\" s=\"1\"><v>45352</v></c></row>"
        "<row r=\"2\"><c r=\"A2\" t=\"b\"><v>1</v></c><c r=\"B2\" t=\"e\"><v>#DIV/0!</v></c>"
        "<c r=\"C2\"><f>40+2</f><v>42</v></c><c r=\"D2\" t=\"str\"><f>40&amp;2</f><v>computed text</v></c></row>"
        "<row r=\"3\"><c r=\"A3\" s=\"2\"><v>0.0897</v></c><c r=\"B3\"><v>1E+20</v></c>"
        "<c r=\"C3\" t=\"inlineStr\"><is><t>Привет</t></is></c><c r=\"D3\" t=\"s\"><v>1</v></c></row>";
    const std::string styles = "<numFmts count=\"1\"><numFmt numFmtId=\"164\" formatCode=\"0.00%\"/></numFmts>"
                               "<cellXfs count=\"3\"><xf numFmtId=\"0\"/><xf numFmtId=\"14\"/><xf numFmtId=\"164\"/>"
                               "</cellXfs>";
    return Xlsx({{"Data", data},
                 {"Hidden", "<row r=\"1\">" + InlineCell("A1", "hidden value") + "</row>", "state=\"hidden\""}},
                {"Alpha beta", "second shared"}, styles);
}

std::string XmlCell(const char* type, const std::string& data, const std::string& formula = "")
{
    return "<Cell" + (formula.empty() ? "" : " ss:Formula=\"" + formula + "\"") + "><Data ss:Type=\"" + type + "\">" +
           data + "</Data></Cell>";
}

std::string WriteXml2003()
{
    return "<?xml version=\"1.0\"?><Workbook xmlns=\"urn:schemas-microsoft-com:office:spreadsheet\" "
           "xmlns:ss=\"urn:schemas-microsoft-com:office:spreadsheet\"><Worksheet ss:Name=\"Data\"><Table><Row>" +
           XmlCell("String", "Alpha <B>beta</B>") + XmlCell("Number", "4711") + XmlCell("Number", "12.5") +
           XmlCell("DateTime", "2024-03-01T00:00:00.000") + "</Row><Row>" + XmlCell("Boolean", "1") +
           XmlCell("Error", "#DIV/0!") + XmlCell("Number", "42", "=40+2") +
           XmlCell("String", "computed text", "=40&amp;2") +
           "</Row><Row ss:Index=\"3\"><Cell ss:Index=\"2\"><Data ss:Type=\"Number\">"
           "1E+20</Data></Cell>" +
           XmlCell("String", "Привет") +
           "</Row></Table></Worksheet>"
           "<Worksheet ss:Name=\"Hidden\"><Table><Row>" +
           XmlCell("String", "hidden value") +
           "</Row></Table>"
           "<WorksheetOptions xmlns=\"urn:schemas-microsoft-com:office:excel\"><Visible>SheetHidden</Visible>"
           "</WorksheetOptions></Worksheet></Workbook>";
}

const std::string kCsv = "\xEF\xBB\xBF" "Alpha beta,4711,12.5\r\nTRUE\r\n,1E+20,\"Привет\"\r\n";

struct FormatCase {
    const char* name;
    unsigned format;
    WorkbookKind kind;
    std::function<Bytes()> write;
};

void PrintTo(const FormatCase& c, std::ostream* os) { *os << c.name; }

Bytes Of(const std::string& s) { return Bytes(s.begin(), s.end()); }

class EveryReader : public ::testing::TestWithParam<FormatCase> {};

}  // namespace

TEST_P(EveryReader, ShowsTheCellsItsFormatHolds)
{
    const FormatCase& c = GetParam();
    const Bytes file = c.write();
    EXPECT_EQ(DetectWorkbookKind(View(file)), c.kind);
    const Workbook book = LoadOk(file);
    ASSERT_FALSE(book.sheets.empty());
    for (const Probe& p : kProbes) {
        if ((p.formats & c.format) == 0) continue;  // a cell this format cannot hold
        EXPECT_EQ(Shown(book, 0, p.row, p.col), p.shown) << p.row << "," << p.col;
    }
    if ((c.format & (B8 | B5 | Xlsx_ | Xml)) != 0) {
        ASSERT_EQ(book.sheets.size(), 2u);
        EXPECT_EQ(book.sheets[0].name, u"Data");
        EXPECT_EQ(book.sheets[1].visibility, SheetVisibility::Hidden);
        EXPECT_EQ(Shown(book, 1, 0, 0), u"hidden value");
    } else {
        // A worksheet file or a text names no sheet: it takes the name given.
        ASSERT_EQ(book.sheets.size(), 1u);
        EXPECT_EQ(book.sheets[0].name, u"Sheet1");
    }
    if ((c.format & (B8 | B5 | Xlsx_)) != 0) {
        EXPECT_EQ(FormulaOf(book, 0, 1, 2), u"=40+2");
        EXPECT_EQ(FormulaOf(book, 0, 1, 3), u"=40&2");
    }
}

INSTANTIATE_TEST_SUITE_P(
    Formats, EveryReader,
    ::testing::Values(FormatCase{"Biff8", B8, WorkbookKind::Biff, [] { return WriteBiff(0x0600); }},
                      FormatCase{"Biff5", B5, WorkbookKind::Biff, [] { return WriteBiff(0x0500); }},
                      FormatCase{"Biff2", B2, WorkbookKind::OldBiff, [] { return OldBiffProbeSheet(2); }},
                      FormatCase{"Biff3", B3, WorkbookKind::OldBiff, [] { return OldBiffProbeSheet(3); }},
                      FormatCase{"Biff4", B4, WorkbookKind::OldBiff, [] { return OldBiffProbeSheet(4); }},
                      FormatCase{"Xlsx", Xlsx_, WorkbookKind::OpenXml, WriteXlsx},
                      FormatCase{"Xml2003", Xml, WorkbookKind::Xml2003, [] { return Of(WriteXml2003()); }},
                      FormatCase{"Csv", Csv, WorkbookKind::DelimitedText, [] { return Of(kCsv); }}),
    [](const ::testing::TestParamInfo<FormatCase>& p) { return std::string(p.param.name); });

// Texts: delimiters, quoting and encodings; then files missing, junk, and
// texts past the grid's limits.
TEST(ExcelLoaderText, DelimitersQuotingEncodingsJunkAndGridLimits)
{
    const struct {
        std::string text;
        std::uint32_t row, col;
        const char16_t* shown;
    } cases[] = {
        {"Name\tAmount\r\nSmith, John\t3.25\r\n", 1, 0, u"Smith, John"},
        {"a;b;c,d\n1;2;x,y\n", 1, 2, u"x,y"},
        {"a;b,c\n", 0, 1, u"c"},  // as many semicolons as commas: commas win
        {"\"Smith, John\",4711,\"said \"\"hello\"\"\"\n", 0, 2, u"said \"hello\""},
        {"\"007\",\"two\nlines\"\r\nlast", 0, 0, u"007"},  // a quoted number stays text
        {"\"007\",\"two\nlines\"\r\nlast", 0, 1, u"two\nlines"},
        {"\"007\",\"two\nlines\"\r\nlast", 1, 0, u"last"},
        {"Gr\xFC\xDF,x\n", 0, 0, u"Grüß"},              // Windows-1252
        {"caf\xC0\xA9,x\n", 0, 0, u"caf\u00C0\u00A9"},  // an overlong form is no UTF-8: Windows-1252
        {std::string("\xFF\xFE\x61\0,\0\xE4\0", 8), 0, 1, u"ä"},
    };
    for (const auto& c : cases) EXPECT_EQ(Shown(LoadOk(c.text), 0, c.row, c.col), c.shown) << c.text;

    Workbook book;
    ReadError error;
    EXPECT_FALSE(LoadWorkbook(ExcelData("does-not-exist.xls"), book, error));
    EXPECT_EQ(error.kind, ReadErrorKind::Unreadable) << error;
    EXPECT_EQ(DetectWorkbookKind(View(std::string("\x01\x02\x00\x03junk", 8))), WorkbookKind::Unknown);
    // One NUL among plain text is enough: text has none.
    EXPECT_EQ(DetectWorkbookKind(View(std::string("name,value\0one,two,three,four,five", 34))), WorkbookKind::Unknown);
    EXPECT_EQ(Refusal(std::string("\x00\x01\x02\x03\x04\x05", 6)), ReadErrorKind::NotThisFormat);
    // A text with more rows than the cap allows is refused, not cut short.
    WorkbookLimits limits;
    limits.maxCells = 10;
    std::string rows;
    for (int i = 0; i < 20; ++i) rows += "x\n";
    EXPECT_EQ(Refusal(rows, limits), ReadErrorKind::TooLarge);
}
