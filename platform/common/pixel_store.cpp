#include "platform/pixel_store.h"

#include <atomic>
#include <climits>
#include <cstdlib>
#include <new>

namespace vorlune {

namespace {

struct RecacheObserver {
    RecacheCallback callback;  // null once removed during a notification
    void* observer;
};

constexpr int64_t kMaxBytesPerRow = INT32_MAX;

}  // namespace

struct NativeImageObject {
    std::atomic<int32_t> references;
    int32_t width;
    int32_t height;
    uint8_t* pixels;
    RecacheObserver* observers;
    int32_t observerCount;
    int32_t observerCapacity;
    int32_t notifyDepth;
    bool hasRemovedObservers;
};

namespace {

void CompactObservers(NativeImage image) {
    int32_t kept = 0;
    for (int32_t i = 0; i < image->observerCount; ++i) {
        if (image->observers[i].callback != nullptr) image->observers[kept++] = image->observers[i];
    }
    image->observerCount = kept;
    image->hasRemovedObservers = false;
}

int32_t FindObserver(NativeImage image, RecacheCallback callback, void* observer) {
    for (int32_t i = 0; i < image->observerCount; ++i) {
        const RecacheObserver& entry = image->observers[i];
        if (entry.callback == callback && entry.observer == observer) return i;
    }
    return -1;
}

bool ReserveObserver(NativeImage image) {
    if (image->observerCount < image->observerCapacity) return true;
    const int32_t capacity = image->observerCapacity == 0 ? 4 : image->observerCapacity * 2;
    void* grown = std::realloc(image->observers, sizeof(RecacheObserver) * capacity);
    if (grown == nullptr) return false;
    image->observers = static_cast<RecacheObserver*>(grown);
    image->observerCapacity = capacity;
    return true;
}

}  // namespace

// Lifetime ------------------------------------------------------------------------------------

NativeImage CreateNativeImage(int32_t width, int32_t height) {
    if (width < 1 || height < 1 || int64_t{width} * 4 > kMaxBytesPerRow) return nullptr;
    const uint64_t bytes =
        uint64_t{4} * static_cast<uint64_t>(width) * static_cast<uint64_t>(height);
    auto* pixels = static_cast<uint8_t*>(std::calloc(bytes, 1));
    if (pixels == nullptr) return nullptr;
    void* memory = std::calloc(1, sizeof(NativeImageObject));
    if (memory == nullptr) {
        std::free(pixels);
        return nullptr;
    }
    auto* image = new (memory) NativeImageObject{};
    image->references.store(1);
    image->width = width;
    image->height = height;
    image->pixels = pixels;
    return image;
}

void RetainNativeImage(NativeImage image) {
    if (image != nullptr) image->references.fetch_add(1, std::memory_order_relaxed);
}

void ReleaseNativeImage(NativeImage image) {
    if (image == nullptr || image->references.fetch_sub(1, std::memory_order_acq_rel) != 1) return;
    std::free(image->pixels);
    std::free(image->observers);
    image->~NativeImageObject();
    std::free(image);
}

int32_t NativeImageReferences(NativeImage image) {
    return image == nullptr ? 0 : image->references.load();
}

// Geometry and pixels -----------------------------------------------------------------------------

int32_t NativeImageWidth(NativeImage image) {
    return image == nullptr ? 0 : image->width;
}
int32_t NativeImageHeight(NativeImage image) {
    return image == nullptr ? 0 : image->height;
}
int32_t NativeImageBytesPerRow(NativeImage image) {
    return image == nullptr ? 0 : image->width * 4;
}
uint8_t* NativeImagePixels(NativeImage image) {
    return image == nullptr ? nullptr : image->pixels;
}

// Views that show the image -----------------------------------------------------------------------

bool AddRecacheObserver(NativeImage image, RecacheCallback callback, void* observer) {
    if (image == nullptr || callback == nullptr) return false;
    if (FindObserver(image, callback, observer) >= 0) return true;
    if (!ReserveObserver(image)) return false;
    image->observers[image->observerCount++] = {callback, observer};
    return true;
}

void RemoveRecacheObserver(NativeImage image, RecacheCallback callback, void* observer) {
    if (image == nullptr || callback == nullptr) return;
    const int32_t index = FindObserver(image, callback, observer);
    if (index < 0) return;
    image->observers[index].callback = nullptr;
    image->hasRemovedObservers = true;
    // While a notification walks the table, entries keep their places until it ends.
    if (image->notifyDepth == 0) CompactObservers(image);
}

void RecacheNativeImage(NativeImage image) {
    if (image == nullptr) return;
    // An observer may drop the last other reference from inside its call.
    RetainNativeImage(image);
    ++image->notifyDepth;
    const int32_t count = image->observerCount;
    for (int32_t i = 0; i < count; ++i) {
        const RecacheObserver entry = image->observers[i];
        if (entry.callback != nullptr) entry.callback(entry.observer, image);
    }
    if (--image->notifyDepth == 0 && image->hasRemovedObservers) CompactObservers(image);
    ReleaseNativeImage(image);
}

}  // namespace vorlune
