#pragma once
// Settings kept on this computer (not per store user), over QSettings.
// Never a secret: the master password lives in the desktop keyring.
#include <QString>
#include <QStringList>
#include <QVariant>

namespace platform {

class UserDefaults {
public:
    static QVariant value(const QString& key, const QVariant& fallback = {});
    static void setValue(const QString& key, const QVariant& value);
    static void remove(const QString& key);

    static QStringList stringList(const QString& key) { return value(key).toStringList(); }
    static void setStringList(const QString& key, const QStringList& list) { setValue(key, list); }
};

} // namespace platform
