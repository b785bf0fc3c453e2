// Import, export, backup and restore commands: file panels, password sheets,
// the interchange run on a worker behind a progress panel, and what the user
// is told afterwards.
#include "app/exchange/BMImportExport.h"
#include "app/BMController.h"
#include "app/exchange/BMExchangeHooks.h"
#include "app/exchange/BMExchangeProgressPanel.h"
#include "app/exchange/BMExportOptionsView.h"
#include "app/exchange/BMExportPasswordPanel.h"
#include "app/exchange/BMImportPasswordPanel.h"
#include "app/exchange/ExchangeRules.h"
#include "exchange/ImportExport.h"
#include "model/BMGroup.h"
#include "model/TVXRecord.h"
#include "model/TVXUser.h"
#include "platform/core/BackgroundTask.h"
#include "platform/core/SecretHygiene.h"
#include "platform/ui/AlertPanel.h"
#include "platform/ui/ModalRun.h"
#include "store/loading/StoreCaches.h"
#include "windows/BMCategoryEditWindowController.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QGridLayout>
#include <QLineEdit>
#include <QLocale>
#include <QTimer>
#include <QPushButton>
#include <QRadioButton>
#include <QScopeGuard>
#include <QStandardPaths>
#include <QTemporaryDir>

using namespace exchange;

class BMExchangeState {
public:
    BMExchangeHooks hooks;
    std::unique_ptr<BMExportOptionsView> options;
    std::unique_ptr<BMExportPasswordPanel> exportPassword;
    std::unique_ptr<BMImportPasswordPanel> importPassword;
    std::unique_ptr<BMExchangeProgressPanel> progress;
};

BMImportExport::BMImportExport(BMController& app)
    : mState(app.state()), mAttachments(app.store().attachments), mCaches(app.store().caches),
      mGroupTypeWriter(app.store().groupTypeWriter), mRecordWriter(app.store().recordWriter),
      mAttachmentCommands(app.attachmentCommands()), mPopUps(app.popUps()),
      mRecordCommands(app.recordCommands()), mStartup(app.startup()), mTables(app.tables())
{
}

namespace {

QString noPrivilegeTitle()
{
    return QCoreApplication::translate("BMController", "Tolvanex  Enterprise Alert");
}

// The desktop's file panel; the accessory goes under its file list.
QString runFilePanel(const BMFilePanelRequest& request, QWidget* parent)
{
    QFileDialog panel(parent, request.title);
    panel.setOption(QFileDialog::DontUseNativeDialog);
    panel.setAcceptMode(request.save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    panel.setFileMode(request.save ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
    panel.setDirectory(QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation));
    if (!request.extension.isEmpty()) {
        panel.setNameFilter(QStringLiteral("*.%1").arg(request.extension));
        panel.setDefaultSuffix(request.extension);
    }
    if (request.accessory) {
        if (auto* grid = qobject_cast<QGridLayout*>(panel.layout()))
            grid->addWidget(request.accessory, grid->rowCount(), 0, 1, grid->columnCount());
        // Hidden when the last panel let it go.
        request.accessory->show();
        // The accessory's choices come right after the file name, not after every control of the panel.
        auto* name = panel.findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
        QWidget* previous = name;
        for (QWidget* control : request.accessory->findChildren<QWidget*>())
            if (previous && (control->focusPolicy() & Qt::TabFocus)) {
                QWidget::setTabOrder(previous, control);
                previous = control;
            }
    }
    const bool chosen = platform::runDialog(&panel) == QDialog::Accepted && !panel.selectedFiles().isEmpty();
    if (request.accessory) {
        request.accessory->hide();
        request.accessory->setParent(nullptr); // the panel dies; the accessory stays with the controller
    }
    return chosen ? panel.selectedFiles().constFirst() : QString();
}

// Shows the panel (when given) while the import or export runs, then waits
// for the worker's end: the sink or provider is its own until then, however
// the panel ended. No user input meanwhile: the worker owns the caches.
void waitForExchange(platform::BackgroundTask& task, BMExchangeProgressPanel* panel, const QString& text)
{
    if (panel) {
        const QString previous = panel->text();
        panel->setText(text);
        panel->startAnimation();
        platform::runModalUntilFinished(panel, task);
        panel->hide();
        panel->stopAnimation();
        panel->setText(previous);
    }
    task.waitForFinished(QEventLoop::ExcludeUserInputEvents);
}

// The scope the user chose last stays; all records only where allowed, and
// the selected records only when there are any.
void offerScopes(BMExportOptionsView& options, bool allRecordsAllowed, bool anySelected)
{
    options.rowButton(kRowAllRecords)->setEnabled(allRecordsAllowed);
    if (!allRecordsAllowed && options.selectedRow() == kRowAllRecords)
        options.selectRow(kRowSelectedRecords);
    if (!anySelected && options.selectedRow() == kRowSelectedRecords)
        options.selectRow(allRecordsAllowed ? kRowAllRecords : kRowListedRecords);
}

} // namespace

BMExchangeState& BMImportExport::exchange() const
{
    if (!mExchange) {
        auto state = std::make_shared<BMExchangeState>();
        auto* self = const_cast<BMImportExport*>(this);
        state->hooks.chooseFile = [self](const BMFilePanelRequest& request) {
            return runFilePanel(request, self->mState.mainWindow());
        };
        state->hooks.selectedGroup = [self] { return self->mTables.selectedGroup(); };
        state->hooks.recordsForExporting = [self](bool listed) { return self->mPopUps.indexSetForExporting(listed); };
        // The backup serves the group/type editor: its selected group or type.
        state->hooks.recordsToBackUp = [self] { return self->mRecordCommands.categoryEditController().recordsToExportForBackUP(); };
        state->hooks.deleteBackedUpGroup = [self] { self->mRecordCommands.categoryEditController().deleteSelectedGroup(); };
        state->hooks.refreshAfterImport = [self] {
            self->mPopUps.updateGroupUIControl();
            self->mPopUps.initTypesUIControl();
            self->mTables.updateTables();
        };
        state->hooks.offerMail = [self](const QString& path) { self->mAttachmentCommands.askForSendingMailWithAttachment(path); };

        state->options = std::make_unique<BMExportOptionsView>();
        connect(state->options.get(), &BMExportOptionsView::scopeChanged, self, &BMImportExport::exportSelectionChange);
        state->exportPassword = std::make_unique<BMExportPasswordPanel>();
        connect(state->exportPassword->okButton(), &QPushButton::clicked, self, [self] { self->qvxExportpasswordPanelOK(); });
        connect(state->exportPassword->cancelButton(), &QPushButton::clicked, self, &BMImportExport::qvxExportpasswordPanelCancel);
        // Escape or closing the sheet cancel it: no export without a checked password.
        connect(state->exportPassword.get(), &QDialog::rejected, self, &BMImportExport::qvxExportpasswordPanelCancel);
        state->importPassword = std::make_unique<BMImportPasswordPanel>();
        connect(state->importPassword->okButton(), &QPushButton::clicked, self, [self] { self->qvxImportpasswordPanelOK(); });
        connect(state->importPassword->cancelButton(), &QPushButton::clicked, self, &BMImportExport::qvxImportpasswordPanelCancel);
        connect(state->importPassword.get(), &QDialog::rejected, self, &BMImportExport::qvxImportpasswordPanelCancel);
        state->progress = std::make_unique<BMExchangeProgressPanel>();
        mExchange = std::move(state);
    }
    return *mExchange;
}

void BMImportExport::setExchangeHooks(const BMExchangeHooks& hooks)
{
    BMExchangeHooks& mine = exchange().hooks;
    // Only the hooks given replace the defaults.
    if (hooks.chooseFile) mine.chooseFile = hooks.chooseFile;
    if (hooks.selectedGroup) mine.selectedGroup = hooks.selectedGroup;
    if (hooks.recordsForExporting) mine.recordsForExporting = hooks.recordsForExporting;
    if (hooks.recordsToBackUp) mine.recordsToBackUp = hooks.recordsToBackUp;
    if (hooks.deleteBackedUpGroup) mine.deleteBackedUpGroup = hooks.deleteBackedUpGroup;
    if (hooks.refreshAfterImport) mine.refreshAfterImport = hooks.refreshAfterImport;
    if (hooks.offerMail) mine.offerMail = hooks.offerMail;
}

const BMExchangeHooks& BMImportExport::exchangeHooks() const
{
    return exchange().hooks;
}

QWidget* BMImportExport::exportPasswordPanel() { return exchange().exportPassword.get(); }
QWidget* BMImportExport::importPasswordPanel() { return exchange().importPassword.get(); }
QWidget* BMImportExport::exportOptionsView() { return exchange().options.get(); }

// --- permissions ----------------------------------------------------------------------

bool BMImportExport::isPersonalGroup(const BMGroup* group) const
{
    const auto& user = mCaches.mCurrentUser();
    return group && user && !user->mUserID().isEmpty() && group->mGroupUID() == user->mUserID();
}

bool BMImportExport::mayExportFromSelectedGroup(bool forMail, bool* allRecordsAllowed)
{
    *allRecordsAllowed = true;
    const auto& user = mCaches.mCurrentUser();
    if (user && (user->mDataPermissionsBit() & kDataPermissionExportAndMail))
        return true;
    // Without the export bit only the user's own records leave the store.
    if (isPersonalGroup(exchange().hooks.selectedGroup().get())) {
        *allRecordsAllowed = false;
        return true;
    }
    BMRunAlertPanel(forMail ? platform::standardAlertTitle() : noPrivilegeTitle(),
                    tr(" You don't have sufficient privileges to export records."), tr("OK"));
    return false;
}

// --- export ---------------------------------------------------------------------------

void BMImportExport::exportItemsToQVX()
{
    exportSelectedFile(kTagExportQVXWithAttachments);
}

void BMImportExport::exportSelectedFile(int tag)
{
    bool allRecordsAllowed = true;
    if (!mayExportFromSelectedGroup(false, &allRecordsAllowed))
        return;
    BMExchangeState& state = exchange();
    BMExportOptionsView& options = *state.options;
    QCheckBox* box = options.attachmentsBox();
    offerScopes(options, allRecordsAllowed, !state.hooks.recordsForExporting(false).isEmpty());
    options.setAttachmentsTag(tag);
    if (tag == kTagExportQVXWithAttachments) {
        box->setVisible(true);
        box->setEnabled(true);
        box->setChecked(true);
        exportSelectionChange();
    } else if (tag == kTagExportQVX) {
        box->setVisible(false);
        box->setChecked(false);
    } else {
        box->setVisible(true);
        box->setEnabled(false);
        box->setChecked(false);
    }
    const QString extension = extensionForTag(tag);
    const QString path = withExtension(
        state.hooks.chooseFile({true, extension, tr("Export"), &options}), extension);
    if (!path.isEmpty())
        exportPanelDidEnd(tag, path);
    options.rowButton(kRowAllRecords)->setEnabled(true);
}

void BMImportExport::exportSelectionChange()
{
    BMExchangeState& state = exchange();
    BMExportOptionsView& options = *state.options;
    if (options.attachmentsTag() == kTagExportCSV)
        return;
    bool any = false;
    switch (options.selectedRow()) {
    case kRowAllRecords: any = mCaches.anyRecordHasAtachementinArray(); break;
    case kRowListedRecords: any = mCaches.anyRecordHasAtachementinArray(state.hooks.recordsForExporting(true)); break;
    default: any = mCaches.anyRecordHasAtachementinArray(state.hooks.recordsForExporting(false)); break;
    }
    options.attachmentsBox()->setEnabled(any);
    options.attachmentsBox()->setChecked(any);
}

void BMImportExport::exportPanelDidEnd(int tag, const QString& path)
{
    BMExchangeState& state = exchange();
    const int scope = scopeCodeForRow(state.options->selectedRow());
    bool exported = false;
    QString written = path;
    switch (tag) {
    case kTagExportQVXWithAttachments:
        exported = runPassDialogForExportForFile(path, scope, eFileQVXv1) == platform::kModalRunStopped;
        break;
    case kTagExportQVX:
        exported = runPassDialogForExportForFile(path, scope, eFileQVXv3) == platform::kModalRunStopped;
        break;
    case kTagExportCSV: {
        const bool all = scope == kScopeAll;
        CExportDelegate provider(all, all ? BMExchangeHooks::RecordList() : state.hooks.recordsForExporting(scope == kScopeListed),
                                 mCaches, mAttachments);
        exported = runExportInBackground(provider, path, eFileCSVExport, QString());
        break;
    }
    case kTagBackup: {
        const bool attachments = mCaches.anyRecordHasAtachementinArray(state.hooks.recordsToBackUp());
        if (runPassDialogForExportForFile(path, kScopeBackup, attachments ? eFileQVXv4 : eFileQVXv3)
            == platform::kModalRunStopped)
            state.hooks.deleteBackedUpGroup();
        break;
    }
    default:
        break;
    }
    if (exported && tag != kTagBackup)
        state.hooks.offerMail(written);
}

int BMImportExport::runPassDialogForExportForFile(const QString& path, int exportTypes, int requestedKind)
{
    BMExchangeState& state = exchange();
    state.exportPassword->clear();
    const int code = platform::runModalForWindow(state.exportPassword.get());
    state.exportPassword->hide();
    QString password = state.exportPassword->newPasswordField()->text();
    state.exportPassword->wipe();
    // Once the fields let go, this copy is the last: overwritten when the export has it.
    const auto forget = qScopeGuard([&password] { platform::wipe(password); });
    if (code != platform::kModalRunStopped)
        return code;
    // A run that ended without OK's checks (the window closed) exports nothing.
    if (!isValidExportPassword(password))
        return platform::kModalRunAborted;

    const bool attachments = !state.options->attachmentsBox()->isHidden() && state.options->attachmentsBox()->isChecked();
    const EFileType kind = exportKind(exportTypes, EFileType(requestedKind), attachments);
    BMExchangeHooks::RecordList records;
    switch (exportTypes) {
    case kScopeAll: break;
    case kScopeSelected: records = state.hooks.recordsForExporting(false); break;
    case kScopeListed: records = state.hooks.recordsForExporting(true); break;
    case kScopeBackup: records = state.hooks.recordsToBackUp(); break;
    default: return platform::kModalRunAborted;
    }
    CExportDelegate provider(exportTypes == kScopeAll, records, mCaches, mAttachments);
    // Only a file with every record counts as done: a backup that fell short
    // must not let its group be deleted.
    return runExportInBackground(provider, path, kind, password) ? platform::kModalRunStopped
                                                                 : platform::kModalRunAborted;
}

bool BMImportExport::qvxExportpasswordPanelOK()
{
    BMExportPasswordPanel& panel = *exchange().exportPassword;
    const QString password = panel.newPasswordField()->text();
    if (password != panel.confirmPasswordField()->text()) {
        BMRunAlertPanel(platform::standardAlertTitle(), tr("Your new password doesn't match the confirm password."), QString());
        return false;
    }
    if (!isValidExportPassword(password)) {
        BMRunAlertPanel(platform::standardAlertTitle(),
                        tr("Password must be atleast 2 characters and have atleast 2 unique characters."), tr("OK"));
        return false;
    }
    platform::stopModal();
    return true;
}

void BMImportExport::qvxExportpasswordPanelCancel()
{
    platform::abortModal();
}

bool BMImportExport::runExportInBackground(CExportDelegate& provider, const QString& path, int kind,
                                         const QString& password, bool showProgress)
{
    CExportDelegate* target = &provider;
    // RunExport reports every failure in the provider's summary: the task's own result adds nothing.
    const auto task = platform::BackgroundTask::start(
        [target, file = path.toStdString(), kind, secret = password.toStdString()]() mutable {
            RunExport(*target, file, EFileType(kind), secret);
            std::fill(secret.begin(), secret.end(), '\0');
        });
    waitForExchange(*task, showProgress ? exchange().progress.get() : nullptr, tr("Exporting Data..."));
    const TVXExportSummary summary = provider.exportSummary();
    const QString message = exportSummaryText(summary);
    if (!message.isEmpty())
        BMRunAlertPanel(platform::standardAlertTitle(), message, tr("OK"));
    return summary.succeeded();
}

void BMImportExport::backupRecords()
{
    const QString extension = extensionForTag(kTagBackup);
    const QString path = withExtension(exchange().hooks.chooseFile({true, extension, tr("Backup"), nullptr}), extension);
    // Cancelling the panel backs up nothing and deletes nothing.
    if (!path.isEmpty())
        exportPanelDidEnd(kTagBackup, path);
}

// --- import ---------------------------------------------------------------------------

void BMImportExport::importSelectedFile(int tag)
{
    BMExchangeState& state = exchange();
    const auto group = state.hooks.selectedGroup();
    if (!group) {
        BMRunAlertPanel(noPrivilegeTitle(), tr(" You should have atleast one Group to import records."), tr("OK"));
        return;
    }
    const auto& user = mCaches.mCurrentUser();
    const bool mayImport = user && (user->mDataPermissionsBit() & kDataPermissionImport);
    if (!mayImport && !isPersonalGroup(group.get())) {
        BMRunAlertPanel(noPrivilegeTitle(), tr(" You don't have sufficient privileges to import records."), tr("OK"));
        return;
    }
    const QString path = state.hooks.chooseFile({false, extensionForTag(tag), tr("Import"), nullptr});
    if (!path.isEmpty())
        importPanelDidEnd(tag, path);
}

void BMImportExport::importPanelDidEnd(int tag, const QString& path)
{
    if (tag == kTagImportQVX) {
        importQVXFile(path, false);
    } else if (tag == kTagImportCSV) {
        importCSVFile(path, true);
    } else if (tag == kTagRestore) {
        const int answer = BMRunAlertPanel(
            platform::standardAlertTitle(),
            tr("This operation will destroy the current contents of the database and restore the selected database.")
                + QLatin1Char('\n') + tr(" Are you sure you want to do this? "),
            tr("No"), tr("Yes"));
        if (answer == platform::kAlertAlternateReturn)
            importQVXFile(path, true);
    }
    // Text formats (1062 to 1066) import nothing.
    exchange().hooks.refreshAfterImport();
}

void BMImportExport::importCSVFile(const QString& path, bool showProgress)
{
    TVXqVXImportDelegate sink(path.toStdString(), exchange().hooks.selectedGroup(), mCaches, mRecordWriter,
                              mGroupTypeWriter);
    runImportInBackground(sink, QString(), showProgress);
}

void BMImportExport::importQVXFile(const QString& path, bool forRestore)
{
    Q_UNUSED(forRestore); // a restore adds the file's records as an import does
    const QFileInfo info(path);
    const QString file = info.isDir() ? QDir(path).filePath(info.fileName()) : path;
    if (!QFileInfo(file).isFile()) {
        BMRunAlertPanel(platform::standardAlertTitle(), tr("Import failed. Invaild import file name."), tr("OK"));
        return;
    }
    BMExchangeState& state = exchange();
    TVXqVXImportDelegate sink(file.toStdString(), state.hooks.selectedGroup(), mCaches, mRecordWriter,
                              mGroupTypeWriter);
    bool encrypted = false;
    try {
        CqVXImporter probe(sink.path(), &sink);
        encrypted = probe.IsFileEncrypted();
    } catch (const std::exception&) {
        // Unreadable, empty or too large to hold: the import reports it.
    }
    QString password;
    if (encrypted) {
        mSelectedFileName = file;
        state.importPassword->prepare(file);
        const int code = platform::runModalForWindow(state.importPassword.get());
        state.importPassword->hide();
        password = state.importPassword->passwordField()->text();
        state.importPassword->passwordField()->clear();
        mSelectedFileName.clear();
        if (code != platform::kModalRunStopped
            || !CqVXImporter::DoesPasswordMatch(file.toStdString(), password.toStdString()))
            return;
    }
    runImportInBackground(sink, password, true);
}

bool BMImportExport::qvxImportpasswordPanelOK()
{
    BMImportPasswordPanel& panel = *exchange().importPassword;
    if (!CqVXImporter::DoesPasswordMatch(mSelectedFileName.toStdString(), panel.passwordField()->text().toStdString())) {
        BMRunAlertPanel(platform::standardAlertTitle(), tr("That is not the correct password for this import file."),
                        tr("OK"));
        return false;
    }
    platform::stopModal();
    return true;
}

void BMImportExport::qvxImportpasswordPanelCancel()
{
    platform::abortModal();
}

void BMImportExport::runImportInBackground(TVXqVXImportDelegate& sink, const QString& password, bool showProgress)
{
    TVXqVXImportDelegate* target = &sink;
    // RunImport reports every failure in the sink's summary.
    const auto task = platform::BackgroundTask::start([target, secret = password.toStdString()]() mutable {
        RunImport(*target, secret);
        std::fill(secret.begin(), secret.end(), '\0');
    });
    // The records handled so far are counted on the panel, and Stop leaves the rest of the file.
    BMExchangeProgressPanel* panel = showProgress ? exchange().progress.get() : nullptr;
    QTimer counter;
    if (panel) {
        panel->offerStop([target] { target->requestStop(); });
        counter.setInterval(100);
        connect(&counter, &QTimer::timeout, panel, [panel, target] {
            panel->setText(tr("Importing Data... %1 records").arg(QLocale().toString(target->recordLinesHandled())));
        });
        counter.start();
    }
    waitForExchange(*task, panel, tr("Importing Data..."));
    counter.stop();
    if (panel)
        panel->offerStop({});
    const QString message = importSummaryText(sink.importSummary());
    if (!message.isEmpty())
        BMRunAlertPanel(platform::standardAlertTitle(), message, tr("OK"));
}

void BMImportExport::importFile(const QString& path)
{
    const QString suffix = QFileInfo(path).suffix().toLower();
    if (suffix == QLatin1String("qvx"))
        importQVXFile(path, false);
    else if (suffix == QLatin1String("csv"))
        importCSVFile(path, false);
    exchange().hooks.refreshAfterImport();
}

bool BMImportExport::openFile(const QString& path)
{
    const int answer = BMRunAlertPanel(platform::standardAlertTitle(),
                                       QStringLiteral("%1 %2?").arg(tr("Do you want to import the file"), path),
                                       tr("Yes"), tr("No"));
    if (answer == platform::kAlertDefaultReturn)
        mStartup.setFileToOpenAtLaunch(path);
    return true;
}

// --- mail -----------------------------------------------------------------------------

void BMImportExport::mailSelectedFile()
{
    bool allRecordsAllowed = true;
    if (!mayExportFromSelectedGroup(true, &allRecordsAllowed))
        return;
    BMExchangeState& state = exchange();
    BMExportOptionsView& options = *state.options;
    offerScopes(options, allRecordsAllowed, !state.hooks.recordsForExporting(false).isEmpty());
    options.setAttachmentsTag(kTagExportQVXWithAttachments);
    options.attachmentsBox()->setVisible(true);
    exportSelectionChange();
    const QString extension = extensionForTag(kTagExportQVX);
    const QString path = withExtension(state.hooks.chooseFile({true, extension, tr("Mail"), &options}), extension);
    if (!path.isEmpty()
        && runPassDialogForExportForFile(path, scopeCodeForRow(options.selectedRow()), eFileQVXv1)
               == platform::kModalRunStopped)
        state.hooks.offerMail(path);
    options.rowButton(kRowAllRecords)->setEnabled(true);
}

void BMImportExport::mailItems()
{
    // A private folder of our own rather than a fixed name in the shared
    // temporary folder; it stays for the mail client to read.
    QTemporaryDir folder(QDir(QDir::tempPath()).filePath(QStringLiteral("tolvanex-mail-XXXXXX")));
    if (!folder.isValid())
        return;
    folder.setAutoRemove(false);
    const QString path = folder.filePath(QStringLiteral("Attached_Records.qvx"));
    CExportDelegate provider(false, exchange().hooks.recordsForExporting(false), mCaches, mAttachments);
    const bool written = RunExport(provider, path.toStdString(), eFileQVXv4, std::string());
    const TVXExportSummary summary = provider.exportSummary();
    if (!written || !summary.succeeded()) {
        BMRunAlertPanel(platform::standardAlertTitle(), exportSummaryText(summary), tr("OK"));
        if (!summary.fileInPlace())
            return;
    }
    exchange().hooks.offerMail(QString::fromStdString(summary.path));
}
