#pragma once
// The tools the display tests act and look with under X: a shell, xdotool, ImageMagick's import.

#include <string>

namespace vorlune::test {

// Shell -------------------------------------------------------------------------------------
std::string Shell(const std::string& command);      // its standard output, bytes as they came
std::string ShellLine(const std::string& command);  // the same without the final line feeds

// Windows (ids as xdotool and wmctrl write them) ----------------------------------------------
void ActivateWindow(const std::string& window);       // returns once the window has the focus
std::string WindowPixels(const std::string& window);  // 8-bit RGB, rows top down; empty: none
void SaveScreenshot(const std::string& folder, const std::string& name);  // <folder>/<name>.png

}  // namespace vorlune::test
