#pragma once
// The group and type pop-ups, the menus and their enabling, the context menu, the list's columns and sorting, masking.

#include "app/AppState.h"
#include "store/StoreTypes.h"

#include <QList>
#include <QObject>
#include <QString>
#include <memory>

class TVXRecord;
class BMMainWindow;
class QAction;
class QMenu;

class BMController;
struct BMAppState;
class BMMainWindowSetup;
class BMRecordCommands;
class BMStartup;
class BMTables;

class BMPopUps : public QObject {
    Q_OBJECT
public:
    explicit BMPopUps(BMController& app);

    void initGroupUIControl();
    void updateGroupUIControl();
    void initTypesUIControl();
    void setIconToMenuItems();
    void updateEditMenu();
    void updateEditMenuItem(int fieldIndex, int tag);
    bool validateMenuItem(QAction* item);
    // What the selection, the view and the pasteboard allow of an item.
    bool menuItemFollowsSelection(QAction* item) const;
    void validateMenuItems();
    void validateUIControls();
    // Despite its name: true when one record is selected.
    bool isItemNotSelected() const;
    bool validateAttachmentButton() const;
    bool validateWebLogin() const;
    void createItemContextualMenu();
    void initContextualTypeSubMenu();
    void initContextualCategorySubMenu();
    // The detail pane's right click: the record menu ticked for the selected record.
    QMenu* extendMenu();
    void contextTypeMenuChanged(int tag);
    void contextCategoryMenuChanged(int tag);
    QMenu* mItemContextualMenu() const { return mItemContextualMenu_; }
    void updateTableColumnWidth();
    void saveTableColumnWidthToPreference();
    void updateTableColumnsWithSelectedItem();
    void updateTableColumnWIthID(const QString& identifier, const QString& key);
    void initTableColumnSorting();
    bool shouldMask() const { return mState.mShouldMask; }
    void setShouldMask(bool mask);
    static bool isValidPassword(const QString& password);
    QList<std::shared_ptr<TVXRecord>> indexSetForExporting(bool listed);
    void tickContextItem(QMenu* submenu, const QString& title, int* previousTag);

private:
    QList<std::shared_ptr<TVXRecord>> contextMenuRecords(BMMainWindow& window);

    QMenu* mItemContextualMenu_ = nullptr;

    // What this concern reads and calls.
    BMAppState& mState;
    TVXStoreCaches& mCaches;
    TVXIconsAccess& mIcons;
    TVXPreferences& mPreferences;
    TVXRecordWriter& mRecordWriter;
    BMMainWindowSetup& mWindowSetup;
    BMRecordCommands& mRecordCommands;
    BMStartup& mStartup;
    BMTables& mTables;
};
