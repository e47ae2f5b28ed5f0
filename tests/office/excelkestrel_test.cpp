// Kestrel's workbook search against the real built-in Excel: from
// OfficeFind::SearchExcel11 through automation to the workbook readers and
// Range.Find. Kestrel is linked as Varnel links it.
#include "kestrel/officefind.h"
#include "office/automation/excelapplication.h"
#include "platform/olethread.h"
#include "support/officecrypt.h"
#include "support/oldbifffixture.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>

namespace {

class ExcelKestrel : public ::testing::Test {
protected:
    void SetUp() override
    {
        CoInitialize(nullptr);
        office::RegisterExcelServer();
        m_live = CDispatchObject::LiveObjects();
        ASSERT_TRUE(m_excel.CreateDispatch("Excel.Application"));
    }
    void TearDown() override
    {
        m_excel.ReleaseDispatch();
        EXPECT_EQ(CDispatchObject::LiveObjects(), m_live);
        CoUninitialize();
    }

    int Search(const char* fixture, std::initializer_list<const char*> words, _FindedConditions c,
               _ResultFileInfo& info)
    {
        return SearchPath(std::string(VARNEL_TEST_DATA) + "/excel/" + fixture, words, c, info);
    }

    int SearchPath(const std::string& path, std::initializer_list<const char*> words, _FindedConditions c,
                   _ResultFileInfo& info)
    {
        std::memset(&info, 0, sizeof info);
        std::strncpy(info.szFilePath, path.c_str(), sizeof info.szFilePath - 1);
        CArray<_FindKeyWord, _FindKeyWord> keys;
        for (const char* w : words) {
            _FindKeyWord k{};
            std::strncpy(k.szKeyword, w, sizeof k.szKeyword - 1);
            keys.Add(k);
        }
        return m_find.SearchExcel11(info, keys, c, m_excel);
    }

    OfficeFind m_find;
    _Excel11 m_excel;
    long m_live = 0;
};

}  // namespace

TEST_F(ExcelKestrel, KeywordOnTwoSheetsCountsOnce)
{
    for (const char* fixture : {"book.xls", "book.xlsx"}) {
        SCOPED_TRACE(fixture);
        _ResultFileInfo info{};
        ASSERT_EQ(Search(fixture, {"zebra"}, _FindedConditions{}, info), 1);
        EXPECT_EQ(info.nKeywordFound[0], 1);
        EXPECT_EQ(info.nMatchDegree, 100);
    }
}

TEST_F(ExcelKestrel, TwoKeywordsOneFoundGiveDegree50)
{
    _ResultFileInfo info{};
    ASSERT_EQ(Search("book.xls", {"no such words", "zebra"}, _FindedConditions{}, info), 1);
    EXPECT_EQ(info.nKeywordFound[0], 0);
    EXPECT_EQ(info.nKeywordFound[1], 1);
    EXPECT_EQ(info.nMatchDegree, 50);
}

TEST_F(ExcelKestrel, HiddenSheetsAndMatchCase)
{
    _ResultFileInfo info{};
    ASSERT_EQ(Search("book.xlsx", {"secret hidden", "mixedcase"}, _FindedConditions{}, info), 1);
    EXPECT_EQ(info.nMatchDegree, 100);
    _FindedConditions exact{};
    exact.MatchCase = 1;
    ASSERT_EQ(Search("book.xlsx", {"secret hidden", "mixedcase"}, exact, info), 1);
    EXPECT_EQ(info.nKeywordFound[0], 1);
    EXPECT_EQ(info.nKeywordFound[1], 0);
    EXPECT_EQ(info.nMatchDegree, 50);
}

TEST_F(ExcelKestrel, EmptyWorkbookGivesOneWithDegreeZero)
{
    _ResultFileInfo info{};
    ASSERT_EQ(Search("no-worksheets.xls", {"anything"}, _FindedConditions{}, info), 1);
    EXPECT_EQ(info.nMatchDegree, 0);
}

TEST_F(ExcelKestrel, UnreadableWorkbookGivesZero)
{
    _ResultFileInfo info{};
    EXPECT_EQ(Search("does-not-exist.xls", {"anything"}, _FindedConditions{}, info), 0);
}

// Workbooks of Excel 2 to 4 are record streams, not compound files; the
// search opens them by their content like any other .xls.
TEST_F(ExcelKestrel, FindsWordsInExcel4AndOlderFiles)
{
    using excelfixtures::OldBiffWriter;
    const auto dir = std::filesystem::temp_directory_path() / ("varnel-oldbiff-" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir);
    const auto write = [&](const char* name, const excelfixtures::Bytes& bytes) {
        const std::string path = (dir / name).string();
        std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()),
                                                    static_cast<std::streamsize>(bytes.size()));
        return path;
    };

    OldBiffWriter sheet(2);
    sheet.Bof(0x0010);
    sheet.Label(3, 1, "Quarterly zebra count");
    sheet.Eof();
    const std::string worksheetFile = write("excel2.xls", sheet.Data());

    // An Excel 4 workbook with the keyword on its first and last sheets.
    OldBiffWriter book(4);
    book.Bof(0x0100);
    for (const char* name : {"One", "Two", "Three"}) book.BoundSheet(name);
    for (const char* text : {"zebra crossing", "nothing here", "a zebra again"}) {
        book.SheetHeader("sheet");
        book.Bof(0x0010);
        book.Label(0, 0, text);
        book.Eof();
    }
    book.Eof();
    const std::string workbookFile = write("excel4.xlt", book.Data());

    for (const std::string& path : {worksheetFile, workbookFile}) {
        SCOPED_TRACE(path);
        _ResultFileInfo info{};
        ASSERT_EQ(SearchPath(path, {"no such words", "ZEBRA"}, _FindedConditions{}, info), 1);
        EXPECT_EQ(info.nKeywordFound[0], 0);
        EXPECT_EQ(info.nKeywordFound[1], 1);
        EXPECT_EQ(info.nMatchDegree, 50);
    }
    std::filesystem::remove_all(dir);
}

// What a reader of the workbook sees is found: the cells of an Excel 4
// macro sheet, a percentage as the formula bar writes it, and a workbook
// saved with Excel's default password.
TEST_F(ExcelKestrel, FindsMacroSheetsPercentagesAndDefaultPasswordWorkbooks)
{
    using namespace excelfixtures;
    const auto dir = std::filesystem::temp_directory_path() / ("varnel-recall-" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir);
    const auto write = [&](const char* name, const Bytes& bytes) {
        const std::string path = (dir / name).string();
        std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()),
                                                    static_cast<std::streamsize>(bytes.size()));
        return path;
    };

    // Sheet1 holds 0.0897 formatted 0.00%; the hidden macro sheet Macro1
    // holds "Auto_Open".
    Stream s;
    s.Bof(0x0600, 0x0005);
    for (unsigned format : {0u, 10u}) {
        Bytes xf;
        Put16(xf, 0);
        Put16(xf, format);
        xf.resize(20, 0);
        s.Record(0x00E0, xf);
    }
    Bytes sst;
    Put32(sst, 1);
    Put32(sst, 1);
    PutString8(sst, u"Auto_Open", 2);
    s.Record(0x00FC, sst);
    const std::size_t first = s.BoundSheet(u"Sheet1", 0);
    const std::size_t macro = s.BoundSheet(u"Macro1", 1);
    s.Data()[macro + 5] = 1;  // an Excel 4 macro sheet
    s.Eof();
    s.PatchOffset(first, s.Size());
    s.Bof(0x0600, 0x0010);
    s.Number(0, 0, 0.0897, 1);
    s.Eof();
    s.PatchOffset(macro, s.Size());
    s.Bof(0x0600, 0x0040);
    s.LabelSst(0, 0, 0);
    s.Eof();
    const std::string xls = write("macro.xls", CompoundFileOf({{"Workbook", s.Data()}}));

    const std::string xlsx = write(
        "locked.xlsx",
        officecrypt::EncryptStandard(
            ZipOf({{"_rels/.rels",
                    "<Relationships xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\">"
                    "<Relationship Id=\"r\" Type=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships/"
                    "officeDocument\" Target=\"xl/workbook.xml\"/></Relationships>"},
                   {"xl/workbook.xml",
                    "<workbook xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\" "
                    "xmlns:r=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships\"><sheets>"
                    "<sheet name=\"S\" sheetId=\"1\" r:id=\"s\"/></sheets></workbook>"},
                   {"xl/_rels/workbook.xml.rels",
                    "<Relationships xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\">"
                    "<Relationship Id=\"s\" Type=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships/"
                    "worksheet\" Target=\"worksheets/sheet1.xml\"/></Relationships>"},
                   {"xl/worksheets/sheet1.xml",
                    "<worksheet xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\"><sheetData>"
                    "<row r=\"1\"><c r=\"A1\" t=\"inlineStr\"><is><t>payroll Auto_Open</t></is></c></row>"
                    "</sheetData></worksheet>"}}),
            u"VelvetSweatshop")
            .File());

    _ResultFileInfo info{};
    ASSERT_EQ(SearchPath(xls, {"auto_open", "8.97%", "0.0897"}, _FindedConditions{}, info), 1);
    EXPECT_EQ(info.nKeywordFound[0], 1);
    EXPECT_EQ(info.nKeywordFound[1], 1);
    EXPECT_EQ(info.nKeywordFound[2], 0);  // the formula bar shows no bare fraction
    ASSERT_EQ(SearchPath(xlsx, {"payroll", "absent"}, _FindedConditions{}, info), 1);
    EXPECT_EQ(info.nKeywordFound[0], 1);
    EXPECT_EQ(info.nMatchDegree, 50);
    std::filesystem::remove_all(dir);
}
