// What the HEIF suites share: a scratch folder, Debian's tools run through
// the shell, their PNG output decoded by the test-only decoder, and a
// reader's rows collected.
#pragma once

#include "platform/PictureIO.h"
#include "tests/support/PhotoFiles.h"
#include "tests/support/PngReference.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace heiftest {

using Bytes = std::vector<uint8_t>;

inline bool HaveTool(const std::string& name) {
    return std::system(("command -v " + name + " >/dev/null 2>&1").c_str()) == 0;
}

// Runs a shell command quietly; true when it exits 0.
inline bool Sh(const std::string& command) { return std::system((command + " >/dev/null 2>&1").c_str()) == 0; }

// A shell command's standard output.
inline std::string ShOut(const std::string& command) {
    std::string out;
    if (FILE* p = popen(command.c_str(), "r")) {
        char buf[4096];
        size_t n;
        while ((n = fread(buf, 1, sizeof buf, p)) > 0) out.append(buf, n);
        pclose(p);
    }
    return out;
}

inline void WriteFile(const std::string& path, const Bytes& bytes) {
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
}

// A fresh folder per test, removed afterwards.
class Scratch {
public:
    Scratch() {
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        std::string name = std::string(info->test_suite_name()) + "." + info->name();
        for (char& c : name)
            if (c == '/') c = '_';
        dir_ = std::filesystem::temp_directory_path() / ("velmora-heif-" + std::to_string(getpid()) + "-" + name);
        std::filesystem::create_directories(dir_);
    }
    ~Scratch() {
        if (!std::getenv("VELMORA_KEEP_SCRATCH")) std::filesystem::remove_all(dir_);
    }
    std::string operator/(const std::string& file) const { return (dir_ / file).string(); }

private:
    std::filesystem::path dir_;
};

// A decoded PNG as 0xAARRGGBB with 8-bit samples; 16-bit samples are brought
// to 8 bits by rounding. Grey PNGs spread to three channels.
struct Picture {
    int width = 0, height = 0;
    std::vector<uint32_t> pixels;
};

inline Picture ReadPng(const std::string& path) {
    const pngref::Image image = pngref::Decode(pngref::ReadFile(path));
    Picture p{int(image.width), int(image.height), {}};
    const bool wide = image.depth == 16;
    auto eight = [&](uint16_t v) { return uint32_t(wide ? (v * 255u + 32767u) / 65535u : v); };
    for (const auto& s : image.pixels) {
        uint32_t r, g, b, a = 255;
        switch (image.colorType) {
        case 0: r = g = b = eight(s[0]); break;
        case 4:
            r = g = b = eight(s[0]);
            a = eight(s[1]);
            break;
        case 6:
            r = eight(s[0]);
            g = eight(s[1]);
            b = eight(s[2]);
            a = eight(s[3]);
            break;
        default:
            r = eight(s[0]);
            g = eight(s[1]);
            b = eight(s[2]);
            break;
        }
        p.pixels.push_back(a << 24 | r << 16 | g << 8 | b);
    }
    return p;
}

// A profile of the given colour space whose header libpng accepts (the
// reference decoders write it into their PNG): a display profile over XYZ
// with the D50 illuminant and one text tag.
inline Bytes Profile(const char* space) {
    Bytes p = photofiles::IccProfile(600, space);
    std::memcpy(&p[12], "mntr", 4);
    std::memcpy(&p[20], "XYZ ", 4);
    std::memset(&p[64], 0, 4);
    const uint8_t d50[12] = {0, 0, 0xF6, 0xD6, 0, 1, 0, 0, 0, 0, 0xD3, 0x2D};
    std::memcpy(&p[68], d50, 12);
    const uint8_t tags[28] = {0, 0,  0,   1,   'c', 'p', 'r', 't', 0, 0, 0,   144, 0,   0,
                              0, 12, 't', 'e', 'x', 't', 0,   0,   0, 0, 'V', 'e', 'l', 0};
    std::memcpy(&p[128], tags, sizeof tags);
    return p;
}

struct RowCollector : TRowTarget {
    explicit RowCollector(int32_t width) : row(size_t(width)) {}
    std::vector<uint32_t> row, pixels;
    uint32_t* NextRow() override { return row.data(); }
    void Push() override { pixels.insert(pixels.end(), row.begin(), row.end()); }
};

// The largest difference of any channel between two pictures of one size.
inline int LargestDifference(const std::vector<uint32_t>& a, const std::vector<uint32_t>& b) {
    int worst = a.size() == b.size() ? 0 : 256;
    for (size_t i = 0; i < a.size() && i < b.size(); ++i)
        for (int shift = 0; shift < 32; shift += 8)
            worst = std::max(worst, std::abs(int((a[i] >> shift) & 0xFF) - int((b[i] >> shift) & 0xFF)));
    return worst;
}

// The mean absolute difference over the colour channels.
inline double MeanDifference(const std::vector<uint32_t>& a, const std::vector<uint32_t>& b) {
    double sum = 0;
    for (size_t i = 0; i < a.size() && i < b.size(); ++i)
        for (int shift = 0; shift < 24; shift += 8)
            sum += std::abs(int((a[i] >> shift) & 0xFF) - int((b[i] >> shift) & 0xFF));
    return a.empty() ? 0 : sum / double(a.size() * 3);
}

// A smooth test picture (chroma upsampling differs between decoders): odd sizes exercise the chroma
// subsampling's edge columns; alpha ramps across when asked for.
inline std::vector<uint32_t> Pattern(int w, int h, bool alpha) {
    std::vector<uint32_t> px;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const uint32_t r = uint32_t(x * 255 / (w - 1)), g = uint32_t(y * 255 / (h - 1));
            const uint32_t b = uint32_t(255 - (x + y) * 255 / (w + h - 2));
            const uint32_t a = alpha ? uint32_t(40 + x * 215 / (w - 1)) : 255u;
            px.push_back(a << 24 | r << 16 | g << 8 | b);
        }
    return px;
}

}  // namespace heiftest
