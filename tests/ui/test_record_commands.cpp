// The record commands' permission refusals, duplicate detection and copied
// texts, over a manager whose caches the tests fill (no server).
#include <gtest/gtest.h>

#include <QLabel>
#include <QListView>

#include "app/BMController.h"
#include "app/records/RecordCommandRules.h"
#include "model/BMGroup.h"
#include "model/TVXRecord.h"
#include "model/TVXType.h"
#include "model/TVXUser.h"
#include "store/TVXDataBase.h"
#include "support/UiTestSupport.h"

using tvxtest::AlertRecorder;
using tvxtest::ModalScript;

namespace {

const QString kNoPermission = QStringLiteral(" You don't have sufficient access permissions.");
const QString kStandardTitle = QStringLiteral("Tolvanex Enterprise Alert!");

std::shared_ptr<TVXRecord> makeRecord(const std::shared_ptr<BMGroup>& group, const std::shared_ptr<TVXType>& type,
                                      const QString& first, const QString& second = {})
{
    auto record = TVXRecord::createRecord();
    record->setMGroup(group);
    record->setMType(type);
    record->setMValue1(first);
    record->setMValue2(second);
    return record;
}

class RecordCommandsTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        group = BMGroup::newGroup();
        group->setMGroupName(QStringLiteral("Finance"));
        type = TVXType::createType();
        type->setMTypeName(QStringLiteral("Bank"));
        user.setMRecordPermissionsBit(kPermissionAdd | kPermissionEdit | kPermissionDelete);
    }

    TVXUser user;
    std::shared_ptr<BMGroup> group;
    std::shared_ptr<TVXType> type;
};

// --- permission words ------------------------------------------------------------------

TEST_F(RecordCommandsTest, GroupThatPrevailsDecidesRegardlessOfTheUser)
{
    AlertRecorder alerts;
    group->setMPreferencePermissions(true);
    group->setMRecordLevelPermissions(kPermissionEdit);
    EXPECT_TRUE(recordrules::checkForRecordPermissionFor(&user, kPermissionEdit, group.get()));
    EXPECT_FALSE(recordrules::checkForRecordPermissionFor(&user, kPermissionDelete, group.get()));
    user.setMRecordPermissionsBit(0);
    EXPECT_TRUE(recordrules::checkForRecordPermissionFor(&user, kPermissionEdit, group.get()));
    EXPECT_EQ(alerts.alerts().size(), 1u);

    // A group that does not prevail leaves it to the user's own word.
    group->setMPreferencePermissions(false);
    EXPECT_FALSE(recordrules::checkForRecordPermissionFor(&user, kPermissionEdit, group.get()));
    user.setMRecordPermissionsBit(kPermissionDelete);
    EXPECT_TRUE(recordrules::checkForRecordPermissionFor(&user, kPermissionDelete | kPermissionAdd, group.get()));
    EXPECT_TRUE(recordrules::checkForRecordPermissionFor(&user, kPermissionDelete, nullptr));
    ASSERT_EQ(alerts.alerts().size(), 2u);
    EXPECT_EQ(alerts.lastMessage(), kNoPermission);
    EXPECT_EQ(alerts.lastTitle(), kStandardTitle);
    EXPECT_EQ(alerts.alerts().back().defaultButton, QStringLiteral("OK"));
}

TEST_F(RecordCommandsTest, DataPermissionBits)
{
    AlertRecorder alerts;
    user.setMDataPermissionsBit(kDataPermissionPrint | kDataPermissionExportAndMail);
    EXPECT_TRUE(recordrules::checkForDataPermissionFor(&user, kDataPermissionPrint));
    EXPECT_FALSE(recordrules::checkForDataPermissionFor(&user, kDataPermissionRemoveDuplicates));
    EXPECT_FALSE(recordrules::checkForDataPermissionFor(nullptr, kDataPermissionPrint));
    EXPECT_EQ(alerts.messages(), QStringList(2, kNoPermission));
    EXPECT_EQ(alerts.lastTitle(), kStandardTitle);
}

// --- duplicates ---------------------------------------------------------------------------

TEST_F(RecordCommandsTest, ThreeEqualRecordsGiveTwoDuplicatesAndKeepTheFirst)
{
    const auto a = makeRecord(group, type, "bank", "x");
    const auto b = makeRecord(group, type, "mail", "y");
    const auto c = makeRecord(group, type, "bank", "x");
    const auto d = makeRecord(group, type, "mail", "y");
    const auto e = makeRecord(group, type, "bank", "x");
    const auto f = makeRecord(group, type, "bank", "z");
    QStringList names;
    const auto duplicates = recordrules::deDupeIndexes({a, b, c, d, e, f}, &names);
    EXPECT_EQ(duplicates, (QList<std::shared_ptr<TVXRecord>>{e, c, d}));
    EXPECT_EQ(names, (QStringList{"bank", "bank", "mail"}));
    EXPECT_TRUE(recordrules::deDupeIndexes({a, f}).isEmpty());
    EXPECT_TRUE(recordrules::deDupeIndexes({}).isEmpty());
}

TEST_F(RecordCommandsTest, CustomTypesOfTwoRecords)
{
    auto a = makeRecord(group, type, "a");
    auto b = makeRecord(group, type, "b");
    EXPECT_TRUE(BMRecordCommands::itemsAreEqual(*a, *b));
    a->setMRecordCustomType(TVXType::createCopyforType(*type));
    EXPECT_FALSE(BMRecordCommands::itemsAreEqual(*a, *b));
    EXPECT_FALSE(BMRecordCommands::itemsAreEqual(*b, *a));
    b->setMRecordCustomType(TVXType::createCopyforType(*type));
    EXPECT_TRUE(BMRecordCommands::itemsAreEqual(*a, *b));
    b->mRecordCustomType()->setMField2(QStringLiteral("PIN"));
    EXPECT_FALSE(BMRecordCommands::itemsAreEqual(*a, *b));
}

// --- copied texts ----------------------------------------------------------------------------

TEST_F(RecordCommandsTest, CopyFieldTextsByTag)
{
    auto record = makeRecord(group, type, "bank", "alice");
    record->setMValue9(QStringLiteral("nine"));
    record->setMNotes(QStringLiteral("a note"));
    record->setMValue10(TVXRecord::modificationDateText(QDateTime(QDate(2009, 5, 4), QTime(10, 31, 2))));
    EXPECT_EQ(recordrules::copyFieldText(*record, 206), QStringLiteral("Finance"));
    EXPECT_EQ(recordrules::copyFieldText(*record, 207), QStringLiteral("bank"));
    EXPECT_EQ(recordrules::copyFieldText(*record, 208), QStringLiteral("alice"));
    EXPECT_EQ(recordrules::copyFieldText(*record, 215), QStringLiteral("nine"));
    EXPECT_EQ(recordrules::copyFieldText(*record, 216), QStringLiteral("May 04,2009"));
    EXPECT_EQ(recordrules::copyFieldText(*record, 217), QStringLiteral("a note"));
    EXPECT_FALSE(recordrules::copyFieldText(*record, 205));
    EXPECT_FALSE(recordrules::copyFieldText(*record, 218));
    EXPECT_EQ(recordrules::modificationDateForCopy(QStringLiteral("not a date")), QStringLiteral("not a date"));
    EXPECT_EQ(recordrules::duplicateFirstValue(QStringLiteral("bank")), QStringLiteral("bank Copy"));
}

TEST_F(RecordCommandsTest, FieldSetEqualToTheTypesIsNoCustomisation)
{
    auto record = makeRecord(group, type, "bank");
    auto returned = TVXType::createCopyforType(*type);
    returned->setMTypeName(QString()); // the name is not part of the comparison
    recordrules::applyCustomisedFieldSet(*record, returned);
    EXPECT_FALSE(record->mRecordCustomType());
    EXPECT_FALSE(record->mIsCustomized());

    returned->setMTypeMask(4);
    recordrules::applyCustomisedFieldSet(*record, returned);
    EXPECT_EQ(record->mRecordCustomType(), returned);
    EXPECT_TRUE(record->mIsCustomized());
}

// --- the commands' refusals -----------------------------------------------------------------

class ControllerCommandsTest : public RecordCommandsTest {
protected:
    void SetUp() override
    {
        RecordCommandsTest::SetUp();
        db.caches().mCurrentUser()->setMUsername(QStringLiteral("alice"));
        db.caches().mGroups().insert(group->mGroupUID(), group);
        db.caches().mTypes().insert(type->mTypeUID(), type);
    }

    void addRecord(const std::shared_ptr<TVXRecord>& record) { db.caches().mRecords().insert(record->mRecordUID(), record); }

    TVXDataBase db;
    BMController controller{&db};
};

TEST_F(ControllerCommandsTest, CommandsWithoutPermissionChangeNothing)
{
    AlertRecorder alerts;
    ModalScript script;
    TVXUser& me = *db.caches().mCurrentUser();
    me.setMRecordPermissionsBit(0);
    me.setMDataPermissionsBit(0);
    me.setMTypePermissionsBit(0);
    me.setMGroupPermissionsBit(0);
    addRecord(makeRecord(group, type, "bank"));
    addRecord(makeRecord(group, type, "bank"));

    controller.recordCommands().deleteSelected();
    controller.recordCommands().duplicateItem();
    controller.recordCommands().editItemDoubleAction();
    controller.recordCommands().deDupe();
    controller.recordCommands().addTypes();
    controller.recordCommands().displayEditGroupPanel();
    controller.recordCommands().displayEditTypesPanel();
    EXPECT_EQ(alerts.messages(), QStringList(7, kNoPermission));
    for (const auto& alert : alerts.alerts())
        EXPECT_EQ(alert.title, kStandardTitle);
    EXPECT_TRUE(script.windows().isEmpty()); // no sheet, editor or confirmation opened
    EXPECT_EQ(db.caches().mRecords().size(), 2);
    EXPECT_EQ(db.caches().mTypes().size(), 1);
}

TEST_F(ControllerCommandsTest, AddingNeedsAGroupAndAType)
{
    AlertRecorder alerts;
    db.caches().mTypes().clear();
    controller.recordCommands().addItemsToDetail();
    EXPECT_EQ(alerts.lastMessage(),
              QStringLiteral("Before adding record you need to have atleast one group and a type."));
    EXPECT_EQ(alerts.lastTitle(), kStandardTitle);
}

TEST_F(ControllerCommandsTest, DeleteConfirmationDefaultsToNo)
{
    AlertRecorder alerts;
    controller.recordCommands().deleteSelected();
    ASSERT_EQ(alerts.alerts().size(), 1u);
    const auto& question = alerts.alerts().front();
    EXPECT_EQ(question.message, QStringLiteral("Are you realy sure you want to delete the selected item(s)?"));
    EXPECT_EQ(question.title, kStandardTitle);
    EXPECT_EQ(question.defaultButton, QStringLiteral("No"));
    EXPECT_EQ(question.alternateButton, QStringLiteral("Yes"));
}

TEST_F(ControllerCommandsTest, RemovingDuplicatesAsksWithTheirNames)
{
    AlertRecorder alerts;
    controller.recordCommands().deDupe();
    EXPECT_EQ(alerts.lastMessage(), QStringLiteral("No duplicate item(s) found."));

    addRecord(makeRecord(group, type, "bank"));
    addRecord(makeRecord(group, type, "bank"));
    addRecord(makeRecord(group, type, "bank"));
    addRecord(makeRecord(group, type, "mail"));
    ModalScript script;
    script.then([this](QWidget* sheet) {
        EXPECT_EQ(sheet, controller.recordCommands().dedupeSheet());
        EXPECT_EQ(sheet->findChild<QLabel*>(QStringLiteral("mNumberOfDedupesText"))->text(),
                  QStringLiteral("2 duplicate item(s) found. Do you want to delete these item(s)?"));
        EXPECT_EQ(sheet->findChild<QListView*>(QStringLiteral("mDedupelistTable"))->model()->rowCount(), 2);
        EXPECT_EQ(controller.recordCommands().dedupeItemsNames(), (QStringList{"bank", "bank"}));
        return platform::kModalRunAborted; // No
    });
    controller.recordCommands().deDupe();
    EXPECT_EQ(script.windows(), QStringList{QStringLiteral("DedupeItems")});
    EXPECT_EQ(db.caches().mRecords().size(), 4);
}

} // namespace
