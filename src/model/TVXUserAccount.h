#pragma once
// The fields a server user account has wherever it is seen: the signed-in user
// (TVXUser) and the administrator's view of an account (TVXUser_Admin).
#include <QString>
#include <QStringList>

#include <cstdint>

inline const QString kDefaultPlatformName = QStringLiteral("Mac-Standalone");

class TVXUserAccount {
public:
    TVXUserAccount(const TVXUserAccount&) = delete;
    TVXUserAccount& operator=(const TVXUserAccount&) = delete;

    const QString& mUserID() const { return m_userID; }
    void setMUserID(const QString& v) { m_userID = v; }
    const QString& mUsername() const { return m_username; }
    void setMUsername(const QString& v) { m_username = v; }
    const QString& mPassword() const { return m_password; }
    void setMPassword(const QString& v) { m_password = v; }
    const QString& mDescription() const { return m_description; }
    void setMDescription(const QString& v) { m_description = v; }
    const QString& mPlatformName() const { return m_platformName; }
    void setMPlatformName(const QString& v) { m_platformName = v; }

    uint16_t mGroupPermissionsBit() const { return m_groupPermissionsBit; }
    void setMGroupPermissionsBit(uint16_t v) { m_groupPermissionsBit = v; }
    uint16_t mTypePermissionsBit() const { return m_typePermissionsBit; }
    void setMTypePermissionsBit(uint16_t v) { m_typePermissionsBit = v; }
    uint16_t mDataPermissionsBit() const { return m_dataPermissionsBit; }
    void setMDataPermissionsBit(uint16_t v) { m_dataPermissionsBit = v; }
    uint16_t mRecordPermissionsBit() const { return m_recordPermissionsBit; }
    void setMRecordPermissionsBit(uint16_t v) { m_recordPermissionsBit = v; }

    const QStringList& mUsersGroupArray() const { return m_usersGroupArray; }
    QStringList& mUsersGroupArray() { return m_usersGroupArray; }
    void setMUsersGroupArray(const QStringList& v) { m_usersGroupArray = v; }

    bool mIsNotAllowedToChangePassword() const { return m_isNotAllowedToChangePassword; }
    void setMIsNotAllowedToChangePassword(bool v) { m_isNotAllowedToChangePassword = v; }
    bool mIsAccountDisabled() const { return m_isAccountDisabled; }
    void setMIsAccountDisabled(bool v) { m_isAccountDisabled = v; }

protected:
    // A new identifier, the default platform, an empty description; the two user
    // classes start from different permission words and account flags.
    TVXUserAccount(uint16_t permissionWords, bool accountFlags);
    ~TVXUserAccount() = default;

private:
    QString m_userID;
    QString m_username;
    QString m_password;
    QString m_description;
    QString m_platformName;
    uint16_t m_groupPermissionsBit;
    uint16_t m_typePermissionsBit;
    uint16_t m_dataPermissionsBit;
    uint16_t m_recordPermissionsBit;
    QStringList m_usersGroupArray;
    bool m_isNotAllowedToChangePassword;
    bool m_isAccountDisabled;
};
