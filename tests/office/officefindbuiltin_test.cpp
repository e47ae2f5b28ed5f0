// Kestrel's searches against the real built-in Word and Excel: the whole
// road of one file, from OfficeFind::SearchWord11 and SearchExcel11 through
// automation to the readers and the find engines, on the fixtures and on
// files the test writes (each format's own reading is tested with its
// reader); and a stop at that seam: a call the stop ends is a failed call that says so, and
// Kestrel abandons the file with nothing left open. Kestrel is linked as
// Varnel links it.
#include "docfixture.h"
#include "kestrel/officefind.h"
#include "office/automation/excelapplication.h"
#include "platform/cancellation.h"
#include "platform/olethread.h"
#include "tests/kestrel/support/keywords.h"
#include "wordautomation.h"

#include <gtest/gtest.h>

#include <cstring>
#include <tuple>

namespace {

// Clears the request however a test ends, so tests stay independent.
struct StopRequested {
    StopRequested() { platform::RequestSearchStop(); }
    ~StopRequested() { platform::ClearSearchStop(); }
};

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
    }

    // The Word search, or with `excel` the workbook search, of `path` into m_info.
    int Search(const std::string& path, const std::vector<const char*>& words, _FindedConditions c, bool excel = false)
    {
        std::memset(&m_info, 0, sizeof m_info);
        std::strncpy(m_info.szFilePath, path.c_str(), sizeof m_info.szFilePath - 1);
        const CKeywordArray keys = Keywords(std::vector<std::string>(words.begin(), words.end()));
        return excel ? m_find.SearchExcel11(m_info, keys, c, m_excel) : m_find.SearchWord11(m_info, keys, c, m_word);
    }

    OfficeFind m_find;
    _Word11 m_word;
    _Excel11 m_excel;
    _ResultFileInfo m_info{};
    long m_live = 0;
    wordtest::TempFiles m_files;
};

// Under a stop, Open and Find.Execute fail as stopped, and Kestrel's
// searches abandon their files with nothing left open; afterwards all
// work again.
TEST_F(BuiltinOffice, StopFailsCallsAndSearchesAndLeavesNothingOpen)
{
    const std::string docPath = m_files.Write("b.doc", docbin::Word97Of(u"find me here\r"));
    const std::string bookPath = std::string(VARNEL_TEST_DATA) + "/excel/book.xls";
    wordtest::OpenedFile file(docPath);
    ASSERT_TRUE(file.Ok());
    const long withApplications = CDispatchObject::LiveObjects();
    const _FindedConditions clearing{0, 0, 0, 0, 0, 1};
    {
        StopRequested stop;
        for (const wordtest::CallResult& r :
             {wordtest::Open(file.Documents(), docPath), wordtest::Execute(file.FindObject(), u"me")}) {
            EXPECT_EQ(r.hr, DISP_E_EXCEPTION);
            EXPECT_EQ(r.scode, E_ABORT);
        }
        EXPECT_EQ(Search(docPath, {"find me", "zebra"}, clearing), 0);
        EXPECT_EQ(Search(bookPath, {"find me", "zebra"}, {}, true), 0);
        // No document or workbook stays open in the applications.
        EXPECT_EQ(CDispatchObject::LiveObjects(), withApplications);
    }
    EXPECT_TRUE(file.Find(u"me"));
    EXPECT_EQ(Search(docPath, {"find me", "zebra"}, clearing), 1);
    EXPECT_EQ(m_info.nMatchDegree, 50);
    EXPECT_EQ(Search(bookPath, {"find me", "zebra"}, {}, true), 1);
    EXPECT_EQ(m_info.nMatchDegree, 50);
}

// Keywords found in one file give the degree, a damaged or missing file
// none; clearing (tabs to spaces, runs of spaces to one) hides a keyword
// with two spaces and shows one the tab had hidden.
TEST_F(BuiltinOffice, KeywordsFoundCountAndDegree)
{
    std::string damaged;
    for (int i = 0; i < 2048; ++i) damaged.push_back(static_cast<char>(i % 7 == 0 ? 0 : i % 251));
    const std::string data = std::string(VARNEL_TEST_DATA) + "/excel/";
    const std::string text = m_files.Write("three.txt", "The alpha and the gamma of it.\n");
    const std::string spacing = m_files.Write("spacing.htm", "<html><body><pre>net  price\tlist</pre></body></html>");
    const _FindedConditions none{}, matchCase{1, 0, 0, 0, 0, 0}, clearing{0, 0, 0, 0, 0, 1};
    const std::tuple<std::string, std::vector<const char*>, _FindedConditions, bool, int, std::vector<int>, int>
        cases[] = {
            {text, {"alpha", "delta", "GAMMA"}, none, false, 1, {1, 0, 1}, 66},
            {m_files.Write("damaged.doc", damaged), {"anything"}, none, false, 0, {0}, 0},
            {spacing, {"net  price", "price list"}, none, false, 1, {1, 0}, 50},
            {spacing, {"net  price", "price list"}, clearing, false, 1, {0, 1}, 50},
            // A keyword on two sheets counts once.
            {data + "book.xls", {"zebra"}, none, true, 1, {1}, 100},
            {data + "book.xlsx", {"zebra"}, none, true, 1, {1}, 100},
            {data + "book.xls", {"no such words", "zebra"}, none, true, 1, {0, 1}, 50},
            {data + "book.xlsx", {"secret hidden", "mixedcase"}, none, true, 1, {1, 1}, 100},
            {data + "book.xlsx", {"secret hidden", "mixedcase"}, matchCase, true, 1, {1, 0}, 50},
            {data + "no-worksheets.xls", {"anything"}, none, true, 1, {0}, 0},
            {data + "does-not-exist.xls", {"anything"}, none, true, 0, {0}, 0},
        };
    for (const auto& [path, words, conditions, excel, result, found, degree] : cases) {
        ASSERT_EQ(Search(path, words, conditions, excel), result) << path;
        if (result == 0) continue;
        for (std::size_t i = 0; i < found.size(); ++i) EXPECT_EQ(m_info.nKeywordFound[i], found[i]) << path << i;
        EXPECT_EQ(m_info.nMatchDegree, degree) << path;
    }
}

}  // namespace
