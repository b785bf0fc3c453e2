#pragma once
// The signed-in user's own password (the server account's and the stored
// copy), the password hint and the server's policy for new passwords, owned by
// the database manager. The hint
// columns of APPPREFTABLE stay enciphered under the hint's answer: only the
// right answer opens them. The manager holds one of these: these are its
// password and hint calls.
#include "store/session/ResultCodes.h"
#include <QByteArray>
#include <QString>
#include <QVariantHash>

#include <memory>
#include <optional>

class TVXStoreSession;
class TVXUser;

class TVXPasswordHint {
public:

    // The hint cipher: AES-128 blocks, key = first 16 bytes of the key text zero-padded.
    static QByteArray encryptForHint(const QString& key, const QString& value);
    static QString decryptForHint(const QString& key, const QByteArray& stored);
    // Writes the question number, the hint (under the answer) and the
    // question (under the answer) of the user's row.
    void saveHintPreferencs(const TVXUser& user, TVXResult* code);
    // The readers look at the signed-in user's row; they report no error to
    // the main thread: 7 access refused (account deleted), 9 a lost server,
    // 3 other failures.
    bool isHintExist(const TVXUser& user, TVXResult* code);
    // The hint deciphered with the answer (empty for a wrong one); it also
    // becomes the signed-in user's entered hint.
    QString passwordHintForUser(const TVXUser& user, const QString& answer, TVXResult* code);
    QString passwordHintForUser(const TVXUser& user, TVXResult* code);
    // Whether the name is the signed-in user's and the answer opens the
    // stored question of that number.
    bool validatePasswordHintAnswerForUser(const QString& userName, const QString& answer, int16_t questionNumber,
                                           TVXResult* code);
    static bool isPasswordEnableForUser(const TVXUser& user, TVXResult* code = nullptr);
    bool validatePasswordForUser(const TVXUser& user, const QString& typed, TVXResult* code = nullptr) const;
    static bool doesPasswordMatchForUser(const TVXUser* user, const QString& typed);
    static bool isChangePasswordEnableForUser(const TVXUser& user, TVXResult* code = nullptr);
    // The signed-in user's new password with a hint (question 0) or a hint
    // dictionary; both written, the password's code back (a refused hint has
    // been reported on the error path; the password changed all the same).
    TVXResult setPassword(const QString& password, const QString& hint);
    TVXResult setPassword(const QString& password, const std::optional<QVariantHash>& hintDictionary);
    // Sets the server account's password and the stored copy; the server's
    // message is never reported, as it may quote the password.
    void resetPasswordForUser(const TVXUser& user, TVXResult* code);
    // The server's policy for new passwords, under kSPPMinLength and
    // kSPPCharSetFlag; null on failure.
    std::optional<QVariantHash> passwordPolicyDetails(TVXResult* code = nullptr);

    explicit TVXPasswordHint(TVXStoreSession& database) : mDatabase(database) {}
    TVXPasswordHint(const TVXPasswordHint&) = delete;
    TVXPasswordHint& operator=(const TVXPasswordHint&) = delete;

private:
    TVXUser& currentUser() const;

    TVXStoreSession& mDatabase;
};
