#include "runtime/drawing/context.h"

#include <algorithm>

#include "runtime/drawing/image_drawing.h"
#include "runtime/drawing/modes.h"
#include "runtime/drawing/pixel_rules.h"
#include "runtime/drawing/shapes.h"
#include "runtime/drawing/text.h"

namespace vorlune {

namespace {

// Room for the state of later vector-drawing operations; nothing reads it yet.
constexpr uint64_t kDrawingStateBytes = 64;

DrawingContext* currentContext = nullptr;
void* drawingState = nullptr;
pthread_key_t drawingKey;
bool drawingKeyCreated = false;

void SetCurrent(DrawingContext* context) {
    currentContext = context;
    if (drawingKeyCreated) pthread_setspecific(drawingKey, context);
}

void FreeContext(DrawingContext* context) {
    FreeBlock(context);
    if (currentContext == context) SetCurrent(nullptr);
}

// Buffer slots ----------------------------------------------------------------------------------

uint8_t* BufferAddressOf(DrawingContext* context) {
    return context->bufferBase;
}
int32_t BufferPitchOf(DrawingContext* context) {
    return context->pitch;
}
int32_t BufferPixelFormatOf(DrawingContext* context) {
    return context->pixelFormat;
}

void ClipOf(DrawingContext* context, int32_t x, int32_t y, int32_t w, int32_t h) {
    int64_t left = x, top = y, width = w, height = h;
    const int64_t outputWidth = context->outputWidth;
    const int64_t outputHeight = context->outputHeight;
    if (left < 0) {
        width += left;
        left = 0;
    } else {
        left = std::min(left, outputWidth);
    }
    if (top < 0) {
        height += top;
        top = 0;
    } else {
        top = std::min(top, outputHeight);
    }
    if (top + height > outputHeight) height = outputHeight - top;
    const int64_t row = context->bottomUp ? outputHeight - top - height : top;
    if (left + width > outputWidth) width = outputWidth - left;
    // An empty rectangle is kept at size zero and points at the buffer, so that no address
    // outside the buffer is ever formed.
    if (width <= 0 || height <= 0) {
        width = height = 0;
        context->clipOrigin = context->bufferBase;
    } else {
        context->clipOrigin =
            context->bufferBase + row * context->pitch + left * context->bytesPerPixel;
    }
    context->width = static_cast<int32_t>(width);
    context->height = static_cast<int32_t>(height);
    context->effectiveOriginX = static_cast<int32_t>(context->originX - left);
    context->effectiveOriginY = static_cast<int32_t>(context->originY - top);
}

void UnclipOf(DrawingContext* context) {
    context->width = context->outputWidth;
    context->height = context->outputHeight;
    context->effectiveOriginX = context->originX;
    context->effectiveOriginY = context->originY;
    context->clipOrigin = context->bufferBase;
}

// Output slots ----------------------------------------------------------------------------------

void* StartOf(DrawingContext* context) {
    context->bufferBase = context->clipOrigin;
    if (context->paperOutput) {
        context->frontColour = 0x000000;
        context->backColour = 0xFFFFFF;
    }
    if (context->graphicsContext != nullptr) return context->graphicsContext;
    return context->bufferBase;
}

void FinishOf(DrawingContext* context) {
    if (context->fillPool != nullptr) DestroyPool(context->fillPool);
    context->fillPool = nullptr;
    FreeBlock(context->fillRows);
    context->fillRows = nullptr;
    FreeGradientStops(context);
}

bool IsInside(const DrawingContext* context, int64_t x, int64_t y) {
    return x >= 0 && y >= 0 && x < context->width && y < context->height;
}

}  // namespace

// Life of a context -----------------------------------------------------------------------------

DrawingContext* CreateDrawingContext(int32_t pixelFormat) {
    auto* context = static_cast<DrawingContext*>(AllocBlock(sizeof(DrawingContext)));
    SetCurrent(context);
    if (context == nullptr) return nullptr;
    InitDrawingContext(context, pixelFormat);
    context->start = StartOf;
    context->finish = FinishOf;
    context->setFont = SetFontOf;
    context->drawText = DrawTextOf;
    context->textWidth = TextWidthOf;
    context->textHeight = TextHeightOf;
    context->drawRotatedText = DrawRotatedTextOf;
    context->drawImage = DrawImageOf;
    context->drawImageSized = DrawImageSizedOf;
    context->drawImageAlpha = DrawImageAlphaOf;
    context->grabImage = GrabImageOf;
    return context;
}

void InitDrawingContext(DrawingContext* context, int32_t pixelFormat) {
    context->pixelFormat = pixelFormat;
    context->bottomUp = pixelFormat & kPixelBottomUp;
    context->bytesPerPixel = (pixelFormat & (kPixelFourBytes | kPixelFourBytesAlt)) != 0 ? 4 : 3;
    context->frontColour = 0xFFFFFFFF;
    context->backColour = 0xFF000000;
    context->drawColour = 0;
    context->drawBackColour = 0;
    context->setPenComponents = SetPenComponentsOf;
    context->setPaperComponents = SetPaperComponentsOf;
    context->setDrawingMode = SetDrawingModeOf;
    context->fillArea = FillAreaOf;
    context->line = LineOf;
    context->box = BoxOf;
    context->roundBox = RoundBoxOf;
    context->ellipse = EllipseOf;
    context->bufferAddress = BufferAddressOf;
    context->bufferPitch = BufferPitchOf;
    context->bufferPixelFormat = BufferPixelFormatOf;
    context->clip = ClipOf;
    context->unclip = UnclipOf;
    context->gradientFunction = DefaultGradientFunction;
    context->filterFunction = DefaultFilterFunction;
    context->drawingMode = 0;
    context->premultiplied = 0;
    context->gradientOn = 0;
    context->filterOn = 0;
    InstallDefaultPixelRoutines(context);
    context->penRed = context->penGreen = context->penBlue = context->penAlpha = 0;
    context->penInverseAlpha = 255;
    context->paperRed = context->paperGreen = context->paperBlue = context->paperAlpha = 0;
    context->paperInverseAlpha = 255;
}

void AbandonDrawingContext(DrawingContext* context) {
    if (context == nullptr) return;
    if (context->release != nullptr) context->release(context, 0);
    FreeContext(context);
}

void* BeginDrawing(DrawingContext* target) {
    if (target == nullptr) return nullptr;
    void* handle = target->start(target);
    target->outputWidth = target->width;
    target->outputHeight = target->height;
    if (handle != nullptr) return handle;
    AbandonDrawingContext(target);
    return nullptr;
}

void EndDrawing() {
    DrawingContext* context = currentContext;
    if (context == nullptr) return;
    context->finish(context);
    if (context->release != nullptr) context->release(context, 1);
    FreeContext(context);
}

DrawingContext* CurrentDrawingContext() {
    return currentContext;
}

// Drawing on the current context ----------------------------------------------------------------

void PlotPixel(int32_t x, int32_t y, ColourValue colour) {
    if (currentContext != nullptr) PlotPixelOn(currentContext, x, y, colour);
}

ColourValue ReadPixel(int32_t x, int32_t y) {
    DrawingContext* context = currentContext;
    if (context == nullptr || !IsInside(context, x, y)) return 0;
    return context->readPixel(context, x, y);
}

PixelPlotter::PixelPlotter(DrawingContext* context)
    : context_(context),
      firstRow_(nullptr),
      rowStep_(0),
      originX_(0),
      originY_(0),
      width_(0),
      height_(0) {
    if (context == nullptr) return;
    originX_ = context->effectiveOriginX;
    originY_ = context->effectiveOriginY;
    width_ = static_cast<uint64_t>(std::max(context->width, 0));
    height_ = static_cast<uint64_t>(std::max(context->height, 0));
    if (!PlotsPlainColour(context) || context->bytesPerPixel != 4 || height_ == 0) return;
    rowStep_ = RowStep(context);
    firstRow_ = PixelAddress(context, 0, 0);
}

bool PixelPlotter::StoresInLine(int32_t width, int32_t height) const {
    if (firstRow_ == nullptr || width < 0 || height < 0 || originX_ < 0 || originY_ < 0)
        return false;
    return static_cast<uint64_t>(originX_ + width) <= width_ &&
           static_cast<uint64_t>(originY_ + height) <= height_;
}

void SetFrontColour(ColourValue colour) {
    if (currentContext != nullptr) currentContext->frontColour = colour;
}

void SetBackColour(ColourValue colour) {
    if (currentContext != nullptr) currentContext->backColour = colour;
}

void ClipDrawing(int32_t x, int32_t y, int32_t w, int32_t h) {
    if (currentContext != nullptr) currentContext->clip(currentContext, x, y, w, h);
}

void UnclipDrawing() {
    if (currentContext != nullptr) currentContext->unclip(currentContext);
}

// Start-up --------------------------------------------------------------------------------------

void InitDrawingState() {
    if (drawingState == nullptr) drawingState = AllocBlock(kDrawingStateBytes);
}

void CreateDrawingKey() {
    if (!drawingKeyCreated) drawingKeyCreated = pthread_key_create(&drawingKey, nullptr) == 0;
}

pthread_key_t DrawingContextKey() {
    return drawingKey;
}
bool HasDrawingContextKey() {
    return drawingKeyCreated;
}
void* DrawingStateBlock() {
    return drawingState;
}

}  // namespace vorlune
