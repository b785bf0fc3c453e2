// Conversions of stored preference values, and the hint cipher.
#include "model/TVXUser.h"
#include "store/accounts/HintStore.h"
#include "store/accounts/PreferencesStore.h"
#include "support/QtPrinters.h"

#include <gtest/gtest.h>

TEST(PreferenceRules, WindowFrameTextRoundTrips)
{
    const QSizeF screen(1440, 900);
    EXPECT_EQ(TVXPreferences::getRectFromWindowPosition("0100 0050 0900 0650 0001", screen), QRectF(100, 250, 800, 600));

    // Partly off the left edge: stored from the edge.
    const QString text = TVXPreferences::getWindowDimensionsInWindowsStandard(QRectF(-50, 100, 800, 600), screen, false);
    EXPECT_EQ(text, "0000 0200 0800 0800 0000");
    EXPECT_EQ(TVXPreferences::getRectFromWindowPosition(text, screen), QRectF(0, 100, 800, 600));
    EXPECT_EQ(TVXPreferences::getWindowDimensionsInWindowsStandard(QRectF(10, 20, 30, 40), screen, true),
              "0010 0840 0040 0880 0001");
    // Negative values keep their sign inside the four digits.
    EXPECT_EQ(TVXPreferences::getWindowDimensionsInWindowsStandard(QRectF(0, 0, 100, 1000), screen, false).left(5),
              "0000 ");
    EXPECT_TRUE(TVXPreferences::getWindowDimensionsInWindowsStandard(QRectF(0, 0, 100, 1000), screen, false)
                    .contains("-0100"));
}

TEST(PreferenceRules, DefaultFrameIsCentredAndAtLeast1030Wide)
{
    EXPECT_EQ(TVXPreferences::defaultWindowFrame(QSizeF(1440, 900)), QRectF(205, 135, 1030, 630));
    EXPECT_EQ(TVXPreferences::defaultWindowFrame(QSizeF(2000, 1000)), QRectF(300, 150, 1400, 700));
}

TEST(PreferenceRules, SortInfoPacking)
{
    EXPECT_EQ(TVXPreferences::unpackSortInfo(65539), (TVXSortDescriptor{"3", true}));
    EXPECT_EQ(TVXPreferences::unpackSortInfo(3), (TVXSortDescriptor{"3", false}));
    EXPECT_EQ(TVXPreferences::packSortInfo({"7", true}), 65543);
    EXPECT_EQ(TVXPreferences::packSortInfo({"7", false}), 7);
}

TEST(PreferenceRules, FontNamesCarryTheirStyle)
{
    const QFont boldOblique = TVXPreferences::fontFromStoredName("Helvetica-BoldOblique", 12);
    EXPECT_EQ(boldOblique.family(), "Helvetica");
    EXPECT_TRUE(boldOblique.bold());
    EXPECT_TRUE(boldOblique.italic());
    EXPECT_EQ(boldOblique.pointSize(), 12);

    const QFont plain = TVXPreferences::fontFromStoredName("ArialMT", 13);
    EXPECT_FALSE(plain.bold());
    EXPECT_EQ(TVXPreferences::storedFontName(plain), "ArialMT");

    QFont italic("Optima");
    italic.setItalic(true);
    EXPECT_EQ(TVXPreferences::storedFontName(italic), "Optima-Italic");
    EXPECT_EQ(TVXPreferences::fontFromStoredName("Optima-Italic", 10).italic(), true);
}

TEST(HintCipher, BlocksAndPadding)
{
    const QString sixteen = QStringLiteral("0123456789abcdef");
    const QByteArray stored = TVXPasswordHint::encryptForHint("answer", sixteen);
    EXPECT_EQ(stored.size(), 32); // a whole last block gains a block of zeros
    EXPECT_EQ(TVXPasswordHint::decryptForHint("answer", stored), sixteen);

    const QString twoByte = QString(20, QChar(u'é')); // 40 bytes of UTF-8
    const QByteArray longer = TVXPasswordHint::encryptForHint("answer", twoByte);
    EXPECT_EQ(longer.size(), 48);
    EXPECT_EQ(TVXPasswordHint::decryptForHint("answer", longer), twoByte);

    EXPECT_TRUE(TVXPasswordHint::encryptForHint("answer", "").isEmpty());
    EXPECT_EQ(TVXPasswordHint::decryptForHint("answer", QByteArray()), "");
    EXPECT_NE(TVXPasswordHint::decryptForHint("wrong", stored), sixteen);

    // Only the first 16 bytes of an answer key the cipher.
    const QByteArray hint = TVXPasswordHint::encryptForHint("the same sixteen-and more", "Blue");
    EXPECT_EQ(TVXPasswordHint::decryptForHint("the same sixteen-but different", hint), "Blue");
}

TEST(PasswordRules, TypedPasswordsMatchExactly)
{
    TVXUser user;
    user.setMPassword("");
    EXPECT_FALSE(TVXPasswordHint::doesPasswordMatchForUser(&user, ""));
    EXPECT_FALSE(TVXPasswordHint::doesPasswordMatchForUser(nullptr, "x"));
    user.setMPassword("Secret");
    EXPECT_TRUE(TVXPasswordHint::doesPasswordMatchForUser(&user, "Secret"));
    EXPECT_FALSE(TVXPasswordHint::doesPasswordMatchForUser(&user, "secret"));
    EXPECT_TRUE(TVXPasswordHint::isPasswordEnableForUser(user));
    user.setMIsNotAllowedToChangePassword(true);
    EXPECT_FALSE(TVXPasswordHint::isChangePasswordEnableForUser(user));
}
