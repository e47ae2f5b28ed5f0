// The built-in Word through its automation interface, with the calls an
// automation client makes: objects, argument forms, failures, reference
// counts, and every matching decision on real files.
#include "wordautomation.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

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
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
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
    }
    void TearDown() override { EXPECT_EQ(CDispatchObject::LiveObjects(), m_live) << "automation objects leaked"; }

    long m_live = 0;
};

// ---- Objects and their lifetime -------------------------------------------------

TEST_F(WordAutomation, EveryGenerationOpensSearchesAndCloses)
{
    const std::string path = WriteFile("gen.txt", "The annual report.\n");
    for (int generation : {9, 10, 11}) {
        OpenedFile file(path, generation);
        ASSERT_TRUE(file.Ok()) << generation;
        EXPECT_TRUE(file.Find(u"annual")) << generation;
        EXPECT_FALSE(file.Find(u"monthly")) << generation;
    }
}

TEST_F(WordAutomation, SelectionFollowsTheMostRecentOpenDocument)
{
    const std::string first = WriteFile("first.txt", "apple\n");
    const std::string second = WriteFile("second.txt", "banana\n");
    IDispatch* app = nullptr;
    ASSERT_EQ(CreateObjectByProgID("Word.Application", &app), S_OK);
    IDispatch* selection = nullptr;
    ASSERT_EQ(wordtest::GetObject(app, 0x5, &selection), S_OK);
    EXPECT_EQ(selection, nullptr);  // no document: none

    IDispatch* documents = nullptr;
    ASSERT_EQ(wordtest::GetObject(app, 0x6, &documents), S_OK);
    IDispatch* doc1 = nullptr;
    IDispatch* doc2 = nullptr;
    ASSERT_EQ(wordtest::Open(documents, first, 11, &doc1), S_OK);
    ASSERT_EQ(wordtest::Open(documents, second, 9, &doc2), S_OK);

    auto findIn = [app](std::u16string_view word) {
        IDispatch* sel = nullptr;
        IDispatch* find = nullptr;
        bool found = false;
        EXPECT_EQ(wordtest::GetObject(app, 0x5, &sel), S_OK);
        if (sel == nullptr) return false;
        EXPECT_EQ(wordtest::GetObject(sel, 0x106, &find), S_OK);
        if (find != nullptr) {
            EXPECT_EQ(wordtest::Execute(find, word, {}, u"", 0, found), S_OK);
            find->Release();
        }
        sel->Release();
        return found;
    };
    EXPECT_TRUE(findIn(u"banana"));
    EXPECT_FALSE(findIn(u"apple"));
    EXPECT_EQ(wordtest::CloseOrQuit(doc2), S_OK);
    EXPECT_TRUE(findIn(u"apple"));
    doc2->Release();

    // Quit closes what is still open; the caller's reference stays valid.
    EXPECT_EQ(wordtest::CloseOrQuit(app), S_OK);
    EXPECT_EQ(wordtest::GetObject(app, 0x5, &selection), S_OK);
    EXPECT_EQ(selection, nullptr);
    doc1->Release();
    documents->Release();
    app->Release();
}

TEST_F(WordAutomation, ReleasingTheApplicationClosesOpenDocuments)
{
    const std::string path = WriteFile("left-open.txt", "text\n");
    IDispatch* app = nullptr;
    ASSERT_EQ(CreateObjectByProgID("Word.Application", &app), S_OK);
    IDispatch* documents = nullptr;
    ASSERT_EQ(wordtest::GetObject(app, 0x6, &documents), S_OK);
    IDispatch* doc = nullptr;
    ASSERT_EQ(wordtest::Open(documents, path, 10, &doc), S_OK);
    doc->Release();
    documents->Release();
    EXPECT_GT(CDispatchObject::LiveObjects(), m_live);
    app->Release();  // TearDown checks that nothing is left
}

TEST_F(WordAutomation, VisibleAndUnknownMembers)
{
    IDispatch* app = nullptr;
    ASSERT_EQ(CreateObjectByProgID("Word.Application", &app), S_OK);
    ArgList a;
    a.Bool(false);
    DISPPARAMS put = a.Params(true);
    DISPID named = DISPID_PROPERTYPUT;
    put.rgdispidNamedArgs = &named;
    put.cNamedArgs = 1;
    EXPECT_EQ(app->Invoke(0x17, DISPATCH_PROPERTYPUT, &put, nullptr, nullptr, nullptr), S_OK);
    VARIANT v;
    VariantInit(&v);
    DISPPARAMS none{};
    EXPECT_EQ(app->Invoke(0x17, DISPATCH_PROPERTYGET, &none, &v, nullptr, nullptr), S_OK);
    EXPECT_EQ(v.vt, VT_BOOL);
    EXPECT_EQ(v.boolVal, VARIANT_FALSE);
    EXPECT_EQ(app->Invoke(0x12345, DISPATCH_METHOD, &none, &v, nullptr, nullptr), DISP_E_MEMBERNOTFOUND);

    const std::string path = WriteFile("members.txt", "x\n");
    {
        IDispatch* documents = nullptr;
        ASSERT_EQ(wordtest::GetObject(app, 0x6, &documents), S_OK);
        EXPECT_EQ(documents->Invoke(0x77, DISPATCH_METHOD, &none, &v, nullptr, nullptr), DISP_E_MEMBERNOTFOUND);
        IDispatch* doc = nullptr;
        ASSERT_EQ(wordtest::Open(documents, path, 11, &doc), S_OK);
        EXPECT_EQ(doc->Invoke(0x77, DISPATCH_METHOD, &none, &v, nullptr, nullptr), DISP_E_MEMBERNOTFOUND);
        IDispatch* selection = nullptr;
        ASSERT_EQ(wordtest::GetObject(app, 0x5, &selection), S_OK);
        EXPECT_EQ(selection->Invoke(0x77, DISPATCH_PROPERTYGET, &none, &v, nullptr, nullptr), DISP_E_MEMBERNOTFOUND);
        IDispatch* find = nullptr;
        ASSERT_EQ(wordtest::GetObject(selection, 0x106, &find), S_OK);
        EXPECT_EQ(find->Invoke(0x77, DISPATCH_METHOD, &none, &v, nullptr, nullptr), DISP_E_MEMBERNOTFOUND);
        find->Release();
        selection->Release();
        doc->Release();
        documents->Release();
    }
    app->Release();
}

// ---- Arguments --------------------------------------------------------------------

TEST_F(WordAutomation, OpenAcceptsEveryArgumentFormAndRefusesWrongOnes)
{
    const std::string path = WriteFile("forms.txt", "content\n");
    IDispatch* app = nullptr;
    ASSERT_EQ(CreateObjectByProgID("Word.Application", &app), S_OK);
    IDispatch* documents = nullptr;
    ASSERT_EQ(wordtest::GetObject(app, 0x6, &documents), S_OK);
    VARIANT result;

    // Only the path, by value.
    {
        ArgList a;
        a.Str(std::u16string(path.begin(), path.end()));
        DISPPARAMS p = a.Params(true);
        VariantInit(&result);
        ASSERT_EQ(documents->Invoke(0xF, DISPATCH_METHOD, &p, &result, nullptr, nullptr), S_OK);
        ASSERT_EQ(result.vt, VT_DISPATCH);
        VariantClear(&result);
    }
    // The path as a typed by-reference BSTR.
    {
        BSTR bstr = SysAllocStringFrom(std::u16string(path.begin(), path.end()));
        VARIANT arg;
        VariantInit(&arg);
        arg.vt = VT_BYREF | VT_BSTR;
        arg.pbstrVal = &bstr;
        DISPPARAMS p{&arg, nullptr, 1, 0};
        VariantInit(&result);
        EXPECT_EQ(documents->Invoke(0x13, DISPATCH_METHOD, &p, &result, nullptr, nullptr), S_OK);
        VariantClear(&result);
        SysFreeString(bstr);
    }
    // Seventeen arguments are one too many even for generation 11; a
    // thirteenth is too many for generation 9.
    {
        ArgList a;
        a.Str(u"x");
        for (int i = 0; i < 16; ++i) a.Missing();
        DISPPARAMS p = a.Params();
        EXPECT_EQ(documents->Invoke(0x13, DISPATCH_METHOD, &p, &result, nullptr, nullptr), DISP_E_BADPARAMCOUNT);
        p.cArgs = 13;
        p.rgvarg += 4;
        EXPECT_EQ(documents->Invoke(0xF, DISPATCH_METHOD, &p, &result, nullptr, nullptr), DISP_E_BADPARAMCOUNT);
    }
    // A path that is no string.
    {
        ArgList a;
        a.I4(7);
        DISPPARAMS p = a.Params();
        UINT argErr = 99;
        EXPECT_EQ(documents->Invoke(0x12, DISPATCH_METHOD, &p, &result, nullptr, &argErr), DISP_E_TYPEMISMATCH);
        EXPECT_EQ(argErr, 0u);
    }
    documents->Release();
    app->Release();
}

TEST_F(WordAutomation, UnreadableFilesFailWithAnAutomationError)
{
    std::string garbage;
    for (int i = 0; i < 4096; ++i) garbage.push_back(static_cast<char>((i * 7919) % 256));
    const std::string binary = WriteFile("garbage.doc", garbage);
    for (const std::string& path : {binary, TempPath("does-not-exist.txt")}) {
        IDispatch* app = nullptr;
        ASSERT_EQ(CreateObjectByProgID("Word.Application", &app), S_OK);
        IDispatch* documents = nullptr;
        ASSERT_EQ(wordtest::GetObject(app, 0x6, &documents), S_OK);
        IDispatch* doc = nullptr;
        EXCEPINFO info{};
        EXPECT_EQ(wordtest::Open(documents, path, 11, &doc, &info), DISP_E_EXCEPTION);
        EXPECT_EQ(doc, nullptr);
        EXPECT_FALSE(BstrView(info.bstrDescription).empty());
        wordtest::FreeExcepInfo(info);
        IDispatch* selection = nullptr;
        EXPECT_EQ(wordtest::GetObject(app, 0x5, &selection), S_OK);
        EXPECT_EQ(selection, nullptr);
        documents->Release();
        app->Release();
    }
}

TEST_F(WordAutomation, ExecuteArgumentsAreChecked)
{
    const std::string path = WriteFile("types.txt", "needle\n");
    IDispatch* app = nullptr;
    ASSERT_EQ(CreateObjectByProgID("Word.Application", &app), S_OK);
    IDispatch* documents = nullptr;
    ASSERT_EQ(wordtest::GetObject(app, 0x6, &documents), S_OK);
    IDispatch* doc = nullptr;
    ASSERT_EQ(wordtest::Open(documents, path, 11, &doc), S_OK);
    IDispatch* selection = nullptr;
    ASSERT_EQ(wordtest::GetObject(app, 0x5, &selection), S_OK);
    IDispatch* find = nullptr;
    ASSERT_EQ(wordtest::GetObject(selection, 0x106, &find), S_OK);
    VARIANT result;
    VariantInit(&result);
    {
        // Only the find text: the other arguments take Word's defaults.
        ArgList a;
        a.Str(u"NEEDLE");
        DISPPARAMS p = a.Params();
        EXPECT_EQ(find->Invoke(0x1BC, DISPATCH_METHOD, &p, &result, nullptr, nullptr), S_OK);
        EXPECT_EQ(result.vt, VT_BOOL);
        EXPECT_EQ(result.boolVal, VARIANT_TRUE);
    }
    {
        ArgList a;
        a.I4(5);
        DISPPARAMS p = a.Params();
        EXPECT_EQ(find->Invoke(0x1BC, DISPATCH_METHOD, &p, &result, nullptr, nullptr), DISP_E_TYPEMISMATCH);
    }
    {
        ArgList a;
        a.Str(u"needle").Str(u"not a switch");
        DISPPARAMS p = a.Params();
        UINT argErr = 99;
        EXPECT_EQ(find->Invoke(0x1BC, DISPATCH_METHOD, &p, &result, nullptr, &argErr), DISP_E_TYPEMISMATCH);
        EXPECT_EQ(argErr, 0u);  // counted from the last argument
    }
    {
        ArgList a;
        a.Str(u"needle");
        for (int i = 0; i < 9; ++i) a.Missing();
        a.I2(7);  // no such WdReplace
        DISPPARAMS p = a.Params();
        EXCEPINFO info{};
        EXPECT_EQ(find->Invoke(0x1BC, DISPATCH_METHOD, &p, &result, &info, nullptr), DISP_E_EXCEPTION);
        wordtest::FreeExcepInfo(info);
    }
    {
        ArgList a;
        a.Str(u"needle");
        for (int i = 0; i < 15; ++i) a.Missing();
        DISPPARAMS p = a.Params();
        EXPECT_EQ(find->Invoke(0x1BC, DISPATCH_METHOD, &p, &result, nullptr, nullptr), DISP_E_BADPARAMCOUNT);
    }
    find->Release();
    selection->Release();
    doc->Release();
    documents->Release();
    app->Release();
}

// ---- The file on disk ----------------------------------------------------------

TEST_F(WordAutomation, SearchingNeverChangesTheFile)
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
    EXPECT_EQ(after.st_size, before.st_size);
    // The replacement lived in memory only: a new open sees the old text.
    OpenedFile again(path);
    ASSERT_TRUE(again.Ok());
    EXPECT_TRUE(again.Find(u"Second line"));
    EXPECT_FALSE(again.Find(u"Third"));
}

// ---- Spacing clearing ------------------------------------------------------------

TEST_F(WordAutomation, ClearingTurnsRunsOfUpTo2048SpacesIntoOne)
{
    std::string text = "start\tend|";
    for (int n : {2, 5, 64, 1025, 2048}) text += "a" + std::string(static_cast<std::size_t>(n), ' ') + "b|";
    const std::string path = WriteFile("spaces.txt", text + "\n");
    OpenedFile file(path);
    ASSERT_TRUE(file.Ok());
    file.ClearSpacing();
    Switches exact;
    exact.matchCase = true;
    EXPECT_FALSE(file.Find(u"  ", exact));
    EXPECT_FALSE(file.Find(u"^t", exact));
    EXPECT_TRUE(file.Find(u"start end|a b|a b|a b|a b|a b|", exact));
}

TEST_F(WordAutomation, KeywordWithTwoSpacesIsFoundOnlyWithoutClearing)
{
    const std::string path = WriteFile("twospaces.txt", "price  list and tab\there\n");
    {
        OpenedFile file(path);
        ASSERT_TRUE(file.Ok());
        EXPECT_TRUE(file.Find(u"price  list"));
        EXPECT_TRUE(file.Find(u"tab^there"));
    }
    OpenedFile cleared(path);
    ASSERT_TRUE(cleared.Ok());
    cleared.ClearSpacing();
    EXPECT_FALSE(cleared.Find(u"price  list"));
    EXPECT_FALSE(cleared.Find(u"tab^there"));
    EXPECT_TRUE(cleared.Find(u"price list"));
    // Clearing again before every keyword changes nothing more.
    cleared.ClearSpacing();
    EXPECT_TRUE(cleared.Find(u"tab here"));
}

// ---- Matching decisions, on files ------------------------------------------------

TEST_F(WordAutomation, MatchingDecisions)
{
    const std::string text =
        "R\xC3\xA9sum\xC3\xA9 of Mr Smyth, who sat by the STRASSE in 2024.\n"
        "He ran; three mice were funny.\tCatalog entry.\n";
    const std::string path = WriteFile("decisions.txt", text);
    OpenedFile file(path);
    ASSERT_TRUE(file.Ok());
    Switches none;
    Switches matchCase;
    matchCase.matchCase = true;
    Switches whole;
    whole.wholeWord = true;
    Switches wild;
    wild.wildcards = true;
    Switches sounds;
    sounds.soundsLike = true;
    Switches forms;
    forms.wordForms = true;

    // Case folding, and exact case.
    EXPECT_TRUE(file.Find(u"R\u00C9SUM\u00C9", none));
    EXPECT_TRUE(file.Find(u"stra\u00DFe", none));
    EXPECT_FALSE(file.Find(u"resume", none));
    EXPECT_FALSE(file.Find(u"r\u00E9sum\u00E9", matchCase));
    EXPECT_TRUE(file.Find(u"R\u00E9sum\u00E9", matchCase));
    // Caret codes.
    EXPECT_TRUE(file.Find(u"funny.^tCatalog", none));
    EXPECT_TRUE(file.Find(u"2024.^pHe", none));
    EXPECT_TRUE(file.Find(u"in ^#^#^#^#", none));
    EXPECT_FALSE(file.Find(u"^^", none));
    // Whole words.
    EXPECT_TRUE(file.Find(u"cat", none));
    EXPECT_FALSE(file.Find(u"cat", whole));
    EXPECT_TRUE(file.Find(u"three mice", whole));
    // Wildcards: Word syntax, case-sensitive; invalid patterns find nothing
    // without failing the call.
    EXPECT_TRUE(file.Find(u"<[0-9]{4}>", wild));
    EXPECT_TRUE(file.Find(u"m?ce", wild));
    EXPECT_FALSE(file.Find(u"MICE", wild));
    EXPECT_FALSE(file.Find(u"[mice", wild));
    EXPECT_FALSE(file.Find(u"(mice", wild));
    // Sounds like and all word forms.
    EXPECT_TRUE(file.Find(u"Smith", sounds));
    EXPECT_TRUE(file.Find(u"fun", sounds));
    EXPECT_TRUE(file.Find(u"sit", forms));
    EXPECT_TRUE(file.Find(u"run", forms));
    EXPECT_TRUE(file.Find(u"mouse", forms));
    EXPECT_FALSE(file.Find(u"Smith", forms));
    // Precedence: wildcards over word forms over sounds like.
    Switches all;
    all.wildcards = all.soundsLike = all.wordForms = true;
    EXPECT_FALSE(file.Find(u"sit", all));
    EXPECT_TRUE(file.Find(u"s[a]t", all));
    Switches formsSounds;
    formsSounds.soundsLike = formsSounds.wordForms = true;
    EXPECT_TRUE(file.Find(u"sit", formsSounds));
    EXPECT_FALSE(file.Find(u"Smith", formsSounds));
}

TEST_F(WordAutomation, WebPagesAreSearchedAsABrowserShowsThem)
{
    const std::string path = std::string(VARNEL_TEST_DATA) + "/word/page.htm";
    const std::string bytes = ReadAll(path);
    ASSERT_FALSE(bytes.empty());
    {
        OpenedFile file(path);
        ASSERT_TRUE(file.Ok());
        EXPECT_TRUE(file.Find(u"Sales & Marketing"));
        EXPECT_TRUE(file.Find(u"quarterly report"));
        EXPECT_TRUE(file.Find(u"caf\u00E9 prices"));
        EXPECT_FALSE(file.Find(u"scriptword"));
        EXPECT_FALSE(file.Find(u"commentword"));
        EXPECT_FALSE(file.Find(u"&amp;"));
    }
    EXPECT_EQ(ReadAll(path), bytes);
}

TEST_F(WordAutomation, ContentDecidesNotTheName)
{
    const std::string htmlAsText = WriteFile("page.txt", "<html><body><p>a&amp;b</p></body></html>");
    OpenedFile page(htmlAsText);
    ASSERT_TRUE(page.Ok());
    EXPECT_TRUE(page.Find(u"a&b"));
    const std::string textAsDoc = WriteFile("notes.doc", "Just plain notes.\n");
    OpenedFile notes(textAsDoc, 9);
    ASSERT_TRUE(notes.Ok());
    EXPECT_TRUE(notes.Find(u"plain notes"));
}

// The search reaches web pages through the mask *.htm, which also matches
// .html and other extensions that begin with "htm": such a file is a web page
// even without html, head or body tags. Any other name is still read by its
// content.
TEST_F(WordAutomation, FilesNamedAsWebPagesAreReadAsWebPages)
{
    const std::string fragment = "<p>Hello <b>bold</b> world &amp; more</p>";
    struct Case {
        const char* name;
        bool webPage;
    };
    const Case cases[] = {
        {"frag.htm", true}, {"frag.html", true}, {"FRAG.HTM", true}, {"frag.HtMl", true},
        {"frag.htmls", true}, {"frag.txt", false}, {"frag", false}, {"frag.htm.txt", false},
        {"frag.ht", false}, {"frag.xhtml", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string path = WriteFile(c.name, fragment);
        OpenedFile file(path);
        ASSERT_TRUE(file.Ok());
        EXPECT_EQ(file.Find(u"Hello bold world & more"), c.webPage);
        EXPECT_EQ(file.Find(u"<b>"), !c.webPage);
        EXPECT_EQ(file.Find(u"&amp;"), !c.webPage);
        std::remove(path.c_str());
    }
}

}  // namespace
