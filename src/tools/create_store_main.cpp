// tvx-create-store: prepares the shared store on a MariaDB/MySQL server and
// adds its users. Passwords come from the environment or are asked for on the
// terminal, never from the command line (other users could read them there).
#include "model/RandomSource.h"
#include "platform/core/SecretHygiene.h"
#include "store/schema/TVXStoreCreator.h"
#include "store/session/TlsOptions.h"

#include <cppconn/driver.h>
#include <cppconn/exception.h>

#include <QCommandLineParser>
#include <QCoreApplication>

#include <cstdio>
#include <iostream>
#include <string>
#include <termios.h>
#include <unistd.h>

namespace {

QString askSecret(const char* envName, const QString& prompt)
{
    if (const char* fromEnv = std::getenv(envName))
        return QString::fromUtf8(fromEnv);
    std::cerr << prompt.toStdString() << ": " << std::flush;
    termios saved{};
    const bool tty = isatty(STDIN_FILENO) && tcgetattr(STDIN_FILENO, &saved) == 0;
    if (tty) {
        termios quiet = saved;
        quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
        tcsetattr(STDIN_FILENO, TCSANOW, &quiet);
    }
    std::string line;
    std::getline(std::cin, line);
    if (tty) {
        tcsetattr(STDIN_FILENO, TCSANOW, &saved);
        std::cerr << '\n';
    }
    return QString::fromStdString(line);
}

int fail(const QString& message)
{
    std::cerr << "tvx-create-store: " << message.toStdString() << '\n';
    return 1;
}

// The command line: where the server is, and what to do there.
struct ToolOptions {
    QCommandLineOption host{{QStringLiteral("H"), QStringLiteral("host")}, QStringLiteral("Server host (default 127.0.0.1)."),
                            QStringLiteral("host"), QStringLiteral("127.0.0.1")};
    QCommandLineOption port{{QStringLiteral("P"), QStringLiteral("port")}, QStringLiteral("Server port (default 3306)."),
                            QStringLiteral("port"), QStringLiteral("3306")};
    QCommandLineOption admin{{QStringLiteral("u"), QStringLiteral("admin")},
                             QStringLiteral("Administrator account (default root)."), QStringLiteral("account"),
                             QStringLiteral("root")};
    QCommandLineOption create{QStringLiteral("create"),
                              QStringLiteral("Create the database, its tables, the master password row "
                                             "and the unfiled group and type.")};
    QCommandLineOption replace{QStringLiteral("replace"), QStringLiteral("With --create: drop an existing tolvanexdb first.")};
    QCommandLineOption addUser{QStringLiteral("add-user"),
                               QStringLiteral("Add a store user (server account and its user row)."), QStringLiteral("name")};
    QCommandLineOption policyLength{QStringLiteral("policy-min-length"),
                                    QStringLiteral("Set the users' minimum password length (0: none)."), QStringLiteral("n")};
    QCommandLineOption policyFlag{QStringLiteral("policy-charset-flag"),
                                  QStringLiteral("Set what users' passwords must contain: 0 nothing, "
                                                 "1 letters, 4 digits, 5 letters and digits."),
                                  QStringLiteral("flag")};
    QCommandLineOption addAdmin{QStringLiteral("add-admin"),
                                QStringLiteral("Add a store administrator: a store user who may also create, "
                                               "change and delete the store's accounts (never root)."),
                                QStringLiteral("name")};
    QCommandLineOption demo{QStringLiteral("demo-content"),
                            QStringLiteral("With --add-user: add the demo store's types, groups and records, "
                                           "the new user a member of both groups.")};
    QCommandLineOption tlsCA{QStringLiteral("tls-ca"),
                             QStringLiteral("Certificate-authority file: the server's certificate must verify "
                                            "against this file or the system's authorities."),
                             QStringLiteral("file")};
    QCommandLineOption tlsFingerprint{QStringLiteral("tls-fingerprint"),
                                      QStringLiteral("Without --tls-ca: the SHA-256 fingerprint the server's "
                                                     "certificate must have (as openssl x509 -fingerprint "
                                                     "-sha256 shows it)."),
                                      QStringLiteral("SHA256")};
    QCommandLineOption trustServer{QStringLiteral("trust-server"),
                                   QStringLiteral("Without --tls-ca or --tls-fingerprint: take the certificate the "
                                                  "server presents, unverified, and print its fingerprint (for a "
                                                  "first run on the server's own host).")};
    QCommandLineOption allowUnencrypted{QStringLiteral("allow-unencrypted"),
                                        QStringLiteral("Connect to a server that does not offer TLS, unencrypted "
                                                       "(without it such a server is refused).")};
    QCommandLineOption upgradeGrants{QStringLiteral("upgrade-grants"),
                                     QStringLiteral("Give every existing store account, at every host of its "
                                                    "name, exactly the rights of server/grants.txt (what it held "
                                                    "before is revoked); installs the store's routines first.")};
    QCommandLineOption upgrade{QStringLiteral("upgrade-schema"),
                               QStringLiteral("Bring an existing store's tables and routines up to date, "
                                              "keeping every row, and grant its accounts the store's rights "
                                              "again as --upgrade-grants does (on a cluster, run it against "
                                              "one node).")};

    QList<QCommandLineOption> all() const
    {
        return {host, port, admin, create, replace, upgrade, addUser, addAdmin, policyLength, policyFlag, tlsCA,
                tlsFingerprint, trustServer, allowUnencrypted, upgradeGrants, demo};
    }
};

// The administrator's connection, or the message saying why there is none.
std::unique_ptr<sql::Connection> connectAsAdmin(const QCommandLineParser& parser, const ToolOptions& o, QString& problem)
{
    const QString caFile = parser.value(o.tlsCA);
    tvxsql::TlsPolicy policy{caFile, parser.isSet(o.allowUnencrypted), {}, parser.isSet(o.trustServer)};
    if (parser.isSet(o.tlsFingerprint)) {
        policy.pinnedFingerprint = tvxsql::normalizedFingerprint(parser.value(o.tlsFingerprint));
        if (policy.pinnedFingerprint.isEmpty()) {
            problem = QStringLiteral("--tls-fingerprint takes a SHA-256 fingerprint: 64 hexadecimal digits, "
                                     "in pairs joined by colons or not");
            return nullptr;
        }
        if (!caFile.isEmpty()) {
            problem = QStringLiteral("give --tls-ca or --tls-fingerprint, not both");
            return nullptr;
        }
    }
    const QString adminPassword = askSecret("TVX_ADMIN_PASSWORD", QStringLiteral("Password of %1").arg(parser.value(o.admin)));
    QString met;
    try {
        sql::ConnectOptionsMap options;
        options["hostName"] = sql::SQLString(
            QStringLiteral("tcp://%1:%2").arg(parser.value(o.host), parser.value(o.port)).toStdString());
        options["userName"] = sql::SQLString(parser.value(o.admin).toStdString());
        options["password"] = sql::SQLString(adminPassword.toStdString());
        options["OPT_CHARSET_NAME"] = sql::SQLString("utf8mb4");
        auto connection = tvxsql::connectWithTls(options, policy, &met);
        if (caFile.isEmpty() && policy.pinnedFingerprint.isEmpty() && !met.isEmpty())
            std::cerr << "tvx-create-store: took the server's certificate unverified (--trust-server); its SHA-256 "
                         "fingerprint is "
                      << met.toStdString() << "\n";
        return connection;
    } catch (const sql::SQLException& e) {
        if (e.getErrorCode() == tvxsql::kErrServerNotTrusted)
            problem = QStringLiteral("the server's certificate cannot be verified: no --tls-ca or --tls-fingerprint "
                                     "was given, and nothing was sent to it. It presents a certificate with the "
                                     "SHA-256 fingerprint %1. Check that fingerprint with the server's "
                                     "administrator (openssl x509 -noout -fingerprint -sha256 -in the server's "
                                     "certificate) and give it as --tls-fingerprint, or name the authority with "
                                     "--tls-ca; on the server's own host, --trust-server takes it as it is.")
                          .arg(met);
        else if (e.getErrorCode() == tvxsql::kErrTlsConnection)
            problem = tvxsql::tlsRefusalMessage(
                caFile, QString::fromUtf8(e.what()), QStringLiteral("--allow-unencrypted connects to it all the same."),
                QStringLiteral("Once you have checked the new certificate, --tls-fingerprint with its fingerprint "
                               "accepts it."));
        else
            problem = QStringLiteral("cannot connect: %1 (server error %2)").arg(QString::fromUtf8(e.what())).arg(e.getErrorCode());
        return nullptr;
    }
}

int addAccounts(TVXStoreCreator& creator, const QCommandLineParser& parser, const ToolOptions& o)
{
    if (parser.isSet(o.addAdmin)) {
        StoreUser user;
        user.name = parser.value(o.addAdmin);
        user.administrator = true;
        user.password = askSecret("TVX_ADMIN_USER_PASSWORD", QStringLiteral("Password of the new administrator %1").arg(user.name));
        if (auto r = creator.addStoreUser(user); !r.ok)
            return fail(r.message);
        std::cout << "Added the store administrator " << user.name.toStdString() << ".\n";
    }
    if (parser.isSet(o.addUser)) {
        StoreUser user;
        user.name = parser.value(o.addUser);
        user.password = askSecret("TVX_USER_PASSWORD", QStringLiteral("Password of the new user %1").arg(user.name));
        QString userID;
        if (auto r = creator.addStoreUser(user, &userID); !r.ok)
            return fail(r.message);
        std::cout << "Added the store user " << user.name.toStdString() << ".\n";
        if (parser.isSet(o.demo)) {
            if (auto r = creator.addDemoContent(userID); !r.ok)
                return fail(r.message);
            std::cout << "Added the demo types, groups and records.\n";
        }
    }
    return 0;
}

int setPolicy(TVXStoreCreator& creator, const QCommandLineParser& parser, const ToolOptions& o)
{
    bool lengthOk = true;
    bool flagOk = true;
    const int length = parser.value(o.policyLength).isEmpty() ? 0 : parser.value(o.policyLength).toInt(&lengthOk);
    const int flag = parser.value(o.policyFlag).isEmpty() ? 0 : parser.value(o.policyFlag).toInt(&flagOk);
    if (!lengthOk || !flagOk)
        return fail(QStringLiteral("the policy values must be numbers"));
    if (auto r = creator.setPasswordPolicy(length, flag); !r.ok)
        return fail(r.message);
    std::cout << "Set the password policy.\n";
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    platform::disableCoreDumps(); // the tool holds passwords too
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("tvx-create-store"));
    QCoreApplication::setApplicationVersion(QStringLiteral(TVX_VERSION));
    RandomNumberInitFromSystem();

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Creates the store database tolvanexdb on a server and adds store users.\n"
        "Passwords: TVX_ADMIN_PASSWORD (server administrator), TVX_MASTER_PASSWORD (the store's\n"
        "master password), TVX_ADMIN_USER_PASSWORD (the added administrator), TVX_USER_PASSWORD (the added user);\n"
        "each is asked for when not set."));
    parser.addHelpOption();
    parser.addVersionOption();
    const ToolOptions o;
    parser.addOptions(o.all());
    parser.process(app);

    const bool policy = parser.isSet(o.policyLength) || parser.isSet(o.policyFlag);
    if (!parser.isSet(o.create) && !parser.isSet(o.upgrade) && !parser.isSet(o.addUser) && !parser.isSet(o.addAdmin)
        && !policy && !parser.isSet(o.upgradeGrants))
        return fail(QStringLiteral("nothing to do: give --create, --upgrade-schema, --add-admin NAME, --add-user NAME, --upgrade-grants "
                                   "or a policy option (see --help)"));

    QString problem;
    std::unique_ptr<sql::Connection> connection = connectAsAdmin(parser, o, problem);
    if (!connection)
        return fail(problem);
    TVXStoreCreator creator(std::move(connection));
    if (auto server = creator.checkServer(); !server.ok)
        return fail(server.message);

    if (parser.isSet(o.create)) {
        const QString master = askSecret("TVX_MASTER_PASSWORD", QStringLiteral("Master password of the new store"));
        if (auto r = creator.createStore(master, parser.isSet(o.replace)); !r.ok)
            return fail(r.message);
        std::cout << "Created the store tolvanexdb.\n";
    } else if (parser.isSet(o.upgrade)) {
        const StoreResult r = creator.upgradeSchema();
        if (!r.ok)
            return fail(r.message);
        std::cout << r.message.toStdString() << '\n';
    }
    // Accounts of an upgraded store hold none of its routines until granted again.
    const bool regrant = parser.isSet(o.upgradeGrants) || parser.isSet(o.upgrade);
    // The policy first: the passwords of accounts added in the same run must meet it.
    if (policy)
        if (const int code = setPolicy(creator, parser, o); code != 0)
            return code;
    if (const int code = addAccounts(creator, parser, o); code != 0)
        return code;
    if (regrant) {
        int accounts = 0;
        if (auto r = creator.upgradeGrants(&accounts); !r.ok)
            return fail(r.message);
        std::cout << "Granted the store's rights again to " << accounts << " accounts.\n";
    }
    return 0;
}
