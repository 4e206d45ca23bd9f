#include "batch/ColorStep.h"

std::unique_ptr<TColorStep> ColorStepFor(const std::vector<uint8_t>&) { return nullptr; }
