// Log-in against a real server: result codes, encrypter keys, and the error
// path's notices.
#include "platform/core/MainThread.h"
#include "platform/core/NotificationCenter.h"
#include "store/StatementHelpers.h"
#include "support/TestStore.h"

#include <cppconn/connection.h>
#include <cppconn/exception.h>
#include <cppconn/resultset.h>
#include <cppconn/statement.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QThread>

#include <thread>

using namespace teststore;

namespace {

QString hexOf(const QByteArray& bytes) { return QString::fromLatin1(bytes.toHex().toUpper()); }

// The server's own AES-128-ECB of the bytes zero-padded to whole blocks.
QString serverAesHex(const QByteArray& plain, const QByteArray& key16)
{
    const int padded = (plain.size() + 15) / 16 * 16;
    return rootQueryValue(QStringLiteral("SELECT HEX(LEFT(AES_ENCRYPT(CONCAT(UNHEX('%1'), REPEAT(X'00', %2)), "
                                         "UNHEX('%3')), %4))")
                              .arg(hexOf(plain))
                              .arg(padded - plain.size())
                              .arg(hexOf(key16))
                              .arg(padded));
}

int countAccountConnections(const QString& user)
{
    return rootQueryValue(QStringLiteral("SELECT COUNT(*) FROM information_schema.PROCESSLIST WHERE USER='%1'")
                              .arg(user))
        .toInt();
}

struct Notices {
    Notices()
    {
        auto& center = platform::NotificationCenter::defaultCenter();
        tokens[0] = center.addObserver(kDBCommLostNotification, [this](const auto&) { ++lost; });
        tokens[1] = center.addObserver(kDBUserDeletedNotification, [this](const auto&) { ++deleted; });
    }
    ~Notices()
    {
        for (auto token : tokens)
            platform::NotificationCenter::defaultCenter().removeObserver(token);
    }
    int lost = 0;
    int deleted = 0;
    platform::NotificationCenter::Token tokens[2]{};
};

using LogIn = StoreTest;

} // namespace

TEST_F(LogIn, RightMasterPasswordLogsInAndTellsTheApplication)
{
    TVXDataBase db;
    EXPECT_EQ(db.startConnectionToServer(loginRequest()), kTVXDone);
    EXPECT_EQ(db.connectionErrorCode(), kTVXDone);
    EXPECT_TRUE(db.isConnectionComplete());
    EXPECT_EQ(hooks.completions, 1);
    ASSERT_NE(db.connection(), nullptr);
    EXPECT_EQ(QString::fromStdString(db.connection()->getSchema().asStdString()), "tolvanexdb");
    EXPECT_TRUE(db.hasFieldEncrypter());
    EXPECT_EQ(db.masterPassword(), kMasterPassword);
    EXPECT_EQ(db.connectedServerAddress(), "localhost");
    EXPECT_EQ(db.connectingPortAddress(), QString::number(port()));
}

TEST_F(LogIn, WrongOrEmptyMasterPasswordIsRefused)
{
    TVXDataBase db;
    EXPECT_EQ(db.startConnectionToServer(loginRequest(kUserName, kUserPassword, "master-pw1")),
              kTVXMasterPasswordMismatch);
    EXPECT_EQ(db.connectionErrorCode(), kTVXMasterPasswordMismatch);
    EXPECT_TRUE(db.isConnectionComplete());
    EXPECT_EQ(hooks.completions, 1);
    EXPECT_EQ(db.connection(), nullptr);

    EXPECT_EQ(db.startConnectionToServer(loginRequest(kUserName, kUserPassword, "")),
              kTVXMasterPasswordMismatch);
    EXPECT_EQ(hooks.completions, 2);
}

TEST_F(LogIn, WrongAccountPasswordIsAccessDenied)
{
    TVXDataBase db;
    EXPECT_EQ(db.startConnectionToServer(loginRequest(kUserName, "not-the-password")), kTVXAccessDenied);
    EXPECT_EQ(db.startConnectionToServer(loginRequest("nobody", "x")), kTVXAccessDenied);
    EXPECT_EQ(hooks.completions, 2);
    EXPECT_EQ(db.connection(), nullptr);
}

TEST_F(LogIn, UnreachableServerIsReported)
{
    TVXDataBase db;
    auto closedPort = loginRequest();
    closedPort[kLoginPortNumber] = QStringLiteral("1");
    EXPECT_EQ(db.startConnectionToServer(closedPort), kTVXHostUnreachable);

    auto unknownHost = loginRequest();
    unknownHost[kLoginIPAddress] = QStringLiteral("no-such-host.invalid");
    unknownHost[kLoginServerAddress] = QStringLiteral("no-such-host.invalid");
    EXPECT_EQ(db.startConnectionToServer(unknownHost), kTVXHostUnreachable);
    EXPECT_EQ(hooks.completions, 2);
}

TEST_F(LogIn, AccountWithEveryServerPrivilegeIsRefused)
{
    rootExec("CREATE USER 'boss'@'%' IDENTIFIED BY 'boss-pw'");
    rootExec("GRANT ALL PRIVILEGES ON *.* TO 'boss'@'%' WITH GRANT OPTION");
    TVXDataBase db;
    EXPECT_EQ(db.startConnectionToServer(loginRequest("boss", "boss-pw")), kTVXAllPrivileges);
    EXPECT_EQ(db.connection(), nullptr);
    // An ordinary store user may not read the server's account table: it passes.
    EXPECT_EQ(db.startConnectionToServer(loginRequest()), kTVXDone);
    EXPECT_FALSE(db.hasAdminUserPrivileges(kUserName));
}

TEST_F(LogIn, TheSessionIsEncryptedWithOrWithoutACertificateAuthorityNamed)
{
    const auto cipher = [](TVXDataBase& db) {
        std::unique_ptr<sql::Statement> stmt(db.connection()->createStatement());
        std::unique_ptr<sql::ResultSet> rs(stmt->executeQuery("SHOW STATUS LIKE 'Ssl_cipher'"));
        return rs->next() ? QString::fromStdString(rs->getString(2).asStdString()) : QString();
    };
    TVXDataBase verified;
    ASSERT_EQ(verified.startConnectionToServer(loginRequest()), kTVXDone);
    EXPECT_FALSE(cipher(verified).isEmpty());

    // Without a CA file the server's offer of TLS is taken all the same.
    auto unnamed = loginRequest();
    unnamed.remove(kLoginTlsCAFile);
    TVXDataBase offered;
    ASSERT_EQ(offered.startConnectionToServer(unnamed), kTVXDone);
    EXPECT_FALSE(cipher(offered).isEmpty());
}

TEST_F(LogIn, AServerThatDoesNotVerifyIsRefusedWithTheReason)
{
    // The system's authorities know nothing of the fixture server's private one.
    const QString otherAuthorities = QStringLiteral("/etc/ssl/certs/ca-certificates.crt");
    ASSERT_TRUE(QFileInfo::exists(otherAuthorities));
    auto request = loginRequest();
    request[kLoginTlsCAFile] = otherAuthorities;
    TVXDataBase db;
    EXPECT_EQ(db.startConnectionToServer(request), kTVXSecureConnectionRefused);
    EXPECT_EQ(db.connection(), nullptr);
    EXPECT_EQ(hooks.completions, 1);
    EXPECT_TRUE(db.secureConnectionRefusal().contains(otherAuthorities)) << db.secureConnectionRefusal().toStdString();
    EXPECT_TRUE(db.secureConnectionRefusal().contains("certificate")) << db.secureConnectionRefusal().toStdString();
    EXPECT_FALSE(db.secureConnectionRefusal().contains(kUserPassword));

    request[kLoginTlsCAFile] = QStringLiteral("/nonexistent/ca.pem");
    EXPECT_EQ(db.startConnectionToServer(request), kTVXSecureConnectionRefused);
    EXPECT_EQ(db.secureConnectionRefusal(), "The certificate authority file /nonexistent/ca.pem cannot be read.");

    // The next log-in with the right authority forgets the refusal.
    EXPECT_EQ(db.startConnectionToServer(loginRequest()), kTVXDone);
    EXPECT_TRUE(db.secureConnectionRefusal().isEmpty());
}

TEST_F(LogIn, EncryptersAreKeyedAsTheStoreExpects)
{
    TVXDataBase db;
    ASSERT_EQ(db.startConnectionToServer(loginRequest()), kTVXDone);

    // The master password row: under the first 16 bytes of the application key.
    EXPECT_EQ(rootQueryValue("SELECT HEX(VALUE) FROM tolvanexdb.DATABASEINFOTABLE WHERE NAME='DBPASSWORD'"),
              serverAesHex(kMasterPassword.toUtf8(), QByteArray(kTolvanexApplicationKey, 16)));

    // Field values: under the master password padded with blanks to 16 bytes.
    const QByteArray fieldKey = kMasterPassword.toUtf8().leftJustified(16, ' ');
    EXPECT_EQ(rootQueryValue("SELECT HEX(NAME) FROM tolvanexdb.GROUPTABLE WHERE UID='0000000000000000'"),
              serverAesHex("Unfiled", fieldKey));
    const QString value = QStringLiteral("Zugangsdaten für Café — 東京");
    EXPECT_EQ(hexOf(db.encryptString(value)), serverAesHex(value.toUtf8(), fieldKey));
}

TEST_F(LogIn, EmptyMasterPasswordStoresPlainBytes)
{
    ASSERT_NO_FATAL_FAILURE(resetStore(QString()));
    addUser(kUserName, kUserPassword);

    TVXDataBase db;
    EXPECT_EQ(db.startConnectionToServer(loginRequest(kUserName, kUserPassword, "")), kTVXDone);
    EXPECT_FALSE(db.hasFieldEncrypter());
    EXPECT_EQ(rootQueryValue("SELECT NAME FROM tolvanexdb.GROUPTABLE WHERE UID='0000000000000000'"), "Unfiled");
    EXPECT_EQ(db.encryptString(QStringLiteral("plain")), QByteArray("plain"));

    // With no master-password row at all, an empty typed password passes too.
    rootExec("DELETE FROM tolvanexdb.DATABASEINFOTABLE");
    EXPECT_EQ(db.startConnectionToServer(loginRequest(kUserName, kUserPassword, "")), kTVXDone);
    EXPECT_EQ(db.startConnectionToServer(loginRequest(kUserName, kUserPassword, "x")), kTVXMasterPasswordMismatch);
}

TEST_F(LogIn, EmptyMasterPasswordDropsTheKeyOfAnEarlierStore)
{
    TVXDataBase db;
    ASSERT_EQ(db.startConnectionToServer(loginRequest()), kTVXDone);
    ASSERT_TRUE(db.hasFieldEncrypter());

    ASSERT_NO_FATAL_FAILURE(resetStore(QString()));
    addUser(kUserName, kUserPassword);
    ASSERT_EQ(db.startConnectionToServer(loginRequest(kUserName, kUserPassword, "")), kTVXDone);
    EXPECT_FALSE(db.hasFieldEncrypter());
}

TEST_F(LogIn, RunsOnAWorkerAndReportsOnTheMainThread)
{
    TVXDataBase db;
    std::atomic<bool> done{false};
    std::atomic<int> code{-1};
    std::thread worker([&] {
        code = db.startConnectionToServer(loginRequest());
        done = true;
    });
    QElapsedTimer timer;
    timer.start();
    while (!done && timer.elapsed() < 60000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    worker.join();
    EXPECT_EQ(code, kTVXDone);
    EXPECT_EQ(hooks.completions, 1);
    EXPECT_FALSE(hooks.calledOffMainThread);
}

TEST_F(LogIn, ANewLogInClosesThePreviousConnection)
{
    TVXDataBase db;
    ASSERT_EQ(db.startConnectionToServer(loginRequest()), kTVXDone);
    ASSERT_EQ(db.startConnectionToServer(loginRequest()), kTVXDone);
    QElapsedTimer timer;
    timer.start();
    while (countAccountConnections(kUserName) > 1 && timer.elapsed() < 5000)
        QThread::msleep(20);
    EXPECT_EQ(countAccountConnections(kUserName), 1);
}

TEST_F(LogIn, LostConnectionIsNoticedOnceUntilTheNextLogIn)
{
    TVXDataBase db;
    ASSERT_EQ(db.startConnectionToServer(loginRequest()), kTVXDone);
    Notices notices;

    const auto killClient = [&] {
        std::unique_ptr<sql::Statement> stmt(db.connection()->createStatement());
        std::unique_ptr<sql::ResultSet> rs(stmt->executeQuery("SELECT CONNECTION_ID()"));
        ASSERT_TRUE(rs->next());
        rootExec(QStringLiteral("KILL %1").arg(rs->getInt64(1)));
    };

    killClient();
    EXPECT_TRUE(db.checkForMasterPasswordMatch().isNull());
    EXPECT_TRUE(db.checkForMasterPasswordMatch().isNull());
    EXPECT_EQ(notices.lost, 1);
    EXPECT_TRUE(db.isConnectionLostHandlerOn());

    ASSERT_EQ(db.startConnectionToServer(loginRequest()), kTVXDone);
    EXPECT_FALSE(db.isConnectionLostHandlerOn());
    EXPECT_EQ(db.checkForMasterPasswordMatch(), kMasterPassword);

    killClient();
    EXPECT_TRUE(db.checkForMasterPasswordMatch().isNull());
    EXPECT_EQ(notices.lost, 2);
    EXPECT_EQ(notices.deleted, 0);
}

TEST_F(LogIn, RefusedTableAccessMeansTheAccountWasDeleted)
{
    // Table-level rights take effect at the next statement of a live connection.
    rootExec("CREATE USER 'bob'@'%' IDENTIFIED BY 'bob-pw'");
    rootExec("GRANT SELECT ON tolvanexdb.DATABASEINFOTABLE TO 'bob'@'%'");
    TVXDataBase db;
    ASSERT_EQ(db.startConnectionToServer(loginRequest("bob", "bob-pw")), kTVXDone);
    Notices notices;

    rootExec("REVOKE SELECT ON tolvanexdb.DATABASEINFOTABLE FROM 'bob'@'%'");
    EXPECT_TRUE(db.checkForMasterPasswordMatch().isNull());
    EXPECT_TRUE(db.checkForMasterPasswordMatch().isNull());
    EXPECT_EQ(notices.deleted, 1);
    EXPECT_EQ(notices.lost, 0);
}
