#include "codecs/webp/WebpFormat.h"

#include <cstring>

bool IsWebp(const uint8_t* head, size_t n) {
    return n >= 12 && std::memcmp(head, "RIFF", 4) == 0 && std::memcmp(head + 8, "WEBP", 4) == 0;
}

int ExifOrientation(const std::vector<uint8_t>& tiff) {
    const size_t n = tiff.size();
    if (n < 8) return 0;
    bool little;
    if (std::memcmp(tiff.data(), "II*\0", 4) == 0)
        little = true;
    else if (std::memcmp(tiff.data(), "MM\0*", 4) == 0)
        little = false;
    else
        return 0;
    const auto u16 = [&](size_t at) -> uint32_t {
        return little ? uint32_t(tiff[at] | tiff[at + 1] << 8) : uint32_t(tiff[at] << 8 | tiff[at + 1]);
    };
    const auto u32 = [&](size_t at) -> uint32_t {
        return little ? u16(at) | u16(at + 2) << 16 : u16(at) << 16 | u16(at + 2);
    };
    const size_t ifd = u32(4);
    if (ifd > n - 2) return 0;
    const size_t count = u16(ifd);
    for (size_t i = 0; i < count; ++i) {
        const size_t entry = ifd + 2 + 12 * i;
        if (entry > n - 12) return 0;
        if (u16(entry) != 0x0112) continue;
        // A SHORT, one value, stored in the first two bytes of the value field.
        if (u16(entry + 2) != 3 || u32(entry + 4) != 1) return 0;
        const uint32_t v = u16(entry + 8);
        return v >= 1 && v <= 8 ? int(v) : 0;
    }
    return 0;
}
