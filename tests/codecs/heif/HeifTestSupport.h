// What the HEIF suites share: a scratch folder, Debian's tools run through
// the shell, their PNG output decoded by the test-only decoder, pictures
// compared, and a reader's rows collected.
#pragma once

#include "platform/PictureIO.h"
#include "tests/support/PhotoFiles.h"
#include "tests/support/PngReference.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace heiftest {

using Bytes = std::vector<uint8_t>;

inline bool Sh(const std::string& command) { return std::system((command + " >/dev/null 2>&1").c_str()) == 0; }
inline bool HaveTool(const std::string& name) { return Sh("command -v " + name); }
inline std::string ShOut(const std::string& command) {
    std::string out;
    if (FILE* p = popen(command.c_str(), "r")) {
        for (int c; (c = std::fgetc(p)) != EOF;) out += char(c);
        pclose(p);
    }
    return out;
}

inline void WriteFile(const std::string& path, const Bytes& b) {
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(b.data()), std::streamsize(b.size()));
}

// A fresh folder, removed with the object.
class Scratch {
public:
    Scratch() {
        std::string name = (std::filesystem::temp_directory_path() / "velmora-heif-XXXXXX").string();
        dir_ = mkdtemp(name.data());
    }
    ~Scratch() { std::filesystem::remove_all(dir_); }
    std::string operator/(const std::string& file) const { return dir_ + "/" + file; }

private:
    std::string dir_;
};

// A decoded PNG as 0xAARRGGBB; 16-bit samples rounded to 8 bits.
struct Picture {
    int width = 0, height = 0;
    std::vector<uint32_t> pixels;
};

inline Picture ReadPng(const std::string& path) {
    const pngref::Image image = pngref::Decode(pngref::ReadFile(path));
    Picture p{int(image.width), int(image.height), {}};
    auto eight = [&](uint16_t v) { return uint32_t(image.depth == 16 ? (v * 255u + 32767u) / 65535u : v); };
    const bool grey = image.colorType == 0 || image.colorType == 4, alpha = image.colorType >= 4;
    for (const auto& s : image.pixels) {
        const uint32_t r = eight(s[0]), g = grey ? r : eight(s[1]), b = grey ? r : eight(s[2]);
        const uint32_t a = alpha ? eight(s[grey ? 1 : 3]) : 255u;
        p.pixels.push_back(a << 24 | r << 16 | g << 8 | b);
    }
    return p;
}

// A profile of the given colour space whose header libpng accepts (the
// reference decoders write it into their PNG): a display profile over XYZ
// with the D50 illuminant and one text tag.
inline Bytes Profile(const char* space) {
    Bytes p = photofiles::IccProfile(600, space);
    const uint8_t d50[12] = {0, 0, 0xF6, 0xD6, 0, 1, 0, 0, 0, 0, 0xD3, 0x2D};
    const uint8_t tags[28] = {0, 0,  0,   1,   'c', 'p', 'r', 't', 0, 0, 0,   144, 0,   0,
                              0, 12, 't', 'e', 'x', 't', 0,   0,   0, 0, 'V', 'e', 'l', 0};
    std::memcpy(&p[12], "mntr", 4);
    std::memcpy(&p[20], "XYZ ", 4);
    std::memset(&p[64], 0, 4);
    std::memcpy(&p[68], d50, 12);
    std::memcpy(&p[128], tags, sizeof tags);
    return p;
}

struct RowCollector : TRowTarget {
    explicit RowCollector(int32_t width) : row(size_t(width)) {}
    std::vector<uint32_t> row, pixels;
    uint32_t* NextRow() override { return row.data(); }
    void Push() override { pixels.insert(pixels.end(), row.begin(), row.end()); }
};

// The largest difference of any channel (alpha included), and the mean one
// over the colour channels; pictures of other sizes differ by 256.
struct Difference {
    int largest = 0;
    double mean = 0;
};

inline Difference Compare(const std::vector<uint32_t>& a, const std::vector<uint32_t>& b) {
    if (a.size() != b.size() || a.empty()) return {256, 256};
    Difference d;
    for (size_t i = 0; i < a.size(); ++i)
        for (int shift = 0; shift < 32; shift += 8) {
            const int e = std::abs(int((a[i] >> shift) & 0xFF) - int((b[i] >> shift) & 0xFF));
            d.largest = std::max(d.largest, e);
            d.mean += shift < 24 ? e : 0;
        }
    d.mean /= double(a.size() * 3);
    return d;
}

// A smooth picture (decoders upsample the chroma differently) in odd sizes
// for the subsampling's edge columns; alpha ramps across when asked for.
inline std::vector<uint32_t> Pattern(int w, int h, bool alpha) {
    std::vector<uint32_t> px;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const auto r = uint32_t(x * 255 / (w - 1)), g = uint32_t(y * 255 / (h - 1));
            const auto b = uint32_t(255 - (x + y) * 255 / (w + h - 2)),
                       a = alpha ? uint32_t(40 + x * 215 / (w - 1)) : 255u;
            px.push_back(a << 24 | r << 16 | g << 8 | b);
        }
    return px;
}

}  // namespace heiftest
