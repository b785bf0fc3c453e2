#pragma once
// The temporary attachment folder: where attachments are written for opening,
// saving and mailing. It is private to the desktop account (mode 0700, a
// fresh unique name, so nobody can plant or read files in it) and is removed
// with everything in it when the application clears it or ends.
#include <QByteArray>
#include <QString>

#include <memory>
#include <mutex>

class QTemporaryDir;

class TVXAttachmentFolder {
public:
    // The folder is made on first use inside `parent` (the system's temporary folder when empty).
    explicit TVXAttachmentFolder(const QString& parent = QString());
    // Removes the folder and what it holds.
    ~TVXAttachmentFolder();
    TVXAttachmentFolder(const TVXAttachmentFolder&) = delete;
    TVXAttachmentFolder& operator=(const TVXAttachmentFolder&) = delete;

    // The application's folder.
    static TVXAttachmentFolder& shared();

    // The folder's path, made now when needed; null when it cannot be made.
    QString path();
    // Writes the bytes atomically, readable by the owner only, to a file of
    // the folder named after `name` (see safeFileName). The path, or null.
    QString writeFile(const QString& name, const QByteArray& bytes);
    // Removes one file of the folder; anything outside it is left alone.
    bool removeFile(const QString& filePath);
    // Removes the folder with everything in it; the next use makes a new one.
    void clear();

    // A name that stays inside the folder: the last component of the given
    // name (names come from the store, written by other users), without
    // control characters; "attachment" when nothing usable is left.
    static QString safeFileName(const QString& name);

private:
    QString pathLocked();

    QString mParent;
    std::unique_ptr<QTemporaryDir> mDir;
    std::mutex mMutex;
};
