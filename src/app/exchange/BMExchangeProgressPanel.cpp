#include "app/exchange/BMExchangeProgressPanel.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QLayout>
#include <QProgressBar>
#include <QPushButton>

BMExchangeProgressPanel::BMExchangeProgressPanel(QWidget* parent) : BMProgressPanel(parent)
{
    mIphoneSyncProgressTextFeild()->setObjectName(QStringLiteral("mProcessProgressText"));
    mIphoneSyncProgressTextFeild()->clear();
    mDataLoadingProgressIndiator()->setObjectName(QStringLiteral("mImportProgressIndicator"));
    mStopButton = new QPushButton(tr("Stop"), this);
    mStopButton->setObjectName(QStringLiteral("stopButton"));
    mStopButton->hide();
    auto* row = new QHBoxLayout;
    row->addStretch(1);
    row->addWidget(mStopButton);
    if (auto* column = qobject_cast<QBoxLayout*>(layout()))
        column->addLayout(row);
    connect(mStopButton, &QPushButton::clicked, this, [this] {
        mStopButton->setEnabled(false); // once: the worker ends at its next line
        if (mStop)
            mStop();
    });
}

void BMExchangeProgressPanel::offerStop(std::function<void()> stop)
{
    mStop = std::move(stop);
    mStopButton->setEnabled(true);
    mStopButton->setVisible(bool(mStop));
    adjustSize();
}
