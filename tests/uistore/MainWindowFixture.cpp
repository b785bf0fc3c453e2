#include "MainWindowFixture.h"

#include "model/TVXRecord.h"
#include "store/schema/TVXStoreCreator.h"
#include "support/MainWindowSelection.h"

#include <QApplication>

#include <cppconn/connection.h>

using namespace teststore;

namespace mainwintest {

void MainWindowTest::seedStore()
{
    seed = std::make_unique<StoreSeed>(kMasterPassword);
    seed->group(G1, "Finance");
    seed->group(G2, "Servers");
    seed->group(G3, "Vault", 1, true); // the group's word prevails: add only
    seed->group(G4, "Archive", 0, true); // no record rights at all, and no records
    seed->type(TWeb, "Web log-in", 12, 0b100, {"URL", "User", "Password"});
    seed->type(TBank, "Bank Account", 5, 0b10, {"Bank", "Number", "PIN"});
    seed->type(TServer, "Server", 40, 0, {"Host", "Account", "Password"});
    for (const QString& g : {G1, G2, G3, G4})
        seed->member(aliceID, g);
    seed->record({R1, G1, TWeb, {"mail", "alice", "s3cret", "", "", "", "", "", "", "2026-11-03 10:31:02 +0000"}});
    seed->record({R2, G1, TBank, {"Bank of Nowhere", "12-34", ""}, "branch in town"});
    seed->record({R3, G1, TWeb, {"Admin portal", "root", "pw2", "", "", "", "", "", "", "2026-10-21 08:00:00 +0000"}});
    seed->record({R4, G1, TBank, {"Credit union", "99", "0000"}, "", false, true});
    seed->customType(R4, 7, 0b1, {"Institution", "Number", "PIN"});
    seed->record({R5, G2, TServer, {"db1", "postgres", "pw3"}});
    seed->record({R6, G3, TServer, {"vault-host", "ops", "pw4"}});
    seed->attachment(R6, "keys.txt", "0123456789abcdef");
    rootExec(QString("UPDATE tolvanexdb.RECORDTABLE SET HASATTACHMENT=1 WHERE RECORDID='%1'").arg(R6));
}

void MainWindowTest::SetUp()
{
    StoreTest::SetUp();
    if (demoStore) {
        TVXStoreCreator creator(rootConnection());
        const StoreResult added = creator.addDemoContent(aliceID);
        ASSERT_TRUE(added.ok) << added.message.toStdString();
    } else {
        seedStore();
    }

    {
        // The preference row a first start makes.
        TVXDataBase first;
        ASSERT_EQ(logInAndLoad(first), kTVXDone);
        givePreferenceRow(aliceID, kUserName);
    }
    db = std::make_unique<TVXDataBase>();
    ASSERT_EQ(logInAndLoad(*db), kTVXDone);
    controller = std::make_unique<BMController>(db.get());
    window = tvxtest::createMainWindow(*controller);
}

void MainWindowTest::TearDown()
{
    window = nullptr; // the controller deletes its window
    controller.reset();
    db.reset();
    StoreTest::TearDown();
}

void MainWindowTest::chooseGroup(const QString& name)
{
    QComboBox* popup = window->mCategoriesPopup;
    for (int i = 0; i < popup->count(); ++i)
        if (popup->itemText(i) == name || popup->itemText(i).startsWith(name + QStringLiteral(" ("))) {
            popup->setCurrentIndex(i);
            controller->tables().changeCategory();
            return;
        }
    ADD_FAILURE() << "no group " << name.toStdString();
}

QStringList MainWindowTest::listValue1s() const
{
    QStringList values;
    for (int row = 0; row < controller->tables().listModel()->rowCount(); ++row)
        values.append(controller->tables().listModel()->data(controller->tables().listModel()->index(row, 3), Qt::DisplayRole).toString());
    return values;
}

int MainWindowTest::listRowOf(const QString& recordUID) const
{
    const auto& records = controller->tables().listModel()->records();
    for (int row = 0; row < records.size(); ++row)
        if (records.at(row)->mRecordUID() == recordUID)
            return row;
    return -1;
}

} // namespace mainwintest
