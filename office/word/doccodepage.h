// 8-bit text of older documents in a Windows code page: Word 6.0/95 stores
// its text in the code page of the document's language, RTF names its code
// page with \ansicpg. Decoding is ICU's.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace office {

// The Windows code page Word 6/95 used for text in a language (a Windows
// language identifier); 1252 for Western languages and anything unknown.
int CodePageForLanguage(std::uint16_t lid);

// Decodes `bytes` from Windows code page `codePage` into UTF-16, appending
// to `out`. Bytes the code page does not define become U+FFFD. An unknown
// code page falls back to 1252. Control characters pass through unchanged.
void AppendCodePageText(std::string_view bytes, int codePage, std::u16string& out);

// Whether ICU knows this Windows code page.
bool IsKnownCodePage(int codePage);

}  // namespace office
