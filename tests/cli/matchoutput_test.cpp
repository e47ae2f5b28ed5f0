// varnel-find --matches and --json end to end: the real program over a
// small tree, each output line read back as a person or jq would.
#include "support/runprocess.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <filesystem>
#include <fstream>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

TEST(MatchOutput, LinesAndJsonNameEveryKeyword)
{
    char made[] = "/tmp/varnel-matches-XXXXXX";
    ASSERT_NE(::mkdtemp(made), nullptr);
    const fs::path root = made;
    fs::create_directories(root / "tree");
    std::ofstream(root / "tree" / "notes.txt") << "The quick brown fox\njumps over the\tlazy dog.\n";
    fs::copy_file(fs::path(VARNEL_TEST_DATA) / "excel" / "book.xlsx", root / "tree" / "book.xlsx");
    setenv("XDG_CONFIG_HOME", (root / "config").c_str(), 1);
    setenv("HOME", root.c_str(), 1);
    const std::vector<std::string> common = {std::string(VARNEL_BIN_DIR) + "/varnel-find",
                                             "--text",  "--excel", "-k", "lazy", "-k", "secret", "-k", "absent",
                                             (root / "tree").string()};

    std::vector<std::string> args = common;
    args.insert(args.begin() + 1, "--matches");
    const ProcessResult lines = RunProcess(args);
    EXPECT_EQ(lines.status, 0) << lines.err;
    const std::vector<std::string> expected = {
        "33%\t" + (root / "tree" / "book.xlsx").string(),
        "\tsecret\tBeta!A1 (hidden sheet)\tsecret hidden value",
        "33%\t" + (root / "tree" / "notes.txt").string(),
        "\tlazy\tMain text, paragraph 2\tjumps over the lazy dog.",
    };
    EXPECT_EQ(Lines(lines.out), expected);

    args = common;
    args.insert(args.begin() + 1, "--json");
    const ProcessResult json = RunProcess(args);
    EXPECT_EQ(json.status, 0) << json.err;
    const std::vector<std::string> objects = Lines(json.out);
    ASSERT_EQ(objects.size(), 2u);
    const nlohmann::json text = nlohmann::json::parse(objects[1]);
    EXPECT_EQ(text["path"], (root / "tree" / "notes.txt").string());
    EXPECT_EQ(text["degree"], 33);
    ASSERT_EQ(text["keywords"].size(), 3u);
    EXPECT_EQ(text["keywords"][0]["found"], true);
    EXPECT_EQ(text["keywords"][0]["hits"][0]["hit"], nlohmann::json::array({15, 19}));
    EXPECT_EQ(text["keywords"][2]["keyword"], "absent");
    EXPECT_EQ(text["keywords"][2]["found"], false);
    EXPECT_TRUE(text["keywords"][2]["hits"].empty());
    fs::remove_all(root);
}

}  // namespace
