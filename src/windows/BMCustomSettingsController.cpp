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

namespace {

// Sheets open over the middle of the window they belong to.
void placeOver(QWidget* sheet, QWidget* parent)
{
    sheet->adjustSize();
    if (parent && parent->isVisible())
        sheet->move(parent->frameGeometry().center() - sheet->rect().center());
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
}

BMCustomSettingsController::~BMCustomSettingsController()
{
    delete mGroupSettingsPanel;
    delete mCustomSettingsPanel;
}

void BMCustomSettingsController::setNameTests(settingsrules::NameTaken groupTaken, settingsrules::NameTaken typeTaken)
{
    mGroupTaken = std::move(groupTaken);
    mTypeTaken = std::move(typeTaken);
}

BMGroupSettingsPanel* BMCustomSettingsController::groupSettingsPanel()
{
    if (!mGroupSettingsPanel) {
        mGroupSettingsPanel = new BMGroupSettingsPanel(mCaches, mGroupLists);
        mGroupSettingsPanel->onOK = [this] {
            if (customGroupSettingsOK())
                platform::stopModal();
        };
        mGroupSettingsPanel->onCancel = [] { platform::abortModal(); };
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
                platform::stopModal();
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
    QWidget* parent, const std::shared_ptr<BMGroup>& group, int& operation)
{
    BMGroupSettingsPanel* panel = groupSettingsPanel();
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
        result = settingsrules::groupFromSheet(panel->mGroupNameField->text(), panel->recordPermissions(),
                                               panel->mGroupPriorityPermission->isChecked(), mGroupLists,
                                               operation == kOperationEdit ? mSelectedGroupUID : QString(),
                                               mCaches);
    }
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
    const QString name = groupSettingsPanel()->mGroupNameField->text();
    mGroupAccepted = settingsrules::acceptGroupName(name, mShouldEditGroup, mOldGroupName, mGroupTaken);
    return mGroupAccepted;
}

// --- type sheet ----------------------------------------------------------------------

std::shared_ptr<TVXType> BMCustomSettingsController::runCustomSettingsPanelForWindow(
    QWidget* parent, const std::shared_ptr<TVXType>& type, int& operation)
{
    BMTypeSettingsPanel* panel = customSettingsPanel();
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
        if (type && mTypeState.shouldEditType) {
            settingsrules::applyTypeSheetValues(*type, panel->values(), mTypeState.perRecordMode,
                                                type->mSelectedGroupUID(), type.get());
            result = type;
        } else {
            result = typeFromControls(type.get());
            operation = kOperationAdd;
        }
        mCustomTypeSaved = result;
        setCustomizing(true);
    }
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

bool BMCustomSettingsController::customSettingsOK()
{
    BMTypeSettingsPanel* panel = customSettingsPanel();
    const auto built = typeFromControls(mTempCustomTypeReference.get());
    const auto outcome = settingsrules::evaluateTypeSheetOK(mTypeState, panel->mTypeNameField->text(), *built,
                                                            mTempCustomTypeReference.get(),
                                                            mCaches.mCurrentUser().get(), mTypeTaken);
    if (outcome == settingsrules::TypeSheetOutcome::StartNewType) {
        panel->setValues(settingsrules::resetTypeSheetValues());
        panel->mTypeNameField->setFocus();
    }
    mTypeAccepted = outcome == settingsrules::TypeSheetOutcome::Accept;
    return mTypeAccepted;
}

void BMCustomSettingsController::customSettingsCancel()
{
    mTypeAccepted = false;
    platform::abortModal();
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
