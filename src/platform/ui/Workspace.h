#pragma once
// The desktop's workspace services as this client uses them: opening
// addresses and files, showing a file in the file manager, the applications
// that can open a file, and handing a file to the mail client. Programs are
// started through the replaceable ProcessLauncher.
#include <QList>
#include <QString>
#include <QStringList>
#include <QUrl>

#include <functional>

namespace platform {

// A desktop application (an XDG desktop entry).
struct DesktopApplication {
    QString id;          // "org.example.Viewer.desktop"
    QString name;        // the entry's Name
    QString desktopFile; // full path of the entry
    QString exec;        // the entry's Exec line
};

namespace Workspace {

// Opens an address or a file with the desktop's default handler (main thread).
bool openURL(const QUrl& url);
bool openFile(const QString& path);
// Replaces how addresses are opened (tests); an empty function restores the desktop's.
using URLOpener = std::function<bool(const QUrl&)>;
URLOpener setURLOpener(URLOpener opener);

// Shows the file selected in the file manager (org.freedesktop.FileManager1
// over the session bus); when no file manager answers, opens its folder.
// Waits for the bus, so call it from a worker.
bool revealFile(const QString& path);
// The arguments of the dbus-send call that reveals the file.
QStringList revealCommandArguments(const QString& path);

// The applications that declare they open the file's kind: the default one
// first, then the others by name, each once.
QList<DesktopApplication> applicationsForFile(const QString& path);
// The same for a kind given by its MIME names (type, aliases, ancestors).
QList<DesktopApplication> applicationsForMimeTypes(const QStringList& mimeNames);
// The file's MIME names; empty when the desktop's MIME database does not know it.
QStringList mimeNamesForFile(const QString& path);
// Reads a desktop entry; empty id when the file is not a usable application.
DesktopApplication readDesktopEntry(const QString& desktopFile);
// The command line of the entry's Exec for the file (field codes replaced;
// the file appended when the line names none). Empty when unusable.
QStringList commandLineForFile(const QString& exec, const QString& path);
// Starts the application with the file.
bool openFileWithApplication(const QString& path, const QString& desktopFile);

// Hands the file to the desktop's mail client as an attachment of a new message.
bool composeMailWithAttachment(const QString& path);

} // namespace Workspace
} // namespace platform
