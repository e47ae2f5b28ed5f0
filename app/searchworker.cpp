// The search worker thread (see searchworker.h).
#include "app/searchworker.h"

#include "search/searchcontext.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>

CSearchWorker::CSearchWorker(Procedure procedure)
    : m_procedure(std::move(procedure)), m_alive(std::make_shared<std::atomic<bool>>(false))
{
}

CSearchWorker::~CSearchWorker()
{
    Wait();
}

bool CSearchWorker::IsAlive() const
{
    return m_alive->load();
}

void CSearchWorker::Start()
{
    Wait();
    m_alive->store(true);
    std::shared_ptr<std::atomic<bool>> alive = m_alive;
    Procedure procedure = m_procedure;
    m_thread = std::thread([alive, procedure] {
        try {
            if (procedure) procedure();
        } catch (...) {
            // A worker that dies of an exception must not leave the window
            // searching for ever: report the end as the run would.
            SendMessage(g_hWndMainFrame.load(), WM_SEARCH_FINISHED, 0, 0);
        }
        alive->store(false);
    });
}

void CSearchWorker::Wait()
{
    if (!m_thread.joinable()) return;
    // Without an application object there is no event loop to serve sends
    // with, and no window left for the worker to send to: a plain join.
    if (m_alive->load() && QCoreApplication::instance() != nullptr) {
        QEventLoop loop;
        QTimer poll;
        poll.setInterval(5);
        QObject::connect(&poll, &QTimer::timeout, &loop, [this, &loop] {
            if (!m_alive->load()) loop.quit();
        });
        poll.start();
        if (m_alive->load()) loop.exec(QEventLoop::ExcludeUserInputEvents);
    }
    m_thread.join();
}
