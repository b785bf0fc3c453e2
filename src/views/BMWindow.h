#pragma once
// The main window class: Ctrl+F (Command-F) takes the user to the search
// field of whoever controls the window.
#include <QMainWindow>
#include <QPointer>

class QKeyEvent;

class BMWindow : public QMainWindow {
    Q_OBJECT
public:
    explicit BMWindow(QWidget* parent = nullptr);

    // The controller; it is sent focusSearchField() (a slot or invokable).
    void setDelegate(QObject* delegate) { mDelegate = delegate; }
    QObject* delegate() const { return mDelegate; }

    // Always true: a borderless window takes keys too.
    bool canBecomeKeyWindow() const { return true; }
    // Ctrl+F goes to the delegate's focusSearchField; answers whether the key was handled.
    bool performKeyEquivalent(const QKeyEvent& event);

private:
    QPointer<QObject> mDelegate;
};

// The holder of toolbar items: draws nothing; a press on it moves the window.
class BMToolBarCustomView : public QWidget {
    Q_OBJECT
public:
    explicit BMToolBarCustomView(QWidget* parent = nullptr);
    bool mouseDownCanMoveWindow() const { return true; }

protected:
    void mousePressEvent(QMouseEvent* event) override;

private:
    bool mIsHidden = false; // kept for the stored layouts; not used
};
