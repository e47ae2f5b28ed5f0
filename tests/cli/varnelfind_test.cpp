// varnel-find end to end: the real program, the built-in Office and a
// fixture tree, checked through standard output, standard error and the
// exit status: options, messages, --extract, --matches and --json, saved
// settings, real documents and signals.
#include "platform/stringtable.h"
#include "support/runprocess.h"
#include "tests/office/docfixture.h"
#include "tests/platform/support/tempdir.h"

#include <gtest/gtest.h>

#include <unistd.h>
#include <csignal>
#include <filesystem>

namespace fs = std::filesystem;
using namespace std::string_literals;

namespace {

class VarnelFindTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        tree = root / "tree";
        tmp.Write("tree/notes.txt", "The quick brown fox\njumps over the\tlazy dog.\n");
        tmp.Write("tree/page.htm",
                  "<html><head><title>Fox report</title></head><body><p>A lazy afternoon</p>"
                  "<script>var needle = 1;</script></body></html>");
        tmp.Write("tree/other.txt", "nothing to see");
        tmp.Write("tree/sub/deep.txt", "a brown bear");
        // Names a shell script trips on, hidden files, a folder to leave out.
        for (const char* name : {"new\nline.txt", "-dash.txt", ".hidden.txt", ".hdir/hid.txt", "old/o.txt"})
            tmp.Write(fs::path("tree") / name, "fox");
        // The settings the program reads are this test's own.
        setenv("XDG_CONFIG_HOME", (root / "config").c_str(), 1);
        setenv("HOME", root.c_str(), 1);
    }

    static ProcessResult Run(std::vector<std::string> args, const SignalPlan& plan = {}, const RunPlace& place = {})
    {
        args.insert(args.begin(), std::string(VARNEL_BIN_DIR) + "/varnel-find");
        return RunProcess(args, plan, place);
    }
    // Run in the fixture tree, as a person in a shell would.
    ProcessResult RunInTree(std::vector<std::string> args, const std::string& input = {})
    {
        return Run(std::move(args), {}, {tree.string(), input.empty() ? "" : tmp.Write("stdin.txt", input).string()});
    }

    TempDir tmp{"varnel-find"};
    fs::path root = tmp.Path(), tree;
};

}  // namespace

// Each option's effect on what is printed and on standard error, run in the
// tree with paths as a person types them; both are compared whole, record
// separators and all. By default standard error holds only files that could
// not be searched and errors that stop the search; -s hides the former, -v
// shows the whole log; usage errors are one line and a pointer to --help.
TEST_F(VarnelFindTest, OptionsMessagesAndExitStatus)
{
    const std::string fox3 = "100%\t-dash.txt\n100%\tnew\nline.txt\n100%\tnotes.txt\n";
    const std::string nowhere = "varnel-find: nowhere: No such file or directory\n";
    tmp.Write("bad/ruined.doc", std::string("\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1", 8) + std::string(600, '\x7F'));
    tmp.Write("bad/good.txt", "fox");
    const std::string good = "100%\t../bad/good.txt\n", ruined = "../bad/ruined.doc" + LoadString(IDS_FILE_RUINED) + "\n";
    const std::string log = LoadString(IDS_INITIALIZATION) + "\n" + LoadString(IDS_ANALYZE_KEYWORDS) + "\n" +
                            LoadString(IDS_SEARCH_SELECTED_DIRS) + "\n" + LoadString(IDS_OFFICE_2003) + "\n";
    const std::string finished = LoadString(IDS_SEARCH_FINISHED) + "\n";
    const std::string tryHelp = "Try 'varnel-find --help' for more information.\n";
    std::string many;  // one keyword more than the panel takes
    for (int i = 0; i < 257; ++i) many += "k" + std::to_string(i) + "\n";
    tmp.Write("many.txt", many);
    tmp.Write("garbage.doc", std::string("\x01\x02\x03\x00\x00\x05\x06\x07", 8) + std::string(200, '\x02'));
    tmp.Write("utf.txt", "caf\xC3\xA9 lazy");
    // A folder whose full path does not fit the driver's record.
    const std::string deep = "../" + std::string(200, 'd') + "/" + std::string(100, 'e');
    fs::create_directories(tree / deep);
    const std::string data = VARNEL_TEST_DATA;
    const std::string utfJson =
        "{\"path\":\"../utf.txt\",\"degree\":50,\"keywords\":[{\"keyword\":\"lazy\",\"found\":"
        "true,\"hits\":[{\"place\":\"Main text, paragraph 1\",\"snippet\":\"caf\xC3\xA9 lazy\","
        "\"hit\":[5,9]}]},{\"keyword\":\"absent\",\"found\":false,\"hits\":[]}]}\n";
    const std::string tabbedMatch = "100%\tnotes.txt\n\tthe lazy\tMain text, paragraph 2\tjumps over the lazy dog.\n";
    const std::string book = data + "/excel/book.xlsx";
    const std::string secret = "50%\t" + book + "\n\tsecret\tBeta!A1 (hidden sheet)\tsecret hidden value\n";
    // Real documents of every kind, a folder named like a document and a
    // ruined one: in name order without regard to case; neither the
    // template (*.doc does not find .dot) nor the .rtf is found.
    fs::create_directories(root / "docs" / "old.doc");
    for (const char* name : {"fmt-stories.doc", "fmt-stories.docx", "fmt-stories.rtf", "fmt-stories.dot",
                             "FMT-UPPER.DOC", "fmt-rtfinside.doc"})
        fs::copy_file(fs::path(data) / "word" / name, root / "docs" / name);
    for (const char* name : {"book.xls", "book.xlsx"})
        fs::copy_file(fs::path(data) / "excel" / name, root / "docs" / name);
    tmp.Write("docs/~$fmt-stories.doc", "owner file: Footnoteword");
    tmp.Write("docs/ruined.doc", std::string("\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1", 8) + std::string(600, '\x7F'));
    std::string everyKind;
    for (const char* name :
         {"fmt-rtfinside.doc", "fmt-stories.doc", "fmt-stories.docx", "FMT-UPPER.DOC", "book.xls", "book.xlsx"})
        everyKind += "50%\t../docs/" + std::string(name) + "\n";
    const std::string docsRuined =
        "../docs/old.doc" + LoadString(IDS_FILE_RUINED) + "\n../docs/ruined.doc" + LoadString(IDS_FILE_RUINED) + "\n";
    const std::string sheets =
        "[First]\nInvoice number\t4711\n\t3/1/2024\tcomputed text\tTRUE\nBold and plain\n"
        "[Hidden one]\nvery hidden treasure\n[Third]\nInvoice total\n";
    const struct {
        std::vector<std::string> args;
        int status;
        std::string out, err = {};
        std::string input = {};  // standard input
    } cases[] = {
        // No operand: the current folder, names without "./"; no category
        // saved: all four (the page's title holds "Fox"); hidden files skipped.
        {{"-k", "fox"}, 0, fox3 + "100%\tpage.htm\n"},
        {{"-k", "fox", "--text", "."}, 0, "100%\t./-dash.txt\n100%\t./new\nline.txt\n100%\t./notes.txt\n"},
        {{"-rlk", "bear", "../tree/"}, 0, "../tree/sub/deep.txt\n"},
        {{"--text", "-r0lk", "brown", "."}, 0, "./notes.txt\0./sub/deep.txt\0"s},
        // Files as operands, overlapping ones once, as first written.
        {{"-k", "fox", "--text", "--", "-dash.txt", "./notes.txt", "notes.txt", "."},
         0,
         "100%\t-dash.txt\n100%\t./new\nline.txt\n100%\t./notes.txt\n"},
        {{"-rk", "fox", "--text", "--hidden", "-g", "*d*"},
         0,
         "100%\t-dash.txt\n100%\t.hidden.txt\n100%\t.hdir/hid.txt\n"},
        {{"-rk", "fox", "--text", "-g", "!n*", "--exclude-dir=s*"}, 0, "100%\t-dash.txt\n100%\told/o.txt\n"},
        {{"-k", "fox", "--absolute", "notes.txt", "sub"}, 0, "100%\t" + (tree / "notes.txt").string() + "\n"},
        {{"-k", "lazy", "--color=always", "notes.txt"}, 0, "\033[32m100%\033[0m\t\033[35mnotes.txt\033[0m\n"},
        {{"-k", "lazy", "--color=auto", "notes.txt"}, 0, "100%\tnotes.txt\n"},  // not a terminal
        // Each match option reaches the search, and the report lines follow it.
        {{"-k", "brawn", "--sounds-like", "notes.txt"}, 0, "100%\tnotes.txt\n"},
        {{"-k", "qu?ck", "--wildcards", "notes.txt"}, 0, "100%\tnotes.txt\n"},
        {{"--matches", "--no-clear-series-space", "-k", "the\tlazy", "notes.txt"}, 0, tabbedMatch},
        {{"--matches", "-lk", "lazy", "notes.txt"}, 0, "notes.txt\n"},
        {{"--matches", "--excel", "-k", "absent", "-k", "secret", book}, 0, secret},
        {{"--json", "-k", "lazy", "-k", "absent", "../utf.txt"}, 0, utfJson},  // hit counted in characters
        {{"-rk", "lazy", "-k", "bear", "--text"}, 0, "50%\tnotes.txt\n50%\tsub/deep.txt\n"},
        {{"-rK", "-", "--text"}, 0, "50%\tsub/deep.txt\n", "", "zebra\nbear\n"},
        {{"-rqk", "fox"}, 0, ""},
        {{"-qk", "zebra"}, 1, ""},
        {{"-k", "needle", "--htm"}, 1, ""},  // script text is not found
        {{"-k", "fox", "nowhere", "notes.txt"}, 2, "100%\tnotes.txt\n", nowhere},
        {{"-qk", "fox", "nowhere", "notes.txt"}, 0, "", nowhere},
        {{"-k", "fox", "nowhere"}, 2, "", nowhere},
        {{"-k", "fox", deep, "notes.txt"}, 2, "100%\tnotes.txt\n", deep + LoadString(IDS_PATH_TOO_LONG) + "\n"},
        {{"-k", "fox", "../bad"}, 2, good, ruined},
        {{"-sk", "fox", "../bad", "nowhere"}, 2, good},
        {{"-qk", "fox", "../bad"}, 0, "", ruined},  // -q: a match wins over the error
        {{"-vk", "fox", "--text", "sub"}, 1, "", log + finished},
        {{"-vk", "fox", "../bad"}, 2, good, log + ruined + finished},
        {{"-k", "Footnoteword", "-k", "secret hidden value", "--word", "--excel", "../docs"}, 2, everyKind, docsRuined},
        {{"--text"}, 2, "", LoadString(IDS_NO_KEYWORD) + "\n"},
        {{"-K", "../many.txt"}, 2, "", LoadString(IDS_TOO_MANY_KEYWORDS) + "\n" + LoadString(IDS_NO_KEYWORD) + "\n"},
        {{"-K", "../none.txt"}, 2, "", "varnel-find: ../none.txt: cannot open file: No such file or directory\n"},
        {{"-k", "fox", "--htm", "--bogus"}, 2, "", "varnel-find: unrecognized option '--bogus'\n" + tryHelp},
        // What the reader sees (no script text), or the path and the reader's reason.
        {{"--extract", "page.htm"}, 0, "A lazy afternoon\nFox report\n"},
        {{"--extract", "../garbage.doc"}, 2, "", "../garbage.doc: binary data: not a text file\n"},
        {{"--extract", data + "/excel/xml2003.xls"}, 0, sheets},
    };
    for (const auto& c : cases) {
        const std::string shown = ::testing::PrintToString(c.args);
        const ProcessResult r = RunInTree(c.args, c.input);
        EXPECT_EQ(r.status, c.status) << shown << "\n" << r.err;
        EXPECT_EQ(r.out, c.out) << shown;
        EXPECT_EQ(r.err, c.err) << shown;
    }
    // A table's cell ends read as tabs.
    const ProcessResult r = Run({"--extract", data + "/word/fmt-stories.docx"});
    EXPECT_NE(r.out.find("\nCellone\tCelltwo\t\tCellthree\t"), std::string::npos) << r.out;
}

// The window's saved switches apply when no option of their group is given,
// and varnel-find never writes the settings file, nor makes one.
TEST_F(VarnelFindTest, SavedSettingsAreOnlyRead)
{
    const fs::path config = root / "config";
    EXPECT_EQ(Run({"-k", "fox", tree.string()}).status, 0);
    EXPECT_FALSE(fs::exists(config)) << "a run without settings made " << config;

    const std::string saved = "Windows Registry Editor Version 5.00\r\n\r\n"
                              "[HKEY_CURRENT_USER\\SOFTWARE\\Varnel\\Option]\r\n"
                              "\"TextFile\"=dword:00000001\r\n"
                              "\"MatchCase\"=dword:00000001\r\n";
    tmp.Write("config/Varnel/user.reg", saved);
    fs::permissions(config / "Varnel" / "user.reg", fs::perms::owner_read);
    EXPECT_EQ(Run({"-k", "Quick", tree.string()}).status, 1);  // match case is on: "quick" is not "Quick"
    // Only the text files: the page's "Fox" is not searched.
    EXPECT_EQ(Run({"-lk", "Fox", tree.string()}).status, 1);
    EXPECT_EQ(Lines(Run({"-k", "quick", tree.string()}).out), std::vector<std::string>{"100%\t" + (tree / "notes.txt").string()});
    // A match option replaces the saved match switches.
    EXPECT_EQ(Run({"-k", "Quick", "--whole-word", tree.string()}).status, 0);
    EXPECT_EQ(FileText(config / "Varnel" / "user.reg"), saved);
    EXPECT_EQ(std::distance(fs::directory_iterator(config / "Varnel"), fs::directory_iterator()), 1);
}

TEST_F(VarnelFindTest, SignalsInTheMiddleOfAFileStopCleanlyWithTheShellsStatus)
{
    // A Word document of 64 MB of text whose only keyword is at its very
    // end, searched word by word (sounds like), then a small file: both
    // would be printed if the search went on.
    const fs::path docs = root / "large";
    {
        std::string text;
        while (text.size() < (std::size_t{64} << 20)) text += "the quarterly figures of the northern region\r";
        text += "needle\r";
        const docbin::Bytes file = docbin::Word97Of(std::u16string(text.begin(), text.end()));
        tmp.Write("large/a-large.doc", std::string(file.begin(), file.end()));
    }
    tmp.Write("large/b.txt", "needle");
    for (const auto& [sig, status] : {std::pair{SIGINT, 130}, std::pair{SIGTERM, 143}}) {
        SCOPED_TRACE(sig);
        // Once the driver has started Word, the large document is the first
        // thing it opens.
        const ProcessResult r = Run({"-v", "-k", "needle", "--sounds-like", "--word", "--text", docs.string()},
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
