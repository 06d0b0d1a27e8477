// vorlune-hello: the smallest complete program on the runtime. It opens a titled window, greets
// the user with a message box and runs the event loop until the window is closed, Escape is
// pressed or Quit is chosen (Control+Q).
#include <vorlune/vorlune.h>

#include <cstdio>

using namespace vorlune;

namespace {

// Escape asks to quit as Control+Q does; every other key goes its usual way.
int32_t QuitOnEscape(const PlatformEvent& event, void*) {
    if (event.type != kKeyDown || event.characters[0] != 0x1B) return 0;
    PostEvent(kEventMenu, kMenuItemQuit, -1, 0);
    return 1;
}

void Hello() {
    if (CreateWindow(0, 0, 0, 360, 120, u"Hello", kWindowCloseBox | kWindowCentred) == 0) {
        SetExitValue(1);  // without a display main() says why; otherwise this does
        if (PlatformApplicationFailure() == nullptr) {
            std::fprintf(stderr, "%s: cannot open a window\n", ApplicationName());
        }
        return;
    }
    ShowMessageBox(u"Hello!", u"This window runs on the Vorlune runtime.", kMessageNoteIcon);
    AddEventHook(QuitOnEscape, nullptr);
    for (;;) {  // the close box only asks: the program decides to end
        const int64_t event = WaitForEvent();
        if (event == kEventCloseWindow) break;
        if (event == kEventMenu && EventMenuID() == kMenuItemQuit) break;
    }
}

}  // namespace

int main(int argc, char** argv) {
    const int status = RunProcess(argc, argv, Hello);
    if (ReportApplicationFailure() != 0) return 1;  // no display: the reason on standard error
    return status;
}
