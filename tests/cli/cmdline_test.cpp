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

// What GNU tools accept, as the fields it sets; and the one-line usage
// errors naming the option.
TEST(CommandLine, AcceptsWhatGnuToolsAcceptAndNamesTheOptionInError)
{
    const struct {
        Args args;
        bool ok;
        std::string parsed;  // or the error
    } cases[] = {
        {{}, true, "|"},
        {{"-rk", "word", "docs"}, true, "k:word r | docs"},
        {{"-kVALUE", "-K-", "--keyword=a b", "--keywords-file", "list.txt"}, true, "k:VALUE K:- k:a b K:list.txt |"},
        {{"docs", "-l0qsv", "more", "-R"}, true, "r 0 l q s v | docs more"},
        {{"-r", "--", "-k", "--word"}, true, "r | -k --word"},
        {{"--excel", "--htm", "--whole-word"}, true, "cat:0E0H match:0w000_ |"},
        {{"--no-clear-series-space", "--all-word-forms", "--sounds-like"}, true, "match:000sf0 |"},
        {{"--color=never", "--color", "--colour=always"}, true, "color:always |"},
        {{"-g", "*.doc", "-g!x*", "--glob=a?", "--exclude-dir=old", "--hidden", "--absolute"},
         true,
         "abs hidden g:*.doc g:!x* g:a? x:old |"},
        {{"-j4", "--threads", "16", "--quiet", "--silent", "--no-messages"}, true, "q s j:16 |"},
        {{"-x", "a.doc", "-hV"}, true, "h V extract:a.doc |"},
        {{"--hid", "-"}, true, "hidden | -"},  // unique abbreviations, and "-" is an operand
        {{"--bogus"}, false, "unrecognized option '--bogus'"},
        {{"-rz", "docs"}, false, "invalid option -- 'z'"},
        {{"docs", "-k"}, false, "option requires an argument -- 'k'"},
        {{"-rK"}, false, "option requires an argument -- 'K'"},
        {{"--keyword"}, false, "option '--keyword' requires an argument"},
        {{"--hidden=1"}, false, "option '--hidden' doesn't allow an argument"},
        {{"--w"}, false, "unrecognized option '--w'"},  // ambiguous: --word, --whole-word, --wildcards
        {{"--color=sometimes"}, false, "invalid argument 'sometimes' for '--color' (valid: auto, always, never)"},
        {{"-j0"}, false, "invalid number of threads '0' (1 to 256)"},
        {{"-j", "2x"}, false, "invalid number of threads '2x' (1 to 256)"},
        {{"-x", ""}, false, "option '--extract' needs a file name"},
    };
    for (const auto& c : cases) {
        CCommandLine cmd;
        std::string error;
        ASSERT_EQ(ParseCommandLine(c.args, cmd, error), c.ok) << c.parsed << ": " << error;
        EXPECT_EQ(c.ok ? Describe(cmd) : error, c.parsed);
    }
}

}  // namespace
