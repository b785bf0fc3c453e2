#include "model/TVXUser_Admin.h"

#include "model/TVXUID.h"
#include "model/TVXUser.h"

TVXUser_Admin::TVXUser_Admin()
    : m_userID(TVXUID::giveMeNewUID())
    , m_username(QLatin1String(""))
    , m_password(QLatin1String(""))
    , m_description(QLatin1String(""))
    , m_platformName(kDefaultPlatformName)
    , m_fullName(QLatin1String(""))
    , m_email(QLatin1String(""))
    , m_phoneNo(QLatin1String(""))
{
}

std::shared_ptr<TVXUser_Admin> TVXUser_Admin::createUser()
{
    return std::make_shared<TVXUser_Admin>();
}
