#include "app/BMExportPasswordPanel.h"

#include "platform/ui/SecretFields.h"

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
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(18, 16, 18, 14);
    layout->setSpacing(12);
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
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    mCancel = new QPushButton(tr("Cancel"), this);
    mCancel->setAutoDefault(false);
    mOK = new QPushButton(tr("OK"), this);
    mOK->setDefault(true);
    buttons->addWidget(mCancel);
    buttons->addWidget(mOK);
    layout->addLayout(buttons);
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
