// The search context: logging with no panel and shared texts (a logged line
// reaching the panel whole while the other thread rewrites the shared text
// is the panels' window test's).
#include "support/recordingpanes.h"

#include <gtest/gtest.h>

#include <thread>

TEST(SearchContext, LoggingWithNoPanelIsHarmless)
{
    ResetSearchContext();
    LogLine("nobody listens");
    EXPECT_EQ(g_strMessageText.Get(), "nobody listens");
}

TEST(SearchContext, SharedTextIsSafeUnderConcurrentWritesAndReads)
{
    CSharedText text;
    std::thread writer([&] {
        for (int i = 0; i < 20000; ++i) text.Set(i % 2 ? std::string(100, 'a') : std::string(3, 'b'));
    });
    for (int i = 0; i < 20000; ++i) {
        const std::string s = text.Get();
        ASSERT_TRUE(s.empty() || s == std::string(100, 'a') || s == std::string(3, 'b'));
    }
    writer.join();
}
