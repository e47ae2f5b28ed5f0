// Command line of varnel-find. Parsing is separate from running so the
// rules (which switches override the saved settings, what is a usage
// error) can be tested without searching anything. The options follow the
// GNU conventions grep and ripgrep users know: combined short options
// (-rk word), -kVALUE, --opt=value, "--", options after operands.
#pragma once

#include <optional>
#include <string>
#include <vector>

struct CCommandLine {
    // Keyword sources in the order given: a keyword, or a file of keywords
    // ("-" is standard input).
    struct KeywordSource {
        bool fromFile = false;
        std::string value;
    };
    std::vector<KeywordSource> keywords;
    // The operands: folders and files, as written. None means the current
    // folder.
    std::vector<std::string> folders;
    bool subfolders = false;

    // Set only when at least one switch of the group was given; then the
    // group is exactly what was given, otherwise the saved settings apply.
    struct Categories {
        bool word = false, excel = false, text = false, htm = false;
    };
    std::optional<Categories> categories;
    struct Matching {
        bool matchCase = false, wholeWord = false, wildcards = false, soundsLike = false, allWordForms = false,
             clearSeriesSpace = true;
    };
    std::optional<Matching> matching;

    // Output and messages.
    bool nullData = false;    // -0: records end with NUL
    bool filesOnly = false;   // -l: paths only
    bool quiet = false;       // -q: print nothing, stop at the first match
    bool noMessages = false;  // -s: no lines about files that could not be searched
    bool verbose = false;     // -v: the message panel's whole log
    bool absolute = false;    // full paths instead of paths as written
    enum class Color { Auto, Always, Never };
    Color color = Color::Auto;

    // Which files are searched.
    bool hidden = false;                   // also hidden files and folders
    std::vector<std::string> globs;        // -g: file names to take ("!GLOB": to leave)
    std::vector<std::string> excludeDirs;  // sub-folder names to leave
    unsigned threads = 0;                  // -j: 0 leaves it to VARNEL_THREADS or the core count
    // --matches, --json: where each keyword is, after or as each result line.
    bool matches = false;
    bool json = false;

    std::string extractFile;  // --extract: print what the readers see
    bool help = false;
    bool version = false;
};

// Parses argv without the program name. Returns false with a one-line
// message on a usage error.
bool ParseCommandLine(const std::vector<std::string>& args, CCommandLine& out, std::string& error);

// The usage text printed by --help.
const char* UsageText();
