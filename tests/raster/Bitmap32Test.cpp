// The raster itself: sizing, filling, and the exchanges with pictures and
// platform bitmaps.
#include "TestRaster.h"
#include "tests/support/BitmapBuilder.h"

#include "platform/Bitmap.h"
#include "platform/Exceptions.h"
#include "raster/Bitmap32.h"
#include "raster/NearestResampler.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

TEST(RasterBitmap32Size, NegativeSideBecomesZeroAndLeavesNoBlock) {
    TBitmap32 b;
    EXPECT_TRUE(b.SetSize(-5, 10));
    EXPECT_EQ(b.Width(), 0);
    EXPECT_EQ(b.Height(), 10);
    EXPECT_TRUE(b.Empty());
    EXPECT_EQ(b.Bits(), nullptr);
}

TEST(RasterBitmap32Size, SameSizeReturnsFalseAndKeepsPixels) {
    TBitmap32 b;
    ASSERT_TRUE(b.SetSize(3, 2));
    b.Pixel(2, 1) = 0x12345678u;
    EXPECT_FALSE(b.SetSize(3, 2));
    EXPECT_EQ(b.Pixel(2, 1), 0x12345678u);
    EXPECT_FALSE(b.SetSize(3, 2));  // negative sides are normalised before the comparison
    b.SetSize(0, 4);
    EXPECT_FALSE(b.SetSize(-1, 4));
}

TEST(RasterBitmap32Size, EveryResizeZeroesPixelsAndResetsClip) {
    TBitmap32 b;
    for (auto [w, h] : {std::pair{4, 3}, {7, 1}, {1, 9}, {4, 3}}) {
        if (!b.Empty()) {
            b.SetClipRect(TRect(1, 0, 2, 1));
            b.Clear(0xFFFFFFFFu);
        }
        ASSERT_TRUE(b.SetSize(w, h));
        EXPECT_EQ(b.ClipRect(), b.BoundsRect());
        EXPECT_FALSE(b.Clipping());
        for (int32_t y = 0; y < h; ++y)
            for (int32_t x = 0; x < w; ++x) ASSERT_EQ(b.Pixel(x, y), 0u) << x << "," << y;
    }
}

TEST(RasterBitmap32Clear, FillsOnlyTheClipRectangle) {
    TBitmap32 b;
    b.SetSize(4, 3);
    b.Clear(0x11111111u);
    b.SetClipRect(TRect(1, 1, 3, 5));  // cut to the raster
    EXPECT_EQ(b.ClipRect(), TRect(1, 1, 3, 3));
    EXPECT_TRUE(b.Clipping());
    b.Clear(0xAABBCCDDu);
    for (int32_t y = 0; y < 3; ++y)
        for (int32_t x = 0; x < 4; ++x) {
            const bool inside = x >= 1 && x < 3 && y >= 1;
            EXPECT_EQ(b.Pixel(x, y), inside ? 0xAABBCCDDu : 0x11111111u) << x << "," << y;
        }
    b.ResetClipRect();
    b.Clear();
    EXPECT_EQ(b.Pixel(0, 0), 0xFF000000u);  // the default fill is opaque black
}

TEST(RasterBitmap32ResetAlpha, WritesOnlyTheAlphaByteEverywhere) {
    TBitmap32 b;
    b.SetSize(19, 3);  // not a multiple of the 16-pixel step
    for (int32_t i = 0; i < 19 * 3; ++i) b.Bits()[i] = 0x00010203u * uint32_t(i);
    b.SetClipRect(TRect(0, 0, 1, 1));  // not consulted
    b.ResetAlpha(0x7F);
    for (int32_t i = 0; i < 19 * 3; ++i) ASSERT_EQ(b.Bits()[i], (0x00010203u * uint32_t(i) & 0x00FFFFFFu) | 0x7F000000u);
}

// Blue 10 x + y, green 20 + y, red 30 + x; the fourth byte of 32-bit pixels
// x * 50 + y.
TBitmap MakePlatformBitmap(TPixelFormat pf, int32_t w, int32_t h) {
    return testsupport::MakeBitmap(w, h, pf, [](int x, int y) {
        return uint32_t(uint8_t(x * 50 + y)) << 24 | uint32_t(uint8_t(30 + x)) << 16 | uint32_t(uint8_t(20 + y)) << 8 |
               uint8_t(10 * x + y);
    });
}

TEST(RasterBitmap32Assign, TwentyFourBitBitmapGivesOpaquePixels) {
    TBitmap bmp = MakePlatformBitmap(TPixelFormat::pf24bit, 3, 2);
    TBitmap32 b;
    b.Assign(bmp);
    ASSERT_EQ(b.Width(), 3);
    ASSERT_EQ(b.Height(), 2);
    for (int32_t y = 0; y < 2; ++y)
        for (int32_t x = 0; x < 3; ++x)
            EXPECT_EQ(b.Pixel(x, y), Color32(uint8_t(30 + x), uint8_t(20 + y), uint8_t(10 * x + y), 255));
}

TEST(RasterBitmap32Assign, ThirtyTwoBitBitmapKeepsItsFourthByteAsAlpha) {
    TBitmap bmp = MakePlatformBitmap(TPixelFormat::pf32bit, 3, 2);
    TBitmap32 b;
    b.Assign(bmp);
    for (int32_t y = 0; y < 2; ++y)
        for (int32_t x = 0; x < 3; ++x)
            EXPECT_EQ(b.Pixel(x, y),
                      Color32(uint8_t(30 + x), uint8_t(20 + y), uint8_t(10 * x + y), uint8_t(x * 50 + y)));
}

TEST(RasterBitmap32Assign, TransparentColourOfABitmapGetsAlphaZero) {
    TBitmap bmp = MakePlatformBitmap(TPixelFormat::pf24bit, 3, 2);
    bmp.SetTransparent(true);
    bmp.TransparentColor = 0x000B151Fu;  // 0x00BBGGRR: pixel (1, 1) is red 31, green 21, blue 11
    TBitmap32 b;
    b.Assign(bmp);
    EXPECT_EQ(b.Pixel(1, 1), 0x001F150Bu);
    EXPECT_EQ(b.Pixel(0, 1), 0xFF1E1501u);
}

// A picture that records how it is asked to draw.
class TProbePicture : public TGraphic {
public:
    TProbePicture(int32_t w, int32_t h) : w_(w), h_(h) {}
    int32_t Width() override { return w_; }
    int32_t Height() override { return h_; }
    bool Empty() override { return w_ == 0 || h_ == 0; }
    void Draw(TCanvas& canvas, const TRect& rect) override {
        ++draws;
        drawnRect = rect;
        backgroundSeen = canvas.Row(0)[0];
        canvas.Row(0)[0] = 0x80FF0000u;  // half-transparent red, alpha left as is
    }
    int draws = 0;
    TRect drawnRect;
    TColor32 backgroundSeen = 0;

private:
    int32_t w_, h_;
};

TEST(RasterBitmap32Assign, PictureDrawsOverWhiteAndAlphaIsReset) {
    TProbePicture pic(3, 2);
    TBitmap32 b;
    b.Assign(static_cast<TGraphic&>(pic));
    EXPECT_EQ(pic.draws, 1);
    EXPECT_EQ(pic.drawnRect, TRect(0, 0, 3, 2));
    EXPECT_EQ(pic.backgroundSeen, 0xFFFFFFFFu);
    EXPECT_EQ(b.Pixel(0, 0), 0xFFFF0000u);
    EXPECT_EQ(b.Pixel(2, 1), 0xFFFFFFFFu);
}

TEST(RasterBitmap32Assign, EmptyPictureIsNotAskedToDraw) {
    TProbePicture pic(0, 5);
    TBitmap32 b;
    b.SetSize(2, 2);
    b.Assign(static_cast<TGraphic&>(pic));
    EXPECT_EQ(pic.draws, 0);
    EXPECT_TRUE(b.Empty());
    b.Assign(nullptr);
    EXPECT_EQ(b.Width(), 0);
    EXPECT_EQ(b.Height(), 0);
}

// The raster knows no file format; reading a file needs an installed reader
// (none in this program, which links no codec).
TEST(RasterBitmap32Load, WithoutAnInstalledReaderIsRefused) {
    TBitmap32 raster;
    raster.SetSize(2, 2);
    TMemoryStream stream;
    EXPECT_THROW(raster.LoadFromStream(stream), EInvalidGraphicOperation);
    EXPECT_THROW(raster.LoadFromFile("/nonexistent.bmp"), EInvalidGraphicOperation);
    EXPECT_EQ(raster.Width(), 2);
}

TEST(RasterBitmap32AssignTo, ThreeByTwoKeepsWordsAndTopRowFirst) {
    TBitmap32 b;
    b.SetSize(3, 2);
    for (int32_t i = 0; i < 6; ++i) b.Bits()[i] = 0x01020304u * uint32_t(i + 1);
    TBitmap bmp;
    bmp.SetPixelFormat(TPixelFormat::pf24bit);
    b.AssignTo(bmp);
    ASSERT_EQ(bmp.PixelFormat(), TPixelFormat::pf32bit);
    ASSERT_EQ(bmp.Width(), 3);
    ASSERT_EQ(bmp.Height(), 2);
    for (int32_t y = 0; y < 2; ++y)
        for (int32_t x = 0; x < 3; ++x) {
            uint32_t word;
            std::memcpy(&word, bmp.ScanLine(y) + 4 * x, 4);
            EXPECT_EQ(word, b.Pixel(x, y));
        }
    // Bottom-up storage: the first stored row is the raster's last one.
    uint32_t first;
    std::memcpy(&first, bmp.Bits(), 4);
    EXPECT_EQ(first, b.Pixel(0, 1));
}

TEST(RasterBitmap32AssignTo, EmptyRasterGivesA32BitBitmapOfItsSize) {
    TBitmap32 b;
    b.SetSize(0, 3);
    TBitmap bmp = MakePlatformBitmap(TPixelFormat::pf24bit, 2, 2);
    b.AssignTo(bmp);
    EXPECT_EQ(bmp.PixelFormat(), TPixelFormat::pf32bit);
    EXPECT_EQ(bmp.Width(), 0);
    EXPECT_EQ(bmp.Height(), 3);
}

TEST(RasterBitmap32Resampler, DefaultIsNearestBoundToTheRaster) {
    TBitmap32 b;
    EXPECT_NE(dynamic_cast<TNearestResampler*>(b.Resampler()), nullptr);
    EXPECT_EQ(b.Resampler()->Bitmap, &b);
}

}  // namespace
