#pragma once
// The manager's writers of attachment rows: a file read and enciphered before
// the connection is touched, then its row written, its header re-enciphered or
// its row dropped (TVXDataBase_Attachments.cpp).
#include "store/session/ResultCodes.h"

#include <QByteArray>
#include <QString>

namespace sql {
class Connection;
}

class TVXDataBase;
class TVXRecord;

// What an attachment row is written from.
struct TVXAttachmentUpload {
    QByteArray nameCipher;
    QString passKey;
    qint64 length = -1; // of the file read
    QByteArray passKeyCipher; // pass key and length
    QByteArray contents; // under the attachment cipher
};

class TVXAttachmentWriter {
public:
    explicit TVXAttachmentWriter(TVXDataBase& database) : mDatabase(database) {}
    TVXAttachmentWriter(const TVXAttachmentWriter&) = delete;
    TVXAttachmentWriter& operator=(const TVXAttachmentWriter&) = delete;

    // 0 stored, 8 not stored, 1 unreadable file, 3 too long; server errors throw.
    TVXResult insertAttachmentforRecordID(TVXRecord& record);
    TVXResult reEncryptAttachmentforRecord(const TVXRecord& record);

    // Statement parts of the record writers' transactions.
    TVXResult prepareAttachmentUpload(const TVXRecord& record, TVXAttachmentUpload& upload) const;
    TVXResult writeAttachmentUpload(sql::Connection& connection, const QString& recordID,
                                    const TVXAttachmentUpload& upload);
    TVXResult writeAttachmentHeader(sql::Connection& connection, const TVXRecord& record);
    [[nodiscard]] int dropAttachmentRow(sql::Connection& connection, const QString& recordID);

private:
    TVXDataBase& mDatabase;
};
