#pragma once
// A failure as the core hands it on: the message text and its number.
#include <QString>

namespace platform {

struct Error {
    QString message; // the domain: the failing library's own message
    int code = 0;    // the server's error number, or our own

    bool operator==(const Error&) const = default;
};

} // namespace platform
