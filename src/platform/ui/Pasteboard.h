#pragma once
// The general pasteboard: the desktop clipboard with a change count, and the
// drag type that carries one archived record identifier.
#include <QObject>
#include <QString>

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
    QString string() const;
    void clearContents();

private:
    Pasteboard();
    int mChangeCount = 0;
};

} // namespace platform
