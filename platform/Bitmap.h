// The platform bitmap: a device-independent picture held in plain memory.
// Rows lie bottom-up in memory, each padded to a multiple of 4 bytes, exactly
// as in a BMP file's pixel array; ScanLine(y) hides the order (y = 0 is the top).
#pragma once

#include "platform/Graphic.h"

#include <cstdint>
#include <vector>

enum class TPixelFormat { pfDevice, pf1bit, pf4bit, pf8bit, pf15bit, pf16bit, pf24bit, pf32bit, pfCustom };

// Bits per pixel of the in-memory layout. pfDevice and pfCustom pictures are
// held as 32-bit blue, green, red, unused (their fourth byte is not alpha);
// pf15bit and pf16bit as 16-bit words 5-5-5 and 5-6-5.
int BitsPerPixel(TPixelFormat pf);

// A 16-bit word of a pf15bit (5-5-5) or pf16bit (5-6-5) picture as the opaque
// 0xFFRRGGBB, each channel widened to eight bits by repeating its top bits.
inline uint32_t Pixel16ToArgb(uint32_t w, TPixelFormat pf) {
    const unsigned greenBits = pf == TPixelFormat::pf16bit ? 6 : 5;
    const uint32_t r = (w >> (5 + greenBits)) & 31, g = (w >> 5) & ((1u << greenBits) - 1), b = w & 31;
    return 0xFF000000u | (r << 3 | r >> 2) << 16 | (g << (8 - greenBits) | g >> (2 * greenBits - 8)) << 8 |
           (b << 3 | b >> 2);
}

struct TRGBQuad {
    uint8_t rgbBlue = 0, rgbGreen = 0, rgbRed = 0, rgbReserved = 0;
    friend bool operator==(const TRGBQuad&, const TRGBQuad&) = default;
};

enum class THandleType { bmDIB, bmDDB };

class TBitmap : public TGraphic {
public:
    TBitmap() = default;
    TBitmap(const TBitmap&) = default;
    TBitmap& operator=(const TBitmap&) = default;

    int32_t Width() override { return width_; }
    int32_t Height() override { return height_; }
    int32_t Width() const { return width_; }
    int32_t Height() const { return height_; }
    bool Empty() override { return width_ == 0 || height_ == 0; }
    bool Transparent() override { return transparent_; }

    TPixelFormat PixelFormat() const { return format_; }
    // Changes the pixel format. Pixels are converted when the picture is not
    // empty and the new format is pf24bit or pf32bit (through the palette for
    // indexed pictures; a 32-bit picture loses its fourth byte going to 24).
    // Any other change leaves a zero-filled picture of the same size.
    void SetPixelFormat(TPixelFormat pf);

    // New zero-filled pixels of the given size (negative sizes count as 0).
    // EOutOfMemory ("Out of system resources") when the picture is too large.
    void SetSize(int32_t width, int32_t height);

    THandleType HandleType = THandleType::bmDIB;

    // Stride in bytes: the row of Width pixels padded to 4 bytes.
    size_t Stride() const { return stride_; }
    // Row y, counted from the top.
    uint8_t* ScanLine(int32_t y) { return bits_.data() + size_t(height_ - 1 - y) * stride_; }
    const uint8_t* ScanLine(int32_t y) const { return bits_.data() + size_t(height_ - 1 - y) * stride_; }
    // The whole pixel array, bottom row first (BMP order).
    uint8_t* Bits() { return bits_.data(); }
    const uint8_t* Bits() const { return bits_.data(); }
    size_t BitsSize() const { return bits_.size(); }

    // Colour table of indexed pictures (at most 256 entries).
    std::vector<TRGBQuad> Palette;

    // Colour key. TransparentColor is a colour reference 0x00BBGGRR.
    void SetTransparent(bool t) { transparent_ = t; }
    uint32_t TransparentColor = 0;

    // Pixel (x, y) as a 32-bit value 0xAARRGGBB. The alpha byte is the fourth
    // byte only for pf32bit; every other format reports 255.
    uint32_t Pixel(int32_t x, int32_t y) const;

    // Draws the picture into rect of the canvas: pf32bit copies all four
    // bytes, every other format writes its colour with alpha 255. A rect of
    // another size is filled by nearest-neighbour stretching.
    void Draw(TCanvas& canvas, const TRect& rect) override;

    void Assign(const TBitmap& source) { *this = source; }

    // BMP streams are read and written by the BMP codec (codecs/bmp), which
    // sits above this layer: LoadBmp / SaveBmp there.

private:
    int32_t width_ = 0, height_ = 0;
    TPixelFormat format_ = TPixelFormat::pfDevice;
    size_t stride_ = 0;
    std::vector<uint8_t> bits_;
    bool transparent_ = false;
};

