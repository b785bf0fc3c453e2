#include "app/BMExportPasswordPanel.h"

#include "platform/ui/SecretFields.h"
#include "platform/ui/SheetFrame.h"

#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

BMExportPasswordPanel::BMExportPasswordPanel(QWidget* parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("mqvxExportPasswordPanel"));
    setWindowTitle(tr("Export Password"));
    platform::SheetFrame frame(this);
    QVBoxLayout* layout = frame.column();
    auto* note = new QLabel(tr("Enter a password to encrypt the exported records. "
                               "The same password is needed to import them again."), this);
    note->setWordWrap(true);
    layout->addWidget(note);
    auto* form = new QFormLayout;
    form->setLabelAlignment(Qt::AlignRight | Qt::AlignVCenter);
    form->setHorizontalSpacing(10);
    mNewPassword = new QLineEdit(this);
    mNewPassword->setObjectName(QStringLiteral("mqvxExportNewPasswordField"));
    mNewPassword->setEchoMode(QLineEdit::Password);
    mNewPassword->setMinimumWidth(220);
    mConfirmPassword = new QLineEdit(this);
    mConfirmPassword->setObjectName(QStringLiteral("mqvxExportConfirmPasswordField"));
    mConfirmPassword->setEchoMode(QLineEdit::Password);
    form->addRow(tr("Password:"), mNewPassword);
    form->addRow(tr("Confirm Password:"), mConfirmPassword);
    layout->addLayout(form);
    const platform::SheetButtons buttons = frame.addOkCancel();
    buttons.cancel->setAutoDefault(false);
    mCancel = buttons.cancel;
    mOK = buttons.ok;
}

void BMExportPasswordPanel::wipe()
{
    platform::wipeField(mNewPassword);
    platform::wipeField(mConfirmPassword);
}

void BMExportPasswordPanel::clear()
{
    mNewPassword->clear();
    mConfirmPassword->clear();
    mNewPassword->setFocus();
}
