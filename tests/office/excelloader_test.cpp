// Opening workbooks by content: an ".xls" holding an HTML table, an XML
// Spreadsheet 2003 or delimited text opens as Excel opens it, and binary
// junk is refused whatever its name.
#include "office/excel/workbookloader.h"
#include "office/excel/xlstextreader.h"

#include <gtest/gtest.h>

using namespace office;

namespace {

std::string Data(const char* name) { return std::string(VARNEL_TEST_DATA) + "/excel/" + name; }

std::u16string Shown(const Workbook& book, std::size_t sheet, std::uint32_t row, std::uint32_t col)
{
    for (const auto& c : book.sheets.at(sheet).cells)
        if (c.row == row && c.column == col) return book.Text(c.shown);
    return u"<none>";
}

Workbook Load(const std::string& path)
{
    Workbook book;
    std::string error;
    EXPECT_TRUE(LoadWorkbook(path, book, error)) << path << ": " << error;
    return book;
}

Workbook LoadText(std::string_view text)
{
    Workbook book;
    std::string error;
    EXPECT_TRUE(LoadWorkbookBytes(ByteView(reinterpret_cast<const std::uint8_t*>(text.data()), text.size()), u"S",
                                  book, error))
        << error;
    return book;
}

}  // namespace

TEST(ExcelLoaderDetect, KindsByContentNotName)
{
    auto kind = [](std::string_view s) {
        return DetectWorkbookKind(ByteView(reinterpret_cast<const std::uint8_t*>(s.data()), s.size()));
    };
    EXPECT_EQ(kind("\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1rest"), WorkbookKind::Biff);
    EXPECT_EQ(kind("PK\x03\x04rest"), WorkbookKind::OpenXml);
    EXPECT_EQ(kind("  <html><table>"), WorkbookKind::Html);
    EXPECT_EQ(kind("\xEF\xBB\xBF<TABLE><TR><TD>x"), WorkbookKind::Html);
    EXPECT_EQ(kind("<?xml version=\"1.0\"?><Workbook xmlns=\"urn:schemas-microsoft-com:office:spreadsheet\">"),
              WorkbookKind::Xml2003);
    EXPECT_EQ(kind(std::string_view("\x09\x00\x04\x00\x00\x00\x10\x00", 8)), WorkbookKind::OldBiff);
    EXPECT_EQ(kind(std::string_view("\x09\x04\x06\x00\x00\x00\x00\x01\xF2\x15", 10)), WorkbookKind::OldBiff);
    EXPECT_EQ(kind("a,b\n1,2\n"), WorkbookKind::DelimitedText);
    EXPECT_EQ(kind(std::string_view("\x01\x02\x00\x03junk", 8)), WorkbookKind::Unknown);
}

TEST(ExcelLoaderText, HtmlTable)
{
    const Workbook book = Load(Data("html-table.xls"));
    ASSERT_EQ(book.sheets.size(), 1u);
    EXPECT_EQ(book.sheets[0].name, u"html-table");
    EXPECT_EQ(Shown(book, 0, 0, 0), u"Article");
    EXPECT_EQ(Shown(book, 0, 1, 0), u"Garden & hose");
    EXPECT_EQ(Shown(book, 0, 1, 1), u"12.5");  // typed in as a number
    EXPECT_EQ(Shown(book, 0, 2, 0), u"Wide Übersicht cell");
    EXPECT_EQ(Shown(book, 0, 3, 1), u"4711");  // after a colspan of 2
    const Workbook noTable = LoadText("<html><body><p>first line</p>\n<p>second</p></body></html>");
    EXPECT_EQ(Shown(noTable, 0, 0, 0), u"first line");
}

TEST(ExcelLoaderText, XmlSpreadsheet2003)
{
    const Workbook book = Load(Data("xml2003.xls"));
    ASSERT_EQ(book.sheets.size(), 3u);
    EXPECT_EQ(book.sheets[0].name, u"First");
    EXPECT_EQ(book.sheets[1].visibility, SheetVisibility::VeryHidden);
    EXPECT_EQ(book.sheets[2].visibility, SheetVisibility::Visible);
    EXPECT_EQ(Shown(book, 0, 0, 1), u"4711");
    EXPECT_EQ(Shown(book, 0, 2, 1), u"3/1/2024");
    EXPECT_EQ(Shown(book, 0, 2, 2), u"computed text");
    EXPECT_EQ(Shown(book, 0, 2, 3), u"TRUE");
    EXPECT_EQ(Shown(book, 0, 3, 0), u"Bold and plain");
    EXPECT_EQ(Shown(book, 1, 0, 0), u"very hidden treasure");
    const Workbook empty = Load(Data("no-worksheets.xls"));
    EXPECT_TRUE(empty.sheets.empty());
}

TEST(ExcelLoaderText, DelimitedText)
{
    const Workbook tabbed = Load(Data("tabbed.xls"));
    EXPECT_EQ(Shown(tabbed, 0, 1, 1), u"12.5");
    EXPECT_EQ(Shown(tabbed, 0, 2, 1), u"1E+20");
    EXPECT_EQ(Shown(tabbed, 0, 2, 2), u"TRUE");
    const Workbook comma = Load(Data("comma.xls"));
    EXPECT_EQ(Shown(comma, 0, 1, 0), u"Smith, John");
    EXPECT_EQ(Shown(comma, 0, 1, 2), u"said \"hello\"");
    EXPECT_EQ(Shown(comma, 0, 2, 1), u"3.25");
    EXPECT_EQ(XlsTextReader::SniffDelimiter(u"a;b;c,d\n"), u';');
    EXPECT_EQ(XlsTextReader::SniffDelimiter(u"\"x;y;z\",b\n"), u',');
    EXPECT_EQ(XlsTextReader::SniffDelimiter(u"a,b\tc"), u'\t');
    // A quoted number stays text; a quoted field may hold line breaks.
    const Workbook quoted = LoadText("\"007\",\"two\nlines\"\r\nlast");
    EXPECT_EQ(Shown(quoted, 0, 0, 0), u"007");
    EXPECT_EQ(Shown(quoted, 0, 0, 1), u"two\nlines");
    EXPECT_EQ(Shown(quoted, 0, 1, 0), u"last");
}

TEST(ExcelLoaderText, EncodingsAreRecognised)
{
    EXPECT_EQ(XlsTextReader::DecodeText("\xEF\xBB\xBF\xC3\xA4"), u"ä");
    EXPECT_EQ(XlsTextReader::DecodeText(std::string_view("\xFF\xFE\xE4\x00", 4)), u"ä");
    EXPECT_EQ(XlsTextReader::DecodeText("Gr\xFC\xDF"), u"Grüß");  // Windows-1252
    // Only strict UTF-8 is UTF-8: an overlong form makes the text Windows-1252.
    EXPECT_EQ(XlsTextReader::DecodeText("caf\xC0\xA9"), u"caf\u00C0\u00A9");
}

TEST(ExcelLoaderFiles, MissingJunkAndGridLimits)
{
    Workbook book;
    std::string error;
    EXPECT_FALSE(LoadWorkbook(Data("does-not-exist.xls"), book, error));
    const std::string junk("\x00\x01\x02\x03\x04\x05", 6);
    EXPECT_FALSE(LoadWorkbookBytes(ByteView(reinterpret_cast<const std::uint8_t*>(junk.data()), junk.size()), u"S",
                                   book, error));
    EXPECT_EQ(error, "not a workbook");
    // A text with more rows than a sheet holds is refused, not truncated
    // silently.
    WorkbookLimits limits;
    limits.maxCells = 10;
    std::string rows;
    for (int i = 0; i < 20; ++i) rows += "x\n";
    EXPECT_FALSE(LoadWorkbookBytes(ByteView(reinterpret_cast<const std::uint8_t*>(rows.data()), rows.size()), u"S",
                                   book, error, limits));
    EXPECT_EQ(error, "too many cells");
}
