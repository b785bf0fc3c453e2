// The user's own password (the server account's too), the password hint and
// the password policy.
#include "crypto/Rijndael.h"
#include "model/BMPasswordPolicyController.h"
#include "model/TVXUser.h"
#include "store/accounts/HintQuestions.h"
#include "store/accounts/HintStore.h"
#include "store/schema/QueryConstants.h"
#include "store/accounts/AccountNames.h"
#include "store/session/StatementHelpers.h"
#include "store/session/StatementRunner.h"
#include "store/loading/StoreCaches.h"
#include "store/session/StoreSession.h"

#include <cppconn/connection.h>
#include <cppconn/exception.h>
#include <cppconn/prepared_statement.h>
#include <cppconn/resultset.h>
#include <cppconn/statement.h>
#include <mysql_connection.h>

#include <cstring>

namespace {

constexpr int kErrNoReloadPrivilege = 1227;

CRijndael hintCipher(const QString& key)
{
    char keyBytes[16] = {};
    const QByteArray utf8 = key.toUtf8();
    std::memcpy(keyBytes, utf8.constData(), std::min<qsizetype>(utf8.size(), 16));
    CRijndael cipher;
    cipher.MakeKey(keyBytes, CRijndael::sm_chain0, 16, 16);
    return cipher;
}

// The readers report no error to the main thread; they map the number.
TVXResult hintReaderCode(const sql::SQLException& e)
{
    const int number = e.getErrorCode();
    if (number == kErrTableAccessDenied || number == kErrColumnAccessDenied)
        return kTVXAccountDeleted;
    if (number == kErrServerLost)
        return kTVXClientError;
    return kTVXStatementFailed;
}

} // namespace


TVXUser& TVXPasswordHint::currentUser() const { return *mDatabase.caches().mCurrentUser(); }

QByteArray TVXPasswordHint::encryptForHint(const QString& key, const QString& value)
{
    const QByteArray plain = value.toUtf8();
    if (plain.isEmpty())
        return {};
    // floor(n / 16) + 1 blocks: a whole last block gains a block of zeros.
    const qsizetype blocks = plain.size() / 16 + 1;
    QByteArray padded(blocks * 16, '\0');
    std::memcpy(padded.data(), plain.constData(), static_cast<size_t>(plain.size()));
    QByteArray cipherText(padded.size(), '\0');
    const CRijndael cipher = hintCipher(key);
    for (qsizetype i = 0; i < blocks; ++i)
        cipher.EncryptBlock(padded.constData() + 16 * i, cipherText.data() + 16 * i);
    return cipherText;
}

QString TVXPasswordHint::decryptForHint(const QString& key, const QByteArray& stored)
{
    if (stored.isEmpty())
        return QStringLiteral("");
    const CRijndael cipher = hintCipher(key);
    QByteArray plain;
    char block[16];
    for (qsizetype offset = 0; offset + 16 <= stored.size(); offset += 16) {
        cipher.DecryptBlock(stored.constData() + offset, block);
        plain.append(block, static_cast<qsizetype>(strnlen(block, 16)));
    }
    return QString::fromUtf8(plain);
}

void TVXPasswordHint::saveHintPreferencs(const TVXUser& user, TVXResult* code)
{
    writeHintColumns(user.mUserID(), user.mHintQuestionNumber(),
                     user.mHintAnswer().isNull() ? QStringLiteral("") : user.mHintAnswer(),
                     user.mHintEntered().isNull() ? QStringLiteral("") : user.mHintEntered(), code);
}

void TVXPasswordHint::writeHintColumns(const QString& userID, int16_t question, const QString& answer,
                                       const QString& hint, TVXResult* code)
{
    const auto guard = mDatabase.lockConnection(); // one thread at a time on the connection
    const QString hintKey = question == 0 ? kHintQuestionNone : answer;
    const QByteArray questionBlob =
        question > 0 ? encryptForHint(answer, kQuestions.value(question)) : QByteArray();
    (void)tvxsql::runReporting(mDatabase, code, [&] {
        std::unique_ptr<sql::PreparedStatement> number(mDatabase.liveConnection().prepareStatement(UpdHintQnNoVal));
        number->setInt(1, question);
        number->setString(2, userID.toStdString());
        number->executeUpdate();

        std::unique_ptr<sql::PreparedStatement> answerStmt(mDatabase.liveConnection().prepareStatement(UpdHintQnAnsVal));
        auto answerBlob = tvxsql::blobStream(encryptForHint(hintKey, hint));
        answerStmt->setBlob(1, answerBlob->stream());
        answerStmt->setString(2, userID.toStdString());
        answerStmt->executeUpdate();

        std::unique_ptr<sql::PreparedStatement> questionStmt(mDatabase.liveConnection().prepareStatement(UpdHintQnVal));
        auto questionStream = tvxsql::blobStream(questionBlob);
        questionStmt->setBlob(1, questionStream->stream());
        questionStmt->setString(2, userID.toStdString());
        questionStmt->executeUpdate();
    });
}

namespace {

// The signed-in user's preference row: the two hint columns, or nothing.
struct HintColumns {
    QByteArray answer;   // HINTQANSWER
    QByteArray question; // HINTQUESTION
};

std::optional<HintColumns> readHintColumns(sql::Connection& connection, const QString& userID)
{
    std::unique_ptr<sql::PreparedStatement> stmt(connection.prepareStatement(kQueryAppPreference));
    stmt->setString(1, userID.toStdString());
    std::unique_ptr<sql::ResultSet> rs(stmt->executeQuery());
    if (!rs->next())
        return std::nullopt;
    return HintColumns{tvxsql::blobColumn(*rs, 31), tvxsql::blobColumn(*rs, 32)};
}

} // namespace

bool TVXPasswordHint::isHintExist(const TVXUser& user, TVXResult* code)
{
    const auto guard = mDatabase.lockConnection(); // one thread at a time on the connection
    (void)user; // the signed-in user's row is read
    try {
        const auto row = readHintColumns(mDatabase.liveConnection(), currentUser().mUserID());
        if (code)
            *code = kTVXDone;
        return row && !row->answer.isEmpty();
    } catch (const sql::SQLException& e) {
        if (code)
            *code = hintReaderCode(e);
        return false;
    }
}

QString TVXPasswordHint::passwordHintForUser(const TVXUser& user, const QString& answer, TVXResult* code)
{
    const auto guard = mDatabase.lockConnection(); // one thread at a time on the connection
    (void)user;
    currentUser().setMHintEntered(QStringLiteral(""));
    try {
        if (const auto row = readHintColumns(mDatabase.liveConnection(), currentUser().mUserID()))
            currentUser().setMHintEntered(decryptForHint(answer, row->answer));
        if (code)
            *code = kTVXDone;
    } catch (const sql::SQLException& e) {
        if (code)
            *code = hintReaderCode(e);
    }
    return currentUser().mHintEntered();
}

QString TVXPasswordHint::passwordHintForUser(const TVXUser& user, TVXResult* code)
{
    const auto guard = mDatabase.lockConnection(); // one thread at a time on the connection
    return passwordHintForUser(user, kHintQuestionNone, code);
}

bool TVXPasswordHint::validatePasswordHintAnswerForUser(const QString& userName, const QString& answer,
                                                    int16_t questionNumber, TVXResult* code)
{
    const auto guard = mDatabase.lockConnection(); // one thread at a time on the connection
    try {
        const auto row = readHintColumns(mDatabase.liveConnection(), currentUser().mUserID());
        if (code)
            *code = kTVXDone;
        if (!row || questionNumber <= 0)
            return false;
        return userName == currentUser().mUsername()
               && decryptForHint(answer, row->question) == kQuestions.value(questionNumber)
               && questionNumber == currentUser().mHintQuestionNumber();
    } catch (const sql::SQLException& e) {
        if (code)
            *code = hintReaderCode(e);
        return false;
    }
}

void TVXPasswordHint::readBehindWindow(std::function<void(HintReading&)> read, HintAnswer answer)
{
    auto reading = std::make_shared<HintReading>();
    mDatabase.saveBehindWindow(
        [this, reading, read = std::move(read)] {
            const auto guard = mDatabase.lockConnection(); // one thread at a time on the connection
            try {
                read(*reading);
            } catch (const sql::SQLException& e) {
                *reading = HintReading{hintReaderCode(e)};
            } catch (const std::exception&) {
                *reading = HintReading{kTVXStatementFailed};
            }
            return reading->code;
        },
        [reading, answer = std::move(answer)](TVXResult) {
            if (answer)
                answer(*reading);
        });
}

void TVXPasswordHint::keepHintRead(const QString& userID, const QString& hint)
{
    mDatabase.afterServer([this, userID, hint] {
        if (currentUser().mUserID() == userID)
            currentUser().setMHintEntered(hint);
    });
}

void TVXPasswordHint::readHintBehindWindow(HintAnswer answer)
{
    const QString userID = currentUser().mUserID();
    readBehindWindow(
        [this, userID](HintReading& reading) {
            const auto row = readHintColumns(mDatabase.liveConnection(), userID);
            reading.exists = row && !row->answer.isEmpty();
            if (!reading.exists)
                return;
            reading.hint = decryptForHint(kHintQuestionNone, row->answer);
            keepHintRead(userID, reading.hint);
        },
        std::move(answer));
}

void TVXPasswordHint::checkHintAnswerBehindWindow(const QString& answer, HintAnswer then)
{
    const QString userID = currentUser().mUserID();
    const int16_t question = currentUser().mHintQuestionNumber();
    readBehindWindow(
        [this, userID, question, answer](HintReading& reading) {
            const auto row = readHintColumns(mDatabase.liveConnection(), userID);
            reading.exists = row && !row->answer.isEmpty();
            reading.rightAnswer = row && question > 0
                                  && decryptForHint(answer, row->question) == kQuestions.value(question);
            if (!reading.rightAnswer)
                return;
            reading.hint = decryptForHint(answer, row->answer);
            keepHintRead(userID, reading.hint);
        },
        std::move(then));
}

bool TVXPasswordHint::isPasswordEnableForUser(const TVXUser& user, TVXResult* code)
{
    if (code)
        *code = kTVXDone;
    return !user.mPassword().isEmpty();
}

bool TVXPasswordHint::doesPasswordMatchForUser(const TVXUser* user, const QString& typed)
{
    if (!user || typed.isEmpty())
        return false;
    return user->mPassword() == typed;
}

bool TVXPasswordHint::validatePasswordForUser(const TVXUser& user, const QString& typed, TVXResult* code) const
{
    if (code)
        *code = kTVXDone;
    return user.mUserID() == currentUser().mUserID() && doesPasswordMatchForUser(&user, typed);
}

bool TVXPasswordHint::isChangePasswordEnableForUser(const TVXUser& user, TVXResult* code)
{
    if (code)
        *code = kTVXDone;
    return !user.mIsNotAllowedToChangePassword();
}

TVXPasswordHint::PasswordChange TVXPasswordHint::passwordChange(const QString& password, const QString& hint) const
{
    PasswordChange change{currentUser().mUserID(), currentUser().mUsername(), password, 0, QStringLiteral(""), hint};
    // Refused before anything is written: the hint would not read back as typed.
    change.refused = !tvxsql::readsBackAsWritten(hint);
    return change;
}

TVXPasswordHint::PasswordChange
TVXPasswordHint::passwordChange(const QString& password, const std::optional<QVariantHash>& hintDictionary) const
{
    const TVXUser& user = currentUser();
    PasswordChange change{user.mUserID(), user.mUsername(), user.mPassword(), user.mHintQuestionNumber(),
                          user.mHintAnswer().isNull() ? QStringLiteral("") : user.mHintAnswer(),
                          user.mHintEntered().isNull() ? QStringLiteral("") : user.mHintEntered(), true};
    if (hintDictionary) {
        change.password = password;
        change.questionNumber = static_cast<int16_t>(hintDictionary->value(kUserPasswordHintQuestionNumber).toInt());
        change.answer = hintDictionary->value(kUserPasswordHintAnswer).toString();
        change.hint = hintDictionary->value(kUserPasswordHint).toString();
        change.refused = !tvxsql::readsBackAsWritten(change.hint); // before anything is written
    }
    return change;
}

TVXResult TVXPasswordHint::sendPasswordChange(const PasswordChange& change, PasswordChangeTaken& taken)
{
    if (change.refused)
        return kTVXStatementFailed;
    // The server account first: when it refuses, nothing else changes.
    TVXResult code = kTVXDone;
    writeAccountPassword(change.userName, change.userID, change.password, &code, &taken.password);
    if (!taken.password)
        return code;
    // A refused hint has been reported on the error path; the password changed all the same.
    TVXResult hintCode = kTVXDone;
    writeHintColumns(change.userID, change.questionNumber, change.answer, change.hint, &hintCode);
    taken.hint = hintCode == kTVXDone;
    return code;
}

void TVXPasswordHint::keepPasswordChange(const PasswordChange& change, const PasswordChangeTaken& taken)
{
    TVXUser& user = currentUser();
    if (user.mUserID() != change.userID)
        return; // another log-in meanwhile
    if (taken.password) {
        user.setMPassword(change.password);
        if (change.autoLock)
            user.setMAutoLOck(true);
    }
    if (taken.hint) {
        user.setMHintQuestionNumber(change.questionNumber);
        user.setMHintAnswer(change.answer);
        user.setMHintEntered(change.hint);
    }
}

TVXResult TVXPasswordHint::runPasswordChange(const PasswordChange& change)
{
    PasswordChangeTaken taken;
    const TVXResult code = sendPasswordChange(change, taken);
    keepPasswordChange(change, taken);
    return code;
}

void TVXPasswordHint::sendPasswordChangeBehindWindow(PasswordChange change, PasswordAnswer answer)
{
    mDatabase.saveBehindWindow(
        [this, change = std::move(change)] {
            PasswordChangeTaken taken;
            const TVXResult code = sendPasswordChange(change, taken);
            mDatabase.afterServer([this, change, taken] { keepPasswordChange(change, taken); });
            return code;
        },
        std::move(answer));
}

TVXResult TVXPasswordHint::setPassword(const QString& password, const QString& hint)
{
    return runPasswordChange(passwordChange(password, hint));
}

TVXResult TVXPasswordHint::setPassword(const QString& password, const std::optional<QVariantHash>& hintDictionary)
{
    if (password.isEmpty())
        return kTVXDone;
    return runPasswordChange(passwordChange(password, hintDictionary));
}

void TVXPasswordHint::setPasswordBehindWindow(const QString& password, const QString& hint, PasswordAnswer answer)
{
    sendPasswordChangeBehindWindow(passwordChange(password, hint), std::move(answer));
}

void TVXPasswordHint::setPasswordBehindWindow(const QString& password,
                                              const std::optional<QVariantHash>& hintDictionary, PasswordAnswer answer)
{
    if (password.isEmpty()) {
        mDatabase.saveBehindWindow([] { return kTVXDone; }, std::move(answer));
        return;
    }
    sendPasswordChangeBehindWindow(passwordChange(password, hintDictionary), std::move(answer));
}

void TVXPasswordHint::resetPasswordForUser(const TVXUser& user, TVXResult* code)
{
    writeAccountPassword(user.mUsername(), user.mUserID(), user.mPassword(), code);
}

void TVXPasswordHint::writeAccountPassword(const QString& userName, const QString& userID, const QString& password,
                                           TVXResult* code, bool* accountTaken)
{
    const auto guard = mDatabase.lockConnection(); // one thread at a time on the connection
    if (accountTaken)
        *accountTaken = false;
    auto* native = dynamic_cast<sql::mysql::MySQL_Connection*>(mDatabase.connection());
    if (!native || !tvxsql::isValidAccountName(userName)) {
        // A name that could change the statement's form is never sent.
        if (code)
            *code = kTVXStatementFailed;
        return;
    }
    const std::string escaped = native->escapeString(password.toStdString()).asStdString();
    QString statement = QString::fromUtf8(kQuerySetUserPassword);
    statement.replace(statement.indexOf(QLatin1String("%@")), 2, userName);
    statement.replace(statement.indexOf(QLatin1String("%@")), 2, QString::fromStdString(escaped));
    try {
        std::unique_ptr<sql::Statement> stmt(mDatabase.liveConnection().createStatement());
        stmt->execute(statement.toStdString());
    } catch (const sql::SQLException& e) {
        // The server's message may quote the statement, and with it the password.
        const TVXResult failed = mDatabase.reportDatabaseError(
            sql::SQLException("Setting the account password failed", e.getSQLStateCStr(), e.getErrorCode()));
        if (code)
            *code = failed;
        return;
    }
    if (accountTaken)
        *accountTaken = true;
    if (code)
        *code = kTVXDone;
    try {
        std::unique_ptr<sql::PreparedStatement> stmt(
            mDatabase.liveConnection().prepareStatement(kQueryUpdateUserPassword));
        auto stored = tvxsql::blobStream(mDatabase.encryptDataString(password));
        stmt->setBlob(1, stored->stream());
        stmt->setString(2, userID.toStdString());
        stmt->executeUpdate();
    } catch (const sql::SQLException& e) {
        // The server account already has the new password: say the copy failed.
        const TVXResult failed = mDatabase.reportDatabaseError(e);
        if (code)
            *code = failed;
        return;
    }
    try {
        std::unique_ptr<sql::Statement> stmt(mDatabase.liveConnection().createStatement());
        stmt->execute(kFlushPriviliges);
    } catch (const sql::SQLException& e) {
        // A plain account may not flush; SET PASSWORD has taken effect anyway.
        if (e.getErrorCode() != kErrNoReloadPrivilege) {
            const TVXResult failed = mDatabase.reportDatabaseError(e);
            if (code)
                *code = failed;
        }
    }
}

std::optional<QVariantHash> TVXPasswordHint::passwordPolicyDetails(TVXResult* code)
{
    QVariantHash policy;
    const TVXResult result = mDatabase.runOnConnection([&policy](sql::Connection& connection) {
        const auto readValue = [&connection](const char* query) {
            std::unique_ptr<sql::PreparedStatement> stmt(connection.prepareStatement(query));
            std::unique_ptr<sql::ResultSet> rs(stmt->executeQuery());
            if (rs->next() && rs->rowsCount() > 0 && !rs->isNull(1))
                return tvxsql::textColumn(*rs, 1).trimmed().toInt();
            return 0;
        };
        policy.insert(kSPPMinLength, readValue(kQueryReadPasswordPolicyAttrMinLength));
        policy.insert(kSPPCharSetFlag, readValue(kQueryReadPasswordPolicyAttrCharSetFlag));
        return kTVXDone;
    });
    // A failure reached the error path; the caller's code says so and there is no policy.
    if (code)
        *code = result;
    if (result != kTVXDone)
        return std::nullopt;
    return policy;
}
