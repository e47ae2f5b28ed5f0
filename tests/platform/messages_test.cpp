// SendMessage: direct on the owner thread, blocking hand-over from others.
#include "platform/messages.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

namespace {

// Answers wParam + lParam, noting the thread it ran on; with a next target
// it first passes the message on.
class RecordingTarget : public CQueuedTarget {
public:
    explicit RecordingTarget(CMessageQueue& q, HWND next = nullptr) : CQueuedTarget(q), m_next(next) {}
    LRESULT OnMessage(UINT, WPARAM wParam, LPARAM lParam) override
    {
        handlerThread = std::this_thread::get_id();
        return SendMessage(m_next, WM_USER + 4, 0, 0) + static_cast<LRESULT>(wParam) + lParam;
    }
    std::thread::id handlerThread;
    HWND m_next;
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
        return 1;
    }
    int counter = 0;
};

// On the owner's thread the handler is called directly; from another
// thread the sender waits until the owner pumps and has run the handler on
// its own thread. The handler may itself send on (no lock is held across
// sends).
TEST(SendMessage, CrossThreadSendBlocksUntilOwnerRanHandler)
{
    EXPECT_EQ(SendMessage(nullptr, WM_USER + 1, 5, 6), 0);
    CMessageQueue queue;
    CountingConsoleTarget console;
    RecordingTarget target(queue, &console);
    EXPECT_EQ(SendMessage(&target, WM_USER + 4, 2, 3), 6);
    EXPECT_EQ(target.handlerThread, std::this_thread::get_id());
    EXPECT_EQ(queue.Pump(), 0);
    target.handlerThread = std::thread::id();
    std::atomic<bool> sendReturned{false};
    LRESULT result = 0;
    std::thread worker([&] {
        result = SendMessage(&target, WM_USER + 2, 40, 2);
        sendReturned = true;
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_FALSE(sendReturned.load()) << "the owner has not pumped yet";
    EXPECT_EQ(console.counter, 1);
    EXPECT_TRUE(queue.PumpUntil([&] { return sendReturned.load(); }, std::chrono::seconds(5)));
    worker.join();
    EXPECT_EQ(result, 43);
    EXPECT_EQ(target.handlerThread, std::this_thread::get_id());
    EXPECT_EQ(console.counter, 2);
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

}  // namespace
