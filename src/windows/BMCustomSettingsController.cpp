#include "windows/BMCustomSettingsController.h"

#include "platform/ui/EscapeGuard.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QTabWidget>
#include <QWidget>

#include "model/BMGroup.h"
#include "model/TVXType.h"
#include "platform/ui/AlertPanel.h"
#include "platform/ui/ModalRun.h"
#include "store/personal/IconStore.h"
#include "store/writers/RecordWriter.h"
#include "store/SharedStore.h"
#include "store/loading/StoreCaches.h"
#include "windows/BMGroupSettingsPanel.h"
#include "windows/BMTypeSettingsPanel.h"
#include "views/StoreFailureAlert.h"

namespace {

// Sheets open over the middle of the window they belong to.
void placeOver(QWidget* sheet, QWidget* parent)
{
    sheet->adjustSize();
    if (parent && parent->isVisible())
        sheet->move(parent->frameGeometry().center() - sheet->rect().center());
}

// A save the store refused: a taken name gets the sheet's own alert, anything
// else the store's failure; the sheet stays with its input either way.
void alertRefusedSave(TVXResult code, void (*alertNameTaken)())
{
    if (code == kTVXNameTaken)
        alertNameTaken();
    else
        storealert::reportStoreFailure(code);
}

} // namespace

BMCustomSettingsController& BMCustomSettingsController::sharedCustomSettingsController()
{
    static auto* shared = new BMCustomSettingsController(sharedstore::caches(), sharedstore::icons(),
                                                                sharedstore::groupTypeWriter());
    return *shared;
}

BMCustomSettingsController::BMCustomSettingsController(TVXStoreCaches& caches, TVXIconsAccess& icons,
                                                       TVXGroupTypeWriter& writer, QObject* parent)
    : QObject(parent), mCaches(caches), mIcons(icons), mWriter(writer)
{
    mGroupTaken = [this](const QString& name) { return mWriter.checkForGroupDuplicate(name); };
    mTypeTaken = [this](const QString& name) { return mWriter.checkForTypeDuplicate(name); };
    mGroupHeld = settingsrules::groupNameHeld(mCaches);
    mTypeHeld = settingsrules::typeNameHeld(mCaches);
}

BMCustomSettingsController::~BMCustomSettingsController()
{
    delete mGroupSettingsPanel;
    delete mCustomSettingsPanel;
}

void BMCustomSettingsController::setNameTests(settingsrules::NameTaken groupTaken, settingsrules::NameTaken typeTaken)
{
    mGroupHeld = groupTaken;
    mTypeHeld = typeTaken;
    mGroupTaken = std::move(groupTaken);
    mTypeTaken = std::move(typeTaken);
}

bool BMCustomSettingsController::isSaving() const
{
    return (mGroupSettingsPanel && mGroupSettingsPanel->isSaving())
           || (mCustomSettingsPanel && mCustomSettingsPanel->isSaving());
}

void BMCustomSettingsController::endRun(int code)
{
    mRequestedEnd = code;
    platform::stopModalWithCode(code);
}

BMGroupSettingsPanel* BMCustomSettingsController::groupSettingsPanel()
{
    if (!mGroupSettingsPanel) {
        mGroupSettingsPanel = new BMGroupSettingsPanel(mCaches, mGroupLists);
        mGroupSettingsPanel->onOK = [this] {
            if (customGroupSettingsOK())
                endRun(platform::kModalRunStopped);
        };
        mGroupSettingsPanel->onCancel = [this] {
            if (!isSaving()) // what was sent is answered first
                endRun(platform::kModalRunAborted);
        };
        mGroupEscape = new platform::EscapeGuard(mGroupSettingsPanel);
    }
    return mGroupSettingsPanel;
}

BMTypeSettingsPanel* BMCustomSettingsController::customSettingsPanel()
{
    if (!mCustomSettingsPanel) {
        mCustomSettingsPanel = new BMTypeSettingsPanel(mIcons);
        mCustomSettingsPanel->onOK = [this] {
            if (customSettingsOK())
                endRun(platform::kModalRunStopped);
        };
        mCustomSettingsPanel->onCancel = [this] { customSettingsCancel(); };
        mCustomSettingsPanel->onReset = [this] { customSettingsReset(); };
        mTypeEscape = new platform::EscapeGuard(mCustomSettingsPanel,
                                               [panel = mCustomSettingsPanel] { return QByteArray::number(panel->iconID()); });
    }
    return mCustomSettingsPanel;
}

// --- group sheet -------------------------------------------------------------------

std::shared_ptr<BMGroup> BMCustomSettingsController::runGroupSettingsPanelForWindow(
    QWidget* parent, const std::shared_ptr<BMGroup>& group, int& operation, GroupSaver saver)
{
    BMGroupSettingsPanel* panel = groupSettingsPanel();
    ++mRun;
    mGroupSaver = std::move(saver);
    mRequestedEnd.reset();
    mStoredGroup.reset();
    mShouldEditGroup = operation == kOperationEdit;
    mGroupAccepted = false;
    mGroupLists = {};
    mSelectedGroupUID.clear();
    mOldGroupName.clear();
    panel->mGroupSettingsTab->setCurrentIndex(0);
    if (group) {
        mGroupLists.members = group->mUserMembersArray();
        mGroupLists.subGroups = group->mSubGroupsUID();
        mSelectedGroupUID = group->mGroupUID();
        mOldGroupName = group->mGroupName();
        // A duplicate starts under a name of its own.
        panel->mGroupNameField->setText(operation == kOperationDuplicate
                                            ? group->mGroupName() + tr(" copy") : group->mGroupName());
        panel->setRecordPermissions(group->mRecordLevelPermissions());
        panel->mGroupPriorityPermission->setChecked(group->mPreferencePermissions());
    } else {
        panel->mGroupNameField->clear();
        panel->setRecordPermissions(0);
        panel->mGroupPriorityPermission->setChecked(false);
    }
    panel->mMembersModel->reload();
    panel->mSubGroupsModel->reload(mSelectedGroupUID);
    panel->mGroupNameField->setFocus();
    panel->mGroupNameField->selectAll();
    placeOver(panel, parent);
    mGroupEscape->take();

    std::shared_ptr<BMGroup> result;
    // Closing the sheet's window is no OK: only an accepted name builds a group.
    if (platform::runModalForWindow(panel) == platform::kModalRunStopped && mGroupAccepted) {
        result = mStoredGroup ? mStoredGroup
                              : settingsrules::groupFromSheet(panel->mGroupNameField->text(), panel->recordPermissions(),
                                                              panel->mGroupPriorityPermission->isChecked(), mGroupLists,
                                                              operation == kOperationEdit ? mSelectedGroupUID : QString(),
                                                              mCaches);
    }
    // An answer still due finds the sheet closed.
    ++mRun;
    mGroupSaver = nullptr;
    mStoredGroup.reset();
    panel->showSaving(false);
    mGroupEscape->forget();
    mGroupLists = {};
    mSelectedGroupUID.clear();
    mShouldEditGroup = false;
    panel->hide();
    setShouldHideControls(false);
    return result;
}

bool BMCustomSettingsController::customGroupSettingsOK()
{
    BMGroupSettingsPanel* panel = groupSettingsPanel();
    if (panel->isSaving())
        return false; // the answer to the last OK decides
    const QString name = panel->mGroupNameField->text();
    mGroupAccepted = settingsrules::acceptGroupName(name, mShouldEditGroup, mOldGroupName,
                                                    mGroupSaver ? mGroupHeld : mGroupTaken);
    if (!mGroupAccepted || !mGroupSaver)
        return mGroupAccepted;
    mGroupAccepted = false; // until the store has taken it
    auto built = settingsrules::groupFromSheet(name, panel->recordPermissions(),
                                               panel->mGroupPriorityPermission->isChecked(), mGroupLists,
                                               mShouldEditGroup ? mSelectedGroupUID : QString(), mCaches);
    panel->showSaving(true);
    QPointer<BMCustomSettingsController> self(this);
    if (!mGroupSaver(built, [self, run = mRun, built](TVXResult code) {
            if (self)
                self->groupSaveAnswered(run, built, code);
        })) {
        panel->showSaving(false); // refused before anything was sent, saying why
        return false;
    }
    return mGroupAccepted; // answered at once
}

void BMCustomSettingsController::groupSaveAnswered(quint64 run, std::shared_ptr<BMGroup> built, TVXResult code)
{
    // The sheet closed meanwhile (or runs again): the store has done its part.
    if (run != mRun)
        return;
    groupSettingsPanel()->showSaving(false);
    if (code != kTVXDone) {
        alertRefusedSave(code, settingsrules::alertGroupNameTaken);
        return; // the sheet stays with its input
    }
    mGroupAccepted = true;
    mStoredGroup = std::move(built);
    endRun(platform::kModalRunStopped);
}

// --- type sheet ----------------------------------------------------------------------

std::shared_ptr<TVXType> BMCustomSettingsController::runCustomSettingsPanelForWindow(
    QWidget* parent, const std::shared_ptr<TVXType>& type, int& operation, TypeSaver saver)
{
    BMTypeSettingsPanel* panel = customSettingsPanel();
    ++mRun;
    mTypeSaver = std::move(saver);
    mRequestedEnd.reset();
    mStoredType.reset();
    mTypeState = {};
    mTypeAccepted = false;
    mTempCustomTypeReference = type;
    panel->setGroupChoiceVisible(operation != kOperationCustomType);
    if (operation == kOperationEdit && type) {
        mTypeState.shouldEditType = true;
        mTypeState.previousTypeName = type->mTypeName();
    }
    mTypeState.perRecordMode = shouldHideControls();
    panel->setPerRecordMode(mTypeState.perRecordMode);

    QStringList groupNames;
    for (const auto& group : mCaches.groupsForEditing(false))
        groupNames << group->mGroupName();
    panel->setGroupNames(groupNames);

    if (type)
        mTypeState.oldTypeName = type->mTypeName();
    fillTypeSheet(type.get());
    if (mTypeState.perRecordMode)
        panel->mFieldNameFields[0]->setFocus();
    else
        panel->mTypeNameField->setFocus();
    placeOver(panel, parent);
    mTypeEscape->take();

    std::shared_ptr<TVXType> result;
    if (platform::runModalForWindow(panel) == platform::kModalRunStopped && mTypeAccepted) {
        if (mStoredType) {
            result = mStoredType;
            operation = mStoredOperation;
        } else {
            result = typeForRunResult(operation);
        }
        mCustomTypeSaved = result;
        setCustomizing(true);
    }
    ++mRun;
    mTypeSaver = nullptr;
    mStoredType.reset();
    panel->showSaving(false);
    mTypeEscape->forget();
    panel->hide();
    mTypeState.shouldEditType = false;
    mTempCustomTypeReference.reset();
    setShouldHideControls(false);
    return result;
}

void BMCustomSettingsController::fillTypeSheet(const TVXType* type)
{
    BMTypeSettingsPanel* panel = customSettingsPanel();
    if (!type) {
        panel->setValues(settingsrules::resetTypeSheetValues());
        return;
    }
    const auto group = mCaches.groupWithUID(type->mSelectedGroupUID());
    panel->setValues(settingsrules::typeSheetValuesFromType(*type, group ? group->mGroupName() : QString()));
}

QString BMCustomSettingsController::selectedGroupUIDForType() const
{
    // Without any group there is nothing to tie the type to: no group.
    const QString name = mCustomSettingsPanel->mGroupSelectionPopupForType->currentText();
    const auto group = name.isEmpty() ? nullptr : mCaches.getGroupFromGroupName(name);
    return group ? group->mGroupUID() : QString();
}

std::shared_ptr<TVXType> BMCustomSettingsController::typeFromControls(const TVXType* reference) const
{
    return settingsrules::typeFromSheetValues(mCustomSettingsPanel->values(), mTypeState.perRecordMode,
                                              selectedGroupUIDForType(), reference);
}

std::shared_ptr<TVXType> BMCustomSettingsController::typeForRunResult(int& operation) const
{
    const auto& type = mTempCustomTypeReference;
    if (type && mTypeState.shouldEditType) {
        // A save's edit is stored from a copy: a refusal leaves the sheet's type as it came.
        auto edited = type;
        if (mTypeSaver) {
            edited = TVXType::createCopyforType(*type);
            edited->setMSelectedGroupUID(type->mSelectedGroupUID());
        }
        settingsrules::applyTypeSheetValues(*edited, mCustomSettingsPanel->values(), mTypeState.perRecordMode,
                                            type->mSelectedGroupUID(), type.get());
        return edited;
    }
    operation = kOperationAdd;
    return typeFromControls(type.get());
}

bool BMCustomSettingsController::customSettingsOK()
{
    BMTypeSettingsPanel* panel = customSettingsPanel();
    if (panel->isSaving())
        return false; // the answer to the last OK decides
    const auto built = typeFromControls(mTempCustomTypeReference.get());
    const auto outcome = settingsrules::evaluateTypeSheetOK(mTypeState, panel->mTypeNameField->text(), *built,
                                                            mTempCustomTypeReference.get(),
                                                            mCaches.mCurrentUser().get(),
                                                            mTypeSaver ? mTypeHeld : mTypeTaken);
    if (outcome == settingsrules::TypeSheetOutcome::StartNewType) {
        panel->setValues(settingsrules::resetTypeSheetValues());
        panel->mTypeNameField->setFocus();
    }
    mTypeAccepted = outcome == settingsrules::TypeSheetOutcome::Accept;
    if (!mTypeAccepted || !mTypeSaver)
        return mTypeAccepted;
    mTypeAccepted = false; // until the store has taken it
    int operation = mTypeState.shouldEditType ? kOperationEdit : kOperationAdd;
    auto toStore = typeForRunResult(operation);
    panel->showSaving(true);
    QPointer<BMCustomSettingsController> self(this);
    if (!mTypeSaver(toStore, operation, [self, run = mRun, toStore, operation](TVXResult code) {
            if (self)
                self->typeSaveAnswered(run, toStore, operation, code);
        })) {
        panel->showSaving(false); // refused before anything was sent, saying why
        return false;
    }
    return mTypeAccepted; // answered at once
}

void BMCustomSettingsController::typeSaveAnswered(quint64 run, std::shared_ptr<TVXType> built, int operation,
                                                  TVXResult code)
{
    if (run != mRun)
        return;
    customSettingsPanel()->showSaving(false);
    if (code != kTVXDone) {
        alertRefusedSave(code, settingsrules::alertTypeNameTaken);
        return;
    }
    mTypeAccepted = true;
    mStoredType = std::move(built);
    mStoredOperation = operation;
    endRun(platform::kModalRunStopped);
}

void BMCustomSettingsController::customSettingsCancel()
{
    if (isSaving()) // what was sent is answered first
        return;
    mTypeAccepted = false;
    endRun(platform::kModalRunAborted);
}

void BMCustomSettingsController::customSettingsReset()
{
    fillTypeSheet(mResetInfo.get());
}

// --- one record's field set ------------------------------------------------------------

std::shared_ptr<TVXType> BMCustomSettingsController::displayCustomSettingsPanel(QWidget* parent,
                                                                                RecordFieldSet& fields)
{
    if (!fields.type) {
        BMRunAlertPanel(QString(), tr("You need to set the group and type first"), tr("OK"));
        return nullptr;
    }
    const std::shared_ptr<TVXType> info =
        fields.recordCustomType ? fields.recordCustomType : TVXType::createCopyforType(*fields.type);
    setShouldHideControls(true);
    setResetInfo(fields.type);
    setCustomizing(fields.customizing);
    int operation = kOperationCustomType;
    const std::shared_ptr<TVXType> shown =
        fields.customizing && fields.isTypeCustomizedOnce && fields.typeCustomFields ? fields.typeCustomFields : info;
    // The sheet edits a copy: a cancelled run leaves the record's own set as it was.
    const auto working = TVXType::createCopyforType(*shown);
    working->setMSelectedGroupUID(fields.type->mSelectedGroupUID());
    if (const auto result = runCustomSettingsPanelForWindow(parent, working, operation)) {
        fields.typeCustomFields = result;
        fields.isTypeCustomizedOnce = true;
        fields.isCustomFromDetailPanel = true;
        fields.customizing = true;
    }
    setResetInfo(nullptr);
    // A field set equal to the type's is no customisation (the name is not part of it).
    if (fields.typeCustomFields && !fields.typeCustomFields->isNotEqualToCustomType(*fields.type))
        fields.customizing = false;
    setCustomizing(fields.customizing);
    if (fields.typeCustomFields)
        return fields.typeCustomFields;
    return fields.recordCustomType ? fields.recordCustomType : fields.type;
}
