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
#include "platform/core/MainThread.h"

#include <cppconn/connection.h>
#include <cppconn/exception.h>
#include <cppconn/prepared_statement.h>
#include <cppconn/resultset.h>

#include <QJsonArray>
#include <QJsonDocument>

#include <array>
#include <optional>
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

// The same test inside a write's own connection use: a server error passes on.
bool nameStoredOn(sql::Connection& connection, const char* queryFormat, const QByteArray& cipher)
{
    std::unique_ptr<sql::PreparedStatement> stmt(connection.prepareStatement(withCipherHex(queryFormat, cipher)));
    std::unique_ptr<sql::ResultSet> rs(stmt->executeQuery());
    return rs->next();
}

// A copy older than the stored row changes nothing; a row without a kept
// digest is written as before.
TVXResult freshAgainst(const std::optional<quint64>& known, const std::optional<quint64>& stored)
{
    return !known || (stored && *stored == *known) ? kTVXDone : kTVXReloadFirst;
}

} // namespace

// What a group or type write reads from memory, taken on the calling thread
// before the server part, so that the worker reads no cache; the server
// part's findings for the memory part.
struct TVXDataBase::GroupWrite {
    std::shared_ptr<BMGroup> group;
    bool isNew = false;
    bool checkName = false;
    bool cached = false;                   // an edit rewrites only a group the cache holds
    QStringList membersBefore;             // a refused write gives the sheet's copy back as it came
    std::optional<quint64> knownDigest;    // the stale-copy digest when the write was asked for
    TVXEventLogEntry logRow;
    QByteArray cipher;                     // the name's, once made
    bool logStored = false;
};

struct TVXDataBase::TypeWrite {
    std::shared_ptr<TVXType> type;
    bool isNew = false;
    bool checkName = false;
    std::optional<quint64> knownDigest;
    TVXEventLogEntry logRow;
    std::array<QByteArray, kNumberOfFields + 1> ciphers; // the name, then the ten field names
    bool logStored = false;
};

struct TVXDataBase::RemovalWrite {
    QString uid;
    QString name;
    bool cached = false;
    TVXEventLogEntry logRow;
    bool logStored = false;
};

// Group and type storage's own steps; they reach the manager's state through d.
// Each write is prepare (memory read), server part, memory part: in a row
// for the synchronous writers, split over the worker and the answer for
// the saves behind the window.
struct TVXDataBase::GroupTypeSteps {
    TVXDataBase& d;

    // Off the main thread (an import) the memory is read under the guard, as
    // the memory parts change it; nothing read there waits for the main thread.
    std::unique_lock<TVXConnectionGuard> guardMemoryRead() const
    {
        return platform::isMainThread() ? std::unique_lock<TVXConnectionGuard>() : d.lockConnection();
    }
    std::shared_ptr<GroupWrite> prepareGroup(const std::shared_ptr<BMGroup>& group, bool isNew, bool checkName);
    std::shared_ptr<TypeWrite> prepareType(const std::shared_ptr<TVXType>& type, bool isNew, bool checkName);
    std::shared_ptr<RemovalWrite> prepareRemoval(const QString& uid, const QString& name, bool cached,
                                                 const QString& event, const QString& successText);
    // The server parts; the event row goes with the write where it can.
    TVXResult storeGroup(GroupWrite& write);
    TVXResult storeType(TypeWrite& write);
    TVXResult removeGroup(RemovalWrite& write);
    TVXResult removeType(RemovalWrite& write);
    // The server part, then its memory part queued for the answer (at once outside a save).
    TVXResult writeGroup(const std::shared_ptr<GroupWrite>& write);
    TVXResult writeType(const std::shared_ptr<TypeWrite>& write);
    TVXResult writeGroupRemoval(const std::shared_ptr<RemovalWrite>& write);
    TVXResult writeTypeRemoval(const std::shared_ptr<RemovalWrite>& write);
    // The memory parts: the caches, the announcement and the event listing.
    void groupStored(GroupWrite& write, TVXResult code, storechanges::Announcement& changed);
    void typeStored(TypeWrite& write, TVXResult code, storechanges::Announcement& changed);
    void groupRemoved(RemovalWrite& write, TVXResult code, storechanges::Announcement& changed);
    void typeRemoved(RemovalWrite& write, TVXResult code, storechanges::Announcement& changed);
    // Runs a memory part once the server has answered: the guard held
    // meanwhile off the main thread (an import), its announcement after.
    template <class Write>
    void afterServer(const std::shared_ptr<Write>& write, TVXResult code,
                     void (GroupTypeSteps::*memoryPart)(Write&, TVXResult, storechanges::Announcement&));

    // A group's or type's add, or its edit under the row's lock after the
    // digest check, as one call; false when the store has no routines.
    bool callOnce(bool isNew, const char* addCall, const char* lockText, const char* replaceCall, const QString& uid,
                  const std::function<TVXResult(sql::ResultSet&)>& digestCheck, const CallBind& bind,
                  const TVXEventLogEntry& logRow, bool* logStored, TVXResult& code);
    // A refused event row of a call is stored its usual way (which reports why).
    void settleLogRow(const TVXEventLogEntry& logRow, const tvxcalls::CallAnswer& answer);
    void forgetDeletedGroup(const QString& groupUID);
    // Records keep pointing at the copy the cache holds: those holding the
    // replaced one take its replacement.
    template <class T>
    void repointRecords(const std::shared_ptr<T>& replaced, const std::shared_ptr<T>& replacement,
                        const std::shared_ptr<T>& (TVXRecord::*get)() const,
                        void (TVXRecord::*set)(std::shared_ptr<T>));
    // A command's end: what it changed announced when it was done, the outcome logged either way.
    // `storedLogRow`: the outcome's row the write stored with itself, only listed.
    void finish(storechanges::Announcement& changed, TVXResult code, unsigned kinds, const QString& event,
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

template <class Write>
void TVXDataBase::GroupTypeSteps::afterServer(
    const std::shared_ptr<Write>& write, TVXResult code,
    void (GroupTypeSteps::*memoryPart)(Write&, TVXResult, storechanges::Announcement&))
{
    d.afterServer([&db = d, write, code, memoryPart] {
        storechanges::Announcement changed(&db.caches(), db.connectionGuard());
        std::unique_lock<TVXConnectionGuard> guard;
        if (!platform::isMainThread())
            guard = db.lockConnection();
        GroupTypeSteps steps{db};
        (steps.*memoryPart)(*write, code, changed);
    });
}

void TVXDataBase::GroupTypeSteps::finish(storechanges::Announcement& changed, TVXResult code, unsigned kinds,
                                         const QString& event, const QString& name, const QString& successText,
                                         const TVXEventLogEntry* storedLogRow)
{
    if (code == kTVXDone)
        changed.add(kinds);
    if (storedLogRow && code == kTVXDone)
        d.eventLog().eventLogger().list(*storedLogRow);
    else if (d.mAnsweringSave) // a save's memory part waits on no server
        d.eventLog().eventLogger().addLogEventBehind(event, name, TVXEventLogger::actionForResult(code, successText));
    else
        (void)d.eventLog().eventLogger().logOutcome(event, name, code, successText);
}

void TVXDataBase::GroupTypeSteps::settleLogRow(const TVXEventLogEntry& logRow, const tvxcalls::CallAnswer& answer)
{
    if (answer.logRefused)
        (void)d.eventLog().saveLogsArrayToDatabase(logRow);
}

bool TVXDataBase::GroupTypeSteps::callOnce(bool isNew, const char* addCall, const char* lockText,
                                           const char* replaceCall, const QString& uid,
                                           const std::function<TVXResult(sql::ResultSet&)>& digestCheck,
                                           const CallBind& bind, const TVXEventLogEntry& logRow, bool* logStored,
                                           TVXResult& code)
{
    bool called = false;
    tvxcalls::CallAnswer answer;
    code = d.runOnConnection([&](sql::Connection& connection) {
        called = d.mayCall(connection);
        if (!called)
            return kTVXDone;
        if (isNew)
            called = d.callWrite(connection, addCall, true, bind, answer);
        else
            called = d.callLockedWrite(connection, lockText, uid, digestCheck, replaceCall, bind, answer);
        return answer.code;
    });
    if (!called)
        return false;
    if (code == kTVXMasterPasswordMismatch)
        d.reportKeyRowChanged();
    if (code == kTVXDone) {
        settleLogRow(logRow, answer);
        *logStored = true;
    }
    return true;
}

// --- groups -------------------------------------------------------------------

std::shared_ptr<TVXDataBase::GroupWrite> TVXDataBase::GroupTypeSteps::prepareGroup(const std::shared_ptr<BMGroup>& group,
                                                                                bool isNew, bool checkName)
{
    auto write = std::make_shared<GroupWrite>();
    write->group = group;
    write->isNew = isNew;
    write->checkName = checkName;
    if (!group)
        return write;
    const auto guard = guardMemoryRead();
    const QString uid = group->mGroupUID();
    write->cached = isNew || d.caches().m_groups.contains(uid);
    write->logRow = d.eventLog().eventLogger().entryNow(isNew ? kEventAddGroup : kEventEditGroup,
                                                        group->mGroupName(), kEventActionSuccess);
    if (const auto known = d.mStaleCopies->mGroupDigests.constFind(uid); known != d.mStaleCopies->mGroupDigests.constEnd())
        write->knownDigest = *known;
    write->membersBefore = group->mUserMembersArray();
    if (!write->cached)
        return write;
    // The lists as they will stand: a new group counts the signed-in user
    // among its members, and its sub-groups' members join it.
    if (isNew)
        group->addMember(*d.caches().m_currentUser);
    group->setMUserMembersArray(d.membership().widenedMembers(*group));
    return write;
}

TVXResult TVXDataBase::GroupTypeSteps::storeGroup(GroupWrite& write)
{
    if (!write.group)
        return kTVXReloadFirst;
    if (!write.cached)
        return kTVXNotServerError; // only a group the cache holds is rewritten
    BMGroup& group = *write.group;
    const bool isNew = write.isNew;
    if (!tvxsql::readsBackAsWritten(group.mGroupName()))
        return kTVXStatementFailed;
    write.cipher = d.encryptString(group.mGroupName());
    const QByteArray& cipher = write.cipher;
    if (!tvxsql::fitsTinyBlob(cipher))
        return kTVXStatementFailed;
    if (write.checkName) {
        bool taken = false;
        if (const TVXResult asked = d.runOnConnection([&](sql::Connection& connection) {
                taken = nameStoredOn(connection, kQueryGroupNameLike, cipher);
                return kTVXDone;
            });
            asked != kTVXDone)
            return asked;
        if (taken)
            return kTVXNameTaken;
    }

    // Outside a batch: one call with the lists as they will stand (an edit
    // after its checks).
    const std::string members = identifierArray(group.mUserMembersArray());
    const std::string subGroups = identifierArray(group.mSubGroupsUID());
    const auto bindGroup = [&](sql::PreparedStatement& stmt, int first) {
        stmt.setString(first, group.mGroupUID().toStdString());
        tvxsql::bindBytes(stmt, first + 1, cipher);
        stmt.setUInt(first + 2, group.mRecordLevelPermissions());
        stmt.setBoolean(first + 3, group.mPreferencePermissions());
        stmt.setString(first + 4, members);
        stmt.setString(first + 5, subGroups);
        TVXEventLogStore::bindRow(stmt, first + 6, write.logRow);
    };
    TVXResult code = kTVXDone;
    if (callOnce(
            isNew, kCallAddGroup, TVXStaleCopies::lockKeyAndGroupText(), kCallReplaceGroup, group.mGroupUID(),
            [&](sql::ResultSet& rs) { return freshAgainst(write.knownDigest, TVXStaleCopies::groupDigestAt(rs, 2)); },
            bindGroup, write.logRow, &write.logStored, code))
        return code;

    // The statements, one by one. The membership writers join this
    // transaction: a group never stands on the server without its lists,
    // nor with half of them.
    return d.runWriteTransaction([&](sql::Connection& connection) {
        if (!isNew)
            if (const TVXResult fresh = freshAgainst(
                    write.knownDigest, TVXStaleCopies::lockedGroupDigest(connection, group.mGroupUID()));
                fresh != kTVXDone)
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
        const TVXResult lists = d.membership().writeUserListForGroup(group);
        return lists == kTVXDone ? d.membership().insertSubgroupListForGroup(group) : lists;
    });
}

void TVXDataBase::GroupTypeSteps::groupStored(GroupWrite& write, TVXResult code, storechanges::Announcement& changed)
{
    if (!write.group)
        return;
    BMGroup& group = *write.group;
    const QString uid = group.mGroupUID();
    if (code == kTVXDone) {
        // The stored row's digest from now on.
        d.mStaleCopies->mGroupDigests.insert(
            uid, tvxsql::groupDigest(write.cipher, group.mRecordLevelPermissions(), group.mPreferencePermissions()));
        // The server now counts the signed-in user among a new group's members.
        if (write.isNew && !d.caches().m_currentUser->mUsersGroupArray().contains(uid))
            d.caches().m_currentUser->mUsersGroupArray().append(uid);
        const auto cached = d.caches().m_groups.value(uid);
        d.caches().m_groups.insert(uid, write.group);
        if (!write.isNew)
            repointRecords(cached, write.group, &TVXRecord::mGroup, &TVXRecord::setMGroup);
    } else {
        group.setMUserMembersArray(write.membersBefore);
    }
    const TVXEventLogEntry* stored = write.logStored ? &write.logRow : nullptr;
    if (write.isNew)
        finish(changed, code, storechanges::kGroups, kEventAddGroup, group.mGroupName(), kEventActionSuccess, stored);
    else
        finish(changed, code, storechanges::kGroups | storechanges::kRecords, kEventEditGroup, group.mGroupName(),
               kEventActionSuccess, stored);
}

TVXResult TVXDataBase::GroupTypeSteps::writeGroup(const std::shared_ptr<GroupWrite>& write)
{
    const TVXResult code = storeGroup(*write);
    if (write->group)
        afterServer(write, code, &GroupTypeSteps::groupStored);
    return code;
}

TVXResult TVXDataBase::addGroup(std::shared_ptr<BMGroup> group)
{
    GroupTypeSteps steps{*this};
    return steps.writeGroup(steps.prepareGroup(group, true, false));
}

TVXResult TVXDataBase::updateGroup(std::shared_ptr<BMGroup> group)
{
    GroupTypeSteps steps{*this};
    return steps.writeGroup(steps.prepareGroup(group, false, false));
}

void TVXDataBase::saveGroupBehindWindow(std::shared_ptr<BMGroup> group, bool isNew, bool checkName,
                                        WriteAnswer answer)
{
    const auto write = GroupTypeSteps{*this}.prepareGroup(group, isNew, checkName);
    saveBehindWindow([this, write] { return GroupTypeSteps{*this}.writeGroup(write); }, std::move(answer));
}

std::shared_ptr<TVXDataBase::RemovalWrite> TVXDataBase::GroupTypeSteps::prepareRemoval(
    const QString& uid, const QString& name, bool cached, const QString& event, const QString& successText)
{
    auto write = std::make_shared<RemovalWrite>();
    write->uid = uid;
    write->name = name;
    write->cached = cached;
    write->logRow = d.eventLog().eventLogger().entryNow(event, name, successText);
    return write;
}

TVXResult TVXDataBase::GroupTypeSteps::removeGroup(RemovalWrite& write)
{
    if (!write.cached)
        return kTVXReloadFirst;
    const QString& uid = write.uid;
    bool called = false;
    tvxcalls::CallAnswer answer;
    TVXResult code = d.runOnConnection([&](sql::Connection& connection) {
        called = d.mayCall(connection);
        if (called)
            called = d.callWrite(connection, kCallDeleteGroup, true,
                                 [&](sql::PreparedStatement& stmt, int first) {
                                     stmt.setString(first, uid.toStdString());
                                     stmt.setString(first + 1, kUnfiledUID.toStdString());
                                     TVXEventLogStore::bindRow(stmt, first + 2, write.logRow);
                                 },
                                 answer);
        return called ? answer.code : kTVXDone;
    });
    if (called) {
        if (code == kTVXDone) {
            settleLogRow(write.logRow, answer);
            write.logStored = true;
        }
        return code;
    }
    if (code != kTVXDone)
        return code;
    return d.runWriteTransaction([&](sql::Connection& connection) {
        std::unique_ptr<sql::PreparedStatement> stmt(connection.prepareStatement(kQueryGroupDelete));
        stmt->setString(1, uid.toStdString());
        // The group's records, members and own sub-group rows go with it
        // by the store's foreign keys.
        if (stmt->executeUpdate() == 0)
            return kTVXReloadFirst;
        std::unique_ptr<sql::PreparedStatement> references(connection.prepareStatement(kQueryDeleteFromSubGroupLists));
        references->setString(1, uid.toStdString());
        references->setString(2, kUnfiledUID.toStdString());
        references->executeUpdate();
        return kTVXDone;
    });
}

void TVXDataBase::GroupTypeSteps::groupRemoved(RemovalWrite& write, TVXResult code, storechanges::Announcement& changed)
{
    if (code == kTVXDone)
        forgetDeletedGroup(write.uid);
    finish(changed, code, storechanges::kGroups | storechanges::kRecords, kEventDeleteGroup, write.name,
           kEventActionSuccess, write.logStored ? &write.logRow : nullptr);
}

TVXResult TVXDataBase::GroupTypeSteps::writeGroupRemoval(const std::shared_ptr<RemovalWrite>& write)
{
    const TVXResult code = removeGroup(*write);
    afterServer(write, code, &GroupTypeSteps::groupRemoved);
    return code;
}

TVXResult TVXDataBase::deleteGroup(const BMGroup& group)
{
    GroupTypeSteps steps{*this};
    return steps.writeGroupRemoval(steps.prepareRemoval(group.mGroupUID(), group.mGroupName(),
                                                        mCaches.m_groups.contains(group.mGroupUID()),
                                                        kEventDeleteGroup, kEventActionSuccess));
}

void TVXDataBase::deleteGroupBehindWindow(const BMGroup& group, WriteAnswer answer)
{
    const auto write = GroupTypeSteps{*this}.prepareRemoval(group.mGroupUID(), group.mGroupName(),
                                                            mCaches.m_groups.contains(group.mGroupUID()),
                                                            kEventDeleteGroup, kEventActionSuccess);
    saveBehindWindow([this, write] { return GroupTypeSteps{*this}.writeGroupRemoval(write); }, std::move(answer));
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

std::shared_ptr<TVXDataBase::TypeWrite> TVXDataBase::GroupTypeSteps::prepareType(const std::shared_ptr<TVXType>& type,
                                                                              bool isNew, bool checkName)
{
    auto write = std::make_shared<TypeWrite>();
    write->type = type;
    write->isNew = isNew;
    write->checkName = checkName;
    if (!type)
        return write;
    const auto guard = guardMemoryRead();
    write->logRow = d.eventLog().eventLogger().entryNow(isNew ? kEventAddType : kEventEditType, type->mTypeName(),
                                                        isNew ? kTypeAdded : kTypeEdited);
    if (const auto known = d.mStaleCopies->mTypeDigests.constFind(type->mTypeUID());
        known != d.mStaleCopies->mTypeDigests.constEnd())
        write->knownDigest = *known;
    return write;
}

TVXResult TVXDataBase::GroupTypeSteps::storeType(TypeWrite& write)
{
    if (!write.type)
        return kTVXReloadFirst;
    const TVXType& type = *write.type;
    const bool isNew = write.isNew;
    // Every cipher is made and measured before anything is sent.
    auto& ciphers = write.ciphers;
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
    if (write.checkName) {
        bool taken = false;
        if (const TVXResult asked = d.runOnConnection([&](sql::Connection& connection) {
                taken = nameStoredOn(connection, kQueryTypeNameLike, ciphers[0]);
                return kTVXDone;
            });
            asked != kTVXDone)
            return asked;
        if (taken)
            return kTVXNameTaken;
    }

    // Outside a batch: one call (an edit after its checks).
    const auto bindType = [&](sql::PreparedStatement& stmt, int first) {
        stmt.setString(first, type.mTypeUID().toStdString());
        tvxsql::bindBytes(stmt, first + 1, ciphers[0]);
        stmt.setInt(first + 2, type.mTypeIconID());
        stmt.setInt(first + 3, type.mTypeMask());
        for (int i = 0; i < kNumberOfFields; ++i)
            tvxsql::bindBytes(stmt, first + 4 + i, ciphers[static_cast<size_t>(i) + 1]);
        TVXEventLogStore::bindRow(stmt, first + 4 + kNumberOfFields, write.logRow);
    };
    TVXResult code = kTVXDone;
    if (callOnce(
            isNew, kCallAddType, TVXStaleCopies::lockKeyAndTypeText(), kCallReplaceType, type.mTypeUID(),
            [&](sql::ResultSet& rs) { return freshAgainst(write.knownDigest, TVXStaleCopies::typeDigestAt(rs, 2)); },
            bindType, write.logRow, &write.logStored, code))
        return code;
    return d.runWriteTransaction([&](sql::Connection& connection) {
        if (!isNew)
            if (const TVXResult fresh =
                    freshAgainst(write.knownDigest, TVXStaleCopies::lockedTypeDigest(connection, type.mTypeUID()));
                fresh != kTVXDone)
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
}

void TVXDataBase::GroupTypeSteps::typeStored(TypeWrite& write, TVXResult code, storechanges::Announcement& changed)
{
    if (!write.type)
        return;
    const auto& type = write.type;
    if (code == kTVXDone) {
        d.mStaleCopies->mTypeDigests.insert(type->mTypeUID(),
                                            tvxsql::typeDigest(write.ciphers[0], type->mTypeIconID(),
                                                               type->mTypeMask(), write.ciphers.data() + 1));
        const auto cached = d.caches().m_types.value(type->mTypeUID());
        d.caches().m_types.insert(type->mTypeUID(), type);
        if (!write.isNew)
            repointRecords(cached, type, &TVXRecord::mType, &TVXRecord::setMType);
    }
    const TVXEventLogEntry* stored = write.logStored ? &write.logRow : nullptr;
    if (write.isNew)
        finish(changed, code, storechanges::kTypes, kEventAddType, type->mTypeName(), kTypeAdded, stored);
    else
        finish(changed, code, storechanges::kTypes | storechanges::kRecords, kEventEditType, type->mTypeName(),
               kTypeEdited, stored);
}

TVXResult TVXDataBase::GroupTypeSteps::writeType(const std::shared_ptr<TypeWrite>& write)
{
    const TVXResult code = storeType(*write);
    if (write->type)
        afterServer(write, code, &GroupTypeSteps::typeStored);
    return code;
}

TVXResult TVXDataBase::addType(std::shared_ptr<TVXType> type)
{
    GroupTypeSteps steps{*this};
    return steps.writeType(steps.prepareType(type, true, false));
}

TVXResult TVXDataBase::updateType(std::shared_ptr<TVXType> type)
{
    GroupTypeSteps steps{*this};
    return steps.writeType(steps.prepareType(type, false, false));
}

void TVXDataBase::saveTypeBehindWindow(std::shared_ptr<TVXType> type, bool isNew, bool checkName, WriteAnswer answer)
{
    const auto write = GroupTypeSteps{*this}.prepareType(type, isNew, checkName);
    saveBehindWindow([this, write] { return GroupTypeSteps{*this}.writeType(write); }, std::move(answer));
}

TVXResult TVXDataBase::GroupTypeSteps::removeType(RemovalWrite& write)
{
    const QString& uid = write.uid;
    bool called = false;
    tvxcalls::CallAnswer answer;
    TVXResult code = d.runOnConnection([&](sql::Connection& connection) {
        called = d.mayCall(connection);
        if (called)
            called = d.callWrite(connection, kCallDeleteType, true,
                                 [&](sql::PreparedStatement& stmt, int first) {
                                     stmt.setString(first, uid.toStdString());
                                     TVXEventLogStore::bindRow(stmt, first + 1, write.logRow);
                                 },
                                 answer);
        return called ? answer.code : kTVXDone;
    });
    if (!called)
        return d.runWriteTransaction([&](sql::Connection& connection) {
            // The type's records go with it by the store's foreign key.
            return tvxsql::updateRowsFor(connection, kQueryDeleteType, uid) == 0 ? kTVXReloadFirst : kTVXDone;
        });
    if (code == kTVXDone) {
        settleLogRow(write.logRow, answer);
        write.logStored = true;
    }
    return code;
}

void TVXDataBase::GroupTypeSteps::typeRemoved(RemovalWrite& write, TVXResult code, storechanges::Announcement& changed)
{
    if (code == kTVXDone) {
        const QString& uid = write.uid;
        d.caches().m_types.remove(uid);
        d.caches().m_records.removeIf([&uid](const auto& entry) {
            const auto& recordType = entry.value()->mType();
            return recordType && recordType->mTypeUID() == uid;
        });
        d.caches().pruneRecordSearchIndex();
    }
    finish(changed, code, storechanges::kTypes | storechanges::kRecords, kEventDeleteType, write.name, kTypeDeleted,
           write.logStored ? &write.logRow : nullptr);
}

TVXResult TVXDataBase::GroupTypeSteps::writeTypeRemoval(const std::shared_ptr<RemovalWrite>& write)
{
    const TVXResult code = removeType(*write);
    afterServer(write, code, &GroupTypeSteps::typeRemoved);
    return code;
}

TVXResult TVXDataBase::deleteType(const TVXType& type)
{
    GroupTypeSteps steps{*this};
    return steps.writeTypeRemoval(
        steps.prepareRemoval(type.mTypeUID(), type.mTypeName(), true, kEventDeleteType, kTypeDeleted));
}

void TVXDataBase::deleteTypeBehindWindow(const TVXType& type, WriteAnswer answer)
{
    const auto write =
        GroupTypeSteps{*this}.prepareRemoval(type.mTypeUID(), type.mTypeName(), true, kEventDeleteType, kTypeDeleted);
    saveBehindWindow([this, write] { return GroupTypeSteps{*this}.writeTypeRemoval(write); }, std::move(answer));
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
