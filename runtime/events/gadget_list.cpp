#include "runtime/events/gadget_list.h"

#include <cstring>
#include <new>

#include "platform/view.h"
#include "platform/window.h"
#include "runtime/core/memory.h"

namespace vorlune {

namespace {

constexpr int32_t kViewStackGrowBy = 10;
constexpr int32_t kInitialListCapacity = 5;

ZkGadgetList* currentGadgetList = nullptr;
ZkGadgetList** lists = nullptr;
int32_t listCount = 0;
int32_t listCapacity = 0;

bool AppendList(ZkGadgetList* list) {
    if (listCount == listCapacity) {
        const int32_t capacity = listCapacity > 0 ? listCapacity * 2 : kInitialListCapacity;
        const uint64_t bytes = static_cast<uint64_t>(capacity) * sizeof(ZkGadgetList*);
        void* grown = lists != nullptr ? ResizeBlock(lists, bytes) : AllocBlock(bytes);
        if (grown == nullptr) return false;
        lists = static_cast<ZkGadgetList**>(grown);
        listCapacity = capacity;
    }
    lists[listCount++] = list;
    return true;
}

}  // namespace

ZkGadgetList::~ZkGadgetList() {
    FreeBlock(Views);
}

bool ZkGadgetList::initWithWindow(NativeWindow window) {
    TopWindow = window;
    TopView = WindowContentView(window);
    if (TopView == nullptr) {
        const PlatformRect content = WindowContentRect(window);
        TopView = CreateContainerView({0, 0, content.width, content.height});
        SetWindowContentView(window, TopView);
    }
    Views = static_cast<NativeView*>(AllocBlock(kViewStackGrowBy * sizeof(NativeView)));
    if (Views == nullptr) return false;
    StackSize = kViewStackGrowBy;
    StackIndex = 0;
    return true;
}

void ZkGadgetList::push(NativeView view) {
    if (StackIndex >= StackSize) {
        const int32_t size = StackSize + kViewStackGrowBy;
        void* grown = ResizeBlock(Views, static_cast<uint64_t>(size) * sizeof(NativeView));
        if (grown == nullptr) return;
        Views = static_cast<NativeView*>(grown);
        StackSize = size;
    }
    Views[StackIndex++] = TopView;
    TopView = view;
}

void ZkGadgetList::pop() {
    if (StackIndex < 1) {
        StackIndex = 0;
        TopView = WindowContentView(TopWindow);
        return;
    }
    --StackIndex;
    TopView = Views[StackIndex];
    Views[StackIndex] = nullptr;
}

ZkGadgetList* ZkGadgetList::currentList() {
    return currentGadgetList;
}

NativeView ZkGadgetList::currentView() {
    return currentGadgetList != nullptr ? currentGadgetList->TopView : nullptr;
}

NativeWindow ZkGadgetList::currentWindow() {
    return currentGadgetList != nullptr ? currentGadgetList->TopWindow : nullptr;
}

ZkGadgetList* ZkGadgetList::listFromWindow(NativeWindow window) {
    for (int32_t i = 0; i < listCount; ++i) {
        if (lists[i]->TopWindow == window) return lists[i];
    }
    return nullptr;
}

NativeWindow ZkGadgetList::setWindow(NativeWindow window) {
    NativeWindow previous = currentWindow();
    if (window == nullptr) return previous;
    ZkGadgetList* list = listFromWindow(window);
    if (list == nullptr) {
        list = new (std::nothrow) ZkGadgetList;
        if (list == nullptr) return previous;
        if (!list->initWithWindow(window) || !AppendList(list)) {
            delete list;
            return previous;
        }
    }
    currentGadgetList = list;
    return previous;
}

void ZkGadgetList::removeWindow(NativeWindow window) {
    for (int32_t i = 0; i < listCount; ++i) {
        ZkGadgetList* list = lists[i];
        if (list->TopWindow != window) continue;
        if (list == currentGadgetList) currentGadgetList = nullptr;
        std::memmove(lists + i, lists + i + 1,
                     static_cast<size_t>(listCount - i - 1) * sizeof(ZkGadgetList*));
        --listCount;
        delete list;
        return;
    }
}

void InitGadgetLists() {
    if (lists != nullptr) return;
    lists = static_cast<ZkGadgetList**>(AllocBlock(kInitialListCapacity * sizeof(ZkGadgetList*)));
    if (lists != nullptr) listCapacity = kInitialListCapacity;
}

int32_t GadgetListCount() {
    return listCount;
}

}  // namespace vorlune
