// The 8-bit text of Excel's binary workbooks: Excel 2 to 95 store labels,
// sheet names and number formats in the code page a CODEPAGE record names
// (a Windows code page, or one of BIFF's own numbers for the Macintosh and
// for ANSI); BIFF8 marks its compressed Unicode as 1200. Shared by the
// readers of the old and the compound-file formats; decoding is ICU's.
#pragma once

#include <unicode/ucnv.h>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace office::biff {

class CodePageText {
public:
    // Chooses the code page from a CODEPAGE record's value. Without one,
    // text is read as Windows ANSI (1252).
    void SetCodePage(std::uint16_t codePage);

    // Decodes `n` bytes; bytes the code page cannot convert fall back to
    // their Latin-1 meaning rather than being dropped.
    std::u16string Decode(const std::uint8_t* p, std::size_t n);

private:
    struct ConverterCloser {
        void operator()(UConverter* c) const { ucnv_close(c); }
    };
    std::unique_ptr<UConverter, ConverterCloser> m_conv;
    bool m_latin1 = false;
    bool m_chosen = false;
    std::uint16_t m_codePage = 0;
};

}  // namespace office::biff
