// A fresh folder under /tmp for one test, removed with all it holds when the
// test ends, and a way to put a file into it; the tests of every engine
// folder use it instead of each making and removing its own. Also a file's
// text read back whole, and a file held the way another program holds a
// document it has open.
#pragma once

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <string>

class TempDir {
public:
    explicit TempDir(const std::string& prefix = "varnel-test")
    {
        std::string pattern = "/tmp/" + prefix + "-XXXXXX";
        if (::mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("cannot make " + pattern);
        m_path = pattern;
    }
    ~TempDir()
    {
        std::error_code ec;
        std::filesystem::remove_all(m_path, ec);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::filesystem::path& Path() const { return m_path; }
    // Writes `bytes` to a file below the folder, making its folders.
    std::filesystem::path Write(const std::filesystem::path& relative, const std::string& bytes) const
    {
        const std::filesystem::path p = m_path / relative;
        std::filesystem::create_directories(p.parent_path());
        std::ofstream(p, std::ios::binary) << bytes;
        return p;
    }

private:
    std::filesystem::path m_path;
};

// What a file holds; nothing when it cannot be read.
inline std::string FileText(const std::filesystem::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// An exclusive flock through an open file of its own, for as long as it lives.
class HeldLock {
public:
    explicit HeldLock(const std::filesystem::path& path) : m_fd(::open(path.c_str(), O_RDONLY))
    {
        if (m_fd < 0 || ::flock(m_fd, LOCK_EX) != 0) throw std::runtime_error("cannot lock " + path.string());
    }
    ~HeldLock() { ::close(m_fd); }

private:
    int m_fd;
};
