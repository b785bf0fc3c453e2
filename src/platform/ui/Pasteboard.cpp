#include "platform/ui/Pasteboard.h"

#include <QClipboard>
#include <QGuiApplication>

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

QString Pasteboard::string() const
{
    return QGuiApplication::clipboard()->text();
}

void Pasteboard::clearContents()
{
    QGuiApplication::clipboard()->clear();
}

} // namespace platform
