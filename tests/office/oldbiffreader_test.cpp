// The reader of Excel 2, 3 and 4 workbooks beyond the cells every reader
// shows (excelloader_test): code pages, the 1904 date system, Excel 4
// workbooks whose sheets follow a header in the globals, IXFE and MULRK,
// and damage: a stream cut at every byte, records that lie about their
// size, limits.
#include "office/excel/oldbiffreader.h"
#include "support/excelbooks.h"
#include "support/oldbifffixture.h"

#include <gtest/gtest.h>

using namespace office;
using namespace excelfixtures;

namespace {

// What the reader refused the bytes as, None if it read them. (Through the
// loader, a stream cut to a few bytes may read as text.)
ReadErrorKind ReaderRefusal(const Bytes& bytes)
{
    Workbook book;
    ReadError error;
    return OldBiffReader().Read(ByteView(bytes.data(), bytes.size()), u"Sheet1", book, error) ? ReadErrorKind::None
                                                                                              : error.kind;
}

// An Excel 4 workbook (tests/data/excel/excel4-workbook.xlw): sheet
// "Cells" holds excelloader_test's probe sheet; then a chart sheet, and
// sheet "Other" whose own formats make XF 1 a plain number: 45352 in A1,
// "zebra on the last sheet" in A2.
Bytes Workbook4()
{
    return FileBytes(ExcelData("excel4-workbook.xlw"));
}

}  // namespace

class OldBiffVersions : public ::testing::TestWithParam<int> {};

TEST_P(OldBiffVersions, CodePagesDate1904AndUnknownFormats)
{
    const struct {
        unsigned codePage;  // 0: no CODEPAGE record
        std::string bytes;
        std::u16string text;
    } cases[] = {
        {0, "\x93quoted\x94", u"\u201Cquoted\u201D"}, {1251, "\xCF\xF0\xE8\xE2\xE5\xF2", u"Привет"},
        {0x8000, "Caf\x8E", u"Café"},                  {0x8001, "na\xEFve", u"naïve"},
        {437, "\x81" "ber", u"über"},
    };
    for (const auto& c : cases) {
        const Workbook book = LoadOk(OneSheet(GetParam(), [&](OldBiffWriter& w) {
            if (c.codePage != 0) w.CodePage(c.codePage);
            w.Label(0, 0, c.bytes);
            w.Formula(0, 1, OldBiffWriter::TaggedResult(0));
            w.String(c.bytes);
        }));
        EXPECT_EQ(Shown(book, 0, 0, 0), c.text) << c.codePage;
        EXPECT_EQ(Shown(book, 0, 0, 1), c.text) << c.codePage;
    }
    const Workbook book = LoadOk(OneSheet(GetParam(), [](OldBiffWriter& w) {
        w.DateMode1904();
        for (const char* code : {"General", "m/d/yy"}) w.Format(code);
        for (unsigned format : {0u, 1u}) w.Xf(format);
        w.Number(0, 0, 0, 1, 1);
        w.Number(0, 1, 45352, 40);  // an XF that does not exist
    }));
    EXPECT_EQ(Shown(book, 0, 0, 0), u"1/1/1904");
    EXPECT_EQ(Shown(book, 0, 0, 1), u"45352");
}

// Streams refused, each for its reason: cut at any byte, records that lie
// about their size, limits, a password, a workspace of Excel 3, substreams
// nested deeper than any chart nests, and a stream of a later version.
// (Random bytes changed are the fuzz target xls_fuzz's, run under the
// sanitizers.)
TEST_P(OldBiffVersions, RefusedStreams)
{
    const int v = GetParam();
    const Bytes whole = FileBytes(ExcelData("probe-biff" + std::to_string(v) + ".xls"));
    ASSERT_FALSE(whole.empty());
    for (auto end = whole.begin(); end != whole.end(); ++end)
        EXPECT_NE(ReaderRefusal(Bytes(whole.begin(), end)), ReadErrorKind::None);
    Bytes oversized = whole;
    oversized.resize(oversized.size() - 4);  // the EOF gives way to a record past the end
    const Bytes past = {0x04, static_cast<std::uint8_t>(v == 2 ? 0 : 2), 0xFF, 0xFF};
    oversized.insert(oversized.end(), past.begin(), past.end());
    auto cell = [v](bool label) {
        return OneSheet(v, [v, label](OldBiffWriter& w) {
            Bytes b = w.Cell(0, 0, 0);
            if (label) {
                OldBiffWriter::PutBytes(b, "short", v == 2 ? 1 : 2);
                b[b.size() - 6] = 200;  // a count past the record
            } else {
                b.resize(b.size() + 4, 0);  // too short for its number
            }
            w.Record(label ? (v == 2 ? 0x0004 : 0x0204) : (v == 2 ? 0x0003 : 0x0203), b);
        });
    };
    for (const bool label : {false, true}) EXPECT_EQ(Refusal(cell(label)), ReadErrorKind::Damaged);
    EXPECT_EQ(Refusal(oversized), ReadErrorKind::Damaged);
    EXPECT_EQ(Refusal(whole, {.maxCells = 3}), ReadErrorKind::TooLarge);
    EXPECT_EQ(Refusal(whole, {.maxTextUnits = 12}), ReadErrorKind::TooLarge);
    const Bytes locked = OneSheet(v, [](OldBiffWriter& w) {
        w.Record(0x002F, Bytes(4, 0));
        w.Label(0, 0, "hidden behind a password");
    });
    EXPECT_EQ(Refusal(locked), ReadErrorKind::Encrypted);
    EXPECT_EQ(Refusal(OneSheet(3, {}, 0x0100)), ReadErrorKind::NotThisFormat);
    const Bytes deep = OneSheet(4, [](OldBiffWriter& w) {
        for (int i = 0; i < 20; ++i) w.Bof(0x0020);
        for (int i = 0; i < 20; ++i) w.Eof();
    });
    EXPECT_EQ(Refusal(deep), ReadErrorKind::Damaged);
    const Bytes newer = {0x09, 0x08, 0x10, 0x00, 0, 6, 0x10, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
    EXPECT_FALSE(OldBiffReader::IsOldBiff(ByteView(newer.data(), newer.size())));
    EXPECT_EQ(Refusal(newer), ReadErrorKind::NotThisFormat);
    // Chart and macro files hold no worksheet.
    auto chart = [](OldBiffWriter& w) { w.Label(0, 0, "not a worksheet cell"); };
    for (unsigned kind : {0x0020u, 0x0040u}) EXPECT_TRUE(LoadOk(OneSheet(v, chart, kind)).sheets.empty());
}

INSTANTIATE_TEST_SUITE_P(Excel2To4, OldBiffVersions, ::testing::Values(2, 3, 4),
                         [](const ::testing::TestParamInfo<int>& p) { return "Biff" + std::to_string(p.param); });

TEST(OldBiffWorkbook, SheetsFollowTheirHeadersOrTheGlobals)
{
    const Workbook book = LoadOk(Workbook4());
    ASSERT_EQ(book.sheets.size(), 2u);  // the chart sheet is no worksheet
    EXPECT_EQ(book.sheets[0].name, u"Cells");
    EXPECT_EQ(book.sheets[1].name, u"Other");
    EXPECT_EQ(Shown(book, 0, 0, 3), u"3/1/2024");
    EXPECT_EQ(Shown(book, 1, 0, 0), u"45352");  // its own XF 1 is "0.00"
    EXPECT_EQ(Shown(book, 1, 1, 0), u"zebra on the last sheet");
    WorkbookLimits limits;
    limits.maxSheets = 2;  // the listed names count
    EXPECT_EQ(Refusal(Workbook4(), limits), ReadErrorKind::TooLarge);

    // Sheets may also follow the globals without headers; one missing is
    // damage.
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
    padded.resize(padded.size() + 100, 0);  // padding after the last EOF
    const Workbook late = LoadOk(padded);
    ASSERT_EQ(late.sheets.size(), 2u);
    EXPECT_EQ(late.sheets[0].name, u"Late");
    EXPECT_EQ(Shown(late, 1, 0, 0), u"second");
    EXPECT_EQ(Refusal(Bytes(w.Data().begin(), w.Data().begin() + static_cast<std::ptrdiff_t>(oneSheet))),
              ReadErrorKind::Damaged);
}

TEST(OldBiffStructure, IxfeRkMulRkAndStringResults)
{
    // Excel 2 cells hold 6 bits of XF index; 63 sends the reader to the
    // IXFE record before the cell. Without XF records the attributes' copy
    // of the format index serves.
    Workbook book = LoadOk(OneSheet(2, [](OldBiffWriter& w) {
        for (const char* code : {"General", "0.00", "m/d/yy"}) w.Format(code);
        for (unsigned i = 0; i < 70; ++i) w.Xf(i == 66 ? 2 : 0);
        w.Ixfe(66);
        w.Number(0, 0, 45352, 63);
        w.Number(0, 1, 45352, 63);  // the IXFE served the cell before only
    }));
    EXPECT_EQ(Shown(book, 0, 0, 0), u"3/1/2024");
    EXPECT_EQ(Shown(book, 0, 0, 1), u"45352");
    const Bytes bare = OneSheet(2, [](OldBiffWriter& w) {
        for (const char* code : {"General", "0.00", "m/d/yy"}) w.Format(code);
        w.Number(0, 0, 45352, 5, 2);
    });
    EXPECT_EQ(Shown(LoadOk(bare), 0, 0, 0), u"3/1/2024");

    for (int version : {3, 4}) {
        book = LoadOk(OneSheet(version, [](OldBiffWriter& r) {
            Bytes rk = r.Cell(0, 0, 0);
            Put32(rk, (1234u << 2) | 3u);  // an integer divided by 100
            r.Record(0x027E, rk);
            Bytes mul = {1, 0, 2, 0};
            for (unsigned v : {7u, 8u, 9u}) {
                Put16(mul, 0);
                Put32(mul, (v << 2) | 2u);
            }
            Put16(mul, 4);
            r.Record(0x00BD, mul);
            // A STRING fills the formula before it even past an ARRAY
            // record; one after another cell fills nothing and is not kept.
            r.Formula(2, 0, OldBiffWriter::TaggedResult(0));
            r.Record(0x0221, Bytes(12, 0));
            r.String("after the array");
            r.Formula(3, 0, OldBiffWriter::TaggedResult(0));
            r.Label(3, 1, "a cell between");
            r.String("stray string");
        }));
        for (const auto& [row, col, text] : {std::tuple{0u, 0u, u"12.34"}, {1u, 2u, u"7"}, {1u, 4u, u"9"},
                                             {2u, 0u, u"after the array"}, {3u, 0u, u""}})
            EXPECT_EQ(Shown(book, 0, row, col), text) << version << ":" << row << "," << col;
        for (std::uint32_t i = 0; i < book.TextCount(); ++i) EXPECT_NE(book.Text(i), u"stray string");
    }
}
