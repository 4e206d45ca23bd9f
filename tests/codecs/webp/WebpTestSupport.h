// Files made and decoded by Debian's WebP tools (cwebp, dwebp, webpmux,
// img2webp) in a temporary folder, and pictures read through the reader.
#pragma once

#include "codecs/webp/WebpFormat.h"
#include "tests/support/PhotoFiles.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include <unistd.h>

namespace webptest {

using photofiles::Bytes;
namespace fs = std::filesystem;

inline bool HaveTools() {
    for (const char* tool : {"cwebp", "dwebp", "webpmux", "img2webp"})
        if (std::system((std::string("command -v ") + tool + " >/dev/null 2>&1").c_str()) != 0) return false;
    return true;
}
#define WEBP_NEED_TOOLS() \
    if (!webptest::HaveTools()) GTEST_SKIP() << "cwebp, dwebp, webpmux or img2webp is not installed (package webp)"

inline Bytes Load(const fs::path& p) {
    std::ifstream f(p, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(f), {});
}
inline void Save(const fs::path& p, const Bytes& b) {
    std::ofstream(p, std::ios::binary).write(reinterpret_cast<const char*>(b.data()), std::streamsize(b.size()));
}

// A fresh folder per test, removed afterwards; Run executes a shell command
// in it and fails the test when the command does.
struct Folder {
    fs::path dir;
    Folder() {
        std::string name = ::testing::UnitTest::GetInstance()->current_test_info()->name();
        for (char& c : name)
            if (c == '/') c = '_';
        dir = fs::temp_directory_path() / ("velmora-webp-" + std::to_string(getpid()) + "-" + name);
        fs::remove_all(dir);
        fs::create_directories(dir);
    }
    ~Folder() { fs::remove_all(dir); }
    fs::path operator/(const std::string& name) const { return dir / name; }
    void Run(const std::string& command) const {
        const std::string line = "cd '" + dir.string() + "' && (" + command + ") >/dev/null 2>&1";
        ASSERT_EQ(std::system(line.c_str()), 0) << command;
    }
};

struct Picture {
    int32_t width = 0, height = 0;
    std::vector<uint32_t> pixels;  // 0xAARRGGBB
};

// dwebp's PAM output (RGBA).
inline Picture LoadPam(const fs::path& p) {
    const Bytes b = Load(p);
    const std::string text(b.begin(), b.end());
    Picture pic;
    pic.width = std::stoi(text.substr(text.find("WIDTH ") + 6));
    pic.height = std::stoi(text.substr(text.find("HEIGHT ") + 7));
    size_t at = text.find("ENDHDR\n") + 7;
    for (int64_t i = 0; i < int64_t(pic.width) * pic.height; ++i, at += 4)
        pic.pixels.push_back(uint32_t(b[at + 3]) << 24 | uint32_t(b[at]) << 16 | uint32_t(b[at + 1]) << 8 | b[at + 2]);
    return pic;
}

struct Rows : TRowTarget {
    std::vector<uint32_t> row, pixels;
    uint32_t* NextRow() override { return row.data(); }
    void Push() override { pixels.insert(pixels.end(), row.begin(), row.end()); }
};

// The whole picture through the reader; the reader is left for its metadata.
inline Picture ReadAll(TPictureReader& reader, const Bytes& file) {
    TMemoryStream stream(file);
    reader.ReadHeader(stream);
    Rows rows;
    rows.row.resize(size_t(reader.Width()));
    reader.ReadRows(rows);
    return {reader.Width(), reader.Height(), rows.pixels};
}

// A picture with detail in every channel; with alpha, a ramp that includes
// fully transparent and fully opaque pixels.
inline std::vector<uint32_t> Pattern(int32_t w, int32_t h, bool alpha) {
    std::vector<uint32_t> p;
    for (int32_t y = 0; y < h; ++y)
        for (int32_t x = 0; x < w; ++x) {
            const uint32_t a = alpha ? uint32_t(std::min(255, std::max(0, (x + y) * 4 - 40))) : 255;
            p.push_back(a << 24 | uint32_t(x * 255 / w) << 16 | uint32_t(y * 255 / h) << 8 |
                        uint32_t(x * y * 255 / (w * h)));
        }
    return p;
}

}  // namespace webptest
