// The operands of one varnel-find run (see searchscope.h).
#include "cli/searchscope.h"

#include "platform/filefind.h"
#include "search/searchcontext.h"

#include <fnmatch.h>
#include <sys/stat.h>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>

namespace {

// The driver's records hold 259 bytes of path and the zero.
constexpr std::size_t kMaxPath = sizeof(_SelectedFolder{}.szPath) - 1;

bool MatchesAny(const std::vector<std::string>& globs, const std::string& name)
{
    for (const std::string& g : globs)
        if (::fnmatch(g.c_str(), name.c_str(), 0) == 0) return true;
    return false;
}

// The full path without symbolic links, "." and "..": links on the command
// line are followed (like grep -r), and overlapping operands meet on one key.
bool RealPath(const std::string& path, std::string& real, std::string& error)
{
    char* resolved = ::realpath(path.c_str(), nullptr);
    if (resolved == nullptr) {
        error = std::strerror(errno);
        return false;
    }
    real = resolved;
    std::free(resolved);
    return true;
}

}  // namespace

std::string CSearchScope::Key(const std::string& folder)
{
    std::string key = folder;
    while (key.size() > 1 && key.back() == '/') key.pop_back();
    return key;
}

std::string CSearchScope::Join(const std::string& folder, const std::string& name)
{
    if (folder.empty()) return name;
    return folder.back() == '/' ? folder + name : folder + '/' + name;
}

CSearchScope::Folder& CSearchScope::Enter(const std::string& path, const std::string& display, bool& added)
{
    auto [it, inserted] = m_folders.try_emplace(path);
    added = inserted;
    if (inserted) {
        it->second.display = display;
        m_order.push_back(path);
    }
    return it->second;
}

bool CSearchScope::AddOperand(const std::string& written, std::string& error)
{
    const std::string path = written.empty() ? std::string(".") : written;
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) {
        error = std::strerror(errno);
        return false;
    }
    std::string real;
    if (!RealPath(path, real, error)) return false;

    if (S_ISDIR(st.st_mode)) {
        const std::string display = m_options.absolute ? real : written;
        if (real.size() > kMaxPath) {
            m_tooLong.push_back(display);
            return true;
        }
        bool added = false;
        Folder& folder = Enter(real, display, added);
        const bool wasAll = folder.all;
        // Entered before only for the files named in it: printed as this
        // operand is written from now on.
        if (!wasAll) folder.display = display;
        folder.all = true;
        // A folder already searched whole was expanded then, if asked.
        if (m_options.subfolders && !wasAll) Expand(real, folder.display);
        return true;
    }
    if (!S_ISREG(st.st_mode)) {
        error = "not a regular file or folder";
        return false;
    }
    const std::size_t slash = real.find_last_of('/');
    const std::string parent = slash == 0 ? std::string("/") : real.substr(0, slash);
    const std::string name = real.substr(slash + 1);
    if (parent.size() > kMaxPath) {
        m_tooLong.push_back(m_options.absolute ? real : written);
        return true;
    }
    bool added = false;
    Folder& folder = Enter(parent, m_options.absolute ? parent : std::string(), added);
    folder.named.try_emplace(name, m_options.absolute ? real : written);
    return true;
}

void CSearchScope::Expand(const std::string& path, const std::string& display)
{
    // Depth is bounded: every level adds at least two bytes to a path that
    // must fit in the driver's record.
    CFileFind finder;
    bool more = finder.FindFile(Join(path, "*.*").c_str()) != 0;
    while (more && g_bRunning != 0) {
        more = finder.FindNextFile() != 0;
        if (!finder.IsDirectory() || finder.IsDots() || finder.IsReparsePoint()) continue;
        const std::string name = finder.GetFileName();
        if (!m_options.hidden && finder.IsHidden()) continue;
        if (MatchesAny(m_options.excludeDirs, name)) continue;
        const std::string child = finder.GetFilePath();
        const std::string childDisplay = Join(display, name);
        if (child.size() > kMaxPath) {
            m_tooLong.push_back(m_options.absolute ? child : childDisplay);
            continue;
        }
        bool added = false;
        Folder& folder = Enter(child, m_options.absolute ? child : childDisplay, added);
        if (folder.all) continue;  // reached before, with its sub-folders
        // Entered before only for the files named in it: printed as reached
        // from here from now on.
        folder.display = m_options.absolute ? child : childDisplay;
        folder.all = true;
        Expand(child, folder.display);
    }
    finder.Close();
}

bool CSearchScope::NameWanted(const std::string& name) const
{
    if (!m_options.hidden && !name.empty() && name.front() == '.') return false;
    bool anyTake = false, taken = false;
    for (const std::string& g : m_options.globs) {
        const bool leave = !g.empty() && g.front() == '!';
        const char* pattern = g.c_str() + (leave ? 1 : 0);
        const bool match = ::fnmatch(pattern, name.c_str(), 0) == 0;
        if (leave && match) return false;
        if (!leave) {
            anyTake = true;
            taken = taken || match;
        }
    }
    return !anyTake || taken;
}

bool CSearchScope::Accept(const std::string& folder, const std::string& name) const
{
    const auto it = m_folders.find(Key(folder));
    if (it == m_folders.end()) return false;
    if (it->second.named.count(name) != 0) return true;
    return it->second.all && NameWanted(name);
}

std::string CSearchScope::Display(const std::string& path) const
{
    if (const auto folder = m_folders.find(Key(path)); folder != m_folders.end())
        return folder->second.display.empty() ? std::string(".") : folder->second.display;
    const std::size_t slash = path.find_last_of('/');
    if (slash == std::string::npos) return path;
    const auto it = m_folders.find(slash == 0 ? std::string("/") : path.substr(0, slash));
    if (it == m_folders.end()) return path;
    const std::string name = path.substr(slash + 1);
    if (const auto named = it->second.named.find(name); named != it->second.named.end()) return named->second;
    return Join(it->second.display, name);
}
