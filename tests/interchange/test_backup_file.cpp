// The event-log backup file: its header and lines, byte for byte.
#include "FormatTestSupport.h"

#include "interchange/CEventLoggerBackupCreator.h"
#include "interchange/FileFormats.h"

#include <QDir>
#include <QFile>

#include <gtest/gtest.h>

#include <sys/stat.h>

using namespace formattest;

namespace {

const char kHeader[] = "Date,Event,Description,User,Computer,\r";

QVariantHash entry(const QString& date, const QString& event, const QString& description,
                   const QString& user, const QString& computer)
{
    return {{"Date", date},
            {"Event", event},
            {"Description", description},
            {"Action", "Success"},
            {"User", user},
            {"Computer", computer}};
}

int modeOf(const QString& path)
{
    struct stat info {};
    return ::stat(QFile::encodeName(path).constData(), &info) == 0 ? int(info.st_mode & 07777) : -1;
}

} // namespace

TEST(BackupFile, TheHeaderNamesTheFiveColumnsEachFollowedByAComma)
{
    const auto header = CEventLoggerBackupCreator::eventLogHeader();
    EXPECT_EQ(header.size(), 5);
    for (const QString& name : CEventLoggerBackupCreator::columns())
        EXPECT_EQ(header.value(name), name);
    EXPECT_FALSE(header.contains("Action"));
    EXPECT_EQ(CEventLoggerBackupCreator({}).fileContents(), kHeader);
}

TEST(BackupFile, EachEntryIsOneLineInColumnOrderWithoutItsAction)
{
    QVariantHash noComputer = entry("2024-02-29 23:59:59", "Lock", "", "bob", "");
    noComputer.remove("Computer");
    const CEventLoggerBackupCreator creator({
        entry("2024-03-01 10:15:00", "Add Record", "Bank, main", "alice", "Alice Ämberg"),
        entry("2024-03-01 10:16:00", "Edit Type", "say \"hi\"\nnext line", "alice", "Alice"),
        noComputer,
    });
    const std::string expected = std::string(kHeader)
                                 + "2024-03-01 10:15:00,Add Record,\"Bank, main\",alice,Alice Ämberg,\r"
                                   "2024-03-01 10:16:00,Edit Type,\"say \"\"hi\"\"next line\",alice,Alice,\r"
                                   "2024-02-29 23:59:59,Lock,,bob,,\r";
    EXPECT_EQ(creator.fileContents(), expected);

    CStringArray list;
    CEventLoggerBackupCreator::convertDictionaryToCStringArray(noComputer, list);
    ASSERT_EQ(list.GetSize(), 5);
    EXPECT_STREQ(list.GetAt(4), "");

    // The lines read back field by field as any CSV line.
    TempFolder folder;
    const std::string path = folder.path("log.csv");
    ASSERT_TRUE(creator.doBackupToPath(path));
    EXPECT_EQ(readFile(path), expected);
    EXPECT_EQ(modeOf(QString::fromStdString(path)), 0600);
}

TEST(BackupFile, LongQuotedFieldsAreWrittenWhole)
{
    const QString description = QString(5000, QLatin1Char('"'));
    const CEventLoggerBackupCreator creator({entry("d", "e", description, "u", "c")});
    const std::string text = creator.fileContents();
    // 5000 doubled quotes inside a pair of quotes.
    EXPECT_EQ(text, std::string(kHeader) + "d,e,\"" + std::string(10000, '"') + "\",u,c,\r");
}

TEST(BackupFile, ABackupNeverReplacesAnEarlierOne)
{
    TempFolder temp;
    const QString folder = QString::fromStdString(temp.path("Documents/Tolvanex"));
    const QDateTime now(QDate(2024, 3, 1), QTime(10, 15, 0));
    EXPECT_EQ(EventLogBackupFileName("Feb", now), "EventLog-Feb-20240301-101500.csv");
    EXPECT_EQ(EventLogBackupFileName("../x", now), "EventLog-x-20240301-101500.csv");

    const QList<QVariantHash> entries = {entry("2024-02-03 08:00:00", "Lock", "", "alice", "A")};
    const QString first = WriteEventLogBackup(folder, "Feb", entries, now); // the folder is made
    const QString second = WriteEventLogBackup(folder, "Feb", {}, now);
    EXPECT_EQ(first, QDir(folder).filePath("EventLog-Feb-20240301-101500.csv"));
    EXPECT_EQ(second, QDir(folder).filePath("EventLog-Feb-20240301-101500-2.csv"));
    EXPECT_EQ(readFile(first.toStdString()),
              std::string(kHeader) + "2024-02-03 08:00:00,Lock,,alice,A,\r");
    EXPECT_EQ(readFile(second.toStdString()), kHeader);

    writeFile(temp.path("blocker"), "x");
    EXPECT_TRUE(WriteEventLogBackup(QString::fromStdString(temp.path("blocker/sub")), "Feb", entries, now).isNull());
    EXPECT_TRUE(WriteEventLogBackup(QString(), "Feb", entries, now).isNull());
}
