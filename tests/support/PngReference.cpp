#include "tests/support/PngReference.h"

#include <zlib.h>

#include <cmath>
#include <cstring>
#include <fstream>
#include <iterator>
#include <stdexcept>

namespace pngref {

namespace {

uint32_t Be32(const uint8_t* p) { return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | p[3]; }

int Channels(int colorType) {
    switch (colorType) {
    case 0: return 1;
    case 2: return 3;
    case 3: return 1;
    case 4: return 2;
    case 6: return 4;
    }
    throw std::runtime_error("colour type");
}

}  // namespace

int Predict(int filter, int a, int b, int c) {
    switch (filter) {
    case 0: return 0;
    case 1: return a;
    case 2: return b;
    case 3: return (a + b) / 2;
    case 4: {
        const int p = a + b - c, pa = std::abs(p - a), pb = std::abs(p - b), pc = std::abs(p - c);
        return pa <= pb && pa <= pc ? a : pb <= pc ? b : c;
    }
    }
    return 0;  // unknown filter types leave the bytes alone
}

std::vector<uint8_t> ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) throw std::runtime_error("cannot open " + path);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

std::vector<uint8_t> Inflate(const std::vector<uint8_t>& data) {
    z_stream z{};
    if (inflateInit(&z) != Z_OK) throw std::runtime_error("inflateInit");
    z.next_in = const_cast<uint8_t*>(data.data());
    z.avail_in = uInt(data.size());
    std::vector<uint8_t> out;
    uint8_t buf[16384];
    int r;
    do {
        z.next_out = buf;
        z.avail_out = sizeof buf;
        r = inflate(&z, Z_NO_FLUSH);
        out.insert(out.end(), buf, buf + (sizeof buf - z.avail_out));
    } while (r == Z_OK);
    inflateEnd(&z);
    if (r != Z_STREAM_END) throw std::runtime_error("inflate");
    return out;
}

std::vector<uint8_t> Deflate(const std::vector<uint8_t>& raw, int level) {
    uLongf size = compressBound(uLong(raw.size()));
    std::vector<uint8_t> out(size);
    if (compress2(out.data(), &size, raw.data(), uLong(raw.size()), level) != Z_OK)
        throw std::runtime_error("compress2");
    out.resize(size);
    return out;
}

std::vector<RawChunk> Chunks(const std::vector<uint8_t>& file) {
    std::vector<RawChunk> list;
    size_t pos = 8;
    while (pos + 12 <= file.size()) {
        const uint32_t len = Be32(&file[pos]);
        if (pos + 12 + len > file.size()) break;
        RawChunk c;
        c.type.assign(reinterpret_cast<const char*>(&file[pos + 4]), 4);
        c.data.assign(file.begin() + long(pos) + 8, file.begin() + long(pos) + 8 + len);
        c.crc = Be32(&file[pos + 8 + len]);
        list.push_back(std::move(c));
        pos += 12 + len;
    }
    return list;
}

Image Decode(const std::vector<uint8_t>& file) {
    static const uint8_t sig[8] = {137, 80, 78, 71, 13, 10, 26, 10};
    if (file.size() < 8 || std::memcmp(file.data(), sig, 8) != 0) throw std::runtime_error("signature");
    Image img;
    std::vector<uint8_t> compressed;
    uint32_t gamma = 0;
    bool seenData = false;
    for (const RawChunk& c : Chunks(file)) {
        uLong crc = crc32(0, reinterpret_cast<const Bytef*>(c.type.data()), 4);
        if (!c.data.empty()) crc = crc32(crc, c.data.data(), uInt(c.data.size()));  // NULL data gives 0
        if (crc != c.crc && c.type != "cHRM") throw std::runtime_error("crc " + c.type);
        if (c.type == "IHDR") {
            img.width = Be32(&c.data[0]);
            img.height = Be32(&c.data[4]);
            img.depth = c.data[8];
            img.colorType = c.data[9];
            img.interlace = c.data[12];
        } else if (c.type == "PLTE") {
            for (size_t i = 0; i + 2 < c.data.size(); i += 3) img.palette.push_back({c.data[i], c.data[i + 1], c.data[i + 2]});
            img.gammaAtPalette = gamma;
        } else if (c.type == "tRNS") {
            img.trns = c.data;
            img.hasTrns = true;
        } else if (c.type == "gAMA") {
            gamma = c.data.size() == 4 ? Be32(c.data.data()) : 1;
        } else if (c.type == "IDAT") {
            if (!seenData) img.gammaAtData = gamma;
            seenData = true;
            compressed.insert(compressed.end(), c.data.begin(), c.data.end());
        }
    }
    const std::vector<uint8_t> raw = Inflate(compressed);
    const int channels = Channels(img.colorType);
    const int bitsPerPixel = channels * img.depth;
    const size_t bpp = size_t(std::max(1, bitsPerPixel / 8));
    img.pixels.assign(size_t(img.width) * img.height, {0, 0, 0, 0});

    struct Pass { uint32_t x0, y0, dx, dy; };
    std::vector<Pass> passes;
    if (img.interlace)
        passes = {{0, 0, 8, 8}, {4, 0, 8, 8}, {0, 4, 4, 8}, {2, 0, 4, 4}, {0, 2, 2, 4}, {1, 0, 2, 2}, {0, 1, 1, 2}};
    else
        passes = {{0, 0, 1, 1}};
    size_t pos = 0;
    for (const Pass& p : passes) {
        std::vector<uint32_t> xs, ys;
        for (uint32_t x = p.x0; x < img.width; x += p.dx) xs.push_back(x);
        for (uint32_t y = p.y0; y < img.height; y += p.dy) ys.push_back(y);
        if (xs.empty() || ys.empty()) continue;
        const size_t stride = (xs.size() * size_t(bitsPerPixel) + 7) / 8;
        std::vector<uint8_t> prev(stride, 0), line(stride);
        for (uint32_t y : ys) {
            if (pos + 1 + stride > raw.size()) throw std::runtime_error("short data");
            const int filter = raw[pos];
            for (size_t i = 0; i < stride; ++i) {
                const int a = i >= bpp ? line[i - bpp] : 0;
                const int c = i >= bpp ? prev[i - bpp] : 0;
                line[i] = uint8_t(raw[pos + 1 + i] + Predict(filter, a, prev[i], c));
            }
            pos += 1 + stride;
            for (size_t k = 0; k < xs.size(); ++k) {
                auto& px = img.pixels[size_t(y) * img.width + xs[k]];
                for (int ch = 0; ch < channels; ++ch) {
                    const size_t bit = (k * size_t(channels) + size_t(ch)) * size_t(img.depth);
                    uint16_t v;
                    if (img.depth == 16) v = uint16_t(line[bit / 8] << 8 | line[bit / 8 + 1]);
                    else if (img.depth == 8) v = line[bit / 8];
                    else v = uint16_t((line[bit / 8] >> (8 - img.depth - bit % 8)) & ((1 << img.depth) - 1));
                    px[size_t(ch)] = v;
                }
            }
            prev = line;
        }
    }
    return img;
}

std::array<uint8_t, 256> GammaTable(uint32_t gamma) {
    std::array<uint8_t, 256> t{};
    for (int i = 0; i < 256; ++i) {
        if (gamma == 0) { t[size_t(i)] = uint8_t(i); continue; }
        const double v = std::pow(i / 255.0, 1.0 / (gamma / 100000.0 * 2.2)) * 255.0;
        t[size_t(i)] = uint8_t(std::nearbyint(v));  // default rounding: ties to even
    }
    return t;
}

std::vector<uint32_t> OverWhite(const Image& img) {
    const auto g = GammaTable(img.gammaAtData);
    const auto gp = GammaTable(img.gammaAtPalette);
    const int maxv = (1 << img.depth) - 1;
    // An 8-bit value of a sample as the picture keeps it.
    auto eight = [&](uint16_t s) -> unsigned { return img.depth == 16 ? s >> 8 : unsigned(s) * 255 / unsigned(maxv); };
    auto rgb = [](unsigned r, unsigned gg, unsigned b) { return r << 16 | gg << 8 | b; };
    auto trns16 = [&](size_t i) -> unsigned { return i + 1 < img.trns.size() ? unsigned(img.trns[i] << 8 | img.trns[i + 1]) : 0xFFFFFFFFu; };

    // tRNS of a palette image: a key when one entry is 0 and all others 255.
    unsigned below = 0, zeros = 0;
    for (uint8_t a : img.trns) { below += a < 255; zeros += a == 0; }
    const bool paletteKey = img.hasTrns && below == 1 && zeros == 1;

    std::vector<uint32_t> out(img.pixels.size());
    for (size_t i = 0; i < img.pixels.size(); ++i) {
        const auto& s = img.pixels[i];
        uint32_t v = 0xFFFFFF;
        switch (img.colorType) {
        case 0: {
            const unsigned shown = g[eight(s[0])];
            v = rgb(shown, shown, shown);
            if (img.hasTrns) {
                const unsigned key = trns16(0);
                if (key <= unsigned(img.depth == 16 ? 65535 : maxv) && g[eight(uint16_t(key))] == shown) v = 0xFFFFFF;
            }
            break;
        }
        case 2: {
            v = rgb(g[eight(s[0])], g[eight(s[1])], g[eight(s[2])]);
            if (img.hasTrns) {
                const unsigned lim = img.depth == 16 ? 65535 : 255;
                const unsigned kr = trns16(0), kg = trns16(2), kb = trns16(4);
                if (kr <= lim && kg <= lim && kb <= lim &&
                    rgb(g[eight(uint16_t(kr))], g[eight(uint16_t(kg))], g[eight(uint16_t(kb))]) == v)
                    v = 0xFFFFFF;
            }
            break;
        }
        case 3: {
            const auto& c = img.palette.at(s[0]);
            const unsigned r = gp[c[0]], gg = gp[c[1]], b = gp[c[2]];
            if (!img.hasTrns) { v = rgb(r, gg, b); break; }
            const unsigned a = s[0] < img.trns.size() ? img.trns[s[0]] : 255;
            if (paletteKey) { v = a == 0 ? 0xFFFFFF : rgb(r, gg, b); break; }
            auto mix = [a](unsigned sv) { return (a * sv + (255 - a) * 255 + 255) >> 8; };
            v = rgb(mix(r), mix(gg), mix(b));
            break;
        }
        case 4: {
            const unsigned a = eight(s[1]), grey = eight(s[0]);  // stored grey: no gamma
            const unsigned c = (255 * (255 - a) + grey * a + 127) / 255;
            v = rgb(c, c, c);
            break;
        }
        case 6: {
            const unsigned a = eight(s[3]);
            const unsigned r = g[eight(s[0])], gg = g[eight(s[1])], b = g[eight(s[2])];
            auto mix = [a](unsigned sv) { return (255 * (255 - a) + sv * a + 127) / 255; };
            v = a == 0 ? 0xFFFFFF : a == 255 ? rgb(r, gg, b) : rgb(mix(r), mix(gg), mix(b));
            break;
        }
        }
        out[i] = v;
    }
    return out;
}

void PutBE32(std::vector<uint8_t>& out, uint32_t v) {
    for (int s = 24; s >= 0; s -= 8) out.push_back(uint8_t(v >> s));
}

Builder::Builder() : bytes{137, 80, 78, 71, 13, 10, 26, 10} {}

Builder& Builder::Chunk(const std::string& type, const std::vector<uint8_t>& data) {
    PutBE32(bytes, uint32_t(data.size()));
    bytes.insert(bytes.end(), type.begin(), type.end());
    bytes.insert(bytes.end(), data.begin(), data.end());
    uLong crc = crc32(0, reinterpret_cast<const Bytef*>(type.data()), 4);
    if (!data.empty()) crc = crc32(crc, data.data(), uInt(data.size()));
    PutBE32(bytes, uint32_t(crc));
    return *this;
}

Builder& Builder::ChunkBadCrc(const std::string& type, const std::vector<uint8_t>& data) {
    Chunk(type, data);
    bytes.back() ^= 0x5A;
    return *this;
}

Builder& Builder::Raw(const std::vector<uint8_t>& b) {
    bytes.insert(bytes.end(), b.begin(), b.end());
    return *this;
}

Builder& Builder::Ihdr(uint32_t w, uint32_t h, uint8_t depth, uint8_t colorType, uint8_t interlace,
                       uint8_t compression) {
    std::vector<uint8_t> d;
    PutBE32(d, w);
    PutBE32(d, h);
    d.insert(d.end(), {depth, colorType, compression, 0, interlace});
    return Chunk("IHDR", d);
}

}  // namespace pngref
