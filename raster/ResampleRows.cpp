#include "raster/ResampleRows.h"

namespace velmora {

namespace {

// Per channel (X * W + Y * (256 - W)) / 256 for W in 0..256, two channels per
// word: each 16-bit slot holds at most 255 * 256, so nothing carries across.
inline TColor32 Lerp256(TColor32 X, TColor32 Y, uint32_t W) {
    const uint32_t V = 256 - W;
    const uint32_t rb = ((X & 0x00FF00FFu) * W + (Y & 0x00FF00FFu) * V) >> 8;
    const uint32_t ag = ((X >> 8) & 0x00FF00FFu) * W + ((Y >> 8) & 0x00FF00FFu) * V;
    return (rb & 0x00FF00FFu) | (ag & 0xFF00FF00u);
}

}  // namespace

void BilinearHorizontal_Portable(const TColor32* row, const TPointRec* map, int32_t count, TColor32* out) {
    for (int32_t i = 0; i < count; ++i) {
        const TColor32* p = row + map[i].Pos;
        out[i] = Lerp256(p[0], p[1], map[i].Weight);
    }
}

void BilinearVertical_Portable(const TColor32* top, const TColor32* bottom, uint32_t wy, int32_t count,
                               TColor32* out) {
    for (int32_t i = 0; i < count; ++i) out[i] = Lerp256(top[i], bottom[i], wy);
}

void KernelRow_Portable(const TKernelRowArgs& a) {
    struct TBufferEntry {
        uint32_t B, G, R, A;
    };
    auto* buffer = static_cast<TBufferEntry*>(a.Buffer);
    for (int32_t x = 0; x < a.Span; ++x) {
        uint32_t A = 0, R = 0, G = 0, B = 0;
        for (int32_t k = 0; k < a.Taps; ++k) {
            const TColor32 p = a.Rows[k][x];
            const uint32_t w = a.RowWeights[k];
            A += w * (p >> 24);
            R += w * ((p >> 16) & 0xFF);
            G += w * ((p >> 8) & 0xFF);
            B += w * (p & 0xFF);
        }
        buffer[x] = {B, G, R, A};
    }
    const TFlatClusters& cols = *a.Cols;
    const int32_t count = cols.Count();
    for (int32_t i = 0; i < count; ++i) {
        uint32_t A = 0, R = 0, G = 0, B = 0;
        const int32_t end = cols.Begin[i] + cols.N[i];
        for (int32_t e = cols.Begin[i]; e < end; ++e) {
            const TBufferEntry& s = buffer[cols.Pos[e]];
            const uint32_t w = cols.Weight[e];
            A += w * s.A;
            R += w * s.R;
            G += w * s.G;
            B += w * s.B;
        }
        a.Out[i] = (A & 0x00FF0000u) << 8 | (R & 0x00FF0000u) | (G & 0x00FF0000u) >> 8 | (B & 0x00FF0000u) >> 16;
    }
}

TVariantTable<TBilinearRowOps>& BilinearRowTable() {
    static TVariantTable<TBilinearRowOps> table = [] {
        TVariantTable<TBilinearRowOps> t;
        t.Add({BilinearHorizontal_Portable, BilinearVertical_Portable}, 0, "portable");
#if defined(__x86_64__)
        t.Add(BilinearRowOps_SSE2(), cfSSE | cfSSE2, "sse2");
        t.Add(BilinearRowOps_AVX2(), cfSSE | cfSSE2 | cfAVX2, "avx2");
#endif
        t.Bind(CpuFeatures());
        return t;
    }();
    return table;
}

TVariantTable<TKernelRowProc>& KernelRowTable() {
    static TVariantTable<TKernelRowProc> table = [] {
        TVariantTable<TKernelRowProc> t;
        t.Add(KernelRow_Portable, 0, "portable");
#if defined(__x86_64__)
        t.Add(KernelRow_SSE2, cfSSE | cfSSE2, "sse2");
        t.Add(KernelRow_AVX2, cfSSE | cfSSE2 | cfAVX2, "avx2");
#endif
        t.Bind(CpuFeatures());
        return t;
    }();
    return table;
}

}  // namespace velmora
