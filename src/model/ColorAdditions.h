#pragma once
// The colour's 64-bit integer form, as the preferences store it (ROWCOLOR).
#include <QColor>

#include <cstdint>
#include <stdexcept>

// Raised when a colour has no RGB form (an invalid QColor).
class ColorCreateException : public std::runtime_error {
public:
    ColorCreateException() : std::runtime_error("Color creation failed") { }
    static constexpr const char* name() { return "ColorCreate"; }
};

// red + green x 256 + blue x 65536, each component scaled to 0..255 and truncated.
int64_t int64Value(const QColor& color);

// The opaque RGB colour of the low three bytes: bits 0-7 red, 8-15 green, 16-23 blue.
QColor colorFromInt64(int64_t value);
