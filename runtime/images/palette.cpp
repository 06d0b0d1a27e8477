// Palettes by NeuQuant, the self-organising colour quantizer of Anthony Dekker (1994), here over
// four channels in floating point, and rows of nearest palette indices.
#include "runtime/images/palette.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstring>

#include "runtime/core/memory.h"
#include "runtime/images/codecs.h"

namespace vorlune {

namespace {

// Learning constants of the algorithm.
constexpr int32_t kPrimes[4] = {499, 491, 487, 503};  // sampling steps, in pixels
constexpr int64_t kMinSampledPixels = 503;            // smaller images are sampled pixel by pixel
constexpr int64_t kPixelsPerSampleStep = 262144;
constexpr int64_t kLargeImagePixels = 2621440;
constexpr int32_t kLargeImageSampling = 10;
constexpr int32_t kLearningCycles = 100;
constexpr int32_t kRadiusBiasShift = 6;  // the radius is kept in 64ths
constexpr int32_t kRadiusDecrease = 30;
constexpr double kBeta = 1.0 / 1024.0;  // frequency learning rate
constexpr double kGamma = 1024.0;       // bias weight of the frequency
constexpr int32_t kAlphaNeurons = 16;   // the first neurons start with alpha 16 x i

constexpr int32_t kCacheSlots = 4096;
constexpr int32_t kErrorUnits = 16;  // dithering errors are carried in 16ths

struct Network {
    double neurons[kMaxPaletteEntries][4];
    double frequency[kMaxPaletteEntries];
    double bias[kMaxPaletteEntries];
    double radiusPower[kMaxPaletteEntries];
    int32_t size;
};

void SamplePixel(const PaletteReduction& source, int64_t index, double pixel[4]) {
    const int64_t row = index / source.width, column = index % source.width;
    const uint8_t* p = source.pixels + row * source.pitch + column * source.sourceBytes;
    pixel[0] = p[0];
    pixel[1] = p[1];
    pixel[2] = p[2];
    pixel[3] = source.sourceBytes == 4 ? p[3] : 255;
}

// The neuron nearest the pixel, with the bias that keeps rarely chosen neurons in play; the
// frequencies and biases learn on the way.
int32_t Contest(Network& network, const double pixel[4]) {
    double bestDistance = INFINITY, bestBiasedDistance = INFINITY;
    int32_t best = 0, bestBiased = 0;
    for (int32_t i = 0; i < network.size; ++i) {
        const double* n = network.neurons[i];
        const double distance = std::fabs(n[0] - pixel[0]) + std::fabs(n[1] - pixel[1]) +
                                std::fabs(n[2] - pixel[2]) + std::fabs(n[3] - pixel[3]);
        if (distance < bestDistance) {
            bestDistance = distance;
            best = i;
        }
        const double biasedDistance = distance - network.bias[i];
        if (biasedDistance < bestBiasedDistance) {
            bestBiasedDistance = biasedDistance;
            bestBiased = i;
        }
        const double betaFrequency = network.frequency[i] * kBeta;
        network.frequency[i] -= betaFrequency;
        network.bias[i] += betaFrequency * kGamma;
    }
    network.frequency[best] += kBeta;
    network.bias[best] -= kBeta * kGamma;
    return bestBiased;
}

void MoveNeuron(double* neuron, double rate, const double pixel[4]) {
    for (int c = 0; c < 4; ++c)
        neuron[c] -= rate * (neuron[c] - pixel[c]);
}

void MoveNeighbours(Network& network, int32_t radius, int32_t centre, const double pixel[4]) {
    const int32_t low = std::max(centre - radius, -1);
    const int32_t high = std::min(centre + radius, network.size);
    int32_t up = centre + 1, down = centre - 1, m = 1;
    while (up < high || down > low) {
        const double rate = network.radiusPower[m++];
        if (up < high) MoveNeuron(network.neurons[up++], rate, pixel);
        if (down > low) MoveNeuron(network.neurons[down--], rate, pixel);
    }
}

int32_t RadiusOf(int32_t biasedRadius) {
    const int32_t radius = biasedRadius >> kRadiusBiasShift;
    return radius <= 1 ? 0 : radius;
}

void SetRadiusPower(Network& network, int32_t radius, double alpha) {
    const double square = static_cast<double>(radius) * radius;
    for (int32_t i = 0; i < radius; ++i)
        network.radiusPower[i] = alpha * ((square - static_cast<double>(i) * i) / square);
}

int32_t SamplingStep(int64_t pixels) {
    if (pixels < kMinSampledPixels) return 1;
    for (int32_t prime : kPrimes) {
        if (pixels % prime != 0) return prime;
    }
    return kPrimes[3];
}

uint8_t ClampToByte(double value) {
    const double rounded = std::round(value);
    if (!(rounded >= 0.0)) return 0;
    return rounded >= 255.0 ? 255 : static_cast<uint8_t>(rounded);
}

int32_t SquaredDistance(const uint8_t* colour, const int32_t pixel[4]) {
    int32_t sum = 0;
    for (int c = 0; c < 4; ++c) {
        const int32_t d = colour[c] - pixel[c];
        sum += d * d;
    }
    return sum;
}

// Nearest by squared distance over the four channels, searching outwards in green order and
// stopping on each side once green alone is farther than the best so far.
int32_t SearchNearest(const PaletteReduction& reduction, const int32_t pixel[4]) {
    const int32_t green = pixel[1];
    int32_t up = 0;
    while (up < reduction.entries && reduction.colours[reduction.byGreen[up]][1] < green)
        ++up;
    int32_t down = up - 1;
    int32_t best = 0, bestDistance = INT_MAX;
    auto consider = [&](int32_t& position, int32_t direction) {
        const int32_t entry = reduction.byGreen[position];
        const int32_t dg = reduction.colours[entry][1] - green;
        if (dg * dg >= bestDistance) {
            position = direction > 0 ? reduction.entries : -1;
            return;
        }
        const int32_t distance = SquaredDistance(reduction.colours[entry], pixel);
        if (distance < bestDistance || (distance == bestDistance && entry < best)) {
            bestDistance = distance;
            best = entry;
        }
        position += direction;
    };
    while (up < reduction.entries || down >= 0) {
        if (up < reduction.entries) consider(up, 1);
        if (down >= 0) consider(down, -1);
    }
    return best;
}

uint32_t PackPixel(const int32_t pixel[4]) {
    return static_cast<uint32_t>(pixel[0]) | static_cast<uint32_t>(pixel[1]) << 8 |
           static_cast<uint32_t>(pixel[2]) << 16 | static_cast<uint32_t>(pixel[3]) << 24;
}

uint32_t CacheSlot(uint32_t key) {
    return (key * 2654435761u) >> 20;  // 12 bits: kCacheSlots
}

void SortByGreen(PaletteReduction* reduction) {
    for (int32_t i = 0; i < reduction->entries; ++i)
        reduction->byGreen[i] = static_cast<uint8_t>(i);
    std::stable_sort(reduction->byGreen, reduction->byGreen + reduction->entries,
                     [reduction](uint8_t a, uint8_t b) {
                         return reduction->colours[a][1] < reduction->colours[b][1];
                     });
}

// Every slot starts valid: key 0 with the nearest entry of the pixel 0.
bool CreateCache(PaletteReduction* reduction) {
    reduction->cacheKeys = static_cast<uint32_t*>(AllocZeroed(sizeof(uint32_t) * kCacheSlots));
    reduction->cacheIndices = static_cast<uint8_t*>(AllocRaw(kCacheSlots));
    if (reduction->cacheKeys == nullptr || reduction->cacheIndices == nullptr) return false;
    const int32_t zero[4] = {0, 0, 0, 0};
    std::memset(reduction->cacheIndices, SearchNearest(*reduction, zero), kCacheSlots);
    return true;
}

int32_t NearestPaletteEntry(PaletteReduction* reduction, const int32_t pixel[4]) {
    if (reduction->cacheKeys == nullptr) return SearchNearest(*reduction, pixel);
    const uint32_t key = PackPixel(pixel);
    const uint32_t slot = CacheSlot(key);
    if (reduction->cacheKeys[slot] != key) {
        reduction->cacheKeys[slot] = key;
        reduction->cacheIndices[slot] = static_cast<uint8_t>(SearchNearest(*reduction, pixel));
    }
    return reduction->cacheIndices[slot];
}

int32_t RoundedError(int32_t sixteenths) {
    return sixteenths >= 0 ? (sixteenths + kErrorUnits / 2) / kErrorUnits
                           : -((-sixteenths + kErrorUnits / 2) / kErrorUnits);
}

void LuminanceRow(const PaletteReduction& reduction, const uint8_t* in, uint8_t* indices) {
    for (int32_t x = 0; x < reduction.width; ++x, in += reduction.sourceBytes)
        indices[x] = 0.2126 * in[0] + 0.7152 * in[1] + 0.0722 * in[2] > 160.0 ? 1 : 0;
}

void NearestRow(PaletteReduction* reduction, const uint8_t* in, uint8_t* indices) {
    for (int32_t x = 0; x < reduction->width; ++x, in += reduction->sourceBytes) {
        const int32_t pixel[4] = {in[0], in[1], in[2], reduction->sourceBytes == 4 ? in[3] : 255};
        indices[x] = static_cast<uint8_t>(NearestPaletteEntry(reduction, pixel));
    }
}

// Floyd-Steinberg: 7/16 of the error to the right, 3/16, 5/16 and 1/16 to the row below.
void DitheredRow(PaletteReduction* reduction, int32_t row, const uint8_t* in, uint8_t* indices) {
    const int64_t rowTerms = (int64_t{reduction->width} + 2) * 4;
    int32_t* current = reduction->errors;
    int32_t* below = reduction->errors + rowTerms;
    if (row == reduction->lastRow + 1) {
        std::memcpy(current, below, sizeof(int32_t) * rowTerms);
    } else {
        std::memset(current, 0, sizeof(int32_t) * rowTerms);
    }
    std::memset(below, 0, sizeof(int32_t) * rowTerms);
    reduction->lastRow = row;
    for (int32_t x = 0; x < reduction->width; ++x, in += reduction->sourceBytes) {
        const int32_t source[4] = {in[0], in[1], in[2], reduction->sourceBytes == 4 ? in[3] : 255};
        int32_t pixel[4];
        for (int c = 0; c < 4; ++c)
            pixel[c] = std::clamp(source[c] + RoundedError(current[(x + 1) * 4 + c]), 0, 255);
        const int32_t index = NearestPaletteEntry(reduction, pixel);
        indices[x] = static_cast<uint8_t>(index);
        for (int c = 0; c < 4; ++c) {
            const int32_t error = pixel[c] - reduction->colours[index][c];
            current[(x + 2) * 4 + c] += 7 * error;
            below[x * 4 + c] += 3 * error;
            below[(x + 1) * 4 + c] += 5 * error;
            below[(x + 2) * 4 + c] += error;
        }
    }
}

void TrainNeuQuant(const PaletteReduction& source, int32_t neurons, uint8_t colours[][4]) {
    Network network;
    network.size = neurons;
    for (int32_t i = 0; i < neurons; ++i) {
        const double grey = GammaTableEntry(i * 256 / neurons);
        network.neurons[i][0] = network.neurons[i][1] = network.neurons[i][2] = grey;
        network.neurons[i][3] = i < kAlphaNeurons ? 16.0 * i : 255.0;
        network.frequency[i] = 1.0 / neurons;
        network.bias[i] = 0.0;
    }
    const int64_t pixels = int64_t{source.width} * source.height;
    const int64_t sampling =
        pixels < kLargeImagePixels ? pixels / kPixelsPerSampleStep + 1 : kLargeImageSampling;
    const double alphaDecrease = 30.0 + static_cast<double>((sampling - 1) / 3);
    const int64_t samples = pixels / sampling;
    const int64_t delta = std::max<int64_t>(samples / kLearningCycles, 1);
    const int32_t step = SamplingStep(pixels);
    double alpha = 1.0;
    int32_t biasedRadius = (neurons >> 3) << kRadiusBiasShift;
    int32_t radius = RadiusOf(biasedRadius);
    SetRadiusPower(network, radius, alpha);

    int64_t position = 0;
    for (int64_t i = 1; i <= samples; ++i) {
        double pixel[4];
        SamplePixel(source, position, pixel);
        const int32_t winner = Contest(network, pixel);
        MoveNeuron(network.neurons[winner], alpha, pixel);
        if (radius > 0) MoveNeighbours(network, radius, winner, pixel);
        position += step;
        if (position >= pixels) position -= pixels;
        if (i % delta == 0) {
            alpha -= alpha / alphaDecrease;
            biasedRadius -= biasedRadius / kRadiusDecrease;
            radius = RadiusOf(biasedRadius);
            SetRadiusPower(network, radius, alpha);
        }
    }
    for (int32_t i = 0; i < neurons; ++i) {
        for (int c = 0; c < 4; ++c)
            colours[i][c] = ClampToByte(network.neurons[i][c]);
    }
}

}  // namespace

// The initial neurons' grey levels ----------------------------------------------------------------

uint8_t GammaTableEntry(int32_t j) {
    return static_cast<uint8_t>(std::lround(255.0 * std::pow(j / 255.0, 1.0 / kPaletteGamma)));
}

// Reduction ---------------------------------------------------------------------------------------

bool ReducePalette(PaletteReduction* reduction, const uint8_t* pixels, int32_t width,
                   int32_t height, int32_t sourceBits, int64_t pitch, int32_t depth,
                   int32_t options) {
    std::memset(reduction, 0, sizeof *reduction);
    const int32_t sourceBytes = sourceBits / 8;
    if (pixels == nullptr || width < 1 || height < 1 || (sourceBits != 24 && sourceBits != 32) ||
        (depth != 1 && depth != 4 && depth != 8) || pitch < int64_t{width} * sourceBytes) {
        return false;
    }
    reduction->depth = depth;
    reduction->entries = 1 << depth;
    reduction->pixels = pixels;
    reduction->pitch = pitch;
    reduction->width = width;
    reduction->height = height;
    reduction->sourceBytes = sourceBytes;
    reduction->options = options;
    reduction->lastRow = -2;
    if (depth == 1) {
        const uint8_t fixed[2][4] = {{0, 0, 0, 255}, {255, 255, 255, 255}};
        std::memcpy(reduction->colours, fixed, sizeof fixed);
        return true;
    }
    TrainNeuQuant(*reduction, reduction->entries, reduction->colours);
    SortByGreen(reduction);
    bool ready = CreateCache(reduction);
    if (ready && (options & kPaletteDither) != 0) {
        const uint64_t terms = (uint64_t(width) + 2) * 4 * 2;
        reduction->errors = static_cast<int32_t*>(AllocZeroed(terms * sizeof(int32_t)));
        ready = reduction->errors != nullptr;
    }
    if (!ready) EndPaletteReduction(reduction);
    return ready;
}

void PaletteRow(PaletteReduction* reduction, int32_t row, uint8_t* indices) {
    const uint8_t* in = reduction->pixels + int64_t{row} * reduction->pitch;
    if (reduction->depth == 1) {
        LuminanceRow(*reduction, in, indices);
    } else if (reduction->errors != nullptr) {
        DitheredRow(reduction, row, in, indices);
    } else {
        NearestRow(reduction, in, indices);
    }
}

void EndPaletteReduction(PaletteReduction* reduction) {
    FreeMemory(reduction->errors);
    FreeMemory(reduction->cacheKeys);
    FreeMemory(reduction->cacheIndices);
    reduction->errors = nullptr;
    reduction->cacheKeys = nullptr;
    reduction->cacheIndices = nullptr;
}

}  // namespace vorlune
