// The stop request of a search, set from another thread while a large
// workbook is being read, ends the read within a fraction of a second with
// OperationCancelled: in the cell records, in an encrypted stream, in
// formulas, in a workbook of Excel 4, in the sheet threads of an .xlsx, in
// a web page (in a package saved with a password: ooxmldecrypt_test). Each
// read is first timed without a stop, so that the stop comes while the
// reader is well inside the file whatever the machine's speed.
#include "platform/cancellation.h"
#include "support/excelbooks.h"
#include "support/hostilesize.h"
#include "support/hostilexls.h"
#include "support/oldbifffixture.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <functional>
#include <thread>

using namespace office;
using hostilexls::Bytes;
using Clock = std::chrono::steady_clock;

namespace {

// Generous, for a loaded 2-core machine and a sanitizer build; the reader
// looks at the request every few milliseconds of work.
constexpr auto kStopBound = std::chrono::seconds(2);
constexpr auto kStopFloor = std::chrono::milliseconds(250);

enum class Outcome { Opened, Failed, Cancelled };

Outcome ReadOnce(const Bytes& file, ReadError& error)
{
    Workbook book;
    try {
        return LoadWorkbookBytes(ByteView(file.data(), file.size()), u"Sheet1", book, error) ? Outcome::Opened
                                                                                              : Outcome::Failed;
    } catch (const platform::OperationCancelled&) {
        return Outcome::Cancelled;
    }
}

Bytes Of(const std::string& s) { return Bytes(s.begin(), s.end()); }

struct StopCase {
    const char* name;
    std::function<Bytes()> make;
    std::uint64_t records = 0;  // records of a BIFF stream (0: another format)
};

void PrintTo(const StopCase& c, std::ostream* os) { *os << c.name; }

class XlsStop : public ::testing::TestWithParam<StopCase> {
protected:
    void SetUp() override { platform::ClearSearchStop(); }
    // Leaves no request behind for the tests that follow.
    void TearDown() override { platform::ClearSearchStop(); }
};

}  // namespace

TEST_P(XlsStop, RequestFromAnotherThreadEndsTheReadQuickly)
{
    const Bytes file = GetParam().make();
    ReadError error;
    const auto start = Clock::now();
    const std::uint64_t looksBefore = platform::StopRequestLooks();
    ASSERT_EQ(ReadOnce(file, error), Outcome::Opened) << error;
    const auto whole = Clock::now() - start;
    // The record readers look at the request at least once per 256 records
    // of their loop, not only in the work after it.
    EXPECT_GE(platform::StopRequestLooks() - looksBefore, GetParam().records / 256);

    std::atomic<bool> started{false};
    std::atomic<Outcome> outcome{Outcome::Failed};
    std::atomic<Clock::rep> ended{0};
    std::thread reader([&] {
        ReadError readError;
        started = true;
        outcome = ReadOnce(file, readError);
        ended = Clock::now().time_since_epoch().count();
    });
    while (!started) std::this_thread::yield();
    std::this_thread::sleep_for(whole / 8);
    const auto requested = Clock::now();
    platform::RequestSearchStop();
    reader.join();
    const auto latency = Clock::time_point(Clock::duration(ended.load())) - requested;
    EXPECT_EQ(outcome.load(), Outcome::Cancelled)
        << "a read of " << std::chrono::duration<double>(whole).count() << " s ended without seeing the request";
    // A reader that went on to its end would take the rest of the read,
    // seven eighths of it: the stop must come well before.
    const auto bound = std::min<Clock::duration>(kStopBound, std::max<Clock::duration>(whole / 2, kStopFloor));
    EXPECT_LT(latency, bound) << std::chrono::duration<double>(latency).count() << " s of "
                              << std::chrono::duration<double>(whole).count() << " s";
    // A request made before the read stops it at once, and once cleared
    // the file reads again.
    EXPECT_EQ(ReadOnce(file, error), Outcome::Cancelled);
    platform::ClearSearchStop();
    EXPECT_EQ(ReadOnce(file, error), Outcome::Opened) << error;
}

INSTANTIATE_TEST_SUITE_P(
    LargeWorkbooks, XlsStop,
    ::testing::Values(StopCase{"cells", [] { return hostilexls::ManyCells(400000); }, 800000},
                      StopCase{"encrypted", [] { return hostilexls::RepeatedFilePass(1, 48u << 20); },
                               (48u << 20) / 8228},
                      StopCase{"formulas", [] { return hostilexls::FormulaCells(40000, 150); }, 40000},
                      StopCase{"excel4",
                               [] {
                                   return excelfixtures::OneSheet(4, [](excelfixtures::OldBiffWriter& w) {
                                       for (unsigned row = 0; row < 800000; ++row)
                                           w.Number(row % 16384, row / 16384, row + 0.5);
                                   });
                               },
                               800000},
                      StopCase{"xlsxsheets", [] { return Of(hostilesize::TwoSheetXlsx(1'000'000)); }},
                      StopCase{"webpage",
                               [] {
                                   std::string page = "<html><body><table>";
                                   while (page.size() < (16u << 20))
                                       page += "<tr><td>Plain words</td><td>12.5</td><td>in a row</td></tr>\n";
                                   return Of(page + "</table></body></html>");
                               }}),
    [](const ::testing::TestParamInfo<StopCase>& param) { return std::string(param.param.name); });
