// Bytes of a named charset to UTF-16: the one way every reader converts
// 8-bit and 16-bit text (text files, web pages, Word 6/95 and RTF code
// pages, the code pages of old workbooks). It keeps one cache of ICU
// converters per thread, since opening a converter costs far more than a
// short conversion and readers decode many short runs, and it applies one
// rule where a conversion cannot go as asked:
//
// - a byte sequence the charset does not map becomes what ICU substitutes
//   for it (U+FFFD; U+001A in the code pages whose own substitute that is);
// - a charset ICU does not know is read as windows-1252, the code page
//   Windows itself falls back to;
// - if ICU cannot convert at all (no data, a failing converter), the bytes
//   left are taken as Latin-1, one character each, so no text is lost.
//
// UTF-8, whatever it is called, goes through the program's own strict
// decode step (platform/utf8.h) rather than ICU's, so that what is found
// valid and what is decoded are one and the same code.
#pragma once

#include "office/text/byteview.h"

#include <cstddef>
#include <string>
#include <string_view>

typedef struct UConverter UConverter;

namespace office {

class CharsetDecoder {
public:
    explicit CharsetDecoder(std::string_view charset);
    ~CharsetDecoder();
    CharsetDecoder(const CharsetDecoder&) = delete;
    CharsetDecoder& operator=(const CharsetDecoder&) = delete;

    // Whether the charset asked for is the one decoding (false: it was
    // unknown and windows-1252 stands in).
    bool Known() const { return m_known; }

    // Decodes bytes[pos, limit) into out[0, room), advancing `pos`, and
    // returns the units written. Call again, with the same `limit` or a
    // later one, until Finished(): a character cut at `limit` is carried
    // over, and so is output that did not fit. `limit == bytes.size()` ends
    // the text; `room` must be at least 2.
    std::size_t Decode(ByteView bytes, std::size_t& pos, std::size_t limit, char16_t* out, std::size_t room);
    bool Finished() const { return m_finished; }

    // Appends all of `bytes`, a megabyte at a time with a look at the stop
    // request between (platform::OperationCancelled, leaving `out` as it
    // was).
    void Append(ByteView bytes, std::u16string& out);

    // Whether ICU knows the charset (UTF-8 under any of its names included).
    static bool IsKnown(std::string_view charset);

private:
    enum class Route { Icu, Utf8, Latin1 };

    std::size_t DecodeLatin1(ByteView bytes, std::size_t& pos, std::size_t limit, char16_t* out, std::size_t room);

    std::string m_name;  // the cache's key of m_conv
    UConverter* m_conv = nullptr;
    bool m_ownsConverter = false;  // opened for this decoder alone, not taken from the cache
    Route m_route = Route::Latin1;
    bool m_known = false;
    bool m_finished = false;
};

// The charset name of Windows code page `codePage` as ICU knows it
// ("windows-1251", or "cp860" for a DOS code page ICU knows by that name
// only); "windows-N" when ICU knows neither.
std::string CodePageCharset(int codePage);
bool IsKnownCodePage(int codePage);

// Appends `bytes` of Windows code page `codePage` as UTF-16 (by the rule
// above: an unknown code page is read as 1252). Looks at the stop request
// as CharsetDecoder::Append does.
void AppendCodePageText(std::string_view bytes, int codePage, std::u16string& out);

}  // namespace office
