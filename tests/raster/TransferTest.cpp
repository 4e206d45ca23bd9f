// The transfer step: validation, clipping of the source rectangle, the
// no-op cases, the destination clip, the equal-size copy and the store step.
#include "TestRaster.h"

#include "platform/Exceptions.h"
#include "raster/Bitmap32.h"
#include "raster/LinearResampler.h"
#include "raster/Transfer.h"

#include <gtest/gtest.h>

#include <random>

namespace {

// Records the rectangles it is called with and paints the clip.
class TRecordingResampler : public TCustomResampler {
public:
    using TCustomResampler::TCustomResampler;
    float GetWidth() const override { return 1.0f; }
    void Resample(TBitmap32& Dst, const TRect& DstRect, const TRect& DstClip, TBitmap32&, const TRect& SrcRect,
                  TDrawMode, const TPixelCombineEvent&) override {
        ++calls;
        dstRect = DstRect;
        dstClip = DstClip;
        srcRect = SrcRect;
        for (int32_t y = DstClip.Top; y < DstClip.Bottom; ++y)
            for (int32_t x = DstClip.Left; x < DstClip.Right; ++x) Dst.Pixel(x, y) = 0xC0FFEE00u;
    }
    int calls = 0;
    TRect dstRect, dstClip, srcRect;
};

struct Fixture {
    TBitmap32 src, dst;
    TRecordingResampler* rec;
    int changes = 0;
    Fixture(int32_t sw, int32_t sh, int32_t dw, int32_t dh) {
        src.SetSize(sw, sh);
        dst.SetSize(dw, dh);
        std::mt19937 rng(3);
        rastertest::FillRandom(src, rng);
        dst.Clear(0x01010101u);
        auto r = std::make_unique<TRecordingResampler>(&src);
        rec = r.get();
        src.SetResampler(std::move(r));
        dst.OnChange = [this](TBitmap32&) { ++changes; };
    }
    void Transfer(TRect dr, TRect clip, TRect sr, TDrawMode op = TDrawMode::dmOpaque) {
        TransferScaled(&dst, dr, clip, &src, sr, src.Resampler(), op, nullptr);
    }
};

TEST(RasterTransferScaled, MissingRastersRaiseWithTheirTexts) {
    TBitmap32 a;
    try {
        TransferScaled(nullptr, TRect(0, 0, 1, 1), TRect(0, 0, 1, 1), &a, TRect(0, 0, 1, 1), a.Resampler(),
                       TDrawMode::dmOpaque, nullptr);
        FAIL();
    } catch (const EBitmapException& e) {
        EXPECT_STREQ(e.what(), "Destination bitmap is nil");
    }
    try {
        TransferScaled(&a, TRect(0, 0, 1, 1), TRect(0, 0, 1, 1), nullptr, TRect(0, 0, 1, 1), a.Resampler(),
                       TDrawMode::dmOpaque, nullptr);
        FAIL();
    } catch (const EBitmapException& e) {
        EXPECT_STREQ(e.what(), "Source bitmap is nil");
    }
}

TEST(RasterTransferScaled, NothingHappensInTheEmptyCases) {
    struct Case {
        const char* name;
        int32_t sw, sh, dw, dh;
        TRect dr, clip, sr;
        TDrawMode op;
        uint32_t master;
    };
    const Case cases[] = {
        {"empty source", 0, 4, 5, 5, TRect(0, 0, 5, 5), TRect(0, 0, 5, 5), TRect(0, 0, 0, 4), TDrawMode::dmOpaque, 255},
        {"empty destination", 4, 4, 5, 0, TRect(0, 0, 5, 5), TRect(0, 0, 5, 5), TRect(0, 0, 4, 4), TDrawMode::dmOpaque, 255},
        {"blend at master alpha 0", 4, 4, 5, 5, TRect(0, 0, 5, 5), TRect(0, 0, 5, 5), TRect(0, 0, 4, 4), TDrawMode::dmBlend, 0},
        {"empty source rectangle", 4, 4, 5, 5, TRect(0, 0, 5, 5), TRect(0, 0, 5, 5), TRect(2, 0, 2, 4), TDrawMode::dmOpaque, 255},
        {"inverted source rectangle", 4, 4, 5, 5, TRect(0, 0, 5, 5), TRect(0, 0, 5, 5), TRect(3, 0, 1, 4), TDrawMode::dmOpaque, 255},
        {"source rectangle outside", 4, 4, 5, 5, TRect(0, 0, 5, 5), TRect(0, 0, 5, 5), TRect(6, 0, 9, 4), TDrawMode::dmOpaque, 255},
        {"clip outside the rectangle", 4, 4, 5, 5, TRect(0, 0, 2, 2), TRect(3, 3, 5, 5), TRect(0, 0, 4, 4), TDrawMode::dmOpaque, 255},
        {"rectangle outside the raster", 4, 4, 5, 5, TRect(6, 6, 9, 9), TRect(0, 0, 50, 50), TRect(0, 0, 4, 4), TDrawMode::dmOpaque, 255},
    };
    for (const Case& c : cases) {
        Fixture f(c.sw, c.sh, c.dw, c.dh);
        f.src.MasterAlpha = c.master;
        const auto before = f.dst.Empty() ? std::vector<TColor32>() : rastertest::Pixels(f.dst);
        f.Transfer(c.dr, c.clip, c.sr, c.op);
        EXPECT_EQ(f.rec->calls, 0) << c.name;
        EXPECT_EQ(f.changes, 0) << c.name;
        if (!f.dst.Empty()) {
            EXPECT_EQ(rastertest::Pixels(f.dst), before) << c.name;
        }
    }
}

TEST(RasterTransferScaled, ClipIsCutToTheRasterAndTheRectangle) {
    Fixture f(4, 4, 10, 8);
    f.Transfer(TRect(-3, 2, 7, 20), TRect(1, -5, 30, 6), TRect(0, 0, 4, 4));
    ASSERT_EQ(f.rec->calls, 1);
    EXPECT_EQ(f.rec->dstClip, TRect(1, 2, 7, 6));
    EXPECT_EQ(f.rec->dstRect, TRect(-3, 2, 7, 20));
    EXPECT_EQ(f.changes, 1);
    for (int32_t y = 0; y < 8; ++y)
        for (int32_t x = 0; x < 10; ++x) {
            const bool inside = x >= 1 && x < 7 && y >= 2 && y < 6;
            ASSERT_EQ(f.dst.Pixel(x, y), inside ? 0xC0FFEE00u : 0x01010101u) << x << "," << y;
        }
}

// Source rectangle 6 x 4 starting at column -2 into 12 x 8 (scale 2): the
// left cut moves the destination by ceil(2 * 2) = 4. Cuts on the other sides
// and at a fractional scale follow.
TEST(RasterTransferScaled, SourceRectangleIsCutWithAProportionalShrink) {
    {
        Fixture f(4, 4, 20, 20);
        f.Transfer(TRect(0, 0, 12, 8), TRect(0, 0, 20, 20), TRect(-2, 0, 4, 4));
        ASSERT_EQ(f.rec->calls, 1);
        EXPECT_EQ(f.rec->srcRect, TRect(0, 0, 4, 4));
        EXPECT_EQ(f.rec->dstRect, TRect(4, 0, 12, 8));
    }
    {
        Fixture f(4, 4, 20, 20);
        f.Transfer(TRect(1, 1, 15, 15), TRect(0, 0, 20, 20), TRect(0, -1, 7, 6));
        ASSERT_EQ(f.rec->calls, 1);
        EXPECT_EQ(f.rec->srcRect, TRect(0, 0, 4, 4));
        // Scale 14/7 = 2 both ways. x: right cut floor(3 * 2) -> 15 - 6 = 9.
        // y: top cut ceil(1 * 2) -> 3, bottom cut floor(2 * 2) -> 11.
        EXPECT_EQ(f.rec->dstRect, TRect(1, 3, 9, 11));
    }
    {
        Fixture f(4, 4, 20, 20);
        // scale 5/7 (single) = 0.714285731...: left cut ceil(1 * it) = 1,
        // right cut floor(2 * it) = 1.
        f.Transfer(TRect(0, 0, 5, 4), TRect(0, 0, 20, 20), TRect(-1, 0, 6, 4));
        ASSERT_EQ(f.rec->calls, 1);
        EXPECT_EQ(f.rec->srcRect, TRect(0, 0, 4, 4));
        EXPECT_EQ(f.rec->dstRect, TRect(1, 0, 4, 4));
    }
}

TEST(RasterTransferScaled, EqualSizeIsAWordForWordCopyWithoutTheResampler) {
    Fixture f(5, 4, 9, 9);
    f.dst.SetClipRect(TRect(3, 0, 9, 3));
    f.src.DrawTo(f.dst, TRect(2, 1, 7, 5));
    EXPECT_EQ(f.rec->calls, 0);
    for (int32_t y = 0; y < 9; ++y)
        for (int32_t x = 0; x < 9; ++x) {
            const bool inside = x >= 3 && x < 7 && y >= 1 && y < 3;
            ASSERT_EQ(f.dst.Pixel(x, y), inside ? f.src.Pixel(x - 2, y - 1) : 0x01010101u) << x << "," << y;
        }
}

TEST(RasterDrawTo, UsesTheDestinationClipAndTheWholeSource) {
    Fixture f(3, 3, 10, 10);
    f.dst.SetClipRect(TRect(2, 2, 6, 9));
    f.src.DrawTo(f.dst, TRect(0, 0, 8, 8));
    ASSERT_EQ(f.rec->calls, 1);
    EXPECT_EQ(f.rec->srcRect, TRect(0, 0, 3, 3));
    EXPECT_EQ(f.rec->dstClip, TRect(2, 2, 6, 8));
}

TEST(RasterTransferScaled, MissingResamplerIsReportedNotDereferenced) {
    TBitmap32 src, dst;
    src.SetSize(2, 2);
    dst.SetSize(3, 3);
    src.SetResampler(nullptr);
    EXPECT_THROW(src.DrawTo(dst, dst.BoundsRect()), EBitmapException);
}

// ---------------------------------------------------------------------------
// Store step, through both resampling paths and the copy.

class RasterStoreStep : public ::testing::TestWithParam<TRect> {};

TEST_P(RasterStoreStep, TransparentSkipsTheOuterColourAndCustomGetsEveryPixel) {
    const TRect dr = GetParam();
    TBitmap32 src, opaque, transparent, custom;
    src.SetSize(12, 3);
    for (int32_t i = 0; i < 36; ++i) src.Bits()[i] = 0xFF000000u | uint32_t(i * 20);
    // A uniform region wider than the widest kernel used below, so that
    // some destination pixels come out exactly the outer colour: columns
    // 0..8 of every row.
    src.OuterColor = 0x80123456u;
    for (int32_t y = 0; y < 3; ++y)
        for (int32_t x = 0; x < 9; ++x) src.Pixel(x, y) = 0x80123456u;
    TLinearResampler::Attach(src);
    for (TBitmap32* b : {&opaque, &transparent, &custom}) {
        b->SetSize(10, 10);
        b->Clear(0x0BADF00Du);
    }
    src.DrawTo(opaque, dr);
    src.DrawMode = TDrawMode::dmTransparent;
    src.DrawTo(transparent, dr);
    int calls = 0;
    src.DrawMode = TDrawMode::dmCustom;
    src.MasterAlpha = 77;
    src.OnPixelCombine = [&calls](TColor32 F, TColor32& B, TColor32 M) {
        ++calls;
        EXPECT_EQ(B, 0x0BADF00Du);
        EXPECT_EQ(M, 77u);
        B = F ^ 0xFFFFFFFFu;
    };
    src.DrawTo(custom, dr);
    const TRect dc = IntersectRect(dr, opaque.BoundsRect());
    EXPECT_EQ(calls, dc.Width() * dc.Height());
    int skipped = 0;
    for (int32_t y = 0; y < 10; ++y)
        for (int32_t x = 0; x < 10; ++x) {
            const TColor32 o = opaque.Pixel(x, y);
            const bool inside = x >= dc.Left && x < dc.Right && y >= dc.Top && y < dc.Bottom;
            if (!inside) {
                ASSERT_EQ(transparent.Pixel(x, y), 0x0BADF00Du);
                ASSERT_EQ(custom.Pixel(x, y), 0x0BADF00Du);
                continue;
            }
            ASSERT_EQ(custom.Pixel(x, y), o ^ 0xFFFFFFFFu);
            if (o == 0x80123456u) {
                ++skipped;
                ASSERT_EQ(transparent.Pixel(x, y), 0x0BADF00Du);
            } else {
                ASSERT_EQ(transparent.Pixel(x, y), o);
            }
        }
    EXPECT_GT(skipped, 0);
    // dmCustom without a callback stores like dmOpaque.
    src.OnPixelCombine = nullptr;
    TBitmap32 plain;
    plain.SetSize(10, 10);
    plain.Clear(0x0BADF00Du);
    src.DrawTo(plain, dr);
    EXPECT_EQ(rastertest::Pixels(plain), rastertest::Pixels(opaque));
}

INSTANTIATE_TEST_SUITE_P(Paths, RasterStoreStep,
                         ::testing::Values(TRect(1, 1, 13, 4),   // copy
                                           TRect(-2, 0, 25, 7),  // bilinear
                                           TRect(2, 0, 4, 10),   // kernel
                                           TRect(-3, 2, 8, 3))); // kernel, one row, cut by the raster

TEST(RasterStorePixel, BlendAtFullAndZeroOpacity) {
    TBitmap32 src;
    src.MasterAlpha = 255;
    TColor32 d = 0x80102030u;
    StorePixel(0xFFAABBCCu, d, TDrawMode::dmBlend, nullptr, src);
    EXPECT_EQ(d, 0x80AABBCCu);  // colour replaced, background opacity kept
    d = 0x80102030u;
    StorePixel(0x00AABBCCu, d, TDrawMode::dmBlend, nullptr, src);
    EXPECT_EQ(d, 0x80102030u);  // a transparent pixel changes nothing
    src.CombineMode = TCombineMode::cmMerge;
    d = 0x00102030u;
    StorePixel(0x80AABBCCu, d, TDrawMode::dmBlend, nullptr, src);
    EXPECT_EQ(d, 0x80AABBCCu);  // over a transparent background: the pixel itself
}

}  // namespace
