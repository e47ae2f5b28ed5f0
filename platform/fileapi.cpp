// The file-open stand-in behind the search's sharing pre-check, and the
// per-thread last-error value (see fileapi.h). The open never changes the
// file: it is read-only, takes no lasting lock and reads no byte. Whether
// another program holds the file is asked of the kernel's lock tables the
// only ways Linux allows without privileges: a non-blocking flock probe
// (released at once) and an open-file-description lock query, which sees
// POSIX record locks of every process and OFD locks of every open file.
#include "platform/fileapi.h"
#include "platform/shortlock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#include <algorithm>
#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <vector>

namespace {

thread_local DWORD t_lastError = ERROR_SUCCESS;

struct CFileHandle {
    int fd = -1;
    struct stat opened {};  // as the open found the file
};

// Handles are checked against this table so that a stale or double close
// is an error value, not a double close of a descriptor someone else owns.
// It is kept in shards, each with its own lock, by the handle's address:
// the search worker and the read-ahead helper open and close files all the
// time, and one lock for all of them kept them waiting on each other.
struct alignas(64) HandleShard {
    std::mutex lock;
    // A few handles at most are open at a time: a list with room kept
    // makes no allocation per open, where a set made a node for each.
    std::vector<const void*> handles;
};
constexpr std::size_t kHandleShards = 16;
HandleShard& ShardOf(const void* handle)
{
    static HandleShard* shards = new HandleShard[kHandleShards];
    return shards[(reinterpret_cast<std::uintptr_t>(handle) / alignof(std::max_align_t)) % kHandleShards];
}

// Probes of one file take turns (see HeldByOther); probes of different
// files need not, and a turn per file, by its inode, lets the two threads
// probe the files each is at side by side.
std::mutex& ProbeTurn(const struct stat& file)
{
    constexpr std::size_t kTurns = 16;
    static std::mutex* turns = new std::mutex[kTurns];
    const auto key = static_cast<std::uint64_t>(file.st_ino) * 0x9E3779B97F4A7C15u ^
                     static_cast<std::uint64_t>(file.st_dev);
    return turns[(key >> 32) % kTurns];
}

DWORD ErrorFromOpen(int err)
{
    switch (err) {
    case ENOENT:
    case ENOTDIR:
    case ELOOP: return ERROR_FILE_NOT_FOUND;
    case EACCES:
    case EPERM: return ERROR_ACCESS_DENIED;
    case EMFILE:
    case ENFILE:
    case ENOMEM: return ERROR_NOT_ENOUGH_MEMORY;
    case ENAMETOOLONG: return ERROR_INVALID_PARAMETER;
    default: return ERROR_ACCESS_DENIED;
    }
}

// Does another open file hold a lock that conflicts with the access asked
// for? exclusive: any lock at all conflicts (share mode 0); otherwise only
// a writer's (exclusive) lock does.
bool HeldByOther(int fd, const struct stat& file, bool exclusive)
{
    // flock: our own descriptor holds nothing, so a refused probe means
    // another open file holds a conflicting lock. The probe lock, when
    // granted, is dropped before anyone could notice it. Probes of this
    // process take turns: the read-ahead thread checks a file shortly
    // before the worker checks it again, and two overlapping probes would
    // each see the other's lock.
    {
        const auto turn = platform::TakeSoon(ProbeTurn(file));
        if (flock(fd, (exclusive ? LOCK_EX : LOCK_SH) | LOCK_NB) != 0) {
            if (errno == EWOULDBLOCK) return true;
            // Other errors (a file system without flock, NFS with a read-only
            // descriptor) leave the question to the record locks below.
        } else {
            flock(fd, LOCK_UN);
        }
    }

    struct flock probe {};
    probe.l_type = exclusive ? F_WRLCK : F_RDLCK;
    probe.l_whence = SEEK_SET;
    probe.l_start = 0;
    probe.l_len = 0;  // the whole file
    probe.l_pid = 0;
#ifdef F_OFD_GETLK
    if (fcntl(fd, F_OFD_GETLK, &probe) == 0) return probe.l_type != F_UNLCK;
    if (errno != EINVAL) return false;
    probe.l_type = exclusive ? F_WRLCK : F_RDLCK;
    probe.l_pid = 0;
#endif
    // Kernels without OFD locks: a plain query sees other processes' locks.
    if (fcntl(fd, F_GETLK, &probe) == 0) return probe.l_type != F_UNLCK;
    return false;
}

}  // namespace

DWORD GetLastError()
{
    return t_lastError;
}

void SetLastError(DWORD error)
{
    t_lastError = error;
}

HANDLE CreateFileA(const char* lpFileName, DWORD dwDesiredAccess, DWORD dwShareMode, void* /*lpSecurityAttributes*/,
                   DWORD dwCreationDisposition, DWORD /*dwFlagsAndAttributes*/, HANDLE /*hTemplateFile*/)
{
    if (lpFileName == nullptr || lpFileName[0] == '\0' || dwCreationDisposition != OPEN_EXISTING ||
        (dwDesiredAccess & ~GENERIC_READ) != 0) {
        SetLastError(lpFileName != nullptr && lpFileName[0] == '\0' ? ERROR_FILE_NOT_FOUND : ERROR_INVALID_PARAMETER);
        return INVALID_HANDLE_VALUE;
    }
    // O_NONBLOCK: opening a FIFO or a device must never wait.
    const int fd = open(lpFileName, O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) {
        SetLastError(ErrorFromOpen(errno));
        return INVALID_HANDLE_VALUE;
    }
    struct stat st {};
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        // Folders cannot be opened as files (as on Windows without backup
        // semantics); FIFOs, sockets and devices are no documents and
        // reading one could block or never end.
        close(fd);
        SetLastError(ERROR_ACCESS_DENIED);
        return INVALID_HANDLE_VALUE;
    }
    const bool shareRead = (dwShareMode & FILE_SHARE_READ) != 0;
    const bool shareWrite = (dwShareMode & FILE_SHARE_WRITE) != 0;
    if (!(shareRead && shareWrite) && HeldByOther(fd, st, !shareRead)) {
        close(fd);
        SetLastError(ERROR_SHARING_VIOLATION);
        return INVALID_HANDLE_VALUE;
    }
    auto* handle = new CFileHandle{fd, st};
    {
        HandleShard& shard = ShardOf(handle);
        const auto lock = platform::TakeSoon(shard.lock);
        shard.handles.push_back(handle);
    }
    SetLastError(ERROR_SUCCESS);
    return handle;
}

int DescriptorOf(HANDLE hObject, struct stat* opened)
{
    HandleShard& shard = ShardOf(hObject);
    const auto lock = platform::TakeSoon(shard.lock);
    if (std::find(shard.handles.begin(), shard.handles.end(), hObject) == shard.handles.end()) return -1;
    const auto* handle = static_cast<const CFileHandle*>(hObject);
    if (opened != nullptr) *opened = handle->opened;
    return handle->fd;
}

BOOL CloseHandle(HANDLE hObject)
{
    CFileHandle* handle = nullptr;
    {
        HandleShard& shard = ShardOf(hObject);
        const auto lock = platform::TakeSoon(shard.lock);
        auto it = std::find(shard.handles.begin(), shard.handles.end(), hObject);
        if (it != shard.handles.end()) {
            handle = static_cast<CFileHandle*>(hObject);
            *it = shard.handles.back();
            shard.handles.pop_back();
        }
    }
    if (handle == nullptr) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    close(handle->fd);
    delete handle;
    return TRUE;
}
