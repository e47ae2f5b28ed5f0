// Charset detection and decoding (see textdecode.h).
#include "office/text/textdecode.h"

#include "platform/cancellation.h"

#include <uchardet/uchardet.h>
#include <unicode/ucnv.h>

#include <climits>
#include <cstdint>
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

bool IsValidUtf8(ByteView bytes)
{
    std::size_t i = 0;
    const std::size_t n = bytes.size();
    std::size_t nextStopCheck = 0;
    while (i < n) {
        if (i >= nextStopCheck) {
            platform::ThrowIfStopRequested();
            nextStopCheck = i + kStopBytes;
        }
        const std::uint8_t b = bytes[i];
        if (b < 0x80) {
            ++i;
            continue;
        }
        std::size_t len = 0;
        std::uint32_t cp = 0;
        if (b >= 0xC2 && b <= 0xDF) {
            len = 2;
            cp = b & 0x1Fu;
        } else if (b >= 0xE0 && b <= 0xEF) {
            len = 3;
            cp = b & 0x0Fu;
        } else if (b >= 0xF0 && b <= 0xF4) {
            len = 4;
            cp = b & 0x07u;
        } else {
            return false;
        }
        if (i + len > n) return false;
        for (std::size_t k = 1; k < len; ++k) {
            if ((bytes[i + k] & 0xC0) != 0x80) return false;
            cp = (cp << 6) | (bytes[i + k] & 0x3Fu);
        }
        // Overlong forms, surrogates and values beyond U+10FFFF.
        if ((len == 3 && cp < 0x800) || (len == 4 && (cp < 0x10000 || cp > 0x10FFFF)) ||
            (cp >= 0xD800 && cp <= 0xDFFF)) {
            return false;
        }
        i += len;
    }
    return true;
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
            UErrorCode status = U_ZERO_ERROR;
            UConverter* conv = ucnv_open(name, &status);
            if (U_SUCCESS(status) && conv != nullptr) result = name;
            if (conv != nullptr) ucnv_close(conv);
        }
    }
    uchardet_delete(detector);
    return result;
}

bool DecodeCharset(ByteView bytes, const char* charset, std::u16string& out)
{
    out.clear();
    if (bytes.size() > static_cast<std::size_t>(INT32_MAX / 2)) return false;
    UErrorCode status = U_ZERO_ERROR;
    UConverter* conv = ucnv_open(charset, &status);
    if (U_FAILURE(status) || conv == nullptr) {
        if (conv != nullptr) ucnv_close(conv);
        return false;
    }
    // No charset makes more UTF-16 units than bytes, but a few converters
    // emit a replacement pair for a lone byte: leave room for that.
    std::size_t capacity = bytes.size() + 16;
    for (int attempt = 0; attempt < 2; ++attempt) {
        out.resize(capacity);
        status = U_ZERO_ERROR;
        const int32_t n = ucnv_toUChars(conv, out.data(), static_cast<int32_t>(out.size()),
                                        reinterpret_cast<const char*>(bytes.data()),
                                        static_cast<int32_t>(bytes.size()), &status);
        if (status == U_BUFFER_OVERFLOW_ERROR && attempt == 0 && n > 0) {
            capacity = static_cast<std::size_t>(n) + 16;
            continue;
        }
        ucnv_close(conv);
        if (U_FAILURE(status) || n < 0) {
            out.clear();
            return false;
        }
        out.resize(static_cast<std::size_t>(n));
        return true;
    }
    ucnv_close(conv);
    out.clear();
    return false;
}

}  // namespace office
