#include "views/ImageAndTextCell.h"

#include "views/BMViewRoles.h"

#include <QApplication>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <QStyle>


ImageAndTextCell::ImageAndTextCell(QObject* parent) : QStyledItemDelegate(parent) {}

QPixmap ImageAndTextCell::decorationPixmap(const QVariant& value, int side)
{
    if (value.canConvert<QIcon>() && value.userType() == QMetaType::QIcon)
        return value.value<QIcon>().pixmap(side, side);
    if (value.userType() == QMetaType::QImage) {
        const QImage image = value.value<QImage>();
        return image.isNull() ? QPixmap() : QPixmap::fromImage(image);
    }
    if (value.userType() == QMetaType::QPixmap)
        return value.value<QPixmap>();
    return {};
}

QSize ImageAndTextCell::logicalSize(const QPixmap& pixmap)
{
    return (QSizeF(pixmap.size()) / pixmap.devicePixelRatio()).toSize();
}

void ImageAndTextCell::drawRowBackground(QPainter* painter, const QStyleOptionViewItem& opt)
{
    QStyleOptionViewItem background = opt;
    background.text.clear();
    background.icon = QIcon();
    background.features &= ~QStyleOptionViewItem::HasDecoration;
    const QWidget* widget = opt.widget;
    QStyle* style = widget ? widget->style() : QApplication::style();
    style->drawControl(QStyle::CE_ItemViewItem, &background, painter, widget);
}

QRect ImageAndTextCell::imageFrameForCellFrame(const QRect& cellFrame, const QSize& imageSize)
{
    if (imageSize.isEmpty())
        return {};
    const int dy = (cellFrame.height() - imageSize.height() + 1) / 2;
    return QRect(QPoint(cellFrame.left() + kImageInset, cellFrame.top() + dy), imageSize);
}

QRectF ImageAndTextCell::badgeFrame(const QRect& cellFrame, int count, const QFontMetrics& metrics)
{
    if (count == 0)
        return {};
    const qreal width = metrics.horizontalAdvance(QString::number(count)) + kBadgePadding;
    // Inset 1 point from top and bottom, no taller than a pill of the text.
    const qreal height = qMin<qreal>(cellFrame.height() - 2, metrics.height() + 6);
    const qreal top = cellFrame.top() + (cellFrame.height() - height) / 2 - 0.5;
    return QRectF(cellFrame.right() + 1 - kBadgeRightInset - width, top, width, height);
}

QColor ImageAndTextCell::badgeStrokeColor(bool highlighted)
{
    return highlighted ? QColor::fromRgbF(0.41f, 0.51f, 0.51f) : QColor::fromRgbF(0.643f, 0.694f, 0.796f);
}

QColor ImageAndTextCell::badgeFillColor(bool highlighted)
{
    return highlighted ? QColor::fromRgbF(0.51f, 0.51f, 0.51f) : QColor::fromRgbF(0.643f, 0.694f, 0.796f);
}

void ImageAndTextCell::paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const
{
    QStyleOptionViewItem opt = option;
    initStyleOption(&opt, index);
    drawRowBackground(painter, opt);

    const int side = qMin(24, qMax(16, opt.rect.height() - 4));
    const QPixmap pixmap = decorationPixmap(index.data(Qt::DecorationRole), side);
    if (pixmap.isNull())
        return; // a cell without image draws nothing of its own

    QSize imageSize = logicalSize(pixmap);
    if (imageSize.height() > opt.rect.height() - 2)
        imageSize.scale(opt.rect.height() - 2, opt.rect.height() - 2, Qt::KeepAspectRatio);
    const bool highlighted = opt.state & QStyle::State_Selected;

    painter->save();
    painter->setRenderHint(QPainter::Antialiasing);
    painter->setRenderHint(QPainter::SmoothPixmapTransform);
    const QRect imageRect = imageFrameForCellFrame(opt.rect, imageSize);
    painter->drawPixmap(imageRect, pixmap);

    const int count = index.data(kCountRole).toInt();
    QFont badgeFont = opt.font;
    badgeFont.setBold(true);
    badgeFont.setPointSizeF(qMax(7.0, opt.font.pointSizeF() - 1));
    const QFontMetrics badgeMetrics(badgeFont);
    const QRectF badge = badgeFrame(opt.rect, count, badgeMetrics);

    QRect textRect = opt.rect.adjusted(imageSize.width() + 2 * kImageInset, 0, 0, 0);
    if (!badge.isNull())
        textRect.setRight(int(badge.left()) - 4);
    painter->setFont(opt.font);
    painter->setPen(opt.palette.color(highlighted ? QPalette::HighlightedText : QPalette::Text));
    const QString text = opt.fontMetrics.elidedText(opt.text, Qt::ElideRight, textRect.width());
    painter->drawText(textRect, Qt::AlignLeft | Qt::AlignVCenter, text);

    if (!badge.isNull()) {
        QPainterPath path;
        const qreal radius = qMin(kBadgeRadius, badge.height() / 2);
        path.addRoundedRect(badge, radius, radius);
        painter->setPen(QPen(badgeStrokeColor(highlighted), 1));
        painter->setBrush(badgeFillColor(highlighted));
        painter->drawPath(path);
        painter->setFont(badgeFont);
        painter->setPen(Qt::white);
        painter->drawText(badge, Qt::AlignCenter, QString::number(count));
    }
    painter->restore();
}

QSize ImageAndTextCell::sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const
{
    QStyleOptionViewItem opt = option;
    initStyleOption(&opt, index);
    const QSize text = opt.fontMetrics.size(Qt::TextSingleLine, opt.text);
    const QPixmap pixmap = decorationPixmap(index.data(Qt::DecorationRole), 24);
    const QSize image = pixmap.isNull() ? QSize() : logicalSize(pixmap);
    int width = text.width() + kImageInset + (image.isEmpty() ? 0 : image.width() + kImageInset);
    const int count = index.data(kCountRole).toInt();
    if (count != 0)
        width += opt.fontMetrics.horizontalAdvance(QString::number(count)) + kBadgePadding + 6;
    return QSize(width, qMax(text.height(), image.height()) + 6);
}

void ImageAndTextCell::updateEditorGeometry(QWidget* editor, const QStyleOptionViewItem& option,
                                            const QModelIndex& index) const
{
    QStyleOptionViewItem opt = option;
    const QPixmap pixmap = decorationPixmap(index.data(Qt::DecorationRole), 24);
    if (!pixmap.isNull())
        opt.rect.setLeft(opt.rect.left() + logicalSize(pixmap).width() + kImageInset);
    QStyledItemDelegate::updateEditorGeometry(editor, opt, index);
}
