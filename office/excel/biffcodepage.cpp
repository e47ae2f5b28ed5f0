// Code-page text of BIFF workbooks (see biffcodepage.h).
#include "office/excel/biffcodepage.h"

#include "office/text/charsetdecoder.h"

namespace office::biff {

void CodePageText::SetCodePage(std::uint16_t codePage)
{
    m_compressed = codePage == 1200;
    int windows = codePage;
    switch (codePage) {
    case 367: windows = 20127; break;     // US-ASCII
    case 0x8000: windows = 10000; break;  // Mac Roman
    case 0x8001: windows = 1252; break;   // ANSI
    default: break;
    }
    m_charset = CodePageCharset(windows);
}

std::u16string CodePageText::Decode(const std::uint8_t* p, std::size_t n)
{
    std::u16string out;
    if (n == 0) return out;
    if (m_compressed) {
        out.reserve(n);
        for (std::size_t i = 0; i < n; ++i) out.push_back(static_cast<char16_t>(p[i]));
        return out;
    }
    CharsetDecoder(m_charset).Append(ByteView(p, n), out);
    return out;
}

}  // namespace office::biff
