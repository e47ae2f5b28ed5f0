// What reading ahead on a second thread buys, measured inside one process so
// that the worker's own processor time can be told from the helper's. Runs
// the whole search (worker, driver, built-in Word) over a folder of Word
// documents with one thread and with two, round after round, and prints
// medians of: wall time, processor time of the process, and processor time
// of the worker thread alone. On a busy machine the wall time says little;
// the worker's processor time does not depend on the load, and with two
// threads it is the part of the work that cannot move to the other core, so
// "one-thread cpu / two-thread worker cpu" bounds what two idle cores give.
//
// Usage: bench_readahead FOLDER [KEYWORDS_FILE] [--reps N] [--textweb]
//   KEYWORDS_FILE: one keyword a line (default: the single keyword "the").
//   --textweb: text files and web pages of FOLDER and its sub-folders
//   instead of the Word documents of FOLDER.
#include "office/automation/builtinoffice.h"
#include "office/automation/readahead.h"
#include "platform/readahead.h"
#include "search/searchcontext.h"
#include "search/searchrun.h"
#include "search/settingsstore.h"

#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

namespace fs = std::filesystem;

namespace {

class CountingTarget : public CMessageTarget {
public:
    LRESULT OnMessage(UINT message, WPARAM, LPARAM) override
    {
        if (message == WM_ADD_RESULT || message == WM_APPEND_MESSAGE) ++count;
        return 0;
    }
    int count = 0;
};

double Cpu(clockid_t clock)
{
    timespec ts{};
    clock_gettime(clock, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) / 1e9;
}

double Median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v.size() % 2 != 0 ? v[v.size() / 2] : (v[v.size() / 2 - 1] + v[v.size() / 2]) / 2;
}

struct Figures {
    std::vector<double> wall, cpu, worker;
    int messages = -1;
};

}  // namespace

int main(int argc, char** argv)
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s FOLDER [KEYWORDS_FILE] [--reps N]\n", argv[0]);
        return 2;
    }
    const std::string folder = argv[1];
    std::vector<std::string> keywords;
    int reps = 5;
    bool textWeb = false;
    for (int i = 2; i < argc; ++i) {
        if (std::strcmp(argv[i], "--textweb") == 0) {
            textWeb = true;
        } else if (std::strcmp(argv[i], "--reps") == 0 && i + 1 < argc) {
            reps = std::max(1, std::atoi(argv[++i]));
        } else {
            std::ifstream in(argv[i]);
            for (std::string line; std::getline(in, line);)
                if (!line.empty() && line.size() < sizeof(_FindKeyWord{}.szKeyword)) keywords.push_back(line);
        }
    }
    if (keywords.empty()) keywords.emplace_back("the");
    if (keywords.size() > 256) keywords.resize(256);

    // The defaults, not the settings of whoever runs it.
    const fs::path config = fs::temp_directory_path() / ("varnel-readahead-bench-" + std::to_string(::getpid()));
    ::setenv("XDG_CONFIG_HOME", config.c_str(), 1);
    office::RegisterBuiltinOffice();

    Figures figures[2];
    for (int round = 0; round < reps; ++round) {
        for (unsigned threads = 1; threads <= 2; ++threads) {
            ResetSearchContext();
            LoadSettings();
            g_bWordFile = textWeb ? 0 : 1;
            g_bExcelFile = 0;
            g_bTextFile = g_bHtmFile = textWeb ? 1 : 0;
            for (const std::string& k : keywords) {
                _FindKeyWord word{};
                std::memcpy(word.szKeyword, k.data(), k.size());
                g_arrKeywords.Add(word);
            }
            _SelectedFolder selected{};
            std::strncpy(selected.szPath, folder.c_str(), sizeof selected.szPath - 1);
            selected.bSubfolders = textWeb ? 1 : 0;
            g_listSelectedFolders.assign(1, selected);
            CountingTarget panel, results, frame;
            g_hWndMessagePanel = &panel;
            g_hWndResultList = &results;
            g_hWndMainFrame = &frame;
            platform::SetSearchThreads(threads);
            g_bRunning = 1;

            double workerCpu = 0;
            const double cpu0 = Cpu(CLOCK_PROCESS_CPUTIME_ID);
            const auto t0 = std::chrono::steady_clock::now();
            std::thread worker([&workerCpu] {
                SearchThreadProc();
                workerCpu = Cpu(CLOCK_THREAD_CPUTIME_ID);
            });
            worker.join();
            Figures& f = figures[threads - 1];
            f.wall.push_back(std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count());
            f.cpu.push_back(Cpu(CLOCK_PROCESS_CPUTIME_ID) - cpu0);
            f.worker.push_back(workerCpu);
            f.messages = results.count + panel.count;
            g_hWndMessagePanel = g_hWndResultList = g_hWndMainFrame = nullptr;
        }
    }
    fs::remove_all(config);

    std::printf("%s: %zu keyword(s), %d rounds, medians\n", folder.c_str(), keywords.size(), reps);
    std::printf("%-9s %9s %9s %11s %11s %6s\n", "threads", "wall", "cpu", "worker cpu", "other cpu", "lines");
    for (int t = 0; t < 2; ++t) {
        const Figures& f = figures[t];
        const double cpu = Median(f.cpu), worker = Median(f.worker);
        std::printf("%-9d %8.3fs %8.3fs %10.3fs %10.3fs %6d\n", t + 1, Median(f.wall), cpu, worker,
                    std::max(0.0, cpu - worker), f.messages);
    }
    std::printf(
        "wall, 1 thread / 2 threads: %.2fx; bound on two idle cores (1-thread cpu / 2-thread worker cpu): "
        "%.2fx\n",
        Median(figures[0].wall) / Median(figures[1].wall), Median(figures[0].cpu) / Median(figures[1].worker));
    const auto counts = office::CReadAhead::Instance().Statistics();
    std::printf(
        "read ahead over all rounds: %llu files read, %llu taken by Open, %llu changed since, %llu in use, "
        "%llu stopped\n",
        static_cast<unsigned long long>(counts.read), static_cast<unsigned long long>(counts.taken),
        static_cast<unsigned long long>(counts.stale), static_cast<unsigned long long>(counts.inUse),
        static_cast<unsigned long long>(counts.stopped));
    if (figures[0].messages != figures[1].messages) std::printf("the two searches sent different numbers of lines!\n");
    return 0;
}
