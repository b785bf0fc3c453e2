#pragma once
// The general pasteboard: the desktop clipboard with a change count, and the
// drag type that carries one archived record identifier.
#include <QObject>
#include <QString>

#include <functional>

namespace platform {

// Mime type of the record drag type "BMRecordPboardType".
QString recordPboardMimeType();
constexpr const char* kRecordPboardType = "BMRecordPboardType";

class Pasteboard : public QObject {
public:
    static Pasteboard& generalPasteboard();

    // Grows by one every time the clipboard's content changes, in this
    // process or another.
    int changeCount() const { return mChangeCount; }
    void setString(const QString& text);
    // A secret (a password, a record's value or note): marked for clipboard
    // managers to keep out of their history, and handed to the secret
    // handler, which arms the clearing whatever window is active.
    void setSecretString(const QString& text);
    void setSecretCopiedHandler(std::function<void()> handler) { mSecretCopied = std::move(handler); }
    // The mark clipboard managers read ("x-kde-passwordManagerHint": "secret").
    static QString secretHintMimeType();
    QString string() const;
    void clearContents();

private:
    Pasteboard();
    int mChangeCount = 0;
    std::function<void()> mSecretCopied;
};

} // namespace platform
