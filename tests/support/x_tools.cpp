#include "tests/support/x_tools.h"

#include <sys/stat.h>

#include <cstdio>

namespace vorlune::test {

std::string Shell(const std::string& command) {
    std::string output;
    if (FILE* pipe = popen(command.c_str(), "r")) {
        char buffer[4096];
        for (size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;)
            output.append(buffer, n);
        pclose(pipe);
    }
    return output;
}

std::string ShellLine(const std::string& command) {
    std::string output = Shell(command);
    while (!output.empty() && output.back() == '\n')
        output.pop_back();
    return output;
}

void ActivateWindow(const std::string& window) {
    Shell("xdotool windowactivate --sync " + window);
}

std::string WindowPixels(const std::string& window) {
    return Shell("import -window " + window + " -depth 8 rgb:-");
}

void SaveScreenshot(const std::string& folder, const std::string& name) {
    mkdir(folder.c_str(), 0755);
    Shell("import -window root " + folder + "/" + name + ".png");
}

}  // namespace vorlune::test
