// Writes the committed seed corpus of the fuzz targets, fuzz/seeds/<target>/:
// the fixtures of tests/data, plus small inputs built with the tests' own
// generators (BIFF record streams, compound files, zip packages, Word
// binary documents) and short texts that each reach one path of a reader.
// The seeds are committed; this program only makes them again after a
// reader learns something new:
//   build-fuzz/bin/fuzz_seedgen fuzz/seeds tests/data
// Every seed is small, so that the smoke run stays fast. Zip packages carry
// the time they were written, so only they differ from one run to the next.
#include "docfixture.h"
#include "support/excelfixtures.h"
#include "support/hostilehtml.h"
#include "support/hostilesize.h"
#include "support/hostilexls.h"
#include "support/oldbifffixture.h"
#include "zipfixture.h"

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <string>
#include <vector>

namespace fs = std::filesystem;
using excelfixtures::Bytes;
using excelfixtures::Put16;
using excelfixtures::Put32;
using excelfixtures::PutF64;
using excelfixtures::PutString8;
using excelfixtures::Stream;

namespace {

fs::path g_out;

// A string literal with every byte it holds, NUL bytes included.
template <std::size_t N>
std::string Lit(const char (&text)[N])
{
    return std::string(text, N - 1);
}

void Write(const std::string& target, const std::string& name, const void* data, std::size_t size)
{
    const fs::path dir = g_out / target;
    fs::create_directories(dir);
    std::ofstream out(dir / name, std::ios::binary | std::ios::trunc);
    out.write(static_cast<const char*>(data), static_cast<std::streamsize>(size));
    if (!out) {
        std::cerr << "cannot write " << (dir / name) << "\n";
        std::exit(1);
    }
}

void Write(const std::string& target, const std::string& name, const Bytes& data)
{
    Write(target, name, data.data(), data.size());
}

void Write(const std::string& target, const std::string& name, const std::string& data)
{
    Write(target, name, data.data(), data.size());
}

void CopyFixtures(const fs::path& data, const std::string& folder, const std::vector<std::string>& targets,
                  const std::vector<std::string>& extensions)
{
    for (const auto& entry : fs::directory_iterator(data / folder)) {
        std::string ext = entry.path().extension().string();
        for (char& c : ext) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        bool wanted = false;
        for (const auto& e : extensions) wanted = wanted || e == ext;
        if (!wanted) continue;
        for (const auto& target : targets) {
            fs::create_directories(g_out / target);
            fs::copy_file(entry.path(), g_out / target / ("fixture-" + entry.path().filename().string()),
                          fs::copy_options::overwrite_existing);
        }
    }
}

// ---- workbook streams ------------------------------------------------------

struct Sheet {
    std::u16string name;
    unsigned state = 0;
    std::function<void(Stream&)> cells;
    unsigned type = 0;  // 0 worksheet, 2 chart
};

Bytes BuildStream(const std::vector<Sheet>& sheets, const std::function<void(Stream&)>& globals = {},
                  unsigned version = 0x0600)
{
    Stream s;
    s.Bof(version, 0x0005);
    if (globals) globals(s);
    std::vector<std::size_t> patches;
    for (const auto& sheet : sheets) {
        const std::size_t at = s.BoundSheet(sheet.name, sheet.state, version == 0x0600);
        s.Data()[at + 5] = static_cast<std::uint8_t>(sheet.type);
        patches.push_back(at);
    }
    s.Eof();
    for (std::size_t i = 0; i < sheets.size(); ++i) {
        s.PatchOffset(patches[i], s.Size());
        s.Bof(version, sheets[i].type == 2 ? 0x0020 : 0x0010);
        if (sheets[i].cells) sheets[i].cells(s);
        s.Eof();
    }
    return s.Data();
}

// FORMULA with a text, Boolean or error result (`kind` 0, 1, 2) and tokens.
void TaggedFormula(Stream& s, unsigned row, unsigned col, unsigned kind, unsigned value, const Bytes& tokens)
{
    Bytes f;
    Put16(f, row);
    Put16(f, col);
    Put16(f, 0);
    f.insert(f.end(), {static_cast<std::uint8_t>(kind), 0, static_cast<std::uint8_t>(value), 0, 0, 0, 0xFF, 0xFF});
    Put16(f, 0);
    Put32(f, 0);
    Put16(f, static_cast<unsigned>(tokens.size()));
    f.insert(f.end(), tokens.begin(), tokens.end());
    s.Record(0x0006, f);
}

void Globals8(Stream& s)
{
    Bytes dm;
    Put16(dm, 0);
    s.Record(0x0022, dm);
    Bytes fmt;
    Put16(fmt, 164);
    PutString8(fmt, u"dd.mm.yyyy hh:mm", 2);
    s.Record(0x041E, fmt);
    for (unsigned xf : {0u, 164u, 14u, 20u}) {
        Bytes x;
        Put16(x, 0);
        Put16(x, xf);
        x.resize(20, 0);
        s.Record(0x00E0, x);
    }
    // Shared strings, the second continued as 16-bit characters, the third
    // rich, the fourth with phonetic data.
    Bytes sst;
    Put32(sst, 5);
    Put32(sst, 4);
    PutString8(sst, u"Quarterly report", 2);
    Put16(sst, 6);
    sst.push_back(0);
    sst.insert(sst.end(), {'a', 'b', 'c'});
    s.Record(0x00FC, sst);
    Bytes c1;
    c1.push_back(1);
    for (char16_t ch : std::u16string(u"d\u03B5f")) Put16(c1, ch);
    Put16(c1, 4);
    c1.push_back(0x08);
    Put16(c1, 1);
    c1.insert(c1.end(), {'r', 'i', 'c', 'h', 1, 0, 1, 0});
    Put16(c1, 5);
    c1.push_back(0x04);
    Put32(c1, 4);
    c1.insert(c1.end(), {'k', 'a', 'n', 'j', 'i', 9, 9, 9, 9});
    s.Record(0x003C, c1);
    // This workbook's SUPBOOK, two EXTERNSHEET entries, a defined name.
    Bytes sup;
    Put16(sup, 2);
    Put16(sup, 0x0401);
    s.Record(0x01AE, sup);
    Bytes xti;
    Put16(xti, 2);
    for (unsigned v : {0u, 1u, 1u, 0u, 0u, 1u}) Put16(xti, v);
    s.Record(0x0017, xti);
    hostilexls::Name(s, u"Rate", 0);
}

void Cells8(Stream& s)
{
    s.LabelSst(0, 0, 0);
    s.LabelSst(0, 1, 1);
    s.LabelSst(0, 2, 2);
    s.LabelSst(0, 3, 3);
    s.Number(1, 0, 4711, 0);
    s.Number(1, 1, 45352.5, 1);
    s.Number(1, 2, 0.25, 3);
    Bytes rk;
    Put16(rk, 2);
    Put16(rk, 0);
    Put16(rk, 0);
    Put32(rk, (123u << 2) | 0x3);
    s.Record(0x027E, rk);
    Bytes mul;
    Put16(mul, 2);
    Put16(mul, 1);
    Put16(mul, 0);
    Put32(mul, static_cast<std::uint32_t>(-7 * 4) | 0x2);
    Put16(mul, 0);
    Put32(mul, 0x40040000u);
    Put16(mul, 2);
    s.Record(0x00BD, mul);
    Bytes be;
    Put16(be, 3);
    Put16(be, 0);
    Put16(be, 0);
    be.insert(be.end(), {1, 0});
    s.Record(0x0205, be);
    be[2] = 1;
    be[6] = 0x2A;
    be[7] = 1;
    s.Record(0x0205, be);
    hostilexls::Label(s, 3, 2, u"\u00C4rger \u2603");
    Bytes blank;
    Put16(blank, 3);
    Put16(blank, 3);
    Put16(blank, 0);
    s.Record(0x0201, blank);
    // =SUM(A2:C2)*Rate, =IF(A2>0,"yes","no") with a text result, a 3-D
    // reference, a shared formula over B5:B6, and an error result.
    s.Formula(4, 0, 1, {0x25, 1, 0, 1, 0, 0, 0xC0, 2, 0xC0, 0x19, 0x10, 0, 0, 0x43, 1, 0, 0, 0, 0x05});
    TaggedFormula(s, 4, 2, 0, 0,
                  {0x24, 1,    0,    0, 0xC0, 0x1E, 0, 0, 0x0D, 0x19, 0x02, 7,    0, 0x17, 3,    0, 'y', 'e',
                   's',  0x19, 0x08, 7, 0,    0x17, 2, 0, 'n',  'o',  0x19, 0x08, 3, 0,    0x42, 3, 1,   0});
    Bytes str;
    PutString8(str, u"yes", 2);
    s.Record(0x0207, str);
    s.Formula(4, 3, 1, {0x3A, 0, 0, 4, 0, 2, 0xC0});
    const Bytes exp = {0x01, 4, 0, 1, 0};
    s.Formula(4, 1, 0, exp);
    s.SharedFormula(4, 5, 1, 1, {0x4C, 0, 0, 0xFF, 0xC0, 0x1E, 2, 0, 0x05});
    s.Formula(5, 1, 0, exp);
    TaggedFormula(s, 6, 0, 2, 0x07, {0x1E, 1, 0, 0x1E, 0, 0, 0x06});
    TaggedFormula(s, 6, 1, 1, 1, {0x1D, 1});
}

Bytes Biff8Stream()
{
    return BuildStream(
        {{u"Alpha", 0, Cells8}, {u"Other data", 1, [](Stream& s) { s.Number(65535, 255, 1); }}, {u"Chart", 0, {}, 2}},
        Globals8);
}

Bytes Biff5Stream()
{
    auto globals = [](Stream& s) {
        Bytes cp;
        Put16(cp, 1251);
        s.Record(0x0042, cp);
        Bytes fmt;
        Put16(fmt, 164);
        fmt.push_back(10);
        for (char c : std::string("yyyy-mm-dd")) fmt.push_back(static_cast<std::uint8_t>(c));
        s.Record(0x041E, fmt);
    };
    auto cells = [](Stream& s) {
        Bytes label;
        Put16(label, 0);
        Put16(label, 0);
        Put16(label, 0);
        Put16(label, 6);
        label.insert(label.end(), {0xCC, 0xEE, 0xF1, 0xEA, 0xE2, 0xE0});
        s.Record(0x0204, label);
        s.Number(1, 0, 12.5);
        // BIFF5 formula: =C5&"x" with an 8-bit string token.
        s.Formula(2, 0, 0, {0x44, 4, 0xC0, 2, 0x17, 1, 'x', 0x08});
    };
    return BuildStream({{u"Blatt1", 1, cells}, {u"Blatt2", 0, {}}}, globals, 0x0500);
}

Bytes OldBiff(int version)
{
    excelfixtures::OldBiffWriter w(version);
    w.Bof(0x0010);
    w.CodePage(1252);
    if (version == 3) w.DateMode1904();
    w.Format("General");
    w.Format("m/d/yy");
    w.Xf(0);
    w.Xf(1);
    w.Number(0, 0, 4711.5);
    w.Number(0, 1, 36000, 1, 1);
    w.Integer(1, 0, 42);
    w.Label(2, 0, "Caf\xE9 au lait");
    w.BoolErr(3, 0, 1, false);
    w.BoolErr(3, 1, 0x07, true);
    w.Formula(4, 0, excelfixtures::OldBiffWriter::TaggedResult(0));
    w.String("formula text");
    w.Eof();
    return w.Data();
}

Bytes OldBiff4Workbook()
{
    excelfixtures::OldBiffWriter w(4);
    w.Bof(0x0100);
    w.BoundSheet("First");
    w.BoundSheet("Second");
    w.Eof();
    for (const char* name : {"First", "Second"}) {
        const std::size_t at = w.SheetHeader(name);
        w.Bof(0x0010);
        w.Label(0, 0, std::string("text on ") + name);
        w.Number(1, 0, 2.5);
        w.Eof();
        w.PatchSheetLength(at);
    }
    return w.Data();
}

// ---- Word binary documents -------------------------------------------------

docbin::Bytes Word97(bool compressed, bool stories, bool table1)
{
    docbin::Word97 d;
    d.table1 = table1;
    const std::string main = "Quarterly report\rSecond paragraph with a tab\there.\r";
    const std::string foot = "A footnote.\r";
    const std::string head = "Header text\r\r";
    const std::string all = stories ? main + foot + head + "\r" : main + "\r";
    d.ccp[0] = static_cast<std::uint32_t>(main.size());
    if (stories) {
        d.ccp[1] = static_cast<std::uint32_t>(foot.size());
        d.ccp[2] = static_cast<std::uint32_t>(head.size());
    }
    if (compressed) {
        d.text = docbin::Latin(all);
        d.pieces = {
            {static_cast<std::uint32_t>(all.size()), static_cast<std::uint32_t>(docbin::Word97::kTextAt), true}};
    } else {
        std::u16string wide;
        for (char c : all) wide.push_back(static_cast<char16_t>(static_cast<unsigned char>(c)));
        wide[0] = u'\u0413';  // a letter outside Latin-1
        d.text = docbin::Utf16(wide);
        // Two pieces: the first half 16-bit, the rest from the same bytes.
        const auto half = static_cast<std::uint32_t>(all.size() / 2);
        d.pieces = {{half, static_cast<std::uint32_t>(docbin::Word97::kTextAt), false},
                    {static_cast<std::uint32_t>(all.size()) - half,
                     static_cast<std::uint32_t>(docbin::Word97::kTextAt + 2 * half), false}};
    }
    return d.Build();
}

docbin::Bytes Word6(bool complex, bool fonts)
{
    docbin::Word6 d;
    const std::string main =
        "Bericht \xFC"
        "ber das Jahr\r";
    d.text = docbin::Latin(main + "\r");
    d.ccp[0] = static_cast<std::uint32_t>(main.size());
    if (complex) {
        d.complex = true;
        d.pieces = {
            {static_cast<std::uint32_t>(main.size() + 1), static_cast<std::uint32_t>(docbin::Word6::kTextAt), true}};
    }
    if (fonts) {
        d.lid = 0x0419;
        d.fontCharsets = {0, 204, 238};
        d.defaultFont = 1;
    }
    return d.Build();
}

// A compound file whose root directory entry has a left sibling (entry 1),
// which no well-formed file has: libgsf reads it as a second root and
// leaks it. The seed keeps the run script's suppression of that leak in
// use (fuzz/lsan.supp); without it the smoke run fails.
Bytes RootWithSibling(Bytes file)
{
    const std::string root = "Root Entry";
    for (std::size_t at = 512; at + 128 <= file.size(); at += 128) {
        bool match = true;
        for (std::size_t i = 0; i < root.size() && match; ++i)
            match = file[at + 2 * i] == static_cast<std::uint8_t>(root[i]) && file[at + 2 * i + 1] == 0;
        if (!match) continue;
        file[at + 0x44] = 1;
        file[at + 0x45] = file[at + 0x46] = file[at + 0x47] = 0;
        return file;
    }
    std::cerr << "no root entry\n";
    std::exit(1);
}

// ---- packages --------------------------------------------------------------

const char* const kContentTypes =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?><Types xmlns=\"http://schemas.openxmlformats.org/package/2006/"
    "content-types\"><Default Extension=\"xml\" ContentType=\"application/xml\"/><Override PartName=\"/word/"
    "document.xml\" ContentType=\"application/vnd.openxmlformats-officedocument.wordprocessingml.document.main+xml\"/>"
    "</Types>";
const char* const kRootRels =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?><Relationships xmlns=\"http://schemas.openxmlformats.org/package/2006/"
    "relationships\"><Relationship Id=\"rId1\" Type=\"http://schemas.openxmlformats.org/officeDocument/2006/"
    "relationships/officeDocument\" Target=\"word/document.xml\"/></Relationships>";
const std::string kW =
    "xmlns:w=\"http://schemas.openxmlformats.org/wordprocessingml/2006/main\" "
    "xmlns:r=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships\"";

std::string DocumentXml(const std::string& body)
{
    return "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?><w:document " + kW + "><w:body>" + body +
           "</w:body></w:document>";
}

std::string Rels(const std::vector<std::pair<std::string, std::string>>& typeAndTarget)
{
    std::string rels =
        "<?xml version=\"1.0\"?><Relationships xmlns=\"http://schemas.openxmlformats.org/package/2006/"
        "relationships\">";
    int id = 1;
    for (const auto& [type, target] : typeAndTarget)
        rels += "<Relationship Id=\"rId" + std::to_string(id++) +
                "\" Type=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships/" + type +
                "\" Target=\"" + target + "\"/>";
    return rels + "</Relationships>";
}

std::vector<std::uint8_t> Docx(bool stored)
{
    const std::string body =
        "<w:p><w:r><w:t xml:space=\"preserve\">Quarterly </w:t></w:r><w:r><w:rPr><w:b/></w:rPr><w:t>report"
        "</w:t></w:r><w:r><w:tab/><w:t>after a tab</w:t><w:br/><w:t>and a break</w:t></w:r>"
        "<w:r><w:footnoteReference w:id=\"1\"/></w:r><w:r><w:commentReference w:id=\"0\"/></w:r></w:p>"
        "<w:tbl><w:tr><w:tc><w:p><w:r><w:t>cell one</w:t></w:r></w:p></w:tc><w:tc><w:p><w:r><w:t>cell two"
        "</w:t></w:r></w:p></w:tc></w:tr></w:tbl>"
        "<w:p><w:r><w:noBreakHyphen/><w:softHyphen/><w:sym w:font=\"Symbol\" w:char=\"F0B7\"/>"
        "<w:fldChar w:fldCharType=\"begin\"/><w:instrText> PAGE </w:instrText><w:fldChar w:fldCharType=\"separate\"/>"
        "<w:t>1</w:t><w:fldChar w:fldCharType=\"end\"/></w:r></w:p>"
        "<w:p><w:r><w:pict><v:textbox xmlns:v=\"urn:schemas-microsoft-com:vml\"><w:txbxContent><w:p><w:r><w:t>in a "
        "text box</w:t></w:r></w:p></w:txbxContent></v:textbox></w:pict></w:r></w:p>"
        "<w:sectPr><w:headerReference w:type=\"default\" r:id=\"rId1\"/></w:sectPr>";
    const std::string part = [&](const char* root, const char* item, const char* text) {
        return std::string("<?xml version=\"1.0\"?><w:") + root + " " + kW + "><w:" + item +
               " w:id=\"1\"><w:p><w:r><w:t>" + text + "</w:t></w:r></w:p></w:" + item + "></w:" + root + ">";
    }("footnotes", "footnote", "a footnote");
    const std::string comments = "<?xml version=\"1.0\"?><w:comments " + kW +
                                 "><w:comment w:id=\"0\" w:author=\"A\"><w:p><w:r><w:t>a comment</w:t></w:r></w:p>"
                                 "</w:comment></w:comments>";
    const std::string header =
        "<?xml version=\"1.0\"?><w:hdr " + kW + "><w:p><w:r><w:t>page header</w:t></w:r></w:p></w:hdr>";
    return ziptest::BuildZip(
        {{"[Content_Types].xml", kContentTypes, stored},
         {"_rels/.rels", kRootRels, stored},
         {"word/_rels/document.xml.rels",
          Rels({{"header", "header1.xml"}, {"footnotes", "footnotes.xml"}, {"comments", "/word/comments.xml"}}),
          stored},
         {"word/document.xml", DocumentXml(body), stored},
         {"word/footnotes.xml", part, stored},
         {"word/comments.xml", comments, stored},
         {"word/header1.xml", header, stored}});
}

std::vector<std::uint8_t> Xlsx(bool date1904)
{
    const std::string ns = "http://schemas.openxmlformats.org/spreadsheetml/2006/main";
    const std::string rel = "http://schemas.openxmlformats.org/officeDocument/2006/relationships";
    const std::string rootRels =
        "<?xml version=\"1.0\"?><Relationships xmlns=\"http://schemas.openxmlformats.org/"
        "package/2006/relationships\"><Relationship Id=\"rId1\" Type=\"" +
        rel + "/officeDocument\" Target=\"xl/workbook.xml\"/></Relationships>";
    const std::string workbook =
        "<?xml version=\"1.0\"?><workbook xmlns=\"" + ns + "\" xmlns:r=\"" + rel + "\"><workbookPr date1904=\"" +
        (date1904 ? "1" : "0") +
        "\"/><sheets><sheet name=\"Alpha\" sheetId=\"1\" r:id=\"rId1\"/><sheet name=\"Hidden\" "
        "sheetId=\"2\" state=\"hidden\" r:id=\"rId2\"/></sheets></workbook>";
    const std::string workbookRels =
        "<?xml version=\"1.0\"?><Relationships xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\">"
        "<Relationship Id=\"rId1\" Type=\"" +
        rel +
        "/worksheet\" Target=\"worksheets/sheet1.xml\"/>"
        "<Relationship Id=\"rId2\" Type=\"" +
        rel +
        "/worksheet\" Target=\"/xl/worksheets/sheet2.xml\"/>"
        "<Relationship Id=\"rId3\" Type=\"" +
        rel +
        "/sharedStrings\" Target=\"sharedStrings.xml\"/>"
        "<Relationship Id=\"rId4\" Type=\"" +
        rel + "/styles\" Target=\"styles.xml\"/></Relationships>";
    const std::string shared =
        "<?xml version=\"1.0\"?><sst xmlns=\"" + ns +
        "\" count=\"3\" uniqueCount=\"3\"><si><t>Quarterly report</t></si><si><r><t>rich </t></r>"
        "<r><rPr><b/></rPr><t>run_x0041_</t></r></si><si><t>kanji</t><rPh sb=\"0\" eb=\"1\"><t>"
        "phonetic</t></rPh></si></sst>";
    const std::string styles = "<?xml version=\"1.0\"?><styleSheet xmlns=\"" + ns +
                               "\"><numFmts count=\"1\"><numFmt numFmtId=\"164\" formatCode=\"dd/mm/yyyy\\ hh:mm\"/>"
                               "</numFmts><cellXfs count=\"3\"><xf numFmtId=\"0\"/><xf numFmtId=\"164\"/><xf "
                               "numFmtId=\"14\"/></cellXfs></styleSheet>";
    const std::string sheet1 =
        "<?xml version=\"1.0\"?><worksheet xmlns=\"" + ns +
        "\"><sheetData><row r=\"1\"><c r=\"A1\" t=\"s\"><v>0</v>"
        "</c><c r=\"B1\" t=\"s\"><v>1</v></c><c r=\"C1\" t=\"s\"><v>2</v></c></row><row r=\"2\"><c r=\"A2\"><v>4711"
        "</v></c><c r=\"B2\" s=\"1\"><v>45352.5</v></c><c r=\"C2\" s=\"2\"><v>1</v></c><c r=\"D2\" t=\"b\"><v>1</v>"
        "</c><c r=\"E2\" t=\"e\"><v>#DIV/0!</v></c></row><row r=\"3\"><c r=\"A3\" t=\"inlineStr\"><is><t>inline "
        "text</t></is></c><c r=\"B3\" t=\"str\"><f>CONCATENATE(\"a\",\"b\")</f><v>ab</v></c><c r=\"C3\"><f>A2*2</f>"
        "<v>9422</v></c><c r=\"D3\" t=\"d\"><v>2024-03-01T12:30:00</v></c><c t=\"n\"><v>1E+20</v></c></row>"
        "<row><c r=\"XFD1048576\"><v>-0.000125</v></c></row></sheetData></worksheet>";
    const std::string sheet2 = "<?xml version=\"1.0\"?><worksheet xmlns=\"" + ns +
                               "\"><sheetData><row r=\"1\"><c r=\"A1\" t=\"inlineStr\"><is><t>secret</t></is></c></row>"
                               "</sheetData></worksheet>";
    return ziptest::BuildZip({{"_rels/.rels", rootRels},
                              {"xl/workbook.xml", workbook},
                              {"xl/_rels/workbook.xml.rels", workbookRels},
                              {"xl/sharedStrings.xml", shared},
                              {"xl/styles.xml", styles},
                              {"xl/worksheets/sheet1.xml", sheet1},
                              {"xl/worksheets/sheet2.xml", sheet2}});
}

// ---- formula tokens --------------------------------------------------------

// The context header of the formula target: flags, row, column.
Bytes Formula(unsigned flags, unsigned row, unsigned column, const Bytes& tokens)
{
    Bytes b = {static_cast<std::uint8_t>(flags), static_cast<std::uint8_t>(row), static_cast<std::uint8_t>(row >> 8),
               static_cast<std::uint8_t>(column)};
    b.insert(b.end(), tokens.begin(), tokens.end());
    return b;
}

void FormulaSeeds()
{
    Bytes num = {0x1F};
    PutF64(num, 1234.25);
    Bytes wide = {0x17, 3, 1};
    for (char16_t c : std::u16string(u"ab\u2603")) Put16(wide, c);
    const std::vector<std::pair<std::string, Bytes>> seeds = {
        {"int-add", Formula(1, 0, 0, {0x1E, 3, 0, 0x1E, 4, 0, 0x03})},
        {"num", Formula(1, 0, 0, num)},
        {"string-wide", Formula(1, 0, 0, wide)},
        {"bool-err", Formula(1, 0, 0, {0x1D, 1, 0x1C, 0x2A, 0x0B})},
        {"operators",
         Formula(1, 0, 0, {0x24, 0, 0, 0, 0xC0, 0x24, 0, 0, 1, 0xC0, 0x04, 0x1E, 2, 0, 0x07, 0x12, 0x13, 0x14, 0x15})},
        {"ref-area", Formula(1, 0, 0, {0x24, 1, 0, 2, 0x00, 0x25, 0, 0, 9, 0, 0, 0xC0, 1, 0xC0, 0x10})},
        {"whole-rows-cols",
         Formula(1, 0, 0, {0x25, 0, 0, 4, 0, 0, 0xC0, 0xFF, 0xC0, 0x25, 0, 0, 0xFF, 0xFF, 1, 0x80, 2, 0x80, 0x0F})},
        {"sum-attr", Formula(1, 0, 0, {0x25, 0, 0, 3, 0, 0, 0xC0, 0, 0xC0, 0x19, 0x10, 0, 0})},
        {"if-jumps",
         Formula(1, 0, 0, {0x24, 0,    0,    0,  0xC0, 0x1E, 0, 0, 0x0D, 0x19, 0x02, 7,    0, 0x17, 3,    0, 'y', 'e',
                           's',  0x19, 0x08, 10, 0,    0x17, 2, 0, 'n',  'o',  0x19, 0x08, 3, 0,    0x42, 3, 1,   0})},
        {"choose",
         Formula(1, 0, 0, {0x24, 0,    0,    0, 0xC0, 0x19, 0x04, 2, 0,   0,    0,    0, 0, 0,    0, 0x17, 1, 0,
                           'x',  0x19, 0x08, 0, 0,    0x17, 1,    0, 'y', 0x19, 0x08, 0, 0, 0x42, 3, 100,  0})},
        {"func-fixed", Formula(1, 0, 0, {0x24, 0, 0, 0, 0xC0, 0x1E, 2, 0, 0x21, 27, 0, 0x41, 74, 0})},
        {"vlookup-missarg", Formula(1, 0, 0, {0x24, 0, 0,    0,    0xC0, 0x25, 0,    0,    4, 0,   1,
                                              0xC0, 2, 0xC0, 0x1E, 2,    0,    0x16, 0x42, 4, 102, 0})},
        {"shared-refn", Formula(3, 4, 2, {0x4C, 1, 0, 0xFF, 0xC0, 0x2D, 0, 0, 2, 0, 0, 0x80, 1, 0x80, 0x0F})},
        {"shared-wrap", Formula(3, 0xFFFF, 255, {0x2C, 1, 0, 1, 0xC0})},
        {"ref3d", Formula(1, 0, 0, {0x5A, 0, 0, 0, 0, 0, 0x80, 0x3B, 2, 0, 0, 0, 4, 0, 0, 0xC0, 1, 0xC0, 0x10})},
        {"ref3d-shared", Formula(3, 9, 9, {0x3A, 3, 0, 1, 0, 1, 0xC0})},
        {"referr3d", Formula(1, 0, 0, {0x3C, 0, 0, 0, 0, 0, 0, 0x3D, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x0F})},
        {"name", Formula(1, 0, 0, {0x24, 0, 0, 0, 0xC0, 0x43, 1, 0, 0, 0, 0x05})},
        {"namex-edate", Formula(1, 0, 0, {0x39, 1, 0, 1, 0, 0, 0, 0x24, 0, 0, 0, 0xC0, 0x1E, 1, 0, 0x42, 3, 255, 0})},
        {"namex-xlfn", Formula(1, 0, 0, {0x39, 2, 0, 1, 0, 0, 0, 0x24, 0, 0, 0, 0xC0, 0x42, 2, 255, 0})},
        {"mem-area", Formula(1, 0, 0, {0x29, 7, 0, 0x24, 0, 0, 0, 0xC0, 0x24, 1, 0, 1, 0xC0, 0x11, 0x42, 1, 4, 0})},
        {"referr", Formula(1, 0, 0, {0x2A, 0, 0, 0, 0, 0x2B, 0, 0, 0, 0, 0, 0, 0, 0, 0x03})},
        {"biff5-ref", Formula(0, 0, 0, {0x44, 4, 0xC0, 2, 0x1E, 3, 0, 0x21, 27, 0})},
        {"biff5-area-string", Formula(4, 0, 0, {0x25, 0, 0xC0, 3, 0xC0, 0, 1, 0x17, 2, 0x80, 'x', 0x08})},
        {"paren-uminus", Formula(1, 0, 0, {0x1E, 1, 0, 0x13, 0x13, 0x15, 0x15, 0x14})},
    };
    for (const auto& [name, bytes] : seeds) Write("formula", name, bytes);
}

// ---- cell formats ------------------------------------------------------------

void CellFormatSeed(const std::string& name, double value, unsigned flags, unsigned builtin, const std::string& text)
{
    Bytes b;
    PutF64(b, value);
    b.push_back(static_cast<std::uint8_t>(flags));
    b.push_back(static_cast<std::uint8_t>(builtin));
    b.insert(b.end(), text.begin(), text.end());
    Write("cellformat", name, b);
}

void CellFormatSeeds()
{
    CellFormatSeed("date-code", 45352.5, 2, 14, "m/d/yyyy");
    CellFormatSeed("datetime-code", 45352.75, 6, 22, "dd.mm.yyyy hh:mm:ss");
    CellFormatSeed("time-minutes", 0.5, 4, 20, "[h]:mm:ss");
    CellFormatSeed("quoted-escaped", 12.5, 0, 0, "\"Date: \"0.00\\d;[Red]-0.00;_(* 0_)");
    CellFormatSeed("m-ambiguous", 1, 2, 45, "mm:ss \"m\" yyyy mmm");
    CellFormatSeed("iso-date", 0, 1, 0, "2024-03-01T12:30:00");
    CellFormatSeed("iso-date-only", 0, 0, 0, "1900-02-28");
    CellFormatSeed("decimal", 1e20, 0, 0, "4711.125");
    CellFormatSeed("small", 1.5e-12, 0, 0, "0.000125");
    CellFormatSeed("negative", -123456789012345.0, 6, 0, "-0.5");
    CellFormatSeed("huge", 2958466.5, 2, 22, "12345678901234.5");
    CellFormatSeed("leap", 60, 2, 14, "[$-409]d-mmm-yy;@");
}

// ---- texts -----------------------------------------------------------------

void TextSeeds()
{
    Write("text", "ascii.txt", std::string("Quarterly report\r\nSecond line\nthird\rfourth\tafter a tab\f\n"));
    Write("text", "utf8-bom.txt",
          std::string("\xEF\xBB\xBFGr\xC3\xBC\xC3\x9F"
                      "e \xE2\x98\x83 \xF0\x9F\x98\x80 end\n"));
    Write("text", "utf8-plain.txt", std::string("\xD0\x9C\xD0\xBE\xD1\x81\xD0\xBA\xD0\xB2\xD0\xB0 and caf\xC3\xA9\n"));
    Write("text", "utf16be-bom.txt", Lit("\xFE\xFF\x00H\x00i\x26\x03\x00\n"));
    Write("text", "utf16le-nobom.txt", Lit("H\0e\0l\0l\0o\0 \0w\0o\0r\0l\0d\0\r\0\n\0"));
    Write("text", "cp1251.txt",
          std::string("\xCC\xEE\xF1\xEA\xE2\xE0 \xFF\xE2\xEB\xFF\xE5\xF2\xF1\xFF "
                      "\xF1\xF2\xEE\xEB\xE8\xF6\xE5\xE9 \xD0\xEE\xF1\xF1\xE8\xE8.\n"));
    Write("text", "shift-jis.txt", std::string("\x93\xFA\x96\x7B\x8C\xEA\x82\xCC\x83\x65\x83\x4C\x83\x58\x83\x67\n"));
    Write("text", "binary.bin", Lit("\x00\x01\x02\x03text\x00\xFF\xFE\x00"));
    Write("text", "nul-inside.txt", Lit("before\0after\n"));
}

void HtmlSeeds()
{
    Write("html", "plain.html",
          std::string("<!DOCTYPE html><html><head><title>Price list</title><style>p{color:red}</style>"
                      "<script>var x = '<p>not text</p>';</script></head><body><h1>Heading</h1><p>Garden &amp; hose "
                      "&eacute;&#233;&#x2603; &nbsp;end</p><table><tr><td>a</td><td>b</td></tr></table><br><pre> keep "
                      " spaces</pre><!-- a comment --><p>last</p></body></html>"));
    Write("html", "meta-charset.htm",
          std::string("<html><head><meta http-equiv=\"Content-Type\" content=\"text/html; charset=windows-1252\">"
                      "</head><body><p>Caf\xE9 \x80 \x93quoted\x94</p></body></html>"));
    Write("html", "meta-charset5.htm",
          std::string("<html><head><meta charset=\"koi8-r\"><title>\xF0\xD2\xC9\xD7\xC5\xD4</title></head><body>"
                      "\xED\xCF\xD3\xCB\xD7\xC1</body></html>"));
    Write("html", "utf16.htm", Lit("\xFF\xFE<\0p\0>\0h\0i\0<\0/\0p\0>\0"));
    Write("html", "fragment.htm", std::string("<p>no html element<div>unclosed<span>deep <b>bold <i>both</p>"));
    Write("html", "word-html.htm",
          std::string("<html xmlns:o=\"urn:schemas-microsoft-com:office:office\"><body><p class=MsoNormal>Word "
                      "<o:p></o:p></p><![if !supportLists]><span>1.</span><![endif]><p>list item</p>"
                      "<v:shape><v:textbox>box</v:textbox></v:shape></body></html>"));
    for (const auto& page :
         {office::hostile::ManyAttributes(40), office::hostile::NestedFonts(30), office::hostile::Unclosed("div", 30),
          office::hostile::DeepTables(10), office::hostile::StrayEndTags(30), office::hostile::RepeatedBody(5),
          office::hostile::BlockedEndTags(20), office::hostile::PlainParagraphs(600)})
        Write("html", "hostile-" + page.name + ".htm", page.html);
}

void RtfSeeds()
{
    Write("rtf", "plain.rtf",
          std::string("{\\rtf1\\ansi\\ansicpg1252\\deff0{\\fonttbl{\\f0\\fswiss Arial;}{\\f1\\fcharset204 Times;}}"
                      "{\\colortbl;\\red255\\green0\\blue0;}{\\stylesheet{\\s0 Normal;}}{\\info{\\title T}}"
                      "\\pard Quarterly \\b report\\b0\\par\\f1 \\'cc\\'ee\\'f1\\'ea\\'e2\\'e0\\par"
                      "\\f0\\u9731?\\uc2\\u9731??\\uc1 tab\\tab line\\line end\\par}"));
    Write("rtf", "destinations.rtf",
          std::string("{\\rtf1\\ansi{\\*\\generator W;}{\\header head text\\par}{\\footer foot text\\par}"
                      "body{\\footnote\\pard a footnote}{\\*\\annotation a comment} more"
                      "{\\field{\\*\\fldinst HYPERLINK \"x\"}{\\fldrslt link text}}"
                      "{\\pict\\wmetafile8 0102030405}{\\object{\\*\\objdata 0102}}"
                      "{\\shp{\\*\\shpinst{\\sp{\\sn t}{\\sv v}}{\\shptxt box text}}}\\par}"));
    Write("rtf", "bin-hex.rtf", std::string("{\\rtf1 before{\\*\\unknown skip}\\bin5 {}\\\\x after\\'4a\\'zz\\par}"));
    Write("rtf", "table.rtf",
          std::string("{\\rtf1\\trowd\\cellx1000\\cellx2000 a\\cell b\\cell\\row\\pard after\\par"
                      "\\emdash\\endash\\bullet\\lquote\\rquote\\ldblquote\\rdblquote\\~\\-\\_\\{\\}}"));
    Write("rtf", "mac-dbcs.rtf",
          std::string("{\\rtf1\\mac\\deff0{\\fonttbl{\\f0\\fcharset128 MS Mincho;}}\\f0 \\'93\\'fa\\'96\\'7b\\par"
                      "\\ansicpg932 \\'82\\'a0\\par}"));
    Write("rtf", "unclosed.rtf", std::string("{\\rtf1{{{{{{{{{{deep text\\par"));
}

void XmlSeeds()
{
    Write("xml", "namespaces.xml",
          std::string("<?xml version=\"1.0\" encoding=\"UTF-8\"?><a xmlns=\"urn:x\" xmlns:p=\"urn:p\" p:at=\"1\" "
                      "b='two'><p:b>text &amp; &lt;more&gt; &#x2603;&#65;</p:b><c/><![CDATA[raw <x>]]><!-- c --><?pi "
                      "data?><d xmlns=\"\">plain</d></a>"));
    Write("xml", "doctype.xml",
          std::string("<?xml version=\"1.0\"?><!DOCTYPE r [<!ENTITY e \"value\"><!ELEMENT r ANY>]><r>&e;</r>"));
    Write("xml", "standalone.xml",
          std::string("<?xml version='1.0' standalone='yes'?>\n<r a=\"&quot;x&apos;\">\r\n"
                      "line\r\n</r>\n"));
    Write("xml", "latin1.xml", std::string("<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?><r>caf\xE9</r>"));
    Write("xml", "utf16.xml", Lit("\xFF\xFE<\0r\0>\0x\0<\0/\0r\0>\0"));
    Write("xml", "bad-nesting.xml", std::string("<a><b></a></b>"));
    Write("xml", "wordml.xml", DocumentXml("<w:p><w:r><w:t xml:space=\"preserve\"> a </w:t></w:r></w:p>"));
}

void RegSeeds()
{
    Write("reghive", "settings.reg",
          std::string("Windows Registry Editor Version 5.00\r\n\r\n[HKEY_CURRENT_USER\\SOFTWARE\\Varnel\\Option]\r\n"
                      "\"MatchCase\"=dword:00000001\r\n\"Name\"=\"quoted \\\"text\\\" and \\\\ slash\"\r\n"
                      "\"Blob\"=hex:01,02,ff,\\\r\n  03\r\n@=\"default\"\r\n\r\n"
                      "[HKEY_CURRENT_USER\\SOFTWARE\\Varnel\\Setup]\r\n\"Empty\"=\"\"\r\n"));
    Write("reghive", "damaged.reg",
          std::string("REGEDIT4\n[HKEY_CURRENT_USER\\A]\n\"x\"=dword:zz\n\"y\"=hex(2):41,00\n[-HKEY_CURRENT_USER\\B]\n"
                      "\"z\"=-\n[unterminated\n\"v\"=dword:ffffffffff\n"));
    Write("reghive", "unicode-names.reg",
          std::string("\xEF\xBB\xBFWindows Registry Editor Version 5.00\n\n[HKEY_CURRENT_USER\\Software\\Caf\xC3\xA9]\n"
                      "\"\xE2\x98\x83\"=dword:0000002a\n"));
}

void XlsTextSeeds()
{
    Write("xls", "html-spans.xls",
          std::string("<html><body><table><tr><td rowspan=2>tall</td><td colspan=3>wide &amp; long</td></tr><tr>"
                      "<td>12.5</td><td>TRUE</td><td>1E+20</td></tr></table><table><tr><th>second</th></tr></table>"
                      "</body></html>"));
    Write("xls", "xml2003-types.xls",
          std::string("<?xml version=\"1.0\"?><?mso-application progid=\"Excel.Sheet\"?><Workbook xmlns=\"urn:schemas-"
                      "microsoft-com:office:spreadsheet\" xmlns:ss=\"urn:schemas-microsoft-com:office:spreadsheet\">"
                      "<Worksheet ss:Name=\"One\"><Table><Row><Cell><Data ss:Type=\"String\">text</Data></Cell><Cell "
                      "ss:Index=\"4\"><Data ss:Type=\"Number\">4711.5</Data></Cell><Cell><Data ss:Type=\"Boolean\">1"
                      "</Data></Cell></Row><Row ss:Index=\"5\"><Cell ss:Formula=\"=R1C4*2\"><Data ss:Type=\"Number\">"
                      "9423</Data></Cell><Cell><Data ss:Type=\"DateTime\">2024-03-01T00:00:00.000</Data></Cell><Cell>"
                      "<Data ss:Type=\"Error\">#N/A</Data></Cell><Cell><ss:Data ss:Type=\"String\" xmlns=\"http://"
                      "www.w3.org/TR/REC-html40\"><B>rich</B> text</ss:Data></Cell></Row></Table></Worksheet>"
                      "<Worksheet ss:Name=\"Two\"/></Workbook>"));
    Write("xls", "semicolon.xls",
          std::string("Name;Amount;Note\r\n\"Smith; John\";4711,5;\"said \"\"hi\"\"\"\r\nDoe;;\r\n"));
    Write("xls", "utf16-tabs.xls",
          Lit("\xFF\xFEN\0a\0m\0e\0\t\0"
              "1\0"
              "2\0\r\0\n\0x\0\t\0y\0"));
    Write("xls", "utf8-bom.csv.xls",
          std::string("\xEF\xBB\xBF"
                      "a,b,c\n\"multi\nline\",TRUE,-0.5\n,,\n"));
    Write("xls", "empty.xls", std::string());
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 3) {
        std::cerr << "usage: fuzz_seedgen OUT_FOLDER TESTS_DATA_FOLDER\n";
        return 2;
    }
    g_out = argv[1];
    const fs::path data = argv[2];

    // Fixtures of tests/data, each where a reader of its kind looks.
    CopyFixtures(data, "word", {"doc", "cfb"}, {".doc", ".dot"});
    CopyFixtures(data, "word", {"docx", "zip"}, {".docx", ".dotx"});
    CopyFixtures(data, "word", {"rtf"}, {".rtf"});
    CopyFixtures(data, "word", {"text"}, {".txt"});
    CopyFixtures(data, "word", {"html"}, {".htm", ".html"});
    CopyFixtures(data, "word", {"xml"}, {".fodt"});
    CopyFixtures(data, "excel", {"xls"}, {".xls"});
    CopyFixtures(data, "excel", {"xlsx", "zip"}, {".xlsx"});

    // Binary workbooks: bare streams (the xls target reads them directly)
    // and the same in compound files, Excel 2 to 4 files, crafted ones.
    const Bytes biff8 = Biff8Stream();
    const Bytes biff5 = Biff5Stream();
    Write("xls", "biff8-stream.bin", biff8);
    Write("xls", "biff5-stream.bin", biff5);
    Write("xls", "biff8.xls", excelfixtures::CompoundFileOf({{"Workbook", biff8}}));
    Write("xls", "biff5.xls", excelfixtures::CompoundFileOf({{"Book", biff5}}));
    Write("cfb", "biff8.xls",
          excelfixtures::CompoundFileOf({{"Workbook", biff8}, {"\x05SummaryInformation", Bytes(200, 0)}}));
    for (int version : {2, 3, 4}) Write("xls", "biff" + std::to_string(version) + ".xls", OldBiff(version));
    Write("xls", "biff4-workbook.xls", OldBiff4Workbook());
    Write("xls", "hostile-externsheets.xls", hostilexls::ExternSheetsAndNames(3, 3));
    Write("xls", "hostile-scoped-names.xls", hostilexls::SheetScopedNames(3, 4));
    Write("xls", "hostile-filepass.xls", hostilexls::RepeatedFilePass(2, 100));
    Write("xls", "hostile-shared-formula.xls", hostilexls::SharedFormulaCells(4, 10));
    Write("xls", "hostile-formulas.xls", hostilexls::FormulaCells(3, 5));
    Write("xls", "hostile-array-formula.xls", hostilexls::ArrayFormulaCells(3, 50));
    Write("xls", "hostile-format-codes.xls", hostilexls::LongFormatCodes(3, 20));
    Write("xls", "hostile-string-continue.xls", hostilexls::StringContinueFlood(3, 5));
    Write("xls", "hostile-codepages.xls", hostilexls::CodePageFlood(4));
    Write("xls", "many-cells.xls", hostilexls::ManyCells(20));
    XlsTextSeeds();

    // Word binary documents.
    Write("doc", "word97-8bit.doc", Word97(true, true, true));
    Write("doc", "word97-16bit.doc", Word97(false, true, false));
    Write("doc", "word97-main-only.doc", Word97(true, false, true));
    Write("doc", "word6.doc", Word6(false, false));
    Write("doc", "word6-complex.doc", Word6(true, false));
    Write("doc", "word6-fonts.doc", Word6(false, true));
    Write("cfb", "word97.doc", Word97(true, true, true));
    Write("cfb", "root-with-sibling.doc", RootWithSibling(Word97(true, true, true)));
    Write("doc", "root-with-sibling.doc", RootWithSibling(Word97(true, true, true)));

    // Packages.
    Write("docx", "all-stories.docx", Docx(false));
    Write("docx", "stored.docx", Docx(true));
    Write("docx", "shared-body.docx", hostilesize::SharedBodyDocx(2000, true));
    Write("xlsx", "types.xlsx", Xlsx(false));
    Write("xlsx", "date1904.xlsx", Xlsx(true));
    Write("xlsx", "two-sheets.xlsx", hostilesize::TwoSheetXlsx(200));
    Write("zip", "stored.zip", Docx(true));
    Write("zip", "shared-body.zip", hostilesize::SharedBodyDocx(2000, true));
    Write("zip", "names.zip",
          ziptest::BuildZip({{"a/b/../c.xml", "x"},
                             {"%41%20b.xml", "y", true},
                             {"UPPER/Case.XML", "z"},
                             {"empty", ""},
                             {"dir/", ""},
                             {"\xC3\xA9t\xC3\xA9.txt", std::string(300, 'e')}}));

    FormulaSeeds();
    CellFormatSeeds();
    TextSeeds();
    HtmlSeeds();
    RtfSeeds();
    XmlSeeds();
    RegSeeds();
    std::cout << "seeds written to " << g_out << "\n";
    return 0;
}
