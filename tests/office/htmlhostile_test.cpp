// Web pages crafted against the reader: tags with tens of thousands of
// attributes, hundreds of thousands of unclosed or nested elements, end
// tags that match nothing. Each must be read in time proportional to its
// size and keep the text that stands after its hostile part. Also the
// reader's own paths that only such pages take, checked against the plain
// path on pages where both apply. (The stop: stopinengine_test.)
#include "office/containers/htmltagfilter.h"
#include "office/word/htmlreader.h"
#include "office/word/wordloader.h"
#include "support/hostilehtml.h"

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

namespace office {
namespace {

struct Read {
    bool ok = false;
    ReadError error;
    std::u16string main;
    std::u16string title;
    double seconds = 0;
};

Read ReadPage(const std::string& html, const HtmlReadLimits* limits = nullptr)
{
    Read r;
    WordContent content;
    const ByteView bytes(reinterpret_cast<const std::uint8_t*>(html.data()), html.size());
    const auto start = std::chrono::steady_clock::now();
    r.ok = limits != nullptr ? ReadHtml(bytes, content, r.error, *limits) : LoadWordContent(bytes, content, r.error);
    r.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    for (const Story& story : content.stories) (story.kind == StoryKind::Title ? r.title : r.main) = story.text;
    return r;
}

// The reader's own paths that only hostile pages take must read as the
// plain path does.
void ExpectSameText(const std::string& page, const HtmlReadLimits& plain, const HtmlReadLimits& other)
{
    const Read a = ReadPage(page, &plain);
    const Read b = ReadPage(page, &other);
    ASSERT_TRUE(a.ok && b.ok) << page;
    EXPECT_EQ(b.main, a.main) << page;
    EXPECT_EQ(b.title, a.title) << page;
}

// A generous bound, linear in the page: a second of slack for a loaded
// machine and a sanitizer build, and 2 microseconds a byte. An ordinary page
// reads at well under a tenth of that; the quadratic costs these pages
// provoke take many times longer.
double Bound(std::size_t bytes) { return 1.0 + 2e-6 * static_cast<double>(bytes); }

TEST(HtmlHostile, CraftedPagesReadInLinearTimeAndKeepTheWordAfter)
{
    using namespace hostile;
    for (const HostilePage& page : {ManyAttributes(40000), NestedFonts(400), Unclosed("div", 100000), Unclosed("b", 100000),
                                    DeepTables(20000), StrayEndTags(50000), RepeatedBody(50000), BlockedEndTags(50000)}) {
        // The faster of two reads, so that one stall of a busy machine does
        // not decide.
        Read r = ReadPage(page.html);
        if (r.seconds > Bound(page.html.size())) r = ReadPage(page.html);
        ASSERT_TRUE(r.ok) << page.name << ": " << r.error;
        EXPECT_NE(r.main.find(std::u16string(page.word.begin(), page.word.end())), std::u16string::npos) << page.name;
        EXPECT_LT(r.seconds, Bound(page.html.size())) << page.name << ", " << page.html.size() << " bytes";
    }
}

// Pages that nest past the parser's depth, read with that depth lowered
// to a few elements: the restarts must not change the text, its
// paragraphs, cells, line breaks or preformatted spacing.
TEST(HtmlHostile, RestartedParserReadsLikeOneRun)
{
    std::string nested, closing;
    for (int i = 0; i < 12; ++i) {
        nested += "<div class=d" + std::to_string(i) + "><span>s" + std::to_string(i) + " ";
        closing += "</span>after" + std::to_string(i) + "</div>";
    }
    const std::vector<std::string> pages = {
        "<html><head><title>The  title</title></head><body>" + nested + "deep" + closing + "<p>end</p></body></html>",
        "<html><body><table><tr><td>" + nested + "<table><tr><td>inner</td><td>cell</td></tr></table>" + closing +
            "</td><td>next</td></tr></table>tail</body></html>",
        "<html><body><pre>keep   " + nested + "these\n  spaces" + closing + "</pre>after pre</body></html>",
        "<html><body><ul><li>" + nested + "one<br>two" + closing + "<li>second</ul><p>x</body></html>",
        "<html><body>" + nested + "<b>" + nested + "two levels" + closing + "</b>" + closing + "done</body></html>",
        "<div><div><div><div><div><div>a<td/>b</div></div></div></div></div></div><p>end</p>",  // "/>" at a restart
    };
    HtmlReadLimits shallow;
    shallow.parserDepth = 8;
    for (const std::string& page : pages) ExpectSameText(page, HtmlReadLimits{}, shallow);
}

// Tags whose attributes the reader renames before parsing must read as
// they would unrenamed, whatever markup surrounds them.
TEST(HtmlHostile, RenamedAttributesChangeNothingRead)
{
    const std::vector<std::string> pages = {
        "<html><body><p a=1 b='2' c=\"3\" d e=f>text</p><p x=\">\" y>more</p></body></html>",
        "<p a b c hidden>secret</p><p a b c d>shown</p>",
        "<script>var s = '<p a b c d e f>';</script><p q r s t>after script</p>",
        "<style>p a b c d {}</style><!-- <p a b c d> --><p a b c d>after comment</p>",
        "<!DOCTYPE html SYSTEM \"a>b\"><p a b c d>after doctype</p><? pi a b c d ><p a b>x</p>",
        "<p a=\"unterminated b c d>text after e f g",
        "<b><script>a</b><!-- </script><p x1 x2 x3 x4 a=\"--> visible\" y1 y2 y3>tail",
        "<body a b c d>in body<body e f g h>second body tag<html i j k>x</html>",
        "<p " + std::string(150, 'n') + " a b c>long name</p>",
        // Found by the fuzz target: renaming "x4jips--" whole took the "--"
        // of the "-->" that ends the comment the parser was reading.
        "<b><script>a</b><!-- </script><p x1 x2 x3 x4jips--> v1sible\" y1 y2 y\xFF\xFF\xFF\xFF" "3>tail",
        "<!-- <p a b c d" + std::string(97, 'e') + "--> shown -->after",
        "<p a=b c--=\"x y>z\" d e>inside</p>",
    };
    HtmlReadLimits renameAll, renameNone;
    renameAll.keptAttributes = 0;
    renameNone.keptAttributes = static_cast<std::size_t>(-1);
    for (const std::string& page : pages) ExpectSameText(page, renameNone, renameAll);
    // Comments and script text end where the parser ends them, so that a
    // crowded tag after them is still renamed and costs no quadratic time.
    for (const std::string before : {"<!-- a --!>", "<!-- b -->", "<script>a</1</script>"}) {
        std::string changed;
        EXPECT_EQ(HtmlTagFilter::Apply(before + "<p a b>", changed, 0, {}).size(), 1u) << before;
    }
}

}  // namespace
}  // namespace office
