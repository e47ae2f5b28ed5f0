// OfficeFind's workbook searches against the recording fake Excel: the
// exact calls of each generation, counting a keyword once over several
// sheets, the result codes, failures at every step, and that no automation
// object outlives a call.
#include "kestrel/officefind.h"
#include "platform/olethread.h"
#include "tests/kestrel/support/fakeoffice.h"
#include "tests/kestrel/support/kestreltest.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace kestreltest;

namespace {

std::string Repeat(const std::string& item, int times)
{
    std::string out;
    for (int i = 0; i < times; ++i) out += ", " + item;
    return out;
}

std::string OpenCall(int generation, const std::string& path)
{
    if (generation == 9) return "Workbooks.0x2AA call(str:" + path + Repeat("missing", 12) + ")";
    return "Workbooks.0x783 call(str:" + path + Repeat("missing", 14) + ")";
}

std::string FindCall(int generation, const std::string& keyword, bool matchCase)
{
    return "Range.0x18E call(str:" + keyword + Repeat("missing", 4) + ", i4:0, bool:" + (matchCase ? "true" : "false")
           + Repeat("missing", generation == 9 ? 1 : 2) + ")";
}

const std::string kClose = "Workbook.0x115 call(bool:false, str:, bool:false)";

class ExcelSearchTest : public ::testing::TestWithParam<int> {
protected:
    void SetUp() override
    {
        CoInitialize(nullptr);
        m_office = std::make_shared<FakeOffice>();
        InstallFakeExcel(m_office);
        m_startObjects = CDispatchObject::LiveObjects();
        m_path = m_dir.File("book.xls");
    }

    void TearDown() override
    {
        EXPECT_EQ(CDispatchObject::LiveObjects(), m_startObjects) << "an automation object leaked";
        RemoveFakes();
        CoUninitialize();
    }

    int Run(_ResultFileInfo& record, const CKeywordArray& keywords, _FindedConditions conditions)
    {
        OfficeFind finder;
        int result = 99;
        auto call = [&](auto& app, auto method) {
            EXPECT_TRUE(app.CreateDispatch("Excel.Application"));
            const long before = CDispatchObject::LiveObjects();
            result = (finder.*method)(record, keywords, conditions, app);
            EXPECT_EQ(CDispatchObject::LiveObjects(), before) << "objects alive after the call";
        };
        switch (GetParam()) {
        case 9: { _Excel9 app; call(app, &OfficeFind::SearchExcel9); break; }
        case 10: { _Excel10 app; call(app, &OfficeFind::SearchExcel10); break; }
        default: { _Excel11 app; call(app, &OfficeFind::SearchExcel11); break; }
        }
        return result;
    }

    std::shared_ptr<FakeOffice> m_office;
    long m_startObjects = 0;
    ScratchDir m_dir;
    std::string m_path;
};

TEST_P(ExcelSearchTest, MakesExactlyTheDocumentedCallsInOrder)
{
    m_office->sheets = {{u"alpha"}, {u"nothing"}};
    // Only MatchCase matters to a workbook search; the rest must not leak in.
    auto record = Record(m_path, 2);
    ASSERT_EQ(Run(record, Keywords({"alpha", "beta"}), Conditions(1, 1, 1, 1, 1, 1)), 1);

    std::vector<std::string> expected{"ExcelApp.0x23C get()", OpenCall(GetParam(), m_path), "Workbook.0x1EE get()",
                                      "Worksheets.0x76 get()"};
    for (int sheet = 1; sheet <= 2; ++sheet) {
        expected.push_back("Worksheets.0xAA get(i4:" + std::to_string(sheet) + ")");
        expected.push_back("Worksheet.0xEB call(missing)");
        expected.push_back("Worksheet.0xEE get()");
        expected.push_back(FindCall(GetParam(), "alpha", true));
        expected.push_back(FindCall(GetParam(), "beta", true));
    }
    expected.push_back(kClose);
    EXPECT_EQ(m_office->Described(), expected);
    EXPECT_EQ(record.nKeywordFound[0], 1);
    EXPECT_EQ(record.nKeywordFound[1], 0);
    EXPECT_EQ(record.nMatchDegree, 50);
    EXPECT_EQ(m_office->workbooksOpen, 0);
}

TEST_P(ExcelSearchTest, KeywordOnSeveralSheetsCountsOnce)
{
    m_office->sheets = {{u"total sales"}, {u"other"}, {u"sales again"}};
    auto record = Record(m_path, 3);
    ASSERT_EQ(Run(record, Keywords({"sales", "missing", "none"}), Conditions(0, 0, 0, 0, 0, 0)), 1);
    EXPECT_EQ(record.nKeywordFound[0], 1);
    EXPECT_EQ(record.nMatchDegree, 33);

    m_office->calls.clear();
    record = Record(m_path, 3);
    ASSERT_EQ(Run(record, Keywords({"sales", "other", "none"}), Conditions(0, 0, 0, 0, 0, 0)), 1);
    EXPECT_EQ(record.nMatchDegree, 66);
    EXPECT_EQ(record.nKeywordFound[2], 0);
    EXPECT_EQ(record.nKeywordFound[3], 0x5A5A5A5A) << "a flag beyond the keywords was written";
}

TEST_P(ExcelSearchTest, OneFindAmongManyKeywordsIsNeverDegreeZero)
{
    // 1 of 101 is 0.99 %: truncated it would be 0 and the file would get no row.
    m_office->sheets = {{u"k50 here"}};
    CKeywordArray many;
    for (int i = 0; i < 101; ++i) many.Add(Keywords({("k" + std::to_string(i + 100)).c_str()})[0]);
    many[50] = Keywords({"k50"})[0];
    auto record = Record(m_path, 101);
    ASSERT_EQ(Run(record, many, Conditions(0, 0, 0, 0, 0, 0)), 1);
    EXPECT_EQ(record.nKeywordFound[50], 1);
    EXPECT_EQ(record.nMatchDegree, 1);
}

TEST_P(ExcelSearchTest, EntriesAlreadySetAreNeitherCountedNorChanged)
{
    m_office->sheets = {{u"a b"}};
    auto record = Record(m_path, 3);
    record.nKeywordFound[0] = 1;  // found, but already flagged: not counted
    record.nKeywordFound[2] = 1;  // not found: left as it was
    ASSERT_EQ(Run(record, Keywords({"a", "b", "c"}), Conditions(0, 0, 0, 0, 0, 0)), 1);
    EXPECT_EQ(record.nKeywordFound[0], 1);
    EXPECT_EQ(record.nKeywordFound[1], 1);
    EXPECT_EQ(record.nKeywordFound[2], 1);
    EXPECT_EQ(record.nMatchDegree, 33);
}

TEST_P(ExcelSearchTest, WorkbookWithoutSheetsGivesOneAndDegreeZero)
{
    auto record = Record(m_path, 1);
    ASSERT_EQ(Run(record, Keywords({"x"}), Conditions(0, 0, 0, 0, 0, 0)), 1);
    EXPECT_EQ(record.nMatchDegree, 0);
    EXPECT_EQ(m_office->Described(),
              (std::vector<std::string>{"ExcelApp.0x23C get()", OpenCall(GetParam(), m_path), "Workbook.0x1EE get()",
                                        "Worksheets.0x76 get()", kClose}));
}

TEST_P(ExcelSearchTest, MatchCaseDecidesWhetherCapitalsMatch)
{
    m_office->sheets = {{u"REVENUE"}};
    auto record = Record(m_path, 1);
    ASSERT_EQ(Run(record, Keywords({"revenue"}), Conditions(1, 0, 0, 0, 0, 0)), 1);
    EXPECT_EQ(record.nKeywordFound[0], 0);
    record = Record(m_path, 1);
    ASSERT_EQ(Run(record, Keywords({"revenue"}), Conditions(0, 1, 1, 1, 1, 1)), 1);
    EXPECT_EQ(record.nKeywordFound[0], 1);
    EXPECT_EQ(record.nMatchDegree, 100);
}

TEST_P(ExcelSearchTest, EmptyKeywordArrayReturnsMinusTwoBeforeExcelIsAsked)
{
    auto record = Record(m_path, 0);
    const auto before = record;
    EXPECT_EQ(Run(record, CKeywordArray(), Conditions(1, 0, 0, 0, 0, 0)), -2);
    EXPECT_TRUE(m_office->calls.empty());
    EXPECT_EQ(std::memcmp(&record, &before, sizeof record), 0);
}

TEST_P(ExcelSearchTest, WorkbookHeldByAnotherProgramIsLeftToExcel)
{
    LockingProcess holder(m_path);
    ASSERT_TRUE(holder.Locked());
    m_office->sheets = {{u"x"}};
    auto record = Record(m_path, 1);
    EXPECT_EQ(Run(record, Keywords({"x"}), Conditions(0, 0, 0, 0, 0, 0)), 1);
}

TEST_P(ExcelSearchTest, NoWorkbooksOrNoWorkbookGiveZero)
{
    m_office->noWorkbooks = true;
    auto record = Record(m_path, 1);
    EXPECT_EQ(Run(record, Keywords({"x"}), Conditions(0, 0, 0, 0, 0, 0)), 0);
    EXPECT_EQ(m_office->Described(), std::vector<std::string>{"ExcelApp.0x23C get()"});

    *m_office = FakeOffice();
    m_office->openGivesNone = true;
    EXPECT_EQ(Run(record, Keywords({"x"}), Conditions(0, 0, 0, 0, 0, 0)), 0);
    EXPECT_EQ(m_office->Described(), (std::vector<std::string>{"ExcelApp.0x23C get()", OpenCall(GetParam(), m_path)}));
}

// A failure at any call gives 0, releases everything, and leaves no
// workbook open: one opened before the failure is closed unsaved.
TEST_P(ExcelSearchTest, FailureAtEveryStepGivesZeroAndClosesTheWorkbook)
{
    const auto keywords = Keywords({"a", "b"});
    m_office->sheets = {{u"a"}, {u"b"}, {u"c"}};
    auto record = Record(m_path, 2);
    ASSERT_EQ(Run(record, keywords, Conditions(0, 0, 0, 0, 0, 0)), 1);
    const std::size_t total = m_office->calls.size();
    ASSERT_EQ(total, 4u + 3u * (3u + 2u) + 1u);
    const std::size_t openIndex = 1;

    for (bool withException : {true, false}) {
        for (std::size_t k = 1; k <= total; ++k) {
            *m_office = FakeOffice();
            m_office->sheets = {{u"a"}, {u"b"}, {u"c"}};
            m_office->failAt = static_cast<int>(k);
            m_office->failWithException = withException;
            record = Record(m_path, 2);
            EXPECT_EQ(Run(record, keywords, Conditions(0, 0, 0, 0, 0, 0)), 0) << "failing call " << k;
            EXPECT_EQ(m_office->workbooksOpen, 0) << "failing call " << k;
            if (k - 1 > openIndex) {
                // A failure on one sheet ends the call: nothing follows but
                // the clean-up close.
                ASSERT_EQ(m_office->calls.size(), k + 1) << "failing call " << k;
                EXPECT_EQ(m_office->calls.back().Describe(), kClose);
            } else {
                EXPECT_EQ(m_office->calls.size(), k);
            }
        }
    }
}

TEST_P(ExcelSearchTest, KeywordTextTravelsAsUtf16)
{
    m_office->sheets = {{u"\u00c5rsbudget 2003"}};
    auto record = Record(m_path, 1);
    ASSERT_EQ(Run(record, Keywords({"\xc3\x85rsbudget"}), Conditions(1, 0, 0, 0, 0, 0)), 1);
    EXPECT_EQ(record.nKeywordFound[0], 1);
}

INSTANTIATE_TEST_SUITE_P(Generations, ExcelSearchTest, ::testing::Values(9, 10, 11),
                         [](const auto& p) { return "Excel" + std::to_string(p.param); });

}  // namespace
