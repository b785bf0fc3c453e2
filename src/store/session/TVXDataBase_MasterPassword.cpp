// Changing the store's master password: every enciphered value of every row
// is read under the old key and written under the new one, all at once.
#include "store/schema/ColumnLimits.h"
#include "store/schema/QueryConstants.h"
#include "store/session/StatementHelpers.h"
#include "store/attachments/AttachmentStore.h"
#include "store/writers/StaleCopies.h"
#include "store/TVXDataBase.h"
#include "store/session/Transaction.h"

#include "crypto/DBEncrypter.h"

#include <cppconn/connection.h>
#include <cppconn/exception.h>
#include <cppconn/prepared_statement.h>
#include <cppconn/resultset.h>
#include <cppconn/statement.h>

#include <vector>

namespace {

// One enciphered column: whether it is a TINYBLOB (the others are LONGBLOB),
// and whether its whole plain value is kept rather than the text up to the
// first zero byte (the attachment key carries the file length past it).
struct EncipheredColumn {
    const char* name;
    bool tiny;
    bool whole = false;
};

// One table's enciphered columns, after its key column.
struct EncipheredTable {
    const char* table;
    const char* key;
    std::vector<EncipheredColumn> columns;
};

const std::vector<EncipheredTable>& encipheredTables()
{
    static const std::vector<EncipheredTable> tables = [] {
        std::vector<EncipheredColumn> tenFields;
        static const char* names[] = {"FIELD1", "FIELD2", "FIELD3", "FIELD4", "FIELD5",
                                      "FIELD6", "FIELD7", "FIELD8", "FIELD9", "FIELD10"};
        for (const char* name : names)
            tenFields.push_back({name, true});
        std::vector<EncipheredColumn> typeColumns{{"NAME", true}};
        typeColumns.insert(typeColumns.end(), tenFields.begin(), tenFields.end());
        std::vector<EncipheredColumn> recordColumns = tenFields;
        recordColumns.push_back({"NOTE", false});
        return std::vector<EncipheredTable>{
            {"GROUPTABLE", "UID", {{"NAME", true}}},
            {"TYPETABLE", "UID", typeColumns},
            {"RECORDTABLE", "RECORDID", recordColumns},
            {"CUSTOMTYPETABLE", "RECORDID", tenFields},
            {"ATTACHMENTTABLE", "RECORDID", {{"ATTACHMENTNAME", true}, {"ENCRYPTIONKEY", true, true}}},
        };
    }();
    return tables;
}

struct RewrittenRow {
    std::string key;
    std::vector<QByteArray> values;
};

} // namespace

QString TVXMasterPasswordStore::checkForMasterPasswordMatch() { return mDatabase.checkForMasterPasswordMatch(); }

QString TVXMasterPasswordStore::masterPasswordInForce() const
{
    return mDatabase.ciphers().keyedMasterPassword().value_or(QString());
}

TVXResult TVXMasterPasswordStore::reEncyptAllDatabaseInformation(const QString& newPassword)
{
    TVXDataBase& d = mDatabase;
    d.mIsLoadingComplete.store(false);
    const auto finish = [&d](TVXResult code) {
        d.endClientThreadState();
        d.mIsLoadingComplete.store(true);
        return code;
    };

    // Enciphering with the new key, on a throw-away manager so the old key stays in force.
    TVXDataBase next;
    next.ciphers().createEncrypter(newPassword);
    next.ciphers().createUserEncrypter();

    // The guard is held for the transaction only: a failure reaches the error
    // path (and the main thread) once it is released.
    const QByteArray newRow = next.encryptDataString(newPassword);
    const TVXResult code = d.runOnConnection([&](sql::Connection& connection) {
        tvxsql::Transaction transaction(connection);
        // The row first, exclusively: writers that confirmed the old one end
        // before, and those after see the new one. A change from a stale key
        // would garble every value.
        if (const TVXResult key = d.confirmMasterPasswordRow(connection, true); key != kTVXDone)
            return key;
        // The new row at once: a writer whose wait for the row runs out reads
        // it uncommitted and knows the change is under way.
        {
            std::unique_ptr<sql::PreparedStatement> info(connection.prepareStatement(
                "REPLACE INTO DATABASEINFOTABLE (NAME, VALUE) VALUES ('DBPASSWORD', ?)"));
            auto stored = tvxsql::blobStream(newRow);
            info->setBlob(1, stored->stream());
            info->executeUpdate();
        }
        for (const EncipheredTable& table : encipheredTables()) {
            // Read everything first (locking the rows), check every size, then write.
            std::string select = std::string("SELECT ") + table.key;
            std::string update = std::string("UPDATE ") + table.table + " SET ";
            for (size_t i = 0; i < table.columns.size(); ++i) {
                select += std::string(", ") + table.columns[i].name;
                update += (i ? ", " : "") + std::string(table.columns[i].name) + "=?";
            }
            select += std::string(" FROM ") + table.table + " FOR UPDATE";
            update += std::string(" WHERE ") + table.key + "=?";

            std::vector<RewrittenRow> rows;
            {
                std::unique_ptr<sql::Statement> stmt(connection.createStatement());
                std::unique_ptr<sql::ResultSet> rs(stmt->executeQuery(select));
                while (rs->next()) {
                    RewrittenRow row{rs->getString(1).asStdString(), {}};
                    for (size_t i = 0; i < table.columns.size(); ++i) {
                        const EncipheredColumn& column = table.columns[i];
                        const QByteArray stored = tvxsql::blobColumn(*rs, static_cast<int>(i + 2));
                        QByteArray rewritten = column.whole
                                                   ? next.mAttachmentAccess.mAttachments->encipherWholeValue(d.mAttachmentAccess.mAttachments->decipherWholeValue(stored))
                                                   : next.encryptString(d.decryptString(stored));
                        if (column.tiny && !tvxsql::fitsTinyBlob(rewritten))
                            return kTVXStatementFailed; // would be cut: change nothing
                        row.values.push_back(std::move(rewritten));
                    }
                    rows.push_back(std::move(row));
                }
            }
            std::unique_ptr<sql::PreparedStatement> write(connection.prepareStatement(update));
            for (const RewrittenRow& row : rows) {
                std::vector<std::unique_ptr<tvxsql::BlobParameter>> blobs;
                for (size_t i = 0; i < row.values.size(); ++i) {
                    blobs.push_back(tvxsql::blobStream(row.values[i]));
                    write->setBlob(static_cast<int>(i + 1), blobs.back()->stream());
                }
                write->setString(static_cast<int>(row.values.size() + 1), row.key);
                write->executeUpdate();
            }
        }
        transaction.commit();
        return kTVXDone;
    });
    if (code != kTVXDone)
        return finish(code);

    // Committed: the new key is in force from now on. Every cipher changed:
    // what was cached is no longer comparable (until the next load).
    d.mStaleCopies->forgetDigests();
    d.ciphers().createEncrypter(newPassword);
    {
        std::lock_guard lock(d.mDetailsMutex);
        d.mConnectionDetails.insert(kDetailMasterPassword, newPassword);
    }
    mPendingMasterPassword.clear();
    return finish(kTVXDone);
}
