// The keyword view (see infosetupview.h).
#include "panels/infosetupview.h"

#include "panels/keywordpanel.h"

#include <QResizeEvent>

CInfoSetupView::CInfoSetupView(QWidget* parent) : QWidget(parent), m_dlgKeyword(new CKeywordPanel(this))
{
    setObjectName(QStringLiteral("infoSetupView"));
    m_dlgKeyword->setGeometry(rect());
}

void CInfoSetupView::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    m_dlgKeyword->setGeometry(0, 0, event->size().width(), event->size().height());
}
