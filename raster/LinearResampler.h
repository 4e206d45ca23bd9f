// The linear resampler: bilinear enlargement, and two-pass resampling with a
// triangle kernel for everything else. All arithmetic on pixels is integer;
// floating point is used only while the per-axis tables are built, with the
// positions, scales and kernel values rounded to single precision where they
// are formed and the intermediate expressions evaluated in long double.
#pragma once

#include "raster/Resampler.h"
#include "raster/ResampleRows.h"

#include <cstdint>
#include <vector>

class TBitmap32;

using velmora::TBilinearRowOps;
using velmora::TFlatClusters;
using velmora::TKernelRowProc;
using velmora::TPointRec;
// The source samples of one destination column (or row).
using TCluster = std::vector<TPointRec>;
// One cluster per destination column (or row) inside the clip, in order.
using TMappingTable = std::vector<TCluster>;

// Per-channel sums of the row buffer of the two-pass path.
struct TBufferEntry {
    int32_t B, G, R, A;
};

class TCustomKernel {
public:
    virtual ~TCustomKernel() = default;
    // Whether results need clamping to the channel range.
    virtual bool RangeCheck() const { return false; }
    virtual float Filter(float Value) const = 0;
    virtual float GetWidth() const = 0;
};

// The triangle: 1 - |v| inside (-1, 1), 0 outside.
class TLinearKernel : public TCustomKernel {
public:
    float Filter(float Value) const override;
    float GetWidth() const override { return 1.0f; }
};

// The mapping table of destination span DstLo..DstHi-1, clipped to
// ClipLo..ClipHi-1, from source span SrcLo..SrcHi-1. Cluster i serves
// destination ClipLo + i; its weights add up to 256. Empty for an empty
// source span; for a one-sample source every cluster is (SrcLo, 256).
TMappingTable BuildClusters(int32_t DstLo, int32_t DstHi, int32_t ClipLo, int32_t ClipHi, int32_t SrcLo,
                            int32_t SrcHi, const TCustomKernel& Kernel);

// The bilinear map of one axis of an enlargement: entry i (destination
// ClipLo + i) is the left/upper source index and the share of it out of 256;
// index Pos + 1 takes the rest. SrcSize is the source raster's width (or
// height); no entry reaches past SrcHi - 1 (the last entries take SrcHi - 1
// in full). Requires SrcHi - SrcLo >= 2.
std::vector<TPointRec> BuildBilinearMap(int32_t DstLo, int32_t DstHi, int32_t ClipLo, int32_t ClipHi,
                                        int32_t SrcLo, int32_t SrcHi, int32_t SrcSize);

// What the kernel path prepares from the two tables: the column clusters laid
// out for the row kernels, the source columns Lo .. Lo + Span - 1 they read,
// the most row samples of any row cluster and the row kernel to use.
struct TKernelPlan {
    TFlatClusters Flat;
    int32_t Lo = 0;
    int32_t Span = 0;
    size_t MaxTaps = 0;
    TKernelRowProc Proc = nullptr;
};
// Empty plan (Span 0) when either table is empty.
TKernelPlan MakeKernelPlan(const TMappingTable& colTable, const TMappingTable& rowTable);

// The row operations of the bilinear path on this processor.
TBilinearRowOps ChosenBilinearRowOps();

// Whether a SrcW x SrcH source drawn onto DstW x DstH takes the bilinear
// path (both sides grow and the source has at least two columns and rows).
bool EnlargesBilinear(int64_t SrcW, int64_t SrcH, int64_t DstW, int64_t DstH);

// The two resampling paths (arguments as TCustomResampler::Resample).
void EnlargeBilinear(TBitmap32& Dst, const TRect& DstRect, const TRect& DstClip, TBitmap32& Src,
                     const TRect& SrcRect, TDrawMode CombineOp, const TPixelCombineEvent& CombineCallBack);
void ResampleKernel(TBitmap32& Dst, const TRect& DstRect, const TRect& DstClip, TBitmap32& Src,
                    const TRect& SrcRect, const TCustomKernel& Kernel, TDrawMode CombineOp,
                    const TPixelCombineEvent& CombineCallBack);

// Usage, either
//     TLinearResampler::Attach(img);
// or
//     img.SetResampler(std::make_unique<TLinearResampler>(img));
// The constructor binds the resampler to its raster; it does not attach
// itself (a raster owns its resampler through a unique_ptr).
class TLinearResampler : public TCustomResampler {
public:
    explicit TLinearResampler(TBitmap32& ABitmap);

    // Creates a resampler bound to ABitmap and attaches it as ABitmap's
    // Resampler, freeing the one attached before. The raster owns it.
    static TLinearResampler& Attach(TBitmap32& ABitmap);

    float GetWidth() const override { return FLinearKernel.GetWidth(); }

    // Bilinear enlargement when both dimensions grow and the source has at
    // least two columns and two rows; the kernel path otherwise.
    void Resample(TBitmap32& Dst, const TRect& DstRect, const TRect& DstClip, TBitmap32& Src, const TRect& SrcRect,
                  TDrawMode CombineOp, const TPixelCombineEvent& CombineCallBack) override;

    const TLinearKernel& Kernel() const { return FLinearKernel; }

private:
    TLinearKernel FLinearKernel;
};
