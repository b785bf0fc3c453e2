#pragma once
// A picture that copies its title to the pasteboard when clicked (the detail
// pane's copy buttons). Pressed, it shrinks a little.
#include <QLabel>
#include <QPixmap>
#include <QString>

class BMImageView : public QLabel {
    Q_OBJECT
public:
    explicit BMImageView(QWidget* parent = nullptr);

    void setTitle(const QString& title) { mTitle = title; }
    const QString& title() const { return mTitle; }
    void setImage(const QPixmap& pixmap);
    bool isPressed() const { return mPressed; }

signals:
    void copied(const QString& title);

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    void redisplayAncestor();
    QString mTitle;
    QPixmap mImage;
    bool mPressed = false;
};
