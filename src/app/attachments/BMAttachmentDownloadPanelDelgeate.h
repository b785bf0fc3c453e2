#pragma once
// The save panel's helper for attachments: a name typed without the
// attachment's extension gets it appended.
#include <QString>

class BMAttachmentDownloadPanelDelgeate {
public:
    static BMAttachmentDownloadPanelDelgeate& sharedBMAttachmentDownloadPanelDelgeate();

    void setRequiredFileExtension(const QString& extension) { mRequiredFileExtension = extension; }
    const QString& requiredFileExtension() const { return mRequiredFileExtension; }

    // The file name to use for the name the user entered.
    QString panelUserEnteredFilename(const QString& filename, bool confirmed) const;

private:
    QString mRequiredFileExtension;
};
