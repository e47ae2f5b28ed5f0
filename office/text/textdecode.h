// Turning a file's bytes into text: byte-order marks, strict UTF-8
// validation, UTF-16 told by its zero bytes, the legacy code page a text
// most likely uses, and conversion of any charset ICU knows. Shared by the
// text and web-page readers of both Word and Excel, so that a file decodes
// the same whichever of them opens it.
#pragma once

#include "office/text/byteview.h"

#include <cstddef>
#include <string>

namespace office {

// Whether the bytes are well-formed UTF-8 throughout. Checks the stop
// request (and so may throw platform::OperationCancelled), as does
// Utf16ByZeros.
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
