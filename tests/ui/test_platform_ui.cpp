// The modal-run and pasteboard stand-ins and the save wait behave as the windows expect.
#include <gtest/gtest.h>

#include <QApplication>
#include <QCursor>
#include <QDialog>
#include <QElapsedTimer>
#include <QLabel>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>
#include <QVBoxLayout>
#include <QWidget>

#include <semaphore>

#include "platform/core/BackgroundTask.h"
#include "platform/ui/ModalRun.h"
#include "platform/ui/Pasteboard.h"
#include "platform/ui/SaveWait.h"

namespace {

// Real runs, not the scripted ones the test main installs.
class RealModalRuns : public ::testing::Test {
protected:
    void SetUp() override { mPrevious = platform::setModalResponder({}); }
    void TearDown() override { platform::setModalResponder(std::move(mPrevious)); }
    platform::ModalResponder mPrevious;
};

TEST_F(RealModalRuns, EndCodesOfStopAbortAndClose)
{
    QWidget panel;
    QTimer::singleShot(0, [] { platform::stopModal(); });
    EXPECT_EQ(platform::runModalForWindow(&panel), platform::kModalRunStopped);
    EXPECT_FALSE(panel.isVisible());

    QTimer::singleShot(0, [] { platform::abortModal(); });
    EXPECT_EQ(platform::runModalForWindow(&panel), platform::kModalRunAborted);

    QTimer::singleShot(0, [&panel] { panel.close(); });
    EXPECT_EQ(platform::runModalForWindow(&panel), platform::kModalRunStopped);
    EXPECT_FALSE(platform::isModalRunning());

    // Held (a save in flight), the close box does nothing; the hold gone, it ends the run.
    bool closedWhileHeld = true;
    QTimer::singleShot(0, [&] {
        platform::holdRunAgainstClosing(&panel, true);
        closedWhileHeld = panel.close();
        EXPECT_TRUE(panel.isVisible());
        EXPECT_TRUE(platform::isModalRunning());
        platform::holdRunAgainstClosing(&panel, false);
        panel.close();
    });
    EXPECT_EQ(platform::runModalForWindow(&panel), platform::kModalRunStopped);
    EXPECT_FALSE(closedWhileHeld);
    EXPECT_FALSE(panel.isVisible());
}

TEST_F(RealModalRuns, NestedRunsEndInnermostFirst)
{
    QWidget outer;
    QWidget inner;
    int innerCode = 0;
    QTimer::singleShot(0, [&] {
        QTimer::singleShot(0, [] { platform::abortModal(); });
        innerCode = platform::runModalForWindow(&inner);
        platform::stopModal();
    });
    EXPECT_EQ(platform::runModalForWindow(&outer), platform::kModalRunStopped);
    EXPECT_EQ(innerCode, platform::kModalRunAborted);
}

TEST_F(RealModalRuns, ATaskRunEndsWhenTheTaskFinishes)
{
    QWidget panel;
    std::binary_semaphore gate{0};
    const auto task = platform::BackgroundTask::start([&gate] { gate.acquire(); });
    QTimer::singleShot(0, [&gate] { gate.release(); });
    EXPECT_EQ(platform::runModalUntilFinished(&panel, *task), platform::kModalRunStopped);
    EXPECT_TRUE(task->isFinished());
    EXPECT_FALSE(panel.isVisible());
}

TEST_F(RealModalRuns, ATaskRunCanLeaveItsWindowUpForTheCaller)
{
    QWidget panel;
    const auto done = platform::BackgroundTask::start([] {});
    EXPECT_EQ(platform::runModalUntilFinished(&panel, *done, true), platform::kModalRunStopped);
    EXPECT_TRUE(panel.isVisible());
    panel.hide();

    // Closed by the user, it goes all the same, the work still running.
    std::binary_semaphore gate{0};
    const auto running = platform::BackgroundTask::start([&gate] { gate.acquire(); });
    QTimer::singleShot(0, [&panel] { panel.close(); });
    EXPECT_EQ(platform::runModalUntilFinished(&panel, *running, true), platform::kModalRunStopped);
    EXPECT_FALSE(panel.isVisible());
    EXPECT_TRUE(running->isRunning());
    gate.release();
    running->waitForFinished();
}

TEST_F(RealModalRuns, ATaskEndsItsOwnRunNotOneOpenedAboveIt)
{
    QWidget outer;
    QWidget inner;
    std::binary_semaphore gate{0};
    const auto task = platform::BackgroundTask::start([&gate] { gate.acquire(); });
    bool innerUpAtTheEnd = false;
    QObject::connect(task.get(), &platform::BackgroundTask::finished, &outer, [&] {
        innerUpAtTheEnd = inner.isVisible();
        QTimer::singleShot(0, [] { platform::abortModal(); });
    });
    int innerCode = 0;
    QTimer::singleShot(0, [&] {
        QTimer::singleShot(0, [&gate] { gate.release(); });
        innerCode = platform::runModalForWindow(&inner);
    });
    EXPECT_EQ(platform::runModalUntilFinished(&outer, *task), platform::kModalRunStopped);
    EXPECT_TRUE(innerUpAtTheEnd);
    EXPECT_EQ(innerCode, platform::kModalRunAborted);
}

TEST_F(RealModalRuns, ADialogRunIsRegisteredAndOutlivesBeingHidden)
{
    QWidget sheet;
    QDialog alert;
    int alertCode = -1;
    QList<QWidget*> windows;
    QTimer::singleShot(0, [&] {
        QTimer::singleShot(0, [&] {
            windows = platform::modalRunWindows();
            // Hidden and shown again (the lock does so), the dialog still waits.
            alert.hide();
            QTimer::singleShot(0, [&] {
                alert.show();
                // An abort reaches the innermost run: the dialog's, not the sheet's.
                platform::abortModal();
                QTimer::singleShot(0, [] { platform::stopModal(); });
            });
        });
        alertCode = platform::runDialog(&alert);
    });
    EXPECT_EQ(platform::runModalForWindow(&sheet), platform::kModalRunStopped);
    EXPECT_EQ(windows, (QList<QWidget*>{&sheet, &alert}));
    EXPECT_EQ(alertCode, QDialog::Rejected);
    EXPECT_FALSE(alert.isVisible());

    // The dialog's own answer ends its run alone.
    QTimer::singleShot(0, [&] {
        QTimer::singleShot(0, &alert, &QDialog::accept);
        alertCode = platform::runDialog(&alert);
        sheet.setProperty("stillRunning", platform::isModalRunning());
        platform::stopModal();
    });
    EXPECT_EQ(platform::runModalForWindow(&sheet), platform::kModalRunStopped);
    EXPECT_EQ(alertCode, QDialog::Accepted);
    EXPECT_TRUE(sheet.property("stillRunning").toBool());
}

// A sheet waiting for its save's answer, shown but not in a run.
class SaveWaits : public ::testing::Test {
protected:
    SaveWaits()
    {
        auto* column = new QVBoxLayout(&sheet);
        column->addWidget(ok);
        column->addWidget(other);
        wait = new platform::SaveWait(&sheet, {ok, other});
        column->addWidget(wait->line());
        sheet.show();
    }
    static bool busy()
    {
        return QGuiApplication::overrideCursor() && QGuiApplication::overrideCursor()->shape() == Qt::BusyCursor;
    }

    QDialog sheet;
    QPushButton* ok = new QPushButton(QStringLiteral("OK"), &sheet);
    QPushButton* other = new QPushButton(QStringLiteral("Other"), &sheet);
    platform::SaveWait* wait = nullptr;
};

TEST_F(SaveWaits, TheLineComesAfter300MsAndTheControlsComeBackAsTheyWere)
{
    other->setEnabled(false);
    for (int round = 0; round < 2; ++round) {
        QElapsedTimer waited;
        waited.start();
        wait->show(true);
        EXPECT_TRUE(wait->isSaving());
        EXPECT_TRUE(busy());
        EXPECT_FALSE(ok->isEnabled());
        EXPECT_FALSE(other->isEnabled());
        EXPECT_TRUE(wait->line()->isHidden()) << "round " << round;
        ASSERT_TRUE(QTest::qWaitFor([&] { return !wait->line()->isHidden(); }, 5000));
        EXPECT_GE(waited.elapsed(), 280) << "a timer may fire a little early, never much";
        EXPECT_EQ(wait->line()->text(), QStringLiteral("Waiting for the server..."));
        wait->show(false);
        EXPECT_FALSE(wait->isSaving());
        EXPECT_TRUE(wait->line()->isHidden());
        EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
        EXPECT_TRUE(ok->isEnabled());
        EXPECT_EQ(other->isEnabled(), round == 1) << "as it was before the wait";
        other->setEnabled(true); // the next round: both were usable
    }

    // Answered before 300 ms: the line never shows.
    wait->show(true);
    wait->show(false);
    QTest::qWait(400);
    EXPECT_TRUE(wait->line()->isHidden());

    // A sheet that goes away while it waits takes its busy cursor with it.
    auto* gone = new QWidget;
    (new platform::SaveWait(gone, {}))->show(true);
    EXPECT_TRUE(busy());
    delete gone;
    EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
}

TEST_F(SaveWaits, ClosingAndEscapeDoNothingUntilTheAnswer)
{
    QSignalSpy rejected(&sheet, &QDialog::rejected);
    wait->show(true);
    QTest::keyClick(&sheet, Qt::Key_Escape);
    QTest::keyClick(ok, Qt::Key_Escape); // passed on from a control
    EXPECT_FALSE(sheet.close());
    EXPECT_TRUE(sheet.isVisible());
    EXPECT_EQ(rejected.count(), 0);

    wait->show(false);
    QTest::keyClick(&sheet, Qt::Key_Escape);
    EXPECT_EQ(rejected.count(), 1);
    EXPECT_FALSE(sheet.isVisible());
    sheet.show();
    EXPECT_TRUE(sheet.close());
    EXPECT_FALSE(sheet.isVisible());
}

TEST(Pasteboard, ChangeCountFollowsEveryChange)
{
    auto& board = platform::Pasteboard::generalPasteboard();
    const int before = board.changeCount();
    board.setString(QStringLiteral("first"));
    board.setString(QStringLiteral("second"));
    QApplication::processEvents();
    EXPECT_EQ(board.string(), QStringLiteral("second"));
    EXPECT_GE(board.changeCount(), before + 2);
    board.clearContents();
    EXPECT_TRUE(board.string().isEmpty());
}

} // namespace
