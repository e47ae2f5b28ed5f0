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
    painter->drawPixmap(option.rect.left(), top, CTreeImages::CheckState(state));
    painter->drawPixmap(option.rect.left() + CTreeImages::kSize, top, CTreeImages::Normal(image));

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
