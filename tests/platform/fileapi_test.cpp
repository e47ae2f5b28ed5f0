// The sharing pre-check's file open: which locks make a file "in use",
// which failures map to which error, and that the file is never changed
// and no lock outlives the check.
#include "platform/fileapi.h"
#include "tests/platform/support/tempdir.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#include <filesystem>
#include <string>

namespace fs = std::filesystem;

namespace {

constexpr DWORD kInUse = ERROR_SHARING_VIOLATION;
constexpr DWORD kNotTried = 0xFFFFFFFF;

HANDLE OpenForCheck(const std::string& path, DWORD share = 0)
{
    return CreateFileA(path.c_str(), GENERIC_READ, share, nullptr, OPEN_EXISTING,
                       FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
}

// Opens and closes; returns the error (ERROR_SUCCESS when it opened).
DWORD Check(const std::string& path, DWORD share = 0)
{
    SetLastError(12345);
    HANDLE h = OpenForCheck(path, share);
    if (h == INVALID_HANDLE_VALUE) return GetLastError();
    EXPECT_EQ(CloseHandle(h), TRUE);
    return ERROR_SUCCESS;
}

bool RecordLock(int fd, int cmd, short type, off_t start = 0, off_t len = 0)
{
    struct flock l = {.l_type = type, .l_whence = SEEK_SET, .l_start = start, .l_len = len, .l_pid = 0};
    return fcntl(fd, cmd, &l) == 0;
}

// Whether an exclusive lock of every kind can be taken now.
bool FreeOfLocks(const std::string& path)
{
    const int fd = open(path.c_str(), O_RDWR);
    const bool free = fd >= 0 && flock(fd, LOCK_EX | LOCK_NB) == 0 && RecordLock(fd, F_OFD_SETLK, F_WRLCK);
    close(fd);
    return free;
}

class FileApiTest : public ::testing::Test {
protected:
    TempDir m_tmp{"varnel-fileapi"};
    fs::path m_dir = m_tmp.Path();
    std::string m_file = m_tmp.Write("Report.doc", "document bytes").string();
};

// Every kind of lock another open file (of this process too) can hold, and
// what an open without sharing, sharing reading, and sharing both sees.
TEST_F(FileApiTest, LocksHeldByAnotherOpenFile)
{
    const struct {
        int kind;  // LOCK_EX or LOCK_SH for flock, else the fcntl command
        short type;
        off_t length;  // of a record lock from byte 3; 0 for the whole file
        DWORD unshared, shareRead, shareBoth;
    } cases[] = {
        {LOCK_EX, F_WRLCK, 0, kInUse, kInUse, ERROR_SUCCESS},
        {LOCK_SH, F_RDLCK, 0, kInUse, ERROR_SUCCESS, ERROR_SUCCESS},
        {F_OFD_SETLK, F_WRLCK, 0, kInUse, kInUse, kNotTried},
        {F_OFD_SETLK, F_RDLCK, 0, kInUse, ERROR_SUCCESS, kNotTried},
        // A POSIX lock through another descriptor of our own process is
        // still another open file holding the document; and any lock on
        // the file counts, also one on a few bytes.
        {F_SETLK, F_WRLCK, 0, kInUse, kNotTried, kNotTried},
        {F_OFD_SETLK, F_WRLCK, 2, kInUse, kInUse, kNotTried},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.kind);
        const bool isFlock = c.kind == LOCK_EX || c.kind == LOCK_SH;
        const int holder = open(m_file.c_str(), O_RDWR);
        ASSERT_TRUE(isFlock ? flock(holder, c.kind | LOCK_NB) == 0
                            : RecordLock(holder, c.kind, c.type, c.length != 0 ? 3 : 0, c.length));
        EXPECT_EQ(Check(m_file), c.unshared);
        EXPECT_TRUE(c.shareRead == kNotTried || Check(m_file, FILE_SHARE_READ) == c.shareRead);
        EXPECT_TRUE(c.shareBoth == kNotTried || Check(m_file, FILE_SHARE_READ | FILE_SHARE_WRITE) == c.shareBoth);
        close(holder);  // which ends its lock
        EXPECT_EQ(Check(m_file), ERROR_SUCCESS);
    }
}

TEST_F(FileApiTest, FailuresMapToWindowsErrors)
{
    fs::create_directory(m_dir / "Old.doc");  // a folder named like a document
    const std::string fifo = (m_dir / "pipe.doc").string();
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);  // must neither block nor pass as a document
    const std::string secret = m_tmp.Write("secret.doc", "x").string();
    chmod(secret.c_str(), 0);
    const std::pair<std::string, DWORD> cases[] = {
        {(m_dir / "missing.doc").string(), ERROR_FILE_NOT_FOUND},
        {(m_dir / "nofolder" / "x.doc").string(), ERROR_FILE_NOT_FOUND},
        {m_file + "/below-a-file", ERROR_FILE_NOT_FOUND},
        {"", ERROR_FILE_NOT_FOUND},
        {(m_dir / "Old.doc").string(), ERROR_ACCESS_DENIED},
        {fifo, ERROR_ACCESS_DENIED},
        {secret, geteuid() == 0 ? ERROR_SUCCESS : ERROR_ACCESS_DENIED},
    };
    for (const auto& [path, error] : cases) EXPECT_EQ(Check(path), error) << path;

    // Only opening an existing file for reading is offered.
    const std::string fresh = (m_dir / "new.doc").string();
    EXPECT_EQ(CreateFileA(fresh.c_str(), GENERIC_READ, 0, nullptr, 1 /*CREATE_NEW*/, 0, nullptr), INVALID_HANDLE_VALUE);
    EXPECT_FALSE(fs::exists(fresh));
}

// The open holds no lock of its own, its handle is checked, and the file is
// never changed.
TEST_F(FileApiTest, UnlockedFileOpensAndIsNeverChanged)
{
    // Age the file so that any write would show in its times.
    struct timespec old[2] = {{1000000000, 0}, {1000000000, 0}};
    ASSERT_EQ(utimensat(AT_FDCWD, m_file.c_str(), old, 0), 0);
    HANDLE h = OpenForCheck(m_file);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    EXPECT_TRUE(FreeOfLocks(m_file));
    // Its descriptor reads the file from the start, and is the handle's only.
    char head[8] = {};
    EXPECT_EQ(read(DescriptorOf(h), head, sizeof head), 8);
    EXPECT_EQ(std::string(head, 8), "document");
    EXPECT_EQ(CloseHandle(h), TRUE);
    EXPECT_EQ(DescriptorOf(h), -1);
    EXPECT_EQ(DescriptorOf(INVALID_HANDLE_VALUE), -1);
    EXPECT_EQ(CloseHandle(h), FALSE);  // a second close is refused, not undefined
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
    // Owner and lock files beside the document do not count.
    m_tmp.Write("~$Report.doc", "owner");
    m_tmp.Write(".~lock.Report.doc#", "lock");
    EXPECT_EQ(Check(m_file), ERROR_SUCCESS);
    struct stat after {};
    ASSERT_EQ(stat(m_file.c_str(), &after), 0);
    EXPECT_EQ(after.st_mtim.tv_sec, 1000000000);
    EXPECT_EQ(after.st_mtim.tv_nsec, 0);
    EXPECT_EQ(after.st_size, 14);
    EXPECT_TRUE(FreeOfLocks(m_file)) << "nothing the check did is left behind";
}

}  // namespace
