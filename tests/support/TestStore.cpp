#include "support/TestStore.h"

#include "model/TVXUID.h"
#include "platform/core/MainThread.h"
#include "store/TVXDataBase.h"

#include <cppconn/driver.h>
#include <cppconn/exception.h>
#include <cppconn/resultset.h>
#include <cppconn/statement.h>

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QFile>
#include <QSslCertificate>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <thread>

namespace teststore {

namespace {
int gServerPort = 0;
}

void useServerPort(int port) { gServerPort = port; }

int port()
{
    if (gServerPort)
        return gServerPort;
    const char* dir = std::getenv("TVX_STORE_DIR");
    if (!dir) {
        ADD_FAILURE() << "TVX_STORE_DIR is not set: run the store tests through ctest";
        return 0;
    }
    QFile file(QString::fromLocal8Bit(dir) + QStringLiteral("/port"));
    if (!file.open(QIODevice::ReadOnly)) {
        ADD_FAILURE() << "no store server port file in " << dir;
        return 0;
    }
    return file.readAll().trimmed().toInt();
}

std::unique_ptr<sql::Connection> rootConnection() { return rootConnection(port()); }

std::unique_ptr<sql::Connection> rootConnection(int port)
{
    sql::ConnectOptionsMap options;
    options["hostName"] = sql::SQLString("tcp://127.0.0.1:" + std::to_string(port));
    options["userName"] = sql::SQLString("root");
    options["password"] = sql::SQLString("");
    options["OPT_CHARSET_NAME"] = sql::SQLString("utf8mb4");
    // The servers take no TCP connection without TLS; root's is not verified.
    options["sslEnforce"] = true;
    return std::unique_ptr<sql::Connection>(get_driver_instance()->connect(options));
}

void rootExec(const QString& statement)
{
    try {
        auto root = rootConnection();
        std::unique_ptr<sql::Statement> stmt(root->createStatement());
        stmt->execute(statement.toStdString());
    } catch (const sql::SQLException& e) {
        ADD_FAILURE() << statement.toStdString() << ": " << e.what();
    }
}

std::unique_ptr<sql::Connection> holdEverySave()
{
    auto holder = rootConnection();
    holder->setAutoCommit(false);
    std::unique_ptr<sql::Statement> hold(holder->createStatement());
    std::unique_ptr<sql::ResultSet>(
        hold->executeQuery("SELECT VALUE FROM tolvanexdb.TVXMASTERPASSWORDTABLE WHERE NAME='DBPASSWORD' FOR UPDATE"));
    return holder;
}

std::unique_ptr<sql::Connection> holdTable(const QString& table)
{
    auto holder = rootConnection();
    std::unique_ptr<sql::Statement> hold(holder->createStatement());
    hold->execute(QStringLiteral("LOCK TABLES tolvanexdb.%1 WRITE").arg(table).toStdString());
    return holder;
}

QString rootQueryValue(const QString& query)
{
    try {
        auto root = rootConnection();
        std::unique_ptr<sql::Statement> stmt(root->createStatement());
        std::unique_ptr<sql::ResultSet> rs(stmt->executeQuery(query.toStdString()));
        if (!rs->next() || rs->isNull(1))
            return QString();
        return QString::fromStdString(rs->getString(1).asStdString());
    } catch (const sql::SQLException& e) {
        ADD_FAILURE() << query.toStdString() << ": " << e.what();
        return QString();
    }
}

void resetStore(const QString& masterPassword)
{
    QStringList accounts;
    {
        // Accounts of earlier tests: every one with host '%'.
        auto root = rootConnection();
        std::unique_ptr<sql::Statement> stmt(root->createStatement());
        std::unique_ptr<sql::ResultSet> rs(
            stmt->executeQuery("SELECT User FROM mysql.global_priv WHERE Host='%'"));
        while (rs->next())
            accounts << QString::fromStdString(rs->getString(1).asStdString());
    }
    TVXStoreCreator creator(rootConnection());
    for (const QString& account : accounts)
        creator.dropServerAccount(account);
    const StoreResult result = creator.createStore(masterPassword, true);
    ASSERT_TRUE(result.ok) << result.message.toStdString();
    // The account details live outside the store: start them empty too.
    rootExec("DELETE FROM mysql.user_info");
}

QString addUser(const QString& name, const QString& password)
{
    // A bare account: server account, store grants and user row, nothing more,
    // so that readers and writers are tested on rows the test controls.
    TVXDataBase cipher;
    cipher.ciphers().createUserEncrypter();
    const QString uid = TVXUID::giveMeNewUID();
    rootExec(QStringLiteral("CREATE USER '%1'@'%' IDENTIFIED BY '%2'").arg(name, password));
    // The rights every store account gets (server/grants.txt).
    const StoreResult rights = TVXStoreCreator(rootConnection()).applyStoreRights(name, false);
    EXPECT_TRUE(rights.ok) << rights.message.toStdString();
    rootExec(QStringLiteral("INSERT INTO tolvanexdb.USERTABLE VALUES ('%1', '%2', UNHEX('%3'), '', 7, 7, 7, 15, 1, 0)")
                 .arg(uid, name, QString::fromLatin1(cipher.encryptDataString(password).toHex())));
    return uid;
}

QString addAccount(const QString& name, const QString& password, bool administrator)
{
    TVXStoreCreator creator(rootConnection());
    StoreUser user;
    user.name = name;
    user.password = password;
    user.administrator = administrator;
    QString uid;
    const StoreResult result = creator.addStoreUser(user, &uid);
    EXPECT_TRUE(result.ok) << result.message.toStdString();
    return uid;
}

void makeAdministrator(const QString& name)
{
    const StoreResult rights = TVXStoreCreator(rootConnection()).applyStoreRights(name, true);
    EXPECT_TRUE(rights.ok) << rights.message.toStdString();
}

std::unique_ptr<sql::Connection> accountConnection(const QString& name, const QString& password)
{
    TVXDataBase connector;
    return connector.connectToSServer(QStringLiteral("tcp://127.0.0.1:%1").arg(port()), name, password, caFile());
}

int refusalOf(sql::Connection& connection, const QString& statement)
{
    try {
        std::unique_ptr<sql::Statement> stmt(connection.createStatement());
        stmt->execute(statement.toStdString());
        return 0;
    } catch (const sql::SQLException& e) {
        return e.getErrorCode();
    }
}

QString queryValueOn(sql::Connection& connection, const QString& query)
{
    std::unique_ptr<sql::Statement> stmt(connection.createStatement());
    std::unique_ptr<sql::ResultSet> rs(stmt->executeQuery(query.toStdString()));
    if (!rs->next() || rs->isNull(1))
        return QString();
    return QString::fromStdString(rs->getString(1).asStdString());
}

void givePreferenceRow(const QString& userID, const QString& name)
{
    TVXDataBase administrator;
    administrator.adoptConnection(rootConnection());
    administrator.selectSchema(QStringLiteral("tolvanexdb"));
    TVXResult code = resultOfNumber(-1); // not set by the call
    administrator.preferences().initUserPreferencesForUser(userID, name, &code);
    EXPECT_EQ(code, kTVXDone);
}

namespace {

// The fixture's TLS folder: the store server's, or else the cluster's (one authority for every node).
QString fixtureTlsFolder()
{
    if (const char* dir = std::getenv("TVX_STORE_DIR"))
        return QString::fromLocal8Bit(dir) + QStringLiteral("/tls");
    if (const char* dir = std::getenv("TVX_CLUSTER_DIR"))
        return QString::fromLocal8Bit(dir) + QStringLiteral("/tls");
    return QString();
}

} // namespace

QString caFile()
{
    const QString folder = fixtureTlsFolder();
    return folder.isEmpty() ? QString() : folder + QStringLiteral("/ca.pem");
}

QString serverFingerprint()
{
    const QString folder = fixtureTlsFolder();
    const auto certificates = QSslCertificate::fromPath(folder.isEmpty() ? QString() : folder + QStringLiteral("/server.pem"));
    return certificates.isEmpty()
        ? QString()
        : QString::fromLatin1(certificates.first().digest(QCryptographicHash::Sha256).toHex(':').toUpper());
}

TVXLoginRequest loginRequest(const QString& user, const QString& password, const QString& master)
{
    // Every test log-in verifies the fixture server's certificate.
    return {
        {kLoginTlsCAFile, caFile()},
        {kLoginIPAddress, QStringLiteral("127.0.0.1")},
        {kLoginPortNumber, QString::number(port())},
        {kLoginUsername, user},
        {kLoginHostPassword, password},
        {kLoginMasterPassword, master},
        {kLoginServerAddress, QStringLiteral("localhost")},
    };
}

TVXResult logInAndLoad(TVXDataBase& db, const QString& user, const QString& password, const QString& master)
{
    TVXResult code = db.startConnectionToServer(loginRequest(user, password, master));
    if (code == kTVXDone)
        code = db.initUserDetails(user, password);
    return code == kTVXDone ? db.loadDataBase() : code;
}

HangDeadline::HangDeadline(int seconds)
    : mLeft(std::make_shared<std::atomic<bool>>(false))
{
    std::thread([left = mLeft, seconds] {
        for (int tenths = 0; tenths < seconds * 10; ++tenths) {
            if (left->load())
                return;
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
        if (!left->load()) {
            std::fprintf(stderr, "hung for %d s: giving up\n", seconds);
            std::_Exit(1);
        }
    }).detach();
}

HangDeadline::~HangDeadline() { mLeft->store(true); }

void RecordingHooks::connectionISComplete()
{
    if (!platform::isMainThread())
        calledOffMainThread = true;
    ++completions;
}

void StoreTest::SetUp()
{
    ASSERT_NO_FATAL_FAILURE(resetStore(kMasterPassword));
    aliceID = addUser(kUserName, kUserPassword);
    platform::setApplicationHooks(&hooks);
}

void StoreTest::TearDown() { platform::setApplicationHooks(nullptr); }

void runTogether(const std::vector<std::function<void()>>& bodies)
{
    std::atomic<int> running{int(bodies.size())};
    std::atomic<int> ready{0};
    std::vector<std::thread> threads;
    for (const auto& body : bodies)
        threads.emplace_back([&, body] {
            ++ready;
            while (ready.load() < int(bodies.size()))
                std::this_thread::yield();
            body();
            --running;
        });
    while (running.load() > 0)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    for (auto& thread : threads)
        thread.join();
}

} // namespace teststore
