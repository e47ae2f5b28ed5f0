// The built-in Word through its automation interface, with the calls an
// automation client makes: objects and their lifetime, argument forms,
// failures, a stop, the file left untouched, and a web page's name
// reaching the reader. Each Find switch reaching the engine is findshortcuts_test's (every
// combination, against the engine); the engine's own decisions are
// wordfind_test's.
#include "wordautomation.h"
#include "docfixture.h"
#include "platform/cancellation.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <iterator>
#include <tuple>

namespace {

using wordtest::Arg;
using wordtest::Call;
using wordtest::CallResult;
using wordtest::Get;

class WordAutomation : public ::testing::Test {
protected:
    void SetUp() override
    {
        office::RegisterWordServer();
        m_live = CDispatchObject::LiveObjects();
        ASSERT_EQ(CreateObjectByProgID("Word.Application", &m_app), S_OK);
        m_documents = Get(m_app, 0x6);
        ASSERT_NE(m_documents, nullptr);
    }
    void TearDown() override
    {
        if (m_documents != nullptr) m_documents->Release();
        if (m_app != nullptr) m_app->Release();
        EXPECT_EQ(CDispatchObject::LiveObjects(), m_live) << "automation objects leaked";
    }

    // The Find object of the application's current selection, or null; the
    // caller releases it.
    IDispatch* FindObject()
    {
        IDispatch* sel = Get(m_app, 0x5);
        IDispatch* find = sel != nullptr ? Get(sel, 0x106) : nullptr;
        if (sel != nullptr) sel->Release();
        return find;
    }
    // Find.Execute through the current selection, as Kestrel calls it; false
    // without a selection.
    bool Execute(std::u16string_view text, const wordtest::Switches& s = {}, std::u16string_view with = u"",
                 short replace = 0)
    {
        IDispatch* find = FindObject();
        if (find == nullptr) return false;
        const CallResult r = wordtest::Execute(find, text, s, with, replace);
        find->Release();
        EXPECT_EQ(r.hr, S_OK);
        return wordtest::Found(r);
    }
    IDispatch* OpenOk(const std::string& name, const std::string& text, int generation)
    {
        CallResult r = wordtest::Open(m_documents, m_files.Write(name, text), generation);
        EXPECT_EQ(r.hr, S_OK);
        return r.TakeDispatch();
    }

    wordtest::TempFiles m_files;
    IDispatch* m_app = nullptr;
    IDispatch* m_documents = nullptr;
    long m_live = 0;
};

TEST_F(WordAutomation, SelectionFollowsTheMostRecentOpenDocument)
{
    EXPECT_FALSE(Execute(u"apple"));  // no document: no selection
    IDispatch* doc1 = OpenOk("first.txt", "apple\n", 11);
    IDispatch* doc2 = OpenOk("second.txt", "banana\n", 9);
    ASSERT_TRUE(doc1 != nullptr && doc2 != nullptr);
    EXPECT_TRUE(Execute(u"banana"));
    EXPECT_FALSE(Execute(u"apple"));
    EXPECT_EQ(wordtest::CloseOrQuit(doc2), S_OK);
    EXPECT_TRUE(Execute(u"apple"));
    doc2->Release();
    // Quit closes what is still open; the caller's reference stays valid.
    EXPECT_EQ(wordtest::CloseOrQuit(m_app), S_OK);
    EXPECT_EQ(Get(m_app, 0x5), nullptr);
    doc1->Release();
    // Releasing the application closes a document left open.
    IDispatch* doc3 = OpenOk("left-open.txt", "text\n", 10);
    ASSERT_NE(doc3, nullptr);
    doc3->Release();
    EXPECT_GT(CDispatchObject::LiveObjects(), m_live);
}

// Kestrel's calls pass every argument by reference; other clients pass
// fewer, by value: both reach the same document and the same Find.
TEST_F(WordAutomation, ArgumentFormsAndMembers)
{
    const std::string path = m_files.Write("forms.txt", std::string("needle\n"));
    {
        CallResult opened = Call(m_documents, 0xF, DISPATCH_METHOD, {Arg::Str(std::u16string(path.begin(), path.end()))});
        ASSERT_EQ(opened.hr, S_OK);
        ASSERT_EQ(opened.value.vt, VT_DISPATCH);
    }
    EXPECT_EQ(Call(m_documents, 0x12, DISPATCH_METHOD, {Arg::I4(7)}, true).hr, DISP_E_TYPEMISMATCH);
    // Visible, put as Kestrel does; an unknown member.
    EXPECT_EQ(Call(m_app, 0x17, DISPATCH_PROPERTYPUT, {Arg::Bool(false)}).hr, S_OK);
    EXPECT_EQ(Call(m_app, 0x12345, DISPATCH_METHOD).hr, DISP_E_MEMBERNOTFOUND);
    // Find.Execute with only the find text: the other arguments are Word's
    // defaults.
    IDispatch* find = FindObject();
    ASSERT_NE(find, nullptr);
    const CallResult r = Call(find, 0x1BC, DISPATCH_METHOD, {Arg::Str(u"NEEDLE")}, true);
    find->Release();
    EXPECT_EQ(r.hr, S_OK);
    EXPECT_TRUE(wordtest::Found(r));
}

TEST_F(WordAutomation, UnreadableFilesFailWithAnAutomationError)
{
    std::string garbage;
    for (int i = 0; i < 4096; ++i) garbage.push_back(static_cast<char>((i * 7919) % 256));
    for (const std::string& path : {m_files.Write("garbage.doc", garbage), m_files.Path("does-not-exist.txt")}) {
        CallResult r = wordtest::Open(m_documents, path);
        EXPECT_EQ(r.hr, DISP_E_EXCEPTION);
        EXPECT_EQ(r.TakeDispatch(), nullptr);
        EXPECT_FALSE(r.description.empty());
        EXPECT_FALSE(Execute(u"x"));
    }
}

TEST_F(WordAutomation, SearchingAndReplacingNeverChangeTheFile)
{
    const std::string bytes = "Tabs\there  and   spaces, Stra\xC3\x9F" "e.\r\nSecond line\n";
    const std::string path = m_files.Write("unchanged.txt", bytes);
    struct stat before {};
    ASSERT_EQ(::stat(path.c_str(), &before), 0);
    IDispatch* doc = wordtest::Open(m_documents, path, 9).TakeDispatch();
    ASSERT_NE(doc, nullptr);
    // Kestrel's spacing clearing replaces too.
    EXPECT_TRUE(Execute(u"^t", {true}, u" ", 2));
    EXPECT_TRUE(Execute(u"Second", {}, u"Third", 2));
    EXPECT_TRUE(Execute(u"Third line"));
    EXPECT_EQ(wordtest::CloseOrQuit(doc), S_OK);
    doc->Release();
    struct stat after {};
    ASSERT_EQ(::stat(path.c_str(), &after), 0);
    std::ifstream in(path, std::ios::binary);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()), bytes);
    EXPECT_EQ(after.st_mtim.tv_sec, before.st_mtim.tv_sec);
    EXPECT_EQ(after.st_mtim.tv_nsec, before.st_mtim.tv_nsec);
    // The replacement lived in memory only: a new open sees the old text.
    IDispatch* again = wordtest::Open(m_documents, path).TakeDispatch();
    ASSERT_NE(again, nullptr);
    EXPECT_TRUE(Execute(u"Second line"));
    EXPECT_FALSE(Execute(u"Third"));
    again->Release();
}

// Under a stop, Open and Find.Execute fail as stopped, leaving nothing
// open; once the stop is cleared, both work again.
TEST_F(WordAutomation, StopFailsOpenAndFindUntilCleared)
{
    const std::string path = m_files.Write("stop.doc", docbin::Word97Of(u"find me here\r"));
    IDispatch* doc = wordtest::Open(m_documents, path).TakeDispatch();
    IDispatch* find = FindObject();
    ASSERT_TRUE(doc != nullptr && find != nullptr);
    platform::RequestSearchStop();
    for (const CallResult& r : {wordtest::Open(m_documents, path), wordtest::Execute(find, u"me")}) {
        EXPECT_EQ(r.hr, DISP_E_EXCEPTION);
        EXPECT_EQ(r.scode, E_ABORT);
    }
    platform::ClearSearchStop();
    find->Release();
    EXPECT_TRUE(Execute(u"me"));
    doc->Release();
}

// Documents.Open goes by content, except that a file named as a web page
// (the mask *.htm also matches .html) is one even without html tags. The
// readers' choice by content is wordreaders_test's.
TEST_F(WordAutomation, ContentDecidesAndWebPageNamesCount)
{
    const std::tuple<const char*, const char*, const char16_t*> cases[] = {
        {"frag.HTML", "<p>Hello <b>bold</b> world &amp; more</p>", u"Hello bold world & more"},
        {"frag.txt", "<p>Hello <b>bold</b> world &amp; more</p>", u"<b>bold</b> world &amp;"},
    };
    for (const auto& [name, bytes, found] : cases) {
        IDispatch* doc = OpenOk(name, bytes, 11);
        ASSERT_NE(doc, nullptr) << name;
        EXPECT_TRUE(Execute(found)) << name;
        EXPECT_FALSE(Execute(u"monthly")) << name;
        doc->Release();
    }
}

}  // namespace
