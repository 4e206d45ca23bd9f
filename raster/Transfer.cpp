#include "raster/Transfer.h"

#include "platform/Exceptions.h"
#include "raster/Bitmap32.h"

#include <cmath>
#include <cstring>
#include <limits>
#include <new>

namespace {

int32_t SaturateToInt32(long double v) {
    if (v >= (long double)std::numeric_limits<int32_t>::max()) return std::numeric_limits<int32_t>::max();
    if (v <= (long double)std::numeric_limits<int32_t>::min()) return std::numeric_limits<int32_t>::min();
    return int32_t(v);
}

int32_t SaturatingAdd(int32_t a, int64_t b) {
    const int64_t r = int64_t(a) + b;
    if (r > std::numeric_limits<int32_t>::max()) return std::numeric_limits<int32_t>::max();
    if (r < std::numeric_limits<int32_t>::min()) return std::numeric_limits<int32_t>::min();
    return int32_t(r);
}

// Channel blend with rounding: (f * a + b * (255 - a)) / 255, a in 0..255.
inline uint32_t Mix255(uint32_t f, uint32_t b, uint32_t a) { return (f * a + b * (255 - a) + 127) / 255; }

// dmBlend: C over D with C's alpha scaled by MasterAlpha. cmBlend keeps D's
// alpha (the background stays as opaque as it was); cmMerge composites the
// two alphas ("over") and weights the colours by them.
TColor32 BlendOver(TColor32 C, TColor32 D, TCombineMode mode, uint32_t master) {
    const uint32_t a = ((C >> 24) * master + 127) / 255;
    if (a == 0) return D;
    if (mode == TCombineMode::cmBlend) {
        if (a == 255) return (C & 0x00FFFFFFu) | (D & 0xFF000000u);
        TColor32 out = D & 0xFF000000u;
        for (int s = 0; s < 24; s += 8) out |= Mix255((C >> s) & 0xFF, (D >> s) & 0xFF, a) << s;
        return out;
    }
    const uint32_t da = D >> 24;
    const uint32_t back = da * (255 - a);            // background weight, scaled by 255
    const uint32_t outA255 = a * 255 + back;          // result alpha, scaled by 255
    if (outA255 == 0) return 0;
    TColor32 out = ((outA255 + 127) / 255) << 24;
    for (int s = 0; s < 24; s += 8) {
        const uint32_t c = ((C >> s) & 0xFF) * a * 255 + ((D >> s) & 0xFF) * back;
        out |= ((c + outA255 / 2) / outA255) << s;
    }
    return out;
}

// Equal sizes: each clip row takes the source pixels at the same offset.
void CopyBlock(TBitmap32& Dst, const TRect& DstRect, const TRect& DstClip, TBitmap32& Src, const TRect& SrcRect,
               TDrawMode CombineOp, const TPixelCombineEvent& CombineCallBack) {
    const int32_t w = DstClip.Width();
    const int32_t sx = SrcRect.Left + DstClip.Left - DstRect.Left;
    for (int32_t y = DstClip.Top; y < DstClip.Bottom; ++y) {
        const TColor32* s = Src.ScanLine(SrcRect.Top + y - DstRect.Top) + sx;
        TColor32* d = Dst.ScanLine(y) + DstClip.Left;
        if (CombineOp == TDrawMode::dmOpaque || (CombineOp == TDrawMode::dmCustom && !CombineCallBack)) {
            std::memmove(d, s, size_t(w) * sizeof(TColor32));
        } else {
            for (int32_t x = 0; x < w; ++x) StorePixel(s[x], d[x], CombineOp, CombineCallBack, Src);
        }
    }
}

}  // namespace

void StorePixel(TColor32 C, TColor32& D, TDrawMode CombineOp, const TPixelCombineEvent& CombineCallBack,
                const TBitmap32& Src) {
    switch (CombineOp) {
    case TDrawMode::dmOpaque:
        D = C;
        break;
    case TDrawMode::dmTransparent:
        if (C != Src.OuterColor) D = C;
        break;
    case TDrawMode::dmCustom:
        if (CombineCallBack)
            CombineCallBack(C, D, Src.MasterAlpha);
        else
            D = C;
        break;
    case TDrawMode::dmBlend:
        D = BlendOver(C, D, Src.CombineMode, Src.MasterAlpha > 255 ? 255 : Src.MasterAlpha);
        break;
    }
}

TRowStore::TRowStore(TBitmap32& Dst, const TBitmap32& Src, int32_t x0, int32_t count, TDrawMode CombineOp,
                     const TPixelCombineEvent& CombineCallBack)
    : dst_(Dst), src_(Src), x0_(x0), count_(count), op_(CombineOp), callback_(CombineCallBack),
      direct_(CombineOp == TDrawMode::dmOpaque || (CombineOp == TDrawMode::dmCustom && !CombineCallBack)) {
    if (!direct_) scratch_.resize(size_t(count));
}

TColor32* TRowStore::Row(int32_t y) { return direct_ ? dst_.ScanLine(y) + x0_ : scratch_.data(); }

void TRowStore::Commit(int32_t y) {
    if (direct_) return;
    TColor32* d = dst_.ScanLine(y) + x0_;
    for (int32_t i = 0; i < count_; ++i) StorePixel(scratch_[size_t(i)], d[i], op_, callback_, src_);
}

void TransferScaled(TBitmap32* Dst, TRect DstRect, TRect DstClip, TBitmap32* Src, TRect SrcRect,
                    TCustomResampler* Resampler, TDrawMode CombineOp, const TPixelCombineEvent& CombineCallBack) {
    if (Dst == nullptr) throw EBitmapException("Destination bitmap is nil");
    if (Src == nullptr) throw EBitmapException("Source bitmap is nil");

    // An empty SrcRect draws nothing; it is tested first so that the scales
    // below never divide by zero (cutting cannot make an empty rectangle
    // non-empty, so the outcome is the same).
    if (SrcRect.IsEmpty()) return;

    // Cut SrcRect to the source and shrink DstRect in proportion, with the
    // single-precision scales taken before the cut.
    const int32_t srcWidth = Src->Width(), srcHeight = Src->Height();
    if (SrcRect.Left < 0 || SrcRect.Top < 0 || SrcRect.Right > srcWidth || SrcRect.Bottom > srcHeight) {
        const float scaleX = float((long double)(int64_t(DstRect.Right) - DstRect.Left) /
                                   (long double)(int64_t(SrcRect.Right) - SrcRect.Left));
        const float scaleY = float((long double)(int64_t(DstRect.Bottom) - DstRect.Top) /
                                   (long double)(int64_t(SrcRect.Bottom) - SrcRect.Top));
        if (SrcRect.Left < 0) {
            DstRect.Left = SaturatingAdd(DstRect.Left, SaturateToInt32(std::ceil(-(long double)SrcRect.Left * scaleX)));
            SrcRect.Left = 0;
        }
        if (SrcRect.Top < 0) {
            DstRect.Top = SaturatingAdd(DstRect.Top, SaturateToInt32(std::ceil(-(long double)SrcRect.Top * scaleY)));
            SrcRect.Top = 0;
        }
        if (SrcRect.Right > srcWidth) {
            DstRect.Right = SaturatingAdd(
                DstRect.Right, -int64_t(SaturateToInt32(std::floor((long double)(SrcRect.Right - srcWidth) * scaleX))));
            SrcRect.Right = srcWidth;
        }
        if (SrcRect.Bottom > srcHeight) {
            DstRect.Bottom = SaturatingAdd(
                DstRect.Bottom,
                -int64_t(SaturateToInt32(std::floor((long double)(SrcRect.Bottom - srcHeight) * scaleY))));
            SrcRect.Bottom = srcHeight;
        }
    }

    if (Src->Empty() || Dst->Empty()) return;
    if (CombineOp == TDrawMode::dmBlend && Src->MasterAlpha == 0) return;
    if (SrcRect.IsEmpty()) return;

    DstClip = IntersectRect(IntersectRect(DstClip, Dst->BoundsRect()), DstRect);
    if (DstClip.IsEmpty()) return;

    if (DstRect.Width() == SrcRect.Width() && DstRect.Height() == SrcRect.Height()) {
        CopyBlock(*Dst, DstRect, DstClip, *Src, SrcRect, CombineOp, CombineCallBack);
    } else {
        // A raster always carries a resampler; one detached by hand is a
        // caller's error, reported rather than dereferenced.
        if (Resampler == nullptr) throw EBitmapException("Resampler is nil");
        // The resamplers make all their tables before writing a pixel, so
        // running out of memory leaves the destination as it was.
        try {
            Resampler->Resample(*Dst, DstRect, DstClip, *Src, SrcRect, CombineOp, CombineCallBack);
        } catch (const std::bad_alloc&) {
            throw EOutOfMemory();
        }
    }
    Dst->Changed();
}

void TBitmap32::DrawTo(TBitmap32& Dst, const TRect& DstRect) {
    TransferScaled(&Dst, DstRect, Dst.ClipRect(), this, BoundsRect(), Resampler(), DrawMode, OnPixelCombine);
}
