#pragma once
// The group sheet's window: name, members, sub-groups and record permissions.
// The lists are item models over the store's caches and the
// sheet's working lists; what the sheet decides lives in GroupTypeSettingsRules.
#include <QWidget>

#include <functional>

#include "platform/ui/SaveWait.h"

#include "views/TickListModel.h"
#include "windows/GroupTypeSettingsRules.h"

class QCheckBox;
class QCloseEvent;
class QKeyEvent;
class QLineEdit;
class QPushButton;
class QTabWidget;
class QTableView;
class TVXStoreCaches;

// A tab of the group sheet, ticked from the sheet's working lists: every user
// on the members tab (tick, Name, Description), the candidate sub-groups of
// the group being edited on the sub-groups tab (tick, Name).
class BMGroupSheetListModel : public TickListModel {
    Q_OBJECT
public:
    enum Kind { Members, SubGroups };

    BMGroupSheetListModel(Kind kind, const TVXStoreCaches& caches, settingsrules::GroupSheetLists& lists,
                          QObject* parent = nullptr);
    // Reads the users, or the sub-groups of the given group, again.
    void reload(const QString& groupUID = QString());

private:
    struct Row {
        QString uid;
        QString name;
        QString description;
    };

    int rows() const override { return static_cast<int>(mRows.size()); }
    bool isTicked(int row) const override;
    void setTicked(int row, bool ticked) override;
    QVariant cellData(int row, int column, int role) const override;

    Kind mKind;
    const TVXStoreCaches& mCaches;
    settingsrules::GroupSheetLists& mLists;
    QList<Row> mRows;
};

class BMGroupSettingsPanel : public QWidget {
    Q_OBJECT
public:
    BMGroupSettingsPanel(const TVXStoreCaches& caches, settingsrules::GroupSheetLists& lists, QWidget* parent = nullptr);

    QLineEdit* mGroupNameField;
    QTabWidget* mGroupSettingsTab;
    QTableView* mGroupPermissionsTable;
    QTableView* mGroupMergeTable;
    QCheckBox* mAddPermissionCell;
    QCheckBox* mEditPermissionCell;
    QCheckBox* mDeletePermissionCell;
    QCheckBox* mGroupPriorityPermission;
    QPushButton* mDoneButton;
    QPushButton* mCancelButton;
    BMGroupSheetListModel* mMembersModel;
    BMGroupSheetListModel* mSubGroupsModel;

    // Actions of the two buttons.
    std::function<void()> onOK;
    std::function<void()> onCancel;

    // While OK's save waits: the busy cursor, the waiting line, the buttons.
    void showSaving(bool saving) { mSaveWait->show(saving); }
    bool isSaving() const { return mSaveWait->isSaving(); }
    class QLabel* savingLine() const { return mSaveWait->line(); }

    // The cells of the record-permission matrix as one word (1 add, 2 edit, 4 delete).
    uint16_t recordPermissions() const;
    void setRecordPermissions(uint16_t bits);

private:
    platform::SaveWait* mSaveWait = nullptr;

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void closeEvent(QCloseEvent* event) override; // not while a save waits
};
