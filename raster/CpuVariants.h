// Processor variants: an operation with several implementations keeps them in
// a table, each with the processor features it needs, and is bound once at
// start-up to the last registered implementation the processor supports.
// Every implementation stays reachable through the table, and the whole set
// of tables can be rebound to a chosen feature set (tests use this to run the
// portable reference and every accelerated path side by side).
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace velmora {

enum TCpuFeature : uint32_t {
    cfMMX = 1u << 0,
    cfSSE = 1u << 1,
    cfSSE2 = 1u << 2,
    cfAVX2 = 1u << 3,
};

inline constexpr uint32_t kAllCpuFeatures = cfMMX | cfSSE | cfSSE2 | cfAVX2;

// The features of the running processor (detected once, then cached).
// Identification is consulted only when the processor has the identification
// instruction and reports a family of at least 5; MMX is bit 23 and SSE bit 25
// of the standard feature flags (EDX of leaf 1), SSE2 bit 26.
uint32_t CpuFeatures();

// A list of implementations of one operation.
template <class Fn>
class TVariantTable {
public:
    struct TEntry {
        Fn Proc;
        uint32_t Needs;
        const char* Name;
    };

    void Add(Fn proc, uint32_t needs, const char* name) { entries_.push_back({proc, needs, name}); }

    // Binds to the last registered entry whose needs are all in `features`;
    // the first entry must need nothing, so something is always bound.
    void Bind(uint32_t features) {
        for (size_t i = 0; i < entries_.size(); ++i)
            if ((entries_[i].Needs & ~features) == 0) bound_ = i;
    }

    Fn Bound() const { return entries_[bound_].Proc; }
    const char* BoundName() const { return entries_[bound_].Name; }
    const std::vector<TEntry>& Entries() const { return entries_; }

private:
    std::vector<TEntry> entries_;
    size_t bound_ = 0;
};

// Rebinds every variant table of the raster core to `features` AND the
// processor's own features (a test may ask for less than the processor has,
// never for more). RebindCpuVariants(CpuFeatures()) restores the start-up
// binding. Not thread-safe: the program binds once before any window exists.
void RebindCpuVariants(uint32_t features);

// Variant tables kept outside the raster core take part in every rebinding
// through a binder: it is called at once with the current binding's
// features, then again by each RebindCpuVariants.
void JoinCpuVariantRebinding(void (*bind)(uint32_t features));

}  // namespace velmora
