#pragma once
// Lock and unlock, the password hint, the automatic lock after idle time and the clearing of copied text.

#include "app/AppState.h"
#include "store/accounts/HintStore.h"
#include "store/session/ResultCodes.h"
#include "store/StoreTypes.h"

#include <QObject>
#include <functional>

class BMHintQuestionPanel;
class BMLockPanel;
class QTimer;

class BMController;
struct BMAppState;
class BMPasswordPanels;
class BMPopUps;
class BMRecordCommands;
class BMStartup;
class BMTables;
class BMMainWindowSetup;
class BMTables;

class BMLockControl : public QObject {
    Q_OBJECT
public:
    explicit BMLockControl(BMController& app);

    void displayLockPanel(QObject* sender = nullptr);
    // Ctrl+L locks also while a sheet or an alert keeps the main window from the keys.
    void watchLockKeyOverSheets();
    bool mayLockOverModalRun() const;
    bool showLockPanel();
    void lockPanelOK();
    void lockPanelQuit();
    void lockPanelHint();
    void HintQuestionAnswerPanelOK();
    void displayErrCode(TVXResult code);
    void installInactiveTimerWithTime(double minutes);
    void DoIdle();
    void closeModals();
    void checkClipBoard();
    void installClearClipBoardTimer(bool quitting);
    void clearClipBoard(QTimer* timer);
    void clearClipBoardAction();
    bool isLocked() const { return mState.mShouldLockInfoDisplay; }
    int numberOfAttempts() const { return mState.mNumberOfAttempts; }
    bool isClearClipBoardPending() const { return mClearClipBoardTimer != nullptr; }
    BMLockPanel* lockPanel();
    BMHintQuestionPanel* hintQuestionAnswerPanel();
    // Whether this application is the active one (replaceable for tests).
    void setApplicationActiveProbe(std::function<bool()> probe) { mApplicationActiveProbe = std::move(probe); }
    // The open record editor gets Return (how the idle lock confirms it first).
    void setReturnKeyPoster(std::function<void(int times)> poster) { mReturnKeyPoster = std::move(poster); }
    static void resetIdleGuard();

private:
    void lockUserInterface(bool locked);
    // The hint's answers from the server, for the lock's or the question
    // panel's run they were asked in.
    void hintRead(quint64 run, const TVXPasswordHint::HintReading& reading);
    void hintAnswerChecked(quint64 run, const TVXPasswordHint::HintReading& reading);
    bool isHintWaiting() const;

    BMLockPanel* mLockPanel = nullptr;
    BMHintQuestionPanel* mHintQuestionAnswerPanel = nullptr;
    quint64 mLockRun = 0;
    quint64 mHintQuestionRun = 0;
    QTimer* mClearClipBoardTimer = nullptr;
    std::function<bool()> mApplicationActiveProbe;
    std::function<void(int)> mReturnKeyPoster;

    // What this concern reads and calls.
    BMAppState& mState;
    TVXAccountAdminAccess& mAccountAdmin;
    TVXStoreCaches& mCaches;
    TVXEventLogAccess& mEventLog;
    TVXPasswordHint& mPasswordHint;
    TVXPreferences& mPreferences;
    TVXRecordWriter& mRecordWriter;
    BMPasswordPanels& mPasswordPanels;
    BMPopUps& mPopUps;
    BMRecordCommands& mRecordCommands;
    BMStartup& mStartup;
    BMMainWindowSetup& mWindowSetup;
    BMTables& mTables;
    bool mWatchingLockKey = false;
};
