// tvx-bench-check FILE: loads the benchmark store as the benchmarks do and
// writes one digest per result they time: the caches, the search counts, the
// order of every sort and the bytes of every export kind. scripts/bench keeps
// the first digests of a generated store and compares every later run with
// them, so that a faster client that answers differently does not pass.
#include "BenchStore.h"

#include "exchange/CExportDelegate.h"
#include "exchange/ImportExport.h"
#include "model/BMGroup.h"
#include "model/TVXRecord.h"
#include "model/TVXType.h"
#include "store/loading/RecordSearch.h"
#include "store/schema/ColumnLimits.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QTemporaryDir>

#include <algorithm>
#include <iostream>
#include <map>

namespace {

class Digest {
public:
    Digest() : mHash(QCryptographicHash::Sha256) {}
    Digest& operator<<(const QString& text)
    {
        const QByteArray bytes = text.toUtf8();
        return *this << bytes;
    }
    Digest& operator<<(const QByteArray& bytes)
    {
        const qint64 size = bytes.size();
        mHash.addData(QByteArrayView(reinterpret_cast<const char*>(&size), sizeof size));
        mHash.addData(bytes);
        return *this;
    }
    Digest& operator<<(qint64 number) { return *this << QByteArray::number(number); }
    QString hex() const { return QString::fromLatin1(mHash.result().toHex()); }

private:
    QCryptographicHash mHash;
};

void addType(Digest& d, const TVXType* type, bool withIdentity)
{
    if (!type) {
        d << QStringLiteral("-");
        return;
    }
    if (withIdentity)
        d << type->mTypeUID() << type->mTypeName();
    d << qint64(type->mTypeIconID()) << qint64(type->mTypeMask());
    for (int i = 0; i < kNumberOfFields; ++i)
        d << type->fieldAtIndex(i);
}

QString cacheDigest(const TVXDataBase& db)
{
    Digest d;
    std::map<QString, std::shared_ptr<BMGroup>> groups(db.caches().mGroups().keyValueBegin(), db.caches().mGroups().keyValueEnd());
    for (const auto& [uid, group] : groups) {
        d << uid << group->mGroupName() << qint64(group->mRecordLevelPermissions())
          << qint64(group->mPreferencePermissions()) << group->mUserMembersArray().join(QLatin1Char(','))
          << group->mSubGroupsUID().join(QLatin1Char(','));
    }
    std::map<QString, std::shared_ptr<TVXType>> types(db.caches().mTypes().keyValueBegin(), db.caches().mTypes().keyValueEnd());
    for (const auto& [uid, type] : types) {
        d << uid;
        addType(d, type.get(), true);
    }
    std::map<QString, std::shared_ptr<TVXRecord>> records(db.caches().mRecords().keyValueBegin(), db.caches().mRecords().keyValueEnd());
    for (const auto& [uid, record] : records) {
        d << uid << record->mRecordUID();
        d << (record->mGroup() ? record->mGroup()->mGroupUID() : QStringLiteral("-"));
        d << (record->mType() ? record->mType()->mTypeUID() : QStringLiteral("-"));
        for (int i = 0; i < kNumberOfFields; ++i)
            d << record->valueAtIndex(i);
        d << record->mNotes() << record->mValue10ForDisaply() << record->mAttachmentName()
          << record->mAttachmentPassKey() << record->mAttachmentPath();
        d << qint64(record->mIsCustomized()) << qint64(record->mHasAttachment()) << qint64(record->mViewCounter())
          << qint64(record->mAttachmentLength()) << qint64(record->mAttachmentState());
        // A custom type's identifier is made anew at every load: not compared.
        addType(d, record->mRecordCustomType().get(), false);
    }
    return d.hex();
}

QString listDigest(const TVXStoreCaches::RecordList& list, bool inOrder)
{
    QStringList uids;
    for (const auto& record : list)
        uids << record->mRecordUID();
    if (!inOrder)
        uids.sort();
    Digest d;
    d << uids.join(QLatin1Char(','));
    return QStringLiteral("%1 %2").arg(list.size()).arg(d.hex());
}

// Notes longer than the store's limit (the generator writes some, as rows
// stored before the limit): every export leaves those records out, because
// an import would refuse them, and says so.
int notesOverTheLimit(const TVXDataBase& db)
{
    int count = 0;
    for (const auto& record : db.caches().mRecords())
        if (record->utf8Text(TVXRecord::kNotesSlot).size() > tvxsql::kNoteByteLimit)
            ++count;
    return count;
}

// Whole, but for the records left out above: anything else missing fails.
bool exportedAllButLongNotes(const TVXExportSummary& summary, int records, int longNotes)
{
    return summary.fileInPlace() && summary.attachmentsFailed == 0 && summary.sideFilesFailed == 0
           && summary.notesTooLong == longNotes && summary.recordsExported == records - longNotes
           && (summary.firstError == 0 || (longNotes > 0 && summary.firstError == kExportErrorNoteTooLong));
}

QString fileDigest(const QString& path)
{
    Digest d;
    QStringList files;
    if (QFileInfo(path).isDir()) {
        QDirIterator it(path, QDir::Files, QDirIterator::Subdirectories);
        while (it.hasNext())
            files << it.next();
        files.sort();
    } else {
        files << path;
    }
    for (const QString& file : files) {
        QFile f(file);
        if (!f.open(QIODevice::ReadOnly))
            return QStringLiteral("unreadable");
        d << QDir(path).relativeFilePath(file) << f.readAll();
    }
    return QStringLiteral("%1 files %2").arg(files.size()).arg(d.hex());
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    if (argc < 2) {
        std::cerr << "usage: tvx-bench-check DIGEST-FILE\n";
        return 2;
    }
    QStringList lines;
    try {
        TVXDataBase& db = bench::loadedStore();
        lines << QStringLiteral("caches %1 records %2").arg(db.caches().mRecords().size()).arg(cacheDigest(db));
        const QStringList needles = {bench::kSearchMarker, QStringLiteral("ab"), QStringLiteral("Ä"),
                                     QStringLiteral("feld"), QStringLiteral("zz9")};
        const auto group = db.caches().mGroups().value(QStringLiteral("A000000000000000"));
        const auto type = db.caches().mTypes().value(QStringLiteral("C000000000000000"));
        for (const QString& needle : needles) {
            lines << QStringLiteral("search %1: %2").arg(needle, listDigest(db.caches().itemsOfGroup(nullptr, nullptr, needle), false));
            lines << QStringLiteral("search %1 in A0/C0: %2")
                         .arg(needle, listDigest(db.caches().itemsOfGroup(group.get(), type.get(), needle), false));
            lines << QStringLiteral("count %1: %2").arg(needle).arg(db.caches().itemsCountOfGroup(group.get(), nullptr, needle));
            QStringList typeUIDs;
            for (const auto& t : db.caches().allTypesForGroup(QString(), needle))
                typeUIDs << t->mTypeUID();
            lines << QStringLiteral("types %1: %2").arg(needle, typeUIDs.join(QLatin1Char(',')));
        }
        for (int column = kRecordColumnIcon; column <= kRecordColumnAttachment; ++column) {
            lines << QStringLiteral("sort %1 up: %2")
                         .arg(column)
                         .arg(listDigest(db.caches().itemsOfGroup(nullptr, nullptr, QString(), column, true), true));
            lines << QStringLiteral("sort %1 down, searched: %2")
                         .arg(column)
                         .arg(listDigest(db.caches().itemsOfGroup(nullptr, nullptr, QStringLiteral("ab"), column, false), true));
        }
        const int records = static_cast<int>(db.caches().mRecords().size());
        const int longNotes = notesOverTheLimit(db);
        QTemporaryDir scratch;
        const struct {
            EFileType kind;
            const char* password;
            const char* name;
        } exports[] = {{eFileQVXv3, "", "qvx3"},
                       {eFileQVXv3, "export-pw", "qvx3-encrypted"},
                       {eFileQVXv4, "", "qvx4"},
                       {eFileCSVExport, "", "csv"}};
        for (const auto& e : exports) {
            const QString path = QDir(scratch.path()).filePath(QString::fromLatin1(e.name) + QStringLiteral(".qvx"));
            CExportDelegate provider(true, {}, db.caches(), db.attachments());
            const bool written = RunExport(provider, path.toStdString(), e.kind, e.password);
            const TVXExportSummary summary = provider.exportSummary();
            lines << QStringLiteral("export %1: %2 exported %3, left out for their notes %4, side files %5, %6")
                         .arg(QString::fromLatin1(e.name))
                         .arg(written && exportedAllButLongNotes(summary, records, longNotes) ? QStringLiteral("ok")
                                                                                              : QStringLiteral("FAILED"))
                         .arg(summary.recordsExported)
                         .arg(summary.notesTooLong)
                         .arg(summary.sideFilesWritten)
                         .arg(fileDigest(path));
        }
    } catch (const std::exception& e) {
        std::cerr << "tvx-bench-check: " << e.what() << '\n';
        return 1;
    }
    QFile out(QString::fromLocal8Bit(argv[1]));
    if (!out.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return 1;
    out.write((lines.join(QLatin1Char('\n')) + QLatin1Char('\n')).toUtf8());
    return 0;
}
