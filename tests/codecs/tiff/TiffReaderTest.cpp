// TIFF files made at test time by ImageMagick and libtiff's tools, read by the
// reader and compared with what libtiff's tiff2rgba makes of the same file
// (read back here through libtiff's plain scanline calls).
#include "codecs/tiff/TiffFormat.h"
#include "tests/support/PixelDiff.h"

#include <gtest/gtest.h>
#include <tiffio.h>

#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

struct TRows : TRowTarget {
    std::vector<uint32_t> row, pixels;
    uint32_t* NextRow() override { return row.data(); }
    void Push() override { pixels.insert(pixels.end(), row.begin(), row.end()); }
};

struct TDecoded {
    int32_t width = 0, height = 0;
    std::vector<uint32_t> pixels;  // tiff2rgba: 0xAARRGGBB, colour premultiplied
};

// tiff2rgba's output: 8-bit RGBA, top row first, alpha associated.
TDecoded ReadRgbaTiff(const std::string& path) {
    TDecoded d;
    TIFF* tif = TIFFOpen(path.c_str(), "r");
    if (!tif) return d;
    uint32_t w = 0, h = 0;
    uint16_t spp = 0;
    TIFFGetField(tif, TIFFTAG_IMAGEWIDTH, &w);
    TIFFGetField(tif, TIFFTAG_IMAGELENGTH, &h);
    TIFFGetField(tif, TIFFTAG_SAMPLESPERPIXEL, &spp);
    std::vector<uint8_t> line(size_t(TIFFScanlineSize(tif)));
    for (uint32_t y = 0; y < h && spp == 4; ++y) {
        if (TIFFReadScanline(tif, line.data(), y, 0) < 0) break;
        for (uint32_t x = 0; x < w; ++x) {
            const uint8_t* p = &line[x * 4];
            d.pixels.push_back(uint32_t(p[3]) << 24 | uint32_t(p[0]) << 16 | uint32_t(p[1]) << 8 | p[2]);
        }
    }
    TIFFClose(tif);
    d.width = int32_t(w);
    d.height = int32_t(h);
    return d;
}

// Straight colour taken back to libtiff's associated form: (c * a + 127) / 255.
uint32_t Associated(uint32_t argb) {
    const uint32_t a = argb >> 24;
    uint32_t out = a << 24;
    for (int s = 0; s < 24; s += 8) out |= ((argb >> s & 255) * a + 127) / 255 << s;
    return out;
}

bool Shell(const std::string& command) { return std::system(command.c_str()) == 0; }

struct TFileCase {
    std::string name;
    // Makes in.tif (and ref.tif where tiff2rgba must read another file) from
    // src.png (opaque) or alpha.png.
    std::string make;
    bool alpha = false;
    int orientation = 1;  // ImageMagick writes the tag, as 1 unless told
};

class TiffFiles : public testing::TestWithParam<TFileCase> {
protected:
    static void SetUpTestSuite() {
        for (const char* tool : {"convert", "tiffcp", "tiffset", "tiff2rgba"})
            if (!Shell(std::string("command -v ") + tool + " >/dev/null")) missing_ = tool;
        dir_ = fs::temp_directory_path() / ("velmora-tiff-" + std::to_string(::getpid()));
        fs::create_directories(dir_);
        if (missing_.empty())
            Shell("cd " + dir_.string() +
                " && convert -seed 7 -size 37x23 plasma:fractal -depth 8 src.png"
                " && convert src.png \\( -size 37x23 gradient:white-black \\) -alpha off"
                " -compose copy_opacity -composite alpha.png"
                " && convert src.png -filter box -resize 1500x1100! big.png");
    }
    static void TearDownTestSuite() { fs::remove_all(dir_); }
    static inline fs::path dir_;
    static inline std::string missing_;
};

TEST_P(TiffFiles, ReadsWhatTiff2rgbaReads) {
    if (!missing_.empty()) GTEST_SKIP() << missing_ << " is not installed";
    const auto& c = GetParam();
    const fs::path work = dir_ / c.name;
    fs::create_directories(work);
    ASSERT_TRUE(Shell("cd " + work.string() + " && cp ../*.png . && " + c.make +
                    " && { [ -f ref.tif ] || cp in.tif ref.tif; } && tiff2rgba -c none ref.tif want.tif"));
    const TDecoded want = ReadRgbaTiff((work / "want.tif").string());
    ASSERT_GT(want.width, 0);

    TFileStream stream((work / "in.tif").string());
    auto reader = NewTiffReader();
    reader->ReadHeader(stream);
    ASSERT_EQ(reader->Width(), want.width);
    ASSERT_EQ(reader->Height(), want.height);
    EXPECT_EQ(reader->HasAlpha(), c.alpha);
    EXPECT_EQ(reader->Metadata().orientation, c.orientation);
    TRows rows;
    rows.row.resize(size_t(reader->Width()));
    reader->ReadRows(rows);
    std::vector<uint32_t> have = rows.pixels;
    if (c.alpha)
        for (uint32_t& p : have) p = Associated(p);
    EXPECT_EQ(testsupport::FirstDifference(have, want.pixels, want.width), "");
}

const TFileCase kFileCases[] = {
    {"Rgb8Uncompressed", "convert src.png -compress none in.tif"},
    {"Rgb8LzwStripsOf5", "convert src.png -compress lzw -define tiff:rows-per-strip=5 in.tif"},
    {"Rgb16Deflate", "convert src.png -depth 16 -compress zip in.tif"},
    {"Grey8PackBits", "convert src.png -colorspace gray -compress rle in.tif"},
    {"Grey16", "convert src.png -colorspace gray -depth 16 in.tif"},
    {"Bilevel1BitGroup4", "convert src.png -monochrome -compress group4 in.tif"},
    {"Palette", "convert src.png -colors 16 -type palette in.tif"},
    {"Cmyk", "convert src.png -colorspace cmyk in.tif"},
    {"PlanarSeparate", "convert src.png -interlace plane -compress lzw in.tif"},
    {"Tiles16Lzw", "convert src.png t.tif && tiffcp -t -w 16 -l 16 -c lzw t.tif in.tif"},
    {"JpegYCbCr", "convert src.png t.tif && tiffcp -c jpeg:75 -r 16 t.tif in.tif"},
    {"BigTiff", "convert src.png t.tif && tiffcp -8 -c zip t.tif in.tif"},
    {"AlphaUnassociated", "convert alpha.png -compress lzw in.tif", true},
    {"AlphaTiles", "convert alpha.png t.tif && tiffcp -t -w 16 -l 16 t.tif in.tif", true},
    {"FirstOfTwoPages", "convert src.png alpha.png in.tif && convert 'in.tif[0]' ref.tif"},
    {"OrientationRightTop", "convert src.png ref.tif && cp ref.tif in.tif && tiffset -s 274 6 in.tif", false, 6},
    {"OrientationBottomLeft", "convert src.png ref.tif && cp ref.tif in.tif && tiffset -s 274 4 in.tif", false, 4},
    // More rows than one band: bands of whole strips, and parts of one strip.
    {"BandsOfStripsOf7", "convert big.png -compress lzw -define tiff:rows-per-strip=7 in.tif"},
    {"OneStripLargerThanABand", "convert big.png -compress zip -define tiff:rows-per-strip=1100 in.tif"},
    {"JpegOneStripLargerThanABand", "convert big.png t.tif && tiffcp -c jpeg:75 -r 1104 t.tif in.tif"},
    {"Rgb16OneStripLargerThanABand", "convert big.png -depth 16 -compress lzw -define tiff:rows-per-strip=1100 in.tif"},
    {"AlphaOneStripLargerThanABand",
     "convert big.png -alpha set -channel A -fx 'i/w' -compress zip -define tiff:rows-per-strip=1100 in.tif", true},
    {"TilesAcrossBands", "convert big.png t.tif && tiffcp -t -w 64 -l 48 -c zip t.tif in.tif"},
};

INSTANTIATE_TEST_SUITE_P(Tiff, TiffFiles, testing::ValuesIn(kFileCases),
                         [](const auto& info) { return info.param.name; });

// A little-endian TIFF of one 8-bit grey strip: the IFD right after the
// header, the strip's bytes after the IFD.
std::vector<uint8_t> GreyTiff(uint32_t width, uint32_t height, uint16_t compression, uint32_t declaredBytes,
                              const std::vector<uint8_t>& data) {
    const uint16_t tags[][2] = {{256, 4}, {257, 4}, {258, 3}, {259, 3}, {262, 3},
                                {273, 4}, {277, 3}, {278, 4}, {279, 4}};
    const uint32_t values[] = {width, height, 8, compression, 1, 8 + 2 + 9 * 12 + 4, 1, height, declaredBytes};
    std::vector<uint8_t> b = {'I', 'I', 42, 0, 8, 0, 0, 0, 9, 0};
    auto put = [&b](uint32_t v, int n) {
        for (int i = 0; i < n; ++i) b.push_back(uint8_t(v >> (8 * i)));
    };
    for (size_t i = 0; i < 9; ++i) {
        put(tags[i][0], 2);
        put(tags[i][1], 2);
        put(1, 4);
        put(values[i], 4);
    }
    put(0, 4);
    b.insert(b.end(), data.begin(), data.end());
    return b;
}

struct TBadCase {
    std::string name;
    std::vector<uint8_t> bytes;
    bool failsInHeader;
    std::string message;  // the start of the exception's text
};

const TBadCase kBadCases[] = {
    {"NotTiff", {'G', 'I', 'F', '8', '9', 'a', 0, 0}, true, "not a TIFF file"},
    {"DirectoryPastTheEnd", {'I', 'I', 42, 0, 0xFF, 0xFF, 0, 0}, true, "the TIFF file is damaged: "},
    {"TenGigapixelsInATinyFile", GreyTiff(100000, 100000, 1, 1u << 30, {1, 2, 3}), true,
     "the picture is larger than 250 megapixels"},
    {"WiderThanARowMayBe", GreyTiff(300000, 2, 1, 600000, {1}), true, "the picture is wider than 262144 pixels"},
    {"StripCutShort", GreyTiff(16, 16, 1, 256, std::vector<uint8_t>(100, 7)), false,
     "the TIFF picture data is damaged: "},
    {"BrokenLzwStrip", GreyTiff(16, 16, 5, 64, std::vector<uint8_t>(64, 0xFF)), false,
     "the TIFF picture data is damaged: "},
};

class TiffBadFiles : public testing::TestWithParam<TBadCase> {};

TEST_P(TiffBadFiles, FailWithTheirCause) {
    const auto& c = GetParam();
    const auto start = std::chrono::steady_clock::now();
    TMemoryStream stream(c.bytes);
    auto reader = NewTiffReader();
    std::string message;
    bool inHeader = true;
    try {
        reader->ReadHeader(stream);
        inHeader = false;
        TRows rows;
        rows.row.resize(size_t(reader->Width()));
        reader->ReadRows(rows);
    } catch (const ETiffError& e) {
        message = e.what();
    }
    EXPECT_EQ(inHeader, c.failsInHeader) << message;
    EXPECT_EQ(message.substr(0, c.message.size()), c.message) << message;
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(1));
}

INSTANTIATE_TEST_SUITE_P(Tiff, TiffBadFiles, testing::ValuesIn(kBadCases),
                         [](const auto& info) { return info.param.name; });

TEST(IsTiff, KnowsTheFourSignatures) {
    using namespace std::string_literals;
    const std::pair<std::string, bool> heads[] = {{"II*\0"s, true},  {"MM\0*"s, true},  {"II+\0"s, true},
                                                  {"MM\0+"s, true},  {"II\0*"s, false}, {"MM*\0"s, false},
                                                  {"II*"s, false}, {"\x89PNG"s, false}};
    for (const auto& [head, want] : heads)
        EXPECT_EQ(IsTiff(reinterpret_cast<const uint8_t*>(head.data()), head.size()), want) << head;
}

}  // namespace

namespace {

// The profile (only an RGB one) and the XMP packet come back as libtiff wrote them.
TEST(TiffMetadata, KeepsAnRgbProfileAndTheXmpPacket) {
    const std::string path = (fs::temp_directory_path() / ("velmora-tiffmeta-" + std::to_string(::getpid()))).string();
    const std::string xmp = "<x:xmpmeta xmlns:x='adobe:ns:meta/'/>";
    for (const char* space : {"RGB ", "GRAY"}) {
        std::vector<uint8_t> icc(132, 0x5A);
        std::copy(space, space + 4, icc.begin() + 16);
        TIFF* out = TIFFOpen(path.c_str(), "w");
        ASSERT_TRUE(out);
        TIFFSetField(out, TIFFTAG_IMAGEWIDTH, 2);
        TIFFSetField(out, TIFFTAG_IMAGELENGTH, 1);
        TIFFSetField(out, TIFFTAG_BITSPERSAMPLE, 8);
        TIFFSetField(out, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_MINISBLACK);
        TIFFSetField(out, TIFFTAG_ICCPROFILE, uint32_t(icc.size()), icc.data());
        TIFFSetField(out, TIFFTAG_XMLPACKET, uint32_t(xmp.size()), xmp.data());
        uint8_t row[2] = {1, 2};
        TIFFWriteScanline(out, row, 0, 0);
        TIFFClose(out);
        TFileStream stream(path);
        auto reader = NewTiffReader();
        reader->ReadHeader(stream);
        EXPECT_EQ(reader->Metadata().icc, space[0] == 'R' ? icc : std::vector<uint8_t>()) << space;
        ASSERT_EQ(reader->Metadata().xmp.size(), 1u);
        EXPECT_EQ(std::string(reader->Metadata().xmp[0].begin(), reader->Metadata().xmp[0].end()), xmp);
        EXPECT_EQ(reader->Metadata().orientation, 0) << "no orientation tag";
    }
    fs::remove(path);
}

// The file may start further on in the stream: offsets count from there.
TEST(TiffStream, ReadsFromTheStreamsPosition) {
    auto bytes = GreyTiff(2, 2, 1, 4, {0x00, 0x40, 0x80, 0xFF});
    bytes.insert(bytes.begin(), {9, 9, 9, 9, 9});
    TMemoryStream stream(bytes);
    stream.SetPosition(5);
    auto reader = NewTiffReader();
    reader->ReadHeader(stream);
    TRows rows;
    rows.row.resize(2);
    reader->ReadRows(rows);
    EXPECT_EQ(rows.pixels, (std::vector<uint32_t>{0xFF000000u, 0xFF404040u, 0xFF808080u, 0xFFFFFFFFu}));
}

}  // namespace
