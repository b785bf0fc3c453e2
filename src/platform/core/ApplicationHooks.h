#pragma once
// The calls the core makes towards the application controller. The
// application installs its implementation at start-up; tests install their own.
// Every call arrives on the main thread.

#include <QString>

namespace platform {

class ApplicationHooks {
public:
    virtual ~ApplicationHooks() = default;
    // A log-in attempt has ended; the result is the manager's connectionErrorCode().
    virtual void connectionISComplete() {}
    // A reload worker has finished.
    virtual void finishReloadingData() {}
    virtual void stopConnectionModelWindow() {}
    virtual void checkConnectionCallback(int code) { (void)code; }
    // A reload failed with the result code.
    virtual void reloadFailed(int code) { (void)code; }
    // After a reload: permissions may have changed.
    virtual void updateApplicationUIForCurrectPermissions() {}
    // A reload found the account disabled (6) or deleted (7): the application
    // tells the user and quits without saving the user's view state.
    virtual void accountRefusedDuringReload(int code) { (void)code; }
    // Whether the main window is zoomed (stored with its frame).
    virtual bool isMainWindowMaximied() { return false; }
    // Whether a font family exists on this desktop; without windows every name is kept.
    virtual bool fontFamilyExists(const QString& family) { (void)family; return true; }
};

// Null until the application (or a test) installs one; not owned.
void setApplicationHooks(ApplicationHooks* hooks);
ApplicationHooks* applicationHooks();

} // namespace platform
