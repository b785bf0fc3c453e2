#include "store/TVXStoreCreator.h"

#include "model/TVXType.h"
#include "model/TVXUser_Admin.h"
#include "model/TVXUID.h"
#include "store/QueryConstants.h"
#include "store/SchemaText.h"
#include "store/StatementHelpers.h"
#include "store/TVXDataBase.h"

#include <cppconn/exception.h>
#include <cppconn/prepared_statement.h>
#include <cppconn/resultset.h>
#include <cppconn/statement.h>
#include <mysql_connection.h>

#include <algorithm>


namespace {

// The tables that had no key of their own: each has the invisible ROWKEY.
constexpr const char* kRowKeyedTables[] = {"MOSTVIEWEDTABLE", "RECENTLYVIEWEDTABLE", "RECENTLYMODIFIEDTABLE",
                                           "RECENTLYADDEDTABLE", "EVENTLOGGERTABLE"};

QString serverMessage(const sql::SQLException& e)
{
    return QStringLiteral("%1 (server error %2)").arg(QString::fromUtf8(e.what())).arg(e.getErrorCode());
}

} // namespace

TVXStoreCreator::TVXStoreCreator(std::unique_ptr<sql::Connection> admin)
    : mStore(std::make_unique<TVXDataBase>())
{
    mStore->adoptConnection(std::move(admin));
    mStore->createUserEncrypter();
}

sql::Connection& TVXStoreCreator::admin() const { return *mStore->connection(); }

TVXStoreCreator::~TVXStoreCreator() = default;

bool TVXStoreCreator::isValidAccountName(const QString& name)
{
    return TVXDataBase::isValidAccountName(name);
}

QString TVXStoreCreator::quoted(const QString& text) const
{
    // Account names and passwords cannot be bound as parameters in account
    // statements: escape them with the connection's own rules instead.
    auto* native = dynamic_cast<sql::mysql::MySQL_Connection*>(&admin());
    if (!native)
        return QString(); // no way to escape: refuse rather than guess
    const std::string escaped = native->escapeString(text.toStdString()).asStdString();
    return QLatin1Char('\'') + QString::fromStdString(escaped) + QLatin1Char('\'');
}

StoreResult TVXStoreCreator::run(const QString& statement)
{
    try {
        std::unique_ptr<sql::Statement> stmt(admin().createStatement());
        stmt->execute(statement.toStdString());
        return {};
    } catch (const sql::SQLException& e) {
        return StoreResult::failure(serverMessage(e));
    }
}

StoreResult TVXStoreCreator::checkServer()
{
    try {
        std::unique_ptr<sql::Statement> stmt(admin().createStatement());
        std::unique_ptr<sql::ResultSet> rs(stmt->executeQuery("SELECT @@lower_case_table_names"));
        const int value = rs->next() ? rs->getInt(1) : -1;
        if (value != 1)
            return StoreResult::failure(
                QStringLiteral("The server runs with lower_case_table_names=%1, but the store needs 1: "
                               "the client names its tables in mixed case. Set lower_case_table_names=1 "
                               "when the server's data folder is made and at every start.")
                    .arg(value));
        return {};
    } catch (const sql::SQLException& e) {
        return StoreResult::failure(serverMessage(e));
    }
}

QString TVXStoreCreator::queryValue(const QString& query)
{
    std::unique_ptr<sql::Statement> stmt(admin().createStatement());
    std::unique_ptr<sql::ResultSet> rs(stmt->executeQuery(query.toStdString()));
    if (!rs->next() || rs->isNull(1))
        return QString();
    return QString::fromStdString(rs->getString(1).asStdString());
}

bool TVXStoreCreator::hasPrimaryKey(const QString& schema, const QString& table)
{
    return queryValue(QStringLiteral("SELECT COUNT(*) FROM information_schema.TABLE_CONSTRAINTS WHERE "
                                     "TABLE_SCHEMA='%1' AND LOWER(TABLE_NAME)=LOWER('%2') AND "
                                     "CONSTRAINT_TYPE='PRIMARY KEY'")
                          .arg(schema, table))
               .toInt()
           > 0;
}

StoreResult TVXStoreCreator::ensureUserInfo(bool* created, QStringList* changes)
{
    QString engine;
    try {
        engine = queryValue(QStringLiteral(
            "SELECT ENGINE FROM information_schema.TABLES WHERE TABLE_SCHEMA='mysql' AND TABLE_NAME='user_info'"));
    } catch (const sql::SQLException& e) {
        return StoreResult::failure(serverMessage(e));
    }
    if (engine.compare(QLatin1String("InnoDB"), Qt::CaseInsensitive) == 0)
        return {};
    const QStringList statements = splitSqlScript(kUserInfoSchemaSQL);
    if (engine.isEmpty()) {
        for (const QString& statement : statements)
            if (auto r = run(statement); !r.ok)
                return r;
        if (created)
            *created = true;
        return {};
    }
    // A cluster replicates no MyISAM rows: each node's table may differ, and
    // converting in place would keep that. The rows of this node go into a new
    // InnoDB table, which the cluster copies, and that one takes the name.
    QStringList steps = {QStringLiteral("DROP TABLE IF EXISTS mysql.user_info_new"),
                         QStringLiteral("DROP TABLE IF EXISTS mysql.user_info_old")};
    for (QString statement : statements)
        steps << statement.replace(QLatin1String("mysql.user_info ("), QLatin1String("mysql.user_info_new ("));
    steps << QStringLiteral("INSERT INTO mysql.user_info_new SELECT * FROM mysql.user_info")
          << QStringLiteral("RENAME TABLE mysql.user_info TO mysql.user_info_old, "
                            "mysql.user_info_new TO mysql.user_info")
          << QStringLiteral("DROP TABLE mysql.user_info_old");
    for (const QString& statement : steps)
        if (auto r = run(statement); !r.ok) {
            run(QStringLiteral("DROP TABLE IF EXISTS mysql.user_info_new"));
            return r;
        }
    if (changes)
        *changes << QStringLiteral("mysql.user_info is now InnoDB (its rows were copied from this server)");
    return {};
}

StoreResult TVXStoreCreator::keyIconNumbers(QStringList* changes)
{
    try {
        if (hasPrimaryKey(QStringLiteral("tolvanexdb"), QStringLiteral("CUSTOMICONTABLE")))
            return {};
        // Numbers taken twice: the client showed the picture of the last row read,
        // so that row keeps the number and the others get new ones of their own.
        if (auto r = run(QStringLiteral("ALTER TABLE tolvanexdb.CUSTOMICONTABLE ADD COLUMN ROWKEY BIGINT "
                                        "UNSIGNED NOT NULL AUTO_INCREMENT INVISIBLE, ADD PRIMARY KEY (ROWKEY)"));
            !r.ok)
            return r;
        QList<qint64> shadowed;
        {
            std::unique_ptr<sql::Statement> stmt(admin().createStatement());
            std::unique_ptr<sql::ResultSet> rs(stmt->executeQuery(
                "SELECT DISTINCT c.ROWKEY FROM tolvanexdb.CUSTOMICONTABLE c JOIN tolvanexdb.CUSTOMICONTABLE d "
                "ON d.ICONINDEX=c.ICONINDEX AND d.ROWKEY>c.ROWKEY ORDER BY c.ROWKEY"));
            while (rs->next())
                shadowed << rs->getInt64(1);
        }
        QStringList renumbered;
        if (!shadowed.isEmpty()) {
            int next = std::max(queryValue(QStringLiteral("SELECT MAX(ICONINDEX) FROM tolvanexdb.CUSTOMICONTABLE"))
                                    .toInt(),
                                TVXDataBase::kFirstCustomIcon - 1);
            std::unique_ptr<sql::PreparedStatement> move(admin().prepareStatement(
                "UPDATE tolvanexdb.CUSTOMICONTABLE SET ICONINDEX=? WHERE ROWKEY=?"));
            for (const qint64 row : shadowed) {
                move->setInt(1, ++next);
                move->setInt64(2, row);
                move->executeUpdate();
                renumbered << QString::number(next);
            }
        }
        const bool oldIndex = queryValue(QStringLiteral("SELECT COUNT(*) FROM information_schema.STATISTICS WHERE "
                                                        "TABLE_SCHEMA='tolvanexdb' AND "
                                                        "LOWER(TABLE_NAME)='customicontable' AND "
                                                        "INDEX_NAME='ICONINDEX'"))
                                  .toInt()
                              > 0;
        if (auto r = run(QStringLiteral("ALTER TABLE tolvanexdb.CUSTOMICONTABLE DROP PRIMARY KEY, DROP COLUMN ROWKEY, ")
                         + (oldIndex ? QStringLiteral("DROP INDEX ICONINDEX, ") : QString())
                         + QStringLiteral("ADD PRIMARY KEY (ICONINDEX)"));
            !r.ok)
            return r;
        if (changes) {
            *changes << QStringLiteral("CUSTOMICONTABLE is keyed by ICONINDEX");
            if (!renumbered.isEmpty())
                *changes << QStringLiteral("custom icons that shared a number now have the numbers %1")
                                .arg(renumbered.join(QStringLiteral(", ")));
        }
        return {};
    } catch (const sql::SQLException& e) {
        return StoreResult::failure(serverMessage(e));
    }
}

StoreResult TVXStoreCreator::upgradeSchema()
{
    if (auto server = checkServer(); !server.ok)
        return server;
    QStringList changes;
    try {
        if (queryValue(QStringLiteral(
                "SELECT COUNT(*) FROM information_schema.SCHEMATA WHERE SCHEMA_NAME='tolvanexdb'"))
                .toInt()
            == 0)
            return StoreResult::failure(QStringLiteral("There is no store tolvanexdb on this server."));
        for (const char* table : kRowKeyedTables) {
            const QString name = QString::fromLatin1(table);
            if (hasPrimaryKey(QStringLiteral("tolvanexdb"), name))
                continue;
            // Rows are numbered in the order they were stored, which the recent lists rely on.
            if (auto r = run(QStringLiteral("ALTER TABLE tolvanexdb.%1 ADD COLUMN ROWKEY BIGINT UNSIGNED NOT NULL "
                                            "AUTO_INCREMENT INVISIBLE, ADD PRIMARY KEY (ROWKEY)")
                                 .arg(name));
                !r.ok)
                return r;
            changes << QStringLiteral("%1 has an invisible row key").arg(name);
        }
    } catch (const sql::SQLException& e) {
        return StoreResult::failure(serverMessage(e));
    }
    if (auto r = keyIconNumbers(&changes); !r.ok)
        return r;
    if (auto r = ensureUserInfo(nullptr, &changes); !r.ok)
        return r;
    StoreResult done;
    done.message = changes.isEmpty() ? QStringLiteral("The store's tables are up to date.")
                                     : changes.join(QStringLiteral("; ")) + QLatin1Char('.');
    return done;
}

StoreResult TVXStoreCreator::createStore(const QString& masterPassword, bool replaceExisting)
{
    if (auto server = checkServer(); !server.ok)
        return server;
    try {
        std::unique_ptr<sql::Statement> stmt(admin().createStatement());
        std::unique_ptr<sql::ResultSet> rs(stmt->executeQuery(
            "SELECT COUNT(*) FROM information_schema.SCHEMATA WHERE SCHEMA_NAME='tolvanexdb'"));
        const bool exists = rs->next() && rs->getInt(1) > 0;
        if (exists && !replaceExisting)
            return StoreResult::failure(
                QStringLiteral("The database tolvanexdb already exists on this server; it was left as it is."));
    } catch (const sql::SQLException& e) {
        return StoreResult::failure(serverMessage(e));
    }

    if (replaceExisting)
        if (auto r = run(QStringLiteral("DROP DATABASE IF EXISTS tolvanexdb")); !r.ok)
            return r;
    if (auto r = run(QStringLiteral("CREATE DATABASE tolvanexdb CHARACTER SET utf8mb4")); !r.ok)
        return r;
    // From here on a failure drops what was made: half a store would refuse
    // log-ins, or (on a cluster) be left on every node.
    bool createdUserInfo = false;
    const auto undo = [&](StoreResult failure) {
        run(QStringLiteral("DROP DATABASE IF EXISTS tolvanexdb"));
        if (createdUserInfo)
            run(QStringLiteral("DROP TABLE IF EXISTS mysql.user_info"));
        return failure;
    };
    try {
        admin().setSchema(kTolvanexSchema);
    } catch (const sql::SQLException& e) {
        return undo(StoreResult::failure(serverMessage(e)));
    }
    for (const QString& statement : splitSqlScript(kStoreSchemaSQL))
        if (auto r = run(statement); !r.ok)
            return undo(r);
    if (auto r = ensureUserInfo(&createdUserInfo, nullptr); !r.ok)
        return undo(r);

    mStore->createEncrypter(masterPassword);
    try {
        // An empty master password is stored as an empty value: log-ins then
        // type nothing, and values are kept as their plain bytes.
        std::unique_ptr<sql::PreparedStatement> info(admin().prepareStatement(
            "REPLACE INTO DATABASEINFOTABLE (NAME, VALUE) VALUES ('DBPASSWORD', ?)"));
        const auto masterBlob = tvxsql::blobStream(mStore->encryptDataString(masterPassword));
        info->setBlob(1, masterBlob->stream());
        info->executeUpdate();

        std::unique_ptr<sql::PreparedStatement> group(admin().prepareStatement(kQueryGroupInsert));
        const auto groupName = tvxsql::blobStream(mStore->encryptString(TVXLocalizedUnfiled()));
        group->setBlob(1, groupName->stream());
        group->setString(2, kUnfiledUID.toStdString());
        group->setInt(3, 0);
        group->setBoolean(4, false);
        group->executeUpdate();

        std::unique_ptr<sql::PreparedStatement> type(admin().prepareStatement(kQueryTypeInsert));
        type->setString(1, kUnfiledUID.toStdString());
        const auto typeName = tvxsql::blobStream(mStore->encryptString(TVXLocalizedUnfiled()));
        type->setBlob(2, typeName->stream());
        type->setInt(3, kDefaultIconID);
        type->setInt(4, 0);
        std::vector<std::unique_ptr<tvxsql::BlobParameter>> fields;
        for (int i = 1; i <= 10; ++i) {
            fields.push_back(tvxsql::blobStream(
                mStore->encryptString(QString::fromLatin1(kDefaultFieldNames[i - 1]))));
            type->setBlob(4 + i, fields.back()->stream());
        }
        type->executeUpdate();
    } catch (const sql::SQLException& e) {
        return undo(StoreResult::failure(serverMessage(e)));
    }
    return {};
}

StoreResult TVXStoreCreator::setPasswordPolicy(int minimumLength, int charSetFlag)
{
    if (minimumLength < 0 || minimumLength > 63)
        return StoreResult::failure(QStringLiteral("The minimum password length must be 0 to 63."));
    if (charSetFlag != 0 && charSetFlag != 1 && charSetFlag != 4 && charSetFlag != 5)
        return StoreResult::failure(
            QStringLiteral("The character-set flag must be 0 (none), 1 (letters), 4 (digits) or 5 (both)."));
    try {
        std::unique_ptr<sql::PreparedStatement> stmt(admin().prepareStatement(
            "REPLACE INTO tolvanexdb.DATABASEINFOTABLE (NAME, VALUE) VALUES (?, ?)"));
        stmt->setString(1, "PASSWDPOLICYMINLENGTH");
        stmt->setString(2, std::to_string(minimumLength));
        stmt->executeUpdate();
        stmt->setString(1, "PASSWDPOLICYCHARSETFLAG");
        stmt->setString(2, std::to_string(charSetFlag));
        stmt->executeUpdate();
        return {};
    } catch (const sql::SQLException& e) {
        return StoreResult::failure(serverMessage(e));
    }
}

StoreResult TVXStoreCreator::dropServerAccount(const QString& name)
{
    if (!isValidAccountName(name))
        return StoreResult::failure(QStringLiteral("Not a valid account name: use 1 to 16 letters, digits, '_', '.' or '-'."));
    return run(QStringLiteral("DROP USER IF EXISTS %1@'%'").arg(quoted(name)));
}

StoreResult TVXStoreCreator::addStoreUser(const StoreUser& user, QString* userID)
{
    if (!isValidAccountName(user.name))
        return StoreResult::failure(QStringLiteral("Not a valid account name: use 1 to 16 letters, digits, '_', '.' or '-'."));
    try {
        // The personal group's name is enciphered under the store's own master password.
        mStore->selectSchema(QString::fromLatin1(kTolvanexSchema));
        mStore->createEncrypter(mStore->retriveMasterPassword());
    } catch (const sql::SQLException& e) {
        return StoreResult::failure(serverMessage(e));
    }
    if (user.name.compare(QLatin1String("root"), Qt::CaseInsensitive) == 0)
        return StoreResult::failure(QStringLiteral("The server's own root account cannot be a store user."));
    if (mStore->isUserExistsInTolvanex(user.name))
        return StoreResult::failure(QStringLiteral("An account named %1 exists already.").arg(user.name));

    auto account = TVXUser_Admin::createUser();
    account->setMUsername(user.name);
    account->setMPassword(user.password);
    account->setMGroupPermissionsBit(user.groupPermission);
    account->setMTypePermissionsBit(user.typePermission);
    account->setMRecordPermissionsBit(user.recordPermission);
    account->setMDataPermissionsBit(user.dataPermission);
    account->setMIsNotAllowedToChangePassword(!user.canChangePassword);
    account->setMIsAccountDisabled(user.accountDisabled);
    account->setAdministrator(user.administrator);
    const int code = mStore->addUser(*account);
    if (code != kTVXDone)
        return StoreResult::failure(QStringLiteral("The server refused the new account (result %1).").arg(code));
    if (userID)
        *userID = account->mUserID();
    return {};
}
