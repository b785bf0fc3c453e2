#include "model/BMPasswordPolicyController.h"

#include "model/PasswordGenerator.h"

#include <QChar>

#include <algorithm>

namespace {

constexpr uint8_t kPolicyLetters = 1;
constexpr uint8_t kPolicyDigits = 4;
constexpr uint8_t kPolicyDigitsAndLetters = 5;

// Tries at a password that conforms before the last one is returned as it is.
constexpr int kGenerateTries = 10;

} // namespace

bool isLetterCharacter(char32_t c)
{
    switch (QChar::category(c)) {
    case QChar::Letter_Uppercase:
    case QChar::Letter_Titlecase:
    case QChar::Letter_Lowercase:
        return true;
    default:
        return false;
    }
}

bool isDecimalDigitCharacter(char32_t c)
{
    return QChar::category(c) == QChar::Number_DecimalDigit;
}

bool hasMembersInCharSet(const QString& string, CharacterSet set)
{
    const qsizetype size = string.size();
    for (qsizetype i = 0; i < size; ++i) {
        char32_t c = string.at(i).unicode();
        if (QChar::isHighSurrogate(c) && i + 1 < size && string.at(i + 1).isLowSurrogate()) {
            c = QChar::surrogateToUcs4(string.at(i).unicode(), string.at(i + 1).unicode());
            ++i;
        }
        if (set(c))
            return true;
    }
    return false;
}

BMPasswordPolicyController::BMPasswordPolicyController()
    : m_passwordMaker([](uint16_t flags, uint16_t length) { return ::generatePassword(flags, length); })
{
}

BMPasswordPolicyController& BMPasswordPolicyController::sharedBMPasswordPolicyController()
{
    static BMPasswordPolicyController shared;
    return shared;
}

void BMPasswordPolicyController::setPolicySource(PolicySource source)
{
    m_policySource = std::move(source);
}

void BMPasswordPolicyController::refreshPasswordPolicyFrom()
{
    refreshPasswordPolicyFrom(m_policySource);
}

void BMPasswordPolicyController::refreshPasswordPolicyFrom(const PolicySource& source)
{
    // A store that could not be read leaves no requirement.
    std::optional<QVariantHash> policy;
    if (source)
        policy = source();
    passwordPolicyDidChanged(policy.value_or(QVariantHash{}));
}

void BMPasswordPolicyController::passwordPolicyDidChanged(const QVariantHash& policy)
{
    m_mminPassLength = policy.value(kSPPMinLength).toInt();
    m_mCharsetFlag = static_cast<uint8_t>(policy.value(kSPPCharSetFlag).toInt() & 0xFF);

    m_mRequiredCharSets.clear();
    switch (m_mCharsetFlag) {
    case kPolicyLetters:
        m_mRequiredCharSets.append(&isLetterCharacter);
        break;
    case kPolicyDigits:
        m_mRequiredCharSets.append(&isDecimalDigitCharacter);
        break;
    case kPolicyDigitsAndLetters:
        m_mRequiredCharSets.append(&isDecimalDigitCharacter);
        m_mRequiredCharSets.append(&isLetterCharacter);
        break;
    default:
        break;
    }
}

bool BMPasswordPolicyController::stringConformsPassowrdPolicy(const QString& string) const
{
    if (string.size() < m_mminPassLength)
        return false;
    return std::all_of(m_mRequiredCharSets.cbegin(), m_mRequiredCharSets.cend(),
                       [&](CharacterSet set) { return hasMembersInCharSet(string, set); });
}

uint16_t BMPasswordPolicyController::generatedPasswordKind() const
{
    switch (m_mCharsetFlag) {
    case kPolicyLetters:
        return kPwdGenLowerCase | kPwdGenUpperCase;
    case kPolicyDigits:
        return kPwdGenDigits;
    default:
        return kPwdGenLowerCase | kPwdGenUpperCase | kPwdGenDigits;
    }
}

QString BMPasswordPolicyController::generatePassword() const
{
    const uint16_t kind = generatedPasswordKind();
    // A negative minimum means none; the generator makes at most 63 characters.
    const auto length = static_cast<uint16_t>(std::clamp<int32_t>(m_mminPassLength, 0, kMaxRandomPasswordLength));

    if (!(m_mCharsetFlag & kPolicyDigits))
        return m_passwordMaker(kind, length);

    QString password;
    for (int attempt = 0; attempt < kGenerateTries; ++attempt) {
        password = m_passwordMaker(kind, length);
        if (stringConformsPassowrdPolicy(password))
            break;
    }
    return password;
}

void BMPasswordPolicyController::setPasswordMaker(PasswordMaker maker)
{
    m_passwordMaker = std::move(maker);
}
