#pragma once
// The main window's making, toolbar and split views, and the wiring of its controls to the commands.

#include "app/AppState.h"
#include "store/StoreTypes.h"

#include <QObject>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <QWidget>
#include <memory>

class BMDetailsViewDelegate;
class BMDetailsWindowController;
class TVXRecord;
class BMDetailsWindowController;
class BMMainWindow;
class QAbstractButton;
class QComboBox;
class QMenu;
class QSplitter;

class BMController;
struct BMAppState;
class BMAttachmentCommands;
class BMImportExport;
class BMLockControl;
class BMPasswordPanels;
class BMPopUps;
class BMRecordCommands;
class BMStartup;
class BMTables;

class BMMainWindowSetup : public QObject {
    Q_OBJECT
public:
    explicit BMMainWindowSetup(BMController& app);
    ~BMMainWindowSetup() override;
    bool subviewsReady() const { return mSubviewsReady; }

    // The main window's parts as the launch and the reload use them (null
    // before the window exists).
    void initAboutBoxsetting();
    QComboBox* categoriesPopup();
    QComboBox* typesPopup();
    QMenu* itemContextualMenu();
    QSplitter* smartTypeSplitView();
    void saveLayoutPreferenceWithName(QSplitter* splitView, const QString& name);
    void restoreLayoutPreferenceFromName(QSplitter* splitView, const QString& name);
    bool columnToggleInfoState();
    // The main window's mask button; null before the window exists.
    QAbstractButton* unmaskButton() const;
    // Makes the main window (once) and keeps it in mMainWindow.
    BMMainWindow* createMainWindow();
    // Makes the main window one part a turn of the event loop, so that no
    // turn is long (the launch does while the store loads); it is kept in
    // mMainWindow once whole. createMainWindow() meanwhile finishes it at once.
    void startMainWindowInParts();
    bool isMainWindowInParts() const;
    BMMainWindow* mainWindowView() const;
    void setupToolbarForWindow(BMMainWindow* window);
    static QStringList toolbarDefaultItemIdentifiers();
    static QStringList toolbarAllowedItemIdentifiers();
    bool validateToolbarItem(const QString&) const { return true; }
    // The toolbar item's view with its size and tool tip; null for other identifiers.
    QWidget* toolbarItemForItemIdentifier(const QString& identifier);
    // The view switch's action.
    void selectTabView(int tag);
    // Prepares the window's views once after log-in and loading.
    void initSubviews();
    void initWindowTitle();
    // The three split views' layouts, kept on this computer.
    void saveSplitViewLayouts();
    void restoreSplitViewLayouts();
    // The detail pane made by its own class goes into the window's box.
    void setDetailsView(QWidget* detailsView);
    // The about box (made by initAboutBoxsetting at the launch), shown from the Help menu.
    void orderFrontAboutPanel();
    QWidget* aboutBox() const { return mAboutBox; }
    // Connects the main window's buttons, menu items, toolbar buttons, tables
    // and pop-up editing items to the commands (once, when the window is made).
    void connectCommands(BMMainWindow* window);
    // Puts a detail pane into the main window: it follows the selection and
    // the mask state, and the controller answers what it asks.
    void plugDetailPane(BMMainWindow* window);
    BMDetailsViewDelegate* detailsViewDelegate();
    // What the record sheet asks of the application: the sheet of a record's
    // own field set, and the printing of one record.
    void installRecordSheetHooks(BMDetailsWindowController& sheet);
    // Prints one record as the detail pane draws it; true when it was printed.
    bool printRecordDetails(const std::shared_ptr<TVXRecord>& record, QWidget* parent);
    // Launch steps: the tables that take dropped records, the key-view loop,
    // and the menu items no user is offered.
    void registerRecordDragTypes();
    void correctTabNextKeyViews();
    void removeUnofferedMenuItems();
    // Dividers stop at the limits of their split view.
    void applySplitViewLimits(BMMainWindow* window);
    // The controller becomes the shown main window's delegate: its resizes
    // keep the smart types' pane high enough and remember the frame.
    void watchMainWindow();

private:
    // The menu bar's items, and the record context menu's.
    void connectMenuItems(BMMainWindow* window);
    void connectContextMenu();
    QSplitter* mainSplitView();
    QSplitter* subSplitView();
    void connectMainWindow(BMMainWindow* window);
    void buildNextWindowPart();
    // The made window's wiring, as it goes into mMainWindow.
    BMMainWindow* installMainWindow(BMMainWindow* window);

    // The main window while it is made in parts (not yet in mMainWindow).
    QPointer<BMMainWindow> mWindowInParts;
    bool mSubviewsReady = false;
    QWidget* mAboutBox = nullptr;
    std::shared_ptr<BMDetailsViewDelegate> mPaneDelegate;
    bool mCommandsConnected = false;
    bool mWatchingMainWindow = false;

    // What this concern reads and calls.
    BMAppState& mState;
    // The main window's delegate (the coordinator: Ctrl+F goes to its focusSearchField).
    QObject& mWindowDelegate;
    TVXAccountAdminAccess& mAccountAdmin;
    TVXStoreCaches& mCaches;
    TVXIconsAccess& mIcons;
    TVXPreferences& mPreferences;
    TVXRecordWriter& mRecordWriter;
    BMAttachmentCommands& mAttachmentCommands;
    BMImportExport& mImportExport;
    BMLockControl& mLockControl;
    BMPasswordPanels& mPasswordPanels;
    BMPopUps& mPopUps;
    BMRecordCommands& mRecordCommands;
    BMStartup& mStartup;
    BMTables& mTables;
};
