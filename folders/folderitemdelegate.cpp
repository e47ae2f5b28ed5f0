// Painting of folder-tree items (see folderitemdelegate.h).
#include "folders/folderitemdelegate.h"

#include "folders/directorytree.h"
#include "folders/treeimages.h"

#include <QPainter>

CFolderItemDelegate::CFolderItemDelegate(QObject* parent) : QStyledItemDelegate(parent) {}

void CFolderItemDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const
{
    const int top = option.rect.top() + (option.rect.height() - CTreeImages::kSize) / 2;
    const int state = index.data(CDirectoryTree::kCheckStateRole).toInt();
    const int image = index.data(CDirectoryTree::kImageRole).toInt();
    // Drawn for the view's palette at the ratio of the screen it is on, so
    // they stay readable on a dark desktop and sharp at 200%.
    const qreal dpr = painter->device() != nullptr ? painter->device()->devicePixelRatioF() : 1.0;
    painter->drawPixmap(option.rect.left(), top, CTreeImages::CheckState(state, option.palette, dpr));
    painter->drawPixmap(option.rect.left() + CTreeImages::kSize, top, CTreeImages::Normal(image, option.palette, dpr));

    // The label (with its selection highlight) takes the rest of the cell.
    QStyleOptionViewItem label(option);
    label.rect.setLeft(option.rect.left() + kImagesWidth);
    QStyledItemDelegate::paint(painter, label, index);
}

QSize CFolderItemDelegate::sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const
{
    QSize size = QStyledItemDelegate::sizeHint(option, index);
    size.setWidth(size.width() + kImagesWidth);
    size.setHeight(std::max(size.height(), CTreeImages::kSize + 2));
    return size;
}
