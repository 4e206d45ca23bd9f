// The WebP reader and writer against Debian's WebP tools: files made by cwebp,
// webpmux and img2webp read as dwebp decodes them, damaged and oversized ones
// fail with their cause, and what the writer makes reads back through dwebp
// and webpmux.
#include "codecs/webp/WebpFormat.h"
#include "tests/support/PhotoFiles.h"
#include "tests/support/PixelDiff.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>

#include <unistd.h>

namespace {

using namespace std::string_literals;
using photofiles::Bytes;
using Pixels = std::vector<uint32_t>;

bool HaveTools() {
    return std::system("command -v cwebp && command -v dwebp && command -v webpmux && command -v img2webp") == 0;
}
#define NEED_WEBP_TOOLS() \
    if (!HaveTools()) GTEST_SKIP() << "cwebp, dwebp, webpmux or img2webp is missing (package webp)"

// A fresh folder for one test's files, and the tools run in it.
struct Folder {
    std::filesystem::path dir = std::filesystem::temp_directory_path() / ("velmora-webp-" + std::to_string(getpid()));
    Folder() { std::filesystem::create_directories(dir); }
    ~Folder() { std::filesystem::remove_all(dir); }
    Bytes Load(const std::string& name) const {
        std::ifstream f(dir / name, std::ios::binary);
        return Bytes(std::istreambuf_iterator<char>(f), {});
    }
    void Save(const std::string& name, const Bytes& b) const {
        std::ofstream(dir / name, std::ios::binary)
            .write(reinterpret_cast<const char*>(b.data()), std::streamsize(b.size()));
    }
    void Run(const std::string& command) const {
        ASSERT_EQ(std::system(("cd '" + dir.string() + "' && (" + command + ") >/dev/null 2>&1").c_str()), 0)
            << command;
    }
    // dwebp's decode of a file (its PAM output is RGBA).
    Pixels Dwebp(const std::string& name) const {
        Run("dwebp -pam " + name + " -o ref.pam");
        const Bytes pam = Load("ref.pam");
        const std::string text(pam.begin(), pam.end());
        Pixels p;
        for (size_t at = text.find("ENDHDR\n") + 7; at + 4 <= pam.size(); at += 4)
            p.push_back(uint32_t(pam[at + 3]) << 24 | uint32_t(pam[at]) << 16 | uint32_t(pam[at + 1]) << 8 |
                        pam[at + 2]);
        return p;
    }
};

// Detail in every channel; with alpha, a ramp from transparent to opaque;
// with noise, a picture that hardly compresses.
Pixels Pattern(int32_t w, int32_t h, bool alpha, bool noise = false) {
    Pixels p;
    for (int32_t y = 0; y < h; ++y)
        for (int32_t x = 0; x < w; ++x) {
            const uint32_t a = alpha ? uint32_t(std::clamp((x + y) * 4 - 40, 0, 255)) : 255;
            const uint32_t n = noise ? uint32_t(p.size() * 2654435761u) & 0xFFFFFF : 0;
            p.push_back(
                (a << 24 | uint32_t(x * 255 / w) << 16 | uint32_t(y * 255 / h) << 8 | uint32_t(x * y * 255 / (w * h))) ^
                n);
        }
    return p;
}

// The rows, and how far the reader had read its stream at the first one.
struct Rows : TRowTarget {
    TStream* stream = nullptr;
    int64_t readAtFirstRow = 0;
    Pixels row, pixels;
    uint32_t* NextRow() override { return row.data(); }
    void Push() override {
        if (pixels.empty()) readAtFirstRow = stream->Position();
        pixels.insert(pixels.end(), row.begin(), row.end());
    }
};

Rows ReadAll(TPictureReader& reader, const Bytes& file) {
    TMemoryStream stream(file);
    reader.ReadHeader(stream);
    Rows rows;
    rows.stream = &stream;
    rows.row.resize(size_t(reader.Width()));
    reader.ReadRows(rows);
    return rows;
}

const Bytes kIcc = photofiles::IccProfile(300);
const Bytes kExif = photofiles::ExifWithOrientation(6, false);
const Bytes kXmp = {'<', 'x', ':', 'x', 'm', 'p', 'm', 'e', 't', 'a', '/', '>'};

struct ReaderCase {
    const char* name;
    int32_t width, height;
    bool alpha, noise;               // of the source picture a.png (b.png: its inverse)
    const char* make;                // makes in.webp
    const char* reference;           // the file dwebp decodes for the expected pixels
    bool hasAlpha, metadata, early;  // early: rows come before half the file is read
};

const ReaderCase kReaderCases[] = {
    {"lossy", 40, 30, false, false, "cwebp -q 75 a.png -o in.webp", "in.webp", false, false, false},
    {"lossless", 40, 30, false, false, "cwebp -lossless a.png -o in.webp", "in.webp", false, false, false},
    {"lossy_alpha", 40, 30, true, false, "cwebp -q 75 a.png -o in.webp", "in.webp", true, false, false},
    {"lossless_alpha", 40, 30, true, false, "cwebp -lossless -exact a.png -o in.webp", "in.webp", true, false, false},
    {"lossy_large", 1000, 1000, false, true, "cwebp -q 95 a.png -o in.webp", "in.webp", false, false, true},
    {"lossless_large", 700, 500, true, true, "cwebp -lossless a.png -o in.webp", "in.webp", true, false, false},
    {"metadata", 40, 30, true, false,
     "cwebp -q 75 a.png -o p.webp && webpmux -set icc p.icc p.webp -o q.webp && webpmux -set exif e.exif q.webp -o "
     "r.webp && webpmux -set xmp x.xmp r.webp -o in.webp",
     "in.webp", true, true, false},
    {"animation_first_frame", 40, 30, false, false,
     "img2webp -lossless a.png b.png -o in.webp && webpmux -get frame 1 in.webp -o f.webp", "f.webp", false, false,
     false},
};

class WebpReader : public ::testing::TestWithParam<ReaderCase> {};

TEST_P(WebpReader, GivesDwebpsPixelsAndTheMetadata) {
    NEED_WEBP_TOOLS();
    const ReaderCase& c = GetParam();
    Folder dir;
    Pixels source = Pattern(c.width, c.height, c.alpha, c.noise), second = source;
    for (uint32_t& p : second) p = ~p | 0xFF000000u;
    dir.Save("a.png", photofiles::PngRgba(uint32_t(c.width), uint32_t(c.height), source, c.alpha));
    dir.Save("b.png", photofiles::PngRgba(uint32_t(c.width), uint32_t(c.height), second, false));
    dir.Save("p.icc", kIcc);
    dir.Save("e.exif", kExif);
    dir.Save("x.xmp", kXmp);
    dir.Run(c.make);
    const Bytes file = dir.Load("in.webp");
    auto reader = NewWebpReader();
    const Rows rows = ReadAll(*reader, file);
    EXPECT_EQ(reader->Width(), c.width);
    EXPECT_EQ(reader->Height(), c.height);
    EXPECT_EQ(testsupport::FirstDifference(rows.pixels, dir.Dwebp(c.reference), c.width), "");
    EXPECT_EQ(reader->HasAlpha(), c.hasAlpha);
    const TPictureMetadata& m = reader->Metadata();
    EXPECT_EQ(m.icc, c.metadata ? kIcc : Bytes{});
    EXPECT_EQ(m.exif, c.metadata ? kExif : Bytes{});
    EXPECT_EQ(m.xmp, c.metadata ? std::vector<Bytes>{kXmp} : std::vector<Bytes>{});
    EXPECT_EQ(m.orientation, c.metadata ? 6 : 0);
    if (c.early) {
        EXPECT_LT(rows.readAtFirstRow, int64_t(file.size() / 2));
    }
}

INSTANTIATE_TEST_SUITE_P(Files, WebpReader, ::testing::ValuesIn(kReaderCases),
                         [](const auto& info) { return std::string(info.param.name); });

// Files assembled by hand: sizes are little-endian, the lossless header
// holds 14 bits each of width - 1 and height - 1, the extended one flags and
// 24 bits each of the canvas's. Or cwebp's file cut short or with a byte
// inverted.
struct DamageCase {
    const char* name;
    std::string file;  // empty: cwebp's lossy or lossless file
    bool lossless;
    long keep;  // bytes of it kept (0: all; negative: all but these)
    int flip;   // a byte inverted, or -1
    std::string message;
};

const DamageCase kDamageCases[] = {
    {"png", "\x89PNG\r\n\x1a\n\0\0\0\rIHDR"s, false, 0, -1, kWebpNotWebp},
    {"riff_head_only", "RIFF\x64\0\0\0WEBP"s, false, 0, -1, kWebpTruncated},
    {"lossless_16383_square", "RIFF\x1a\0\0\0WEBPVP8L\x0e\0\0\0\x2f\xfe\xbf\xff\x0f"s + std::string(9, 'x'), false, 0,
     -1, kWebpTooLarge},
    {"animation_20000_square", "RIFF\x16\0\0\0WEBPVP8X\x0a\0\0\0\x02\0\0\0\x1f\x4e\0\x1f\x4e\0"s, false, 0, -1,
     kWebpTooLarge},
    // 48 megapixels pass the size check; the data then runs out.
    {"lossless_48_megapixels_cut", "RIFF\xea\x03\0\0WEBPVP8L\xde\x03\0\0\x2f\x3f\xdf\xdb\x05"s, false, 0, -1,
     kWebpTruncated},
    {"extended_without_picture", "RIFF\x16\0\0\0WEBPVP8X\x0a\0\0\0\0\0\0\0\x09\0\0\x09\0\0"s, false, 0, -1,
     kWebpNoPicture},
    {"lossy_cut", "", false, -60, -1, kWebpTruncated},
    {"lossless_cut", "", true, -40, -1, kWebpTruncated},
    {"lossy_bad_start_code", "", false, 0, 23, std::string(kWebpDamaged) + ": bitstream error"},
};

class WebpDamage : public ::testing::TestWithParam<DamageCase> {};

TEST_P(WebpDamage, IsRefusedWithItsCause) {
    NEED_WEBP_TOOLS();
    Folder dir;
    dir.Save("a.png", photofiles::PngRgba(64, 48, Pattern(64, 48, false), false));
    dir.Run("cwebp -q 80 a.png -o lossy.webp && cwebp -lossless a.png -o lossless.webp");
    const DamageCase& c = GetParam();
    Bytes file(c.file.begin(), c.file.end());
    if (c.file.empty()) file = dir.Load(c.lossless ? "lossless.webp" : "lossy.webp");
    if (c.keep != 0) file.resize(size_t(c.keep > 0 ? c.keep : long(file.size()) + c.keep));
    if (c.flip >= 0) file[size_t(c.flip)] ^= 0xFF;
    std::string message;
    try {
        auto reader = NewWebpReader();
        ReadAll(*reader, file);
    } catch (const EWebpError& e) {
        message = e.what();
    }
    EXPECT_EQ(message, GetParam().message);
}

INSTANTIATE_TEST_SUITE_P(Files, WebpDamage, ::testing::ValuesIn(kDamageCases),
                         [](const auto& info) { return std::string(info.param.name); });

constexpr int32_t kW = 48, kH = 36;

Bytes Write(const Pixels& pixels, const TWriteSettings& settings, const TPictureMetadata& metadata = {}) {
    TMemoryStream out;
    auto writer = NewWebpWriter();
    writer->Begin(kW, kH, metadata, settings, out);
    for (int32_t y = 0; y < kH; ++y) writer->WriteRow(pixels.data() + size_t(y) * kW);
    writer->End();
    return out.TakeBytes();
}

struct WriterCase {
    const char* name;
    bool sourceAlpha, metadata;
    TWriteSettings settings;
    int tolerance;  // the largest mean difference of a colour channel over opaque pixels
};

const WriterCase kWriterCases[] = {
    {"lossy_default_quality", false, false, {}, 4},
    {"lossy_alpha", true, false, {.quality = 90, .alpha = true}, 4},
    {"lossless", false, false, {.lossless = true}, 0},
    {"lossless_alpha", true, false, {.lossless = true, .alpha = true}, 0},
    {"lossless_alpha_dropped", true, false, {.lossless = true}, 0},
    {"metadata", true, true, {.lossless = true, .alpha = true}, 0},
};

class WebpWriter : public ::testing::TestWithParam<WriterCase> {};

TEST_P(WebpWriter, DwebpAndWebpmuxReadBackWhatWasWritten) {
    NEED_WEBP_TOOLS();
    const WriterCase& c = GetParam();
    Folder dir;
    TPictureMetadata m;
    if (c.metadata) m = {1, photofiles::ExifWithOrientation(1), {kXmp, {'<', 'b', '/', '>'}}, kIcc};
    Pixels want = Pattern(kW, kH, c.sourceAlpha);
    dir.Save("out.webp", Write(want, c.settings, m));
    const Pixels back = dir.Dwebp("out.webp");
    ASSERT_EQ(back.size(), want.size());
    if (!c.settings.alpha)
        for (uint32_t& p : want) p |= 0xFF000000u;
    if (c.tolerance == 0) {
        EXPECT_EQ(testsupport::FirstDifference(back, want, kW), "");
    }
    int64_t sum[3] = {}, opaque = 0;
    for (size_t i = 0; i < want.size(); ++i) {
        EXPECT_EQ(back[i] >> 24, want[i] >> 24) << "alpha of pixel " << i;
        opaque += want[i] >> 24 == 255;
        for (int k = 0; k < 3 && want[i] >> 24 == 255; ++k)
            sum[k] += std::abs(int(back[i] >> (8 * k) & 255) - int(want[i] >> (8 * k) & 255));
    }
    for (int64_t s : sum) EXPECT_LE(s, c.tolerance * opaque);
    dir.Run(
        "webpmux -get icc out.webp -o icc; webpmux -get exif out.webp -o exif; webpmux -get xmp out.webp -o xmp; true");
    EXPECT_EQ(dir.Load("icc"), m.icc);
    EXPECT_EQ(dir.Load("exif"), m.exif);
    EXPECT_EQ(dir.Load("xmp"), c.metadata ? kXmp : Bytes{});
}

INSTANTIATE_TEST_SUITE_P(Settings, WebpWriter, ::testing::ValuesIn(kWriterCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(WebpWriterOutput, IsTheSameBytesEachTimeAndQualityDecidesTheSize) {
    const Pixels source = Pattern(kW, kH, false);
    const Bytes byDefault = Write(source, {});
    EXPECT_EQ(Write(source, {}), byDefault);
    EXPECT_EQ(Write(source, {.quality = 80}), byDefault);
    EXPECT_LT(Write(source, {.quality = 20}).size(), Write(source, {.quality = 95}).size());
    TMemoryStream out;
    try {
        NewWebpWriter()->Begin(16384, 2, {}, {}, out);
        ADD_FAILURE() << "a side of 16384 pixels was accepted";
    } catch (const EWebpError& e) {
        EXPECT_STREQ(e.what(), kWebpTooLargeToWrite);
    }
}

}  // namespace
