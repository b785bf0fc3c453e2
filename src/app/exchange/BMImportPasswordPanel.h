#pragma once
// The sheet asking for the password of an encrypted import file.
#include "platform/ui/SheetFrame.h"

class QLabel;
class QLineEdit;

class BMImportPasswordPanel : public platform::SheetPanel {
    Q_OBJECT
public:
    explicit BMImportPasswordPanel(QWidget* parent = nullptr);
    QLineEdit* passwordField() const { return mPassword; }
    // Names the file asked for and empties the field.
    void prepare(const QString& fileName);

private:
    QLabel* mNote;
    QLineEdit* mPassword;
};
