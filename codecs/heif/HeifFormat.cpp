#include "codecs/heif/HeifFormat.h"

#include <cstring>

namespace {

// The brands of HEIF still pictures and sequences, HEVC or AV1 coded.
constexpr const char* kHeifBrands[] = {"heic", "heix", "hevc", "hevx", "heim", "heis", "mif1", "msf1", "avif", "avis"};

bool IsHeifBrand(const uint8_t* brand) {
    for (const char* b : kHeifBrands)
        if (std::memcmp(brand, b, 4) == 0) return true;
    return false;
}

}  // namespace

bool IsHeif(const uint8_t* head, size_t n) {
    if (head == nullptr || n < 12 || std::memcmp(head + 4, "ftyp", 4) != 0) return false;
    const uint32_t boxSize =
        uint32_t(head[0]) << 24 | uint32_t(head[1]) << 16 | uint32_t(head[2]) << 8 | uint32_t(head[3]);
    // A box of its own length (size field 0 or 1) is not how an ftyp is written.
    if (boxSize < 16) return false;
    if (IsHeifBrand(head + 8)) return true;
    // The compatible brands follow the minor version; only those seen count.
    const size_t end = boxSize < n ? size_t(boxSize) : n;
    for (size_t pos = 16; pos + 4 <= end; pos += 4)
        if (IsHeifBrand(head + pos)) return true;
    return false;
}
