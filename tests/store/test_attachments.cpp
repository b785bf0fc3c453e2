// Attachments against a real store: contents round-trip between clients under
// their own pass key, copies share it, removal and re-enciphering touch only
// what they must, and failures store nothing. Plus the private temporary folder.
#include "store/attachments/TVXAttachmentFolder.h"
#include "support/RecordFixture.h"

#include <QDir>
#include <QFileInfo>

#include <sys/stat.h>

using namespace teststore;

namespace {

using Attachment = RecordFixture;
using AttachmentFailures = RecordFixture;

// 25 bytes, none of them zero: padding cannot hide in them.
QByteArray contents25()
{
    QByteArray bytes;
    for (int i = 1; i <= 25; ++i)
        bytes.append(char(i * 7));
    return bytes;
}

int modeOf(const QString& path)
{
    struct stat info{};
    if (::stat(QFile::encodeName(path).constData(), &info) != 0)
        return -1;
    return int(info.st_mode & 0777);
}

} // namespace

TEST_F(Attachment, ContentsRoundTripBetweenClientsUnderTheirPassKey)
{
    ASSERT_EQ(logInBoth(), kTVXDone);
    const QByteArray file = contents25();
    auto record = newRecord(alice, {"contract"});
    record->setMHasAttachment(true);
    record->setMAttachmentName(QStringLiteral("Vertrag ✓.bin"));
    record->setMAttachmentPath(writeFile("contract.bin", file));
    record->setMAttachmentState(kAttachmentStateStoreNewFile);
    const QString id = record->mRecordUID();

    ASSERT_EQ(alice.addRecord(record), kTVXDone);
    EXPECT_EQ(record->mAttachmentState(), kAttachmentStateNone);
    const QString passKey = record->mAttachmentPassKey();
    EXPECT_EQ(passKey.size(), 16);
    EXPECT_EQ(stored("LENGTH(DATA)", "ATTACHMENTTABLE", id), "48");
    // The key's value carries the file's length after a zero byte; the contents stay padded.
    EXPECT_EQ(storedCipher("ENCRYPTIONKEY", "ATTACHMENTTABLE", id),
              cipherOf(passKey + QChar(0) + QStringLiteral("25")));

    const QByteArray expected = file;
    TVXResult code = resultOfNumber(-1); // not set by the call
    EXPECT_EQ(alice.attachments().extractAttachmentDataForRecord(*record, &code), expected);
    EXPECT_EQ(code, kTVXDone);

    ASSERT_EQ(bob.reloadDatabase(), kTVXDone);
    const auto seen = bob.caches().mRecords().value(id);
    ASSERT_NE(seen, nullptr);
    EXPECT_TRUE(seen->mHasAttachment());
    EXPECT_EQ(seen->mAttachmentName(), "Vertrag ✓.bin");
    EXPECT_EQ(seen->mAttachmentPassKey(), passKey);
    EXPECT_EQ(bob.attachments().extractAttachmentDataForRecord(*seen, &code), expected);
    EXPECT_EQ(bob.attachments().extractAttachmentData(id, &code), expected); // pass key from the row
    EXPECT_EQ(code, kTVXDone);

    // Storing the file again draws a new pass key; a whole number of blocks comes back exact.
    const QByteArray blocks(48, 'b');
    record->setMAttachmentPath(writeFile("blocks.bin", blocks));
    record->setMAttachmentState(kAttachmentStateStoreNewFile);
    ASSERT_EQ(alice.replaceRecord(record), kTVXDone);
    EXPECT_NE(record->mAttachmentPassKey(), passKey);
    EXPECT_EQ(alice.attachments().extractAttachmentDataForRecord(*record, &code), blocks);

    // An empty file is stored as no bytes and comes back empty.
    record->setMAttachmentPath(writeFile("empty.bin", QByteArray()));
    record->setMAttachmentState(kAttachmentStateStoreNewFile);
    ASSERT_EQ(alice.replaceRecord(record), kTVXDone);
    EXPECT_EQ(alice.attachments().extractAttachmentDataForRecord(*record, &code), QByteArray());
    EXPECT_EQ(code, kTVXDone);
}

TEST_F(Attachment, SeveralAreExtractedWithOneStatementEachUnderItsOwnPassKey)
{
    ASSERT_EQ(logInBoth(), kTVXDone);
    QStringList ids;
    QList<QByteArray> files;
    for (int n = 0; n < 3; ++n) {
        auto record = newRecord(alice, {QStringLiteral("r%1").arg(n)});
        record->setMHasAttachment(true);
        record->setMAttachmentName(QStringLiteral("f%1.bin").arg(n));
        files << contents25().repeated(n + 1);
        record->setMAttachmentPath(writeFile(QStringLiteral("f%1.bin").arg(n), files.back()));
        record->setMAttachmentState(kAttachmentStateStoreNewFile);
        ASSERT_EQ(alice.addRecord(record), kTVXDone);
        ids << record->mRecordUID();
    }
    auto plain = newRecord(alice, {"no attachment"});
    ASSERT_EQ(alice.addRecord(plain), kTVXDone);

    TVXResult code = resultOfNumber(-1); // not set by the call
    const auto contents = bob.attachments().extractAttachmentsData({ids[2], plain->mRecordUID(), ids[0], ids[1]}, &code);
    ASSERT_TRUE(contents.has_value());
    EXPECT_EQ(code, kTVXDone);
    EXPECT_EQ(contents->size(), 3); // the record without row is left out
    for (int n = 0; n < 3; ++n)
        EXPECT_EQ(contents->value(ids[n]), files[n]) << n; // cut to each file's length
    EXPECT_TRUE(bob.attachments().extractAttachmentsData({}, &code)->isEmpty());
}

TEST_F(Attachment, ACopyTakesTheSourcesRowAndPassKey)
{
    ASSERT_EQ(logInAndLoad(alice, kUserName, kUserPassword), kTVXDone);
    auto source = newRecord(alice, {"source"});
    source->setMHasAttachment(true);
    source->setMAttachmentName("a.bin");
    source->setMAttachmentPath(writeFile("a.bin", contents25()));
    ASSERT_EQ(alice.addRecord(source), kTVXDone); // state 0 also stores the file

    // As Duplicate does: the copy is stored without the file, then the row is copied.
    auto copy = TVXRecord::copyRecord(*source);
    copy->setMAttachmentPassKey(QString());
    copy->setMAttachmentState(kAttachmentStateCopyStored);
    ASSERT_EQ(alice.addRecord(copy), kTVXDone);
    EXPECT_EQ(rowCount("ATTACHMENTTABLE", copy->mRecordUID()), 0);
    TVXResult code = resultOfNumber(-1); // not set by the call
    alice.copyAttachmentRow(*source, *copy, &code);
    EXPECT_EQ(code, kTVXDone);
    EXPECT_EQ(copy->mAttachmentPassKey(), source->mAttachmentPassKey());
    EXPECT_EQ(stored("HEX(DATA)", "ATTACHMENTTABLE", copy->mRecordUID()),
              stored("HEX(DATA)", "ATTACHMENTTABLE", source->mRecordUID()));
    EXPECT_EQ(alice.attachments().extractAttachmentDataForRecord(*copy, &code)->left(25), contents25());

    // A target that has a row already is refused by the server; a source without one copies nothing.
    alice.copyAttachmentRow(*source, *copy, &code);
    EXPECT_EQ(code, kTVXStatementFailed);
    auto bare = newRecord(alice, {"bare"});
    ASSERT_EQ(alice.addRecord(bare), kTVXDone);
    auto target = newRecord(alice, {"target"});
    ASSERT_EQ(alice.addRecord(target), kTVXDone);
    alice.copyAttachmentRow(*bare, *target, &code);
    EXPECT_EQ(code, kTVXReloadFirst);
    alice.copyAttachmentRow(*bare, *target, nullptr); // callers may pass no code
}

TEST_F(Attachment, ReencipheringTouchesOnlyNameAndPassKey)
{
    ASSERT_EQ(logInAndLoad(alice, kUserName, kUserPassword), kTVXDone);
    auto record = newRecord(alice, {"r"});
    record->setMHasAttachment(true);
    record->setMAttachmentName("old.bin");
    record->setMAttachmentPath(writeFile("old.bin", contents25()));
    ASSERT_EQ(alice.addRecord(record), kTVXDone);
    const QString id = record->mRecordUID();
    const QString data = stored("HEX(DATA)", "ATTACHMENTTABLE", id);
    const QString passKey = record->mAttachmentPassKey();

    record->setMAttachmentName("new.bin");
    record->setMAttachmentState(kAttachmentStateReencipher);
    ASSERT_EQ(alice.replaceRecord(record), kTVXDone);
    EXPECT_EQ(storedCipher("ATTACHMENTNAME", "ATTACHMENTTABLE", id), cipherOf("new.bin"));
    EXPECT_EQ(record->mAttachmentPassKey(), passKey);
    EXPECT_EQ(stored("HEX(DATA)", "ATTACHMENTTABLE", id), data);

    // State 0 leaves the row alone.
    record->setMAttachmentName("ignored.bin");
    ASSERT_EQ(alice.replaceRecord(record), kTVXDone);
    EXPECT_EQ(storedCipher("ATTACHMENTNAME", "ATTACHMENTTABLE", id), cipherOf("new.bin"));

    auto bare = newRecord(alice, {"bare"});
    ASSERT_EQ(alice.addRecord(bare), kTVXDone);
    EXPECT_EQ(alice.attachmentWriter().reEncryptAttachmentforRecord(*bare), kTVXReloadFirst);
}

TEST_F(Attachment, RemovingDropsTheRowAndStoresTheRecordWithoutIt)
{
    ASSERT_EQ(logInBoth(), kTVXDone);
    auto record = newRecord(alice, {"r"});
    record->setMHasAttachment(true);
    record->setMAttachmentName("gone.bin");
    record->setMAttachmentPath(writeFile("gone.bin", contents25()));
    ASSERT_EQ(alice.addRecord(record), kTVXDone);
    const QString id = record->mRecordUID();
    record->setMValue10(QStringLiteral("2009-05-12 10:31:02 +0530"));

    ASSERT_EQ(alice.removeAttachment(record), kTVXDone);
    EXPECT_EQ(rowCount("ATTACHMENTTABLE", id), 0);
    EXPECT_EQ(stored("HASATTACHMENT", "RECORDTABLE", id), "0");
    EXPECT_FALSE(record->mHasAttachment());
    EXPECT_TRUE(record->mAttachmentName().isEmpty());
    EXPECT_TRUE(record->mAttachmentPassKey().isEmpty());
    EXPECT_NE(record->mValue10(), "2009-05-12 10:31:02 +0530"); // a new modification date
    EXPECT_TRUE(alice.recentLists().mRecentlyMofifiedTypes().contains(id));
    TVXResult code = resultOfNumber(-1); // not set by the call
    EXPECT_EQ(alice.attachments().extractAttachmentDataForRecord(*record, &code), std::nullopt);
    EXPECT_EQ(code, kTVXReloadFirst);

    ASSERT_EQ(bob.reloadDatabase(), kTVXDone);
    EXPECT_FALSE(bob.caches().mRecords().value(id)->mHasAttachment());

    // A row already gone: the record is still stored without it.
    auto other = newRecord(alice, {"other"});
    other->setMHasAttachment(true);
    other->setMAttachmentName("x.bin");
    other->setMAttachmentPath(writeFile("x.bin", "x"));
    ASSERT_EQ(alice.addRecord(other), kTVXDone);
    rootExec(QStringLiteral("DELETE FROM tolvanexdb.ATTACHMENTTABLE WHERE RECORDID='%1'").arg(other->mRecordUID()));
    EXPECT_EQ(alice.removeAttachment(other), kTVXDone);
    EXPECT_EQ(stored("HASATTACHMENT", "RECORDTABLE", other->mRecordUID()), "0");
}

TEST_F(Attachment, ExtractedFilesGoToAPrivateFolder)
{
    ASSERT_EQ(logInAndLoad(alice, kUserName, kUserPassword), kTVXDone);
    auto record = newRecord(alice, {"r"});
    record->setMHasAttachment(true);
    record->setMAttachmentName("../../outside.txt"); // names come from other users
    record->setMAttachmentPath(writeFile("in.txt", contents25()));
    ASSERT_EQ(alice.addRecord(record), kTVXDone);

    TVXResult code = resultOfNumber(-1); // not set by the call
    const QString path = alice.attachments().extractAttachmentToTemporaryFile(*record, &code);
    ASSERT_EQ(code, kTVXDone);
    ASSERT_FALSE(path.isEmpty());
    EXPECT_EQ(QFileInfo(path).fileName(), "outside.txt");
    EXPECT_EQ(QFileInfo(path).absolutePath(), TVXAttachmentFolder::shared().path());
    EXPECT_EQ(modeOf(TVXAttachmentFolder::shared().path()), 0700);
    EXPECT_EQ(modeOf(path), 0600);
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll().left(25), contents25());
    file.close();
    EXPECT_TRUE(TVXAttachmentFolder::shared().removeFile(path));
    EXPECT_FALSE(QFile::exists(path));
}

TEST_F(AttachmentFailures, AFileThatCannotBeReadStoresNothing)
{
    ASSERT_EQ(logInAndLoad(alice, kUserName, kUserPassword), kTVXDone);
    auto record = newRecord(alice, {"r"});
    record->setMHasAttachment(true);
    record->setMAttachmentName("missing.bin");
    record->setMAttachmentPath(files.filePath("missing.bin"));
    record->setMAttachmentState(kAttachmentStateStoreNewFile);
    EXPECT_EQ(alice.addRecord(record), kTVXNotServerError);
    EXPECT_EQ(rowCount("RECORDTABLE", record->mRecordUID()), 0);
    EXPECT_FALSE(alice.caches().mRecords().contains(record->mRecordUID()));

    auto kept = newRecord(alice, {"kept"});
    ASSERT_EQ(alice.addRecord(kept), kTVXDone);
    kept->setMValue1("changed");
    kept->setMHasAttachment(true);
    kept->setMAttachmentName("missing.bin");
    kept->setMAttachmentPath(files.filePath("missing.bin"));
    kept->setMAttachmentState(kAttachmentStateStoreNewFile);
    EXPECT_EQ(alice.replaceRecord(kept), kTVXNotServerError);
    EXPECT_EQ(storedCipher("FIELD1", "RECORDTABLE", kept->mRecordUID()), cipherOf("kept"));
    EXPECT_EQ(stored("HASATTACHMENT", "RECORDTABLE", kept->mRecordUID()), "0");
    EXPECT_EQ(rowCount("ATTACHMENTTABLE", kept->mRecordUID()), 0);
}

TEST_F(AttachmentFailures, ARefusedAttachmentLeavesTheRecordAsItWas)
{
    ASSERT_EQ(logInAndLoad(alice, kUserName, kUserPassword), kTVXDone);
    auto record = newRecord(alice, {"before"});
    record->setMHasAttachment(true);
    record->setMAttachmentName("a.bin");
    record->setMAttachmentPath(writeFile("a.bin", contents25()));
    ASSERT_EQ(alice.addRecord(record), kTVXDone);
    const QString id = record->mRecordUID();
    const QString passKey = record->mAttachmentPassKey();
    const QString data = stored("HEX(DATA)", "ATTACHMENTTABLE", id);

    // Storing a new file is refused: neither the row nor the old attachment changes.
    refuse("ATTACHMENTTABLE");
    auto edited = newRecord(alice, {"after"});
    edited->setMRecordUID(id);
    edited->setMHasAttachment(true);
    edited->setMAttachmentName("b.bin");
    edited->setMAttachmentPath(writeFile("b.bin", "other contents"));
    edited->setMAttachmentState(kAttachmentStateStoreNewFile);
    EXPECT_EQ(alice.replaceRecord(edited), kTVXStatementFailed);
    EXPECT_EQ(storedCipher("FIELD1", "RECORDTABLE", id), cipherOf("before"));
    EXPECT_EQ(stored("HEX(DATA)", "ATTACHMENTTABLE", id), data);
    EXPECT_EQ(alice.caches().mRecords().value(id), record);
    EXPECT_EQ(edited->mAttachmentPassKey(), QString());

    // Removing it is refused: the record keeps its attachment, in memory too.
    refuse("ATTACHMENTTABLE", "DELETE");
    const QString date = record->mValue10();
    EXPECT_EQ(alice.removeAttachment(record), kTVXStatementFailed);
    EXPECT_EQ(rowCount("ATTACHMENTTABLE", id), 1);
    EXPECT_EQ(stored("HASATTACHMENT", "RECORDTABLE", id), "1");
    EXPECT_TRUE(record->mHasAttachment());
    EXPECT_EQ(record->mAttachmentName(), "a.bin");
    EXPECT_EQ(record->mAttachmentPassKey(), passKey);
    EXPECT_EQ(record->mValue10(), date);
}

TEST(AttachmentCipher, FilesArePaddedToWholeBlocksUnderTheirPassKey)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString path = dir.filePath("f.bin");
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(contents25());
    file.close();

    const auto cipher = TVXAttachmentStoreAccess::encryptFile(path, "0123456789abcdef");
    ASSERT_TRUE(cipher.has_value());
    EXPECT_EQ(cipher->size(), 48);
    EXPECT_EQ(TVXAttachmentStoreAccess::decrypt(*cipher, "0123456789abcdef"), contents25() + QByteArray(23, '\0'));
    EXPECT_NE(TVXAttachmentStoreAccess::decrypt(*cipher, "fedcba9876543210"), contents25() + QByteArray(23, '\0'));
    EXPECT_EQ(TVXAttachmentStoreAccess::decrypt(cipher->left(30), "0123456789abcdef"), std::nullopt);
    EXPECT_EQ(TVXAttachmentStoreAccess::encryptFile(dir.filePath("none"), "0123456789abcdef"), std::nullopt);
    EXPECT_EQ(TVXAttachmentStoreAccess::encryptFile(path, QString()), std::nullopt);
}

TEST(AttachmentFolder, IsPrivateAndKeepsNamesInside)
{
    QTemporaryDir parent;
    ASSERT_TRUE(parent.isValid());
    QString folderPath;
    {
        TVXAttachmentFolder folder(parent.path());
        folderPath = folder.path();
        ASSERT_FALSE(folderPath.isEmpty());
        EXPECT_EQ(modeOf(folderPath), 0700);
        EXPECT_NE(folderPath, TVXAttachmentFolder(parent.path()).path()); // unique names

        const QString written = folder.writeFile("../../escape.txt", "secret");
        EXPECT_EQ(written, QDir(folderPath).filePath("escape.txt"));
        EXPECT_EQ(modeOf(written), 0600);
        EXPECT_FALSE(folder.removeFile(parent.filePath("elsewhere.txt")));
        EXPECT_TRUE(folder.removeFile(written));

        folder.writeFile("left.txt", "secret");
        folder.clear();
        EXPECT_FALSE(QFileInfo::exists(folderPath));
        EXPECT_NE(folder.path(), folderPath); // made again on use
        folderPath = folder.path();
    }
    EXPECT_FALSE(QFileInfo::exists(folderPath)); // removed with the folder object

    EXPECT_EQ(TVXAttachmentFolder::safeFileName("a/b/c.pdf"), "c.pdf");
    EXPECT_EQ(TVXAttachmentFolder::safeFileName(".."), "attachment");
    EXPECT_EQ(TVXAttachmentFolder::safeFileName(""), "attachment");
    EXPECT_EQ(TVXAttachmentFolder::safeFileName("dir/"), "attachment");
    EXPECT_EQ(TVXAttachmentFolder::safeFileName(QStringLiteral("a\nb\tc.txt")), "abc.txt");
}
