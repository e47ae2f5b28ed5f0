// The 8-bit text of Excel's binary workbooks: Excel 2 to 95 store labels,
// sheet names and number formats in the code page a CODEPAGE record names
// (a Windows code page, or one of BIFF's own numbers for the Macintosh and
// for ANSI); BIFF8 marks its compressed Unicode as 1200. Shared by the
// readers of the old and the compound-file formats; decoding is
// office/text/charsetdecoder.h's.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace office::biff {

class CodePageText {
public:
    // Chooses the code page from a CODEPAGE record's value. Without one,
    // text is read as Windows ANSI (1252).
    void SetCodePage(std::uint16_t codePage);

    // Decodes `n` bytes (see charsetdecoder.h for bytes the code page does
    // not map and for code pages ICU does not know).
    std::u16string Decode(const std::uint8_t* p, std::size_t n);

private:
    // BIFF8's compressed Unicode: each byte is the low half of a UTF-16
    // unit, no charset at all.
    bool m_compressed = false;
    // Looked up once per CODEPAGE record rather than once per string.
    std::string m_charset = "windows-1252";
};

}  // namespace office::biff
