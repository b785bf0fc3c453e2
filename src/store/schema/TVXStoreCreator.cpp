#include "store/schema/TVXStoreCreator.h"

#include "model/BMPasswordPolicyController.h"
#include "model/TVXRecord.h"
#include "model/TVXType.h"
#include "model/TVXUser_Admin.h"
#include "model/TVXUID.h"
#include "store/schema/QueryConstants.h"
#include "store/schema/SchemaText.h"
#include "store/session/StatementHelpers.h"
#include "store/accounts/AccountNames.h"
#include "store/accounts/StoreGrants.h"
#include "store/TVXDataBase.h"

#include <QDateTime>
#include <QStringList>

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

// Tables an ordinary account reads only in part: their rows live in a base
// table under the second name, and a view under the first (server/rules.sql)
// shows each session its own part, so that the client's statements stay.
constexpr std::pair<const char*, const char*> kViewedTables[] = {
    {"RECORDTABLE", "RECORDROWS"},
    {"CUSTOMTYPETABLE", "CUSTOMTYPEROWS"},
    {"ATTACHMENTTABLE", "ATTACHMENTROWS"},
    {"MOSTVIEWEDTABLE", "MOSTVIEWEDROWS"},
    {"RECENTLYVIEWEDTABLE", "RECENTLYVIEWEDROWS"},
    {"RECENTLYMODIFIEDTABLE", "RECENTLYMODIFIEDROWS"},
    {"RECENTLYADDEDTABLE", "RECENTLYADDEDROWS"},
    {"COLUMNINFOTABLE", "COLUMNINFOROWS"},
};

// The table that holds a name's rows: the name itself, or the base table of
// the view that took it.
QString rowsOf(const char* name)
{
    for (const auto& [viewed, base] : kViewedTables)
        if (qstrcmp(viewed, name) == 0)
            return QString::fromLatin1(base);
    return QString::fromLatin1(name);
}

// The locked account the store's routines run as; no one logs in as it.
constexpr char kDefinerAccount[] = "'tvx_definer'@'localhost'";

QString serverMessage(const sql::SQLException& e)
{
    return QStringLiteral("%1 (server error %2)").arg(QString::fromUtf8(e.what())).arg(e.getErrorCode());
}

QString policyRefusal(const QString& name, const BMPasswordPolicyController& rules)
{
    QStringList needs;
    if (rules.mminPassLength() > 0)
        needs << QStringLiteral("at least %1 characters").arg(rules.mminPassLength());
    if (rules.mCharsetFlag() & 1)
        needs << QStringLiteral("a letter");
    if (rules.mCharsetFlag() & 4)
        needs << QStringLiteral("a digit");
    return QStringLiteral("The password of %1 does not meet the store's password policy (it needs %2).")
        .arg(name, needs.join(QStringLiteral(", ")));
}

} // namespace

TVXStoreCreator::TVXStoreCreator(std::unique_ptr<sql::Connection> admin)
    : mStore(std::make_unique<TVXDataBase>())
{
    mStore->adoptConnection(std::move(admin));
    mStore->ciphers().createUserEncrypter();
}

sql::Connection& TVXStoreCreator::admin() const { return *mStore->connection(); }

TVXStoreCreator::~TVXStoreCreator() = default;

bool TVXStoreCreator::isValidAccountName(const QString& name)
{
    return tvxsql::isValidAccountName(name);
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

QString TVXStoreCreator::serverTableEngine(const char* table)
{
    return queryValue(QStringLiteral("SELECT ENGINE FROM information_schema.TABLES WHERE TABLE_SCHEMA='mysql' AND "
                                     "TABLE_NAME='%1'")
                          .arg(QLatin1String(table)));
}

StoreResult TVXStoreCreator::ensureUserInfo(bool* created, QStringList* changes)
{
    QString engine;
    bool copyMade = false;
    bool oldLeft = false;
    try {
        engine = serverTableEngine("user_info");
        copyMade = !serverTableEngine("user_info_new").isNull();
        oldLeft = !serverTableEngine("user_info_old").isNull();
    } catch (const sql::SQLException& e) {
        return StoreResult::failure(serverMessage(e));
    }
    const bool innoDB = engine.compare(QLatin1String("InnoDB"), Qt::CaseInsensitive) == 0;
    if (innoDB && !copyMade && !oldLeft)
        return {};
    const QStringList statements = splitSqlScript(kUserInfoSchemaSQL);
    if (engine.isNull() && !copyMade) {
        for (const QString& statement : statements)
            if (auto r = run(statement); !r.ok)
                return r;
        if (created)
            *created = true;
        return {};
    }
    // A cluster replicates no MyISAM rows: each node's table may differ. The
    // rows of this node go into a new InnoDB table, which the cluster copies,
    // and that one takes the name. A cluster in STRICT_REPLICATION mode
    // refuses to rename or drop a MyISAM table but converts one, so the old
    // table becomes InnoDB (each node's rows still its own) before the swap.
    // Each step leaves what a rerun finds and finishes.
    QStringList steps;
    const bool copyHere = !innoDB && !engine.isNull();
    if (copyHere) {
        steps << QStringLiteral("DROP TABLE IF EXISTS mysql.user_info_new");
        for (QString statement : statements)
            steps << statement.replace(QLatin1String("mysql.user_info ("), QLatin1String("mysql.user_info_new ("));
        steps << QStringLiteral("INSERT INTO mysql.user_info_new SELECT * FROM mysql.user_info")
              << QStringLiteral("ALTER TABLE mysql.user_info ENGINE=InnoDB");
    }
    steps << QStringLiteral("DROP TABLE IF EXISTS mysql.user_info_old");
    if (copyHere || copyMade) {
        if (engine.isNull())
            steps << QStringLiteral("RENAME TABLE mysql.user_info_new TO mysql.user_info");
        else
            steps << QStringLiteral("RENAME TABLE mysql.user_info TO mysql.user_info_old, "
                                    "mysql.user_info_new TO mysql.user_info")
                  << QStringLiteral("DROP TABLE mysql.user_info_old");
    }
    for (const QString& statement : steps)
        if (auto r = run(statement); !r.ok)
            return r;
    if (changes) {
        if (copyHere)
            *changes << QStringLiteral("mysql.user_info is now InnoDB (its rows were copied from this server)");
        else if (copyMade)
            *changes << QStringLiteral("mysql.user_info is now InnoDB (its rows were copied by the run that stopped "
                                       "before)");
        else
            *changes << QStringLiteral("mysql.user_info_old, left by the run that stopped before, is removed");
    }
    return {};
}

StoreResult TVXStoreCreator::keyIconNumbers(QStringList* changes)
{
    QStringList renumbered;
    // Whatever was moved is told, even when a later step fails.
    const auto tell = [&] {
        if (changes && !renumbered.isEmpty())
            *changes << QStringLiteral("custom icons that shared a number now have the numbers %1")
                            .arg(renumbered.join(QStringLiteral(", ")));
    };
    try {
        // A run that stopped after adding ROWKEY left it as the key: go on from there.
        const bool rowKeyed = queryValue(QStringLiteral("SELECT COUNT(*) FROM information_schema.COLUMNS WHERE "
                                                        "TABLE_SCHEMA='tolvanexdb' AND "
                                                        "LOWER(TABLE_NAME)='customicontable' AND COLUMN_NAME='ROWKEY'"))
                                  .toInt()
                              > 0;
        if (!rowKeyed && hasPrimaryKey(QStringLiteral("tolvanexdb"), QStringLiteral("CUSTOMICONTABLE")))
            return {};
        // Numbers taken twice: the client showed the picture of the last row read,
        // so that row keeps the number and the others get new ones of their own.
        if (!rowKeyed)
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
        if (!shadowed.isEmpty()) {
            int next = std::max(queryValue(QStringLiteral("SELECT MAX(ICONINDEX) FROM tolvanexdb.CUSTOMICONTABLE"))
                                    .toInt(),
                                TVXIconsAccess::kFirstCustomIcon - 1);
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
            !r.ok) {
            tell();
            return r;
        }
        if (changes)
            *changes << QStringLiteral("CUSTOMICONTABLE is keyed by ICONINDEX");
        tell();
        return {};
    } catch (const sql::SQLException& e) {
        tell();
        return StoreResult::failure(serverMessage(e));
    }
}

StoreResult TVXStoreCreator::keepRowsUnderViews(QStringList* changes)
{
    for (const auto& [name, base] : kViewedTables) {
        try {
            const QString kind = queryValue(QStringLiteral("SELECT TABLE_TYPE FROM information_schema.TABLES WHERE "
                                                           "TABLE_SCHEMA='tolvanexdb' AND LOWER(TABLE_NAME)=LOWER('%1')")
                                                .arg(QLatin1String(name)));
            if (kind != QLatin1String("BASE TABLE"))
                continue; // moved already (the view takes the name when the rules are installed)
        } catch (const sql::SQLException& e) {
            return StoreResult::failure(serverMessage(e));
        }
        // The rows keep their keys, links and triggers under the new name.
        if (auto r = run(QStringLiteral("RENAME TABLE tolvanexdb.%1 TO tolvanexdb.%2")
                             .arg(QLatin1String(name), QLatin1String(base)));
            !r.ok)
            return r;
        if (changes)
            *changes << QStringLiteral("%1 is a view over %2").arg(QLatin1String(name), QLatin1String(base));
    }
    return {};
}

StoreResult TVXStoreCreator::installRoutines(QStringList* changes)
{
    const QString grants = storeGrantRoutineText();
    if (grants.isEmpty())
        return StoreResult::failure(QStringLiteral("The store's list of rights (server/grants.txt) is unreadable."));
    bool madeDefiner = false;
    try {
        madeDefiner = queryValue(QStringLiteral("SELECT COUNT(*) FROM mysql.global_priv "
                                                "WHERE User='tvx_definer' AND Host='localhost'"))
                          .toInt()
                      == 0;
    } catch (const sql::SQLException& e) {
        return StoreResult::failure(serverMessage(e));
    }
    const QString definer = QString::fromLatin1(kDefinerAccount);
    // The hash 'invalid' matches no password: locked, and unusable if unlocked.
    QStringList steps = {
        QStringLiteral("CREATE USER IF NOT EXISTS %1 IDENTIFIED VIA mysql_native_password USING 'invalid' "
                       "ACCOUNT LOCK")
            .arg(definer),
        QStringLiteral("ALTER USER %1 IDENTIFIED VIA mysql_native_password USING 'invalid' ACCOUNT LOCK").arg(definer),
        // What the routines do: make, rename and drop accounts, grant the
        // store's rights (which needs them with the grant option) and read who
        // holds which.
        QStringLiteral("GRANT ALL PRIVILEGES ON tolvanexdb.* TO %1 WITH GRANT OPTION").arg(definer),
        QStringLiteral("GRANT SELECT, INSERT, UPDATE, DELETE ON mysql.user_info TO %1 WITH GRANT OPTION").arg(definer),
        QStringLiteral("GRANT SELECT ON mysql.procs_priv TO %1").arg(definer),
        QStringLiteral("GRANT SELECT ON mysql.global_priv TO %1").arg(definer),
        QStringLiteral("GRANT CREATE USER ON *.* TO %1").arg(definer),
    };
    QString script = QString::fromUtf8(kStoreRoutinesSQL);
    script.replace(QLatin1String("  -- @STORE_GRANTS@\n"), grants);
    steps << splitDelimitedScript(script);
    try {
        admin().setSchema(kTolvanexSchema);
    } catch (const sql::SQLException& e) {
        return StoreResult::failure(serverMessage(e));
    }
    for (const QString& statement : std::as_const(steps))
        if (auto r = run(statement); !r.ok)
            return r;
    if (changes && madeDefiner)
        *changes << QStringLiteral("the store's routines run as the locked account tvx_definer@localhost");
    return {};
}

StoreResult TVXStoreCreator::upgradeSchema()
{
    if (auto server = checkServer(); !server.ok)
        return server;
    QStringList changes;
    const StoreResult result = upgradeTables(changes);
    if (!result.ok) {
        // What was done stays done: the person running the tool learns it, and a rerun goes on from there.
        if (changes.isEmpty())
            return result;
        return StoreResult::failure(changes.join(QStringLiteral("; "))
                                    + QStringLiteral(". The upgrade then stopped: %1 Run it again to finish.")
                                          .arg(result.message));
    }
    StoreResult done;
    done.message = changes.isEmpty() ? QStringLiteral("The store's tables are up to date.")
                                     : changes.join(QStringLiteral("; ")) + QLatin1Char('.');
    return done;
}

StoreResult TVXStoreCreator::upgradeTables(QStringList& changes)
{
    try {
        if (queryValue(QStringLiteral(
                "SELECT COUNT(*) FROM information_schema.SCHEMATA WHERE SCHEMA_NAME='tolvanexdb'"))
                .toInt()
            == 0)
            return StoreResult::failure(QStringLiteral("There is no store tolvanexdb on this server."));
        for (const char* table : kRowKeyedTables) {
            QString name = QString::fromLatin1(table);
            // Once moved (a run that stopped may have left the name free), the
            // rows are under the view's base table.
            if (queryValue(QStringLiteral("SELECT TABLE_TYPE FROM information_schema.TABLES WHERE "
                                          "TABLE_SCHEMA='tolvanexdb' AND LOWER(TABLE_NAME)=LOWER('%1')")
                               .arg(name))
                != QLatin1String("BASE TABLE"))
                name = rowsOf(table);
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
    if (auto r = keepRowsUnderViews(&changes); !r.ok)
        return r;
    if (auto r = ensureUserInfo(nullptr, &changes); !r.ok)
        return r;
    if (auto r = installRoutines(&changes); !r.ok)
        return r;
    return installRules();
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
    if (auto r = keepRowsUnderViews(nullptr); !r.ok)
        return undo(r);
    if (auto r = ensureUserInfo(&createdUserInfo, nullptr); !r.ok)
        return undo(r);
    if (auto r = installRoutines(nullptr); !r.ok)
        return undo(r);

    mStore->ciphers().createEncrypter(masterPassword);
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
    if (auto r = installRules(); !r.ok)
        return undo(r);
    return {};
}

StoreResult TVXStoreCreator::installRules()
{
    try {
        admin().setSchema(kTolvanexSchema);
    } catch (const sql::SQLException& e) {
        return StoreResult::failure(serverMessage(e));
    }
    const QString definer = QString::fromLatin1(kDefinerAccount);
    // The rules tell administrators and the store tool's account from other
    // accounts by their rights, which information_schema lists in full only
    // to an account that may read the mysql database.
    QStringList steps = {QStringLiteral("GRANT SELECT ON mysql.* TO %1").arg(definer),
                         // The record views find a part's group in this index (stores made before it lack it).
                         QStringLiteral("ALTER TABLE RECORDROWS ADD INDEX IF NOT EXISTS RECORD_READER (RECORDID, GROUPUID)")};
    steps << splitDelimitedScript(QString::fromUtf8(kStoreRulesSQL));
    steps << splitDelimitedScript(QString::fromUtf8(kStoreWritesSQL));
    for (const QString& statement : std::as_const(steps))
        if (auto r = run(statement); !r.ok)
            return r;
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

StoreResult TVXStoreCreator::addDemoContent(const QString& memberID)
{
    struct DemoType {
        const char* uid;
        const char* name;
        int icon;
        int mask; // bit n masks value n + 1
        QStringList fields;
    };
    // The web log-in keeps the identifier that offers AutoFill.
    const DemoType types[] = {
        {"0000000000000012", "Web Log-in", 12, 0b100, {"Name", "User Name", "Password", "Address"}},
        {"000000000000D0C1", "Bank Card", 5, 0b11010,
         {"Bank", "Card Number", "Name on Card", "PIN", "Security Code", "Expires"}},
        {"000000000000D0C2", "Server Account", 40, 0b100, {"Host", "User Name", "Password", "Port"}},
    };
    struct DemoRecord {
        const char* uid;
        const char* group;
        const char* type;
        QStringList values;
        const char* note;
    };
    const char* home = "000000000000D0A1";
    const char* office = "000000000000D0A2";
    const DemoRecord records[] = {
        {"000000000000D0B1", home, types[0].uid, {"Mail", "demo", "Tulip-Lamp-42", "https://mail.example.org"}, ""},
        {"000000000000D0B2", home, types[1].uid,
         {"Bank of Example", "4000 1234 5678 9010", "D. Emo", "1234", "321", "12/29"}, "Call 0800 000 000 if lost."},
        {"000000000000D0B3", office, types[0].uid,
         {"Wiki", "demo", "Green-Kettle-7", "https://wiki.example.org"}, ""},
        {"000000000000D0B4", office, types[2].uid, {"db1.example.org", "backup", "Quiet-River-19", "22"},
         "Nightly backups run at 02:00."},
    };
    try {
        mStore->selectSchema(QString::fromLatin1(kTolvanexSchema));
        mStore->ciphers().createEncrypter(mStore->retriveMasterPassword());
        std::vector<std::unique_ptr<tvxsql::BlobParameter>> blobs;
        const auto blob = [&](const QString& text) -> std::istream* {
            blobs.push_back(tvxsql::blobStream(mStore->encryptString(text)));
            return blobs.back()->stream();
        };
        std::unique_ptr<sql::PreparedStatement> type(admin().prepareStatement(kQueryTypeInsert));
        for (const DemoType& t : types) {
            type->setString(1, t.uid);
            type->setBlob(2, blob(QString::fromLatin1(t.name)));
            type->setInt(3, t.icon);
            type->setInt(4, t.mask);
            for (int i = 0; i < 10; ++i)
                type->setBlob(5 + i, blob(t.fields.value(i, QString::fromLatin1(kDefaultFieldNames[size_t(i)]))));
            type->executeUpdate();
        }
        std::unique_ptr<sql::PreparedStatement> group(admin().prepareStatement(kQueryGroupInsert));
        for (const auto& [uid, name] : {std::pair{home, "Household"}, std::pair{office, "Office"}}) {
            group->setBlob(1, blob(QString::fromLatin1(name)));
            group->setString(2, uid);
            group->setInt(3, 0);
            group->setBoolean(4, false);
            group->executeUpdate();
        }
        std::unique_ptr<sql::PreparedStatement> member(
            admin().prepareStatement("INSERT INTO USERGROUPTABLE (USERID, GROUPID) VALUES (?, ?)"));
        for (const char* uid : {home, office}) {
            member->setString(1, memberID.toStdString());
            member->setString(2, uid);
            member->executeUpdate();
        }
        std::unique_ptr<sql::PreparedStatement> record(admin().prepareStatement(
            "INSERT INTO RECORDTABLE (RECORDID, TYPEUID, GROUPUID, FIELD1, FIELD2, FIELD3, FIELD4, FIELD5, FIELD6, "
            "FIELD7, FIELD8, FIELD9, FIELD10, NOTE) VALUES (?,?,?,?,?,?,?,?,?,?,?,?,?,?)"));
        const QString now = TVXRecord::modificationDateText(QDateTime::currentDateTime());
        for (const DemoRecord& r : records) {
            record->setString(1, r.uid);
            record->setString(2, r.type);
            record->setString(3, r.group);
            for (int i = 0; i < 9; ++i)
                record->setBlob(4 + i, blob(r.values.value(i)));
            record->setBlob(13, blob(now));
            record->setBlob(14, blob(QString::fromUtf8(r.note)));
            record->executeUpdate();
        }
    } catch (const sql::SQLException& e) {
        return StoreResult::failure(serverMessage(e));
    }
    return {};
}

StoreResult TVXStoreCreator::dropServerAccount(const QString& name)
{
    if (!isValidAccountName(name))
        return StoreResult::failure(QStringLiteral("Not a valid account name: use 1 to 16 letters, digits, '_', '.' or '-'."));
    return run(QStringLiteral("DROP USER IF EXISTS %1@'%'").arg(quoted(name)));
}

StoreResult TVXStoreCreator::applyStoreRights(const QString& name, bool administrator)
{
    return applyStoreRights(name, QStringLiteral("%"), administrator);
}

StoreResult TVXStoreCreator::applyStoreRights(const QString& name, const QString& host, bool administrator)
{
    if (!isValidAccountName(name))
        return StoreResult::failure(QStringLiteral("Not a valid account name: use 1 to 16 letters, digits, '_', '.' or '-'."));
    try {
        std::unique_ptr<sql::PreparedStatement> call(
            admin().prepareStatement("CALL tolvanexdb.TVX_APPLY_RIGHTS(?, ?, ?)"));
        call->setString(1, name.toStdString());
        call->setString(2, host.toStdString());
        call->setBoolean(3, administrator);
        call->execute();
        return {};
    } catch (const sql::SQLException& e) {
        return StoreResult::failure(QStringLiteral("The server refused the rights of %1: %2").arg(name, serverMessage(e)));
    }
}

StoreResult TVXStoreCreator::upgradeGrants(int* accounts)
{
    if (auto r = installRoutines(nullptr); !r.ok)
        return r;
    // Every host of every name with a user row. Administrators are those that
    // hold the account routines, or (in a store of an earlier version) may
    // create accounts at some host.
    struct Account {
        QString name;
        QString host;
        bool administrator;
    };
    QList<Account> found;
    try {
        std::unique_ptr<sql::Statement> stmt(admin().createStatement());
        std::unique_ptr<sql::ResultSet> rs(stmt->executeQuery(
            "SELECT UT.USERNAME, G.Host, tolvanexdb.TVX_ACCOUNT_IS_ADMIN(UT.USERNAME) OR EXISTS (SELECT 1 FROM "
            "mysql.user A WHERE A.User = G.User AND A.Create_user_priv = 'Y') FROM tolvanexdb.USERTABLE UT "
            "JOIN mysql.global_priv G ON G.User = CONVERT(UT.USERNAME USING utf8mb3) COLLATE utf8mb3_bin "
            "ORDER BY UT.USERNAME, G.Host"));
        while (rs->next())
            found.append({QString::fromStdString(rs->getString(1).asStdString()),
                          QString::fromStdString(rs->getString(2).asStdString()), rs->getInt(3) == 1});
    } catch (const sql::SQLException& e) {
        return StoreResult::failure(serverMessage(e));
    }
    int done = 0;
    QString previous;
    for (const Account& account : std::as_const(found)) {
        if (account.name.compare(QLatin1String("root"), Qt::CaseInsensitive) == 0 || account.name == QLatin1String("tvx_definer")
            || !isValidAccountName(account.name))
            continue; // never an account the store does not own
        if (auto r = applyStoreRights(account.name, account.host, account.administrator); !r.ok)
            return r;
        if (account.name != previous)
            ++done;
        previous = account.name;
    }
    if (accounts)
        *accounts = done;
    return {};
}

StoreResult TVXStoreCreator::addStoreUser(const StoreUser& user, QString* userID)
{
    if (!isValidAccountName(user.name))
        return StoreResult::failure(QStringLiteral("Not a valid account name: use 1 to 16 letters, digits, '_', '.' or '-'."));
    try {
        // The personal group's name is enciphered under the store's own master password.
        mStore->selectSchema(QString::fromLatin1(kTolvanexSchema));
        mStore->ciphers().createEncrypter(mStore->retriveMasterPassword());
    } catch (const sql::SQLException& e) {
        return StoreResult::failure(serverMessage(e));
    }
    if (user.name.compare(QLatin1String("root"), Qt::CaseInsensitive) == 0)
        return StoreResult::failure(QStringLiteral("The server's own root account cannot be a store user."));
    // Checked before anything is made: an account never gets a password its
    // own client would refuse.
    if (user.password.isEmpty())
        return StoreResult::failure(QStringLiteral("The password of %1 is empty; every account needs one.").arg(user.name));
    const std::optional<QVariantHash> policy = mStore->passwordHint().passwordPolicyDetails();
    if (!policy)
        return StoreResult::failure(QStringLiteral("The store's password policy could not be read."));
    BMPasswordPolicyController rules;
    rules.passwordPolicyDidChanged(*policy);
    if (!rules.stringConformsPassowrdPolicy(user.password))
        return StoreResult::failure(policyRefusal(user.name, rules));
    if (mStore->accountAdmin().isUserExistsInTolvanex(user.name))
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
    const TVXResult code = mStore->accountAdmin().addUser(*account);
    if (code != kTVXDone)
        return StoreResult::failure(QStringLiteral("The server refused the new account (result %1).").arg(resultNumber(code)));
    if (userID)
        *userID = account->mUserID();
    return {};
}
