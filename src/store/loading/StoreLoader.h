#pragma once
// The manager's readers of the store's tables into the caches: the signed-in
// user's row, the groups, types and records with their custom types and
// attachment headers (TVXDataBase_Load.cpp). The manager's load, reload and
// log-in run them under its guard and error path.
#include "store/session/ResultCodes.h"

#include <QString>
#include <QStringList>

class TVXDataBase;
class TVXRecord;

class TVXStoreLoader {
public:
    explicit TVXStoreLoader(TVXDataBase& database) : mDatabase(database) {}
    TVXStoreLoader(const TVXStoreLoader&) = delete;
    TVXStoreLoader& operator=(const TVXStoreLoader&) = delete;

    // The account's user row with its groups, by name (the log-in's read)
    // and by identifier (the reload's).
    static const char kQueryUserRowForName[];
    static const char kQueryUserRowForID[];
    QString getUserIDForName(const QString& accountName, TVXResult* code = nullptr); // null: no such row
    // The user's row into the signed-in user; 6 a disabled account, 7 no user row.
    TVXResult readAllSavedRecordsForUserWithUserPrimaryNameID(const QString& userID);
    // The log-in's read of its account's user row and groups, in one
    // statement: as getUserIDForName and the read of that row together.
    TVXResult readUserForName(const QString& accountName);
    TVXResult readCatagoryTable();
    TVXResult readTypesTable();
    TVXResult readRecordTable();
    void readCustomTypeForRecord(TVXRecord& record, TVXResult* code);
    void readAttachmentForRecord(TVXRecord& record, TVXResult* code);
    bool typeNameFromDatabase(const QString& name);
    bool groupNameFromDatabase(const QString& name);

private:
    TVXResult readUserWithGroups(const char* query, const QString& key);

    TVXDataBase& mDatabase;
};
