// The group sheet, the type sheet, the per-record field-set sheet and the
// group/type editor over a manager whose caches the tests fill (no server):
// messages shown, results returned, and what a refusal leaves alone.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QGuiApplication>
#include <QLineEdit>
#include <QPushButton>
#include <QTableView>
#include <QToolButton>
#include <QTest>
#include <QTimer>

#include "model/BMGroup.h"
#include "model/TVXType.h"
#include "model/TVXUser.h"
#include "model/TVXUser_Admin.h"
#include "store/TVXDataBase.h"
#include "support/UiTestSupport.h"
#include "windows/BMCategoryEditWindowController.h"
#include "windows/BMCustomSettingsController.h"
#include "windows/BMGroupSettingsPanel.h"
#include "windows/BMTypeSettingsPanel.h"
#include "windows/GroupTypeSettingsRules.h"

using namespace settingsrules;
using tvxtest::AlertRecorder;
using tvxtest::ModalScript;

namespace {

const QString kReservedMessage =
    QStringLiteral("Group name can't start with 'Personal-'.\nThis keyword is reserved for personal group.");
const QString kChangeTypeQuestion = QStringLiteral(
    "Changing existing type will reflect on all the records under this type. Would you like to create a new "
    "Type instead?");
const QString kNoPermission = QStringLiteral(" You don't have sufficient access permissions.");

NameTaken takenNames(const QStringList& names)
{
    return [names](const QString& name) { return names.contains(name); };
}

// A manager with two other users, three groups and one type, all in memory.
class SheetsTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        db.caches().mCurrentUser()->setMUserID(QStringLiteral("00000000000000AA"));
        db.caches().mCurrentUser()->setMUsername(QStringLiteral("alice"));
        bob = addUser("00000000000000B0", "bob");
        carol = addUser("00000000000000C0", "carol");
        sales = addGroup("00000000000000A1", "Sales", {bob->mUserID()});
        ops = addGroup("00000000000000A2", "Ops", {carol->mUserID()});
        personal = addGroup(db.caches().mCurrentUser()->mUserID(), "Personal-alice", {});
        web = TVXType::createType();
        web->setMTypeName(QStringLiteral("Web"));
        web->setMField1(QStringLiteral("URL"));
        web->setMSelectedGroupUID(sales->mGroupUID());
        db.caches().mTypes().insert(web->mTypeUID(), web);
        sheets.setNameTests(takenNames({"Sales", "Ops", "Personal-alice"}), takenNames({"Web", "Mail"}));
    }

    std::shared_ptr<TVXUser_Admin> addUser(const char* uid, const char* name)
    {
        auto user = TVXUser_Admin::createUser();
        user->setMUserID(QString::fromLatin1(uid));
        user->setMUsername(QString::fromLatin1(name));
        db.caches().mUsers().insert(user->mUserID(), user);
        return user;
    }

    std::shared_ptr<BMGroup> addGroup(const QString& uid, const char* name, const QStringList& members)
    {
        auto group = std::make_shared<BMGroup>();
        group->setMGroupUID(uid);
        group->setMGroupName(QString::fromLatin1(name));
        group->setMUserMembersArray(members);
        db.caches().mGroups().insert(uid, group);
        return group;
    }

    // Plays OK on the sheet that is running; the run ends only when the sheet accepts.
    static int pressGroupOK(BMCustomSettingsController& sheets)
    {
        return sheets.customGroupSettingsOK() ? platform::kModalRunStopped : platform::kModalRunAborted;
    }

    TVXDataBase db;
    BMCustomSettingsController sheets{db};
    std::shared_ptr<TVXUser_Admin> bob, carol;
    std::shared_ptr<BMGroup> sales, ops, personal;
    std::shared_ptr<TVXType> web;
};

// --- name rules ------------------------------------------------------------------

TEST(GroupTypeNameRules, GroupNamesRefusedWithTheirMessages)
{
    AlertRecorder alerts;
    const NameTaken taken = takenNames({"Sales"});
    EXPECT_FALSE(acceptGroupName(QStringLiteral("Personal-Team"), false, {}, taken));
    EXPECT_EQ(alerts.lastMessage(), kReservedMessage);
    EXPECT_EQ(alerts.lastTitle(), QStringLiteral("Tolvanex Enterprise Alert!"));

    EXPECT_TRUE(acceptGroupName(QStringLiteral("Personal Team"), false, {}, taken));
    EXPECT_TRUE(acceptGroupName(QStringLiteral("My Personal-Team"), false, {}, taken));

    EXPECT_FALSE(acceptGroupName(QStringLiteral("   "), false, {}, taken));
    EXPECT_EQ(alerts.lastMessage(), QStringLiteral("You must specify a name for this Group. "));
    EXPECT_NE(alerts.lastTitle(), QStringLiteral("Tolvanex Enterprise Alert!")); // this alert has no title
    EXPECT_FALSE(acceptGroupName(QStringLiteral(" \t "), false, {}, taken));
    EXPECT_TRUE(acceptGroupName(QStringLiteral("\n"), false, {}, taken)); // a new line is no blank

    EXPECT_FALSE(acceptGroupName(QStringLiteral("Sales"), false, {}, taken));
    EXPECT_EQ(alerts.lastMessage(), QStringLiteral("Group name could not be duplicated"));
    // Editing without renaming passes although the name is stored.
    const auto before = alerts.alerts().size();
    EXPECT_TRUE(acceptGroupName(QStringLiteral("Sales"), true, QStringLiteral("Sales"), taken));
    EXPECT_EQ(alerts.alerts().size(), before);
    // Names compare exactly.
    EXPECT_TRUE(acceptGroupName(QStringLiteral("sales"), false, {}, taken));
}

TEST(GroupTypeNameRules, EditorModesAndSelectionAfterDeletion)
{
    EXPECT_EQ(editorModeForSender(QStringLiteral("Edit Groups..."), 0), kEditorGroupsMode);
    EXPECT_EQ(editorModeForSender(QString(), 102), kEditorGroupsMode);
    EXPECT_EQ(editorModeForSender(QStringLiteral("Edit Types..."), 0), kEditorTypesMode);
    EXPECT_EQ(editorModeForSender(QString(), 101), kEditorTypesMode);
    EXPECT_EQ(editorModeForSender(QStringLiteral("Edit Users..."), 5), -1);

    EXPECT_EQ(rowToSelectAfterDeletion(2, 2), 1); // last of three: the new last row
    EXPECT_EQ(rowToSelectAfterDeletion(0, 2), 0);
    EXPECT_EQ(rowToSelectAfterDeletion(1, 1), -1); // one of two left: nothing selected
    EXPECT_EQ(rowToSelectAfterDeletion(0, 0), -1);
}

TEST(GroupTypeNameRules, DuplicatedGroupChecksInOrder)
{
    AlertRecorder alerts;
    auto group = BMGroup::newGroup();
    group->setMGroupName(QStringLiteral("Personal-alice copy"));
    EXPECT_FALSE(acceptDuplicatedGroup(group.get(), takenNames({})));
    EXPECT_EQ(alerts.lastMessage(), kReservedMessage);
    group->setMGroupName(QStringLiteral("Sales"));
    EXPECT_FALSE(acceptDuplicatedGroup(group.get(), takenNames({"Sales"})));
    EXPECT_EQ(alerts.lastMessage(), QStringLiteral("Group name could not be duplicated."));
    group->setMGroupName(QString());
    EXPECT_FALSE(acceptDuplicatedGroup(group.get(), takenNames({})));
    EXPECT_EQ(alerts.lastMessage(), QStringLiteral("Group without name could not be added."));
    EXPECT_FALSE(acceptDuplicatedGroup(nullptr, takenNames({})));
    group->setMGroupName(QStringLiteral("Sales 2"));
    EXPECT_TRUE(acceptDuplicatedGroup(group.get(), takenNames({"Sales"})));
}

// --- group sheet -------------------------------------------------------------------

TEST_F(SheetsTest, NewGroupFromTheSheet)
{
    ModalScript script;
    script.then([this](QWidget* window) {
        EXPECT_EQ(window->objectName(), QStringLiteral("GroupSettingsPanel"));
        auto* panel = sheets.groupSettingsPanel();
        EXPECT_TRUE(panel->mGroupNameField->text().isEmpty());
        EXPECT_FALSE(panel->mGroupPriorityPermission->isEnabled());
        QTest::keyClicks(panel->mGroupNameField, QStringLiteral("Finance"));
        panel->mAddPermissionCell->setChecked(true);
        panel->mDeletePermissionCell->setChecked(true);
        // Members tab: bob, carol (sorted); tick carol.
        auto* members = panel->mMembersModel;
        EXPECT_EQ(members->rowCount(), 2);
        EXPECT_EQ(members->data(members->index(1, 1), Qt::DisplayRole).toString(), QStringLiteral("carol"));
        members->setData(members->index(1, 0), Qt::Checked, Qt::CheckStateRole);
        // Sub-groups: not the personal or unfiled group.
        EXPECT_EQ(panel->mSubGroupsModel->rowCount(), 2);
        return pressGroupOK(sheets);
    });
    int operation = kOperationAdd;
    const auto group = sheets.runGroupSettingsPanelForWindow(nullptr, nullptr, operation);
    ASSERT_TRUE(group);
    EXPECT_EQ(group->mGroupName(), QStringLiteral("Finance"));
    EXPECT_EQ(group->mRecordLevelPermissions(), kPermissionAdd | kPermissionDelete);
    EXPECT_EQ(group->mUserMembersArray(), QStringList{carol->mUserID()});
    EXPECT_NE(group->mGroupUID(), sales->mGroupUID());
    EXPECT_FALSE(group->mGroupUID().isEmpty());
}

TEST_F(SheetsTest, RefusedNameKeepsTheSheetOpenAndCancelGivesNothing)
{
    AlertRecorder alerts;
    ModalScript script;
    script.then([this](QWidget*) {
        sheets.groupSettingsPanel()->mGroupNameField->setText(QStringLiteral("Ops"));
        EXPECT_EQ(pressGroupOK(sheets), platform::kModalRunAborted);
        return platform::kModalRunAborted; // then Cancel
    });
    int operation = kOperationAdd;
    EXPECT_FALSE(sheets.runGroupSettingsPanelForWindow(nullptr, nullptr, operation));
    EXPECT_EQ(alerts.messages(), QStringList{QStringLiteral("Group name could not be duplicated")});
}

TEST_F(SheetsTest, ClosingTheSheetWindowIsNoOK)
{
    ModalScript script;
    script.then([this](QWidget*) {
        sheets.groupSettingsPanel()->mGroupNameField->setText(QStringLiteral("Personal-x"));
        return platform::kModalRunStopped; // the close button, not OK
    });
    int operation = kOperationAdd;
    EXPECT_FALSE(sheets.runGroupSettingsPanelForWindow(nullptr, nullptr, operation));
}

// With a saver, OK waits for the save's answer: a refusal is shown and the
// sheet stays with its input, a stored name another client took gets the
// duplicate message, success ends the run with the stored group. An answer
// for a run that was ended from outside ends no later run.
TEST_F(SheetsTest, ASaversAnswerDecidesTheGroupSheetsEnd)
{
    AlertRecorder alerts;
    ModalScript script;
    QList<BMCustomSettingsController::SaveAnswer> held;
    std::shared_ptr<BMGroup> sent;
    const auto saver = [&](const std::shared_ptr<BMGroup>& group, BMCustomSettingsController::SaveAnswer answer) {
        sent = group;
        held << std::move(answer);
        return true;
    };
    script.then([&](QWidget*) {
        sheets.groupSettingsPanel()->mGroupNameField->setText(QStringLiteral("Legal"));
        EXPECT_FALSE(sheets.customGroupSettingsOK());
        EXPECT_TRUE(sheets.isSaving());
        return platform::kModalRunAborted; // ended from outside before the answer
    });
    int operation = kOperationAdd;
    EXPECT_FALSE(sheets.runGroupSettingsPanelForWindow(nullptr, nullptr, operation, saver));
    EXPECT_FALSE(sheets.isSaving());
    EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);

    QStringList kept;
    script.then([&](QWidget*) {
        held.takeFirst()(kTVXDone); // the first run's late answer
        EXPECT_FALSE(sheets.requestedEnd());
        sheets.groupSettingsPanel()->mGroupNameField->setText(QStringLiteral("Legal"));
        for (const TVXResult refusal : {kTVXReloadFirst, kTVXNameTaken}) {
            EXPECT_FALSE(sheets.customGroupSettingsOK());
            EXPECT_FALSE(sheets.customGroupSettingsOK()) << "a second OK waits for the first's answer";
            EXPECT_EQ(held.size(), 1);
            held.takeFirst()(refusal);
            EXPECT_FALSE(sheets.isSaving());
            EXPECT_FALSE(sheets.requestedEnd());
            kept << sheets.groupSettingsPanel()->mGroupNameField->text();
        }
        EXPECT_FALSE(sheets.customGroupSettingsOK());
        held.takeFirst()(kTVXDone);
        return sheets.requestedEnd().value_or(platform::kModalRunAborted);
    });
    operation = kOperationAdd;
    const auto group = sheets.runGroupSettingsPanelForWindow(nullptr, nullptr, operation, saver);
    ASSERT_TRUE(group);
    EXPECT_EQ(group, sent) << "the run returns what was stored";
    EXPECT_EQ(group->mGroupName(), QStringLiteral("Legal"));
    EXPECT_EQ(kept, QStringList(2, QStringLiteral("Legal")));
    EXPECT_EQ(alerts.messages(), QStringList({QStringLiteral("Operation failed. Please reload the database first."),
                                              QStringLiteral("Group name could not be duplicated")}));
}

TEST_F(SheetsTest, EditKeepsIdentifierAndDuplicateOffersCopyName)
{
    sales->setMRecordLevelPermissions(kPermissionEdit);
    sales->setMPreferencePermissions(true);
    ModalScript script;
    script.then([this](QWidget*) {
        auto* panel = sheets.groupSettingsPanel();
        EXPECT_EQ(panel->mGroupNameField->text(), QStringLiteral("Sales"));
        EXPECT_TRUE(panel->mEditPermissionCell->isChecked());
        EXPECT_FALSE(panel->mAddPermissionCell->isChecked());
        EXPECT_TRUE(panel->mGroupPriorityPermission->isChecked());
        // Its own name passes on an edit; the candidate list leaves the group out.
        EXPECT_EQ(panel->mSubGroupsModel->rowCount(), 1);
        return pressGroupOK(sheets);
    });
    script.then([this](QWidget*) {
        EXPECT_EQ(sheets.groupSettingsPanel()->mGroupNameField->text(), QStringLiteral("Sales copy"));
        return pressGroupOK(sheets);
    });
    int operation = kOperationEdit;
    const auto edited = sheets.runGroupSettingsPanelForWindow(nullptr, sales, operation);
    ASSERT_TRUE(edited);
    EXPECT_EQ(edited->mGroupUID(), sales->mGroupUID());
    EXPECT_NE(edited, sales); // a new object; the cached group changes only once stored
    EXPECT_TRUE(edited->mPreferencePermissions());

    operation = kOperationDuplicate;
    const auto copy = sheets.runGroupSettingsPanelForWindow(nullptr, sales, operation);
    ASSERT_TRUE(copy);
    EXPECT_EQ(copy->mGroupName(), QStringLiteral("Sales copy"));
    EXPECT_NE(copy->mGroupUID(), sales->mGroupUID());
    EXPECT_EQ(copy->mUserMembersArray(), sales->mUserMembersArray());
}

TEST_F(SheetsTest, SubGroupMembersJoinAndUntickedSubGroupMembersLeave)
{
    auto group = addGroup(QStringLiteral("00000000000000A3"), "Finance", {bob->mUserID(), carol->mUserID()});
    group->setMSubGroupsUID({ops->mGroupUID()});
    ModalScript script;
    script.then([this](QWidget*) {
        auto* model = sheets.groupSettingsPanel()->mSubGroupsModel;
        // Rows: Ops, Sales. Untick Ops (carol's group), tick Sales (bob's).
        EXPECT_EQ(model->data(model->index(0, 1), Qt::DisplayRole).toString(), QStringLiteral("Ops"));
        EXPECT_EQ(model->data(model->index(0, 0), Qt::CheckStateRole).toInt(), Qt::Checked);
        model->setData(model->index(0, 0), Qt::Unchecked, Qt::CheckStateRole);
        model->setData(model->index(1, 0), Qt::Checked, Qt::CheckStateRole);
        return pressGroupOK(sheets);
    });
    int operation = kOperationEdit;
    const auto result = sheets.runGroupSettingsPanelForWindow(nullptr, group, operation);
    ASSERT_TRUE(result);
    EXPECT_EQ(result->mSubGroupsUID(), QStringList{sales->mGroupUID()});
    // carol was ticked directly, yet leaves with the unticked sub-group.
    EXPECT_EQ(result->mUserMembersArray(), QStringList{bob->mUserID()});
    // Nothing in memory changed before the group is stored.
    EXPECT_EQ(group->mUserMembersArray().size(), 2);
}

TEST_F(SheetsTest, StoredGroupMembersReachTheUsersListsOnce)
{
    auto group = BMGroup::newGroup();
    group->setMUserMembersArray({bob->mUserID()});
    carol->mUsersGroupArray() << group->mGroupUID();
    noteGroupMembersInMemory(db.caches(), *group);
    noteGroupMembersInMemory(db.caches(), *group);
    EXPECT_EQ(bob->mUsersGroupArray().count(group->mGroupUID()), 1);
    EXPECT_FALSE(carol->mUsersGroupArray().contains(group->mGroupUID()));
}

TEST_F(SheetsTest, KeyboardDrivesARealRun)
{
    const auto previous = platform::setModalResponder({});
    AlertRecorder alerts;
    QTimer::singleShot(0, [this] {
        auto* field = sheets.groupSettingsPanel()->mGroupNameField;
        QTest::keyClick(field, Qt::Key_Return); // blank: refused, the sheet stays
        QTest::keyClicks(field, QStringLiteral("Legal"));
        QTest::keyClick(field, Qt::Key_Return);
    });
    // A run the keys failed to end is ended here, and the test fails below.
    QTimer guard;
    guard.setSingleShot(true);
    QObject::connect(&guard, &QTimer::timeout, [] { platform::stopModalWithCode(-1); });
    guard.start(5000);
    int operation = kOperationAdd;
    const auto group = sheets.runGroupSettingsPanelForWindow(nullptr, nullptr, operation);
    const bool groupRunTimedOut = !guard.isActive();

    QTimer::singleShot(0, [this] { QTest::keyClick(sheets.customSettingsPanel()->mTypeNameField, Qt::Key_Escape); });
    guard.start(5000);
    operation = kOperationAdd;
    const auto type = sheets.runCustomSettingsPanelForWindow(nullptr, nullptr, operation);
    const bool typeRunTimedOut = !guard.isActive();
    guard.stop();
    platform::setModalResponder(previous);

    EXPECT_FALSE(groupRunTimedOut);
    EXPECT_FALSE(typeRunTimedOut);

    ASSERT_TRUE(group);
    EXPECT_EQ(group->mGroupName(), QStringLiteral("Legal"));
    EXPECT_EQ(alerts.messages(), QStringList{QStringLiteral("You must specify a name for this Group. ")});
    EXPECT_FALSE(type);
    EXPECT_FALSE(sheets.customSettingsPanel()->isVisible());
}

// --- type sheet ----------------------------------------------------------------------

TEST_F(SheetsTest, EscapeOverTypedChangesAsksAndNoKeepsTheSheet)
{
    const auto previous = platform::setModalResponder({});
    AlertRecorder alerts;
    QTimer guard;
    guard.setSingleShot(true);
    QObject::connect(&guard, &QTimer::timeout, [] { platform::stopModalWithCode(-1); });

    // The group sheet: a typed name asks; No keeps it with the name, Yes leaves.
    QString keptName;
    QTimer::singleShot(0, [&] {
        auto* field = sheets.groupSettingsPanel()->mGroupNameField;
        QTest::keyClicks(field, QStringLiteral("Legal"));
        QTest::keyClick(field, Qt::Key_Escape); // answered No
        keptName = field->text();
        alerts.answerNext(platform::kAlertAlternateReturn);
        QTest::keyClick(field, Qt::Key_Escape);
    });
    guard.start(5000);
    int operation = kOperationAdd;
    EXPECT_FALSE(sheets.runGroupSettingsPanelForWindow(nullptr, nullptr, operation));
    EXPECT_TRUE(guard.isActive()) << "Escape did not end the run";
    EXPECT_EQ(keptName, "Legal");
    ASSERT_EQ(alerts.alerts().size(), 2u);
    EXPECT_EQ(alerts.alerts().front().message, "You have made changes. Do you want to discard them?");
    EXPECT_EQ(alerts.alerts().front().defaultButton, "No");

    // The type sheet as it opened: Escape leaves at once.
    QTimer::singleShot(0, [this] { QTest::keyClick(sheets.customSettingsPanel()->mTypeNameField, Qt::Key_Escape); });
    guard.start(5000);
    operation = kOperationAdd;
    EXPECT_FALSE(sheets.runCustomSettingsPanelForWindow(nullptr, nullptr, operation));
    EXPECT_TRUE(guard.isActive());
    EXPECT_EQ(alerts.alerts().size(), 2u);

    // A field name typed in the type sheet asks too.
    QTimer::singleShot(0, [&] {
        QTest::keyClicks(sheets.customSettingsPanel()->mFieldNameFields[1], QStringLiteral("Login"));
        alerts.answerNext(platform::kAlertAlternateReturn);
        QTest::keyClick(sheets.customSettingsPanel()->mFieldNameFields[1], Qt::Key_Escape);
    });
    guard.start(5000);
    operation = kOperationAdd;
    EXPECT_FALSE(sheets.runCustomSettingsPanelForWindow(nullptr, nullptr, operation));
    guard.stop();
    EXPECT_EQ(alerts.alerts().size(), 3u);
    platform::setModalResponder(previous);
}

TEST_F(SheetsTest, TypeSheetShowsTheTypeAndDefaults)
{
    web->setMTypeMask(0b1000000010);
    web->setMTypeIconID(0);
    web->setMField3(QString());
    ModalScript script;
    script.then([this](QWidget* window) {
        EXPECT_EQ(window->objectName(), QStringLiteral("CustomSettingsPanel"));
        auto* panel = sheets.customSettingsPanel();
        EXPECT_EQ(panel->mTypeNameField->text(), QStringLiteral("Web"));
        EXPECT_EQ(panel->mGroupSelectionPopupForType->currentText(), QStringLiteral("Sales"));
        EXPECT_EQ(panel->mFieldNameFields[0]->text(), QStringLiteral("URL"));
        EXPECT_EQ(panel->mFieldNameFields[2]->text(), QStringLiteral("Field 3"));
        EXPECT_EQ(panel->mFieldNameFields[9]->text(), QStringLiteral("Date Mod"));
        EXPECT_TRUE(panel->mFieldMaskBoxes[1]->isChecked());
        EXPECT_TRUE(panel->mFieldMaskBoxes[9]->isChecked());
        EXPECT_FALSE(panel->mFieldMaskBoxes[0]->isChecked());
        EXPECT_EQ(panel->iconID(), kDefaultIconID);
        EXPECT_TRUE(panel->mResetButton->isHidden());
        return platform::kModalRunAborted;
    });
    int operation = kOperationEdit;
    EXPECT_FALSE(sheets.runCustomSettingsPanelForWindow(nullptr, web, operation));
    EXPECT_EQ(operation, kOperationEdit);
}

TEST_F(SheetsTest, NewTypeFromTheSheet)
{
    AlertRecorder alerts;
    ModalScript script;
    script.then([this](QWidget*) {
        auto* panel = sheets.customSettingsPanel();
        EXPECT_TRUE(panel->mTypeNameField->text().isEmpty());
        EXPECT_FALSE(sheets.customSettingsOK()); // blank name
        panel->mTypeNameField->setText(QStringLiteral("Mail"));
        EXPECT_FALSE(sheets.customSettingsOK()); // stored name
        panel->mTypeNameField->setText(QStringLiteral("Server"));
        panel->mFieldNameFields[0]->setText(QStringLiteral("Host"));
        panel->mFieldNameFields[1]->clear();
        panel->mFieldMaskBoxes[2]->setChecked(true);
        panel->mGroupSelectionPopupForType->setCurrentText(QStringLiteral("Ops"));
        panel->setIconID(12);
        return sheets.customSettingsOK() ? platform::kModalRunStopped : platform::kModalRunAborted;
    });
    int operation = kOperationAdd;
    const auto type = sheets.runCustomSettingsPanelForWindow(nullptr, nullptr, operation);
    ASSERT_TRUE(type);
    EXPECT_EQ(alerts.messages(), (QStringList{QStringLiteral("You must specify a name for this type."),
                                              QStringLiteral("Type name could not be duplicated")}));
    EXPECT_EQ(type->mTypeName(), QStringLiteral("Server"));
    EXPECT_EQ(type->mField1(), QStringLiteral("Host"));
    EXPECT_EQ(type->mField2(), QStringLiteral("Field 2"));
    EXPECT_EQ(type->mTypeMask(), 0b100);
    EXPECT_EQ(type->mTypeIconID(), 12);
    EXPECT_EQ(type->mSelectedGroupUID(), ops->mGroupUID());
    EXPECT_EQ(operation, kOperationAdd);
    EXPECT_TRUE(sheets.isCustomizing());
}

TEST_F(SheetsTest, RenamingOnEditGivesANewTypeAndLeavesTheOldOne)
{
    AlertRecorder alerts;
    auto copy = TVXType::createCopyforType(*web);
    ModalScript script;
    script.then([this](QWidget*) {
        sheets.customSettingsPanel()->mTypeNameField->setText(QStringLiteral("Web Sites"));
        return sheets.customSettingsOK() ? platform::kModalRunStopped : platform::kModalRunAborted;
    });
    int operation = kOperationEdit;
    const auto result = sheets.runCustomSettingsPanelForWindow(nullptr, copy, operation);
    ASSERT_TRUE(result);
    EXPECT_EQ(operation, kOperationAdd);
    EXPECT_NE(result, copy);
    EXPECT_NE(result->mTypeUID(), web->mTypeUID());
    EXPECT_EQ(result->mTypeName(), QStringLiteral("Web Sites"));
    EXPECT_EQ(copy->mTypeName(), QStringLiteral("Web"));
    EXPECT_TRUE(alerts.alerts().empty());
}

TEST_F(SheetsTest, UnchangedEditAsksNothingAndChangedFieldsAsk)
{
    AlertRecorder alerts;
    ModalScript script;
    script.then([this](QWidget*) {
        return sheets.customSettingsOK() ? platform::kModalRunStopped : platform::kModalRunAborted;
    });
    auto copy = TVXType::createCopyforType(*web);
    int operation = kOperationEdit;
    EXPECT_EQ(sheets.runCustomSettingsPanelForWindow(nullptr, copy, operation), copy);
    EXPECT_TRUE(alerts.alerts().empty());
    EXPECT_TRUE(copy->isEqualToType(*web));

    // Changed field, answer "No" (keep editing): the type itself comes back changed.
    alerts.answerNext(platform::kAlertDefaultReturn);
    script.then([this](QWidget*) {
        sheets.customSettingsPanel()->mFieldNameFields[0]->setText(QStringLiteral("Address"));
        return sheets.customSettingsOK() ? platform::kModalRunStopped : platform::kModalRunAborted;
    });
    operation = kOperationEdit;
    EXPECT_EQ(sheets.runCustomSettingsPanelForWindow(nullptr, copy, operation), copy);
    EXPECT_EQ(operation, kOperationEdit);
    EXPECT_EQ(copy->mField1(), QStringLiteral("Address"));
    EXPECT_EQ(copy->mTypeUID(), web->mTypeUID());
    EXPECT_EQ(alerts.lastMessage(), kChangeTypeQuestion);
    EXPECT_EQ(alerts.alerts().back().defaultButton, QStringLiteral("No"));
    EXPECT_EQ(alerts.alerts().back().alternateButton, QStringLiteral("Cancel"));
    EXPECT_EQ(alerts.alerts().back().otherButton, QStringLiteral("Yes"));
}

// A saved edit is stored from a copy: a refusal leaves the type handed to the
// sheet as it came, and the stored copy is what the run returns.
TEST_F(SheetsTest, ASavedTypeEditIsACopyUntilStored)
{
    AlertRecorder alerts;
    alerts.answerNext(platform::kAlertDefaultReturn); // No: change the type itself
    alerts.answerNext(platform::kAlertDefaultReturn);
    ModalScript script;
    auto copy = TVXType::createCopyforType(*web);
    copy->setMSelectedGroupUID(web->mSelectedGroupUID());
    std::shared_ptr<TVXType> sent;
    int sentOperation = -1;
    BMCustomSettingsController::SaveAnswer held;
    const auto saver = [&](const std::shared_ptr<TVXType>& type, int operation,
                           BMCustomSettingsController::SaveAnswer answer) {
        sent = type;
        sentOperation = operation;
        held = std::move(answer);
        return true;
    };
    script.then([&](QWidget*) {
        sheets.customSettingsPanel()->mFieldNameFields[0]->setText(QStringLiteral("Address"));
        EXPECT_FALSE(sheets.customSettingsOK());
        std::exchange(held, {})(kTVXReloadFirst);
        EXPECT_EQ(copy->mField1(), QStringLiteral("URL")) << "the refused edit left the sheet's type alone";
        EXPECT_EQ(sheets.customSettingsPanel()->mFieldNameFields[0]->text(), QStringLiteral("Address"));
        EXPECT_FALSE(sheets.customSettingsOK());
        std::exchange(held, {})(kTVXDone);
        return sheets.requestedEnd().value_or(platform::kModalRunAborted);
    });
    int operation = kOperationEdit;
    const auto result = sheets.runCustomSettingsPanelForWindow(nullptr, copy, operation, saver);
    ASSERT_TRUE(result);
    EXPECT_EQ(result, sent);
    EXPECT_EQ(sentOperation, kOperationEdit);
    EXPECT_EQ(operation, kOperationEdit);
    EXPECT_EQ(result->mTypeUID(), web->mTypeUID());
    EXPECT_EQ(result->mField1(), QStringLiteral("Address"));
    EXPECT_EQ(result->mSelectedGroupUID(), web->mSelectedGroupUID());
    // The second OK asks again: the sheet's type is still the unchanged one.
    EXPECT_EQ(alerts.messages(), QStringList({kChangeTypeQuestion,
                                              QStringLiteral("Operation failed. Please reload the database first."),
                                              kChangeTypeQuestion}));
}

TEST_F(SheetsTest, ChangeQuestionAnswersAndPermissions)
{
    AlertRecorder alerts;
    auto copy = TVXType::createCopyforType(*web);
    db.caches().mCurrentUser()->setMTypePermissionsBit(kPermissionAdd); // may add types, not edit them
    ModalScript script;
    script.then([&](QWidget*) {
        auto* panel = sheets.customSettingsPanel();
        panel->mFieldMaskBoxes[0]->setChecked(true);
        alerts.answerNext(platform::kAlertAlternateReturn); // Cancel: stays
        EXPECT_FALSE(sheets.customSettingsOK());
        alerts.answerNext(platform::kAlertDefaultReturn); // No: needs the edit permission
        EXPECT_FALSE(sheets.customSettingsOK());
        EXPECT_EQ(alerts.lastMessage(), kNoPermission);
        EXPECT_TRUE(panel->mFieldMaskBoxes[0]->isChecked()); // the sheet keeps its contents
        alerts.answerNext(platform::kAlertOtherReturn); // Yes: a new type; the controls reset
        EXPECT_FALSE(sheets.customSettingsOK());
        EXPECT_TRUE(panel->mTypeNameField->text().isEmpty());
        EXPECT_FALSE(panel->mFieldMaskBoxes[0]->isChecked());
        panel->mTypeNameField->setText(QStringLiteral("Portal"));
        return sheets.customSettingsOK() ? platform::kModalRunStopped : platform::kModalRunAborted;
    });
    int operation = kOperationEdit;
    const auto result = sheets.runCustomSettingsPanelForWindow(nullptr, copy, operation);
    ASSERT_TRUE(result);
    EXPECT_EQ(operation, kOperationAdd);
    EXPECT_EQ(result->mTypeName(), QStringLiteral("Portal"));
    EXPECT_NE(result->mTypeUID(), web->mTypeUID());
    EXPECT_EQ(copy->mTypeMask(), web->mTypeMask());
}

TEST_F(SheetsTest, PerRecordFieldSetEqualToTheTypeIsNoCustomisation)
{
    ModalScript script;
    script.then([this](QWidget*) {
        auto* panel = sheets.customSettingsPanel();
        EXPECT_TRUE(panel->mTypeNameField->isHidden());
        EXPECT_TRUE(panel->mCustomIconButton->isHidden());
        EXPECT_TRUE(panel->mGroupSelectionPopupForType->isHidden());
        EXPECT_FALSE(panel->mResetButton->isHidden());
        panel->mFieldNameFields[1]->setText(QStringLiteral("PIN"));
        return sheets.customSettingsOK() ? platform::kModalRunStopped : platform::kModalRunAborted;
    });
    BMCustomSettingsController::RecordFieldSet fields;
    fields.type = web;
    auto shown = sheets.displayCustomSettingsPanel(nullptr, fields);
    ASSERT_TRUE(fields.typeCustomFields);
    EXPECT_EQ(shown, fields.typeCustomFields);
    EXPECT_TRUE(fields.customizing);
    EXPECT_TRUE(fields.isCustomFromDetailPanel);
    EXPECT_EQ(fields.typeCustomFields->mField2(), QStringLiteral("PIN"));
    EXPECT_EQ(fields.typeCustomFields->mTypeName(), QStringLiteral("Web"));
    EXPECT_EQ(web->mField2(), QStringLiteral("Field 2"));

    // Second run starts from the customised set; Reset brings back the type's names.
    script.then([this](QWidget*) {
        auto* panel = sheets.customSettingsPanel();
        EXPECT_EQ(panel->mFieldNameFields[1]->text(), QStringLiteral("PIN"));
        sheets.customSettingsReset();
        EXPECT_EQ(panel->mFieldNameFields[1]->text(), QStringLiteral("Field 2"));
        return sheets.customSettingsOK() ? platform::kModalRunStopped : platform::kModalRunAborted;
    });
    sheets.displayCustomSettingsPanel(nullptr, fields);
    EXPECT_FALSE(fields.customizing);
    EXPECT_FALSE(sheets.isCustomizing());
    EXPECT_FALSE(sheets.shouldHideControls());
}

TEST_F(SheetsTest, PerRecordSheetNeedsAType)
{
    AlertRecorder alerts;
    ModalScript script;
    BMCustomSettingsController::RecordFieldSet fields;
    EXPECT_FALSE(sheets.displayCustomSettingsPanel(nullptr, fields));
    EXPECT_EQ(alerts.lastMessage(), QStringLiteral("You need to set the group and type first"));
    EXPECT_TRUE(script.windows().isEmpty());
}

// --- editor ------------------------------------------------------------------------------

class EditorTest : public SheetsTest {
protected:
    BMCategoryEditWindowController editor{db, sheets};
};

TEST_F(EditorTest, ModesListTheirEntriesAndButtonsFollowTheSelection)
{
    editor.prepareForMode(kEditorGroupsMode);
    auto* table = editor.mGroupTableView();
    EXPECT_EQ(editor.window()->windowTitle(), QStringLiteral("Edit Groups"));
    EXPECT_EQ(table->model()->headerData(0, Qt::Horizontal).toString(), QStringLiteral("Groups"));
    ASSERT_EQ(table->model()->rowCount(), 3);
    EXPECT_EQ(table->model()->index(0, 0).data().toString(), QStringLiteral("Ops"));
    auto* edit = editor.window()->findChild<QPushButton*>(QStringLiteral("mEditButton"));
    auto* duplicate = editor.window()->findChild<QPushButton*>(QStringLiteral("mDuplicateButton"));
    auto* remove = editor.window()->findChild<QPushButton*>(QStringLiteral("mDeleteButton"));
    EXPECT_FALSE(edit->isEnabled());
    EXPECT_FALSE(duplicate->isEnabled());
    editor.selectRow(2);
    EXPECT_TRUE(edit->isEnabled() && duplicate->isEnabled() && remove->isEnabled());
    EXPECT_EQ(editor.selectedGroup(), sales);

    editor.prepareForMode(kEditorTypesMode);
    EXPECT_EQ(editor.window()->windowTitle(), QStringLiteral("Edit Types"));
    EXPECT_EQ(table->model()->headerData(0, Qt::Horizontal).toString(), QStringLiteral("Types"));
    EXPECT_TRUE(duplicate->isHidden());
    EXPECT_FALSE(edit->isEnabled());
    editor.selectRow(0);
    EXPECT_EQ(editor.selectedType(), web);
    EXPECT_TRUE(edit->isEnabled());
}

TEST_F(EditorTest, RefusalsBeforeAnySheetOpens)
{
    AlertRecorder alerts;
    ModalScript script;
    editor.prepareForMode(kEditorGroupsMode);
    editor.editTableEntry(true);
    EXPECT_EQ(alerts.lastMessage(), QStringLiteral(" No row is selected"));
    editor.deleteSelectedTableEntry();
    editor.duplicateGroup();
    EXPECT_EQ(alerts.alerts().size(), 3u);
    editor.editTypeDoubleAction(); // a double click on no row does nothing
    EXPECT_EQ(alerts.alerts().size(), 3u);

    editor.selectRow(1); // Personal-alice
    ASSERT_EQ(editor.selectedGroup(), personal);
    editor.editTableEntry(true);
    EXPECT_EQ(alerts.lastMessage(), QStringLiteral("You can not edit your personal group."));
    editor.deleteSelectedTableEntry();
    EXPECT_EQ(alerts.lastMessage(), QStringLiteral("You can not delete your personal group."));

    db.caches().mCurrentUser()->setMGroupPermissionsBit(0);
    editor.addNewEntry();
    EXPECT_EQ(alerts.lastMessage(), kNoPermission);
    editor.selectRow(2);
    editor.editTableEntry(true);
    editor.deleteSelectedTableEntry();
    editor.duplicateGroup();
    EXPECT_EQ(alerts.messages().mid(5), QStringList(4, kNoPermission));
    EXPECT_TRUE(script.windows().isEmpty());
    EXPECT_EQ(db.caches().mGroups().size(), 3);
}

TEST_F(EditorTest, DuplicatingThePersonalGroupIsRefusedUntilRenamed)
{
    AlertRecorder alerts;
    ModalScript script;
    script.then([this](QWidget*) {
        auto* panel = sheets.groupSettingsPanel();
        EXPECT_EQ(panel->mGroupNameField->text(), QStringLiteral("Personal-alice copy"));
        EXPECT_FALSE(sheets.customGroupSettingsOK());
        return platform::kModalRunAborted;
    });
    editor.prepareForMode(kEditorGroupsMode);
    editor.selectRow(1);
    editor.duplicateGroup();
    EXPECT_EQ(alerts.messages(), QStringList{kReservedMessage});
    EXPECT_FALSE(editor.mDuplicateGroup());
    EXPECT_EQ(db.caches().mGroups().size(), 3);
}

TEST_F(EditorTest, AddTypeIsRefusedAfterTheSheetWithoutPermission)
{
    AlertRecorder alerts;
    ModalScript script;
    db.caches().mCurrentUser()->setMTypePermissionsBit(kPermissionEdit);
    script.then([this](QWidget*) {
        sheets.customSettingsPanel()->mTypeNameField->setText(QStringLiteral("Server"));
        return sheets.customSettingsOK() ? platform::kModalRunStopped : platform::kModalRunAborted;
    });
    editor.prepareForMode(kEditorTypesMode);
    editor.addNewEntry();
    EXPECT_EQ(script.windows(), QStringList{QStringLiteral("CustomSettingsPanel")});
    EXPECT_EQ(alerts.messages(), QStringList{kNoPermission});
    EXPECT_EQ(db.caches().mTypes().size(), 1);
}

} // namespace
