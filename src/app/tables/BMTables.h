#pragma once
// The record tables and the outline, the view switch, the group and type selection, the search and the detail pane's record.

#include "app/AppState.h"
#include "store/StoreTypes.h"

#include <QImage>
#include <QList>
#include <QObject>
#include <QSet>
#include <QPoint>
#include <QString>
#include <QVariant>
#include <functional>
#include <memory>

class TVXRecord;
class BMGroup;
class BMOutlineModel;
class BMRecordListModel;
class BMRecordNamesModel;
class BMSmartTypesModel;
class BMTableView;
class BMTypesTableModel;
class QAbstractItemView;
class QComboBox;
class QMenu;
class TVXType;
struct BMBrowseState;

class BMController;
struct BMAppState;
class BMMainWindow;
class BMMainWindowSetup;
class BMOptionsApplier;
class BMPopUps;
class BMRecordCommands;
class BMStartup;

class BMTables : public QObject {
    Q_OBJECT
public:
    explicit BMTables(BMController& app);

    // The view switch's and the View menu's view: 0 column, 1 list, 2 tree.
    void changeView(int view);
    int currentView() const;
    // The group pop-up's and the type pop-up's actions.
    void changeCategory(QObject* sender = nullptr);
    void changeType();
    // Shows (on) or hides (off) the detail pane; the View menu's item flips it.
    void toggleInfoView(bool on);
    void toggleInfoViewFromMenu();
    bool isDetailPaneShown() const;
    // Fills the detail pane with the record, or empties it for null.
    void updateDetailInfoViewWithRecord(const std::shared_ptr<TVXRecord>& record);
    // The search field's action: the tables follow the text.
    void performSearch();
    QString searchString() const;
    QComboBox* mCategoriesPopup() const;
    QComboBox* mTypesPopup() const;
    BMTableView* mListViewTypesTable() const;
    int getSelectedTypeIndex() const;
    int selectedTypeFromPopup() const { return getSelectedTypeIndex(); }
    QString getSelectedTypeUID() const;
public Q_SLOTS:
    // Ctrl+F in the main window.
    void focusSearchField();
Q_SIGNALS:
    // For the detail pane: what to show (record null: empty it).
    void detailInfoRecordChanged(const std::shared_ptr<TVXRecord>& record, const QString& headerTitle,
                                 const QImage& headerImage);
    // For the detail pane: the window's mask state changed.
    void shouldMaskChanged(bool mask);
public:
    // Loaded and not locked: otherwise every table is empty.
    void setMShouldCreateDatabase(bool loaded);
    void setMShouldLockInfoDisplay(bool locked);
    std::shared_ptr<BMGroup> selectedGroup() const;
    std::shared_ptr<TVXType> selectedType() const;
    std::shared_ptr<TVXRecord> itemPropertiesForTableViewSelectedRow() const;
    std::shared_ptr<TVXType> typeUIDForTableViewSelectedRow() const;
    std::shared_ptr<TVXRecord> selectedSmartRecord() const;
    QList<std::shared_ptr<TVXRecord>> sortedItemsForListView();
    QList<std::shared_ptr<TVXRecord>> itemsForSelectedCategoryAndType(bool recreate);
    QList<std::shared_ptr<TVXRecord>> itemsForDiscriptionTable(bool recreate);
    QList<std::shared_ptr<TVXRecord>> itemsForOutlineViewType(const std::shared_ptr<TVXType>& type, bool recreate);
    // Reloads the current view's tables, the group pop-up's counts and the
    // detail pane; what the store announced until then is shown with it.
    void updateTables();
    // Selects the record in the view shown when that view lists it (a view switch keeps the record).
    void showRecordInCurrentView(const QString& recordUID);
    // While held, refreshes asked for are made once, when the hold ends:
    // the launch's steps each ask for one over the same records.
    void holdTableRefreshes();
    void releaseTableRefreshes();
    // In the column view with no type chosen, chooses the current type row (or the first).
    void chooseTypeInColumnView();
    void awaitSearchEntries();
    // Puts back a selection (by record or type identifier) after a reload; the
    // first row chosen becomes current. false when no row was chosen.
    static bool reselectRows(QAbstractItemView* view, const QSet<QString>& uids,
                             const std::function<QString(int)>& uidAtRow, int rows);
    // A refresh with a search text waits for the records' search entries,
    // prepared on the workers after a load; it follows once they are.
    bool isRefreshAwaitingSearchEntries() const { return mRefreshAwaitsSearchEntries; }
    void pollSearchEntries();
    // Shows what the store announced (records, groups, types) now: the pop-ups
    // and menus that list what changed, then the tables. Nothing announced, nothing done.
    void followStoreChanges();
    // Selection changes of the tables and the outline.
    void tableViewSelectionDidChange(QAbstractItemView* table);
    void outlineViewSelectionDidChange();
    // Re-typing a record by dropping it onto a type.
    bool tableViewAcceptDrop(const QString& recordUID, const std::shared_ptr<TVXType>& type);
    bool outlineViewAcceptDrop(const QString& recordUID, const std::shared_ptr<TVXType>& type);
    void tableViewSortDescriptorsDidChange();
    // The record context menu for a right click at `pos` (viewport
    // coordinates); null where no menu belongs.
    QMenu* extendMenuforEventInTableView(QAbstractItemView* table, const QPoint& pos);
    QMenu* extendMenuforEventInOutlineView(const QPoint& pos);
    // A printed record list's value: column 0 to 14 of the list's row, never masked.
    QVariant tableViewForPrinting(int column, int row) const;
    BMRecordListModel* listModel() const { return mListModel; }
    // What the tables show: the group, type, search text and flags they follow.
    const BMBrowseState& browseState() const { return *mBrowseState; }
    BMTypesTableModel* typesModel() const { return mTypesModel; }
    BMSmartTypesModel* smartModel() const { return mSmartModel; }
    BMRecordNamesModel* namesModel() const { return mNamesModel; }
    BMOutlineModel* outlineModel() const { return mOutlineModel; }
    void observeStoreChanges();
    // The browse state follows the pop-ups, the search field and the flags.
    void refreshBrowseState();
    void makeTableModels();
    bool retypeRecord(const std::shared_ptr<TVXRecord>& record, const std::shared_ptr<TVXType>& type,
                      bool alertOnFailure);
    int selectedRowOf(QAbstractItemView* table) const;
    QList<int> selectedRowsOf(QAbstractItemView* table) const;
    // The records the Delete command removes in the current view: the
    // description table's selected record (column view), the selected rows,
    // leaving only the row above the first one selected (list view), or the
    // outline's selected record (tree view).
    QList<std::shared_ptr<TVXRecord>> recordsSelectedForDeletion();
    // Tree view: when the selected row is a type row, expands or collapses it
    // and answers true.
    bool toggleSelectedTreeTypeRow();
    // List view: selects every row.
    void selectAllRecordRows();
    // The smart types' table reads its lists again; its selection stays.
    void reloadSmartTypesTable();

private:
    void reloadColumnView(BMMainWindow& window);
    void reloadListView(BMMainWindow& window);
    void reloadOutlineView(BMMainWindow& window);
    // A record was looked at: view counts, smart lists and the event log.
    void noteRecordViewed(const std::shared_ptr<TVXRecord>& record, bool raiseMemoryCounter);
    // A dragged record dropped onto a type, with the edit right checked.
    bool dropRecordOnType(const QString& recordUID, const std::shared_ptr<TVXType>& type, bool alertOnFailure);

    std::shared_ptr<BMBrowseState> mBrowseState;
    BMRecordListModel* mListModel = nullptr;
    bool mRefreshAwaitsSearchEntries = false;
    bool mHoldingTableRefreshes = false;
    bool mTableRefreshHeld = false; // one was asked for while held
    QList<int> mDetailsViewFrame; // the main split's sizes while the pane is hidden
    bool mReloadingTables = false; // selections put back after a reload are not the user's
    unsigned mPendingStoreChanges = 0; // the store's announced kinds not shown yet
    bool mStoreFollowQueued = false;     // one queued follow per turn of the event loop
    BMTypesTableModel* mTypesModel = nullptr;
    BMSmartTypesModel* mSmartModel = nullptr;
    BMRecordNamesModel* mNamesModel = nullptr;
    BMOutlineModel* mOutlineModel = nullptr;

    // What this concern reads and calls.
    BMAppState& mState;
    TVXStoreCaches& mCaches;
    TVXEventLogAccess& mEventLog;
    TVXIconsAccess& mIcons;
    TVXPreferences& mPreferences;
    TVXRecentListsAccess& mRecentLists;
    TVXRecordWriter& mRecordWriter;
    BMMainWindowSetup& mWindowSetup;
    BMOptionsApplier& mOptionsApplier;
    BMPopUps& mPopUps;
    BMRecordCommands& mRecordCommands;
    BMStartup& mStartup;
};
