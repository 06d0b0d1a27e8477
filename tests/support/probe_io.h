#pragma once
// Shared by the probe programs that the display tests drive: their start and the window ids they
// report.

#include <gtk/gtk.h>

#include "platform/handles.h"
#include "runtime/core/startup.h"

namespace vorlune::test {

// The program ---------------------------------------------------------------------------------
// Runs the probe with standard output line-buffered, so that each report reaches the test at once.
int RunProbeProgram(int argc, char** argv, MainProgram probe);  // exit value; 1 also when the
                                                                // platform did not start

// Windows -------------------------------------------------------------------------------------
unsigned long X11WindowOf(GtkWidget* widget);  // 0 while it has no window on the server
unsigned long X11WindowOf(NativeWindow window);
void HandleWindowEventsAWhile();  // twenty waits of 25 ms, so that the window settles
void SettleWindow();              // the events already queued, then HandleWindowEventsAWhile

}  // namespace vorlune::test
