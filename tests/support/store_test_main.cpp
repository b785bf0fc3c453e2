// Store tests: a core application object, so that hand-overs to the main
// thread and notices behave as in the client.
#include <gtest/gtest.h>

#include <QTemporaryDir>

#include <QCoreApplication>

int main(int argc, char** argv)
{
    // Settings go to a private folder of this run, never the user's own.
    QTemporaryDir settingsHome;
    qputenv("XDG_CONFIG_HOME", settingsHome.path().toLocal8Bit());
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
