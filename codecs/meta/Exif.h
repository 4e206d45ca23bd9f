// EXIF blocks: the TIFF structure a camera stores in a JPEG's APP1 "Exif"
// segment or a PNG's eXIf chunk (byte-order mark, IFD0, its sub-IFDs and
// IFD1 with the thumbnail).
//
// Both entry points only ever read inside the block they are given: every
// offset and count is checked against the block size in 64-bit arithmetic
// before it is used, and IFD links are followed a bounded number of times
// with a visited set, so a block that lies about its layout is refused
// instead of being trusted.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

namespace velmora::meta {

// The payload prefix of a JPEG APP1 segment that holds EXIF.
inline constexpr char kExifPrefix[6] = {'E', 'x', 'i', 'f', 0, 0};

// The orientation tag of IFD0: 1..8 when it is present, stored as one
// unsigned short and in range; 0 otherwise (no tag, a damaged block, a wrong
// type or count, a value out of range, or the tag given twice).
int ExifOrientation(const uint8_t* tiff, size_t size);

// What the output file's copy of the block should say.
struct TExifRewrite {
    bool resetOrientation = true;   // orientation tag (if any) becomes 1
    uint32_t width = 0;             // new pixel dimensions, 0 = leave as stored
    uint32_t height = 0;
};

// A copy of the block for a resized picture: the orientation and pixel
// dimension tags patched in place, IFD1 unlinked and its thumbnail bytes
// cleared (and cut off when they end the block). Every other byte stays
// where it was, so offsets inside maker notes remain valid. nullopt when IFD0
// cannot be walked safely: such a block is not copied at all.
std::optional<std::vector<uint8_t>> RewriteExif(const uint8_t* tiff, size_t size, const TExifRewrite& how);

}  // namespace velmora::meta
