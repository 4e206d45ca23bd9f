// A tiny BMP writer for the tests: it lays out exactly the bytes a test
// describes (headers, masks, colour table, gap, pixel array), including
// wrong values, so that every reader variant can be fed a known file.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

namespace bmptest {

using Bytes = std::vector<uint8_t>;

inline void Put16(Bytes& b, uint32_t v) {
    b.push_back(uint8_t(v));
    b.push_back(uint8_t(v >> 8));
}
inline void Put32(Bytes& b, uint32_t v) {
    Put16(b, v & 0xFFFF);
    Put16(b, v >> 16);
}
inline void Set32(Bytes& b, size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) b[at + i] = uint8_t(v >> (8 * i));
}

struct BmpLayout {
    uint32_t headerSize = 40;  // 12 (core), 40, 108, 124 or anything to test refusal
    int32_t width = 1;
    int32_t height = 1;
    uint16_t planes = 1;
    uint16_t bitCount = 24;
    uint32_t compression = 0;
    uint32_t sizeImage = 0;
    uint32_t clrUsed = 0;
    std::vector<uint32_t> masks;    // after a 40-byte header, or inside a 108/124 header
    std::vector<uint32_t> palette;  // 0x00RRGGBB; 3-byte entries after a core header
    Bytes gap;                      // bytes between table and pixel array
    std::optional<uint32_t> offBits;  // default: where the pixels really start
    Bytes pixels;
};

// The layout of a width x height picture at bitCount bits; a negative height
// stores the rows top-down.
inline BmpLayout Shape(int width, int height, uint16_t bitCount) {
    BmpLayout s;
    s.width = width;
    s.height = height;
    s.bitCount = bitCount;
    return s;
}

inline Bytes BuildBmp(const BmpLayout& s) {
    Bytes header;
    if (s.headerSize == 12) {
        Put32(header, 12);
        Put16(header, uint32_t(s.width));
        Put16(header, uint32_t(s.height));
        Put16(header, s.planes);
        Put16(header, s.bitCount);
    } else {
        Put32(header, s.headerSize);
        Put32(header, uint32_t(s.width));
        Put32(header, uint32_t(s.height));
        Put16(header, s.planes);
        Put16(header, s.bitCount);
        Put32(header, s.compression);
        Put32(header, s.sizeImage);
        Put32(header, 2835);
        Put32(header, 2835);
        Put32(header, s.clrUsed);
        Put32(header, 0);
        if (s.headerSize > 40) {
            for (size_t i = 0; i < 4; ++i) Put32(header, i < s.masks.size() ? s.masks[i] : 0);
            header.resize(s.headerSize, 0);
        } else if (s.headerSize < 40) {
            header.resize(s.headerSize, 0);
        } else {
            for (uint32_t m : s.masks) Put32(header, m);
        }
    }
    Bytes table;
    for (uint32_t c : s.palette) {
        table.push_back(uint8_t(c));
        table.push_back(uint8_t(c >> 8));
        table.push_back(uint8_t(c >> 16));
        if (s.headerSize != 12) table.push_back(0);
    }
    const uint32_t pixelsAt = uint32_t(14 + header.size() + table.size() + s.gap.size());
    Bytes file;
    Put16(file, 0x4D42);
    Put32(file, uint32_t(pixelsAt + s.pixels.size()));
    Put32(file, 0);
    Put32(file, s.offBits.value_or(pixelsAt));
    file.insert(file.end(), header.begin(), header.end());
    file.insert(file.end(), table.begin(), table.end());
    file.insert(file.end(), s.gap.begin(), s.gap.end());
    file.insert(file.end(), s.pixels.begin(), s.pixels.end());
    return file;
}

// The pixel array of a width x height picture at bpp bits, rows padded to 4
// bytes, in file order (bottom row first unless topDown). value(x, y) gives
// the raw pixel (y = 0 is the top row); pixels under 8 bits are packed from
// the most significant bit, wider ones are little-endian.
inline Bytes PackRows(int width, int height, int bpp, const std::function<uint32_t(int, int)>& value,
                      bool topDown = false) {
    const size_t rowSize = ((size_t(width) * bpp + 31) / 32) * 4;
    Bytes out;
    for (int i = 0; i < height; ++i) {
        const int y = topDown ? i : height - 1 - i;
        Bytes row(rowSize, 0);
        for (int x = 0; x < width; ++x) {
            const uint32_t v = value(x, y);
            if (bpp < 8) {
                const size_t bit = size_t(x) * bpp;
                row[bit / 8] |= uint8_t(v << (8 - bpp - bit % 8));
            } else {
                for (int k = 0; k < bpp / 8; ++k) row[size_t(x) * (bpp / 8) + k] = uint8_t(v >> (8 * k));
            }
        }
        out.insert(out.end(), row.begin(), row.end());
    }
    return out;
}

}  // namespace bmptest
