// Building the CF_HDROP block (see dropfiles.h).
#include "results/dropfiles.h"

#include "platform/codepage.h"

#include <algorithm>

namespace {

void PutDword(std::vector<BYTE>& block, std::size_t offset, DWORD value)
{
    for (std::size_t i = 0; i < 4; ++i) block[offset + i] = static_cast<BYTE>((value >> (8 * i)) & 0xFF);
}

}  // namespace

std::vector<BYTE> CDropFiles::BuildHDrop(const std::vector<std::string>& paths)
{
    std::string list;
    for (const std::string& path : paths) {
        list += path;
        list.push_back('\0');
    }
    const std::size_t length = list.size();
    if (length == 0) return {};

    std::vector<BYTE> block(2 * length + 28, 0);
    PutDword(block, 0, kHeaderSize);  // offset of the file list
    PutDword(block, 4, 0);            // drop point x
    PutDword(block, 8, 0);            // drop point y
    PutDword(block, 12, 0);           // not in the non-client area
    PutDword(block, 16, 1);           // the names are wide characters

    // The zero bytes between paths convert to zero characters. A path in a
    // multi-byte code page never needs more UTF-16 units than bytes, and at
    // most `length` units are written, so the list always ends in at least
    // four zero characters.
    const std::u16string wide = AnsiToWide(list);
    const std::size_t units = std::min(wide.size(), length);
    for (std::size_t i = 0; i < units; ++i) {
        const auto unit = static_cast<std::uint16_t>(wide[i]);
        block[kHeaderSize + 2 * i] = static_cast<BYTE>(unit & 0xFF);
        block[kHeaderSize + 2 * i + 1] = static_cast<BYTE>(unit >> 8);
    }
    return block;
}

std::vector<BYTE> CDropFiles::BuildDropEffect()
{
    std::vector<BYTE> block(4, 0);
    PutDword(block, 0, DROPEFFECT_COPY);
    return block;
}
