#include "app/BMImportPasswordPanel.h"

#include "platform/ui/SheetFrame.h"

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
    platform::SheetFrame frame(this);
    QVBoxLayout* layout = frame.column();
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
    const platform::SheetButtons buttons = frame.addOkCancel();
    buttons.cancel->setAutoDefault(false);
    mCancel = buttons.cancel;
    mOK = buttons.ok;
}

void BMImportPasswordPanel::prepare(const QString& fileName)
{
    mNote->setText(tr("\"%1\" is encrypted. Enter the password it was exported with.")
                       .arg(QFileInfo(fileName).fileName()));
    mPassword->clear();
    mPassword->setFocus();
}
