#pragma once
// Fires once after the user has given no input (keys, mouse, wheel) for the
// armed time; any input starts the wait again.
#include <QObject>
#include <QTimer>

#include <functional>

namespace platform {

class IdleTimer : public QObject {
public:
    static IdleTimer& shared();

    void install(int milliseconds, std::function<void()> onIdle);
    void remove();
    bool isInstalled() const { return mInstalled; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    IdleTimer();
    QTimer mTimer;
    std::function<void()> mOnIdle;
    bool mInstalled = false;
};

} // namespace platform
