// The 32-bit raster: Width x Height TColor32 pixels in one block, top row
// first, stride exactly Width pixels.
#pragma once

#include "platform/Bitmap.h"
#include "platform/Graphic.h"
#include "platform/Picture.h"
#include "platform/Rect.h"
#include "raster/Color32.h"
#include "raster/Resampler.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

class TBitmap32;

// How a raster reads files. The raster knows no file format itself: the BMP
// codec installs its reader when it registers (RegisterBmpFormat).
struct TBitmap32Reader {
    void (*LoadFromFile)(TBitmap32& Target, const std::string& FileName) = nullptr;
    void (*LoadFromStream)(TBitmap32& Target, TStream& Stream) = nullptr;
};

// Frees a pixel block: small blocks come from calloc; large ones are mapped
// straight from the kernel, zeroed and populated in one call instead of one
// page fault per 4 KiB page while a picture is decoded into them.
struct TPixelBlockDeleter {
    size_t mappedBytes = 0;  // 0: calloc'd
    void operator()(TColor32* p) const noexcept;
};

// The pixel store. The block is plain memory; it is released and, when both
// sides are positive, allocated zero-filled on every size change.
class TCustomBackend {
public:
    virtual ~TCustomBackend() = default;
    TColor32* Bits() const { return bits_.get(); }

protected:
    std::unique_ptr<TColor32, TPixelBlockDeleter> bits_;
};

class TGDIBackend : public TCustomBackend {
public:
    // Releases the old block, allocates the new one (all zero) when both new
    // sides are positive. EBitmapException "Can't allocate the DIB handle"
    // when it cannot; the block is then gone and the owner is left 0 x 0.
    void ChangeSize(int32_t& Width, int32_t& Height, int32_t NewWidth, int32_t NewHeight, bool ClearBuffer);
};

class TBitmap32 {
public:
    TBitmap32();
    ~TBitmap32();
    TBitmap32(const TBitmap32&) = delete;
    TBitmap32& operator=(const TBitmap32&) = delete;

    int32_t Width() const { return width_; }
    int32_t Height() const { return height_; }
    TColor32* Bits() const { return backend_.Bits(); }
    TColor32* ScanLine(int32_t y) const { return Bits() + size_t(y) * size_t(width_); }
    TColor32& Pixel(int32_t x, int32_t y) const { return Bits()[size_t(x) + size_t(y) * size_t(width_)]; }

    // Negative sides become 0. Returns false (pixels untouched) when the size
    // does not change; otherwise every pixel is 0 and ClipRect = BoundsRect.
    bool SetSize(int32_t NewWidth, int32_t NewHeight);
    void Delete() { SetSize(0, 0); }
    bool Empty() const { return Bits() == nullptr || width_ == 0 || height_ == 0; }
    TRect BoundsRect() const { return TRect(0, 0, width_, height_); }

    const TRect& ClipRect() const { return clipRect_; }
    void SetClipRect(const TRect& r);
    bool Clipping() const { return clipping_; }
    void ResetClipRect();

    // Fills the clip rectangle (every pixel when not clipping).
    void Clear(TColor32 FillColor = clBlack32);
    // Sets the alpha byte of every pixel; red, green and blue stay.
    void ResetAlpha(uint8_t AlphaValue = 255);

    // Copies of other pictures.
    void Assign(std::nullptr_t) { Assign(static_cast<const TBitmap32*>(nullptr)); }
    void Assign(const TBitmap32* Source);  // nullptr: SetSize(0, 0)
    void Assign(TBitmap& Source);          // platform bitmap: fill 0, alpha kept for pf32bit
    void Assign(TGraphic& Source);         // any decoded picture: fill white, alpha reset
    void Assign(TPicture& Source);         // the picture it holds (none: SetSize(0, 0))

    // Converts the raster into a pf32bit device-independent bitmap of its size.
    void AssignTo(TBitmap& Dest) const;

    // Reads a file through the installed reader (EInvalidGraphicOperation
    // when none is installed).
    void LoadFromFile(const std::string& FileName);
    void LoadFromStream(TStream& Stream);
    // Set by the last load when the file's data ended before its picture did
    // (TGraphic::ShortData of the picture read).
    bool ShortData = false;
    // Installs the reader; it must outlive every load (a static object).
    static void SetReader(const TBitmap32Reader* Reader);

    // Resamples this raster onto DstRect of Dst with the attached resampler.
    void DrawTo(TBitmap32& Dst, const TRect& DstRect);

    // The attached resampler (owned). Attaching frees the one before.
    TCustomResampler* Resampler() const { return resampler_.get(); }
    void SetResampler(std::unique_ptr<TCustomResampler> r) { resampler_ = std::move(r); }

    // A canvas over the pixel block, for pictures that draw themselves.
    TCanvas Canvas() const { return TCanvas{Bits(), width_, height_}; }

    // Change notification (nothing in the program listens; kept for callers).
    void BeginUpdate() { ++updateCount_; }
    void EndUpdate() { if (updateCount_ > 0) --updateCount_; }
    void Changed();
    std::function<void(TBitmap32&)> OnChange;
    std::function<void(TBitmap32&)> OnResize;

    TDrawMode DrawMode = TDrawMode::dmOpaque;
    TCombineMode CombineMode = TCombineMode::cmBlend;
    TWrapMode WrapMode = TWrapMode::wmClamp;
    uint32_t MasterAlpha = 255;
    TColor32 OuterColor = 0x00000000u;
    TPixelCombineEvent OnPixelCombine;

private:
    void pictureRule(TGraphic& picture, TColor32 fill, bool resetAlpha);

    int32_t width_ = 0, height_ = 0;
    TGDIBackend backend_;
    TRect clipRect_;
    bool clipping_ = false;
    int updateCount_ = 0;
    std::unique_ptr<TCustomResampler> resampler_;
};
