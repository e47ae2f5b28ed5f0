// The reader of Excel 2, 3 and 4 workbooks, on streams built record by
// record: every kind of cell in each version and in an Excel 4 workbook,
// number formats that make dates, code pages, the sheets of a workbook,
// and damage: a stream cut at every byte, every byte changed, records that
// lie about their size, limits.
#include "office/excel/oldbiffreader.h"
#include "office/excel/workbookloader.h"
#include "support/oldbifffixture.h"

#include <gtest/gtest.h>

#include <functional>

using namespace office;
using namespace excelfixtures;

namespace {

std::u16string Shown(const Workbook& book, std::size_t sheet, std::uint32_t row, std::uint32_t col)
{
    for (const auto& c : book.sheets.at(sheet).cells)
        if (c.row == row && c.column == col) return book.Text(c.shown);
    return u"<none>";
}

bool Read(const Bytes& bytes, Workbook& book, std::string& error, const WorkbookLimits& limits = {})
{
    return OldBiffReader(limits).Read(ByteView(bytes.data(), bytes.size()), u"Report 1987", book, error);
}

Workbook ReadOk(const Bytes& bytes)
{
    Workbook book;
    std::string error;
    EXPECT_TRUE(Read(bytes, book, error)) << error;
    return book;
}

std::string ReadError(const Bytes& bytes, const WorkbookLimits& limits = {})
{
    Workbook book;
    std::string error;
    EXPECT_FALSE(Read(bytes, book, error, limits));
    EXPECT_FALSE(error.empty());
    return error;
}

// Formats 0 General, 1 "0.00", 2 a date, 3 a time; XF n uses format
// kXfFormat[n].
constexpr unsigned kXfFormat[] = {0, 2, 1, 3};

void WriteFormats(OldBiffWriter& w)
{
    for (const char* code : {"General", "0.00", "m/d/yy", "h:mm:ss"}) w.Format(code);
    for (unsigned format : kXfFormat) w.Xf(format);
}

// One cell of every kind, in the layout of the writer's version.
void WriteCells(OldBiffWriter& w)
{
    w.Label(0, 0, "Alpha beta");
    w.Integer(0, 1, 4711);
    w.Number(0, 2, 12.5);
    w.Number(0, 3, 45352, 1, kXfFormat[1]);
    w.BoolErr(1, 0, 1, false);
    w.BoolErr(1, 1, 0x07, true);
    w.Formula(1, 2, OldBiffWriter::NumberResult(42));
    w.Formula(1, 3, OldBiffWriter::TaggedResult(0));
    w.String("computed text");
    w.Formula(2, 0, OldBiffWriter::TaggedResult(1, 0));
    w.Formula(2, 1, OldBiffWriter::TaggedResult(2, 0x2A));
    w.Number(2, 2, 0.5, 3, kXfFormat[3]);
    w.Formula(2, 3, OldBiffWriter::NumberResult(45353), 1, kXfFormat[1]);
}

void ExpectCells(const Workbook& book, std::size_t sheet)
{
    EXPECT_EQ(Shown(book, sheet, 0, 0), u"Alpha beta");
    EXPECT_EQ(Shown(book, sheet, 0, 1), u"4711");
    EXPECT_EQ(Shown(book, sheet, 0, 2), u"12.5");
    EXPECT_EQ(Shown(book, sheet, 0, 3), u"3/1/2024");
    EXPECT_EQ(Shown(book, sheet, 1, 0), u"TRUE");
    EXPECT_EQ(Shown(book, sheet, 1, 1), u"#DIV/0!");
    EXPECT_EQ(Shown(book, sheet, 1, 2), u"42");
    EXPECT_EQ(Shown(book, sheet, 1, 3), u"computed text");
    EXPECT_EQ(Shown(book, sheet, 2, 0), u"FALSE");
    EXPECT_EQ(Shown(book, sheet, 2, 1), u"#N/A");
    EXPECT_EQ(Shown(book, sheet, 2, 2), u"12:00:00 PM");
    EXPECT_EQ(Shown(book, sheet, 2, 3), u"3/2/2024");
    EXPECT_EQ(book.sheets.at(sheet).cells.size(), 12u);
}

// A worksheet file of one version.
Bytes Worksheet(int version, const std::function<void(OldBiffWriter&)>& extra = {})
{
    OldBiffWriter w(version);
    w.Bof(0x0010);
    WriteFormats(w);
    WriteCells(w);
    if (extra) extra(w);
    w.Eof();
    return w.Data();
}

// An Excel 4 workbook: sheet "Cells" with every kind of cell, a chart
// sheet, and sheet "Other" whose own formats make XF 1 a plain number.
// Each sheet follows its header inside the globals.
Bytes Workbook4()
{
    OldBiffWriter w(4);
    w.Bof(0x0100);
    w.CodePage(1252);
    for (const char* name : {"Cells", "Chart1", "Other"}) w.BoundSheet(name);
    std::size_t at = w.SheetHeader("Cells");
    w.Bof(0x0010);
    WriteFormats(w);
    WriteCells(w);
    // A chart embedded in the sheet holds no cells of the sheet.
    w.Bof(0x0020);
    w.Label(9, 9, "inside the chart");
    w.Eof();
    w.Eof();
    w.PatchSheetLength(at);
    at = w.SheetHeader("Chart1");
    w.Bof(0x0020);
    w.Label(0, 0, "chart sheet text");
    w.Eof();
    w.PatchSheetLength(at);
    at = w.SheetHeader("Other");
    w.Bof(0x0010);
    w.Format("General");
    w.Format("0.00");
    w.Xf(0);
    w.Xf(1);
    w.Number(0, 0, 45352, 1);
    w.Label(1, 0, "zebra on the last sheet");
    w.Eof();
    w.PatchSheetLength(at);
    w.Eof();
    return w.Data();
}

}  // namespace

class OldBiffVersions : public ::testing::TestWithParam<int> {};

TEST_P(OldBiffVersions, EveryKindOfCell)
{
    const Workbook book = ReadOk(Worksheet(GetParam()));
    ASSERT_EQ(book.sheets.size(), 1u);
    // A worksheet file names no sheet; it takes the name it was given.
    EXPECT_EQ(book.sheets[0].name, u"Report 1987");
    ExpectCells(book, 0);
    EXPECT_TRUE(book.sheets[0].cells[6].isFormula);  // row 1, column 2
}

TEST_P(OldBiffVersions, CodePages)
{
    struct Case {
        unsigned codePage;  // 0: no CODEPAGE record
        std::string bytes;
        std::u16string text;
    };
    const Case cases[] = {
        {0, "\x93quoted\x94", u"\u201Cquoted\u201D"},        // Windows ANSI without a record
        {1251, "\xCF\xF0\xE8\xE2\xE5\xF2", u"Привет"},       // Cyrillic
        {0x8000, "Caf\x8E", u"Café"},                         // Macintosh
        {0x8001, "na\xEFve", u"naïve"},                       // BIFF's own ANSI number
        {437, "\x81" "ber", u"über"},                        // DOS
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.codePage);
        OldBiffWriter w(GetParam());
        w.Bof(0x0010);
        if (c.codePage != 0) w.CodePage(c.codePage);
        w.Label(0, 0, c.bytes);
        w.Formula(0, 1, OldBiffWriter::TaggedResult(0));
        w.String(c.bytes);
        w.Eof();
        const Workbook book = ReadOk(w.Data());
        EXPECT_EQ(Shown(book, 0, 0, 0), c.text);
        EXPECT_EQ(Shown(book, 0, 0, 1), c.text);
    }
}

TEST_P(OldBiffVersions, Date1904AndUnknownFormatsAreGeneral)
{
    const Workbook book = ReadOk(Worksheet(GetParam(), [](OldBiffWriter& w) {
        w.Number(5, 0, 45352, 40);  // an XF that does not exist
    }));
    EXPECT_EQ(Shown(book, 0, 5, 0), u"45352");

    OldBiffWriter w(GetParam());
    w.Bof(0x0010);
    w.DateMode1904();
    WriteFormats(w);
    w.Number(0, 0, 0, 1, kXfFormat[1]);
    w.Eof();
    EXPECT_EQ(Shown(ReadOk(w.Data()), 0, 0, 0), u"1/1/1904");
}

TEST_P(OldBiffVersions, CutAtEveryByteIsAnError)
{
    const Bytes whole = Worksheet(GetParam());
    ReadOk(whole);
    for (std::size_t cut = 0; cut < whole.size(); ++cut) {
        SCOPED_TRACE(cut);
        ReadError(Bytes(whole.begin(), whole.begin() + static_cast<std::ptrdiff_t>(cut)));
    }
}

TEST_P(OldBiffVersions, EveryByteChangedNeverCrashes)
{
    // Each byte in turn is replaced by values that make sizes, counts and
    // types extreme; whatever is read stays within the stream.
    const Bytes whole = Worksheet(GetParam());
    WorkbookLimits limits;
    limits.maxCells = 64;
    std::size_t failures = 0;
    for (std::size_t i = 0; i < whole.size(); ++i) {
        for (std::uint8_t value : {std::uint8_t{0x00}, std::uint8_t{0xFF}, static_cast<std::uint8_t>(whole[i] ^ 0x80)}) {
            Bytes bytes = whole;
            bytes[i] = value;
            Workbook book;
            std::string error;
            if (!Read(bytes, book, error, limits)) {
                EXPECT_FALSE(error.empty());
                ++failures;
                continue;
            }
            EXPECT_LE(book.CellCount(), 64u);
        }
    }
    EXPECT_GT(failures, 0u);
}

TEST_P(OldBiffVersions, RecordsThatLieAboutTheirSize)
{
    // A size past the end of the stream.
    Bytes oversized = Worksheet(GetParam());
    oversized.resize(oversized.size() - 4);  // drop the EOF
    OldBiffWriter tail(GetParam());
    tail.Record(GetParam() == 2 ? 0x0004 : 0x0204, Bytes(10, 'x'));
    tail.Data()[2] = 0xFF;
    tail.Data()[3] = 0xFF;
    oversized.insert(oversized.end(), tail.Data().begin(), tail.Data().end());
    EXPECT_NE(ReadError(oversized).find("runs past its end"), std::string::npos);

    // A number record too short for its value.
    OldBiffWriter w(GetParam());
    w.Bof(0x0010);
    Bytes cell = w.Cell(0, 0, 0);
    cell.resize(cell.size() + 4, 0);
    w.Record(GetParam() == 2 ? 0x0003 : 0x0203, cell);
    w.Eof();
    EXPECT_NE(ReadError(w.Data()).find("too short"), std::string::npos);

    // A label whose count runs past its record.
    OldBiffWriter l(GetParam());
    l.Bof(0x0010);
    Bytes label = l.Cell(0, 0, 0);
    OldBiffWriter::PutBytes(label, "short", GetParam() == 2 ? 1 : 2);
    label[label.size() - 6] = 200;
    l.Record(GetParam() == 2 ? 0x0004 : 0x0204, label);
    l.Eof();
    EXPECT_NE(ReadError(l.Data()).find("too short"), std::string::npos);
}

TEST_P(OldBiffVersions, LimitsAndProtection)
{
    WorkbookLimits cells;
    cells.maxCells = 5;
    EXPECT_EQ(ReadError(Worksheet(GetParam()), cells), "too many cells");
    WorkbookLimits text;
    text.maxTextUnits = 12;
    EXPECT_EQ(ReadError(Worksheet(GetParam()), text), "too much text");

    OldBiffWriter w(GetParam());
    w.Bof(0x0010);
    w.Record(0x002F, Bytes(4, 0));
    w.Label(0, 0, "hidden behind a password");
    w.Eof();
    EXPECT_EQ(ReadError(w.Data()), "protected by a password");
}

TEST_P(OldBiffVersions, OpensByContentThroughTheLoader)
{
    const Bytes bytes = Worksheet(GetParam());
    const ByteView view(bytes.data(), bytes.size());
    EXPECT_EQ(DetectWorkbookKind(view), WorkbookKind::OldBiff);
    Workbook book;
    std::string error;
    ASSERT_TRUE(LoadWorkbookBytes(view, u"q3 figures", book, error)) << error;
    ASSERT_EQ(book.sheets.size(), 1u);
    EXPECT_EQ(book.sheets[0].name, u"q3 figures");
    ExpectCells(book, 0);
}

TEST_P(OldBiffVersions, ChartAndMacroFilesHoldNoWorksheet)
{
    for (unsigned kind : {0x0020u, 0x0040u}) {
        OldBiffWriter w(GetParam());
        w.Bof(kind);
        w.Label(0, 0, "not a worksheet cell");
        w.Eof();
        EXPECT_TRUE(ReadOk(w.Data()).sheets.empty());
    }
}

INSTANTIATE_TEST_SUITE_P(Excel2To4, OldBiffVersions, ::testing::Values(2, 3, 4),
                         [](const ::testing::TestParamInfo<int>& p) { return "Biff" + std::to_string(p.param); });

TEST(OldBiffWorkbook, SheetsFollowTheirHeaders)
{
    const Workbook book = ReadOk(Workbook4());
    ASSERT_EQ(book.sheets.size(), 2u);  // the chart sheet is no worksheet
    EXPECT_EQ(book.sheets[0].name, u"Cells");
    EXPECT_EQ(book.sheets[1].name, u"Other");
    ExpectCells(book, 0);
    // The second sheet's own formats: its XF 1 is "0.00", no date.
    EXPECT_EQ(Shown(book, 1, 0, 0), u"45352");
    EXPECT_EQ(Shown(book, 1, 1, 0), u"zebra on the last sheet");
    EXPECT_EQ(book.sheets[1].cells.size(), 2u);
}

TEST(OldBiffWorkbook, SheetLimitCountsTheListedNames)
{
    WorkbookLimits limits;
    limits.maxSheets = 2;
    EXPECT_EQ(ReadError(Workbook4(), limits), "too many sheets");
    limits.maxSheets = 3;
    Workbook book;
    std::string error;
    EXPECT_TRUE(Read(Workbook4(), book, error, limits)) << error;
}

TEST(OldBiffWorkbook, CutAtEveryByteIsAnError)
{
    const Bytes whole = Workbook4();
    for (std::size_t cut = 0; cut < whole.size(); ++cut) {
        SCOPED_TRACE(cut);
        ReadError(Bytes(whole.begin(), whole.begin() + static_cast<std::ptrdiff_t>(cut)));
    }
}

TEST(OldBiffWorkbook, SheetsAfterTheGlobalsAndMissingSheets)
{
    // Sheets written after the globals' EOF read alike; padding after the
    // last EOF is ignored.
    OldBiffWriter w(4);
    w.Bof(0x0100);
    w.BoundSheet("Late");
    w.BoundSheet("Later");
    w.Eof();
    w.Bof(0x0010);
    w.Label(0, 0, "first");
    w.Eof();
    const std::size_t oneSheet = w.Size();
    w.Bof(0x0010);
    w.Label(0, 0, "second");
    w.Eof();
    Bytes padded = w.Data();
    padded.resize(padded.size() + 100, 0);
    const Workbook book = ReadOk(padded);
    ASSERT_EQ(book.sheets.size(), 2u);
    EXPECT_EQ(book.sheets[0].name, u"Late");  // named by the list: no headers here
    EXPECT_EQ(Shown(book, 1, 0, 0), u"second");

    // Cut after the first sheet: the list names two.
    const Bytes cut(w.Data().begin(), w.Data().begin() + static_cast<std::ptrdiff_t>(oneSheet));
    EXPECT_NE(ReadError(cut).find("2 sheets listed, 1 found"), std::string::npos);
}

TEST(OldBiffStructure, Ixfe)
{
    // Excel 2 cells hold 6 bits of XF index; 63 sends the reader to the
    // IXFE record before the cell. Without XF records the attributes' own
    // copy of the format index serves.
    OldBiffWriter w(2);
    w.Bof(0x0010);
    for (const char* code : {"General", "0.00", "m/d/yy"}) w.Format(code);
    for (unsigned i = 0; i < 70; ++i) w.Xf(i == 66 ? 2 : 0);
    w.Ixfe(66);
    w.Number(0, 0, 45352, 63);
    w.Number(0, 1, 45352, 63);  // the IXFE served the cell before only
    w.Eof();
    const Workbook book = ReadOk(w.Data());
    EXPECT_EQ(Shown(book, 0, 0, 0), u"3/1/2024");
    EXPECT_EQ(Shown(book, 0, 0, 1), u"45352");

    OldBiffWriter bare(2);
    bare.Bof(0x0010);
    for (const char* code : {"General", "0.00", "m/d/yy"}) bare.Format(code);
    bare.Number(0, 0, 45352, 5, 2);
    bare.Eof();
    EXPECT_EQ(Shown(ReadOk(bare.Data()), 0, 0, 0), u"3/1/2024");
}

TEST(OldBiffStructure, RkAndMulRk)
{
    for (int version : {3, 4}) {
        SCOPED_TRACE(version);
        OldBiffWriter w(version);
        w.Bof(0x0010);
        Bytes rk = w.Cell(0, 0, 0);
        Put32(rk, (1234u << 2) | 3u);  // an integer divided by 100
        w.Record(0x027E, rk);
        Bytes mul;
        Put16(mul, 1);
        Put16(mul, 2);
        for (unsigned v : {7u, 8u, 9u}) {
            Put16(mul, 0);
            Put32(mul, (v << 2) | 2u);
        }
        Put16(mul, 4);
        w.Record(0x00BD, mul);
        w.Eof();
        const Workbook book = ReadOk(w.Data());
        EXPECT_EQ(Shown(book, 0, 0, 0), u"12.34");
        EXPECT_EQ(Shown(book, 0, 1, 2), u"7");
        EXPECT_EQ(Shown(book, 0, 1, 4), u"9");
    }
}

TEST(OldBiffStructure, FormulaTextResultRules)
{
    // A STRING record fills the formula before it even past an ARRAY
    // record; one that follows another cell fills nothing, and a formula
    // without its STRING shows an empty text.
    OldBiffWriter w(3);
    w.Bof(0x0010);
    w.Formula(0, 0, OldBiffWriter::TaggedResult(0));
    w.Record(0x0221, Bytes(12, 0));
    w.String("after the array");
    w.Formula(1, 0, OldBiffWriter::TaggedResult(0));
    w.Label(1, 1, "a cell between");
    w.String("stray string");
    w.Eof();
    const Workbook book = ReadOk(w.Data());
    EXPECT_EQ(Shown(book, 0, 0, 0), u"after the array");
    EXPECT_EQ(Shown(book, 0, 1, 0), u"");
    EXPECT_EQ(Shown(book, 0, 1, 1), u"a cell between");
    EXPECT_EQ(book.TextCount(), 2u);  // the stray string is not kept
}

TEST(OldBiffStructure, RefusedStreams)
{
    // An Excel 3 workspace only links to other files.
    OldBiffWriter space(3);
    space.Bof(0x0100);
    space.Eof();
    EXPECT_NE(ReadError(space.Data()).find("workspace"), std::string::npos);

    // Substreams nested deeper than any chart nests.
    OldBiffWriter deep(4);
    deep.Bof(0x0010);
    for (int i = 0; i < 20; ++i) deep.Bof(0x0020);
    for (int i = 0; i < 21; ++i) deep.Eof();
    EXPECT_NE(ReadError(deep.Data()).find("nested"), std::string::npos);

    // Not an old BOF at all.
    EXPECT_FALSE(OldBiffReader::IsOldBiff(ByteView()));
    const Bytes newer = {0x09, 0x08, 0x10, 0x00, 0, 6, 0x10, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
    EXPECT_FALSE(OldBiffReader::IsOldBiff(ByteView(newer.data(), newer.size())));
    EXPECT_EQ(ReadError(newer), "not a workbook of Excel 2 to 4");
}
