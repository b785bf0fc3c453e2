#include "model/PasswordGenerator.h"

#include <gtest/gtest.h>

#include <QSet>

#include <cctype>
#include <cstring>
#include <deque>
#include <random>
#include <set>

using namespace fips181;

namespace {

// A reproducible number source for driving the generator.
RandomNumberSource seeded(uint32_t seed)
{
    auto engine = std::make_shared<std::mt19937>(seed);
    return [engine] { return static_cast<uint32_t>((*engine)()); };
}

// Hands out the given numbers in order.
RandomNumberSource scripted(std::deque<uint32_t> numbers)
{
    auto queue = std::make_shared<std::deque<uint32_t>>(std::move(numbers));
    return [queue] {
        EXPECT_FALSE(queue->empty()) << "the generator drew more numbers than scripted";
        if (queue->empty())
            return 0u;
        const uint32_t n = queue->front();
        queue->pop_front();
        return n;
    };
}

const std::string kSymbols = "`~!@#$%^&*()-_=+[{]}\\|'\";:,<.>/?";

bool inSets(unsigned char c, uint16_t flags)
{
    return ((flags & 1) && std::islower(c)) || ((flags & 2) && std::isupper(c))
        || ((flags & 4) && std::isdigit(c)) || ((flags & 8) && kSymbols.find(char(c)) != std::string::npos)
        || ((flags & 16) && std::memchr(sIntl, c, sizeof sIntl));
}

std::string word(uint16_t length, uint16_t flags, const RandomNumberSource& source)
{
    char buffer[kPasswordBufferSize];
    std::memset(buffer, 'Z', sizeof buffer);
    const std::size_t n = randomword(length, flags, buffer, source);
    EXPECT_EQ(buffer[n], '\0');
    EXPECT_EQ(std::strlen(buffer), n);
    return std::string(buffer, n);
}

} // namespace

TEST(PasswordGenerator, NoCharacterSetGivesTheEmptyText)
{
    for (uint16_t flags : {0, 32, 64, 96})
        EXPECT_EQ(word(10, flags, SecureRandomNumber), "") << flags;
    EXPECT_EQ(word(0, 15, SecureRandomNumber), "");
    EXPECT_EQ(word(0, 33, SecureRandomNumber), "");
    EXPECT_EQ(generatePassword(0, 16), QString());
}

TEST(PasswordGenerator, SymbolAndInternationalSetsAreTheListedCharacters)
{
    EXPECT_EQ(std::string(sSymbols, sizeof sSymbols), kSymbols);
    // Option + a..z on a US keyboard, read as Mac OS Roman.
    const QString expected = QString::fromUtf8("å∫ç∂´ƒ©˙ˆ∆˚¬µ˜øπœ®ß†¨√∑≈¥Ω");
    ASSERT_EQ(expected.size(), 26);
    for (int i = 0; i < 26; ++i) {
        const char byte = char(sIntl[i]);
        EXPECT_EQ(generatePassword(16, 1, [byte] { return uint32_t(uint8_t(byte)); }), QString(expected[i]))
            << "index " << i;
    }
}

TEST(PasswordGenerator, RandomModeRejectsZeroAndUnchosenBytes)
{
    // Only the low byte counts; zero and bytes outside the sets are drawn again.
    EXPECT_EQ(word(1, 1, scripted({0x00, 0x41, 0x35, 0x8C, 0x1261})), "a");
    EXPECT_EQ(word(2, 2 | 4, scripted({0x7A, 0xFF00, 0x5A, 0x39})), "Z9");
    EXPECT_EQ(word(1, 16, scripted({0x41, 0x8C})), "\x8C");
}

TEST(PasswordGenerator, DigitsOnly)
{
    const std::string password = word(10, 4, SecureRandomNumber);
    ASSERT_EQ(password.size(), 10u);
    for (char c : password)
        EXPECT_TRUE(std::isdigit(static_cast<unsigned char>(c))) << password;
}

TEST(PasswordGenerator, RandomModeIsCappedAtSixtyThree)
{
    EXPECT_EQ(word(200, 1, SecureRandomNumber).size(), 63u);
    EXPECT_EQ(word(64, 15, SecureRandomNumber).size(), 63u);
    EXPECT_EQ(word(63, 15, SecureRandomNumber).size(), 63u);
    EXPECT_EQ(generatePasswordBytes(7, 1000).size(), 63u);
}

TEST(PasswordGenerator, EveryCharacterIsFromTheChosenSets)
{
    for (uint16_t flags = 1; flags <= 31; ++flags) {
        std::set<unsigned char> seen;
        for (int i = 0; i < 40; ++i) {
            for (unsigned char c : word(63, flags, SecureRandomNumber)) {
                ASSERT_TRUE(inSets(c, flags)) << "flags " << flags << " byte " << int(c);
                seen.insert(c);
            }
        }
        // Every member of every chosen set turns up over 2520 characters.
        std::size_t members = 0;
        members += (flags & 1) ? 26 : 0;
        members += (flags & 2) ? 26 : 0;
        members += (flags & 4) ? 10 : 0;
        members += (flags & 8) ? 32 : 0;
        members += (flags & 16) ? 26 : 0;
        EXPECT_EQ(seen.size(), members) << "flags " << flags;
    }
}

TEST(PasswordGenerator, PronounceableCharactersAreFromTheChosenSets)
{
    for (uint16_t sets = 1; sets <= 31; ++sets) {
        for (int i = 0; i < 10; ++i) {
            const std::string password = word(20, 32 | sets, SecureRandomNumber);
            ASSERT_EQ(password.size(), 20u);
            for (unsigned char c : password)
                ASSERT_TRUE(inSets(c, sets)) << "flags " << (32 | sets) << " " << password;
        }
    }
}

TEST(PasswordGenerator, TwoPasswordsDiffer)
{
    const QString first = generatePassword(15, 16);
    const QString second = generatePassword(15, 16);
    EXPECT_EQ(first.size(), 16);
    EXPECT_NE(first, second);
    EXPECT_NE(generatePassword(33, 12), generatePassword(33, 12));
}

TEST(PasswordGenerator, PronounceableIsCappedAtThirtyLowerCaseLetters)
{
    for (int i = 0; i < 20; ++i) {
        const std::string password = word(40, 33, SecureRandomNumber);
        ASSERT_EQ(password.size(), 30u);
        for (char c : password)
            EXPECT_TRUE(std::islower(static_cast<unsigned char>(c))) << password;
    }
}

TEST(PasswordGenerator, UpperCasePronounceableHasOnlyUpperCaseSyllables)
{
    for (int i = 0; i < 20; ++i) {
        const std::string password = word(14, 34, SecureRandomNumber);
        ASSERT_EQ(password.size(), 14u);
        for (char c : password)
            EXPECT_TRUE(std::isupper(static_cast<unsigned char>(c))) << password;
    }
}

TEST(PasswordGenerator, LowerAndUpperSyllablesAlternateStartingLower)
{
    int multiSyllable = 0;
    for (uint32_t seed = 1; seed <= 200; ++seed) {
        // The same numbers give the same syllables; case dressing draws none.
        CarryOver carry;
        const Word plain = generateWord(16, seeded(seed), carry);
        std::string expected;
        for (std::size_t i = 0; i < plain.syllables.size(); ++i) {
            std::string syllable = plain.syllables[i].text;
            if (i % 2 == 1)
                for (char& c : syllable)
                    c = char(std::toupper(static_cast<unsigned char>(c)));
            expected += syllable;
        }
        ASSERT_EQ(word(16, 35, seeded(seed)), expected) << "seed " << seed;
        ASSERT_TRUE(std::islower(static_cast<unsigned char>(expected[0])));
        if (plain.syllables.size() >= 3)
            ++multiSyllable;
    }
    EXPECT_GT(multiSyllable, 100);
}

TEST(PasswordGenerator, LetterAndDigitSyllablesAlternate)
{
    // Lower case and digits: runs of letters and runs of digits take turns, letters first.
    int digitRuns = 0;
    for (int i = 0; i < 50; ++i) {
        const std::string password = word(20, 37, SecureRandomNumber);
        ASSERT_EQ(password.size(), 20u);
        ASSERT_TRUE(std::islower(static_cast<unsigned char>(password[0]))) << password;
        for (std::size_t k = 1; k < password.size(); ++k)
            if (std::isdigit(static_cast<unsigned char>(password[k]))
                && !std::isdigit(static_cast<unsigned char>(password[k - 1])))
                ++digitRuns;
    }
    EXPECT_GT(digitRuns, 50);
}

TEST(PasswordGenerator, DeterministicSourceGivesReproduciblePasswords)
{
    EXPECT_EQ(word(30, 63, seeded(7)), word(30, 63, seeded(7)));
    EXPECT_EQ(word(63, 31, seeded(7)), word(63, 31, seeded(7)));
    EXPECT_NE(word(30, 33, seeded(7)), word(30, 33, seeded(8)));
}

TEST(PasswordGenerator, InternationalPasswordsReadAsMacOSRoman)
{
    const QString allowed = QString::fromUtf8("å∫ç∂´ƒ©˙ˆ∆˚¬µ˜øπœ®ß†¨√∑≈¥Ω");
    QSet<QChar> seen;
    for (int i = 0; i < 20; ++i) {
        const QString password = generatePassword(16, 40);
        ASSERT_EQ(password.size(), 40);
        for (QChar c : password) {
            ASSERT_TRUE(allowed.contains(c)) << password.toStdString();
            seen.insert(c);
        }
    }
    EXPECT_EQ(seen.size(), 26);
    // Pronounceable syllables dressed in the international set are read the same way.
    for (QChar c : generatePassword(48, 12))
        EXPECT_TRUE(allowed.contains(c));
}

// ---- The FIPS PUB 181 tables and word generator ----

TEST(PasswordGeneratorFips181, UnitsAndChoiceTables)
{
    const char* codes[kUnitCount] = {"a", "b", "c", "d", "e", "f", "g", "h", "i", "j", "k", "l",
                                     "m", "n", "o", "p", "r", "s", "t", "u", "v", "w", "x", "y",
                                     "z", "ch", "gh", "ph", "rh", "sh", "th", "wh", "qu", "ck"};
    for (std::size_t i = 0; i < kUnitCount; ++i) {
        EXPECT_STREQ(kUnits[i].code, codes[i]);
        uint8_t expected = 0;
        switch (i) {
        case 0: case 8: case 14: case 19: expected = kVowel; break;
        case 4: expected = kVowel | kNoFinalSplit; break;
        case 23: expected = kVowel | kAlternateVowel; break;
        case 22: case 33: expected = kNotBeginSyllable; break;
        }
        EXPECT_EQ(kUnits[i].flags, expected) << codes[i];
    }

    int counts[kUnitCount] = {};
    for (uint8_t n : kUnitNumbers) {
        ASSERT_LT(n, kUnitCount);
        ++counts[n];
    }
    const int expectedCounts[kUnitCount] = {10, 8, 12, 12, 12, 8, 8, 6, 10, 8, 8, 6, 6, 10, 10, 6, 10,
                                            8, 10, 6, 8, 8, 1, 8, 1, 1, 1, 1, 1, 2, 1, 1, 1, 1};
    for (std::size_t i = 0; i < kUnitCount; ++i)
        EXPECT_EQ(counts[i], expectedCounts[i]) << codes[i];
    // The table is sorted by unit number.
    EXPECT_TRUE(std::is_sorted(std::begin(kUnitNumbers), std::end(kUnitNumbers)));

    const uint8_t vowels[12] = {0, 0, 4, 4, 4, 8, 8, 14, 14, 19, 19, 23};
    EXPECT_EQ(0, std::memcmp(kVowelNumbers, vowels, sizeof vowels));
}

TEST(PasswordGeneratorFips181, DigramEntries)
{
    auto index = [](const char* code) {
        for (std::size_t i = 0; i < kUnitCount; ++i)
            if (std::strcmp(kUnits[i].code, code) == 0)
                return i;
        ADD_FAILURE() << code;
        return std::size_t(0);
    };
    auto rule = [&](const char* first, const char* second) { return kDigram[index(first)][index(second)]; };
    const uint8_t NBN = kNotBegin | kBreak | kNotEnd;

    EXPECT_EQ(rule("a", "a"), kIllegalPair);
    EXPECT_EQ(rule("a", "h"), NBN);
    EXPECT_EQ(rule("a", "qu"), kBreak | kNotEnd);
    EXPECT_EQ(rule("b", "l"), kBegin | kSuffix | kNotEnd);
    EXPECT_EQ(rule("b", "r"), kBegin | kEnd);
    EXPECT_EQ(rule("c", "qu"), kNotBegin | kSuffix | kNotEnd);
    EXPECT_EQ(rule("c", "t"), kNotBegin | kPrefix);
    EXPECT_EQ(rule("d", "sh"), kNotBegin | kNotEnd);
    EXPECT_EQ(rule("e", "i"), kNotEnd);
    EXPECT_EQ(rule("e", "o"), kBreak);
    EXPECT_EQ(rule("g", "k"), kIllegalPair);
    EXPECT_EQ(rule("n", "ck"), kNotBegin | kPrefix);
    EXPECT_EQ(rule("p", "u"), kNotBegin | kEnd);
    EXPECT_EQ(rule("r", "qu"), kNotBegin | kPrefix | kNotEnd);
    EXPECT_EQ(rule("s", "c"), kNotEnd);
    EXPECT_EQ(rule("s", "n"), kPrefix | kSuffix | kNotEnd);
    EXPECT_EQ(rule("s", "ck"), kNotBegin);
    EXPECT_EQ(rule("t", "ph"), kNotBegin | kEnd);
    EXPECT_EQ(rule("u", "o"), kNotBegin | kBreak);
    EXPECT_EQ(rule("w", "d"), kNotBegin | kPrefix | kEnd);
    EXPECT_EQ(rule("w", "l"), kNotBegin | kPrefix | kSuffix);
    EXPECT_EQ(rule("x", "a"), kNotBegin);
    EXPECT_EQ(rule("y", "i"), kBegin | kNotEnd);
    EXPECT_EQ(rule("z", "w"), kSuffix | kNotEnd);
    EXPECT_EQ(rule("ch", "w"), kNotBegin | kNotEnd);
    EXPECT_EQ(rule("gh", "b"), kNotBegin | kBreak | kPrefix | kNotEnd);
    EXPECT_EQ(rule("gh", "p"), NBN);
    EXPECT_EQ(rule("gh", "t"), kNotBegin | kPrefix);
    EXPECT_EQ(rule("ph", "ph"), kIllegalPair);
    EXPECT_EQ(rule("rh", "y"), kBegin | kNotEnd);
    EXPECT_EQ(rule("sh", "t"), kSuffix);
    EXPECT_EQ(rule("sh", "k"), kNotBegin);
    EXPECT_EQ(rule("th", "th"), kIllegalPair);
    EXPECT_EQ(rule("wh", "u"), kIllegalPair);
    EXPECT_EQ(rule("wh", "y"), kBegin | kNotEnd);
    EXPECT_EQ(rule("qu", "i"), kAnyCombination);
    EXPECT_EQ(rule("qu", "y"), kIllegalPair);
    EXPECT_EQ(rule("ck", "s"), kNotBegin);
    EXPECT_EQ(rule("ck", "ck"), kIllegalPair);

    // An illegal pair is never combined with another rule.
    for (std::size_t i = 0; i < kUnitCount; ++i)
        for (std::size_t j = 0; j < kUnitCount; ++j) {
            if (kDigram[i][j] & kIllegalPair) {
                EXPECT_EQ(kDigram[i][j], kIllegalPair) << kUnits[i].code << kUnits[j].code;
            }
        }
}

TEST(PasswordGeneratorFips181, WordTests)
{
    // units: a0 b1 c2 d3 e4 f5 g6 h7 i8 j9 k10 l11 m12 n13 o14 p15 r16 s17 t18 u19 v20 w21 x22 y23 z24
    const std::vector<uint8_t> ycl = {23, 2, 11};
    const std::vector<uint8_t> yes = {23, 4, 17};
    EXPECT_TRUE(haveInitialY(ycl));
    EXPECT_FALSE(haveInitialY(yes));

    const std::vector<uint8_t> ble = {1, 11, 4};
    const std::vector<uint8_t> face = {5, 0, 2, 4};
    EXPECT_TRUE(haveFinalSplit(ble));
    EXPECT_FALSE(haveFinalSplit(face));

    const std::vector<uint8_t> strong = {17, 18, 16, 14};  // s t r: three consonants
    const std::vector<uint8_t> aei = {0, 4, 8};           // three vowels
    const std::vector<uint8_t> yai = {23, 0, 8};          // the first is y: allowed
    const std::vector<uint8_t> aa = {3, 0, 0};            // a a is illegal
    const std::vector<uint8_t> tamer = {18, 0, 12, 4, 16};
    EXPECT_TRUE(improperWord(strong));
    EXPECT_TRUE(improperWord(aei));
    EXPECT_FALSE(improperWord(yai));
    EXPECT_TRUE(improperWord(aa));
    EXPECT_FALSE(improperWord(tamer));

    // Within a syllable vowels may not be split by consonants, except by a final e.
    const std::vector<uint8_t> tam_a = {18, 0, 12, 0};
    const std::vector<uint8_t> tame = {18, 0, 12, 4};
    EXPECT_TRUE(illegalPlacement(tam_a));
    EXPECT_FALSE(illegalPlacement(tame));
}

TEST(PasswordGeneratorFips181, WordsObeyTheRules)
{
    for (uint32_t seed = 1; seed <= 300; ++seed) {
        const int length = int(seed % 30) + 1;
        CarryOver carry;
        const Word w = generateWord(length, seeded(seed), carry);
        ASSERT_EQ(int(w.text.size()), length) << "seed " << seed;

        std::string fromUnits;
        for (uint8_t u : w.units)
            fromUnits += kUnits[u].code;
        ASSERT_EQ(fromUnits, w.text);

        std::string fromSyllables;
        std::size_t unitCount = 0;
        for (const Syllable& s : w.syllables) {
            fromSyllables += s.text;
            unitCount += s.units.size();
            ASSERT_FALSE(illegalPlacement(s.units)) << s.text;
        }
        ASSERT_EQ(fromSyllables, w.text);
        ASSERT_EQ(unitCount, w.units.size());

        for (std::size_t i = 1; i < w.units.size(); ++i)
            ASSERT_FALSE(kDigram[w.units[i - 1]][w.units[i]] & kIllegalPair)
                << w.text << ": " << kUnits[w.units[i - 1]].code << kUnits[w.units[i]].code;
        for (std::size_t i = 2; i < w.units.size(); ++i) {
            const bool v0 = kUnits[w.units[i - 2]].flags & kVowel;
            const bool y0 = kUnits[w.units[i - 2]].flags & kAlternateVowel;
            const bool v1 = kUnits[w.units[i - 1]].flags & kVowel;
            const bool v2 = kUnits[w.units[i]].flags & kVowel;
            ASSERT_FALSE(!v0 && !v1 && !v2) << "three consonants in " << w.text;
            ASSERT_FALSE(v0 && !y0 && v1 && v2) << "three vowels in " << w.text;
        }
        ASSERT_FALSE(haveInitialY(w.syllables.front().units)) << w.text;
        ASSERT_FALSE(kUnits[w.syllables.front().units.front()].flags & kNotBeginSyllable) << w.text;
    }
}

TEST(PasswordGeneratorFips181, CarryOverIsEmptyOnceAWordIsComplete)
{
    // Why each password may start from a fresh carry-over: a finished word never leaves one.
    CarryOver carry;
    const RandomNumberSource source = seeded(42);
    for (int i = 0; i < 2000; ++i) {
        generateWord(i % 30 + 1, source, carry);
        ASSERT_EQ(carry.savedUnit, 0) << "word " << i;
    }
}

TEST(PasswordGeneratorFips181, SyllablesFitTheRoomGiven)
{
    const RandomNumberSource source = seeded(3);
    for (int room = 1; room <= 30; ++room) {
        for (int i = 0; i < 50; ++i) {
            CarryOver carry;
            const Syllable s = generateSyllable(room, source, carry);
            ASSERT_FALSE(s.text.empty());
            ASSERT_LE(int(s.text.size()), room);
            // A syllable that leaves units for the next one is shorter than its room.
            if (carry.savedUnit != 0) {
                ASSERT_LT(int(s.text.size()), room);
            }
        }
    }
}
