// UTF-8 / UTF-16 conversion with byte-preserving escapes (see codepage.h).
#include "platform/codepage.h"

#include <cstdint>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace {

// Decodes one UTF-8 sequence at s[i]. Returns the code point and advances i,
// or returns -1 (leaving i) when the bytes there are not well-formed UTF-8.
long DecodeOne(std::string_view s, std::size_t& i)
{
    const auto b0 = static_cast<unsigned char>(s[i]);
    if (b0 < 0x80) {
        ++i;
        return b0;
    }
    int len;
    long cp;
    long min;
    if ((b0 & 0xE0) == 0xC0) { len = 2; cp = b0 & 0x1F; min = 0x80; }
    else if ((b0 & 0xF0) == 0xE0) { len = 3; cp = b0 & 0x0F; min = 0x800; }
    else if ((b0 & 0xF8) == 0xF0) { len = 4; cp = b0 & 0x07; min = 0x10000; }
    else return -1;
    if (i + static_cast<std::size_t>(len) > s.size()) return -1;
    for (int k = 1; k < len; ++k) {
        const auto b = static_cast<unsigned char>(s[i + static_cast<std::size_t>(k)]);
        if ((b & 0xC0) != 0x80) return -1;
        cp = (cp << 6) | (b & 0x3F);
    }
    if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return -1;
    i += static_cast<std::size_t>(len);
    return cp;
}

void AppendUtf16(std::u16string& out, long cp)
{
    if (cp >= 0x10000) {
        cp -= 0x10000;
        out.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
        out.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
    } else {
        out.push_back(static_cast<char16_t>(cp));
    }
}


std::u16string Decode(std::string_view s, bool escapeBytes)
{
    std::u16string out;
    out.reserve(s.size());
    std::size_t i = 0;
    while (i < s.size()) {
        long cp = DecodeOne(s, i);
        if (cp < 0) {
            const auto b = static_cast<unsigned char>(s[i]);
            out.push_back(escapeBytes ? static_cast<char16_t>(0xDC00 + b) : u'\uFFFD');
            ++i;
            continue;
        }
        AppendUtf16(out, cp);
    }
    return out;
}

std::string Encode(std::u16string_view w, bool unescapeBytes)
{
    std::string out;
    out.reserve(w.size());
    for (std::size_t i = 0; i < w.size(); ++i) {
        const char16_t c = w[i];
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < w.size() && w[i + 1] >= 0xDC00 && w[i + 1] <= 0xDFFF) {
            const std::uint32_t cp = 0x10000 + ((static_cast<std::uint32_t>(c) - 0xD800) << 10) +
                                     (static_cast<std::uint32_t>(w[i + 1]) - 0xDC00);
            AppendUtf8(out, cp);
            ++i;
        } else if (c >= 0xDC80 && c <= 0xDCFF && unescapeBytes) {
            out.push_back(static_cast<char>(c - 0xDC00));
        } else if (c >= 0xD800 && c <= 0xDFFF) {
            AppendUtf8(out, 0xFFFD);
        } else {
            AppendUtf8(out, c);
        }
    }
    return out;
}

}  // namespace

void AppendUtf8(std::string& out, std::uint32_t cp)
{
    if (cp < 0x80) {
        out.push_back(static_cast<char>(cp));
    } else if (cp < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else if (cp < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    }
}

void AppendUtf8AsUtf16(std::u16string& out, std::string_view utf8)
{
    // UTF-8 never has fewer bytes than UTF-16 has units: room is made once
    // and trimmed after.
    const std::size_t start = out.size();
    out.resize(start + utf8.size());
    char16_t* d = out.data() + start;
    const auto* p = reinterpret_cast<const unsigned char*>(utf8.data());
    const std::size_t n = utf8.size();
    std::size_t i = 0;
    while (i < n) {
#if defined(__SSE2__)
        const __m128i zero = _mm_setzero_si128();
        while (n - i >= 16) {
            const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i));
            if (_mm_movemask_epi8(v) != 0) break;
            _mm_storeu_si128(reinterpret_cast<__m128i*>(d), _mm_unpacklo_epi8(v, zero));
            _mm_storeu_si128(reinterpret_cast<__m128i*>(d + 8), _mm_unpackhi_epi8(v, zero));
            i += 16;
            d += 16;
        }
#endif
        while (i < n && p[i] < 0x80) *d++ = static_cast<char16_t>(p[i++]);
        if (i == n) break;
        long cp = DecodeOne(utf8, i);
        if (cp < 0) {
            *d++ = u'\uFFFD';
            ++i;
        } else if (cp >= 0x10000) {
            cp -= 0x10000;
            *d++ = static_cast<char16_t>(0xD800 + (cp >> 10));
            *d++ = static_cast<char16_t>(0xDC00 + (cp & 0x3FF));
        } else {
            *d++ = static_cast<char16_t>(cp);
        }
    }
    out.resize(static_cast<std::size_t>(d - out.data()));
}

std::u16string AnsiToWide(std::string_view ansi) { return Decode(ansi, true); }
std::string WideToAnsi(std::u16string_view wide) { return Encode(wide, true); }
std::u16string Utf8ToUtf16(std::string_view utf8) { return Decode(utf8, false); }
std::string Utf16ToUtf8(std::u16string_view utf16) { return Encode(utf16, false); }
