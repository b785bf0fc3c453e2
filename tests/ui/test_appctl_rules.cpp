// The log-in panel's checks and result messages, the lock's attempt counting
// and the split-view limits, without any window.
#include <gtest/gtest.h>

#include "app/AppControllerRules.h"

using namespace appctl;

namespace {

const QString kStd = QStringLiteral("Tolvanex Enterprise Alert!");
const QString kFailed = QStringLiteral("Connection Failed!");

LoginFields valid()
{
    return {QStringLiteral("10.0.0.5"), QStringLiteral("alice"), QStringLiteral("pw"), QStringLiteral("master"),
            QStringLiteral("3306")};
}

// Records what was looked up; answers from a fixed table.
struct FakeResolver {
    QStringList asked;
    QString answer;
    HostResolver fn()
    {
        return [this](const QString& host) {
            asked << host;
            return answer;
        };
    }
};

AlertText refusalOf(const LoginFields& fields, FakeResolver& resolver)
{
    const LoginCheck check = checkLoginFields(fields, resolver.fn());
    return check.refusal.value_or(AlertText{});
}

} // namespace

TEST(LoginChecks, RefusalsInTheirOrderWithTheirTitles)
{
    FakeResolver resolver;
    LoginFields f = valid();
    f.host = QStringLiteral("   ");
    f.account = QString();
    EXPECT_EQ(refusalOf(f, resolver), (AlertText{kStd, "Server Host Name cannot be blank."}));

    // "root" in any case is refused before the blank account and port checks.
    for (const char* root : {"ROOT", "Root", "root"}) {
        f = valid();
        f.account = QString::fromLatin1(root);
        f.port = QString();
        EXPECT_EQ(refusalOf(f, resolver), (AlertText{kFailed, "Invalid User."})) << root;
    }
    f = valid();
    f.account = QStringLiteral(" \t");
    f.port = QString();
    EXPECT_EQ(refusalOf(f, resolver), (AlertText{kStd, "Username cannot be blank."}));
    f = valid();
    f.port = QStringLiteral("  ");
    EXPECT_EQ(refusalOf(f, resolver), (AlertText{kStd, "Port field cannot be blank."}));
    // A root account still waits for a host that resolves.
    f = valid();
    f.host = QStringLiteral("nowhere.invalid");
    f.account = QStringLiteral("root");
    EXPECT_EQ(refusalOf(f, resolver), (AlertText{kStd, "Invalid server detials."}));
}

TEST(LoginChecks, DottedAddressesAreNotLookedUpAndNamesAreReplacedByTheirAddress)
{
    FakeResolver resolver;
    resolver.answer = QStringLiteral("192.168.1.20");
    LoginCheck check = checkLoginFields(valid(), resolver.fn());
    EXPECT_FALSE(check.refusal);
    EXPECT_EQ(check.address, "10.0.0.5");
    EXPECT_TRUE(resolver.asked.isEmpty());

    LoginFields named = valid();
    named.host = QStringLiteral("vault.example");
    check = checkLoginFields(named, resolver.fn());
    EXPECT_FALSE(check.refusal);
    EXPECT_EQ(check.address, "192.168.1.20");
    EXPECT_EQ(resolver.asked, QStringList{"vault.example"});

    // The request carries the resolved address and the host as typed.
    const auto request = connectionDictionary(named, check.address);
    EXPECT_EQ(request.value(kLoginIPAddress), "192.168.1.20");
    EXPECT_EQ(request.value(kLoginServerAddress), "vault.example");
    EXPECT_EQ(request.value(kLoginSchema), "tolvanexdb");
    EXPECT_EQ(request.value(kLoginHostPassword), "pw");
    EXPECT_EQ(request.value(kLoginMasterPassword), "master");
    EXPECT_EQ(request.value(kLoginPortNumber), "3306");
}

TEST(LoginChecks, EmptyPasswordsPassAndLocalhostResolves)
{
    LoginFields f = valid();
    f.serverPassword.clear();
    f.masterPassword.clear();
    f.host = QStringLiteral("localhost");
    const LoginCheck check = checkLoginFields(f);
    EXPECT_FALSE(check.refusal);
    EXPECT_FALSE(check.address.isEmpty());
    EXPECT_TRUE(addressForHostName(QStringLiteral("no-such-host.invalid")).isNull());
}

TEST(LoginResults, MessagesByCode)
{
    EXPECT_FALSE(connectionResultAlert(resultOfNumber(0)));
    EXPECT_EQ(connectionResultAlert(resultOfNumber(4)), (AlertText{kFailed, "Master Password does not match."}));
    EXPECT_EQ(connectionResultAlert(resultOfNumber(6)),
              (AlertText{kFailed, "Your account has been disabled. Please contact administrator."}));
    EXPECT_EQ(connectionResultAlert(resultOfNumber(10)), (AlertText{kFailed, "Invalid server detials."}));
    EXPECT_EQ(connectionResultAlert(resultOfNumber(11)), (AlertText{kFailed, "Invalid login credentials."}));
    EXPECT_EQ(connectionResultAlert(resultOfNumber(13)), (AlertText{kFailed, "Invalid User."}));
    // A blocked account: says so, and who lets it in again.
    const auto blocked = connectionResultAlert(resultOfNumber(18));
    ASSERT_TRUE(blocked);
    EXPECT_EQ(blocked->title, kFailed);
    EXPECT_TRUE(blocked->message.contains("blocked") && blocked->message.contains("administrator")) << blocked->message.toStdString();
    // A refused encrypted connection says why, in the database manager's words.
    EXPECT_EQ(connectionResultAlert(resultOfNumber(14), "The server was refused: ..."), (AlertText{kFailed, "The server was refused: ..."}));
    for (int code : {1, 3, 5, 7, 8, 9, 12})
        EXPECT_EQ(connectionResultAlert(resultOfNumber(code)), (AlertText{kStd, " Connection Failed"})) << code;
}

TEST(UnlockAttempts, WarningsLabelAndLockOut)
{
    FailedUnlock four = failedUnlockOutcome(4);
    EXPECT_FALSE(four.warnFiveLeft || four.showAttemptsLabel || four.lockOut);
    FailedUnlock five = failedUnlockOutcome(5);
    EXPECT_TRUE(five.warnFiveLeft && five.showAttemptsLabel);
    EXPECT_FALSE(five.lockOut);
    FailedUnlock six = failedUnlockOutcome(6);
    EXPECT_FALSE(six.warnFiveLeft);
    EXPECT_TRUE(six.showAttemptsLabel);
    EXPECT_TRUE(failedUnlockOutcome(10).lockOut);
    EXPECT_EQ(attemptsLabelText(5), "5 attempts left");
    EXPECT_EQ(attemptsLabelText(7), "3 attempts left");
    EXPECT_FALSE(showsAttemptsLabelAtOpen(4));
    EXPECT_TRUE(showsAttemptsLabelAtOpen(7));
}

TEST(SplitViewRules, LimitsPerSplitView)
{
    EXPECT_DOUBLE_EQ(constrainMinCoordinate(SplitViewKind::Main, 100, 1000), 300);
    EXPECT_DOUBLE_EQ(constrainMinCoordinate(SplitViewKind::Main, 450, 1000), 450);
    EXPECT_DOUBLE_EQ(constrainMinCoordinate(SplitViewKind::Sub, 100, 1000), 200);
    EXPECT_DOUBLE_EQ(constrainMinCoordinate(SplitViewKind::SmartType, 100, 600), 300);
    EXPECT_DOUBLE_EQ(constrainMinCoordinate(SplitViewKind::Other, 100, 600), 0);
    EXPECT_DOUBLE_EQ(constrainMaxCoordinate(SplitViewKind::Main, 900, 1000, 1), 700);
    EXPECT_DOUBLE_EQ(constrainMaxCoordinate(SplitViewKind::Sub, 900, 1000, 1), 550);
    EXPECT_DOUBLE_EQ(constrainMaxCoordinate(SplitViewKind::Sub, 500, 1000, 1), 500);
    EXPECT_DOUBLE_EQ(constrainMaxCoordinate(SplitViewKind::SmartType, 900, 600, 9), 600 - 9 - 92);
    EXPECT_DOUBLE_EQ(constrainMaxCoordinate(SplitViewKind::Other, 900, 600, 9), 0);
}

TEST(SplitViewRules, SmartTypePaneKeepsItsMinimumHeight)
{
    const QStringList low{"{{0, 0}, {200, 400}}", "{{0, 410}, {200, 50}}"};
    const auto fixed = smartTypeLayoutKeepingMinimum(low, 10, false);
    ASSERT_TRUE(fixed);
    EXPECT_DOUBLE_EQ(rectFromString(fixed->at(1)).height(), 92);
    EXPECT_DOUBLE_EQ(rectFromString(fixed->at(0)).height(), 450 - 10 - 92);
    EXPECT_DOUBLE_EQ(rectFromString(fixed->at(1)).width(), 200);

    const QStringList tall{"{{0, 0}, {200, 300}}", "{{0, 310}, {200, 150}}"};
    EXPECT_FALSE(smartTypeLayoutKeepingMinimum(tall, 10, false));
    // Called without a notice the pane is set to the minimum all the same.
    ASSERT_TRUE(smartTypeLayoutKeepingMinimum(tall, 10, true));
    EXPECT_DOUBLE_EQ(rectFromString(smartTypeLayoutKeepingMinimum(tall, 10, true)->at(1)).height(), 92);
    EXPECT_FALSE(smartTypeLayoutKeepingMinimum(QStringList{"{{0, 0}, {1, 1}}"}, 10, true));
    EXPECT_EQ(rectFromString(stringFromRect(QRectF(1.5, -2, 30, 40))), QRectF(1.5, -2, 30, 40));
}
