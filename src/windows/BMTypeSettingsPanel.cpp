#include "windows/BMTypeSettingsPanel.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFrame>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QCloseEvent>
#include <QKeyEvent>
#include <QToolButton>
#include <QVBoxLayout>

#include "platform/ui/ModalRun.h"
#include "platform/ui/SaveWait.h"
#include "platform/ui/SheetFrame.h"
#include "store/personal/IconStore.h"

namespace {

QIcon iconFor(const TVXIconsAccess& icons, int iconID)
{
    const QImage image = icons.getImageFromIconIndex(iconID);
    return image.isNull() ? QIcon() : QIcon(QPixmap::fromImage(image));
}

} // namespace

BMTypeSettingsPanel::BMTypeSettingsPanel(const TVXIconsAccess& icons, QWidget* parent)
    : QWidget(parent, Qt::Dialog), mIcons(icons)
{
    setObjectName(QStringLiteral("CustomSettingsPanel"));
    setWindowTitle(tr("Type Settings"));

    mCustomIconButton = platform::named<QToolButton>(QStringLiteral("mCustomIconButton"));
    mCustomIconButton->setIconSize(QSize(32, 32));
    mCustomIconButton->setFixedSize(48, 48);
    mCustomIconButton->setToolTip(tr("Choose the icon of this type"));
    connect(mCustomIconButton, &QToolButton::clicked, this, &BMTypeSettingsPanel::chooseIcon);

    mTypeNameLable = new QLabel(tr("Type Name:"));
    mTypeNameField = platform::named<QLineEdit>(QStringLiteral("mTypeNameField"));
    mTypeNameField->setPlaceholderText(tr("Name of the type"));
    mTypeNameLable->setBuddy(mTypeNameField);
    mGroupNameLabel = new QLabel(tr("Group:"));
    mGroupSelectionPopupForType = platform::named<QComboBox>(QStringLiteral("mGroupSelectionPopupForType"));
    mGroupSelectionPopupForType->setMinimumContentsLength(18);
    mGroupNameLabel->setBuddy(mGroupSelectionPopupForType);

    auto* head = new QGridLayout;
    head->setHorizontalSpacing(10);
    head->addWidget(mCustomIconButton, 0, 0, 2, 1, Qt::AlignTop);
    head->addWidget(mTypeNameLable, 0, 1, Qt::AlignRight);
    head->addWidget(mTypeNameField, 0, 2);
    head->addWidget(mGroupNameLabel, 1, 1, Qt::AlignRight);
    head->addWidget(mGroupSelectionPopupForType, 1, 2);
    head->setColumnStretch(2, 1);

    auto* fieldsBox = new QGroupBox(tr("Field Names"));
    auto* grid = new QGridLayout(fieldsBox);
    grid->setHorizontalSpacing(8);
    grid->setVerticalSpacing(6);
    for (int i = 0; i < kNumberOfFields; ++i) {
        const int column = i < 5 ? 0 : 4;
        const int row = i % 5;
        auto* number = new QLabel(QString::number(i + 1));
        number->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
        number->setMinimumWidth(18);
        auto* field = platform::named<QLineEdit>(QStringLiteral("mFieldName%1").arg(i + 1));
        field->setMinimumWidth(150);
        auto* mask = platform::named<QCheckBox>(QStringLiteral("mFieldMask%1").arg(i + 1), tr("Mask"));
        mask->setToolTip(tr("Show this field's value as dots"));
        number->setBuddy(field);
        grid->addWidget(number, row, column);
        grid->addWidget(field, row, column + 1);
        grid->addWidget(mask, row, column + 2);
        mFieldNameFields[static_cast<size_t>(i)] = field;
        mFieldMaskBoxes[static_cast<size_t>(i)] = mask;
    }
    grid->setColumnMinimumWidth(3, 16);
    grid->setColumnStretch(1, 1);
    grid->setColumnStretch(5, 1);
    // The tenth field holds the modification date: its name is not edited.
    mFieldNameFields[kNumberOfFields - 1]->setEnabled(false);

    mResetButton = platform::named<QPushButton>(QStringLiteral("mResetButton"), tr("Reset"));
    platform::SheetFrame frame(this);
    frame.column()->addLayout(head);
    frame.column()->addWidget(fieldsBox);
    const platform::SheetButtons buttons =
        frame.addOkCancel(QStringLiteral("mDoneButton"), QStringLiteral("mCancelButton"), {mResetButton});
    mCancelButton = buttons.cancel;
    mDoneButton = buttons.ok;
    mSaveWait = new platform::SaveWait(this, {mDoneButton, mCancelButton, mResetButton, mCustomIconButton});
    frame.column()->insertWidget(frame.column()->count() - 1, mSaveWait->line());
    connect(mDoneButton, &QPushButton::clicked, this, [this] { if (onOK) onOK(); });
    connect(mCancelButton, &QPushButton::clicked, this, [this] { if (onCancel) onCancel(); });
    connect(mResetButton, &QPushButton::clicked, this, [this] { if (onReset) onReset(); });
    // Return in any text field is OK, Escape anywhere is Cancel (keyPressEvent).
    connect(mTypeNameField, &QLineEdit::returnPressed, this, [this] { if (onOK) onOK(); });
    for (QLineEdit* field : mFieldNameFields)
        connect(field, &QLineEdit::returnPressed, this, [this] { if (onOK) onOK(); });

    // Name, group, the fields in number order, then the buttons.
    QWidget* previous = mTypeNameField;
    setTabOrder(previous, mGroupSelectionPopupForType);
    previous = mGroupSelectionPopupForType;
    for (int i = 0; i < kNumberOfFields; ++i) {
        setTabOrder(previous, mFieldNameFields[static_cast<size_t>(i)]);
        setTabOrder(mFieldNameFields[static_cast<size_t>(i)], mFieldMaskBoxes[static_cast<size_t>(i)]);
        previous = mFieldMaskBoxes[static_cast<size_t>(i)];
    }
    setTabOrder(previous, mCancelButton);
    setTabOrder(mCancelButton, mDoneButton);
    setPerRecordMode(false);
}

settingsrules::TypeSheetValues BMTypeSettingsPanel::values() const
{
    settingsrules::TypeSheetValues v;
    v.name = mTypeNameField->text();
    v.groupName = mGroupSelectionPopupForType->currentText();
    v.iconID = mIconID;
    for (size_t i = 0; i < kNumberOfFields; ++i) {
        v.fieldNames[i] = mFieldNameFields[i]->text();
        v.masks[i] = mFieldMaskBoxes[i]->isChecked();
    }
    return v;
}

void BMTypeSettingsPanel::setValues(const settingsrules::TypeSheetValues& values)
{
    mTypeNameField->setText(values.name);
    const int groupIndex = mGroupSelectionPopupForType->findText(values.groupName, Qt::MatchExactly);
    if (groupIndex >= 0)
        mGroupSelectionPopupForType->setCurrentIndex(groupIndex);
    for (size_t i = 0; i < kNumberOfFields; ++i) {
        mFieldNameFields[i]->setText(values.fieldNames[i]);
        mFieldMaskBoxes[i]->setChecked(values.masks[i]);
    }
    setIconID(values.iconID);
}

void BMTypeSettingsPanel::setGroupNames(const QStringList& names)
{
    mGroupSelectionPopupForType->clear();
    mGroupSelectionPopupForType->addItems(names);
}

void BMTypeSettingsPanel::setPerRecordMode(bool perRecord)
{
    mCustomIconButton->setVisible(!perRecord);
    mTypeNameField->setVisible(!perRecord);
    mTypeNameLable->setVisible(!perRecord);
    mResetButton->setVisible(perRecord);
    setWindowTitle(perRecord ? tr("Customize Fields") : tr("Type Settings"));
}

void BMTypeSettingsPanel::setGroupChoiceVisible(bool visible)
{
    mGroupSelectionPopupForType->setVisible(visible);
    mGroupNameLabel->setVisible(visible);
}

void BMTypeSettingsPanel::setIconID(int iconID)
{
    mIconID = iconID > 0 ? iconID : kDefaultIconID;
    mCustomIconButton->setIcon(iconFor(mIcons, mIconID));
}

// A small grid of every icon; the chosen one becomes the type's.
void BMTypeSettingsPanel::chooseIcon()
{
    QWidget picker(this, Qt::Dialog);
    picker.setObjectName(QStringLiteral("TypeIconPicker"));
    picker.setWindowTitle(tr("Choose Icon"));
    auto* list = new QListWidget;
    list->setViewMode(QListView::IconMode);
    list->setIconSize(QSize(32, 32));
    list->setGridSize(QSize(44, 44));
    list->setResizeMode(QListView::Adjust);
    list->setMovement(QListView::Static);
    list->setMinimumSize(440, 300);
    QList<int> numbers;
    for (int i = 1; i <= TVXIconsAccess::kMaxIcons; ++i)
        numbers << i;
    QList<int> custom;
    for (const QString& key : mIcons.mCustomIcons().keys())
        custom << key.mid(4).toInt();
    std::sort(custom.begin(), custom.end());
    numbers << custom;
    for (int number : numbers) {
        auto* item = new QListWidgetItem(iconFor(mIcons, number), QString());
        item->setData(Qt::UserRole, number);
        item->setToolTip(TVXIconsAccess::iconName(number));
        list->addItem(item);
        if (number == mIconID)
            list->setCurrentItem(item);
    }
    connect(list, &QListWidget::itemDoubleClicked, &picker, [] { platform::stopModal(); });
    platform::SheetFrame frame(&picker);
    frame.column()->addWidget(list);
    platform::endModalRunOnButtons(frame.addOkCancel());
    if (platform::runModalForWindow(&picker) == platform::kModalRunStopped && list->currentItem())
        setIconID(list->currentItem()->data(Qt::UserRole).toInt());
}

void BMTypeSettingsPanel::keyPressEvent(QKeyEvent* event)
{
    // Text fields pass Escape on to the sheet.
    if (event->key() == Qt::Key_Escape && onCancel) {
        onCancel();
        return;
    }
    QWidget::keyPressEvent(event);
}

void BMTypeSettingsPanel::closeEvent(QCloseEvent* event)
{
    if (isSaving()) {
        event->ignore(); // the answer decides
        return;
    }
    QWidget::closeEvent(event);
}
