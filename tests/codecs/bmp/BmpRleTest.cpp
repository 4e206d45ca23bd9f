// Run-length pictures, encoded by hand: runs, end of line, delta, absolute
// runs with their word padding, end of bitmap, and data that misbehaves.
#include "tests/support/BmpBuilder.h"
#include "codecs/bmp/BmpFile.h"
#include "platform/Exceptions.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace bmptest;

namespace {

// Palette: index 0 is red so that "never written" (black) and "index 0"
// cannot be confused.
constexpr uint32_t R = 0xFF0000, G = 0x00FF00, B = 0x0000FF, W = 0xFFFFFF, K = 0x000000;
const std::vector<uint32_t> kPalette = {R, G, B, W, 0x112233, 0x445566};

TBitmap LoadRle(int width, int height, int bpp, const Bytes& data, uint32_t sizeImage = 0) {
    BmpLayout s = Shape(width, height, uint16_t(bpp));
    s.compression = bpp == 8 ? 1 : 2;
    s.clrUsed = uint32_t(kPalette.size());
    s.palette = kPalette;
    s.pixels = data;
    s.sizeImage = sizeImage == 0 ? uint32_t(data.size()) : sizeImage;
    TMemoryStream stream(BuildBmp(s));
    TBitmap b;
    LoadBmp(b, stream);
    return b;
}

// Rows given top row first, as 0x00RRGGBB.
void ExpectPicture(const TBitmap& b, const std::vector<std::vector<uint32_t>>& rows) {
    ASSERT_EQ(b.Height(), int32_t(rows.size()));
    for (size_t y = 0; y < rows.size(); ++y) {
        ASSERT_EQ(b.Width(), int32_t(rows[y].size()));
        for (size_t x = 0; x < rows[y].size(); ++x)
            EXPECT_EQ(b.Pixel(int32_t(x), int32_t(y)), 0xFF000000u | rows[y][x]) << "at " << x << "," << y;
    }
}

TEST(BmpRle8, RunsEndOfLineDeltaAbsoluteAndEnd) {
    const Bytes data = {
        0x03, 0x01, 0x00, 0x00,              // bottom row: 3 x green, end of line
        0x00, 0x03, 0x02, 0x03, 0x00, 0x00,  // middle row: absolute blue white red + pad byte
        0x01, 0x02, 0x00, 0x00,              //   one blue, end of line
        0x00, 0x02, 0x01, 0x00,              // top row: delta right 1
        0x01, 0x03,                          //   one white
        0x00, 0x01,                          // end of bitmap
        0x04, 0x01,                          // never read
    };
    const TBitmap b = LoadRle(4, 3, 8, data);
    EXPECT_EQ(b.PixelFormat(), TPixelFormat::pfDevice);
    ExpectPicture(b, {{K, W, K, K}, {B, W, R, B}, {G, G, G, K}});
}

TEST(BmpRle8, DeltaMovesUpAndAcross) {
    const Bytes data = {
        0x00, 0x02, 0x02, 0x01,  // delta: right 2, up 1 -> (2, row 1 from the bottom)
        0x01, 0x03,              // white
        0x00, 0x02, 0x00, 0x01,  // delta: up 1 -> (3, row 2)
        0x01, 0x02,              // blue
        0x00, 0x01,
    };
    ExpectPicture(LoadRle(4, 3, 8, data), {{K, K, K, B}, {K, K, W, K}, {K, K, K, K}});
}

TEST(BmpRle8, AbsoluteRunWithEvenCountHasNoPadding) {
    const Bytes data = {0x00, 0x04, 0x00, 0x01, 0x02, 0x03, 0x00, 0x00, 0x02, 0x04, 0x00, 0x01};
    ExpectPicture(LoadRle(4, 2, 8, data), {{0x112233, 0x112233, K, K}, {R, G, B, W}});
}

TEST(BmpRle8, RunsPastTheRowEndAreClipped) {
    const Bytes data = {
        0xFF, 0x01,              // 255 greens into a 3-pixel row
        0x00, 0x05, 3, 3, 3, 3, 3, 0x00,  // absolute run, also past the end
        0x00, 0x00,              // end of line
        0x02, 0x02, 0x00, 0x01,
    };
    ExpectPicture(LoadRle(3, 2, 8, data), {{B, B, K}, {G, G, G}});
}

TEST(BmpRle8, DataBeyondTheTopIsIgnored) {
    const Bytes data = {
        0x02, 0x03, 0x00, 0x00,  // bottom row
        0x02, 0x03, 0x00, 0x00,  // top row
        0x02, 0x01, 0x00, 0x00,  // a third row that does not exist
        0x00, 0x02, 0x00, 0xFF,  // delta far above
        0x02, 0x01,
    };
    ExpectPicture(LoadRle(2, 2, 8, data), {{W, W}, {W, W}});
}

TEST(BmpRle8, DeltaFarPastTheRowIsHarmless) {
    const Bytes data = {0x00, 0x02, 0xFF, 0x00, 0x05, 0x01, 0x00, 0x00, 0x01, 0x02};
    ExpectPicture(LoadRle(2, 2, 8, data), {{B, K}, {K, K}});
}

TEST(BmpRle8, TruncatedDataKeepsWhatWasDecoded) {
    // Cut inside an absolute run: the pixels present are drawn, then stop.
    const Bytes data = {0x01, 0x01, 0x00, 0x05, 0x02, 0x03};
    ExpectPicture(LoadRle(6, 1, 8, data), {{G, B, W, K, K, K}});
    EXPECT_TRUE(LoadRle(6, 1, 8, data).ShortData);
    // Ended by end of bitmap, or by the end of the last line: complete.
    EXPECT_FALSE(LoadRle(6, 2, 8, {0x01, 0x01, 0x00, 0x01}).ShortData);
    EXPECT_FALSE(LoadRle(2, 2, 8, {0x02, 0x01, 0x00, 0x00, 0x02, 0x02, 0x00, 0x00}).ShortData);
    // Cut inside a delta and after a lone count byte.
    ExpectPicture(LoadRle(2, 1, 8, {0x01, 0x03, 0x00, 0x02, 0x01}), {{W, K}});
    ExpectPicture(LoadRle(2, 1, 8, {0x01, 0x03, 0x02}), {{W, K}});
}

TEST(BmpRle8, IndexPastTheTableIsBlack) {
    ExpectPicture(LoadRle(3, 1, 8, {0x01, 0x01, 0x02, 0xC8, 0x00, 0x01}), {{G, K, K}});
}

TEST(BmpRle8, SizeImageLimitsTheData) {
    // Only the first 2 bytes belong to the picture.
    const Bytes data = {0x01, 0x01, 0x00, 0x01, 0x01, 0x02};
    ExpectPicture(LoadRle(2, 1, 8, data, 2), {{G, K}});
}

TEST(BmpRle8, NoSizeImageReadsToTheEndOfTheFile) {
    // The stream is longer than the unpacked picture (2 x 1 = 4 bytes with
    // padding): it must still be decoded to its end.
    BmpLayout s = Shape(2, 1, 8);
    s.compression = 1;
    s.clrUsed = uint32_t(kPalette.size());
    s.palette = kPalette;
    s.pixels = {0x00, 0x02, 0x00, 0x00, 0x01, 0x02, 0x01, 0x03, 0x00, 0x01};  // delta 0,0; blue; white
    TMemoryStream stream(BuildBmp(s));
    TBitmap b;
    LoadBmp(b, stream);
    ExpectPicture(b, {{B, W}});
}

TEST(BmpRle4, RunsAlternateNibbles) {
    const Bytes data = {
        0x05, 0x12, 0x00, 0x00,              // bottom: 1 2 1 2 1
        0x00, 0x03, 0x34, 0x50, 0x02, 0x55,  // top: absolute 3 4 5 (two bytes: no pad), then 5 5
        0x00, 0x01,
    };
    const TBitmap b = LoadRle(5, 2, 4, data);
    EXPECT_EQ(b.PixelFormat(), TPixelFormat::pfDevice);
    ExpectPicture(b, {{W, 0x112233, 0x445566, 0x445566, 0x445566}, {G, B, G, B, G}});
}

TEST(BmpRle4, AbsoluteRunPadsToWholeWords) {
    // 5 nibbles take 3 bytes, padded to 4; 6 nibbles take 3 bytes too.
    const Bytes data = {0x00, 0x05, 0x01, 0x23, 0x40, 0x00, 0x00, 0x06, 0x53, 0x12, 0x30, 0x00, 0x01, 0x11, 0x00, 0x01};
    ExpectPicture(LoadRle(12, 1, 4, data), {{R, G, B, W, 0x112233, 0x445566, W, G, B, W, R, G}});
}

TEST(BmpRle4, DeltaAndEndOfLine) {
    const Bytes data = {0x00, 0x02, 0x01, 0x01, 0x02, 0x33, 0x00, 0x00, 0x01, 0x20, 0x00, 0x01};
    ExpectPicture(LoadRle(3, 3, 4, data), {{B, K, K}, {K, W, W}, {K, K, K}});
}

TEST(BmpRle4, OddRunClippedAtRowEnd) {
    ExpectPicture(LoadRle(3, 1, 4, {0x07, 0x12, 0x00, 0x01}), {{G, B, G}});
}

}  // namespace
