#pragma once
// A paint device that keeps the text drawn on it, so tests can read what a
// view or a printed page shows.
#include <QPaintDevice>
#include <QPaintEngine>
#include <QStringList>

namespace tvxtest {

class TextRecordingEngine : public QPaintEngine {
public:
    TextRecordingEngine() : QPaintEngine(QPaintEngine::AllFeatures) {}
    bool begin(QPaintDevice*) override { return true; }
    bool end() override { return true; }
    void updateState(const QPaintEngineState&) override {}
    void drawPixmap(const QRectF&, const QPixmap&, const QRectF&) override {}
    void drawPolygon(const QPointF*, int, PolygonDrawMode) override {}
    void drawPolygon(const QPoint*, int, PolygonDrawMode) override {}
    void drawPath(const QPainterPath&) override {}
    void drawTextItem(const QPointF&, const QTextItem& item) override { texts << item.text(); }
    Type type() const override { return QPaintEngine::User; }
    QStringList texts;
};

class TextRecorder : public QPaintDevice {
public:
    TextRecorder(int width = 2000, int height = 20000) : mWidth(width), mHeight(height) {}
    QPaintEngine* paintEngine() const override { return &mEngine; }
    const QStringList& texts() const { return mEngine.texts; }
    // All text drawn, lines joined by blanks (a wrapped value comes in parts).
    QString joined() const { return mEngine.texts.join(QLatin1Char(' ')); }

protected:
    int metric(PaintDeviceMetric metric) const override
    {
        switch (metric) {
        case PdmWidth: return mWidth;
        case PdmHeight: return mHeight;
        case PdmDpiX:
        case PdmDpiY:
        case PdmPhysicalDpiX:
        case PdmPhysicalDpiY: return 96;
        case PdmDepth: return 32;
        case PdmNumColors: return 0x7fffffff;
        case PdmDevicePixelRatio: return 1;
        case PdmDevicePixelRatioScaled: return static_cast<int>(QPaintDevice::devicePixelRatioFScale());
        case PdmWidthMM: return mWidth * 254 / 960;
        case PdmHeightMM: return mHeight * 254 / 960;
        default: return 0;
        }
    }

private:
    int mWidth;
    int mHeight;
    mutable TextRecordingEngine mEngine;
};

} // namespace tvxtest
