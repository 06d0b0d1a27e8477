#include "platform/pixel_store.h"

#include <gtest/gtest.h>

#include <vector>

namespace vorlune {
namespace {

TEST(PixelStoreTest, SizesAndZeroedPixels) {
    EXPECT_EQ(CreateNativeImage(0, 4), nullptr);
    EXPECT_EQ(CreateNativeImage(4, -1), nullptr);
    EXPECT_EQ(CreateNativeImage(1 << 30, 1), nullptr);
    NativeImage image = CreateNativeImage(3, 5);
    ASSERT_NE(image, nullptr);
    EXPECT_EQ(NativeImageWidth(image), 3);
    EXPECT_EQ(NativeImageHeight(image), 5);
    EXPECT_EQ(NativeImageBytesPerRow(image), 12);
    const uint8_t* pixels = NativeImagePixels(image);
    EXPECT_EQ(std::vector<uint8_t>(pixels, pixels + 60), std::vector<uint8_t>(60, 0));
    EXPECT_EQ(NativeImageReferences(image), 1);
    ReleaseNativeImage(image);
    ReleaseNativeImage(nullptr);
    EXPECT_EQ(NativeImagePixels(nullptr), nullptr);
}

struct Log {
    std::vector<int> calls;
    NativeImage image = nullptr;
};

void First(void* log, NativeImage) {
    static_cast<Log*>(log)->calls.push_back(1);
}
void Second(void* log, NativeImage) {
    static_cast<Log*>(log)->calls.push_back(2);
}

// Leaves the table while it is being walked, adds another, and drops the last other reference.
void Unruly(void* data, NativeImage image) {
    Log* log = static_cast<Log*>(data);
    log->calls.push_back(3);
    RemoveRecacheObserver(image, Unruly, data);
    RemoveRecacheObserver(image, First, data);
    AddRecacheObserver(image, Second, data);
    ReleaseNativeImage(log->image);
    log->image = nullptr;
}

TEST(PixelStoreTest, RecacheCallsEachObserverOnce) {
    NativeImage image = CreateNativeImage(2, 2);
    Log log;
    EXPECT_TRUE(AddRecacheObserver(image, First, &log));
    EXPECT_TRUE(AddRecacheObserver(image, First, &log));  // kept once
    EXPECT_TRUE(AddRecacheObserver(image, Second, &log));
    RecacheNativeImage(image);
    EXPECT_EQ(log.calls, (std::vector<int>{1, 2}));
    RemoveRecacheObserver(image, First, &log);
    log.calls.clear();
    RecacheNativeImage(image);
    EXPECT_EQ(log.calls, (std::vector<int>{2}));
    ReleaseNativeImage(image);
}

TEST(PixelStoreTest, ObserversMayChangeTheTableAndTheReferencesFromInside) {
    NativeImage image = CreateNativeImage(2, 2);
    Log log{{}, image};
    AddRecacheObserver(image, Unruly, &log);
    AddRecacheObserver(image, First, &log);
    RecacheNativeImage(image);  // Unruly releases the only reference: freed after the walk
    EXPECT_EQ(log.calls, (std::vector<int>{3}));
}

}  // namespace
}  // namespace vorlune
