// The row-at-a-time resampler against the whole-raster one: for every shape
// of reduction, enlargement, mixed scaling and copy, the rows it sends must
// be the pixels TLinearResampler draws, and it must hold only a few rows.
#include "TestRaster.h"

#include "raster/Bitmap32.h"
#include "raster/LinearResampler.h"
#include "raster/StreamResampler.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <random>
#include <stdexcept>
#include <vector>

namespace {

struct Shape {
    int32_t sw, sh, dw, dh;
};

std::vector<TColor32> WholeRaster(const TBitmap32& src, int32_t dw, int32_t dh) {
    TBitmap32 img, dst;
    img.Assign(&src);
    TLinearResampler::Attach(img);
    dst.SetSize(dw, dh);
    img.DrawTo(dst, dst.BoundsRect());
    return rastertest::Pixels(dst);
}

// Streams src row by row; also checks the rows leave in order, once each.
std::vector<TColor32> Streamed(const TBitmap32& src, int32_t dw, int32_t dh, size_t* mostHeld = nullptr) {
    std::vector<TColor32> out(size_t(dw) * size_t(dh), 0xDEADBEEFu);
    int32_t expected = 0;
    TStreamResampler s(src.Width(), src.Height(), dw, dh, [&](int32_t y, const TColor32* row) {
        EXPECT_EQ(y, expected++);
        std::memcpy(out.data() + size_t(y) * size_t(dw), row, size_t(dw) * 4);
    });
    size_t held = 0;
    for (int32_t y = 0; y < src.Height(); ++y) {
        std::memcpy(s.NextRow(), src.ScanLine(y), size_t(src.Width()) * 4);
        s.Push();
        held = std::max(held, s.RowsHeld());
    }
    EXPECT_TRUE(s.Finished());
    EXPECT_EQ(expected, dh);
    if (mostHeld) *mostHeld = held;
    return out;
}

// The first `rows` rows of src through the resampler kept in slot; the rows
// sent land in the returned picture (unsent ones stay 0xDEADBEEF).
std::vector<TColor32> ThroughSlot(std::unique_ptr<TStreamResampler>& slot, const TBitmap32& src, int32_t dw, int32_t dh,
                                  int32_t rows) {
    std::vector<TColor32> out(size_t(dw) * size_t(dh), 0xDEADBEEFu);
    TStreamResampler& s = TStreamResampler::Reuse(
        slot, src.Width(), src.Height(), dw, dh,
        [&](int32_t y, const TColor32* row) { std::memcpy(out.data() + size_t(y) * size_t(dw), row, size_t(dw) * 4); });
    for (int32_t y = 0; y < rows; ++y) {
        std::memcpy(s.NextRow(), src.ScanLine(y), size_t(src.Width()) * 4);
        s.Push();
    }
    EXPECT_EQ(s.Finished(), rows == src.Height());
    return out;
}

}  // namespace

TEST(StreamResampler, SameBytesAsTheWholeRasterForEveryShape) {
    const std::vector<Shape> shapes = {
        {1, 1, 1, 1},     {1, 1, 7, 5},      {7, 5, 1, 1},    {1, 9, 4, 3},     {9, 1, 3, 4},
        {2, 2, 3, 3},     {2, 2, 640, 480},  {100, 75, 409, 307}, {37, 53, 640, 931},
        {640, 480, 640, 480},  {641, 479, 640, 480}, {640, 480, 641, 481}, {1000, 3, 640, 2},
        {3, 1000, 2, 640}, {333, 211, 64, 41}, {211, 333, 41, 64}, {257, 129, 5, 3},
        {1200, 37, 2, 1},  {37, 1200, 1, 2},  {97, 61, 200, 30}, {61, 97, 30, 200},
        {513, 1100, 1, 2}, {17, 17, 16, 18},  {400, 300, 399, 300},
    };
    std::mt19937 rng(9);
    for (const Shape& s : shapes) {
        SCOPED_TRACE(testing::Message() << s.sw << "x" << s.sh << " -> " << s.dw << "x" << s.dh);
        TBitmap32 src;
        src.SetSize(s.sw, s.sh);
        rastertest::FillRandom(src, rng);
        const auto want = WholeRaster(src, s.dw, s.dh);
        EXPECT_EQ(rastertest::FirstDifference(Streamed(src, s.dw, s.dh), want, s.dw), "");
    }
}

TEST(StreamResampler, HoldsOnlyTheRowsTheVerticalPassNeeds) {
    std::mt19937 rng(3);
    TBitmap32 src;
    src.SetSize(50, 2000);
    rastertest::FillRandom(src, rng);
    size_t held = 0;
    // A reduction by 20 reads at most 2 * 20 + 3 rows per output row.
    EXPECT_EQ(rastertest::FirstDifference(Streamed(src, 5, 100, &held), WholeRaster(src, 5, 100), 5), "");
    EXPECT_LE(held, 43u);
    EXPECT_GE(held, 20u);
    // An enlargement keeps the two rows it blends.
    src.SetSize(50, 40);
    rastertest::FillRandom(src, rng);
    EXPECT_EQ(rastertest::FirstDifference(Streamed(src, 120, 97, &held), WholeRaster(src, 120, 97), 120), "");
    EXPECT_EQ(held, 2u);
}

TEST(StreamResampler, RefusesEmptySidesAndRowsPastTheLast) {
    auto sink = [](int32_t, const TColor32*) {};
    EXPECT_THROW(TStreamResampler(0, 5, 3, 3, sink), std::invalid_argument);
    EXPECT_THROW(TStreamResampler(5, 5, 3, 0, sink), std::invalid_argument);
    TStreamResampler s(2, 1, 1, 1, sink);
    s.NextRow()[0] = 0;
    s.Push();
    EXPECT_TRUE(s.Finished());
    EXPECT_THROW(s.NextRow(), std::logic_error);
    EXPECT_THROW(s.Push(), std::logic_error);
}

// A batch hands one kept resampler picture after picture, some of them
// abandoned halfway (a damaged file), with sides that change now and then:
// every whole picture must come out as from a fresh resampler.
TEST(StreamResampler, AKeptResamplerStartsEveryPictureAfresh) {
    struct Step {
        Shape shape;
        bool whole;  // false: only the first half of the rows arrive
    };
    const std::vector<Step> steps = {
        {{300, 200, 64, 41}, false}, {{300, 200, 64, 41}, true}, {{300, 200, 64, 41}, true},
        {{40, 30, 97, 71}, false},   {{40, 30, 97, 71}, true},   {{300, 201, 64, 41}, true},
        {{16, 9, 16, 9}, false},     {{16, 9, 16, 9}, true},     {{300, 200, 64, 41}, true},
    };
    std::mt19937 rng(21);
    std::unique_ptr<TStreamResampler> slot;
    for (const Step& step : steps) {
        const Shape& s = step.shape;
        SCOPED_TRACE(testing::Message() << s.sw << "x" << s.sh << " -> " << s.dw << "x" << s.dh
                                        << (step.whole ? "" : " (half)"));
        TBitmap32 src;
        src.SetSize(s.sw, s.sh);
        rastertest::FillRandom(src, rng);
        const auto have = ThroughSlot(slot, src, s.dw, s.dh, step.whole ? s.sh : s.sh / 2);
        if (step.whole) {
            EXPECT_EQ(rastertest::FirstDifference(have, WholeRaster(src, s.dw, s.dh), s.dw), "");
        }
    }
}
