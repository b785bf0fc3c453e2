#pragma once
// What the record commands decide, without any window: permission tests and
// their refusals, duplicate detection, the texts copied to the clipboard, and
// the storing sequences shared by several commands.
#include <QString>
#include <QStringList>

#include <cstdint>
#include <memory>
#include <optional>

#include "app/AppControllerRules.h"
#include "store/StoreTypes.h"

class BMGroup;
class TVXRecord;
class TVXRecordWriter;
class TVXType;
class TVXUser;

// Tags of the copy-field menu items.
inline constexpr int kCopyGroupNameTag = 206;
inline constexpr int kCopyFirstValueTag = 207; // 207..215: values 1..9
inline constexpr int kCopyModificationDateTag = 216;
inline constexpr int kCopyNotesTag = 217;
// The View menu's mask item.
inline constexpr int kMaskMenuItemTag = 401;
// Views of the main window (the view selector's tags).
inline constexpr int kColumnViewTag = 0;
inline constexpr int kListViewTag = 1;
inline constexpr int kTreeViewTag = 2;

using appctl::kMaskingStatusKey;

namespace recordrules {

QString insufficientPermissionsMessage(); // " You don't have sufficient access permissions."
// A record command asked for while a save or delete waits for the server.
QString stillWritingMessage();

// The record permission word in a group: the group's own when it prevails,
// otherwise the user's.
uint16_t recordPermissionWord(const TVXUser* user, const BMGroup* group);
// Held when the word has any of the mask's bits; a refusal is shown.
bool checkForRecordPermissionFor(const TVXUser* user, uint16_t mask, const BMGroup* group);
bool checkForDataPermissionFor(const TVXUser* user, uint16_t mask);

// Whether two records agree on their custom types: neither has one, or both
// have equal ones.
bool itemsAreEqual(const TVXRecord& first, const TVXRecord& second);
// The duplicates in the list: for each set of equal records the first in the
// list's order is kept and every other one is a duplicate. `names` receives
// the duplicates' first values.
QList<std::shared_ptr<TVXRecord>> deDupeIndexes(const QList<std::shared_ptr<TVXRecord>>& records,
                                                QStringList* names = nullptr);
// "%d duplicate item(s) found. Do you want to delete these item(s)?"
QString duplicatesFoundText(qsizetype count);

// The text a copy-field item puts on the clipboard; none for other tags.
std::optional<QString> copyFieldText(const TVXRecord& record, int tag);
// A modification date as "May 04,2009"; the text itself when it is no date.
QString modificationDateForCopy(const QString& value10);

// The first value of a duplicated record.
QString duplicateFirstValue(const QString& value);

// Deletes from the last record to the first, stopping at the first failure;
// the result of the last deletion tried.
TVXResult deleteRecordsFromLast(TVXRecordWriter& writer, const QList<std::shared_ptr<TVXRecord>>& records);

// What a deletion series left: the descriptions of the records deleted, of
// the one that failed (with its code) and of those not tried after it.
struct DeletionResults {
    QStringList deleted;
    QString failed;
    TVXResult failure = kTVXDone;
    QStringList notTried;
};
// Why a store refused a change, in the words the failure alerts use.
QString refusalReason(TVXResult code);
// The series' end: each record's result, for an alert.
QString deletionResultsText(const DeletionResults& results);

// A record's own field set after the customise sheet returned `returned`:
// none when it is the type's own set again.
void applyCustomisedFieldSet(TVXRecord& record, const std::shared_ptr<TVXType>& returned);

} // namespace recordrules
