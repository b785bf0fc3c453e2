#pragma once
// The administrator's window for the store's user accounts: the account list
// with New, Edit, Duplicate, Delete and Unblock, the account panel with its checks,
// permission matrices and group membership, and the group list sheet.
#include <QObject>
#include <QString>
#include <QStringList>

#include <memory>
#include <optional>
#include <vector>

class BMProgressPanel;
class PermissionMatrix;
namespace platform {
class EscapeGuard;
}
class QCheckBox;
class QDialog;
class QLabel;
class QLineEdit;
class QPushButton;
class QTabWidget;
class QTableView;
class QTimer;
class QToolBar;
class QWidget;
class TVXAccountAdminAccess;
class TVXStoreCaches;
class TVXPopButton;
class TVXUser_Admin;
class UserGroupListModel;
class UserListModel;

class UserAccountController : public QObject {
    Q_OBJECT
public:
    // Tags of the list's action buttons.
    static constexpr int kDeleteTag = 1;
    static constexpr int kEditTag = 2;
    static constexpr int kDuplicateTag = 3;
    static constexpr int kPanelCodeNone = -2;

    static UserAccountController& sharedUserAccountController();
    UserAccountController(TVXStoreCaches& caches, TVXAccountAdminAccess& accounts, QObject* parent = nullptr);
    ~UserAccountController() override;

    // Runs the list window modally until Done or closing.
    // Opens the window centred over `over` (the main window), or the screen.
    void displayUserList(QWidget* over = nullptr);
    void done();

    // Actions of the list. editUser's senderTag is the tag of the button that
    // asked (0: a double-click).
    void newUser();
    void editUser(int senderTag = kEditTag);
    void duplicateUser();
    void deleteUser();
    // Lets the selected account log in again after the server blocked it for wrong passwords.
    void unblockUser();
    void performSearch();

    // Actions of the panel. OK answers whether the checks passed (and the run was ended).
    // Run for New, Edit or Duplicate, the panel stores the account itself:
    // OK then sends the name check and the account behind the window, and
    // answers whether they were sent; the panel keeps its input, a busy
    // cursor and, after 300 ms, a waiting line, and takes no OK, Cancel or
    // close until the server answers. A refusal is shown there and the panel
    // stays; a stored account ends the run.
    bool OK();
    bool isSaving() const { return mSaving; }
    // How the save's answer ended the panel's run, if it did.
    std::optional<int> requestedEnd() const { return mRequestedEnd; }
    QLabel* savingLine() const { return mSavingLine; }
    void cancel();
    void selectAllPermissions();
    void permissionMatrixAction();
    void generatePassword();
    void editUserGroup();
    void OKGroupList();
    void cancelGroupList();

    // Runs the account panel for `user` (null: a new account) with the code
    // (0 edit, 1 duplicate, -1 new; set to -1 without an account). The account
    // built from the panel, or null when cancelled.
    std::shared_ptr<TVXUser_Admin> orderFrontAddUserPanelWithUser(const std::shared_ptr<TVXUser_Admin>& user,
                                                                 int& returnCode);
    // The account the panel holds, or null (with its alert) for a name with blanks.
    std::shared_ptr<TVXUser_Admin> userRecordsFromUI();

    // Toolbar.
    void toolBarItemClicked(const QString& identifier);
    void showImportPanel();
    void showExportPanel();
    void showSetPasswordPanel();
    static QStringList toolbarIdentifiers();

    // The list's selection changed: the action buttons follow.
    void tableViewSelectionDidChange();
    // Whether the window waits for the server: the list read again, a
    // delete or an unblock. Meanwhile the list shows what the caches hold,
    // with a busy cursor, and Edit, Duplicate, Delete and Unblock wait.
    bool isWaitingForServer() const { return mAnswersDue > 0; }
    // Shown while a delete of several accounts waits for its answers.
    BMProgressPanel* deletionPanel() const { return mDeletionPanel; }

    QWidget* usersWindow() const { return mUsersWindow; }
    QDialog* accountPanel() const { return mAddUserWindow; }
    QDialog* groupListPanel() const { return mEditUserGroupListPanel; }
    UserListModel* userListModel() const { return mUserListModel; }
    const QStringList& selectedGroups() const { return mSelectGroupArray; }

private:
    void buildUsersWindow();
    void buildAccountPanel();
    // The two tabs of the account panel; the account tab returns its Generate button.
    QPushButton* buildAccountTab();
    void buildPermissionsTab();
    void buildGroupListPanel();
    void resetUserWindow();
    void initUserWindowWithUserInfo(const TVXUser_Admin& user);
    void updateGroupPopupButton();
    bool shouldShowPopUpMenu();
    void showEditGroupPanel();
    void setEditing(bool editing);
    // Re-reads the accounts from the store behind the window, then the list.
    void reloadUsersFromStore();
    void beginServerWait();
    void endServerWait();
    // What the panel does with OK: store the account (new or replaced), and
    // the alert of a refusal.
    struct PanelStore {
        bool replace = false;
        QString failureTitle;
        QString failureMessage;
    };
    std::shared_ptr<TVXUser_Admin> runAccountPanel(const std::shared_ptr<TVXUser_Admin>& user, int& returnCode,
                                                   std::optional<PanelStore> store);
    void sendAccount(std::shared_ptr<TVXUser_Admin> user, bool checkName);
    void showSaving(bool saving);
    bool eventFilter(QObject* watched, QEvent* event) override;
    struct Deletion;
    void deletionAnswered(const std::shared_ptr<Deletion>& deletion, qsizetype index, int code);
    void reloadList();
    QList<int> selectedRows() const;
    // A new or duplicated account in the panel, stored from there.
    void storeNewUser(std::shared_ptr<TVXUser_Admin> user, int panelCode);
    // The memory side of a stored account's groups.
    void applyGroupMembership(const TVXUser_Admin& user);

    TVXStoreCaches& mCaches;
    TVXAccountAdminAccess& mAccounts;

    PermissionMatrix* mDataPermissionMatrix = nullptr;
    PermissionMatrix* mRecordPermissionMatrix = nullptr;
    PermissionMatrix* mTypePermisiionMatrix = nullptr;
    PermissionMatrix* mGroupPermisiionMatrix = nullptr;
    QLineEdit* mUserNameField = nullptr;
    QLineEdit* mDescriptionField = nullptr;
    QLineEdit* mPasswordField = nullptr;
    QLineEdit* mRetypePasswordField = nullptr;
    TVXPopButton* mGroupChoiceButton = nullptr;
    QCheckBox* mAccountDisabled = nullptr;
    QCheckBox* mPasswordChangeAllowed = nullptr;
    QCheckBox* mAdministrator = nullptr;
    QStringList mSelectGroupArray;

    QDialog* mAddUserWindow = nullptr;
    QDialog* mEditUserGroupListPanel = nullptr;
    platform::EscapeGuard* mAddUserEscape = nullptr;
    QTableView* mUserManagementTable = nullptr;
    QTableView* mGroupListTable = nullptr;
    QWidget* mUsersWindow = nullptr;
    QToolBar* mToolbar = nullptr;
    QLineEdit* mSearchField = nullptr;

    bool mIsEditUser = false;
    QCheckBox* mSelectAllCheckBox = nullptr;
    QPushButton* mDeleteButton = nullptr;
    QPushButton* mEditButton = nullptr;
    QPushButton* mDuplicateButton = nullptr;
    QPushButton* mUnblockButton = nullptr;
    QString mSelectedUserName;
    QStringList mUsersGroupArray;
    QString mSelectedUserID;

    QLineEdit* mFullName = nullptr;
    QLineEdit* mEmail = nullptr;
    QLineEdit* mPhoneNo = nullptr;
    QTabWidget* mUserDetailsTab = nullptr;

    UserListModel* mUserListModel = nullptr;
    UserGroupListModel* mGroupListModel = nullptr;
    quint64 mPopClickObserver = 0;

    // The panel's save.
    std::optional<PanelStore> mPanelStore;
    int mPanelCode = kPanelCodeNone;
    quint64 mPanelRun = 0; // an answer for an ended run finds another number
    bool mSaving = false;
    std::optional<int> mRequestedEnd;
    std::shared_ptr<TVXUser_Admin> mStoredAccount;
    QLabel* mSavingLine = nullptr;
    QTimer* mSavingLineTimer = nullptr;
    std::vector<std::pair<QWidget*, bool>> mEnabledBeforeSave;

    int mAnswersDue = 0;
    std::shared_ptr<Deletion> mDeletion;
    BMProgressPanel* mDeletionPanel = nullptr;
};
