// Stop inside the readers this suite owns and at the automation seam: the
// Word binary reader and the XML readers look at the stop request as they
// go through a large file and give up with OperationCancelled; the pieces
// they read a chunk at a time decode exactly what one pass decodes; a call
// into the built-in Word or Excel that a stop ends is a failed call that
// says so, and Kestrel abandons the file with nothing left open.
#include "docfixture.h"
#include "kestrel/officefind.h"
#include "office/text/charsetdecoder.h"
#include "office/automation/excelapplication.h"
#include "office/automation/wordapplication.h"
#include "office/automation/worddocuments.h"
#include "office/word/wordloader.h"
#include "office/automation/wordselection.h"
#include "office/containers/xmlsax.h"
#include "platform/cancellation.h"
#include "platform/olethread.h"
#include "wordautomation.h"

#include <gtest/gtest.h>

#include <unicode/ucnv.h>

#include <cstring>
#include <fstream>
#include <functional>
#include <string>
#include <unistd.h>

using namespace office;

namespace {

constexpr std::size_t kMega = std::size_t{1} << 20;

std::uint64_t LooksDuring(const std::function<void()>& work)
{
    platform::ClearSearchStop();
    const std::uint64_t before = platform::StopRequestLooks();
    work();
    return platform::StopRequestLooks() - before;
}

// Clears the request however a test ends, so tests stay independent.
struct StopRequested {
    StopRequested() { platform::RequestSearchStop(); }
    ~StopRequested() { platform::ClearSearchStop(); }
};

// A Word 97 document whose main story is `text`, stored 8-bit.
docbin::Bytes WordBinary(const std::string& text)
{
    docbin::Word97 d;
    d.text = docbin::Latin(text);
    d.ccp[0] = static_cast<std::uint32_t>(text.size());
    d.pieces = {{static_cast<std::uint32_t>(text.size()), static_cast<std::uint32_t>(docbin::Word97::kTextAt), true}};
    return d.Build();
}

std::string Words(std::size_t bytes)
{
    std::string text;
    text.reserve(bytes + 64);
    while (text.size() < bytes) text += "quarterly figures for the northern region\r";
    text.resize(bytes);
    return text;
}

class CountingSax : public XmlSax {
public:
    std::size_t elements = 0;
    std::string text;

protected:
    void StartElement(const XmlName&, const XmlAttributes&) override { ++elements; }
    void EndElement(const XmlName&) override {}
    void CharacterData(std::string_view t) override
    {
        if (text.size() < 64) text.append(t.substr(0, 64));
    }
};

// `count` cells of text in one document element, about 16 bytes each.
std::string XmlDocument(std::size_t count)
{
    std::string xml = "<?xml version=\"1.0\" encoding=\"UTF-8\"?><r>";
    xml.reserve(count * 16 + 64);
    for (std::size_t i = 0; i < count; ++i) xml += "<c>cell text</c>";
    return xml + "</r>";
}

}  // namespace

TEST(StopInReaders, WordBinaryReaderLooksAsItGoesAndGivesUp)
{
    const std::string text = Words(16 * kMega);
    const docbin::Bytes file = WordBinary(text);
    WordContent content;
    std::string error;
    // Reading the stream, assembling the pieces and cleaning the story each
    // look at least once a megabyte.
    EXPECT_GE(LooksDuring([&] { ASSERT_TRUE(LoadWordContent(ByteView(file), content, error)) << error; }), 3 * 16u);
    ASSERT_EQ(content.stories.size(), 1u);
    EXPECT_EQ(content.stories[0].text.size(), text.size());
    {
        StopRequested stop;
        EXPECT_THROW(LoadWordContent(ByteView(file), content, error), platform::OperationCancelled);
    }
}

TEST(StopInReaders, CodePageTextDecodedInChunksAgreesWithOnePass)
{
    // Shift-JIS: two-byte characters, one of them cut by the first chunk's
    // edge, after an odd number of one-byte characters.
    std::string bytes = "a";
    while (bytes.size() < 3 * kMega) bytes += "\x82\xA0\x82\xA2" "abc";
    bytes.resize(3 * kMega);
    bytes.replace(kMega - 1, 2, "\x82\xA4");
    std::u16string chunked;
    EXPECT_GE(LooksDuring([&] { AppendCodePageText(bytes, 932, chunked); }), 2u);

    UErrorCode status = U_ZERO_ERROR;
    UConverter* conv = ucnv_open("windows-932", &status);
    ASSERT_TRUE(U_SUCCESS(status));
    std::u16string whole(bytes.size() * 2, u'\0');
    const int32_t n = ucnv_toUChars(conv, reinterpret_cast<UChar*>(whole.data()), static_cast<int32_t>(whole.size()),
                                    bytes.data(), static_cast<int32_t>(bytes.size()), &status);
    ucnv_close(conv);
    ASSERT_TRUE(U_SUCCESS(status));
    whole.resize(static_cast<std::size_t>(n));
    EXPECT_TRUE(chunked == whole);
    {
        StopRequested stop;
        std::u16string out = u"kept";
        EXPECT_THROW(AppendCodePageText(bytes, 932, out), platform::OperationCancelled);
        EXPECT_EQ(out, u"kept");  // nothing half decoded is left behind
    }
}

TEST(StopInReaders, XmlReadersLookAsTheyGoAndGiveUp)
{
    const std::string xml = XmlDocument(kMega / 4);  // about four megabytes
    for (const bool reference : {false, true}) {
        SCOPED_TRACE(reference ? "expat" : "scanner");
        CountingSax sax;
        if (reference) sax.UseReferenceParser();
        std::string error;
        EXPECT_GE(LooksDuring([&] { EXPECT_TRUE(sax.Parse(xml, error)) << error; }), 2u);
        EXPECT_EQ(sax.elements, kMega / 4 + 1);

        CountingSax stopped;
        if (reference) stopped.UseReferenceParser();
        StopRequested stop;
        EXPECT_THROW(stopped.Parse(xml, error), platform::OperationCancelled);
    }
}

TEST(StopInReaders, XmlCharacterCheckInChunksAgreesWithOnePass)
{
    // A three-byte character across the first megabyte's edge is read
    // whole; a bad byte past the edge is found, on its own line.
    std::string xml = "<?xml version=\"1.0\" encoding=\"UTF-8\"?><r>";
    while (xml.size() < kMega - 1) xml += "word ";
    xml.resize(kMega - 1);
    xml += "\xE2\x82\xAC";  // the euro sign, its last two bytes past the edge
    std::string good = xml + " more</r>";
    for (const bool reference : {false, true}) {
        CountingSax sax;
        if (reference) sax.UseReferenceParser();
        std::string error;
        EXPECT_TRUE(sax.Parse(good, error)) << error;
    }
    std::string bad = xml + "\n\n\xFF</r>";
    std::string scannerError;
    std::string expatError;
    CountingSax scanner;
    EXPECT_FALSE(scanner.Parse(bad, scannerError));
    CountingSax expat;
    expat.UseReferenceParser();
    EXPECT_FALSE(expat.Parse(bad, expatError));
    EXPECT_EQ(scannerError, expatError);
}

namespace {

class StopAtTheSeam : public ::testing::Test {
protected:
    void SetUp() override
    {
        CoInitialize(nullptr);
        RegisterWordServer();
        RegisterExcelServer();
        m_live = CDispatchObject::LiveObjects();
    }
    void TearDown() override
    {
        platform::ClearSearchStop();
        EXPECT_EQ(CDispatchObject::LiveObjects(), m_live);
        CoUninitialize();
    }

    std::string WriteFile(const std::string& name, const std::string& bytes)
    {
        const std::string path = ::testing::TempDir() + "varnel_stop_" + std::to_string(::getpid()) + "_" + name;
        std::ofstream(path, std::ios::binary) << bytes;
        m_files.push_back(path);
        return path;
    }
    ~StopAtTheSeam() override
    {
        for (const std::string& f : m_files) std::remove(f.c_str());
    }

    static _ResultFileInfo Record(const std::string& path)
    {
        _ResultFileInfo info{};
        std::strncpy(info.szFilePath, path.c_str(), sizeof info.szFilePath - 1);
        return info;
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

    long m_live = 0;
    std::vector<std::string> m_files;
};

}  // namespace

TEST_F(StopAtTheSeam, FindExecuteFailsAsStoppedAndOpenToo)
{
    IDispatch* app = new WordApplication();
    const docbin::Bytes doc = WordBinary("find me here\r");
    const std::string path = WriteFile("a.doc", std::string(doc.begin(), doc.end()));
    IDispatch* documents = nullptr;
    ASSERT_TRUE(SUCCEEDED(wordtest::GetObject(app, kDispidApplicationDocuments, &documents)));
    auto open = [&](EXCEPINFO* info, IDispatch** document) {
        wordtest::ArgList a;
        a.Str(std::u16string(path.begin(), path.end()));
        DISPPARAMS p = a.Params();
        VARIANT result;
        VariantInit(&result);
        const HRESULT hr = documents->Invoke(kDispidDocumentsOpen11, DISPATCH_METHOD, &p, &result, info, nullptr);
        *document = result.vt == VT_DISPATCH ? result.pdispVal : nullptr;
        return hr;
    };
    EXCEPINFO info{};
    IDispatch* document = nullptr;
    {
        StopRequested stop;
        EXPECT_EQ(open(&info, &document), DISP_E_EXCEPTION);
        EXPECT_EQ(info.scode, E_ABORT);
        wordtest::FreeExcepInfo(info);
    }
    ASSERT_EQ(open(&info, &document), S_OK);
    IDispatch* selection = nullptr;
    IDispatch* find = nullptr;
    ASSERT_TRUE(SUCCEEDED(wordtest::GetObject(app, kDispidApplicationSelection, &selection)));
    ASSERT_TRUE(SUCCEEDED(wordtest::GetObject(selection, kDispidSelectionFind, &find)));
    bool found = false;
    {
        StopRequested stop;
        EXPECT_EQ(wordtest::Execute(find, u"me", {}, u"", 0, found, &info), DISP_E_EXCEPTION);
        EXPECT_EQ(info.scode, E_ABORT);
        wordtest::FreeExcepInfo(info);
    }
    EXPECT_EQ(wordtest::Execute(find, u"me", {}, u"", 0, found), S_OK);
    EXPECT_TRUE(found);
    find->Release();
    selection->Release();
    document->Release();
    documents->Release();
    app->Release();
}

TEST_F(StopAtTheSeam, KestrelAbandonsTheFileAndLeavesNothingOpen)
{
    const docbin::Bytes doc = WordBinary("find me here\r");
    const std::string docPath = WriteFile("b.doc", std::string(doc.begin(), doc.end()));
    const std::string bookPath = std::string(VARNEL_TEST_DATA) + "/excel/book.xls";
    OfficeFind finder;
    _Word11 word;
    _Excel11 excel;
    ASSERT_TRUE(word.CreateDispatch("Word.Application"));
    ASSERT_TRUE(excel.CreateDispatch("Excel.Application"));
    const long withApplications = CDispatchObject::LiveObjects();
    const auto keys = Keywords({"find me", "zebra"});
    {
        StopRequested stop;
        _ResultFileInfo info = Record(docPath);
        EXPECT_EQ(finder.SearchWord11(info, keys, _FindedConditions{0, 0, 0, 0, 0, 1}, word), 0);
        info = Record(bookPath);
        EXPECT_EQ(finder.SearchExcel11(info, keys, _FindedConditions{}, excel), 0);
        // No document or workbook stays open in the applications.
        EXPECT_EQ(CDispatchObject::LiveObjects(), withApplications);
    }
    _ResultFileInfo info = Record(docPath);
    EXPECT_EQ(finder.SearchWord11(info, keys, _FindedConditions{0, 0, 0, 0, 0, 1}, word), 1);
    EXPECT_EQ(info.nMatchDegree, 50);
    info = Record(bookPath);
    EXPECT_EQ(finder.SearchExcel11(info, keys, _FindedConditions{}, excel), 1);
    EXPECT_EQ(info.nMatchDegree, 50);
    word.ReleaseDispatch();
    excel.ReleaseDispatch();
}
