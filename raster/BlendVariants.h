// The bilinear blend of four pixels and the two-colour combine, in their
// processor variants. All channels (alpha included) are blended alike.
#pragma once

#include "raster/Color32.h"
#include "raster/CpuVariants.h"

#include <cstdint>

namespace velmora {

// P00 = S(c, r), P10 = S(c + 1, r), P01 = S(c, r + 1), P11 = S(c + 1, r + 1);
// WX, WY in 0..256 are the shares of column c and of row r.
using TBlendBilinearProc = TColor32 (*)(TColor32 P00, TColor32 P10, TColor32 P01, TColor32 P11, uint32_t WX,
                                        uint32_t WY);
// X and Y blended with weight W (0..255) for X.
using TCombineProc = TColor32 (*)(TColor32 X, TColor32 Y, uint32_t W);

// Per channel, every division truncating:
//   top    = (P00 * WX + P10 * (256 - WX)) / 256
//   bottom = (P01 * WX + P11 * (256 - WX)) / 256
//   result = (top * WY + bottom * (256 - WY)) / 256
// computed on 16-bit lanes, four channels side by side (needs SSE).
TColor32 BlendBilinear_SSE(TColor32 P00, TColor32 P10, TColor32 P01, TColor32 P11, uint32_t WX, uint32_t WY);

// The processor without SSE: WX and WY limited to 255, then
// Combine(Combine(P00, P10, WX), Combine(P01, P11, WX), WY) with the bound
// two-colour combine.
TColor32 BlendBilinear_Portable(TColor32 P00, TColor32 P10, TColor32 P01, TColor32 P11, uint32_t WX, uint32_t WY);

// Per channel (X * W + Y * (256 - W) + 128) / 256 (needs MMX).
TColor32 Combine_MMX(TColor32 X, TColor32 Y, uint32_t W);

// Per channel: Y when W = 0, X when W = 255, otherwise
// (X * W + 128) / 256 + (Y * (255 - W) + 128) / 256.
TColor32 Combine_Portable(TColor32 X, TColor32 Y, uint32_t W);

// Portable first, SSE after it.
TVariantTable<TBlendBilinearProc>& BlendBilinearTable();
// Without MMX first, MMX after it.
TVariantTable<TCombineProc>& CombineTable();

inline TColor32 BlendBilinear(TColor32 P00, TColor32 P10, TColor32 P01, TColor32 P11, uint32_t WX, uint32_t WY) {
    return BlendBilinearTable().Bound()(P00, P10, P01, P11, WX, WY);
}
inline TColor32 Combine(TColor32 X, TColor32 Y, uint32_t W) { return CombineTable().Bound()(X, Y, W); }

}  // namespace velmora
