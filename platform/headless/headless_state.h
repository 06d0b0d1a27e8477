#pragma once
// The in-memory platform's windows, views and queues, shared by its source files.

#include <cstdint>
#include <deque>
#include <string>
#include <vector>

#include "platform/application.h"
#include "platform/events.h"
#include "platform/view.h"
#include "platform/window.h"

namespace vorlune::headless {

constexpr double kTitleBarHeight = 22;  // titled windows; borderless ones have no decoration
constexpr double kDefaultScreenWidth = 1280;
constexpr double kDefaultScreenHeight = 1024;

struct Window;

struct View {
    PlatformRect frame;
    bool hidden;
    View* superview;
    Window* window;  // set on a content view only
    std::vector<View*> subviews;
    ViewDelegate* delegate;
    std::u16string toolTip;
    bool needsDisplay;
    int32_t drawCount;
};

struct Window {
    double x, y;           // frame's top-left corner
    double width, height;  // content size
    uint32_t style;
    std::u16string title;
    bool visible;
    bool minimised;
    bool zoomed;
    PlatformRect userFrame;  // frame before zooming
    bool acceptsMouseMoved;
    WindowDelegate* delegate;
    View* contentView;
    View* firstResponder;
    Window* parent;
    std::vector<Window*> children;
    int64_t orderStamp;  // larger is nearer the front
};

struct WaitAction {
    void (*action)(void* data);
    void* data;
};

struct State {
    bool displayAvailable = true;
    bool running = false;
    const char* failure = nullptr;
    ApplicationDelegate* applicationDelegate = nullptr;
    double screenWidth = kDefaultScreenWidth;
    double screenHeight = kDefaultScreenHeight;
    std::vector<Window*> windows;  // creation order
    Window* keyWindow = nullptr;
    int64_t nextOrderStamp = 1;
    uint32_t modifierFlags = 0;
    std::deque<PlatformEvent> pending;
    std::vector<WaitAction> waitActions;
    int32_t wakeUpsPosted = 0;
    int32_t waits = 0;
    std::vector<PlatformEvent> sentEvents;
    uint32_t handledEditActions = 0;  // bit n: EditAction n is handled by the focus
    std::vector<EditAction> editActions;
    bool hidden = false;
};

State& GetState();
Window* WindowOf(NativeWindow window);
View* ViewOf(NativeView view);
NativeWindow HandleOf(Window* window);
NativeView HandleOf(View* view);

PlatformRect FrameOf(const Window& window);
void DestroyViewTree(View* view);  // delegates hear viewWillBeDestroyed first
void DisplayViewTree(View* view, bool force);
View* HitTest(View* view, double x, double y);  // deepest visible view at a point of its frame

}  // namespace vorlune::headless
