// SendMessage: direct on the owner thread, blocking hand-over from others.
#include "platform/messages.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

namespace {

class RecordingTarget : public CQueuedTarget {
public:
    explicit RecordingTarget(CMessageQueue& q) : CQueuedTarget(q) {}
    LRESULT OnMessage(UINT message, WPARAM wParam, LPARAM lParam) override
    {
        handlerThreads.push_back(std::this_thread::get_id());
        lastMessage = message;
        handled = true;
        return static_cast<LRESULT>(wParam) + lParam;
    }
    std::vector<std::thread::id> handlerThreads;
    UINT lastMessage = 0;
    std::atomic<bool> handled{false};
};

class CountingConsoleTarget : public CMessageTarget {
public:
    LRESULT OnMessage(UINT, WPARAM, LPARAM) override
    {
        // Non-atomic on purpose: the default cross-thread delivery must
        // serialise handlers.
        int v = counter;
        std::this_thread::yield();
        counter = v + 1;
        return 0;
    }
    int counter = 0;
};

}  // namespace

TEST(SendMessage, NullHandleReturnsZero)
{
    EXPECT_EQ(SendMessage(nullptr, WM_USER + 1, 5, 6), 0);
}

TEST(SendMessage, SameThreadCallsHandlerDirectly)
{
    CMessageQueue queue;
    RecordingTarget target(queue);
    EXPECT_EQ(SendMessage(&target, WM_USER + 4, 2, 3), 5);
    ASSERT_EQ(target.handlerThreads.size(), 1u);
    EXPECT_EQ(target.handlerThreads[0], std::this_thread::get_id());
    EXPECT_EQ(queue.Pump(), 0);
}

TEST(SendMessage, CrossThreadSendBlocksUntilOwnerRanHandler)
{
    CMessageQueue queue;
    RecordingTarget target(queue);
    std::atomic<bool> sendReturned{false};
    LRESULT result = 0;
    std::thread worker([&] {
        result = SendMessage(&target, WM_USER + 2, 40, 2);
        sendReturned = true;
    });
    // The owner has not pumped yet: the sender must still be waiting.
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_FALSE(sendReturned.load());
    EXPECT_FALSE(target.handled.load());

    EXPECT_TRUE(queue.PumpUntil([&] { return sendReturned.load(); }, std::chrono::seconds(5)));
    worker.join();
    EXPECT_EQ(result, 42);
    ASSERT_EQ(target.handlerThreads.size(), 1u);
    EXPECT_EQ(target.handlerThreads[0], std::this_thread::get_id());
    EXPECT_EQ(target.lastMessage, WM_USER + 2u);
}

TEST(SendMessage, HandlerMaySendBackToAWaitingWorker)
{
    // The owner, while handling a worker's send, sends to a target owned by
    // nobody else; no lock may be held across sends for this to work.
    CMessageQueue queue;
    CountingConsoleTarget console;
    class Forwarding : public CQueuedTarget {
    public:
        Forwarding(CMessageQueue& q, HWND next) : CQueuedTarget(q), m_next(next) {}
        LRESULT OnMessage(UINT m, WPARAM w, LPARAM l) override { return SendMessage(m_next, m, w, l) + 1; }
        HWND m_next;
    } forwarding(queue, &console);
    std::atomic<bool> done{false};
    std::thread worker([&] {
        SendMessage(&forwarding, WM_USER + 3);
        done = true;
    });
    EXPECT_TRUE(queue.PumpUntil([&] { return done.load(); }, std::chrono::seconds(5)));
    worker.join();
    EXPECT_EQ(console.counter, 1);
}

TEST(SendMessage, ConsoleTargetsSerialiseSendsFromManyThreads)
{
    CountingConsoleTarget target;
    target.SetOwnerThread(std::thread::id());  // owned by no running thread
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([&] {
            for (int i = 0; i < 500; ++i) SendMessage(&target, WM_USER + 4);
        });
    for (auto& th : threads) th.join();
    EXPECT_EQ(target.counter, 2000);
}
