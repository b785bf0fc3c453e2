// Group and type writers, the duplicate-name tests and the regrouping of a
// group's records. Names leave the client enciphered; the duplicate tests
// therefore compare cipher bytes on the server.
// A group's row and lists are written all or nothing; a new group counts the
// signed-in user among its members, and the member list is widened with its
// sub-groups' members.
#include "model/BMGroup.h"
#include "model/TVXRecord.h"
#include "model/TVXType.h"
#include "model/TVXUID.h"
#include "model/TVXUser.h"
#include "model/TVXUser_Admin.h"
#include "store/schema/ColumnLimits.h"
#include "store/schema/QueryConstants.h"
#include "store/session/StatementHelpers.h"
#include "store/session/StatementRunner.h"
#include "store/loading/StoreChanges.h"
#include "store/loading/RowDigest.h"
#include "store/writers/StaleCopies.h"
#include "store/TVXDataBase.h"
#include "store/eventlog/EventLogStore.h"
#include "store/eventlog/TVXEventLogger.h"
#include "store/session/Transaction.h"

#include <cppconn/connection.h>
#include <cppconn/exception.h>
#include <cppconn/prepared_statement.h>
#include <cppconn/resultset.h>

#include <QJsonArray>
#include <QJsonDocument>

#include <array>
#include <string>
#include <vector>

namespace {

// GROUPSUBGROUPTABLE has no foreign key on SUBGROUPID: a deleted group's
// place in other groups' lists is removed by hand, except in the unfiled
// group's list, which keeps its entries.
constexpr char kQueryDeleteFromSubGroupLists[] =
    "DELETE FROM GROUPSUBGROUPTABLE WHERE SUBGROUPID=? AND GROUPID<>?";

const QString kEventAddGroup = QStringLiteral("Add Group");
const QString kEventEditGroup = QStringLiteral("Edit Group");
const QString kEventDeleteGroup = QStringLiteral("Delete Group");
const QString kEventAddType = QStringLiteral("Add Type");
const QString kEventEditType = QStringLiteral("Edit Type");
const QString kEventDeleteType = QStringLiteral("Delete Type");
const QString kTypeAdded = QStringLiteral("Type Added Successfully");
const QString kTypeEdited = QStringLiteral("Type Edited Successfully");
const QString kTypeDeleted = QStringLiteral("Type Deleted Successfully");

using tvxsql::noConnection;

// A type's add, edit and delete as one call each (store/writers/WriteCalls.h).
constexpr char kCallAddType[] = "CALL TVX_ADD_TYPE(?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)";
constexpr char kCallReplaceType[] = "CALL TVX_REPLACE_TYPE(?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)";
constexpr char kCallDeleteType[] = "CALL TVX_DELETE_TYPE(?, ?, ?, ?, ?, ?, ?, ?, ?)";
constexpr char kCallDeleteGroup[] = "CALL TVX_DELETE_GROUP(?, ?, ?, ?, ?, ?, ?, ?, ?, ?)";
// A group's add and edit with its whole member and sub-group lists.
constexpr char kCallAddGroup[] = "CALL TVX_ADD_GROUP(?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)";
constexpr char kCallReplaceGroup[] = "CALL TVX_REPLACE_GROUP(?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)";

// A list of identifiers as the routines take it: a JSON array, one value
// the server walks as data.
std::string identifierArray(const QStringList& identifiers)
{
    return QJsonDocument(QJsonArray::fromStringList(identifiers)).toJson(QJsonDocument::Compact).toStdString();
}

// "%s" of a name-comparison format becomes the cipher's hexadecimal form:
// only hex digits ever reach the statement text, never the name itself.
std::string withCipherHex(const char* format, const QByteArray& cipher)
{
    std::string query(format);
    const std::string::size_type at = query.find("%s");
    if (at != std::string::npos)
        query.replace(at, 2, cipher.toHex().toUpper().toStdString());
    return query;
}

// The field cipher is deterministic: the same name under the same master
// password gives the same bytes, so nothing is deciphered.
bool isNameStored(TVXDataBase& db, const char* queryFormat, const QString& name)
{
    return tvxsql::findsRow(db, withCipherHex(queryFormat, db.encryptString(name)), [](sql::PreparedStatement&) {});
}

} // namespace

// Group and type storage's own steps; they reach the manager's state through d.
struct TVXDataBase::GroupTypeSteps {
    TVXDataBase& d;
    // The event row goes with the write where it can: then *logStored.
    // A group's row and both lists, all or nothing.
    TVXResult storeGroup(BMGroup& group, bool isNew, const TVXEventLogEntry& logRow, bool* logStored);
    TVXResult storeType(const TVXType& type, bool isNew, const TVXEventLogEntry& logRow, bool* logStored);
    // A refused event row of a call is stored its usual way (which reports why).
    void settleLogRow(const TVXEventLogEntry& logRow, const tvxcalls::CallAnswer& answer);
    // The commands: the write, then the cache, the announcement and the log.
    TVXResult writeGroup(const std::shared_ptr<BMGroup>& group, bool isNew);
    TVXResult writeType(const std::shared_ptr<TVXType>& type, bool isNew);
    void forgetDeletedGroup(const QString& groupUID);
    // Records keep pointing at the copy the cache holds: those holding the
    // replaced one take its replacement.
    template <class T>
    void repointRecords(const std::shared_ptr<T>& replaced, const std::shared_ptr<T>& replacement,
                        const std::shared_ptr<T>& (TVXRecord::*get)() const,
                        void (TVXRecord::*set)(std::shared_ptr<T>));
    // A command's end: what it changed announced when it was done, the outcome logged either way.
    // `storedLogRow`: the outcome's row the write stored with itself, only listed.
    TVXResult finish(storechanges::Announcement& changed, TVXResult code, unsigned kinds, const QString& event,
               const QString& name, const QString& successText = kEventActionSuccess,
               const TVXEventLogEntry* storedLogRow = nullptr);
};

template <class T>
void TVXDataBase::GroupTypeSteps::repointRecords(const std::shared_ptr<T>& replaced,
                                                 const std::shared_ptr<T>& replacement,
                                                 const std::shared_ptr<T>& (TVXRecord::*get)() const,
                                                 void (TVXRecord::*set)(std::shared_ptr<T>))
{
    if (!replaced || replaced == replacement)
        return;
    for (const auto& record : std::as_const(d.caches().m_records))
        if (((*record).*get)() == replaced)
            ((*record).*set)(replacement);
    d.caches().pruneRecordSearchIndex();
}

TVXResult TVXDataBase::GroupTypeSteps::finish(storechanges::Announcement& changed, TVXResult code, unsigned kinds,
                                             const QString& event, const QString& name, const QString& successText,
                                             const TVXEventLogEntry* storedLogRow)
{
    if (code == kTVXDone)
        changed.add(kinds);
    if (storedLogRow && code == kTVXDone)
        d.eventLog().eventLogger().list(*storedLogRow);
    else
        (void)d.eventLog().eventLogger().logOutcome(event, name, code, successText);
    return code;
}

void TVXDataBase::GroupTypeSteps::settleLogRow(const TVXEventLogEntry& logRow, const tvxcalls::CallAnswer& answer)
{
    if (answer.logRefused)
        (void)d.eventLog().saveLogsArrayToDatabase(logRow);
}

// --- groups -------------------------------------------------------------------

TVXResult TVXDataBase::GroupTypeSteps::storeGroup(BMGroup& group, bool isNew, const TVXEventLogEntry& logRow,
                                                 bool* logStored)
{
    if (!tvxsql::readsBackAsWritten(group.mGroupName()))
        return kTVXStatementFailed;
    const QByteArray cipher = d.encryptString(group.mGroupName());
    if (!tvxsql::fitsTinyBlob(cipher))
        return kTVXStatementFailed;

    // A refused write leaves the sheet's copy as it came; a stored one is
    // the row's digest from now on.
    const QStringList membersBefore = group.mUserMembersArray();
    const auto settleCopy = [&](TVXResult code) {
        if (code != kTVXDone)
            group.setMUserMembersArray(membersBefore);
        else
            d.mStaleCopies->mGroupDigests.insert(
                group.mGroupUID(),
                tvxsql::groupDigest(cipher, group.mRecordLevelPermissions(), group.mPreferencePermissions()));
        return code;
    };

    // Outside a batch: one call with the lists as they will stand (an edit
    // after its checks). A new group counts the signed-in user among its members.
    if (isNew)
        group.addMember(*d.caches().m_currentUser);
    group.setMUserMembersArray(d.membership().widenedMembers(group));
    const std::string members = identifierArray(group.mUserMembersArray());
    const std::string subGroups = identifierArray(group.mSubGroupsUID());
    const auto bindGroup = [&](sql::PreparedStatement& stmt, int first) {
        stmt.setString(first, group.mGroupUID().toStdString());
        tvxsql::bindBytes(stmt, first + 1, cipher);
        stmt.setUInt(first + 2, group.mRecordLevelPermissions());
        stmt.setBoolean(first + 3, group.mPreferencePermissions());
        stmt.setString(first + 4, members);
        stmt.setString(first + 5, subGroups);
        TVXEventLogStore::bindRow(stmt, first + 6, logRow);
    };
    bool called = false;
    tvxcalls::CallAnswer answer;
    TVXResult code = d.runOnConnection([&](sql::Connection& connection) {
        called = d.mayCall(connection);
        if (!called)
            return kTVXDone;
        if (isNew)
            called = d.callWrite(connection, kCallAddGroup, true, bindGroup, answer);
        else
            called = d.callLockedWrite(
                connection, TVXStaleCopies::lockKeyAndGroupText(), group.mGroupUID(),
                [&](sql::ResultSet& rs) {
                    // A copy older than the stored row changes nothing.
                    const auto known = d.mStaleCopies->mGroupDigests.constFind(group.mGroupUID());
                    return known == d.mStaleCopies->mGroupDigests.constEnd()
                                   || *known == TVXStaleCopies::groupDigestAt(rs, 2)
                               ? kTVXDone
                               : kTVXReloadFirst;
                },
                kCallReplaceGroup, bindGroup, answer);
        return answer.code;
    });
    if (called) {
        if (code == kTVXMasterPasswordMismatch)
            d.reportKeyRowChanged();
        if (code == kTVXDone) {
            settleLogRow(logRow, answer);
            *logStored = true;
        }
        return settleCopy(code);
    }

    // The statements, one by one. The membership writers join this
    // transaction: a group never stands on the server without its lists,
    // nor with half of them.
    code = d.runWriteTransaction([&](sql::Connection& connection) {
        // A copy older than the stored row changes nothing.
        if (!isNew)
            if (const TVXResult fresh = d.mStaleCopies->checkGroupNotStale(connection, group.mGroupUID()); fresh != kTVXDone)
                return fresh;
        const std::string uid = group.mGroupUID().toStdString();
        std::unique_ptr<sql::PreparedStatement> stmt(
            connection.prepareStatement(isNew ? kQueryGroupInsert : kQueryGroupUpdate));
        const auto name = tvxsql::blobStream(cipher);
        stmt->setBlob(1, name->stream());
        if (isNew) {
            stmt->setString(2, uid);
            stmt->setUInt(3, group.mRecordLevelPermissions());
            stmt->setBoolean(4, group.mPreferencePermissions());
        } else {
            stmt->setUInt(2, group.mRecordLevelPermissions());
            stmt->setBoolean(3, group.mPreferencePermissions());
            stmt->setString(4, uid);
        }
        // The insert ignores a stored identifier; the update counts matched
        // rows. Either way no row means the cached copy is stale.
        if (stmt->executeUpdate() == 0)
            return kTVXReloadFirst;
        const TVXResult lists = d.membership().insertUserListForGroup(group);
        return lists == kTVXDone ? d.membership().insertSubgroupListForGroup(group) : lists;
    });
    return settleCopy(code);
}

TVXResult TVXDataBase::GroupTypeSteps::writeGroup(const std::shared_ptr<BMGroup>& group, bool isNew)
{
    storechanges::GuardedChange changed(d);
    if (!group)
        return kTVXReloadFirst;
    const QString uid = group->mGroupUID();
    const auto cached = d.caches().m_groups.value(uid);
    const TVXEventLogEntry logRow = d.eventLog().eventLogger().entryNow(
        isNew ? kEventAddGroup : kEventEditGroup, group->mGroupName(), kEventActionSuccess);
    bool logStored = false;
    // Only a group the cache holds is rewritten.
    const TVXResult code = isNew || cached ? storeGroup(*group, isNew, logRow, &logStored) : kTVXNotServerError;
    if (code == kTVXDone) {
        // The server now counts the signed-in user among a new group's members.
        if (isNew && !d.caches().m_currentUser->mUsersGroupArray().contains(uid))
            d.caches().m_currentUser->mUsersGroupArray().append(uid);
        d.caches().m_groups.insert(uid, group);
        if (!isNew)
            repointRecords(cached, group, &TVXRecord::mGroup, &TVXRecord::setMGroup);
    }
    const TVXEventLogEntry* stored = logStored ? &logRow : nullptr;
    if (isNew)
        return finish(changed, code, storechanges::kGroups, kEventAddGroup, group->mGroupName(),
                      kEventActionSuccess, stored);
    return finish(changed, code, storechanges::kGroups | storechanges::kRecords, kEventEditGroup,
                  group->mGroupName(), kEventActionSuccess, stored);
}

TVXResult TVXDataBase::addGroup(std::shared_ptr<BMGroup> group) { return GroupTypeSteps{*this}.writeGroup(group, true); }
TVXResult TVXDataBase::updateGroup(std::shared_ptr<BMGroup> group) { return GroupTypeSteps{*this}.writeGroup(group, false); }

TVXResult TVXDataBase::deleteGroup(const BMGroup& group)
{
    storechanges::GuardedChange changed(*this);
    const QString uid = group.mGroupUID();
    TVXResult code = kTVXDone;
    const TVXEventLogEntry logRow =
        mEventLogAccess.eventLogger().entryNow(kEventDeleteGroup, group.mGroupName(), kEventActionSuccess);
    bool called = false;
    tvxcalls::CallAnswer answer;
    if (!mCaches.m_groups.contains(uid)) {
        code = kTVXReloadFirst;
    } else {
        code = runOnConnection([&](sql::Connection& connection) {
            called = mayCall(connection);
            if (called)
                called = callWrite(connection, kCallDeleteGroup, true,
                                   [&](sql::PreparedStatement& stmt, int first) {
                                       stmt.setString(first, uid.toStdString());
                                       stmt.setString(first + 1, kUnfiledUID.toStdString());
                                       TVXEventLogStore::bindRow(stmt, first + 2, logRow);
                                   },
                                   answer);
            return called ? answer.code : kTVXDone;
        });
        if (called && code == kTVXDone)
            GroupTypeSteps{*this}.settleLogRow(logRow, answer);
    }
    if (!called && code == kTVXDone) {
        code = runWriteTransaction([&](sql::Connection& connection) {
            std::unique_ptr<sql::PreparedStatement> stmt(connection.prepareStatement(kQueryGroupDelete));
            stmt->setString(1, uid.toStdString());
            // The group's records, members and own sub-group rows go with it
            // by the store's foreign keys.
            if (stmt->executeUpdate() == 0)
                return kTVXReloadFirst;
            std::unique_ptr<sql::PreparedStatement> references(
                connection.prepareStatement(kQueryDeleteFromSubGroupLists));
            references->setString(1, uid.toStdString());
            references->setString(2, kUnfiledUID.toStdString());
            references->executeUpdate();
            return kTVXDone;
        });
    }
    GroupTypeSteps steps{*this};
    if (code == kTVXDone)
        steps.forgetDeletedGroup(uid);
    return steps.finish(changed, code, storechanges::kGroups | storechanges::kRecords, kEventDeleteGroup,
                        group.mGroupName(), kEventActionSuccess, called && code == kTVXDone ? &logRow : nullptr);
}

void TVXDataBase::GroupTypeSteps::forgetDeletedGroup(const QString& groupUID)
{
    d.caches().m_groups.remove(groupUID);
    d.caches().m_records.removeIf([&groupUID](const auto& entry) {
        const auto& recordGroup = entry.value()->mGroup();
        return recordGroup && recordGroup->mGroupUID() == groupUID;
    });
    for (const auto& other : std::as_const(d.caches().m_groups))
        if (other->mGroupUID() != kUnfiledUID)
            other->mSubGroupsUID().removeAll(groupUID);
    // The membership rows went with the group: no user list may name it any
    // longer, or writing that list back would be refused.
    d.caches().m_currentUser->mUsersGroupArray().removeAll(groupUID);
    for (const auto& user : std::as_const(d.caches().m_users))
        user->mUsersGroupArray().removeAll(groupUID);
    d.caches().pruneRecordSearchIndex();
}

void TVXDataBase::convertForDeletedGroupUIDToUnfieldUID(const QString& groupUID, TVXResult* code)
{
    storechanges::GuardedChange changed(*this);
    TVXResult result = kTVXDone;
    try {
        if (!mCPcon)
            throw noConnection();
        {
            std::unique_ptr<sql::PreparedStatement> stmt(mCPcon->prepareStatement(kQueryRemoveUIDDeletedGroup));
            stmt->setString(1, kUnfiledUID.toStdString());
            stmt->setString(2, groupUID.toStdString());
            stmt->executeUpdate();
        }
        // The moved records come back as unfiled records.
        if (mLoader.readRecordTable() != kTVXDone)
            result = kTVXNotServerError;
        mCaches.pruneRecordSearchIndex();
        changed.add(storechanges::kRecords);
    } catch (const sql::SQLException& e) {
        // Reported so that a lost connection is noticed; the caller's code stays 1.
        (void)reportDatabaseError(e);
        result = kTVXNotServerError;
    } catch (const std::exception&) {
        result = kTVXNotServerError;
    }
    if (code)
        *code = result;
}

// --- types --------------------------------------------------------------------

TVXResult TVXDataBase::GroupTypeSteps::storeType(const TVXType& type, bool isNew, const TVXEventLogEntry& logRow,
                                                bool* logStored)
{
    // Every cipher is made and measured before anything is sent.
    std::array<QByteArray, kNumberOfFields + 1> ciphers;
    if (!tvxsql::readsBackAsWritten(type.mTypeName()))
        return kTVXStatementFailed;
    ciphers[0] = d.encryptString(type.mTypeName());
    const auto& getters = TVXType::getFunctionsArray();
    for (int i = 0; i < kNumberOfFields; ++i) {
        const QString field = (type.*getters[static_cast<size_t>(i)])();
        if (!tvxsql::readsBackAsWritten(field))
            return kTVXStatementFailed;
        ciphers[static_cast<size_t>(i) + 1] = d.encryptString(field);
    }
    for (const QByteArray& cipher : ciphers)
        if (!tvxsql::fitsTinyBlob(cipher))
            return kTVXStatementFailed;

    // Outside a batch: one call (an edit after its checks).
    const auto bindType = [&](sql::PreparedStatement& stmt, int first) {
        stmt.setString(first, type.mTypeUID().toStdString());
        tvxsql::bindBytes(stmt, first + 1, ciphers[0]);
        stmt.setInt(first + 2, type.mTypeIconID());
        stmt.setInt(first + 3, type.mTypeMask());
        for (int i = 0; i < kNumberOfFields; ++i)
            tvxsql::bindBytes(stmt, first + 4 + i, ciphers[static_cast<size_t>(i) + 1]);
        TVXEventLogStore::bindRow(stmt, first + 4 + kNumberOfFields, logRow);
    };
    bool called = false;
    tvxcalls::CallAnswer answer;
    TVXResult code = d.runOnConnection([&](sql::Connection& connection) {
        called = d.mayCall(connection);
        if (!called)
            return kTVXDone;
        if (isNew)
            called = d.callWrite(connection, kCallAddType, true, bindType, answer);
        else
            called = d.callLockedWrite(
                connection, TVXStaleCopies::lockKeyAndTypeText(), type.mTypeUID(),
                [&](sql::ResultSet& rs) {
                    // A copy older than the stored row changes nothing.
                    const auto known = d.mStaleCopies->mTypeDigests.constFind(type.mTypeUID());
                    return known == d.mStaleCopies->mTypeDigests.constEnd()
                                   || *known == TVXStaleCopies::typeDigestAt(rs, 2)
                               ? kTVXDone
                               : kTVXReloadFirst;
                },
                kCallReplaceType, bindType, answer);
        return answer.code;
    });
    if (called) {
        if (code == kTVXMasterPasswordMismatch)
            d.reportKeyRowChanged();
        if (code == kTVXDone) {
            settleLogRow(logRow, answer);
            *logStored = true;
            d.mStaleCopies->mTypeDigests.insert(
                type.mTypeUID(), tvxsql::typeDigest(ciphers[0], type.mTypeIconID(), type.mTypeMask(), ciphers.data() + 1));
        }
        return code;
    }
    code = d.runWriteTransaction([&](sql::Connection& connection) {
        // A copy older than the stored row changes nothing.
        if (!isNew)
            if (const TVXResult fresh = d.mStaleCopies->checkTypeNotStale(connection, type.mTypeUID()); fresh != kTVXDone)
                return fresh;
        std::unique_ptr<sql::PreparedStatement> stmt(
            connection.prepareStatement(isNew ? kQueryTypeInsert : kQueryUpdateType));
        std::vector<std::unique_ptr<tvxsql::BlobParameter>> blobs;
        for (const QByteArray& cipher : ciphers)
            blobs.push_back(tvxsql::blobStream(cipher));
        // Insert: UID, NAME, ICONID, MASKS, FIELD1..10. Update: NAME, ICONID,
        // MASKS, FIELD1..10, UID.
        const int first = isNew ? 2 : 1;
        stmt->setBlob(first, blobs[0]->stream());
        stmt->setInt(first + 1, type.mTypeIconID());
        stmt->setInt(first + 2, type.mTypeMask());
        for (int i = 0; i < kNumberOfFields; ++i)
            stmt->setBlob(first + 3 + i, blobs[static_cast<size_t>(i) + 1]->stream());
        stmt->setString(isNew ? 1 : 14, type.mTypeUID().toStdString());
        if (stmt->executeUpdate() == 0)
            return kTVXReloadFirst;
        return kTVXDone;
    });
    if (code == kTVXDone)
        d.mStaleCopies->mTypeDigests.insert(
            type.mTypeUID(), tvxsql::typeDigest(ciphers[0], type.mTypeIconID(), type.mTypeMask(), ciphers.data() + 1));
    return code;
}

TVXResult TVXDataBase::GroupTypeSteps::writeType(const std::shared_ptr<TVXType>& type, bool isNew)
{
    storechanges::GuardedChange changed(d);
    if (!type)
        return kTVXReloadFirst;
    const TVXEventLogEntry logRow = d.eventLog().eventLogger().entryNow(
        isNew ? kEventAddType : kEventEditType, type->mTypeName(), isNew ? kTypeAdded : kTypeEdited);
    bool logStored = false;
    const TVXResult code = storeType(*type, isNew, logRow, &logStored);
    if (code == kTVXDone) {
        const auto cached = d.caches().m_types.value(type->mTypeUID());
        d.caches().m_types.insert(type->mTypeUID(), type);
        if (!isNew)
            repointRecords(cached, type, &TVXRecord::mType, &TVXRecord::setMType);
    }
    const TVXEventLogEntry* stored = logStored ? &logRow : nullptr;
    if (isNew)
        return finish(changed, code, storechanges::kTypes, kEventAddType, type->mTypeName(), kTypeAdded, stored);
    return finish(changed, code, storechanges::kTypes | storechanges::kRecords, kEventEditType,
                  type->mTypeName(), kTypeEdited, stored);
}

TVXResult TVXDataBase::addType(std::shared_ptr<TVXType> type) { return GroupTypeSteps{*this}.writeType(type, true); }
TVXResult TVXDataBase::updateType(std::shared_ptr<TVXType> type) { return GroupTypeSteps{*this}.writeType(type, false); }

TVXResult TVXDataBase::deleteType(const TVXType& type)
{
    storechanges::GuardedChange changed(*this);
    const QString uid = type.mTypeUID();
    const TVXEventLogEntry logRow =
        mEventLogAccess.eventLogger().entryNow(kEventDeleteType, type.mTypeName(), kTypeDeleted);
    bool called = false;
    tvxcalls::CallAnswer answer;
    TVXResult code = runOnConnection([&](sql::Connection& connection) {
        called = mayCall(connection);
        if (called)
            called = callWrite(connection, kCallDeleteType, true,
                               [&](sql::PreparedStatement& stmt, int first) {
                                   stmt.setString(first, uid.toStdString());
                                   TVXEventLogStore::bindRow(stmt, first + 1, logRow);
                               },
                               answer);
        return called ? answer.code : kTVXDone;
    });
    if (!called)
        code = runWriteTransaction([&](sql::Connection& connection) {
            // The type's records go with it by the store's foreign key.
            return tvxsql::updateRowsFor(connection, kQueryDeleteType, uid) == 0 ? kTVXReloadFirst : kTVXDone;
        });
    else if (code == kTVXDone)
        GroupTypeSteps{*this}.settleLogRow(logRow, answer);
    if (code == kTVXDone) {
        mCaches.m_types.remove(uid);
        mCaches.m_records.removeIf([&uid](const auto& entry) {
            const auto& recordType = entry.value()->mType();
            return recordType && recordType->mTypeUID() == uid;
        });
        mCaches.pruneRecordSearchIndex();
    }
    return GroupTypeSteps{*this}.finish(changed, code, storechanges::kTypes | storechanges::kRecords,
                                        kEventDeleteType, type.mTypeName(), kTypeDeleted,
                                        called && code == kTVXDone ? &logRow : nullptr);
}

// --- duplicate names ------------------------------------------------------------

bool TVXDataBase::checkForGroupDuplicate(const QString& name)
{
    const auto guard = lockConnection(); // one thread at a time on the connection
    return isNameStored(*this, kQueryGroupNameLike, name);
}

bool TVXDataBase::checkForTypeDuplicate(const QString& name)
{
    const auto guard = lockConnection(); // one thread at a time on the connection
    return isNameStored(*this, kQueryTypeNameLike, name);
}
