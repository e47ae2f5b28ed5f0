// Word binary reader: the LibreOffice-made fixture with every story kind,
// and documents built byte by byte for the piece table, the special
// characters, Word 6/95 code pages, encryption and damaged files.
#include "office/word/docreader.h"

#include "office/containers/filebytes.h"
#include "office/containers/readbudget.h"
#include "platform/codepage.h"
#include "tests/office/docfixture.h"

#include <gtest/gtest.h>

#include <algorithm>

using docbin::Bytes;
using docbin::Piece;
using office::StoryKind;
using office::WordContent;

namespace {

office::ByteView View(const Bytes& b)
{
    return {b.data(), b.size()};
}

const std::u16string* Find(const WordContent& c, StoryKind kind)
{
    for (const auto& s : c.stories) {
        if (s.kind == kind) return &s.text;
    }
    return nullptr;
}

bool Has(const std::u16string* text, std::u16string_view what)
{
    return text != nullptr && text->find(what) != std::u16string::npos;
}

Bytes ReadFixture(const std::string& name)
{
    std::vector<std::uint8_t> bytes;
    std::string error;
    EXPECT_TRUE(office::ReadFileBytes(std::string(VARNEL_TEST_DATA) + "/word/" + name, bytes, error)) << error;
    return bytes;
}

bool ContainsBytes(const Bytes& hay, const Bytes& needle)
{
    return std::search(hay.begin(), hay.end(), needle.begin(), needle.end()) != hay.end();
}

// ---- The LibreOffice-made fixture -------------------------------------

class DocFixture : public ::testing::TestWithParam<const char*> {};

TEST_P(DocFixture, EveryStoryHoldsItsOwnText)
{
    const Bytes bytes = ReadFixture(GetParam());
    WordContent c;
    std::string error;
    ASSERT_TRUE(office::ReadWordBinary(View(bytes), c, error)) << error;
    const auto* main = Find(c, StoryKind::Main);
    ASSERT_NE(main, nullptr);
    EXPECT_TRUE(Has(main, u"Mainalpha first paragraph.\r"));
    EXPECT_TRUE(Has(main, u"Mainomega last paragraph.\r"));
    EXPECT_TRUE(Has(Find(c, StoryKind::Footnotes), u"Footnoteword text."));
    EXPECT_TRUE(Has(Find(c, StoryKind::Endnotes), u"Endnoteword text."));
    EXPECT_TRUE(Has(Find(c, StoryKind::Comments), u"Commentword remark."));
    EXPECT_TRUE(Has(Find(c, StoryKind::HeadersFooters), u"Headerword alpha"));
    EXPECT_TRUE(Has(Find(c, StoryKind::HeadersFooters), u"Footerword page 1"));
    EXPECT_TRUE(Has(Find(c, StoryKind::TextBoxes), u"Textboxword inside."));
    // Each story's words are in that story only.
    EXPECT_FALSE(Has(main, u"Footnoteword"));
    EXPECT_FALSE(Has(main, u"Commentword"));
    EXPECT_FALSE(Has(main, u"Textboxword"));
    EXPECT_FALSE(Has(main, u"Headerword"));
}

TEST_P(DocFixture, SpecialCharactersKeepWordsConventions)
{
    const Bytes bytes = ReadFixture(GetParam());
    WordContent c;
    std::string error;
    ASSERT_TRUE(office::ReadWordBinary(View(bytes), c, error)) << error;
    const auto* main = Find(c, StoryKind::Main);
    EXPECT_TRUE(Has(main, u"Tabbed\tcolumn"));
    EXPECT_TRUE(Has(main, u"Spaced   four spaces"));
    EXPECT_TRUE(Has(main, u"Line\vbroken"));
    EXPECT_TRUE(Has(main, u"non\u00A0breaking"));
    EXPECT_TRUE(Has(main, u"soft\x1Fhyphen"));
    EXPECT_TRUE(Has(main, u"hard\x1Ehyphen"));
    EXPECT_TRUE(Has(main, u"Cellone\aCelltwo\a\aCellthree\aCellfour\a\a"));
    // Note references and object anchors leave no mark in the text.
    EXPECT_TRUE(Has(main, u"Noteholder and Endholder."));
    EXPECT_TRUE(Has(main, u"Commented word."));
    EXPECT_TRUE(Has(main, u"Boxholder  after box."));
}

TEST_P(DocFixture, FieldResultsStayAndInstructionsGo)
{
    const Bytes bytes = ReadFixture(GetParam());
    // The instructions really are in the file...
    ASSERT_TRUE(ContainsBytes(bytes, docbin::Utf16(u" PAGE ")));
    ASSERT_TRUE(ContainsBytes(bytes, docbin::Utf16(u" DATE ")));
    WordContent c;
    std::string error;
    ASSERT_TRUE(office::ReadWordBinary(View(bytes), c, error)) << error;
    // ...but only the results are text.
    EXPECT_TRUE(Has(Find(c, StoryKind::Main), u"Fieldday 2021-03-04 and page 1 end."));
    for (const auto& s : c.stories) {
        EXPECT_FALSE(Has(&s.text, u"PAGE"));
        EXPECT_FALSE(Has(&s.text, u"DATE"));
        EXPECT_FALSE(Has(&s.text, u"yyyy"));
        for (char16_t ch : s.text) {
            EXPECT_FALSE(ch == 0x13 || ch == 0x14 || ch == 0x15 || ch == 0x01 || ch == 0x08 || ch == 0x02);
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Files, DocFixture, ::testing::Values("fmt-stories.doc", "fmt-stories.dot", "FMT-UPPER.DOC"));

// ---- Piece tables built byte by byte ----------------------------------

TEST(DocPieces, CompressedAndUnicodePiecesInAnyOrder)
{
    docbin::Word97 d;
    // Stored out of order, as after a fast save: the piece table decides.
    const Bytes tail = docbin::Utf16(u"\u0416\u00E9 world\r");  // 9 characters, UTF-16
    const Bytes head = docbin::Latin("\x93Hi\x94 ");            // 5 characters, 8-bit
    d.text = tail;
    d.text.insert(d.text.end(), head.begin(), head.end());
    const auto fcTail = static_cast<std::uint32_t>(docbin::Word97::kTextAt);
    const auto fcHead = static_cast<std::uint32_t>(docbin::Word97::kTextAt + tail.size());
    d.pieces = {{5, fcHead, true}, {9, fcTail, false}};
    d.ccp[0] = 14;
    WordContent c;
    std::string error;
    ASSERT_TRUE(office::ReadWordBinary(View(d.Build()), c, error)) << error;
    ASSERT_EQ(c.stories.size(), 1u);
    EXPECT_EQ(c.stories[0].kind, StoryKind::Main);
    EXPECT_EQ(c.stories[0].text, u"\u201CHi\u201D \u0416\u00E9 world\r");
}

TEST(DocPieces, StoriesFollowEachOtherInFibOrder)
{
    docbin::Word97 d;
    const std::string all = "Main\rFoot\rHead\rNote\rEnd\rBox\rHbox\r";
    d.text = docbin::Latin(all);
    d.pieces = {{static_cast<std::uint32_t>(all.size()), docbin::Word97::kTextAt, true}};
    d.ccp[0] = 5;  // main
    d.ccp[1] = 5;  // footnotes
    d.ccp[2] = 5;  // headers
    d.ccp[4] = 5;  // comments
    d.ccp[5] = 4;  // endnotes
    d.ccp[6] = 4;  // text boxes
    d.ccp[7] = 5;  // header text boxes
    WordContent c;
    std::string error;
    ASSERT_TRUE(office::ReadWordBinary(View(d.Build()), c, error)) << error;
    ASSERT_EQ(c.stories.size(), 7u);
    EXPECT_EQ(*Find(c, StoryKind::Main), u"Main\r");
    EXPECT_EQ(*Find(c, StoryKind::Footnotes), u"Foot\r");
    EXPECT_EQ(*Find(c, StoryKind::HeadersFooters), u"Head\r");
    EXPECT_EQ(*Find(c, StoryKind::Comments), u"Note\r");
    EXPECT_EQ(*Find(c, StoryKind::Endnotes), u"End\r");
    EXPECT_EQ(*Find(c, StoryKind::TextBoxes), u"Box\r");
    EXPECT_EQ(*Find(c, StoryKind::HeaderTextBoxes), u"Hbox\r");
}

TEST(DocPieces, NestedFieldsKeepOnlyTheOuterResult)
{
    docbin::Word97 d;
    // {IF {PAGE}=1 "yes"}→"yes": the nested field sits in the instruction.
    const std::u16string raw = u"A \x13IF \x13PAGE\x14" u"1\x15=1\x14yes\x15 B\x01\x08\x02\x05\x03 C\r";
    d.text = docbin::Utf16(raw);
    d.pieces = {{static_cast<std::uint32_t>(raw.size()), docbin::Word97::kTextAt, false}};
    d.ccp[0] = static_cast<std::uint32_t>(raw.size());
    WordContent c;
    std::string error;
    ASSERT_TRUE(office::ReadWordBinary(View(d.Build()), c, error)) << error;
    EXPECT_EQ(c.stories[0].text, u"A yes B C\r");
}

// Fields nested in each other's results, deeper than any real document:
// every result shows, every instruction stays hidden.
TEST(DocPieces, DeeplyNestedFieldsKeepEveryResult)
{
    docbin::Word97 d;
    std::u16string raw;
    std::u16string expected;
    const int n = 300;
    for (int i = 0; i < n; ++i) {
        const std::u16string number = Utf8ToUtf16(std::to_string(i));
        raw += u"\x13QUOTE " + number + u"\x14r" + number + u" ";
        expected += u"r" + number + u" ";
    }
    for (int i = n - 1; i >= 0; --i) {
        const std::u16string number = Utf8ToUtf16(std::to_string(i));
        raw += u"s" + number + u" \x15";
        expected += u"s" + number + u" ";
    }
    raw += u"end\r";
    d.text = docbin::Utf16(raw);
    d.pieces = {{static_cast<std::uint32_t>(raw.size()), docbin::Word97::kTextAt, false}};
    d.ccp[0] = static_cast<std::uint32_t>(raw.size());
    WordContent c;
    std::string error;
    ASSERT_TRUE(office::ReadWordBinary(View(d.Build()), c, error)) << error;
    EXPECT_EQ(c.stories[0].text, expected + u"end\r");
}

TEST(DocPieces, UnbalancedAndRunawayFieldsStayBounded)
{
    docbin::Word97 d;
    std::u16string raw = u"x\x15y";                // an end without a begin
    raw += std::u16string(400, u'\x13') + u"code";  // 400 instructions deep, never separated
    raw += std::u16string(400, u'\x15') + u"after\r";
    d.text = docbin::Utf16(raw);
    d.pieces = {{static_cast<std::uint32_t>(raw.size()), docbin::Word97::kTextAt, false}};
    d.ccp[0] = static_cast<std::uint32_t>(raw.size());
    WordContent c;
    std::string error;
    ASSERT_TRUE(office::ReadWordBinary(View(d.Build()), c, error)) << error;
    EXPECT_EQ(c.stories[0].text, u"xyafter\r");
}

TEST(DocPieces, FibClaimingMoreTextThanThePiecesIsClamped)
{
    docbin::Word97 d;
    d.text = docbin::Latin("short\r");
    d.pieces = {{6, docbin::Word97::kTextAt, true}};
    d.ccp[0] = 1000000;
    d.ccp[1] = 50;
    WordContent c;
    std::string error;
    ASSERT_TRUE(office::ReadWordBinary(View(d.Build()), c, error)) << error;
    EXPECT_EQ(*Find(c, StoryKind::Main), u"short\r");
}

// ---- Damaged, hostile and protected files -----------------------------

TEST(DocDamage, PieceOutsideTheStreamFails)
{
    docbin::Word97 d;
    d.text = docbin::Latin("abc\r");
    d.pieces = {{4, 0x7FFFFFF0u / 2, true}};
    d.ccp[0] = 4;
    WordContent c;
    std::string error;
    EXPECT_FALSE(office::ReadWordBinary(View(d.Build()), c, error));
    EXPECT_NE(error.find("outside"), std::string::npos) << error;
    EXPECT_TRUE(c.stories.empty());

    docbin::Word97 wide;
    wide.text = docbin::Utf16(u"ab");
    wide.pieces = {{0x40000000u, docbin::Word97::kTextAt, false}};
    wide.ccp[0] = 0x40000000u;
    EXPECT_FALSE(office::ReadWordBinary(View(wide.Build()), c, error));
}

TEST(DocDamage, OverlappingPiecesCannotMultiplyTheText)
{
    // Thousands of pieces all pointing at the same ten bytes would make a
    // small file expand without bound; the text is capped by the stream.
    docbin::Word97 d;
    d.text = docbin::Latin("abcdefghij");
    d.pieces.assign(5000, Piece{10, docbin::Word97::kTextAt, true});
    d.ccp[0] = 50000;
    const Bytes file = d.Build();
    WordContent c;
    std::string error;
    ASSERT_TRUE(office::ReadWordBinary(View(file), c, error)) << error;
    EXPECT_LE(c.stories[0].text.size(), docbin::Word97::kTextAt + 10);
    EXPECT_EQ(c.stories[0].text.substr(0, 20), u"abcdefghijabcdefghij");
    // And what the text would cost is charged to the file's budget first.
    office::ReadBudget small(2048);
    EXPECT_THROW(office::ReadWordBinary(View(file), c, error, &small), office::ReadBudgetExceeded);
    EXPECT_EQ(small.Used(), 0u);
}

TEST(DocDamage, BadPieceTablesAndHeadersFail)
{
    // Piece table of a size that is not a whole number of entries.
    docbin::Word97 d;
    d.text = docbin::Latin("abc\r");
    d.pieces = {{4, docbin::Word97::kTextAt, true}};
    d.ccp[0] = 4;
    Bytes table(16, 0);
    Bytes clx = docbin::Clx(d.pieces);
    clx.push_back(0);
    docbin::Put32(clx, 7, static_cast<std::uint32_t>(clx.size() - 11));
    table.insert(table.end(), clx.begin(), clx.end());
    const Bytes bad = docbin::CompoundFileOf(
        {{"WordDocument", d.WordDocumentStream(16, static_cast<std::uint32_t>(clx.size()))}, {"1Table", table}});
    WordContent c;
    std::string error;
    EXPECT_FALSE(office::ReadWordBinary(View(bad), c, error));

    // CLX pointing past the table stream.
    const Bytes past = docbin::CompoundFileOf(
        {{"WordDocument", d.WordDocumentStream(1u << 30, 100)}, {"1Table", Bytes(32, 0)}});
    EXPECT_FALSE(office::ReadWordBinary(View(past), c, error));

    // Missing table stream.
    const Bytes noTable = docbin::CompoundFileOf({{"WordDocument", d.WordDocumentStream(16, 30)}});
    EXPECT_FALSE(office::ReadWordBinary(View(noTable), c, error));
    EXPECT_NE(error.find("table stream"), std::string::npos) << error;

    // Truncated FIB, wrong signature, no WordDocument, not a compound file.
    Bytes fib = d.WordDocumentStream(16, 30);
    fib.resize(0x30);
    EXPECT_FALSE(office::ReadWordBinary(View(docbin::CompoundFileOf({{"WordDocument", fib}})), c, error));
    Bytes wrong = d.WordDocumentStream(16, 30);
    wrong[0] = 0x12;
    wrong[1] = 0x34;
    EXPECT_FALSE(office::ReadWordBinary(View(docbin::CompoundFileOf({{"WordDocument", wrong}})), c, error));
    EXPECT_FALSE(office::ReadWordBinary(View(docbin::CompoundFileOf({{"Book", Bytes(100, 1)}})), c, error));
    const Bytes text = docbin::Latin("just some text, not a compound file");
    EXPECT_FALSE(office::ReadWordBinary(View(text), c, error));
    EXPECT_FALSE(office::ReadWordBinary(office::ByteView{}, c, error));
}

TEST(DocDamage, EncryptedDocumentsFailAsEncrypted)
{
    docbin::Word97 d;
    d.text = docbin::Latin("secret\r");
    d.pieces = {{7, docbin::Word97::kTextAt, true}};
    d.ccp[0] = 7;
    d.encrypted = true;
    WordContent c;
    std::string error;
    EXPECT_FALSE(office::ReadWordBinary(View(d.Build()), c, error));
    EXPECT_NE(error.find("encrypted"), std::string::npos) << error;

    // A password-protected Office Open XML document: a compound file with
    // the encryption streams instead of a zip.
    const Bytes agile = docbin::CompoundFileOf(
        {{"EncryptionInfo", Bytes(64, 4)}, {"EncryptedPackage", Bytes(4096, 9)}});
    EXPECT_FALSE(office::ReadWordBinary(View(agile), c, error));
    EXPECT_NE(error.find("encrypted"), std::string::npos) << error;
}

TEST(DocDamage, StreamNamesMatchWithoutRegardToCase)
{
    docbin::Word97 d;
    d.text = docbin::Latin("lower\r");
    d.pieces = {{6, docbin::Word97::kTextAt, true}};
    d.ccp[0] = 6;
    Bytes table(16, 0);
    const Bytes clx = docbin::Clx(d.pieces);
    table.insert(table.end(), clx.begin(), clx.end());
    const Bytes file = docbin::CompoundFileOf(
        {{"worddocument", d.WordDocumentStream(16, static_cast<std::uint32_t>(clx.size()))}, {"1table", table}});
    WordContent c;
    std::string error;
    ASSERT_TRUE(office::ReadWordBinary(View(file), c, error)) << error;
    EXPECT_EQ(c.stories[0].text, u"lower\r");
}

// ---- Word 6.0/95 --------------------------------------------------------

TEST(Word6, PlainTextInTheLanguagesCodePage)
{
    docbin::Word6 d;
    d.lid = 0x0419;  // Russian: Windows-1251
    d.text = docbin::Latin("\xCF\xF0\xE8\xE2\xE5\xF2\t\x93x\x94\r");
    d.ccp[0] = static_cast<std::uint32_t>(d.text.size());
    WordContent c;
    std::string error;
    ASSERT_TRUE(office::ReadWordBinary(View(d.Build()), c, error)) << error;
    ASSERT_EQ(c.stories.size(), 1u);
    EXPECT_EQ(c.stories[0].text, u"\u041F\u0440\u0438\u0432\u0435\u0442\t\u201Cx\u201D\r");
}

TEST(Word6, WesternDocumentDefaultsTo1252)
{
    docbin::Word6 d;
    d.text = docbin::Latin("caf\xE9 \x80 5\rfoot\r");
    d.ccp[0] = 9;
    d.ccp[1] = 5;
    WordContent c;
    std::string error;
    ASSERT_TRUE(office::ReadWordBinary(View(d.Build()), c, error)) << error;
    ASSERT_EQ(c.stories.size(), 2u);
    EXPECT_EQ(*Find(c, StoryKind::Main), u"caf\u00E9 \u20AC 5\r");
    EXPECT_EQ(*Find(c, StoryKind::Footnotes), u"foot\r");
}

TEST(Word6, FontCharsetGivesTheCodePageOfAnEnglishMarkedDocument)
{
    docbin::Word6 d;
    d.text = docbin::Latin("\xCC\xEE\xF1\xEA\xE2\xE0\r");  // "Москва" in 1251
    d.ccp[0] = 7;
    d.fontCharsets = {0, 204, 2};
    d.defaultFont = 1;
    WordContent c;
    std::string error;
    ASSERT_TRUE(office::ReadWordBinary(View(d.Build()), c, error)) << error;
    EXPECT_EQ(c.stories[0].text, u"\u041C\u043E\u0441\u043A\u0432\u0430\r");

    d.fontCharsets = {0, 238};  // default font Western, one Central European font
    d.defaultFont = 0;
    d.text = docbin::Latin("\x9A\xE8\r");  // š č in 1250
    d.ccp[0] = 3;
    ASSERT_TRUE(office::ReadWordBinary(View(d.Build()), c, error)) << error;
    EXPECT_EQ(c.stories[0].text, u"\u0161\u010D\r");
}

TEST(Word6, ComplexFileReadsThroughItsPieceTable)
{
    docbin::Word6 d;
    d.complex = true;
    d.text = docbin::Latin("world\rHello ");
    const auto at = static_cast<std::uint32_t>(docbin::Word6::kTextAt);
    d.pieces = {{6, at + 6, true}, {6, at, true}};
    d.ccp[0] = 12;
    WordContent c;
    std::string error;
    ASSERT_TRUE(office::ReadWordBinary(View(d.Build()), c, error)) << error;
    EXPECT_EQ(c.stories[0].text, u"Hello world\r");
}

TEST(Word6, ExtendedCharacterFilesHoldUtf16)
{
    docbin::Word6 d;
    d.complex = true;
    d.extChar = true;
    d.text = docbin::Utf16(u"\u0393\u03B5\u03B9\u03B1\r");
    d.pieces = {{5, docbin::Word6::kTextAt, false}};
    d.ccp[0] = 5;
    WordContent c;
    std::string error;
    ASSERT_TRUE(office::ReadWordBinary(View(d.Build()), c, error)) << error;
    EXPECT_EQ(c.stories[0].text, u"\u0393\u03B5\u03B9\u03B1\r");
}

TEST(Word6, TextBeyondTheStreamIsClampedOrRefused)
{
    docbin::Word6 d;
    d.text = docbin::Latin("tiny\r");
    d.ccp[0] = 0x10000000u;  // far more than the stream holds
    WordContent c;
    std::string error;
    ASSERT_TRUE(office::ReadWordBinary(View(d.Build()), c, error)) << error;
    EXPECT_EQ(c.stories[0].text.substr(0, 5), u"tiny\r");

    docbin::Word6 e;
    e.complex = true;
    e.text = docbin::Latin("x\r");
    e.pieces = {{100, 0x7FFFFF00u, true}};
    e.ccp[0] = 100;
    EXPECT_FALSE(office::ReadWordBinary(View(e.Build()), c, error));
}

}  // namespace
