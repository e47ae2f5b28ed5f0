// Reading ahead on a second thread with the built-in Office: a search with
// two threads gives the rows and lines of a search with one, in the same
// order, over a folder of mixed files (one changed between the hint and its
// open, one held by another open file, a damaged one, a folder named like a
// document, a folder that goes away after it was listed ahead); and Stop
// ends a read in progress and its thread.
#include "office/automation/readahead.h"
#include "office/automation/builtinoffice.h"
#include "office/word/wordloader.h"
#include "platform/cancellation.h"
#include "platform/oleauto.h"
#include "platform/readahead.h"
#include "platform/registry.h"
#include "search/searchrun.h"
#include "support/recordingpanes.h"
#include "tests/kestrel/support/keywords.h"
#include "tests/platform/support/tempdir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <thread>

namespace fs = std::filesystem;

namespace {

// Waits (up to 20 seconds: the machine may be busy) for `done`.
template <class F>
bool WaitFor(F done)
{
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (!done()) {
        if (std::chrono::steady_clock::now() > until) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

struct Outcome {
    std::vector<std::string> rows, lines;
    office::CReadAhead::Counts counts;
};

class ReadAheadTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        RegClearMachineHive();
        office::RegisterBuiltinOffice();
    }
    void TearDown() override
    {
        platform::SetSearchThreads(0);
        platform::ClearSearchStop();
        RegClearMachineHive();
    }

    // The fixtures, made afresh for every run: the change made during a run
    // must not carry over into the next.
    void MakeFolder()
    {
        fs::remove_all(root);
        const std::pair<const char*, const char*> texts[] = {{"~$owner.doc", "needle"},
                                                             {"g-first.txt", "a needle in the first text file"},
                                                             {"h-changes.txt", "nothing here yet"},
                                                             {"i-locked.txt", "a needle that nobody may read"},
                                                             {"j-plain.txt", "plain\twords  only"},
                                                             {"sub/l-deeper.txt", "Quarterly needle"},
                                                             {"sub2/n-gone.txt", "needle"}};
        for (const auto& [name, text] : texts) tmp.Write(name, text);
        const std::pair<const char*, const char*> copies[] = {
            {"word/fmt-stories.doc", "a-stories.doc"}, {"word/fmt-stories.docx", "b-stories.docx"},
            {"excel/book.xls", "e-book.xls"},          {"excel/tabbed.xls", "f-tabbed.xls"},
            {"word/page.htm", "k-page.htm"},           {"word/fmt-stories.rtf", "sub/m-stories.doc"}};
        for (const auto& [from, to] : copies) fs::copy_file(fs::path(VARNEL_TEST_DATA) / from, root / to);
        tmp.Write("c-ruined.doc", std::string("\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1", 8) + std::string(700, 'x'));
        fs::create_directories(root / "d-folder.doc");
    }

    Outcome Search(unsigned threads)
    {
        MakeFolder();
        platform::SetSearchThreads(threads);
        const auto before = office::CReadAhead::Instance().Statistics();
        RecordingPanes panes;
        // Another open file holds this one for the whole run.
        const HeldLock held(root / "i-locked.txt");
        // After g-first.txt and h-changes.txt, the files named ahead are
        // read before the walk goes on, so that h-changes.txt is read
        // ahead before it changes and a file after it is surely taken. The
        // last folder goes away after it was listed ahead (while the file
        // before it is searched). With one thread the changes come at the
        // same points of the walk.
        panes.results.onRow = [&](const std::string& name) {
            if ((name == "g-first.txt" || name == "h-changes.txt") && threads > 1) {
                EXPECT_TRUE(WaitFor([] { return office::CReadAhead::Instance().Idle(); }));
            }
            if (name == "g-first.txt") tmp.Write("h-changes.txt", "now there is a needle in it");
            if (name == "l-deeper.txt") fs::remove_all(root / "sub2");
        };
        g_bRunning = 1;
        g_bWordFile = g_bExcelFile = g_bTextFile = g_bHtmFile = 1;
        // "plain words" is found only once tabs and runs of spaces are
        // cleared: its answer worked out ahead must be the cleared text's.
        AddKeywords(g_arrKeywords, {"needle", "Mainalpha", "Quarterly", "Sales", "plain words"});
        SelectFolder(root, true);
        SearchThreadProc();
        Outcome out;
        for (const auto& r : panes.results.rows)
            out.rows.push_back(std::to_string(r.degree) + " " + std::to_string(r.kind) + " " + r.path);
        out.lines = panes.panel.lines;
        const auto after = office::CReadAhead::Instance().Statistics();
        out.counts = {after.read - before.read,
                      after.taken - before.taken,
                      after.stale - before.stale,
                      after.inUse - before.inUse,
                      after.stopped - before.stopped,
                      after.stepsTaken - before.stepsTaken,
                      after.answersTaken - before.answersTaken};
        return out;
    }

    TempDir tmp{"varnel-readahead"};
    fs::path root = tmp.Path();
};

}  // namespace

TEST_F(ReadAheadTest, TwoThreadsGiveTheRowsAndLinesOfOne)
{
    const Outcome one = Search(1);
    const Outcome two = Search(2);
    EXPECT_EQ(two.rows, one.rows);
    EXPECT_EQ(two.lines, one.lines);
    // The changed file is found with its new text, the held one is not
    // opened, the damaged file, the folder named like a file and the folder
    // gone get their lines.
    const std::string r = root.string();
    EXPECT_EQ(one.rows.size(), 9u);
    EXPECT_NE(std::find(one.rows.begin(), one.rows.end(), "20 4 " + r + "/h-changes.txt"), one.rows.end());
    EXPECT_NE(std::find(one.rows.begin(), one.rows.end(), "20 4 " + r + "/j-plain.txt"), one.rows.end());
    for (const char* name : {"/c-ruined.doc", "/d-folder.doc", "/i-locked.txt", "/sub2"})
        EXPECT_TRUE(std::ranges::any_of(one.lines, [&](const std::string& l) { return l.starts_with(r + name + ":"); }))
            << name;
    // One thread reads nothing ahead. With two, the changed file was read
    // ahead but read again, the held one was not read, and the file after
    // the changed one was taken as read ahead.
    EXPECT_EQ(one.counts.read + one.counts.taken + one.counts.inUse, 0u);
    EXPECT_EQ(one.counts.stepsTaken + one.counts.answersTaken, 0u);
    // The clearing replacements and the keywords' answers were worked out
    // ahead, and the search took them.
    EXPECT_GT(two.counts.stepsTaken, 0u);
    EXPECT_GT(two.counts.answersTaken, 0u);
    EXPECT_GE(two.counts.read, 2u);
    EXPECT_GE(two.counts.taken, 1u);
    EXPECT_EQ(two.counts.stale, 1u);
    EXPECT_EQ(two.counts.inUse, 1u);
}

TEST_F(ReadAheadTest, StopEndsAReadInProgressAndItsThread)
{
    // About 48 MB of text: long enough to parse that Stop comes while it is
    // being read.
    std::string text;
    while (text.size() < 48 << 20) text += "the quarterly figures of the northern region are ready\n";
    tmp.Write("large.txt", text);
    tmp.Write("first.txt", "first");
    office::CReadAhead& service = office::CReadAhead::Instance();
    const auto before = service.Statistics();
    service.Start(1);
    EXPECT_EQ(service.LiveHelpers(), 1u);
    const std::uint64_t looks = platform::StopRequestLooks();
    service.Hint({{(root / "first.txt").string(), false}, {(root / "large.txt").string(), false}});
    ASSERT_TRUE(WaitFor([&] { return platform::StopRequestLooks() > looks + 100; })) << "the read never began";
    const auto stopAt = std::chrono::steady_clock::now();
    service.Stop();
    EXPECT_LT(std::chrono::steady_clock::now() - stopAt, std::chrono::seconds(2));
    EXPECT_EQ(service.LiveHelpers(), 0u);
    const auto after = service.Statistics();
    EXPECT_EQ(after.stopped, before.stopped + 1);
    EXPECT_EQ(after.read, before.read);
    EXPECT_EQ(service.Take((root / "large.txt").string(), false), nullptr);
}

// At most kMaxFiles files are read ahead, and the helpers build the
// compared texts Find built for the last document closed.
TEST_F(ReadAheadTest, ReadsNoMoreFilesAheadThanItsBoundAndBuildsFindsTexts)
{
    office::CReadAhead& service = office::CReadAhead::Instance();
    const auto before = service.Statistics();
    service.Start(1);
    std::vector<platform::ReadAheadItem> coming;
    for (std::size_t i = 0; i < office::CReadAhead::kMaxFiles + 4; ++i) {
        const std::string name = "f" + std::to_string(i) + ".txt";
        tmp.Write(name, "the Needle " + name);
        coming.push_back({(root / name).string(), false});
    }
    office::ReadError error;
    const auto seen = office::ReadWordDocument(coming[0].path, error);
    ASSERT_NE(seen, nullptr);
    seen->View(0, true, false);
    service.NoteViews(*seen);
    service.Hint(coming);
    ASSERT_TRUE(WaitFor([&] { return service.Idle(); }));
    // The first file is about to be opened, which reads it itself.
    EXPECT_EQ(service.Statistics().read - before.read, office::CReadAhead::kMaxFiles);
    const auto next = service.Take(coming[1].path, false);
    service.Stop();
    ASSERT_TRUE(next != nullptr && next->document != nullptr);
    EXPECT_TRUE(next->document->HasView(0, true, false));
    EXPECT_FALSE(next->document->HasView(0, false, true));
}

// Records the driver's hints, and reads nothing.
class RecordingReadAhead : public platform::IReadAhead {
public:
    void Start(unsigned) override {}
    void Hint(const std::vector<platform::ReadAheadItem>& coming) override
    {
        std::vector<std::string> paths;
        for (const auto& item : coming) paths.push_back(item.path);
        hints.push_back(std::move(paths));
    }
    void Stop() override {}
    std::vector<std::vector<std::string>> hints;
};

TEST_F(ReadAheadTest, TheDriverKeepsManyFilesNamedAheadWithoutNamingThemForEveryFile)
{
    // Two folders, so that the files named ahead run on into the next one.
    std::vector<std::string> walk;
    for (const char* folder : {"p", "q"})
        for (int i = 0; i < 60; ++i) {
            const std::string name = std::string(folder) + "/f" + std::to_string(100 + i) + ".txt";
            tmp.Write(name, "text");
            walk.push_back((root / name).string());
        }
    RecordingReadAhead recorder;
    platform::SetReadAheadService(&recorder);
    platform::SetSearchThreads(2);
    RecordingPanes panes;
    g_bRunning = 1;
    g_bWordFile = g_bExcelFile = g_bHtmFile = 0;
    g_bTextFile = 1;
    AddKeywords(g_arrKeywords, {"absent"});
    SelectFolder(root, true);
    SearchThreadProc();
    platform::SetReadAheadService(&office::CReadAhead::Instance());

    const auto at = [&](const std::string& path) {
        return static_cast<std::size_t>(std::find(walk.begin(), walk.end(), path) - walk.begin());
    };
    ASSERT_FALSE(recorder.hints.empty());
    // A hint names the file about to be searched, then the next ones in
    // walk order. Told again for each file, the service would cost the
    // search more than its helper gains on small files.
    EXPECT_LE(recorder.hints.size(), walk.size() / 8);
    std::size_t last = 0;
    for (std::size_t h = 0; h < recorder.hints.size(); ++h) {
        const auto& hint = recorder.hints[h];
        ASSERT_FALSE(hint.empty());
        const std::size_t first = at(hint[0]);
        ASSERT_LT(first, walk.size()) << hint[0];
        EXPECT_TRUE(h == 0 || first > last);
        last = first;
        for (std::size_t k = 0; k < hint.size(); ++k) ASSERT_EQ(hint[k], walk.at(first + k)) << k;
    }
    // While any file is searched, the hint last given names it and at
    // least the next sixteen (or all the rest).
    for (std::size_t p = 0; p < walk.size(); ++p) {
        const auto given = std::find_if(recorder.hints.rbegin(), recorder.hints.rend(),
                                        [&](const auto& hint) { return at(hint[0]) <= p; });
        ASSERT_NE(given, recorder.hints.rend()) << p;
        const std::size_t end = at(given->front()) + given->size();
        EXPECT_GE(end, std::min(walk.size(), p + 1 + 16)) << walk[p];
    }
}

TEST(ThreadCountTest, OnlyWholeNumbersInRangeAreThreadCounts)
{
    // The count each text gives; 0 where it is refused.
    const std::pair<const char*, unsigned> cases[] = {{"1", 1}, {"2", 2},  {"256", 256}, {"0", 0},  {"257", 0},
                                                      {"", 0},  {"-1", 0}, {"2x", 0},    {" 2", 0}, {"99999999999", 0}};
    for (const auto& [text, expected] : cases) {
        unsigned threads = 0;
        EXPECT_EQ(platform::ParseThreadCount(text, threads), expected != 0) << text;
        EXPECT_TRUE(expected == 0 || threads == expected) << text << ": " << threads;
    }
    ::setenv("VARNEL_THREADS", "3", 1);
    platform::SetSearchThreads(0);
    EXPECT_EQ(platform::SearchThreads(), 3u);
    platform::SetSearchThreads(1);
    EXPECT_EQ(platform::SearchThreads(), 1u);
    ::unsetenv("VARNEL_THREADS");
    platform::SetSearchThreads(0);
    EXPECT_GE(platform::SearchThreads(), 1u);
}
