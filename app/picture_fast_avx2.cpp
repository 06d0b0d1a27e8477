// The picture's line kernel on four lanes of AVX2 (this file is compiled for AVX2 and FMA).
#include "app/picture_fast.h"

#if defined(__x86_64__) && defined(VORLUNE_VECTOR_PICTURE)

#include <immintrin.h>

#include "app/picture_fast_kernel.h"

// glibc's vector maths (libmvec), four lanes.
extern "C" __m256d _ZGVdN4v_log2(__m256d x);
extern "C" __m256d _ZGVdN4v_exp2(__m256d x);

namespace vorlune {
namespace {

constexpr int64_t kExponentBias = 1023;
constexpr int64_t kFractionMask = 0x000FFFFFFFFFFFFF;
constexpr int64_t kOneBits = 0x3FF0000000000000;
constexpr int64_t kShiftBits = 0x4338000000000000;  // of 0x1.8p52
constexpr double kTwoToThe52 = 0x1p52;
constexpr double kLowestScale = -1022;
constexpr double kHighestScale = 1023;

struct Avx2Lanes {
    using Doubles = __m256d;
    using Mask = __m256d;  // all ones or all zeros per lane
    static constexpr size_t kLanes = 4;

    static Doubles Broadcast(double value) { return _mm256_set1_pd(value); }
    static Doubles Infinity() {
        return _mm256_castsi256_pd(_mm256_set1_epi64x(0x7FF0000000000000));
    }
    static Doubles Load(const double* source) { return _mm256_loadu_pd(source); }
    static void Store(double* target, Doubles v) { _mm256_storeu_pd(target, v); }
    static Doubles Add(Doubles a, Doubles b) { return _mm256_add_pd(a, b); }
    static Doubles Sub(Doubles a, Doubles b) { return _mm256_sub_pd(a, b); }
    static Doubles Mul(Doubles a, Doubles b) { return _mm256_mul_pd(a, b); }
    static Doubles MulAdd(Doubles a, Doubles b, Doubles c) { return _mm256_fmadd_pd(a, b, c); }
    static Doubles SubtractProduct(Doubles c, Doubles a, Doubles b) {
        return _mm256_fnmadd_pd(a, b, c);
    }
    static Doubles Abs(Doubles v) { return _mm256_andnot_pd(_mm256_set1_pd(-0.0), v); }
    static Doubles Floor(Doubles v) { return _mm256_floor_pd(v); }
    static Doubles RoundToNearest(Doubles v) {
        return _mm256_round_pd(v, _MM_FROUND_TO_NEAREST_INT | _MM_FROUND_NO_EXC);
    }
    // v with its sign turned where the lowest bit of parity's pattern is set.
    static Doubles NegateWhereOdd(Doubles v, Doubles parity) {
        const __m256i sign = _mm256_slli_epi64(_mm256_castpd_si256(parity), 63);
        return _mm256_castsi256_pd(_mm256_xor_si256(_mm256_castpd_si256(v), sign));
    }
    // floor(log2 v) and v / 2^floor(log2 v), for positive normal v (every sum the kernel uses
    // is 0, at least 2^-300, or not finite).
    static Doubles Exponent(Doubles v) {
        const __m256i biased = _mm256_srli_epi64(_mm256_castpd_si256(v), 52);
        const __m256i asDouble =
            _mm256_or_si256(biased, _mm256_castpd_si256(Broadcast(kTwoToThe52)));
        return _mm256_sub_pd(_mm256_castsi256_pd(asDouble), Broadcast(kTwoToThe52 + kExponentBias));
    }
    static Doubles Mantissa(Doubles v) {
        const __m256i fraction =
            _mm256_and_si256(_mm256_castpd_si256(v), _mm256_set1_epi64x(kFractionMask));
        return _mm256_castsi256_pd(_mm256_or_si256(fraction, _mm256_set1_epi64x(kOneBits)));
    }
    // v 2^whole for whole numbers in the normal exponents' range, which ScalesExactly marks.
    static Doubles Scale(Doubles v, Doubles whole) {
        const Doubles held =
            _mm256_max_pd(Broadcast(kLowestScale), _mm256_min_pd(whole, Broadcast(kHighestScale)));
        const __m256i shifted = _mm256_castpd_si256(_mm256_add_pd(held, Broadcast(0x1.8p52)));
        const __m256i biased =
            _mm256_add_epi64(shifted, _mm256_set1_epi64x(kExponentBias - kShiftBits));
        return _mm256_mul_pd(v, _mm256_castsi256_pd(_mm256_slli_epi64(biased, 52)));
    }
    static Mask ScalesExactly(Doubles whole) {
        return And(_mm256_cmp_pd(Broadcast(kLowestScale), whole, _CMP_LE_OQ),
                   _mm256_cmp_pd(whole, Broadcast(kHighestScale), _CMP_LE_OQ));
    }
    static Doubles Log2(Doubles v) { return _ZGVdN4v_log2(v); }
    static Doubles Exp2(Doubles v) { return _ZGVdN4v_exp2(v); }

    static Mask Less(Doubles a, Doubles b) { return _mm256_cmp_pd(a, b, _CMP_LT_OQ); }
    static Mask And(Mask a, Mask b) { return _mm256_and_pd(a, b); }
    static Mask AllLanes() { return _mm256_castsi256_pd(_mm256_set1_epi64x(-1)); }
    static bool AllTrue(Mask m) { return _mm256_movemask_pd(m) == 0xF; }
    static Doubles Select(Mask m, Doubles ifSet, Doubles ifClear) {
        return _mm256_blendv_pd(ifClear, ifSet, m);
    }

    // Whole numbers 0..65535 to 16-bit codes.
    static void StoreCodes(uint16_t* target, Doubles codes) {
        const __m128i whole = _mm256_cvttpd_epi32(codes);
        _mm_storel_epi64(reinterpret_cast<__m128i*>(target), _mm_packus_epi32(whole, whole));
    }
};

}  // namespace

bool ComputeLineAvx2(const LineJob& job) {
    return ComputeLine<Avx2Lanes>(job);
}

void SineAvx2(const double* x, double* s, size_t count) {
    ComputeSines<Avx2Lanes>(x, s, count);
}

}  // namespace vorlune

#endif
