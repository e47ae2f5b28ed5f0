// Piece table parsing and text assembly (see docpiecetable.h).
#include "office/word/docpiecetable.h"

#include "office/text/hugepages.h"
#include "office/word/docbytes.h"
#include "platform/cancellation.h"

#include <algorithm>

namespace office {

namespace {

constexpr std::uint8_t kClxtPrc = 0x01;
constexpr std::uint8_t kClxtPcdt = 0x02;
constexpr std::uint32_t kPcdBytes = 8;
constexpr std::uint32_t kFcCompressedBit = 0x40000000u;
// Characters decoded between two looks at the stop request.
constexpr std::uint32_t kChunk = 1u << 20;

}  // namespace

char16_t DocCompressedChar(std::uint8_t c)
{
    // Word stores these code points of Windows-1252's extra range in 8-bit
    // pieces; every other byte is the Latin-1 character of the same value.
    switch (c) {
    case 0x82: return u'\u201A';
    case 0x83: return u'\u0192';
    case 0x84: return u'\u201E';
    case 0x85: return u'\u2026';
    case 0x86: return u'\u2020';
    case 0x87: return u'\u2021';
    case 0x88: return u'\u02C6';
    case 0x89: return u'\u2030';
    case 0x8A: return u'\u0160';
    case 0x8B: return u'\u2039';
    case 0x8C: return u'\u0152';
    case 0x91: return u'\u2018';
    case 0x92: return u'\u2019';
    case 0x93: return u'\u201C';
    case 0x94: return u'\u201D';
    case 0x95: return u'\u2022';
    case 0x96: return u'\u2013';
    case 0x97: return u'\u2014';
    case 0x98: return u'\u02DC';
    case 0x99: return u'\u2122';
    case 0x9A: return u'\u0161';
    case 0x9B: return u'\u203A';
    case 0x9C: return u'\u0153';
    case 0x9F: return u'\u0178';
    default: return static_cast<char16_t>(c);
    }
}

bool DocPieceTable::Parse(ByteView clx, Layout layout, ReadError& error)
{
    using namespace docbytes;
    m_pieces.clear();
    std::uint64_t pos = 0;
    // Property modifiers (Prc) come first; each advances by at least three
    // bytes, so the loop ends within the CLX.
    std::uint8_t clxt = 0;
    while (U8(clx, pos, clxt) && clxt == kClxtPrc) {
        std::uint16_t cb = 0;
        if (!U16(clx, pos + 1, cb) || (cb & 0x8000u) != 0) {
            error = {ReadErrorKind::Damaged, "Word piece table is damaged"};
            return false;
        }
        pos += 3u + cb;
    }
    std::uint32_t lcb = 0;
    if (!U8(clx, pos, clxt) || clxt != kClxtPcdt || !U32(clx, pos + 1, lcb) || !Fits(clx, pos + 5, lcb)) {
        error = {ReadErrorKind::Damaged, "Word piece table is missing or damaged"};
        return false;
    }
    if (lcb < 4 || (lcb - 4) % (4 + kPcdBytes) != 0) {
        error = {ReadErrorKind::Damaged, "Word piece table has a bad size"};
        return false;
    }
    const std::uint64_t plc = pos + 5;
    const std::uint32_t n = (lcb - 4) / (4 + kPcdBytes);
    const std::uint64_t pcdAt = plc + 4ull * (n + 1);
    m_pieces.reserve(n);
    std::uint32_t prevEnd = 0;
    platform::StopCheck stop;
    for (std::uint32_t i = 0; i < n; ++i) {
        stop();
        DocPiece p;
        std::uint32_t fcRaw = 0;
        if (!U32(clx, plc + 4ull * i, p.cpStart) || !U32(clx, plc + 4ull * (i + 1), p.cpEnd) ||
            !U32(clx, pcdAt + kPcdBytes * i + 2, fcRaw)) {
            error = {ReadErrorKind::Damaged, "Word piece table is truncated"};
            return false;
        }
        if ((i == 0 && p.cpStart != 0) || p.cpStart != prevEnd || p.cpEnd < p.cpStart) {
            error = {ReadErrorKind::Damaged, "Word piece table is out of order"};
            return false;
        }
        prevEnd = p.cpEnd;
        if (layout != Layout::Word97) {
            p.fc = fcRaw;
            p.compressed = layout == Layout::Word6;
        } else {
            p.compressed = (fcRaw & kFcCompressedBit) != 0;
            p.fc = fcRaw & 0x3FFFFFFFu;
            if (p.compressed) p.fc /= 2;
        }
        if (p.cpEnd > p.cpStart) m_pieces.push_back(p);
    }
    return true;
}

void DocPieceTable::SetContiguous(std::uint32_t fc, std::uint32_t cpCount, bool compressed)
{
    m_pieces.clear();
    if (cpCount > 0) m_pieces.push_back({0, cpCount, fc, compressed});
}

bool DocPieceTable::ReadUnicode(ByteView stream, std::uint32_t cpLimit, std::u16string& out, ReadError& error) const
{
    out.clear();
    // Pieces follow each other in character positions, so the text is at
    // most that many units long: room for it is reserved once.
    ReserveLarge(out, std::min<std::size_t>(cpLimit, CpCount()));
    platform::StopCheck stop(1024);
    for (const DocPiece& p : m_pieces) {
        if (p.cpStart >= cpLimit) break;
        const std::uint32_t count = std::min(p.cpEnd, cpLimit) - p.cpStart;
        const std::uint64_t bytes = p.compressed ? count : 2ull * count;
        if (!docbytes::Fits(stream, p.fc, bytes)) {
            error = {ReadErrorKind::Damaged, "Word document text lies outside its stream"};
            out.clear();
            return false;
        }
        const std::uint8_t* src = stream.data() + p.fc;
        const std::size_t start = out.size();
        // A piece may hold the whole text: it is decoded a chunk at a time,
        // the text growing by each (filling it all up front would take a
        // while of its own), with a look at Stop between chunks and between
        // pieces, of which a table may hold millions.
        stop();
        for (std::uint32_t at = 0; at < count; at += kChunk) {
            if (at != 0) platform::ThrowIfStopRequested();
            const std::uint32_t end = count - at > kChunk ? at + kChunk : count;
            out.resize(start + end);
            char16_t* dst = out.data() + start;
            if (p.compressed) {
                for (std::uint32_t i = at; i < end; ++i) dst[i] = DocCompressedChar(src[i]);
            } else {
                for (std::uint32_t i = at; i < end; ++i)
                    dst[i] = static_cast<char16_t>(src[2 * i] | (src[2 * i + 1] << 8));
            }
        }
    }
    return true;
}

bool DocPieceTable::ReadBytes(ByteView stream, std::uint32_t cpLimit, std::string& out, ReadError& error) const
{
    out.clear();
    platform::StopCheck stop(1024);
    for (const DocPiece& p : m_pieces) {
        stop();
        if (p.cpStart >= cpLimit) break;
        const std::uint32_t count = std::min(p.cpEnd, cpLimit) - p.cpStart;
        if (!docbytes::Fits(stream, p.fc, count)) {
            error = {ReadErrorKind::Damaged, "Word document text lies outside its stream"};
            out.clear();
            return false;
        }
        out.append(reinterpret_cast<const char*>(stream.data() + p.fc), count);
    }
    return true;
}

}  // namespace office
