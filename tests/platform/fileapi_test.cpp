// The sharing pre-check's file open: which locks make a file "in use",
// which failures map to which error, and that the file is never changed
// and no lock outlives the check.
#include "platform/fileapi.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

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
    if (h == INVALID_HANDLE_VALUE)
        return GetLastError();
    EXPECT_NE(h, nullptr);
    EXPECT_EQ(CloseHandle(h), TRUE);
    return ERROR_SUCCESS;
}

bool SetRecordLock(int fd, int cmd, short type, off_t start, off_t len)
{
    struct flock l {};
    l.l_type = type;
    l.l_whence = SEEK_SET;
    l.l_start = start;
    l.l_len = len;
    return fcntl(fd, cmd, &l) == 0;
}

class FileApiTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        char tmpl[] = "/tmp/varnel-fileapi-XXXXXX";
        ASSERT_NE(mkdtemp(tmpl), nullptr);
        m_dir = tmpl;
        m_file = (m_dir / "Report.doc").string();
        std::ofstream(m_file, std::ios::binary) << "document bytes";
    }
    void TearDown() override
    {
        std::error_code ec;
        fs::remove_all(m_dir, ec);
    }
    fs::path m_dir;
    std::string m_file;
};

TEST_F(FileApiTest, UnlockedFileOpensAndHandleIsChecked)
{
    SetLastError(77);
    HANDLE h = OpenForCheck(m_file);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), ERROR_SUCCESS);
    // The open holds no lock of its own: someone else can lock meanwhile.
    const int other = open(m_file.c_str(), O_RDWR);
    ASSERT_GE(other, 0);
    EXPECT_EQ(flock(other, LOCK_EX | LOCK_NB), 0);
    EXPECT_TRUE(SetRecordLock(other, F_OFD_SETLK, F_WRLCK, 0, 0));
    close(other);
    EXPECT_EQ(CloseHandle(h), TRUE);
    EXPECT_EQ(CloseHandle(h), FALSE);  // a second close is refused, not undefined
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
    EXPECT_EQ(CloseHandle(INVALID_HANDLE_VALUE), FALSE);
    EXPECT_EQ(CloseHandle(nullptr), FALSE);
}

TEST_F(FileApiTest, FlockHeldByAnotherOpenFile)
{
    const int holder = open(m_file.c_str(), O_RDONLY);
    ASSERT_GE(holder, 0);
    ASSERT_EQ(flock(holder, LOCK_EX | LOCK_NB), 0);
    EXPECT_EQ(Check(m_file), ERROR_SHARING_VIOLATION);
    EXPECT_EQ(Check(m_file, FILE_SHARE_READ), ERROR_SHARING_VIOLATION) << "a writer's lock";
    EXPECT_EQ(Check(m_file, FILE_SHARE_READ | FILE_SHARE_WRITE), ERROR_SUCCESS);

    // A shared lock is "in use" for an unshared open, not for a reader
    // that shares reading.
    ASSERT_EQ(flock(holder, LOCK_SH | LOCK_NB), 0);
    EXPECT_EQ(Check(m_file), ERROR_SHARING_VIOLATION);
    EXPECT_EQ(Check(m_file, FILE_SHARE_READ), ERROR_SUCCESS);

    ASSERT_EQ(flock(holder, LOCK_UN), 0);
    EXPECT_EQ(Check(m_file), ERROR_SUCCESS);
    close(holder);
}

TEST_F(FileApiTest, OpenFileDescriptionLock)
{
    const int holder = open(m_file.c_str(), O_RDWR);
    ASSERT_GE(holder, 0);
    ASSERT_TRUE(SetRecordLock(holder, F_OFD_SETLK, F_WRLCK, 0, 0));
    EXPECT_EQ(Check(m_file), ERROR_SHARING_VIOLATION);
    EXPECT_EQ(Check(m_file, FILE_SHARE_READ), ERROR_SHARING_VIOLATION);

    ASSERT_TRUE(SetRecordLock(holder, F_OFD_SETLK, F_RDLCK, 0, 0));
    EXPECT_EQ(Check(m_file), ERROR_SHARING_VIOLATION);
    EXPECT_EQ(Check(m_file, FILE_SHARE_READ), ERROR_SUCCESS);

    ASSERT_TRUE(SetRecordLock(holder, F_OFD_SETLK, F_UNLCK, 0, 0));
    EXPECT_EQ(Check(m_file), ERROR_SUCCESS);
    close(holder);
}

TEST_F(FileApiTest, PosixLockOfThisProcessCounts)
{
    // A POSIX lock taken through another descriptor of our own process is
    // still another open file holding the document.
    const int holder = open(m_file.c_str(), O_RDWR);
    ASSERT_GE(holder, 0);
    ASSERT_TRUE(SetRecordLock(holder, F_SETLK, F_WRLCK, 0, 0));
    EXPECT_EQ(Check(m_file), ERROR_SHARING_VIOLATION);
    ASSERT_TRUE(SetRecordLock(holder, F_SETLK, F_UNLCK, 0, 0));
    EXPECT_EQ(Check(m_file), ERROR_SUCCESS);
    close(holder);
}

TEST_F(FileApiTest, PosixLockHeldByAnotherProcess)
{
    int ready[2], release[2];
    ASSERT_EQ(pipe(ready), 0);
    ASSERT_EQ(pipe(release), 0);
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        close(ready[0]);
        close(release[1]);
        const int fd = open(m_file.c_str(), O_RDWR);
        // Only a few bytes in the middle: any lock on the file counts.
        const char ok = (fd >= 0 && SetRecordLock(fd, F_SETLK, F_WRLCK, 3, 2)) ? 'y' : 'n';
        if (write(ready[1], &ok, 1) != 1)
            _exit(2);
        char c = 0;
        if (read(release[0], &c, 1) < 0)
            _exit(3);
        _exit(0);
    }
    close(ready[1]);
    close(release[0]);
    char ok = 0;
    ASSERT_EQ(read(ready[0], &ok, 1), 1);
    ASSERT_EQ(ok, 'y');
    EXPECT_EQ(Check(m_file), ERROR_SHARING_VIOLATION);
    EXPECT_EQ(Check(m_file, FILE_SHARE_READ), ERROR_SHARING_VIOLATION);

    const char go = 'g';
    ASSERT_EQ(write(release[1], &go, 1), 1);
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    close(ready[0]);
    close(release[1]);
    // The lock died with its process: the same file is searched next time.
    EXPECT_EQ(Check(m_file), ERROR_SUCCESS);
}

TEST_F(FileApiTest, OwnerAndLockFilesBesideTheDocumentDoNotCount)
{
    std::ofstream((m_dir / "~$Report.doc").string()) << "owner";
    std::ofstream((m_dir / ".~lock.Report.doc#").string()) << "lock";
    EXPECT_EQ(Check(m_file), ERROR_SUCCESS);
}

TEST_F(FileApiTest, FailuresMapToWindowsErrors)
{
    EXPECT_EQ(Check((m_dir / "missing.doc").string()), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(Check((m_dir / "nofolder" / "x.doc").string()), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(Check(m_file + "/below-a-file"), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(Check(""), ERROR_FILE_NOT_FOUND);

    // A folder named like a document is not a file.
    fs::create_directory(m_dir / "Old.doc");
    EXPECT_EQ(Check((m_dir / "Old.doc").string()), ERROR_ACCESS_DENIED);

    // A FIFO must neither block the open nor pass as a document.
    const std::string fifo = (m_dir / "pipe.doc").string();
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    EXPECT_EQ(Check(fifo), ERROR_ACCESS_DENIED);

    if (geteuid() != 0) {
        const std::string secret = (m_dir / "secret.doc").string();
        std::ofstream(secret) << "x";
        chmod(secret.c_str(), 0);
        EXPECT_EQ(Check(secret), ERROR_ACCESS_DENIED);
    }

    // Only opening an existing file for reading is offered.
    const std::string fresh = (m_dir / "new.doc").string();
    SetLastError(0);
    EXPECT_EQ(CreateFileA(fresh.c_str(), GENERIC_READ, 0, nullptr, 1 /*CREATE_NEW*/, 0, nullptr),
              INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
    EXPECT_FALSE(fs::exists(fresh));
    EXPECT_EQ(CreateFileA(m_file.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0,
                          nullptr),
              INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(CreateFileA(nullptr, GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr),
              INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
}

TEST_F(FileApiTest, FileIsNeverChanged)
{
    struct stat before {};
    ASSERT_EQ(stat(m_file.c_str(), &before), 0);
    // Age the file so that any write would show in its times.
    struct timespec old[2] = {{1000000000, 0}, {1000000000, 0}};
    ASSERT_EQ(utimensat(AT_FDCWD, m_file.c_str(), old, 0), 0);

    EXPECT_EQ(Check(m_file), ERROR_SUCCESS);
    const int holder = open(m_file.c_str(), O_RDONLY);
    ASSERT_EQ(flock(holder, LOCK_EX), 0);
    EXPECT_EQ(Check(m_file), ERROR_SHARING_VIOLATION);
    close(holder);

    struct stat after {};
    ASSERT_EQ(stat(m_file.c_str(), &after), 0);
    EXPECT_EQ(after.st_mtim.tv_sec, 1000000000);
    EXPECT_EQ(after.st_mtim.tv_nsec, 0);
    EXPECT_EQ(after.st_size, before.st_size);
    std::ifstream in(m_file, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    EXPECT_EQ(text.str(), "document bytes");
    // Nothing the check did is left behind: an exclusive lock is free.
    const int again = open(m_file.c_str(), O_RDWR);
    EXPECT_EQ(flock(again, LOCK_EX | LOCK_NB), 0);
    EXPECT_TRUE(SetRecordLock(again, F_OFD_SETLK, F_WRLCK, 0, 0));
    close(again);
}

TEST(LastError, IsPerThread)
{
    SetLastError(ERROR_SHARING_VIOLATION);
    DWORD seenByOther = 99;
    std::thread t([&] {
        seenByOther = GetLastError();
        SetLastError(ERROR_ACCESS_DENIED);
    });
    t.join();
    EXPECT_EQ(seenByOther, ERROR_SUCCESS);
    EXPECT_EQ(GetLastError(), ERROR_SHARING_VIOLATION);
}

}  // namespace
