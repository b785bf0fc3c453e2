#pragma once
// The fields a server user account has wherever it is seen: the signed-in user
// (TVXUser) and the administrator's view of an account (TVXUser_Admin).
#include "model/Accessors.h"
#include <QString>
#include <QStringList>

#include <cstdint>

inline const QString kDefaultPlatformName = QStringLiteral("Mac-Standalone");

class TVXUserAccount {
public:
    TVXUserAccount(const TVXUserAccount&) = delete;
    TVXUserAccount& operator=(const TVXUserAccount&) = delete;

    TVX_ACCESSORS(QString, mUserID, setMUserID, m_userID)
    TVX_ACCESSORS(QString, mUsername, setMUsername, m_username)
    TVX_ACCESSORS(QString, mPassword, setMPassword, m_password)
    TVX_ACCESSORS(QString, mDescription, setMDescription, m_description)
    TVX_ACCESSORS(QString, mPlatformName, setMPlatformName, m_platformName)

    TVX_ACCESSORS(uint16_t, mGroupPermissionsBit, setMGroupPermissionsBit, m_groupPermissionsBit)
    TVX_ACCESSORS(uint16_t, mTypePermissionsBit, setMTypePermissionsBit, m_typePermissionsBit)
    TVX_ACCESSORS(uint16_t, mDataPermissionsBit, setMDataPermissionsBit, m_dataPermissionsBit)
    TVX_ACCESSORS(uint16_t, mRecordPermissionsBit, setMRecordPermissionsBit, m_recordPermissionsBit)

    const QStringList& mUsersGroupArray() const { return m_usersGroupArray; }
    QStringList& mUsersGroupArray() { return m_usersGroupArray; }
    void setMUsersGroupArray(const QStringList& v) { m_usersGroupArray = v; }

    TVX_ACCESSORS(bool, mIsNotAllowedToChangePassword, setMIsNotAllowedToChangePassword, m_isNotAllowedToChangePassword)
    TVX_ACCESSORS(bool, mIsAccountDisabled, setMIsAccountDisabled, m_isAccountDisabled)

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
