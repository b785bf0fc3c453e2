#pragma once
// The group/type editor: one list of every editable group or type, with Add,
// Edit, Duplicate (groups) and Delete. The sheets build what the editor then
// stores through the store's group and type writer.
#include <QAbstractListModel>
#include <QObject>

#include <functional>
#include <memory>

#include "store/StoreTypes.h"

class BMCustomSettingsController;
class QAction;
class QPushButton;
class QTableView;
class QWidget;
class TVXGroupTypeWriter;
class TVXIconsAccess;
class TVXPersonalAccess;
class TVXStoreCaches;

// The editor's list, read straight from the store's caches.
class BMCategoryEditModel : public QAbstractListModel {
    Q_OBJECT
public:
    BMCategoryEditModel(const TVXStoreCaches& caches, const TVXIconsAccess& icons, QObject* parent = nullptr);
    void setTableViewType(int type);
    void reload();
    int rowCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

private:
    const TVXStoreCaches& mCaches;
    const TVXIconsAccess& mIcons;
    int mTableViewType = 0;
    TVXGroupList mGroups;
    TVXTypeList mTypes;
};

class BMCategoryEditWindowController : public QObject {
    Q_OBJECT
public:
    static BMCategoryEditWindowController& sharedCategoryEditController();
    BMCategoryEditWindowController(TVXStoreCaches& caches, TVXIconsAccess& icons, TVXGroupTypeWriter& writer,
                                   TVXPersonalAccess& personal, BMCustomSettingsController& sheets,
                                   QObject* parent = nullptr);
    // Over one store that has all four parts.
    template <class Store>
    BMCategoryEditWindowController(Store& store, BMCustomSettingsController& sheets, QObject* parent = nullptr)
        : BMCategoryEditWindowController(store.caches(), store.icons(), store, store.personal(), sheets, parent)
    {
    }
    ~BMCategoryEditWindowController() override;

    // Opens the editor for the menu item's mode (its title or tag) and runs it modally.
    void displayGroupEditWindow(QAction* sender);
    void displayGroupEditWindow(const QString& title, int tag);
    // Fills the window for a mode (0 groups, 1 types) without running it.
    void prepareForMode(int tableViewType);

    // The buttons; `fromButton` false for a double click in the list.
    void addNewEntry();
    void editTableEntry(bool fromButton = true);
    void duplicateGroup();
    void deleteSelectedTableEntry();
    void editTypeDoubleAction();
    void done();
    void cancel();

    std::shared_ptr<BMGroup> selectedGroup() const;
    std::shared_ptr<TVXType> selectedType() const;
    TVXRecordList recordsToExportForBackUP() const;
    // Deletes the selected group or type behind the window; meanwhile the
    // editor shows a busy cursor and takes no other command. With the answer
    // the result is reported and the list reloaded.
    void deleteSelectedGroup();
    bool isDeleting() const { return mDeleting; }
    bool checkForPermissionsOf(int kind, uint16_t bit) const;

    bool mDuplicateGroup() const { return m_duplicateGroup; }
    void setMDuplicateGroup(bool duplicate) { m_duplicateGroup = duplicate; }
    QTableView* mGroupTableView() const { return m_groupTableView; }
    int mTableViewType() const { return m_tableViewType; }
    QWidget* window() const { return mWindow; }

    // Where the application takes over: the backup of the records concerned
    // (before a deletion). Its main window follows the store's notices.
    void setBackupHandler(std::function<void()> handler) { mBackupHandler = std::move(handler); }

    int selectedRow() const;
    void selectRow(int row);

private:
    void selectionChanged();
    void reloadAndScroll(const QString& uid = QString());
    void reportStoreResult(TVXResult code) const;
    using WriteAnswer = std::function<void(TVXResult)>;
    // Starts storing the sheet's group, or refuses at once (false, saying why).
    using GroupStore = std::function<bool(const std::shared_ptr<BMGroup>&, WriteAnswer)>;
    // Runs the group sheet; OK stores its group with `store`, the sheet
    // waiting for the answer and keeping a refused input. The stored group, or null.
    std::shared_ptr<BMGroup> runGroupSheet(const std::shared_ptr<BMGroup>& group, int operation,
                                           const GroupStore& store);
    // The answer to a sheet's save, passed on; when the sheet's run has ended
    // before it (a lock, a quit or a reload ended it), the shown list takes
    // what was stored now rather than at the editor's next opening.
    WriteAnswer listFollows(WriteAnswer answer);
    void deleteAnswered(int oldRow, TVXResult code);
    void showDeleting(bool deleting);

    TVXStoreCaches& mCaches;
    TVXIconsAccess& mIcons;
    TVXGroupTypeWriter& mWriter;
    TVXPersonalAccess& mPersonal;
    BMCustomSettingsController& mSheets;
    QWidget* mWindow = nullptr;
    QTableView* m_groupTableView = nullptr;
    BMCategoryEditModel* mModel = nullptr;
    QPushButton* mAddButton = nullptr;
    QPushButton* mEditButton = nullptr;
    QPushButton* mDuplicateButton = nullptr;
    QPushButton* mDeleteButton = nullptr;
    QPushButton* mGroupEditDoneButton = nullptr;
    int m_tableViewType = 0;
    bool m_duplicateGroup = false;
    bool mDeleting = false;
    bool mSheetRunning = false;
    std::function<void()> mBackupHandler;
};
