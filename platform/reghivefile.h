// A hive kept in a file that other instances of the program share. Reads
// follow the file: when another instance has replaced it, the next look
// re-reads it. Every change is made to the hive as it is on disk at that
// moment, under an exclusive lock on a lock file beside it, and written
// whole to a temporary file that is synced and renamed over the hive, so
// two instances merge their changes and a crash leaves either the old or
// the new hive, never a torn one. A damaged hive is never written over
// before a copy of it has been kept (hive.damaged-<n>).
#pragma once

#include "platform/reghive.h"
#include "platform/wintypes.h"

#include <sys/stat.h>
#include <functional>
#include <string>

class CRegHiveFile {
public:
    // fileName is the hive's name in the settings folder when no path is
    // set: user.reg for the user's settings.
    explicit CRegHiveFile(std::string rootName, std::string fileName = "user.reg");

    // An empty path means the default (see DefaultUserPath).
    void SetPath(std::string path);
    const std::string& Path();
    // $XDG_CONFIG_HOME/Varnel/user.reg, else ~/.config/Varnel/user.reg;
    // "" when no home folder can be found.
    static std::string DefaultUserPath();
    // The same folder with another file name.
    static std::string DefaultPathFor(const std::string& fileName);

    // Brings the hive up to date with the file, if it changed.
    void Refresh();
    const CRegHive& Hive() const { return m_hive; }

    // Applies change to the hive as it is on disk now and, when change
    // reports that it changed something, writes the result back. change
    // returns ERROR_SUCCESS or the error to give up with.
    LONG Update(const std::function<LONG(CRegHive&, bool& changed)>& change);

    // Reads at most CRegHive::kMaxFileBytes of a regular file. Returns 0,
    // or an errno value: ENOENT for a missing file, EFBIG for a file over
    // the size cap, EISDIR/EINVAL for something that is not a file.
    static int ReadFile(const std::string& path, std::string& bytes, struct stat* info);

    // Tests: called after the temporary file is complete and synced and
    // before it is renamed over the hive, the moment a crash would hurt
    // most. A hook that ends the process simulates that crash.
    static void SetBeforeRenameHookForTesting(void (*hook)());

private:
    struct Stamp {
        bool exists = false;
        dev_t dev = 0;
        ino_t ino = 0;
        off_t size = 0;
        long long mtimeNs = 0;
        long long ctimeNs = 0;
        bool operator==(const Stamp&) const = default;
    };
    static Stamp StampOf(const struct stat& st);

    void Adopt(const std::string& bytes, const Stamp& stamp, bool announceDamage);
    bool PreserveDamaged(const std::string& target, const std::string& bytes, bool haveBytes);
    int WriteAtomically(const std::string& target, const std::string& text, mode_t mode);

    std::string m_rootName;
    std::string m_fileName;
    std::string m_path;
    bool m_pathResolved = false;
    CRegHive m_hive;
    bool m_loaded = false;
    Stamp m_stamp;
    std::string m_bytes;  // the file as last read, to notice same-stamp rewrites
    bool m_damageAnnounced = false;
};
