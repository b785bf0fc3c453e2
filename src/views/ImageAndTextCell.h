#pragma once
// A text cell with an image on its left and a count badge on its right: the
// group/type outline, the column and smart-type tables and the user list.
// The image is the item's decoration, the count its kCountRole (0: no badge).
#include <QStyledItemDelegate>

class ImageAndTextCell : public QStyledItemDelegate {
    Q_OBJECT
public:
    static constexpr int kImageInset = 6;    // points left of the image and of the text
    static constexpr int kBadgePadding = 18; // added to the number's width
    static constexpr qreal kBadgeRadius = 9;
    static constexpr int kBadgeRightInset = 4;

    explicit ImageAndTextCell(QObject* parent = nullptr);

    // Where the image goes: 6 points from the left, vertically centred
    // (half the difference, rounded up); empty without an image.
    static QRect imageFrameForCellFrame(const QRect& cellFrame, const QSize& imageSize);
    // The badge of a count: as wide as its text plus 18, 4 points from the
    // right edge, vertically centred, at most the text's height plus 6; empty for 0.
    static QRectF badgeFrame(const QRect& cellFrame, int count, const QFontMetrics& metrics);
    // Badge colours (stroke, fill) for a highlighted or plain row.
    static QColor badgeStrokeColor(bool highlighted);
    static QColor badgeFillColor(bool highlighted);

    // What the image cells share: the row's own background and selection
    // without text or icon, the item's decoration as a pixmap of about the
    // given side, and a pixmap's size in points.
    static void drawRowBackground(QPainter* painter, const QStyleOptionViewItem& opt);
    static QPixmap decorationPixmap(const QVariant& value, int side);
    static QSize logicalSize(const QPixmap& pixmap);

    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override;
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;
    // Editing covers the text part only.
    void updateEditorGeometry(QWidget* editor, const QStyleOptionViewItem& option,
                              const QModelIndex& index) const override;
};
