#pragma once
// A panel waiting for the server's answer to what its OK sent: it keeps its
// input, shows a busy cursor and, after 300 ms, a line saying that it waits;
// its buttons take no click and closing it is held until the answer.
#include <QObject>

#include <initializer_list>
#include <utility>
#include <vector>

class QBoxLayout;
class QLabel;
class QTimer;
class QWidget;

namespace platform {

class ServerWait : public QObject {
public:
    // The line goes at the foot of `layout`, hidden until a wait is 300 ms old.
    ServerWait(QWidget* window, QBoxLayout* layout);
    ~ServerWait() override;

    // The controls are disabled for the wait and given back as they were.
    void begin(std::initializer_list<QWidget*> controls);
    void end();
    bool isWaiting() const { return mWaiting; }
    QLabel* line() const { return mLine; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QWidget* mWindow;
    QLabel* mLine;
    QTimer* mLineTimer;
    bool mWaiting = false;
    std::vector<std::pair<QWidget*, bool>> mEnabledBefore;
};

} // namespace platform
