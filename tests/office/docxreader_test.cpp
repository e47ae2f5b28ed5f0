// Office Open XML reader on packages built in the test: every construct
// the reader must handle or refuse, the package's relationships, and
// depths and counts without a cap. The office-suite-made fixtures go
// through every reader in wordreaders_test.
#include "office/word/docxreader.h"

#include "platform/codepage.h"
#include "tests/office/docfixture.h"
#include "tests/office/zipfixture.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>

using office::ReadError;
using office::ReadErrorKind;

using office::StoryKind;
using office::WordContent;

namespace {

const std::string kNs =
    "xmlns:w=\"http://schemas.openxmlformats.org/wordprocessingml/2006/main\" "
    "xmlns:mc=\"http://schemas.openxmlformats.org/markup-compatibility/2006\" "
    "xmlns:wps=\"http://schemas.microsoft.com/office/word/2010/wordprocessingShape\" "
    "xmlns:v=\"urn:schemas-microsoft-com:vml\" "
    "xmlns:m=\"http://schemas.openxmlformats.org/officeDocument/2006/math\"";

std::string Rel(const std::string& id, const std::string& type, const std::string& target, bool external = false)
{
    return "<Relationship Id=\"" + id + "\" Type=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships/" +
           type + "\" Target=\"" + target + "\"" + (external ? " TargetMode=\"External\"" : "") + "/>";
}

std::string Rels(const std::string& inner)
{
    return "<Relationships xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\">" + inner +
           "</Relationships>";
}

std::string Body(const std::string& inner)
{
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?><w:document " + kNs + "><w:body>" + inner + "</w:body></w:document>";
}

std::string Para(const std::string& runs) { return "<w:p>" + runs + "</w:p>"; }
std::string TextRun(const std::string& text) { return "<w:r><w:t xml:space=\"preserve\">" + text + "</w:t></w:r>"; }
std::string Part(const std::string& root, const std::string& inner)
{
    return "<w:" + root + " " + kNs + ">" + inner + "</w:" + root + ">";
}
std::string Header(const std::string& text) { return Part("hdr", Para(TextRun(text))); }
std::string FieldChar(const std::string& type) { return "<w:r><w:fldChar w:fldCharType=\"" + type + "\"/></w:r>"; }

std::vector<std::uint8_t> Package(const std::string& document, std::vector<ziptest::Entry> more = {})
{
    more.push_back({"_rels/.rels", Rels(Rel("rId1", "officeDocument", "word/document.xml"))});
    more.push_back({"word/document.xml", document});
    return ziptest::BuildZip(more);
}

bool Read(const std::vector<std::uint8_t>& bytes, WordContent& c, ReadError& error)
{
    return office::ReadDocx({bytes.data(), bytes.size()}, c, error);
}

WordContent ReadOk(const std::vector<std::uint8_t>& bytes)
{
    WordContent c;
    ReadError error;
    EXPECT_TRUE(Read(bytes, c, error)) << error;
    return c;
}

std::u16string MainOf(const std::string& body)
{
    const WordContent c = ReadOk(Package(Body(body)));
    return c.stories.empty() ? u"<none>" : c.stories[0].text;
}

std::u16string StoryOf(const WordContent& c, StoryKind kind)
{
    const std::u16string* s = docbin::StoryText(c, kind);
    return s == nullptr ? u"<none>" : *s;
}

TEST(DocxText, RunsBreaksTablesFieldsAndRevisions)
{
    const std::string cell1 = "<w:tc><w:tcPr><w:tcW w:w=\"1\"/></w:tcPr>" + Para(TextRun("one")) + Para(TextRun("more")) + "</w:tc>";
    const std::string table = "<w:tbl><w:tblPr/><w:tblGrid/><w:tr>" + cell1 + "<w:tc>" + Para(TextRun("two")) +
                              "</w:tc></w:tr></w:tbl>";
    const std::string complex =
        FieldChar("begin") + "<w:r><w:instrText> IF </w:instrText></w:r>" + FieldChar("begin") +
        "<w:r><w:instrText>PAGE</w:instrText></w:r>" + FieldChar("separate") + "<w:r><w:t>7</w:t></w:r>" +
        FieldChar("end") + "<w:r><w:instrText> = 7 \"yes\"</w:instrText></w:r>" + FieldChar("separate") +
        TextRun("yes") + FieldChar("end");
    const std::string simple = "<w:fldSimple w:instr=\" DATE \\@ &quot;yyyy&quot; \">" + TextRun("2024") + "</w:fldSimple>";
    std::string neverEnds;
    for (int i = 0; i < 300; ++i) neverEnds += FieldChar("begin");
    std::string deep;
    std::u16string deepShown;
    for (int i = 0; i < 300; ++i) {
        deep += FieldChar("begin") + "<w:r><w:instrText>QUOTE " + std::to_string(i) + "</w:instrText></w:r>" +
                FieldChar("separate") + TextRun("r" + std::to_string(i) + " ");
        deepShown += u"r" + Utf8ToUtf16(std::to_string(i)) + u" ";
    }
    for (int i = 299; i >= 0; --i) {
        deep += TextRun("s" + std::to_string(i) + " ") + FieldChar("end");
        deepShown += u"s" + Utf8ToUtf16(std::to_string(i)) + u" ";
    }
    const struct {
        std::string body;
        std::u16string main;
    } cases[] = {
        {Para("<w:pPr><w:tabs><w:tab w:val=\"left\" w:pos=\"720\"/></w:tabs></w:pPr>"
              "<w:r><w:t>a</w:t><w:tab/><w:t>b</w:t><w:br/><w:t>c</w:t><w:br w:type=\"page\"/><w:t>d</w:t><w:cr/>"
              "<w:t>e</w:t><w:noBreakHyphen/><w:t>f</w:t><w:softHyphen/><w:t>g</w:t><w:sym w:font=\"Wingdings\" "
              "w:char=\"F04A\"/><w:sym w:char=\"zz\"/><w:ptab w:relativeTo=\"margin\" w:alignment=\"right\" "
              "w:leader=\"none\"/><w:t>h</w:t></w:r>"),
         u"a\tb\vc\fd\ve\x1E" u"f\x1Fg\uF04A\th\r"},
        {table + Para(TextRun("after")), u"one\rmore\atwo\a\aafter\r"},
        {Para(TextRun("A ") + complex + TextRun(" B ") + simple), u"A yes B 2024\r"},
        // An instruction without a result, and a field that never ends.
        {Para(TextRun("x") + FieldChar("begin") + TextRun("hidden") + FieldChar("end") + TextRun("y")), u"xy\r"},
        {Para(TextRun("before") + neverEnds + TextRun("lost")), u"before"},
        {Para(deep + TextRun("end")), deepShown + u"end\r"},
        // Deleted and moved-away text is not read.
        {Para(TextRun("kept ") + "<w:del w:id=\"1\" w:author=\"a\"><w:r><w:delText>gone</w:delText></w:r></w:del>"
              "<w:ins w:id=\"2\" w:author=\"a\">" + TextRun("added ") + "</w:ins><w:moveFrom w:id=\"3\" w:author=\"a\">" +
              TextRun("moved") + "</w:moveFrom><w:moveTo w:id=\"4\" w:author=\"a\">" + TextRun("arrived") + "</w:moveTo>"),
         u"kept added arrived\r"},
        {Para("<w:r><mc:AlternateContent><mc:Fallback>" + TextRun("fb") + "</mc:Fallback></mc:AlternateContent></w:r>"),
         u"fb\r"},
        {Para("<m:oMath><m:r><m:t>x+1</m:t></m:r></m:oMath>"), u"x+1\r"},
    };
    for (const auto& c : cases) EXPECT_EQ(MainOf(c.body), c.main);

    // Alternate content is read once, its text box in its own story.
    const std::string box = "<w:txbxContent>" + Para(TextRun("boxed")) + "</w:txbxContent>";
    const std::string alt = "<w:r><mc:AlternateContent><mc:Choice Requires=\"wps\"><w:drawing><wps:txbx>" + box +
                            "</wps:txbx></w:drawing></mc:Choice><mc:Fallback><w:pict><v:textbox>" + box +
                            "</v:textbox></w:pict></mc:Fallback></mc:AlternateContent></w:r>";
    const WordContent c = ReadOk(Package(Body(Para(TextRun("before ") + alt + TextRun("after")))));
    EXPECT_EQ(StoryOf(c, StoryKind::Main), u"before after\r");
    EXPECT_EQ(StoryOf(c, StoryKind::TextBoxes), u"boxed\r");
    // The strict namespace.
    const std::string strict = "<w:document xmlns:w=\"http://purl.oclc.org/ooxml/wordprocessingml/main\"><w:body><w:p>"
                               "<w:r><w:t>strict</w:t><w:br w:type=\"page\"/></w:r></w:p></w:body></w:document>";
    EXPECT_EQ(StoryOf(ReadOk(Package(strict)), StoryKind::Main), u"strict\f\r");
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
    const WordContent c = ReadOk(Package(
        Body(Para(TextRun("body") + "<w:r><w:footnoteReference w:id=\"1\"/></w:r>")),
        {{"word/_rels/document.xml.rels", rels},
         {"word/header1.xml", Part("hdr", Para(TextRun("head") + hdrBox))},
         {"word/footer1.xml", Part("ftr", Para(TextRun("foot")))},
         {"word/footnotes.xml",
          Part("footnotes", "<w:footnote w:type=\"separator\" w:id=\"-1\">" + Para("<w:r><w:separator/></w:r>") +
                                "</w:footnote><w:footnote w:id=\"1\">" + Para(TextRun("note")) + "</w:footnote>")},
         {"word/endnotes.xml", Part("endnotes", "<w:endnote w:id=\"1\">" + Para(TextRun("endn")) + "</w:endnote>")},
         {"word/comments.xml", Part("comments", "<w:comment w:id=\"0\">" + Para(TextRun("remark")) + "</w:comment>")}}));
    EXPECT_EQ(StoryOf(c, StoryKind::Main), u"body\r");
    // The footer is read once although several relationships name it.
    EXPECT_EQ(StoryOf(c, StoryKind::HeadersFooters), u"head\rfoot\r");
    EXPECT_EQ(StoryOf(c, StoryKind::HeaderTextBoxes), u"hbox\r");
    EXPECT_EQ(StoryOf(c, StoryKind::Footnotes), u"note\r");
    EXPECT_EQ(StoryOf(c, StoryKind::Endnotes), u"endn\r");
    EXPECT_EQ(StoryOf(c, StoryKind::Comments), u"remark\r");
    EXPECT_EQ(docbin::StoryText(c, StoryKind::TextBoxes), nullptr);

    // Without relationships the main part is found by its content type.
    const std::string types =
        "<Types xmlns=\"http://schemas.openxmlformats.org/package/2006/content-types\"><Override "
        "PartName=\"/word/main.xml\" ContentType=\"application/vnd.ms-word.document.macroEnabled.main+xml\"/></Types>";
    EXPECT_EQ(ReadOk(ziptest::BuildZip({{"[Content_Types].xml", types}, {"word/main.xml", Body(Para(TextRun("macro")))}}))
                  .stories.at(0)
                  .text,
              u"macro\r");
}

TEST(DocxPackage, DamagedHostileAndEncryptedPackagesFail)
{
    std::string unclosed;
    for (int i = 0; i < 400; ++i) unclosed += "<w:sdt><w:sdtContent>";
    const std::vector<std::pair<std::vector<std::uint8_t>, ReadErrorKind>> bad = {
        {ziptest::BuildZip({{"xl/workbook.xml", "<workbook/>"}}), ReadErrorKind::NotThisFormat},
        {{'P', 'K', 3, 4, 0, 0}, ReadErrorKind::NotThisFormat},
        {{}, ReadErrorKind::NotThisFormat},
        {docbin::CompoundFileOf(
             {{"EncryptionInfo", docbin::Bytes(64, 4)}, {"EncryptedPackage", docbin::Bytes(2048, 7)}}),
         ReadErrorKind::Encrypted},
        // 20 MiB of one character: the ratio cap stops it early.
        {Package(Body(Para(TextRun(std::string(20u << 20, 'a'))))), ReadErrorKind::TooLarge},
        {Package("<?xml version=\"1.0\"?><!DOCTYPE d [<!ENTITY a \"aaaaaaaaaa\"><!ENTITY b \"&a;&a;&a;&a;&a;&a;\">]>" +
                 Body(Para(TextRun("&b;")))),
         ReadErrorKind::Damaged},
        {Package(Body(unclosed)), ReadErrorKind::Damaged},
        {Package(Body("<w:p><w:r></w:p>")), ReadErrorKind::Damaged},
    };
    for (std::size_t i = 0; i < bad.size(); ++i) {
        WordContent c;
        ReadError error;
        EXPECT_FALSE(Read(bad[i].first, c, error)) << "case " << i;
        EXPECT_EQ(error.kind, bad[i].second) << "case " << i << ": " << error;
        EXPECT_TRUE(c.stories.empty()) << "case " << i;
    }
}

// A body whose tables nest 1,000 deep (3,000 XML levels and more) keeps
// the text of every level.
TEST(DocxDepth, DeeplyNestedTablesKeepTheirText)
{
    std::string body;
    for (int i = 0; i < 1000; ++i) body += "<w:tbl><w:tr><w:tc>" + Para(TextRun("c" + std::to_string(i)));
    for (int i = 0; i < 1000; ++i) body += "</w:tc></w:tr></w:tbl>" + Para(TextRun("after" + std::to_string(i)));
    const std::u16string text = MainOf(body);
    EXPECT_EQ(text.substr(0, 6), u"c0\rc1\r");
    EXPECT_NE(text.find(u"c998\rc999\a\aafter0\a\aafter1\a\a"), std::u16string::npos);
    const std::u16string end = u"after998\a\aafter999\r";
    ASSERT_GE(text.size(), end.size());
    EXPECT_EQ(text.substr(text.size() - end.size()), end);
}

// What a stack of open elements costs is charged to the file's budget.
TEST(DocxDepth, AStackBeyondTheBudgetIsRefused)
{
    // Numbered, so that the part does not compress like a zip bomb.
    std::string deep;
    for (int i = 0; i < 200000; ++i) deep += "<w:sdt w:n=\"" + std::to_string(i * 7919 % 100003) + "\">";
    for (int i = 0; i < 200000; ++i) deep += "</w:sdt>";
    const auto zip = Package(Body(Para(TextRun("x")) + deep));
    office::ReadBudget budget(32u << 20);
    WordContent c;
    ReadError error;
    EXPECT_FALSE(office::ReadDocx({zip.data(), zip.size()}, c, error, &budget));
    EXPECT_EQ(error.kind, ReadErrorKind::TooLarge) << error;
    office::ReadBudget enough(256u << 20);
    EXPECT_TRUE(office::ReadDocx({zip.data(), zip.size()}, c, error, &enough)) << error;
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
    const std::vector<std::string> spellings = {"header1.xml", "/word/header1.xml", "./header1.xml",
                                                "../word/header1.xml", "sub/../header1.xml", "HEADER1.xml",
                                                "header%31.xml", "header1.xml#frag", "document.xml"};
    for (int i = 0; i < 5000; ++i)
        rels += Rel("s" + std::to_string(i), "header", spellings[static_cast<std::size_t>(i) % spellings.size()]);
    entries.push_back({"word/_rels/document.xml.rels", Rels(rels)});
    const WordContent c = ReadOk(Package(Body(Para(TextRun("body"))), entries));
    EXPECT_EQ(StoryOf(c, StoryKind::Main), u"body\r");
    const std::u16string headers = StoryOf(c, StoryKind::HeadersFooters);
    EXPECT_EQ(std::count(headers.begin(), headers.end(), u'\r'), 1200);
    EXPECT_NE(headers.find(u"hw0\r"), std::u16string::npos);
    EXPECT_NE(headers.find(u"hw1199\r"), std::u16string::npos);
}

// A main part in a folder with a very long name: each relationship costs
// its own length, not the folder's (resolved against the folder, tens of
// thousands of them take tens of seconds; by their own lengths, moments).
TEST(DocxCounts, RelationshipsCostTheirOwnLengthNotTheFolders)
{
    std::string folder;
    for (int i = 0; i < 30000; ++i) folder += "a/";
    std::string rels;
    for (int i = 0; i < 20000; ++i) rels += Rel("m" + std::to_string(i), "header", "missing" + std::to_string(i) + ".xml");
    rels += Rel("real", "footer", "../a/footer.xml");
    const auto zip = ziptest::BuildZip({{"_rels/.rels", Rels(Rel("rId1", "officeDocument", folder + "document.xml"))},
                                        {folder + "document.xml", Body(Para(TextRun("deepbody")))},
                                        {folder + "_rels/document.xml.rels", Rels(rels)},
                                        {folder + "footer.xml", Header("farfooter")}});
    const auto start = std::chrono::steady_clock::now();
    const WordContent c = ReadOk(zip);
    EXPECT_LT(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count(), 3.0);
    EXPECT_EQ(StoryOf(c, StoryKind::Main), u"deepbody\r");
    EXPECT_EQ(StoryOf(c, StoryKind::HeadersFooters), u"farfooter\r");
}

}  // namespace
