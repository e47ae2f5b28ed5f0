// Word binary reader on documents built byte by byte: the piece table,
// stories, fields, Word 6/95 code pages, encryption and damaged files. The
// office-suite-made fixtures go through every reader in wordreaders_test.
#include "office/word/docreader.h"

#include "office/containers/readbudget.h"
#include "platform/codepage.h"
#include "tests/office/docfixture.h"

#include <gtest/gtest.h>

using office::ReadError;
using office::ReadErrorKind;

using docbin::Bytes;
using docbin::Piece;
using office::StoryKind;
using office::WordContent;

namespace {

office::ByteView View(const Bytes& b) { return {b.data(), b.size()}; }

WordContent Read(const Bytes& file)
{
    WordContent c;
    ReadError error;
    EXPECT_TRUE(office::ReadWordBinary(View(file), c, error)) << error;
    return c;
}

// What the reader refused the file as; None when it read it.
ReadErrorKind RefusedAs(const Bytes& file)
{
    WordContent c;
    ReadError error;
    if (office::ReadWordBinary(View(file), c, error)) return ReadErrorKind::None;
    EXPECT_TRUE(c.stories.empty());
    return error.kind;
}

// A Word 97 document whose main story is `raw`, in one UTF-16 piece.
Bytes Unicode(const std::u16string& raw)
{
    docbin::Word97 d;
    d.text = docbin::Utf16(raw);
    d.pieces = {{static_cast<std::uint32_t>(raw.size()), docbin::Word97::kTextAt, false}};
    d.ccp[0] = static_cast<std::uint32_t>(raw.size());
    return d.Build();
}

// Fields nested in each other's results, deeper than any real document.
void NestedFields(int n, std::u16string& raw, std::u16string& shown)
{
    for (int i = 0; i < n; ++i) {
        const std::u16string number = Utf8ToUtf16(std::to_string(i));
        raw += u"\x13QUOTE " + number + u"\x14r" + number + u" ";
        shown += u"r" + number + u" ";
    }
    for (int i = n - 1; i >= 0; --i) {
        const std::u16string number = Utf8ToUtf16(std::to_string(i));
        raw += u"s" + number + u" \x15";
        shown += u"s" + number + u" ";
    }
}

TEST(DocText, FieldsAndSpecialMarks)
{
    std::u16string deep;
    std::u16string deepShown;
    NestedFields(300, deep, deepShown);
    const struct {
        std::u16string raw;
        std::u16string main;
    } cases[] = {
        // {IF {PAGE}=1 "yes"}: the nested field sits in the instruction;
        // note references and object anchors leave no mark.
        {u"A \x13IF \x13PAGE\x14" u"1\x15=1\x14yes\x15 B\x01\x08\x02\x05\x03 C\r", u"A yes B C\r"},
        {deep + u"end\r", deepShown + u"end\r"},
        // An end without a begin; 400 instructions deep, never separated.
        {u"x\x15y" + std::u16string(400, u'\x13') + u"code" + std::u16string(400, u'\x15') + u"after\r",
         u"xyafter\r"},
    };
    for (const auto& c : cases) EXPECT_EQ(Read(Unicode(c.raw)).stories.at(0).text, c.main);
}

TEST(DocPieces, CompressedAndUnicodePiecesInAnyOrder)
{
    docbin::Word97 d;
    // Stored out of order, as after a fast save: the piece table decides.
    const Bytes tail = docbin::Utf16(u"\u0416\u00E9 world\r");
    const Bytes head = docbin::Latin("\x93Hi\x94 ");
    d.text = tail;
    d.text.insert(d.text.end(), head.begin(), head.end());
    const auto at = static_cast<std::uint32_t>(docbin::Word97::kTextAt);
    d.pieces = {{5, at + static_cast<std::uint32_t>(tail.size()), true}, {9, at, false}};
    d.ccp[0] = 14;
    const WordContent c = Read(d.Build());
    ASSERT_EQ(c.stories.size(), 1u);
    EXPECT_EQ(c.stories[0].text, u"\u201CHi\u201D \u0416\u00E9 world\r");
}

TEST(DocPieces, StoriesFollowEachOtherInFibOrder)
{
    docbin::Word97 d;
    const std::string all = "Main\rFoot\rHead\rNote\rEnd\rBox\rHbox\r";
    d.text = docbin::Latin(all);
    d.pieces = {{static_cast<std::uint32_t>(all.size()), docbin::Word97::kTextAt, true}};
    const std::uint32_t lengths[8] = {5, 5, 5, 0, 5, 4, 4, 5};  // no macro story
    std::copy(std::begin(lengths), std::end(lengths), d.ccp);
    const WordContent c = Read(d.Build());
    ASSERT_EQ(c.stories.size(), 7u);
    const std::pair<StoryKind, const char16_t*> expected[] = {
        {StoryKind::Main, u"Main\r"},         {StoryKind::Footnotes, u"Foot\r"},
        {StoryKind::HeadersFooters, u"Head\r"}, {StoryKind::Comments, u"Note\r"},
        {StoryKind::Endnotes, u"End\r"},      {StoryKind::TextBoxes, u"Box\r"},
        {StoryKind::HeaderTextBoxes, u"Hbox\r"}};
    for (const auto& [kind, text] : expected) {
        const auto* story = docbin::StoryText(c, kind);
        ASSERT_NE(story, nullptr) << static_cast<int>(kind);
        EXPECT_EQ(*story, text);
    }
}

TEST(DocPieces, StreamNamesMatchWithoutRegardToCaseAndLengthsAreClamped)
{
    docbin::Word97 d;
    d.text = docbin::Latin("lower\r");
    d.pieces = {{6, docbin::Word97::kTextAt, true}};
    d.ccp[0] = 6;
    Bytes table(16, 0);
    const Bytes clx = docbin::Clx(d.pieces);
    table.insert(table.end(), clx.begin(), clx.end());
    const auto stream = d.WordDocumentStream(16, static_cast<std::uint32_t>(clx.size()));
    EXPECT_EQ(Read(docbin::CompoundFileOf({{"worddocument", stream}, {"1table", table}})).stories.at(0).text,
              u"lower\r");
    // A FIB claiming more text than the pieces hold.
    d.ccp[0] = 1000000;
    d.ccp[1] = 50;
    EXPECT_EQ(*docbin::StoryText(Read(d.Build()), StoryKind::Main), u"lower\r");
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
    const WordContent c = Read(file);
    EXPECT_LE(c.stories.at(0).text.size(), docbin::Word97::kTextAt + 10);
    EXPECT_EQ(c.stories[0].text.substr(0, 20), u"abcdefghijabcdefghij");
    // And what the text would cost is charged to the file's budget first.
    office::ReadBudget small(2048);
    WordContent none;
    ReadError error;
    EXPECT_THROW(office::ReadWordBinary(View(file), none, error, &small), office::ReadBudgetExceeded);
    EXPECT_EQ(small.Used(), 0u);
}

TEST(DocDamage, DamagedAndEncryptedFilesAreRefused)
{
    docbin::Word97 d;
    d.text = docbin::Latin("abc\r");
    d.pieces = {{4, docbin::Word97::kTextAt, true}};
    d.ccp[0] = 4;
    std::vector<std::pair<Bytes, ReadErrorKind>> bad;
    // Pieces outside the stream, of 8-bit or of UTF-16 text.
    docbin::Word97 outside = d;
    outside.pieces = {{4, 0x7FFFFFF0u / 2, true}};
    bad.emplace_back(outside.Build(), ReadErrorKind::Damaged);
    docbin::Word97 wide;
    wide.text = docbin::Utf16(u"ab");
    wide.pieces = {{0x40000000u, docbin::Word97::kTextAt, false}};
    wide.ccp[0] = 0x40000000u;
    bad.emplace_back(wide.Build(), ReadErrorKind::Damaged);
    // A piece table of a size that is not a whole number of entries.
    Bytes table(16, 0);
    Bytes clx = docbin::Clx(d.pieces);
    clx.push_back(0);
    docbin::Put32(clx, 7, static_cast<std::uint32_t>(clx.size() - 11));
    table.insert(table.end(), clx.begin(), clx.end());
    bad.emplace_back(
        docbin::CompoundFileOf(
            {{"WordDocument", d.WordDocumentStream(16, static_cast<std::uint32_t>(clx.size()))}, {"1Table", table}}),
        ReadErrorKind::Damaged);
    // CLX past the table stream; no table stream; truncated FIB; wrong
    // signature; no WordDocument; not a compound file.
    bad.emplace_back(
        docbin::CompoundFileOf({{"WordDocument", d.WordDocumentStream(1u << 30, 100)}, {"1Table", Bytes(32, 0)}}),
        ReadErrorKind::Damaged);
    bad.emplace_back(docbin::CompoundFileOf({{"WordDocument", d.WordDocumentStream(16, 30)}}), ReadErrorKind::Damaged);
    Bytes fib = d.WordDocumentStream(16, 30);
    fib.resize(0x30);
    bad.emplace_back(docbin::CompoundFileOf({{"WordDocument", fib}}), ReadErrorKind::Damaged);
    Bytes wrong = d.WordDocumentStream(16, 30);
    wrong[0] = 0x12;
    wrong[1] = 0x34;  // 0x3412: no Word signature, nor one of the variants Word 95 writers used
    bad.emplace_back(docbin::CompoundFileOf({{"WordDocument", wrong}}), ReadErrorKind::NotThisFormat);
    Bytes word2 = d.WordDocumentStream(16, 30);  // nFib 45: Word 2, a format of its own
    word2[2] = 45;
    word2[3] = 0;
    bad.emplace_back(docbin::CompoundFileOf({{"WordDocument", word2}}), ReadErrorKind::UnsupportedVersion);
    bad.emplace_back(docbin::CompoundFileOf({{"Book", Bytes(100, 1)}}), ReadErrorKind::NotThisFormat);
    bad.emplace_back(docbin::Latin("just some text, not a compound file"), ReadErrorKind::NotThisFormat);
    bad.emplace_back(Bytes{}, ReadErrorKind::NotThisFormat);
    // Encrypted: a flag in the FIB, or an Office Open XML package saved
    // with a password.
    docbin::Word97 secret = d;
    secret.encrypted = true;
    bad.emplace_back(secret.Build(), ReadErrorKind::Encrypted);
    bad.emplace_back(docbin::CompoundFileOf({{"EncryptionInfo", Bytes(64, 4)}, {"EncryptedPackage", Bytes(4096, 9)}}),
                     ReadErrorKind::Encrypted);
    // Word 6 with a piece beyond the stream.
    docbin::Word6 w6;
    w6.complex = true;
    w6.text = docbin::Latin("x\r");
    w6.pieces = {{100, 0x7FFFFF00u, true}};
    w6.ccp[0] = 100;
    bad.emplace_back(w6.Build(), ReadErrorKind::Damaged);
    for (std::size_t i = 0; i < bad.size(); ++i) EXPECT_EQ(RefusedAs(bad[i].first), bad[i].second) << "case " << i;
}

// ---- Word 6.0/95 --------------------------------------------------------

TEST(Word6, TextInTheCodePageOfTheLanguageOrTheFonts)
{
    const struct {
        std::uint16_t lid;
        std::string text;
        std::vector<std::uint8_t> fontCharsets;
        std::uint16_t defaultFont;
        std::u16string main;
    } cases[] = {
        {0x0419, "\xCF\xF0\xE8\xE2\xE5\xF2\t\x93x\x94\r", {}, 0, u"\u041F\u0440\u0438\u0432\u0435\u0442\t\u201Cx\u201D\r"},
        {0x0409, "caf\xE9 \x80 5\r", {}, 0, u"caf\u00E9 \u20AC 5\r"},
        // An English-marked document whose default font is Cyrillic.
        {0x0409, "\xCC\xEE\xF1\xEA\xE2\xE0\r", {0, 204, 2}, 1, u"\u041C\u043E\u0441\u043A\u0432\u0430\r"},
        // Default font Western, one Central European font.
        {0x0409, "\x9A\xE8\r", {0, 238}, 0, u"\u0161\u010D\r"},
    };
    for (const auto& c : cases) {
        docbin::Word6 d;
        d.lid = c.lid;
        d.text = docbin::Latin(c.text + "foot\r");
        d.ccp[0] = static_cast<std::uint32_t>(c.text.size());
        d.ccp[1] = 5;
        d.fontCharsets = c.fontCharsets;
        d.defaultFont = c.defaultFont;
        const WordContent content = Read(d.Build());
        ASSERT_EQ(content.stories.size(), 2u);
        EXPECT_EQ(*docbin::StoryText(content, StoryKind::Main), c.main);
        EXPECT_EQ(*docbin::StoryText(content, StoryKind::Footnotes), u"foot\r");
    }
}

TEST(Word6, ComplexFilesReadThroughTheirPieceTable)
{
    docbin::Word6 d;
    d.complex = true;
    d.text = docbin::Latin("world\rHello ");
    const auto at = static_cast<std::uint32_t>(docbin::Word6::kTextAt);
    d.pieces = {{6, at + 6, true}, {6, at, true}};
    d.ccp[0] = 12;
    EXPECT_EQ(Read(d.Build()).stories.at(0).text, u"Hello world\r");
    // Extended-character files hold UTF-16.
    d.extChar = true;
    d.text = docbin::Utf16(u"\u0393\u03B5\u03B9\u03B1\r");
    d.pieces = {{5, at, false}};
    d.ccp[0] = 5;
    EXPECT_EQ(Read(d.Build()).stories.at(0).text, u"\u0393\u03B5\u03B9\u03B1\r");
    // A simple file claiming far more text than the stream holds.
    docbin::Word6 tiny;
    tiny.text = docbin::Latin("tiny\r");
    tiny.ccp[0] = 0x10000000u;
    EXPECT_EQ(Read(tiny.Build()).stories.at(0).text.substr(0, 5), u"tiny\r");
}

}  // namespace
