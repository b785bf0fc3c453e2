#pragma once
// The panel shown while an import or export runs on its worker.
#include <QWidget>

class QLabel;
class QProgressBar;

class BMExchangeProgressPanel : public QWidget {
    Q_OBJECT
public:
    explicit BMExchangeProgressPanel(QWidget* parent = nullptr);
    void setText(const QString& text);
    QString text() const;
    // The busy indicator runs while the panel is shown.
    void startAnimation();
    void stopAnimation();

private:
    QLabel* mText;
    QProgressBar* mIndicator;
};
