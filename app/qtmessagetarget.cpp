// Cross-thread delivery for Qt widgets (see qtmessagetarget.h).
#include "app/qtmessagetarget.h"

#include <QMetaObject>
#include <QThread>

CQtMessageTarget::CQtMessageTarget(QObject* context, Handler handler)
    : m_context(context), m_handler(std::move(handler))
{
    if (context != nullptr && context->thread() != nullptr) {
        // Owner is the thread the context lives on, normally the GUI thread.
        SetOwnerThread(std::this_thread::get_id());
    }
}

LRESULT CQtMessageTarget::OnMessage(UINT message, WPARAM wParam, LPARAM lParam)
{
    return m_handler ? m_handler(message, wParam, lParam) : 0;
}

LRESULT CQtMessageTarget::DeliverFromOtherThread(UINT message, WPARAM wParam, LPARAM lParam)
{
    QObject* context = m_context.data();
    if (context == nullptr) return 0;
    LRESULT result = 0;
    QMetaObject::invokeMethod(
        context, [this, &result, message, wParam, lParam] { result = OnMessage(message, wParam, lParam); },
        Qt::BlockingQueuedConnection);
    return result;
}
