#pragma once
// 8-byte identifiers of groups, types, records and users, handled as their
// 16-character upper-case hexadecimal text.
#include <QString>

#include <cstdint>

inline const QString kUnfilledUID = QStringLiteral("0000000000000000");
inline const QString kUnfiledUID = kUnfilledUID;
inline const QString kAllCategoriesUID = QStringLiteral("000000000000FFFF");
inline const QString kWebLoginUID = QStringLiteral("0000000000000012");

// 8 bytes to 16 characters and a closing NUL (17 bytes written).
void UID_ToString(const uint8_t uid[8], char out[17]);
// 16 characters to 8 bytes. No check: texts come from UID_ToString or the constants.
void String_ToUID(const char text[16], uint8_t uid[8]);
bool UID_IsWellKnown(const uint8_t uid[8]);

class TVXUID {
public:
    TVXUID() = delete;

    static QString giveMeNewUID();
    static QString giveMeUnfilledUID() { return kUnfilledUID; }
    static QString createWellKnownUID(uint16_t number);
    static QString nextWellknownUID(const QString& uid);
    static bool isWellKnownUID(const QString& uid);
};
