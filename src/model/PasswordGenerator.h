#pragma once
// Password generator: a random string over chosen character sets, or a pronounceable
// password built from syllables by the FIPS PUB 181 Automated Password Generator, each
// syllable dressed in one of the chosen sets. Used for the generator sheet, for account
// passwords under the policy and for attachment pass keys (flags 15, length 16).
#include "model/RandomSource.h"

#include <QString>

#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <vector>

// Character-set flags (the user's choice is kept as mPwdGenFlag).
enum PasswordGeneratorFlag : uint16_t {
    kPwdGenLowerCase = 1,
    kPwdGenUpperCase = 2,
    kPwdGenDigits = 4,
    kPwdGenSymbols = 8,
    kPwdGenInternational = 16,
    kPwdGenPronounceable = 32,
};
inline constexpr uint16_t kPwdGenCharacterSets = 31;

// Size of the caller's buffer, closing NUL included.
inline constexpr std::size_t kPasswordBufferSize = 64;
inline constexpr uint16_t kMaxRandomPasswordLength = 63;
inline constexpr uint16_t kMaxPronounceableLength = 30;

// The 32 symbols of flag 8, and the 26 Mac OS Roman bytes of flag 16 (Option + a..z).
extern const char sSymbols[32];
extern const unsigned char sIntl[26];

// Where generated passwords take their numbers from: one uniform 32-bit number a call.
using RandomNumberSource = std::function<uint32_t()>;

// Writes a password of `length` one-byte characters and a closing NUL into `out`;
// returns the number of characters written. No set among flags 1-16 gives the empty text.
// Random mode is capped at 63 characters, pronounceable mode at 30.
std::size_t randomword(uint16_t length, uint16_t flags, char (&out)[kPasswordBufferSize],
                       const RandomNumberSource& source = SecureRandomNumber);

// The generator's bytes as they are (international characters are Mac OS Roman bytes).
std::string generatePasswordBytes(uint16_t flags, uint16_t length,
                                  const RandomNumberSource& source = SecureRandomNumber);
// The generator's bytes read as Mac OS Roman. TVXDataBase::generatePasswordWith wraps this.
QString generatePassword(uint16_t flags, uint16_t length,
                         const RandomNumberSource& source = SecureRandomNumber);

// The FIPS PUB 181 word generator, open to the tests.
namespace fips181 {

// Unit flags.
enum : uint8_t {
    kNoSpecialRule = 0,
    kAlternateVowel = 1,
    kVowel = 2,
    kNoFinalSplit = 4,
    kNotBeginSyllable = 8,
};

// Digram flags.
enum : uint8_t {
    kAnyCombination = 0,
    kNotEnd = 1,
    kEnd = 2,
    kSuffix = 4,
    kIllegalPair = 8,
    kPrefix = 16,
    kBreak = 32,
    kNotBegin = 64,
    kBegin = 128,
};

inline constexpr std::size_t kUnitCount = 34;

struct Unit {
    const char* code;
    uint8_t flags;
};

extern const Unit kUnits[kUnitCount];
// kDigram[first][second]: the rule for unit `second` following unit `first`.
extern const uint8_t kDigram[kUnitCount][kUnitCount];
// Unit numbers in English frequency: any unit, and vowels only.
extern const uint8_t kUnitNumbers[210];
extern const uint8_t kVowelNumbers[12];

// Units left over from one syllable for the next one.
struct CarryOver {
    int savedUnit = 0; // 0 none, 1 savedPair[0], 2 savedPair[1] then savedPair[0]
    uint8_t savedPair[2] = {0, 0};
};

struct Syllable {
    std::string text;
    std::vector<uint8_t> units;
};

// One syllable of at most `maxLength` characters.
Syllable generateSyllable(int maxLength, const RandomNumberSource& source, CarryOver& carry);

struct Word {
    std::string text;                 // dressed syllables, joined
    std::vector<Syllable> syllables;  // the accepted syllables as generated
    std::vector<uint8_t> units;       // all units of the word, in order
};

// Called for each accepted syllable with its number in the word (from 0); may rewrite it.
using SyllableDresser = std::function<void(std::string& syllable, std::size_t index)>;

// A word of exactly `length` characters (length >= 1).
Word generateWord(int length, const RandomNumberSource& source, CarryOver& carry,
                  const SyllableDresser& dress = {});

// The word tests.
bool improperWord(std::span<const uint8_t> units);
bool haveInitialY(std::span<const uint8_t> units);
bool haveFinalSplit(std::span<const uint8_t> units);
bool illegalPlacement(std::span<const uint8_t> units);

} // namespace fips181
