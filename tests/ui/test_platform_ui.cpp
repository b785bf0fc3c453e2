// The modal-run and pasteboard stand-ins behave as the windows expect.
#include <gtest/gtest.h>

#include <QApplication>
#include <QTimer>
#include <QWidget>

#include "platform/ui/ModalRun.h"
#include "platform/ui/Pasteboard.h"

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

TEST_F(RealModalRuns, PolledRunEndsWhenTheFlagIsSet)
{
    QWidget panel;
    bool complete = false;
    QTimer::singleShot(20, [&complete] { complete = true; });
    EXPECT_EQ(platform::runModalUntil(&panel, [&complete] { return complete; }), platform::kModalRunStopped);
    EXPECT_TRUE(complete);
    EXPECT_FALSE(panel.isVisible());
}

TEST_F(RealModalRuns, APolledRunCanLeaveItsWindowUpForTheCaller)
{
    QWidget panel;
    bool complete = false;
    QTimer::singleShot(20, [&complete] { complete = true; });
    EXPECT_EQ(platform::runModalUntil(&panel, [&complete] { return complete; }, true), platform::kModalRunStopped);
    EXPECT_TRUE(panel.isVisible());
    panel.hide();

    // Closed by the user, it goes all the same.
    QTimer::singleShot(20, [&panel] { panel.close(); });
    EXPECT_EQ(platform::runModalUntil(&panel, [] { return false; }, true), platform::kModalRunStopped);
    EXPECT_FALSE(panel.isVisible());
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
