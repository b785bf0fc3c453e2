#pragma once
// The application controller: runs the log-in panel, starts the load, builds
// the main window and serves every command of it. One class; each concern has
// its own BMController_<Concern>.cpp and its own marked sections below.
#include <QObject>
#include <QWidget>
#include <QString>

#include <memory>

class TVXDataBase;
class TVXRecord;

class BMController : public QObject {
    Q_OBJECT
public:
    // The single controller; made on first use.
    static BMController* sharedApplicationController();
    explicit BMController(TVXDataBase* database = nullptr, QObject* parent = nullptr);
    ~BMController() override;

    TVXDataBase* database() const { return mDatabase; }

    // Shared state every concern reads (owned here, not in a concern's section).
    QWidget* mainWindow() const { return mMainWindow; }
    std::shared_ptr<TVXRecord> selectedTableRecord() const { return mSelectedTableRecord; }
    const QString& currentUserName() const { return mCurrentUserName; }
    bool isConnectionCancelled() const { return mIsConnectionCancelled; }

    // --- start-up, log-in and shut-down ---
    // (end of start-up, log-in and shut-down)

    // --- loading, reloading and lost connection ---
    // (end of loading, reloading and lost connection)

    // --- lock, unlock and clipboard ---
    // (end of lock, unlock and clipboard)

    // --- password panels ---
    // The signed-in user's password panel (menu command): checks, then stores
    // the password with its hint. passwordPanelOK answers whether it passed.
    void setPassword();
    bool passwordPanelOK();
    void passwordPanelCancel();
    // The master-password panels (menu command), then the re-encryption of the
    // whole store behind a progress panel.
    void setMasterPassword();
    bool masterPasswordPanelOK();
    void masterPasswordPanelCancel();
    // Runs until the re-encryption worker is done; its result code.
    int showReencryptingPanel();
    void endPasswordPanelSheet();
    // A panel's text changed: the new password's strength follows.
    void controlTextDidChange(QObject* field);
    class BMUserPasswordPanel* passwordPanel();
    class BMMasterPasswordPanel* setMasterPasswordPanel();
    class BMMasterPasswordPanel* resetMasterPasswordPanel();
    // (end of password panels)

    // --- record commands ---
    // (end of record commands)

    // --- attachments, printing, mail and web log-in ---
    // (end of attachments, printing, mail and web log-in)

    // --- import, export, backup and restore ---
    // (end of import, export, backup and restore)

    // --- view, group and type selection ---
    // (end of view, group and type selection)

    // --- main window, toolbar and split views ---
    // (end of main window, toolbar and split views)

    // --- outline and record tables ---
    // (end of outline and record tables)

    // --- pop-ups, menus, columns and sorting ---
    // (end of pop-ups, menus, columns and sorting)

    // --- applying the options ---
    // Re-applies the user's options to the main window: colours, font and row
    // height, list columns, sorting, and the lock and clipboard timers.
    void optionsDidChange();
    // Calls optionsDidChange on every "Tolvan Preference Changed Notification".
    void observeOptionChanges();
    void updateFontForTable(class QAbstractItemView* table);
    void updateTableColumn(uint64_t bit, const QString& identifier, int index);
    void listViewColumnsVisiblityChanged();
    void rearrangeTableColumns();
    // The options window, storing column settings for the list's selected type.
    class BMOptionsWindowController* optionsWindowController();
    // provisional: built by mainwin
    QWidget* detailInfoView() const;
    class QTableView* listViewTypesTable() const;
    class QAbstractItemView* smartTypesTable() const;
    class QAbstractItemView* columnViewTypesTable() const;
    class QAbstractItemView* columnViewDescriptionTable() const;
    class QAbstractItemView* treeViewOutlineView() const;
    bool isListViewSelected() const;
    void updateTableColumnsWithSelectedItem();
    void updateTables();
    void initTableColumnSorting();
    QString getSelectedTypeUID();
    // provisional: built by appctl
    void installInactiveTimerWithTime(double minutes);
    void installClearClipBoardTimer(bool quitting);
    // (end of applying the options)

private:
    TVXDataBase* mDatabase = nullptr;

    // Shared state. The main window is made by the main-window concern; the
    // selected record is kept by the tables and read by the commands.
    QWidget* mMainWindow = nullptr;
    std::shared_ptr<TVXRecord> mSelectedTableRecord;
    QString mCurrentUserName;
    QString mGroupFilterSelectedUID;
    bool mNeedToDoSynchOnExit = false;
    bool mShouldLockInfoDisplay = false;
    bool mDetailPanelIsVisible = false;
    bool mSaveBackUpIsDone = true;
    bool mAppDidFinishLaunching = false;
    bool mShouldMask = false;
    bool mShouldCreateDatabase = false;
    bool mPrintDialogON = false;
    bool mIsLoaded = false;
    bool mIsConnectionCancelled = false;
    int mLastPasteBoardChangeCount = 0;
    int mNumberOfAttempts = 0;
    int mPreviousType = 0;
    int mPreviousCategory = 0;
    int mPriviousContextualType = -1;
    int mPriviousContextualCategory = -1;

    // [start-up, log-in and shut-down]
    // (end of start-up, log-in and shut-down)

    // [loading, reloading and lost connection]
    // (end of loading, reloading and lost connection)

    // [lock, unlock and clipboard]
    // (end of lock, unlock and clipboard)

    // [password panels]
    BMUserPasswordPanel* mPasswordPanel = nullptr;
    BMMasterPasswordPanel* mSetMasterPasswordPanel = nullptr;
    BMMasterPasswordPanel* mResetMasterPasswordPanel = nullptr;
    BMMasterPasswordPanel* mActiveMasterPasswordPanel = nullptr;
    bool mMasterPasswordChecksPassed = false;
    QWidget* mReencryptingPanel = nullptr;
    // The running re-encryption, shared with its worker thread.
    std::shared_ptr<struct ReencryptionRun> mReencryption;
    // (end of password panels)

    // [record commands]
    // (end of record commands)

    // [attachments, printing, mail and web log-in]
    // (end of attachments, printing, mail and web log-in)

    // [import, export, backup and restore]
    // (end of import, export, backup and restore)

    // [view, group and type selection]
    // (end of view, group and type selection)

    // [main window, toolbar and split views]
    // (end of main window, toolbar and split views)

    // [outline and record tables]
    // (end of outline and record tables)

    // [pop-ups, menus, columns and sorting]
    // (end of pop-ups, menus, columns and sorting)

    // [applying the options]
    quint64 mOptionsObserver = 0;
    // (end of applying the options)
};
