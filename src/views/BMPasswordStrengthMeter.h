#pragma once
// The strength bar of the password generator and the user-password panel: a
// white track with a fill whose length is the strength and whose colour says
// how strong (red, orange, yellow, green).
#include <QList>
#include <QRectF>
#include <QString>
#include <QWidget>

class BMPasswordStrengthMeter : public QWidget {
    Q_OBJECT
public:
    static constexpr qreal kBarHeight = 9;

    explicit BMPasswordStrengthMeter(QWidget* parent = nullptr);

    // Stored clamped to [minimum, maximum]; redraws.
    void setStrenth(float strength);
    void setMinValue(float value) { mMinValue = value; }
    void setMaxValue(float value) { mMaxValue = value; }
    float mProgress() const { return m_progress; }
    float minValue() const { return mMinValue; }
    float maxValue() const { return mMaxValue; }

    // "red" below 0.25, "orange" below 0.5, "yellow" below 0.75, else "green".
    static QString colourNameForProgress(float progress);

    // One picture of the bar and where it goes.
    struct Piece {
        QString imageName;
        QRectF rect;
    };
    // The pictures drawn for a rectangle of the given size: the white track
    // (left, middle, right), then the fill unless the progress is 0.
    static QList<Piece> pieces(const QSizeF& size, float progress);
    // The bar's pictures ("whiteProgressLeft.png", "greenProgressMid.png", ...).
    static QImage pieceImage(const QString& imageName);

    QSize sizeHint() const override { return {160, 16}; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    float mMinValue = 0.0f;
    float mMaxValue = 1.0f;
    float m_progress = 0.0f;
};
