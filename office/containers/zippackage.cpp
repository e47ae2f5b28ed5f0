// libzip-backed package reading with size, total and ratio caps and the
// file's memory budget (see zippackage.h). Sizes in the zip headers are
// only hints: the caps are checked against the bytes actually produced
// while decompressing.
//
// Whole deflated entries are inflated by libdeflate, about three times as
// fast as zlib on the large parts of a package, straight from the package's
// bytes: it writes into a buffer of the size the header declares, so a
// header that understates the size fails for lack of room and one that
// overstates it fails by falling short; the declared size is checked
// against the caps and charged to the budget before anything is allocated,
// and the checksum afterwards.
//
// libzip does not tell where an entry lies in the package, so Open reads
// that from the central directory itself (the one libzip accepted: same
// count, same names in the same order) to find entries whose data overlaps.
#include "office/containers/zippackage.h"

#include "office/text/hugepages.h"
#include "platform/cancellation.h"

#include <libdeflate.h>
#include <zip.h>

#include <algorithm>
#include <numeric>
#include <unordered_map>

#ifndef VARNEL_LIBZIP_SONAME
#error "the build names the libzip to open (VARNEL_LIBZIP_SONAME)"
#endif

namespace office {

namespace {

// libzip's functions, as pointers of the same names: the calls below go
// through them, unchanged. They are looked up once, when the first package
// is opened (LoadLibzip).
decltype(&::zip_discard) zip_discard = nullptr;
decltype(&::zip_error_code_zip) zip_error_code_zip = nullptr;
decltype(&::zip_error_fini) zip_error_fini = nullptr;
decltype(&::zip_error_init) zip_error_init = nullptr;
decltype(&::zip_error_strerror) zip_error_strerror = nullptr;
decltype(&::zip_fclose) zip_fclose = nullptr;
decltype(&::zip_file_strerror) zip_file_strerror = nullptr;
decltype(&::zip_fopen_index) zip_fopen_index = nullptr;
decltype(&::zip_fread) zip_fread = nullptr;
decltype(&::zip_get_name) zip_get_name = nullptr;
decltype(&::zip_get_num_entries) zip_get_num_entries = nullptr;
decltype(&::zip_open_from_source) zip_open_from_source = nullptr;
decltype(&::zip_source_buffer_create) zip_source_buffer_create = nullptr;
decltype(&::zip_source_free) zip_source_free = nullptr;
decltype(&::zip_stat_index) zip_stat_index = nullptr;
decltype(&::zip_stat_init) zip_stat_init = nullptr;
decltype(&::zip_strerror) zip_strerror = nullptr;

// Whether every pointer above is set; the first call sets them (all
// threads wait for it), later ones only answer.
bool LoadLibzip()
{
    static const bool loaded = [] {
        platform::LazyLibrary& library = ZipLibrary();
        bool all = true;
        auto look = [&](auto& function, const char* name) { all = library.Look(function, name) && all; };
        look(zip_discard, "zip_discard");
        look(zip_error_code_zip, "zip_error_code_zip");
        look(zip_error_fini, "zip_error_fini");
        look(zip_error_init, "zip_error_init");
        look(zip_error_strerror, "zip_error_strerror");
        look(zip_fclose, "zip_fclose");
        look(zip_file_strerror, "zip_file_strerror");
        look(zip_fopen_index, "zip_fopen_index");
        look(zip_fread, "zip_fread");
        look(zip_get_name, "zip_get_name");
        look(zip_get_num_entries, "zip_get_num_entries");
        look(zip_open_from_source, "zip_open_from_source");
        look(zip_source_buffer_create, "zip_source_buffer_create");
        look(zip_source_free, "zip_source_free");
        look(zip_stat_index, "zip_stat_index");
        look(zip_stat_init, "zip_stat_init");
        look(zip_strerror, "zip_strerror");
        return all;
    }();
    return loaded;
}

constexpr std::size_t kChunk = 64 * 1024;
// End-of-central-directory records tried from the end of the package.
constexpr int kMaxDirectoryCandidates = 4;

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

std::uint64_t Le(ByteView b, std::size_t at, int bytes)
{
    std::uint64_t v = 0;
    for (int i = bytes - 1; i >= 0; --i) v = (v << 8) | b[at + static_cast<std::size_t>(i)];
    return v;
}

// Where an entry's local header starts and its data ends in the package.
struct Extent {
    std::uint64_t start = 0;
    std::uint64_t dataStart = 0;
    std::uint64_t end = 0;
    bool known = false;
    // Index of an entry whose extent overlaps this one, or -1.
    std::int64_t overlaps = -1;
};

// Reads the central directory that starts the end record at `eocd` and
// fills `extents` when it lists exactly the entries libzip read, in order.
bool ReadDirectory(ByteView b, std::size_t eocd, zip_t* archive, std::uint64_t count, std::vector<Extent>& extents)
{
    std::uint64_t entries = Le(b, eocd + 10, 2);
    std::uint64_t offset = Le(b, eocd + 16, 4);
    if (entries == 0xFFFF || offset == 0xFFFFFFFFu) {
        // Zip64: the locator just before the end record points at the
        // zip64 end record.
        if (eocd < 20 || Le(b, eocd - 20, 4) != 0x07064b50u) return false;
        const std::uint64_t at = Le(b, eocd - 20 + 8, 8);
        if (at > b.size() || b.size() - at < 56 || Le(b, static_cast<std::size_t>(at), 4) != 0x06064b50u) return false;
        entries = Le(b, static_cast<std::size_t>(at) + 32, 8);
        offset = Le(b, static_cast<std::size_t>(at) + 48, 8);
    }
    if (entries != count) return false;
    std::vector<Extent> found(static_cast<std::size_t>(count));
    std::uint64_t p = offset;
    for (std::uint64_t i = 0; i < count; ++i) {
        if (p > b.size() || b.size() - p < 46 || Le(b, static_cast<std::size_t>(p), 4) != 0x02014b50u) return false;
        const auto at = static_cast<std::size_t>(p);
        const std::size_t nameLen = static_cast<std::size_t>(Le(b, at + 28, 2));
        const std::size_t extraLen = static_cast<std::size_t>(Le(b, at + 30, 2));
        const std::size_t commentLen = static_cast<std::size_t>(Le(b, at + 32, 2));
        if (b.size() - at - 46 < nameLen + extraLen + commentLen) return false;
        const char* name = zip_get_name(archive, i, ZIP_FL_ENC_RAW);
        if (name == nullptr ||
            std::string_view(name) != std::string_view(reinterpret_cast<const char*>(&b[at + 46]), nameLen))
            return false;
        std::uint64_t compressed = Le(b, at + 20, 4);
        std::uint64_t local = Le(b, at + 42, 4);
        // The zip64 extra field holds, in this order, those of the sizes and
        // the offset whose 32-bit fields are all ones.
        std::size_t x = at + 46 + nameLen;
        const std::size_t xEnd = x + extraLen;
        while (xEnd - x >= 4) {
            const std::uint64_t id = Le(b, x, 2);
            const std::size_t len = static_cast<std::size_t>(Le(b, x + 2, 2));
            if (xEnd - x - 4 < len) break;
            if (id == 0x0001) {
                std::size_t f = x + 4;
                const std::size_t fEnd = f + len;
                const auto take = [&](std::uint64_t& field) {
                    if (fEnd - f >= 8) {
                        field = Le(b, f, 8);
                        f += 8;
                    }
                };
                std::uint64_t uncompressed = Le(b, at + 24, 4);
                if (uncompressed == 0xFFFFFFFFu) take(uncompressed);
                if (compressed == 0xFFFFFFFFu) take(compressed);
                if (local == 0xFFFFFFFFu) take(local);
            }
            x += 4 + len;
        }
        Extent& e = found[static_cast<std::size_t>(i)];
        if (local <= b.size() && b.size() - local >= 30 && Le(b, static_cast<std::size_t>(local), 4) == 0x04034b50u) {
            const auto l = static_cast<std::size_t>(local);
            const std::uint64_t data = local + 30 + Le(b, l + 26, 2) + Le(b, l + 28, 2);
            if (data <= b.size() && compressed <= b.size() - data) {
                e.start = local;
                e.dataStart = data;
                e.end = data + compressed;
                e.known = true;
            }
        }
        p = at + 46 + nameLen + extraLen + commentLen;
    }
    extents = std::move(found);
    return true;
}

// Marks every entry whose local header and data overlap another's. A
// record listed twice under the same name is one entry, not an overlap:
// lookups by name only ever reach the first.
void MarkOverlaps(std::vector<Extent>& extents, const std::vector<std::string>& names)
{
    std::vector<std::size_t> order(extents.size());
    std::iota(order.begin(), order.end(), std::size_t{0});
    std::sort(order.begin(), order.end(),
              [&](std::size_t a, std::size_t b) { return extents[a].start < extents[b].start; });
    bool any = false;
    std::size_t reach = 0;  // the entry reaching furthest so far
    for (std::size_t i : order) {
        Extent& e = extents[i];
        if (!e.known) continue;
        const Extent& r = extents[reach];
        const bool duplicate = any && e.start == r.start && e.end == r.end && names[i] == names[reach];
        if (any && !duplicate && e.start < r.end) {
            e.overlaps = static_cast<std::int64_t>(reach);
            if (extents[reach].overlaps < 0) extents[reach].overlaps = static_cast<std::int64_t>(i);
        }
        if (!any || e.end > extents[reach].end) reach = i;
        any = true;
    }
}

}  // namespace

struct ZipPackage::Impl {
    ZipLimits limits;
    ReadBudget* budget = nullptr;
    zip_t* archive = nullptr;
    ByteView bytes;
    libdeflate_decompressor* inflater = nullptr;
    std::uint64_t totalRead = 0;
    bool acceptChecksumMismatch = false;
    std::unordered_map<std::string, zip_uint64_t> exact;
    std::unordered_map<std::string, zip_uint64_t> folded;
    std::vector<std::string> names;
    // Empty when the central directory could not be read again: entries are
    // then copied out through libzip and overlaps go unseen (the total cap
    // and the budget still bound them).
    std::vector<Extent> extents;

    ~Impl()
    {
        if (archive != nullptr) zip_discard(archive);
        if (inflater != nullptr) libdeflate_free_decompressor(inflater);
    }

    bool Inflate(zip_uint64_t index, const zip_stat_t& st, const std::string& shown, std::string& out, ReadError& error,
                 BudgetHold& charge);
    // A stored entry copied straight from the package, for a reader that
    // accepts a checksum mismatch (libzip refuses one whatever it is told).
    // False, with `error` left clear, when the entry is not one it can copy.
    bool CopyStored(zip_uint64_t index, const zip_stat_t& st, const std::string& shown, std::string& out,
                    ReadError& error, BudgetHold& charge);

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

    // False, with the reason, for an entry whose declared size passes the
    // entry cap or the package's total.
    bool SizeWithinLimits(const zip_stat_t& st, const std::string& shown, ReadError& error) const
    {
        if (st.size > limits.maxEntryBytes) {
            error = {ReadErrorKind::TooLarge, "part '" + shown + "' is too large"};
            return false;
        }
        if (st.size > limits.maxTotalBytes - std::min(totalRead, limits.maxTotalBytes)) {
            error = {ReadErrorKind::TooLarge, "zip package expands beyond the size limit"};
            return false;
        }
        return true;
    }

    // False, with the reason, for an entry whose data another entry shares.
    bool Unshared(zip_uint64_t index, const std::string& shown, ReadError& error) const
    {
        if (index >= extents.size() || extents[index].overlaps < 0) return true;
        error = {ReadErrorKind::TooLarge, "part '" + shown + "' shares its compressed data with part '" +
                                              names[static_cast<std::size_t>(extents[index].overlaps)] +
                                              "' (a compression bomb)"};
        return false;
    }

    void FindExtents()
    {
        // The end record is the last one (a comment may follow it); a
        // package with several is read the way libzip read it, or not at all.
        const std::size_t n = bytes.size();
        const std::size_t lowest = n > 22 + 65535 ? n - 22 - 65535 : 0;
        int tried = 0;
        for (std::size_t at = n - 22 + 1; at-- > lowest && tried < kMaxDirectoryCandidates;) {
            if (Le(bytes, at, 4) != 0x06054b50u) continue;
            ++tried;
            if (ReadDirectory(bytes, at, archive, names.size(), extents)) {
                MarkOverlaps(extents, names);
                return;
            }
        }
        extents.clear();
    }
};

platform::LazyLibrary& ZipLibrary()
{
    static platform::LazyLibrary library(VARNEL_LIBZIP_SONAME);
    return library;
}

ZipPackage::ZipPackage(ReadBudget* budget) : ZipPackage(ZipLimits{}, budget) {}

ZipPackage::ZipPackage(const ZipLimits& limits, ReadBudget* budget) : m_impl(std::make_unique<Impl>())
{
    m_impl->limits = limits;
    m_impl->budget = budget;
}

ZipPackage::~ZipPackage() = default;

bool ZipPackage::Open(ByteView bytes, ReadError& error)
{
    const ZipLimits limits = m_impl->limits;
    ReadBudget* const budget = m_impl->budget;
    const bool acceptChecksumMismatch = m_impl->acceptChecksumMismatch;
    m_impl = std::make_unique<Impl>();
    m_impl->limits = limits;
    m_impl->budget = budget;
    m_impl->acceptChecksumMismatch = acceptChecksumMismatch;

    // libzip opens zero bytes as an empty archive; a package needs at least
    // its end-of-central-directory record.
    if (bytes.size() < 22) {
        error = {ReadErrorKind::NotThisFormat, "not a valid zip package: too short"};
        return false;
    }
    if (!LoadLibzip()) {
        const std::string why = ZipLibrary().Error();
        error = {ReadErrorKind::Unreadable,
                 "cannot read packages: " + ZipLibrary().Name() + (why.empty() ? " lacks a function" : ": " + why)};
        return false;
    }
    zip_error_t zerr;
    zip_error_init(&zerr);
    zip_source_t* source = zip_source_buffer_create(bytes.data(), bytes.size(), 0, &zerr);
    if (source == nullptr) {
        error = {ReadErrorKind::Unreadable, std::string("cannot read package: ") + zip_error_strerror(&zerr)};
        zip_error_fini(&zerr);
        return false;
    }
    zip_t* archive = zip_open_from_source(source, ZIP_RDONLY, &zerr);
    if (archive == nullptr) {
        // Bytes without a zip directory are another format; a directory
        // that libzip cannot follow is a damaged package.
        const ReadErrorKind kind = zip_error_code_zip(&zerr) == ZIP_ER_NOZIP ? ReadErrorKind::NotThisFormat
                                                                             : ReadErrorKind::Damaged;
        error = {kind, std::string("not a valid zip package: ") + zip_error_strerror(&zerr)};
        zip_error_fini(&zerr);
        zip_source_free(source);
        return false;
    }
    zip_error_fini(&zerr);
    m_impl->archive = archive;
    m_impl->bytes = bytes;

    const zip_int64_t count = zip_get_num_entries(archive, 0);
    if (count < 0 || static_cast<std::uint64_t>(count) > limits.maxEntries) {
        error = {ReadErrorKind::TooLarge, "zip package has too many entries"};
        return false;
    }
    platform::StopCheck stop(1024);
    for (zip_uint64_t i = 0; i < static_cast<zip_uint64_t>(count); ++i) {
        stop();
        const char* raw = zip_get_name(archive, i, ZIP_FL_ENC_RAW);
        // A nameless entry keeps its place, so indexes stay libzip's.
        std::string name(raw != nullptr ? raw : "");
        if (raw != nullptr) {
            // The first entry of a name wins, as it does for libzip's own
            // lookup. Find ignores a leading '/' of the name asked for, so
            // the names it looks among go without theirs too: some writers
            // store "/xl/workbook.xml".
            const std::string_view key = StripLeadingSlash(name);
            m_impl->exact.emplace(key, i);
            m_impl->folded.emplace(LowerAscii(key), i);
        }
        m_impl->names.push_back(std::move(name));
    }
    m_impl->FindExtents();
    return true;
}

void ZipPackage::SetAcceptChecksumMismatch(bool accept)
{
    m_impl->acceptChecksumMismatch = accept;
}

bool ZipPackage::HasEntry(std::string_view name) const
{
    zip_uint64_t index = 0;
    return m_impl->archive != nullptr && m_impl->Find(name, index);
}

bool ZipPackage::StreamEntry(std::string_view name, const std::function<bool(std::string_view)>& sink, ReadError& error)
{
    const std::string shown(StripLeadingSlash(name));
    zip_uint64_t index = 0;
    if (m_impl->archive == nullptr || !m_impl->Find(name, index)) {
        error = {ReadErrorKind::Damaged, "part '" + shown + "' is missing"};
        return false;
    }
    if (!m_impl->Unshared(index, shown, error)) return false;
    zip_stat_t st;
    zip_stat_init(&st);
    if (zip_stat_index(m_impl->archive, index, 0, &st) != 0) {
        error = {ReadErrorKind::Damaged, "part '" + shown + "' is damaged"};
        return false;
    }
    const ZipLimits& lim = m_impl->limits;
    const bool haveSize = (st.valid & ZIP_STAT_SIZE) != 0;
    const bool haveCompSize = (st.valid & ZIP_STAT_COMP_SIZE) != 0;
    if (haveSize && st.size > lim.maxEntryBytes) {
        error = {ReadErrorKind::TooLarge, "part '" + shown + "' is too large"};
        return false;
    }
    if ((st.valid & ZIP_STAT_ENCRYPTION_METHOD) != 0 && st.encryption_method != ZIP_EM_NONE) {
        error = {ReadErrorKind::Encrypted, "part '" + shown + "' is encrypted"};
        return false;
    }
    zip_file_t* file = zip_fopen_index(m_impl->archive, index, 0);
    if (file == nullptr) {
        error = {ReadErrorKind::Damaged, "part '" + shown + "' cannot be read: " + zip_strerror(m_impl->archive)};
        return false;
    }
    const std::uint64_t compressed = haveCompSize ? st.comp_size : 0;
    std::uint64_t produced = 0;
    char buffer[kChunk];
    bool ok = true;
    platform::StopCheck stop(16);
    try {
        for (;;) {
            stop();
            const zip_int64_t n = zip_fread(file, buffer, sizeof buffer);
            if (n < 0) {
                error = {ReadErrorKind::Damaged, "part '" + shown + "' is damaged: " + zip_file_strerror(file)};
                ok = false;
                break;
            }
            if (n == 0) break;
            const auto got = static_cast<std::uint64_t>(n);
            produced += got;
            m_impl->totalRead += got;
            if (produced > lim.maxEntryBytes) {
                error = {ReadErrorKind::TooLarge, "part '" + shown + "' is too large"};
                ok = false;
                break;
            }
            if (haveSize && produced > st.size) {
                error = {ReadErrorKind::Damaged, "part '" + shown + "' is larger than its zip header says"};
                ok = false;
                break;
            }
            if (m_impl->totalRead > lim.maxTotalBytes) {
                error = {ReadErrorKind::TooLarge, "zip package expands beyond the size limit"};
                ok = false;
                break;
            }
            if (produced > lim.ratioFloorBytes && produced / std::max<std::uint64_t>(compressed, 1) > lim.maxRatio) {
                error = {ReadErrorKind::TooLarge, "part '" + shown + "' expands too much (compression bomb)"};
                ok = false;
                break;
            }
            if (!sink(std::string_view(buffer, static_cast<std::size_t>(got)))) {
                ok = false;
                break;
            }
        }
    } catch (...) {
        zip_fclose(file);
        throw;
    }
    zip_fclose(file);
    if (ok && haveSize && produced != st.size) {
        error = {ReadErrorKind::Damaged, "part '" + shown + "' is shorter than its zip header says"};
        ok = false;
    }
    return ok;
}

bool ZipPackage::Impl::Inflate(zip_uint64_t index, const zip_stat_t& st, const std::string& shown, std::string& out,
                               ReadError& error, BudgetHold& charge)
{
    // Every check on declared sizes comes before the allocation they size.
    if (!SizeWithinLimits(st, shown, error)) return false;
    if (st.size > limits.ratioFloorBytes && st.size / std::max<std::uint64_t>(st.comp_size, 1) > limits.maxRatio) {
        error = {ReadErrorKind::TooLarge, "part '" + shown + "' expands too much (compression bomb)"};
        return false;
    }
    if (st.comp_size > bytes.size()) {
        error = {ReadErrorKind::Damaged, "part '" + shown + "' is damaged: it is larger than the package"};
        return false;
    }
    if (!charge.TryAdd(st.size)) {
        error = {ReadErrorKind::TooLarge, charge.Refusal(charge.Bytes() + st.size, "part '" + shown + "'")};
        return false;
    }
    // Within the limits, an entry that shares its data with another is
    // still refused: each would inflate the same bytes again.
    if (!Unshared(index, shown, error)) return false;
    // The compressed data: in place when the directory said where it lies,
    // else a copy through libzip (charged too).
    ByteView compressed;
    std::string copy;
    if (index < extents.size() && extents[index].known &&
        extents[index].end - extents[index].dataStart == st.comp_size) {
        compressed =
            bytes.subspan(static_cast<std::size_t>(extents[index].dataStart), static_cast<std::size_t>(st.comp_size));
    } else {
        if (!charge.TryAdd(st.comp_size)) {
            error = {ReadErrorKind::TooLarge,
                     charge.Refusal(charge.Bytes() + st.comp_size, "the compressed data of part '" + shown + "'")};
            return false;
        }
        copy.resize(static_cast<std::size_t>(st.comp_size));
        zip_file_t* file = zip_fopen_index(archive, index, ZIP_FL_COMPRESSED);
        if (file == nullptr) {
            error = {ReadErrorKind::Damaged, "part '" + shown + "' cannot be read: " + zip_strerror(archive)};
            return false;
        }
        const zip_int64_t got = zip_fread(file, copy.data(), st.comp_size);
        zip_fclose(file);
        if (got < 0 || static_cast<zip_uint64_t>(got) != st.comp_size) {
            error = {ReadErrorKind::Damaged, "part '" + shown + "' is damaged: its compressed data is cut short"};
            return false;
        }
        compressed = ByteView(reinterpret_cast<const std::uint8_t*>(copy.data()), copy.size());
    }
    if (inflater == nullptr) inflater = libdeflate_alloc_decompressor();
    if (inflater == nullptr) {
        error = {ReadErrorKind::TooLarge, "out of memory"};
        return false;
    }
    out.clear();
    ReserveLarge(out, static_cast<std::size_t>(st.size));
    out.resize(static_cast<std::size_t>(st.size));
    std::size_t produced = 0;
    const libdeflate_result result = libdeflate_deflate_decompress(inflater, compressed.data(), compressed.size(),
                                                                   out.data(), out.size(), &produced);
    totalRead += produced;
    std::string().swap(copy);
    charge.ShrinkTo(st.size);
    if (result == LIBDEFLATE_SUCCESS && produced == out.size()) {
        if (libdeflate_crc32(0, out.data(), out.size()) == st.crc) return true;
        // Complete data of the declared size whose checksum differs: a byte
        // changed somewhere; what is there can still be read.
        if (acceptChecksumMismatch) return true;
    }
    if (result == LIBDEFLATE_INSUFFICIENT_SPACE)
        error = {ReadErrorKind::Damaged, "part '" + shown + "' is larger than its zip header says"};
    else if (result == LIBDEFLATE_SUCCESS && produced != out.size())
        error = {ReadErrorKind::Damaged, "part '" + shown + "' is shorter than its zip header says"};
    else if (result == LIBDEFLATE_SUCCESS)
        error = {ReadErrorKind::Damaged, "part '" + shown + "' is damaged: CRC error"};
    else error = {ReadErrorKind::Damaged, "part '" + shown + "' is damaged: invalid compressed data"};
    out.clear();
    out.shrink_to_fit();
    return false;
}

bool ZipPackage::Impl::CopyStored(zip_uint64_t index, const zip_stat_t& st, const std::string& shown, std::string& out,
                                  ReadError& error, BudgetHold& charge)
{
    if (index >= extents.size() || !extents[index].known || st.size != st.comp_size ||
        extents[index].end - extents[index].dataStart != st.comp_size)
        return false;
    if (!SizeWithinLimits(st, shown, error)) return false;
    if (!Unshared(index, shown, error)) return false;
    if (!charge.TryAdd(st.size)) {
        error = {ReadErrorKind::TooLarge, charge.Refusal(charge.Bytes() + st.size, "part '" + shown + "'")};
        return false;
    }
    const ByteView data =
        bytes.subspan(static_cast<std::size_t>(extents[index].dataStart), static_cast<std::size_t>(st.size));
    out.assign(reinterpret_cast<const char*>(data.data()), data.size());
    totalRead += st.size;
    return true;
}

bool ZipPackage::ReadWhole(std::string_view name, std::string& out, ReadError& error, BudgetHold& charge)
{
    platform::ThrowIfStopRequested();
    zip_uint64_t index = 0;
    zip_stat_t st;
    zip_stat_init(&st);
    constexpr zip_uint64_t kNeeded = ZIP_STAT_SIZE | ZIP_STAT_COMP_SIZE | ZIP_STAT_COMP_METHOD | ZIP_STAT_CRC;
    if (m_impl->archive != nullptr && m_impl->Find(name, index) &&
        zip_stat_index(m_impl->archive, index, 0, &st) == 0 && (st.valid & kNeeded) == kNeeded &&
        st.comp_method == ZIP_CM_DEFLATE &&
        ((st.valid & ZIP_STAT_ENCRYPTION_METHOD) == 0 || st.encryption_method == ZIP_EM_NONE)) {
        const std::string shown(StripLeadingSlash(name));
        const bool ok = m_impl->Inflate(index, st, shown, out, error, charge);
        platform::ThrowIfStopRequested();
        return ok;
    }
    const std::string shown(StripLeadingSlash(name));
    if (m_impl->acceptChecksumMismatch && m_impl->archive != nullptr && m_impl->Find(name, index) &&
        zip_stat_index(m_impl->archive, index, 0, &st) == 0 && (st.valid & kNeeded) == kNeeded &&
        st.comp_method == ZIP_CM_STORE &&
        ((st.valid & ZIP_STAT_ENCRYPTION_METHOD) == 0 || st.encryption_method == ZIP_EM_NONE)) {
        error.Clear();
        if (m_impl->CopyStored(index, st, shown, out, error, charge)) return true;
        if (!error.ok()) return false;
    }
    // Stored, encrypted, missing or unusual entries: the streamed path
    // gives each its answer. The data is charged as it grows, a step ahead.
    std::string data;
    bool refused = false;
    const bool ok = StreamEntry(
        name,
        [&](std::string_view piece) {
            // Room for the piece, and for the old copy while the string
            // moves to a larger buffer.
            const std::uint64_t grown = data.size() + piece.size();
            const bool moves = grown > data.capacity();
            const std::uint64_t need = grown + (moves ? data.size() : 0);
            if (!charge.TryCover(need)) {
                error = {ReadErrorKind::TooLarge, charge.Refusal(need, "part '" + shown + "'")};
                refused = true;
                return false;
            }
            data.append(piece);
            if (moves) charge.ShrinkTo(grown);  // the old copy is gone
            return true;
        },
        error);
    if (ok) {
        out = std::move(data);
        charge.ShrinkTo(out.size());
    }
    return ok && !refused;
}

bool ZipPackage::ReadEntry(std::string_view name, std::string& out, ReadError& error, BudgetHold* hold)
{
    out.clear();
    BudgetHold charge(m_impl->budget);
    if (!ReadWhole(name, out, error, charge)) return false;
    if (hold != nullptr) *hold = std::move(charge);
    return true;
}

std::vector<std::string> ZipPackage::EntryNames() const
{
    return m_impl->names;
}

std::uint64_t ZipPackage::TotalBytesRead() const
{
    return m_impl->totalRead;
}

bool DecodePartTarget(std::string_view target, std::string& decoded)
{
    // Decode %XX escapes first; anything after '#' is a fragment, not a part.
    decoded.clear();
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
    if (colon != std::string::npos && decoded.find('/') > colon) return false;
    return !decoded.empty();
}

std::string ResolvePartTarget(std::string_view sourcePart, std::string_view target)
{
    std::string decoded;
    if (!DecodePartTarget(target, decoded)) return {};

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
