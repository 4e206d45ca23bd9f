// Helpers shared by the raster tests: random rasters and readable diffs.
#pragma once

#include "raster/Bitmap32.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

namespace rastertest {

inline void FillRandom(TBitmap32& b, std::mt19937& rng) {
    for (int32_t y = 0; y < b.Height(); ++y)
        for (int32_t x = 0; x < b.Width(); ++x) b.Pixel(x, y) = TColor32(rng());
}

// Rows given as one-channel values, copied into every channel (alpha too).
inline void FillGray(TBitmap32& b, const std::vector<std::vector<int>>& rows) {
    b.SetSize(int32_t(rows.at(0).size()), int32_t(rows.size()));
    for (int32_t y = 0; y < b.Height(); ++y)
        for (int32_t x = 0; x < b.Width(); ++x) {
            const auto v = uint8_t(rows[size_t(y)][size_t(x)]);
            b.Pixel(x, y) = Color32(v, v, v, v);
        }
}

inline std::vector<TColor32> Pixels(const TBitmap32& b) {
    return std::vector<TColor32>(b.Bits(), b.Bits() + size_t(b.Width()) * size_t(b.Height()));
}

// First differing pixel as "(x, y) have 0x... want 0x...", or "" when equal.
inline std::string FirstDifference(const std::vector<TColor32>& have, const std::vector<TColor32>& want,
                                   int32_t width) {
    if (have.size() != want.size()) return "sizes differ";
    for (size_t i = 0; i < have.size(); ++i)
        if (have[i] != want[i]) {
            char buf[96];
            std::snprintf(buf, sizeof buf, "(%d, %d) have 0x%08X want 0x%08X", int(i % size_t(width)),
                          int(i / size_t(width)), have[i], want[i]);
            return buf;
        }
    return "";
}

// Blue channel of every pixel, as a row-major grid.
inline std::vector<std::vector<int>> BlueGrid(const TBitmap32& b) {
    std::vector<std::vector<int>> g(size_t(b.Height()), std::vector<int>(size_t(b.Width())));
    for (int32_t y = 0; y < b.Height(); ++y)
        for (int32_t x = 0; x < b.Width(); ++x) g[size_t(y)][size_t(x)] = BlueComponent(b.Pixel(x, y));
    return g;
}

}  // namespace rastertest
