// AVX2 scan-line filters, compiled for AVX2 function by function (the rest
// of the program stays baseline x86-64): filtering and scoring thirty-two
// bytes at a time, undoing Paeth a pixel at a time with the newer absolute
// values and blends; the other types are undone as the SSE2 variant does.
#include "codecs/png/PngFilters.h"

#if defined(__x86_64__)
#include "codecs/png/PngFiltersX86.h"

#include <immintrin.h>

#include <algorithm>

#define VELMORA_AVX2 __attribute__((target("avx2")))

namespace velmora::png {

namespace {

using namespace x86;

VELMORA_AVX2 inline __m256i Load32(const uint8_t* p) { return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p)); }
VELMORA_AVX2 inline void Store32(uint8_t* p, __m256i v) { _mm256_storeu_si256(reinterpret_cast<__m256i*>(p), v); }

// (a + b) >> 1 per byte: the rounded-up mean less the bit it rounded up.
VELMORA_AVX2 inline __m256i FloorMean(__m256i a, __m256i b) {
    return _mm256_sub_epi8(_mm256_avg_epu8(a, b), _mm256_and_si256(_mm256_xor_si256(a, b), _mm256_set1_epi8(1)));
}

// The Paeth predictor on 16-bit lanes holding bytes: with p = a + b - c,
// |p - a| = |b - c|, |p - b| = |a - c| and |p - c| = |(b - c) + (a - c)|.
VELMORA_AVX2 inline __m256i Paeth16(__m256i a, __m256i b, __m256i c) {
    const __m256i bc = _mm256_sub_epi16(b, c), ac = _mm256_sub_epi16(a, c);
    const __m256i pa = _mm256_abs_epi16(bc), pb = _mm256_abs_epi16(ac), pc = _mm256_abs_epi16(_mm256_add_epi16(bc, ac));
    const __m256i notA = _mm256_or_si256(_mm256_cmpgt_epi16(pa, pb), _mm256_cmpgt_epi16(pa, pc));
    const __m256i bOrC = _mm256_blendv_epi8(b, c, _mm256_cmpgt_epi16(pb, pc));
    return _mm256_blendv_epi8(a, bOrC, notA);
}

// Unpacking and packing both stay within each 128-bit half, so the bytes
// come back in place.
VELMORA_AVX2 inline __m256i Paeth8(__m256i a, __m256i b, __m256i c) {
    const __m256i z = _mm256_setzero_si256();
    const __m256i lo = Paeth16(_mm256_unpacklo_epi8(a, z), _mm256_unpacklo_epi8(b, z), _mm256_unpacklo_epi8(c, z));
    const __m256i hi = Paeth16(_mm256_unpackhi_epi8(a, z), _mm256_unpackhi_epi8(b, z), _mm256_unpackhi_epi8(c, z));
    return _mm256_packus_epi16(lo, hi);
}

template <unsigned Type>
VELMORA_AVX2 void FilterBody(const uint8_t* r, const uint8_t* p, size_t n, size_t offset, uint8_t* out) {
    size_t i = std::min(offset, n);
    for (size_t k = 0; k < i; ++k) out[k] = uint8_t(r[k] - Predict(Type, 0, p[k], 0));
    for (; i + 32 <= n; i += 32) {
        const __m256i x = Load32(r + i);
        __m256i pred;
        if constexpr (Type == 1) pred = Load32(r + i - offset);
        if constexpr (Type == 2) pred = Load32(p + i);
        if constexpr (Type == 3) pred = FloorMean(Load32(r + i - offset), Load32(p + i));
        if constexpr (Type == 4) pred = Paeth8(Load32(r + i - offset), Load32(p + i), Load32(p + i - offset));
        Store32(out + i, _mm256_sub_epi8(x, pred));
    }
    for (; i < n; ++i) out[i] = uint8_t(r[i] - Predict(Type, r[i - offset], p[i], p[i - offset]));
}

VELMORA_AVX2 void Filter_AVX2(unsigned type, const uint8_t* r, const uint8_t* p, size_t n, size_t offset,
                              uint8_t* out) {
    switch (type) {
    case 1: FilterBody<1>(r, p, n, offset, out); break;
    case 2: FilterBody<2>(r, p, n, offset, out); break;
    case 3: FilterBody<3>(r, p, n, offset, out); break;
    case 4: FilterBody<4>(r, p, n, offset, out); break;
    default: break;
    }
}

VELMORA_AVX2 unsigned Score_AVX2(const uint8_t* b, size_t n) {
    if (n < 3) return 0;
    const __m256i one = _mm256_set1_epi8(1), zero = _mm256_setzero_si256();
    __m256i sums = zero;
    size_t j = 2;
    for (; j + 32 <= n; j += 32) {
        const __m256i v = Load32(b + j);
        const __m256i hit =
            _mm256_or_si256(_mm256_cmpeq_epi8(v, Load32(b + j - 1)), _mm256_cmpeq_epi8(v, Load32(b + j - 2)));
        sums = _mm256_add_epi64(sums, _mm256_sad_epu8(_mm256_and_si256(hit, one), zero));
    }
    const __m128i half = _mm_add_epi64(_mm256_castsi256_si128(sums), _mm256_extracti128_si256(sums, 1));
    unsigned score = unsigned(_mm_cvtsi128_si64(_mm_add_epi64(half, _mm_unpackhi_epi64(half, half))));
    for (; j < n; ++j) score += b[j] == b[j - 1] || b[j] == b[j - 2];
    return score;
}

// Undoing Paeth a pixel at a time as the SSE2 variant does, with the
// absolute values and selections of later instruction sets, which shortens
// the chain from pixel to pixel.
VELMORA_AVX2 inline __m128i PaethPixel(__m128i d, __m128i above, __m128i& a, __m128i& c) {
    const __m128i b = _mm_cvtepu8_epi16(above);
    const __m128i bc = _mm_sub_epi16(b, c), ac = _mm_sub_epi16(a, c);
    const __m128i pa = _mm_abs_epi16(bc), pb = _mm_abs_epi16(ac), pc = _mm_abs_epi16(_mm_add_epi16(bc, ac));
    const __m128i notA = _mm_cmpgt_epi16(pa, _mm_min_epi16(pb, pc));
    const __m128i bOrC = _mm_blendv_epi8(b, c, _mm_cmpgt_epi16(pb, pc));
    a = _mm_and_si128(_mm_add_epi16(_mm_cvtepu8_epi16(d), _mm_blendv_epi8(a, bOrC, notA)), _mm_set1_epi16(0xFF));
    c = b;
    return _mm_packus_epi16(a, a);
}

template <size_t Bpp>
VELMORA_AVX2 void UnfilterPaeth(uint8_t* x, const uint8_t* p, size_t n) {
    const size_t whole = n / Bpp * Bpp;
    __m128i a = _mm_setzero_si128(), c = _mm_setzero_si128();
    size_t i = 0;
    if constexpr (Bpp == 3) {
        // Four-byte loads and stores while the line lasts: the fourth byte
        // stored lands on the next pixel, which is loaded before that store.
        if (n >= 7) {
            __m128i pixel = LoadPixel<4>(x);
            for (; i + 7 <= n; i += 3) {
                const __m128i next = LoadPixel<4>(x + i + 3);
                StorePixel<4>(x + i, PaethPixel(pixel, LoadPixel<4>(p + i), a, c));
                pixel = next;
            }
            StorePixel<3>(x + i, PaethPixel(pixel, LoadPixel<3>(p + i), a, c));
            i += 3;
        }
    }
    for (; i < whole; i += Bpp) StorePixel<Bpp>(x + i, PaethPixel(LoadPixel<Bpp>(x + i), LoadPixel<Bpp>(p + i), a, c));
    for (; i < n; ++i) {
        const unsigned left = i >= Bpp ? x[i - Bpp] : 0, upperLeft = i >= Bpp ? p[i - Bpp] : 0;
        x[i] = uint8_t(x[i] + Predict(4, left, p[i], upperLeft));
    }
}

void Unfilter_AVX2(unsigned type, uint8_t* x, const uint8_t* p, size_t n, size_t offset) {
    if (type == 4) {
        switch (offset) {
        case 3: UnfilterPaeth<3>(x, p, n); return;
        case 4: UnfilterPaeth<4>(x, p, n); return;
        case 6: UnfilterPaeth<6>(x, p, n); return;
        case 8: UnfilterPaeth<8>(x, p, n); return;
        default: break;
        }
    }
    PngFilterOps_SSE2().Unfilter(type, x, p, n, offset);
}

}  // namespace

TPngFilterOps PngFilterOps_AVX2() {
    TPngFilterOps ops = PngFilterOps_SSE2();
    ops.Filter = Filter_AVX2;
    ops.Score = Score_AVX2;
    ops.Unfilter = Unfilter_AVX2;
    return ops;
}

}  // namespace velmora::png

#else

namespace velmora::png {
TPngFilterOps PngFilterOps_AVX2() { return PngFilterOps_Portable(); }
}  // namespace velmora::png

#endif
