// RTF tokenizing (see rtftokenizer.h).
#include "office/word/rtftokenizer.h"

#include <algorithm>
#include <cstdint>

namespace office {

namespace {

// RTF control words are at most 32 letters and parameters fit 16 bits in
// practice; longer ones are consumed but not kept, so a hostile file cannot
// make a token grow.
constexpr std::size_t kMaxWordLength = 32;
constexpr std::size_t kMaxParamDigits = 10;

bool IsLetter(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

bool IsDigit(char c)
{
    return c >= '0' && c <= '9';
}

int HexDigit(char c)
{
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

}  // namespace

RtfTokenizer::RtfTokenizer(ByteView bytes) : m_in(reinterpret_cast<const char*>(bytes.data()), bytes.size()) {}

void RtfTokenizer::SkipBytes(std::uint64_t n)
{
    const std::uint64_t room = m_in.size() - m_pos;
    m_pos += static_cast<std::size_t>(n < room ? n : room);
}

RtfToken RtfTokenizer::Next()
{
    RtfToken t;
    // Source line ends are not text.
    while (m_pos < m_in.size() && (m_in[m_pos] == '\r' || m_in[m_pos] == '\n')) ++m_pos;
    if (m_pos >= m_in.size()) return t;
    const char c = m_in[m_pos];
    if (c == '{') {
        ++m_pos;
        t.type = RtfToken::Type::GroupStart;
        return t;
    }
    if (c == '}') {
        ++m_pos;
        t.type = RtfToken::Type::GroupEnd;
        return t;
    }
    if (c != '\\') {
        const std::size_t start = m_pos;
        while (m_pos < m_in.size()) {
            const char d = m_in[m_pos];
            if (d == '{' || d == '}' || d == '\\' || d == '\r' || d == '\n') break;
            ++m_pos;
        }
        t.type = RtfToken::Type::Text;
        t.text = m_in.substr(start, m_pos - start);
        return t;
    }
    // A backslash: control word, control symbol or \'hh.
    ++m_pos;
    if (m_pos >= m_in.size()) return t;
    const char n = m_in[m_pos];
    if (IsLetter(n)) {
        const std::size_t start = m_pos;
        while (m_pos < m_in.size() && IsLetter(m_in[m_pos])) ++m_pos;
        t.type = RtfToken::Type::Word;
        t.word = m_in.substr(start, std::min(m_pos - start, kMaxWordLength));
        bool negative = false;
        if (m_pos < m_in.size() && m_in[m_pos] == '-' && m_pos + 1 < m_in.size() && IsDigit(m_in[m_pos + 1])) {
            negative = true;
            ++m_pos;
        }
        if (m_pos < m_in.size() && IsDigit(m_in[m_pos])) {
            std::int64_t value = 0;
            std::size_t digits = 0;
            while (m_pos < m_in.size() && IsDigit(m_in[m_pos])) {
                if (digits++ < kMaxParamDigits) value = value * 10 + (m_in[m_pos] - '0');
                ++m_pos;
            }
            if (negative) value = -value;
            if (value > INT32_MAX) value = INT32_MAX;
            if (value < INT32_MIN) value = INT32_MIN;
            t.hasParam = true;
            t.param = static_cast<std::int32_t>(value);
        }
        // One space after a control word is its delimiter, not text.
        if (m_pos < m_in.size() && m_in[m_pos] == ' ') ++m_pos;
        return t;
    }
    if (n == '\'') {
        const int hi = m_pos + 1 < m_in.size() ? HexDigit(m_in[m_pos + 1]) : -1;
        const int lo = m_pos + 2 < m_in.size() ? HexDigit(m_in[m_pos + 2]) : -1;
        if (hi >= 0 && lo >= 0) {
            m_pos += 3;
            t.type = RtfToken::Type::Byte;
            t.byte = static_cast<std::uint8_t>(hi * 16 + lo);
            return t;
        }
        ++m_pos;  // a malformed \' is dropped
        t.type = RtfToken::Type::Symbol;
        t.symbol = '\'';
        return t;
    }
    ++m_pos;
    t.type = RtfToken::Type::Symbol;
    // A backslash before a line end means a paragraph, like \par.
    t.symbol = (n == '\r' || n == '\n') ? '\n' : n;
    return t;
}

}  // namespace office
