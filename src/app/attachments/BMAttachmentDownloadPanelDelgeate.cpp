#include "app/attachments/BMAttachmentDownloadPanelDelgeate.h"

#include <QFileInfo>

BMAttachmentDownloadPanelDelgeate& BMAttachmentDownloadPanelDelgeate::sharedBMAttachmentDownloadPanelDelgeate()
{
    static BMAttachmentDownloadPanelDelgeate* shared = new BMAttachmentDownloadPanelDelgeate;
    return *shared;
}

QString BMAttachmentDownloadPanelDelgeate::panelUserEnteredFilename(const QString& filename, bool confirmed) const
{
    if (!confirmed || mRequiredFileExtension.isEmpty())
        return filename;
    // The extension of the name itself, not of a folder on its path.
    const QString extension = QFileInfo(filename).suffix();
    if (extension.compare(mRequiredFileExtension, Qt::CaseInsensitive) == 0)
        return filename;
    return filename + QLatin1Char('.') + mRequiredFileExtension;
}
