// Helpers shared by the Kestrel tests: records and keyword arrays, a
// scratch folder, and a child process that holds a lock on a file the way
// another program would.
#pragma once

#include "kestrel/officerecords.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <initializer_list>
#include <signal.h>
#include <string>
#include <sys/file.h>
#include <sys/wait.h>
#include <unistd.h>

namespace kestreltest {

inline CKeywordArray Keywords(std::initializer_list<const char*> texts)
{
    CKeywordArray out;
    for (const char* t : texts) {
        _FindKeyWord k;
        std::memset(&k, 0, sizeof k);
        std::strncpy(k.szKeyword, t, sizeof k.szKeyword - 1);
        out.Add(k);
    }
    return out;
}

// A record filled with a recognisable pattern, so untouched bytes show;
// the first `cleared` flags are 0, as the caller leaves them.
inline _ResultFileInfo Record(const std::string& path, int cleared)
{
    _ResultFileInfo r;
    std::memset(&r, 0x5A, sizeof r);
    std::memset(r.szFileName, 0, sizeof r.szFileName);
    std::memset(r.szFilePath, 0, sizeof r.szFilePath);
    std::strncpy(r.szFilePath, path.c_str(), sizeof r.szFilePath - 1);
    for (int i = 0; i < cleared && i < 256; ++i) r.nKeywordFound[i] = 0;
    return r;
}

inline _FindedConditions Conditions(int matchCase, int wholeWord, int wildcards, int soundsLike, int allForms,
                                    int clearSpace)
{
    return _FindedConditions{matchCase, wholeWord, wildcards, soundsLike, allForms, clearSpace};
}

// A fresh folder removed at the end of the test.
class ScratchDir {
public:
    ScratchDir()
    {
        char pattern[] = "/tmp/kestrel-test-XXXXXX";
        const char* made = ::mkdtemp(pattern);
        if (made != nullptr) m_path = made;
    }
    ~ScratchDir()
    {
        std::error_code ec;
        if (!m_path.empty()) std::filesystem::remove_all(m_path, ec);
    }
    ScratchDir(const ScratchDir&) = delete;
    ScratchDir& operator=(const ScratchDir&) = delete;

    // Creates a small file and returns its path.
    std::string File(const std::string& name, const std::string& content = "content")
    {
        const std::string p = m_path + "/" + name;
        std::ofstream(p, std::ios::binary) << content;
        return p;
    }
    const std::string& Path() const { return m_path; }

private:
    std::string m_path;
};

// Another process holding an exclusive flock on a file until destroyed.
class LockingProcess {
public:
    explicit LockingProcess(const std::string& path)
    {
        int ready[2];
        if (::pipe(ready) != 0) return;
        m_child = ::fork();
        if (m_child == 0) {
            ::close(ready[0]);
            const int fd = ::open(path.c_str(), O_RDONLY);
            char ok = (fd >= 0 && ::flock(fd, LOCK_EX) == 0) ? 'y' : 'n';
            if (::write(ready[1], &ok, 1) != 1) ::_exit(1);
            ::pause();  // hold the lock until killed
            ::_exit(0);
        }
        ::close(ready[1]);
        char ok = 'n';
        if (m_child > 0 && ::read(ready[0], &ok, 1) == 1) m_locked = ok == 'y';
        ::close(ready[0]);
    }
    ~LockingProcess()
    {
        if (m_child > 0) {
            ::kill(m_child, SIGKILL);
            ::waitpid(m_child, nullptr, 0);
        }
    }
    LockingProcess(const LockingProcess&) = delete;
    LockingProcess& operator=(const LockingProcess&) = delete;
    bool Locked() const { return m_locked; }

private:
    pid_t m_child = -1;
    bool m_locked = false;
};

}  // namespace kestreltest
