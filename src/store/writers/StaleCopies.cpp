// Stale copies: a replace made from a copy older than the stored row answers
// 8 and writes nothing. Each cached row's digest is compared with the row the
// writing transaction locks.
#include "model/BMGroup.h"
#include "model/TVXRecord.h"
#include "model/TVXType.h"
#include "model/TVXUID.h"
#include "store/loading/RowDigest.h"
#include "store/writers/StaleCopies.h"
#include "store/session/StatementHelpers.h"

#include <cppconn/connection.h>
#include <cppconn/prepared_statement.h>
#include <cppconn/resultset.h>

#include <array>

namespace {

// The record row with its custom type and attachment header, each read only
// when the record is marked with it (as the load reads them).
constexpr char kQueryLockRecord[] =
    "SELECT r.GROUPUID, r.TYPEUID, r.FIELD1, r.FIELD2, r.FIELD3, r.FIELD4, r.FIELD5, r.FIELD6, r.FIELD7, "
    "r.FIELD8, r.FIELD9, r.FIELD10, r.NOTE, r.HASATTACHMENT, r.HASCUSTOMFIELD, "
    "c.RECORDID, c.ICONID, c.MASKS, c.FIELD1, c.FIELD2, c.FIELD3, c.FIELD4, c.FIELD5, c.FIELD6, c.FIELD7, "
    "c.FIELD8, c.FIELD9, c.FIELD10, a.RECORDID, a.ATTACHMENTNAME, a.ENCRYPTIONKEY "
    "FROM RECORDTABLE r "
    "LEFT JOIN CUSTOMTYPETABLE c ON c.RECORDID = r.RECORDID AND r.HASCUSTOMFIELD <> 0 "
    "LEFT JOIN ATTACHMENTTABLE a ON a.RECORDID = r.RECORDID AND r.HASATTACHMENT <> 0 "
    "WHERE r.RECORDID = ? FOR UPDATE";
// The same after the master-password row, locked shared, in one row even
// when the record is gone (its RECORDID then NULL): an edit's checks in one
// round trip.
constexpr char kQueryLockKeyAndRecord[] =
    "SELECT TVX_MASTER_PASSWORD(0), r.RECORDID, r.GROUPUID, r.TYPEUID, r.FIELD1, r.FIELD2, r.FIELD3, r.FIELD4, "
    "r.FIELD5, r.FIELD6, r.FIELD7, r.FIELD8, r.FIELD9, r.FIELD10, r.NOTE, r.HASATTACHMENT, r.HASCUSTOMFIELD, "
    "c.RECORDID, c.ICONID, c.MASKS, c.FIELD1, c.FIELD2, c.FIELD3, c.FIELD4, c.FIELD5, c.FIELD6, c.FIELD7, "
    "c.FIELD8, c.FIELD9, c.FIELD10, a.RECORDID, a.ATTACHMENTNAME, a.ENCRYPTIONKEY "
    "FROM (SELECT 1 AS ONEROW) k "
    "LEFT JOIN RECORDTABLE r ON r.RECORDID = ? "
    "LEFT JOIN CUSTOMTYPETABLE c ON c.RECORDID = r.RECORDID AND r.HASCUSTOMFIELD <> 0 "
    "LEFT JOIN ATTACHMENTTABLE a ON a.RECORDID = r.RECORDID AND r.HASATTACHMENT <> 0 "
    "FOR UPDATE";
constexpr char kQueryLockKeyAndType[] =
    "SELECT TVX_MASTER_PASSWORD(0), t.UID, t.NAME, t.ICONID, t.MASKS, t.FIELD1, t.FIELD2, t.FIELD3, t.FIELD4, "
    "t.FIELD5, t.FIELD6, t.FIELD7, t.FIELD8, t.FIELD9, t.FIELD10 "
    "FROM (SELECT 1 AS ONEROW) k LEFT JOIN TYPETABLE t ON t.UID = ? FOR UPDATE";
constexpr char kQueryLockKeyAndGroup[] =
    "SELECT TVX_MASTER_PASSWORD(0), g.UID, g.NAME, g.RECORDPERMISSION, g.GROUPPERMISSIONPREVAILS "
    "FROM (SELECT 1 AS ONEROW) k LEFT JOIN GROUPTABLE g ON g.UID = ? FOR UPDATE";
// The same two, then whether a row of the new name is stored, compared on
// the cipher bytes as the duplicate-name tests compare: a rename's checks in
// the lock's round trip. The name's rows are read, not locked. Placeholders:
// the name's cipher, then the identifier.
constexpr char kQueryLockKeyTypeAndName[] =
    "SELECT TVX_MASTER_PASSWORD(0), t.UID, t.NAME, t.ICONID, t.MASKS, t.FIELD1, t.FIELD2, t.FIELD3, t.FIELD4, "
    "t.FIELD5, t.FIELD6, t.FIELD7, t.FIELD8, t.FIELD9, t.FIELD10, "
    "EXISTS (SELECT 1 FROM TYPETABLE n WHERE n.NAME = CAST(? AS BINARY)) "
    "FROM (SELECT 1 AS ONEROW) k LEFT JOIN TYPETABLE t ON t.UID = ? FOR UPDATE";
constexpr char kQueryLockKeyGroupAndName[] =
    "SELECT TVX_MASTER_PASSWORD(0), g.UID, g.NAME, g.RECORDPERMISSION, g.GROUPPERMISSIONPREVAILS, "
    "EXISTS (SELECT 1 FROM GROUPTABLE n WHERE n.NAME = CAST(? AS BINARY)) "
    "FROM (SELECT 1 AS ONEROW) k LEFT JOIN GROUPTABLE g ON g.UID = ? FOR UPDATE";
constexpr char kQueryLockGroup[] =
    "SELECT NAME, RECORDPERMISSION, GROUPPERMISSIONPREVAILS FROM GROUPTABLE WHERE UID = ? FOR UPDATE";
constexpr char kQueryLockType[] =
    "SELECT NAME, ICONID, MASKS, FIELD1, FIELD2, FIELD3, FIELD4, FIELD5, FIELD6, FIELD7, FIELD8, FIELD9, "
    "FIELD10 FROM TYPETABLE WHERE UID = ? FOR UPDATE";

// N BLOB columns from the column `first` on.
template <size_t N>
std::array<QByteArray, N> blobColumns(sql::ResultSet& rs, int first)
{
    std::array<QByteArray, N> columns;
    for (size_t i = 0; i < N; ++i)
        columns[i] = tvxsql::blobColumn(rs, first + static_cast<int>(i));
    return columns;
}

// 0 when the row has no digest or its stored one is the digest kept, else 8.
template <class LockStored>
TVXResult compareWithStored(const QHash<QString, quint64>& digests, const QString& uid, LockStored lockStored)
{
    const auto known = digests.constFind(uid);
    if (known == digests.constEnd())
        return kTVXDone;
    const auto stored = lockStored();
    return stored && *stored == *known ? kTVXDone : kTVXReloadFirst;
}

} // namespace

quint64 tvxsql::recordRowDigest(const QString& groupUID, const QString& typeUID, const QByteArray* stored,
                                     bool attached, bool customised)
{
    tvxsql::RowDigest digest;
    digest.add(groupUID).add(typeUID);
    for (int i = 0; i < 11; ++i)
        digest.add(stored[i]);
    return digest.add(qint64(attached)).add(qint64(customised)).value();
}

quint64 tvxsql::customTypeDigest(qint64 icon, qint64 mask, const QByteArray* fields)
{
    tvxsql::RowDigest digest;
    digest.add(icon).add(mask);
    for (int i = 0; i < 10; ++i)
        digest.add(fields[i]);
    return digest.value();
}

quint64 tvxsql::attachmentDigest(const QByteArray& nameCipher, const QByteArray& keyCipher)
{
    return tvxsql::RowDigest().add(nameCipher).add(keyCipher).value();
}

quint64 tvxsql::groupDigest(const QByteArray& nameCipher, qint64 permissions, bool prevails)
{
    return tvxsql::RowDigest().add(nameCipher).add(permissions).add(qint64(prevails)).value();
}

quint64 tvxsql::typeDigest(const QByteArray& nameCipher, qint64 icon, qint64 mask, const QByteArray* fields)
{
    tvxsql::RowDigest digest;
    digest.add(nameCipher).add(icon).add(mask);
    for (int i = 0; i < 10; ++i)
        digest.add(fields[i]);
    return digest.value();
}

TVXStaleCopies::RecordDigest TVXStaleCopies::recordDigestAt(sql::ResultSet& rs, int before, bool* attached,
                                                            bool* customised)
{
    const auto values = blobColumns<11>(rs, before + 3);
    RecordDigest digest;
    const bool hasAttachment = rs.getBoolean(before + 14);
    const bool hasCustomType = rs.getBoolean(before + 15);
    digest.row = tvxsql::recordRowDigest(tvxsql::textColumn(rs, before + 1), tvxsql::textColumn(rs, before + 2),
                                         values.data(), hasAttachment, hasCustomType);
    if (!rs.isNull(before + 16))
        digest.customType = tvxsql::customTypeDigest(rs.getInt64(before + 17), rs.getInt64(before + 18),
                                                     blobColumns<10>(rs, before + 19).data());
    if (!rs.isNull(before + 29))
        digest.attachment =
            tvxsql::attachmentDigest(tvxsql::blobColumn(rs, before + 30), tvxsql::blobColumn(rs, before + 31));
    if (attached)
        *attached = hasAttachment;
    if (customised)
        *customised = hasCustomType;
    return digest;
}

std::optional<TVXStaleCopies::RecordDigest> TVXStaleCopies::lockedRecordDigest(sql::Connection& connection,
                                                                                const QString& recordID)
{
    const auto rs = tvxsql::rowsFor(connection, kQueryLockRecord, recordID);
    if (!rs->next())
        return std::nullopt;
    return recordDigestAt(*rs, 0);
}

const char* TVXStaleCopies::lockKeyAndRecordText() { return kQueryLockKeyAndRecord; }

std::optional<quint64> TVXStaleCopies::lockedGroupDigest(sql::Connection& connection, const QString& groupUID)
{
    const auto rs = tvxsql::rowsFor(connection, kQueryLockGroup, groupUID);
    if (!rs->next())
        return std::nullopt;
    return groupDigestAt(*rs, 0);
}

quint64 TVXStaleCopies::groupDigestAt(sql::ResultSet& rs, int before)
{
    return tvxsql::groupDigest(tvxsql::blobColumn(rs, before + 1), rs.getInt64(before + 2), rs.getBoolean(before + 3));
}

const char* TVXStaleCopies::lockKeyAndGroupText() { return kQueryLockKeyAndGroup; }

const char* TVXStaleCopies::lockKeyGroupAndNameText() { return kQueryLockKeyGroupAndName; }

std::optional<quint64> TVXStaleCopies::lockedTypeDigest(sql::Connection& connection, const QString& typeUID)
{
    const auto rs = tvxsql::rowsFor(connection, kQueryLockType, typeUID);
    if (!rs->next())
        return std::nullopt;
    return typeDigestAt(*rs, 0);
}

quint64 TVXStaleCopies::typeDigestAt(sql::ResultSet& rs, int before)
{
    return tvxsql::typeDigest(tvxsql::blobColumn(rs, before + 1), rs.getInt64(before + 2), rs.getInt64(before + 3),
                              blobColumns<10>(rs, before + 4).data());
}

const char* TVXStaleCopies::lockKeyAndTypeText() { return kQueryLockKeyAndType; }

const char* TVXStaleCopies::lockKeyTypeAndNameText() { return kQueryLockKeyTypeAndName; }

TVXResult TVXStaleCopies::checkRecordNotStale(sql::Connection& connection, const QString& recordID,
                                        bool droppingAttachment) const
{
    const auto known = knownRecordDigest(recordID);
    if (!known)
        return kTVXDone;
    auto stored = lockedRecordDigest(connection, recordID);
    if (stored && droppingAttachment)
        stored->attachment = known->attachment; // whatever it holds goes
    return stored && *stored == *known ? kTVXDone : kTVXReloadFirst;
}

TVXResult TVXStaleCopies::checkGroupNotStale(sql::Connection& connection, const QString& groupUID) const
{
    return compareWithStored(mGroupDigests, groupUID, [&] { return lockedGroupDigest(connection, groupUID); });
}

TVXResult TVXStaleCopies::checkTypeNotStale(sql::Connection& connection, const QString& typeUID) const
{
    return compareWithStored(mTypeDigests, typeUID, [&] { return lockedTypeDigest(connection, typeUID); });
}

std::optional<TVXStaleCopies::RecordDigest> TVXStaleCopies::knownRecordDigest(const QString& recordID) const
{
    const std::lock_guard lock(mRecordDigestsLock);
    const auto known = mRecordDigests.constFind(recordID);
    return known == mRecordDigests.constEnd() ? std::nullopt : std::optional<RecordDigest>(*known);
}

void TVXStaleCopies::keepRecordDigest(const QString& recordID, const RecordDigest& digest)
{
    const std::lock_guard lock(mRecordDigestsLock);
    mRecordDigests.insert(recordID, digest);
}

void TVXStaleCopies::forgetRecordDigest(const QString& recordID)
{
    const std::lock_guard lock(mRecordDigestsLock);
    mRecordDigests.remove(recordID);
}

void TVXStaleCopies::forgetDigests()
{
    {
        const std::lock_guard lock(mRecordDigestsLock);
        mRecordDigests.clear();
    }
    mGroupDigests.clear();
    mTypeDigests.clear();
}

void TVXStaleCopies::noteNewRecordDigest(const TVXRecord& record, std::span<const QByteArray, 10> values,
                                         const QByteArray& note, std::span<const QByteArray, 10> typeFields,
                                         std::optional<quint64> attachment)
{
    QByteArray stored[11];
    for (int i = 0; i < 10; ++i)
        stored[i] = values[static_cast<size_t>(i)];
    stored[10] = note;
    const bool customised = record.mIsCustomized() && record.mRecordCustomType();
    RecordDigest digest;
    digest.row = tvxsql::recordRowDigest(record.mGroup() ? record.mGroup()->mGroupUID() : kUnfiledUID,
                                 record.mType() ? record.mType()->mTypeUID() : kUnfiledUID, stored,
                                 record.mHasAttachment(), customised);
    if (customised)
        digest.customType = tvxsql::customTypeDigest(record.mRecordCustomType()->mTypeIconID(),
                                             record.mRecordCustomType()->mTypeMask(), typeFields.data());
    if (attachment)
        digest.attachment = *attachment;
    else if (record.mHasAttachment())
        return; // its row is copied afterwards: no digest known
    keepRecordDigest(record.mRecordUID(), digest);
}
