// What every fuzz target shares: the size cap applied from the file's own
// header before any decoder allocates pixels, and the outcome rule (a codec
// exception is an ordinary answer to a bad file; anything else escapes and is
// a finding).
#pragma once

#include "platform/Exceptions.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace velmora::fuzz {

// Pictures the targets decode: up to 16 M pixels (64 MiB as 32-bit pixels),
// enough for every route while keeping one input well under the memory limit
// the fuzzer runs with.
inline constexpr uint64_t kMaxFuzzPixels = uint64_t(1) << 24;

inline bool FuzzPixelsOk(int64_t width, int64_t height) {
    if (width < 0) width = -width;
    if (height < 0) height = -height;
    if (width > int64_t(kMaxFuzzPixels) || height > int64_t(kMaxFuzzPixels)) return false;
    return uint64_t(width) * uint64_t(height) <= kMaxFuzzPixels;
}

inline uint32_t Be32(const uint8_t* p) {
    return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | uint32_t(p[3]);
}
inline uint32_t Le32(const uint8_t* p) {
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}
inline uint16_t Le16(const uint8_t* p) { return uint16_t(p[0] | p[1] << 8); }

// False when any IHDR chunk of the PNG declares more than the cap. Walks the
// chunk list from the signature on; a chunk length past the end stops the walk.
inline bool PngSizeOk(const uint8_t* data, size_t size) {
    size_t pos = 8;
    while (pos + 8 <= size) {
        const uint64_t length = Be32(data + pos);
        const uint8_t* name = data + pos + 4;
        if (name[0] == 'I' && name[1] == 'H' && name[2] == 'D' && name[3] == 'R' && length >= 8 &&
            pos + 16 <= size && !FuzzPixelsOk(Be32(data + pos + 8), Be32(data + pos + 12)))
            return false;
        const uint64_t next = uint64_t(pos) + 12 + length;
        if (next > size) break;
        pos = size_t(next);
    }
    return true;
}

// False when the BMP's core or info header declares more than the cap.
inline bool BmpSizeOk(const uint8_t* data, size_t size) {
    if (size < 26) return true;
    if (Le32(data + 14) == 12) return FuzzPixelsOk(Le16(data + 18), Le16(data + 20));
    return FuzzPixelsOk(int32_t(Le32(data + 18)), int32_t(Le32(data + 22)));
}

// Runs one decode. Codec exceptions are the expected answer to a broken file
// and end the input quietly.
template <typename Body>
int Outcome(Body body) {
    try {
        body();
    } catch (const Exception&) {
    }
    return 0;
}

// A broken invariant of the code under test: reported and aborted, so the
// fuzzer keeps the input as a crash.
[[noreturn]] inline void Finding(const char* what) {
    std::fprintf(stderr, "fuzz invariant broken: %s\n", what);
    std::abort();
}

}  // namespace velmora::fuzz
