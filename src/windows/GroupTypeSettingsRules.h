#pragma once
// What the group sheet, the type sheet and the group/type editor decide,
// without any window: name checks, permission tests, the lists a group sheet
// edits, and the values a type sheet shows and builds a type from.
#include <QString>
#include <QStringList>

#include <array>
#include <cstdint>
#include <functional>
#include <memory>

#include "model/TVXType.h"
#include "windows/SheetOperations.h"

class BMGroup;
class TVXStoreCaches;
class TVXUser;

// Which permission word a test reads.
inline constexpr int kPermissionKindGroups = 1;
inline constexpr int kPermissionKindTypes = 2;

// Modes of the group/type editor.
inline constexpr int kEditorGroupsMode = 0;
inline constexpr int kEditorTypesMode = 1;
inline constexpr int kEditGroupsMenuTag = 102;
inline constexpr int kEditTypesMenuTag = 101;

namespace settingsrules {

// Whether a stored group or type already has the name (the store's test).
using NameTaken = std::function<bool(const QString&)>;

// The same test over the groups (types) this client holds in memory: no
// server is asked; a name only another client stored is found by the save.
NameTaken groupNameHeld(const TVXStoreCaches& caches);
NameTaken typeNameHeld(const TVXStoreCaches& caches);
// The alerts for a name already stored.
void alertGroupNameTaken();
void alertTypeNameTaken();

// Empty once blanks and tabs are trimmed; new lines count as text.
bool isStringAnEmptySet(const QString& text);

// "Personal-": names beginning with it are kept for the users' own groups.
QString personalGroupPrefix();

// The message texts, through the translation table.
QString insufficientPermissionsMessage(); // " You don't have sufficient access permissions."
QString noRowSelectedMessage();           // " No row is selected"

// The editor's permission test: kind 1 reads the user's group word, kind 2
// its type word; any other kind is allowed. A refusal is shown as an alert.
bool permissionGranted(const TVXUser* user, int kind, uint16_t bit);
bool checkForPermissionsOf(const TVXUser* user, int kind, uint16_t bit);

// --- group sheet ---------------------------------------------------------------

// The group sheet's OK: blank name, reserved prefix, then (unless an edit
// kept its name) the duplicate test. Refusals are alerts; true accepts.
bool acceptGroupName(const QString& name, bool editing, const QString& oldName, const NameTaken& taken);

// Group, type and field names are stored enciphered in whole blocks of 16
// bytes in a column of 255: at most this many bytes of UTF-8 text.
inline constexpr int kStoredNameByteLimit = 240;
bool fitsNameColumn(const QString& name);
QString messageGroupNameTooLong();
QString messageTypeNameTooLong();
QString messageTypeFieldNameTooLong(const QString& fieldLabel);

// The lists a group sheet edits, copied from the group when it opens.
struct GroupSheetLists {
    QStringList members;
    QStringList subGroups;
    QStringList deletedSubGroups; // unticked while the sheet ran
};
void setMemberTicked(GroupSheetLists& lists, const QString& userID, bool ticked);
void setSubGroupTicked(GroupSheetLists& lists, const QString& groupID, bool ticked);

// Record permission cells: add 1, edit 2, delete 4.
uint16_t recordPermissionsFromCells(bool add, bool edit, bool remove);

// The group the sheet returns: members of listed sub-groups join, members of
// unticked sub-groups leave (even when ticked directly). An edit keeps the
// edited group's identifier; otherwise the group is new.
std::shared_ptr<BMGroup> groupFromSheet(const QString& name, uint16_t recordPermissions, bool prevails,
                                        const GroupSheetLists& lists, const QString& editedGroupUID,
                                        const TVXStoreCaches& caches);

// After the store took a group: the other users' group lists in memory follow
// its member list (added where ticked, removed where not), each entry once.
void noteGroupMembersInMemory(TVXStoreCaches& caches, const BMGroup& group);

// --- type sheet ------------------------------------------------------------------

// What the type sheet's controls show.
struct TypeSheetValues {
    QString name;
    QString groupName;
    int iconID = kDefaultIconID;
    std::array<QString, kNumberOfFields> fieldNames;
    std::array<bool, kNumberOfFields> masks{};
};

QString defaultFieldName(int fieldNumber); // "Field 3", localised
QString modificationDateLabel();           // "Date Mod", localised

// The controls of a fresh sheet: no name, default field names, no masks, icon 31.
TypeSheetValues resetTypeSheetValues();
// The controls filled from a type; groupName is the name of its group (may be empty).
TypeSheetValues typeSheetValuesFromType(const TVXType& type, const QString& groupName);

// Applies the controls to a type. Outside per-record mode the name, icon and
// group follow the controls; in per-record mode they stay the reference's
// (the sheet does not show them). Field 10 is the modification date and is
// not edited: with a reference it keeps the reference's name.
void applyTypeSheetValues(TVXType& type, const TypeSheetValues& values, bool perRecordMode,
                          const QString& groupUID, const TVXType* reference);
std::shared_ptr<TVXType> typeFromSheetValues(const TypeSheetValues& values, bool perRecordMode,
                                             const QString& groupUID, const TVXType* reference);

// The type sheet's OK, step by step.
struct TypeSheetState {
    bool perRecordMode = false;
    bool shouldEditType = false;
    QString previousTypeName; // name when an edit started
    QString oldTypeName;      // name when the sheet opened
};
enum class TypeSheetOutcome {
    Accept,       // end the run with OK
    Stay,         // leave the sheet open as it is
    StartNewType, // reset the controls; the sheet now enters a new type
};
// `built` is the type made from the controls, `reference` the type handed to the sheet.
TypeSheetOutcome evaluateTypeSheetOK(TypeSheetState& state, const QString& name, const TVXType& built,
                                     const TVXType* reference, const TVXUser* user, const NameTaken& taken);

// --- group/type editor -------------------------------------------------------------

// 0 groups, 1 types, -1 neither, by the menu item's title or tag.
int editorModeForSender(const QString& title, int tag);
// The row selected after a deletion from the row `oldRow`: none unless more
// than one row remains; else that row, or the last when it is past the end.
int rowToSelectAfterDeletion(int oldRow, int remainingRows);

// The editor's checks on a duplicated group before it is added; alerts on refusal.
bool acceptDuplicatedGroup(const BMGroup* group, const NameTaken& taken);

// Deletion questions: 1 backup, 0 go on, -1 stop; then true only for "Yes".
enum class BackupAnswer { Backup, Delete, Stop };
BackupAnswer askBackupBeforeDeletion(bool types);
bool confirmDeletion(bool types);

} // namespace settingsrules
