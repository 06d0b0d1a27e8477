// The process entry of the Vorlune program.
#include "runtime/core/startup.h"

namespace {

// The visualizer's main program; it arrives with the window, keyboard and screen layers.
void EmptyMainProgram() {}

}  // namespace

int main(int argc, char** argv) {
    return vorlune::RunProcess(argc, argv, EmptyMainProgram);
}
