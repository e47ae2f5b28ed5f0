// Kestrel's Word search against the real built-in Word: the whole road of
// one file, from OfficeFind::SearchWord11 through automation to the Find
// engine. Kestrel is linked as Varnel links it.
#include "kestrel/officefind.h"
#include "office/automation/wordapplication.h"
#include "platform/olethread.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <cstring>
#include <fstream>
#include <string>

namespace {

class WordKestrel : public ::testing::Test {
protected:
    void SetUp() override
    {
        CoInitialize(nullptr);
        office::RegisterWordServer();
        m_live = CDispatchObject::LiveObjects();
        ASSERT_TRUE(m_word.CreateDispatch("Word.Application"));
    }
    void TearDown() override
    {
        m_word.ReleaseDispatch();
        EXPECT_EQ(CDispatchObject::LiveObjects(), m_live);
        CoUninitialize();
    }

    std::string WriteFile(const std::string& name, const std::string& text)
    {
        const std::string path = ::testing::TempDir() + "varnel_wk_" + std::to_string(::getpid()) + "_" + name;
        std::ofstream(path, std::ios::binary) << text;
        return path;
    }

    int Search(const std::string& path, std::initializer_list<const char*> words, _FindedConditions c,
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
        return m_find.SearchWord11(info, keys, c, m_word);
    }

    OfficeFind m_find;
    _Word11 m_word;
    long m_live = 0;
};

TEST_F(WordKestrel, ThreeKeywordsTwoFoundGiveDegree66)
{
    const std::string path = WriteFile("three.txt", "The alpha and the gamma of it.\n");
    _ResultFileInfo info{};
    _FindedConditions c{};
    ASSERT_EQ(Search(path, {"alpha", "delta", "GAMMA"}, c, info), 1);
    EXPECT_EQ(info.nKeywordFound[0], 1);
    EXPECT_EQ(info.nKeywordFound[1], 0);
    EXPECT_EQ(info.nKeywordFound[2], 1);
    EXPECT_EQ(info.nMatchDegree, 66);
}

TEST_F(WordKestrel, ClearingHidesKeywordsWithTwoSpaces)
{
    const std::string path = WriteFile("spacing.htm", "<html><body><pre>net  price\tlist</pre></body></html>");
    _ResultFileInfo info{};
    _FindedConditions c{};
    ASSERT_EQ(Search(path, {"net  price", "price list"}, c, info), 1);
    EXPECT_EQ(info.nKeywordFound[0], 1);
    EXPECT_EQ(info.nKeywordFound[1], 0);
    c.ClearSeriesSpace = 1;
    ASSERT_EQ(Search(path, {"net  price", "price list"}, c, info), 1);
    EXPECT_EQ(info.nKeywordFound[0], 0);
    EXPECT_EQ(info.nKeywordFound[1], 1);
    EXPECT_EQ(info.nMatchDegree, 50);
}

TEST_F(WordKestrel, DamagedFileCannotBeSearched)
{
    std::string bytes;
    for (int i = 0; i < 2048; ++i) bytes.push_back(static_cast<char>(i % 7 == 0 ? 0 : i % 251));
    const std::string path = WriteFile("damaged.doc", bytes);
    _ResultFileInfo info{};
    _FindedConditions c{};
    EXPECT_EQ(Search(path, {"anything"}, c, info), 0);
}

}  // namespace
