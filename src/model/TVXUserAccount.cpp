#include "model/TVXUserAccount.h"

#include "model/TVXUID.h"

TVXUserAccount::TVXUserAccount(uint16_t permissionWords, bool accountFlags)
    : m_userID(TVXUID::giveMeNewUID())
    , m_description(QLatin1String(""))
    , m_platformName(kDefaultPlatformName)
    , m_groupPermissionsBit(permissionWords)
    , m_typePermissionsBit(permissionWords)
    , m_dataPermissionsBit(permissionWords)
    , m_recordPermissionsBit(permissionWords)
    , m_isNotAllowedToChangePassword(accountFlags)
    , m_isAccountDisabled(accountFlags)
{
}
