#include "app/BMExchangeProgressPanel.h"

#include <QLabel>
#include <QProgressBar>
#include <QVBoxLayout>

BMExchangeProgressPanel::BMExchangeProgressPanel(QWidget* parent)
    : QWidget(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint)
{
    setObjectName(QStringLiteral("mLoadingDataPanel"));
    setWindowTitle(tr("Tolvanex Enterprise"));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(20, 16, 20, 18);
    layout->setSpacing(10);
    mText = new QLabel(this);
    mText->setObjectName(QStringLiteral("mProcessProgressText"));
    layout->addWidget(mText);
    mIndicator = new QProgressBar(this);
    mIndicator->setObjectName(QStringLiteral("mImportProgressIndicator"));
    mIndicator->setTextVisible(false);
    mIndicator->setMinimumWidth(300);
    mIndicator->setRange(0, 1);
    layout->addWidget(mIndicator);
}

void BMExchangeProgressPanel::setText(const QString& text)
{
    mText->setText(text);
}

QString BMExchangeProgressPanel::text() const
{
    return mText->text();
}

void BMExchangeProgressPanel::startAnimation()
{
    mIndicator->setRange(0, 0); // busy
}

void BMExchangeProgressPanel::stopAnimation()
{
    mIndicator->setRange(0, 1);
}
