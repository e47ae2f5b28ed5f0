// Lookup in the string table (see stringtable.h): a binary search over the
// program's texts, which res/strings.cpp keeps in ascending order of ids.
#include "platform/stringtable.h"

#include "res/strings.h"

#include <algorithm>

namespace {

const ResourceString* Find(UINT id)
{
    const std::span<const ResourceString> table = ResourceStrings();
    const auto it = std::lower_bound(table.begin(), table.end(), id,
                                     [](const ResourceString& entry, UINT key) { return entry.id < key; });
    return it != table.end() && it->id == id ? &*it : nullptr;
}

}  // namespace

std::string LoadString(UINT id)
{
    const ResourceString* entry = Find(id);
    return entry == nullptr ? std::string() : std::string(entry->text);
}

bool HasString(UINT id)
{
    return Find(id) != nullptr;
}
