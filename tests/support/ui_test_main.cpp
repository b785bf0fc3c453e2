// Window tests: a widgets application on the offscreen platform. Alerts and
// modal runs never block: unless a test scripts them, alerts answer with
// their default button and modal runs are aborted, and both are recorded.
#include <gtest/gtest.h>

#include <QTemporaryDir>

#include <QApplication>

#include "support/UiTestSupport.h"

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    // Settings go to a private folder of this run, never the user's own.
    QTemporaryDir settingsHome;
    qputenv("XDG_CONFIG_HOME", settingsHome.path().toLocal8Bit());
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    tvxtest::installDefaultUiResponders();
    return RUN_ALL_TESTS();
}
