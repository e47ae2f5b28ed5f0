// libzip-backed package reading with size, total and ratio caps (see
// zippackage.h). Sizes in the zip headers are only hints: the caps are
// checked against the bytes actually produced while decompressing.
//
// Whole deflated entries are inflated by libdeflate, about three times as
// fast as zlib on the large parts of a package: it writes into a buffer of
// the size the header declares, so a header that understates the size
// fails for lack of room and one that overstates it fails by falling short;
// the declared size is checked against the caps before anything is
// allocated, and the checksum afterwards.
#include "office/zippackage.h"

#include <libdeflate.h>
#include <zip.h>

#include <algorithm>
#include <unordered_map>

namespace office {

namespace {

constexpr std::size_t kChunk = 64 * 1024;

char AsciiLower(char c)
{
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

std::string LowerAscii(std::string_view s)
{
    std::string r(s);
    for (char& c : r) c = AsciiLower(c);
    return r;
}

std::string_view StripLeadingSlash(std::string_view name)
{
    while (!name.empty() && name.front() == '/') name.remove_prefix(1);
    return name;
}

int HexValue(char c)
{
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

}  // namespace

struct ZipPackage::Impl {
    ZipLimits limits;
    zip_t* archive = nullptr;
    std::size_t packageSize = 0;
    libdeflate_decompressor* inflater = nullptr;
    std::uint64_t totalRead = 0;
    std::unordered_map<std::string, zip_uint64_t> exact;
    std::unordered_map<std::string, zip_uint64_t> folded;
    std::vector<std::string> names;

    ~Impl()
    {
        if (archive != nullptr) zip_discard(archive);
        if (inflater != nullptr) libdeflate_free_decompressor(inflater);
    }

    bool Inflate(zip_uint64_t index, const zip_stat_t& st, const std::string& shown, std::string& out,
                 std::string& error);

    bool Find(std::string_view name, zip_uint64_t& index) const
    {
        name = StripLeadingSlash(name);
        auto it = exact.find(std::string(name));
        if (it != exact.end()) {
            index = it->second;
            return true;
        }
        auto jt = folded.find(LowerAscii(name));
        if (jt != folded.end()) {
            index = jt->second;
            return true;
        }
        return false;
    }
};

ZipPackage::ZipPackage() : ZipPackage(ZipLimits{}) {}

ZipPackage::ZipPackage(const ZipLimits& limits) : m_impl(std::make_unique<Impl>())
{
    m_impl->limits = limits;
}

ZipPackage::~ZipPackage() = default;

bool ZipPackage::Open(ByteView bytes, std::string& error)
{
    const ZipLimits limits = m_impl->limits;
    m_impl = std::make_unique<Impl>();
    m_impl->limits = limits;

    // libzip opens zero bytes as an empty archive; a package needs at least
    // its end-of-central-directory record.
    if (bytes.size() < 22) {
        error = "not a valid zip package: too short";
        return false;
    }
    zip_error_t zerr;
    zip_error_init(&zerr);
    zip_source_t* source = zip_source_buffer_create(bytes.data(), bytes.size(), 0, &zerr);
    if (source == nullptr) {
        error = std::string("cannot read package: ") + zip_error_strerror(&zerr);
        zip_error_fini(&zerr);
        return false;
    }
    zip_t* archive = zip_open_from_source(source, ZIP_RDONLY, &zerr);
    if (archive == nullptr) {
        error = std::string("not a valid zip package: ") + zip_error_strerror(&zerr);
        zip_error_fini(&zerr);
        zip_source_free(source);
        return false;
    }
    zip_error_fini(&zerr);
    m_impl->archive = archive;
    m_impl->packageSize = bytes.size();

    const zip_int64_t count = zip_get_num_entries(archive, 0);
    if (count < 0 || static_cast<std::uint64_t>(count) > limits.maxEntries) {
        error = "zip package has too many entries";
        return false;
    }
    for (zip_uint64_t i = 0; i < static_cast<zip_uint64_t>(count); ++i) {
        const char* raw = zip_get_name(archive, i, ZIP_FL_ENC_RAW);
        if (raw == nullptr) continue;
        std::string name(raw);
        // The first entry of a name wins, as it does for libzip's own lookup.
        m_impl->exact.emplace(name, i);
        m_impl->folded.emplace(LowerAscii(name), i);
        m_impl->names.push_back(std::move(name));
    }
    return true;
}

bool ZipPackage::HasEntry(std::string_view name) const
{
    zip_uint64_t index = 0;
    return m_impl->archive != nullptr && m_impl->Find(name, index);
}

bool ZipPackage::StreamEntry(std::string_view name, const std::function<bool(std::string_view)>& sink,
                             std::string& error)
{
    const std::string shown(StripLeadingSlash(name));
    zip_uint64_t index = 0;
    if (m_impl->archive == nullptr || !m_impl->Find(name, index)) {
        error = "part '" + shown + "' is missing";
        return false;
    }
    zip_stat_t st;
    zip_stat_init(&st);
    if (zip_stat_index(m_impl->archive, index, 0, &st) != 0) {
        error = "part '" + shown + "' is damaged";
        return false;
    }
    const ZipLimits& lim = m_impl->limits;
    const bool haveSize = (st.valid & ZIP_STAT_SIZE) != 0;
    const bool haveCompSize = (st.valid & ZIP_STAT_COMP_SIZE) != 0;
    if (haveSize && st.size > lim.maxEntryBytes) {
        error = "part '" + shown + "' is too large";
        return false;
    }
    if ((st.valid & ZIP_STAT_ENCRYPTION_METHOD) != 0 && st.encryption_method != ZIP_EM_NONE) {
        error = "part '" + shown + "' is encrypted";
        return false;
    }
    zip_file_t* file = zip_fopen_index(m_impl->archive, index, 0);
    if (file == nullptr) {
        error = "part '" + shown + "' cannot be read: " + zip_strerror(m_impl->archive);
        return false;
    }
    const std::uint64_t compressed = haveCompSize ? st.comp_size : 0;
    std::uint64_t produced = 0;
    char buffer[kChunk];
    bool ok = true;
    for (;;) {
        const zip_int64_t n = zip_fread(file, buffer, sizeof buffer);
        if (n < 0) {
            error = "part '" + shown + "' is damaged: " + zip_file_strerror(file);
            ok = false;
            break;
        }
        if (n == 0) break;
        const auto got = static_cast<std::uint64_t>(n);
        produced += got;
        m_impl->totalRead += got;
        if (produced > lim.maxEntryBytes) {
            error = "part '" + shown + "' is too large";
            ok = false;
            break;
        }
        if (haveSize && produced > st.size) {
            error = "part '" + shown + "' is larger than its zip header says";
            ok = false;
            break;
        }
        if (m_impl->totalRead > lim.maxTotalBytes) {
            error = "zip package expands beyond the size limit";
            ok = false;
            break;
        }
        if (produced > lim.ratioFloorBytes && produced / std::max<std::uint64_t>(compressed, 1) > lim.maxRatio) {
            error = "part '" + shown + "' expands too much (compression bomb)";
            ok = false;
            break;
        }
        if (!sink(std::string_view(buffer, static_cast<std::size_t>(got)))) {
            ok = false;
            break;
        }
    }
    zip_fclose(file);
    if (ok && haveSize && produced != st.size) {
        error = "part '" + shown + "' is shorter than its zip header says";
        ok = false;
    }
    return ok;
}

bool ZipPackage::Impl::Inflate(zip_uint64_t index, const zip_stat_t& st, const std::string& shown, std::string& out,
                               std::string& error)
{
    // Every check on declared sizes comes before the allocation they size.
    if (st.size > limits.maxEntryBytes) {
        error = "part '" + shown + "' is too large";
        return false;
    }
    if (st.size > limits.maxTotalBytes - std::min(totalRead, limits.maxTotalBytes)) {
        error = "zip package expands beyond the size limit";
        return false;
    }
    if (st.size > limits.ratioFloorBytes && st.size / std::max<std::uint64_t>(st.comp_size, 1) > limits.maxRatio) {
        error = "part '" + shown + "' expands too much (compression bomb)";
        return false;
    }
    if (st.comp_size > packageSize) {
        error = "part '" + shown + "' is damaged: it is larger than the package";
        return false;
    }
    std::string compressed(static_cast<std::size_t>(st.comp_size), '\0');
    zip_file_t* file = zip_fopen_index(archive, index, ZIP_FL_COMPRESSED);
    if (file == nullptr) {
        error = "part '" + shown + "' cannot be read: " + zip_strerror(archive);
        return false;
    }
    const zip_int64_t got = zip_fread(file, compressed.data(), st.comp_size);
    zip_fclose(file);
    if (got < 0 || static_cast<zip_uint64_t>(got) != st.comp_size) {
        error = "part '" + shown + "' is damaged: its compressed data is cut short";
        return false;
    }
    if (inflater == nullptr) inflater = libdeflate_alloc_decompressor();
    if (inflater == nullptr) {
        error = "out of memory";
        return false;
    }
    out.resize(static_cast<std::size_t>(st.size));
    std::size_t produced = 0;
    const libdeflate_result result = libdeflate_deflate_decompress(inflater, compressed.data(), compressed.size(),
                                                                   out.data(), out.size(), &produced);
    totalRead += produced;
    if (result == LIBDEFLATE_SUCCESS && produced == out.size() &&
        libdeflate_crc32(0, out.data(), out.size()) == st.crc)
        return true;
    if (result == LIBDEFLATE_INSUFFICIENT_SPACE) error = "part '" + shown + "' is larger than its zip header says";
    else if (result == LIBDEFLATE_SUCCESS && produced != out.size())
        error = "part '" + shown + "' is shorter than its zip header says";
    else if (result == LIBDEFLATE_SUCCESS) error = "part '" + shown + "' is damaged: CRC error";
    else error = "part '" + shown + "' is damaged: invalid compressed data";
    out.clear();
    out.shrink_to_fit();
    return false;
}

bool ZipPackage::ReadEntry(std::string_view name, std::string& out, std::string& error)
{
    out.clear();
    zip_uint64_t index = 0;
    zip_stat_t st;
    zip_stat_init(&st);
    constexpr zip_uint64_t kNeeded = ZIP_STAT_SIZE | ZIP_STAT_COMP_SIZE | ZIP_STAT_COMP_METHOD | ZIP_STAT_CRC;
    if (m_impl->archive != nullptr && m_impl->Find(name, index) && zip_stat_index(m_impl->archive, index, 0, &st) == 0 &&
        (st.valid & kNeeded) == kNeeded && st.comp_method == ZIP_CM_DEFLATE &&
        ((st.valid & ZIP_STAT_ENCRYPTION_METHOD) == 0 || st.encryption_method == ZIP_EM_NONE))
        return m_impl->Inflate(index, st, std::string(StripLeadingSlash(name)), out, error);
    // Stored, encrypted, missing or unusual entries: the streamed path
    // gives each its answer.
    std::string data;
    const bool ok = StreamEntry(
        name,
        [&data](std::string_view piece) {
            data.append(piece);
            return true;
        },
        error);
    if (ok) out = std::move(data);
    return ok;
}

std::vector<std::string> ZipPackage::EntryNames() const
{
    return m_impl->names;
}

std::uint64_t ZipPackage::TotalBytesRead() const
{
    return m_impl->totalRead;
}

std::string ResolvePartTarget(std::string_view sourcePart, std::string_view target)
{
    // Decode %XX escapes first; anything after '#' is a fragment, not a part.
    std::string decoded;
    decoded.reserve(target.size());
    for (std::size_t i = 0; i < target.size(); ++i) {
        const char c = target[i];
        if (c == '#') break;
        if (c == '%' && i + 2 < target.size() && HexValue(target[i + 1]) >= 0 && HexValue(target[i + 2]) >= 0) {
            decoded.push_back(static_cast<char>(HexValue(target[i + 1]) * 16 + HexValue(target[i + 2])));
            i += 2;
            continue;
        }
        decoded.push_back(c == '\\' ? '/' : c);
    }
    // A scheme ("http:", "file:") marks an external target.
    const auto colon = decoded.find(':');
    if (colon != std::string::npos && decoded.find('/') > colon) return {};
    if (decoded.empty()) return {};

    std::vector<std::string> segments;
    if (decoded.front() != '/') {
        const std::string_view base = StripLeadingSlash(sourcePart);
        const auto slash = base.rfind('/');
        if (slash != std::string_view::npos) {
            std::string_view folder = base.substr(0, slash);
            std::size_t start = 0;
            while (start <= folder.size()) {
                const auto end = std::min(folder.find('/', start), folder.size());
                if (end > start) segments.emplace_back(folder.substr(start, end - start));
                start = end + 1;
            }
        }
    }
    std::size_t start = 0;
    while (start <= decoded.size()) {
        const auto end = std::min(decoded.find('/', start), decoded.size());
        const std::string seg = decoded.substr(start, end - start);
        start = end + 1;
        if (seg.empty() || seg == ".") continue;
        if (seg == "..") {
            if (segments.empty()) return {};
            segments.pop_back();
            continue;
        }
        segments.push_back(seg);
    }
    std::string result;
    for (const auto& seg : segments) {
        if (!result.empty()) result.push_back('/');
        result += seg;
    }
    return result;
}

std::string RelationshipsPartOf(std::string_view part)
{
    part = StripLeadingSlash(part);
    if (part.empty()) return "_rels/.rels";
    const auto slash = part.rfind('/');
    if (slash == std::string_view::npos) return "_rels/" + std::string(part) + ".rels";
    return std::string(part.substr(0, slash)) + "/_rels/" + std::string(part.substr(slash + 1)) + ".rels";
}

}  // namespace office
