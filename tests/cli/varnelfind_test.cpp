// varnel-find end to end: the real program, the built-in Office and a
// fixture tree, checked through standard output, standard error and the
// exit status.
#include "platform/stringtable.h"
#include "support/runprocess.h"
#include "tests/office/docfixture.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <iostream>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

std::vector<std::string> Lines(const std::string& text)
{
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

class VarnelFindTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        root = fs::temp_directory_path() /
               ("varnel-find-" + std::to_string(::getpid()) + "-" +
                ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(root);
        tree = root / "tree";
        config = root / "config";
        fs::create_directories(tree / "sub");
        fs::create_directories(config);
        Write(tree / "notes.txt", "The quick brown fox\njumps over the lazy dog.\n");
        Write(tree / "page.htm", "<html><head><title>Fox report</title></head><body><p>A lazy afternoon</p>"
                                 "<script>var needle = 1;</script></body></html>");
        Write(tree / "other.txt", "nothing to see");
        Write(tree / "sub" / "deep.txt", "a brown bear");
    }
    void TearDown() override { fs::remove_all(root); }

    static void Write(const fs::path& p, const std::string& text) { std::ofstream(p, std::ios::binary) << text; }

    ProcessResult Run(const std::vector<std::string>& args)
    {
        return RunProcess(std::string(VARNEL_BIN_DIR) + "/varnel-find", args,
                          {"XDG_CONFIG_HOME=" + config.string(), "HOME=" + root.string()});
    }

    fs::path root, tree, config;
};

}  // namespace

TEST_F(VarnelFindTest, PrintsEveryMatchWithItsDegreeInSearchOrder)
{
    const ProcessResult r = Run({"-k", "lazy", "-k", "fox", "--text", "--htm", tree.string()});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(Lines(r.out), (std::vector<std::string>{"100%\t" + (tree / "notes.txt").string(),
                                                      "100%\t" + (tree / "page.htm").string()}));
    EXPECT_EQ(Lines(r.err), (std::vector<std::string>{LoadString(61453), LoadString(61454), LoadString(61456),
                                                      LoadString(61471), LoadString(61459)}));
}

TEST_F(VarnelFindTest, DegreeIsTheShareOfKeywordsFound)
{
    const ProcessResult r = Run({"-k", "brown", "-k", "bear", "-k", "cat", "--text", "-r", tree.string()});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(Lines(r.out), (std::vector<std::string>{"33%\t" + (tree / "notes.txt").string(),
                                                      "66%\t" + (tree / "sub" / "deep.txt").string()}));
}

TEST_F(VarnelFindTest, ScriptTextOfAWebPageIsNotFound)
{
    const ProcessResult r = Run({"-k", "needle", "--htm", tree.string()});
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(r.out.empty());
}

TEST_F(VarnelFindTest, NothingFoundExitsOne)
{
    const ProcessResult r = Run({"-k", "zebra", "--text", "--htm", tree.string()});
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(r.out.empty());
    EXPECT_EQ(Lines(r.err).back(), LoadString(61459));
}

TEST_F(VarnelFindTest, AMissingFolderIsAUsageErrorBeforeAnythingIsSearched)
{
    const ProcessResult r = Run({"-k", "fox", "--text", tree.string(), (root / "typo").string()});
    EXPECT_EQ(r.status, 2);
    EXPECT_TRUE(r.out.empty());
    EXPECT_NE(r.err.find((root / "typo").string()), std::string::npos);
    EXPECT_EQ(r.err.find(LoadString(61459)), std::string::npos);
}

TEST_F(VarnelFindTest, RunsThatCannotStartExitTwoWithThePanelsMessage)
{
    ProcessResult r = Run({"--text", tree.string()});
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(Lines(r.err).back(), LoadString(61464));

    r = Run({"-k", "fox", "--text"});
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(Lines(r.err).back(), LoadString(61465));

    // No category option and nothing saved: the defaults choose none.
    r = Run({"-k", "fox", tree.string()});
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(Lines(r.err).back(), LoadString(61466));
}

TEST_F(VarnelFindTest, KeywordFileIsCheckedLikeThePanelText)
{
    std::string many;
    for (int i = 0; i < 257; ++i) many += "k" + std::to_string(i) + "\n";
    Write(root / "many.txt", many);
    ProcessResult r = Run({"-K", (root / "many.txt").string(), "--text", tree.string()});
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(Lines(r.err), (std::vector<std::string>{LoadString(61452), LoadString(61456), LoadString(61464)}));

    Write(root / "two.txt", "fox\n\nbear\n");
    r = Run({"-K", (root / "two.txt").string(), "--text", "-r", tree.string()});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(Lines(r.out).size(), 2u);
}

TEST_F(VarnelFindTest, SavedSettingsApplyWithoutOptions)
{
    fs::create_directories(config / "Varnel");
    Write(config / "Varnel" / "user.reg",
          "Windows Registry Editor Version 5.00\r\n\r\n"
          "[HKEY_CURRENT_USER\\SOFTWARE\\Varnel\\Option]\r\n"
          "\"TextFile\"=dword:00000001\r\n"
          "\"MatchCase\"=dword:00000001\r\n");
    ProcessResult r = Run({"-k", "Quick", tree.string()});
    EXPECT_EQ(r.status, 1) << r.err;  // match case is on: "quick" is not "Quick"
    r = Run({"-k", "quick", tree.string()});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(Lines(r.out), std::vector<std::string>{"100%\t" + (tree / "notes.txt").string()});
    // A match option replaces the saved match switches.
    r = Run({"-k", "Quick", "--whole-word", tree.string()});
    EXPECT_EQ(r.status, 0) << r.err;
}

TEST_F(VarnelFindTest, HelpAndUsage)
{
    ProcessResult r = Run({"--help"});
    EXPECT_EQ(r.status, 0);
    EXPECT_NE(r.out.find("varnel-find [options] FOLDER..."), std::string::npos);
    r = Run({"--no-such-option"});
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("--no-such-option"), std::string::npos);
}

TEST_F(VarnelFindTest, ExtractPrintsWhatTheReaderSees)
{
    ProcessResult r = Run({"--extract", (tree / "page.htm").string()});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("Fox report"), std::string::npos);
    EXPECT_NE(r.out.find("A lazy afternoon"), std::string::npos);
    EXPECT_EQ(r.out.find("needle"), std::string::npos);

    Write(root / "garbage.doc", std::string("\x01\x02\x03\x00\x00\x05\x06\x07", 8) + std::string(200, '\x02'));
    r = Run({"--extract", (root / "garbage.doc").string()});
    EXPECT_EQ(r.status, 2);
    // The path, then the reader's reason in its words.
    EXPECT_EQ(r.err, (root / "garbage.doc").string() + ": binary data: not a text file\n");

}

TEST_F(VarnelFindTest, SearchesRealDocumentsOfEveryKind)
{
    const fs::path data = VARNEL_TEST_DATA;
    fs::path docs = root / "docs";
    fs::create_directories(docs / "old.doc");  // a folder named like a document
    for (const char* name : {"fmt-stories.doc", "fmt-stories.docx", "fmt-stories.rtf", "fmt-stories.dot",
                             "FMT-UPPER.DOC", "fmt-rtfinside.doc"})
        fs::copy_file(data / "word" / name, docs / name);
    fs::copy_file(data / "excel" / "book.xls", docs / "book.xls");
    fs::copy_file(data / "excel" / "book.xlsx", docs / "book.xlsx");
    Write(docs / "~$fmt-stories.doc", "owner file: Footnoteword");
    Write(docs / "ruined.doc", std::string("\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1", 8) + std::string(600, '\x7F'));

    // A footnote word and a hidden-sheet value, one of which each kind holds.
    const ProcessResult r =
        Run({"-k", "Footnoteword", "-k", "secret hidden value", "--word", "--excel", docs.string()});
    EXPECT_EQ(r.status, 0) << r.err;
    std::vector<std::string> expected;
    // Files in name order, without regard to case; the template is not
    // among them, since *.doc does not find .dot.
    for (const char* name : {"fmt-rtfinside.doc", "fmt-stories.doc", "fmt-stories.docx", "FMT-UPPER.DOC"})
        expected.push_back("50%\t" + (docs / name).string());
    for (const char* name : {"book.xls", "book.xlsx"}) expected.push_back("50%\t" + (docs / name).string());
    EXPECT_EQ(Lines(r.out), expected);

    const std::vector<std::string> log = Lines(r.err);
    auto logged = [&log](const std::string& line) { return std::find(log.begin(), log.end(), line) != log.end(); };
    EXPECT_TRUE(logged((docs / "old.doc").string() + LoadString(61457)));
    EXPECT_TRUE(logged((docs / "ruined.doc").string() + LoadString(61457)));
    EXPECT_EQ(r.err.find("~$"), std::string::npos);
    // The .rtf is not found through any of the masks.
    EXPECT_EQ(r.out.find("fmt-stories.rtf"), std::string::npos);
}

TEST_F(VarnelFindTest, FieldCodesAreNotFoundButTheirResultsAre)
{
    fs::path docs = root / "docs";
    fs::create_directories(docs);
    fs::copy_file(fs::path(VARNEL_TEST_DATA) / "word" / "fmt-stories.docx", docs / "a.docx");
    ProcessResult r = Run({"-k", "PAGE", "--match-case", "--word", docs.string()});
    EXPECT_EQ(r.status, 1) << r.out;
    r = Run({"-k", "Fieldday 2021-03-04", "--word", docs.string()});
    EXPECT_EQ(r.status, 0) << r.err;
}

TEST_F(VarnelFindTest, SignalsInTheMiddleOfAFileStopCleanlyWithTheShellsStatus)
{
    // A Word document of 64 MB of text whose only keyword is at its very
    // end, searched word by word (sounds like), then a small file: both
    // would be printed if the search went on.
    fs::path docs = root / "large";
    fs::create_directories(docs);
    {
        std::string text;
        while (text.size() < (std::size_t{64} << 20)) text += "the quarterly figures of the northern region\r";
        text += "needle\r";
        docbin::Word97 d;
        d.text = docbin::Latin(text);
        d.ccp[0] = static_cast<std::uint32_t>(text.size());
        d.pieces = {{d.ccp[0], static_cast<std::uint32_t>(docbin::Word97::kTextAt), true}};
        const docbin::Bytes file = d.Build();
        std::ofstream(docs / "a-large.doc", std::ios::binary)
            .write(reinterpret_cast<const char*>(file.data()), static_cast<std::streamsize>(file.size()));
    }
    Write(docs / "b.txt", "needle");
    const struct {
        int signal;
        int status;
    } cases[] = {{SIGINT, 130}, {SIGTERM, 143}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.signal);
        // Once the driver has started Word, the large document is the first
        // thing it opens.
        const ProcessResult r =
            RunProcess(std::string(VARNEL_BIN_DIR) + "/varnel-find",
                       {"-k", "needle", "--sounds-like", "--word", "--text", docs.string()},
                       {"XDG_CONFIG_HOME=" + config.string(), "HOME=" + root.string()},
                       SignalPlan{c.signal, LoadString(61471), std::chrono::milliseconds(300)});
        ASSERT_TRUE(r.signalled) << r.err;
        EXPECT_EQ(r.status, c.status) << r.err;
        EXPECT_LT(r.msFromSignalToExit, 2000.0);
        std::cout << "  exited " << r.msFromSignalToExit << " ms after signal " << c.signal << "\n";
        // Nothing printed, no line for the file left in the middle; the
        // run ended as after Stop.
        EXPECT_TRUE(r.out.empty()) << r.out;
        EXPECT_EQ(Lines(r.err).back(), LoadString(61459));
        EXPECT_EQ(r.err.find("a-large.doc"), std::string::npos) << r.err;
    }
}
