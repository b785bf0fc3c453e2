#pragma once
// The lock panel (the signed-in user's name, a password field, the count of
// attempts left, Unlock, Quit and Hint) and the hint question panel.
#include <QWidget>

class QLabel;
class QLineEdit;
class QPushButton;
namespace platform {
class SaveWait;
}

class BMLockPanel : public QWidget {
    Q_OBJECT
public:
    explicit BMLockPanel(QWidget* parent = nullptr);

    QLineEdit* mUserLockPanelField() const { return m_userField; }
    QLineEdit* mPasswordField() const { return m_passwordField; }
    QLabel* mAttemptsLabel() const { return m_attemptsLabel; }
    QPushButton* mLackPanelOKButton() const { return m_okButton; }
    QPushButton* mLockPanelQuitButton() const { return m_quitButton; }
    QPushButton* hintButton() const { return m_hintButton; }
    // While the hint is read from the server.
    platform::SaveWait* saveWait() const { return m_saveWait; }

signals:
    void unlockRequested();
    void quitRequested();
    void hintRequested();

private:
    QLineEdit* m_userField;
    QLineEdit* m_passwordField;
    QLabel* m_attemptsLabel;
    QPushButton* m_okButton;
    QPushButton* m_quitButton;
    QPushButton* m_hintButton;
    platform::SaveWait* m_saveWait;
};

class BMHintQuestionPanel : public QWidget {
    Q_OBJECT
public:
    explicit BMHintQuestionPanel(QWidget* parent = nullptr);

    QLabel* mHintToQuestion() const { return m_question; }
    QLineEdit* mHintAnswerToQuestion() const { return m_answer; }
    QPushButton* okButton() const { return m_okButton; }
    // While the answer is checked at the server.
    platform::SaveWait* saveWait() const { return m_saveWait; }

signals:
    void answered();

private:
    QLabel* m_question;
    QLineEdit* m_answer;
    QPushButton* m_okButton;
    platform::SaveWait* m_saveWait;
};
