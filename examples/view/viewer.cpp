#include "viewer.h"

#include <sys/stat.h>

#include <vorlune/vorlune.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "window_menu.h"

namespace viewer {

using namespace vorlune;

namespace {

constexpr int64_t kMenuBar = 0;
constexpr int64_t kSourceImage = 0;  // the file's pixels at 1:1
constexpr int64_t kZoomedImage = 1;  // the source resampled to the zoom; none at 1:1
// Zooming in stops before the resampled picture passes 32 million pixels (128 MiB).
constexpr int64_t kMaxZoomedPixels = int64_t{1} << 25;
constexpr int32_t kScrollStepPixels = 64;
constexpr int32_t kEmptyWidth = 480;
constexpr int32_t kEmptyHeight = 320;
// Room kept for the window's frame when a picture is fitted to the screen: the frame is known
// only once a window has been placed. The menu bar comes on top of the frame.
constexpr double kFrameAllowanceWidth = 16;
constexpr double kFrameAllowanceHeight = 64;
constexpr double kMenuBarAllowance = 32;
constexpr uint32_t kWindowFlags = kWindowCloseBox | kWindowResizable | kWindowMinimiseControl |
                                  kWindowMaximiseControl | kWindowCentred;
constexpr uint32_t kFrameStyle =
    kWindowStyleTitled | kWindowStyleClosable | kWindowStyleMiniaturizable | kWindowStyleResizable;
constexpr uint32_t kCommandModifiers = kControlKeyFlag | kAlternateKeyFlag | kCommandKeyFlag;
constexpr char16_t kEscape = 0x1B;

struct State {
    std::vector<std::string> files;  // from the command line, the last drop or Open...
    size_t current = 0;              // the file shown, or tried last
    std::string shownPath;           // empty while no image is shown
    double zoom = 1;
    int32_t zoomedWidth = 0;
    int32_t zoomedHeight = 0;
    int32_t scrollX = 0;  // the zoomed picture's pixel at the window's top-left corner
    int32_t scrollY = 0;
    bool windowLost = false;  // a new window could not be made: the viewer ends
};

State state;

// Text ---------------------------------------------------------------------------------------

using Utf16 = std::unique_ptr<char16_t, void (*)(void*)>;

Utf16 ToUtf16(const std::string& text) {
    return Utf16(UTF8ToNewString(text.c_str()), std::free);
}

std::string ToUtf8(const char16_t* text) {
    std::unique_ptr<char, void (*)(void*)> utf8(StringToUTF8Alloc(text), std::free);
    return utf8 != nullptr ? utf8.get() : "";
}

void ShowProblem(const char* headline, const std::string& path, const std::string& reason) {
    ShowMessageBox(ToUtf16(headline).get(), ToUtf16(path + "\n\n" + reason).get(),
                   kMessageStopIcon);
}

// The input requester's answer; empty when the user cancelled.
std::string AskForPath(const char16_t* title, const char16_t* message,
                       const std::string& suggestion) {
    TempStringBuffer& temp = TempStrings();
    const auto start = static_cast<int32_t>(temp.tempPos);
    AskForText(title, message, ToUtf16(suggestion).get(), start);
    std::string path = ToUtf8(TempStringAt(start));
    SetTempPosition(start);
    return path;
}

// Loading ------------------------------------------------------------------------------------

// Why LoadImage refused a file: the system's reason, else what the codecs made of it.
std::string LoadFailure(const std::string& path, int error) {
    if (error != 0) return std::strerror(error);
    const bool identified = IdentifyImageFile(path.c_str()) != 0;
    EndImageDecoding();
    return identified ? "Its image data is damaged or too large."
                      : "No image format the viewer reads accepts it: the file is damaged or of "
                        "another kind.";
}

constexpr const char* kNotRegular = "It is a folder or another file that is not a regular one.";

// Into kSourceImage; on failure the image there stays as it was, and the failure says why.
bool LoadFile(const std::string& path, std::string* failure) {
    struct stat status;
    if (stat(path.c_str(), &status) == 0 && !S_ISREG(status.st_mode)) {
        *failure = kNotRegular;  // and a pipe would block the viewer
        return false;
    }
    errno = 0;
    if (LoadImage(kSourceImage, path.c_str()) != 0) return true;
    *failure = LoadFailure(path, errno);
    return false;
}

// Zoom and the picture shown -------------------------------------------------------------------

int32_t Scaled(int32_t side, double zoom) {
    return static_cast<int32_t>(std::max<long>(1, std::lround(side * zoom)));
}

// The zoom at which the source fits the screen's work area with the window's frame, at most 1.
double FitZoom() {
    const PlatformRect area = MainScreenWorkArea();
    const PlatformRect frame = FrameRectForContentRect({0, 0, 0, 0}, kFrameStyle);
    const double width = area.width - std::max(frame.width, kFrameAllowanceWidth);
    const double height =
        area.height - std::max(frame.height, kFrameAllowanceHeight) - kMenuBarAllowance;
    if (width < 1 || height < 1) return 1;  // no screen to fit
    return std::min({1.0, width / ImageWidth(kSourceImage), height / ImageHeight(kSourceImage)});
}

// Resamples the source to the zoom into kZoomedImage with the runtime's Mitchell filter; false,
// and nothing changed, when the result would be too large.
bool Resample(double zoom) {
    const int32_t width = Scaled(ImageWidth(kSourceImage), zoom);
    const int32_t height = Scaled(ImageHeight(kSourceImage), zoom);
    if (width > kMaxImageSide || height > kMaxImageSide ||
        int64_t{width} * height > kMaxZoomedPixels) {
        return false;
    }
    FreeImage(kZoomedImage);
    const bool sameSize = width == ImageWidth(kSourceImage) && height == ImageHeight(kSourceImage);
    if (!sameSize && CreateImage(kZoomedImage, width, height) != 0 &&
        BeginDrawing(ImageDrawTarget(kZoomedImage)) != nullptr) {
        DrawImageSized(ImageHandle(kSourceImage), 0, 0, width, height);
        EndDrawing();
    }
    state.zoom = zoom;
    state.zoomedWidth = width;
    state.zoomedHeight = height;
    if (sameSize || ImageHandle(kZoomedImage) != nullptr) return true;
    return Resample(1);  // out of memory: 1:1 needs none
}

NativeImage ZoomedPicture() {
    const NativeImage zoomed = ImageHandle(kZoomedImage);
    return zoomed != nullptr ? zoomed : ImageHandle(kSourceImage);
}

PlatformRect ContentRect() {
    return WindowContentRect(WindowID(kWindow));
}

// The part of the zoomed picture that the window has room for, from the scroll position.
void ShowViewport() {
    if (state.shownPath.empty()) return;
    const PlatformRect content = ContentRect();
    const auto width = std::min(state.zoomedWidth, static_cast<int32_t>(content.width));
    const auto height = std::min(state.zoomedHeight, static_cast<int32_t>(content.height));
    if (width < 1 || height < 1) return;
    state.scrollX = std::clamp(state.scrollX, 0, state.zoomedWidth - width);
    state.scrollY = std::clamp(state.scrollY, 0, state.zoomedHeight - height);
    if (CreateImage(kShownImage, width, height) == 0) return;
    if (BeginDrawing(ImageDrawTarget(kShownImage)) == nullptr) return;
    DrawImage(ZoomedPicture(), -state.scrollX, -state.scrollY);
    EndDrawing();
    SetGadgetState(kGadget, static_cast<int64_t>(reinterpret_cast<intptr_t>(
                                ImageHandle(kShownImage))));  // the gadget takes its size
}

std::string BaseName(const std::string& path) {
    const size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

void ShowTitle() {
    std::string title = "vorlune-view";
    if (!state.shownPath.empty()) {
        char details[64];
        std::snprintf(details, sizeof details, " (%d x %d, %ld%%) - ", ImageWidth(kSourceImage),
                      ImageHeight(kSourceImage), std::lround(state.zoom * 100));
        title = BaseName(state.shownPath) + details + title;
    }
    SetWindowTitle(WindowID(kWindow), ToUtf16(title).get());
}

// The window and its menu bar ------------------------------------------------------------------

bool AttachMenus() {
    constexpr uint32_t kControl = kAcceleratorKeyFlag;
    static const char16_t kF1[] = {kF1Character, 0};
    return AttachMenuBar(kMenuBar, kWindow,
                         {{u"File",
                           {{u"Open\u2026", kOpen, u"o", kControl},
                            {u"Save As\u2026", kSaveAs, u"s", kControl},
                            {nullptr, 0, nullptr, 0},
                            {u"Quit", kMenuItemQuit, u"q", kControl}}},
                          {u"View",
                           {{u"Zoom In", kZoomIn, u"=", kControl},
                            {u"Zoom Out", kZoomOut, u"-", kControl},
                            {u"Actual Size", kActualSize, u"0", kControl},
                            {nullptr, 0, nullptr, 0},
                            {u"Previous File", kPreviousFile, u"[", kControl},
                            {u"Next File", kNextFile, u"]", kControl}}},
                          {u"Help", {{u"About vorlune-view", kAbout, kF1, 0}}}});
}

// A window of the given content size (made anew, as the runtime does not resize windows), its
// menu bar, and an image gadget that takes drops as the window's background does.
bool OpenWindow(int32_t width, int32_t height) {
    if (CreateWindow(kWindow, 0, 0, width, height, u"vorlune-view", kWindowFlags) == 0) {
        return false;
    }
    if (CreateImageGadget(kGadget, 0, 0, width, height, nullptr) == 0) return false;
    SetViewAcceptsDrops(GadgetID(kGadget), true);  // image gadgets refuse drops unless told
    return AttachMenus();
}

// The window takes the zoomed picture's size when it has another.
void FitWindow() {
    const PlatformRect content = ContentRect();
    if (std::lround(content.width) == state.zoomedWidth &&
        std::lround(content.height) == state.zoomedHeight) {
        return;
    }
    if (!OpenWindow(state.zoomedWidth, state.zoomedHeight)) {
        ShowProblem("Cannot open a window", state.shownPath, "There is not enough memory.");
        state.windowLost = true;
    }
}

// Shows what LoadFile put into kSourceImage, fitted to the screen.
void ShowLoadedImage(const std::string& path) {
    state.shownPath = path;
    state.scrollX = 0;
    state.scrollY = 0;
    Resample(FitZoom());
    FitWindow();
    ShowViewport();
    ShowTitle();
}

void OpenAt(size_t index) {
    state.current = index;
    const std::string& path = state.files[index];
    std::string failure;
    if (LoadFile(path, &failure)) {
        ShowLoadedImage(path);
    } else {
        ShowProblem("Cannot open the image", path, failure);
    }
}

// A new list of files replaces the old one; the image shown stays until one of them opens.
void OpenFiles(std::vector<std::string> files) {
    if (files.empty()) return;
    state.files = std::move(files);
    OpenAt(0);
}

// Commands -------------------------------------------------------------------------------------

void Zoom(double zoom) {
    if (state.shownPath.empty()) return;
    const bool smallest = state.zoomedWidth == 1 && state.zoomedHeight == 1;
    if (zoom < state.zoom && smallest) return;
    // The point in the middle of the window stays there.
    const PlatformRect content = ContentRect();
    const double middleX = std::min<double>(content.width, state.zoomedWidth) / 2;
    const double middleY = std::min<double>(content.height, state.zoomedHeight) / 2;
    const double sourceX = (state.scrollX + middleX) / state.zoom;
    const double sourceY = (state.scrollY + middleY) / state.zoom;
    if (!Resample(zoom)) return;  // too large: the picture stays as it was
    state.scrollX = static_cast<int32_t>(std::lround(sourceX * state.zoom - middleX));
    state.scrollY = static_cast<int32_t>(std::lround(sourceY * state.zoom - middleY));
    ShowViewport();
    ShowTitle();
}

void Scroll(int32_t dx, int32_t dy) {
    state.scrollX += dx;
    state.scrollY += dy;
    ShowViewport();
}

void Step(int delta) {
    const auto next = static_cast<int64_t>(state.current) + delta;
    if (next < 0 || next >= static_cast<int64_t>(state.files.size())) return;
    OpenAt(static_cast<size_t>(next));
}

void AskAndOpen() {
    const std::string path = AskForPath(u"Open", u"Path of the image to open:", state.shownPath);
    if (!path.empty()) OpenFiles({path});
}

struct SaveTarget {
    std::string path;
    uint32_t tag = 0;
    int32_t depth = 24;
};

// "picture.bmp:8": the path, the format its extension names and the depth after the colon.
bool ParseSaveTarget(const std::string& answer, SaveTarget* target, std::string* problem) {
    target->path = answer;
    const size_t colon = answer.find_last_of(':');
    const bool hasDepth = colon != std::string::npos && colon + 1 < answer.size() &&
                          answer.find_first_not_of("0123456789", colon + 1) == std::string::npos;
    if (hasDepth) {
        target->path = answer.substr(0, colon);
        target->depth = std::atoi(answer.c_str() + colon + 1);
    }
    const std::string name = BaseName(target->path);
    const size_t dot = name.find_last_of('.');
    const std::string extension = dot == std::string::npos ? "" : name.substr(dot + 1);
    if (extension.empty()) {
        *problem = "The name has no extension to say the format.";
        return false;
    }
    // Format tags hold the format's letters from the low byte up: "BMP" is kBmpTag.
    for (size_t i = 0; i < extension.size() && i < 4; ++i) {
        const auto letter = static_cast<unsigned char>(std::toupper(extension[i]));
        target->tag |= uint32_t{letter} << (8 * i);
    }
    if (extension.size() > 4 || FindImageEncoder(target->tag) == nullptr) {
        *problem = "No image format the viewer writes has the extension ." + extension + ".";
        return false;
    }
    return true;
}

// Why SaveImage refused: the system's reason, else the runtime's own refusal.
std::string SaveFailure(const SaveTarget& target, int error) {
    if (error != 0) return std::strerror(error);
    struct stat status;
    if (stat(target.path.c_str(), &status) == 0 && !S_ISREG(status.st_mode)) return kNotRegular;
    return "The format does not write images of " + std::to_string(target.depth) + " bits.";
}

void AskAndSave() {
    if (state.shownPath.empty()) {
        ShowMessageBox(u"Nothing to save", u"Open an image first.", kMessageNoteIcon);
        return;
    }
    const std::string answer = AskForPath(
        u"Save As",
        u"Path to save to; the extension says the format. BMP takes a depth after a colon: "
        u":1, :4 or :8 (4 and 8 dithered), :24 (the default) or :32.",
        state.shownPath);
    if (answer.empty()) return;
    SaveTarget target;
    std::string problem;
    if (!ParseSaveTarget(answer, &target, &problem)) {
        ShowProblem("Cannot save the image", answer, problem);
        return;
    }
    const int32_t options = target.depth == 4 || target.depth == 8 ? kPaletteDither : 0;
    errno = 0;
    if (SaveImage(kSourceImage, target.path.c_str(), target.tag, target.depth, options) != 0) {
        return;
    }
    ShowProblem("Cannot save the image", target.path, SaveFailure(target, errno));
}

void ShowAbout() {
    ShowMessageBox(
        u"vorlune-view",
        u"Shows images in every format the runtime's codecs read.\n\n"
        u"+ and - zoom, 0 shows the image 1:1, the arrows scroll, Page Up and Page Down step "
        u"through the files, Escape quits.\n\n"
        u"Control with O opens, with S saves, with = - 0 zooms, with [ ] steps, with Q quits; "
        u"F1 shows this box. Files dropped on the window open in it.",
        kMessageNoteIcon);
}

// False for Quit.
bool RunCommand(int64_t command) {
    switch (command) {
        case kMenuItemQuit:
            return false;
        case kOpen:
            AskAndOpen();
            break;
        case kSaveAs:
            AskAndSave();
            break;
        case kZoomIn:
            Zoom(state.zoom * kZoomStep);
            break;
        case kZoomOut:
            Zoom(state.zoom / kZoomStep);
            break;
        case kActualSize:
            Zoom(1);
            break;
        case kPreviousFile:
            Step(-1);
            break;
        case kNextFile:
            Step(1);
            break;
        case kAbout:
            ShowAbout();
            break;
        case kScrollLeft:
            Scroll(-kScrollStepPixels, 0);
            break;
        case kScrollRight:
            Scroll(kScrollStepPixels, 0);
            break;
        case kScrollUp:
            Scroll(0, -kScrollStepPixels);
            break;
        case kScrollDown:
            Scroll(0, kScrollStepPixels);
            break;
        default:
            break;
    }
    return true;
}

// Drops ------------------------------------------------------------------------------------------

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// Dropped text may hold file URIs ("file:///home/a%20b.bmp") rather than paths.
std::string PathOfDroppedLine(std::string line) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.rfind("file://", 0) != 0) return line;
    const size_t start = line.find('/', 7);  // after the host, usually empty
    std::string path;
    for (size_t i = start == std::string::npos ? line.size() : start; i < line.size(); ++i) {
        const int high = i + 2 < line.size() ? HexDigit(line[i + 1]) : -1;
        const int low = i + 2 < line.size() ? HexDigit(line[i + 2]) : -1;
        if (line[i] == '%' && high >= 0 && low >= 0) {
            path += static_cast<char>(high * 16 + low);
            i += 2;
        } else {
            path += line[i];
        }
    }
    return path;
}

// File names come joined by line feeds; so may paths dropped as text.
void OpenDropped() {
    const auto* payload = static_cast<const DropPayload*>(EventPayload());
    if (payload == nullptr || payload->dropText == nullptr) return;
    if (payload->dropFormat != kDropFormatFileNames && payload->dropFormat != kDropFormatText) {
        return;
    }
    const std::string text = ToUtf8(payload->dropText);
    std::vector<std::string> files;
    for (size_t start = 0; start <= text.size();) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        const std::string path = PathOfDroppedLine(text.substr(start, end - start));
        if (!path.empty()) files.push_back(path);
        start = end + 1;
    }
    OpenFiles(std::move(files));
}

// Keys -------------------------------------------------------------------------------------------

int64_t CommandOfKey(char16_t key) {
    switch (key) {
        case u'+':
        case u'=':
            return kZoomIn;
        case u'-':
            return kZoomOut;
        case u'0':
            return kActualSize;
        case kLeftArrowCharacter:
            return kScrollLeft;
        case kRightArrowCharacter:
            return kScrollRight;
        case kUpArrowCharacter:
            return kScrollUp;
        case kDownArrowCharacter:
            return kScrollDown;
        case kPageUpCharacter:
            return kPreviousFile;
        case kPageDownCharacter:
            return kNextFile;
        case kEscape:
            return kMenuItemQuit;
        default:
            return 0;
    }
}

// The plain keys of the window become the commands their menu items post. Keys held with
// Control, Alt or Super are left to the menu bar's shortcuts.
int32_t HandleKey(const PlatformEvent& event, void*) {
    if (event.type != kKeyDown || event.characterCount != 1 ||
        (event.modifierFlags & kCommandModifiers) != 0 || event.window != WindowID(kWindow)) {
        return 0;
    }
    const int64_t command = CommandOfKey(event.characters[0]);
    if (command == 0) return 0;
    // Unmerged, so that two quick presses of + zoom twice.
    PostEventEx(kEventMenu, command, kWindow, 0, nullptr, nullptr, kPostNoMerge);
    return 1;
}

}  // namespace

bool StartViewer(const std::vector<std::string>& files) {
    state = State{};
    state.files = files;
    std::string failure;
    const bool loaded = !files.empty() && LoadFile(files.front(), &failure);
    const double zoom = loaded ? FitZoom() : 1;
    if (!OpenWindow(loaded ? Scaled(ImageWidth(kSourceImage), zoom) : kEmptyWidth,
                    loaded ? Scaled(ImageHeight(kSourceImage), zoom) : kEmptyHeight)) {
        return false;
    }
    RemoveEventHook(HandleKey);
    AddEventHook(HandleKey, nullptr);
    if (loaded) {
        ShowLoadedImage(files.front());
    } else if (!files.empty()) {
        ShowProblem("Cannot open the image", files.front(), failure);
    }
    return true;
}

bool HandleEvent(int64_t type) {
    switch (type) {
        case kEventCloseWindow:
            return false;
        case kEventMenu:
            if (!RunCommand(EventMenuID())) return false;
            break;
        case kEventWindowDrop:
        case kEventGadgetDrop:
            OpenDropped();
            break;
        case kEventSizeWindow:
            ShowViewport();
            break;
        default:
            break;
    }
    return !state.windowLost;
}

}  // namespace viewer
