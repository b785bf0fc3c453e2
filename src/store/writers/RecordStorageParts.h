#pragma once
// What the record and attachment writers encipher and read before they touch
// the connection: every cipher measured (the ciphers in store/writers/RecordWriter.h),
// the file read, so that a refusal comes before anything is written.
#include "store/TVXDataBase.h"

#include <QByteArray>
#include <QString>

#include <memory>

struct TVXDataBase::AttachmentUpload {
    QByteArray nameCipher;
    QString passKey;
    qint64 length = -1; // of the file read
    QByteArray passKeyCipher; // pass key and length
    QByteArray contents; // under the attachment cipher
};
