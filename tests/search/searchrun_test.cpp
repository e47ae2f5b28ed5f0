// The search run end to end with fake applications: the worker's outcomes,
// the driver's order of work, routing, stop points, quits and log lines;
// and Stop in the middle of a large file with the built-in Office.
#include "office/automation/builtinoffice.h"
#include "platform/cancellation.h"
#include "platform/oleauto.h"
#include "platform/registry.h"
#include "platform/stringtable.h"
#include "search/searchrun.h"
#include "support/recordingpanes.h"
#include "tests/kestrel/support/fakeoffice.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <sys/file.h>
#include <thread>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

using Lines = std::vector<std::string>;
// Word quits without saving anything.
const std::string kWordQuit = "WordApp.0x451 call(&bool:false, &bool:false, &bool:false)";
const std::string kExcelQuit = "ExcelApp.0x12E call()";

void WriteFile(const fs::path& p, const std::string& text)
{
    fs::create_directories(p.parent_path());
    std::ofstream(p, std::ios::binary) << text;
}

class SearchRunTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        root = fs::temp_directory_path() / ("varnel-run-" + std::to_string(::getpid()) + "-" +
                                            ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(root);
        fs::create_directories(root);
        RegClearMachineHive();
        InstallOffice("11.0", true, true);
        office->readFiles = true;
        InstallFakeWord(office);
        InstallFakeExcel(office);
        g_bRunning = 1;
        g_bWordFile = g_bExcelFile = g_bTextFile = g_bHtmFile = 1;
        liveBefore = CDispatchObject::LiveObjects();
    }
    void TearDown() override
    {
        EXPECT_EQ(CDispatchObject::LiveObjects(), liveBefore);
        platform::ClearSearchStop();
        RemoveFakes();
        RegClearMachineHive();
        fs::remove_all(root);
    }

    static void InstallOffice(const std::string& version, bool word, bool excel)
    {
        const std::string base = "SOFTWARE\\Microsoft\\Office\\" + version;
        RegRegisterMachineKey(base.c_str());
        if (word) RegRegisterMachineKey((base + "\\Word").c_str());
        if (excel) RegRegisterMachineKey((base + "\\Excel").c_str());
    }

    void AddKeywords(const std::vector<std::string>& words)
    {
        for (const auto& w : words) {
            _FindKeyWord k{};
            std::memcpy(k.szKeyword, w.data(), w.size());
            g_arrKeywords.Add(k);
        }
    }

    void SelectFolder(const fs::path& p, bool subfolders = false)
    {
        _SelectedFolder f{};
        const std::string s = p.string();
        std::memcpy(f.szPath, s.data(), s.size());
        f.bSubfolders = subfolders ? 1 : 0;
        g_listSelectedFolders.push_back(f);
    }

    // Searches `folder` for "needle".
    void Run(const fs::path& folder, bool subfolders = false)
    {
        AddKeywords({"needle"});
        SelectFolder(folder, subfolders);
        SearchThreadProc();
    }
    bool NothingStarted() const { return office->calls.empty() && office->wordStarts + office->excelStarts == 0; }
    static std::string Line(UINT id) { return LoadString(id); }
    static std::string Line(const fs::path& p, UINT id) { return p.string() + LoadString(id); }

    RecordingPanes panes;  // resets the context; must come first
    std::shared_ptr<FakeOffice> office = std::make_shared<FakeOffice>();
    fs::path root;
    long liveBefore = 0;
};

}  // namespace

TEST_F(SearchRunTest, ValidationOutcomesLogOnceAndFinish)
{
    SearchThreadProc();
    EXPECT_EQ(panes.panel.lines, Lines{Line(IDS_NO_KEYWORD)});
    EXPECT_EQ(panes.frame.finished, 1);
    panes.panel.lines.clear();
    AddKeywords({"x"});
    SearchThreadProc();
    EXPECT_EQ(panes.panel.lines, Lines{Line(IDS_NO_FOLDER)});
    panes.panel.lines.clear();
    g_bWordFile = g_bExcelFile = g_bTextFile = g_bHtmFile = 0;
    Run(root);
    EXPECT_EQ(panes.panel.lines, Lines{Line(IDS_NO_FILE_TYPE)});
    EXPECT_EQ(panes.frame.finished, 3);
    EXPECT_TRUE(NothingStarted());
}

TEST_F(SearchRunTest, ExcelWithoutWordDetectsNoGenerationAndSearchesNothing)
{
    RegClearMachineHive();
    InstallOffice("11.0", false, true);
    WriteFile(root / "a.xls", "needle");
    Run(root);
    EXPECT_EQ(panes.panel.lines, Lines{Line(IDS_SEARCH_FINISHED)});
    EXPECT_TRUE(NothingStarted());
    EXPECT_EQ(panes.frame.finished, 1);
}

TEST_F(SearchRunTest, VisitsMasksInOrderAndRoutesByMask)
{
    for (const char* name : {"d.htm", "e.html", "c.txt", "B.XLS", "f.xlsx", "a.doc", "g.DOCX", "other.pdf"})
        WriteFile(root / name, "needle");
    AddKeywords({"absent"});
    Run(root);
    EXPECT_EQ(panes.results.Names(), (Lines{"a.doc", "g.DOCX", "B.XLS", "f.xlsx", "c.txt", "d.htm", "e.html"}));
    const std::vector<int> kinds = {0, 0, 2, 2, 4, 5, 5};
    for (std::size_t i = 0; i < panes.results.rows.size(); ++i) {
        const ResultRow& row = panes.results.rows[i];
        EXPECT_EQ(row.kind, kinds[i]) << row.name;
        EXPECT_EQ(row.degree, 50) << row.name;
        EXPECT_EQ(row.path, (root / row.name).string());
    }
    // Upper-case and longer extensions found through *.xls go to Excel.
    for (const char* name : {"B.XLS", "f.xlsx"}) {
        EXPECT_EQ(office->Count("Workbooks.0x783 call(str:" + (root / name).string() + ","), 1) << name;
        EXPECT_EQ(office->Opens((root / name).string()), 1) << name;
    }
    EXPECT_EQ(panes.panel.lines, (Lines{Line(IDS_OFFICE_2003), Line(IDS_SEARCH_FINISHED)}));
    // Both applications are hidden, Excel asks no questions, and both quit.
    for (const std::string& call : {std::string("WordApp.0x17 put(bool:false)"), std::string("ExcelApp.0x22E put(bool:false)"),
                                    std::string("ExcelApp.0x157 put(bool:false)"), kWordQuit, kExcelQuit})
        EXPECT_EQ(office->Count(call), 1) << call;
}

TEST_F(SearchRunTest, OwnerFilesAreSkippedAndFoldersNamedLikeFilesAreRuined)
{
    WriteFile(root / "~$report.doc", "needle");
    WriteFile(root / "report.doc", "nothing here");
    fs::create_directories(root / "old.doc");
    Run(root);
    EXPECT_EQ(office->Opens((root / "~$report.doc").string()), 0);
    EXPECT_TRUE(panes.results.rows.empty());  // degree 0 gives no row and no line
    EXPECT_EQ(panes.panel.lines,
              (Lines{Line(IDS_OFFICE_2003), Line(root / "old.doc", IDS_FILE_RUINED), Line(IDS_SEARCH_FINISHED)}));
}

TEST_F(SearchRunTest, TextOnlyStartsWordAloneAndQuitsOnlyIt)
{
    g_bWordFile = g_bExcelFile = g_bHtmFile = 0;
    WriteFile(root / "n.txt", "needle");
    WriteFile(root / "n.xls", "needle");
    Run(root);
    EXPECT_EQ(panes.results.Names(), Lines{"n.txt"});
    EXPECT_EQ(office->excelStarts, 0);
    EXPECT_EQ(office->Count(kWordQuit), 1);
}

// Stop while a file is opened: that file finishes (or is abandoned without
// a line, when its call failed because of Stop), nothing after it is
// opened, both applications quit and the run ends as after Stop.
struct StopCase {
    const char* name;
    const char* first;  // the file Stop is pressed in
    void (*press)();
    bool listed;  // whether that file still gets its row
};

class SearchStopTest : public SearchRunTest, public ::testing::WithParamInterface<StopCase> {};

TEST_P(SearchStopTest, StopIsNoticedBeforeTheNextFileAndFolder)
{
    const StopCase& c = GetParam();
    WriteFile(root / "first" / c.first, "needle");
    WriteFile(root / "first" / "b.txt", "needle");
    WriteFile(root / "second" / "c.txt", "needle");
    SelectFolder(root / "first");
    office->onOpen = [&c](const std::string&) { c.press(); };
    Run(root / "second");
    EXPECT_EQ(panes.results.Names(), c.listed ? Lines{c.first} : Lines{});
    EXPECT_EQ(office->Opens((root / "first" / "b.txt").string()), 0);
    EXPECT_EQ(office->Opens((root / "second" / "c.txt").string()), 0);
    EXPECT_EQ(office->Count(kWordQuit), 1);
    EXPECT_EQ(office->Count(kExcelQuit), 1);
    EXPECT_EQ(panes.panel.lines, (Lines{Line(IDS_OFFICE_2003), Line(IDS_SEARCH_FINISHED)}));
    EXPECT_EQ(panes.frame.finished, 1);
}

INSTANTIATE_TEST_SUITE_P(
    Presses, SearchStopTest,
    ::testing::Values(StopCase{"RunningFlagCleared", "a.txt", [] { g_bRunning = 0; }, true},
                      // Were the running flag left set, every later file would
                      // fail without a line; the request alone must end the run.
                      StopCase{"StopRequestAlone", "a.txt", [] { platform::RequestSearchStop(); }, false},
                      StopCase{"OpenFailedBecauseOfStop", "a-ruined.txt", [] { StopSearchRun(); }, false}),
    [](const auto& p) { return std::string(p.param.name); });

TEST_F(SearchRunTest, StopBeforeTheFoldersAreListedEndsSilently)
{
    WriteFile(root / "a.txt", "needle");
    g_bRunning = 0;
    Run(root);
    EXPECT_TRUE(panes.panel.lines.empty());
    EXPECT_EQ(panes.frame.finished, 0);
    EXPECT_TRUE(NothingStarted());
}

TEST_F(SearchRunTest, StartFailuresAreLoggedAndNothingIsSearched)
{
    WriteFile(root / "a.txt", "needle");
    UnregisterServer("Word.Application");
    Run(root);
    EXPECT_EQ(panes.panel.lines, (Lines{Line(IDS_OFFICE_2003), Line(IDS_WORD_START_FAILED), Line(IDS_SEARCH_FINISHED)}));
    EXPECT_EQ(office->excelStarts, 0);

    panes.panel.lines.clear();
    InstallFakeWord(office);
    UnregisterServer("Excel.Application");
    SearchThreadProc();
    EXPECT_EQ(panes.panel.lines, (Lines{Line(IDS_OFFICE_2003), Line(IDS_EXCEL_START_FAILED), Line(IDS_SEARCH_FINISHED)}));
    // Word was started, is released, and is not told to quit.
    EXPECT_EQ(office->wordStarts, 1);
    EXPECT_EQ(office->Count(kWordQuit), 0);
    EXPECT_TRUE(panes.results.rows.empty());
}

TEST_F(SearchRunTest, FailingApplicationCallsAreAbsorbed)
{
    // Word's Visible and Excel's Quit fail.
    office->failIf = [](const FakeCall& c) {
        return (c.object == "WordApp" && c.dispid == 0x17) || (c.object == "ExcelApp" && c.dispid == 0x12E);
    };
    WriteFile(root / "a.doc", "needle");
    Run(root);
    EXPECT_EQ(panes.results.Names(), Lines{"a.doc"});
    EXPECT_EQ(office->Count(kWordQuit), 1);
    EXPECT_EQ(panes.panel.lines.back(), Line(IDS_SEARCH_FINISHED));
}

TEST_F(SearchRunTest, GenerationFollowsWordAndSelectsItsDriver)
{
    RegClearMachineHive();
    InstallOffice("9.0", true, false);
    InstallOffice("11.0", false, true);
    WriteFile(root / "a.xls", "needle");
    Run(root);
    EXPECT_EQ(panes.panel.lines.front(), Line(IDS_OFFICE_2000));
    EXPECT_EQ(panes.results.Names(), Lines{"a.xls"});
    EXPECT_EQ(office->Count("Workbooks.0x2AA call"), 1) << "the Excel 2000 open";
}

TEST_F(SearchRunTest, FilesInUseOrWithTooLongAPathGetALineAndAreSkipped)
{
    const fs::path locked = root / "locked.txt";
    WriteFile(locked, "needle");
    const int fd = ::open(locked.c_str(), O_RDONLY);
    ASSERT_EQ(::flock(fd, LOCK_EX), 0);
    fs::path deep = root / "deep";
    while (deep.string().size() < 240) deep /= "abcdefghij";
    const fs::path longName = deep / "a-rather-long-file-name-to-pass-the-limit.txt";
    WriteFile(longName, "needle");
    SelectFolder(deep);
    Run(root);
    ::close(fd);
    EXPECT_TRUE(panes.results.rows.empty());
    EXPECT_EQ(panes.panel.lines, (Lines{Line(IDS_OFFICE_2003), Line(longName, IDS_PATH_TOO_LONG),
                                        Line(locked, IDS_FILE_IN_USE), Line(IDS_SEARCH_FINISHED)}));
    EXPECT_EQ(office->Opens(locked.string()), 0);
}

TEST_F(SearchRunTest, FoldersThatCannotBeReadGetALineEach)
{
    // A ticked folder that is gone, and a sub-folder that vanishes after
    // the work list was made (while the first file is searched).
    for (const char* file : {"a/x.txt", "b/y.txt", "c/z.txt"}) WriteFile(root / file, "needle");
    SelectFolder(root / "missing");
    office->onOpen = [this](const std::string& path) {
        if (path.ends_with("x.txt")) fs::remove_all(root / "b");
    };
    Run(root, true);
    EXPECT_EQ(panes.results.Names(), (Lines{"x.txt", "z.txt"}));
    EXPECT_EQ(panes.panel.lines, (Lines{Line(IDS_OFFICE_2003), Line(root / "missing", IDS_FOLDER_UNREADABLE),
                                        Line(root / "b", IDS_FOLDER_UNREADABLE), Line(IDS_SEARCH_FINISHED)}));
}

TEST_F(SearchRunTest, LinksAreNotFollowed)
{
    // Inside the searched folder: links to a file outside it, to a file
    // inside it, and to a folder; neither is opened, the file itself is.
    const fs::path outside = root / "outside", searched = root / "searched";
    WriteFile(outside / "secret.txt", "needle");
    WriteFile(searched / "own.txt", "needle");
    fs::create_symlink(outside / "secret.txt", searched / "link.txt");
    fs::create_symlink(searched / "own.txt", searched / "again.txt");
    fs::create_directory_symlink(outside, searched / "folder.txt");
    Run(searched);
    EXPECT_EQ(panes.results.Names(), Lines{"own.txt"});
    for (const char* link : {"link.txt", "again.txt", "folder.txt"})
        EXPECT_EQ(office->Opens((searched / link).string()), 0) << link;
    EXPECT_EQ(panes.panel.lines, (Lines{Line(IDS_OFFICE_2003), Line(IDS_SEARCH_FINISHED)}));

    // Sub-folders are listed depth first in the finder's order, a link
    // back to the top is not walked, and Stop ends the listing.
    for (const char* d : {"b", "A/y", "A/x/deep", ".hidden"}) fs::create_directories(root / "tree" / d);
    fs::create_directory_symlink(root / "tree", root / "tree" / "A" / "loop");
    CFolderWorkList list;
    ExpandSubfolders(list, (root / "tree").string() + "/");
    Lines got;
    for (const auto& f : list) got.push_back(f.szPath);
    const std::string t = (root / "tree").string();
    EXPECT_EQ(got, (Lines{t + "/.hidden", t + "/A", t + "/A/x", t + "/A/x/deep", t + "/A/y", t + "/b"}));
    g_bRunning = 0;
    CFolderWorkList stopped;
    ExpandSubfolders(stopped, (root / "tree").string());
    EXPECT_TRUE(stopped.empty());
}

TEST_F(SearchRunTest, StopInsideALargeFileWithTheBuiltinOfficeEndsTheRunSoon)
{
    RemoveFakes();
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
    WriteFile(root / "b.txt", "needle");
    g_bWordFile = g_bExcelFile = g_bHtmFile = 0;
    g_conditions.MatchSoundsLike = 1;  // compares word by word: many seconds over this file
    AddKeywords({"needle"});
    SelectFolder(root);
    const long base = CDispatchObject::LiveObjects();
    std::thread worker(SearchThreadProc);
    // Word, its Documents and the opened document: the file is being searched.
    const auto started = std::chrono::steady_clock::now();
    while (CDispatchObject::LiveObjects() < base + 3 && std::chrono::steady_clock::now() - started < std::chrono::minutes(2))
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    ASSERT_GE(CDispatchObject::LiveObjects(), base + 3) << "the large file was never opened";
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    const auto stopAt = std::chrono::steady_clock::now();
    StopSearchRun();
    worker.join();
    EXPECT_LT(std::chrono::steady_clock::now() - stopAt, std::chrono::seconds(2));
    // The large file was left in the middle with no line, the small one
    // never reached; the run ended as after Stop.
    EXPECT_TRUE(panes.results.rows.empty());
    EXPECT_EQ(panes.panel.lines, (Lines{Line(IDS_OFFICE_2003), Line(IDS_SEARCH_FINISHED)}));
    EXPECT_EQ(panes.frame.finished, 1);
}
