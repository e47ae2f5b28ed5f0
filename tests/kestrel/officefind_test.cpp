// OfficeFind against the recording fake Word and Excel, for every
// generation: the calls each search makes, the result codes, the match
// degree, failures at every step, and that no automation object outlives
// a call.
#include "kestrel/officefind.h"
#include "platform/olethread.h"
#include "tests/kestrel/support/fakeoffice.h"
#include "tests/kestrel/support/keywords.h"
#include "tests/platform/support/tempdir.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>
#include <tuple>
#include <vector>

namespace {

using Calls = std::vector<std::string>;

// A record filled with a recognisable pattern, so untouched bytes show;
// the first `cleared` flags are 0, as the caller leaves them.
_ResultFileInfo Record(const std::string& path, int cleared)
{
    _ResultFileInfo r;
    std::memset(&r, 0x5A, sizeof r);
    std::memset(r.szFileName, 0, sizeof r.szFileName);
    std::memset(r.szFilePath, 0, sizeof r.szFilePath);
    std::strncpy(r.szFilePath, path.c_str(), sizeof r.szFilePath - 1);
    for (int i = 0; i < cleared && i < 256; ++i) r.nKeywordFound[i] = 0;
    return r;
}

// The first `n` keyword flags of a record.
std::vector<int> Flags(const _ResultFileInfo& r, int n)
{
    return {r.nKeywordFound, r.nKeywordFound + n};
}

std::string Repeat(const std::string& item, int times)
{
    std::string out;
    for (int i = 0; i < times; ++i) out += ", " + item;
    return out;
}

class OfficeFindTest : public ::testing::TestWithParam<int> {
protected:
    virtual bool Excel() const = 0;

    void SetUp() override
    {
        CoInitialize(nullptr);
        InstallFakeWord(m_office);
        InstallFakeExcel(m_office);
        m_startObjects = CDispatchObject::LiveObjects();
        m_path = File(Excel() ? "book.xls" : "report.doc");
    }
    void TearDown() override
    {
        EXPECT_EQ(CDispatchObject::LiveObjects(), m_startObjects) << "an automation object leaked";
        RemoveFakes();
        CoUninitialize();
    }
    // Creates a small file and returns its path.
    std::string File(const std::string& name) const { return m_tmp.Write(name, "content").string(); }

    // Runs the search of the generation under test against a fresh fake and
    // checks that the call itself leaves no object behind.
    int Run(_ResultFileInfo& record, const CKeywordArray& keywords, _FindedConditions conditions = {})
    {
        OfficeFind finder;
        int result = 99;
        auto call = [&](auto& app, auto method) {
            EXPECT_TRUE(app.CreateDispatch(Excel() ? "Excel.Application" : "Word.Application"));
            const long before = CDispatchObject::LiveObjects();
            result = (finder.*method)(record, keywords, conditions, app);
            EXPECT_EQ(CDispatchObject::LiveObjects(), before) << "objects alive after the call";
        };
        switch (GetParam() + (Excel() ? 100 : 0)) {
        case 9: { _Word9 app; call(app, &OfficeFind::SearchWord9); break; }
        case 10: { _Word10 app; call(app, &OfficeFind::SearchWord10); break; }
        case 11: { _Word11 app; call(app, &OfficeFind::SearchWord11); break; }
        case 109: { _Excel9 app; call(app, &OfficeFind::SearchExcel9); break; }
        case 110: { _Excel10 app; call(app, &OfficeFind::SearchExcel10); break; }
        default: { _Excel11 app; call(app, &OfficeFind::SearchExcel11); break; }
        }
        return result;
    }

    // The search as it succeeds, with `prepare`d fakes and two keywords:
    // exactly the `expected` calls, the keyword flags and the degree. Then
    // failing at each of those calls in turn gives 0, releases everything
    // and leaves nothing open: a document or workbook opened before the
    // failure (the second call) is closed unsaved (the last call), and
    // nothing else follows the failed call.
    void ExpectCallsAndEveryFailure(const std::function<void(FakeOffice&)>& prepare, const CKeywordArray& keywords,
                                    _FindedConditions conditions, const Calls& expected, const std::vector<int>& flags,
                                    int degree)
    {
        for (std::size_t k = 0; k <= expected.size(); ++k) {
            SCOPED_TRACE("failing call " + std::to_string(k));
            *m_office = FakeOffice();
            prepare(*m_office);
            m_office->failAt = static_cast<int>(k);
            auto record = Record(m_path, 2);
            EXPECT_EQ(Run(record, keywords, conditions), k == 0 ? 1 : 0);
            EXPECT_EQ(m_office->documentsOpen + m_office->workbooksOpen, 0);
            if (k == 0) {
                EXPECT_EQ(m_office->Described(), expected);
                EXPECT_EQ(Flags(record, 2), flags);
                EXPECT_EQ(record.nMatchDegree, degree);
                continue;
            }
            ASSERT_EQ(m_office->calls.size(), k > 2 ? k + 1 : k);
            EXPECT_TRUE(k <= 2 || m_office->calls.back().Describe() == expected.back());
        }
    }

    // What both searches refuse before they ask Office anything leaves the
    // record as it was. A file another program holds is refused by Word
    // and left to Excel.
    void ExpectRefusals()
    {
        CKeywordArray tooMany;
        for (int i = 0; i < 257; ++i) AddKeywords(tooMany, {"x"});
        auto noNul = Record("", 1);
        std::memset(noNul.szFilePath, 'a', sizeof noNul.szFilePath);
        const std::string busy = File("busy" + m_path.substr(m_path.rfind('.')));
        HeldLock holder(busy);
        const struct {
            const char* name;
            _ResultFileInfo record;
            CKeywordArray keywords;
            int result;
        } cases[] = {
            {"no keyword", Record(m_path, 0), CKeywordArray(), -2},
            {"path without NUL", noNul, Keywords({"x"}), 0},
            {"more keywords than flags", Record(m_path, 256), tooMany, 0},
            {"held by another program", Record(busy, 1), Keywords({"x"}), Excel() ? 1 : -1},
        };
        m_office->sheets = {{u"x"}};
        for (const auto& c : cases) {
            auto record = c.record;
            EXPECT_EQ(Run(record, c.keywords, {1, 1, 1, 1, 1, 1}), c.result) << c.name;
            if (c.result == 1) continue;
            EXPECT_TRUE(m_office->calls.empty()) << c.name;
            EXPECT_EQ(std::memcmp(&record, &c.record, sizeof record), 0) << c.name;
        }
    }

    std::shared_ptr<FakeOffice> m_office = std::make_shared<FakeOffice>();
    long m_startObjects = 0;
    TempDir m_tmp{"kestrel-test"};
    std::string m_path;
};

// ---- Word ------------------------------------------------------------------

class WordSearchTest : public OfficeFindTest {
protected:
    bool Excel() const override { return false; }

    std::string OpenCall(const std::string& path, int format) const
    {
        const std::string args = "&str:" + path + Repeat("&bool:false", 3) + Repeat("&str:", 2) + ", &bool:false" +
                                 Repeat("&str:", 2) + ", &i4:" + std::to_string(format) + Repeat("&bool:true", 2);
        if (GetParam() == 9) return "Documents.0xF call(" + args + ")";
        if (GetParam() == 10) return "Documents.0x12 call(" + args + ", &bool:true, &missing, &missing)";
        return "Documents.0x13 call(" + args + ", &bool:false, &bool:true, &missing, &missing)";
    }
    // The calls up to and including Selection.Find.
    Calls Prologue(const std::string& path, int format) const
    {
        Calls out{"WordApp.0x6 get()", OpenCall(path, format)};
        if (GetParam() == 9) out.push_back("WordApp.0x17 put(bool:false)");
        out.insert(out.end(), {"WordApp.0x5 get()", "Selection.0x106 get()"});
        return out;
    }
};

std::string B(int on) { return on ? ", &bool:true" : ", &bool:false"; }

std::string FindCall(const std::string& text, const _FindedConditions& c, bool clearing)
{
    if (clearing)
        return "Find.0x1BC call(&str:" + text + ", &bool:true" + Repeat("&bool:false", 4) +
               ", &bool:true, &i2:2, &bool:false, &str: , &i2:2" + Repeat("&bool:false", 4) + ")";
    return "Find.0x1BC call(&str:" + text + B(c.MatchCase) + B(c.MatchWholeWord) + B(c.MatchWildcards) +
           B(c.MatchSoundsLike) + B(c.MatchAllWordForms) + ", &bool:true, &i2:2, &bool:false, &str:, &i2:0" +
           Repeat("&bool:false", 4) + ")";
}

const std::string kCloseDocument = "Document.0x451 call(&bool:false, &bool:false, &bool:false)";

// Every switch reaches its own argument; clearing the spacing takes one
// tab and eleven double-space passes before every keyword. Keyword text
// reaches Word as UTF-16, and a keyword that fills its element without a
// NUL is cut at the element's end. A failure at any of these calls closes
// the document.
TEST_P(WordSearchTest, MakesExactlyTheDocumentedCallsInOrder)
{
    CKeywordArray keywords = Keywords({"Gr\xc3\xb6\xc3\x9f\x65", ""});
    std::memset(keywords[1].szKeyword, 'k', sizeof keywords[1].szKeyword);
    for (const _FindedConditions conditions :
         {_FindedConditions{1, 0, 1, 0, 1, 0}, _FindedConditions{0, 1, 0, 1, 0, 1}}) {
        Calls expected = Prologue(m_path, 0);
        for (const std::string& keyword : {std::string("Gr\xc3\xb6\xc3\x9f\x65"), std::string(256, 'k')}) {
            if (conditions.ClearSeriesSpace) expected.push_back(FindCall("^t", conditions, true));
            for (int i = 0; conditions.ClearSeriesSpace && i < 11; ++i) expected.push_back(FindCall("  ", conditions, true));
            expected.push_back(FindCall(keyword, conditions, false));
        }
        expected.push_back(kCloseDocument);
        ExpectCallsAndEveryFailure([](FakeOffice& o) { o.wordFinds = {u"Gr\u00f6\u00dfe"}; }, keywords, conditions,
                                   expected, {1, 0}, 50);
    }
}

TEST_P(WordSearchTest, OpenFormatIsZeroOnlyForLowerCaseDocAndDot)
{
    const std::pair<const char*, int> cases[] = {{"a.doc", 0},  {"a.dot", 0}, {"a.DOC", 5},    {"a.Dot", 5},
                                                 {"a.docx", 5}, {"a.txt", 5}, {"page.htm", 5}, {"xdoc", 0}};
    for (const auto& [name, format] : cases) {
        m_office->calls.clear();
        const std::string path = File(name);
        auto record = Record(path, 1);
        ASSERT_EQ(Run(record, Keywords({"k"})), 1) << name;
        EXPECT_EQ(m_office->calls.at(1).Describe(), OpenCall(path, format)) << name;
    }
}

TEST_P(WordSearchTest, MatchDegreeTruncatesAndEveryFlagIsWritten)
{
    // What Word finds, the degree and the flags.
    const std::tuple<std::set<std::u16string>, int, std::vector<int>> cases[] = {{{u"b"}, 33, {0, 1, 0}},
                                                                                 {{u"a", u"c"}, 66, {1, 0, 1}},
                                                                                 {{}, 0, {0, 0, 0}},
                                                                                 {{u"a", u"b", u"c"}, 100, {1, 1, 1}}};
    for (const auto& [finds, degree, flags] : cases) {
        m_office->wordFinds = finds;
        auto record = Record(m_path, 3);
        // The Word search overwrites all n flags, whatever they held.
        record.nKeywordFound[0] = 1;
        record.nKeywordFound[2] = 7;
        ASSERT_EQ(Run(record, Keywords({"a", "b", "c"})), 1);
        EXPECT_EQ(record.nMatchDegree, degree);
        EXPECT_EQ(Flags(record, 3), flags);
        EXPECT_EQ(record.nKeywordFound[3], 0x5A5A5A5A) << "a flag beyond the keywords was written";
        EXPECT_EQ(record.nFileKind, 0x5A5A5A5A);
    }
    // 256 keywords use every flag; 2 of 256 is 0 %, but a file with a find
    // is never hidden.
    CKeywordArray many;
    for (int i = 0; i < 256; ++i) AddKeywords(many, {"k" + std::to_string(i)});
    m_office->wordFinds = {u"k0", u"k255"};
    auto record = Record(m_path, 256);
    ASSERT_EQ(Run(record, many), 1);
    EXPECT_EQ(record.nKeywordFound[255], 1);
    EXPECT_EQ(record.nKeywordFound[128], 0);
    EXPECT_EQ(record.nMatchDegree, 1);
}

TEST_P(WordSearchTest, RefusalsBeforeWordIsAsked)
{
    ExpectRefusals();
}

INSTANTIATE_TEST_SUITE_P(Generations, WordSearchTest, ::testing::Values(9, 10, 11),
                         [](const auto& p) { return "Word" + std::to_string(p.param); });

// ---- Excel -----------------------------------------------------------------

class ExcelSearchTest : public OfficeFindTest {
protected:
    bool Excel() const override { return true; }

    std::string FindCall(const std::string& keyword, bool matchCase) const
    {
        return "Range.0x18E call(str:" + keyword + Repeat("missing", 4) + ", i4:0, bool:" + (matchCase ? "true" : "false") +
               Repeat("missing", GetParam() == 9 ? 1 : 2) + ")";
    }
    Calls Prologue() const
    {
        const std::string open = GetParam() == 9 ? "Workbooks.0x2AA call(str:" + m_path + Repeat("missing", 12)
                                                 : "Workbooks.0x783 call(str:" + m_path + Repeat("missing", 14);
        return {"ExcelApp.0x23C get()", open + ")", "Workbook.0x1EE get()", "Worksheets.0x76 get()"};
    }
};

const std::string kCloseWorkbook = "Workbook.0x115 call(bool:false, str:, bool:false)";

// Only MatchCase matters to a workbook search; the rest must not leak in.
// Keyword text reaches Excel as UTF-16. A failure at any of these calls
// closes the workbook.
TEST_P(ExcelSearchTest, MakesExactlyTheDocumentedCallsInOrder)
{
    for (const int matchCase : {1, 0}) {
        Calls expected = Prologue();
        for (int sheet = 1; sheet <= 2; ++sheet) {
            expected.push_back("Worksheets.0xAA get(i4:" + std::to_string(sheet) + ")");
            expected.push_back("Worksheet.0xEB call(missing)");
            expected.push_back("Worksheet.0xEE get()");
            expected.push_back(FindCall("alpha", matchCase));
            expected.push_back(FindCall("\xc3\x85rsbudget", matchCase));
        }
        expected.push_back(kCloseWorkbook);
        const auto prepare = [](FakeOffice& o) { o.sheets = {{u"ALPHA"}, {u"nothing \u00c5rsbudget"}}; };
        ExpectCallsAndEveryFailure(prepare, Keywords({"alpha", "\xc3\x85rsbudget"}), {matchCase, 1, 1, 1, 1, 1},
                                   expected, {1 - matchCase, 1}, matchCase ? 50 : 100);
    }
}

// A keyword found on several sheets counts once; flags already set are
// neither counted nor changed.
TEST_P(ExcelSearchTest, MatchDegreeCountsEachKeywordOnce)
{
    m_office->sheets = {{u"total sales"}, {u"other b"}, {u"sales again"}};
    auto record = Record(m_path, 3);
    record.nKeywordFound[1] = 1;  // found, but already flagged: not counted
    record.nKeywordFound[2] = 1;  // not found: left as it was
    ASSERT_EQ(Run(record, Keywords({"sales", "b", "none"})), 1);
    EXPECT_EQ(Flags(record, 3), (std::vector<int>{1, 1, 1}));
    EXPECT_EQ(record.nMatchDegree, 33);
    EXPECT_EQ(record.nKeywordFound[3], 0x5A5A5A5A) << "a flag beyond the keywords was written";
}

TEST_P(ExcelSearchTest, RefusalsAndAHeldWorkbookIsLeftToExcel)
{
    ExpectRefusals();
}

INSTANTIATE_TEST_SUITE_P(Generations, ExcelSearchTest, ::testing::Values(9, 10, 11),
                         [](const auto& p) { return "Excel" + std::to_string(p.param); });

}  // namespace
