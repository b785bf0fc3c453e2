#include "app/exchange/BMImportPasswordPanel.h"

#include "platform/ui/SecretFields.h"

#include <QFileInfo>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

BMImportPasswordPanel::BMImportPasswordPanel(QWidget* parent) : SheetPanel(parent)
{
    setObjectName(QStringLiteral("mqvxImportPasswordPanel"));
    setWindowTitle(tr("Import Password"));
    QVBoxLayout* layout = column();
    mNote = new QLabel(this);
    mNote->setWordWrap(true);
    layout->addWidget(mNote);
    auto* form = new QFormLayout;
    form->setHorizontalSpacing(10);
    mPassword = platform::newSecretField(QStringLiteral("mqvxImportPasswordField"), 220);
    form->addRow(tr("Password:"), mPassword);
    layout->addLayout(form);
    addOkCancel();
    cancelButton()->setAutoDefault(false);
}

void BMImportPasswordPanel::prepare(const QString& fileName)
{
    mNote->setText(tr("\"%1\" is encrypted. Enter the password it was exported with.")
                       .arg(QFileInfo(fileName).fileName()));
    mPassword->clear();
    mPassword->setFocus();
}
