// Reading the drive list out of the mount table (see drivelist.h).
#include "folders/drivelist.h"

#include <algorithm>
#include <array>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <system_error>

namespace {

struct MountLine {
    std::string device;
    std::string mountPoint;
    std::string type;
};

bool IsOctal(char c)
{
    return c >= '0' && c <= '7';
}

int HexValue(char c)
{
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// Splits one mount-table line into its fields; fewer than three fields
// makes the line unusable.
bool SplitLine(std::string_view line, MountLine& out)
{
    std::array<std::string_view, 3> fields;
    std::size_t n = 0;
    std::size_t pos = 0;
    while (n < fields.size() && pos < line.size()) {
        while (pos < line.size() && (line[pos] == ' ' || line[pos] == '\t')) ++pos;
        const std::size_t start = pos;
        while (pos < line.size() && line[pos] != ' ' && line[pos] != '\t') ++pos;
        if (pos > start) fields[n++] = line.substr(start, pos - start);
    }
    if (n < fields.size()) return false;
    out.device = CDriveList::UnescapeMountField(fields[0]);
    out.mountPoint = CDriveList::UnescapeMountField(fields[1]);
    out.type = std::string(fields[2]);
    return !out.mountPoint.empty() && out.mountPoint[0] == '/';
}

// Whether `path` is `dir` or lies below it, compared by whole components.
bool IsAtOrBelow(const std::string& path, const std::string& dir)
{
    if (dir == "/") return !path.empty() && path[0] == '/';
    if (path.compare(0, dir.size(), dir) != 0) return false;
    return path.size() == dir.size() || path[dir.size()] == '/';
}

bool IsMediaMount(const std::string& mountPoint)
{
    static const char* const kMediaRoots[] = {"/media", "/run/media", "/mnt"};
    for (const char* root : kMediaRoots)
        if (IsAtOrBelow(mountPoint, root)) return true;
    return false;
}

std::string LabelFrom(const CDriveList::LabelLookup& labelOf, const std::string& device)
{
    return labelOf ? labelOf(device) : std::string();
}

}  // namespace

std::string CDriveList::UnescapeMountField(std::string_view field)
{
    std::string out;
    out.reserve(field.size());
    for (std::size_t i = 0; i < field.size(); ++i) {
        if (field[i] == '\\' && i + 3 < field.size() && IsOctal(field[i + 1]) && IsOctal(field[i + 2]) &&
            IsOctal(field[i + 3])) {
            const int v = (field[i + 1] - '0') * 64 + (field[i + 2] - '0') * 8 + (field[i + 3] - '0');
            if (v > 0 && v < 256) {
                out.push_back(static_cast<char>(v));
                i += 3;
                continue;
            }
        }
        out.push_back(field[i]);
    }
    return out;
}

std::string CDriveList::UnescapeLabel(std::string_view name)
{
    std::string out;
    out.reserve(name.size());
    for (std::size_t i = 0; i < name.size(); ++i) {
        if (name[i] == '\\' && i + 3 < name.size() && name[i + 1] == 'x') {
            const int hi = HexValue(name[i + 2]);
            const int lo = HexValue(name[i + 3]);
            if (hi >= 0 && lo >= 0 && (hi != 0 || lo != 0)) {
                out.push_back(static_cast<char>(hi * 16 + lo));
                i += 3;
                continue;
            }
        }
        out.push_back(name[i]);
    }
    return out;
}

std::string CDriveList::DriveText(const CDriveEntry& drive)
{
    return drive.label + "(" + drive.mountPoint + ")";
}

bool CDriveList::IsDiskFileSystem(std::string_view type)
{
    static const char* const kDisk[] = {
        "ext2", "ext3",     "ext4",    "xfs", "btrfs",    "vfat",    "msdos", "exfat",
        "ntfs", "ntfs3",    "fuseblk", "hfs", "hfsplus",  "iso9660", "udf",   "f2fs",
        "jfs",  "reiserfs", "nilfs2",  "zfs", "bcachefs", "ufs",     "minix",
    };
    return std::any_of(std::begin(kDisk), std::end(kDisk), [&](const char* t) { return type == t; });
}

bool CDriveList::IsOpticalFileSystem(std::string_view type)
{
    return type == "iso9660" || type == "udf";
}

std::vector<CDriveEntry> CDriveList::Parse(std::string_view mountsText, const std::string& homeDir,
                                           const LabelLookup& labelOf)
{
    if (mountsText.size() > kMaxTableBytes) mountsText = mountsText.substr(0, kMaxTableBytes);

    // A later mount on the same point hides the earlier one, so only the
    // last line for each mount point counts; the order of first appearance
    // is kept for the removable media.
    std::vector<MountLine> mounts;
    std::map<std::string, std::size_t> indexOf;
    std::size_t pos = 0;
    std::size_t lines = 0;
    while (pos < mountsText.size() && lines < kMaxLines) {
        std::size_t end = mountsText.find('\n', pos);
        if (end == std::string_view::npos) end = mountsText.size();
        MountLine line;
        if (SplitLine(mountsText.substr(pos, end - pos), line)) {
            auto found = indexOf.find(line.mountPoint);
            if (found != indexOf.end()) {
                mounts[found->second] = line;
            } else {
                indexOf.emplace(line.mountPoint, mounts.size());
                mounts.push_back(line);
            }
        }
        pos = end + 1;
        ++lines;
    }

    std::vector<CDriveEntry> drives;
    // The root is always offered: it is where everything is, even when it
    // is the overlay of a container.
    {
        const std::string rootPath(1, '/');
        CDriveEntry root{rootPath, std::string(), DriveKind::Fixed};
        auto found = indexOf.find(rootPath);
        if (found != indexOf.end()) root.label = LabelFrom(labelOf, mounts[found->second].device);
        drives.push_back(root);
    }

    // The home folder's file system: the deepest mount that holds it.
    if (!homeDir.empty() && homeDir[0] == '/') {
        const MountLine* best = nullptr;
        for (const MountLine& m : mounts)
            if (IsAtOrBelow(homeDir, m.mountPoint) &&
                (best == nullptr || m.mountPoint.size() > best->mountPoint.size()))
                best = &m;
        if (best != nullptr && best->mountPoint != "/" && IsDiskFileSystem(best->type)) {
            CDriveEntry home;
            home.mountPoint = best->mountPoint;
            home.label = LabelFrom(labelOf, best->device);
            home.kind = DriveKind::Fixed;
            drives.push_back(home);
        }
    }

    for (const MountLine& m : mounts) {
        if (!IsMediaMount(m.mountPoint) || !IsDiskFileSystem(m.type)) continue;
        const bool listed = std::any_of(drives.begin(), drives.end(),
                                        [&](const CDriveEntry& d) { return d.mountPoint == m.mountPoint; });
        if (listed) continue;
        CDriveEntry media;
        media.mountPoint = m.mountPoint;
        media.label = LabelFrom(labelOf, m.device);
        media.kind = IsOpticalFileSystem(m.type) ? DriveKind::Optical : DriveKind::Removable;
        drives.push_back(media);
    }
    return drives;
}

std::vector<CDriveEntry> CDriveList::Read()
{
    std::string text;
    {
        std::ifstream in("/proc/self/mounts", std::ios::binary);
        if (in) {
            std::array<char, 8192> buf{};
            while (text.size() < kMaxTableBytes && in.read(buf.data(), buf.size()), in.gcount() > 0)
                text.append(buf.data(), static_cast<std::size_t>(in.gcount()));
        }
    }

    // Labels: /dev/disk/by-label holds one link per labelled device.
    std::map<std::string, std::string> labels;
    std::error_code ec;
    std::filesystem::directory_iterator it("/dev/disk/by-label", ec);
    std::size_t seen = 0;
    for (; !ec && it != std::filesystem::directory_iterator() && seen < 4096; it.increment(ec), ++seen) {
        std::error_code ec2;
        const std::filesystem::path target = std::filesystem::canonical(it->path(), ec2);
        if (!ec2) labels[target.string()] = UnescapeLabel(it->path().filename().string());
    }
    const LabelLookup labelOf = [&labels](const std::string& device) -> std::string {
        if (device.empty() || device[0] != '/') return {};
        std::error_code e;
        const std::filesystem::path real = std::filesystem::canonical(device, e);
        if (e) return {};
        auto found = labels.find(real.string());
        return found != labels.end() ? found->second : std::string();
    };

    const char* home = std::getenv("HOME");
    return Parse(text, home != nullptr ? std::string(home) : std::string(), labelOf);
}
