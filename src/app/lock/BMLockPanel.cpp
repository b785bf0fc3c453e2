#include "app/lock/BMLockPanel.h"

#include "app/startup/BMLoginPanel.h"
#include "platform/ui/SaveWait.h"
#include "platform/ui/SheetFrame.h"

#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

BMLockPanel::BMLockPanel(QWidget* parent) : QWidget(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint)
{
    setObjectName(QStringLiteral("mLockPanel"));
    setWindowTitle(tr("Tolvanex Enterprise"));

    auto* picture = new QLabel(this);
    picture->setPixmap(BMLoginPanel::tolvanImage(64));
    picture->setAlignment(Qt::AlignTop);
    auto* heading = new QLabel(tr("Tolvanex Enterprise is locked."), this);
    QFont bold = heading->font();
    bold.setBold(true);
    heading->setFont(bold);
    auto* explanation = new QLabel(tr("Enter your password to unlock."), this);

    m_userField = new QLineEdit(this);
    m_userField->setEnabled(false);
    m_passwordField = new QLineEdit(this);
    m_passwordField->setEchoMode(QLineEdit::Password);
    m_attemptsLabel = new QLabel(this);
    m_attemptsLabel->setStyleSheet(QStringLiteral("color: #b00020;"));
    m_attemptsLabel->hide();

    auto* form = new QFormLayout;
    form->setLabelAlignment(Qt::AlignRight);
    form->addRow(tr("User Name:"), m_userField);
    form->addRow(tr("Password:"), m_passwordField);
    form->addRow(QString(), m_attemptsLabel);

    m_hintButton = new QPushButton(tr("Hint"), this);
    m_quitButton = new QPushButton(tr("Quit"), this);
    m_okButton = new QPushButton(tr("OK"), this);
    m_okButton->setDefault(true);
    connect(m_okButton, &QPushButton::clicked, this, &BMLockPanel::unlockRequested);
    connect(m_passwordField, &QLineEdit::returnPressed, m_okButton, &QPushButton::click);
    connect(m_quitButton, &QPushButton::clicked, this, &BMLockPanel::quitRequested);
    connect(m_hintButton, &QPushButton::clicked, this, &BMLockPanel::hintRequested);

    auto* right = new QVBoxLayout;
    right->setSpacing(10);
    right->addWidget(heading);
    right->addWidget(explanation);
    right->addLayout(form);
    right->addLayout(platform::buttonRow({m_hintButton}, {m_quitButton, m_okButton}));
    m_saveWait = new platform::SaveWait(this, {m_okButton, m_quitButton, m_hintButton});
    right->addWidget(m_saveWait->line());

    auto* outer = new QHBoxLayout(this);
    outer->setContentsMargins(platform::kSheetMargins);
    outer->setSpacing(16);
    outer->addWidget(picture);
    outer->addLayout(right, 1);
    setMinimumWidth(440);
    setTabOrder(m_passwordField, m_okButton);
    setTabOrder(m_okButton, m_quitButton);
    setTabOrder(m_quitButton, m_hintButton);
}

BMHintQuestionPanel::BMHintQuestionPanel(QWidget* parent)
    : QWidget(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint)
{
    setObjectName(QStringLiteral("mHintQuestionAnswerPanel"));
    setWindowTitle(tr("The Hint"));
    m_question = new QLabel(this);
    m_question->setWordWrap(true);
    m_answer = new QLineEdit(this);
    m_okButton = new QPushButton(tr("OK"), this);
    m_okButton->setDefault(true);
    connect(m_okButton, &QPushButton::clicked, this, &BMHintQuestionPanel::answered);
    connect(m_answer, &QLineEdit::returnPressed, m_okButton, &QPushButton::click);
    auto* form = new QFormLayout;
    form->addRow(tr("Question:"), m_question);
    form->addRow(tr("Answer:"), m_answer);
    platform::SheetFrame frame(this);
    frame.column()->addLayout(form);
    frame.addButtonRow({}, {m_okButton});
    m_saveWait = new platform::SaveWait(this, {m_okButton});
    frame.column()->addWidget(m_saveWait->line());
    setMinimumWidth(400);
}
