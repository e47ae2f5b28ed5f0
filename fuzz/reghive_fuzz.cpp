// Fuzz target for the registry hive text format: whatever is read from a
// damaged or hostile file must write back as a clean hive that reads again
// to exactly the same text.
#include "platform/reghive.h"

#include <cstdint>
#include <cstdlib>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    CRegHive hive("HKEY_CURRENT_USER");
    hive.Parse(std::string_view(reinterpret_cast<const char*>(data), size));
    const std::string written = hive.Serialize();

    CRegHive again("HKEY_CURRENT_USER");
    const CRegHive::ParseReport report = again.Parse(written);
    if (report.Damaged() || again.Serialize() != written) std::abort();
    return 0;
}
