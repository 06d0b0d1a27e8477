#pragma once
// Inside the event queue: the bound-event map and the run of callbacks for one event.

#include <cstdint>

namespace vorlune {

void InitEventBindings();  // the map, once
void RunBoundCallbacks(int32_t type, int64_t object, int64_t window, int64_t subtype);

}  // namespace vorlune
