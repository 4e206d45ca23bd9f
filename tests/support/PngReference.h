// Test-only helpers: a small PNG decoder written straight from the format
// (whole-stream inflate, then de-filtering and de-interlacing into plain
// sample arrays), the display rules applied to its result, and a builder of
// hand-made PNG files.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace pngref {

struct Image {
    uint32_t width = 0, height = 0;
    int colorType = 0, depth = 0, interlace = 0;
    // Samples of each pixel, top row first: 1 to 4 channels at full precision.
    std::vector<std::array<uint16_t, 4>> pixels;
    std::vector<std::array<uint8_t, 3>> palette;
    std::vector<uint8_t> trns;
    bool hasTrns = false;
    uint32_t gammaAtPalette = 0, gammaAtData = 0;  // 0: no gAMA in effect
};

// Throws std::runtime_error on anything it does not understand.
Image Decode(const std::vector<uint8_t>& file);

// Display table for a gAMA value (0: identity), display gamma 2.2.
std::array<uint8_t, 256> GammaTable(uint32_t gamma);

// The picture composited over opaque white by the object's drawing rules,
// as 0x00RRGGBB per pixel.
std::vector<uint32_t> OverWhite(const Image& image);

// The predictor of filter type `filter` from the bytes left (a), above (b)
// and upper left (c); 0 for type 0 and unknown types.
int Predict(int filter, int a, int b, int c);

std::vector<uint8_t> ReadFile(const std::string& path);

// Inflates a whole zlib stream.
std::vector<uint8_t> Inflate(const std::vector<uint8_t>& data);

// Hand-made files.
class Builder {
public:
    Builder();
    Builder& Chunk(const std::string& type, const std::vector<uint8_t>& data);
    Builder& ChunkBadCrc(const std::string& type, const std::vector<uint8_t>& data);
    Builder& Raw(const std::vector<uint8_t>& bytes);
    Builder& Ihdr(uint32_t w, uint32_t h, uint8_t depth, uint8_t colorType, uint8_t interlace = 0,
                  uint8_t compression = 0);
    Builder& Iend() { return Chunk("IEND", {}); }
    std::vector<uint8_t> bytes;
};

std::vector<uint8_t> Deflate(const std::vector<uint8_t>& raw, int level = 6);
void PutBE32(std::vector<uint8_t>& out, uint32_t v);

struct RawChunk {
    std::string type;
    std::vector<uint8_t> data;
    uint32_t crc = 0;
};
// Splits a file after its signature into chunks (no checks).
std::vector<RawChunk> Chunks(const std::vector<uint8_t>& file);

}  // namespace pngref
