// Preferences, the user's own password and the hint, on a real store.
#include "model/TVXUser.h"
#include "store/accounts/HintQuestions.h"
#include "store/accounts/PreferencesStore.h"
#include "store/TVXDataBase.h"
#include "support/TestStore.h"

#include <cppconn/connection.h>

using namespace teststore;

namespace {

class Preferences : public StoreTest {
protected:
    void SetUp() override
    {
        StoreTest::SetUp();
        ASSERT_EQ(logInAndLoad(db, kUserName, kUserPassword), kTVXDone);
        givePreferenceRow(aliceID, kUserName);
    }


    QString row()
    {
        return rootQueryValue(QStringLiteral(
            "SELECT CONCAT_WS('|', USERID, USERNAME, CURRENTTYPE, CURRENTCATEGORY, WINDOWPOS, SORTINFO, "
            "SHOWDETAILPANE, DETAILPANEWIDTH, AUTOLOCK, FONTHEIGHT, FONTWIDTH, FONTESCAPEMENT, FONTORIENTATION, "
            "FONTWEIGHT, FONTITALIC, FONTUNDERLINE, FONTSTRIKEOUT, FONTCHARSET, FONTOUTPRECISION, "
            "FONTCLIPPRECISION, FONTQUALITY, FONTPITCHANDFAMILY, FONTNAME, ROWCOLOR, SLEEPMINUTES, "
            "MAXSLEEPMINUTES, PWDGENFLAG, CSAESENSITIVESEARCH, WHOLEWORDSEARCH, HINTQNO, HEX(HINTQANSWER), "
            "HEX(HINTQUESTION), LASTVIEW, AUTOSUBMIT, SEARCHCOLUMN, CLEARCLIPBOARDONEXIT, CLEARCLIPBOARDTIMER, "
            "MINIMISETOSYSTRAY, LOGINATTEMPTCOUNT, EXPORTIMPORTTIP, BACKUPRESTORETIP) FROM "
            "tolvanexdb.APPPREFTABLE WHERE USERID='%1'")
                                  .arg(aliceID));
    }

    // The columns that differ between two snapshots of the row.
    static QList<int> changed(const QString& before, const QString& after)
    {
        const QStringList a = before.split('|'), b = after.split('|');
        QList<int> columns;
        for (int i = 0; i < std::max(a.size(), b.size()); ++i)
            if (a.value(i) != b.value(i))
                columns << i + 1;
        return columns;
    }

    TVXDataBase db;
};

} // namespace

TEST_F(Preferences, ANewRowHasTheDefaults)
{
    EXPECT_EQ(row(), QStringLiteral("%1|alice|000000000000FFFF|%1||65539|1|290|1|13|0|0|0|400|0|0|0|1|0|0|0|0|ArialMT|"
                                    "16777215|10|60|65535|0|0|0|||1|0|0|0|30|0|0|65537|65537")
                         .arg(aliceID));
    // An existing row is left as it is.
    rootExec("UPDATE tolvanexdb.APPPREFTABLE SET LASTVIEW=3");
    givePreferenceRow(aliceID, kUserName);
    EXPECT_EQ(rootQueryValue("SELECT LASTVIEW FROM tolvanexdb.APPPREFTABLE"), "3");

    TVXDataBase second;
    ASSERT_EQ(logInAndLoad(second, kUserName, kUserPassword), kTVXDone);
    const TVXUser& user = *second.caches().mCurrentUser();
    EXPECT_EQ(user.mSortingInfo(), (TVXSortDescriptor{"3", true}));
    EXPECT_EQ(user.mCurrentType(), "000000000000FFFF");
    EXPECT_EQ(user.mCurrentGroup(), aliceID);
    EXPECT_EQ(user.mDetailPanelWidth(), 290);
    EXPECT_TRUE(user.mAutoLOck());
    EXPECT_EQ(user.mRowColor(), QColor(Qt::white));
    EXPECT_EQ(user.mPwdGenFlag(), 255);
    EXPECT_EQ(user.mLockTime(), 10);
    EXPECT_EQ(user.mMAxLockTime(), 60);
    EXPECT_EQ(user.mClearClipBoardTimer(), 30);
    EXPECT_EQ(user.mTextFont().family(), "ArialMT");
    EXPECT_EQ(user.mTextFont().pointSize(), 13);
    EXPECT_EQ(user.mWindowPosition(), TVXPreferences::defaultWindowFrame(TVXUser::mainScreenSize()));
}

TEST_F(Preferences, EachWriterChangesOnlyItsColumns)
{
    TVXUser& user = *db.caches().mCurrentUser();
    const auto check = [&](auto write, QList<int> expected) {
        const QString before = row();
        write();
        EXPECT_EQ(changed(before, row()), expected);
    };
    user.setMLastView(2);
    check([&] { EXPECT_EQ(db.preferences().saveLastViewForUser(user), kTVXDone); }, {33});
    user.setMCurrentGroup("00000000000000A1");
    check([&] { EXPECT_EQ(db.preferences().saveCurrentGroupForUser(user), kTVXDone); }, {4});
    check([&] { EXPECT_EQ(db.preferences().setToggleInfo(false), kTVXDone); }, {7});
    check([&] { EXPECT_EQ(db.preferences().setSortDescriptor({"5", false}), kTVXDone); }, {6});
    check([&] { EXPECT_EQ(db.preferences().setPasswordGeneratorFlags(7), kTVXDone); }, {27});
    check([&] { EXPECT_EQ(db.preferences().setNumberofAttemptsLeft(4, &user), kTVXDone); }, {39});
    user.setMWindowPosition(QRectF(100, 250, 800, 600));
    user.setMDetailPanelWidth(333);
    check([&] { db.preferences().saveBasicPreferencesForUser(user, nullptr); }, {5, 8});
    QFont font("DejaVu Sans", 15);
    font.setBold(true);
    user.setMTextFont(font);
    user.setMRowColor(QColor(10, 20, 30));
    user.setMLockTime(5);
    user.setMAutoLOck(false);
    user.setMClearClipBoardTimer(12);
    user.setMClipBoardOnExit(true);
    check([&] { db.preferences().saveOptionPanelPreferencesForUser(user, nullptr); }, {9, 10, 14, 23, 24, 25, 36, 37});
    EXPECT_EQ(rootQueryValue("SELECT CONCAT_WS(',', FONTNAME, FONTWEIGHT, ROWCOLOR) FROM tolvanexdb.APPPREFTABLE"),
              QStringLiteral("DejaVu Sans-Bold,700,%1").arg(10 + 20 * 256 + 30 * 65536));

    // A second client reads them all back.
    TVXDataBase second;
    ASSERT_EQ(logInAndLoad(second, kUserName, kUserPassword), kTVXDone);
    const TVXUser& other = *second.caches().mCurrentUser();
    EXPECT_EQ(other.mLastView(), 2);
    EXPECT_EQ(other.mCurrentGroup(), "00000000000000A1");
    EXPECT_FALSE(other.mShowDetailOnPane());
    EXPECT_EQ(other.mSortingInfo(), (TVXSortDescriptor{"5", false}));
    EXPECT_EQ(other.mPwdGenFlag(), 7);
    EXPECT_EQ(other.mLoginAttemptCount(), 4);
    EXPECT_EQ(other.mDetailPanelWidth(), 333);
    EXPECT_EQ(other.mTextFont().family(), "DejaVu Sans");
    EXPECT_TRUE(other.mTextFont().bold());
    EXPECT_EQ(other.mTextFont().pointSize(), 15);
    EXPECT_EQ(other.mRowColor(), QColor(10, 20, 30));
    EXPECT_EQ(other.mLockTime(), 5);
    EXPECT_FALSE(other.mAutoLOck());
    EXPECT_EQ(other.mClearClipBoardTimer(), 12);
    const QSizeF screen = TVXUser::mainScreenSize();
    EXPECT_EQ(other.mWindowPosition(),
              TVXPreferences::getRectFromWindowPosition(
                  TVXPreferences::getWindowDimensionsInWindowsStandard(QRectF(100, 250, 800, 600), screen, false), screen));
}

TEST_F(Preferences, ChangingOnesOwnPasswordChangesTheServerAccount)
{
    const QString newPassword = QStringLiteral("n3w'p\\w\"d");
    QVariantHash hint{{kUserPasswordHintQuestionNumber, 4},
                      {kUserPasswordHintAnswer, QStringLiteral("Türkis")},
                      {kUserPasswordHint, QStringLiteral("the colour of the sea, twice")}};
    EXPECT_EQ(db.passwordHint().setPassword(newPassword, hint), kTVXDone);
    EXPECT_EQ(db.caches().mCurrentUser()->mPassword(), newPassword);
    EXPECT_TRUE(db.caches().mCurrentUser()->mAutoLOck());

    TVXDataBase again;
    EXPECT_EQ(again.startConnectionToServer(loginRequest(kUserName, kUserPassword)), kTVXAccessDenied);
    EXPECT_EQ(again.startConnectionToServer(loginRequest(kUserName, newPassword)), kTVXDone);
    ASSERT_EQ(again.initUserDetails(kUserName, newPassword), kTVXDone);
    EXPECT_EQ(again.caches().mCurrentUser()->mPassword(), newPassword); // the stored copy

    // The hint opens with the answer to question 4 only.
    EXPECT_TRUE(db.passwordHint().isHintExist(*db.caches().mCurrentUser(), nullptr));
    EXPECT_EQ(db.passwordHint().passwordHintForUser(*db.caches().mCurrentUser(), "Türkis", nullptr), "the colour of the sea, twice");
    EXPECT_TRUE(db.passwordHint().validatePasswordHintAnswerForUser(kUserName, "Türkis", 4, nullptr));
    EXPECT_FALSE(db.passwordHint().validatePasswordHintAnswerForUser(kUserName, "Rot", 4, nullptr));
    EXPECT_FALSE(db.passwordHint().validatePasswordHintAnswerForUser(kUserName, "Türkis", 5, nullptr));
    EXPECT_FALSE(db.passwordHint().validatePasswordHintAnswerForUser("bob", "Türkis", 4, nullptr));

    // A hint without a question opens with the text of question 0.
    EXPECT_EQ(db.passwordHint().setPassword(newPassword, QStringLiteral("ask the admin")), kTVXDone);
    EXPECT_EQ(db.passwordHint().passwordHintForUser(*db.caches().mCurrentUser(), nullptr), "ask the admin");
    EXPECT_EQ(rootQueryValue("SELECT HEX(HINTQUESTION) FROM tolvanexdb.APPPREFTABLE"), "");

    EXPECT_EQ(db.passwordHint().setPassword(newPassword, QString()), kTVXDone);
    EXPECT_FALSE(db.passwordHint().isHintExist(*db.caches().mCurrentUser(), nullptr));
}

TEST_F(Preferences, AHintThatWouldNotReadBackAsTypedIsRefusedBeforeThePasswordChanges)
{
    const QString newPassword = QStringLiteral("n3w-pw-42");
    for (const QString& hint : {QString(QChar(0xFEFF)) + "sea", QString("se") + QChar(0xD800) + "a"}) {
        EXPECT_EQ(db.passwordHint().setPassword(newPassword, hint), kTVXStatementFailed);
        EXPECT_EQ(db.passwordHint().setPassword(newPassword, QVariantHash{{kUserPasswordHintQuestionNumber, 4},
                                                          {kUserPasswordHintAnswer, QStringLiteral("blue")},
                                                          {kUserPasswordHint, hint}}),
                  kTVXStatementFailed);
    }
    // Nothing was changed: the old password still opens the account.
    TVXDataBase again;
    EXPECT_EQ(again.startConnectionToServer(loginRequest(kUserName, kUserPassword)), kTVXDone);
}

TEST_F(Preferences, AnAccountNameThatWouldChangeTheStatementIsNeverSent)
{
    db.caches().mCurrentUser()->setMUsername("alice' OR '1'='1");
    TVXResult code = resultOfNumber(-1); // not set by the call
    db.passwordHint().resetPasswordForUser(*db.caches().mCurrentUser(), &code);
    EXPECT_EQ(code, kTVXStatementFailed);
    TVXDataBase again;
    EXPECT_EQ(again.startConnectionToServer(loginRequest()), kTVXDone);
}
