#pragma once
// A session's two value encrypters: the field encrypter, made from the master
// password, and the user-data encrypter, made from the application key.
// Without an encrypter a value is its plain UTF-8 bytes.
#include <QByteArray>
#include <QString>

#include <istream>
#include <memory>
#include <mutex>
#include <optional>

class CDBEncrypter;

class TVXValueCiphers {
public:
    void createUserEncrypter();
    void createEncrypter(const QString& masterPassword); // empty: values stay plain bytes
    std::shared_ptr<const CDBEncrypter> fieldEncrypter() const;
    std::shared_ptr<const CDBEncrypter> userDataEncrypter() const;
    bool hasFieldEncrypter() const;
    // What the field encrypter was made from; none before the user-data
    // encrypter exists (nothing keyed from the store yet).
    std::optional<QString> keyedMasterPassword() const;

    QByteArray encryptString(const QString& text) const; // field encrypter
    QString decryptString(const QByteArray& stored) const;
    QString getDecryptedString(std::istream& blob) const;
    QByteArray encryptDataString(const QString& text) const; // user-data encrypter
    QString decryptDataString(const QByteArray& stored) const;
    QString getDecryptedStringInfo(std::istream& blob) const;

    // A stored value as text; without an encrypter the bytes are the text.
    static QString decryptWith(const CDBEncrypter* encrypter, const QByteArray& stored);

private:

    mutable std::mutex mEncrypterMutex;
    std::shared_ptr<const CDBEncrypter> mEncrypter;
    std::shared_ptr<const CDBEncrypter> mUserDataEncrypter;
    std::optional<QString> mKeyedMasterPassword; // what mEncrypter was made from
};
