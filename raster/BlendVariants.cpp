#include "raster/BlendVariants.h"

#include <algorithm>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace velmora {

TColor32 BlendBilinear_SSE(TColor32 P00, TColor32 P10, TColor32 P01, TColor32 P11, uint32_t WX, uint32_t WY) {
#if defined(__SSE2__)
    // Lanes 0..3 hold the left/upper pixel's channels, lanes 4..7 the other
    // one's. Every product and sum is at most 255 * 256 = 65280: exact in
    // unsigned 16-bit lanes.
    const __m128i zero = _mm_setzero_si128();
    const __m128i wx = _mm_set_epi16(short(256 - WX), short(256 - WX), short(256 - WX), short(256 - WX), short(WX),
                                     short(WX), short(WX), short(WX));
    const __m128i wy = _mm_set_epi16(short(256 - WY), short(256 - WY), short(256 - WY), short(256 - WY), short(WY),
                                     short(WY), short(WY), short(WY));
    const __m128i upper = _mm_unpacklo_epi8(_mm_set_epi32(0, 0, int(P10), int(P00)), zero);
    const __m128i lower = _mm_unpacklo_epi8(_mm_set_epi32(0, 0, int(P11), int(P01)), zero);
    __m128i mu = _mm_mullo_epi16(upper, wx);
    __m128i ml = _mm_mullo_epi16(lower, wx);
    const __m128i top = _mm_srli_epi16(_mm_add_epi16(mu, _mm_srli_si128(mu, 8)), 8);
    const __m128i bottom = _mm_srli_epi16(_mm_add_epi16(ml, _mm_srli_si128(ml, 8)), 8);
    __m128i m = _mm_mullo_epi16(_mm_unpacklo_epi64(top, bottom), wy);
    const __m128i r = _mm_srli_epi16(_mm_add_epi16(m, _mm_srli_si128(m, 8)), 8);
    return TColor32(_mm_cvtsi128_si32(_mm_packus_epi16(r, r)));
#else
    TColor32 out = 0;
    for (int s = 0; s < 32; s += 8) {
        const uint32_t p00 = (P00 >> s) & 255, p10 = (P10 >> s) & 255, p01 = (P01 >> s) & 255,
                       p11 = (P11 >> s) & 255;
        const uint32_t top = (p00 * WX + p10 * (256 - WX)) >> 8;
        const uint32_t bottom = (p01 * WX + p11 * (256 - WX)) >> 8;
        out |= ((top * WY + bottom * (256 - WY)) >> 8) << s;
    }
    return out;
#endif
}

TColor32 BlendBilinear_Portable(TColor32 P00, TColor32 P10, TColor32 P01, TColor32 P11, uint32_t WX, uint32_t WY) {
    WX = std::min<uint32_t>(WX, 255);
    WY = std::min<uint32_t>(WY, 255);
    const TCombineProc combine = CombineTable().Bound();
    return combine(combine(P00, P10, WX), combine(P01, P11, WX), WY);
}

// Two channels per 32-bit word (bits 0..7 and 16..23): each 16-bit slot holds
// at most 255 * 256 + 128 = 65408, so no carry crosses into the next slot.
TColor32 Combine_MMX(TColor32 X, TColor32 Y, uint32_t W) {
    const uint32_t V = 256 - W;
    const uint32_t rb = ((X & 0x00FF00FFu) * W + (Y & 0x00FF00FFu) * V + 0x00800080u) >> 8;
    const uint32_t ag = (((X >> 8) & 0x00FF00FFu) * W + ((Y >> 8) & 0x00FF00FFu) * V + 0x00800080u) >> 8;
    return (rb & 0x00FF00FFu) | ((ag & 0x00FF00FFu) << 8);
}

// Each half rounds on its own; per channel the two halves add up to at most
// 255 (X * W / 256 + Y * (255 - W) / 256 + 1 <= 255 + 1 with both floors), so
// the packed sum never carries.
TColor32 Combine_Portable(TColor32 X, TColor32 Y, uint32_t W) {
    if (W == 0) return Y;
    if (W >= 255) return X;
    const uint32_t V = 255 - W;
    const uint32_t xrb = (((X & 0x00FF00FFu) * W + 0x00800080u) >> 8) & 0x00FF00FFu;
    const uint32_t xag = ((((X >> 8) & 0x00FF00FFu) * W + 0x00800080u) >> 8) & 0x00FF00FFu;
    const uint32_t yrb = (((Y & 0x00FF00FFu) * V + 0x00800080u) >> 8) & 0x00FF00FFu;
    const uint32_t yag = ((((Y >> 8) & 0x00FF00FFu) * V + 0x00800080u) >> 8) & 0x00FF00FFu;
    return (xrb + yrb) | ((xag + yag) << 8);
}

TVariantTable<TBlendBilinearProc>& BlendBilinearTable() {
    static TVariantTable<TBlendBilinearProc> table = [] {
        TVariantTable<TBlendBilinearProc> t;
        t.Add(BlendBilinear_Portable, 0, "portable");
        t.Add(BlendBilinear_SSE, cfSSE, "sse");
        t.Bind(CpuFeatures());
        return t;
    }();
    return table;
}

TVariantTable<TCombineProc>& CombineTable() {
    static TVariantTable<TCombineProc> table = [] {
        TVariantTable<TCombineProc> t;
        t.Add(Combine_Portable, 0, "portable");
        t.Add(Combine_MMX, cfMMX, "mmx");
        t.Bind(CpuFeatures());
        return t;
    }();
    return table;
}

}  // namespace velmora
