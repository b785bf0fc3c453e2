#include "support/UiTestSupport.h"

#include <QWidget>

namespace tvxtest {

void installDefaultUiResponders()
{
    platform::setAlertResponder([](const platform::AlertRequest&) { return platform::kAlertDefaultReturn; });
    platform::setModalResponder([](QWidget*) { return platform::kModalRunAborted; });
}

AlertRecorder::AlertRecorder()
{
    mPrevious = platform::setAlertResponder([this](const platform::AlertRequest& request) {
        mAlerts.push_back(request);
        if (mAnswers.empty())
            return platform::kAlertDefaultReturn;
        int code = mAnswers.front();
        mAnswers.pop_front();
        return code;
    });
}

AlertRecorder::~AlertRecorder()
{
    platform::setAlertResponder(std::move(mPrevious));
}

QStringList AlertRecorder::messages() const
{
    QStringList out;
    for (const auto& a : mAlerts)
        out << a.message;
    return out;
}

ModalScript::ModalScript()
{
    mPrevious = platform::setModalResponder([this](QWidget* window) {
        mWindows << (window ? window->objectName() : QString());
        if (mSteps.empty())
            return platform::kModalRunAborted;
        Step step = std::move(mSteps.front());
        mSteps.pop_front();
        return step(window);
    });
}

ModalScript::~ModalScript()
{
    platform::setModalResponder(std::move(mPrevious));
}

Ticker::Ticker(int intervalMs)
{
    QObject::connect(&mTimer, &QTimer::timeout, [this] { ++mTicks; });
    mTimer.start(intervalMs);
}

} // namespace tvxtest
