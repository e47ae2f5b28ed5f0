// Finds the package entries that the relationships of one part point at,
// at a cost that follows each target's own length.
//
// Resolving a target the plain way (ResolvePartTarget, then a lookup of the
// name) copies the source part's whole folder into every name it builds, so
// a part with n relationships in a folder named with k bytes costs n * k:
// with a folder name of tens of kilobytes and a million relationships (a few
// hundred kilobytes of zip), hours. Here every entry name is indexed once,
// relative to that folder: a name is held as the number of the folder's
// leading segments it shares and the segments after them. A target is
// brought to the same form by reading only its own segments (".." gives
// back a segment of the folder, a segment equal to the folder's next one
// takes it), so looking it up costs its length, however long the folder.
//
// The answers are those of ZipPackage::HasEntry(ResolvePartTarget(source,
// target)): the exact name first, then one that differs in ASCII case only,
// the first entry of a name winning.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace office {

class PartTargetIndex {
public:
    static constexpr std::size_t npos = static_cast<std::size_t>(-1);

    // `entries`: the package's entry names in the package's order, kept by
    // reference; `sourcePart`: the part whose relationships are resolved.
    PartTargetIndex(const std::vector<std::string>& entries, std::string_view sourcePart);

    // The position in `entries` of the entry a relationship target names,
    // or npos (external, climbing above the root, or no such entry).
    std::size_t Find(std::string_view target);
    // The position of the entry with this part name (no escapes, no "."
    // or ".." segments), or npos.
    std::size_t EntryNamed(std::string_view partName) const;

    const std::string& Name(std::size_t position) const { return m_entries[position]; }

private:
    struct Folder {
        std::vector<std::string> segments;
        std::unordered_map<std::string, std::size_t> entries;  // by key
    };

    // The key of a name already split into segments, or false when no
    // resolved target can have that name.
    static bool EntryKey(const Folder& folder, std::string_view name, std::string& key);
    // The key of a decoded target; false when it climbs above the root or
    // names the root itself.
    bool TargetKey(const Folder& folder, std::string_view decoded, std::string& key);

    const std::vector<std::string>& m_entries;
    Folder m_exact;
    Folder m_folded;  // names and folder in ASCII lower case
    // Reused for every lookup.
    std::string m_decoded;
    std::string m_lowered;
    std::string m_key;
    std::vector<std::string_view> m_rest;
};

}  // namespace office
