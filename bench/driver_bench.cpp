// The search driver's own cost. Searches 2,000 small text files twice:
// once through the whole run (worker, folder walk, file finder, records,
// messages) and once as bare OfficeFind calls on the same files with one
// Word application, and prints the driver's share of the time.
#include "kestrel/officefind.h"
#include "office/automation/builtinoffice.h"
#include "platform/olethread.h"
#include "search/searchcontext.h"
#include "search/searchrun.h"

#include <unistd.h>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <vector>

namespace fs = std::filesystem;

namespace {

class NullTarget : public CMessageTarget {
public:
    LRESULT OnMessage(UINT, WPARAM, LPARAM) override { return 0; }
};

double Seconds(std::chrono::steady_clock::duration d)
{
    return std::chrono::duration<double>(d).count();
}

void AddKeyword(const char* text)
{
    _FindKeyWord k{};
    std::strncpy(k.szKeyword, text, sizeof k.szKeyword - 1);
    g_arrKeywords.Add(k);
}

}  // namespace

int main()
{
    const int kFiles = 2000;
    const fs::path dir = fs::temp_directory_path() / ("varnel-driver-bench-" + std::to_string(::getpid()));
    fs::create_directories(dir);
    std::vector<std::string> paths;
    for (int i = 0; i < kFiles; ++i) {
        const fs::path p = dir / ("note" + std::to_string(i) + ".txt");
        std::ofstream(p) << "Meeting notes " << i << "\nThe budget for the harbour project was discussed.\n"
                         << (i % 3 == 0 ? "Action: call the contractor.\n" : "No actions.\n");
        paths.push_back(p.string());
    }
    office::RegisterBuiltinOffice();
    AddKeyword("contractor");
    AddKeyword("harbour");
    g_bTextFile = 1;

    NullTarget panel, results, frame;
    g_hWndMessagePanel = &panel;
    g_hWndResultList = &results;
    g_hWndMainFrame = &frame;

    const int kRounds = 5;
    std::vector<double> whole, bare;
    for (int round = 0; round < kRounds; ++round) {
        _SelectedFolder folder{};
        std::strncpy(folder.szPath, dir.c_str(), sizeof folder.szPath - 1);
        g_listSelectedFolders.assign(1, folder);
        g_bRunning = 1;
        auto t0 = std::chrono::steady_clock::now();
        SearchThreadProc();
        whole.push_back(Seconds(std::chrono::steady_clock::now() - t0));

        CoInitialize(nullptr);
        _Word11 word;
        word.CreateDispatch("Word.Application");
        OfficeFind find;
        t0 = std::chrono::steady_clock::now();
        for (const std::string& path : paths) {
            _ResultFileInfo info{};
            std::strncpy(info.szFilePath, path.c_str(), sizeof info.szFilePath - 1);
            find.SearchWord11(info, g_arrKeywords, g_conditions.Snapshot(), word);
        }
        bare.push_back(Seconds(std::chrono::steady_clock::now() - t0));
        word.ReleaseDispatch();
    }
    std::sort(whole.begin(), whole.end());
    std::sort(bare.begin(), bare.end());
    const double w = whole[kRounds / 2];
    const double b = bare[kRounds / 2];
    std::printf("files: %d, keywords: 2, clearing on, median of %d rounds\n", kFiles, kRounds);
    std::printf("whole run (worker + driver + OfficeFind): %.1f ms\n", w * 1000);
    std::printf("bare OfficeFind calls:                    %.1f ms\n", b * 1000);
    std::printf("driver's own cost: %.1f ms = %.1f%% of the run\n", (w - b) * 1000, 100.0 * (w - b) / w);
    fs::remove_all(dir);
    return 0;
}
