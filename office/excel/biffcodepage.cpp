// Code-page text of BIFF workbooks (see biffcodepage.h).
#include "office/excel/biffcodepage.h"

namespace office::biff {

void CodePageText::SetCodePage(std::uint16_t codePage)
{
    // Files repeat the record; opening a converter is not free.
    if (m_chosen && codePage == m_codePage) return;
    m_chosen = true;
    m_codePage = codePage;
    m_conv.reset();
    m_latin1 = false;
    std::string name;
    switch (codePage) {
    case 1200: m_latin1 = true; return;  // BIFF8's compressed Unicode
    case 367: name = "US-ASCII"; break;
    case 0x8000: case 10000: name = "macintosh"; break;
    case 0x8001: name = "windows-1252"; break;
    default: name = "windows-" + std::to_string(codePage); break;
    }
    UErrorCode status = U_ZERO_ERROR;
    m_conv.reset(ucnv_open(name.c_str(), &status));
    if (U_FAILURE(status) || !m_conv) {
        // The DOS code pages (437, 850, ...) are known to ICU as "cpNNN".
        status = U_ZERO_ERROR;
        name = "cp" + std::to_string(codePage);
        m_conv.reset(ucnv_open(name.c_str(), &status));
        if (U_FAILURE(status)) m_conv.reset();
    }
}

std::u16string CodePageText::Decode(const std::uint8_t* p, std::size_t n)
{
    std::u16string out;
    if (n == 0) return out;
    if (!m_conv && !m_latin1) SetCodePage(1252);
    if (!m_conv) {
        out.reserve(n);
        for (std::size_t i = 0; i < n; ++i) out.push_back(static_cast<char16_t>(p[i]));
        return out;
    }
    out.resize(n * 2 + 2);
    UErrorCode status = U_ZERO_ERROR;
    const int32_t len = ucnv_toUChars(m_conv.get(), reinterpret_cast<UChar*>(out.data()),
                                      static_cast<int32_t>(out.size()), reinterpret_cast<const char*>(p),
                                      static_cast<int32_t>(n), &status);
    if (U_FAILURE(status) || len < 0) {
        out.clear();
        for (std::size_t i = 0; i < n; ++i) out.push_back(static_cast<char16_t>(p[i]));
        return out;
    }
    out.resize(static_cast<std::size_t>(len));
    return out;
}

}  // namespace office::biff
