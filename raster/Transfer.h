// The transfer step between two rasters and the per-pixel store step that
// every resampler writes through.
#pragma once

#include "platform/Rect.h"
#include "raster/Color32.h"
#include "raster/Resampler.h"

#include <cstdint>
#include <vector>

class TBitmap32;

// Validates, clips and short-cuts equal sizes, then lets Resampler fill
// DstClip. EBitmapException "Destination bitmap is nil" / "Source bitmap is
// nil" for a missing raster. Nothing is drawn when either raster is empty,
// SrcRect or the clipped destination is empty, or CombineOp is dmBlend with
// the source's MasterAlpha 0.
void TransferScaled(TBitmap32* Dst, TRect DstRect, TRect DstClip, TBitmap32* Src, TRect SrcRect,
                    TCustomResampler* Resampler, TDrawMode CombineOp, const TPixelCombineEvent& CombineCallBack);

// The store step for one computed pixel C over destination pixel D.
void StorePixel(TColor32 C, TColor32& D, TDrawMode CombineOp, const TPixelCombineEvent& CombineCallBack,
                const TBitmap32& Src);

// Where a resampler computes one destination row segment (columns x0 ..
// x0 + count - 1). With dmOpaque (or dmCustom without a callback) the pixels
// are computed straight into the destination; otherwise into a scratch row
// that Commit stores through the store step. The scratch row is allocated by
// the constructor, before any pixel is written.
class TRowStore {
public:
    TRowStore(TBitmap32& Dst, const TBitmap32& Src, int32_t x0, int32_t count, TDrawMode CombineOp,
              const TPixelCombineEvent& CombineCallBack);
    TColor32* Row(int32_t y);
    void Commit(int32_t y);

private:
    TBitmap32& dst_;
    const TBitmap32& src_;
    int32_t x0_, count_;
    TDrawMode op_;
    const TPixelCombineEvent& callback_;
    bool direct_;
    std::vector<TColor32> scratch_;
};
