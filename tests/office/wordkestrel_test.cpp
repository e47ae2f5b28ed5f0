// Kestrel's Word search against the real built-in Word: the whole road of
// one file, from OfficeFind::SearchWord11 through automation to the Find
// engine; and a stop at that seam: a call the stop ends is a failed call
// that says so, and Kestrel abandons the file with nothing left open.
// Kestrel is linked as Varnel links it.
#include "docfixture.h"
#include "kestrel/officefind.h"
#include "office/automation/excelapplication.h"
#include "platform/cancellation.h"
#include "platform/olethread.h"
#include "wordautomation.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

namespace {

// Clears the request however a test ends, so tests stay independent.
struct StopRequested {
    StopRequested() { platform::RequestSearchStop(); }
    ~StopRequested() { platform::ClearSearchStop(); }
};

class WordKestrel : public ::testing::Test {
protected:
    void SetUp() override
    {
        CoInitialize(nullptr);
        office::RegisterWordServer();
        office::RegisterExcelServer();
        m_live = CDispatchObject::LiveObjects();
        ASSERT_TRUE(m_word.CreateDispatch("Word.Application"));
    }
    void TearDown() override
    {
        platform::ClearSearchStop();
        m_word.ReleaseDispatch();
        EXPECT_EQ(CDispatchObject::LiveObjects(), m_live);
        CoUninitialize();
        for (const std::string& f : m_files) std::remove(f.c_str());
    }

    std::string WriteFile(const std::string& name, const std::string& bytes)
    {
        const std::string path = ::testing::TempDir() + "varnel_wk_" + std::to_string(::getpid()) + "_" + name;
        std::ofstream(path, std::ios::binary) << bytes;
        m_files.push_back(path);
        return path;
    }

    std::string WordBinary(const std::string& name, const std::string& text)
    {
        docbin::Word97 d;
        d.text = docbin::Latin(text);
        d.ccp[0] = static_cast<std::uint32_t>(text.size());
        d.pieces = {{d.ccp[0], static_cast<std::uint32_t>(docbin::Word97::kTextAt), true}};
        const docbin::Bytes bytes = d.Build();
        return WriteFile(name, std::string(bytes.begin(), bytes.end()));
    }

    static CArray<_FindKeyWord, _FindKeyWord> Keywords(std::initializer_list<const char*> words)
    {
        CArray<_FindKeyWord, _FindKeyWord> keys;
        for (const char* w : words) {
            _FindKeyWord k{};
            std::strncpy(k.szKeyword, w, sizeof k.szKeyword - 1);
            keys.Add(k);
        }
        return keys;
    }

    int Search(const std::string& path, std::initializer_list<const char*> words, _FindedConditions c)
    {
        std::memset(&m_info, 0, sizeof m_info);
        std::strncpy(m_info.szFilePath, path.c_str(), sizeof m_info.szFilePath - 1);
        return m_find.SearchWord11(m_info, Keywords(words), c, m_word);
    }

    OfficeFind m_find;
    _Word11 m_word;
    _ResultFileInfo m_info{};
    long m_live = 0;
    std::vector<std::string> m_files;
};

TEST_F(WordKestrel, KeywordsFoundGiveTheDegree)
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

TEST_F(WordKestrel, ClearingHidesKeywordsWithTwoSpaces)
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

TEST_F(WordKestrel, StopMakesOpenAndFindExecuteFailAsStopped)
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

TEST_F(WordKestrel, StoppedSearchAbandonsTheFileAndLeavesNothingOpen)
{
    const std::string docPath = WordBinary("b.doc", "find me here\r");
    const std::string bookPath = std::string(VARNEL_TEST_DATA) + "/excel/book.xls";
    _Excel11 excel;
    ASSERT_TRUE(excel.CreateDispatch("Excel.Application"));
    const long withApplications = CDispatchObject::LiveObjects();
    const _FindedConditions clearing{0, 0, 0, 0, 0, 1};
    {
        StopRequested stop;
        EXPECT_EQ(Search(docPath, {"find me", "zebra"}, clearing), 0);
        std::memset(&m_info, 0, sizeof m_info);
        std::strncpy(m_info.szFilePath, bookPath.c_str(), sizeof m_info.szFilePath - 1);
        EXPECT_EQ(m_find.SearchExcel11(m_info, Keywords({"find me", "zebra"}), {}, excel), 0);
        // No document or workbook stays open in the applications.
        EXPECT_EQ(CDispatchObject::LiveObjects(), withApplications);
    }
    EXPECT_EQ(Search(docPath, {"find me", "zebra"}, clearing), 1);
    EXPECT_EQ(m_info.nMatchDegree, 50);
    std::memset(&m_info, 0, sizeof m_info);
    std::strncpy(m_info.szFilePath, bookPath.c_str(), sizeof m_info.szFilePath - 1);
    EXPECT_EQ(m_find.SearchExcel11(m_info, Keywords({"find me", "zebra"}), {}, excel), 1);
    EXPECT_EQ(m_info.nMatchDegree, 50);
    excel.ReleaseDispatch();
}

}  // namespace
