#pragma once
// Launch at log-in on a freedesktop session: an autostart entry
// (<folder>/<name>.desktop) whose Exec line starts the application.
// One entry per application path; other applications' entries are never read
// or touched.
#include <QString>

namespace platform {

class LoginItems {
public:
    // The session's autostart folder ($XDG_CONFIG_HOME/autostart, else
    // ~/.config/autostart) and this executable's path.
    LoginItems();
    // A given folder and application path (tests, other programs).
    LoginItems(QString autostartFolder, QString applicationPath);

    const QString& autostartFolder() const { return mFolder; }
    const QString& applicationPath() const { return mApplicationPath; }
    // The entry's file: the folder, "/", the executable's name, ".desktop".
    QString entryPath() const;

    // Whether the entry exists and starts this application's path.
    bool isLaunchedAtLogin() const;
    // On: writes the entry (atomically) unless it already starts this path.
    // Off: removes the entry only when it starts this path. False when the
    // folder or file could not be written or removed.
    bool setLaunchedAtLogin(bool on) const;

    // The Exec value for a path, quoted by the desktop-entry rules.
    static QString execValue(const QString& path);
    // The path an Exec value starts (the inverse of execValue for one argument).
    static QString pathFromExecValue(const QString& exec);

private:
    QString readExecOfEntry() const;

    QString mFolder;
    QString mApplicationPath;
};

} // namespace platform
