#include "model/BMGroup.h"

#include "model/TVXType.h"
#include "model/TVXUID.h"
#include "model/TVXUser.h"
#include "model/TVXUser_Admin.h"

std::shared_ptr<BMGroup> BMGroup::newGroup()
{
    auto group = std::make_shared<BMGroup>();
    group->m_groupUID = TVXUID::giveMeNewUID();
    group->m_groupName = QLatin1String("");
    return group;
}

std::shared_ptr<BMGroup> BMGroup::UnfiledGroup()
{
    static const std::shared_ptr<BMGroup> unfiled = [] {
        auto group = std::make_shared<BMGroup>();
        group->m_groupUID = kUnfiledUID;
        group->m_groupName = TVXLocalizedUnfiled();
        return group;
    }();
    return unfiled;
}

void BMGroup::addMember(const TVXUser& user)
{
    addMember(user.mUserID());
}

void BMGroup::addMember(const TVXUser_Admin& user)
{
    addMember(user.mUserID());
}

void BMGroup::addMember(const QString& userID)
{
    if (!m_userMembersArray.contains(userID))
        m_userMembersArray.append(userID);
}
