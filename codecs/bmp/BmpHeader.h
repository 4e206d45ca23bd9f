// The headers of a Windows bitmap file: layout constants, little-endian
// reads, the one parser of the info header and the checks every reader of a
// bitmap applies before allocating anything from the header's numbers.
#pragma once

#include <cstdint>

namespace velmora::bmp {

inline constexpr uint16_t kSignature = 0x4D42;  // "BM"
inline constexpr uint32_t kFileHeaderSize = 14;
inline constexpr uint32_t kCoreHeaderSize = 12;
inline constexpr uint32_t kInfoHeaderSize = 40;
inline constexpr uint32_t kHeadersSize = kFileHeaderSize + kInfoHeaderSize;  // 54
inline constexpr uint32_t kLargestHeaderSize = 124;

enum : uint32_t { kRgb = 0, kRle8 = 1, kRle4 = 2, kBitFields = 3 };

inline uint16_t ReadLE16(const uint8_t* p) { return uint16_t(p[0] | p[1] << 8); }
inline uint32_t ReadLE32(const uint8_t* p) {
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

// The file header's fields that a reader uses.
struct FileHeader {
    uint16_t signature = 0;
    uint32_t offBits = 0;  // where the file says the pixel array begins
};

// raw: the 14 bytes of the file header.
FileHeader ParseFileHeader(const uint8_t* raw);

// The fields of a core or info header that the readers use, a core header
// widened to the info layout (everything it lacks is 0).
struct InfoHeader {
    uint32_t size = 0;
    int64_t width = 0;
    int64_t height = 0;  // negative: rows stored top-down
    uint16_t planes = 0;
    uint16_t bitCount = 0;
    uint32_t compression = kRgb;
    uint32_t sizeImage = 0;
    uint32_t clrUsed = 0;
    bool core = false;
    uint32_t masks[3] = {0, 0, 0};  // red, green, blue; only in headers longer than 40 bytes

    int64_t Rows() const { return height < 0 ? -height : height; }
};

// Parses a header from its first `available` bytes, size field included. A
// 12-byte size is a core header (12 bytes needed); any other size is read as
// an info header (40 bytes needed), with the colour masks when the size and
// the bytes available reach past 52.
InfoHeader ParseInfoHeader(const uint8_t* raw, uint32_t available);

// EInvalidGraphic "Bitmap image is not valid".
[[noreturn]] void NotValid();

// Refuses every combination of planes, bit count and compression that the
// reader does not decode, and pictures whose pixel count is beyond what the
// machine may hold: EInvalidGraphic "Bitmap image is not valid".
void Validate(const InfoHeader& h);

// Offset of the pixel array from the start of the file. The file header's
// offset field is trusted when it points at or past the end of the headers
// and colour table (headersEnd) and not past the end of the file; otherwise
// the pixel array is taken to follow the headers and table directly.
inline uint64_t PixelArrayOffset(uint32_t offBits, uint64_t headersEnd, uint64_t fileSize) {
    if (offBits >= headersEnd && offBits <= fileSize) return offBits;
    return headersEnd;
}

}  // namespace velmora::bmp
