// The group/type editor and its sheets against a real store: what alice does
// through the windows ends up on the server and reaches bob after his reload.
#include <gtest/gtest.h>

#include <QTableView>

#include "model/BMGroup.h"
#include "model/TVXRecord.h"
#include "model/TVXType.h"
#include "model/TVXUser.h"
#include "model/TVXUser_Admin.h"
#include "store/TVXDataBase.h"
#include "support/StoreSeed.h"
#include "support/TestStore.h"
#include "support/UiTestSupport.h"
#include "windows/BMCategoryEditWindowController.h"
#include "windows/BMCustomSettingsController.h"
#include "windows/BMGroupSettingsPanel.h"
#include "windows/BMTypeSettingsPanel.h"
#include "windows/GroupTypeSettingsRules.h"

#include <QCheckBox>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include <cppconn/connection.h>

using namespace teststore;
using tvxtest::AlertRecorder;
using tvxtest::ModalScript;
using tvxtest::Ticker;

namespace {

const QString G1 = QStringLiteral("00000000000000A1");
const QString G2 = QStringLiteral("00000000000000A2");
const QString T1 = QStringLiteral("00000000000000C1");
const QString R1 = QStringLiteral("00000000000000B1");

class EditorStoreTest : public StoreTest {
protected:
    void SetUp() override
    {
        StoreTest::SetUp();
        bobID = addUser("bob", "bob-pw");
        carolID = addUser("carol", "carol-pw");
        StoreSeed seed(kMasterPassword);
        seed.group(G1, "Finance", 7, false);
        seed.group(G2, "Servers", 3, false);
        seed.type(T1, "Web log-in", 12, 0b100, {"URL", "User", "Password"});
        for (const QString& user : {aliceID, bobID})
            seed.member(user, G1);
        seed.member(aliceID, G2);
        seed.member(carolID, G2);
        SeedRecord record;
        record.uid = R1;
        record.groupUID = G1;
        record.typeUID = T1;
        record.values = {QStringLiteral("bank")};
        seed.record(record);
        ASSERT_EQ(logInAndLoad(alice), kTVXDone);
        ASSERT_EQ(logInAndLoad(bob, "bob", "bob-pw"), kTVXDone);
        sheets = std::make_unique<BMCustomSettingsController>(alice);
        editor = std::make_unique<BMCategoryEditWindowController>(alice, *sheets);
    }

    void TearDown() override
    {
        editor.reset();
        sheets.reset();
        StoreTest::TearDown();
    }

    int rowOfGroup(const QString& uid) const
    {
        const auto groups = alice.caches().groupsForEditing(true);
        for (int i = 0; i < groups.size(); ++i)
            if (groups.at(i)->mGroupUID() == uid)
                return i;
        return -1;
    }

    int rowOfType(const QString& uid) const
    {
        const auto types = alice.caches().typesForEditing(true);
        for (int i = 0; i < types.size(); ++i)
            if (types.at(i)->mTypeUID() == uid)
                return i;
        return -1;
    }

    // Ticks the user's row in the members tab.
    void tickMember(const QString& name)
    {
        auto* model = sheets->groupSettingsPanel()->mMembersModel;
        for (int row = 0; row < model->rowCount(); ++row)
            if (model->index(row, 1).data().toString() == name)
                model->setData(model->index(row, 0), Qt::Checked, Qt::CheckStateRole);
    }

    std::shared_ptr<BMGroup> groupNamed(const TVXDataBase& db, const QString& name) const
    {
        for (const auto& group : db.caches().mGroups())
            if (group->mGroupName() == name)
                return group;
        return nullptr;
    }

    std::shared_ptr<TVXType> typeNamed(const TVXDataBase& db, const QString& name) const
    {
        for (const auto& type : db.caches().mTypes())
            if (type->mTypeName() == name)
                return type;
        return nullptr;
    }

    // OK, then the server's answer: the run's end as the sheet asked for it.
    int pressGroupOK() { return answered(sheets->customGroupSettingsOK()); }
    int pressTypeOK() { return answered(sheets->customSettingsOK()); }
    int answered(bool endedAtOnce)
    {
        EXPECT_TRUE(QTest::qWaitFor([this] { return !sheets->isSaving(); }, 30000));
        return endedAtOnce ? platform::kModalRunStopped : sheets->requestedEnd().value_or(platform::kModalRunAborted);
    }
    QString serverCount(const QString& table) const
    {
        return rootQueryValue(QStringLiteral("SELECT COUNT(*) FROM tolvanexdb.%1").arg(table));
    }
    bool cursorIsBusy() const
    {
        return QGuiApplication::overrideCursor() && QGuiApplication::overrideCursor()->shape() == Qt::BusyCursor;
    }
    QStringList listedNames() const
    {
        QStringList names;
        const auto* model = editor->mGroupTableView()->model();
        for (int row = 0; row < model->rowCount(); ++row)
            names << model->index(row, 0).data().toString();
        return names;
    }
    void waitForTheDelete() { EXPECT_TRUE(QTest::qWaitFor([this] { return !editor->isDeleting(); }, 30000)); }

    QString bobID;
    QString carolID;
    TVXDataBase alice;
    TVXDataBase bob;
    std::unique_ptr<BMCustomSettingsController> sheets;
    std::unique_ptr<BMCategoryEditWindowController> editor;
};

// --- groups ------------------------------------------------------------------------

TEST_F(EditorStoreTest, AddedGroupReachesTheServerAndItsMember)
{
    ModalScript script;
    script.then([this](QWidget*) {
        auto* panel = sheets->groupSettingsPanel();
        panel->mGroupNameField->setText(QStringLiteral("Legal"));
        panel->mAddPermissionCell->setChecked(true);
        panel->mEditPermissionCell->setChecked(true);
        tickMember(QStringLiteral("bob"));
        return pressGroupOK();
    });
    editor->prepareForMode(kEditorGroupsMode);
    editor->addNewEntry();

    const auto added = groupNamed(alice, QStringLiteral("Legal"));
    ASSERT_TRUE(added);
    EXPECT_EQ(rootQueryValue(QStringLiteral("SELECT COUNT(*) FROM tolvanexdb.USERGROUPTABLE WHERE GROUPID='%1'")
                                 .arg(added->mGroupUID())),
              QStringLiteral("2")); // bob, and alice who added it
    EXPECT_EQ(editor->mGroupTableView()->model()->rowCount(), alice.caches().groupsForEditing(true).size());
    // Alice's copy of bob's account knows the new membership.
    EXPECT_TRUE(alice.caches().mUsers().value(bobID)->mUsersGroupArray().contains(added->mGroupUID()));

    ASSERT_EQ(bob.reloadDatabase(), kTVXDone);
    const auto seen = bob.caches().mGroups().value(added->mGroupUID());
    ASSERT_TRUE(seen);
    EXPECT_EQ(seen->mGroupName(), QStringLiteral("Legal"));
    EXPECT_EQ(seen->mRecordLevelPermissions(), kPermissionAdd | kPermissionEdit);
}

TEST_F(EditorStoreTest, StoredNameIsRefusedOnTheServersCipherText)
{
    AlertRecorder alerts;
    ModalScript script;
    script.then([this](QWidget*) {
        sheets->groupSettingsPanel()->mGroupNameField->setText(QStringLiteral("Servers"));
        return pressGroupOK();
    });
    const auto before = rootQueryValue(QStringLiteral("SELECT COUNT(*) FROM tolvanexdb.GROUPTABLE"));
    editor->prepareForMode(kEditorGroupsMode);
    editor->addNewEntry();
    EXPECT_EQ(alerts.messages(), QStringList{QStringLiteral("Group name could not be duplicated")});
    EXPECT_EQ(rootQueryValue(QStringLiteral("SELECT COUNT(*) FROM tolvanexdb.GROUPTABLE")), before);
}

// The server is slow to answer: the window goes on, the sheet keeps what was
// typed, says that it waits and takes no second OK, Cancel, Escape or close;
// memory changes only once the server has taken the group, stored once.
TEST_F(EditorStoreTest, AGroupAddWaitingForTheServerKeepsTheWindowAnsweringAndTheSheetsInput)
{
    AlertRecorder alerts;
    ModalScript script;
    const Ticker ticker;
    const QString groupsBefore = serverCount(QStringLiteral("GROUPTABLE"));
    const uint64_t uses = alice.connectionUsesOnMainThread();
    script.then([&](QWidget*) {
        auto* panel = sheets->groupSettingsPanel();
        const auto holder = holdEverySave();
        panel->mGroupNameField->setText(QStringLiteral("Legal"));
        tickMember(QStringLiteral("bob"));
        panel->mDoneButton->click();
        EXPECT_TRUE(sheets->isSaving());
        EXPECT_FALSE(sheets->requestedEnd()) << "the click returned before the answer";
        const int before = ticker.ticks();
        EXPECT_TRUE(QTest::qWaitFor([&] { return !panel->savingLine()->isHidden(); }, 2000)) << "the waiting line";
        EXPECT_GT(ticker.ticks(), before + 10) << "the window's timers ran while the save waited";
        EXPECT_TRUE(cursorIsBusy());
        EXPECT_FALSE(panel->mDoneButton->isEnabled());
        EXPECT_FALSE(panel->mCancelButton->isEnabled());
        EXPECT_FALSE(sheets->customGroupSettingsOK()); // Return in the name field
        QTest::keyClick(panel->mGroupNameField, Qt::Key_Escape);
        panel->onCancel();
        EXPECT_FALSE(panel->close()) << "the sheet stays until the answer";
        EXPECT_FALSE(sheets->requestedEnd());
        EXPECT_EQ(panel->mGroupNameField->text(), QStringLiteral("Legal"));
        EXPECT_FALSE(groupNamed(alice, QStringLiteral("Legal"))) << "memory waits for the server";
        holder->rollback();
        EXPECT_TRUE(QTest::qWaitFor([&] { return !sheets->isSaving(); }, 30000));
        EXPECT_TRUE(panel->savingLine()->isHidden());
        return sheets->requestedEnd().value_or(platform::kModalRunAborted);
    });
    editor->prepareForMode(kEditorGroupsMode);
    editor->addNewEntry();
    EXPECT_EQ(sheets->requestedEnd(), platform::kModalRunStopped);
    EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
    EXPECT_TRUE(alerts.alerts().empty()) << alerts.lastMessage().toStdString();
    const auto added = groupNamed(alice, QStringLiteral("Legal"));
    ASSERT_TRUE(added);
    EXPECT_EQ(serverCount(QStringLiteral("GROUPTABLE")).toInt(), groupsBefore.toInt() + 1) << "stored once";
    EXPECT_EQ(rootQueryValue(QStringLiteral("SELECT COUNT(*) FROM tolvanexdb.EVENTLOGGERTABLE WHERE EVENT='Add Group'")),
              QStringLiteral("1"));
    EXPECT_TRUE(alice.caches().mUsers().value(bobID)->mUsersGroupArray().contains(added->mGroupUID()));
    EXPECT_EQ(editor->mGroupTableView()->model()->rowCount(), alice.caches().groupsForEditing(true).size());
    EXPECT_EQ(alice.connectionUsesOnMainThread(), uses);
}

// The sheet's run ended from outside (a lock, a quit, a reload) while its
// save waited: the late answer still reaches the editor's list while it is
// shown, not only at its next opening.
TEST_F(EditorStoreTest, AnAnswerAfterTheSheetsRunEndedFromOutsideReachesTheShownList)
{
    AlertRecorder alerts;
    ModalScript script;
    std::unique_ptr<sql::Connection> holder;
    const auto endedWhileSaving = [&](bool (BMCustomSettingsController::*ok)()) {
        return [&, ok](QWidget*) {
            holder = holdEverySave();
            EXPECT_FALSE(((*sheets).*ok)()) << "the answer waits";
            EXPECT_TRUE(sheets->isSaving());
            return platform::kModalRunAborted;
        };
    };
    const auto listAfterTheAnswer = [&](const QString& name) {
        EXPECT_FALSE(listedNames().contains(name)) << "the run ended before the answer";
        holder->rollback();
        EXPECT_TRUE(QTest::qWaitFor([&] { return listedNames().contains(name); }, 30000))
            << name.toStdString() << " in the shown list";
        holder.reset();
    };
    editor->window()->show();

    editor->prepareForMode(kEditorGroupsMode);
    script.then([&](QWidget* sheet) {
        sheets->groupSettingsPanel()->mGroupNameField->setText(QStringLiteral("Legal"));
        return endedWhileSaving(&BMCustomSettingsController::customGroupSettingsOK)(sheet);
    });
    editor->addNewEntry();
    listAfterTheAnswer(QStringLiteral("Legal"));

    script.then([&](QWidget* sheet) {
        sheets->groupSettingsPanel()->mGroupNameField->setText(QStringLiteral("Accounts"));
        return endedWhileSaving(&BMCustomSettingsController::customGroupSettingsOK)(sheet);
    });
    editor->selectRow(rowOfGroup(G1));
    editor->editTableEntry(true);
    listAfterTheAnswer(QStringLiteral("Accounts"));

    editor->prepareForMode(kEditorTypesMode);
    script.then([&](QWidget* sheet) {
        sheets->customSettingsPanel()->mTypeNameField->setText(QStringLiteral("Server"));
        return endedWhileSaving(&BMCustomSettingsController::customSettingsOK)(sheet);
    });
    editor->addNewEntry();
    listAfterTheAnswer(QStringLiteral("Server"));
    EXPECT_TRUE(alerts.alerts().empty()) << alerts.lastMessage().toStdString();

    // A hidden editor reads its list again when it opens.
    editor->window()->hide();
    script.then([&](QWidget* sheet) {
        sheets->customSettingsPanel()->mTypeNameField->setText(QStringLiteral("Printer"));
        return endedWhileSaving(&BMCustomSettingsController::customSettingsOK)(sheet);
    });
    editor->addNewEntry();
    holder->rollback();
    EXPECT_TRUE(QTest::qWaitFor([&] { return typeNamed(alice, QStringLiteral("Printer")) != nullptr; }, 30000));
    EXPECT_FALSE(listedNames().contains(QStringLiteral("Printer")));
    holder.reset();
}

// A name only another client stored (not in this client's memory) is found
// by the save on the server: today's message, the input stays, nothing stored.
TEST_F(EditorStoreTest, ANameAnotherClientStoredIsRefusedAndTheSheetKeepsItsInput)
{
    auto theirs = std::make_shared<BMGroup>();
    theirs->setMGroupUID(QStringLiteral("00000000000000D1"));
    theirs->setMGroupName(QStringLiteral("Legal"));
    ASSERT_EQ(bob.addGroup(theirs), kTVXDone);
    auto theirCopy = std::make_shared<BMGroup>();
    theirCopy->setMGroupUID(QStringLiteral("00000000000000D2"));
    theirCopy->setMGroupName(QStringLiteral("Finance copy"));
    ASSERT_EQ(bob.addGroup(theirCopy), kTVXDone);
    auto theirType = TVXType::createType();
    theirType->setMTypeName(QStringLiteral("Licence"));
    ASSERT_EQ(bob.addType(theirType), kTVXDone);
    ASSERT_FALSE(groupNamed(alice, QStringLiteral("Legal")));
    const QString groupsBefore = serverCount(QStringLiteral("GROUPTABLE"));
    const QString typesBefore = serverCount(QStringLiteral("TYPETABLE"));
    const uint64_t uses = alice.connectionUsesOnMainThread();

    AlertRecorder alerts;
    ModalScript script;
    QStringList kept;
    script.then([&](QWidget*) {
        sheets->groupSettingsPanel()->mGroupNameField->setText(QStringLiteral("Legal"));
        EXPECT_EQ(pressGroupOK(), platform::kModalRunAborted) << "the sheet stays";
        kept << sheets->groupSettingsPanel()->mGroupNameField->text();
        return platform::kModalRunAborted;
    });
    editor->prepareForMode(kEditorGroupsMode);
    editor->addNewEntry();

    // A duplicate's name is shown as it was, not suffixed again.
    script.then([&](QWidget*) {
        EXPECT_EQ(pressGroupOK(), platform::kModalRunAborted);
        kept << sheets->groupSettingsPanel()->mGroupNameField->text();
        return platform::kModalRunAborted;
    });
    editor->selectRow(rowOfGroup(G1));
    editor->duplicateGroup();

    script.then([&](QWidget*) {
        auto* panel = sheets->customSettingsPanel();
        panel->mTypeNameField->setText(QStringLiteral("Licence"));
        panel->mFieldNameFields[0]->setText(QStringLiteral("Product"));
        EXPECT_EQ(pressTypeOK(), platform::kModalRunAborted);
        kept << panel->mTypeNameField->text() << panel->mFieldNameFields[0]->text();
        return platform::kModalRunAborted;
    });
    editor->prepareForMode(kEditorTypesMode);
    editor->addNewEntry();

    EXPECT_EQ(alerts.messages(), QStringList({QStringLiteral("Group name could not be duplicated"),
                                              QStringLiteral("Group name could not be duplicated"),
                                              QStringLiteral("Type name could not be duplicated")}));
    EXPECT_EQ(kept, QStringList({QStringLiteral("Legal"), QStringLiteral("Finance copy"), QStringLiteral("Licence"),
                                 QStringLiteral("Product")}));
    EXPECT_EQ(serverCount(QStringLiteral("GROUPTABLE")), groupsBefore);
    EXPECT_EQ(serverCount(QStringLiteral("TYPETABLE")), typesBefore);
    EXPECT_FALSE(typeNamed(alice, QStringLiteral("Licence")));
    EXPECT_EQ(alice.connectionUsesOnMainThread(), uses);
}

TEST_F(EditorStoreTest, EditedGroupKeepsItsIdentifierAndTakesSubGroupMembers)
{
    ModalScript script;
    script.then([this](QWidget*) {
        auto* panel = sheets->groupSettingsPanel();
        panel->mGroupNameField->setText(QStringLiteral("Treasury"));
        auto* subGroups = panel->mSubGroupsModel;
        for (int row = 0; row < subGroups->rowCount(); ++row)
            if (subGroups->index(row, 1).data().toString() == QStringLiteral("Servers"))
                subGroups->setData(subGroups->index(row, 0), Qt::Checked, Qt::CheckStateRole);
        return pressGroupOK();
    });
    editor->prepareForMode(kEditorGroupsMode);
    editor->selectRow(rowOfGroup(G1));
    const uint64_t uses = alice.connectionUsesOnMainThread();
    editor->editTableEntry(true);
    EXPECT_EQ(alice.connectionUsesOnMainThread(), uses) << "the edit waited for the server on a worker";

    const auto edited = alice.caches().groupWithUID(G1);
    ASSERT_TRUE(edited);
    EXPECT_EQ(edited->mGroupName(), QStringLiteral("Treasury"));
    EXPECT_TRUE(edited->mUserMembersArray().contains(carolID));
    EXPECT_EQ(alice.caches().recordWithUID(R1)->mGroup(), edited); // records follow the replaced group
    EXPECT_EQ(editor->selectedGroup(), edited);

    ASSERT_EQ(bob.reloadDatabase(), kTVXDone);
    ASSERT_TRUE(bob.caches().groupWithUID(G1));
    EXPECT_EQ(bob.caches().groupWithUID(G1)->mGroupName(), QStringLiteral("Treasury"));
    EXPECT_EQ(bob.caches().groupWithUID(G1)->mSubGroupsUID(), QStringList{G2});
}

TEST_F(EditorStoreTest, DeletingAGroupWithRecordsOffersBackupFirst)
{
    AlertRecorder alerts;
    int backups = 0;
    editor->setBackupHandler([&backups] { ++backups; });
    editor->prepareForMode(kEditorGroupsMode);
    editor->selectRow(rowOfGroup(G1));

    alerts.answerNext(platform::kAlertDefaultReturn); // Backup: nothing deleted
    editor->deleteSelectedTableEntry();
    EXPECT_EQ(backups, 1);
    ASSERT_EQ(alerts.alerts().size(), 1u);
    EXPECT_EQ(alerts.lastTitle(), QStringLiteral("TolvanEnterprise Delete Group."));
    EXPECT_EQ(alerts.lastMessage(), QStringLiteral("Note – You can Backup this group before Deleting it.\nAre you "
                                                   "Sure?\nAll Types and Records inside this Group will be deleted."));
    EXPECT_TRUE(alice.caches().groupWithUID(G1));

    alerts.answerNext(platform::kAlertAlternateReturn); // Yes
    editor->deleteSelectedTableEntry();                 // confirmation's default: No
    EXPECT_TRUE(alice.caches().groupWithUID(G1));
    EXPECT_EQ(alerts.lastTitle(), QStringLiteral("Tolvanex Enterprise Delete Group."));

    alerts.answerNext(platform::kAlertAlternateReturn); // Yes
    alerts.answerNext(platform::kAlertAlternateReturn); // Yes, delete
    editor->deleteSelectedTableEntry();
    waitForTheDelete();
    EXPECT_FALSE(alice.caches().groupWithUID(G1));
    EXPECT_FALSE(alice.caches().recordWithUID(R1));
    EXPECT_EQ(rootQueryValue(QStringLiteral("SELECT COUNT(*) FROM tolvanexdb.GROUPTABLE WHERE UID='%1'").arg(G1)),
              QStringLiteral("0"));
    ASSERT_EQ(bob.reloadDatabase(), kTVXDone);
    EXPECT_FALSE(bob.caches().recordWithUID(R1));

    // A group without records is only confirmed.
    const auto before = alerts.alerts().size();
    editor->selectRow(rowOfGroup(G2));
    alerts.answerNext(platform::kAlertAlternateReturn);
    editor->deleteSelectedTableEntry();
    waitForTheDelete();
    EXPECT_EQ(alerts.alerts().size(), before + 1);
    EXPECT_FALSE(alice.caches().groupWithUID(G2));
}

// A delete waiting for the server: the editor goes on answering, shows a
// busy cursor and takes no second command; the group and its records leave
// the caches and the list with the answer.
TEST_F(EditorStoreTest, AGroupDeleteWaitingForTheServerLeavesTheListUntilTheAnswer)
{
    AlertRecorder alerts;
    ModalScript script;
    editor->prepareForMode(kEditorGroupsMode);
    editor->selectRow(rowOfGroup(G1));
    const int rows = editor->mGroupTableView()->model()->rowCount();
    const uint64_t uses = alice.connectionUsesOnMainThread();
    auto holder = holdEverySave();
    alerts.answerNext(platform::kAlertAlternateReturn); // no backup
    alerts.answerNext(platform::kAlertAlternateReturn); // Yes, delete
    editor->deleteSelectedTableEntry();
    ASSERT_TRUE(editor->isDeleting());
    const Ticker ticker;
    EXPECT_TRUE(QTest::qWaitFor([&] { return ticker.ticks() > 10; }, 2000)) << "the window's timers ran";
    EXPECT_TRUE(cursorIsBusy());
    editor->addNewEntry();
    editor->deleteSelectedTableEntry();
    editor->done();
    EXPECT_TRUE(script.windows().isEmpty()) << "no second command while the delete waits";
    EXPECT_EQ(alerts.alerts().size(), 2u);
    EXPECT_TRUE(alice.caches().groupWithUID(G1));
    EXPECT_TRUE(alice.caches().recordWithUID(R1));
    EXPECT_EQ(editor->mGroupTableView()->model()->rowCount(), rows);

    holder->rollback();
    waitForTheDelete();
    EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
    EXPECT_EQ(alerts.alerts().size(), 2u) << alerts.lastMessage().toStdString();
    EXPECT_FALSE(alice.caches().groupWithUID(G1));
    EXPECT_FALSE(alice.caches().recordWithUID(R1));
    EXPECT_EQ(editor->mGroupTableView()->model()->rowCount(), rows - 1);
    EXPECT_EQ(serverCount(QStringLiteral("GROUPTABLE WHERE UID='%1'").arg(G1)), QStringLiteral("0"));
    EXPECT_EQ(alice.connectionUsesOnMainThread(), uses);
}

// A delete the server refuses is reported and leaves the caches, the list
// and the records as they were.
TEST_F(EditorStoreTest, ARefusedDeleteLeavesEverything)
{
    for (const char* table : {"GROUPTABLE", "TYPETABLE"})
        rootExec(QStringLiteral("CREATE TRIGGER tolvanexdb.refuse_delete_%1 BEFORE DELETE ON tolvanexdb.%1 FOR EACH ROW "
                                "SIGNAL SQLSTATE '45000' SET MESSAGE_TEXT = 'refused'")
                     .arg(QLatin1String(table)));
    AlertRecorder alerts;
    const uint64_t uses = alice.connectionUsesOnMainThread();
    editor->prepareForMode(kEditorGroupsMode);
    editor->selectRow(rowOfGroup(G1));
    const int groupRows = editor->mGroupTableView()->model()->rowCount();
    alerts.answerNext(platform::kAlertAlternateReturn);
    alerts.answerNext(platform::kAlertAlternateReturn);
    editor->deleteSelectedTableEntry();
    waitForTheDelete();
    EXPECT_EQ(alerts.lastMessage(), QStringLiteral("Operation failed. Please reload the database first."));
    EXPECT_TRUE(alice.caches().groupWithUID(G1));
    EXPECT_EQ(editor->mGroupTableView()->model()->rowCount(), groupRows);

    editor->prepareForMode(kEditorTypesMode);
    editor->selectRow(rowOfType(T1));
    alerts.answerNext(platform::kAlertAlternateReturn);
    alerts.answerNext(platform::kAlertAlternateReturn);
    editor->deleteSelectedTableEntry();
    waitForTheDelete();
    EXPECT_EQ(alerts.alerts().size(), 6u);
    EXPECT_EQ(alerts.lastMessage(), QStringLiteral("Operation failed. Please reload the database first."));
    EXPECT_TRUE(alice.caches().typeWithUID(T1));
    EXPECT_EQ(alice.caches().recordWithUID(R1)->mType(), alice.caches().typeWithUID(T1));
    EXPECT_EQ(serverCount(QStringLiteral("RECORDTABLE")), QStringLiteral("1"));
    EXPECT_EQ(alice.connectionUsesOnMainThread(), uses);
}

// --- types -------------------------------------------------------------------------

TEST_F(EditorStoreTest, NamesTooLongToStoreNameTheFieldAndTheLimitAndTheSheetKeepsThem)
{
    // 240 bytes fill the name column's last whole cipher block; one more does not fit.
    const QString longest(240, QLatin1Char('g'));
    const QString tooLong(311, QLatin1Char('g'));
    const int groupsBefore = rootQueryValue(QStringLiteral("SELECT COUNT(*) FROM tolvanexdb.GROUPTABLE")).toInt();
    {
        AlertRecorder alerts;
        ModalScript script;
        bool refused = false;
        QString keptName;
        script.then([&](QWidget*) {
            auto* field = sheets->groupSettingsPanel()->mGroupNameField;
            field->setText(tooLong);
            // Refused before any store: the sheet stays with the name.
            refused = !sheets->customGroupSettingsOK();
            keptName = field->text();
            field->setText(longest);
            return pressGroupOK();
        });
        editor->prepareForMode(kEditorGroupsMode);
        editor->addNewEntry();
        EXPECT_TRUE(refused);
        EXPECT_EQ(alerts.messages(),
                  QStringList{QStringLiteral("The group name is too long to be stored (at most 240 bytes). "
                                             "Please shorten it.")});
        EXPECT_EQ(keptName, tooLong);
        EXPECT_TRUE(groupNamed(alice, longest));
        EXPECT_EQ(rootQueryValue(QStringLiteral("SELECT COUNT(*) FROM tolvanexdb.GROUPTABLE")).toInt(),
                  groupsBefore + 1);
    }
    const auto typesBefore = rootQueryValue(QStringLiteral("SELECT COUNT(*) FROM tolvanexdb.TYPETABLE"));
    {
        AlertRecorder alerts;
        ModalScript script;
        script.then([&](QWidget*) {
            auto* panel = sheets->customSettingsPanel();
            panel->mTypeNameField->setText(tooLong);
            EXPECT_FALSE(sheets->customSettingsOK());
            panel->mTypeNameField->setText(QStringLiteral("Printer"));
            // Two-byte letters: 121 of them are 242 bytes.
            panel->mFieldNameFields[2]->setText(QString(121, QChar(0xE9)));
            EXPECT_FALSE(sheets->customSettingsOK());
            return platform::kModalRunAborted;
        });
        editor->prepareForMode(kEditorTypesMode);
        editor->addNewEntry();
        EXPECT_EQ(alerts.messages(),
                  QStringList({QStringLiteral("The type name is too long to be stored (at most 240 bytes). "
                                              "Please shorten it."),
                               QStringLiteral("The field name \"Field 3\" is too long to be stored (at most 240 "
                                              "bytes). Please shorten it.")}));
        EXPECT_EQ(rootQueryValue(QStringLiteral("SELECT COUNT(*) FROM tolvanexdb.TYPETABLE")), typesBefore);
    }
}

TEST_F(EditorStoreTest, AddedTypeReachesTheOtherClient)
{
    ModalScript script;
    script.then([this](QWidget*) {
        auto* panel = sheets->customSettingsPanel();
        panel->mTypeNameField->setText(QStringLiteral("Server"));
        panel->mFieldNameFields[0]->setText(QStringLiteral("Host"));
        panel->mFieldMaskBoxes[3]->setChecked(true);
        return pressTypeOK();
    });
    editor->prepareForMode(kEditorTypesMode);
    const uint64_t uses = alice.connectionUsesOnMainThread();
    editor->addNewEntry();
    EXPECT_EQ(alice.connectionUsesOnMainThread(), uses) << "the add waited for the server on a worker";
    const auto added = typeNamed(alice, QStringLiteral("Server"));
    ASSERT_TRUE(added);
    EXPECT_EQ(editor->mGroupTableView()->model()->rowCount(), alice.caches().typesForEditing(true).size());

    ASSERT_EQ(bob.reloadDatabase(), kTVXDone);
    const auto seen = bob.caches().typeWithUID(added->mTypeUID());
    ASSERT_TRUE(seen);
    EXPECT_EQ(seen->mField1(), QStringLiteral("Host"));
    EXPECT_EQ(seen->mTypeMask(), 0b1000);
}

TEST_F(EditorStoreTest, ChangedFieldsKeptAsAnEditReachTheOtherClient)
{
    AlertRecorder alerts;
    alerts.answerNext(platform::kAlertDefaultReturn); // No: change the type itself
    ModalScript script;
    script.then([this](QWidget*) {
        sheets->customSettingsPanel()->mFieldNameFields[1]->setText(QStringLiteral("Login"));
        return pressTypeOK();
    });
    editor->prepareForMode(kEditorTypesMode);
    editor->selectRow(rowOfType(T1));
    const uint64_t uses = alice.connectionUsesOnMainThread();
    editor->editTableEntry(true);
    EXPECT_EQ(alice.connectionUsesOnMainThread(), uses) << "the edit waited for the server on a worker";
    const auto edited = alice.caches().typeWithUID(T1);
    EXPECT_EQ(edited->mField2(), QStringLiteral("Login"));
    EXPECT_EQ(alice.caches().recordWithUID(R1)->mType(), edited);

    ASSERT_EQ(bob.reloadDatabase(), kTVXDone);
    EXPECT_EQ(bob.caches().typeWithUID(T1)->mField2(), QStringLiteral("Login"));
    EXPECT_EQ(bob.caches().typeWithUID(T1)->mTypeName(), QStringLiteral("Web log-in"));
}

TEST_F(EditorStoreTest, DeletingATypeTakesItsRecords)
{
    AlertRecorder alerts;
    editor->prepareForMode(kEditorTypesMode);
    editor->selectRow(rowOfType(T1));
    ASSERT_EQ(editor->recordsToExportForBackUP().size(), 1);
    alerts.answerNext(platform::kAlertAlternateReturn);
    alerts.answerNext(platform::kAlertAlternateReturn);
    editor->deleteSelectedTableEntry();
    waitForTheDelete();
    ASSERT_EQ(alerts.alerts().size(), 2u);
    EXPECT_EQ(alerts.alerts().front().message.section('\n', 2), QStringLiteral("All  Records inside this Type will be deleted."));
    EXPECT_EQ(alerts.lastMessage(), QStringLiteral("Note – This action cannot be reversed.\nPlease confirm. Deleting Types?"));
    EXPECT_FALSE(alice.caches().typeWithUID(T1));
    ASSERT_EQ(bob.reloadDatabase(), kTVXDone);
    EXPECT_FALSE(bob.caches().typeWithUID(T1));
    EXPECT_FALSE(bob.caches().recordWithUID(R1));
}

} // namespace
