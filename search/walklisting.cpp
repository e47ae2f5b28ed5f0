// Listings of the driver's walk (see walklisting.h).
#include "search/walklisting.h"

#include "platform/fileapi.h"
#include "platform/filefind.h"

CWalkListing::CWalkListing(const CFolderWorkList& folders, const CPatternList& patterns) : m_patterns(patterns)
{
    m_dirs.reserve(folders.size());
    for (const _FolderPath& folder : folders) {
        std::string dir = folder.szPath;
        if (dir.empty() || dir.back() != '/') dir += '/';
        m_dirs.push_back(std::move(dir));
    }
}

ListedMask CWalkListing::List(std::size_t folder, std::size_t pattern) const
{
    ListedMask mask;
    mask.folder = folder;
    mask.pattern = pattern;
    CFileFind finder;
    const std::string pathMask = m_dirs[folder] + m_patterns[pattern].szMask;
    bool more = finder.FindFile(pathMask.c_str()) != 0;
    mask.error = more ? ERROR_SUCCESS : GetLastError();
    mask.unreadable = CFileFind::IsUnreadableFolderError(mask.error);
    while (more) {
        more = finder.FindNextFile() != 0;
        mask.files.push_back(
            {finder.GetFilePath(), finder.GetFileName(), finder.IsReparsePoint() != 0, finder.IsDirectory() != 0});
    }
    finder.Close();
    return mask;
}

bool CWalkListing::After(const ListedMask& mask, std::size_t& folder, std::size_t& pattern) const
{
    // A folder that cannot be read ends its masks, as in the driver.
    if (!mask.unreadable && mask.pattern + 1 < m_patterns.size()) {
        folder = mask.folder;
        pattern = mask.pattern + 1;
        return true;
    }
    folder = mask.folder + 1;
    pattern = 0;
    return folder < m_dirs.size() && !m_patterns.empty();
}

ListedMask CWalkListing::Take(std::size_t folder, std::size_t pattern)
{
    while (!m_ahead.empty() &&
           (m_ahead.front().folder < folder || (m_ahead.front().folder == folder && m_ahead.front().pattern < pattern)))
        m_ahead.pop_front();
    if (!m_ahead.empty() && m_ahead.front().folder == folder && m_ahead.front().pattern == pattern) {
        m_ahead.pop_front();
    } else {
        m_ahead.clear();
    }
    // Listed again even when it was listed ahead: a folder that changed or
    // went away meanwhile is met as the walk with one thread meets it.
    return List(folder, pattern);
}

std::vector<CWalkListing::Coming> CWalkListing::Following(
    const ListedMask& current, std::size_t index, std::size_t count,
    const std::function<bool(const ListedFile&, std::int32_t kind)>& wanted)
{
    std::vector<Coming> found;
    for (std::size_t i = index + 1; i < current.files.size() && found.size() < count; ++i)
        if (wanted(current.files[i], Kind(current))) found.push_back({&current.files[i], Kind(current)});
    for (std::size_t m = 0; found.size() < count; ++m) {
        if (m == m_ahead.size()) {
            if (m_ahead.size() >= kMaxMasksAhead) break;
            std::size_t folder = 0, pattern = 0;
            if (!After(m_ahead.empty() ? current : m_ahead.back(), folder, pattern)) break;
            m_ahead.push_back(List(folder, pattern));
        }
        const ListedMask& mask = m_ahead[m];
        for (std::size_t i = 0; i < mask.files.size() && found.size() < count; ++i)
            if (wanted(mask.files[i], Kind(mask))) found.push_back({&mask.files[i], Kind(mask)});
    }
    return found;
}
