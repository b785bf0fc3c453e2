#pragma once
// A signed-in client over a seeded store with its main window built, as the
// application has it after start-up.
#include "app/BMController.h"
#include "model/TVXUID.h"
#include "store/TVXDataBase.h"
#include "support/StoreSeed.h"
#include "support/TestStore.h"
#include "support/UiTestSupport.h"
#include "views/BMRecordModels.h"
#include "windows/BMDetailsWindowController.h"
#include "windows/BMMainWindow.h"

#include <QComboBox>
#include <QPushButton>
#include <QTest>

#include <memory>

namespace mainwintest {

inline const QString G1 = QStringLiteral("00000000000000A1"); // Finance
inline const QString G2 = QStringLiteral("00000000000000A2"); // Servers
inline const QString G3 = QStringLiteral("00000000000000A3"); // Vault (no edit right)
inline const QString G4 = QStringLiteral("00000000000000A4"); // Archive (no rights, empty)
inline const QString TWeb = kWebLoginUID;                      // Web log-in
inline const QString TBank = QStringLiteral("00000000000000C2");
inline const QString TServer = QStringLiteral("00000000000000C3");
inline const QString R1 = QStringLiteral("00000000000000B1");
inline const QString R2 = QStringLiteral("00000000000000B2");
inline const QString R3 = QStringLiteral("00000000000000B3");
inline const QString R4 = QStringLiteral("00000000000000B4");
inline const QString R5 = QStringLiteral("00000000000000B5");
inline const QString R6 = QStringLiteral("00000000000000B6");

// OK in the record sheet, then the store's answer, served by the event loop
// as the window's own would serve it.
inline void pressOK(BMDetailsWindowController& sheet)
{
    sheet.okButton()->click();
    QDeadlineTimer deadline(30000);
    while (sheet.isSaving() && !deadline.hasExpired())
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    EXPECT_FALSE(sheet.isSaving()) << "the save was answered";
}

class MainWindowTest : public teststore::StoreTest {
protected:
    void SetUp() override;
    void TearDown() override;
    void seedStore();

    // Chooses the group in the pop-up as a user would.
    void chooseGroup(const QString& name);
    QStringList listValue1s() const;
    int listRowOf(const QString& recordUID) const;
    // What the window sent behind it has gone out before the server is asked.
    QString serverValue(const QString& query) const
    {
        db->writeBehind().flush();
        return teststore::rootQueryValue(query);
    }

    // Set by a test's constructor: the store holds the demo contents of
    // scripts/run (alice in both groups) instead of the seed below.
    bool demoStore = false;
    // The answers of the saves and deletions the window started.
    bool writesAnswered() const
    {
        return QTest::qWaitFor(
            [this] { return db->savesInFlight() == 0 && !controller->recordCommands().isDeleting(); }, 30000);
    }
    std::unique_ptr<teststore::StoreSeed> seed;
    std::unique_ptr<TVXDataBase> db;
    std::unique_ptr<BMController> controller;
    BMMainWindow* window = nullptr;
};

} // namespace mainwintest
