// The "drives" of the folder tree: the mounted file systems a person would
// pick to search, read from the mount table. The root file system is always
// listed (as a fixed drive), the home folder's file system where it is a
// separate mount, and removable or optical media mounted under /media,
// /run/media and /mnt. Pseudo, network and container file systems are left
// out: searching them is either meaningless or would walk another machine.
#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <vector>

enum class DriveKind {
    Fixed,
    Removable,
    Optical,
};

struct CDriveEntry {
    std::string mountPoint;  // the drive's path, e.g. "/" or "/media/me/USB"
    std::string label;       // volume label, empty when there is none
    DriveKind kind = DriveKind::Fixed;
};

class CDriveList {
public:
    // Label of a block device ("/dev/sdb1"), empty when it has none.
    using LabelLookup = std::function<std::string(const std::string& device)>;

    // The mount table is read at most this far; a longer one is cut off.
    static constexpr std::size_t kMaxTableBytes = 4u << 20;
    static constexpr std::size_t kMaxLines = 20000;

    // Picks the drives out of mount-table text (the format of
    // /proc/self/mounts). `homeDir` is the user's home folder; `labelOf`
    // may be empty (no labels).
    static std::vector<CDriveEntry> Parse(std::string_view mountsText, const std::string& homeDir,
                                          const LabelLookup& labelOf);

    // The drives of this machine: /proc/self/mounts, $HOME, and the labels
    // of /dev/disk/by-label. Falls back to "/" alone when the table cannot
    // be read, so the tree always has something to show.
    static std::vector<CDriveEntry> Read();

    // Undoes the octal escapes the mount table uses for blanks and
    // backslashes in paths ("\040" is a space).
    static std::string UnescapeMountField(std::string_view field);
    // Undoes the "\x20" escapes of the names in /dev/disk/by-label.
    static std::string UnescapeLabel(std::string_view name);

    // The tree's text for a drive: its label, then the mount point in
    // brackets: "Data(/media/me/Data)", "(/)".
    static std::string DriveText(const CDriveEntry& drive);

    // Whether a file-system type holds files on a local disk or medium.
    static bool IsDiskFileSystem(std::string_view type);
    static bool IsOpticalFileSystem(std::string_view type);
};
