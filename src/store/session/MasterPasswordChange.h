#pragma once
// The master-password change, as the controller's panels drive it: the stored
// password to check against, the new one kept, and every stored value
// enciphered again under it. The manager implements it
// (TVXDataBase_MasterPassword.cpp).
#include "store/session/ResultCodes.h"

#include <QString>

class TVXMasterPasswordChange {
public:
    // The stored master password; null on failure or when none is stored.
    virtual QString checkForMasterPasswordMatch() = 0;
    // The master password this client's values are enciphered under (empty
    // for none), without asking the server: the re-encryption confirms under
    // lock that the store still has it.
    virtual QString masterPasswordInForce() const = 0;
    // Kept until reEncyptAllDatabaseInformation() commits it.
    virtual void saveMasterPasswordForAdmin(const QString& newPassword) = 0;
    virtual void setChangeMasterPassword(bool changed) = 0;
    // Every stored value and the stored password under the new master
    // password, in one transaction; on failure the old key stays.
    virtual TVXResult reEncyptAllDatabaseInformation(const QString& newPassword) = 0;

protected:
    TVXMasterPasswordChange() = default;
    ~TVXMasterPasswordChange() = default;
    TVXMasterPasswordChange(const TVXMasterPasswordChange&) = delete;
    TVXMasterPasswordChange& operator=(const TVXMasterPasswordChange&) = delete;
};
