#include "runtime/images/resample.h"

#include <gtest/gtest.h>

#include <numeric>
#include <vector>

#include "runtime/core/memory.h"

namespace vorlune {
namespace {

// One-channel rows spread over the four bytes of each pixel, so every byte must agree.
std::vector<uint8_t> Pixels(const std::vector<int>& values) {
    std::vector<uint8_t> pixels;
    for (int value : values)
        pixels.insert(pixels.end(), 4, static_cast<uint8_t>(value));
    return pixels;
}

std::vector<int> FirstBytes(const std::vector<uint8_t>& pixels) {
    std::vector<int> values;
    for (size_t i = 0; i < pixels.size(); i += 4) {
        for (size_t c = 1; c < 4; ++c)
            EXPECT_EQ(pixels[i + c], pixels[i]) << "byte " << c << " of pixel " << i / 4;
        values.push_back(pixels[i]);
    }
    return values;
}

TEST(ResampleTest, SampleRowsInBothDirections) {
    struct Case {
        std::vector<int> source;
        int32_t length;
        std::vector<int> expected;
    };
    const Case cases[] = {
        {{0, 255}, 4, {0, 63, 192, 255}},  // the outer sums, about -7.9 and 262.9, are clamped
        {{10, 20, 30}, 3, {11, 20, 29}},   // the filter softens even at scale 1
        {{100, 100, 100, 100, 100, 100, 100, 100}, 1, {100}},
    };
    for (const Case& c : cases) {
        const int32_t length = static_cast<int32_t>(c.source.size());
        const std::vector<uint8_t> source = Pixels(c.source);
        std::vector<uint8_t> across(static_cast<size_t>(c.length) * 4, 77);
        ASSERT_TRUE(ResampleHorizontally(source.data(), length, across.data(), c.length, 1));
        EXPECT_EQ(FirstBytes(across), c.expected);
        // The same values as a column of one-pixel rows.
        std::vector<uint8_t> down(static_cast<size_t>(c.length) * 4, 77);
        ASSERT_TRUE(ResampleVertically(source.data(), 1, length, down.data(), 1, c.length));
        EXPECT_EQ(FirstBytes(down), c.expected);
    }
}

TEST(ResampleTest, WeightTablesCoverTheSourceAndSumToOne) {
    const std::pair<int32_t, int32_t> sizes[] = {{4, 2}, {1, 8}, {3, 3}, {256, 512}, {1024, 512},
                                                 {7, 1}, {1, 1}, {5, 99}};
    for (const auto& [dst, src] : sizes) {
        int32_t count = 0;
        ResampleWeight* table = ResampleWeights(dst, src, &count);
        ASSERT_NE(table, nullptr);
        ASSERT_EQ(count, dst);
        for (int32_t j = 0; j < count; ++j) {
            ASSERT_GE(table[j].first, 0);
            ASSERT_LE(table[j].last, src - 1);
            ASSERT_LE(table[j].first, table[j].last);
            const double sum = std::accumulate(
                table[j].weights, table[j].weights + (table[j].last - table[j].first + 1), 0.0);
            EXPECT_NEAR(sum, 1.0, 1e-12) << dst << " from " << src << " entry " << j;
        }
        if (dst == 1 && src == 8) {
            EXPECT_EQ(table[0].first, 0);
            EXPECT_EQ(table[0].last, 7);
        }
        FreeResampleWeights(table);
    }
    EXPECT_DOUBLE_EQ(MitchellFilter(0.0), 0.8888888888888888);
    EXPECT_DOUBLE_EQ(MitchellFilter(2.0), 0.0);
    EXPECT_EQ(ResampleWeights(0, 5, nullptr), nullptr);
    EXPECT_EQ(ResampleWeights(5, -1, nullptr), nullptr);
}

// A constant image stays constant at any scale, in either pass order.
TEST(ResampleTest, ConstantImagesStayConstant) {
    const uint8_t pixel[4] = {0, 255, 37, 200};
    const std::pair<int32_t, int32_t> sizes[] = {{1, 1}, {3, 17}, {64, 5}, {511, 1023}};
    for (const auto& [from, to] : sizes) {
        std::vector<uint8_t> source(static_cast<size_t>(from) * from * 4);
        for (size_t i = 0; i < source.size(); ++i)
            source[i] = pixel[i % 4];
        std::vector<uint8_t> middle(static_cast<size_t>(to) * from * 4);
        std::vector<uint8_t> result(static_cast<size_t>(to) * to * 4);
        ASSERT_TRUE(ResampleHorizontally(source.data(), from, middle.data(), to, from));
        ASSERT_TRUE(ResampleVertically(middle.data(), to, from, result.data(), to, to));
        for (size_t i = 0; i < result.size(); ++i)
            ASSERT_EQ(result[i], pixel[i % 4]) << from << " to " << to << " byte " << i;
    }
}

bool FailEveryAllocation(uint64_t) {
    return true;
}

TEST(ResampleTest, AFailedTableLeavesTheDestinationAlone) {
    const std::vector<uint8_t> source = Pixels({1, 2, 3});
    std::vector<uint8_t> destination(24, 9);
    SetAllocationFailureHook(FailEveryAllocation);
    EXPECT_FALSE(ResampleHorizontally(source.data(), 3, destination.data(), 6, 1));
    EXPECT_FALSE(ResampleVertically(source.data(), 1, 3, destination.data(), 1, 6));
    SetAllocationFailureHook(nullptr);
    EXPECT_EQ(destination, std::vector<uint8_t>(24, 9));
    EXPECT_FALSE(ResampleHorizontally(source.data(), 3, destination.data(), 0, 1));
}

}  // namespace
}  // namespace vorlune
