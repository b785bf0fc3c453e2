#pragma once
// The application controller's rules that need no window: the log-in panel's
// checks and result messages, the lock panel's attempt counting, and the
// split-view limits. The controller and the tests call them directly.
#include <QRectF>
#include <QString>
#include <QStringList>

#include <functional>
#include <optional>

#include "store/StoreTypes.h"

namespace appctl {

// What the log-in panel's fields hold, as typed.
struct LoginFields {
    QString host;
    QString account;
    QString serverPassword;
    QString masterPassword;
    QString port;
};

// An alert to show: its title and message (already translated).
struct AlertText {
    QString title;
    QString message;
    bool operator==(const AlertText&) const = default;
};

// The result of the panel's checks: either a refusal, or the address to connect to.
struct LoginCheck {
    std::optional<AlertText> refusal;
    QString address; // the dotted address as typed, or the resolved one
};

// Yes when the text, trimmed of white space at both ends, is empty.
bool isStringAnEmptySet(const QString& text);

// The last address the host look-up gives for the name; null when it gives none.
QString addressForHostName(const QString& hostName);
using HostResolver = std::function<QString(const QString& hostName)>;

// The panel's checks in their order: host, host look-up, "root", account, port.
LoginCheck checkLoginFields(const LoginFields& fields, const HostResolver& resolve = addressForHostName);

// What the log-in worker is handed.
TVXLoginRequest connectionDictionary(const LoginFields& fields, const QString& address);

// The message for a log-in result; none for 0 (the launch goes on). A refused
// encrypted connection shows the reason the database manager gives.
std::optional<AlertText> connectionResultAlert(TVXResult code, const QString& secureConnectionRefusal = {});

// The user default holding the certificate fingerprint trusted for a server
// (as typed) and port: trust on first use, without a certificate authority.
QString trustedServerKey(const QString& host, const QString& port);
// The question of a first log-in to a server without a certificate authority.
AlertText serverTrustQuestion(const QString& host, const QString& port, const QString& fingerprint);

// The lock panel: what follows a wrong password once the count has been raised.
struct FailedUnlock {
    bool warnFiveLeft = false;   // "Only 5 attempts left !!!"
    bool showAttemptsLabel = false;
    bool lockOut = false;        // the tenth failure: the account is deleted
};
constexpr int kMaxUnlockAttempts = 10;
FailedUnlock failedUnlockOutcome(int count);
// "N attempts left" for a count of failures.
QString attemptsLabelText(int count);
// Whether the label shows when the panel opens with the stored count.
bool showsAttemptsLabelAtOpen(int count);

// Split views of the main window, as the limits know them.
enum class SplitViewKind { Main, Sub, SmartType, Other };
// The lowest and highest divider positions allowed; `extent` is the split
// view's width (main, sub) or height (smart type).
double constrainMinCoordinate(SplitViewKind kind, double proposed, double extent);
double constrainMaxCoordinate(SplitViewKind kind, double proposed, double extent, double dividerThickness);
constexpr double kSmartTypePaneMinimumHeight = 92.0;
// The smart-type pane (the second rectangle) kept at least 92 high; the
// first gives up what the second gains. Null when nothing changes.
std::optional<QStringList> smartTypeLayoutKeepingMinimum(const QStringList& rects, double dividerThickness,
                                                         bool force);
// The framework's rectangle text "{{x, y}, {w, h}}" and back.
QString stringFromRect(const QRectF& rect);
QRectF rectFromString(const QString& text);

} // namespace appctl

namespace appctl {

// User defaults of this computer.
inline const QString kIsApplicationFirstLaunchKey = QStringLiteral("IsApplicationFirstLaunch");
inline const QString kMasterPasswordKey = QStringLiteral("MasterPassword"); // kept in the keyring
inline const QString kServerHostNameKey = QStringLiteral("ServerHostName");
inline const QString kUsernameKey = QStringLiteral("Username");
inline const QString kPortNumberKey = QStringLiteral("PortNumber");
// The certificate-authority file the server's certificate must verify against.
inline const QString kTlsCAFileKey = QStringLiteral("TLSCAFile");
// Fingerprints trusted per server and port: kTrustedServersGroup/host:port.
inline const QString kTrustedServersGroup = QStringLiteral("TrustedServerCertificates");
// true: a server that offers no TLS is connected to unencrypted, on purpose.
inline const QString kAllowUnencryptedServerKey = QStringLiteral("AllowUnencryptedServer");
inline const QString kMaskingStatusKey = QStringLiteral("MaskingStatus");

// Notices the controller observes besides the database manager's.
inline const QString kPreferenceChangedNotification = QStringLiteral("Tolvan Preference Changed Notification");
inline const QString kAddExtractAttachmentMenuNotification = QStringLiteral("AddExtractAttachmentMenu");

} // namespace appctl
