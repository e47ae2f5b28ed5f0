// varnel-find's option parser (see cmdline.h).
#include "cli/cmdline.h"

#include "platform/readahead.h"

namespace {

bool TakeValue(const std::vector<std::string>& args, std::size_t& i, const std::string& arg,
               const std::string& longName, char shortName, std::string& value, bool& matched, std::string& error)
{
    matched = false;
    const std::string shortOpt = shortName != 0 ? std::string("-") + shortName : std::string();
    if (arg == longName || (!shortOpt.empty() && arg == shortOpt)) {
        matched = true;
        if (i + 1 >= args.size()) {
            error = "option " + arg + " needs a value";
            return false;
        }
        value = args[++i];
        return true;
    }
    if (arg.compare(0, longName.size() + 1, longName + "=") == 0) {
        matched = true;
        value = arg.substr(longName.size() + 1);
        return true;
    }
    if (!shortOpt.empty() && arg.size() > 2 && arg.compare(0, 2, shortOpt) == 0) {
        matched = true;
        value = arg.substr(2);
        return true;
    }
    return true;
}

}  // namespace

const char* UsageText()
{
    return "usage: varnel-find [options] FOLDER...\n"
           "  -k, --keyword TEXT        a keyword; repeat for more; order kept\n"
           "  -K, --keywords-file FILE  keywords one per line, checked like the keyword panel's text\n"
           "  -r, --subfolders          every FOLDER with all its sub-folders\n"
           "      --word --excel --text --htm          file categories\n"
           "      --match-case --whole-word --wildcards --sounds-like --all-word-forms\n"
           "      --no-clear-series-space\n"
           "  -j, --threads N           use N threads (1: none besides the search; default\n"
           "                            VARNEL_THREADS, else the number of cores)\n"
           "  -x, --extract FILE        print the text the built-in Word or Excel reads in FILE, and exit\n"
           "  -h, --help\n"
           "\n"
           "Without a category option the saved file categories apply; without a match option\n"
           "the saved match settings apply. Results go to standard output as DEGREE%<TAB>PATH;\n"
           "log lines go to standard error. Exit status: 0 a file matched, 1 none did,\n"
           "2 the search could not start, 130 stopped by Ctrl+C, 143 stopped by SIGTERM.\n";
}

bool ParseCommandLine(const std::vector<std::string>& args, CCommandLine& out, std::string& error)
{
    out = CCommandLine();
    bool optionsEnded = false;
    CCommandLine::Categories categories;
    bool anyCategory = false;
    CCommandLine::Matching matching;
    bool anyMatch = false;

    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (optionsEnded || arg.empty() || arg[0] != '-' || arg == "-") {
            out.folders.push_back(arg);
            continue;
        }
        if (arg == "--") {
            optionsEnded = true;
            continue;
        }
        std::string value;
        bool matched = false;
        if (!TakeValue(args, i, arg, "--keyword", 'k', value, matched, error)) return false;
        if (matched) {
            out.keywords.push_back({false, value});
            continue;
        }
        if (!TakeValue(args, i, arg, "--keywords-file", 'K', value, matched, error)) return false;
        if (matched) {
            out.keywords.push_back({true, value});
            continue;
        }
        if (!TakeValue(args, i, arg, "--threads", 'j', value, matched, error)) return false;
        if (matched) {
            if (!platform::ParseThreadCount(value.c_str(), out.threads)) {
                error = "option " + arg + " needs a number of threads from 1 to " +
                        std::to_string(platform::kMaxSearchThreads);
                return false;
            }
            continue;
        }
        if (!TakeValue(args, i, arg, "--extract", 'x', value, matched, error)) return false;
        if (matched) {
            out.extractFile = value;
            continue;
        }
        if (arg == "-r" || arg == "--subfolders") out.subfolders = true;
        else if (arg == "-h" || arg == "--help") out.help = true;
        else if (arg == "--word") anyCategory = categories.word = true;
        else if (arg == "--excel") anyCategory = categories.excel = true;
        else if (arg == "--text") anyCategory = categories.text = true;
        else if (arg == "--htm") anyCategory = categories.htm = true;
        else if (arg == "--match-case") anyMatch = matching.matchCase = true;
        else if (arg == "--whole-word") anyMatch = matching.wholeWord = true;
        else if (arg == "--wildcards") anyMatch = matching.wildcards = true;
        else if (arg == "--sounds-like") anyMatch = matching.soundsLike = true;
        else if (arg == "--all-word-forms") anyMatch = matching.allWordForms = true;
        else if (arg == "--no-clear-series-space") {
            anyMatch = true;
            matching.clearSeriesSpace = false;
        } else {
            error = "unknown option " + arg;
            return false;
        }
    }
    if (anyCategory) out.categories = categories;
    if (anyMatch) out.matching = matching;
    return true;
}
