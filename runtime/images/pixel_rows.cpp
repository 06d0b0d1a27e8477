#include "runtime/images/pixel_rows.h"

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#define VORLUNE_SHUFFLES 1
#endif

namespace vorlune {

namespace {

int64_t SwapTriplesPlain(const uint8_t* in, uint8_t* out, int64_t from, int64_t count) {
    for (int64_t x = from; x < count; ++x) {
        const uint8_t* p = in + x * 3;
        uint8_t* q = out + x * 3;
        const uint8_t first = p[0], second = p[1], third = p[2];
        q[0] = third;
        q[1] = second;
        q[2] = first;
    }
    return count;
}

int64_t PackQuadsPlain(const uint8_t* in, uint8_t* out, int64_t from, int64_t count,
                       bool opaqueOnly) {
    for (int64_t x = from; x < count; ++x) {
        const uint8_t* p = in + x * 4;
        if (opaqueOnly && p[3] != 255) return x;
        uint8_t* q = out + x * 3;
        q[0] = p[2];
        q[1] = p[1];
        q[2] = p[0];
    }
    return count;
}

#if VORLUNE_SHUFFLES
// Each step stores 16 bytes of which only the first 15 are its own; the next step rewrites the
// last, so the loop stops while 16 bytes remain on both sides.
__attribute__((target("ssse3"))) int64_t SwapTriplesShuffled(const uint8_t* in, uint8_t* out,
                                                             int64_t count) {
    const __m128i order = _mm_setr_epi8(2, 1, 0, 5, 4, 3, 8, 7, 6, 11, 10, 9, 14, 13, 12, 15);
    int64_t x = 0;
    for (; x + 6 <= count; x += 5) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + x * 3));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + x * 3), _mm_shuffle_epi8(v, order));
    }
    return x;
}

// Sixteen pixels per step: four shuffled registers of 12 bytes joined into three full stores,
// and one alpha test for all of them.
__attribute__((target("ssse3"))) int64_t PackQuadsShuffled(const uint8_t* in, uint8_t* out,
                                                           int64_t count, bool opaqueOnly) {
    const __m128i order = _mm_setr_epi8(2, 1, 0, 6, 5, 4, 10, 9, 8, 14, 13, 12, -1, -1, -1, -1);
    const __m128i alpha = _mm_set1_epi32(static_cast<int32_t>(0xFF000000u));
    int64_t x = 0;
    for (; x + 16 <= count; x += 16) {
        const auto* source = reinterpret_cast<const __m128i*>(in + x * 4);
        const __m128i v0 = _mm_loadu_si128(source), v1 = _mm_loadu_si128(source + 1);
        const __m128i v2 = _mm_loadu_si128(source + 2), v3 = _mm_loadu_si128(source + 3);
        if (opaqueOnly) {
            const __m128i all = _mm_and_si128(_mm_and_si128(v0, v1), _mm_and_si128(v2, v3));
            if (_mm_movemask_epi8(_mm_cmpeq_epi32(_mm_and_si128(all, alpha), alpha)) != 0xFFFF)
                break;
        }
        const __m128i a = _mm_shuffle_epi8(v0, order), b = _mm_shuffle_epi8(v1, order);
        const __m128i c = _mm_shuffle_epi8(v2, order), d = _mm_shuffle_epi8(v3, order);
        auto* target = reinterpret_cast<__m128i*>(out + x * 3);
        _mm_storeu_si128(target, _mm_or_si128(a, _mm_slli_si128(b, 12)));
        _mm_storeu_si128(target + 1, _mm_or_si128(_mm_srli_si128(b, 4), _mm_slli_si128(c, 8)));
        _mm_storeu_si128(target + 2, _mm_or_si128(_mm_srli_si128(c, 8), _mm_slli_si128(d, 4)));
    }
    return x;
}

bool HasShuffles() {
    static const bool has = [] {
        __builtin_cpu_init();
        return __builtin_cpu_supports("ssse3") != 0;
    }();
    return has;
}
#endif

}  // namespace

void SwapTriples(const uint8_t* in, uint8_t* out, int64_t count) {
    int64_t done = 0;
#if VORLUNE_SHUFFLES
    if (HasShuffles()) done = SwapTriplesShuffled(in, out, count);
#endif
    SwapTriplesPlain(in, out, done, count);
}

int64_t PackQuadsSwapped(const uint8_t* in, uint8_t* out, int64_t count, bool opaqueOnly) {
    int64_t done = 0;
#if VORLUNE_SHUFFLES
    if (HasShuffles()) done = PackQuadsShuffled(in, out, count, opaqueOnly);
#endif
    return PackQuadsPlain(in, out, done, count, opaqueOnly);
}

}  // namespace vorlune
