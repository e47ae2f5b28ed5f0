// libFuzzer target for the compound-file container alone (libgsf under our
// CompoundFile): open, list the root storage, and read every stream it
// names, plus the streams the readers ask for by name. Each stream read is
// capped, as the readers cap theirs, so a directory entry that claims a
// huge size is refused; a stream read must hold exactly the size libgsf
// reported for it.
#include "office/containers/compoundfile.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    office::CompoundFile file;
    office::ReadError error;
    if (!file.Open(office::ByteView(data, size), error)) {
        if (error.ok()) __builtin_trap();
        return 0;
    }
    std::vector<std::string> names = file.RootNames();
    for (const char* wanted : {"WordDocument", "1Table", "0Table", "Workbook", "Book", "EncryptionInfo"})
        names.emplace_back(wanted);
    constexpr std::size_t kCap = std::size_t{64} << 20;
    for (const std::string& name : names) {
        std::vector<std::uint8_t> stream;
        office::ReadError streamError;
        const bool ok = file.ReadStream(name, stream, streamError, kCap);
        if (!ok && streamError.ok()) __builtin_trap();
        if (!ok && !stream.empty()) __builtin_trap();
        if (ok && !file.HasStream(name)) __builtin_trap();
        if (stream.size() > kCap) __builtin_trap();
    }
    return 0;
}
