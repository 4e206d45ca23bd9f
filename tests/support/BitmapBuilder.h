// Platform bitmaps of any pixel format filled from a function, for the tests
// that hand a picture to an encoder or to the raster.
#pragma once

#include "platform/Bitmap.h"

#include <cstdint>
#include <cstring>
#include <functional>

namespace testsupport {

// A w x h bitmap of format pf whose pixel (x, y) is value(x, y): 0xAARRGGBB
// for 32 bits (all four bytes stored), 0xRRGGBB for 24 bits, a palette index
// for 8, 4 and 1 bits (the palette is left to the caller).
inline TBitmap MakeBitmap(int w, int h, TPixelFormat pf, const std::function<uint32_t(int x, int y)>& value) {
    TBitmap bmp;
    bmp.SetPixelFormat(pf);
    bmp.SetSize(w, h);
    for (int y = 0; y < h; ++y) {
        uint8_t* row = bmp.ScanLine(y);
        for (int x = 0; x < w; ++x) {
            const uint32_t v = value(x, y);
            switch (pf) {
            case TPixelFormat::pf32bit: std::memcpy(row + 4 * x, &v, 4); break;
            case TPixelFormat::pf24bit:
                row[3 * x] = uint8_t(v);
                row[3 * x + 1] = uint8_t(v >> 8);
                row[3 * x + 2] = uint8_t(v >> 16);
                break;
            case TPixelFormat::pf8bit: row[x] = uint8_t(v); break;
            case TPixelFormat::pf4bit: row[x / 2] |= uint8_t((v & 15) << (x % 2 ? 0 : 4)); break;
            case TPixelFormat::pf1bit: row[x / 8] |= uint8_t((v & 1) << (7 - x % 8)); break;
            default: break;
            }
        }
    }
    return bmp;
}

}  // namespace testsupport
