// JPEG files for the photo tests through libjpeg's own encoder and decoder,
// and whole-file reading and writing.
#pragma once

#include "tests/support/PatternPictures.h"
#include "tests/support/PhotoFiles.h"

#include <jpeglib.h>

#include <cstdio>
#include <cstdlib>
#include <string>

namespace photofiles {

// A colour JPEG of w x h, quality 95, whose pixel (x, y) is colour(x, y) as
// 0xRRGGBB.
template <typename F>
Bytes Jpeg(int w, int h, F colour) {
    return patternpictures::Jpeg(w, h,
                                 [&](int x, int y, uint8_t rgb[3]) {
                                     const uint32_t v = colour(x, y);
                                     rgb[0] = uint8_t(v >> 16);
                                     rgb[1] = uint8_t(v >> 8);
                                     rgb[2] = uint8_t(v);
                                 },
                                 {.quality = 95});
}

// Decoded RGB pixels; w = h = 0 when the file is not a JPEG.
struct Rgb {
    int w = 0, h = 0;
    Bytes px;  // r, g, b per pixel, top row first
    uint32_t At(int x, int y) const {
        const uint8_t* p = &px[(size_t(y) * size_t(w) + size_t(x)) * 3];
        return uint32_t(p[0]) << 16 | uint32_t(p[1]) << 8 | p[2];
    }
};

inline Rgb DecodeJpeg(const Bytes& file) {
    jpeg_decompress_struct d{};
    jpeg_error_mgr err{};
    d.err = jpeg_std_error(&err);
    jpeg_create_decompress(&d);
    jpeg_mem_src(&d, file.data(), (unsigned long)file.size());
    Rgb out;
    if (file.size() > 2 && jpeg_read_header(&d, TRUE) == JPEG_HEADER_OK) {
        d.out_color_space = JCS_RGB;
        jpeg_start_decompress(&d);
        out.w = int(d.output_width);
        out.h = int(d.output_height);
        out.px.resize(size_t(out.w) * size_t(out.h) * 3);
        while (d.output_scanline < d.output_height) {
            JSAMPROW p = &out.px[size_t(d.output_scanline) * size_t(out.w) * 3];
            jpeg_read_scanlines(&d, &p, 1);
        }
        jpeg_finish_decompress(&d);
    }
    jpeg_destroy_decompress(&d);
    return out;
}

inline bool WriteBytes(const std::string& path, const Bytes& b) {
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return false;
    const bool ok = std::fwrite(b.data(), 1, b.size(), f) == b.size();
    return std::fclose(f) == 0 && ok;
}

inline Bytes ReadBytes(const std::string& path) {
    Bytes b;
    FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) return b;
    uint8_t buf[65536];
    for (size_t n; (n = std::fread(buf, 1, sizeof buf, f)) > 0;) b.insert(b.end(), buf, buf + n);
    std::fclose(f);
    return b;
}

}  // namespace photofiles
