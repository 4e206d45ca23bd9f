#include "raster/CpuVariants.h"

#include "raster/BlendVariants.h"
#include "raster/ResampleRows.h"

#include <cstdlib>
#include <cstring>

#if defined(__x86_64__) || defined(__i386__)
#include <cpuid.h>
#endif

namespace velmora {

namespace {

uint32_t DetectCpuFeatures() {
    uint32_t features = 0;
#if defined(__x86_64__) || defined(__i386__)
    unsigned eax = 0, ebx = 0, ecx = 0, edx = 0;
    if (__get_cpuid_max(0, nullptr) < 1) return 0;  // no identification instruction / leaf 1
    __cpuid(1, eax, ebx, ecx, edx);
    unsigned family = (eax >> 8) & 0xF;
    if (family == 0xF) family += (eax >> 20) & 0xFF;
    if (family < 5) return 0;
    if (edx & (1u << 23)) features |= cfMMX;
    if (edx & (1u << 25)) features |= cfSSE;
    if (edx & (1u << 26)) features |= cfSSE2;
    // AVX2 also needs the operating system to save the 256-bit registers;
    // the compiler's check covers both.
    __builtin_cpu_init();
    if (__builtin_cpu_supports("avx2")) features |= cfAVX2;
#endif
    return features;
}

// The features of the current binding, and the binders of the tables that
// live in other libraries.
uint32_t& BoundFeatures() {
    static uint32_t features = 0;
    return features;
}

std::vector<void (*)(uint32_t)>& JoinedBinders() {
    static std::vector<void (*)(uint32_t)> binders;
    return binders;
}

}  // namespace

uint32_t CpuFeatures() {
    static const uint32_t features = DetectCpuFeatures();
    return features;
}

void RebindCpuVariants(uint32_t features) {
    features &= CpuFeatures();
    CombineTable().Bind(features);
    BlendBilinearTable().Bind(features);
    BilinearRowTable().Bind(features);
    KernelRowTable().Bind(features);
    BoundFeatures() = features;
    for (auto bind : JoinedBinders()) bind(features);
}

void JoinCpuVariantRebinding(void (*bind)(uint32_t features)) {
    JoinedBinders().push_back(bind);
    bind(BoundFeatures());
}

namespace {

// VELMORA_CPU_VARIANTS=portable binds every table to its portable variant at
// start-up, so that one run of the tests covers the portable code on any
// machine. Tests that rebind the tables still reach every variant.
uint32_t StartUpFeatures() {
    const char* chosen = std::getenv("VELMORA_CPU_VARIANTS");
    if (chosen != nullptr && std::strcmp(chosen, "portable") == 0) return 0;
    return CpuFeatures();
}

// Bind every table once at start-up, before main.
[[maybe_unused]] const bool boundAtStartUp = (RebindCpuVariants(StartUpFeatures()), true);

}  // namespace

}  // namespace velmora
