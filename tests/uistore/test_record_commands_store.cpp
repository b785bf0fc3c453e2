// The storing sequences of the record commands against a real store: a
// deletion series stops at the first failure, a record saved as new takes the
// attachment of the one it came from.
#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>

#include "app/records/RecordCommandRules.h"
#include "model/BMGroup.h"
#include "model/TVXRecord.h"
#include "model/TVXType.h"
#include "store/TVXDataBase.h"
#include "views/BMDetailsView.h"
#include "support/StoreSeed.h"
#include "support/TestStore.h"
#include "support/UiTestSupport.h"

using namespace teststore;

namespace {

const QString G1 = QStringLiteral("00000000000000A1");
const QString T1 = QStringLiteral("00000000000000C1");

class RecordCommandsStoreTest : public StoreTest {
protected:
    void SetUp() override
    {
        StoreTest::SetUp();
        bobID = addUser("bob", "bob-pw");
        StoreSeed seed(kMasterPassword);
        seed.group(G1, "Finance", 7, false);
        seed.type(T1, "Bank", 12, 0, {"Name", "Account"});
        seed.member(aliceID, G1);
        seed.member(bobID, G1);
        for (int i = 1; i <= 3; ++i) {
            SeedRecord record;
            record.uid = QStringLiteral("00000000000000B%1").arg(i);
            record.groupUID = G1;
            record.typeUID = T1;
            record.values = {QStringLiteral("record %1").arg(i)};
            seed.record(record);
        }
        ASSERT_EQ(logInAndLoad(alice), kTVXDone);
        ASSERT_EQ(logInAndLoad(bob, "bob", "bob-pw"), kTVXDone);
    }

    std::shared_ptr<TVXRecord> record(int i) const
    {
        return alice.caches().recordWithUID(QStringLiteral("00000000000000B%1").arg(i));
    }

    QString bobID;
    TVXDataBase alice;
    TVXDataBase bob;
};

TEST_F(RecordCommandsStoreTest, DeletionSeriesGoesFromTheLastAndStopsAtTheFirstFailure)
{
    auto ghost = TVXRecord::createRecord(); // never stored
    ghost->setMGroup(alice.caches().groupWithUID(G1));
    ghost->setMType(alice.caches().typeWithUID(T1));
    const TVXResult code = recordrules::deleteRecordsFromLast(alice, {record(1), ghost, record(3)});
    EXPECT_EQ(code, kTVXReloadFirst);
    EXPECT_FALSE(record(3));
    EXPECT_TRUE(record(1)); // before the failure in the list: kept
    ASSERT_EQ(bob.reloadDatabase(), kTVXDone);
    EXPECT_FALSE(bob.caches().recordWithUID(QStringLiteral("00000000000000B3")));
    EXPECT_TRUE(bob.caches().recordWithUID(QStringLiteral("00000000000000B1")));
}

TEST_F(RecordCommandsStoreTest, RecordSavedAsNewTakesTheStoredAttachment)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("statement.pdf"));
    const QByteArray contents = QByteArray("%PDF-1.4 statement of account ") + QByteArray(50, 'x');
    {
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(contents);
    }
    auto source = record(1);
    source->setMHasAttachment(true);
    source->setMAttachmentName(QStringLiteral("statement.pdf"));
    source->setMAttachmentPath(path);
    source->setMAttachmentState(kAttachmentStateStoreNewFile);
    ASSERT_EQ(alice.replaceRecord(source), kTVXDone);

    auto copy = TVXRecord::copyRecord(*source);
    copy->setMValue1(recordrules::duplicateFirstValue(copy->mValue1()));
    ASSERT_TRUE(copy->mHasAttachment());
    EXPECT_EQ(alice.addRecordCopyingAttachment(copy, source.get()), kTVXDone);

    ASSERT_EQ(bob.reloadDatabase(), kTVXDone);
    const auto seen = bob.caches().recordWithUID(copy->mRecordUID());
    ASSERT_TRUE(seen);
    EXPECT_EQ(seen->mValue1(), QStringLiteral("record 1 Copy"));
    EXPECT_EQ(seen->mAttachmentName(), QStringLiteral("statement.pdf"));
    TVXResult code = resultOfNumber(-1); // not set by the call
    const auto data = bob.attachments().extractAttachmentDataForRecord(*seen, &code);
    EXPECT_EQ(code, kTVXDone);
    ASSERT_TRUE(data);
    EXPECT_EQ(*data, contents);

    // The detail pane's copy: a refused attachment copy is no success.
    rootExec("CREATE TRIGGER tolvanexdb.refuse_copy BEFORE INSERT ON tolvanexdb.ATTACHMENTROWS FOR EACH ROW "
             "SIGNAL SQLSTATE '45000' SET MESSAGE_TEXT = 'refused'");
    auto second = TVXRecord::copyRecord(*source);
    EXPECT_NE(storeRecordFromPane(alice, *source, second, 2), kTVXDone);
    rootExec("DROP TRIGGER tolvanexdb.refuse_copy");
}

} // namespace
