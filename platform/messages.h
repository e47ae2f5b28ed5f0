// Window handles and synchronous messages.
//
// An HWND is a pointer to a message target. SendMessage keeps its Windows
// contract: it returns only after the target's handler has run, and the
// handler always runs on the target's own thread. Called on that thread it is
// a direct call; called from another thread the target decides how the call
// is carried over (a Qt window queues it to the GUI thread and blocks, a
// console target takes its own lock, a CMessageQueue target is pumped by its
// owner). The search worker reports everything this way.
#pragma once

#include "platform/wintypes.h"

#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

class CMessageTarget {
public:
    CMessageTarget();
    virtual ~CMessageTarget();
    CMessageTarget(const CMessageTarget&) = delete;
    CMessageTarget& operator=(const CMessageTarget&) = delete;

    // The handler. Runs on OwnerThread() only.
    virtual LRESULT OnMessage(UINT message, WPARAM wParam, LPARAM lParam) = 0;

    std::thread::id OwnerThread() const { return m_owner; }
    // Moves the target to another thread (a target built on one thread and
    // served by another, as in tests and the terminal front end).
    void SetOwnerThread(std::thread::id id) { m_owner = id; }

    // Carries a send from a foreign thread to the owner thread and waits for
    // the handler's result. The default serialises the call under the
    // target's own lock and runs it on the calling thread: right for console
    // targets, whose handlers touch no thread-bound state.
    virtual LRESULT DeliverFromOtherThread(UINT message, WPARAM wParam, LPARAM lParam);

private:
    std::thread::id m_owner;
    std::mutex m_directLock;
};

using HWND = CMessageTarget*;

// Synchronous send. A null handle returns 0 and does nothing.
LRESULT SendMessage(HWND hWnd, UINT message, WPARAM wParam = 0, LPARAM lParam = 0);

// A message queue for a thread that is not a Qt GUI thread: sends from other
// threads are queued here and run when the owner calls Pump. Used by tests
// and by any owner that must keep serving sends while it waits.
class CMessageQueue {
public:
    // Runs every queued send; returns how many ran.
    int Pump();
    // Runs queued sends until `done` returns true or the timeout passes.
    // Returns whether `done` became true.
    bool PumpUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout);
    // Queues a call and blocks the caller until the owner has run it.
    LRESULT Post(const std::function<LRESULT()>& call);

private:
    struct Item {
        std::function<LRESULT()> call;
        LRESULT result = 0;
        bool finished = false;
    };
    std::mutex m_lock;
    std::condition_variable m_wake;  // new work for the owner
    std::condition_variable m_done;  // a queued call finished
    std::deque<std::shared_ptr<Item>> m_items;
};

// A target whose cross-thread sends go through a CMessageQueue that its
// owner pumps, like a Win32 window served by its thread's message loop.
class CQueuedTarget : public CMessageTarget {
public:
    explicit CQueuedTarget(CMessageQueue& queue) : m_queue(queue) {}
    LRESULT DeliverFromOtherThread(UINT message, WPARAM wParam, LPARAM lParam) override;

private:
    CMessageQueue& m_queue;
};
