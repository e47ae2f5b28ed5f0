// A zip package (.docx, .xlsx and their kin) opened read-only from memory
// with libzip. Every entry is read against caps on its own size, on the
// whole package's output and on its compression ratio, and is charged to
// the file's memory budget before it is inflated, so a zip bomb or an entry
// whose header lies about its size fails instead of filling memory. Entries
// whose data overlaps another entry's (several names for one deflated body,
// the trick of the non-recursive zip bombs) are refused rather than inflated
// again and again. Also resolves Open Packaging Convention part names, which
// is how the parts of a package point at each other.
#pragma once

#include "office/containers/readbudget.h"
#include "office/containers/readerror.h"
#include "office/text/byteview.h"
#include "platform/lazylibrary.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace office {

struct ZipLimits {
    // Largest uncompressed entry that may be read.
    std::uint64_t maxEntryBytes = std::uint64_t{256} * 1024 * 1024;
    // Sum of all uncompressed bytes read from one package: a bound on the
    // work, whatever is released in between.
    std::uint64_t maxTotalBytes = std::uint64_t{1024} * 1024 * 1024;
    // An entry that has produced more than ratioFloorBytes may not expand
    // to more than maxRatio times its compressed size.
    std::uint64_t ratioFloorBytes = std::uint64_t{1024} * 1024;
    std::uint64_t maxRatio = 200;
    // Entries in the central directory.
    std::uint64_t maxEntries = 100000;
};

class ZipPackage {
public:
    // Entries read are charged to `budget` (none: only the caps apply).
    explicit ZipPackage(ReadBudget* budget = nullptr);
    explicit ZipPackage(const ZipLimits& limits, ReadBudget* budget = nullptr);
    ~ZipPackage();
    ZipPackage(const ZipPackage&) = delete;
    ZipPackage& operator=(const ZipPackage&) = delete;

    // Opens the package held in `bytes`, which must outlive this object.
    bool Open(ByteView bytes, ReadError& error);

    // Whether an entry whose data inflates completely to the size its
    // headers give, but whose checksum differs, is read as it stands (its
    // bytes are what the file holds) instead of being refused as damaged.
    // Off unless set; it stays as set across Open.
    void SetAcceptChecksumMismatch(bool accept);

    // Finds an entry by name. The exact (case-sensitive) name wins; failing
    // that, a name that differs only in ASCII case, because part names in a
    // package are case-insensitive and some writers are sloppy about it.
    // A leading '/' (an OPC part name) is ignored.
    bool HasEntry(std::string_view name) const;

    // Reads a whole entry. Fails when it is missing, encrypted, damaged
    // (a wrong checksum, unless accepted above, or a size other than the
    // header's, or data that does not inflate), shares
    // its data with another entry, or breaks one of the limits or the budget
    // ("too large: ..."). The entry's bytes stay charged to the budget in
    // `hold` for as long as the caller keeps them; without a hold the charge
    // ends when the call returns. Checks the stop request.
    bool ReadEntry(std::string_view name, std::string& out, ReadError& error, BudgetHold* hold = nullptr);

    std::vector<std::string> EntryNames() const;

    // Uncompressed bytes read so far, counted against maxTotalBytes.
    std::uint64_t TotalBytesRead() const;

private:
    // Reads an entry through libzip in pieces as it is decompressed, under
    // the same limits: for stored entries and anything not plainly deflated.
    bool StreamEntry(std::string_view name, const std::function<bool(std::string_view)>& sink, ReadError& error);
    bool ReadWhole(std::string_view name, std::string& out, ReadError& error, BudgetHold& charge);

    struct Impl;
    std::unique_ptr<Impl> m_impl;
};

// libzip, opened when the first package is (see platform/lazylibrary.h).
platform::LazyLibrary& ZipLibrary();

// A relationship's Target with its "%XX" escapes decoded, its fragment
// ("#...") dropped and its backslashes read as slashes. False, with nothing
// to resolve, for an empty target or an external one (with a URI scheme).
bool DecodePartTarget(std::string_view target, std::string& decoded);

// Resolves a relationship's Target against the part that owns the
// relationship (`sourcePart`, e.g. "word/document.xml"), following OPC:
// a target starting with '/' is absolute from the package root, otherwise
// it is relative to the source part's folder; "." and ".." segments are
// folded, "%XX" escapes decoded. The result has no leading '/'. Returns an
// empty string for a target that climbs above the root or is external
// (has a URI scheme).
std::string ResolvePartTarget(std::string_view sourcePart, std::string_view target);

// The relationships part of a part: "word/document.xml" gives
// "word/_rels/document.xml.rels"; the package itself ("") gives
// "_rels/.rels".
std::string RelationshipsPartOf(std::string_view part);

}  // namespace office
