// BMP files whose every row and column differs from its neighbours, in every
// kind the reader takes, for tests that must notice a pixel out of place.
#pragma once

#include "tests/support/BmpBuilder.h"

#include <cstdint>
#include <string>
#include <vector>

namespace bmptest {

// A raw pixel value with detail in every row and column.
inline uint32_t Detail(int x, int y) { return uint32_t(x) * 0x01030507u + uint32_t(y) * 0x0B0D1113u + uint32_t(x * y); }

// The file of s with Detail(x, y) as its raw pixels, cut to the bit count.
inline Bytes Packed(BmpLayout s) {
    const int rows = s.height < 0 ? -s.height : s.height;
    const uint32_t mask = s.bitCount >= 32 ? 0xFFFFFFFFu : (uint32_t(1) << s.bitCount) - 1;
    s.pixels = PackRows(
        s.width, rows, s.bitCount, [&](int x, int y) { return Detail(x, y) & mask; }, s.height < 0);
    return BuildBmp(s);
}

// A colour table of distinct colours (0x00RRGGBB).
inline std::vector<uint32_t> Ramp(int entries) {
    std::vector<uint32_t> table;
    for (int i = 0; i < entries; ++i) table.push_back(uint32_t(i) * 0x030507u + 0x102030u);
    return table;
}

struct NamedBmp {
    std::string name;  // letters and digits only
    Bytes file;
};

// A width x height file of every kind the reader takes: each bit depth and
// compression, both row orders, core and long headers, colour tables shorter
// than the indices, a gap before the pixels, a pixel array that the header
// says is short, and run-length data.
inline std::vector<NamedBmp> EveryKind(int w, int h) {
    const std::string size = std::to_string(w) + "x" + std::to_string(h);
    std::vector<NamedBmp> out;
    auto add = [&](const char* kind, const BmpLayout& s) { out.push_back({kind + size, Packed(s)}); };
    add("Rgb24BottomUp", Shape(w, h, 24));
    add("Rgb24TopDown", Shape(w, -h, 24));
    add("Rgb32BottomUp", Shape(w, h, 32));
    add("Rgb32TopDown", Shape(w, -h, 32));
    BmpLayout s = Shape(w, h, 32);
    s.headerSize = 124;
    s.gap = Bytes(12, 0xEE);
    add("Rgb32V5Gap", s);
    s = Shape(w, h, 32);
    s.headerSize = 12;
    add("Rgb32Core", s);
    add("Rgb16", Shape(w, h, 16));
    s = Shape(w, -h, 16);
    s.compression = 3;
    s.masks = {0xF800, 0x07E0, 0x001F};
    add("Fields565TopDown", s);
    s = Shape(w, h, 16);
    s.compression = 3;
    s.masks = {0x0F00, 0x00F0, 0x000F};
    add("Fields444", s);
    s = Shape(w, h, 32);
    s.compression = 3;
    s.headerSize = 108;
    s.masks = {0x3FF00000, 0x000FFC00, 0x000003FF};
    add("Fields101010", s);
    s = Shape(w, h, 32);
    s.compression = 3;
    s.masks = {0x00FF0000, 0x0000FF00, 0x000000FF};
    s.sizeImage = uint32_t(w * 4 * (h / 2));  // half the rows
    add("FieldsShortSizeImage", s);
    s = Shape(w, h, 8);
    s.palette = Ramp(200);  // indices 200..255 are past the table
    s.clrUsed = 200;
    add("Indexed8ShortTable", s);
    s = Shape(w, h, 8);
    s.headerSize = 12;
    s.palette = Ramp(256);
    add("Indexed8Core", s);
    s = Shape(w, h, 4);
    s.palette = Ramp(16);
    add("Indexed4", s);
    s = Shape(w, -h, 1);
    s.palette = {0x000000, 0xFFFFFF};
    add("Indexed1TopDown", s);
    s = Shape(w, h, 1);
    s.palette = {0x00FF00};  // index 1 is past the table
    s.clrUsed = 1;
    add("Indexed1OneEntry", s);
    s = Shape(w, h, 24);
    s.offBits = 54 + 7;  // inside the pixels: they are taken from there
    add("Rgb24OffsetInsidePixels", s);
    s = Shape(w, h, 8);
    s.compression = 1;
    s.palette = Ramp(4);
    s.clrUsed = 4;
    s.pixels = {0x03, 0x01, 0x00, 0x00, 0x05, 0x02, 0x00, 0x00, 0x00, 0x01};
    out.push_back({"Rle8" + size, BuildBmp(s)});
    return out;
}

}  // namespace bmptest
