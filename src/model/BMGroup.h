#pragma once
// A group (folder) of records with its permission words, member users and sub-groups.
#include "model/Accessors.h"
#include <QString>
#include <QStringList>

#include <cstdint>
#include <memory>

class TVXUser;
class TVXUser_Admin;

// Bits of the group, type and record permission words.
inline constexpr uint16_t kPermissionAdd = 1; // also duplicate
inline constexpr uint16_t kPermissionEdit = 2;
inline constexpr uint16_t kPermissionDelete = 4;
// Bits of the data permission word.
inline constexpr uint16_t kDataPermissionPrint = 1;
inline constexpr uint16_t kDataPermissionRemoveDuplicates = 2;
inline constexpr uint16_t kDataPermissionImport = 4;
inline constexpr uint16_t kDataPermissionExportAndMail = 8;

class BMGroup {
public:
    // Everything empty or zero; no identifier.
    BMGroup() = default;
    BMGroup(const BMGroup&) = delete;
    BMGroup& operator=(const BMGroup&) = delete;

    // New identifier, empty name, permission words 0, prevails NO, no members or sub-groups.
    static std::shared_ptr<BMGroup> newGroup();
    // The shared unfiled group ("0000000000000000", "Unfiled").
    static std::shared_ptr<BMGroup> UnfiledGroup();

    // Appends the user's identifier unless the member list already holds it.
    void addMember(const TVXUser& user);
    void addMember(const TVXUser_Admin& user);
    void addMember(const QString& userID);

    TVX_ACCESSORS(QString, mGroupName, setMGroupName, m_groupName)
    TVX_ACCESSORS(QString, mGroupUID, setMGroupUID, m_groupUID)
    TVX_ACCESSORS(uint16_t, mRecordLevelPermissions, setMRecordLevelPermissions, m_recordLevelPermissions)
    TVX_ACCESSORS(uint16_t, mTypeLevelPermissions, setMTypeLevelPermissions, m_typeLevelPermissions)
    const QStringList& mUserMembersArray() const { return m_userMembersArray; }
    QStringList& mUserMembersArray() { return m_userMembersArray; }
    void setMUserMembersArray(const QStringList& v) { m_userMembersArray = v; }
    const QStringList& mSubGroupsUID() const { return m_subGroupsUID; }
    QStringList& mSubGroupsUID() { return m_subGroupsUID; }
    void setMSubGroupsUID(const QStringList& v) { m_subGroupsUID = v; }
    TVX_ACCESSORS(bool, mPreferencePermissions, setMPreferencePermissions, m_preferencePermissions)

private:
    QString m_groupName;
    QString m_groupUID;
    uint16_t m_recordLevelPermissions = 0;
    uint16_t m_typeLevelPermissions = 0;
    QStringList m_userMembersArray;
    QStringList m_subGroupsUID;
    bool m_preferencePermissions = false;
};
