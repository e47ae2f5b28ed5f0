// Stop in the middle of a file: with the fake applications, a call that
// fails because of Stop gets no log line and the run ends as after any
// Stop; with the built-in Office, Stop while a large file is being searched
// ends the whole run within moments, the abandoned file unreported.
#include "office/automation/builtinoffice.h"
#include "platform/cancellation.h"
#include "platform/oleauto.h"
#include "platform/registry.h"
#include "platform/stringtable.h"
#include "search/searchrun.h"
#include "support/fakeoffice.h"
#include "support/recordingpanes.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <thread>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

using Clock = std::chrono::steady_clock;

class RecordingResultList : public CMessageTarget {
public:
    LRESULT OnMessage(UINT message, WPARAM, LPARAM) override
    {
        if (message == WM_ADD_RESULT) rows.emplace_back(g_resultFileInfo.szFileName);
        return 0;
    }
    std::vector<std::string> rows;
};

class SearchStopTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        root = fs::temp_directory_path() / ("varnel-stop-" + std::to_string(::getpid()) + "-" +
                                            ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(root);
        fs::create_directories(root);
        RegClearMachineHive();
        g_hWndResultList = &results;
        BeginSearchRun();
        g_bTextFile = 1;
        liveBefore = CDispatchObject::LiveObjects();
    }
    void TearDown() override
    {
        EXPECT_EQ(CDispatchObject::LiveObjects(), liveBefore);
        UnregisterServer("Word.Application");
        UnregisterServer("Excel.Application");
        RegClearMachineHive();
        platform::ClearSearchStop();
        fs::remove_all(root);
    }

    static void UseFakeOffice(FakeOfficeLog& log)
    {
        RegRegisterMachineKey("SOFTWARE\\Microsoft\\Office\\11.0");
        RegRegisterMachineKey("SOFTWARE\\Microsoft\\Office\\11.0\\Word");
        RegisterFakeOffice(log);
    }

    void Write(const std::string& name, const std::string& text) { std::ofstream(root / name, std::ios::binary) << text; }

    void Search(const std::vector<std::string>& words)
    {
        for (const auto& w : words) {
            _FindKeyWord k{};
            std::memcpy(k.szKeyword, w.data(), w.size());
            g_arrKeywords.Add(k);
        }
        _SelectedFolder f{};
        const std::string s = root.string();
        std::memcpy(f.szPath, s.data(), s.size());
        g_listSelectedFolders.push_back(f);
    }

    RecordingPanes panes;  // resets the context; must come first
    RecordingResultList results;
    fs::path root;
    long liveBefore = 0;
};

}  // namespace

TEST_F(SearchStopTest, AFileAbandonedBecauseOfStopGetsNoLine)
{
    FakeOfficeLog log;
    UseFakeOffice(log);
    // The fake cannot open a "ruined" file; Stop is pressed while it tries.
    Write("a-ruined.txt", "needle");
    Write("b.txt", "needle");
    Search({"needle"});
    log.onOpen = [](const std::string& path) {
        if (path.find("ruined") != std::string::npos) StopSearchRun();
    };
    SearchThreadProc();
    EXPECT_EQ(panes.panel.lines, (std::vector<std::string>{LoadString(IDS_OFFICE_2003), LoadString(IDS_SEARCH_FINISHED)}));
    EXPECT_EQ(log.Count("word:open:" + (root / "b.txt").string()), 0);
    EXPECT_EQ(log.Count("word:quit"), 1);
    EXPECT_EQ(panes.frame.finished, 1);
    EXPECT_TRUE(results.rows.empty());
}

TEST_F(SearchStopTest, TheStopRequestAloneEndsTheWalk)
{
    // Were the running flag left set, every later file would fail without a
    // line; the request alone must end the run.
    FakeOfficeLog log;
    UseFakeOffice(log);
    Write("a.txt", "needle");
    Write("b.txt", "needle");
    Search({"needle"});
    log.onOpen = [](const std::string&) { platform::RequestSearchStop(); };
    SearchThreadProc();
    // Kestrel gives up on the open file before its first keyword; no line
    // for it, and the next file is not opened.
    EXPECT_TRUE(results.rows.empty());
    EXPECT_EQ(log.Count("word:open:" + (root / "b.txt").string()), 0);
    EXPECT_EQ(panes.panel.lines.size(), 2u);
    EXPECT_EQ(panes.panel.lines.back(), LoadString(IDS_SEARCH_FINISHED));
    EXPECT_EQ(panes.frame.finished, 1);
}

TEST_F(SearchStopTest, StopInsideALargeFileEndsTheRunSoon)
{
    office::RegisterBuiltinOffice();
    // About 64 MB of text whose only "needle" is at its very end, so that
    // a search that went through the file would list it; then a small file
    // that would be listed as well.
    {
        std::string block;
        while (block.size() < 1 << 20) block += "the quarterly figures of the northern region are ready\n";
        std::ofstream out(root / "a-large.txt", std::ios::binary);
        for (int i = 0; i < 64; ++i) out << block;
        out << "needle\n";
    }
    Write("b.txt", "needle");
    // Sounds like compares word by word: many seconds over this file.
    g_conditions.MatchSoundsLike = 1;
    Search({"needle"});

    const long base = CDispatchObject::LiveObjects();
    std::thread worker(SearchThreadProc);
    // Word, its Documents and the opened document: the file is read and
    // being searched.
    const Clock::time_point started = Clock::now();
    while (CDispatchObject::LiveObjects() < base + 3 && Clock::now() - started < std::chrono::minutes(2))
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    ASSERT_GE(CDispatchObject::LiveObjects(), base + 3) << "the large file was never opened";
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    const Clock::time_point stopAt = Clock::now();
    StopSearchRun();
    worker.join();
    const double latencyMs = std::chrono::duration<double, std::milli>(Clock::now() - stopAt).count();
    std::cout << "  run ended " << latencyMs << " ms after Stop\n";
    EXPECT_LT(latencyMs, 2000.0);

    // The large file was left in the middle (it would be a result), with no
    // line; the small one was never reached; the run ended as after Stop.
    EXPECT_TRUE(results.rows.empty());
    EXPECT_EQ(panes.panel.lines, (std::vector<std::string>{LoadString(IDS_OFFICE_2003), LoadString(IDS_SEARCH_FINISHED)}));
    EXPECT_EQ(panes.frame.finished, 1);
}
