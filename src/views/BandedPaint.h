#pragma once
// Painting a tall shape on screen in bands of a few rows. The raster engine
// hands the rows of a tall fill to its thread pool and waits for those
// threads, which a busy machine serves late; the rows of a band it fills at
// once. The result is the same, pixel for pixel.
#include <QRect>

#include <functional>

class QPainter;

namespace bmpaint {

inline constexpr int kBandRows = 48;

// Calls paint once per band of `area` (device pixels), clipped to the band.
void paintInBands(QPainter& painter, const QRect& area, const std::function<void()>& paint, int rows = kBandRows);

} // namespace bmpaint
