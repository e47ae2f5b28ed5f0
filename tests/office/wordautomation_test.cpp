// The built-in Word through its automation interface, with the calls an
// automation client makes: objects and their lifetime, argument forms,
// failures, the file left untouched, and each Find switch reaching the
// engine. The engine's own decisions are wordfind_test's.
#include "wordautomation.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>

namespace {

using wordtest::ArgList;
using wordtest::OpenedFile;
using wordtest::Switches;

std::string TempPath(const std::string& name)
{
    return ::testing::TempDir() + "varnel_word_" + std::to_string(::getpid()) + "_" + name;
}

std::string WriteFile(const std::string& name, const std::string& bytes)
{
    const std::string path = TempPath(name);
    std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
    return path;
}

std::string ReadAll(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

class WordAutomation : public ::testing::Test {
protected:
    void SetUp() override
    {
        office::RegisterWordServer();
        m_live = CDispatchObject::LiveObjects();
        ASSERT_EQ(CreateObjectByProgID("Word.Application", &m_app), S_OK);
        ASSERT_EQ(wordtest::GetObject(m_app, 0x6, &m_documents), S_OK);
    }
    void TearDown() override
    {
        if (m_documents != nullptr) m_documents->Release();
        if (m_app != nullptr) m_app->Release();
        EXPECT_EQ(CDispatchObject::LiveObjects(), m_live) << "automation objects leaked";
    }

    // Find.Execute through the application's current selection.
    bool FindInSelection(std::u16string_view word)
    {
        IDispatch* sel = nullptr;
        IDispatch* find = nullptr;
        bool found = false;
        EXPECT_EQ(wordtest::GetObject(m_app, 0x5, &sel), S_OK);
        if (sel == nullptr) return false;
        EXPECT_EQ(wordtest::GetObject(sel, 0x106, &find), S_OK);
        if (find != nullptr) {
            EXPECT_EQ(wordtest::Execute(find, word, {}, u"", 0, found), S_OK);
            find->Release();
        }
        sel->Release();
        return found;
    }

    static HRESULT Invoke(IDispatch* on, DISPID id, ArgList& args, VARIANT* result = nullptr, bool byValue = false)
    {
        DISPPARAMS p = args.Params(byValue);
        VARIANT ignored;
        VariantInit(&ignored);
        const HRESULT hr = on->Invoke(id, DISPATCH_METHOD, &p, result != nullptr ? result : &ignored, nullptr, nullptr);
        VariantClear(&ignored);
        return hr;
    }

    IDispatch* m_app = nullptr;
    IDispatch* m_documents = nullptr;
    long m_live = 0;
};

TEST_F(WordAutomation, SelectionFollowsTheMostRecentOpenDocument)
{
    EXPECT_FALSE(FindInSelection(u"apple"));  // no document: no selection
    IDispatch* doc1 = nullptr;
    IDispatch* doc2 = nullptr;
    ASSERT_EQ(wordtest::Open(m_documents, WriteFile("first.txt", "apple\n"), 11, &doc1), S_OK);
    ASSERT_EQ(wordtest::Open(m_documents, WriteFile("second.txt", "banana\n"), 9, &doc2), S_OK);
    EXPECT_TRUE(FindInSelection(u"banana"));
    EXPECT_FALSE(FindInSelection(u"apple"));
    EXPECT_EQ(wordtest::CloseOrQuit(doc2), S_OK);
    EXPECT_TRUE(FindInSelection(u"apple"));
    doc2->Release();
    // Quit closes what is still open; the caller's reference stays valid.
    EXPECT_EQ(wordtest::CloseOrQuit(m_app), S_OK);
    IDispatch* selection = nullptr;
    EXPECT_EQ(wordtest::GetObject(m_app, 0x5, &selection), S_OK);
    EXPECT_EQ(selection, nullptr);
    doc1->Release();
    // Releasing the application closes a document left open.
    IDispatch* doc3 = nullptr;
    ASSERT_EQ(wordtest::Open(m_documents, WriteFile("left-open.txt", "text\n"), 10, &doc3), S_OK);
    doc3->Release();
    EXPECT_GT(CDispatchObject::LiveObjects(), m_live);
}

// Kestrel's calls pass every argument by reference; other clients pass
// fewer, by value: both reach the same document and the same Find.
TEST_F(WordAutomation, ArgumentFormsAndMembers)
{
    const std::string path = WriteFile("forms.txt", "needle\n");
    VARIANT result;
    VariantInit(&result);
    ArgList onlyPath;
    onlyPath.Str(std::u16string(path.begin(), path.end()));
    ASSERT_EQ(Invoke(m_documents, 0xF, onlyPath, &result, true), S_OK);
    ASSERT_EQ(result.vt, VT_DISPATCH);
    VariantClear(&result);
    ArgList number;
    number.I4(7);
    EXPECT_EQ(Invoke(m_documents, 0x12, number), DISP_E_TYPEMISMATCH);
    // Visible, put as Kestrel does; an unknown member.
    ArgList visible;
    visible.Bool(false);
    DISPPARAMS put = visible.Params(true);
    DISPID named = DISPID_PROPERTYPUT;
    put.rgdispidNamedArgs = &named;
    put.cNamedArgs = 1;
    EXPECT_EQ(m_app->Invoke(0x17, DISPATCH_PROPERTYPUT, &put, nullptr, nullptr, nullptr), S_OK);
    DISPPARAMS none{};
    EXPECT_EQ(m_app->Invoke(0x12345, DISPATCH_METHOD, &none, &result, nullptr, nullptr), DISP_E_MEMBERNOTFOUND);
    // Find.Execute with only the find text: the other arguments are Word's
    // defaults.
    IDispatch* sel = nullptr;
    IDispatch* find = nullptr;
    ASSERT_EQ(wordtest::GetObject(m_app, 0x5, &sel), S_OK);
    ASSERT_EQ(wordtest::GetObject(sel, 0x106, &find), S_OK);
    ArgList onlyText;
    onlyText.Str(u"NEEDLE");
    EXPECT_EQ(Invoke(find, 0x1BC, onlyText, &result), S_OK);
    EXPECT_EQ(result.vt, VT_BOOL);
    EXPECT_EQ(result.boolVal, VARIANT_TRUE);
    find->Release();
    sel->Release();
}

TEST_F(WordAutomation, UnreadableFilesFailWithAnAutomationError)
{
    std::string garbage;
    for (int i = 0; i < 4096; ++i) garbage.push_back(static_cast<char>((i * 7919) % 256));
    for (const std::string& path : {WriteFile("garbage.doc", garbage), TempPath("does-not-exist.txt")}) {
        IDispatch* doc = nullptr;
        EXCEPINFO info{};
        EXPECT_EQ(wordtest::Open(m_documents, path, 11, &doc, &info), DISP_E_EXCEPTION);
        EXPECT_EQ(doc, nullptr);
        EXPECT_FALSE(BstrView(info.bstrDescription).empty());
        wordtest::FreeExcepInfo(info);
        EXPECT_FALSE(FindInSelection(u"x"));
    }
}

TEST_F(WordAutomation, SearchingAndReplacingNeverChangeTheFile)
{
    const std::string bytes = "Tabs\there  and   spaces, Stra\xC3\x9F" "e.\r\nSecond line\n";
    const std::string path = WriteFile("unchanged.txt", bytes);
    struct stat before {};
    ASSERT_EQ(::stat(path.c_str(), &before), 0);
    {
        OpenedFile file(path, 9);
        ASSERT_TRUE(file.Ok());
        file.ClearSpacing();
        EXPECT_TRUE(file.Find(u"tabs here and spaces"));
        EXPECT_TRUE(file.ReplaceAll(u"Second", u"Third"));
        EXPECT_TRUE(file.Find(u"Third line"));
    }
    struct stat after {};
    ASSERT_EQ(::stat(path.c_str(), &after), 0);
    EXPECT_EQ(ReadAll(path), bytes);
    EXPECT_EQ(after.st_mtim.tv_sec, before.st_mtim.tv_sec);
    EXPECT_EQ(after.st_mtim.tv_nsec, before.st_mtim.tv_nsec);
    // The replacement lived in memory only: a new open sees the old text.
    OpenedFile again(path);
    ASSERT_TRUE(again.Ok());
    EXPECT_TRUE(again.Find(u"Second line"));
    EXPECT_FALSE(again.Find(u"Third"));
}

// Each switch of Find.Execute reaches the engine as that switch.
TEST_F(WordAutomation, EachSwitchMakesItsOwnDecision)
{
    const std::string path = WriteFile("decisions.txt",
                                       "R\xC3\xA9sum\xC3\xA9 of Mr Smyth, who sat by the STRASSE in 2024.\n"
                                       "He ran; three mice were funny.\tCatalog entry.\n");
    OpenedFile file(path);
    ASSERT_TRUE(file.Ok());
    const auto with = [](bool Switches::*flag) {
        Switches s;
        s.*flag = true;
        return s;
    };
    const struct {
        const char16_t* find;
        Switches switches;
        bool found;
    } cases[] = {
        {u"R\u00C9SUM\u00C9", {}, true},
        {u"r\u00E9sum\u00E9", with(&Switches::matchCase), false},
        {u"R\u00E9sum\u00E9", with(&Switches::matchCase), true},
        {u"funny.^tCatalog", {}, true},
        {u"cat", {}, true},
        {u"cat", with(&Switches::wholeWord), false},
        {u"m?ce", with(&Switches::wildcards), true},
        {u"m?ce", {}, false},
        {u"Smith", with(&Switches::soundsLike), true},
        {u"Smith", {}, false},
        {u"sit", with(&Switches::wordForms), true},
        {u"mouse", with(&Switches::wordForms), true},
        {u"mouse", {}, false},
    };
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        EXPECT_EQ(file.Find(cases[i].find, cases[i].switches), cases[i].found) << "case " << i;
    }
}

// Documents.Open goes by content, except that a file named as a web page
// (the mask *.htm also matches .html) is one even without html tags.
TEST_F(WordAutomation, ContentDecidesAndWebPageNamesCount)
{
    const struct {
        const char* name;
        const char* bytes;
        const char16_t* found;
        int generation;
    } cases[] = {
        {"page.txt", "<html><body><p>a&amp;b</p></body></html>", u"a&b", 9},
        {"notes.doc", "Just plain notes.\n", u"plain notes", 10},
        {"frag.HTML", "<p>Hello <b>bold</b> world &amp; more</p>", u"Hello bold world & more", 11},
        {"frag.txt", "<p>Hello <b>bold</b> world &amp; more</p>", u"<b>bold</b> world &amp;", 11},
    };
    // Through each generation's Documents.Open.
    for (const auto& c : cases) {
        const std::string path = WriteFile(c.name, c.bytes);
        OpenedFile file(path, c.generation);
        ASSERT_TRUE(file.Ok()) << c.name;
        EXPECT_TRUE(file.Find(c.found)) << c.name;
        EXPECT_FALSE(file.Find(u"monthly")) << c.name;
        std::remove(path.c_str());
    }
}

}  // namespace
