#include "windows/BMDetailsWindowController.h"

#include "platform/ui/EscapeGuard.h"
#include "platform/ui/SecretFields.h"
#include "views/StoreFailureAlert.h"

#include "model/BMGroup.h"
#include "model/TVXRecord.h"
#include "model/TVXType.h"
#include "model/TVXUser.h"
#include "platform/core/BackgroundTask.h"
#include "platform/ui/AlertPanel.h"
#include "platform/ui/ModalRun.h"
#include "platform/ui/SheetFrame.h"
#include "store/eventlog/EventLogStore.h"
#include "store/personal/IconStore.h"
#include "store/writers/RecordWriter.h"
#include "store/SharedStore.h"
#include "store/loading/StoreCaches.h"
#include "store/eventlog/TVXEventLogger.h"
#include "views/BMImageMatrix.h"
#include "views/BMImages.h"
#include "windows/BMPasswordWindowController.h"

#include <QApplication>
#include <QStringList>
#include <QCalendarWidget>
#include <QCloseEvent>
#include <QComboBox>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QImageReader>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QShortcut>
#include <QStandardPaths>
#include <QToolButton>
#include <QVBoxLayout>

#include <algorithm>
#include <utility>

using namespace recorddetails;

namespace {

const QString kImageNameProperty = QStringLiteral("imageName");

QString chooseAttachment(QWidget* parent)
{
    QFileDialog dialog(parent, QCoreApplication::translate("BMDetailsWindowController", "Attach a File"));
    dialog.setFileMode(QFileDialog::ExistingFile);
    dialog.setLabelText(QFileDialog::Accept, QCoreApplication::translate("BMDetailsWindowController", "Add"));
    if (platform::runDialog(&dialog) != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return {};
    return dialog.selectedFiles().first();
}

QStringList chooseIcons(QWidget* parent)
{
    QStringList patterns;
    for (const QByteArray& format : QImageReader::supportedImageFormats())
        patterns << QStringLiteral("*.") + QString::fromLatin1(format);
    QFileDialog dialog(parent, QCoreApplication::translate("BMDetailsWindowController", "Add Icons"),
                       QStandardPaths::writableLocation(QStandardPaths::PicturesLocation));
    dialog.setFileMode(QFileDialog::ExistingFiles);
    dialog.setOption(QFileDialog::DontResolveSymlinks);
    dialog.setNameFilter(QCoreApplication::translate("BMDetailsWindowController", "Images (%1)").arg(patterns.join(' ')));
    if (platform::runDialog(&dialog) != QDialog::Accepted)
        return {};
    return dialog.selectedFiles();
}

// The names in the pop-up, the one with the given identifier chosen (else the first).
void fillPopup(QComboBox* popup, const QStringList& names, const QStringList& uids, const QString& chosenUID)
{
    popup->clear();
    popup->addItems(names);
    const int chosen = chosenUID.isNull() ? 0 : std::max(0, int(uids.indexOf(chosenUID)));
    popup->setCurrentIndex(names.isEmpty() ? -1 : chosen);
}

} // namespace

// --- the window -----------------------------------------------------------------------

BMDetailWindow::BMDetailWindow(QWidget* parent) : QWidget(parent, Qt::Dialog) {}

void BMDetailWindow::watchChildren()
{
    installEventFilter(this);
    for (QWidget* child : findChildren<QWidget*>())
        child->installEventFilter(this);
}

bool BMDetailWindow::eventFilter(QObject* watched, QEvent* event)
{
    if (onPress && (event->type() == QEvent::MouseButtonPress || event->type() == QEvent::KeyPress)) {
        auto* widget = qobject_cast<QWidget*>(watched);
        if (widget && (widget == this || isAncestorOf(widget))) {
            QPoint at;
            if (event->type() == QEvent::MouseButtonPress)
                at = widget->mapTo(this, static_cast<QMouseEvent*>(event)->position().toPoint());
            else
                at = widget->mapTo(this, QPoint(0, 0));
            onPress(at, event->type() == QEvent::KeyPress);
        }
    }
    return QWidget::eventFilter(watched, event);
}

void BMDetailWindow::closeEvent(QCloseEvent* event)
{
    if (onClose)
        onClose();
    QWidget::closeEvent(event);
}

// --- making ---------------------------------------------------------------------------

BMDetailsWindowController& BMDetailsWindowController::sharedDetailsController()
{
    static auto* shared = new BMDetailsWindowController(sharedstore::caches(), sharedstore::icons(),
                                                        sharedstore::recordWriter(), sharedstore::eventLog());
    return *shared;
}

BMDetailsWindowController::BMDetailsWindowController(TVXStoreCaches& caches, TVXIconsAccess& icons,
                                                     TVXRecordWriter& writer, TVXEventLogAccess& eventLog,
                                                     QObject* parent)
    : QObject(parent), mCaches(caches), mIcons(icons), mWriter(writer), mEventLog(eventLog)
{
    mFileChooser = {chooseAttachment, chooseIcons};
    mIconImporter = [](TVXIconsAccess& icons, const QStringList& paths) {
        // Nobody waits for it: each icon is announced as it is stored.
        (void)platform::BackgroundTask::start([&icons, paths] { icons.addCustomIconsFromImages(paths); });
    };
    buildWindow();
    buildIconPanel();
}

BMDetailsWindowController::~BMDetailsWindowController()
{
    delete mIconSelectionPanel.data();
    delete mWindow.data();
}

void BMDetailsWindowController::buildWindow()
{
    mWindow = new BMDetailWindow;
    mWindow->setObjectName(QStringLiteral("DetailsWindowController"));
    mWindow->setWindowTitle(tr("Record Details"));

    mCustomiseButton = new QPushButton(tr("Customize..."));
    mPasswordButton = new QPushButton(tr("Password..."));
    mPrintButton = new QPushButton(tr("Print..."));
    mDuplicateButton = new QPushButton(tr("Duplicate"));
    mDeleteButton = new QPushButton(tr("Delete"));
    mCustomiseButton->setVisible(false); // until the field-set sheet is installed
    mPrintButton->setVisible(false);     // until a printer is installed

    platform::SheetFrame frame(mWindow);
    frame.column()->addLayout(buildHeader());
    frame.column()->addWidget(buildFieldsBox());
    frame.column()->addWidget(buildNotesBox(), 1);
    frame.column()->addLayout(buildAttachmentRow());
    const platform::SheetButtons buttons = frame.addOkCancel(
        {}, {}, {mCustomiseButton, mPasswordButton, mPrintButton, mDuplicateButton, mDeleteButton});
    mCancelButton = buttons.cancel;
    mOKButton = buttons.ok;
    // Nothing else may start on the record until a save's answer.
    mSaveWait = new platform::SaveWait(
        mWindow, {mOKButton, mCancelButton, mDeleteButton, mDuplicateButton, mPrintButton, mIconSelectionButton,
                  mPasswordButton, mCustomiseButton, mAttachmentButton, mAutoFillButton, mTypesPopupButton});
    frame.column()->insertWidget(frame.column()->count() - 1, mSaveWait->line());

    mDatePicker = new QCalendarWidget(mWindow);
    mDatePicker->setGridVisible(false);
    mDatePicker->setVerticalHeaderFormat(QCalendarWidget::NoVerticalHeader);
    mDatePicker->setAutoFillBackground(true);
    mDatePicker->setStyleSheet(QStringLiteral(
        "QCalendarWidget QAbstractItemView { background: #c9dcf5; color: #1a3fb0; selection-background-color: #3d6fd6; }"));
    mDatePicker->hide();
    connect(mDatePicker, &QCalendarWidget::clicked, this, [this](QDate date) { disposeDatePicker(date); });
    connect(mDatePicker, &QCalendarWidget::activated, this, [this](QDate date) { disposeDatePicker(date); });

    // The fields, in order, then the note; the buttons follow.
    QWidget::setTabOrder(mCategoriesPopupButton, mTypesPopupButton);
    QWidget::setTabOrder(mTypesPopupButton, mValueFields[0]);
    for (int i = 0; i < 8; ++i)
        QWidget::setTabOrder(mValueFields[static_cast<size_t>(i)], mValueFields[static_cast<size_t>(i + 1)]);
    QWidget::setTabOrder(mValueFields[8], mNotesTextView);

    connectWindow();
    setAttachmentLook(false);
    updateNoteCount();
    mWindow->resize(640, 660);
}

QGridLayout* BMDetailsWindowController::buildHeader()
{
    mIconSelectionButton = new QToolButton;
    mIconSelectionButton->setIconSize(QSize(40, 40));
    mIconSelectionButton->setFixedSize(56, 56);
    mIconSelectionButton->setToolTip(tr("Choose Icon"));
    mCategoriesPopupButton = new QComboBox;
    mTypesPopupButton = new QComboBox;
    mCategoriesPopupButton->setMinimumWidth(220);
    mTypesPopupButton->setMinimumWidth(220);
    mAutoFillButton = new QPushButton(tr("AutoFill"));

    auto* header = new QGridLayout;
    header->addWidget(mIconSelectionButton, 0, 0, 2, 1, Qt::AlignTop);
    header->addWidget(new QLabel(tr("Group:")), 0, 1, Qt::AlignRight);
    header->addWidget(mCategoriesPopupButton, 0, 2);
    header->addWidget(new QLabel(tr("Type:")), 1, 1, Qt::AlignRight);
    header->addWidget(mTypesPopupButton, 1, 2);
    header->addWidget(mAutoFillButton, 1, 3);
    header->setColumnStretch(2, 1);
    header->setHorizontalSpacing(10);
    return header;
}

QGroupBox* BMDetailsWindowController::buildFieldsBox()
{
    auto* fieldsBox = new QGroupBox(tr("Fields"));
    auto* fields = new QGridLayout(fieldsBox);
    fields->setHorizontalSpacing(6);
    fields->setVerticalSpacing(6);
    for (int i = 0; i < 10; ++i) {
        auto* label = new QLabel;
        label->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
        label->setMinimumWidth(110);
        auto* mask = new QLabel;
        mask->setFixedWidth(10);
        mask->setToolTip(tr("Masked field"));
        mask->setStyleSheet(QStringLiteral("color: #b03030; font-weight: bold;"));
        auto* value = new QLineEdit;
        value->setMinimumWidth(300);
        value->installEventFilter(this);
        fields->addWidget(label, i, 0);
        fields->addWidget(mask, i, 1);
        fields->addWidget(value, i, 2);
        mFieldLabels[static_cast<size_t>(i)] = label;
        mMaskMarks[static_cast<size_t>(i)] = mask;
        mValueFields[static_cast<size_t>(i)] = value;
        if (i < 9) {
            auto* date = new QToolButton;
            date->setIcon(bmimages::icon(QStringLiteral("Calendar")));
            date->setIconSize(QSize(18, 18));
            date->setToolTip(tr("Pick a date"));
            date->setAutoRaise(true);
            date->setFocusPolicy(Qt::NoFocus);
            date->setProperty("fieldNumber", i + 1);
            fields->addWidget(date, i, 3);
            mDateButtons[static_cast<size_t>(i)] = date;
            connect(date, &QToolButton::clicked, this, [this, i] { displayDatePickerWindow(i + 1); });
        }
    }
    // The modification date is set when the record is stored, not typed.
    mValueFields[9]->setReadOnly(true);
    mValueFields[9]->setFocusPolicy(Qt::NoFocus);
    mValueFields[9]->setStyleSheet(QStringLiteral("QLineEdit { background: palette(window); color: palette(dark); }"));
    fields->setColumnMinimumWidth(3, 26);
    fields->setColumnStretch(2, 1);
    return fieldsBox;
}

QGroupBox* BMDetailsWindowController::buildNotesBox()
{
    mNotesTextView = new QPlainTextEdit;
    mNotesTextView->setTabChangesFocus(true);
    mNotesTextView->setMinimumHeight(70);
    mNoteCount = new QLabel;
    mNoteCount->setAlignment(Qt::AlignRight);
    auto* notesBox = new QGroupBox(tr("Notes"));
    auto* notes = new QVBoxLayout(notesBox);
    notes->addWidget(mNotesTextView);
    notes->addWidget(mNoteCount);
    connect(mNotesTextView, &QPlainTextEdit::textChanged, this, [this] { updateNoteCount(); });
    return notesBox;
}

QHBoxLayout* BMDetailsWindowController::buildAttachmentRow()
{
    mAttachmentName = new QLineEdit;
    mAttachmentName->setReadOnly(true);
    mAttachmentName->setPlaceholderText(tr("No attachment"));
    mAttachmentName->setFocusPolicy(Qt::NoFocus);
    mAttachmentButton = new QToolButton;
    mAttachmentButton->setIconSize(QSize(22, 22));
    auto* attachment = new QHBoxLayout;
    attachment->addWidget(new QLabel(tr("Attachment:")));
    attachment->addWidget(mAttachmentName, 1);
    attachment->addWidget(mAttachmentButton);
    return attachment;
}

void BMDetailsWindowController::connectWindow()
{
    // The command each of the sheet's buttons runs.
    using Command = void (BMDetailsWindowController::*)();
    const std::pair<QAbstractButton*, Command> commands[] = {
        {mOKButton, &BMDetailsWindowController::detailPanelOK},
        {mCancelButton, &BMDetailsWindowController::detailPanelCancel},
        {mDeleteButton, &BMDetailsWindowController::deleteItem},
        {mDuplicateButton, &BMDetailsWindowController::duplicateItem},
        {mPrintButton, &BMDetailsWindowController::printRecord},
        {mIconSelectionButton, &BMDetailsWindowController::displayIconSelectionPanel},
        {mPasswordButton, &BMDetailsWindowController::displayPasswordSelectionPanel},
        {mCustomiseButton, &BMDetailsWindowController::displayCustomSettingsPanel},
        {mAttachmentButton, &BMDetailsWindowController::attachdetachFile},
        {mAutoFillButton, &BMDetailsWindowController::webLogin},
    };
    for (const auto& [button, command] : commands)
        connect(button, &QAbstractButton::clicked, this, [this, command] { (this->*command)(); });
    connect(mTypesPopupButton, &QComboBox::activated, this, [this] { changeTypeSelection(); });
    // Return in a value cell is OK, Escape is Cancel, as in any dialog.
    for (int i = 0; i < 9; ++i)
        connect(mValueFields[static_cast<size_t>(i)], &QLineEdit::returnPressed, this, [this] { detailPanelOK(); });
    auto* escape = new QShortcut(QKeySequence(Qt::Key_Escape), mWindow);
    escape->setContext(Qt::WindowShortcut);
    mEscapeGuard = new platform::EscapeGuard(mWindow, [this] { return inputExtras(); });
    connect(escape, &QShortcut::activated, this, [this] {
        if (mDatePicker->isVisible())
            mDatePicker->hide();
        else if (mEscapeGuard->mayDiscard())
            detailPanelCancel();
    });

    mWindow->onPress = [this](const QPoint& at, bool keyPress) {
        if (keyPress) {
            QWidget* focus = QApplication::focusWidget();
            if (focus && (focus == mDatePicker || mDatePicker->isAncestorOf(focus)))
                return;
            if (mDatePicker->isVisible())
                mDatePicker->hide();
            return;
        }
        removeDatePicker(at);
    };
    mWindow->onClose = [this] { mClosedByUser = true; };
    mWindow->watchChildren();
}

void BMDetailsWindowController::buildIconPanel()
{
    mIconSelectionPanel = new QWidget(nullptr, Qt::Dialog);
    mIconSelectionPanel->setObjectName(QStringLiteral("IconSelectionPanel"));
    mIconSelectionPanel->setWindowTitle(tr("Choose Icon"));
    mImageMatrix = new BMImageMatrix(mIcons);
    auto* scroll = new QScrollArea;
    scroll->setWidget(mImageMatrix);
    scroll->setWidgetResizable(false);
    scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    scroll->setFixedWidth(BMImageMatrix::kColumns * BMImageMatrix::kCellSize + 2 * scroll->frameWidth()
                          + scroll->verticalScrollBar()->sizeHint().width());
    scroll->setMinimumHeight(6 * BMImageMatrix::kCellSize);
    scroll->setStyleSheet(QStringLiteral("QScrollArea { background: white; }"));

    auto* add = new QPushButton(tr("Add Icons..."));
    platform::SheetFrame frame(mIconSelectionPanel, 10);
    frame.column()->addWidget(new QLabel(tr("Choose an icon for the record:")));
    frame.column()->addWidget(scroll, 1);
    platform::endModalRunOnButtons(frame.addOkCancel({}, {}, {add}));
    connect(add, &QPushButton::clicked, this, [this] { addCustomIcons(); });
    auto* escape = new QShortcut(QKeySequence(Qt::Key_Escape), mIconSelectionPanel);
    connect(escape, &QShortcut::activated, this, [] { platform::abortModal(); });
    auto* enter = new QShortcut(QKeySequence(Qt::Key_Return), mIconSelectionPanel);
    connect(enter, &QShortcut::activated, this, [] { platform::stopModal(); });
}

void BMDetailsWindowController::setCustomFieldsRunner(CustomFieldsRunner runner)
{
    mCustomFieldsRunner = std::move(runner);
    mCustomiseButton->setVisible(bool(mCustomFieldsRunner));
}

void BMDetailsWindowController::setRecordPrinter(RecordPrinter printer)
{
    mRecordPrinter = std::move(printer);
    mPrintButton->setVisible(bool(mRecordPrinter));
}

bool BMDetailsWindowController::eventFilter(QObject* watched, QEvent* event)
{
    // The password generator fills the value cell the user was last in.
    if (event->type() == QEvent::FocusIn)
        for (int i = 0; i < 9; ++i)
            if (watched == mValueFields[static_cast<size_t>(i)])
                mLastFocusedValue = mValueFields[static_cast<size_t>(i)];
    return QObject::eventFilter(watched, event);
}

// --- running ----------------------------------------------------------------------------

std::shared_ptr<TVXRecord> BMDetailsWindowController::orderFrontDetailsWindowWithInfo(std::shared_ptr<TVXRecord> record,
                                                                                      int& operation, RecordStorer storer)
{
    RecordSaver saver;
    if (storer)
        saver = [storer = std::move(storer)](const std::shared_ptr<TVXRecord>& built, int storedOperation,
                                             const SaveAnswer& answer) { answer(storer(built, storedOperation)); };
    // A storer tells of a failure itself, inside the call.
    return orderFrontDetailsWindowSaving(std::move(record), operation, std::move(saver), {});
}

std::shared_ptr<TVXRecord> BMDetailsWindowController::orderFrontDetailsWindowSaving(std::shared_ptr<TVXRecord> record,
                                                                                    int& operation, RecordSaver saver,
                                                                                    SaveAnswer report)
{
    if (!record)
        return nullptr;
    ++mRun;
    mOperation = operation;
    mSaver = std::move(saver);
    mReport = std::move(report);
    mBuiltRecord.reset();
    mShouldDeleteItem = mShouldDuplicateItem = mStateForDuplicate = false;
    mShouldAddRecord = mShouldEditRecord = false;
    mAttachmentModified = false;
    mTypeCustomFields.reset();
    mCustomTypeSaved.reset();
    mDuplicateCopy.reset();
    mIsTypeCustomizedOnce = mIsCustomFromDetailPanel = false;
    mSelectedImageID = 0;
    mAttachmentPath.clear();
    mLastFocusedValue = nullptr;

    mDeleteButton->setEnabled(operation == kOperationEdit);
    mShouldEditRecord = operation == kOperationEdit;
    mStateForDuplicate = operation == kOperationDuplicate;
    mShouldAddRecord = operation == kOperationAdd;

    // Copies: the sheet may change them; the record handed in may be the cache's.
    const bool customised = record->mIsCustomized() && record->mRecordCustomType();
    mRecordCustomInfo = customised ? TVXType::createCopyforType(*record->mRecordCustomType()) : nullptr;
    if (customised)
        mTypeCustomFields = TVXType::createCopyforType(*record->mRecordCustomType());
    mCurrentRecord = record;
    resetControls();
    fillPopups(*record);
    applyTypeInformation(governingType().get());
    fillFromRecord(*record);

    mEscapeGuard->take();
    mValueFields[0]->setFocus();
    mIsVisible = true;
    mClosedByUser = false;
    mRequestedEnd.reset();
    int code = platform::runModalForWindow(mWindow);
    // Closing the window is taken as Cancel: it must not store what no check has passed.
    if (mClosedByUser && mRequestedEnd != platform::kModalRunStopped)
        code = platform::kModalRunAborted;

    std::shared_ptr<TVXRecord> built;
    if (code == platform::kModalRunStopped)
        built = mBuiltRecord ? mBuiltRecord : itemRecordFromUIWithCustomInfo(mRecordCustomInfo);
    auto result = recordForRunResult(code, built, *record, operation, mShouldDeleteItem,
                                     mShouldDuplicateItem || mStateForDuplicate, mAttachmentModified);

    mAttachmentPath.clear();
    mEscapeGuard->forget();
    mDatePicker->hide();
    mWindow->hide();
    // The closed sheet keeps no copy of the record's values.
    for (QLineEdit* field : mValueFields)
        platform::wipeField(field);
    platform::wipeField(mNotesTextView);
    mIsVisible = false;
    setCustomizing(false);
    mCurrentRecord.reset();
    mDuplicateCopy.reset();
    mBuiltRecord.reset();
    mSaver = nullptr;
    mReport = nullptr;
    ++mRun; // an answer still due finds the sheet closed
    mSaveWait->show(false);
    return result;
}

void BMDetailsWindowController::endRun(int code)
{
    mRequestedEnd = code;
    platform::stopModalWithCode(code);
}

// --- the pop-ups, labels and values -------------------------------------------------------

std::shared_ptr<BMGroup> BMDetailsWindowController::selectedGroup() const
{
    const int index = mCategoriesPopupButton->currentIndex();
    return index >= 0 && index < mGroupsList.size() ? mGroupsList[index] : nullptr;
}

std::shared_ptr<TVXType> BMDetailsWindowController::selectedType() const
{
    const int index = mTypesPopupButton->currentIndex();
    return index >= 0 && index < mTypesList.size() ? mTypesList[index] : nullptr;
}

std::shared_ptr<TVXType> BMDetailsWindowController::governingType() const
{
    if (mTypeCustomFields)
        return mTypeCustomFields;
    if (mRecordCustomInfo)
        return mRecordCustomInfo;
    return selectedType();
}

void BMDetailsWindowController::resetControls()
{
    mNotesTextView->clear();
    for (int i = 0; i < 10; ++i) {
        mValueFields[static_cast<size_t>(i)]->clear();
        mMaskMarks[static_cast<size_t>(i)]->clear();
    }
    const auto defaults = fieldPresentations(nullptr);
    for (int i = 0; i < 10; ++i)
        mFieldLabels[static_cast<size_t>(i)]->setText(defaults[static_cast<size_t>(i)].label);
}

void BMDetailsWindowController::fillPopups(const TVXRecord& record)
{
    mGroupsList = mCaches.groupsForEditing();
    mTypesList = mCaches.typesForEditing();
    QStringList groupNames, groupUIDs, typeNames, typeUIDs;
    for (const auto& group : mGroupsList) {
        groupNames << group->mGroupName();
        groupUIDs << group->mGroupUID();
    }
    for (const auto& type : mTypesList) {
        typeNames << type->mTypeName();
        typeUIDs << type->mTypeUID();
    }
    fillPopup(mCategoriesPopupButton, groupNames, groupUIDs, record.mGroup() ? record.mGroup()->mGroupUID() : QString());
    fillPopup(mTypesPopupButton, typeNames, typeUIDs, record.mType() ? record.mType()->mTypeUID() : QString());
    mTypesPopupButton->setEnabled(!mTypesList.isEmpty());
}

void BMDetailsWindowController::applyTypeInformation(const TVXType* type)
{
    const auto fields = fieldPresentations(type);
    for (int i = 0; i < 10; ++i) {
        const auto& field = fields[static_cast<size_t>(i)];
        mFieldLabels[static_cast<size_t>(i)]->setText(field.label);
        mMaskMarks[static_cast<size_t>(i)]->setText(field.masked ? QStringLiteral("*") : QString());
        if (i < 9)
            mDateButtons[static_cast<size_t>(i)]->setVisible(field.dateButton);
    }
}

void BMDetailsWindowController::fillFromRecord(const TVXRecord& record)
{
    for (int i = 0; i < 9; ++i)
        mValueFields[static_cast<size_t>(i)]->setText(record.valueAtIndex(i));
    mNotesTextView->setPlainText(record.mNotes());
    mValueFields[9]->setText(mStateForDuplicate ? modificationDisplayText(QDate::currentDate())
                                                : modificationDisplayText(record.mValue10()));
    const auto governing = governingType();
    showIcon(governing ? governing->mTypeIconID() : kDefaultIconID);
    updateAutoFill(record.mType().get());
    mAttachmentName->setText(record.mHasAttachment() ? record.mAttachmentName() : QString());
    setAttachmentLook(record.mHasAttachment());
}

void BMDetailsWindowController::showIcon(int iconNumber)
{
    mIconImage = mIcons.getImageFromIconIndex(iconNumber);
    mIconSelectionButton->setIcon(mIconImage.isNull() ? QIcon() : QIcon(QPixmap::fromImage(mIconImage)));
}

int BMDetailsWindowController::iconNumberShown() const { return iconNumberOfImage(mIconImage); }

QByteArray BMDetailsWindowController::inputExtras() const
{
    // The icon and the attachment are chosen, not typed, and are input all the same.
    return QByteArray::number(iconNumberShown()) + (mAttachmentModified ? "+" : "");
}

void BMDetailsWindowController::updateAutoFill(const TVXType* type)
{
    mAutoFillButton->setVisible(type && type->mTypeUID() == kWebLoginUID);
}

void BMDetailsWindowController::setAttachmentLook(bool attached)
{
    const QString image = attached ? kDeleteAttachmentImage : kAddAttachmentImage;
    mAttachmentButton->setProperty(kImageNameProperty.toUtf8().constData(), image);
    mAttachmentButton->setIcon(bmimages::icon(image));
    mAttachmentButton->setToolTip(attached ? tr("Delete Attachment") : tr("Add Attachment"));
}

bool BMDetailsWindowController::hasAttachment() const
{
    return mAttachmentButton->property(kImageNameProperty.toUtf8().constData()).toString() == kDeleteAttachmentImage;
}

void BMDetailsWindowController::updateNoteCount()
{
    const qsizetype bytes = noteByteCount(mNotesTextView->toPlainText());
    mNoteCount->setText(tr("%1 of %2 bytes").arg(bytes).arg(kNoteByteLimit));
    mNoteCount->setStyleSheet(bytes > kNoteByteLimit ? QStringLiteral("color: #c0392b;")
                                                     : QStringLiteral("color: palette(mid);"));
}

void BMDetailsWindowController::changeTypeSelection()
{
    mRecordCustomInfo.reset();
    setCustomizing(false);
    mTypeCustomFields.reset();
    mCustomTypeSaved.reset();
    mIsTypeCustomizedOnce = false;
    const auto type = selectedType();
    updateAutoFill(type.get());
    showIcon(type ? type->mTypeIconID() : kDefaultIconID);
    applyTypeInformation(type.get());
}

bool BMDetailsWindowController::isTypeExistsForSelectedGroup() const { return mTypesPopupButton->count() == 0; }

SheetContents BMDetailsWindowController::contents() const
{
    SheetContents c;
    c.group = selectedGroup();
    c.type = selectedType();
    for (int i = 0; i < 9; ++i)
        c.values[static_cast<size_t>(i)] = mValueFields[static_cast<size_t>(i)]->text();
    c.note = mNotesTextView->toPlainText();
    c.iconNumber = iconNumberShown();
    c.selectedImageID = mSelectedImageID;
    c.attachmentName = mAttachmentName->text();
    c.attachmentModified = mAttachmentModified;
    c.attachmentPath = mAttachmentPath;
    return c;
}

std::shared_ptr<TVXRecord> BMDetailsWindowController::itemRecordFromUIWithCustomInfo(std::shared_ptr<TVXType> customInfo)
{
    SheetState state{mCurrentRecord, mTypeCustomFields, mIsCustomFromDetailPanel, mIsCustomizing, mStateForDuplicate};
    auto record = buildRecord(contents(), state, std::move(customInfo));
    mIsCustomizing = state.isCustomizing;
    mIsCustomFromDetailPanel = state.isCustomFromDetailPanel;
    return record;
}

// --- buttons ------------------------------------------------------------------------------

bool BMDetailsWindowController::checkForRecordPermissionFor(uint16_t bit)
{
    const auto group = selectedGroup();
    if (hasRecordPermission(mCaches, group.get(), bit))
        return true;
    BMRunAlertPanel(QString(), messageNoPermission(), tr("OK"));
    return false;
}

void BMDetailsWindowController::detailPanelOK()
{
    if (isSaving())
        return; // the answer to the last OK decides
    if (!checkForRecordPermissionFor(mShouldEditRecord ? kPermissionEdit : kPermissionAdd))
        return;
    if (!mTypesPopupButton->isEnabled()) {
        BMRunAlertPanel(QString(), messageNoType(), tr("OK"));
        return;
    }
    if (isNoteTooLong(mNotesTextView->toPlainText())) {
        // Cut where the message says, and shown for a look before it is stored.
        mNotesTextView->setPlainText(clippedNote(mNotesTextView->toPlainText()));
        BMRunAlertPanel(QString(), messageNoteTruncated(), tr("OK"));
        return;
    }
    // Building has effects on the sheet's state: a refused input leaves it as it was.
    const bool customizing = mIsCustomizing;
    const bool customFromPanel = mIsCustomFromDetailPanel;
    const auto keepState = [&] {
        mIsCustomizing = customizing;
        mIsCustomFromDetailPanel = customFromPanel;
    };
    auto built = itemRecordFromUIWithCustomInfo(mRecordCustomInfo);
    if (!recordFitsStore(*built)) {
        keepState();
        return;
    }
    if (mSaver && mCurrentRecord) {
        int operation = mOperation;
        const auto record = recordForRunResult(platform::kModalRunStopped, built, *mCurrentRecord, operation, false,
                                               mShouldDuplicateItem || mStateForDuplicate, mAttachmentModified);
        if (record) {
            mSaveWait->show(true);
            QPointer<BMDetailsWindowController> self(this);
            const storealert::ReloadOfferedByCaller offered{static_cast<bool>(mStoreReloader)};
            mSaver(record, operation, [self, run = mRun, built, customizing, customFromPanel](TVXResult code) {
                if (self)
                    self->saveAnswered(run, built, code, customizing, customFromPanel);
            });
            return;
        }
    }
    mBuiltRecord = std::move(built);
    endRun(platform::kModalRunStopped);
}

void BMDetailsWindowController::saveAnswered(quint64 run, std::shared_ptr<TVXRecord> built, TVXResult code,
                                             bool customizing, bool customFromPanel)
{
    // The sheet closed meanwhile (or runs on another record): the store has
    // done its part, nothing here is the answer's.
    if (run != mRun)
        return;
    mSaveWait->show(false);
    if (mReport) {
        const storealert::ReloadOfferedByCaller offered{static_cast<bool>(mStoreReloader)};
        mReport(code);
    }
    if (code != kTVXDone) {
        mIsCustomizing = customizing;
        mIsCustomFromDetailPanel = customFromPanel;
        if (storealert::asksForReload(code) && mStoreReloader)
            offerReload();
        return;
    }
    mBuiltRecord = std::move(built);
    endRun(platform::kModalRunStopped);
}

void BMDetailsWindowController::offerReload()
{
    // The sheet is modal: the reload is offered here, and what was typed stays.
    if (BMRunAlertPanel(platform::standardAlertTitle(), storealert::messageReloadFirst(), tr("Reload"), tr("Cancel"))
        != platform::kAlertDefaultReturn)
        return;
    const QString recordUID = mCurrentRecord ? mCurrentRecord->mRecordUID() : QString();
    const auto group = selectedGroup();
    const auto type = selectedType();
    const QString groupUID = group ? group->mGroupUID() : QString();
    const QString typeUID = type ? type->mTypeUID() : QString();
    if (!mStoreReloader())
        return; // the reload said why itself

    // The pop-ups list the fresh groups and types, still showing the choice.
    auto chosen = TVXRecord::createRecord();
    chosen->setMGroup(mCaches.groupWithUID(groupUID));
    chosen->setMType(mCaches.mTypes().value(typeUID));
    fillPopups(*chosen);
    if (mShouldEditRecord && !recordUID.isEmpty()) {
        if (auto fresh = mCaches.recordWithUID(recordUID)) {
            mCurrentRecord = std::move(fresh); // OK now stores over the copy just read
            return;
        }
        // Deleted meanwhile: what the sheet holds can only go in as a new record.
        mShouldEditRecord = false;
        mShouldDuplicateItem = true;
        mDeleteButton->setEnabled(false);
        QString message = tr("This record was deleted by another user meanwhile. OK stores what the sheet shows as a new record.");
        if (!mAttachmentName->text().isEmpty()) {
            mAttachmentName->clear();
            mAttachmentPath.clear();
            mAttachmentModified = true;
            setAttachmentLook(false);
            message += QLatin1Char(' ') + tr("Its attachment was deleted with it.");
        }
        BMRunAlertPanel(platform::standardAlertTitle(), message, tr("OK"));
    }
}

bool BMDetailsWindowController::recordFitsStore(const TVXRecord& record)
{
    const int tooLong = textTooLongForStore(mWriter, record);
    if (tooLong < 0)
        return true;
    QString message;
    if (tooLong >= kFirstOwnFieldName) {
        const auto governing = governingType();
        const int field = tooLong - kFirstOwnFieldName;
        message = messageFieldNameTooLong(governing ? governing->fieldAtIndex(field) : defaultFieldLabel(field + 1));
    } else if (tooLong < 10) {
        message = messageValueTooLong(mFieldLabels[static_cast<size_t>(tooLong)]->text());
        mValueFields[static_cast<size_t>(tooLong)]->setFocus();
    } else {
        message = messageNoteTruncated();
    }
    BMRunAlertPanel(QString(), message, tr("OK"));
    return false;
}

void BMDetailsWindowController::detailPanelCancel()
{
    if (!isSaving()) // what was sent is answered first
        endRun(platform::kModalRunAborted);
}

void BMDetailsWindowController::deleteItem()
{
    if (!checkForRecordPermissionFor(kPermissionDelete))
        return;
    mShouldDeleteItem = true;
    endRun(platform::kModalRunAborted);
}

void BMDetailsWindowController::duplicateItem()
{
    if (!mCurrentRecord || !checkForRecordPermissionFor(kPermissionAdd))
        return;
    if (isTypeExistsForSelectedGroup()) {
        BMRunAlertPanel(QString(), messageSetGroupAndTypeFirst(), tr("OK"));
        return;
    }
    mDeleteButton->setEnabled(false);
    mShouldDuplicateItem = true;
    auto copy = TVXRecord::copyRecord(*mCurrentRecord);

    if (mStateForDuplicate) {
        // The duplicate shown so far is stored before the next one is offered.
        auto record = itemRecordFromUIWithCustomInfo(mDuplicateCopy ? mDuplicateCopy->mRecordCustomType()
                                                                    : copy->mRecordCustomType());
        bool copyRow = false;
        if (!mAttachmentModified && record->mHasAttachment()) {
            if (!mCurrentRecord->mAttachmentPath().isEmpty()) {
                record->setMAttachmentState(kAttachmentStateStoreNewFile);
                record->setMAttachmentPath(mCurrentRecord->mAttachmentPath());
            } else {
                record->setMAttachmentState(kAttachmentStateCopyStored);
                copyRow = true;
            }
        }
        if (!recordFitsStore(*record))
            return;
        TVXResult code = mWriter.addRecord(record);
        if (code == kTVXDone && copyRow) {
            mWriter.copyAttachmentRow(*mCurrentRecord, *record, &code);
            record->setMAttachmentState(kAttachmentStateNone);
        }
        storealert::reportStoreFailure(code);
        const TVXUser* user = mCaches.getCurrentUser();
        mEventLog.eventLogger().addLogEventBehind(QStringLiteral("Duplicate Record"), TVXEventLogger::recordDescription(*record),
                                                 TVXEventLogger::actionForResult(code), user ? user->mUsername() : QString());
        // The duplicate shown stays for another try.
        if (code != kTVXDone)
            return;
    }

    const QString value1 = duplicateFirstValue(mValueFields[0]->text());
    copy->setMValue1(value1);
    mValueFields[0]->setText(value1);
    mDuplicateCopy = copy;
    mStateForDuplicate = true;
    mValueFields[9]->setText(modificationDisplayText(QDate::currentDate()));
}

void BMDetailsWindowController::printRecord()
{
    const TVXUser* user = mCaches.getCurrentUser();
    if (!user || (user->mDataPermissionsBit() & kDataPermissionPrint) == 0) {
        BMRunAlertPanel(QStringLiteral("Tolvanex Enterprise Alert!"), messageNoDataPermission(), tr("OK"));
        return;
    }
    if (isTypeExistsForSelectedGroup()) {
        BMRunAlertPanel(QString(), messageSetGroupAndTypeFirst(), tr("OK"));
        return;
    }
    const bool wasCustomizing = mIsCustomizing;
    const bool wasFromPanel = mIsCustomFromDetailPanel;
    auto record = itemRecordFromUIWithCustomInfo(mRecordCustomInfo);
    // Printing builds a record to draw; it changes nothing of the sheet's state.
    mIsCustomizing = wasCustomizing;
    mIsCustomFromDetailPanel = wasFromPanel;
    if (mRecordPrinter)
        mRecordPrinter(record, mWindow);
}

int BMDetailsWindowController::chooseIcon(int currentIconNumber, QWidget* over)
{
    mImageMatrix->renewIconMatrix();
    mImageMatrix->setSelectedImage(currentIconNumber);
    if (over && over->window()->isVisible())
        mIconSelectionPanel->move(over->window()->geometry().center() - mIconSelectionPanel->rect().center());
    if (platform::runModalForWindow(mIconSelectionPanel) != platform::kModalRunStopped)
        return 0;
    return mImageMatrix->selectedIconNumber();
}

void BMDetailsWindowController::displayIconSelectionPanel()
{
    const int number = chooseIcon(iconNumberShown(), mWindow);
    if (number > 0) {
        showIcon(number);
        mSelectedImageID = number;
    }
}

void BMDetailsWindowController::addCustomIcons()
{
    const QStringList paths = mFileChooser.icons ? mFileChooser.icons(mIconSelectionPanel) : QStringList();
    if (!paths.isEmpty() && mIconImporter)
        mIconImporter(mIcons, paths);
}

QLineEdit* BMDetailsWindowController::passwordTargetField() const
{
    // The record's password field, by its name, else its first masked field;
    // only a type with neither leaves it to where the user was.
    const auto fields = fieldPresentations(governingType().get());
    for (int i = 0; i < 9; ++i)
        if (fields[static_cast<size_t>(i)].label.contains(QLatin1String("password"), Qt::CaseInsensitive))
            return mValueFields[static_cast<size_t>(i)];
    for (int i = 0; i < 9; ++i)
        if (fields[static_cast<size_t>(i)].masked)
            return mValueFields[static_cast<size_t>(i)];
    if (mLastFocusedValue)
        return mLastFocusedValue;
    for (int i = 0; i < 9; ++i)
        if (mValueFields[static_cast<size_t>(i)]->hasFocus())
            return mValueFields[static_cast<size_t>(i)];
    return mValueFields[0];
}

void BMDetailsWindowController::displayPasswordSelectionPanel()
{
    QLineEdit* target = passwordTargetField();
    BMPasswordWindowController* generator =
        mPasswordController ? mPasswordController : &BMPasswordWindowController::sharedPasswordController();
    mIsPanelDisplayed = true;
    const QString password = generator->displayPasswordGenerationPanel(mPasswordButton);
    mIsPanelDisplayed = false;
    // Cancel hands back the empty text: the field keeps what it had.
    if (!password.isEmpty())
        target->setText(password);
}

void BMDetailsWindowController::displayCustomSettingsPanel()
{
    if (!mCustomFieldsRunner || !checkForRecordPermissionFor(kPermissionEdit))
        return;
    const auto type = selectedType();
    if (!type) {
        BMRunAlertPanel(QString(), messageSetGroupAndTypeFirst(), tr("OK"));
        return;
    }
    auto info = mRecordCustomInfo ? TVXType::createCopyforType(*mRecordCustomInfo) : TVXType::createCopyforType(*type);
    auto fields = mIsCustomizing && mIsTypeCustomizedOnce && mTypeCustomFields ? mTypeCustomFields : info;
    int operation = kOperationCustomType;
    mIsPanelDisplayed = true;
    auto result = mCustomFieldsRunner(mWindow, fields, type, operation);
    mIsPanelDisplayed = false;
    if (result) {
        mTypeCustomFields = result;
        mIsTypeCustomizedOnce = true;
        mIsCustomFromDetailPanel = true;
        setCustomizing(true);
    }
    // A field set that came back as the type's own leaves the record plain.
    if (mTypeCustomFields && !mTypeCustomFields->isNotEqualToCustomType(*type))
        setCustomizing(false);
    applyTypeInformation(governingType().get());
}

void BMDetailsWindowController::attachdetachFile()
{
    if (hasAttachment()) {
        if (BMRunAlertPanel(QString(), messageDeleteAttachment(), tr("No"), tr("Yes"))
            != platform::kAlertAlternateReturn)
            return;
        mAttachmentPath.clear();
        mAttachmentName->clear();
        mAttachmentModified = true;
        setAttachmentLook(false);
        return;
    }
    const QString path = mFileChooser.attachment ? mFileChooser.attachment(mWindow) : QString();
    if (path.isEmpty())
        return;
    if (!isAttachableFile(path)) {
        BMRunAlertPanel(QString(), messageAttachmentTooLarge(), tr("OK"));
        return;
    }
    mAttachmentPath = path;
    mAttachmentName->setText(QFileInfo(path).fileName());
    mAttachmentModified = true;
    setAttachmentLook(true);
}

// --- the date picker --------------------------------------------------------------------------

void BMDetailsWindowController::displayDatePickerWindow(int fieldNumber)
{
    if (fieldNumber < 1 || fieldNumber > 9)
        return;
    mEditedDateButton = mDateButtons[static_cast<size_t>(fieldNumber - 1)];
    mDatePicker->setSelectedDate(pickerDateForField(mValueFields[static_cast<size_t>(fieldNumber - 1)]->text()));
    const QSize size = mDatePicker->sizeHint().expandedTo(QSize(240, 180));
    // Below the button, its right edge at the button's; kept inside the window.
    const QPoint buttonCorner = mEditedDateButton->mapTo(mWindow, QPoint(mEditedDateButton->width(), mEditedDateButton->height()));
    QPoint origin(buttonCorner.x() - size.width(), buttonCorner.y());
    origin.setX(std::clamp(origin.x(), 0, std::max(0, mWindow->width() - size.width())));
    if (origin.y() + size.height() > mWindow->height())
        origin.setY(std::max(0, buttonCorner.y() - mEditedDateButton->height() - size.height()));
    mDatePicker->setGeometry(QRect(origin, size));
    mDatePicker->show();
    mDatePicker->raise();
    mDatePicker->setFocus();
}

void BMDetailsWindowController::disposeDatePicker(const QDate& date)
{
    if (mEditedDateButton) {
        const int fieldNumber = mEditedDateButton->property("fieldNumber").toInt();
        if (fieldNumber >= 1 && fieldNumber <= 9)
            mValueFields[static_cast<size_t>(fieldNumber - 1)]->setText(fieldDateText(date));
    }
    mDatePicker->hide();
}

void BMDetailsWindowController::removeDatePicker(const QPoint& windowPoint)
{
    if (!mDatePicker->isVisible() || mDatePicker->geometry().contains(windowPoint))
        return;
    mDatePicker->hide();
}
