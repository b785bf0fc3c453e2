#pragma once
// The panel shown while an import or export runs on its worker: the loading
// panel, its text set by the worker's progress, and for a long import a
// Stop button.
#include "app/BMProgressPanel.h"

#include <functional>

class QPushButton;

class BMExchangeProgressPanel : public BMProgressPanel {
    Q_OBJECT
public:
    explicit BMExchangeProgressPanel(QWidget* parent = nullptr);

    // Shows Stop, which calls `stop` once; an empty function hides it again.
    void offerStop(std::function<void()> stop);
    QPushButton* stopButton() const { return mStopButton; }

private:
    QPushButton* mStopButton;
    std::function<void()> mStop;
};
