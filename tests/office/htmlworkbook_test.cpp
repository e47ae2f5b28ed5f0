// Web pages opened as workbooks (an ".xls" that is an HTML table): rows and
// cells as Excel lays them out, and the page's charset; pages nested past
// the parser's depth or with their attributes renamed read as the plain
// path reads them; the text held beside the workbook is charged to the
// budget. Crafted pages are in hostilexls_test, the stop in xlsstop_test.
#include "office/excel/workbookloader.h"
#include "office/excel/xlstextreader.h"
#include "platform/codepage.h"
#include "support/excelbooks.h"

#include <gtest/gtest.h>

#include <functional>
#include <random>
#include <string>
#include <vector>

using office::ReadError;
using office::ReadErrorKind;

namespace office {
namespace {

using excelfixtures::kGivenName;
using excelfixtures::LoadOk;
using excelfixtures::Refusal;
using excelfixtures::Utf16;

// The page read by the web page reader itself, with the parser's limits.
Workbook ReadWith(const std::string& page, const HtmlReadLimits& limits)
{
    WorkbookBuilder builder;
    ReadError error;
    EXPECT_TRUE(XlsTextReader::ReadHtml(page, u"Page", builder, error, limits)) << error << page;
    return builder.Finish();
}

// Every cell of the first sheet as "row,column=shown" in UTF-8, in sheet order.
std::string Grid(const Workbook& book)
{
    std::string out;
    if (book.sheets.empty()) return "<no sheet>";
    for (const Cell& c : book.sheets[0].cells)
        out += std::to_string(c.row) + "," + std::to_string(c.column) + "=" + Utf16ToUtf8(book.Text(c.shown)) + ";";
    return out;
}

struct PageCase {
    const char* what;
    std::string page;
    std::string grid;
};

TEST(HtmlWorkbook, TableRowsCellsAndCharsetAsExcelReadsThem)
{
    const std::string table = "<table><tr><td>";
    const std::string end = "</td></tr></table>";
    const std::vector<PageCase> cases = {
        {"plain table, typed cells",
         "<html><body><table><tr><th>Article</th><th>Price</th></tr>"
         "<tr><td>Garden &amp; hose</td><td> 12.50 </td></tr><tr><td>TRUE</td><td>1e3</td></tr></table></body></html>",
         "0,0=Article;0,1=Price;1,0=Garden & hose;1,1=12.5;2,0=TRUE;2,1=1000;"},
        {"colspan moves the next cell; odd values span one, huge ones a thousand",
         "<table><tr><td colspan=2>wide</td><td>c</td></tr><tr><td colspan=0>z</td><td colspan=x>y</td>"
         "<td colspan=\"2px\">p</td><td colspan=99999>h</td><td>last</td></tr></table>",
         "0,0=wide;0,2=c;1,0=z;1,1=y;1,2=p;1,4=h;1,1004=last;"},
        {"a nested table is text of its cell, not rows of its own",
         "<table><tr><td>outer</td><td><table><tr><td>in1</td><td>in2</td></tr><tr><td>in3</td></tr></table>tail"
         "</td></tr><tr><td>second</td></tr></table>",
         "0,0=outer;0,1=in1in2in3tail;1,0=second;"},
        {"sections, captions and unclosed rows and cells",
         "<TABLE><CAPTION>cap</CAPTION><THEAD><TR><TH>A<TH>B</THEAD><TBODY><TR><TD>1<TD>2<TR><TD>3</TBODY>"
         "<TFOOT><TR><TD>f</TFOOT></TABLE>",
         "0,0=A;0,1=B;1,0=1;1,1=2;2,0=3;3,0=f;"},
        {"white space folds, line breaks join, text outside cells is not a cell",
         "<table><tr>junk<td>  Total<br>\n<br>Amount&nbsp; </td><td><b>bold</b> <i>it</i></td></tr></table>"
         "<p>after the table</p>",
         "0,0=Total Amount;0,1=bold it;"},
        {"a script in a cell runs to its own end tag",
         "<table><tr><td>a<script>var s=\"<td>x</td>\";</script>b</td><td>c</td></tr></table>",
         "0,0=avar s=\"<td>x</td>\";b;0,1=c;"},
        {"cells outside rows are not read; rows outside tables are",
         "<body><td>lonely</td><tr><td>row one</td></tr><table><td>no row</td></table><table><tr><td>row two"
         "</td></tr></table></body>",
         "0,0=row one;1,0=row two;"},
        {"empty rows count",
         "<table><tr></tr><tr><td></td></tr><tr><td>third</td></tr></table>", "2,0=third;"},
        {"a page without rows gives its lines",
         "<html><head><title>T</title></head><body><h1>Heading</h1>\n<p>first  line</p>\n12.5\n\n<div>x<br>y</div>"
         "</body></html>",
         "0,0=THeading;1,0=first line;2,0=12.5;3,0=xy;"},
        // The charset as declared or as the bytes say.
        {"declared windows-1251",
         "<html><head><meta http-equiv=\"Content-Type\" content=\"text/html; charset=windows-1251\"></head><body>" +
             table + "\xCF\xF0\xE8\xE2\xE5\xF2" + end,
         "0,0=\xD0\x9F\xD1\x80\xD0\xB8\xD0\xB2\xD0\xB5\xD1\x82;"},
        {"declared Latin-1 reads as Windows-1252",
         "<meta charset=\"iso-8859-1\">" + table + "Gr\xFC\xDF \x93q\x94" + end,
         "0,0=Gr\xC3\xBC\xC3\x9F \xE2\x80\x9Cq\xE2\x80\x9D;"},
        {"undeclared and no UTF-8: Windows-1252", "<html>" + table + "Gr\xFC\xDF" "e \x80" + end,
         "0,0=Gr\xC3\xBC\xC3\x9F" "e \xE2\x82\xAC;"},
        {"UTF-8 with a mark", "\xEF\xBB\xBF<html>" + table + "Stra\xC3\x9F" "e" + end, "0,0=Stra\xC3\x9F" "e;"},
        {"a zero byte reads as a space", std::string("<html>") + table + std::string("a\0b", 3) + end, "0,0=a b;"},
    };
    for (const PageCase& c : cases) {
        const Workbook book = LoadOk(c.page);
        ASSERT_EQ(book.sheets.size(), 1u) << c.what;
        EXPECT_EQ(book.sheets[0].name, kGivenName);
        EXPECT_EQ(Grid(book), c.grid) << c.what;
    }
    // A zero byte between tags is a space too: the cell after it is kept.
    EXPECT_EQ(Grid(LoadOk(table + std::string("a</td>\0<td>b", 12) + end)), "0,0=a;0,1=b;");
    // UTF-16 without a byte-order mark, told by its zero bytes (the marks
    // are read alike for Word's pages: wordreaders_test).
    EXPECT_EQ(Grid(LoadOk(Utf16(u"<html><table><tr><td>Stra\u00DFe</td><td>2</td></tr></table>"))),
              "0,0=Stra\xC3\x9F\x65;0,1=2;");
}

// Pages nested past the parser's depth are read with that depth lowered to
// a few elements, and pages with their attributes renamed before parsing:
// on random well-formed pages of tables and wrappers nested many levels
// deep neither changes a single cell.
TEST(HtmlWorkbook, PagesReadAlikeWhateverTheLimits)
{
    std::vector<std::string> closed;
    std::mt19937 rng(20240611);
    const auto pick = [&](std::size_t n) { return static_cast<std::size_t>(rng() % n); };
    const std::vector<std::string> wrappers = {"div", "span", "b", "p", "font", "center", "i"};
    int words = 0;
    int first = 0;  // the first word of the page being made
    std::function<std::string(int)> content;
    const auto table = [&](int depth) {
        std::string t = "<table border=1>";
        for (std::size_t r = 1 + pick(3); r > 0; --r) {
            t += "<tr>";
            for (std::size_t c = pick(4); c > 0; --c)
                t += (pick(4) == 0 ? "<td colspan=" + std::to_string(1 + pick(3)) + " a b c>" : "<td x=1>") +
                     content(depth + 1) + "</td>";
            t += "</tr>";
        }
        return t + "</table>";
    };
    content = [&](int depth) {
        std::string c;
        for (std::size_t parts = 1 + pick(3); parts > 0; --parts) {
            const std::size_t kind = pick(6);
            // Deep, but of bounded size: past a few hundred words, only words.
            if (kind < 2 || depth > 60 || words - first > 300) {
                c += "w" + std::to_string(words++) + " ";
            } else if (kind < 4) {
                const std::string& tag = wrappers[pick(wrappers.size())];
                c += "<" + tag + " k=v>" + content(depth + 1) + "</" + tag + ">";
            } else {
                c += table(depth + 1);
            }
        }
        return c;
    };
    for (int round = 0; round < 200; ++round) {
        first = words;
        closed.push_back("<html><body>" + content(0) + "</body></html>");
    }
    HtmlReadLimits plainLimits, shallow, renameAll;
    plainLimits.keptAttributes = static_cast<std::size_t>(-1);
    shallow.parserDepth = 8;
    renameAll.keptAttributes = 0;
    for (const std::string& page : closed) {
        const std::string plain = Grid(ReadWith(page, plainLimits));
        EXPECT_EQ(Grid(ReadWith(page, shallow)), plain) << page;
        EXPECT_EQ(Grid(ReadWith(page, renameAll)), plain) << page;
    }
    // An end tag of an element opened in an earlier run ends all it holds,
    // as in one run.
    const std::string ends =
        "<table><tr><td>a<div><div><div><div></table>b<table><tr><td>c<div><div><div><div></td>d<td>e</table>";
    EXPECT_EQ(Grid(ReadWith(ends, shallow)), "0,0=a;1,0=c;1,1=e;");
}

// What the reader holds of a page beside the workbook (the text of a cell
// being read) is charged to the file's budget.
TEST(HtmlWorkbook, CellTextBeyondTheBudgetIsRefusedForItsSize)
{
    std::string page = "<table><tr><td>";
    for (int i = 0; i < 400000; ++i) page += "many words in one cell ";
    page += "</td></tr></table>";
    ReadBudget small(4u << 20);
    EXPECT_EQ(Refusal(page, {.budget = &small}), ReadErrorKind::TooLarge);
    EXPECT_EQ(small.Used(), 0u);
    ReadBudget enough(256u << 20);
    EXPECT_EQ(Refusal(page, {.budget = &enough}), ReadErrorKind::None);
}

}  // namespace
}  // namespace office
