#pragma once
// Threads that read cached records' texts beside the caches' own thread (the
// search entries' preparation) set a hook: a change to a record's texts or
// change stamp calls it first with the record's serial (the stamp's high
// half), so that it can stop them before anything is read mid-change.
#include <cstdint>

void setRecordTextChangeHook(void (*hook)(uint64_t serial));
