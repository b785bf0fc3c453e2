#include "windows/BMPasswordWindowController.h"

#include "model/PasswordGenerator.h"
#include "platform/ui/ModalRun.h"
#include "platform/ui/SheetFrame.h"
#include "store/accounts/PreferencesStore.h"
#include "store/SharedStore.h"
#include "views/BMPasswordStrengthMeter.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFontDatabase>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QShortcut>
#include <QSpinBox>
#include <QVBoxLayout>

namespace passwordsheet {

float strengthFor(int checkedSets, float length)
{
    return ((10.0f * float(checkedSets)) / 50.0f + length / 20.0f) * 0.5f;
}

int checkedCount(const CharacterSetChecks& checks)
{
    int count = 0;
    for (bool on : checks)
        count += on ? 1 : 0;
    return count;
}

CharacterSetChecks checksFromStoredFlags(uint8_t flags)
{
    CharacterSetChecks out{};
    for (int i = 0; i < 5; ++i)
        out[static_cast<size_t>(i)] = (flags & (1u << i)) != 0;
    return out;
}

uint8_t flagsFromChecks(const CharacterSetChecks& checks, bool pronounceable)
{
    unsigned flags = 0;
    for (int i = 0; i < 5; ++i)
        if (checks[static_cast<size_t>(i)])
            flags |= 1u << i;
    if (pronounceable)
        flags += 32;
    return uint8_t(flags & 0xFF);
}

bool pronounceableAllowed(const CharacterSetChecks& checks)
{
    return !checks[kSymbolsBox] && !checks[kInternationalBox];
}

std::optional<Preset> presetFor(int item)
{
    switch (item) {
    case 0:
        return Preset{{true, true, true, true, true}, false, false};
    case 1:
        return Preset{{true, false, true, true, false}, true, false};
    case 2:
        return Preset{{true, true, true, false, false}, true, true};
    default:
        return std::nullopt;
    }
}

} // namespace passwordsheet

using namespace passwordsheet;

BMPasswordWindowController::Backend BMPasswordWindowController::backendFor(TVXPreferences& preferences)
{
    return Backend{
        [&preferences] { return preferences.passwordGeneratorFlags(); },
        // A preference, sent behind the window: a failed save goes to the error path.
        [&preferences](uint8_t flags) { preferences.setPasswordGeneratorFlagsBehind(flags); },
        [](uint16_t flags, uint16_t length) { return ::generatePassword(flags, length); },
    };
}

BMPasswordWindowController& BMPasswordWindowController::sharedPasswordController()
{
    static auto* shared = new BMPasswordWindowController(backendFor(sharedstore::preferences()));
    return *shared;
}

BMPasswordWindowController::BMPasswordWindowController(Backend backend, QObject* parent)
    : QObject(parent), mBackend(std::move(backend))
{
    buildWindow();
    // The user's last choice of character sets.
    setChecks(checksFromStoredFlags(mBackend.readFlags ? mBackend.readFlags() : 0));
    mpasswordStrength->setCurrentIndex(3); // the stored boxes, not a preset
    updateStrengthIndicator(mpasswordLength);
}

BMPasswordWindowController::~BMPasswordWindowController()
{
    delete mWindow.data();
}

void BMPasswordWindowController::buildWindow()
{
    mWindow = new QWidget(nullptr, Qt::Dialog);
    mWindow->setObjectName(QStringLiteral("PasswordController"));
    mWindow->setWindowTitle(tr("Password Generator"));

    mpasswordStrength = new QComboBox;
    mpasswordStrength->addItems({tr("Strongest: every kind of character"), tr("Memorable: lower case, digits, symbols"),
                                 tr("Easy to type: letters and digits"), tr("Custom")});
    mpasswordLength = new QSpinBox;
    mpasswordLength->setRange(1, kMaxLength);
    mpasswordLength->setValue(kDefaultLength);
    mpasswordLength->setSuffix(tr(" characters"));

    const std::array<QString, 5> setNames{tr("Lower case (a-z)"), tr("Upper case (A-Z)"), tr("Digits (0-9)"),
                                          tr("Symbols (!#%&&)"), tr("International (\u00e5\u00e7\u00f8)")};
    auto* setsBox = new QGroupBox(tr("Characters"));
    auto* setsGrid = new QGridLayout(setsBox);
    for (int i = 0; i < 5; ++i) {
        auto* box = new QCheckBox(setNames[static_cast<size_t>(i)]);
        mcharSet[static_cast<size_t>(i)] = box;
        setsGrid->addWidget(box, i / 2, i % 2);
        connect(box, &QCheckBox::clicked, this, [this] {
            mpasswordStrength->setCurrentIndex(3); // the boxes no longer follow a preset
            characterSetChange();
        });
    }
    mIsPronounceable = new QCheckBox(tr("Pronounceable"));
    mIsPronounceable->setToolTip(tr("Syllables that can be read aloud (at most 30 characters)"));
    setsGrid->addWidget(mIsPronounceable, 2, 1);

    mPasswordStrengthIndicator = new BMPasswordStrengthMeter;

    mPasswordList = new QListWidget;
    mPasswordList->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    mPasswordList->setEditTriggers(QAbstractItemView::NoEditTriggers);
    mPasswordList->setMinimumHeight(200);
    mPasswordList->setAlternatingRowColors(true);

    mGenerateButton = new QPushButton(tr("Generate"));

    auto* form = new QGridLayout;
    form->addWidget(new QLabel(tr("Preset:")), 0, 0, Qt::AlignRight);
    form->addWidget(mpasswordStrength, 0, 1);
    form->addWidget(new QLabel(tr("Length:")), 1, 0, Qt::AlignRight);
    form->addWidget(mpasswordLength, 1, 1, Qt::AlignLeft);
    form->addWidget(new QLabel(tr("Strength:")), 2, 0, Qt::AlignRight);
    form->addWidget(mPasswordStrengthIndicator, 2, 1);
    form->setColumnStretch(1, 1);

    platform::SheetFrame frame(mWindow);
    frame.column()->addLayout(form);
    frame.column()->addWidget(setsBox);
    frame.column()->addWidget(new QLabel(tr("Proposals (double-click to choose):")));
    frame.column()->addWidget(mPasswordList, 1);
    const platform::SheetButtons buttons = frame.addOkCancel({}, {}, {mGenerateButton});
    mCancelButton = buttons.cancel;
    mOKButton = buttons.ok;
    mWindow->resize(460, 520);

    connect(mpasswordStrength, &QComboBox::activated, this, [this] { strengthChange(); });
    connect(mpasswordLength, &QSpinBox::valueChanged, this, [this] { lengthChange(); });
    connect(mGenerateButton, &QPushButton::clicked, this, [this] { generatePassword(); });
    connect(mOKButton, &QPushButton::clicked, this, [this] { passwordOK(); });
    connect(mCancelButton, &QPushButton::clicked, this, [this] { passwordCancel(); });
    connect(mPasswordList, &QListWidget::itemDoubleClicked, this, [this] { passwordOK(); });
    auto* escape = new QShortcut(QKeySequence(Qt::Key_Escape), mWindow);
    connect(escape, &QShortcut::activated, this, [this] { passwordCancel(); });
    auto* enter = new QShortcut(QKeySequence(Qt::Key_Return), mWindow);
    connect(enter, &QShortcut::activated, this, [this] { passwordOK(); });
}

CharacterSetChecks BMPasswordWindowController::checks() const
{
    CharacterSetChecks out{};
    for (int i = 0; i < 5; ++i)
        out[static_cast<size_t>(i)] = mcharSet[static_cast<size_t>(i)]->isChecked();
    return out;
}

void BMPasswordWindowController::setChecks(const CharacterSetChecks& checks)
{
    for (int i = 0; i < 5; ++i)
        mcharSet[static_cast<size_t>(i)]->setChecked(checks[static_cast<size_t>(i)]);
}

void BMPasswordWindowController::reloadList()
{
    mPasswordList->clear();
    mPasswordList->addItems(m_genratedPasswordList);
}

void BMPasswordWindowController::endRun(int code)
{
    mRequestedEnd = code;
    platform::stopModalWithCode(code);
}

QString BMPasswordWindowController::displayPasswordGenerationPanel(QWidget* sender)
{
    characterSetChange();
    // The sheet opens with proposals of the settings it shows: a choice at
    // once. Only the user's own Generate stores the settings.
    proposePasswords(flagsFromChecks(checks(), mIsPronounceable->isChecked()));
    mRequestedEnd.reset();
    if (sender && sender->window())
        mWindow->move(sender->window()->geometry().center() - mWindow->rect().center());
    const int code = platform::runModalForWindow(mWindow);

    QString result;
    const int row = mPasswordList->currentRow();
    if (code == platform::kModalRunStopped && row >= 0 && row < m_genratedPasswordList.size()
        && mPasswordList->currentItem() && mPasswordList->currentItem()->isSelected())
        result = m_genratedPasswordList.at(row);
    mWindow->hide();
    m_genratedPasswordList.clear();
    reloadList();
    return result;
}

void BMPasswordWindowController::generatePassword()
{
    proposePasswords(passgeneratorFlags());
}

void BMPasswordWindowController::proposePasswords(uint8_t flags)
{
    const auto length = uint16_t(mpasswordLength->value());
    m_genratedPasswordList.clear();
    for (int i = 0; i < kProposalCount; ++i) {
        const QString password = mBackend.generate ? mBackend.generate(flags, length) : QString();
        if (!password.isEmpty())
            m_genratedPasswordList.append(password);
    }
    reloadList();
}

void BMPasswordWindowController::passwordOK()
{
    passgeneratorFlags();
    endRun(platform::kModalRunStopped);
}

void BMPasswordWindowController::passwordCancel()
{
    m_genratedPasswordList.clear();
    reloadList();
    endRun(platform::kModalRunAborted);
}

void BMPasswordWindowController::lengthChange() { updateStrengthIndicator(mpasswordLength); }

void BMPasswordWindowController::strengthChange()
{
    if (const auto preset = presetFor(mpasswordStrength->currentIndex())) {
        setChecks(preset->checks);
        mIsPronounceable->setChecked(preset->pronounceable);
        mIsPronounceable->setEnabled(preset->pronounceableEnabled);
    }
    updateStrengthIndicator(mpasswordLength);
}

void BMPasswordWindowController::characterSetChange()
{
    const bool allowed = pronounceableAllowed(checks());
    mIsPronounceable->setChecked(allowed);
    mIsPronounceable->setEnabled(allowed);
    updateStrengthIndicator(mpasswordLength);
}

uint8_t BMPasswordWindowController::passgeneratorFlags()
{
    const uint8_t flags = flagsFromChecks(checks(), mIsPronounceable->isChecked());
    if (mBackend.storeFlags)
        mBackend.storeFlags(flags);
    return flags;
}

void BMPasswordWindowController::updateStrengthIndicator(QSpinBox* lengthControl)
{
    if (lengthControl && lengthControl != mpasswordLength)
        mpasswordLength->setValue(lengthControl->value());
    const float length = lengthControl ? float(lengthControl->value()) : 0.0f;
    mPasswordStrengthIndicator->setStrenth(strengthFor(checkedCount(checks()), length));
}
