#pragma once
// The signed-in user: identity, permission words and every preference kept
// per user on the server.
#include <QColor>
#include <QFont>
#include <QHash>
#include <QList>
#include <QRectF>
#include <QSizeF>
#include <QString>
#include <QStringList>

#include "model/TVXUserAccount.h"

#include <array>
#include <cstdint>
#include <memory>
#include <optional>

// The record list's sort column (its number as decimal text, "3" for column 3) and direction.
struct TVXSortDescriptor {
    QString key;
    bool ascending = true;

    bool operator==(const TVXSortDescriptor&) const = default;
};

inline constexpr uint16_t kDefaultUserPermissions = 7;
inline constexpr uint64_t kDefaultColumnMask = 0x2407;
// The list columns in order, and the bit of each in the column mask.
inline constexpr int kListNoOfColumns = 14;
inline constexpr std::array<uint64_t, kListNoOfColumns> kColumnMasksArray = {
    0x400, 0x800, 0x1, 0x2, 0x4, 0x8, 0x10, 0x20, 0x40, 0x80, 0x100, 0x200, 0x1000, 0x2000};
inline constexpr int16_t kDefaultDetailPanelWidth = 300;
inline constexpr uint8_t kDefaultPwdGenFlag = 33; // lower case and pronounceable
inline constexpr int16_t kDefaultLockTime = 10;
inline constexpr int16_t kDefaultMaxLockTime = 60;
inline const QString kDefaultTextFontName = QStringLiteral("LucidaGrande");
inline constexpr int kDefaultTextFontSize = 13;

class TVXUser : public TVXUserAccount {
public:
    // The defaults of a user before the server's values are read (same as createUser()).
    TVXUser();
    TVXUser(const TVXUser&) = delete;
    TVXUser& operator=(const TVXUser&) = delete;

    static std::shared_ptr<TVXUser> createUser();

    // Size of the main screen; without a screen (no GUI application) 1280 x 800.
    static QSizeF mainScreenSize();
    // The default main-window frame on a screen of the given size: at least 1030 wide,
    // 0.7 of the screen, centred.
    static QRectF defaultWindowPosition(const QSizeF& screen);

    // YES when any of the mask's bits is set in the word.
    bool checkGroupPermission(uint16_t mask) const { return (mask & mGroupPermissionsBit()) != 0; }
    bool checkTypePermission(uint16_t mask) const { return (mask & mTypePermissionsBit()) != 0; }
    bool checkRecordPermission(uint16_t mask) const { return (mask & mRecordPermissionsBit()) != 0; }

    bool mAutoLOck() const { return m_autoLOck; }
    void setMAutoLOck(bool v) { m_autoLOck = v; }
    bool mAutoSubmit() const { return m_autoSubmit; }
    void setMAutoSubmit(bool v) { m_autoSubmit = v; }
    bool mCaseInsensitiveSearch() const { return m_caseInsensitiveSearch; }
    void setMCaseInsensitiveSearch(bool v) { m_caseInsensitiveSearch = v; }
    bool mWholeWordSearch() const { return m_wholeWordSearch; }
    void setMWholeWordSearch(bool v) { m_wholeWordSearch = v; }
    bool mSearchColoum() const { return m_searchColoum; }
    void setMSearchColoum(bool v) { m_searchColoum = v; }
    bool mShowDetailOnPane() const { return m_showDetailOnPane; }
    void setMShowDetailOnPane(bool v) { m_showDetailOnPane = v; }
    bool mAutoLogin() const { return m_autoLogin; }
    void setMAutoLogin(bool v) { m_autoLogin = v; }
    bool mClearClipboardState() const { return m_clearClipboardState; }
    void setMClearClipboardState(bool v) { m_clearClipboardState = v; }
    bool mClipBoardOnExit() const { return m_clipBoardOnExit; }
    void setMClipBoardOnExit(bool v) { m_clipBoardOnExit = v; }

    int16_t mLockTime() const { return m_lockTime; }
    void setMLockTime(int16_t v) { m_lockTime = v; }
    int16_t mMAxLockTime() const { return m_mAxLockTime; }
    void setMMAxLockTime(int16_t v) { m_mAxLockTime = v; }
    int16_t mClearClipBoardTimer() const { return m_clearClipBoardTimer; }
    void setMClearClipBoardTimer(int16_t v) { m_clearClipBoardTimer = v; }

    uint64_t mColoumInfo() const { return m_coloumInfo; }
    void setMColoumInfo(uint64_t v) { m_coloumInfo = v; }
    // Widths of the list columns in column order; empty when none are stored.
    const QList<int>& mColoumWidthArray() const { return m_coloumWidthArray; }
    void setMColoumWidthArray(const QList<int>& v) { m_coloumWidthArray = v; }

    const QFont& mTextFont() const { return m_textFont; }
    void setMTextFont(const QFont& v) { m_textFont = v; }
    const QColor& mRowColor() const { return m_rowColor; }
    void setMRowColor(const QColor& v) { m_rowColor = v; }

    const QString& mHintAnswer() const { return m_hintAnswer; }
    void setMHintAnswer(const QString& v) { m_hintAnswer = v; }
    const QString& mHintEntered() const { return m_hintEntered; }
    void setMHintEntered(const QString& v) { m_hintEntered = v; }
    int16_t mHintQuestionNumber() const { return m_hintQuestionNumber; }
    void setMHintQuestionNumber(int16_t v) { m_hintQuestionNumber = v; }

    int16_t mDetailPanelWidth() const { return m_detailPanelWidth; }
    void setMDetailPanelWidth(int16_t v) { m_detailPanelWidth = v; }
    uint8_t mPwdGenFlag() const { return m_pwdGenFlag; }
    void setMPwdGenFlag(uint8_t v) { m_pwdGenFlag = v; }
    int16_t mLoginAttemptCount() const { return m_loginAttemptCount; }
    void setMLoginAttemptCount(int16_t v) { m_loginAttemptCount = v; }
    int16_t mLastView() const { return m_lastView; }
    void setMLastView(int16_t v) { m_lastView = v; }

    // None until the server's value is read or the list is sorted.
    const std::optional<TVXSortDescriptor>& mSortingInfo() const { return m_sortingInfo; }
    void setMSortingInfo(const std::optional<TVXSortDescriptor>& v) { m_sortingInfo = v; }

    const QRectF& mWindowPosition() const { return m_windowPosition; }
    void setMWindowPosition(const QRectF& v) { m_windowPosition = v; }

    const QString& mCurrentType() const { return m_currentType; }
    void setMCurrentType(const QString& v) { m_currentType = v; }
    const QString& mCurrentGroup() const { return m_currentGroup; }
    void setMCurrentGroup(const QString& v) { m_currentGroup = v; }

    // Split-view layouts by name: one rectangle text per sub-view.
    const QHash<QString, QStringList>& mMainViewRectInfo() const { return m_mainViewRectInfo; }
    QHash<QString, QStringList>& mMainViewRectInfo() { return m_mainViewRectInfo; }
    void setMMainViewRectInfo(const QHash<QString, QStringList>& v) { m_mainViewRectInfo = v; }

    bool mMinimizeToTray() const { return m_minimizeToTray; }
    void setMMinimizeToTray(bool v) { m_minimizeToTray = v; }
    uint64_t mExportImportTip() const { return m_exportImportTip; }
    void setMExportImportTip(uint64_t v) { m_exportImportTip = v; }
    uint64_t mBackupRestoreTip() const { return m_backupRestoreTip; }
    void setMBackupRestoreTip(uint64_t v) { m_backupRestoreTip = v; }

private:
    bool m_autoLOck = false;
    bool m_autoSubmit = false;
    bool m_caseInsensitiveSearch = true;
    bool m_wholeWordSearch = true;
    bool m_searchColoum = true;
    bool m_showDetailOnPane = true;
    bool m_autoLogin = true;
    bool m_clearClipboardState = true;
    bool m_clipBoardOnExit = true;
    int16_t m_lockTime = kDefaultLockTime;
    int16_t m_mAxLockTime = kDefaultMaxLockTime;
    int16_t m_clearClipBoardTimer = 0;
    uint64_t m_coloumInfo = kDefaultColumnMask;
    QList<int> m_coloumWidthArray;
    QFont m_textFont;
    QColor m_rowColor;
    QString m_hintAnswer;
    QString m_hintEntered;
    int16_t m_hintQuestionNumber = 0;
    int16_t m_detailPanelWidth = kDefaultDetailPanelWidth;
    uint8_t m_pwdGenFlag = kDefaultPwdGenFlag;
    int16_t m_loginAttemptCount = 0;
    int16_t m_lastView = 0;
    std::optional<TVXSortDescriptor> m_sortingInfo;
    QRectF m_windowPosition;
    QString m_currentType;
    QString m_currentGroup;
    QHash<QString, QStringList> m_mainViewRectInfo;
    bool m_minimizeToTray = true;
    uint64_t m_exportImportTip = 0;
    uint64_t m_backupRestoreTip = 0;
};
