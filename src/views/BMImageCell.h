#pragma once
// An image cell with a background of its own (the record list's icon,
// notes and attachment columns).
#include <QColor>
#include <QStyledItemDelegate>

class BMImageCell : public QStyledItemDelegate {
    Q_OBJECT
public:
    explicit BMImageCell(QObject* parent = nullptr);

    // None at first: the row's own background shows.
    void setBackgroundColor(const QColor& color) { mBackgroundColor = color; }
    const QColor& backgroundColor() const { return mBackgroundColor; }
    // Left-aligned images stand 6 points from the left edge; others are centred.
    void setImageAlignment(Qt::Alignment alignment) { mAlignment = alignment; }
    Qt::Alignment imageAlignment() const { return mAlignment; }

    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override;
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;

private:
    QColor mBackgroundColor;
    Qt::Alignment mAlignment = Qt::AlignCenter;
};
