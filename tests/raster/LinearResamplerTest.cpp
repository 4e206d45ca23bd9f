// Worked examples of the linear resampler (values computed by hand), the
// invariants of its tables, and the accelerated row kernels against the
// portable ones.
#include "TestRaster.h"
#include "tests/support/PixelDiff.h"

#include "raster/Bitmap32.h"
#include "raster/BlendVariants.h"
#include "raster/CpuVariants.h"
#include "raster/LinearResampler.h"
#include "raster/ResampleRows.h"
#include "tests/support/CpuBinding.h"

#include <gtest/gtest.h>

#include <random>
#include <vector>

using namespace velmora;
using rastertest::FillGray;

namespace {

using Entries = std::vector<std::pair<int32_t, uint32_t>>;

Entries AsPairs(const TCluster& c) {
    Entries e;
    for (const TPointRec& p : c) e.emplace_back(p.Pos, p.Weight);
    return e;
}

std::vector<Entries> AsPairs(const TMappingTable& t) {
    std::vector<Entries> out;
    for (const TCluster& c : t) out.push_back(AsPairs(c));
    return out;
}

const TLinearKernel kKernel;

// One channel row repeated over `height` rows, resampled to dw x dh.
std::vector<std::vector<int>> Resample(const std::vector<int>& row, int height, int dw, int dh) {
    TBitmap32 src, dst;
    FillGray(src, std::vector<std::vector<int>>(size_t(height), row));
    dst.SetSize(dw, dh);
    TLinearResampler::Attach(src);
    src.DrawTo(dst, dst.BoundsRect());
    return rastertest::BlueGrid(dst);
}

bool SseBound() { return BlendBilinearTable().Bound() == BlendBilinear_SSE; }

// The worked values below are those of the SSE blend: they bind the
// processor's variants even in a run that forces the portable ones.
using cpubinding::TProcessorBinding;

TEST(RasterTriangleKernel, FilterAndWidth) {
    EXPECT_EQ(kKernel.GetWidth(), 1.0f);
    EXPECT_EQ(kKernel.Filter(-1.5f), 0.0f);
    EXPECT_EQ(kKernel.Filter(-1.0f), 0.0f);
    EXPECT_EQ(kKernel.Filter(-0.25f), 0.75f);
    EXPECT_EQ(kKernel.Filter(0.0f), 1.0f);
    EXPECT_EQ(kKernel.Filter(0.75f), 0.25f);
    EXPECT_EQ(kKernel.Filter(1.0f), 0.0f);
    // 1 - v rounded to single: 1 - 2^-30 is not a float; it rounds to 1.
    EXPECT_EQ(kKernel.Filter(0x1p-30f), 1.0f);
}

TEST(RasterWorkedExample, TwoByTwoEnlargedToFourByFourBilinear) {
    const TProcessorBinding processor;
    ASSERT_TRUE(SseBound());
    EXPECT_EQ(AsPairs(TCluster(BuildBilinearMap(0, 4, 0, 4, 0, 2, 2))),
              (Entries{{0, 256}, {0, 192}, {0, 64}, {0, 0}}));
    const auto out = Resample({0, 255}, 2, 4, 4);
    for (const auto& r : out) EXPECT_EQ(r, (std::vector<int>{0, 63, 191, 255}));
}

TEST(RasterWorkedExample, FourByFourShrunkToTwoByTwo) {
    EXPECT_EQ(AsPairs(BuildClusters(0, 2, 0, 2, 0, 4, kKernel)),
              (std::vector<Entries>{{{0, 32}, {0, 96}, {1, 96}, {2, 32}}, {{1, 32}, {2, 96}, {3, 96}, {3, 32}}}));
    const auto out = Resample({0, 0, 255, 255}, 4, 2, 2);
    for (const auto& r : out) EXPECT_EQ(r, (std::vector<int>{31, 223}));
}

TEST(RasterWorkedExample, TwoColumnsToThreeWhileHeightShrinksGoesTheKernelWay) {
    EXPECT_EQ(AsPairs(BuildClusters(0, 3, 0, 3, 0, 2, kKernel)),
              (std::vector<Entries>{{{0, 43}, {0, 213}}, {{0, 128}, {1, 128}}, {{1, 213}, {1, 43}}}));
    // Column sums: 0; 128 * 255 * 256 -> 0x7F8000 -> 127; 256 * 255 * 256 -> 255.
    const auto out = Resample({0, 255}, 4, 3, 2);
    for (const auto& r : out) EXPECT_EQ(r, (std::vector<int>{0, 127, 255}));
}

TEST(RasterWorkedExample, KeptDimensionMapsIdentically) {
    for (int32_t n : {2, 3, 7, 64, 1000}) {
        const TMappingTable t = BuildClusters(0, n, 0, n, 0, n, kKernel);
        ASSERT_EQ(int32_t(t.size()), n);
        for (int32_t i = 0; i < n; ++i) ASSERT_EQ(AsPairs(t[size_t(i)]), (Entries{{i, 256}})) << n << " " << i;
    }
    // Width kept, height grown: every column is carried over unchanged
    // along the rows it covers (rows constant here).
    const auto out = Resample({9, 200, 31, 77, 255}, 3, 5, 8);
    for (const auto& r : out) EXPECT_EQ(r, (std::vector<int>{9, 200, 31, 77, 255}));
}

TEST(RasterWorkedExample, OnePixelWideSourceRepeatsItsColumn) {
    for (int32_t dw : {1, 2, 5, 33}) {
        const TMappingTable t = BuildClusters(0, dw, 0, dw, 0, 1, kKernel);
        ASSERT_EQ(int32_t(t.size()), dw);
        for (const TCluster& c : t) EXPECT_EQ(AsPairs(c), (Entries{{0, 256}}));
    }
    TBitmap32 src, dst;
    FillGray(src, {{10}, {20}, {30}, {40}});
    TLinearResampler::Attach(src);
    dst.SetSize(7, 4);
    src.DrawTo(dst, dst.BoundsRect());
    for (int32_t y = 0; y < 4; ++y)
        for (int32_t x = 0; x < 7; ++x) EXPECT_EQ(dst.Pixel(x, y), src.Pixel(0, y)) << x << "," << y;
    // Taller as well: still the kernel way, every column the same.
    dst.SetSize(6, 9);
    src.DrawTo(dst, dst.BoundsRect());
    for (int32_t y = 0; y < 9; ++y)
        for (int32_t x = 1; x < 6; ++x) EXPECT_EQ(dst.Pixel(x, y), dst.Pixel(0, y));
}

// Beyond a 512-fold reduction every weight rounds to 0 and the sample under
// the centre, floor(X), stands in.
TEST(RasterWorkedExample, ExtremeReductionTakesTheCentreSample) {
    struct Case {
        int32_t srcW;
        int32_t pos;
    };
    // X = single(0.5 * step - 0.5): 600 -> 299.5, 1000 -> 499.5, 512 -> 255.5
    // (the centre weight 256 / 512 = 0.5 rounds to even 0); 511 keeps a
    // centre weight of 1, fixed up to 256.
    for (Case c : {Case{600, 299}, Case{1000, 499}, Case{512, 255}, Case{511, 255}, Case{1023, 511}}) {
        EXPECT_EQ(AsPairs(BuildClusters(0, 1, 0, 1, 0, c.srcW, kKernel)), (std::vector<Entries>{{{c.pos, 256}}}))
            << c.srcW;
    }
    std::vector<int> row(600);
    for (int i = 0; i < 600; ++i) row[size_t(i)] = i % 251;
    EXPECT_EQ(Resample(row, 1, 1, 1), (std::vector<std::vector<int>>{{299 % 251}}));
}

TEST(RasterWorkedExample, OpaqueAlphaStaysOpaqueInBothPaths) {
    const TProcessorBinding processor;
    ASSERT_TRUE(SseBound());
    std::mt19937 rng(5);
    for (int n = 0; n < 150; ++n) {
        TBitmap32 src, dst;
        src.SetSize(int32_t(1 + rng() % 60), int32_t(1 + rng() % 60));
        rastertest::FillRandom(src, rng);
        src.ResetAlpha(255);
        dst.SetSize(int32_t(1 + rng() % 90), int32_t(1 + rng() % 90));
        TLinearResampler::Attach(src);
        src.DrawTo(dst, dst.BoundsRect());
        for (int32_t i = 0; i < dst.Width() * dst.Height(); ++i)
            ASSERT_EQ(dst.Bits()[i] >> 24, 255u) << src.Width() << "x" << src.Height() << " -> " << dst.Width()
                                                 << "x" << dst.Height();
    }
}

TEST(RasterWorkedExample, LastColumnsOfAnEnlargementTakeTheLastSourceColumn) {
    const TProcessorBinding processor;
    ASSERT_TRUE(SseBound());
    // 3 -> 10: entries whose position reaches column 2 move to (1, 0).
    const auto map = BuildBilinearMap(0, 10, 0, 10, 0, 3, 3);
    ASSERT_EQ(map.size(), 10u);
    EXPECT_EQ(map[9].Pos, 1);
    EXPECT_EQ(map[9].Weight, 0u);
    EXPECT_EQ(map[8].Pos, 1);
    EXPECT_EQ(map[8].Weight, 0u);
    const auto out = Resample({0, 100, 250}, 3, 10, 4);
    for (const auto& r : out) {
        EXPECT_EQ(r[9], 250);
        EXPECT_EQ(r[8], 250);
        EXPECT_EQ(r[0], 0);
    }
}

// Bilinear maps never reach past the source, for every small size pair and
// for clipped sub-ranges.
TEST(RasterBilinearMap, StaysInsideTheSourceAndGrowsMonotonically) {
    for (int32_t s = 2; s <= 40; ++s)
        for (int32_t d = s + 1; d <= 130; ++d) {
            const auto map = BuildBilinearMap(0, d, 0, d, 0, s, s);
            ASSERT_EQ(int32_t(map.size()), d);
            for (size_t i = 0; i < map.size(); ++i) {
                ASSERT_GE(map[i].Pos, 0);
                ASSERT_LE(map[i].Pos + 1, s - 1) << s << "->" << d << " at " << i;
                ASSERT_LE(map[i].Weight, 256u);
                if (i > 0) {
                    ASSERT_GE(map[i].Pos, map[i - 1].Pos);
                }
            }
            // Centres before the first source centre take column 0 in full.
            EXPECT_EQ(map[0].Pos, 0);
            EXPECT_EQ(map[0].Weight, 256u);
            // The last destination column always shows the last source column.
            EXPECT_EQ(map.back().Pos, s - 2);
            EXPECT_EQ(map.back().Weight, 0u);
            // A clipped range is the matching slice.
            const int32_t lo = d / 3, hi = d - d / 4;
            const auto part = BuildBilinearMap(0, d, lo, hi, 0, s, s);
            ASSERT_EQ(int32_t(part.size()), hi - lo);
            // (The moved entries always form a suffix, so the edge rule
            // gives the same result on a clipped range.)
            for (int32_t i = lo; i < hi; ++i) {
                ASSERT_EQ(part[size_t(i - lo)].Pos, map[size_t(i)].Pos) << s << "->" << d << " at " << i;
                ASSERT_EQ(part[size_t(i - lo)].Weight, map[size_t(i)].Weight) << s << "->" << d << " at " << i;
            }
        }
}

class RasterClusterInvariants : public ::testing::TestWithParam<std::pair<int32_t, int32_t>> {};

// Every cluster: weights within 0..256 that add up to exactly 256, positions
// inside the source span and never decreasing within the table; a clipped
// table is the matching slice of the whole one.
TEST_P(RasterClusterInvariants, WeightsSumTo256AndPositionsStayInside) {
    const auto [srcMax, dstMax] = GetParam();
    std::mt19937 rng(uint32_t(srcMax * 7919 + dstMax));
    for (int n = 0; n < 300; ++n) {
        const int32_t srcLo = int32_t(rng() % 5), srcW = int32_t(1 + rng() % uint32_t(srcMax));
        const int32_t dstLo = int32_t(rng() % 7) - 3, dstW = int32_t(1 + rng() % uint32_t(dstMax));
        const TMappingTable t = BuildClusters(dstLo, dstLo + dstW, dstLo, dstLo + dstW, srcLo, srcLo + srcW, kKernel);
        ASSERT_EQ(int32_t(t.size()), dstW);
        int32_t last = srcLo;
        for (const TCluster& c : t) {
            ASSERT_FALSE(c.empty());
            uint32_t sum = 0;
            for (const TPointRec& p : c) {
                ASSERT_LE(p.Weight, 256u);
                ASSERT_GE(p.Pos, srcLo);
                ASSERT_LT(p.Pos, srcLo + srcW);
                ASSERT_GE(p.Pos, last) << srcW << "->" << dstW;
                last = p.Pos;
                sum += p.Weight;
            }
            ASSERT_EQ(sum, 256u) << srcW << "->" << dstW;
            last = c.front().Pos;
        }
        const int32_t clipLo = dstLo + int32_t(rng() % uint32_t(dstW));
        const int32_t clipHi = clipLo + int32_t(rng() % uint32_t(dstLo + dstW - clipLo + 1));
        const TMappingTable part = BuildClusters(dstLo, dstLo + dstW, clipLo, clipHi, srcLo, srcLo + srcW, kKernel);
        ASSERT_EQ(int32_t(part.size()), clipHi - clipLo);
        for (int32_t i = clipLo; i < clipHi; ++i)
            ASSERT_EQ(AsPairs(part[size_t(i - clipLo)]), AsPairs(t[size_t(i - dstLo)]));
    }
}

INSTANTIATE_TEST_SUITE_P(Sizes, RasterClusterInvariants,
                         ::testing::Values(std::pair{8, 8}, std::pair{40, 40}, std::pair{300, 40},
                                           std::pair{40, 300}, std::pair{3000, 5}, std::pair{5000, 700}));

TEST(RasterBuildClusters, EmptySourceOrClipGivesAnEmptyTable) {
    EXPECT_TRUE(BuildClusters(0, 5, 0, 5, 3, 3, kKernel).empty());
    EXPECT_TRUE(BuildClusters(0, 5, 2, 2, 0, 9, kKernel).empty());
}

// ---------------------------------------------------------------------------
// Row kernels: every registered variant against the portable one.

TEST(RasterBilinearRows, EveryVariantMatchesThePortableRows) {
    std::mt19937 rng(11);
    for (const auto& entry : BilinearRowTable().Entries()) {
        if ((entry.Needs & ~CpuFeatures()) != 0) continue;
        for (int n = 0; n < 300; ++n) {
            const int32_t srcW = int32_t(2 + rng() % 50), count = int32_t(rng() % 70);
            std::vector<TColor32> row(static_cast<size_t>(srcW)), top(static_cast<size_t>(count)), bottom(static_cast<size_t>(count));
            for (auto& p : row) p = TColor32(rng());
            for (auto& p : top) p = TColor32(rng());
            for (auto& p : bottom) p = TColor32(rng());
            std::vector<TPointRec> map(static_cast<size_t>(count));
            for (auto& m : map) {
                m.Pos = int32_t(rng() % uint32_t(srcW - 1));
                const uint32_t r = uint32_t(rng() % 10);
                m.Weight = r == 0 ? 0u : r == 1 ? 256u : uint32_t(rng() % 257);
            }
            const uint32_t wy = n % 3 == 0 ? 256u : n % 3 == 1 ? 0u : uint32_t(rng() % 257);
            std::vector<TColor32> have(size_t(count) + 1, 0x5A5A5A5Au), want(size_t(count) + 1, 0x5A5A5A5Au);
            entry.Proc.Horizontal(row.data(), map.data(), count, have.data());
            BilinearHorizontal_Portable(row.data(), map.data(), count, want.data());
            ASSERT_EQ(have, want) << entry.Name << " horizontal, count " << count;
            entry.Proc.Vertical(top.data(), bottom.data(), wy, count, have.data());
            BilinearVertical_Portable(top.data(), bottom.data(), wy, count, want.data());
            ASSERT_EQ(have, want) << entry.Name << " vertical, count " << count;
        }
    }
}

// Whole resamples through every binding give the same bytes as the portable
// kernel rows (kernel path) and the portable bilinear rows with the SSE blend
// arithmetic (bilinear path), including sizes that leave SIMD tails.
TEST(RasterVariantOutputs, ByteIdenticalToThePortableReference) {
    std::mt19937 rng(99);
    const uint32_t portable = cfMMX | cfSSE;  // SSE blend arithmetic, portable rows
    std::vector<uint32_t> bindings;
    for (uint32_t f : {uint32_t(cfMMX | cfSSE | cfSSE2), kAllCpuFeatures})
        if ((f & CpuFeatures()) == f) bindings.push_back(f);
    struct Size {
        int32_t sw, sh, dw, dh;
    };
    std::vector<Size> sizes = {{640, 480, 97, 73}, {97, 73, 643, 481}, {1001, 17, 333, 5}, {300, 200, 299, 201},
                               {1, 50, 37, 19},    {50, 1, 19, 37},    {33, 33, 33, 34}};
    for (int n = 0; n < 60; ++n)
        sizes.push_back({int32_t(1 + rng() % 200), int32_t(1 + rng() % 60), int32_t(1 + rng() % 200),
                         int32_t(1 + rng() % 60)});
    for (const Size& s : sizes) {
        TBitmap32 src, want, have;
        src.SetSize(s.sw, s.sh);
        rastertest::FillRandom(src, rng);
        TLinearResampler::Attach(src);
        want.SetSize(s.dw, s.dh);
        RebindCpuVariants(portable);
        src.DrawTo(want, want.BoundsRect());
        for (uint32_t f : bindings) {
            RebindCpuVariants(f);
            have.SetSize(0, 0);
            have.SetSize(s.dw, s.dh);
            src.DrawTo(have, have.BoundsRect());
            RebindCpuVariants(cpubinding::StartUpFeatures());
            ASSERT_EQ(testsupport::FirstDifference(rastertest::Pixels(have), rastertest::Pixels(want), s.dw), "")
                << s.sw << "x" << s.sh << " -> " << s.dw << "x" << s.dh << " features " << f;
        }
    }
    RebindCpuVariants(cpubinding::StartUpFeatures());
}

TEST(RasterLinearResampler, AttachReplacesTheRastersResampler) {
    TBitmap32 b;
    TLinearResampler& r = TLinearResampler::Attach(b);
    EXPECT_EQ(b.Resampler(), &r);
    EXPECT_EQ(r.Bitmap, &b);
    EXPECT_EQ(r.PixelAccessMode, TPixelAccessMode::pamSafe);
    EXPECT_EQ(r.GetWidth(), 1.0f);
    b.SetResampler(std::make_unique<TLinearResampler>(b));
    EXPECT_NE(b.Resampler(), &r);
}

}  // namespace
