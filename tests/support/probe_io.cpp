#include "tests/support/probe_io.h"

#include <cstdio>

#include "runtime/events/application.h"
#include "runtime/events/event_queue.h"

// After the runtime's headers: X11 defines AnyKey as a macro of its own.
#include <gdk/gdkx.h>

namespace vorlune::test {

int RunProbeProgram(int argc, char** argv, MainProgram probe) {
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    const int status = RunProcess(argc, argv, probe);
    const int failure = ReportApplicationFailure();
    return status != 0 ? status : failure;
}

unsigned long X11WindowOf(GtkWidget* widget) {
    GdkWindow* window = gtk_widget_get_window(widget);
    return window != nullptr ? gdk_x11_window_get_xid(window) : 0;
}

unsigned long X11WindowOf(NativeWindow window) {
    return X11WindowOf(reinterpret_cast<GtkWidget*>(window));
}

void HandleWindowEventsAWhile() {
    for (int i = 0; i < 20; ++i)
        NextWindowEvent(25);
}

void SettleWindow() {
    while (PollWindowEvent() != 0) {
    }
    HandleWindowEventsAWhile();
}

}  // namespace vorlune::test
