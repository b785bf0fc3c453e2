#pragma once
// The sheet asking for the password that encrypts an export, twice.
#include <QDialog>

class QLineEdit;
class QPushButton;

class BMExportPasswordPanel : public QDialog {
    Q_OBJECT
public:
    explicit BMExportPasswordPanel(QWidget* parent = nullptr);
    QLineEdit* newPasswordField() const { return mNewPassword; }
    QLineEdit* confirmPasswordField() const { return mConfirmPassword; }
    QPushButton* okButton() const { return mOK; }
    QPushButton* cancelButton() const { return mCancel; }
    // Both fields emptied, the first focused.
    void clear();
    // Forgets the typed texts once read.
    // Empties both fields and their undo histories, overwriting the texts where possible.
    void wipe();

private:
    QLineEdit* mNewPassword;
    QLineEdit* mConfirmPassword;
    QPushButton* mOK;
    QPushButton* mCancel;
};
