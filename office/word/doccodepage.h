// The code page of a language: Word 6.0/95 stores its 8-bit text in the
// code page of the document's language (RTF names its code page with
// \ansicpg instead). Decoding is office/text/charsetdecoder.h's.
#pragma once

#include <cstdint>

namespace office {

// The Windows code page Word 6/95 used for text in a language (a Windows
// language identifier); 1252 for Western languages and anything unknown.
int CodePageForLanguage(std::uint16_t lid);

}  // namespace office
