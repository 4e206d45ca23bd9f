// Tiny one-colour picture files as Qt byte arrays, written by the shared
// builders, so tests of the run and of the programs do not depend on the
// encoders under test; and the sizes read back from written files.
#pragma once

#include <QByteArray>
#include <QFile>
#include <QString>

#include <cstdint>
#include <cstdio>
#include <vector>

#include "tests/support/BmpBuilder.h"
#include "tests/support/PatternPictures.h"
#include "tests/support/PhotoFiles.h"

#include <jpeglib.h>

namespace testimages {

inline QByteArray ToQByteArray(const std::vector<uint8_t>& bytes) {
    return QByteArray(reinterpret_cast<const char*>(bytes.data()), qsizetype(bytes.size()));
}

// A w x h 24-bit bottom-up BMP filled with one colour.
inline QByteArray Bmp24(int w, int h, uint8_t r = 200, uint8_t g = 100, uint8_t b = 50) {
    bmptest::BmpLayout s;
    s.width = w;
    s.height = h;
    s.pixels = bmptest::PackRows(w, h, 24, [=](int, int) { return uint32_t(r) << 16 | uint32_t(g) << 8 | b; });
    s.sizeImage = uint32_t(s.pixels.size());
    return ToQByteArray(bmptest::BuildBmp(s));
}

// A w x h 8-bit RGB PNG filled with one colour.
inline QByteArray Png(int w, int h, uint8_t r = 10, uint8_t g = 120, uint8_t b = 230) {
    const std::vector<uint32_t> pixels(size_t(w) * size_t(h), uint32_t(r) << 16 | uint32_t(g) << 8 | b);
    return ToQByteArray(photofiles::PngRgba(uint32_t(w), uint32_t(h), pixels, false));
}

// A w x h baseline JPEG of one colour, through libjpeg's own encoder.
inline QByteArray Jpeg(int w, int h, uint8_t r = 90, uint8_t g = 160, uint8_t b = 40) {
    // Quality 75 is the encoder's own default.
    return ToQByteArray(patternpictures::Jpeg(w, h,
                                              [=](int, int, uint8_t rgb[3]) {
                                                  rgb[0] = r;
                                                  rgb[1] = g;
                                                  rgb[2] = b;
                                              },
                                              {.quality = 75}));
}

inline bool WriteFile(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
}
inline bool WriteFile(const QString& path, const std::vector<uint8_t>& bytes) {
    return WriteFile(path, ToQByteArray(bytes));
}

inline QByteArray ReadFile(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// Width and height stored in a BMP / PNG header; {-1, -1} when unreadable.
struct Size {
    int w = -1, h = -1;
};
inline Size BmpSize(const QByteArray& b) {
    if (b.size() < 26 || !b.startsWith("BM")) return {};
    auto le = [&](int o) {
        return int32_t(uint8_t(b[o]) | uint8_t(b[o + 1]) << 8 | uint8_t(b[o + 2]) << 16 | uint32_t(uint8_t(b[o + 3])) << 24);
    };
    return {le(18), le(22) < 0 ? -le(22) : le(22)};
}
inline Size PngSize(const QByteArray& b) {
    if (b.size() < 24 || !b.startsWith("\x89PNG")) return {};
    auto be = [&](int o) {
        return int(uint32_t(uint8_t(b[o])) << 24 | uint8_t(b[o + 1]) << 16 | uint8_t(b[o + 2]) << 8 | uint8_t(b[o + 3]));
    };
    return {be(16), be(20)};
}
// Through libjpeg's decoder header reader.
inline Size JpegSize(const QByteArray& b) {
    if (!b.startsWith("\xFF\xD8")) return {};
    jpeg_decompress_struct d{};
    jpeg_error_mgr err{};
    d.err = jpeg_std_error(&err);
    jpeg_create_decompress(&d);
    jpeg_mem_src(&d, reinterpret_cast<const unsigned char*>(b.constData()), (unsigned long)b.size());
    Size s;
    if (jpeg_read_header(&d, TRUE) == JPEG_HEADER_OK) s = {int(d.image_width), int(d.image_height)};
    jpeg_destroy_decompress(&d);
    return s;
}

}  // namespace testimages
