#pragma once
// What the account panel checks and how its check boxes map to the account's
// permission words. Plain functions, so the rules are tested without a window.
#include <QString>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>

class BMPasswordPolicyController;
class TVXUser_Admin;

namespace useradmin {

// The panel's code: what the run is for.
constexpr int kPanelEdit = 0;
constexpr int kPanelDuplicate = 1;
constexpr int kPanelNew = -1;

// Every bit of the group, type and record words, and of the data word.
constexpr uint16_t kAllItemPermissions = 7;
constexpr uint16_t kAllDataPermissions = 63;
constexpr int kDataMatrixRows = 2;
constexpr int kMatrixColumns = 3;

// Group, type and record matrices: cell (0, c) is bit 1 << c.
constexpr uint16_t itemPermissionBit(int column) { return uint16_t(1u << column); }
// Data matrix: cell (r, c) is bit 1 << (3r + c).
constexpr uint16_t dataPermissionBit(int row, int column) { return uint16_t(1u << (kMatrixColumns * row + column)); }

struct PermissionWords {
    uint16_t group = 0;
    uint16_t type = 0;
    uint16_t record = 0;
    uint16_t data = 0;
    bool isAll() const
    {
        return group == kAllItemPermissions && type == kAllItemPermissions && record == kAllItemPermissions
               && data == kAllDataPermissions;
    }
    static PermissionWords all()
    {
        return {kAllItemPermissions, kAllItemPermissions, kAllItemPermissions, kAllDataPermissions};
    }
};

// Limits of the account texts.
constexpr int kMaxUserNameLength = 16;
constexpr int kMaxDescriptionLength = 255;
constexpr int kMaxPasswordLength = 40;

// What the panel holds when OK is pressed. The password pair is the one in use
// (the hidden pair while editing, the plain pair otherwise).
struct AccountInput {
    QString name;
    QString description;
    QString password;
    QString retypedPassword;
    QString email;
};

struct Refusal {
    QString title;
    QString message;
};

// The checks of OK, in their order; the first failing one, or none.
// `originalName` is the name the panel opened with (editing only); `exists`
// asks the store whether a server account of that name exists.
std::optional<Refusal> checkAccountInput(const AccountInput& input, bool editing, const QString& originalName,
                                         const std::function<bool(const QString&)>& exists,
                                         const BMPasswordPolicyController& policy);

// The same checks around the one that needs the server: those before it,
// whether the name must be free (a new name), and those after it. A taken
// name is refused after `beforeName` and before `afterName`.
struct StagedAccountChecks {
    std::optional<Refusal> beforeName;
    bool nameMustBeFree = false;
    std::optional<Refusal> afterName;
};
StagedAccountChecks stageAccountChecks(const AccountInput& input, bool editing, const QString& originalName,
                                       const BMPasswordPolicyController& policy);
Refusal nameTakenRefusal();

// The duplicate of an account: same texts, flags and permissions, no
// password, no groups; the name is given "copy" by the panel.
std::shared_ptr<TVXUser_Admin> createDuplicateForUser(const TVXUser_Admin& user);
QString duplicateName(const QString& name);

// The list's "Password" column.
QString passwordColumnText(const TVXUser_Admin& user);

// The item of the group pop-up that opens the group list.
QString addMoreGroupsTitle();

} // namespace useradmin
