#include "app/passwords/BMMasterPasswordPanel.h"

#include "platform/ui/SecretFields.h"

#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QVBoxLayout>

using platform::newSecretField;

BMMasterPasswordPanel::BMMasterPasswordPanel(bool changePanel, QWidget* parent)
    : SheetPanel(parent, 14), mChangePanel(changePanel)
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
        m_oldField = newSecretField(QStringLiteral("mOldMasterPasswordField"));
        m_newField = newSecretField(QStringLiteral("mNewMasterPasswordField"));
        m_confirmField = newSecretField(QStringLiteral("mNewConfirmMasterPasswordField"));
        form->addRow(tr("Old master password:"), m_oldField);
    } else {
        m_newField = newSecretField(QStringLiteral("mSetNewMasterPasswordLabel"));
        m_confirmField = newSecretField(QStringLiteral("mConfirmNewMasterPasswordLabel"));
    }
    form->addRow(tr("New master password:"), m_newField);
    form->addRow(tr("Confirm:"), m_confirmField);

    column()->addWidget(explanation);
    column()->addLayout(form);
    addOkCancel(QStringLiteral("masterPasswordPanelOK"), QStringLiteral("masterPasswordPanelCancel"));
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
