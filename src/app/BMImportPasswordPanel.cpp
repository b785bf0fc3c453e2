#include "app/BMImportPasswordPanel.h"

#include <QFileInfo>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

BMImportPasswordPanel::BMImportPasswordPanel(QWidget* parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("mqvxImportPasswordPanel"));
    setWindowTitle(tr("Import Password"));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(18, 16, 18, 14);
    layout->setSpacing(12);
    mNote = new QLabel(this);
    mNote->setWordWrap(true);
    layout->addWidget(mNote);
    auto* form = new QFormLayout;
    form->setHorizontalSpacing(10);
    mPassword = new QLineEdit(this);
    mPassword->setObjectName(QStringLiteral("mqvxImportPasswordField"));
    mPassword->setEchoMode(QLineEdit::Password);
    mPassword->setMinimumWidth(220);
    form->addRow(tr("Password:"), mPassword);
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

void BMImportPasswordPanel::prepare(const QString& fileName)
{
    mNote->setText(tr("\"%1\" is encrypted. Enter the password it was exported with.")
                       .arg(QFileInfo(fileName).fileName()));
    mPassword->clear();
    mPassword->setFocus();
}
