// The default resampler of every raster: each destination pixel takes the
// source pixel under its centre.
#pragma once

#include "raster/Resampler.h"

class TNearestResampler : public TCustomResampler {
public:
    using TCustomResampler::TCustomResampler;
    float GetWidth() const override { return 1.0f; }
    void Resample(TBitmap32& Dst, const TRect& DstRect, const TRect& DstClip, TBitmap32& Src, const TRect& SrcRect,
                  TDrawMode CombineOp, const TPixelCombineEvent& CombineCallBack) override;
};
