// The blend variants, each against its own formula written out per channel,
// and the variant tables.
#include "raster/BlendVariants.h"
#include "raster/CpuVariants.h"
#include "raster/ResampleRows.h"
#include "tests/support/CpuBinding.h"

#include <gtest/gtest.h>

#include <random>

using namespace velmora;

namespace {

uint32_t Ch(TColor32 c, int i) { return (c >> (8 * i)) & 0xFF; }

// The formulas, one channel at a time.
uint32_t SseTop(uint32_t a, uint32_t b, uint32_t w) { return (a * w + b * (256 - w)) / 256; }
uint32_t MmxCombine(uint32_t x, uint32_t y, uint32_t w) { return (x * w + y * (256 - w) + 128) / 256; }
uint32_t PasCombine(uint32_t x, uint32_t y, uint32_t w) {
    if (w == 0) return y;
    if (w == 255) return x;
    return (x * w + 128) / 256 + (y * (255 - w) + 128) / 256;
}

TColor32 PerChannel(TColor32 x, TColor32 y, uint32_t w, uint32_t (*f)(uint32_t, uint32_t, uint32_t)) {
    TColor32 r = 0;
    for (int i = 0; i < 4; ++i) r |= f(Ch(x, i), Ch(y, i), w) << (8 * i);
    return r;
}

TColor32 ExpectedSse(TColor32 p00, TColor32 p10, TColor32 p01, TColor32 p11, uint32_t wx, uint32_t wy) {
    return PerChannel(PerChannel(p00, p10, wx, SseTop), PerChannel(p01, p11, wx, SseTop), wy, SseTop);
}

TColor32 ExpectedCombineBlend(TColor32 p00, TColor32 p10, TColor32 p01, TColor32 p11, uint32_t wx, uint32_t wy,
                              uint32_t (*f)(uint32_t, uint32_t, uint32_t)) {
    wx = std::min(wx, 255u);
    wy = std::min(wy, 255u);
    return PerChannel(PerChannel(p00, p10, wx, f), PerChannel(p01, p11, wx, f), wy, f);
}

// Restores the start-up binding when a test has rebound the tables.
using RebindGuard = cpubinding::TRebindGuard;

// Every channel pair and every weight, on one channel lane at a time (the
// other lanes carry different values so that a carry between lanes shows).
TEST(RasterCombine, BothVariantsMatchTheirFormulaExhaustively) {
    for (uint32_t w = 0; w <= 255; ++w)
        for (uint32_t x = 0; x <= 255; ++x)
            for (uint32_t y = 0; y <= 255; y += 1) {
                const TColor32 X = x | (255 - x) << 8 | x << 16 | (x ^ 0x5A) << 24;
                const TColor32 Y = y << 24 | (255 - y) << 16 | y << 8 | (y ^ 0xA5);
                ASSERT_EQ(Combine_MMX(X, Y, w), PerChannel(X, Y, w, MmxCombine)) << x << " " << y << " " << w;
                ASSERT_EQ(Combine_Portable(X, Y, w), PerChannel(X, Y, w, PasCombine)) << x << " " << y << " " << w;
            }
}

TEST(RasterBlendBilinear, SseVariantMatchesItsFormula) {
    std::mt19937 rng(1);
    for (int n = 0; n < 200000; ++n) {
        const TColor32 p[4] = {TColor32(rng()), TColor32(rng()), TColor32(rng()), TColor32(rng())};
        const uint32_t wx = uint32_t(rng() % 257), wy = uint32_t(rng() % 257);
        ASSERT_EQ(BlendBilinear_SSE(p[0], p[1], p[2], p[3], wx, wy), ExpectedSse(p[0], p[1], p[2], p[3], wx, wy));
    }
    // The extremes of every lane.
    for (uint32_t wx : {0u, 1u, 128u, 255u, 256u})
        for (uint32_t wy : {0u, 1u, 128u, 255u, 256u})
            for (TColor32 a : {0u, 0xFFFFFFFFu, 0x00FF00FFu})
                for (TColor32 b : {0u, 0xFFFFFFFFu, 0xFF00FF00u})
                    ASSERT_EQ(BlendBilinear_SSE(a, b, b, a, wx, wy), ExpectedSse(a, b, b, a, wx, wy));
}

TEST(RasterBlendBilinear, PortableVariantUsesTheBoundCombine) {
    std::mt19937 rng(2);
    for (uint32_t features : {0u, uint32_t(cfMMX)}) {
        RebindGuard guard(features);
        const bool mmx = (CpuFeatures() & features & cfMMX) != 0;
        for (int n = 0; n < 100000; ++n) {
            const TColor32 p[4] = {TColor32(rng()), TColor32(rng()), TColor32(rng()), TColor32(rng())};
            const uint32_t wx = uint32_t(rng() % 257), wy = uint32_t(rng() % 257);
            ASSERT_EQ(BlendBilinear_Portable(p[0], p[1], p[2], p[3], wx, wy),
                      ExpectedCombineBlend(p[0], p[1], p[2], p[3], wx, wy, mmx ? MmxCombine : PasCombine));
        }
    }
}

// Top value of 255 over 0 at WX = 256: the variants differ.
TEST(RasterBlendBilinear, VariantsDifferAtFullWeight) {
    // Rows equal, so the vertical stage changes nothing for SSE; with WY = 256
    // too, the combines see their weight limited to 255 on both stages.
    EXPECT_EQ(BlendBilinear_SSE(0xFF, 0, 0xFF, 0, 256, 256), 0xFFu);
    EXPECT_EQ(Combine_MMX(0xFF, 0, 255), 0xFEu);
    EXPECT_EQ(Combine_Portable(0xFF, 0, 255), 0xFFu);
    {
        RebindGuard guard(cfMMX);
        if (CpuFeatures() & cfMMX) {
            EXPECT_EQ(CombineTable().Bound(), Combine_MMX);
            // 254 on the top row, 0 on the bottom row, then weighted 255.
            EXPECT_EQ(BlendBilinear_Portable(0xFF, 0, 0xFF, 0, 256, 256) & 0xFF, MmxCombine(254, 254, 255));
        }
    }
    {
        RebindGuard guard(0);
        EXPECT_EQ(CombineTable().Bound(), Combine_Portable);
        EXPECT_EQ(BlendBilinear_Portable(0xFF, 0, 0xFF, 0, 256, 256) & 0xFF, 0xFFu);
    }
}

TEST(RasterBlendBilinear, HalfWeightTruncatesWithSseAndRoundsWithoutMmx) {
    EXPECT_EQ(BlendBilinear_SSE(0xFF, 0, 0xFF, 0, 128, 128), 127u);
    EXPECT_EQ(Combine_Portable(0xFF, 0, 128), 128u);
    EXPECT_EQ(Combine_MMX(0xFF, 0, 128), 128u);
}

TEST(RasterBlendBilinear, OpaqueAlphaStaysOpaqueWithSseAndMmx) {
    for (uint32_t wx = 0; wx <= 256; ++wx)
        for (uint32_t wy = 0; wy <= 256; wy += 4) {
            ASSERT_EQ(BlendBilinear_SSE(0xFF000000u, 0xFF123456u, 0xFFFFFFFFu, 0xFF000001u, wx, wy) >> 24, 255u);
            ASSERT_EQ(Combine_MMX(0xFF000000u, 0xFFABCDEFu, std::min(wx, 255u)) >> 24, 255u);
        }
    // The combine without MMX rounds each half on its own and loses one.
    EXPECT_EQ(Combine_Portable(0xFF000000u, 0xFF000000u, 1) >> 24, 254u);
}

TEST(RasterVariantTable, BindsTheLastRegisteredSupportedEntry) {
    TVariantTable<int> t;
    t.Add(1, 0, "base");
    t.Add(2, cfSSE, "sse");
    t.Add(3, cfSSE | cfAVX2, "avx2");
    t.Add(4, cfMMX, "mmx");
    t.Bind(0);
    EXPECT_EQ(t.Bound(), 1);
    t.Bind(cfSSE);
    EXPECT_EQ(t.Bound(), 2);
    t.Bind(cfSSE | cfAVX2);
    EXPECT_EQ(t.Bound(), 3);
    t.Bind(cfSSE | cfAVX2 | cfMMX);
    EXPECT_EQ(t.Bound(), 4);
    t.Bind(cfAVX2);
    EXPECT_EQ(t.Bound(), 1);
    EXPECT_STREQ(t.BoundName(), "base");
}

TEST(RasterVariantTable, RegistrationOrderOfTheBlendOperations) {
    ASSERT_EQ(BlendBilinearTable().Entries().size(), 2u);
    EXPECT_EQ(BlendBilinearTable().Entries()[0].Proc, BlendBilinear_Portable);
    EXPECT_EQ(BlendBilinearTable().Entries()[0].Needs, 0u);
    EXPECT_EQ(BlendBilinearTable().Entries()[1].Proc, BlendBilinear_SSE);
    EXPECT_EQ(BlendBilinearTable().Entries()[1].Needs, uint32_t(cfSSE));
    ASSERT_EQ(CombineTable().Entries().size(), 2u);
    EXPECT_EQ(CombineTable().Entries()[0].Proc, Combine_Portable);
    EXPECT_EQ(CombineTable().Entries()[1].Proc, Combine_MMX);
    EXPECT_EQ(CombineTable().Entries()[1].Needs, uint32_t(cfMMX));
}

TEST(RasterVariantTable, StartUpBindingFollowsTheProcessor) {
    const uint32_t f = CpuFeatures();
    // A run with VELMORA_CPU_VARIANTS=portable binds the portable variants
    // whatever the processor has.
    const uint32_t bound = cpubinding::PortableForced() ? 0u : f;
    EXPECT_EQ(BlendBilinearTable().Bound(), (bound & cfSSE) ? BlendBilinear_SSE : BlendBilinear_Portable);
    EXPECT_EQ(CombineTable().Bound(), (bound & cfMMX) ? Combine_MMX : Combine_Portable);
    if (bound == 0) {
        EXPECT_EQ(KernelRowTable().Bound(), KernelRow_Portable);
        EXPECT_EQ(BilinearRowTable().Bound().Horizontal, BilinearHorizontal_Portable);
    }
#if defined(__x86_64__)
    // Every x86-64 processor has MMX, SSE and SSE2.
    EXPECT_EQ(f & (cfMMX | cfSSE | cfSSE2), uint32_t(cfMMX | cfSSE | cfSSE2));
    EXPECT_EQ((f & cfAVX2) != 0, __builtin_cpu_supports("avx2") != 0);
#endif
    {
        RebindGuard guard(0);
        EXPECT_EQ(KernelRowTable().Bound(), KernelRow_Portable);
        EXPECT_EQ(BlendBilinearTable().Bound(), BlendBilinear_Portable);
    }
    EXPECT_EQ(BlendBilinearTable().Bound(), (bound & cfSSE) ? BlendBilinear_SSE : BlendBilinear_Portable);
}

}  // namespace

namespace {

// Row weights that add up to 256, in the patterns a reduction gives.
std::vector<uint32_t> RowWeights(int pattern, std::mt19937& rng) {
    switch (pattern) {
    case 0: return {256};                                    // a copied row
    case 1: return {41, 36, 31, 26, 21, 16, 10, 5, 41, 29};  // small: every pair fits
    case 2: return {100, 60, 60, 36};                        // 100 + 60 too much for one pair
    case 3: return {0, 128, 0, 128};                         // a weight of 128 is one too many
    case 4: return {127, 1, 127, 1};                         // pairs at the limit
    case 5: return std::vector<uint32_t>(128, 2);            // 64 pairs, the most taken two at a time
    case 6: return std::vector<uint32_t>(256, 1);            // more rows than pairs can hold
    default: {
        // Random small weights over 3..40 rows.
        std::vector<uint32_t> w(3 + rng() % 38, 0);
        for (uint32_t left = 256; left > 0; --left) ++w[rng() % w.size()];
        return w;
    }
    }
}

}  // namespace

// The accelerated row kernels against the sums written out: for every pattern
// of row weights (rows taken two at a time, one at a time, or both), every
// span (whole blocks of 16 pixels and the rest), the vertical sums in the
// buffer are the exact 16-bit sums, and the output pixels are the portable
// variant's.
TEST(RasterKernelRow, AcceleratedVariantsKeepTheExactSums) {
    std::mt19937 rng(17);
    std::vector<std::pair<const char*, TKernelRowProc>> variants;
    if (CpuFeatures() & cfSSE2) variants.emplace_back("sse2", KernelRow_SSE2);
    if (CpuFeatures() & cfAVX2) variants.emplace_back("avx2", KernelRow_AVX2);
    for (int pattern = 0; pattern < 12; ++pattern) {
        const std::vector<uint32_t> weights = RowWeights(pattern, rng);
        for (int32_t span : {1, 3, 4, 15, 16, 17, 47, 64, 133}) {
            SCOPED_TRACE(testing::Message() << "pattern " << pattern << ", span " << span);
            const int32_t taps = int32_t(weights.size());
            std::vector<std::vector<TColor32>> rows(weights.size(), std::vector<TColor32>(static_cast<size_t>(span)));
            std::vector<const TColor32*> rowPtrs;
            for (auto& r : rows) {
                for (TColor32& p : r) p = TColor32(rng());
                rowPtrs.push_back(r.data());
            }
            // One output pixel per column, reading that column and the next
            // (weights 200 and 56, or 256 at the last), padded to 4 samples.
            TFlatClusters cols;
            for (int32_t i = 0; i < span; ++i) {
                cols.Begin.push_back(int32_t(cols.Pos.size()));
                const bool last = i + 1 == span;
                cols.N.push_back(last ? 1 : 2);
                cols.Contiguous.push_back(1);
                for (int32_t k = 0; k < 4; ++k) {
                    const uint32_t w = last ? (k == 0 ? 256 : 0) : (k == 0 ? 200 : k == 1 ? 56 : 0);
                    cols.Pos.push_back(i + k);
                    cols.Weight.push_back(w);
                    for (int c = 0; c < 4; ++c) cols.Weight4.push_back(uint16_t(w));
                }
            }
            cols.Begin.push_back(int32_t(cols.Pos.size()));
            auto run = [&](TKernelRowProc proc, std::vector<uint64_t>& buffer) {
                buffer.assign(KernelBufferBytes(span) / 8 + 1, 0);
                std::vector<TColor32> out(static_cast<size_t>(span));
                TKernelRowArgs a{};
                a.Rows = rowPtrs.data();
                a.RowWeights = weights.data();
                a.Taps = taps;
                a.Span = span;
                a.Cols = &cols;
                a.Buffer = buffer.data();
                a.Out = out.data();
                proc(a);
                return out;
            };
            std::vector<uint64_t> buffer;
            const std::vector<TColor32> want = run(KernelRow_Portable, buffer);
            for (const auto& [name, proc] : variants) {
                SCOPED_TRACE(name);
                EXPECT_EQ(run(proc, buffer), want);
                const auto* sums = reinterpret_cast<const uint16_t*>(buffer.data());
                for (int32_t x = 0; x < span; ++x)
                    for (int c = 0; c < 4; ++c) {
                        uint32_t sum = 0;
                        for (int32_t k = 0; k < taps; ++k)
                            sum += weights[size_t(k)] * Ch(rows[size_t(k)][size_t(x)], c);
                        ASSERT_EQ(sums[4 * x + c], sum) << "column " << x << ", byte " << c;
                    }
            }
        }
    }
}
