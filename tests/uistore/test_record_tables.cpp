// The main window's record views over a real store: what each view lists,
// masking, sorting, searching, and what selecting and dragging a record does
// on the server.
#include "MainWindowFixture.h"

#include "model/BMGroup.h"
#include "model/TVXRecord.h"
#include "model/TVXType.h"
#include "model/TVXUser.h"
#include "store/eventlog/TVXEventLogger.h"
#include "views/BMTableView.h"
#include "views/BMViewRoles.h"

#include <QHeaderView>
#include <QLineEdit>
#include <QMenu>
#include <QMimeData>
#include <QSignalSpy>
#include <QSplitter>
#include <QStackedWidget>
#include <QTest>
#include <QToolButton>
#include <QTreeView>

#include <cppconn/connection.h>
#include <cppconn/resultset.h>
#include <cppconn/statement.h>

#include <map>

using namespace mainwintest;
using namespace teststore;

namespace {

QStringList column(const QAbstractItemModel& model, int col = 0, const QModelIndex& parent = {})
{
    QStringList out;
    for (int row = 0; row < model.rowCount(parent); ++row)
        out.append(model.data(model.index(row, col, parent), Qt::DisplayRole).toString());
    return out;
}

} // namespace

TEST_F(MainWindowTest, GroupPopUpCountsRecordsAndColumnViewListsTheGroupsTypes)
{
    QStringList titles;
    for (int i = 0; i < window->mCategoriesPopup->count(); ++i)
        titles.append(window->mCategoriesPopup->itemText(i));
    EXPECT_TRUE(titles.contains("Finance (4)"));
    EXPECT_TRUE(titles.contains("Servers (1)"));
    EXPECT_EQ(titles.last(), "Edit Groups...");

    chooseGroup("Finance");
    controller->tables().changeView(kColumnViewTag);
    EXPECT_EQ(column(*controller->tables().typesModel()), QStringList({"Bank Account", "Web log-in"}));
    const auto* types = controller->tables().typesModel();
    EXPECT_EQ(types->data(types->index(0, 0), kCountRole).toInt(), 2);
    EXPECT_FALSE(types->data(types->index(0, 0), Qt::DecorationRole).value<QImage>().isNull());

    // The smart table always has its three rows, empty as they are.
    EXPECT_EQ(column(*controller->tables().smartModel()), QStringList({"Most Viewed", "Recently Modified", "Recently Viewed"}));
    for (int row = 0; row < 3; ++row)
        EXPECT_EQ(controller->tables().smartModel()->data(controller->tables().smartModel()->index(row, 0), kCountRole).toInt(), 0);

    // No type chosen: no record names; a type lists its records by value 1.
    EXPECT_EQ(controller->tables().namesModel()->rowCount(), 0);
    window->mColumnViewTypesTable->selectRow(1);
    EXPECT_EQ(column(*controller->tables().namesModel()), QStringList({"Admin portal", "mail"}));

    chooseGroup("Servers");
    EXPECT_EQ(column(*controller->tables().typesModel()), QStringList({"Server"}));
    EXPECT_EQ(db->caches().mCurrentUser()->mCurrentGroup(), G2);
    EXPECT_EQ(serverValue(QString("SELECT CURRENTCATEGORY FROM tolvanexdb.APPPREFTABLE WHERE USERID='%1'").arg(aliceID)), G2);
}

TEST_F(MainWindowTest, ListViewShowsEveryRecordOfTheGroupMaskedByTheEffectiveType)
{
    chooseGroup("Finance");
    controller->tables().changeView(kListViewTag);
    controller->popUps().setShouldMask(false);
    auto* list = controller->tables().listModel();
    ASSERT_EQ(listValue1s(), QStringList({"Admin portal", "Bank of Nowhere", "Credit union", "mail"}));

    controller->popUps().setShouldMask(true);
    const int mail = listRowOf(R1);
    EXPECT_EQ(list->data(list->index(mail, 1), Qt::DisplayRole).toString(), "Web log-in");
    EXPECT_EQ(list->data(list->index(mail, 2), Qt::DisplayRole).toString(), "Finance");
    EXPECT_EQ(list->data(list->index(mail, 5), Qt::DisplayRole).toString(), "******"); // value 3, masked
    EXPECT_EQ(list->data(list->index(mail, 4), Qt::DisplayRole).toString(), "alice");
    EXPECT_EQ(list->data(list->index(mail, 12), Qt::DisplayRole).toString(), "November 03,2026");
    // Masked but empty stays empty.
    const int bank = listRowOf(R2);
    EXPECT_EQ(list->data(list->index(bank, 4), Qt::DisplayRole).toString(), "******");
    EXPECT_EQ(list->data(list->index(bank, 5), Qt::DisplayRole).toString(), "");
    EXPECT_FALSE(list->data(list->index(bank, 13), Qt::DecorationRole).isNull()); // has notes
    EXPECT_TRUE(list->data(list->index(mail, 13), Qt::DecorationRole).isNull());
    // A customised record masks by its own type but still names its base type.
    const int credit = listRowOf(R4);
    EXPECT_EQ(list->data(list->index(credit, 1), Qt::DisplayRole).toString(), "Bank Account");
    EXPECT_EQ(list->data(list->index(credit, 3), Qt::DisplayRole).toString(), "******");
    EXPECT_EQ(list->data(list->index(credit, 4), Qt::DisplayRole).toString(), "99");

    // Unmasking shows the plain values at once.
    controller->popUps().setShouldMask(false);
    EXPECT_EQ(list->data(list->index(mail, 5), Qt::DisplayRole).toString(), "s3cret");
    EXPECT_EQ(list->data(list->index(credit, 3), Qt::DisplayRole).toString(), "Credit union");
}

TEST_F(MainWindowTest, SortingTheListByAColumnIsKeptAsTheUsersSortOrder)
{
    chooseGroup("Finance");
    controller->tables().changeView(kListViewTag);
    controller->popUps().setShouldMask(false);
    // By value 2, descending: "root", "alice", "99", "12-34".
    window->mListViewTypesTable->horizontalHeader()->setSortIndicator(4, Qt::DescendingOrder);
    EXPECT_EQ(listValue1s(), QStringList({"Admin portal", "mail", "Credit union", "Bank of Nowhere"}));
    ASSERT_TRUE(db->caches().mCurrentUser()->mSortingInfo().has_value());
    EXPECT_EQ(db->caches().mCurrentUser()->mSortingInfo()->key, "4");
    EXPECT_FALSE(db->caches().mCurrentUser()->mSortingInfo()->ascending);

    // Leaving the list stores the sort with the column widths.
    window->mListViewTypesTable->horizontalHeader()->resizeSection(3, 0);
    controller->tables().changeView(kColumnViewTag);
    TVXDataBase again;
    ASSERT_EQ(logInAndLoad(again), kTVXDone);
    ASSERT_TRUE(again.caches().mCurrentUser()->mSortingInfo().has_value());
    EXPECT_EQ(again.caches().mCurrentUser()->mSortingInfo()->key, "4");
    EXPECT_FALSE(again.caches().mCurrentUser()->mSortingInfo()->ascending);
}

TEST_F(MainWindowTest, SearchNarrowsTheViewsAndTheGroupCounts)
{
    chooseGroup("Finance");
    controller->tables().changeView(kListViewTag);
    QTest::keyClicks(window->mSearchField, "BANK");
    EXPECT_EQ(listValue1s(), QStringList({"Bank of Nowhere"}));
    EXPECT_EQ(window->mCategoriesPopup->currentText(), "Finance (1)");
    window->mSearchField->clear();
    EXPECT_EQ(listValue1s().size(), 4);
}

TEST_F(MainWindowTest, SelectingOneRecordCountsAViewOnTheServerOnce)
{
    chooseGroup("Finance");
    controller->tables().changeView(kListViewTag);
    const auto record = db->caches().getRecordForUID(R3);
    const int before = record->mViewCounter();
    window->mListViewTypesTable->selectRow(listRowOf(R3));

    EXPECT_EQ(record->mViewCounter(), before + 1);
    EXPECT_EQ(serverValue(QString("SELECT VIEWCOUNT FROM tolvanexdb.RECORDTABLE WHERE RECORDID='%1'").arg(R3)), "1");
    EXPECT_EQ(serverValue(QString("SELECT COUNT(*) FROM tolvanexdb.RECENTLYVIEWEDTABLE WHERE USERID='%1' AND RECORDID='%2'")
                              .arg(aliceID, R3)),
              "1");
    EXPECT_EQ(serverValue("SELECT COUNT(*) FROM tolvanexdb.EVENTLOGGERTABLE WHERE EVENT='View Record'"), "1");
    // The masked password never reaches the log.
    EXPECT_EQ(serverValue("SELECT COUNT(*) FROM tolvanexdb.EVENTLOGGERTABLE WHERE DESCRIPTION LIKE '%pw2%'"), "0");
    EXPECT_EQ(controller->tables().itemPropertiesForTableViewSelectedRow(), record);

    // Several rows: nothing is counted, the commands for one record are off.
    QTest::keyClick(window->mListViewTypesTable, Qt::Key_Down, Qt::ShiftModifier);
    EXPECT_EQ(serverValue("SELECT COUNT(*) FROM tolvanexdb.EVENTLOGGERTABLE WHERE EVENT='View Record'"), "1");
    EXPECT_FALSE(window->mEditButton->isEnabled());
    EXPECT_FALSE(window->mListDuplicateButton->isEnabled());
    EXPECT_TRUE(window->mDeleteButton->isEnabled());
}

TEST_F(MainWindowTest, ABurstOfClicksGoesOutBehindTheWindowAndReachesTheServerInOrder)
{
    chooseGroup("Finance");
    controller->tables().changeView(kListViewTag);
    // Another session holds the first record's row: whatever the clicks write waits behind it.
    auto holder = teststore::rootConnection();
    std::unique_ptr<sql::Statement> hold(holder->createStatement());
    hold->execute("START TRANSACTION");
    std::unique_ptr<sql::ResultSet>(
        hold->executeQuery(QString("SELECT VIEWCOUNT FROM tolvanexdb.RECORDTABLE WHERE RECORDID='%1' FOR UPDATE")
                               .arg(R1)
                               .toStdString()))
        ->next();

    const QStringList clicked = {R1, R2, R3, R4, R1};
    std::map<QString, int> views;
    for (const QString& uid : clicked)
        views[uid] = db->caches().getRecordForUID(uid)->mViewCounter();
    for (const QString& uid : clicked) {
        window->mListViewTypesTable->selectRow(listRowOf(uid));
        window->mListViewTypesTable->clearSelection();
    }
    // The window took the clicks at once: memory shows them, the server has none yet.
    EXPECT_EQ(db->caches().getRecordForUID(R1)->mViewCounter(), views[R1] + 2);
    EXPECT_EQ(db->recentLists().mRecentlyViewedTypes(), QStringList({R1, R2, R3, R4}));
    EXPECT_FALSE(db->writeBehind().isIdle());
    EXPECT_EQ(teststore::rootQueryValue("SELECT COUNT(*) FROM tolvanexdb.EVENTLOGGERTABLE WHERE EVENT='View Record'"),
              "0");
    hold->execute("ROLLBACK");

    for (const auto& [uid, before] : views)
        EXPECT_EQ(serverValue(QString("SELECT VIEWCOUNT FROM tolvanexdb.RECORDTABLE WHERE RECORDID='%1'").arg(uid)),
                  QString::number(before + (uid == R1 ? 2 : 1)));
    EXPECT_EQ(serverValue(QString("SELECT GROUP_CONCAT(RECORDID ORDER BY ROWKEY) FROM tolvanexdb.RECENTLYVIEWEDROWS "
                                  "WHERE USERID='%1'")
                              .arg(aliceID)),
              QStringList({R1, R2, R3, R4}).join(','));
    const QStringList described = serverValue("SELECT GROUP_CONCAT(DESCRIPTION ORDER BY ROWKEY SEPARATOR '|') FROM "
                                              "tolvanexdb.EVENTLOGGERTABLE WHERE EVENT='View Record'")
                                      .split('|');
    QStringList expected;
    for (const QString& uid : clicked)
        expected.append(TVXEventLogger::recordDescription(*db->caches().getRecordForUID(uid)));
    EXPECT_EQ(described, expected);
    // A later log-in reads the lists as the clicks left them.
    TVXDataBase again;
    ASSERT_EQ(logInAndLoad(again), kTVXDone);
    EXPECT_EQ(again.recentLists().mRecentlyViewedTypes(), QStringList({R1, R2, R3, R4}));
    EXPECT_EQ(again.caches().getRecordForUID(R1)->mViewCounter(), views[R1] + 2);
}

TEST_F(MainWindowTest, ViewingARecordInTheColumnViewFillsMostViewedAndKeepsTheSelection)
{
    chooseGroup("Finance");
    controller->tables().changeView(kColumnViewTag);
    window->mColumnViewTypesTable->selectRow(1); // Web log-in
    window->mColumnViewDescriptionTable->selectRow(1); // mail
    EXPECT_EQ(serverValue(QString("SELECT COUNT(*) FROM tolvanexdb.MOSTVIEWEDTABLE WHERE USERID='%1'").arg(aliceID)), "1");
    EXPECT_EQ(controller->tables().smartModel()->data(controller->tables().smartModel()->index(2, 0), kCountRole).toInt(), 1);
    EXPECT_EQ(controller->tables().itemPropertiesForTableViewSelectedRow()->mRecordUID(), R1);
    EXPECT_EQ(controller->tables().typeUIDForTableViewSelectedRow()->mTypeUID(), TWeb);
    EXPECT_TRUE(controller->popUps().validateWebLogin());

    // The smart type lists what was viewed; it gives no type.
    window->mSmartTypesTable->selectRow(2);
    EXPECT_EQ(column(*controller->tables().namesModel()), QStringList({"mail"}));
    EXPECT_EQ(controller->tables().typeUIDForTableViewSelectedRow(), nullptr);
    EXPECT_EQ(controller->tables().selectedSmartRecord(), nullptr);
}

TEST_F(MainWindowTest, TreeViewListsTypesWithTheirRecords)
{
    chooseGroup("Finance");
    controller->tables().changeView(kTreeViewTag);
    auto* outline = controller->tables().outlineModel();
    ASSERT_EQ(column(*outline), QStringList({"Bank Account", "Web log-in"}));
    EXPECT_EQ(column(*outline, 0, outline->index(0, 0)), QStringList({"Bank of Nowhere", "Credit union"}));
    EXPECT_TRUE(outline->hasChildren(outline->index(0, 0)));

    // A type row is no record: the record commands are off.
    window->mTreeViewOutlineView->setCurrentIndex(outline->index(1, 0));
    EXPECT_EQ(controller->tables().selectedType()->mTypeUID(), TWeb);
    EXPECT_EQ(controller->tables().itemPropertiesForTableViewSelectedRow(), nullptr);
    EXPECT_FALSE(window->mEditButton->isEnabled());
    window->mTreeViewOutlineView->setCurrentIndex(outline->index(0, 0, outline->index(1, 0)));
    EXPECT_EQ(controller->tables().itemPropertiesForTableViewSelectedRow()->mRecordUID(), R3);
    EXPECT_TRUE(window->mEditButton->isEnabled());

    // Drops go onto a type itself only.
    std::unique_ptr<QMimeData> drag(outline->mimeData({outline->index(0, 0, outline->index(1, 0))}));
    EXPECT_TRUE(outline->canDropMimeData(drag.get(), Qt::MoveAction, -1, -1, outline->index(0, 0)));
    EXPECT_FALSE(outline->canDropMimeData(drag.get(), Qt::MoveAction, 0, 0, outline->index(0, 0)));
    EXPECT_FALSE(outline->canDropMimeData(drag.get(), Qt::MoveAction, -1, -1, outline->index(0, 0, outline->index(0, 0))));
    EXPECT_FALSE(outline->canDropMimeData(drag.get(), Qt::MoveAction, 1, 0, QModelIndex()));
}

TEST_F(MainWindowTest, DroppingARecordOnATypeRetypesItOnTheServer)
{
    chooseGroup("Finance");
    controller->tables().changeView(kColumnViewTag);
    auto* types = controller->tables().typesModel();
    std::unique_ptr<QMimeData> drag(recordMimeData(R4));
    // Onto "Web log-in": the record's own type goes, and so does its customisation.
    ASSERT_TRUE(types->dropMimeData(drag.get(), Qt::MoveAction, -1, -1, types->index(1, 0)));
    EXPECT_EQ(serverValue(QString("SELECT TYPEUID FROM tolvanexdb.RECORDTABLE WHERE RECORDID='%1'").arg(R4)), TWeb);
    EXPECT_EQ(serverValue(QString("SELECT HASCUSTOMFIELD FROM tolvanexdb.RECORDTABLE WHERE RECORDID='%1'").arg(R4)), "0");
    EXPECT_EQ(db->caches().getRecordForUID(R4)->mRecordCustomType(), nullptr);
    QCoreApplication::processEvents(); // the types' counts follow once the drop has ended
    EXPECT_EQ(types->data(types->index(0, 0), kCountRole).toInt(), 1);
    EXPECT_EQ(types->data(types->index(1, 0), kCountRole).toInt(), 3);

    // Dropping onto the type it has stores it again and succeeds.
    std::unique_ptr<QMimeData> again(recordMimeData(R1));
    EXPECT_TRUE(types->dropMimeData(again.get(), Qt::MoveAction, -1, -1, types->index(1, 0)));
}

TEST_F(MainWindowTest, ADropWithoutTheEditRightIsRefusedAndChangesNothing)
{
    tvxtest::AlertRecorder alerts;
    chooseGroup("Vault");
    controller->tables().changeView(kColumnViewTag);
    EXPECT_FALSE(controller->tables().tableViewAcceptDrop(R6, db->caches().typeWithUID(TWeb)));
    EXPECT_EQ(alerts.lastMessage(), " You don't have sufficient access permissions.");
    EXPECT_EQ(serverValue(QString("SELECT TYPEUID FROM tolvanexdb.RECORDTABLE WHERE RECORDID='%1'").arg(R6)), TServer);
    EXPECT_EQ(db->caches().getRecordForUID(R6)->mType()->mTypeUID(), TServer);
}

TEST_F(MainWindowTest, AStaleRecordDropAlertsAndKeepsTheTypeTheServerHas)
{
    tvxtest::AlertRecorder alerts;
    chooseGroup("Finance");
    rootExec(QString("DELETE FROM tolvanexdb.RECORDTABLE WHERE RECORDID='%1'").arg(R2));
    EXPECT_FALSE(controller->tables().outlineViewAcceptDrop(R2, db->caches().typeWithUID(TWeb)));
    EXPECT_EQ(alerts.lastMessage(), "Operation failed. Please reload the database first.");
    EXPECT_EQ(db->caches().getRecordForUID(R2)->mType()->mTypeUID(), TBank);

    // A write the server refuses outright is told too, not passed over in silence.
    rootExec("CREATE TRIGGER tolvanexdb.refuse_drop BEFORE UPDATE ON tolvanexdb.RECORDROWS FOR EACH ROW "
             "SIGNAL SQLSTATE '45000' SET MESSAGE_TEXT='refused for the test'");
    const auto shown = alerts.alerts().size();
    EXPECT_FALSE(controller->tables().outlineViewAcceptDrop(R1, db->caches().typeWithUID(TBank)));
    rootExec("DROP TRIGGER tolvanexdb.refuse_drop");
    EXPECT_EQ(alerts.alerts().size(), shown + 1);
    EXPECT_EQ(alerts.lastMessage(), "Operation failed. Please reload the database first.");
    EXPECT_EQ(db->caches().getRecordForUID(R1)->mType()->mTypeUID(), TWeb);
}

TEST_F(MainWindowTest, ContextMenuRetypesEverySelectedRecord)
{
    chooseGroup("Finance");
    controller->tables().changeView(kListViewTag);
    auto* table = window->mListViewTypesTable;
    table->selectRow(listRowOf(R1));
    for (const QString& uid : {R2, R3})
        table->selectionModel()->select(controller->tables().listModel()->index(listRowOf(uid), 0),
                                        QItemSelectionModel::Select | QItemSelectionModel::Rows);
    const auto types = db->caches().typesForEditing();
    int serverTag = -1;
    for (int i = 0; i < types.size(); ++i)
        if (types.at(i)->mTypeUID() == TServer)
            serverTag = i;
    ASSERT_GE(serverTag, 0);
    controller->popUps().contextTypeMenuChanged(serverTag);
    for (const QString& uid : {R1, R2, R3})
        EXPECT_EQ(serverValue(QString("SELECT TYPEUID FROM tolvanexdb.RECORDTABLE WHERE RECORDID='%1'").arg(uid)), TServer);
    EXPECT_EQ(serverValue(QString("SELECT TYPEUID FROM tolvanexdb.RECORDTABLE WHERE RECORDID='%1'").arg(R4)), TBank);

    // The menu ticks the one type the selection shares.
    QMenu* menu = controller->tables().extendMenuforEventInTableView(table, table->visualRect(controller->tables().listModel()->index(listRowOf(R1), 3)).center());
    ASSERT_NE(menu, nullptr);
    QMenu* typeMenu = BMMainWindow::menuItemWithTag(menu, 701)->menu();
    QStringList ticked;
    for (QAction* a : typeMenu->actions())
        if (a->isChecked())
            ticked.append(a->text());
    EXPECT_EQ(ticked, QStringList({"Server"}));
}

TEST_F(MainWindowTest, MovingARecordToAnotherGroupFromTheContextMenu)
{
    chooseGroup("Finance");
    controller->tables().changeView(kListViewTag);
    window->mListViewTypesTable->selectRow(listRowOf(R2));
    const auto groups = db->caches().groupsWithPermission(kPermissionAdd);
    int servers = -1;
    for (int i = 0; i < groups.size(); ++i)
        if (groups.at(i)->mGroupUID() == G2)
            servers = i;
    ASSERT_GE(servers, 0);
    controller->popUps().setShouldMask(false);
    QSignalSpy reloads(controller->tables().listModel(), &QAbstractItemModel::modelReset);
    controller->popUps().contextCategoryMenuChanged(servers);
    EXPECT_EQ(serverValue(QString("SELECT GROUPUID FROM tolvanexdb.RECORDTABLE WHERE RECORDID='%1'").arg(R2)), G2);
    EXPECT_EQ(listValue1s(), QStringList({"Admin portal", "Credit union", "mail"}));
    // The list showed the move before the command returned; the store's notice adds no reload.
    QCoreApplication::processEvents();
    EXPECT_EQ(reloads.size(), 1);
}

TEST_F(MainWindowTest, TheWindowFollowsWritesMadePastTheController)
{
    chooseGroup("Finance");
    controller->tables().changeView(kListViewTag);
    controller->popUps().setShouldMask(false);
    QSignalSpy reloads(controller->tables().listModel(), &QAbstractItemModel::modelReset);

    // Two records stored straight into the store: one reload, once the event loop turns.
    for (const char* name : {"vpn", "wiki"}) {
        auto record = TVXRecord::createRecord();
        record->setMGroup(db->caches().mGroups().value(G1));
        record->setMType(db->caches().typeWithUID(TWeb));
        record->setMValue1(name);
        ASSERT_EQ(db->addRecord(record), kTVXDone);
    }
    QCoreApplication::processEvents();
    EXPECT_EQ(listValue1s(), QStringList({"Admin portal", "Bank of Nowhere", "Credit union", "mail", "vpn", "wiki"}));
    EXPECT_EQ(window->mCategoriesPopup->currentText(), "Finance (6)");
    EXPECT_EQ(reloads.size(), 1);

    // A group renamed: the pop-up names it anew, and the shown group stays.
    const auto renamed = db->caches().mGroups().value(G2);
    renamed->setMGroupName("Hosts");
    ASSERT_EQ(db->updateGroup(renamed), kTVXDone);
    QCoreApplication::processEvents();
    EXPECT_GE(window->mCategoriesPopup->findText("Hosts (1)"), 0);
    EXPECT_EQ(window->mCategoriesPopup->currentText(), "Finance (6)");

    // The shown group deleted: the first group left takes over, with its own records.
    ASSERT_EQ(db->deleteGroup(*db->caches().mGroups().value(G1)), kTVXDone);
    QCoreApplication::processEvents();
    const auto first = db->caches().groupsForEditing().value(0);
    ASSERT_NE(first, nullptr);
    EXPECT_TRUE(window->mCategoriesPopup->currentText().startsWith(first->mGroupName()));
    EXPECT_EQ(db->caches().mCurrentUser()->mCurrentGroup(), first->mGroupUID());
    for (const auto& record : controller->tables().listModel()->records())
        EXPECT_EQ(record->mGroup()->mGroupUID(), first->mGroupUID());
}

TEST_F(MainWindowTest, LockedWindowShowsNoRows)
{
    chooseGroup("Finance");
    controller->tables().changeView(kListViewTag);
    EXPECT_EQ(controller->tables().listModel()->rowCount(), 4);
    controller->tables().setMShouldLockInfoDisplay(true);
    EXPECT_EQ(controller->tables().listModel()->rowCount(), 0);
    controller->tables().changeView(kColumnViewTag);
    EXPECT_EQ(controller->tables().typesModel()->rowCount(), 0);
    EXPECT_EQ(controller->tables().smartModel()->rowCount(), 0);
    controller->tables().setMShouldLockInfoDisplay(false);
    EXPECT_EQ(controller->tables().typesModel()->rowCount(), 2);
}

TEST_F(MainWindowTest, ExportListsFollowTheView)
{
    chooseGroup("Finance");
    controller->tables().changeView(kListViewTag);
    EXPECT_EQ(controller->popUps().indexSetForExporting(true).size(), 4);
    EXPECT_TRUE(controller->popUps().indexSetForExporting(false).isEmpty());
    window->mListViewTypesTable->selectRow(listRowOf(R2));
    ASSERT_EQ(controller->popUps().indexSetForExporting(false).size(), 1);
    EXPECT_EQ(controller->popUps().indexSetForExporting(false).first()->mRecordUID(), R2);
    controller->tables().changeView(kTreeViewTag);
    EXPECT_EQ(controller->popUps().indexSetForExporting(true).size(), 4);
}

TEST_F(MainWindowTest, HidingAndShowingTheDetailPaneRestoresTheSplit)
{
    window->show();
    window->mMainSplitView->setSizes({700, 400});
    const QList<int> before = window->mMainSplitView->sizes();
    controller->tables().toggleInfoView(false);
    EXPECT_TRUE(window->mDetailsViewContainer->isHidden());
    EXPECT_EQ(BMMainWindow::menuItemWithTag(window->mViewMenu, kToggleDetailsMenuItemTag)->text(), "Show Details");
    EXPECT_FALSE(window->mListToggleInfoButton->isChecked());
    EXPECT_EQ(serverValue(QString("SELECT SHOWDETAILPANE FROM tolvanexdb.APPPREFTABLE WHERE USERID='%1'").arg(aliceID)), "0");
    controller->tables().toggleInfoViewFromMenu();
    EXPECT_FALSE(window->mDetailsViewContainer->isHidden());
    // Within the splitter's rounding of a layout pass while the pane was hidden.
    const QList<int> after = window->mMainSplitView->sizes();
    ASSERT_EQ(after.size(), before.size());
    for (int i = 0; i < before.size(); ++i)
        EXPECT_NEAR(after[i], before[i], 1) << i;
    EXPECT_EQ(BMMainWindow::menuItemWithTag(window->mViewMenu, kToggleDetailsMenuItemTag)->text(), "Hide Details");
}

TEST_F(MainWindowTest, TheViewSwitchIsKeptAsTheUsersLastView)
{
    controller->tables().changeView(kTreeViewTag);
    EXPECT_EQ(window->mTabView->currentIndex(), kTreeViewTag);
    EXPECT_EQ(serverValue(QString("SELECT LASTVIEW FROM tolvanexdb.APPPREFTABLE WHERE USERID='%1'").arg(aliceID)), "2");
    EXPECT_EQ(window->windowTitle(), "Tolvanex Enterprise - alice");
}

TEST_F(MainWindowTest, APrintedListShowsValuesUnmasked)
{
    chooseGroup("Finance");
    controller->tables().changeView(kListViewTag);
    controller->popUps().setShouldMask(true);
    auto* list = controller->tables().listModel();
    const int mail = listRowOf(R1);
    EXPECT_EQ(list->data(list->index(mail, 5), Qt::DisplayRole).toString(), "******");
    EXPECT_EQ(list->printValue(mail, 5).toString(), "s3cret");
    EXPECT_EQ(list->printValue(mail, 12).toString(), "November 03,2026");
    EXPECT_EQ(list->printValue(listRowOf(R2), 13).toString(), "branch in town");
    EXPECT_EQ(list->printValue(mail, 13).toString(), "");
    EXPECT_FALSE(list->printValue(99, 3).isValid());
}

TEST_F(MainWindowTest, SwitchingBackToTheListKeepsItsSelectedRecord)
{
    chooseGroup("Finance");
    controller->tables().changeView(kListViewTag);
    window->mListViewTypesTable->selectRow(listRowOf(R3));
    controller->tables().changeView(kColumnViewTag);
    controller->tables().changeView(kListViewTag);
    ASSERT_NE(controller->tables().itemPropertiesForTableViewSelectedRow(), nullptr);
    EXPECT_EQ(controller->tables().itemPropertiesForTableViewSelectedRow()->mRecordUID(), R3);
    // Putting the selection back is not a second view.
    EXPECT_EQ(serverValue("SELECT COUNT(*) FROM tolvanexdb.EVENTLOGGERTABLE WHERE EVENT='View Record'"), "1");
}
