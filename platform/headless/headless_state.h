#pragma once
// The in-memory platform's windows, views and queues, shared by its source files.

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/application.h"
#include "platform/control.h"
#include "platform/events.h"
#include "platform/gl_view.h"
#include "platform/image_view.h"
#include "platform/menu.h"
#include "platform/pixel_store.h"
#include "platform/text.h"
#include "platform/view.h"
#include "platform/window.h"

namespace vorlune::headless {

constexpr double kTitleBarHeight = 22;  // titled windows; borderless ones have no decoration
constexpr double kMenuBarHeight = 20;   // between the title bar and the content, when shown
constexpr double kDefaultScreenWidth = 1280;
constexpr double kDefaultScreenHeight = 1024;

struct Window;

enum class ViewKind { kContainer, kImage, kGL };

struct GLState {
    bool realised;
    int32_t swapInterval;
    bool depthTest;
    int32_t viewportWidth, viewportHeight;
    int32_t clears;
};

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
    ViewKind kind;
    bool acceptsDrops;
    // Image views, which are the controls here
    NativeImage image;  // a held reference
    ImageFrameStyle frameStyle;
    ControlTarget* target;
    bool disabled;
    TextFont font;
    int32_t intValue;
    std::u16string stringValue;
    GLState gl;  // OpenGL views
};

// A menu bar's description copied with its texts and submenus, for as long as the window shows it.
class StoredMenu {
  public:
    explicit StoredMenu(const PlatformMenu& menu);
    StoredMenu(const StoredMenu&) = delete;
    StoredMenu& operator=(const StoredMenu&) = delete;
    const PlatformMenu* Description() const { return &description_; }

  private:
    std::u16string title_;
    std::vector<std::u16string> titles_;  // the items', reserved whole so that none moves
    std::vector<std::unique_ptr<StoredMenu>> submenus_;
    std::vector<PlatformMenuItem> items_;
    PlatformMenu description_;
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
    std::unique_ptr<StoredMenu> menuBar;
    MenuBarDelegate* menuDelegate;
};

double MenuBarHeight(const Window& window);  // 0 without a bar

// The pending platform events. The one part of the platform that other threads reach: a
// runtime post from a worker looks at it and puts the wake-up in front. So it has its own lock,
// taken only around its own queue, never while toolkit activity runs.
class PendingEvents {
  public:
    void PushBack(const PlatformEvent& event);
    void PushWakeUp();  // at the front, counted
    bool Empty();
    // The oldest event; with blocking waits on and a timeout other than 0, first waits for one
    // (negative: without limit). False when there was none.
    bool PopFront(int32_t timeoutMilliseconds, PlatformEvent* event);
    int32_t Count();
    const PlatformEvent* At(int32_t index);  // stays valid until the event is taken or cleared
    int32_t WakeUps();
    int32_t BlockedWaits();
    void SetBlockingWaits(bool blocking);
    void Clear();  // events and the wake-up count; waits stop blocking

  private:
    std::mutex mutex_;
    std::condition_variable arrived_;
    std::deque<PlatformEvent> events_;
    int32_t wakeUps_ = 0;
    int32_t blockedWaits_ = 0;
    bool blocking_ = false;
};

PendingEvents& Pending();

struct WaitAction {
    void (*action)(void* data);
    void* data;
};

struct State {
    bool displayAvailable = true;
    bool running = false;
    const char* failure = nullptr;
    ApplicationDelegate* applicationDelegate = nullptr;
    double screenX = 0, screenY = 0;  // the main screen's origin among the screens
    double screenWidth = kDefaultScreenWidth;
    double screenHeight = kDefaultScreenHeight;
    std::vector<Window*> windows;  // creation order
    Window* keyWindow = nullptr;
    int64_t nextOrderStamp = 1;
    uint32_t modifierFlags = 0;
    View* pressedView = nullptr;  // under the pointer at the press; hears the rest of it
    std::vector<WaitAction> waitActions;
    int32_t waits = 0;
    std::vector<PlatformEvent> sentEvents;
    uint32_t handledEditActions = 0;  // bit n: EditAction n is handled by the focus
    std::vector<EditAction> editActions;
    bool hidden = false;
    bool glAvailable = true;
    double refreshRate = 60;
    View* currentGLView = nullptr;
    std::vector<uint32_t> deletedTextures;
    bool cursorHidden = false;
    double cursorX = 0, cursorY = 0;
    double mouseDeltaX = 0, mouseDeltaY = 0;  // not yet taken
    int32_t cursorWarps = 0;
};

State& GetState();
Window* WindowOf(NativeWindow window);
View* ViewOf(NativeView view);
View* ViewOf(NativeView view, ViewKind kind);  // null unless the view is of that kind
NativeWindow HandleOf(Window* window);
NativeView HandleOf(View* view);

PlatformRect FrameOf(const Window& window);
void DestroyViewTree(View* view);       // delegates hear viewWillBeDestroyed first
void ReleaseViewResources(View* view);  // the image it holds, its OpenGL context
void DisplayViewTree(View* view, bool force);
View* HitTest(View* view, double x, double y);  // deepest visible view at a point of its frame

}  // namespace vorlune::headless
