// The search worker thread, kept by the main frame so that no two searches
// ever share the search context and no worker outlives its windows. The
// worker reports by synchronous sends to the GUI thread, so every wait for
// it here keeps running the GUI thread's event loop: a worker blocked in a
// send is served, and the window keeps painting while it waits.
#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

class QEventLoop;

class CSearchWorker {
public:
    using Procedure = std::function<void()>;

    // `procedure` is what the thread runs; the program passes
    // SearchThreadProc.
    explicit CSearchWorker(Procedure procedure);
    // Waits for a running worker (serving its sends) before the thread
    // object goes away.
    ~CSearchWorker();
    CSearchWorker(const CSearchWorker&) = delete;
    CSearchWorker& operator=(const CSearchWorker&) = delete;

    // Starts a new worker. A previous one is waited for first, so at most
    // one runs at a time.
    void Start();
    // Whether a worker thread is still running its procedure.
    bool IsAlive() const;
    // Waits until the worker has ended and joins it, running the event loop
    // meanwhile. User input is held back until the wait is over, so nothing
    // the user does can start or close anything in the middle of it.
    void Wait();

private:
    // Shared with the thread. As its very last step the thread clears
    // `alive` and tells every event loop Wait() runs for it to quit; both
    // under `lock`, so a loop can neither be missed nor be gone by then.
    struct State {
        std::atomic<bool> alive{false};
        std::mutex lock;
        std::vector<QEventLoop*> waitingLoops;
    };

    Procedure m_procedure;
    std::thread m_thread;
    std::shared_ptr<State> m_state;
};
