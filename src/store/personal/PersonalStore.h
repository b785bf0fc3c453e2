#pragma once
// The personal group and personal records, owned by the database manager.
// Every user has a group of their own: the GROUPTABLE row keyed by the user's
// identifier, which the group reader leaves out. Its records are ordinary
// RECORDTABLE rows filed under that identifier. The manager holds one of these
// and hands it to the callers that use it.
#include "store/session/ReadAhead.h"
#include "store/session/ResultCodes.h"
#include <QList>
#include <QString>
#include <QStringList>

#include <memory>

namespace sql {
class ResultSet;
}
class TVXDataBase;
class TVXRecord;
class TVXUser;
class TVXUserAccount;

class TVXPersonalAccess {
public:
    explicit TVXPersonalAccess(TVXDataBase& database) : mDatabase(database) {}

    // "Personal-<name>", the first word through the translation table.
    static QString personalGroupNameForUser(const QString& username);
    QString currentUserPersnaolGroupName() const;
    // The signed-in user's personal group into mGroups (nothing when it has no
    // row); 0. Server errors pass to the calling worker.
    TVXResult readPersonalGroup();
    // What the load's readPersonalGroup and readUserPersonalRecords read, in their order.
    static std::vector<TVXReadAhead::Read> loadReads(const QString& userID);
    // The records filed in the user's personal group. readCompletely: into
    // mRecords with their group and type, and an empty list back. Otherwise
    // returned and not cached, without group or type, in attachment state 4,
    // ready to be re-enciphered. On a failure `code` receives its code and the
    // list holds what was read before it; nothing enters mRecords then.
    QList<std::shared_ptr<TVXRecord>> readUserPersonalRecords(const QString& userID, bool readCompletely,
                                                              TVXResult* code = nullptr);
    // The detached personal records of each user, in the list's order; stops at the first failure.
    QList<std::shared_ptr<TVXRecord>> personalDBRecords(const QStringList& userIDs, TVXResult* code = nullptr);
    // Every user identifier of the store, in the server's order.
    QStringList allUsersUIDS(TVXResult* code = nullptr);

    // Writers of a user's personal group: 0 done, 8 no row changed (already
    // there, or missing), 3 refused or a server error, 1 any other failure.
    // mGroups follows only for the signed-in user, and only once the server
    // accepted the change.
    // The signed-in user or an account of the account window.
    TVXResult addUserPersonalGroup(const TVXUserAccount& user);
    // Renames the group after the account's name.
    TVXResult renameUserPersonalGroup(const TVXUserAccount& user);
    // Renames the group after the name the store holds for the user; 8 when
    // the user or the group has no row.
    TVXResult renamePersonalGroupForUser(const QString& userID);
    // Every listed user's group name enciphered again under the current field
    // encrypter, all or nothing; users without a personal group are passed over.
    TVXResult reEncryptPersonalGroups(const QStringList& userIDs);
    // The server drops the group's records with it.
    TVXResult deleteUserPersonalGroup(const TVXUserAccount& user);
    // The records' values written again under the current field encrypter, all
    // or nothing; 8 when a record is no longer stored.
    TVXResult reEncryptPersonalRecords(const QList<std::shared_ptr<TVXRecord>>& records);

private:
    TVXResult storePersonalGroupName(const QString& userID, const QString& name);
    TVXResult lookUpUserName(const QString& userID, QString* username);
    TVXResult renamePersonalGroup(const QString& userID, const QString& username);
    std::shared_ptr<TVXRecord> personalRecordFromRow(sql::ResultSet& rs, bool readCompletely,
                                                     const QString& now) const;
    // Hand-over points to the record storage and attachment writers, which
    // re-encipher a record's custom type and attachment.
    TVXResult rewritePersonalCustomType(TVXRecord& record);
    TVXResult rewritePersonalAttachment(TVXRecord& record);
    TVXUser& currentUser() const;

    TVXDataBase& mDatabase;
};
