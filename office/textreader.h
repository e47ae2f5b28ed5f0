// Plain text files for the built-in Word: the encoding is found from the
// bytes (byte-order mark, valid UTF-8, UTF-16 told by its zero bytes, else
// the legacy code page uchardet names, Windows-1252 when it cannot tell),
// line ends become paragraph marks, and bytes that are no plausible text are
// refused so that a damaged or binary file is reported, not passed over.
#pragma once

#include "office/wordcontent.h"

#include <string>

namespace office {

bool ReadText(ByteView bytes, WordContent& out, std::string& error);

// Shared with the web page reader.
//
// Whether the bytes are well-formed UTF-8 throughout.
bool IsValidUtf8(ByteView bytes);
// The charset uchardet guesses for 8-bit bytes, "windows-1252" when unsure.
std::string GuessLegacyCharset(ByteView bytes);
// Converts bytes of an ICU-known charset to UTF-16 (undecodable bytes become
// U+FFFD). False when ICU does not know the charset.
bool DecodeCharset(ByteView bytes, const char* charset, std::u16string& out);
// "UTF-16LE" or "UTF-16BE" when the zero bytes of text without a byte-order
// mark say it is UTF-16 in that order, else nullptr.
const char* Utf16ByZeros(ByteView bytes);
// The length of a byte-order mark at the start and the charset it names
// ("UTF-8", "UTF-16LE", "UTF-16BE"), or 0.
std::size_t DetectBom(ByteView bytes, const char*& charset);

}  // namespace office
