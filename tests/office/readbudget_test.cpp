// The per-file memory budget: its own accounting, and files whose contents
// grow far beyond their size (a package whose parts share one deflated
// body, a workbook with two big sheets read side by side, a large text)
// refused early with "too large", while files within the budget are read
// to their end. Also the stop request ending such reads mid-file.
#include "office/containers/readbudget.h"
#include "office/word/wordloader.h"
#include "office/excel/workbookloader.h"
#include "office/containers/zippackage.h"
#include "platform/cancellation.h"
#include "tests/office/support/hostilesize.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>
#include <vector>

namespace {

using office::BudgetHold;
using office::ReadBudget;

constexpr std::uint64_t kMiB = 1024 * 1024;

office::ByteView View(const std::string& s)
{
    return {reinterpret_cast<const std::uint8_t*>(s.data()), s.size()};
}

bool StartsWith(const std::string& s, const std::string& prefix)
{
    return s.compare(0, prefix.size(), prefix) == 0;
}

TEST(ReadBudget, RefusesWholeChargesPastTheLimitAndKeepsThePeak)
{
    ReadBudget budget(1000);
    EXPECT_TRUE(budget.TryCharge(600));
    EXPECT_FALSE(budget.TryCharge(401));  // refused whole, nothing counted
    EXPECT_EQ(budget.Used(), 600u);
    EXPECT_TRUE(budget.TryCharge(400));
    budget.Release(900);
    EXPECT_EQ(budget.Used(), 100u);
    EXPECT_EQ(budget.Peak(), 1000u);
    try {
        budget.Charge(5000, "the test's table");
        ADD_FAILURE() << "no exception";
    } catch (const office::ReadBudgetExceeded& e) {
        const std::string what = e.what();
        EXPECT_TRUE(StartsWith(what, "too large: the test's table")) << what;
        EXPECT_NE(what.find("5000 bytes more"), std::string::npos) << what;
    }
}

TEST(ReadBudget, DefaultIsAGigabyteOrAQuarterOfMemory)
{
    EXPECT_LE(ReadBudget::DefaultLimit(), ReadBudget::kDefaultBytes);
    EXPECT_GT(ReadBudget::DefaultLimit(), 0u);
}

TEST(ReadBudget, HoldsChargeAStepAheadAndGiveBackOnTheirEnd)
{
    ReadBudget budget(10 * kMiB);
    {
        BudgetHold hold(&budget);
        ASSERT_TRUE(hold.TryCover(10));
        EXPECT_EQ(budget.Used(), BudgetHold::kStep);  // a step ahead
        ASSERT_TRUE(hold.TryCover(BudgetHold::kStep));
        EXPECT_EQ(budget.Used(), BudgetHold::kStep);  // still covered
        // Near the limit a step no longer fits, but what is needed does.
        ASSERT_TRUE(hold.TryCover(10 * kMiB - 1));
        EXPECT_EQ(budget.Used(), 10 * kMiB - 1);
        EXPECT_FALSE(hold.TryCover(10 * kMiB + 1));
        BudgetHold moved = std::move(hold);
        EXPECT_EQ(moved.Bytes(), 10 * kMiB - 1);
        EXPECT_EQ(hold.Bytes(), 0u);
    }
    EXPECT_EQ(budget.Used(), 0u);
}

TEST(ReadBudget, ThreadsChargingTogetherNeverPassTheLimit)
{
    ReadBudget budget(1'000'000);
    std::vector<std::thread> threads;
    std::atomic<std::uint64_t> granted{0};
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&] {
            for (int i = 0; i < 100'000; ++i)
                if (budget.TryCharge(7)) granted += 7;
        });
    }
    for (auto& t : threads) t.join();
    EXPECT_EQ(budget.Used(), granted.load());
    EXPECT_LE(budget.Peak(), budget.Limit());
    EXPECT_GT(budget.Used(), budget.Limit() - 7);  // filled to the brim
}

// A package whose five story parts all point at the main document's
// deflated body: refused before the body is inflated when it passes the
// budget, and refused as a bomb when it fits.
TEST(ReadBudgetFiles, PartsSharingOneDeflatedBodyAreRefused)
{
    const std::string docx = hostilesize::SharedBodyDocx(8 * kMiB, true);
    ASSERT_LT(docx.size(), kMiB / 4);
    {
        ReadBudget budget(2 * kMiB);
        office::WordContent content;
        std::string error;
        EXPECT_FALSE(office::LoadWordContent(View(docx), content, error, office::WordFileName::Any, &budget));
        EXPECT_TRUE(StartsWith(error, "too large: part 'word/document.xml'")) << error;
        EXPECT_LE(budget.Peak(), budget.Limit());
        EXPECT_EQ(budget.Used(), 0u);
    }
    {
        ReadBudget budget(64 * kMiB);
        office::ZipPackage zip(&budget);
        std::string error;
        ASSERT_TRUE(zip.Open(View(docx), error)) << error;
        for (const char* part : {"word/document.xml", "word/header1.xml", "word/comments.xml"}) {
            std::string xml;
            EXPECT_FALSE(zip.ReadEntry(part, xml, error)) << part;
            EXPECT_NE(error.find("shares its compressed data"), std::string::npos) << error;
        }
        EXPECT_EQ(zip.TotalBytesRead(), 0u);  // nothing was inflated
        EXPECT_EQ(budget.Used(), 0u);
    }
}

// A record listed twice under one name is one entry: lookups by name reach
// the first, and nothing is inflated twice.
TEST(ReadBudgetFiles, ARecordListedTwiceUnderOneNameIsNoOverlap)
{
    std::vector<hostilesize::ZipEntry> entries;
    entries.push_back({"a.xml", hostilesize::WholeBody("<a>text</a>"), -1});
    entries.push_back({"a.xml", hostilesize::Body{}, 0});
    entries.push_back({"b.xml", hostilesize::Body{}, 0});
    const std::string bytes = hostilesize::BuildZip(entries);
    office::ZipPackage zip;
    std::string error;
    ASSERT_TRUE(zip.Open(View(bytes), error)) << error;
    std::string xml;
    // b.xml overlaps a.xml's data under another name: both are refused.
    EXPECT_FALSE(zip.ReadEntry("b.xml", xml, error));
    EXPECT_NE(error.find("shares its compressed data"), std::string::npos) << error;
    entries.pop_back();
    const std::string twice = hostilesize::BuildZip(entries);
    office::ZipPackage again;
    ASSERT_TRUE(again.Open(View(twice), error)) << error;
    ASSERT_TRUE(again.ReadEntry("a.xml", xml, error)) << error;
    EXPECT_EQ(xml, "<a>text</a>");
}

TEST(ReadBudgetFiles, ALargeDocumentWithinTheBudgetIsReadToItsEnd)
{
    const std::string docx = hostilesize::SharedBodyDocx(8 * kMiB, false);
    ReadBudget budget(64 * kMiB);
    office::WordContent content;
    std::string error;
    ASSERT_TRUE(office::LoadWordContent(View(docx), content, error, office::WordFileName::Any, &budget)) << error;
    ASSERT_FALSE(content.stories.empty());
    const std::u16string& text = content.stories[0].text;
    EXPECT_EQ(text.substr(text.size() - 7), u"needle\r");
    // The charge follows the memory: the part while it was parsed, and the
    // text, within a step.
    EXPECT_GE(budget.Peak(), 8 * kMiB + text.size() * 2);
    EXPECT_LE(budget.Peak(), 8 * kMiB + 64 * 1024 + text.size() * 2 + 2 * BudgetHold::kStep);
    EXPECT_EQ(budget.Used(), 0u);
}

TEST(ReadBudgetFiles, ADocumentWhoseTextPassesTheBudgetIsRefusedWhileParsing)
{
    // The part fits; its text (two bytes a character) does not.
    const std::string docx = hostilesize::SharedBodyDocx(8 * kMiB, false);
    ReadBudget budget(14 * kMiB);
    office::WordContent content;
    std::string error;
    EXPECT_FALSE(office::LoadWordContent(View(docx), content, error, office::WordFileName::Any, &budget));
    EXPECT_TRUE(StartsWith(error, "too large: the text of the document")) << error;
    EXPECT_LE(budget.Peak(), budget.Limit());
    EXPECT_GT(budget.Peak(), budget.Limit() - BudgetHold::kStep - 64 * 1024);
}

const office::Cell* FindText(const office::Workbook& book, std::u16string_view text)
{
    for (const auto& sheet : book.sheets)
        for (const auto& cell : sheet.cells)
            if (cell.kind == office::CellKind::Text && book.Text(cell.text) == text) return &cell;
    return nullptr;
}

// Two sheets parsed at once on two threads share one budget: together
// they are refused, though one alone fits.
TEST(ReadBudgetFiles, TwoBigSheetsReadSideBySideShareOneBudget)
{
    office::WorkbookLimits limits;
    {
        const std::string xlsx = hostilesize::TwoSheetXlsx(250'000);
        ReadBudget budget(32 * kMiB);
        limits.budget = &budget;
        office::Workbook book;
        std::string error;
        EXPECT_FALSE(office::LoadWorkbookBytes(View(xlsx), u"Sheet1", book, error, limits));
        EXPECT_TRUE(StartsWith(error, "too large: the ")) << error;
        EXPECT_NE(error.find("of sheet '"), std::string::npos) << error;
        EXPECT_LE(budget.Peak(), budget.Limit());
        EXPECT_EQ(budget.Used(), 0u);
        EXPECT_TRUE(book.sheets.empty());
    }
    {
        const std::string xlsx = hostilesize::TwoSheetXlsx(250'000, "needle", 1);
        ReadBudget budget(32 * kMiB);
        limits.budget = &budget;
        office::Workbook book;
        std::string error;
        ASSERT_TRUE(office::LoadWorkbookBytes(View(xlsx), u"Sheet1", book, error, limits)) << error;
        EXPECT_NE(FindText(book, u"needle"), nullptr);  // on the sheet after the big one
        EXPECT_GE(book.CellCount(), 250'000u);
        // The cells and their texts were charged as they grew.
        EXPECT_GE(budget.Peak(), book.CellCount() * (sizeof(office::Cell) + sizeof(std::u16string)));
        EXPECT_EQ(budget.Used(), 0u);
    }
}

TEST(ReadBudgetFiles, ATextPastTheBudgetIsRefusedAndOneWithinItIsReadToItsEnd)
{
    const std::string path = ::testing::TempDir() + "varnel-readbudget.txt";
    ASSERT_TRUE(hostilesize::WriteLargeText(path, 4 * kMiB));
    {
        ReadBudget budget(6 * kMiB);  // less than the decoded text
        office::WordContent content;
        std::string error;
        EXPECT_FALSE(office::LoadWordFile(path, content, error, &budget));
        EXPECT_TRUE(StartsWith(error, "too large: the decoded text")) << error;
        EXPECT_LE(budget.Peak(), budget.Limit());
        EXPECT_GT(budget.Peak(), budget.Limit() - BudgetHold::kStep);
    }
    {
        ReadBudget budget(16 * kMiB);
        office::WordContent content;
        std::string error;
        ASSERT_TRUE(office::LoadWordFile(path, content, error, &budget)) << error;
        ASSERT_EQ(content.stories.size(), 1u);
        const std::u16string& text = content.stories[0].text;
        const std::u16string last = u"The last line holds the needle.\r";
        EXPECT_EQ(text.substr(text.size() - last.size()), last);
        EXPECT_EQ(text.find(u'\n'), std::u16string::npos);  // CR LF made one mark
        // One copy of the text, charged a step ahead at most.
        EXPECT_GE(budget.Peak(), text.size() * 2);
        EXPECT_LE(budget.Peak(), text.size() * 2 + BudgetHold::kStep + 64 * 1024);
    }
    std::remove(path.c_str());
}

// The stop request, set from another thread while a large file is read,
// ends the read with OperationCancelled well before it would have ended.
class StopRequest : public ::testing::Test {
protected:
    void TearDown() override { platform::ClearSearchStop(); }

    template <typename Read>
    void ExpectCancelled(Read read)
    {
        platform::ClearSearchStop();
        std::chrono::steady_clock::time_point requested;
        std::thread stopper([&] {
            std::this_thread::sleep_for(std::chrono::milliseconds(30));
            requested = std::chrono::steady_clock::now();
            platform::RequestSearchStop();
        });
        bool cancelled = false;
        try {
            read();
        } catch (const platform::OperationCancelled&) {
            cancelled = true;
        }
        const auto ended = std::chrono::steady_clock::now();
        stopper.join();
        EXPECT_TRUE(cancelled);
        // Generous, for sanitizer builds; in a release build it is a few
        // milliseconds.
        EXPECT_LT(std::chrono::duration<double>(ended - requested).count(), 2.0);
        platform::ClearSearchStop();
    }
};

TEST_F(StopRequest, EndsTheReadingOfALargeText)
{
    std::string text;
    hostilesize::Filler filler;
    while (text.size() < 160 * kMiB) text += "a line of text " + filler.Token(8) + "\n";
    ExpectCancelled([&] {
        office::WordContent content;
        std::string error;
        office::LoadWordContent(View(text), content, error);
    });
}

TEST_F(StopRequest, EndsTheReadingOfAWorkbookInItsSheetThreads)
{
    const std::string xlsx = hostilesize::TwoSheetXlsx(3'000'000);
    ExpectCancelled([&] {
        office::Workbook book;
        std::string error;
        office::LoadWorkbookBytes(View(xlsx), u"Sheet1", book, error);
    });
}

}  // namespace
