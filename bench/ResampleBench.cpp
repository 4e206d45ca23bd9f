// Whole-image resampling through TBitmap32::DrawTo with the linear resampler,
// one thread. Run e.g.
//   velmora-bench-resample --benchmark_repetitions=9 --benchmark_report_aggregates_only=true
#include "raster/Bitmap32.h"
#include "raster/CpuVariants.h"
#include "raster/LinearResampler.h"
#include "raster/StreamResampler.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdint>
#include <memory>

namespace {

// Deterministic picture with smooth gradients and some noise in every channel.
void Fill(TBitmap32& b) {
    uint32_t s = 0x12345678u;
    for (int32_t y = 0; y < b.Height(); ++y) {
        TColor32* row = b.ScanLine(y);
        for (int32_t x = 0; x < b.Width(); ++x) {
            s = s * 1664525u + 1013904223u;
            const uint32_t n = s >> 28;
            row[x] = Color32(uint8_t(x + n), uint8_t(y + n), uint8_t((x ^ y) + n), uint8_t(255 - (n & 3)));
        }
    }
}

// args: source w, h, destination w, h, feature mask (all = the start-up binding)
void BM_DrawTo(benchmark::State& state) {
    TBitmap32 src, dst;
    src.SetSize(int32_t(state.range(0)), int32_t(state.range(1)));
    dst.SetSize(int32_t(state.range(2)), int32_t(state.range(3)));
    Fill(src);
    TLinearResampler::Attach(src);
    velmora::RebindCpuVariants(uint32_t(state.range(4)));
    for (auto _ : state) {
        src.DrawTo(dst, dst.BoundsRect());
        benchmark::DoNotOptimize(dst.Bits());
        benchmark::ClobberMemory();
    }
    velmora::RebindCpuVariants(velmora::CpuFeatures());
    state.SetItemsProcessed(state.iterations() * state.range(2) * state.range(3));
}

// The same through the row-by-row resampler, each source row copied in from
// a whole picture as a decoder would write it.
void BM_Stream(benchmark::State& state) {
    TBitmap32 src;
    const auto sw = int32_t(state.range(0)), sh = int32_t(state.range(1));
    src.SetSize(sw, sh);
    Fill(src);
    velmora::RebindCpuVariants(uint32_t(state.range(4)));
    uint64_t check = 0;
    for (auto _ : state) {
        TStreamResampler r(sw, sh, int32_t(state.range(2)), int32_t(state.range(3)),
                           [&check](int32_t, const TColor32* row) { check += row[0]; });
        for (int32_t y = 0; y < sh; ++y) {
            std::copy_n(src.ScanLine(y), sw, r.NextRow());
            r.Push();
        }
    }
    benchmark::DoNotOptimize(check);
    velmora::RebindCpuVariants(velmora::CpuFeatures());
    state.SetItemsProcessed(state.iterations() * state.range(2) * state.range(3));
}

constexpr int64_t kAll = velmora::kAllCpuFeatures;
constexpr int64_t kSse2 = velmora::cfMMX | velmora::cfSSE | velmora::cfSSE2;
constexpr int64_t kPortable = 0;

void Sizes(benchmark::internal::Benchmark* b) {
    for (int64_t f : {kAll, kSse2, kPortable}) {
        b->Args({4000, 3000, 640, 480, f});      // kernel path, strong reduction
        b->Args({100, 75, 4064, 3048, f});       // bilinear path
        b->Args({4000, 3000, 3008, 2256, f});    // kernel path, mild reduction
    }
}

}  // namespace

BENCHMARK(BM_DrawTo)->Apply(Sizes)->ArgNames({"sw", "sh", "dw", "dh", "cpu"})->Unit(benchmark::kMillisecond)
    ->UseRealTime();

BENCHMARK(BM_Stream)->Apply(Sizes)->ArgNames({"sw", "sh", "dw", "dh", "cpu"})->Unit(benchmark::kMillisecond);
BENCHMARK_MAIN();
