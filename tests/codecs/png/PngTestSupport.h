// What the PNG suites share: the conformance files, loading and saving through
// memory streams, and the picture as the raster draws it.
#pragma once

#include "codecs/png/PngImage.h"
#include "tests/support/PixelDiff.h"
#include "tests/support/PngReference.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

inline std::string SuitePath(const std::string& name) { return std::string(VELMORA_TEST_DATA) + "/pngsuite/" + name; }

inline void LoadBytes(TPngImage& png, const std::vector<uint8_t>& bytes) {
    TMemoryStream s(bytes);
    png.LoadFromStream(s);
}

inline std::vector<uint8_t> SaveBytes(TPngImage& png) {
    TMemoryStream s;
    png.SaveToStream(s);
    return s.TakeBytes();
}

// The picture rule of the raster: a canvas of the picture's size filled with
// opaque white, the picture drawn over it; colour only (0x00RRGGBB).
inline std::vector<uint32_t> DrawOverWhite(TPngImage& png, std::vector<uint32_t>* full = nullptr) {
    std::vector<uint32_t> pixels(size_t(png.Width()) * size_t(png.Height()), 0xFFFFFFFFu);
    TCanvas canvas{pixels.data(), png.Width(), png.Height()};
    png.Draw(canvas, TRect(0, 0, png.Width(), png.Height()));
    if (full) *full = pixels;
    for (auto& p : pixels) p &= 0x00FFFFFFu;
    return pixels;
}
