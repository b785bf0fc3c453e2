#include "model/ColorAdditions.h"

namespace {

// A component in 0..1 times 255 in single precision, truncated toward zero.
int64_t scaledComponent(float component)
{
    return static_cast<int64_t>(component * 255.0f);
}

} // namespace

int64_t int64Value(const QColor& color)
{
    if (!color.isValid())
        throw ColorCreateException();
    const QColor rgb = color.toRgb();
    return scaledComponent(rgb.redF()) + scaledComponent(rgb.greenF()) * 256
        + scaledComponent(rgb.blueF()) * 65536;
}

QColor colorFromInt64(int64_t value)
{
    return QColor(int(value & 255), int((value >> 8) & 255), int((value >> 16) & 255));
}
