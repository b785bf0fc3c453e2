// The manager's parts that need no server: error mapping, the error path's
// notices, and value enciphering.
#include "crypto/DBEncrypter.h"
#include "platform/core/NotificationCenter.h"
#include "store/TVXDataBase.h"

#include <gtest/gtest.h>

#include <sstream>

namespace {

class NoticeCounter {
public:
    NoticeCounter()
    {
        auto& center = platform::NotificationCenter::defaultCenter();
        mLost = center.addObserver(kDBCommLostNotification, [this](const platform::Notification& n) {
            ++lost;
            last = std::any_cast<platform::Error>(n.object);
        });
        mDeleted = center.addObserver(kDBUserDeletedNotification,
                                      [this](const platform::Notification&) { ++deleted; });
    }
    ~NoticeCounter()
    {
        platform::NotificationCenter::defaultCenter().removeObserver(mLost);
        platform::NotificationCenter::defaultCenter().removeObserver(mDeleted);
    }
    int lost = 0;
    int deleted = 0;
    platform::Error last;

private:
    platform::NotificationCenter::Token mLost = 0;
    platform::NotificationCenter::Token mDeleted = 0;
};

} // namespace

TEST(TVXDataBaseErrors, ServerErrorNumbersMapToResultCodes)
{
    EXPECT_EQ(TVXDataBase::mapDBErrorCode(1045), kTVXAccessDenied);
    EXPECT_EQ(TVXDataBase::mapDBErrorCode(100), kTVXAllPrivileges);
    EXPECT_EQ(TVXDataBase::mapDBErrorCode(2002), kTVXHostUnreachable);
    EXPECT_EQ(TVXDataBase::mapDBErrorCode(2003), kTVXHostUnreachable);
    EXPECT_EQ(TVXDataBase::mapDBErrorCode(2005), kTVXHostUnreachable);
    EXPECT_EQ(TVXDataBase::mapDBErrorCode(2000), kTVXClientError);
    EXPECT_EQ(TVXDataBase::mapDBErrorCode(2013), kTVXClientError);
    EXPECT_EQ(TVXDataBase::mapDBErrorCode(2050), kTVXClientError);
    EXPECT_EQ(TVXDataBase::mapDBErrorCode(2051), kTVXStatementFailed);
    EXPECT_EQ(TVXDataBase::mapDBErrorCode(1999), kTVXStatementFailed);
    EXPECT_EQ(TVXDataBase::mapDBErrorCode(1142), kTVXStatementFailed);
}

TEST(TVXDataBaseErrors, EachNoticeIsPostedOnceUntilTheNextLogInEnds)
{
    TVXDataBase db;
    NoticeCounter notices;

    db.handleDatabaseError({QStringLiteral("Lost connection"), 2013});
    db.handleDatabaseError({QStringLiteral("Lost connection"), 2013});
    EXPECT_EQ(notices.lost, 1);
    EXPECT_EQ(notices.last.code, 2013);

    // A refused table access after the lost connection stays silent.
    db.handleDatabaseError({QStringLiteral("SELECT command denied"), 1142});
    EXPECT_EQ(notices.deleted, 0);

    db.setReconnectionDone();
    db.handleDatabaseError({QStringLiteral("SELECT command denied"), 1143});
    EXPECT_EQ(notices.deleted, 1);
    EXPECT_EQ(notices.lost, 1);
}

TEST(TVXDataBaseErrors, OtherErrorsPostNothing)
{
    TVXDataBase db;
    NoticeCounter notices;
    db.handleDatabaseError({QStringLiteral("Duplicate entry"), 1062});
    db.handleDatabaseError({QStringLiteral("client"), 2051});
    EXPECT_EQ(notices.lost + notices.deleted, 0);
    EXPECT_FALSE(db.isConnectionLostHandlerOn());
}

TEST(TVXDataBaseCiphers, WithoutMasterPasswordValuesAreTheirPlainBytes)
{
    TVXDataBase db;
    db.ciphers().createEncrypter(QString());
    EXPECT_FALSE(db.ciphers().hasFieldEncrypter());
    const QString text = QStringLiteral("Grüße, 東京");
    EXPECT_EQ(db.encryptString(text), text.toUtf8());
    EXPECT_EQ(db.decryptString(text.toUtf8()), text);
    EXPECT_EQ(db.decryptString(QByteArray()), QString(""));
}

TEST(TVXDataBaseCiphers, FieldValuesAreAes128EcbUnderTheMasterPassword)
{
    TVXDataBase db;
    db.ciphers().createEncrypter(QStringLiteral("secret"));
    ASSERT_TRUE(db.ciphers().hasFieldEncrypter());

    // Accented and non-Latin letters: more UTF-8 bytes than characters.
    const QString text = QStringLiteral("Grüße aus Zürich — 東京の夜");
    const QByteArray cipher = db.encryptString(text);
    EXPECT_EQ(cipher.size() % 16, 0);
    EXPECT_GE(cipher.size(), text.toUtf8().size());
    EXPECT_EQ(db.decryptString(cipher), text);

    // Deterministic: equal names give equal bytes (the duplicate tests rely on it).
    EXPECT_EQ(db.encryptString(text), cipher);

    // The same bytes as a plain encrypter keyed with the padded key text.
    CDBEncrypter reference("secret          ");
    EXPECT_EQ(reference.encryptBytes(text.toUtf8()), cipher);

    std::istringstream stream(std::string(cipher.constData(), cipher.size()));
    EXPECT_EQ(db.ciphers().getDecryptedString(stream), text);
}

TEST(TVXDataBaseCiphers, ValuesLongerThanFourKilobytesSurvive)
{
    TVXDataBase db;
    db.ciphers().createEncrypter(QStringLiteral("secret"));
    const QString note = QString(6000, QChar(u'é'));
    EXPECT_EQ(db.decryptString(db.encryptString(note)), note);
}

TEST(TVXDataBaseCiphers, UserDataUsesTheApplicationKeyNotTheMasterPassword)
{
    TVXDataBase db;
    db.ciphers().createUserEncrypter();
    db.ciphers().createEncrypter(QStringLiteral("secret"));
    const QByteArray stored = db.encryptDataString(QStringLiteral("pw"));
    EXPECT_NE(stored, db.encryptString(QStringLiteral("pw")));
    EXPECT_EQ(db.decryptDataString(stored), QStringLiteral("pw"));

    CDBEncrypter reference(kTolvanexApplicationKey);
    EXPECT_EQ(reference.encryptBytes(QByteArrayLiteral("pw")), stored);
}

TEST(TVXDataBaseCiphers, GarbledStoredValuesReadAsEmpty)
{
    TVXDataBase db;
    db.ciphers().createEncrypter(QStringLiteral("secret"));
    EXPECT_EQ(db.decryptString(QByteArray(15, 'x')), QString(""));
}

TEST(TVXDataBaseErrors, NameLookupsWithoutAConnectionAnswerNoThroughTheErrorPath)
{
    TVXDataBase db;
    NoticeCounter notices;
    EXPECT_FALSE(db.loader().typeNameFromDatabase(QStringLiteral("Web Log-in")));
    EXPECT_FALSE(db.loader().groupNameFromDatabase(QStringLiteral("Office")));
    EXPECT_EQ(notices.lost, 1);
}
