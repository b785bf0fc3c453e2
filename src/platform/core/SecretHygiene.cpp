#include "platform/core/SecretHygiene.h"

#include <sys/prctl.h>
#include <sys/resource.h>

#include <atomic>
#include <cstring>

namespace platform {

bool disableCoreDumps()
{
    const bool undumpable = prctl(PR_SET_DUMPABLE, 0, 0, 0, 0) == 0;
    const rlimit none{0, 0};
    const bool noCore = setrlimit(RLIMIT_CORE, &none) == 0;
    return undumpable && noCore;
}

namespace {

void overwrite(void* data, size_t size)
{
    std::memset(data, 0, size);
    // Keeps the compiler from dropping a store to memory about to be freed.
    std::atomic_signal_fence(std::memory_order_seq_cst);
    asm volatile("" : : "r"(data) : "memory");
}

} // namespace

void wipe(QString& text)
{
    if (text.isDetached() && !text.isEmpty())
        overwrite(text.data(), static_cast<size_t>(text.size()) * sizeof(QChar));
    text = QString();
}

void wipe(QByteArray& bytes)
{
    if (bytes.isDetached() && !bytes.isEmpty())
        overwrite(bytes.data(), static_cast<size_t>(bytes.size()));
    bytes = QByteArray();
}

} // namespace platform
