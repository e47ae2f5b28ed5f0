// The piece table of a Word binary document: the map from character
// positions (CPs) to where the characters are stored in the WordDocument
// stream. Fast-saved documents append edits at the end of the stream and
// stitch the text together here, so the text is only readable through it.
#pragma once

#include "office/containers/readerror.h"
#include "office/word/wordcontent.h"

#include <cstdint>
#include <string>
#include <vector>

namespace office {

struct DocPiece {
    std::uint32_t cpStart = 0;
    std::uint32_t cpEnd = 0;
    std::uint32_t fc = 0;     // byte offset of the first character
    bool compressed = false;  // 8-bit characters rather than UTF-16
};

class DocPieceTable {
public:
    // How a piece's offset and characters are stored.
    enum class Layout {
        Word97,     // bit 30 of the offset marks an 8-bit piece at half the offset
        Word6,      // plain byte offsets, 8-bit characters
        Word6Wide,  // plain byte offsets, UTF-16 (Word 95 files with extended characters)
    };
    // Parses a CLX (property modifiers followed by the piece table).
    bool Parse(ByteView clx, Layout layout, ReadError& error);

    // A single piece covering `cpCount` characters from `fc`, for documents
    // saved without a piece table.
    void SetContiguous(std::uint32_t fc, std::uint32_t cpCount, bool compressed);

    std::uint32_t CpCount() const { return m_pieces.empty() ? 0 : m_pieces.back().cpEnd; }

    // Word 97 text: the characters of CPs [0, cpLimit) as UTF-16, 8-bit
    // pieces mapped through Word's own extension of Latin-1. Fails when a
    // piece lies outside `stream`.
    bool ReadUnicode(ByteView stream, std::uint32_t cpLimit, std::u16string& out, ReadError& error) const;

    // Word 6/95 text: the raw bytes of CPs [0, cpLimit), to be decoded in
    // the document's code page.
    bool ReadBytes(ByteView stream, std::uint32_t cpLimit, std::string& out, ReadError& error) const;

private:
    std::vector<DocPiece> m_pieces;
};

// Word's mapping of an 8-bit character in a compressed piece to UTF-16.
char16_t DocCompressedChar(std::uint8_t c);

}  // namespace office
