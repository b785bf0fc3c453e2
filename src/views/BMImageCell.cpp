#include "views/BMImageCell.h"

#include <QApplication>
#include <QIcon>
#include <QPainter>
#include <QStyle>

BMImageCell::BMImageCell(QObject* parent) : QStyledItemDelegate(parent) {}

void BMImageCell::paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const
{
    QStyleOptionViewItem opt = option;
    initStyleOption(&opt, index);
    const bool highlighted = opt.state & QStyle::State_Selected;
    const QWidget* widget = option.widget;
    QStyle* style = widget ? widget->style() : QApplication::style();

    QStyleOptionViewItem background = opt;
    background.text.clear();
    background.icon = QIcon();
    background.features &= ~QStyleOptionViewItem::HasDecoration;
    if (mBackgroundColor.isValid() && !highlighted)
        painter->fillRect(opt.rect, mBackgroundColor);
    else
        style->drawControl(QStyle::CE_ItemViewItem, &background, painter, widget);

    const QVariant value = index.data(Qt::DecorationRole);
    QPixmap pixmap;
    const int side = qMin(opt.rect.height() - 2, 20);
    if (value.userType() == QMetaType::QIcon)
        pixmap = value.value<QIcon>().pixmap(side, side);
    else if (value.userType() == QMetaType::QImage)
        pixmap = QPixmap::fromImage(value.value<QImage>());
    else if (value.userType() == QMetaType::QPixmap)
        pixmap = value.value<QPixmap>();
    if (pixmap.isNull())
        return;
    QSize size = (QSizeF(pixmap.size()) / pixmap.devicePixelRatio()).toSize();
    if (size.height() > side)
        size.scale(side, side, Qt::KeepAspectRatio);
    QRect frame = opt.rect;
    if (mAlignment & Qt::AlignLeft)
        frame.setLeft(frame.left() + 6);
    const QRect target = QStyle::alignedRect(opt.direction, (mAlignment & Qt::AlignLeft) ? Qt::AlignLeft | Qt::AlignVCenter
                                                                                          : Qt::AlignCenter,
                                             size, frame);
    painter->save();
    painter->setRenderHint(QPainter::SmoothPixmapTransform);
    painter->drawPixmap(target, pixmap);
    painter->restore();
}

QSize BMImageCell::sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const
{
    QSize size = QStyledItemDelegate::sizeHint(option, index);
    return size.expandedTo(QSize(24, 22));
}
