// The tree's check boxes and icons (see treeimages.h).
#include "folders/treeimages.h"

#include "res/icons.h"

#include <QApplication>
#include <QStyle>

#include <array>

namespace {

QPixmap Blank()
{
    QPixmap blank(CTreeImages::kSize, CTreeImages::kSize);
    blank.fill(Qt::transparent);
    return blank;
}

}  // namespace

QPixmap CTreeImages::CheckState(int state)
{
    // Drawn once: the tree paints a check box for every visible row.
    static const std::array<QPixmap, kCheckStateCount> kStates = {
        Blank(),
        ResourcePixmap("check-unchecked", kSize),
        ResourcePixmap("check-checked", kSize),
        ResourcePixmap("check-checked-all", kSize),
    };
    if (state < 0 || state >= kCheckStateCount) state = 0;
    return kStates[static_cast<std::size_t>(state)];
}

QPixmap CTreeImages::Normal(int index)
{
    static const std::array<QStyle::StandardPixmap, kNormalCount> kIcons = {
        QStyle::SP_ComputerIcon, QStyle::SP_DriveHDIcon, QStyle::SP_DriveCDIcon, QStyle::SP_DirClosedIcon,
        QStyle::SP_DirOpenIcon,  QStyle::SP_DriveFDIcon, QStyle::SP_DriveFDIcon,
    };
    if (index < 0 || index >= kNormalCount || QApplication::style() == nullptr) return Blank();
    return QApplication::style()->standardIcon(kIcons[static_cast<std::size_t>(index)]).pixmap(kSize, kSize);
}
