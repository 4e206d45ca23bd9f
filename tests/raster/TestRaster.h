// Helpers shared by the raster tests: random and hand-written rasters, their
// pixels as plain values (compared with testsupport::FirstDifference).
#pragma once

#include "raster/Bitmap32.h"
#include "tests/support/PixelDiff.h"

#include <cstdint>
#include <random>
#include <string>
#include <vector>

namespace rastertest {

using testsupport::FirstDifference;

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

// Blue channel of every pixel, as a row-major grid.
inline std::vector<std::vector<int>> BlueGrid(const TBitmap32& b) {
    std::vector<std::vector<int>> g(size_t(b.Height()), std::vector<int>(size_t(b.Width())));
    for (int32_t y = 0; y < b.Height(); ++y)
        for (int32_t x = 0; x < b.Width(); ++x) g[size_t(y)][size_t(x)] = BlueComponent(b.Pixel(x, y));
    return g;
}

}  // namespace rastertest
