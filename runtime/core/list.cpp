#include "runtime/core/list.h"

#include <cstring>
#include <limits>

#include "runtime/core/layout.h"

namespace vorlune {

namespace {

constexpr uint64_t kNodeHeaderBytes = sizeof(LinkedListNode);

void* ElementOf(LinkedListNode* node) {
    return node + 1;
}

uint64_t ElementSize(const LinkedList* list) {
    return list->nodeSize - kNodeHeaderBytes;
}

void SetCurrent(LinkedList* list, LinkedListNode* node) {
    list->currentNode = node;
    *list->currentOut = node;
    list->noCurrent = node == nullptr ? 1 : 0;
}

void LinkAfter(LinkedList* list, LinkedListNode* node, LinkedListNode* anchor) {
    if (anchor != nullptr) {
        node->prev = anchor;
        node->next = anchor->next;
        if (anchor->next != nullptr) anchor->next->prev = node;
        anchor->next = node;
    } else {
        node->next = list->first;
        if (list->first != nullptr) list->first->prev = node;
    }
    if (node->prev == nullptr) list->first = node;
    if (node->next == nullptr) list->last = node;
}

void* CreateListHook(uint64_t elementSize, void* variable, const int64_t* layout,
                     int32_t elementType) {
    return CreateList(elementSize, static_cast<ListVariable*>(variable), layout, elementType);
}

int32_t CopyListHook(void* source, void* target, int32_t clear) {
    return CopyList(static_cast<LinkedList*>(source), static_cast<LinkedList*>(target), clear);
}

void DestroyListHook(void* list) {
    DestroyList(static_cast<LinkedList*>(list));
}

}  // namespace

// Lists ----------------------------------------------------------------------------------------

LinkedList* CreateList(uint64_t elementSize, ListVariable* variable, const int64_t* layout,
                       int32_t elementType) {
    if (elementSize > std::numeric_limits<uint64_t>::max() - kNodeHeaderBytes) return nullptr;
    const uint64_t nodeSize = elementSize + kNodeHeaderBytes;
    auto* list = static_cast<LinkedList*>(AllocBlock(sizeof(LinkedList)));
    if (list == nullptr) return nullptr;
    if (variable == nullptr) {
        variable = static_cast<ListVariable*>(AllocBlock(sizeof(ListVariable)));
        list->ownsVariable = 1;
    }
    list->pool = CreatePool(nodeSize, 16, 65536, kPoolShared);
    if (variable == nullptr || list->pool == nullptr) {
        DestroyPool(list->pool);
        if (list->ownsVariable != 0) FreeBlock(variable);
        FreeBlock(list);
        return nullptr;
    }
    list->nodeSize = nodeSize;
    list->currentOut = &variable->currentNode;
    list->layout = layout;
    list->elementType = elementType;
    list->owner = variable;
    list->needsInit = static_cast<uint8_t>(LayoutNeedsInit(layout));
    variable->list = list;
    SetCurrent(list, nullptr);
    return list;
}

void ClearList(LinkedList* list) {
    if (list == nullptr) return;
    LinkedListNode* node = list->first;
    while (node != nullptr) {
        LinkedListNode* next = node->next;
        if (list->layout != nullptr) {
            ReleaseElementFields(ElementOf(node), ElementSize(list), list->layout);
        }
        PoolFree(list->pool, node);
        node = next;
    }
    list->first = nullptr;
    list->last = nullptr;
    list->count = 0;
    list->currentIndex = 0;
    SetCurrent(list, nullptr);
}

int32_t CopyList(LinkedList* source, LinkedList* target, int32_t clear) {
    if (source == nullptr || target == nullptr) return 0;
    if (source == target) return 1;
    if (source->nodeSize != target->nodeSize || source->layout != target->layout) return 0;
    if (clear != 0) ClearList(target);
    for (LinkedListNode* node = source->first; node != nullptr; node = node->next) {
        void* element = AddListElement(target);
        if (element == nullptr) return 0;
        CopyElement(element, ElementSize(source), source->layout, ElementOf(node));
    }
    return 1;
}

int32_t CopyListReplacing(LinkedList* source, LinkedList* target) {
    return CopyList(source, target, 1);
}

void DestroyList(LinkedList* list) {
    if (list == nullptr) return;
    ClearList(list);
    DestroyPool(list->pool);
    if (list->owner->list == list) list->owner->list = nullptr;
    FreeBlockChain(list->extraBlocks);
    if (list->ownsVariable != 0) FreeBlock(list->owner);
    FreeBlock(list);
}

// Elements -------------------------------------------------------------------------------------

void* AddListElement(LinkedList* list) {
    if (list == nullptr) return nullptr;
    auto* node = static_cast<LinkedListNode*>(PoolAlloc(list->pool));
    if (node == nullptr) return nullptr;
    std::memset(node, 0, list->nodeSize);
    void* element = ElementOf(node);
    if (list->needsInit != 0) InitElementFields(element, ElementSize(list), list->layout);
    LinkedListNode* anchor = list->currentNode;
    LinkAfter(list, node, anchor);
    list->currentIndex = anchor != nullptr ? list->currentIndex + 1 : 0;
    ++list->count;
    SetCurrent(list, node);
    return element;
}

void* SelectListElement(LinkedList* list, int64_t index) {
    if (list == nullptr) return nullptr;
    if (index < 0 || index >= list->count) {
        list->currentIndex = index;
        SetCurrent(list, nullptr);
        return nullptr;
    }
    const ListWalk walk = PlanListWalk(list, index);
    LinkedListNode* node = walk.start == ListWalkStart::kFirst  ? list->first
                           : walk.start == ListWalkStart::kLast ? list->last
                                                                : list->currentNode;
    for (int64_t step = 0; step < walk.steps; ++step)
        node = walk.forward ? node->next : node->prev;
    list->currentIndex = index;
    SetCurrent(list, node);
    return ElementOf(node);
}

void* ListNodeElement(LinkedListNode* node) {
    return node == nullptr ? nullptr : ElementOf(node);
}

// Selection starts from whichever of first, last and current is nearer, so a walk by
// ascending index costs one step per element.
ListWalk PlanListWalk(const LinkedList* list, int64_t index) {
    const int64_t count = list->count;
    const ListWalk fromFirst{ListWalkStart::kFirst, true, index};
    const ListWalk fromLast{ListWalkStart::kLast, false, count - 1 - index};
    if (list->noCurrent != 0) return index < count / 2 ? fromFirst : fromLast;
    const int64_t old = list->currentIndex;
    if (index > old) {
        return index - old < count - index ? ListWalk{ListWalkStart::kCurrent, true, index - old}
                                           : fromLast;
    }
    return old - index < index ? ListWalk{ListWalkStart::kCurrent, false, old - index} : fromFirst;
}

// Start hook -----------------------------------------------------------------------------------

void InitLists() {
    ContainerHooks& hooks = ContainerHookTable();
    hooks.createList = CreateListHook;
    hooks.copyList = CopyListHook;
    hooks.releaseList = DestroyListHook;
}

}  // namespace vorlune
