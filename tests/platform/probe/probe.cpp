// A small program on the GTK platform that the display tests drive from outside (xdotool,
// wmctrl, signals). It reports on standard output, one line each:
//   ready <window id of X11>            once its window is up and the first events are handled
//   key <type> <characters> <flags>     every key event the wait takes (hex, characters as units)
//   wait <result> <menu item> <window> <input>   every wait result; input 1 when the wait took
//                                                 an input event
//   quit                                 after the Quit menu event
//   closed 1                             once it has closed its window, before it ends
// Modes: "borderless" (window 0, flags 0xC0), "titled" (every control), "replace" (as borderless,
// and while a key is held every pass replaces the window's content, as a repaint does).
#include <cstdio>
#include <cstring>

#include "platform/view.h"
#include "runtime/core/startup.h"
#include "runtime/events/application.h"
#include "runtime/events/event_queue.h"
#include "runtime/events/windows.h"
#include "tests/support/probe_io.h"

namespace vorlune {
namespace {

bool tookInput = false;
int32_t keysHeld = 0;
NativeView shownView = nullptr;

bool IsInput(int32_t type) {
    return type != kApplicationDefined;
}

int32_t ReportEvent(const PlatformEvent& event, void*) {
    tookInput = tookInput || IsInput(event.type);
    if (event.type == kKeyDown || event.type == kKeyUp || event.type == kFlagsChanged) {
        std::printf("key %d ", event.type);
        for (int32_t i = 0; i < event.characterCount; ++i)
            std::printf("%04X", event.characters[i]);
        std::printf("%s %X\n", event.characterCount == 0 ? "-" : "", event.modifierFlags);
    }
    if (event.type == kKeyDown) keysHeld = 1;
    if (event.type == kKeyUp) keysHeld = 0;
    return 0;
}

// What a repaint of the visualizer does to the window: a new view in place of the old one.
void ReplaceContent(NativeWindow window) {
    const NativeView content = WindowContentView(window);
    if (shownView != nullptr) RemoveFromSuperview(shownView);
    shownView = CreateContainerView({0, 0, 512, 512});
    AddSubview(content, shownView);
    SetViewNeedsDisplay(content);
}

void RunProbe() {
    const char* mode = ArgumentCount() > 1 ? ArgumentVector()[1] : "borderless";
    const bool titled = std::strcmp(mode, "titled") == 0;
    const bool replace = std::strcmp(mode, "replace") == 0;
    const char16_t* title = titled ? u"Probe titled" : u"Probe borderless";
    const uint32_t flags = titled
                               ? kWindowResizable | kWindowMaximiseControl | kWindowMinimiseControl
                               : kWindowBorderless | kWindowCentred;
    if (CreateWindow(0, 40, 30, 512, 512, title, flags) == 0) return;
    AddEventHook(ReportEvent, nullptr);
    // Let the window come up and its first notifications pass before reporting readiness.
    test::SettleWindow();
    std::printf("ready %lu\n", test::X11WindowOf(WindowID(0)));
    for (;;) {
        tookInput = false;
        const int64_t result = WaitForEvent();
        std::printf("wait %lld %lld %lld %d\n", static_cast<long long>(result),
                    static_cast<long long>(EventMenuID()), static_cast<long long>(EventWindow()),
                    tookInput ? 1 : 0);
        if (result == kEventMenu && EventMenuID() == kMenuItemQuit) break;
        if (replace && keysHeld != 0) ReplaceContent(WindowID(0));
    }
    std::printf("quit\n");
    CloseWindow(AnyNumber);
    while (PollWindowEvent() != 0) {
    }
    std::printf("closed %d\n", WindowID(0) == nullptr ? 1 : 0);
}

}  // namespace
}  // namespace vorlune

int main(int argc, char** argv) {
    return vorlune::test::RunProbeProgram(argc, argv, vorlune::RunProbe);
}
