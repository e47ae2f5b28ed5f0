// Kestrel's workbook search against the real built-in Excel: from
// OfficeFind::SearchExcel11 through automation to the workbook readers and
// Range.Find. Kestrel is linked as Varnel links it.
#include "kestrel/officefind.h"
#include "office/excelapplication.h"
#include "platform/olethread.h"

#include <gtest/gtest.h>

#include <cstring>
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
        const std::string path = std::string(VARNEL_TEST_DATA) + "/excel/" + fixture;
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
