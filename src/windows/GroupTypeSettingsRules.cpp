#include "windows/GroupTypeSettingsRules.h"

#include <QCoreApplication>

#include "model/BMGroup.h"
#include "model/StringAdditions.h"
#include "model/TVXUser.h"
#include "model/TVXUser_Admin.h"
#include "platform/ui/AlertPanel.h"
#include "store/schema/ColumnLimits.h"
#include "store/accounts/PermissionRules.h"
#include "store/loading/StoreCaches.h"

namespace settingsrules {

static_assert(kStoredNameByteLimit == tvxsql::kTinyBlobCapacity / 16 * 16);
namespace {

QString tr(const char* text)
{
    return QCoreApplication::translate("GroupTypeSettings", text);
}

void alertOK(const QString& message, const QString& title = QString())
{
    BMRunAlertPanel(title, message, tr("OK"));
}

} // namespace

bool isStringAnEmptySet(const QString& text)
{
    for (const QChar c : text)
        if (c != QLatin1Char(' ') && c != QLatin1Char('\t'))
            return false;
    return true;
}

QString personalGroupPrefix()
{
    // The same word the store's personal group names begin with.
    return QStringLiteral("%1-").arg(QCoreApplication::translate("TVXDataBase", "Personal"));
}

QString insufficientPermissionsMessage() { return tr(" You don't have sufficient access permissions."); }
QString noRowSelectedMessage() { return tr(" No row is selected"); }

bool permissionGranted(const TVXUser* user, int kind, uint16_t bit)
{
    if (kind != kPermissionKindGroups && kind != kPermissionKindTypes)
        return true;
    if (!user)
        return false;
    const uint16_t word = kind == kPermissionKindGroups ? user->mGroupPermissionsBit() : user->mTypePermissionsBit();
    return storerules::userWordAllows(word, bit);
}

bool checkForPermissionsOf(const TVXUser* user, int kind, uint16_t bit)
{
    if (permissionGranted(user, kind, bit))
        return true;
    BMRunAlertPanel(tr("Tolvanex Enterprise Alert!"), insufficientPermissionsMessage(), QString());
    return false;
}

// --- group sheet ---------------------------------------------------------------

bool fitsNameColumn(const QString& name) { return name.toUtf8().size() <= kStoredNameByteLimit; }

QString messageGroupNameTooLong()
{
    return tr("The group name is too long to be stored (at most %1 bytes). Please shorten it.")
        .arg(kStoredNameByteLimit);
}

QString messageTypeNameTooLong()
{
    return tr("The type name is too long to be stored (at most %1 bytes). Please shorten it.")
        .arg(kStoredNameByteLimit);
}

QString messageTypeFieldNameTooLong(const QString& fieldLabel)
{
    return tr("The field name \"%1\" is too long to be stored (at most %2 bytes). Please shorten it.")
        .arg(fieldLabel)
        .arg(kStoredNameByteLimit);
}

void alertGroupNameTaken() { alertOK(tr("Group name could not be duplicated")); }
void alertTypeNameTaken() { alertOK(tr("Type name could not be duplicated")); }

NameTaken groupNameHeld(const TVXStoreCaches& caches)
{
    return [&caches](const QString& name) {
        for (const auto& group : caches.mGroups())
            if (group && group->mGroupName() == name)
                return true;
        return false;
    };
}

NameTaken typeNameHeld(const TVXStoreCaches& caches)
{
    return [&caches](const QString& name) {
        for (const auto& type : caches.mTypes())
            if (type && type->mTypeName() == name)
                return true;
        return false;
    };
}

bool acceptGroupName(const QString& name, bool editing, const QString& oldName, const NameTaken& taken)
{
    if (isStringAnEmptySet(name)) {
        // This one alert has no title of its own.
        BMRunAlertPanel(QStringLiteral(" "), tr("You must specify a name for this Group. "), tr("OK"));
        return false;
    }
    if (!fitsNameColumn(name)) {
        alertOK(messageGroupNameTooLong());
        return false;
    }
    if (name.startsWith(personalGroupPrefix())) {
        alertOK(tr("Group name can't start with 'Personal-'.\nThis keyword is reserved for personal group."));
        return false;
    }
    if (editing && name == oldName)
        return true;
    if (taken && taken(name)) {
        alertGroupNameTaken();
        return false;
    }
    return true;
}

void setMemberTicked(GroupSheetLists& lists, const QString& userID, bool ticked)
{
    if (ticked) {
        if (!lists.members.contains(userID))
            lists.members << userID;
    } else {
        lists.members.removeAll(userID);
    }
}

void setSubGroupTicked(GroupSheetLists& lists, const QString& groupID, bool ticked)
{
    if (ticked) {
        if (!lists.subGroups.contains(groupID))
            lists.subGroups << groupID;
        lists.deletedSubGroups.removeAll(groupID);
    } else {
        lists.subGroups.removeAll(groupID);
        if (!lists.deletedSubGroups.contains(groupID))
            lists.deletedSubGroups << groupID;
    }
}

uint16_t recordPermissionsFromCells(bool add, bool edit, bool remove)
{
    return static_cast<uint16_t>((add ? kPermissionAdd : 0) | (edit ? kPermissionEdit : 0)
                                 | (remove ? kPermissionDelete : 0));
}

std::shared_ptr<BMGroup> groupFromSheet(const QString& name, uint16_t recordPermissions, bool prevails,
                                        const GroupSheetLists& lists, const QString& editedGroupUID,
                                        const TVXStoreCaches& caches)
{
    auto group = BMGroup::newGroup();
    group->setMGroupName(storableText(name));
    group->setMRecordLevelPermissions(recordPermissions);
    group->setMPreferencePermissions(prevails);
    QStringList members = lists.members;
    group->setMSubGroupsUID(lists.subGroups);
    for (const QString& subGroupID : lists.subGroups) {
        if (const auto subGroup = caches.groupWithUID(subGroupID))
            for (const QString& member : subGroup->mUserMembersArray())
                if (!members.contains(member))
                    members << member;
    }
    for (const QString& subGroupID : lists.deletedSubGroups) {
        if (const auto subGroup = caches.groupWithUID(subGroupID))
            for (const QString& member : subGroup->mUserMembersArray())
                members.removeAll(member);
    }
    group->setMUserMembersArray(members);
    if (!editedGroupUID.isEmpty())
        group->setMGroupUID(editedGroupUID);
    return group;
}

void noteGroupMembersInMemory(TVXStoreCaches& caches, const BMGroup& group)
{
    const QString& uid = group.mGroupUID();
    for (const auto& user : std::as_const(caches.mUsers())) {
        if (!user)
            continue;
        QStringList& list = user->mUsersGroupArray();
        if (group.mUserMembersArray().contains(user->mUserID())) {
            if (!list.contains(uid))
                list << uid;
        } else {
            list.removeAll(uid);
        }
    }
}

// --- type sheet ------------------------------------------------------------------

QString defaultFieldName(int fieldNumber)
{
    return QStringLiteral("%1 %2").arg(tr("Field")).arg(fieldNumber);
}

QString modificationDateLabel() { return tr("Date Mod"); }

TypeSheetValues resetTypeSheetValues()
{
    TypeSheetValues values;
    for (int i = 0; i < kNumberOfFields - 1; ++i)
        values.fieldNames[static_cast<size_t>(i)] = defaultFieldName(i + 1);
    values.fieldNames[kNumberOfFields - 1] = modificationDateLabel();
    values.iconID = kDefaultIconID;
    return values;
}

TypeSheetValues typeSheetValuesFromType(const TVXType& type, const QString& groupName)
{
    TypeSheetValues values = resetTypeSheetValues();
    values.name = type.mTypeName();
    values.groupName = groupName;
    for (int i = 0; i < kNumberOfFields - 1; ++i) {
        const QString& field = type.fieldAtIndex(i);
        if (!field.isEmpty())
            values.fieldNames[static_cast<size_t>(i)] = field;
    }
    for (int i = 0; i < kNumberOfFields; ++i)
        values.masks[static_cast<size_t>(i)] = (type.mTypeMask() & (1 << i)) != 0;
    values.iconID = type.mTypeIconID() > 0 ? type.mTypeIconID() : kDefaultIconID;
    return values;
}

void applyTypeSheetValues(TVXType& type, const TypeSheetValues& values, bool perRecordMode,
                          const QString& groupUID, const TVXType* reference)
{
    if (perRecordMode && reference) {
        type.setMTypeName(reference->mTypeName());
        type.setMTypeIconID(reference->mTypeIconID());
        type.setMSelectedGroupUID(reference->mSelectedGroupUID());
    } else if (!perRecordMode) {
        type.setMTypeName(storableText(values.name));
        type.setMTypeIconID(values.iconID);
        type.setMSelectedGroupUID(groupUID);
    }
    int32_t mask = 0;
    for (int i = 0; i < kNumberOfFields; ++i) {
        if (values.masks[static_cast<size_t>(i)])
            mask |= 1 << i;
        const QString text = storableText(values.fieldNames[static_cast<size_t>(i)]);
        QString name = text.isEmpty() ? defaultFieldName(i + 1) : text;
        if (i == kNumberOfFields - 1 && reference)
            name = reference->fieldAtIndex(i);
        type.setFieldAtIndex(i, name);
    }
    type.setMTypeMask(mask);
}

std::shared_ptr<TVXType> typeFromSheetValues(const TypeSheetValues& values, bool perRecordMode,
                                             const QString& groupUID, const TVXType* reference)
{
    auto type = TVXType::createType();
    applyTypeSheetValues(*type, values, perRecordMode, groupUID, reference);
    return type;
}

TypeSheetOutcome evaluateTypeSheetOK(TypeSheetState& state, const QString& name, const TVXType& built,
                                     const TVXType* reference, const TVXUser* user, const NameTaken& taken)
{
    for (int i = 0; i < kNumberOfFields; ++i) {
        if (!fitsNameColumn(built.fieldAtIndex(i))) {
            alertOK(messageTypeFieldNameTooLong(defaultFieldName(i + 1)));
            return TypeSheetOutcome::Stay;
        }
    }
    if (state.perRecordMode)
        return TypeSheetOutcome::Accept;
    if (isStringAnEmptySet(name)) {
        BMRunAlertPanel(QStringLiteral(" "), tr("You must specify a name for this type."), tr("OK"));
        return TypeSheetOutcome::Stay;
    }
    if (!fitsNameColumn(name)) {
        alertOK(messageTypeNameTooLong());
        return TypeSheetOutcome::Stay;
    }
    if (name != state.previousTypeName) {
        // A new name makes a new type; the edited one stays as it was.
        state.shouldEditType = false;
    } else if (!(reference && built.isEqualToType(*reference))) {
        const int answer = BMRunAlertPanel(
            QString(),
            tr("Changing existing type will reflect on all the records under this type. Would you like to "
               "create a new Type instead?"),
            tr("No"), tr("Cancel"), tr("Yes"));
        if (answer == platform::kAlertDefaultReturn) {
            if (!checkForPermissionsOf(user, kPermissionKindTypes, kPermissionEdit))
                return TypeSheetOutcome::Stay;
            state.shouldEditType = true;
        } else if (answer == platform::kAlertOtherReturn) {
            if (!checkForPermissionsOf(user, kPermissionKindTypes, kPermissionAdd))
                return TypeSheetOutcome::Stay;
            state.shouldEditType = false;
            return TypeSheetOutcome::StartNewType;
        } else {
            return TypeSheetOutcome::Stay;
        }
    }
    if (state.shouldEditType && name == state.oldTypeName)
        return TypeSheetOutcome::Accept;
    if (taken && taken(name)) {
        alertTypeNameTaken();
        return TypeSheetOutcome::Stay;
    }
    return TypeSheetOutcome::Accept;
}

// --- group/type editor -------------------------------------------------------------

int editorModeForSender(const QString& title, int tag)
{
    if (title == tr("Edit Groups...") || tag == kEditGroupsMenuTag)
        return kEditorGroupsMode;
    if (title == tr("Edit Types...") || tag == kEditTypesMenuTag)
        return kEditorTypesMode;
    return -1;
}

int rowToSelectAfterDeletion(int oldRow, int remainingRows)
{
    if (remainingRows <= 1 || oldRow < 0)
        return -1;
    return oldRow < remainingRows ? oldRow : remainingRows - 1;
}

bool acceptDuplicatedGroup(const BMGroup* group, const NameTaken& taken)
{
    const QString name = group ? group->mGroupName() : QString();
    if (name.startsWith(personalGroupPrefix())) {
        alertOK(tr("Group name can't start with 'Personal-'.\nThis keyword is reserved for personal group."));
        return false;
    }
    if (!name.isEmpty() && taken && taken(name)) {
        alertOK(tr("Group name could not be duplicated."));
        return false;
    }
    if (name.isEmpty()) {
        alertOK(tr("Group without name could not be added."));
        return false;
    }
    if (!fitsNameColumn(name)) {
        alertOK(messageGroupNameTooLong());
        return false;
    }
    return true;
}

BackupAnswer askBackupBeforeDeletion(bool types)
{
    const QString title = types ? tr("TolvanEnterprise Delete Types.") : tr("TolvanEnterprise Delete Group.");
    const QString message = QStringLiteral("%1\n%2\n%3").arg(
        tr("Note – You can Backup this group before Deleting it."), tr("Are you Sure?"),
        types ? tr("All  Records inside this Type will be deleted.")
              : tr("All Types and Records inside this Group will be deleted."));
    const int answer = BMRunAlertPanel(title, message, tr("Backup"), tr("Yes"), tr("No"));
    if (answer == platform::kAlertDefaultReturn)
        return BackupAnswer::Backup;
    if (answer == platform::kAlertAlternateReturn)
        return BackupAnswer::Delete;
    return BackupAnswer::Stop;
}

bool confirmDeletion(bool types)
{
    const QString title = types ? tr("TolvanEnterprise Delete Types.") : tr("Tolvanex Enterprise Delete Group.");
    const QString message = QStringLiteral("%1\n%2").arg(
        tr("Note – This action cannot be reversed."),
        types ? tr("Please confirm. Deleting Types?") : tr("Please confirm. Deleting Group?"));
    return BMRunAlertPanel(title, message, tr("No"), tr("Yes")) == platform::kAlertAlternateReturn;
}

} // namespace settingsrules
