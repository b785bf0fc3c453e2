#include "support/StoreSeed.h"

#include "store/session/StatementHelpers.h"
#include "store/TVXDataBase.h"
#include "support/TestStore.h"

#include <cppconn/connection.h>
#include <cppconn/exception.h>
#include <cppconn/prepared_statement.h>

#include <gtest/gtest.h>

namespace teststore {

StoreSeed::StoreSeed(const QString& masterPassword)
    : mRoot(rootConnection()), mCipher(std::make_unique<TVXDataBase>())
{
    mRoot->setSchema("tolvanexdb");
    mCipher->ciphers().createEncrypter(masterPassword);
}

StoreSeed::~StoreSeed() = default;

QByteArray StoreSeed::cipher(const QString& text) const
{
    return mCipher->encryptString(text);
}

// Binds QByteArray as BLOB, QString as text, bool and integers as numbers.
void StoreSeed::exec(const char* statement, const std::vector<QVariant>& args)
{
    try {
        std::unique_ptr<sql::PreparedStatement> stmt(mRoot->prepareStatement(statement));
        std::vector<std::unique_ptr<tvxsql::BlobParameter>> blobs;
        for (size_t i = 0; i < args.size(); ++i) {
            const QVariant& arg = args[i];
            const int position = static_cast<int>(i + 1);
            switch (arg.typeId()) {
            case QMetaType::QByteArray:
                blobs.push_back(tvxsql::blobStream(arg.toByteArray()));
                stmt->setBlob(position, blobs.back()->stream());
                break;
            case QMetaType::Bool:
                stmt->setBoolean(position, arg.toBool());
                break;
            case QMetaType::Int:
            case QMetaType::LongLong:
                stmt->setInt64(position, arg.toLongLong());
                break;
            default:
                stmt->setString(position, arg.toString().toStdString());
            }
        }
        stmt->executeUpdate();
    } catch (const sql::SQLException& e) {
        ADD_FAILURE() << statement << ": " << e.what();
    }
}

void StoreSeed::group(const QString& uid, const QString& name, int recordPermission, bool prevails)
{
    exec("INSERT INTO GROUPTABLE VALUES (?, ?, ?, ?)", {uid, cipher(name), recordPermission, prevails});
}

void StoreSeed::type(const QString& uid, const QString& name, int icon, int mask, const QStringList& fields)
{
    std::vector<QVariant> args{uid, cipher(name), icon, mask};
    for (int i = 0; i < 10; ++i)
        args.emplace_back(cipher(fields.value(i, QStringLiteral("Field %1").arg(i + 1))));
    exec("INSERT INTO TYPETABLE VALUES (?,?,?,?,?,?,?,?,?,?,?,?,?,?)", args);
}

void StoreSeed::record(const SeedRecord& r)
{
    std::vector<QVariant> args{r.uid, r.typeUID, r.groupUID};
    for (int i = 0; i < 10; ++i)
        args.emplace_back(cipher(r.values.value(i)));
    args.emplace_back(cipher(r.note));
    args.emplace_back(r.hasAttachment);
    args.emplace_back(r.hasCustomField);
    args.emplace_back(r.viewCount);
    exec("INSERT INTO RECORDTABLE VALUES (?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?)", args);
}

void StoreSeed::customType(const QString& recordUID, int icon, int mask, const QStringList& fields)
{
    std::vector<QVariant> args{recordUID, icon, mask};
    for (int i = 0; i < 10; ++i)
        args.emplace_back(cipher(fields.value(i)));
    exec("INSERT INTO CUSTOMTYPETABLE VALUES (?,?,?,?,?,?,?,?,?,?,?,?,?)", args);
}

void StoreSeed::attachment(const QString& recordUID, const QString& name, const QString& passKey,
                           const QByteArray& data)
{
    exec("INSERT INTO ATTACHMENTTABLE VALUES (?, ?, ?, ?)", {recordUID, cipher(name), cipher(passKey), data});
}

void StoreSeed::member(const QString& userID, const QString& groupUID)
{
    exec("INSERT INTO USERGROUPTABLE (USERID, GROUPID) VALUES (?, ?)", {userID, groupUID});
}

void StoreSeed::subGroup(const QString& groupUID, const QString& subGroupUID)
{
    exec("INSERT INTO GROUPSUBGROUPTABLE (GROUPID, SUBGROUPID) VALUES (?, ?)", {groupUID, subGroupUID});
}

} // namespace teststore
