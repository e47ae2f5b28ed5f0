// BIFF record walking and bounded field access (see biffrecords.h).
#include "office/excel/biffrecords.h"

#include <algorithm>
#include <cstring>

namespace office::biff {

double F64(const std::uint8_t* p)
{
    std::uint64_t bits = 0;
    for (int i = 7; i >= 0; --i) bits = (bits << 8) | p[i];
    double value = 0;
    std::memcpy(&value, &bits, sizeof value);
    return value;
}

double RkValue(std::uint32_t rk)
{
    double value = 0;
    if ((rk & 0x2u) != 0) {
        // Signed 30-bit integer in the upper bits.
        const auto raw = static_cast<std::int32_t>(rk & 0xFFFFFFFCu);
        value = static_cast<double>(raw / 4);
    } else {
        const std::uint64_t bits = static_cast<std::uint64_t>(rk & 0xFFFFFFFCu) << 32;
        std::memcpy(&value, &bits, sizeof value);
    }
    if ((rk & 0x1u) != 0) value /= 100.0;
    return value;
}

RecordWalker::RecordWalker(ByteView stream, std::size_t start) : m_stream(stream), m_pos(start) {}

bool RecordWalker::Next(Record& record)
{
    if (m_damaged || m_pos >= m_stream.size()) return false;
    if (m_stream.size() - m_pos < 4) {
        m_damaged = true;
        return false;
    }
    const std::uint8_t* p = m_stream.data() + m_pos;
    const std::uint16_t type = U16(p);
    const std::uint16_t length = U16(p + 2);
    if (length > m_stream.size() - m_pos - 4) {
        m_damaged = true;
        return false;
    }
    record.type = type;
    record.offset = m_pos;
    record.body = m_stream.subspan(m_pos + 4, length);
    m_pos += 4u + length;
    return true;
}

std::uint16_t RecordWalker::PeekType() const
{
    if (m_damaged || m_stream.size() < 4 || m_pos > m_stream.size() - 4) return 0;
    return U16(m_stream.data() + m_pos);
}

ContinuedReader::ContinuedReader(std::vector<ByteView> parts) : m_parts(std::move(parts)) {}

bool ContinuedReader::NextPart()
{
    while (m_part < m_parts.size() && m_pos >= m_parts[m_part].size()) {
        ++m_part;
        m_pos = 0;
    }
    return m_part < m_parts.size();
}

bool ContinuedReader::AtEnd() const
{
    for (std::size_t i = m_part; i < m_parts.size(); ++i)
        if ((i == m_part ? m_parts[i].size() - std::min(m_pos, m_parts[i].size()) : m_parts[i].size()) > 0)
            return false;
    return true;
}

bool ContinuedReader::U8(std::uint8_t& out)
{
    if (!NextPart()) return false;
    out = m_parts[m_part][m_pos++];
    return true;
}

bool ContinuedReader::U16(std::uint16_t& out)
{
    std::uint8_t a = 0;
    std::uint8_t b = 0;
    if (!U8(a) || !U8(b)) return false;
    out = static_cast<std::uint16_t>(a | (b << 8));
    return true;
}

bool ContinuedReader::U32(std::uint32_t& out)
{
    std::uint16_t a = 0;
    std::uint16_t b = 0;
    if (!U16(a) || !U16(b)) return false;
    out = a | (static_cast<std::uint32_t>(b) << 16);
    return true;
}

bool ContinuedReader::Skip(std::size_t count)
{
    while (count > 0) {
        if (!NextPart()) return false;
        const std::size_t n = std::min(count, m_parts[m_part].size() - m_pos);
        m_pos += n;
        count -= n;
    }
    return true;
}

bool ContinuedReader::Chars(std::size_t count, bool wide, std::u16string& out)
{
    if (count > 0 && m_part < m_parts.size() && m_pos >= m_parts[m_part].size()) {
        // The characters begin in the next part, which restates the width.
        std::uint8_t flags = 0;
        if (!NextPart() || !U8(flags)) return false;
        wide = (flags & 0x1) != 0;
    }
    while (count > 0) {
        if (m_part >= m_parts.size()) return false;
        const ByteView part = m_parts[m_part];
        const std::size_t unit = wide ? 2 : 1;
        const std::size_t available = (part.size() - m_pos) / unit;
        const std::size_t n = std::min(count, available);
        const std::uint8_t* p = part.data() + m_pos;
        for (std::size_t i = 0; i < n; ++i)
            out.push_back(wide ? static_cast<char16_t>(p[2 * i] | (p[2 * i + 1] << 8)) : static_cast<char16_t>(p[i]));
        m_pos += n * unit;
        count -= n;
        if (count == 0) break;
        if (m_pos != part.size()) return false;  // half a character left over
        ++m_part;
        m_pos = 0;
        std::uint8_t flags = 0;
        if (m_part >= m_parts.size() || m_parts[m_part].empty()) return false;
        flags = m_parts[m_part][m_pos++];
        wide = (flags & 0x1) != 0;
    }
    return true;
}

bool ContinuedReader::UnicodeString(std::u16string& out)
{
    std::uint16_t count = 0;
    std::uint8_t flags = 0;
    if (!U16(count) || !U8(flags)) return false;
    std::uint16_t runs = 0;
    std::uint32_t phonetic = 0;
    if ((flags & 0x8) != 0 && !U16(runs)) return false;
    if ((flags & 0x4) != 0 && !U32(phonetic)) return false;
    out.clear();
    if (!Chars(count, (flags & 0x1) != 0, out)) return false;
    return Skip(std::size_t{runs} * 4) && Skip(phonetic);
}

bool ReadUnicodeString(ByteView body, std::size_t& pos, unsigned countBytes, std::u16string& out)
{
    out.clear();
    if (pos > body.size() || body.size() - pos < countBytes + 1u) return false;
    const std::size_t count = countBytes == 1 ? body[pos] : U16(body.data() + pos);
    pos += countBytes;
    const std::uint8_t flags = body[pos++];
    std::size_t runs = 0;
    std::size_t phonetic = 0;
    if ((flags & 0x8) != 0) {
        if (body.size() - pos < 2) return false;
        runs = U16(body.data() + pos);
        pos += 2;
    }
    if ((flags & 0x4) != 0) {
        if (body.size() - pos < 4) return false;
        phonetic = U32(body.data() + pos);
        pos += 4;
    }
    const bool wide = (flags & 0x1) != 0;
    const std::size_t bytes = count * (wide ? 2 : 1);
    if (body.size() - pos < bytes) {
        // A truncated string keeps what is there rather than losing the cell.
        const std::size_t have = (body.size() - pos) / (wide ? 2 : 1);
        for (std::size_t i = 0; i < have; ++i) {
            const std::uint8_t* p = body.data() + pos + i * (wide ? 2 : 1);
            out.push_back(wide ? static_cast<char16_t>(p[0] | (p[1] << 8)) : static_cast<char16_t>(p[0]));
        }
        pos = body.size();
        return !out.empty();
    }
    const std::uint8_t* p = body.data() + pos;
    out.reserve(count);
    for (std::size_t i = 0; i < count; ++i)
        out.push_back(wide ? static_cast<char16_t>(p[2 * i] | (p[2 * i + 1] << 8)) : static_cast<char16_t>(p[i]));
    pos += bytes;
    const std::size_t tail = runs * 4 + phonetic;
    pos = tail > body.size() - pos ? body.size() : pos + tail;
    return true;
}

}  // namespace office::biff
