// The per-file memory budget: its own accounting, and files whose contents
// grow far beyond their size (a package whose parts share one deflated
// body, a workbook with two big sheets read side by side, a large text)
// refused early, while files within the budget are read to their end and
// charged what they hold.
#include "office/containers/readbudget.h"
#include "office/containers/zippackage.h"
#include "office/excel/workbookloader.h"
#include "office/word/wordloader.h"
#include "tests/office/support/hostilesize.h"

#include <gtest/gtest.h>

#include <thread>
#include <tuple>
#include <vector>

namespace office {
namespace {

constexpr std::uint64_t kMiB = 1024 * 1024;

office::ByteView View(const std::string& s) { return {reinterpret_cast<const std::uint8_t*>(s.data()), s.size()}; }

TEST(ReadBudget, ChargesHoldsAndThreadsStayWithinTheLimit)
{
    // (Charges that fill the budget exactly, and the peak, are met by the
    // file tests below and by xmlscanner_test's nesting under a budget.)
    ReadBudget budget(1000);
    EXPECT_THROW(budget.Charge(5000, "the test's table"), office::ReadBudgetExceeded);
    EXPECT_LE(ReadBudget::DefaultLimit(), ReadBudget::kDefaultBytes);

    ReadBudget big(10 * kMiB);
    {
        BudgetHold hold(&big);
        ASSERT_TRUE(hold.TryCover(10));
        EXPECT_EQ(big.Used(), BudgetHold::kStep);  // a step ahead
        ASSERT_TRUE(hold.TryCover(BudgetHold::kStep));
        EXPECT_EQ(big.Used(), BudgetHold::kStep);
        // Near the limit a step no longer fits, but what is needed does.
        ASSERT_TRUE(hold.TryCover(10 * kMiB - 1));
        EXPECT_EQ(big.Used(), 10 * kMiB - 1);
        EXPECT_FALSE(hold.TryCover(10 * kMiB + 1));
        BudgetHold moved = std::move(hold);
        EXPECT_EQ(moved.Bytes(), 10 * kMiB - 1);
    }
    EXPECT_EQ(big.Used(), 0u);

    ReadBudget shared(1'000'000);
    std::vector<std::thread> threads;
    std::atomic<std::uint64_t> granted{0};
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([&] {
            for (int i = 0; i < 100'000; ++i)
                if (shared.TryCharge(7)) granted += 7;
        });
    for (auto& t : threads) t.join();
    EXPECT_EQ(shared.Used(), granted.load());
    EXPECT_LE(shared.Peak(), shared.Limit());
    EXPECT_GT(shared.Used(), shared.Limit() - 7);  // filled to the brim
}

// A package whose five story parts all point at the main document's
// deflated body: refused before the body is inflated when it passes the
// budget, and refused as overlapping data when it fits; a record listed
// twice under one name is one entry, read once.
TEST(ReadBudgetFiles, PartsSharingOneDeflatedBody)
{
    const std::string docx = hostilesize::SharedBodyDocx(8 * kMiB, true);
    ASSERT_LT(docx.size(), kMiB / 4);
    ReadBudget small(2 * kMiB);
    office::WordContent content;
    ReadError error;
    EXPECT_FALSE(office::LoadWordContent(View(docx), content, error, office::WordFileName::Any, &small));
    EXPECT_EQ(error.kind, ReadErrorKind::TooLarge) << error;
    // The words the log shows: the refusal names the part, with nothing put
    // in front of it.
    EXPECT_EQ(error.detail.rfind("too large: part 'word/document.xml'", 0), 0u) << error;
    EXPECT_LE(small.Peak(), small.Limit());
    EXPECT_EQ(small.Used(), 0u);
    ReadBudget budget(64 * kMiB);
    office::ZipPackage zip(&budget);
    ASSERT_TRUE(zip.Open(View(docx), error)) << error;
    std::string xml;
    for (const char* part : {"word/document.xml", "word/header1.xml", "word/comments.xml"}) {
        EXPECT_FALSE(zip.ReadEntry(part, xml, error)) << part;
        EXPECT_EQ(error.kind, ReadErrorKind::TooLarge) << error;
    }
    EXPECT_EQ(zip.TotalBytesRead(), 0u);  // nothing was inflated
    EXPECT_EQ(budget.Used(), 0u);

    const std::string twice = hostilesize::BuildZip(
        {{"a.xml", hostilesize::WholeBody("<a>text</a>"), -1}, {"a.xml", hostilesize::Body{}, 0}});
    office::ZipPackage package;
    ASSERT_TRUE(package.Open(View(twice), error)) << error;
    EXPECT_TRUE(package.ReadEntry("a.xml", xml, error)) << error;
    EXPECT_EQ(xml, "<a>text</a>");
}

// A package of 8 MB of paragraphs and a text file decoded to 8 MB, under a
// budget too small for the text or large enough: within it, read to the end
// and charged what they hold within a step (the part while it was parsed,
// and one copy of the text), else refused without passing it.
TEST(ReadBudgetFiles, LargeDocumentsWithinTheBudgetAreReadAndCharged)
{
    const std::string docx = hostilesize::SharedBodyDocx(8 * kMiB, false);
    const std::string path = ::testing::TempDir() + "varnel-readbudget.txt";
    ASSERT_TRUE(hostilesize::WriteLargeText(path, 4 * kMiB));
    // The package's part fits 14 MB, its text does not. No last line: refused.
    const std::tuple<bool, std::uint64_t, std::u16string> cases[] = {
        {true, 64 * kMiB, u"needle\r"},
        {true, 14 * kMiB, u""},
        {false, 6 * kMiB, u""},
        {false, 16 * kMiB, u"The last line holds the needle.\r"}};
    for (const auto& [isDocx, limit, last] : cases) {
        const std::uint64_t part = isDocx ? 8 * kMiB : 0;
        ReadBudget budget(limit);
        office::WordContent content;
        ReadError error;
        const bool read = isDocx
                              ? office::LoadWordContent(View(docx), content, error, office::WordFileName::Any, &budget)
                              : office::LoadWordFile(path, content, error, &budget);
        EXPECT_EQ(read, !last.empty()) << error;
        EXPECT_EQ(error.kind, read ? ReadErrorKind::None : ReadErrorKind::TooLarge) << error;
        EXPECT_LE(budget.Peak(), budget.Limit());
        EXPECT_EQ(budget.Used(), 0u);
        if (!read) {
            EXPECT_GT(budget.Peak(), budget.Limit() - BudgetHold::kStep - 64 * 1024) << limit;
            continue;
        }
        const std::u16string& text = content.stories.at(0).text;
        EXPECT_EQ(text.substr(text.size() - last.size()), last);
        EXPECT_EQ(text.find(u'\n'), std::u16string::npos);  // CR LF made one mark
        EXPECT_GE(budget.Peak(), part + text.size() * 2);
        EXPECT_LE(budget.Peak(), part + 64 * 1024 + text.size() * 2 + (isDocx ? 2 : 1) * BudgetHold::kStep);
    }
    std::remove(path.c_str());
}

// Two sheets parsed at once on two threads share one budget: together they
// are refused, though one alone fits.
TEST(ReadBudgetFiles, TwoBigSheetsReadSideBySideShareOneBudget)
{
    for (const int bigSheets : {2, 1}) {
        const std::string xlsx = hostilesize::TwoSheetXlsx(250'000, "needle", bigSheets);
        ReadBudget budget(32 * kMiB);
        office::WorkbookLimits limits;
        limits.budget = &budget;
        office::Workbook book;
        ReadError error;
        const bool read = office::LoadWorkbookBytes(View(xlsx), u"Sheet1", book, error, limits);
        EXPECT_EQ(read, bigSheets == 1) << error;
        EXPECT_EQ(error.kind, read ? ReadErrorKind::None : ReadErrorKind::TooLarge) << error;
        EXPECT_LE(budget.Peak(), budget.Limit());
        EXPECT_EQ(budget.Used(), 0u);
        if (!read) continue;
        EXPECT_EQ(book.Text(book.sheets.at(2).cells.at(0).shown), u"needle");  // on the sheet after the big one
        EXPECT_GE(book.CellCount(), 250'000u);
        // The cells and their texts were charged as they grew.
        EXPECT_GE(budget.Peak(), book.CellCount() * (sizeof(office::Cell) + sizeof(std::u16string)));
    }
}

}  // namespace
}  // namespace office
