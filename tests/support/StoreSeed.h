#pragma once
// Writes rows straight into the test store, enciphered as a client would,
// so that readers can be tested before (and independently of) the writers.
#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QVariant>

#include <memory>
#include <vector>

namespace sql {
class Connection;
}
class TVXDataBase;

namespace teststore {

struct SeedRecord {
    QString uid;
    QString groupUID;
    QString typeUID = QStringLiteral("0000000000000000");
    QStringList values; // up to ten; the rest empty
    QString note;
    bool hasAttachment = false;
    bool hasCustomField = false;
    qint64 viewCount = 0;
};

class StoreSeed {
public:
    explicit StoreSeed(const QString& masterPassword);
    ~StoreSeed();

    void group(const QString& uid, const QString& name, int recordPermission = 0, bool prevails = false);
    void type(const QString& uid, const QString& name, int icon = 31, int mask = 0,
              const QStringList& fields = {});
    void record(const SeedRecord& record);
    void customType(const QString& recordUID, int icon, int mask, const QStringList& fields);
    void attachment(const QString& recordUID, const QString& name, const QString& passKey,
                    const QByteArray& data = QByteArray("data"));
    void member(const QString& userID, const QString& groupUID);
    void subGroup(const QString& groupUID, const QString& subGroupUID);

    // The field cipher of the store's master password.
    QByteArray cipher(const QString& text) const;

private:
    void exec(const char* sql, const std::vector<QVariant>& args);

    std::unique_ptr<sql::Connection> mRoot;
    std::unique_ptr<TVXDataBase> mCipher;
};

} // namespace teststore
