// Row kernels of the two resampling paths, in their processor variants. The
// portable variant of each operation is the reference; the others must give
// the same bytes for every input their preconditions allow.
#pragma once

#include "raster/Color32.h"
#include "raster/CpuVariants.h"

#include <cstdint>
#include <vector>

namespace velmora {

// One sample of a cluster or one entry of a bilinear map: a source column
// (or row) and its weight in units of 1/256.
struct TPointRec {
    int32_t Pos;
    uint32_t Weight;
};

// ---------------------------------------------------------------------------
// Bilinear enlargement with the 16-bit arithmetic of BlendBilinear_SSE, split
// into its two stages so that the horizontal stage of a source row is done
// once and reused by every destination row that needs it.

struct TBilinearRowOps {
    // out[i] = per channel (row[c] * W + row[c + 1] * (256 - W)) / 256 with
    // (c, W) = map[i]; W in 0..256, c + 1 a valid column of `row`.
    void (*Horizontal)(const TColor32* row, const TPointRec* map, int32_t count, TColor32* out);
    // out[i] = per channel (top[i] * wy + bottom[i] * (256 - wy)) / 256, wy in 0..256.
    void (*Vertical)(const TColor32* top, const TColor32* bottom, uint32_t wy, int32_t count, TColor32* out);
};

void BilinearHorizontal_Portable(const TColor32* row, const TPointRec* map, int32_t count, TColor32* out);
void BilinearVertical_Portable(const TColor32* top, const TColor32* bottom, uint32_t wy, int32_t count,
                               TColor32* out);
TBilinearRowOps BilinearRowOps_SSE2();
TBilinearRowOps BilinearRowOps_AVX2();

// portable, sse2, avx2
TVariantTable<TBilinearRowOps>& BilinearRowTable();

// ---------------------------------------------------------------------------
// Two-pass kernel resampling of one destination row.

// The column clusters laid out flat. Cluster i has N[i] samples starting at
// Begin[i]; its storage is padded with weight-0 samples to a multiple of 4,
// so Begin[i + 1] - Begin[i] is a multiple of 4. A padding sample sits one
// column after the sample before it (at most 3 columns past Hi, which the
// row buffer covers). Contiguous[i] is 1 when the stored positions of
// cluster i, padding included, are consecutive columns.
struct TFlatClusters {
    std::vector<int32_t> Begin;       // Count + 1 entries
    std::vector<int32_t> N;           // Count entries
    std::vector<uint8_t> Contiguous;  // Count entries
    std::vector<int32_t> Pos;         // source column minus Lo
    std::vector<uint32_t> Weight;     // as built
    std::vector<uint16_t> Weight4;    // each weight four times (one per channel)
    int32_t Count() const { return int32_t(N.size()); }
};

struct TKernelRowArgs {
    const TColor32* const* Rows;  // one per row sample: the source row, pointing at column Lo
    const uint32_t* RowWeights;   // the row samples' weights
    int32_t Taps;                 // number of row samples
    int32_t Span;                 // Hi - Lo + 1 source columns
    const TFlatClusters* Cols;    // one cluster per output pixel
    void* Buffer;                 // at least KernelBufferBytes(Span) bytes
    TColor32* Out;                // Cols->Count() pixels
};

// 16 bytes per column (the portable sums) plus room for the padding samples.
inline size_t KernelBufferBytes(int32_t span) { return size_t(span) * 16 + 64; }

// Portable reference: 32-bit sums per channel (vertical for every column
// Lo..Hi into the row buffer, then horizontal per output pixel), each output
// channel (sum AND 0x00FF0000) >> 16. Any weights are allowed (the sums wrap
// modulo 2^32).
void KernelRow_Portable(const TKernelRowArgs& a);

// Accelerated variants. Precondition: every weight is in 0..256 and each
// cluster (row and column) sums to 256, so vertical sums fit 16 bits
// (<= 255 * 256) and horizontal sums 24 bits.
void KernelRow_SSE2(const TKernelRowArgs& a);
void KernelRow_AVX2(const TKernelRowArgs& a);

using TKernelRowProc = void (*)(const TKernelRowArgs&);
// portable, sse2, avx2
TVariantTable<TKernelRowProc>& KernelRowTable();

}  // namespace velmora
