// Web pages opened as workbooks (an ".xls" that is an HTML table): rows and
// cells as Excel lays them out, the page's charset, and pages crafted
// against the reader (tens of thousands of attributes on one cell, hundreds
// of nested tables, a hundred thousand unclosed tags), each of which must be
// read in time proportional to its size and keep the cell after its hostile
// part. Also the reader's own paths that only such pages take, held against
// the plain path on pages where both apply, its budget and the stop request.
#include "office/excel/workbookloader.h"
#include "office/excel/xlstextreader.h"
#include "platform/cancellation.h"
#include "platform/codepage.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <functional>
#include <random>
#include <string>
#include <thread>
#include <vector>

namespace office {
namespace {

using Clock = std::chrono::steady_clock;

struct Loaded {
    bool ok = false;
    std::string error;
    Workbook book;
    double seconds = 0;
};

ByteView View(const std::string& s) { return ByteView(reinterpret_cast<const std::uint8_t*>(s.data()), s.size()); }

Loaded Load(const std::string& page, ReadBudget* budget = nullptr)
{
    Loaded r;
    WorkbookLimits limits;
    limits.budget = budget;
    const auto start = Clock::now();
    r.ok = LoadWorkbookBytes(View(page), u"Page", r.book, r.error, limits);
    r.seconds = std::chrono::duration<double>(Clock::now() - start).count();
    return r;
}

// The page read by the web page reader itself, with the parser's limits.
Loaded ReadWith(const std::string& page, const HtmlReadLimits& limits)
{
    Loaded r;
    WorkbookBuilder builder;
    r.ok = XlsTextReader::ReadHtml(page, u"Page", builder, r.error, limits);
    if (r.ok) r.book = builder.Finish();
    return r;
}

// Every cell of the first sheet as "row,column=shown", in sheet order.
std::string Grid(const Workbook& book)
{
    std::string out;
    if (book.sheets.empty()) return "<no sheet>";
    for (const Cell& c : book.sheets[0].cells) {
        const std::u16string& shown = book.Text(c.shown);
        out += std::to_string(c.row) + "," + std::to_string(c.column) + "=" + std::string(shown.begin(), shown.end()) +
               ";";
    }
    return out;
}

std::string Utf8Grid(const Workbook& book)
{
    std::string out;
    if (book.sheets.empty()) return "<no sheet>";
    for (const Cell& c : book.sheets[0].cells)
        out += std::to_string(c.row) + "," + std::to_string(c.column) + "=" + Utf16ToUtf8(book.Text(c.shown)) + ";";
    return out;
}

bool AnyCellHas(const Workbook& book, std::u16string_view word)
{
    if (book.sheets.empty()) return false;
    for (const Cell& c : book.sheets[0].cells) {
        if (book.Text(c.shown).find(word) != std::u16string::npos) return true;
    }
    return false;
}

struct PageCase {
    const char* what;
    std::string page;
    std::string grid;
};

TEST(HtmlWorkbook, TableRowsAndCellsAsExcelLaysThemOut)
{
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
    };
    for (const PageCase& c : cases) {
        const Loaded r = Load(c.page);
        ASSERT_TRUE(r.ok) << c.what << ": " << r.error;
        ASSERT_EQ(r.book.sheets.size(), 1u) << c.what;
        EXPECT_EQ(r.book.sheets[0].name, u"Page");
        EXPECT_EQ(Grid(r.book), c.grid) << c.what;
    }
}

TEST(HtmlWorkbook, CharsetAsDeclaredOrAsTheBytesSay)
{
    const std::string table = "<table><tr><td>";
    const std::string end = "</td></tr></table>";
    const std::vector<PageCase> cases = {
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
        const Loaded r = Load(c.page);
        ASSERT_TRUE(r.ok) << c.what << ": " << r.error;
        EXPECT_EQ(Utf8Grid(r.book), c.grid) << c.what;
    }
    // UTF-16, with a byte-order mark or told by its zero bytes.
    std::string le;
    std::string be;
    for (const char16_t ch : std::u16string(u"<html><table><tr><td>Stra\u00DFe</td><td>2</td></tr></table>")) {
        le += static_cast<char>(ch & 0xFF);
        le += static_cast<char>(ch >> 8);
        be += static_cast<char>(ch >> 8);
        be += static_cast<char>(ch & 0xFF);
    }
    for (const std::string& page : {le, std::string("\xFF\xFE") + le, std::string("\xFE\xFF") + be}) {
        const Loaded r = ReadWith(page, HtmlReadLimits{});
        ASSERT_TRUE(r.ok) << r.error;
        EXPECT_EQ(Utf8Grid(r.book), "0,0=Stra\xC3\x9F" "e;0,1=2;");
    }
}

// A generous bound, linear in the page: a second of slack for a loaded
// machine and a sanitizer build, and 2 microseconds a byte. An ordinary page
// reads at well under a tenth of that; the quadratic costs these pages
// provoke take many times longer.
double Bound(std::size_t bytes) { return 1.0 + 2e-6 * static_cast<double>(bytes); }

std::string Repeat(const std::string& part, std::size_t times)
{
    std::string out;
    out.reserve(part.size() * times);
    for (std::size_t i = 0; i < times; ++i) out += part;
    return out;
}

const std::string kTableAfter = "<table><tr><td>before</td><td>cellafter</td></tr></table>";

struct HostileCase {
    std::string name;
    std::string page;
};

TEST(HtmlWorkbookHostile, CraftedPagesReadInLinearTimeAndKeepTheCellAfter)
{
    std::string attributes;
    for (int i = 0; i < 40000; ++i) attributes += " a" + std::to_string(i) + "=\"1\"";
    const std::vector<HostileCase> pages = {
        // The colspan after 40,000 attributes still moves the next cell.
        {"attributes-40000",
         "<html><body><table><tr><td" + attributes + " colspan=3>wide</td><td>cellafter</td></tr></table>"},
        {"tables-400", "<html><body>" + Repeat("<table><tr><td>cell ", 400) + Repeat("</td></tr></table>", 400) +
                           kTableAfter},
        {"tables-400-unclosed", "<html><body>" + Repeat("<table><tr><td>cell ", 400) + kTableAfter},
        {"unclosed-b-100000", "<html><body>" + Repeat("<b>", 100000) + kTableAfter},
        {"unclosed-div-100000", "<html><body>" + Repeat("<div>", 100000) + kTableAfter},
        {"unclosed-td-100000", "<html><body><table><tr>" + Repeat("<td><span>", 100000) + "</table>" + kTableAfter},
        {"stray-end-tags-50000", "<html><body>" + Repeat("<b>", 50000) + Repeat("</i>", 50000) + kTableAfter},
        {"repeated-body-50000", "<html><body>" + Repeat("<span>", 50000) + Repeat("<body>", 50000) + kTableAfter},
    };
    for (const HostileCase& c : pages) {
        // The faster of two reads, so that one stall of a busy machine does
        // not decide.
        Loaded r = Load(c.page);
        if (r.seconds > Bound(c.page.size())) r = Load(c.page);
        ASSERT_TRUE(r.ok) << c.name << ": " << r.error;
        EXPECT_TRUE(AnyCellHas(r.book, u"cellafter")) << c.name;
        EXPECT_LT(r.seconds, Bound(c.page.size())) << c.name << ", " << c.page.size() << " bytes";
    }
    const Loaded wide = Load(pages[0].page);
    EXPECT_EQ(Grid(wide.book), "0,0=wide;0,3=cellafter;");
    // Closed nested tables leave their text to the outermost cell, and the
    // table after them is a row of its own.
    const Loaded nested = Load(pages[1].page);
    ASSERT_EQ(nested.book.sheets[0].cells.size(), 3u);
    EXPECT_EQ(nested.book.Text(nested.book.sheets[0].cells[0].shown).size(), 400u * 5 - 1);
    EXPECT_EQ(Grid(nested.book).substr(Grid(nested.book).find(";1,")), ";1,0=before;1,1=cellafter;");
}

// Pages that nest past the parser's depth, read with that depth lowered to
// a few elements. Where every element is closed, the restarts change not a
// single cell; where the page leaves table elements open inside others, the
// parser run that no longer sees the outer elements may lay the text out
// differently, but every word is still read into a cell.
TEST(HtmlWorkbookHostile, RestartedParserReadsLikeOneRun)
{
    std::string nested;
    std::string closing;
    for (int i = 0; i < 12; ++i) {
        nested += "<div class=d" + std::to_string(i) + "><span>s" + std::to_string(i) + " ";
        closing += "</span>after" + std::to_string(i) + "</div>";
    }
    const std::vector<std::string> closed = {
        "<html><body>" + nested + "<table><tr><td>deep</td><td>cell</td></tr></table>" + closing +
            "<table><tr><td>shallow</td></tr></table></body></html>",
        "<html><body><table><tr><td>" + nested + "<table><tr><td>inner</td><td>cell</td></tr></table>" + closing +
            "</td><td>next</td></tr><tr><td>row two</td></tr></table>tail</body></html>",
        "<table><tr><td>a</td><td colspan=2>" + nested + "b" + closing + "</td><td>c</td></tr><tr><td>" + nested +
            "d" + closing + "</td><td>e</td></tr></table>",
        "<table>" + nested + "<tr><td>inside</td></tr>" + closing + "<tr><td>outside</td></tr></table>",
        "<table><tbody><tr><td><table><tbody><tr><td>" + nested + "x" + closing + "</td></tr></tbody></table>" +
            "</td><td>y</td></tr></tbody></table>",
        "<html><body>" + nested + "no table" + closing + "<p>second line</p></body></html>",
    };
    const std::vector<std::string> open = {
        "<table><tr><td>" + nested + "<tr><td>implied" + closing + "<tr><td>nextrow</table>",
        "<table><tr><td>wa<td>" + nested + "wb<td>wc" + closing + "<td>wd<tr><td>we" + nested + "<table><tr><td>wf" +
            closing + "wg</table>",
        "<table><tr><td>" + nested + "wh</td><td>wi" + closing + "</td></tr></table>",
    };
    HtmlReadLimits shallow;
    shallow.parserDepth = 8;
    for (const std::string& page : closed) {
        const Loaded plain = ReadWith(page, HtmlReadLimits{});
        const Loaded restarted = ReadWith(page, shallow);
        ASSERT_TRUE(plain.ok && restarted.ok) << page;
        EXPECT_EQ(Grid(restarted.book), Grid(plain.book)) << page;
    }
    for (const std::string& page : open) {
        const Loaded restarted = ReadWith(page, shallow);
        ASSERT_TRUE(restarted.ok) << page;
        const std::string grid = Grid(restarted.book);
        for (const char* word : {"implied", "nextrow", "after0", "after11", "s0", "s11", "wa", "wb", "wc", "wd", "we",
                                 "wf", "wg", "wh", "wi"}) {
            if (page.find(word) == std::string::npos) continue;
            EXPECT_NE(grid.find(word), std::string::npos) << word << " in " << page << "\n" << grid;
        }
    }
}

// Random pages of well-formed tables, nested in each other and in other
// elements many levels deep: read with the parser's depth lowered to a few
// elements and with every attribute renamed, each gives the cells of the
// plain reading.
TEST(HtmlWorkbookHostile, RandomDeepTablesReadAlikeWhateverTheLimits)
{
    std::mt19937 rng(20240611);
    const auto pick = [&](std::size_t n) { return static_cast<std::size_t>(rng() % n); };
    const std::vector<std::string> wrappers = {"div", "span", "b", "p", "font", "center", "i"};
    int words = 0;
    int first = 0;  // the first word of the page being made
    std::function<std::string(int)> content;
    const auto table = [&](int depth) {
        std::string t = "<table border=1>";
        const std::size_t rows = 1 + pick(3);
        for (std::size_t r = 0; r < rows; ++r) {
            t += "<tr>";
            const std::size_t cells = pick(4);
            for (std::size_t c = 0; c < cells; ++c) {
                t += pick(4) == 0 ? "<td colspan=" + std::to_string(1 + pick(3)) + " a b c>" : "<td x=1>";
                t += content(depth + 1) + "</td>";
            }
            t += "</tr>";
        }
        return t + "</table>";
    };
    content = [&](int depth) {
        std::string c;
        const std::size_t parts = 1 + pick(3);
        for (std::size_t i = 0; i < parts; ++i) {
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
    HtmlReadLimits shallow;
    shallow.parserDepth = 8;
    HtmlReadLimits renameAll;
    renameAll.keptAttributes = 0;
    for (int round = 0; round < 200; ++round) {
        first = words;
        const std::string page = "<html><body>" + content(0) + "</body></html>";
        const Loaded plain = ReadWith(page, HtmlReadLimits{});
        ASSERT_TRUE(plain.ok) << plain.error;
        const Loaded restarted = ReadWith(page, shallow);
        const Loaded renamed = ReadWith(page, renameAll);
        ASSERT_TRUE(restarted.ok && renamed.ok) << page;
        EXPECT_EQ(Grid(restarted.book), Grid(plain.book)) << page;
        EXPECT_EQ(Grid(renamed.book), Grid(plain.book)) << page;
    }
}

// Tags whose attributes the reader renames before parsing must read as
// they would unrenamed, whatever markup surrounds them.
TEST(HtmlWorkbookHostile, RenamedAttributesChangeNothingRead)
{
    const std::vector<std::string> pages = {
        "<table a=1 b c=\"x\"><tr d e f><td g h colspan=2 i>one</td><td j k l>two</td></tr></table>",
        "<script>var s = '<td a b c d>';</script><table><tr><td q r s t>after script</td></tr></table>",
        "<!-- <td a b c d> --><table><tr><td a b c d colspan=\"3\">after comment</td><td>x</td></tr></table>",
        "<table><tr><td a=\"unterminated b c d>text e f g</td><td>next</td></tr></table>",
        "<table><tr><td " + std::string(150, 'n') + " a b colspan=2 c>long name</td><td>z</td></tr></table>",
    };
    HtmlReadLimits renameAll;
    renameAll.keptAttributes = 0;
    HtmlReadLimits renameNone;
    renameNone.keptAttributes = static_cast<std::size_t>(-1);
    for (const std::string& page : pages) {
        const Loaded plain = ReadWith(page, renameNone);
        const Loaded renamed = ReadWith(page, renameAll);
        ASSERT_TRUE(plain.ok && renamed.ok) << page;
        EXPECT_EQ(Grid(renamed.book), Grid(plain.book)) << page;
    }
}

// What the reader holds of a page beside the workbook (the text of a cell
// being read) is charged to the file's budget.
TEST(HtmlWorkbookHostile, CellTextBeyondTheBudgetIsRefusedForItsSize)
{
    const std::string page = "<table><tr><td>" + Repeat("many words in one cell ", 400000) + "</td></tr></table>";
    ReadBudget small(4u << 20);
    const Loaded refused = Load(page, &small);
    EXPECT_FALSE(refused.ok);
    EXPECT_EQ(refused.error.rfind("too large:", 0), 0u) << refused.error;
    EXPECT_EQ(small.Used(), 0u);
    ReadBudget enough(256u << 20);
    const Loaded read = Load(page, &enough);
    EXPECT_TRUE(read.ok) << read.error;
}

TEST(HtmlWorkbookHostile, StopRequestEndsALongRead)
{
    std::string page = "<html><body><table>";
    while (page.size() < (48u << 20)) page += "<tr><td>Plain words</td><td>12.5</td><td>in a row</td></tr>\n";
    page += "</table></body></html>";
    platform::ClearSearchStop();
    std::atomic<bool> cancelled{false};
    std::atomic<bool> finished{false};
    Clock::time_point ended;
    std::thread reader([&] {
        try {
            Workbook book;
            std::string error;
            LoadWorkbookBytes(View(page), u"Page", book, error);
            finished = true;
        } catch (const platform::OperationCancelled&) {
            cancelled = true;
        }
        ended = Clock::now();
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(150));
    const Clock::time_point requested = Clock::now();
    platform::RequestSearchStop();
    reader.join();
    platform::ClearSearchStop();
    ASSERT_FALSE(finished.load()) << "the page was read before the stop request: make it larger";
    EXPECT_TRUE(cancelled.load());
    EXPECT_LT(std::chrono::duration<double>(ended - requested).count(), 1.5);
}

}  // namespace
}  // namespace office
