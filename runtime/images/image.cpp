#include "runtime/images/image.h"

namespace vorlune {

namespace {

constexpr int32_t kImageGrowBy = 16;
constexpr int32_t kPlainDepth = 24;
constexpr int32_t kStorageDepth = 32;

ObjectRegistry* imageRegistry = nullptr;

int64_t NumberOf(const ImageRecord* record) {
    return static_cast<int64_t>(reinterpret_cast<intptr_t>(record));
}

// New pixels are zero, which is transparent black; the colour fill is made opaque.
NativeImage NewNativeImage(int32_t width, int32_t height, int32_t fillMode, ColourValue colour) {
    if (fillMode != kImageFillColour) return CreateNativeImage(width, height);
    return CreateFilledNativeImage(width, height, (colour & 0xFFFFFF) | 0xFF000000);
}

int64_t CreateResult(int64_t number, const ImageRecord* record) {
    if (record == nullptr) return 0;
    if (number == AnyNumber) return NumberOf(record);
    return static_cast<int64_t>(reinterpret_cast<intptr_t>(record->image));
}

int64_t CreateFilled(int64_t number, int32_t width, int32_t height, int32_t depth, int32_t fillMode,
                     ColourValue colour) {
    ImageRecord* record = NewImageRecord(number, width, height, fillMode, colour);
    if (record != nullptr) record->createdDepth = static_cast<int16_t>(depth);
    return CreateResult(number, record);
}

void ReleaseFrames(ImageRecord* record) {
    while (record->frames != nullptr) {
        auto* frame = static_cast<ImageFrame*>(ListHandleOf(record->frames));
        ReleaseNativeImage(frame->image);
        ListRemoveNode(&record->frames, frame);
    }
}

}  // namespace

// Start-up and shutdown ---------------------------------------------------------------------------

void InitImageSystem() {
    CreateObjectRegistryOnce(&imageRegistry, sizeof(ImageRecord), kImageGrowBy, FreeImage);
}

void EndImageSystem() {
    FreeAllObjects(imageRegistry);
}

ObjectRegistry* ImageRegistry() {
    return imageRegistry;
}

// Images ----------------------------------------------------------------------------------------

ImageRecord* NewImageRecord(int64_t number, int32_t width, int32_t height, int32_t fillMode,
                            ColourValue colour) {
    auto* record = static_cast<ImageRecord*>(AllocateObject(imageRegistry, number));
    if (record == nullptr) return nullptr;
    // Sizes beyond the record's 16-bit fields are refused like sizes the platform refuses.
    const bool fits = width <= kMaxImageSide && height <= kMaxImageSide;
    NativeImage image = fits ? NewNativeImage(width, height, fillMode, colour) : nullptr;
    if (image == nullptr) {
        FreeObject(imageRegistry, number == AnyNumber ? NumberOf(record) : number);
        return nullptr;
    }
    record->image = image;
    record->bitmap = NativeImagePixels(image);
    record->pixelWidth = static_cast<int16_t>(width);
    record->pixelHeight = static_cast<int16_t>(height);
    record->storageDepth = kStorageDepth;
    record->createdDepth = kStorageDepth;
    record->frameCount = 1;
    record->currentFrame = 0;
    return record;
}

int64_t CreateImage(int64_t number, int32_t width, int32_t height) {
    return CreateFilled(number, width, height, kPlainDepth, kImageFillColour, 0);
}

int64_t CreateImageWithDepth(int64_t number, int32_t width, int32_t height, int32_t depth) {
    return CreateFilled(number, width, height, depth, kImageFillColour, 0);
}

int64_t CreateImageWithBackground(int64_t number, int32_t width, int32_t height, int32_t depth,
                                  int32_t background) {
    if (background == kTransparentBackground)
        return CreateFilled(number, width, height, depth, kImageFillClear, 0);
    return CreateFilled(number, width, height, depth, kImageFillColour,
                        static_cast<ColourValue>(background));
}

// Every reference the record holds is its own: the image's and each frame's.
void FreeImage(int64_t number) {
    if (number == AnyNumber) {
        FreeAllObjects(imageRegistry);
        return;
    }
    ImageRecord* record = FindImage(number);
    if (record == nullptr) return;
    ReleaseFrames(record);
    ReleaseNativeImage(record->image);
    FreeObject(imageRegistry, number);
}

ImageRecord* FindImage(int64_t number) {
    return static_cast<ImageRecord*>(GetObject(imageRegistry, number));
}

// Accessors -------------------------------------------------------------------------------------

NativeImage ImageHandle(int64_t number) {
    const ImageRecord* record = FindImage(number);
    return record != nullptr ? record->image : nullptr;
}

int32_t ImageWidth(int64_t number) {
    const ImageRecord* record = FindImage(number);
    return record != nullptr ? record->pixelWidth : 0;
}

int32_t ImageHeight(int64_t number) {
    const ImageRecord* record = FindImage(number);
    return record != nullptr ? record->pixelHeight : 0;
}

int32_t ImageDepth(int64_t number, int32_t flag) {
    const ImageRecord* record = FindImage(number);
    if (record == nullptr) return 0;
    return flag == kCreatedDepthFlag ? record->createdDepth : record->storageDepth;
}

ColourValue ImagePixel(int64_t number, int32_t x, int32_t y) {
    const ImageRecord* record = FindImage(number);
    if (record == nullptr || x < 0 || y < 0 || x >= record->pixelWidth || y >= record->pixelHeight)
        return 0;
    const uint8_t* p =
        record->bitmap + int64_t{y} * NativeImageBytesPerRow(record->image) + int64_t{x} * 4;
    return p[0] | p[1] << 8 | p[2] << 16 | static_cast<ColourValue>(p[3]) << 24;
}

// Drawing output ----------------------------------------------------------------------------------

// The context draws straight into the image's pixels. Its text renderer holds a reference on
// the native image, so the pixels stay valid even if the image is freed before drawing ends.
DrawingContext* ImageDrawTarget(int64_t number) {
    const ImageRecord* record = FindImage(number);
    if (record == nullptr) return nullptr;
    DrawingContext* context = CreateDrawingContext(kImagePixelFormat);
    if (context == nullptr) return nullptr;
    TextRenderer renderer = CreateTextRenderer(record->image);
    if (renderer == nullptr) {
        AbandonDrawingContext(context);
        return nullptr;
    }
    context->graphicsContext = renderer;
    context->paperOutput = 0;
    context->width = record->pixelWidth;
    context->height = record->pixelHeight;
    context->depth = record->storageDepth;
    context->clipOrigin = record->bitmap;
    context->pitch = NativeImageBytesPerRow(record->image);
    context->ownerNumber = number;
    context->release = ReleaseImageOutput;
    return context;
}

void ReleaseImageOutput(DrawingContext* context, int32_t completed) {
    if (completed != 0) {
        if (const ImageRecord* record = FindImage(context->ownerNumber))
            RecacheNativeImage(record->image);
    }
    FreeTextRenderer(context->graphicsContext);
    context->graphicsContext = nullptr;
}

}  // namespace vorlune
