#pragma once
// What the application's concerns share: the state every one of them reads,
// and the parts of the store they are given. Owned by the coordinator
// (BMController); each concern keeps only the parts it uses.

#include "store/StoreTypes.h"

#include <QPointer>
#include <QString>
#include <QWidget>

#include <functional>

struct BMAppState {
    QWidget* mainWindow() const { return mMainWindow; }
    const QString& currentUserName() const { return mCurrentUserName; }
    bool isConnectionCancelled() const { return mIsConnectionCancelled; }
    // Whether the store has a connection to the server (preferences are saved only then).
    bool storeConnected() const { return mStoreConnected && mStoreConnected(); }

    // The main window is made by the main-window concern and deleted with the coordinator.
    QPointer<QWidget> mMainWindow;
    std::function<bool()> mStoreConnected;
    // The session.
    bool mIsLoaded = false;
    bool mIsConnectionCancelled = false;
    bool mAppDidFinishLaunching = false;
    QString mCurrentUserName;
    bool mNeedToDoSynchOnExit = false;
    bool mSaveBackUpIsDone = true;
    // The lock and the clipboard.
    int mNumberOfAttempts = 0;
    bool mShouldLockInfoDisplay = false;
    int mLastPasteBoardChangeCount = 0;
    // What the main window shows.
    QString mGroupFilterSelectedUID;
    bool mDetailPanelIsVisible = false;
    bool mShouldMask = false;
    bool mShouldCreateDatabase = false;
    bool mPrintDialogON = false;
    int mPreviousType = 0;
    int mPreviousCategory = 0;
    int mPriviousContextualType = -1;
    int mPriviousContextualCategory = -1;
};

// The store's access interfaces, all over one TVXDataBase.
struct BMStoreAccess {
    explicit BMStoreAccess(TVXDataBase& database);
    TVXStoreCaches& caches;
    TVXPreferences& preferences;
    TVXPasswordHint& passwordHint;
    TVXEventLogAccess& eventLog;
    TVXIconsAccess& icons;
    TVXRecentListsAccess& recentLists;
    TVXAttachmentStoreAccess& attachments;
    TVXAccountAdminAccess& accountAdmin;
    TVXPersonalAccess& personal;
    TVXRecordWriter& recordWriter;
    TVXGroupTypeWriter& groupTypeWriter;
    TVXMasterPasswordChange& masterPassword;
};
