#pragma once
// What the controller's tests share: settings in a private folder, a keyring
// in memory, and a controller whose quit is only recorded.
#include <QCoreApplication>
#include <QFile>
#include <QHash>
#include <QSettings>
#include <QStandardPaths>
#include <QTemporaryDir>

#include "app/BMController.h"
#include "platform/ui/Keychain.h"

namespace appctltest {

class MemoryKeychain : public platform::Keychain {
public:
    std::optional<QString> readSecret(const QString& key) override
    {
        ++reads;
        if (!secrets.contains(key))
            return std::nullopt;
        return secrets.value(key);
    }
    bool writeSecret(const QString& key, const QString& secret) override
    {
        ++writes;
        secrets.insert(key, secret);
        return true;
    }
    QHash<QString, QString> secrets;
    int reads = 0;
    int writes = 0;
};

// Settings and keyring of this test alone; both are dropped at its end.
class IsolatedDesktop {
public:
    IsolatedDesktop()
    {
        if (QCoreApplication::organizationName().isEmpty())
            QCoreApplication::setOrganizationName(QStringLiteral("TolvanexTests"));
        QSettings::setDefaultFormat(QSettings::IniFormat);
        QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, mDir.path());
        platform::Keychain::setShared(&keychain);
    }
    ~IsolatedDesktop()
    {
        platform::Keychain::setShared(nullptr);
        QSettings().clear();
        QSettings::setPath(QSettings::IniFormat, QSettings::UserScope,
                           QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation));
        QSettings::setDefaultFormat(QSettings::NativeFormat);
    }
    // Everything the settings file holds, as text.
    QByteArray settingsFileText() const
    {
        QSettings settings;
        settings.sync();
        QFile file(settings.fileName());
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }
    MemoryKeychain keychain;

private:
    QTemporaryDir mDir;
};

} // namespace appctltest
