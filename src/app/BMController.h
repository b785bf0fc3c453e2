#pragma once
// The application controller: the launch's entry and the coordinator of the
// application's concerns. It owns one object per concern (start-up and
// loading, tables and selection, lock, pop-ups, record commands, attachments,
// import and export, options, password panels, the main window's making and
// wiring), the state they share and the store's parts they are given; each
// concern keeps only the parts and the other concerns it uses.

#include "app/AppState.h"
#include "app/attachments/BMAttachmentCommands.h"
#include "app/exchange/BMImportExport.h"
#include "app/lock/BMLockControl.h"
#include "app/mainwindow/BMMainWindowSetup.h"
#include "app/options/BMOptionsApplier.h"
#include "app/passwords/BMPasswordPanels.h"
#include "app/popups/BMPopUps.h"
#include "app/records/BMRecordCommands.h"
#include "app/startup/BMStartup.h"
#include "app/tables/BMTables.h"
#include "platform/core/ApplicationHooks.h"

#include <QImage>
#include <QObject>
#include <QString>

#include <memory>

class TVXDataBase;
class TVXRecord;

class BMController : public QObject, public platform::ApplicationHooks {
    Q_OBJECT
public:
    // The single controller; made on first use.
    static BMController* sharedApplicationController();
    explicit BMController(TVXDataBase* database = nullptr, QObject* parent = nullptr);
    ~BMController() override;

    TVXDataBase* database() const { return mDatabase; }
    BMStoreAccess& store() { return mStore; }
    BMAppState& state() { return mState; }
    const BMAppState& state() const { return mState; }

    // Shared state every concern reads.
    QWidget* mainWindow() const { return mState.mainWindow(); }
    const QString& currentUserName() const { return mState.currentUserName(); }
    bool isConnectionCancelled() const { return mState.isConnectionCancelled(); }

    // The launch: log-in panel, load, main window. false when the user quit
    // before the main window was shown.
    bool applicationDidFinishLaunching() { return mStartup.applicationDidFinishLaunching(); }

    // The concerns.
    BMStartup& startup() { return mStartup; }
    BMTables& tables() { return mTables; }
    const BMTables& tables() const { return mTables; }
    BMLockControl& lockControl() { return mLockControl; }
    BMPopUps& popUps() { return mPopUps; }
    BMRecordCommands& recordCommands() { return mRecordCommands; }
    BMAttachmentCommands& attachmentCommands() { return mAttachmentCommands; }
    BMImportExport& importExport() { return mImportExport; }
    BMOptionsApplier& optionsApplier() { return mOptionsApplier; }
    BMPasswordPanels& passwordPanels() { return mPasswordPanels; }
    BMMainWindowSetup& windowSetup() { return mWindowSetup; }

    // What the store's workers report (platform::ApplicationHooks).
    void connectionISComplete() override;
    void finishReloadingData() override;
    void reloadFailed(int code) override;
    void updateApplicationUIForCurrectPermissions() override;
    void accountRefusedDuringReload(int code) override;
    void stopConnectionModelWindow() override;
    bool isMainWindowMaximied() override;
    bool fontFamilyExists(const QString& family) override;

public Q_SLOTS:
    // Ctrl+F in the main window (its delegate is this coordinator).
    void focusSearchField() { mTables.focusSearchField(); }

Q_SIGNALS:
    // For the detail pane: what to show (record null: empty it).
    void detailInfoRecordChanged(const std::shared_ptr<TVXRecord>& record, const QString& headerTitle,
                                 const QImage& headerImage);
    // For the detail pane: the window's mask state changed.
    void shouldMaskChanged(bool mask);

private:
    TVXDataBase* mDatabase = nullptr;
    BMStoreAccess mStore;
    BMAppState mState;
    // Each takes references to the others here; none uses another while it is made.
    BMStartup mStartup;
    BMTables mTables;
    BMLockControl mLockControl;
    BMPopUps mPopUps;
    BMRecordCommands mRecordCommands;
    BMAttachmentCommands mAttachmentCommands;
    BMImportExport mImportExport;
    BMOptionsApplier mOptionsApplier;
    BMPasswordPanels mPasswordPanels;
    BMMainWindowSetup mWindowSetup;
};
