#pragma once
// The application controller: runs the log-in panel, starts the load, builds
// the main window and serves every command of it. One class; each concern has
// its own BMController_<Concern>.cpp and its own marked sections below.
#include <QObject>
#include <QWidget>
#include <QString>

#include <QList>

#include <cstdint>
#include <functional>
#include <memory>

#include "platform/core/NotificationCenter.h"

class BMDetailsView;
class BMGroup;
class BMListPrintSource;
class QAction;
class QMenu;
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
    // A file is accepted as an attachment only when it is smaller.
    static constexpr qint64 kAttacmentMaxSize = 1048576;
    // The pane of the main window; while one is set, the attachment row's
    // button ("AddExtractAttachmentMenu") opens the attachment menu on it.
    void setDetailInfoView(BMDetailsView* view);
    BMDetailsView* detailInfoView() const { return mDetailInfoView; }
    // The attachment button: remove the selected record's attachment, or add one.
    void attachmentAction();
    // The chosen file of the add panel (returnCode -1000 OK, -1001 Cancel).
    void attachmentSelectionPanelDidEnd(const QString& path, int returnCode);
    // Writes the selected record's attachment to the private temporary folder
    // and shows the Open With / Save As menu on the pane.
    void addExtractAttachmentMenu(const platform::Notification& notification);
    // The menu for the written file; the caller owns it.
    QMenu* attachmentMenuForFile(const QString& path, QWidget* parent = nullptr);
    void launchfile(QAction* item);
    void openWithApp(QAction* item);
    void saveAsAttachment(QAction* item);
    // The save panel's end: writes the attachment to `chosenPath`, shows it in
    // the file manager, and removes the temporary copy in every case.
    void openPanelDidEndForExtarctAttachment(const QString& chosenPath, int returnCode,
                                             const QString& temporaryPath);
    void clearTmpFiles();
    void printRecord();
    void print();
    void printOperationDidRun(bool success);
    bool isPrintDialogOn() const { return mPrintDialogON; }
    void askForSendingMailWithAttachment(const QString& path);
    // Runs the hand-over on a worker; false when another one still runs (dropped).
    bool runAppleScript(std::function<void()> script);
    void webLogin();
    // provisional: built by mainwin (the selection of the current view)
    std::shared_ptr<TVXRecord> itemPropertiesForTableViewSelectedRow();
    QList<std::shared_ptr<TVXRecord>> indexSetForExporting(bool listed);
    std::shared_ptr<BMGroup> selectedGroup();
    int selectedViewTag() const;
    const BMListPrintSource* listPrintSource();
    void setSelectedTableRecord(std::shared_ptr<TVXRecord> record);
    void updateTables();
    void validateUIControls();
    void initTypesUIControl();
    void updateDetailInfoViewWithRecord(const std::shared_ptr<TVXRecord>& record);
    // provisional: built by grouptype (permission tests of the record commands)
    bool checkForRecordPermissionFor(uint16_t mask, const BMGroup* group);
    bool checkForDataPermissionFor(uint16_t mask);
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
    // provisional: the pane is made by mainwin; keep one declaration at merge.
    BMDetailsView* mDetailInfoView = nullptr;
    // Stops observing the attachment-menu notice when the controller goes.
    struct AttachmentMenuObserver {
        platform::NotificationCenter::Token token = 0;
        ~AttachmentMenuObserver();
    };
    AttachmentMenuObserver mAttachmentMenuObserver;
    // The address a web log-in opens: www. gets http://; only web addresses pass.
    static QString webLoginAddress(const QString& value);
    void refreshAfterAttachmentChange(const std::shared_ptr<TVXRecord>& record);
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
    // (end of applying the options)
};
