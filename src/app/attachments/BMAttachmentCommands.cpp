// Attachments, printing, mail and web log-in: the commands that take a
// record's contents out of the application.
#include "app/attachments/BMAttachmentCommands.h"
#include "app/attachments/BMAttachmentDownloadPanelDelgeate.h"
#include "app/BMController.h"
#include "model/BMGroup.h"
#include "model/TVXRecord.h"
#include "model/TVXType.h"
#include "platform/ui/AlertPanel.h"
#include "platform/ui/ModalRun.h"
#include "platform/ui/Pasteboard.h"
#include "platform/ui/ProcessLauncher.h"
#include "platform/ui/ScriptRunner.h"
#include "platform/ui/Workspace.h"
#include "store/attachments/AttachmentStore.h"
#include "store/eventlog/EventLogStore.h"
#include "store/personal/RecentListsStore.h"
#include "store/writers/RecordWriter.h"
#include "store/attachments/TVXAttachmentFolder.h"
#include "store/eventlog/TVXEventLogger.h"
#include "views/BMDetailsView.h"
#include "views/BMListPrintView.h"
#include "views/BMPrintDocument.h"
#include "views/BMTableView.h"
#include "views/BMTextTable.h"

#include <QAction>
#include <QCoreApplication>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QMenu>
#include <QSaveFile>
#include <QStandardPaths>
#include <QUrl>

BMAttachmentCommands::BMAttachmentCommands(BMController& app)
    : mState(app.state()), mAttachments(app.store().attachments), mCaches(app.store().caches),
      mEventLog(app.store().eventLog), mRecentLists(app.store().recentLists),
      mRecordWriter(app.store().recordWriter), mWindowSetup(app.windowSetup()), mPopUps(app.popUps()),
      mRecordCommands(app.recordCommands()), mTables(app.tables())
{
}

namespace {

constexpr int kListViewTag = 1;

QString alertTitle()
{
    return platform::standardAlertTitle();
}

QString okButton()
{
    return BMController::tr("OK");
}

void showDownloadFailed()
{
    BMRunAlertPanel(alertTitle(), BMController::tr("Attachment could not be downloaded"), okButton());
}

// Runs a file panel application-modally; the chosen path, or empty.
QString runFilePanel(QFileDialog& panel)
{
    panel.setOption(QFileDialog::DontUseNativeDialog, true);
    QObject::connect(&panel, &QDialog::accepted, [] { platform::stopModal(); });
    QObject::connect(&panel, &QDialog::rejected, [] { platform::abortModal(); });
    if (platform::runModalForWindow(&panel) != platform::kModalRunStopped)
        return QString();
    const QStringList files = panel.selectedFiles();
    return files.isEmpty() ? QString() : files.first();
}

bool writeAtomically(const QString& path, const QByteArray& bytes)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    if (file.write(bytes) != bytes.size())
        return false;
    return file.commit();
}

} // namespace

void BMAttachmentCommands::setDetailInfoView(BMDetailsView* view)
{
    // The controller observes the pane's attachment-menu notice from its creation on.
    mDetailInfoView = view;
}

void BMAttachmentCommands::refreshAfterAttachmentChange(const std::shared_ptr<TVXRecord>& record)
{
    mRecentLists.addRecentlyModifiedRecord(record.get());
    mTables.updateDetailInfoViewWithRecord(record);
    mTables.followStoreChanges();
    mPopUps.validateUIControls();
}

void BMAttachmentCommands::attachmentAction()
{
    if (!mRecordCommands.checkForRecordPermissionFor(kPermissionEdit, mTables.selectedGroup().get()))
        return;
    const auto records = mPopUps.indexSetForExporting(false);
    if (records.isEmpty())
        return;
    const std::shared_ptr<TVXRecord> record = records.first();

    if (record->mHasAttachment()) {
        const int answer = BMRunAlertPanel(alertTitle(), tr("Are you sure you want to delete attachment?"),
                                           tr("No"), tr("Yes"));
        if (answer != platform::kAlertAlternateReturn)
            return;
        const TVXResult code = mRecordWriter.removeAttachment(record);
        mRecordCommands.reportStoreResult(code);
        if (code == kTVXDone)
            refreshAfterAttachmentChange(record);
        return;
    }

    QFileDialog panel(mState.mMainWindow);
    panel.setObjectName(QStringLiteral("AttachmentSelectionPanel"));
    panel.setFileMode(QFileDialog::ExistingFile);
    panel.setAcceptMode(QFileDialog::AcceptOpen);
    panel.setLabelText(QFileDialog::Accept, tr("Add"));
    const QString path = runFilePanel(panel);
    attachmentSelectionPanelDidEnd(path, path.isEmpty() ? platform::kModalRunAborted : platform::kModalRunStopped);
}

void BMAttachmentCommands::attachmentSelectionPanelDidEnd(const QString& path, int returnCode)
{
    if (returnCode != platform::kModalRunStopped || path.isEmpty())
        return;
    const auto records = mPopUps.indexSetForExporting(false);
    if (records.isEmpty())
        return;
    const std::shared_ptr<TVXRecord> record = records.first();

    const QFileInfo info(path);
    if (!info.exists() || !info.isFile() || !info.isReadable() || info.size() >= kAttacmentMaxSize) {
        BMRunAlertPanel(QString(), tr("The attachment size exceeds 1MB limit."), okButton());
        return;
    }

    // The record is the cached one: put it back as it was unless the store takes it.
    const bool oldHasAttachment = record->mHasAttachment();
    const QString oldName = record->mAttachmentName();
    const QString oldPath = record->mAttachmentPath();
    const int oldState = record->mAttachmentState();
    record->setMHasAttachment(true);
    record->setMAttachmentName(info.fileName());
    record->setMAttachmentPath(info.absoluteFilePath());
    record->setMAttachmentState(kAttachmentStateStoreNewFile);
    const TVXResult code = mRecordWriter.replaceRecord(record);
    if (code != kTVXDone) {
        record->setMHasAttachment(oldHasAttachment);
        record->setMAttachmentName(oldName);
        record->setMAttachmentPath(oldPath);
        record->setMAttachmentState(oldState);
        mRecordCommands.reportStoreResult(code);
        return;
    }
    record->setMAttachmentPath(QString()); // the local path is never kept
    refreshAfterAttachmentChange(record);
}

void BMAttachmentCommands::addExtractAttachmentMenu(const std::any& object)
{
    if (!mDetailInfoView)
        return;
    QWidget* button = nullptr;
    if (const auto* widget = std::any_cast<QWidget*>(&object))
        button = *widget;
    // The menu opens under the attachment row's button.
    if (button && button->parentWidget() == mDetailInfoView->infoView())
        mDetailInfoView->setAttachmentMenuOrigin(button->geometry().bottomLeft());
    else
        mDetailInfoView->setAttachmentMenuOrigin(QPoint(0, 0));

    const auto records = mPopUps.indexSetForExporting(false);
    if (records.isEmpty() || !records.first()->mHasAttachment())
        return;
    const std::shared_ptr<TVXRecord> record = records.first();
    TVXResult code = kTVXDone;
    const auto contents = mAttachments.extractAttachmentDataForRecord(*record, &code);
    const QString path = contents ? TVXAttachmentFolder::shared().writeFile(record->mAttachmentName(), *contents)
                                  : QString();
    if (path.isEmpty()) {
        showDownloadFailed();
        return;
    }
    QMenu* menu = attachmentMenuForFile(path, mDetailInfoView);
    menu->setAttribute(Qt::WA_DeleteOnClose);
    mDetailInfoView->setAttachmentMenu(menu);
}

QMenu* BMAttachmentCommands::attachmentMenuForFile(const QString& path, QWidget* parent)
{
    auto* menu = new QMenu(parent);
    menu->setObjectName(QStringLiteral("AttachmentMenu"));

    const QList<platform::DesktopApplication> apps = platform::Workspace::applicationsForFile(path);
    QAction* openWith = nullptr;
    if (apps.isEmpty()) {
        // Nothing declares it opens this kind: hand it to the desktop's default.
        openWith = menu->addAction(tr("Open With"));
        openWith->setData(path);
        connect(openWith, &QAction::triggered, this, [this, openWith] { openWithApp(openWith); });
    } else {
        QMenu* submenu = menu->addMenu(tr("Open With"));
        openWith = submenu->menuAction();
        for (int i = 0; i < apps.size(); ++i) {
            QString title = apps[i].name;
            if (i == 0 && apps.size() > 1)
                title += tr(" (default)");
            QAction* item = submenu->addAction(title);
            item->setData(path);
            item->setToolTip(apps[i].desktopFile);
            connect(item, &QAction::triggered, this, [this, item] { launchfile(item); });
            if (i == 0 && apps.size() > 1)
                submenu->addSeparator();
        }
        submenu->setToolTipsVisible(true);
    }
    openWith->setObjectName(QStringLiteral("OpenWith"));

    QAction* saveAs = menu->addAction(tr("Save As"));
    saveAs->setObjectName(QStringLiteral("SaveAs"));
    saveAs->setData(path);
    connect(saveAs, &QAction::triggered, this, [this, saveAs] { saveAsAttachment(saveAs); });
    return menu;
}

void BMAttachmentCommands::launchfile(QAction* item)
{
    if (item)
        platform::Workspace::openFileWithApplication(item->data().toString(), item->toolTip());
}

void BMAttachmentCommands::openWithApp(QAction* item)
{
    if (item)
        platform::Workspace::openFile(item->data().toString());
}

void BMAttachmentCommands::saveAsAttachment(QAction* item)
{
    if (!item)
        return;
    const QString temporaryPath = item->data().toString();
    const QString name = QFileInfo(temporaryPath).fileName();
    auto& helper = BMAttachmentDownloadPanelDelgeate::sharedBMAttachmentDownloadPanelDelgeate();
    helper.setRequiredFileExtension(QFileInfo(name).suffix());

    QFileDialog panel(mState.mMainWindow);
    panel.setObjectName(QStringLiteral("AttachmentSavePanel"));
    panel.setAcceptMode(QFileDialog::AcceptSave);
    panel.setFileMode(QFileDialog::AnyFile);
    panel.setDirectory(QDir::home().filePath(QStringLiteral("Documents")));
    panel.selectFile(name);
    const QString chosen = runFilePanel(panel);
    openPanelDidEndForExtarctAttachment(chosen, chosen.isEmpty() ? platform::kModalRunAborted
                                                                 : platform::kModalRunStopped,
                                        temporaryPath);
}

void BMAttachmentCommands::openPanelDidEndForExtarctAttachment(const QString& chosenPath, int returnCode,
                                                       const QString& temporaryPath)
{
    if (returnCode == platform::kModalRunStopped && !chosenPath.isEmpty()) {
        const auto& helper = BMAttachmentDownloadPanelDelgeate::sharedBMAttachmentDownloadPanelDelgeate();
        const QFileInfo chosen(chosenPath);
        const QString target =
            chosen.dir().filePath(helper.panelUserEnteredFilename(chosen.fileName(), true));
        const auto records = mPopUps.indexSetForExporting(false);
        TVXResult code = kTVXDone;
        std::optional<QByteArray> contents;
        if (!records.isEmpty())
            contents = mAttachments.extractAttachmentDataForRecord(*records.first(), &code);
        if (contents && writeAtomically(target, *contents))
            runAppleScript([target] { platform::Workspace::revealFile(target); });
        else
            showDownloadFailed();
    }
    if (!temporaryPath.isEmpty())
        TVXAttachmentFolder::shared().removeFile(temporaryPath);
}

void BMAttachmentCommands::clearTmpFiles()
{
    TVXAttachmentFolder::shared().clear();
}

void BMAttachmentCommands::printRecord()
{
    if (!mRecordCommands.checkForDataPermissionFor(kDataPermissionPrint))
        return;
    const std::shared_ptr<TVXRecord> record = mTables.itemPropertiesForTableViewSelectedRow();
    if (!record)
        return;
    mWindowSetup.printRecordDetails(record, mState.mMainWindow);
}

void BMAttachmentCommands::print()
{
    if (!mRecordCommands.checkForDataPermissionFor(kDataPermissionPrint))
        return;
    if (mTables.currentView() != kListViewTag) {
        BMRunAlertPanel(alertTitle(), tr("Printing is available in \"List View\" "), okButton());
        return;
    }
    const BMTableView* list = mTables.mListViewTypesTable();
    if (!list)
        return;
    // The list as it stands on screen (its visible columns in their order),
    // with values printed unmasked.
    const BMTableViewPrintSource source(*list, [this](const QString& column, int row) {
        return mTables.tableViewForPrinting(column.toInt(), row).toString();
    });
    BMListPrintView view(nullptr, &mCaches);
    view.setGeometry(0, 0, 100, 100);
    view.setStringsFromTableView(source);
    const BMPrintDocument document = documentForListPrintView(view);
    mState.mPrintDialogON = true;
    const bool printed = presentPrintDocument(document, mState.mMainWindow);
    printOperationDidRun(printed);
}

void BMAttachmentCommands::printOperationDidRun(bool)
{
    mState.mPrintDialogON = false;
}

void BMAttachmentCommands::askForSendingMailWithAttachment(const QString& path)
{
    const int answer =
        BMRunAlertPanel(tr("Send Mail"), tr("Do you want to mail the exported file ?"), tr("No"), tr("Yes"));
    if (answer != platform::kAlertAlternateReturn)
        return;
    const QString file = QFileInfo(path).absoluteFilePath();
    // Logged only when the hand-over really started (a request during another is dropped).
    if (runAppleScript([file] { platform::Workspace::composeMailWithAttachment(file); }))
        mEventLog.eventLogger().addLogEventBehind(QStringLiteral("Email Record"), QString(), QString(), mState.mCurrentUserName);
}

bool BMAttachmentCommands::runAppleScript(std::function<void()> script)
{
    return platform::ScriptRunner::shared().run(std::move(script));
}

QString BMAttachmentCommands::webLoginAddress(const QString& value)
{
    const QString address = value.startsWith(QLatin1String("www.")) ? QStringLiteral("http://%1").arg(value) : value;
    // Addresses come from records other users wrote: only web pages are opened,
    // never local files or other handlers.
    const QUrl url(address, QUrl::StrictMode);
    if (!url.isValid() || url.host().isEmpty())
        return QString();
    const QString scheme = url.scheme().toLower();
    if (scheme != QLatin1String("http") && scheme != QLatin1String("https"))
        return QString();
    return address;
}

void BMAttachmentCommands::webLogin()
{
    const std::shared_ptr<TVXRecord> record = mTables.itemPropertiesForTableViewSelectedRow();
    if (!record)
        return;
    const QString password = record->mValue3();
    const QString address = webLoginAddress(record->mValue4());
    if (address.isEmpty())
        return;
    // No script can fill a form in every browser: the page opens in the
    // default browser and the password waits on the clipboard (cleared by
    // the clipboard watch like any copied secret).
    const bool started = runAppleScript([address] {
        if (platform::processLauncher()->startDetached(QStringLiteral("xdg-open"), {address}))
            return;
        // Without a launcher nothing opens: the user is told, on the main thread.
        QMetaObject::invokeMethod(
            qApp,
            [address] {
                BMRunAlertPanel(platform::standardAlertTitle(),
                                tr("No web browser could be opened for %1: the browser launcher (xdg-open) "
                                   "is missing. The password is on the clipboard; open the page yourself.")
                                    .arg(address),
                                tr("OK"));
            },
            Qt::QueuedConnection);
    });
    if (started && !password.isEmpty())
        platform::Pasteboard::generalPasteboard().setSecretString(password);
}
