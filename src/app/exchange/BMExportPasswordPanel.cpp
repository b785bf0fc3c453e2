#include "app/exchange/BMExportPasswordPanel.h"

#include "platform/ui/SecretFields.h"

#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

BMExportPasswordPanel::BMExportPasswordPanel(QWidget* parent) : SheetPanel(parent)
{
    setObjectName(QStringLiteral("mqvxExportPasswordPanel"));
    setWindowTitle(tr("Export Password"));
    QVBoxLayout* layout = column();
    auto* note = new QLabel(tr("Enter a password to encrypt the exported records. "
                               "The same password is needed to import them again."), this);
    note->setWordWrap(true);
    layout->addWidget(note);
    auto* form = new QFormLayout;
    form->setLabelAlignment(Qt::AlignRight | Qt::AlignVCenter);
    form->setHorizontalSpacing(10);
    mNewPassword = platform::newSecretField(QStringLiteral("mqvxExportNewPasswordField"), 220);
    mConfirmPassword = platform::newSecretField(QStringLiteral("mqvxExportConfirmPasswordField"), 0);
    form->addRow(tr("Password:"), mNewPassword);
    form->addRow(tr("Confirm Password:"), mConfirmPassword);
    layout->addLayout(form);
    addOkCancel();
    cancelButton()->setAutoDefault(false);
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
