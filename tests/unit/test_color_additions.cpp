#include "model/ColorAdditions.h"

#include <gtest/gtest.h>

TEST(ColorAdditions, IntegerForm)
{
    EXPECT_EQ(int64Value(QColor(Qt::white)), 16777215);
    EXPECT_EQ(int64Value(QColor(Qt::black)), 0);
    EXPECT_EQ(int64Value(QColor(1, 2, 3)), 1 + 2 * 256 + 3 * 65536);
    EXPECT_EQ(int64Value(QColor(255, 0, 0)), 255);
    EXPECT_EQ(int64Value(QColor(0, 0, 255)), 255 * 65536);
    // Alpha is ignored; other colour models are converted to RGB first.
    EXPECT_EQ(int64Value(QColor(10, 20, 30, 40)), 10 + 20 * 256 + 30 * 65536);
    EXPECT_EQ(int64Value(QColor::fromHsv(0, 255, 255)), 255);
    EXPECT_EQ(int64Value(QColor::fromCmyk(0, 0, 0, 0)), 16777215);
    // Components between steps are truncated, not rounded.
    EXPECT_EQ(int64Value(QColor::fromRgbF(0.999f, 0.0f, 0.0f)), 254);
}

TEST(ColorAdditions, ColourFromInteger)
{
    const QColor red = colorFromInt64(255);
    EXPECT_EQ(red, QColor(255, 0, 0));
    EXPECT_EQ(red.alpha(), 255);
    EXPECT_EQ(colorFromInt64(0x123456), QColor(0x56, 0x34, 0x12));
    // Bits above the three colour bytes are ignored.
    EXPECT_EQ(colorFromInt64(0x7F000000FFLL), QColor(255, 0, 0));
}

TEST(ColorAdditions, StoredColoursSurviveARoundTrip)
{
    // A row colour saved and read back again and again must not drift.
    for (int v = 0; v < 256; ++v) {
        for (int64_t stored : {int64_t(v), int64_t(v) << 8, int64_t(v) << 16, int64_t(v) * 0x010101}) {
            ASSERT_EQ(int64Value(colorFromInt64(stored)), stored);
        }
    }
}

TEST(ColorAdditions, ColourWithoutRgbFormRaises)
{
    try {
        int64Value(QColor());
        FAIL() << "no exception";
    } catch (const ColorCreateException& e) {
        EXPECT_STREQ(e.what(), "Color creation failed");
        EXPECT_STREQ(ColorCreateException::name(), "ColorCreate");
    }
}
