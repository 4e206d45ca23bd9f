// Loading a raster from BMP data: the 32-bit fast route, the route through
// the platform bitmap, where the pixel array begins, and the file edge.
#include "tests/support/BmpBuilder.h"
#include "codecs/bmp/BmpFile.h"
#include "platform/Exceptions.h"
#include "raster/Bitmap32.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <unistd.h>

using namespace bmptest;

namespace {

void LoadRaster(TBitmap32& raster, const Bytes& file) {
    TMemoryStream stream(file);
    raster.LoadFromStream(stream);
}

// A 3 x 2 picture of distinct 0xAARRGGBB values, alpha varied (some zero).
uint32_t Argb(int x, int y) { return uint32_t(x * 60 + y * 100) << 24 | uint32_t(0x102030 * (x + 1) + 0x050607 * y); }

BmpLayout ThirtyTwoBit(bool topDown, uint32_t headerSize = 40) {
    BmpLayout s = Shape(3, topDown ? -2 : 2, 32);
    s.headerSize = headerSize;
    s.pixels = PackRows(3, 2, 32, Argb, topDown);
    return s;
}

void ExpectArgb(const TBitmap32& raster) {
    ASSERT_EQ(raster.Width(), 3);
    ASSERT_EQ(raster.Height(), 2);
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 3; ++x) EXPECT_EQ(raster.Pixel(x, y), Argb(x, y)) << x << "," << y;
}

class BmpFastRoute : public ::testing::TestWithParam<std::tuple<bool, uint32_t>> {};

TEST_P(BmpFastRoute, FourthByteBecomesAlpha) {
    const auto [topDown, headerSize] = GetParam();
    TBitmap32 raster;
    LoadRaster(raster, BuildBmp(ThirtyTwoBit(topDown, headerSize)));
    ExpectArgb(raster);
}

// 108- and 124-byte headers: the pixels start at the offset the file header
// gives, not at byte 54.
INSTANTIATE_TEST_SUITE_P(All, BmpFastRoute, ::testing::Combine(::testing::Bool(), ::testing::Values(40u, 108u, 124u)));

TEST(BmpRasterLoad, AllZeroFourthBytesGiveATransparentRaster) {
    BmpLayout s = ThirtyTwoBit(false);
    s.pixels = PackRows(3, 2, 32, [](int x, int y) { return Argb(x, y) & 0xFFFFFF; });
    TBitmap32 raster;
    LoadRaster(raster, BuildBmp(s));
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 3; ++x) EXPECT_EQ(raster.Pixel(x, y), Argb(x, y) & 0xFFFFFF);
}

// Layouts around the same 3 x 2 picture that must still read as it.
struct ArgbLayout {
    const char* name;
    std::function<void(BmpLayout&)> change;
};

class BmpArgbLayouts : public ::testing::TestWithParam<ArgbLayout> {};

TEST_P(BmpArgbLayouts, StillReadTheSamePicture) {
    for (bool topDown : {false, true}) {
        BmpLayout s = ThirtyTwoBit(topDown);
        GetParam().change(s);
        TBitmap32 raster;
        LoadRaster(raster, BuildBmp(s));
        ExpectArgb(raster);
    }
}

ArgbLayout Offset(const char* name, uint32_t off) {
    return {name, [off](BmpLayout& s) {
                s.headerSize = 124;
                s.offBits = off;
            }};
}

INSTANTIATE_TEST_SUITE_P(BmpRasterLoad, BmpArgbLayouts,
                         ::testing::Values(
                             // A gap before the pixels is skipped.
                             ArgbLayout{"Gap", [](BmpLayout& s) { s.gap = Bytes(24, 0xEE); }},
                             // The colour table of a 32-bit file is not read as pixels, even when
                             // the file header's offset is wrong.
                             ArgbLayout{"ColourTable",
                                        [](BmpLayout& s) {
                                            s.clrUsed = 2;
                                            s.palette = {0xABCDEF, 0x123456};
                                        }},
                             ArgbLayout{"ColourTableOffsetZero",
                                        [](BmpLayout& s) {
                                            s.clrUsed = 2;
                                            s.palette = {0xABCDEF, 0x123456};
                                            s.offBits = 0;
                                        }},
                             // An offset outside the file falls back to the header's end.
                             Offset("Offset0", 0), Offset("Offset20", 20), Offset("Offset53", 53),
                             Offset("Offset100000", 100000), Offset("OffsetMax", 0xFFFFFFFFu)),
                         [](const ::testing::TestParamInfo<ArgbLayout>& info) { return std::string(info.param.name); });

TEST(BmpRasterLoad, PlatformRouteHonoursTheOffsetToo) {
    BmpLayout s = Shape(2, 1, 24);
    s.headerSize = 124;
    s.gap = Bytes(10, 0x77);
    s.pixels = {1, 2, 3, 4, 5, 6, 0, 0};
    TBitmap32 raster;
    LoadRaster(raster, BuildBmp(s));
    EXPECT_EQ(raster.Pixel(0, 0), 0xFF030201u);
    EXPECT_EQ(raster.Pixel(1, 0), 0xFF060504u);
}

TEST(BmpRasterLoad, PlatformRouteIsOpaque) {
    // 24-bit one pixel wide: rows of 3 bytes + 1 padding byte.
    BmpLayout s = Shape(1, 2, 24);
    s.pixels = {0x10, 0x20, 0x30, 0x00, 0x40, 0x50, 0x60, 0x00};
    TBitmap32 raster;
    LoadRaster(raster, BuildBmp(s));
    ASSERT_EQ(raster.Width(), 1);
    ASSERT_EQ(raster.Height(), 2);
    EXPECT_EQ(raster.Pixel(0, 1), 0xFF302010u);
    EXPECT_EQ(raster.Pixel(0, 0), 0xFF605040u);
}

TEST(BmpRasterLoad, ThirtyTwoBitFieldsAreOpaque) {
    BmpLayout s = ThirtyTwoBit(false, 124);
    s.compression = 3;
    s.masks = {0x00FF0000, 0x0000FF00, 0x000000FF, 0xFF000000};
    TBitmap32 raster;
    LoadRaster(raster, BuildBmp(s));
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 3; ++x) EXPECT_EQ(raster.Pixel(x, y), Argb(x, y) | 0xFF000000u);
}

TEST(BmpRasterLoad, CoreHeaderNeverTakesTheFastRoute) {
    // A core-header 24-bit file whose colour bytes happen to look like
    // "planes 1, 32 bits, no compression" at offsets 26..33.
    BmpLayout s = Shape(4, 3, 24);
    s.headerSize = 12;
    s.pixels = {1, 0, 32, 0, 0, 0, 0, 0, 9, 9, 9, 9};  // the bottom row
    s.pixels.resize(36, 5);
    TBitmap32 raster;
    LoadRaster(raster, BuildBmp(s));
    ASSERT_EQ(raster.Width(), 4);
    ASSERT_EQ(raster.Height(), 3);
    EXPECT_EQ(raster.Pixel(0, 2), 0xFF200001u);
    EXPECT_EQ(raster.Pixel(3, 2), 0xFF090909u);
    EXPECT_EQ(raster.Pixel(0, 0), 0xFF050505u);
}

TEST(BmpRasterLoad, FastRouteRefusals) {
    struct Case {
        int32_t width, height;
    };
    for (Case c : {Case{0, 2}, Case{-3, 2}, Case{3, 0}, Case{INT32_MAX, 1}, Case{1 << 15, (1 << 14) + 1},
                   Case{3, INT32_MIN}, Case{65536, -65536}}) {
        BmpLayout s = ThirtyTwoBit(false);
        s.width = c.width;
        s.height = c.height;
        TBitmap32 raster;
        try {
            LoadRaster(raster, BuildBmp(s));
            ADD_FAILURE() << "no error for " << c.width << " x " << c.height;
        } catch (const EInvalidGraphic& e) {
            EXPECT_STREQ(e.what(), "Bitmap image is not valid");
        }
    }
}

TEST(BmpRasterLoad, FastRouteShortPixelArrayIsAReadErrorBeforeAllocating) {
    // 20000 x 20000 claimed, 24 bytes present.
    BmpLayout s = ThirtyTwoBit(false);
    s.width = 20000;
    s.height = 20000;
    TBitmap32 raster;
    EXPECT_THROW(LoadRaster(raster, BuildBmp(s)), EReadError);
    EXPECT_TRUE(raster.Empty());
    // One byte missing.
    Bytes file = BuildBmp(ThirtyTwoBit(true));
    file.pop_back();
    EXPECT_THROW(LoadRaster(raster, file), EReadError);
}

TEST(BmpRasterLoad, ShortHeaderIsAReadError) {
    Bytes file = BuildBmp(ThirtyTwoBit(false));
    file.resize(53);
    TBitmap32 raster;
    EXPECT_THROW(LoadRaster(raster, file), EReadError);
}

TEST(BmpRasterLoad, StreamNotAtItsStart) {
    Bytes data(7, 0x42);
    const Bytes file = BuildBmp(ThirtyTwoBit(false, 108));
    data.insert(data.end(), file.begin(), file.end());
    TMemoryStream stream(data);
    stream.SetPosition(7);
    TBitmap32 raster;
    raster.LoadFromStream(stream);
    ExpectArgb(raster);
}

class BmpFileEdge : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = std::filesystem::temp_directory_path() / ("velmora_bmp_" + std::to_string(::getpid()));
        std::filesystem::create_directories(dir_);
    }
    void TearDown() override { std::filesystem::remove_all(dir_); }
    std::string Write(const std::string& name, const Bytes& bytes) {
        const std::string path = (dir_ / name).string();
        std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
        return path;
    }
    std::filesystem::path dir_;
};

TEST_F(BmpFileEdge, LoadFromFileReadsBothRoutes) {
    TBitmap32 raster;
    raster.LoadFromFile(Write("a.bmp", BuildBmp(ThirtyTwoBit(false))));
    ExpectArgb(raster);
    BmpLayout s;
    s.pixels = {1, 2, 3, 0};
    raster.LoadFromFile(Write("b.BMP", BuildBmp(s)));
    ASSERT_EQ(raster.Width(), 1);
    EXPECT_EQ(raster.Pixel(0, 0), 0xFF030201u);
}

TEST_F(BmpFileEdge, FileOf53BytesIsAReadError) {
    Bytes file = BuildBmp(ThirtyTwoBit(false));
    file.resize(53);
    TBitmap32 raster;
    try {
        raster.LoadFromFile(Write("short.bmp", file));
        FAIL();
    } catch (const EReadError& e) {
        EXPECT_STREQ(e.what(), "Stream read error");
    }
}

TEST_F(BmpFileEdge, PngNamedBmpIsNotAValidBitmap) {
    Bytes png = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
    png.resize(80, 0);
    TBitmap32 raster;
    try {
        raster.LoadFromFile(Write("photo.bmp", png));
        FAIL();
    } catch (const EInvalidGraphic& e) {
        EXPECT_STREQ(e.what(), "Bitmap image is not valid");
    }
}

TEST_F(BmpFileEdge, MissingFileCannotBeOpened) {
    TBitmap32 raster;
    EXPECT_THROW(raster.LoadFromFile((dir_ / "none.bmp").string()), EFOpenError);
}

}  // namespace
