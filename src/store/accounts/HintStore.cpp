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
    const auto guard = mDatabase.lockConnection(); // one thread at a time on the connection
    const QString answer = user.mHintAnswer().isNull() ? QStringLiteral("") : user.mHintAnswer();
    const QString hint = user.mHintEntered().isNull() ? QStringLiteral("") : user.mHintEntered();
    const int question = user.mHintQuestionNumber();
    const QString hintKey = question == 0 ? kHintQuestionNone : answer;
    const QByteArray questionBlob =
        question > 0 ? encryptForHint(answer, kQuestions.value(question)) : QByteArray();
    (void)tvxsql::runReporting(mDatabase, code, [&] {
        std::unique_ptr<sql::PreparedStatement> number(mDatabase.liveConnection().prepareStatement(UpdHintQnNoVal));
        number->setInt(1, question);
        number->setString(2, user.mUserID().toStdString());
        number->executeUpdate();

        std::unique_ptr<sql::PreparedStatement> answerStmt(mDatabase.liveConnection().prepareStatement(UpdHintQnAnsVal));
        auto answerBlob = tvxsql::blobStream(encryptForHint(hintKey, hint));
        answerStmt->setBlob(1, answerBlob->stream());
        answerStmt->setString(2, user.mUserID().toStdString());
        answerStmt->executeUpdate();

        std::unique_ptr<sql::PreparedStatement> questionStmt(mDatabase.liveConnection().prepareStatement(UpdHintQnVal));
        auto questionStream = tvxsql::blobStream(questionBlob);
        questionStmt->setBlob(1, questionStream->stream());
        questionStmt->setString(2, user.mUserID().toStdString());
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
        const auto row = readHintColumns(*mDatabase.connection(), currentUser().mUserID());
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
        if (const auto row = readHintColumns(*mDatabase.connection(), currentUser().mUserID()))
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
        const auto row = readHintColumns(*mDatabase.connection(), currentUser().mUserID());
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

TVXResult TVXPasswordHint::setPassword(const QString& password, const QString& hint)
{
    const auto guard = mDatabase.lockConnection(); // one thread at a time on the connection
    // Refused before anything is written: the hint would not read back as typed.
    if (!tvxsql::readsBackAsWritten(hint))
        return kTVXStatementFailed;
    TVXUser& user = currentUser();
    user.setMPassword(password);
    user.setMHintEntered(hint);
    user.setMHintQuestionNumber(0);
    user.setMHintAnswer(QStringLiteral(""));
    TVXResult code = kTVXDone;
    saveHintPreferencs(user, &code);
    resetPasswordForUser(user, &code);
    return code;
}

TVXResult TVXPasswordHint::setPassword(const QString& password, const std::optional<QVariantHash>& hintDictionary)
{
    const auto guard = mDatabase.lockConnection(); // one thread at a time on the connection
    if (password.isEmpty())
        return kTVXDone;
    if (hintDictionary && !tvxsql::readsBackAsWritten(hintDictionary->value(kUserPasswordHint).toString()))
        return kTVXStatementFailed; // before anything is written
    TVXUser& user = currentUser();
    if (hintDictionary) {
        user.setMPassword(password);
        user.setMHintQuestionNumber(
            static_cast<int16_t>(hintDictionary->value(kUserPasswordHintQuestionNumber).toInt()));
        user.setMHintAnswer(hintDictionary->value(kUserPasswordHintAnswer).toString());
        user.setMHintEntered(hintDictionary->value(kUserPasswordHint).toString());
    }
    user.setMAutoLOck(true);
    TVXResult code = kTVXDone;
    saveHintPreferencs(user, &code);
    resetPasswordForUser(user, &code);
    return code;
}

void TVXPasswordHint::resetPasswordForUser(const TVXUser& user, TVXResult* code)
{
    const auto guard = mDatabase.lockConnection(); // one thread at a time on the connection
    auto* native = dynamic_cast<sql::mysql::MySQL_Connection*>(mDatabase.connection());
    if (!native || !tvxsql::isValidAccountName(user.mUsername())) {
        // A name that could change the statement's form is never sent.
        if (code)
            *code = kTVXStatementFailed;
        return;
    }
    const std::string escaped = native->escapeString(user.mPassword().toStdString()).asStdString();
    QString statement = QString::fromUtf8(kQuerySetUserPassword);
    statement.replace(statement.indexOf(QLatin1String("%@")), 2, user.mUsername());
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
    if (code)
        *code = kTVXDone;
    try {
        std::unique_ptr<sql::PreparedStatement> stmt(
            mDatabase.liveConnection().prepareStatement(kQueryUpdateUserPassword));
        auto stored = tvxsql::blobStream(mDatabase.encryptDataString(user.mPassword()));
        stmt->setBlob(1, stored->stream());
        stmt->setString(2, user.mUserID().toStdString());
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
