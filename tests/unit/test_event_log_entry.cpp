// Event-log entries and the logging service, without a server.
#include "model/TVXRecord.h"
#include "model/TVXType.h"
#include "model/TVXUser.h"
#include "store/TVXDataBase.h"
#include "store/eventlog/TVXEventLogger.h"

#include <gtest/gtest.h>


#include <pwd.h>
#include <unistd.h>

namespace {

QDateTime localMoment(int y, int mo, int d, int h, int mi, int s)
{
    return QDateTime(QDate(y, mo, d), QTime(h, mi, s), Qt::LocalTime);
}

} // namespace

TEST(EventLogEntry, DateIsLocalTimeOnA24HourClock)
{
    const auto entry = TVXEventLogger::makeEntry(localMoment(2011, 9, 8, 14, 5, 9), "View Record", "bank",
                                                 "", "alice", "Alice A");
    EXPECT_EQ(entry.date, "2011-09-08 14:05:09");
    EXPECT_EQ(eventLogDateText(localMoment(2012, 1, 2, 23, 59, 0)), "2012-01-02 23:59:00");
    EXPECT_EQ(eventLogDateText(localMoment(2012, 1, 2, 0, 0, 7)), "2012-01-02 00:00:07");

    // A moment given in UTC is written in the local zone.
    const QDateTime utc(QDate(2011, 9, 8), QTime(12, 0, 0), Qt::UTC);
    EXPECT_EQ(eventLogDateText(utc), QLocale::c().toString(utc.toLocalTime(), "yyyy-MM-dd HH:mm:ss"));

    // Read back as the same moment; texts sort as their dates.
    EXPECT_EQ(eventLogDate("2011-09-08 14:05:09"), localMoment(2011, 9, 8, 14, 5, 9));
    EXPECT_FALSE(eventLogDate("08/09/2011").isValid());
    EXPECT_LT(eventLogDateText(localMoment(2011, 9, 30, 23, 0, 0)),
              eventLogDateText(localMoment(2011, 10, 1, 1, 0, 0)));
}

TEST(EventLogEntry, EveryKeyIsPresentEvenWhenTheCallerGaveNone)
{
    const auto entry = TVXEventLogger::makeEntry(localMoment(2011, 9, 8, 14, 5, 9), "Lock Application",
                                                 QString(), QString(), "alice", "Alice A");
    const QVariantHash hash = entry.toHash();
    QStringList keys = hash.keys();
    keys.sort();
    QStringList expected{"Date", "Event", "Description", "Action", "User", "Computer"};
    expected.sort();
    EXPECT_EQ(keys, expected);
    EXPECT_EQ(hash.value("Description").toString(), "");
    EXPECT_EQ(hash.value("Action").toString(), "");
    EXPECT_FALSE(hash.value("Description").toString().isNull());
    EXPECT_TRUE(entry.contains(kAction));
    EXPECT_EQ(entry.value("Event"), "Lock Application");
    EXPECT_EQ(entry.value("User"), "alice");
    EXPECT_EQ(entry.value("Computer"), "Alice A");
    EXPECT_EQ(entry.value("Not a key"), "");

    // Entries read back from the store have no "Action" at all.
    const TVXEventLogEntry stored{entry.date, "Add Record", "bank", std::nullopt, "alice", "Alice A"};
    EXPECT_FALSE(stored.contains(kAction));
    EXPECT_FALSE(stored.toHash().contains(kAction));
    EXPECT_EQ(stored.value(kAction), "");
}

TEST(EventLogger, ComputerIsTheDesktopAccountsFullName)
{
    const passwd* pw = getpwuid(getuid());
    ASSERT_NE(pw, nullptr);
    const QString fullName = QString::fromLocal8Bit(pw->pw_gecos).section(',', 0, 0).trimmed();
    const QString expected = fullName.isEmpty() ? QString::fromLocal8Bit(pw->pw_name) : fullName;
    EXPECT_EQ(TVXEventLogger::computerUserName(), expected);
    EXPECT_FALSE(TVXEventLogger::computerUserName().contains(','));
}

TEST(EventLogger, AMaskedFirstValueIsNotLogged)
{
    auto type = TVXType::createType();
    auto record = TVXRecord::createRecord();
    record->setMRecordUID("00000000000000B1");
    record->setMValue1("s3cret-pin");
    record->setMType(type);

    type->setMTypeMask(0b10); // second field masked only
    EXPECT_EQ(TVXEventLogger::recordDescription(*record), "s3cret-pin");
    type->setMTypeMask(0b1);
    EXPECT_EQ(TVXEventLogger::recordDescription(*record), "00000000000000B1");

    // A record's own field set decides over its type's.
    auto custom = TVXType::createType();
    custom->setMTypeMask(0b1);
    type->setMTypeMask(0);
    record->setMRecordCustomType(custom);
    record->setMIsCustomized(true);
    EXPECT_EQ(TVXEventLogger::recordDescription(*record), "00000000000000B1");
    custom->setMTypeMask(0);
    EXPECT_EQ(TVXEventLogger::recordDescription(*record), "s3cret-pin");
}

TEST(EventLogger, AFailedStoreStillReachesTheListAndTheListeners)
{
    TVXDataBase db; // never connected: every store fails
    db.caches().mCurrentUser()->setMUsername("alice");
    TVXEventLogger& logger = db.eventLog().eventLogger();

    QList<TVXEventLogEntry> heard;
    const auto token = logger.addListener([&heard](const TVXEventLogEntry& e) { heard << e; });

    EXPECT_EQ(logger.addLogEvent("Lock Application"), kTVXStatementFailed);
    ASSERT_EQ(logger.logArrary().size(), 1);
    const TVXEventLogEntry entry = logger.logArrary().first();
    EXPECT_EQ(entry.event, "Lock Application");
    EXPECT_EQ(entry.user, "alice"); // none given: the signed-in user
    EXPECT_EQ(entry.computer, TVXEventLogger::computerUserName());
    EXPECT_EQ(entry.action, QString(""));
    EXPECT_TRUE(eventLogDate(entry.date).isValid());
    ASSERT_EQ(heard.size(), 1);
    EXPECT_EQ(heard.first(), entry);

    (void)logger.addLogEvent("Set Password", QString(), QString(), "bob");
    EXPECT_EQ(logger.logArrary().last().user, "bob");

    logger.removeListener(token);
    (void)logger.logOutcome("Add Record", "bank", kTVXReloadFirst);
    EXPECT_EQ(heard.size(), 2);
    EXPECT_EQ(logger.logArrary().last().action, QString("Failed"));
    (void)logger.logOutcome("Add Type", "Web log-in", kTVXDone, "Type Added Successfully");
    EXPECT_EQ(logger.logArrary().last().action, QString("Type Added Successfully"));

    logger.clearLog();
    EXPECT_TRUE(logger.logArrary().isEmpty());
}
