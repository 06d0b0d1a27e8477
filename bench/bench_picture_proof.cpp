// The long checks behind the fast picture, too slow for the test suite (about half a minute):
// 1. HueOfFloat equals the long double HueOfValue for every float in [-1, 1] and every NaN;
// 2. the guarded double sine rounds to the float of the long double sine, on random arguments;
// 3. glibc's vector log2 and exp2 stay within the 4 units the error bounds assume (log2 also
//    absolutely, below 2^-51 on the mantissas [1, 2) the power takes it of), and each vector
//    sine within its certified bound;
// 4. every code path draws the literal picture for random settings, by columns and by rows.
// Prints what it found and exits with 1 on any mismatch.
#if defined(__x86_64__) && defined(VORLUNE_VECTOR_PICTURE)
#include <immintrin.h>
#endif

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <random>
#include <thread>
#include <vector>

#include "app/picture.h"
#include "app/picture_fast.h"
#include "app/picture_rows.h"

namespace vorlune {
namespace {

constexpr uint32_t kFloatOne = 0x3F800000;
constexpr uint32_t kSignBit = 0x80000000;
constexpr uint32_t kExponentMask = 0x7F800000;
constexpr int kThreads = 2;

float FloatOfBits(uint32_t bits) {
    float v;
    std::memcpy(&v, &bits, sizeof v);
    return v;
}

// Bit patterns 0..kFloatOne with either sign, then every NaN, split over the threads.
uint64_t HueMismatches(std::atomic<uint64_t>& checked) {
    std::atomic<uint64_t> mismatches{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([t, &mismatches, &checked] {
            uint64_t count = 0;
            uint64_t wrong = 0;
            const auto check = [&](uint32_t bits) {
                const float v = FloatOfBits(bits);
                ++count;
                if (HueOfFloat(v) != HueOfValue(v) && ++wrong <= 5)
                    std::printf("  hue differs at %a (bits %08x)\n", v, bits);
            };
            for (uint32_t magnitude = t; magnitude <= kFloatOne; magnitude += kThreads) {
                check(magnitude);
                check(magnitude | kSignBit);
            }
            for (uint32_t fraction = 1 + t; fraction < 0x800000; fraction += kThreads) {
                check(kExponentMask | fraction);
                check(kExponentMask | fraction | kSignBit);
            }
            mismatches += wrong;
            checked += count;
        });
    }
    for (std::thread& thread : threads)
        thread.join();
    return mismatches;
}

double LogUniform(std::mt19937_64& random, int lowest, int highest) {
    return std::exp2(std::uniform_real_distribution<double>(lowest, highest)(random));
}

uint64_t GuardedSineMismatches(int samples) {
    std::mt19937_64 random(1);
    uint64_t wrong = 0;
    for (int i = 0; i < samples; ++i) {
        const double x = LogUniform(random, -40, 60);
        if (SineAsFloat(x) != static_cast<float>(std::sin(static_cast<long double>(x))) &&
            ++wrong <= 5)
            std::printf("  guarded sine differs at %a\n", x);
    }
    return wrong;
}

#if defined(__x86_64__) && defined(VORLUNE_VECTOR_PICTURE)
#define VORLUNE_AVX512 __attribute__((target("avx512f")))
#define VORLUNE_AVX2 __attribute__((target("avx2")))
extern "C" VORLUNE_AVX512 __m512d _ZGVeN8v_log2(__m512d);
extern "C" VORLUNE_AVX512 __m512d _ZGVeN8v_exp2(__m512d);
extern "C" VORLUNE_AVX2 __m256d _ZGVdN4v_log2(__m256d);
extern "C" VORLUNE_AVX2 __m256d _ZGVdN4v_exp2(__m256d);

enum class Function { Log2, Exp2, MantissaLog2 };

VORLUNE_AVX512 void Apply8(Function f, const double* x, double* out) {
    const __m512d a = _mm512_loadu_pd(x);
    _mm512_storeu_pd(out, f == Function::Exp2 ? _ZGVeN8v_exp2(a) : _ZGVeN8v_log2(a));
}

VORLUNE_AVX2 void Apply4(Function f, const double* x, double* out) {
    const __m256d a = _mm256_loadu_pd(x);
    _mm256_storeu_pd(out, f == Function::Exp2 ? _ZGVdN4v_exp2(a) : _ZGVdN4v_log2(a));
}

double UnitsInTheLastPlace(double value, long double exact) {
    const double rounded = static_cast<double>(exact);
    const double unit = std::nextafter(std::fabs(rounded), INFINITY) - std::fabs(rounded);
    return static_cast<double>(std::fabs(value - exact) / unit);
}

// The largest error over random arguments of the ranges the picture uses: in units, or for the
// logarithm of mantissas in units of 2^-53 absolute.
double WorstUnits(PicturePath path, Function f, int samples) {
    std::mt19937_64 random(2);
    double worst = 0;
    double x[8], out[8];
    for (int i = 0; i < samples; i += 8) {
        for (int lane = 0; lane < 8; ++lane) {
            if (f == Function::Exp2) {
                x[lane] = std::uniform_real_distribution<double>(-70, 70)(random);
            } else if (f == Function::MantissaLog2) {
                x[lane] = 1 + std::uniform_real_distribution<double>(0, 1)(random);
                if (lane % 2 == 1) x[lane] = 1 + LogUniform(random, -52, -1);  // close to 1
            } else {
                x[lane] = LogUniform(random, -100, 200);
                if (lane % 2 == 1)  // close to 1, where logarithms cancel
                    x[lane] = 1 + (lane % 4 == 1 ? 1 : -1) * LogUniform(random, -50, -1);
            }
        }
        if (path == PicturePath::Avx512) {
            Apply8(f, x, out);
        } else {
            Apply4(f, x, out);
            Apply4(f, x + 4, out + 4);
        }
        for (int lane = 0; lane < 8; ++lane) {
            const long double a = x[lane];
            const long double exact = f == Function::Exp2 ? std::exp2(a) : std::log2(a);
            if (f == Function::MantissaLog2)
                worst = std::max(worst, static_cast<double>(std::fabs(out[lane] - exact)) * 0x1p53);
            else if (std::isfinite(exact) && exact != 0)
                worst = std::max(worst, UnitsInTheLastPlace(out[lane], exact));
        }
    }
    return worst;
}
#endif

double WorstVectorSineError(PicturePath path, int samples) {
    std::mt19937_64 random(3);
    std::vector<double> x(samples), s(samples);
    for (int i = 0; i < samples; ++i) {
        if (i % 2 == 0) {
            x[i] = LogUniform(random, -30, 40);
        } else {  // next to a multiple of pi
            const double k = std::floor(LogUniform(random, 0, 38));
            x[i] = static_cast<double>(k * 3.14159265358979323846264338327950L);
            x[i] = std::nextafter(x[i], i % 4 == 1 ? 0.0 : INFINITY);
        }
    }
    ComputeVectorSines(path, x.data(), s.data(), x.size());
    long double worst = 0;
    for (int i = 0; i < samples; ++i)
        worst = std::max(worst, std::fabs(s[i] - std::sin(static_cast<long double>(x[i]))));
    return static_cast<double>(worst);
}

uint64_t Pack(uint16_t x, uint16_t y, int r, int g, int b) {
    return uint64_t{x} << 48 | uint64_t{y} << 32 | uint64_t(r & 255) << 16 |
           uint64_t(g & 255) << 8 | uint64_t(b & 255);
}

enum class Order { Literal, Columns, Rows };

// Rows are given back in column order, which every writer of the picture sees by columns.
std::vector<uint64_t> Draw(PicturePath path, Order order, const PictureSettings& settings) {
    std::vector<uint64_t> writes;
    const PixelWriter record = [](void* context, uint16_t x, uint16_t y, int r, int g, int b) {
        static_cast<std::vector<uint64_t>*>(context)->push_back(Pack(x, y, r, g, b));
    };
    if (order == Order::Literal) {
        ComputePictureLiteral(settings, record, &writes);
    } else if (order == Order::Columns) {
        ComputePictureOn(path, settings, record, &writes);
    } else {
        ComputePictureByRowsOn(path, settings,
                               [&writes](uint16_t x, uint16_t y, int r, int g, int b) {
                                   writes.push_back(Pack(x, y, r, g, b));
                               });
        std::sort(writes.begin(), writes.end());  // x is the highest field
    }
    return writes;
}

uint64_t PictureMismatches(int settingsCount) {
    std::mt19937_64 random(5);
    uint64_t wrong = 0;
    for (int i = 0; i < settingsCount; ++i) {
        const PictureSettings settings{
            static_cast<uint16_t>(std::uniform_int_distribution<int>(1, 64)(random)),
            static_cast<float>(std::uniform_real_distribution<double>(-3, 8)(random)),
            static_cast<float>(LogUniform(random, -63, 6)),
            static_cast<int8_t>(-(i % 2)),
            static_cast<int8_t>(-(i / 2 % 2)),
        };
        const std::vector<uint64_t> expected = Draw(PicturePath::Scalar, Order::Literal, settings);
        for (PicturePath path : {PicturePath::Scalar, PicturePath::Avx2, PicturePath::Avx512}) {
            for (Order order : {Order::Columns, Order::Rows}) {
                if (!PicturePathSupported(path) || Draw(path, order, settings) == expected)
                    continue;
                if (++wrong <= 5)
                    std::printf(
                        "  path %d by %s differs at size %d P %a K %a origin %d colour %d\n",
                        static_cast<int>(path), order == Order::Rows ? "rows" : "columns",
                        settings.size, settings.p, settings.k, settings.origin, settings.colour);
            }
        }
    }
    return wrong;
}

}  // namespace
}  // namespace vorlune

int main() {
    using namespace vorlune;
    bool failed = false;
    const auto report = [&failed](const char* what, uint64_t wrong, uint64_t total) {
        std::printf("%-62s %llu of %llu differ\n", what, static_cast<unsigned long long>(wrong),
                    static_cast<unsigned long long>(total));
        failed |= wrong != 0;
    };

    std::atomic<uint64_t> checked{0};
    const uint64_t hueWrong = HueMismatches(checked);
    report("hue in double, every float in [-1, 1] and every NaN:", hueWrong, checked);

    constexpr int kSineSamples = 20000000;
    report("guarded double sine, random arguments 2^-40..2^60:",
           GuardedSineMismatches(kSineSamples), kSineSamples);

    constexpr int kVectorSamples = 4000000;
    for (PicturePath path : {PicturePath::Avx2, PicturePath::Avx512}) {
        if (!PicturePathSupported(path)) continue;
        const char* name = path == PicturePath::Avx2 ? "avx2" : "avx512";
#if defined(__x86_64__) && defined(VORLUNE_VECTOR_PICTURE)
        const char* functions[] = {"log2", "exp2", "log2 of mantissas, 2^-53 absolute"};
        for (int f = 0; f < 3; ++f) {
            const double units = WorstUnits(path, static_cast<Function>(f), kVectorSamples);
            std::printf("%-6s vector %s worst error %.3f units (bounds assume 4)\n", name,
                        functions[f], units);
            failed |= !(units <= 4);
        }
#endif
        const double error = WorstVectorSineError(path, kVectorSamples);
        std::printf("%-6s vector sine worst error 2^%.2f (bound 2^%.0f)\n", name, std::log2(error),
                    std::log2(kVectorSineError));
        failed |= !(error <= kVectorSineError);
    }

    constexpr int kPictures = 3000;
    report("random pictures up to 64 x 64, every path and order against the literal:",
           PictureMismatches(kPictures), kPictures);
    std::printf(failed ? "FAILED\n" : "all checks passed\n");
    return failed ? 1 : 0;
}
