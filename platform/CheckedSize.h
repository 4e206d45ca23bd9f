// Size arithmetic for pixel buffers: every width x height x bytes product in the
// project goes through these helpers, so that a hostile header can never wrap
// a multiplication or ask for more memory than a photo tool reasonably needs.
#pragma once

#include <cstddef>
#include <cstdint>
#include <limits>

namespace velmora {

// Largest pixel count any picture may have: 2^29 pixels (2 GiB as 32-bit
// pixels, e.g. 23000 x 23000). Larger pictures are refused before allocating.
inline constexpr uint64_t kMaxPixels = uint64_t(1) << 29;

// Bytes of one row of `width` pixels at `bitsPerPixel`, padded to 4 bytes.
// Returns false when width is negative or the result does not fit.
inline bool PaddedRowBytes(int64_t width, int bitsPerPixel, uint64_t& out) {
    if (width < 0 || bitsPerPixel <= 0 || bitsPerPixel > 64) return false;
    const uint64_t bits = uint64_t(width) * uint64_t(bitsPerPixel);  // < 2^38
    out = ((bits + 31) & ~uint64_t(31)) / 8;
    return true;
}

// True when a width x height picture is within kMaxPixels (both >= 0).
inline bool PixelCountOk(int64_t width, int64_t height) {
    if (width < 0 || height < 0) return false;
    if (width == 0 || height == 0) return true;
    if (uint64_t(width) > kMaxPixels || uint64_t(height) > kMaxPixels) return false;
    return uint64_t(width) * uint64_t(height) <= kMaxPixels;
}

// Work bounded by the data: deflate cannot expand its input more than 1032
// times (a 258-byte match costs at least 2 bits), and the raw and run-length
// encodings expand far less, so a picture whose stored form would need more
// than 1032 bytes per byte of data present cannot be in that data. Such a
// header is refused before any pixel memory is allocated. Small pictures are
// always allowed (the allowance), so a short file of a small picture still
// reads as far as its data goes.
inline constexpr uint64_t kMaxExpansion = 1032;
inline constexpr uint64_t kExpansionAllowance = uint64_t(1) << 16;

// True when dataBytes of stored data can hold a picture of pictureBytes.
inline bool DataCanHold(uint64_t pictureBytes, uint64_t dataBytes) {
    if (dataBytes >= (uint64_t(1) << 48)) return true;
    return pictureBytes <= dataBytes * kMaxExpansion + kExpansionAllowance;
}

// a * b into out, false on overflow of size_t.
inline bool CheckedMul(uint64_t a, uint64_t b, size_t& out) {
    if (a != 0 && b > std::numeric_limits<size_t>::max() / a) return false;
    out = size_t(a * b);
    return true;
}

}  // namespace velmora
