// SSE2 row kernels. Same bytes as the portable ones (see ResampleRows.h).
#include "raster/ResampleRows.h"

#if defined(__x86_64__)
#include <emmintrin.h>

namespace velmora {

namespace {

// Two 16-bit pixels-worth of lanes: (lo * w + hi * (256 - w)) >> 8.
// Products and sums stay <= 255 * 256.
inline __m128i Lerp16(__m128i a, __m128i b, __m128i w, __m128i v) {
    return _mm_srli_epi16(_mm_add_epi16(_mm_mullo_epi16(a, w), _mm_mullo_epi16(b, v)), 8);
}

void Horizontal(const TColor32* row, const TPointRec* map, int32_t count, TColor32* out) {
    const __m128i zero = _mm_setzero_si128();
    const __m128i k256 = _mm_set1_epi16(256);
    int32_t i = 0;
    for (; i + 4 <= count; i += 4) {
        __m128i r[2];
        for (int h = 0; h < 2; ++h) {
            const TPointRec& m0 = map[i + 2 * h];
            const TPointRec& m1 = map[i + 2 * h + 1];
            // Each load brings the pixel pair (c, c + 1) of one output pixel.
            const __m128i p0 = _mm_unpacklo_epi8(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(row + m0.Pos)), zero);
            const __m128i p1 = _mm_unpacklo_epi8(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(row + m1.Pos)), zero);
            const __m128i left = _mm_unpacklo_epi64(p0, p1);
            const __m128i right = _mm_unpackhi_epi64(p0, p1);
            const __m128i w = _mm_unpacklo_epi64(_mm_set1_epi16(short(m0.Weight)), _mm_set1_epi16(short(m1.Weight)));
            r[h] = Lerp16(left, right, w, _mm_sub_epi16(k256, w));
        }
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + i), _mm_packus_epi16(r[0], r[1]));
    }
    if (i < count) BilinearHorizontal_Portable(row, map + i, count - i, out + i);
}

void Vertical(const TColor32* top, const TColor32* bottom, uint32_t wy, int32_t count, TColor32* out) {
    const __m128i zero = _mm_setzero_si128();
    const __m128i w = _mm_set1_epi16(short(wy));
    const __m128i v = _mm_set1_epi16(short(256 - wy));
    int32_t i = 0;
    for (; i + 4 <= count; i += 4) {
        const __m128i t = _mm_loadu_si128(reinterpret_cast<const __m128i*>(top + i));
        const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(bottom + i));
        const __m128i lo = Lerp16(_mm_unpacklo_epi8(t, zero), _mm_unpacklo_epi8(b, zero), w, v);
        const __m128i hi = Lerp16(_mm_unpackhi_epi8(t, zero), _mm_unpackhi_epi8(b, zero), w, v);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + i), _mm_packus_epi16(lo, hi));
    }
    if (i < count) BilinearVertical_Portable(top + i, bottom + i, wy, count - i, out + i);
}

}  // namespace

TBilinearRowOps BilinearRowOps_SSE2() { return {Horizontal, Vertical}; }

// Vertical sums are kept as 16-bit lanes (B, G, R, A per column): with weights
// in 0..256 summing to 256 no partial sum exceeds 255 * 256 = 65280.
// Horizontal products are formed exactly from the low and high halves of the
// 16 x 16-bit multiply and summed in 32-bit lanes (<= 65280 * 256 < 2^24), so
// (sum AND 0x00FF0000) >> 16 is a plain shift.
void KernelRow_SSE2(const TKernelRowArgs& a) {
    const __m128i zero = _mm_setzero_si128();
    auto* buf = static_cast<uint16_t*>(a.Buffer);
    int32_t x = 0;
    for (; x + 8 <= a.Span; x += 8) {
        __m128i s0 = zero, s1 = zero, s2 = zero, s3 = zero;
        for (int32_t k = 0; k < a.Taps; ++k) {
            const __m128i w = _mm_set1_epi16(short(a.RowWeights[k]));
            const auto* p = reinterpret_cast<const __m128i*>(a.Rows[k] + x);
            const __m128i v0 = _mm_loadu_si128(p);
            const __m128i v1 = _mm_loadu_si128(p + 1);
            s0 = _mm_add_epi16(s0, _mm_mullo_epi16(_mm_unpacklo_epi8(v0, zero), w));
            s1 = _mm_add_epi16(s1, _mm_mullo_epi16(_mm_unpackhi_epi8(v0, zero), w));
            s2 = _mm_add_epi16(s2, _mm_mullo_epi16(_mm_unpacklo_epi8(v1, zero), w));
            s3 = _mm_add_epi16(s3, _mm_mullo_epi16(_mm_unpackhi_epi8(v1, zero), w));
        }
        auto* d = reinterpret_cast<__m128i*>(buf + 4 * size_t(x));
        _mm_storeu_si128(d, s0);
        _mm_storeu_si128(d + 1, s1);
        _mm_storeu_si128(d + 2, s2);
        _mm_storeu_si128(d + 3, s3);
    }
    for (; x < a.Span; ++x) {
        uint32_t s[4] = {0, 0, 0, 0};
        for (int32_t k = 0; k < a.Taps; ++k) {
            const TColor32 p = a.Rows[k][x];
            const uint32_t w = a.RowWeights[k];
            for (int c = 0; c < 4; ++c) s[c] += w * ((p >> (8 * c)) & 0xFF);
        }
        for (int c = 0; c < 4; ++c) buf[4 * size_t(x) + size_t(c)] = uint16_t(s[c]);
    }

    const TFlatClusters& cols = *a.Cols;
    const int32_t count = cols.Count();
    const int32_t* pos = cols.Pos.data();
    const uint16_t* w4 = cols.Weight4.data();
    for (int32_t i = 0; i < count; ++i) {
        __m128i acc = zero;
        const int32_t end = cols.Begin[i + 1];
        const bool contiguous = cols.Contiguous[i] != 0;
        for (int32_t e = cols.Begin[i]; e < end; e += 2) {
            __m128i v;
            if (contiguous) {
                v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(buf + 4 * size_t(pos[e])));
            } else {
                const __m128i b0 = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(buf + 4 * size_t(pos[e])));
                const __m128i b1 = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(buf + 4 * size_t(pos[e + 1])));
                v = _mm_unpacklo_epi64(b0, b1);
            }
            const __m128i w = _mm_loadu_si128(reinterpret_cast<const __m128i*>(w4 + 4 * size_t(e)));
            const __m128i lo = _mm_mullo_epi16(v, w);
            const __m128i hi = _mm_mulhi_epu16(v, w);
            acc = _mm_add_epi32(acc, _mm_add_epi32(_mm_unpacklo_epi16(lo, hi), _mm_unpackhi_epi16(lo, hi)));
        }
        acc = _mm_srli_epi32(acc, 16);
        acc = _mm_packs_epi32(acc, acc);
        a.Out[i] = TColor32(_mm_cvtsi128_si32(_mm_packus_epi16(acc, acc)));
    }
}

}  // namespace velmora

#else

namespace velmora {
TBilinearRowOps BilinearRowOps_SSE2() { return {BilinearHorizontal_Portable, BilinearVertical_Portable}; }
void KernelRow_SSE2(const TKernelRowArgs& a) { KernelRow_Portable(a); }
}  // namespace velmora

#endif
