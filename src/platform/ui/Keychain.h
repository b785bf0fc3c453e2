#pragma once
// Secrets this computer remembers for the user (the store's master password)
// go to the desktop keyring, never into a settings file. Tests install an
// in-memory stand-in.
#include <QString>

#include <optional>

namespace platform {

class Keychain {
public:
    virtual ~Keychain() = default;
    // The secret kept under the key; none when there is none or the keyring
    // cannot be reached.
    virtual std::optional<QString> readSecret(const QString& key) = 0;
    // Stores the secret; false when the keyring refused it.
    virtual bool writeSecret(const QString& key, const QString& secret) = 0;

    // The desktop keyring (qtkeychain), unless a stand-in was installed.
    static Keychain& shared();
    // Replaces the shared keychain (null restores the desktop one); not owned.
    static void setShared(Keychain* keychain);
};

} // namespace platform
