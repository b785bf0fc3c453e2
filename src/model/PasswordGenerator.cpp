#include "model/PasswordGenerator.h"

#include "model/StringAdditions.h"

#include <algorithm>
#include <cstring>

const char sSymbols[32] = {
    '`', '~', '!', '@', '#', '$', '%', '^', '&', '*', '(', ')', '-', '_', '=', '+',
    '[', '{', ']', '}', '\\', '|', '\'', '"', ';', ':', ',', '<', '.', '>', '/', '?',
};

const unsigned char sIntl[26] = {
    0x8C, 0xBA, 0x8D, 0xB6, 0xAB, 0xC4, 0xA9, 0xFA, 0xF6, 0xC6, 0xFB, 0xC2, 0xB5,
    0xF7, 0xBF, 0xB9, 0xCF, 0xA8, 0xA7, 0xA0, 0xAC, 0xC3, 0xB7, 0xC5, 0xB4, 0xBD,
};

namespace fips181 {

namespace {

constexpr uint8_t V = kVowel;

} // namespace

const Unit kUnits[kUnitCount] = {
    {"a", V},
    {"b", kNoSpecialRule},
    {"c", kNoSpecialRule},
    {"d", kNoSpecialRule},
    {"e", kNoFinalSplit | V},
    {"f", kNoSpecialRule},
    {"g", kNoSpecialRule},
    {"h", kNoSpecialRule},
    {"i", V},
    {"j", kNoSpecialRule},
    {"k", kNoSpecialRule},
    {"l", kNoSpecialRule},
    {"m", kNoSpecialRule},
    {"n", kNoSpecialRule},
    {"o", V},
    {"p", kNoSpecialRule},
    {"r", kNoSpecialRule},
    {"s", kNoSpecialRule},
    {"t", kNoSpecialRule},
    {"u", V},
    {"v", kNoSpecialRule},
    {"w", kNoSpecialRule},
    {"x", kNotBeginSyllable},
    {"y", kAlternateVowel | V},
    {"z", kNoSpecialRule},
    {"ch", kNoSpecialRule},
    {"gh", kNoSpecialRule},
    {"ph", kNoSpecialRule},
    {"rh", kNoSpecialRule},
    {"sh", kNoSpecialRule},
    {"th", kNoSpecialRule},
    {"wh", kNoSpecialRule},
    {"qu", kNoSpecialRule},
    {"ck", kNotBeginSyllable},
};

namespace {

constexpr uint8_t A = kAnyCombination;
constexpr uint8_t X = kIllegalPair;
constexpr uint8_t B = kBegin;
constexpr uint8_t NB = kNotBegin;
constexpr uint8_t BR = kBreak;
constexpr uint8_t PF = kPrefix;
constexpr uint8_t SF = kSuffix;
constexpr uint8_t E = kEnd;
constexpr uint8_t NE = kNotEnd;
constexpr uint8_t NBN = kNotBegin | kBreak | kNotEnd;
constexpr uint8_t NBPN = kNotBegin | kBreak | kPrefix | kNotEnd;

} // namespace

// Columns in unit order:
//   a b c d e f g h | i j k l m n o p | r s t u v w x y | z ch gh ph rh sh th wh qu ck
const uint8_t kDigram[kUnitCount][kUnitCount] = {
    /* a */ {X, A, A, A, X, A, A, NBN,
             A, A, A, A, A, A, X, A,
             A, A, A, A, A, A, A, A,
             A, A, X, A, X, A, A, X, BR | NE, A},
    /* b */ {A, NBN, NBN, NBN, A, NBN, NBN, NBN,
             A, NBN, NBN, B | SF | NE, NBN, NBN, A, NBN,
             B | E, NB, NBN, A, NBN, NBN, X, A,
             NBN, NBN, X, NBN, X, NBN, NBN, X, NBN, X},
    /* c */ {A, NBN, NBN, NBN, A, NBN, NBN, NBN,
             A, NBN, NBN, SF | NE, NBN, NBN, A, NBN,
             NE, NB | E, NB | PF, A, NBN, NBN, X, A,
             NBN, X, X, NBN, X, NBN, NBN, X, NB | SF | NE, X},
    /* d */ {A, NBN, NBN, NB, A, NBN, NBN, NBN,
             A, NBN, NBN, NBN, NBN, NBN, A, NBN,
             B | NE, NB | E, NBN, A, NBN, NBN, X, A,
             NBN, NBN, NBN, NBN, X, NB | NE, NB | PF, X, NBN, X},
    /* e */ {A, A, A, A, A, A, A, NBN,
             NE, A, A, A, A, A, BR, A,
             A, A, A, A, A, A, A, A,
             A, A, NBN, A, X, A, A, X, BR | NE, A},
    /* f */ {A, NBN, NBN, NBN, A, NB, NBN, NBN,
             A, NBN, NBN, B | SF | NE, NBN, NBN, A, NBN,
             B | NE, NB, NB, A, NBN, NBN, X, NB,
             NBN, NBN, NBN, NBN, X, NBN, NBN, X, NBN, X},
    /* g */ {A, NBN, NBN, NBN, A, NBN, NB, NBN,
             A, NBN, X, B | SF | NE, NBN, NBN, A, NBN,
             B | NE, NB | E, NBN, A, NBN, NBN, X, NB,
             NBN, NBN, X, NBN, X, NB, NB, X, NBN, X},
    /* h */ {A, NBN, NBN, NBN, A, NBN, NBN, X,
             A, NBN, NBN, NBN, NBN, NBN, A, NBN,
             NBN, NBN, NBN, A, NBN, NBN, X, A,
             NBN, NBN, NBN, NBN, X, NBN, NBN, X, NBN, X},
    /* i */ {A, A, A, A, NB, A, A, NBN,
             X, A, A, A, A, A, BR, A,
             A, A, A, NBN, A, NBN, A, NBN,
             A, A, NB, A, X, A, A, X, BR | NE, A},
    /* j */ {A, NBN, NBN, NBN, A, NBN, X, NBN,
             A, X, NBN, NBN, NBN, NBN, A, NBN,
             NBN, NBN, NBN, A, NBN, NBN, X, NB,
             NBN, NBN, NBN, NBN, X, NBN, NBN, X, NBN, X},
    /* k */ {A, NBN, NBN, NBN, A, NBN, NBN, NBN,
             A, NBN, NBN, SF | NE, NBN, B | SF | NE, A, NBN,
             SF | NE, NB | E, NBN, A, NBN, NBN, X, NB,
             NBN, NBN, NBN, NB | PF, X, NB, NBN, X, NBN, X},
    /* l */ {A, NB | PF, NBN, NB | PF, A, NB | PF, NB | PF, NBN,
             A, NB | PF, NB | PF, NB | PF, NB | PF, NBN, A, NB | PF,
             NBN, NB, NB | PF, A, NB | PF, NBN, X, A,
             NBN, NB | PF, NBN, NB | PF, X, NB | PF, NB | PF, X, NBN, X},
    /* m */ {A, NBN, NBN, NBN, A, NBN, NBN, NBN,
             A, NBN, NBN, NBN, NB, NBN, A, NB,
             NBN, NB, NB, A, NBN, NBN, X, A,
             NBN, NB | PF, NBN, NB, X, NB, NB, X, NBN, X},
    /* n */ {A, NBN, NBN, NB, A, NBN, NB | PF, NBN,
             A, NBN, NB | PF, NBN, NBN, NB, A, NBN,
             NBN, NB, NB, A, NBN, NBN, X, NB,
             NBN, NB | PF, NBN, NB | PF, X, NB, NB, X, NBN, NB | PF},
    /* o */ {A, A, A, A, X, A, A, NBN,
             A, A, A, A, A, A, A, A,
             A, A, A, A, A, A, A, A,
             A, A, NB, A, X, A, A, X, BR | NE, A},
    /* p */ {A, NBN, NBN, NBN, A, NBN, NBN, NBN,
             A, NBN, NBN, SF | NE, NBN, NBN, A, NB | PF,
             NE, NB | E, NB | E, NB | E, NBN, NBN, X, A,
             NBN, NBN, NBN, NBN, X, NBN, NBN, X, NBN, X},
    /* r */ {A, NB | PF, NB | PF, NB | PF, A, NB | PF, NB | PF, NBN,
             A, NB | PF, NB | PF, NB | PF, NB | PF, NB | PF, A, NB | PF,
             NB | PF, NB | PF, NB | PF, A, NB | PF, NBN, X, A,
             NB | PF, NB | PF, NBN, NB | PF, X, NB | PF, NB | PF, X, NB | PF | NE, NB | PF},
    /* s */ {A, NBN, NE, NBN, A, NBN, NBN, NBN,
             A, NBN, A, B | SF | NE, SF | NE, PF | SF | NE, A, A,
             NB | NE, NB | PF, A, A, NBN, B | SF | NE, X, A,
             NBN, B | SF | NE, NBN, NBN, X, NBN, NBN, X, SF | NE, NB},
    /* t */ {A, NBN, NBN, NBN, A, NBN, NBN, NBN,
             A, NBN, NBN, NBN, NBN, NBN, A, NBN,
             NE, NB | E, NB | PF, A, NBN, B | SF | NE, X, A,
             NBN, NB, NBN, NB | E, X, NB | E, NBN, X, NBN, X},
    /* u */ {NBN, A, A, A, NB, A, A, NBN,
             NBN, A, A, A, A, A, NB | BR, A,
             A, A, A, X, A, NBN, A, NBN,
             A, A, NB | PF, A, X, A, A, X, BR | NE, A},
    /* v */ {A, NBN, NBN, NBN, A, NBN, NBN, NBN,
             A, NBN, NBN, NBN, NBN, NBN, A, NBN,
             NBN, NBN, NBN, A, NBN, NBN, X, NB,
             NBN, NBN, NBN, NBN, X, NBN, NBN, X, NBN, X},
    /* w */ {A, NB | PF, NBN, NB | PF | E, A, NB | PF, NB | PF | E, NBN,
             A, NBN, NB | PF, NB | PF | SF, NB | PF, NB | PF, A, NB | PF,
             B | SF | NE, NB | PF, NB | PF, A, NB | PF, NBN, NB | PF, A,
             NB | PF, NB, NBN, NB, X, NB, NB, X, NBN, NB},
    /* x */ {NB, NBN, NBN, NBN, NB, NBN, NBN, NBN,
             NB, NBN, NBN, NBN, NBN, NBN, NB, NBN,
             NBN, NBN, NBN, NB, NBN, NBN, X, NB,
             NBN, NBN, NBN, NBN, X, NBN, NBN, X, NBN, X},
    /* y */ {A, NB, NB | NE, NB, A, NB | NE, NB, NBN,
             B | NE, NB | NE, NB, NB | NE, NB, NB, A, NB,
             NBN, NB, NB, A, NB | NE, NBN, NB, X,
             NB, NBN, NBN, NBN, X, NBN, NBN, X, NBN, X},
    /* z */ {A, NBN, NBN, NBN, A, NBN, NBN, NBN,
             A, NBN, NBN, NBN, NBN, NBN, A, NBN,
             NB | NE, NBN, NB, A, NBN, SF | NE, X, A,
             NB, NBN, NBN, NBN, X, NBN, NBN, X, NBN, X},
    /* ch */ {A, NBN, NBN, NBN, A, NBN, NBN, NBN,
              A, NBN, NBN, NBN, NBN, NBN, A, NBN,
              NE, NBN, NBN, A, NBN, NB | NE, X, A,
              NBN, X, NBN, NBN, X, NBN, NBN, X, NBN, X},
    /* gh */ {A, NBPN, NBPN, NBPN, A, NBPN, NBPN, NBPN,
              B | NE, NBPN, NBPN, NBPN, NBPN, NBPN, B | NE, NBN,
              NBPN, NB | PF, NB | PF, NBPN, NBPN, NBPN, X, NBPN,
              NBPN, NBPN, X, NBPN, X, NBPN, NBPN, X, NBPN, X},
    /* ph */ {A, NBN, NBN, NBN, A, NBN, NBN, NBN,
              A, NBN, NBN, B | SF | NE, NBN, NBN, A, NBN,
              NE, NB, NB, A, NB | NE, NB | NE, X, NB,
              NBN, NBN, NBN, X, X, NBN, NBN, X, NBN, X},
    /* rh */ {B | NE, X, X, X, B | NE, X, X, X,
              B | NE, X, X, X, X, X, B | NE, X,
              X, X, X, B | NE, X, X, X, B | NE,
              X, X, X, X, X, X, X, X, X, X},
    /* sh */ {A, NBN, NBN, NBN, A, NBN, NBN, X,
              A, NBN, NB, B | SF | NE, B | SF | NE, B | SF | NE, A, NB,
              B | SF | NE, NBN, SF, A, NBN, SF | NE, X, A,
              NBN, NBN, NBN, NBN, X, X, NBN, X, NBN, X},
    /* th */ {A, NBN, NBN, NBN, A, NBN, NBN, NBN,
              A, NBN, NBN, NBN, NBN, NBN, A, NBN,
              NE, NB | E, NBN, A, NBN, SF | NE, X, A,
              NBN, NBN, NBN, NBN, X, NBN, X, X, NBN, X},
    /* wh */ {B | NE, X, X, X, B | NE, X, X, X,
              B | NE, X, X, X, X, X, B | NE, X,
              X, X, X, X, X, X, X, B | NE,
              X, X, X, X, X, X, X, X, X, X},
    /* qu */ {A, X, X, X, A, X, X, X,
              A, X, X, X, X, X, A, X,
              X, X, X, X, X, X, X, X,
              X, X, X, X, X, X, X, X, X, X},
    /* ck */ {NBN, NBN, NBN, NBN, NBN, NBN, NBN, NBN,
              NBN, NBN, NBN, NBN, NBN, NBN, NBN, NBN,
              NBN, NB, NBN, NBN, NBN, NBN, X, NB,
              NBN, NBN, NBN, NBN, X, NBN, NBN, X, NBN, X},
};

const uint8_t kUnitNumbers[210] = {
    0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
    1, 1, 1, 1, 1, 1, 1, 1,
    2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2,
    3, 3, 3, 3, 3, 3, 3, 3, 3, 3, 3, 3,
    4, 4, 4, 4, 4, 4, 4, 4, 4, 4, 4, 4,
    5, 5, 5, 5, 5, 5, 5, 5,
    6, 6, 6, 6, 6, 6, 6, 6,
    7, 7, 7, 7, 7, 7,
    8, 8, 8, 8, 8, 8, 8, 8, 8, 8,
    9, 9, 9, 9, 9, 9, 9, 9,
    10, 10, 10, 10, 10, 10, 10, 10,
    11, 11, 11, 11, 11, 11,
    12, 12, 12, 12, 12, 12,
    13, 13, 13, 13, 13, 13, 13, 13, 13, 13,
    14, 14, 14, 14, 14, 14, 14, 14, 14, 14,
    15, 15, 15, 15, 15, 15,
    16, 16, 16, 16, 16, 16, 16, 16, 16, 16,
    17, 17, 17, 17, 17, 17, 17, 17,
    18, 18, 18, 18, 18, 18, 18, 18, 18, 18,
    19, 19, 19, 19, 19, 19,
    20, 20, 20, 20, 20, 20, 20, 20,
    21, 21, 21, 21, 21, 21, 21, 21,
    22,
    23, 23, 23, 23, 23, 23, 23, 23,
    24,
    25,
    26,
    27,
    28,
    29, 29,
    30,
    31,
    32,
    33,
};

const uint8_t kVowelNumbers[12] = {0, 0, 4, 4, 4, 8, 8, 14, 14, 19, 19, 23};

namespace {

uint8_t flagsOf(unsigned unit)
{
    return kUnits[unit].flags;
}

int codeLength(unsigned unit)
{
    return int(std::strlen(kUnits[unit].code));
}

unsigned randomUnit(bool wantVowel, const RandomNumberSource& source)
{
    if (wantVowel)
        return kVowelNumbers[source() % std::size(kVowelNumbers)];
    return kUnitNumbers[source() % std::size(kUnitNumbers)];
}

// The retry limit of the reference generator, for a word or syllable of `length` characters.
unsigned maxRetries(int length)
{
    return 4u * unsigned(length) + unsigned(kUnitCount);
}

} // namespace

Syllable generateSyllable(int pwlen, const RandomNumberSource& source, CarryOver& carry)
{
    // Each unit takes at least one character, so a syllable has at most pwlen units.
    std::vector<uint8_t> units(std::size_t(std::max(pwlen, 0)) + 2, 0);
    std::string syllable;
    unsigned unit = 0;
    int currentUnit = 0;
    int vowelCount = 0;
    bool ruleBroken = false;
    bool wantVowel = false;
    bool wantAnotherUnit = true;
    unsigned tries = 0;
    unsigned lastUnit = 0;
    int lengthLeft = 0;
    int syllableLength = 0;
    const unsigned retryLimit = maxRetries(pwlen);
    auto allowed = [&](uint8_t flag) { return (kDigram[units[currentUnit - 1]][unit] & flag) != 0; };

    // The saved units fit the preceding syllable, so every new try starts with them.
    const int holdSavedUnit = carry.savedUnit;

    do {
        tries = 0;
        carry.savedUnit = holdSavedUnit;
        syllable.clear();
        vowelCount = 0;
        currentUnit = 0;
        lengthLeft = pwlen;
        wantAnotherUnit = true;

        do {
            wantVowel = false;
            do {
                if (carry.savedUnit != 0) {
                    // Of two saved units the first was already checked by the previous
                    // syllable: place it without the tests.
                    if (carry.savedUnit == 2) {
                        units[0] = carry.savedPair[1];
                        if (flagsOf(carry.savedPair[1]) & kVowel)
                            vowelCount++;
                        currentUnit++;
                        syllable = kUnits[carry.savedPair[1]].code;
                        lengthLeft -= int(syllable.size());
                    }
                    unit = carry.savedPair[0];
                    carry.savedUnit = 0;
                } else {
                    unit = randomUnit(wantVowel, source);
                }
                lengthLeft -= codeLength(unit);
                ruleBroken = lengthLeft < 0;

                if (currentUnit == 0) {
                    if (flagsOf(unit) & kNotBeginSyllable)
                        ruleBroken = true;
                    else if (lengthLeft == 0) {
                        // A one-unit syllable at the end of the word must be a vowel.
                        if (flagsOf(unit) & kVowel)
                            wantAnotherUnit = false;
                        else
                            ruleBroken = true;
                    }
                } else {
                    if (allowed(kIllegalPair) || (allowed(kBreak) && vowelCount == 0)
                        || (allowed(kEnd) && vowelCount == 0 && !(flagsOf(unit) & kVowel)))
                        ruleBroken = true;

                    if (currentUnit == 1) {
                        if (allowed(kNotBegin))
                            ruleBroken = true;
                    } else {
                        lastUnit = units[currentUnit - 1];
                        if ((currentUnit == 2 && allowed(kBegin) && (flagsOf(units[0]) & kAlternateVowel))
                            || (allowed(kNotEnd) && lengthLeft == 0)
                            || (allowed(kBreak) && (kDigram[units[currentUnit - 2]][lastUnit] & kNotEnd))
                            || (allowed(kPrefix) && !(flagsOf(units[currentUnit - 2]) & kVowel)))
                            ruleBroken = true;

                        if (!ruleBroken && (flagsOf(unit) & kVowel)
                            && (lengthLeft > 0 || !(flagsOf(lastUnit) & kNoFinalSplit))) {
                            if (vowelCount > 1 && (flagsOf(lastUnit) & kVowel)) {
                                ruleBroken = true; // three vowels in a row
                            } else if (vowelCount != 0 && !(flagsOf(lastUnit) & kVowel)) {
                                // Vowel, consonants, vowel: the new vowel starts the next
                                // syllable, if what is left here may end one.
                                if (kDigram[units[currentUnit - 2]][lastUnit] & kNotEnd) {
                                    ruleBroken = true;
                                } else {
                                    carry.savedUnit = 1;
                                    carry.savedPair[0] = uint8_t(unit);
                                    wantAnotherUnit = false;
                                }
                            }
                        }
                    }

                    if (!ruleBroken && wantAnotherUnit) {
                        if ((vowelCount != 0 && (flagsOf(unit) & kNoFinalSplit) && lengthLeft == 0
                             && !(flagsOf(lastUnit) & kVowel))
                            || allowed(kEnd) || lengthLeft == 0) {
                            wantAnotherUnit = false;
                        } else if (vowelCount != 0 && lengthLeft > 0) {
                            if (allowed(kBegin) && currentUnit > 1
                                && !(vowelCount == 1 && (flagsOf(lastUnit) & kVowel))) {
                                carry.savedUnit = 2;
                                carry.savedPair[0] = uint8_t(unit);
                                carry.savedPair[1] = uint8_t(lastUnit);
                                wantAnotherUnit = false;
                            } else if (allowed(kBreak)) {
                                carry.savedUnit = 1;
                                carry.savedPair[0] = uint8_t(unit);
                                wantAnotherUnit = false;
                            }
                        } else if (allowed(kSuffix)) {
                            wantVowel = true;
                        }
                    }
                }

                tries++;
                if (ruleBroken)
                    lengthLeft += codeLength(unit);
            } while (ruleBroken && tries <= retryLimit);

            if (tries <= retryLimit) {
                // An initial y counts as a consonant.
                if ((flagsOf(unit) & kVowel) && (currentUnit > 0 || !(flagsOf(unit) & kAlternateVowel)))
                    vowelCount++;

                switch (carry.savedUnit) {
                case 0:
                    units[currentUnit] = uint8_t(unit);
                    syllable += kUnits[unit].code;
                    break;
                case 1:
                    currentUnit--;
                    break;
                case 2:
                    syllable.resize(syllable.size() - std::size_t(codeLength(lastUnit)));
                    lengthLeft += codeLength(lastUnit);
                    currentUnit -= 2;
                    break;
                }
            } else {
                ruleBroken = true; // too many tries: start the syllable again
            }

            syllableLength = currentUnit;
            currentUnit++;
        } while (tries <= retryLimit && wantAnotherUnit);
    } while (ruleBroken
             || illegalPlacement(std::span<const uint8_t>(units.data(), std::size_t(syllableLength) + 1)));

    units.resize(std::size_t(syllableLength) + 1);
    return {std::move(syllable), std::move(units)};
}

Word generateWord(int pwlen, const RandomNumberSource& source, CarryOver& carry, const SyllableDresser& dress)
{
    Word word;
    int wordLength = 0;
    unsigned tries = 0;
    const unsigned retryLimit = maxRetries(pwlen);

    while (wordLength < pwlen) {
        Syllable syllable = generateSyllable(pwlen - wordLength, source, carry);
        const int syllableLength = int(syllable.text.size());
        const std::size_t unitsBefore = word.units.size();
        word.units.insert(word.units.end(), syllable.units.begin(), syllable.units.end());

        if (improperWord(word.units) || (wordLength == 0 && haveInitialY(syllable.units))
            || (wordLength + syllableLength == pwlen && haveFinalSplit(syllable.units))) {
            word.units.resize(unitsBefore);
        } else {
            std::string dressed = syllable.text;
            if (dress)
                dress(dressed, word.syllables.size());
            word.text += dressed;
            word.syllables.push_back(std::move(syllable));
            wordLength += syllableLength;
        }

        // Too many attempts: abandon the word and start again.
        if (++tries > retryLimit) {
            wordLength = 0;
            tries = 0;
            word = Word{};
        }
    }
    return word;
}

bool improperWord(std::span<const uint8_t> units)
{
    for (std::size_t i = 0; i < units.size(); ++i) {
        // Illegal pairs across syllables.
        if (i != 0 && (kDigram[units[i - 1]][units[i]] & kIllegalPair))
            return true;
        if (i >= 2) {
            const uint8_t first = flagsOf(units[i - 2]);
            const uint8_t second = flagsOf(units[i - 1]);
            const uint8_t third = flagsOf(units[i]);
            // Three vowels (the first not a y), or three consonants.
            if (((first & kVowel) && !(first & kAlternateVowel) && (second & kVowel) && (third & kVowel))
                || (!(first & kVowel) && !(second & kVowel) && !(third & kVowel)))
                return true;
        }
    }
    return false;
}

bool haveInitialY(std::span<const uint8_t> units)
{
    int vowelCount = 0;
    int normalVowelCount = 0;
    for (std::size_t i = 0; i < units.size(); ++i) {
        if (flagsOf(units[i]) & kVowel) {
            vowelCount++;
            if (!(flagsOf(units[i]) & kAlternateVowel) || i != 0)
                normalVowelCount++;
        }
    }
    return vowelCount <= 1 && normalVowelCount == 0;
}

bool haveFinalSplit(std::span<const uint8_t> units)
{
    if (units.empty())
        return false;
    int vowelCount = 0;
    for (uint8_t unit : units)
        if (flagsOf(unit) & kVowel)
            vowelCount++;
    // The only vowel is a final e.
    return vowelCount == 1 && (flagsOf(units.back()) & kNoFinalSplit);
}

bool illegalPlacement(std::span<const uint8_t> units)
{
    if (units.empty())
        return false;
    const std::size_t last = units.size() - 1;
    const bool initialY = flagsOf(units[0]) & kAlternateVowel;
    int vowelCount = 0;
    for (std::size_t i = 0; i <= last; ++i) {
        const uint8_t current = flagsOf(units[i]);
        if (i >= 1) {
            const uint8_t previous = flagsOf(units[i - 1]);
            // Vowels split by consonants, unless the second is a final silent e.
            const bool splitVowels = !(previous & kVowel) && (current & kVowel)
                && !((current & kNoFinalSplit) && i == last) && vowelCount != 0;
            bool triple = false;
            if (i >= 2) {
                const uint8_t first = flagsOf(units[i - 2]);
                triple = (!(first & kVowel) && !(previous & kVowel) && !(current & kVowel))
                    || ((first & kVowel) && !(initialY && i == 2) && (previous & kVowel) && (current & kVowel));
            }
            if (splitVowels || triple)
                return true;
        }
        // An initial y counts as a consonant.
        if ((current & kVowel) && !(initialY && i == 0 && last != 0))
            vowelCount++;
    }
    return false;
}

} // namespace fips181

namespace {

bool isInChosenSets(unsigned char c, uint16_t flags)
{
    if ((flags & kPwdGenLowerCase) && c >= 'a' && c <= 'z')
        return true;
    if ((flags & kPwdGenUpperCase) && c >= 'A' && c <= 'Z')
        return true;
    if ((flags & kPwdGenDigits) && c >= '0' && c <= '9')
        return true;
    if ((flags & kPwdGenSymbols) && std::memchr(sSymbols, c, sizeof sSymbols))
        return true;
    if ((flags & kPwdGenInternational) && std::memchr(sIntl, c, sizeof sIntl))
        return true;
    return false;
}

std::size_t randomCharacters(uint16_t length, uint16_t flags, char* out, const RandomNumberSource& source)
{
    for (std::size_t i = 0; i < length; ++i) {
        unsigned char c;
        do
            c = static_cast<unsigned char>(source() & 0xFF);
        while (c == 0 || !isInChosenSets(c, flags));
        out[i] = static_cast<char>(c);
    }
    return length;
}

void dressSyllable(std::string& syllable, uint16_t set, const RandomNumberSource& source)
{
    for (char& c : syllable) {
        switch (set) {
        case kPwdGenLowerCase:
            break;
        case kPwdGenUpperCase:
            if (c >= 'a' && c <= 'z')
                c = char(c - 'a' + 'A');
            break;
        case kPwdGenDigits:
            c = char('0' + source() % 10);
            break;
        case kPwdGenSymbols:
            c = sSymbols[source() & 31];
            break;
        case kPwdGenInternational:
            c = static_cast<char>(sIntl[source() % 26]);
            break;
        }
    }
}

std::size_t pronounceableCharacters(uint16_t length, uint16_t flags, char* out, const RandomNumberSource& source)
{
    std::vector<uint16_t> chosen;
    for (uint16_t set : {kPwdGenLowerCase, kPwdGenUpperCase, kPwdGenDigits, kPwdGenSymbols, kPwdGenInternational})
        if (flags & set)
            chosen.push_back(set);

    // The carry-over between syllables is always empty once a word is complete (a
    // syllable that leaves units over is shorter than the room it was given), so a
    // fresh one per call yields the same words as one kept across calls, and no
    // state is shared between threads.
    fips181::CarryOver carry;
    const fips181::Word word = fips181::generateWord(
        length, source, carry, [&](std::string& syllable, std::size_t index) {
            dressSyllable(syllable, chosen[index % chosen.size()], source);
        });
    std::memcpy(out, word.text.data(), word.text.size());
    return word.text.size();
}

} // namespace

std::size_t randomword(uint16_t length, uint16_t flags, char (&out)[kPasswordBufferSize],
                       const RandomNumberSource& source)
{
    std::size_t written = 0;
    if (flags & kPwdGenCharacterSets) {
        if (flags & kPwdGenPronounceable) {
            length = std::min(length, kMaxPronounceableLength);
            if (length > 0)
                written = pronounceableCharacters(length, flags, out, source);
        } else {
            written = randomCharacters(std::min(length, kMaxRandomPasswordLength), flags, out, source);
        }
    }
    out[written] = '\0';
    return written;
}

std::string generatePasswordBytes(uint16_t flags, uint16_t length, const RandomNumberSource& source)
{
    char buffer[kPasswordBufferSize] = {};
    const std::size_t written = randomword(length, flags, buffer, source);
    std::string password(buffer, written);
    std::fill(std::begin(buffer), std::end(buffer), '\0');
    return password;
}

QString generatePassword(uint16_t flags, uint16_t length, const RandomNumberSource& source)
{
    std::string bytes = generatePasswordBytes(flags, length, source);
    QString password = stringWithMacOSRoman(bytes);
    std::fill(bytes.begin(), bytes.end(), '\0');
    return password;
}
