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

// a * b into out, false on overflow of size_t.
inline bool CheckedMul(uint64_t a, uint64_t b, size_t& out) {
    if (a != 0 && b > std::numeric_limits<size_t>::max() / a) return false;
    out = size_t(a * b);
    return true;
}

}  // namespace velmora
