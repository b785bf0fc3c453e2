#include "platform/ui/SecretFields.h"

#include "platform/core/SecretHygiene.h"

#include <QLineEdit>
#include <QPlainTextEdit>

namespace platform {

QLineEdit* newSecretField(const QString& objectName, int minimumWidth)
{
    auto* field = new QLineEdit;
    field->setObjectName(objectName);
    field->setEchoMode(QLineEdit::Password);
    field->setMinimumWidth(minimumWidth);
    return field;
}

void wipeField(QLineEdit* field)
{
    if (!field)
        return;
    QString text = field->text();
    // setText (unlike clear) forgets the undo history; the field then no
    // longer shares the buffer, which wipe() can overwrite.
    field->setText(QString());
    wipe(text);
}

void wipeField(QPlainTextEdit* field)
{
    if (!field)
        return;
    // The document keeps its text in its own blocks: only emptying it, and its
    // undo history with it, is possible here.
    field->setPlainText(QString());
}

} // namespace platform
