// The Word format readers on documents built byte by byte in the test:
// .doc (piece table, stories, fields, Word 6/95 code pages, encryption,
// damage), Office Open XML (every construct the reader must handle or
// refuse, the package's relationships, depths and counts without a cap)
// and RTF (code pages, Unicode escapes, destinations, fields, stories, the
// nesting limit). The office-suite-made fixtures go through every reader in
// wordreaders_test.
#include "office/containers/readbudget.h"
#include "support/costbound.h"
#include "support/hostilehtml.h"
#include "tests/office/docfixture.h"
#include "tests/office/wordfixture.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <tuple>

using docbin::Piece;
using office::hostile::Repeat;
using namespace wordfix;

namespace {

using Kind = StoryKind;

// What the reader refused the file as, None when it read it; a refusal
// leaves no story behind.
ReadErrorKind RefusedAs(Reader reader, ByteView data)
{
    WordContent c;
    ReadError error;
    if (reader(data, c, error)) return ReadErrorKind::None;
    EXPECT_TRUE(c.stories.empty());
    return error.kind;
}

// Each story of `kind` holds the text given.
void ExpectStories(const WordContent& c, const std::vector<std::pair<Kind, std::u16string>>& expected)
{
    for (const auto& [kind, text] : expected) EXPECT_EQ(StoryOf(c, kind), text) << static_cast<int>(kind);
}

// ---- Word 97 and later, Word 6.0/95 -----------------------------------------

// The main story of small documents: fields and special marks, stream
// names in any case, lengths past the text there is, and Word 6's piece
// tables and extended characters.
TEST(DocText, MainStoryOfSmallDocuments)
{
    // Fields nested in each other's results, deeper than any real document.
    std::u16string deep, deepShown, closing, closingShown;
    for (int i = 0; i < 300; ++i) {
        const std::u16string n = Utf8ToUtf16(std::to_string(i));
        deep += u"\x13QUOTE " + n + u"\x14r" + n + u" ";
        deepShown += u"r" + n + u" ";
        closing = u"s" + n + u" \x15" + closing;
        closingShown = u"s" + n + u" " + closingShown;
    }
    docbin::Word97 lower = docbin::Word97Doc(u"lower\r");
    const Bytes clx = docbin::Clx(lower.pieces);
    const auto stream = lower.WordDocumentStream(16, static_cast<std::uint32_t>(clx.size()));
    // A FIB claiming more text than the pieces hold.
    lower.ccp[0] = 1000000;
    lower.ccp[1] = 50;
    // Word 6: pieces in another order than the text's; extended characters
    // in UTF-16; a simple file claiming far more text than the stream holds.
    const auto at = static_cast<std::uint32_t>(docbin::Word6::kTextAt);
    docbin::Word6 complex, wide, tiny;
    complex.complex = wide.complex = wide.extChar = true;
    complex.text = docbin::Latin("world\rHello ");
    complex.pieces = {{6, at + 6, true}, {6, at, true}};
    complex.ccp[0] = 12;
    wide.text = docbin::Utf16(u"\u0393\u03B5\u03B9\u03B1\r");
    wide.pieces = {{5, at, false}};
    wide.ccp[0] = 5;
    tiny.text = docbin::Latin("tiny\r");
    tiny.ccp[0] = 0x10000000u;
    // Word 97 pieces stored out of order, as after a fast save: the piece
    // table decides; 8-bit pieces are in Windows-1252.
    docbin::Word97 fast;
    fast.text = docbin::Utf16(u"\u0416\u00E9 world\r");
    const auto at97 = static_cast<std::uint32_t>(docbin::Word97::kTextAt);
    fast.pieces = {{5, at97 + 18, true}, {9, at97, false}};  // the 8-bit piece after 18 bytes of UTF-16
    for (char c : std::string("\x93Hi\x94 ")) fast.text.push_back(static_cast<std::uint8_t>(c));
    fast.ccp[0] = 14;
    const std::pair<Bytes, std::u16string> cases[] = {
        // {IF {PAGE}=1 "yes"}: the nested field sits in the instruction;
        // note references and object anchors leave no mark; a column break
        // reads as a page break, the other marks as they are.
        {docbin::Word97Of(u"A \x13IF \x13PAGE\u00141\x15=1\x14yes\x15 B\x01\x08\x02\x05\x03 C\x0E"
                          u"D\t\x0B\x0C\x07\x1E\x1F\r",
                          false),
         u"A yes B C\fD\t\v\f\a\x1E\x1F\r"},
        {docbin::Word97Of(deep + closing + u"end\r", false), deepShown + closingShown + u"end\r"},
        // An end without a begin; 400 instructions deep, never separated.
        {docbin::Word97Of(
             u"x\x15y" + std::u16string(400, u'\x13') + u"code" + std::u16string(400, u'\x15') + u"after\r", false),
         u"xyafter\r"},
        {docbin::CompoundFileOf({{"worddocument", stream}, {"1table", lower.Table(clx)}}), u"lower\r"},
        {lower.Build(), u"lower\r"},
        {complex.Build(), u"Hello world\r"},
        {wide.Build(), u"\u0393\u03B5\u03B9\u03B1\r"},
        {tiny.Build(), u"tiny\r"},
        {fast.Build(), u"\u201CHi\u201D \u0416\u00E9 world\r"},
    };
    for (const auto& [file, main] : cases) EXPECT_EQ(StoryOf(ReadOk(kDoc, file)), main);
}

TEST(DocStories, StoriesInFibOrder)
{
    docbin::Word97 d = docbin::Word97Doc(u"Main\rFoot\rHead\rNote\rEnd\rBox\rHbox\r");
    const std::uint32_t lengths[8] = {5, 5, 5, 0, 5, 4, 4, 5};  // no macro story
    std::copy(std::begin(lengths), std::end(lengths), d.ccp);
    const WordContent seven = ReadOk(kDoc, d.Build());
    EXPECT_EQ(seven.stories.size(), 7u);
    ExpectStories(seven, {{Kind::Main, u"Main\r"}, {Kind::Footnotes, u"Foot\r"}, {Kind::HeadersFooters, u"Head\r"},
                          {Kind::Comments, u"Note\r"}, {Kind::Endnotes, u"End\r"}, {Kind::TextBoxes, u"Box\r"},
                          {Kind::HeaderTextBoxes, u"Hbox\r"}});
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
    const WordContent c = ReadOk(kDoc, file);
    EXPECT_LE(c.stories.at(0).text.size(), docbin::Word97::kTextAt + 10);
    EXPECT_EQ(c.stories[0].text.substr(0, 20), u"abcdefghijabcdefghij");
    // And what the text would cost is charged to the file's budget first.
    office::ReadBudget small(2048);
    WordContent none;
    ReadError error;
    EXPECT_THROW(office::ReadWordBinary(file, none, error, &small), office::ReadBudgetExceeded);
    EXPECT_EQ(small.Used(), 0u);
}

// Nothing, plain text, a brace that opens no RTF, and a package saved with
// a password are no reader's format (the binary and package readers say the
// last is encrypted); then damaged, foreign and encrypted .doc and .docx
// files.
TEST(WordFormats, DamagedForeignAndEncryptedFilesAreRefused)
{
    const Bytes encrypted =
        docbin::CompoundFileOf({{"EncryptionInfo", Bytes(64, 4)}, {"EncryptedPackage", Bytes(4096, 9)}});
    for (const Reader reader : {kDoc, kDocx, kRtf}) {
        for (const char* text : {"", "plain text, not a compound file", "{\\pard not rtf}"})
            EXPECT_EQ(RefusedAs(reader, View(text)), ReadErrorKind::NotThisFormat) << text;
        EXPECT_EQ(RefusedAs(reader, encrypted),
                  reader == kRtf ? ReadErrorKind::NotThisFormat : ReadErrorKind::Encrypted);
    }
    const docbin::Word97 d = docbin::Word97Doc(u"abc\r");
    const auto only = [](const Bytes& stream) { return docbin::CompoundFileOf({{"WordDocument", stream}}); };
    const auto withPieces = [&d](std::vector<Piece> pieces, std::uint32_t ccp = 4) {
        docbin::Word97 copy = d;
        copy.pieces = std::move(pieces);
        copy.ccp[0] = ccp;
        return copy.Build();
    };
    // A piece table of a size that is not a whole number of entries.
    Bytes clx = docbin::Clx(d.pieces);
    clx.push_back(0);
    docbin::Put32(clx, 7, static_cast<std::uint32_t>(clx.size() - 11));
    Bytes fib = d.WordDocumentStream(16, 30), wrong = fib, word2 = fib;
    fib.resize(0x30);  // truncated
    wrong[0] = 0x12;  // 0x3412: no Word signature, nor one of the variants Word 95 writers used
    wrong[1] = 0x34;
    word2[2] = 45;  // nFib 45: Word 2, a format of its own
    docbin::Word97 secret = d;
    secret.encrypted = true;
    docbin::Word6 w6;  // Word 6 with a piece beyond the stream
    w6.complex = true;
    w6.text = docbin::Latin("x\r");
    w6.pieces = {{100, 0x7FFFFF00u, true}};
    w6.ccp[0] = 100;
    const std::pair<Bytes, ReadErrorKind> bad[] = {
        // Pieces outside the stream, of 8-bit or of UTF-16 text.
        {withPieces({{4, 0x7FFFFFF0u / 2, true}}), ReadErrorKind::Damaged},
        {withPieces({{0x40000000u, docbin::Word97::kTextAt, false}}, 0x40000000u), ReadErrorKind::Damaged},
        {docbin::CompoundFileOf({{"WordDocument", d.WordDocumentStream(16, static_cast<std::uint32_t>(clx.size()))},
                                 {"1Table", d.Table(clx)}}),
         ReadErrorKind::Damaged},
        // CLX past the table stream; no table stream; truncated FIB; wrong
        // signature; an old version; no WordDocument; encrypted.
        {docbin::CompoundFileOf({{"WordDocument", d.WordDocumentStream(1u << 30, 100)}, {"1Table", Bytes(32, 0)}}),
         ReadErrorKind::Damaged},
        {only(d.WordDocumentStream(16, 30)), ReadErrorKind::Damaged},
        {only(fib), ReadErrorKind::Damaged},
        {only(wrong), ReadErrorKind::NotThisFormat},
        {only(word2), ReadErrorKind::UnsupportedVersion},
        {docbin::CompoundFileOf({{"Book", Bytes(100, 1)}}), ReadErrorKind::NotThisFormat},
        {secret.Build(), ReadErrorKind::Encrypted},
        {w6.Build(), ReadErrorKind::Damaged},
    };
    for (std::size_t i = 0; i < std::size(bad); ++i) EXPECT_EQ(RefusedAs(kDoc, bad[i].first), bad[i].second) << "case " << i;
    std::string unclosed;
    for (int i = 0; i < 400; ++i) unclosed += "<w:sdt><w:sdtContent>";
    const std::pair<Bytes, ReadErrorKind> badDocx[] = {
        {ziptest::BuildZip({{"xl/workbook.xml", "<workbook/>"}}), ReadErrorKind::NotThisFormat},
        {{'P', 'K', 3, 4, 0, 0}, ReadErrorKind::NotThisFormat},
        // 20 MiB of one character: the ratio cap stops it early.
        {Package(Body(Para(TextRun(std::string(20u << 20, 'a'))))), ReadErrorKind::TooLarge},
        {Package("<?xml version=\"1.0\"?><!DOCTYPE d [<!ENTITY a \"aaaaaaaaaa\"><!ENTITY b \"&a;&a;&a;&a;&a;&a;\">]>" +
                 Body(Para(TextRun("&b;")))),
         ReadErrorKind::Damaged},
        {Package(Body(unclosed)), ReadErrorKind::Damaged},
        {Package(Body("<w:p><w:r></w:p>")), ReadErrorKind::Damaged},
    };
    for (std::size_t i = 0; i < std::size(badDocx); ++i)
        EXPECT_EQ(RefusedAs(kDocx, badDocx[i].first), badDocx[i].second) << "case " << i;
}

// ---- Word 6.0/95 --------------------------------------------------------

TEST(Word6, TextInTheCodePageOfTheLanguageOrTheFonts)
{
    const std::tuple<std::uint16_t, std::string, std::vector<std::uint8_t>, std::uint16_t, std::u16string> cases[] = {
        {0x0419, "\xCF\xF0\xE8\xE2\xE5\xF2\t\x93x\x94\r", {}, 0, u"\u041F\u0440\u0438\u0432\u0435\u0442\t\u201Cx\u201D\r"},
        {0x0409, "caf\xE9 \x80 5\r", {}, 0, u"caf\u00E9 \u20AC 5\r"},
        // An English-marked document whose default font is Cyrillic.
        {0x0409, "\xCC\xEE\xF1\xEA\xE2\xE0\r", {0, 204, 2}, 1, u"\u041C\u043E\u0441\u043A\u0432\u0430\r"},
        // Default font Western, one Central European font.
        {0x0409, "\x9A\xE8\r", {0, 238}, 0, u"\u0161\u010D\r"},
    };
    // Word 6 writes nFib 101, Word 95 104; both layouts are the same.
    for (const int nFib : {101, 104, 105}) {
        for (const auto& [lid, text, fontCharsets, defaultFont, main] : cases) {
            docbin::Word6 d;
            d.nFib = static_cast<std::uint16_t>(nFib);
            d.lid = lid;
            d.text = docbin::Latin(text + "foot\r");
            d.ccp[0] = static_cast<std::uint32_t>(text.size());
            d.ccp[1] = 5;
            d.fontCharsets = fontCharsets;
            d.defaultFont = defaultFont;
            const WordContent content = ReadOk(kDoc, d.Build());
            EXPECT_EQ(content.stories.size(), 2u);
            ExpectStories(content, {{Kind::Main, main}, {Kind::Footnotes, u"foot\r"}});
        }
    }
}

// ---- Office Open XML ---------------------------------------------------------

std::string Header(const std::string& text) { return Part("hdr", Para(TextRun(text))); }
std::string FieldChar(const std::string& type) { return "<w:r><w:fldChar w:fldCharType=\"" + type + "\"/></w:r>"; }
std::u16string MainOf(const std::string& body) { return StoryOf(ReadOk(kDocx, Package(Body(body)))); }

TEST(DocxText, RunsBreaksTablesFieldsAndRevisions)
{
    const std::string cell1 = "<w:tc><w:tcPr><w:tcW w:w=\"1\"/></w:tcPr>" + Para(TextRun("one")) + Para(TextRun("more")) + "</w:tc>";
    const std::string table = "<w:tbl><w:tblPr/><w:tblGrid/><w:tr>" + cell1 + "<w:tc>" + Para(TextRun("two")) +
                              "</w:tc></w:tr></w:tbl>";
    const auto instr = [](const std::string& text) { return "<w:r><w:instrText>" + text + "</w:instrText></w:r>"; };
    const std::string complex = FieldChar("begin") + instr(" IF ") + FieldChar("begin") + instr("PAGE") +
                                FieldChar("separate") + "<w:r><w:t>7</w:t></w:r>" + FieldChar("end") +
                                instr(" = 7 \"yes\"") + FieldChar("separate") + TextRun("yes") + FieldChar("end");
    const std::string simple = "<w:fldSimple w:instr=\" DATE \\@ &quot;yyyy&quot; \">" + TextRun("2024") + "</w:fldSimple>";
    std::string neverEnds, deep, deepEnd;
    std::u16string deepShown, deepEndShown;
    for (int i = 0; i < 300; ++i) {
        const std::string n = std::to_string(i);
        neverEnds += FieldChar("begin");
        deep += FieldChar("begin") + instr("QUOTE " + n) + FieldChar("separate") + TextRun("r" + n + " ");
        deepShown += u"r" + Utf8ToUtf16(n) + u" ";
        deepEnd = TextRun("s" + n + " ") + FieldChar("end") + deepEnd;
        deepEndShown = u"s" + Utf8ToUtf16(n) + u" " + deepEndShown;
    }
    const std::tuple<std::string, std::u16string> cases[] = {
        {Para("<w:pPr><w:tabs><w:tab w:val=\"left\" w:pos=\"720\"/></w:tabs></w:pPr>"
              "<w:r><w:t>a</w:t><w:tab/><w:t>b</w:t><w:br/><w:t>c</w:t><w:br w:type=\"page\"/><w:t>d</w:t><w:cr/>"
              "<w:t>e</w:t><w:noBreakHyphen/><w:t>f</w:t><w:softHyphen/><w:t>g</w:t><w:sym w:font=\"Wingdings\" "
              "w:char=\"F04A\"/><w:sym w:char=\"zz\"/><w:ptab w:relativeTo=\"margin\" w:alignment=\"right\" "
              "w:leader=\"none\"/><w:t>h</w:t><w:br w:type=\"column\"/><w:t>i</w:t></w:r>"),
         u"a\tb\vc\fd\ve\x1E" u"f\x1Fg\uF04A\th\fi\r"},
        {table + Para(TextRun("after")), u"one\rmore\atwo\a\aafter\r"},
        {Para(TextRun("A ") + complex + TextRun(" B ") + simple), u"A yes B 2024\r"},
        // An instruction without a result, and a field that never ends.
        {Para(TextRun("x") + FieldChar("begin") + TextRun("hidden") + FieldChar("end") + TextRun("y")), u"xy\r"},
        {Para(TextRun("before") + neverEnds + TextRun("lost")), u"before"},
        {Para(deep + deepEnd + TextRun("end")), deepShown + deepEndShown + u"end\r"},
        // Deleted and moved-away text is not read.
        {Para(TextRun("kept ") + "<w:del w:id=\"1\" w:author=\"a\"><w:r><w:delText>gone</w:delText></w:r></w:del>"
              "<w:ins w:id=\"2\" w:author=\"a\">" + TextRun("added ") + "</w:ins><w:moveFrom w:id=\"3\" w:author=\"a\">" +
              TextRun("moved") + "</w:moveFrom><w:moveTo w:id=\"4\" w:author=\"a\">" + TextRun("arrived") + "</w:moveTo>"),
         u"kept added arrived\r"},
        {Para("<w:r><mc:AlternateContent><mc:Fallback>" + TextRun("fb") + "</mc:Fallback></mc:AlternateContent></w:r>"),
         u"fb\r"},
        {Para("<m:oMath><m:r><m:t>x+1</m:t></m:r></m:oMath>"), u"x+1\r"},
    };
    for (const auto& [body, main] : cases) EXPECT_EQ(MainOf(body), main);

    // The strict namespace.
    const std::string strict = "<w:document xmlns:w=\"http://purl.oclc.org/ooxml/wordprocessingml/main\"><w:body><w:p>"
                               "<w:r><w:t>strict</w:t><w:br w:type=\"page\"/></w:r></w:p></w:body></w:document>";
    EXPECT_EQ(StoryOf(ReadOk(kDocx, Package(strict))), u"strict\f\r");
}

TEST(DocxPackage, StoryPartsComeThroughTheDocumentRelationships)
{
    const std::string rels =
        Rels(Rel("r1", "header", "header1.xml") + Rel("r2", "footer", "/word/sub/../footer1.xml") +
             Rel("r3", "footnotes", "footnotes.xml") + Rel("r4", "endnotes", "endnotes.xml") +
             Rel("r5", "comments", "comments.xml") + Rel("r6", "header", "http://example.com/x.xml", true) +
             Rel("r7", "header", "missing.xml") + Rel("r8", "header", "../../../etc/passwd") +
             Rel("r9", "footer", "F.xml") + Rel("r10", "footer", "footer1.xml"));
    const std::string hdrBox = "<w:r><w:pict><v:textbox><w:txbxContent>" + Para(TextRun("hbox")) +
                               "</w:txbxContent></v:textbox></w:pict></w:r>";
    const WordContent c = ReadOk(kDocx, Package(
        Body(Para(TextRun("body") + "<w:r><w:footnoteReference w:id=\"1\"/></w:r>")),
        {{"word/_rels/document.xml.rels", rels},
         {"word/header1.xml", Part("hdr", Para(TextRun("head") + hdrBox))},
         {"word/footer1.xml", Header("foot")},
         {"word/footnotes.xml",
          Part("footnotes", "<w:footnote w:type=\"separator\" w:id=\"-1\">" + Para("<w:r><w:separator/></w:r>") +
                                "</w:footnote><w:footnote w:id=\"1\">" + Para(TextRun("note")) + "</w:footnote>")},
         {"word/endnotes.xml", Part("endnotes", "<w:endnote w:id=\"1\">" + Para(TextRun("endn")) + "</w:endnote>")},
         {"word/comments.xml", Part("comments", "<w:comment w:id=\"0\">" + Para(TextRun("remark")) + "</w:comment>")}}));
    // The footer is read once although several relationships name it.
    ExpectStories(c, {{Kind::Main, u"body\r"}, {Kind::HeadersFooters, u"head\rfoot\r"},
                      {Kind::HeaderTextBoxes, u"hbox\r"}, {Kind::Footnotes, u"note\r"}, {Kind::Endnotes, u"endn\r"},
                      {Kind::Comments, u"remark\r"}, {Kind::TextBoxes, u"<none>"}});

    // Without relationships the main part is found by its content type.
    const std::string types =
        "<Types xmlns=\"http://schemas.openxmlformats.org/package/2006/content-types\"><Override "
        "PartName=\"/word/main.xml\" ContentType=\"application/vnd.ms-word.document.macroEnabled.main+xml\"/></Types>";
    EXPECT_EQ(StoryOf(ReadOk(kDocx, ziptest::BuildZip({{"[Content_Types].xml", types}, {"word/main.xml", Body(Para(TextRun("macro")))}}))),
              u"macro\r");
}

TEST(DocxDepth, DeeplyNestedTablesKeepTheirTextAndAStackBeyondTheBudgetIsRefused)
{
    // Tables 1,000 deep (3,000 XML levels and more) keep every level's text.
    std::string body;
    for (int i = 0; i < 1000; ++i) body += "<w:tbl><w:tr><w:tc>" + Para(TextRun("c" + std::to_string(i)));
    for (int i = 0; i < 1000; ++i) body += "</w:tc></w:tr></w:tbl>" + Para(TextRun("after" + std::to_string(i)));
    const std::u16string text = MainOf(body);
    EXPECT_EQ(text.substr(0, 6), u"c0\rc1\r");
    EXPECT_NE(text.find(u"c998\rc999\a\aafter0\a\aafter1\a\a"), std::u16string::npos);
    EXPECT_TRUE(text.ends_with(u"after998\a\aafter999\r"));
    // What a stack of open elements costs is charged to the file's budget;
    // numbered, so that the part does not compress like a zip bomb.
    std::string deep;
    for (int i = 0; i < 200000; ++i) deep += "<w:sdt w:n=\"" + std::to_string(i * 7919 % 100003) + "\">";
    for (int i = 0; i < 200000; ++i) deep += "</w:sdt>";
    const auto zip = Package(Body(Para(TextRun("x")) + deep));
    office::ReadBudget budget(32u << 20), enough(256u << 20);
    WordContent c;
    ReadError error;
    EXPECT_FALSE(office::ReadDocx(zip, c, error, &budget));
    EXPECT_EQ(error.kind, ReadErrorKind::TooLarge) << error;
    EXPECT_TRUE(office::ReadDocx(zip, c, error, &enough)) << error;
}

// Every header of a document is read however many it has, and however
// many hyperlinks it has, it opens; one part named by thousands of
// relationships written in different ways is read once.
TEST(DocxCounts, ThousandsOfHeadersAndRelationships)
{
    std::string rels;
    std::vector<ziptest::Entry> entries;
    for (int i = 0; i < 12000; ++i)
        rels += Rel("l" + std::to_string(i), "hyperlink", "http://example.com/" + std::to_string(i), true);
    for (int i = 0; i < 1200; ++i) {
        const std::string name = "header" + std::to_string(i) + ".xml";
        rels += Rel("h" + std::to_string(i), i % 2 == 0 ? "header" : "footer", name);
        entries.push_back({"word/" + name, Header("hw" + std::to_string(i))});
    }
    const std::string spellings[] = {"header1.xml", "/word/header1.xml", "./header1.xml", "../word/header1.xml",
                                     "sub/../header1.xml", "HEADER1.xml", "header%31.xml", "header1.xml#frag",
                                     "document.xml"};
    for (int i = 0; i < 5000; ++i) rels += Rel("s" + std::to_string(i), "header", spellings[i % std::size(spellings)]);
    entries.push_back({"word/_rels/document.xml.rels", Rels(rels)});
    const WordContent c = ReadOk(kDocx, Package(Body(Para(TextRun("body"))), entries));
    EXPECT_EQ(StoryOf(c), u"body\r");
    const std::u16string headers = StoryOf(c, Kind::HeadersFooters);
    EXPECT_EQ(std::count(headers.begin(), headers.end(), u'\r'), 1200);
    for (const char16_t* header : {u"hw0\r", u"hw1199\r"}) EXPECT_NE(headers.find(header), std::u16string::npos);
}

// A main part in a folder with a very long name: each relationship costs
// its own length, not the folder's (resolved against the folder, tens of
// thousands of them take tens of seconds; by their own lengths, moments).
TEST(DocxCounts, RelationshipsCostTheirOwnLengthNotTheFolders)
{
    std::string folder, rels;
    for (int i = 0; i < 30000; ++i) folder += "a/";
    for (int i = 0; i < 20000; ++i) rels += Rel("m" + std::to_string(i), "header", "missing" + std::to_string(i) + ".xml");
    rels += Rel("real", "footer", "../a/footer.xml");
    const auto zip = ziptest::BuildZip({{"_rels/.rels", Rels(Rel("rId1", "officeDocument", folder + "document.xml"))},
                                        {folder + "document.xml", Body(Para(TextRun("deepbody")))},
                                        {folder + "_rels/document.xml.rels", Rels(rels)},
                                        {folder + "footer.xml", Header("farfooter")}});
    const auto start = std::chrono::steady_clock::now();
    const WordContent c = ReadOk(kDocx, zip);
    EXPECT_LT(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count(),
              3.0 * costbound::kSlowBuildScale);
    ExpectStories(c, {{Kind::Main, u"deepbody\r"}, {Kind::HeadersFooters, u"farfooter\r"}});
}

// ---- RTF -----------------------------------------------------------------------

TEST(RtfText, MainStoryOfSmallDocuments)
{
    const std::tuple<std::string, std::u16string> cases[] = {
        {"{\\rtf1 a\\tab b\\line c\\par d\\page e\\sect f\\column g\\par}", u"a\tb\vc\rd\fe\ff\fg\r"},
        {"{\\rtf1\\trowd\\cellx100\\cellx200 x\\cell y\\cell\\row z\\par}", u"x\ay\a\az\r"},
        // Source line ends are not text; a backslash before one is a paragraph.
        {"{\\rtf1 one\r\ntwo\\\nthree}", u"onetwo\rthree"},
        {"{\\rtf1 \\{braces\\} and \\\\ back\\~nb\\-soft\\_hard}", u"{braces} and \\ back\u00A0nb\x1Fsoft\x1Ehard"},
        {"{\\rtf1 \\lquote q\\rquote  \\ldblquote d\\rdblquote  \\emdash\\endash\\bullet}",
         u"\u2018q\u2019 \u201Cd\u201D \u2014\u2013\u2022"},
        // Code pages from the document, from fonts and from \deff; an
        // unknown one keeps the default; the symbol font's bytes become its
        // private-use characters; double-byte code pages decode pairs.
        {"{\\rtf1\\ansi caf\\'e9 \\'80}", u"caf\u00E9 \u20AC"},
        {"{\\rtf1\\ansi\\ansicpg1251 \\'cf\\'f0\\'e8}", u"\u041F\u0440\u0438"},
        {"{\\rtf1\\ansi\\ansicpg99999 \\'e9}", u"\u00E9"},
        {"{\\rtf1\\ansi{\\fonttbl{\\f0\\fswiss Arial;}{\\f1\\fcharset161 Greek;}{\\f2\\fcharset2 Symbol;}}"
         "\\f0 a\\'e9{\\f1 \\'e1\\'e2}{\\f2 a}\\'e9}",
         u"a\u00E9\u03B1\u03B2\uF061\u00E9"},
        {"{\\rtf1\\ansi\\deff1{\\fonttbl{\\f0 Arial;}{\\f1\\fcharset204 Cyr;}}\\'c4\\'e0 {\\f0 \\'e9}}", u"\u0414\u0430 \u00E9"},
        {"{\\rtf1\\ansi\\ansicpg936 \\'d6\\'d0\\'ce\\'c4}", u"\u4E2D\u6587"},
        // Unicode escapes skip their fallback, as many as \uc says, within
        // their group; surrogate pairs come as two escapes.
        {"{\\rtf1 \\u1071?x}", u"\u042Fx"},
        {"{\\rtf1\\uc2 \\u1071\\'3f\\'3fx}", u"\u042Fx"},
        {"{\\rtf1\\uc0 \\u1071 x}", u"\u042Fx"},
        {"{\\rtf1 \\u-3913?}", u"\uF0B7"},
        {"{\\rtf1 \\u-10179?\\u-8694?}", u"\U0001F60A"},
        {"{\\rtf1 {\\uc3 \\u1071}abc}", u"\u042Fabc"},
        // Destinations that are not text.
        {"{\\rtf1{\\fonttbl{\\f0 Arial;}}{\\colortbl;\\red1\\green2\\blue3;}{\\stylesheet{\\s0 Normal;}}"
         "{\\info{\\title Secret title}{\\author Someone}}{\\*\\generator Writer;}{\\*\\unknownthing hidden}"
         "visible{\\pict\\pngblip 89504e47} text{\\*\\bkmkstart mark}{\\*\\bkmkend mark}"
         "{\\listtext 1.\\tab}item\\bin4 {}{} end}",
         u"visible textitem end"},
        // Only a group that opens with \* is an ignorable destination.
        {"{\\rtf1 {\\f1\\*\\cs7 The quick brown fox} jumps}", u"The quick brown fox jumps"},
        {"{\\rtf1 {\\b\\*\\par x}y}", u"\rxy"},
        {"{\\rtf1 a\\*\\unknownword b}", u"ab"},
        {"{\\rtf1 a{\r\n\\*\\unknown hidden}b}", u"ab"},
        {"{\\rtf1 a{\\*\\*\\unknown hidden}b}", u"ab"},
        {"{\\rtf1 a{\\*\\unknown {\\*\\fldrslt inner}{\\b more} \\*\\result x}b}", u"ab"},
        {"{\\rtf1 a{\\*\\fldrslt shown}b}", u"ashownb"},
        {"{\\rtf1 {\\field{\\*\\fldinst PAGE}{\\fldrslt{\\b\\*\\cs9 7}}}}", u"7"},
        {"{\\rtf1 a{\\b\\*\\fldinst PAGE}b}", u"ab"},
        {"{\\rtf1 {\\u1071\\*\\cs7 x}y}", u"\u042Fxy"},
        {"{\\rtf1\\uc2 {\\u1071\\'3f\\*\\unknown x}y}", u"\u042Fxy"},
        {"{\\rtf1 \\u1071{\\*\\unknown hidden}x}", u"\u042Fx"},
        // Fields and objects keep their results.
        {"{\\rtf1 a {\\field{\\*\\fldinst{ PAGE }}{\\fldrslt{7}}} b}", u"a 7 b"},
        {"{\\rtf1 {\\field{\\fldinst HYPERLINK \"http://x\"}{\\fldrslt link}}}", u"link"},
        {"{\\rtf1 x{\\object\\objemb{\\*\\objclass Excel}{\\*\\objdata 0105}{\\result shown}}y}", u"xshowny"},
        // Nesting: deep groups keep their text; past the cap they keep their
        // characters and paragraph marks too; never closed, cut short or
        // with stray closers, what was there is read.
        {"{\\rtf1 " + Repeat("{", 998) + "deep" + Repeat("}", 998) + "}", u"deep"},
        {"{\\rtf1 before " + Repeat("{\\b ", 5000) + "deep\\par word{\\*\\bkmkstart x}\\u1071?" + Repeat("}", 5000) +
             " after}",
         u"before deep\rwordx\u042F after"},
        {"{\\rtf1 " + Repeat("{\\i ", 5000) + "bottom", u"bottom"},
        {"{\\rtf1 cut {\\b short", u"cut short"},
        {"{\\rtf1 a}}} b", u"a"},
        // Absurd parameters and overlong control words are harmless.
        {"{\\rtf1\\uc99999999999 \\u65?abcdefghijklmnopqrstu}", u"Apqrstu"},
        {"{\\rtf1 \\u99999999999?x\\bin-5 y\\" + std::string(200, 'a') + " z}", u"xyz"},
        {"{\\rtf1 a\\bin99999999 data}", u"a"},
    };
    for (const auto& [rtf, main] : cases) EXPECT_EQ(StoryOf(ReadOk(kRtf, View(rtf))), main) << rtf.substr(0, 120);
    // Stories go to their own story.
    ExpectStories(ReadOk(kRtf, View("{\\rtf1{\\header head\\par}{\\footerf foot}body{\\*\\footnote\\chftn note}"
                                    "{\\footnote\\ftnalt endn}{\\*\\atnid A}{\\*\\annotation remark}"
                                    "{\\shp{\\*\\shpinst{\\sp{\\sn x}{\\sv y}}{\\shptxt boxed\\par}}}\\par}")),
                  {{Kind::Main, u"body\r"}, {Kind::HeadersFooters, u"head\rfoot\r"}, {Kind::Footnotes, u"note\r"},
                   {Kind::Endnotes, u"endn\r"}, {Kind::Comments, u"remark\r"}, {Kind::TextBoxes, u"boxed\r"}});
}

}  // namespace
