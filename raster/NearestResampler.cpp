#include "raster/NearestResampler.h"

#include "raster/Bitmap32.h"

void TNearestResampler::Resample(TBitmap32& Dst, const TRect& DstRect, const TRect& DstClip, TBitmap32& Src,
                                 const TRect& SrcRect, TDrawMode CombineOp,
                                 const TPixelCombineEvent& CombineCallBack) {
    const int64_t srcW = SrcRect.Width(), srcH = SrcRect.Height();
    const int64_t dstW = DstRect.Width(), dstH = DstRect.Height();
    for (int32_t y = DstClip.Top; y < DstClip.Bottom; ++y) {
        const int32_t sy = int32_t(SrcRect.Top + ((2 * (y - DstRect.Top) + 1) * srcH) / (2 * dstH));
        for (int32_t x = DstClip.Left; x < DstClip.Right; ++x) {
            const int32_t sx = int32_t(SrcRect.Left + ((2 * (x - DstRect.Left) + 1) * srcW) / (2 * dstW));
            const TColor32 c = Src.Pixel(sx, sy);
            TColor32& d = Dst.Pixel(x, y);
            if (CombineOp == TDrawMode::dmCustom && CombineCallBack)
                CombineCallBack(c, d, Src.MasterAlpha);
            else if (CombineOp == TDrawMode::dmTransparent && c == Src.OuterColor)
                continue;
            else
                d = c;
        }
    }
}
