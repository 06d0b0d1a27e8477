#pragma once
// The process-wide random generator, rounding by mode and the power function.

#include <cstdint>

namespace vorlune {

inline constexpr int kRandomLaneWords = 17;

// One per process; the two lanes lie back to back.
struct RandomState {
    uint8_t seeded;  // set by the first seeding, explicit or from the clock
    int32_t indexI;  // current position, 0..16
    int32_t indexJ;  // lagged position, always indexI + 10 modulo 17
    uint32_t laneA[kRandomLaneWords];
    uint32_t laneB[kRandomLaneWords];
};

struct RandomPair {
    uint32_t y1;  // new laneA word
    uint32_t y2;  // new laneB word
};

// Generator -----------------------------------------------------------------------------------
RandomPair StepRandom(RandomState& state);        // one step of the two-lane generator
void SeedRandom(uint32_t seed);                   // the same seed always gives the same sequence
uint64_t RandomUpTo(uint64_t max);                // in [0, max]; 0 for max = all ones
int64_t RandomInRange(int64_t max, int64_t min);  // from the unsigned-smaller bound up to max
void RandomFill(void* buffer, int64_t length);    // nothing for a null buffer or length <= 0
const RandomState& CurrentRandomState();          // for tests and diagnostics

// Rounding and power --------------------------------------------------------------------------
double RoundValue(double x, int32_t mode);  // 2 nearest (halves away from zero), 1 up, else down
double Power(double base, double exponent);

}  // namespace vorlune
