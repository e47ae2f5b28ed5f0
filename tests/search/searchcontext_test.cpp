// The search context: logging with no panel, shared texts and line hand-over.
#include "support/recordingpanes.h"

#include <gtest/gtest.h>

#include <thread>

TEST(SearchContext, LoggingWithNoPanelIsHarmless)
{
    ResetSearchContext();
    LogLine("nobody listens");
    EXPECT_EQ(g_strMessageText.Get(), "nobody listens");
}

TEST(SearchContext, LoggedLineCannotBeReplacedByTheOtherThread)
{
    // The panel's handler runs while another thread rewrites the shared
    // message text; it must still append the sender's own line.
    RecordingPanes panes;
    class Interfering : public CMessageTarget {
    public:
        LRESULT OnMessage(UINT message, WPARAM, LPARAM lParam) override
        {
            std::thread other([] { g_strMessageText.Set("User terminate the searching..."); });
            other.join();
            if (message == WM_APPEND_MESSAGE) seen = MessageLineOf(lParam);
            return 0;
        }
        std::string seen;
    } panel;
    g_hWndMessagePanel = &panel;
    LogFileLine("/home/a/x.doc", 61457);
    EXPECT_EQ(panel.seen, "/home/a/x.doc:Files is protected or ruined. Visiting is not permitted...");
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
