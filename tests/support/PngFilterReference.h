// Test-only scan-line filters written byte by byte from their definitions:
// filtering, undoing, the repeat score and the writer's choice among a set
// of filter types, plus random lines to feed them.
#pragma once

#include "tests/support/PngReference.h"

#include <cstddef>
#include <cstdint>
#include <random>
#include <vector>

namespace pngref {

using Line = std::vector<uint8_t>;

inline Line FilterLine(int type, const Line& raw, const Line& prior, size_t bpp) {
    Line out(raw.size());
    for (size_t i = 0; i < raw.size(); ++i) {
        const int a = i >= bpp ? raw[i - bpp] : 0, c = i >= bpp ? prior[i - bpp] : 0;
        out[i] = uint8_t(raw[i] - Predict(type, a, prior[i], c));
    }
    return out;
}

inline Line UnfilterLine(int type, Line line, const Line& prior, size_t bpp) {
    for (size_t i = 0; i < line.size(); ++i) {
        const int a = i >= bpp ? line[i - bpp] : 0, c = i >= bpp ? prior[i - bpp] : 0;
        line[i] = uint8_t(line[i] + Predict(type, a, prior[i], c));
    }
    return line;
}

inline unsigned RepeatScore(const Line& b) {
    unsigned n = 0;
    for (size_t j = 2; j < b.size(); ++j)
        if (b[j] == b[j - 1] || b[j] == b[j - 2]) ++n;
    return n;
}

// The writer's choice among the types whose bit is set in `set` (bit t for
// type t): a lone type is taken as it is, [0] or nothing gives 0; otherwise
// the highest score wins, the lowest type on ties, and 0 unless some listed
// type scores above 0.
inline int ChooseFilter(unsigned set, const Line& raw, const Line& prior, size_t bpp) {
    if (set == 0 || set == 1) return 0;
    if ((set & (set - 1)) == 0) {
        int t = 0;
        while (!(set >> t & 1)) ++t;
        return t;
    }
    int chosen = 0;
    unsigned best = 0;
    for (int t = 0; t < 5; ++t)
        if (set >> t & 1) {
            const unsigned s = RepeatScore(FilterLine(t, raw, prior, bpp));
            if (s > best) best = s, chosen = t;
        }
    return chosen;
}

// Random bytes drawn from `alphabet` values (2 gives runs and many ties,
// 256 plain noise).
inline Line RandomLine(std::mt19937& rng, size_t n, unsigned alphabet) {
    Line line(n);
    for (auto& b : line) b = uint8_t(rng() % alphabet * (256 / alphabet));
    return line;
}

}  // namespace pngref
