#include "app/BMProgressPanel.h"

#include "platform/ui/SheetFrame.h"

#include <QLabel>
#include <QProgressBar>
#include <QVBoxLayout>

BMProgressPanel::BMProgressPanel(QWidget* parent) : QWidget(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint)
{
    setObjectName(QStringLiteral("mLoadingDataPanel"));
    setWindowTitle(tr("Tolvanex Enterprise"));
    m_text = new QLabel(tr("Loading data from the server..."), this);
    m_indicator = new QProgressBar(this);
    m_indicator->setTextVisible(false);
    m_indicator->setRange(0, 1);
    m_indicator->setMinimumWidth(320);
    platform::SheetFrame frame(this);
    frame.column()->addWidget(m_text);
    frame.column()->addWidget(m_indicator);
}

void BMProgressPanel::setText(const QString& text) { m_text->setText(text); }
QString BMProgressPanel::text() const { return m_text->text(); }

// A range of 0..0 is Qt's busy (indeterminate) indicator.
void BMProgressPanel::startAnimation() { m_indicator->setRange(0, 0); }
void BMProgressPanel::stopAnimation() { m_indicator->setRange(0, 1); }
bool BMProgressPanel::isAnimating() const { return m_indicator->maximum() == 0; }
