// Strict UTF-8 decoding and UTF-16 encoding (see utf8.h).
#include "platform/utf8.h"

#include "platform/cancellation.h"

#include <algorithm>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace {

bool IsLead(char16_t c)
{
    return c >= 0xD800 && c <= 0xDBFF;
}
bool IsTrail(char16_t c)
{
    return c >= 0xDC00 && c <= 0xDFFF;
}

const unsigned char* Bytes(std::string_view s)
{
    return reinterpret_cast<const unsigned char*>(s.data());
}

// Whether the bytes are well-formed; ASCII is passed sixteen (or eight)
// bytes at a time, up to the first byte from 0x80 on.
bool ValidChunk(const unsigned char* p, std::size_t n)
{
    std::size_t i = 0;
    while (i < n) {
#if defined(__SSE2__)
        if (n - i >= 16) {
            const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i));
            const unsigned high = static_cast<unsigned>(_mm_movemask_epi8(v));
            if (high == 0) {
                i += 16;
                continue;
            }
            i += static_cast<std::size_t>(__builtin_ctz(high));
        }
#endif
        if (n - i >= 8) {
            std::uint64_t w = 0;
            for (std::size_t k = 0; k < 8; ++k) w |= std::uint64_t{p[i + k]} << (8 * k);
            if ((w & 0x8080808080808080ull) == 0) {
                i += 8;
                continue;
            }
        }
        if (p[i] < 0x80) {
            ++i;
            continue;
        }
        const Utf8Step step = DecodeUtf8Step(p + i, n - i);
        if (!step.valid) return false;
        i += step.length;
    }
    return true;
}

}  // namespace

bool IsValidUtf8(std::string_view utf8)
{
    // A chunk ends before a byte that can begin a character, so no sequence
    // is cut and the answer is that of one pass over the whole text.
    constexpr std::size_t kChunk = std::size_t{1} << 20;
    const unsigned char* p = Bytes(utf8);
    const std::size_t n = utf8.size();
    std::size_t pos = 0;
    while (pos < n) {
        std::size_t end = std::min(n, pos + kChunk);
        for (int k = 0; k < 3 && end < n && (p[end] & 0xC0) == 0x80; ++k) ++end;
        if (!ValidChunk(p + pos, end - pos)) return false;
        pos = end;
        if (pos < n) platform::ThrowIfStopRequested();
    }
    return true;
}

void AppendUtf16(std::u16string& out, char32_t cp)
{
    if (cp >= 0x10000) {
        cp -= 0x10000;
        out.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
        out.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
    } else {
        out.push_back(static_cast<char16_t>(cp));
    }
}

char32_t CodePointAt(std::u16string_view s, std::size_t i, std::size_t& len)
{
    len = 1;
    const char16_t u = s[i];
    if (u >= 0xD800 && u <= 0xDBFF && i + 1 < s.size() && s[i + 1] >= 0xDC00 && s[i + 1] <= 0xDFFF) {
        len = 2;
        return static_cast<char32_t>(0x10000 + ((static_cast<char32_t>(u) - 0xD800) << 10) + (s[i + 1] - 0xDC00));
    }
    return u;
}

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

std::size_t Utf8IntoUtf16(std::string_view utf8, char16_t* const out)
{
    char16_t* d = out;
    const unsigned char* p = Bytes(utf8);
    const std::size_t n = utf8.size();
    std::size_t i = 0;
    while (i < n) {
#if defined(__SSE2__)
        const __m128i zero = _mm_setzero_si128();
        while (n - i >= 16) {
            const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i));
            // All sixteen are widened; only the ASCII ones before the first
            // other byte count. There is room: the units written so far are
            // no more than the bytes read, and sixteen bytes are left.
            _mm_storeu_si128(reinterpret_cast<__m128i*>(d), _mm_unpacklo_epi8(v, zero));
            _mm_storeu_si128(reinterpret_cast<__m128i*>(d + 8), _mm_unpackhi_epi8(v, zero));
            const unsigned high = static_cast<unsigned>(_mm_movemask_epi8(v));
            if (high != 0) {
                const auto ascii = static_cast<std::size_t>(__builtin_ctz(high));
                i += ascii;
                d += ascii;
                break;
            }
            i += 16;
            d += 16;
        }
#endif
        while (i < n && p[i] < 0x80) *d++ = static_cast<char16_t>(p[i++]);
        if (i == n) break;
        const Utf8Step step = DecodeUtf8Step(p + i, n - i);
        i += step.length;
        if (step.cp >= 0x10000) {
            const char32_t v = step.cp - 0x10000;
            *d++ = static_cast<char16_t>(0xD800 + (v >> 10));
            *d++ = static_cast<char16_t>(0xDC00 + (v & 0x3FF));
        } else {
            *d++ = static_cast<char16_t>(step.cp);
        }
    }
    return static_cast<std::size_t>(d - out);
}

void AppendUtf8AsUtf16(std::u16string& out, std::string_view utf8)
{
    // UTF-8 never has fewer bytes than UTF-16 has units: room is made once
    // and trimmed after.
    const std::size_t start = out.size();
    out.resize(start + utf8.size());
    out.resize(start + Utf8IntoUtf16(utf8, out.data() + start));
}

std::u16string Utf8ToUtf16(std::string_view utf8)
{
    std::u16string out;
    out.reserve(utf8.size());
    const unsigned char* p = Bytes(utf8);
    for (std::size_t i = 0; i < utf8.size();) {
        const Utf8Step step = DecodeUtf8Step(p + i, utf8.size() - i);
        AppendUtf16(out, step.cp);
        i += step.length;
    }
    return out;
}

std::string Utf16ToUtf8(std::u16string_view utf16)
{
    std::string out;
    out.reserve(utf16.size());
    for (std::size_t i = 0; i < utf16.size(); ++i) {
        const char16_t c = utf16[i];
        if (IsLead(c) && i + 1 < utf16.size() && IsTrail(utf16[i + 1])) {
            AppendUtf8(out, 0x10000 + ((static_cast<std::uint32_t>(c) - 0xD800) << 10) +
                                (static_cast<std::uint32_t>(utf16[i + 1]) - 0xDC00));
            ++i;
        } else if (IsLead(c) || IsTrail(c)) {
            AppendUtf8(out, 0xFFFD);
        } else {
            AppendUtf8(out, c);
        }
    }
    return out;
}
