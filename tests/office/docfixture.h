// Builds Word binary documents byte by byte for the reader tests: a
// compound file (the one libgsf writer of support/excelfixtures.h) holding a WordDocument stream whose
// FIB, text and piece table the test chooses. Only the fields the reader
// uses are filled; everything else is zero, as in a minimal real file.
#pragma once

#include "support/excelfixtures.h"

#include <cstdint>
#include <map>
#include <string>
#include <utility>
#include <vector>

namespace docbin {

using Bytes = std::vector<std::uint8_t>;
using excelfixtures::Utf16;

inline Bytes CompoundFileOf(const std::map<std::string, Bytes>& streams)
{
    return excelfixtures::CompoundFileOf({streams.begin(), streams.end()});
}

// `v` little-endian in `size` bytes at `at`, growing `b` as needed.
inline void Put(Bytes& b, std::size_t at, std::uint32_t v, std::size_t size)
{
    if (b.size() < at + size) b.resize(at + size);
    for (std::size_t i = 0; i < size; ++i) b[at + i] = static_cast<std::uint8_t>(v >> (8 * i));
}
inline void Put16(Bytes& b, std::size_t at, std::uint32_t v) { Put(b, at, v, 2); }
inline void Put32(Bytes& b, std::size_t at, std::uint32_t v) { Put(b, at, v, 4); }

inline void PutBytes(Bytes& b, std::size_t at, const Bytes& data)
{
    if (b.size() < at + data.size()) b.resize(at + data.size());
    std::copy(data.begin(), data.end(), b.begin() + static_cast<std::ptrdiff_t>(at));
}

inline Bytes Latin(const std::string& s) { return Bytes(s.begin(), s.end()); }

// One piece of a piece table: `cpCount` characters at byte offset `fc` of
// the WordDocument stream, 8-bit (compressed) or UTF-16.
struct Piece {
    std::uint32_t cpCount;
    std::uint32_t fc;
    bool compressed;
};

// A CLX: one property modifier (to exercise skipping it), then the pieces.
// Word 97 pieces store 8-bit offsets doubled with bit 30 set; Word 6
// pieces store plain offsets (`word6`).
inline Bytes Clx(const std::vector<Piece>& pieces, bool word6 = false)
{
    Bytes b = {0x01, 0x03, 0x00, 0xAA, 0xBB, 0xCC, 0x02};  // Prc with a 3-byte grpprl, then the Pcdt
    const std::size_t n = pieces.size();
    Put32(b, b.size(), static_cast<std::uint32_t>(4 * (n + 1) + 8 * n));
    std::uint32_t cp = 0;
    for (std::size_t i = 0; i <= n; ++i) {
        Put32(b, b.size(), cp);
        if (i < n) cp += pieces[i].cpCount;
    }
    for (const Piece& p : pieces) {
        const std::size_t at = b.size();
        Put16(b, at, 0);
        Put32(b, at + 2, word6 ? p.fc : (p.compressed ? (p.fc * 2) | 0x40000000u : p.fc));
        Put16(b, at + 6, 0);
    }
    return b;
}

struct Word97 {
    // Story lengths in the FIB's order: main, footnotes, headers, macros,
    // comments, endnotes, text boxes, header text boxes.
    std::uint32_t ccp[8] = {};
    std::vector<Piece> pieces;
    Bytes text;                       // placed at offset kTextAt of WordDocument
    bool encrypted = false;
    bool table1 = true;  // 1Table, else 0Table (the fuzz seeds make both)
    static constexpr std::size_t kTextAt = 0x400;

    Bytes WordDocumentStream(std::uint32_t fcClx, std::uint32_t lcbClx) const
    {
        Bytes w(kTextAt, 0);
        // Signature, version, language, flags (complex, table stream,
        // encryption), csw, cslw, cbRgFcLcb.
        const std::uint32_t flags = 0x0004u | (table1 ? 0x0200u : 0) | (encrypted ? 0x0100u : 0);
        for (const auto& [at, v] : {std::pair<std::size_t, std::uint32_t>{0x00, 0xA5EC}, {0x02, 0x00C1}, {0x06, 0x0409},
                                    {0x0A, flags}, {0x20, 14}, {0x3E, 22}, {0x98, 93}}) {
            Put16(w, at, v);
        }
        for (std::size_t i = 0; i < 8; ++i) Put32(w, 0x4C + 4 * i, ccp[i]);
        Put32(w, 0x1A2, fcClx);
        Put32(w, 0x1A6, lcbClx);
        PutBytes(w, kTextAt, text);
        return w;
    }

    // The table stream: something before the CLX, so fcClx is not 0.
    static Bytes Table(const Bytes& clx)
    {
        Bytes table(16, 0);
        table.insert(table.end(), clx.begin(), clx.end());
        return table;
    }

    Bytes Build() const
    {
        const Bytes clx = Clx(pieces);
        return CompoundFileOf({{"WordDocument", WordDocumentStream(16, static_cast<std::uint32_t>(clx.size()))},
                               {table1 ? "1Table" : "0Table", Table(clx)}});
    }
};

// A Word 97 document whose main story is `text` in one piece, 8-bit (the
// units' low bytes) or UTF-16.
inline Word97 Word97Doc(const std::u16string& text, bool compressed = true)
{
    Word97 d;
    d.text = compressed ? Bytes(text.begin(), text.end()) : Utf16(text);
    d.ccp[0] = static_cast<std::uint32_t>(text.size());
    d.pieces = {{d.ccp[0], Word97::kTextAt, compressed}};
    return d;
}
inline Bytes Word97Of(const std::u16string& t, bool compressed = true)
{
    return Word97Doc(t, compressed).Build();
}

struct Word6 {
    std::uint16_t nFib = 101;
    std::uint16_t lid = 0x0409;
    std::uint32_t ccp[8] = {};
    Bytes text;                        // at kTextAt
    bool complex = false;
    std::vector<Piece> pieces;         // used when complex
    bool extChar = false;
    // Optional font table: one charset per font; and the default font.
    std::vector<std::uint8_t> fontCharsets;
    std::uint16_t defaultFont = 0;
    static constexpr std::size_t kTextAt = 0x300;

    // Puts `block` at the end of the stream, its offset and length at `fibAt`.
    static void Append(Bytes& w, std::size_t fibAt, const Bytes& block)
    {
        Put32(w, fibAt, static_cast<std::uint32_t>(w.size()));
        Put32(w, fibAt + 4, static_cast<std::uint32_t>(block.size()));
        PutBytes(w, w.size(), block);
    }

    Bytes Build() const
    {
        Bytes w(kTextAt, 0);
        const std::uint32_t flags = (complex ? 0x0004u : 0) | (extChar ? 0x1000u : 0);
        for (const auto& [at, v] : {std::pair<std::size_t, std::uint32_t>{0x00, 0xA5DC}, {0x02, nFib}, {0x06, lid},
                                    {0x0A, flags}}) {
            Put16(w, at, v);
        }
        Put32(w, 0x18, kTextAt);
        Put32(w, 0x1C, static_cast<std::uint32_t>(kTextAt + text.size()));
        for (std::size_t i = 0; i < 8; ++i) Put32(w, 0x34 + 4 * i, ccp[i]);
        PutBytes(w, kTextAt, text);
        if (complex) Append(w, 0x160, Clx(pieces, true));
        if (!fontCharsets.empty()) {
            // Style sheet header: its length, then the default font at +12.
            Bytes stsh(2 + 14, 0);
            Put16(stsh, 0, 14);
            Put16(stsh, 2 + 12, defaultFont);
            Append(w, 0x60, stsh);
            Bytes ffn(2, 0);
            for (std::uint8_t cs : fontCharsets) {
                const Bytes entry = {6, 0, 0, 0, cs, 0, 'F'};  // length-1, flags, weight, charset, alt, name
                ffn.insert(ffn.end(), entry.begin(), entry.end());
            }
            Put16(ffn, 0, static_cast<std::uint32_t>(ffn.size()));
            Append(w, 0xD0, ffn);
        }
        return CompoundFileOf({{"WordDocument", w}});
    }
};

}  // namespace docbin
