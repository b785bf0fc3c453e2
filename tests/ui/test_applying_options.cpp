// How the user's options reach the views: colours, font and row height, the
// list's columns and their order, and the controller's answer to a change.
#include <gtest/gtest.h>

#include <QApplication>
#include <QFontDatabase>
#include <QHeaderView>
#include <QStandardItemModel>
#include <QTableView>

#include "app/BMController.h"
#include "app/options/OptionsApplying.h"
#include "model/TVXUser.h"
#include "platform/core/NotificationCenter.h"
#include "store/TVXDataBase.h"
#include "windows/BMOptionsWindowController.h"

using namespace applyoptions;

namespace {

QList<int> visibleIdentifiersInOrder(const QTableView& table)
{
    QList<int> ids;
    const QHeaderView* header = table.horizontalHeader();
    for (int visual = 0; visual < header->count(); ++visual) {
        const int logical = header->logicalIndex(visual);
        if (!table.isColumnHidden(logical))
            ids << columnIdentifier(table, logical);
    }
    return ids;
}

TEST(ApplyingOptions, RowColoursAreBlendedTowardsWhite)
{
    EXPECT_EQ(blendedRowColor(Qt::white), QColor(Qt::white));
    const QColor fromBlack = blendedRowColor(Qt::black);
    EXPECT_NEAR(fromBlack.redF(), 0.75, 0.002);
    EXPECT_NEAR(fromBlack.blueF(), 0.75, 0.002);
    const QColor fromRed = blendedRowColor(QColor(255, 0, 0));
    EXPECT_NEAR(fromRed.redF(), 1.0, 0.002);
    EXPECT_NEAR(fromRed.greenF(), 0.75, 0.002);
}

TEST(ApplyingOptions, RowsAreAtLeastTwentyHighAndFollowTheFont)
{
    QFont small(QStringLiteral("DejaVu Sans"));
    small.setPointSize(9);
    EXPECT_EQ(rowHeightForFont(small), 20);
    QFont large = small;
    large.setPointSize(40);
    EXPECT_GT(rowHeightForFont(large), 40);

    QTableView table;
    applyFont(&table, large);
    EXPECT_EQ(table.font().pointSize(), 40);
    EXPECT_EQ(table.verticalHeader()->defaultSectionSize(), rowHeightForFont(large));
    applyFont(&table, small);
    EXPECT_EQ(table.verticalHeader()->defaultSectionSize(), 20);
}

TEST(ApplyingOptions, AFamilyNotInstalledShowsTheDesktopFontAtTheChosenSize)
{
    QFont stored(QStringLiteral("Lucida Grande"));
    stored.setPointSize(17);
    QTableView table;
    applyFont(&table, stored);
    EXPECT_EQ(table.font().family(), QApplication::font().family());
    EXPECT_EQ(table.font().pointSize(), 17);
    EXPECT_EQ(stored.family(), "Lucida Grande");
    // An installed family is taken as it is.
    QFont installed(QStringLiteral("DejaVu Sans"));
    installed.setPointSize(11);
    if (QFontDatabase::hasFamily(installed.family())) {
        EXPECT_EQ(shownFont(installed), installed);
    }
}

TEST(ApplyingOptions, ColumnIdentifiersCompareAsNumbers)
{
    EXPECT_EQ(columnCompare("2", "10"), -1);
    EXPECT_EQ(columnCompare("14", "3"), 1);
    EXPECT_EQ(columnCompare("7", "7"), 0);
    EXPECT_EQ(columnMaskBit(0), 0u);
    EXPECT_EQ(columnMaskBit(1), 0x400u);
    EXPECT_EQ(columnMaskBit(3), 0x1u);
    EXPECT_EQ(columnMaskBit(12), 0x200u);
    EXPECT_EQ(columnMaskBit(14), 0x2000u);
    EXPECT_EQ(columnMaskBit(15), 0u);
}

class ListColumns : public ::testing::Test {
protected:
    void SetUp() override
    {
        model.setColumnCount(kListColumnCount);
        table.setModel(&model);
    }
    QStandardItemModel model;
    QTableView table;
};

TEST_F(ListColumns, TheMaskShowsItsColumnsAndAlwaysTheIcon)
{
    applyColumnMask(&table, 0);
    EXPECT_EQ(visibleIdentifiersInOrder(table), QList<int>({0}));
    applyColumnMask(&table, kDefaultColumnMask); // type, values 1 to 3, attachment
    EXPECT_EQ(visibleIdentifiersInOrder(table), QList<int>({0, 1, 3, 4, 5, 14}));
    updateTableColumn(&table, 0, 14);
    updateTableColumn(&table, 0x1000, 13);
    EXPECT_EQ(visibleIdentifiersInOrder(table), QList<int>({0, 1, 3, 4, 5, 13}));
}

TEST_F(ListColumns, ColumnsStandInTheOrderOfTheirIdentifiers)
{
    // A model whose columns carry identifiers out of order, moved about by the user.
    const QList<int> ids{5, 0, 14, 2, 1, 3, 4, 6, 7, 8, 9, 10, 11, 12, 13};
    for (int c = 0; c < ids.size(); ++c)
        model.setHeaderData(c, Qt::Horizontal, ids[c], Qt::UserRole);
    table.horizontalHeader()->moveSection(0, 9);
    table.horizontalHeader()->moveSection(3, 1);
    applyColumnMask(&table, 0x3FFF);
    QList<int> expected;
    for (int id = 0; id < kListColumnCount; ++id)
        expected << id;
    EXPECT_EQ(visibleIdentifiersInOrder(table), expected);
}

TEST(ApplyingOptionsController, AChangeNoticeReappliesTheOptions)
{
    TVXDataBase db;
    BMController controller(&db);
    controller.optionsApplier().observeOptionChanges();
    TVXUser& user = *db.caches().getCurrentUser();
    // Clearing with no moment to happen is off; with minutes or at exit it is on.
    user.setMClipBoardOnExit(false);
    user.setMClearClipBoardTimer(0);
    user.setMClearClipboardState(true);
    platform::NotificationCenter::defaultCenter().post(kTolvanPreferenceChangedNotification);
    EXPECT_FALSE(user.mClearClipboardState());
    user.setMClearClipBoardTimer(2);
    platform::NotificationCenter::defaultCenter().post(kTolvanPreferenceChangedNotification);
    EXPECT_TRUE(user.mClearClipboardState());
}

} // namespace
