#pragma once
// The type sheet's window: name, group, icon, ten field names with their mask
// boxes. In per-record mode it shows only the fields, masks and Reset.
#include <QWidget>

#include <array>
#include <functional>

#include "platform/ui/SaveWait.h"

#include "windows/GroupTypeSettingsRules.h"

class QCheckBox;
class QCloseEvent;
class QKeyEvent;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QToolButton;
class TVXIconsAccess;

class BMTypeSettingsPanel : public QWidget {
    Q_OBJECT
public:
    explicit BMTypeSettingsPanel(const TVXIconsAccess& icons, QWidget* parent = nullptr);

    // The controls as values, and back.
    settingsrules::TypeSheetValues values() const;
    void setValues(const settingsrules::TypeSheetValues& values);
    // Fills the group pop-up with the names given (first selected).
    void setGroupNames(const QStringList& names);
    // Hides what does not belong to a single record's field set; shows Reset.
    void setPerRecordMode(bool perRecord);
    void setGroupChoiceVisible(bool visible);
    int iconID() const { return mIconID; }
    void setIconID(int iconID);

    QLineEdit* mTypeNameField;
    QLabel* mTypeNameLable;
    QComboBox* mGroupSelectionPopupForType;
    QLabel* mGroupNameLabel;
    QToolButton* mCustomIconButton;
    std::array<QLineEdit*, kNumberOfFields> mFieldNameFields{};
    std::array<QCheckBox*, kNumberOfFields> mFieldMaskBoxes{};
    QPushButton* mResetButton;
    QPushButton* mCancelButton;
    QPushButton* mDoneButton;

    std::function<void()> onOK;
    std::function<void()> onCancel;

    // While OK's save waits: the busy cursor, the waiting line, the buttons.
    void showSaving(bool saving) { mSaveWait->show(saving); }
    bool isSaving() const { return mSaveWait->isSaving(); }
    class QLabel* savingLine() const { return mSaveWait->line(); }
    std::function<void()> onReset;

private:
    void chooseIcon();

    const TVXIconsAccess& mIcons;
    int mIconID = kDefaultIconID;

private:
    platform::SaveWait* mSaveWait = nullptr;

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void closeEvent(QCloseEvent* event) override; // not while a save waits
};
