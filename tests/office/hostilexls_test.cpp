// Crafted workbooks that multiply two counts a sender controls are read in
// time and memory in proportion to their size, and the cell after the
// hostile part still comes out. .xls files: link tables against names,
// sheets against names, FILEPASS records against the stream, shared
// formula tokens against cells, CONTINUE records against sheets, "m"s of a
// number format against each other. Web pages opened as workbooks: tens of
// thousands of attributes on a cell, hundreds of nested tables, a hundred
// thousand unclosed tags. The counts are far below the full-size files of
// bench/hostilexls_bench.cpp but far above what work per pair of them
// could do within the bounds.
//
// This program counts the bytes `new` hands out, to bound a read's peak.
#include "support/hostilexls.h"
#include "office/excel/workbookloader.h"
#include "support/excelbooks.h"
#include "support/hostilehtml.h"

#include <gtest/gtest.h>

#include <malloc.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <functional>
#include <new>
#include <optional>

namespace {

std::atomic<std::size_t> g_live{0};
std::atomic<std::size_t> g_peak{0};

void Counted(void* p)
{
    const std::size_t now = g_live.fetch_add(malloc_usable_size(p)) + malloc_usable_size(p);
    std::size_t peak = g_peak.load();
    while (now > peak && !g_peak.compare_exchange_weak(peak, now)) {
    }
}

}  // namespace

void* operator new(std::size_t n)
{
    void* p = std::malloc(n == 0 ? 1 : n);
    if (p == nullptr) throw std::bad_alloc();
    Counted(p);
    return p;
}
void* operator new[](std::size_t n) { return operator new(n); }
// The library's own nothrow forms (a sanitizer runtime brings its own) must
// pair with the delete below too.
void* operator new(std::size_t n, const std::nothrow_t&) noexcept
{
    void* p = std::malloc(n == 0 ? 1 : n);
    if (p != nullptr) Counted(p);
    return p;
}
void* operator new[](std::size_t n, const std::nothrow_t& tag) noexcept { return operator new(n, tag); }
void operator delete(void* p) noexcept
{
    if (p == nullptr) return;
    g_live.fetch_sub(malloc_usable_size(p));
    std::free(p);
}
void operator delete[](void* p) noexcept { operator delete(p); }
void operator delete(void* p, std::size_t) noexcept { operator delete(p); }
void operator delete[](void* p, std::size_t) noexcept { operator delete(p); }
void operator delete(void* p, const std::nothrow_t&) noexcept { operator delete(p); }
void operator delete[](void* p, const std::nothrow_t&) noexcept { operator delete(p); }

using namespace office;
using excelfixtures::FormulaOf;
using excelfixtures::Shown;
using hostilexls::Bytes;

namespace {

// Generous, for a loaded 2-core machine and a sanitizer build.
constexpr double kBaseMs = 1000;
constexpr std::size_t kBaseBytes = std::size_t{96} << 20;
constexpr std::size_t kBytesPerByte = 100;

struct Expected {
    std::uint32_t row = 0;
    std::uint32_t column = 0;
    std::u16string formula;
};

struct HostileCase {
    const char* name;
    std::function<Bytes()> make;
    std::optional<Expected> formula = std::nullopt;  // a formula cell the file holds
    bool damaged = false;                           // the file is rightly refused
    double msPerMb = 500;
    std::optional<std::pair<std::uint32_t, std::uint32_t>> markerAt = std::nullopt;
};

void PrintTo(const HostileCase& c, std::ostream* os) { *os << c.name; }

struct Reading {
    bool ok = false;
    ReadError error;
    Workbook book;
    double ms = 0;
    std::size_t peakBytes = 0;
};

Reading Read(const Bytes& file)
{
    Reading r;
    const std::size_t base = g_live.load();
    g_peak.store(base);
    const auto start = std::chrono::steady_clock::now();
    r.ok = LoadWorkbookBytes(ByteView(file.data(), file.size()), u"x", r.book, r.error);
    r.ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
    r.peakBytes = g_peak.load() - base;
    return r;
}

using office::hostile::Repeat;

bool HasMarker(const Workbook& book)
{
    for (const auto& sheet : book.sheets)
        for (const auto& cell : sheet.cells)
            if (book.Text(cell.shown).find(hostilexls::kMarker) != std::u16string::npos) return true;
    return false;
}

// A web page of `markup` whose "@" is the marker, after `hostile`.
std::function<Bytes()> Page(std::function<std::string()> hostile,
                            std::string markup = "<table><tr><td>before</td><td>@</td></tr></table>")
{
    return [hostile, markup] {
        std::string page = "<html><body>" + hostile() + markup;
        std::string marker;
        for (char16_t c : hostilexls::kMarker) marker += static_cast<char>(c);
        page.replace(page.find('@'), 1, marker);
        return Bytes(page.begin(), page.end());
    };
}

// The text of ArrayFormulaCells' formula, 8,000 units long: 32 strings of
// 250 letters, a to z and on from a, joined with "&".
std::u16string ArrayFormulaText()
{
    std::u16string text = u"=";
    for (int part = 0; part < 32; ++part)
        text += (part > 0 ? u"&\"" : u"\"") + std::u16string(250, static_cast<char16_t>(u'a' + part % 26)) + u"\"";
    return text;
}

class HostileWorkbook : public ::testing::TestWithParam<HostileCase> {};

}  // namespace

TEST_P(HostileWorkbook, ReadInTimeAndMemoryProportionalToTheFile)
{
    const HostileCase& c = GetParam();
    const Bytes file = c.make();
    ASSERT_FALSE(file.empty());
    const double mb = static_cast<double>(file.size()) / (1 << 20);
    // The faster of two reads, so that one stall of a busy machine does
    // not decide.
    Reading r = Read(file);
    if (r.ms > kBaseMs + c.msPerMb * mb) r = Read(file);
    if (c.damaged) {
        EXPECT_FALSE(r.ok);
        EXPECT_EQ(r.error.kind, ReadErrorKind::Damaged) << r.error;
    } else {
        ASSERT_TRUE(r.ok) << r.error;
        EXPECT_TRUE(HasMarker(r.book));
    }
    // The cells checked are on the last sheet.
    const std::size_t last = r.book.sheets.size() - 1;
    if (c.markerAt) {
        EXPECT_EQ(Shown(r.book, last, c.markerAt->first, c.markerAt->second), hostilexls::kMarker);
    }
    if (c.formula) {
        EXPECT_EQ(FormulaOf(r.book, last, c.formula->row, c.formula->column), c.formula->formula);
    }
    EXPECT_LE(r.ms, kBaseMs + c.msPerMb * mb) << mb << " MB";
    EXPECT_LE(r.peakBytes, kBaseBytes + kBytesPerByte * file.size()) << mb << " MB";
}

INSTANTIATE_TEST_SUITE_P(
    Crafted, HostileWorkbook,
    ::testing::Values(
        // Work per EXTERNSHEET entry and name: 268 million names.
        HostileCase{"externsheets", [] { return hostilexls::ExternSheetsAndNames(16384, 16384); },
                    Expected{1, 0, u"=Name1+'My Data'!A1+Name16384"}},
        // Work per sheet and name: 16 million sheet-qualified names.
        HostileCase{"sheetnames", [] { return hostilexls::SheetScopedNames(1024, 16384); },
                    Expected{1, 0, u"='Quarterly figures of department 1'!Local1+Local1024"}},
        // Work per FILEPASS and stream byte: 4 GB of decryption. Only the first
        // FILEPASS keys the stream; keyed again, it would be scrambled.
        HostileCase{"filepass", [] { return hostilexls::RepeatedFilePass(2000, 2u << 20); }},
        // Work per cell and token: 25 million nodes.
        HostileCase{"sharedformula", [] { return hostilexls::SharedFormulaCells(4096, 3000); },
                    Expected{4095, 0, u"=A4096" + std::u16string(3000, u'+')}},
        // Text per cell of an array formula: 130 million characters. All
        // its cells show one text, kept once.
        HostileCase{"arrayformula", [] { return hostilexls::ArrayFormulaCells(16384, 8000); },
                    Expected{16383, 0, ArrayFormulaText()}},
        // Work per pair of letters of a number format: 6 billion steps.
        HostileCase{"formatcodes", [] { return hostilexls::LongFormatCodes(192, 8000); }},
        // Work per sheet and CONTINUE record: 1 billion steps. The sheets
        // overlap, which is damage.
        HostileCase{"continues", [] { return hostilexls::StringContinueFlood(4096, 250000); }, std::nullopt, true},
        // The colspan after 40,000 attributes still moves the next cell.
        HostileCase{"attributes",
                    Page(
                        [] {
                            std::string attributes;
                            for (int i = 0; i < 40000; ++i) attributes += " a" + std::to_string(i) + "=\"1\"";
                            return "<table><tr><td" + attributes + " colspan=3>wide</td>";
                        },
                        "<td>@</td></tr></table>"),
                    std::nullopt, false, 2000, std::pair{0u, 3u}},
        // Closed nested tables leave their text to the outermost cell; the
        // table after them is a row of its own.
        HostileCase{"tables",
                    Page([] { return Repeat("<table><tr><td>cell ", 400) + Repeat("</td></tr></table>", 400); }),
                    std::nullopt, false, 2000, std::pair{1u, 1u}},
        HostileCase{"unclosedtables", Page([] { return Repeat("<table><tr><td>cell ", 400); }), std::nullopt, false,
                    2000},
        HostileCase{"unclosedb", Page([] { return Repeat("<b>", 100000); }), std::nullopt, false, 2000},
        HostileCase{"unclosedtd", Page([] { return "<table><tr>" + Repeat("<td><span>", 100000) + "</table>"; }),
                    std::nullopt, false, 2000}),
    [](const ::testing::TestParamInfo<HostileCase>& param) { return std::string(param.param.name); });
