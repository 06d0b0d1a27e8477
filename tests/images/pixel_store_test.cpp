#include "platform/pixel_store.h"

#include <gtest/gtest.h>

#include <cstring>
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

// Small stores, stores kept for reuse, and large ones on huge pages whose size is not a whole
// number of them.
TEST(PixelStoreTest, FilledStoresOfEverySizeHoldTheColourEverywhere) {
    const struct { int32_t width, height; } sizes[] = {{3, 5}, {128, 130}, {2049, 2050}};
    for (const auto& size : sizes) {
        NativeImage image = CreateFilledNativeImage(size.width, size.height, 0xFF102030);
        ASSERT_NE(image, nullptr);
        const size_t bytes = size_t{4} * size.width * size.height;
        std::vector<uint8_t> expected(bytes);
        for (size_t i = 0; i < bytes; i += 4)
            std::memcpy(&expected[i], "\x30\x20\x10\xFF", 4);
        EXPECT_EQ(std::memcmp(NativeImagePixels(image), expected.data(), bytes), 0) << size.width;
        ReleaseNativeImage(image);
    }
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

// The program repaints into a new image of the same size many times a second: the memory of
// the image freed last comes back, cleared or filled, and never while someone still holds it.
TEST(PixelStoreTest, FreedMemoryComesBackAsANewImageOfTheSameSize) {
    constexpr int32_t kSide = 128;
    constexpr size_t kBytes = size_t{kSide} * kSide * 4;
    NativeImage held = CreateFilledNativeImage(kSide, kSide, 0xFF0000FF);
    ASSERT_NE(held, nullptr);
    const uint8_t* heldPixels = NativeImagePixels(held);
    EXPECT_EQ(std::vector<uint8_t>(heldPixels, heldPixels + 4),
              (std::vector<uint8_t>{255, 0, 0, 255}));
    RetainNativeImage(held);  // as a view that shows it
    ReleaseNativeImage(held);

    struct Case {
        uint32_t pixel;  // 0: CreateNativeImage
        std::vector<uint8_t> bytes;
    };
    const Case cases[] = {{0, {0, 0, 0, 0}}, {0x80402010, {0x10, 0x20, 0x40, 0x80}}};
    for (const Case& c : cases) {
        NativeImage old = CreateNativeImage(kSide, kSide);
        uint8_t* oldPixels = NativeImagePixels(old);
        std::memset(oldPixels, 0xAB, kBytes);
        ReleaseNativeImage(old);
        NativeImage image = c.pixel == 0 ? CreateNativeImage(kSide, kSide)
                                         : CreateFilledNativeImage(kSide, kSide, c.pixel);
        ASSERT_NE(image, nullptr);
        const uint8_t* pixels = NativeImagePixels(image);
        EXPECT_EQ(pixels, oldPixels);
        EXPECT_NE(pixels, heldPixels);
        std::vector<uint8_t> expected;
        for (int32_t i = 0; i < kSide * kSide; ++i)
            expected.insert(expected.end(), c.bytes.begin(), c.bytes.end());
        EXPECT_EQ(std::vector<uint8_t>(pixels, pixels + kBytes), expected) << c.pixel;
        ReleaseNativeImage(image);
    }
    EXPECT_EQ(std::vector<uint8_t>(heldPixels, heldPixels + 4),
              (std::vector<uint8_t>{255, 0, 0, 255}));
    ReleaseNativeImage(held);
}

}  // namespace
}  // namespace vorlune
