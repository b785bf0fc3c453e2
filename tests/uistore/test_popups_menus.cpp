// Pop-ups, menus, the context menu's group list, list columns and the
// commands' enabling, over a real store.
#include "MainWindowFixture.h"

#include "model/BMGroup.h"
#include "model/TVXRecord.h"
#include "model/TVXType.h"
#include "model/TVXUser.h"
#include "platform/ui/Pasteboard.h"
#include "views/BMTableView.h"
#include "views/BMViewRoles.h"

#include <QAction>
#include <QCoreApplication>
#include <QLineEdit>
#include <QHeaderView>
#include <QMenu>
#include <QMimeData>
#include <QToolButton>
#include <QTreeView>

using namespace mainwintest;
using namespace teststore;

namespace {

QAction* item(BMMainWindow* window, int tag)
{
    return window->menuItemWithTag(tag);
}

} // namespace

TEST_F(MainWindowTest, AGroupWithoutRecordsIsListedByItsBareName)
{
    QStringList titles;
    for (int i = 0; i < window->mCategoriesPopup->count(); ++i)
        titles.append(window->mCategoriesPopup->itemText(i));
    EXPECT_TRUE(titles.contains("Archive"));
    EXPECT_FALSE(titles.contains("Archive (0)"));
    chooseGroup("Archive");
    EXPECT_EQ(controller->tables().typesModel()->rowCount(), 0);
    EXPECT_EQ(controller->tables().selectedGroup()->mGroupUID(), G4);
}

TEST_F(MainWindowTest, CopyItemsFollowTheSelectedRecordsFields)
{
    chooseGroup("Finance");
    controller->tables().changeView(kListViewTag);
    window->mListViewTypesTable->selectRow(listRowOf(R1)); // mail: URL, User, Password; value 4 empty
    controller->popUps().validateUIControls();
    EXPECT_EQ(item(window, kCopyField1MenuItemTag)->text(), "Copy URL");
    EXPECT_TRUE(item(window, kCopyField1MenuItemTag)->isEnabled());
    EXPECT_EQ(item(window, kCopyField1MenuItemTag + 3)->text(), "Field 4");
    EXPECT_FALSE(item(window, kCopyField1MenuItemTag + 3)->isEnabled());
    EXPECT_FALSE(item(window, kCopyNotesMenuItemTag)->isEnabled());
    EXPECT_EQ(item(window, kCopyCategoryMenuItemTag)->text(), "Copy Group");

    // A customised record names its own fields.
    window->mListViewTypesTable->selectRow(listRowOf(R4));
    controller->popUps().validateUIControls();
    EXPECT_EQ(item(window, kCopyField1MenuItemTag)->text(), "Copy Institution");
}

TEST_F(MainWindowTest, MenuItemsAreEnabledByViewSelectionAndPasteboard)
{
    window->show();
    chooseGroup("Finance");
    controller->tables().changeView(kListViewTag);
    EXPECT_FALSE(controller->popUps().validateMenuItem(item(window, kListViewTag)));
    EXPECT_TRUE(controller->popUps().validateMenuItem(item(window, kTreeViewTag)));
    EXPECT_TRUE(controller->popUps().validateMenuItem(item(window, kSelectAllMenuItemTag)));
    EXPECT_FALSE(controller->popUps().validateMenuItem(item(window, kEditItemMenuItemTag)));
    EXPECT_FALSE(controller->popUps().validateMenuItem(item(window, kDeleteItemMenuItemTag)));

    window->mListViewTypesTable->selectRow(listRowOf(R1));
    EXPECT_TRUE(controller->popUps().validateMenuItem(item(window, kEditItemMenuItemTag)));
    EXPECT_TRUE(controller->popUps().validateMenuItem(item(window, kWebLoginMenuItemTag)));
    window->mListViewTypesTable->selectRow(listRowOf(R2));
    EXPECT_FALSE(controller->popUps().validateMenuItem(item(window, kWebLoginMenuItemTag))); // not a web log-in

    auto& board = platform::Pasteboard::generalPasteboard();
    board.setString("plain text");
    EXPECT_FALSE(controller->popUps().validateMenuItem(item(window, kPasteMenuItemTag)));
    board.setString("Tolvanex qVX File -v3.0\n...");
    EXPECT_TRUE(controller->popUps().validateMenuItem(item(window, kPasteMenuItemTag)));

    // The tree: a type row is no record for the record commands.
    controller->tables().changeView(kTreeViewTag);
    EXPECT_FALSE(controller->popUps().validateMenuItem(item(window, kSelectAllMenuItemTag)));
    window->mTreeViewOutlineView->setCurrentIndex(controller->tables().outlineModel()->index(0, 0));
    EXPECT_TRUE(controller->popUps().isItemNotSelected());
    EXPECT_FALSE(controller->popUps().validateMenuItem(item(window, kDuplicateItemMenuItemTag)));

    // While a print dialog is up nothing of the window is enabled.
    window->hide();
    EXPECT_FALSE(controller->popUps().validateMenuItem(item(window, kTreeViewTag)));
}

TEST_F(MainWindowTest, ARecordWithAnAttachmentOffersToDeleteIt)
{
    chooseGroup("Vault");
    controller->tables().changeView(kTreeViewTag);
    auto* outline = controller->tables().outlineModel();
    window->mTreeViewOutlineView->setCurrentIndex(outline->index(0, 0, outline->index(0, 0)));
    EXPECT_EQ(window->mAttachmentButton->toolTip(), "Delete Attachment");
    EXPECT_EQ(item(window, kAttachmentMenuItemTag)->text(), "Delete Attachment");
    window->mTreeViewOutlineView->setCurrentIndex(outline->index(0, 0));
    EXPECT_EQ(window->mAttachmentButton->toolTip(), "Add Attachment");
    EXPECT_FALSE(window->mAttachmentButton->isEnabled());
}

TEST_F(MainWindowTest, TheGroupSubmenuAlwaysShowsTheCurrentGroup)
{
    chooseGroup("Archive"); // no add right here
    controller->popUps().initContextualCategorySubMenu();
    QMenu* groups = BMMainWindow::menuItemWithTag(controller->popUps().mItemContextualMenu(), 702)->menu();
    QStringList titles;
    QAction* archive = nullptr;
    for (QAction* a : groups->actions()) {
        titles.append(a->text());
        if (a->text() == "Archive")
            archive = a;
    }
    EXPECT_EQ(titles, QStringList({"Archive", "Finance", "Servers", "Vault"}));
    ASSERT_NE(archive, nullptr);
    EXPECT_FALSE(archive->isEnabled());
}

TEST_F(MainWindowTest, ColumnWidthsAreKeptAndAZeroWidthComesBackAt70)
{
    chooseGroup("Finance");
    controller->tables().changeView(kListViewTag);
    QHeaderView* header = window->mListViewTypesTable->horizontalHeader();
    header->resizeSection(4, 155);
    header->resizeSection(5, 0);
    controller->tables().changeView(kColumnViewTag); // leaving the list stores its widths

    TVXDataBase again;
    ASSERT_EQ(logInAndLoad(again), kTVXDone);
    ASSERT_GE(again.caches().mCurrentUser()->mColoumWidthArray().size(), 5);
    EXPECT_EQ(again.caches().mCurrentUser()->mColoumWidthArray().at(3), 155);
    BMController second(&again);
    BMMainWindow* secondWindow = second.windowSetup().createMainWindow();
    second.popUps().updateTableColumnWidth();
    EXPECT_EQ(secondWindow->mListViewTypesTable->horizontalHeader()->sectionSize(4), 155);
    EXPECT_EQ(secondWindow->mListViewTypesTable->horizontalHeader()->sectionSize(5), 70);
}

TEST_F(MainWindowTest, ChoosingATypeNamesTheListsColumnsAfterIt)
{
    chooseGroup("Finance");
    controller->tables().changeView(kListViewTag);
    auto* list = controller->tables().listModel();
    EXPECT_EQ(list->headerData(3, Qt::Horizontal, Qt::DisplayRole).toString(), "Field 1");
    const int bank = window->mTypesPopup->findText("Bank Account");
    ASSERT_GT(bank, 0);
    window->mTypesPopup->setCurrentIndex(bank);
    controller->tables().changeType();
    EXPECT_EQ(controller->tables().selectedType()->mTypeUID(), TBank);
    EXPECT_EQ(list->headerData(3, Qt::Horizontal, Qt::DisplayRole).toString(), "Bank");
    EXPECT_EQ(list->headerData(5, Qt::Horizontal, Qt::DisplayRole).toString(), "PIN");
    EXPECT_EQ(list->headerData(6, Qt::Horizontal, Qt::DisplayRole).toString(), "Field 4");
    // Only the chosen type's records stand under its headers, also once sorted.
    const auto listed = [list] {
        QStringList uids;
        for (const auto& record : list->records())
            uids << record->mRecordUID();
        return uids;
    };
    EXPECT_EQ(listed(), QStringList({R2, R4}));
    list->sort(4, Qt::DescendingOrder);
    EXPECT_EQ(listed(), QStringList({R4, R2}));

    // Chosen from the pop-up itself, another type.
    const int web = window->mTypesPopup->findText("Web log-in");
    ASSERT_GT(web, 0);
    window->mTypesPopup->setCurrentIndex(web);
    emit window->mTypesPopup->activated(web);
    EXPECT_EQ(list->headerData(5, Qt::Horizontal, Qt::DisplayRole).toString(), "Password");
    const QStringList webRecords = listed();
    EXPECT_EQ(QSet<QString>(webRecords.begin(), webRecords.end()), QSet<QString>({R1, R3}));

    window->mTypesPopup->setCurrentIndex(0);
    controller->tables().changeType();
    EXPECT_EQ(list->headerData(3, Qt::Horizontal, Qt::DisplayRole).toString(), "Field 1");
    EXPECT_EQ(list->rowCount(), 4);
}

TEST_F(MainWindowTest, TypingInTheListSelectsByTheSortColumnAndCountsTheView)
{
    chooseGroup("Finance");
    controller->tables().changeView(kListViewTag);
    controller->popUps().setShouldMask(false);
    ASSERT_TRUE(window->mListViewTypesTable->typeToSelect("c", 50.0));
    EXPECT_EQ(controller->tables().itemPropertiesForTableViewSelectedRow()->mRecordUID(), R4);
    EXPECT_EQ(serverValue(QString("SELECT VIEWCOUNT FROM tolvanexdb.RECORDTABLE WHERE RECORDID='%1'").arg(R4)), "1");
}

TEST_F(MainWindowTest, DroppingOntoATypeInTheTreeRetypesTheRecord)
{
    chooseGroup("Finance");
    controller->tables().changeView(kTreeViewTag);
    auto* outline = controller->tables().outlineModel();
    std::unique_ptr<QMimeData> drag(recordMimeData(R2));
    const QModelIndex web = outline->index(1, 0);
    ASSERT_EQ(outline->typeAt(web)->mTypeUID(), TWeb);
    ASSERT_TRUE(outline->dropMimeData(drag.get(), Qt::MoveAction, -1, -1, web));
    EXPECT_EQ(serverValue(QString("SELECT TYPEUID FROM tolvanexdb.RECORDTABLE WHERE RECORDID='%1'").arg(R2)), TWeb);
    QCoreApplication::processEvents(); // the outline reloads after the drop
    EXPECT_EQ(outline->rowCount(outline->index(1, 0)), 3);
}

TEST_F(MainWindowTest, SearchingTheColumnViewNarrowsTypesAndSmartCounts)
{
    chooseGroup("Finance");
    controller->tables().changeView(kColumnViewTag);
    window->mColumnViewTypesTable->selectRow(1);
    window->mColumnViewDescriptionTable->selectRow(0); // Admin portal, now viewed
    window->mSearchField->setText("bank");
    ASSERT_EQ(controller->tables().typesModel()->rowCount(), 1);
    EXPECT_EQ(controller->tables().typesModel()->typeAt(0)->mTypeUID(), TBank);
    EXPECT_EQ(controller->tables().smartModel()->data(controller->tables().smartModel()->index(0, 0), kCountRole).toInt(), 0);
    window->mSearchField->setText("admin");
    EXPECT_EQ(controller->tables().smartModel()->data(controller->tables().smartModel()->index(0, 0), kCountRole).toInt(), 1);
}

TEST_F(MainWindowTest, TheEditItemsOfThePopUpsLeaveTheChoiceAsItWas)
{
    chooseGroup("Servers");
    QComboBox* groups = window->mCategoriesPopup;
    groups->setCurrentIndex(groups->count() - 1); // "Edit Groups..."
    controller->tables().changeCategory();
    EXPECT_EQ(groups->currentText(), "Servers (1)");
    EXPECT_EQ(controller->tables().selectedGroup()->mGroupUID(), G2);

    controller->tables().changeView(kListViewTag);
    QComboBox* types = window->mTypesPopup;
    types->setCurrentIndex(types->findText("Server"));
    controller->tables().changeType();
    types->setCurrentIndex(types->count() - 1); // "Edit Types..."
    controller->tables().changeType();
    EXPECT_EQ(types->currentText(), "Server");
}

TEST_F(MainWindowTest, TheDetailPanesMenuTicksTheSelectedRecordsTypeAndGroup)
{
    chooseGroup("Finance");
    controller->tables().changeView(kTreeViewTag);
    auto* outline = controller->tables().outlineModel();
    window->mTreeViewOutlineView->setCurrentIndex(outline->index(1, 0, outline->index(0, 0))); // Credit union
    QMenu* menu = controller->popUps().extendMenu();
    ASSERT_NE(menu, nullptr);
    const auto ticked = [&](int tag) {
        QStringList out;
        for (QAction* a : BMMainWindow::menuItemWithTag(menu, tag)->menu()->actions())
            if (a->isChecked())
                out.append(a->text());
        return out;
    };
    EXPECT_EQ(ticked(701), QStringList({"Bank Account"}));
    EXPECT_EQ(ticked(702), QStringList({"Finance"}));
}
