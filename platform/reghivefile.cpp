// A hive file shared between instances: change-following reads, locked
// atomic writes, and a kept copy of a damaged file (see reghivefile.h).
#include "platform/reghivefile.h"

#include <fcntl.h>
#include <pwd.h>
#include <sys/file.h>
#include <unistd.h>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <thread>
#include <vector>

namespace {

void (*g_beforeRenameHook)() = nullptr;

// How long a writer waits for another instance to finish its write. A
// write takes milliseconds; a lock held longer belongs to a hung process,
// and the settings write then fails instead of hanging the program.
constexpr auto kLockWait = std::chrono::seconds(10);

// Only small hives are compared byte for byte on every look; a large one
// is trusted to have changed only when its inode, size or times did.
constexpr std::size_t kCompareBytesUpTo = 256 * 1024;

std::string DirName(const std::string& path)
{
    const std::size_t slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    if (slash == 0) return "/";
    return path.substr(0, slash);
}

int MakeDirs(const std::string& dir)
{
    if (dir.empty() || dir == "/" || dir == ".") return 0;
    struct stat st {};
    if (stat(dir.c_str(), &st) == 0) return S_ISDIR(st.st_mode) ? 0 : ENOTDIR;
    const int parent = MakeDirs(DirName(dir));
    if (parent != 0) return parent;
    if (mkdir(dir.c_str(), 0700) != 0 && errno != EEXIST) return errno;
    return 0;
}

int WriteAll(int fd, const char* data, std::size_t size)
{
    while (size > 0) {
        const ssize_t n = write(fd, data, size);
        if (n < 0) {
            if (errno == EINTR) continue;
            return errno;
        }
        data += n;
        size -= static_cast<std::size_t>(n);
    }
    return 0;
}

int SyncDir(const std::string& dir)
{
    const int fd = open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return errno;
    const int rc = fsync(fd) == 0 ? 0 : errno;
    close(fd);
    // Some file systems cannot sync a folder; the rename is still made.
    return (rc == EINVAL || rc == EROFS) ? 0 : rc;
}

LONG ErrorFromErrno(int err)
{
    return (err == EACCES || err == EPERM || err == EROFS) ? static_cast<LONG>(ERROR_ACCESS_DENIED)
                                                           : static_cast<LONG>(ERROR_CANTWRITE);
}

class CLockFile {
public:
    explicit CLockFile(const std::string& path)
    {
        m_fd = open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
        if (m_fd < 0) {
            m_error = errno;
            return;
        }
        const auto deadline = std::chrono::steady_clock::now() + kLockWait;
        for (;;) {
            if (flock(m_fd, LOCK_EX | LOCK_NB) == 0) return;
            if (errno != EWOULDBLOCK && errno != EINTR) {
                m_error = errno;
                break;
            }
            if (std::chrono::steady_clock::now() >= deadline) {
                m_error = EWOULDBLOCK;
                break;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        close(m_fd);
        m_fd = -1;
    }
    ~CLockFile()
    {
        if (m_fd >= 0) close(m_fd);  // releases the lock
    }
    CLockFile(const CLockFile&) = delete;
    CLockFile& operator=(const CLockFile&) = delete;
    int Error() const { return m_fd >= 0 ? 0 : m_error; }

private:
    int m_fd = -1;
    int m_error = 0;
};

}  // namespace

CRegHiveFile::CRegHiveFile(std::string rootName, std::string fileName)
    : m_rootName(rootName), m_fileName(std::move(fileName)), m_hive(std::move(rootName))
{
}

void CRegHiveFile::SetBeforeRenameHookForTesting(void (*hook)())
{
    g_beforeRenameHook = hook;
}

std::string CRegHiveFile::DefaultUserPath()
{
    return DefaultPathFor("user.reg");
}

std::string CRegHiveFile::DefaultPathFor(const std::string& fileName)
{
    // The XDG base directory rules ignore a relative XDG_CONFIG_HOME.
    const char* xdg = std::getenv("XDG_CONFIG_HOME");
    if (xdg != nullptr && xdg[0] == '/') return std::string(xdg) + "/Varnel/" + fileName;
    std::string home;
    const char* env = std::getenv("HOME");
    if (env != nullptr && env[0] == '/') {
        home = env;
    } else {
        struct passwd pw {};
        struct passwd* found = nullptr;
        std::vector<char> buf(16384);
        if (getpwuid_r(getuid(), &pw, buf.data(), buf.size(), &found) == 0 && found != nullptr &&
            found->pw_dir != nullptr && found->pw_dir[0] == '/')
            home = found->pw_dir;
    }
    if (home.empty()) return {};
    if (home.size() > 1 && home.back() == '/') home.pop_back();
    return home + "/.config/Varnel/" + fileName;
}

void CRegHiveFile::SetPath(std::string path)
{
    m_path = std::move(path);
    m_pathResolved = !m_path.empty();
    m_loaded = false;
    m_bytes.clear();
    m_stamp = {};
    m_hive.Clear();
    m_damageAnnounced = false;
}

const std::string& CRegHiveFile::Path()
{
    if (!m_pathResolved) {
        m_path = DefaultPathFor(m_fileName);
        m_pathResolved = true;
    }
    return m_path;
}

CRegHiveFile::Stamp CRegHiveFile::StampOf(const struct stat& st)
{
    Stamp s;
    s.exists = true;
    s.dev = st.st_dev;
    s.ino = st.st_ino;
    s.size = st.st_size;
    s.mtimeNs = static_cast<long long>(st.st_mtim.tv_sec) * 1000000000LL + st.st_mtim.tv_nsec;
    s.ctimeNs = static_cast<long long>(st.st_ctim.tv_sec) * 1000000000LL + st.st_ctim.tv_nsec;
    return s;
}

int CRegHiveFile::ReadFile(const std::string& path, std::string& bytes, struct stat* info)
{
    bytes.clear();
    // O_NONBLOCK keeps a FIFO put in the hive's place from hanging us.
    const int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) return errno;
    struct stat st {};
    int rc = 0;
    if (fstat(fd, &st) != 0) {
        rc = errno;
    } else if (S_ISDIR(st.st_mode)) {
        rc = EISDIR;
    } else if (!S_ISREG(st.st_mode)) {
        rc = EINVAL;
    } else if (static_cast<unsigned long long>(st.st_size) > CRegHive::kMaxFileBytes) {
        rc = EFBIG;
    } else {
        bytes.resize(static_cast<std::size_t>(st.st_size));
        std::size_t got = 0;
        // The file may grow or shrink while it is read; read what fits the
        // size seen and check for more beyond it.
        while (got < bytes.size()) {
            const ssize_t n = read(fd, bytes.data() + got, bytes.size() - got);
            if (n < 0) {
                if (errno == EINTR) continue;
                rc = errno;
                break;
            }
            if (n == 0) break;
            got += static_cast<std::size_t>(n);
        }
        bytes.resize(got);
        char extra = 0;
        if (rc == 0 && read(fd, &extra, 1) > 0) rc = EFBIG;  // grew past what was sized; never trust a partial read
    }
    if (info != nullptr) *info = st;
    close(fd);
    if (rc != 0 && rc != EFBIG) bytes.clear();
    return rc;
}

void CRegHiveFile::Adopt(const std::string& bytes, const Stamp& stamp, bool announceDamage)
{
    const CRegHive::ParseReport report = m_hive.Parse(bytes);
    m_bytes = bytes;
    m_stamp = stamp;
    m_loaded = true;
    if (report.Damaged() && announceDamage && !m_damageAnnounced) {
        m_damageAnnounced = true;
        std::fprintf(stderr,
                     "Varnel: the settings file %s is damaged (%zu lines could not be read%s); "
                     "what could be read is used, and the file is copied aside before it is "
                     "next written\n",
                     m_path.c_str(), report.badLines, report.headerOk ? "" : ", no valid header");
    }
}

void CRegHiveFile::Refresh()
{
    const std::string& path = Path();
    if (path.empty()) {
        m_hive.Clear();
        m_loaded = true;
        return;
    }
    struct stat st {};
    if (stat(path.c_str(), &st) != 0) {
        // Missing (or unreachable): an empty hive until someone writes it.
        if (!m_loaded || m_stamp.exists) {
            m_hive.Clear();
            m_bytes.clear();
            m_stamp = {};
            m_loaded = true;
        }
        return;
    }
    const Stamp now = StampOf(st);
    if (m_loaded && now == m_stamp && static_cast<std::size_t>(st.st_size) > kCompareBytesUpTo) return;
    std::string bytes;
    struct stat info {};
    const int rc = ReadFile(path, bytes, &info);
    if (rc == EFBIG) {
        if (!m_loaded || StampOf(info) != m_stamp) {
            m_hive.Clear();
            m_bytes.clear();
            m_stamp = StampOf(info);
            m_loaded = true;
            if (!m_damageAnnounced) {
                m_damageAnnounced = true;
                std::fprintf(stderr,
                             "Varnel: the settings file %s is larger than %zu bytes and is not "
                             "read; it is copied aside before it is next written\n",
                             path.c_str(), CRegHive::kMaxFileBytes);
            }
        }
        return;
    }
    if (rc != 0) {
        // Unreadable: nothing is known, and writes will refuse to replace it.
        m_hive.Clear();
        m_bytes.clear();
        m_stamp = {};
        m_loaded = true;
        return;
    }
    if (m_loaded && bytes == m_bytes) {
        m_stamp = StampOf(info);
        return;
    }
    Adopt(bytes, StampOf(info), true);
}

bool CRegHiveFile::PreserveDamaged(const std::string& target, const std::string& bytes, bool haveBytes)
{
    for (int n = 1; n <= 1000; ++n) {
        const std::string copy = target + ".damaged-" + std::to_string(n);
        // A hard link keeps the damaged file as it is without reading it;
        // the rename that follows only moves the hive's name away from it.
        if (link(target.c_str(), copy.c_str()) == 0) {
            std::fprintf(stderr, "Varnel: the damaged settings file was kept as %s\n", copy.c_str());
            return true;
        }
        if (errno == EEXIST) continue;
        if (!haveBytes) return false;
        const int fd = open(copy.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0600);
        if (fd < 0) {
            if (errno == EEXIST) continue;
            return false;
        }
        const bool ok = WriteAll(fd, bytes.data(), bytes.size()) == 0 && fsync(fd) == 0;
        close(fd);
        if (!ok) {
            unlink(copy.c_str());
            return false;
        }
        std::fprintf(stderr, "Varnel: the damaged settings file was copied to %s\n", copy.c_str());
        return true;
    }
    return false;
}

int CRegHiveFile::WriteAtomically(const std::string& target, const std::string& text, mode_t mode)
{
    // Only a writer holding the lock uses this name, so a file found here
    // is what a crashed writer left behind: it is removed, never read.
    const std::string temp = target + ".tmp";
    if (unlink(temp.c_str()) != 0 && errno != ENOENT) return errno;
    const int fd = open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd < 0) return errno;
    int rc = 0;
    if (mode != 0 && fchmod(fd, mode & 0777) != 0) rc = errno;
    if (rc == 0) rc = WriteAll(fd, text.data(), text.size());
    if (rc == 0 && fsync(fd) != 0) rc = errno;
    if (close(fd) != 0 && rc == 0) rc = errno;
    if (rc == 0 && g_beforeRenameHook != nullptr) g_beforeRenameHook();
    if (rc == 0 && rename(temp.c_str(), target.c_str()) != 0) rc = errno;
    if (rc != 0) {
        unlink(temp.c_str());
        return rc;
    }
    return SyncDir(DirName(target));
}

LONG CRegHiveFile::Update(const std::function<LONG(CRegHive&, bool& changed)>& change)
{
    const std::string& path = Path();
    if (path.empty()) return static_cast<LONG>(ERROR_CANTWRITE);
    if (const int rc = MakeDirs(DirName(path)); rc != 0) return ErrorFromErrno(rc);
    CLockFile lock(path + ".lock");
    if (lock.Error() != 0) return ErrorFromErrno(lock.Error());

    // A hive that is a symbolic link (a managed configuration folder) is
    // replaced where it points, so the link stays.
    std::string target = path;
    struct stat lst {};
    if (lstat(path.c_str(), &lst) == 0 && S_ISLNK(lst.st_mode)) {
        char resolved[PATH_MAX];
        if (realpath(path.c_str(), resolved) != nullptr) target = resolved;
    }

    std::string bytes;
    struct stat info {};
    const int readRc = ReadFile(target, bytes, &info);
    const bool missing = readRc == ENOENT;
    const bool tooBig = readRc == EFBIG;
    if (readRc != 0 && !missing && !tooBig) return ErrorFromErrno(readRc);  // never replace a hive we could not read

    CRegHive fresh(m_rootName);
    bool damaged = tooBig;
    if (!missing && !tooBig) damaged = fresh.Parse(bytes).Damaged();
    if (damaged && !PreserveDamaged(target, bytes, !tooBig)) return static_cast<LONG>(ERROR_CANTWRITE);

    bool changed = false;
    const LONG rc = change(fresh, changed);
    if (rc != static_cast<LONG>(ERROR_SUCCESS)) {
        if (!missing && !tooBig && !damaged) Adopt(bytes, StampOf(info), false);
        return rc;
    }
    if (!changed && !damaged) {
        if (!missing) Adopt(bytes, StampOf(info), false);
        return static_cast<LONG>(ERROR_SUCCESS);
    }

    const std::string text = fresh.Serialize();
    const int writeRc = WriteAtomically(target, text, missing ? 0 : info.st_mode);
    if (writeRc != 0) return ErrorFromErrno(writeRc);
    struct stat after {};
    if (stat(target.c_str(), &after) == 0) Adopt(text, StampOf(after), false);
    else Adopt(text, Stamp{}, false);
    m_damageAnnounced = false;
    return static_cast<LONG>(ERROR_SUCCESS);
}
