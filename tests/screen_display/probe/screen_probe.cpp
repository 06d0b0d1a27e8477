// A program on the GTK platform that the screen display tests drive from outside. Its window
// is borderless and centred, 512 x 512 points. It reports on standard output, one line each:
//   ready <X11 window id> <open result>   once the window is up and its first events handled
//   held <codes>                           the key codes IsKeyDown answers 1 for, in hex, or -,
//                                          whenever that set changes after a poll
//   released <code>                        each code WasKeyReleased reports, in hex
//   focus <0 or 1>                         whenever the screen's focus flag changes
//   event <type> <object> <subtype>        every runtime event the wait returns
//   quit                                   after the Quit menu event, before it ends
// Modes: "keys" (the program's set-up: keyboard, screen system, a 0 x 0 screen in the window)
// and "image" (image gadgets showing the pattern of tests/screen_display/pattern.h: one plain,
// one framed, the pattern drawn after the gadgets were made).
#include <cstdio>
#include <cstring>
#include <string>

#include "runtime/core/startup.h"
#include "runtime/drawing/context.h"
#include "runtime/events/application.h"
#include "runtime/events/event_queue.h"
#include "runtime/events/windows.h"
#include "runtime/gadgets/image_gadget.h"
#include "runtime/images/image.h"
#include "runtime/screen/keyboard.h"
#include "runtime/screen/screen.h"
#include "tests/screen_display/pattern.h"
#include "tests/support/probe_io.h"

namespace vorlune {
namespace {

void DrawPattern(int64_t image) {
    BeginDrawing(ImageDrawTarget(image));
    for (int32_t y = 0; y < kPatternHeight; ++y) {
        for (int32_t x = 0; x < kPatternWidth; ++x) {
            uint8_t rgb[3];
            PatternPixel(x, y, rgb);
            PlotPixel(x, y, static_cast<ColourValue>(MakeRGB(rgb[0], rgb[1], rgb[2])));
        }
    }
    EndDrawing();
}

int32_t SetUpImages() {
    if (CreateImage(0, kPatternWidth, kPatternHeight) == 0) return 0;
    CreateImageGadget(0, kPlainGadgetX, kPlainGadgetY, 1, 1, ImageHandle(0));
    CreateImageGadgetWithFlags(1, kFramedGadgetX, kFramedGadgetY, 1, 1, ImageHandle(0),
                               kImageGadgetBorder);
    DrawPattern(0);
    return GadgetID(0) != nullptr && GadgetID(1) != nullptr ? 1 : 0;
}

int32_t SetUpKeyboard(NativeWindow window) {
    InitKeyboardInput();
    if (InitScreenSystem() == nullptr) return 0;
    return OpenScreenInWindow(window, 0, 0, 0, 0);
}

std::string HeldCodes() {
    std::string held;
    char code[8];
    for (int32_t key = 0; key < kKeyCount; ++key) {
        if (IsKeyDown(key) == 0) continue;
        std::snprintf(code, sizeof code, "%s%x", held.empty() ? "" : " ", key);
        held += code;
    }
    return held.empty() ? "-" : held;
}

void ReportKeyboard(std::string* lastHeld, int32_t* lastFocus) {
    const int32_t focus = CurrentScreen().screenHasFocus;
    if (focus != *lastFocus) std::printf("focus %d\n", focus);
    *lastFocus = focus;
    const std::string held = HeldCodes();
    if (held != *lastHeld) std::printf("held %s\n", held.c_str());
    *lastHeld = held;
    for (int32_t key = 0; key < kKeyCount; ++key) {
        if (WasKeyReleased(key) != 0) std::printf("released %x\n", key);
    }
}

void RunProbe() {
    const char* mode = ArgumentCount() > 1 ? ArgumentVector()[1] : "keys";
    const bool keys = std::strcmp(mode, "keys") == 0;
    if (CreateWindow(0, 0, 0, 512, 512, u"Screen probe", kWindowBorderless | kWindowCentred) == 0) {
        return;
    }
    const int32_t opened = keys ? SetUpKeyboard(WindowID(0)) : SetUpImages();
    test::SettleWindow();
    std::printf("ready %lu %d\n", test::X11WindowOf(WindowID(0)), opened);
    std::string held = "-";
    int32_t focus = CurrentScreen().screenHasFocus;
    for (;;) {
        const int64_t result = WaitForEvent();
        if (keys) PollKeyboard();
        if (result > 0) {
            std::printf("event %lld %lld %lld\n", static_cast<long long>(result),
                        static_cast<long long>(EventMenuID()),
                        static_cast<long long>(EventSubtype()));
        }
        if (keys) ReportKeyboard(&held, &focus);
        if (result == kEventMenu && EventMenuID() == kMenuItemQuit) break;
    }
    std::printf("quit\n");
}

}  // namespace
}  // namespace vorlune

int main(int argc, char** argv) {
    return vorlune::test::RunProbeProgram(argc, argv, vorlune::RunProbe);
}
