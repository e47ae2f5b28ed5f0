// The charset decoder and its converter cache (see charsetdecoder.h).
#include "office/text/charsetdecoder.h"

#include "platform/cancellation.h"
#include "platform/utf8.h"

#include <unicode/ucnv.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <unordered_map>

namespace office {

namespace {

// Names longer than any charset's are not looked up: a web page may
// declare anything.
constexpr std::size_t kMaxNameBytes = 64;
// Distinct names kept per thread; files name only a handful, but a hostile
// series of pages could name a new one each.
constexpr std::size_t kMaxCached = 64;

struct ConverterCloser {
    void operator()(UConverter* c) const { ucnv_close(c); }
};
using Converter = std::unique_ptr<UConverter, ConverterCloser>;

struct Slot {
    Converter conv;     // null: ICU does not know the name
    bool utf8 = false;  // the name is one of UTF-8's
    bool busy = false;  // a decoder is using the converter
};

using Cache = std::unordered_map<std::string, Slot>;

Cache& ThreadCache()
{
    thread_local Cache cache;
    return cache;
}

Converter Open(const std::string& name)
{
    // An empty name would give ICU's default converter.
    if (name.empty() || name.size() > kMaxNameBytes || name.find('\0') != std::string::npos) return nullptr;
    UErrorCode status = U_ZERO_ERROR;
    UConverter* c = ucnv_open(name.c_str(), &status);
    if (U_FAILURE(status) || c == nullptr) {
        if (c != nullptr) ucnv_close(c);
        return nullptr;
    }
    return Converter(c);
}

Slot& Lookup(const std::string& name)
{
    Cache& cache = ThreadCache();
    if (const auto it = cache.find(name); it != cache.end()) return it->second;
    if (cache.size() >= kMaxCached) std::erase_if(cache, [](const auto& entry) { return !entry.second.busy; });
    Slot slot;
    slot.conv = Open(name);
    if (slot.conv != nullptr) {
        UErrorCode status = U_ZERO_ERROR;
        const char* canonical = ucnv_getName(slot.conv.get(), &status);
        slot.utf8 = U_SUCCESS(status) && canonical != nullptr && std::strcmp(canonical, "UTF-8") == 0;
    }
    return cache.emplace(name, std::move(slot)).first->second;
}

}  // namespace

CharsetDecoder::CharsetDecoder(std::string_view charset) : m_name(charset)
{
    Slot* slot = &Lookup(m_name);
    m_known = slot->conv != nullptr;
    if (!m_known) {
        m_name = "windows-1252";
        slot = &Lookup(m_name);
    }
    if (slot->conv == nullptr) {
        m_route = Route::Latin1;  // ICU without its data
    } else if (slot->utf8) {
        m_route = Route::Utf8;
    } else if (slot->busy) {
        // Another decoder of this thread is midway through a text of the
        // same charset: this one gets a converter of its own.
        m_route = Route::Icu;
        m_conv = Open(m_name).release();
        m_ownsConverter = true;
        if (m_conv == nullptr) m_route = Route::Latin1;
    } else {
        m_route = Route::Icu;
        m_conv = slot->conv.get();
        slot->busy = true;
    }
}

CharsetDecoder::~CharsetDecoder()
{
    if (m_conv == nullptr) return;
    if (m_ownsConverter) {
        ucnv_close(m_conv);
        return;
    }
    // Busy slots are never dropped from the cache, so it is still there.
    Cache& cache = ThreadCache();
    if (const auto it = cache.find(m_name); it != cache.end() && it->second.conv.get() == m_conv) {
        ucnv_reset(m_conv);
        it->second.busy = false;
    }
}

bool CharsetDecoder::IsKnown(std::string_view charset)
{
    return Lookup(std::string(charset)).conv != nullptr;
}

std::size_t CharsetDecoder::DecodeLatin1(ByteView bytes, std::size_t& pos, std::size_t limit, char16_t* out,
                                         std::size_t room)
{
    std::size_t written = 0;
    while (pos < limit && written < room) out[written++] = static_cast<char16_t>(bytes[pos++]);
    m_finished = pos >= bytes.size();
    return written;
}

std::size_t CharsetDecoder::Decode(ByteView bytes, std::size_t& pos, std::size_t limit, char16_t* out, std::size_t room)
{
    if (m_finished) return 0;
    limit = std::min(limit, bytes.size());
    if (m_route == Route::Latin1) return DecodeLatin1(bytes, pos, limit, out, room);
    if (m_route == Route::Utf8) {
        // A sequence that starts before `limit` is read whole: the bytes
        // after it are there, so nothing needs carrying over.
        const std::uint8_t* p = bytes.data();
        std::size_t written = 0;
        while (pos < limit && written + 2 <= room) {
            if (p[pos] < 0x80) {
                out[written++] = static_cast<char16_t>(p[pos++]);
                continue;
            }
            const Utf8Step step = DecodeUtf8Step(p + pos, bytes.size() - pos);
            pos += step.length;
            if (step.cp >= 0x10000) {
                const char32_t v = step.cp - 0x10000;
                out[written++] = static_cast<char16_t>(0xD800 + (v >> 10));
                out[written++] = static_cast<char16_t>(0xDC00 + (v & 0x3FF));
            } else {
                out[written++] = static_cast<char16_t>(step.cp);
            }
        }
        m_finished = pos >= bytes.size();
        return written;
    }
    const char* const data = reinterpret_cast<const char*>(bytes.data());
    const char* source = data + std::min(pos, limit);
    UChar* target = reinterpret_cast<UChar*>(out);
    const bool flush = limit == bytes.size();
    UErrorCode status = U_ZERO_ERROR;
    ucnv_toUnicode(m_conv, &target, target + room, &source, data + limit, nullptr, flush, &status);
    pos = static_cast<std::size_t>(source - data);
    const auto written = static_cast<std::size_t>(target - reinterpret_cast<UChar*>(out));
    // Output that did not fit waits in the converter for the next call.
    if (status == U_BUFFER_OVERFLOW_ERROR) return written;
    if (U_FAILURE(status)) {
        m_route = Route::Latin1;
        return written + DecodeLatin1(bytes, pos, limit, out + written, room - written);
    }
    m_finished = flush;
    return written;
}

void CharsetDecoder::Append(ByteView bytes, std::u16string& out)
{
    constexpr std::size_t kChunk = std::size_t{1} << 20;
    const std::size_t start = out.size();
    // Nearly every charset makes at most one unit a byte; one that makes
    // more gets room as it goes, growing geometrically.
    out.reserve(start + bytes.size() + 16);
    std::size_t pos = 0;
    while (!m_finished) {
        const std::size_t limit = bytes.size() - std::min(pos, bytes.size()) > kChunk ? pos + kChunk : bytes.size();
        const std::size_t at = out.size();
        const std::size_t want = 2 * (limit - std::min(pos, limit)) + 16;
        if (out.capacity() - at < 16) out.reserve(at + std::max(want, (at - start) / 2));
        // Only the room this chunk can fill is zeroed, not all the rest.
        const std::size_t room = std::min(out.capacity() - at, want);
        out.resize(at + room);
        const std::size_t n = Decode(bytes, pos, limit, out.data() + at, room);
        out.resize(at + n);
        if (m_finished) break;
        if (platform::IsSearchStopRequested()) {
            out.resize(start);
            throw platform::OperationCancelled();
        }
    }
}

std::string CodePageCharset(int codePage)
{
    const std::string windows = "windows-" + std::to_string(codePage);
    if (CharsetDecoder::IsKnown(windows)) return windows;
    // Some DOS code pages (860, 863, 865, ...) are known to ICU as "cpN" only.
    const std::string dos = "cp" + std::to_string(codePage);
    if (CharsetDecoder::IsKnown(dos)) return dos;
    return windows;
}

bool IsKnownCodePage(int codePage)
{
    return CharsetDecoder::IsKnown(CodePageCharset(codePage));
}

void AppendCodePageText(std::string_view bytes, int codePage, std::u16string& out)
{
    if (bytes.empty()) return;
    CharsetDecoder decoder(CodePageCharset(codePage));
    decoder.Append(ByteView(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()), out);
}

}  // namespace office
