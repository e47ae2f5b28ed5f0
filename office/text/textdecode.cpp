// Charset detection and decoding (see textdecode.h).
#include "office/text/textdecode.h"

#include "office/text/charsetdecoder.h"
#include "platform/cancellation.h"

#include <uchardet/uchardet.h>

#include <strings.h>

namespace office {

namespace {

// uchardet needs no more than this to make up its mind.
constexpr std::size_t kDetectBytes = 64 * 1024;

// The stop request is looked at once per this many bytes of a scan.
constexpr std::size_t kStopBytes = std::size_t{1} << 20;

}  // namespace

// Text in a Latin script has a zero in nearly every other byte, all on one
// side.
const char* Utf16ByZeros(ByteView bytes)
{
    if (bytes.size() < 2) return nullptr;
    std::size_t even = 0;
    std::size_t odd = 0;
    for (std::size_t i = 0; i + 1 < bytes.size(); i += 2) {
        if (i % kStopBytes == 0) platform::ThrowIfStopRequested();
        if (bytes[i] == 0) ++even;
        if (bytes[i + 1] == 0) ++odd;
    }
    const std::size_t pairs = bytes.size() / 2;
    const std::size_t zeros = even + odd;
    if (zeros * 5 < pairs) return nullptr;  // too few to say so
    if (odd >= zeros - zeros / 20 && even <= zeros / 20) return "UTF-16LE";
    if (even >= zeros - zeros / 20 && odd <= zeros / 20) return "UTF-16BE";
    return nullptr;
}

std::size_t DetectBom(ByteView bytes, const char*& charset)
{
    if (bytes.size() >= 3 && bytes[0] == 0xEF && bytes[1] == 0xBB && bytes[2] == 0xBF) {
        charset = "UTF-8";
        return 3;
    }
    if (bytes.size() >= 2 && bytes[0] == 0xFF && bytes[1] == 0xFE) {
        charset = "UTF-16LE";
        return 2;
    }
    if (bytes.size() >= 2 && bytes[0] == 0xFE && bytes[1] == 0xFF) {
        charset = "UTF-16BE";
        return 2;
    }
    charset = nullptr;
    return 0;
}

std::string GuessLegacyCharset(ByteView bytes)
{
    std::string result = "windows-1252";
    uchardet_t detector = uchardet_new();
    if (detector == nullptr) return result;
    const std::size_t n = bytes.size() < kDetectBytes ? bytes.size() : kDetectBytes;
    if (uchardet_handle_data(detector, reinterpret_cast<const char*>(bytes.data()), n) == 0) {
        uchardet_data_end(detector);
        const char* name = uchardet_get_charset(detector);
        // Latin-1 is read as its Windows superset, as browsers do: the bytes
        // 0x80..0x9F are then quotes and dashes, not invisible controls.
        if (name != nullptr && (strcasecmp(name, "ISO-8859-1") == 0 || strcasecmp(name, "ASCII") == 0)) name = nullptr;
        if (name != nullptr && *name != '\0') {
            // Only take a guess ICU can convert.
            if (CharsetDecoder::IsKnown(name)) result = name;
        }
    }
    uchardet_delete(detector);
    return result;
}

bool DecodeCharset(ByteView bytes, const char* charset, std::u16string& out)
{
    out.clear();
    CharsetDecoder decoder(charset);
    if (!decoder.Known()) return false;
    decoder.Append(bytes, out);
    return true;
}

}  // namespace office
