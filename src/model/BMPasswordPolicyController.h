#pragma once
// The store-wide password policy: a minimum length and the character sets a password
// must contain. Held in memory only; the client never writes it.
#include <QList>
#include <QString>
#include <QVariantHash>

#include <cstdint>
#include <functional>
#include <optional>

// Keys of the policy dictionary passed between the database manager and the controller.
inline const QString kSPPMinLength = QStringLiteral("SetPassMinimumLength");
inline const QString kSPPCharSetFlag = QStringLiteral("SetPassCharSetFlag");

// A character set, as a test on one Unicode code point.
using CharacterSet = bool (*)(char32_t);

// Letters: the Unicode upper-case (and title-case) and lower-case letters.
bool isLetterCharacter(char32_t c);
// The Unicode decimal digits.
bool isDecimalDigitCharacter(char32_t c);

// True when the string contains at least one character of the set.
bool hasMembersInCharSet(const QString& string, CharacterSet set);

class BMPasswordPolicyController {
public:
    // Reads the policy from the store; no value when the store could not be read.
    using PolicySource = std::function<std::optional<QVariantHash>()>;
    // Makes a password of the given generator flags and length.
    using PasswordMaker = std::function<QString(uint16_t flags, uint16_t length)>;

    BMPasswordPolicyController();

    static BMPasswordPolicyController& sharedBMPasswordPolicyController();

    // Where refreshPasswordPolicyFrom() reads the policy (the database manager's
    // passwordPolicyDetails). Without one, a refresh leaves no requirement.
    void setPolicySource(PolicySource source);
    void refreshPasswordPolicyFrom();
    void refreshPasswordPolicyFrom(const PolicySource& source);

    // Applies a policy dictionary; missing keys count as 0.
    void passwordPolicyDidChanged(const QVariantHash& policy);

    bool stringConformsPassowrdPolicy(const QString& string) const;

    // A password made for the policy.
    QString generatePassword() const;
    // The generator flags of passwords made for the policy: 3, 4 or 7.
    uint16_t generatedPasswordKind() const;

    // Replaces the generator (tests).
    void setPasswordMaker(PasswordMaker maker);

    int32_t mminPassLength() const { return m_mminPassLength; }
    uint8_t mCharsetFlag() const { return m_mCharsetFlag; }
    const QList<CharacterSet>& mRequiredCharSets() const { return m_mRequiredCharSets; }

private:
    int32_t m_mminPassLength = 0;
    uint8_t m_mCharsetFlag = 0;
    QList<CharacterSet> m_mRequiredCharSets;
    PolicySource m_policySource;
    PasswordMaker m_passwordMaker;
};
