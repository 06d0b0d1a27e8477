// vorlune-view: an image viewer on the runtime. It shows the first of the files it is given (in
// any format the runtime's codecs read) through an image gadget, steps through the others with
// Page Up and Page Down, zooms with + and -, and opens files dropped on its window. The viewer
// itself is in viewer.cpp; this is its entry point.
#include <vorlune/vorlune.h>

#include <cstdio>
#include <string>
#include <vector>

#include "viewer.h"

namespace {

constexpr const char* kUsage =
    "usage: vorlune-view [FILE...]\n"
    "Shows the first FILE and steps through the others with Page Up and Page Down.\n";

std::vector<std::string> files;

void View() {
    if (!viewer::StartViewer(files)) {
        // Without a display main() says why; otherwise this does.
        if (vorlune::PlatformApplicationFailure() == nullptr) {
            std::fputs("vorlune-view: cannot open a window\n", stderr);
        }
        vorlune::SetExitValue(1);
        return;
    }
    while (viewer::HandleEvent(vorlune::WaitForEvent())) {
    }
}

}  // namespace

int main(int argc, char** argv) {
    bool options = true;  // until "--"
    for (int i = 1; i < argc; ++i) {
        const std::string argument = argv[i];
        if (options && argument == "--") {
            options = false;
        } else if (options && (argument == "-h" || argument == "--help")) {
            std::fputs(kUsage, stdout);
            return 0;
        } else if (options && argument.size() > 1 && argument[0] == '-') {
            std::fprintf(stderr, "vorlune-view: unknown option %s\n%s", argv[i], kUsage);
            return 2;
        } else {
            files.push_back(argument);
        }
    }
    const int status = vorlune::RunProcess(argc, argv, View);
    if (vorlune::ReportApplicationFailure() != 0) return 1;
    return status;
}
