// The picture's line kernel on eight lanes of AVX-512 (this file is compiled for AVX-512F).
#include "app/picture_fast.h"

#if defined(__x86_64__) && defined(VORLUNE_VECTOR_PICTURE)

// GCC 12 takes the deliberately undefined inputs inside its AVX-512 intrinsics for mistakes.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#endif

#include <immintrin.h>

#include "app/picture_fast_kernel.h"

// glibc's vector maths (libmvec), eight lanes.
extern "C" __m512d _ZGVeN8v_log2(__m512d x);
extern "C" __m512d _ZGVeN8v_exp2(__m512d x);

namespace vorlune {
namespace {

struct Avx512Lanes {
    using Doubles = __m512d;
    using Mask = __mmask8;
    static constexpr size_t kLanes = 8;

    static Doubles Broadcast(double value) { return _mm512_set1_pd(value); }
    static Doubles Infinity() { return _mm512_castsi512_pd(_mm512_set1_epi64(0x7FF0000000000000)); }
    static Doubles Load(const double* source) { return _mm512_loadu_pd(source); }
    static void Store(double* target, Doubles v) { _mm512_storeu_pd(target, v); }
    static Doubles Add(Doubles a, Doubles b) { return _mm512_add_pd(a, b); }
    static Doubles Sub(Doubles a, Doubles b) { return _mm512_sub_pd(a, b); }
    static Doubles Mul(Doubles a, Doubles b) { return _mm512_mul_pd(a, b); }
    static Doubles MulAdd(Doubles a, Doubles b, Doubles c) { return _mm512_fmadd_pd(a, b, c); }
    static Doubles SubtractProduct(Doubles c, Doubles a, Doubles b) {
        return _mm512_fnmadd_pd(a, b, c);
    }
    static Doubles Abs(Doubles v) { return _mm512_abs_pd(v); }
    static Doubles Floor(Doubles v) {
        return _mm512_roundscale_pd(v, _MM_FROUND_TO_NEG_INF | _MM_FROUND_NO_EXC);
    }
    static Doubles RoundToNearest(Doubles v) {
        return _mm512_roundscale_pd(v, _MM_FROUND_TO_NEAREST_INT | _MM_FROUND_NO_EXC);
    }
    // v with its sign turned where the lowest bit of parity's pattern is set.
    static Doubles NegateWhereOdd(Doubles v, Doubles parity) {
        const __m512i sign = _mm512_slli_epi64(_mm512_castpd_si512(parity), 63);
        return _mm512_castsi512_pd(_mm512_xor_si512(_mm512_castpd_si512(v), sign));
    }
    // floor(log2 v) and v / 2^floor(log2 v), for positive finite v.
    static Doubles Exponent(Doubles v) { return _mm512_getexp_pd(v); }
    static Doubles Mantissa(Doubles v) {
        return _mm512_getmant_pd(v, _MM_MANT_NORM_1_2, _MM_MANT_SIGN_src);
    }
    static Doubles Scale(Doubles v, Doubles whole) { return _mm512_scalef_pd(v, whole); }
    static Mask ScalesExactly(Doubles) { return 0xFF; }
    static Doubles Log2(Doubles v) { return _ZGVeN8v_log2(v); }
    static Doubles Exp2(Doubles v) { return _ZGVeN8v_exp2(v); }

    static Mask Less(Doubles a, Doubles b) { return _mm512_cmp_pd_mask(a, b, _CMP_LT_OQ); }
    static Mask And(Mask a, Mask b) { return static_cast<Mask>(a & b); }
    static Mask AllLanes() { return 0xFF; }
    static bool AllTrue(Mask m) { return m == 0xFF; }
    static Doubles Select(Mask m, Doubles ifSet, Doubles ifClear) {
        return _mm512_mask_blend_pd(m, ifClear, ifSet);
    }

    // Whole numbers 0..65535 to 16-bit codes.
    static void StoreCodes(uint16_t* target, Doubles codes) {
        const __m256i whole = _mm512_cvttpd_epi32(codes);
        const __m128i packed =
            _mm_packus_epi32(_mm256_castsi256_si128(whole), _mm256_extracti128_si256(whole, 1));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(target), packed);
    }
};

}  // namespace

bool ComputeLineAvx512(const LineJob& job) {
    return ComputeLine<Avx512Lanes>(job);
}

void SineAvx512(const double* x, double* s, size_t count) {
    ComputeSines<Avx512Lanes>(x, s, count);
}

}  // namespace vorlune

#endif
