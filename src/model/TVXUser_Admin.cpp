#include "model/TVXUser_Admin.h"

TVXUser_Admin::TVXUser_Admin()
    : TVXUserAccount(0, false)
    , m_fullName(QLatin1String(""))
    , m_email(QLatin1String(""))
    , m_phoneNo(QLatin1String(""))
{
    setMUsername(QLatin1String(""));
    setMPassword(QLatin1String(""));
}

std::shared_ptr<TVXUser_Admin> TVXUser_Admin::createUser()
{
    return std::make_shared<TVXUser_Admin>();
}
