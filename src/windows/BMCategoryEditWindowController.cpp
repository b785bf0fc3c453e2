#include "windows/BMCategoryEditWindowController.h"

#include <QAction>
#include <QApplication>
#include <QGuiApplication>
#include <QPointer>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QPushButton>
#include <QScopedValueRollback>
#include <QShortcut>
#include <QTableView>
#include <QVBoxLayout>
#include <QWidget>

#include "model/BMGroup.h"
#include "model/TVXType.h"
#include "platform/ui/AlertPanel.h"
#include "platform/ui/ModalRun.h"
#include "platform/ui/SheetFrame.h"
#include "store/personal/IconStore.h"
#include "store/personal/PersonalStore.h"
#include "store/writers/RecordWriter.h"
#include "store/SharedStore.h"
#include "store/loading/StoreCaches.h"
#include "views/ListTables.h"
#include "views/StoreFailureAlert.h"
#include "windows/BMCustomSettingsController.h"
#include "windows/GroupTypeSettingsRules.h"
#include "windows/RecordDetailsLogic.h"

using namespace settingsrules;

// --- the list ----------------------------------------------------------------------

BMCategoryEditModel::BMCategoryEditModel(const TVXStoreCaches& caches, const TVXIconsAccess& icons, QObject* parent)
    : QAbstractListModel(parent), mCaches(caches), mIcons(icons)
{
}

void BMCategoryEditModel::setTableViewType(int type)
{
    mTableViewType = type;
    reload();
}

void BMCategoryEditModel::reload()
{
    beginResetModel();
    mGroups.clear();
    mTypes.clear();
    if (mTableViewType == kEditorGroupsMode)
        mGroups = mCaches.groupsForEditing(true);
    else
        mTypes = mCaches.typesForEditing(true);
    endResetModel();
}

int BMCategoryEditModel::rowCount(const QModelIndex& parent) const
{
    if (parent.isValid())
        return 0;
    return static_cast<int>(mTableViewType == kEditorGroupsMode ? mGroups.size() : mTypes.size());
}

QVariant BMCategoryEditModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.row() >= rowCount())
        return {};
    if (role == Qt::DisplayRole)
        return mTableViewType == kEditorGroupsMode ? mGroups.at(index.row())->mGroupName()
                                                   : mTypes.at(index.row())->mTypeName();
    if (role == Qt::DecorationRole && mTableViewType == kEditorTypesMode) {
        const QImage icon = mIcons.getImageFromIconIndex(mTypes.at(index.row())->mTypeIconID());
        return icon.isNull() ? QVariant() : QVariant(QPixmap::fromImage(icon));
    }
    return {};
}

QVariant BMCategoryEditModel::headerData(int, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return {};
    return mTableViewType == kEditorGroupsMode ? tr("Groups") : tr("Types");
}

// --- the editor ----------------------------------------------------------------------

BMCategoryEditWindowController& BMCategoryEditWindowController::sharedCategoryEditController()
{
    static auto* shared = new BMCategoryEditWindowController(
        sharedstore::caches(), sharedstore::icons(), sharedstore::groupTypeWriter(), sharedstore::personal(),
        BMCustomSettingsController::sharedCustomSettingsController());
    return *shared;
}

BMCategoryEditWindowController::BMCategoryEditWindowController(TVXStoreCaches& caches, TVXIconsAccess& icons,
                                                               TVXGroupTypeWriter& writer, TVXPersonalAccess& personal,
                                                               BMCustomSettingsController& sheets, QObject* parent)
    : QObject(parent), mCaches(caches), mIcons(icons), mWriter(writer), mPersonal(personal), mSheets(sheets)
{
    mWindow = new QWidget(nullptr, Qt::Dialog);
    mWindow->setObjectName(QStringLiteral("CategoryEditWindowController"));
    mWindow->resize(420, 380);

    mModel = new BMCategoryEditModel(mCaches, mIcons, this);
    m_groupTableView = newListTable(mModel, QStringLiteral("mGroupTableView"), QAbstractItemView::SingleSelection);
    m_groupTableView->setIconSize(QSize(16, 16));
    m_groupTableView->horizontalHeader()->setStretchLastSection(true);
    m_groupTableView->horizontalHeader()->setSectionsClickable(false);
    connect(m_groupTableView->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            [this] { selectionChanged(); });
    connect(mModel, &QAbstractItemModel::modelReset, this, [this] { selectionChanged(); });
    connect(m_groupTableView, &QTableView::doubleClicked, this, [this] { editTypeDoubleAction(); });

    auto makeButton = [](const QString& text, const QString& name) {
        auto* button = new QPushButton(text);
        button->setObjectName(name);
        button->setMinimumWidth(96);
        return button;
    };
    mAddButton = makeButton(tr("Add..."), QStringLiteral("mAddButton"));
    mEditButton = makeButton(tr("Edit..."), QStringLiteral("mEditButton"));
    mDuplicateButton = makeButton(tr("Duplicate..."), QStringLiteral("mDuplicateButton"));
    mDeleteButton = makeButton(tr("Delete"), QStringLiteral("mDeleteButton"));
    mGroupEditDoneButton = makeButton(tr("Done"), QStringLiteral("mGroupEditDoneButton"));
    mGroupEditDoneButton->setDefault(true);
    connect(mAddButton, &QPushButton::clicked, this, [this] { addNewEntry(); });
    connect(mEditButton, &QPushButton::clicked, this, [this] { editTableEntry(true); });
    connect(mDuplicateButton, &QPushButton::clicked, this, [this] { duplicateGroup(); });
    connect(mDeleteButton, &QPushButton::clicked, this, [this] { deleteSelectedTableEntry(); });
    connect(mGroupEditDoneButton, &QPushButton::clicked, this, [this] { done(); });
    connect(new QShortcut(QKeySequence(Qt::Key_Escape), mWindow), &QShortcut::activated, this, [this] { done(); });

    auto* side = new QVBoxLayout;
    side->setSpacing(8);
    side->addWidget(mAddButton);
    side->addWidget(mEditButton);
    side->addWidget(mDuplicateButton);
    side->addSpacing(12);
    side->addWidget(mDeleteButton);
    side->addStretch(1);
    side->addWidget(mGroupEditDoneButton);

    auto* layout = new QHBoxLayout(mWindow);
    layout->setContentsMargins(platform::kSheetMargins);
    layout->setSpacing(12);
    layout->addWidget(m_groupTableView, 1);
    layout->addLayout(side);

    prepareForMode(kEditorGroupsMode);
}

BMCategoryEditWindowController::~BMCategoryEditWindowController()
{
    showDeleting(false);
    delete mWindow;
}

void BMCategoryEditWindowController::prepareForMode(int tableViewType)
{
    m_tableViewType = tableViewType;
    const bool groups = tableViewType == kEditorGroupsMode;
    mDuplicateButton->setVisible(groups);
    mWindow->setWindowTitle(groups ? tr("Edit Groups") : tr("Edit Types"));
    mModel->setTableViewType(tableViewType);
    m_groupTableView->clearSelection();
    selectionChanged();
}

void BMCategoryEditWindowController::displayGroupEditWindow(QAction* sender)
{
    if (!sender)
        return;
    const QVariant tag = sender->property("tag");
    displayGroupEditWindow(sender->text(), tag.isValid() ? tag.toInt() : sender->data().toInt());
}

void BMCategoryEditWindowController::displayGroupEditWindow(const QString& title, int tag)
{
    const int mode = editorModeForSender(title, tag);
    if (mode < 0)
        return;
    prepareForMode(mode);
    platform::runModalForWindow(mWindow);
    mWindow->hide();
}

void BMCategoryEditWindowController::done()
{
    if (mDeleting)
        return; // the list shows the delete's answer first
    mWindow->hide();
    platform::stopModal();
}

void BMCategoryEditWindowController::cancel() { platform::abortModal(); }

int BMCategoryEditWindowController::selectedRow() const
{
    const QModelIndexList rows = m_groupTableView->selectionModel()->selectedRows();
    return rows.isEmpty() ? -1 : rows.first().row();
}

void BMCategoryEditWindowController::selectRow(int row)
{
    if (row < 0 || row >= mModel->rowCount())
        m_groupTableView->clearSelection();
    else
        m_groupTableView->selectRow(row);
}

void BMCategoryEditWindowController::selectionChanged()
{
    const bool any = selectedRow() >= 0;
    mDeleteButton->setEnabled(any);
    mEditButton->setEnabled(any);
    mDuplicateButton->setEnabled(any && m_tableViewType == kEditorGroupsMode);
}

void BMCategoryEditWindowController::reloadAndScroll(const QString& uid)
{
    // The selection stays on the same entry, wherever a new name sorts it.
    int row = selectedRow();
    mModel->reload();
    if (!uid.isEmpty()) {
        if (m_tableViewType == kEditorGroupsMode) {
            const auto groups = mCaches.groupsForEditing(true);
            for (int i = 0; i < groups.size(); ++i)
                if (groups.at(i)->mGroupUID() == uid)
                    row = i;
        } else {
            const auto types = mCaches.typesForEditing(true);
            for (int i = 0; i < types.size(); ++i)
                if (types.at(i)->mTypeUID() == uid)
                    row = i;
        }
    }
    selectRow(row);
    if (row >= 0)
        m_groupTableView->scrollTo(mModel->index(row, 0));
}

void BMCategoryEditWindowController::reportStoreResult(TVXResult code) const
{
    storealert::reportStoreFailure(code);
}

std::shared_ptr<BMGroup> BMCategoryEditWindowController::runGroupSheet(const std::shared_ptr<BMGroup>& group,
                                                                       int operation, const GroupStore& store)
{
    int sheetOperation = operation;
    QPointer<BMCategoryEditWindowController> self(this);
    // The sheet waits for the answer and shows a refusal itself, keeping the input.
    const auto saver = [this, self, &store](const std::shared_ptr<BMGroup>& built,
                                            BMCustomSettingsController::SaveAnswer answer) {
        return store(built, listFollows([self, built, answer = std::move(answer)](TVXResult code) {
            if (self && code == kTVXDone)
                noteGroupMembersInMemory(self->mCaches, *built);
            answer(code);
        }));
    };
    const QScopedValueRollback<bool> running(mSheetRunning, true);
    return mSheets.runGroupSettingsPanelForWindow(mWindow, group, sheetOperation, saver);
}

BMCategoryEditWindowController::WriteAnswer BMCategoryEditWindowController::listFollows(WriteAnswer answer)
{
    QPointer<BMCategoryEditWindowController> self(this);
    return [self, answer = std::move(answer)](TVXResult code) {
        answer(code);
        // While a sheet runs, its end reloads the list.
        if (self && code == kTVXDone && !self->mSheetRunning && !self->mDeleting && self->mWindow->isVisible())
            self->mModel->reload();
    };
}

std::shared_ptr<BMGroup> BMCategoryEditWindowController::selectedGroup() const
{
    const int row = selectedRow();
    const auto groups = mCaches.groupsForEditing(true);
    return row >= 0 && row < groups.size() ? groups.at(row) : nullptr;
}

std::shared_ptr<TVXType> BMCategoryEditWindowController::selectedType() const
{
    const int row = selectedRow();
    const auto types = mCaches.typesForEditing(true);
    return row >= 0 && row < types.size() ? types.at(row) : nullptr;
}

bool BMCategoryEditWindowController::checkForPermissionsOf(int kind, uint16_t bit) const
{
    return settingsrules::checkForPermissionsOf(mCaches.mCurrentUser().get(), kind, bit);
}

// --- add, edit, duplicate ----------------------------------------------------------------

void BMCategoryEditWindowController::addNewEntry()
{
    if (mDeleting)
        return;
    if (m_tableViewType == kEditorGroupsMode) {
        if (!checkForPermissionsOf(kPermissionKindGroups, kPermissionAdd))
            return;
        m_groupTableView->clearSelection();
        runGroupSheet(nullptr, kOperationAdd, [this](const std::shared_ptr<BMGroup>& group, WriteAnswer answer) {
            mWriter.saveGroupBehindWindow(group, true, true, std::move(answer));
            return true;
        });
        reloadAndScroll();
        return;
    }
    mSheets.setCustomizing(false);
    mSheets.setShouldHideControls(false);
    int operation = kOperationAdd;
    {
        const QScopedValueRollback<bool> running(mSheetRunning, true);
        (void)mSheets.runCustomSettingsPanelForWindow(
            mWindow, nullptr, operation, [this](const std::shared_ptr<TVXType>& type, int, WriteAnswer answer) {
                if (!checkForPermissionsOf(kPermissionKindTypes, kPermissionAdd))
                    return false;
                mWriter.saveTypeBehindWindow(type, true, true, listFollows(std::move(answer)));
                return true;
            });
    }
    mSheets.setCustomizing(false);
    mModel->reload();
}

void BMCategoryEditWindowController::editTypeDoubleAction() { editTableEntry(false); }

void BMCategoryEditWindowController::editTableEntry(bool fromButton)
{
    if (mDeleting)
        return;
    if (selectedRow() < 0) {
        if (fromButton)
            BMRunAlertPanel(QString(), noRowSelectedMessage(), tr("OK"));
        return;
    }
    QString editedUID;
    if (m_tableViewType == kEditorGroupsMode) {
        if (!checkForPermissionsOf(kPermissionKindGroups, kPermissionEdit))
            return;
        const auto group = selectedGroup();
        if (!group)
            return;
        editedUID = group->mGroupUID();
        if (group->mGroupName() == mPersonal.currentUserPersnaolGroupName()) {
            BMRunAlertPanel(QString(), tr("You can not edit your personal group."), tr("OK"));
            return;
        }
        const QString storedName = group->mGroupName();
        runGroupSheet(group, kOperationEdit,
                      [this, storedName](const std::shared_ptr<BMGroup>& result, WriteAnswer answer) {
                          // A kept name is the group's own: only a new one is looked for.
                          mWriter.saveGroupBehindWindow(result, false, result->mGroupName() != storedName,
                                                        std::move(answer));
                          return true;
                      });
    } else {
        const auto selected = selectedType();
        if (!selected)
            return;
        editedUID = selected->mTypeUID();
        auto shown = TVXType::createCopyforType(*selected);
        shown->setMSelectedGroupUID(selected->mSelectedGroupUID());
        int operation = kOperationEdit;
        mSheets.setShouldHideControls(false);
        std::shared_ptr<TVXType> result;
        {
            const QScopedValueRollback<bool> running(mSheetRunning, true);
            result = mSheets.runCustomSettingsPanelForWindow(
                mWindow, shown, operation,
                [this, selected](const std::shared_ptr<TVXType>& type, int storedOperation, WriteAnswer answer) {
                    if (storedOperation != kOperationEdit)
                        mWriter.saveTypeBehindWindow(type, true, true, listFollows(std::move(answer)));
                    else if (type->isEqualToType(*selected))
                        answer(kTVXDone); // nothing changed: nothing to send
                    else
                        mWriter.saveTypeBehindWindow(type, false, false, listFollows(std::move(answer)));
                    return true;
                });
        }
        mSheets.setCustomizing(false);
        if (!result)
            return;
    }
    reloadAndScroll(editedUID);
}

void BMCategoryEditWindowController::duplicateGroup()
{
    if (mDeleting)
        return;
    if (selectedRow() < 0) {
        BMRunAlertPanel(QString(), noRowSelectedMessage(), tr("OK"));
        return;
    }
    if (!checkForPermissionsOf(kPermissionKindGroups, kPermissionAdd))
        return;
    const auto source = selectedGroup();
    if (!source)
        return;
    // Only while this sheet runs: a refused duplicate must not rename the next edit.
    setMDuplicateGroup(true);
    runGroupSheet(source, kOperationDuplicate, [this](const std::shared_ptr<BMGroup>& result, WriteAnswer answer) {
        // The names in memory here; one only another client stored is found by the save.
        if (!acceptDuplicatedGroup(result.get(), groupNameHeld(mCaches)))
            return false; // refused with its own message: nothing to store
        mWriter.saveGroupBehindWindow(result, true, true, std::move(answer));
        return true;
    });
    setMDuplicateGroup(false);
    mModel->reload();
}

// --- delete ------------------------------------------------------------------------------

TVXRecordList BMCategoryEditWindowController::recordsToExportForBackUP() const
{
    if (m_tableViewType == kEditorGroupsMode) {
        const auto group = selectedGroup();
        return group ? mCaches.itemsOfGroup(group.get(), QString()) : TVXRecordList{};
    }
    const auto type = selectedType();
    if (!type)
        return {};
    const auto group = mCaches.groupWithUID(type->mSelectedGroupUID());
    return mCaches.itemsOfGroup(group.get(), type.get(), QString());
}

void BMCategoryEditWindowController::deleteSelectedTableEntry()
{
    if (mDeleting)
        return;
    if (selectedRow() < 0) {
        BMRunAlertPanel(QString(), noRowSelectedMessage(), tr("OK"));
        return;
    }
    const bool types = m_tableViewType == kEditorTypesMode;
    if (!types) {
        if (!checkForPermissionsOf(kPermissionKindGroups, kPermissionDelete))
            return;
        const auto group = selectedGroup();
        if (group && group->mGroupName() == mPersonal.currentUserPersnaolGroupName()) {
            BMRunAlertPanel(QString(), tr("You can not delete your personal group."), tr("OK"));
            return;
        }
    } else if (!checkForPermissionsOf(kPermissionKindTypes, kPermissionDelete)) {
        return;
    }
    if (!recordsToExportForBackUP().isEmpty()) {
        switch (askBackupBeforeDeletion(types)) {
        case BackupAnswer::Backup:
            // The backup command deletes once the records are saved.
            if (mBackupHandler)
                mBackupHandler();
            return;
        case BackupAnswer::Stop:
            return;
        case BackupAnswer::Delete:
            break;
        }
    }
    QApplication::setActiveWindow(mWindow);
    if (confirmDeletion(types))
        deleteSelectedGroup();
}

void BMCategoryEditWindowController::deleteSelectedGroup()
{
    if (mDeleting)
        return; // the answer to the last delete comes first
    const int oldRow = selectedRow();
    QPointer<BMCategoryEditWindowController> self(this);
    const auto answered = [self, oldRow](TVXResult code) {
        if (self)
            self->deleteAnswered(oldRow, code);
    };
    if (m_tableViewType == kEditorGroupsMode) {
        if (const auto group = selectedGroup()) {
            showDeleting(true);
            mWriter.deleteGroupBehindWindow(*group, answered);
            return;
        }
    } else if (const auto type = selectedType()) {
        showDeleting(true);
        mWriter.deleteTypeBehindWindow(*type, answered);
        return;
    }
    deleteAnswered(oldRow, kTVXDone);
}

void BMCategoryEditWindowController::deleteAnswered(int oldRow, TVXResult code)
{
    showDeleting(false);
    reportStoreResult(code);
    m_groupTableView->clearSelection();
    mModel->reload();
    selectRow(rowToSelectAfterDeletion(oldRow, mModel->rowCount()));
}

void BMCategoryEditWindowController::showDeleting(bool deleting)
{
    if (deleting == mDeleting)
        return;
    mDeleting = deleting;
    platform::holdRunAgainstClosing(mWindow, deleting);
    if (deleting)
        QGuiApplication::setOverrideCursor(Qt::BusyCursor);
    else
        QGuiApplication::restoreOverrideCursor();
    for (QPushButton* button : {mAddButton, mEditButton, mDuplicateButton, mDeleteButton, mGroupEditDoneButton})
        button->setEnabled(!deleting);
    if (!deleting)
        selectionChanged();
}
