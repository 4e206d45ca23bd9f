// SSE2 scan-line filters. Filtering reads only raw bytes, so sixteen bytes
// go at a time; undoing Sub, Average and Paeth needs the pixel just undone,
// so it goes a whole pixel (3, 4, 6 or 8 bytes) at a time in one register.
#include "codecs/png/PngFilters.h"

#if defined(__x86_64__)
#include "codecs/png/PngFiltersX86.h"

#include <emmintrin.h>

#include <algorithm>

namespace velmora::png {

namespace {

using namespace x86;

inline __m128i Load16(const uint8_t* p) { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p)); }
inline void Store16(uint8_t* p, __m128i v) { _mm_storeu_si128(reinterpret_cast<__m128i*>(p), v); }

// (a + b) >> 1 per byte: the rounded-up mean less the bit it rounded up.
inline __m128i FloorMean(__m128i a, __m128i b) {
    return _mm_sub_epi8(_mm_avg_epu8(a, b), _mm_and_si128(_mm_xor_si128(a, b), _mm_set1_epi8(1)));
}

inline __m128i Abs16(__m128i v) { return _mm_max_epi16(v, _mm_sub_epi16(_mm_setzero_si128(), v)); }

// The Paeth predictor on 16-bit lanes holding bytes: with p = a + b - c,
// |p - a| = |b - c|, |p - b| = |a - c| and |p - c| = |(b - c) + (a - c)|.
inline __m128i Paeth16(__m128i a, __m128i b, __m128i c) {
    const __m128i bc = _mm_sub_epi16(b, c), ac = _mm_sub_epi16(a, c);
    const __m128i pa = Abs16(bc), pb = Abs16(ac), pc = Abs16(_mm_add_epi16(bc, ac));
    const __m128i notA = _mm_or_si128(_mm_cmpgt_epi16(pa, pb), _mm_cmpgt_epi16(pa, pc));
    const __m128i notB = _mm_cmpgt_epi16(pb, pc);
    const __m128i bOrC = _mm_or_si128(_mm_andnot_si128(notB, b), _mm_and_si128(notB, c));
    return _mm_or_si128(_mm_andnot_si128(notA, a), _mm_and_si128(notA, bOrC));
}

inline __m128i Paeth8(__m128i a, __m128i b, __m128i c) {
    const __m128i z = _mm_setzero_si128();
    const __m128i lo = Paeth16(_mm_unpacklo_epi8(a, z), _mm_unpacklo_epi8(b, z), _mm_unpacklo_epi8(c, z));
    const __m128i hi = Paeth16(_mm_unpackhi_epi8(a, z), _mm_unpackhi_epi8(b, z), _mm_unpackhi_epi8(c, z));
    return _mm_packus_epi16(lo, hi);
}

template <unsigned Type>
void FilterBody(const uint8_t* r, const uint8_t* p, size_t n, size_t offset, uint8_t* out) {
    size_t i = std::min(offset, n);
    for (size_t k = 0; k < i; ++k) out[k] = uint8_t(r[k] - Predict(Type, 0, p[k], 0));
    for (; i + 16 <= n; i += 16) {
        const __m128i x = Load16(r + i);
        __m128i pred;
        if constexpr (Type == 1) pred = Load16(r + i - offset);
        if constexpr (Type == 2) pred = Load16(p + i);
        if constexpr (Type == 3) pred = FloorMean(Load16(r + i - offset), Load16(p + i));
        if constexpr (Type == 4) pred = Paeth8(Load16(r + i - offset), Load16(p + i), Load16(p + i - offset));
        Store16(out + i, _mm_sub_epi8(x, pred));
    }
    for (; i < n; ++i) out[i] = uint8_t(r[i] - Predict(Type, r[i - offset], p[i], p[i - offset]));
}

void Filter_SSE2(unsigned type, const uint8_t* r, const uint8_t* p, size_t n, size_t offset, uint8_t* out) {
    switch (type) {
    case 1: FilterBody<1>(r, p, n, offset, out); break;
    case 2: FilterBody<2>(r, p, n, offset, out); break;
    case 3: FilterBody<3>(r, p, n, offset, out); break;
    case 4: FilterBody<4>(r, p, n, offset, out); break;
    default: break;
    }
}

unsigned Score_SSE2(const uint8_t* b, size_t n) {
    if (n < 3) return 0;
    const __m128i one = _mm_set1_epi8(1), zero = _mm_setzero_si128();
    __m128i sums = zero;
    size_t j = 2;
    for (; j + 16 <= n; j += 16) {
        const __m128i v = Load16(b + j);
        const __m128i hit = _mm_or_si128(_mm_cmpeq_epi8(v, Load16(b + j - 1)), _mm_cmpeq_epi8(v, Load16(b + j - 2)));
        sums = _mm_add_epi64(sums, _mm_sad_epu8(_mm_and_si128(hit, one), zero));
    }
    unsigned score = unsigned(_mm_cvtsi128_si64(sums)) + unsigned(_mm_cvtsi128_si64(_mm_unpackhi_epi64(sums, sums)));
    for (; j < n; ++j) score += b[j] == b[j - 1] || b[j] == b[j - 2];
    return score;
}

// Runs step(pixel, pixel above) -> undone pixel over the whole pixels of a
// line, left to right, and returns the bytes done. Three-byte pixels move
// with four-byte loads and stores while the line lasts: the fourth byte
// stored lands on the next pixel, which is loaded before that store.
template <size_t Bpp, class Step>
size_t ForEachPixel(uint8_t* x, const uint8_t* p, size_t n, Step step) {
    const size_t whole = n / Bpp * Bpp;
    size_t i = 0;
    if constexpr (Bpp == 3) {
        if (n >= 7) {
            __m128i pixel = LoadPixel<4>(x);
            for (; i + 7 <= n; i += 3) {
                const __m128i next = LoadPixel<4>(x + i + 3);
                StorePixel<4>(x + i, step(pixel, LoadPixel<4>(p + i)));
                pixel = next;
            }
            StorePixel<3>(x + i, step(pixel, LoadPixel<3>(p + i)));
            i += 3;
        }
    }
    for (; i < whole; i += Bpp) StorePixel<Bpp>(x + i, step(LoadPixel<Bpp>(x + i), LoadPixel<Bpp>(p + i)));
    return whole;
}

template <size_t Bpp>
void UnfilterPixels(unsigned type, uint8_t* x, const uint8_t* p, size_t n) {
    const __m128i zero = _mm_setzero_si128();
    size_t i = 0;
    switch (type) {
    case 1: {
        __m128i a = zero;  // the pixel to the left, undone
        i = ForEachPixel<Bpp>(x, p, n, [&](__m128i d, __m128i) { return a = _mm_add_epi8(d, a); });
        break;
    }
    case 3: {
        // On complements, which shortens the chain from pixel to pixel to two
        // steps: with m = avg_epu8(~a, ~b) = 255 - ((a + b) >> 1), the new
        // left pixel d + ((a + b) >> 1) is ~(m - d).
        const __m128i ones = _mm_set1_epi8(-1);
        __m128i notA = ones;
        i = ForEachPixel<Bpp>(x, p, n, [&](__m128i d, __m128i b) {
            notA = _mm_sub_epi8(_mm_avg_epu8(notA, _mm_xor_si128(b, ones)), d);
            return _mm_xor_si128(notA, ones);
        });
        break;
    }
    case 4: {
        // On 16-bit lanes; c is the pixel above-left.
        const __m128i low = _mm_set1_epi16(0xFF);
        __m128i a = zero, c = zero;
        i = ForEachPixel<Bpp>(x, p, n, [&](__m128i d, __m128i above) {
            const __m128i b = _mm_unpacklo_epi8(above, zero);
            a = _mm_and_si128(_mm_add_epi16(_mm_unpacklo_epi8(d, zero), Paeth16(a, b, c)), low);
            c = b;
            return _mm_packus_epi16(a, a);
        });
        break;
    }
    default: return;
    }
    // A line that ends in a part of a pixel.
    for (; i < n; ++i) {
        const unsigned left = i >= Bpp ? x[i - Bpp] : 0, upperLeft = i >= Bpp ? p[i - Bpp] : 0;
        x[i] = uint8_t(x[i] + Predict(type, left, p[i], upperLeft));
    }
}

void Unfilter_SSE2(unsigned type, uint8_t* x, const uint8_t* p, size_t n, size_t offset) {
    if (type == 2) {
        size_t i = 0;
        for (; i + 16 <= n; i += 16) Store16(x + i, _mm_add_epi8(Load16(x + i), Load16(p + i)));
        for (; i < n; ++i) x[i] = uint8_t(x[i] + p[i]);
        return;
    }
    switch (offset) {
    case 3: UnfilterPixels<3>(type, x, p, n); break;
    case 4: UnfilterPixels<4>(type, x, p, n); break;
    case 6: UnfilterPixels<6>(type, x, p, n); break;
    case 8: UnfilterPixels<8>(type, x, p, n); break;
    default: PngFilterOps_Portable().Unfilter(type, x, p, n, offset); break;
    }
}

}  // namespace

TPngFilterOps PngFilterOps_SSE2() { return {Filter_SSE2, Score_SSE2, Unfilter_SSE2}; }

}  // namespace velmora::png

#else

namespace velmora::png {
TPngFilterOps PngFilterOps_SSE2() { return PngFilterOps_Portable(); }
}  // namespace velmora::png

#endif
