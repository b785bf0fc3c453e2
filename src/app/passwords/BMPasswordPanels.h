#pragma once
// The user's password panel and the master-password panels, with the re-encryption.

#include "app/AppState.h"
#include "store/session/ResultCodes.h"
#include "store/StoreTypes.h"

#include <QObject>
#include <QWidget>
#include <memory>
#include <optional>

namespace platform {
class BackgroundTask;
}

class BMController;
struct BMAppState;
class BMRecordCommands;

class BMPasswordPanels : public QObject {
    Q_OBJECT
public:
    explicit BMPasswordPanels(BMController& app);
    bool isReencrypting() const { return mReencryption != nullptr; }

    // The signed-in user's password panel (menu command): checks, then stores
    // the password with its hint behind the window; the panel waits for the
    // answer and closes on success. passwordPanelOK answers whether the
    // checks passed and the password went to the server.
    void setPassword();
    bool passwordPanelOK();
    void passwordPanelCancel();
    bool isWaitingForServer() const;
    // kModalRunStopped once the server took the password of this run.
    std::optional<int> passwordPanelEnd() const { return mPasswordPanelEnd; }
    // The master-password panels (menu command), then the re-encryption of the
    // whole store behind a progress panel.
    void setMasterPassword();
    bool masterPasswordPanelOK();
    void masterPasswordPanelCancel();
    // Runs until the re-encryption worker is done; its result code.
    TVXResult showReencryptingPanel();
    void endPasswordPanelSheet();
    // A panel's text changed: the new password's strength follows.
    void controlTextDidChange(QObject* field);
    class BMUserPasswordPanel* passwordPanel();
    class BMMasterPasswordPanel* setMasterPasswordPanel();
    class BMMasterPasswordPanel* resetMasterPasswordPanel();

private:
    void passwordStored(quint64 run, TVXResult code);

    // The running re-encryption.
    std::shared_ptr<platform::BackgroundTask> mReencryption;
    BMUserPasswordPanel* mPasswordPanel = nullptr;
    quint64 mPasswordRun = 0;
    std::optional<int> mPasswordPanelEnd;
    BMMasterPasswordPanel* mSetMasterPasswordPanel = nullptr;
    BMMasterPasswordPanel* mResetMasterPasswordPanel = nullptr;
    BMMasterPasswordPanel* mActiveMasterPasswordPanel = nullptr;
    bool mMasterPasswordChecksPassed = false;
    QWidget* mReencryptingPanel = nullptr;

    // What this concern reads and calls.
    BMAppState& mState;
    TVXStoreCaches& mCaches;
    TVXEventLogAccess& mEventLog;
    TVXMasterPasswordChange& mMasterPassword;
    TVXPasswordHint& mPasswordHint;
    BMRecordCommands& mRecordCommands;
};
