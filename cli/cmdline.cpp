// varnel-find's option parser (see cmdline.h): glibc's getopt_long over one
// table, so that every option is one row and the short-option string, the
// long-option array and the dispatch all come from it.
#include "cli/cmdline.h"

#include "platform/readahead.h"

#include <getopt.h>
#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace {

using Apply = bool (*)(CCommandLine& c, const char* value, std::string& error);

struct OptionRow {
    const char* longName;
    char shortName;  // 0: long form only
    int argument;    // no_argument, required_argument or optional_argument
    Apply apply;
};

CCommandLine::Categories& Categories(CCommandLine& c)
{
    if (!c.categories) c.categories.emplace();
    return *c.categories;
}

CCommandLine::Matching& Matching(CCommandLine& c)
{
    if (!c.matching) c.matching.emplace();
    return *c.matching;
}

bool SetColor(CCommandLine& c, const char* value, std::string& error)
{
    const std::string v = value != nullptr ? value : "auto";
    if (v == "auto" || v == "tty" || v == "if-tty") c.color = CCommandLine::Color::Auto;
    else if (v == "always" || v == "yes" || v == "force") c.color = CCommandLine::Color::Always;
    else if (v == "never" || v == "no" || v == "none") c.color = CCommandLine::Color::Never;
    else {
        error = "invalid argument '" + v + "' for '--color' (valid: auto, always, never)";
        return false;
    }
    return true;
}

bool SetThreads(CCommandLine& c, const char* value, std::string& error)
{
    if (platform::ParseThreadCount(value, c.threads)) return true;
    error = std::string("invalid number of threads '") + value + "' (1 to " +
            std::to_string(platform::kMaxSearchThreads) + ")";
    return false;
}

// The setters the table's rows use.
template <bool CCommandLine::*Field>
bool SetFlag(CCommandLine& c, const char*, std::string&)
{
    c.*Field = true;
    return true;
}

template <bool CCommandLine::Categories::*Field>
bool SetCategory(CCommandLine& c, const char*, std::string&)
{
    Categories(c).*Field = true;
    return true;
}

template <bool CCommandLine::Matching::*Field, bool Value = true>
bool SetMatch(CCommandLine& c, const char*, std::string&)
{
    Matching(c).*Field = Value;
    return true;
}

template <std::vector<std::string> CCommandLine::*Field>
bool AddValue(CCommandLine& c, const char* value, std::string&)
{
    (c.*Field).push_back(value);
    return true;
}

template <bool FromFile>
bool AddKeywords(CCommandLine& c, const char* value, std::string&)
{
    c.keywords.push_back({FromFile, value});
    return true;
}

bool SetExtract(CCommandLine& c, const char* value, std::string& error)
{
    if (*value == '\0') {
        error = "option '--extract' needs a file name";
        return false;
    }
    c.extractFile = value;
    return true;
}

// One row per option; a new option is one more row (and its field).
const OptionRow kOptions[] = {
    {"keyword", 'k', required_argument, AddKeywords<false>},
    {"keywords-file", 'K', required_argument, AddKeywords<true>},
    {"subfolders", 'r', no_argument, SetFlag<&CCommandLine::subfolders>},
    {"recursive", 'R', no_argument, SetFlag<&CCommandLine::subfolders>},
    {"word", 0, no_argument, SetCategory<&CCommandLine::Categories::word>},
    {"excel", 0, no_argument, SetCategory<&CCommandLine::Categories::excel>},
    {"text", 0, no_argument, SetCategory<&CCommandLine::Categories::text>},
    {"htm", 0, no_argument, SetCategory<&CCommandLine::Categories::htm>},
    {"match-case", 0, no_argument, SetMatch<&CCommandLine::Matching::matchCase>},
    {"whole-word", 0, no_argument, SetMatch<&CCommandLine::Matching::wholeWord>},
    {"wildcards", 0, no_argument, SetMatch<&CCommandLine::Matching::wildcards>},
    {"sounds-like", 0, no_argument, SetMatch<&CCommandLine::Matching::soundsLike>},
    {"all-word-forms", 0, no_argument, SetMatch<&CCommandLine::Matching::allWordForms>},
    {"no-clear-series-space", 0, no_argument, SetMatch<&CCommandLine::Matching::clearSeriesSpace, false>},
    {"files-with-matches", 'l', no_argument, SetFlag<&CCommandLine::filesOnly>},
    {"null", '0', no_argument, SetFlag<&CCommandLine::nullData>},
    {"quiet", 'q', no_argument, SetFlag<&CCommandLine::quiet>},
    {"silent", 0, no_argument, SetFlag<&CCommandLine::quiet>},
    {"no-messages", 's', no_argument, SetFlag<&CCommandLine::noMessages>},
    {"verbose", 'v', no_argument, SetFlag<&CCommandLine::verbose>},
    {"absolute", 0, no_argument, SetFlag<&CCommandLine::absolute>},
    {"color", 0, optional_argument, SetColor},
    {"colour", 0, optional_argument, SetColor},
    {"hidden", 0, no_argument, SetFlag<&CCommandLine::hidden>},
    {"glob", 'g', required_argument, AddValue<&CCommandLine::globs>},
    {"exclude-dir", 0, required_argument, AddValue<&CCommandLine::excludeDirs>},
    {"threads", 'j', required_argument, SetThreads},
    {"matches", 0, no_argument, SetFlag<&CCommandLine::matches>},
    {"json", 0, no_argument, SetFlag<&CCommandLine::json>},
    {"extract", 'x', required_argument, SetExtract},
    {"help", 'h', no_argument, SetFlag<&CCommandLine::help>},
    {"version", 'V', no_argument, SetFlag<&CCommandLine::version>},
};
constexpr int kLongOnlyBase = 256;

}  // namespace

const char* UsageText()
{
    return "Usage: varnel-find [OPTION]... [FOLDER|FILE]...\n"
           "Find office documents, text files and web pages holding keywords.\n"
           "Searches each FOLDER (with -r, also its sub-folders) and each FILE whose\n"
           "name fits the file categories; without an operand, the current folder.\n"
           "\n"
           "Keywords and matching:\n"
           "  -k, --keyword=TEXT        a keyword; repeat for more; order kept\n"
           "  -K, --keywords-file=FILE  keywords one per line (FILE - is standard input)\n"
           "      --match-case          upper and lower case differ\n"
           "      --whole-word          whole words only\n"
           "      --wildcards           keywords are Word wildcard patterns\n"
           "      --sounds-like         words that sound like the keyword\n"
           "      --all-word-forms      every form of the keyword's words\n"
           "      --no-clear-series-space  keep tabs and runs of spaces as they are\n"
           "\n"
           "Which files:\n"
           "  -r, -R, --subfolders, --recursive\n"
           "                            search sub-folders too\n"
           "      --word                Word documents (.doc, .docx, ...)\n"
           "      --excel               Excel workbooks (.xls, .xlsx, ...)\n"
           "      --text                text files (.txt)\n"
           "      --htm                 web pages (.htm, .html)\n"
           "  -g, --glob=GLOB           search only files whose name matches GLOB;\n"
           "                            !GLOB leaves them out; repeat for more\n"
           "      --exclude-dir=GLOB    leave out sub-folders whose name matches GLOB\n"
           "      --hidden              also search hidden files and folders\n"
           "  -j, --threads=N           threads the search may use (1: none besides the\n"
           "                            search; default VARNEL_THREADS, else the cores)\n"
           "\n"
           "Output:\n"
           "  -l, --files-with-matches  print only the paths of matching files\n"
           "  -0, --null                end each result with NUL instead of a newline\n"
           "  -q, --quiet, --silent     print nothing; stop at the first match\n"
           "  -s, --no-messages         no lines about files that could not be searched\n"
           "  -v, --verbose             print the whole search log on standard error\n"
           "      --absolute            print full paths\n"
           "      --color[=WHEN]        colour the degree and path: auto, always or never\n"
           "      --matches             after each result, a line TAB KEYWORD TAB PLACE\n"
           "                            TAB SNIPPET for every keyword found\n"
           "      --json                each result as one JSON object on one line: path,\n"
           "                            degree, every keyword with found and its hits\n"
           "  -x, --extract=FILE        print the text the built-in Word or Excel reads\n"
           "                            in FILE, and exit\n"
           "  -h, --help                print this help and exit\n"
           "  -V, --version             print the version and the libraries' versions\n"
           "\n"
           "Each result is a line DEGREE%<TAB>PATH, DEGREE being the share of keywords\n"
           "found. Paths start as the operand was written. Without a category option\n"
           "the categories saved by the window apply, or all four when none is saved;\n"
           "without a match option the saved match settings apply. The settings file is\n"
           "only read. With --color=auto, colour is used on a terminal unless NO_COLOR\n"
           "is set.\n"
           "\n"
           "Exit status is 0 if a file matched, 1 if none did, 2 if an error occurred\n"
           "(with -q and a match: 0), 130 after Ctrl+C and 143 after SIGTERM.\n";
}

bool ParseCommandLine(const std::vector<std::string>& args, CCommandLine& out, std::string& error)
{
    out = CCommandLine();
    constexpr std::size_t kCount = sizeof kOptions / sizeof kOptions[0];

    // A leading ':' makes a missing value return ':' rather than '?'.
    std::string shortOptions = ":";
    std::vector<option> longOptions;
    for (std::size_t i = 0; i < kCount; ++i) {
        const OptionRow& s = kOptions[i];
        if (s.shortName != 0) {
            shortOptions += s.shortName;
            if (s.argument == required_argument) shortOptions += ':';
        }
        longOptions.push_back({s.longName, s.argument, nullptr, kLongOnlyBase + static_cast<int>(i)});
    }
    longOptions.push_back({nullptr, 0, nullptr, 0});

    std::vector<std::string> storage;
    storage.reserve(args.size() + 1);
    storage.emplace_back("varnel-find");
    storage.insert(storage.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& s : storage) argv.push_back(s.data());
    argv.push_back(nullptr);
    const int argc = static_cast<int>(storage.size());

    // getopt keeps its state in globals: 0 starts it over, so the parser
    // can be called more than once in a process.
    optind = 0;
    opterr = 0;
    for (;;) {
        int longIndex = -1;
        const int c = getopt_long(argc, argv.data(), shortOptions.c_str(), longOptions.data(), &longIndex);
        if (c == -1) break;
        const char* const seen = argv[static_cast<std::size_t>(optind - 1)];
        const bool shortForm = optopt > 0 && optopt < kLongOnlyBase;
        if (c == '?') {
            if (shortForm) error = std::string("invalid option -- '") + char(optopt) + "'";
            else if (optopt >= kLongOnlyBase)
                error = std::string("option '--") + kOptions[optopt - kLongOnlyBase].longName +
                        "' doesn't allow an argument";
            else error = std::string("unrecognized option '") + seen + "'";
            return false;
        }
        if (c == ':') {
            if (shortForm) error = std::string("option requires an argument -- '") + char(optopt) + "'";
            else error = std::string("option '") + seen + "' requires an argument";
            return false;
        }
        std::size_t index = kCount;
        if (c >= kLongOnlyBase) index = static_cast<std::size_t>(c - kLongOnlyBase);
        else
            for (std::size_t i = 0; i < kCount; ++i)
                if (kOptions[i].shortName == c) index = i;
        if (index >= kCount) {
            error = std::string("unrecognized option '") + seen + "'";
            return false;
        }
        if (!kOptions[index].apply(out, optarg, error)) return false;
    }
    for (int i = optind; i < argc; ++i) out.folders.emplace_back(argv[static_cast<std::size_t>(i)]);
    return true;
}
