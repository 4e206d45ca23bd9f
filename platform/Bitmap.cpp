#include "platform/Bitmap.h"

#include "platform/CheckedSize.h"
#include "platform/Exceptions.h"

#include <cstring>

int BitsPerPixel(TPixelFormat pf) {
    switch (pf) {
    case TPixelFormat::pf1bit: return 1;
    case TPixelFormat::pf4bit: return 4;
    case TPixelFormat::pf8bit: return 8;
    case TPixelFormat::pf15bit:
    case TPixelFormat::pf16bit: return 16;
    case TPixelFormat::pf24bit: return 24;
    case TPixelFormat::pf32bit:
    case TPixelFormat::pfDevice:
    case TPixelFormat::pfCustom: return 32;
    }
    return 32;
}

void TBitmap::SetSize(int32_t width, int32_t height) {
    if (width < 0) width = 0;
    if (height < 0) height = 0;
    uint64_t stride = 0;
    size_t total = 0;
    if (!velmora::PixelCountOk(width, height) || !velmora::PaddedRowBytes(width, BitsPerPixel(format_), stride) ||
        !velmora::CheckedMul(stride, uint64_t(height), total))
        throw EOutOfMemory("Out of system resources");
    std::vector<uint8_t> fresh;
    try {
        fresh.assign(total, 0);
    } catch (const std::bad_alloc&) {
        throw EOutOfMemory("Out of system resources");
    }
    bits_ = std::move(fresh);
    width_ = width;
    height_ = height;
    stride_ = size_t(stride);
}

uint32_t TBitmap::Pixel(int32_t x, int32_t y) const {
    const uint8_t* row = ScanLine(y);
    auto fromPalette = [this](unsigned index) -> uint32_t {
        if (index >= Palette.size()) return 0xFF000000u;
        const TRGBQuad& q = Palette[index];
        return 0xFF000000u | uint32_t(q.rgbRed) << 16 | uint32_t(q.rgbGreen) << 8 | q.rgbBlue;
    };
    switch (format_) {
    case TPixelFormat::pf1bit: return fromPalette((row[x >> 3] >> (7 - (x & 7))) & 1);
    case TPixelFormat::pf4bit: return fromPalette((row[x >> 1] >> ((x & 1) ? 0 : 4)) & 15);
    case TPixelFormat::pf8bit: return fromPalette(row[x]);
    case TPixelFormat::pf15bit:
    case TPixelFormat::pf16bit: return Pixel16ToArgb(unsigned(row[2 * x]) | unsigned(row[2 * x + 1]) << 8, format_);
    case TPixelFormat::pf24bit: {
        const uint8_t* p = row + 3 * size_t(x);
        return 0xFF000000u | uint32_t(p[2]) << 16 | uint32_t(p[1]) << 8 | p[0];
    }
    case TPixelFormat::pf32bit: {
        uint32_t v;
        std::memcpy(&v, row + 4 * size_t(x), 4);
        return v;
    }
    case TPixelFormat::pfDevice:
    case TPixelFormat::pfCustom: {
        uint32_t v;
        std::memcpy(&v, row + 4 * size_t(x), 4);
        return v | 0xFF000000u;
    }
    }
    return 0;
}

void TBitmap::SetPixelFormat(TPixelFormat pf) {
    if (pf == format_) return;
    if (Empty() || (pf != TPixelFormat::pf24bit && pf != TPixelFormat::pf32bit)) {
        format_ = pf;
        SetSize(width_, height_);
        return;
    }
    TBitmap converted;
    converted.format_ = pf;
    converted.SetSize(width_, height_);
    for (int32_t y = 0; y < height_; ++y) {
        uint8_t* out = converted.ScanLine(y);
        for (int32_t x = 0; x < width_; ++x) {
            uint32_t v = Pixel(x, y);
            if (pf == TPixelFormat::pf24bit) {
                out[3 * x] = uint8_t(v);
                out[3 * x + 1] = uint8_t(v >> 8);
                out[3 * x + 2] = uint8_t(v >> 16);
            } else {
                if (format_ != TPixelFormat::pf32bit) v &= 0x00FFFFFFu;  // a new fourth byte starts at 0
                std::memcpy(out + 4 * size_t(x), &v, 4);
            }
        }
    }
    bits_ = std::move(converted.bits_);
    stride_ = converted.stride_;
    format_ = pf;
}

void TBitmap::Draw(TCanvas& canvas, const TRect& rect) {
    const TRect target = IntersectRect(rect, TRect(0, 0, canvas.Width, canvas.Height));
    if (target.IsEmpty() || Empty() || rect.IsEmpty()) return;
    const bool same = rect.Width() == width_ && rect.Height() == height_;
    // An 8-bit picture goes through its palette once, not once per pixel.
    uint32_t lut[256];
    if (same && format_ == TPixelFormat::pf8bit)
        for (size_t i = 0; i < 256; ++i) {
            lut[i] = 0xFF000000u;
            if (i < Palette.size()) {
                const TRGBQuad& q = Palette[i];
                lut[i] |= uint32_t(q.rgbRed) << 16 | uint32_t(q.rgbGreen) << 8 | q.rgbBlue;
            }
        }
    for (int32_t y = target.Top; y < target.Bottom; ++y) {
        const int32_t sy = same ? y - rect.Top : int32_t(int64_t(y - rect.Top) * height_ / rect.Height());
        uint32_t* out = canvas.Row(y);
        const size_t first = size_t(target.Left - rect.Left);  // source column of target.Left when same
        if (same && format_ == TPixelFormat::pf32bit) {
            std::memcpy(out + target.Left, ScanLine(sy) + 4 * first, size_t(target.Width()) * 4);
            continue;
        }
        if (same && format_ == TPixelFormat::pf24bit) {
            const uint8_t* p = ScanLine(sy) + 3 * first;
            for (int32_t x = target.Left; x < target.Right; ++x, p += 3)
                out[x] = 0xFF000000u | uint32_t(p[2]) << 16 | uint32_t(p[1]) << 8 | p[0];
            continue;
        }
        if (same && format_ == TPixelFormat::pf8bit) {
            const uint8_t* p = ScanLine(sy) + first;
            for (int32_t x = target.Left; x < target.Right; ++x) out[x] = lut[*p++];
            continue;
        }
        for (int32_t x = target.Left; x < target.Right; ++x) {
            const int32_t sx = same ? x - rect.Left : int32_t(int64_t(x - rect.Left) * width_ / rect.Width());
            out[x] = Pixel(sx, sy);
        }
    }
}
