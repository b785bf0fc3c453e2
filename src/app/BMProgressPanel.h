#pragma once
// The progress panel shown while data loads or reloads: a line of text and a
// busy indicator.
#include <QWidget>

class QLabel;
class QProgressBar;

class BMProgressPanel : public QWidget {
    Q_OBJECT
public:
    explicit BMProgressPanel(QWidget* parent = nullptr);

    QLabel* mIphoneSyncProgressTextFeild() const { return m_text; }
    QProgressBar* mDataLoadingProgressIndiator() const { return m_indicator; }

    void setText(const QString& text);
    QString text() const;
    // The busy animation.
    void startAnimation();
    void stopAnimation();
    bool isAnimating() const;

private:
    QLabel* m_text;
    QProgressBar* m_indicator;
};
