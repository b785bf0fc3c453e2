// The personal group and personal records: every user's own group, keyed by
// the user's identifier, read apart from the shared groups, and its records.
#include "model/BMGroup.h"
#include "model/TVXRecord.h"
#include "model/TVXType.h"
#include "model/TVXUser.h"
#include "store/schema/ColumnLimits.h"
#include "store/personal/PersonalStore.h"
#include "store/schema/QueryConstants.h"
#include "store/session/StatementHelpers.h"
#include "store/TVXDataBase.h"
#include "store/session/Transaction.h"

#include <cppconn/connection.h>
#include <cppconn/exception.h>
#include <cppconn/prepared_statement.h>
#include <cppconn/resultset.h>

#include <QCoreApplication>
#include <QDateTime>

#include <vector>

namespace {

// Add, edit and delete, and the group's word prevails over the user's.
constexpr uint16_t kPersonalGroupPermissions = kPermissionAdd | kPermissionEdit | kPermissionDelete;

using tvxsql::noConnection;

std::shared_ptr<BMGroup> makePersonalGroup(const QString& userID, const QString& name)
{
    auto group = std::make_shared<BMGroup>();
    group->setMGroupName(name);
    group->setMGroupUID(userID);
    group->setMRecordLevelPermissions(kPersonalGroupPermissions);
    group->setMPreferencePermissions(true);
    return group;
}

} // namespace

TVXUser& TVXPersonalAccess::currentUser() const { return *mDatabase.caches().mCurrentUser(); }

QString TVXPersonalAccess::personalGroupNameForUser(const QString& username)
{
    return QStringLiteral("%1-%2").arg(QCoreApplication::translate("TVXDataBase", "Personal"), username);
}

QString TVXPersonalAccess::currentUserPersnaolGroupName() const
{
    return personalGroupNameForUser(currentUser().mUsername());
}

// --- readers -----------------------------------------------------------------

std::vector<TVXReadAhead::Read> TVXPersonalAccess::loadReads(const QString& userID)
{
    return {{kQueryPersonalGroup, userID}, {kQueryUserPersonalRecords, userID}};
}

TVXResult TVXPersonalAccess::readPersonalGroup()
{
    if (!mDatabase.connection())
        throw noConnection();
    const tvxsql::Rows rs = mDatabase.readAhead().rowsFor(*mDatabase.connection(), kQueryPersonalGroup, currentUser().mUserID());
    if (rs->next()) {
        // No member list and no sub-groups: nobody else is admitted to it.
        auto group = std::make_shared<BMGroup>();
        group->setMGroupName(mDatabase.decryptString(tvxsql::blobColumn(*rs, 2)));
        group->setMGroupUID(tvxsql::textColumn(*rs, 1));
        group->setMRecordLevelPermissions(static_cast<uint16_t>(rs->getInt(3)));
        group->setMPreferencePermissions(rs->getBoolean(4));
        mDatabase.caches().mGroups().insert(group->mGroupUID(), std::move(group));
    }
    return kTVXDone;
}

std::shared_ptr<TVXRecord> TVXPersonalAccess::personalRecordFromRow(sql::ResultSet& rs, bool readCompletely,
                                                              const QString& now) const
{
    auto record = std::make_shared<TVXRecord>();
    record->setMRecordUID(tvxsql::textColumn(rs, 1));
    if (readCompletely) {
        record->setMType(mDatabase.caches().mTypes().value(tvxsql::textColumn(rs, 2)));
        record->setMGroup(mDatabase.caches().mGroups().value(tvxsql::textColumn(rs, 3)));
        // A cached record without a stored date shows the moment it was read.
        record->setMValue10(now);
    }
    // A detached record keeps an empty date empty, so that writing it back
    // stores what was there.
    const auto& setters = TVXRecord::setFunctionsArray();
    for (int i = 0; i < 9; ++i)
        ((*record).*setters[i])(mDatabase.decryptString(tvxsql::blobColumn(rs, 4 + i)));
    record->setMValue10(mDatabase.decryptString(tvxsql::blobColumn(rs, 13)));
    record->setMNotes(mDatabase.decryptString(tvxsql::blobColumn(rs, 14)));
    record->setMIsCustomized(rs.getBoolean(16));
    record->setMHasAttachment(rs.getBoolean(15));
    record->setMViewCounter(static_cast<int32_t>(rs.getInt64(17)));
    record->setMAttachmentState(readCompletely ? kAttachmentStateNone : kAttachmentStateReencipher);
    return record;
}

QList<std::shared_ptr<TVXRecord>> TVXPersonalAccess::readUserPersonalRecords(const QString& userID,
                                                                       bool readCompletely, TVXResult* code)
{
    TVXResult result = kTVXDone;
    QList<std::shared_ptr<TVXRecord>> records;
    try {
        if (!mDatabase.connection())
            throw noConnection();
        {
            const tvxsql::Rows rs = mDatabase.readAhead().rowsFor(*mDatabase.connection(), kQueryUserPersonalRecords, userID);
            const QString now = TVXRecord::modificationDateText(QDateTime::currentDateTime());
            while (rs->next())
                records << personalRecordFromRow(*rs, readCompletely, now);
        }
        // The sub-readers report through the error path themselves and do not
        // stop the reading; their failure still reaches the caller, since a
        // record without its custom type or attachment header is incomplete.
        for (const auto& record : records) {
            TVXResult subCode = kTVXDone;
            if (record->mIsCustomized())
                mDatabase.loader().readCustomTypeForRecord(*record, &subCode);
            if (result == kTVXDone)
                result = subCode;
            subCode = kTVXDone;
            if (record->mHasAttachment())
                mDatabase.loader().readAttachmentForRecord(*record, &subCode);
            if (result == kTVXDone)
                result = subCode;
        }
    } catch (const sql::SQLException& e) {
        result = mDatabase.reportDatabaseError(e, TVXDataBase::mapDBErrorCode(mDatabase.serverErrorNumber(e)));
        if (readCompletely)
            records.clear();
    } catch (const std::exception&) {
        result = kTVXStatementFailed;
        if (readCompletely)
            records.clear();
    }
    if (code)
        *code = result;
    if (!readCompletely)
        return records;
    for (const auto& record : records)
        mDatabase.caches().mRecords().insert(record->mRecordUID(), record);
    return {};
}

QList<std::shared_ptr<TVXRecord>> TVXPersonalAccess::personalDBRecords(const QStringList& userIDs, TVXResult* code)
{
    const auto guard = mDatabase.lockConnection(); // one thread at a time on the connection
    QList<std::shared_ptr<TVXRecord>> all;
    TVXResult result = kTVXDone;
    for (const QString& userID : userIDs) {
        all << readUserPersonalRecords(userID, false, &result);
        if (result != kTVXDone)
            break;
    }
    if (code)
        *code = result;
    return all;
}

QStringList TVXPersonalAccess::allUsersUIDS(TVXResult* code)
{
    const auto guard = mDatabase.lockConnection(); // one thread at a time on the connection
    TVXResult result = kTVXDone;
    QStringList ids;
    try {
        if (!mDatabase.connection())
            throw noConnection();
        std::unique_ptr<sql::PreparedStatement> stmt(mDatabase.connection()->prepareStatement(kQueryAllUserUIDS));
        std::unique_ptr<sql::ResultSet> rs(stmt->executeQuery());
        while (rs->next())
            if (!rs->isNull(1))
                ids << tvxsql::textColumn(*rs, 1);
    } catch (const sql::SQLException& e) {
        result = mDatabase.reportDatabaseError(e);
        ids.clear();
    }
    if (code)
        *code = result;
    return ids;
}

// --- personal group writers -------------------------------------------------

TVXResult TVXPersonalAccess::addUserPersonalGroup(const TVXUserAccount& user)
{
    const auto guard = mDatabase.lockConnection(); // one thread at a time on the connection
    const QString& userID = user.mUserID();
    const QString name = personalGroupNameForUser(user.mUsername());
    const QByteArray cipher = mDatabase.encryptString(name);
    if (!tvxsql::fitsTinyBlob(cipher))
        return kTVXStatementFailed;
    const TVXResult code = mDatabase.runStatement([&] {
        std::unique_ptr<sql::PreparedStatement> stmt(mDatabase.liveConnection().prepareStatement(kQueryGroupInsert));
        const auto blob = tvxsql::blobStream(cipher);
        stmt->setBlob(1, blob->stream());
        stmt->setString(2, userID.toStdString());
        stmt->setInt(3, kPersonalGroupPermissions);
        stmt->setBoolean(4, true);
        // The insert ignores duplicates: no row means the group already exists.
        return stmt->executeUpdate() == 0 ? kTVXReloadFirst : kTVXDone;
    });
    if (code != kTVXDone)
        return code;
    // The caches are the main thread's: an account's save from the window runs on a worker.
    mDatabase.afterServer([this, userID, name] {
        if (userID == currentUser().mUserID())
            mDatabase.caches().mGroups().insert(userID, makePersonalGroup(userID, name));
    });
    return kTVXDone;
}

TVXResult TVXPersonalAccess::storePersonalGroupName(const QString& userID, const QString& name)
{
    const auto guard = mDatabase.lockConnection(); // one thread at a time on the connection
    const QByteArray cipher = mDatabase.encryptString(name);
    if (!tvxsql::fitsTinyBlob(cipher))
        return kTVXStatementFailed;
    return mDatabase.runStatement([&] {
        std::unique_ptr<sql::PreparedStatement> stmt(
            mDatabase.liveConnection().prepareStatement(kQueryGroupUpdateName));
        const auto blob = tvxsql::blobStream(cipher);
        stmt->setBlob(1, blob->stream());
        stmt->setString(2, userID.toStdString());
        // Matched rows are counted, so no row means the group is gone.
        return stmt->executeUpdate() == 0 ? kTVXReloadFirst : kTVXDone;
    });
}

TVXResult TVXPersonalAccess::renameUserPersonalGroup(const TVXUserAccount& user)
{
    return renamePersonalGroup(user.mUserID(), user.mUsername());
}

TVXResult TVXPersonalAccess::renamePersonalGroup(const QString& userID, const QString& username)
{
    const QString name = personalGroupNameForUser(username);
    const TVXResult code = storePersonalGroupName(userID, name);
    if (code == kTVXDone)
        mDatabase.afterServer([this, userID, name] {
            if (userID != currentUser().mUserID())
                return;
            if (const auto group = mDatabase.caches().mGroups().value(userID))
                group->setMGroupName(name);
        });
    return code;
}

TVXResult TVXPersonalAccess::lookUpUserName(const QString& userID, QString* username)
{
    try {
        if (!mDatabase.connection())
            throw noConnection();
        std::unique_ptr<sql::PreparedStatement> stmt(mDatabase.connection()->prepareStatement(kQueryGetUserName));
        stmt->setString(1, userID.toStdString());
        std::unique_ptr<sql::ResultSet> rs(stmt->executeQuery());
        if (!rs->next())
            return kTVXReloadFirst;
        *username = tvxsql::textColumn(*rs, 1);
        return kTVXDone;
    } catch (const sql::SQLException& e) {
        return mDatabase.reportDatabaseError(e);
    }
}

TVXResult TVXPersonalAccess::renamePersonalGroupForUser(const QString& userID)
{
    const auto guard = mDatabase.lockConnection(); // one thread at a time on the connection
    QString username;
    const TVXResult code = lookUpUserName(userID, &username);
    if (code != kTVXDone)
        return code;
    return renamePersonalGroup(userID, username);
}

TVXResult TVXPersonalAccess::reEncryptPersonalGroups(const QStringList& userIDs)
{
    const auto guard = mDatabase.lockConnection(); // one thread at a time on the connection
    if (userIDs.isEmpty())
        return kTVXDone;
    QString currentUserName; // set when the signed-in user's group was rewritten
    try {
        if (!mDatabase.connection())
            throw noConnection();
        tvxsql::Transaction transaction(*mDatabase.connection());
        for (const QString& userID : userIDs) {
            QString username;
            TVXResult code = lookUpUserName(userID, &username);
            if (code == kTVXDone) {
                const QString name = personalGroupNameForUser(username);
                code = storePersonalGroupName(userID, name);
                if (code == kTVXDone && userID == currentUser().mUserID())
                    currentUserName = name;
            }
            // A user without a row, or without a personal group, has no name to re-encipher.
            if (code != kTVXDone && code != kTVXReloadFirst)
                return code;
        }
        transaction.commit();
    } catch (const sql::SQLException& e) {
        return mDatabase.reportDatabaseError(e);
    }
    if (!currentUserName.isNull())
        if (const auto group = mDatabase.caches().mGroups().value(currentUser().mUserID()))
            group->setMGroupName(currentUserName);
    return kTVXDone;
}

TVXResult TVXPersonalAccess::deleteUserPersonalGroup(const TVXUserAccount& user)
{
    const auto guard = mDatabase.lockConnection(); // one thread at a time on the connection
    const QString userID = user.mUserID();
    const TVXResult code = mDatabase.runStatement([&] {
        std::unique_ptr<sql::PreparedStatement> stmt(mDatabase.liveConnection().prepareStatement(kQueryGroupDelete));
        stmt->setString(1, userID.toStdString());
        return stmt->executeUpdate() == 0 ? kTVXReloadFirst : kTVXDone;
    });
    if (code != kTVXDone)
        return code;
    mDatabase.afterServer([this, userID] {
        if (userID != currentUser().mUserID())
            return;
        // The store's foreign keys removed the group's records with it.
        if (const auto group = mDatabase.caches().mGroups().take(userID)) {
            for (auto it = mDatabase.caches().mRecords().begin(); it != mDatabase.caches().mRecords().end();)
                it = (*it)->mGroup() == group ? mDatabase.caches().mRecords().erase(it) : std::next(it);
        }
    });
    return kTVXDone;
}

// --- re-enciphering personal records ----------------------------------------

TVXResult TVXPersonalAccess::reEncryptPersonalRecords(const QList<std::shared_ptr<TVXRecord>>& records)
{
    const auto guard = mDatabase.lockConnection(); // one thread at a time on the connection
    if (records.isEmpty())
        return kTVXDone;

    // Every value enciphered and measured before anything is written.
    std::vector<std::vector<QByteArray>> ciphers;
    ciphers.reserve(records.size());
    const auto& getters = TVXRecord::getFunctionsArray();
    for (const auto& record : records) {
        std::vector<QByteArray> values;
        values.reserve(kNumberOfFields + 1);
        for (int i = 0; i < kNumberOfFields; ++i) {
            values.push_back(mDatabase.encryptString(((*record).*getters[i])()));
            if (!tvxsql::fitsTinyBlob(values.back()))
                return kTVXStatementFailed;
        }
        values.push_back(mDatabase.encryptString(record->mNotes())); // NOTE is a LONGBLOB
        ciphers.push_back(std::move(values));
    }

    try {
        if (!mDatabase.connection())
            throw noConnection();
        // All or nothing: a store half under the old key and half under the
        // new one could not be read with either.
        tvxsql::Transaction transaction(*mDatabase.connection());
        std::unique_ptr<sql::PreparedStatement> stmt(
            mDatabase.connection()->prepareStatement(kQueryUpdatePersonalRecord));
        for (qsizetype r = 0; r < records.size(); ++r) {
            TVXRecord& record = *records[r];
            stmt->clearParameters();
            std::vector<std::unique_ptr<tvxsql::BlobParameter>> blobs;
            for (int i = 0; i <= kNumberOfFields; ++i) {
                blobs.push_back(tvxsql::blobStream(ciphers[static_cast<size_t>(r)][static_cast<size_t>(i)]));
                stmt->setBlob(i + 1, blobs.back()->stream());
            }
            stmt->setBoolean(12, record.mHasAttachment());
            stmt->setBoolean(13, record.mIsCustomized());
            stmt->setString(14, record.mRecordUID().toStdString());
            // The row first: a record deleted meanwhile is reported before its
            // custom type or attachment is touched.
            if (stmt->executeUpdate() == 0)
                return kTVXReloadFirst;
            if (record.mIsCustomized() && record.mRecordCustomType())
                if (const TVXResult code = rewritePersonalCustomType(record); code != kTVXDone)
                    return code;
            if (record.mHasAttachment()
                && (record.mAttachmentState() == kAttachmentStateReencipher
                    || record.mAttachmentState() == kAttachmentStateStoreNewFile))
                if (const TVXResult code = rewritePersonalAttachment(record); code != kTVXDone)
                    return code;
        }
        transaction.commit();
    } catch (const sql::SQLException& e) {
        return mDatabase.reportDatabaseError(e);
    } catch (const std::exception&) {
        return kTVXNotServerError;
    }
    return kTVXDone;
}

TVXResult TVXPersonalAccess::rewritePersonalCustomType(TVXRecord& record)
{
    return mDatabase.updateCustomType(record, *record.mRecordCustomType());
}

TVXResult TVXPersonalAccess::rewritePersonalAttachment(TVXRecord& record)
{
    // Name and pass key under the new key; a newly chosen file is stored whole.
    if (record.mAttachmentState() == kAttachmentStateStoreNewFile)
        return mDatabase.attachmentWriter().insertAttachmentforRecordID(record);
    return mDatabase.attachmentWriter().reEncryptAttachmentforRecord(record);
}
