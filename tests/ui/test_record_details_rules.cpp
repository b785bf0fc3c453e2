// The record sheet's rules on their own: labels, masks and date buttons of a
// type, field dates, the note and attachment limits, and what a run of the
// sheet hands back.
#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>

#include "model/TVXRecord.h"
#include "model/TVXType.h"
#include "windows/RecordDetailsLogic.h"

using namespace recorddetails;

namespace {

std::shared_ptr<TVXType> typeWith(const QStringList& fields, int mask = 0, int icon = 12)
{
    auto type = TVXType::createType();
    type->setMTypeName(QStringLiteral("Bank"));
    type->setMTypeIconID(icon);
    type->setMTypeMask(mask);
    for (int i = 0; i < fields.size(); ++i)
        type->setFieldAtIndex(i, fields[i]);
    return type;
}

TEST(RecordSheetFields, DateButtonsLabelsAndMasksFollowTheType)
{
    auto type = typeWith({"URL", "Expiry Date", "DATE", "  ", "Field 3", "Created", "", "birthdate", "x"},
                         0b1000000101 | (1 << 8));
    const auto fields = fieldPresentations(type.get());
    EXPECT_EQ(fields[0].label, "URL");
    EXPECT_FALSE(fields[0].dateButton);
    EXPECT_TRUE(fields[1].dateButton);
    EXPECT_TRUE(fields[2].dateButton);
    EXPECT_TRUE(fields[7].dateButton);   // "birthdate"
    EXPECT_FALSE(fields[4].dateButton);  // "Field 3"
    EXPECT_FALSE(fields[5].dateButton);  // "Created"
    EXPECT_EQ(fields[3].label, "Field 4"); // blank names fall back
    EXPECT_EQ(fields[6].label, "Field 7");
    EXPECT_TRUE(fields[0].masked);
    EXPECT_FALSE(fields[1].masked);
    EXPECT_TRUE(fields[2].masked);
    EXPECT_TRUE(fields[8].masked);
    // Field 10 is the modification date: its own label, masked by bit 512, no picker.
    EXPECT_EQ(fields[9].label, modificationFieldLabel());
    EXPECT_TRUE(fields[9].masked);
    EXPECT_FALSE(fields[9].dateButton);

    const auto none = fieldPresentations(nullptr);
    EXPECT_EQ(none[5].label, "Field 6");
    EXPECT_FALSE(none[5].masked);
}

TEST(RecordSheetFields, FieldDatesReadBothFormsAndWriteTheShortOne)
{
    EXPECT_EQ(parseFieldDate("5/4/09"), QDate(2009, 5, 4));
    EXPECT_EQ(parseFieldDate("05/04/2009"), QDate(2009, 5, 4));
    EXPECT_EQ(parseFieldDate("12/31/69"), QDate(1969, 12, 31)); // as the C library reads %y
    EXPECT_EQ(parseFieldDate("1/1/68"), QDate(2068, 1, 1));
    EXPECT_FALSE(parseFieldDate("next week").isValid());
    EXPECT_FALSE(parseFieldDate("13/1/09").isValid());
    EXPECT_FALSE(parseFieldDate("2/30/2009").isValid());
    EXPECT_FALSE(parseFieldDate("5/x/09").isValid());

    const QDate today(2026, 12, 9);
    EXPECT_EQ(pickerDateForField("5/4/09", today), QDate(2009, 5, 4));
    EXPECT_EQ(pickerDateForField("no date", today), today);

    EXPECT_EQ(fieldDateText(QDate(2009, 5, 4)), "5/4/09");
    EXPECT_EQ(fieldDateText(QDate(2000, 1, 1)), "1/1/00");
    // Value 10 shows as month, two-digit day, comma, year; other texts as they are.
    EXPECT_EQ(modificationDisplayText(QStringLiteral("2009-05-04 10:31:02 +0200")), "May 04,2009");
    EXPECT_EQ(modificationDisplayText(QStringLiteral("yesterday")), "yesterday");
}

TEST(RecordSheetLimits, TheNoteLimitCountsBytes)
{
    EXPECT_FALSE(isNoteTooLong(QString(4000, 'a')));
    EXPECT_TRUE(isNoteTooLong(QString(4001, 'a')));
    // 2000 two-byte characters are 4000 bytes; one more is too long.
    EXPECT_FALSE(isNoteTooLong(QString(2000, QChar(0x00E9))));
    EXPECT_TRUE(isNoteTooLong(QString(2000, QChar(0x00E9)) + "a"));

    // Cut to the limit in bytes, never inside a character.
    const QString mixed = QString(3999, 'a') + QString::fromUtf8("\xC3\xA9") + "tail";
    const QString clipped = clippedNote(mixed);
    EXPECT_EQ(clipped, QString(3999, 'a'));
    const QString emoji = QString(3998, 'a') + QString::fromUtf8("\xF0\x9F\x94\x91");
    EXPECT_EQ(clippedNote(emoji), QString(3998, 'a'));
}

TEST(RecordSheetLimits, AttachmentsMustStayBelowOneMegabyte)
{
    QTemporaryDir dir;
    auto make = [&](const QString& name, qint64 size) {
        QFile file(dir.filePath(name));
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        file.resize(size);
        return file.fileName();
    };
    EXPECT_TRUE(isAttachableFile(make("fits.bin", 1048575)));
    EXPECT_FALSE(isAttachableFile(make("limit.bin", 1048576)));
    EXPECT_FALSE(isAttachableFile(dir.filePath("missing.bin")));
    EXPECT_FALSE(isAttachableFile(dir.path())); // a folder
}

// --- building the record ---------------------------------------------------------------

SheetContents contentsFor(const std::shared_ptr<TVXType>& type)
{
    SheetContents c;
    c.type = type;
    c.values = {"bank", "alice", "pw"};
    c.iconNumber = type->mTypeIconID();
    return c;
}

TEST(RecordSheetBuild, TextTheStoreCannotGiveBackAsTypedIsLeftOut)
{
    auto type = typeWith({"URL", "User"}, 2, 12);
    auto c = contentsFor(type);
    c.values[0] = QString(QChar(0xFEFF)) + "bank";
    c.values[1] = QString("al") + QChar(0xD800) + "ice";
    c.note = QString("n") + QChar(0) + "ote" + QChar(0xDC00);
    SheetState state;
    auto record = buildRecord(c, state, nullptr);
    EXPECT_EQ(record->mValue1(), "bank");
    EXPECT_EQ(record->mValue2(), "alice");
    EXPECT_EQ(record->mNotes(), "note");
}

TEST(RecordSheetBuild, AnotherIconMakesTheRecordCustomisedWithoutTouchingItsType)
{
    auto type = typeWith({"URL", "User"}, 2, 12);
    auto c = contentsFor(type);
    c.iconNumber = 40;
    SheetState state;
    auto record = buildRecord(c, state, nullptr);
    ASSERT_TRUE(record->mIsCustomized());
    ASSERT_NE(record->mRecordCustomType(), nullptr);
    EXPECT_EQ(record->mRecordCustomType()->mTypeIconID(), 40);
    EXPECT_EQ(record->mRecordCustomType()->mField2(), "User");
    EXPECT_EQ(record->mRecordCustomType()->mTypeMask(), 2);
    EXPECT_EQ(type->mTypeIconID(), 12);
    EXPECT_TRUE(state.isCustomizing);

    // A customised record given another icon: its own field set takes the icon,
    // and the field set handed in (which a cached record may hold) stays.
    auto own = typeWith({"Host"}, 0, 7);
    c.iconNumber = 41;
    SheetState second;
    auto again = buildRecord(c, second, own);
    EXPECT_EQ(again->mRecordCustomType()->mTypeIconID(), 41);
    EXPECT_EQ(again->mRecordCustomType()->mField1(), "Host");
    EXPECT_EQ(own->mTypeIconID(), 7);

}

TEST(RecordSheetBuild, AttachmentStatesFollowWhatHappenedInTheSheet)
{
    auto type = typeWith({"URL"});
    SheetState state;
    auto c = contentsFor(type);

    c.attachmentModified = true;
    c.attachmentName = "key.pem";
    c.attachmentPath = "/home/alice/key.pem";
    auto added = buildRecord(c, state, nullptr);
    EXPECT_TRUE(added->mHasAttachment());
    EXPECT_EQ(added->mAttachmentState(), kAttachmentStateStoreNewFile);
    EXPECT_EQ(added->mAttachmentPath(), "/home/alice/key.pem");

    c.attachmentName.clear();
    auto removed = buildRecord(c, state, nullptr);
    EXPECT_FALSE(removed->mHasAttachment());
    EXPECT_EQ(removed->mAttachmentState(), kAttachmentStateRemoved);

    c.attachmentModified = false;
    c.attachmentName = "kept.txt";
    auto kept = buildRecord(c, state, nullptr);
    EXPECT_TRUE(kept->mHasAttachment());
    EXPECT_EQ(kept->mAttachmentName(), "kept.txt");
    EXPECT_EQ(kept->mAttachmentState(), kAttachmentStateNone);

    state.stateForDuplicate = true;
    state.currentRecord = TVXRecord::createRecord();
    state.currentRecord->setMAttachmentPath("/tmp/fetched/kept.txt");
    auto duplicate = buildRecord(c, state, nullptr);
    EXPECT_EQ(duplicate->mAttachmentState(), kAttachmentStateCopyStored);
    EXPECT_EQ(duplicate->mAttachmentPath(), "/tmp/fetched/kept.txt");
}

TEST(RecordSheetBuild, TheRunsEndDecidesRecordAndOperation)
{
    auto original = TVXRecord::createRecord();
    original->setMHasAttachment(true);
    original->setMAttachmentPassKey("passkey-of-row");
    original->setMAttachmentLength(77);
    original->setMViewCounter(5);
    original->setMAttachmentPath("/tmp/a");

    auto built = TVXRecord::createRecord();
    built->setMHasAttachment(true);
    int operation = kOperationEdit;
    auto edited = recordForRunResult(-1000, built, *original, operation, false, false, false);
    ASSERT_EQ(edited, built);
    EXPECT_EQ(operation, kOperationEdit);
    EXPECT_EQ(edited->mRecordUID(), original->mRecordUID());
    EXPECT_EQ(edited->mAttachmentPassKey(), "passkey-of-row");
    EXPECT_EQ(edited->mAttachmentLength(), 77);
    EXPECT_EQ(edited->mViewCounter(), 5);
    EXPECT_EQ(edited->mAttachmentPath(), "/tmp/a");

    auto fresh = TVXRecord::createRecord();
    operation = kOperationAdd;
    auto added = recordForRunResult(-1000, fresh, *original, operation, false, false, false);
    EXPECT_NE(added->mRecordUID(), original->mRecordUID());
    EXPECT_EQ(operation, kOperationAdd);

    operation = kOperationEdit;
    auto duplicated = recordForRunResult(-1000, TVXRecord::createRecord(), *original, operation, false, true, false);
    EXPECT_NE(duplicated->mRecordUID(), original->mRecordUID());
    EXPECT_EQ(operation, kOperationDuplicate);

    operation = kOperationEdit;
    EXPECT_EQ(recordForRunResult(-1001, nullptr, *original, operation, true, false, false), nullptr);
    EXPECT_EQ(operation, kOperationDelete);
    operation = kOperationEdit;
    EXPECT_EQ(recordForRunResult(-1001, nullptr, *original, operation, false, false, false), nullptr);
    EXPECT_EQ(operation, kOperationEdit);
}

} // namespace
