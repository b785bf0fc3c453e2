// The icon grid: layout, selection by number and by click, and a custom icon
// arriving while the grid is shown.
#include <gtest/gtest.h>

#include <QPainter>
#include <QTest>

#include "platform/core/NotificationCenter.h"
#include "store/TVXDataBase.h"
#include "views/BMImageMatrix.h"

namespace {

QImage customIcon(QColor colour)
{
    QImage image(48, 48, QImage::Format_ARGB32);
    image.fill(colour);
    return image;
}

TEST(IconMatrix, BuiltInIconsFillEightRowsAndTheLastCellIsEmpty)
{
    TVXDataBase db;
    BMImageMatrix matrix(db.icons());
    ASSERT_EQ(matrix.mImages().size(), 63);
    EXPECT_FALSE(matrix.mImages().first().isNull());
    EXPECT_EQ(matrix.numberOfRows(), 8);
    EXPECT_EQ(matrix.size(), QSize(8 * 32, 8 * 32));
    EXPECT_EQ(matrix.selectedRow(), 0);
    EXPECT_EQ(matrix.selectedIconNumber(), 1);

    matrix.setSelectedImage(9);
    EXPECT_EQ(matrix.selectedRow(), 1);
    EXPECT_EQ(matrix.selectedColumn(), 0);
    EXPECT_EQ(matrix.selectedIconNumber(), 9);
    matrix.setSelectedImage(1);
    EXPECT_EQ(matrix.selectedIconNumber(), 1);

    // Clicks: an icon is chosen; the empty last cell keeps the choice.
    QTest::mouseClick(&matrix, Qt::LeftButton, {}, matrix.cellRect(2, 3).center());
    EXPECT_EQ(matrix.selectedIconNumber(), 20);
    QTest::mouseClick(&matrix, Qt::LeftButton, {}, matrix.cellRect(7, 7).center());
    EXPECT_EQ(matrix.selectedIconNumber(), 20);

    // A custom number no image carries: nothing is selected any more.
    matrix.setSelectedImage(1007);
    EXPECT_EQ(matrix.selectedRow(), -1);
    EXPECT_TRUE(matrix.selectedIcon().isNull());
    EXPECT_EQ(matrix.selectedIconNumber(), 0);
}

TEST(IconMatrix, CustomIconsFollowInNumberOrderAndNewOnesArriveByNotice)
{
    TVXDataBase db;
    db.icons().mCustomIcons().insert(TVXIconsAccess::iconName(1003), customIcon(Qt::blue));
    db.icons().mCustomIcons().insert(TVXIconsAccess::iconName(1001), customIcon(Qt::red));
    BMImageMatrix matrix(db.icons());
    ASSERT_EQ(matrix.mImages().size(), 65);
    EXPECT_EQ(matrix.mImages()[63].text("Name"), "Icon1001");
    EXPECT_EQ(matrix.mImages()[64].text("Name"), "Icon1003");
    EXPECT_EQ(matrix.numberOfRows(), 9);
    matrix.setSelectedImage(1003);
    EXPECT_EQ(matrix.selectedRow(), 8);
    EXPECT_EQ(matrix.selectedColumn(), 0);

    // The importer stores the icon in the cache, then posts the notice.
    db.icons().mCustomIcons().insert(TVXIconsAccess::iconName(1005), customIcon(Qt::green));
    platform::NotificationCenter::defaultCenter().post(TVXIconsAccess::kExternalIconCreatedNotification, 1005);
    ASSERT_EQ(matrix.mImages().size(), 66);
    EXPECT_EQ(matrix.selectedIconNumber(), 1005);
    EXPECT_EQ(matrix.selectedRow(), 8);
    EXPECT_EQ(matrix.selectedColumn(), 1);
    EXPECT_EQ(matrix.height(), 9 * 32);

    // Renewing starts again from the manager's icons, selecting the first.
    db.icons().mCustomIcons().remove(TVXIconsAccess::iconName(1001));
    matrix.renewIconMatrix();
    EXPECT_EQ(matrix.mImages().size(), 65);
    EXPECT_EQ(matrix.selectedIconNumber(), 1);
}

} // namespace
