#pragma once
// The options window: the signed-in user's automatic lock, clipboard
// clearing, web log-in auto-submit, list font, row colour and list columns
// (kept on the server), and two settings of this desktop account: the event
// log's folder and launching at log-in. Run application-modally; OK saves and
// announces the change with kTolvanPreferenceChangedNotification.

#include "store/session/ResultCodes.h"
#include "platform/ui/LoginItems.h"
#include "windows/OptionsChoices.h"

#include <QColor>
#include <QDialog>
#include <QFont>
#include <QStringList>

#include <array>
#include <functional>
#include <optional>

class QAction;
namespace platform {
class EscapeGuard;
}
class QButtonGroup;
class QCheckBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QSpinBox;
class QStackedWidget;
class QToolBar;
class QToolButton;
class QVBoxLayout;
class TVXEventLogAccess;
class TVXPreferences;
class TVXStoreCaches;

inline const QString kTolvanPreferenceChangedNotification = QStringLiteral("Tolvan Preference Changed Notification");

inline const QString kSecurityToolbarItemIdentifier = QStringLiteral("Security");
inline const QString kFormatToolbarItemIdentifier = QStringLiteral("Format");
inline const QString kShowColumnsToolbarItemIdentifier = QStringLiteral("Show Columns");

inline const QString kLaunchOnStartupKey = QStringLiteral("LaunchOnStartup");

class BMOptionsWindowController : public QDialog {
    Q_OBJECT
public:
    // The one window of the application, over the shared store.
    static BMOptionsWindowController* sharedOptionsWindowController();

    // The signed-in user comes from the caches, the options are saved through
    // the preferences, "Edit Settings" goes to the event log.
    BMOptionsWindowController(TVXStoreCaches& caches, TVXPreferences& preferences, TVXEventLogAccess& eventLog,
                              QWidget* parent = nullptr);
    ~BMOptionsWindowController() override;

    // Shows the window modally, filled from the user's options; returns when
    // it closes. Logs "Edit Settings" when the options were saved.
    int orderFrontOptionsPanel();

    // The list's selected type (the column settings are stored for it); by
    // default the all-types entry.
    void setSelectedTypeUIDProvider(std::function<QString()> provider) { mSelectedTypeUID = std::move(provider); }
    // Where launching at log-in is recorded.
    void setLoginItems(const platform::LoginItems& items) { mLoginItems = items; }
    const platform::LoginItems& loginItems() const { return mLoginItems; }

    // Actions of the controls. OK sends the options behind the window; until
    // the server answers the window keeps its input, shows a busy cursor and
    // takes no OK, Cancel or close. A refusal keeps it open.
    void ok();
    void cancel();
    void browseDatabaseLocation();
    void selectFont();
    void selectRowColor();
    void clearClipBoardMatrixAction(QObject* sender);
    void toLoginItems();
    void toolBarItemClicked(int tag);

    // Escape cancels: the window's modal run ends with the cancel code.
    void reject() override { cancel(); }

    void initUserPreferences();
    // Saves the controls' options; `answer` gets the server write's result code.
    void saveUserPreference(std::function<void(TVXResult)> answer);
    bool isSaving() const { return mSaving; }
    // How the save's answer ended the run (the code), if it did.
    std::optional<int> requestedEnd() const { return mRequestedEnd; }
    void setActiveView(int index, bool animate = false);
    int activeView() const;

    const QFont& selectedFont() const { return mSelectedFont; }
    void setSelectedFont(const QFont& font);
    QColor rowColor() const { return mRowColor; }
    void setRowColor(const QColor& color);

    // The controls' current state.
    OptionsChoices currentChoices() const;
    const QStringList& mIdentifiers() const { return m_identifiers; }

private:
    // The panes' contents, below their section titles.
    void buildSecurityView(QVBoxLayout* layout);
    void buildFormatView(QVBoxLayout* layout);
    void buildShowColumnsView(QVBoxLayout* layout);
    void setDatabaseLocation(const QString& folder);
    void updateRowColorWell();
    void setSaving(bool saving);
    void saveAnswered(TVXResult code);

    TVXStoreCaches& mCaches;
    TVXPreferences& mPreferences;
    TVXEventLogAccess& mEventLog;
    std::function<QString()> mSelectedTypeUID;
    platform::LoginItems mLoginItems;
    bool mSaved = false;
    bool mSaving = false;
    bool mInRun = false;
    std::optional<int> mRequestedEnd;
    QPushButton* mOkButton = nullptr;
    QPushButton* mCancelButton = nullptr;

    QFont mSelectedFont;
    QColor mRowColor;
    QStringList m_identifiers;
    QToolBar* mToolBar = nullptr;
    QList<QAction*> mToolBarActions;
    QStackedWidget* mActiveContentView = nullptr;
    QWidget* mSecurityView = nullptr;
    QWidget* mFormatView = nullptr;
    QWidget* mShowColumnsView = nullptr;

    QLineEdit* mDatabaseLocationField = nullptr;
    QLabel* mFontNameField = nullptr;
    QCheckBox* mAutoSubmit = nullptr;
    QCheckBox* mAutoLock = nullptr;
    QLabel* mAutolockLabel = nullptr;
    QSpinBox* mAutoLockField = nullptr;
    QToolButton* mRowColorWell = nullptr;
    std::array<std::array<QCheckBox*, kShowColumnPrefNoofColumns>, kShowColumnPrefNoofRows> mShowColumnMatrix{};
    QCheckBox* mClearClipBoardButton = nullptr;
    QWidget* mClearClipBoardBox = nullptr;
    QButtonGroup* mClearClipBoardMatrix = nullptr;
    QRadioButton* mClearOnExitCell = nullptr;
    QRadioButton* mClearAfterCell = nullptr;
    QSpinBox* mClearAfterTimeStepper = nullptr;
    QCheckBox* mRunOnStartupButton = nullptr;
    platform::EscapeGuard* mEscapeGuard = nullptr;
};
