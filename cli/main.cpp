// varnel-find: the search engine from a terminal, for scripts and for
// people without a display. It runs the same keyword analysis, worker,
// driver and built-in Office as the window; its panes are console targets.
#include "cli/cmdline.h"
#include "cli/consolepanes.h"
#include "cli/extract.h"
#include "office/automation/builtinoffice.h"
#include "office/containers/filebytes.h"
#include "platform/readahead.h"
#include "platform/stringtable.h"
#include "search/keywordanalysis.h"
#include "search/searchcontext.h"
#include "search/searchrun.h"
#include "search/settingsstore.h"

#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>
#include <atomic>
#include <chrono>
#include <csignal>
#include <cstring>
#include <future>
#include <thread>

namespace {

constexpr UINT WM_SHOW_PROGRESS = WM_USER + 100;

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
    std::fprintf(stderr, "varnel-find: %s\n%s", message.c_str(), UsageText());
    return 2;
}

bool IsFolder(const std::string& path)
{
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// The console panel, also drawing the progress line so that it and the log
// lines never interleave.
class CProgressPanel : public CConsoleMessagePanel {
public:
    using CConsoleMessagePanel::CConsoleMessagePanel;
    LRESULT OnMessage(UINT message, WPARAM wParam, LPARAM lParam) override
    {
        if (message == WM_SHOW_PROGRESS) {
            const std::string status = g_strStatusText.Get();
            std::fprintf(stderr, "\r\033[K%s  files:%d", status.c_str(), static_cast<int>(wParam));
            std::fflush(stderr);
            SetProgressShown(true);
            return 0;
        }
        return CConsoleMessagePanel::OnMessage(message, wParam, lParam);
    }
};

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

    office::RegisterBuiltinOffice();
    if (cmd.threads != 0) platform::SetSearchThreads(cmd.threads);
    if (!cmd.extractFile.empty()) return ExtractFile(cmd.extractFile, stdout, stderr);

    for (const std::string& folder : cmd.folders) {
        if (!IsFolder(folder)) return UsageError(folder + ": not a folder");
        if (folder.size() >= sizeof(_SelectedFolder{}.szPath)) return UsageError(folder + ": path is too long");
    }

    std::vector<std::string> lines;
    for (const auto& source : cmd.keywords) {
        if (!source.fromFile) {
            lines.push_back(source.value);
            continue;
        }
        std::vector<std::uint8_t> bytes;
        office::ReadError readError;
        if (!office::ReadFileBytes(source.value, bytes, readError, 1u << 20))
            return UsageError(source.value + ": " + readError.detail);
        std::string text(bytes.begin(), bytes.end());
        // A file ending with a line end has no keyword after it.
        if (!text.empty() && text.back() == '\n') text.pop_back();
        if (!text.empty() && text.back() == '\r') text.pop_back();
        for (std::string& line : SplitKeywordLines(text)) lines.push_back(std::move(line));
    }
    if (lines.empty()) lines.emplace_back();

    LoadSettings();
    if (cmd.categories) {
        g_bWordFile = cmd.categories->word;
        g_bExcelFile = cmd.categories->excel;
        g_bTextFile = cmd.categories->text;
        g_bHtmFile = cmd.categories->htm;
    }
    if (cmd.matching) {
        const auto& m = *cmd.matching;
        g_conditions.Assign(
            _FindedConditions{m.matchCase, m.wholeWord, m.wildcards, m.soundsLike, m.allWordForms, m.clearSeriesSpace});
    }

    CProgressPanel panel(stderr);
    CConsoleResultList results(stdout);
    CConsoleFrame frame;
    // Owned by no thread: every send goes through the target's own lock.
    panel.SetOwnerThread(std::thread::id());
    results.SetOwnerThread(std::thread::id());
    frame.SetOwnerThread(std::thread::id());
    g_hWndMessagePanel = &panel;
    g_hWndResultList = &results;
    g_hWndMainFrame = &frame;

    // The run is marked as started before the handlers exist, so that no
    // early signal is overwritten.
    BeginSearchRun();
    InstallStopHandlers();
    AnalyzeKeywords(lines);

    LogString(IDS_SEARCH_SELECTED_DIRS);
    g_listSelectedFolders.clear();
    for (const std::string& folder : cmd.folders) {
        _SelectedFolder selected;
        std::memset(&selected, 0, sizeof selected);
        std::memcpy(selected.szPath, folder.data(), folder.size());
        selected.bSubfolders = cmd.subfolders ? 1 : 0;
        g_listSelectedFolders.push_back(selected);
    }
    const bool canStart = g_arrKeywords.GetSize() > 0 && !g_listSelectedFolders.empty() &&
                          (g_bWordFile || g_bExcelFile || g_bTextFile || g_bHtmFile);

    std::promise<void> finished;
    std::future<void> done = finished.get_future();
    std::thread worker([&finished] {
        SearchThreadProc();
        finished.set_value();
    });
    const bool showProgress = ::isatty(STDERR_FILENO) == 1;
    while (done.wait_for(std::chrono::milliseconds(200)) != std::future_status::ready) {
        if (showProgress) SendMessage(&panel, WM_SHOW_PROGRESS, static_cast<WPARAM>(results.Count()), 0);
    }
    worker.join();
    if (panel.ProgressShown()) std::fputs("\r\033[K", stderr);

    g_hWndMessagePanel = nullptr;
    g_hWndResultList = nullptr;
    g_hWndMainFrame = nullptr;
    // Stopped by a signal: 128 plus its number, as the shell reports a
    // program the signal ended (130 for Ctrl+C, 143 for SIGTERM).
    if (const int signo = g_stopSignal.load(); signo != 0) return 128 + signo;
    if (!canStart) return 2;
    return results.Count() > 0 ? 0 : 1;
}
