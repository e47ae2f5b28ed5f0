// Telling which charset a file's bytes are in: byte-order marks, UTF-16
// told by its zero bytes, the legacy code page a text most likely uses.
// Shared by the text and web-page readers of both Word and Excel, so that
// a file decodes the same whichever of them opens it; the decoding itself
// is CharsetDecoder's, validation of UTF-8 platform/utf8.h's.
#pragma once

#include "office/text/byteview.h"
#include "platform/utf8.h"

#include <cstddef>
#include <string>
#include <string_view>

namespace office {

// The bytes as the char text the UTF-8 functions take.
inline std::string_view AsChars(ByteView bytes)
{
    return std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size());
}

// The charset uchardet guesses for 8-bit bytes, "windows-1252" when unsure.
std::string GuessLegacyCharset(ByteView bytes);
// Converts bytes of an ICU-known charset to UTF-16 (see charsetdecoder.h
// for what becomes of bytes the charset does not map). False, leaving the
// choice of another charset to the caller, when ICU does not know it.
bool DecodeCharset(ByteView bytes, const char* charset, std::u16string& out);
// "UTF-16LE" or "UTF-16BE" when the zero bytes of text without a byte-order
// mark say it is UTF-16 in that order, else nullptr. Checks the stop
// request (and so may throw platform::OperationCancelled).
const char* Utf16ByZeros(ByteView bytes);
// The length of a byte-order mark at the start and the charset it names
// ("UTF-8", "UTF-16LE", "UTF-16BE"), or 0.
std::size_t DetectBom(ByteView bytes, const char*& charset);

}  // namespace office
