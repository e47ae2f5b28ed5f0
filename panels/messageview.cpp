// The message view (see messageview.h).
#include "panels/messageview.h"

#include "panels/messagepanel.h"

#include <QResizeEvent>

CMessageView::CMessageView(QWidget* parent) : QWidget(parent), m_dlgMessage(new CMessagePanel(this))
{
    setObjectName(QStringLiteral("messageView"));
    m_dlgMessage->setGeometry(rect());
}

void CMessageView::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    m_dlgMessage->setGeometry(0, 0, event->size().width(), event->size().height());
}
