// The AVIF writer at 2048x1536 (a typical web output) and the HEIF reader on
// a 12-megapixel HEIC, on a synthetic photograph: smooth light, texture at
// several scales and fine grain, so the encoders work as hard as on a photo.
// Run on one core: taskset -c 0 nice -n 19 velmora-bench-heif
#include "codecs/heif/HeifFormat.h"

#include <benchmark/benchmark.h>
#include <libheif/heif.h>

#include <cmath>
#include <cstdint>
#include <vector>

namespace {

uint32_t Hash(uint32_t x, uint32_t y, uint32_t seed) {
    uint32_t h = x * 374761393u + y * 668265263u + seed * 2246822519u;
    h = (h ^ (h >> 13)) * 1274126177u;
    return h ^ (h >> 16);
}

// Value noise: a lattice of random levels every `cell` pixels, blended.
double Noise(int x, int y, int cell, uint32_t seed) {
    const int cx = x / cell, cy = y / cell;
    const double fx = double(x % cell) / cell, fy = double(y % cell) / cell;
    auto v = [&](int i, int j) { return double(Hash(uint32_t(cx + i), uint32_t(cy + j), seed) & 0xFFFF) / 65535.0; };
    const double top = v(0, 0) + (v(1, 0) - v(0, 0)) * fx, bottom = v(0, 1) + (v(1, 1) - v(0, 1)) * fx;
    return top + (bottom - top) * fy;
}

std::vector<uint32_t> Photo(int w, int h) {
    std::vector<uint32_t> px(size_t(w) * size_t(h));
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const double light = 0.35 + 0.5 * double(y) / h;
            double c[3];
            for (int k = 0; k < 3; ++k) {
                const uint32_t seed = uint32_t(k * 7 + 1);
                c[k] = light * (0.5 * Noise(x, y, 256, seed) + 0.3 * Noise(x, y, 32, seed + 1) +
                                0.2 * Noise(x, y, 4, seed + 2)) +
                       double(int(Hash(uint32_t(x), uint32_t(y), seed + 3) % 13) - 6) / 255.0;
            }
            auto u8 = [](double v) { return uint32_t(std::lround(std::fmin(1.0, std::fmax(0.0, v)) * 255)); };
            px[size_t(y) * size_t(w) + size_t(x)] = 0xFF000000u | u8(c[0]) << 16 | u8(c[1]) << 8 | u8(c[2]);
        }
    return px;
}

void BM_AvifWrite2048x1536(benchmark::State& state) {
    const int w = 2048, h = 1536;
    const std::vector<uint32_t> photo = Photo(w, h);
    size_t bytes = 0;
    for (auto _ : state) {
        TMemoryStream out;
        const auto writer = NewAvifWriter();
        writer->Begin(w, h, {}, {}, out);
        for (int y = 0; y < h; ++y) writer->WriteRow(&photo[size_t(y) * size_t(w)]);
        writer->End();
        bytes = out.Bytes().size();
    }
    state.counters["bytes"] = double(bytes);
}
BENCHMARK(BM_AvifWrite2048x1536)->Unit(benchmark::kMillisecond)->Iterations(3);

// A 4000x3000 HEIC made once through libheif's HEVC encoder.
const std::vector<uint8_t>& Heic12MP() {
    static const std::vector<uint8_t> file = [] {
        const int w = 4000, h = 3000;
        const std::vector<uint32_t> photo = Photo(w, h);
        heif_image* image = nullptr;
        heif_image_create(w, h, heif_colorspace_RGB, heif_chroma_interleaved_RGB, &image);
        heif_image_add_plane(image, heif_channel_interleaved, w, h, 8);
        int stride = 0;
        uint8_t* plane = heif_image_get_plane(image, heif_channel_interleaved, &stride);
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x)
                for (int k = 0; k < 3; ++k)
                    plane[size_t(y) * size_t(stride) + size_t(x) * 3 + size_t(k)] =
                        uint8_t(photo[size_t(y) * size_t(w) + size_t(x)] >> (16 - 8 * k));
        heif_context* ctx = heif_context_alloc();
        heif_encoder* encoder = nullptr;
        heif_context_get_encoder_for_format(ctx, heif_compression_HEVC, &encoder);
        heif_encoder_set_lossy_quality(encoder, 80);
        heif_context_encode_image(ctx, image, encoder, nullptr, nullptr);
        std::vector<uint8_t> bytes;
        heif_writer writer{1, [](heif_context*, const void* data, size_t size, void* user) {
                               auto* out = static_cast<std::vector<uint8_t>*>(user);
                               out->insert(out->end(), static_cast<const uint8_t*>(data),
                                           static_cast<const uint8_t*>(data) + size);
                               return heif_error{heif_error_Ok, heif_suberror_Unspecified, ""};
                           }};
        heif_context_write(ctx, &writer, &bytes);
        heif_encoder_release(encoder);
        heif_image_release(image);
        heif_context_free(ctx);
        return bytes;
    }();
    return file;
}

struct TDiscardRows : TRowTarget {
    std::vector<uint32_t> row;
    uint64_t sum = 0;
    uint32_t* NextRow() override { return row.data(); }
    void Push() override { sum += row[0]; }
};

void BM_HeicRead12MP(benchmark::State& state) {
    const std::vector<uint8_t>& file = Heic12MP();
    for (auto _ : state) {
        TMemoryStream in(file);
        const auto reader = NewHeifReader();
        reader->ReadHeader(in);
        TDiscardRows rows;
        rows.row.resize(size_t(reader->Width()));
        reader->ReadRows(rows);
        benchmark::DoNotOptimize(rows.sum);
    }
}
BENCHMARK(BM_HeicRead12MP)->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace

BENCHMARK_MAIN();
