#include "views/BMImageView.h"

#include "platform/ui/Pasteboard.h"

#include <QMetaObject>
#include <QMouseEvent>

BMImageView::BMImageView(QWidget* parent) : QLabel(parent)
{
    setAlignment(Qt::AlignCenter);
    setCursor(Qt::PointingHandCursor);
}

void BMImageView::setImage(const QPixmap& pixmap)
{
    mImage = pixmap;
    setPixmap(pixmap);
}

void BMImageView::mousePressEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton) {
        QLabel::mousePressEvent(event);
        return;
    }
    mPressed = true;
    if (!mImage.isNull())
        setPixmap(mImage.scaled(mImage.size() * 0.85, Qt::KeepAspectRatio, Qt::SmoothTransformation));
    redisplayAncestor();
}

void BMImageView::mouseReleaseEvent(QMouseEvent* event)
{
    if (!mPressed) {
        QLabel::mouseReleaseEvent(event);
        return;
    }
    mPressed = false;
    if (!mImage.isNull())
        setPixmap(mImage);
    if (rect().contains(event->position().toPoint())) {
        auto& board = platform::Pasteboard::generalPasteboard();
        board.clearContents();
        if (!mTitle.isEmpty())
            board.setString(mTitle);
        emit copied(mTitle);
        // The pane that holds an attachment's picture saves it on a click.
        if (QObject* holder = parent();
            holder && holder->metaObject()->indexOfMethod("extractAttachment()") >= 0)
            QMetaObject::invokeMethod(holder, "extractAttachment");
    }
    redisplayAncestor();
}

void BMImageView::redisplayAncestor()
{
    QWidget* w = this;
    for (int i = 0; i < 3 && w->parentWidget(); ++i)
        w = w->parentWidget();
    w->update();
}
