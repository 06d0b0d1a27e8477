#pragma once
// Inside the event queue: its lock, the bound-event map and the run of callbacks for one event.

#include <cstdint>

namespace vorlune {

// The queue's recursive mutex in thread-safe builds; no lock at all otherwise.
#if VORLUNE_THREAD_SAFE
void LockEventQueue();
void UnlockEventQueue();

class QueueLock {
  public:
    QueueLock() { LockEventQueue(); }
    ~QueueLock() { UnlockEventQueue(); }
    QueueLock(const QueueLock&) = delete;
    QueueLock& operator=(const QueueLock&) = delete;
};
#else
class QueueLock {
  public:
    QueueLock() {}  // user-provided, so that an unused lock draws no warning
};
#endif

void InitEventBindings();  // the map, once
void RunBoundCallbacks(int32_t type, int64_t object, int64_t window, int64_t subtype);

}  // namespace vorlune
