#pragma once
// The sheet asking for the password that encrypts an export, twice.
#include "platform/ui/SheetFrame.h"

class QLineEdit;

class BMExportPasswordPanel : public platform::SheetPanel {
    Q_OBJECT
public:
    explicit BMExportPasswordPanel(QWidget* parent = nullptr);
    QLineEdit* newPasswordField() const { return mNewPassword; }
    QLineEdit* confirmPasswordField() const { return mConfirmPassword; }
    // Both fields emptied, the first focused.
    void clear();
    // Empties both fields and their undo histories, overwriting the texts where possible.
    void wipe();

private:
    QLineEdit* mNewPassword;
    QLineEdit* mConfirmPassword;
};
