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

#include <functional>
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
    // The same behind the window: the server's part on the worker that sends
    // the writes (after those sent before), the user's copy in memory changed
    // as far as the server took it, and then `answer`, on the main thread.
    using PasswordAnswer = std::function<void(TVXResult)>;
    void setPasswordBehindWindow(const QString& password, const QString& hint, PasswordAnswer answer);
    void setPasswordBehindWindow(const QString& password, const std::optional<QVariantHash>& hintDictionary,
                                 PasswordAnswer answer);
    // The lock panel's reads of the hint, behind the window as above. The
    // code is the readers': nothing is reported on the error path.
    struct HintReading {
        TVXResult code = kTVXDone;
        bool exists = false;      // a hint is stored
        bool rightAnswer = false; // the answer opens the stored question
        QString hint;             // deciphered (and the user's entered hint) when read
    };
    using HintAnswer = std::function<void(const HintReading&)>;
    // Whether a hint is stored, and the hint set without a question.
    void readHintBehindWindow(HintAnswer answer);
    // Whether the answer opens the signed-in user's question, and then the hint.
    void checkHintAnswerBehindWindow(const QString& answer, HintAnswer then);
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
    // A password change as the worker sends it, taken from the signed-in user
    // and the panel on the main thread: the worker reads no cache.
    struct PasswordChange {
        QString userID;
        QString userName;
        QString password;
        int16_t questionNumber = 0;
        QString answer;
        QString hint;
        bool autoLock = false;
        bool refused = false; // the hint would not read back: nothing is sent
    };
    struct PasswordChangeTaken {
        bool password = false; // the server account has the new password
        bool hint = false;
    };
    TVXUser& currentUser() const;
    PasswordChange passwordChange(const QString& password, const QString& hint) const;
    PasswordChange passwordChange(const QString& password, const std::optional<QVariantHash>& hintDictionary) const;
    TVXResult sendPasswordChange(const PasswordChange& change, PasswordChangeTaken& taken);
    void keepPasswordChange(const PasswordChange& change, const PasswordChangeTaken& taken);
    TVXResult runPasswordChange(const PasswordChange& change);
    void sendPasswordChangeBehindWindow(PasswordChange change, PasswordAnswer answer);
    void writeHintColumns(const QString& userID, int16_t question, const QString& answer, const QString& hint,
                          TVXResult* code);
    void writeAccountPassword(const QString& userName, const QString& userID, const QString& password,
                              TVXResult* code, bool* accountTaken = nullptr);
    void readBehindWindow(std::function<void(HintReading&)> read, HintAnswer answer);
    // Called by the worker: memory takes the hint read once the server part is
    // over, unless another user has signed in meanwhile.
    void keepHintRead(const QString& userID, const QString& hint);

    TVXStoreSession& mDatabase;
};
