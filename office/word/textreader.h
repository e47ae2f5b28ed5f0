// Plain text files for the built-in Word: the encoding is found from the
// bytes (byte-order mark, valid UTF-8, UTF-16 told by its zero bytes, else
// the legacy code page uchardet names, Windows-1252 when it cannot tell),
// line ends become paragraph marks, and bytes that are no plausible text are
// refused so that a damaged or binary file is reported, not passed over.
//
// The text is decoded a piece at a time straight into the one story it
// becomes, line ends turned into paragraph marks on the way, so reading
// holds the file's bytes and one copy of its text, and that copy is charged
// to the file's memory budget as it grows.
#pragma once

#include "office/readbudget.h"
#include "office/wordcontent.h"

#include <string>

namespace office {

// False with a reason for binary data, undecodable text or a text beyond
// `budget` ("too large: ..."). Throws platform::OperationCancelled when the
// search is stopped.
bool ReadText(ByteView bytes, WordContent& out, std::string& error, ReadBudget* budget);
// The same without a budget.
bool ReadText(ByteView bytes, WordContent& out, std::string& error);

// Shared with the web page reader.
//
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
