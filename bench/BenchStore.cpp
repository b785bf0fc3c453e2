#include "BenchStore.h"
#include "DelayingRelay.h"

#include "crypto/AESEncrypter.h"
#include "model/TVXRecord.h"
#include "model/TVXUID.h"
#include "store/session/TlsOptions.h"
#include "store/session/StatementHelpers.h"
#include "store/schema/TVXStoreCreator.h"

#include <cppconn/connection.h>
#include <cppconn/driver.h>
#include <cppconn/exception.h>
#include <cppconn/prepared_statement.h>
#include <cppconn/resultset.h>
#include <cppconn/statement.h>

#include <QDateTime>
#include <QFile>
#include <QFileInfo>

#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <random>

namespace bench {

namespace {

QString storeFilePath(const char* name)
{
    const char* dir = std::getenv("TVX_STORE_DIR");
    return QString::fromLocal8Bit(dir ? dir : "build/bench-store") + QLatin1Char('/') + QLatin1String(name);
}

QString readStoreFile(const char* name)
{
    QFile file(storeFilePath(name));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return QString::fromUtf8(file.readAll()).trimmed();
}

void exec(sql::Connection& c, const std::string& statement)
{
    std::unique_ptr<sql::Statement> stmt(c.createStatement());
    stmt->execute(statement);
}

// Values of 8 to 64 bytes with accented letters, as people type them.
class TextMaker {
public:
    explicit TextMaker(uint32_t seed) : mRandom(seed) {}

    QString value()
    {
        static const QString letters = QStringLiteral("abcdefghijklmnopqrstuvwxyzäöüéèàçñß0123456789 ");
        const int bytes = pick(8, 64);
        QString text;
        while (text.toUtf8().size() < bytes - 1)
            text += letters[pick(0, static_cast<int>(letters.size()) - 1)];
        return text;
    }

    QString note()
    {
        const double p = unit();
        if (p < 0.70)
            return QString();
        const int bytes = p < 0.95 ? pick(1, 200) : pick(1024, 4096);
        QString text;
        while (text.toUtf8().size() < bytes - 1)
            text += value() + QLatin1Char('\r');
        return text.left(bytes);
    }

    QByteArray attachment()
    {
        QByteArray data(pick(1024, 64 * 1024), '\0');
        for (char& c : data)
            c = static_cast<char>(mRandom());
        return data;
    }

    int pick(int low, int high) { return std::uniform_int_distribution<int>(low, high)(mRandom); }
    double unit() { return std::uniform_real_distribution<double>(0, 1)(mRandom); }

private:
    std::mt19937 mRandom;
};

QString uidFor(char kind, int n) { return QStringLiteral("%1%2").arg(QLatin1Char(kind)).arg(n, 15, 10, QLatin1Char('0')); }

} // namespace

int serverPort() { return readStoreFile("port").toInt(); }

std::unique_ptr<sql::Connection> connect(const QString& user, const QString& password)
{
    sql::ConnectOptionsMap options;
    options["hostName"] = sql::SQLString("tcp://127.0.0.1:" + std::to_string(serverPort()));
    options["userName"] = sql::SQLString(user.toStdString());
    options["password"] = sql::SQLString(password.toStdString());
    options["OPT_CHARSET_NAME"] = sql::SQLString("utf8mb4");
    options["CLIENT_FOUND_ROWS"] = true;
    options["sslEnforce"] = true; // the server takes no TCP connection without TLS
    return std::unique_ptr<sql::Connection>(get_driver_instance()->connect(options));
}

namespace {
DelayingRelay* relay()
{
    static const std::unique_ptr<DelayingRelay> made = []() -> std::unique_ptr<DelayingRelay> {
        const int ms = qEnvironmentVariableIntValue("TVX_BENCH_RTT_MS");
        return ms > 0 ? std::make_unique<DelayingRelay>(serverPort(), ms) : nullptr;
    }();
    return made.get();
}
} // namespace

uint64_t relayedRoundTrips() { return relay() ? relay()->roundTrips() : 0; }

TVXDataBase::LoginRequest loginRequest()
{
    return {{kLoginIPAddress, QStringLiteral("127.0.0.1")},
            {kLoginPortNumber, QString::number(relay() ? relay()->port() : serverPort())},
            {kLoginUsername, kBenchUser},
            {kLoginHostPassword, kBenchPassword},
            {kLoginMasterPassword, kBenchMaster},
            {kLoginServerAddress, QStringLiteral("localhost")},
            // The real log-in path, verified against the store server's own authority.
            {kLoginTlsCAFile, QFileInfo(storeFilePath("tls/ca.pem")).absoluteFilePath()}};
}

QString shapeTag(const StoreShape& shape)
{
    // Bump the first number whenever the generated rows change.
    return QStringLiteral("2:%1:%2:%3").arg(shape.records).arg(shape.groups).arg(shape.types);
}

QString storedShapeTag()
{
    try {
        auto root = connect(QStringLiteral("root"), QString());
        std::unique_ptr<sql::Statement> stmt(root->createStatement());
        std::unique_ptr<sql::ResultSet> rs(
            stmt->executeQuery("SELECT VALUE FROM tolvanexdb.DATABASEINFOTABLE WHERE NAME='BENCHSHAPE'"));
        return rs->next() ? QString::fromStdString(rs->getString(1).asStdString()) : QString();
    } catch (const sql::SQLException&) {
        return QString();
    }
}

int storedRecordCount()
{
    try {
        auto root = connect(QStringLiteral("root"), QString());
        std::unique_ptr<sql::Statement> stmt(root->createStatement());
        std::unique_ptr<sql::ResultSet> rs(stmt->executeQuery("SELECT COUNT(*) FROM tolvanexdb.RECORDTABLE"));
        return rs->next() ? rs->getInt(1) : 0;
    } catch (const sql::SQLException&) {
        return -1;
    }
}

TVXDataBase& loadedStore()
{
    static TVXDataBase* db = [] {
        auto* loaded = new TVXDataBase;
        if (loaded->startConnectionToServer(loginRequest()) != kTVXDone
            || loaded->initUserDetails(kBenchUser, kBenchPassword) != kTVXDone || loaded->loadDataBase() != kTVXDone)
            throw std::runtime_error("the benchmark store cannot be loaded");
        return loaded;
    }();
    return *db;
}

double peakMemoryMiB()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith("VmHWM:"))
            return line.mid(6).trimmed().split(' ').value(0).toDouble() / 1024.0;
    return 0;
}

void generateStore(const StoreShape& shape)
{
    {
        TVXStoreCreator creator(connect(QStringLiteral("root"), QString()));
        creator.dropServerAccount(kBenchUser);
        const StoreResult created = creator.createStore(kBenchMaster, true);
        if (!created.ok)
            throw std::runtime_error(created.message.toStdString());
        StoreUser user;
        user.name = kBenchUser;
        user.password = kBenchPassword;
        const StoreResult added = creator.addStoreUser(user);
        if (!added.ok)
            throw std::runtime_error(added.message.toStdString());
    }
    auto root = connect(QStringLiteral("root"), QString());
    root->setSchema("tolvanexdb");
    TVXDataBase cipher;
    cipher.ciphers().createEncrypter(kBenchMaster);
    TextMaker text(42);

    QString benchID;
    {
        std::unique_ptr<sql::Statement> stmt(root->createStatement());
        std::unique_ptr<sql::ResultSet> rs(stmt->executeQuery("SELECT USERID FROM USERTABLE WHERE USERNAME='bench'"));
        rs->next();
        benchID = QString::fromStdString(rs->getString(1).asStdString());
    }

    exec(*root, "SET autocommit=0");
    for (int g = 0; g < shape.groups; ++g) {
        std::unique_ptr<sql::PreparedStatement> stmt(root->prepareStatement("INSERT INTO GROUPTABLE VALUES (?,?,7,0)"));
        stmt->setString(1, uidFor('A', g).toStdString());
        auto name = tvxsql::blobStream(cipher.encryptString(QStringLiteral("Gruppe %1 – Ablage").arg(g)));
        stmt->setBlob(2, name->stream());
        stmt->executeUpdate();
        std::unique_ptr<sql::PreparedStatement> member(
            root->prepareStatement("INSERT INTO USERGROUPTABLE (GROUPID, USERID) VALUES (?,?)"));
        member->setString(1, uidFor('A', g).toStdString());
        member->setString(2, benchID.toStdString());
        member->executeUpdate();
    }
    for (int t = 0; t < shape.types; ++t) {
        std::unique_ptr<sql::PreparedStatement> stmt(
            root->prepareStatement("INSERT INTO TYPETABLE VALUES (?,?,?,?,?,?,?,?,?,?,?,?,?,?)"));
        stmt->setString(1, uidFor('C', t).toStdString());
        std::vector<std::unique_ptr<tvxsql::BlobParameter>> blobs;
        blobs.push_back(tvxsql::blobStream(cipher.encryptString(QStringLiteral("Typ %1").arg(t))));
        stmt->setBlob(2, blobs.back()->stream());
        stmt->setInt(3, 1 + t % 63);
        stmt->setInt(4, 0b100);
        for (int f = 0; f < 10; ++f) {
            blobs.push_back(tvxsql::blobStream(cipher.encryptString(QStringLiteral("Feld %1").arg(f + 1))));
            stmt->setBlob(5 + f, blobs.back()->stream());
        }
        stmt->executeUpdate();
    }
    exec(*root, "COMMIT");

    constexpr int kBatch = 200;
    const QString date = TVXRecord::modificationDateText(QDateTime::currentDateTime());
    for (int first = 0; first < shape.records; first += kBatch) {
        const int count = std::min(kBatch, shape.records - first);
        std::string sql = "INSERT INTO RECORDTABLE VALUES ";
        for (int i = 0; i < count; ++i)
            sql += i ? ",(?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?)" : "(?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?)";
        std::unique_ptr<sql::PreparedStatement> stmt(root->prepareStatement(sql));
        std::vector<std::unique_ptr<tvxsql::BlobParameter>> blobs;
        std::vector<int> customised, attached;
        int p = 1;
        for (int i = 0; i < count; ++i) {
            const int r = first + i;
            const bool custom = text.unit() < shape.customised;
            const bool attachment = text.unit() < shape.withAttachment;
            stmt->setString(p++, uidFor('B', r).toStdString());
            stmt->setString(p++, uidFor('C', r % shape.types).toStdString());
            stmt->setString(p++, uidFor('A', r % shape.groups).toStdString());
            for (int f = 0; f < 9; ++f) {
                // One record in a hundred carries the word the search benchmark looks for.
                const QString value = (f == 1 && r % 100 == 0) ? text.value() + kSearchMarker : text.value();
                blobs.push_back(tvxsql::blobStream(cipher.encryptString(value)));
                stmt->setBlob(p++, blobs.back()->stream());
            }
            blobs.push_back(tvxsql::blobStream(cipher.encryptString(date)));
            stmt->setBlob(p++, blobs.back()->stream());
            blobs.push_back(tvxsql::blobStream(cipher.encryptString(text.note())));
            stmt->setBlob(p++, blobs.back()->stream());
            stmt->setBoolean(p++, attachment);
            stmt->setBoolean(p++, custom);
            stmt->setInt64(p++, text.pick(0, 50));
            if (custom)
                customised.push_back(r);
            if (attachment)
                attached.push_back(r);
        }
        stmt->executeUpdate();
        for (int r : customised) {
            std::unique_ptr<sql::PreparedStatement> ct(
                root->prepareStatement("INSERT INTO CUSTOMTYPETABLE VALUES (?,?,?,?,?,?,?,?,?,?,?,?,?)"));
            ct->setString(1, uidFor('B', r).toStdString());
            ct->setInt(2, 1 + r % 63);
            ct->setInt(3, 0b10);
            std::vector<std::unique_ptr<tvxsql::BlobParameter>> names;
            for (int f = 0; f < 10; ++f) {
                names.push_back(tvxsql::blobStream(cipher.encryptString(QStringLiteral("Eigen %1").arg(f + 1))));
                ct->setBlob(4 + f, names.back()->stream());
            }
            ct->executeUpdate();
        }
        for (int r : attached) {
            const QByteArray data = text.attachment();
            const QString passKey = cipher.generatePasswordWith(15, 16);
            int length = static_cast<int>(data.size());
            CAESEncrypter aes;
            char* enciphered = aes.Encrypt(passKey.toUtf8().constData(), data.constData(), &length);
            const QByteArray stored(enciphered, length);
            std::free(enciphered);
            std::unique_ptr<sql::PreparedStatement> at(root->prepareStatement("INSERT INTO ATTACHMENTTABLE VALUES (?,?,?,?)"));
            at->setString(1, uidFor('B', r).toStdString());
            auto name = tvxsql::blobStream(cipher.encryptString(QStringLiteral("Anhang-%1.pdf").arg(r)));
            auto key = tvxsql::blobStream(cipher.encryptString(passKey));
            auto body = tvxsql::blobStream(stored);
            at->setBlob(2, name->stream());
            at->setBlob(3, key->stream());
            at->setBlob(4, body->stream());
            at->executeUpdate();
        }
        exec(*root, "COMMIT");
    }
    std::unique_ptr<sql::PreparedStatement> tag(
        root->prepareStatement("REPLACE INTO DATABASEINFOTABLE (NAME, VALUE) VALUES ('BENCHSHAPE', ?)"));
    tag->setString(1, shapeTag(shape).toStdString());
    tag->executeUpdate();
    exec(*root, "COMMIT");
}

} // namespace bench
