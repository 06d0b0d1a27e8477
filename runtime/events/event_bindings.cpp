#include "runtime/events/event_bindings.h"

#include "runtime/events/event_queue.h"

namespace vorlune {

// FIXME: the bound-event map arrives with the containers.
void InitEventBindings() {}
void RunBoundCallbacks(int32_t, int64_t, int64_t, int64_t) {}
int32_t BindEvent(int32_t, EventCallback, int64_t, int64_t, int64_t) {
    return 0;
}
int32_t RemoveEventBinding(int32_t, EventCallback, int64_t, int64_t, int64_t) {
    return 0;
}
void RemoveWindowEventBindings(int64_t) {}

}  // namespace vorlune
