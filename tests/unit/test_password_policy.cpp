#include "model/BMPasswordPolicyController.h"

#include <gtest/gtest.h>

namespace {

BMPasswordPolicyController withPolicy(int minimumLength, int flag)
{
    BMPasswordPolicyController policy;
    policy.passwordPolicyDidChanged({{kSPPMinLength, minimumLength}, {kSPPCharSetFlag, flag}});
    return policy;
}

bool allDigits(const QString& s)
{
    for (QChar c : s)
        if (!c.isDigit())
            return false;
    return true;
}

} // namespace

TEST(PasswordPolicy, KeysAndSharedInstance)
{
    EXPECT_EQ(kSPPMinLength, QStringLiteral("SetPassMinimumLength"));
    EXPECT_EQ(kSPPCharSetFlag, QStringLiteral("SetPassCharSetFlag"));
    EXPECT_EQ(&BMPasswordPolicyController::sharedBMPasswordPolicyController(),
              &BMPasswordPolicyController::sharedBMPasswordPolicyController());

    BMPasswordPolicyController fresh;
    EXPECT_EQ(fresh.mminPassLength(), 0);
    EXPECT_EQ(fresh.mCharsetFlag(), 0);
    EXPECT_TRUE(fresh.mRequiredCharSets().isEmpty());
}

TEST(PasswordPolicy, RequiredSetsFollowTheFlag)
{
    EXPECT_EQ(withPolicy(0, 1).mRequiredCharSets(), QList<CharacterSet>{&isLetterCharacter});
    EXPECT_EQ(withPolicy(0, 4).mRequiredCharSets(), QList<CharacterSet>{&isDecimalDigitCharacter});
    EXPECT_EQ(withPolicy(0, 5).mRequiredCharSets(),
              (QList<CharacterSet>{&isDecimalDigitCharacter, &isLetterCharacter}));
    for (int flag : {0, 2, 3, 6, 7, 255})
        EXPECT_TRUE(withPolicy(0, flag).mRequiredCharSets().isEmpty()) << flag;

    // The flag keeps its low eight bits; a new policy replaces the old sets.
    BMPasswordPolicyController policy = withPolicy(3, 5);
    policy.passwordPolicyDidChanged({{kSPPCharSetFlag, 0x104}});
    EXPECT_EQ(policy.mCharsetFlag(), 4);
    EXPECT_EQ(policy.mminPassLength(), 0);
    EXPECT_EQ(policy.mRequiredCharSets(), QList<CharacterSet>{&isDecimalDigitCharacter});
}

TEST(PasswordPolicy, DigitsAndLettersWithMinimumEight)
{
    const BMPasswordPolicyController policy = withPolicy(8, 5);
    EXPECT_TRUE(policy.stringConformsPassowrdPolicy(QStringLiteral("abcdefg1")));
    EXPECT_FALSE(policy.stringConformsPassowrdPolicy(QStringLiteral("abcdefgh")));
    EXPECT_TRUE(policy.stringConformsPassowrdPolicy(QStringLiteral("1234567a")));
    EXPECT_FALSE(policy.stringConformsPassowrdPolicy(QStringLiteral("abc1")));
    EXPECT_FALSE(policy.stringConformsPassowrdPolicy(QStringLiteral("12345678")));
    EXPECT_TRUE(policy.stringConformsPassowrdPolicy(QStringLiteral("a-1-b-2-c")));
}

TEST(PasswordPolicy, LettersAreUnicodeLetters)
{
    const BMPasswordPolicyController policy = withPolicy(0, 1);
    EXPECT_FALSE(policy.stringConformsPassowrdPolicy(QStringLiteral("123456")));
    EXPECT_FALSE(policy.stringConformsPassowrdPolicy(QStringLiteral("!@#$")));
    EXPECT_FALSE(policy.stringConformsPassowrdPolicy(QString()));
    EXPECT_TRUE(policy.stringConformsPassowrdPolicy(QString::fromUtf8("123é")));
    EXPECT_TRUE(policy.stringConformsPassowrdPolicy(QString::fromUtf8("42Ω")));
    EXPECT_TRUE(policy.stringConformsPassowrdPolicy(QString::fromUtf8("1ǅ"))); // title case
    // Letters outside the basic plane arrive as surrogate pairs.
    EXPECT_TRUE(policy.stringConformsPassowrdPolicy(QString::fromUtf8("1𝐀")));
    // Letters with no case are not in the upper- or lower-case sets.
    EXPECT_FALSE(policy.stringConformsPassowrdPolicy(QString::fromUtf8("1中")));
}

TEST(PasswordPolicy, DigitsAreUnicodeDecimalDigits)
{
    EXPECT_TRUE(hasMembersInCharSet(QString::fromUtf8("abc٣"), &isDecimalDigitCharacter)); // Arabic-Indic three
    EXPECT_TRUE(hasMembersInCharSet(QString::fromUtf8("x𝟎"), &isDecimalDigitCharacter));  // mathematical zero
    EXPECT_FALSE(hasMembersInCharSet(QString::fromUtf8("½²"), &isDecimalDigitCharacter));  // numbers, not digits
    EXPECT_FALSE(hasMembersInCharSet(QString(), &isDecimalDigitCharacter));
}

TEST(PasswordPolicy, NoPolicyAcceptsEverything)
{
    const BMPasswordPolicyController policy = withPolicy(0, 0);
    EXPECT_TRUE(policy.stringConformsPassowrdPolicy(QString()));
    EXPECT_TRUE(policy.stringConformsPassowrdPolicy(QStringLiteral("x")));
    EXPECT_TRUE(policy.stringConformsPassowrdPolicy(QStringLiteral("!!!")));
    EXPECT_EQ(policy.generatePassword(), QString());
}

TEST(PasswordPolicy, MinimumLengthAlone)
{
    const BMPasswordPolicyController policy = withPolicy(4, 3);
    EXPECT_FALSE(policy.stringConformsPassowrdPolicy(QStringLiteral("abc")));
    EXPECT_TRUE(policy.stringConformsPassowrdPolicy(QStringLiteral("!!!!")));
}

TEST(PasswordPolicy, GeneratesDigitsForTheDigitPolicy)
{
    const BMPasswordPolicyController policy = withPolicy(6, 4);
    for (int i = 0; i < 20; ++i) {
        const QString password = policy.generatePassword();
        EXPECT_EQ(password.size(), 6);
        EXPECT_TRUE(allDigits(password)) << password.toStdString();
    }
}

TEST(PasswordPolicy, GeneratedKinds)
{
    struct Call {
        uint16_t flags;
        uint16_t length;
    };
    for (auto [flag, kind] : {std::pair{1, 3}, {4, 4}, {5, 7}, {0, 7}, {2, 7}, {3, 7}}) {
        BMPasswordPolicyController policy = withPolicy(9, flag);
        std::vector<Call> calls;
        policy.setPasswordMaker([&](uint16_t flags, uint16_t length) {
            calls.push_back({flags, length});
            return QStringLiteral("abcdefgh1");
        });
        policy.generatePassword();
        ASSERT_EQ(calls.size(), 1u) << flag;
        EXPECT_EQ(calls[0].flags, kind) << flag;
        EXPECT_EQ(calls[0].length, 9) << flag;
        EXPECT_EQ(policy.generatedPasswordKind(), kind);
    }

    // Flags 2 and 3 require nothing, yet make letters and digits.
    const BMPasswordPolicyController policy = withPolicy(12, 2);
    for (QChar c : policy.generatePassword())
        EXPECT_TRUE(c.isLetterOrNumber() && c.unicode() < 128);
}

TEST(PasswordPolicy, DigitPoliciesRetryUpToTenTimes)
{
    BMPasswordPolicyController policy = withPolicy(4, 5);
    int calls = 0;
    policy.setPasswordMaker([&](uint16_t, uint16_t) {
        ++calls;
        return calls == 3 ? QStringLiteral("ab12") : QStringLiteral("abcd");
    });
    EXPECT_EQ(policy.generatePassword(), QStringLiteral("ab12"));
    EXPECT_EQ(calls, 3);

    calls = 0;
    policy.setPasswordMaker([&](uint16_t, uint16_t) { return QStringLiteral("try") + QChar(u'a' + calls++); });
    EXPECT_EQ(policy.generatePassword(), QStringLiteral("tryj")); // the tenth, though it has no digit
    EXPECT_EQ(calls, 10);

    // The letter policy makes one password, conforming or not.
    BMPasswordPolicyController letters = withPolicy(4, 1);
    calls = 0;
    letters.setPasswordMaker([&](uint16_t, uint16_t) {
        ++calls;
        return QStringLiteral("1234");
    });
    EXPECT_EQ(letters.generatePassword(), QStringLiteral("1234"));
    EXPECT_EQ(calls, 1);
}

TEST(PasswordPolicy, GeneratedLengthStaysWithinTheGenerator)
{
    std::vector<uint16_t> lengths;
    auto record = [&](uint16_t, uint16_t length) {
        lengths.push_back(length);
        return QString();
    };
    BMPasswordPolicyController negative = withPolicy(-5, 0);
    negative.setPasswordMaker(record);
    negative.generatePassword();
    BMPasswordPolicyController huge = withPolicy(100000, 0);
    huge.setPasswordMaker(record);
    huge.generatePassword();
    EXPECT_EQ(lengths, (std::vector<uint16_t>{0, 63}));
    EXPECT_TRUE(negative.stringConformsPassowrdPolicy(QString()));
}

TEST(PasswordPolicy, RefreshTakesThePolicyFromItsSource)
{
    BMPasswordPolicyController policy;
    policy.refreshPasswordPolicyFrom(
        [] { return std::optional<QVariantHash>({{kSPPMinLength, 8}, {kSPPCharSetFlag, 5}}); });
    EXPECT_EQ(policy.mminPassLength(), 8);
    EXPECT_EQ(policy.mCharsetFlag(), 5);
    EXPECT_EQ(policy.mRequiredCharSets().size(), 2);

    // A store that could not be read leaves no requirement.
    policy.refreshPasswordPolicyFrom([] { return std::optional<QVariantHash>(); });
    EXPECT_EQ(policy.mminPassLength(), 0);
    EXPECT_EQ(policy.mCharsetFlag(), 0);
    EXPECT_TRUE(policy.mRequiredCharSets().isEmpty());

    int reads = 0;
    policy.setPolicySource([&] {
        ++reads;
        return std::optional<QVariantHash>({{kSPPMinLength, 6}, {kSPPCharSetFlag, 4}});
    });
    policy.refreshPasswordPolicyFrom();
    policy.refreshPasswordPolicyFrom();
    EXPECT_EQ(reads, 2);
    EXPECT_EQ(policy.mminPassLength(), 6);
    EXPECT_EQ(policy.mCharsetFlag(), 4);

    policy.setPolicySource({});
    policy.refreshPasswordPolicyFrom();
    EXPECT_EQ(policy.mminPassLength(), 0);
    EXPECT_EQ(policy.mCharsetFlag(), 0);
}
