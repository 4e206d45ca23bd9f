// The processor variants a test runs with. A run may force the portable
// variants at start-up (VELMORA_CPU_VARIANTS=portable); tests that rebind the
// tables restore that start-up binding, and tests whose worked values belong
// to the accelerated variants bind the processor's own for their duration.
#pragma once

#include "raster/CpuVariants.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>

namespace cpubinding {

// True when this run binds the portable variants at start-up.
inline bool PortableForced() {
    const char* chosen = std::getenv("VELMORA_CPU_VARIANTS");
    return chosen != nullptr && std::strcmp(chosen, "portable") == 0;
}

// The features the tables were bound to at start-up.
inline uint32_t StartUpFeatures() { return PortableForced() ? 0u : velmora::CpuFeatures(); }

// Binds `features` (limited to the processor's) until the end of the scope,
// then restores the start-up binding.
class TRebindGuard {
public:
    explicit TRebindGuard(uint32_t features) { velmora::RebindCpuVariants(features); }
    ~TRebindGuard() { velmora::RebindCpuVariants(StartUpFeatures()); }
    TRebindGuard(const TRebindGuard&) = delete;
    TRebindGuard& operator=(const TRebindGuard&) = delete;
};

// The processor's own variants until the end of the scope, in every run.
class TProcessorBinding : public TRebindGuard {
public:
    TProcessorBinding() : TRebindGuard(velmora::CpuFeatures()) {}
};

}  // namespace cpubinding
