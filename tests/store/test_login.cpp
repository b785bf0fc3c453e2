// Log-in against a real server: result codes, encrypter keys, and the error
// path's notices.
#include "platform/core/MainThread.h"
#include "model/TVXType.h"
#include "model/TVXUser.h"
#include "model/TVXUser_Admin.h"
#include "platform/core/NotificationCenter.h"
#include "store/personal/IconStore.h"
#include "store/session/StatementHelpers.h"
#include "store/TVXDataBase.h"
#include "support/GreetingRelay.h"
#include "support/TestStore.h"
#include "support/StoreSeed.h"

#include "DelayingRelay.h"

#include <cppconn/connection.h>
#include <cppconn/driver.h>
#include <cppconn/exception.h>
#include <cppconn/resultset.h>
#include <cppconn/statement.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QThread>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <thread>
#include <vector>

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
    EXPECT_TRUE(db.ciphers().hasFieldEncrypter());
    EXPECT_EQ(db.masterPassword(), kMasterPassword);
    EXPECT_EQ(db.connectedServerAddress(), "localhost");
    EXPECT_EQ(db.connectingPortAddress(), QString::number(port()));
}

// A distant server is asked few times for the log-in's checks: the session's
// settings in one statement, the account's user row with its groups read
// together with the master-password row.
TEST_F(LogIn, TheChecksOfALogInTakeFewRoundTrips)
{
    {
        StoreSeed seed(kMasterPassword);
        seed.group("00000000000000A2", "Servers");
        seed.group("00000000000000A1", "Finance");
        seed.member(aliceID, "00000000000000A2");
        seed.member(aliceID, "00000000000000A1");
    }
    DelayingRelay relay(port(), 0);
    useServerPort(relay.port());
    TVXDataBase db;
    const TVXResult login = db.startConnectionToServer(loginRequest());
    const uint64_t afterConnect = relay.roundTrips();
    const TVXResult details = login == kTVXDone ? db.initUserDetails(kUserName, kUserPassword) : login;
    const uint64_t total = relay.roundTrips();
    useServerPort(0);
    ASSERT_EQ(login, kTVXDone);
    ASSERT_EQ(details, kTVXDone);
    // The connection with its TLS handshake and checks took 11, the user's
    // row and groups 9 (a statement prepared, run and closed each), then 10
    // and 2. The master-password row, the user row and the all-privileges
    // check now go out together, once the store is selected.
    EXPECT_LE(afterConnect, 9u);
    EXPECT_EQ(total - afterConnect, 0u);
    EXPECT_EQ(db.caches().mCurrentUser()->mUserID(), aliceID);
    EXPECT_EQ(db.caches().mCurrentUser()->mUsername(), kUserName);
    EXPECT_EQ(db.caches().mCurrentUser()->mUsersGroupArray(),
              QStringList({"00000000000000A1", "00000000000000A2"}));
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

// A caller that goes on after a refused log-in meets failures, never a call
// through a connection or concern that is not there.
TEST_F(LogIn, AStoreWhoseLogInFailedAnswersEveryCallWithAFailure)
{
    TVXDataBase db;
    ASSERT_EQ(db.startConnectionToServer(loginRequest(kUserName, "not-the-password")), kTVXAccessDenied);
    TVXUser_Admin user;
    user.setMUsername(QStringLiteral("carol"));
    user.setMPassword(QStringLiteral("carol-pw"));
    EXPECT_NE(db.accountAdmin().addUser(user), kTVXDone);
    EXPECT_NE(db.accountAdmin().replaceUser(user), kTVXDone);
    EXPECT_NE(db.accountAdmin().deleteUser(user), kTVXDone);
    EXPECT_NE(db.accountAdmin().unblockAccount(QStringLiteral("carol")), kTVXDone);
    EXPECT_FALSE(db.accountAdmin().isUserExistsInTolvanex(QStringLiteral("alice")));
    EXPECT_FALSE(db.accountAdmin().isStoreAdministrator());
    int number = 0;
    const QByteArray png = TVXIconsAccess::iconPNGForPicture(QImage(8, 8, QImage::Format_ARGB32));
    EXPECT_NE(db.icons().insertCustomIconWithIndex(&number, png), kTVXDone);
    EXPECT_NE(db.reloadDatabase(), kTVXDone);
    EXPECT_TRUE(db.caches().mRecords().isEmpty());
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

namespace {

QString sessionCipherOf(TVXDataBase& db)
{
    std::unique_ptr<sql::Statement> stmt(db.connection()->createStatement());
    std::unique_ptr<sql::ResultSet> rs(stmt->executeQuery("SHOW STATUS LIKE 'Ssl_cipher'"));
    return rs->next() ? QString::fromStdString(rs->getString(2).asStdString()) : QString();
}

TVXLoginRequest withoutAuthority(TVXLoginRequest request, const QString& pinned = {}, int port = 0)
{
    request.remove(kLoginTlsCAFile);
    if (!pinned.isEmpty())
        request[kLoginTlsFingerprint] = pinned;
    if (port)
        request[kLoginPortNumber] = QString::number(port);
    return request;
}

} // namespace

TEST_F(LogIn, WithoutAnAuthorityTheFirstLogInReportsTheFingerprintAndAPinnedOneLogsIn)
{
    const QString fingerprint = serverFingerprint();
    ASSERT_EQ(fingerprint.size(), 95);
    TVXDataBase db;
    EXPECT_EQ(db.startConnectionToServer(withoutAuthority(loginRequest())), kTVXServerNotTrusted);
    EXPECT_EQ(db.serverFingerprint(), fingerprint);
    EXPECT_EQ(db.connection(), nullptr);
    EXPECT_EQ(hooks.completions, 1);

    // The answer, kept and handed back: encrypted, as with the authority named.
    ASSERT_EQ(db.startConnectionToServer(withoutAuthority(loginRequest(), fingerprint)), kTVXDone)
        << db.secureConnectionRefusal().toStdString();
    EXPECT_FALSE(sessionCipherOf(db).isEmpty());
    EXPECT_EQ(db.serverFingerprint(), fingerprint);
    // As a person copies it: lower case, without the colons.
    TVXDataBase copied;
    EXPECT_EQ(copied.startConnectionToServer(
                  withoutAuthority(loginRequest(), fingerprint.toLower().remove(QLatin1Char(':')))),
              kTVXDone);
    TVXDataBase verified;
    ASSERT_EQ(verified.startConnectionToServer(loginRequest()), kTVXDone);
    EXPECT_FALSE(sessionCipherOf(verified).isEmpty());
}

TEST_F(LogIn, ARelayWithACertificateOfItsOwnGetsNoLogIn)
{
    GreetingRelay relay(port(), GreetingRelay::Tls::OwnCertificate);
    const QString own = QString::fromStdString(relay.fingerprint());
    const QString fingerprint = serverFingerprint();
    ASSERT_NE(own, fingerprint);
    const auto refusalOf = [&](const TVXLoginRequest& request) {
        TVXDataBase db;
        const TVXResult code = db.startConnectionToServer(request);
        EXPECT_EQ(db.connection(), nullptr);
        return std::pair{code, db.secureConnectionRefusal() + db.serverFingerprint()};
    };
    // Unknown: the relay's fingerprint is what the question shows.
    const auto unknown = refusalOf(withoutAuthority(loginRequest(), {}, relay.port()));
    EXPECT_EQ(unknown.first, kTVXServerNotTrusted);
    EXPECT_EQ(unknown.second, own);

    // Pinned to the server's: refused, with both fingerprints and the way to accept a new one.
    const auto changed = refusalOf(withoutAuthority(loginRequest(), fingerprint, relay.port()));
    EXPECT_EQ(changed.first, kTVXSecureConnectionRefused);
    EXPECT_TRUE(changed.second.contains(fingerprint)) << changed.second.toStdString();
    EXPECT_TRUE(changed.second.contains(own)) << changed.second.toStdString();
    EXPECT_TRUE(changed.second.contains("TrustedServerCertificates")) << changed.second.toStdString();

    // The relay lets the first look at the server go by and takes the session itself.
    relay.passThrough(1);
    const auto swapped = refusalOf(withoutAuthority(loginRequest(), fingerprint, relay.port()));
    EXPECT_EQ(swapped.first, kTVXSecureConnectionRefused);
    EXPECT_TRUE(swapped.second.contains("not the one checked")) << swapped.second.toStdString();
    EXPECT_TRUE(relay.clientBytes().empty()) << "the relay read the log-in";
}

TEST_F(LogIn, NoPasswordGoesOutWhenTheServerAsksForItInClearText)
{
    const QString secret = QStringLiteral("alice-clear-text-secret");
    rootExec("SET PASSWORD FOR 'alice'@'%' = PASSWORD('alice-clear-text-secret')");
    const auto attempt = [&](GreetingRelay& relay, TVXLoginRequest request) {
        request[kLoginPortNumber] = QString::number(relay.port());
        request[kLoginHostPassword] = secret;
        TVXDataBase db;
        EXPECT_EQ(db.startConnectionToServer(request), kTVXSecureConnectionRefused);
        const QString refusal = db.secureConnectionRefusal();
        EXPECT_TRUE(refusal.contains("log-in method was refused")) << refusal.toStdString();
        EXPECT_FALSE(refusal.contains(secret));
        EXPECT_FALSE(relay.clientBytes().empty()) << "the relay never saw the log-in";
        EXPECT_EQ(relay.clientBytes().find(secret.toStdString()), std::string::npos) << "the password went out";
    };
    {
        // Unencrypted, allowed on purpose.
        GreetingRelay relay(port(), GreetingRelay::Tls::Strip, true);
        auto request = withoutAuthority(loginRequest());
        request[kLoginAllowUnencrypted] = QStringLiteral("1");
        attempt(relay, request);
    }
    {
        // A relay whose certificate the user trusted.
        GreetingRelay relay(port(), GreetingRelay::Tls::OwnCertificate, true);
        attempt(relay, withoutAuthority(loginRequest(), QString::fromStdString(relay.fingerprint())));
    }
}

TEST_F(LogIn, WrongPasswordsInARowBlockTheAccountUntilAnAdministratorUnblocksIt)
{
    // The project's server stops guessing after a few wrong passwords.
    const int limit = rootQueryValue("SELECT @@GLOBAL.max_password_errors").toInt();
    ASSERT_GT(limit, 0);
    ASSERT_LE(limit, 100);
    addAccount("boss", "boss-pw", true);
    TVXDataBase alice;
    for (int i = 0; i < limit; ++i)
        ASSERT_EQ(alice.startConnectionToServer(loginRequest(kUserName, "guess-" + QString::number(i))),
                  kTVXAccessDenied);
    EXPECT_EQ(alice.startConnectionToServer(loginRequest()), kTVXAccountBlocked);
    EXPECT_EQ(alice.connection(), nullptr);

    // The block is the account's: an administrator still logs in, and unblocks it.
    TVXDataBase boss;
    ASSERT_EQ(logInAndLoad(boss, "boss", "boss-pw"), kTVXDone);
    ASSERT_EQ(boss.accountAdmin().unblockAccount(kUserName), kTVXDone);
    ASSERT_EQ(alice.startConnectionToServer(loginRequest()), kTVXDone);
    // An ordinary account may not unblock anyone.
    EXPECT_NE(alice.accountAdmin().unblockAccount("boss"), kTVXDone);
    // A right password clears the count: as many wrong ones again do not block.
    for (int i = 0; i + 1 < limit; ++i)
        (void)alice.startConnectionToServer(loginRequest(kUserName, "again"));
    EXPECT_EQ(alice.startConnectionToServer(loginRequest()), kTVXDone);
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

namespace {

// The fixture server as one that also takes unencrypted connections, for the
// length of a test.
struct PlainConnectionsTaken {
    PlainConnectionsTaken() { rootExec("SET GLOBAL require_secure_transport=OFF"); }
    ~PlainConnectionsTaken() { rootExec("SET GLOBAL require_secure_transport=ON"); }
};

} // namespace

TEST_F(LogIn, TheServerTakesNoConnectionWithoutTls)
{
    sql::ConnectOptionsMap options;
    options["hostName"] = sql::SQLString("tcp://127.0.0.1:" + std::to_string(port()));
    options["userName"] = sql::SQLString(kUserName.toStdString());
    options["password"] = sql::SQLString(kUserPassword.toStdString());
    EXPECT_THROW(std::unique_ptr<sql::Connection>(get_driver_instance()->connect(options)), sql::SQLException);
}

TEST_F(LogIn, AGreetingWithoutTlsIsRefusedUnlessAllowedOnPurpose)
{
    // A server that would take the plain session: the client refuses it itself.
    const PlainConnectionsTaken plain;
    rootExec("ALTER USER 'alice'@'%' REQUIRE NONE");
    GreetingRelay relay(port());
    auto request = loginRequest();
    request[kLoginPortNumber] = QString::number(relay.port());
    const auto refusedForNoTls = [&](const TVXLoginRequest& attempt) {
        TVXDataBase db;
        const TVXResult code = db.startConnectionToServer(attempt);
        const QString refusal = db.secureConnectionRefusal();
        EXPECT_EQ(db.connection(), nullptr);
        EXPECT_FALSE(refusal.contains(kUserPassword));
        return code == kTVXSecureConnectionRefused
            && refusal.contains("does not offer an encrypted connection (TLS)")
            && refusal.contains("AllowUnencryptedServer=true");
    };
    // With a certificate authority named, and without one (the client library
    // alone would then go on in plain text).
    EXPECT_TRUE(refusedForNoTls(request));
    auto unnamed = request;
    unnamed.remove(kLoginTlsCAFile);
    EXPECT_TRUE(refusedForNoTls(unnamed));
    EXPECT_GE(relay.strippedGreetings(), 2);

    // Allowed on purpose: it goes through unencrypted, with or without the authority named.
    for (auto attempt : {request, unnamed}) {
        attempt[kLoginAllowUnencrypted] = QStringLiteral("1");
        TVXDataBase db;
        ASSERT_EQ(db.startConnectionToServer(attempt), kTVXDone) << db.secureConnectionRefusal().toStdString();
        EXPECT_TRUE(sessionCipherOf(db).isEmpty());
    }
    // The setting takes TLS all the same where it is offered.
    auto direct = loginRequest();
    direct[kLoginAllowUnencrypted] = QStringLiteral("1");
    TVXDataBase db;
    ASSERT_EQ(db.startConnectionToServer(direct), kTVXDone);
    EXPECT_FALSE(sessionCipherOf(db).isEmpty());
}

TEST_F(LogIn, ACertificateForAnotherHostNameSaysWhichNameItLacks)
{
    // 127.1 reaches the server but is not a name its certificate holds.
    auto request = loginRequest();
    request[kLoginServerAddress] = QStringLiteral("127.1");
    TVXDataBase db;
    EXPECT_EQ(db.startConnectionToServer(request), kTVXSecureConnectionRefused);
    const QString refusal = db.secureConnectionRefusal();
    EXPECT_TRUE(refusal.contains("does not name 127.1")) << refusal.toStdString();
    EXPECT_TRUE(refusal.contains("localhost")) << refusal.toStdString();
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
    EXPECT_FALSE(db.ciphers().hasFieldEncrypter());
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
    ASSERT_TRUE(db.ciphers().hasFieldEncrypter());

    ASSERT_NO_FATAL_FAILURE(resetStore(QString()));
    addUser(kUserName, kUserPassword);
    ASSERT_EQ(db.startConnectionToServer(loginRequest(kUserName, kUserPassword, "")), kTVXDone);
    EXPECT_FALSE(db.ciphers().hasFieldEncrypter());
}

TEST_F(LogIn, RunsOnAWorkerAndReportsOnTheMainThread)
{
    TVXDataBase db;
    std::atomic<bool> done{false};
    std::atomic<TVXResult> code{resultOfNumber(-1)};
    std::thread worker([&] {
        code.store(db.startConnectionToServer(loginRequest()));
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

namespace {

// Passes bytes between the client and the store server until frozen: to the
// client, a server that stopped answering (the shared server itself runs on).
class FreezableRelay {
public:
    explicit FreezableRelay(int serverPort) : mServerPort(serverPort)
    {
        mListen = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        ::bind(mListen, reinterpret_cast<sockaddr*>(&address), length);
        ::listen(mListen, 4);
        ::getsockname(mListen, reinterpret_cast<sockaddr*>(&address), &length);
        mPort = ntohs(address.sin_port);
        mThread = std::thread([this] { run(); });
    }
    ~FreezableRelay()
    {
        mStop = true;
        mThread.join();
        for (int fd : mOpen)
            ::close(fd);
        ::close(mListen);
    }
    int port() const { return mPort; }
    void freeze() { mFrozen = true; }

private:
    void run()
    {
        std::vector<std::pair<int, int>> pairs; // client, server
        while (!mStop) {
            if (mFrozen) {
                std::this_thread::sleep_for(std::chrono::milliseconds(20));
                continue;
            }
            std::vector<pollfd> fds{{mListen, POLLIN, 0}};
            for (const auto& [client, server] : pairs) {
                fds.push_back({client, POLLIN, 0});
                fds.push_back({server, POLLIN, 0});
            }
            if (::poll(fds.data(), fds.size(), 20) <= 0)
                continue;
            if (fds[0].revents & POLLIN) {
                const int client = ::accept(mListen, nullptr, nullptr);
                const int server = ::socket(AF_INET, SOCK_STREAM, 0);
                sockaddr_in address{};
                address.sin_family = AF_INET;
                address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
                address.sin_port = htons(uint16_t(mServerPort));
                ::connect(server, reinterpret_cast<sockaddr*>(&address), sizeof address);
                pairs.emplace_back(client, server);
                mOpen << client << server;
            }
            for (size_t i = 1; i < fds.size(); ++i) {
                if (!(fds[i].revents & (POLLIN | POLLHUP)))
                    continue;
                const auto& pair = pairs[(i - 1) / 2];
                const int to = fds[i].fd == pair.first ? pair.second : pair.first;
                char buffer[65536];
                const ssize_t got = ::read(fds[i].fd, buffer, sizeof buffer);
                if (got > 0)
                    ::send(to, buffer, size_t(got), MSG_NOSIGNAL);
            }
        }
    }

    int mServerPort;
    int mListen = -1;
    int mPort = 0;
    QList<int> mOpen;
    std::atomic<bool> mFrozen{false};
    std::atomic<bool> mStop{false};
    std::thread mThread;
};

} // namespace

TEST_F(LogIn, AServerThatStopsAnsweringIsALostConnectionWithinTheTimeout)
{
    FreezableRelay relay(port());
    TVXDataBase db;
    db.setReadWriteTimeout(2);
    auto request = loginRequest();
    request.insert(kLoginPortNumber, QString::number(relay.port()));
    ASSERT_EQ(db.startConnectionToServer(request), kTVXDone);
    ASSERT_EQ(db.initUserDetails(kUserName, kUserPassword), kTVXDone);
    ASSERT_EQ(db.loadDataBase(), kTVXDone);
    Notices notices;

    const HangDeadline deadline(40);
    relay.freeze();
    QElapsedTimer timer;
    timer.start();
    EXPECT_EQ(db.reloadDatabase(), kTVXClientError);
    EXPECT_EQ(hooks.reloadFailures, 1);
    EXPECT_LT(timer.elapsed(), 15000);

    timer.restart();
    // A write answers the lost connection too, as the reload did.
    EXPECT_EQ(db.addType(std::make_shared<TVXType>()), kTVXClientError);
    EXPECT_LT(timer.elapsed(), 15000);
    EXPECT_EQ(notices.lost, 1);
}
