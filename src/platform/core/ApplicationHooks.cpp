#include "platform/core/ApplicationHooks.h"

#include <atomic>

namespace platform {

namespace {
std::atomic<ApplicationHooks*> gHooks{nullptr};
}

void setApplicationHooks(ApplicationHooks* hooks) { gHooks.store(hooks); }
ApplicationHooks* applicationHooks() { return gHooks.load(); }

} // namespace platform
