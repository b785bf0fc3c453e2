#include "app/AppControllerRules.h"

#include "model/StringAdditions.h"
#include "platform/ui/AlertPanel.h"

#include <QCoreApplication>
#include <QRegularExpression>

#include <arpa/inet.h>
#include <netdb.h>
#include <sys/socket.h>

#include <algorithm>
#include <optional>
#include <utility>

namespace appctl {
namespace {

QString tr(const char* text) { return QCoreApplication::translate("BMController", text); }

AlertText standard(const char* message)
{
    return {platform::standardAlertTitle(), tr(message)};
}

AlertText connectionFailed(const char* message) { return {tr("Connection Failed!"), tr(message)}; }

} // namespace

bool isStringAnEmptySet(const QString& text) { return text.trimmed().isEmpty(); }

QString addressForHostName(const QString& hostName)
{
    const QByteArray name = hostName.trimmed().toUtf8();
    if (name.isEmpty())
        return QString();
    // IPv4 first: the connection text has no room for an unbracketed IPv6 address.
    for (int family : {AF_INET, AF_INET6}) {
        addrinfo hints{};
        hints.ai_family = family;
        hints.ai_socktype = SOCK_STREAM;
        addrinfo* list = nullptr;
        if (getaddrinfo(name.constData(), nullptr, &hints, &list) != 0 || !list)
            continue;
        QString last;
        for (addrinfo* entry = list; entry; entry = entry->ai_next) {
            char text[INET6_ADDRSTRLEN] = {};
            const void* where = family == AF_INET
                ? static_cast<const void*>(&reinterpret_cast<sockaddr_in*>(entry->ai_addr)->sin_addr)
                : static_cast<const void*>(&reinterpret_cast<sockaddr_in6*>(entry->ai_addr)->sin6_addr);
            if (inet_ntop(family, where, text, sizeof text))
                last = family == AF_INET ? QString::fromLatin1(text)
                                         : QLatin1Char('[') + QString::fromLatin1(text) + QLatin1Char(']');
        }
        freeaddrinfo(list);
        if (!last.isEmpty())
            return last;
    }
    return QString();
}

LoginCheck checkLoginFields(const LoginFields& fields, const HostResolver& resolve)
{
    LoginCheck check;
    if (isStringAnEmptySet(fields.host)) {
        check.refusal = standard("Server Host Name cannot be blank.");
        return check;
    }
    check.address = fields.host;
    if (!isvalidIPv4Address(fields.host)) {
        check.address = resolve ? resolve(fields.host) : QString();
        if (check.address.isEmpty()) {
            check.refusal = standard("Invalid server detials.");
            return check;
        }
    }
    if (fields.account.compare(QLatin1String("root"), Qt::CaseInsensitive) == 0) {
        check.refusal = connectionFailed("Invalid User.");
        return check;
    }
    if (isStringAnEmptySet(fields.account)) {
        check.refusal = standard("Username cannot be blank.");
        return check;
    }
    if (isStringAnEmptySet(fields.port)) {
        check.refusal = standard("Port field cannot be blank.");
        return check;
    }
    return check;
}

TVXLoginRequest connectionDictionary(const LoginFields& fields, const QString& address)
{
    return {
        {kLoginIPAddress, address},
        {kLoginUsername, fields.account},
        {kLoginHostPassword, fields.serverPassword},
        {kLoginSchema, QStringLiteral("tolvanexdb")},
        {kLoginMasterPassword, fields.masterPassword},
        {kLoginPortNumber, fields.port},
        {kLoginServerAddress, fields.host},
    };
}

std::optional<AlertText> connectionResultAlert(TVXResult code, const QString& secureConnectionRefusal)
{
    // The results that fail with a message of their own.
    static constexpr std::pair<TVXResult, const char*> kFailures[] = {
        {kTVXMasterPasswordMismatch, "Master Password does not match."},
        {kTVXAccountDisabled, "Your account has been disabled. Please contact administrator."},
        {kTVXHostUnreachable, "Invalid server detials."},
        {kTVXAccessDenied, "Invalid login credentials."},
        {kTVXAllPrivileges, "Invalid User."},
        {kTVXAccountBlocked, "This account is blocked after too many wrong passwords in a row. A store "
                             "administrator can unblock it: user account window, Unblock."},
    };
    if (code == kTVXDone)
        return std::nullopt;
    if (code == kTVXSecureConnectionRefused)
        return AlertText{tr("Connection Failed!"), secureConnectionRefusal};
    for (const auto& [failure, message] : kFailures)
        if (code == failure)
            return connectionFailed(message);
    return standard(" Connection Failed");
}

QString trustedServerKey(const QString& host, const QString& port)
{
    return kTrustedServersGroup + QLatin1Char('/') + host.trimmed().toLower() + QLatin1Char(':') + port.trimmed();
}

AlertText serverTrustQuestion(const QString& host, const QString& port, const QString& fingerprint)
{
    return AlertText{
        tr("Trust this server?"),
        tr("This is the first log-in to %1 port %2 from this computer, and no certificate authority file is set "
           "to verify the server. It presents a certificate with the SHA-256 fingerprint\n\n%3\n\nCompare it with "
           "the fingerprint its administrator gives you (openssl x509 -noout -fingerprint -sha256). If you trust "
           "it, the client logs in to this server only while it presents this certificate; nothing was sent to "
           "it yet.")
            .arg(host.trimmed(), port.trimmed(), fingerprint)};
}

FailedUnlock failedUnlockOutcome(int count)
{
    FailedUnlock outcome;
    outcome.warnFiveLeft = count == 5;
    outcome.showAttemptsLabel = count >= 5;
    outcome.lockOut = count == kMaxUnlockAttempts;
    return outcome;
}

QString attemptsLabelText(int count)
{
    return QStringLiteral("%1 %2").arg(kMaxUnlockAttempts - count).arg(tr("attempts left"));
}

bool showsAttemptsLabelAtOpen(int count) { return count > 4; }

namespace {

// The lowest and highest divider positions of a kind; none for other split views.
std::optional<std::pair<double, double>> dividerLimits(SplitViewKind kind, double extent,
                                                       double dividerThickness)
{
    switch (kind) {
    case SplitViewKind::Main:
        return std::pair{extent * 0.30, extent * 0.70};
    case SplitViewKind::Sub:
        return std::pair{extent * 0.20, extent * 0.55};
    case SplitViewKind::SmartType:
        return std::pair{extent / 2.0, extent - dividerThickness - kSmartTypePaneMinimumHeight};
    case SplitViewKind::Other:
        break;
    }
    return std::nullopt;
}

} // namespace

double constrainMinCoordinate(SplitViewKind kind, double proposed, double extent)
{
    const auto limits = dividerLimits(kind, extent, 0.0);
    return limits ? std::max(proposed, limits->first) : 0.0;
}

double constrainMaxCoordinate(SplitViewKind kind, double proposed, double extent, double dividerThickness)
{
    const auto limits = dividerLimits(kind, extent, dividerThickness);
    return limits ? std::min(proposed, limits->second) : 0.0;
}

QString stringFromRect(const QRectF& rect)
{
    return QStringLiteral("{{%1, %2}, {%3, %4}}")
        .arg(rect.x()).arg(rect.y()).arg(rect.width()).arg(rect.height());
}

QRectF rectFromString(const QString& text)
{
    static const QRegularExpression number(QStringLiteral("-?[0-9]+(?:\\.[0-9]*)?(?:[eE]-?[0-9]+)?"));
    QList<double> values;
    for (auto it = number.globalMatch(text); it.hasNext() && values.size() < 4;)
        values << it.next().captured().toDouble();
    while (values.size() < 4)
        values << 0.0;
    return QRectF(values[0], values[1], values[2], values[3]);
}

std::optional<QStringList> smartTypeLayoutKeepingMinimum(const QStringList& rects, double dividerThickness,
                                                         bool force)
{
    if (rects.size() < 2)
        return std::nullopt;
    QRectF first = rectFromString(rects[0]);
    QRectF second = rectFromString(rects[1]);
    if (!force && second.height() >= kSmartTypePaneMinimumHeight)
        return std::nullopt;
    const double total = first.height() + second.height();
    second.setHeight(kSmartTypePaneMinimumHeight);
    first.setHeight(std::max(0.0, total - dividerThickness - kSmartTypePaneMinimumHeight));
    QStringList out = rects;
    out[0] = stringFromRect(first);
    out[1] = stringFromRect(second);
    return out;
}

} // namespace appctl
