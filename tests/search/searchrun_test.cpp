// The search run end to end with fake applications: the worker's outcomes,
// the driver's order of work, routing, stop points, quits and log lines.
#include "platform/oleauto.h"
#include "platform/registry.h"
#include "platform/stringtable.h"
#include "search/searchrun.h"
#include "support/fakeoffice.h"
#include "support/recordingpanes.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <sys/file.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

struct Row {
    std::string name;
    std::string path;
    int degree;
    int kind;
};

class RecordingResultList : public CMessageTarget {
public:
    LRESULT OnMessage(UINT message, WPARAM, LPARAM) override
    {
        if (message == WM_ADD_RESULT)
            rows.push_back({g_resultFileInfo.szFileName, g_resultFileInfo.szFilePath, g_resultFileInfo.nMatchDegree,
                            g_resultFileInfo.nFileKind});
        return 0;
    }
    std::vector<Row> rows;
};

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
        RegisterFakeOffice(log);
        g_hWndResultList = &results;
        g_bRunning = 1;
        g_bWordFile = 1;
        g_bExcelFile = 1;
        g_bTextFile = 1;
        g_bHtmFile = 1;
        liveBefore = CDispatchObject::LiveObjects();
    }
    void TearDown() override
    {
        EXPECT_EQ(CDispatchObject::LiveObjects(), liveBefore);
        UnregisterServer("Word.Application");
        UnregisterServer("Excel.Application");
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

    std::vector<std::string> Names() const
    {
        std::vector<std::string> names;
        for (const auto& r : results.rows) names.push_back(r.name);
        return names;
    }

    RecordingPanes panes;  // resets the context; must come first
    RecordingResultList results;
    FakeOfficeLog log;
    fs::path root;
    long liveBefore = 0;
};

}  // namespace

TEST_F(SearchRunTest, ValidationOutcomesLogOnceAndFinish)
{
    SearchThreadProc();
    EXPECT_EQ(panes.panel.lines, std::vector<std::string>{LoadString(61464)});
    EXPECT_EQ(panes.frame.finished, 1);

    panes.panel.lines.clear();
    AddKeywords({"x"});
    SearchThreadProc();
    EXPECT_EQ(panes.panel.lines, std::vector<std::string>{LoadString(61465)});

    panes.panel.lines.clear();
    SelectFolder(root);
    g_bWordFile = g_bExcelFile = g_bTextFile = g_bHtmFile = 0;
    SearchThreadProc();
    EXPECT_EQ(panes.panel.lines, std::vector<std::string>{LoadString(61466)});
    EXPECT_EQ(panes.frame.finished, 3);
    EXPECT_TRUE(log.Events().empty());
}

TEST_F(SearchRunTest, ExcelWithoutWordDetectsNoGenerationAndSearchesNothing)
{
    RegClearMachineHive();
    InstallOffice("11.0", false, true);
    WriteFile(root / "a.xls", "needle");
    AddKeywords({"needle"});
    SelectFolder(root);
    SearchThreadProc();
    EXPECT_EQ(panes.panel.lines, std::vector<std::string>{LoadString(61459)});
    EXPECT_TRUE(log.Events().empty());
    EXPECT_EQ(panes.frame.finished, 1);
}

TEST_F(SearchRunTest, VisitsMasksInOrderAndRoutesByMask)
{
    WriteFile(root / "d.htm", "needle");
    WriteFile(root / "e.html", "needle");
    WriteFile(root / "c.txt", "needle");
    WriteFile(root / "B.XLS", "needle");
    WriteFile(root / "f.xlsx", "needle");
    WriteFile(root / "a.doc", "needle");
    WriteFile(root / "g.DOCX", "needle");
    WriteFile(root / "other.pdf", "needle");
    AddKeywords({"needle", "absent"});
    SelectFolder(root);
    SearchThreadProc();

    EXPECT_EQ(Names(), (std::vector<std::string>{"a.doc", "g.DOCX", "B.XLS", "f.xlsx", "c.txt", "d.htm", "e.html"}));
    const std::vector<int> kinds = {0, 0, 2, 2, 4, 5, 5};
    for (std::size_t i = 0; i < results.rows.size(); ++i) {
        EXPECT_EQ(results.rows[i].kind, kinds[i]) << results.rows[i].name;
        EXPECT_EQ(results.rows[i].degree, 50);
        EXPECT_EQ(results.rows[i].path, (root / results.rows[i].name).string());
    }
    // Upper-case and longer extensions found through *.xls go to Excel.
    EXPECT_EQ(log.Count("excel:open:" + (root / "B.XLS").string()), 1);
    EXPECT_EQ(log.Count("excel:open:" + (root / "f.xlsx").string()), 1);
    EXPECT_EQ(log.Count("word:open:" + (root / "B.XLS").string()), 0);
    EXPECT_EQ(panes.panel.lines, (std::vector<std::string>{LoadString(61471), LoadString(61459)}));
    EXPECT_EQ(log.Count("word:quit"), 1);
    EXPECT_EQ(log.Count("excel:quit"), 1);
}

TEST_F(SearchRunTest, OwnerFilesAreSkippedAndFoldersNamedLikeFilesAreRuined)
{
    WriteFile(root / "~$report.doc", "needle");
    WriteFile(root / "report.doc", "nothing here");
    fs::create_directories(root / "old.doc");
    AddKeywords({"needle"});
    SelectFolder(root);
    SearchThreadProc();
    EXPECT_EQ(log.Count("word:open:" + (root / "~$report.doc").string()), 0);
    EXPECT_TRUE(results.rows.empty());  // degree 0 gives no row and no line
    EXPECT_EQ(panes.panel.lines,
              (std::vector<std::string>{LoadString(61471), (root / "old.doc").string() + LoadString(61457),
                                        LoadString(61459)}));
}

TEST_F(SearchRunTest, TextOnlyStartsWordAloneAndQuitsOnlyIt)
{
    g_bWordFile = g_bExcelFile = g_bHtmFile = 0;
    WriteFile(root / "n.txt", "needle");
    WriteFile(root / "n.xls", "needle");
    AddKeywords({"needle"});
    SelectFolder(root);
    SearchThreadProc();
    EXPECT_EQ(Names(), std::vector<std::string>{"n.txt"});
    EXPECT_EQ(log.Count("excel:start"), 0);
    EXPECT_EQ(log.Count("excel:quit"), 0);
    EXPECT_EQ(log.Count("word:quit"), 1);
}

TEST_F(SearchRunTest, StopIsNoticedBeforeTheNextFileAndFolder)
{
    fs::path second = root / "second";
    WriteFile(root / "first" / "a.txt", "needle");
    WriteFile(root / "first" / "b.txt", "needle");
    WriteFile(second / "c.txt", "needle");
    AddKeywords({"needle"});
    SelectFolder(root / "first");
    SelectFolder(second);
    log.onOpen = [](const std::string&) { g_bRunning = 0; };
    SearchThreadProc();
    // The file being searched finishes; nothing after it is opened.
    EXPECT_EQ(Names(), std::vector<std::string>{"a.txt"});
    EXPECT_EQ(log.Count("word:open:" + (root / "first" / "b.txt").string()), 0);
    EXPECT_EQ(log.Count("word:open:" + (second / "c.txt").string()), 0);
    EXPECT_EQ(log.Count("word:quit"), 1);
    EXPECT_EQ(log.Count("excel:quit"), 1);
    EXPECT_EQ(panes.panel.lines.back(), LoadString(61459));
    EXPECT_EQ(panes.frame.finished, 1);
}

TEST_F(SearchRunTest, StopBeforeTheFoldersAreListedEndsSilently)
{
    WriteFile(root / "a.txt", "needle");
    AddKeywords({"needle"});
    SelectFolder(root);
    g_bRunning = 0;
    SearchThreadProc();
    EXPECT_TRUE(panes.panel.lines.empty());
    EXPECT_EQ(panes.frame.finished, 0);
    EXPECT_TRUE(log.Events().empty());
}

TEST_F(SearchRunTest, StartFailuresAreLoggedAndNothingIsSearched)
{
    WriteFile(root / "a.txt", "needle");
    AddKeywords({"needle"});
    SelectFolder(root);
    UnregisterServer("Word.Application");
    SearchThreadProc();
    EXPECT_EQ(panes.panel.lines,
              (std::vector<std::string>{LoadString(61471), LoadString(61460), LoadString(61459)}));
    EXPECT_EQ(log.Count("excel:start"), 0);

    panes.panel.lines.clear();
    RegisterFakeOffice(log);
    UnregisterServer("Excel.Application");
    SearchThreadProc();
    EXPECT_EQ(panes.panel.lines,
              (std::vector<std::string>{LoadString(61471), LoadString(61461), LoadString(61459)}));
    // Word was started, is released, and is not told to quit.
    EXPECT_EQ(log.Count("word:start"), 1);
    EXPECT_EQ(log.Count("word:quit"), 0);
    EXPECT_TRUE(results.rows.empty());
}

TEST_F(SearchRunTest, FailingApplicationCallsAreAbsorbed)
{
    log.failWordVisible = true;
    log.failExcelQuit = true;
    WriteFile(root / "a.doc", "needle");
    AddKeywords({"needle"});
    SelectFolder(root);
    SearchThreadProc();
    EXPECT_EQ(Names(), std::vector<std::string>{"a.doc"});
    EXPECT_EQ(log.Count("word:quit"), 1);
    EXPECT_EQ(panes.panel.lines.back(), LoadString(61459));
}

TEST_F(SearchRunTest, GenerationFollowsWordAndSelectsItsDriver)
{
    RegClearMachineHive();
    InstallOffice("9.0", true, false);
    InstallOffice("11.0", false, true);
    WriteFile(root / "a.xls", "needle");
    AddKeywords({"needle"});
    SelectFolder(root);
    SearchThreadProc();
    EXPECT_EQ(panes.panel.lines.front(), LoadString(61470));
    EXPECT_EQ(Names(), std::vector<std::string>{"a.xls"});
}

TEST_F(SearchRunTest, FileInUseIsReportedAndSkipped)
{
    const fs::path locked = root / "locked.txt";
    WriteFile(locked, "needle");
    const int fd = ::open(locked.c_str(), O_RDONLY);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::flock(fd, LOCK_EX), 0);
    AddKeywords({"needle"});
    SelectFolder(root);
    SearchThreadProc();
    ::close(fd);
    EXPECT_TRUE(results.rows.empty());
    EXPECT_EQ(panes.panel.lines[1], locked.string() + LoadString(61458));
    EXPECT_EQ(log.Count("word:open:" + locked.string()), 0);
}

TEST_F(SearchRunTest, PathTooLongForTheRecordIsLoggedNotCut)
{
    fs::path deep = root;
    while (deep.string().size() < 240) deep /= "abcdefghij";
    const fs::path file = deep / "a-rather-long-file-name-to-pass-the-limit.txt";
    WriteFile(file, "needle");
    AddKeywords({"needle"});
    SelectFolder(deep);
    SearchThreadProc();
    EXPECT_TRUE(results.rows.empty());
    EXPECT_EQ(panes.panel.lines[1], file.string() + LoadString(61486));
}

TEST_F(SearchRunTest, FoldersThatCannotBeReadGetALineEach)
{
    // A ticked folder that is gone, and a sub-folder that vanishes after
    // the work list was made (while the first file is searched).
    WriteFile(root / "a" / "x.txt", "needle");
    WriteFile(root / "b" / "y.txt", "needle");
    WriteFile(root / "c" / "z.txt", "needle");
    AddKeywords({"needle"});
    SelectFolder(root / "missing");
    SelectFolder(root, true);
    log.onOpen = [this](const std::string& path) {
        if (path.ends_with("x.txt")) fs::remove_all(root / "b");
    };
    SearchThreadProc();
    EXPECT_EQ(Names(), (std::vector<std::string>{"x.txt", "z.txt"}));
    EXPECT_EQ(panes.panel.lines,
              (std::vector<std::string>{LoadString(61471), (root / "missing").string() + LoadString(61487),
                                        (root / "b").string() + LoadString(61487), LoadString(61459)}));
}

TEST_F(SearchRunTest, AFolderWithoutPermissionGetsALine)
{
    if (::geteuid() == 0) GTEST_SKIP() << "permissions do not apply to root (the vanished folder covers the line)";
    WriteFile(root / "closed" / "x.txt", "needle");
    WriteFile(root / "open" / "y.txt", "needle");
    fs::permissions(root / "closed", fs::perms::none);
    AddKeywords({"needle"});
    SelectFolder(root, true);
    SearchThreadProc();
    fs::permissions(root / "closed", fs::perms::owner_all);
    EXPECT_EQ(Names(), std::vector<std::string>{"y.txt"});
    EXPECT_EQ(panes.panel.lines,
              (std::vector<std::string>{LoadString(61471), (root / "closed").string() + LoadString(61487),
                                        LoadString(61459)}));
}

TEST_F(SearchRunTest, LinksToFilesAreNotFollowed)
{
    // A link inside the searched folder to a file outside it, and one to a
    // file inside it: neither is opened; the file itself is.
    const fs::path outside = root / "outside";
    WriteFile(outside / "secret.txt", "needle");
    WriteFile(root / "searched" / "own.txt", "needle");
    fs::create_symlink(outside / "secret.txt", root / "searched" / "link.txt");
    fs::create_symlink(root / "searched" / "own.txt", root / "searched" / "again.txt");
    fs::create_directory_symlink(outside, root / "searched" / "folder.txt");
    AddKeywords({"needle"});
    SelectFolder(root / "searched");
    SearchThreadProc();
    EXPECT_EQ(Names(), std::vector<std::string>{"own.txt"});
    for (const char* link : {"link.txt", "again.txt", "folder.txt"})
        EXPECT_EQ(log.Count("word:open:" + (root / "searched" / link).string()), 0) << link;
    EXPECT_EQ(panes.panel.lines, (std::vector<std::string>{LoadString(61471), LoadString(61459)}));
}

TEST(ExpandSubfolders, ListsDepthFirstInFinderOrderWithoutFollowingLinks)
{
    const fs::path root = fs::temp_directory_path() / ("varnel-expand-" + std::to_string(::getpid()));
    fs::remove_all(root);
    for (const char* d : {"b", "A/y", "A/x/deep", ".hidden"}) fs::create_directories(root / d);
    std::ofstream(root / "file.txt") << "x";
    fs::create_directory_symlink(root, root / "A" / "loop");
    ResetSearchContext();
    g_bRunning = 1;

    CFolderWorkList list;
    ExpandSubfolders(list, root.string() + "/");
    std::vector<std::string> got;
    for (const auto& f : list) got.push_back(f.szPath);
    const std::string r = root.string();
    EXPECT_EQ(got, (std::vector<std::string>{r + "/.hidden", r + "/A", r + "/A/x", r + "/A/x/deep", r + "/A/y",
                                             r + "/b"}));

    g_bRunning = 0;
    CFolderWorkList stopped;
    ExpandSubfolders(stopped, r);
    EXPECT_TRUE(stopped.empty());
    fs::remove_all(root);
    ResetSearchContext();
}
