// The byte-level framing of a PNG file: the signature, chunk names, the chunk
// head (big-endian length, then the name) and trailer (CRC-32 of name and
// data), the big-endian integers and the colour types of the header.
#pragma once

#include "platform/Stream.h"

#include <array>
#include <cstddef>
#include <cstdint>

using TChunkName = std::array<char, 4>;

constexpr TChunkName MakeChunkName(const char (&s)[5]) { return {s[0], s[1], s[2], s[3]}; }

inline constexpr uint8_t kPngSignature[8] = {0x89, 0x50, 0x4E, 0x47, 0x0D, 0x0A, 0x1A, 0x0A};
// The largest chunk length the format allows (2^31 - 1).
inline constexpr uint32_t kMaxChunkLength = 0x7FFFFFFFu;
// Bytes of a chunk head (length and name) and of its CRC.
inline constexpr size_t kChunkHeadSize = 8;
inline constexpr size_t kChunkCrcSize = 4;

// Colour types of the header chunk.
enum : uint8_t {
    COLOR_GRAYSCALE = 0,
    COLOR_RGB = 2,
    COLOR_PALETTE = 3,
    COLOR_GRAYSCALEALPHA = 4,
    COLOR_RGBALPHA = 6,
};

inline uint32_t ReadBE32(const uint8_t* p) {
    return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | p[3];
}
inline uint16_t ReadBE16(const uint8_t* p) { return uint16_t(p[0] << 8 | p[1]); }
inline void WriteBE32(uint8_t* p, uint32_t v) {
    p[0] = uint8_t(v >> 24);
    p[1] = uint8_t(v >> 16);
    p[2] = uint8_t(v >> 8);
    p[3] = uint8_t(v);
}

// CRC-32 of the PNG format (reflected, polynomial 0xEDB88320). Start with
// 0xFFFFFFFF, feed bytes with UpdateCrc, complement at the end.
uint32_t UpdateCrc(uint32_t crc, const void* data, size_t size);
// The 256-entry CRC-32 table of the PNG standard (polynomial 0xEDB88320);
// UpdateCrc gives the same register as stepping through it byte by byte.
const uint32_t* CrcTable();
// The finished CRC of a chunk: over its name, then its data.
uint32_t ChunkCrc(const TChunkName& name, const void* data, size_t size);
// The register after a chunk's name, ready to take its data.
inline uint32_t StartChunkCrc(const TChunkName& name) { return UpdateCrc(0xFFFFFFFFu, name.data(), 4); }

// A chunk head as it stands in the file.
struct TChunkHead {
    uint32_t length = 0;
    TChunkName name{};
};
inline TChunkHead ParseChunkHead(const uint8_t (&head)[kChunkHeadSize]) {
    return {ReadBE32(head), {char(head[4]), char(head[5]), char(head[6]), char(head[7])}};
}

// Writes one whole chunk: head, data, CRC.
void WriteChunk(TStream& stream, const TChunkName& name, const uint8_t* data, uint32_t size);
