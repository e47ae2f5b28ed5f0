// Code page mapping and decoding on ICU converters (see doccodepage.h).
#include "office/word/doccodepage.h"

#include "platform/cancellation.h"

#include <unicode/ucnv.h>

#include <memory>
#include <unordered_map>

namespace office {

namespace {

struct ConverterCloser {
    void operator()(UConverter* c) const { ucnv_close(c); }
};
using Converter = std::unique_ptr<UConverter, ConverterCloser>;

std::string IcuName(int codePage)
{
    switch (codePage) {
    case 932: return "windows-932";  // ICU's name for Shift-JIS as Windows has it
    case 936: return "windows-936";
    case 949: return "windows-949";
    case 950: return "windows-950";
    case 874: return "windows-874";
    case 10000: return "macintosh";
    default: return "windows-" + std::to_string(codePage);
    }
}

Converter OpenConverter(int codePage)
{
    UErrorCode status = U_ZERO_ERROR;
    UConverter* c = ucnv_open(IcuName(codePage).c_str(), &status);
    if (U_FAILURE(status) || c == nullptr) {
        if (c != nullptr) ucnv_close(c);
        return nullptr;
    }
    return Converter(c);
}

}  // namespace

int CodePageForLanguage(std::uint16_t lid)
{
    switch (lid) {
    case 0x0411: return 932;   // Japanese
    case 0x0804: case 0x1004: return 936;  // Chinese, simplified
    case 0x0412: return 949;   // Korean
    case 0x0404: case 0x0C04: case 0x1404: return 950;  // Chinese, traditional
    case 0x081A: return 1250;  // Serbian, Latin script
    case 0x0C1A: return 1251;  // Serbian, Cyrillic script
    default: break;
    }
    switch (lid & 0x03FF) {  // primary language
    case 0x05: case 0x0E: case 0x15: case 0x18: case 0x1A: case 0x1B: case 0x1C: case 0x24:
        return 1250;  // Czech, Hungarian, Polish, Romanian, Croatian, Slovak, Albanian, Slovenian
    case 0x02: case 0x19: case 0x22: case 0x23: case 0x2F: case 0x3F: case 0x40: case 0x44: case 0x50:
        return 1251;  // Bulgarian, Russian, Ukrainian, Belarusian, Macedonian, Kazakh, Kyrgyz, Tatar, Mongolian
    case 0x08: return 1253;  // Greek
    case 0x1F: case 0x2C: case 0x43: return 1254;  // Turkish, Azeri, Uzbek
    case 0x0D: return 1255;  // Hebrew
    case 0x01: case 0x20: case 0x29: return 1256;  // Arabic, Urdu, Farsi
    case 0x25: case 0x26: case 0x27: return 1257;  // Estonian, Latvian, Lithuanian
    case 0x2A: return 1258;  // Vietnamese
    case 0x1E: return 874;   // Thai
    default: return 1252;
    }
}

namespace {

// Opening a converter costs far more than a short conversion, and readers
// decode many short runs: each thread keeps the converters it has used.
UConverter* CachedConverter(int codePage)
{
    thread_local std::unordered_map<int, Converter> cache;
    auto it = cache.find(codePage);
    if (it == cache.end()) {
        // Unknown code pages are remembered as missing too; the set of code
        // pages a document can name is small, but cap it all the same.
        if (cache.size() > 64) cache.clear();
        it = cache.emplace(codePage, OpenConverter(codePage)).first;
    }
    if (it->second != nullptr) ucnv_reset(it->second.get());
    return it->second.get();
}

void AppendLatin1(std::string_view bytes, std::u16string& out)
{
    for (char c : bytes) out.push_back(static_cast<char16_t>(static_cast<unsigned char>(c)));
}

}  // namespace

bool IsKnownCodePage(int codePage)
{
    return CachedConverter(codePage) != nullptr;
}

void AppendCodePageText(std::string_view bytes, int codePage, std::u16string& out)
{
    if (bytes.empty()) return;
    UConverter* conv = CachedConverter(codePage);
    if (conv == nullptr) conv = CachedConverter(1252);
    if (conv == nullptr) {
        // ICU without its data: Latin-1 is still better than nothing.
        AppendLatin1(bytes, out);
        return;
    }
    // No code page expands a byte into more than two UTF-16 units. The
    // text is decoded a megabyte at a time, growing by each piece rather
    // than being filled with zeros for all of it first, with a look at the
    // stop request between pieces; the converter carries a character cut
    // at a piece's end over to the next.
    constexpr std::size_t kChunk = std::size_t{1} << 20;
    // Room for a carried-over character on top of a piece's own units.
    constexpr std::size_t kCarry = 8;
    const std::size_t start = out.size();
    out.reserve(start + 2 * bytes.size() + kCarry);
    UErrorCode status = U_ZERO_ERROR;
    const char* source = bytes.data();
    const char* const sourceEnd = bytes.data() + bytes.size();
    for (;;) {
        const bool last = static_cast<std::size_t>(sourceEnd - source) <= kChunk;
        const char* const chunkEnd = last ? sourceEnd : source + kChunk;
        const std::size_t at = out.size();
        out.resize(std::min(out.capacity(), at + 2 * static_cast<std::size_t>(chunkEnd - source) + kCarry));
        UChar* target = reinterpret_cast<UChar*>(out.data() + at);
        UChar* const targetLimit = reinterpret_cast<UChar*>(out.data() + out.size());
        ucnv_toUnicode(conv, &target, targetLimit, &source, chunkEnd, nullptr, last, &status);
        out.resize(static_cast<std::size_t>(target - reinterpret_cast<UChar*>(out.data())));
        if (last || U_FAILURE(status)) break;
        if (platform::IsSearchStopRequested()) {
            out.resize(start);
            throw platform::OperationCancelled();
        }
    }
    if (U_FAILURE(status)) {
        // Keep what was decoded and carry the rest over byte by byte.
        for (; source < bytes.data() + bytes.size(); ++source)
            out.push_back(static_cast<char16_t>(static_cast<unsigned char>(*source)));
    }
}

}  // namespace office
