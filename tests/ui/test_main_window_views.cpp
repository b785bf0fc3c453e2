// The main window's own views without a store: type-to-select, hidden
// columns, the count cell, the copy picture, the search key, split layouts
// and the small rules of the record list.
#include "app/BMController.h"
#include "model/TVXUID.h"
#include "model/TVXUser.h"
#include "platform/ui/Pasteboard.h"
#include "store/TVXDataBase.h"
#include "support/UiTestSupport.h"
#include "views/BMImageView.h"
#include "views/BMRecordModels.h"
#include "views/BMSplitViewLayout.h"
#include "views/BMTableView.h"
#include "views/BMViewRoles.h"
#include "views/BMWindow.h"
#include "views/ImageAndTextCell.h"
#include "windows/BMMainWindow.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QComboBox>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLineEdit>
#include <QSplitter>
#include <QStackedWidget>
#include <QStandardItemModel>
#include <QTest>
#include <QMenu>
#include <QToolBar>
#include <QToolButton>

namespace {

class Names : public ::testing::Test {
protected:
    void SetUp() override
    {
        model.setColumnCount(2);
        model.setHorizontalHeaderLabels({"Icon", "Name"});
        model.setHeaderData(1, Qt::Horizontal, kColumnViewDescriptionIdentifier, kColumnIdentifierRole);
        for (const char* name : {"apple", "Abacus", "banana", "Abba", "cherry"})
            model.appendRow({new QStandardItem(""), new QStandardItem(QString::fromLatin1(name))});
        table.setModel(&model);
    }
    int selectedRow() const
    {
        const auto rows = table.selectionModel()->selectedRows();
        return rows.isEmpty() ? -1 : rows.first().row();
    }
    QStandardItemModel model;
    BMTableView table;
};

} // namespace

TEST(TypeSelect, KeysWithinASecondBuildOnePrefixAndAPauseStartsAnother)
{
    BMTypeSelect select;
    EXPECT_EQ(select.type("a", 100.0), "a");
    EXPECT_EQ(select.type("b", 100.9), "ab");
    EXPECT_EQ(select.type("c", 101.8), "abc");
    EXPECT_EQ(select.type("x", 102.81), "x");
}

TEST_F(Names, TypingSelectsTheFirstRowStartingWithThePrefixInAnyCase)
{
    EXPECT_EQ(table.typeSelectColumn(), 1);
    EXPECT_TRUE(table.typeToSelect("a", 10.0));
    EXPECT_EQ(selectedRow(), 0); // apple
    EXPECT_TRUE(table.typeToSelect("B", 10.5));
    EXPECT_EQ(selectedRow(), 1); // Abacus
    // No match: the row selected before stays.
    EXPECT_FALSE(table.typeToSelect("q", 10.6));
    EXPECT_EQ(selectedRow(), 1);
    // After a pause the prefix starts again.
    EXPECT_TRUE(table.typeToSelect("c", 12.0));
    EXPECT_EQ(selectedRow(), 4);
}

TEST_F(Names, NoMatchWithoutASelectionLeavesNothingSelected)
{
    EXPECT_FALSE(table.typeToSelect("z", 5.0));
    EXPECT_EQ(selectedRow(), -1);
}

TEST_F(Names, TypedKeysSelectButCommandKeysAndArrowsDoNot)
{
    QTest::keyClick(&table, Qt::Key_B);
    EXPECT_EQ(selectedRow(), 2); // banana
    QTest::keyClick(&table, Qt::Key_C, Qt::ControlModifier);
    EXPECT_EQ(selectedRow(), 2);
    EXPECT_EQ(table.typeSelectState().typedString(), "b");
}

TEST_F(Names, WithoutANameColumnTheSortColumnIsSearched)
{
    model.setHeaderData(1, Qt::Horizontal, QVariant(), kColumnIdentifierRole);
    model.setHeaderData(1, Qt::Horizontal, "Name");
    table.setSortingEnabled(true);
    table.horizontalHeader()->setSortIndicator(0, Qt::AscendingOrder);
    EXPECT_EQ(table.typeSelectColumn(), 0);
}

TEST_F(Names, HiddenColumnsComeBackLastAndOnlyOnce)
{
    table.hideTableColumn(0);
    table.hideTableColumn(0);
    EXPECT_EQ(table.hiddenTableColumns(), QList<int>{0});
    EXPECT_TRUE(table.isColumnHidden(0));
    EXPECT_EQ(table.hiddenTableColumnWithIdentifier("Icon"), 0);
    EXPECT_EQ(table.hiddenTableColumnWithIdentifier(kColumnViewDescriptionIdentifier), -1);

    table.showTableColumn(1); // already shown: nothing moves
    EXPECT_EQ(table.horizontalHeader()->visualIndex(1), 1);
    table.showTableColumn(0);
    EXPECT_FALSE(table.isColumnHidden(0));
    EXPECT_TRUE(table.hiddenTableColumns().isEmpty());
    EXPECT_EQ(table.horizontalHeader()->visualIndex(0), 1); // now the last column
}

TEST(CountCell, ImageAndBadgeGeometry)
{
    const QRect cell(10, 20, 200, 25);
    EXPECT_EQ(ImageAndTextCell::imageFrameForCellFrame(cell, QSize(16, 16)), QRect(16, 25, 16, 16)); // (25-16+1)/2
    EXPECT_TRUE(ImageAndTextCell::imageFrameForCellFrame(cell, QSize()).isNull());

    const QFontMetrics metrics(QFont{});
    EXPECT_TRUE(ImageAndTextCell::badgeFrame(cell, 0, metrics).isNull());
    const QRectF badge = ImageAndTextCell::badgeFrame(cell, 42, metrics);
    EXPECT_DOUBLE_EQ(badge.width(), metrics.horizontalAdvance("42") + 18.0);
    EXPECT_DOUBLE_EQ(badge.right(), cell.right() + 1 - ImageAndTextCell::kBadgeRightInset);
    EXPECT_LE(badge.height(), cell.height() - 2);
    EXPECT_NE(ImageAndTextCell::badgeFillColor(true), ImageAndTextCell::badgeFillColor(false));
}

TEST(CopyPicture, AClickCopiesTheTitleAndAnEmptyTitleStillClearsThePasteboard)
{
    auto& board = platform::Pasteboard::generalPasteboard();
    BMImageView view;
    view.resize(24, 24);
    QPixmap picture(24, 24);
    picture.fill(Qt::red);
    view.setImage(picture);
    view.setTitle("user-name");
    QTest::mouseClick(&view, Qt::LeftButton);
    EXPECT_EQ(board.string(), "user-name");

    view.setTitle(QString());
    QTest::mouseClick(&view, Qt::LeftButton);
    EXPECT_EQ(board.string(), "");
}

TEST(MainWindowClass, ControlFGoesToTheSearchFieldOfTheController)
{
    TVXDataBase db;
    BMController controller(&db);
    BMMainWindow* window = controller.windowSetup().createMainWindow();
    EXPECT_EQ(window->delegate(), &controller);
    window->show();
    window->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(window));
    window->mListViewTypesTable->setFocus();
    EXPECT_FALSE(window->performKeyEquivalent(QKeyEvent(QEvent::KeyPress, Qt::Key_F, Qt::NoModifier, "f")));
    EXPECT_FALSE(window->performKeyEquivalent(QKeyEvent(QEvent::KeyPress, Qt::Key_G, Qt::ControlModifier, "g")));
    EXPECT_FALSE(window->mSearchField->hasFocus());
    QTest::keyClick(window->mListViewTypesTable, Qt::Key_F, Qt::ControlModifier);
    EXPECT_TRUE(window->mSearchField->hasFocus());
    EXPECT_TRUE(window->canBecomeKeyWindow());

    // A delegate without the search field answers nothing.
    BMWindow plain;
    QObject other;
    plain.setDelegate(&other);
    EXPECT_FALSE(plain.performKeyEquivalent(QKeyEvent(QEvent::KeyPress, Qt::Key_F, Qt::ControlModifier, "f")));
}

namespace {

// What a window is made of: every descendant with its class, name and
// parent, the menus' items, and the tab order from the group pop-up.
QStringList windowMakeUp(BMMainWindow& window)
{
    QStringList parts;
    const auto named = [](const QObject* o) {
        return o ? QString::fromLatin1(o->metaObject()->className()) + QLatin1Char(':') + o->objectName() : QString();
    };
    for (const QObject* child : window.findChildren<QObject*>())
        parts << named(child) + QStringLiteral(" in ") + named(child->parent());
    for (QMenu* menu : window.findChildren<QMenu*>())
        for (const QAction* action : menu->actions())
            parts << menu->title() + QStringLiteral(" > ") + action->text() + QLatin1Char(' ') + action->data().toString()
                         + QLatin1Char(' ') + action->shortcut().toString();
    int stops = 0;
    for (QWidget* w = window.mCategoriesPopup; w && stops < 400; w = w->nextInFocusChain(), ++stops)
        parts << QStringLiteral("tab ") + named(w);
    parts << QStringLiteral("size %1x%2").arg(window.width()).arg(window.height());
    return parts;
}

} // namespace

TEST(MainWindowClass, MadeInPartsItIsTheWindowMadeAtOnce)
{
    BMMainWindow whole;
    BMMainWindow partly{BMMainWindow::InParts{}};
    EXPECT_FALSE(partly.isBuilt());
    EXPECT_EQ(partly.mSearchField, nullptr);
    int calls = 1;
    while (partly.buildNextPart()) {
        EXPECT_FALSE(partly.isBuilt());
        ++calls;
    }
    EXPECT_GT(calls, 3) << "the window comes in several parts";
    EXPECT_TRUE(partly.isBuilt());
    EXPECT_FALSE(partly.buildNextPart()) << "nothing is made twice";
    EXPECT_EQ(windowMakeUp(partly), windowMakeUp(whole));
    EXPECT_EQ(partly.tabIndexForIdentifier(kTabViewItemTreeID), whole.tabIndexForIdentifier(kTabViewItemTreeID));
}

TEST(SplitLayout, RectanglesRoundTripInTheirTextForm)
{
    EXPECT_EQ(bmsplit::stringFromRect(QRect(0, 4, 300, 520)), "{{0, 4}, {300, 520}}");
    bool ok = false;
    EXPECT_EQ(bmsplit::rectFromString("{{10, 20}, {30.4, 40}}", &ok), QRect(10, 20, 30, 40));
    EXPECT_TRUE(ok);
    EXPECT_TRUE(bmsplit::rectFromString("{{0, 0}, {0, 0}}", &ok).isEmpty());
    EXPECT_TRUE(ok);
    bmsplit::rectFromString("garbage", &ok);
    EXPECT_FALSE(ok);
}

TEST(SplitLayout, StoredLayoutsSetTheFirstPanesAndCollapseEmptyOnes)
{
    const QList<int> current{100, 200, 300};
    EXPECT_EQ(bmsplit::restoredSizes(current, {"{{0, 0}, {150, 500}}"}, Qt::Horizontal), QList<int>({150, 200, 300}));
    EXPECT_EQ(bmsplit::restoredSizes(current, {"{{0, 0}, {150, 500}}", "{{0, 0}, {0, 0}}"}, Qt::Vertical),
              QList<int>({500, 0, 300}));
    EXPECT_EQ(bmsplit::restoredSizes({100, 200}, {"{{0, 0}, {1, 1}}", "{{0, 0}, {2, 2}}", "{{0, 0}, {3, 3}}"},
                                     Qt::Horizontal),
              QList<int>({1, 2}));
    EXPECT_EQ(bmsplit::restoredSizes(current, {"not a rectangle"}, Qt::Horizontal), current);
}

TEST(ListRules, MaskingDatesBandsAndPasswords)
{
    EXPECT_EQ(maskedValue("secret", true), "******");
    EXPECT_EQ(maskedValue("", true), "");
    EXPECT_EQ(maskedValue("secret", false), "secret");
    EXPECT_EQ(displayDateForValue10("2009-05-12 10:31:02 +0530"), "May 12,2009");
    EXPECT_EQ(displayDateForValue10("not a date"), "not a date");
    EXPECT_EQ(blendedBandColor(Qt::white), QColor(Qt::white));
    EXPECT_NEAR(blendedBandColor(Qt::black).redF(), 0.65, 0.01);
    EXPECT_FALSE(blendedBandColor(QColor()).isValid());

    EXPECT_TRUE(BMPopUps::isValidPassword(""));
    EXPECT_FALSE(BMPopUps::isValidPassword("a"));
    EXPECT_FALSE(BMPopUps::isValidPassword("aa"));
    EXPECT_FALSE(BMPopUps::isValidPassword("1111"));
    EXPECT_TRUE(BMPopUps::isValidPassword("ab"));
}

TEST(MainWindowWithoutStore, MadeInTurnsOrFinishedAtOnceItIsOneWiredWindow)
{
    TVXDataBase db;
    {
        // Left to the event loop: kept only once whole and wired.
        BMController controller(&db);
        controller.windowSetup().startMainWindowInParts();
        EXPECT_TRUE(controller.windowSetup().isMainWindowInParts());
        EXPECT_EQ(controller.windowSetup().mainWindowView(), nullptr) << "not before it is whole";
        ASSERT_TRUE(QTest::qWaitFor([&] { return !controller.windowSetup().isMainWindowInParts(); }, 5000));
        BMMainWindow* window = controller.windowSetup().mainWindowView();
        ASSERT_NE(window, nullptr);
        EXPECT_TRUE(window->isBuilt());
        EXPECT_EQ(window->delegate(), &controller);
        EXPECT_NE(window->mToolbar, nullptr);
        EXPECT_EQ(controller.windowSetup().createMainWindow(), window);
    }
    {
        // Asked for meanwhile: finished at once, and the turns left do nothing more.
        BMController controller(&db);
        controller.windowSetup().startMainWindowInParts();
        QCoreApplication::processEvents();
        BMMainWindow* window = controller.windowSetup().createMainWindow();
        ASSERT_NE(window, nullptr);
        EXPECT_TRUE(window->isBuilt());
        EXPECT_FALSE(controller.windowSetup().isMainWindowInParts());
        EXPECT_NE(window->mToolbar, nullptr);
        QTest::qWait(50);
        EXPECT_EQ(controller.windowSetup().mainWindowView(), window);
        EXPECT_EQ(controller.tables().listModel(), window->mListViewTypesTable->model());
    }
}

TEST(MainWindowWithoutStore, ToolbarPopUpsAndEmptyTables)
{
    TVXDataBase db;
    BMController controller(&db);
    BMMainWindow* window = controller.windowSetup().createMainWindow();

    QStringList items;
    for (QAction* action : window->mToolbar->actions())
        if (!action->objectName().isEmpty())
            items.append(action->objectName());
    EXPECT_EQ(items, QStringList({"Toolbar Categories", "Types", "Different Views type", "Options toolbar", "Search bar"}));
    EXPECT_EQ(window->mToolbar->objectName(), "MainToolBar");
    EXPECT_FALSE(window->mToolbar->isMovable());
    EXPECT_EQ(window->mToolbarCategoriesView->toolTip(), "Groups");
    EXPECT_EQ(window->mToolbarLockButton->toolTip(), "Lock");
    EXPECT_EQ(window->mToolbarOptionButton->toolTip(), "Option");

    // No group: the pop-up says so, and choosing it keeps "all groups" as the user's group.
    controller.popUps().initGroupUIControl();
    EXPECT_EQ(window->mCategoriesPopup->itemText(0), "No Groups");
    controller.tables().changeCategory();
    EXPECT_EQ(db.caches().mCurrentUser()->mCurrentGroup(), kAllCategoriesUID);
    EXPECT_EQ(controller.tables().selectedGroup(), nullptr);

    // Before the data is loaded every view is empty.
    controller.tables().changeView(kListViewTag);
    EXPECT_EQ(window->mTabView->currentIndex(), kListViewTag);
    EXPECT_EQ(controller.tables().listModel()->rowCount(), 0);
    EXPECT_EQ(controller.tables().smartModel()->rowCount(), 0);
    EXPECT_FALSE(controller.popUps().isItemNotSelected());
    EXPECT_EQ(controller.tables().getSelectedTypeUID(), kAllCategoriesUID);

    controller.popUps().initTypesUIControl();
    EXPECT_EQ(window->mTypesPopup->itemText(0), "All Types");
    EXPECT_EQ(window->mTypesPopup->itemText(window->mTypesPopup->count() - 1), "Edit Types...");

    // The context menu: ten items and a separator, tags 700 to 709 in order.
    QStringList titles;
    for (QAction* action : controller.popUps().mItemContextualMenu()->actions())
        titles.append(action->isSeparator() ? "-" : action->text() + "/" + action->data().toString());
    EXPECT_EQ(titles, QStringList({"Edit Item/700", "Type/701", "Group/702", "Customize Fields/703", "-",
                                   "Delete/704", "Duplicate/705", "Export/Email qVX/706", "Print.../707",
                                   "AutoFill/708", "Add Attachment/709"}));
}
