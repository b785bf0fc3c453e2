#pragma once
// The log-in panel: server host, account, server password, master password
// and port (with a stepper), a busy strip while the log-in worker runs, and
// the connect button. Its checks and messages live in the controller.
#include <QWidget>

class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QToolButton;

// Two small arrow buttons that raise or lower the port field's number.
class BMPortStepper : public QWidget {
    Q_OBJECT
public:
    explicit BMPortStepper(QLineEdit* field, QWidget* parent = nullptr);
    void stepBy(int steps);
    QToolButton* upButton() const { return mUp; }
    QToolButton* downButton() const { return mDown; }

private:
    QLineEdit* mField;
    QToolButton* mUp;
    QToolButton* mDown;
};

class BMLoginPanel : public QWidget {
    Q_OBJECT
public:
    explicit BMLoginPanel(QWidget* parent = nullptr);

    QLineEdit* mIPAddressField() const { return m_ipAddressField; }
    QLineEdit* mLoginUserName() const { return m_loginUserName; }
    QLineEdit* mUserPassword() const { return m_userPassword; }
    QLineEdit* mMasterPassword() const { return m_masterPassword; }
    QLineEdit* mPortNumberField() const { return m_portNumberField; }
    BMPortStepper* mPortStepper() const { return m_portStepper; }
    QLabel* mLoginUserNameLabel() const { return m_loginUserNameLabel; }
    QLabel* mLoginUserPassword() const { return m_loginUserPassword; }
    QWidget* mConnectToServerView() const { return m_connectToServerView; }
    QProgressBar* mConnectToServerIndicator() const { return m_connectToServerIndicator; }
    QPushButton* mConnectToServer() const { return m_connectToServer; }
    QLabel* mTolvanImage() const { return m_tolvanImage; }

    // The panel's picture: the application's mark, drawn at the given size.
    static QPixmap tolvanImage(int size);

signals:
    void connectRequested();
    // The user closed the panel (quit without saving).
    void windowWillClose();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void layOutFields();
    QLineEdit* m_ipAddressField;
    QLineEdit* m_loginUserName;
    QLineEdit* m_userPassword;
    QLineEdit* m_masterPassword;
    QLineEdit* m_portNumberField;
    BMPortStepper* m_portStepper;
    QLabel* m_loginUserNameLabel;
    QLabel* m_loginUserPassword;
    QWidget* m_connectToServerView;
    QProgressBar* m_connectToServerIndicator;
    QPushButton* m_connectToServer;
    QLabel* m_tolvanImage;
};
