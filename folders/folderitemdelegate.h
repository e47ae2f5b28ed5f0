// Draws one folder-tree item the way the tree lays it out: the check box in
// the first 16 pixels, the drive or folder icon in the next 16, then the
// label. The tree's click handling relies on this layout: the check box is
// the strip from 32 to 16 pixels left of the label.
#pragma once

#include <QStyledItemDelegate>

class CFolderItemDelegate : public QStyledItemDelegate {
    Q_OBJECT
public:
    // Width of the check box plus the icon in front of every label.
    static constexpr int kImagesWidth = 32;

    explicit CFolderItemDelegate(QObject* parent = nullptr);

    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override;
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;
};
