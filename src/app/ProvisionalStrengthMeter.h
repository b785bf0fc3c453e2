#pragma once
// provisional: stands in for the views' BMPasswordStrengthMeter (built by
// recsheet) with the same calls, so the password panel can switch to it.
#include <QProgressBar>

class ProvisionalStrengthMeter : public QProgressBar {
public:
    explicit ProvisionalStrengthMeter(QWidget* parent = nullptr) : QProgressBar(parent)
    {
        setRange(0, 1000);
        setTextVisible(false);
        setFixedHeight(10);
        setValue(0);
    }
    void setMinValue(float v) { mMin = v; setStrenth(mProgress); }
    void setMaxValue(float v) { mMax = v; setStrenth(mProgress); }
    // Values outside the range are drawn at its ends.
    void setStrenth(float v)
    {
        mProgress = v;
        const float span = mMax > mMin ? mMax - mMin : 1.0f;
        const float fraction = std::clamp((v - mMin) / span, 0.0f, 1.0f);
        setValue(static_cast<int>(fraction * 1000.0f + 0.5f));
    }
    float strenth() const { return mProgress; }

private:
    float mMin = 0.0f;
    float mMax = 1.0f;
    float mProgress = 0.0f;
};
