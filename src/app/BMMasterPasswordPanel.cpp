#include "app/BMMasterPasswordPanel.h"

#include "platform/ui/SheetFrame.h"

#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

QLineEdit* secretField(const QString& name)
{
    auto* field = new QLineEdit;
    field->setObjectName(name);
    field->setEchoMode(QLineEdit::Password);
    field->setMinimumWidth(240);
    return field;
}

} // namespace

BMMasterPasswordPanel::BMMasterPasswordPanel(bool changePanel, QWidget* parent)
    : QDialog(parent), mChangePanel(changePanel)
{
    setObjectName(changePanel ? QStringLiteral("mResetMasterPasswordPanel") : QStringLiteral("mSetMasterPasswordPanel"));
    setWindowTitle(changePanel ? tr("Change Master Password") : tr("Set Master Password"));

    auto* explanation = new QLabel(
        tr("Every value of the store is enciphered again under the new master password. "
           "Everyone who logs in needs it from then on."));
    explanation->setWordWrap(true);
    explanation->setMaximumWidth(380);

    auto* form = new QFormLayout;
    form->setHorizontalSpacing(12);
    form->setVerticalSpacing(8);
    if (changePanel) {
        m_oldField = secretField(QStringLiteral("mOldMasterPasswordField"));
        m_newField = secretField(QStringLiteral("mNewMasterPasswordField"));
        m_confirmField = secretField(QStringLiteral("mNewConfirmMasterPasswordField"));
        form->addRow(tr("Old master password:"), m_oldField);
    } else {
        m_newField = secretField(QStringLiteral("mSetNewMasterPasswordLabel"));
        m_confirmField = secretField(QStringLiteral("mConfirmNewMasterPasswordLabel"));
    }
    form->addRow(tr("New master password:"), m_newField);
    form->addRow(tr("Confirm:"), m_confirmField);

    platform::SheetFrame frame(this, 14);
    frame.column()->addWidget(explanation);
    frame.column()->addLayout(form);
    const platform::SheetButtons buttons =
        frame.addOkCancel(QStringLiteral("masterPasswordPanelOK"), QStringLiteral("masterPasswordPanelCancel"));
    connect(buttons.ok, &QPushButton::clicked, this, &BMMasterPasswordPanel::okClicked);
    connect(buttons.cancel, &QPushButton::clicked, this, &BMMasterPasswordPanel::cancelClicked);
}

void BMMasterPasswordPanel::prepare()
{
    for (QLineEdit* field : {m_oldField, m_newField, m_confirmField})
        if (field)
            field->clear();
    (m_oldField ? m_oldField : m_newField)->setFocus();
}

passwordpanels::MasterPasswordInput BMMasterPasswordPanel::input() const
{
    passwordpanels::MasterPasswordInput in;
    in.changePanel = mChangePanel;
    in.oldPassword = m_oldField ? m_oldField->text() : QString();
    in.newPassword = m_newField->text();
    in.confirmPassword = m_confirmField->text();
    return in;
}
