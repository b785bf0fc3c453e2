#pragma once
// Item models of the main window's record views, reading the database
// manager's caches and queries (no copy of the records): the types table and
// smart-type table of the column view, its record-name table, the list
// view's fifteen-column table and the tree view's outline of types and records.
#include "store/StoreTypes.h"

#include <QAbstractItemModel>
#include <QAbstractListModel>
#include <QAbstractTableModel>
#include <QColor>
#include <QHash>
#include <QStringList>

#include <functional>
#include <memory>
#include <optional>

class BMGroup;
class QMimeData;
class TVXIconsAccess;
class TVXRecentListsAccess;
class TVXRecord;
class TVXStoreCaches;
class TVXType;

// Column identifiers of the views.
inline const QString kColumnViewTypeIdentifier = QStringLiteral("ColumnType_ID");
inline const QString kSmartTypeIdentifier = QStringLiteral("SmartType_ID");
inline const QString kColumnViewDescriptionIdentifier = QStringLiteral("Description_ID");
inline const QString kTreeViewColumnIdentifier = QStringLiteral("TreeViewColumn_ID");
inline const QString kIconColumnIdentifier = QStringLiteral("0");
inline const QString kTypeColumnIdentifier = QStringLiteral("1");
inline const QString kCategoryColumnIdentifier = QStringLiteral("2");
inline const QString kField1ColumnIdentifier = QStringLiteral("3");
inline const QString kField10ColumnIdentifier = QStringLiteral("12");
inline const QString kNotesColumnIdentifier = QStringLiteral("13");
inline const QString kAttachmentColumnIdentifier = QStringLiteral("14");
inline constexpr int kListColumnCount = 15;

// The list's band colour is the user's row colour blended with white by this much.
inline constexpr double kBlendedColorFraction = 0.65;
QColor blendedBandColor(const QColor& rowColor);

// What every view's rows depend on: kept by the controller, read by the models.
struct BMBrowseState {
    // The parts of the store the models read; all set together, or all null.
    const TVXStoreCaches* caches = nullptr;
    const TVXIconsAccess* icons = nullptr;
    const TVXRecentListsAccess* recentLists = nullptr;
    void setStore(const TVXStoreCaches& storeCaches, const TVXIconsAccess& storeIcons,
                  const TVXRecentListsAccess& storeRecentLists)
    {
        caches = &storeCaches;
        icons = &storeIcons;
        recentLists = &storeRecentLists;
    }
    std::shared_ptr<BMGroup> group; // the group pop-up's group; null: none
    QString groupFilterUID;         // the group whose types the column and tree views list
    bool noGroups = true;           // the group pop-up reads "No Groups"
    QString searchText;
    bool shouldMask = false;
    bool active = false; // loaded and not locked: otherwise every view is empty
};

// The record drag: one record identifier under the record pasteboard type.
QMimeData* recordMimeData(const QString& recordUID);
QString recordUIDFromMimeData(const QMimeData* data);

// Called when a record is dropped onto a type; answers whether the drop succeeded.
using BMRecordDropHandler = std::function<bool(const QString& recordUID, const std::shared_ptr<TVXType>& type)>;

// A value as the list shows it: "******" for a non-empty masked value, "" for an empty one.
QString maskedValue(const QString& value, bool masked);
// Value 10 as the list shows it: the date written "%B %d,%Y"; the text itself
// when it is not a date.
QString displayDateForValue10(const QString& value10);

// A one-column table of the column view: the header carries the column's identifier
// (kColumnIdentifierRole) and title; rows carry the given flags and take part in the
// record drag.
class BMColumnListModel : public QAbstractListModel {
    Q_OBJECT
public:
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    QStringList mimeTypes() const override;

protected:
    BMColumnListModel(QString identifier, Qt::ItemFlags rowFlags, QObject* parent);
    // The header's title, translated where the subclass is.
    virtual QString columnTitle() const = 0;

private:
    QString mIdentifier;
    Qt::ItemFlags mRowFlags;
};

// The column view's types: those of the records of the filter group.
class BMTypesTableModel : public BMColumnListModel {
    Q_OBJECT
public:
    explicit BMTypesTableModel(std::shared_ptr<const BMBrowseState> state, QObject* parent = nullptr);
    void reload();
    const TVXTypeList& types() const { return mTypes; }
    std::shared_ptr<TVXType> typeAt(int row) const { return mTypes.value(row); }
    void setDropHandler(BMRecordDropHandler handler) { mDropHandler = std::move(handler); }

    int rowCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    Qt::DropActions supportedDropActions() const override { return Qt::MoveAction | Qt::CopyAction; }
    // A drop between rows is taken as a drop onto the row below.
    int dropTargetRow(int row, const QModelIndex& parent) const;
    bool canDropMimeData(const QMimeData* data, Qt::DropAction action, int row, int column,
                         const QModelIndex& parent) const override;
    bool dropMimeData(const QMimeData* data, Qt::DropAction action, int row, int column,
                      const QModelIndex& parent) override;

private:
    QString columnTitle() const override;
    // Each type's record count in the group under the search text, by type
    // identifier: made in one pass when first asked after a reload.
    const QHash<QString, int>& counts() const;

    std::shared_ptr<const BMBrowseState> mState;
    TVXTypeList mTypes;
    mutable std::optional<QHash<QString, int>> mCounts;
    BMRecordDropHandler mDropHandler;
};

// The three smart types: "Most Viewed", "Recently Modified", "Recently Viewed".
class BMSmartTypesModel : public QAbstractListModel {
    Q_OBJECT
public:
    static constexpr int kSmartTypeCount = 3;
    explicit BMSmartTypesModel(std::shared_ptr<const BMBrowseState> state, QObject* parent = nullptr);
    void reload();
    static QString title(int row);
    QStringList recordUIDs(int row) const;
    // The smart type's records in the selected group under the search text.
    TVXRecordList records(int row) const;

    int rowCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

private:
    std::shared_ptr<const BMBrowseState> mState;
};

// The column view's record names (value 1), over a list the controller builds.
class BMRecordNamesModel : public BMColumnListModel {
    Q_OBJECT
public:
    explicit BMRecordNamesModel(QObject* parent = nullptr);
    void setRecords(const TVXRecordList& records);
    const TVXRecordList& records() const { return mRecords; }
    std::shared_ptr<TVXRecord> recordAt(int row) const { return mRecords.value(row); }
    void setActive(bool active) { mActive = active; }

    int rowCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    Qt::DropActions supportedDragActions() const override { return Qt::MoveAction | Qt::CopyAction; }
    QMimeData* mimeData(const QModelIndexList& indexes) const override;

private:
    QString columnTitle() const override;
    TVXRecordList mRecords;
    bool mActive = true;
};

// The list view: every record of the selected group, fifteen columns.
class BMRecordListModel : public QAbstractTableModel {
    Q_OBJECT
public:
    explicit BMRecordListModel(std::shared_ptr<const BMBrowseState> state, QObject* parent = nullptr);
    void setRecords(const TVXRecordList& records);
    const TVXRecordList& records() const { return mRecords; }
    std::shared_ptr<TVXRecord> recordAt(int row) const { return mRecords.value(row); }

    // The sort the header shows; a change asks the controller to rebuild the list.
    int sortColumn() const { return mSortColumn; }
    Qt::SortOrder sortOrder() const { return mSortOrder; }
    void setSortIndicator(int column, Qt::SortOrder order);
    void sort(int column, Qt::SortOrder order) override;

    // The band colour of even rows; invalid: no bands.
    void setBandColor(const QColor& color);
    const QColor& bandColor() const { return mBandColor; }
    // Header titles of the value columns ("Field 1" .. by default).
    void setHeaderTitle(int column, const QString& title);

    // The value a printed list shows: never masked.
    QVariant printValue(int row, int column) const;
    // What a cell shows for a record (the screen's value).
    QVariant displayValue(const TVXRecord& record, int column) const;

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

signals:
    void sortDescriptorsDidChange();

private:
    QVariant imageForColumn(const TVXRecord& record, int column) const;

    std::shared_ptr<const BMBrowseState> mState;
    TVXRecordList mRecords;
    int mSortColumn = -1;
    Qt::SortOrder mSortOrder = Qt::AscendingOrder;
    QColor mBandColor;
    QHash<int, QString> mHeaderTitles;
};

// The tree view: the filter group's types, each with its records.
class BMOutlineModel : public QAbstractItemModel {
    Q_OBJECT
public:
    explicit BMOutlineModel(std::shared_ptr<const BMBrowseState> state, QObject* parent = nullptr);
    void reload();
    // 0 for a type, 1 for a record, -1 for none.
    static int levelOf(const QModelIndex& index);
    std::shared_ptr<TVXType> typeAt(const QModelIndex& index) const;
    std::shared_ptr<TVXRecord> recordAt(const QModelIndex& index) const;
    const TVXTypeList& types() const { return mTypes; }
    TVXRecordList recordsOfTypeRow(int row) const { return mRecords.value(row); }
    QModelIndex indexOfRecord(const QString& recordUID) const;
    void setDropHandler(BMRecordDropHandler handler) { mDropHandler = std::move(handler); }

    QModelIndex index(int row, int column, const QModelIndex& parent = {}) const override;
    QModelIndex parent(const QModelIndex& child) const override;
    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    bool hasChildren(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    QStringList mimeTypes() const override;
    Qt::DropActions supportedDropActions() const override { return Qt::MoveAction | Qt::CopyAction; }
    Qt::DropActions supportedDragActions() const override { return Qt::MoveAction | Qt::CopyAction; }
    QMimeData* mimeData(const QModelIndexList& indexes) const override;
    // Only onto a type itself, never between rows or onto a record.
    bool canDropMimeData(const QMimeData* data, Qt::DropAction action, int row, int column,
                         const QModelIndex& parent) const override;
    bool dropMimeData(const QMimeData* data, Qt::DropAction action, int row, int column,
                      const QModelIndex& parent) override;

private:
    std::shared_ptr<const BMBrowseState> mState;
    TVXTypeList mTypes;
    QList<TVXRecordList> mRecords; // per type row
    BMRecordDropHandler mDropHandler;
};
