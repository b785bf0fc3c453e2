#include "interchange/FileDates.h"

#include "model/TVXRecord.h"

#include <array>
#include <cctype>

namespace {

constexpr std::array<std::string_view, 12> kMonthNames = {
    "January", "February", "March",     "April",   "May",      "June",
    "July",    "August",   "September", "October", "November", "December"};

bool equalNoCase(std::string_view a, std::string_view b)
{
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(a[i]))
            != std::tolower(static_cast<unsigned char>(b[i])))
            return false;
    return true;
}

bool isBlank(char c) { return c == ' ' || c == '\t'; }
bool isDigit(char c) { return c >= '0' && c <= '9'; }

void skipBlanks(std::string_view& text)
{
    while (!text.empty() && isBlank(text.front()))
        text.remove_prefix(1);
}

// Up to maxDigits decimal digits; -1 when there are none.
int readDigits(std::string_view& text, int maxDigits)
{
    int value = 0, n = 0;
    while (n < maxDigits && !text.empty() && isDigit(text.front())) {
        value = value * 10 + (text.front() - '0');
        text.remove_prefix(1);
        ++n;
    }
    return n == 0 ? -1 : value;
}

} // namespace

std::string FormatFileDate(const QDate& date)
{
    if (!date.isValid())
        return {};
    std::string out(kMonthNames[date.month() - 1]);
    out += ' ';
    if (date.day() < 10)
        out += '0';
    out += std::to_string(date.day());
    out += ',';
    const std::string year = std::to_string(date.year());
    if (date.year() >= 0 && year.size() < 4)
        out.append(4 - year.size(), '0');
    out += year;
    return out;
}

QDate ParseFileDate(std::string_view text)
{
    skipBlanks(text);
    std::size_t letters = 0;
    while (letters < text.size() && std::isalpha(static_cast<unsigned char>(text[letters])))
        ++letters;
    const std::string_view word = text.substr(0, letters);
    int month = 0;
    for (std::size_t m = 0; m < kMonthNames.size() && month == 0; ++m)
        if (equalNoCase(word, kMonthNames[m]) || equalNoCase(word, kMonthNames[m].substr(0, 3)))
            month = int(m) + 1;
    if (month == 0)
        return {};
    text.remove_prefix(letters);
    skipBlanks(text);
    const int day = readDigits(text, 2);
    skipBlanks(text);
    if (day < 0 || text.empty() || text.front() != ',')
        return {};
    text.remove_prefix(1);
    skipBlanks(text);
    const int year = readDigits(text, 4);
    if (year < 0)
        return {};
    return QDate(year, month, day); // invalid for a day the month lacks
}

namespace {

// "yyyy-MM-dd HH:mm:ss +hhmm" read without the general parser: the day when
// the text is of that form exactly and names an existing local time, else an
// invalid date (the general reading then decides).
QDate plainModificationDay(const QString& text)
{
    static constexpr char kForm[] = "dddd-dd-dd dd:dd:dd sdddd";
    if (text.size() != qsizetype(sizeof(kForm) - 1))
        return {};
    int numbers[7] = {};
    int which = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t c = text.at(i).unicode();
        switch (kForm[i]) {
        case 'd':
            if (c < u'0' || c > u'9')
                return {};
            numbers[which] = numbers[which] * 10 + (c - u'0');
            break;
        case 's':
            if (c != u'+' && c != u'-')
                return {};
            break;
        default:
            if (c != char16_t(kForm[i]))
                return {};
            ++which;
            break;
        }
    }
    const QDate day(numbers[0], numbers[1], numbers[2]);
    const QTime time(numbers[3], numbers[4], numbers[5]);
    // Real offsets only (at most 14 hours): any other is left to the general reading.
    const int offsetMinutes = numbers[6] / 100 * 60 + numbers[6] % 100;
    if (!day.isValid() || !time.isValid() || numbers[6] % 100 >= 60 || offsetMinutes > 14 * 60)
        return {};
    const QDateTime local(day, time);
    if (!local.isValid() || local.date() != day || local.time() != time)
        return {}; // a local time the clock skips
    return day;
}

} // namespace

std::string FileDateFromModificationText(const QString& value10, const QDate& today)
{
    if (const QDate day = plainModificationDay(value10); day.isValid())
        return FormatFileDate(day);
    const QDateTime stored = TVXRecord::dateFromModificationText(value10);
    return FormatFileDate(stored.isValid() ? stored.date() : today);
}

QString ModificationTextFromFileDate(std::string_view field, const QDateTime& now)
{
    const QDate day = ParseFileDate(field);
    if (!day.isValid())
        return TVXRecord::modificationDateText(now);
    return TVXRecord::modificationDateText(QDateTime(day, QTime(0, 0)));
}
