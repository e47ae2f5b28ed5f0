// OfficeFind's Word searches against the recording fake Word: the exact
// calls of each generation, the result codes, the match degree, failures at
// every step, and that no automation object outlives a call.
#include "kestrel/officefind.h"
#include "platform/olethread.h"
#include "tests/kestrel/support/fakeoffice.h"
#include "tests/kestrel/support/kestreltest.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace kestreltest;

namespace {

std::string B(bool on) { return on ? "&bool:true" : "&bool:false"; }

std::string OpenCall(int generation, const std::string& path, int format)
{
    std::string args = "&str:" + path + ", &bool:false, &bool:false, &bool:false, &str:, &str:, &bool:false, &str:, &str:, &i4:"
                       + std::to_string(format) + ", &bool:true, &bool:true";
    if (generation == 9) return "Documents.0xF call(" + args + ")";
    if (generation == 10) return "Documents.0x12 call(" + args + ", &bool:true, &missing, &missing)";
    return "Documents.0x13 call(" + args + ", &bool:false, &bool:true, &missing, &missing)";
}

std::string ClearPass(const std::string& text)
{
    return "Find.0x1BC call(&str:" + text
           + ", &bool:true, &bool:false, &bool:false, &bool:false, &bool:false, &bool:true, &i2:2, &bool:false, &str: , "
             "&i2:2, &bool:false, &bool:false, &bool:false, &bool:false)";
}

std::string KeywordSearch(const std::string& keyword, const _FindedConditions& c)
{
    return "Find.0x1BC call(&str:" + keyword + ", " + B(c.MatchCase) + ", " + B(c.MatchWholeWord) + ", "
           + B(c.MatchWildcards) + ", " + B(c.MatchSoundsLike) + ", " + B(c.MatchAllWordForms)
           + ", &bool:true, &i2:2, &bool:false, &str:, &i2:0, &bool:false, &bool:false, &bool:false, &bool:false)";
}

const std::string kClose = "Document.0x451 call(&bool:false, &bool:false, &bool:false)";

class WordSearchTest : public ::testing::TestWithParam<int> {
protected:
    void SetUp() override
    {
        CoInitialize(nullptr);
        m_office = std::make_shared<FakeOffice>();
        InstallFakeWord(m_office);
        m_startObjects = CDispatchObject::LiveObjects();
    }

    void TearDown() override
    {
        EXPECT_EQ(CDispatchObject::LiveObjects(), m_startObjects) << "an automation object leaked";
        RemoveFakes();
        CoUninitialize();
    }

    // Runs the generation under test against a fresh fake Word and checks
    // that the call itself leaves no object behind.
    int Run(_ResultFileInfo& record, const CKeywordArray& keywords, _FindedConditions conditions)
    {
        OfficeFind finder;
        int result = 99;
        auto call = [&](auto& app, auto method) {
            EXPECT_TRUE(app.CreateDispatch("Word.Application"));
            const long before = CDispatchObject::LiveObjects();
            result = (finder.*method)(record, keywords, conditions, app);
            EXPECT_EQ(CDispatchObject::LiveObjects(), before) << "objects alive after the call";
        };
        switch (GetParam()) {
        case 9: { _Word9 app; call(app, &OfficeFind::SearchWord9); break; }
        case 10: { _Word10 app; call(app, &OfficeFind::SearchWord10); break; }
        default: { _Word11 app; call(app, &OfficeFind::SearchWord11); break; }
        }
        return result;
    }

    // The calls up to and including Selection.Find.
    std::vector<std::string> Prologue(const std::string& path, int format) const
    {
        std::vector<std::string> out{"WordApp.0x6 get()", OpenCall(GetParam(), path, format)};
        if (GetParam() == 9) out.push_back("WordApp.0x17 put(bool:false)");
        out.push_back("WordApp.0x5 get()");
        out.push_back("Selection.0x106 get()");
        return out;
    }

    std::shared_ptr<FakeOffice> m_office;
    long m_startObjects = 0;
    ScratchDir m_dir;
};

TEST_P(WordSearchTest, MakesExactlyTheDocumentedCallsInOrder)
{
    const std::string path = m_dir.File("report.doc");
    const auto conditions = Conditions(1, 0, 1, 0, 1, 0);
    m_office->wordFinds = {u"beta"};
    auto record = Record(path, 2);
    ASSERT_EQ(Run(record, Keywords({"alpha", "beta"}), conditions), 1);

    auto expected = Prologue(path, 0);
    expected.push_back(KeywordSearch("alpha", conditions));
    expected.push_back(KeywordSearch("beta", conditions));
    expected.push_back(kClose);
    EXPECT_EQ(m_office->Described(), expected);
    EXPECT_EQ(record.nKeywordFound[0], 0);
    EXPECT_EQ(record.nKeywordFound[1], 1);
    EXPECT_EQ(record.nMatchDegree, 50);
    EXPECT_EQ(m_office->documentsOpen, 0);
}

TEST_P(WordSearchTest, ClearsSpacingWithOneTabAndElevenSpacePassesBeforeEveryKeyword)
{
    const std::string path = m_dir.File("notes.txt");
    const auto conditions = Conditions(0, 1, 0, 1, 0, 1);
    auto record = Record(path, 2);
    ASSERT_EQ(Run(record, Keywords({"one", "two words"}), conditions), 1);

    auto expected = Prologue(path, 5);
    for (const char* keyword : {"one", "two words"}) {
        expected.push_back(ClearPass("^t"));
        for (int i = 0; i < 11; ++i) expected.push_back(ClearPass("  "));
        expected.push_back(KeywordSearch(keyword, conditions));
    }
    expected.push_back(kClose);
    EXPECT_EQ(m_office->Described(), expected);
}

TEST_P(WordSearchTest, OpenFormatIsZeroOnlyForLowerCaseDocAndDot)
{
    const struct {
        const char* name;
        int format;
    } cases[] = {{"a.doc", 0}, {"a.dot", 0}, {"a.DOC", 5}, {"a.Dot", 5}, {"a.docx", 5},
                 {"a.txt", 5}, {"page.htm", 5}, {"xdoc", 0}};
    for (const auto& c : cases) {
        m_office->calls.clear();
        const std::string path = m_dir.File(c.name);
        auto record = Record(path, 1);
        ASSERT_EQ(Run(record, Keywords({"k"}), Conditions(0, 0, 0, 0, 0, 0)), 1) << c.name;
        ASSERT_GE(m_office->calls.size(), 2u);
        EXPECT_EQ(m_office->calls[1].Describe(), OpenCall(GetParam(), path, c.format)) << c.name;
    }
}

TEST_P(WordSearchTest, MatchDegreeTruncatesAndEveryFlagIsWritten)
{
    const std::string path = m_dir.File("d.doc");
    const struct {
        std::set<std::u16string> finds;
        int degree;
        int flags[3];
    } cases[] = {{{u"b"}, 33, {0, 1, 0}}, {{u"a", u"c"}, 66, {1, 0, 1}}, {{}, 0, {0, 0, 0}}, {{u"a", u"b", u"c"}, 100, {1, 1, 1}}};
    for (const auto& c : cases) {
        m_office->wordFinds = c.finds;
        auto record = Record(path, 3);
        // The Word search overwrites all n flags, whatever they held.
        record.nKeywordFound[0] = 1;
        record.nKeywordFound[2] = 7;
        ASSERT_EQ(Run(record, Keywords({"a", "b", "c"}), Conditions(0, 0, 0, 0, 0, 0)), 1);
        EXPECT_EQ(record.nMatchDegree, c.degree);
        for (int i = 0; i < 3; ++i) EXPECT_EQ(record.nKeywordFound[i], c.flags[i]) << i;
        EXPECT_EQ(record.nKeywordFound[3], 0x5A5A5A5A) << "a flag beyond the keywords was written";
        EXPECT_EQ(record.nFileKind, 0x5A5A5A5A);
    }
}

TEST_P(WordSearchTest, EmptyKeywordArrayReturnsMinusTwoAndTouchesNothing)
{
    auto record = Record(m_dir.File("a.doc"), 0);
    const auto before = record;
    EXPECT_EQ(Run(record, CKeywordArray(), Conditions(1, 1, 1, 1, 1, 1)), -2);
    EXPECT_TRUE(m_office->calls.empty());
    EXPECT_EQ(std::memcmp(&record, &before, sizeof record), 0);
}

TEST_P(WordSearchTest, FileHeldByAnotherProgramReturnsMinusOneBeforeWordIsAsked)
{
    const std::string path = m_dir.File("busy.doc");
    LockingProcess holder(path);
    ASSERT_TRUE(holder.Locked());
    auto record = Record(path, 1);
    const auto before = record;
    EXPECT_EQ(Run(record, Keywords({"x"}), Conditions(0, 0, 0, 0, 0, 0)), -1);
    EXPECT_TRUE(m_office->calls.empty());
    EXPECT_EQ(std::memcmp(&record, &before, sizeof record), 0);
}

TEST_P(WordSearchTest, MissingFileIsLeftForWordToRefuse)
{
    const std::string path = m_dir.Path() + "/absent.doc";
    m_office->failAt = 2;  // Documents.Open refuses it
    auto record = Record(path, 1);
    EXPECT_EQ(Run(record, Keywords({"x"}), Conditions(0, 0, 0, 0, 0, 0)), 0);
    ASSERT_EQ(m_office->calls.size(), 2u);
    EXPECT_EQ(m_office->calls[1].Describe(), OpenCall(GetParam(), path, 0));
}

TEST_P(WordSearchTest, NoDocumentsNoDocumentOrNoSelectionGiveZero)
{
    const std::string path = m_dir.File("a.doc");
    m_office->noDocuments = true;
    auto record = Record(path, 1);
    EXPECT_EQ(Run(record, Keywords({"x"}), Conditions(0, 0, 0, 0, 0, 0)), 0);
    EXPECT_EQ(m_office->Described(), std::vector<std::string>{"WordApp.0x6 get()"});

    *m_office = FakeOffice();
    m_office->openGivesNone = true;
    EXPECT_EQ(Run(record, Keywords({"x"}), Conditions(0, 0, 0, 0, 0, 0)), 0);
    EXPECT_EQ(m_office->calls.size(), 2u);

    // Without a Selection the opened document is closed before giving up.
    *m_office = FakeOffice();
    m_office->noSelection = true;
    EXPECT_EQ(Run(record, Keywords({"x"}), Conditions(0, 0, 0, 0, 0, 0)), 0);
    auto expected = Prologue(path, 0);
    expected.pop_back();  // no Selection.Find
    expected.push_back(kClose);
    EXPECT_EQ(m_office->Described(), expected);
    EXPECT_EQ(m_office->documentsOpen, 0);
}

// A failure at any call gives 0, releases everything, and leaves no
// document open: one opened before the failure is closed unsaved.
TEST_P(WordSearchTest, FailureAtEveryStepGivesZeroAndClosesTheDocument)
{
    const std::string path = m_dir.File("damaged.doc");
    const auto conditions = Conditions(1, 1, 1, 1, 1, 1);
    const auto keywords = Keywords({"a", "b"});
    m_office->wordFinds = {u"a"};
    auto record = Record(path, 2);
    ASSERT_EQ(Run(record, keywords, conditions), 1);
    const std::size_t total = m_office->calls.size();
    ASSERT_EQ(total, (GetParam() == 9 ? 6u : 5u) + 2u * 13u);
    const std::size_t openIndex = 1;

    for (bool withException : {true, false}) {
        for (std::size_t k = 1; k <= total; ++k) {
            *m_office = FakeOffice();
            m_office->wordFinds = {u"a"};
            m_office->failAt = static_cast<int>(k);
            m_office->failWithException = withException;
            record = Record(path, 2);
            EXPECT_EQ(Run(record, keywords, conditions), 0) << "failing call " << k;
            EXPECT_EQ(m_office->documentsOpen, 0) << "failing call " << k;
            if (k - 1 > openIndex) {
                // Nothing after the failed call but the clean-up close.
                ASSERT_EQ(m_office->calls.size(), k + 1) << "failing call " << k;
                EXPECT_EQ(m_office->calls.back().Describe(), kClose);
            } else {
                EXPECT_EQ(m_office->calls.size(), k);
            }
        }
    }
}

TEST_P(WordSearchTest, KeywordTextTravelsAsUtf16)
{
    const std::string path = m_dir.File("u.doc");
    m_office->wordFinds = {u"Gr\u00f6\u00dfe"};
    auto record = Record(path, 2);
    ASSERT_EQ(Run(record, Keywords({"Gr\xc3\xb6\xc3\x9f" "e", "Grosse"}), Conditions(0, 0, 0, 0, 0, 0)), 1);
    EXPECT_EQ(record.nKeywordFound[0], 1);
    EXPECT_EQ(record.nKeywordFound[1], 0);
}

TEST_P(WordSearchTest, KeywordFillingAllItsBytesIsCutAtTheElement)
{
    CKeywordArray keywords;
    _FindKeyWord full;
    std::memset(full.szKeyword, 'k', sizeof full.szKeyword);  // no terminating NUL
    keywords.Add(full);
    m_office->wordFinds = {std::u16string(256, u'k')};
    auto record = Record(m_dir.File("k.doc"), 1);
    ASSERT_EQ(Run(record, keywords, Conditions(0, 0, 0, 0, 0, 0)), 1);
    EXPECT_EQ(record.nKeywordFound[0], 1);
}

TEST_P(WordSearchTest, UnsafeRecordsAreRefusedBeforeAnythingIsOpened)
{
    // A path without its terminating NUL.
    auto record = Record("", 1);
    std::memset(record.szFilePath, 'a', sizeof record.szFilePath);
    EXPECT_EQ(Run(record, Keywords({"x"}), Conditions(0, 0, 0, 0, 0, 0)), 0);
    EXPECT_TRUE(m_office->calls.empty());

    // More keywords than the record has flags for.
    CKeywordArray many;
    for (int i = 0; i < 257; ++i) many.Add(Keywords({"x"})[0]);
    record = Record(m_dir.File("a.doc"), 256);
    EXPECT_EQ(Run(record, many, Conditions(0, 0, 0, 0, 0, 0)), 0);
    EXPECT_TRUE(m_office->calls.empty());
}

TEST_P(WordSearchTest, TwoHundredFiftySixKeywordsUseEveryFlag)
{
    CKeywordArray many;
    for (int i = 0; i < 256; ++i) many.Add(Keywords({("k" + std::to_string(i)).c_str()})[0]);
    m_office->wordFinds = {u"k0", u"k255"};
    auto record = Record(m_dir.File("m.doc"), 256);
    ASSERT_EQ(Run(record, many, Conditions(0, 0, 0, 0, 0, 0)), 1);
    EXPECT_EQ(record.nKeywordFound[0], 1);
    EXPECT_EQ(record.nKeywordFound[255], 1);
    EXPECT_EQ(record.nKeywordFound[128], 0);
    EXPECT_EQ(record.nMatchDegree, 1);  // 2 * 100 / 256 is 0, but a file with a find is never hidden
}

INSTANTIATE_TEST_SUITE_P(Generations, WordSearchTest, ::testing::Values(9, 10, 11),
                         [](const auto& p) { return "Word" + std::to_string(p.param); });

}  // namespace
