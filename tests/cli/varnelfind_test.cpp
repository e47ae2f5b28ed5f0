// varnel-find end to end: the real program, the built-in Office and a
// fixture tree, checked through standard output, standard error and the
// exit status.
#include "platform/stringtable.h"
#include "support/runprocess.h"
#include "tests/office/docfixture.h"

#include <gtest/gtest.h>

#include <csignal>
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
        char made[] = "/tmp/varnel-find-XXXXXX";
        ASSERT_NE(::mkdtemp(made), nullptr);
        root = made;
        tree = root / "tree";
        fs::create_directories(tree / "sub");
        Write(tree / "notes.txt", "The quick brown fox\njumps over the lazy dog.\n");
        Write(tree / "page.htm", "<html><head><title>Fox report</title></head><body><p>A lazy afternoon</p>"
                                 "<script>var needle = 1;</script></body></html>");
        Write(tree / "other.txt", "nothing to see");
        Write(tree / "sub" / "deep.txt", "a brown bear");
        // The settings the program reads are this test's own.
        setenv("XDG_CONFIG_HOME", (root / "config").c_str(), 1);
        setenv("HOME", root.c_str(), 1);
    }
    void TearDown() override { fs::remove_all(root); }

    static void Write(const fs::path& p, const std::string& text) { std::ofstream(p, std::ios::binary) << text; }

    static ProcessResult Run(std::vector<std::string> args, const SignalPlan& plan = {})
    {
        args.insert(args.begin(), std::string(VARNEL_BIN_DIR) + "/varnel-find");
        return RunProcess(args, plan);
    }

    fs::path root, tree;
};

}  // namespace

// Matches are printed with their degree in search order, the log goes to
// standard error; the exit status says found (0), nothing found (1) or
// could not search (2, with the panel's message, and never "finished").
TEST_F(VarnelFindTest, OutputAndExitStatusOfEachOutcome)
{
    const std::string t = tree.string();
    const struct {
        std::vector<std::string> args;
        int status;
        std::vector<std::string> out;
        std::string log;  // what the log holds
    } cases[] = {
        {{"-k", "lazy", "-k", "fox", "--text", "--htm", t}, 0,
         {"100%\t" + t + "/notes.txt", "100%\t" + t + "/page.htm"}, LoadString(IDS_SEARCH_FINISHED)},
        {{"-k", "brown", "-k", "bear", "-k", "cat", "--text", "-r", t}, 0,
         {"33%\t" + t + "/notes.txt", "66%\t" + t + "/sub/deep.txt"}, LoadString(IDS_SEARCH_FINISHED)},
        {{"-k", "needle", "--htm", t}, 1, {}, LoadString(IDS_SEARCH_FINISHED)},  // script text is not found
        {{"-k", "zebra", "--text", "--htm", t}, 1, {}, LoadString(IDS_SEARCH_FINISHED)},
        {{"--text", t}, 2, {}, LoadString(IDS_NO_KEYWORD)},
        {{"-k", "fox", "--text"}, 2, {}, LoadString(IDS_NO_FOLDER)},
        // No category option and nothing saved: the defaults choose none.
        {{"-k", "fox", t}, 2, {}, LoadString(IDS_NO_FILE_TYPE)},
        // A missing folder is a usage error before anything is searched.
        {{"-k", "fox", "--text", t, (root / "typo").string()}, 2, {}, (root / "typo").string()},
    };
    for (const auto& c : cases) {
        const ProcessResult r = Run(c.args);
        EXPECT_EQ(r.status, c.status) << c.args[1] << "\n" << r.err;
        EXPECT_EQ(Lines(r.out), c.out) << c.args[1];
        EXPECT_NE(r.err.find(c.log), std::string::npos) << c.args[1];
        EXPECT_EQ(r.err.find(LoadString(IDS_SEARCH_FINISHED)) != std::string::npos, c.status != 2) << c.args[1];
        if (&c == cases) {
            EXPECT_EQ(Lines(r.err), (std::vector<std::string>{LoadString(IDS_INITIALIZATION), LoadString(IDS_ANALYZE_KEYWORDS),
                                                              LoadString(IDS_SEARCH_SELECTED_DIRS),
                                                              LoadString(IDS_OFFICE_2003), c.log}));
        }
    }
}

TEST_F(VarnelFindTest, KeywordFileIsCheckedLikeThePanelText)
{
    std::string many;
    for (int i = 0; i < 257; ++i) many += "k" + std::to_string(i) + "\n";
    Write(root / "many.txt", many);
    Write(root / "two.txt", "fox\n\nbear\n");
    EXPECT_EQ(Lines(Run({"-K", (root / "two.txt").string(), "--text", "-r", tree.string()}).out).size(), 2u);
    const ProcessResult r = Run({"-K", (root / "many.txt").string(), "--text", tree.string()});
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(Lines(r.err), (std::vector<std::string>{LoadString(IDS_TOO_MANY_KEYWORDS),
                                                      LoadString(IDS_SEARCH_SELECTED_DIRS), LoadString(IDS_NO_KEYWORD)}));
}

TEST_F(VarnelFindTest, SavedSettingsApplyWithoutOptions)
{
    fs::create_directories(root / "config" / "Varnel");
    Write(root / "config" / "Varnel" / "user.reg",
          "Windows Registry Editor Version 5.00\r\n\r\n"
          "[HKEY_CURRENT_USER\\SOFTWARE\\Varnel\\Option]\r\n"
          "\"TextFile\"=dword:00000001\r\n"
          "\"MatchCase\"=dword:00000001\r\n");
    EXPECT_EQ(Run({"-k", "Quick", tree.string()}).status, 1);  // match case is on: "quick" is not "Quick"
    EXPECT_EQ(Lines(Run({"-k", "quick", tree.string()}).out), std::vector<std::string>{"100%\t" + (tree / "notes.txt").string()});
    // A match option replaces the saved match switches.
    EXPECT_EQ(Run({"-k", "Quick", "--whole-word", tree.string()}).status, 0);
}

TEST_F(VarnelFindTest, ExtractPrintsWhatTheReaderSeesAndHelpAndUsage)
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

    EXPECT_EQ(Run({"--no-such-option"}).status, 2);
    r = Run({"--help"});
    EXPECT_EQ(r.status, 0);
    EXPECT_NE(r.out.find("varnel-find [options] FOLDER..."), std::string::npos);
}

TEST_F(VarnelFindTest, SearchesRealDocumentsOfEveryKind)
{
    const fs::path data = VARNEL_TEST_DATA;
    fs::path docs = root / "docs";
    fs::create_directories(docs / "old.doc");  // a folder named like a document
    for (const char* name : {"fmt-stories.doc", "fmt-stories.docx", "fmt-stories.rtf", "fmt-stories.dot",
                             "FMT-UPPER.DOC", "fmt-rtfinside.doc"})
        fs::copy_file(data / "word" / name, docs / name);
    for (const char* name : {"book.xls", "book.xlsx"}) fs::copy_file(data / "excel" / name, docs / name);
    Write(docs / "~$fmt-stories.doc", "owner file: Footnoteword");
    Write(docs / "ruined.doc", std::string("\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1", 8) + std::string(600, '\x7F'));

    // A footnote word and a hidden-sheet value, one of which each kind holds.
    const ProcessResult r =
        Run({"-k", "Footnoteword", "-k", "secret hidden value", "--word", "--excel", docs.string()});
    EXPECT_EQ(r.status, 0) << r.err;
    std::vector<std::string> expected;
    // Files in name order, without regard to case; the template is not
    // among them, since *.doc does not find .dot.
    for (const char* name :
         {"fmt-rtfinside.doc", "fmt-stories.doc", "fmt-stories.docx", "FMT-UPPER.DOC", "book.xls", "book.xlsx"})
        expected.push_back("50%\t" + (docs / name).string());
    EXPECT_EQ(Lines(r.out), expected);

    for (const char* ruined : {"old.doc", "ruined.doc"})
        EXPECT_NE(r.err.find("\n" + (docs / ruined).string() + LoadString(IDS_FILE_RUINED) + "\n"), std::string::npos);
    EXPECT_EQ(r.err.find("~$"), std::string::npos);
    // The .rtf is not found through any of the masks.
    EXPECT_EQ(r.out.find("fmt-stories.rtf"), std::string::npos);
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
    for (const auto& [sig, status] : {std::pair{SIGINT, 130}, std::pair{SIGTERM, 143}}) {
        SCOPED_TRACE(sig);
        // Once the driver has started Word, the large document is the first
        // thing it opens.
        const ProcessResult r = Run({"-k", "needle", "--sounds-like", "--word", "--text", docs.string()},
                                    SignalPlan{sig, LoadString(IDS_OFFICE_2003), std::chrono::milliseconds(300)});
        ASSERT_TRUE(r.signalled) << r.err;
        EXPECT_EQ(r.status, status) << r.err;
        EXPECT_LT(r.msFromSignalToExit, 2000.0);
        // Nothing printed, no line for the file left in the middle; the
        // run ended as after Stop.
        EXPECT_TRUE(r.out.empty()) << r.out;
        EXPECT_EQ(Lines(r.err).back(), LoadString(IDS_SEARCH_FINISHED));
        EXPECT_EQ(r.err.find("a-large.doc"), std::string::npos) << r.err;
    }
}
