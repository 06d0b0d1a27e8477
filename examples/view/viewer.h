#pragma once
// vorlune-view's logic: the files it steps through, its window with the menu bar and the image
// gadget, zooming and scrolling, opening, dropping and saving. It lives apart from the entry
// point so that tests can drive it on the in-memory platform.

#include <cstdint>
#include <string>
#include <vector>

namespace viewer {

// The viewer's own objects.
constexpr int64_t kWindow = 0;
constexpr int64_t kGadget = 0;
constexpr int64_t kShownImage = 2;  // what the gadget shows: the zoomed picture cut to the window

// What the menu items and the plain keys ask for, as the item numbers of menu events.
enum Command : int64_t {
    kOpen = 1,
    kSaveAs,
    kZoomIn,
    kZoomOut,
    kActualSize,
    kPreviousFile,
    kNextFile,
    kAbout,
    kScrollLeft,
    kScrollRight,
    kScrollUp,
    kScrollDown,
};

constexpr double kZoomStep = 1.25;

// Opens the window with the first file that is given (a message box says why it could not be
// read); false when no window could be opened.
bool StartViewer(const std::vector<std::string>& files);
bool HandleEvent(int64_t type);  // the event just fetched; false once the viewer should end

}  // namespace viewer
