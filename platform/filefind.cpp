// The wildcard folder listing (see filefind.h). The whole folder is read at
// FindFile so that entries can be handed out in name order, the way the
// program's callers have always seen them; stepping is then free of I/O.
#include "platform/filefind.h"

#include "platform/fileapi.h"
#include "platform/utf8.h"

#include <dirent.h>
#include <fcntl.h>
#include <locale.h>
#include <sys/stat.h>
#include <unistd.h>
#include <wctype.h>
#include <algorithm>
#include <cerrno>
#include <climits>
#include <numeric>

namespace {

// Bytes that are not valid UTF-8 are kept apart from every character, so
// they still compare equal only to themselves.
constexpr char32_t kRawByteBase = 0x110000;

locale_t CaseLocale()
{
    // C.UTF-8 carries the full Unicode case tables and does not depend on
    // the user's locale; without it only ASCII letters fold.
    static const locale_t locale = newlocale(LC_CTYPE_MASK, "C.UTF-8", static_cast<locale_t>(nullptr));
    return locale;
}

char32_t FoldCodePoint(char32_t cp)
{
    if (cp < 0x80) return (cp >= 'A' && cp <= 'Z') ? cp + 0x20 : cp;
    if (cp >= kRawByteBase) return cp;
    const locale_t locale = CaseLocale();
    if (locale == static_cast<locale_t>(nullptr)) return cp;
    return static_cast<char32_t>(towlower_l(static_cast<wint_t>(cp), locale));
}

// Decodes UTF-8 and folds case; a name is at most a few hundred bytes.
void FoldInto(std::string_view s, std::u32string& out)
{
    out.clear();
    out.reserve(s.size());
    const auto* p = reinterpret_cast<const unsigned char*>(s.data());
    for (std::size_t i = 0; i < s.size();) {
        const Utf8Step step = DecodeUtf8Step(p + i, s.size() - i);
        if (step.valid) {
            out.push_back(FoldCodePoint(step.cp));
        } else {
            for (std::uint32_t k = 0; k < step.length; ++k) out.push_back(kRawByteBase + p[i + k]);
        }
        i += step.length;
    }
}

std::u32string Fold(std::string_view s)
{
    std::u32string out;
    FoldInto(s, out);
    return out;
}

// `*` any run, `?` exactly one character. Greedy with one backtrack point,
// so the time is bounded by name length times mask length.
bool Glob(std::u32string_view mask, std::u32string_view name)
{
    std::size_t m = 0, n = 0;
    std::size_t starM = std::u32string_view::npos, starN = 0;
    while (n < name.size()) {
        if (m < mask.size() && (mask[m] == U'?' || mask[m] == name[n])) {
            ++m;
            ++n;
        } else if (m < mask.size() && mask[m] == U'*') {
            starM = m++;
            starN = n;
        } else if (starM != std::u32string_view::npos) {
            m = starM + 1;
            n = ++starN;
        } else {
            return false;
        }
    }
    while (m < mask.size() && mask[m] == U'*') ++m;
    return m == mask.size();
}

class CMask {
public:
    explicit CMask(std::string_view mask) : m_mask(Fold(mask))
    {
        m_all = m_mask == U"*" || m_mask == U"*.*";
        if (m_mask.size() > 2 && m_mask.ends_with(U".*")) m_withoutDotStar = m_mask.substr(0, m_mask.size() - 2);
        // "*.abc": Windows also matches the 8.3 short name, whose extension
        // is the first three characters of a longer one.
        if (m_mask.size() == 5 && m_mask.starts_with(U"*.")) {
            const std::u32string_view ext = std::u32string_view(m_mask).substr(2);
            if (ext.find_first_of(U"*?.") == std::u32string_view::npos) m_shortExt = ext;
        }
    }

    bool Matches(std::string_view name) const
    {
        if (m_all) return true;
        // Every entry of a folder is matched, most of them in vain: the
        // folded name goes into room kept from one to the next.
        thread_local std::u32string folded;
        FoldInto(name, folded);
        if (Glob(m_mask, folded)) return true;
        if (!m_withoutDotStar.empty() && Glob(m_withoutDotStar, folded)) return true;
        if (!m_shortExt.empty()) {
            const std::size_t dot = folded.rfind(U'.');
            if (dot != std::u32string::npos && dot > 0) {
                const std::u32string_view ext = std::u32string_view(folded).substr(dot + 1);
                if (ext.size() > 3 && ext.starts_with(m_shortExt)) return true;
            }
        }
        return false;
    }

private:
    std::u32string m_mask;
    std::u32string m_withoutDotStar;
    std::u32string m_shortExt;
    bool m_all = false;
};

bool IsDotsName(std::string_view name)
{
    return name == "." || name == "..";
}

int OrderCompare(std::string_view a, const std::u32string& foldedA, std::string_view b, const std::u32string& foldedB)
{
    // The dot entries come first, as the folder itself and its parent.
    const bool dotsA = IsDotsName(a), dotsB = IsDotsName(b);
    if (dotsA != dotsB) return dotsA ? -1 : 1;
    if (const int c = foldedA.compare(foldedB); c != 0) return c;
    return a.compare(b);
}

DWORD ErrorFromErrno(int err)
{
    if (err == EACCES || err == EPERM) return ERROR_ACCESS_DENIED;
    return (err == ENOENT || err == ENOTDIR) ? ERROR_PATH_NOT_FOUND : ERROR_READ_FAULT;
}

}  // namespace

bool CFileFind::IsUnreadableFolderError(DWORD error)
{
    return error == ERROR_PATH_NOT_FOUND || error == ERROR_ACCESS_DENIED || error == ERROR_READ_FAULT;
}

bool CFileFind::MatchesMask(std::string_view name, std::string_view mask)
{
    return CMask(mask).Matches(name);
}

bool CFileFind::NameLess(std::string_view a, std::string_view b)
{
    return OrderCompare(a, Fold(a), b, Fold(b)) < 0;
}

void CFileFind::Close()
{
    m_root.clear();
    m_entries.clear();
    m_entries.shrink_to_fit();
    m_next = 0;
    m_started = false;
}

BOOL CFileFind::FindFile(const char* pstrName)
{
    Close();
    std::string mask = pstrName == nullptr ? std::string("*.*") : std::string(pstrName);
    if (mask.empty() || mask.size() >= PATH_MAX) {
        SetLastError(ERROR_FILE_NOT_FOUND);
        return FALSE;
    }

    std::string folder;
    std::string pattern;
    const std::size_t slash = mask.rfind('/');
    if (slash == std::string::npos) {
        pattern = mask;
    } else {
        folder = mask.substr(0, slash == 0 ? 1 : slash);  // "/x" lists the root
        pattern = mask.substr(slash + 1);
    }
    if (folder.empty() || folder.front() != '/') {
        char cwd[PATH_MAX];
        if (getcwd(cwd, sizeof cwd) == nullptr) {
            SetLastError(ERROR_PATH_NOT_FOUND);
            return FALSE;
        }
        std::string absolute = cwd;
        if (!folder.empty()) {
            if (absolute.back() != '/') absolute.push_back('/');
            absolute.append(folder);
        }
        folder = std::move(absolute);
    }
    while (folder.size() > 1 && folder.back() == '/') folder.pop_back();
    if (pattern.empty()) {
        SetLastError(ERROR_FILE_NOT_FOUND);
        return FALSE;
    }

    const int dirFd = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dirFd < 0) {
        SetLastError(ErrorFromErrno(errno));
        return FALSE;
    }
    DIR* dir = fdopendir(dirFd);
    if (dir == nullptr) {
        const int err = errno;
        close(dirFd);
        SetLastError(ErrorFromErrno(err));
        return FALSE;
    }

    const CMask matcher(pattern);
    const bool isRoot = folder == "/";
    std::vector<Entry> entries;
    int readError = 0;
    for (;;) {
        errno = 0;
        const dirent* de = readdir(dir);
        if (de == nullptr) {
            readError = errno;
            break;
        }
        const std::string_view name = de->d_name;
        // A drive root lists no dot entries on Windows; "/" is our root.
        if (isRoot && IsDotsName(name)) continue;
        if (!matcher.Matches(name)) continue;
        Entry e;
        e.name = std::string(name);
        unsigned char type = de->d_type;
        struct stat st {};
        if (type == DT_UNKNOWN) {
            if (fstatat(dirFd, de->d_name, &st, AT_SYMLINK_NOFOLLOW) == 0)
                type = S_ISLNK(st.st_mode) ? DT_LNK : (S_ISDIR(st.st_mode) ? DT_DIR : DT_REG);
        }
        if (type == DT_LNK) {
            e.link = true;
            e.directory = fstatat(dirFd, de->d_name, &st, 0) == 0 && S_ISDIR(st.st_mode);
        } else {
            e.directory = type == DT_DIR;
        }
        entries.push_back(std::move(e));
        if (entries.size() >= kMaxEntries) break;
    }
    closedir(dir);

    // A listing cut short by a read error would pass for the whole folder.
    if (readError != 0) {
        SetLastError(ErrorFromErrno(readError));
        return FALSE;
    }
    if (entries.empty()) {
        SetLastError(ERROR_FILE_NOT_FOUND);
        return FALSE;
    }

    // Sort by precomputed folded names: folding inside the comparison would
    // redo the UTF-8 work n log n times.
    std::vector<std::u32string> folded;
    folded.reserve(entries.size());
    for (const Entry& e : entries) folded.push_back(Fold(e.name));
    std::vector<std::size_t> order(entries.size());
    std::iota(order.begin(), order.end(), std::size_t{0});
    std::sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) {
        return OrderCompare(entries[a].name, folded[a], entries[b].name, folded[b]) < 0;
    });
    m_entries.reserve(entries.size());
    for (std::size_t i : order) m_entries.push_back(std::move(entries[i]));

    m_root = folder;
    m_next = 0;
    m_started = true;
    SetLastError(ERROR_SUCCESS);
    return TRUE;
}

BOOL CFileFind::FindNextFile()
{
    if (!m_started || m_next >= m_entries.size()) {
        SetLastError(ERROR_NO_MORE_FILES);
        return FALSE;
    }
    ++m_next;
    return m_next < m_entries.size() ? TRUE : FALSE;
}

const CFileFind::Entry* CFileFind::Current() const
{
    if (!m_started || m_next == 0) return nullptr;
    return &m_entries[m_next - 1];
}

std::string CFileFind::GetFileName() const
{
    const Entry* e = Current();
    return e == nullptr ? std::string() : e->name;
}

std::string CFileFind::GetFilePath() const
{
    const Entry* e = Current();
    if (e == nullptr) return {};
    std::string path = m_root;
    if (path.back() != '/') path.push_back('/');
    path.append(e->name);
    return path;
}

BOOL CFileFind::IsDirectory() const
{
    const Entry* e = Current();
    return e != nullptr && e->directory ? TRUE : FALSE;
}

BOOL CFileFind::IsDots() const
{
    const Entry* e = Current();
    return e != nullptr && IsDotsName(e->name) ? TRUE : FALSE;
}

BOOL CFileFind::IsHidden() const
{
    const Entry* e = Current();
    return e != nullptr && !e->name.empty() && e->name.front() == '.' ? TRUE : FALSE;
}

BOOL CFileFind::IsReparsePoint() const
{
    const Entry* e = Current();
    return e != nullptr && e->link ? TRUE : FALSE;
}
