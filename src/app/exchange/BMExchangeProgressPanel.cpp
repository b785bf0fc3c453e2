#include "app/exchange/BMExchangeProgressPanel.h"

#include <QLabel>
#include <QProgressBar>

BMExchangeProgressPanel::BMExchangeProgressPanel(QWidget* parent) : BMProgressPanel(parent)
{
    mIphoneSyncProgressTextFeild()->setObjectName(QStringLiteral("mProcessProgressText"));
    mIphoneSyncProgressTextFeild()->clear();
    mDataLoadingProgressIndiator()->setObjectName(QStringLiteral("mImportProgressIndicator"));
}
