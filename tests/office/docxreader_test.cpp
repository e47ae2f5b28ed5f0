// Office Open XML reader: the LibreOffice-made fixtures, and packages built
// in the test for every construct the reader must handle or refuse.
#include "office/word/docxreader.h"

#include "office/containers/filebytes.h"
#include "tests/office/docfixture.h"
#include "tests/office/zipfixture.h"

#include "platform/codepage.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>

using office::StoryKind;
using office::WordContent;

namespace {

const std::string kNs =
    "xmlns:w=\"http://schemas.openxmlformats.org/wordprocessingml/2006/main\" "
    "xmlns:mc=\"http://schemas.openxmlformats.org/markup-compatibility/2006\" "
    "xmlns:wps=\"http://schemas.microsoft.com/office/word/2010/wordprocessingShape\" "
    "xmlns:v=\"urn:schemas-microsoft-com:vml\" "
    "xmlns:m=\"http://schemas.openxmlformats.org/officeDocument/2006/math\"";

const std::string kRootRels =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?><Relationships "
    "xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\"><Relationship Id=\"rId1\" "
    "Type=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships/officeDocument\" "
    "Target=\"word/document.xml\"/></Relationships>";

std::string Body(const std::string& inner)
{
    return "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?><w:document " + kNs + "><w:body>" + inner +
           "</w:body></w:document>";
}

std::string Para(const std::string& runs)
{
    return "<w:p>" + runs + "</w:p>";
}

std::string TextRun(const std::string& text)
{
    return "<w:r><w:t xml:space=\"preserve\">" + text + "</w:t></w:r>";
}

std::vector<std::uint8_t> Package(const std::string& document, std::vector<ziptest::Entry> more = {})
{
    more.push_back({"_rels/.rels", kRootRels});
    more.push_back({"word/document.xml", document});
    return ziptest::BuildZip(more);
}

bool Read(const std::vector<std::uint8_t>& bytes, WordContent& c, std::string& error)
{
    return office::ReadDocx({bytes.data(), bytes.size()}, c, error);
}

std::u16string MainOf(const std::string& body)
{
    WordContent c;
    std::string error;
    EXPECT_TRUE(Read(Package(Body(body)), c, error)) << error;
    return c.stories.empty() ? u"<none>" : c.stories[0].text;
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

// ---- The LibreOffice-made fixtures --------------------------------------

class DocxFixture : public ::testing::TestWithParam<const char*> {};

TEST_P(DocxFixture, EveryStoryAndSpecialCharacter)
{
    std::vector<std::uint8_t> bytes;
    std::string error;
    ASSERT_TRUE(office::ReadFileBytes(std::string(VARNEL_TEST_DATA) + "/word/" + GetParam(), bytes, error));
    WordContent c;
    ASSERT_TRUE(Read(bytes, c, error)) << error;
    ASSERT_FALSE(c.stories.empty());
    EXPECT_EQ(c.stories[0].kind, StoryKind::Main);
    const auto* main = Find(c, StoryKind::Main);
    EXPECT_TRUE(Has(main, u"Mainalpha first paragraph.\r"));
    EXPECT_TRUE(Has(main, u"Tabbed\tcolumn and Spaced   four spaces."));
    EXPECT_TRUE(Has(main, u"Line\vbroken and non\u00A0breaking and soft\x1Fhyphen and hard\x1Ehyphen."));
    EXPECT_TRUE(Has(main, u"Noteholder and Endholder."));
    EXPECT_TRUE(Has(main, u"Fieldday 2021-03-04 and page 1 end."));
    EXPECT_TRUE(Has(main, u"Cellone\aCelltwo\a\aCellthree\aCellfour\a\a"));
    EXPECT_TRUE(Has(Find(c, StoryKind::Footnotes), u"Footnoteword text."));
    EXPECT_TRUE(Has(Find(c, StoryKind::Endnotes), u"Endnoteword text."));
    EXPECT_TRUE(Has(Find(c, StoryKind::Comments), u"Commentword remark."));
    EXPECT_TRUE(Has(Find(c, StoryKind::HeadersFooters), u"Headerword alpha\rFooterword page 1\r"));
    EXPECT_TRUE(Has(Find(c, StoryKind::TextBoxes), u"Textboxword inside."));
    // The text box is read once, though the file holds it twice (a
    // DrawingML choice and a VML fallback).
    const auto* boxes = Find(c, StoryKind::TextBoxes);
    ASSERT_NE(boxes, nullptr);
    EXPECT_EQ(boxes->find(u"Textboxword"), boxes->rfind(u"Textboxword"));
    for (const auto& s : c.stories) {
        EXPECT_FALSE(Has(&s.text, u"PAGE"));
        EXPECT_FALSE(Has(&s.text, u"DATE"));
    }
}

INSTANTIATE_TEST_SUITE_P(Files, DocxFixture, ::testing::Values("fmt-stories.docx", "fmt-stories.dotx"));

// ---- Runs, breaks and marks ---------------------------------------------

TEST(DocxText, TabsBreaksSymbolsAndHyphens)
{
    const std::string body = Para(
        "<w:pPr><w:tabs><w:tab w:val=\"left\" w:pos=\"720\"/></w:tabs></w:pPr>"
        "<w:r><w:t>a</w:t><w:tab/><w:t>b</w:t><w:br/><w:t>c</w:t><w:br w:type=\"page\"/><w:t>d</w:t><w:cr/>"
        "<w:t>e</w:t><w:noBreakHyphen/><w:t>f</w:t><w:softHyphen/><w:t>g</w:t><w:sym w:font=\"Wingdings\" "
        "w:char=\"F04A\"/><w:sym w:char=\"zz\"/><w:ptab w:relativeTo=\"margin\" w:alignment=\"right\" "
        "w:leader=\"none\"/><w:t>h</w:t></w:r>");
    EXPECT_EQ(MainOf(body), u"a\tb\vc\fd\ve\x1E" u"f\x1Fg\uF04A\th\r");
}

TEST(DocxText, TablesEndCellsAndRowsWithCellMarks)
{
    const std::string cell1 = "<w:tc><w:tcPr><w:tcW w:w=\"1\"/></w:tcPr>" + Para(TextRun("one")) + Para(TextRun("more")) + "</w:tc>";
    const std::string cell2 = "<w:tc>" + Para(TextRun("two")) + "</w:tc>";
    const std::string table = "<w:tbl><w:tblPr/><w:tblGrid/><w:tr>" + cell1 + cell2 + "</w:tr></w:tbl>";
    EXPECT_EQ(MainOf(table + Para(TextRun("after"))), u"one\rmore\atwo\a\aafter\r");
}

TEST(DocxText, FieldsKeepResultsAndDropInstructions)
{
    const std::string complex =
        "<w:r><w:fldChar w:fldCharType=\"begin\"/></w:r><w:r><w:instrText> IF </w:instrText></w:r>"
        "<w:r><w:fldChar w:fldCharType=\"begin\"/></w:r><w:r><w:instrText>PAGE</w:instrText></w:r>"
        "<w:r><w:fldChar w:fldCharType=\"separate\"/></w:r><w:r><w:t>7</w:t></w:r>"
        "<w:r><w:fldChar w:fldCharType=\"end\"/></w:r><w:r><w:instrText> = 7 \"yes\"</w:instrText></w:r>"
        "<w:r><w:fldChar w:fldCharType=\"separate\"/></w:r>" + TextRun("yes") +
        "<w:r><w:fldChar w:fldCharType=\"end\"/></w:r>";
    const std::string simple = "<w:fldSimple w:instr=\" DATE \\@ &quot;yyyy&quot; \">" + TextRun("2024") + "</w:fldSimple>";
    EXPECT_EQ(MainOf(Para(TextRun("A ") + complex + TextRun(" B ") + simple)), u"A yes B 2024\r");
    // An instruction without a result, and a field that never ends.
    const std::string noResult = "<w:r><w:fldChar w:fldCharType=\"begin\"/></w:r><w:r><w:t>hidden</w:t></w:r>"
                                 "<w:r><w:fldChar w:fldCharType=\"end\"/></w:r>";
    EXPECT_EQ(MainOf(Para(TextRun("x") + noResult + TextRun("y"))), u"xy\r");
    std::string deep;
    for (int i = 0; i < 300; ++i) deep += "<w:r><w:fldChar w:fldCharType=\"begin\"/></w:r>";
    EXPECT_EQ(MainOf(Para(TextRun("before") + deep + TextRun("lost"))), u"before");
}

TEST(DocxText, DeletedAndMovedAwayTextIsNotRead)
{
    const std::string body = Para(TextRun("kept ") +
                                  "<w:del w:id=\"1\" w:author=\"a\"><w:r><w:delText>gone</w:delText></w:r></w:del>"
                                  "<w:ins w:id=\"2\" w:author=\"a\">" + TextRun("added ") + "</w:ins>"
                                  "<w:moveFrom w:id=\"3\" w:author=\"a\">" + TextRun("moved") + "</w:moveFrom>"
                                  "<w:moveTo w:id=\"4\" w:author=\"a\">" + TextRun("arrived") + "</w:moveTo>");
    EXPECT_EQ(MainOf(body), u"kept added arrived\r");
}

TEST(DocxText, AlternateContentIsReadOnce)
{
    const std::string box = "<w:txbxContent>" + Para(TextRun("boxed")) + "</w:txbxContent>";
    const std::string alt = "<w:r><mc:AlternateContent><mc:Choice Requires=\"wps\"><w:drawing><wps:txbx>" + box +
                            "</wps:txbx></w:drawing></mc:Choice><mc:Fallback><w:pict><v:textbox>" + box +
                            "</v:textbox></w:pict></mc:Fallback></mc:AlternateContent></w:r>";
    WordContent c;
    std::string error;
    ASSERT_TRUE(Read(Package(Body(Para(TextRun("before ") + alt + TextRun("after")))), c, error)) << error;
    EXPECT_EQ(*Find(c, StoryKind::Main), u"before after\r");
    ASSERT_NE(Find(c, StoryKind::TextBoxes), nullptr);
    EXPECT_EQ(*Find(c, StoryKind::TextBoxes), u"boxed\r");

    // Only a fallback: it is read.
    const std::string fallbackOnly = "<w:r><mc:AlternateContent><mc:Fallback>" + TextRun("fb") +
                                     "</mc:Fallback></mc:AlternateContent></w:r>";
    EXPECT_EQ(MainOf(Para(fallbackOnly)), u"fb\r");
}

TEST(DocxText, MathTextAndStrictNamespaceAreRead)
{
    EXPECT_EQ(MainOf(Para("<m:oMath><m:r><m:t>x+1</m:t></m:r></m:oMath>")), u"x+1\r");
    const std::string strict =
        "<w:document xmlns:w=\"http://purl.oclc.org/ooxml/wordprocessingml/main\"><w:body><w:p><w:r><w:t>strict"
        "</w:t><w:br w:type=\"page\"/></w:r></w:p></w:body></w:document>";
    WordContent c;
    std::string error;
    ASSERT_TRUE(Read(Package(strict), c, error)) << error;
    EXPECT_EQ(c.stories[0].text, u"strict\f\r");
}

// ---- Package structure --------------------------------------------------

TEST(DocxPackage, StoryPartsComeThroughTheDocumentRelationships)
{
    const std::string rels =
        "<Relationships xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\">"
        "<Relationship Id=\"r1\" Type=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships/header\" Target=\"header1.xml\"/>"
        "<Relationship Id=\"r2\" Type=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships/footer\" Target=\"/word/sub/../footer1.xml\"/>"
        "<Relationship Id=\"r3\" Type=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships/footnotes\" Target=\"footnotes.xml\"/>"
        "<Relationship Id=\"r4\" Type=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships/endnotes\" Target=\"endnotes.xml\"/>"
        "<Relationship Id=\"r5\" Type=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships/comments\" Target=\"comments.xml\"/>"
        "<Relationship Id=\"r6\" Type=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships/header\" Target=\"http://example.com/x.xml\" TargetMode=\"External\"/>"
        "<Relationship Id=\"r7\" Type=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships/header\" Target=\"missing.xml\"/>"
        "</Relationships>";
    auto part = [](const std::string& root, const std::string& inner) {
        return "<w:" + root + " " + kNs + ">" + inner + "</w:" + root + ">";
    };
    const std::string hdrBox = "<w:r><w:pict><v:textbox><w:txbxContent>" + Para(TextRun("hbox")) +
                               "</w:txbxContent></v:textbox></w:pict></w:r>";
    const auto zip = Package(
        Body(Para(TextRun("body") + "<w:r><w:footnoteReference w:id=\"1\"/></w:r>")),
        {{"word/_rels/document.xml.rels", rels},
         {"word/header1.xml", part("hdr", Para(TextRun("head") + hdrBox))},
         {"word/footer1.xml", part("ftr", Para(TextRun("foot")))},
         {"word/footnotes.xml",
          part("footnotes", "<w:footnote w:type=\"separator\" w:id=\"-1\">" + Para("<w:r><w:separator/></w:r>") +
                                "</w:footnote><w:footnote w:id=\"1\">" + Para(TextRun("note")) + "</w:footnote>")},
         {"word/endnotes.xml", part("endnotes", "<w:endnote w:id=\"1\">" + Para(TextRun("endn")) + "</w:endnote>")},
         {"word/comments.xml", part("comments", "<w:comment w:id=\"0\">" + Para(TextRun("remark")) + "</w:comment>")}});
    WordContent c;
    std::string error;
    ASSERT_TRUE(Read(zip, c, error)) << error;
    EXPECT_EQ(*Find(c, StoryKind::Main), u"body\r");
    EXPECT_EQ(*Find(c, StoryKind::HeadersFooters), u"head\rfoot\r");
    EXPECT_EQ(*Find(c, StoryKind::HeaderTextBoxes), u"hbox\r");
    EXPECT_EQ(*Find(c, StoryKind::Footnotes), u"note\r");
    EXPECT_EQ(*Find(c, StoryKind::Endnotes), u"endn\r");
    EXPECT_EQ(*Find(c, StoryKind::Comments), u"remark\r");
    EXPECT_EQ(Find(c, StoryKind::TextBoxes), nullptr);
}

TEST(DocxPackage, MainDocumentFromContentTypesWhenRelationshipsAreMissing)
{
    const std::string types =
        "<Types xmlns=\"http://schemas.openxmlformats.org/package/2006/content-types\"><Override "
        "PartName=\"/word/main.xml\" ContentType=\"application/vnd.ms-word.document.macroEnabled.main+xml\"/></Types>";
    const auto zip = ziptest::BuildZip({{"[Content_Types].xml", types}, {"word/main.xml", Body(Para(TextRun("macro")))}});
    WordContent c;
    std::string error;
    ASSERT_TRUE(Read(zip, c, error)) << error;
    EXPECT_EQ(c.stories[0].text, u"macro\r");
}

TEST(DocxPackage, PackagesWithoutAWordDocumentFail)
{
    WordContent c;
    std::string error;
    EXPECT_FALSE(Read(ziptest::BuildZip({{"xl/workbook.xml", "<workbook/>"}}), c, error));
    EXPECT_NE(error.find("no Word document"), std::string::npos) << error;
    EXPECT_FALSE(Read(std::vector<std::uint8_t>{'P', 'K', 3, 4, 0, 0}, c, error));
    EXPECT_FALSE(Read({}, c, error));
}

TEST(DocxPackage, EncryptedPackageFailsAsEncrypted)
{
    const auto cf = docbin::CompoundFileOf({{"EncryptionInfo", docbin::Bytes(64, 4)},
                                            {"EncryptedPackage", docbin::Bytes(2048, 7)}});
    WordContent c;
    std::string error;
    EXPECT_FALSE(Read(cf, c, error));
    EXPECT_NE(error.find("encrypted"), std::string::npos) << error;
}

// ---- Hostile packages ----------------------------------------------------

TEST(DocxHostile, BombDoctypeDepthAndMalformedXmlFail)
{
    WordContent c;
    std::string error;
    // A body of 20 MiB of one character: the ratio cap stops it early.
    const std::string bomb = Body(Para(TextRun(std::string(20u << 20, 'a'))));
    EXPECT_FALSE(Read(Package(bomb), c, error));
    EXPECT_NE(error.find("bomb"), std::string::npos) << error;

    const std::string laughs = "<?xml version=\"1.0\"?><!DOCTYPE d [<!ENTITY a \"aaaaaaaaaa\">"
                               "<!ENTITY b \"&a;&a;&a;&a;&a;&a;&a;&a;&a;&a;\">]>" + Body(Para(TextRun("&b;")));
    EXPECT_FALSE(Read(Package(laughs), c, error));
    EXPECT_NE(error.find("not allowed"), std::string::npos) << error;

    std::string unclosed;
    for (int i = 0; i < 400; ++i) unclosed += "<w:sdt><w:sdtContent>";
    EXPECT_FALSE(Read(Package(Body(unclosed)), c, error));
    EXPECT_NE(error.find("malformed"), std::string::npos) << error;

    EXPECT_FALSE(Read(Package(Body("<w:p><w:r></w:p>")), c, error));
    EXPECT_NE(error.find("malformed"), std::string::npos) << error;
    EXPECT_TRUE(c.stories.empty());
}

TEST(DocxHostile, RelationshipsCannotEscapeThePackageOrLoop)
{
    const std::string rels =
        "<Relationships xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\">"
        "<Relationship Id=\"a\" Type=\"http://x/header\" Target=\"../../../etc/passwd\"/>"
        "<Relationship Id=\"b\" Type=\"http://x/header\" Target=\"document.xml\"/>"
        "<Relationship Id=\"c\" Type=\"http://x/footer\" Target=\"f.xml\"/>"
        "<Relationship Id=\"d\" Type=\"http://x/footer\" Target=\"F.xml\"/>"
        "</Relationships>";
    const auto zip = Package(Body(Para(TextRun("body"))),
                             {{"word/_rels/document.xml.rels", rels},
                              {"word/f.xml", "<w:ftr " + kNs + ">" + Para(TextRun("foot")) + "</w:ftr>"}});
    WordContent c;
    std::string error;
    ASSERT_TRUE(Read(zip, c, error)) << error;
    EXPECT_EQ(*Find(c, StoryKind::Main), u"body\r");
    // The footer is read once although two relationships name it.
    EXPECT_EQ(*Find(c, StoryKind::HeadersFooters), u"foot\r");
}

// ---- Depths and counts without a cap -------------------------------------

std::string FieldBegin() { return "<w:r><w:fldChar w:fldCharType=\"begin\"/></w:r>"; }
std::string FieldSeparate() { return "<w:r><w:fldChar w:fldCharType=\"separate\"/></w:r>"; }
std::string FieldEnd() { return "<w:r><w:fldChar w:fldCharType=\"end\"/></w:r>"; }

// Fields nested in each other's results, far deeper than any real document:
// every result shows, every instruction stays hidden.
TEST(DocxDepth, DeeplyNestedFieldsKeepEveryResult)
{
    const int n = 300;
    std::string runs;
    std::u16string expected;
    for (int i = 0; i < n; ++i) {
        runs += FieldBegin() + "<w:r><w:instrText>QUOTE " + std::to_string(i) + "</w:instrText></w:r>" +
                FieldSeparate() + TextRun("r" + std::to_string(i) + " ");
        expected += u"r" + Utf8ToUtf16(std::to_string(i)) + u" ";
    }
    std::u16string tail;
    for (int i = n - 1; i >= 0; --i) {
        runs += TextRun("s" + std::to_string(i) + " ") + FieldEnd();
        expected += u"s" + Utf8ToUtf16(std::to_string(i)) + u" ";
    }
    EXPECT_EQ(MainOf(Para(runs + TextRun("end"))), expected + u"end\r");
}

// A body whose tables nest 1,000 deep (3,000 XML levels and more) keeps
// the text of every level.
TEST(DocxDepth, DeeplyNestedTablesKeepTheirText)
{
    const int n = 1000;
    std::string body;
    for (int i = 0; i < n; ++i) body += "<w:tbl><w:tr><w:tc>" + Para(TextRun("c" + std::to_string(i)));
    for (int i = 0; i < n; ++i) body += "</w:tc></w:tr></w:tbl>" + Para(TextRun("after" + std::to_string(i)));
    // A cell's last paragraph ends with the cell mark.
    const std::u16string text = MainOf(body);
    EXPECT_EQ(text.substr(0, 6), u"c0\rc1\r");
    EXPECT_NE(text.find(u"c998\rc999\a\aafter0\a\aafter1\a\a"), std::u16string::npos);
    const std::u16string end = u"after998\a\aafter999\r";
    ASSERT_GE(text.size(), end.size());
    EXPECT_EQ(text.substr(text.size() - end.size()), end);
}

// What a stack of open elements costs is charged to the file's budget: one
// nested too deep for it is refused for its size, with the usual reason.
TEST(DocxDepth, AStackBeyondTheBudgetIsRefusedForItsSize)
{
    // Numbered, so that the part does not compress like a zip bomb.
    std::string deep;
    for (int i = 0; i < 200000; ++i) deep += "<w:sdt w:n=\"" + std::to_string(i * 7919 % 100003) + "\">";
    for (int i = 0; i < 200000; ++i) deep += "</w:sdt>";
    const auto zip = Package(Body(Para(TextRun("x")) + deep));
    office::ReadBudget budget(32u << 20);
    WordContent c;
    std::string error;
    EXPECT_FALSE(office::ReadDocx({zip.data(), zip.size()}, c, error, &budget));
    EXPECT_EQ(error.rfind("too large:", 0), 0u) << error;
    office::ReadBudget enough(256u << 20);
    EXPECT_TRUE(office::ReadDocx({zip.data(), zip.size()}, c, error, &enough)) << error;
}

std::string Rels(const std::string& inner)
{
    return "<Relationships xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\">" + inner +
           "</Relationships>";
}

std::string Rel(const std::string& id, const std::string& type, const std::string& target, bool external = false)
{
    return "<Relationship Id=\"" + id + "\" Type=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships/" +
           type + "\" Target=\"" + target + "\"" + (external ? " TargetMode=\"External\"" : "") + "/>";
}

std::string Header(const std::string& text)
{
    return "<w:hdr " + kNs + ">" + Para(TextRun(text)) + "</w:hdr>";
}

// Every header of a document is read, however many it has; and however many
// hyperlinks and pictures (relationships all) it has, it opens.
TEST(DocxCounts, ThousandsOfHeadersAndRelationshipsAreAllRead)
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
    entries.push_back({"word/_rels/document.xml.rels", Rels(rels)});
    WordContent c;
    std::string error;
    ASSERT_TRUE(Read(Package(Body(Para(TextRun("body"))), entries), c, error)) << error;
    const std::u16string* headers = Find(c, StoryKind::HeadersFooters);
    ASSERT_NE(headers, nullptr);
    EXPECT_EQ(std::count(headers->begin(), headers->end(), u'\r'), 1200);
    EXPECT_NE(headers->find(u"hw0\r"), std::u16string::npos);
    EXPECT_NE(headers->find(u"hw1199\r"), std::u16string::npos);
}

// One part named by thousands of relationships (written in different ways)
// is read once; so is the main part named as a header.
TEST(DocxCounts, APartNamedManyTimesIsReadOnce)
{
    std::string rels;
    const std::vector<std::string> spellings = {"header1.xml", "/word/header1.xml", "./header1.xml",
                                                "../word/header1.xml", "sub/../header1.xml", "HEADER1.xml",
                                                "header%31.xml", "header1.xml#frag", "document.xml"};
    for (int i = 0; i < 5000; ++i)
        rels += Rel("h" + std::to_string(i), "header", spellings[static_cast<std::size_t>(i) % spellings.size()]);
    WordContent c;
    std::string error;
    ASSERT_TRUE(Read(Package(Body(Para(TextRun("body"))), {{"word/_rels/document.xml.rels", Rels(rels)},
                                                            {"word/header1.xml", Header("once")}}),
                     c, error))
        << error;
    EXPECT_EQ(*Find(c, StoryKind::Main), u"body\r");
    EXPECT_EQ(*Find(c, StoryKind::HeadersFooters), u"once\r");
}

// A main part in a folder with a very long name: each relationship costs
// its own length, not the folder's, so tens of thousands of them that name
// no part still read in a moment.
TEST(DocxCounts, RelationshipsCostTheirOwnLengthNotTheFolders)
{
    std::string folder;
    for (int i = 0; i < 30000; ++i) folder += "a/";
    std::string rels;
    for (int i = 0; i < 20000; ++i) rels += Rel("m" + std::to_string(i), "header", "missing" + std::to_string(i) + ".xml");
    rels += Rel("real", "footer", "../a/footer.xml");
    const std::string rootRels =
        Rels(Rel("rId1", "officeDocument", folder + "document.xml"));
    const auto zip = ziptest::BuildZip({{"_rels/.rels", rootRels},
                                        {folder + "document.xml", Body(Para(TextRun("deepbody")))},
                                        {folder + "_rels/document.xml.rels", Rels(rels)},
                                        {folder + "footer.xml", Header("farfooter")}});
    WordContent c;
    std::string error;
    const auto start = std::chrono::steady_clock::now();
    ASSERT_TRUE(Read(zip, c, error)) << error;
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    EXPECT_EQ(*Find(c, StoryKind::Main), u"deepbody\r");
    EXPECT_EQ(*Find(c, StoryKind::HeadersFooters), u"farfooter\r");
    // Resolving every target against the 60,000-byte folder takes tens of
    // seconds; by their own lengths, milliseconds.
    EXPECT_LT(seconds, 3.0);
}

}  // namespace
