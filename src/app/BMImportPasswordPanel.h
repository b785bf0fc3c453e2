#pragma once
// The sheet asking for the password of an encrypted import file.
#include <QDialog>

class QLabel;
class QLineEdit;
class QPushButton;

class BMImportPasswordPanel : public QDialog {
    Q_OBJECT
public:
    explicit BMImportPasswordPanel(QWidget* parent = nullptr);
    QLineEdit* passwordField() const { return mPassword; }
    QPushButton* okButton() const { return mOK; }
    QPushButton* cancelButton() const { return mCancel; }
    // Names the file asked for and empties the field.
    void prepare(const QString& fileName);

private:
    QLabel* mNote;
    QLineEdit* mPassword;
    QPushButton* mOK;
    QPushButton* mCancel;
};
