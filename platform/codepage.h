// Conversion between the 8-bit system code page and UTF-16.
//
// The system code page here is UTF-8. Linux file names are arbitrary bytes,
// so bytes that are not valid UTF-8 are carried through UTF-16 as lone low
// surrogates U+DC80..U+DCFF and restored on the way back: a path converted
// to a BSTR and back always names the same file.
#pragma once

// The plain UTF-8 conversions (Utf8ToUtf16 and the rest) come with it: the
// callers of the one mostly need the other too.
#include "platform/utf8.h"

#include <string>
#include <string_view>

std::u16string AnsiToWide(std::string_view ansi);
std::string WideToAnsi(std::u16string_view wide);
