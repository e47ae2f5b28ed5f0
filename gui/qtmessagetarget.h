// Makes a Qt widget a message target. The handler runs on the widget's GUI
// thread: a send from the worker is queued to that thread and the worker
// blocks until the handler has returned (Qt's blocking queued call), which
// keeps the synchronous SendMessage contract. The GUI thread must therefore
// never block on the worker without running its event loop.
#pragma once

#include "platform/messages.h"

#include <QObject>
#include <QPointer>

#include <functional>

class CQtMessageTarget : public CMessageTarget {
public:
    using Handler = std::function<LRESULT(UINT, WPARAM, LPARAM)>;

    // `context` is the QObject whose thread runs the handler; `handler` is
    // called with every message. The target must be constructed on the
    // context's thread (sends from that thread call the handler directly)
    // and destroyed before the context: make it a member of the widget.
    CQtMessageTarget(QObject* context, Handler handler);

    LRESULT OnMessage(UINT message, WPARAM wParam, LPARAM lParam) override;
    LRESULT DeliverFromOtherThread(UINT message, WPARAM wParam, LPARAM lParam) override;

private:
    QPointer<QObject> m_context;
    Handler m_handler;
};
