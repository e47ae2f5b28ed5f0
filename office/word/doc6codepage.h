// Chooses the code page of a Word 6.0/95 document's 8-bit text. The
// document's language decides when it names a non-Western language; many
// Cyrillic, Greek or Central European documents, though, are marked as
// English and get their script from their fonts' character sets only. For
// those the default font of the style sheet, and failing that the fonts of
// the font table, tell the code page. One code page serves the whole
// document: per-run font changes are not followed.
#pragma once

#include "office/word/docfib.h"
#include "office/word/wordcontent.h"

namespace office {

int Word6CodePage(const DocFib& fib, ByteView wordDocument);

// The Windows code page of a font character set (the Windows charset byte
// of a font entry), or 0 for the ANSI, symbol, OEM and unknown sets.
int CodePageForCharset(std::uint8_t charset);

}  // namespace office
