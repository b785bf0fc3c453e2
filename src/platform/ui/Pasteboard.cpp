#include "platform/ui/Pasteboard.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QMimeData>

namespace platform {

QString recordPboardMimeType()
{
    return QStringLiteral("application/x-bmrecordpboardtype");
}

Pasteboard& Pasteboard::generalPasteboard()
{
    static Pasteboard* board = new Pasteboard;
    return *board;
}

Pasteboard::Pasteboard()
{
    if (auto* clipboard = QGuiApplication::clipboard())
        connect(clipboard, &QClipboard::dataChanged, this, [this] { ++mChangeCount; });
}

void Pasteboard::setString(const QString& text)
{
    QGuiApplication::clipboard()->setText(text);
}

QString Pasteboard::secretHintMimeType()
{
    return QStringLiteral("x-kde-passwordManagerHint");
}

void Pasteboard::setSecretString(const QString& text)
{
    auto* data = new QMimeData;
    data->setText(text);
    data->setData(secretHintMimeType(), QByteArrayLiteral("secret"));
    QGuiApplication::clipboard()->setMimeData(data);
    if (mSecretCopied)
        mSecretCopied();
}

QString Pasteboard::string() const
{
    return QGuiApplication::clipboard()->text();
}

void Pasteboard::clearContents()
{
    QGuiApplication::clipboard()->clear();
}

} // namespace platform
