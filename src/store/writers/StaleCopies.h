#pragma once
// Stale copies, owned by the database manager: what each cached row held when
// this client read or last wrote it (store/loading/RowDigest.h). A replace compares it
// in its transaction with the row it locks: 8 when another client changed the
// row meanwhile. Rows without a digest are written as before.
#include "store/session/ResultCodes.h"

#include <QByteArray>
#include <QHash>
#include <QString>

#include <mutex>
#include <optional>
#include <span>

namespace sql {
class Connection;
class ResultSet;
}
class TVXRecord;

class TVXStaleCopies {
public:
    struct RecordDigest {
        quint64 row = 0;
        quint64 customType = 0; // 0: none (read only for a record marked customised)
        quint64 attachment = 0; // 0: none (read only for a record marked with an attachment)
        bool operator==(const RecordDigest&) const = default;
    };
    // Filled by the loaders, which run while no save is in flight; the
    // writers go through the calls below, as a save's server part reads a
    // digest on the worker while an earlier save's answer changes others on
    // the main thread.
    QHash<QString, RecordDigest> mRecordDigests;
    QHash<QString, quint64> mGroupDigests;
    QHash<QString, quint64> mTypeDigests;

    std::optional<RecordDigest> knownRecordDigest(const QString& recordID) const;
    void keepRecordDigest(const QString& recordID, const RecordDigest& digest);
    void forgetRecordDigest(const QString& recordID);

    // Locked for update; null when the row is gone.
    static std::optional<RecordDigest> lockedRecordDigest(sql::Connection& connection, const QString& recordID);
    // The record's digest from the columns after `before` of a row of the
    // lock's shape (the stored flags in *attached, *customised).
    static RecordDigest recordDigestAt(sql::ResultSet& rs, int before, bool* attached = nullptr,
                                       bool* customised = nullptr);
    // The master-password row (column 1), then the record's RECORDID (NULL
    // when gone) and its lock's columns; one placeholder, the identifier.
    static const char* lockKeyAndRecordText();
    // The same for a type (its UID, then the columns its digest reads).
    static quint64 typeDigestAt(sql::ResultSet& rs, int before);
    static const char* lockKeyAndTypeText();
    // The same for a group (its UID, then NAME, RECORDPERMISSION, GROUPPERMISSIONPREVAILS).
    static quint64 groupDigestAt(sql::ResultSet& rs, int before);
    static const char* lockKeyAndGroupText();
    // The type's and the group's lock, then (the last column, 16 and 6)
    // whether a row of a name is stored; two placeholders: the name's
    // cipher, then the identifier.
    static const char* lockKeyTypeAndNameText();
    static const char* lockKeyGroupAndNameText();
    static constexpr int kTypeNameTakenColumn = 16;
    static constexpr int kGroupNameTakenColumn = 6;
    static std::optional<quint64> lockedGroupDigest(sql::Connection& connection, const QString& groupUID);
    static std::optional<quint64> lockedTypeDigest(sql::Connection& connection, const QString& typeUID);
    // 0 when no digest is kept or the locked row still matches it, else 8.
    TVXResult checkRecordNotStale(sql::Connection& connection, const QString& recordID,
                                          bool droppingAttachment = false) const;
    TVXResult checkGroupNotStale(sql::Connection& connection, const QString& groupUID) const;
    TVXResult checkTypeNotStale(sql::Connection& connection, const QString& typeUID) const;
    void forgetDigests();
    // A new record's row as written from these ciphers (values 1 to 10, the
    // note, the custom type's fields). A stored file's digest in `attachment`;
    // without one a record marked with an attachment (its row copied
    // afterwards) gets no digest.
    void noteNewRecordDigest(const TVXRecord& record, std::span<const QByteArray, 10> values, const QByteArray& note,
                             std::span<const QByteArray, 10> typeFields, std::optional<quint64> attachment);

private:
    mutable std::mutex mRecordDigestsLock;
};
