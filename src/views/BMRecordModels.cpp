#include "views/BMRecordModels.h"

#include "model/BMGroup.h"
#include "model/TVXRecord.h"
#include "model/TVXType.h"
#include "platform/ui/Pasteboard.h"
#include "store/personal/IconStore.h"
#include "store/personal/RecentListsStore.h"
#include "store/loading/RecordSearch.h"
#include "store/loading/StoreCaches.h"
#include "views/BMImages.h"
#include "views/BMViewRoles.h"

#include <QCoreApplication>
#include <QLocale>
#include <QMimeData>

namespace {

// The one column of the type, smart-type, record-name and outline views:
// its identifier (for column settings) and its title.
QVariant singleColumnHeader(int section, Qt::Orientation orientation, int role, const QString& identifier,
                            const QString& title)
{
    if (orientation != Qt::Horizontal || section != 0)
        return {};
    if (role == kColumnIdentifierRole)
        return identifier;
    if (role == Qt::DisplayRole)
        return title;
    return {};
}

// A type's row takes a dropped record; a record's row can be dragged.
constexpr Qt::ItemFlags kTypeRowFlags = Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsDropEnabled;
constexpr Qt::ItemFlags kRecordRowFlags = Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsDragEnabled;

bool isActive(const BMBrowseState& state)
{
    return state.active && state.caches;
}

QImage iconOf(const TVXIconsAccess& icons, const TVXType* type)
{
    return type ? icons.getImageFromIconIndex(type->mTypeIconID()) : QImage();
}

// A type's row in the column and tree views: its name, icon and record count (asked
// for only when the role wants it: counting may read every record).
template <class Count>
QVariant typeRowData(const TVXIconsAccess& icons, const TVXType& type, int role, Count count)
{
    switch (role) {
    case Qt::DisplayRole:
    case kTypeSelectRole:
        return type.mTypeName();
    case Qt::DecorationRole:
        return iconOf(icons, &type);
    case kCountRole:
        return int(count());
    default:
        return {};
    }
}

} // namespace

QColor blendedBandColor(const QColor& rowColor)
{
    if (!rowColor.isValid())
        return {};
    const auto mix = [](double from, double to) { return from + (to - from) * kBlendedColorFraction; };
    return QColor::fromRgbF(float(mix(rowColor.redF(), 1.0)), float(mix(rowColor.greenF(), 1.0)),
                            float(mix(rowColor.blueF(), 1.0)));
}

QMimeData* recordMimeData(const QString& recordUID)
{
    auto* data = new QMimeData;
    data->setData(platform::recordPboardMimeType(), recordUID.toUtf8());
    return data;
}

QString recordUIDFromMimeData(const QMimeData* data)
{
    if (!data || !data->hasFormat(platform::recordPboardMimeType()))
        return {};
    return QString::fromUtf8(data->data(platform::recordPboardMimeType()));
}

QString maskedValue(const QString& value, bool masked)
{
    if (!masked)
        return value;
    return value.isEmpty() ? QString() : QStringLiteral("******");
}

QString displayDateForValue10(const QString& value10)
{
    const QDateTime when = TVXRecord::dateFromModificationText(value10);
    if (!when.isValid())
        return value10;
    return QLocale::c().toString(when.date(), QStringLiteral("MMMM dd,yyyy"));
}

// ---- one-column tables ---------------------------------------------------------

BMColumnListModel::BMColumnListModel(QString identifier, Qt::ItemFlags rowFlags, QObject* parent)
    : QAbstractListModel(parent), mIdentifier(std::move(identifier)), mRowFlags(rowFlags)
{
}

QVariant BMColumnListModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    return singleColumnHeader(section, orientation, role, mIdentifier, columnTitle());
}

Qt::ItemFlags BMColumnListModel::flags(const QModelIndex& index) const
{
    return index.isValid() ? mRowFlags : Qt::NoItemFlags;
}

QStringList BMColumnListModel::mimeTypes() const
{
    return {platform::recordPboardMimeType()};
}

// ---- types table -------------------------------------------------------------

BMTypesTableModel::BMTypesTableModel(std::shared_ptr<const BMBrowseState> state, QObject* parent)
    : BMColumnListModel(kColumnViewTypeIdentifier, kTypeRowFlags, parent), mState(std::move(state))
{
}

void BMTypesTableModel::reload()
{
    beginResetModel();
    mTypes.clear();
    mCounts.reset();
    if (isActive(*mState) && !mState->noGroups)
        mTypes = mState->caches->allTypesForGroup(mState->groupFilterUID, mState->searchText);
    // Counted now, in the refresh's batch, which has just selected the same records.
    if (!mTypes.isEmpty())
        counts();
    endResetModel();
}

const QHash<QString, int>& BMTypesTableModel::counts() const
{
    if (!mCounts) {
        mCounts.emplace();
        const auto byType = mState->caches->recordCountsByType(mState->group.get(), mState->searchText);
        for (auto it = byType.cbegin(); it != byType.cend(); ++it)
            mCounts->insert(it.key(), int(it.value()));
    }
    return *mCounts;
}

int BMTypesTableModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : int(mTypes.size());
}

QVariant BMTypesTableModel::data(const QModelIndex& index, int role) const
{
    const auto type = typeAt(index.row());
    if (!type || index.column() != 0)
        return {};
    return typeRowData(*mState->icons, *type, role, [&] { return counts().value(type->mTypeUID()); });
}

QString BMTypesTableModel::columnTitle() const
{
    return tr("Types");
}

int BMTypesTableModel::dropTargetRow(int row, const QModelIndex& parent) const
{
    const int target = parent.isValid() ? parent.row() : row;
    return target >= 0 && target < mTypes.size() ? target : -1;
}

bool BMTypesTableModel::canDropMimeData(const QMimeData* data, Qt::DropAction, int row, int,
                                        const QModelIndex& parent) const
{
    return !recordUIDFromMimeData(data).isEmpty() && dropTargetRow(row, parent) >= 0;
}

bool BMTypesTableModel::dropMimeData(const QMimeData* data, Qt::DropAction action, int row, int column,
                                     const QModelIndex& parent)
{
    if (!canDropMimeData(data, action, row, column, parent) || !mDropHandler)
        return false;
    return mDropHandler(recordUIDFromMimeData(data), mTypes.value(dropTargetRow(row, parent)));
}

// ---- smart types -------------------------------------------------------------

BMSmartTypesModel::BMSmartTypesModel(std::shared_ptr<const BMBrowseState> state, QObject* parent)
    : QAbstractListModel(parent), mState(std::move(state))
{
}

void BMSmartTypesModel::reload()
{
    beginResetModel();
    endResetModel();
}

QString BMSmartTypesModel::title(int row)
{
    switch (row) {
    case 0:
        return tr("Most Viewed");
    case 1:
        return tr("Recently Modified");
    case 2:
        return tr("Recently Viewed");
    default:
        return {};
    }
}

QStringList BMSmartTypesModel::recordUIDs(int row) const
{
    const TVXRecentListsAccess* lists = mState->recentLists;
    if (!lists)
        return {};
    switch (row) {
    case 0:
        return lists->mostViewedRecordsUIDs();
    case 1:
        return lists->recentlyModifiedTypes();
    case 2:
        return lists->recentlyViewedTypes();
    default:
        return {};
    }
}

TVXRecordList BMSmartTypesModel::records(int row) const
{
    if (!isActive(*mState) || row < 0 || row >= kSmartTypeCount)
        return {};
    return mState->caches->itemsOfGroup(mState->group.get(), mState->searchText, recordUIDs(row));
}

int BMSmartTypesModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() || !isActive(*mState) ? 0 : kSmartTypeCount;
}

QVariant BMSmartTypesModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.column() != 0 || index.row() >= kSmartTypeCount)
        return {};
    switch (role) {
    case Qt::DisplayRole:
    case kTypeSelectRole:
        return title(index.row());
    case Qt::DecorationRole:
        return bmimages::image(QStringLiteral("24_folder"), 20);
    case kCountRole:
        return int(records(index.row()).size());
    default:
        return {};
    }
}

QVariant BMSmartTypesModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    return singleColumnHeader(section, orientation, role, kSmartTypeIdentifier, tr("Smart Types"));
}

// ---- record names ------------------------------------------------------------

BMRecordNamesModel::BMRecordNamesModel(QObject* parent)
    : BMColumnListModel(kColumnViewDescriptionIdentifier, kRecordRowFlags, parent)
{
}

void BMRecordNamesModel::setRecords(const TVXRecordList& records)
{
    beginResetModel();
    mRecords = records;
    endResetModel();
}

int BMRecordNamesModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() || !mActive ? 0 : int(mRecords.size());
}

QVariant BMRecordNamesModel::data(const QModelIndex& index, int role) const
{
    const auto record = recordAt(index.row());
    if (!record || index.column() != 0)
        return {};
    if (role == Qt::DisplayRole || role == kTypeSelectRole)
        return record->mValue1();
    return {};
}

QString BMRecordNamesModel::columnTitle() const
{
    return tr("Records");
}

QMimeData* BMRecordNamesModel::mimeData(const QModelIndexList& indexes) const
{
    if (indexes.isEmpty())
        return nullptr;
    const auto record = recordAt(indexes.first().row());
    return record ? recordMimeData(record->mRecordUID()) : nullptr;
}

// ---- list ----------------------------------------------------------------------

BMRecordListModel::BMRecordListModel(std::shared_ptr<const BMBrowseState> state, QObject* parent)
    : QAbstractTableModel(parent), mState(std::move(state))
{
}

void BMRecordListModel::setRecords(const TVXRecordList& records)
{
    beginResetModel();
    mRecords = records;
    endResetModel();
}

void BMRecordListModel::setSortIndicator(int column, Qt::SortOrder order)
{
    mSortColumn = column;
    mSortOrder = order;
}

void BMRecordListModel::sort(int column, Qt::SortOrder order)
{
    if (column == mSortColumn && order == mSortOrder)
        return;
    setSortIndicator(column, order);
    emit sortDescriptorsDidChange();
}

void BMRecordListModel::setBandColor(const QColor& color)
{
    mBandColor = color;
    if (!mRecords.isEmpty())
        emit dataChanged(index(0, 0), index(int(mRecords.size()) - 1, kListColumnCount - 1), {Qt::BackgroundRole});
}

void BMRecordListModel::setHeaderTitle(int column, const QString& title)
{
    mHeaderTitles.insert(column, title);
    emit headerDataChanged(Qt::Horizontal, column, column);
}

int BMRecordListModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() || !isActive(*mState) ? 0 : int(mRecords.size());
}

int BMRecordListModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : kListColumnCount;
}

QVariant BMRecordListModel::imageForColumn(const TVXRecord& record, int column) const
{
    switch (column) {
    case 0:
        return iconOf(*mState->icons, effectiveType(record));
    case 13:
        return record.mNotes().isEmpty() ? QVariant() : QVariant(bmimages::image(QStringLiteral("16x16_Paste")));
    case 14:
        return record.mHasAttachment() ? QVariant(bmimages::image(QStringLiteral("PaperClip"))) : QVariant();
    default:
        return {};
    }
}

QVariant BMRecordListModel::displayValue(const TVXRecord& record, int column) const
{
    const TVXType* type = effectiveType(record);
    switch (column) {
    case 1:
        return record.mType() ? record.mType()->mTypeName() : QString();
    case 2: {
        const auto group = record.mGroup() ? mState->caches->mGroups().value(record.mGroup()->mGroupUID())
                                           : std::shared_ptr<BMGroup>();
        return group ? group->mGroupName() : (record.mGroup() ? record.mGroup()->mGroupName() : QString());
    }
    case 12: {
        const bool masked = mState->shouldMask && type && (type->mTypeMask() & 512);
        if (masked)
            return maskedValue(record.mValue10(), true);
        return displayDateForValue10(record.mValue10());
    }
    default:
        break;
    }
    if (column >= 3 && column <= 11) {
        const int n = column - 2;
        const bool masked = mState->shouldMask && type && (type->mTypeMask() & (1 << (n - 1)));
        return maskedValue(record.valueAtIndex(n - 1), masked);
    }
    return {};
}

QVariant BMRecordListModel::data(const QModelIndex& index, int role) const
{
    const auto record = recordAt(index.row());
    if (!record || !isActive(*mState))
        return {};
    const int column = index.column();
    switch (role) {
    case Qt::DisplayRole:
        return displayValue(*record, column);
    case Qt::DecorationRole:
        return imageForColumn(*record, column);
    case kTypeSelectRole:
        return column == 0 || column >= 13 ? QVariant(record->mValue1()) : displayValue(*record, column);
    case Qt::BackgroundRole:
        if (mBandColor.isValid())
            return index.row() % 2 == 0 ? mBandColor : QColor(Qt::white);
        return {};
    case Qt::ToolTipRole:
        if (column == 14 && record->mHasAttachment())
            return record->mAttachmentName();
        return {};
    default:
        return {};
    }
}

QVariant BMRecordListModel::printValue(int row, int column) const
{
    const auto record = recordAt(row);
    if (!record)
        return {};
    switch (column) {
    case 0:
        return iconOf(*mState->icons, effectiveType(*record));
    case 1:
    case 2:
        return displayValue(*record, column);
    case 12:
        // The record's own modification date, as the screen shows it.
        return displayDateForValue10(record->mValue10());
    case 13:
        return record->mNotes();
    default:
        break;
    }
    if (column >= 3 && column <= 11)
        return record->valueAtIndex(column - 3);
    return {};
}

QVariant BMRecordListModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || section < 0 || section >= kListColumnCount)
        return {};
    switch (role) {
    case kColumnIdentifierRole:
        return QString::number(section);
    case Qt::DisplayRole:
        if (mHeaderTitles.contains(section))
            return mHeaderTitles.value(section);
        if (section == 1)
            return tr("Type");
        if (section == 2)
            return tr("Group");
        if (section >= 3 && section <= 12)
            return QString::fromLatin1(kDefaultFieldNames[size_t(section - 3)]);
        if (section == 13)
            return tr("Notes");
        return {};
    case Qt::DecorationRole:
        if (section == 0)
            return bmimages::icon(QStringLiteral("16x16_Encrypt"));
        if (section == 14)
            return bmimages::icon(QStringLiteral("PaperClip"));
        return {};
    case Qt::ToolTipRole:
        if (section == 0)
            return tr("Icon");
        if (section == 14)
            return tr("Attachment");
        return {};
    default:
        return {};
    }
}

// ---- outline -------------------------------------------------------------------

BMOutlineModel::BMOutlineModel(std::shared_ptr<const BMBrowseState> state, QObject* parent)
    : QAbstractItemModel(parent), mState(std::move(state))
{
}

void BMOutlineModel::reload()
{
    beginResetModel();
    mTypes.clear();
    mRecords.clear();
    if (isActive(*mState) && !mState->noGroups) {
        const TVXStoreCaches& db = *mState->caches;
        mTypes = db.allTypesForGroup(mState->groupFilterUID, mState->searchText);
        // One sorted query shared out by type rather than one query per type:
        // the order is complete, so each type's records keep the order their
        // own query gives.
        QHash<QString, QList<int>> rowsOfType;
        for (int row = 0; row < mTypes.size(); ++row)
            rowsOfType[mTypes.at(row)->mTypeUID()].append(row);
        mRecords.resize(mTypes.size());
        for (const auto& record : db.itemsOfGroup(mState->group.get(), nullptr, mState->searchText, 3, true))
            if (record->mType())
                for (int row : rowsOfType.value(record->mType()->mTypeUID()))
                    mRecords[row].append(record);
    }
    endResetModel();
}

int BMOutlineModel::levelOf(const QModelIndex& index)
{
    if (!index.isValid())
        return -1;
    return index.internalId() == 0 ? 0 : 1;
}

std::shared_ptr<TVXType> BMOutlineModel::typeAt(const QModelIndex& index) const
{
    return levelOf(index) == 0 ? mTypes.value(index.row()) : nullptr;
}

std::shared_ptr<TVXRecord> BMOutlineModel::recordAt(const QModelIndex& index) const
{
    if (levelOf(index) != 1)
        return nullptr;
    return mRecords.value(int(index.internalId() - 1)).value(index.row());
}

QModelIndex BMOutlineModel::indexOfRecord(const QString& recordUID) const
{
    for (int t = 0; t < mRecords.size(); ++t)
        for (int r = 0; r < mRecords.at(t).size(); ++r)
            if (mRecords.at(t).at(r)->mRecordUID() == recordUID)
                return createIndex(r, 0, quintptr(t + 1));
    return {};
}

QModelIndex BMOutlineModel::index(int row, int column, const QModelIndex& parent) const
{
    if (column != 0 || row < 0)
        return {};
    if (!parent.isValid())
        return row < mTypes.size() ? createIndex(row, 0, quintptr(0)) : QModelIndex();
    if (levelOf(parent) == 0 && row < mRecords.value(parent.row()).size())
        return createIndex(row, 0, quintptr(parent.row() + 1));
    return {};
}

QModelIndex BMOutlineModel::parent(const QModelIndex& child) const
{
    if (levelOf(child) != 1)
        return {};
    return createIndex(int(child.internalId() - 1), 0, quintptr(0));
}

int BMOutlineModel::rowCount(const QModelIndex& parent) const
{
    if (!parent.isValid())
        return int(mTypes.size());
    if (levelOf(parent) == 0)
        return int(mRecords.value(parent.row()).size());
    return 0;
}

int BMOutlineModel::columnCount(const QModelIndex&) const
{
    return 1;
}

bool BMOutlineModel::hasChildren(const QModelIndex& parent) const
{
    return !parent.isValid() ? !mTypes.isEmpty() : levelOf(parent) == 0;
}

QVariant BMOutlineModel::data(const QModelIndex& index, int role) const
{
    if (const auto type = typeAt(index))
        return typeRowData(*mState->icons, *type, role, [&] { return mRecords.value(index.row()).size(); });
    if (const auto record = recordAt(index)) {
        switch (role) {
        case Qt::DisplayRole:
        case kTypeSelectRole:
            return record->mValue1();
        case Qt::DecorationRole:
            return iconOf(*mState->icons, effectiveType(*record));
        case kCountRole:
            return 0;
        default:
            return {};
        }
    }
    return {};
}

QVariant BMOutlineModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    return singleColumnHeader(section, orientation, role, kTreeViewColumnIdentifier, tr("Types and Records"));
}

Qt::ItemFlags BMOutlineModel::flags(const QModelIndex& index) const
{
    switch (levelOf(index)) {
    case 0:
        return kTypeRowFlags;
    case 1:
        return kRecordRowFlags;
    default:
        return Qt::NoItemFlags;
    }
}

QStringList BMOutlineModel::mimeTypes() const
{
    return {platform::recordPboardMimeType()};
}

QMimeData* BMOutlineModel::mimeData(const QModelIndexList& indexes) const
{
    if (indexes.isEmpty())
        return nullptr;
    const auto record = recordAt(indexes.first());
    return record ? recordMimeData(record->mRecordUID()) : nullptr;
}

bool BMOutlineModel::canDropMimeData(const QMimeData* data, Qt::DropAction, int row, int,
                                     const QModelIndex& parent) const
{
    return !recordUIDFromMimeData(data).isEmpty() && levelOf(parent) == 0 && row == -1;
}

bool BMOutlineModel::dropMimeData(const QMimeData* data, Qt::DropAction action, int row, int column,
                                  const QModelIndex& parent)
{
    if (!canDropMimeData(data, action, row, column, parent) || !mDropHandler)
        return false;
    return mDropHandler(recordUIDFromMimeData(data), typeAt(parent));
}
