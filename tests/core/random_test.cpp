#include "runtime/core/random.h"

#include <gtest/gtest.h>
#include <pthread.h>
#include <sys/time.h>

#include <array>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <vector>

namespace vorlune {
namespace {

// An independent model of the generator: lanes as arrays, positions counted upwards and
// mapped onto the lanes with explicit modular arithmetic.
class LaneModel {
  public:
    explicit LaneModel(uint32_t seed) {
        uint64_t x = seed;
        for (size_t k = 0; k < 34; ++k) {
            x = (x * 2891336453u + 1) % 4294967296u;
            (k % 2 == 0 ? laneB_ : laneA_)[k / 2] = static_cast<uint32_t>(x);
        }
        for (int k = 0; k < 31; ++k)
            Step();
    }

    std::array<uint32_t, 2> Step() {
        const size_t i = (17 - steps_ % 17) % 17;
        const size_t j = (i + 10) % 17;
        const uint64_t a = laneA_[i], b = laneB_[i];
        const uint32_t y1 = static_cast<uint32_t>(
            ((b * 524288u) % 4294967296u + b / 8192u + laneB_[j]) % 4294967296u);
        const uint32_t y2 = static_cast<uint32_t>(
            ((a * 134217728u) % 4294967296u + a / 32u + laneA_[j]) % 4294967296u);
        laneA_[i] = y1;
        laneB_[i] = y2;
        ++steps_;
        return {y1, y2};
    }

    int32_t IndexI() const { return static_cast<int32_t>((17 - steps_ % 17) % 17); }
    const std::array<uint32_t, 17>& LaneA() const { return laneA_; }
    const std::array<uint32_t, 17>& LaneB() const { return laneB_; }

  private:
    std::array<uint32_t, 17> laneA_{};
    std::array<uint32_t, 17> laneB_{};
    uint64_t steps_ = 0;
};

bool StateMatches(const RandomState& state, const LaneModel& model) {
    return state.indexI == model.IndexI() && state.indexJ == (model.IndexI() + 10) % 17 &&
           std::memcmp(state.laneA, model.LaneA().data(), sizeof state.laneA) == 0 &&
           std::memcmp(state.laneB, model.LaneB().data(), sizeof state.laneB) == 0;
}

uint32_t LittleEndianWord(const uint8_t* bytes) {
    return bytes[0] | bytes[1] << 8 | bytes[2] << 16 | static_cast<uint32_t>(bytes[3]) << 24;
}

TEST(RandomTest, FirstOutputsAfterSeedingAreTheKnownOnes) {
    // Worked out by a separate program from the lane algorithm.
    SeedRandom(12345);
    uint8_t bytes[24];
    RandomFill(bytes, sizeof bytes);
    const uint32_t expected[] = {0x6b4b519d, 0x47752d85, 0x50f8c8c0,
                                 0xb5e6cf88, 0xc0697a2f, 0xa995eec5};
    for (int k = 0; k < 6; ++k)
        EXPECT_EQ(LittleEndianWord(bytes + 4 * k), expected[k]) << k;

    SeedRandom(12345);
    const struct {
        uint64_t max;
        uint64_t result;
    } draws[] = {{5, 1},
                 {999997, 710551},
                 {(uint64_t{1} << 40) + 5, 728364926403},
                 {0xFFFFFFFFFFFFFFFE, 6294433515168041387u},
                 {0xFFFFFFFF, 2512594883}};
    for (const auto& draw : draws)
        EXPECT_EQ(RandomUpTo(draw.max), draw.result) << draw.max;
}

TEST(RandomTest, StateAndOutputsFollowTheLaneModel) {
    for (const uint32_t seed : {0u, 1u, 0xDEADBEEFu, 0xFFFFFFFFu}) {
        SeedRandom(seed);
        LaneModel model(seed);
        ASSERT_TRUE(StateMatches(CurrentRandomState(), model)) << seed;
        for (int k = 0; k < 60; ++k) {  // several turns round the lanes
            const auto [y1, y2] = model.Step();
            uint8_t bytes[8];
            RandomFill(bytes, 8);
            ASSERT_EQ(LittleEndianWord(bytes), y2) << seed << " step " << k;
            ASSERT_EQ(LittleEndianWord(bytes + 4), y1) << seed << " step " << k;
        }
        // Below 2^32 a draw is y1 scaled: (max + 1) * y1 >> 32.
        for (const uint64_t max :
             {uint64_t{0}, uint64_t{1}, uint64_t{999997}, uint64_t{0xFFFFFFFF}}) {
            const uint64_t y1 = model.Step()[0];
            EXPECT_EQ(RandomUpTo(max), ((max + 1) * y1) >> 32) << max;
        }
        EXPECT_TRUE(StateMatches(CurrentRandomState(), model));
    }
}

TEST(RandomTest, SameSeedGivesTheSameSequence) {
    std::vector<int64_t> first, second;
    SeedRandom(20240601);
    for (int k = 0; k < 50; ++k)
        first.push_back(RandomInRange(999999, 2));
    SeedRandom(20240601);
    for (int k = 0; k < 50; ++k)
        second.push_back(RandomInRange(999999, 2));
    EXPECT_EQ(first, second);
    SeedRandom(20240602);
    EXPECT_NE(RandomInRange(999999, 2), first[0]);
}

TEST(RandomTest, RangeBoundsFollowTheUnsignedSmallerBound) {
    constexpr int64_t kMin = std::numeric_limits<int64_t>::min();
    constexpr int64_t kMax = std::numeric_limits<int64_t>::max();
    const struct {
        int64_t max, min, lowest, highest;
        bool coversAll;
    } cases[] = {
        {5, 0, 0, 5, true},
        {1, 0, 0, 1, true},
        {999999, 2, 2, 999999, false},
        {-3, -10, -10, -3, true},
        {3, 10, 3, 3, true},
        {5, -3, 5, 5, true},
        {7, 7, 7, 7, true},
        {-9, -9, -9, -9, true},
        {kMin, kMin, kMin, kMin, true},
        {kMax, kMax, kMax, kMax, true},
        {kMax, kMin, kMax, kMax, true},
    };
    SeedRandom(5);
    for (const auto& c : cases) {
        std::vector<bool> seen(c.coversAll ? static_cast<size_t>(c.highest - c.lowest + 1) : 0);
        for (int k = 0; k < 600; ++k) {
            const int32_t indexBefore = CurrentRandomState().indexI;
            const int64_t value = RandomInRange(c.max, c.min);
            ASSERT_GE(value, c.lowest) << c.max << ", " << c.min;
            ASSERT_LE(value, c.highest) << c.max << ", " << c.min;
            ASSERT_NE(CurrentRandomState().indexI, indexBefore) << "every draw takes a step";
            if (c.coversAll) seen[static_cast<size_t>(value - c.lowest)] = true;
        }
        for (size_t v = 0; v < seen.size(); ++v)
            EXPECT_TRUE(seen[v]) << c.max << ", " << c.min << " never gave " << c.lowest + v;
    }
}

TEST(RandomTest, AllOnesMaximumGivesZeroAndStillSteps) {
    SeedRandom(99);
    LaneModel model(99);
    EXPECT_EQ(RandomUpTo(~uint64_t{0}), 0u);
    model.Step();
    EXPECT_TRUE(StateMatches(CurrentRandomState(), model));
    // -1 compares above 0, so the range is all ones and the draw adds nothing to 0.
    EXPECT_EQ(RandomInRange(-1, 0), 0);
}

TEST(RandomTest, FillWritesWholePairsThenThePartOfOneMore) {
    SeedRandom(31337);
    LaneModel model(31337);
    const auto first = model.Step();
    const auto second = model.Step();
    uint8_t expected[16];
    for (int k = 0; k < 4; ++k) {
        expected[k] = static_cast<uint8_t>(first[1] >> (8 * k));
        expected[4 + k] = static_cast<uint8_t>(first[0] >> (8 * k));
        expected[8 + k] = static_cast<uint8_t>(second[1] >> (8 * k));
        expected[12 + k] = static_cast<uint8_t>(second[0] >> (8 * k));
    }
    uint8_t buffer[16];
    std::memset(buffer, 0xA5, sizeof buffer);
    RandomFill(buffer, 11);
    EXPECT_EQ(std::memcmp(buffer, expected, 11), 0);
    for (int k = 11; k < 16; ++k)
        EXPECT_EQ(buffer[k], 0xA5) << "byte " << k << " written";
    EXPECT_TRUE(StateMatches(CurrentRandomState(), model)) << "two steps, no more";
}

TEST(RandomTest, EmptyOrMissingBufferTakesNoStep) {
    SeedRandom(8);
    const LaneModel model(8);
    uint8_t byte = 0x5A;
    RandomFill(&byte, 0);
    RandomFill(&byte, -8);
    RandomFill(nullptr, 16);
    EXPECT_EQ(byte, 0x5A);
    EXPECT_TRUE(StateMatches(CurrentRandomState(), model));
}

TEST(RandomTest, RoundValueByMode) {
    const double kInf = std::numeric_limits<double>::infinity();
    const struct {
        double x;
        int32_t mode;
        double result;
    } cases[] = {
        {2.5, 2, 3.0},
        {-2.5, 2, -3.0},
        {-0.4, 2, -0.0},
        {0.0, 2, -0.0},
        {-0.0, 2, -0.0},
        {0.4, 2, 0.0},
        {0.5, 2, 1.0},
        {-0.5, 2, -1.0},
        {127.5, 2, 128.0},
        {2.4999999999999996, 2, 2.0},
        {0.49999999999999994, 2, 0.0},
        {-0.49999999999999994, 2, -0.0},
        {4503599627370497.0, 2, 4503599627370497.0},
        {-4503599627370497.0, 2, -4503599627370497.0},
        {kInf, 2, kInf},
        {-kInf, 2, -kInf},
        {2.1, 1, 3.0},
        {-2.1, 1, -2.0},
        {-0.5, 1, -0.0},
        {-2.1, 0, -3.0},
        {2.9, 0, 2.0},
        {2.9, 7, 2.0},
        {-2.1, -1, -3.0},
    };
    for (const auto& c : cases) {
        const double result = RoundValue(c.x, c.mode);
        EXPECT_EQ(result, c.result) << c.x << " mode " << c.mode;
        EXPECT_EQ(std::signbit(result), std::signbit(c.result)) << c.x << " mode " << c.mode;
    }
    for (const int32_t mode : {0, 1, 2})
        EXPECT_TRUE(std::isnan(RoundValue(std::numeric_limits<double>::quiet_NaN(), mode)));
}

// The checks of the unseeded generator run in a fresh process of their own.
void CheckFirstUseSeedsFromTheClock() {
    if (CurrentRandomState().seeded) std::exit(2);
    timeval before{}, after{};
    gettimeofday(&before, nullptr);
    RandomUpTo(0);
    gettimeofday(&after, nullptr);
    if (!CurrentRandomState().seeded) std::exit(3);
    const uint32_t thread = static_cast<uint32_t>(pthread_self());
    const int64_t first = int64_t{before.tv_sec} * 1000 + before.tv_usec / 1000;
    const int64_t last = int64_t{after.tv_sec} * 1000 + after.tv_usec / 1000;
    for (int64_t millisecond = first; millisecond <= last; ++millisecond) {
        const uint32_t clock = static_cast<uint32_t>(
            static_cast<uint32_t>(millisecond / 1000) * 1000u + millisecond % 1000);
        LaneModel model(clock ^ thread);
        model.Step();
        if (StateMatches(CurrentRandomState(), model)) std::exit(0);
    }
    std::exit(4);
}

void CheckExplicitSeedOnFirstUseDependsOnTheSeedAlone() {
    if (CurrentRandomState().seeded) std::exit(2);
    SeedRandom(4242);
    if (!CurrentRandomState().seeded) std::exit(3);
    std::exit(StateMatches(CurrentRandomState(), LaneModel(4242)) ? 0 : 4);
}

TEST(RandomDeathTest, UnseededGeneratorSeedsItselfOnFirstUse) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(CheckFirstUseSeedsFromTheClock(), testing::ExitedWithCode(0), "");
    EXPECT_EXIT(CheckExplicitSeedOnFirstUseDependsOnTheSeedAlone(), testing::ExitedWithCode(0), "");
}

}  // namespace
}  // namespace vorlune
