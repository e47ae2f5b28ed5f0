// CFileFind: the wildcard folder listing the search and the folder tree
// walk folders with, modelled on the framework class of the same name.
//
//     CFileFind ff;
//     bool more = ff.FindFile("/home/a/Docs/*.doc");
//     while (more) {
//         more = ff.FindNextFile();   // steps, then says if another follows
//         ... ff.GetFilePath(), ff.IsDirectory(), ff.IsDots() ...
//     }
//
// Masks match as on Windows: names compare without regard to case, `*` and
// `?` are wildcards, "*.*" matches every name, "name.*" also matches
// "name", and "*.ext" with a three-letter extension also matches longer
// extensions that begin with it ("*.doc" finds "a.docx"), as Windows does
// through short names. Folders whose names match are returned too, and so
// are "." and ".." when the mask matches them (except in "/", which like a
// drive root has neither). Entries come in ascending order of their names
// compared without regard to case, then byte by byte.
#pragma once

#include "platform/wintypes.h"

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

class CFileFind {
public:
    // A folder with more matching entries than this is cut off there, so a
    // hostile folder cannot exhaust memory.
    static constexpr std::size_t kMaxEntries = 1000000;

    CFileFind() = default;
    ~CFileFind() = default;
    CFileFind(const CFileFind&) = delete;
    CFileFind& operator=(const CFileFind&) = delete;

    // Lists the folder of the mask (default "*.*" in the current folder).
    // FALSE when the folder cannot be listed or nothing matches; the last
    // error then says which: ERROR_FILE_NOT_FOUND when the folder was read
    // and nothing in it matches, as on Windows; otherwise the folder could
    // not be read: ERROR_PATH_NOT_FOUND (it does not exist, or is no
    // folder), ERROR_ACCESS_DENIED, or ERROR_READ_FAULT (reading its
    // entries failed part way; nothing is returned rather than a part).
    BOOL FindFile(const char* pstrName = nullptr);
    // Whether an error FindFile left means that the folder itself could not
    // be read, rather than that nothing in it matched.
    static bool IsUnreadableFolderError(DWORD error);
    // Makes the next entry current; nonzero when another entry follows it.
    BOOL FindNextFile();
    void Close();

    std::string GetFileName() const;
    // Folder + "/" + name.
    std::string GetFilePath() const;
    // The folder being listed, absolute, without a trailing slash (but "/").
    std::string GetRoot() const { return m_root; }
    // Follows a symbolic link: a link to a folder is a directory.
    BOOL IsDirectory() const;
    BOOL IsDots() const;
    // The name starts with a dot.
    BOOL IsHidden() const;
    // The entry itself is a symbolic link.
    BOOL IsReparsePoint() const;

    // The mask rules above, for one name (also used by the tests).
    static bool MatchesMask(std::string_view name, std::string_view mask);
    // The listing order: true when a sorts before b.
    static bool NameLess(std::string_view a, std::string_view b);

private:
    struct Entry {
        std::string name;
        bool directory = false;
        bool link = false;
    };
    const Entry* Current() const;

    std::string m_root;
    std::vector<Entry> m_entries;
    std::size_t m_next = 0;  // index of the entry FindNextFile makes current
    bool m_started = false;
};
