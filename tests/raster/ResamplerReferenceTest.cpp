// A second, deliberately plain implementation of the whole resample, written
// only for this test: per destination pixel, long double intermediates with
// float rounding points, no buffers, no tables shared with the code under
// test. The fast code must match it byte for byte.
#include "TestRaster.h"
#include "tests/support/PixelDiff.h"

#include "raster/Bitmap32.h"
#include "raster/CpuVariants.h"
#include "raster/LinearResampler.h"
#include "raster/Transfer.h"
#include "tests/support/CpuBinding.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <vector>

namespace {

using LD = long double;

struct Sample {
    long long pos;
    long long weight;
};

float Triangle(float v) {
    const LD x = v;
    if (x < -1) return 0;
    if (x < 0) return float(1 + x);
    if (x < 1) return float(1 - x);
    return 0;
}

// The samples of destination index d (0-based from DstLo) of an axis.
std::vector<Sample> KernelSamples(long long d, long long dstW, long long srcLo, long long srcW) {
    std::vector<Sample> out;
    if (srcW == 1) return {{srcLo, 256}};
    const float scale = float(LD(dstW) / LD(srcW));
    const float step = float(1.0L / LD(scale));
    const bool shrink = scale < 1;
    const float reach = shrink ? float(LD(1.0f) * LD(step)) : 1.0f;
    const float X = float((LD(d) + 0.5L) * LD(step) + (LD(srcLo) - 0.5L));
    for (long long J = (long long)floorl(LD(X) - LD(reach)); J <= (long long)ceill(LD(X) + LD(reach)); ++J) {
        long long w;
        if (shrink)
            w = llrintl(LD(Triangle(float((LD(X) - LD(J)) * LD(scale)))) * 256.0L * LD(scale));
        else
            w = llrintl(LD(Triangle(float(LD(X) - LD(J)))) * 256.0L);
        if (w == 0) continue;
        out.push_back({std::min(std::max(J, srcLo), srcLo + srcW - 1), w});
    }
    if (out.empty()) return {{(long long)floorl(LD(X)), 256}};
    long long sum = 0;
    for (const Sample& s : out) sum += s.weight;
    out[(out.size() - 1) / 2].weight -= sum - 256;
    return out;
}

// (left/upper index, weight of it) for destination index d of an axis.
Sample BilinearEntry(long long d, long long dstW, long long srcLo, long long srcHi, long long srcSize,
                     long long lastD) {
    auto raw = [&](long long k) {
        const float sX = float(LD(float(srcHi - srcLo)) / LD(dstW));
        float t = float((LD(k) + 0.5L) * LD(sX) + (LD(srcLo) - 0.5L));
        if (t < 0) t = 0;
        else if (LD(t) > LD(srcSize - 1)) t = float(srcSize - 1);
        const LD f = floorl(LD(t));
        return Sample{(long long)f, 256 - llrintl((LD(t) - f) * 256.0L)};
    };
    // The right-edge rule: an entry on the last index, with only such
    // entries after it, steps one to the left with weight 0.
    Sample s = raw(d);
    bool trailing = true;
    for (long long k = d; k <= lastD && trailing; ++k) trailing = raw(k).pos == srcHi - 1;
    if (trailing) s = {s.pos - 1, 0};
    return s;
}

enum class Blend { Sse, Mmx, NoMmx };

uint32_t Ch(TColor32 c, int i) { return (c >> (8 * i)) & 0xFF; }

uint32_t Mix(uint32_t x, uint32_t y, uint32_t w, Blend b) {
    switch (b) {
    case Blend::Sse: return (x * w + y * (256 - w)) / 256;
    case Blend::Mmx: return (x * w + y * (256 - w) + 128) / 256;
    case Blend::NoMmx:
        if (w == 0) return y;
        if (w == 255) return x;
        return (x * w + 128) / 256 + (y * (255 - w) + 128) / 256;
    }
    return 0;
}

// Draws src (rect sr) into dst (rect dr, clip dc already inside dst and dr).
void ReferenceResample(const TBitmap32& src, TRect sr, TBitmap32& dst, TRect dr, TRect dc, Blend blend) {
    const long long sw = sr.Width(), sh = sr.Height(), dw = dr.Width(), dh = dr.Height();
    const bool bilinear = dw > sw && dh > sh && sw > 1 && sh > 1;
    for (int32_t y = dc.Top; y < dc.Bottom; ++y)
        for (int32_t x = dc.Left; x < dc.Right; ++x) {
            TColor32 out = 0;
            if (bilinear) {
                const Sample cx = BilinearEntry(x - dr.Left, dw, sr.Left, sr.Right, src.Width(), dc.Right - 1 - dr.Left);
                const Sample cy = BilinearEntry(y - dr.Top, dh, sr.Top, sr.Bottom, src.Height(), dc.Bottom - 1 - dr.Top);
                uint32_t wx = uint32_t(cx.weight), wy = uint32_t(cy.weight);
                if (blend != Blend::Sse) {
                    wx = std::min(wx, 255u);
                    wy = std::min(wy, 255u);
                }
                const TColor32 p00 = src.Pixel(int32_t(cx.pos), int32_t(cy.pos));
                const TColor32 p10 = src.Pixel(int32_t(cx.pos + 1), int32_t(cy.pos));
                const TColor32 p01 = src.Pixel(int32_t(cx.pos), int32_t(cy.pos + 1));
                const TColor32 p11 = src.Pixel(int32_t(cx.pos + 1), int32_t(cy.pos + 1));
                for (int c = 0; c < 4; ++c) {
                    const uint32_t top = Mix(Ch(p00, c), Ch(p10, c), wx, blend);
                    const uint32_t bottom = Mix(Ch(p01, c), Ch(p11, c), wx, blend);
                    out |= Mix(top, bottom, wy, blend) << (8 * c);
                }
            } else {
                const auto cols = KernelSamples(x - dr.Left, dw, sr.Left, sw);
                const auto rows = KernelSamples(y - dr.Top, dh, sr.Top, sh);
                for (int c = 0; c < 4; ++c) {
                    long long sum = 0;
                    for (const Sample& cs : cols) {
                        long long vertical = 0;
                        for (const Sample& rs : rows)
                            vertical += rs.weight * Ch(src.Pixel(int32_t(cs.pos), int32_t(rs.pos)), c);
                        sum += cs.weight * vertical;
                    }
                    out |= TColor32(((uint64_t(sum) & 0x00FF0000u) >> 16) << (8 * c));
                }
            }
            dst.Pixel(x, y) = out;
        }
}

using RebindGuard = cpubinding::TRebindGuard;

struct Binding {
    uint32_t features;
    Blend blend;
    const char* name;
};

class RasterResampleAgainstReference : public ::testing::TestWithParam<Binding> {};

// Random sizes 1..40 both ways, random contents (alpha included), whole
// destination.
TEST_P(RasterResampleAgainstReference, RandomSizesWholeDestination) {
    const Binding b = GetParam();
    RebindGuard guard(b.features);
    std::mt19937 rng(42);
    for (int n = 0; n < 400; ++n) {
        TBitmap32 src, have, want;
        src.SetSize(int32_t(1 + rng() % 40), int32_t(1 + rng() % 40));
        rastertest::FillRandom(src, rng);
        have.SetSize(int32_t(1 + rng() % 40), int32_t(1 + rng() % 40));
        want.SetSize(have.Width(), have.Height());
        TLinearResampler::Attach(src);
        src.DrawTo(have, have.BoundsRect());
        if (have.Width() == src.Width() && have.Height() == src.Height()) {
            ASSERT_EQ(rastertest::Pixels(have), rastertest::Pixels(src));
            continue;
        }
        ReferenceResample(src, src.BoundsRect(), want, want.BoundsRect(), want.BoundsRect(), b.blend);
        ASSERT_EQ(testsupport::FirstDifference(rastertest::Pixels(have), rastertest::Pixels(want), have.Width()), "")
            << src.Width() << "x" << src.Height() << " -> " << have.Width() << "x" << have.Height();
    }
}

// A destination rectangle that is offset and reaches outside the raster, and
// a clip rectangle: only clip pixels change, and they are the pixels of the
// full resample.
TEST_P(RasterResampleAgainstReference, OffsetRectanglesAndClip) {
    const Binding b = GetParam();
    RebindGuard guard(b.features);
    std::mt19937 rng(7);
    for (int n = 0; n < 200; ++n) {
        TBitmap32 src, have, want;
        src.SetSize(int32_t(1 + rng() % 30), int32_t(1 + rng() % 30));
        rastertest::FillRandom(src, rng);
        have.SetSize(int32_t(1 + rng() % 40), int32_t(1 + rng() % 40));
        want.SetSize(have.Width(), have.Height());
        for (int32_t i = 0; i < have.Width() * have.Height(); ++i) have.Bits()[i] = want.Bits()[i] = 0xDEADBEEFu;
        const int32_t dx0 = int32_t(rng() % 21) - 10, dy0 = int32_t(rng() % 21) - 10;
        const TRect dr(dx0, dy0, dx0 + int32_t(1 + rng() % 50), dy0 + int32_t(1 + rng() % 50));
        const int32_t cx0 = int32_t(rng() % uint32_t(have.Width())), cy0 = int32_t(rng() % uint32_t(have.Height()));
        have.SetClipRect(TRect(cx0, cy0, cx0 + int32_t(1 + rng() % 40), cy0 + int32_t(1 + rng() % 40)));
        TLinearResampler::Attach(src);
        src.DrawTo(have, dr);
        const TRect dc = IntersectRect(IntersectRect(have.ClipRect(), have.BoundsRect()), dr);
        if (!dc.IsEmpty()) {
            if (dr.Width() == src.Width() && dr.Height() == src.Height()) {
                for (int32_t y = dc.Top; y < dc.Bottom; ++y)
                    for (int32_t x = dc.Left; x < dc.Right; ++x) want.Pixel(x, y) = src.Pixel(x - dr.Left, y - dr.Top);
            } else {
                ReferenceResample(src, src.BoundsRect(), want, dr, dc, b.blend);
            }
        }
        ASSERT_EQ(testsupport::FirstDifference(rastertest::Pixels(have), rastertest::Pixels(want), have.Width()), "")
            << "src " << src.Width() << "x" << src.Height() << " rect " << dr.Left << "," << dr.Top << "," << dr.Right
            << "," << dr.Bottom << " clip " << dc.Left << "," << dc.Top << "," << dc.Right << "," << dc.Bottom;
    }
}

// A source rectangle strictly inside the source raster: the tables start at
// its corner and the right/bottom edge rule works on its last column/row.
TEST_P(RasterResampleAgainstReference, SourceSubRectangles) {
    const Binding b = GetParam();
    RebindGuard guard(b.features);
    std::mt19937 rng(13);
    for (int n = 0; n < 200; ++n) {
        TBitmap32 src, have, want;
        src.SetSize(int32_t(2 + rng() % 30), int32_t(2 + rng() % 30));
        rastertest::FillRandom(src, rng);
        const int32_t sx0 = int32_t(rng() % uint32_t(src.Width())), sy0 = int32_t(rng() % uint32_t(src.Height()));
        const TRect sr(sx0, sy0, sx0 + 1 + int32_t(rng() % uint32_t(src.Width() - sx0)),
                       sy0 + 1 + int32_t(rng() % uint32_t(src.Height() - sy0)));
        have.SetSize(int32_t(1 + rng() % 40), int32_t(1 + rng() % 40));
        want.SetSize(have.Width(), have.Height());
        TLinearResampler::Attach(src);
        TransferScaled(&have, have.BoundsRect(), have.BoundsRect(), &src, sr, src.Resampler(), TDrawMode::dmOpaque,
                       nullptr);
        if (sr.Width() == have.Width() && sr.Height() == have.Height()) continue;
        ReferenceResample(src, sr, want, want.BoundsRect(), want.BoundsRect(), b.blend);
        ASSERT_EQ(testsupport::FirstDifference(rastertest::Pixels(have), rastertest::Pixels(want), have.Width()), "")
            << "src " << src.Width() << "x" << src.Height() << " rect " << sr.Left << "," << sr.Top << "," << sr.Right
            << "," << sr.Bottom << " -> " << have.Width() << "x" << have.Height();
    }
}

INSTANTIATE_TEST_SUITE_P(Bindings, RasterResampleAgainstReference,
                         ::testing::Values(Binding{velmora::kAllCpuFeatures, Blend::Sse, "all"},
                                           Binding{velmora::cfMMX | velmora::cfSSE, Blend::Sse, "sse"},
                                           Binding{velmora::cfMMX, Blend::Mmx, "mmx"},
                                           Binding{0, Blend::NoMmx, "none"}),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
