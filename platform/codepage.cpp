// Paths between the system code page and UTF-16, with byte-preserving
// escapes (see codepage.h); the decoding itself is utf8.h's.
#include "platform/codepage.h"

std::u16string AnsiToWide(std::string_view ansi)
{
    std::u16string out;
    out.reserve(ansi.size());
    const auto* p = reinterpret_cast<const unsigned char*>(ansi.data());
    for (std::size_t i = 0; i < ansi.size();) {
        const Utf8Step step = DecodeUtf8Step(p + i, ansi.size() - i);
        if (step.valid) {
            AppendUtf16(out, step.cp);
        } else {
            // Every byte of an ill-formed stretch on its own, so each one
            // comes back.
            for (std::uint32_t k = 0; k < step.length; ++k) out.push_back(static_cast<char16_t>(0xDC00 + p[i + k]));
        }
        i += step.length;
    }
    return out;
}

std::string WideToAnsi(std::u16string_view wide)
{
    // An escape is a low surrogate U+DC80..U+DCFF that does not complete a
    // pair; the stretches between escapes are plain UTF-16.
    std::string out;
    out.reserve(wide.size());
    std::size_t start = 0;
    std::size_t i = 0;
    while (i < wide.size()) {
        const char16_t c = wide[i];
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < wide.size() && wide[i + 1] >= 0xDC00 && wide[i + 1] <= 0xDFFF) {
            i += 2;
        } else if (c >= 0xDC80 && c <= 0xDCFF) {
            out += Utf16ToUtf8(wide.substr(start, i - start));
            out.push_back(static_cast<char>(c - 0xDC00));
            start = ++i;
        } else {
            ++i;
        }
    }
    out += Utf16ToUtf8(wide.substr(start));
    return out;
}
