// varnel-find: the search engine from a terminal, for scripts and for
// people without a display. It runs the same keyword analysis, worker,
// driver and built-in Office as the window; its panes are console targets.
// It behaves like the shell tools people know (grep, ripgrep): paths as the
// operands were written, quiet standard error, grep's exit statuses.
#include "cli/cmdline.h"
#include "cli/consolepanes.h"
#include "cli/extract.h"
#include "cli/matchoutput.h"
#include "cli/searchscope.h"
#include "cli/versions.h"
#include "office/automation/builtinoffice.h"
#include "office/containers/filebytes.h"
#include "platform/readahead.h"
#include "platform/stringtable.h"
#include "search/keywordanalysis.h"
#include "search/searchcontext.h"
#include "search/searchdriver.h"
#include "search/searchrun.h"
#include "search/settingsstore.h"

#include <signal.h>
#include <unistd.h>
#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <thread>

namespace {

// The signal that stopped the search, 0 while none did.
std::atomic<int> g_stopSignal{0};
static_assert(std::atomic<int>::is_always_lock_free, "set by a signal handler");

void OnStopSignal(int signo)
{
    // Only lock-free atomic stores here. The worker notices at once, even
    // inside a document, quits Word and Excel and ends; main then exits
    // with the shell's status for the signal.
    int none = 0;
    g_stopSignal.compare_exchange_strong(none, signo);
    StopSearchRun();
}

// Ctrl+C and SIGTERM stop the search cleanly. The handler is reset by its
// first signal, so a second Ctrl+C ends the program at once if the clean
// stop is not wanted.
void InstallStopHandlers()
{
    struct sigaction action {};
    action.sa_handler = OnStopSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = static_cast<int>(SA_RESETHAND | SA_RESTART);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
}

int UsageError(const std::string& message)
{
    std::fprintf(stderr, "varnel-find: %s\nTry 'varnel-find --help' for more information.\n", message.c_str());
    return 2;
}

// Keywords from a file, or from standard input for "-"; bounded like the
// keyword panel's text is by its checks.
bool ReadKeywordFile(const std::string& name, std::vector<std::string>& lines, std::string& error)
{
    constexpr std::size_t kLimit = 1u << 20;
    std::string text;
    if (name == "-") {
        char buffer[4096];
        for (;;) {
            const ssize_t n = ::read(STDIN_FILENO, buffer, sizeof buffer);
            if (n < 0 && errno == EINTR) continue;
            if (n < 0) {
                error = std::string("standard input: ") + std::strerror(errno);
                return false;
            }
            if (n == 0) break;
            text.append(buffer, static_cast<std::size_t>(n));
            if (text.size() > kLimit) {
                error = "standard input: more than 1 MB of keywords";
                return false;
            }
        }
    } else {
        std::vector<std::uint8_t> bytes;
        office::ReadError readError;
        if (!office::ReadFileBytes(name, bytes, readError, kLimit)) {
            error = name + ": " + readError.detail;
            return false;
        }
        text.assign(bytes.begin(), bytes.end());
    }
    // A text ending with a line end has no keyword after it.
    if (!text.empty() && text.back() == '\n') text.pop_back();
    if (!text.empty() && text.back() == '\r') text.pop_back();
    for (std::string& line : SplitKeywordLines(text)) lines.push_back(std::move(line));
    return true;
}

bool UseColor(CCommandLine::Color color)
{
    if (color != CCommandLine::Color::Auto) return color == CCommandLine::Color::Always;
    const char* noColor = std::getenv("NO_COLOR");
    const char* term = std::getenv("TERM");
    return ::isatty(STDOUT_FILENO) == 1 && (noColor == nullptr || noColor[0] == '\0') &&
           (term == nullptr || std::strcmp(term, "dumb") != 0);
}

// The categories of the run: those given, else those the window saved when
// at least one is on, else all four.
void ApplyCategories(const CCommandLine& cmd)
{
    if (cmd.categories) {
        g_bWordFile = cmd.categories->word;
        g_bExcelFile = cmd.categories->excel;
        g_bTextFile = cmd.categories->text;
        g_bHtmFile = cmd.categories->htm;
    } else if (g_bWordFile == 0 && g_bExcelFile == 0 && g_bTextFile == 0 && g_bHtmFile == 0) {
        g_bWordFile = g_bExcelFile = g_bTextFile = g_bHtmFile = 1;
    }
}

}  // namespace

int main(int argc, char** argv)
{
    std::vector<std::string> args(argv + 1, argv + argc);
    CCommandLine cmd;
    std::string error;
    if (!ParseCommandLine(args, cmd, error)) return UsageError(error);
    if (cmd.help) {
        std::fputs(UsageText(), stdout);
        return 0;
    }
    if (cmd.version) {
        std::fputs(VersionText().c_str(), stdout);
        return 0;
    }

    office::RegisterBuiltinOffice();
    if (cmd.threads != 0) platform::SetSearchThreads(cmd.threads);
    if (!cmd.extractFile.empty()) return ExtractFile(cmd.extractFile, stdout, stderr);

    std::vector<std::string> lines;
    for (const auto& source : cmd.keywords) {
        if (!source.fromFile) lines.push_back(source.value);
        else if (!ReadKeywordFile(source.value, lines, error)) {
            std::fprintf(stderr, "varnel-find: %s\n", error.c_str());
            return 2;
        }
    }
    if (lines.empty()) lines.emplace_back();

    LoadSettings(/*createKeys=*/false);
    ApplyCategories(cmd);
    if (cmd.matching) {
        const auto& m = *cmd.matching;
        g_conditions.Assign(
            _FindedConditions{m.matchCase, m.wholeWord, m.wildcards, m.soundsLike, m.allWordForms, m.clearSeriesSpace});
    }

    // The run is marked as started before the handlers exist, so that no
    // early signal is overwritten; the folder walk below already stops on
    // Ctrl+C.
    BeginSearchRun();
    InstallStopHandlers();

    CSearchScope scope({cmd.subfolders, cmd.hidden, cmd.absolute, cmd.globs, cmd.excludeDirs});
    bool operandError = false;
    if (cmd.folders.empty()) cmd.folders.emplace_back();
    for (const std::string& operand : cmd.folders) {
        if (scope.AddOperand(operand, error)) continue;
        operandError = true;
        if (!cmd.noMessages) std::fprintf(stderr, "varnel-find: %s: %s\n", operand.c_str(), error.c_str());
    }

    CConsoleMessagePanel panel(stderr, &scope, {cmd.verbose, cmd.noMessages});
    const CConsoleResultList::Options listOptions{cmd.filesOnly, cmd.nullData, cmd.quiet, UseColor(cmd.color)};
    CConsoleResultList plainResults(stdout, &scope, listOptions);
    CMatchResultList reportedResults(stdout, &scope, listOptions,
                                     cmd.json ? CMatchResultList::Format::Json : CMatchResultList::Format::Lines);
    CConsoleResultList& results = cmd.json || cmd.matches ? reportedResults : plainResults;
    CConsoleFrame frame;
    // Owned by no thread: every send goes through the target's own lock.
    panel.SetOwnerThread(std::thread::id());
    results.SetOwnerThread(std::thread::id());
    frame.SetOwnerThread(std::thread::id());
    g_hWndMessagePanel = &panel;
    g_hWndResultList = &results;
    g_hWndMainFrame = &frame;

    AnalyzeKeywords(lines);
    LogString(IDS_SEARCH_SELECTED_DIRS);
    for (const std::string& path : scope.TooLong()) LogFileLine(path, IDS_PATH_TOO_LONG);
    g_listSelectedFolders.clear();
    for (const std::string& folder : scope.Folders()) {
        _SelectedFolder selected;
        std::memset(&selected, 0, sizeof selected);
        std::memcpy(selected.szPath, folder.data(), folder.size());  // fits: the scope checked
        selected.bSubfolders = 0;                                    // the scope listed them
        g_listSelectedFolders.push_back(selected);
    }
    SetFileFilter([&scope](const std::string& folder, const std::string& name) { return scope.Accept(folder, name); });

    // Every operand missing: nothing to search, and no second message.
    if (!g_listSelectedFolders.empty() || !operandError) {
        std::thread worker(SearchThreadProc);
        worker.join();
    }

    SetFileFilter(nullptr);
    g_hWndMessagePanel = nullptr;
    g_hWndResultList = nullptr;
    g_hWndMainFrame = nullptr;
    // Stopped by a signal: 128 plus its number, as the shell reports a
    // program the signal ended (130 for Ctrl+C, 143 for SIGTERM).
    if (const int signo = g_stopSignal.load(); signo != 0) return 128 + signo;
    if (cmd.quiet && results.Count() > 0) return 0;
    if (operandError || panel.SawError()) return 2;
    return results.Count() > 0 ? 0 : 1;
}
