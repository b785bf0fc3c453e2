#include "model/TVXUID.h"

#include "model/RandomSource.h"

#include <chrono>
#include <cstring>

namespace {

constexpr char kHexDigits[] = "0123456789ABCDEF";

uint8_t nibble(char c)
{
    // Only digits and A-F give their values; anything else is not checked.
    return static_cast<uint8_t>(c < 'A' ? c - '0' : c - 55);
}

// Parses up to 16 characters; a short text leaves the missing bytes zero.
void parse(const QString& text, uint8_t uid[8])
{
    char chars[16];
    std::memset(chars, '0', sizeof chars);
    const QByteArray latin = text.toLatin1();
    std::memcpy(chars, latin.constData(), std::min<qsizetype>(latin.size(), 16));
    String_ToUID(chars, uid);
}

QString format(const uint8_t uid[8])
{
    char out[17];
    UID_ToString(uid, out);
    return QString::fromLatin1(out, 16);
}

// Seconds since 1 January 2001, the reference date of the identifier's time bytes.
double absoluteTime()
{
    using namespace std::chrono;
    const auto ns = duration_cast<nanoseconds>(system_clock::now().time_since_epoch()).count();
    return static_cast<double>(ns) / 1e9 - 978307200.0;
}

} // namespace

void UID_ToString(const uint8_t uid[8], char out[17])
{
    for (int i = 0; i < 8; ++i) {
        out[2 * i] = kHexDigits[uid[i] >> 4];
        out[2 * i + 1] = kHexDigits[uid[i] & 0x0F];
    }
    out[16] = '\0';
}

void String_ToUID(const char text[16], uint8_t uid[8])
{
    for (int i = 0; i < 8; ++i)
        uid[i] = static_cast<uint8_t>((nibble(text[2 * i]) << 4) + nibble(text[2 * i + 1]));
}

bool UID_IsWellKnown(const uint8_t uid[8])
{
    for (int i = 0; i < 7; ++i)
        if (uid[i] != 0)
            return false;
    return true;
}

QString TVXUID::giveMeNewUID()
{
    uint8_t uid[8];
    // Bytes 0-3 from the system's cryptographic source: identifiers made in
    // different runs (or on different clients in the same instant) differ.
    SecureRandomBytes(uid, 4);
    const double now = absoluteTime();
    uint64_t bits = 0;
    std::memcpy(&bits, &now, sizeof bits);
    for (int i = 0; i < 4; ++i)
        uid[4 + i] = static_cast<uint8_t>(bits >> (8 * i));
    return format(uid);
}

QString TVXUID::createWellKnownUID(uint16_t number)
{
    uint8_t uid[8] = {};
    uid[6] = static_cast<uint8_t>(number >> 8);
    uid[7] = static_cast<uint8_t>(number & 0xFF);
    return format(uid);
}

QString TVXUID::nextWellknownUID(const QString& uid)
{
    uint8_t bytes[8];
    parse(uid, bytes);
    if (bytes[7] < 255) {
        ++bytes[7];
    } else {
        bytes[6] = static_cast<uint8_t>(bytes[6] + 1);
        bytes[7] = 0;
    }
    return format(bytes);
}

bool TVXUID::isWellKnownUID(const QString& uid)
{
    uint8_t bytes[8];
    parse(uid, bytes);
    return UID_IsWellKnown(bytes);
}
