#pragma once
// Emptying fields that held secrets once their window is done with them: the
// text is overwritten where no other copy shares it, and the undo history,
// which would keep the characters, goes too.
class QLineEdit;
class QPlainTextEdit;

namespace platform {

void wipeField(QLineEdit* field);
void wipeField(QPlainTextEdit* field);

} // namespace platform
