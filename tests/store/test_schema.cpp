// The schema and the store-creation code against a real server: every
// statement the client sends fits the tables, the tables behave as the
// client relies on, and accounts are made safely.
#include "store/schema/QueryConstants.h"
#include "store/TVXDataBase.h"
#include "support/GreetingRelay.h"
#include "support/TestStore.h"

#include <cppconn/connection.h>
#include <cppconn/driver.h>
#include <cppconn/exception.h>
#include <cppconn/prepared_statement.h>
#include <cppconn/statement.h>

#include <QByteArray>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>

using namespace teststore;

namespace {

using Schema = StoreTest;

struct NamedStatement {
    const char* name;
    QString text;
};

std::vector<NamedStatement> everyStatement()
{
    std::vector<NamedStatement> all = {
        {"kQueryGroupNotPersonal", QString::fromUtf8(kQueryGroupNotPersonal)},
        {"kQueryGroupNames", QString::fromUtf8(kQueryGroupNames)},
        {"kQueryGroupInsert", QString::fromUtf8(kQueryGroupInsert)},
        {"kQueryGroupUpdate", QString::fromUtf8(kQueryGroupUpdate)},
        {"kQueryGroupDelete", QString::fromUtf8(kQueryGroupDelete)},
        {"kQueryPersonalGroup", QString::fromUtf8(kQueryPersonalGroup)},
        {"kQueryGroupUpdateName", QString::fromUtf8(kQueryGroupUpdateName)},
        {"kQueryTypes", QString::fromUtf8(kQueryTypes)},
        {"kQueryTypeNames", QString::fromUtf8(kQueryTypeNames)},
        {"kQueryTypeInsert", QString::fromUtf8(kQueryTypeInsert)},
        {"kQueryUpdateType", QString::fromUtf8(kQueryUpdateType)},
        {"kQueryDeleteType", QString::fromUtf8(kQueryDeleteType)},
        {"kQueryRecords", QString::fromUtf8(kQueryRecords)},
        {"kQueryRecordInsert", QString::fromUtf8(kQueryRecordInsert)},
        {"kQueryUpdateRecord", QString::fromUtf8(kQueryUpdateRecord)},
        {"kQueryDeleteRecord", QString::fromUtf8(kQueryDeleteRecord)},
        {"kQueryUpdateRecordViewCount", QString::fromUtf8(kQueryUpdateRecordViewCount)},
        {"kQueryRemoveUIDDeletedGroup", QString::fromUtf8(kQueryRemoveUIDDeletedGroup)},
        {"kQueryUserPersonalRecords", QString::fromUtf8(kQueryUserPersonalRecords)},
        {"kQueryUpdatePersonalRecord", QString::fromUtf8(kQueryUpdatePersonalRecord)},
        {"kQueryCustomType", QString::fromUtf8(kQueryCustomType)},
        {"kQueryReplaceCustomType", QString::fromUtf8(kQueryReplaceCustomType)},
        {"kQueryDeleteCustomType", QString::fromUtf8(kQueryDeleteCustomType)},
        {"kQueryAttachments", QString::fromUtf8(kQueryAttachments)},
        {"kQueryInsertAttachmentTable", QString::fromUtf8(kQueryInsertAttachmentTable)},
        {"kQueryUpdateAttachmentTable", QString::fromUtf8(kQueryUpdateAttachmentTable)},
        {"kQueryDeleteAttachmentTable", QString::fromUtf8(kQueryDeleteAttachmentTable)},
        {"kQueryCopyAttchmentRow", QString::fromUtf8(kQueryCopyAttchmentRow)},
        {"kQueryIcons", QString::fromUtf8(kQueryIcons)},
        {"SelMaxIconTblval", QString::fromUtf8(SelMaxIconTblval)},
        {"kInsertCustomIconTable", QString::fromUtf8(kInsertCustomIconTable)},
        {"kQueryMostViewedTable", QString::fromUtf8(kQueryMostViewedTable)},
        {"kQueryInsertMostViewedTable", QString::fromUtf8(kQueryInsertMostViewedTable)},
        {"kQueryDeleteMostViewedTable", QString::fromUtf8(kQueryDeleteMostViewedTable)},
        {"kQueryRemoveFirstRowMostViewed", QString::fromUtf8(kQueryRemoveFirstRowMostViewed)},
        {"kQueryRecentlyViewedTable", QString::fromUtf8(kQueryRecentlyViewedTable)},
        {"kQueryInsertRecentlyViewedTable", QString::fromUtf8(kQueryInsertRecentlyViewedTable)},
        {"kQueryDeleteRecentlyViewedTable", QString::fromUtf8(kQueryDeleteRecentlyViewedTable)},
        {"kQueryRemoveFirstRowRecentlyViewed", QString::fromUtf8(kQueryRemoveFirstRowRecentlyViewed)},
        {"kQueryRecentlyModifiedTable", QString::fromUtf8(kQueryRecentlyModifiedTable)},
        {"kQueryInsertRecentlyModifiedTable", QString::fromUtf8(kQueryInsertRecentlyModifiedTable)},
        {"kQueryDeleteRecentlyModifiedTable", QString::fromUtf8(kQueryDeleteRecentlyModifiedTable)},
        {"kQueryRemoveFirstRowRecentlyModified", QString::fromUtf8(kQueryRemoveFirstRowRecentlyModified)},
        {"kQueryRecentlyAddedTable", QString::fromUtf8(kQueryRecentlyAddedTable)},
        {"kQueryInsertRecentlyAddedTable", QString::fromUtf8(kQueryInsertRecentlyAddedTable)},
        {"kQueryDeleteRecentlyAddedTable", QString::fromUtf8(kQueryDeleteRecentlyAddedTable)},
        {"kQueryRemoveFirstRowRecentlyAdded", QString::fromUtf8(kQueryRemoveFirstRowRecentlyAdded)},
        {"kQueryGetUserID", QString::fromUtf8(kQueryGetUserID)},
        {"kQueryUserDetails", QString::fromUtf8(kQueryUserDetails)},
        {"kRemovePasswordFromUserTable", QString::fromUtf8(kRemovePasswordFromUserTable)},
        {"kQueryUpdateUserPassword", QString::fromUtf8(kQueryUpdateUserPassword)},
        {"kQueryGetUserName", QString::fromUtf8(kQueryGetUserName)},
        {"kQueryAllUserUIDS", QString::fromUtf8(kQueryAllUserUIDS)},
        {"kQuerySelectUserGroupList", QString::fromUtf8(kQuerySelectUserGroupList)},
        {"kQuerySelectGroupUserList", QString::fromUtf8(kQuerySelectGroupUserList)},
        {"kQueryDeleteAllUsersForGroup", QString::fromUtf8(kQueryDeleteAllUsersForGroup)},
        {"kQueryInsertIntoUserGroupList", QString::fromUtf8(kQueryInsertIntoUserGroupList)},
        {"kQueryDeleteGroupFromUserGroupList", QString::fromUtf8(kQueryDeleteGroupFromUserGroupList)},
        {"kQueryGroupSubGroupTable", QString::fromUtf8(kQueryGroupSubGroupTable)},
        {"kQueryDeleteAllSubGroupForGroup", QString::fromUtf8(kQueryDeleteAllSubGroupForGroup)},
        {"kQueryInsertGroupSubGroupTable", QString::fromUtf8(kQueryInsertGroupSubGroupTable)},
        {"kQueryAppPreference", QString::fromUtf8(kQueryAppPreference)},
        {"kQueryInsertToAppPreferenceTable", QString::fromUtf8(kQueryInsertToAppPreferenceTable)},
        {"kQueryUpdateAppPreferenceTable", QString::fromUtf8(kQueryUpdateAppPreferenceTable)},
        {"kUpdateBasicPrefToAppPrefTable", QString::fromUtf8(kUpdateBasicPrefToAppPrefTable)},
        {"UpdLastViewVal", QString::fromUtf8(UpdLastViewVal)},
        {"UpdCurCatVal", QString::fromUtf8(UpdCurCatVal)},
        {"UpdShowDetailPaneVal", QString::fromUtf8(UpdShowDetailPaneVal)},
        {"UpdSortInfoVal", QString::fromUtf8(UpdSortInfoVal)},
        {"UpdPwdGenFlagVal", QString::fromUtf8(UpdPwdGenFlagVal)},
        {"UpdLoginAtmptCntVal", QString::fromUtf8(UpdLoginAtmptCntVal)},
        {"UpdHintQnNoVal", QString::fromUtf8(UpdHintQnNoVal)},
        {"UpdHintQnAnsVal", QString::fromUtf8(UpdHintQnAnsVal)},
        {"UpdHintQnVal", QString::fromUtf8(UpdHintQnVal)},
        {"kQuerySelectDatabaseInfoTable", QString::fromUtf8(kQuerySelectDatabaseInfoTable)},
        {"kQueryReadPasswordPolicyAttrMinLength", QString::fromUtf8(kQueryReadPasswordPolicyAttrMinLength)},
        {"kQueryReadPasswordPolicyAttrCharSetFlag", QString::fromUtf8(kQueryReadPasswordPolicyAttrCharSetFlag)},
        {"KQuerySelectColumnInfoTable", QString::fromUtf8(KQuerySelectColumnInfoTable)},
        {"KQueryInsertIntoColumnInfoTable", QString::fromUtf8(KQueryInsertIntoColumnInfoTable)},
        {"KQueryInsertEventLoggerTable", QString::fromUtf8(KQueryInsertEventLoggerTable)},
        {"KQuerySelectEventLoggerTable", QString::fromUtf8(KQuerySelectEventLoggerTable)},
        {"kMinDateFromEventLoggerTable", QString::fromUtf8(kMinDateFromEventLoggerTable)},
        {"kDeleteAllLogsFromEventLoggerTable", QString::fromUtf8(kDeleteAllLogsFromEventLoggerTable)},
        {"kQueryPrivLikeRoot", QString::fromUtf8(kQueryPrivLikeRoot)},
        {"kFlushPriviliges", QString::fromUtf8(kFlushPriviliges)},
    };
    // The two name tests are formats: complete them as their callers do.
    all.push_back({"kQueryGroupNameLike", QString::fromUtf8(kQueryGroupNameLike).replace("%s", "00")});
    all.push_back({"kQueryTypeNameLike", QString::fromUtf8(kQueryTypeNameLike).replace("%s", "00")});
    return all;
}

} // namespace

TEST_F(Schema, EveryStatementPreparesAgainstTheTables)
{
    auto root = rootConnection();
    root->setSchema(kTolvanexSchema);
    for (const auto& statement : everyStatement()) {
        try {
            std::unique_ptr<sql::PreparedStatement> prepared(root->prepareStatement(statement.text.toStdString()));
        } catch (const sql::SQLException& e) {
            ADD_FAILURE() << statement.name << ": " << e.what();
        }
    }
}

TEST_F(Schema, ColumnsAreInTheOrderReadersExpect)
{
    const auto columns = [](const QString& table) {
        // What "SELECT *" and "INSERT ... VALUES" see: the visible columns.
        return rootQueryValue(QStringLiteral("SELECT GROUP_CONCAT(COLUMN_NAME ORDER BY ORDINAL_POSITION) FROM "
                                             "information_schema.COLUMNS WHERE TABLE_SCHEMA='tolvanexdb' AND "
                                             "TABLE_NAME='%1' AND EXTRA NOT LIKE '%INVISIBLE%'")
                                  .arg(table));
    };
    EXPECT_EQ(columns("recordtable"), "RECORDID,TYPEUID,GROUPUID,FIELD1,FIELD2,FIELD3,FIELD4,FIELD5,FIELD6,FIELD7,"
                                      "FIELD8,FIELD9,FIELD10,NOTE,HASATTACHMENT,HASCUSTOMFIELD,VIEWCOUNT");
    EXPECT_EQ(columns("usergrouptable"), "GROUPID,USERID");
    EXPECT_EQ(columns("usertable"), "USERID,USERNAME,PASSWORD,PLATFORMNAME,GROUPPERMISSION,TYPEPERMISSION,"
                                    "RECORDPERMISSION,DATAPERMISSION,CANCHANGEPASSWORD,ISACCOUNTDISABLED");
    EXPECT_EQ(columns("apppreftable").split(',').size(), 41);
    EXPECT_TRUE(columns("apppreftable").endsWith("LOGINATTEMPTCOUNT,EXPORTIMPORTTIP,BACKUPRESTORETIP"));
    EXPECT_EQ(columns("columninfotable").split(',').size(), 16);
    EXPECT_EQ(columns("eventloggertable").split(',').size(), 6);
    EXPECT_EQ(columns("customicontable"), "ICONINDEX,DATA");
    EXPECT_EQ(columns("mostviewedtable"), "USERID,RECORDID");
    // The client's seventeen tables (eight of them views over their rows), the
    // record of the store's accounts, the group-list writers, the
    // master-password lock row and the four key tables.
    EXPECT_EQ(rootQueryValue("SELECT COUNT(*) FROM information_schema.TABLES WHERE TABLE_SCHEMA='tolvanexdb' AND "
                             "TABLE_TYPE='BASE TABLE'"),
              "24");
    EXPECT_EQ(rootQueryValue("SELECT GROUP_CONCAT(TABLE_NAME ORDER BY TABLE_NAME) FROM information_schema.VIEWS "
                             "WHERE TABLE_SCHEMA='tolvanexdb'"),
              "appprefselfview,attachmenttable,columninfotable,customtypetable,mostviewedtable,recentlyaddedkeys,"
              "recentlyaddedtable,"
              "recentlymodifiedtable,recentlyviewedtable,recordtable,tvxseengroups");
}

TEST_F(Schema, APartViewFindsItsRecordsGroupInTheNarrowIndex)
{
    // Each custom field set and attachment a load reads looks up its record's
    // group: in the wide record rows that made a large store's load slower.
    rootExec("INSERT INTO tolvanexdb.GROUPTABLE VALUES ('00000000000000A1', 'g', 0, 0)");
    for (int r = 1; r <= 40; ++r) {
        const QString id = QStringLiteral("%1").arg(r, 16, 16, QLatin1Char('0')).toUpper();
        rootExec(QStringLiteral("INSERT INTO tolvanexdb.RECORDTABLE (RECORDID, TYPEUID, GROUPUID, NOTE) VALUES "
                                "('%1', '0000000000000000', '%2', REPEAT('n', 2000))")
                     .arg(id, r % 2 ? QStringLiteral("00000000000000A1") : QStringLiteral("0000000000000000")));
        if (r % 4 == 0) {
            rootExec(QStringLiteral("INSERT INTO tolvanexdb.CUSTOMTYPETABLE (RECORDID) VALUES ('%1')").arg(id));
            rootExec(QStringLiteral("INSERT INTO tolvanexdb.ATTACHMENTTABLE VALUES ('%1', 'n', 'k', 'd')").arg(id));
        }
    }
    rootExec("ANALYZE TABLE tolvanexdb.RECORDROWS, tolvanexdb.CUSTOMTYPEROWS, tolvanexdb.ATTACHMENTROWS");
    // The key each read of the record rows takes in the plan.
    const std::function<void(const QJsonValue&, QStringList&)> recordKeys = [&](const QJsonValue& v, QStringList& keys) {
        if (v.isArray())
            for (const QJsonValue& item : v.toArray())
                recordKeys(item, keys);
        if (!v.isObject())
            return;
        const QJsonObject o = v.toObject();
        if (o.value("table_name").toString() == "r")
            keys << o.value("key").toString();
        for (const QJsonValue& child : o)
            recordKeys(child, keys);
    };
    for (const char* statement : {"select * from CUSTOMTYPETABLE",
                                  "SELECT RECORDID, ATTACHMENTNAME, ENCRYPTIONKEY FROM ATTACHMENTTABLE"}) {
        const QString plan = rootQueryValue(QStringLiteral("EXPLAIN FORMAT=JSON %1").arg(statement).replace(
            "FROM ", "FROM tolvanexdb.", Qt::CaseInsensitive));
        QStringList keys;
        recordKeys(QJsonDocument::fromJson(plan.toUtf8()).object(), keys);
        EXPECT_EQ(keys, QStringList{"RECORD_READER"}) << statement << '\n' << plan.toStdString();
    }
}

TEST_F(Schema, EveryTableHasAPrimaryKeyAndAClusterReplicatesEveryOne)
{
    // A cluster applies row changes of a keyless table by scanning it, and
    // replicates no MyISAM table at all.
    EXPECT_EQ(rootQueryValue("SELECT GROUP_CONCAT(TABLE_NAME) FROM information_schema.TABLES t WHERE "
                             "TABLE_SCHEMA='tolvanexdb' AND TABLE_TYPE='BASE TABLE' AND NOT EXISTS (SELECT 1 FROM "
                             "information_schema.TABLE_CONSTRAINTS c WHERE c.TABLE_SCHEMA=t.TABLE_SCHEMA AND "
                             "c.TABLE_NAME=t.TABLE_NAME AND c.CONSTRAINT_TYPE='PRIMARY KEY')"),
              "");
    EXPECT_EQ(rootQueryValue("SELECT GROUP_CONCAT(TABLE_NAME ORDER BY TABLE_NAME) FROM information_schema.COLUMNS "
                             "WHERE TABLE_SCHEMA='tolvanexdb' AND COLUMN_NAME='ROWKEY' AND "
                             "EXTRA LIKE '%auto_increment%' AND EXTRA LIKE '%INVISIBLE%' AND COLUMN_KEY='PRI'"),
              "eventloggertable,mostviewedrows,recentlyaddedrows,recentlymodifiedrows,recentlyviewedrows");
    EXPECT_EQ(rootQueryValue("SELECT COLUMN_NAME FROM information_schema.KEY_COLUMN_USAGE WHERE "
                             "TABLE_SCHEMA='tolvanexdb' AND TABLE_NAME='customicontable' AND CONSTRAINT_NAME='PRIMARY'"),
              "ICONINDEX");
    EXPECT_EQ(rootQueryValue("SELECT ENGINE FROM information_schema.TABLES WHERE TABLE_SCHEMA='mysql' AND "
                             "TABLE_NAME='user_info'"),
              "InnoDB");

    // A number taken is refused, never overwritten.
    rootExec("INSERT INTO tolvanexdb.CUSTOMICONTABLE VALUES (1001, 'first')");
    auto root = rootConnection();
    root->setSchema(kTolvanexSchema);
    std::unique_ptr<sql::PreparedStatement> insert(root->prepareStatement(kInsertCustomIconTable));
    insert->setInt(1, 1001);
    insert->setString(2, "second");
    EXPECT_THROW(insert->executeUpdate(), sql::SQLException);
    EXPECT_EQ(rootQueryValue("SELECT DATA FROM tolvanexdb.CUSTOMICONTABLE WHERE ICONINDEX=1001"), "first");
}

TEST_F(Schema, AFailedCreationLeavesNothingBehind)
{
    // An account that may make the database but not the server's user_info table.
    rootExec("DROP TABLE mysql.user_info");
    rootExec("CREATE USER 'maker'@'%' IDENTIFIED BY 'maker-pw'");
    rootExec("GRANT ALL ON tolvanexdb.* TO 'maker'@'%'");
    rootExec("DROP DATABASE tolvanexdb");
    sql::ConnectOptionsMap options;
    options["hostName"] = sql::SQLString("tcp://127.0.0.1:" + std::to_string(port()));
    options["userName"] = sql::SQLString("maker");
    options["password"] = sql::SQLString("maker-pw");
    options["sslEnforce"] = true;
    TVXStoreCreator creator(std::unique_ptr<sql::Connection>(get_driver_instance()->connect(options)));
    const StoreResult result = creator.createStore(kMasterPassword, false);
    EXPECT_FALSE(result.ok);
    EXPECT_EQ(rootQueryValue("SELECT COUNT(*) FROM information_schema.SCHEMATA WHERE SCHEMA_NAME='tolvanexdb'"), "0");
    EXPECT_EQ(rootQueryValue("SELECT COUNT(*) FROM information_schema.TABLES WHERE TABLE_SCHEMA='mysql' AND "
                             "TABLE_NAME='user_info'"),
              "0");
}

TEST_F(Schema, AnOlderStoreIsBroughtUpToDateKeepingEveryRow)
{
    // The tables as earlier versions made them: no keys, user_info MyISAM,
    // a custom icon number taken twice, records in plain tables.
    for (const QString& step : olderStoreRules())
        rootExec(step);
    for (const char* table : {"MOSTVIEWEDTABLE", "RECENTLYVIEWEDTABLE", "RECENTLYMODIFIEDTABLE",
                              "RECENTLYADDEDTABLE", "EVENTLOGGERTABLE"})
        rootExec(QStringLiteral("ALTER TABLE tolvanexdb.%1 DROP PRIMARY KEY, DROP COLUMN ROWKEY").arg(table));
    rootExec("ALTER TABLE tolvanexdb.CUSTOMICONTABLE DROP PRIMARY KEY, ADD KEY ICONINDEX (ICONINDEX)");
    rootExec("ALTER TABLE mysql.user_info ENGINE=MyISAM");
    for (const char* event : {"third", "first", "second"})
        rootExec(QStringLiteral("INSERT INTO tolvanexdb.EVENTLOGGERTABLE VALUES ('%1', '', '', '', '', '')").arg(event));
    rootExec("INSERT INTO tolvanexdb.CUSTOMICONTABLE VALUES (1001, 'A'), (1002, 'B'), (1001, 'C')");
    rootExec("INSERT INTO mysql.user_info (User, Full_name) VALUES ('alice', 'Alice Adams')");

    TVXStoreCreator creator(rootConnection());
    const StoreResult result = creator.upgradeSchema();
    ASSERT_TRUE(result.ok) << result.message.toStdString();
    EXPECT_TRUE(result.message.contains("1003")) << result.message.toStdString();
    EXPECT_TRUE(result.message.contains("RECORDTABLE is a view over RECORDROWS")) << result.message.toStdString();
    EXPECT_TRUE(result.message.contains("MOSTVIEWEDTABLE is a view over MOSTVIEWEDROWS")) << result.message.toStdString();
    // A save locks the copy of the master password's row: it holds the row's value.
    EXPECT_EQ(rootQueryValue("SELECT VALUE = (SELECT VALUE FROM tolvanexdb.DATABASEINFOTABLE WHERE NAME='DBPASSWORD') "
                             "FROM tolvanexdb.TVXMASTERPASSWORDTABLE"),
              "1");

    EXPECT_EQ(rootQueryValue("SELECT GROUP_CONCAT(EVENT ORDER BY ROWKEY) FROM tolvanexdb.EVENTLOGGERTABLE"),
              "third,first,second");
    // The picture clients showed for 1001 keeps it; the hidden one gets a number of its own.
    EXPECT_EQ(rootQueryValue("SELECT GROUP_CONCAT(ICONINDEX, DATA ORDER BY ICONINDEX) FROM "
                             "tolvanexdb.CUSTOMICONTABLE"),
              "1001C,1002B,1003A");
    EXPECT_EQ(rootQueryValue("SELECT CONCAT(ENGINE, ' ', (SELECT Full_name FROM mysql.user_info)) FROM "
                             "information_schema.TABLES WHERE TABLE_SCHEMA='mysql' AND TABLE_NAME='user_info'"),
              "InnoDB Alice Adams");
    EXPECT_EQ(rootQueryValue("SELECT COUNT(*) FROM information_schema.TABLE_CONSTRAINTS WHERE "
                             "TABLE_SCHEMA='tolvanexdb' AND CONSTRAINT_TYPE='PRIMARY KEY'"),
              "24"); // the client's tables, the record of the store's accounts, the list writers, the lock row, the keys
    // Every link names a key table (or a record).
    EXPECT_EQ(rootQueryValue("SELECT GROUP_CONCAT(DISTINCT REFERENCED_TABLE_NAME ORDER BY REFERENCED_TABLE_NAME) FROM "
                             "information_schema.REFERENTIAL_CONSTRAINTS WHERE CONSTRAINT_SCHEMA='tolvanexdb'"),
              "recordrows,tvxgroupkeys,tvxtypekeys,tvxuserkeys");
    // Store accounts still read the account details.
    TVXDataBase db;
    EXPECT_EQ(logInAndLoad(db), kTVXDone);

    const StoreResult again = creator.upgradeSchema();
    EXPECT_TRUE(again.ok);
    EXPECT_TRUE(again.message.contains("up to date")) << again.message.toStdString();
}

TEST_F(Schema, AnUpgradeThatStopsHalfwayTellsWhatItChangedAndARerunFinishesIt)
{
    for (const QString& step : olderStoreRules())
        rootExec(step);
    for (const char* table : {"RECENTLYADDEDTABLE", "EVENTLOGGERTABLE"})
        rootExec(QStringLiteral("ALTER TABLE tolvanexdb.%1 DROP PRIMARY KEY, DROP COLUMN ROWKEY").arg(table));
    rootExec("ALTER TABLE tolvanexdb.CUSTOMICONTABLE DROP PRIMARY KEY, ADD KEY ICONINDEX (ICONINDEX)");
    rootExec("ALTER TABLE mysql.user_info ENGINE=MyISAM");
    rootExec("INSERT INTO tolvanexdb.CUSTOMICONTABLE VALUES (1001, 'A'), (1001, 'C')");
    rootExec("REPLACE INTO mysql.user_info (User, Full_name) VALUES ('alice', 'Alice Adams')");
    const QString accountRows = rootQueryValue("SELECT GROUP_CONCAT(User, Full_name ORDER BY User) FROM mysql.user_info");

    // An administrator who may change the store's tables but not the server's own.
    rootExec("DROP USER IF EXISTS 'upgrader'@'%'");
    rootExec("CREATE USER 'upgrader'@'%' IDENTIFIED BY 'upgrader-pw'");
    rootExec("GRANT ALL ON tolvanexdb.* TO 'upgrader'@'%'");
    rootExec("GRANT SELECT ON mysql.* TO 'upgrader'@'%'");
    sql::ConnectOptionsMap options;
    options["hostName"] = sql::SQLString("tcp://127.0.0.1:" + std::to_string(port()));
    options["userName"] = sql::SQLString("upgrader");
    options["password"] = sql::SQLString("upgrader-pw");
    options["sslEnforce"] = true; // the server takes no TCP connection without TLS
    {
        TVXStoreCreator limited(std::unique_ptr<sql::Connection>(get_driver_instance()->connect(options)));
        const StoreResult stopped = limited.upgradeSchema();
        EXPECT_FALSE(stopped.ok);
        for (const char* told : {"EVENTLOGGERTABLE has an invisible row key", "CUSTOMICONTABLE is keyed by ICONINDEX",
                                 "now have the numbers 1002", "Run it again"})
            EXPECT_TRUE(stopped.message.contains(QLatin1String(told))) << stopped.message.toStdString();
    }
    rootExec("DROP USER 'upgrader'@'%'");

    TVXStoreCreator creator(rootConnection());
    const StoreResult finished = creator.upgradeSchema();
    ASSERT_TRUE(finished.ok) << finished.message.toStdString();
    EXPECT_EQ(finished.message, "mysql.user_info is now InnoDB (its rows were copied from this server).");
    EXPECT_EQ(rootQueryValue("SELECT ENGINE FROM information_schema.TABLES WHERE TABLE_SCHEMA='mysql' AND "
                             "TABLE_NAME='user_info'"),
              "InnoDB");
    EXPECT_EQ(rootQueryValue("SELECT GROUP_CONCAT(User, Full_name ORDER BY User) FROM mysql.user_info"), accountRows);
    EXPECT_EQ(rootQueryValue("SELECT GROUP_CONCAT(ICONINDEX, DATA ORDER BY ICONINDEX) FROM tolvanexdb.CUSTOMICONTABLE"),
              "1001C,1002A");
    EXPECT_EQ(creator.upgradeSchema().message, "The store's tables are up to date.");
}

// A run that stopped after converting the server's MyISAM user_info in place
// (a cluster in STRICT_REPLICATION mode converts one, but neither renames nor
// drops it) left the copy of its rows beside it: a rerun swaps the copy in.
TEST_F(Schema, ARerunFinishesAUserInfoCopyLeftBehind)
{
    rootExec("REPLACE INTO mysql.user_info (User, Full_name) VALUES ('alice', 'Alice Adams')");
    rootExec("CREATE TABLE mysql.user_info_new LIKE mysql.user_info");
    rootExec("INSERT INTO mysql.user_info_new SELECT * FROM mysql.user_info");
    rootExec("UPDATE mysql.user_info SET Full_name='changed meanwhile, not kept' WHERE User='alice'");
    const QString copied = rootQueryValue("SELECT GROUP_CONCAT(User, Full_name ORDER BY User) FROM mysql.user_info_new");

    TVXStoreCreator creator(rootConnection());
    const StoreResult finished = creator.upgradeSchema();
    ASSERT_TRUE(finished.ok) << finished.message.toStdString();
    EXPECT_TRUE(finished.message.contains("mysql.user_info is now InnoDB")) << finished.message.toStdString();
    EXPECT_EQ(rootQueryValue("SELECT GROUP_CONCAT(User, Full_name ORDER BY User) FROM mysql.user_info"), copied);
    EXPECT_EQ(rootQueryValue("SELECT COUNT(*) FROM information_schema.TABLES WHERE TABLE_SCHEMA='mysql' AND "
                             "TABLE_NAME LIKE 'user\\_info\\_%'"),
              "0");
    EXPECT_EQ(creator.upgradeSchema().message, "The store's tables are up to date.");
}

TEST_F(Schema, DeletingAGroupDeletesItsRecordsAndTheirRows)
{
    rootExec("INSERT INTO tolvanexdb.GROUPTABLE VALUES ('00000000000000A1', 'g', 0, 0)");
    rootExec("INSERT INTO tolvanexdb.RECORDTABLE (RECORDID, TYPEUID, GROUPUID) VALUES "
             "('00000000000000B1', '0000000000000000', '00000000000000A1')");
    rootExec("INSERT INTO tolvanexdb.CUSTOMTYPETABLE (RECORDID) VALUES ('00000000000000B1')");
    rootExec("INSERT INTO tolvanexdb.ATTACHMENTTABLE VALUES ('00000000000000B1', 'n', 'k', 'd')");
    rootExec(QStringLiteral("INSERT INTO tolvanexdb.MOSTVIEWEDTABLE VALUES ('%1', '00000000000000B1')").arg(aliceID));
    rootExec(QStringLiteral("INSERT INTO tolvanexdb.USERGROUPTABLE (USERID, GROUPID) VALUES ('%1', '00000000000000A1')")
                 .arg(aliceID));

    rootExec("DELETE FROM tolvanexdb.GROUPTABLE WHERE UID='00000000000000A1'");
    for (const char* table : {"RECORDTABLE", "CUSTOMTYPETABLE", "ATTACHMENTTABLE", "MOSTVIEWEDTABLE", "USERGROUPTABLE"})
        EXPECT_EQ(rootQueryValue(QStringLiteral("SELECT COUNT(*) FROM tolvanexdb.%1").arg(table)), "0") << table;
}

TEST_F(Schema, PersonalGroupsAreLeftOutOfTheGroupList)
{
    // A personal group has the user's identifier; an ordinary group may bear the user's name.
    rootExec(QStringLiteral("INSERT INTO tolvanexdb.GROUPTABLE VALUES ('%1', 'alice', 0, 0)").arg(aliceID));
    rootExec("INSERT INTO tolvanexdb.GROUPTABLE VALUES ('00000000000000A1', 'alice', 0, 0)");
    EXPECT_EQ(rootQueryValue(QStringLiteral("SELECT GROUP_CONCAT(UID ORDER BY UID) FROM (%1) AS g")
                                 .arg(QString::fromUtf8(kQueryGroupNotPersonal).replace("GROUPTABLE", "tolvanexdb.GROUPTABLE")
                                          .replace("USERTABLE", "tolvanexdb.USERTABLE"))),
              "0000000000000000,00000000000000A1");
}

TEST_F(Schema, AnExistingStoreIsNotOverwritten)
{
    rootExec("INSERT INTO tolvanexdb.GROUPTABLE VALUES ('00000000000000A1', 'g', 0, 0)");
    auto root = rootConnection();
    TVXStoreCreator creator(std::move(root));
    const StoreResult result = creator.createStore(QStringLiteral("other"), false);
    EXPECT_FALSE(result.ok);
    EXPECT_TRUE(result.message.contains("already exists"));
    EXPECT_EQ(rootQueryValue("SELECT COUNT(*) FROM tolvanexdb.GROUPTABLE"), "2");
}

TEST_F(Schema, StoreUsersGetOnlyTheStoreRights)
{
    // Table by table: nothing on the whole store database, nothing server-wide.
    EXPECT_EQ(rootQueryValue("SELECT COUNT(*) FROM information_schema.SCHEMA_PRIVILEGES WHERE GRANTEE=\"'alice'@'%'\""),
              "0");
    EXPECT_EQ(rootQueryValue("SELECT COUNT(*) FROM information_schema.USER_PRIVILEGES WHERE GRANTEE=\"'alice'@'%'\" "
                             "AND PRIVILEGE_TYPE<>'USAGE'"),
              "0");
    const auto tableRights = [](const QString& table) {
        return rootQueryValue(QStringLiteral("SELECT GROUP_CONCAT(PRIVILEGE_TYPE ORDER BY PRIVILEGE_TYPE) FROM "
                                             "information_schema.TABLE_PRIVILEGES WHERE GRANTEE=\"'alice'@'%'\" "
                                             "AND TABLE_NAME='%1'")
                                  .arg(table));
    };
    EXPECT_EQ(tableRights("usertable"), "DELETE");
    EXPECT_EQ(tableRights("databaseinfotable"), "SELECT");
    EXPECT_EQ(tableRights("eventloggertable"), "INSERT");
    EXPECT_EQ(tableRights("recordtable"), "DELETE,INSERT,SELECT,UPDATE");
    EXPECT_EQ(tableRights("user_info"), "SELECT");
    // Every column of the user rows but the password copy, which only its own user writes.
    EXPECT_EQ(rootQueryValue("SELECT GROUP_CONCAT(DISTINCT COLUMN_NAME ORDER BY COLUMN_NAME) FROM "
                             "information_schema.COLUMN_PRIVILEGES WHERE GRANTEE=\"'alice'@'%'\" AND "
                             "TABLE_NAME='usertable' AND PRIVILEGE_TYPE='SELECT'"),
              "CANCHANGEPASSWORD,DATAPERMISSION,GROUPPERMISSION,ISACCOUNTDISABLED,PLATFORMNAME,RECORDPERMISSION,"
              "TYPEPERMISSION,USERID,USERNAME");
    EXPECT_EQ(rootQueryValue("SELECT GROUP_CONCAT(COLUMN_NAME) FROM information_schema.COLUMN_PRIVILEGES WHERE "
                             "GRANTEE=\"'alice'@'%'\" AND TABLE_NAME='usertable' AND PRIVILEGE_TYPE='UPDATE'"),
              "PASSWORD");
    EXPECT_EQ(rootQueryValue(QStringLiteral("SELECT USERNAME FROM tolvanexdb.USERTABLE WHERE USERID='%1'").arg(aliceID)),
              "alice");
}

TEST_F(Schema, TheStoreToolWorksOverTlsAndGrantsExistingAccountsAgain)
{
    // An account as earlier versions made it: every right on the whole store.
    rootExec("CREATE USER 'olga'@'%' IDENTIFIED BY 'olga-pw'");
    rootExec("GRANT SELECT, INSERT, UPDATE, DELETE ON tolvanexdb.* TO 'olga'@'%'");
    rootExec("INSERT INTO tolvanexdb.USERTABLE (USERID, USERNAME) VALUES ('00000000000000C1', 'olga')");
    const auto runTool = [](const QString& ca, QString* output) {
        QProcess tool;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("TVX_ADMIN_PASSWORD", "");
        env.insert("TVX_USER_PASSWORD", "carol-pw");
        tool.setProcessEnvironment(env);
        tool.setProcessChannelMode(QProcess::MergedChannels);
        tool.start(QStringLiteral(TVX_CREATE_STORE_TOOL),
                   {"--port", QString::number(port()), "--tls-ca", ca, "--add-user", "carol", "--upgrade-grants"});
        if (!tool.waitForFinished(60000))
            return -1;
        *output = QString::fromUtf8(tool.readAll());
        return tool.exitCode();
    };
    QString output;
    // An authority that did not sign the server's certificate: refused, nothing done.
    EXPECT_EQ(runTool("/etc/ssl/certs/ca-certificates.crt", &output), 1);
    EXPECT_TRUE(output.contains("refused")) << output.toStdString();
    EXPECT_EQ(rootQueryValue("SELECT COUNT(*) FROM tolvanexdb.USERTABLE WHERE USERNAME='carol'"), "0");

    // The tool's own session is a TLS handshake (each root query here is one more).
    const QString before = rootQueryValue("SELECT VARIABLE_VALUE FROM information_schema.GLOBAL_STATUS WHERE "
                                          "VARIABLE_NAME='SSL_ACCEPTS'");
    ASSERT_EQ(runTool(caFile(), &output), 0) << output.toStdString();
    EXPECT_GT(rootQueryValue("SELECT VARIABLE_VALUE FROM information_schema.GLOBAL_STATUS WHERE "
                             "VARIABLE_NAME='SSL_ACCEPTS'")
                  .toInt(),
              before.toInt() + 1);
    TVXDataBase carol;
    EXPECT_EQ(logInAndLoad(carol, "carol", "carol-pw"), kTVXDone);
    // The old account holds the store's rights table by table now, and nothing more.
    EXPECT_EQ(rootQueryValue("SELECT COUNT(*) FROM information_schema.SCHEMA_PRIVILEGES WHERE GRANTEE=\"'olga'@'%'\""),
              "0");
    EXPECT_EQ(rootQueryValue("SELECT GROUP_CONCAT(PRIVILEGE_TYPE ORDER BY PRIVILEGE_TYPE) FROM "
                             "information_schema.TABLE_PRIVILEGES WHERE GRANTEE=\"'olga'@'%'\" AND "
                             "TABLE_NAME='databaseinfotable'"),
              "SELECT");
}

TEST_F(Schema, AccountTextsAreEscapedAndNamesChecked)
{
    // A password with quotes and backslashes reaches the server unchanged.
    const QString tricky = QStringLiteral("it's \\\"tricky\\' pw");
    addAccount("carol", tricky);
    TVXDataBase db;
    EXPECT_EQ(db.startConnectionToServer(loginRequest("carol", tricky)), kTVXDone);

    auto root = rootConnection();
    TVXStoreCreator creator(std::move(root));
    StoreUser bad;
    bad.name = QStringLiteral("x'@'%' IDENTIFIED BY 'y");
    bad.password = QStringLiteral("pw");
    EXPECT_FALSE(creator.addStoreUser(bad).ok);
    EXPECT_EQ(rootQueryValue("SELECT COUNT(*) FROM mysql.global_priv WHERE User LIKE 'x%'"), "0");

    // A name already taken leaves no half-made account behind.
    StoreUser again;
    again.name = kUserName;
    again.password = QStringLiteral("pw");
    EXPECT_FALSE(creator.addStoreUser(again).ok);
    EXPECT_EQ(rootQueryValue("SELECT COUNT(*) FROM tolvanexdb.USERTABLE WHERE USERNAME='alice'"), "1");
}

TEST_F(Schema, TheStoreToolRefusesAServerWithoutTlsUnlessAllowed)
{
    // A server that would take the plain session: the tool refuses it itself.
    rootExec("SET GLOBAL require_secure_transport=OFF");
    GreetingRelay relay(port());
    const auto runTool = [&](const QStringList& tlsArguments, QString* output) {
        QProcess tool;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("TVX_ADMIN_PASSWORD", "");
        env.insert("TVX_USER_PASSWORD", "dora-pw");
        tool.setProcessEnvironment(env);
        tool.setProcessChannelMode(QProcess::MergedChannels);
        tool.start(QStringLiteral(TVX_CREATE_STORE_TOOL),
                   QStringList{"--port", QString::number(relay.port()), "--add-user", "dora"} + tlsArguments);
        if (!tool.waitForFinished(60000))
            return -1;
        *output = QString::fromUtf8(tool.readAll());
        return tool.exitCode();
    };
    for (const QStringList& tls : {QStringList{"--tls-ca", caFile()}, QStringList{}}) {
        QString output;
        EXPECT_EQ(runTool(tls, &output), 1);
        EXPECT_TRUE(output.contains("does not offer an encrypted connection (TLS)")) << output.toStdString();
        EXPECT_TRUE(output.contains("--allow-unencrypted")) << output.toStdString();
        EXPECT_EQ(rootQueryValue("SELECT COUNT(*) FROM tolvanexdb.USERTABLE WHERE USERNAME='dora'"), "0");
    }
    EXPECT_GE(relay.strippedGreetings(), 2);

    // Allowed on purpose.
    QString output;
    EXPECT_EQ(runTool({"--allow-unencrypted"}, &output), 0) << output.toStdString();
    rootExec("SET GLOBAL require_secure_transport=ON");
    EXPECT_EQ(rootQueryValue("SELECT COUNT(*) FROM tolvanexdb.USERTABLE WHERE USERNAME='dora'"), "1");
}

TEST_F(Schema, TheStoreToolPinsTheServersCertificateAndNeverSendsAPasswordInClear)
{
    const QString fingerprint = serverFingerprint();
    ASSERT_FALSE(fingerprint.isEmpty());
    const auto runTool = [](int toolPort, const QStringList& tlsArguments, const QString& adminPassword,
                            QString* output) {
        QProcess tool;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("TVX_ADMIN_PASSWORD", adminPassword);
        env.insert("TVX_USER_PASSWORD", "dora-pw");
        tool.setProcessEnvironment(env);
        tool.setProcessChannelMode(QProcess::MergedChannels);
        tool.start(QStringLiteral(TVX_CREATE_STORE_TOOL),
                   QStringList{"--port", QString::number(toolPort), "--add-user", "dora"} + tlsArguments);
        if (!tool.waitForFinished(60000))
            return -1;
        *output = QString::fromUtf8(tool.readAll());
        return tool.exitCode();
    };
    const auto doraMade = [] { return rootQueryValue("SELECT COUNT(*) FROM tolvanexdb.USERTABLE WHERE USERNAME='dora'") == "1"; };
    QString output;
    // Neither an authority nor a fingerprint: refused, saying what it met.
    EXPECT_EQ(runTool(port(), {}, "", &output), 1);
    EXPECT_TRUE(output.contains(fingerprint)) << output.toStdString();
    EXPECT_TRUE(output.contains("--tls-fingerprint")) << output.toStdString();
    EXPECT_FALSE(doraMade());

    {
        // A relay with its own certificate: refused, with both fingerprints; it read nothing.
        GreetingRelay relay(port(), GreetingRelay::Tls::OwnCertificate);
        EXPECT_EQ(runTool(relay.port(), {"--tls-fingerprint", fingerprint}, "", &output), 1);
        EXPECT_TRUE(output.contains(fingerprint)) << output.toStdString();
        EXPECT_TRUE(output.contains(QString::fromStdString(relay.fingerprint()))) << output.toStdString();
        EXPECT_TRUE(relay.clientBytes().empty());
        EXPECT_FALSE(doraMade());
    }
    const QString secret = QStringLiteral("server-admin-secret");
    for (const auto tls : {GreetingRelay::Tls::Strip, GreetingRelay::Tls::OwnCertificate}) {
        // Asked for the password in clear text: the server administrator's is never sent.
        GreetingRelay relay(port(), tls, true);
        const QStringList taken = tls == GreetingRelay::Tls::Strip ? QStringList{"--allow-unencrypted"}
                                                                   : QStringList{"--trust-server"};
        EXPECT_EQ(runTool(relay.port(), taken, secret, &output), 1);
        EXPECT_TRUE(output.contains("log-in method was refused")) << output.toStdString();
        EXPECT_FALSE(relay.clientBytes().empty());
        EXPECT_EQ(relay.clientBytes().find(secret.toStdString()), std::string::npos) << "the password went out";
    }

    // The right fingerprint, and a first run on the server's own host, go through.
    EXPECT_EQ(runTool(port(), {"--tls-fingerprint", fingerprint.toLower()}, "", &output), 0) << output.toStdString();
    EXPECT_TRUE(doraMade());
    rootExec("DELETE FROM tolvanexdb.USERTABLE WHERE USERNAME='dora'");
    rootExec("DROP USER 'dora'@'%'");
    EXPECT_EQ(runTool(port(), {"--trust-server"}, "", &output), 0) << output.toStdString();
    EXPECT_TRUE(output.contains(fingerprint)) << output.toStdString();
}

namespace {

// The store tool over the fixture server's TLS, as root; the passwords in
// `secrets` go into its environment (a null one is left out, so the tool asks).
int runStoreTool(const QStringList& arguments, const QHash<QString, QString>& secrets, QString* output)
{
    QProcess tool;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char* name : {"TVX_ADMIN_PASSWORD", "TVX_USER_PASSWORD", "TVX_ADMIN_USER_PASSWORD", "TVX_MASTER_PASSWORD"})
        env.remove(name);
    env.insert("TVX_ADMIN_PASSWORD", "");
    for (auto it = secrets.cbegin(); it != secrets.cend(); ++it)
        if (!it.value().isNull())
            env.insert(it.key(), it.value());
    tool.setProcessEnvironment(env);
    tool.setProcessChannelMode(QProcess::MergedChannels);
    tool.start(QStringLiteral(TVX_CREATE_STORE_TOOL),
               QStringList{"--port", QString::number(port()), "--tls-ca", caFile()} + arguments);
    tool.closeWriteChannel(); // a prompt meets the end of input
    if (!tool.waitForFinished(60000))
        return -1;
    *output = QString::fromUtf8(tool.readAll());
    return tool.exitCode();
}

} // namespace

TEST_F(Schema, TheToolRefusesEmptyPasswordsAndThoseThePolicyRefuses)
{
    QString output;
    const auto nothingMade = [] {
        return rootQueryValue("SELECT COUNT(*) FROM mysql.global_priv WHERE User IN ('carol', 'chief')") == "0"
               && rootQueryValue("SELECT COUNT(*) FROM tolvanexdb.USERTABLE WHERE USERNAME IN ('carol', 'chief')") == "0";
    };
    // Empty from the variable, and a prompt that meets the end of input.
    EXPECT_EQ(runStoreTool({"--add-user", "carol"}, {{"TVX_USER_PASSWORD", ""}}, &output), 1);
    EXPECT_TRUE(output.contains("empty")) << output.toStdString();
    EXPECT_EQ(runStoreTool({"--add-user", "carol"}, {}, &output), 1);
    EXPECT_TRUE(output.contains("empty")) << output.toStdString();
    EXPECT_EQ(runStoreTool({"--add-admin", "chief"}, {{"TVX_ADMIN_USER_PASSWORD", ""}}, &output), 1);
    EXPECT_TRUE(nothingMade());

    // A policy set in the same run holds for the accounts it adds.
    EXPECT_EQ(runStoreTool({"--policy-min-length", "8", "--policy-charset-flag", "5", "--add-user", "carol"},
                           {{"TVX_USER_PASSWORD", "abcdefgh"}}, &output),
              1);
    EXPECT_TRUE(output.contains("password policy")) << output.toStdString();
    EXPECT_EQ(runStoreTool({"--add-admin", "chief"}, {{"TVX_ADMIN_USER_PASSWORD", "short1"}}, &output), 1);
    EXPECT_TRUE(output.contains("at least 8 characters")) << output.toStdString();
    EXPECT_TRUE(nothingMade());
    ASSERT_EQ(runStoreTool({"--add-user", "carol"}, {{"TVX_USER_PASSWORD", "abcdefg1"}}, &output), 0)
        << output.toStdString();
    TVXDataBase carol;
    EXPECT_EQ(logInAndLoad(carol, "carol", "abcdefg1"), kTVXDone);
}

TEST_F(Schema, UpgradingGrantsTakesEveryHostOfAStoreAccount)
{
    // Hosts an earlier version never looked at: one with every right on the store.
    addUser("dora", "dora-pw");
    rootExec("DROP USER IF EXISTS 'dora'@'localhost', 'dora'@'10.0.0.%'"); // from an earlier run
    rootExec("CREATE USER 'dora'@'localhost' IDENTIFIED BY 'local-pw'");
    rootExec("GRANT ALL PRIVILEGES ON tolvanexdb.* TO 'dora'@'localhost'");
    rootExec("CREATE USER 'dora'@'10.0.0.%' IDENTIFIED BY 'lan-pw'");
    rootExec("GRANT SELECT, INSERT, UPDATE, DELETE ON *.* TO 'dora'@'10.0.0.%'");
    QString output;
    ASSERT_EQ(runStoreTool({"--upgrade-grants"}, {}, &output), 0) << output.toStdString();
    for (const char* grantee : {"'dora'@'localhost'", "'dora'@'10.0.0.%'", "'dora'@'%'"}) {
        EXPECT_EQ(rootQueryValue(QStringLiteral("SELECT COUNT(*) FROM information_schema.SCHEMA_PRIVILEGES WHERE "
                                                "GRANTEE=\"%1\"").arg(grantee)),
                  "0")
            << grantee;
        EXPECT_EQ(rootQueryValue(QStringLiteral("SELECT COUNT(*) FROM information_schema.USER_PRIVILEGES WHERE "
                                                "GRANTEE=\"%1\" AND PRIVILEGE_TYPE <> 'USAGE'").arg(grantee)),
                  "0")
            << grantee;
        EXPECT_EQ(rootQueryValue(QStringLiteral("SELECT GROUP_CONCAT(PRIVILEGE_TYPE ORDER BY PRIVILEGE_TYPE) FROM "
                                                "information_schema.TABLE_PRIVILEGES WHERE GRANTEE=\"%1\" AND "
                                                "TABLE_NAME='recordtable'").arg(grantee)),
                  "DELETE,INSERT,SELECT,UPDATE")
            << grantee;
    }
    rootExec("DROP USER 'dora'@'localhost', 'dora'@'10.0.0.%'");
}
