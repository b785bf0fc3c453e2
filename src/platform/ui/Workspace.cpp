#include "platform/ui/Workspace.h"

#include "platform/ui/ProcessLauncher.h"

#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMimeDatabase>
#include <QSet>
#include <QStandardPaths>
#include <QTextStream>

#include <algorithm>
#include <mutex>

namespace platform::Workspace {
namespace {

std::mutex gOpenerMutex;
URLOpener& installedOpener()
{
    static URLOpener opener;
    return opener;
}

constexpr int kRevealTimeoutMs = 5000;

// "[Group]" sections of a desktop-entry style file: key -> value for one group.
QHash<QString, QString> readIniGroup(const QString& file, const QString& group)
{
    QHash<QString, QString> values;
    QFile f(file);
    if (!f.open(QIODevice::ReadOnly | QIODevice::Text))
        return values;
    QTextStream in(&f);
    bool inGroup = false;
    while (!in.atEnd()) {
        const QString line = in.readLine().trimmed();
        if (line.isEmpty() || line.startsWith(QLatin1Char('#')))
            continue;
        if (line.startsWith(QLatin1Char('['))) {
            inGroup = line == QLatin1Char('[') + group + QLatin1Char(']');
            continue;
        }
        if (!inGroup)
            continue;
        const int eq = line.indexOf(QLatin1Char('='));
        if (eq <= 0)
            continue;
        const QString key = line.left(eq).trimmed();
        if (!values.contains(key)) // the first of a key wins
            values.insert(key, line.mid(eq + 1).trimmed());
    }
    return values;
}

QStringList applicationDirs()
{
    QStringList dirs;
    for (const QString& base : QStandardPaths::standardLocations(QStandardPaths::GenericDataLocation))
        dirs << base + QStringLiteral("/applications");
    dirs.removeDuplicates();
    return dirs;
}

QString desktopFileForID(const QString& id)
{
    for (const QString& dir : applicationDirs()) {
        const QString candidate = dir + QLatin1Char('/') + id;
        if (QFileInfo(candidate).isFile())
            return candidate;
    }
    return {};
}

// The default application's id from mimeapps.list (user's first).
QString defaultApplicationID(const QStringList& mimeNames)
{
    QStringList lists;
    for (const QString& dir : QStandardPaths::standardLocations(QStandardPaths::GenericConfigLocation))
        lists << dir + QStringLiteral("/mimeapps.list");
    for (const QString& dir : applicationDirs())
        lists << dir + QStringLiteral("/mimeapps.list");
    for (const QString& mime : mimeNames) {
        for (const QString& list : lists) {
            const auto defaults = readIniGroup(list, QStringLiteral("Default Applications"));
            for (const QString& id : defaults.value(mime).split(QLatin1Char(';'), Qt::SkipEmptyParts)) {
                if (!desktopFileForID(id.trimmed()).isEmpty())
                    return id.trimmed();
            }
        }
    }
    return {};
}

// Splits an Exec value into arguments by the desktop-entry quoting rules.
QStringList splitExec(const QString& exec)
{
    QStringList args;
    QString current;
    bool quoted = false;
    bool any = false;
    for (int i = 0; i < exec.size(); ++i) {
        const QChar c = exec.at(i);
        if (quoted) {
            if (c == QLatin1Char('\\') && i + 1 < exec.size()) {
                current += exec.at(++i);
            } else if (c == QLatin1Char('"')) {
                quoted = false;
            } else {
                current += c;
            }
        } else if (c == QLatin1Char('"')) {
            quoted = true;
            any = true;
        } else if (c.isSpace()) {
            if (any || !current.isEmpty())
                args << current;
            current.clear();
            any = false;
        } else {
            current += c;
        }
    }
    if (quoted)
        return {}; // unbalanced quotes: not a usable line
    if (any || !current.isEmpty())
        args << current;
    return args;
}

} // namespace

URLOpener setURLOpener(URLOpener opener)
{
    std::lock_guard lock(gOpenerMutex);
    URLOpener previous = std::move(installedOpener());
    installedOpener() = std::move(opener);
    return previous;
}

bool openURL(const QUrl& url)
{
    if (!url.isValid())
        return false;
    URLOpener opener;
    {
        std::lock_guard lock(gOpenerMutex);
        opener = installedOpener();
    }
    if (opener)
        return opener(url);
    return QDesktopServices::openUrl(url);
}

bool openFile(const QString& path)
{
    return openURL(QUrl::fromLocalFile(path));
}

QStringList revealCommandArguments(const QString& path)
{
    // dbus-send splits array elements at commas: keep them inside the URI.
    QString uri = QString::fromUtf8(QUrl::fromLocalFile(QFileInfo(path).absoluteFilePath()).toEncoded());
    uri.replace(QLatin1Char(','), QStringLiteral("%2C"));
    return {QStringLiteral("--session"),
            QStringLiteral("--print-reply"),
            QStringLiteral("--dest=org.freedesktop.FileManager1"),
            QStringLiteral("--type=method_call"),
            QStringLiteral("/org/freedesktop/FileManager1"),
            QStringLiteral("org.freedesktop.FileManager1.ShowItems"),
            QStringLiteral("array:string:") + uri,
            QStringLiteral("string:")};
}

bool revealFile(const QString& path)
{
    auto launcher = processLauncher();
    if (launcher->execute(QStringLiteral("dbus-send"), revealCommandArguments(path), kRevealTimeoutMs) == 0)
        return true;
    return launcher->startDetached(QStringLiteral("xdg-open"), {QFileInfo(path).absolutePath()});
}

DesktopApplication readDesktopEntry(const QString& desktopFile)
{
    const auto entry = readIniGroup(desktopFile, QStringLiteral("Desktop Entry"));
    DesktopApplication app;
    if (entry.value(QStringLiteral("Type")) != QLatin1String("Application")
        || entry.value(QStringLiteral("Hidden")) == QLatin1String("true")
        // A program that needs a terminal would start without a window.
        || entry.value(QStringLiteral("Terminal")) == QLatin1String("true")
        || entry.value(QStringLiteral("Exec")).isEmpty())
        return app;
    app.id = QFileInfo(desktopFile).fileName();
    app.name = entry.value(QStringLiteral("Name"));
    if (app.name.isEmpty())
        app.name = QFileInfo(desktopFile).completeBaseName();
    app.desktopFile = desktopFile;
    app.exec = entry.value(QStringLiteral("Exec"));
    return app;
}

QStringList mimeNamesForFile(const QString& path)
{
    const QMimeType type = QMimeDatabase().mimeTypeForFile(path);
    if (!type.isValid() || type.name().isEmpty())
        return {};
    QStringList names{type.name()};
    names << type.aliases() << type.allAncestors();
    names.removeDuplicates();
    return names;
}

QList<DesktopApplication> applicationsForFile(const QString& path)
{
    return applicationsForMimeTypes(mimeNamesForFile(path));
}

QList<DesktopApplication> applicationsForMimeTypes(const QStringList& mimeNames)
{
    QList<DesktopApplication> result;
    if (mimeNames.isEmpty())
        return result;
    QSet<QString> ids;
    QSet<QString> names;
    auto take = [&](const DesktopApplication& app) {
        if (app.id.isEmpty() || ids.contains(app.id) || names.contains(app.name))
            return;
        ids.insert(app.id);
        names.insert(app.name);
        result << app;
    };

    const QString defaultID = defaultApplicationID(mimeNames);
    if (!defaultID.isEmpty())
        take(readDesktopEntry(desktopFileForID(defaultID)));

    QList<DesktopApplication> others;
    QSet<QString> seenIDs;
    for (const QString& dir : applicationDirs()) {
        const QStringList files = QDir(dir).entryList({QStringLiteral("*.desktop")}, QDir::Files, QDir::Name);
        for (const QString& file : files) {
            if (seenIDs.contains(file)) // an earlier folder's entry of the same id wins
                continue;
            seenIDs.insert(file);
            const QString full = dir + QLatin1Char('/') + file;
            const auto entry = readIniGroup(full, QStringLiteral("Desktop Entry"));
            const QStringList types = entry.value(QStringLiteral("MimeType")).split(QLatin1Char(';'), Qt::SkipEmptyParts);
            const bool opens = std::any_of(types.begin(), types.end(),
                                           [&](const QString& t) { return mimeNames.contains(t.trimmed()); });
            if (opens)
                others << readDesktopEntry(full);
        }
    }
    std::sort(others.begin(), others.end(), [](const DesktopApplication& a, const DesktopApplication& b) {
        return a.name.compare(b.name, Qt::CaseInsensitive) < 0;
    });
    for (const auto& app : others)
        take(app);
    return result;
}

QStringList commandLineForFile(const QString& exec, const QString& path)
{
    const QStringList parts = splitExec(exec);
    if (parts.isEmpty())
        return {};
    const QString fileUrl = QString::fromUtf8(QUrl::fromLocalFile(path).toEncoded());
    QStringList command;
    bool fileNamed = false;
    for (const QString& part : parts) {
        if (part == QLatin1String("%f") || part == QLatin1String("%F")) {
            command << path;
            fileNamed = true;
            continue;
        }
        if (part == QLatin1String("%u") || part == QLatin1String("%U")) {
            command << fileUrl;
            fileNamed = true;
            continue;
        }
        if (part == QLatin1String("%i") || part == QLatin1String("%c") || part == QLatin1String("%k"))
            continue;
        QString arg;
        for (int i = 0; i < part.size(); ++i) {
            if (part.at(i) == QLatin1Char('%') && i + 1 < part.size()) {
                const QChar code = part.at(++i);
                if (code == QLatin1Char('%'))
                    arg += QLatin1Char('%');
                else if (code == QLatin1Char('f') || code == QLatin1Char('F')) {
                    arg += path;
                    fileNamed = true;
                } else if (code == QLatin1Char('u') || code == QLatin1Char('U')) {
                    arg += fileUrl;
                    fileNamed = true;
                }
                // other field codes are dropped
            } else {
                arg += part.at(i);
            }
        }
        command << arg;
    }
    if (!fileNamed)
        command << path;
    return command;
}

bool openFileWithApplication(const QString& path, const QString& desktopFile)
{
    const DesktopApplication app = readDesktopEntry(desktopFile);
    const QStringList command = commandLineForFile(app.exec, path);
    if (command.isEmpty())
        return false;
    return processLauncher()->startDetached(command.first(), command.mid(1));
}

bool composeMailWithAttachment(const QString& path)
{
    return processLauncher()->startDetached(QStringLiteral("xdg-email"),
                                            {QStringLiteral("--attach"), QFileInfo(path).absoluteFilePath()});
}

} // namespace platform::Workspace
