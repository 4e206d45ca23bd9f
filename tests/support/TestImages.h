// Tiny picture files written by independent minimal writers, so tests of the
// run and of velmora-cli do not depend on the encoders under test.
#pragma once

#include <QByteArray>
#include <QFile>
#include <QString>

#include <cstdint>
#include <cstdio>
#include <vector>

#include "tests/support/PatternPictures.h"

#include <jpeglib.h>
#include <zlib.h>

namespace testimages {

inline void put16(QByteArray& b, uint16_t v) {
    b.append(char(v & 0xFF)).append(char(v >> 8));
}
inline void put32(QByteArray& b, uint32_t v) {
    for (int i = 0; i < 4; ++i) b.append(char((v >> (8 * i)) & 0xFF));
}
inline void put32be(QByteArray& b, uint32_t v) {
    for (int i = 3; i >= 0; --i) b.append(char((v >> (8 * i)) & 0xFF));
}

// A w x h 24-bit bottom-up BMP filled with one colour.
inline QByteArray Bmp24(int w, int h, uint8_t r = 200, uint8_t g = 100, uint8_t b = 50) {
    const int stride = (w * 3 + 3) & ~3;
    QByteArray out("BM");
    put32(out, uint32_t(54 + stride * h));
    put32(out, 0);
    put32(out, 54);
    put32(out, 40);
    put32(out, uint32_t(w));
    put32(out, uint32_t(h));
    put16(out, 1);
    put16(out, 24);
    put32(out, 0);
    put32(out, uint32_t(stride * h));
    put32(out, 2835);
    put32(out, 2835);
    put32(out, 0);
    put32(out, 0);
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) out.append(char(b)).append(char(g)).append(char(r));
        for (int p = w * 3; p < stride; ++p) out.append('\0');
    }
    return out;
}

// A w x h 8-bit RGB PNG filled with one colour.
inline QByteArray Png(int w, int h, uint8_t r = 10, uint8_t g = 120, uint8_t b = 230) {
    auto chunk = [](QByteArray& out, const char* type, const QByteArray& data) {
        put32be(out, uint32_t(data.size()));
        QByteArray typed(type, 4);
        typed += data;
        out += typed;
        put32be(out, uint32_t(crc32(0, reinterpret_cast<const Bytef*>(typed.constData()), uInt(typed.size()))));
    };
    QByteArray out("\x89PNG\r\n\x1a\n", 8);
    QByteArray ihdr;
    put32be(ihdr, uint32_t(w));
    put32be(ihdr, uint32_t(h));
    ihdr.append(char(8)).append(char(2)).append('\0').append('\0').append('\0');
    chunk(out, "IHDR", ihdr);
    std::vector<uint8_t> raw;
    for (int y = 0; y < h; ++y) {
        raw.push_back(0);
        for (int x = 0; x < w; ++x) {
            raw.push_back(r);
            raw.push_back(g);
            raw.push_back(b);
        }
    }
    uLongf len = compressBound(uLong(raw.size()));
    std::vector<uint8_t> z(len);
    compress(z.data(), &len, raw.data(), uLong(raw.size()));
    chunk(out, "IDAT", QByteArray(reinterpret_cast<const char*>(z.data()), qsizetype(len)));
    chunk(out, "IEND", {});
    return out;
}

// A w x h baseline JPEG of one colour, through libjpeg's own encoder.
inline QByteArray Jpeg(int w, int h, uint8_t r = 90, uint8_t g = 160, uint8_t b = 40) {
    // Quality 75 is the encoder's own default.
    const std::vector<uint8_t> bytes = patternpictures::Jpeg(w, h,
                                                             [=](int, int, uint8_t rgb[3]) {
                                                                 rgb[0] = r;
                                                                 rgb[1] = g;
                                                                 rgb[2] = b;
                                                             },
                                                             {.quality = 75});
    return QByteArray(reinterpret_cast<const char*>(bytes.data()), qsizetype(bytes.size()));
}

inline bool WriteFile(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
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
