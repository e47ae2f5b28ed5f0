// Kestrel's searches against the real built-in Word and Excel: the whole
// road of one file, from OfficeFind::SearchWord11 and SearchExcel11 through
// automation to the readers and the find engines, on the fixtures and on
// files the test writes (Excel 2 and 4, a hidden macro sheet with a
// percentage, an .xlsx saved with Excel's default password); and a stop at
// that seam: a call the stop ends is a failed call that says so, and
// Kestrel abandons the file with nothing left open. Kestrel is linked as
// Varnel links it.
#include "docfixture.h"
#include "kestrel/officefind.h"
#include "office/automation/excelapplication.h"
#include "platform/cancellation.h"
#include "platform/olethread.h"
#include "support/excelbooks.h"
#include "support/officecrypt.h"
#include "support/oldbifffixture.h"
#include "wordautomation.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

using namespace excelfixtures;

namespace {

// Clears the request however a test ends, so tests stay independent.
struct StopRequested {
    StopRequested() { platform::RequestSearchStop(); }
    ~StopRequested() { platform::ClearSearchStop(); }
};

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

class BuiltinOffice : public ::testing::Test {
protected:
    void SetUp() override
    {
        CoInitialize(nullptr);
        office::RegisterWordServer();
        office::RegisterExcelServer();
        m_live = CDispatchObject::LiveObjects();
        ASSERT_TRUE(m_word.CreateDispatch("Word.Application"));
        ASSERT_TRUE(m_excel.CreateDispatch("Excel.Application"));
    }
    void TearDown() override
    {
        platform::ClearSearchStop();
        m_word.ReleaseDispatch();
        m_excel.ReleaseDispatch();
        EXPECT_EQ(CDispatchObject::LiveObjects(), m_live);
        CoUninitialize();
        for (const std::string& f : m_files) std::remove(f.c_str());
    }

    std::string WriteFile(const std::string& name, const Bytes& bytes)
    {
        const std::string path = ::testing::TempDir() + "varnel_bo_" + std::to_string(::getpid()) + "_" + name;
        std::ofstream(path, std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
        m_files.push_back(path);
        return path;
    }
    std::string WriteFile(const std::string& name, const std::string& text) { return WriteFile(name, Bytes(text.begin(), text.end())); }

    std::string WordBinary(const std::string& name, const std::string& text)
    {
        docbin::Word97 d;
        d.text = docbin::Latin(text);
        d.ccp[0] = static_cast<std::uint32_t>(text.size());
        d.pieces = {{d.ccp[0], static_cast<std::uint32_t>(docbin::Word97::kTextAt), true}};
        return WriteFile(name, d.Build());
    }

    // The Word search, or with `excel` the workbook search, of `path` into m_info.
    int Search(const std::string& path, const std::vector<const char*>& words, _FindedConditions c, bool excel = false)
    {
        std::memset(&m_info, 0, sizeof m_info);
        std::strncpy(m_info.szFilePath, path.c_str(), sizeof m_info.szFilePath - 1);
        CArray<_FindKeyWord, _FindKeyWord> keys;
        for (const char* w : words) {
            _FindKeyWord k{};
            std::strncpy(k.szKeyword, w, sizeof k.szKeyword - 1);
            keys.Add(k);
        }
        return excel ? m_find.SearchExcel11(m_info, keys, c, m_excel) : m_find.SearchWord11(m_info, keys, c, m_word);
    }

    OfficeFind m_find;
    _Word11 m_word;
    _Excel11 m_excel;
    _ResultFileInfo m_info{};
    long m_live = 0;
    std::vector<std::string> m_files;
};

TEST_F(BuiltinOffice, KeywordsFoundGiveTheDegree)
{
    const std::string path = WriteFile("three.txt", "The alpha and the gamma of it.\n");
    ASSERT_EQ(Search(path, {"alpha", "delta", "GAMMA"}, {}), 1);
    EXPECT_EQ(m_info.nKeywordFound[0], 1);
    EXPECT_EQ(m_info.nKeywordFound[1], 0);
    EXPECT_EQ(m_info.nKeywordFound[2], 1);
    EXPECT_EQ(m_info.nMatchDegree, 66);
    // A damaged file cannot be searched.
    std::string bytes;
    for (int i = 0; i < 2048; ++i) bytes.push_back(static_cast<char>(i % 7 == 0 ? 0 : i % 251));
    EXPECT_EQ(Search(WriteFile("damaged.doc", bytes), {"anything"}, {}), 0);
}

TEST_F(BuiltinOffice, ClearingHidesKeywordsWithTwoSpaces)
{
    const std::string path = WriteFile("spacing.htm", "<html><body><pre>net  price\tlist</pre></body></html>");
    ASSERT_EQ(Search(path, {"net  price", "price list"}, {}), 1);
    EXPECT_EQ(m_info.nKeywordFound[0], 1);
    EXPECT_EQ(m_info.nKeywordFound[1], 0);
    _FindedConditions c{};
    c.ClearSeriesSpace = 1;
    ASSERT_EQ(Search(path, {"net  price", "price list"}, c), 1);
    EXPECT_EQ(m_info.nKeywordFound[0], 0);
    EXPECT_EQ(m_info.nKeywordFound[1], 1);
    EXPECT_EQ(m_info.nMatchDegree, 50);
}

TEST_F(BuiltinOffice, StopMakesOpenAndFindExecuteFailAsStopped)
{
    const std::string path = WordBinary("a.doc", "find me here\r");
    IDispatch* app = nullptr;
    ASSERT_EQ(CreateObjectByProgID("Word.Application", &app), S_OK);
    IDispatch* documents = wordtest::Get(app, 0x6);
    ASSERT_NE(documents, nullptr);
    {
        StopRequested stop;
        const wordtest::CallResult r = wordtest::Open(documents, path);
        EXPECT_EQ(r.hr, DISP_E_EXCEPTION);
        EXPECT_EQ(r.scode, E_ABORT);
    }
    IDispatch* document = wordtest::Open(documents, path).TakeDispatch();
    ASSERT_NE(document, nullptr);
    IDispatch* selection = wordtest::Get(app, 0x5);
    IDispatch* find = wordtest::Get(selection, 0x106);
    ASSERT_NE(find, nullptr);
    {
        StopRequested stop;
        const wordtest::CallResult r = wordtest::Execute(find, u"me");
        EXPECT_EQ(r.hr, DISP_E_EXCEPTION);
        EXPECT_EQ(r.scode, E_ABORT);
    }
    EXPECT_TRUE(wordtest::Found(wordtest::Execute(find, u"me")));
    for (IDispatch* object : {find, selection, document, documents, app}) object->Release();
}

TEST_F(BuiltinOffice, StoppedSearchAbandonsTheFileAndLeavesNothingOpen)
{
    const std::string docPath = WordBinary("b.doc", "find me here\r");
    const std::string bookPath = std::string(VARNEL_TEST_DATA) + "/excel/book.xls";
    const long withApplications = CDispatchObject::LiveObjects();
    const _FindedConditions clearing{0, 0, 0, 0, 0, 1};
    {
        StopRequested stop;
        EXPECT_EQ(Search(docPath, {"find me", "zebra"}, clearing), 0);
        EXPECT_EQ(Search(bookPath, {"find me", "zebra"}, {}, true), 0);
        // No document or workbook stays open in the applications.
        EXPECT_EQ(CDispatchObject::LiveObjects(), withApplications);
    }
    EXPECT_EQ(Search(docPath, {"find me", "zebra"}, clearing), 1);
    EXPECT_EQ(m_info.nMatchDegree, 50);
    EXPECT_EQ(Search(bookPath, {"find me", "zebra"}, {}, true), 1);
    EXPECT_EQ(m_info.nMatchDegree, 50);
}

TEST_F(BuiltinOffice, KeywordsFoundCountAndDegree)
{
    OldBiffWriter sheet(2);
    sheet.Bof(0x0010);
    sheet.Label(3, 1, "Quarterly zebra count");
    sheet.Eof();
    const std::string data = std::string(VARNEL_TEST_DATA) + "/excel/";
    const std::string excel2 = WriteFile("excel2.xls", sheet.Data());
    const std::string excel4 = WriteFile("excel4.xlt", Excel4Workbook());
    const std::string macro = WriteFile("macro.xls", MacroSheetWorkbook());
    const std::string locked = WriteFile(
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
        ASSERT_EQ(Search(c.path, c.words, {c.matchCase ? 1 : 0, 0, 0, 0, 0, 0}, true), c.result) << c.path;
        if (c.result == 0) continue;
        for (std::size_t i = 0; i < c.found.size(); ++i) EXPECT_EQ(m_info.nKeywordFound[i], c.found[i]) << c.path << i;
        if (c.degree >= 0) {
            EXPECT_EQ(m_info.nMatchDegree, c.degree) << c.path;
        }
    }
}

}  // namespace
