// Kestrel's workbook search against the real built-in Excel: from
// OfficeFind::SearchExcel11 through automation to the workbook readers and
// Range.Find, on the fixtures and on files the test writes (Excel 2 and 4,
// a hidden macro sheet with a percentage, an .xlsx saved with Excel's
// default password). Kestrel is linked as Varnel links it.
#include "kestrel/officefind.h"
#include "office/automation/excelapplication.h"
#include "platform/olethread.h"
#include "support/excelbooks.h"
#include "support/officecrypt.h"
#include "support/oldbifffixture.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>

using namespace excelfixtures;

namespace {

Bytes Excel4Workbook()
{
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
    return book.Data();
}

// Sheet1 holds 0.0897 formatted 0.00%; the hidden macro sheet Macro1 holds
// "Auto_Open".
Bytes MacroSheetWorkbook()
{
    auto globals = [](Stream& s) {
        for (unsigned format : {0u, 10u}) {
            Bytes xf = {0, 0};
            Put16(xf, format);
            xf.resize(20, 0);
            s.Record(0x00E0, xf);
        }
        Bytes sst = {1, 0, 0, 0, 1, 0, 0, 0};
        PutString8(sst, u"Auto_Open", 2);
        s.Record(0x00FC, sst);
    };
    return Xls(BiffStream({{u"Sheet1", 0, [](Stream& s) { s.Number(0, 0, 0.0897, 1); }},
                           {u"Macro1", 1, [](Stream& s) { s.LabelSst(0, 0, 0); }, 1, 0x40}},
                          globals));
}

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

    int Search(const std::string& path, const std::vector<const char*>& words, bool matchCase,
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
        _FindedConditions conditions{};
        conditions.MatchCase = matchCase ? 1 : 0;
        return m_find.SearchExcel11(info, keys, conditions, m_excel);
    }

    OfficeFind m_find;
    _Excel11 m_excel;
    long m_live = 0;
};

}  // namespace

TEST_F(ExcelKestrel, KeywordsFoundCountAndDegree)
{
    const auto dir = std::filesystem::temp_directory_path() / ("varnel-kestrel-" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir);
    const auto write = [&](const char* name, const Bytes& bytes) {
        const std::string path = (dir / name).string();
        std::ofstream(path, std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
        return path;
    };
    OldBiffWriter sheet(2);
    sheet.Bof(0x0010);
    sheet.Label(3, 1, "Quarterly zebra count");
    sheet.Eof();
    const std::string data = std::string(VARNEL_TEST_DATA) + "/excel/";
    const std::string excel2 = write("excel2.xls", sheet.Data());
    const std::string excel4 = write("excel4.xlt", Excel4Workbook());
    const std::string macro = write("macro.xls", MacroSheetWorkbook());
    const std::string locked = write(
        "locked.xlsx",
        officecrypt::EncryptStandard(Xlsx({{"S", "<row r=\"1\">" + InlineCell("A1", "payroll Auto_Open") + "</row>"}}),
                                     u"VelvetSweatshop")
            .File());
    const struct {
        std::string path;
        std::vector<const char*> words;
        bool matchCase;
        int result;
        std::vector<int> found;  // per keyword
        int degree;  // -1: not checked
    } cases[] = {
        // A keyword on two sheets counts once.
        {data + "book.xls", {"zebra"}, false, 1, {1}, 100},
        {data + "book.xlsx", {"zebra"}, false, 1, {1}, 100},
        {data + "book.xls", {"no such words", "zebra"}, false, 1, {0, 1}, 50},
        {data + "book.xlsx", {"secret hidden", "mixedcase"}, false, 1, {1, 1}, 100},
        {data + "book.xlsx", {"secret hidden", "mixedcase"}, true, 1, {1, 0}, 50},
        {data + "no-worksheets.xls", {"anything"}, false, 1, {0}, 0},
        {data + "does-not-exist.xls", {"anything"}, false, 0, {0}, 0},
        {excel2, {"no such words", "ZEBRA"}, false, 1, {0, 1}, 50},
        {excel4, {"no such words", "ZEBRA"}, false, 1, {0, 1}, 50},
        // The formula bar shows 8.97%, no bare fraction.
        {macro, {"auto_open", "8.97%", "0.0897"}, false, 1, {1, 1, 0}, -1},
        {locked, {"payroll", "absent"}, false, 1, {1, 0}, 50},
    };
    for (const auto& c : cases) {
        _ResultFileInfo info{};
        ASSERT_EQ(Search(c.path, c.words, c.matchCase, info), c.result) << c.path;
        if (c.result == 0) continue;
        for (std::size_t i = 0; i < c.found.size(); ++i) EXPECT_EQ(info.nKeywordFound[i], c.found[i]) << c.path << i;
        if (c.degree >= 0) {
            EXPECT_EQ(info.nMatchDegree, c.degree) << c.path;
        }
    }
    std::filesystem::remove_all(dir);
}
