#include "app/passwords/BMUserPasswordPanel.h"

#include "platform/ui/SecretFields.h"
#include "platform/ui/SaveWait.h"
#include "store/accounts/HintQuestions.h"

#include <QComboBox>
#include <QFormLayout>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

BMUserPasswordPanel::BMUserPasswordPanel(QWidget* parent) : SheetPanel(parent, 16)
{
    setObjectName(QStringLiteral("mPasswordPanel"));
    setWindowTitle(tr("Set Password"));

    m_oldPasswordField = platform::newSecretField(QStringLiteral("mOldPasswordField"));
    m_newPasswordField = platform::newSecretField(QStringLiteral("mNewPasswordField"));
    m_confirmPasswordField = platform::newSecretField(QStringLiteral("mConfirmPasswordField"));
    m_oldPAsswordLabel = new QLabel(tr("Old password:"));
    m_oldPAsswordLabel->setObjectName(QStringLiteral("mOldPAsswordLabel"));
    m_passWordStrengthIndicator = new PasswordStrengthMeterView;
    m_passWordStrengthIndicator->setObjectName(QStringLiteral("mPassWordStrengthIndicator"));
    m_tPassWordStrengthLabel = new QLabel;
    m_tPassWordStrengthLabel->setObjectName(QStringLiteral("mtPassWordStrengthLabel"));
    QFont small = m_tPassWordStrengthLabel->font();
    small.setPointSizeF(small.pointSizeF() * 0.9);
    m_tPassWordStrengthLabel->setFont(small);

    m_hintField = new QLineEdit;
    m_hintField->setObjectName(QStringLiteral("mHintField"));
    m_hintField->setPlaceholderText(tr("Shown when you ask for a hint"));
    m_hintQuestion = new QComboBox;
    m_hintQuestion->setObjectName(QStringLiteral("mHintQuestion"));
    for (int number = 0; number < kQuestions.size(); ++number)
        m_hintQuestion->addItem(tr(qPrintable(kQuestions[number])), number); // the item's tag
    m_hintAnswer = new QLineEdit;
    m_hintAnswer->setObjectName(QStringLiteral("mHintAnswer"));
    m_hintAnswer->setPlaceholderText(tr("Asked before the hint is shown"));

    auto* form = new QFormLayout;
    form->setHorizontalSpacing(12);
    form->setVerticalSpacing(8);
    form->addRow(m_oldPAsswordLabel, m_oldPasswordField);
    form->addRow(tr("New password:"), m_newPasswordField);
    auto* strength = new QVBoxLayout;
    strength->setSpacing(3);
    strength->addWidget(m_passWordStrengthIndicator);
    strength->addWidget(m_tPassWordStrengthLabel);
    form->addRow(QString(), strength);
    form->addRow(tr("Confirm password:"), m_confirmPasswordField);

    auto* hintForm = new QFormLayout;
    hintForm->setHorizontalSpacing(12);
    hintForm->setVerticalSpacing(8);
    hintForm->addRow(tr("Hint:"), m_hintField);
    hintForm->addRow(tr("Question:"), m_hintQuestion);
    hintForm->addRow(tr("Answer:"), m_hintAnswer);
    auto* hintBox = new QFrame;
    hintBox->setFrameShape(QFrame::StyledPanel);
    auto* hintLayout = new QVBoxLayout(hintBox);
    hintLayout->setContentsMargins(12, 10, 12, 12);
    auto* hintTitle = new QLabel(tr("Password hint (optional)"));
    QFont bold = hintTitle->font();
    bold.setBold(true);
    hintTitle->setFont(bold);
    hintLayout->addWidget(hintTitle);
    hintLayout->addLayout(hintForm);

    column()->addLayout(form);
    column()->addWidget(hintBox);
    addOkCancel(QStringLiteral("passwordPanelOK"), QStringLiteral("passwordPanelCancel"));
    m_saveWait = new platform::SaveWait(this, {okButton(), cancelButton()});
    column()->addWidget(m_saveWait->line());
    connect(m_newPasswordField, &QLineEdit::textChanged, this,
            [this] { emit passwordTextChanged(m_newPasswordField); });

    setTabOrder(m_oldPasswordField, m_newPasswordField);
    setTabOrder(m_newPasswordField, m_confirmPasswordField);
    setTabOrder(m_confirmPasswordField, m_hintField);
    setTabOrder(m_hintField, m_hintQuestion);
    setTabOrder(m_hintQuestion, m_hintAnswer);
}

void BMUserPasswordPanel::prepare(bool userHasPassword)
{
    m_oldPasswordField->setVisible(userHasPassword);
    m_oldPAsswordLabel->setVisible(userHasPassword);
    for (QLineEdit* field : {m_oldPasswordField, m_newPasswordField, m_confirmPasswordField, m_hintField, m_hintAnswer})
        field->clear();
    m_hintQuestion->setCurrentIndex(0);
    showStrength(0.0);
    m_tPassWordStrengthLabel->clear();
    (userHasPassword ? m_oldPasswordField : m_newPasswordField)->setFocus();
}

passwordpanels::UserPasswordInput BMUserPasswordPanel::input() const
{
    passwordpanels::UserPasswordInput in;
    in.oldPassword = m_oldPasswordField->text();
    in.newPassword = m_newPasswordField->text();
    in.confirmPassword = m_confirmPasswordField->text();
    in.hint = m_hintField->text();
    in.answer = m_hintAnswer->text();
    in.questionNumber = m_hintQuestion->currentData().toInt();
    return in;
}

void BMUserPasswordPanel::showStrength(double strength)
{
    m_passWordStrengthIndicator->setStrenth(static_cast<float>(strength));
    m_tPassWordStrengthLabel->setText(passwordpanels::passwordStrengthLabel(strength));
}
