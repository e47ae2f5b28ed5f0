// One workbook written in every format the built-in Excel opens (BIFF8,
// BIFF5, Excel 2 to 4, .xlsx, XML Spreadsheet 2003, delimited text) and
// opened by content through the loader: every reader must show each cell
// its format can hold as Excel shows it (web pages have htmlworkbook_test).
// Also what only the text formats have: delimiters, quoting, encodings, and
// refusing junk.
#include "office/excel/xlstextreader.h"
#include "support/excelbooks.h"

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

// The sheet in each format, written once by this folder's record, package
// and text writers and kept in tests/data/excel as probe*: sheet "Data"
// above and a hidden sheet whose A1 reads "hidden value" where the format
// has sheets; formulas =40+2 and =40&2 in C2 and D2 where it has formulas.
struct FormatCase {
    const char* name;
    unsigned format;
    WorkbookKind kind;
    const char* file;
};

void PrintTo(const FormatCase& c, std::ostream* os) { *os << c.name; }

class EveryReader : public ::testing::TestWithParam<FormatCase> {};

}  // namespace

TEST_P(EveryReader, ShowsTheCellsItsFormatHolds)
{
    const FormatCase& c = GetParam();
    const Bytes file = FileBytes(ExcelData(c.file));
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
        EXPECT_EQ(book.sheets[0].name, kGivenName);
    }
    if ((c.format & (B8 | B5 | Xlsx_)) != 0) {
        EXPECT_EQ(FormulaOf(book, 0, 1, 2), u"=40+2");
        EXPECT_EQ(FormulaOf(book, 0, 1, 3), u"=40&2");
    }
}

INSTANTIATE_TEST_SUITE_P(Formats, EveryReader,
                         ::testing::Values(FormatCase{"Biff8", B8, WorkbookKind::Biff, "probe-biff8.xls"},
                                           FormatCase{"Biff5", B5, WorkbookKind::Biff, "probe-biff5.xls"},
                                           FormatCase{"Biff2", B2, WorkbookKind::OldBiff, "probe-biff2.xls"},
                                           FormatCase{"Biff3", B3, WorkbookKind::OldBiff, "probe-biff3.xls"},
                                           FormatCase{"Biff4", B4, WorkbookKind::OldBiff, "probe-biff4.xls"},
                                           FormatCase{"Xlsx", Xlsx_, WorkbookKind::OpenXml, "probe.xlsx"},
                                           FormatCase{"Xml2003", Xml, WorkbookKind::Xml2003, "probe-xml2003.xml"},
                                           FormatCase{"Csv", Csv, WorkbookKind::DelimitedText, "probe.csv"}),
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
