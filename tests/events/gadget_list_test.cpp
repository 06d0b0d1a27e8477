#include "runtime/events/gadget_list.h"

#include <gtest/gtest.h>

#include <vector>

#include "platform/headless/control.h"
#include "platform/view.h"
#include "runtime/events/windows.h"
#include "tests/events/events_fixture.h"

namespace vorlune {
namespace {

using GadgetListTest = EventsTest;

TEST_F(GadgetListTest, PushingPastTheStackGrowsItOnceAndPoppingEmptyResets) {
    CreateWindow(1, 0, 0, 100, 100, u"w", 0);
    ZkGadgetList* list = ZkGadgetList::currentList();
    ASSERT_NE(list, nullptr);
    const NativeView content = WindowContentView(WindowID(1));
    EXPECT_EQ(list->top(), content);
    EXPECT_EQ(list->StackSize, 10);

    std::vector<NativeView> views;
    for (int i = 0; i < 11; ++i) {
        views.push_back(CreateContainerView({0, 0, 10, 10}));
        AddSubview(content, views.back());
        list->push(views.back());
    }
    EXPECT_EQ(list->StackSize, 20);
    EXPECT_EQ(list->stackIndex(), 11);
    EXPECT_EQ(ZkGadgetList::currentView(), views.back());

    list->pushNoView();
    EXPECT_EQ(list->top(), nullptr);
    list->pop();
    EXPECT_EQ(list->top(), views[10]);
    list->set(views[0]);
    list->pop();
    EXPECT_EQ(list->top(), views[9]) << "set replaces the top without saving it";
    for (int i = 0; i < 10; ++i)
        list->pop();
    EXPECT_EQ(list->stackIndex(), 0);
    EXPECT_EQ(list->top(), content);
    list->set(views[3]);
    list->pop();
    EXPECT_EQ(list->top(), content) << "popping an empty stack resets to the content view";
    EXPECT_EQ(list->stackIndex(), 0);
}

TEST_F(GadgetListTest, EachWindowHasOneListAndTheNewestIsCurrent) {
    CreateWindow(1, 0, 0, 100, 100, u"a", 0);
    ZkGadgetList* first = ZkGadgetList::currentList();
    CreateWindow(2, 0, 0, 100, 100, u"b", 0);
    ZkGadgetList* second = ZkGadgetList::currentList();
    EXPECT_NE(first, second);
    EXPECT_EQ(ZkGadgetList::listFromWindow(WindowID(1)), first);
    EXPECT_EQ(ZkGadgetList::currentWindow(), WindowID(2));

    EXPECT_EQ(ZkGadgetList::setWindow(WindowID(1)), WindowID(2));
    EXPECT_EQ(ZkGadgetList::currentList(), first) << "an existing list is found, not made";
    EXPECT_EQ(ZkGadgetList::setWindow(nullptr), WindowID(1));
    EXPECT_EQ(ZkGadgetList::currentList(), first);

    const int32_t lists = GadgetListCount();
    CreateWindow(3, 0, 0, 100, 100, u"c", kWindowKeepGadgetList);
    EXPECT_EQ(ZkGadgetList::currentList(), first);
    EXPECT_EQ(GadgetListCount(), lists);

    CloseWindow(1);
    EXPECT_EQ(ZkGadgetList::currentList(), nullptr) << "the current list went with its window";
    EXPECT_EQ(ZkGadgetList::currentView(), nullptr);
    EXPECT_EQ(ZkGadgetList::currentWindow(), nullptr);
    EXPECT_EQ(ZkGadgetList::listFromWindow(WindowID(2)), second);
    EXPECT_EQ(GadgetListCount(), lists - 1);
}

TEST_F(GadgetListTest, AWindowWithoutContentViewGetsOne) {
    const NativeWindow window = CreateNativeWindow(0, 0, 80, 60, kWindowStyleBorderless);
    SetWindowContentView(window, nullptr);
    ZkGadgetList::setWindow(window);
    const NativeView content = WindowContentView(window);
    ASSERT_NE(content, nullptr);
    EXPECT_EQ(ZkGadgetList::currentView(), content);
    EXPECT_EQ(ViewFrame(content).width, 80);
    ZkGadgetList::removeWindow(window);
    CloseNativeWindow(window);
}

}  // namespace
}  // namespace vorlune
