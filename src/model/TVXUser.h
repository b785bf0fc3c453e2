#pragma once
// The signed-in user: identity, permission words and every preference kept
// per user on the server.
#include "model/Accessors.h"
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

    TVX_ACCESSORS(bool, mAutoLOck, setMAutoLOck, m_autoLOck)
    TVX_ACCESSORS(bool, mAutoSubmit, setMAutoSubmit, m_autoSubmit)
    TVX_ACCESSORS(bool, mCaseInsensitiveSearch, setMCaseInsensitiveSearch, m_caseInsensitiveSearch)
    TVX_ACCESSORS(bool, mWholeWordSearch, setMWholeWordSearch, m_wholeWordSearch)
    TVX_ACCESSORS(bool, mSearchColoum, setMSearchColoum, m_searchColoum)
    TVX_ACCESSORS(bool, mShowDetailOnPane, setMShowDetailOnPane, m_showDetailOnPane)
    TVX_ACCESSORS(bool, mAutoLogin, setMAutoLogin, m_autoLogin)
    TVX_ACCESSORS(bool, mClearClipboardState, setMClearClipboardState, m_clearClipboardState)
    TVX_ACCESSORS(bool, mClipBoardOnExit, setMClipBoardOnExit, m_clipBoardOnExit)

    TVX_ACCESSORS(int16_t, mLockTime, setMLockTime, m_lockTime)
    TVX_ACCESSORS(int16_t, mMAxLockTime, setMMAxLockTime, m_mAxLockTime)
    TVX_ACCESSORS(int16_t, mClearClipBoardTimer, setMClearClipBoardTimer, m_clearClipBoardTimer)

    TVX_ACCESSORS(uint64_t, mColoumInfo, setMColoumInfo, m_coloumInfo)
    // Widths of the list columns in column order; empty when none are stored.
    TVX_ACCESSORS(QList<int>, mColoumWidthArray, setMColoumWidthArray, m_coloumWidthArray)

    TVX_ACCESSORS(QFont, mTextFont, setMTextFont, m_textFont)
    TVX_ACCESSORS(QColor, mRowColor, setMRowColor, m_rowColor)

    TVX_ACCESSORS(QString, mHintAnswer, setMHintAnswer, m_hintAnswer)
    TVX_ACCESSORS(QString, mHintEntered, setMHintEntered, m_hintEntered)
    TVX_ACCESSORS(int16_t, mHintQuestionNumber, setMHintQuestionNumber, m_hintQuestionNumber)

    TVX_ACCESSORS(int16_t, mDetailPanelWidth, setMDetailPanelWidth, m_detailPanelWidth)
    TVX_ACCESSORS(uint8_t, mPwdGenFlag, setMPwdGenFlag, m_pwdGenFlag)
    TVX_ACCESSORS(int16_t, mLoginAttemptCount, setMLoginAttemptCount, m_loginAttemptCount)
    TVX_ACCESSORS(int16_t, mLastView, setMLastView, m_lastView)

    // None until the server's value is read or the list is sorted.
    TVX_ACCESSORS(std::optional<TVXSortDescriptor>, mSortingInfo, setMSortingInfo, m_sortingInfo)

    TVX_ACCESSORS(QRectF, mWindowPosition, setMWindowPosition, m_windowPosition)

    TVX_ACCESSORS(QString, mCurrentType, setMCurrentType, m_currentType)
    TVX_ACCESSORS(QString, mCurrentGroup, setMCurrentGroup, m_currentGroup)

    // Split-view layouts by name: one rectangle text per sub-view.
    const QHash<QString, QStringList>& mMainViewRectInfo() const { return m_mainViewRectInfo; }
    QHash<QString, QStringList>& mMainViewRectInfo() { return m_mainViewRectInfo; }
    void setMMainViewRectInfo(const QHash<QString, QStringList>& v) { m_mainViewRectInfo = v; }

    TVX_ACCESSORS(bool, mMinimizeToTray, setMMinimizeToTray, m_minimizeToTray)
    TVX_ACCESSORS(uint64_t, mExportImportTip, setMExportImportTip, m_exportImportTip)
    TVX_ACCESSORS(uint64_t, mBackupRestoreTip, setMBackupRestoreTip, m_backupRestoreTip)

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
