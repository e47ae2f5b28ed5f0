// libFuzzer target for the zip package alone (libzip for the directory,
// libdeflate or libzip for the entries, our overlap and size checks): open,
// then read every entry the directory names under a memory budget, and
// resolve each name as a relationship target. An entry read must fit the
// caps it was read against; a resolved part name never climbs out of the
// package or starts with "/".
#include "office/containers/readbudget.h"
#include "office/containers/zippackage.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    office::ZipLimits limits;
    limits.maxEntryBytes = std::uint64_t{64} << 20;
    limits.maxTotalBytes = std::uint64_t{128} << 20;
    office::ReadBudget budget(std::uint64_t{256} << 20);
    office::ZipPackage zip(limits, &budget);
    office::ReadError error;
    if (!zip.Open(office::ByteView(data, size), error)) {
        if (error.ok()) __builtin_trap();
        return 0;
    }
    const std::vector<std::string> names = zip.EntryNames();
    for (const std::string& name : names) {
        if (!zip.HasEntry(name)) __builtin_trap();
        std::string entry;
        office::ReadError entryError;
        office::BudgetHold hold(&budget);
        const bool ok = zip.ReadEntry(name, entry, entryError, &hold);
        if (!ok && entryError.ok()) __builtin_trap();
        if (ok && entry.size() > limits.maxEntryBytes) __builtin_trap();

        const std::string part = office::ResolvePartTarget("word/document.xml", name);
        if (!part.empty() && part.front() == '/') __builtin_trap();
        if (part == ".." || part.rfind("../", 0) == 0 || part.find("/../") != std::string::npos) __builtin_trap();
        (void)office::RelationshipsPartOf(part);
    }
    if (zip.TotalBytesRead() > limits.maxTotalBytes) __builtin_trap();
    return 0;
}
