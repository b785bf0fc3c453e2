#include "model/BMGroup.h"
#include "model/TVXRecord.h"
#include "model/TVXType.h"
#include "model/TVXUID.h"

#include <gtest/gtest.h>

#include <QRegularExpression>

#include <thread>
#include <vector>

namespace {

std::shared_ptr<TVXType> customType(int icon, int mask)
{
    auto type = TVXType::createType();
    type->setMTypeName(QStringLiteral("Mine"));
    type->setMTypeIconID(icon);
    type->setMTypeMask(mask);
    type->setMField3(QStringLiteral("PIN"));
    return type;
}

// A filled record in a shared group and type.
std::shared_ptr<TVXRecord> sampleRecord(const std::shared_ptr<BMGroup>& group,
                                        const std::shared_ptr<TVXType>& type)
{
    auto record = TVXRecord::createRecord();
    record->setMGroup(group);
    record->setMType(type);
    for (int i = 0; i < 9; ++i)
        record->setValueAtIndex(i, QStringLiteral("value %1").arg(i + 1));
    record->setMNotes(QStringLiteral("Note text"));
    return record;
}

} // namespace

TEST(TVXType, NewTypesCarryDefaults)
{
    TVXType plain;
    EXPECT_TRUE(plain.mTypeUID().isNull());
    EXPECT_TRUE(plain.mTypeName().isNull());
    EXPECT_EQ(plain.mTypeIconID(), 0);
    EXPECT_EQ(plain.mTypeMask(), 0);
    for (int i = 0; i < kNumberOfFields; ++i)
        EXPECT_EQ(plain.fieldAtIndex(i), QStringLiteral("Field %1").arg(i + 1));

    auto created = TVXType::createType();
    EXPECT_EQ(created->mTypeUID().size(), 16);
    EXPECT_FALSE(TVXUID::isWellKnownUID(created->mTypeUID()));
    EXPECT_NE(created->mTypeUID(), TVXType::createType()->mTypeUID());
    EXPECT_TRUE(created->mTypeName().isEmpty());
    EXPECT_FALSE(created->mTypeName().isNull());
    EXPECT_EQ(created->mTypeIconID(), 31);
    EXPECT_EQ(created->mTypeMask(), 0);
    EXPECT_EQ(created->mField1(), "Field 1");
    EXPECT_EQ(created->mField10(), "Field 10");
}

TEST(TVXType, SharedUnfiledAndDummyTypes)
{
    auto unfiled = TVXType::UnfiledType();
    EXPECT_EQ(unfiled, TVXType::UnfiledType());
    EXPECT_EQ(unfiled->mTypeUID(), "0000000000000000");
    EXPECT_EQ(unfiled->mTypeName(), "Unfiled");
    EXPECT_EQ(unfiled->mTypeIconID(), 31);
    EXPECT_EQ(unfiled->mTypeMask(), 0);
    EXPECT_EQ(unfiled->mField10(), "Field 10");

    auto dummy = TVXType::dummyType();
    EXPECT_EQ(dummy, TVXType::dummyType());
    EXPECT_EQ(dummy->mTypeUID(), "000000000");
    EXPECT_TRUE(dummy->mTypeName().isEmpty());
    EXPECT_EQ(dummy->mTypeIconID(), 0);
    for (int i = 0; i < kNumberOfFields; ++i)
        EXPECT_TRUE(dummy->fieldAtIndex(i).isEmpty()) << i;
}

TEST(TVXType, AccessorTablesReachFieldIndexPlusOne)
{
    const auto& get = TVXType::getFunctionsArray();
    const auto& set = TVXType::setFunctionsArray();
    ASSERT_EQ(get.size(), 10u);
    ASSERT_EQ(set.size(), 10u);

    TVXType type;
    for (int i = 0; i < kNumberOfFields; ++i)
        (type.*set[i])(QStringLiteral("name %1").arg(i + 1));
    EXPECT_EQ(type.mField1(), "name 1");
    EXPECT_EQ(type.mField5(), "name 5");
    EXPECT_EQ(type.mField10(), "name 10");

    type.setMField7(QStringLiteral("seven"));
    type.setMField10(QStringLiteral("ten"));
    EXPECT_EQ((type.*get[6])(), "seven");
    EXPECT_EQ((type.*get[9])(), "ten");
    EXPECT_EQ(&TVXType::getFunctionsArray(), &get); // one table for every caller

    EXPECT_TRUE(type.fieldAtIndex(10).isEmpty());
    type.setFieldAtIndex(-1, QStringLiteral("ignored"));
    EXPECT_EQ(type.mField1(), "name 1");
}

TEST(TVXType, CopyKeepsIdentifierAndIsIndependent)
{
    auto source = customType(12, 0x204);
    source->setMSelectedGroupUID(QStringLiteral("00000000000000AB"));
    auto copy = TVXType::createCopyforType(*source);

    EXPECT_NE(copy, source);
    EXPECT_EQ(copy->mTypeUID(), source->mTypeUID());
    EXPECT_TRUE(copy->isEqualToType(*source));
    EXPECT_TRUE(copy->mSelectedGroupUID().isNull());

    copy->setMField3(QStringLiteral("Code"));
    copy->setMTypeMask(0);
    EXPECT_EQ(source->mField3(), "PIN");
    EXPECT_EQ(source->mTypeMask(), 0x204);
}

TEST(TVXType, EqualityIgnoresIdentifierCustomComparisonIgnoresName)
{
    auto a = customType(12, 3);
    auto b = customType(12, 3);
    ASSERT_NE(a->mTypeUID(), b->mTypeUID());
    EXPECT_TRUE(a->isEqualToType(*b));
    EXPECT_FALSE(a->isNotEqualToCustomType(*b));

    b->setMTypeName(QStringLiteral("mine"));
    EXPECT_FALSE(a->isEqualToType(*b)); // case counts
    EXPECT_FALSE(a->isNotEqualToCustomType(*b));

    auto c = customType(12, 3);
    c->setMField10(QStringLiteral("Field 10 "));
    EXPECT_FALSE(a->isEqualToType(*c));
    EXPECT_TRUE(a->isNotEqualToCustomType(*c));

    EXPECT_TRUE(a->isNotEqualToCustomType(*customType(13, 3)));
    EXPECT_TRUE(a->isNotEqualToCustomType(*customType(12, 1)));
    EXPECT_FALSE(a->isEqualToType(*customType(12, 1)));
}

TEST(TVXType, MaskBitIMasksFieldIPlusOne)
{
    TVXType type;
    type.setMTypeMask((1 << 0) | (1 << 9));
    EXPECT_TRUE(type.isFieldMasked(1));
    EXPECT_FALSE(type.isFieldMasked(2));
    EXPECT_TRUE(type.isFieldMasked(10));
    EXPECT_FALSE(type.isFieldMasked(11));
}

TEST(TVXRecord, NewRecordDefaults)
{
    TVXRecord plain;
    EXPECT_TRUE(plain.mRecordUID().isNull());
    EXPECT_FALSE(plain.mGroup());
    EXPECT_FALSE(plain.mType());
    EXPECT_FALSE(plain.mRecordCustomType());
    for (int i = 0; i < kNumberOfFields; ++i) {
        EXPECT_TRUE(plain.valueAtIndex(i).isEmpty());
        EXPECT_FALSE(plain.valueAtIndex(i).isNull());
    }
    EXPECT_FALSE(plain.mNotes().isNull());
    EXPECT_FALSE(plain.mAttachmentPassKey().isNull());
    EXPECT_EQ(plain.mAttachmentLength(), -1); // unknown
    EXPECT_TRUE(plain.mAttachmentPath().isNull());
    EXPECT_FALSE(plain.mIsCustomized());
    EXPECT_FALSE(plain.mHasAttachment());
    EXPECT_EQ(plain.mViewCounter(), 0);
    EXPECT_EQ(plain.mAttachmentState(), 0);

    const QDateTime before = QDateTime::currentDateTime().addSecs(-1);
    auto created = TVXRecord::createRecord();
    EXPECT_EQ(created->mRecordUID().size(), 16);
    EXPECT_NE(created->mRecordUID(), TVXRecord::createRecord()->mRecordUID());
    EXPECT_FALSE(created->mGroup());
    EXPECT_TRUE(QRegularExpression(QStringLiteral("^\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d [+-]\\d{4}$"))
                    .match(created->mValue10())
                    .hasMatch())
        << created->mValue10().toStdString();
    const QDateTime stamped = TVXRecord::dateFromModificationText(created->mValue10());
    EXPECT_GE(stamped, before);
    EXPECT_LE(stamped, QDateTime::currentDateTime().addSecs(1));

    // With value 10 given: that text, and a new identifier still; none given is now.
    auto dated = TVXRecord::createRecord(QStringLiteral("2009-05-07 00:00:00 +0200"));
    EXPECT_EQ(dated->mValue10(), QStringLiteral("2009-05-07 00:00:00 +0200"));
    EXPECT_EQ(dated->mRecordUID().size(), 16);
    EXPECT_NE(dated->mRecordUID(), created->mRecordUID());
    EXPECT_GE(TVXRecord::dateFromModificationText(TVXRecord::createRecord(QString())->mValue10()), before);
}

TEST(TVXRecord, ModificationDateText)
{
    const QDateTime parsed = TVXRecord::dateFromModificationText(QStringLiteral("2009-05-12 10:31:02 +0530"));
    ASSERT_TRUE(parsed.isValid());
    EXPECT_EQ(parsed.toUTC(), QDateTime(QDate(2009, 5, 12), QTime(5, 1, 2), Qt::UTC));
    const QDateTime west = TVXRecord::dateFromModificationText(QStringLiteral("2009-05-12 10:31:02 -0330"));
    EXPECT_EQ(west.toUTC(), QDateTime(QDate(2009, 5, 12), QTime(14, 1, 2), Qt::UTC));

    const QDateTime moment(QDate(2021, 12, 31), QTime(23, 59, 58), Qt::UTC);
    EXPECT_EQ(TVXRecord::dateFromModificationText(TVXRecord::modificationDateText(moment)), moment);
    // The direct writing of common years matches the general formatter.
    for (const QDateTime& when : {moment, QDateTime(QDate(1999, 1, 2), QTime(3, 4, 5)),
                                  QDateTime(QDate(2024, 2, 29), QTime(0, 0), Qt::OffsetFromUTC, -(9 * 3600 + 1800)),
                                  QDateTime(QDate(950, 6, 7), QTime(8, 9, 10))}) {
        const QDateTime local = when.toLocalTime();
        const int offset = local.offsetFromUtc() / 60;
        const QString expected = local.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"))
                                 + QStringLiteral(" %1%2%3")
                                       .arg(offset < 0 ? QLatin1Char('-') : QLatin1Char('+'))
                                       .arg(std::abs(offset) / 60, 2, 10, QLatin1Char('0'))
                                       .arg(std::abs(offset) % 60, 2, 10, QLatin1Char('0'));
        EXPECT_EQ(TVXRecord::modificationDateText(when), expected);
    }

    EXPECT_FALSE(TVXRecord::dateFromModificationText(QString()).isValid());
    EXPECT_FALSE(TVXRecord::dateFromModificationText(QStringLiteral("May 12,2009")).isValid());
}

TEST(TVXRecord, SettingValue10KeepsDateOnEmptyText)
{
    auto record = TVXRecord::createRecord();
    const QString date = record->mValue10();
    record->setMValue10(QString());
    record->setMValue10(QStringLiteral(""));
    EXPECT_EQ(record->mValue10(), date);
    (record.get()->*TVXRecord::setFunctionsArray()[9])(QStringLiteral(""));
    EXPECT_EQ(record->mValue10(), date);
    record->setMValue10(QStringLiteral("x"));
    EXPECT_EQ(record->mValue10(), "x");
}

TEST(TVXRecord, AccessorTablesReachValueIndexPlusOne)
{
    const auto& get = TVXRecord::getFunctionsArray();
    const auto& set = TVXRecord::setFunctionsArray();
    TVXRecord record;
    for (int i = 0; i < kNumberOfFields; ++i)
        (record.*set[i])(QStringLiteral("v%1").arg(i + 1));
    EXPECT_EQ(record.mValue1(), "v1");
    EXPECT_EQ(record.mValue2(), "v2");
    EXPECT_EQ(record.mValue9(), "v9");
    EXPECT_EQ(record.mValue10(), "v10");

    record.setMValue4(QStringLiteral("four"));
    record.setMValue10(QStringLiteral("ten"));
    EXPECT_EQ((record.*get[3])(), "four");
    EXPECT_EQ((record.*get[9])(), "ten");
    EXPECT_EQ(record.valueAtIndex(9), "ten");
    EXPECT_EQ(&TVXRecord::setFunctionsArray(), &set);
}

TEST(TVXRecord, TextsComeBackExactlyAsSetAndTheirBytesAsToUtf8GivesThem)
{
    // Texts UTF-8 cannot carry as they are (a lone surrogate, a leading
    // U+FEFF that reading drops) beside ordinary ones, NUL, null and empty.
    const QString lone = QStringLiteral("a") + QChar(0xd800) + QStringLiteral("b");
    const QString bom = QChar(0xfeff) + QStringLiteral("x");
    const QList<QString> texts = {lone, bom, QString(), QStringLiteral(""), QStringLiteral("K\u00e4se"),
                                  QStringLiteral("\u65e5\u672c \U0001F600"), QStringLiteral("a") + QChar(0) + "b"};
    for (const QString& text : texts) {
        TVXRecord record;
        const QString& held = record.mValue5(); // a reference taken before the change stays good
        record.setMValue5(text);
        record.setMNotes(text);
        EXPECT_EQ(held, text);
        EXPECT_EQ(record.mValue5().isNull(), text.isNull());
        EXPECT_EQ(record.mNotes().isNull(), text.isNull());
        EXPECT_EQ(record.mValue5(), text);
        EXPECT_EQ(record.textCopy(TVXRecord::kNotesSlot), text);
        EXPECT_EQ(record.utf8Text(4), text.toUtf8());
        EXPECT_EQ(record.utf8Text(TVXRecord::kNotesSlot), text.toUtf8());
        EXPECT_EQ(record.utf8TextsExact(), text != lone && text != bom);
        EXPECT_EQ(TVXRecord::copyRecord(record)->mValue5(), text);
        EXPECT_TRUE(TVXRecord::copyRecord(record)->isEqualToRecord(record));

        // A fresh record reads its bytes; the same bytes from other texts compare unequal.
        TVXRecord other;
        other.setMNotes(text);
        other.setMValue5(QString::fromUtf8(text.toUtf8()));
        EXPECT_EQ(other.isEqualToRecord(record), record.utf8TextsExact());
    }
    TVXRecord record;
    record.setMValue2(lone);
    record.setMValue2(QStringLiteral("plain"));
    EXPECT_TRUE(record.utf8TextsExact());
}

TEST(TVXRecord, StoredBytesReadAsQStringFromUtf8ReadsThem)
{
    // Invalid sequences, a truncated one, a surrogate written in UTF-8, three-
    // and four-byte characters, one and two leading byte order marks.
    const QList<QByteArray> stored = {"\xc0\x80", "ab\xff", "\xc3", "\xed\xa0\x80", "\xe2\x82\xac \xf0\x9f\x98\x80",
                                      "\xef\xbb\xbfx", "\xef\xbb\xbf\xef\xbb\xbfx", "K\xc3\xa4se", ""};
    for (const QByteArray& bytes : stored) {
        TVXRecord record;
        std::array<QByteArrayView, TVXRecord::kTextSlotCount> texts;
        texts.fill(QByteArrayView(bytes));
        record.setUtf8Texts(texts, uint16_t(1u << 3));
        const QString expected = bytes.isEmpty() ? QStringLiteral("") : QString::fromUtf8(bytes);
        EXPECT_EQ(record.mValue1(), expected) << bytes.toHex().constData();
        EXPECT_FALSE(record.mValue1().isNull());
        EXPECT_EQ(record.mNotes(), expected);
        EXPECT_TRUE(record.mValue4().isNull());
        EXPECT_EQ(record.utf8Text(0), expected.toUtf8());
        EXPECT_EQ(record.utf8Text(TVXRecord::kNotesSlot), expected.toUtf8());
    }
}

TEST(TVXRecord, ThreadsAskingForTheSameTextAtOnceShareOneText)
{
    TVXRecord record;
    record.setMValue1(QStringLiteral("shared"));
    TVXRecord fresh;
    fresh.setUtf8Texts({QByteArrayView("shared")});
    std::array<const QString*, 8> seen{};
    std::vector<std::thread> threads;
    for (size_t i = 0; i < seen.size(); ++i)
        threads.emplace_back([&fresh, &seen, i] { seen[i] = &fresh.mValue1(); });
    for (std::thread& thread : threads)
        thread.join();
    for (const QString* text : seen)
        EXPECT_EQ(text, &fresh.mValue1());
    EXPECT_EQ(fresh.mValue1(), "shared");
    EXPECT_TRUE(fresh.isEqualToRecord(record));
}

TEST(TVXRecord, EqualityIgnoresIdentifierDateViewsAndPassKey)
{
    auto group = BMGroup::newGroup();
    auto type = TVXType::createType();
    auto a = sampleRecord(group, type);
    auto b = sampleRecord(group, type);
    a->setMValue10(QStringLiteral("2009-05-12 10:31:02 +0530"));
    b->setMViewCounter(40);
    a->setMAttachmentPassKey(QStringLiteral("ABCDEFGHIJKLMNOP"));
    a->setMValue10ForDisaply(QStringLiteral("May 12,2009"));
    EXPECT_TRUE(a->isEqualToRecord(*b));
    EXPECT_TRUE(b->isEqualToRecord(*a));

    b->setMNotes(QStringLiteral("note text"));
    EXPECT_FALSE(a->isEqualToRecord(*b));
    b->setMNotes(a->mNotes());
    b->setMValue9(QStringLiteral("value 9 "));
    EXPECT_FALSE(a->isEqualToRecord(*b));
}

TEST(TVXRecord, EqualityComparesGroupAndTypeByIdentifier)
{
    auto group = BMGroup::newGroup();
    auto sameGroup = std::make_shared<BMGroup>();
    sameGroup->setMGroupUID(group->mGroupUID());
    auto type = TVXType::createType();

    auto a = sampleRecord(group, type);
    auto b = sampleRecord(sameGroup, TVXType::createCopyforType(*type));
    EXPECT_TRUE(a->isEqualToRecord(*b));

    b->setMGroup(BMGroup::newGroup());
    EXPECT_FALSE(a->isEqualToRecord(*b));
    b->setMGroup(group);
    b->setMType(TVXType::createType());
    EXPECT_FALSE(a->isEqualToRecord(*b));
    b->setMType(nullptr);
    EXPECT_FALSE(a->isEqualToRecord(*b));

    TVXRecord loose1, loose2;
    EXPECT_TRUE(loose1.isEqualToRecord(loose2));
}

TEST(TVXRecord, EqualityOfAttachmentsAndCustomTypes)
{
    auto group = BMGroup::newGroup();
    auto type = TVXType::createType();
    auto a = sampleRecord(group, type);
    auto b = sampleRecord(group, type);

    a->setMAttachmentName(QStringLiteral("a.pdf"));
    EXPECT_TRUE(a->isEqualToRecord(*b)); // name only counts with an attachment
    a->setMHasAttachment(true);
    EXPECT_FALSE(a->isEqualToRecord(*b));
    b->setMHasAttachment(true);
    b->setMAttachmentName(QStringLiteral("a.pdf"));
    EXPECT_TRUE(a->isEqualToRecord(*b));

    a->setMIsCustomized(true);
    a->setMRecordCustomType(customType(5, 1));
    EXPECT_FALSE(a->isEqualToRecord(*b));
    b->setMIsCustomized(true);
    b->setMRecordCustomType(customType(5, 1));
    b->mRecordCustomType()->setMTypeName(QStringLiteral("Other name"));
    EXPECT_TRUE(a->isEqualToRecord(*b));
    b->mRecordCustomType()->setMField1(QStringLiteral("User"));
    EXPECT_FALSE(a->isEqualToRecord(*b));
    b->setMRecordCustomType(nullptr);
    EXPECT_FALSE(a->isEqualToRecord(*b));
    EXPECT_FALSE(b->isEqualToRecord(*a));
}

TEST(TVXRecordCopy, CopiesValuesUnderNewIdentifier)
{
    auto group = BMGroup::newGroup();
    auto type = TVXType::createType();
    auto source = sampleRecord(group, type);
    source->setMValue10(QStringLiteral("2009-05-12 10:31:02 +0530"));
    source->setMHasAttachment(true);
    source->setMAttachmentName(QStringLiteral("scan.png"));
    source->setMAttachmentPassKey(QStringLiteral("0123456789ABCDEF"));
    source->setMAttachmentLength(1000);
    source->setMAttachmentPath(QStringLiteral("/tmp/scan.png"));
    source->setMAttachmentState(kAttachmentStateStoreNewFile);
    source->setMValue10ForDisaply(QStringLiteral("May 12,2009"));
    source->setMViewCounter(7);

    auto copy = TVXRecord::copyRecord(*source);
    EXPECT_NE(copy->mRecordUID(), source->mRecordUID());
    EXPECT_EQ(copy->mGroup(), group);
    EXPECT_EQ(copy->mType(), type);
    for (int i = 0; i < kNumberOfFields; ++i)
        EXPECT_EQ(copy->valueAtIndex(i), source->valueAtIndex(i)) << i;
    EXPECT_EQ(copy->mNotes(), source->mNotes());
    EXPECT_TRUE(copy->mHasAttachment());
    EXPECT_EQ(copy->mAttachmentName(), "scan.png");
    EXPECT_EQ(copy->mAttachmentPassKey(), "0123456789ABCDEF");
    EXPECT_EQ(copy->mAttachmentLength(), 1000);
    EXPECT_EQ(copy->mValue10ForDisaply(), "May 12,2009");
    EXPECT_EQ(copy->mViewCounter(), 7);
    EXPECT_TRUE(copy->mAttachmentPath().isNull());
    EXPECT_EQ(copy->mAttachmentState(), 0);
    EXPECT_FALSE(copy->mIsCustomized());
    EXPECT_FALSE(copy->mRecordCustomType());
    EXPECT_TRUE(copy->isEqualToRecord(*source));

    copy->setMValue1(QStringLiteral("changed"));
    EXPECT_EQ(source->mValue1(), "value 1");
}

TEST(TVXRecordCopy, EmptySourceDateKeepsTheNewDate)
{
    TVXRecord source; // value 10 empty
    auto copy = TVXRecord::copyRecord(source);
    EXPECT_FALSE(copy->mValue10().isEmpty());
    EXPECT_TRUE(TVXRecord::dateFromModificationText(copy->mValue10()).isValid());
}

TEST(TVXRecordCopy, CustomTypeIsCopiedUnderNewIdentifier)
{
    auto source = sampleRecord(BMGroup::newGroup(), TVXType::createType());
    source->setMIsCustomized(true);
    source->setMRecordCustomType(customType(1001, 0x3FF));

    auto copy = TVXRecord::copyRecord(*source);
    ASSERT_TRUE(copy->mIsCustomized());
    ASSERT_TRUE(copy->mRecordCustomType());
    EXPECT_NE(copy->mRecordCustomType(), source->mRecordCustomType());
    EXPECT_NE(copy->mRecordCustomType()->mTypeUID(), source->mRecordCustomType()->mTypeUID());
    EXPECT_FALSE(copy->mRecordCustomType()->isNotEqualToCustomType(*source->mRecordCustomType()));
    EXPECT_EQ(copy->mRecordCustomType()->mTypeIconID(), 1001);

    copy->mRecordCustomType()->setMField3(QStringLiteral("Changed"));
    copy->mRecordCustomType()->setMTypeMask(0);
    EXPECT_EQ(source->mRecordCustomType()->mField3(), "PIN");
    EXPECT_EQ(source->mRecordCustomType()->mTypeMask(), 0x3FF);
}

TEST(TVXRecordCopy, CustomisedFlagWithoutCustomTypeIsCleared)
{
    auto source = TVXRecord::createRecord();
    source->setMIsCustomized(true);
    auto copy = TVXRecord::copyRecord(*source);
    EXPECT_FALSE(copy->mIsCustomized());
    EXPECT_FALSE(copy->mRecordCustomType());

    // A custom type left over on a record that is no longer customised is not carried along.
    auto stale = TVXRecord::createRecord();
    stale->setMRecordCustomType(customType(2, 2));
    EXPECT_FALSE(TVXRecord::copyRecord(*stale)->mRecordCustomType());
}

TEST(TVXRecord, SharedDummyRecord)
{
    auto dummy = TVXRecord::dummyRecord();
    EXPECT_EQ(dummy, TVXRecord::dummyRecord());
    EXPECT_EQ(dummy->mRecordUID(), "000000000");
    EXPECT_FALSE(dummy->mGroup());
    EXPECT_FALSE(dummy->mType());
    EXPECT_FALSE(dummy->mIsCustomized());
    EXPECT_EQ(dummy->mRecordCustomType(), TVXType::UnfiledType());
    EXPECT_TRUE(dummy->mValue10().isEmpty());
    EXPECT_EQ(dummy->mViewCounter(), 0);
    EXPECT_EQ(dummy->mAttachmentState(), 0);
}
