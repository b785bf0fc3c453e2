#include "windows/BMOptionsWindowController.h"

#include "platform/ui/EscapeGuard.h"

#include "exchange/EventLogBackup.h"
#include "model/TVXUID.h"
#include "model/TVXUser.h"
#include "platform/core/NotificationCenter.h"
#include "platform/core/UserDefaults.h"
#include "platform/ui/AlertPanel.h"
#include "platform/ui/ModalRun.h"
#include "platform/ui/SheetFrame.h"
#include "store/eventlog/EventLogStore.h"
#include "store/accounts/HintStore.h"
#include "store/accounts/PreferencesStore.h"
#include "store/SharedStore.h"
#include "store/loading/StoreCaches.h"
#include "store/eventlog/TVXEventLogger.h"
#include "views/StoreFailureAlert.h"
#include "windows/RecordDetailsLogic.h"

#include <QAction>
#include <QActionGroup>
#include <QButtonGroup>
#include <QCheckBox>
#include <QColorDialog>
#include <QDir>
#include <QFileDialog>
#include <QFontDialog>
#include <QFormLayout>
#include <QGridLayout>
#include <QGuiApplication>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPainterPath>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QStackedWidget>
#include <QToolBar>
#include <QToolButton>
#include <QVBoxLayout>

namespace {

constexpr int kClipboardStepperMin = 1;
constexpr int kClipboardStepperMax = 99;

// The toolbar pictures, drawn here: a padlock, a letter "A" with a swatch,
// and three columns.
QIcon paneIcon(int pane)
{
    QPixmap pixmap(64, 64);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    const QColor ink(0x44, 0x55, 0x66);
    if (pane == 0) {
        p.setPen(QPen(ink, 6));
        p.setBrush(Qt::NoBrush);
        p.drawArc(QRectF(19, 8, 26, 30), 0, 180 * 16);
        p.drawLine(QPointF(19, 23), QPointF(19, 30));
        p.drawLine(QPointF(45, 23), QPointF(45, 30));
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(0xd9, 0xa4, 0x1e));
        p.drawRoundedRect(QRectF(12, 28, 40, 30), 5, 5);
        p.setBrush(ink);
        p.drawEllipse(QPointF(32, 40), 4, 4);
        p.drawRect(QRectF(30.5, 42, 3, 9));
    } else if (pane == 1) {
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(0x5b, 0x9b, 0xd5));
        p.drawRoundedRect(QRectF(34, 34, 24, 24), 4, 4);
        QFont font = p.font();
        font.setPixelSize(44);
        font.setBold(true);
        p.setFont(font);
        p.setPen(ink);
        p.drawText(QRectF(2, 0, 44, 52), Qt::AlignCenter, QStringLiteral("A"));
    } else {
        p.setPen(QPen(ink, 2));
        p.setBrush(Qt::white);
        p.drawRoundedRect(QRectF(6, 10, 52, 44), 4, 4);
        p.setBrush(QColor(0x5b, 0x9b, 0xd5));
        p.drawRect(QRectF(6, 10, 52, 10));
        p.drawLine(QPointF(23, 10), QPointF(23, 54));
        p.drawLine(QPointF(41, 10), QPointF(41, 54));
    }
    return QIcon(pixmap);
}

QLabel* sectionTitle(const QString& text)
{
    auto* label = new QLabel(text);
    QFont font = label->font();
    font.setBold(true);
    label->setFont(font);
    return label;
}

// A pane of the window: a column without margins, its section title on top, what fill
// adds, and room below.
QWidget* newPane(const QString& name, const QString& title, const std::function<void(QVBoxLayout*)>& fill)
{
    auto* view = platform::named<QWidget>(name);
    auto* layout = new QVBoxLayout(view);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(10);
    layout->addWidget(sectionTitle(title));
    fill(layout);
    layout->addStretch();
    return view;
}

// A form row of a field that takes the room and the button that chooses its value.
QPushButton* addChooserRow(QFormLayout* form, const QString& label, QWidget* field, const QString& buttonTitle,
                           const QString& buttonName)
{
    auto* button = platform::named<QPushButton>(buttonName, buttonTitle);
    auto* row = new QHBoxLayout;
    row->addWidget(field, 1);
    row->addWidget(button);
    form->addRow(label, row);
    return button;
}

// A section's contents sit this far in from its title.
constexpr int kSectionIndent = 16;

template <class Layout>
Layout* indented(Layout* layout)
{
    layout->setContentsMargins(kSectionIndent, 0, 0, 0);
    return layout;
}

} // namespace

BMOptionsWindowController* BMOptionsWindowController::sharedOptionsWindowController()
{
    static BMOptionsWindowController* shared =
        new BMOptionsWindowController(sharedstore::caches(), sharedstore::preferences(), sharedstore::eventLog());
    return shared;
}

BMOptionsWindowController::BMOptionsWindowController(TVXStoreCaches& caches, TVXPreferences& preferences,
                                                     TVXEventLogAccess& eventLog, QWidget* parent)
    : QDialog(parent), mCaches(caches), mPreferences(preferences), mEventLog(eventLog)
{
    setObjectName(QStringLiteral("OptionsWindowController"));
    setWindowTitle(tr("Options"));
    m_identifiers = {kSecurityToolbarItemIdentifier, kFormatToolbarItemIdentifier, kShowColumnsToolbarItemIdentifier};

    mToolBar = platform::named<QToolBar>(QStringLiteral("MainToolBar"), this);
    mToolBar->setMovable(false);
    mToolBar->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
    mToolBar->setIconSize(QSize(32, 32));
    auto* panes = new QActionGroup(this);
    for (int i = 0; i < m_identifiers.size(); ++i) {
        QAction* action = mToolBar->addAction(paneIcon(i), tr(qPrintable(m_identifiers[i])));
        action->setObjectName(m_identifiers[i]);
        action->setCheckable(true);
        action->setData(i);
        panes->addAction(action);
        connect(action, &QAction::triggered, this, [this, i] { toolBarItemClicked(i); });
        mToolBarActions.append(action);
    }

    mActiveContentView = new QStackedWidget;
    mSecurityView = newPane(QStringLiteral("mSecurityView"), tr("Automatic Lock"),
                            [this](QVBoxLayout* pane) { buildSecurityView(pane); });
    mFormatView = newPane(QStringLiteral("mFormatView"), tr("Record List"),
                          [this](QVBoxLayout* pane) { buildFormatView(pane); });
    mShowColumnsView = newPane(QStringLiteral("mShowColumnsView"), tr("Columns shown in the list view"),
                               [this](QVBoxLayout* pane) { buildShowColumnsView(pane); });
    for (QWidget* pane : {mSecurityView, mFormatView, mShowColumnsView})
        mActiveContentView->addWidget(pane);

    const platform::SheetButtons buttons =
        platform::makeOkCancel(QStringLiteral("okButton"), QStringLiteral("cancelButton"));
    connect(buttons.ok, &QPushButton::clicked, this, &BMOptionsWindowController::ok);
    connect(buttons.cancel, &QPushButton::clicked, this, &BMOptionsWindowController::cancel);
    mOkButton = buttons.ok;
    mCancelButton = buttons.cancel;

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, platform::kSheetMargins.bottom());
    layout->setSpacing(0);
    layout->addWidget(mToolBar);
    auto* line = new QFrame;
    line->setFrameShape(QFrame::HLine);
    line->setFrameShadow(QFrame::Sunken);
    layout->addWidget(line);
    auto* body = new QVBoxLayout;
    body->setContentsMargins(platform::kSheetMargins.left(), platform::kSheetMargins.top(),
                             platform::kSheetMargins.right(), 0);
    body->setSpacing(16);
    body->addWidget(mActiveContentView);
    body->addLayout(platform::buttonRow({}, {buttons.cancel, buttons.ok}));
    layout->addLayout(body);

    // The event log's folder: the user default, set to the default on first use.
    QString folder = platform::UserDefaults::value(kEventLoggerDatabaseLocationKey).toString();
    if (folder.isEmpty()) {
        folder = QDir::homePath() + QStringLiteral("/Documents/Tolvanex/");
        platform::UserDefaults::setValue(kEventLoggerDatabaseLocationKey, folder);
    }
    mDatabaseLocationField->setText(folder);
    const QVariant launch = platform::UserDefaults::value(kLaunchOnStartupKey);
    if (launch.isValid())
        mRunOnStartupButton->setChecked(launch.toBool());

    setActiveView(0, false);
}

void BMOptionsWindowController::buildSecurityView(QVBoxLayout* layout)
{
    auto* lockRow = indented(new QHBoxLayout);
    mAutoLock = platform::named<QCheckBox>(QStringLiteral("mAutoLock"), tr("Lock after"));
    mAutoLockField = platform::named<QSpinBox>(QStringLiteral("mAutoLockField"));
    mAutoLockField->setRange(0, 999);
    mAutoLockField->setMinimumWidth(64);
    mAutolockLabel = platform::named<QLabel>(QStringLiteral("mAutolockLabel"), tr("minutes of inactivity"));
    lockRow->addWidget(mAutoLock);
    lockRow->addWidget(mAutoLockField);
    lockRow->addWidget(mAutolockLabel);
    lockRow->addStretch();
    layout->addLayout(lockRow);

    layout->addSpacing(6);
    layout->addWidget(sectionTitle(tr("Clipboard")));
    auto* clipColumn = indented(new QVBoxLayout);
    mClearClipBoardButton = platform::named<QCheckBox>(QStringLiteral("mClearClipBoardButton"),
                                                       tr("Clear the clipboard after copying a value"));
    connect(mClearClipBoardButton, &QCheckBox::toggled, this,
            [this] { clearClipBoardMatrixAction(mClearClipBoardButton); });
    clipColumn->addWidget(mClearClipBoardButton);

    mClearClipBoardBox = platform::named<QWidget>(QStringLiteral("mClearClipBoardBox"));
    auto* box = new QHBoxLayout(mClearClipBoardBox);
    box->setContentsMargins(22, 0, 0, 0);
    mClearClipBoardMatrix = new QButtonGroup(this);
    mClearOnExitCell = platform::named<QRadioButton>(QStringLiteral("mClearOnExitCell"), tr("On Exit"));
    mClearAfterCell = platform::named<QRadioButton>(QStringLiteral("mClearAfterCell"),
                                                    options::clipboardAfterTitle(kClipboardStepperMin));
    mClearClipBoardMatrix->addButton(mClearOnExitCell, kClearClipboardOnExitColumn);
    mClearClipBoardMatrix->addButton(mClearAfterCell, kClearClipboardAfterColumn);
    mClearAfterTimeStepper = platform::named<QSpinBox>(QStringLiteral("mClearAfterTimeStepper"));
    mClearAfterTimeStepper->setRange(kClipboardStepperMin, kClipboardStepperMax);
    mClearAfterTimeStepper->setToolTip(tr("Minutes before the clipboard is cleared"));
    mClearAfterTimeStepper->setAccessibleName(tr("Minutes"));
    connect(mClearAfterTimeStepper, &QSpinBox::valueChanged, this,
            [this] { clearClipBoardMatrixAction(mClearAfterTimeStepper); });
    box->addWidget(mClearOnExitCell);
    box->addSpacing(12);
    box->addWidget(mClearAfterCell);
    box->addWidget(mClearAfterTimeStepper);
    box->addStretch();
    clipColumn->addWidget(mClearClipBoardBox);
    layout->addLayout(clipColumn);

    layout->addSpacing(6);
    layout->addWidget(sectionTitle(tr("Web Log-in")));
    mAutoSubmit = platform::named<QCheckBox>(QStringLiteral("mAutoSubmit"),
                                             tr("Submit web log-in forms automatically"));
    auto* submitRow = indented(new QHBoxLayout);
    submitRow->addWidget(mAutoSubmit);
    layout->addLayout(submitRow);

    layout->addSpacing(6);
    layout->addWidget(sectionTitle(tr("This Computer")));
    auto* form = indented(new QFormLayout);
    mDatabaseLocationField = platform::named<QLineEdit>(QStringLiteral("mDatabaseLocationField"));
    mDatabaseLocationField->setReadOnly(true);
    mDatabaseLocationField->setMinimumWidth(260);
    QPushButton* browse = addChooserRow(form, tr("Event log folder:"), mDatabaseLocationField, tr("Choose…"),
                                        QStringLiteral("browseDatabaseLocation"));
    connect(browse, &QPushButton::clicked, this, &BMOptionsWindowController::browseDatabaseLocation);
    mRunOnStartupButton = platform::named<QCheckBox>(QStringLiteral("mRunOnStartupButton"),
                                                     tr("Start Tolvanex Enterprise when I log in"));
    connect(mRunOnStartupButton, &QCheckBox::clicked, this, &BMOptionsWindowController::toLoginItems);
    form->addRow(QString(), mRunOnStartupButton);
    layout->addLayout(form);
}

void BMOptionsWindowController::buildFormatView(QVBoxLayout* layout)
{
    auto* form = indented(new QFormLayout);
    form->setHorizontalSpacing(12);
    form->setVerticalSpacing(12);
    mFontNameField = platform::named<QLabel>(QStringLiteral("mFontNameField"));
    mFontNameField->setFrameShape(QFrame::StyledPanel);
    mFontNameField->setMinimumSize(240, 30);
    mFontNameField->setContentsMargins(6, 2, 6, 2);
    QPushButton* fontButton =
        addChooserRow(form, tr("Text font:"), mFontNameField, tr("Select…"), QStringLiteral("selectFont"));
    connect(fontButton, &QPushButton::clicked, this, &BMOptionsWindowController::selectFont);

    auto* colorRow = new QHBoxLayout;
    mRowColorWell = platform::named<QToolButton>(QStringLiteral("mRowColorWell"));
    mRowColorWell->setFixedSize(56, 26);
    mRowColorWell->setToolTip(tr("Colour of alternate rows"));
    connect(mRowColorWell, &QToolButton::clicked, this, &BMOptionsWindowController::selectRowColor);
    colorRow->addWidget(mRowColorWell);
    colorRow->addStretch();
    form->addRow(tr("Row colour:"), colorRow);
    layout->addLayout(form);
}

void BMOptionsWindowController::buildShowColumnsView(QVBoxLayout* layout)
{
    auto* grid = indented(new QGridLayout);
    grid->setHorizontalSpacing(28);
    grid->setVerticalSpacing(8);
    for (int c = 0; c < kShowColumnPrefNoofColumns; ++c) {
        for (int r = 0; r < kShowColumnPrefNoofRows; ++r) {
            if (!options::isUsedColumnCell(r, c))
                continue;
            auto* cell = platform::named<QCheckBox>(QStringLiteral("mShowColumnMatrix_%1_%2").arg(r).arg(c),
                                                    options::columnCellTitle(r, c));
            grid->addWidget(cell, r, c);
            mShowColumnMatrix[r][c] = cell;
        }
    }
    layout->addLayout(grid);
    auto* note = new QLabel(tr("The icon column is always shown."));
    note->setEnabled(false);
    note->setContentsMargins(kSectionIndent, 4, 0, 0);
    layout->addWidget(note);
}

void BMOptionsWindowController::setActiveView(int index, bool animate)
{
    Q_UNUSED(animate);
    if (index < 0 || index >= mActiveContentView->count())
        return;
    // The window takes the pane's size and keeps its top edge.
    for (int i = 0; i < mActiveContentView->count(); ++i)
        mActiveContentView->widget(i)->setSizePolicy(i == index ? QSizePolicy::Preferred : QSizePolicy::Ignored,
                                                     i == index ? QSizePolicy::Preferred : QSizePolicy::Ignored);
    mActiveContentView->setCurrentIndex(index);
    mActiveContentView->adjustSize();
    adjustSize();
    mToolBarActions[index]->setChecked(true);
    setWindowTitle(tr(qPrintable(m_identifiers[index])));
}

int BMOptionsWindowController::activeView() const { return mActiveContentView->currentIndex(); }

void BMOptionsWindowController::toolBarItemClicked(int tag) { setActiveView(tag, true); }

void BMOptionsWindowController::setSelectedFont(const QFont& font)
{
    mSelectedFont = font;
    mFontNameField->setText(options::fontDescription(font));
    mFontNameField->setFont(font);
}

void BMOptionsWindowController::setRowColor(const QColor& color)
{
    mRowColor = color.isValid() ? color : QColor(Qt::white);
    updateRowColorWell();
}

void BMOptionsWindowController::updateRowColorWell()
{
    QPixmap swatch(44, 16);
    swatch.fill(mRowColor);
    QPainter p(&swatch);
    p.setPen(QColor(0, 0, 0, 90));
    p.drawRect(swatch.rect().adjusted(0, 0, -1, -1));
    p.end();
    mRowColorWell->setIcon(QIcon(swatch));
    mRowColorWell->setIconSize(swatch.size());
}

void BMOptionsWindowController::initUserPreferences()
{
    const TVXUser* user = mCaches.getCurrentUser();
    if (!user)
        return;
    const OptionsChoices choices = options::choicesFromUser(*user);
    setSelectedFont(choices.font);
    setRowColor(choices.rowColor);
    mAutoLock->setChecked(choices.autoLock);
    mAutoLockField->setValue(choices.lockMinutes);
    mAutoSubmit->setChecked(choices.autoSubmit);
    {
        const QSignalBlocker block(mClearClipBoardButton);
        mClearClipBoardButton->setChecked(choices.clearClipboard);
    }
    clearClipBoardMatrixAction(mClearClipBoardButton);
    {
        const QSignalBlocker block(mClearAfterTimeStepper);
        mClearAfterTimeStepper->setValue(
            std::clamp(choices.clipboardMinutes, kClipboardStepperMin, kClipboardStepperMax));
    }
    clearClipBoardMatrixAction(mClearAfterTimeStepper);
    (choices.clipboardColumn == kClearClipboardOnExitColumn ? mClearOnExitCell : mClearAfterCell)->setChecked(true);
    const ColumnCells cells = options::cellsFromColumnMask(choices.columnMask);
    for (int r = 0; r < kShowColumnPrefNoofRows; ++r)
        for (int c = 0; c < kShowColumnPrefNoofColumns; ++c)
            if (QCheckBox* cell = mShowColumnMatrix[r][c])
                cell->setChecked(cells[r][c]);

    const bool hasPassword = TVXPasswordHint::isPasswordEnableForUser(*user);
    for (QWidget* control : {static_cast<QWidget*>(mAutoLock), static_cast<QWidget*>(mAutoLockField),
                             static_cast<QWidget*>(mAutolockLabel)})
        control->setVisible(hasPassword);
}

OptionsChoices BMOptionsWindowController::currentChoices() const
{
    OptionsChoices choices;
    choices.font = mSelectedFont;
    choices.rowColor = mRowColor;
    choices.autoLock = mAutoLock->isChecked();
    choices.lockMinutes = mAutoLockField->value();
    choices.autoSubmit = mAutoSubmit->isChecked();
    choices.clearClipboard = mClearClipBoardButton->isChecked();
    choices.clipboardColumn = mClearOnExitCell->isChecked() ? kClearClipboardOnExitColumn : kClearClipboardAfterColumn;
    choices.clipboardMinutes = mClearAfterTimeStepper->value();
    ColumnCells cells{};
    for (int r = 0; r < kShowColumnPrefNoofRows; ++r)
        for (int c = 0; c < kShowColumnPrefNoofColumns; ++c)
            cells[r][c] = mShowColumnMatrix[r][c] && mShowColumnMatrix[r][c]->isChecked();
    choices.columnMask = options::columnMaskFromCells(cells);
    return choices;
}

void BMOptionsWindowController::clearClipBoardMatrixAction(QObject* sender)
{
    if (sender == mClearClipBoardButton) {
        mClearClipBoardBox->setVisible(mClearClipBoardButton->isChecked());
    } else if (sender == mClearAfterTimeStepper) {
        mClearAfterCell->setChecked(true);
        mClearAfterCell->setText(options::clipboardAfterTitle(mClearAfterTimeStepper->value()));
    }
}

BMOptionsWindowController::~BMOptionsWindowController()
{
    if (mSaving)
        QGuiApplication::restoreOverrideCursor();
}

int BMOptionsWindowController::orderFrontOptionsPanel()
{
    mSaved = false;
    mRequestedEnd.reset();
    initUserPreferences();
    // The session's autostart entry is the truth; it may have been removed elsewhere.
    mRunOnStartupButton->setChecked(mLoginItems.isLaunchedAtLogin());
    if (!mEscapeGuard)
        mEscapeGuard = new platform::EscapeGuard(this);
    mEscapeGuard->take();
    mInRun = true;
    platform::runModalForWindow(this);
    mInRun = false;
    mEscapeGuard->forget();
    // Only a save is an edit: closing or cancelling leaves the options as they were.
    if (mSaved) {
        const TVXUser* user = mCaches.getCurrentUser();
        mEventLog.eventLogger().addLogEventBehind(QStringLiteral("Edit Settings"), QString(), QString(),
                                                  user ? user->mUsername() : QString());
    }
    return mSaved ? platform::kModalRunStopped : platform::kModalRunAborted;
}

void BMOptionsWindowController::ok()
{
    if (mSaving)
        return; // the first OK is answered first
    const TVXUser* user = mCaches.getCurrentUser();
    const bool hasPassword = user && TVXPasswordHint::isPasswordEnableForUser(*user);
    const QString refusal = options::lockMinutesRefusal(currentChoices(), hasPassword);
    if (!refusal.isEmpty()) {
        BMRunAlertPanel(tr("Tolvanex Enterprise Alert!"), refusal, tr("OK"));
        return;
    }
    if (!user) {
        storealert::reportStoreFailure(kTVXStatementFailed);
        return;
    }
    QPointer<BMOptionsWindowController> self(this);
    saveUserPreference([self](TVXResult code) {
        if (self)
            self->saveAnswered(code);
    });
    // After the question about all types: the answer is a queued call.
    setSaving(true);
}

void BMOptionsWindowController::saveAnswered(TVXResult code)
{
    setSaving(false);
    // Settings the store refused keep the window open.
    if (code != kTVXDone) {
        storealert::reportStoreFailure(code);
        return;
    }
    platform::NotificationCenter::defaultCenter().post(kTolvanPreferenceChangedNotification);
    if (!mInRun) {
        // The run ended another way meanwhile: the edit is logged here.
        mEventLog.eventLogger().addLogEventBehind(QStringLiteral("Edit Settings"));
        return;
    }
    mSaved = true;
    mRequestedEnd = platform::kModalRunStopped;
    platform::stopModal();
}

void BMOptionsWindowController::cancel()
{
    if (mSaving)
        return; // what was sent is answered first
    platform::abortModal();
}

void BMOptionsWindowController::setSaving(bool saving)
{
    if (saving == mSaving)
        return;
    mSaving = saving;
    platform::holdRunAgainstClosing(this, saving);
    for (QWidget* part : {static_cast<QWidget*>(mToolBar), static_cast<QWidget*>(mActiveContentView),
                          static_cast<QWidget*>(mOkButton), static_cast<QWidget*>(mCancelButton)})
        if (part)
            part->setEnabled(!saving);
    if (saving)
        QGuiApplication::setOverrideCursor(Qt::BusyCursor);
    else
        QGuiApplication::restoreOverrideCursor();
}

void BMOptionsWindowController::saveUserPreference(std::function<void(TVXResult)> answer)
{
    const QString selected = mSelectedTypeUID ? mSelectedTypeUID() : kAllCategoriesUID;
    options::saveUserPreference(
        mCaches, mPreferences, currentChoices(), selected,
        [] {
            return BMRunAlertPanel(tr("Tolvanex Enterprise Alert!"),
                                   tr("Do you want the current column settings to be applied to all Types?"), tr("No"),
                                   QString(), tr("Yes"))
                   == platform::kAlertOtherReturn;
        },
        std::move(answer));
}

void BMOptionsWindowController::selectFont()
{
    QFontDialog panel(mSelectedFont, this);
    panel.setObjectName(QStringLiteral("FontPanel"));
    panel.setOption(QFontDialog::DontUseNativeDialog);
    platform::endModalRunOnDialog(&panel);
    if (platform::runModalForWindow(&panel) == platform::kModalRunStopped)
        setSelectedFont(panel.currentFont());
}

void BMOptionsWindowController::selectRowColor()
{
    const QColor before = mRowColor;
    QColorDialog panel(mRowColor, this);
    panel.setObjectName(QStringLiteral("ColorPanel"));
    panel.setOption(QColorDialog::DontUseNativeDialog);
    // Continuous: the well follows the panel as the user picks.
    connect(&panel, &QColorDialog::currentColorChanged, this, [this](const QColor& color) { setRowColor(color); });
    platform::endModalRunOnDialog(&panel);
    if (platform::runModalForWindow(&panel) == platform::kModalRunStopped)
        setRowColor(panel.currentColor());
    else
        setRowColor(before);
}

void BMOptionsWindowController::browseDatabaseLocation()
{
    QFileDialog panel(this, tr("Choose the event log folder"), mDatabaseLocationField->text());
    panel.setObjectName(QStringLiteral("OpenPanel"));
    panel.setOption(QFileDialog::DontUseNativeDialog);
    panel.setFileMode(QFileDialog::Directory);
    panel.setOption(QFileDialog::ShowDirsOnly);
    platform::endModalRunOnDialog(&panel);
    if (platform::runModalForWindow(&panel) != platform::kModalRunStopped)
        return;
    const QStringList chosen = panel.selectedFiles();
    const QString folder = chosen.isEmpty() ? panel.directory().absolutePath() : chosen.first();
    if (!folder.isEmpty())
        setDatabaseLocation(folder);
}

void BMOptionsWindowController::setDatabaseLocation(const QString& folder)
{
    mDatabaseLocationField->setText(folder);
    platform::UserDefaults::setValue(kEventLoggerDatabaseLocationKey, folder);
}

void BMOptionsWindowController::toLoginItems()
{
    const bool on = mRunOnStartupButton->isChecked();
    if (!mLoginItems.setLaunchedAtLogin(on)) {
        // The check box shows what the session will do.
        mRunOnStartupButton->setChecked(mLoginItems.isLaunchedAtLogin());
        BMRunAlertPanel(tr("Tolvanex Enterprise Alert!"),
                        tr("The log-in start entry could not be changed in %1.").arg(mLoginItems.autostartFolder()),
                        tr("OK"));
    }
    platform::UserDefaults::setValue(kLaunchOnStartupKey, mRunOnStartupButton->isChecked());
}
