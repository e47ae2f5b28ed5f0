// Drawing of the file-kind pictures (see filekindicons.h).
#include "results/filekindicons.h"

#include <QPainter>
#include <QPainterPath>

#include <array>

namespace {

// A sheet of paper with a folded corner, the shape every kind starts from.
void DrawPage(QPainter& p, const QColor& fill)
{
    QPainterPath page;
    page.moveTo(2.5, 0.5);
    page.lineTo(10.5, 0.5);
    page.lineTo(13.5, 3.5);
    page.lineTo(13.5, 15.5);
    page.lineTo(2.5, 15.5);
    page.closeSubpath();
    p.fillPath(page, fill);
    p.setPen(QPen(QColor(90, 90, 90), 1));
    p.drawPath(page);
    p.drawLine(QPointF(10.5, 0.5), QPointF(10.5, 3.5));
    p.drawLine(QPointF(10.5, 3.5), QPointF(13.5, 3.5));
}

// The binding strip that marks a template.
void DrawBinding(QPainter& p, const QColor& colour)
{
    p.fillRect(QRectF(0, 2, 3, 13), colour);
    p.setPen(QPen(Qt::white, 1));
    for (int y = 4; y < 15; y += 3) p.drawPoint(1, y);
}

// A badge with a letter, the way office suites mark their documents.
void DrawBadge(QPainter& p, const QColor& colour, QChar letter)
{
    const QRectF badge(4, 5, 9, 9);
    p.fillRect(badge, colour);
    QFont font = p.font();
    font.setPixelSize(8);
    font.setBold(true);
    p.setFont(font);
    p.setPen(Qt::white);
    p.drawText(badge, Qt::AlignCenter, QString(letter));
}

void DrawWord(QPainter& p, bool binding)
{
    const QColor blue(43, 87, 154);
    DrawPage(p, Qt::white);
    DrawBadge(p, blue, QLatin1Char('W'));
    if (binding) DrawBinding(p, blue);
}

void DrawExcel(QPainter& p, bool binding)
{
    const QColor green(33, 115, 70);
    DrawPage(p, Qt::white);
    // The grid of cells behind the badge.
    p.setPen(QPen(QColor(160, 200, 170), 1));
    for (int y = 5; y < 15; y += 3) p.drawLine(3, y, 12, y);
    DrawBadge(p, green, QLatin1Char('X'));
    if (binding) DrawBinding(p, green);
}

void DrawText(QPainter& p)
{
    // A note pad: ruled lines under a spiral top.
    DrawPage(p, QColor(255, 255, 225));
    p.setPen(QPen(QColor(120, 140, 200), 1));
    for (int y = 5; y < 15; y += 2) p.drawLine(4, y, 12, y);
    p.setPen(QPen(QColor(60, 60, 60), 1));
    for (int x = 4; x < 12; x += 2) p.drawPoint(x, 1);
}

void DrawWeb(QPainter& p)
{
    // A globe: circle, equator and meridians.
    p.setRenderHint(QPainter::Antialiasing, true);
    const QRectF globe(1.5, 1.5, 13, 13);
    p.setBrush(QColor(70, 140, 220));
    p.setPen(QPen(QColor(20, 60, 130), 1));
    p.drawEllipse(globe);
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(QColor(220, 240, 255), 1));
    p.drawEllipse(QRectF(5, 1.5, 6, 13));
    p.drawLine(QPointF(1.5, 8), QPointF(14.5, 8));
    p.drawLine(QPointF(8, 1.5), QPointF(8, 14.5));
}

QPixmap Draw(int index)
{
    QPixmap pixmap(CFileKindIcons::kSize, CFileKindIcons::kSize);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    switch (index) {
    case 0: DrawWord(p, false); break;
    case 1: DrawWord(p, true); break;
    case 2: DrawExcel(p, false); break;
    case 3: DrawExcel(p, true); break;
    case 4: DrawText(p); break;
    default: DrawWeb(p); break;
    }
    return pixmap;
}

}  // namespace

QPixmap CFileKindIcons::Icon(int index)
{
    if (index < 0 || index >= kCount) return QPixmap();
    static const std::array<QPixmap, kCount> icons = {Draw(0), Draw(1), Draw(2), Draw(3), Draw(4), Draw(5)};
    return icons[static_cast<std::size_t>(index)];
}
