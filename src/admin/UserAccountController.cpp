#include "admin/UserAccountController.h"

#include "platform/ui/EscapeGuard.h"
#include "platform/core/SecretHygiene.h"
#include "platform/ui/SecretFields.h"

#include "admin/PermissionMatrix.h"
#include "admin/TVXPopButton.h"
#include "admin/UserAccountChecks.h"
#include "admin/UserTables.h"
#include "app/BMProgressPanel.h"
#include "model/BMGroup.h"
#include "model/BMPasswordPolicyController.h"
#include "model/TVXUser_Admin.h"
#include "platform/core/NotificationCenter.h"
#include "platform/ui/AlertPanel.h"
#include "platform/ui/ModalRun.h"
#include "platform/ui/SheetFrame.h"
#include "store/accounts/AccountAdmin.h"
#include "store/SharedStore.h"
#include "store/loading/StoreCaches.h"
#include "views/ListTables.h"
#include "views/StoreFailureAlert.h"

#include <QAction>
#include <QCheckBox>
#include <QCoreApplication>
#include <QDialog>
#include <QShortcut>
#include <QFormLayout>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QPointer>
#include <QProgressBar>
#include <QTimer>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QIcon>
#include <QItemSelectionModel>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QTableView>
#include <QToolBar>
#include <QToolButton>
#include <QVBoxLayout>

#include <algorithm>

using namespace useradmin;

namespace {

const QString kUserGroupPopClick = QStringLiteral("UserGroupPopClick");

// A write the store refused: a stale copy asks for a reload; what the error
// path has not told the user already gets the given alert.
void reportRefusedWrite(TVXResult code, const QString& title, const QString& message)
{
    if (code == kTVXReloadFirst)
        BMRunAlertPanel(platform::standardAlertTitle(), storealert::messageReloadFirst(),
                        QCoreApplication::translate("UserAccountController", "OK"));
    else if (!isReportedByErrorPath(code))
        BMRunAlertPanel(title, message, QCoreApplication::translate("UserAccountController", "OK"));
}

QWidget* expandingSpacer(QWidget* parent)
{
    auto* spacer = new QWidget(parent);
    spacer->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
    return spacer;
}

QWidget* fixedSpacer(QWidget* parent, int width)
{
    auto* spacer = new QWidget(parent);
    spacer->setFixedWidth(width);
    return spacer;
}

} // namespace

UserAccountController& UserAccountController::sharedUserAccountController()
{
    static auto* shared = new UserAccountController(sharedstore::caches(), sharedstore::accountAdmin());
    return *shared;
}

UserAccountController::UserAccountController(TVXStoreCaches& caches, TVXAccountAdminAccess& accounts, QObject* parent)
    : QObject(parent), mCaches(caches), mAccounts(accounts)
{
    mUserListModel = new UserListModel(mCaches, this);
    mGroupListModel = new UserGroupListModel(mCaches, mSelectGroupArray, this);
    buildUsersWindow();
    buildAccountPanel();
    buildGroupListPanel();
    mPopClickObserver = platform::NotificationCenter::defaultCenter().addObserver(
        kUserGroupPopClick, [this](const platform::Notification& notice) {
            const auto* sender = std::any_cast<TVXPopButton*>(&notice.object);
            if (sender && *sender == mGroupChoiceButton)
                showEditGroupPanel();
        });
}

struct UserAccountController::Deletion {
    QList<std::shared_ptr<TVXUser_Admin>> accounts;
    std::vector<int> codes; // each account's answer, in the list's order
    qsizetype answered = 0;
};

UserAccountController::~UserAccountController()
{
    if (mSaving)
        QGuiApplication::restoreOverrideCursor();
    if (mAnswersDue > 0)
        QGuiApplication::restoreOverrideCursor();
    delete mDeletionPanel;
    platform::NotificationCenter::defaultCenter().removeObserver(mPopClickObserver);
    delete mEditUserGroupListPanel;
    delete mAddUserWindow;
    delete mUsersWindow;
}

// --- building the windows -------------------------------------------------------------

QStringList UserAccountController::toolbarIdentifiers()
{
    return {QStringLiteral("Set Password Policy"), QStringLiteral("Import Users"), QStringLiteral("Export Users"),
            QStringLiteral("Search bar")};
}

void UserAccountController::buildUsersWindow()
{
    mUsersWindow = platform::named<QWidget>(QStringLiteral("mUsersWindow"), nullptr, Qt::Window);
    mUsersWindow->setWindowTitle(tr("Users"));
    mUsersWindow->resize(640, 420);
    // Escape closes the list, as Done does.
    connect(new QShortcut(QKeySequence(Qt::Key_Escape), mUsersWindow), &QShortcut::activated, this,
            &UserAccountController::done);

    auto* layout = new QVBoxLayout(mUsersWindow);
    layout->setContentsMargins(0, 0, 0, 12);
    layout->setSpacing(8);

    // Toolbar: flexible space, the three commands with spaces between, flexible space, search.
    mToolbar = platform::named<QToolBar>(QStringLiteral("UserToolBar"), QStringLiteral("UserToolBar"), mUsersWindow);
    mToolbar->setMovable(false);
    mToolbar->setIconSize(QSize(24, 24));
    mToolbar->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
    const QStringList ids = toolbarIdentifiers();
    const QStringList images{QStringLiteral(":/images/password-policy.png"), QStringLiteral(":/images/import-users.png"),
                             QStringLiteral(":/images/export-users.png")};
    mToolbar->addWidget(expandingSpacer(mToolbar));
    for (int i = 0; i < 3; ++i) {
        if (i > 0)
            mToolbar->addWidget(fixedSpacer(mToolbar, 12));
        QAction* action = mToolbar->addAction(QIcon(images[i]), tr(ids[i].toUtf8().constData()));
        action->setObjectName(ids[i]);
        action->setData(i); // the tag: the identifier's index
        action->setToolTip(tr(ids[i].toUtf8().constData()));
        const QString id = ids[i];
        connect(action, &QAction::triggered, this, [this, id] { toolBarItemClicked(id); });
    }
    mToolbar->addWidget(expandingSpacer(mToolbar));
    mSearchField = platform::named<QLineEdit>(QStringLiteral("mSearchField"), mToolbar);
    mSearchField->setPlaceholderText(tr("Search"));
    mSearchField->setToolTip(tr("Search"));
    mSearchField->setClearButtonEnabled(true);
    mSearchField->setFixedWidth(180);
    connect(mSearchField, &QLineEdit::textChanged, this, &UserAccountController::performSearch);
    mToolbar->addWidget(mSearchField);
    mToolbar->addWidget(fixedSpacer(mToolbar, 6));
    layout->addWidget(mToolbar);

    mUserManagementTable = newListTable(mUserListModel, QStringLiteral("mUserManagementTable"),
                                        QAbstractItemView::ExtendedSelection, mUsersWindow);
    mUserManagementTable->setIconSize(QSize(16, 16));
    mUserManagementTable->verticalHeader()->setDefaultSectionSize(22);
    mUserManagementTable->horizontalHeader()->setHighlightSections(false);
    mUserManagementTable->horizontalHeader()->setSectionResizeMode(UserListModel::DescriptionColumn, QHeaderView::Stretch);
    mUserManagementTable->setColumnWidth(UserListModel::NameColumn, 180);
    mUserManagementTable->setColumnWidth(UserListModel::PasswordColumn, 90);
    connect(mUserManagementTable, &QTableView::doubleClicked, this, [this] { editUser(0); });
    connect(mUserManagementTable->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            &UserAccountController::tableViewSelectionDidChange);
    connect(mUserListModel, &QAbstractItemModel::modelReset, this, &UserAccountController::tableViewSelectionDidChange);
    auto* tableBox = new QHBoxLayout;
    tableBox->setContentsMargins(12, 0, 12, 0);
    tableBox->addWidget(mUserManagementTable);
    layout->addLayout(tableBox, 1);

    auto* newButton = platform::named<QPushButton>(QStringLiteral("newButton"), tr("New"), mUsersWindow);
    mEditButton = platform::named<QPushButton>(QStringLiteral("editButton"), tr("Edit"), mUsersWindow);
    mDuplicateButton = platform::named<QPushButton>(QStringLiteral("duplicateButton"), tr("Duplicate"), mUsersWindow);
    mDeleteButton = platform::named<QPushButton>(QStringLiteral("deleteButton"), tr("Delete"), mUsersWindow);
    mUnblockButton = platform::named<QPushButton>(QStringLiteral("unblockButton"), tr("Unblock"), mUsersWindow);
    mUnblockButton->setToolTip(tr("Lets the account log in again after the server blocked it for too many wrong "
                                  "passwords in a row."));
    auto* doneButton = platform::named<QPushButton>(QStringLiteral("doneButton"), tr("Done"), mUsersWindow);
    doneButton->setDefault(true);
    connect(newButton, &QPushButton::clicked, this, &UserAccountController::newUser);
    connect(mEditButton, &QPushButton::clicked, this, [this] { editUser(kEditTag); });
    connect(mDuplicateButton, &QPushButton::clicked, this, &UserAccountController::duplicateUser);
    connect(mDeleteButton, &QPushButton::clicked, this, &UserAccountController::deleteUser);
    connect(mUnblockButton, &QPushButton::clicked, this, &UserAccountController::unblockUser);
    connect(doneButton, &QPushButton::clicked, this, &UserAccountController::done);
    QHBoxLayout* buttons = platform::buttonRow({newButton, mEditButton, mDuplicateButton, mDeleteButton, mUnblockButton},
                                                 {doneButton});
    buttons->setContentsMargins(12, 0, 12, 0);
    buttons->setSpacing(6);
    layout->addLayout(buttons);

    mEditButton->setEnabled(false);
    mDuplicateButton->setEnabled(false);
    mDeleteButton->setEnabled(false);
    mUnblockButton->setEnabled(false);
}

void UserAccountController::buildAccountPanel()
{
    mAddUserWindow = platform::named<QDialog>(QStringLiteral("mAddUserWindow"), nullptr);
    mAddUserEscape = new platform::EscapeGuard(mAddUserWindow, [this] { return mSelectGroupArray.join(QLatin1Char(',')).toUtf8(); });
    mAddUserWindow->setWindowTitle(tr("User Account"));
    // Escape and closing the panel cancel it.
    connect(mAddUserWindow, &QDialog::rejected, this, &UserAccountController::cancel);

    platform::SheetFrame frame(mAddUserWindow);
    mUserDetailsTab = platform::named<QTabWidget>(QStringLiteral("mUserDetailsTab"), mAddUserWindow);
    frame.column()->addWidget(mUserDetailsTab);
    QPushButton* generate = buildAccountTab();
    buildPermissionsTab();

    mSavingLine = new QLabel(tr("Waiting for the server..."), mAddUserWindow);
    mSavingLine->setObjectName(QStringLiteral("mSavingLine"));
    mSavingLine->hide();
    frame.column()->addWidget(mSavingLine);
    mSavingLineTimer = new QTimer(this);
    mSavingLineTimer->setSingleShot(true);
    mSavingLineTimer->setInterval(300);
    connect(mSavingLineTimer, &QTimer::timeout, mSavingLine, &QWidget::show);

    const platform::SheetButtons buttons = frame.addOkCancel(QStringLiteral("okButton"), QStringLiteral("cancelButton"));
    buttons.cancel->setAutoDefault(false);
    connect(buttons.cancel, &QPushButton::clicked, this, &UserAccountController::cancel);
    connect(buttons.ok, &QPushButton::clicked, this, [this] { OK(); });
    // Escape would reject the dialog (and hide it) while its save is answered.
    mAddUserWindow->installEventFilter(this);

    QWidget::setTabOrder(mUserNameField, mDescriptionField);
    QWidget::setTabOrder(mDescriptionField, mPasswordField);
    QWidget::setTabOrder(mPasswordField, generate);
    QWidget::setTabOrder(generate, mRetypePasswordField);
    QWidget::setTabOrder(mRetypePasswordField, mFullName);
    QWidget::setTabOrder(mFullName, mEmail);
    QWidget::setTabOrder(mEmail, mPhoneNo);
    QWidget::setTabOrder(mPhoneNo, mGroupChoiceButton);
}

QPushButton* UserAccountController::buildAccountTab()
{
    auto* account = new QWidget;
    auto* form = new QFormLayout(account);
    form->setContentsMargins(14, 14, 14, 14);
    form->setHorizontalSpacing(12);
    form->setVerticalSpacing(8);
    form->setLabelAlignment(Qt::AlignRight | Qt::AlignVCenter);
    const auto field = [account](const char* name) {
        auto* edit = platform::named<QLineEdit>(QString::fromLatin1(name), account);
        edit->setMinimumWidth(240);
        return edit;
    };
    mUserNameField = field("mUserNameField");
    mDescriptionField = field("mDescriptionField");
    mPasswordField = field("mPasswordField");
    mRetypePasswordField = field("mRetypePasswordField");
    for (QLineEdit* secret : {mPasswordField, mRetypePasswordField})
        secret->setEchoMode(QLineEdit::Password);
    mFullName = field("mFullName");
    mEmail = field("mEmail");
    mPhoneNo = field("mPhoneNo");
    auto* generate = platform::named<QPushButton>(QStringLiteral("generateButton"), tr("Generate"), account);
    generate->setToolTip(tr("Make a password that meets the password policy"));
    connect(generate, &QPushButton::clicked, this, &UserAccountController::generatePassword);
    auto* passwordRow = new QHBoxLayout;
    passwordRow->setSpacing(6);
    passwordRow->addWidget(mPasswordField, 1);
    passwordRow->addWidget(generate);
    mGroupChoiceButton = platform::named<TVXPopButton>(QStringLiteral("mGroupChoiceButton"), account);
    mGroupChoiceButton->setShouldShowPopUpMenu([this] { return shouldShowPopUpMenu(); });
    connect(mGroupChoiceButton, &QComboBox::activated, this, [this] { editUserGroup(); });

    form->addRow(tr("User Name:"), mUserNameField);
    form->addRow(tr("Description:"), mDescriptionField);
    form->addRow(tr("Password:"), passwordRow);
    form->addRow(tr("Retype Password:"), mRetypePasswordField);
    form->addRow(tr("Full Name:"), mFullName);
    form->addRow(tr("Email:"), mEmail);
    form->addRow(tr("Phone:"), mPhoneNo);
    form->addRow(tr("Groups:"), mGroupChoiceButton);
    mAccountDisabled = platform::named<QCheckBox>(QStringLiteral("mAccountDisabled"), tr("Account disabled"), account);
    mPasswordChangeAllowed = platform::named<QCheckBox>(QStringLiteral("mPasswordChangeAllowed"),
                                                        tr("User cannot change the password"), account);
    mAdministrator = platform::named<QCheckBox>(QStringLiteral("mAdministrator"),
                                                tr("Administrator (may manage user accounts)"), account);
    auto* flags = new QVBoxLayout;
    flags->setSpacing(4);
    flags->addSpacing(4);
    flags->addWidget(mAccountDisabled);
    flags->addWidget(mPasswordChangeAllowed);
    flags->addWidget(mAdministrator);
    form->addRow(QString(), flags);
    mUserDetailsTab->addTab(account, tr("Account"));
    return generate;
}

void UserAccountController::buildPermissionsTab()
{
    auto* permissions = new QWidget;
    auto* pLayout = new QVBoxLayout(permissions);
    pLayout->setContentsMargins(14, 12, 14, 12);
    pLayout->setSpacing(10);
    mSelectAllCheckBox = platform::named<QCheckBox>(QStringLiteral("mSelectAllCheckBox"),
                                                    tr("Select All"), permissions);
    connect(mSelectAllCheckBox, &QCheckBox::clicked, this, &UserAccountController::selectAllPermissions);
    pLayout->addWidget(mSelectAllCheckBox);
    const QStringList itemTitles{tr("Add"), tr("Edit"), tr("Delete")};
    const auto matrixBox = [&](const QString& title, PermissionMatrix* matrix, const char* name) {
        matrix->setObjectName(QString::fromLatin1(name));
        connect(matrix, &PermissionMatrix::cellClicked, this, &UserAccountController::permissionMatrixAction);
        auto* box = new QGroupBox(title, permissions);
        auto* boxLayout = new QVBoxLayout(box);
        boxLayout->setContentsMargins(12, 8, 12, 10);
        boxLayout->addWidget(matrix);
        pLayout->addWidget(box);
    };
    mGroupPermisiionMatrix = new PermissionMatrix(1, 3, itemTitles);
    mTypePermisiionMatrix = new PermissionMatrix(1, 3, itemTitles);
    mRecordPermissionMatrix = new PermissionMatrix(1, 3, itemTitles);
    mDataPermissionMatrix = new PermissionMatrix(
        kDataMatrixRows, kMatrixColumns,
        {tr("Print"), tr("Remove Duplicates"), tr("Import"), tr("Export and Mail"), tr("Reserved 1"), tr("Reserved 2")});
    matrixBox(tr("Groups"), mGroupPermisiionMatrix, "mGroupPermisiionMatrix");
    matrixBox(tr("Types"), mTypePermisiionMatrix, "mTypePermisiionMatrix");
    matrixBox(tr("Records"), mRecordPermissionMatrix, "mRecordPermissionMatrix");
    matrixBox(tr("Data"), mDataPermissionMatrix, "mDataPermissionMatrix");
    pLayout->addStretch(1);
    mUserDetailsTab->addTab(permissions, tr("Permissions"));
}

void UserAccountController::buildGroupListPanel()
{
    mEditUserGroupListPanel = platform::named<QDialog>(QStringLiteral("mEditUserGroupListPanel"), mAddUserWindow);
    mEditUserGroupListPanel->setWindowTitle(tr("Groups"));
    mEditUserGroupListPanel->resize(360, 320);
    connect(mEditUserGroupListPanel, &QDialog::rejected, this, &UserAccountController::cancelGroupList);
    platform::SheetFrame frame(mEditUserGroupListPanel, 10);
    QVBoxLayout* layout = frame.column();
    auto* note = new QLabel(tr("Tick the groups this account belongs to."), mEditUserGroupListPanel);
    layout->addWidget(note);
    mGroupListTable = newListTable(mGroupListModel, QStringLiteral("mGroupListTable"), QAbstractItemView::NoSelection,
                                   mEditUserGroupListPanel);
    mGroupListTable->horizontalHeader()->setSectionResizeMode(UserGroupListModel::NameColumn, QHeaderView::Stretch);
    mGroupListTable->setColumnWidth(UserGroupListModel::PermissionsColumn, 100);
    layout->addWidget(mGroupListTable, 1);
    const platform::SheetButtons buttons =
        frame.addOkCancel(QStringLiteral("okGroupListButton"), QStringLiteral("cancelGroupListButton"));
    buttons.cancel->setAutoDefault(false);
    connect(buttons.cancel, &QPushButton::clicked, this, &UserAccountController::cancelGroupList);
    connect(buttons.ok, &QPushButton::clicked, this, &UserAccountController::OKGroupList);
}

// --- the list -------------------------------------------------------------------------

void UserAccountController::displayUserList(QWidget* over)
{
    mUserManagementTable->clearSelection();
    // At once with the accounts as cached; the fresh list follows the read.
    reloadList();
    reloadUsersFromStore();
    platform::placeCentred(mUsersWindow, over);
    platform::runModalForWindow(mUsersWindow);
    mUsersWindow->hide();
}

void UserAccountController::done()
{
    platform::stopModal();
}

void UserAccountController::performSearch()
{
    reloadList();
}

void UserAccountController::reloadList()
{
    mUserListModel->reload(mSearchField->text());
}

void UserAccountController::reloadUsersFromStore()
{
    beginServerWait();
    QPointer<UserAccountController> self(this);
    // The caches are refilled before the answer; without a connection they stay.
    mAccounts.reloadAccountsBehind([self](TVXResult) {
        if (!self)
            return;
        self->reloadList();
        self->endServerWait();
    });
}

void UserAccountController::beginServerWait()
{
    if (mAnswersDue++ == 0) {
        QGuiApplication::setOverrideCursor(Qt::BusyCursor);
        tableViewSelectionDidChange();
    }
}

void UserAccountController::endServerWait()
{
    if (mAnswersDue == 0 || --mAnswersDue > 0)
        return;
    QGuiApplication::restoreOverrideCursor();
    tableViewSelectionDidChange();
}

QList<int> UserAccountController::selectedRows() const
{
    QList<int> rows;
    for (const QModelIndex& index : mUserManagementTable->selectionModel()->selectedRows())
        rows.append(index.row());
    std::sort(rows.begin(), rows.end());
    return rows;
}

void UserAccountController::tableViewSelectionDidChange()
{
    // The rows may be stale until the server has answered.
    const bool ready = !isWaitingForServer();
    const qsizetype count = selectedRows().size();
    mEditButton->setEnabled(ready && count == 1);
    mDuplicateButton->setEnabled(ready && count == 1);
    mDeleteButton->setEnabled(ready && count >= 1);
    mUnblockButton->setEnabled(ready && count == 1);
}

void UserAccountController::newUser()
{
    mEmail->setReadOnly(false);
    storeNewUser(nullptr, kPanelNew);
}

void UserAccountController::storeNewUser(std::shared_ptr<TVXUser_Admin> user, int panelCode)
{
    runAccountPanel(user, panelCode,
                    PanelStore{false, tr("Tolvanex Enterprise"), tr("Unable to create user. Try again later.")});
}

void UserAccountController::applyGroupMembership(const TVXUser_Admin& user)
{
    mCaches.addUserToGroupListForGroups(user.mUserID(), user.mUsersGroupArray());
}

void UserAccountController::editUser(int senderTag)
{
    if (isWaitingForServer())
        return; // a double-click on a row that may be gone
    const QList<int> rows = selectedRows();
    if (rows.isEmpty()) {
        if (senderTag == kEditTag)
            BMRunAlertPanel(platform::standardAlertTitle(), tr("No User is selected"), tr("OK"));
        return;
    }
    const auto account = mUserListModel->userAt(rows.first());
    if (!account)
        return;
    setEditing(true);
    mSelectedUserName = account->mUsername();
    int code = kPanelEdit;
    runAccountPanel(account, code,
                    PanelStore{true, platform::standardAlertTitle(), tr("Unable to update user. Try again later.")});
    setEditing(false);
}

void UserAccountController::setEditing(bool editing)
{
    mIsEditUser = editing;
    if (editing)
        mEmail->setReadOnly(true);
}

void UserAccountController::duplicateUser()
{
    if (isWaitingForServer())
        return;
    const QList<int> rows = selectedRows();
    if (rows.isEmpty()) {
        BMRunAlertPanel(platform::standardAlertTitle(), tr("No User is selected"), tr("OK"));
        return;
    }
    const auto source = mUserListModel->userAt(rows.first());
    if (!source)
        return;
    storeNewUser(createDuplicateForUser(*source), kPanelDuplicate);
}

void UserAccountController::deleteUser()
{
    if (isWaitingForServer())
        return;
    const QList<int> rows = selectedRows();
    if (rows.isEmpty()) {
        BMRunAlertPanel(platform::standardAlertTitle(), tr("No User is selected"), tr("OK"));
        return;
    }
    const int answer = BMRunAlertPanel(platform::standardAlertTitle(),
                                       tr(" Are you sure,you want to delete selected users?"), tr("No"), tr("Yes"));
    if (answer != platform::kAlertAlternateReturn)
        return;
    auto deletion = std::make_shared<Deletion>();
    for (int row : rows)
        if (const auto user = mUserListModel->userAt(row))
            deletion->accounts.append(user);
    if (deletion->accounts.isEmpty())
        return;
    deletion->codes.assign(size_t(deletion->accounts.size()), resultNumber(kTVXDone));
    mDeletion = deletion;
    beginServerWait();
    if (deletion->accounts.size() > 1) {
        if (!mDeletionPanel) {
            mDeletionPanel = new BMProgressPanel;
            mDeletionPanel->setObjectName(QStringLiteral("UserDeletionProgressPanel"));
        }
        mDeletionPanel->mDataLoadingProgressIndiator()->setRange(0, int(deletion->accounts.size()));
        mDeletionPanel->mDataLoadingProgressIndiator()->setValue(0);
        mDeletionPanel->setText(tr("Deleting %1 users...").arg(deletion->accounts.size()));
        // Modal without a run of its own: the window's input waits, its events go on.
        mDeletionPanel->setWindowModality(Qt::ApplicationModal);
        mDeletionPanel->show();
    }
    QPointer<UserAccountController> self(this);
    for (qsizetype i = 0; i < deletion->accounts.size(); ++i)
        mAccounts.deleteUserBehind(deletion->accounts.at(i), [self, deletion, i](TVXResult code) {
            if (self)
                self->deletionAnswered(deletion, i, resultNumber(code));
        });
}

void UserAccountController::deletionAnswered(const std::shared_ptr<Deletion>& deletion, qsizetype index, int code)
{
    deletion->codes[size_t(index)] = code;
    if (resultOfNumber(code) == kTVXDone)
        mCaches.addUserToGroupListForGroups(deletion->accounts.at(index)->mUserID(), {});
    ++deletion->answered;
    if (mDeletionPanel && mDeletionPanel->isVisible())
        mDeletionPanel->mDataLoadingProgressIndiator()->setValue(int(deletion->answered));
    if (deletion->answered < deletion->accounts.size())
        return;
    if (mDeletionPanel)
        mDeletionPanel->hide();
    mDeletion.reset();
    reloadList();
    endServerWait();
    // Each account's failure, in the list's order.
    for (const int result : deletion->codes) {
        if (resultOfNumber(result) == kTVXDone)
            continue;
        if (resultOfNumber(result) == kTVXReloadFirst)
            BMRunAlertPanel(platform::standardAlertTitle(), storealert::messageReloadFirst(), tr("OK"));
        else
            BMRunAlertPanel(platform::standardAlertTitle(), tr("Unable to delete user. Try again later."), tr("OK"));
    }
}

void UserAccountController::unblockUser()
{
    if (isWaitingForServer())
        return;
    const QList<int> rows = selectedRows();
    const auto user = rows.size() == 1 ? mUserListModel->userAt(rows.first()) : nullptr;
    if (!user) {
        BMRunAlertPanel(platform::standardAlertTitle(), tr("No User is selected"), tr("OK"));
        return;
    }
    beginServerWait();
    QPointer<UserAccountController> self(this);
    mAccounts.unblockAccountBehind(user->mUsername(), [self, name = user->mUsername()](TVXResult code) {
        if (!self)
            return;
        self->endServerWait();
        if (code == kTVXDone)
            BMRunAlertPanel(platform::standardAlertTitle(),
                            tr("%1 can log in again: the count of wrong passwords is cleared.").arg(name), tr("OK"));
        else
            BMRunAlertPanel(platform::standardAlertTitle(), tr("Unable to unblock the user. Try again later."),
                            tr("OK"));
    });
}

// --- the account panel ------------------------------------------------------------------

std::shared_ptr<TVXUser_Admin> UserAccountController::orderFrontAddUserPanelWithUser(
    const std::shared_ptr<TVXUser_Admin>& user, int& returnCode)
{
    return runAccountPanel(user, returnCode, std::nullopt);
}

std::shared_ptr<TVXUser_Admin> UserAccountController::runAccountPanel(const std::shared_ptr<TVXUser_Admin>& user,
                                                                     int& returnCode, std::optional<PanelStore> store)
{
    std::shared_ptr<TVXUser_Admin> account = user;
    if (!account) {
        account = TVXUser_Admin::createUser();
        returnCode = kPanelNew;
    } else if (returnCode == kPanelDuplicate) {
        account->setMUsername(duplicateName(account->mUsername()));
    }
    mSelectedUserID = account->mUserID();
    mSelectGroupArray = account->mUsersGroupArray();
    mUsersGroupArray = mSelectGroupArray;

    resetUserWindow();
    initUserWindowWithUserInfo(*account);
    // A new account starts with every right; one the store refused keeps its input.
    if (returnCode == kPanelNew && !user) {
        mSelectAllCheckBox->setChecked(true);
        for (auto* matrix : {mDataPermissionMatrix, mRecordPermissionMatrix, mTypePermisiionMatrix, mGroupPermisiionMatrix})
            matrix->selectAll(true);
    }
    // The administrator flag can be given, not taken away: an edit keeps it.
    mAdministrator->setEnabled(!(returnCode == kPanelEdit && account->isAdministrator()));

    ++mPanelRun;
    mPanelStore = std::move(store);
    mPanelCode = returnCode;
    mRequestedEnd.reset();
    mStoredAccount.reset();
    std::shared_ptr<TVXUser_Admin> result;
    mAddUserEscape->take();
    const int code = platform::runModalForWindow(mAddUserWindow);
    mAddUserEscape->forget();
    if (mPanelStore) {
        // Only what the server took is the run's result.
        result = mStoredAccount;
    } else if (code == platform::kModalRunStopped) {
        result = userRecordsFromUI();
        if (result && returnCode == kPanelEdit)
            result->setMUserID(account->mUserID());
    }
    ++mPanelRun; // an answer still due finds the panel closed
    showSaving(false);
    mPanelStore.reset();
    mPanelCode = kPanelCodeNone;
    mStoredAccount.reset();
    mSelectGroupArray.clear();
    mAddUserWindow->hide();
    // The closed panel keeps no password.
    platform::wipeField(mPasswordField);
    platform::wipeField(mRetypePasswordField);
    reloadList();
    return result;
}

void UserAccountController::sendAccount(std::shared_ptr<TVXUser_Admin> user, bool checkName)
{
    const PanelStore store = *mPanelStore;
    showSaving(true);
    QPointer<UserAccountController> self(this);
    auto answer = [self, user, store, run = mPanelRun](TVXResult code, bool nameTaken) {
        if (!self)
            return;
        const bool current = run == self->mPanelRun;
        if (current)
            self->showSaving(false);
        if (code == kTVXDone) {
            // The memory side follows the server, whatever became of the panel.
            self->applyGroupMembership(*user);
            if (current) {
                self->mStoredAccount = user;
                self->mRequestedEnd = platform::kModalRunStopped;
                platform::stopModal();
            }
            self->reloadUsersFromStore();
            return;
        }
        if (nameTaken) {
            const Refusal refusal = nameTakenRefusal();
            BMRunAlertPanel(refusal.title, refusal.message, tr("OK"));
        } else {
            reportRefusedWrite(code, store.failureTitle, store.failureMessage);
        }
    };
    if (store.replace)
        mAccounts.replaceUserBehind(user, checkName, std::move(answer));
    else
        mAccounts.addUserBehind(user, checkName, std::move(answer));
}

void UserAccountController::showSaving(bool saving)
{
    if (saving == mSaving)
        return;
    mSaving = saving;
    platform::holdRunAgainstClosing(mAddUserWindow, saving);
    if (saving) {
        QGuiApplication::setOverrideCursor(Qt::BusyCursor);
        mSavingLineTimer->start();
        // Nothing else may start on the account until the answer.
        mEnabledBeforeSave.clear();
        for (const char* name : {"okButton", "cancelButton", "generateButton"})
            if (auto* button = mAddUserWindow->findChild<QPushButton*>(QLatin1String(name))) {
                mEnabledBeforeSave.emplace_back(button, button->isEnabled());
                button->setEnabled(false);
            }
        return;
    }
    mSavingLineTimer->stop();
    mSavingLine->hide();
    QGuiApplication::restoreOverrideCursor();
    for (const auto& [control, enabled] : mEnabledBeforeSave)
        control->setEnabled(enabled);
    mEnabledBeforeSave.clear();
}

bool UserAccountController::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == mAddUserWindow && mSaving && event->type() == QEvent::KeyPress
        && static_cast<QKeyEvent*>(event)->key() == Qt::Key_Escape)
        return true; // what was sent is answered first
    return QObject::eventFilter(watched, event);
}

void UserAccountController::resetUserWindow()
{
    for (QLineEdit* edit : {mUserNameField, mDescriptionField, mPasswordField, mRetypePasswordField, mFullName, mEmail,
                            mPhoneNo})
        edit->clear();
    mUserNameField->setFocus();
    mGroupChoiceButton->clear();
    mGroupChoiceButton->addItem(addMoreGroupsTitle());
    for (auto* matrix : {mDataPermissionMatrix, mRecordPermissionMatrix, mTypePermisiionMatrix, mGroupPermisiionMatrix})
        matrix->selectAll(false);
    mAccountDisabled->setChecked(false);
    mPasswordChangeAllowed->setChecked(false);
    mAdministrator->setChecked(false);
    mSelectAllCheckBox->setChecked(false);
    mSelectAllCheckBox->setText(tr("Select All"));
}

void UserAccountController::initUserWindowWithUserInfo(const TVXUser_Admin& user)
{
    mUserDetailsTab->setCurrentIndex(0);
    mUserNameField->setText(user.mUsername());
    mDescriptionField->setText(user.mDescription());
    // Deciphered only now, for this panel (administrators only).
    QString password = mAccounts.passwordOfAccount(user);
    mPasswordField->setText(password);
    mRetypePasswordField->setText(password);
    platform::wipe(password);
    mFullName->setText(user.mFullName());
    mEmail->setText(user.mEmail());
    mPhoneNo->setText(user.mPhoneNo());
    updateGroupPopupButton();
    mAccountDisabled->setChecked(user.mIsAccountDisabled());
    mPasswordChangeAllowed->setChecked(user.mIsNotAllowedToChangePassword());
    mAdministrator->setChecked(user.isAdministrator());
    mGroupPermisiionMatrix->setWord(user.mGroupPermissionsBit());
    mTypePermisiionMatrix->setWord(user.mTypePermissionsBit());
    mRecordPermissionMatrix->setWord(user.mRecordPermissionsBit());
    mDataPermissionMatrix->setWord(user.mDataPermissionsBit());
    const PermissionWords words{user.mGroupPermissionsBit(), user.mTypePermissionsBit(), user.mRecordPermissionsBit(),
                                user.mDataPermissionsBit()};
    mSelectAllCheckBox->setChecked(words.isAll());
    mUserNameField->setFocus();
}

std::shared_ptr<TVXUser_Admin> UserAccountController::userRecordsFromUI()
{
    const QString name = mUserNameField->text();
    if (name.contains(QLatin1Char(' '))) {
        BMRunAlertPanel(tr("Tolvanex Enterprise"), tr("Username should not contain spaces."), tr("OK"));
        return nullptr;
    }
    auto user = TVXUser_Admin::createUser();
    user->setMUsername(name);
    user->setMDescription(mDescriptionField->text());
    user->setMIsNotAllowedToChangePassword(mPasswordChangeAllowed->isChecked());
    user->setMIsAccountDisabled(mAccountDisabled->isChecked());
    user->setAdministrator(mAdministrator->isChecked());
    user->setMPassword(mPasswordField->text());
    user->setMGroupPermissionsBit(mGroupPermisiionMatrix->word());
    user->setMTypePermissionsBit(mTypePermisiionMatrix->word());
    user->setMRecordPermissionsBit(mRecordPermissionMatrix->word());
    user->setMDataPermissionsBit(mDataPermissionMatrix->word());
    user->setMUsersGroupArray(mSelectGroupArray);
    user->setMEmail(mEmail->text());
    user->setMPhoneNo(mPhoneNo->text());
    user->setMFullName(mFullName->text());
    // The cached groups take the account as a member once the store holds it.
    return user;
}

bool UserAccountController::OK()
{
    if (mSaving)
        return false; // the answer to the first OK decides
    const AccountInput input{mUserNameField->text(), mDescriptionField->text(), mPasswordField->text(),
                             mRetypePasswordField->text(), mEmail->text()};
    const auto& policy = BMPasswordPolicyController::sharedBMPasswordPolicyController();
    if (!mPanelStore) {
        const auto refusal = checkAccountInput(
            input, mIsEditUser, mSelectedUserName,
            [this](const QString& name) { return mAccounts.isUserExistsInTolvanex(name); }, policy);
        if (refusal) {
            BMRunAlertPanel(refusal->title, refusal->message, tr("OK"));
            return false;
        }
        platform::stopModal();
        return true;
    }

    // The name is checked at the server, on the way to storing the account.
    const StagedAccountChecks checks = stageAccountChecks(input, mIsEditUser, mSelectedUserName, policy);
    if (checks.beforeName || (checks.afterName && !checks.nameMustBeFree)) {
        const Refusal& refusal = checks.beforeName ? *checks.beforeName : *checks.afterName;
        BMRunAlertPanel(refusal.title, refusal.message, tr("OK"));
        return false;
    }
    if (checks.afterName) {
        // Refused either way: a taken name is said first, as the checks' order has it.
        showSaving(true);
        QPointer<UserAccountController> self(this);
        mAccounts.accountExistsBehind(input.name, [self, run = mPanelRun, later = *checks.afterName](bool taken) {
            if (!self || run != self->mPanelRun)
                return;
            self->showSaving(false);
            const Refusal refusal = taken ? nameTakenRefusal() : later;
            BMRunAlertPanel(refusal.title, refusal.message, tr("OK"));
        });
        return false;
    }
    auto user = userRecordsFromUI();
    if (!user)
        return false;
    if (mPanelCode == kPanelEdit)
        user->setMUserID(mSelectedUserID);
    sendAccount(std::move(user), checks.nameMustBeFree);
    return true;
}

void UserAccountController::cancel()
{
    if (mSaving)
        return; // what was sent is answered first
    platform::abortModal();
}

void UserAccountController::selectAllPermissions()
{
    const bool on = mSelectAllCheckBox->isChecked();
    for (auto* matrix : {mDataPermissionMatrix, mRecordPermissionMatrix, mTypePermisiionMatrix, mGroupPermisiionMatrix})
        matrix->selectAll(on);
}

void UserAccountController::permissionMatrixAction()
{
    mSelectAllCheckBox->setChecked(false);
}

void UserAccountController::generatePassword()
{
    const QString password = BMPasswordPolicyController::sharedBMPasswordPolicyController().generatePassword();
    mPasswordField->setText(password);
    mRetypePasswordField->setText(password);
}

// --- group membership -------------------------------------------------------------------

bool UserAccountController::shouldShowPopUpMenu()
{
    if (mGroupChoiceButton->currentText() == addMoreGroupsTitle()) {
        platform::NotificationCenter::defaultCenter().post(kUserGroupPopClick, mGroupChoiceButton);
        return false;
    }
    return true;
}

void UserAccountController::showEditGroupPanel()
{
    editUserGroup();
}

void UserAccountController::editUserGroup()
{
    mSelectGroupArray = mUsersGroupArray;
    mGroupListModel->reload();
    if (mGroupChoiceButton->currentText() != addMoreGroupsTitle())
        return;
    const int code = platform::runModalForWindow(mEditUserGroupListPanel);
    // OK keeps the ticks; Cancel or closing the sheet forgets them.
    if (code == platform::kModalRunStopped) {
        mUsersGroupArray = mSelectGroupArray;
    } else {
        mSelectGroupArray = mUsersGroupArray;
    }
    updateGroupPopupButton();
    mEditUserGroupListPanel->hide();
}

void UserAccountController::OKGroupList()
{
    mUsersGroupArray = mSelectGroupArray;
    updateGroupPopupButton();
    platform::stopModal();
}

void UserAccountController::cancelGroupList()
{
    mSelectGroupArray = mUsersGroupArray;
    updateGroupPopupButton();
    platform::abortModal();
}

void UserAccountController::updateGroupPopupButton()
{
    mGroupChoiceButton->clear();
    for (const QString& uid : std::as_const(mSelectGroupArray))
        if (const auto group = mCaches.accountGroupWithUID(uid))
            mGroupChoiceButton->addItem(group->mGroupName(), uid);
    mGroupChoiceButton->addItem(addMoreGroupsTitle());
}

// --- toolbar ----------------------------------------------------------------------------

void UserAccountController::toolBarItemClicked(const QString& identifier)
{
    if (identifier == QLatin1String("Import Users"))
        showImportPanel();
    else if (identifier == QLatin1String("Set Password Policy"))
        showSetPasswordPanel();
    else if (identifier == QLatin1String("Export Users"))
        showExportPanel();
}

void UserAccountController::showImportPanel()
{
    BMRunAlertPanel(platform::standardAlertTitle(),
                    tr("Importing user accounts from a file is not available. Add each account with New."), tr("OK"));
}

void UserAccountController::showExportPanel()
{
    BMRunAlertPanel(platform::standardAlertTitle(), tr("Exporting user accounts to a file is not available."),
                    tr("OK"));
}

void UserAccountController::showSetPasswordPanel()
{
    const auto& policy = BMPasswordPolicyController::sharedBMPasswordPolicyController();
    QStringList sets;
    const uint8_t flags = policy.mCharsetFlag();
    if (flags & 1)
        sets << tr("letters");
    if (flags & 4)
        sets << tr("digits");
    const QString message = tr("Passwords of this store must have at least %1 characters%2.\n"
                               "The policy is kept on the server and set by its administrator.")
                                .arg(std::max(0, int(policy.mminPassLength())))
                                .arg(sets.isEmpty() ? QString() : tr(" and contain %1").arg(sets.join(tr(", "))));
    BMRunAlertPanel(platform::standardAlertTitle(), message, tr("OK"));
}
