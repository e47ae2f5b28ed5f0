// The listings of the driver's walk: every mask of every folder of the work
// list, in walk order. The driver takes them one by one as it reaches them,
// and may look past the current one for the files it will hand to Word and
// Excel next (for the read-ahead service). The walk itself always goes
// through a listing made when it reaches the mask, so that what it searches
// and logs does not depend on whether it looked ahead; a listing made ahead
// only names the coming files (the same ones, in the same order, unless the
// folder changes in between).
#pragma once

#include "platform/wintypes.h"
#include "search/officedetection.h"
#include "search/searchrun.h"

#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <string>
#include <vector>

struct ListedFile {
    std::string path, name;
    bool link = false, directory = false;
    mutable std::int8_t wanted = -1;  // the front end's filter's answer; -1: not asked yet
};

struct ListedMask {
    std::size_t folder = 0, pattern = 0;
    // ERROR_SUCCESS when something matched, else the finder's last error.
    DWORD error = ERROR_SUCCESS;
    bool unreadable = false;  // the folder itself could not be read
    std::vector<ListedFile> files;
};

class CWalkListing {
public:
    // Listed ahead at most this many masks past the current one: a tree of
    // empty folders is not read long before the walk gets there.
    static constexpr std::size_t kMaxMasksAhead = 16;

    CWalkListing(const CFolderWorkList& folders, const CPatternList& patterns);

    // The file kind of the mask's pattern.
    std::int32_t Kind(const ListedMask& mask) const { return m_patterns[mask.pattern].nKind; }
    // The listing of a mask, taken in walk order: listed now.
    ListedMask Take(std::size_t folder, std::size_t pattern);
    // Up to `count` files that the walk reaches after file `index` of
    // `current` and for which `wanted` holds, listing later masks as needed.
    struct Coming {
        const ListedFile* file;
        std::int32_t kind;
    };
    std::vector<Coming> Following(const ListedMask& current, std::size_t index, std::size_t count,
                                  const std::function<bool(const ListedFile&, std::int32_t kind)>& wanted);

private:
    ListedMask List(std::size_t folder, std::size_t pattern) const;
    // The mask the walk visits after `mask`; false past the end.
    bool After(const ListedMask& mask, std::size_t& folder, std::size_t& pattern) const;

    std::vector<std::string> m_dirs;
    const CPatternList& m_patterns;
    std::deque<ListedMask> m_ahead;
};
