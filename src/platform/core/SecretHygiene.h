#pragma once
// Keeping secrets out of places they outlive their use: core dumps, and the
// buffers of texts the application has finished with.
#include <QByteArray>
#include <QString>

namespace platform {

// No core dump of this process (it holds deciphered records): not dumpable,
// and a zero core-size limit. False when either could not be set.
bool disableCoreDumps();

// Overwrites the text's characters in place and empties it. Only a buffer no
// other QString shares can be overwritten; a shared one is merely released.
void wipe(QString& text);
void wipe(QByteArray& bytes);

} // namespace platform
