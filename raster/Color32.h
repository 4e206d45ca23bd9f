// One pixel: 0xAARRGGBB, in memory blue, green, red, alpha; not premultiplied.
#pragma once

#include <cstdint>

using TColor32 = uint32_t;

inline constexpr TColor32 clWhite32 = 0xFFFFFFFFu;
inline constexpr TColor32 clBlack32 = 0xFF000000u;
inline constexpr TColor32 clTransparent32 = 0x00000000u;

constexpr uint8_t AlphaComponent(TColor32 c) { return uint8_t(c >> 24); }
constexpr uint8_t RedComponent(TColor32 c) { return uint8_t(c >> 16); }
constexpr uint8_t GreenComponent(TColor32 c) { return uint8_t(c >> 8); }
constexpr uint8_t BlueComponent(TColor32 c) { return uint8_t(c); }
constexpr TColor32 Color32(uint8_t r, uint8_t g, uint8_t b, uint8_t a = 255) {
    return TColor32(a) << 24 | TColor32(r) << 16 | TColor32(g) << 8 | b;
}
