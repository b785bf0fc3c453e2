// The value encrypters: every enciphered column goes through here.
#include "store/session/ValueCiphers.h"
#include "store/StoreTypes.h"

#include "crypto/DBEncrypter.h"

#include <cstring>
#include <string.h> // explicit_bzero

// 38 characters; only the first 16 key the cipher, so they must never change:
// every stored master password and user password depends on them.
const char kTolvanexApplicationKey[] = "TolvanexVaultKey-7Q2mW9xK4pL8sN3vR6tZ0";
static_assert(sizeof(kTolvanexApplicationKey) - 1 == 38);

namespace {

// What a reader of a NUL-ended text sees of a deciphered buffer.
QString textUpToNul(const QByteArray& bytes)
{
    const qsizetype nul = bytes.indexOf('\0');
    return QString::fromUtf8(nul < 0 ? bytes : bytes.left(nul));
}

QByteArray readWholeStream(std::istream& in)
{
    in.clear();
    in.seekg(0, std::ios::end);
    const std::streamoff length = in.tellg();
    if (length < 1)
        return {};
    in.seekg(0, std::ios::beg);
    QByteArray bytes(static_cast<qsizetype>(length), '\0');
    in.read(bytes.data(), length);
    bytes.resize(static_cast<qsizetype>(in.gcount()));
    return bytes;
}

} // namespace

std::shared_ptr<const CDBEncrypter> TVXValueCiphers::fieldEncrypter() const
{
    std::lock_guard lock(mEncrypterMutex);
    return mEncrypter;
}

std::shared_ptr<const CDBEncrypter> TVXValueCiphers::userDataEncrypter() const
{
    std::lock_guard lock(mEncrypterMutex);
    return mUserDataEncrypter;
}

bool TVXValueCiphers::hasFieldEncrypter() const { return fieldEncrypter() != nullptr; }

void TVXValueCiphers::createUserEncrypter()
{
    auto encrypter = std::make_shared<const CDBEncrypter>(kTolvanexApplicationKey);
    std::lock_guard lock(mEncrypterMutex);
    mUserDataEncrypter = std::move(encrypter);
}

void TVXValueCiphers::createEncrypter(const QString& masterPassword)
{
    std::shared_ptr<const CDBEncrypter> encrypter;
    if (!masterPassword.isEmpty())
        encrypter = std::make_shared<const CDBEncrypter>(masterPassword.toUtf8().constData());
    std::lock_guard lock(mEncrypterMutex);
    mEncrypter = std::move(encrypter);
    mKeyedMasterPassword = masterPassword;
}

QByteArray TVXValueCiphers::encryptString(const QString& text) const
{
    const QByteArray plain = text.toUtf8();
    const auto encrypter = fieldEncrypter();
    return encrypter ? encrypter->encryptBytes(plain) : plain;
}

QString TVXValueCiphers::decryptWith(const CDBEncrypter* encrypter, const QByteArray& stored)
{
    if (stored.isEmpty())
        return QStringLiteral("");
    constexpr qsizetype kBlock = 16;
    constexpr qsizetype kOnStack = 1024;
    if (!encrypter || stored.size() % kBlock != 0 || !encrypter->IsKeyInit() || stored.size() > kOnStack)
        return textUpToNul(encrypter ? encrypter->decryptBytes(stored) : stored);
    // Short values (nearly all) are deciphered on the stack: the text is the
    // one string made, and the plain bytes are wiped at once.
    char plain[kOnStack];
    const auto size = static_cast<size_t>(stored.size());
    QString text;
    try {
        encrypter->DecryptECB(stored.constData(), plain, size);
        const void* nul = std::memchr(plain, '\0', size);
        text = QString::fromUtf8(QByteArrayView(plain, nul ? static_cast<const char*>(nul) - plain : stored.size()));
    } catch (...) {
        text = textUpToNul(QByteArray());
    }
    explicit_bzero(plain, size);
    return text;
}

QString TVXValueCiphers::decryptString(const QByteArray& stored) const
{
    return decryptWith(fieldEncrypter().get(), stored);
}

QString TVXValueCiphers::getDecryptedString(std::istream& blob) const
{
    return decryptString(readWholeStream(blob));
}

QByteArray TVXValueCiphers::encryptDataString(const QString& text) const
{
    const QByteArray plain = text.toUtf8();
    const auto encrypter = userDataEncrypter();
    return encrypter ? encrypter->encryptBytes(plain) : plain;
}

QString TVXValueCiphers::decryptDataString(const QByteArray& stored) const
{
    if (stored.isEmpty())
        return QStringLiteral("");
    const auto encrypter = userDataEncrypter();
    return textUpToNul(encrypter ? encrypter->decryptBytes(stored) : stored);
}

QString TVXValueCiphers::getDecryptedStringInfo(std::istream& blob) const
{
    return decryptDataString(readWholeStream(blob));
}

std::optional<QString> TVXValueCiphers::keyedMasterPassword() const
{
    std::lock_guard lock(mEncrypterMutex);
    if (!mUserDataEncrypter)
        return std::nullopt;
    return mKeyedMasterPassword;
}
