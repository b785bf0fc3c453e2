#pragma once
// The password generator sheet: ten proposals at a time from the chosen
// character sets and length, a strength estimate of those settings, and the
// chosen proposal handed back to the caller.
#include <QObject>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <QWidget>

#include <array>
#include <cstdint>
#include <functional>
#include <optional>

class BMPasswordStrengthMeter;
class QCheckBox;
class QComboBox;
class QListWidget;
class QPushButton;
class QSpinBox;
class TVXPreferences;

namespace passwordsheet {

// Check boxes in order: lower case, upper case, digits, symbols, international.
using CharacterSetChecks = std::array<bool, 5>;
constexpr int kSymbolsBox = 3;
constexpr int kInternationalBox = 4;
constexpr int kProposalCount = 10;
constexpr int kMaxLength = 63; // the generator's longest random password
constexpr int kDefaultLength = 12;

// ((10 x sets) / 50 + length / 20) x 0.5: five sets and 20 characters make 1.0.
float strengthFor(int checkedSets, float length);
int checkedCount(const CharacterSetChecks& checks);
// The boxes a stored flag byte turns on (the pronounceable box is not stored in them).
CharacterSetChecks checksFromStoredFlags(uint8_t flags);
// The flag byte of the boxes: bits 1 to 16, and 32 for pronounceable.
uint8_t flagsFromChecks(const CharacterSetChecks& checks, bool pronounceable);
// Pronounceable passwords carry neither symbols nor international characters.
bool pronounceableAllowed(const CharacterSetChecks& checks);

struct Preset {
    CharacterSetChecks checks;
    bool pronounceable;
    bool pronounceableEnabled;
};
// Presets 0 to 2 of the pop-up; any other item changes no box.
std::optional<Preset> presetFor(int item);

} // namespace passwordsheet

class BMPasswordWindowController : public QObject {
    Q_OBJECT
public:
    // What the sheet needs of the store: the user's generator flags and the generator.
    struct Backend {
        std::function<uint8_t()> readFlags;
        std::function<void(uint8_t)> storeFlags;
        std::function<QString(uint16_t flags, uint16_t length)> generate;
    };
    // The signed-in user's flags in the preferences, and the system's generator.
    static Backend backendFor(TVXPreferences& preferences);

    static BMPasswordWindowController& sharedPasswordController();
    explicit BMPasswordWindowController(Backend backend, QObject* parent = nullptr);
    ~BMPasswordWindowController() override;

    // Runs the sheet over the sender's window; the chosen password, or the
    // empty text when none was chosen or the sheet was cancelled.
    QString displayPasswordGenerationPanel(QWidget* sender);

    void generatePassword();
    void passwordOK();
    void passwordCancel();
    void lengthChange();
    void strengthChange();
    void characterSetChange();
    // Reads the flags from the boxes, stores them as the user's and returns them.
    uint8_t passgeneratorFlags();
    // Recomputes the bar; a given length control's value goes to the length field first.
    void updateStrengthIndicator(QSpinBox* lengthControl);

    const QStringList& mGenratedPasswordList() const { return m_genratedPasswordList; }
    QWidget* window() const { return mWindow; }
    QListWidget* passwordList() const { return mPasswordList; }
    QSpinBox* lengthField() const { return mpasswordLength; }
    QComboBox* presetPopup() const { return mpasswordStrength; }
    QCheckBox* characterSetBox(int index) const { return mcharSet[static_cast<size_t>(index)]; }
    QCheckBox* pronounceableBox() const { return mIsPronounceable; }
    BMPasswordStrengthMeter* strengthIndicator() const { return mPasswordStrengthIndicator; }
    QPushButton* generateButton() const { return mGenerateButton; }
    QPushButton* okButton() const { return mOKButton; }
    QPushButton* cancelButton() const { return mCancelButton; }
    std::optional<int> requestedEnd() const { return mRequestedEnd; }

private:
    void proposePasswords(uint8_t flags);
    void buildWindow();
    void reloadList();
    void endRun(int code);
    passwordsheet::CharacterSetChecks checks() const;
    void setChecks(const passwordsheet::CharacterSetChecks& checks);

    Backend mBackend;
    QPointer<QWidget> mWindow;
    QListWidget* mPasswordList = nullptr;
    QSpinBox* mpasswordLength = nullptr;
    QComboBox* mpasswordStrength = nullptr;
    std::array<QCheckBox*, 5> mcharSet{};
    QCheckBox* mIsPronounceable = nullptr;
    BMPasswordStrengthMeter* mPasswordStrengthIndicator = nullptr;
    QPushButton* mGenerateButton = nullptr;
    QPushButton* mOKButton = nullptr;
    QPushButton* mCancelButton = nullptr;
    QStringList m_genratedPasswordList;
    std::optional<int> mRequestedEnd;
};
