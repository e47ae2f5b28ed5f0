// The result view (see varnelview.h).
#include "app/varnelview.h"

#include "results/resultlist.h"

#include <QResizeEvent>

CVarnelView::CVarnelView(QWidget* parent) : QWidget(parent), m_wndList(new CResultList(this))
{
    setObjectName(QStringLiteral("varnelView"));
    m_wndList->setGeometry(rect());
    // Sets the columns and publishes the list as g_hWndResultList.
    m_wndList->InitColumns();
}

void CVarnelView::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    m_wndList->setGeometry(0, 0, event->size().width(), event->size().height());
}
