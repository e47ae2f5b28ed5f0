// The file-drop block of the Windows clipboard (CF_HDROP): a 20-byte
// DROPFILES header followed by the paths in UTF-16, each ended by a zero
// character, and zero characters up to the block's end. Built here without
// any window system so the byte layout can be checked exactly; the Linux
// clipboard takes the same files as URLs (see clipboardfiles.h).
#pragma once

#include "platform/wintypes.h"

#include <string>
#include <vector>

class CDropFiles {
public:
    static constexpr UINT CF_HDROP = 15;
    static constexpr DWORD kHeaderSize = 20;
    // "Preferred DropEffect": 1 means copy, so a paste copies the files.
    static constexpr DWORD DROPEFFECT_COPY = 1;

    // The CF_HDROP block for these paths (system code page): with L the
    // bytes of all paths and their terminating zeros, the block is
    // 2 * L + 28 bytes. Empty when there are no paths.
    static std::vector<BYTE> BuildHDrop(const std::vector<std::string>& paths);
    // The 4-byte "Preferred DropEffect" block holding DROPEFFECT_COPY.
    static std::vector<BYTE> BuildDropEffect();
};
