// The search worker thread (see searchworker.h). A wait for the worker runs
// an event loop that the worker itself ends when it is done: no polling, and
// the wait is over as soon as the thread's procedure has returned.
#include "app/searchworker.h"

#include "search/searchcontext.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QMetaObject>

CSearchWorker::CSearchWorker(Procedure procedure)
    : m_procedure(std::move(procedure)), m_state(std::make_shared<State>())
{
}

CSearchWorker::~CSearchWorker()
{
    Wait();
}

bool CSearchWorker::IsAlive() const
{
    return m_state->alive.load();
}

void CSearchWorker::Start()
{
    Wait();
    m_state->alive.store(true);
    std::shared_ptr<State> state = m_state;
    Procedure procedure = m_procedure;
    m_thread = std::thread([state, procedure] {
        try {
            if (procedure) procedure();
        } catch (...) {
            // A worker that dies of an exception must not leave the window
            // searching for ever: report the end as the run would.
            SendMessage(g_hWndMainFrame.load(), WM_SEARCH_FINISHED, 0, 0);
        }
        std::lock_guard<std::mutex> guard(state->lock);
        state->alive.store(false);
        // Queued: the loop lives on the GUI thread and quits there, also
        // when it has not started running yet.
        for (QEventLoop* loop : state->waitingLoops)
            QMetaObject::invokeMethod(loop, &QEventLoop::quit, Qt::QueuedConnection);
    });
}

void CSearchWorker::Wait()
{
    if (!m_thread.joinable()) return;
    // Without an application object there is no event loop to serve sends
    // with, and no window left for the worker to send to: a plain join.
    if (QCoreApplication::instance() != nullptr) {
        QEventLoop loop;
        bool running = false;
        {
            std::lock_guard<std::mutex> guard(m_state->lock);
            running = m_state->alive.load();
            if (running) m_state->waitingLoops.push_back(&loop);
        }
        if (running) {
            loop.exec(QEventLoop::ExcludeUserInputEvents);
            std::lock_guard<std::mutex> guard(m_state->lock);
            std::erase(m_state->waitingLoops, &loop);
        }
    }
    // A wait nested in this one's event loop may have joined the thread.
    if (m_thread.joinable()) m_thread.join();
}
