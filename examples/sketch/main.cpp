// vorlune-sketch: a sketch pad on the Vorlune runtime.
//
// A white canvas, shown through an image gadget, takes strokes of the mouse with the current tool,
// colour and drawing mode; keys pick them and the window title shows them. Control+Z undoes a
// stroke, Control+S saves the canvas as a BMP file, Control+O opens an image as the new canvas.
// Escape, Control+Q (the Quit item of the application menu), a quit request such as SIGTERM and
// the close box end the program with status 0.
//
// It shows how the parts of the runtime fit together: a window with an image gadget, the event
// loop with an event hook and events of the program's own, drawing modes, shapes, text, grabbed
// images, the BMP codec and the two requesters.
#include <vorlune/vorlune.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>

using namespace vorlune;

namespace {

// Numbers of the program's objects; each kind has numbers of its own.
constexpr int64_t kWindow = 0;
constexpr int64_t kCanvasGadget = 0;
constexpr int64_t kFirstUndoImage = 100;  // the undo steps, kFirstUndoImage + 0 .. kUndoLevels - 1
constexpr int32_t kUndoLevels = 32;

constexpr int32_t kCanvasWidth = 640;
constexpr int32_t kCanvasHeight = 480;
constexpr int32_t kCornerRadius = 16;  // of round boxes, less for small ones
constexpr int32_t kHalfOpacity = 128;

// Events of the program's own: above 65535 the queue never merges two in a row.
constexpr int32_t kInputEvent = 0x10000;  // payload: a copy of a key or mouse PlatformEvent

enum class Tool { kFreehand, kLine, kBox, kRoundBox, kEllipse, kFill, kText };
enum class Mode { kNormal, kXor, kBlend, kGradient };

struct ToolKey {
    char16_t key;
    Tool tool;
    const char16_t* name;
};
constexpr ToolKey kTools[] = {
    {u'f', Tool::kFreehand, u"freehand"}, {u'l', Tool::kLine, u"line"},
    {u'b', Tool::kBox, u"box"},           {u'r', Tool::kRoundBox, u"round box"},
    {u'e', Tool::kEllipse, u"ellipse"},   {u'g', Tool::kFill, u"fill"},
    {u't', Tool::kText, u"text"},
};

struct PaletteColour {
    ColourValue colour;
    const char16_t* name;
};
// Keys 1 to 9. Opaque: the blend mode gives them half their alpha.
constexpr PaletteColour kPalette[] = {
    {MakeRGBA(0, 0, 0, 255), u"black"},      {MakeRGBA(255, 0, 0, 255), u"red"},
    {MakeRGBA(0, 160, 0, 255), u"green"},    {MakeRGBA(0, 0, 255, 255), u"blue"},
    {MakeRGBA(255, 210, 0, 255), u"yellow"}, {MakeRGBA(200, 0, 200, 255), u"magenta"},
    {MakeRGBA(0, 200, 200, 255), u"cyan"},   {MakeRGBA(255, 128, 0, 255), u"orange"},
    {MakeRGBA(128, 128, 128, 255), u"grey"},
};
constexpr int32_t kPaletteSize = sizeof kPalette / sizeof kPalette[0];

struct Sketch {
    Tool tool = Tool::kFreehand;
    int32_t colour = 0;  // index into kPalette
    Mode mode = Mode::kNormal;
    // The canvas is image 0 or 1: a replacement (an undo, an opened file) is made under the
    // other number first, so that a failure leaves the canvas as it was.
    int64_t canvas = 0;
    bool pressOnCanvas = false;  // the last press of the left button; fill and text act there
    bool stroke = false;         // a stroke of a drawing tool follows the pointer
    int32_t startX = 0, startY = 0, lastX = 0, lastY = 0;
    int32_t undoCount = 0;  // undo steps kept, at most kUndoLevels
    int32_t undoNext = 0;   // the slot the next undo step takes
    std::string lastPath = "sketch.bmp";
};
Sketch sketch;

int64_t SpareCanvas() {
    return 1 - sketch.canvas;
}

// Messages ---------------------------------------------------------------------------------------

std::u16string FromUTF8(const char* text) {
    char16_t* converted = UTF8ToNewString(text);
    std::u16string result = converted != nullptr ? converted : u"";
    std::free(converted);
    return result;
}

// A stop box naming the file and the reason; errno tells the system's reason when there is one.
void ReportFileFailure(const char16_t* headline, const std::string& path, int error,
                       const char16_t* runtimeReason) {
    std::u16string text = FromUTF8(path.c_str()) + u"\n\n";
    text += error != 0 ? FromUTF8(std::strerror(error)) : runtimeReason;
    ShowMessageBox(headline, text.c_str(), kMessageStopIcon);
}

void ShowStatus() {
    std::u16string title = u"Sketch - ";
    for (const ToolKey& each : kTools) {
        if (each.tool == sketch.tool) title += each.name;
    }
    title += u", ";
    title += kPalette[sketch.colour].name;
    static const char16_t* const kModeNames[] = {u"normal", u"xor", u"blend", u"gradient"};
    title += u", ";
    title += kModeNames[static_cast<int>(sketch.mode)];
    SetWindowTitle(WindowID(kWindow), title.c_str());
}

// Drawing on the canvas --------------------------------------------------------------------------

// The gradient's position: 0 (the current colour) at the left edge, 1 (the next) at the right.
float HorizontalPosition(DrawingContext* context, int32_t x, int32_t) {
    if (context->outputWidth < 2) return 0;
    return static_cast<float>(x) / static_cast<float>(context->outputWidth - 1);
}

// The current colour and mode on the drawing context, with further mode bits (outlines, text
// without its background box).
void TakeUpPen(int32_t modeBits) {
    const ColourValue colour = kPalette[sketch.colour].colour;
    switch (sketch.mode) {
        case Mode::kNormal:
            SetDrawingColour(colour);
            SetDrawingMode(DrawPlain | modeBits);
            break;
        case Mode::kXor:
            SetDrawingColour(colour);
            SetDrawingMode(DrawXor | modeBits);
            break;
        case Mode::kBlend:
            SetDrawingColour((colour & 0x00FFFFFF) | ColourValue{kHalfOpacity} << 24);
            SetDrawingMode(DrawAlphaBlend | modeBits);
            break;
        case Mode::kGradient:
            SetDrawingColour(colour);  // text keeps to the plain colour
            SetBackColour(colour);     // the gradient's colour at position 0
            SetFrontColour(kPalette[(sketch.colour + 1) % kPaletteSize].colour);  // ... and at 1
            SetGradientFunction(HorizontalPosition);
            SetDrawingMode(DrawGradient | modeBits);
            break;
    }
}

bool BeginCanvasDrawing() {
    return BeginDrawing(ImageDrawTarget(sketch.canvas)) != nullptr;
}

// The shape of the current tool from the press to (x, y): lines and boxes between the two points,
// ellipses about the press point.
void DrawShapeTo(int32_t x, int32_t y) {
    const int32_t left = std::min(sketch.startX, x);
    const int32_t top = std::min(sketch.startY, y);
    const int32_t width = std::abs(x - sketch.startX) + 1;
    const int32_t height = std::abs(y - sketch.startY) + 1;
    switch (sketch.tool) {
        case Tool::kLine:
            DrawLine(sketch.startX, sketch.startY, x, y);
            break;
        case Tool::kBox:
            DrawBox(left, top, width, height);
            break;
        case Tool::kRoundBox:
            DrawRoundBox(left, top, width, height, std::min(kCornerRadius, width / 2),
                         std::min(kCornerRadius, height / 2));
            break;
        case Tool::kEllipse:
            DrawEllipse(sketch.startX, sketch.startY, width - 1, height - 1);
            break;
        default:
            break;
    }
}

// Undo steps -------------------------------------------------------------------------------------

int64_t LastUndoStep() {
    return kFirstUndoImage + (sketch.undoNext + kUndoLevels - 1) % kUndoLevels;
}

// Keeps the canvas as it is as a grabbed image, in the oldest step's slot once all are in use.
bool KeepUndoStep() {
    const int64_t step = kFirstUndoImage + sketch.undoNext;
    int64_t grabbed = 0;
    if (BeginCanvasDrawing()) {
        grabbed = GrabImage(step, 0, 0, ImageWidth(sketch.canvas), ImageHeight(sketch.canvas));
        EndDrawing();
    }
    if (grabbed == 0) {
        ShowMessageBox(u"Out of memory", u"There is no room to keep an undo step: nothing drawn.",
                       kMessageStopIcon);
        return false;
    }
    sketch.undoNext = (sketch.undoNext + 1) % kUndoLevels;
    sketch.undoCount = std::min(sketch.undoCount + 1, kUndoLevels);
    return true;
}

// The spare image becomes the canvas; handle is its native image, as its creation answered it.
void ShowSpareAsCanvas(int64_t handle) {
    SetGadgetState(kCanvasGadget, handle);  // the gadget takes the image's size
    FreeImage(sketch.canvas);
    sketch.canvas = SpareCanvas();
}

void Undo() {
    if (sketch.undoCount == 0) return;
    const int64_t step = LastUndoStep();
    int64_t copy = 0;
    if (BeginDrawing(ImageDrawTarget(step)) != nullptr) {
        copy = GrabImage(SpareCanvas(), 0, 0, ImageWidth(step), ImageHeight(step));
        EndDrawing();
    }
    if (copy == 0) {
        ShowMessageBox(u"Out of memory", u"There is no room to undo the last stroke.",
                       kMessageStopIcon);
        return;
    }
    ShowSpareAsCanvas(copy);
    FreeImage(step);
    sketch.undoNext = (sketch.undoNext + kUndoLevels - 1) % kUndoLevels;
    --sketch.undoCount;
}

// Strokes ----------------------------------------------------------------------------------------

// The stroke as far as (x, y): freehand adds a line from the last point, the shapes are drawn
// afresh over the canvas as it was before the stroke (the last undo step).
void DrawStrokeTo(int32_t x, int32_t y, bool filled) {
    if (!BeginCanvasDrawing()) return;
    if (sketch.tool == Tool::kFreehand) {
        TakeUpPen(0);
        DrawLine(sketch.lastX, sketch.lastY, x, y);
    } else {
        SetDrawingMode(DrawPlain);
        DrawImage(ImageHandle(LastUndoStep()), 0, 0);
        TakeUpPen(filled ? 0 : DrawOutlined);
        DrawShapeTo(x, y);
    }
    EndDrawing();  // the gadget shows the change
    sketch.lastX = x;
    sketch.lastY = y;
}

void StartStroke(int32_t x, int32_t y, bool filled) {
    sketch.pressOnCanvas =
        x >= 0 && y >= 0 && x < ImageWidth(sketch.canvas) && y < ImageHeight(sketch.canvas);
    if (!sketch.pressOnCanvas) return;
    sketch.startX = sketch.lastX = x;
    sketch.startY = sketch.lastY = y;
    // Fill and text answer the gadget's click instead, when the button comes up over the canvas.
    if (sketch.tool == Tool::kFill || sketch.tool == Tool::kText) return;
    sketch.stroke = KeepUndoStep();
    if (sketch.stroke) DrawStrokeTo(x, y, filled);
}

void OnPointer(const PlatformEvent& event) {
    const auto x = static_cast<int32_t>(event.x);  // the gadget lies at (0, 0) of the window
    const auto y = static_cast<int32_t>(event.y);
    const bool filled = (event.modifierFlags & kShiftKeyFlag) != 0;
    if (event.type == kLeftMouseDown) {
        StartStroke(x, y, filled);
        return;
    }
    if (!sketch.stroke) return;
    // Freehand draws each point once: a second pass would undo an XOR and darken a blend.
    const bool moved = x != sketch.lastX || y != sketch.lastY;
    if (moved || sketch.tool != Tool::kFreehand) DrawStrokeTo(x, y, filled);
    if (event.type == kLeftMouseUp) sketch.stroke = false;
}

void FillAt(int32_t x, int32_t y) {
    if (!KeepUndoStep() || !BeginCanvasDrawing()) return;
    TakeUpPen(0);
    FillArea(x, y, kFillRegion);  // the area of the colour found at (x, y)
    EndDrawing();
}

// Asks for a line of text and writes it with its top-left corner at (x, y).
void WriteTextAt(int32_t x, int32_t y) {
    // String results go into the temporary string buffer at the offset given; take a copy and
    // put the write position back.
    TempStringBuffer& temp = TempStrings();
    const auto start = static_cast<int32_t>(temp.tempPos);
    AskForText(u"Text", u"Text to write on the sketch:", u"", start);
    const std::u16string text = TempStringAt(start);
    SetTempPosition(start);
    if (text.empty() || !KeepUndoStep() || !BeginCanvasDrawing()) return;
    TakeUpPen(DrawTransparent);  // the glyphs only, without a box behind them
    DrawText(x, y, text.c_str());
    EndDrawing();
}

// Files ------------------------------------------------------------------------------------------

// A path asked for with the input requester, the last one offered; empty when cancelled.
std::string AskForPath(const char16_t* title, const char16_t* message) {
    TempStringBuffer& temp = TempStrings();
    const auto start = static_cast<int32_t>(temp.tempPos);
    const std::u16string offered = FromUTF8(sketch.lastPath.c_str());
    AskForText(title, message, offered.c_str(), start);
    char* path = StringToUTF8Alloc(TempStringAt(start));
    SetTempPosition(start);
    std::string result = path != nullptr ? path : "";
    std::free(path);
    return result;
}

void SaveCanvas() {
    const std::string path = AskForPath(u"Save", u"Save the sketch as a BMP file:");
    if (path.empty()) return;
    sketch.lastPath = path;
    errno = 0;  // SaveImage leaves it alone when the runtime refuses by itself
    if (SaveImage(sketch.canvas, path.c_str(), kBmpTag, 24, 0) == 0) {
        ReportFileFailure(u"Cannot save the sketch", path, errno,
                          u"This is not a file that can be written.");
    }
}

void OpenCanvas() {
    const std::string path = AskForPath(u"Open", u"Open an image as the new canvas:");
    if (path.empty()) return;
    sketch.lastPath = path;
    errno = 0;
    const int64_t handle = LoadImage(SpareCanvas(), path.c_str());
    if (handle == 0) {
        ReportFileFailure(u"Cannot open the image", path, errno,
                          u"This is not an image that the program can read.");
        return;
    }
    if (!KeepUndoStep()) {
        FreeImage(SpareCanvas());
        return;
    }
    ShowSpareAsCanvas(handle);
}

// Input ------------------------------------------------------------------------------------------

// Every platform event passes this hook before the runtime dispatches it. The image gadget
// reports clicks, but neither where the pointer is nor keys, so the hook hands the program a
// copy of each key press and of the left button's presses, drags and releases in its window, as
// events of its own. It claims nothing: Control+Q still reaches the application menu's Quit.
int32_t ForwardInput(const PlatformEvent& event, void*) {
    const bool wanted = event.type == kKeyDown || event.type == kLeftMouseDown ||
                        event.type == kLeftMouseDragged || event.type == kLeftMouseUp;
    if (!wanted || event.window != WindowID(kWindow)) return 0;
    auto* copy = new (std::nothrow) PlatformEvent(event);
    if (copy == nullptr) return 0;
    copy->backendEvent = nullptr;  // the backend's own, released after the wait
    PostEventWithPayload(kInputEvent, kWindow, kWindow, 0, copy,
                         [](void* payload) { delete static_cast<PlatformEvent*>(payload); });
    return 0;
}

// A click on the canvas: the button came up over it after going down there.
void OnCanvasClick(int64_t subtype) {
    if (!sketch.pressOnCanvas) return;
    if (subtype != kGadgetLeftClick && subtype != kGadgetLeftDoubleClick) return;
    if (sketch.tool == Tool::kFill) FillAt(sketch.startX, sketch.startY);
    if (sketch.tool == Tool::kText) WriteTextAt(sketch.startX, sketch.startY);
}

char16_t LowerCase(char16_t key) {
    return key >= u'A' && key <= u'Z' ? static_cast<char16_t>(key - u'A' + u'a') : key;
}

// Mode keys switch their mode on, or back to normal when it is on already.
void ToggleMode(Mode mode) {
    sketch.mode = sketch.mode == mode ? Mode::kNormal : mode;
}

void OnPlainKey(char16_t key) {
    for (const ToolKey& each : kTools) {
        if (each.key == key) sketch.tool = each.tool;
    }
    if (key >= u'1' && key <= u'9') sketch.colour = key - u'1';
    if (key == u'n') sketch.mode = Mode::kNormal;
    if (key == u'x') ToggleMode(Mode::kXor);
    if (key == u'a') ToggleMode(Mode::kBlend);
    if (key == u'd') ToggleMode(Mode::kGradient);
    ShowStatus();
}

// False for the key that ends the program.
bool OnKey(const PlatformEvent& event) {
    if (event.characterCount != 1) return true;
    const char16_t key = LowerCase(event.characters[0]);
    if (key == 0x1B) return false;   // Escape
    if (sketch.stroke) return true;  // the rest waits until the stroke ends
    const uint32_t modifiers =
        event.modifierFlags & (kControlKeyFlag | kAlternateKeyFlag | kCommandKeyFlag);
    if (modifiers == 0) OnPlainKey(key);
    if (modifiers != kControlKeyFlag) return true;
    if (key == u'z') Undo();
    if (key == u's') SaveCanvas();
    if (key == u'o') OpenCanvas();
    return true;
}

// Start and the event loop -----------------------------------------------------------------------

// One line on standard error: the platform's reason when it could not start (no display), else
// ours.
void StartFailed(const char* what) {
    if (ReportApplicationFailure() == 0) std::fprintf(stderr, "vorlune-sketch: %s\n", what);
    SetExitValue(1);
}

bool Start() {
    if (CreateWindow(kWindow, 0, 0, kCanvasWidth, kCanvasHeight, u"Sketch",
                     kWindowCloseBox | kWindowResizable | kWindowCentred) == 0) {
        StartFailed("cannot open the window");
        return false;
    }
    // The background is an opaque colour made of red, green and blue: MakeRGB, since white with
    // alpha 255 would be -1, which asks for a transparent image.
    const auto white = static_cast<int32_t>(MakeRGB(255, 255, 255));
    const int64_t canvas =
        CreateImageWithBackground(sketch.canvas, kCanvasWidth, kCanvasHeight, 24, white);
    if (canvas == 0 || CreateImageGadget(kCanvasGadget, 0, 0, kCanvasWidth, kCanvasHeight,
                                         ImageHandle(sketch.canvas)) == 0) {
        StartFailed("cannot make the canvas");
        return false;
    }
    if (AddEventHook(ForwardInput, nullptr) == 0) {
        StartFailed("cannot follow the mouse");
        return false;
    }
    ShowStatus();
    return true;
}

void Main() {
    if (!Start()) return;
    for (;;) {
        const int64_t event = WaitForEvent();
        if (event == kEventCloseWindow) break;
        if (event == kEventMenu && EventMenuID() == kMenuItemQuit) break;  // Control+Q, SIGTERM
        if (event == kEventGadget && EventMenuID() == kCanvasGadget) OnCanvasClick(EventSubtype());
        if (event != kInputEvent) continue;
        const auto& input = *static_cast<const PlatformEvent*>(EventPayload());
        if (input.type != kKeyDown) {
            OnPointer(input);
        } else if (!OnKey(input)) {
            break;
        }
    }
    RemoveEventHook(ForwardInput);
}

}  // namespace

int main(int argc, char** argv) {
    return RunProcess(argc, argv, Main);
}
