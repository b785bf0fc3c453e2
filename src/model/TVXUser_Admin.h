#pragma once
// A server user account as the administrator's window lists and edits it.
#include "model/Accessors.h"
#include <QByteArray>
#include <QString>
#include <QStringList>

#include "model/TVXUserAccount.h"

#include <cstdint>
#include <memory>

class TVXUser_Admin : public TVXUserAccount {
public:
    // Same as createUser(): a new identifier, platform "Mac-Standalone", permission
    // words 0, no groups, flags NO, every text empty.
    TVXUser_Admin();
    TVXUser_Admin(const TVXUser_Admin&) = delete;
    TVXUser_Admin& operator=(const TVXUser_Admin&) = delete;

    static std::shared_ptr<TVXUser_Admin> createUser();

    // mPassword() is the password as typed in the account window, empty for an
    // account read from the store: its password stays enciphered here, and is
    // kept for administrators only.
    TVX_ACCESSORS(QByteArray, mStoredPassword, setMStoredPassword, m_storedPassword)
    // The account has a password (typed, or stored on the server).
    bool hasPassword() const { return !mPassword().isEmpty() || m_hasStoredPassword; }
    void setHasStoredPassword(bool v) { m_hasStoredPassword = v; }

    TVX_ACCESSORS(QString, mFullName, setMFullName, m_fullName)
    TVX_ACCESSORS(QString, mEmail, setMEmail, m_email)
    TVX_ACCESSORS(QString, mPhoneNo, setMPhoneNo, m_phoneNo)

    TVX_ACCESSORS(bool, isAdministrator, setAdministrator, m_isAdministrator)

private:
    QByteArray m_storedPassword;
    bool m_hasStoredPassword = false;
    QString m_fullName;
    QString m_email;
    QString m_phoneNo;
    bool m_isAdministrator = false;
};
