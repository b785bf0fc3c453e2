#include "model/RandomSource.h"
#include "model/TVXUID.h"

#include <gtest/gtest.h>

#include <QSet>

TEST(TVXUID, TextFormIsUpperCaseHexInByteOrder)
{
    const uint8_t counting[8] = {0, 1, 2, 3, 4, 5, 6, 7};
    char out[17];
    UID_ToString(counting, out);
    EXPECT_STREQ(out, "0001020304050607");

    const uint8_t ab[8] = {0xAB, 0xAB, 0xAB, 0xAB, 0xAB, 0xAB, 0xAB, 0xAB};
    UID_ToString(ab, out);
    EXPECT_STREQ(out, "ABABABABABABABAB");

    uint8_t back[8];
    String_ToUID("ABABABABABABABAB", back);
    EXPECT_EQ(0, memcmp(back, ab, 8));
}

TEST(TVXUID, WellKnownIdentifiers)
{
    EXPECT_EQ(TVXUID::createWellKnownUID(18), "0000000000000012");
    EXPECT_EQ(TVXUID::createWellKnownUID(18), kWebLoginUID);
    EXPECT_EQ(TVXUID::createWellKnownUID(65535), "000000000000FFFF");
    EXPECT_EQ(TVXUID::giveMeUnfilledUID(), kUnfiledUID);

    EXPECT_TRUE(TVXUID::isWellKnownUID("0000000000000000"));
    EXPECT_TRUE(TVXUID::isWellKnownUID("0000000000000012"));
    EXPECT_FALSE(TVXUID::isWellKnownUID(kAllCategoriesUID));
    EXPECT_FALSE(TVXUID::isWellKnownUID("0100000000000000"));
}

TEST(TVXUID, IncrementCarriesIntoByteSixOnly)
{
    EXPECT_EQ(TVXUID::nextWellknownUID("00000000000000FF"), "0000000000000100");
    EXPECT_EQ(TVXUID::nextWellknownUID("000000000000FFFF"), "0000000000000000");
    EXPECT_EQ(TVXUID::nextWellknownUID("0000000000000011"), "0000000000000012");
    // Bytes 0 to 5 never change.
    EXPECT_EQ(TVXUID::nextWellknownUID("ABCDEF012345FFFF"), "ABCDEF0123450000");
}

TEST(TVXUID, NewIdentifiersAreDistinctAndNotWellKnown)
{
    QSet<QString> seen;
    for (int i = 0; i < 2000; ++i) {
        const QString uid = TVXUID::giveMeNewUID();
        ASSERT_EQ(uid.size(), 16);
        for (QChar c : uid)
            ASSERT_TRUE(QString("0123456789ABCDEF").contains(c)) << uid.toStdString();
        EXPECT_FALSE(seen.contains(uid)) << uid.toStdString();
        seen.insert(uid);
    }
}

TEST(TVXUID, NewIdentifiersDoNotDependOnTheSharedGenerator)
{
    // Reseeding the MT19937 the same way must not make identifiers repeat.
    RandomNumberInit(42);
    const QString first = TVXUID::giveMeNewUID();
    RandomNumberInit(42);
    const QString second = TVXUID::giveMeNewUID();
    EXPECT_NE(first.left(8), second.left(8));
}

TEST(RandomSource, UnseededGeneratorGivesTheStandardFirstOutput)
{
    // Restores the state a fresh process starts with.
    RandomNumberInit(5489);
    EXPECT_EQ(RandomNumber(), 3499211612u);
}
