// Pictures of the main window in its three views, for looking at by eye:
// written only when TVX_SCREENSHOT_DIR names a folder.
#include "MainWindowFixture.h"

#include "views/BMTableView.h"

#include <QApplication>
#include <QDir>
#include <QTreeView>

using namespace mainwintest;

TEST_F(MainWindowTest, PicturesOfTheThreeViews)
{
    const QString folder = qEnvironmentVariable("TVX_SCREENSHOT_DIR");
    if (folder.isEmpty())
        GTEST_SKIP() << "set TVX_SCREENSHOT_DIR to write the pictures";
    QDir().mkpath(folder);
    window->show();
    chooseGroup("Finance");

    controller->changeView(kColumnViewTag);
    window->mColumnViewTypesTable->selectRow(1);
    window->mColumnViewDescriptionTable->selectRow(1);
    QApplication::processEvents();
    EXPECT_TRUE(window->grab().save(folder + "/mainwin-column.png"));

    controller->changeView(kListViewTag);
    window->mListViewTypesTable->selectRow(1);
    QApplication::processEvents();
    EXPECT_TRUE(window->grab().save(folder + "/mainwin-list.png"));

    controller->changeView(kTreeViewTag);
    window->mTreeViewOutlineView->expandAll();
    window->mTreeViewOutlineView->setCurrentIndex(
        controller->outlineModel()->index(0, 0, controller->outlineModel()->index(1, 0)));
    QApplication::processEvents();
    EXPECT_TRUE(window->grab().save(folder + "/mainwin-tree.png"));

    controller->toggleInfoView(false);
    QApplication::processEvents();
    EXPECT_TRUE(window->grab().save(folder + "/mainwin-tree-nodetails.png"));
}
