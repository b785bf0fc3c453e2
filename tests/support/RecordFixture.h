#pragma once
// Two users of one group, alice and bob, each with a client of their own:
// what one writes, the other reads after its reload.
#include "model/BMGroup.h"
#include "model/TVXRecord.h"
#include "model/TVXType.h"
#include "support/StoreSeed.h"
#include "support/TestStore.h"
#include "store/TVXDataBase.h"
#include "store/eventlog/TVXEventLogger.h"

#include <cppconn/connection.h>
#include <cppconn/resultset.h>
#include <cppconn/statement.h>

#include <QFile>
#include <QTemporaryDir>

namespace teststore {

inline const QString G1 = QStringLiteral("00000000000000A1");
inline const QString T1 = QStringLiteral("00000000000000C1");

class RecordFixture : public StoreTest {
protected:
    void SetUp() override
    {
        StoreTest::SetUp();
        bobID = addUser("bob", "bob-pw");
        seed = std::make_unique<StoreSeed>(kMasterPassword);
        seed->group(G1, "Finance", 7, true);
        seed->type(T1, "Web log-in", 12, 0, {"URL", "User", "Password"});
        seed->member(aliceID, G1);
        seed->member(bobID, G1);
        ASSERT_TRUE(files.isValid());
    }


    TVXResult logInBoth()
    {
        const TVXResult code = logInAndLoad(alice, kUserName, kUserPassword);
        return code != kTVXDone ? code : logInAndLoad(bob, "bob", "bob-pw");
    }

    // A new record of G1 and T1 as the details sheet hands it over.
    static std::shared_ptr<TVXRecord> newRecord(const TVXDataBase& db, const QStringList& values)
    {
        auto record = TVXRecord::createRecord();
        record->setMGroup(db.caches().mGroups().value(G1));
        record->setMType(db.caches().mTypes().value(T1));
        for (int i = 0; i < values.size(); ++i)
            record->setValueAtIndex(i, values[i]);
        return record;
    }

    QString writeFile(const QString& name, const QByteArray& bytes)
    {
        const QString path = files.filePath(name);
        QFile file(path);
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(bytes);
        return path;
    }

    static QString stored(const QString& column, const QString& table, const QString& recordID)
    {
        return rootQueryValue(QStringLiteral("SELECT %1 FROM tolvanexdb.%2 WHERE RECORDID='%3'")
                                  .arg(column, table, recordID));
    }

    static int rowCount(const QString& table, const QString& recordID)
    {
        return rootQueryValue(QStringLiteral("SELECT COUNT(*) FROM tolvanexdb.%1 WHERE RECORDID='%2'")
                                  .arg(table, recordID))
            .toInt();
    }

    static QString hex(const QByteArray& bytes) { return QString::fromLatin1(bytes.toHex().toUpper()); }

    // The stored cipher of a column, against what the client would store for `text`.
    QString storedCipher(const QString& column, const QString& table, const QString& recordID) const
    {
        return stored(QStringLiteral("HEX(%1)").arg(column), table, recordID);
    }
    QString cipherOf(const QString& text) const { return hex(seed->cipher(text)); }

    static void killConnection(TVXDataBase& db)
    {
        std::unique_ptr<sql::Statement> stmt(db.connection()->createStatement());
        std::unique_ptr<sql::ResultSet> rs(stmt->executeQuery("SELECT CONNECTION_ID()"));
        ASSERT_TRUE(rs->next());
        rootExec(QStringLiteral("KILL %1").arg(rs->getInt64(1)));
    }

    // A server that cuts long values short instead of refusing them: the
    // client itself must keep a cipher from being truncated.
    static void allowTruncation(TVXDataBase& db)
    {
        std::unique_ptr<sql::Statement> stmt(db.connection()->createStatement());
        stmt->execute("SET SESSION sql_mode=''");
    }

    // Makes the server refuse every insert (or delete) into a table.
    static void refuse(const QString& table, const QString& event = QStringLiteral("INSERT"))
    {
        rootExec(QStringLiteral("CREATE TRIGGER tolvanexdb.refuse_%1_%2 BEFORE %2 ON tolvanexdb.%1 "
                                "FOR EACH ROW SIGNAL SQLSTATE '45000' SET MESSAGE_TEXT = 'refused'")
                     .arg(rowsTable(table).toLower(), event));
    }

    static TVXEventLogEntry lastEvent(TVXDataBase& db)
    {
        const auto entries = db.eventLog().eventLogger().logArrary();
        return entries.isEmpty() ? TVXEventLogEntry{} : entries.last();
    }

    QString bobID;
    std::unique_ptr<StoreSeed> seed;
    QTemporaryDir files;
    TVXDataBase alice;
    TVXDataBase bob;
};

} // namespace teststore
