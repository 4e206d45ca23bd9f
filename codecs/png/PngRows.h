// Scan-line geometry shared by the decoder and the encoder (internal).
#pragma once

#include "codecs/png/PngFormat.h"

#include <cstddef>
#include <cstdint>

namespace velmora::png {

struct Adam7Pass {
    uint32_t row0, col0, rowStep, colStep;
};
inline constexpr Adam7Pass kAdam7[7] = {
    {0, 0, 8, 8}, {0, 4, 8, 8}, {4, 0, 8, 4}, {0, 2, 4, 4}, {2, 0, 4, 2}, {0, 1, 2, 2}, {1, 0, 2, 1},
};

// Pixels of a pass (or of the image when not interlaced) along one axis.
inline uint32_t PassExtent(uint32_t size, uint32_t start, uint32_t step) {
    return size > start ? (size - start + step - 1) / step : 0;
}

inline unsigned SamplesPerPixel(uint8_t colorType) {
    switch (colorType) {
    case COLOR_RGB: return 3;
    case COLOR_GRAYSCALEALPHA: return 2;
    case COLOR_RGBALPHA: return 4;
    default: return 1;
    }
}

// Bytes of one filtered scan line of `width` pixels, without the filter byte.
inline size_t RowBytes(uint32_t width, unsigned bitsPerPixel) {
    return (size_t(width) * bitsPerPixel + 7) / 8;
}

// Bytes per complete pixel for filtering, at least 1.
inline size_t FilterOffset(unsigned bitsPerPixel) {
    return bitsPerPixel >= 8 ? bitsPerPixel / 8 : 1;
}

inline uint8_t PaethPredictor(int a, int b, int c) {
    const int p = a + b - c;
    const int pa = p > a ? p - a : a - p;
    const int pb = p > b ? p - b : b - p;
    const int pc = p > c ? p - c : c - p;
    if (pa <= pb && pa <= pc) return uint8_t(a);
    if (pb <= pc) return uint8_t(b);
    return uint8_t(c);
}

// Sample k of a packed line of `depth`-bit samples (1, 2, 4 or 8 bits).
inline unsigned PackedSample(const uint8_t* line, size_t k, unsigned depth) {
    if (depth == 8) return line[k];
    const size_t bit = k * depth;
    return (line[bit >> 3] >> (8 - depth - (bit & 7))) & ((1u << depth) - 1);
}

inline void SetPackedSample(uint8_t* line, size_t k, unsigned depth, unsigned v) {
    if (depth == 8) { line[k] = uint8_t(v); return; }
    const size_t bit = k * depth;
    const unsigned shift = 8 - depth - unsigned(bit & 7);
    const unsigned mask = ((1u << depth) - 1) << shift;
    line[bit >> 3] = uint8_t((line[bit >> 3] & ~mask) | ((v << shift) & mask));
}

}  // namespace velmora::png
