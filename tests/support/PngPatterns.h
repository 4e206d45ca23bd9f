// Generated PNG files of every layout: a deterministic pattern of samples in
// any colour type and bit depth, with the chunks a test asks for around the
// image data, the filtered rows split over as many IDAT chunks as wanted.
#pragma once

#include "tests/support/PngReference.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <utility>
#include <vector>

namespace pngpatterns {

struct Layout {
    uint32_t width = 1, height = 1;
    uint8_t depth = 8, colorType = 2;
    // Chunks before and after the image data, in order.
    std::vector<std::pair<std::string, std::vector<uint8_t>>> before, after;
    // Bytes of compressed data per IDAT chunk (0: one chunk).
    size_t idatPiece = 0;
    // Rows the image data holds (fewer than height: a stream that ends early).
    uint32_t rowsStored = ~0u;
};

inline unsigned Channels(uint8_t colorType) { return colorType == 2 ? 3 : colorType == 4 ? 2 : colorType == 6 ? 4 : 1; }

// Sample c of pixel (x, y), below 2^depth; palette indices stay below
// paletteSize when it is given.
inline unsigned PatternSample(uint32_t x, uint32_t y, unsigned c, unsigned depth, unsigned paletteSize = 0) {
    const unsigned v = (x * 37u + y * 91u + c * 53u + (x * y) % 7u) * 2654435761u >> 7;
    if (paletteSize) return v % paletteSize;
    return depth == 16 ? v & 0xFFFFu : v & ((1u << depth) - 1u);
}

// Rows filtered with the filter types 0..4 in turn.
inline std::vector<uint8_t> FilteredRows(const Layout& l, unsigned paletteSize) {
    const unsigned channels = Channels(l.colorType);
    const size_t bitsPerPixel = size_t(channels) * l.depth;
    const size_t rowBytes = (l.width * bitsPerPixel + 7) / 8;
    const size_t bpp = bitsPerPixel >= 8 ? bitsPerPixel / 8 : 1;
    std::vector<uint8_t> out, prior(rowBytes, 0), row(rowBytes);
    const uint32_t rows = l.rowsStored < l.height ? l.rowsStored : l.height;
    for (uint32_t y = 0; y < rows; ++y) {
        std::fill(row.begin(), row.end(), 0);
        for (uint32_t x = 0; x < l.width; ++x)
            for (unsigned c = 0; c < channels; ++c) {
                const unsigned v = PatternSample(x, y, c, l.depth, paletteSize);
                const size_t k = size_t(x) * channels + c;
                if (l.depth == 16) {
                    row[2 * k] = uint8_t(v >> 8);
                    row[2 * k + 1] = uint8_t(v);
                } else if (l.depth == 8) {
                    row[k] = uint8_t(v);
                } else {
                    const size_t bit = k * l.depth;
                    row[bit / 8] = uint8_t(row[bit / 8] | v << (8 - l.depth - bit % 8));
                }
            }
        const uint8_t type = uint8_t(y % 5);
        out.push_back(type);
        for (size_t i = 0; i < rowBytes; ++i) {
            const int a = i >= bpp ? row[i - bpp] : 0, b = prior[i], c = i >= bpp ? prior[i - bpp] : 0;
            int predictor = 0;
            if (type == 1) predictor = a;
            if (type == 2) predictor = b;
            if (type == 3) predictor = (a + b) / 2;
            if (type == 4) {
                const int p = a + b - c, pa = std::abs(p - a), pb = std::abs(p - b), pc = std::abs(p - c);
                predictor = pa <= pb && pa <= pc ? a : pb <= pc ? b : c;
            }
            out.push_back(uint8_t(row[i] - predictor));
        }
        prior = row;
    }
    return out;
}

// The whole file. A PLTE chunk among `before` sets the palette size the
// indices keep to.
inline std::vector<uint8_t> Png(const Layout& l) {
    unsigned paletteSize = 0;
    for (const auto& [type, data] : l.before)
        if (type == "PLTE") paletteSize = unsigned(data.size() / 3);
    pngref::Builder png;
    png.Ihdr(l.width, l.height, l.depth, l.colorType);
    for (const auto& [type, data] : l.before) png.Chunk(type, data);
    const std::vector<uint8_t> z = pngref::Deflate(FilteredRows(l, paletteSize));
    const size_t piece = l.idatPiece ? l.idatPiece : z.size();
    for (size_t at = 0; at < z.size(); at += piece)
        png.Chunk("IDAT", std::vector<uint8_t>(z.begin() + long(at), z.begin() + long(std::min(z.size(), at + piece))));
    for (const auto& [type, data] : l.after) png.Chunk(type, data);
    return png.Iend().bytes;
}

// A palette of n entries spread over the colours.
inline std::vector<uint8_t> Palette(unsigned n) {
    std::vector<uint8_t> p;
    for (unsigned i = 0; i < n; ++i) {
        p.push_back(uint8_t(i * 73 + 11));
        p.push_back(uint8_t(255 - i * 29));
        p.push_back(uint8_t(i * i * 5));
    }
    return p;
}

inline std::vector<uint8_t> BE32(uint32_t v) {
    return {uint8_t(v >> 24), uint8_t(v >> 16), uint8_t(v >> 8), uint8_t(v)};
}

}  // namespace pngpatterns
