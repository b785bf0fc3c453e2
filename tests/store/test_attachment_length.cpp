// The attached file's length travels in the pass key's stored value, after a
// zero byte: files of any length come back byte-exact, rows of older clients
// still read (padded), and every rewrite of the key keeps the length.
#include "store/attachments/TVXAttachmentFolder.h"
#include "support/RecordFixture.h"

using namespace teststore;

namespace {

const QString kNewMaster = QStringLiteral("Neues-Kennwort-2");

// Bytes that are never zero, ending in `zeros` zero bytes of the file itself.
QByteArray fileBytes(int size, int zeros = 0)
{
    QByteArray bytes;
    for (int i = 0; i < size; ++i)
        bytes.append(i >= size - zeros ? '\0' : char(1 + i % 251));
    return bytes;
}

// What ENCRYPTIONKEY holds in plain: the pass key, a zero byte, the length in decimal.
QString keyWithLength(const QString& passKey, qint64 length)
{
    return passKey + QChar(0) + QString::number(length);
}

class AttachmentLength : public RecordFixture {
protected:
    std::shared_ptr<TVXRecord> attached(const QString& value, const QByteArray& contents)
    {
        auto record = newRecord(alice, {value});
        record->setMHasAttachment(true);
        record->setMAttachmentName(value + ".bin");
        record->setMAttachmentPath(writeFile(value + ".bin", contents));
        record->setMAttachmentState(kAttachmentStateStoreNewFile);
        return record;
    }

    // The stored key as an older client reads it: the text up to the first zero byte.
    QString keyAsOlderClientsRead(const TVXDataBase& reader, const QString& recordID) const
    {
        const QString hexKey = stored("HEX(ENCRYPTIONKEY)", "ATTACHMENTTABLE", recordID);
        return reader.decryptString(QByteArray::fromHex(hexKey.toLatin1()));
    }

    // A row as an older client writes it: contents padded, the pass key alone.
    void seedOlderRow(const QString& recordID, const QString& storedKey, const QString& passKey,
                      const QByteArray& contents)
    {
        SeedRecord row;
        row.uid = recordID;
        row.groupUID = G1;
        row.typeUID = T1;
        row.values = {"older"};
        row.hasAttachment = true;
        seed->record(row);
        const auto cipher = TVXAttachmentStoreAccess::encryptFile(writeFile(recordID, contents), passKey);
        ASSERT_TRUE(cipher.has_value());
        seed->attachment(recordID, "older.txt", storedKey, *cipher);
    }
};

} // namespace

TEST_F(AttachmentLength, FilesOfAnyLengthComeBackExactOnEveryPath)
{
    ASSERT_EQ(logInBoth(), kTVXDone);
    struct Case {
        int size;
        int zeros; // the file's own trailing zero bytes, which must survive
        int padded;
    };
    const Case cases[] = {{0, 0, 0}, {1, 0, 24}, {25, 0, 48}, {48, 0, 48}, {1000, 7, 1008}, {30, 30, 48}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.size);
        const QByteArray file = fileBytes(c.size, c.zeros);
        auto record = attached(QStringLiteral("f%1").arg(c.size), file);
        const QString id = record->mRecordUID();
        ASSERT_EQ(alice.addRecord(record), kTVXDone);
        EXPECT_EQ(record->mAttachmentLength(), c.size);
        const QString passKey = record->mAttachmentPassKey();
        ASSERT_EQ(passKey.size(), 16);

        // Contents keep their padded layout; the key carries the length.
        EXPECT_EQ(stored("LENGTH(DATA)", "ATTACHMENTTABLE", id).toInt(), c.padded);
        EXPECT_EQ(storedCipher("ENCRYPTIONKEY", "ATTACHMENTTABLE", id), cipherOf(keyWithLength(passKey, c.size)));
        EXPECT_EQ(keyAsOlderClientsRead(bob, id), passKey);

        TVXResult code = resultOfNumber(-1); // not set by the call
        EXPECT_EQ(alice.attachments().extractAttachmentDataForRecord(*record, &code), file);
        EXPECT_EQ(code, kTVXDone);
        EXPECT_EQ(alice.attachments().extractAttachmentData(id, &code), file); // length from the row
        EXPECT_EQ(code, kTVXDone);
    }

    // Another client learns the lengths when it loads the headers.
    ASSERT_EQ(bob.reloadDatabase(), kTVXDone);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.size);
        std::shared_ptr<TVXRecord> seen;
        for (const auto& record : bob.caches().mRecords())
            if (record->mValue1() == QStringLiteral("f%1").arg(c.size))
                seen = record;
        ASSERT_NE(seen, nullptr);
        EXPECT_EQ(seen->mAttachmentPassKey().size(), 16); // the pass key alone
        EXPECT_EQ(seen->mAttachmentLength(), c.size);
        TVXResult code = resultOfNumber(-1); // not set by the call
        EXPECT_EQ(bob.attachments().extractAttachmentDataForRecord(*seen, &code), fileBytes(c.size, c.zeros));
        const QString path = bob.attachments().extractAttachmentToTemporaryFile(*seen, &code);
        ASSERT_EQ(code, kTVXDone);
        QFile extracted(path);
        ASSERT_TRUE(extracted.open(QIODevice::ReadOnly));
        EXPECT_EQ(extracted.readAll(), fileBytes(c.size, c.zeros));
        extracted.close();
        TVXAttachmentFolder::shared().removeFile(path);
    }
}

TEST_F(AttachmentLength, StoringAgainCopyingAndReencipheringKeepTheLength)
{
    ASSERT_EQ(logInBoth(), kTVXDone);
    auto record = attached("r", fileBytes(25));
    ASSERT_EQ(alice.addRecord(record), kTVXDone);
    const QString id = record->mRecordUID();

    // A new file through replaceRecord: new pass key, new length.
    record->setMAttachmentPath(writeFile("longer.bin", fileBytes(1000)));
    record->setMAttachmentState(kAttachmentStateStoreNewFile);
    ASSERT_EQ(alice.replaceRecord(record), kTVXDone);
    EXPECT_EQ(record->mAttachmentLength(), 1000);
    TVXResult code = resultOfNumber(-1); // not set by the call
    EXPECT_EQ(alice.attachments().extractAttachmentDataForRecord(*record, &code), fileBytes(1000));

    // Renaming re-enciphers name and key: the length stays in the key.
    const QString keyCipher = storedCipher("ENCRYPTIONKEY", "ATTACHMENTTABLE", id);
    record->setMAttachmentName("renamed.bin");
    record->setMAttachmentState(kAttachmentStateReencipher);
    ASSERT_EQ(alice.replaceRecord(record), kTVXDone);
    EXPECT_EQ(storedCipher("ENCRYPTIONKEY", "ATTACHMENTTABLE", id), keyCipher);
    EXPECT_EQ(alice.attachmentWriter().reEncryptAttachmentforRecord(*record), kTVXDone);
    EXPECT_EQ(storedCipher("ENCRYPTIONKEY", "ATTACHMENTTABLE", id), keyCipher);

    // Duplicate: the copy's row and its length are the source's.
    auto copy = TVXRecord::copyRecord(*record);
    EXPECT_EQ(copy->mAttachmentLength(), 1000);
    copy->setMAttachmentPassKey(QString());
    copy->setMAttachmentLength(-1);
    copy->setMAttachmentState(kAttachmentStateCopyStored);
    ASSERT_EQ(alice.addRecord(copy), kTVXDone);
    alice.copyAttachmentRow(*record, *copy, &code);
    ASSERT_EQ(code, kTVXDone);
    EXPECT_EQ(copy->mAttachmentLength(), 1000);
    EXPECT_EQ(alice.attachments().extractAttachmentDataForRecord(*copy, &code), fileBytes(1000));

    // Removing the attachment forgets the length with the pass key.
    ASSERT_EQ(alice.removeAttachment(copy), kTVXDone);
    EXPECT_EQ(copy->mAttachmentLength(), -1);
}

TEST_F(AttachmentLength, RowsOfOlderClientsStillReadWithTheirPadding)
{
    const QString kPassKey = QStringLiteral("pass-key-16chars");
    const QString kOlder = QStringLiteral("00000000000000B1");
    const QString kNotDigits = QStringLiteral("00000000000000B2");
    const QString kWrongLength = QStringLiteral("00000000000000B3");
    seedOlderRow(kOlder, kPassKey, kPassKey, fileBytes(25));
    // Whatever follows the zero byte, the pass key before it is the one that counts;
    // a length that is not plain digits, or that would cut real bytes, is not trusted.
    seedOlderRow(kNotDigits, kPassKey + QChar(0) + "25x", kPassKey, fileBytes(25));
    seedOlderRow(kWrongLength, keyWithLength(kPassKey, 5), kPassKey, fileBytes(25));

    ASSERT_EQ(logInBoth(), kTVXDone);
    const QByteArray padded = fileBytes(25) + QByteArray(23, '\0');
    for (const QString& id : {kOlder, kNotDigits, kWrongLength}) {
        SCOPED_TRACE(id.toStdString());
        const auto record = alice.caches().mRecords().value(id);
        ASSERT_NE(record, nullptr);
        EXPECT_EQ(record->mAttachmentPassKey(), kPassKey);
        EXPECT_EQ(record->mAttachmentLength(), id == kWrongLength ? 5 : -1);
        TVXResult code = resultOfNumber(-1); // not set by the call
        EXPECT_EQ(alice.attachments().extractAttachmentDataForRecord(*record, &code), padded);
        EXPECT_EQ(alice.attachments().extractAttachmentData(id, &code), padded);
        EXPECT_EQ(code, kTVXDone);
    }

    // Re-enciphering a row without length writes the pass key alone, as before.
    const auto older = alice.caches().mRecords().value(kOlder);
    older->setMAttachmentState(kAttachmentStateReencipher);
    ASSERT_EQ(alice.replaceRecord(older), kTVXDone);
    EXPECT_EQ(storedCipher("ENCRYPTIONKEY", "ATTACHMENTTABLE", kOlder), cipherOf(kPassKey));

    // Storing a file anew gives the row its length.
    older->setMAttachmentPath(writeFile("new.txt", fileBytes(25)));
    older->setMAttachmentState(kAttachmentStateStoreNewFile);
    ASSERT_EQ(alice.replaceRecord(older), kTVXDone);
    TVXResult code = resultOfNumber(-1); // not set by the call
    EXPECT_EQ(alice.attachments().extractAttachmentDataForRecord(*older, &code), fileBytes(25));
}

TEST_F(AttachmentLength, SurvivesAChangeOfMasterPassword)
{
    makeAdministrator(kUserName); // the change is an administrator's work
    ASSERT_EQ(logInAndLoad(alice, kUserName, kUserPassword), kTVXDone);
    auto record = attached("r", fileBytes(25));
    ASSERT_EQ(alice.addRecord(record), kTVXDone);
    const QString id = record->mRecordUID();
    const QString passKey = record->mAttachmentPassKey();

    ASSERT_EQ(alice.masterPasswordChange().reEncyptAllDatabaseInformation(kNewMaster), kTVXDone);
    StoreSeed rekeyed(kNewMaster);
    EXPECT_EQ(storedCipher("ENCRYPTIONKEY", "ATTACHMENTTABLE", id),
              hex(rekeyed.cipher(keyWithLength(passKey, 25))));
    EXPECT_EQ(keyAsOlderClientsRead(alice, id), passKey);

    TVXDataBase fresh;
    ASSERT_EQ(logInAndLoad(fresh, kUserName, kUserPassword, kNewMaster), kTVXDone);
    const auto seen = fresh.caches().mRecords().value(id);
    ASSERT_NE(seen, nullptr);
    EXPECT_EQ(seen->mAttachmentPassKey(), passKey);
    EXPECT_EQ(seen->mAttachmentLength(), 25);
    TVXResult code = resultOfNumber(-1); // not set by the call
    EXPECT_EQ(fresh.attachments().extractAttachmentDataForRecord(*seen, &code), fileBytes(25));

    // Without a master password the key is stored as its plain bytes, length and all.
    ASSERT_EQ(fresh.masterPasswordChange().reEncyptAllDatabaseInformation(QString()), kTVXDone);
    EXPECT_EQ(storedCipher("ENCRYPTIONKEY", "ATTACHMENTTABLE", id),
              hex(keyWithLength(passKey, 25).toUtf8()));
    EXPECT_EQ(keyAsOlderClientsRead(fresh, id), passKey);
    ASSERT_EQ(fresh.masterPasswordChange().reEncyptAllDatabaseInformation(kNewMaster), kTVXDone);
    TVXDataBase again;
    ASSERT_EQ(logInAndLoad(again, kUserName, kUserPassword, kNewMaster), kTVXDone);
    EXPECT_EQ(again.attachments().extractAttachmentData(id, &code), fileBytes(25));
}

TEST_F(AttachmentLength, PersonalRecordsKeepItWhenReenciphered)
{
    seed->group(aliceID, "Personal-alice", 7, true);
    ASSERT_EQ(logInAndLoad(alice, kUserName, kUserPassword), kTVXDone);
    auto record = attached("mine", fileBytes(25));
    record->setMGroup(alice.caches().mGroups().value(aliceID));
    ASSERT_NE(record->mGroup(), nullptr);
    ASSERT_EQ(alice.addRecord(record), kTVXDone);
    const QString passKey = record->mAttachmentPassKey();

    TVXResult code = resultOfNumber(-1); // not set by the call
    const auto records = alice.personal().readUserPersonalRecords(aliceID, false, &code);
    ASSERT_EQ(code, kTVXDone);
    ASSERT_EQ(records.size(), 1);
    EXPECT_EQ(records[0]->mAttachmentPassKey(), passKey);
    EXPECT_EQ(records[0]->mAttachmentLength(), 25);

    alice.ciphers().createEncrypter(kNewMaster);
    ASSERT_EQ(alice.personal().reEncryptPersonalRecords(records), kTVXDone);
    StoreSeed rekeyed(kNewMaster);
    EXPECT_EQ(storedCipher("ENCRYPTIONKEY", "ATTACHMENTTABLE", record->mRecordUID()),
              hex(rekeyed.cipher(keyWithLength(passKey, 25))));
    EXPECT_EQ(alice.attachments().extractAttachmentData(record->mRecordUID(), &code), fileBytes(25));
}
