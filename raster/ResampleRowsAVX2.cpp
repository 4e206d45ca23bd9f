// AVX2 row kernels, compiled for AVX2 function by function (the rest of the
// program stays baseline x86-64). Same bytes as the portable ones.
#include "raster/ResampleRows.h"

#if defined(__x86_64__)
#include <immintrin.h>

#define VELMORA_AVX2 __attribute__((target("avx2")))

namespace velmora {

namespace {

VELMORA_AVX2 inline __m256i Lerp16(__m256i a, __m256i b, __m256i w, __m256i v) {
    return _mm256_srli_epi16(_mm256_add_epi16(_mm256_mullo_epi16(a, w), _mm256_mullo_epi16(b, v)), 8);
}

VELMORA_AVX2 inline __m128i LoadPair(const TColor32* p) {
    return _mm_loadl_epi64(reinterpret_cast<const __m128i*>(p));
}

// Four output pixels per step: lane 0 holds outputs i, i + 1, lane 1 outputs
// i + 2, i + 3; the in-lane pack puts them back in order.
VELMORA_AVX2 void Horizontal(const TColor32* row, const TPointRec* map, int32_t count, TColor32* out) {
    const __m256i zero = _mm256_setzero_si256();
    const __m256i k256 = _mm256_set1_epi16(256);
    int32_t i = 0;
    for (; i + 8 <= count; i += 8) {
        __m256i r[2];
        for (int h = 0; h < 2; ++h) {
            const TPointRec* m = map + i + 4 * h;
            const __m128i q01 = _mm_unpacklo_epi64(LoadPair(row + m[0].Pos), LoadPair(row + m[1].Pos));
            const __m128i q23 = _mm_unpacklo_epi64(LoadPair(row + m[2].Pos), LoadPair(row + m[3].Pos));
            // bytes per lane: c(i) c+1(i) c(i+1) c+1(i+1)
            const __m256i q = _mm256_inserti128_si256(_mm256_castsi128_si256(q01), q23, 1);
            const __m256i lo = _mm256_unpacklo_epi8(q, zero);  // pair of the first output of the lane
            const __m256i hi = _mm256_unpackhi_epi8(q, zero);  // pair of the second one
            const __m256i left = _mm256_unpacklo_epi64(lo, hi);
            const __m256i right = _mm256_unpackhi_epi64(lo, hi);
            const __m256i w = _mm256_setr_epi16(
                short(m[0].Weight), short(m[0].Weight), short(m[0].Weight), short(m[0].Weight),
                short(m[1].Weight), short(m[1].Weight), short(m[1].Weight), short(m[1].Weight),
                short(m[2].Weight), short(m[2].Weight), short(m[2].Weight), short(m[2].Weight),
                short(m[3].Weight), short(m[3].Weight), short(m[3].Weight), short(m[3].Weight));
            r[h] = Lerp16(left, right, w, _mm256_sub_epi16(k256, w));
        }
        // packus per lane: [o0 o1 o4 o5 | o2 o3 o6 o7] -> reorder the 64-bit blocks.
        const __m256i packed = _mm256_packus_epi16(r[0], r[1]);
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + i), _mm256_permute4x64_epi64(packed, 0xD8));
    }
    if (i < count) BilinearHorizontal_Portable(row, map + i, count - i, out + i);
}

VELMORA_AVX2 void Vertical(const TColor32* top, const TColor32* bottom, uint32_t wy, int32_t count,
                           TColor32* out) {
    const __m256i zero = _mm256_setzero_si256();
    const __m256i w = _mm256_set1_epi16(short(wy));
    const __m256i v = _mm256_set1_epi16(short(256 - wy));
    int32_t i = 0;
    for (; i + 8 <= count; i += 8) {
        const __m256i t = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(top + i));
        const __m256i b = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(bottom + i));
        const __m256i lo = Lerp16(_mm256_unpacklo_epi8(t, zero), _mm256_unpacklo_epi8(b, zero), w, v);
        const __m256i hi = Lerp16(_mm256_unpackhi_epi8(t, zero), _mm256_unpackhi_epi8(b, zero), w, v);
        // The unpacks and the pack both work within 128-bit lanes: order kept.
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + i), _mm256_packus_epi16(lo, hi));
    }
    if (i < count) BilinearVertical_Portable(top + i, bottom + i, wy, count - i, out + i);
}

}  // namespace

TBilinearRowOps BilinearRowOps_AVX2() { return {Horizontal, Vertical}; }

namespace {

// Row samples taken two at a time by the vertical pass: the bytes of rows A
// and B interleaved, times the weights wA (low byte) and wB (high byte), with
// vpmaddubsw. A sample that has no partner is paired with itself at weight 0.
struct TRowPair {
    const uint8_t* A;
    const uint8_t* B;
    int16_t Weights;
};

// Up to this many pairs; more row samples take the one-row loop.
constexpr int32_t kMaxRowPairs = 64;

// Pairs the row samples when the byte products can be added two at a time
// without saturating 16 signed bits: each weight at most 127 (a signed byte)
// and a pair's weights adding up to at most 128 (255 * 128 = 32640). The
// count of pairs, or 0 when the samples do not allow it.
int32_t PairRows(const TKernelRowArgs& a, TRowPair* pairs) {
    int32_t n = 0;
    for (int32_t k = 0; k < a.Taps;) {
        if (n == kMaxRowPairs) return 0;
        const uint32_t w0 = a.RowWeights[k];
        if (w0 > 127) return 0;
        const auto* row = reinterpret_cast<const uint8_t*>(a.Rows[k]);
        if (k + 1 < a.Taps && a.RowWeights[k + 1] <= 127 && w0 + a.RowWeights[k + 1] <= 128) {
            pairs[n++] = {row, reinterpret_cast<const uint8_t*>(a.Rows[k + 1]),
                          int16_t(w0 | (a.RowWeights[k + 1] << 8))};
            k += 2;
        } else {
            pairs[n++] = {row, row, int16_t(w0)};
            k += 1;
        }
    }
    return n;
}

}  // namespace

// Buffer layout and arithmetic as KernelRow_SSE2. Where the row weights
// allow (reductions by about 2 or more), the vertical pass takes two rows per
// multiply; the sums are the same integers, added in another order, and no
// partial sum exceeds the final one (all terms are positive), so every 16-bit
// lane holds the exact sum, at most 255 * 256, as in the one-row loop.
VELMORA_AVX2 void KernelRow_AVX2(const TKernelRowArgs& a) {
    auto* buf = static_cast<uint16_t*>(a.Buffer);
    int32_t x = 0;
    TRowPair pairs[kMaxRowPairs];
    const int32_t pairCount = PairRows(a, pairs);
    if (pairCount > 0) {
        for (; x + 16 <= a.Span; x += 16) {
            __m256i s0 = _mm256_setzero_si256(), s1 = s0, s2 = s0, s3 = s0;
            const size_t at = 4 * size_t(x);
            for (int32_t p = 0; p < pairCount; ++p) {
                const __m256i w = _mm256_set1_epi16(pairs[p].Weights);
                const auto* pa = reinterpret_cast<const __m256i*>(pairs[p].A + at);
                const auto* pb = reinterpret_cast<const __m256i*>(pairs[p].B + at);
                const __m256i a0 = _mm256_loadu_si256(pa), a1 = _mm256_loadu_si256(pa + 1);
                const __m256i b0 = _mm256_loadu_si256(pb), b1 = _mm256_loadu_si256(pb + 1);
                // Per 128-bit lane: bytes 0-7 (lo) and 8-15 (hi) of each half.
                s0 = _mm256_add_epi16(s0, _mm256_maddubs_epi16(_mm256_unpacklo_epi8(a0, b0), w));
                s1 = _mm256_add_epi16(s1, _mm256_maddubs_epi16(_mm256_unpackhi_epi8(a0, b0), w));
                s2 = _mm256_add_epi16(s2, _mm256_maddubs_epi16(_mm256_unpacklo_epi8(a1, b1), w));
                s3 = _mm256_add_epi16(s3, _mm256_maddubs_epi16(_mm256_unpackhi_epi8(a1, b1), w));
            }
            // s0 holds bytes 0-7 and 16-23, s1 bytes 8-15 and 24-31: back in order.
            auto* d = reinterpret_cast<__m256i*>(buf + at);
            _mm256_storeu_si256(d, _mm256_permute2x128_si256(s0, s1, 0x20));
            _mm256_storeu_si256(d + 1, _mm256_permute2x128_si256(s0, s1, 0x31));
            _mm256_storeu_si256(d + 2, _mm256_permute2x128_si256(s2, s3, 0x20));
            _mm256_storeu_si256(d + 3, _mm256_permute2x128_si256(s2, s3, 0x31));
        }
    }
    for (; x + 16 <= a.Span; x += 16) {
        __m256i s0 = _mm256_setzero_si256(), s1 = s0, s2 = s0, s3 = s0;
        for (int32_t k = 0; k < a.Taps; ++k) {
            const __m256i w = _mm256_set1_epi16(short(a.RowWeights[k]));
            const auto* p = reinterpret_cast<const __m128i*>(a.Rows[k] + x);
            s0 = _mm256_add_epi16(s0, _mm256_mullo_epi16(_mm256_cvtepu8_epi16(_mm_loadu_si128(p)), w));
            s1 = _mm256_add_epi16(s1, _mm256_mullo_epi16(_mm256_cvtepu8_epi16(_mm_loadu_si128(p + 1)), w));
            s2 = _mm256_add_epi16(s2, _mm256_mullo_epi16(_mm256_cvtepu8_epi16(_mm_loadu_si128(p + 2)), w));
            s3 = _mm256_add_epi16(s3, _mm256_mullo_epi16(_mm256_cvtepu8_epi16(_mm_loadu_si128(p + 3)), w));
        }
        auto* d = reinterpret_cast<__m256i*>(buf + 4 * size_t(x));
        _mm256_storeu_si256(d, s0);
        _mm256_storeu_si256(d + 1, s1);
        _mm256_storeu_si256(d + 2, s2);
        _mm256_storeu_si256(d + 3, s3);
    }
    for (; x + 4 <= a.Span; x += 4) {
        __m256i s = _mm256_setzero_si256();
        for (int32_t k = 0; k < a.Taps; ++k) {
            const __m256i w = _mm256_set1_epi16(short(a.RowWeights[k]));
            const auto* p = reinterpret_cast<const __m128i*>(a.Rows[k] + x);
            s = _mm256_add_epi16(s, _mm256_mullo_epi16(_mm256_cvtepu8_epi16(_mm_loadu_si128(p)), w));
        }
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(buf + 4 * size_t(x)), s);
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
    const int32_t* begin = cols.Begin.data();
    const uint16_t* w4 = cols.Weight4.data();
    const __m128i zero = _mm_setzero_si128();
    for (int32_t i = 0; i < count; ++i) {
        __m256i acc = _mm256_setzero_si256();
        const int32_t end = begin[i + 1];
        const bool contiguous = cols.Contiguous[i] != 0;
        for (int32_t e = begin[i]; e < end; e += 4) {
            __m256i v;
            if (contiguous) {
                v = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(buf + 4 * size_t(pos[e])));
            } else {
                const __m128i v01 = _mm_unpacklo_epi64(
                    _mm_loadl_epi64(reinterpret_cast<const __m128i*>(buf + 4 * size_t(pos[e]))),
                    _mm_loadl_epi64(reinterpret_cast<const __m128i*>(buf + 4 * size_t(pos[e + 1]))));
                const __m128i v23 = _mm_unpacklo_epi64(
                    _mm_loadl_epi64(reinterpret_cast<const __m128i*>(buf + 4 * size_t(pos[e + 2]))),
                    _mm_loadl_epi64(reinterpret_cast<const __m128i*>(buf + 4 * size_t(pos[e + 3]))));
                v = _mm256_inserti128_si256(_mm256_castsi128_si256(v01), v23, 1);
            }
            const __m256i w = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(w4 + 4 * size_t(e)));
            const __m256i lo = _mm256_mullo_epi16(v, w);
            const __m256i hi = _mm256_mulhi_epu16(v, w);
            acc = _mm256_add_epi32(acc, _mm256_add_epi32(_mm256_unpacklo_epi16(lo, hi), _mm256_unpackhi_epi16(lo, hi)));
        }
        __m128i sum = _mm_add_epi32(_mm256_castsi256_si128(acc), _mm256_extracti128_si256(acc, 1));
        sum = _mm_srli_epi32(sum, 16);
        sum = _mm_packs_epi32(sum, zero);
        a.Out[i] = TColor32(_mm_cvtsi128_si32(_mm_packus_epi16(sum, zero)));
    }
}

}  // namespace velmora

#else

namespace velmora {
TBilinearRowOps BilinearRowOps_AVX2() { return {BilinearHorizontal_Portable, BilinearVertical_Portable}; }
void KernelRow_AVX2(const TKernelRowArgs& a) { KernelRow_Portable(a); }
}  // namespace velmora

#endif
