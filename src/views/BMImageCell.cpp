#include "views/BMImageCell.h"

#include "views/ImageAndTextCell.h"

#include <QPainter>
#include <QStyle>

BMImageCell::BMImageCell(QObject* parent) : QStyledItemDelegate(parent) {}

void BMImageCell::paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const
{
    QStyleOptionViewItem opt = option;
    initStyleOption(&opt, index);
    const bool highlighted = opt.state & QStyle::State_Selected;
    if (mBackgroundColor.isValid() && !highlighted)
        painter->fillRect(opt.rect, mBackgroundColor);
    else
        ImageAndTextCell::drawRowBackground(painter, opt);

    const int side = qMin(opt.rect.height() - 2, 20);
    const QPixmap pixmap = ImageAndTextCell::decorationPixmap(index.data(Qt::DecorationRole), side);
    if (pixmap.isNull())
        return;
    QSize size = ImageAndTextCell::logicalSize(pixmap);
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
