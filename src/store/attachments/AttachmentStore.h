#pragma once
// Attachment contents and keys, owned by the database manager: one file per
// record, its contents under a pass key of its own (zero-padded to
// TVXAttachmentStoreAccess::kAttachmentBlockSize), its name and pass key under the field
// encrypter. The manager's readers and cipher methods forward here; its
// writers stay with the record storage, whose transactions they join.
#include "store/session/ResultCodes.h"
#include <QByteArray>
#include <QHash>
#include <QString>
#include <QStringList>

#include <istream>
#include <memory>
#include <optional>

class TVXDataBase;
class TVXRecord;

class TVXAttachmentStore {
public:
    explicit TVXAttachmentStore(TVXDataBase& database) : mDatabase(database) {}

    // The file's contents under the attachment cipher; null when the file
    // cannot be read or there is no pass key. An empty file gives empty bytes.
    // *fileLength (may be null) receives the length of the file read.
    static std::optional<QByteArray> encryptFile(const QString& path, const QString& passKey, qint64* fileLength);
    // Deciphered contents, still padded; null for a length that is not a
    // multiple of the block size.
    static std::optional<QByteArray> decrypt(std::istream& in, const QString& passKey);
    static std::optional<QByteArray> decrypt(const QByteArray& data, const QString& passKey);
    // A fresh pass key (16 characters of lower and upper case, digits and symbols).
    QString newAttachmentPassKey() const;

    // The attachment's contents, deciphered with the record's pass key and cut
    // to its length (padded when the length is unknown). Null with code 8
    // without attachment row, 3 on failure.
    std::optional<QByteArray> extractAttachmentDataForRecord(const TVXRecord& record, TVXResult* returnCode);
    // As above, with the pass key and length stored in the row (for exports).
    std::optional<QByteArray> extractAttachmentData(const QString& recordID, TVXResult* returnCode);
    // The same for several records with one statement: the contents of each
    // record found, keyed by identifier (a record without row is left out).
    // Null with the code when the statement or a decipher failed.
    std::optional<QHash<QString, QByteArray>> extractAttachmentsData(const QStringList& recordIDs, TVXResult* returnCode);
    // The contents written to a file of the private temporary attachment
    // folder under the attachment's name; the path, or null with the code.
    // The caller removes the file when done (TVXAttachmentFolder).
    QString extractAttachmentToTemporaryFile(const TVXRecord& record, TVXResult* returnCode);

    // ENCRYPTIONKEY holds the pass key's bytes, then a zero byte and the
    // file's length in decimal digits. Readers of a text stop at the zero, so
    // older clients see the pass key alone; rows they wrote carry no length.
    struct AttachmentKey {
        QString passKey;
        qint64 length = -1; // unknown
    };
    QByteArray encipherAttachmentKey(const QString& passKey, qint64 length) const;
    AttachmentKey decipherAttachmentKey(const QByteArray& stored) const;
    static AttachmentKey parseAttachmentKey(const QByteArray& plain);
    // A stored value's whole plain bytes, past its first zero byte (only the
    // zero padding of the last block dropped), and back.
    QByteArray decipherWholeValue(const QByteArray& stored) const;
    QByteArray encipherWholeValue(const QByteArray& plain) const;
    // Deciphered contents cut to the file's length, when the length is known
    // and belongs to them (only zero padding is ever cut).
    static void cutToFileLength(QByteArray& contents, qint64 length);

private:
    TVXDataBase& mDatabase;
};

// The manager holds one of these: its attachment readers, cipher calls and
// constants are declared here, beside the object they forward to.
class TVXAttachmentStoreAccess {
public:
    // Ciphers and padding as TVXAttachmentStore describes them.
    static constexpr int kAttachmentBlockSize = 24;
    static constexpr uint16_t kPassKeyFlags = 15; // lower, upper, digits, symbols
    static constexpr uint16_t kPassKeyLength = 16;
    // Deciphered and cut to the file's length; null with 8 (no row) or 3.
    std::optional<QByteArray> extractAttachmentDataForRecord(const TVXRecord& record, TVXResult* returnCode);
    std::optional<QByteArray> extractAttachmentData(const QString& recordID, TVXResult* returnCode);
    std::optional<QHash<QString, QByteArray>> extractAttachmentsData(const QStringList& recordIDs,
                                                                     TVXResult* returnCode);
    // Into the private temporary folder (TVXAttachmentFolder); the caller removes it.
    QString extractAttachmentToTemporaryFile(const TVXRecord& record, TVXResult* returnCode);
    static std::optional<QByteArray> encryptFile(const QString& path, const QString& passKey,
                                                 qint64* fileLength = nullptr);
    static std::optional<QByteArray> decrypt(std::istream& in, const QString& passKey); // still padded
    static std::optional<QByteArray> decrypt(const QByteArray& data, const QString& passKey);
    QString newAttachmentPassKey() const;

    explicit TVXAttachmentStoreAccess(TVXDataBase& store) : mAttachments(std::make_unique<TVXAttachmentStore>(store)) {}

private:
    friend class TVXDataBase;
    friend class TVXMasterPasswordStore; // re-enciphers the attachment keys
    friend class TVXStoreLoader;         // reads the attachment headers
    friend class TVXAttachmentWriter;    // enciphers the attachment keys
    std::unique_ptr<TVXAttachmentStore> mAttachments;
};
