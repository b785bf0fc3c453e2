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
    // (end of password panels)

    // --- record commands ---
    // (end of record commands)

    // --- attachments, printing, mail and web log-in ---
    // (end of attachments, printing, mail and web log-in)

    // --- import, export, backup and restore ---
    // Export commands: tag 1070 qVX with attachments allowed, 1071 qVX, 1072 CSV.
    void exportSelectedFile(int tag);
    void exportItemsToQVX();
    void exportSelectionChange();
    // The password sheet, then the export on a worker behind the progress
    // panel. -1000 only when the file was written with every record.
    int runPassDialogForExportForFile(const QString& path, int exportTypes, int requestedKind);
    bool qvxExportpasswordPanelOK();
    void qvxExportpasswordPanelCancel();
    // Called by the group/type editor before a deletion.
    void backupRecords();
    // Import commands: tag 1060 qVX, 1061 CSV, 1062 to 1066 text, 109 restore.
    void importSelectedFile(int tag);
    void importQVXFile(const QString& path, bool forRestore);
    bool qvxImportpasswordPanelOK();
    void qvxImportpasswordPanelCancel();
    void importFile(const QString& path);
    // A file handed to the application; always true.
    bool openFile(const QString& path);
    void mailSelectedFile();
    void mailItems();
    // Replaces what the commands ask of the rest of the application (tests).
    void setExchangeHooks(const struct BMExchangeHooks& hooks);
    const struct BMExchangeHooks& exchangeHooks() const;
    // The panels of these commands (made on first use).
    QWidget* exportPasswordPanel();
    QWidget* importPasswordPanel();
    QWidget* exportOptionsView();

    // provisional: built by mainwin
    std::shared_ptr<class BMGroup> selectedGroup() const;
    // provisional: built by mainwin
    QList<std::shared_ptr<TVXRecord>> indexSetForExporting(bool listed) const;
    // provisional: built by mainwin
    void updateGroupUIControl();
    // provisional: built by mainwin
    void initTypesUIControl();
    // provisional: built by mainwin
    void updateTables();
    // provisional: built by detailpane
    void askForSendingMailWithAttachment(const QString& path);
    // provisional: built by grouptype (the group/type editor's records to back up)
    QList<std::shared_ptr<TVXRecord>> recordsToExportForBackUP();
    // provisional: built by grouptype (the group/type editor's deletion after a backup)
    void deleteSelectedGroup();
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
    // (end of password panels)

    // [record commands]
    // (end of record commands)

    // [attachments, printing, mail and web log-in]
    // (end of attachments, printing, mail and web log-in)

    // [import, export, backup and restore]
    void exportPanelDidEnd(int tag, const QString& path);
    void importPanelDidEnd(int tag, const QString& path);
    // Runs the export on a worker and waits for it behind the progress panel.
    bool runExportInBackground(class CExportDelegate& provider, const QString& path, int kind,
                               const QString& password, bool showProgress = true);
    void runImportInBackground(class TVXqVXImportDelegate& sink, const QString& password, bool showProgress = true);
    void importCSVFile(const QString& path, bool showProgress);
    bool mayExportFromSelectedGroup(bool forMail, bool* allRecordsAllowed);
    bool isPersonalGroup(const BMGroup* group) const;
    // Panels, hooks and accessory of these commands; made on first use.
    mutable std::shared_ptr<class BMExchangeState> mExchange;
    class BMExchangeState& exchange() const;
    QString mSelectedFileName;
    // A file handed over before the launch finished; imported at its end.
    QString mimportFileName;
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
    // (end of applying the options)
};
