// Loading and reloading: the user's row, then groups, types and records into
// the caches. Workers run while the main thread waits behind its progress panel.
#include "model/BMGroup.h"
#include "model/BMPasswordPolicyController.h"
#include "model/TVXRecord.h"
#include "model/TVXType.h"
#include "model/TVXUID.h"
#include "model/TVXUser.h"
#include "platform/core/ApplicationHooks.h"
#include "platform/core/MainThread.h"
#include "store/QueryConstants.h"
#include "store/ParallelFor.h"
#include "store/StatementHelpers.h"
#include "store/TVXDataBase.h"

#include <cppconn/connection.h>
#include <cppconn/exception.h>
#include <cppconn/prepared_statement.h>
#include <cppconn/resultset.h>
#include <cppconn/statement.h>

#include <QSet>

#include <array>
#include <future>
#include <list>
#include <vector>

namespace {

// The attachment header alone: the contents stay on the server until extracted.
constexpr char kQueryAttachmentHeaders[] =
    "SELECT RECORDID, ATTACHMENTNAME, ENCRYPTIONKEY FROM ATTACHMENTTABLE";
constexpr char kQueryAttachmentHeader[] =
    "SELECT RECORDID, ATTACHMENTNAME, ENCRYPTIONKEY FROM ATTACHMENTTABLE WHERE RECORDID=?";
constexpr char kQueryAllCustomTypes[] = "select * from CUSTOMTYPETABLE";
constexpr char kQueryAllGroupMembers[] = "SELECT GROUPID, USERID FROM USERGROUPTABLE ORDER BY GROUPID, USERID";
constexpr char kQueryAllSubGroups[] = "SELECT GROUPID, SUBGROUPID FROM GROUPSUBGROUPTABLE ORDER BY GROUPID, SUBGROUPID";

constexpr int kDefaultIcon = 31;

using tvxsql::noConnection;

template <class Fn> void onMain(Fn fn)
{
    platform::performOnMainThreadAndWait([&fn] {
        if (auto* hooks = platform::applicationHooks())
            fn(*hooks);
    });
}

} // namespace

QString TVXDataBase::getUserIDForName(const QString& accountName, int* code)
{
    (void)code; // not written: a missing row answers null
    if (!mCPcon)
        throw noConnection();
    std::unique_ptr<sql::PreparedStatement> stmt(mCPcon->prepareStatement(kQueryGetUserID));
    stmt->setString(1, accountName.toStdString());
    std::unique_ptr<sql::ResultSet> rs(stmt->executeQuery());
    if (!rs->next())
        return QString();
    return tvxsql::textColumn(*rs, 1);
}

QStringList TVXDataBase::fetchGroupArrayForUserID(const QString& userID, int* code)
{
    (void)code;
    std::unique_ptr<sql::PreparedStatement> stmt(mCPcon->prepareStatement(kQuerySelectUserGroupList));
    stmt->setString(1, userID.toStdString());
    std::unique_ptr<sql::ResultSet> rs(stmt->executeQuery());
    QStringList groups;
    while (rs->next())
        groups << tvxsql::textColumn(*rs, 1);
    return groups;
}

int TVXDataBase::readAllSavedRecordsForUserWithUserPrimaryNameID(const QString& userID)
{
    if (!mCPcon)
        throw noConnection();
    std::unique_ptr<sql::PreparedStatement> stmt(mCPcon->prepareStatement(kQueryUserRow));
    stmt->setString(1, userID.toStdString());
    std::unique_ptr<sql::ResultSet> rs(stmt->executeQuery());
    // No row: the account was removed from the store (a server account alone
    // must not log in with default rights).
    if (!rs->next())
        return kTVXAccountDeleted;
    if (rs->getBoolean("ISACCOUNTDISABLED"))
        return kTVXAccountDisabled;

    TVXUser& user = *m_currentUser;
    user.setMUserID(QString::fromStdString(rs->getString("USERID").asStdString()));
    user.setMUsername(QString::fromStdString(rs->getString("USERNAME").asStdString()));
    user.setMPassword(decryptDataString(tvxsql::blobColumn(*rs, 3)));
    user.setMPlatformName(rs->isNull("PLATFORMNAME")
                              ? QStringLiteral("")
                              : QString::fromStdString(rs->getString("PLATFORMNAME").asStdString()));
    user.setMGroupPermissionsBit(static_cast<uint16_t>(rs->getInt("GROUPPERMISSION")));
    user.setMTypePermissionsBit(static_cast<uint16_t>(rs->getInt("TYPEPERMISSION")));
    user.setMRecordPermissionsBit(static_cast<uint16_t>(rs->getInt("RECORDPERMISSION")));
    user.setMDataPermissionsBit(static_cast<uint16_t>(rs->getInt("DATAPERMISSION")));
    user.setMIsNotAllowedToChangePassword(!rs->getBoolean("CANCHANGEPASSWORD"));
    user.setMIsAccountDisabled(false);
    user.setMUsersGroupArray(fetchGroupArrayForUserID(userID));
    return kTVXDone;
}

int TVXDataBase::initUserDetails(const QString& accountName, const QString& password)
{
    (void)password; // the server account's password; the user row is read by identifier
    int code = kTVXDone;
    try {
        const QString userID = getUserIDForName(accountName);
        code = userID.isNull() ? kTVXAccountDeleted : readAllSavedRecordsForUserWithUserPrimaryNameID(userID);
    } catch (const sql::SQLException& e) {
        code = reportDatabaseError(e, mapDBErrorCode(serverErrorNumber(e)));
    }
    mConnectionErrCode.store(code);
    if (code != kTVXDone) {
        endClientThreadState();
        mIsConnectionComplete.store(true);
        notifyConnectionComplete();
    }
    return code;
}

int TVXDataBase::loadDataBase()
{
    int code = kTVXDone;
    mIsLoadingComplete.store(false);
    if (!mReadRecords.load()) {
        try {
            // Custom icons are read first (they decide the icons of custom types).
            getExternalIcons();
            code = readCatagoryTable();
            if (code == kTVXDone)
                code = readTypesTable();
            if (code == kTVXDone)
                code = readRecordTable();
            if (code == kTVXDone)
                readUserTableIfErrorReturnCode(&code);
            if (code == kTVXDone)
                readUserPreferenceForTableForUser(*m_currentUser, &code);
            // Whatever the code, the personal group and personal records.
            (void)readPersonalGroup(); // always 0: its failures throw
            int personalCode = kTVXDone;
            readUserPersonalRecords(m_currentUser->mUserID(), true, &personalCode);
            if (code == kTVXDone)
                code = personalCode;
        } catch (const sql::SQLException& e) {
            code = mapDBErrorCode(serverErrorNumber(e));
        } catch (const std::exception&) {
            code = kTVXStatementFailed;
        }
        mReadRecords.store(true);
        endClientThreadState();
    }
    mConnectionErrCode.store(code);
    mIsLoadingComplete.store(true);
    return code;
}

int TVXDataBase::reloadDatabase()
{
    mConnectionErrCode.store(kTVXDone);
    mIsDataReloaded.store(true);
    int code = kTVXDone;
    try {
        if (!mCPcon)
            throw noConnection();
        code = readAllSavedRecordsForUserWithUserPrimaryNameID(m_currentUser->mUserID());
        if (code == kTVXAccountDisabled || code == kTVXAccountDeleted) {
            onMain([code](platform::ApplicationHooks& hooks) { hooks.accountRefusedDuringReload(code); });
            endClientThreadState();
            mIsDataReloaded.store(false);
            mConnectionErrCode.store(code);
            return code;
        }
        getExternalIcons();
        // Re-key from the store: the master password may have been changed by another client.
        createEncrypter(QString());
        createEncrypter(retriveMasterPassword());

        code = readCatagoryTable();
        code = readTypesTable();
        code = readRecordTable();
        // Then: custom icons again.
        getExternalIcons();
        (void)readPersonalGroup(); // always 0: its failures throw
        int personalCode = kTVXDone;
        readUserPersonalRecords(m_currentUser->mUserID(), true, &personalCode);
        if (code == kTVXDone)
            code = personalCode;
        if (code == kTVXDone)
            readUserTableIfErrorReturnCode(&code);
        onMain([](platform::ApplicationHooks& hooks) { hooks.finishReloadingData(); });
        onMain([](platform::ApplicationHooks& hooks) { hooks.updateApplicationUIForCurrectPermissions(); });
    } catch (const sql::SQLException& e) {
        code = mapDBErrorCode(serverErrorNumber(e));
        onMain([code](platform::ApplicationHooks& hooks) { hooks.reloadFailed(code); });
    }
    endClientThreadState();
    mIsDataReloaded.store(false);
    mConnectionErrCode.store(code);
    return code;
}

int TVXDataBase::readCatagoryTable()
{
    if (mIsDataReloaded.load()) {
        m_groups.clear();
        mGroupDigests.clear();
    }
    const QStringList& myGroups = m_currentUser->mUsersGroupArray();
    const QSet<QString> allowed(myGroups.begin(), myGroups.end());

    std::unique_ptr<sql::Statement> stmt(mCPcon->createStatement());
    std::unique_ptr<sql::ResultSet> rs(stmt->executeQuery(kQueryGroupNotPersonal));
    while (rs->next()) {
        const QString uid = tvxsql::textColumn(*rs, 1);
        if (!allowed.contains(uid))
            continue;
        auto group = std::make_shared<BMGroup>();
        group->setMGroupName(decryptString(tvxsql::blobColumn(*rs, 2)));
        group->setMGroupUID(uid);
        group->setMRecordLevelPermissions(static_cast<uint16_t>(rs->getInt(3)));
        group->setMPreferencePermissions(rs->getBoolean(4));
        mGroupDigests.insert(uid, groupDigest(tvxsql::blobColumn(*rs, 2), rs->getInt64(3), rs->getBoolean(4)));
        m_groups.insert(uid, std::move(group));
    }
    rs.reset();
    stmt.reset();
    // Both lists of every loaded group with one statement per table, in the
    // order the per-group readers give (the tables' key order).
    int code = kTVXDone;
    readMembershipLists(&code);
    return code;
}

void TVXDataBase::readMembershipLists(int* code)
{
    if (m_groups.isEmpty())
        return;
    try {
        std::unique_ptr<sql::Statement> stmt(mCPcon->createStatement());
        std::unique_ptr<sql::ResultSet> members(stmt->executeQuery(kQueryAllGroupMembers));
        while (members->next())
            if (const auto group = m_groups.value(tvxsql::textColumn(*members, 1)))
                group->mUserMembersArray() << tvxsql::textColumn(*members, 2).section(QLatin1Char(' '), 0, 0);
        members.reset();
        std::unique_ptr<sql::ResultSet> subGroups(stmt->executeQuery(kQueryAllSubGroups));
        while (subGroups->next())
            if (const auto group = m_groups.value(tvxsql::textColumn(*subGroups, 1)))
                group->mSubGroupsUID() << tvxsql::textColumn(*subGroups, 2).section(QLatin1Char(' '), 0, 0);
        *code = kTVXDone;
    } catch (const sql::SQLException& e) {
        *code = reportDatabaseError(e);
    }
}

int TVXDataBase::readTypesTable()
{
    if (mIsDataReloaded.load()) {
        m_types.clear();
        mTypeDigests.clear();
    }
    std::unique_ptr<sql::Statement> stmt(mCPcon->createStatement());
    std::unique_ptr<sql::ResultSet> rs(stmt->executeQuery(kQueryTypes));
    const auto& setters = TVXType::setFunctionsArray();
    while (rs->next()) {
        auto type = std::make_shared<TVXType>();
        type->setMTypeUID(tvxsql::textColumn(*rs, 1));
        type->setMTypeName(decryptString(tvxsql::blobColumn(*rs, 2)));
        type->setMTypeIconID(rs->getInt(3));
        type->setMTypeMask(rs->getInt(4));
        QByteArray fields[10];
        for (int i = 0; i < 10; ++i) {
            fields[i] = tvxsql::blobColumn(*rs, 5 + i);
            ((*type).*setters[i])(decryptString(fields[i]));
        }
        mTypeDigests.insert(type->mTypeUID(),
                            typeDigest(tvxsql::blobColumn(*rs, 2), rs->getInt64(3), rs->getInt64(4), fields));
        m_types.insert(type->mTypeUID(), std::move(type));
    }
    return kTVXDone;
}

namespace {

// A record row as fetched, before its values are deciphered.
struct FetchedRecord {
    QString uid;
    QString groupUID;
    QString typeUID;
    std::array<QByteArray, 11> stored; // values 1 to 10, then the note
    bool customised = false;
    bool attached = false;
    int32_t views = 0;
};

} // namespace

int TVXDataBase::readRecordTable()
{
    // Rows are streamed, not buffered whole by the client library, and handled a
    // slice at a time: memory holds the new records and one slice of rows.
    std::unique_ptr<sql::Statement> stmt(mCPcon->createStatement());
    stmt->setResultSetType(sql::ResultSet::TYPE_FORWARD_ONLY);
    std::unique_ptr<sql::ResultSet> rs(stmt->executeQuery(kQueryRecords));
    if (mIsDataReloaded.load()) {
        m_records.clear();
        mRecordDigests.clear();
    }
    const QStringList& myGroups = m_currentUser->mUsersGroupArray();
    const QSet<QString> allowed(myGroups.begin(), myGroups.end());

    const auto encrypter = fieldEncrypter();
    const auto& setters = TVXRecord::setFunctionsArray();
    const TVXGroupCache& groups = m_groups;
    const TVXTypeCache& types = m_types;
    // What a new record carries in value 10 until a stored date replaces it.
    const QString now = TVXRecord::modificationDateText(QDateTime::currentDateTime());
    // A slice of rows is deciphered on other threads while the next is read.
    struct Slice {
        std::vector<FetchedRecord> rows;
        std::vector<std::shared_ptr<TVXRecord>> records;
        std::vector<quint64> digests;
    };
    const auto decipher = [&](Slice& slice) {
        slice.records.resize(slice.rows.size());
        slice.digests.resize(slice.rows.size());
        tvxsql::parallelFor(slice.rows.size(), [&](std::size_t n) {
            FetchedRecord& row = slice.rows[n];
            slice.digests[n] = recordRowDigest(row.groupUID, row.typeUID, row.stored.data(), row.attached,
                                               row.customised);
            auto record = std::make_shared<TVXRecord>();
            record->setMRecordUID(row.uid);
            record->setMGroup(groups.value(row.groupUID));
            record->setMType(types.value(row.typeUID));
            for (int i = 0; i < 9; ++i)
                ((*record).*setters[i])(decryptWith(encrypter.get(), row.stored[i]));
            // An empty stored date keeps the one the new record was made with.
            record->setMValue10(now);
            record->setMValue10(decryptWith(encrypter.get(), row.stored[9]));
            record->setMNotes(decryptWith(encrypter.get(), row.stored[10]));
            record->setMIsCustomized(row.customised);
            record->setMHasAttachment(row.attached);
            record->setMAttachmentState(kAttachmentStateNone);
            record->setMViewCounter(row.views);
            slice.records[n] = std::move(record);
        });
        slice.rows = {};
    };

    constexpr std::size_t kSlice = 4096;
    std::list<Slice> slices;
    std::future<void> pending;
    bool more = true;
    while (more) {
        Slice& slice = slices.emplace_back();
        slice.rows.reserve(kSlice);
        while (slice.rows.size() < kSlice && (more = rs->next())) {
            QString groupUID = tvxsql::textColumn(*rs, 3);
            if (!allowed.contains(groupUID) && groupUID != kUnfiledUID)
                continue;
            FetchedRecord row;
            row.uid = tvxsql::textColumn(*rs, 1);
            row.groupUID = std::move(groupUID);
            row.typeUID = tvxsql::textColumn(*rs, 2);
            for (int i = 0; i < 11; ++i)
                row.stored[i] = tvxsql::blobColumn(*rs, 4 + i);
            row.attached = rs->getBoolean(15);
            row.customised = rs->getBoolean(16);
            row.views = static_cast<int32_t>(rs->getInt64(17));
            slice.rows.push_back(std::move(row));
        }
        if (pending.valid())
            pending.get();
        pending = std::async(std::launch::async, [&decipher, &slice] { decipher(slice); });
    }
    if (pending.valid())
        pending.get();
    std::vector<std::shared_ptr<TVXRecord>> built;
    mRecordDigests.reserve(mRecordDigests.size() + qsizetype(slices.size() * kSlice));
    for (Slice& slice : slices) {
        for (std::size_t n = 0; n < slice.records.size(); ++n)
            mRecordDigests.insert(slice.records[n]->mRecordUID(), RecordDigest{slice.digests[n], 0, 0});
        for (auto& record : slice.records)
            built.push_back(std::move(record));
    }
    slices.clear();
    rs.reset();
    stmt.reset();

    TVXRecordCache customised;
    TVXRecordCache withAttachment;
    m_records.reserve(m_records.size() + static_cast<qsizetype>(built.size()));
    for (auto& record : built) {
        if (record->mIsCustomized())
            customised.insert(record->mRecordUID(), record);
        if (record->mHasAttachment())
            withAttachment.insert(record->mRecordUID(), record);
        m_records.insert(record->mRecordUID(), std::move(record));
    }

    // One statement per table instead of one per record; the result is what
    // the per-record readers give.
    int code = kTVXDone;
    if (!customised.isEmpty())
        readCustomTypes(customised);
    if (!withAttachment.isEmpty())
        readAttachmentHeaders(withAttachment, &code);
    return code;
}

std::shared_ptr<TVXType> TVXDataBase::customTypeFromRow(sql::ResultSet& rs) const
{
    auto type = TVXType::createType();
    type->setMTypeIconID(rs.getInt(2));
    type->setMTypeMask(rs.getInt(3));
    const auto& setters = TVXType::setFunctionsArray();
    for (int i = 0; i < 10; ++i)
        ((*type).*setters[i])(decryptString(tvxsql::blobColumn(rs, 4 + i)));
    if (!hasImageForIconIndex(type->mTypeIconID()))
        type->setMTypeIconID(kDefaultIcon);
    return type;
}

void TVXDataBase::applyCustomType(TVXRecord& record, std::shared_ptr<TVXType> type) const
{
    record.setMRecordCustomType(std::move(type));
}

void TVXDataBase::readCustomTypes(TVXRecordCache& records)
{
    try {
        std::unique_ptr<sql::Statement> stmt(mCPcon->createStatement());
        std::unique_ptr<sql::ResultSet> rs(stmt->executeQuery(kQueryAllCustomTypes));
        while (rs->next()) {
            const auto it = records.constFind(tvxsql::textColumn(*rs, 1));
            if (it == records.constEnd())
                continue;
            applyCustomType(**it, customTypeFromRow(*rs));
            QByteArray fields[10];
            for (int i = 0; i < 10; ++i)
                fields[i] = tvxsql::blobColumn(*rs, 4 + i);
            mRecordDigests[it.key()].customType = customTypeDigest(rs->getInt64(2), rs->getInt64(3), fields);
        }
    } catch (const sql::SQLException& e) {
        reportDatabaseError(e);
    }
}

void TVXDataBase::readCustomTypeForRecord(TVXRecord& record, int* code)
{
    try {
        std::unique_ptr<sql::PreparedStatement> stmt(mCPcon->prepareStatement(kQueryCustomType));
        stmt->setString(1, record.mRecordUID().toStdString());
        std::unique_ptr<sql::ResultSet> rs(stmt->executeQuery());
        while (rs->next()) {
            applyCustomType(record, customTypeFromRow(*rs));
            if (code)
                *code = kTVXDone;
        }
    } catch (const sql::SQLException& e) {
        const int failed = reportDatabaseError(e);
        if (code)
            *code = failed;
    }
}

void TVXDataBase::readAttachmentHeaders(TVXRecordCache& records, int* code)
{
    try {
        std::unique_ptr<sql::Statement> stmt(mCPcon->createStatement());
        std::unique_ptr<sql::ResultSet> rs(stmt->executeQuery(kQueryAttachmentHeaders));
        while (rs->next()) {
            const auto it = records.constFind(tvxsql::textColumn(*rs, 1));
            if (it == records.constEnd())
                continue;
            const QByteArray nameCipher = tvxsql::blobColumn(*rs, 2);
            const QByteArray keyCipher = tvxsql::blobColumn(*rs, 3);
            (*it)->setMAttachmentName(decryptString(nameCipher));
            const AttachmentKey key = decipherAttachmentKey(keyCipher);
            (*it)->setMAttachmentPassKey(key.passKey);
            (*it)->setMAttachmentLength(key.length);
            mRecordDigests[it.key()].attachment = attachmentDigest(nameCipher, keyCipher);
        }
        *code = kTVXDone;
    } catch (const sql::SQLException& e) {
        *code = reportDatabaseError(e);
    }
}

void TVXDataBase::readAttachmentForRecord(TVXRecord& record, int* code)
{
    try {
        std::unique_ptr<sql::PreparedStatement> stmt(mCPcon->prepareStatement(kQueryAttachmentHeader));
        stmt->setString(1, record.mRecordUID().toStdString());
        std::unique_ptr<sql::ResultSet> rs(stmt->executeQuery());
        while (rs->next()) {
            record.setMAttachmentName(decryptString(tvxsql::blobColumn(*rs, 2)));
            const AttachmentKey key = decipherAttachmentKey(tvxsql::blobColumn(*rs, 3));
            record.setMAttachmentPassKey(key.passKey);
            record.setMAttachmentLength(key.length);
        }
        if (code)
            *code = kTVXDone;
    } catch (const sql::SQLException& e) {
        const int failed = reportDatabaseError(e);
        if (code)
            *code = failed;
    }
}

std::optional<QVariantHash> TVXDataBase::passwordPolicyDetails(int* code)
{
    const auto readValue = [this](const char* query) {
        std::unique_ptr<sql::PreparedStatement> stmt(mCPcon->prepareStatement(query));
        std::unique_ptr<sql::ResultSet> rs(stmt->executeQuery());
        if (rs->next() && rs->rowsCount() > 0 && !rs->isNull(1))
            return tvxsql::textColumn(*rs, 1).trimmed().toInt();
        return 0;
    };
    if (code)
        *code = kTVXDone;
    try {
        if (!mCPcon)
            throw noConnection();
        QVariantHash policy;
        policy.insert(kSPPMinLength, readValue(kQueryReadPasswordPolicyAttrMinLength));
        policy.insert(kSPPCharSetFlag, readValue(kQueryReadPasswordPolicyAttrCharSetFlag));
        return policy;
    } catch (const sql::SQLException& e) {
        reportDatabaseError(e);
        return std::nullopt;
    }
}

bool TVXDataBase::typeNameFromDatabase(const QString& name)
{
    try {
        std::unique_ptr<sql::PreparedStatement> stmt(mCPcon->prepareStatement(kQueryTypeNames));
        stmt->setString(1, name.toStdString());
        std::unique_ptr<sql::ResultSet> rs(stmt->executeQuery());
        return rs->next();
    } catch (const sql::SQLException& e) {
        reportDatabaseError(e);
        return false;
    }
}

bool TVXDataBase::groupNameFromDatabase(const QString& name)
{
    try {
        std::unique_ptr<sql::PreparedStatement> stmt(mCPcon->prepareStatement(kQueryGroupNames));
        stmt->setString(1, name.toStdString());
        std::unique_ptr<sql::ResultSet> rs(stmt->executeQuery());
        return rs->next();
    } catch (const sql::SQLException& e) {
        reportDatabaseError(e);
        return false;
    }
}
