#include "store/attachments/TVXAttachmentFolder.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QTemporaryDir>

TVXAttachmentFolder::TVXAttachmentFolder(const QString& parent) : mParent(parent) {}

TVXAttachmentFolder::~TVXAttachmentFolder() = default; // QTemporaryDir removes itself

TVXAttachmentFolder& TVXAttachmentFolder::shared()
{
    static TVXAttachmentFolder folder;
    return folder;
}

QString TVXAttachmentFolder::pathLocked()
{
    if (!mDir) {
        const QString parent = mParent.isEmpty() ? QDir::tempPath() : mParent;
        // A unique name made with mkdtemp: mode 0700, never a folder someone prepared.
        auto dir = std::make_unique<QTemporaryDir>(QDir(parent).filePath(QStringLiteral("tolvanex-XXXXXX")));
        if (!dir->isValid())
            return QString();
        mDir = std::move(dir);
    }
    return mDir->path();
}

QString TVXAttachmentFolder::path()
{
    std::lock_guard lock(mMutex);
    return pathLocked();
}

QString TVXAttachmentFolder::safeFileName(const QString& name)
{
    QString base = name.section(QLatin1Char('/'), -1);
    QString clean;
    clean.reserve(base.size());
    for (const QChar c : base)
        if (c.category() != QChar::Other_Control && c != QChar::Null)
            clean.append(c);
    clean = clean.trimmed();
    if (clean.isEmpty() || clean == QLatin1String(".") || clean == QLatin1String(".."))
        return QStringLiteral("attachment");
    return clean;
}

QString TVXAttachmentFolder::writeFile(const QString& name, const QByteArray& bytes)
{
    std::lock_guard lock(mMutex);
    const QString folder = pathLocked();
    if (folder.isNull())
        return QString();
    const QString filePath = QDir(folder).filePath(safeFileName(name));
    QSaveFile file(filePath);
    if (!file.open(QIODevice::WriteOnly))
        return QString();
    if (file.write(bytes) != bytes.size() || !file.commit())
        return QString();
    QFile::setPermissions(filePath, QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    return filePath;
}

bool TVXAttachmentFolder::removeFile(const QString& filePath)
{
    std::lock_guard lock(mMutex);
    if (!mDir)
        return false;
    const QFileInfo info(filePath);
    if (info.absoluteDir() != QDir(mDir->path()))
        return false;
    return QFile::remove(info.absoluteFilePath());
}

void TVXAttachmentFolder::clear()
{
    std::lock_guard lock(mMutex);
    mDir.reset();
}
