#pragma once
// A server user account as the administrator's window lists and edits it.
#include <QByteArray>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <memory>

class TVXUser_Admin {
public:
    // Same as createUser(): a new identifier, platform "Mac-Standalone", permission
    // words 0, no groups, flags NO, every text empty.
    TVXUser_Admin();
    TVXUser_Admin(const TVXUser_Admin&) = delete;
    TVXUser_Admin& operator=(const TVXUser_Admin&) = delete;

    static std::shared_ptr<TVXUser_Admin> createUser();

    const QString& mUserID() const { return m_userID; }
    void setMUserID(const QString& v) { m_userID = v; }
    const QString& mUsername() const { return m_username; }
    void setMUsername(const QString& v) { m_username = v; }
    // The password as typed in the account window; empty for an account read
    // from the store, whose password stays enciphered (mStoredPassword).
    const QString& mPassword() const { return m_password; }
    void setMPassword(const QString& v) { m_password = v; }
    // The stored, enciphered password: kept for administrators only.
    const QByteArray& mStoredPassword() const { return m_storedPassword; }
    void setMStoredPassword(const QByteArray& v) { m_storedPassword = v; }
    // The account has a password (typed, or stored on the server).
    bool hasPassword() const { return !m_password.isEmpty() || m_hasStoredPassword; }
    void setHasStoredPassword(bool v) { m_hasStoredPassword = v; }
    const QString& mDescription() const { return m_description; }
    void setMDescription(const QString& v) { m_description = v; }
    const QString& mPlatformName() const { return m_platformName; }
    void setMPlatformName(const QString& v) { m_platformName = v; }

    const QStringList& mUsersGroupArray() const { return m_usersGroupArray; }
    QStringList& mUsersGroupArray() { return m_usersGroupArray; }
    void setMUsersGroupArray(const QStringList& v) { m_usersGroupArray = v; }

    uint16_t mGroupPermissionsBit() const { return m_groupPermissionsBit; }
    void setMGroupPermissionsBit(uint16_t v) { m_groupPermissionsBit = v; }
    uint16_t mTypePermissionsBit() const { return m_typePermissionsBit; }
    void setMTypePermissionsBit(uint16_t v) { m_typePermissionsBit = v; }
    uint16_t mDataPermissionsBit() const { return m_dataPermissionsBit; }
    void setMDataPermissionsBit(uint16_t v) { m_dataPermissionsBit = v; }
    uint16_t mRecordPermissionsBit() const { return m_recordPermissionsBit; }
    void setMRecordPermissionsBit(uint16_t v) { m_recordPermissionsBit = v; }

    bool mIsNotAllowedToChangePassword() const { return m_isNotAllowedToChangePassword; }
    void setMIsNotAllowedToChangePassword(bool v) { m_isNotAllowedToChangePassword = v; }
    bool mIsAccountDisabled() const { return m_isAccountDisabled; }
    void setMIsAccountDisabled(bool v) { m_isAccountDisabled = v; }

    const QString& mFullName() const { return m_fullName; }
    void setMFullName(const QString& v) { m_fullName = v; }
    const QString& mEmail() const { return m_email; }
    void setMEmail(const QString& v) { m_email = v; }
    const QString& mPhoneNo() const { return m_phoneNo; }
    void setMPhoneNo(const QString& v) { m_phoneNo = v; }

    bool isAdministrator() const { return m_isAdministrator; }
    void setAdministrator(bool v) { m_isAdministrator = v; }

private:
    QString m_userID;
    QString m_username;
    QString m_password;
    QByteArray m_storedPassword;
    bool m_hasStoredPassword = false;
    QString m_description;
    QString m_platformName;
    QStringList m_usersGroupArray;
    uint16_t m_groupPermissionsBit = 0;
    uint16_t m_typePermissionsBit = 0;
    uint16_t m_dataPermissionsBit = 0;
    uint16_t m_recordPermissionsBit = 0;
    bool m_isNotAllowedToChangePassword = false;
    bool m_isAccountDisabled = false;
    QString m_fullName;
    QString m_email;
    QString m_phoneNo;
    bool m_isAdministrator = false;
};
