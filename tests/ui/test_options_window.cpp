// The options window's checks, what it hands to the user object, its
// clipboard controls, the event-log folder and launching at log-in.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QColorDialog>
#include <QFontDialog>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QSettings>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include "exchange/EventLogBackup.h"
#include "model/TVXUser.h"
#include "platform/core/UserDefaults.h"
#include "platform/ui/LoginItems.h"
#include "store/TVXDataBase.h"
#include "store/eventlog/TVXEventLogger.h"
#include "support/UiTestSupport.h"
#include "windows/BMOptionsWindowController.h"
#include "windows/OptionsChoices.h"

using namespace options;

namespace {

// User defaults go to a private folder, never to the account running the tests.
class PrivateDefaults : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(mDir.isValid());
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, mDir.path());
        QSettings().clear();
    }
    QTemporaryDir mDir;
};

TEST(OptionsColumnMatrix, CellsStandForTheListColumnsInMatrixOrder)
{
    EXPECT_EQ(columnBitForCell(0, 0), 0x400u); // type
    EXPECT_EQ(columnBitForCell(1, 0), 0x800u); // group
    EXPECT_EQ(columnBitForCell(2, 0), 0x1u);   // value 1
    EXPECT_EQ(columnBitForCell(4, 1), 0x80u);  // value 8
    EXPECT_EQ(columnBitForCell(1, 2), 0x200u); // value 10
    EXPECT_EQ(columnBitForCell(2, 2), 0x1000u); // notes
    EXPECT_EQ(columnBitForCell(3, 2), 0x2000u); // attachment
    EXPECT_EQ(columnBitForCell(4, 2), 0u);      // unused cell
    EXPECT_FALSE(isUsedColumnCell(4, 2));
    EXPECT_EQ(columnCellTitle(4, 1), QStringLiteral("Field 8"));
    EXPECT_EQ(columnCellTitle(3, 2), QStringLiteral("Attachment"));

    // Every single column survives the round trip; the default mask shows type,
    // values 1 to 3 and the attachment.
    for (uint64_t bit : kColumnMasksArray)
        EXPECT_EQ(columnMaskFromCells(cellsFromColumnMask(bit)), bit);
    const ColumnCells cells = cellsFromColumnMask(kDefaultColumnMask);
    EXPECT_TRUE(cells[0][0] && cells[2][0] && cells[3][0] && cells[4][0] && cells[3][2]);
    EXPECT_FALSE(cells[1][0] || cells[0][1] || cells[2][2]);
    // Bits no cell stands for are dropped.
    EXPECT_EQ(columnMaskFromCells(cellsFromColumnMask(0xFFFFFFFF)), 0x3FFFu);
}

TEST(OptionsChecks, LockMinutesAreCheckedOnlyWhenTheyCanTakeEffect)
{
    OptionsChoices choices;
    choices.autoLock = true;
    for (int minutes : {0, 61, -3, 999}) {
        choices.lockMinutes = minutes;
        EXPECT_EQ(lockMinutesRefusal(choices, true), QStringLiteral("Please enter an integer between 1 and 60"))
            << minutes;
        EXPECT_TRUE(lockMinutesRefusal(choices, false).isEmpty()) << minutes;
    }
    for (int minutes : {1, 60}) {
        choices.lockMinutes = minutes;
        EXPECT_TRUE(lockMinutesRefusal(choices, true).isEmpty()) << minutes;
    }
    choices.autoLock = false;
    choices.lockMinutes = 0;
    EXPECT_TRUE(lockMinutesRefusal(choices, true).isEmpty());
}

TEST(OptionsChecks, ClipboardChoicesReachTheUserObject)
{
    TVXUser user;
    OptionsChoices choices;
    choices.lockMinutes = 75; // saved unchanged while automatic lock is off
    choices.clearClipboard = true;
    choices.clipboardColumn = kClearClipboardOnExitColumn;
    choices.clipboardMinutes = 7;
    storeChoicesInUser(choices, user);
    EXPECT_EQ(user.mLockTime(), 75);
    EXPECT_TRUE(user.mClearClipboardState());
    EXPECT_TRUE(user.mClipBoardOnExit());
    EXPECT_EQ(user.mClearClipBoardTimer(), 7);

    choices.clipboardColumn = kClearClipboardAfterColumn;
    storeChoicesInUser(choices, user);
    EXPECT_FALSE(user.mClipBoardOnExit());
    EXPECT_EQ(user.mClearClipBoardTimer(), 7);

    // Turned off, clearing stays off when the options are shown again.
    choices.clearClipboard = false;
    storeChoicesInUser(choices, user);
    EXPECT_FALSE(user.mClearClipboardState());
    EXPECT_FALSE(choicesFromUser(user).clearClipboard);
}

class OptionsWindow : public PrivateDefaults {
protected:
    void SetUp() override
    {
        PrivateDefaults::SetUp();
        ASSERT_TRUE(mAutostart.isValid());
        TVXUser& user = *db.caches().getCurrentUser();
        user.setMUsername(QStringLiteral("alice"));
        user.setMPassword(QStringLiteral("alice-pw"));
        user.setMAutoLOck(true);
        user.setMLockTime(15);
        user.setMClearClipBoardTimer(5);
        user.setMClipBoardOnExit(false);
        window = std::make_unique<BMOptionsWindowController>(db.caches(), db.preferences(), db.eventLog());
        window->setLoginItems(platform::LoginItems(mAutostart.path(), QStringLiteral("/opt/tolvanex/bin/tolvanex")));
    }
    template <class T> T* control(const char* name) { return window->findChild<T*>(QString::fromLatin1(name)); }

    TVXDataBase db;
    QTemporaryDir mAutostart;
    std::unique_ptr<BMOptionsWindowController> window;
};

TEST_F(OptionsWindow, ShowsTheUsersOptionsAndHidesLockWithoutPassword)
{
    window->initUserPreferences();
    window->show();
    EXPECT_TRUE(control<QCheckBox>("mAutoLock")->isChecked());
    EXPECT_EQ(control<QSpinBox>("mAutoLockField")->value(), 15);
    EXPECT_TRUE(control<QCheckBox>("mAutoLock")->isVisible());
    EXPECT_TRUE(control<QCheckBox>("mClearClipBoardButton")->isChecked());
    EXPECT_TRUE(control<QRadioButton>("mClearAfterCell")->isChecked());
    EXPECT_EQ(control<QRadioButton>("mClearAfterCell")->text(), QStringLiteral("After 05     Minutes"));
    EXPECT_EQ(window->currentChoices().columnMask, kDefaultColumnMask);

    db.caches().getCurrentUser()->setMPassword(QString());
    window->initUserPreferences();
    EXPECT_FALSE(control<QCheckBox>("mAutoLock")->isVisible());
    EXPECT_FALSE(control<QSpinBox>("mAutoLockField")->isVisible());
    EXPECT_FALSE(control<QLabel>("mAutolockLabel")->isVisible());
    window->hide();
}

TEST_F(OptionsWindow, RefusedMinutesKeepTheWindowOpenAndSaveNothing)
{
    tvxtest::AlertRecorder alerts;
    tvxtest::ModalScript script;
    script.then([&](QWidget*) {
        control<QSpinBox>("mAutoLockField")->setValue(61);
        window->ok();
        return platform::kModalRunAborted;
    });
    EXPECT_EQ(window->orderFrontOptionsPanel(), platform::kModalRunAborted);
    ASSERT_EQ(alerts.alerts().size(), 1u);
    EXPECT_EQ(alerts.lastMessage(), QStringLiteral("Please enter an integer between 1 and 60"));
    EXPECT_EQ(alerts.lastTitle(), QStringLiteral("Tolvanex Enterprise Alert!"));
    EXPECT_EQ(db.caches().getCurrentUser()->mLockTime(), 15);
    // Nothing saved, nothing logged.
    EXPECT_TRUE(db.eventLog().eventLogger().logArrary().isEmpty());
}

TEST_F(OptionsWindow, ClipboardControlsFollowEachOther)
{
    window->initUserPreferences();
    window->show();
    auto* box = control<QWidget>("mClearClipBoardBox");
    auto* clear = control<QCheckBox>("mClearClipBoardButton");
    EXPECT_TRUE(box->isVisible());
    QTest::mouseClick(clear, Qt::LeftButton);
    EXPECT_FALSE(box->isVisible());
    QTest::mouseClick(clear, Qt::LeftButton);
    EXPECT_TRUE(box->isVisible());

    control<QRadioButton>("mClearOnExitCell")->setChecked(true);
    control<QSpinBox>("mClearAfterTimeStepper")->setValue(9);
    EXPECT_TRUE(control<QRadioButton>("mClearAfterCell")->isChecked());
    EXPECT_EQ(control<QRadioButton>("mClearAfterCell")->text(), QStringLiteral("After 09     Minutes"));
    EXPECT_EQ(window->currentChoices().clipboardMinutes, 9);
    window->hide();
}

TEST_F(OptionsWindow, EventLogFolderDefaultsAndFollowsTheOpenPanel)
{
    EXPECT_EQ(control<QLineEdit>("mDatabaseLocationField")->text(), QDir::homePath() + "/Documents/Tolvanex/");
    EXPECT_EQ(platform::UserDefaults::value(kEventLoggerDatabaseLocationKey).toString(),
              QDir::homePath() + "/Documents/Tolvanex/");

    QTemporaryDir chosen;
    tvxtest::ModalScript script;
    script.then([](QWidget*) { return platform::kModalRunAborted; });
    script.then([&](QWidget* panel) {
        auto* dialog = qobject_cast<QFileDialog*>(panel);
        EXPECT_NE(dialog, nullptr);
        if (dialog)
            dialog->setDirectory(chosen.path());
        return platform::kModalRunStopped;
    });
    window->browseDatabaseLocation(); // cancelled
    EXPECT_EQ(control<QLineEdit>("mDatabaseLocationField")->text(), QDir::homePath() + "/Documents/Tolvanex/");
    window->browseDatabaseLocation();
    EXPECT_EQ(QDir(control<QLineEdit>("mDatabaseLocationField")->text()), QDir(chosen.path()));
    EXPECT_EQ(QDir(platform::UserDefaults::value(kEventLoggerDatabaseLocationKey).toString()), QDir(chosen.path()));
}

TEST_F(OptionsWindow, LaunchAtLoginWritesOneEntryAndRemovesOnlyItsOwn)
{
    window->show();
    auto* launch = control<QCheckBox>("mRunOnStartupButton");
    const QString other = mAutostart.filePath("other.desktop");
    {
        QFile f(other);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("[Desktop Entry]\nType=Application\nExec=/usr/bin/other\n");
    }
    QTest::mouseClick(launch, Qt::LeftButton);
    ASSERT_TRUE(launch->isChecked());
    EXPECT_TRUE(window->loginItems().isLaunchedAtLogin());
    EXPECT_TRUE(platform::UserDefaults::value(kLaunchOnStartupKey).toBool());
    window->toLoginItems(); // on again: still one entry
    EXPECT_EQ(QDir(mAutostart.path()).entryList({"*.desktop"}, QDir::Files).size(), 2);

    QTest::mouseClick(launch, Qt::LeftButton);
    EXPECT_FALSE(window->loginItems().isLaunchedAtLogin());
    EXPECT_FALSE(QFile::exists(window->loginItems().entryPath()));
    EXPECT_TRUE(QFile::exists(other));
    EXPECT_FALSE(platform::UserDefaults::value(kLaunchOnStartupKey).toBool());
    window->hide();

    // Each showing tells what the session will do, whatever the defaults say.
    ASSERT_TRUE(window->loginItems().setLaunchedAtLogin(true));
    tvxtest::ModalScript script;
    script.then([&](QWidget*) {
        EXPECT_TRUE(launch->isChecked());
        return platform::kModalRunAborted;
    });
    window->orderFrontOptionsPanel();
}

TEST_F(OptionsWindow, FontAndColourPanelsChangeOnlyOnOk)
{
    window->initUserPreferences();
    const QString before = control<QLabel>("mFontNameField")->text();
    QFont chosen(QStringLiteral("DejaVu Serif"));
    chosen.setPointSize(17);
    tvxtest::ModalScript script;
    script.then([&](QWidget* panel) {
        qobject_cast<QFontDialog*>(panel)->setCurrentFont(chosen);
        return platform::kModalRunAborted;
    });
    script.then([&](QWidget* panel) {
        qobject_cast<QFontDialog*>(panel)->setCurrentFont(chosen);
        return platform::kModalRunStopped;
    });
    window->selectFont();
    EXPECT_EQ(control<QLabel>("mFontNameField")->text(), before);
    window->selectFont();
    EXPECT_EQ(control<QLabel>("mFontNameField")->text(), QStringLiteral("DejaVu Serif - 17 pt size"));
    EXPECT_EQ(window->currentChoices().font.pointSize(), 17);

    // The well follows the panel while it is open and goes back on Cancel.
    window->setRowColor(Qt::white);
    QColor seen;
    script.then([&](QWidget* panel) {
        qobject_cast<QColorDialog*>(panel)->setCurrentColor(QColor(200, 10, 10));
        seen = window->rowColor();
        return platform::kModalRunAborted;
    });
    window->selectRowColor();
    EXPECT_EQ(seen, QColor(200, 10, 10));
    EXPECT_EQ(window->rowColor(), QColor(Qt::white));
}

TEST(LoginItems, AnEntryOfAnotherPathIsNotOurs)
{
    QTemporaryDir dir;
    platform::LoginItems mine(dir.path(), QStringLiteral("/opt/a/tolvanex"));
    platform::LoginItems copy(dir.path(), QStringLiteral("/home/x/tolvanex"));
    ASSERT_TRUE(copy.setLaunchedAtLogin(true));
    EXPECT_FALSE(mine.isLaunchedAtLogin());
    EXPECT_TRUE(mine.setLaunchedAtLogin(false)); // nothing of ours to remove
    EXPECT_TRUE(copy.isLaunchedAtLogin());
}

TEST(LoginItems, AwkwardPathsSurviveTheExecLine)
{
    for (const QString& path : {QStringLiteral("/opt/plain/tolvanex"), QStringLiteral("/home/a b/My Apps/tolvanex"),
                               QStringLiteral("/tmp/q\"uote/$HOME/`x`/back\\slash/100%/tolvanex")}) {
        EXPECT_EQ(platform::LoginItems::pathFromExecValue(platform::LoginItems::execValue(path)), path);
        QTemporaryDir dir;
        platform::LoginItems items(dir.path(), path);
        ASSERT_TRUE(items.setLaunchedAtLogin(true));
        EXPECT_TRUE(items.isLaunchedAtLogin()) << path.toStdString();
    }
    EXPECT_EQ(platform::LoginItems::execValue(QStringLiteral("/a b/c")), QStringLiteral("\"/a b/c\""));
    EXPECT_EQ(platform::LoginItems::execValue(QStringLiteral("/a/50%")), QStringLiteral("/a/50%%"));
}

TEST(LoginItems, AFolderThatCannotBeMadeIsReported)
{
    QTemporaryDir dir;
    QFile blocker(dir.filePath("file"));
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    platform::LoginItems items(dir.filePath("file/autostart"), QStringLiteral("/opt/tolvanex"));
    EXPECT_FALSE(items.setLaunchedAtLogin(true));
    EXPECT_FALSE(items.isLaunchedAtLogin());
}

} // namespace

namespace {

// Real modal runs: keys reach the window as a user's would.
class OptionsWindowRealRun : public PrivateDefaults {
protected:
    void SetUp() override
    {
        PrivateDefaults::SetUp();
        mPrevious = platform::setModalResponder({});
    }
    void TearDown() override { platform::setModalResponder(std::move(mPrevious)); }
    platform::ModalResponder mPrevious;
};

TEST_F(OptionsWindowRealRun, EscapeCancelsAndEndsTheRun)
{
    TVXDataBase db;
    BMOptionsWindowController window(db.caches(), db.preferences(), db.eventLog());
    QTimer::singleShot(0, [&window] { QTest::keyClick(&window, Qt::Key_Escape); });
    EXPECT_EQ(window.orderFrontOptionsPanel(), platform::kModalRunAborted);
    EXPECT_FALSE(window.isVisible());
    EXPECT_FALSE(platform::isModalRunning());
}

TEST_F(OptionsWindowRealRun, EscapeOverAChangedOptionAsksAndNoKeepsTheWindow)
{
    TVXDataBase db;
    BMOptionsWindowController window(db.caches(), db.preferences(), db.eventLog());
    tvxtest::AlertRecorder alerts;
    bool keptOpen = false;
    QTimer::singleShot(0, [&] {
        QCheckBox* box = window.findChildren<QCheckBox*>().value(0);
        ASSERT_NE(box, nullptr);
        box->toggle();
        QTest::keyClick(&window, Qt::Key_Escape); // answered No
        keptOpen = window.isVisible() && platform::isModalRunning();
        alerts.answerNext(platform::kAlertAlternateReturn);
        QTest::keyClick(&window, Qt::Key_Escape);
    });
    EXPECT_EQ(window.orderFrontOptionsPanel(), platform::kModalRunAborted);
    EXPECT_TRUE(keptOpen);
    EXPECT_EQ(alerts.messages(), QStringList({"You have made changes. Do you want to discard them?",
                                              "You have made changes. Do you want to discard them?"}));
}

} // namespace
