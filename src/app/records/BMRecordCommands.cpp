// The commands of the main window that act on records, and the openers of the
// group, type, user, options and event-log windows. Each checks the signed-in
// user's permission first; each change goes to the database manager, and the
// main window shows what the store announced before the command returns.
#include "app/records/BMRecordCommands.h"
#include "admin/UserAccountController.h"
#include "app/BMController.h"
#include "app/BMProgressPanel.h"
#include "app/records/RecordCommandRules.h"
#include "model/BMGroup.h"
#include "model/TVXRecord.h"
#include "model/TVXType.h"
#include "model/TVXUser.h"
#include "platform/core/UserDefaults.h"
#include "platform/ui/AlertPanel.h"
#include "platform/ui/ModalRun.h"
#include "platform/ui/Pasteboard.h"
#include "store/accounts/AccountAdmin.h"
#include "store/attachments/AttachmentStore.h"
#include "store/eventlog/EventLogStore.h"
#include "store/personal/IconStore.h"
#include "store/personal/PersonalStore.h"
#include "store/accounts/PreferencesStore.h"
#include "store/writers/RecordWriter.h"
#include "store/loading/StoreCaches.h"
#include "store/eventlog/TVXEventLogger.h"
#include "views/BMDetailsView.h"
#include "views/BMRecordModels.h"
#include "views/StoreFailureAlert.h"
#include "windows/BMCategoryEditWindowController.h"
#include "windows/BMCustomSettingsController.h"
#include "windows/BMDetailsWindowController.h"
#include "windows/BMEventLoggerWindowController.h"
#include "windows/BMOptionsWindowController.h"
#include "windows/GroupTypeSettingsRules.h"
#include "windows/RecordDetailsLogic.h"

#include <QAbstractButton>
#include <QAbstractItemView>
#include <QAction>
#include <QComboBox>
#include <QCoreApplication>
#include <QDesktopServices>
#include <QHBoxLayout>
#include <QItemSelectionModel>
#include <QLabel>
#include <QListView>
#include <QProgressBar>
#include <QPushButton>
#include <QStringListModel>
#include <QUrl>
#include <QVBoxLayout>

#include <algorithm>
#include <optional>

BMRecordCommands::BMRecordCommands(BMController& app)
    : mState(app.state()), mAccountAdmin(app.store().accountAdmin), mAttachments(app.store().attachments),
      mCaches(app.store().caches), mEventLog(app.store().eventLog),
      mGroupTypeWriter(app.store().groupTypeWriter), mIcons(app.store().icons),
      mPersonal(app.store().personal), mPreferences(app.store().preferences),
      mRecordWriter(app.store().recordWriter), mAttachmentCommands(app.attachmentCommands()),
      mImportExport(app.importExport()), mWindowSetup(app.windowSetup()),
      mOptionsApplier(app.optionsApplier()), mPopUps(app.popUps()), mTables(app.tables())
{
}

namespace {

const QString kUserGuideAddress = QStringLiteral("https://www.tolvanex.com/enterprise/userguide/");
const QString kEventDuplicateRecord = QStringLiteral("Duplicate Record");
using SaveAnswer = BMDetailsWindowController::SaveAnswer;

// A menu item's tag: its "tag" property, else its data.
int senderTag(const QObject* sender)
{
    if (!sender)
        return -1;
    const QVariant tag = sender->property("tag");
    if (tag.isValid())
        return tag.toInt();
    if (const auto* action = qobject_cast<const QAction*>(sender))
        return action->data().isValid() ? action->data().toInt() : -1;
    return -1;
}

QString alertTitle()
{
    return QCoreApplication::translate("BMController", "Tolvanex Enterprise Alert!");
}

// The pop-up shows the choice it showed before its editing item was chosen.
void showPreviousChoice(QComboBox* popup, int previous)
{
    if (popup && popup->count() > 0)
        popup->setCurrentIndex(qBound(0, previous, popup->count() - 1));
}

// The group and type editor opens only with every right over what it edits.
bool mayOpenEditor(bool permitted)
{
    if (!permitted)
        BMRunAlertPanel(alertTitle(), recordrules::insufficientPermissionsMessage(), QString());
    return permitted;
}

constexpr uint16_t kAllEditorRights = kPermissionAdd | kPermissionEdit | kPermissionDelete;

} // namespace

// --- permissions -------------------------------------------------------------------

bool BMRecordCommands::checkForRecordPermissionFor(uint16_t mask, const BMGroup* group)
{
    return recordrules::checkForRecordPermissionFor(mCaches.mCurrentUser().get(), mask, group);
}

bool BMRecordCommands::checkForDataPermissionFor(uint16_t mask)
{
    return recordrules::checkForDataPermissionFor(mCaches.mCurrentUser().get(), mask);
}

void BMRecordCommands::reportStoreResult(TVXResult code) const
{
    storealert::reportStoreFailure(code);
}

int BMRecordCommands::selectedViewTag() const
{
    return mTables.currentView();
}

BMCustomSettingsController& BMRecordCommands::customSettingsController()
{
    if (!mOwnCustomSettings)
        mOwnCustomSettings = new BMCustomSettingsController(mCaches, mIcons, mGroupTypeWriter, this);
    return *mOwnCustomSettings;
}

BMCategoryEditWindowController& BMRecordCommands::categoryEditController()
{
    if (!mOwnCategoryEditor)
        mOwnCategoryEditor = new BMCategoryEditWindowController(mCaches, mIcons, mGroupTypeWriter, mPersonal,
                                                                customSettingsController(), this);
    BMCategoryEditWindowController* editor = mOwnCategoryEditor;
    editor->setBackupHandler([this] { mImportExport.backupRecords(); });
    return *editor;
}

BMDetailsWindowController& BMRecordCommands::detailsWindowController()
{
    if (!mOwnDetailsController) {
        mOwnDetailsController = new BMDetailsWindowController(mCaches, mIcons, mRecordWriter, mEventLog, this);
        mWindowSetup.installRecordSheetHooks(*mOwnDetailsController);
    }
    return *mOwnDetailsController;
}

UserAccountController& BMRecordCommands::userAccountController()
{
    if (!mOwnUserAccounts)
        mOwnUserAccounts = new UserAccountController(mCaches, mAccountAdmin, this);
    return *mOwnUserAccounts;
}

BMEventLoggerWindowController* BMRecordCommands::eventLoggerWindowController()
{
    if (!mOwnEventLogger) {
        mOwnEventLogger = new BMEventLoggerWindowController(mEventLog.eventLogger());
        // A window has no object parent: it goes with the controller.
        connect(this, &QObject::destroyed, [viewer = mOwnEventLogger] { delete viewer; });
    }
    return mOwnEventLogger;
}

TVXResult BMRecordCommands::addRecordSavedFrom(const std::shared_ptr<TVXRecord>& record, const TVXRecord* source)
{
    return mRecordWriter.addRecordCopyingAttachment(record, source);
}

// --- add, edit, duplicate, delete --------------------------------------------------------

void BMRecordCommands::addItemsToDetail(QObject*)
{
    if (refusedWhileWriting())
        return;
    if (!mCaches.isGroupExistsInDatabase() || !mCaches.isTypeExistsInDatabase()) {
        BMRunAlertPanel(QString(), tr("Before adding record you need to have atleast one group and a type."),
                        tr("OK"));
        return;
    }
    auto record = TVXRecord::createRecord();
    record->setMGroup(mTables.selectedGroup());
    record->setMType(nullptr);
    int operation = kOperationAdd;
    // Stored before the sheet closes: a refused record stays in it.
    const auto result = detailsWindowController().orderFrontDetailsWindowSaving(
        record, operation,
        [this](const std::shared_ptr<TVXRecord>& built, int storedOperation, const SaveAnswer& answer) {
            // The store logs "Add Record" itself once its outcome is known.
            if (storedOperation != kOperationAdd && storedOperation != kOperationDuplicate) {
                answer(kTVXDone);
                return;
            }
            mRecordWriter.saveBehindWindow([this, built] { return mRecordWriter.addRecord(built); }, answer);
        },
        [this](TVXResult code) { reportStoreResult(code); });
    if (result)
        mTables.followStoreChanges();
}

void BMRecordCommands::editItemDoubleAction(QObject* sender)
{
    if (refusedWhileWriting())
        return;
    if (const auto* table = qobject_cast<const QAbstractItemView*>(sender))
        if (!table->selectionModel() || !table->selectionModel()->hasSelection())
            return;
    const auto group = mTables.selectedGroup();
    if (!checkForRecordPermissionFor(kPermissionEdit, group.get()))
        return;
    if (mTables.currentView() == kTreeViewTag && mTables.toggleSelectedTreeTypeRow())
        return;
    const auto record = mTables.itemPropertiesForTableViewSelectedRow();
    if (!record) {
        mTables.updateDetailInfoViewWithRecord(nullptr);
        mTables.updateTables();
        mPopUps.validateUIControls();
        return;
    }
    int operation = kOperationEdit;
    const auto result = detailsWindowController().orderFrontDetailsWindowSaving(
        record, operation,
        [this, record](const std::shared_ptr<TVXRecord>& built, int storedOperation, const SaveAnswer& answer) {
            // After a reload from the sheet the record read then is the one replaced.
            auto current = mCaches.recordWithUID(record->mRecordUID());
            if (!current)
                current = record;
            mRecordWriter.saveBehindWindow(
                [this, built, storedOperation, current] {
                    if (storedOperation == kOperationDuplicate)
                        return addRecordSavedFrom(built, current.get());
                    if (storedOperation == kOperationEdit)
                        // A removed attachment drops its stored row, a field set no
                        // longer the record's own drops its rows.
                        return recorddetails::storeRecordFromSheet(mRecordWriter, built, storedOperation, current);
                    return kTVXDone;
                },
                answer);
        },
        [this](TVXResult code) { reportStoreResult(code); });
    if (operation == kOperationDelete) {
        deleteSelected(sender);
        return;
    }
    if (result) {
        mTables.reloadSmartTypesTable();
        mTables.updateDetailInfoViewWithRecord(result);
    }
    mTables.followStoreChanges();
    mPopUps.validateUIControls();
}

void BMRecordCommands::duplicateItem(QObject*)
{
    if (refusedWhileWriting())
        return;
    const auto group = mTables.selectedGroup();
    if (!checkForRecordPermissionFor(kPermissionAdd, group.get()))
        return;
    const auto source = mTables.itemPropertiesForTableViewSelectedRow();
    if (!source)
        return;
    auto copy = TVXRecord::copyRecord(*source);
    copy->setMValue1(recordrules::duplicateFirstValue(copy->mValue1()));
    if (source->mHasAttachment()) {
        TVXResult code = kTVXDone;
        const QString path = mAttachments.extractAttachmentToTemporaryFile(*source, &code);
        if (!path.isEmpty())
            copy->setMAttachmentPath(path);
    }
    int operation = kOperationDuplicate;
    detailsWindowController().orderFrontDetailsWindowSaving(
        copy, operation,
        [this, source](const std::shared_ptr<TVXRecord>& built, int, const SaveAnswer& answer) {
            mRecordWriter.saveBehindWindow([this, built, source] { return addRecordSavedFrom(built, source.get()); },
                                           [this, built, answer](TVXResult code) {
                                               if (code == kTVXDone)
                                                   mEventLog.eventLogger().addLogEventBehind(
                                                       kEventDuplicateRecord, TVXEventLogger::recordDescription(*built),
                                                       QString(), mState.mCurrentUserName);
                                               answer(code);
                                           });
        },
        [this](TVXResult code) { reportStoreResult(code); });
    mTables.followStoreChanges();
}

void BMRecordCommands::deleteSelected(QObject*)
{
    if (refusedWhileWriting())
        return;
    const auto group = mTables.selectedGroup();
    if (!checkForRecordPermissionFor(kPermissionDelete, group.get()))
        return;
    if (BMRunAlertPanel(alertTitle(), tr("Are you realy sure you want to delete the selected item(s)?"), tr("No"),
                        tr("Yes"))
        != platform::kAlertAlternateReturn)
        return;
    const auto records = mTables.recordsSelectedForDeletion();
    if (records.isEmpty())
        return;
    deleteRecordsBehind(records, [this] {
        mTables.followStoreChanges();
        mPopUps.validateUIControls();
        mTables.updateDetailInfoViewWithRecord(mTables.itemPropertiesForTableViewSelectedRow());
    });
}

struct BMRecordCommands::Deletion {
    QList<std::shared_ptr<TVXRecord>> records; // in the order deleted
    // Written by the worker before each answer: the codes of the records tried.
    std::vector<std::optional<TVXResult>> codes;
    std::atomic<bool> stopped{false}; // the worker's: a failure ends the series
    recordrules::DeletionResults results;
    qsizetype answered = 0;
    std::function<void()> then;
};

bool BMRecordCommands::isWriting() const
{
    return mDeletion || mRecordWriter.savesInFlight() > 0;
}

bool BMRecordCommands::refusedWhileWriting()
{
    // The records are the server's until it answers.
    if (!isWriting())
        return false;
    BMRunAlertPanel(alertTitle(), recordrules::stillWritingMessage(), tr("OK"));
    return true;
}

void BMRecordCommands::deleteRecordsBehind(const QList<std::shared_ptr<TVXRecord>>& records,
                                           std::function<void()> then)
{
    auto deletion = std::make_shared<Deletion>();
    for (qsizetype i = records.size() - 1; i >= 0; --i)
        if (records.at(i))
            deletion->records << records.at(i);
    deletion->codes.assign(size_t(deletion->records.size()), std::nullopt);
    deletion->then = std::move(then);
    if (deletion->records.isEmpty()) {
        deletion->then();
        return;
    }
    mDeletion = deletion;
    if (deletion->records.size() > 1) {
        if (!mDeletionPanel) {
            mDeletionPanel = new BMProgressPanel;
            mDeletionPanel->setObjectName(QStringLiteral("DeletionProgressPanel"));
            connect(this, &QObject::destroyed, [panel = mDeletionPanel] { delete panel; });
        }
        mDeletionPanel->mDataLoadingProgressIndiator()->setRange(0, int(deletion->records.size()));
        mDeletionPanel->mDataLoadingProgressIndiator()->setValue(0);
        mDeletionPanel->setText(tr("Deleting %1 records...").arg(deletion->records.size()));
        // Modal without a run of its own: the window's input waits, its events go on.
        mDeletionPanel->setWindowModality(Qt::ApplicationModal);
        mDeletionPanel->show();
    }
    // A few records a round trip, each its own transaction; the panel moves on with each answer.
    for (qsizetype first = 0; first < deletion->records.size(); first += TVXRecordWriter::kDeletesPerRoundTrip) {
        const qsizetype count =
            std::min<qsizetype>(TVXRecordWriter::kDeletesPerRoundTrip, deletion->records.size() - first);
        mRecordWriter.saveBehindWindow(
            [this, deletion, first, count] {
                if (deletion->stopped.load())
                    return kTVXDone;
                const QList<TVXResult> codes = mRecordWriter.deleteRecords(deletion->records.mid(first, count));
                for (qsizetype i = 0; i < codes.size() && i < count; ++i)
                    deletion->codes[size_t(first + i)] = codes.at(i);
                if (codes.size() < count || (!codes.isEmpty() && codes.last() != kTVXDone))
                    deletion->stopped.store(true);
                return codes.isEmpty() ? kTVXNotServerError : codes.last();
            },
            [this, first, count](TVXResult) { deletionAnswered(first, count); });
    }
}

void BMRecordCommands::deletionAnswered(qsizetype first, qsizetype count)
{
    const std::shared_ptr<Deletion> deletion = mDeletion;
    if (!deletion)
        return;
    for (qsizetype i = first; i < first + count; ++i) {
        const QString description = TVXEventLogger::recordDescription(*deletion->records.at(i));
        const std::optional<TVXResult> code = deletion->codes[size_t(i)];
        if (!code)
            deletion->results.notTried << description;
        else if (*code == kTVXDone)
            deletion->results.deleted << description;
        else {
            deletion->results.failed = description;
            deletion->results.failure = *code;
        }
    }
    deletion->answered += count;
    const qsizetype total = deletion->records.size();
    if (deletion->answered < total) {
        if (mDeletionPanel && mDeletionPanel->isVisible()) {
            mDeletionPanel->mDataLoadingProgressIndiator()->setValue(int(deletion->answered));
            mDeletionPanel->setText(tr("Deleted %1 of %2 records...").arg(deletion->answered).arg(total));
        }
        return;
    }
    mDeletion.reset();
    if (mDeletionPanel) {
        mDeletionPanel->hide();
        mDeletionPanel->setWindowModality(Qt::NonModal);
    }
    if (total == 1 || deletion->results.failed.isNull())
        reportStoreResult(deletion->results.failure);
    else
        BMRunAlertPanel(alertTitle(), recordrules::deletionResultsText(deletion->results), tr("OK"));
    deletion->then();
}

// --- mask and copy ---------------------------------------------------------------------

void BMRecordCommands::unmask(QAbstractButton* maskButton)
{
    if (!maskButton)
        return;
    const bool on = maskButton->isChecked();
    platform::UserDefaults::setValue(kMaskingStatusKey, on);
    // The View menu's item and the window's button take the title with the state.
    maskButton->setToolTip(on ? tr("Unmask") : tr("Mask"));
    mPopUps.setShouldMask(on);
    if (mAttachmentCommands.detailInfoView())
        mAttachmentCommands.detailInfoView()->setShouldMask(on);
}

void BMRecordCommands::unmaskFromMenu(QAction* item)
{
    QAbstractButton* button = mWindowSetup.unmaskButton();
    if (!item || !button)
        return;
    if (item->text() == tr("Mask")) {
        item->setText(tr("Unmask"));
        button->setChecked(true);
    } else {
        item->setText(tr("Mask"));
        button->setChecked(false);
    }
    unmask(button);
}

void BMRecordCommands::copyFieldValue(QObject* sender)
{
    copyFieldValue(senderTag(sender));
}

void BMRecordCommands::copyFieldValue(int tag)
{
    const auto record = mTables.itemPropertiesForTableViewSelectedRow();
    if (!record)
        return;
    if (const auto text = recordrules::copyFieldText(*record, tag))
        platform::Pasteboard::generalPasteboard().setSecretString(*text);
}

// --- remove duplicates -------------------------------------------------------------------

QList<std::shared_ptr<TVXRecord>> BMRecordCommands::deDupeIndexes()
{
    mDedupeItemsNames.clear();
    return recordrules::deDupeIndexes(mCaches.itemsOfGroup(nullptr, QString()), &mDedupeItemsNames);
}

bool BMRecordCommands::itemsAreEqual(const TVXRecord& first, const TVXRecord& second)
{
    return recordrules::itemsAreEqual(first, second);
}

QWidget* BMRecordCommands::dedupeSheet()
{
    if (mDedupeItems)
        return mDedupeItems;
    mDedupeItems = new QWidget(nullptr, Qt::Dialog);
    mDedupeItems->setObjectName(QStringLiteral("DedupeItems"));
    mDedupeItems->setWindowTitle(tr("Remove Duplicates"));
    mDedupeItems->setAttribute(Qt::WA_DeleteOnClose, false);
    connect(this, &QObject::destroyed, [sheet = mDedupeItems] { delete sheet; });
    mNumberOfDedupesText = new QLabel;
    mNumberOfDedupesText->setObjectName(QStringLiteral("mNumberOfDedupesText"));
    mNumberOfDedupesText->setWordWrap(true);
    mDedupeListModel = new QStringListModel(mDedupeItems);
    mDedupelistTable = new QListView;
    mDedupelistTable->setObjectName(QStringLiteral("mDedupelistTable"));
    mDedupelistTable->setModel(mDedupeListModel);
    mDedupelistTable->setEditTriggers(QAbstractItemView::NoEditTriggers);
    mDedupelistTable->setAlternatingRowColors(true);
    auto* no = new QPushButton(tr("No"));
    auto* yes = new QPushButton(tr("Yes"));
    no->setObjectName(QStringLiteral("dedupeNo"));
    yes->setObjectName(QStringLiteral("dedupeYes"));
    no->setDefault(true);
    connect(no, &QPushButton::clicked, this, [this] { dedupeNo(); });
    connect(yes, &QPushButton::clicked, this, [this] { dedupeYes(); });
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(no);
    buttons->addWidget(yes);
    auto* layout = new QVBoxLayout(mDedupeItems);
    layout->setContentsMargins(16, 16, 16, 12);
    layout->setSpacing(10);
    layout->addWidget(mNumberOfDedupesText);
    layout->addWidget(mDedupelistTable, 1);
    layout->addLayout(buttons);
    mDedupeItems->resize(380, 300);
    return mDedupeItems;
}

void BMRecordCommands::deDupe(QObject*)
{
    if (refusedWhileWriting())
        return;
    if (!checkForDataPermissionFor(kDataPermissionRemoveDuplicates))
        return;
    const auto duplicates = deDupeIndexes();
    if (duplicates.isEmpty()) {
        BMRunAlertPanel(alertTitle(), tr("No duplicate item(s) found."), tr("OK"));
        return;
    }
    QWidget* sheet = dedupeSheet();
    mNumberOfDedupesText->setText(recordrules::duplicatesFoundText(duplicates.size()));
    mDedupeListModel->setStringList(mDedupeItemsNames);
    mDedupelistTable->scrollToTop();
    const bool confirmed = platform::runModalForWindow(sheet) == platform::kModalRunStopped;
    sheet->hide();
    if (confirmed) {
        mDedupeItemsNames.clear();
        deleteRecordsBehind(duplicates, [this] { mTables.followStoreChanges(); });
    }
}

void BMRecordCommands::dedupeYes(QObject*) { platform::stopModal(); }
void BMRecordCommands::dedupeNo(QObject*) { platform::abortModal(); }

void BMRecordCommands::selectAll(QObject*)
{
    if (mTables.currentView() == kListViewTag)
        mTables.selectAllRecordRows();
}

// --- field sets and types ------------------------------------------------------------------

void BMRecordCommands::displayFieldCustomizePanel(QObject*)
{
    if (refusedWhileWriting())
        return;
    BMCustomSettingsController& sheets = customSettingsController();
    const auto record = mTables.itemPropertiesForTableViewSelectedRow();
    if (!record || !record->mType())
        return;
    if (!checkForRecordPermissionFor(kPermissionEdit, record->mGroup().get()))
        return;
    sheets.setCustomizing(true);
    sheets.setShouldHideControls(true);
    // The sheet edits a copy: the cached record changes only once stored.
    const auto& own = record->mRecordCustomType();
    auto info = TVXType::createCopyforType(own ? *own : *record->mType());
    info->setMSelectedGroupUID(record->mType()->mSelectedGroupUID());
    sheets.setResetInfo(record->mType());
    int operation = kOperationCustomType;
    const auto result = sheets.runCustomSettingsPanelForWindow(mState.mainWindow(), info, operation);
    sheets.setResetInfo(nullptr);
    sheets.setCustomizing(false);
    if (!result)
        return;
    const auto previousType = record->mRecordCustomType();
    const bool previousCustomized = record->mIsCustomized();
    recordrules::applyCustomisedFieldSet(*record, result);
    const TVXResult code = mRecordWriter.replaceRecord(record);
    if (code != kTVXDone) {
        // Memory keeps what the server holds.
        record->setMRecordCustomType(previousType);
        record->setMIsCustomized(previousCustomized);
    }
    reportStoreResult(code);
    mTables.followStoreChanges();
}

void BMRecordCommands::addTypes(QObject*)
{
    if (!settingsrules::checkForPermissionsOf(mCaches.mCurrentUser().get(), kPermissionKindTypes, kPermissionAdd))
        return;
    BMCustomSettingsController& sheets = customSettingsController();
    sheets.setShouldHideControls(false);
    sheets.setCustomizing(false);
    int operation = kOperationAdd;
    const auto type = sheets.runCustomSettingsPanelForWindow(nullptr, nullptr, operation);
    if (type)
        reportStoreResult(mGroupTypeWriter.addType(type));
    sheets.setCustomizing(false);
    if (!type)
        return;
    if (operation == kOperationAdd) {
        mTables.followStoreChanges();
    } else if (operation == kOperationDuplicate) {
        BMRunAlertPanel(alertTitle(), tr("Could not raplace item."), tr("OK"));
    }
}

// --- window openers ------------------------------------------------------------------------

void BMRecordCommands::displayEditGroupPanel(QObject*)
{
    const TVXUser* user = mCaches.mCurrentUser().get();
    showPreviousChoice(mTables.mCategoriesPopup(), mState.mPreviousCategory);
    if (!mayOpenEditor(user && user->checkGroupPermission(kAllEditorRights)))
        return;
    categoryEditController().displayGroupEditWindow(tr("Edit Groups..."), kEditGroupsMenuTag);
    mTables.followStoreChanges(); // what the editor stored shows now
}

void BMRecordCommands::displayEditTypesPanel(QObject* sender)
{
    const TVXUser* user = mCaches.mCurrentUser().get();
    QComboBox* types = mTables.mTypesPopup();
    if (senderTag(sender) != kEditTypesMenuTag)
        showPreviousChoice(types, mState.mPreviousType);
    if (!mayOpenEditor(user && user->checkTypePermission(kAllEditorRights)))
        return;
    categoryEditController().displayGroupEditWindow(tr("Edit Types..."), kEditTypesMenuTag);
    mPopUps.initTypesUIControl();
    mPopUps.initContextualTypeSubMenu();
    if (types && types->count() > 0) {
        // The first entry, with the list's columns following it.
        types->setCurrentIndex(0);
        mTables.changeType();
    } else {
        mTables.updateTables();
    }
}

void BMRecordCommands::displayEditUsersPanel(QObject*) { userAccountController().displayUserList(mState.mainWindow()); }

void BMRecordCommands::displayOptionsPanel(QObject*)
{
    // The list's sorting goes with the options the window saves.
    if (mTables.listModel() && mTables.listModel()->sortColumn() >= 0) // a failed save goes to the error path
        mPreferences.setSortDescriptorBehind(TVXSortDescriptor{QString::number(mTables.listModel()->sortColumn()),
                                                               mTables.listModel()->sortOrder() == Qt::AscendingOrder});
    mOptionsApplier.optionsWindowController()->orderFrontOptionsPanel();
}

void BMRecordCommands::eventLogger(QObject*) { eventLoggerWindowController()->displayEventLogger(); }

void BMRecordCommands::showHelp(QObject*) { QDesktopServices::openUrl(QUrl(kUserGuideAddress)); }
