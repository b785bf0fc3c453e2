#pragma once
// The manager's master-password change: the new password kept until the
// change commits, and every stored value enciphered again under it
// (TVXDataBase_MasterPassword.cpp).
#include "store/session/MasterPasswordChange.h"

#include <QString>

#include <atomic>

namespace sql {
class Connection;
}

class TVXDataBase;

class TVXMasterPasswordStore final : public TVXMasterPasswordChange {
public:
    explicit TVXMasterPasswordStore(TVXDataBase& database) : mDatabase(database) {}

    QString checkForMasterPasswordMatch() override;
    QString masterPasswordInForce() const override;
    void saveMasterPasswordForAdmin(const QString& newPassword) override { mPendingMasterPassword = newPassword; }
    void setChangeMasterPassword(bool changed) override { mIsMasterPasswordChanged.store(changed); }
    bool isMasterPasswordChanged() const { return mIsMasterPasswordChanged.load(); }
    // The stored password is the DBPASSWORD row. Clears the manager's
    // load-completion flag while it runs (the progress panel polls it).
    TVXResult reEncyptAllDatabaseInformation(const QString& newPassword) override;

private:
    TVXDataBase& mDatabase;
    QString mPendingMasterPassword;
    std::atomic<bool> mIsMasterPasswordChanged{false};
};
