// Command line of varnel-find. Parsing is separate from running so the
// rules (which switches override the saved settings, what is a usage
// error) can be tested without searching anything.
#pragma once

#include <optional>
#include <string>
#include <vector>

struct CCommandLine {
    // Keyword sources in the order given: a keyword, or a file of keywords.
    struct KeywordSource {
        bool fromFile = false;
        std::string value;
    };
    std::vector<KeywordSource> keywords;
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

    unsigned threads = 0;     // -j: threads a search may use; 0: VARNEL_THREADS or the core count
    std::string extractFile;  // --extract: print what the readers see
    bool help = false;
};

// Parses argv. Returns false with a message on a usage error.
bool ParseCommandLine(const std::vector<std::string>& args, CCommandLine& out, std::string& error);

// The usage text printed by --help and after a usage error.
const char* UsageText();
