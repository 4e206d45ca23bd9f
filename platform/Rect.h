// Integer rectangle, right and bottom exclusive.
#pragma once

#include <algorithm>
#include <cstdint>

struct TRect {
    int32_t Left = 0, Top = 0, Right = 0, Bottom = 0;

    constexpr TRect() = default;
    constexpr TRect(int32_t l, int32_t t, int32_t r, int32_t b) : Left(l), Top(t), Right(r), Bottom(b) {}

    constexpr int32_t Width() const { return Right - Left; }
    constexpr int32_t Height() const { return Bottom - Top; }
    constexpr bool IsEmpty() const { return Right <= Left || Bottom <= Top; }
    friend constexpr bool operator==(const TRect&, const TRect&) = default;
};

// Larger Left/Top, smaller Right/Bottom; (0,0,0,0) when the result is inverted.
constexpr TRect IntersectRect(const TRect& a, const TRect& b) {
    TRect r(std::max(a.Left, b.Left), std::max(a.Top, b.Top),
            std::min(a.Right, b.Right), std::min(a.Bottom, b.Bottom));
    if (r.Right < r.Left || r.Bottom < r.Top) return TRect();
    return r;
}
