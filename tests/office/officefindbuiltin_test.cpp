// Kestrel's searches against the real built-in Word and Excel: the whole
// road of one file, from OfficeFind::SearchWord11 and SearchExcel11 through
// automation to the readers and the find engines, on the fixtures and on
// files the test writes (each format's own reading is tested with its
// reader); and a stop at that seam: Kestrel abandons the file with
// nothing left open. Kestrel is linked as Varnel links it.
#include "docfixture.h"
#include "kestrel/officefind.h"
#include "office/automation/excelapplication.h"
#include "platform/cancellation.h"
#include "platform/olethread.h"
#include "tests/kestrel/support/keywords.h"
#include "wordautomation.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

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

// Under a stop, Kestrel's searches abandon their files with nothing left
// open; afterwards they work again. (Open and Find.Execute failing as
// stopped are wordautomation_test's.)
TEST_F(BuiltinOffice, StopAbandonsSearchesAndLeavesNothingOpen)
{
    const std::string docPath = m_files.Write("b.doc", docbin::Word97Of(u"find me here\r"));
    const std::string bookPath = std::string(VARNEL_TEST_DATA) + "/excel/book.xls";
    const long withApplications = CDispatchObject::LiveObjects();
    const _FindedConditions clearing{0, 0, 0, 0, 0, 1};
    platform::RequestSearchStop();
    EXPECT_EQ(Search(docPath, {"find me", "zebra"}, clearing), 0);
    EXPECT_EQ(Search(bookPath, {"find me", "zebra"}, {}, true), 0);
    // No document or workbook stays open in the applications.
    EXPECT_EQ(CDispatchObject::LiveObjects(), withApplications);
    platform::ClearSearchStop();
    EXPECT_EQ(Search(docPath, {"find me", "zebra"}, clearing), 1);
    EXPECT_EQ(m_info.nMatchDegree, 50);
    EXPECT_EQ(Search(bookPath, {"find me", "zebra"}, {}, true), 1);
    EXPECT_EQ(m_info.nMatchDegree, 50);
}

// A workbook without worksheets is searched and holds nothing; a missing
// one cannot be searched. (How found keywords make the degree is held with
// the recording fakes in officefind_test; what the built-in applications
// find, and that the search and the match report agree on every fixture, in
// their automation tests and report_test.)
TEST_F(BuiltinOffice, WorkbookWithoutWorksheetsOrMissing)
{
    const std::string data = std::string(VARNEL_TEST_DATA) + "/excel/";
    ASSERT_EQ(Search(data + "no-worksheets.xls", {"anything"}, {}, true), 1);
    EXPECT_EQ(m_info.nKeywordFound[0], 0);
    EXPECT_EQ(m_info.nMatchDegree, 0);
    EXPECT_EQ(Search(data + "does-not-exist.xls", {"anything"}, {}, true), 0);
}

}  // namespace
