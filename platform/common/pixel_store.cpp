#include "platform/pixel_store.h"

#include <algorithm>
#include <atomic>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <mutex>
#include <new>

#include <sys/mman.h>

namespace vorlune {

namespace {

struct RecacheObserver {
    RecacheCallback callback;  // null once removed during a notification
    void* observer;
};

constexpr int64_t kMaxBytesPerRow = INT32_MAX;

// Spare pixel memory, newest last. Smaller buffers come cheaply from the allocator; larger ones
// are not worth holding on to.
struct SpareBuffer {
    uint8_t* pixels;
    uint64_t bytes;
};
constexpr int32_t kSpareBuffers = 2;
constexpr uint64_t kSmallestSpareBytes = 64 * 1024;
constexpr uint64_t kLargestSpareBytes = 64 * 1024 * 1024;
constexpr uint64_t kHugePageBytes = 2 * 1024 * 1024;
constexpr uint64_t kSmallestHugeStoreBytes = 8 * kHugePageBytes;

std::mutex spareLock;
SpareBuffer spares[kSpareBuffers];
int32_t spareCount = 0;

uint8_t* TakeSpareBuffer(uint64_t bytes) {
    const std::lock_guard<std::mutex> lock(spareLock);
    for (int32_t i = spareCount - 1; i >= 0; --i) {
        if (spares[i].bytes != bytes) continue;
        uint8_t* pixels = spares[i].pixels;
        std::copy(spares + i + 1, spares + spareCount, spares + i);
        --spareCount;
        return pixels;
    }
    return nullptr;
}

void KeepOrFreeBuffer(uint8_t* pixels, uint64_t bytes) {
    if (bytes < kSmallestSpareBytes || bytes > kLargestSpareBytes) {
        std::free(pixels);
        return;
    }
    const std::lock_guard<std::mutex> lock(spareLock);
    if (spareCount == kSpareBuffers) {
        std::free(spares[0].pixels);
        std::copy(spares + 1, spares + spareCount, spares);
        --spareCount;
    }
    spares[spareCount++] = {pixels, bytes};
}

uint64_t PixelBytes(int32_t width, int32_t height) {
    return uint64_t{4} * static_cast<uint64_t>(width) * static_cast<uint64_t>(height);
}

// Zeroed pixels: spare memory is cleared, fresh memory comes cleared from calloc.
uint8_t* ZeroedPixels(uint64_t bytes) {
    if (uint8_t* pixels = TakeSpareBuffer(bytes))
        return static_cast<uint8_t*>(std::memset(pixels, 0, bytes));
    return static_cast<uint8_t*>(std::calloc(bytes, 1));
}

// Memory that is written whole at once. A large store asks for huge pages: touching fresh memory
// costs a page fault per page, one per 2 MB instead of one per 4 KB.
uint8_t* UnclearedPixels(uint64_t bytes) {
#if defined(MADV_HUGEPAGE)
    if (bytes >= kSmallestHugeStoreBytes) {
        const uint64_t rounded = (bytes + kHugePageBytes - 1) / kHugePageBytes * kHugePageBytes;
        void* pixels = nullptr;
        if (posix_memalign(&pixels, kHugePageBytes, rounded) != 0) return nullptr;
        madvise(pixels, rounded, MADV_HUGEPAGE);  // a hint: without it the store still works
        return static_cast<uint8_t*>(pixels);
    }
#endif
    return static_cast<uint8_t*>(std::malloc(bytes));
}

uint8_t* FilledPixels(uint64_t bytes, uint32_t pixel) {
    uint8_t* pixels = TakeSpareBuffer(bytes);
    if (pixels == nullptr) pixels = UnclearedPixels(bytes);
    if (pixels == nullptr) return nullptr;
    const uint8_t bytesOfPixel[4] = {static_cast<uint8_t>(pixel), static_cast<uint8_t>(pixel >> 8),
                                     static_cast<uint8_t>(pixel >> 16),
                                     static_cast<uint8_t>(pixel >> 24)};
    uint32_t word;
    std::memcpy(&word, bytesOfPixel, 4);
    // The C library's wide fill stores a whole vector at a time, twice as fast as a loop.
    if constexpr (sizeof(wchar_t) == sizeof word) {
        wchar_t wide;
        std::memcpy(&wide, &word, sizeof wide);
        std::wmemset(reinterpret_cast<wchar_t*>(pixels), wide, bytes / 4);
    } else {
        std::fill_n(reinterpret_cast<uint32_t*>(pixels), bytes / 4, word);
    }
    return pixels;
}

bool FitsPixelStore(int32_t width, int32_t height) {
    return width >= 1 && height >= 1 && int64_t{width} * 4 <= kMaxBytesPerRow;
}

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

namespace {

NativeImage WrapPixels(int32_t width, int32_t height, uint8_t* pixels) {
    if (pixels == nullptr) return nullptr;
    void* memory = std::calloc(1, sizeof(NativeImageObject));
    if (memory == nullptr) {
        KeepOrFreeBuffer(pixels, PixelBytes(width, height));
        return nullptr;
    }
    auto* image = new (memory) NativeImageObject{};
    image->references.store(1);
    image->width = width;
    image->height = height;
    image->pixels = pixels;
    return image;
}

}  // namespace

NativeImage CreateNativeImage(int32_t width, int32_t height) {
    if (!FitsPixelStore(width, height)) return nullptr;
    return WrapPixels(width, height, ZeroedPixels(PixelBytes(width, height)));
}

NativeImage CreateFilledNativeImage(int32_t width, int32_t height, uint32_t pixel) {
    if (!FitsPixelStore(width, height)) return nullptr;
    return WrapPixels(width, height, FilledPixels(PixelBytes(width, height), pixel));
}

void RetainNativeImage(NativeImage image) {
    if (image != nullptr) image->references.fetch_add(1, std::memory_order_relaxed);
}

void ReleaseNativeImage(NativeImage image) {
    if (image == nullptr || image->references.fetch_sub(1, std::memory_order_acq_rel) != 1) return;
    KeepOrFreeBuffer(image->pixels, PixelBytes(image->width, image->height));
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
