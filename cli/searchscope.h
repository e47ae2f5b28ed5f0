// What one varnel-find run searches: the operands (folders and single
// files) turned into the driver's flat folder list, each folder once however
// many operands reach it, the filter that tells the driver which files of a
// folder to search, and the way a path the driver reports is printed (as the
// operand was written, like grep -r, or in full).
//
// The driver works on full, symlink-free paths: the window's records and
// Kestrel take those. Display() maps them back to what the user typed.
#pragma once

#include <map>
#include <string>
#include <vector>

class CSearchScope {
public:
    struct Options {
        bool subfolders = false;
        bool hidden = false;                   // search hidden files and folders below the operands
        bool absolute = false;                 // print full paths
        std::vector<std::string> globs;        // file names to take; "!GLOB" to leave
        std::vector<std::string> excludeDirs;  // sub-folder names to leave
    };
    explicit CSearchScope(Options options) : m_options(std::move(options)) {}

    // Adds an operand as written ("" for the current folder with nothing
    // put before the names). False with a reason when it cannot be searched.
    bool AddOperand(const std::string& written, std::string& error);

    // The folders for the work list, full paths, in search order.
    const std::vector<std::string>& Folders() const { return m_order; }
    // Folders skipped because their path does not fit the work list, as
    // they would be printed.
    const std::vector<std::string>& TooLong() const { return m_tooLong; }

    // Whether the driver searches `name` in `folder` (a folder of the list,
    // with or without a trailing '/').
    bool Accept(const std::string& folder, const std::string& name) const;
    // The printed form of a path the driver reports: a file in a listed
    // folder, or a listed folder.
    std::string Display(const std::string& path) const;

private:
    struct Folder {
        std::string display;                       // "" for the current folder given by no operand
        bool all = false;                          // every file (not only the ones named)
        std::map<std::string, std::string> named;  // files named by an operand, and how
    };

    Folder& Enter(const std::string& path, const std::string& display, bool& added);
    void Expand(const std::string& path, const std::string& display);
    bool NameWanted(const std::string& name) const;
    static std::string Join(const std::string& folder, const std::string& name);
    static std::string Key(const std::string& folder);

    Options m_options;
    std::vector<std::string> m_order;
    std::map<std::string, Folder> m_folders;
    std::vector<std::string> m_tooLong;
};
