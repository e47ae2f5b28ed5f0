// Reader selection by content (see wordloader.h).
#include "office/wordloader.h"

#include "office/compoundfile.h"
#include "office/docreader.h"
#include "office/docxreader.h"
#include "office/filebytes.h"
#include "office/htmlreader.h"
#include "office/rtfreader.h"
#include "office/textreader.h"

#include <cstring>
#include <vector>

namespace office {

namespace {

bool StartsWith(ByteView bytes, const char* prefix)
{
    const std::size_t n = std::strlen(prefix);
    return bytes.size() >= n && std::memcmp(bytes.data(), prefix, n) == 0;
}

}  // namespace

bool LoadWordContent(ByteView bytes, WordContent& out, std::string& error)
{
    out.stories.clear();
    if (IsCompoundFile(bytes)) return ReadWordBinary(bytes, out, error);
    // A local file header, or the end record of an empty archive.
    if (StartsWith(bytes, "PK\x03\x04") || StartsWith(bytes, "PK\x05\x06")) return ReadDocx(bytes, out, error);
    if (StartsWith(bytes, "{\\rtf")) return ReadRtf(bytes, out, error);
    if (LooksLikeHtml(bytes)) return ReadHtml(bytes, out, error);
    return ReadText(bytes, out, error);
}

bool LoadWordFile(const std::string& path, WordContent& out, std::string& error)
{
    std::vector<std::uint8_t> bytes;
    if (!ReadFileBytes(path, bytes, error)) return false;
    return LoadWordContent(ByteView(bytes.data(), bytes.size()), out, error);
}

}  // namespace office
