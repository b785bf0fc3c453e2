#pragma once
// Sizes of the store's columns that a writer checks before anything is sent.
#include <QByteArray>

namespace tvxsql {

// TINYBLOB columns (group and type names, field names, record values): the
// server would cut a longer value short (or refuse it), and a cut cipher is lost.
inline constexpr qsizetype kTinyBlobCapacity = 255;

// The limit of a note (a LONGBLOB), in bytes of its UTF-8 form: the sheet,
// the record writer and the importer apply the same one.
inline constexpr int kNoteByteLimit = 4000;

// Files of this size or more are not attached (an attachment is one
// LONGBLOB, read whole into memory on every side).
inline constexpr qint64 kAttachmentByteLimit = 1048576;

inline bool fitsTinyBlob(const QByteArray& bytes) { return bytes.size() <= kTinyBlobCapacity; }

} // namespace tvxsql
