#include "model/TVXUser.h"

#include "model/TVXUID.h"

#include <QGuiApplication>
#include <QScreen>

#include <algorithm>

TVXUser::TVXUser()
    : TVXUserAccount(kDefaultUserPermissions, true)
    , m_textFont(kDefaultTextFontName, kDefaultTextFontSize)
    , m_rowColor(QColor::fromRgbF(1.0f, 1.0f, 1.0f, 1.0f))
    , m_windowPosition(defaultWindowPosition(mainScreenSize()))
    , m_currentType(kAllCategoriesUID)
    , m_currentGroup(kAllCategoriesUID)
{
}

std::shared_ptr<TVXUser> TVXUser::createUser()
{
    return std::make_shared<TVXUser>();
}

QSizeF TVXUser::mainScreenSize()
{
    if (qobject_cast<QGuiApplication*>(QCoreApplication::instance())) {
        if (const QScreen* screen = QGuiApplication::primaryScreen())
            return screen->geometry().size();
    }
    return QSizeF(1280, 800);
}

QRectF TVXUser::defaultWindowPosition(const QSizeF& screen)
{
    // Single precision, as the frame is kept in floats.
    const float screenWidth = static_cast<float>(screen.width());
    const float screenHeight = static_cast<float>(screen.height());
    const float width = std::max(0.7f * screenWidth, 1030.0f);
    const float height = 0.7f * screenHeight;
    const float x = (screenWidth - width) / 2.0f;
    const float y = (screenHeight - height) / 2.0f;
    return QRectF(x, y, width, height);
}
