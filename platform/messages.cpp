// Synchronous message delivery between threads (see messages.h).
#include "platform/messages.h"

CMessageTarget::CMessageTarget() : m_owner(std::this_thread::get_id()) {}

CMessageTarget::~CMessageTarget() = default;

LRESULT CMessageTarget::DeliverFromOtherThread(UINT message, WPARAM wParam, LPARAM lParam)
{
    std::lock_guard<std::mutex> guard(m_directLock);
    return OnMessage(message, wParam, lParam);
}

LRESULT SendMessage(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (hWnd == nullptr) return 0;
    if (std::this_thread::get_id() == hWnd->OwnerThread()) return hWnd->OnMessage(message, wParam, lParam);
    return hWnd->DeliverFromOtherThread(message, wParam, lParam);
}

int CMessageQueue::Pump()
{
    int ran = 0;
    for (;;) {
        std::shared_ptr<Item> item;
        {
            std::lock_guard<std::mutex> guard(m_lock);
            if (m_items.empty()) break;
            item = m_items.front();
            m_items.pop_front();
        }
        // The lock is not held while the handler runs: it may send again.
        LRESULT result = item->call();
        {
            std::lock_guard<std::mutex> guard(m_lock);
            item->result = result;
            item->finished = true;
        }
        m_done.notify_all();
        ++ran;
    }
    return ran;
}

bool CMessageQueue::PumpUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout)
{
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        Pump();
        if (done()) return true;
        std::unique_lock<std::mutex> guard(m_lock);
        if (std::chrono::steady_clock::now() >= deadline) return done();
        // Wake for new work, or poll `done` every few milliseconds.
        m_wake.wait_for(guard, std::chrono::milliseconds(5), [this] { return !m_items.empty(); });
    }
}

LRESULT CMessageQueue::Post(const std::function<LRESULT()>& call)
{
    auto item = std::make_shared<Item>();
    item->call = call;
    std::unique_lock<std::mutex> guard(m_lock);
    m_items.push_back(item);
    m_wake.notify_all();
    m_done.wait(guard, [&item] { return item->finished; });
    return item->result;
}

LRESULT CQueuedTarget::DeliverFromOtherThread(UINT message, WPARAM wParam, LPARAM lParam)
{
    return m_queue.Post([this, message, wParam, lParam] { return OnMessage(message, wParam, lParam); });
}
