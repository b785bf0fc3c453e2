#pragma once
// Attachments, printing, mail hand-over and web log-in.

#include "app/AppState.h"
#include "store/schema/ColumnLimits.h"
#include "store/StoreTypes.h"

#include <QObject>
#include <QString>
#include <QWidget>
#include <any>
#include <functional>
#include <memory>

class BMDetailsView;
class TVXRecord;
class QAction;
class QMenu;

class BMController;
struct BMAppState;
class BMMainWindowSetup;
class BMPopUps;
class BMRecordCommands;
class BMTables;

class BMAttachmentCommands : public QObject {
    Q_OBJECT
public:
    explicit BMAttachmentCommands(BMController& app);

    // A file is accepted as an attachment only when it is smaller.
    static constexpr qint64 kAttacmentMaxSize = tvxsql::kAttachmentByteLimit;
    // The pane of the main window; while one is set, the attachment row's
    // button ("AddExtractAttachmentMenu") opens the attachment menu on it.
    void setDetailInfoView(BMDetailsView* view);
    BMDetailsView* detailInfoView() const { return mDetailInfoView; }
    // The attachment button: remove the selected record's attachment, or add one.
    void attachmentAction();
    // The chosen file of the add panel (returnCode -1000 OK, -1001 Cancel).
    void attachmentSelectionPanelDidEnd(const QString& path, int returnCode);
    // The pane's attachment row asked ("AddExtractAttachmentMenu", whose object
    // is the row's button): writes the selected record's attachment to the
    // private temporary folder and shows the Open With / Save As menu on the pane.
    void addExtractAttachmentMenu(const std::any& button);
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
    bool isPrintDialogOn() const { return mState.mPrintDialogON; }
    void askForSendingMailWithAttachment(const QString& path);
    // Runs the hand-over on a worker; false when another one still runs (dropped).
    bool runAppleScript(std::function<void()> script);
    void webLogin();

private:
    // The address a web log-in opens: www. gets http://; only web addresses pass.
    static QString webLoginAddress(const QString& value);
    void refreshAfterAttachmentChange(const std::shared_ptr<TVXRecord>& record);

    // The detail pane the main window shows (set by setDetailInfoView).
    BMDetailsView* mDetailInfoView = nullptr;

    // What this concern reads and calls.
    BMAppState& mState;
    TVXAttachmentStoreAccess& mAttachments;
    TVXStoreCaches& mCaches;
    TVXEventLogAccess& mEventLog;
    TVXRecentListsAccess& mRecentLists;
    TVXRecordWriter& mRecordWriter;
    BMMainWindowSetup& mWindowSetup;
    BMPopUps& mPopUps;
    BMRecordCommands& mRecordCommands;
    BMTables& mTables;
};
