// Pieces shared by the x86 variants of the scan-line filters (internal).
#pragma once

#include "codecs/png/PngRows.h"

#include <emmintrin.h>

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace velmora::png::x86 {

// The predictor of one byte, for the ends the vector loops leave.
inline unsigned Predict(unsigned type, unsigned a, unsigned b, unsigned c) {
    switch (type) {
    case 1: return a;
    case 2: return b;
    case 3: return (a + b) >> 1;
    case 4: return PaethPredictor(int(a), int(b), int(c));
    default: return 0;
    }
}

// One pixel of Bpp bytes in the low bytes of a register; the bytes after it
// are neither read nor written. Assembled in general registers: narrow
// stores followed by a wide load would stall the chain from pixel to pixel.
inline uint32_t LoadU32(const uint8_t* p) {
    uint32_t v;
    std::memcpy(&v, p, 4);
    return v;
}

inline uint32_t LoadU16(const uint8_t* p) {
    uint16_t v;
    std::memcpy(&v, p, 2);
    return v;
}

template <size_t Bpp>
inline __m128i LoadPixel(const uint8_t* p) {
    if constexpr (Bpp == 3) return _mm_cvtsi32_si128(int(LoadU16(p) | uint32_t(p[2]) << 16));
    if constexpr (Bpp == 4) return _mm_cvtsi32_si128(int(LoadU32(p)));
    if constexpr (Bpp == 6) return _mm_cvtsi64_si128(int64_t(LoadU32(p) | uint64_t(LoadU16(p + 4)) << 32));
    if constexpr (Bpp == 8) return _mm_loadl_epi64(reinterpret_cast<const __m128i*>(p));
}

template <size_t Bpp>
inline void StorePixel(uint8_t* p, __m128i v) {
    if constexpr (Bpp == 8) {
        _mm_storel_epi64(reinterpret_cast<__m128i*>(p), v);
    } else {
        const uint64_t u = uint64_t(_mm_cvtsi128_si64(v));
        const uint32_t low = uint32_t(u);
        if constexpr (Bpp == 3) {
            const uint16_t two = uint16_t(low);
            std::memcpy(p, &two, 2);
            p[2] = uint8_t(low >> 16);
        } else {
            std::memcpy(p, &low, 4);
            if constexpr (Bpp == 6) {
                const uint16_t two = uint16_t(u >> 32);
                std::memcpy(p + 4, &two, 2);
            }
        }
    }
}

}  // namespace velmora::png::x86
