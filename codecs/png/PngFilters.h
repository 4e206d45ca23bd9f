// Scan-line filters (internal): undoing them while reading, applying and
// choosing them while writing. All arithmetic is modulo 256; bytes to the
// left of the first pixel and the line above the first line count as 0.
//
// The operations come in processor variants (raster/CpuVariants.h). The
// portable variant is the reference; the others give the same bytes for
// every input.
#pragma once

#include "codecs/png/PngImage.h"
#include "raster/CpuVariants.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace velmora::png {

struct TPngFilterOps {
    // out[i] = raw[i] - the predictor of filter `type` (1 Sub, 2 Up,
    // 3 Average, 4 Paeth) for i in 0..rowBytes-1; prior is the raw line
    // above, offset the bytes per complete pixel (at least 1).
    void (*Filter)(unsigned type, const uint8_t* raw, const uint8_t* prior, size_t rowBytes, size_t offset,
                   uint8_t* out);
    // Repeats among filtered bytes: the positions j in 2..rowBytes-1 whose
    // byte equals one of the two before it.
    unsigned (*Score)(const uint8_t* bytes, size_t rowBytes);
    // Undoes filter `type` on line[0..rowBytes) in place, prior being the
    // unfiltered line above; type 0 and unknown types leave the bytes.
    void (*Unfilter)(unsigned type, uint8_t* line, const uint8_t* prior, size_t rowBytes, size_t offset);
};

TPngFilterOps PngFilterOps_Portable();
TPngFilterOps PngFilterOps_SSE2();
TPngFilterOps PngFilterOps_AVX2();

// portable, sse2, avx2; rebound together with the raster core's tables.
TVariantTable<TPngFilterOps>& PngFilterTable();

inline void UnfilterLine(unsigned type, uint8_t* line, const uint8_t* prior, size_t rowBytes, size_t offset) {
    PngFilterTable().Bound().Unfilter(type, line, prior, rowBytes, offset);
}

// The writer's filter choice for each line: with a single filter in the set
// that filter; with [None] or none at all None; otherwise the filter of the
// set whose output has the most repeats (Score), taken in type order and
// only when strictly better, starting from None with a score of 0.
class TRowFilter {
public:
    // Output room for lines of up to fullRowBytes bytes.
    TRowFilter(TFilters filters, size_t fullRowBytes, size_t offset);

    // Filters raw (prior: the raw line above) and returns the chosen type;
    // `bytes` then points at its output, raw itself for None, valid until
    // the next call.
    uint8_t Choose(const uint8_t* raw, const uint8_t* prior, size_t rowBytes, const uint8_t*& bytes);

private:
    TFilters filters_;
    size_t offset_;
    std::vector<uint8_t> out_[5];
};

}  // namespace velmora::png
