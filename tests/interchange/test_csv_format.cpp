#include "FormatTestSupport.h"

#include "interchange/FileDates.h"
#include "interchange/FileFormats.h"
#include "model/TVXRecord.h"

#include <QDir>
#include <QProcess>

#include <gtest/gtest.h>

#include <clocale>
#include <cstdlib>
#include <ctime>
#include <string>
#include <vector>

using namespace formattest;

TEST(CsvExport, EveryFieldRoundTripsThroughAFile)
{
    const auto& texts = awkwardTexts();
    const std::size_t n = texts.size();
    std::string file;
    WriteHeader(eFileCSVExport, file, nullptr);
    EXPECT_EQ(file, "Tolvanex Export File\r");
    std::vector<std::vector<std::string>> sentValues;
    std::vector<std::string> sentGroups;
    for (std::size_t r = 0; r < n; ++r) {
        std::vector<std::string> values;
        for (int k = 0; k < kCSVExportValueCount; ++k)
            values.push_back(texts[(r + k) % n]);
        sentGroups.push_back(texts[(r + 12) % n]);
        WriteNextRecord(file, arrayOf(values), sentGroups.back());
        sentValues.push_back(values);
    }

    TempFolder folder;
    const std::string path = folder.path("export.csv");
    writeFile(path, file);
    const std::string text = readFile(path);
    EXPECT_EQ(text.find('\n'), std::string::npos);
    EXPECT_EQ(GetFileType(text), eFileCSVExport);

    // The key is no part of a CSV file.
    const TVXFileKey key("ignored");
    for (const BlowfishContext* k : {static_cast<const BlowfishContext*>(nullptr), key.get()}) {
        const ReadResult back = readAll(eFileCSVExport, text, k);
        EXPECT_EQ(back.report.refusedLines, 0);
        ASSERT_EQ(back.lines.size(), n);
        for (std::size_t r = 0; r < n; ++r) {
            SCOPED_TRACE("record " + std::to_string(r));
            const TVXFileLine& line = back.lines[r];
            EXPECT_FALSE(line.isType);
            EXPECT_EQ(line.icon, 0);
            EXPECT_EQ(line.mask, 0);
            const auto values = listOf(line.values);
            ASSERT_EQ(values.size(), 12u);
            for (int k = 0; k < kCSVExportValueCount - 1; ++k)
                EXPECT_EQ(values[k], fieldBack(sentValues[r][k], false)) << k;
            EXPECT_EQ(values[11], notesBack(sentValues[r][11]));
            EXPECT_EQ(line.groupName.str(), fieldBack(sentGroups[r], false));
        }
    }
}

TEST(CsvExport, LayoutShortAndLongLines)
{
    std::string line;
    WriteNextRecord(line, arrayOf({"Web", "alice", "pw", "", "", "", "", "", "", "", "March 03,2010",
                                   "a\r\nb\nc"}),
                    "Personal");
    EXPECT_EQ(line, "Web,alice,pw,,,,,,,,\"March 03,2010\",\"a\rb\rc\",Personal\r");

    const std::string file =
        "Tolvanex Export File\r\n"
        "Tolvanex Export File,v1,,,,,,,,,d,notes,G\r\n" // a type merely named like the header
        "Web,1,2,3,4,5,6,7,8,9,d\r"                    // 11 fields: refused
        "Web,1,2,3,4,5,6,7,8,9,d,notes\r"              // no group: taken
        "Web,1,2,3,4,5,6,7,8,9,d,notes,G,x,y,z\r"      // a tail of 3: surplus, dropped
        "Two,a,,,,,,,,,d,n,G,Bank,b,,,,,,,,,e,m,H\r"   // two records in one line
        "Web,1,,,,,,,,,d,n,G,, ,\r"                    // empty fields behind: no record
        "\r\n\r\n"
        "Mail,m1,,,,,,,,,d,n,G2";                      // no final line end
    EXPECT_EQ(GetFileType(file), eFileCSVExport);
    const ReadResult back = readAll(eFileCSVExport, file, nullptr);
    EXPECT_EQ(back.report.refusedLines, 1);
    EXPECT_EQ(back.report.linesWithExtraFields, 1);
    ASSERT_EQ(back.lines.size(), 7u);
    EXPECT_EQ(listOf(back.lines[0].values)[0], "Tolvanex Export File");
    EXPECT_EQ(back.lines[0].groupName.str(), "G");
    EXPECT_EQ(listOf(back.lines[1].values)[11], "notes");
    EXPECT_TRUE(back.lines[1].groupName.empty());
    EXPECT_EQ(listOf(back.lines[2].values)[10], "d");
    EXPECT_EQ(back.lines[2].groupName.str(), "G");
    EXPECT_EQ(listOf(back.lines[3].values)[0], "Two");
    EXPECT_EQ(back.lines[3].groupName.str(), "G");
    EXPECT_EQ(listOf(back.lines[4].values),
              (std::vector<std::string>{"Bank", "b", "", "", "", "", "", "", "", "", "e", "m"}));
    EXPECT_EQ(back.lines[4].groupName.str(), "H");
    EXPECT_EQ(listOf(back.lines[5].values)[1], "1");
    EXPECT_EQ(listOf(back.lines[6].values)[0], "Mail");
    EXPECT_EQ(back.lines[6].groupName.str(), "G2");

    // Other text is read with the same rule.
    const std::string other = "Bank,1,2,3,4,5,6,7,8,9,d,n\rshort,line\r";
    EXPECT_EQ(GetFileType(other), eFileText);
    const ReadResult text = readAll(eFileText, other, nullptr);
    ASSERT_EQ(text.lines.size(), 1u);
    EXPECT_EQ(listOf(text.lines[0].values)[0], "Bank");
    EXPECT_EQ(text.report.refusedLines, 1);
}

TEST(CsvUserList, HeaderLinesAndShortLines)
{
    std::string file;
    WriteHeader(eFileUserCSV, file, nullptr);
    EXPECT_EQ(file, std::string(kTolvanUserCSVHeader) + "\r");
    WriteNextCSVUserRecord(file,
                           arrayOf({"jdoe", "pw, 1", "pw, 1", "J\xC3\xB6rg Doe", "  ops", "j@x.org", "555"}),
                           arrayOf({"1", "0", "1", "1"}));
    WriteNextCSVUserRecord(file, arrayOf({"amy"}), arrayOf({}));
    file += "short,line,only\r";
    EXPECT_EQ(file, std::string(kTolvanUserCSVHeader) + "\r"
                        "jdoe,\"pw, 1\",\"pw, 1\",J\xC3\xB6rg Doe,\"  ops\",j@x.org,555,1,0,1,1,\r"
                        "amy" + std::string(11, ',') + "\r"
                        "short,line,only\r");

    TempFolder folder;
    const std::string path = folder.path("users.csv");
    writeFile(path, file);
    const std::string text = readFile(path);
    EXPECT_EQ(GetFileType(text), eFileUserCSV);

    // Not an import kind.
    TVXFileLine line;
    EXPECT_EQ(GetNextRecord(eFileUserCSV, text.c_str(), nullptr, line), nullptr);

    TVXReadReport report;
    CStringArray account, permissions;
    const char* pos = GetCSVUserRecord(text.c_str(), account, permissions, &report);
    EXPECT_EQ(listOf(account), (std::vector<std::string>{"jdoe", "pw, 1", "pw, 1", "J\xC3\xB6rg Doe",
                                                         "  ops", "j@x.org", "555"}));
    EXPECT_EQ(listOf(permissions), (std::vector<std::string>{"1", "0", "1", "1"}));
    pos = GetCSVUserRecord(pos, account, permissions, &report);
    EXPECT_EQ(listOf(account), (std::vector<std::string>{"amy", "", "", "", "", "", ""}));
    EXPECT_EQ(listOf(permissions), (std::vector<std::string>{"", "", "", ""}));
    pos = GetCSVUserRecord(pos, account, permissions, &report);
    EXPECT_EQ(*pos, '\0');
    EXPECT_EQ(account.GetSize(), 0);
    EXPECT_EQ(report.refusedLines, 1);
    EXPECT_EQ(report.linesWithExtraFields, 0);
}

TEST(CsvDateField, WrittenAndReadInEnglish)
{
    EXPECT_EQ(FormatFileDate(QDate(2009, 5, 7)), "May 07,2009");
    EXPECT_EQ(FormatFileDate(QDate(2010, 12, 31)), "December 31,2010");
    EXPECT_EQ(FormatFileDate(QDate()), "");
    EXPECT_EQ(ParseFileDate("May 07,2009"), QDate(2009, 5, 7));
    EXPECT_EQ(ParseFileDate("september 3, 2011"), QDate(2011, 9, 3));
    EXPECT_EQ(ParseFileDate(" Feb 28,2012 trailing"), QDate(2012, 2, 28));
    EXPECT_FALSE(ParseFileDate("February 30,2012").isValid());
    EXPECT_FALSE(ParseFileDate("Mai 07,2009").isValid());
    EXPECT_FALSE(ParseFileDate("May 07 2009").isValid());
    EXPECT_FALSE(ParseFileDate("").isValid());

    const QDate today(2024, 2, 29);
    EXPECT_EQ(FileDateFromModificationText("2009-05-07 23:59:58 -0700", today), "May 07,2009");
    EXPECT_EQ(FileDateFromModificationText("not a date", today), "February 29,2024");
    EXPECT_EQ(FileDateFromModificationText("", today), "February 29,2024");
    // The quick reading of well-formed texts gives what the general one gives.
    for (const char* text : {"2009-05-07 23:59:58 -0700", "2024-02-29 00:00:00 +0000", "2023-02-29 10:00:00 +0100",
                             "2009-13-07 10:00:00 +0100", "2009-05-07 24:00:00 +0100", "2009-05-07 10:60:00 +0100",
                             "0000-01-01 10:00:00 +0100", "2009-05-07 10:00:00 +9999", "2009-05-07 10:00:00 +1400",
                             "2009-05-07 10:00:00 *0100", "2009-05-07 10:00:00 +0100\n", "2009-05-07T10:00:00 +0100",
                             "2009-05-07 10:00:00 +0160", "٢009-05-07 10:00:00 +0100"}) {
        const QDateTime general = TVXRecord::dateFromModificationText(QString::fromUtf8(text));
        EXPECT_EQ(FileDateFromModificationText(QString::fromUtf8(text), today),
                  FormatFileDate(general.isValid() ? general.date() : today))
            << text;
    }

    const QDateTime now(QDate(2024, 2, 29), QTime(10, 11, 12));
    EXPECT_TRUE(ModificationTextFromFileDate("March 03,2010", now).startsWith("2010-03-03 00:00:00 "));
    EXPECT_EQ(ModificationTextFromFileDate("", now), TVXRecord::modificationDateText(now));
    EXPECT_EQ(ModificationTextFromFileDate("yesterday", now), TVXRecord::modificationDateText(now));
}

namespace {

// Switches the process to a German locale, made in folder when the system
// has none; restores the C locale on destruction.
class GermanLocale {
public:
    explicit GermanLocale(const TempFolder& folder)
    {
        mActive = std::setlocale(LC_ALL, "de_DE.UTF-8") != nullptr;
        if (mActive)
            return;
        const QString localeDir = QString::fromStdString(folder.path("locales"));
        if (!QDir().mkpath(localeDir))
            return;
        const int rc = QProcess::execute(
            "localedef", {"-i", "de_DE", "-f", "UTF-8", localeDir + "/de_DE.UTF-8"});
        if (rc != 0)
            return;
        setenv("LOCPATH", localeDir.toLocal8Bit().constData(), 1);
        mUsedLocPath = true;
        mActive = std::setlocale(LC_ALL, "de_DE.UTF-8") != nullptr;
    }
    ~GermanLocale()
    {
        std::setlocale(LC_ALL, "C");
        if (mUsedLocPath)
            unsetenv("LOCPATH");
    }
    bool active() const { return mActive; }

private:
    bool mActive = false;
    bool mUsedLocPath = false;
};

} // namespace

TEST(CsvDateField, CLocaleWhateverTheProcessLocale)
{
    TempFolder folder;
    const GermanLocale german(folder);
    if (!german.active())
        GTEST_SKIP() << "no German locale on this system";

    // The locale is really German: strftime would write "Mai".
    std::tm may = {};
    may.tm_year = 109;
    may.tm_mon = 4;
    may.tm_mday = 7;
    char buffer[64];
    std::strftime(buffer, sizeof buffer, "%B %d,%Y", &may);
    ASSERT_STREQ(buffer, "Mai 07,2009");

    EXPECT_EQ(FormatFileDate(QDate(2009, 5, 7)), "May 07,2009");
    EXPECT_EQ(ParseFileDate("May 07,2009"), QDate(2009, 5, 7));
    EXPECT_EQ(ParseFileDate("March 03,2010"), QDate(2010, 3, 3));
    EXPECT_FALSE(ParseFileDate("M\xC3\xA4rz 03,2010").isValid());

    // Through a written file and back.
    TVXFileLine record;
    record.values = arrayOf({"a", "", "", "", "", "", "", "", "", FormatFileDate(QDate(2009, 10, 1)), "n"});
    std::string file;
    WriteHeader(eFileQVXv3, file, nullptr);
    ASSERT_TRUE(WriteNextQVXRecord(file, eFileQVXv3, nullptr, record));
    std::string csv;
    WriteNextRecord(csv, arrayOf({"T", "a", "", "", "", "", "", "", "", "",
                                  FileDateFromModificationText("2009-10-01 12:00:00 +0200"), "n"}),
                    "G");
    EXPECT_NE(file.find("\"October 01,2009\""), std::string::npos);
    EXPECT_NE(csv.find("\"October 01,2009\""), std::string::npos);
    const ReadResult back = readAll(eFileQVXv3, file, nullptr);
    ASSERT_EQ(back.lines.size(), 1u);
    EXPECT_EQ(ParseFileDate(listOf(back.lines[0].values)[9]), QDate(2009, 10, 1));
}
