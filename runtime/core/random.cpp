#include "runtime/core/random.h"

#include <pthread.h>
#include <sys/time.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <type_traits>

namespace vorlune {
namespace {

constexpr uint32_t kSeedMultiplier = 0xAC564B05u;  // 2891336453
constexpr int32_t kLagDistance = 10;
constexpr int kDiscardedSteps = 31;

RandomState randomState;

uint32_t RotateLeft(uint32_t value, int bits) {
    return (value << bits) | (value >> (32 - bits));
}

int32_t PreviousIndex(int32_t index) {
    return index == 0 ? kRandomLaneWords - 1 : index - 1;
}

// Fills the lanes from a linear congruential sequence, laneB before laneA at each index, and
// runs the generator past its first, poorly mixed outputs.
void SeedLanes(uint32_t seed) {
    uint32_t x = seed;
    for (int index = 0; index < kRandomLaneWords; ++index) {
        x = x * kSeedMultiplier + 1;
        randomState.laneB[index] = x;
        x = x * kSeedMultiplier + 1;
        randomState.laneA[index] = x;
    }
    randomState.indexI = 0;
    randomState.indexJ = kLagDistance;
    for (int step = 0; step < kDiscardedSteps; ++step)
        StepRandom(randomState);
}

uint32_t ClockSeed() {
    timeval now{};
    gettimeofday(&now, nullptr);
    const uint32_t milliseconds =
        static_cast<uint32_t>(now.tv_sec) * 1000u + static_cast<uint32_t>(now.tv_usec / 1000);
    static_assert(std::is_integral_v<pthread_t>, "the thread handle is taken as a number");
    return milliseconds ^ static_cast<uint32_t>(pthread_self());
}

void SeedFromClockOnce() {
    if (randomState.seeded) return;
    randomState.seeded = 1;
    SeedLanes(ClockSeed());
}

void StoreLittleEndian(uint8_t* bytes, uint32_t word) {
    for (int k = 0; k < 4; ++k)
        bytes[k] = static_cast<uint8_t>(word >> (8 * k));
}

double RoundHalfAwayFromZero(double x) {
    // Same results as floor(x + 0.5) and ceil(x - 0.5), signed zeros included, but without
    // the rounding of that addition, which turns 0.49999999999999994 into 1 and moves odd
    // whole numbers above 2^52 to the next even one.
    if (x > 0) {
        const double whole = std::floor(x);
        return x - whole >= 0.5 ? whole + 1 : whole;
    }
    double whole = std::ceil(x);  // not a number stays not a number
    if (whole - x >= 0.5) whole -= 1;
    return whole == 0 ? -0.0 : whole;  // every x in (-0.5, 0] gives negative zero
}

}  // namespace

RandomPair StepRandom(RandomState& state) {
    const int32_t i = state.indexI;
    const int32_t j = state.indexJ;
    const uint32_t a = state.laneA[i];
    const uint32_t b = state.laneB[i];
    const RandomPair out{RotateLeft(b, 19) + state.laneB[j], RotateLeft(a, 27) + state.laneA[j]};
    state.laneA[i] = out.y1;
    state.laneB[i] = out.y2;
    state.indexI = PreviousIndex(i);
    state.indexJ = PreviousIndex(j);
    return out;
}

void SeedRandom(uint32_t seed) {
    SeedFromClockOnce();
    SeedLanes(seed);
}

uint64_t RandomUpTo(uint64_t max) {
    SeedFromClockOnce();
    const RandomPair pair = StepRandom(randomState);
    const uint64_t n = max + 1;
    if (n == 0) return 0;
    // n times the fraction 0.y1y2 (64 bits), leaving out the lowest partial product nl * y2.
    const uint64_t nh = n >> 32;
    const uint64_t nl = n & 0xFFFFFFFFu;
    return nh * pair.y1 + ((nl * pair.y1) >> 32) + ((nh * pair.y2) >> 32);
}

int64_t RandomInRange(int64_t max, int64_t min) {
    const uint64_t high = static_cast<uint64_t>(max);
    const uint64_t low = std::min(high, static_cast<uint64_t>(min));
    return static_cast<int64_t>(low + RandomUpTo(high - low));
}

void RandomFill(void* buffer, int64_t length) {
    SeedFromClockOnce();
    if (buffer == nullptr || length <= 0) return;
    auto* bytes = static_cast<uint8_t*>(buffer);
    uint8_t pairBytes[8];
    for (int64_t offset = 0; offset < length; offset += 8) {
        const RandomPair pair = StepRandom(randomState);
        StoreLittleEndian(pairBytes, pair.y2);
        StoreLittleEndian(pairBytes + 4, pair.y1);
        const int64_t count = std::min<int64_t>(8, length - offset);
        std::memcpy(bytes + offset, pairBytes, static_cast<size_t>(count));
    }
}

const RandomState& CurrentRandomState() {
    return randomState;
}

double RoundValue(double x, int32_t mode) {
    if (mode == 2) return RoundHalfAwayFromZero(x);
    if (mode == 1) return std::ceil(x);
    return std::floor(x);
}

double Power(double base, double exponent) {
    return std::pow(base, exponent);
}

}  // namespace vorlune
