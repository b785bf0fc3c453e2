#pragma once
// Emptying fields that held secrets once their window is done with them: the
// text is overwritten where no other copy shares it, and the undo history,
// which would keep the characters, goes too.
class QLineEdit;
class QString;
class QPlainTextEdit;

namespace platform {

// A password field (its text shown as dots) with this object name.
QLineEdit* newSecretField(const QString& objectName, int minimumWidth = 240);

void wipeField(QLineEdit* field);
void wipeField(QPlainTextEdit* field);

} // namespace platform
