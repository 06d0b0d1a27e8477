// The process entry of the Vorlune program.
#include <cstdio>

#include "app/program.h"
#include "runtime/core/startup.h"
#include "runtime/events/application.h"

// A start that failed is told on standard error in one line and ends with status 1; the
// platform's own reason (no display) comes first, as every later failure follows from it.
int main(int argc, char** argv) {
    const int status = vorlune::RunProcess(argc, argv, vorlune::ProgramMain);
    if (status != 0) return status;
    if (vorlune::ReportApplicationFailure() != 0) return 1;
    if (const char* failure = vorlune::ProgramFailure()) {
        std::fprintf(stderr, "vorlune: %s\n", failure);
        return 1;
    }
    return 0;
}
