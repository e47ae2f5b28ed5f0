// Conversion between the 8-bit system code page and UTF-16.
//
// The system code page here is UTF-8. Linux file names are arbitrary bytes,
// so bytes that are not valid UTF-8 are carried through UTF-16 as lone low
// surrogates U+DC80..U+DCFF and restored on the way back: a path converted
// to a BSTR and back always names the same file.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

std::u16string AnsiToWide(std::string_view ansi);
std::string WideToAnsi(std::u16string_view wide);

// Plain UTF-8 <-> UTF-16 for text that is not a path; invalid input becomes
// U+FFFD.
std::u16string Utf8ToUtf16(std::string_view utf8);
std::string Utf16ToUtf8(std::u16string_view utf16);

// Appends UTF-8 text as UTF-16, exactly as Utf8ToUtf16 converts it, with
// runs of ASCII widened sixteen bytes at a time: the document readers'
// hottest loop.
void AppendUtf8AsUtf16(std::u16string& out, std::string_view utf8);

// Appends one code point (at most U+10FFFF) as UTF-8.
void AppendUtf8(std::string& out, std::uint32_t cp);
