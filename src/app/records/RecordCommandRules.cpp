#include "app/records/RecordCommandRules.h"

#include <QCoreApplication>
#include <QLocale>

#include "model/BMGroup.h"
#include "model/TVXRecord.h"
#include "model/TVXType.h"
#include "model/TVXUser.h"
#include "platform/ui/AlertPanel.h"
#include "store/accounts/PermissionRules.h"
#include "store/writers/RecordWriter.h"
#include "views/StoreFailureAlert.h"
#include "windows/RecordDetailsLogic.h"

namespace recordrules {
namespace {

QString tr(const char* text)
{
    return QCoreApplication::translate("BMController", text);
}

} // namespace

QString insufficientPermissionsMessage() { return tr(" You don't have sufficient access permissions."); }
QString stillWritingMessage()
{
    return tr("The last change is still waiting for the server's answer. Try again once it has answered.");
}
uint16_t recordPermissionWord(const TVXUser* user, const BMGroup* group)
{
    return storerules::recordPermissionsInGroup(group, user ? user->mRecordPermissionsBit() : 0);
}

bool checkForRecordPermissionFor(const TVXUser* user, uint16_t mask, const BMGroup* group)
{
    if ((recordPermissionWord(user, group) & mask) != 0)
        return true;
    BMRunAlertPanel(tr("Tolvanex Enterprise Alert!"), insufficientPermissionsMessage(), tr("OK"));
    return false;
}

bool checkForDataPermissionFor(const TVXUser* user, uint16_t mask)
{
    if (user && (user->mDataPermissionsBit() & mask) != 0)
        return true;
    BMRunAlertPanel(tr("Tolvanex Enterprise Alert!"), insufficientPermissionsMessage(), QString());
    return false;
}

bool itemsAreEqual(const TVXRecord& first, const TVXRecord& second)
{
    const auto& a = first.mRecordCustomType();
    const auto& b = second.mRecordCustomType();
    if (!a && !b)
        return true;
    if (!a || !b)
        return false;
    return a->isEqualToType(*b);
}

QList<std::shared_ptr<TVXRecord>> deDupeIndexes(const QList<std::shared_ptr<TVXRecord>>& records,
                                                QStringList* names)
{
    QList<std::shared_ptr<TVXRecord>> duplicates;
    QList<std::shared_ptr<TVXRecord>> working = records;
    working.removeAll(nullptr);
    while (!working.isEmpty()) {
        const auto first = working.first();
        QList<qsizetype> equal;
        for (qsizetype i = working.size() - 1; i >= 1; --i) {
            if (first->isEqualToRecord(*working.at(i))) {
                duplicates << working.at(i);
                if (names)
                    *names << working.at(i)->mValue1();
                equal << i;
            }
        }
        // Indexes run from the last down: removing them in that order keeps the rest valid.
        for (qsizetype i : equal)
            working.removeAt(i);
        working.removeFirst();
    }
    return duplicates;
}

QString duplicatesFoundText(qsizetype count)
{
    return tr("%1 duplicate item(s) found. Do you want to delete these item(s)?").arg(count);
}

QString modificationDateForCopy(const QString& value10)
{
    const QDateTime when = TVXRecord::dateFromModificationText(value10);
    if (!when.isValid())
        return value10;
    return QLocale::c().toString(when.date(), QStringLiteral("MMMM dd,yyyy"));
}

std::optional<QString> copyFieldText(const TVXRecord& record, int tag)
{
    if (tag == kCopyGroupNameTag)
        return record.mGroup() ? record.mGroup()->mGroupName() : QString();
    if (tag >= kCopyFirstValueTag && tag < kCopyFirstValueTag + 9)
        return record.valueAtIndex(tag - kCopyFirstValueTag);
    if (tag == kCopyModificationDateTag)
        return modificationDateForCopy(record.mValue10());
    if (tag == kCopyNotesTag)
        return record.mNotes();
    return std::nullopt;
}

QString duplicateFirstValue(const QString& value)
{
    return value + tr(" Copy");
}

TVXResult deleteRecordsFromLast(TVXRecordWriter& writer, const QList<std::shared_ptr<TVXRecord>>& records)
{
    TVXResult code = kTVXDone;
    for (qsizetype i = records.size() - 1; i >= 0; --i) {
        if (!records.at(i))
            continue;
        code = writer.deleteRecord(records.at(i));
        if (code != kTVXDone)
            break;
    }
    return code;
}

QString refusalReason(TVXResult code)
{
    switch (code) {
    case kTVXStoreBusy:
        return storealert::messageStoreBusy();
    case kTVXPermissionRefused:
        return storealert::messagePermissionRefused();
    case kTVXReloadFirst:
        return storealert::messageReloadFirst();
    default:
        return QCoreApplication::translate("BMRecordCommands", "The server did not take the change.");
    }
}

QString deletionResultsText(const DeletionResults& results)
{
    const auto tr = [](const char* text) { return QCoreApplication::translate("BMRecordCommands", text); };
    const qsizetype total = results.deleted.size() + (results.failed.isNull() ? 0 : 1) + results.notTried.size();
    QStringList lines;
    lines << tr("%1 of %2 records deleted.").arg(results.deleted.size()).arg(total);
    if (!results.failed.isNull())
        lines << tr("Not deleted: \"%1\". %2").arg(results.failed, refusalReason(results.failure));
    if (!results.notTried.isEmpty())
        lines << tr("Not tried: %1.").arg(results.notTried.join(QStringLiteral(", ")));
    return lines.join(QLatin1Char('\n'));
}

void applyCustomisedFieldSet(TVXRecord& record, const std::shared_ptr<TVXType>& returned)
{
    if (!returned)
        return;
    // The type's name is no part of a record's own field set.
    const bool sameAsType = record.mType() && !returned->isNotEqualToCustomType(*TVXType::createCopyforType(*record.mType()));
    if (sameAsType) {
        record.setMRecordCustomType(nullptr);
        record.setMIsCustomized(false);
    } else {
        record.setMRecordCustomType(returned);
        record.setMIsCustomized(true);
    }
}

} // namespace recordrules
