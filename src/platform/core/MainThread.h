#pragma once
// Hand-over of work to the main (GUI) thread.
#include <functional>

namespace platform {

// True when called on the thread that owns the application object, or when
// there is no application object at all (plain tools and unit tests).
bool isMainThread();

// Runs fn on the main thread and returns when it has finished. Called on the
// main thread itself (or without an event loop to hand over to) it runs fn directly.
void performOnMainThreadAndWait(const std::function<void()>& fn);

// Queues fn for the main thread without waiting.
void performOnMainThread(std::function<void()> fn);

} // namespace platform
