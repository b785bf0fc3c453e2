// The event-log viewer: its date order, column sorting, listening to the log
// service, and clearing.
#include <gtest/gtest.h>

#include <QHeaderView>
#include <QItemSelectionModel>
#include <QPushButton>
#include <QTableView>
#include <QTest>

#include "store/TVXDataBase.h"
#include "store/eventlog/TVXEventLogger.h"
#include "support/UiTestSupport.h"
#include "windows/BMEventLoggerWindowController.h"
#include "windows/EventLogTableModel.h"

namespace {

TVXEventLogEntry entryAt(const QString& date, const QString& event, const QString& user = QStringLiteral("alice"))
{
    TVXEventLogEntry e;
    e.date = date;
    e.event = event;
    e.description = QStringLiteral("");
    e.action = QStringLiteral("");
    e.user = user;
    e.computer = QStringLiteral("Alice Example");
    return e;
}

QStringList column(const EventLogTableModel& model, int c)
{
    QStringList values;
    for (int r = 0; r < model.rowCount(); ++r)
        values << model.index(r, c).data().toString();
    return values;
}

TEST(EventLogDates, CompareAsMoments)
{
    EXPECT_LT(compareEventByDate("2011-09-08 09:40:00", "2011-09-08 13:05:00"), 0);
    EXPECT_GT(compareEventByDate("2011-10-01 00:00:01", "2011-09-30 23:59:59"), 0);
    EXPECT_LT(compareEventByDate("2010-12-31 23:59:59", "2011-01-01 00:00:00"), 0);
    EXPECT_EQ(compareEventByDate("2011-09-08 14:05:09", "2011-09-08 14:05:09"), 0);
    // Surrounding blanks do not hide a date; a text that is no date goes first.
    EXPECT_EQ(compareEventByDate(" 2011-09-08 14:05:09", "2011-09-08 14:05:09"), 0);
    EXPECT_LT(compareEventByDate("yesterday", "2011-09-08 14:05:09"), 0);
    EXPECT_GT(compareEventByDate("2011-09-08 14:05:09", ""), 0);
}

TEST(EventLogModel, SortsByDateAndByTextColumns)
{
    EventLogTableModel model;
    model.setEntries({entryAt("2011-10-01 08:00:00", "View Record"), entryAt("2011-09-30 23:59:59", "add Record"),
                      entryAt("2011-09-30 13:05:00", "Lock Application"),
                      entryAt("2011-09-30 09:40:00", "Add Group")});
    // Until sorted the rows keep the order they were recorded in.
    EXPECT_EQ(column(model, 0).first(), "2011-10-01 08:00:00");

    model.sort(0, Qt::AscendingOrder);
    EXPECT_EQ(column(model, 0), QStringList({"2011-09-30 09:40:00", "2011-09-30 13:05:00", "2011-09-30 23:59:59",
                                             "2011-10-01 08:00:00"}));
    model.sort(0, Qt::DescendingOrder);
    EXPECT_EQ(column(model, 0).first(), "2011-10-01 08:00:00");
    EXPECT_EQ(column(model, 0).last(), "2011-09-30 09:40:00");

    // Event names ignore case.
    model.sort(1, Qt::AscendingOrder);
    EXPECT_EQ(column(model, 1), QStringList({"Add Group", "add Record", "Lock Application", "View Record"}));
}

TEST(EventLogModel, EqualKeysKeepTheirOrderAndNewEntriesJoinTheSortOrder)
{
    EventLogTableModel model;
    model.setEntries({entryAt("2011-09-30 10:00:00", "B", "bob"), entryAt("2011-09-30 09:00:00", "A", "alice"),
                      entryAt("2011-09-30 11:00:00", "C", "bob")});
    model.sort(4, Qt::AscendingOrder); // user
    EXPECT_EQ(column(model, 1), QStringList({"A", "B", "C"}));
    model.sort(0, Qt::DescendingOrder);
    model.appendEntry(entryAt("2011-09-30 10:30:00", "D"));
    EXPECT_EQ(column(model, 1), QStringList({"C", "D", "B", "A"}));
}

TEST(EventLogModel, ColumnsAreEntryKeysAndUnknownKeysShowNothing)
{
    EventLogTableModel model;
    EXPECT_EQ(model.columnCount(), 6);
    EXPECT_EQ(model.headerData(3, Qt::Horizontal).toString(), "Action");
    model.setEntries({entryAt("2011-09-30 10:00:00", "Set Password")});
    model.setColumnKeys({"Event", "Outcome"});
    EXPECT_EQ(model.index(0, 0).data().toString(), "Set Password");
    EXPECT_EQ(model.index(0, 1).data().toString(), "");
    EXPECT_FALSE(model.flags(model.index(0, 0)) & Qt::ItemIsEditable);
}

class EventLogViewer : public ::testing::Test {
protected:
    TVXDataBase db; // no server: entries still reach the list
    TVXEventLogger& logger() { return db.eventLog().eventLogger(); }
};

TEST_F(EventLogViewer, StartsEmptyAndShowsEventsAsTheyAreRecorded)
{
    BMEventLoggerWindowController viewer(logger());
    tvxtest::ModalScript script;
    int rowsWhenShown = -1;
    script.then([&](QWidget* window) {
        EXPECT_EQ(window, &viewer);
        rowsWhenShown = viewer.model()->rowCount();
        (void)logger().addLogEvent("Lock Application", QString(), QString(), "alice");
        EXPECT_EQ(viewer.model()->rowCount(), 1);
        return platform::kModalRunStopped;
    });
    viewer.displayEventLogger();
    EXPECT_EQ(rowsWhenShown, 0);
    ASSERT_EQ(viewer.model()->rowCount(), 1);
    EXPECT_EQ(viewer.model()->index(0, 1).data().toString(), "Lock Application");
    EXPECT_EQ(viewer.model()->index(0, 4).data().toString(), "alice");
    EXPECT_EQ(viewer.model()->index(0, 5).data().toString(), TVXEventLogger::computerUserName());

    // Recorded while the viewer is closed: there when it opens again.
    (void)logger().addLogEvent("Set Password", QString(), QString(), "alice");
    tvxtest::ModalScript again;
    again.then([](QWidget*) { return platform::kModalRunStopped; });
    viewer.displayEventLogger();
    EXPECT_EQ(viewer.model()->rowCount(), 2);
}

TEST_F(EventLogViewer, ClearEmptiesTheListSoLaterEventsStandAlone)
{
    (void)logger().addLogEvent("Add Record", "Bank", "Success", "alice");
    (void)logger().addLogEvent("Edit Settings", QString(), QString(), "alice");
    BMEventLoggerWindowController viewer(logger());
    EXPECT_EQ(viewer.model()->rowCount(), 2);
    QTest::mouseClick(viewer.findChild<QPushButton*>("clearLog"), Qt::LeftButton);
    EXPECT_EQ(viewer.model()->rowCount(), 0);
    EXPECT_TRUE(logger().logArrary().isEmpty());
    (void)logger().addLogEvent("Lock Application", QString(), QString(), "alice");
    ASSERT_EQ(viewer.model()->rowCount(), 1);
    EXPECT_EQ(viewer.model()->index(0, 1).data().toString(), "Lock Application");
}

TEST_F(EventLogViewer, SortingFromTheHeaderDeselectsRows)
{
    for (const char* event : {"Delete Record", "Add Record", "View Record"})
        (void)logger().addLogEvent(event, QString(), QString(), "alice");
    BMEventLoggerWindowController viewer(logger());
    viewer.show();
    QTableView* table = viewer.mLogTable();
    table->selectRow(1);
    ASSERT_TRUE(table->selectionModel()->hasSelection());
    table->sortByColumn(1, Qt::AscendingOrder);
    EXPECT_FALSE(table->selectionModel()->hasSelection());
    EXPECT_EQ(column(*viewer.model(), 1), QStringList({"Add Record", "Delete Record", "View Record"}));
    viewer.hide();
}

TEST_F(EventLogViewer, OkEndsTheRunAndAGoneViewerHearsNothing)
{
    {
        BMEventLoggerWindowController viewer(logger());
        tvxtest::ModalScript script;
        script.then([&](QWidget*) {
            viewer.okAction();
            return platform::kModalRunStopped;
        });
        viewer.displayEventLogger();
    }
    // The service outlives the window: recording goes on without it.
    EXPECT_EQ(logger().addLogEvent("Lock Application", QString(), QString(), "alice"), kTVXStatementFailed);
    EXPECT_EQ(logger().logArrary().size(), 1);
}

} // namespace
