// Builds zip packages in memory, for tests of the package and Office Open
// XML readers: the fixtures are made by the tests themselves.
#pragma once

#include "support/hostilesize.h"

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace ziptest {

struct Entry {
    std::string name;
    std::string data;
    bool store = false;  // stored instead of deflated
};

inline std::vector<std::uint8_t> BuildZip(const std::vector<Entry>& entries)
{
    std::vector<hostilesize::ZipEntry> zip;
    for (const Entry& e : entries) zip.push_back({e.name, hostilesize::WholeBody(e.data, e.store)});
    const std::string bytes = hostilesize::BuildZip(zip);
    return {bytes.begin(), bytes.end()};
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
