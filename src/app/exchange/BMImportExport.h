#pragma once
// Import, export, backup and restore, with their password panels and progress.

#include "app/AppState.h"
#include "store/StoreTypes.h"

#include <QObject>
#include <QString>
#include <QWidget>
#include <memory>

class BMGroup;

class BMController;
struct BMAppState;
class BMAttachmentCommands;
class BMPopUps;
class BMRecordCommands;
class BMStartup;
class BMTables;

class BMImportExport : public QObject {
    Q_OBJECT
public:
    explicit BMImportExport(BMController& app);

    // Export commands: tag 1070 qVX with attachments allowed, 1071 qVX, 1072 CSV.
    void exportSelectedFile(int tag);
    void exportItemsToQVX();
    void exportSelectionChange();
    // The password sheet, then the export on a worker behind the progress
    // panel. -1000 only when the file was written with every record.
    int runPassDialogForExportForFile(const QString& path, int exportTypes, int requestedKind);
    bool qvxExportpasswordPanelOK();
    void qvxExportpasswordPanelCancel();
    // Called by the group/type editor before a deletion.
    void backupRecords();
    // Import commands: tag 1060 qVX, 1061 CSV, 1062 to 1066 text, 109 restore.
    void importSelectedFile(int tag);
    void importQVXFile(const QString& path, bool forRestore);
    bool qvxImportpasswordPanelOK();
    void qvxImportpasswordPanelCancel();
    void importFile(const QString& path);
    // A file handed to the application; always true.
    bool openFile(const QString& path);
    void mailSelectedFile();
    void mailItems();
    // Replaces what the commands ask of the rest of the application (tests).
    void setExchangeHooks(const struct BMExchangeHooks& hooks);
    const struct BMExchangeHooks& exchangeHooks() const;
    // The panels of these commands (made on first use).
    QWidget* exportPasswordPanel();
    QWidget* importPasswordPanel();
    QWidget* exportOptionsView();

private:
    void exportPanelDidEnd(int tag, const QString& path);
    void importPanelDidEnd(int tag, const QString& path);
    // Runs the export on a worker and waits for it behind the progress panel.
    bool runExportInBackground(class CExportDelegate& provider, const QString& path, int kind,
                               const QString& password, bool showProgress = true);
    void runImportInBackground(class TVXqVXImportDelegate& sink, const QString& password, bool showProgress = true);
    void importCSVFile(const QString& path, bool showProgress);
    bool mayExportFromSelectedGroup(bool forMail, bool* allRecordsAllowed);
    bool isPersonalGroup(const BMGroup* group) const;
    class BMExchangeState& exchange() const;

    // Panels, hooks and accessory of these commands; made on first use.
    mutable std::shared_ptr<class BMExchangeState> mExchange;
    QString mSelectedFileName;

    // What this concern reads and calls.
    BMAppState& mState;
    TVXAttachmentStoreAccess& mAttachments;
    TVXStoreCaches& mCaches;
    TVXGroupTypeWriter& mGroupTypeWriter;
    TVXRecordWriter& mRecordWriter;
    BMAttachmentCommands& mAttachmentCommands;
    BMPopUps& mPopUps;
    BMRecordCommands& mRecordCommands;
    BMStartup& mStartup;
    BMTables& mTables;
};
