// Pictures of the client on the demo store, for looking at by eye: the log-in
// panel, the main window in its three views, the record sheet and an alert.
// Written only when TVX_SCREENSHOT_DIR names a folder (scripts/test names one).
#include "MainWindowFixture.h"

#include "app/startup/BMLoginPanel.h"
#include "model/BMGroup.h"
#include "model/TVXType.h"
#include "platform/ui/AlertPanel.h"
#include "views/BMTableView.h"
#include "windows/BMDetailsWindowController.h"

#include <QApplication>
#include <QDir>
#include <QLineEdit>
#include <QMessageBox>
#include <QTreeView>

using namespace mainwintest;

namespace {

class DemoStoreLook : public MainWindowTest {
protected:
    DemoStoreLook() { demoStore = true; }
};

} // namespace

TEST_F(DemoStoreLook, TheDemoStoreSaysWhatItsTypesHold)
{
    QStringList types;
    for (const auto& type : db->caches().typesForEditing(true))
        types << type->mTypeName();
    types.sort();
    EXPECT_EQ(types, QStringList({"Bank Card", "Server Account", "Unfiled", "Web Log-in"}));
    const auto web = db->caches().mTypes().value(kWebLoginUID);
    ASSERT_TRUE(web);
    EXPECT_EQ(web->fieldAtIndex(2), "Password");
    EXPECT_EQ(web->mTypeMask(), 0b100) << "the password is masked";
    QStringList groups;
    for (const auto& group : db->caches().groupsForEditing(true))
        if (group->mGroupUID() != kUnfiledUID && group->mGroupName() != db->personal().currentUserPersnaolGroupName())
            groups << group->mGroupName();
    groups.sort();
    EXPECT_EQ(groups, QStringList({"Household", "Office"})) << "the account is in both";
    EXPECT_EQ(db->caches().mRecords().size(), 4);

    // The window opens on a group with records, not on the account's empty own group.
    const auto shown = controller->tables().selectedGroup();
    ASSERT_TRUE(shown);
    EXPECT_NE(shown->mGroupName(), db->personal().currentUserPersnaolGroupName());
    EXPECT_GT(db->caches().recordCountsByGroup(QString()).value(shown->mGroupUID()), 0);
}

TEST_F(DemoStoreLook, PicturesOfTheClient)
{
    const QString folder = qEnvironmentVariable("TVX_SCREENSHOT_DIR");
    if (folder.isEmpty())
        GTEST_SKIP() << "set TVX_SCREENSHOT_DIR to write the pictures";
    QDir().mkpath(folder);

    BMLoginPanel login;
    login.mIPAddressField()->setText("127.0.0.1");
    login.mPortNumberField()->setText("3310");
    login.mLoginUserName()->setText("demo");
    login.show();
    QApplication::processEvents();
    EXPECT_TRUE(login.grab().save(folder + "/login-panel.png"));
    login.hide();

    window->show();
    chooseGroup("Household");
    controller->tables().changeView(kColumnViewTag);
    window->mColumnViewTypesTable->selectRow(1);
    window->mColumnViewDescriptionTable->selectRow(0);
    QApplication::processEvents();
    EXPECT_TRUE(window->grab().save(folder + "/mainwin-column.png"));

    controller->tables().changeView(kListViewTag);
    window->mListViewTypesTable->selectRow(0);
    QApplication::processEvents();
    EXPECT_TRUE(window->grab().save(folder + "/mainwin-list.png"));

    controller->tables().changeView(kTreeViewTag);
    window->mTreeViewOutlineView->expandAll();
    window->mTreeViewOutlineView->setCurrentIndex(
        controller->tables().outlineModel()->index(0, 0, controller->tables().outlineModel()->index(0, 0)));
    QApplication::processEvents();
    EXPECT_TRUE(window->grab().save(folder + "/mainwin-tree.png"));

    // The record sheet on the selected record.
    tvxtest::ModalScript script;
    script.then([&](QWidget* sheet) {
        sheet->show();
        QApplication::processEvents();
        EXPECT_TRUE(sheet->grab().save(folder + "/record-sheet.png"));
        return platform::kModalRunAborted;
    });
    controller->recordCommands().editItemDoubleAction();
    EXPECT_EQ(script.windows().size(), 1);

    const auto alert = platform::buildAlertBox(
        {platform::standardAlertTitle(), "Are you realy sure you want to delete the selected item(s)?", "No", "Yes", {}});
    alert->show();
    QApplication::processEvents();
    EXPECT_TRUE(alert->grab().save(folder + "/alert.png"));
}
