// Loading and reloading: the user's row, then groups, types and records into
// the caches. Workers run while the main thread waits behind its progress panel.
#include "crypto/DBEncrypter.h"
#include "model/BMGroup.h"
#include "model/TVXRecord.h"
#include "model/TVXType.h"
#include "model/TVXUID.h"
#include "model/TVXUser.h"
#include "platform/core/ApplicationHooks.h"
#include "platform/core/BackgroundTask.h"
#include "platform/core/MainThread.h"
#include "store/schema/QueryConstants.h"
#include "store/loading/ParallelFor.h"
#include "store/loading/RecordSearch.h"
#include "store/session/StatementHelpers.h"
#include "store/attachments/AttachmentStore.h"
#include "store/loading/RowDigest.h"
#include "store/writers/StaleCopies.h"
#include "store/session/StatementRunner.h"
#include "store/TVXDataBase.h"

#include <cppconn/connection.h>
#include <cppconn/exception.h>
#include <cppconn/prepared_statement.h>
#include <cppconn/resultset.h>
#include <cppconn/statement.h>

#include <QSet>

#include <string.h> // explicit_bzero

#include <array>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <exception>
#include <functional>
#include <future>
#include <list>
#include <mutex>
#include <utility>
#include <vector>

namespace {

// The attachment header alone: the contents stay on the server until extracted.
constexpr char kQueryAttachmentHeaders[] =
    "SELECT RECORDID, ATTACHMENTNAME, ENCRYPTIONKEY FROM ATTACHMENTTABLE";
constexpr char kQueryAttachmentHeader[] =
    "SELECT RECORDID, ATTACHMENTNAME, ENCRYPTIONKEY FROM ATTACHMENTTABLE WHERE RECORDID=?";
constexpr char kQueryAllCustomTypes[] = "select * from CUSTOMTYPETABLE";
constexpr char kQueryAllSubGroups[] = "SELECT GROUPID, SUBGROUPID FROM GROUPSUBGROUPTABLE ORDER BY GROUPID, SUBGROUPID";

constexpr int kDefaultIcon = 31;

// Appends a stored value's plain bytes up to the first NUL to `out`, as
// TVXValueCiphers::decryptWith reads them; false where it gives the null text
// (a value that cannot be deciphered).
bool appendPlainText(const CDBEncrypter* encrypter, QByteArrayView stored, QByteArray& out)
{
    if (stored.isEmpty())
        return true;
    const qsizetype at = out.size();
    if (!encrypter) {
        const qsizetype nul = stored.indexOf('\0');
        out.append(nul < 0 ? stored : stored.first(nul));
        return true;
    }
    constexpr qsizetype kBlock = 16;
    if (stored.size() % kBlock != 0 || !encrypter->IsKeyInit())
        return false;
    out.resize(at + stored.size());
    try {
        encrypter->DecryptECB(stored.constData(), out.data() + at, size_t(stored.size()));
    } catch (...) {
        explicit_bzero(out.data() + at, size_t(stored.size()));
        out.resize(at);
        return false;
    }
    const void* nul = std::memchr(out.constData() + at, '\0', size_t(stored.size()));
    if (nul) {
        const qsizetype end = static_cast<const char*>(nul) - out.constData();
        explicit_bzero(out.data() + end, size_t(out.size() - end));
        out.resize(end);
    }
    return true;
}

using tvxsql::noConnection;

template <class Fn> void onMain(Fn fn)
{
    platform::performOnMainThreadAndWait([&fn] {
        if (auto* hooks = platform::applicationHooks())
            fn(*hooks);
    });
}

} // namespace

// The load's own steps; they reach the manager's state through d.
struct TVXDataBase::LoadSteps {
    TVXDataBase& d;
    void readMembershipLists(TVXResult* code);
    void readCustomTypes(TVXRecordCache& records);
    void readAttachmentHeaders(TVXRecordCache& records, TVXResult* code);
    std::shared_ptr<TVXType> customTypeFromRow(sql::ResultSet& rs) const;
};

namespace {

} // namespace

// A user row with its groups, in the order their own read gives them.
#define TVX_USER_ROW_WITH_GROUPS                                                                                 \
    "SELECT u.USERID, u.USERNAME, u.PLATFORMNAME, u.GROUPPERMISSION, u.TYPEPERMISSION, u.RECORDPERMISSION, "     \
    "u.DATAPERMISSION, u.CANCHANGEPASSWORD, u.ISACCOUNTDISABLED, "                                               \
    "(SELECT GROUP_CONCAT(m.GROUPID ORDER BY m.GROUPID SEPARATOR ',') FROM USERGROUPTABLE m "                    \
    "WHERE m.USERID = u.USERID) AS GROUPIDS "                                                                    \
    "FROM USERTABLE u WHERE u.USERID = "
// The account name's row is the first, as getUserIDForName finds it.
const char TVXStoreLoader::kQueryUserRowForName[] =
    TVX_USER_ROW_WITH_GROUPS "(SELECT USERID FROM USERTABLE WHERE USERNAME = ? LIMIT 1) LIMIT 1";
const char TVXStoreLoader::kQueryUserRowForID[] = TVX_USER_ROW_WITH_GROUPS "? LIMIT 1";
#undef TVX_USER_ROW_WITH_GROUPS

namespace {

// The signed-in user's fields from a row of the user table's readable columns.
void fillUser(TVXUser& user, sql::ResultSet& rs)
{
    user.setMUserID(QString::fromStdString(rs.getString("USERID").asStdString()));
    user.setMUsername(QString::fromStdString(rs.getString("USERNAME").asStdString()));
    user.setMPlatformName(rs.isNull("PLATFORMNAME") ? QStringLiteral("")
                                                    : QString::fromStdString(rs.getString("PLATFORMNAME").asStdString()));
    user.setMGroupPermissionsBit(static_cast<uint16_t>(rs.getInt("GROUPPERMISSION")));
    user.setMTypePermissionsBit(static_cast<uint16_t>(rs.getInt("TYPEPERMISSION")));
    user.setMRecordPermissionsBit(static_cast<uint16_t>(rs.getInt("RECORDPERMISSION")));
    user.setMDataPermissionsBit(static_cast<uint16_t>(rs.getInt("DATAPERMISSION")));
    user.setMIsNotAllowedToChangePassword(!rs.getBoolean("CANCHANGEPASSWORD"));
    user.setMIsAccountDisabled(false);
}

// The signed-in user from the row `query` finds for `key`, kept in `rs` for
// its other columns. No row means the account was removed from the store (a
// server account alone must not log in with default rights).
TVXResult readUserRow(TVXReadAhead& reads, sql::Connection* connection, const char* query, const QString& key,
                      TVXUser& user, tvxsql::Rows& rs)
{
    if (!connection)
        throw noConnection();
    rs = reads.rowsFor(*connection, query, key);
    if (!rs->next())
        return kTVXAccountDeleted;
    if (rs->getBoolean("ISACCOUNTDISABLED"))
        return kTVXAccountDisabled;
    fillUser(user, *rs);
    return kTVXDone;
}

} // namespace

// The signed-in user with its groups from the row `query` finds for `key`.
TVXResult TVXStoreLoader::readUserWithGroups(const char* query, const QString& key)
{
    tvxsql::Rows rs;
    TVXUser& user = *mDatabase.mCaches.m_currentUser;
    if (const TVXResult code = readUserRow(mDatabase.mReadAhead, mDatabase.mCPcon.get(), query, key, user, rs);
        code != kTVXDone)
        return code;
    const QString groups = rs->isNull("GROUPIDS") ? QString() : tvxsql::textColumn(*rs, 10);
    user.setMUsersGroupArray(groups.split(QLatin1Char(','), Qt::SkipEmptyParts));
    return kTVXDone;
}

TVXResult TVXStoreLoader::readUserForName(const QString& accountName)
{
    return readUserWithGroups(kQueryUserRowForName, accountName);
}

QString TVXStoreLoader::getUserIDForName(const QString& accountName, TVXResult* code)
{
    (void)code; // not written: a missing row answers null
    if (!mDatabase.mCPcon)
        throw noConnection();
    const auto rs = tvxsql::rowsFor(*mDatabase.mCPcon, kQueryGetUserID, accountName);
    if (!rs->next())
        return QString();
    return tvxsql::textColumn(*rs, 1);
}

TVXResult TVXStoreLoader::readAllSavedRecordsForUserWithUserPrimaryNameID(const QString& userID)
{
    return readUserWithGroups(kQueryUserRowForID, userID);
}

TVXResult TVXDataBase::initUserDetails(const QString& accountName, const QString& password)
{
    TVXResult code = kTVXDone;
    try {
        const auto guard = lockConnection(); // an error found under it is handed on once released
        code = mLoader.readUserForName(accountName);
        mReadAhead.forgetFetched(); // read at the log-in, for this call only
    } catch (const sql::SQLException& e) {
        code = reportDatabaseError(e, mapDBErrorCode(serverErrorNumber(e)));
    }
    // The lock panel checks against the password the server has just accepted,
    // never against the stored copy, which others may have written.
    if (code == kTVXDone)
        mCaches.m_currentUser->setMPassword(password);
    mConnectionErrCode.store(code);
    if (code != kTVXDone) {
        endClientThreadState();
        mIsConnectionComplete.store(true);
        storehooks::notifyConnectionComplete();
    }
    return code;
}

// The load's reads in the order its readers take them.
void TVXDataBase::sendLoadReads(bool withPreferences)
{
    if (!mCPcon)
        return; // the first reader reports the missing connection
    const QString userID = mCaches.m_currentUser->mUserID();
    std::vector<TVXReadAhead::Read> reads{{kQueryIcons},
                                          {kQueryGroupNotPersonal},
                                          {kQueryAllGroupMembers},
                                          {kQueryAllSubGroups},
                                          {kQueryTypes},
                                          {kQueryRecords, QString(), true},
                                          {kQueryAllCustomTypes, QString(), true},
                                          {kQueryAttachmentHeaders}};
    for (auto& more : {TVXPersonalAccess::loadReads(userID), TVXAccountAdminAccess::loadReads(),
                       withPreferences ? TVXPreferences::loadReads(userID) : std::vector<TVXReadAhead::Read>{}})
        reads.insert(reads.end(), more.begin(), more.end());
    mReadAhead.send(*mCPcon, lockConnection(), std::move(reads));
}

void TVXDataBase::dropLoadReads() noexcept
{
    try {
        mReadAhead.drop();
    } catch (...) {
        // the failure was met and is reported already
    }
}

TVXResult TVXDataBase::loadDataBase()
{
    TVXResult code = kTVXDone;
    mIsLoadingComplete.store(false);
    if (!mReadRecords.load()) {
        try {
            // Every read below goes out at once: a distant server is asked once,
            // not once per read. Each reader then takes its rows in this order.
            sendLoadReads();
            // Custom icons are read first (they decide the icons of custom types).
            mIconsAccess.getExternalIcons();
            code = mLoader.readCatagoryTable();
            if (code == kTVXDone)
                code = mLoader.readTypesTable();
            if (code == kTVXDone)
                code = mLoader.readRecordTable();
            // Whatever the code, the personal group and personal records; before
            // the preferences, whose font check waits for the main thread.
            (void)mPersonalAccess.readPersonalGroup(); // always 0: its failures throw
            TVXResult personalCode = kTVXDone;
            mPersonalAccess.readUserPersonalRecords(mCaches.m_currentUser->mUserID(), true, &personalCode);
            if (code == kTVXDone)
                mAccountAdminAccess.readUserTableIfErrorReturnCode(&code);
            if (code == kTVXDone)
                mPreferences.readUserPreferenceForTableForUser(*mCaches.m_currentUser, &code);
            if (code == kTVXDone)
                code = personalCode;
            mReadAhead.drop();
        } catch (const sql::SQLException& e) {
            dropLoadReads();
            code = mapDBErrorCode(serverErrorNumber(e));
        } catch (const std::exception&) {
            dropLoadReads();
            code = kTVXStatementFailed;
        }
        mReadRecords.store(true);
        endClientThreadState();
    }
    mConnectionErrCode.store(code);
    mIsLoadingComplete.store(true);
    return code;
}

TVXResult TVXDataBase::reloadDatabase()
{
    mWriteBehind->flush(); // what the clicks left to write is read back below
    mConnectionErrCode.store(kTVXDone);
    mIsDataReloaded.store(true);
    TVXResult code = kTVXDone;
    const auto failed = [&code](TVXResult met) {
        if (code == kTVXDone)
            code = met; // the first failure is the one reported
        onMain([code](platform::ApplicationHooks& hooks) { hooks.reloadFailed(resultNumber(code)); });
    };
    try {
        if (!mCPcon)
            throw noConnection();
        const QString userID = mCaches.m_currentUser->mUserID();
        {
            // What decides whether to go on, with the master-password row for
            // the re-keying, asked together; nothing of it outlives this step.
            const auto guard = lockConnection();
            const struct Forget {
                TVXReadAhead& reads;
                ~Forget() { reads.forgetFetched(); }
            } forget{mReadAhead};
            mReadAhead.fetchAll(*mCPcon, {{TVXStoreLoader::kQueryUserRowForID, userID}, {kQuerySelectDatabaseInfoTable}});
            code = mLoader.readAllSavedRecordsForUserWithUserPrimaryNameID(userID);
            if (code == kTVXDone) {
                // Re-key from the store: the master password may have been changed by another client.
                mCiphers.createEncrypter(QString());
                mCiphers.createEncrypter(retriveMasterPassword());
            }
        }
        if (code == kTVXAccountDisabled || code == kTVXAccountDeleted) {
            onMain([code](platform::ApplicationHooks& hooks) { hooks.accountRefusedDuringReload(resultNumber(code)); });
            endClientThreadState();
            mIsDataReloaded.store(false);
            mConnectionErrCode.store(code);
            return code;
        }

        // The rest at once, as the load sends it, but for the preferences and
        // recent lists: read again, they would undo what the user changed in
        // the window since.
        sendLoadReads(false);
        mIconsAccess.getExternalIcons();
        if (code == kTVXDone)
            code = mLoader.readCatagoryTable();
        if (code == kTVXDone)
            code = mLoader.readTypesTable();
        if (code == kTVXDone)
            code = mLoader.readRecordTable();
        (void)mPersonalAccess.readPersonalGroup(); // always 0: its failures throw
        TVXResult personalCode = kTVXDone;
        mPersonalAccess.readUserPersonalRecords(userID, true, &personalCode);
        if (code == kTVXDone)
            code = personalCode;
        if (code == kTVXDone)
            mAccountAdminAccess.readUserTableIfErrorReturnCode(&code);
        mReadAhead.drop();
        onMain([](platform::ApplicationHooks& hooks) { hooks.finishReloadingData(); });
        onMain([](platform::ApplicationHooks& hooks) { hooks.updateApplicationUIForCurrectPermissions(); });
        // What was read is shown; that it is not all of it must still be said.
        if (code != kTVXDone)
            failed(code);
    } catch (const sql::SQLException& e) {
        dropLoadReads();
        failed(mapDBErrorCode(serverErrorNumber(e)));
    } catch (const std::exception&) {
        dropLoadReads();
        failed(kTVXStatementFailed);
    }
    endClientThreadState();
    mIsDataReloaded.store(false);
    mConnectionErrCode.store(code);
    return code;
}

TVXResult TVXStoreLoader::readCatagoryTable()
{
    if (mDatabase.mIsDataReloaded.load()) {
        mDatabase.mCaches.m_groups.clear();
        mDatabase.mStaleCopies->mGroupDigests.clear();
    }
    const QStringList& myGroups = mDatabase.mCaches.m_currentUser->mUsersGroupArray();
    const QSet<QString> allowed(myGroups.begin(), myGroups.end());

    tvxsql::Rows rs = mDatabase.mReadAhead.rows(mDatabase.liveConnection(), kQueryGroupNotPersonal);
    while (rs->next()) {
        const QString uid = tvxsql::textColumn(*rs, 1);
        if (!allowed.contains(uid))
            continue;
        auto group = std::make_shared<BMGroup>();
        group->setMGroupName(mDatabase.decryptString(tvxsql::blobColumn(*rs, 2)));
        group->setMGroupUID(uid);
        group->setMRecordLevelPermissions(static_cast<uint16_t>(rs->getInt(3)));
        group->setMPreferencePermissions(rs->getBoolean(4));
        mDatabase.mStaleCopies->mGroupDigests.insert(
            uid, tvxsql::groupDigest(tvxsql::blobColumn(*rs, 2), rs->getInt64(3), rs->getBoolean(4)));
        mDatabase.mCaches.m_groups.insert(uid, std::move(group));
    }
    rs.reset();
    // Both lists of every loaded group with one statement per table, in the
    // order the per-group readers give (the tables' key order).
    TVXResult code = kTVXDone;
    TVXDataBase::LoadSteps{mDatabase}.readMembershipLists(&code);
    return code;
}

void TVXDataBase::LoadSteps::readMembershipLists(TVXResult* code)
{
    if (d.caches().m_groups.isEmpty())
        return;
    try {
        tvxsql::Rows members = d.mReadAhead.rows(d.liveConnection(), kQueryAllGroupMembers);
        while (members->next())
            if (const auto group = d.caches().m_groups.value(tvxsql::textColumn(*members, 1)))
                group->mUserMembersArray() << tvxsql::textColumn(*members, 2).section(QLatin1Char(' '), 0, 0);
        members.reset();
        const tvxsql::Rows subGroups = d.mReadAhead.rows(d.liveConnection(), kQueryAllSubGroups);
        while (subGroups->next())
            if (const auto group = d.caches().m_groups.value(tvxsql::textColumn(*subGroups, 1)))
                group->mSubGroupsUID() << tvxsql::textColumn(*subGroups, 2).section(QLatin1Char(' '), 0, 0);
        *code = kTVXDone;
    } catch (const sql::SQLException& e) {
        *code = d.reportDatabaseError(e);
    }
}

TVXResult TVXStoreLoader::readTypesTable()
{
    if (mDatabase.mIsDataReloaded.load()) {
        mDatabase.mCaches.m_types.clear();
        mDatabase.mStaleCopies->mTypeDigests.clear();
    }
    const tvxsql::Rows rs = mDatabase.mReadAhead.rows(mDatabase.liveConnection(), kQueryTypes);
    const auto& setters = TVXType::setFunctionsArray();
    while (rs->next()) {
        auto type = std::make_shared<TVXType>();
        type->setMTypeUID(tvxsql::textColumn(*rs, 1));
        type->setMTypeName(mDatabase.decryptString(tvxsql::blobColumn(*rs, 2)));
        type->setMTypeIconID(rs->getInt(3));
        type->setMTypeMask(rs->getInt(4));
        QByteArray fields[10];
        for (int i = 0; i < 10; ++i) {
            fields[i] = tvxsql::blobColumn(*rs, 5 + i);
            ((*type).*setters[i])(mDatabase.decryptString(fields[i]));
        }
        mDatabase.mStaleCopies->mTypeDigests.insert(
            type->mTypeUID(), tvxsql::typeDigest(tvxsql::blobColumn(*rs, 2), rs->getInt64(3), rs->getInt64(4), fields));
        mDatabase.mCaches.m_types.insert(type->mTypeUID(), std::move(type));
    }
    return kTVXDone;
}

namespace {

// Record rows as fetched, before their values are deciphered: the bytes of
// every column of a slice in one buffer (kept from slice to slice), so that
// fetching, the one step that cannot run in parallel, makes no string per
// column.
constexpr int kRowColumns = 14; // identifier, type, group, values 1 to 10, note
constexpr int kFirstStoredColumn = 3;

struct RowSlice {
    struct Row {
        std::array<qsizetype, kRowColumns + 1> at{}; // column c is [at[c], at[c + 1])
        bool customised = false;
        bool attached = false;
        int32_t views = 0;
    };
    QByteArray bytes;
    std::vector<Row> rows;

    QByteArrayView column(const Row& row, int c) const
    {
        return QByteArrayView(bytes).sliced(row.at[size_t(c)], row.at[size_t(c) + 1] - row.at[size_t(c)]);
    }
    QString text(const Row& row, int c) const { return QString::fromUtf8(column(row, c)); }

    // Reads rows of the groups given until `count` are kept; false when the
    // result has no more.
    bool fill(sql::ResultSet& rs, const QSet<QByteArray>& groups, std::size_t count)
    {
        bytes.resize(0); // keeps its memory
        rows.clear();
        const auto add = [this](const sql::SQLString& value) {
            bytes.append(value.c_str(), qsizetype(value.length()));
            return bytes.size();
        };
        while (rows.size() < count) {
            if (!rs.next())
                return false;
            const sql::SQLString group = rs.getString(3);
            if (!groups.contains(QByteArray::fromRawData(group.c_str(), qsizetype(group.length()))))
                continue;
            Row row;
            row.at[0] = bytes.size();
            row.at[1] = add(rs.getString(1));
            row.at[2] = add(rs.getString(2));
            row.at[3] = add(group);
            for (int i = 0; i < TVXRecord::kTextSlotCount; ++i)
                row.at[size_t(kFirstStoredColumn + i + 1)] = add(rs.getString(4 + i));
            row.attached = rs.getBoolean(15);
            row.customised = rs.getBoolean(16);
            row.views = static_cast<int32_t>(rs.getInt64(17));
            rows.push_back(row);
        }
        return true;
    }
};

// Runs the tasks posted, one after another in the order posted, on a thread
// of the worker pool.
class SerialWorker {
public:
    SerialWorker() : m_job([this] { run(); }) {}
    ~SerialWorker() { close(); }
    SerialWorker(const SerialWorker&) = delete;
    SerialWorker& operator=(const SerialWorker&) = delete;

    void post(std::function<void()> task)
    {
        {
            std::lock_guard lock(m_mutex);
            m_tasks.push_back(std::move(task));
        }
        m_ready.notify_one();
    }
    // Returns when every task posted has run; throws what the first that failed threw.
    void finish()
    {
        close();
        if (m_failure)
            std::rethrow_exception(std::exchange(m_failure, nullptr));
    }

private:
    void close()
    {
        {
            std::lock_guard lock(m_mutex);
            m_closed = true;
        }
        m_ready.notify_one();
        m_job.wait(); // run() keeps what a task threw in m_failure
    }
    void run()
    {
        for (;;) {
            std::function<void()> task;
            {
                std::unique_lock lock(m_mutex);
                m_ready.wait(lock, [this] { return m_closed || !m_tasks.empty(); });
                if (m_tasks.empty())
                    return;
                task = std::move(m_tasks.front());
                m_tasks.pop_front();
            }
            try {
                if (!m_failure)
                    task();
            } catch (...) {
                m_failure = std::current_exception();
            }
        }
    }

    std::mutex m_mutex;
    std::condition_variable m_ready;
    std::deque<std::function<void()>> m_tasks;
    bool m_closed = false;
    std::exception_ptr m_failure; // written by the job, read after it ended
    platform::PooledJob m_job;     // last: it starts run(), which uses the members above
};

// Makes the record of a fetched row, its values deciphered.
struct RecordMaker {
    const CDBEncrypter* encrypter;
    const TVXGroupCache& groups;
    const TVXTypeCache& types;
    QByteArray now; // value 10 of a record whose stored date is empty

    std::shared_ptr<TVXRecord> make(const RowSlice& slice, const RowSlice::Row& row, const QString& uid,
                                    const QString& groupUID, const QString& typeUID) const
    {
        auto record = std::make_shared<TVXRecord>();
        record->setMRecordUID(uid);
        record->setMGroup(groups.value(groupUID));
        record->setMType(types.value(typeUID));
        // The plain texts of one record side by side, for its one block.
        thread_local QByteArray plain;
        std::array<qsizetype, TVXRecord::kTextSlotCount> ends{};
        uint16_t nullSlots = 0;
        for (int i = 0; i < TVXRecord::kTextSlotCount; ++i) {
            if (!appendPlainText(encrypter, slice.column(row, kFirstStoredColumn + i), plain))
                nullSlots |= uint16_t(1u << i);
            ends[size_t(i)] = plain.size();
        }
        std::array<QByteArrayView, TVXRecord::kTextSlotCount> texts;
        for (int i = 0; i < TVXRecord::kTextSlotCount; ++i) {
            const qsizetype from = i ? ends[size_t(i) - 1] : 0;
            texts[size_t(i)] = QByteArrayView(plain).sliced(from, ends[size_t(i)] - from);
        }
        // An empty stored date keeps the one the new record was made with.
        if (texts[9].isEmpty()) {
            texts[9] = now;
            nullSlots &= uint16_t(~(1u << 9));
        }
        record->setUtf8Texts(texts, nullSlots);
        explicit_bzero(plain.data(), size_t(plain.size()));
        plain.resize(0);
        record->setMIsCustomized(row.customised);
        record->setMHasAttachment(row.attached);
        record->setMAttachmentState(kAttachmentStateNone);
        record->setMViewCounter(row.views);
        return record;
    }
};

} // namespace

TVXResult TVXStoreLoader::readRecordTable()
{
    // Rows are streamed, not buffered whole by the client library, and handled a
    // slice at a time: memory holds the new records and two slices of rows.
    tvxsql::Rows rs = mDatabase.mReadAhead.rows(mDatabase.liveConnection(), kQueryRecords, true);
    auto& recordDigests = mDatabase.mStaleCopies->mRecordDigests;
    mDatabase.mCaches.stopPreparingSearchEntries(); // it reads the records about to go
    if (mDatabase.mIsDataReloaded.load()) {
        // About as many records again: room made once rather than by growing.
        const qsizetype before = mDatabase.mCaches.m_records.size();
        mDatabase.mCaches.m_records.clear();
        recordDigests.clear();
        // Every entry belongs to a record gone now: dropped before the new
        // records' entries are made, not after (that was twice the index at once).
        if (mDatabase.mCaches.mRecordSearchIndex)
            mDatabase.mCaches.mRecordSearchIndex->clear();
        mDatabase.mCaches.m_records.reserve(before);
        recordDigests.reserve(before);
    }
    QSet<QByteArray> allowed{kUnfiledUID.toUtf8()};
    for (const QString& group : mDatabase.mCaches.m_currentUser->mUsersGroupArray())
        allowed.insert(group.toUtf8());

    const auto encrypter = mDatabase.mCiphers.fieldEncrypter();
    const RecordMaker maker{encrypter.get(), mDatabase.mCaches.m_groups, mDatabase.mCaches.m_types,
                            TVXRecord::modificationDateText(QDateTime::currentDateTime()).toUtf8()};
    TVXRecordCache customised;
    TVXRecordCache withAttachment;
    // Three steps overlap: this thread reads a slice of rows, the pool
    // deciphers the slice before it, and two threads of their own file the
    // records of the one before that into the caches (the caches on one, the
    // rest on the other), slice after slice in the order read.
    SerialWorker filingRecords;
    SerialWorker filingTheRest;
    const auto file = [&](RowSlice& slice) {
        const std::size_t count = slice.rows.size();
        auto records = std::make_shared<std::vector<std::shared_ptr<TVXRecord>>>(count);
        auto digests = std::make_shared<std::vector<quint64>>(count);
        tvxsql::parallelFor(count, [&](std::size_t n) {
            const RowSlice::Row& row = slice.rows[n];
            const QString groupUID = slice.text(row, 2);
            const QString typeUID = slice.text(row, 1);
            std::array<QByteArray, TVXRecord::kTextSlotCount> stored;
            for (int i = 0; i < TVXRecord::kTextSlotCount; ++i) {
                const QByteArrayView bytes = slice.column(row, kFirstStoredColumn + i);
                stored[size_t(i)] = QByteArray::fromRawData(bytes.data(), bytes.size());
            }
            (*digests)[n] = tvxsql::recordRowDigest(groupUID, typeUID, stored.data(), row.attached, row.customised);
            (*records)[n] = maker.make(slice, row, slice.text(row, 0), groupUID, typeUID);
        });
        filingRecords.post([this, records] {
            for (const std::shared_ptr<TVXRecord>& record : *records)
                mDatabase.mCaches.m_records.insert(record->mRecordUID(), record);
        });
        filingTheRest.post([&recordDigests, &customised, &withAttachment, records, digests] {
            for (std::size_t n = 0; n < records->size(); ++n) {
                const std::shared_ptr<TVXRecord>& record = (*records)[n];
                const QString& uid = record->mRecordUID();
                recordDigests.insert(uid, TVXStaleCopies::RecordDigest{(*digests)[n], 0, 0});
                if (record->mIsCustomized())
                    customised.insert(uid, record);
                if (record->mHasAttachment())
                    withAttachment.insert(uid, record);
            }
        });
    };

    constexpr std::size_t kSlice = 4096;
    std::array<RowSlice, 2> slices;
    std::future<void> pending;
    bool more = true;
    for (std::size_t next = 0; more; next ^= 1) {
        RowSlice& slice = slices[next];
        more = slice.fill(*rs, allowed, kSlice);
        if (pending.valid())
            pending.get();

        pending = std::async(std::launch::async, [&file, &slice] { file(slice); });
    }
    pending.get();
    filingRecords.finish();
    filingTheRest.finish();
    rs.reset();

    // One statement per table instead of one per record; the result is what
    // the per-record readers give.
    TVXResult code = kTVXDone;
    if (!customised.isEmpty())
        TVXDataBase::LoadSteps{mDatabase}.readCustomTypes(customised);
    if (!withAttachment.isEmpty())
        TVXDataBase::LoadSteps{mDatabase}.readAttachmentHeaders(withAttachment, &code);
    return code;
}

std::shared_ptr<TVXType> TVXDataBase::LoadSteps::customTypeFromRow(sql::ResultSet& rs) const
{
    auto type = TVXType::createType();
    type->setMTypeIconID(rs.getInt(2));
    type->setMTypeMask(rs.getInt(3));
    const auto& setters = TVXType::setFunctionsArray();
    for (int i = 0; i < 10; ++i)
        ((*type).*setters[i])(d.decryptString(tvxsql::blobColumn(rs, 4 + i)));
    if (!d.icons().hasImageForIconIndex(type->mTypeIconID()))
        type->setMTypeIconID(kDefaultIcon);
    return type;
}

void TVXDataBase::LoadSteps::readCustomTypes(TVXRecordCache& records)
{
    // Rows are read a batch at a time; a batch's types are made (deciphered,
    // each with its new identifier) on several threads while the next batch
    // is read, then given to their records in the order read.
    struct Row {
        TVXRecordCache::const_iterator record;
        int icon = 0;
        int mask = 0;
        quint64 digest = 0;
        std::array<QByteArray, kNumberOfFields> fields;
        std::shared_ptr<TVXType> type;
    };
    const auto encrypter = d.ciphers().fieldEncrypter();
    const auto make = [&](std::vector<Row>& batch) {
        const auto& setters = TVXType::setFunctionsArray();
        tvxsql::parallelFor(batch.size(), [&](std::size_t n) {
            Row& row = batch[n];
            auto type = TVXType::createType();
            type->setMTypeIconID(d.icons().hasImageForIconIndex(row.icon) ? row.icon : kDefaultIcon);
            type->setMTypeMask(row.mask);
            for (int i = 0; i < kNumberOfFields; ++i)
                ((*type).*setters[size_t(i)])(d.ciphers().decryptWith(encrypter.get(), row.fields[size_t(i)]));
            row.digest = tvxsql::customTypeDigest(row.icon, row.mask, row.fields.data());
            row.type = std::move(type);
        });
    };
    std::array<std::vector<Row>, 2> batches;
    std::size_t reading = 0;
    std::future<void> making; // the other batch's
    const auto giveMade = [&] {
        if (!making.valid())
            return;
        making.get();
        for (Row& row : batches[reading ^ 1]) {
            (*row.record)->setMRecordCustomType(std::move(row.type));
            d.mStaleCopies->mRecordDigests[row.record.key()].customType = row.digest;
        }
        batches[reading ^ 1].clear();
    };
    const auto handOn = [&] {
        giveMade();
        std::vector<Row>& full = batches[reading];
        making = std::async(std::launch::async, [&make, &full] { make(full); });
        reading ^= 1;
    };
    try {
        const tvxsql::Rows rs = d.mReadAhead.rows(d.liveConnection(), kQueryAllCustomTypes, true);
        constexpr std::size_t kBatch = 4096;
        while (rs->next()) {
            const auto it = records.constFind(tvxsql::textColumn(*rs, 1));
            if (it == records.constEnd())
                continue;
            Row& row = batches[reading].emplace_back();
            row.record = it;
            row.icon = rs->getInt(2);
            row.mask = rs->getInt(3);
            for (int i = 0; i < kNumberOfFields; ++i)
                row.fields[size_t(i)] = tvxsql::blobColumn(*rs, 4 + i);
            if (batches[reading].size() == kBatch)
                handOn();
        }
        handOn();
        giveMade();
    } catch (const sql::SQLException& e) {
        // What was read is given all the same.
        handOn();
        giveMade();
        (void)d.reportDatabaseError(e);
    }
}

void TVXStoreLoader::readCustomTypeForRecord(TVXRecord& record, TVXResult* code)
{
    try {
        const tvxsql::Rows rs = mDatabase.mReadAhead.rowsFor(mDatabase.liveConnection(), kQueryCustomType, record.mRecordUID());
        while (rs->next()) {
            record.setMRecordCustomType(TVXDataBase::LoadSteps{mDatabase}.customTypeFromRow(*rs));
            if (code)
                *code = kTVXDone;
        }
    } catch (const sql::SQLException& e) {
        const TVXResult failed = mDatabase.reportDatabaseError(e);
        if (code)
            *code = failed;
    }
}

void TVXDataBase::LoadSteps::readAttachmentHeaders(TVXRecordCache& records, TVXResult* code)
{
    try {
        const tvxsql::Rows rs = d.mReadAhead.rows(d.liveConnection(), kQueryAttachmentHeaders);
        while (rs->next()) {
            const auto it = records.constFind(tvxsql::textColumn(*rs, 1));
            if (it == records.constEnd())
                continue;
            const QByteArray nameCipher = tvxsql::blobColumn(*rs, 2);
            const QByteArray keyCipher = tvxsql::blobColumn(*rs, 3);
            (*it)->setMAttachmentName(d.decryptString(nameCipher));
            const TVXAttachmentStore::AttachmentKey key = d.attachments().mAttachments->decipherAttachmentKey(keyCipher);
            (*it)->setMAttachmentPassKey(key.passKey);
            (*it)->setMAttachmentLength(key.length);
            d.mStaleCopies->mRecordDigests[it.key()].attachment = tvxsql::attachmentDigest(nameCipher, keyCipher);
        }
        *code = kTVXDone;
    } catch (const sql::SQLException& e) {
        *code = d.reportDatabaseError(e);
    }
}

void TVXStoreLoader::readAttachmentForRecord(TVXRecord& record, TVXResult* code)
{
    try {
        const tvxsql::Rows rs = mDatabase.mReadAhead.rowsFor(mDatabase.liveConnection(), kQueryAttachmentHeader, record.mRecordUID());
        while (rs->next()) {
            record.setMAttachmentName(mDatabase.decryptString(tvxsql::blobColumn(*rs, 2)));
            const TVXAttachmentStore::AttachmentKey key = mDatabase.mAttachmentAccess.mAttachments->decipherAttachmentKey(tvxsql::blobColumn(*rs, 3));
            record.setMAttachmentPassKey(key.passKey);
            record.setMAttachmentLength(key.length);
        }
        if (code)
            *code = kTVXDone;
    } catch (const sql::SQLException& e) {
        const TVXResult failed = mDatabase.reportDatabaseError(e);
        if (code)
            *code = failed;
    }
}

namespace {

bool nameRowExists(TVXDataBase& db, const char* query, const QString& name)
{
    return tvxsql::findsRow(db, query, [&name](sql::PreparedStatement& stmt) { stmt.setString(1, name.toStdString()); });
}

} // namespace

bool TVXStoreLoader::typeNameFromDatabase(const QString& name) { return nameRowExists(mDatabase, kQueryTypeNames, name); }
bool TVXStoreLoader::groupNameFromDatabase(const QString& name) { return nameRowExists(mDatabase, kQueryGroupNames, name); }
