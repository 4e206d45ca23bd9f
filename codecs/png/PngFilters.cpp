// The portable scan-line filters, the variant table and the writer's choice.
#include "codecs/png/PngFilters.h"

#include "codecs/png/PngRows.h"

#include <algorithm>
#include <new>

namespace velmora::png {

namespace {

// The first pixel of a line has nothing to its left, so each filter handles
// bytes 0..lead-1 on their own and the loops after them need no test.
void Filter_Portable(unsigned type, const uint8_t* r, const uint8_t* p, size_t n, size_t offset, uint8_t* out) {
    const size_t lead = std::min(offset, n);
    switch (type) {
    case 1:
        for (size_t i = 0; i < lead; ++i) out[i] = r[i];
        for (size_t i = lead; i < n; ++i) out[i] = uint8_t(r[i] - r[i - offset]);
        break;
    case 2:
        for (size_t i = 0; i < n; ++i) out[i] = uint8_t(r[i] - p[i]);
        break;
    case 3:
        for (size_t i = 0; i < lead; ++i) out[i] = uint8_t(r[i] - (p[i] >> 1));
        for (size_t i = lead; i < n; ++i) out[i] = uint8_t(r[i] - ((unsigned(r[i - offset]) + p[i]) >> 1));
        break;
    case 4:
        for (size_t i = 0; i < lead; ++i) out[i] = uint8_t(r[i] - p[i]);  // the predictor of (0, b, 0) is b
        for (size_t i = lead; i < n; ++i) out[i] = uint8_t(r[i] - PaethPredictor(r[i - offset], p[i], p[i - offset]));
        break;
    default: break;
    }
}

unsigned Score_Portable(const uint8_t* b, size_t n) {
    unsigned score = 0;
    for (size_t j = 2; j < n; ++j) score += b[j] == b[j - 1] || b[j] == b[j - 2];
    return score;
}

void Unfilter_Portable(unsigned type, uint8_t* x, const uint8_t* p, size_t n, size_t offset) {
    const size_t lead = std::min(offset, n);
    switch (type) {
    case 1:
        for (size_t i = lead; i < n; ++i) x[i] = uint8_t(x[i] + x[i - offset]);
        break;
    case 2:
        for (size_t i = 0; i < n; ++i) x[i] = uint8_t(x[i] + p[i]);
        break;
    case 3:
        for (size_t i = 0; i < lead; ++i) x[i] = uint8_t(x[i] + (p[i] >> 1));
        for (size_t i = lead; i < n; ++i) x[i] = uint8_t(x[i] + ((unsigned(x[i - offset]) + p[i]) >> 1));
        break;
    case 4:
        for (size_t i = 0; i < lead; ++i) x[i] = uint8_t(x[i] + p[i]);
        for (size_t i = lead; i < n; ++i) x[i] = uint8_t(x[i] + PaethPredictor(x[i - offset], p[i], p[i - offset]));
        break;
    default: break;
    }
}

TVariantTable<TPngFilterOps>& Table() {
    static TVariantTable<TPngFilterOps> table = [] {
        TVariantTable<TPngFilterOps> t;
        t.Add(PngFilterOps_Portable(), 0, "portable");
        t.Add(PngFilterOps_SSE2(), cfSSE2, "sse2");
        t.Add(PngFilterOps_AVX2(), cfSSE2 | cfAVX2, "avx2");
        return t;
    }();
    return table;
}

}  // namespace

TPngFilterOps PngFilterOps_Portable() { return {Filter_Portable, Score_Portable, Unfilter_Portable}; }

TVariantTable<TPngFilterOps>& PngFilterTable() {
    static const bool joined = (JoinCpuVariantRebinding([](uint32_t features) { Table().Bind(features); }), true);
    (void)joined;
    return Table();
}

TRowFilter::TRowFilter(TFilters filters, size_t fullRowBytes, size_t offset) : filters_(filters), offset_(offset) {
    try {
        for (unsigned f = 1; f < 5; ++f)
            if (filters_.Contains(TFilter(f))) out_[f].assign(fullRowBytes, 0);
    } catch (const std::bad_alloc&) {
        throw EPNGOutMemory();
    }
}

uint8_t TRowFilter::Choose(const uint8_t* raw, const uint8_t* prior, size_t rowBytes, const uint8_t*& bytes) {
    bytes = raw;
    if (filters_.IsEmpty() || filters_ == TFilters{TFilter::pfNone}) return 0;
    const TPngFilterOps& ops = PngFilterTable().Bound();
    if (filters_.Count() == 1) {
        unsigned f = 1;
        while (!filters_.Contains(TFilter(f))) ++f;
        ops.Filter(f, raw, prior, rowBytes, offset_, out_[f].data());
        bytes = out_[f].data();
        return uint8_t(f);
    }
    unsigned chosen = 0;
    unsigned best = filters_.Contains(TFilter::pfNone) ? ops.Score(raw, rowBytes) : 0;
    for (unsigned f = 1; f < 5; ++f) {
        if (!filters_.Contains(TFilter(f))) continue;
        ops.Filter(f, raw, prior, rowBytes, offset_, out_[f].data());
        const unsigned s = ops.Score(out_[f].data(), rowBytes);
        if (s > best) {
            best = s;
            chosen = f;
        }
    }
    if (chosen != 0) bytes = out_[chosen].data();
    return uint8_t(chosen);
}

}  // namespace velmora::png
