// File Information Block parsing (see docfib.h). Offsets are those of the
// published Word binary format; every field is read through the checked
// helpers, so a truncated FIB fails instead of reading past the stream.
#include "office/word/docfib.h"

#include "office/word/docbytes.h"

namespace office {

namespace {

// Word 97 and later sign the FIB with 0xA5EC, Word 6.0/95 with 0xA5DC.
constexpr std::uint16_t kWordIdent = 0xA5EC;
constexpr std::uint16_t kWord6Ident = 0xA5DC;
// Word 95 writes nFib 104; the range covers the variants of Word 6/95.
constexpr std::uint16_t kLastWord6Fib = 105;

// Word 6/95 FIB: story lengths from 0x34, piece table at 0x160.
constexpr std::size_t kW6Ccp = 0x34;
constexpr std::size_t kW6FcClx = 0x160;
constexpr std::size_t kW6FcStshf = 0x60;
constexpr std::size_t kW6FcSttbfFfn = 0xD0;

// Word 97 FIB: csw (count of 16-bit values) at 0x20, then those values,
// then cslw and the 32-bit values whose 4th is ccpText; the fc/lcb pairs
// follow, and the piece table's pair is the 34th of them.
constexpr std::uint16_t kW97Csw = 14;
constexpr std::size_t kW97ClxPairIndex = 33;

}  // namespace

bool ParseDocFib(ByteView b, DocFib& fib, ReadError& error)
{
    using namespace docbytes;
    fib = DocFib{};
    std::uint16_t ident = 0;
    std::uint16_t flags = 0;
    if (!U16(b, 0, ident) || !U16(b, 2, fib.nFib) || !U16(b, 6, fib.lid) || !U16(b, 0x0A, flags) ||
        !U32(b, 0x18, fib.fcMin) || !U32(b, 0x1C, fib.fcMac)) {
        error = {ReadErrorKind::Damaged, "Word document header is truncated"};
        return false;
    }
    // Some Word 95 writers put another signature in; the version number and
    // the layout checks below still have to fit.
    const bool knownIdent = ident == kWordIdent || ident == kWord6Ident;
    if (!knownIdent && (ident & 0xFC00) != 0xA400) {
        error = {ReadErrorKind::NotThisFormat, "not a Word document (bad signature)"};
        return false;
    }
    fib.complex = (flags & 0x0004) != 0;
    fib.encrypted = (flags & 0x0100) != 0;
    fib.tableStream1 = (flags & 0x0200) != 0;
    fib.extChar = (flags & 0x1000) != 0;
    // Past the first few fields an encrypted FIB is ciphertext: stop here
    // and let the caller refuse the document.
    if (fib.encrypted) return true;

    if (fib.nFib < kFirstWord6Fib) {
        error = {ReadErrorKind::UnsupportedVersion, kOldWordRefusal};
        return false;
    }
    if (fib.nFib <= kLastWord6Fib) {
        fib.word6 = true;
        for (std::size_t i = 0; i < fib.ccp.size(); ++i) {
            if (!U32(b, kW6Ccp + 4 * i, fib.ccp[i])) {
                error = {ReadErrorKind::Damaged, "Word document header is truncated"};
                return false;
            }
        }
        if (!U32(b, kW6FcClx, fib.fcClx) || !U32(b, kW6FcClx + 4, fib.lcbClx) || !U32(b, kW6FcStshf, fib.fcStshf) ||
            !U32(b, kW6FcStshf + 4, fib.lcbStshf) || !U32(b, kW6FcSttbfFfn, fib.fcSttbfFfn) ||
            !U32(b, kW6FcSttbfFfn + 4, fib.lcbSttbfFfn)) {
            error = {ReadErrorKind::Damaged, "Word document header is truncated"};
            return false;
        }
        return true;
    }

    // Word 97 and later: walk the variable-length parts of the FIB by their
    // own counts rather than assuming fixed offsets.
    std::uint16_t csw = 0;
    if (!U16(b, 0x20, csw)) {
        error = {ReadErrorKind::Damaged, "Word document header is truncated"};
        return false;
    }
    if (csw != kW97Csw) {
        error = {ReadErrorKind::UnsupportedVersion,
                 "unsupported Word document version (nFib " + std::to_string(fib.nFib) + ")"};
        return false;
    }
    const std::size_t cslwAt = 0x22 + 2u * csw;
    std::uint16_t cslw = 0;
    if (!U16(b, cslwAt, cslw) || cslw < 11) {
        error = {ReadErrorKind::Damaged, "Word document header is damaged"};
        return false;
    }
    const std::size_t lwAt = cslwAt + 2;
    // fibRgLw: cbMac, lProductCreated, lProductRevised, then the eight
    // story lengths in DocStory order.
    for (std::size_t i = 0; i < fib.ccp.size(); ++i) {
        if (!U32(b, lwAt + 4 * (3 + i), fib.ccp[i])) {
            error = {ReadErrorKind::Damaged, "Word document header is truncated"};
            return false;
        }
    }
    const std::size_t cbRgFcLcbAt = lwAt + 4u * cslw;
    std::uint16_t pairs = 0;
    if (!U16(b, cbRgFcLcbAt, pairs) || pairs <= kW97ClxPairIndex) {
        error = {ReadErrorKind::Damaged, "Word document header is damaged"};
        return false;
    }
    const std::size_t clxAt = cbRgFcLcbAt + 2 + 8 * kW97ClxPairIndex;
    if (!U32(b, clxAt, fib.fcClx) || !U32(b, clxAt + 4, fib.lcbClx)) {
        error = {ReadErrorKind::Damaged, "Word document header is truncated"};
        return false;
    }
    return true;
}

}  // namespace office
