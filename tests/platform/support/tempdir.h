// A fresh folder under /tmp for one test, removed with all it holds when the
// test ends, and a way to put a file into it; the tests of every engine
// folder use it instead of each making and removing its own.
#pragma once

#include <cstdlib>
#include <filesystem>
#include <fstream>
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
