#pragma once
// Scripted answers to alerts and modal runs, and a record of what was shown.
#include <QString>
#include <QStringList>
#include <QTimer>

#include <deque>
#include <functional>
#include <vector>

#include "platform/ui/AlertPanel.h"
#include "platform/ui/ModalRun.h"

class QWidget;

namespace tvxtest {

// Alerts answer with their default button, modal runs are aborted (-1001).
void installDefaultUiResponders();

// While alive: records every alert and answers from the queue (default
// button once the queue is empty).
class AlertRecorder {
public:
    AlertRecorder();
    ~AlertRecorder();
    void answerNext(int code) { mAnswers.push_back(code); }
    const std::vector<platform::AlertRequest>& alerts() const { return mAlerts; }
    QStringList messages() const;
    QString lastMessage() const { return mAlerts.empty() ? QString() : mAlerts.back().message; }
    QString lastTitle() const { return mAlerts.empty() ? QString() : mAlerts.back().title; }

private:
    std::vector<platform::AlertRequest> mAlerts;
    std::deque<int> mAnswers;
    platform::AlertResponder mPrevious;
};

// While alive: each modal run calls the next scripted step with the window
// (the step plays the user and returns the run's code); without steps left a
// run is aborted. Records the windows' object names.
class ModalScript {
public:
    using Step = std::function<int(QWidget*)>;
    ModalScript();
    ~ModalScript();
    void then(Step step) { mSteps.push_back(std::move(step)); }
    const QStringList& windows() const { return mWindows; }

private:
    std::deque<Step> mSteps;
    QStringList mWindows;
    platform::ModalResponder mPrevious;
};

// While alive: alerts and modal runs show their windows and run for real;
// the test plays the user from timers.
class RealRuns {
public:
    RealRuns()
        : mAlerts(platform::setAlertResponder({})), mRuns(platform::setModalResponder({}))
    {
    }
    ~RealRuns()
    {
        platform::setAlertResponder(std::move(mAlerts));
        platform::setModalResponder(std::move(mRuns));
    }

private:
    platform::AlertResponder mAlerts;
    platform::ModalResponder mRuns;
};

// While alive: a main-thread timer counting its ticks, to show whether the
// event loop ran while something waited.
class Ticker {
public:
    explicit Ticker(int intervalMs = 10);
    int ticks() const { return mTicks; }

private:
    QTimer mTimer;
    int mTicks = 0;
};

} // namespace tvxtest
