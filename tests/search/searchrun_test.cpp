// The search run end to end with fake applications: the worker's outcomes,
// the driver's order of work, routing, stop points, quits and log lines;
// stop in the middle of a file is held by varnel-find's signal test.
#include "search/searchrun.h"
#include "platform/cancellation.h"
#include "platform/oleauto.h"
#include "platform/registry.h"
#include "platform/stringtable.h"
#include "support/recordingpanes.h"
#include "tests/kestrel/support/fakeoffice.h"
#include "tests/kestrel/support/keywords.h"
#include "tests/platform/support/tempdir.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <tuple>

namespace fs = std::filesystem;

namespace {

using Lines = std::vector<std::string>;
// Word quits without saving anything.
const std::string kWordQuit = "WordApp.0x451 call(&bool:false, &bool:false, &bool:false)";
const std::string kExcelQuit = "ExcelApp.0x12E call()";

class SearchRunTest : public ::testing::Test {
protected:
    void SetUp() override
    {
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
    }

    static void InstallOffice(const std::string& version, bool word, bool excel)
    {
        const std::string base = "SOFTWARE\\Microsoft\\Office\\" + version;
        RegRegisterMachineKey(base.c_str());
        if (word) RegRegisterMachineKey((base + "\\Word").c_str());
        if (excel) RegRegisterMachineKey((base + "\\Excel").c_str());
    }

    // Searches `folder` for "needle".
    void Run(const fs::path& folder, bool subfolders = false)
    {
        AddKeywords(g_arrKeywords, {"needle"});
        SelectFolder(folder, subfolders);
        SearchThreadProc();
    }
    static std::string Line(UINT id) { return LoadString(id); }
    static std::string Line(const fs::path& p, UINT id) { return p.string() + LoadString(id); }

    RecordingPanes panes;  // resets the context; must come first
    std::shared_ptr<FakeOffice> office = std::make_shared<FakeOffice>();
    TempDir tmp{"varnel-run"};
    fs::path root = tmp.Path();
    long liveBefore = 0;
};

}  // namespace

// What decides whether anything is searched: the checks before the walk,
// the Office the registry shows, which application each category starts,
// and an application that will not start.
struct Scenario {
    const char* name;
    std::vector<std::tuple<const char*, bool, bool>> installs;  // version, Word, Excel
    int categories;  // Word 1, Excel 2, text 4, web 8
    bool keyword, folder, running;
    const char* missingServer;
    Lines names;
    std::vector<UINT> lines;
    int wordStarts, excelStarts;
    std::string call = {};  // made `times` times, when given
    int times = 1;
};

class SearchScenarioTest : public SearchRunTest, public ::testing::WithParamInterface<Scenario> {};

TEST_P(SearchScenarioTest, StartsWhatIsNeededAndLogs)
{
    const Scenario& s = GetParam();
    RegClearMachineHive();
    for (const auto& [version, word, excel] : s.installs) InstallOffice(version, word, excel);
    g_bWordFile = s.categories & 1;
    g_bExcelFile = (s.categories >> 1) & 1;
    g_bTextFile = (s.categories >> 2) & 1;
    g_bHtmFile = (s.categories >> 3) & 1;
    g_bRunning = s.running;
    if (s.missingServer != nullptr) UnregisterServer(s.missingServer);
    for (const char* name : {"n.txt", "n.xls"}) tmp.Write(name, "needle");
    if (s.keyword) AddKeywords(g_arrKeywords, {"needle"});
    if (s.folder) SelectFolder(root);
    SearchThreadProc();
    EXPECT_EQ(panes.results.Names(), s.names);
    Lines lines;
    for (UINT id : s.lines) lines.push_back(Line(id));
    EXPECT_EQ(panes.panel.lines, lines);
    EXPECT_EQ(panes.frame.finished, s.running ? 1 : 0);
    EXPECT_EQ(office->wordStarts, s.wordStarts);
    EXPECT_EQ(office->excelStarts, s.excelStarts);
    EXPECT_TRUE(s.call.empty() || office->Count(s.call) == s.times) << s.call;
}

const std::vector<std::tuple<const char*, bool, bool>> k2003 = {{"11.0", true, true}};

INSTANTIATE_TEST_SUITE_P(
    Runs, SearchScenarioTest,
    ::testing::Values(
        Scenario{"NoKeyword", k2003, 15, false, true, true, nullptr, {}, {IDS_NO_KEYWORD}, 0, 0},
        Scenario{"NoFolder", k2003, 15, true, false, true, nullptr, {}, {IDS_NO_FOLDER}, 0, 0},
        Scenario{"NoFileType", k2003, 0, true, true, true, nullptr, {}, {IDS_NO_FILE_TYPE}, 0, 0},
        // Stop before the folders are listed ends the run without a word.
        Scenario{"StoppedBeforeListing", k2003, 15, true, true, false, nullptr, {}, {}, 0, 0},
        Scenario{"ExcelWithoutWordIsNoGeneration", {{"11.0", false, true}}, 15, true, true, true, nullptr, {},
                 {IDS_SEARCH_FINISHED}, 0, 0},
        // Text alone starts Word alone, and quits it.
        Scenario{"TextOnly", k2003, 4, true, true, true, nullptr, {"n.txt"}, {IDS_OFFICE_2003, IDS_SEARCH_FINISHED}, 1, 0,
                 kWordQuit},
        // The generation follows Word's, and selects its Excel driver.
        Scenario{"GenerationOfWord", {{"9.0", true, false}, {"11.0", false, true}}, 2, true, true, true, nullptr,
                 {"n.xls"}, {IDS_OFFICE_2000, IDS_SEARCH_FINISHED}, 0, 1, "Workbooks.0x2AA call"},
        Scenario{"OfficeXp", {{"10.0", true, true}}, 2, true, true, true, nullptr, {"n.xls"},
                 {IDS_OFFICE_XP, IDS_SEARCH_FINISHED}, 0, 1, "Workbooks.0x783 call"},
        Scenario{"WordWillNotStart", k2003, 15, true, true, true, "Word.Application", {},
                 {IDS_OFFICE_2003, IDS_WORD_START_FAILED, IDS_SEARCH_FINISHED}, 0, 0},
        // Word, started already, is released without being told to quit.
        Scenario{"ExcelWillNotStart", k2003, 15, true, true, true, "Excel.Application", {},
                 {IDS_OFFICE_2003, IDS_EXCEL_START_FAILED, IDS_SEARCH_FINISHED}, 1, 0, kWordQuit, 0}),
    [](const auto& p) { return std::string(p.param.name); });

// Owner files are skipped, a folder named like a file is ruined, a file
// without a keyword gets no row; failing Visible and Quit calls are absorbed.
TEST_F(SearchRunTest, VisitsMasksInOrderAndRoutesByMask)
{
    for (const char* name : {"d.htm", "e.html", "c.txt", "B.XLS", "f.xlsx", "a.doc", "g.DOCX", "other.pdf", "~$a.doc"})
        tmp.Write(name, "needle");
    tmp.Write("nothing.doc", "nothing here");
    fs::create_directories(root / "old.doc");
    office->failIf = [](const FakeCall& c) {
        return (c.object == "WordApp" && c.dispid == 0x17) || (c.object == "ExcelApp" && c.dispid == 0x12E);
    };
    AddKeywords(g_arrKeywords, {"absent"});
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
    EXPECT_EQ(office->Opens((root / "~$a.doc").string()), 0);
    EXPECT_EQ(panes.panel.lines,
              (Lines{Line(IDS_OFFICE_2003), Line(root / "old.doc", IDS_FILE_RUINED), Line(IDS_SEARCH_FINISHED)}));
    // Both applications are hidden, Excel asks no questions, and both quit.
    for (const std::string& call : {std::string("WordApp.0x17 put(bool:false)"), std::string("ExcelApp.0x22E put(bool:false)"),
                                    std::string("ExcelApp.0x157 put(bool:false)"), kWordQuit, kExcelQuit})
        EXPECT_EQ(office->Count(call), 1) << call;
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
    tmp.Write(fs::path("first") / c.first, "needle");
    tmp.Write("first/b.txt", "needle");
    tmp.Write("second/c.txt", "needle");
    SelectFolder(root / "first");
    office->onOpen = [&c](const std::string&) { c.press(); };
    Run(root / "second");
    EXPECT_EQ(panes.results.Names(), c.listed ? Lines{c.first} : Lines{});
    for (const char* later : {"first/b.txt", "second/c.txt"})
        EXPECT_EQ(office->Opens((root / later).string()), 0) << later;
    for (const std::string& quit : {kWordQuit, kExcelQuit}) EXPECT_EQ(office->Count(quit), 1) << quit;
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

// A file another program holds, a path too long for the record, a ticked
// folder that is gone and a sub-folder that vanishes after the work list
// was made (while the first file is searched) get a line each and are
// skipped. Links to a file outside the searched folders, to a file inside
// them and to a folder are not opened.
TEST_F(SearchRunTest, WhatCannotBeSearchedGetsALineAndLinksAreNotFollowed)
{
    const fs::path top = root / "top", outside = root / "outside";
    for (const char* file : {"a/x.txt", "b/y.txt", "c/z.txt"}) tmp.Write(top / file, "needle");
    const fs::path locked = tmp.Write(top / "locked.txt", "needle");
    const HeldLock held(locked);
    fs::path deep = top / "d";
    while (deep.string().size() < 240) deep /= "abcdefghij";
    const fs::path longName = deep / "a-rather-long-file-name-to-pass-the-limit.txt";
    tmp.Write(longName, "needle");
    tmp.Write(outside / "secret.txt", "needle");
    fs::create_symlink(outside / "secret.txt", top / "c" / "link.txt");
    fs::create_symlink(top / "c" / "z.txt", top / "c" / "again.txt");
    fs::create_directory_symlink(outside, top / "c" / "folder.txt");
    SelectFolder(root / "missing");
    office->onOpen = [&](const std::string& path) {
        if (path.ends_with("x.txt")) fs::remove_all(top / "b");
    };
    Run(top, true);
    EXPECT_EQ(panes.results.Names(), (Lines{"x.txt", "z.txt"}));
    EXPECT_EQ(panes.panel.lines, (Lines{Line(IDS_OFFICE_2003), Line(root / "missing", IDS_FOLDER_UNREADABLE),
                                        Line(locked, IDS_FILE_IN_USE), Line(top / "b", IDS_FOLDER_UNREADABLE),
                                        Line(longName, IDS_PATH_TOO_LONG), Line(IDS_SEARCH_FINISHED)}));
    for (const fs::path& unopened : {locked, top / "c" / "link.txt", top / "c" / "again.txt", top / "c" / "folder.txt"})
        EXPECT_EQ(office->Opens(unopened.string()), 0) << unopened;
}

TEST_F(SearchRunTest, SubfoldersAreListedDepthFirstUntilStop)
{
    // Sub-folders, hidden ones too, are listed depth first in the finder's
    // order, and Stop ends the listing (links: see above).
    for (const char* d : {"b", "A/y", "A/x/deep", ".hidden"}) fs::create_directories(root / "tree" / d);
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
