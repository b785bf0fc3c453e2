// The options window against a real store: what OK writes to the user's
// preference row, the column settings and the event log.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QPushButton>
#include <QCoreApplication>
#include <QScopeGuard>
#include <QSettings>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QTest>

#include <cppconn/connection.h>
#include <cppconn/resultset.h>
#include <cppconn/statement.h>

#include "model/TVXUID.h"
#include "model/TVXUser.h"
#include "platform/core/NotificationCenter.h"
#include "store/TVXDataBase.h"
#include "support/TestStore.h"
#include "support/UiTestSupport.h"
#include "windows/BMOptionsWindowController.h"

#include "DelayingRelay.h"

using namespace teststore;

namespace {

class OptionsOnTheStore : public StoreTest {
protected:
    void SetUp() override
    {
        StoreTest::SetUp();
        ASSERT_TRUE(mDefaults.isValid());
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, mDefaults.path());
        ASSERT_EQ(logInAndLoad(db), kTVXDone);
        givePreferenceRow(aliceID, kUserName);
        window = std::make_unique<BMOptionsWindowController>(db.caches(), db.preferences(), db.eventLog());
        window->setLoginItems(platform::LoginItems(mDefaults.filePath("autostart"), "/opt/tolvanex"));
        token = platform::NotificationCenter::defaultCenter().addObserver(
            kTolvanPreferenceChangedNotification, [this](const platform::Notification&) { ++notices; });
    }
    void TearDown() override
    {
        platform::NotificationCenter::defaultCenter().removeObserver(token);
        window.reset();
        StoreTest::TearDown();
    }

    template <class T> T* control(const QString& name) { return window->findChild<T*>(name); }
    // OK as the user presses it; the run's end once the server answered.
    static int pressOk(BMOptionsWindowController& options)
    {
        options.ok();
        EXPECT_TRUE(QTest::qWaitFor([&options] { return !options.isSaving(); }, 30000));
        return options.requestedEnd().value_or(platform::kModalRunAborted);
    }
    int pressOk() { return pressOk(*window); }
    // A run of `options` that shows or hides the notes column of every type,
    // turns automatic submission over and presses OK.
    static int changeAndPressOk(BMOptionsWindowController& options)
    {
        tvxtest::AlertRecorder alerts;
        alerts.answerNext(platform::kAlertOtherReturn); // "Yes": every type takes them
        tvxtest::ModalScript script;
        script.then([&](QWidget*) {
            auto* notes = options.findChild<QCheckBox*>("mShowColumnMatrix_2_2");
            notes->setChecked(!notes->isChecked());
            auto* submit = options.findChild<QCheckBox*>("mAutoSubmit");
            submit->setChecked(!submit->isChecked());
            EXPECT_EQ(pressOk(options), platform::kModalRunStopped);
            return options.requestedEnd().value_or(platform::kModalRunAborted);
        });
        return options.orderFrontOptionsPanel();
    }
    QString notesShownOnServer()
    {
        db.writeBehind().flush();
        return rootQueryValue("SELECT GROUP_CONCAT(DISTINCT COLUMN13 >= 65536) FROM tolvanexdb.COLUMNINFOTABLE");
    }
    QString prefs(const QString& columns)
    {
        return rootQueryValue(
            QStringLiteral("SELECT CONCAT_WS('|', %1) FROM tolvanexdb.APPPREFTABLE WHERE USERID='%2'").arg(columns, aliceID));
    }
    int editSettingsRows()
    {
        db.writeBehind().flush(); // the row goes out behind the window
        return rootQueryValue("SELECT COUNT(*) FROM tolvanexdb.EVENTLOGGERTABLE WHERE EVENT='Edit Settings'").toInt();
    }
    int columnRows()
    {
        db.writeBehind().flush(); // the column settings go out behind the window
        return rootQueryValue("SELECT COUNT(*) FROM tolvanexdb.COLUMNINFOTABLE").toInt();
    }

    QTemporaryDir mDefaults;
    TVXDataBase db;
    std::unique_ptr<BMOptionsWindowController> window;
    platform::NotificationCenter::Token token = 0;
    int notices = 0;
};

TEST_F(OptionsOnTheStore, OkWritesTheOptionsAndLogsTheEdit)
{
    tvxtest::ModalScript script;
    script.then([&](QWidget*) {
        control<QCheckBox>("mAutoLock")->setChecked(true);
        control<QSpinBox>("mAutoLockField")->setValue(25);
        control<QCheckBox>("mAutoSubmit")->setChecked(true);
        control<QCheckBox>("mClearClipBoardButton")->setChecked(true);
        control<QSpinBox>("mClearAfterTimeStepper")->setValue(3);
        QFont font(QStringLiteral("DejaVu Sans"));
        font.setPointSize(15);
        font.setBold(true);
        window->setSelectedFont(font);
        window->setRowColor(QColor(1, 2, 3));
        return pressOk();
    });
    EXPECT_EQ(window->orderFrontOptionsPanel(), platform::kModalRunStopped);
    EXPECT_EQ(prefs("AUTOLOCK, SLEEPMINUTES, MAXSLEEPMINUTES, AUTOSUBMIT, CLEARCLIPBOARDONEXIT, CLEARCLIPBOARDTIMER, "
                    "FONTHEIGHT, FONTWEIGHT, FONTNAME, ROWCOLOR"),
              QStringLiteral("1|25|60|1|0|3|15|700|DejaVu Sans-Bold|%1").arg(1 + 2 * 256 + 3 * 65536));
    EXPECT_EQ(notices, 1);
    EXPECT_EQ(editSettingsRows(), 1);
    // The mask did not change: no question, no column rows.
    EXPECT_EQ(columnRows(), 0);

    // Read back by a fresh log-in.
    TVXDataBase again;
    ASSERT_EQ(logInAndLoad(again), kTVXDone);
    EXPECT_EQ(again.caches().getCurrentUser()->mLockTime(), 25);
    EXPECT_EQ(again.caches().getCurrentUser()->mClearClipBoardTimer(), 3);
    EXPECT_EQ(again.caches().getCurrentUser()->mRowColor(), QColor(1, 2, 3));
}

TEST_F(OptionsOnTheStore, SettingsTheStoreRefusesKeepTheWindowOpenAndAnnounceNothing)
{
    rootExec("CREATE TRIGGER tolvanexdb.refuse_prefs BEFORE UPDATE ON tolvanexdb.APPPREFTABLE FOR EACH ROW "
             "SIGNAL SQLSTATE '45000' SET MESSAGE_TEXT = 'refused'");
    tvxtest::AlertRecorder alerts; // the store's error path speaks
    tvxtest::ModalScript script;
    script.then([&](QWidget*) {
        control<QCheckBox>("mAutoSubmit")->setChecked(true);
        EXPECT_EQ(pressOk(), platform::kModalRunAborted) << "still open: the test closes it";
        return platform::kModalRunAborted;
    });
    window->orderFrontOptionsPanel();
    EXPECT_EQ(notices, 0);
    EXPECT_FALSE(alerts.alerts().empty());
    EXPECT_TRUE(control<QCheckBox>("mAutoSubmit")->isChecked()); // what was chosen stays
}

// A server slow to answer: the window waits for it without the main thread
// taking the connection, keeps its input and takes no second OK or Cancel.
TEST_F(OptionsOnTheStore, OkWaitsForTheServersAnswerWithoutTheMainThreadTakingTheConnection)
{
    window->setSelectedTypeUIDProvider([] { return kUnfiledUID; });
    auto holder = rootConnection();
    holder->setAutoCommit(false);
    {
        std::unique_ptr<sql::Statement> lock(holder->createStatement());
        std::unique_ptr<sql::ResultSet> held(lock->executeQuery(
            QStringLiteral("SELECT * FROM tolvanexdb.APPPREFTABLE WHERE USERID='%1' FOR UPDATE").arg(aliceID).toStdString()));
    }
    tvxtest::AlertRecorder alerts;
    tvxtest::ModalScript script;
    const uint64_t uses = db.connectionUsesOnMainThread();
    script.then([&](QWidget*) {
        control<QCheckBox>("mAutoSubmit")->setChecked(true);
        control<QCheckBox>("mShowColumnMatrix_1_0")->setChecked(true);
        window->ok();
        EXPECT_EQ(db.connectionUsesOnMainThread(), uses);
        QTest::qWait(200); // the server holds the row meanwhile
        EXPECT_TRUE(window->isSaving());
        EXPECT_TRUE(control<QCheckBox>("mAutoSubmit")->isChecked()) << "the input is kept";
        EXPECT_FALSE(control<QPushButton>("okButton")->isEnabled());
        EXPECT_FALSE(control<QPushButton>("cancelButton")->isEnabled());
        window->ok();
        window->cancel();
        EXPECT_EQ(notices, 0) << "nothing announced before the answer";
        holder->commit();
        EXPECT_TRUE(QTest::qWaitFor([&] { return !window->isSaving(); }, 30000));
        return window->requestedEnd().value_or(platform::kModalRunAborted);
    });
    EXPECT_EQ(window->orderFrontOptionsPanel(), platform::kModalRunStopped);
    EXPECT_EQ(db.connectionUsesOnMainThread(), uses);
    EXPECT_TRUE(alerts.alerts().empty()) << alerts.lastMessage().toStdString();
    EXPECT_EQ(notices, 1);
    EXPECT_EQ(prefs("AUTOSUBMIT"), "1");
    EXPECT_EQ(columnRows(), 1);
    EXPECT_EQ(editSettingsRows(), 1);
}

// The column rows of every type and the options' row go to a distant server
// together: the write, its commit, then the edit's event row.
TEST_F(OptionsOnTheStore, OkStoresTheColumnsOfEveryTypeWithTheOptionsInFewRoundTrips)
{
    DelayingRelay relay(port(), 0);
    useServerPort(relay.port());
    TVXDataBase distant;
    const TVXResult login = logInAndLoad(distant);
    useServerPort(0);
    ASSERT_EQ(login, kTVXDone);
    BMOptionsWindowController options(distant.caches(), distant.preferences(), distant.eventLog());
    options.setLoginItems(platform::LoginItems(mDefaults.filePath("autostart"), "/opt/tolvanex"));
    options.setSelectedTypeUIDProvider([] { return kAllCategoriesUID; });
    const int types = distant.caches().typesForEditing(false).size();
    ASSERT_GT(types, 0);
    const auto tripsOfOk = [&] {
        const uint64_t before = relay.roundTrips();
        EXPECT_EQ(changeAndPressOk(options), platform::kModalRunStopped);
        distant.writeBehind().flush(); // the event row goes behind the window
        return relay.roundTrips() - before;
    };
    (void)tripsOfOk(); // the first prepares its statements, once per connection
    EXPECT_EQ(prefs("AUTOSUBMIT"), "1");
    EXPECT_EQ(notesShownOnServer(), "1");
    EXPECT_LE(tripsOfOk(), 3u);
    EXPECT_EQ(prefs("AUTOSUBMIT"), "0");
    EXPECT_EQ(columnRows(), 1 + types);
    EXPECT_EQ(notesShownOnServer(), "0");
    EXPECT_EQ(editSettingsRows(), 2);
}

// An account not yet granted the store's routine for it: the statements
// store the same.
TEST_F(OptionsOnTheStore, OkWithoutTheStoresRoutineStoresTheSameByStatements)
{
    rootExec(QStringLiteral("REVOKE EXECUTE ON PROCEDURE tolvanexdb.TVX_SAVE_OPTIONS FROM '%1'@'%'").arg(kUserName));
    const int types = db.caches().typesForEditing(false).size();
    window->setSelectedTypeUIDProvider([] { return kAllCategoriesUID; });
    EXPECT_EQ(changeAndPressOk(*window), platform::kModalRunStopped);
    EXPECT_EQ(prefs("AUTOSUBMIT"), "1");
    EXPECT_EQ(columnRows(), 1 + types);
    EXPECT_EQ(notesShownOnServer(), "1");
    EXPECT_EQ(notices, 1);
}

// Column rows the store refuses undo the options' row with them: the window
// stays open with its input, nothing is announced as stored.
TEST_F(OptionsOnTheStore, RefusedColumnRowsKeepTheWindowOpenAndTheOptionsRowAsItWas)
{
    rootExec("CREATE TRIGGER tolvanexdb.refuse_columns BEFORE INSERT ON tolvanexdb.COLUMNINFOROWS FOR EACH ROW "
             "SIGNAL SQLSTATE '45000' SET MESSAGE_TEXT = 'refused'");
    window->setSelectedTypeUIDProvider([] { return kUnfiledUID; });
    tvxtest::AlertRecorder alerts;
    tvxtest::ModalScript script;
    script.then([&](QWidget*) {
        control<QCheckBox>("mAutoSubmit")->setChecked(true);
        control<QCheckBox>("mShowColumnMatrix_1_0")->setChecked(true);
        EXPECT_EQ(pressOk(), platform::kModalRunAborted) << "still open: the test closes it";
        return platform::kModalRunAborted;
    });
    window->orderFrontOptionsPanel();
    EXPECT_FALSE(alerts.alerts().empty());
    EXPECT_TRUE(control<QCheckBox>("mAutoSubmit")->isChecked());
    EXPECT_EQ(prefs("AUTOSUBMIT"), "0");
    EXPECT_EQ(columnRows(), 0);
    EXPECT_EQ(notices, 0);
    EXPECT_EQ(editSettingsRows(), 0);
}

TEST_F(OptionsOnTheStore, ClosingOrCancellingSavesAndLogsNothing)
{
    const QString before = prefs("AUTOLOCK, SLEEPMINUTES, AUTOSUBMIT");
    tvxtest::ModalScript script;
    script.then([&](QWidget*) {
        control<QCheckBox>("mAutoSubmit")->setChecked(true);
        return platform::kModalRunStopped; // the close box
    });
    script.then([&](QWidget*) {
        control<QCheckBox>("mAutoSubmit")->setChecked(true);
        window->cancel();
        return platform::kModalRunAborted;
    });
    window->orderFrontOptionsPanel();
    window->orderFrontOptionsPanel();
    EXPECT_EQ(prefs("AUTOLOCK, SLEEPMINUTES, AUTOSUBMIT"), before);
    EXPECT_EQ(editSettingsRows(), 0);
    EXPECT_EQ(notices, 0);
}

TEST_F(OptionsOnTheStore, ClipboardClearingTurnedOffStaysOffAfterLogIn)
{
    tvxtest::ModalScript script;
    script.then([&](QWidget*) {
        control<QCheckBox>("mClearClipBoardButton")->setChecked(false);
        return pressOk();
    });
    window->orderFrontOptionsPanel();
    EXPECT_EQ(prefs("CLEARCLIPBOARDONEXIT, CLEARCLIPBOARDTIMER"), QStringLiteral("0|0"));
}

TEST_F(OptionsOnTheStore, ChangedColumnsOnAllTypesAskAndFollowTheAnswer)
{
    const int types = db.caches().typesForEditing(false).size();
    ASSERT_GT(types, 0);
    window->setSelectedTypeUIDProvider([] { return kAllCategoriesUID; });
    const auto toggleNotes = [&](QWidget*) {
        auto* notes = control<QCheckBox>("mShowColumnMatrix_2_2");
        notes->setChecked(!notes->isChecked());
        return pressOk();
    };
    {
        tvxtest::AlertRecorder alerts;
        alerts.answerNext(platform::kAlertDefaultReturn); // "No"
        tvxtest::ModalScript script;
        script.then(toggleNotes);
        window->orderFrontOptionsPanel();
        ASSERT_EQ(alerts.alerts().size(), 1u);
        EXPECT_EQ(alerts.lastMessage(), "Do you want the current column settings to be applied to all Types?");
        EXPECT_EQ(alerts.alerts()[0].defaultButton, "No");
        EXPECT_EQ(alerts.alerts()[0].otherButton, "Yes");
        EXPECT_EQ(columnRows(), 1);
        // A user who never resized a column still gets every column stored: notes shown.
        EXPECT_EQ(rootQueryValue("SELECT CONCAT_WS('|', TYPEID, COLUMN1, COLUMN13) FROM tolvanexdb.COLUMNINFOTABLE"),
                  QStringLiteral("%1|%2|%2").arg(kAllCategoriesUID).arg(65536 + options::kDefaultColumnWidth));
    }
    {
        tvxtest::AlertRecorder alerts;
        alerts.answerNext(platform::kAlertOtherReturn); // "Yes"
        tvxtest::ModalScript script;
        script.then(toggleNotes);
        window->orderFrontOptionsPanel();
        EXPECT_EQ(alerts.alerts().size(), 1u);
        EXPECT_EQ(columnRows(), 1 + types);
        EXPECT_EQ(rootQueryValue("SELECT COUNT(*) FROM tolvanexdb.COLUMNINFOTABLE WHERE COLUMN13 = 100"),
                  QString::number(1 + types));
    }
}

TEST_F(OptionsOnTheStore, ChangedColumnsOnOneTypeAreStoredForItWithoutAsking)
{
    window->setSelectedTypeUIDProvider([] { return kUnfiledUID; });
    tvxtest::AlertRecorder alerts;
    tvxtest::ModalScript script;
    script.then([&](QWidget*) {
        control<QCheckBox>("mShowColumnMatrix_1_0")->setChecked(true);
        return pressOk();
    });
    window->orderFrontOptionsPanel();
    EXPECT_TRUE(alerts.alerts().empty());
    ASSERT_EQ(columnRows(), 1);
    EXPECT_EQ(rootQueryValue("SELECT CONCAT_WS('|', TYPEID, COLUMN2) FROM tolvanexdb.COLUMNINFOTABLE"),
              QStringLiteral("%1|%2").arg(kUnfiledUID).arg(65536 + 100));
    EXPECT_EQ(db.caches().getCurrentUser()->mColoumInfo(), kDefaultColumnMask | 0x800);
}

// The column settings of every type go out behind the window: the main
// thread never takes the connection for them, and a refused write still
// reaches the user through the error path.
TEST_F(OptionsOnTheStore, ColumnChoicesGoBehindTheWindowAndTheirFailureIsStillShown)
{
    TVXUser& user = *db.caches().getCurrentUser();
    const int types = db.caches().typesForEditing(false).size();
    const uint64_t uses = db.connectionUsesOnMainThread();
    const auto applyToAll = [] { return true; };
    const uint64_t chosen = user.mColoumInfo() ^ 0x1000; // notes
    ASSERT_TRUE(options::saveColumnChoices(db.caches(), db.preferences(), user, chosen, kAllCategoriesUID, applyToAll));
    EXPECT_EQ(db.connectionUsesOnMainThread(), uses);
    EXPECT_EQ(columnRows(), 1 + types);
    EXPECT_EQ(rootQueryValue("SELECT COUNT(*) FROM tolvanexdb.COLUMNINFOTABLE WHERE (COLUMN13 >= 65536) = "
                             + QString::number((chosen & 0x1000) != 0)),
              QString::number(1 + types));
    // Kept at once: a type switch finds them without asking the server.
    user.setMColoumInfo(kDefaultColumnMask ^ 0x1);
    ASSERT_EQ(db.preferences().readColoumWidthInfoForType(kUnfiledUID), kTVXDone);
    EXPECT_EQ(user.mColoumInfo(), chosen);
    EXPECT_EQ(db.connectionUsesOnMainThread(), uses);

    // The account's rights on them gone: the client hears that its account is.
    int deleted = 0;
    auto& center = platform::NotificationCenter::defaultCenter();
    const auto observed = center.addObserver(kDBUserDeletedNotification, [&](const auto&) { ++deleted; });
    const auto unobserve = qScopeGuard([&] { center.removeObserver(observed); });
    rootExec(QStringLiteral("REVOKE INSERT, DELETE ON tolvanexdb.COLUMNINFOTABLE FROM '%1'@'%'").arg(kUserName));
    ASSERT_TRUE(options::saveColumnChoices(db.caches(), db.preferences(), user, chosen ^ 0x1000, kUnfiledUID, applyToAll));
    EXPECT_EQ(db.connectionUsesOnMainThread(), uses);
    db.writeBehind().flush();
    QCoreApplication::processEvents(); // the report handed over by the writer
    EXPECT_EQ(deleted, 1);
}

} // namespace
