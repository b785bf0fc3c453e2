// Attachments: one file per record, its contents under a pass key of its own,
// its name and pass key under the field encrypter.
#include "crypto/AESEncrypter.h"
#include "crypto/DBEncrypter.h"
#include "model/TVXRecord.h"
#include "store/attachments/AttachmentStore.h"
#include "store/loading/ParallelFor.h"
#include "store/schema/QueryConstants.h"
#include "store/writers/RecordStorageParts.h"
#include "store/session/StatementHelpers.h"
#include "store/attachments/TVXAttachmentFolder.h"
#include "store/writers/StaleCopies.h"
#include "store/TVXDataBase.h"

#include <cppconn/connection.h>
#include <cppconn/exception.h>
#include <cppconn/prepared_statement.h>
#include <cppconn/resultset.h>

#include <QFile>

#include <climits>
#include <cstdlib>
#include <string.h> // explicit_bzero

namespace {

using tvxsql::noConnection;

// The cipher's key text: the pass key's bytes, as many as it has characters,
// at most 16, followed by zero bytes.
QByteArray attachmentKeyText(const QString& passKey)
{
    constexpr qsizetype kPassKeyBytes = 16;
    QByteArray key = passKey.toUtf8().left(std::min(passKey.size(), kPassKeyBytes));
    key.append('\0');
    return key;
}

// Takes over a buffer from the cipher, wiping it once copied.
QByteArray takeCipherBuffer(char* buffer, int length)
{
    QByteArray bytes(buffer, length);
    explicit_bzero(buffer, static_cast<size_t>(length));
    free(buffer);
    return bytes;
}

void wipe(QByteArray& bytes)
{
    if (!bytes.isEmpty())
        explicit_bzero(bytes.data(), static_cast<size_t>(bytes.size()));
}

// Digits of a file length that certainly fit a qint64.
constexpr qsizetype kMaxLengthDigits = 18;

} // namespace

// The manager's attachment readers and cipher.
QString TVXAttachmentStoreAccess::newAttachmentPassKey() const { return mAttachments->newAttachmentPassKey(); }
std::optional<QByteArray> TVXAttachmentStoreAccess::encryptFile(const QString& path, const QString& passKey,
                                                                qint64* fileLength)
{
    return TVXAttachmentStore::encryptFile(path, passKey, fileLength);
}
std::optional<QByteArray> TVXAttachmentStoreAccess::decrypt(std::istream& in, const QString& passKey)
{
    return TVXAttachmentStore::decrypt(in, passKey);
}
std::optional<QByteArray> TVXAttachmentStoreAccess::decrypt(const QByteArray& data, const QString& passKey)
{
    return TVXAttachmentStore::decrypt(data, passKey);
}
std::optional<QByteArray> TVXAttachmentStoreAccess::extractAttachmentDataForRecord(const TVXRecord& record,
                                                                                   TVXResult* returnCode)
{
    return mAttachments->extractAttachmentDataForRecord(record, returnCode);
}
std::optional<QByteArray> TVXAttachmentStoreAccess::extractAttachmentData(const QString& recordID,
                                                                          TVXResult* returnCode)
{
    return mAttachments->extractAttachmentData(recordID, returnCode);
}
std::optional<QHash<QString, QByteArray>>
TVXAttachmentStoreAccess::extractAttachmentsData(const QStringList& recordIDs, TVXResult* returnCode)
{
    return mAttachments->extractAttachmentsData(recordIDs, returnCode);
}
QString TVXAttachmentStoreAccess::extractAttachmentToTemporaryFile(const TVXRecord& record, TVXResult* returnCode)
{
    return mAttachments->extractAttachmentToTemporaryFile(record, returnCode);
}

// --- the stored pass key and file length --------------------------------------------

QByteArray TVXAttachmentStore::encipherWholeValue(const QByteArray& plain) const
{
    const auto encrypter = mDatabase.ciphers().fieldEncrypter();
    return encrypter ? encrypter->encryptBytes(plain) : plain;
}

QByteArray TVXAttachmentStore::decipherWholeValue(const QByteArray& stored) const
{
    // The text readers stop at the first zero byte; this one reads on.
    if (stored.isEmpty() || stored.size() > INT_MAX - 1)
        return {};
    QByteArray plain;
    if (const auto encrypter = mDatabase.ciphers().fieldEncrypter()) {
        const int length = static_cast<int>(stored.size());
        char* buffer = encrypter->Decrypt(stored.constData(), length);
        if (!buffer)
            return {};
        plain = takeCipherBuffer(buffer, length);
    } else {
        plain = stored;
    }
    qsizetype end = plain.size();
    while (end > 0 && plain.at(end - 1) == '\0')
        --end;
    plain.truncate(end);
    return plain;
}

QByteArray TVXAttachmentStore::encipherAttachmentKey(const QString& passKey, qint64 length) const
{
    QByteArray plain = passKey.toUtf8();
    if (length >= 0) {
        plain.append('\0');
        plain.append(QByteArray::number(length));
    }
    const QByteArray cipher = encipherWholeValue(plain);
    wipe(plain);
    return cipher;
}

TVXAttachmentStore::AttachmentKey TVXAttachmentStore::parseAttachmentKey(const QByteArray& plain)
{
    AttachmentKey key;
    const qsizetype zero = plain.indexOf('\0');
    key.passKey = QString::fromUtf8(zero < 0 ? plain : plain.left(zero));
    if (key.passKey.isNull())
        key.passKey = QStringLiteral("");
    if (zero < 0)
        return key;
    // Anything but plain decimal digits leaves the length unknown.
    const QByteArray digits = plain.mid(zero + 1);
    if (digits.isEmpty() || digits.size() > kMaxLengthDigits)
        return key;
    for (const char c : digits)
        if (c < '0' || c > '9')
            return key;
    key.length = digits.toLongLong();
    return key;
}

TVXAttachmentStore::AttachmentKey TVXAttachmentStore::decipherAttachmentKey(const QByteArray& stored) const
{
    QByteArray plain = decipherWholeValue(stored);
    AttachmentKey key = parseAttachmentKey(plain);
    wipe(plain);
    return key;
}

void TVXAttachmentStore::cutToFileLength(QByteArray& contents, qint64 length)
{
    // A length that does not fit these contents (a row rewritten by hand, or
    // contents stored apart from their key) is not trusted: better padding
    // than lost bytes.
    if (length < 0 || length > contents.size()
        || contents.size() - length >= TVXAttachmentStoreAccess::kAttachmentBlockSize)
        return;
    for (qsizetype i = length; i < contents.size(); ++i)
        if (contents.at(i) != '\0')
            return;
    contents.truncate(length);
}

// --- the attachment cipher ---------------------------------------------------------

QString TVXAttachmentStore::newAttachmentPassKey() const
{
    return mDatabase.generatePasswordWith(TVXAttachmentStoreAccess::kPassKeyFlags,
                                         TVXAttachmentStoreAccess::kPassKeyLength);
}

std::optional<QByteArray> TVXAttachmentStore::encryptFile(const QString& path, const QString& passKey,
                                                   qint64* fileLength)
{
    if (passKey.isNull() || path.isEmpty())
        return std::nullopt;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    QByteArray plain = file.readAll();
    if (file.error() != QFileDevice::NoError
        || plain.size() > INT_MAX - TVXAttachmentStoreAccess::kAttachmentBlockSize) {
        wipe(plain);
        return std::nullopt;
    }
    if (fileLength)
        *fileLength = plain.size();
    if (plain.isEmpty())
        return QByteArray();
    try {
        int length = static_cast<int>(plain.size());
        const QByteArray key = attachmentKeyText(passKey);
        char* cipher = CAESEncrypter().Encrypt(key.constData(), plain.constData(), &length);
        wipe(plain);
        if (!cipher)
            return std::nullopt;
        return takeCipherBuffer(cipher, length);
    } catch (const std::exception&) {
        wipe(plain);
        return std::nullopt;
    }
}

std::optional<QByteArray> TVXAttachmentStore::decrypt(const QByteArray& data, const QString& passKey)
{
    // An empty file is stored as no bytes at all.
    if (data.isEmpty())
        return QByteArray();
    if (data.size() % TVXAttachmentStoreAccess::kAttachmentBlockSize != 0 || data.size() > INT_MAX - 1)
        return std::nullopt;
    try {
        const int length = static_cast<int>(data.size());
        const QByteArray key = attachmentKeyText(passKey);
        char* plain = CAESEncrypter().Decrypt(key.constData(), data.constData(), length);
        if (!plain)
            return std::nullopt;
        return takeCipherBuffer(plain, length);
    } catch (const std::exception&) {
        return std::nullopt;
    }
}

std::optional<QByteArray> TVXAttachmentStore::decrypt(std::istream& in, const QString& passKey)
{
    in.clear();
    in.seekg(0, std::ios::end);
    const std::streamoff length = in.tellg();
    if (length < 0)
        return std::nullopt;
    in.seekg(0, std::ios::beg);
    QByteArray data(static_cast<qsizetype>(length), '\0');
    in.read(data.data(), length);
    if (in.gcount() != length)
        return std::nullopt;
    return decrypt(data, passKey);
}

// --- statement parts --------------------------------------------------------------

TVXResult TVXAttachmentWriter::prepareAttachmentUpload(const TVXRecord& record, TVXAttachmentUpload& upload) const
{
    upload.nameCipher = mDatabase.encryptString(record.mAttachmentName());
    if (!tvxsql::fitsTinyBlob(upload.nameCipher))
        return kTVXStatementFailed;
    upload.passKey = mDatabase.mAttachmentAccess.newAttachmentPassKey();
    // A file that cannot be read stores nothing: no row without contents.
    auto contents = mDatabase.mAttachmentAccess.encryptFile(record.mAttachmentPath(), upload.passKey, &upload.length);
    if (!contents)
        return kTVXNotServerError;
    upload.contents = std::move(*contents);
    upload.passKeyCipher = mDatabase.mAttachmentAccess.mAttachments->encipherAttachmentKey(upload.passKey, upload.length);
    if (!tvxsql::fitsTinyBlob(upload.passKeyCipher))
        return kTVXStatementFailed;
    return kTVXDone;
}

TVXResult TVXAttachmentWriter::writeAttachmentUpload(sql::Connection& connection, const QString& recordID,
                                       const TVXAttachmentUpload& upload)
{
    std::unique_ptr<sql::PreparedStatement> stmt(connection.prepareStatement(kQueryInsertAttachmentTable));
    const auto name = tvxsql::blobStream(upload.nameCipher);
    const auto key = tvxsql::blobStream(upload.passKeyCipher);
    const auto data = tvxsql::blobStream(upload.contents);
    stmt->setString(1, recordID.toStdString());
    stmt->setBlob(2, name->stream());
    stmt->setBlob(3, key->stream());
    stmt->setBlob(4, data->stream());
    return stmt->executeUpdate() == 0 ? kTVXReloadFirst : kTVXDone;
}

TVXResult TVXAttachmentWriter::writeAttachmentHeader(sql::Connection& connection, const TVXRecord& record)
{
    const QByteArray nameCipher = mDatabase.encryptString(record.mAttachmentName());
    const QByteArray keyCipher =
        mDatabase.mAttachmentAccess.mAttachments->encipherAttachmentKey(record.mAttachmentPassKey(), record.mAttachmentLength());
    if (!tvxsql::fitsTinyBlob(nameCipher) || !tvxsql::fitsTinyBlob(keyCipher))
        return kTVXStatementFailed;
    std::unique_ptr<sql::PreparedStatement> stmt(connection.prepareStatement(kQueryUpdateAttachmentTable));
    const auto name = tvxsql::blobStream(nameCipher);
    const auto key = tvxsql::blobStream(keyCipher);
    stmt->setBlob(1, name->stream());
    stmt->setBlob(2, key->stream());
    stmt->setString(3, record.mRecordUID().toStdString());
    // The contents stay valid: their pass key itself does not change.
    return stmt->executeUpdate() == 0 ? kTVXReloadFirst : kTVXDone;
}

int TVXAttachmentWriter::dropAttachmentRow(sql::Connection& connection, const QString& recordID)
{
    std::unique_ptr<sql::PreparedStatement> stmt(connection.prepareStatement(kQueryDeleteAttachmentTable));
    stmt->setString(1, recordID.toStdString());
    return stmt->executeUpdate();
}

// --- writers ------------------------------------------------------------------------

TVXResult TVXAttachmentWriter::insertAttachmentforRecordID(TVXRecord& record)
{
    TVXAttachmentUpload upload;
    TVXResult code = prepareAttachmentUpload(record, upload);
    if (code != kTVXDone)
        return code;
    mDatabase.mStaleCopies->forgetRecordDigest(record.mRecordUID()); // written outside a replace
    {
        const auto guard = mDatabase.lockConnection();
        if (!mDatabase.mCPcon)
            throw noConnection();
        code = writeAttachmentUpload(*mDatabase.mCPcon, record.mRecordUID(), upload);
    }
    if (code == kTVXDone) {
        record.setMAttachmentPassKey(upload.passKey);
        record.setMAttachmentLength(upload.length);
    }
    return code;
}

TVXResult TVXAttachmentWriter::reEncryptAttachmentforRecord(const TVXRecord& record)
{
    mDatabase.mStaleCopies->forgetRecordDigest(record.mRecordUID()); // written outside a replace
    const auto guard = mDatabase.lockConnection();
    if (!mDatabase.mCPcon)
        throw noConnection();
    return writeAttachmentHeader(*mDatabase.mCPcon, record);
}

void TVXDataBase::copyAttachmentRow(const TVXRecord& source, TVXRecord& target, TVXResult* returnCode)
{
    // Written outside a replace.
    afterServer([this, recordID = target.mRecordUID()] { mStaleCopies->forgetRecordDigest(recordID); });
    const TVXResult code = runOnConnection([&](sql::Connection& connection) {
        std::unique_ptr<sql::PreparedStatement> stmt(connection.prepareStatement(kQueryCopyAttchmentRow));
        stmt->setString(1, target.mRecordUID().toStdString());
        stmt->setString(2, source.mRecordUID().toStdString());
        // Nothing copied: the source's attachment row is gone.
        return stmt->executeUpdate() == 0 ? kTVXReloadFirst : kTVXDone;
    });
    // The row, its contents, its pass key and length are the source's.
    if (code == kTVXDone) {
        target.setMAttachmentPassKey(source.mAttachmentPassKey());
        target.setMAttachmentLength(source.mAttachmentLength());
    }
    if (returnCode)
        *returnCode = code;
}

TVXResult TVXDataBase::removeAttachment(const std::shared_ptr<TVXRecord>& record)
{
    if (!record)
        return kTVXReloadFirst;
    // The record as the server will hold it; put back unless the server took it.
    const QString oldDate = record->mValue10();
    const bool oldHasAttachment = record->mHasAttachment();
    const QString oldName = record->mAttachmentName();
    const QString oldPassKey = record->mAttachmentPassKey();
    const qint64 oldLength = record->mAttachmentLength();
    record->setMValue10(TVXRecord::modificationDateText(QDateTime::currentDateTime()));
    record->setMHasAttachment(false);
    record->setMAttachmentName(QString());
    record->setMAttachmentPassKey(QString());
    record->setMAttachmentLength(-1);

    const TVXResult code = storeReplacedRecord(*record, true, nullptr);
    if (code != kTVXDone) {
        record->setMValue10(oldDate);
        record->setMHasAttachment(oldHasAttachment);
        record->setMAttachmentName(oldName);
        record->setMAttachmentPassKey(oldPassKey);
        record->setMAttachmentLength(oldLength);
    }
    finishReplacedRecord(record, code);
    return code;
}

// --- readers ------------------------------------------------------------------------

std::optional<QByteArray> TVXAttachmentStore::extractAttachmentDataForRecord(const TVXRecord& record, TVXResult* returnCode)
{
    QByteArray contents;
    TVXResult code = mDatabase.runOnConnection([&](sql::Connection& connection) {
        std::unique_ptr<sql::PreparedStatement> stmt(connection.prepareStatement(kQueryAttachments));
        stmt->setString(1, record.mRecordUID().toStdString());
        std::unique_ptr<sql::ResultSet> rs(stmt->executeQuery());
        if (!rs->next())
            return kTVXReloadFirst;
        contents = tvxsql::blobColumn(*rs, 4);
        return kTVXDone;
    });
    std::optional<QByteArray> plain;
    if (code == kTVXDone) {
        plain = decrypt(contents, record.mAttachmentPassKey());
        if (plain)
            cutToFileLength(*plain, record.mAttachmentLength());
        else
            code = kTVXStatementFailed;
    }
    if (returnCode)
        *returnCode = code;
    return plain;
}

std::optional<QByteArray> TVXAttachmentStore::extractAttachmentData(const QString& recordID, TVXResult* returnCode)
{
    QByteArray contents;
    AttachmentKey key;
    TVXResult code = mDatabase.runOnConnection([&](sql::Connection& connection) {
        std::unique_ptr<sql::PreparedStatement> stmt(connection.prepareStatement(kQueryAttachments));
        stmt->setString(1, recordID.toStdString());
        std::unique_ptr<sql::ResultSet> rs(stmt->executeQuery());
        if (!rs->next())
            return kTVXReloadFirst;
        key = decipherAttachmentKey(tvxsql::blobColumn(*rs, 3));
        contents = tvxsql::blobColumn(*rs, 4);
        return kTVXDone;
    });
    std::optional<QByteArray> plain;
    if (code == kTVXDone) {
        plain = decrypt(contents, key.passKey);
        if (plain)
            cutToFileLength(*plain, key.length);
        else
            code = kTVXStatementFailed;
    }
    if (returnCode)
        *returnCode = code;
    return plain;
}

std::optional<QHash<QString, QByteArray>> TVXAttachmentStore::extractAttachmentsData(const QStringList& recordIDs,
                                                                              TVXResult* returnCode)
{
    struct Row {
        QString recordID;
        AttachmentKey key;
        QByteArray contents;
    };
    std::vector<Row> rows;
    TVXResult code = kTVXDone;
    if (!recordIDs.isEmpty()) {
        std::string query = "select RECORDID, ENCRYPTIONKEY, DATA from ATTACHMENTTABLE WHERE RECORDID IN (?";
        for (qsizetype i = 1; i < recordIDs.size(); ++i)
            query += ",?";
        query += ")";
        code = mDatabase.runOnConnection([&](sql::Connection& connection) {
            std::unique_ptr<sql::PreparedStatement> stmt(connection.prepareStatement(query));
            for (qsizetype i = 0; i < recordIDs.size(); ++i)
                stmt->setString(static_cast<int>(i + 1), recordIDs[i].toStdString());
            std::unique_ptr<sql::ResultSet> rs(stmt->executeQuery());
            while (rs->next())
                rows.push_back({tvxsql::textColumn(*rs, 1), decipherAttachmentKey(tvxsql::blobColumn(*rs, 2)),
                                tvxsql::blobColumn(*rs, 3)});
            return kTVXDone;
        });
    }
    std::optional<QHash<QString, QByteArray>> contents;
    if (code == kTVXDone) {
        // Deciphered on several threads: each row is its own work.
        std::vector<std::optional<QByteArray>> plain(rows.size());
        tvxsql::parallelFor(
            rows.size(), [&](std::size_t i) { plain[i] = decrypt(rows[i].contents, rows[i].key.passKey); }, 1);
        contents.emplace();
        for (std::size_t i = 0; i < rows.size(); ++i) {
            if (!plain[i]) {
                code = kTVXStatementFailed;
                break;
            }
            cutToFileLength(*plain[i], rows[i].key.length);
            contents->insert(rows[i].recordID, std::move(*plain[i]));
        }
        if (code != kTVXDone) {
            for (auto& bytes : plain)
                if (bytes)
                    wipe(*bytes);
            for (QByteArray& done : *contents)
                wipe(done);
            contents.reset();
        }
    }
    if (returnCode)
        *returnCode = code;
    return contents;
}

QString TVXAttachmentStore::extractAttachmentToTemporaryFile(const TVXRecord& record, TVXResult* returnCode)
{
    TVXResult code = kTVXDone;
    auto contents = extractAttachmentDataForRecord(record, &code);
    QString path;
    if (contents) {
        path = TVXAttachmentFolder::shared().writeFile(record.mAttachmentName(), *contents);
        wipe(*contents);
        if (path.isNull())
            code = kTVXNotServerError;
    }
    if (returnCode)
        *returnCode = code;
    return path;
}
