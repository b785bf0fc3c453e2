#pragma once
// The panel shown while an import or export runs on its worker: the loading
// panel, its text set by the worker's progress.
#include "app/BMProgressPanel.h"

class BMExchangeProgressPanel : public BMProgressPanel {
    Q_OBJECT
public:
    explicit BMExchangeProgressPanel(QWidget* parent = nullptr);
};
