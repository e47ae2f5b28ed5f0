// varnel-find's command line: the GNU conventions (combined short options,
// attached values, "--", options after operands), groups that override the
// saved settings, and the one-line usage errors.
#include "cli/cmdline.h"

#include <gtest/gtest.h>

namespace {

using Args = std::vector<std::string>;

// Every field a command line can set, in one line, so each table row states
// the whole outcome and a stray side effect shows.
std::string Describe(const CCommandLine& c)
{
    std::string d;
    for (const auto& k : c.keywords) d += (k.fromFile ? "K:" : "k:") + k.value + " ";
    if (c.subfolders) d += "r ";
    if (c.categories)
        d += std::string("cat:") + "0W"[c.categories->word] + "0E"[c.categories->excel] + "0T"[c.categories->text] +
             "0H"[c.categories->htm] + " ";
    if (c.matching) {
        const auto& m = *c.matching;
        d += std::string("match:") + "0c"[m.matchCase] + "0w"[m.wholeWord] + "0*"[m.wildcards] + "0s"[m.soundsLike] +
             "0f"[m.allWordForms] + "0_"[m.clearSeriesSpace] + " ";
    }
    for (auto [on, name] : {std::pair{c.nullData, "0"}, {c.filesOnly, "l"}, {c.quiet, "q"}, {c.noMessages, "s"},
                            {c.verbose, "v"}, {c.absolute, "abs"}, {c.hidden, "hidden"}, {c.help, "h"},
                            {c.version, "V"}})
        if (on) d += std::string(name) + " ";
    if (c.color != CCommandLine::Color::Auto) d += c.color == CCommandLine::Color::Always ? "color:always " : "color:never ";
    for (const auto& g : c.globs) d += "g:" + g + " ";
    for (const auto& x : c.excludeDirs) d += "x:" + x + " ";
    if (c.threads != 0) d += "j:" + std::to_string(c.threads) + " ";
    if (!c.extractFile.empty()) d += "extract:" + c.extractFile + " ";
    d += "|";
    for (const auto& f : c.folders) d += " " + f;
    return d;
}

TEST(CommandLine, AcceptsWhatGnuToolsAccept)
{
    const struct {
        Args args;
        std::string parsed;
    } cases[] = {
        {{}, "|"},
        {{"-rk", "word", "docs"}, "k:word r | docs"},
        {{"-kVALUE", "-K-", "--keyword=a b", "--keywords-file", "list.txt"}, "k:VALUE K:- k:a b K:list.txt |"},
        {{"docs", "-l0qsv", "more", "-R"}, "r 0 l q s v | docs more"},
        {{"-r", "--", "-k", "--word"}, "r | -k --word"},
        {{"--excel", "--htm", "--whole-word"}, "cat:0E0H match:0w000_ |"},
        {{"--no-clear-series-space", "--all-word-forms", "--sounds-like"}, "match:000sf0 |"},
        {{"--color=never", "--color", "--colour=always"}, "color:always |"},
        {{"-g", "*.doc", "-g!x*", "--glob=a?", "--exclude-dir=old", "--hidden", "--absolute"},
         "abs hidden g:*.doc g:!x* g:a? x:old |"},
        {{"-j4", "--threads", "16", "--quiet", "--silent", "--no-messages"}, "q s j:16 |"},
        {{"-x", "a.doc", "-hV"}, "h V extract:a.doc |"},
        {{"--hid", "-"}, "hidden | -"},  // unique abbreviations, and "-" is an operand
    };
    for (const auto& c : cases) {
        CCommandLine cmd;
        std::string error;
        ASSERT_TRUE(ParseCommandLine(c.args, cmd, error)) << c.parsed << ": " << error;
        EXPECT_EQ(Describe(cmd), c.parsed);
    }
}

TEST(CommandLine, UsageErrorsAreOneLineNamingTheOption)
{
    const struct {
        Args args;
        std::string error;
    } cases[] = {
        {{"--bogus"}, "unrecognized option '--bogus'"},
        {{"-rz", "docs"}, "invalid option -- 'z'"},
        {{"docs", "-k"}, "option requires an argument -- 'k'"},
        {{"-rK"}, "option requires an argument -- 'K'"},
        {{"--keyword"}, "option '--keyword' requires an argument"},
        {{"--hidden=1"}, "option '--hidden' doesn't allow an argument"},
        {{"--w"}, "unrecognized option '--w'"},  // ambiguous: --word, --whole-word, --wildcards
        {{"--color=sometimes"}, "invalid argument 'sometimes' for '--color' (valid: auto, always, never)"},
        {{"-j0"}, "invalid number of threads '0' (1 to 256)"},
        {{"-j", "2x"}, "invalid number of threads '2x' (1 to 256)"},
        {{"-x", ""}, "option '--extract' needs a file name"},
    };
    for (const auto& c : cases) {
        CCommandLine cmd;
        std::string error;
        EXPECT_FALSE(ParseCommandLine(c.args, cmd, error)) << c.error;
        EXPECT_EQ(error, c.error);
    }
}

}  // namespace
