#include "platform/core/UserDefaults.h"

#include <QSettings>

namespace platform {

// QSettings is reentrant: one object per call keeps threads apart.
QVariant UserDefaults::value(const QString& key, const QVariant& fallback)
{
    return QSettings().value(key, fallback);
}

void UserDefaults::setValue(const QString& key, const QVariant& value) { QSettings().setValue(key, value); }

void UserDefaults::remove(const QString& key) { QSettings().remove(key); }

} // namespace platform
