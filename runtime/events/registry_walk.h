#pragma once
// A walk over a registry's live records in registry order that leaves its shared cursor alone,
// for walks that may run inside another one (closing a window inside FreeAllObjects).

#include <cstdint>
#include <cstring>

#include "runtime/core/memory.h"
#include "runtime/core/registry.h"

namespace vorlune {

// visit(record, number) answers false to stop. The visited record must not be freed.
template <typename Visit>
void WalkRegistry(const ObjectRegistry* registry, Visit visit) {
    if (registry == nullptr) return;
    auto inUse = [](const void* record) {
        void* word;
        std::memcpy(&word, record, sizeof(word));
        return word != nullptr;
    };
    for (int64_t number = 0; number < registry->slotCount; ++number) {
        void* record = registry->slots[number];
        if (record != nullptr && inUse(record) && !visit(record, number)) return;
    }
    ListNode* node = registry->dynamicHead;
    while (node != nullptr && node->next != nullptr)
        node = node->next;
    for (; node != nullptr; node = node->prev) {
        void* record = ListHandleOf(node);
        if (!visit(record, static_cast<int64_t>(reinterpret_cast<intptr_t>(record)))) return;
    }
}

}  // namespace vorlune
