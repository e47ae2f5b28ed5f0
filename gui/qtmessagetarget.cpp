// Cross-thread delivery for Qt widgets (see qtmessagetarget.h): a send from
// a foreign thread becomes a blocking queued call on the context's thread.
#include "gui/qtmessagetarget.h"

#include <QMetaObject>

CQtMessageTarget::CQtMessageTarget(QObject* context, Handler handler)
    : m_context(context), m_handler(std::move(handler))
{
    // The owner thread is the one constructing the target, which the base
    // class has already recorded; the context's thread is not looked up.
    // A widget builds its target as a member on the GUI thread, where the
    // widget itself lives, so the two agree.
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
