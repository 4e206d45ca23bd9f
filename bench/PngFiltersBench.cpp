// PNG scan-line filters on lines of a 12 MP RGB picture (4000 pixels, 12000
// bytes), per processor variant: undoing each filter type, and the writer's
// filtering with its default set [Sub] and with all five filters scored.
// Run e.g.
//   nice -n 19 velmora-bench-png-filters --benchmark_repetitions=5 --benchmark_report_aggregates_only=true
#include "codecs/png/PngFilters.h"
#include "raster/CpuVariants.h"

#include <benchmark/benchmark.h>

#include <cstdint>
#include <vector>

using namespace velmora;
using namespace velmora::png;

namespace {

constexpr size_t kLine = 12000;
constexpr size_t kOffset = 3;

// A photograph-like line: smooth ramps with a little noise.
std::vector<uint8_t> Line(uint32_t seed) {
    std::vector<uint8_t> line(kLine);
    for (size_t i = 0; i < kLine; ++i) {
        seed = seed * 1664525u + 1013904223u;
        line[i] = uint8_t(i / 3 / 16 + (i % 3) * 40 + (seed >> 29));
    }
    return line;
}

// args: filter type, feature mask
void BM_Unfilter(benchmark::State& state) {
    RebindCpuVariants(uint32_t(state.range(1)));
    const auto type = unsigned(state.range(0));
    std::vector<uint8_t> line = Line(1);
    const std::vector<uint8_t> prior = Line(2);
    for (auto _ : state) {
        UnfilterLine(type, line.data(), prior.data(), kLine, kOffset);
        benchmark::ClobberMemory();
    }
    RebindCpuVariants(CpuFeatures());
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(kLine));
}

// args: 1 for all five filters, 0 for [Sub]; feature mask
void BM_ChooseFilter(benchmark::State& state) {
    RebindCpuVariants(uint32_t(state.range(1)));
    const TFilters filters =
        state.range(0) ? TFilters{TFilter::pfNone, TFilter::pfSub, TFilter::pfUp, TFilter::pfAverage, TFilter::pfPaeth}
                       : TFilters{TFilter::pfSub};
    TRowFilter filter(filters, kLine, kOffset);
    const std::vector<uint8_t> raw = Line(3), prior = Line(4);
    for (auto _ : state) {
        const uint8_t* bytes = nullptr;
        benchmark::DoNotOptimize(filter.Choose(raw.data(), prior.data(), kLine, bytes));
        benchmark::DoNotOptimize(bytes);
    }
    RebindCpuVariants(CpuFeatures());
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(kLine));
}

constexpr int64_t kAll = kAllCpuFeatures;
constexpr int64_t kSse2 = cfMMX | cfSSE | cfSSE2;
constexpr int64_t kPortable = 0;

void Types(benchmark::internal::Benchmark* b) {
    for (int64_t f : {kAll, kSse2, kPortable})
        for (int64_t type = 1; type <= 4; ++type) b->Args({type, f});
}

void Sets(benchmark::internal::Benchmark* b) {
    for (int64_t f : {kAll, kSse2, kPortable})
        for (int64_t all : {0, 1}) b->Args({all, f});
}

}  // namespace

BENCHMARK(BM_Unfilter)->Apply(Types)->ArgNames({"type", "cpu"});
BENCHMARK(BM_ChooseFilter)->Apply(Sets)->ArgNames({"all", "cpu"});
BENCHMARK_MAIN();
