// Builds zip packages in memory with libzip, for tests of the package and
// Office Open XML readers: the fixtures are made by the tests themselves.
#pragma once

#include <zip.h>

#include <cstdint>
#include <functional>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

namespace ziptest {

struct Entry {
    std::string name;
    std::string data;
    bool store = false;  // stored instead of deflated
};

inline std::vector<std::uint8_t> BuildZip(const std::vector<Entry>& entries)
{
    zip_error_t err;
    zip_error_init(&err);
    zip_source_t* buf = zip_source_buffer_create(nullptr, 0, 0, &err);
    zip_t* za = buf == nullptr ? nullptr : zip_open_from_source(buf, ZIP_TRUNCATE, &err);
    if (za == nullptr) throw std::runtime_error("zip_open_from_source");
    zip_source_keep(buf);
    for (const auto& e : entries) {
        zip_source_t* s = zip_source_buffer(za, e.data.data(), e.data.size(), 0);
        const zip_int64_t idx = zip_file_add(za, e.name.c_str(), s, ZIP_FL_OVERWRITE | ZIP_FL_ENC_UTF_8);
        if (idx < 0) throw std::runtime_error("zip_file_add");
        zip_set_file_compression(za, static_cast<zip_uint64_t>(idx), e.store ? ZIP_CM_STORE : ZIP_CM_DEFLATE, 9);
    }
    if (zip_close(za) != 0 || zip_source_open(buf) != 0) throw std::runtime_error("zip_close");
    zip_source_seek(buf, 0, SEEK_END);
    std::vector<std::uint8_t> out(static_cast<std::size_t>(zip_source_tell(buf)));
    zip_source_seek(buf, 0, SEEK_SET);
    if (zip_source_read(buf, out.data(), out.size()) != static_cast<zip_int64_t>(out.size()))
        throw std::runtime_error("zip_source_read");
    zip_source_close(buf);
    zip_source_free(buf);
    zip_error_fini(&err);
    return out;
}

inline std::uint32_t Get32(const std::vector<std::uint8_t>& b, std::size_t at)
{
    return static_cast<std::uint32_t>(b[at] | (b[at + 1] << 8) | (b[at + 2] << 16)) |
           (static_cast<std::uint32_t>(b[at + 3]) << 24);
}

inline void Put32(std::vector<std::uint8_t>& b, std::size_t at, std::uint32_t v)
{
    for (std::size_t i = 0; i < 4; ++i) b[at + i] = static_cast<std::uint8_t>(v >> (8 * i));
}

// Rewrites the uncompressed size of every entry, in the local headers and
// the central directory, to `size`: a package whose headers lie.
inline void RewriteUncompressedSizes(std::vector<std::uint8_t>& zip, std::uint32_t size)
{
    for (std::size_t i = 0; i + 46 <= zip.size(); ++i) {
        const std::uint32_t sig = Get32(zip, i);
        if (sig == 0x04034b50u) Put32(zip, i + 22, size);       // local file header
        else if (sig == 0x02014b50u) Put32(zip, i + 24, size);  // central directory entry
    }
}

// Flips a bit of the checksum the local header and the central directory
// record for each entry `pick` chooses; with `data`, the first byte of its
// deflated data also becomes a block type that does not exist.
inline void BreakEntries(std::vector<std::uint8_t>& zip, const std::function<bool(const std::string&)>& pick,
                         bool data = false)
{
    for (std::size_t i = 0; i + 46 <= zip.size(); ++i) {
        const std::uint32_t sig = Get32(zip, i);
        const bool local = sig == 0x04034b50u;
        if (!local && sig != 0x02014b50u) continue;
        const std::size_t nameAt = i + (local ? 30 : 46);
        const std::size_t nameLen = zip[i + (local ? 26 : 28)] | (zip[i + (local ? 27 : 29)] << 8);
        if (nameAt + nameLen > zip.size()) continue;
        const auto name = zip.begin() + static_cast<std::ptrdiff_t>(nameAt);
        if (!pick(std::string(name, name + static_cast<std::ptrdiff_t>(nameLen)))) continue;
        Put32(zip, i + (local ? 14 : 16), Get32(zip, i + (local ? 14 : 16)) ^ 0x100u);
        if (local && data) zip[nameAt + nameLen + (zip[i + 28] | (zip[i + 29] << 8))] = 0x07;
    }
}

}  // namespace ziptest
