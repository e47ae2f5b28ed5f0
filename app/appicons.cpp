// Toolbar and program icons (see appicons.h). Each is drawn on a square
// canvas of side s in units of s/16, then added to the icon at the sizes
// toolbars, menus and window managers ask for.
#include "app/appicons.h"

#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

#include <functional>

namespace {

using Painter = std::function<void(QPainter&, qreal)>;

QIcon DrawIcon(const Painter& paint)
{
    QIcon icon;
    for (int side : {16, 24, 32, 48, 64}) {
        QPixmap pixmap(side, side);
        pixmap.fill(Qt::transparent);
        QPainter painter(&pixmap);
        painter.setRenderHint(QPainter::Antialiasing);
        paint(painter, side / 16.0);
        painter.end();
        icon.addPixmap(pixmap);
    }
    return icon;
}

// A magnifying glass: blue-tinted lens, dark rim, brown handle.
void PaintLens(QPainter& p, qreal u, QPointF centre, qreal radius)
{
    const QPointF handleStart = centre + QPointF(radius * 0.7, radius * 0.7);
    const QPointF handleEnd = centre + QPointF(radius * 1.9, radius * 1.9);
    p.setPen(QPen(QColor(0x6b, 0x42, 0x1f), 2.4 * u, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(handleStart, handleEnd);
    p.setPen(QPen(QColor(0x2b, 0x3a, 0x55), 1.3 * u));
    p.setBrush(QColor(0xbf, 0xe3, 0xff, 0xe0));
    p.drawEllipse(centre, radius, radius);
    p.setPen(QPen(QColor(255, 255, 255, 200), 0.8 * u, Qt::SolidLine, Qt::RoundCap));
    p.drawArc(QRectF(centre.x() - radius * 0.6, centre.y() - radius * 0.6, radius * 1.2, radius * 1.2),
              100 * 16, 70 * 16);
}

}  // namespace

QIcon FindIcon()
{
    return DrawIcon([](QPainter& p, qreal u) { PaintLens(p, u, QPointF(6.5 * u, 6.5 * u), 4.3 * u); });
}

QIcon StopIcon()
{
    return DrawIcon([](QPainter& p, qreal u) {
        // A red octagon with a white bar, the sign everyone reads as "stop".
        QPainterPath octagon;
        const qreal a = 4.2 * u;
        const qreal b = 11.8 * u;
        const qreal lo = 1.0 * u;
        const qreal hi = 15.0 * u;
        octagon.moveTo(a, lo);
        octagon.lineTo(b, lo);
        octagon.lineTo(hi, a);
        octagon.lineTo(hi, b);
        octagon.lineTo(b, hi);
        octagon.lineTo(a, hi);
        octagon.lineTo(lo, b);
        octagon.lineTo(lo, a);
        octagon.closeSubpath();
        p.setPen(QPen(QColor(0x7a, 0x0c, 0x0c), 0.9 * u));
        p.setBrush(QColor(0xd6, 0x24, 0x24));
        p.drawPath(octagon);
        p.setPen(Qt::NoPen);
        p.setBrush(Qt::white);
        p.drawRect(QRectF(4.0 * u, 7.0 * u, 8.0 * u, 2.0 * u));
    });
}

QIcon ProgramIcon()
{
    return DrawIcon([](QPainter& p, qreal u) {
        // A sheet of paper with text lines, and the lens over its corner.
        QPainterPath sheet;
        sheet.moveTo(2.0 * u, 1.0 * u);
        sheet.lineTo(9.0 * u, 1.0 * u);
        sheet.lineTo(12.0 * u, 4.0 * u);
        sheet.lineTo(12.0 * u, 14.0 * u);
        sheet.lineTo(2.0 * u, 14.0 * u);
        sheet.closeSubpath();
        p.setPen(QPen(QColor(0x44, 0x44, 0x44), 0.8 * u));
        p.setBrush(Qt::white);
        p.drawPath(sheet);
        p.setPen(QPen(QColor(0x1f, 0x5f, 0xbf), 0.8 * u));
        for (int line = 0; line < 4; ++line) {
            const qreal y = (4.5 + 2.0 * line) * u;
            p.drawLine(QPointF(3.5 * u, y), QPointF((line == 0 ? 8.0 : 10.5) * u, y));
        }
        PaintLens(p, u, QPointF(10.0 * u, 10.0 * u), 3.2 * u);
    });
}
