// The code pages of Word's languages (see doccodepage.h).
#include "office/word/doccodepage.h"

namespace office {

int CodePageForLanguage(std::uint16_t lid)
{
    switch (lid) {
    case 0x0411: return 932;  // Japanese
    case 0x0804:
    case 0x1004: return 936;  // Chinese, simplified
    case 0x0412: return 949;  // Korean
    case 0x0404:
    case 0x0C04:
    case 0x1404: return 950;   // Chinese, traditional
    case 0x081A: return 1250;  // Serbian, Latin script
    case 0x0C1A: return 1251;  // Serbian, Cyrillic script
    default: break;
    }
    switch (lid & 0x03FF) {  // primary language
    case 0x05:
    case 0x0E:
    case 0x15:
    case 0x18:
    case 0x1A:
    case 0x1B:
    case 0x1C:
    case 0x24: return 1250;  // Czech, Hungarian, Polish, Romanian, Croatian, Slovak, Albanian, Slovenian
    case 0x02:
    case 0x19:
    case 0x22:
    case 0x23:
    case 0x2F:
    case 0x3F:
    case 0x40:
    case 0x44:
    case 0x50: return 1251;  // Bulgarian, Russian, Ukrainian, Belarusian, Macedonian, Kazakh, Kyrgyz, Tatar, Mongolian
    case 0x08: return 1253;  // Greek
    case 0x1F:
    case 0x2C:
    case 0x43: return 1254;  // Turkish, Azeri, Uzbek
    case 0x0D: return 1255;  // Hebrew
    case 0x01:
    case 0x20:
    case 0x29: return 1256;  // Arabic, Urdu, Farsi
    case 0x25:
    case 0x26:
    case 0x27: return 1257;  // Estonian, Latvian, Lithuanian
    case 0x2A: return 1258;  // Vietnamese
    case 0x1E: return 874;   // Thai
    default: return 1252;
    }
}

}  // namespace office
