// The main window's controls reach their commands, and the detail pane
// follows the selection and the mask, over a real store.
#include "MainWindowFixture.h"

#include "model/BMGroup.h"
#include "model/TVXRecord.h"
#include "platform/core/NotificationCenter.h"
#include "platform/ui/Pasteboard.h"
#include "views/BMDetailsView.h"
#include "views/BMPrintDocument.h"
#include "views/BMSplitView.h"
#include "views/BMTableView.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QFile>
#include <QGuiApplication>
#include <QMimeData>
#include <QTemporaryDir>
#include <QLineEdit>
#include <QMenu>
#include <QTest>
#include <QToolButton>

using namespace mainwintest;
using namespace teststore;

namespace {

const QString kDeleteQuestion = QStringLiteral("Are you realy sure you want to delete the selected item(s)?");

class MainWindowWiring : public MainWindowTest {
protected:
    void SetUp() override
    {
        MainWindowTest::SetUp();
        chooseGroup("Finance");
        controller->tables().changeView(kListViewTag);
    }
    void select(const QString& recordUID)
    {
        const int row = listRowOf(recordUID);
        ASSERT_GE(row, 0);
        window->mListViewTypesTable->selectRow(row);
    }
    BMDetailsView* pane() const { return qobject_cast<BMDetailsView*>(window->detailsView()); }
    int storedRecords(const QString& uid) const
    {
        return serverValue(QStringLiteral("SELECT COUNT(*) FROM tolvanexdb.RECORDTABLE WHERE RECORDID='%1'").arg(uid))
            .toInt();
    }
};

} // namespace

TEST_F(MainWindowWiring, TheDetailPaneFollowsTheSelectionAndTheMask)
{
    ASSERT_NE(pane(), nullptr);
    EXPECT_EQ(controller->attachmentCommands().detailInfoView(), pane());
    EXPECT_EQ(pane()->delegate(), controller->windowSetup().detailsViewDelegate());

    select(R4); // customised: its own icon, not its type's
    ASSERT_NE(pane()->detailInfo(), nullptr);
    EXPECT_EQ(pane()->detailInfo()->mRecordUID(), R4);
    EXPECT_EQ(pane()->headerTitle(), "Credit union");
    EXPECT_EQ(pane()->headerImage(), db->icons().getImageFromIconIndex(7));

    const bool masked = pane()->shouldMask();
    EXPECT_EQ(masked, controller->popUps().shouldMask());
    window->mUnmaskButton->click();
    EXPECT_EQ(pane()->shouldMask(), !masked);
    window->mUnmaskButton->click();
    EXPECT_EQ(pane()->shouldMask(), masked);

    window->mListViewTypesTable->clearSelection();
    EXPECT_EQ(pane()->detailInfo(), nullptr);
    EXPECT_EQ(pane()->headerTitle(), "");
}

TEST_F(MainWindowWiring, DeleteAsksFromTheButtonTheItemMenuAndTheContextMenu)
{
    select(R1);
    tvxtest::AlertRecorder alerts; // every question answered with its default: No
    window->mDeleteButton->click();
    window->menuItemWithTag(kDeleteItemMenuItemTag)->trigger();
    BMMainWindow::menuItemWithTag(controller->popUps().mItemContextualMenu(), 704)->trigger();
    EXPECT_EQ(alerts.messages(), QStringList({kDeleteQuestion, kDeleteQuestion, kDeleteQuestion}));
    EXPECT_EQ(storedRecords(R1), 1);
}

TEST_F(MainWindowWiring, TheDesktopsKeysDeleteThroughTheQuestionClearTheSearchAndQuit)
{
    window->show();
    QApplication::setActiveWindow(window);
    select(R1);
    tvxtest::AlertRecorder alerts;
    window->mListViewTypesTable->setFocus();
    QTest::keyClick(window->mListViewTypesTable, Qt::Key_Delete);
    EXPECT_EQ(alerts.messages(), QStringList{kDeleteQuestion});
    EXPECT_EQ(storedRecords(R1), 1) << "No, the default answer, keeps it";

    window->mSearchField->setFocus();
    QTest::keyClicks(window->mSearchField, "mail");
    EXPECT_EQ(listValue1s(), QStringList{"mail"});
    QTest::keyClick(window->mSearchField, Qt::Key_Escape);
    EXPECT_EQ(window->mSearchField->text(), "");
    EXPECT_GT(listValue1s().size(), 1);
    QTest::keyClick(window->mSearchField, Qt::Key_Delete);
    EXPECT_EQ(alerts.messages().size(), 1) << "the Delete key in the search field deletes nothing";

    int terminations = 0;
    controller->startup().setTerminateHandler([&] { ++terminations; });
    QAction* quit = window->menuItemWithTag(kQuitMenuItemTag);
    ASSERT_NE(quit, nullptr);
    EXPECT_EQ(quit->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_Q));
    EXPECT_TRUE(window->mFileMenu->actions().contains(quit));
    quit->trigger();
    EXPECT_EQ(terminations, 1);
}

TEST_F(MainWindowWiring, CopyItemsPutTheSelectedRecordsValuesOnTheClipboard)
{
    select(R1);
    auto& board = platform::Pasteboard::generalPasteboard();
    window->menuItemWithTag(kCopyField1MenuItemTag + 1)->trigger();
    EXPECT_EQ(board.string(), "alice");
    // Clipboard managers are told to keep it out of their history.
    EXPECT_EQ(QGuiApplication::clipboard()->mimeData()->data("x-kde-passwordManagerHint"), "secret");
    window->menuItemWithTag(kCopyCategoryMenuItemTag)->trigger();
    EXPECT_EQ(board.string(), "Finance");
    window->menuItemWithTag(kCopyField10MenuItemTag)->trigger();
    EXPECT_EQ(board.string(), "November 03,2026");
}

TEST_F(MainWindowWiring, EditingARecordOfAGroupWithoutTheEditRightIsRefused)
{
    chooseGroup("Vault"); // add only, the group's word prevails
    const int row = listRowOf(R6);
    ASSERT_GE(row, 0);
    window->mListViewTypesTable->selectRow(row);
    tvxtest::AlertRecorder alerts;
    tvxtest::ModalScript script;
    emit window->mListViewTypesTable->doubleClicked(controller->tables().listModel()->index(row, 3));
    window->mEditButton->click();
    // The pane asks the same of the controller.
    QTest::mouseDClick(pane(), Qt::LeftButton, Qt::NoModifier, QPoint(100, 200));
    EXPECT_EQ(alerts.messages(),
              QStringList(3, QStringLiteral(" You don't have sufficient access permissions.")));
    EXPECT_TRUE(script.windows().isEmpty()) << "no sheet opens";
}

TEST_F(MainWindowWiring, ThePanesContextMenuIsTheRecordMenu)
{
    select(R2);
    QContextMenuEvent event(QContextMenuEvent::Mouse, QPoint(100, 200), pane()->mapToGlobal(QPoint(100, 200)));
    QApplication::sendEvent(pane(), &event);
    QMenu* menu = controller->popUps().mItemContextualMenu();
    ASSERT_NE(menu, nullptr);
    EXPECT_TRUE(menu->isVisible());
    QAction* bank = nullptr;
    for (QAction* action : BMMainWindow::menuItemWithTag(menu, 701)->menu()->actions())
        if (action->text() == "Bank Account")
            bank = action;
    ASSERT_NE(bank, nullptr);
    EXPECT_TRUE(bank->isChecked());
    menu->hide();
}

TEST_F(MainWindowWiring, PrintingFromTheButtonDrawsTheSelectedRecord)
{
    select(R2);
    QList<BMPrintDocument> printed;
    const auto previous = setPrintPresenter([&](const BMPrintDocument& document, QWidget*) {
        printed.append(document);
        return true;
    });
    window->mPrintRecordButton->click();
    setPrintPresenter(previous);
    ASSERT_EQ(printed.size(), 1);
    EXPECT_EQ(printed.first().footer, recordPrintFooter(controller->currentUserName()));
    EXPECT_GT(printed.first().size.height(), BMDetailsView::kHeaderHeight);
    EXPECT_FALSE(controller->attachmentCommands().isPrintDialogOn());
}

TEST_F(MainWindowWiring, ToolbarAndPopUpEditingItemsOpenTheirWindows)
{
    tvxtest::AlertRecorder alerts;
    tvxtest::ModalScript script;
    const int edit = window->mCategoriesPopup->findText("Edit Groups...");
    ASSERT_GT(edit, 0);
    window->mCategoriesPopup->setCurrentIndex(edit);
    emit window->mCategoriesPopup->activated(edit);
    EXPECT_EQ(script.windows(), QStringList{"CategoryEditWindowController"});
    EXPECT_EQ(controller->tables().selectedGroup()->mGroupUID(), G1) << "the group stays chosen";

    select(R2);
    window->mAttachmentButton->click();
    EXPECT_EQ(script.windows().value(1), "AttachmentSelectionPanel");
    EXPECT_TRUE(alerts.alerts().empty());
}

TEST_F(MainWindowWiring, SplitViewDividersStopAtTheirLimits)
{
    window->show();
    auto* main = qobject_cast<BMSplitView*>(window->mMainSplitView);
    auto* smart = qobject_cast<BMSplitView*>(window->mSmartTypeSplitView);
    ASSERT_TRUE(main && smart);
    const int width = main->width();
    EXPECT_EQ(main->constrainedPosition(0, 1), qRound(width * 0.30));
    EXPECT_EQ(main->constrainedPosition(width, 1), qRound(width * 0.70));
    EXPECT_EQ(main->constrainedPosition(width / 2, 1), width / 2);
    const int height = smart->height();
    EXPECT_EQ(smart->constrainedPosition(height, 1), height - smart->handleWidth() - 92);

    // The record views start within the limits.
    const int divider = main->sizes().at(0);
    EXPECT_GE(divider, qRound(width * 0.30));
    EXPECT_LE(divider, qRound(width * 0.70));
}

TEST_F(MainWindowWiring, TheControllerDeletesItsWindowAndPane)
{
    QPointer<BMMainWindow> kept(window);
    QPointer<BMDetailsView> keptPane(pane());
    window = nullptr;
    controller.reset();
    EXPECT_TRUE(kept.isNull());
    EXPECT_TRUE(keptPane.isNull());
}

TEST_F(MainWindowWiring, TheAttachmentRowsButtonOpensOneMenuOnThePane)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("statement.txt"));
    {
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("balance 42");
    }
    auto record = db->caches().recordWithUID(R2);
    record->setMHasAttachment(true);
    record->setMAttachmentName(QStringLiteral("statement.txt"));
    record->setMAttachmentPath(path);
    record->setMAttachmentState(kAttachmentStateStoreNewFile);
    ASSERT_EQ(db->replaceRecord(record), kTVXDone);
    controller->tables().updateTables();
    select(R2);
    ASSERT_NE(pane()->detailInfo(), nullptr);

    tvxtest::AlertRecorder alerts;
    platform::NotificationCenter::defaultCenter().post(QStringLiteral("AddExtractAttachmentMenu"));
    EXPECT_TRUE(alerts.alerts().empty()) << alerts.lastMessage().toStdString();
    const auto menus = pane()->findChildren<QMenu*>(QStringLiteral("AttachmentMenu"));
    EXPECT_EQ(menus.size(), 1);
    for (QMenu* menu : menus)
        menu->close();
}
