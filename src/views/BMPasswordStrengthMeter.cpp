#include "views/BMPasswordStrengthMeter.h"

#include <QFile>
#include <QHash>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>

#include <algorithm>
#include <cmath>

BMPasswordStrengthMeter::BMPasswordStrengthMeter(QWidget* parent) : QWidget(parent)
{
    setMinimumHeight(int(kBarHeight) + 4);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
}

void BMPasswordStrengthMeter::setStrenth(float strength)
{
    m_progress = std::clamp(strength, mMinValue, std::max(mMinValue, mMaxValue));
    update();
}

QString BMPasswordStrengthMeter::colourNameForProgress(float progress)
{
    if (progress < 0.25f)
        return QStringLiteral("red");
    if (progress < 0.5f)
        return QStringLiteral("orange");
    if (progress < 0.75f)
        return QStringLiteral("yellow");
    return QStringLiteral("green");
}

QList<BMPasswordStrengthMeter::Piece> BMPasswordStrengthMeter::pieces(const QSizeF& size, float progress)
{
    const qreal width = size.width();
    const qreal y = (size.height() - kBarHeight) / 2;
    QList<Piece> out{
        {QStringLiteral("whiteProgressLeft.png"), QRectF(0, y, 4.5, kBarHeight)},
        {QStringLiteral("whiteProgressMid.png"), QRectF(4.5, y, std::max<qreal>(0, std::ceil(width - 8)), kBarHeight)},
        {QStringLiteral("whiteProgressRight.png"), QRectF(width - 4.5, y, 4.5, kBarHeight)},
    };
    if (progress != 0) {
        const QString colour = colourNameForProgress(progress);
        const qreal filled = progress * width;
        out.append({colour + QStringLiteral("ProgressLeft.png"), QRectF(0, y, 5, kBarHeight)});
        // A short fill has no middle, rather than a middle of negative width.
        out.append({colour + QStringLiteral("ProgressMid.png"),
                    QRectF(4.5, y, std::max<qreal>(0, std::ceil(filled - 8)), kBarHeight)});
        out.append({colour + QStringLiteral("ProgressRight.png"), QRectF(filled - 4.5, y, 5, kBarHeight)});
    }
    return out;
}

namespace {

QColor baseColour(const QString& name)
{
    if (name.startsWith(QLatin1String("red")))
        return QColor(214, 52, 43);
    if (name.startsWith(QLatin1String("orange")))
        return QColor(240, 138, 36);
    if (name.startsWith(QLatin1String("yellow")))
        return QColor(236, 198, 30);
    if (name.startsWith(QLatin1String("green")))
        return QColor(58, 168, 69);
    return QColor(250, 250, 250);
}

// The pieces are drawn here rather than shipped as files: a rounded bar, cut
// into its left end, a stretchable middle and its right end.
QImage drawnPiece(const QString& name)
{
    constexpr int kScale = 4; // pixels per point, sharp when scaled down
    const bool left = name.contains(QLatin1String("Left"));
    const bool right = name.contains(QLatin1String("Right"));
    const int widthPoints = left || right ? 5 : 4;
    QImage image(widthPoints * kScale, int(BMPasswordStrengthMeter::kBarHeight) * kScale,
                 QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    const QColor base = baseColour(name);
    const bool white = name.startsWith(QLatin1String("white"));
    QLinearGradient gradient(0, 0, 0, image.height());
    gradient.setColorAt(0, white ? QColor(214, 214, 214) : base.lighter(135));
    gradient.setColorAt(0.5, white ? QColor(240, 240, 240) : base);
    gradient.setColorAt(1, white ? QColor(255, 255, 255) : base.darker(115));
    // The whole rounded bar is three images wide; draw the part this piece shows.
    const qreal h = image.height();
    QRectF bar(0, 0, image.width(), h);
    if (left)
        bar.setWidth(image.width() * 3);
    else if (right)
        bar.setLeft(-image.width() * 2);
    else
        bar.adjust(-h, 0, h, 0);
    QPainterPath path;
    path.addRoundedRect(bar.adjusted(0.5 * kScale, 0.5 * kScale, -0.5 * kScale, -0.5 * kScale), h / 2 - kScale,
                        h / 2 - kScale);
    painter.setBrush(gradient);
    painter.setPen(QPen(white ? QColor(160, 160, 160) : base.darker(140), kScale * 0.75));
    painter.drawPath(path);
    return image;
}

} // namespace

QImage BMPasswordStrengthMeter::pieceImage(const QString& imageName)
{
    static QHash<QString, QImage> cache;
    auto it = cache.find(imageName);
    if (it == cache.end()) {
        const QString resource = QStringLiteral(":/images/") + imageName;
        QImage image = QFile::exists(resource) ? QImage(resource) : drawnPiece(imageName);
        it = cache.insert(imageName, image);
    }
    return *it;
}

void BMPasswordStrengthMeter::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.setCompositionMode(QPainter::CompositionMode_SourceOver);
    for (const Piece& piece : pieces(size(), m_progress))
        if (piece.rect.width() > 0)
            painter.drawImage(piece.rect, pieceImage(piece.imageName));
}
