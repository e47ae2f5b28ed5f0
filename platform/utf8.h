// UTF-8, the one way every part of the program reads it: file names in the
// folder listing, paths handed to the automation servers, XML parts, text
// files and web pages all go through the same decode step, so no two of
// them can disagree on what is well-formed.
//
// Well-formed is strict UTF-8: no overlong forms, no surrogates
// (U+D800..U+DFFF), nothing above U+10FFFF, no lead bytes C0, C1 or F5..FF.
// Where the bytes are not well-formed, the step takes the longest stretch
// that begins like a well-formed sequence (at least one byte) as one error,
// as the Unicode Standard recommends and ICU's converter does, so that a
// text decodes to the same characters whichever reader converts it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

struct Utf8Step {
    char32_t cp;           // the code point; U+FFFD when !valid
    std::uint32_t length;  // bytes taken, 1 to 4
    bool valid;
};

// Decodes the sequence at p[0]; `n` (at least 1) bytes are readable.
// Inline: the readers' loops call it for every non-ASCII character.
inline Utf8Step DecodeUtf8Step(const unsigned char* p, std::size_t n)
{
    const unsigned char b0 = p[0];
    if (b0 < 0x80) return {b0, 1, true};
    std::uint32_t need;
    char32_t cp;
    // The range the second byte must fall in rules out overlong forms,
    // surrogates and values past U+10FFFF (Unicode, table 3-7).
    unsigned char low = 0x80;
    unsigned char high = 0xBF;
    if (b0 >= 0xC2 && b0 <= 0xDF) {
        need = 1;
        cp = b0 & 0x1Fu;
    } else if (b0 >= 0xE0 && b0 <= 0xEF) {
        need = 2;
        cp = b0 & 0x0Fu;
        if (b0 == 0xE0) low = 0xA0;
        if (b0 == 0xED) high = 0x9F;
    } else if (b0 >= 0xF0 && b0 <= 0xF4) {
        need = 3;
        cp = b0 & 0x07u;
        if (b0 == 0xF0) low = 0x90;
        if (b0 == 0xF4) high = 0x8F;
    } else {
        return {0xFFFD, 1, false};
    }
    std::uint32_t k = 1;
    for (; k <= need; ++k) {
        if (k >= n) return {0xFFFD, k, false};
        const unsigned char b = p[k];
        if (b < low || b > high) return {0xFFFD, k, false};
        cp = (cp << 6) | (b & 0x3Fu);
        low = 0x80;
        high = 0xBF;
    }
    return {cp, k, true};
}

// Whether the bytes are well-formed UTF-8 throughout. A long text is
// checked a megabyte at a time with a look at the search's stop request
// between (platform::OperationCancelled).
bool IsValidUtf8(std::string_view utf8);

// UTF-8 <-> UTF-16 for text that is not a path: each ill-formed stretch
// becomes one U+FFFD, and so does an unpaired surrogate on the way back.
std::u16string Utf8ToUtf16(std::string_view utf8);
std::string Utf16ToUtf8(std::u16string_view utf16);

// Appends UTF-8 text as UTF-16, exactly as Utf8ToUtf16 converts it, with
// runs of ASCII widened sixteen bytes at a time: the document readers'
// hottest loop.
void AppendUtf8AsUtf16(std::u16string& out, std::string_view utf8);
// The same into `out`, which has room for utf8.size() units (never fewer
// are needed); returns the units written.
std::size_t Utf8IntoUtf16(std::string_view utf8, char16_t* out);

// Appends one code point (at most U+10FFFF) as UTF-8.
void AppendUtf8(std::string& out, std::uint32_t cp);

// Appends one code point as UTF-16 (one unit or a surrogate pair).
void AppendUtf16(std::u16string& out, char32_t cp);

// The code point at s[i] (i < s.size()) and, in `len`, its units: 2 for a
// surrogate pair, else 1; a lone surrogate is returned as it is.
char32_t CodePointAt(std::u16string_view s, std::size_t i, std::size_t& len);
