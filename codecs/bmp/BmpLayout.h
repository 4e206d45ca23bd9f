// Where a BMP file keeps its picture and how, as its headers say. The
// whole-picture readers and the row reader start from the same layout, so
// they refuse the same files with the same errors.
#pragma once

#include "codecs/bmp/BmpHeader.h"
#include "platform/Bitmap.h"
#include "platform/Stream.h"

#include <bit>
#include <cstdint>
#include <vector>

namespace velmora::bmp {

// One colour channel of a bit-field pixel.
struct Channel {
    uint32_t mask = 0;
    unsigned shift = 0;
    unsigned bits = 0;  // span of the mask, lowest to highest set bit

    explicit Channel(uint32_t m) : mask(m) {
        if (m == 0) return;
        shift = unsigned(std::countr_zero(m));
        bits = unsigned(std::bit_width(m >> shift));
    }

    // The channel as 8 bits: wider channels keep their top 8 bits, narrower
    // ones repeat their bit pattern until 8 bits are filled.
    uint8_t Extract(uint32_t pixel) const {
        if (bits == 0) return 0;
        const uint32_t v = (pixel & mask) >> shift;
        if (bits >= 8) return uint8_t(v >> (bits - 8));
        uint32_t r = 0;
        unsigned filled = 0;
        while (filled < 8) {
            r = (r << bits) | v;
            filled += bits;
        }
        return uint8_t(r >> (filled - 8));
    }
};

struct PixelLayout {
    InfoHeader header;
    // The first 256 entries of the colour table (4 bytes each, widened after
    // a core header).
    std::vector<TRGBQuad> palette;
    TPixelFormat format = TPixelFormat::pfDevice;
    uint64_t rowSize = 0;  // bytes of one stored row, padding included
    int64_t width = 0;
    int64_t rows = 0;
    bool bottomUp = true;
    int64_t pixelStart = 0;  // stream position of the pixel array
    // Bytes of the pixel array to be read: run-length data, or stored rows
    // in file order (whatever they do not cover stays zero).
    uint64_t count = 0;

    bool RunLength() const { return header.compression == kRle8 || header.compression == kRle4; }
    // Uncompressed and bit-field pictures: the data ends before the picture.
    bool ShortData() const { return count < rowSize * uint64_t(rows); }
};

// Reads the file header, the core or info header, masks and colour table from
// the stream's position (the start of a file with data), checks them and
// leaves the stream at the pixel array. EReadError when they are cut short,
// EInvalidGraphic for a file the reader does not support or whose data
// cannot hold its picture.
PixelLayout ReadPixelLayout(TStream& stream);

// The 32-bit route: a file with an info header of 40 bytes or more, one
// plane, 32 bits and no compression is read directly, its fourth bytes kept
// as alpha. head: the first 54 bytes of the file.
bool TakesDirectRoute(const uint8_t* head);

// The layout of such a file (format pf32bit, rows of width x 4 bytes) whose
// first 54 bytes, head, start at stream position start. The whole pixel array
// must be present: EReadError otherwise; EInvalidGraphic for a header the
// reader refuses.
PixelLayout DirectPixelLayout(const uint8_t* head, TStream& stream, int64_t start);

// Reads up to count bytes; stops early at the end of the stream.
size_t ReadSome(TStream& stream, uint8_t* out, size_t count);

}  // namespace velmora::bmp
