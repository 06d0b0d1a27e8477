#pragma once
// Gadget lists: per window, the stack of container views into which new gadgets are placed,
// and the process-wide current list.

#include <cstdint>

#include "platform/handles.h"

namespace vorlune {

class ZkGadgetList {
  public:
    NativeWindow TopWindow = nullptr;
    NativeView TopView = nullptr;  // the container new gadgets go into
    NativeView* Views = nullptr;   // saved views
    int32_t StackSize = 0;         // capacity of Views
    int32_t StackIndex = 0;        // saved views

    ~ZkGadgetList();  // frees Views

    bool initWithWindow(NativeWindow window);  // false when out of memory
    NativeWindow window() const { return TopWindow; }
    NativeView top() const { return TopView; }
    int32_t stackIndex() const { return StackIndex; }
    void push(NativeView view);  // nothing changes when the stack cannot grow
    void pushNoView() { push(nullptr); }
    void set(NativeView view) { TopView = view; }
    void pop();

    static ZkGadgetList* currentList();
    static NativeView currentView();      // null without a current list
    static NativeWindow currentWindow();  // null without a current list
    static ZkGadgetList* listFromWindow(NativeWindow window);
    static NativeWindow setWindow(NativeWindow window);  // the previous current window
    static void removeWindow(NativeWindow window);
};

void InitGadgetLists();  // no current list, room for five lists; once
int32_t GadgetListCount();

}  // namespace vorlune
