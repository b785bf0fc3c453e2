#pragma once
// The group sheet's window: name, members, sub-groups and record permissions.
// The lists are item models over the database manager's caches and the
// sheet's working lists; what the sheet decides lives in GroupTypeSettingsRules.
#include <QAbstractTableModel>
#include <QWidget>

#include <functional>

#include "store/StoreTypes.h"
#include "windows/GroupTypeSettingsRules.h"

class QCheckBox;
class QKeyEvent;
class QLineEdit;
class QPushButton;
class QTabWidget;
class QTableView;

// Members tab: every user, ticked when a member. Columns: tick, Name, Description.
class BMGroupMembersModel : public QAbstractTableModel {
    Q_OBJECT
public:
    BMGroupMembersModel(TVXDataBase& database, settingsrules::GroupSheetLists& lists, QObject* parent = nullptr);
    void reload();
    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    bool setData(const QModelIndex& index, const QVariant& value, int role) override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

private:
    TVXDataBase& mDatabase;
    settingsrules::GroupSheetLists& mLists;
    TVXUserList mRows;
};

// Sub-groups tab: the candidate sub-groups of the group being edited, ticked when listed.
class BMSubGroupsModel : public QAbstractTableModel {
    Q_OBJECT
public:
    BMSubGroupsModel(TVXDataBase& database, settingsrules::GroupSheetLists& lists, QObject* parent = nullptr);
    void reload(const QString& groupUID);
    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    bool setData(const QModelIndex& index, const QVariant& value, int role) override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

private:
    TVXDataBase& mDatabase;
    settingsrules::GroupSheetLists& mLists;
    TVXGroupList mRows;
};

class BMGroupSettingsPanel : public QWidget {
    Q_OBJECT
public:
    BMGroupSettingsPanel(TVXDataBase& database, settingsrules::GroupSheetLists& lists, QWidget* parent = nullptr);

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
    BMGroupMembersModel* mMembersModel;
    BMSubGroupsModel* mSubGroupsModel;

    // Actions of the two buttons.
    std::function<void()> onOK;
    std::function<void()> onCancel;

    // The cells of the record-permission matrix as one word (1 add, 2 edit, 4 delete).
    uint16_t recordPermissions() const;
    void setRecordPermissions(uint16_t bits);

protected:
    void keyPressEvent(QKeyEvent* event) override;
};
