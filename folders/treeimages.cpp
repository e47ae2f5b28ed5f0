// The tree's check boxes and icons (see treeimages.h).
#include "folders/treeimages.h"

#include "res/themedpicture.h"

#include <QApplication>
#include <QStyle>

#include <array>

namespace {

QPixmap Blank(qreal dpr)
{
    const int side = static_cast<int>(CTreeImages::kSize * dpr + 0.5);
    QPixmap blank(side, side);
    blank.fill(Qt::transparent);
    blank.setDevicePixelRatio(dpr);
    return blank;
}

qreal ScreenRatio()
{
    return qApp != nullptr ? qApp->devicePixelRatio() : 1.0;
}

}  // namespace

QPixmap CTreeImages::CheckState(int state, const QPalette& palette, qreal dpr)
{
    static constexpr std::array<const char*, kCheckStateCount> kNames = {nullptr, "check-unchecked", "check-checked",
                                                                         "check-checked-all"};
    if (state <= 0 || state >= kCheckStateCount) return Blank(dpr);
    return CThemedPicture::Pixmap(kNames[static_cast<std::size_t>(state)], kSize, palette, dpr);
}

QPixmap CTreeImages::CheckState(int state)
{
    return CheckState(state, QGuiApplication::palette(), ScreenRatio());
}

QPixmap CTreeImages::Normal(int index, const QPalette& palette, qreal dpr)
{
    static const std::array<QStyle::StandardPixmap, kNormalCount> kIcons = {
        QStyle::SP_ComputerIcon, QStyle::SP_DriveHDIcon, QStyle::SP_DriveCDIcon, QStyle::SP_DirClosedIcon,
        QStyle::SP_DirOpenIcon,  QStyle::SP_DriveFDIcon, QStyle::SP_DriveFDIcon,
    };
    // The desktop's theme has no common picture for a memory stick or card
    // (the style offers a floppy disk), so the program brings its own.
    if (index == 6) return CThemedPicture::Pixmap("drive-removable", kSize, palette, dpr);
    if (index < 0 || index >= kNormalCount || QApplication::style() == nullptr) return Blank(dpr);
    return QApplication::style()
        ->standardIcon(kIcons[static_cast<std::size_t>(index)])
        .pixmap(QSize(kSize, kSize), dpr);
}

QPixmap CTreeImages::Normal(int index)
{
    return Normal(index, QGuiApplication::palette(), ScreenRatio());
}
