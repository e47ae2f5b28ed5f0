// Drawing of the tree's check boxes and lookup of its icons (see treeimages.h).
#include "folders/treeimages.h"

#include <QApplication>
#include <QPainter>
#include <QPen>
#include <QStyle>

#include <array>

namespace {

QPixmap BuildCheckStrip()
{
    QPixmap strip(CTreeImages::kSize * CTreeImages::kCheckStateCount, CTreeImages::kSize);
    strip.fill(Qt::transparent);
    QPainter p(&strip);
    p.setRenderHint(QPainter::Antialiasing, false);
    const QColor outline(Qt::black);
    const QColor mark(0, 0, 255);
    for (int state = 1; state < CTreeImages::kCheckStateCount; ++state) {
        const int x = state * CTreeImages::kSize;
        // The box: a 13-pixel square, white inside, black outline.
        const QRect box(x + 1, 1, 13, 13);
        p.fillRect(box, Qt::white);
        p.setPen(QPen(outline, 1));
        p.drawRect(box.adjusted(0, 0, -1, -1));
        if (state >= 2) {
            // The check mark, two pixels thick.
            p.setPen(QPen(mark, 2, Qt::SolidLine, Qt::SquareCap, Qt::MiterJoin));
            const QPoint a(x + 4, 7), b(x + 6, 10), c(x + 11, 4);
            p.drawLine(a, b);
            p.drawLine(b, c);
        }
        if (state == 3) {
            // The small plus in the upper left: "and every sub-folder".
            p.setPen(QPen(mark, 1));
            p.drawLine(QPoint(x + 3, 4), QPoint(x + 7, 4));
            p.drawLine(QPoint(x + 5, 2), QPoint(x + 5, 6));
        }
    }
    return strip;
}

}  // namespace

QPixmap CTreeImages::CheckStrip()
{
    static const QPixmap strip = BuildCheckStrip();
    return strip;
}

QPixmap CTreeImages::CheckState(int state)
{
    if (state < 0 || state >= kCheckStateCount) state = 0;
    return CheckStrip().copy(state * kSize, 0, kSize, kSize);
}

QPixmap CTreeImages::Normal(int index)
{
    static const std::array<QStyle::StandardPixmap, kNormalCount> kIcons = {
        QStyle::SP_ComputerIcon, QStyle::SP_DriveHDIcon, QStyle::SP_DriveCDIcon, QStyle::SP_DirClosedIcon,
        QStyle::SP_DirOpenIcon,  QStyle::SP_DriveFDIcon, QStyle::SP_DriveFDIcon,
    };
    if (index < 0 || index >= kNormalCount || QApplication::style() == nullptr) {
        QPixmap blank(kSize, kSize);
        blank.fill(Qt::transparent);
        return blank;
    }
    return QApplication::style()->standardIcon(kIcons[static_cast<std::size_t>(index)]).pixmap(kSize, kSize);
}
