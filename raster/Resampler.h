// Base class of the resamplers a raster can carry.
#pragma once

#include "platform/Rect.h"
#include "raster/Color32.h"

#include <functional>

class TBitmap32;

enum class TDrawMode { dmOpaque, dmBlend, dmCustom, dmTransparent };
enum class TCombineMode { cmBlend, cmMerge };
enum class TWrapMode { wmClamp, wmRepeat, wmMirror };
enum class TPixelAccessMode { pamUnsafe, pamSafe, pamWrap, pamTransparentEdge };

// Per-pixel store of dmCustom: F the computed colour, B the destination pixel
// (may be changed), M the source's MasterAlpha.
using TPixelCombineEvent = std::function<void(TColor32 F, TColor32& B, TColor32 M)>;

class TCustomResampler {
public:
    explicit TCustomResampler(TBitmap32* bitmap) : Bitmap(bitmap) {}
    virtual ~TCustomResampler() = default;
    TCustomResampler(const TCustomResampler&) = delete;
    TCustomResampler& operator=(const TCustomResampler&) = delete;

    // The kernel's reach in source pixels.
    virtual float GetWidth() const = 0;

    // Writes every destination pixel of DstClip. Called only by TransferScaled,
    // with a non-empty DstClip inside Dst and DstRect and a non-empty SrcRect
    // inside Src.
    virtual void Resample(TBitmap32& Dst, const TRect& DstRect, const TRect& DstClip, TBitmap32& Src,
                          const TRect& SrcRect, TDrawMode CombineOp,
                          const TPixelCombineEvent& CombineCallBack) = 0;

    TBitmap32* Bitmap;  // the raster this resampler samples; not owned
    TPixelAccessMode PixelAccessMode = TPixelAccessMode::pamSafe;
};
