// Test helpers that drive libjpeg directly, independently of the codec under
// test: they make JPEG files from synthetic pictures and decode or encode
// with plain libjpeg calls, so that the codec's results can be compared with
// what the library itself produces for the same parameters.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include <jpeglib.h>

namespace jpegkit {

using Bytes = std::vector<uint8_t>;

// What kind of file MakeJpeg writes.
struct Recipe {
    int width = 37;
    int height = 23;
    enum Kind { Colour, Grey, Cmyk, Ycck } kind = Colour;
    bool subsample = true;       // colour: 4:2:0 (libjpeg's default) or 4:4:4
    bool progressive = false;
    int restartRows = 0;         // restart interval in MCU rows (0: none)
    int quality = 85;
};

// Channel c (0..3) of the synthetic picture at (x, y): smooth ramps plus a
// sharp diagonal edge, so that every component carries real detail.
uint8_t Pattern(int x, int y, int c);

// A JPEG file of the synthetic picture, written by libjpeg with the recipe.
Bytes MakeJpeg(const Recipe& recipe);

// A progressive colour file whose scan script has `scans` scans or more
// (single-coefficient bands refined bit by bit).
Bytes MakeManyScanJpeg(int minScans);

// A decoded picture: rows top-down, `components` bytes per pixel.
struct Picture {
    int width = 0;
    int height = 0;
    int components = 0;
    Bytes pixels;
    const uint8_t* At(int x, int y) const { return pixels.data() + (size_t(y) * width + x) * components; }
};

// A straight libjpeg decode with the floating-point DCT and fancy
// upsampling, into out_color_space `space` (JCS_RGB, JCS_GRAYSCALE or
// JCS_CMYK) at 1/scaleDenom size. Throws std::runtime_error on a fatal error.
Picture ReferenceDecode(const Bytes& jpeg, J_COLOR_SPACE space, int scaleDenom = 1);

// The pixels of a red-green-blue picture as opaque 0xFFRRGGBB values.
std::vector<uint32_t> OpaqueArgb(const Picture& rgb);

// A plain libjpeg compression of red-green-blue rows: defaults, the given
// quality with baseline tables, floating-point DCT, optionally simple
// progression; all tables written.
Bytes ReferenceCompress(const Picture& rgb, int quality, bool progressive);

// The quantisation tables libjpeg uses for `quality` (baseline), in natural
// (row-major) order: [0] luminance, [1] chrominance.
std::vector<std::vector<uint16_t>> ReferenceQuantTables(int quality);

// Marker segments of a JPEG file up to and including the first SOS.
struct Segment {
    uint8_t marker = 0;
    Bytes payload;  // without the length field
};
std::vector<Segment> ReadSegments(const Bytes& jpeg);

// The zig-zag scan order: zigzag[i] is the natural index of the i-th
// coefficient in a DQT segment.
extern const int kZigzag[64];

// Helpers for temporary files.
std::string TempPath(const std::string& name);
Bytes ReadFile(const std::string& path);
void WriteFile(const std::string& path, const Bytes& bytes);

}  // namespace jpegkit
