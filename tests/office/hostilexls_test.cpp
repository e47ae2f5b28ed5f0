// Crafted .xls files that multiply two counts a sender controls (link
// tables against names, sheets against names, FILEPASS records against the
// stream, shared formula tokens against cells, CONTINUE records against
// sheets, "m"s of a number format against each other) are read in time and
// memory in proportion to their size, and the cell after the hostile part
// still comes out. The counts are far below the full-size files of
// bench/hostilexls_bench.cpp but far above what work per pair of them
// could do within the bounds.
//
// This program counts the bytes `new` hands out, to bound a read's peak.
#include "office/excel/cellformat.h"
#include "office/excel/workbookloader.h"
#include "support/hostilexls.h"

#include <gtest/gtest.h>

#include <malloc.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <new>
#include <optional>
#include <random>

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
using hostilexls::Bytes;

namespace {

// Generous, for a loaded 2-core machine and a sanitizer build.
constexpr double kBaseMs = 1000;
constexpr double kMsPerMb = 500;
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
    std::optional<Expected> formula;  // a formula cell the file holds
    const char* error = nullptr;      // the reason when the file is rightly refused
};

void PrintTo(const HostileCase& c, std::ostream* os) { *os << c.name; }

struct Reading {
    bool ok = false;
    std::string error;
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

bool HasMarker(const Workbook& book)
{
    for (const auto& sheet : book.sheets)
        for (const auto& cell : sheet.cells)
            if (book.Text(cell.shown) == hostilexls::kMarker) return true;
    return false;
}

std::u16string FormulaAt(const Workbook& book, std::uint32_t row, std::uint32_t column)
{
    for (const auto& sheet : book.sheets)
        for (const auto& cell : sheet.cells)
            if (cell.row == row && cell.column == column && cell.formula != kNoText) return book.Text(cell.formula);
    return u"<none>";
}

std::u16string Repeat(std::u16string_view unit, std::size_t times)
{
    std::u16string out;
    for (std::size_t i = 0; i < times; ++i) out += unit;
    return out;
}

}  // namespace

class HostileXlsRead : public ::testing::TestWithParam<HostileCase> {};

TEST_P(HostileXlsRead, InTimeAndMemoryProportionalToTheFile)
{
    const HostileCase& c = GetParam();
    const Bytes file = c.make();
    ASSERT_FALSE(file.empty());
    const double mb = static_cast<double>(file.size()) / (1 << 20);
    const Reading r = Read(file);
    std::printf("  %-16s %6.2f MB %8.1f ms, peak %7.1f MB allocated\n", c.name, mb, r.ms,
                static_cast<double>(r.peakBytes) / (1 << 20));
    if (c.error != nullptr) {
        EXPECT_FALSE(r.ok);
        EXPECT_EQ(r.error, c.error);
    } else {
        ASSERT_TRUE(r.ok) << r.error;
        EXPECT_TRUE(HasMarker(r.book));
    }
    if (c.formula) {
        EXPECT_EQ(FormulaAt(r.book, c.formula->row, c.formula->column), c.formula->formula);
    }
    EXPECT_LE(r.ms, kBaseMs + kMsPerMb * mb) << mb << " MB";
    EXPECT_LE(r.peakBytes, kBaseBytes + kBytesPerByte * file.size()) << mb << " MB";
}

INSTANTIATE_TEST_SUITE_P(
    Crafted, HostileXlsRead,
    ::testing::Values(
        // Work per EXTERNSHEET entry and name: 268 million names.
        HostileCase{"externsheets", [] { return hostilexls::ExternSheetsAndNames(16384, 16384); },
                    Expected{1, 0, u"=Name1+'My Data'!A1+Name16384"}},
        // Work per sheet and name: 16 million sheet-qualified names.
        HostileCase{"sheetnames", [] { return hostilexls::SheetScopedNames(1024, 16384); },
                    Expected{1, 0, u"='Quarterly figures of department 1'!Local1+Local1024"}},
        // Work per FILEPASS and stream byte: 4 GB of decryption.
        HostileCase{"filepass", [] { return hostilexls::RepeatedFilePass(2000, 2u << 20); }, std::nullopt},
        // Work per cell and token: 25 million nodes.
        HostileCase{"sharedformula", [] { return hostilexls::SharedFormulaCells(4096, 3000); },
                    Expected{4095, 0, u"=A4096" + Repeat(u"+", 3000)}},
        // Text per cell of an array formula: 130 million characters.
        HostileCase{"arrayformula", [] { return hostilexls::ArrayFormulaCells(16384, 8000); }, std::nullopt},
        // Work per pair of letters of a number format: 6 billion steps.
        HostileCase{"formatcodes", [] { return hostilexls::LongFormatCodes(192, 8000); }, std::nullopt},
        // Work per sheet and CONTINUE record: 1 billion steps. The sheets
        // overlap, which is damage.
        HostileCase{"continues", [] { return hostilexls::StringContinueFlood(4096, 250000); }, std::nullopt,
                    "damaged workbook stream (sheets overlap)"}),
    [](const ::testing::TestParamInfo<HostileCase>& param) { return std::string(param.param.name); });

// All cells of an array formula show one text, kept once.
TEST(HostileXls, ArrayFormulaTextIsSharedByItsCells)
{
    const Bytes file = hostilexls::ArrayFormulaCells(100, 600);
    const Reading r = Read(file);
    ASSERT_TRUE(r.ok) << r.error;
    const auto& cells = r.book.sheets.at(0).cells;
    std::uint32_t text = kNoText;
    std::size_t formulas = 0;
    for (const auto& cell : cells) {
        if (cell.column != 0) continue;
        ASSERT_NE(cell.formula, kNoText) << cell.row;
        if (text == kNoText) text = cell.formula;
        EXPECT_EQ(cell.formula, text) << cell.row;
        ++formulas;
    }
    EXPECT_EQ(formulas, 100u);
    EXPECT_EQ(r.book.Text(text).substr(0, 4), u"=\"aa");
    EXPECT_EQ(r.book.Text(text).size(), 1u + 3 * 252 + 2);  // three strings, two "&"
}

// Only the first FILEPASS counts: later ones, whatever their scheme or
// password, neither stop the read nor decrypt the stream a second time.
TEST(HostileXls, LaterFilePassRecordsAreIgnored)
{
    using namespace hostilexls;
    for (std::size_t count : {1u, 2u, 3u}) {
        const Bytes file = RepeatedFilePass(count, 20000);
        const Reading r = Read(file);
        ASSERT_TRUE(r.ok) << count << ": " << r.error;
        EXPECT_TRUE(HasMarker(r.book)) << count;
    }
    // After a sound first one, an XOR one and one for another password.
    const std::array<std::uint8_t, 16> salt = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16};
    const std::array<std::uint8_t, 16> verifier = {9, 8, 7, 6, 5, 4, 3, 2, 1, 0, 1, 2, 3, 4, 5, 6};
    const Bytes sound = MakeRc4FilePass(kDefaultOfficePassword, salt, verifier);
    const Bytes other = MakeRc4FilePass(u"secret", salt, verifier);
    const Bytes xorPass = {0, 0, 0x34, 0x12, 0x78, 0x56};
    Bytes stream = WorkbookStream(
        [&](Stream& s) {
            s.Record(0x002F, sound);
            s.Record(0x002F, xorPass);
            s.Record(0x002F, other);
        },
        {u"Sheet1"}, [](Stream& s, std::size_t) { Label(s, 0, 0, kMarker); });
    XlsDecryptor cipher;
    std::string error;
    ASSERT_TRUE(cipher.Init(ByteView(sound.data(), sound.size()), kDefaultOfficePassword, error)) << error;
    cipher.DecryptStream(stream);
    const Reading r = Read(Compound(stream));
    ASSERT_TRUE(r.ok) << r.error;
    EXPECT_TRUE(HasMarker(r.book));
}

namespace {

// The number format rule as first written: for each "m", a search back and
// a search forward. Quadratic, but plain to read; the reader's version
// must agree with it on every code.
NumberStyle ReferenceStyle(std::u16string_view code)
{
    bool date = false;
    bool time = false;
    for (std::size_t i = 0; i < code.size(); ++i) {
        const char16_t c = code[i];
        if (c == u';') break;
        if (c == u'"') {
            const auto close = code.find(u'"', i + 1);
            if (close == std::u16string_view::npos) break;
            i = close;
            continue;
        }
        if (c == u'\\' || c == u'_' || c == u'*') {
            ++i;
            continue;
        }
        if (c == u'[') {
            const auto close = code.find(u']', i + 1);
            if (close == std::u16string_view::npos) break;
            const auto inner = code.substr(i + 1, close - i - 1);
            if (!inner.empty() && std::u16string_view(u"hHmMsS").find(inner[0]) != std::u16string_view::npos) time = true;
            i = close;
            continue;
        }
        switch (c) {
        case u'd': case u'D': case u'y': case u'Y': date = true; break;
        case u'm': case u'M': {
            bool minutes = false;
            for (std::size_t j = i; j-- > 0;) {
                if (code[j] == u'h' || code[j] == u'H') {
                    minutes = true;
                    break;
                }
                if (std::u16string_view(u"dDyY").find(code[j]) != std::u16string_view::npos) break;
            }
            for (std::size_t j = i + 1; !minutes && j < code.size() && code[j] != u';'; ++j) {
                if (code[j] == u's' || code[j] == u'S') {
                    minutes = true;
                    break;
                }
                if (std::u16string_view(u"dDyYhH").find(code[j]) != std::u16string_view::npos) break;
            }
            (minutes ? time : date) = true;
            break;
        }
        case u'h': case u'H': case u's': case u'S': time = true; break;
        default: break;
        }
    }
    if (date && time) return NumberStyle::DateTime;
    if (date) return NumberStyle::Date;
    if (time) return NumberStyle::Time;
    return NumberStyle::General;
}

}  // namespace

TEST(HostileXls, NumberFormatRuleAgreesWithThePlainSearch)
{
    std::mt19937 rng(20240);
    const std::u16string alphabet = u"mMhHsSdDyY;\"[]\\_*0#.: ";
    for (int round = 0; round < 200000; ++round) {
        std::u16string code;
        const std::size_t length = rng() % 16;
        for (std::size_t i = 0; i < length; ++i) code.push_back(alphabet[rng() % alphabet.size()]);
        ASSERT_EQ(StyleOfFormatCode(code), ReferenceStyle(code)) << std::string(code.begin(), code.end());
    }
}
