#include "codecs/png/PngFormat.h"

#include <zlib.h>

#include <cstring>

const uint32_t* CrcTable() {
    static const auto table = [] {
        std::array<uint32_t, 256> t{};
        for (uint32_t n = 0; n < 256; ++n) {
            uint32_t c = n;
            for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
            t[n] = c;
        }
        return t;
    }();
    return table.data();
}

// zlib's crc32 computes the same polynomial as CrcTable() (many bytes per
// step); it takes and returns the register inverted.
uint32_t UpdateCrc(uint32_t crc, const void* data, size_t size) {
    const auto* p = static_cast<const Bytef*>(data);
    uLong c = ~crc & 0xFFFFFFFFu;
    while (size > 0) {
        const uInt n = size > 0x40000000u ? 0x40000000u : uInt(size);
        c = crc32(c, p, n);
        p += n;
        size -= n;
    }
    return ~uint32_t(c);
}

uint32_t ChunkCrc(const TChunkName& name, const void* data, size_t size) {
    return ~UpdateCrc(StartChunkCrc(name), data, size);
}

void WriteChunk(TStream& stream, const TChunkName& name, const uint8_t* data, uint32_t size) {
    uint8_t head[kChunkHeadSize];
    WriteBE32(head, size);
    std::memcpy(head + 4, name.data(), 4);
    stream.WriteBuffer(head, kChunkHeadSize);
    stream.WriteBuffer(data, size);
    uint8_t crc[kChunkCrcSize];
    WriteBE32(crc, ChunkCrc(name, data, size));
    stream.WriteBuffer(crc, kChunkCrcSize);
}
