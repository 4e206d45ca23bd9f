// The target size rule. The width value sets the longer side, the height value
// the shorter one; the aspect ratio is kept.
//
// Arithmetic is x87 extended precision (64-bit significand): the quotient
// target / side is rounded to that precision, multiplied by the other side,
// and the product rounded to the nearest integer, ties to even. Double
// precision is not enough: fixed width 7 on a 78 x 39 picture gives 7 x 3 here
// and 7 x 4 in double.
#include "batch/ResizeEngine.h"

#include "platform/Exceptions.h"

#include <cfenv>
#include <cmath>
#include <cstdint>

static_assert(sizeof(long double) > sizeof(double), "the size rule needs 80-bit long double");

namespace {

// value / divisor * factor, rounded ties-to-even; the errors a trapping FPU
// would raise become exceptions of the file.
int32_t scaleSide(int32_t value, int32_t divisor, int32_t factor) {
    if (divisor == 0) throw EZeroDivide();
    const volatile long double quotient = static_cast<long double>(value) / static_cast<long double>(divisor);
    const volatile long double product = quotient * static_cast<long double>(factor);
    if (!std::isfinite(product)) throw EInvalidOp();
    const long double rounded = std::nearbyint(product);  // FE_TONEAREST: ties to even
    if (rounded > static_cast<long double>(INT32_MAX) || rounded < static_cast<long double>(INT32_MIN))
        throw EInvalidOp();
    return static_cast<int32_t>(rounded);
}

}  // namespace

void TResizeEngine::calculateSize(int32_t ow, int32_t oh, int32_t& w, int32_t& h) const {
    const bool landscape = oh < ow;
    if (dw != 0) {
        if (landscape) {
            w = dw;
            h = scaleSide(dw, ow, oh);
        } else {
            h = dw;
            w = scaleSide(dw, oh, ow);
        }
    } else {
        if (landscape) {
            h = dh;
            w = scaleSide(dh, oh, ow);
        } else {
            w = dh;
            h = scaleSide(dh, ow, oh);
        }
    }
}
