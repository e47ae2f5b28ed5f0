// Stop inside the readers: the Word binary reader and the XML readers look
// at the stop request as they go through a large file and give up with
// OperationCancelled; the pieces they read a chunk at a time decode exactly
// what one pass decodes. The stop at the automation seam is tested with
// Kestrel in wordkestrel_test.
#include "docfixture.h"
#include "office/containers/xmlsax.h"
#include "office/text/charsetdecoder.h"
#include "office/word/wordloader.h"
#include "platform/cancellation.h"

#include <gtest/gtest.h>

#include <unicode/ucnv.h>

#include <functional>
#include <string>

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

class CountingSax : public XmlSax {
public:
    explicit CountingSax(bool reference)
    {
        if (reference) UseReferenceParser();
    }
    std::size_t elements = 0;

protected:
    void StartElement(const XmlName&, const XmlAttributes&) override { ++elements; }
    void EndElement(const XmlName&) override {}
    void CharacterData(std::string_view) override {}
};

}  // namespace

TEST(StopInReaders, WordBinaryReaderLooksAsItGoesAndGivesUp)
{
    std::string text;
    while (text.size() < 16 * kMega) text += "quarterly figures for the northern region\r";
    text.resize(16 * kMega);
    docbin::Word97 d;
    d.text = docbin::Latin(text);
    d.ccp[0] = static_cast<std::uint32_t>(text.size());
    d.pieces = {{d.ccp[0], static_cast<std::uint32_t>(docbin::Word97::kTextAt), true}};
    const docbin::Bytes file = d.Build();
    WordContent content;
    ReadError error;
    // Reading the stream, assembling the pieces and cleaning the story each
    // look at least once a megabyte.
    EXPECT_GE(LooksDuring([&] { ASSERT_TRUE(LoadWordContent(ByteView(file), content, error)) << error; }), 3 * 16u);
    ASSERT_EQ(content.stories.size(), 1u);
    EXPECT_EQ(content.stories[0].text.size(), text.size());
    StopRequested stop;
    EXPECT_THROW(LoadWordContent(ByteView(file), content, error), platform::OperationCancelled);
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
    std::u16string whole(bytes.size() * 2, u'\0');
    const int32_t n = ucnv_toUChars(conv, reinterpret_cast<UChar*>(whole.data()), static_cast<int32_t>(whole.size()),
                                    bytes.data(), static_cast<int32_t>(bytes.size()), &status);
    ucnv_close(conv);
    ASSERT_TRUE(U_SUCCESS(status));
    whole.resize(static_cast<std::size_t>(n));
    EXPECT_TRUE(chunked == whole);
    StopRequested stop;
    std::u16string out = u"kept";
    EXPECT_THROW(AppendCodePageText(bytes, 932, out), platform::OperationCancelled);
    EXPECT_EQ(out, u"kept");  // nothing half decoded is left behind
}

TEST(StopInReaders, XmlReadersLookAsTheyGoAndGiveUp)
{
    std::string xml = "<?xml version=\"1.0\" encoding=\"UTF-8\"?><r>";
    for (std::size_t i = 0; i < kMega / 4; ++i) xml += "<c>cell text</c>";
    xml += "</r>";
    for (const bool reference : {false, true}) {
        SCOPED_TRACE(reference ? "expat" : "scanner");
        CountingSax sax(reference);
        ReadError error;
        EXPECT_GE(LooksDuring([&] { EXPECT_TRUE(sax.Parse(xml, error)) << error; }), 2u);
        EXPECT_EQ(sax.elements, kMega / 4 + 1);
        CountingSax stopped(reference);
        StopRequested stop;
        EXPECT_THROW(stopped.Parse(xml, error), platform::OperationCancelled);
    }
    // One text of eight megabytes: the check of its characters looks
    // between its megabytes too.
    const std::string text = "<r>" + std::string(8 * kMega, 'x') + "</r>";
    CountingSax one(false);
    ReadError error;
    EXPECT_GE(LooksDuring([&] { EXPECT_TRUE(one.Parse(text, error)) << error; }), 7u);
}

TEST(StopInReaders, XmlCharacterCheckInChunksAgreesWithOnePass)
{
    // A three-byte character across the first megabyte's edge is read
    // whole; a bad byte past the edge is found.
    std::string xml = "<?xml version=\"1.0\" encoding=\"UTF-8\"?><r>";
    while (xml.size() < kMega - 1) xml += "word ";
    xml.resize(kMega - 1);
    xml += "\xE2\x82\xAC";  // the euro sign, its last two bytes past the edge
    for (const bool reference : {false, true}) {
        ReadError error;
        CountingSax good(reference);
        EXPECT_TRUE(good.Parse(xml + " more</r>", error)) << error;
        CountingSax bad(reference);
        EXPECT_FALSE(bad.Parse(xml + "\n\n\xFF</r>", error));
        EXPECT_EQ(error.kind, ReadErrorKind::Damaged) << error;
    }
}
