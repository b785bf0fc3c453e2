#include "platform/ui/LoginItems.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStandardPaths>

#include <algorithm>
#include <iterator>

namespace platform {
namespace {

const QString kExecKey = QStringLiteral("Exec=");

// Characters that make the desktop-entry rules require quoting.
bool needsQuoting(const QString& path)
{
    static const QString reserved = QStringLiteral(" \t\n\"'\\><~|&;$*?#()`");
    for (const QChar c : path)
        if (reserved.contains(c))
            return true;
    return path.isEmpty();
}

// The value level of a desktop entry: each character here is written as a backslash
// and its letter.
struct Escape {
    char plain;
    char letter;
};
constexpr Escape kEscapes[] = {{'\\', '\\'}, {'\n', 'n'}, {'\t', 't'}, {'\r', 'r'}};

QString escapeValue(const QString& text)
{
    QString out;
    for (const QChar c : text) {
        const auto* e = std::find_if(std::begin(kEscapes), std::end(kEscapes),
                                     [c](const Escape& x) { return c == QLatin1Char(x.plain); });
        if (e == std::end(kEscapes)) {
            out += c;
        } else {
            out += QLatin1Char('\\');
            out += QLatin1Char(e->letter);
        }
    }
    return out;
}

QString unescapeValue(const QString& text)
{
    QString out;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (c != QLatin1Char('\\') || i + 1 == text.size()) {
            out += c;
            continue;
        }
        const QChar next = text.at(++i);
        const auto* e = std::find_if(std::begin(kEscapes), std::end(kEscapes),
                                     [next](const Escape& x) { return next == QLatin1Char(x.letter); });
        if (e != std::end(kEscapes))
            out += QLatin1Char(e->plain);
        else if (next == QLatin1Char('s')) // read, never written
            out += QLatin1Char(' ');
        else
            out += next;
    }
    return out;
}

} // namespace

LoginItems::LoginItems()
    : LoginItems(QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) + QStringLiteral("/autostart"),
                 QCoreApplication::applicationFilePath())
{
}

LoginItems::LoginItems(QString autostartFolder, QString applicationPath)
    : mFolder(std::move(autostartFolder)), mApplicationPath(std::move(applicationPath))
{
}

QString LoginItems::entryPath() const
{
    QString name = QFileInfo(mApplicationPath).fileName();
    if (name.isEmpty())
        name = QStringLiteral("tolvanex");
    return QDir(mFolder).filePath(name + QStringLiteral(".desktop"));
}

QString LoginItems::execValue(const QString& path)
{
    QString arg = path;
    arg.replace(QLatin1Char('%'), QStringLiteral("%%"));
    if (needsQuoting(path)) {
        QString quoted = QStringLiteral("\"");
        for (const QChar c : arg) {
            if (c == QLatin1Char('"') || c == QLatin1Char('`') || c == QLatin1Char('$') || c == QLatin1Char('\\'))
                quoted += QLatin1Char('\\');
            quoted += c;
        }
        arg = quoted + QLatin1Char('"');
    }
    return escapeValue(arg);
}

QString LoginItems::pathFromExecValue(const QString& exec)
{
    const QString line = unescapeValue(exec);
    QString path;
    qsizetype i = 0;
    if (line.startsWith(QLatin1Char('"'))) {
        for (i = 1; i < line.size() && line.at(i) != QLatin1Char('"'); ++i) {
            if (line.at(i) == QLatin1Char('\\') && i + 1 < line.size())
                ++i;
            path += line.at(i);
        }
    } else {
        for (; i < line.size() && !line.at(i).isSpace(); ++i)
            path += line.at(i);
    }
    path.replace(QStringLiteral("%%"), QStringLiteral("%"));
    return path;
}

QString LoginItems::readExecOfEntry() const
{
    QFile file(entryPath());
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        return QString();
    bool inEntry = false;
    while (!file.atEnd()) {
        const QString line = QString::fromUtf8(file.readLine()).trimmed();
        if (line.startsWith(QLatin1Char('[')))
            inEntry = line == QLatin1String("[Desktop Entry]");
        else if (inEntry && line.startsWith(kExecKey))
            return line.mid(kExecKey.size());
    }
    return QString();
}

bool LoginItems::isLaunchedAtLogin() const
{
    const QString exec = readExecOfEntry();
    return !exec.isEmpty() && pathFromExecValue(exec) == mApplicationPath;
}

bool LoginItems::setLaunchedAtLogin(bool on) const
{
    const bool present = isLaunchedAtLogin();
    if (!on)
        return !present || QFile::remove(entryPath());
    if (present)
        return true;
    if (!QDir().mkpath(mFolder))
        return false;
    QSaveFile file(entryPath());
    if (!file.open(QIODevice::WriteOnly | QIODevice::Text))
        return false;
    const QString name = QCoreApplication::applicationName().isEmpty() ? QStringLiteral("Tolvanex Enterprise")
                                                                        : QCoreApplication::applicationName();
    const QString text = QStringLiteral("[Desktop Entry]\n"
                                        "Type=Application\n"
                                        "Name=%1\n"
                                        "Exec=%2\n"
                                        "Terminal=false\n"
                                        "X-GNOME-Autostart-enabled=true\n")
                             .arg(escapeValue(name), execValue(mApplicationPath));
    file.write(text.toUtf8());
    return file.commit();
}

} // namespace platform
