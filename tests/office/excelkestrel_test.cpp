// Kestrel's workbook search against the real built-in Excel: from
// OfficeFind::SearchExcel11 through automation to the workbook readers and
// Range.Find. Kestrel is loaded the way Varnel imports it, by the decorated
// names of its exported members.
#include "kestrel/officefind.h"
#include "office/excelapplication.h"
#include "platform/olethread.h"

#include <gtest/gtest.h>

#include <dlfcn.h>

#include <cstring>
#include <string>

namespace {

using Constructor = void (*)(OfficeFind*);
using SearchExcel11 = int (*)(OfficeFind*, _ResultFileInfo&, const CArray<_FindKeyWord, _FindKeyWord>&,
                              _FindedConditions, _Excel11&);

class Kestrel {
public:
    Kestrel()
    {
        const std::string path = std::string(VARNEL_BIN_DIR) + "/libkestrel.so";
        m_lib = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
        if (m_lib == nullptr) return;
        m_ctor = reinterpret_cast<Constructor>(dlsym(m_lib, "_ZN10OfficeFindC1Ev"));
        m_dtor = reinterpret_cast<Constructor>(dlsym(m_lib, "_ZN10OfficeFindD1Ev"));
        m_search = reinterpret_cast<SearchExcel11>(dlsym(
            m_lib,
            "_ZN10OfficeFind13SearchExcel11ER15_ResultFileInfoRK6CArrayI12_FindKeyWordS3_E17_FindedConditionsR8_Excel11"));
    }
    ~Kestrel()
    {
        if (m_lib != nullptr) dlclose(m_lib);
    }
    bool Ok() const { return m_ctor != nullptr && m_dtor != nullptr && m_search != nullptr; }

    int Search(_ResultFileInfo& info, const CArray<_FindKeyWord, _FindKeyWord>& keys, _FindedConditions c,
               _Excel11& excel)
    {
        alignas(16) unsigned char storage[16];
        auto* finder = reinterpret_cast<OfficeFind*>(storage);
        m_ctor(finder);
        const int result = m_search(finder, info, keys, c, excel);
        m_dtor(finder);
        return result;
    }

private:
    void* m_lib = nullptr;
    Constructor m_ctor = nullptr;
    Constructor m_dtor = nullptr;
    SearchExcel11 m_search = nullptr;
};

class ExcelKestrel : public ::testing::Test {
protected:
    void SetUp() override
    {
        CoInitialize(nullptr);
        office::RegisterExcelServer();
        m_live = CDispatchObject::LiveObjects();
        ASSERT_TRUE(m_kestrel.Ok()) << "libkestrel.so not built or not loadable";
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
        return m_kestrel.Search(info, keys, c, m_excel);
    }

    Kestrel m_kestrel;
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
