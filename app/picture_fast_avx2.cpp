// The picture's column kernel on four lanes of AVX2 (this file is compiled for AVX2 and FMA).
#include "app/picture_fast.h"

#if defined(__x86_64__) && defined(VORLUNE_VECTOR_PICTURE)

#include <immintrin.h>

#include "app/picture_fast_kernel.h"

// glibc's vector maths (libmvec), four lanes.
extern "C" __m256d _ZGVdN4vv_pow(__m256d base, __m256d exponent);
extern "C" __m256d _ZGVdN4v_log2(__m256d x);
extern "C" __m256d _ZGVdN4v_exp2(__m256d x);

namespace vorlune {
namespace {

struct Avx2Lanes {
    using Doubles = __m256d;
    using Mask = __m256d;  // all ones or all zeros per lane
    static constexpr size_t kLanes = 4;

    static Doubles Broadcast(double value) { return _mm256_set1_pd(value); }
    static Doubles Load(const double* source) { return _mm256_loadu_pd(source); }
    static void Store(double* target, Doubles v) { _mm256_storeu_pd(target, v); }
    static Doubles Add(Doubles a, Doubles b) { return _mm256_add_pd(a, b); }
    static Doubles Sub(Doubles a, Doubles b) { return _mm256_sub_pd(a, b); }
    static Doubles Mul(Doubles a, Doubles b) { return _mm256_mul_pd(a, b); }
    static Doubles MulAdd(Doubles a, Doubles b, Doubles c) { return _mm256_fmadd_pd(a, b, c); }
    static Doubles SubtractProduct(Doubles c, Doubles a, Doubles b) {
        return _mm256_fnmadd_pd(a, b, c);
    }
    static Doubles Negate(Doubles v) { return _mm256_sub_pd(_mm256_setzero_pd(), v); }
    static Doubles Abs(Doubles v) { return _mm256_andnot_pd(_mm256_set1_pd(-0.0), v); }
    static Doubles Min(Doubles a, Doubles b) { return _mm256_min_pd(a, b); }
    static Doubles Max(Doubles a, Doubles b) { return _mm256_max_pd(a, b); }
    static Doubles Sqrt(Doubles v) { return _mm256_sqrt_pd(v); }
    static Doubles Floor(Doubles v) { return _mm256_floor_pd(v); }
    static Doubles RoundToNearest(Doubles v) {
        return _mm256_round_pd(v, _MM_FROUND_TO_NEAREST_INT | _MM_FROUND_NO_EXC);
    }
    static Doubles Pow(Doubles base, Doubles exponent) { return _ZGVdN4vv_pow(base, exponent); }
    static Doubles Log2(Doubles v) { return _ZGVdN4v_log2(v); }
    static Doubles Exp2(Doubles v) { return _ZGVdN4v_exp2(v); }

    static Mask Less(Doubles a, Doubles b) { return _mm256_cmp_pd(a, b, _CMP_LT_OQ); }
    static Mask LessEqual(Doubles a, Doubles b) { return _mm256_cmp_pd(a, b, _CMP_LE_OQ); }
    static Mask GreaterEqual(Doubles a, Doubles b) { return _mm256_cmp_pd(a, b, _CMP_GE_OQ); }
    static Mask Equal(Doubles a, Doubles b) { return _mm256_cmp_pd(a, b, _CMP_EQ_OQ); }
    static Mask And(Mask a, Mask b) { return _mm256_and_pd(a, b); }
    static Mask Or(Mask a, Mask b) { return _mm256_or_pd(a, b); }
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

void ComputeColumnAvx2(const ColumnJob& job) {
    ComputeColumn<Avx2Lanes>(job);
}

void SineAvx2(const double* x, double* s, size_t count) {
    ComputeSines<Avx2Lanes>(x, s, count);
}

}  // namespace vorlune

#endif
