// Pictures with detail in every row and column, written through libjpeg's
// own encoder, for tests that must notice a row or column out of place.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <iterator>
#include <vector>

#include <jpeglib.h>

namespace patternpictures {

// Red, green and blue of pixel (x, y).
using PixelFn = std::function<void(int x, int y, uint8_t rgb[3])>;

// Smooth gradients with a fine checker and a diagonal stripe: every row and
// every column differs from its neighbours.
inline void Pattern(int x, int y, uint8_t rgb[3]) {
    rgb[0] = uint8_t(x * 7 + y * 3);
    rgb[1] = uint8_t((x ^ y) & 1 ? 200 : 40);
    rgb[2] = uint8_t(((x + y) % 23) * 11 + (y * 5 & 0x3F));
}

struct JpegOptions {
    int quality = 85;
    bool progressive = false;
    bool grayscale = false;
};

// Compresses a w x h picture of `components` channels in `space`, row y
// filled by fill(y, row) just before it is written, so a very large picture
// costs one row of memory plus the compressed bytes. `setup` runs after the
// defaults, before compression starts.
inline std::vector<uint8_t> EncodeRows(int w, int h, int components, J_COLOR_SPACE space,
                                       const std::function<void(jpeg_compress_struct&)>& setup,
                                       const std::function<void(int y, uint8_t* row)>& fill) {
    jpeg_compress_struct c{};
    jpeg_error_mgr err{};
    c.err = jpeg_std_error(&err);
    jpeg_create_compress(&c);
    unsigned char* mem = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&c, &mem, &size);
    c.image_width = JDIMENSION(w);
    c.image_height = JDIMENSION(h);
    c.input_components = components;
    c.in_color_space = space;
    jpeg_set_defaults(&c);
    setup(c);
    jpeg_start_compress(&c, TRUE);
    std::vector<uint8_t> row(size_t(w) * size_t(components), 128);
    while (c.next_scanline < c.image_height) {
        fill(int(c.next_scanline), row.data());
        JSAMPROW p = row.data();
        jpeg_write_scanlines(&c, &p, 1);
    }
    jpeg_finish_compress(&c);
    std::vector<uint8_t> out(mem, mem + size);
    jpeg_destroy_compress(&c);
    std::free(mem);
    return out;
}

// A w x h JPEG of pixel(x, y), or of one mid grey when pixel is empty.
inline std::vector<uint8_t> Jpeg(int w, int h, const PixelFn& pixel = Pattern, JpegOptions o = {}) {
    return EncodeRows(
        w, h, 3, JCS_RGB,
        [&](jpeg_compress_struct& c) {
            jpeg_set_quality(&c, o.quality, TRUE);
            if (o.grayscale) jpeg_set_colorspace(&c, JCS_GRAYSCALE);
            if (o.progressive) jpeg_simple_progression(&c);
        },
        [&](int y, uint8_t* row) {
            if (pixel)
                for (int x = 0; x < w; ++x) pixel(x, y, &row[size_t(x) * 3]);
        });
}

// A w x h four-component (Adobe CMYK) JPEG whose stored bytes follow the
// pattern: cyan, magenta and yellow from its three channels, K a ramp.
inline std::vector<uint8_t> CmykJpeg(int w, int h, int quality = 85) {
    return EncodeRows(
        w, h, 4, JCS_CMYK, [&](jpeg_compress_struct& c) { jpeg_set_quality(&c, quality, TRUE); },
        [&](int y, uint8_t* row) {
            for (int x = 0; x < w; ++x) {
                Pattern(x, y, &row[size_t(x) * 4]);
                row[size_t(x) * 4 + 3] = uint8_t(255 - (x + 2 * y) % 200);
            }
        });
}

// A JPEG that fails only after part of its picture has been decoded: the
// picture data stops halfway and a second frame header follows, which the
// decoder refuses once the rows it has are out.
inline std::vector<uint8_t> JpegFailingHalfway(int w, int h) {
    std::vector<uint8_t> bytes = Jpeg(w, h);
    bytes.resize(bytes.size() / 2);
    const uint8_t sof[] = {0xFF, 0xC0, 0x00, 0x0B, 0x08, 0x00, 0x10, 0x00, 0x10, 0x01, 0x01, 0x11, 0x00, 0xFF, 0xD9};
    bytes.insert(bytes.end(), std::begin(sof), std::end(sof));
    return bytes;
}

}  // namespace patternpictures
