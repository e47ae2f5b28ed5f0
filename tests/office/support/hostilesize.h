// Makes files that cost far more to read than their size suggests, for the
// tests of the per-file memory budget and for bench/hostilesize_bench.cpp:
// a word-processing package whose parts all point at one deflated body, a
// workbook with two huge sheets, and a large plain text. Each ends with a
// keyword after its large part, so a reader that copes can be checked for
// finding it.
//
// Packages are written by hand (not with libzip) because the hostile ones
// need a central directory that a zip writer would never produce. Deflated
// data is made from a piece compressed once with a full flush, so that its
// bytes may follow one another any number of times: a body of hundreds of
// megabytes costs the generator only one small compression.
#pragma once

#include <zlib.h>

#include <cstdint>
#include <fstream>
#include <random>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace hostilesize {

// Raw deflate of `data`; unless `last`, it ends on a byte boundary without
// the final-block bit, so more deflated pieces may follow it.
inline std::string DeflatePiece(std::string_view data, bool last)
{
    z_stream zs{};
    if (deflateInit2(&zs, 6, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY) != Z_OK) throw std::runtime_error("deflateInit2");
    std::string out(deflateBound(&zs, static_cast<uLong>(data.size())) + 64, '\0');
    zs.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
    zs.avail_in = static_cast<uInt>(data.size());
    zs.next_out = reinterpret_cast<Bytef*>(out.data());
    zs.avail_out = static_cast<uInt>(out.size());
    const int rc = deflate(&zs, last ? Z_FINISH : Z_FULL_FLUSH);
    const bool ok = last ? rc == Z_STREAM_END : rc == Z_OK;
    out.resize(zs.total_out);
    deflateEnd(&zs);
    if (!ok) throw std::runtime_error("deflate");
    return out;
}

// A part's data made of `head`, `count` copies of `chunk` and `tail`,
// deflated without ever holding it whole.
struct Body {
    std::string compressed;
    std::uint32_t crc = 0;
    std::uint64_t size = 0;
    bool stored = false;  // `compressed` holds the data as it is
};

inline Body RepeatedBody(std::string_view head, std::string_view chunk, std::uint64_t count, std::string_view tail)
{
    Body b;
    const std::string h = DeflatePiece(head, false);
    const std::string c = DeflatePiece(chunk, false);
    const std::string t = DeflatePiece(tail, true);
    b.compressed.reserve(h.size() + c.size() * count + t.size());
    b.compressed += h;
    uLong crc = crc32(0, reinterpret_cast<const Bytef*>(head.data()), static_cast<uInt>(head.size()));
    const uLong chunkCrc = crc32(0, reinterpret_cast<const Bytef*>(chunk.data()), static_cast<uInt>(chunk.size()));
    for (std::uint64_t i = 0; i < count; ++i) {
        b.compressed += c;
        crc = crc32_combine(crc, chunkCrc, static_cast<z_off_t>(chunk.size()));
    }
    b.compressed += t;
    crc = crc32_combine(crc, crc32(0, reinterpret_cast<const Bytef*>(tail.data()), static_cast<uInt>(tail.size())),
                        static_cast<z_off_t>(tail.size()));
    b.crc = static_cast<std::uint32_t>(crc);
    b.size = head.size() + chunk.size() * count + tail.size();
    return b;
}

inline Body WholeBody(std::string_view data, bool stored = false)
{
    if (!stored) return RepeatedBody(data, {}, 0, {});
    const auto crc = crc32(0, reinterpret_cast<const Bytef*>(data.data()), static_cast<uInt>(data.size()));
    return {std::string(data), static_cast<std::uint32_t>(crc), data.size(), true};
}

struct ZipEntry {
    std::string name;
    Body body;
    // Index of an earlier entry whose local header and data this entry's
    // central directory record points at instead of its own; -1 for none.
    int sharesWith = -1;
};

// Little-endian values of 2 bytes each (or 4 with Put32).
inline void Put16(std::string& s, std::initializer_list<std::uint32_t> values)
{
    for (std::uint32_t v : values) s += {static_cast<char>(v & 0xFF), static_cast<char>((v >> 8) & 0xFF)};
}

inline void Put32(std::string& s, std::initializer_list<std::uint32_t> values)
{
    for (std::uint32_t v : values) Put16(s, {v & 0xFFFF, v >> 16});
}

// A zip package of deflated or stored entries (no zip64: every size must fit
// 32 bits).
inline std::string BuildZip(const std::vector<ZipEntry>& entries)
{
    std::string zip;
    std::vector<std::uint32_t> offsets(entries.size(), 0);
    for (std::size_t i = 0; i < entries.size(); ++i) {
        const ZipEntry& e = entries[i];
        if (e.sharesWith >= 0) {
            offsets[i] = offsets[static_cast<std::size_t>(e.sharesWith)];
            continue;
        }
        if (e.body.size > 0xFFFFFFFEu || e.body.compressed.size() > 0xFFFFFFFEu) throw std::runtime_error("zip64");
        offsets[i] = static_cast<std::uint32_t>(zip.size());
        const auto nameSize = static_cast<std::uint32_t>(e.name.size());
        Put32(zip, {0x04034b50u});
        Put16(zip, {20, 0, e.body.stored ? 0u : 8u, 0, 0x21});  // version, flags, method, time, date
        Put32(zip, {e.body.crc, static_cast<std::uint32_t>(e.body.compressed.size()),
                    static_cast<std::uint32_t>(e.body.size)});
        Put16(zip, {nameSize, 0});
        zip += e.name;
        zip += e.body.compressed;
    }
    const std::size_t directory = zip.size();
    for (std::size_t i = 0; i < entries.size(); ++i) {
        const ZipEntry& e = entries[i];
        const Body& b = e.sharesWith >= 0 ? entries[static_cast<std::size_t>(e.sharesWith)].body : e.body;
        Put32(zip, {0x02014b50u});
        Put16(zip, {20, 20, 0, b.stored ? 0u : 8u, 0, 0x21});
        Put32(zip, {b.crc, static_cast<std::uint32_t>(b.compressed.size()), static_cast<std::uint32_t>(b.size)});
        Put16(zip, {static_cast<std::uint32_t>(e.name.size()), 0, 0, 0, 0});
        Put32(zip, {0, offsets[i]});
        zip += e.name;
    }
    const auto count = static_cast<std::uint32_t>(entries.size());
    const auto directorySize = static_cast<std::uint32_t>(zip.size() - directory);
    Put32(zip, {0x06054b50u});
    Put16(zip, {0, 0, count, count});
    Put32(zip, {directorySize, static_cast<std::uint32_t>(directory)});
    Put16(zip, {0});
    return zip;
}

// `n` letters and digits: filler that compresses like text with some
// variety rather than like one repeated byte.
inline std::string Token(std::minstd_rand& rng, std::size_t n)
{
    static constexpr char kChars[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    std::string s;
    for (std::size_t i = 0; i < n; ++i) s.push_back(kChars[rng() % 62]);
    return s;
}

// A relationships part: one relationship of each (type, target) in the
// package's namespace of relationship types, with the ids rId1 on.
inline std::string RelsPart(const std::vector<std::pair<std::string, std::string>>& relationships)
{
    std::string xml =
        "<?xml version=\"1.0\"?><Relationships xmlns=\"http://schemas.openxmlformats.org/package/2006/"
        "relationships\">";
    for (std::size_t i = 0; i < relationships.size(); ++i)
        xml += "<Relationship Id=\"rId" + std::to_string(i + 1) +
               "\" Type=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships/" +
               relationships[i].first + "\" Target=\"" + relationships[i].second + "\"/>";
    return xml + "</Relationships>";
}

constexpr std::string_view kWordNs = "http://schemas.openxmlformats.org/wordprocessingml/2006/main";

// A word-processing package whose main document holds about `bodyBytes`
// of paragraphs and then one with `keyword`. With `shareBody`, the header,
// footer, footnotes, endnotes and comments parts are central directory
// records that all point at the main document's deflated body.
inline std::string SharedBodyDocx(std::uint64_t bodyBytes, bool shareBody, std::string_view keyword = "needle")
{
    const std::string head = "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?><w:document xmlns:w=\"" +
                             std::string(kWordNs) + "\"><w:body>";
    const std::string tail = "<w:p><w:r><w:t>" + std::string(keyword) + "</w:t></w:r></w:p></w:body></w:document>";
    // A chunk of 64 KB of paragraphs, every eighth with a random word
    // among repeated ones: deflates about 80 to 1.
    std::minstd_rand rng;
    std::string chunk;
    for (int i = 0; chunk.size() < 65536 - 200; ++i) {
        chunk += "<w:p><w:r><w:t>the quarterly report of the harbour project lists every open item ";
        if (i % 8 == 0) chunk += Token(rng, 4);
        chunk += " again and again</w:t></w:r></w:p>";
    }
    const std::uint64_t count = bodyBytes / chunk.size() + 1;
    std::vector<ZipEntry> entries;
    entries.push_back({"[Content_Types].xml",
                       WholeBody("<?xml version=\"1.0\"?><Types xmlns=\"http://schemas.openxmlformats.org/package/2006/"
                                 "content-types\"><Override PartName=\"/word/document.xml\" ContentType=\"application/"
                                 "vnd.openxmlformats-officedocument.wordprocessingml.document.main+xml\"/></Types>")});
    entries.push_back({"_rels/.rels", WholeBody(RelsPart({{"officeDocument", "word/document.xml"}}))});
    const char* const kParts[][2] = {{"header", "header1.xml"},       {"footer", "footer1.xml"},
                                     {"footnotes", "footnotes.xml"}, {"endnotes", "endnotes.xml"},
                                     {"comments", "comments.xml"}};
    std::vector<std::pair<std::string, std::string>> stories;
    for (const auto& part : kParts)
        if (shareBody) stories.push_back({part[0], part[1]});
    entries.push_back({"word/_rels/document.xml.rels", WholeBody(RelsPart(stories))});
    entries.push_back({"word/document.xml", RepeatedBody(head, chunk, count, tail)});
    if (shareBody) {
        const int body = static_cast<int>(entries.size()) - 1;
        for (const auto& part : kParts) entries.push_back({std::string("word/") + part[1], Body{}, body});
    }
    return BuildZip(entries);
}

// A workbook with two sheets (or only the first of them) of about
// `cellsPerSheet` cells each (rows of 16384 error cells with no text, the
// smallest cell markup there is), and a last sheet with one cell holding
// `keyword`.
inline std::string TwoSheetXlsx(std::uint64_t cellsPerSheet, std::string_view keyword = "needle", int bigSheets = 2)
{
    const std::string ns = "http://schemas.openxmlformats.org/spreadsheetml/2006/main";
    const std::string rel = "http://schemas.openxmlformats.org/officeDocument/2006/relationships";
    std::vector<ZipEntry> entries;
    entries.push_back({"_rels/.rels", WholeBody(RelsPart({{"officeDocument", "xl/workbook.xml"}}))});
    entries.push_back(
        {"xl/workbook.xml", WholeBody("<?xml version=\"1.0\"?><workbook xmlns=\"" + ns + "\" xmlns:r=\"" + rel +
                                      "\"><sheets><sheet name=\"One\" sheetId=\"1\" r:id=\"rId1\"/><sheet name=\"Two\" "
                                      "sheetId=\"2\" r:id=\"rId2\"/><sheet name=\"Three\" sheetId=\"3\" "
                                      "r:id=\"rId3\"/></sheets></workbook>")});
    std::vector<std::pair<std::string, std::string>> sheets;
    for (int i = 1; i <= 3; ++i) sheets.push_back({"worksheet", "worksheets/sheet" + std::to_string(i) + ".xml"});
    entries.push_back({"xl/_rels/workbook.xml.rels", WholeBody(RelsPart(sheets))});
    const std::string head = "<?xml version=\"1.0\" encoding=\"UTF-8\"?><worksheet xmlns=\"" + ns + "\"><sheetData>";
    const std::string tail = "</sheetData></worksheet>";
    constexpr std::uint64_t kRowCells = 16384;
    for (std::uint32_t sheet = 1; sheet <= 2; ++sheet) {
        if (static_cast<int>(sheet) > bigSheets) {
            entries.push_back({"xl/worksheets/sheet" + std::to_string(sheet) + ".xml", WholeBody(head + tail)});
            continue;
        }
        // One row; a comment of random letters after every 250 cells
        // keeps the deflated row from shrinking more than Excel's own
        // files ever do.
        std::minstd_rand rng(sheet * 7919u);
        std::string row = "<row>";
        for (std::uint64_t c = 0; c < kRowCells; ++c) {
            row += "<c t=\"e\"/>";
            if (c % 250 == 249) row += "<!--" + Token(rng, 8) + "-->";
        }
        row += "</row>";
        const std::uint64_t rows = (cellsPerSheet + kRowCells - 1) / kRowCells;
        entries.push_back(
            {"xl/worksheets/sheet" + std::to_string(sheet) + ".xml", RepeatedBody(head, row, rows, tail)});
    }
    entries.push_back({"xl/worksheets/sheet3.xml", WholeBody(head + "<row r=\"1\"><c r=\"A1\" t=\"inlineStr\"><is><t>" +
                                                             std::string(keyword) + "</t></is></c></row>" + tail)});
    return BuildZip(entries);
}

// Writes a plain text file of about `bytes` bytes of lines of words and
// then a line with `keyword`. False when the file cannot be written.
inline bool WriteLargeText(const std::string& path, std::uint64_t bytes, std::string_view keyword = "needle")
{
    std::minstd_rand rng;
    std::string block;
    while (block.size() < (1u << 20))
        block += "Minutes of the meeting on the harbour project, item " + Token(rng, 6) + ": no change.\r\n";
    std::ofstream file(path, std::ios::binary);
    for (std::uint64_t written = 0; file && written < bytes; written += block.size()) file << block;
    file << "The last line holds the " << keyword << ".\r\n";
    file.close();
    return !file.fail();
}

}  // namespace hostilesize
