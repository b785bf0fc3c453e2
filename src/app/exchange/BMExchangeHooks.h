#pragma once
// What the import and export commands ask of the rest of the application: the
// file the user chooses, the group and records of the main window, the group
// editor's backup, the refresh after an import and the mail hand-over. By
// default each goes to the controller's own function; tests replace them.
#include <QList>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>

class BMGroup;
class QWidget;
class TVXRecord;

struct BMFilePanelRequest {
    bool save = false;
    // Required (save) or allowed (open) extension; empty: any file.
    QString extension;
    QString title;
    // Shown under the panel's file list (the export scope), or null.
    QWidget* accessory = nullptr;
};

struct BMExchangeHooks {
    using RecordList = QList<std::shared_ptr<TVXRecord>>;
    // The chosen path, or empty when the user cancelled.
    std::function<QString(const BMFilePanelRequest&)> chooseFile;
    std::function<std::shared_ptr<BMGroup>()> selectedGroup;
    // true: the records listed in the current view; false: the selected records.
    std::function<RecordList(bool listed)> recordsForExporting;
    std::function<RecordList()> recordsToBackUp;
    std::function<void()> deleteBackedUpGroup;
    std::function<void()> refreshAfterImport;
    std::function<void(const QString& path)> offerMail;
};
