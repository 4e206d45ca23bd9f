// Hostile headers and damaged files: oversized colour tables, pixel-array
// sizes and offsets that lie, and a deterministic sweep that flips every byte
// and truncates at every length of a few valid files. The only outcomes
// allowed are a picture or one of our exceptions.
#include "tests/support/BmpBuilder.h"
#include "codecs/bmp/BmpFile.h"
#include "platform/Exceptions.h"
#include "raster/Bitmap32.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace bmptest;

namespace {

TBitmap Load(const Bytes& file) {
    TMemoryStream stream(file);
    TBitmap bitmap;
    LoadBmp(bitmap, stream);
    return bitmap;
}

uint32_t Grey(int i) { return uint32_t(i) * 0x010101u; }

TEST(BmpFaults, TableOfMoreThan256EntriesKeepsTheFirst256) {
    // 300 entries: 0..255 grey ramp, then 44 red entries that must be skipped
    // without overrunning the table; the pixels follow all 300.
    BmpLayout s = Shape(4, 1, 8);
    s.clrUsed = 300;
    for (int i = 0; i < 300; ++i) s.palette.push_back(i < 256 ? Grey(i) : 0xFF0000);
    s.pixels = {0, 7, 200, 255};
    for (bool trustOffset : {true, false}) {
        if (!trustOffset) s.offBits = 0;
        const TBitmap b = Load(BuildBmp(s));
        ASSERT_EQ(b.Palette.size(), 256u);
        EXPECT_EQ(b.Pixel(0, 0), 0xFF000000u);
        EXPECT_EQ(b.Pixel(1, 0), 0xFF000000u | Grey(7));
        EXPECT_EQ(b.Pixel(2, 0), 0xFF000000u | Grey(200));
        EXPECT_EQ(b.Pixel(3, 0), 0xFF000000u | Grey(255));
    }
}

TEST(BmpFaults, TrueColourFileWithLargeTableIsValid) {
    BmpLayout s = Shape(2, 1, 24);
    s.clrUsed = 1000;
    s.palette = std::vector<uint32_t>(1000, 0x00FF00);
    s.pixels = {1, 2, 3, 4, 5, 6, 0, 0};
    const TBitmap b = Load(BuildBmp(s));
    EXPECT_EQ(b.Pixel(0, 0), 0xFF030201u);
    EXPECT_EQ(b.Pixel(1, 0), 0xFF060504u);
}

TEST(BmpFaults, IndexedPixelsStartAtTheFileOffset) {
    BmpLayout s = Shape(3, 1, 4);
    for (int i = 0; i < 16; ++i) s.palette.push_back(Grey(i * 17));
    s.gap = Bytes(6, 0x11);  // would read as indices 1, 1, 1
    s.pixels = {0x5A, 0xF0, 0, 0};
    const TBitmap b = Load(BuildBmp(s));
    EXPECT_EQ(b.Pixel(0, 0), 0xFF000000u | Grey(5 * 17));
    EXPECT_EQ(b.Pixel(1, 0), 0xFF000000u | Grey(10 * 17));
    EXPECT_EQ(b.Pixel(2, 0), 0xFFFFFFFFu);
}

TEST(BmpFaults, OffsetIntoTheTableIsNotTrusted) {
    BmpLayout s = Shape(2, 1, 8);
    s.clrUsed = 4;
    s.palette = {0x000000, 0x111111, 0x222222, 0x333333};
    s.pixels = {3, 2, 0, 0};
    s.offBits = 14 + 40 + 8;  // inside the table
    const TBitmap b = Load(BuildBmp(s));
    EXPECT_EQ(b.Pixel(0, 0), 0xFF333333u);
    EXPECT_EQ(b.Pixel(1, 0), 0xFF222222u);
}

TEST(BmpFaults, BitFieldImageSizeLargerThanThePictureIsClipped) {
    // A stated pixel-array size far beyond the picture, with more data in the
    // file than the picture holds: only the picture's bytes are used.
    for (uint16_t bpp : {uint16_t(16), uint16_t(32)}) {
        for (const std::vector<uint32_t>& masks :
             {std::vector<uint32_t>{0xF800, 0x07E0, 0x001F}, std::vector<uint32_t>{0x7C00, 0x03E0, 0x001F}}) {
            BmpLayout s = Shape(3, 2, bpp);
            s.compression = 3;
            s.masks = masks;
            s.sizeImage = 0xFFFFFFF0u;
            s.pixels = PackRows(3, 2, bpp, [&](int x, int y) { return x + y == 0 ? masks[0] : masks[2]; });
            s.pixels.resize(s.pixels.size() + 4096, 0xFF);
            const TBitmap b = Load(BuildBmp(s));
            EXPECT_EQ(b.Pixel(0, 0), 0xFFFF0000u);
            EXPECT_EQ(b.Pixel(2, 1), 0xFF0000FFu);
        }
    }
}

TEST(BmpFaults, BitFieldImageSizeSmallerThanThePictureLeavesTheRestBlack) {
    BmpLayout s = Shape(1, 2, 16);
    s.compression = 3;
    s.masks = {0x0F00, 0x00F0, 0x000F};
    s.sizeImage = 4;  // the bottom row only
    s.pixels = {0xFF, 0x0F, 0, 0, 0xFF, 0x0F, 0, 0};
    const TBitmap b = Load(BuildBmp(s));
    EXPECT_EQ(b.Pixel(0, 1), 0xFFFFFFFFu);
    EXPECT_EQ(b.Pixel(0, 0), 0xFF000000u);
}

TEST(BmpFaults, UncompressedImageSizeIsRecomputed) {
    BmpLayout s = Shape(1, 2, 24);
    s.sizeImage = 3;  // wrong: compression 0 always uses the row size
    s.pixels = {1, 1, 1, 0, 2, 2, 2, 0};
    const TBitmap b = Load(BuildBmp(s));
    EXPECT_EQ(b.Pixel(0, 0), 0xFF020202u);
}

// ---------------------------------------------------------------------------
// The sweep.

// Decodes through the platform reader and through the raster; records a
// failure if anything but a picture or one of our exceptions comes out.
void Survives(const Bytes& file, const std::string& what) {
    try {
        TMemoryStream stream(file);
        TBitmap bitmap;
        LoadBmp(bitmap, stream);
        if (!file.empty() && (bitmap.Width() <= 0 || bitmap.Height() <= 0))
            ADD_FAILURE() << what << ": empty picture reported as success";
    } catch (const Exception&) {
    } catch (const std::exception& e) {
        ADD_FAILURE() << what << ": foreign exception " << e.what();
    }
    try {
        TMemoryStream stream(file);
        TBitmap32 raster;
        raster.LoadFromStream(stream);
        if (raster.Empty()) ADD_FAILURE() << what << ": empty raster reported as success";
    } catch (const Exception&) {
    } catch (const std::exception& e) {
        ADD_FAILURE() << what << ": foreign exception " << e.what();
    }
}

struct SweepCase {
    const char* name;
    Bytes file;
};

class BmpSweep : public ::testing::TestWithParam<SweepCase> {};

TEST_P(BmpSweep, FlippedBytes) {
    const Bytes& original = GetParam().file;
    for (size_t i = 0; i < original.size(); ++i) {
        // Every byte inverted; header bytes also with their lowest bit flipped.
        for (uint8_t mask : {uint8_t(0xFF), uint8_t(0x01)}) {
            if (mask != 0xFF && i >= 160) break;
            Bytes f = original;
            f[i] ^= mask;
            Survives(f, "byte " + std::to_string(i) + " ^ " + std::to_string(mask));
            if (::testing::Test::HasFailure()) return;
        }
    }
}

TEST_P(BmpSweep, Truncated) {
    const Bytes& original = GetParam().file;
    for (size_t n = 0; n < original.size(); ++n) {
        Survives(Bytes(original.begin(), original.begin() + std::ptrdiff_t(n)), "length " + std::to_string(n));
        if (::testing::Test::HasFailure()) return;
    }
}

// Every picture is at least 33 x 33, so that a damaged high byte of a size
// field gives either a modest picture or one past the pixel limit.
std::vector<SweepCase> SweepFiles() {
    std::vector<SweepCase> out;
    auto gradient = [](int x, int y) { return uint32_t(x * 3 + y * 5); };
    {
        BmpLayout s = Shape(40, 36, 8);
        s.clrUsed = 40;
        for (int i = 0; i < 40; ++i) s.palette.push_back(Grey(i * 6));
        s.pixels = PackRows(40, 36, 8, gradient);
        out.push_back({"Indexed8", BuildBmp(s)});
    }
    {
        BmpLayout s = Shape(41, 34, 4);
        s.headerSize = 12;
        for (int i = 0; i < 16; ++i) s.palette.push_back(Grey(i * 17));
        s.pixels = PackRows(41, 34, 4, [](int x, int y) { return uint32_t(x + y) & 15; });
        out.push_back({"Core4", BuildBmp(s)});
    }
    {
        BmpLayout s = Shape(43, -35, 1);
        s.palette = {0x000000, 0xFFFFFF};
        s.pixels = PackRows(43, 35, 1, [](int x, int y) { return uint32_t(x + y) & 1; }, true);
        out.push_back({"TopDown1", BuildBmp(s)});
    }
    {
        BmpLayout s = Shape(40, 36, 8);
        s.compression = 1;
        s.palette = {0xFF0000, 0x00FF00, 0x0000FF, 0xFFFFFF};
        s.clrUsed = 4;
        s.pixels = {0x03, 0x01, 0x00, 0x03, 0x02, 0x03, 0x00, 0x00, 0x00, 0x00, 0x00, 0x02, 0x02, 0x01,
                    0x02, 0x03, 0x00, 0x00, 0x06, 0x02, 0x00, 0x01};
        s.sizeImage = uint32_t(s.pixels.size());
        out.push_back({"Rle8", BuildBmp(s)});
    }
    {
        BmpLayout s = Shape(37, 33, 4);
        s.compression = 2;
        s.palette = {0xFF0000, 0x00FF00, 0x0000FF, 0xFFFFFF};
        s.clrUsed = 4;
        s.pixels = {0x07, 0x12, 0x00, 0x00, 0x00, 0x05, 0x01, 0x23, 0x10, 0x00,
                    0x00, 0x02, 0x01, 0x01, 0x02, 0x33, 0x00, 0x01};
        out.push_back({"Rle4", BuildBmp(s)});
    }
    {
        BmpLayout s = Shape(35, 33, 16);
        s.compression = 3;
        s.masks = {0xF800, 0x07E0, 0x001F};
        s.pixels = PackRows(35, 33, 16, [](int x, int y) { return uint32_t(x * 0x1234 + y * 0x777) & 0xFFFF; });
        out.push_back({"Fields565", BuildBmp(s)});
    }
    {
        BmpLayout s = Shape(34, 33, 32);
        s.headerSize = 124;
        s.compression = 3;
        s.masks = {0x3FF00000, 0x000FFC00, 0x000003FF, 0xC0000000};
        s.pixels = PackRows(34, 33, 32, [](int x, int y) { return uint32_t(x) * 0x12345677u + uint32_t(y) * 0x0FEDCBA9u; });
        out.push_back({"Fields32V5", BuildBmp(s)});
    }
    {
        BmpLayout s = Shape(34, 33, 32);
        s.headerSize = 108;
        s.gap = Bytes(8, 0xAB);
        s.pixels = PackRows(34, 33, 32, [](int x, int y) { return uint32_t(x) * 0x01020304u + uint32_t(y) * 0x40302010u; });
        out.push_back({"Fast32V4", BuildBmp(s)});
    }
    {
        BmpLayout s = Shape(33, 34, 24);
        s.clrUsed = 2;
        s.palette = {0x123456, 0x654321};
        s.pixels = PackRows(33, 34, 24, [](int x, int y) { return uint32_t(x * 0x102030 + y * 0x030201); });
        out.push_back({"TrueColour24", BuildBmp(s)});
    }
    for (const char* name : {"pal8rle", "pal4rle", "pal8os2"}) {
        std::string id = name;
        out.push_back({name, velmora::ReadWholeFile(std::string(VELMORA_TEST_DATA) + "/bmpsuite/g/" + id + ".bmp")});
    }
    return out;
}

INSTANTIATE_TEST_SUITE_P(Files, BmpSweep, ::testing::ValuesIn(SweepFiles()),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
