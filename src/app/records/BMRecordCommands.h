#pragma once
// The record commands (add, edit, duplicate, delete, copy, unmask, de-dupe), their permission tests, and the windows they open.

#include "app/AppState.h"
#include "store/session/ResultCodes.h"
#include "store/StoreTypes.h"

#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QWidget>
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>

class BMDetailsWindowController;
class TVXRecord;
class BMCategoryEditWindowController;
class BMCustomSettingsController;
class BMDetailsWindowController;
class BMEventLoggerWindowController;
class UserAccountController;
class BMGroup;
class QAbstractButton;
class QAction;
class QLabel;
class QListView;
class QStringListModel;

class BMController;
struct BMAppState;
class BMAttachmentCommands;
class BMProgressPanel;
class BMImportExport;
class BMMainWindowSetup;
class BMOptionsApplier;
class BMPopUps;
class BMTables;

class BMRecordCommands : public QObject {
    Q_OBJECT
public:
    explicit BMRecordCommands(BMController& app);

    // Permission tests of the commands (and of the detail pane and record
    // sheet): a refusal is shown and answers false.
    bool checkForRecordPermissionFor(uint16_t mask, const BMGroup* group);
    bool checkForDataPermissionFor(uint16_t mask);

    // The commands; a sender is the menu item, button or table that sent it
    // (a menu item's tag is its "tag" property, else its data).
    void addItemsToDetail(QObject* sender = nullptr);
    void editItemDoubleAction(QObject* sender = nullptr);
    void duplicateItem(QObject* sender = nullptr);
    void deleteSelected(QObject* sender = nullptr);
    void unmask(QAbstractButton* maskButton);
    void unmaskFromMenu(QAction* item);
    void copyFieldValue(QObject* sender);
    void copyFieldValue(int tag);
    void deDupe(QObject* sender = nullptr);
    void dedupeYes(QObject* sender = nullptr);
    void dedupeNo(QObject* sender = nullptr);
    void selectAll(QObject* sender = nullptr);
    void displayFieldCustomizePanel(QObject* sender = nullptr);
    void addTypes(QObject* sender = nullptr);
    void displayEditGroupPanel(QObject* sender = nullptr);
    void displayEditTypesPanel(QObject* sender = nullptr);
    void displayEditUsersPanel(QObject* sender = nullptr);
    void displayOptionsPanel(QObject* sender = nullptr);
    void eventLogger(QObject* sender = nullptr);
    void showHelp(QObject* sender = nullptr);
    // Every duplicate record of the whole store (the first of each equal set is kept).
    QList<std::shared_ptr<TVXRecord>> deDupeIndexes();
    static bool itemsAreEqual(const TVXRecord& first, const TVXRecord& second);
    // The windows the commands open, over this controller's database manager
    // (the shared ones when it is the shared manager).
    BMCategoryEditWindowController& categoryEditController();
    BMCustomSettingsController& customSettingsController();
    BMDetailsWindowController& detailsWindowController();
    UserAccountController& userAccountController();
    BMEventLoggerWindowController* eventLoggerWindowController();
    QWidget* dedupeSheet();
    const QStringList& dedupeItemsNames() const { return mDedupeItemsNames; }
    // The view selector's tag (0 column, 1 list, 2 tree), as the view state is saved.
    int selectedViewTag() const;
    void reportStoreResult(TVXResult code) const;
    TVXRecordWriter& recordWriter() { return mRecordWriter; }
    // Whether a deletion waits for the server's answers.
    bool isDeleting() const { return mDeletion != nullptr; }
    // Shown while more than one record is being deleted.
    BMProgressPanel* deletionPanel() const { return mDeletionPanel; }

private:
    struct Deletion;
    // Deletes behind the window from the last record to the first, stopping
    // at the first failure; a series of several shows its progress and ends
    // with each record's result. `then` follows the last answer.
    void deleteRecordsBehind(const QList<std::shared_ptr<TVXRecord>>& records, std::function<void()> then);
    void deletionAnswered(qsizetype first, qsizetype count);
    // Not while a record is being written: nothing acts on a half-written record.
    bool isWriting() const;
    // A command while a change waits for the server: says so and returns true.
    bool refusedWhileWriting();

    // Saves the record as new from `source` (edit's "save as new", duplicate).
    TVXResult addRecordSavedFrom(const std::shared_ptr<TVXRecord>& record, const TVXRecord* source);

    // Made for a manager other than the shared one; children of the controller.
    BMCustomSettingsController* mOwnCustomSettings = nullptr;
    BMCategoryEditWindowController* mOwnCategoryEditor = nullptr;
    BMDetailsWindowController* mOwnDetailsController = nullptr;
    UserAccountController* mOwnUserAccounts = nullptr;
    BMEventLoggerWindowController* mOwnEventLogger = nullptr;
    QWidget* mDedupeItems = nullptr;
    QListView* mDedupelistTable = nullptr;
    QLabel* mNumberOfDedupesText = nullptr;
    QStringListModel* mDedupeListModel = nullptr;
    QStringList mDedupeItemsNames;
    std::shared_ptr<Deletion> mDeletion;
    BMProgressPanel* mDeletionPanel = nullptr;

    // What this concern reads and calls.
    BMAppState& mState;
    TVXAccountAdminAccess& mAccountAdmin;
    TVXAttachmentStoreAccess& mAttachments;
    TVXStoreCaches& mCaches;
    TVXEventLogAccess& mEventLog;
    TVXGroupTypeWriter& mGroupTypeWriter;
    TVXIconsAccess& mIcons;
    TVXPersonalAccess& mPersonal;
    TVXPreferences& mPreferences;
    TVXRecordWriter& mRecordWriter;
    BMAttachmentCommands& mAttachmentCommands;
    BMImportExport& mImportExport;
    BMMainWindowSetup& mWindowSetup;
    BMOptionsApplier& mOptionsApplier;
    BMPopUps& mPopUps;
    BMTables& mTables;
};
